// What the classic engine draws during a frame, as deferred draw records:
// the background images and depth images it blits (underlays, overlays,
// virtual depth), sprites and every lit submesh (albedo, smooth lighting,
// shadow meshes); and the passes of phase 2 that replay them: the flush of
// the underlays and the G-buffer, smooth lighting and the set's Z shapes.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "gfx/kv_Buffer.h"
#include "gfx/kv_RenderContext.h"
#include "gfx/kv_RenderTarget.h"
#include "gfx/kv_Surface.h"
#include "platform/kv_RenderHooks.h"
#include "quadrix/qxMatrix.h"
#include "quadrix/qxModel3_Draw.h"
#include "quadrix/qxSprite.h"
#include "render/Deferred.h"
#include "render/DeferredScene.h"
#include "render/HardwareOverlay.h"
#include "render/Quad.h"
#include "render/RenderHost.h"
#include "std/stdDisplay.h"

kvRenderTarget* Deferred_FrameTarget = nullptr;

namespace {

// The classic picture's size, which every blit and sprite is fitted from.
constexpr uint32_t kClassicWidth = 640;
constexpr uint32_t kClassicHeight = 480;
// Backgrounds of these sizes carry a last column and row that is not shown.
constexpr int kTrimmedWidth = 226;
constexpr int kTrimmedHeight = 214;
// Grid Z shapes: slot v holds a grid of 10 v subdivisions (5 for v = 0).
constexpr int kGridSlots = 6;

constexpr kvSamplerState kMeshSampler = {0, 0, 1, 2};    // repeat, linear, linear mips
constexpr kvSamplerState kNearestClamp = {2, 0, 0, 0};   // clamp, nearest, no mips
constexpr kvSamplerState kLinearClamp = {2, 0, 1, 0};    // clamp, linear, no mips

// A record of triangles over a whole vertex buffer.
DrawRecord Triangles(kvShader* program, kvVertexBuffer* buffer) {
  DrawRecord record{};
  record.primitiveKind = 4;
  record.program = program;
  record.count = -2;
  record.vertexBuffer = buffer;
  return record;
}

void SetTexture(DrawRecord* record, int slot, kvSurface* surface, const kvSamplerState& sampler) {
  record->textures[slot] = surface;
  record->samplerStates[slot] = sampler;
  record->textureCount = std::max(record->textureCount, slot + 1);
  record->samplerCount = record->textureCount;
}

// Binds the four G-buffer targets and the scene depth.
void BindGBuffer(kvRenderContext* context) {
  kv_RenderContext_SetDepthTarget(context, SceneDepthTarget.target);
  kv_RenderContext_SetRenderTarget(context, 0, AlbedoTarget.target);
  kv_RenderContext_SetRenderTarget(context, 1, DistanceTarget.target);
  kv_RenderContext_SetRenderTarget(context, 2, NormalTarget.target);
  kv_RenderContext_SetRenderTarget(context, 3, LightTarget.target);
}

// One texture (with its sampler) for a full-screen draw.
void BindTexture(kvRenderContext* context, kvSurface* surface, const kvSamplerState& sampler) {
  kvSurface* const textures[1] = {surface};
  kv_RenderContext_SetTextures(context, 1, textures);
  kv_RenderContext_SetSamplers(context, 1, &sampler);
}

void BindConstants(kvRenderContext* context, const kvConstantBlock& vertex,
                   const kvConstantBlock& pixel) {
  kv_RenderContext_SetConstants(context, &vertex, 1);
  kv_RenderContext_SetConstants(context, &pixel, 0);
}

// The full-screen quad's depth that keeps a pass to the meshes' pixels:
// just in front of the cleared scene depth (0) and behind every mesh
// (larger is nearer), tested "less".
constexpr float kBehindMeshesZ = -1.0f + 2.0e-6f;

// The full-screen quad's vertices at clip depth z, set as the vertex
// buffer; false when they cannot be had.
bool SetFullScreenQuad(kvRenderContext* context, int flip, float z) {
  kvVertexBuffer* buffer = Deferred_AllocVertices<TexturedQuadVertex>(context, 6);
  if (!buffer) return false;
  // Render-target surfaces hold their rows bottom-up: v is 1 at the top.
  Quad_WriteVertices(-1.0f, -1.0f, 2.0f, 2.0f, 0.0f, flip ? 0.0f : 1.0f, 1.0f, flip ? 1.0f : 0.0f,
                     buffer, 0);
  if (z != 0.0f) {
    auto* vertices = static_cast<TexturedQuadVertex*>(kv_Buffer_Lock(buffer));
    if (!vertices) return false;
    for (int v = 0; v < 6; ++v) vertices[v].Position.z = z;
    kv_Buffer_Unlock(buffer);
  }
  kv_RenderContext_SetVertexBuffer(context, buffer);
  return true;
}

// The full-screen quad at the depth z, once per rectangle.
void DrawQuadIn(kvRenderContext* context, const DeferredRectList& rects, float z) {
  if (rects.count == 0 || !SetFullScreenQuad(context, 0, z)) return;
  for (int r = 0; r < rects.count; ++r) {
    Deferred_ClipTo(context, rects.rects[r]);
    kv_RenderContext_DrawPrimitives(context, 4, 0, 6);
  }
  kv_RenderContext_ClearClipRect(context);
}

// Within the rectangles, only where the bound scene depth holds a mesh
// (the caller sets the "less" test): a software GL skips the shading of
// blocks the early depth test rejects whole.
void DrawBehindMeshesIn(kvRenderContext* context, const DeferredRectList& rects) {
  DrawQuadIn(context, rects, kBehindMeshesZ);
}

}  // namespace

