#include "render/DeferredScene.h"

#include "engine/drevRoom.h"
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

constexpr DeferredSceneCalls kProgramCalls = {
    &drevRoom_CountDeferredLights,
    &GetDeferredLight,
    &drevRoom_SelectSetupLights,
    &drevRoom_SetDeferredLightEnabled,
    &GetCurrentSetupName,
    &drevRoom_CountShadowCasters,
    &CurrentCamera,
    &GetCameraWorldMatrix,
};

DeferredSceneCalls g_calls = kProgramCalls;

}  // namespace

const DeferredSceneCalls& DeferredScene(void) {
  return g_calls;
}

void DeferredScene_Set(const DeferredSceneCalls* calls) {
  g_calls = calls ? *calls : kProgramCalls;
}
