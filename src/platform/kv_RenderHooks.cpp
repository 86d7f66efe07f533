// The render-hook registry: registration, the dispatchers, the rendering-mode
// cross-fade and the display-settings check.
#include "platform/kv_RenderHooks.h"

#include <cmath>

#include "platform/kv_Platform.h"
#include "platform/kv_Registry.h"
#include "platform/kv_Thread.h"

namespace {

// The registered tables in registration order.
RenderHookTable* g_tables[kv_RenderHooks_kMaxTables];
int g_tableCount = 0;

RenderHookTable* g_hardware = nullptr;
RenderHookTable* g_deferred = nullptr;
RenderHookTable* g_software = nullptr;

kvSurface* g_frontSurface = nullptr;
kvSurface* g_backSurface = nullptr;

constexpr float kFadeSeconds = 0.75f;

// The rendering-mode cross-fade: 0 = deferred picture, 1 = software picture.
struct FadeState {
  float current = 0.0f;
  float start = 0.0f;
  float target = 0.0f;
  float elapsed = kFadeSeconds;
  double previousMs = 0.0;
  bool first = true;
};
FadeState g_fade;
// Set when the deferred back end could not start: the software picture is
// shown whatever `RenderingMode` says.
bool g_classicOnly = false;

// The display-settings cache. The scaling is kept as the float that was read,
// so that a fractional scaling compares equal to itself at the next check.
int g_widescreen = 0;
float g_resolutionScaling = 0.0f;

double DefaultTimeMs(void) {
  return kv_Platform_GetTimeMs();
}
float DefaultReadFloat(const char* name, float defaultValue) {
  return kv_Registry_ReadFloat(name, defaultValue);
}
// The render module's scaling is the program's to install; without it the
// scaling reads 0 and never marks the display changed.
float DefaultResolutionScaling(void) {
  return 0.0f;
}
void DefaultMarkDisplayChanged(void) {
  kv_Platform_MarkDisplayChanged();
}

constexpr kvRenderHooksHost kDefaultHost = {&DefaultTimeMs, &DefaultReadFloat,
                                            &DefaultResolutionScaling, &DefaultMarkDisplayChanged};
kvRenderHooksHost g_host = kDefaultHost;

// A setting's float truncated toward zero; values outside the int range (and
// NaN) give 0 rather than an undefined conversion.
int TruncateSetting(float value) {
  if (!(value > -2147483648.0f && value < 2147483648.0f)) return 0;
  return static_cast<int>(value);
}

int ReadSettingInt(const char* name) {
  return TruncateSetting(g_host.readFloatSetting(name, 0.0f));
}

// Advances the cross-fade by the time since the previous phase-0 call.
void AdvanceFade(void) {
  const double now = g_host.getTimeMs();
  if (g_fade.first) {
    g_fade.previousMs = now;
    g_fade.first = false;
  }
  const float dt = static_cast<float>((now - g_fade.previousMs) / 1000.0);
  g_fade.previousMs = now;

  const float target = g_classicOnly || ReadSettingInt("RenderingMode") != 0 ? 1.0f : 0.0f;
  if (std::fabs(target - g_fade.target) > 0.001f) {
    g_fade.start = g_fade.current;
    g_fade.elapsed = 0.0f;
  }
  g_fade.target = target;

  if (std::fabs(target - g_fade.current) > 0.001f) {
    float elapsed = g_fade.elapsed + (dt > 0.0f ? dt : 0.0f);
    if (elapsed > kFadeSeconds) elapsed = kFadeSeconds;
    g_fade.elapsed = elapsed;
    const float u = elapsed / kFadeSeconds;
    const float x = (1.0f - u) * g_fade.start + u * target;
    g_fade.current = kv_SmoothStep(0.0f, 1.0f, x);
  } else {
    g_fade.current = target;
  }
}

}  // namespace

int kv_RenderHooks_classicPicture = 0;

RenderHookTable* kv_RenderHooks_Register(RenderHookTable* table) {
  if (table == nullptr || g_tableCount >= kv_RenderHooks_kMaxTables) return nullptr;
  g_tables[g_tableCount++] = table;
  table->active = 1;
  return table;
}

int kv_RenderHooks_GetCount(void) {
  return g_tableCount;
}

void kv_RenderHooks_SetBackends(RenderHookTable* hardware, RenderHookTable* deferred,
                                RenderHookTable* software) {
  g_hardware = hardware;
  g_deferred = deferred;
  g_software = software;
}

void kv_RenderHooks_UseClassicOnly(void) {
  g_classicOnly = true;
  // No fade from a picture that nobody draws.
  g_fade.current = g_fade.start = g_fade.target = 1.0f;
  g_fade.elapsed = kFadeSeconds;
}