// Blits ------------------------------------------------------------------------------------------

void Deferred_Blit(DisplayBuffer* dstBuffer, kvSurface* dstSurface, DisplayBuffer* srcBuffer,
                   kvSurface* srcSurface, int x, int y, const stdRect* srcRect, int flags) {
  // Bookkeeping first: it runs whether or not the back end is active.
  kvSurface* front = kv_RenderHooks_GetFrontSurface();
  kvSurface* back = kv_RenderHooks_GetBackSurface();
  DisplayBuffer* display = RenderHost_Calls().displayRaster();
  DisplayBuffer* zRaster = RenderHost_Calls().zRaster();
  bool depth = false;
  if (dstBuffer && dstBuffer == zRaster) {
    depth = true;
    Deferred_PresentFrontBuffer = 0;
  } else if (dstBuffer && dstBuffer == display) {
    Deferred_PresentFrontBuffer = 0;
  } else if (dstSurface && dstSurface == front) {
    // A page flip of the classic picture shows the deferred one; any other
    // picture copied to the front buffer is shown as it is.
    const bool flip = (srcSurface && srcSurface == back) || (srcBuffer && srcBuffer == display);
    Deferred_PresentFrontBuffer = flip ? 0 : 1;
    return;
  } else if (dstSurface && dstSurface == back) {
    // Drawn in colour mode; the flag is unchanged.
  } else if (dstSurface) {
    kv_Surface_ClearModified(dstSurface);
    return;
  } else {
    TextureCache_MarkStale(dstBuffer);
    return;
  }

  if (!Deferred_IsActive() || (!srcBuffer && !srcSurface)) return;
  kvRenderContext* context = Deferred_PassContext();
  if (!context) return;
  const DeferredTarget& reference =
      depth ? VirtualDepthTarget
            : (Deferred_AlbedoBucket->count > 0 ? FinalTarget : AlbedoTarget);

  int32_t bitmapWidth = 0, bitmapHeight = 0;
  uint32_t key = 0;
  if (srcBuffer) {
    qxModel3_GetBitmapInfo(srcBuffer, &bitmapWidth, &bitmapHeight, nullptr, nullptr, nullptr, &key,
                           nullptr);
  }
  kvSurface* source = srcSurface;
  if (!source) {
    source = depth ? TextureCache_GetForDepthBitmap(srcBuffer, flags != 0, key, 0)
                   : TextureCache_GetForBitmap(srcBuffer, flags != 0, key, 0);
  }
  int sourceWidth = 0, sourceHeight = 0;
  uint32_t format = 0;
  kv_Surface_GetInfo(source, &sourceWidth, &sourceHeight, &format);
  if (!source || sourceWidth <= 0 || sourceHeight <= 0) return;
  if (!srcBuffer) {
    bitmapWidth = sourceWidth;
    bitmapHeight = sourceHeight;
  }

  float sx = 1.0f, sy = 1.0f, ox = 0.0f, oy = 0.0f;
  kv_Platform_AspectFitToTarget(0, reference.target, kClassicWidth, kClassicHeight, &sx, &sy, &ox,
                                &oy);
  const stdRect rect = srcRect ? *srcRect : stdRect{0, 0, sourceWidth, sourceHeight};
  const bool trimmed = bitmapWidth == kTrimmedWidth || bitmapHeight == kTrimmedHeight;
  const float width = static_cast<float>(trimmed ? rect.width - 1 : rect.width);
  const float height = static_cast<float>(trimmed ? rect.height - 1 : rect.height);
  if (width <= 0.0f || height <= 0.0f) return;

  DrawRecord record;
  Quad_BuildTexturedDrawForTarget(&record, source, static_cast<float>(x) * sx + ox,
                                  static_cast<float>(y) * sy + oy, 0.0f, 0.0f, width * sx,
                                  height * sy, static_cast<float>(rect.x),
                                  static_cast<float>(rect.y), static_cast<float>(rect.x) + width,
                                  static_cast<float>(rect.y) + height, reference.target, 1.0f,
                                  0.0f);
  if (!record.vertexBuffer) return;
  kvConstantBlock block;
  auto* constants = Deferred_AllocConstants<TexturedQuadConstants>(context, &block);
  if (!constants) return;
  constants->MultiplyColor = kvVector4F_One;
  constants->TexelSizeDesaturateGamma = {1.0f / static_cast<float>(sourceWidth),
                                         1.0f / static_cast<float>(sourceHeight), 0.0f,
                                         RenderHost_Calls().gamma()};
  constants->ColorKey = flags != 0 ? key : 0xFFFFFFFFu;

  const bool raw16 = format == kvFormat_U16x1;
  int program = 0;
  if (depth) {
    program = raw16 ? DeferredProgram_ZQuad565 : DeferredProgram_ZQuad;
  } else {
    program = raw16 ? DeferredProgram_TexturedQuad565Linear : DeferredProgram_TexturedQuad;
  }
  record.program = Deferred_GetProgram(program);
  record.vertexConstants = block;
  record.pixelConstants = block;
  record.depthCompare = 0;
  record.depthWrite = 0;
  record.blendEnabled = depth ? 0 : 1;
  record.blendMode = 0;
  // "textured_quad_565_linear" filters itself after keying.
  record.samplerStates[0] = program == DeferredProgram_TexturedQuad565Linear ? kNearestClamp
                                                                             : kLinearClamp;
  if (depth) {
    RenderBucket_Add(Deferred_VirtualDepthBucket, &record);
    Deferred_NoteBackdropRecord(Deferred_VirtualDepthBucket, record);
  } else {
    Deferred_AddBitmapRecord(&record);
  }
}

