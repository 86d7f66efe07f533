#include "render/HardwareOverlay.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gfx/kv_RenderContext.h"
#include "gfx/kv_RenderTarget.h"
#include "gfx/kv_Shader.h"
#include "gfx/kv_Surface.h"
#include "platform/kv_Log.h"
#include "platform/kv_Platform.h"
#include "platform/kv_RenderHooks.h"
#include "render/Font.h"
#include "render/HardwareBackend.h"
#include "render/Quad.h"
#include "render/RenderHost.h"

uint32_t VirtualScreenWidth = 1440;
uint32_t VirtualScreenHeight = 1080;
int VirtualScreenIsWide = 0;

RenderBucket* HardwareOverlayBucket = nullptr;
RenderBucket* DebugOverlayBucket = nullptr;
kvShader* TextProgram = nullptr;
kvShader* TexturedQuadProgram = nullptr;
kvShader* ColorQuadProgram = nullptr;
kvShader* TexturedGammaQuadProgram = nullptr;
HdFont* OverlayFont = nullptr;
HdFont* DebugFont = nullptr;

namespace {

uint32_t g_previousWidth = 1440;

constexpr uint32_t kFirstBucketCapacity = 16;

}  // namespace

// Aspect fit ---------------------------------------------------------------------

void kv_Platform_AspectFit(int stretch, uint32_t dstW, uint32_t dstH, uint32_t srcW, uint32_t srcH,
                           float* scaleX, float* scaleY, float* offsetX, float* offsetY) {
  const float sx = static_cast<float>(dstW) / static_cast<float>(srcW);
  const float sy = static_cast<float>(dstH) / static_cast<float>(srcH);
  float outX = sx, outY = sy, ox = 0.0f, oy = 0.0f;
  if (!stretch) {
    const float m = sx > sy ? sy : sx;
    outX = outY = m;
    ox = (static_cast<float>(dstW) - static_cast<float>(srcW) * m) * 0.5f;
    oy = (static_cast<float>(dstH) - static_cast<float>(srcH) * m) * 0.5f;
  }
  if (scaleX) *scaleX = outX;
  if (scaleY) *scaleY = outY;
  if (offsetX) *offsetX = ox;
  if (offsetY) *offsetY = oy;
}

void kv_Platform_AspectFitToTarget(int stretch, const kvRenderTarget* target, uint32_t srcW,
                                   uint32_t srcH, float* scaleX, float* scaleY, float* offsetX,
                                   float* offsetY) {
  int w = 0, h = 0;
  if (target) kv_RenderTarget_GetInfo(target, &w, &h, nullptr);
  if (w <= 0 || h <= 0 || srcW == 0 || srcH == 0) {
    // Nothing to fit into (or nothing to fit): the identity.
    if (scaleX) *scaleX = 1.0f;
    if (scaleY) *scaleY = 1.0f;
    if (offsetX) *offsetX = 0.0f;
    if (offsetY) *offsetY = 0.0f;
    return;
  }
  kv_Platform_AspectFit(stretch, static_cast<uint32_t>(w), static_cast<uint32_t>(h), srcW, srcH,
                        scaleX, scaleY, offsetX, offsetY);
}

void kv_Platform_AspectFitToBackBuffer(int stretch, uint32_t srcW, uint32_t srcH, float* scaleX,
                                       float* scaleY, float* offsetX, float* offsetY) {
  kvRenderTarget* colour = nullptr;
  kv_Platform_GetBackBuffer(&colour, nullptr);
  kv_Platform_AspectFitToTarget(stretch, colour, srcW, srcH, scaleX, scaleY, offsetX, offsetY);
}

// Virtual screen -------------------------------------------------------------------

void Overlay_SetVirtualScreenAspect(float aspect) {
  if (!std::isfinite(aspect) || aspect <= 0.0f) {
    kv_Log_Printf("[Overlay] - virtual screen aspect %f refused; 4:3 is used", aspect);
    aspect = 4.0f / 3.0f;
  }
  VirtualScreenHeight = 1080;
  VirtualScreenIsWide = 1;
  // Wider than 32:1 is no screen; the bound keeps the width a 32-bit value.
  const double width = std::fmin(static_cast<double>(aspect) * 1080.0, 1080.0 * 32.0);
  VirtualScreenWidth = width < 1.0 ? 1u : static_cast<uint32_t>(width);
  if (!(static_cast<double>(aspect) > 1.7)) VirtualScreenIsWide = 0;
  if (VirtualScreenWidth != g_previousWidth) {
    Font_RelayoutAll();
    Hardware_DisplayChanged();
  }
  g_previousWidth = VirtualScreenWidth;
}

float Overlay_VirtualScreenShift(void) {
  if (VirtualScreenWidth >= 1920) return 0.0f;
  return static_cast<float>(1920 - VirtualScreenWidth) * 0.5f;
}

// Buckets ----------------------------------------------------------------------------

RenderBucket* RenderBucket_Create(const char* name) {
  auto* bucket = static_cast<RenderBucket*>(std::calloc(1, sizeof(RenderBucket)));
  if (!bucket) {
    kv_Log_Printf("[Overlay] - unable to create the bucket '%s'", name ? name : "");
    return nullptr;
  }
  bucket->name = name;
  return bucket;
}

void RenderBucket_Add(RenderBucket* bucket, const DrawRecord* record) {
  if (!bucket || !record) return;
  if (bucket->count == bucket->capacity) {
    const uint32_t capacity =
        bucket->capacity ? bucket->capacity + bucket->capacity / 2 : kFirstBucketCapacity;
    auto* records =
        static_cast<DrawRecord*>(std::realloc(bucket->records, capacity * sizeof(DrawRecord)));
    if (!records) {
      kv_Log_Printf("[Overlay] - bucket '%s' cannot grow; a draw is dropped", bucket->name);
      return;
    }
    bucket->records = records;
    bucket->capacity = capacity;
  }
  bucket->records[bucket->count++] = *record;
}

