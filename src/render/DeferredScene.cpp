#include "render/DeferredScene.h"

#include "actors/drevActor.h"
#include "engine/drevRoom.h"
#include "presentation/drevRender.h"
#include "quadrix/qxCamera.h"
#include "quadrix/qxCore.h"

namespace {

static_assert(DeferredScene_SetupNameSize == kRoomNameSize, "setup names fit the set's buffer");

kvVector3F Vector(const qxVector3& v) {
  return {v.x, v.y, v.z};
}

int GetDeferredLight(int index, uint32_t type, DeferredLightInfo* out) {
  qxVector3 position = {}, inner = {}, outer = {};
  qxMatrix34 box = {};
  float parameters[6] = {};
  uint32_t castsShadow = 0, quality = 0, setupFlag = 0;
  float bias = 0, softness = 0, sizeX = 0, sizeY = 0, sizeZ = 0, shadowNear = 0, range = 0;
  const int result = drevRoom_GetDeferredLight(
      index, type, &position, &box, &inner, &outer, parameters, &castsShadow, &quality, &bias,
      &softness, &sizeX, &sizeY, &sizeZ, &shadowNear, &range, &setupFlag);
  if (!out) return result;
  *out = DeferredLightInfo{};
  out->position = Vector(position);
  kv_Matrix4_FromMatrix34(box, &out->transform);
  out->innerColour = Vector(inner);
  out->outerColour = Vector(outer);
  out->shadingBias = parameters[0];
  out->shadingEnd = parameters[1];
  out->innerRadius = parameters[2];
  out->falloffPower = parameters[3];
  out->verticalInnerRadius = parameters[4];
  out->verticalFalloffPower = parameters[5];
  out->castsShadow = static_cast<int>(castsShadow);
  out->shadowQuality = static_cast<int>(quality);
  out->shadowBias = bias;
  out->shadowSoftness = softness;
  out->sizeX = sizeX;
  out->sizeY = sizeY;
  out->sizeZ = sizeZ;
  out->shadowNear = shadowNear;
  out->shadowRange = range;
  out->setupFlag = setupFlag;
  return result;
}

void GetCurrentSetupName(char buffer[DeferredScene_SetupNameSize]) {
  drevRoom_GetCurrentSetupName(buffer);
}

const void* CurrentCamera(void) {
  return qxCore_pCurrentCamera;
}
void GetCameraWorldMatrix(qxMatrix34* out) {
  qxCamera_GetWorldMatrix(out);
}

void GetCameraViewMatrix(qxMatrix34* out) {
  qxCamera_GetViewMatrix(out);
}

float GetFocalFactor(void) {
  float values[10] = {};
  qxCamera_GetProjectionParams(&values[0], &values[1], &values[2], &values[3], &values[4],
                               &values[5], &values[6], &values[7], &values[8], &values[9]);
  return values[5];
}

int GetCutsceneLight(int index, DeferredCutsceneLight* out) {
  int type = -1;
  qxVector3 position = {}, direction = {}, colour = {};
  float a1 = 0, a2 = 0, cosInner = 0, cosOuter = 0;
  if (!drevRoom_GetCutsceneLight(index, &type, &position, &direction, &colour, &a1, &a2,
                                 &cosInner, &cosOuter)) {
    return 0;
  }
  if (out) {
    *out = {type, Vector(position), Vector(direction), Vector(colour), a1, a2, cosInner, cosOuter};
  }
  return 1;
}

int GetShadowCaster(int index, uint32_t type, qxMatrix34* box) {
  return drevRoom_GetShadowCaster(index, type, nullptr, box);
}

int GetZShape(int index, uint32_t kind, uint32_t code, uint32_t* value, qxMatrix34* box) {
  return drevRoom_GetZShape(index, kind, code, value, nullptr, box);
}

int FindNearestResolvePoint(DeferredResolveSettings* out) {
  qxVector3 white = {}, black = {};
  float minimum = 0, maximum = 0, power = 0, strength = 0;
  if (!drevRoom_FindNearestResolvePoint(&white, &black, &minimum, &maximum, &power, &strength)) {
    return 0;
  }
  if (out) *out = {Vector(white), Vector(black), minimum, maximum, power, strength};
  return 1;
}

int GetFlaggedActorTransform(int n, qxMatrix34* out) {
  float m[12] = {};
  if (!drevActor_GetFlaggedActorTransform(n, m)) return 0;
  if (out) {
    out->x = {m[0], m[1], m[2]};
    out->y = {m[3], m[4], m[5]};
    out->z = {m[6], m[7], m[8]};
    out->t = {m[9], m[10], m[11]};
  }
  return 1;
}

void GetDrawListActorBounds(int index, kvVector3F* position, float* halfHeight) {
  qxVector3 p = {};
  float h = 0.0f;
  if (index >= 0) drevRender_GetDrawListActorBounds(static_cast<unsigned>(index), &p, &h);
  if (position) *position = Vector(p);
  if (halfHeight) *halfHeight = h;
}

void AnimateLights(void) {
  drevRoom_AnimateLights();
}

qxVector3 Q(const kvVector3F& v) {
  return {v.x, v.y, v.z};
}

void AddDynamicLight(const DeferredDynamicLight& l) {
  const qxVector3 position = Q(l.position), rotation = Q(l.rotation), size = Q(l.halfSize);
  const qxVector3 innerA = Q(l.innerA), outerA = Q(l.outerA), innerB = Q(l.innerB),
                  outerB = Q(l.outerB);
  const float shape[6] = {l.shadingBias, l.shadingEnd,          l.innerRadius,
                          l.falloffPower, l.verticalInnerRadius, l.verticalFalloffPower};
  const float shadow[4] = {l.shadowBias, l.shadowSoftness, l.shadowNear, l.shadowRange};
  drevRoom_AddDynamicLight(l.name, l.type, &position, &rotation, &size, shape, l.animationMode,
                           l.animationRate, &innerA, &outerA, l.intensityA, &innerB, &outerB,
                           l.intensityB, l.castsShadow, l.shadowQuality, shadow);
}

constexpr DeferredSceneCalls kProgramCalls = {
    &drevRoom_CountDeferredLights,
    &GetDeferredLight,
    &drevRoom_SelectSetupLights,
    &drevRoom_SetDeferredLightEnabled,
    &GetCurrentSetupName,
    &drevRoom_CountShadowCasters,
    &CurrentCamera,
    &GetCameraWorldMatrix,
    &GetCameraViewMatrix,
    &GetFocalFactor,
    &drevRoom_CountCutsceneLights,
    &GetCutsceneLight,
    &drevRoom_CountFlaggedDeferredLights,
    &GetShadowCaster,
    &drevRoom_CountZShapes,
    &GetZShape,
    &FindNearestResolvePoint,
    &drevRoom_IsInvSet,
    &drevActor_CountFlaggedActors,
    &GetFlaggedActorTransform,
    &drevRender_GetDrawListCount,
    &GetDrawListActorBounds,
    &AnimateLights,
    &drevRoom_SetLightGroup,
    &AddDynamicLight,
    &drevRoom_IsLightOnByName,
};

// Fills the null slots of a table with the program's.
DeferredSceneCalls Completed(const DeferredSceneCalls& calls) {
  DeferredSceneCalls out = calls;
  auto fill = [](auto& slot, auto program) {
    if (!slot) slot = program;
  };
  fill(out.countDeferredLights, kProgramCalls.countDeferredLights);
  fill(out.getDeferredLight, kProgramCalls.getDeferredLight);
  fill(out.selectSetupLights, kProgramCalls.selectSetupLights);
  fill(out.setDeferredLightEnabled, kProgramCalls.setDeferredLightEnabled);
  fill(out.getCurrentSetupName, kProgramCalls.getCurrentSetupName);
  fill(out.countShadowCasters, kProgramCalls.countShadowCasters);
  fill(out.currentCamera, kProgramCalls.currentCamera);
  fill(out.getCameraWorldMatrix, kProgramCalls.getCameraWorldMatrix);
  fill(out.getCameraViewMatrix, kProgramCalls.getCameraViewMatrix);
  fill(out.getFocalFactor, kProgramCalls.getFocalFactor);
  fill(out.countCutsceneLights, kProgramCalls.countCutsceneLights);
  fill(out.getCutsceneLight, kProgramCalls.getCutsceneLight);
  fill(out.countFlaggedDeferredLights, kProgramCalls.countFlaggedDeferredLights);
  fill(out.getShadowCaster, kProgramCalls.getShadowCaster);
  fill(out.countZShapes, kProgramCalls.countZShapes);
  fill(out.getZShape, kProgramCalls.getZShape);
  fill(out.findNearestResolvePoint, kProgramCalls.findNearestResolvePoint);
  fill(out.isInvSet, kProgramCalls.isInvSet);
  fill(out.countFlaggedActors, kProgramCalls.countFlaggedActors);
  fill(out.getFlaggedActorTransform, kProgramCalls.getFlaggedActorTransform);
  fill(out.getDrawListCount, kProgramCalls.getDrawListCount);
  fill(out.getDrawListActorBounds, kProgramCalls.getDrawListActorBounds);
  fill(out.animateLights, kProgramCalls.animateLights);
  fill(out.setLightGroup, kProgramCalls.setLightGroup);
  fill(out.addDynamicLight, kProgramCalls.addDynamicLight);
  fill(out.isLightOnByName, kProgramCalls.isLightOnByName);
  return out;
}

DeferredSceneCalls g_calls = kProgramCalls;

}  // namespace

const DeferredSceneCalls& DeferredScene(void) {
  return g_calls;
}

void DeferredScene_Set(const DeferredSceneCalls* calls) {
  g_calls = calls ? Completed(*calls) : kProgramCalls;
}