// Sprites -----------------------------------------------------------------------------------------

int Deferred_DrawSprite(qxThing* thing, const qxMatrix34* placement) {
  if (!Deferred_IsActive() || !thing) return 0;
  kvRenderContext* context = Deferred_PassContext();
  if (!context) return 0;
  qxMaterial* material = nullptr;
  int32_t cel = 0;
  qxVector3 corner0{}, corner1{};
  qxSprite_GetDrawInfo(thing, placement, &material, &cel, nullptr, nullptr, nullptr, &corner0,
                       &corner1);
  DisplayBuffer* bitmap = nullptr;
  int32_t keyEnable = 0;
  uint32_t keyValue = 0;
  qxModel3_GetMaterialTexture(material, cel, &bitmap, &keyEnable, &keyValue, nullptr, nullptr);
  if (!bitmap) return 0;
  kvSurface* texture =
      TextureCache_GetForBitmap(bitmap, static_cast<uint32_t>(keyEnable), keyValue, 0);
  int textureWidth = 0, textureHeight = 0;
  kv_Surface_GetInfo(texture, &textureWidth, &textureHeight, nullptr);
  if (!texture || textureWidth <= 0 || textureHeight <= 0) return 0;

  float sx = 1.0f, sy = 1.0f;
  kv_Platform_AspectFitToTarget(0, AlbedoTarget.target, kClassicWidth, kClassicHeight, &sx, &sy,
                                nullptr, nullptr);
  DrawRecord record;
  Quad_BuildTexturedDrawForTarget(
      &record, texture, corner0.x * sx, corner0.y * sy, 0.0f, 0.0f, (corner1.x - corner0.x) * sx,
      (corner1.y - corner0.y) * sy, 0.0f, 0.0f, static_cast<float>(textureWidth),
      static_cast<float>(textureHeight), AlbedoTarget.target, 1.0f, 0.0f);
  auto* vertices = record.vertexBuffer ? static_cast<QuadVertex*>(kv_Buffer_Lock(record.vertexBuffer))
                                       : nullptr;
  if (!vertices) return 0;
  // The sprite's depth, as the scene depth holds it.
  const float z = 1.0f / ((corner0.z + corner1.z) * 0.5f + 1.0f);
  for (int v = 0; v < 6; ++v) vertices[v].Position.z = z;
  kv_Buffer_Unlock(record.vertexBuffer);
  record.program = Deferred_GetProgram(DeferredProgram_TexturedQuad);
  record.depthCompare = 5;
  record.depthWrite = 0;
  RenderBucket_Add(Deferred_BitmapOverlaysBucket, &record);
  return 1;
}

