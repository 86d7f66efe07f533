// The deferred back end's set-up: programs, buckets, targets, registration,
// and the pass operations that bind and clear them.
#include "render/Deferred.h"

#include <cmath>
#include <cstring>

#include "gfx/kv_RenderContext.h"
#include "gfx/kv_RenderTarget.h"
#include "gfx/kv_Shader.h"
#include "gfx/kv_Surface.h"
#include "platform/kv_Log.h"
#include "platform/kv_RenderHooks.h"
#include "render/DeferredScene.h"
#include "render/HardwareOverlay.h"
#include "render/RenderHost.h"

float Deferred_ClearColour[4] = {0.0f, 0.0f, 0.0f, 0.0f};

const DeferredProgramSource Deferred_ProgramSources[DeferredProgram_Count] = {
    {"copy", nullptr},
    {"textured_quad", nullptr},
    {"textured_quad_565", nullptr},
    {"textured_quad_565_linear", nullptr},
    {"z_quad", nullptr},
    {"z_quad_565", nullptr},
    {"shadow", nullptr},
    {"textured_lit", nullptr},
    {"untextured_lit", nullptr},
    {"forward_vertex_common", "forward_textured"},
    {"forward_vertex_common", "forward_untextured"},
    {"forward_vertex_common", "forward_textured_spot"},
    {"forward_vertex_common", "forward_untextured_spot"},
    {"forward_vertex_common", "forward_textured_directional"},
    {"forward_vertex_common", "forward_untextured_directional"},
    {"forward_vertex_low_common", "forward_textured"},
    {"forward_vertex_low_common", "forward_untextured"},
    {"forward_vertex_low_common", "forward_textured_spot"},
    {"forward_vertex_low_common", "forward_untextured_spot"},
    {"forward_vertex_low_common", "forward_textured_directional"},
    {"forward_vertex_low_common", "forward_untextured_directional"},
    {"smooth_lighting", nullptr},
    {"smooth_lighting_resolve", nullptr},
    {"deferred_zshape", nullptr},
    {"deferred_char_light_viz", nullptr},
    {"deferred_char_light_point", nullptr},
    {"deferred_char_light_spot", nullptr},
    {"deferred_char_light_spot_shadow", nullptr},
    {"deferred_char_light_spot_shadow_env", nullptr},
    {"deferred_char_light_directional", nullptr},
    {"deferred_char_light_directional_shadow", nullptr},
    {"deferred_char_light_directional_shadow_env", nullptr},
    {"deferred_char_light_gradient", nullptr},
    {"deferred_char_ao", nullptr},
    {"deferred_char_resolve", nullptr},
    {"deferred_char_resolve", "deferred_char_resolve_shadows"},
    {"deferred_light_direct", nullptr},
    {"deferred_light_omni", nullptr},
    {"deferred_light_spot", nullptr},
    {"deferred_light", nullptr},
    {"deferred_resolve", nullptr},
    {"deferred_post_process", nullptr},
    {"shadow_mesh", nullptr},
};

RenderBucket* Deferred_ShadowBucket = nullptr;
RenderBucket* Deferred_AlbedoBucket = nullptr;
RenderBucket* Deferred_SmoothLightingBucket = nullptr;
RenderBucket* Deferred_BitmapUnderlaysBucket = nullptr;
RenderBucket* Deferred_BitmapOverlaysBucket = nullptr;
RenderBucket* Deferred_VirtualDepthBucket = nullptr;
RenderBucket* Deferred_ShadowMeshesBucket = nullptr;

DeferredTarget DistanceTarget = {};
DeferredTarget NormalTarget = {};
DeferredTarget AlbedoTarget = {};
DeferredTarget LightTarget = {};
DeferredTarget SceneDepthTarget = {};
DeferredTarget ResolveTarget = {};
DeferredTarget VirtualDepthTarget = {};
DeferredTarget ImmediateTarget = {};
DeferredTarget FinalTarget = {};
DeferredTarget ShadowMapDepthTarget = {};
DeferredTarget ShadowMapTarget = {};
DeferredTarget SmoothLightingLightTarget = {};
DeferredTarget SmoothLightingScratchTarget = {};

