// The deferred back end's frame-begin step and its camera and model hooks:
// the lighting latch, the light probes of each drawn model, the detail flag
// that lets a model cast shadow meshes, and the extra dynamic lights of four
// special models.
#include <cmath>
#include <cstring>

#include "platform/kv_Thread.h"
#include "quadrix/qxMatrix.h"
#include "quadrix/qxModel3.h"
#include "render/Deferred.h"
#include "render/DeferredScene.h"
#include "render/Lightprobe.h"
#include "render/RenderHost.h"

uint32_t ModelDetailFlag = 1;

namespace {

constexpr uint32_t kFramesCounted = 30;
// Screen-size measure at or below which a model casts no shadow meshes.
constexpr float kTinyOnScreen = 0.01f;

constexpr kvVector3F kWarm = {1.0f, 243.0f / 255.0f, 165.0f / 255.0f};
constexpr kvVector3F kWhite = {1.0f, 1.0f, 1.0f};
constexpr float kDegreesPerRadian = 180.0f / 3.141592025756836f;

// A model's name: at most the 32 bytes of its record, always terminated.
struct ModelName {
  char text[33];
  explicit ModelName(const qxModel3* model) {
    std::memset(text, 0, sizeof text);
    if (model) std::memcpy(text, model->name, sizeof model->name);
  }
};

bool Contains(const char* text, const char* part) {
  return std::strstr(text, part) != nullptr;
}

// A light of the "Default" form: no shadow, bias 1, softness 4, near 0.1, range 1.
DeferredDynamicLight DefaultLight(const char* name, uint32_t type) {
  DeferredDynamicLight light{};
  light.name = name;
  light.type = type;
  light.shadowBias = 1.0f;
  light.shadowSoftness = 4.0f;
  light.shadowNear = 0.1f;
  light.shadowRange = 1.0f;
  return light;
}

// The full form's shadow of the two special spot lights.
void CastsShadow(DeferredDynamicLight* light) {
  light->castsShadow = 2;
  light->shadowQuality = 1;
  light->shadowBias = 1.0f;
  light->shadowSoftness = 4.0f;
  light->shadowNear = 0.1f;
  light->shadowRange = 10.0f;
}

void Shape(DeferredDynamicLight* light, float bias, float end, float inner, float falloff,
           float verticalInner, float verticalFalloff) {
  light->shadingBias = bias;
  light->shadingEnd = end;
  light->innerRadius = inner;
  light->falloffPower = falloff;
  light->verticalInnerRadius = verticalInner;
  light->verticalFalloffPower = verticalFalloff;
}

void Colours(DeferredDynamicLight* light, const kvVector3F& inner, const kvVector3F& outer,
             float intensityA, float intensityB) {
  light->innerA = light->innerB = inner;
  light->outerA = light->outerB = outer;
  light->intensityA = intensityA;
  light->intensityB = intensityB;
}

kvVector3F Add(const kvVector3F& a, const kvVector3F& b, float k) {
  return {a.x + k * b.x, a.y + k * b.y, a.z + k * b.z};
}

void Cigarette(const char* name, const kvVector3F& centre) {
  const DeferredSceneCalls& scene = DeferredScene();
  DeferredDynamicLight light = DefaultLight(name, DeferredLight_Point);
  light.position = centre;
  // Moved a little away from the actor that holds it.
  qxMatrix34 actor{};
  if (scene.countFlaggedActors() > 0 && scene.getFlaggedActorTransform(0, &actor)) {
    kvVector3F away;
    kv_Vector3_Normalize({centre.x - actor.t.x, centre.y - actor.t.y, 0.0f}, &away);
    light.position.x += 0.05f * away.x;
    light.position.y += 0.05f * away.y;
  }
  light.halfSize = {0.25f, 0.25f, 0.25f};
  Shape(&light, 0.0f, 1.0f, 0.25f, 2.0f, 1.0f, 1.0f);
  light.animationMode = 2;
  light.animationRate = 2.0f;
  Colours(&light, {1.0f, 0.5f, 0.0f}, {1.0f, 0.0f, 0.0f}, 0.5f, 0.4f);
  scene.addDynamicLight(light);
}

void Quillan(const char* name, const kvVector3F& centre, bool sunset) {
  const DeferredSceneCalls& scene = DeferredScene();
  DeferredDynamicLight light = DefaultLight(name, DeferredLight_Point);
  light.position = {centre.x, centre.y, centre.z + 0.5f};
  light.halfSize = {2.5f, 2.5f, 2.5f};
  Shape(&light, -0.25f, 0.75f, 0.25f, 1.0f, 1.0f, 1.0f);
  light.animationMode = 2;
  light.animationRate = 0.5f;
  const float intensity = sunset ? 0.7f : 1.0f;
  Colours(&light, kWarm, kWarm, intensity, intensity * 0.5f);
  scene.addDynamicLight(light);
  if (!sunset) return;

  // A spot from beside the model towards the world origin.
  kvVector3F d;
  kv_Vector3_Normalize({-centre.x, -centre.y, 0.0f}, &d);
  DeferredDynamicLight spot{};
  spot.name = "su_spot";
  spot.type = DeferredLight_Spot;
  spot.position = {centre.x + 1.5f * d.x, centre.y + 1.5f * d.y, 0.4f};
  spot.rotation = {55.0f, 0.0f, std::atan2(d.x, d.y) * kDegreesPerRadian};
  spot.halfSize = {2.0f, 1.5f, 2.0f};
  Shape(&spot, 0.0f, 1.0f, 0.75f, 1.0f, 0.85f, 1.0f);
  Colours(&spot, kWarm, kWarm, 0.7f, 0.35f);
  CastsShadow(&spot);
  scene.addDynamicLight(spot);
}

void DustBuggy(const char* name, const kvVector3F& centre, const qxMatrix34* placement) {
  const DeferredSceneCalls& scene = DeferredScene();
  kvVector3F y = {0.0f, 0.0f, 0.0f};
  if (placement) kv_Vector3_Normalize({placement->y.x, placement->y.y, placement->y.z}, &y);

  DeferredDynamicLight light = DefaultLight(name, DeferredLight_Point);
  light.position = Add(centre, y, 2.0f);
  light.halfSize = {2.0f, 2.0f, 2.0f};
  Shape(&light, 0.0f, 1.0f, 0.25f, 1.0f, 1.0f, 1.0f);
  light.animationRate = 1.0f;
  Colours(&light, kWarm, kWarm, 0.7f, 0.35f);
  scene.addDynamicLight(light);

  DeferredDynamicLight spot{};
  spot.name = "at_spot";
  spot.type = DeferredLight_Spot;
  spot.position = Add(centre, y, 3.0f);
  spot.rotation = {y.y < -0.5f ? -60.0f : 60.0f, 0.0f, 0.0f};
  spot.halfSize = {1.0f, 1.0f, 2.0f};
  Shape(&spot, 0.0f, 1.0f, 0.75f, 1.0f, 0.75f, 1.0f);
  Colours(&spot, kWarm, kWarm, 0.7f, 0.35f);
  CastsShadow(&spot);
  scene.addDynamicLight(spot);
}

void Flash(void) {
  DeferredDynamicLight light = DefaultLight("bi_flash", DeferredLight_Point);
  light.position = {0.0f, -1.75f, 0.5f};
  light.halfSize = {2.0f, 2.0f, 2.0f};
  Shape(&light, 0.0f, 1.0f, 0.75f, 2.0f, 1.0f, 1.0f);
  light.animationRate = 1.0f;
  Colours(&light, kWhite, kWhite, 3.0f, 1.5f);
  DeferredScene().addDynamicLight(light);
}

}  // namespace