int kv_RenderHooks_IsClassicOnly(void) {
  return g_classicOnly ? 1 : 0;
}

RenderHookTable* kv_RenderHooks_GetHardwareTable(void) {
  return g_hardware;
}
RenderHookTable* kv_RenderHooks_GetDeferredTable(void) {
  return g_deferred;
}
RenderHookTable* kv_RenderHooks_GetSoftwareTable(void) {
  return g_software;
}

// Calls one slot on every table that fills it.
#define KV_BROADCAST(slot, ...)                              \
  for (int i_ = 0; i_ < g_tableCount; ++i_) {                \
    if (g_tables[i_]->slot) g_tables[i_]->slot(__VA_ARGS__); \
  }

// Calls one slot on every table; the result is the last registered table's
// (0 when its slot is empty).
#define KV_BROADCAST_LAST_TABLE(slot, ...)            \
  int result_ = 0;                                    \
  for (int i_ = 0; i_ < g_tableCount; ++i_) {         \
    if (g_tables[i_]->slot) {                         \
      const int r_ = g_tables[i_]->slot(__VA_ARGS__); \
      if (i_ == g_tableCount - 1) result_ = r_;       \
    }                                                 \
  }                                                   \
  return result_;

// Calls one slot on every table; the result is that of the last table whose
// slot is filled (0 when none is).
#define KV_BROADCAST_LAST_FILLED(slot, ...)                            \
  int result_ = 0;                                                     \
  for (int i_ = 0; i_ < g_tableCount; ++i_) {                          \
    if (g_tables[i_]->slot) result_ = g_tables[i_]->slot(__VA_ARGS__); \
  }                                                                    \
  return result_;

void kv_RenderHooks_SurfaceChanged(void* pixels) {
  KV_BROADCAST(SurfaceChanged, pixels)
}

int kv_RenderHooks_SurfaceFreed(void* pixels) {
  KV_BROADCAST_LAST_TABLE(SurfaceFreed, pixels)
}

void kv_RenderHooks_Slot3(int value) {
  KV_BROADCAST(Slot3, value)
}

void kv_RenderHooks_MaterialLoaded(void* textureId, const char* materialName, int celIndex) {
  KV_BROADCAST(MaterialLoaded, textureId, materialName, celIndex)
}

void kv_RenderHooks_FramePhase(int phase) {
  if (phase == 0) AdvanceFade();

  const bool deferredActive = g_fade.current < 0.999999f;
  const bool softwareActive = g_fade.current > 0.000001f;
  if (g_deferred) g_deferred->active = deferredActive ? 1 : 0;
  if (g_software) g_software->active = softwareActive ? 1 : 0;
  kv_RenderHooks_classicPicture = softwareActive ? 1 : 0;

  KV_BROADCAST(FramePhase, phase)

  if (phase == 3) kv_RenderHooks_CheckDisplaySettings();
}

void kv_RenderHooks_Blit(DisplayBuffer* destination, kvSurface* destinationSurface,
                         DisplayBuffer* source, kvSurface* sourceSurface, int x, int y,
                         const stdRect* sourceRect, int flags) {
  KV_BROADCAST(Blit, destination, destinationSurface, source, sourceSurface, x, y, sourceRect,
               flags)
}

int kv_RenderHooks_FillBuffer(DisplayBuffer* buffer, uint32_t value, const stdRect* rect) {
  KV_BROADCAST_LAST_TABLE(FillBuffer, buffer, value, rect)
}

void kv_RenderHooks_CameraChanged(void) {
  KV_BROADCAST(CameraChanged)
}

void kv_RenderHooks_DrawMesh(qxModel3Mesh* mesh, const qxMatrix34* placement) {
  KV_BROADCAST(DrawMesh, mesh, placement)
}

void kv_RenderHooks_BeginModel(qxModel3* model, const qxVector3* centre, float radius,
                               const qxMatrix34* placement, qxModel3* companion) {
  KV_BROADCAST(BeginModel, model, centre, radius, placement, companion)
}

void kv_RenderHooks_EndModel(qxModel3* model, qxModel3* companion) {
  KV_BROADCAST(EndModel, model, companion)
}

int kv_RenderHooks_DrawShadow(const qxVector3* points, int count, int colour) {
  KV_BROADCAST_LAST_FILLED(DrawShadow, points, count, colour)
}

int kv_RenderHooks_DrawSprite(qxThing* thing, const qxMatrix34* placement) {
  KV_BROADCAST_LAST_FILLED(DrawSprite, thing, placement)
}