const DeferredTargetSpec Deferred_TargetSpecs[Deferred_TargetCount] = {
    {&DistanceTarget, 0, kvFormat_Fx1},       {&NormalTarget, 0, kvFormat_8x4},
    {&AlbedoTarget, 0, kvFormat_8x4},         {&LightTarget, 0, kvFormat_F16x4},
    {&SceneDepthTarget, 0, kvFormat_Depth},   {&ResolveTarget, 0, kvFormat_8x4},
    {&VirtualDepthTarget, 0, kvFormat_F16x1}, {&ImmediateTarget, 0, kvFormat_8x4},
    {&FinalTarget, 0, kvFormat_8x4},          {&ShadowMapDepthTarget, 1, kvFormat_Depth},
    {&ShadowMapTarget, 1, kvFormat_F16x2},
};

uint32_t ShadowMapFrameCount = 0;

namespace {

kvShader* g_programs[DeferredProgram_Count] = {};
bool g_programsReady = false;
bool g_targetsReady = false;

// The largest deferred scale: 640 x 25.6 = 16384 pixels across.
constexpr float kMaxScale = 25.6f;

bool AllTargetsExist(void) {
  for (const DeferredTargetSpec& spec : Deferred_TargetSpecs) {
    if (!spec.handle->target) return false;
    if (spec.format != kvFormat_Depth && !spec.handle->surface) return false;
  }
  return true;
}

}  // namespace

// Programs and buckets --------------------------------------------------------------

kvShader* Deferred_GetProgram(int id) {
  if (id < 0 || id >= DeferredProgram_Count) return nullptr;
  return g_programs[id];
}

kvShader* Deferred_GetForwardProgram(int lowQuality, int pixelShader) {
  if (pixelShader < 0 || pixelShader >= 6) return nullptr;
  return g_programs[(lowQuality ? DeferredProgram_ForwardLow : DeferredProgram_Forward) +
                    pixelShader];
}

RenderBucket* Deferred_CreateBuckets(void) {
  const struct {
    RenderBucket** bucket;
    const char* name;
  } buckets[] = {
      {&Deferred_ShadowBucket, "shadow"},
      {&Deferred_AlbedoBucket, "albedo"},
      {&Deferred_SmoothLightingBucket, "smooth lighting"},
      {&Deferred_BitmapUnderlaysBucket, "bitmap underlays"},
      {&Deferred_BitmapOverlaysBucket, "bitmap overlays"},
      {&Deferred_VirtualDepthBucket, "virtual depth"},
      {&Deferred_ShadowMeshesBucket, "shadow meshes"},
  };
  bool ok = true;
  for (const auto& b : buckets) {
    if (!*b.bucket) *b.bucket = RenderBucket_Create(b.name);
    if (!*b.bucket) {
      kv_Log_Printf("[Deferred] - the render bucket \"%s\" could not be created", b.name);
      ok = false;
    }
  }
  return ok ? Deferred_ShadowMeshesBucket : nullptr;
}

RenderBucket* Deferred_CreatePrograms(void) {
  bool ok = true;
  for (int i = 0; i < DeferredProgram_Count; ++i) {
    const DeferredProgramSource& source = Deferred_ProgramSources[i];
    g_programs[i] = source.pixel ? kv_Shader_Load_Separate(source.vertex, source.pixel)
                                 : kv_Shader_Load(source.vertex);
    if (!g_programs[i]) {
      kv_Log_Printf("[Deferred] - the program %s%s%s could not be built", source.vertex,
                    source.pixel ? " + " : "", source.pixel ? source.pixel : "");
      ok = false;
    }
  }
  RenderBucket* last = Deferred_CreateBuckets();
  g_programsReady = ok && last != nullptr;
  return g_programsReady ? last : nullptr;
}

// Targets ---------------------------------------------------------------------------

void Deferred_ComputeSize(uint32_t displayWidth, uint32_t displayHeight, float q, int* width,
                          int* height) {
  const float sx = static_cast<float>(displayWidth) / 640.0f;
  const float sy = static_cast<float>(displayHeight) / 480.0f;
  float s = sx < sy ? sx : sy;
  s = (q * 0.25f + 0.5f) * s;
  if (!(s >= 1.0f)) s = 1.0f;  // also a NaN scaling
  if (s > kMaxScale) s = kMaxScale;
  if (width) *width = static_cast<int>(std::ceil(640.0f * s));
  if (height) *height = static_cast<int>(std::ceil(480.0f * s));
}

