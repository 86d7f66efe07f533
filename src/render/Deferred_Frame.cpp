// The deferred back end's frame: its hook table, the frame phases of the
// deferred and the forward path, and the helpers every pass shares.
#include <algorithm>
#include <cstring>

#include "gfx/kv_Layout.h"
#include "gfx/kv_RenderContext.h"
#include "gfx/kv_RenderTarget.h"
#include "gfx/kv_Surface.h"
#include "platform/kv_Log.h"
#include "platform/kv_RenderHooks.h"
#include "quadrix/qxMatrix.h"
#include "render/Deferred.h"
#include "render/DeferredScene.h"
#include "render/HardwareOverlay.h"

int Deferred_AdvancedLightingOff = 0;
int Deferred_SmoothLightingOn = 0;
int Deferred_PresentFrontBuffer = 1;
uint32_t Deferred_UnderlayRedraws = 0;
uint32_t Deferred_VirtualDepthRedraws = 0;

namespace {

RenderHookTable g_table;

// What the immediate target and the virtual depth hold: the fingerprint of
// what they were drawn from, 0 when unknown (never kept).
struct Backdrop {
  uint64_t underlays = 0;
  uint64_t virtualDepth = 0;
  // Phase 0 left the immediate target as it was (it holds the kept
  // background): a redraw clears it first.
  bool clearSkipped = false;
};
Backdrop g_backdrop;

constexpr uint64_t kHashStart = 0xcbf29ce484222325ull;

template <class T>
uint64_t HashValue(uint64_t h, const T& value) {
  return Deferred_Hash(h, &value, sizeof value);
}

uint64_t HashBlock(uint64_t h, const kvConstantBlock& block) {
  h = HashValue(h, block.size);
  h = HashValue(h, block.layout);
  return block.data ? Deferred_Hash(h, block.data, block.size) : h;
}

// The target's identity and size, where a fingerprint of what it holds starts.
uint64_t TargetSeed(const DeferredTarget& target) {
  int width = 0, height = 0;
  if (target.target) kv_RenderTarget_GetInfo(target.target, &width, &height, nullptr);
  uint64_t h = HashValue(kHashStart, target.target);
  h = HashValue(h, width);
  return HashValue(h, height);
}

// Everything a record draws with: program, states, constants, vertices and
// the content serials of its textures, hashed onto h; 0 when it cannot be
// fingerprinted (it samples a render target, whose pixels change without a
// serial, or draws through an index buffer). Read while the record's
// transient data is fresh: a draw uploads the rings and spoils them.
uint64_t RecordFingerprint(uint64_t h, const DrawRecord& r) {
  if (r.indexBuffer) return 0;
  const int header[] = {r.primitiveKind,  r.depthCompare,  r.depthWrite,     r.blendEnabled,
                        r.blendMode,      r.textureCount,  r.samplerCount,   r.count,
                        r.first,          r.scissorFlag,   r.scissorRect[0], r.scissorRect[1],
                        r.scissorRect[2], r.scissorRect[3]};
  h = HashValue(h, header);
  h = HashValue(h, r.program);
  for (int t = 0; t < r.textureCount && t < kvMaxTextures; ++t) {
    const kvSurface* texture = r.textures[t];
    if (texture && texture->owner) return 0;
    h = HashValue(h, texture);
    if (texture) h = HashValue(h, texture->contentSerial);
  }
  for (int t = 0; t < r.samplerCount && t < kvMaxTextures; ++t) {
    h = HashValue(h, r.samplerStates[t]);
  }
  h = HashBlock(h, r.vertexConstants);
  h = HashBlock(h, r.pixelConstants);
  // The vertices drawn, by content: the transient buffers are new every
  // frame and may be larger than what they hold.
  if (const kvVertexBuffer* vertices = r.vertexBuffer) {
    h = HashValue(h, vertices->layout);
    size_t bytes = vertices->size;
    if (r.count >= 0 && r.first >= 0 && vertices->layout && vertices->layout->size > 0) {
      bytes = std::min(bytes, static_cast<size_t>(r.first + r.count) *
                                  static_cast<size_t>(vertices->layout->size));
    }
    if (vertices->data) h = Deferred_Hash(h, vertices->data, bytes);
  }
  return h == 0 ? 1 : h;
}

// The records of one bucket, fingerprinted as they are appended.
struct BucketPrint {
  uint64_t hash = kHashStart;
  uint32_t count = 0;
  bool unknown = false;  // a record that cannot be fingerprinted
};
BucketPrint g_underlayPrint;
BucketPrint g_virtualDepthPrint;

BucketPrint* PrintOf(const RenderBucket* bucket) {
  if (!bucket) return nullptr;
  if (bucket == Deferred_BitmapUnderlaysBucket) return &g_underlayPrint;
  if (bucket == Deferred_VirtualDepthBucket) return &g_virtualDepthPrint;
  return nullptr;
}

// What the bucket holds now, hashed onto seed; 0 when unknown (a record
// came in some other way, or cannot be fingerprinted). Forgets the records
// noted so far: the bucket is drawn or emptied next.
uint64_t TakeBucketFingerprint(const RenderBucket* bucket, uint64_t seed) {
  BucketPrint* print = PrintOf(bucket);
  if (!print) return 0;
  const BucketPrint taken = *print;
  *print = BucketPrint{};
  if (taken.unknown || taken.count != bucket->count) return 0;
  const uint64_t h = HashValue(HashValue(seed, taken.hash), taken.count);
  return h == 0 ? 1 : h;
}

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
  g_underlayPrint = BucketPrint{};
  g_virtualDepthPrint = BucketPrint{};
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

// The virtual depth: the queued depth images, then the Z shapes. The
// deferred path keeps last frame's while they are the same; the forward
// path clears it only when no depth image is queued (one covers it whole).
void VirtualDepth(kvRenderContext* context, bool deferredPath) {
  PassRegion region(context, "Deferred_VirtualDepth");
  uint64_t print = TakeBucketFingerprint(Deferred_VirtualDepthBucket, 0);
  if (print != 0 && deferredPath) {
    print = Deferred_ZShapesFingerprint(HashValue(print, TargetSeed(VirtualDepthTarget)));
  } else {
    print = 0;
  }
  if (print != 0 && print == g_backdrop.virtualDepth) {
    RenderBucket_Reset(Deferred_VirtualDepthBucket);
    return;
  }
  g_backdrop.virtualDepth = print;
  Deferred_VirtualDepthRedraws += 1;
  const bool clearAlways = deferredPath;
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

uint64_t Deferred_Hash(uint64_t h, const void* bytes, size_t count) {
  const auto* p = static_cast<const uint8_t*>(bytes);
  for (size_t i = 0; i < count; ++i) h = (h ^ p[i]) * 0x100000001b3ull;
  return h;
}

void Deferred_NoteBackdropRecord(const RenderBucket* bucket, const DrawRecord& record) {
  BucketPrint* print = PrintOf(bucket);
  if (!print) return;
  const uint64_t h = RecordFingerprint(print->hash, record);
  if (h == 0) {
    print->unknown = true;
  } else {
    print->hash = h;
  }
  print->count += 1;
}

void Deferred_ForgetBackdrop(void) {
  g_backdrop = Backdrop{};
}

void Deferred_DrawUnderlays(kvRenderContext* context) {
  RenderBucket* bucket = Deferred_BitmapUnderlaysBucket;
  const bool keepable = Deferred_FrameTarget && Deferred_FrameTarget == ImmediateTarget.target &&
                        !Deferred_AdvancedLightingOff;
  uint64_t print = TakeBucketFingerprint(bucket, TargetSeed(ImmediateTarget));
  if (!keepable) print = 0;
  if (print != 0 && print == g_backdrop.underlays) {
    RenderBucket_Reset(bucket);
    g_backdrop.clearSkipped = false;
    return;
  }
  if (g_backdrop.clearSkipped) {
    kv_RenderContext_SetDepthState(context, 0, 0);
    kv_RenderContext_Clear(context, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    g_backdrop.clearSkipped = false;
  }
  RenderBucket_Draw(bucket, 1, nullptr, nullptr);
  g_backdrop.underlays = print;
  Deferred_UnderlayRedraws += 1;
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
    // The kept background stays until the underlays show whether it still holds.
    const bool immediate = Deferred_FrameTarget == ImmediateTarget.target;
    if (!immediate) g_backdrop.underlays = 0;
    g_backdrop.clearSkipped = immediate && g_backdrop.underlays != 0;
    if (!g_backdrop.clearSkipped) kv_RenderContext_Clear(context, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
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
    Deferred_ForgetBackdrop();
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
  Deferred_UnderlayRedraws = 0;
  Deferred_VirtualDepthRedraws = 0;
  Deferred_ForgetBackdrop();
  ResetBuckets();
  DeferredCaches_Clear();
  Deferred_ForgetShadowMap();
}