int kv_RenderHooks_DrawLine(int mode, qxCanvas* canvas, int x0, int y0, int x1, int y1, int colour,
                            int pattern) {
  if (mode != 0) {
    KV_BROADCAST_LAST_TABLE(DrawLine, canvas, x0, y0, x1, y1, colour, pattern)
  }
  KV_BROADCAST_LAST_TABLE(DrawClippedLine, canvas, x0, y0, x1, y1, colour, pattern)
}

int kv_RenderHooks_BlitObjectStates(DisplayBuffer* source0, int x0, int y0, int flags0,
                                    DisplayBuffer* destination0, int unused0,
                                    DisplayBuffer* source1, int x1, int y1, int flags1,
                                    DisplayBuffer* destination1, int unused1) {
  KV_BROADCAST_LAST_TABLE(BlitObjectStates, source0, x0, y0, flags0, destination0, unused0, source1,
                          x1, y1, flags1, destination1, unused1)
}

int kv_RenderHooks_DrawTextObject(TextObject* textObject, int flag) {
  KV_BROADCAST_LAST_TABLE(DrawTextObject, textObject, flag)
}

void kv_RenderHooks_ResourceLoaded(uint32_t typeTag, const char* name, void* object,
                                   int fromCache) {
  KV_BROADCAST(ResourceLoaded, typeTag, name, object, fromCache)
}

void kv_RenderHooks_GetTextExtent(void* fontData, TextObject* textObject, int* x, int* y,
                                  int* width, int* height) {
  KV_BROADCAST(GetTextExtent, fontData, textObject, x, y, width, height)
}

int kv_RenderHooks_FillRect(qxCanvas* canvas, int x0, int y0, int x1, int y1, int colour,
                            int pattern, float alpha) {
  KV_BROADCAST_LAST_TABLE(FillRect, canvas, x0, y0, x1, y1, colour, pattern, alpha)
}

void kv_RenderHooks_DisplayChanged(void) {
  KV_BROADCAST(DisplayChanged)
}

#undef KV_BROADCAST
#undef KV_BROADCAST_LAST_TABLE
#undef KV_BROADCAST_LAST_FILLED

int kv_RenderHooks_IsWidescreen(void) {
  return g_widescreen;
}

void kv_RenderHooks_CheckDisplaySettings(void) {
  const int widescreen = ReadSettingInt("Widescreen") == 2 ? 1 : 0;
  const float scaling = g_host.getResolutionScaling();
  if (widescreen == g_widescreen && scaling == g_resolutionScaling) return;
  g_widescreen = widescreen;
  g_resolutionScaling = scaling;
  g_host.markDisplayChanged();
}

float kv_SmoothStep(float edge0, float edge1, float x) {
  float t = (x - edge0) / (edge1 - edge0);
  if (!(t > 0.0f)) t = 0.0f;  // also NaN from a zero-width edge
  if (t > 1.0f) t = 1.0f;
  return t * t * (3.0f - 2.0f * t);
}

float kv_RenderHooks_GetFadeValue(void) {
  return g_fade.current;
}

void kv_RenderHooks_SetSoftwareSurfaces(kvSurface* front, kvSurface* back) {
  g_frontSurface = front;
  g_backSurface = back;
}

kvSurface* kv_RenderHooks_GetFrontSurface(void) {
  return g_frontSurface;
}
kvSurface* kv_RenderHooks_GetBackSurface(void) {
  return g_backSurface;
}

int kv_Platform_IsWidescreenSetting(void) {
  return ReadSettingInt("Widescreen") == 2 ? 1 : 0;
}
int kv_Platform_IsNewRendering(void) {
  return ReadSettingInt("RenderingMode") == 0 ? 1 : 0;
}
int kv_Platform_IsNewLighting(void) {
  return ReadSettingInt("ClassicLighting") == 0 ? 1 : 0;
}

void kv_RenderHooks_SetHost(const kvRenderHooksHost* host) {
  g_host = host ? *host : kDefaultHost;
  if (!g_host.getTimeMs) g_host.getTimeMs = kDefaultHost.getTimeMs;
  if (!g_host.readFloatSetting) g_host.readFloatSetting = kDefaultHost.readFloatSetting;
  if (!g_host.getResolutionScaling) g_host.getResolutionScaling = kDefaultHost.getResolutionScaling;
  if (!g_host.markDisplayChanged) g_host.markDisplayChanged = kDefaultHost.markDisplayChanged;
}

void kv_RenderHooks_ResetForTest(void) {
  g_tableCount = 0;
  for (auto& table : g_tables) table = nullptr;
  g_hardware = g_deferred = g_software = nullptr;
  g_frontSurface = g_backSurface = nullptr;
  g_fade = FadeState{};
  g_classicOnly = false;
  g_widescreen = 0;
  g_resolutionScaling = 0.0f;
  kv_RenderHooks_classicPicture = 0;
  g_host = kDefaultHost;
}