void Deferred_LatchLighting(void) {
  const DeferredSceneCalls& scene = DeferredScene();
  Deferred_AdvancedLightingOff = (RenderHost_Calls().advancedLighting() & 0xFF) == 0 ? 1 : 0;
  scene.animateLights();
  scene.setLightGroup(Deferred_AdvancedLightingOff ? 2 : 1);
  if (Deferred_AdvancedLightingOff) Lightprobe_BeginFrame();
}

void Deferred_BeginFrame(void) {
  Deferred_LatchLighting();
  if (ShadowMapFrameCount < kFramesCounted) ShadowMapFrameCount += 1;
}

void Deferred_CameraChanged(void) {
  Deferred_ForgetBackdrop();
  if (!Deferred_IsActive()) return;
  ShadowMapFrameCount = 0;
  Deferred_LatchLighting();
}

void Deferred_ModelLights(const char* modelName, const kvVector3F& centre, float radius,
                          const qxMatrix34* placement) {
  const char* name = modelName ? modelName : "";
  if (!std::isnan(radius)) {
    const kvVector3F extent = {0.25f * radius, 0.25f * radius, 0.5f * radius};
    float distance = 0.0f, size = 0.0f;
    Lightprobe_ScreenSize(centre, extent, &distance, &size);
    if (size <= kTinyOnScreen) ModelDetailFlag = Contains(name, "tobin") ? 1 : 0;
  }

  char setup[DeferredScene_SetupNameSize] = {};
  DeferredScene().getCurrentSetupName(setup);
  setup[DeferredScene_SetupNameSize - 1] = 0;
  if (Contains(name, "cigarette")) {
    if (!Contains(setup, "ga_") || centre.z > 0.25f) Cigarette(name, centre);
  } else if (Contains(name, "quillan")) {
    Quillan(name, centre, Contains(setup, "su_"));
  } else if (Contains(name, "dustbuggy")) {
    if (Contains(setup, "at_")) DustBuggy(name, centre, placement);
  } else if (Contains(name, "nyra")) {
    int on = 0;
    if (Contains(setup, "bi_") && DeferredScene().isLightOnByName("flash", &on) && on) Flash();
  }
}

void Deferred_OnModelDraw(qxModel3* model, const qxVector3* centre, float radius,
                          const qxMatrix34* placement, qxModel3* parent) {
  if (!Deferred_IsActive()) return;
  ModelDetailFlag = 1;
  const ModelName name(model);
  const kvVector3F c = centre ? kvVector3F{centre->x, centre->y, centre->z} : kvVector3F_Zero;
  if (Deferred_AdvancedLightingOff) {
    const ModelName parentName(parent);
    Lightprobe_BeginLattice(name.text, c, radius, parent ? parentName.text : nullptr);
  } else {
    Deferred_ModelLights(name.text, c, radius, placement);
  }
  kv_Profile_Begin("qxModel3_Draw");
}

void Deferred_EndModel(qxModel3*, qxModel3*) {
  if (!Deferred_IsActive()) return;
  kv_Profile_End();
  if (Deferred_AdvancedLightingOff) Lightprobe_EndLattice();
}
