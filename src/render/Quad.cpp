#include "render/Quad.h"

#include <algorithm>
#include <cstring>

#include "gfx/kv_Buffer.h"
#include "gfx/kv_RenderContext.h"
#include "gfx/kv_RenderTarget.h"
#include "gfx/kv_Surface.h"
#include "render/HardwareOverlay.h"
#include "render/RenderHost.h"
#include "render/kv_Layouts.h"

namespace {

float Clamp01(float v) {
  if (!(v > 0.0f)) return 0.0f;  // NaN too
  return v < 1.0f ? v : 1.0f;
}

// A target's size in pixels; false when there is no usable target.
bool TargetSize(const kvRenderTarget* target, float* width, float* height) {
  if (!target) return false;
  int w = 0, h = 0;
  kv_RenderTarget_GetInfo(target, &w, &h, nullptr);
  if (w <= 0 || h <= 0) return false;
  *width = static_cast<float>(w);
  *height = static_cast<float>(h);
  return true;
}

const kvRenderTarget* BackBuffer(void) {
  kvRenderTarget* colour = nullptr;
  kv_Platform_GetBackBuffer(&colour, nullptr);
  return colour;
}

// The parts every quad record shares.
void FillQuadRecord(DrawRecord* record, kvVertexBuffer* buffer) {
  record->primitiveKind = 4;
  record->depthCompare = 0;
  record->depthWrite = 0;
  record->blendEnabled = 1;
  record->blendMode = 0;
  record->count = -2;
  record->first = 0;
  record->vertexBuffer = buffer;
  record->indexBuffer = nullptr;
  record->scissorFlag = 0;
}

}  // namespace

void Quad_WriteVertices(float x, float y, float w, float h, float s0, float t0, float s1, float t1,
                        kvVertexBuffer* buffer, int firstVertex) {
  auto* data = static_cast<QuadVertex*>(kv_Buffer_Lock(buffer));
  // A per-frame buffer from a full ring has no data: its draw is skipped.
  if (data && firstVertex >= 0 &&
      (static_cast<size_t>(firstVertex) + 6) * sizeof(QuadVertex) <=
          kv_VertexBuffer_GetSize(buffer)) {
    const QuadVertex quad[6] = {{{x, y + h, 0}, {s0, t0}}, {{x + w, y + h, 0}, {s1, t0}},
                                {{x, y, 0}, {s0, t1}},     {{x + w, y + h, 0}, {s1, t0}},
                                {{x + w, y, 0}, {s1, t1}}, {{x, y, 0}, {s0, t1}}};
    std::memcpy(data + firstVertex, quad, sizeof quad);
  }
  kv_Buffer_Unlock(buffer);
}

void Quad_CreateVertexBuffer(float x, float y, float w, float h, float s0, float t0, float s1,
                             float t1, kvVertexBuffer** buffer) {
  *buffer = kv_VertexBuffer_AllocateTransient(kv_RenderContext_Get(), 6 * sizeof(QuadVertex),
                                              kv_Layout_GetDescriptor<QuadVertex>());
  if (!*buffer) return;
  kv_VertexBuffer_BindLayout<QuadVertex>(*buffer);
  Quad_WriteVertices(x, y, w, h, s0, t0, s1, t1, *buffer, 0);
}

void Quad_PixelsToClip(float width, float height, float* x, float* y, float* w, float* h) {
  *x = 2.0f * *x / width - 1.0f;
  *y = 1.0f - 2.0f * *y / height;
  *w = 2.0f * *w / width;
  *h = -2.0f * *h / height;
}

void Quad_BuildColorDraw(DrawRecord* record, float r, float g, float b, float a, float x, float y,
                         float anchorX, float anchorY, float w, float h) {
  *record = DrawRecord{};
  kvVertexBuffer* buffer = nullptr;
  Quad_CreateVertexBuffer(x - anchorX * w, y - anchorY * h, w, h, 0, 0, 1, 1, &buffer);
  kv_RenderContext_AllocConstants(&record->pixelConstants, kv_RenderContext_Get(),
                                  sizeof(ColorQuadConstants),
                                  kv_Layout_GetDescriptor<ColorQuadConstants>());
  if (auto* constants = static_cast<ColorQuadConstants*>(record->pixelConstants.data)) {
    constants->FillColor = {r, g, b, a};
  }
  FillQuadRecord(record, buffer);
  record->program = ColorQuadProgram;
}