void RenderTarget_Recreate(kvRenderTarget** handle, int width, int height, uint32_t format) {
  if (!handle) return;
  if (*handle) kv_RenderTarget_Free(*handle);
  *handle = kv_RenderTarget_Create(width, height, format);
}

void RenderTarget_RecreateWithSurface(kvRenderTarget** handle, kvSurface** surface, int width,
                                      int height, uint32_t format) {
  if (!handle || !surface) return;
  *surface = nullptr;
  RenderTarget_Recreate(handle, width, height, format);
  *surface = kv_RenderTarget_GetSurface(*handle);
}

namespace {
// The deferred size for the display and resolution scaling of now.
void CurrentDeferredSize(int* width, int* height) {
  int displayWidth = 0, displayHeight = 0;
  kv_Platform_GetDisplaySize(&displayWidth, &displayHeight);
  *width = 640;
  *height = 480;
  Deferred_ComputeSize(static_cast<uint32_t>(displayWidth), static_cast<uint32_t>(displayHeight),
                       RenderHost_Calls().resolutionScaling(), width, height);
}

// Whether every target is there at the size it would be made at.
bool TargetsHaveSize(int width, int height) {
  if (!g_targetsReady || !AllTargetsExist()) return false;
  for (const DeferredTargetSpec& spec : Deferred_TargetSpecs) {
    int w = 0, h = 0;
    uint32_t format = 0;
    kv_RenderTarget_GetInfo(spec.handle->target, &w, &h, &format);
    if (w != (spec.shadowMapSized ? Deferred_ShadowMapSize : width) ||
        h != (spec.shadowMapSized ? Deferred_ShadowMapSize : height) || format != spec.format) {
      return false;
    }
  }
  return true;
}
}  // namespace

kvRenderTarget* Deferred_CreateTargets(void) {
  int width = 640, height = 480;
  CurrentDeferredSize(&width, &height);
  for (const DeferredTargetSpec& spec : Deferred_TargetSpecs) {
    const int w = spec.shadowMapSized ? Deferred_ShadowMapSize : width;
    const int h = spec.shadowMapSized ? Deferred_ShadowMapSize : height;
    RenderTarget_RecreateWithSurface(&spec.handle->target, &spec.handle->surface, w, h,
                                     spec.format);
  }
  SmoothLightingLightTarget = LightTarget;
  SmoothLightingScratchTarget = ResolveTarget;
  Deferred_ForgetShadowMap();  // a new, empty shadow map
  Deferred_ForgetBackdrop();   // new, empty targets
  g_targetsReady = AllTargetsExist();
  if (!g_targetsReady) {
    kv_Log_Printf("[Deferred] - the render targets of %ix%i could not all be created", width,
                  height);
    return nullptr;
  }
  return ResolveTarget.target;
}

void Deferred_DisplayChanged(void) {
  // A change that leaves the deferred size as it was (the window's own size
  // events, the first settings check) keeps the targets: making them again
  // costs the driver a cleared allocation of each, several times the window.
  int width = 640, height = 480;
  CurrentDeferredSize(&width, &height);
  if (TargetsHaveSize(width, height)) return;
  Deferred_CreateTargets();
}

void Deferred_NoOp(int) {}

int Deferred_IsReady(void) {
  return g_programsReady && g_targetsReady ? 1 : 0;
}

// Registration ------------------------------------------------------------------------

RenderHookTable* InitDeferredBackend(void) {
  kv_Log_Printf("Initializing deferred renderer...");
  const bool programs = Deferred_CreatePrograms() != nullptr;
  const bool targets = Deferred_CreateTargets() != nullptr;
  if (!programs || !targets) {
    kv_Log_Printf("[OpenGL] The deferred renderer could not be set up; it is not registered.");
    return nullptr;
  }
  RenderHookTable& table = *Deferred_GetHookTable();
  std::memset(&table, 0, sizeof table);
  table.SurfaceChanged = Deferred_SurfaceChanged;
  table.SurfaceFreed = Deferred_SurfaceFreed;
  table.Slot3 = Deferred_NoOp;
  table.MaterialLoaded = Deferred_MaterialLoaded;
  table.FramePhase = Deferred_FramePhase;
  table.Blit = Deferred_Blit;
  table.CameraChanged = Deferred_CameraChanged;
  table.DrawMesh = Deferred_DrawMesh;
  table.BeginModel = Deferred_OnModelDraw;
  table.EndModel = Deferred_EndModel;
  table.DrawShadow = Deferred_DrawShadow;
  table.DrawSprite = Deferred_DrawSprite;
  table.DisplayChanged = Deferred_DisplayChanged;
  return kv_RenderHooks_Register(&table);
}