// Submeshes ----------------------------------------------------------------------------------------

int Deferred_DrawSubmesh(kvRenderContext* context, const qxMatrix34* placement,
                         kvVertexBuffer* vertexBuffer, kvSurface* texture, float red, float green,
                         float blue, float) {
  if (!context || !vertexBuffer) return 0;
  const DeferredCamera camera = Deferred_GetCamera();
  const kvMatrix4F model = Deferred_PlacementMatrix(placement);

  DrawRecord record = Triangles(
      Deferred_GetProgram(texture ? DeferredProgram_TexturedLit : DeferredProgram_UntexturedLit),
      vertexBuffer);
  auto* block = Deferred_AllocConstants<LitMeshVertexConstants>(context, &record.vertexConstants);
  if (!block) return 0;
  block->Model = model;
  block->View = camera.view;
  block->ViewDistance = {camera.focal, red, green, blue};
  record.pixelConstants = record.vertexConstants;
  record.depthCompare = 5;
  record.depthWrite = 1;
  if (texture) SetTexture(&record, 0, texture, kMeshSampler);
  RenderBucket_Add(Deferred_AlbedoBucket, &record);
  Deferred_NoteMesh(vertexBuffer, model, camera);

  if (Deferred_SmoothLightingOn && texture) {
    DrawRecord smooth = record;
    smooth.program = Deferred_GetProgram(DeferredProgram_SmoothLighting);
    SetTexture(&smooth, 1, AlbedoTarget.surface, kNearestClamp);
    SetTexture(&smooth, 2, DistanceTarget.surface, kNearestClamp);
    SetTexture(&smooth, 3, NormalTarget.surface, kNearestClamp);
    smooth.depthCompare = 1;
    smooth.depthWrite = 0;
    smooth.blendEnabled = 1;
    smooth.blendMode = 1;
    RenderBucket_Add(Deferred_SmoothLightingBucket, &smooth);
  }

  if (ModelDetailFlag == 1 && DeferredScene().countFlaggedDeferredLights() > 0) {
    DrawRecord shadow = Triangles(Deferred_GetProgram(DeferredProgram_ShadowMesh), vertexBuffer);
    auto* constants =
        Deferred_AllocConstants<ShadowMeshConstants>(context, &shadow.vertexConstants);
    if (constants) {
      constants->LocalToWorld = model;
      shadow.depthCompare = 1;
      shadow.depthWrite = 1;
      RenderBucket_Add(Deferred_ShadowMeshesBucket, &shadow);
    }
  }
  return 1;
}

// Flush and smooth lighting --------------------------------------------------------------------------