void Quad_BuildColorDrawForBackBuffer(DrawRecord* record, float r, float g, float b, float a,
                                      float x, float y, float anchorX, float anchorY, float w,
                                      float h) {
  float width = 0, height = 0;
  if (!TargetSize(BackBuffer(), &width, &height)) {
    *record = DrawRecord{};
    return;
  }
  Quad_PixelsToClip(width, height, &x, &y, &w, &h);
  Quad_BuildColorDraw(record, r, g, b, a, x, y, anchorX, anchorY, w, h);
}

void Quad_BuildTexturedDraw(DrawRecord* record, kvSurface* surface, float x, float y, float anchorX,
                            float anchorY, float w, float h, float s0, float t0, float s1, float t1,
                            float multiply, float desaturate) {
  *record = DrawRecord{};
  int surfaceW = 0, surfaceH = 0;
  kv_Surface_GetInfo(surface, &surfaceW, &surfaceH, nullptr);
  if (surfaceW <= 0 || surfaceH <= 0) return;
  kvVertexBuffer* buffer = nullptr;
  Quad_CreateVertexBuffer(x - anchorX * w, y - anchorY * h, w, h, s0, t0, s1, t1, &buffer);
  kvConstantBlock block;
  kv_RenderContext_AllocConstants(&block, kv_RenderContext_Get(), sizeof(QuadConstants),
                                  kv_Layout_GetDescriptor<QuadConstants>());
  if (auto* constants = static_cast<QuadConstants*>(block.data)) {
    const float m = Clamp01(multiply);
    constants->MultiplyColor = {m, m, m, m};
    constants->TexelSizeDesaturateGamma = {1.0f / static_cast<float>(surfaceW),
                                           1.0f / static_cast<float>(surfaceH), Clamp01(desaturate),
                                           RenderHost_Calls().gamma()};
  }
  FillQuadRecord(record, buffer);
  record->program = TexturedQuadProgram;
  record->vertexConstants = block;
  record->pixelConstants = block;
  record->textureCount = 1;
  record->textures[0] = surface;
  record->samplerCount = 1;
  record->samplerStates[0] = {2, 0, 0, 0};
}

void Quad_BuildTexturedDrawForTarget(DrawRecord* record, kvSurface* surface, float x, float y,
                                     float anchorX, float anchorY, float w, float h, float srcX0,
                                     float srcY0, float srcX1, float srcY1,
                                     const kvRenderTarget* target, float multiply,
                                     float desaturate) {
  int surfaceW = 0, surfaceH = 0;
  kv_Surface_GetInfo(surface, &surfaceW, &surfaceH, nullptr);
  float width = 0, height = 0;
  if (surfaceW <= 0 || surfaceH <= 0 || !TargetSize(target, &width, &height)) {
    *record = DrawRecord{};
    return;
  }
  const float kx = 1.0f / static_cast<float>(surfaceW);
  const float ky = 1.0f / static_cast<float>(surfaceH);
  const float s0 = srcX0 * kx, s1 = srcX1 * kx;
  // Memory surfaces hold row 0 at the top: the source's top row (srcY0) goes
  // to the quad's top edge (t1). A render target's colour surface holds its
  // rows bottom-up, so there the two exchange.
  float t0 = srcY1 * ky, t1 = srcY0 * ky;
  if (!kv_Surface_IsStandalone(surface)) std::swap(t0, t1);
  Quad_PixelsToClip(width, height, &x, &y, &w, &h);
  Quad_BuildTexturedDraw(record, surface, x, y, anchorX, anchorY, w, h, s0, t0, s1, t1, multiply,
                         desaturate);
}

void Quad_BuildDrawForBackBuffer(DrawRecord* record, kvSurface* surface, float x, float y,
                                 float anchorX, float anchorY, float w, float h, float srcX0,
                                 float srcY0, float srcX1, float srcY1, float multiply,
                                 float desaturate) {
  Quad_BuildTexturedDrawForTarget(record, surface, x, y, anchorX, anchorY, w, h, srcX0, srcY0,
                                  srcX1, srcY1, BackBuffer(), multiply, desaturate);
}
