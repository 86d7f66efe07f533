// The deferred back end's frame: its hook table, the frame phases of the
// deferred and the forward path, and the helpers every pass shares.
#include <cstring>

#include "gfx/kv_RenderContext.h"
#include "gfx/kv_RenderTarget.h"
#include "platform/kv_Log.h"
#include "platform/kv_RenderHooks.h"
#include "quadrix/qxMatrix.h"
#include "render/Deferred.h"
#include "render/DeferredScene.h"
#include "render/HardwareOverlay.h"

int Deferred_AdvancedLightingOff = 0;
int Deferred_SmoothLightingOn = 0;
int Deferred_PresentFrontBuffer = 1;

namespace {

RenderHookTable g_table;

// The phases the platform's frame bracket hands the FramePhase hook: the
// frame begin, then at the frame end the scene drawn (nothing to do here),
// the post-processing, and the presentation.
enum FramePhaseId : int {
  FramePhase_Begin = 0,
  FramePhase_SceneDrawn = 1,
  FramePhase_PostProcess = 2,
  FramePhase_Present = 3,
};

// Phase 1 and values outside the four do nothing.
bool PhaseHasWork(int phase) {
  return phase == FramePhase_Begin || phase == FramePhase_PostProcess ||
         phase == FramePhase_Present;
}

// A named debug region and profiler region around one pass.
class PassRegion {
 public:
  PassRegion(kvRenderContext* context, const char* name) : context_(context), profile_(name) {
    kv_RenderContext_PushMarker(context_, name);
  }
  ~PassRegion() { kv_RenderContext_PopMarker(context_); }
  PassRegion(const PassRegion&) = delete;
  PassRegion& operator=(const PassRegion&) = delete;