void RenderBucket_Draw(RenderBucket* bucket, int clear, void (*callback)(DrawRecord*, void*),
                       void* userData) {
  if (!bucket) return;
  // Records a callback adds are not part of this pass. A callback may also
  // make the bucket grow (and move), so each record is handed over as a copy
  // that is written back afterwards.
  const uint32_t count = bucket->count;
  for (uint32_t i = 0; i < count; ++i) {
    DrawRecord record = bucket->records[i];
    if (callback) {
      callback(&record, userData);
      bucket->records[i] = record;
    }
    if (record.program) kv_RenderContext_SubmitDraw(&record);
  }
  if (clear) bucket->count = 0;
}

void RenderBucket_Reset(RenderBucket* bucket) {
  if (bucket) bucket->count = 0;
}

// The overlay ----------------------------------------------------------------------------

int HardwareOverlay_Init(void) {
  int ok = 1;
  // Buckets live until the process ends: a second set-up keeps them.
  if (!HardwareOverlayBucket) HardwareOverlayBucket = RenderBucket_Create("hardware overlay");
  if (!DebugOverlayBucket) DebugOverlayBucket = RenderBucket_Create("debug overlay");
  if (!HardwareOverlayBucket || !DebugOverlayBucket) ok = 0;

  const struct {
    kvShader** program;
    const char* name;
  } programs[] = {{&TextProgram, "text"},
                  {&TexturedQuadProgram, "textured_quad"},
                  {&ColorQuadProgram, "color_quad"},
                  {&TexturedGammaQuadProgram, "textured_gamma_quad"}};
  for (const auto& p : programs) {
    *p.program = kv_Shader_Load(p.name);
    if (!*p.program) {
      kv_Log_Printf("[Overlay] - the program '%s' could not be built", p.name);
      ok = 0;
    }
  }

  std::vector<char> directory(static_cast<size_t>(kv_Platform_GetCurrentDirectory(0, nullptr)) + 1);
  kv_Platform_GetCurrentDirectory(static_cast<int>(directory.size()), directory.data());
  const std::string fontPath = std::string(directory.data()) + "/FontsHD/FuturaStd-Heavy.ttf";
  OverlayFont = FontCache_Acquire(fontPath.c_str(), 44.0f, 16);
  DebugFont = FontCache_Acquire(fontPath.c_str(), 1.0f, 14);
  if (!OverlayFont || !DebugFont) {
    kv_Log_Printf("[Overlay] - the overlay fonts could not be loaded from %s", fontPath.c_str());
    ok = 0;
  }
  return ok;
}

void HardwareOverlay_FillBlack(void) {
  kvRenderTarget* colour = nullptr;
  kv_Platform_GetBackBuffer(&colour, nullptr);
  int w = 0, h = 0;
  if (colour) kv_RenderTarget_GetInfo(colour, &w, &h, nullptr);
  DrawRecord record;
  Quad_BuildColorDrawForBackBuffer(&record, 0, 0, 0, 1, 0, 0, 0, 0, static_cast<float>(w),
                                   static_cast<float>(h));
  if (record.program) RenderBucket_Add(HardwareOverlayBucket, &record);
}

void kv_Platform_PresentSurface(kvRenderContext* context, kvSurface* surface, float opacity) {
  if (!context || !surface) return;  // no frame surface yet: nothing to show
  const bool linear =
      surface == kv_RenderHooks_GetFrontSurface() || RenderHost_Calls().resolutionScaling() < 2.0f;
  kvRenderTarget* target = nullptr;
  kv_RenderContext_GetRenderTargets(context, &target, nullptr);
  int targetW = 0, targetH = 0, surfaceW = 0, surfaceH = 0;
  if (target) kv_RenderTarget_GetInfo(target, &targetW, &targetH, nullptr);
  kv_Surface_GetInfo(surface, &surfaceW, &surfaceH, nullptr);
  if (targetW <= 0 || targetH <= 0 || surfaceW <= 0 || surfaceH <= 0) return;

  float sx = 1, sy = 1, ox = 0, oy = 0;
  kv_Platform_AspectFit(kv_RenderHooks_IsWidescreen(), static_cast<uint32_t>(targetW),
                        static_cast<uint32_t>(targetH), static_cast<uint32_t>(surfaceW),
                        static_cast<uint32_t>(surfaceH), &sx, &sy, &ox, &oy);
  const float w = static_cast<float>(surfaceW), h = static_cast<float>(surfaceH);
  DrawRecord record;
  Quad_BuildTexturedDrawForTarget(&record, surface, ox, oy, 0, 0, w * sx, h * sy, 0, 0, w, h,
                                  target, opacity, 0);
  record.blendEnabled = opacity < 0.999999f ? 1 : 0;
  record.blendMode = 0;
  const int l = linear ? 1 : 0;
  record.samplerStates[0] = {2, l, l, 1};
  // The gamma curve costs a software GL more than the copy itself, and a
  // gamma of 1 (or none) leaves every texel as it is: the plain textured
  // program then draws the same picture (the present never desaturates).
  const float gamma = RenderHost_Calls().gamma();
  const bool curve = gamma > 0.0f && gamma != 1.0f;
  record.program = curve || !TexturedQuadProgram ? TexturedGammaQuadProgram : TexturedQuadProgram;
  if (record.program && record.vertexBuffer) kv_RenderContext_SubmitDraw(&record);
}