// Pass operations ----------------------------------------------------------------------

void Deferred_ClearShadowMap(void) {
  kvRenderContext* context = kv_RenderContext_Get();
  if (!context || !ShadowMapTarget.target || !ShadowMapDepthTarget.target) return;
  kv_RenderContext_SetRenderTarget(context, 0, ShadowMapTarget.target);
  // Targets left in the other slots would be cleared too.
  for (int slot = 1; slot < 4; ++slot) kv_RenderContext_SetRenderTarget(context, slot, nullptr);
  kv_RenderContext_SetDepthTarget(context, ShadowMapDepthTarget.target);
  kv_RenderContext_SetDepthState(context, 0, 1);
  kv_RenderContext_Clear(context, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f);
  Deferred_ForgetShadowMap();
}

void Deferred_ClearLightBuffer(void) {
  kvRenderContext* context = kv_RenderContext_Get();
  if (!context || !LightTarget.target) return;
  kv_RenderContext_PushMarker(context, "Clear light buffer");
  kv_RenderContext_SetRenderTarget(context, 0, LightTarget.target);
  for (int slot = 1; slot < 4; ++slot) kv_RenderContext_SetRenderTarget(context, slot, nullptr);
  kv_RenderContext_SetDepthState(context, 0, 0);
  kv_RenderContext_Clear(context, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
  kv_RenderContext_PopMarker(context);
}

void Deferred_BindGBufferTextures(kvRenderContext* context, int withLight, int withShadowMap) {
  if (!context) return;
  kvSurface* const textures[7] = {
      AlbedoTarget.surface,       DistanceTarget.surface,
      NormalTarget.surface,       withLight ? LightTarget.surface : nullptr,
      VirtualDepthTarget.surface, withShadowMap ? ShadowMapTarget.surface : nullptr,
      ImmediateTarget.surface,
  };
  constexpr kvSamplerState kNearest = {2, 0, 0, 0};
  constexpr kvSamplerState kShadowMap = {2, 1, 1, 0};
  const kvSamplerState samplers[7] = {kNearest, kNearest,   kNearest, kNearest,
                                      kNearest, kShadowMap, kNearest};
  kv_RenderContext_SetTextures(context, 7, textures);
  kv_RenderContext_SetSamplers(context, 7, samplers);
}

void Deferred_AddBitmapRecord(const DrawRecord* record) {
  if (!record) return;
  const bool afterMeshes = Deferred_AlbedoBucket && Deferred_AlbedoBucket->count > 0;
  RenderBucket* bucket =
      afterMeshes ? Deferred_BitmapOverlaysBucket : Deferred_BitmapUnderlaysBucket;
  if (!bucket) return;
  RenderBucket_Add(bucket, record);
  Deferred_NoteBackdropRecord(bucket, *record);
}

bool Deferred_NeedsShadowMap(void) {
  if (Deferred_ShadowMeshesBucket && Deferred_ShadowMeshesBucket->count > 0) return true;
  if (DeferredScene().countShadowCasters() > 0) return true;
  return ShadowMapFrameCount < 2;
}

int Deferred_ClassifyVolume(const kvMatrix4F& m) {
  int above = 0;
  for (int corner = 0; corner < 8; ++corner) {
    const float x = (corner & 1) ? 1.0f : -1.0f;
    const float y = (corner & 2) ? 1.0f : -1.0f;
    const float z = (corner & 4) ? 1.0f : -1.0f;
    const float ty = x * m[0][1] + y * m[1][1] + z * m[2][1] + m[3][1];
    if (ty > 0.0f) ++above;
  }
  if (above == 8) return 1;
  return above == 0 ? -1 : 0;
}