 private:
  kvRenderContext* context_;
  ProfileScope profile_;
};

// Draws a bucket and empties it, inside a marker.
void DrawBucket(kvRenderContext* context, const char* marker, RenderBucket* bucket) {
  kv_RenderContext_PushMarker(context, marker);
  RenderBucket_Draw(bucket, 1, nullptr, nullptr);
  kv_RenderContext_PopMarker(context);
}

void ResetBuckets(void) {
  RenderBucket* const buckets[] = {Deferred_ShadowBucket,          Deferred_AlbedoBucket,
                                   Deferred_BitmapUnderlaysBucket, Deferred_BitmapOverlaysBucket,
                                   Deferred_VirtualDepthBucket,    Deferred_SmoothLightingBucket,
                                   Deferred_ShadowMeshesBucket};
  for (RenderBucket* bucket : buckets) RenderBucket_Reset(bucket);
  Deferred_MeshRects.count = 0;
}

// The immediate target when the set is lit by deferred lights or has no
// cutscene lights; else the alternative (a cutscene-lit set draws its
// background straight into the picture that the resolve finishes).
const DeferredTarget& ImmediateOr(const DeferredTarget& alternative) {
  const DeferredSceneCalls& scene = DeferredScene();
  if (scene.countDeferredLights() > 0 || scene.countCutsceneLights() == 0) return ImmediateTarget;
  return alternative;
}

bool SoftwareActive(void) {
  const RenderHookTable* software = kv_RenderHooks_GetSoftwareTable();
  return software != nullptr && software->active != 0;
}

// The virtual depth: the queued depth images, then the Z shapes. The forward
// path clears it only when no depth image is queued (one covers it whole).
void VirtualDepth(kvRenderContext* context, bool clearAlways) {
  PassRegion region(context, "Deferred_VirtualDepth");
  kv_RenderContext_SetDepthTarget(context, nullptr);
  Deferred_BindTarget(context, VirtualDepthTarget, nullptr);
  kv_RenderContext_SetDepthState(context, 0, 0);
  if (clearAlways || Deferred_VirtualDepthBucket->count == 0) {
    kv_RenderContext_Clear(context, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
  }
  kv_RenderContext_PushMarker(context, "Virtual depth");
  RenderBucket_Draw(Deferred_VirtualDepthBucket, 1, nullptr, nullptr);
  Deferred_ZShapes();
  kv_RenderContext_PopMarker(context);
}

void BitmapOverlays(kvRenderContext* context) {
  Deferred_BindTarget(context, FinalTarget, SceneDepthTarget.target);
  DrawBucket(context, "Bitmap overlays", Deferred_BitmapOverlaysBucket);
}

// Phase 3 of both paths: the picture on the back buffer, then the hardware
// back end's overlays unless the software back end (active during the
// rendering-mode cross-fade) draws them. The overlays are drawn even when the
// picture cannot be, so that they never pile up.
void Present(kvRenderContext* context, bool clear) {
  PassRegion region(context, "Deferred_Done");
  kvRenderTarget* colour = nullptr;
  kvRenderTarget* depth = nullptr;
  kv_Platform_GetBackBuffer(&colour, &depth);
  kv_RenderContext_SetDepthTarget(context, depth);
  kv_RenderContext_SetRenderTarget(context, 0, colour);
  for (int slot = 1; slot < 4; ++slot) kv_RenderContext_SetRenderTarget(context, slot, nullptr);
  if (clear) {
    kv_RenderContext_SetDepthState(context, 0, 1);
    kv_RenderContext_Clear(context, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
  }
  if (Deferred_IsReady()) {
    kvSurface* surface =
        Deferred_PresentFrontBuffer ? kv_RenderHooks_GetFrontSurface() : FinalTarget.surface;
    kv_Platform_PresentSurface(context, surface, 1.0f);
  }
  if (!SoftwareActive()) {
    DrawBucket(context, "Hardware overlay", HardwareOverlayBucket);
    DrawBucket(context, "Debug overlay", DebugOverlayBucket);
  }
}

// The GL context of the frame, or null before one exists.
kvRenderContext* FrameContext(void) {
  return kv_RenderContext_IsInitialised() ? kv_RenderContext_Get() : nullptr;
}

}  // namespace

// Shared helpers --------------------------------------------------------------------------

RenderHookTable* Deferred_GetHookTable(void) {
  return &g_table;
}

int Deferred_IsActive(void) {
  return g_table.active != 0 ? 1 : 0;
}

kvRenderContext* Deferred_PassContext(void) {
  static bool reportedContext = false;
  static bool reportedSetUp = false;
  if (!kv_RenderContext_IsInitialised()) {
    if (!reportedContext) {
      kv_Log_Printf("[Deferred] - no GL context yet: the deferred passes draw nothing");
      reportedContext = true;
    }
    return nullptr;
  }
  if (!Deferred_IsReady()) {
    if (!reportedSetUp) {
      kv_Log_Printf(
          "[Deferred] - a program or render target is missing: the deferred passes are skipped");
      reportedSetUp = true;
    }
    return nullptr;
  }
  return kv_RenderContext_Get();
}

void Deferred_BindTarget(kvRenderContext* context, const DeferredTarget& colour,
                         kvRenderTarget* depth) {
  kv_RenderContext_SetDepthTarget(context, depth);
  kv_RenderContext_SetRenderTarget(context, 0, colour.target);
  for (int slot = 1; slot < 4; ++slot) kv_RenderContext_SetRenderTarget(context, slot, nullptr);
}

kvMatrix4F Deferred_PlacementMatrix(const qxMatrix34* placement) {
  kvMatrix4F m{};
  if (placement) {
    kv_Matrix4_FromMatrix34(*placement, &m);
  } else {
    m[0].x = m[1].y = m[2].z = m[3].w = 1.0f;
  }
  return m;
}

DeferredCamera Deferred_GetCamera(void) {
  const DeferredSceneCalls& scene = DeferredScene();
  DeferredCamera camera{};
  camera.focal = scene.getFocalFactor();
  qxMatrix34 m{};
  scene.getCameraViewMatrix(&m);
  kv_Matrix4_FromMatrix34(m, &camera.view);
  m = qxMatrix34{};
  scene.getCameraWorldMatrix(&m);
  kv_Matrix4_FromMatrix34(m, &camera.cameraToWorld);
  return camera;
}

// Frame phases ------------------------------------------------------------------------------

void Deferred_FramePhase(int phase) {
  if (Deferred_AdvancedLightingOff) {
    Deferred_FramePhaseSimple(phase);
    return;
  }
  if (!g_table.active || !PhaseHasWork(phase)) return;
  kvRenderContext* context = FrameContext();
  if (!context) return;
  if (phase == FramePhase_Present) {
    Present(context, false);
    return;
  }
  if (!Deferred_PassContext()) return;

  if (phase == FramePhase_Begin) {
    PassRegion region(context, "Deferred_Immediate");
    Deferred_BeginFrame();
    Deferred_SmoothLightingOn = kv_Platform_IsNewLighting() && !DeferredScene().isInvSet() ? 1 : 0;
    ResetBuckets();
    Deferred_FrameTarget = ImmediateOr(ResolveTarget).target;
    kv_RenderContext_SetRenderTarget(context, 0, Deferred_FrameTarget);
    for (int slot = 1; slot < 4; ++slot) kv_RenderContext_SetRenderTarget(context, slot, nullptr);
    kv_RenderContext_SetDepthState(context, 0, 0);
    kv_RenderContext_Clear(context, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    return;
  }

  PassRegion region(context, "Deferred_PostProcess");
  const int drew = Deferred_Flush();
  VirtualDepth(context, true);
  if (drew) {
    Deferred_Lights();
  } else {
    Deferred_ClearLightBuffer();
  }
  Deferred_Resolve();
  Deferred_PostProcessPass();
  BitmapOverlays(context);
}

void Deferred_FramePhaseSimple(int phase) {
  if (!g_table.active || !PhaseHasWork(phase)) return;
  kvRenderContext* context = FrameContext();
  if (!context) return;
  if (phase == FramePhase_Present) {
    Present(context, true);
    return;
  }
  if (!Deferred_PassContext()) return;

  if (phase == FramePhase_Begin) {
    PassRegion region(context, "Deferred_Immediate");
    Deferred_BeginFrame();
    ResetBuckets();
    Deferred_FrameTarget = ImmediateOr(FinalTarget).target;
    kv_RenderContext_SetRenderTarget(context, 0, Deferred_FrameTarget);
    kv_RenderContext_SetDepthState(context, 0, 1);
    kv_RenderContext_Clear(context, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    return;
  }

  PassRegion region(context, "Deferred_PostProcess");
  Deferred_Flush();
  VirtualDepth(context, false);
  Deferred_ForwardResolve(FinalTarget.target, SceneDepthTarget.target);
  BitmapOverlays(context);
}

void Deferred_ResetFrameStateForTest(void) {
  Deferred_AdvancedLightingOff = 0;
  Deferred_SmoothLightingOn = 0;
  Deferred_PresentFrontBuffer = 1;
  ModelDetailFlag = 1;
  ShadowMapFrameCount = 0;
  ResetBuckets();
  DeferredCaches_Clear();
  Deferred_ForgetShadowMap();
}