int Deferred_Flush(void) {
  ProfileScope profile("Deferred_Flush");
  kvRenderContext* context = Deferred_PassContext();
  if (!context) return 0;
  // The underlays go into the target bound at the frame begin.
  kv_RenderContext_PushMarker(context, "Bitmap underlays");
  if (Deferred_FrameTarget) {
    kv_RenderContext_SetDepthTarget(context, nullptr);
    kv_RenderContext_SetRenderTarget(context, 0, Deferred_FrameTarget);
    for (int slot = 1; slot < 4; ++slot) kv_RenderContext_SetRenderTarget(context, slot, nullptr);
  }
  Deferred_DrawUnderlays(context);
  kv_RenderContext_PopMarker(context);
  if (!RenderHost_Calls().isInitialized()) return 0;

  if (Deferred_AdvancedLightingOff) {
    if (!Deferred_ForwardShadowMap()) Deferred_ClearShadowMap();
    kv_RenderContext_SetCullMode(context, 0);
    kv_RenderContext_PushMarker(context, "Albedo");
    Deferred_BindTarget(context, LightTarget, SceneDepthTarget.target);
  } else {
    BindGBuffer(context);
    kv_RenderContext_PushMarker(context, "Mesh albedo");
  }
  kv_RenderContext_SetDepthState(context, 0, 1);
  kv_RenderContext_Clear(context, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
  RenderBucket_Draw(Deferred_AlbedoBucket, 1, nullptr, nullptr);
  kv_RenderContext_PopMarker(context);
  if (Deferred_SmoothLightingOn && !Deferred_AdvancedLightingOff) Deferred_SmoothLighting();
  return 1;
}

void Deferred_SmoothLighting(void) {
  kvRenderContext* context = Deferred_PassContext();
  if (!context) return;
  const kvConstantBlock none = {0, nullptr, nullptr};
  // Outside the meshes the resolve writes back the copied normal unchanged,
  // so the copy and the resolve keep to the mesh pixels: their rectangles,
  // and within them the scene depth's test (a full-screen pass a software
  // GL would shade whole). The resolve reads the copy only where both run,
  // so the scratch target needs no clear. Not when the scratch target
  // holds the frame's background (a set lit only by cutscene lights), which
  // the whole copy overwrites.
  const bool meshesOnly = Deferred_FrameTarget != SmoothLightingScratchTarget.target;
  kvRenderTarget* depth = meshesOnly ? SceneDepthTarget.target : nullptr;
  DeferredRectList reach;
  if (meshesOnly) {
    reach = Deferred_MeshRects;
  } else {
    DeferredRectList_Add(&reach, Deferred_FullTarget());
  }
  const auto drawQuads = [&] {
    if (meshesOnly) {
      kv_RenderContext_SetDepthState(context, 1, 0);
      DrawBehindMeshesIn(context, reach);
    } else {
      kv_RenderContext_SetDepthState(context, 0, 0);
      Deferred_DrawFullScreenQuadIn(context, reach);
    }
  };

  kv_RenderContext_PushMarker(context, "Copy normal");
  Deferred_BindTarget(context, SmoothLightingScratchTarget, depth);
  kv_RenderContext_SetCullMode(context, 0);
  kv_RenderContext_SetProgram(context, Deferred_GetProgram(DeferredProgram_Copy));
  BindTexture(context, NormalTarget.surface, kNearestClamp);
  kv_RenderContext_SetAlphaBlendEnabled(context, 0, 0);
  BindConstants(context, none, none);
  drawQuads();
  kv_RenderContext_PopMarker(context);

  kv_RenderContext_PushMarker(context, "Generate smooth lighting data");
  Deferred_BindTarget(context, SmoothLightingLightTarget, SceneDepthTarget.target);
  kv_RenderContext_SetDepthState(context, 0, 0);
  kv_RenderContext_Clear(context, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
  kv_RenderContext_SetCullMode(context, 1);
  RenderBucket_Draw(Deferred_SmoothLightingBucket, 1, nullptr, nullptr);
  kv_RenderContext_PopMarker(context);

  kv_RenderContext_PushMarker(context, "Smooth lighting resolve");
  Deferred_BindTarget(context, NormalTarget, depth);
  kv_RenderContext_SetCullMode(context, 0);
  kv_RenderContext_SetProgram(context, Deferred_GetProgram(DeferredProgram_SmoothLightingResolve));
  kvSurface* const textures[3] = {SmoothLightingLightTarget.surface, AlbedoTarget.surface,
                                  SmoothLightingScratchTarget.surface};
  const kvSamplerState samplers[3] = {kNearestClamp, kNearestClamp, kNearestClamp};
  kv_RenderContext_SetTextures(context, 3, textures);
  kv_RenderContext_SetSamplers(context, 3, samplers);
  kvConstantBlock block;
  if (auto* constants = Deferred_AllocConstants<SmoothLightingResolveConstants>(context, &block)) {
    int width = 1, height = 1;
    kv_Surface_GetInfo(SmoothLightingLightTarget.surface, &width, &height, nullptr);
    constants->TexelSize = {1.0f / static_cast<float>(std::max(width, 1)),
                            1.0f / static_cast<float>(std::max(height, 1))};
    BindConstants(context, block, block);
    kv_RenderContext_SetAlphaBlendEnabled(context, 0, 0);
    drawQuads();
  }
  kv_RenderContext_PopMarker(context);

  BindGBuffer(context);
  kv_RenderContext_SetCullMode(context, 0);
}

// Full-screen quads and grids ---------------------------------------------------------------------

void Deferred_DrawFullScreenQuad(int flip) {
  kvRenderContext* context = kv_RenderContext_Get();
  if (SetFullScreenQuad(context, flip, 0.0f)) kv_RenderContext_DrawPrimitives(context, 4, 0, 6);
}

void Deferred_DrawFullScreenQuadIn(kvRenderContext* context, const DeferredRectList& rects) {
  DrawQuadIn(context, rects, 0.0f);
}

int Deferred_MakeGridMesh(kvVertexBuffer** vertices, kvIndexBuffer** indices, int n) {
  *vertices = nullptr;
  *indices = nullptr;
  if (n < 1 || n > 255) return 0;
  kvRenderContext* context = kv_RenderContext_Get();
  const int side = n + 1;
  kvVertexBuffer* buffer = Deferred_AllocVertices<Vector3Vertex>(context, side * side);
  kvIndexBuffer* index = kv_IndexBuffer_AllocateTransient(context, n * n * 6, 0);
  auto* points = buffer ? static_cast<Vector3Vertex*>(kv_Buffer_Lock(buffer)) : nullptr;
  uint16_t* out = index ? kv_IndexBuffer_Lock(index) : nullptr;
  if (!points || !out) {
    if (points) kv_Buffer_Unlock(buffer);
    if (out) kv_IndexBuffer_Unlock(index);
    return 0;
  }
  const float step = 2.0f / static_cast<float>(n);
  for (int r = 0; r < side; ++r) {
    for (int c = 0; c < side; ++c) {
      points[r * side + c].Position = {-1.0f + step * static_cast<float>(c),
                                       -1.0f + step * static_cast<float>(r), 0.0f};
    }
  }
  kv_Buffer_Unlock(buffer);
  for (int r = 0; r < n; ++r) {
    for (int c = 0; c < n; ++c) {
      const auto b = static_cast<uint16_t>(r * side + c);
      const auto s = static_cast<uint16_t>(side);
      uint16_t* cell = out + (r * n + c) * 6;
      cell[0] = b;
      cell[1] = static_cast<uint16_t>(b + 1);
      cell[2] = static_cast<uint16_t>(b + s + 1);
      cell[3] = static_cast<uint16_t>(b + s + 1);
      cell[4] = static_cast<uint16_t>(b + s);
      cell[5] = b;
    }
  }
  kv_IndexBuffer_Unlock(index);
  *vertices = buffer;
  *indices = index;
  return n * n * 6;
}

// Z shapes ------------------------------------------------------------------------------------------

namespace {

// Calls visit(code, kind, value, box) for every Z shape of the set in the
// order they are drawn: code 1 shapes (which replace what is there), then
// code 0 shapes (which keep the nearest); boxes before grids in each. A
// visit that answers false ends the walk.
template <class Visit>
void ForEachZShape(const DeferredSceneCalls& scene, int count, Visit&& visit) {
  for (const uint32_t code : {1u, 0u}) {
    for (const uint32_t kind : {0u, 1u}) {
      for (int j = 0; j < count; ++j) {
        uint32_t value = 0;
        qxMatrix34 box{};
        if (!scene.getZShape(j, kind, code, &value, &box)) continue;
        if (!visit(code, kind, value, box)) return;
      }
    }
  }
}

}  // namespace

void Deferred_ZShapes(void) {
  if (!Deferred_IsActive()) return;
  kvRenderContext* context = Deferred_PassContext();
  const DeferredSceneCalls& scene = DeferredScene();
  const int count = scene.countZShapes();
  if (!context || count <= 0) return;
  kv_RenderContext_PushMarker(context, "Z shapes");

  struct Mesh {
    kvVertexBuffer* vertices = nullptr;
    kvIndexBuffer* indices = nullptr;
    int indexCount = 0;
  };
  Mesh cube;
  cube.indexCount = Deferred_MakeCubeMesh(&cube.vertices, &cube.indices, 0);
  Mesh grids[kGridSlots];

  const DeferredCamera camera = Deferred_GetCamera();
  kv_RenderContext_SetProgram(context, Deferred_GetProgram(DeferredProgram_ZShape));
  kv_RenderContext_SetTextures(context, 0, nullptr);
  kv_RenderContext_SetCullMode(context, 1);
  const kvConstantBlock none = {0, nullptr, nullptr};
  kvVertexBuffer* last = nullptr;
  uint32_t blendCode = ~0u;
  ForEachZShape(scene, count, [&](uint32_t code, uint32_t kind, uint32_t value,
                                  const qxMatrix34& box) {
    if (code != blendCode) {
      kv_RenderContext_SetAlphaBlendEnabled(context, code == 0 ? 1 : 0, 3);
      blendCode = code;
    }
    Mesh* mesh = &cube;
    if (kind == 1) {
      const int slot = static_cast<int>(std::min<uint32_t>(value, kGridSlots - 1));
      mesh = &grids[slot];
      if (!mesh->vertices) {
        mesh->indexCount = Deferred_MakeGridMesh(&mesh->vertices, &mesh->indices,
                                                 slot == 0 ? 5 : 10 * slot);
      }
    }
    if (mesh->indexCount <= 0) return true;
    kvConstantBlock block;
    auto* constants = Deferred_AllocConstants<ZShapeVertexConstants>(context, &block);
    if (!constants) return false;
    constants->ViewDistance = {camera.focal, 0.0f, 0.0f, 0.0f};
    kvMatrix4F local;
    kv_Matrix4_FromMatrix34(box, &local);
    kv_Matrix4_Multiply(local, camera.view, &constants->LocalToCamera);
    BindConstants(context, block, none);
    if (mesh->vertices != last) {
      kv_RenderContext_SetVertexBuffer(context, mesh->vertices);
      last = mesh->vertices;
    }
    kv_RenderContext_DrawIndexedPrimitives(context, 4, mesh->indices, 0, mesh->indexCount);
    return true;
  });
  kv_RenderContext_SetCullMode(context, 0);
  kv_RenderContext_SetAlphaBlendEnabled(context, 0, 0);
  kv_RenderContext_PopMarker(context);
}

uint64_t Deferred_ZShapesFingerprint(uint64_t seed) {
  const DeferredSceneCalls& scene = DeferredScene();
  const int count = scene.countZShapes();
  uint64_t h = Deferred_Hash(seed, &count, sizeof count);
  if (count <= 0) return h;
  const DeferredCamera camera = Deferred_GetCamera();
  h = Deferred_Hash(h, &camera.focal, sizeof camera.focal);
  h = Deferred_Hash(h, &camera.view, sizeof camera.view);
  ForEachZShape(scene, count, [&](uint32_t code, uint32_t kind, uint32_t value,
                                  const qxMatrix34& box) {
    const uint32_t words[] = {code, kind, value};
    h = Deferred_Hash(h, words, sizeof words);
    h = Deferred_Hash(h, &box, sizeof box);
    return true;
  });
  return h;
}
