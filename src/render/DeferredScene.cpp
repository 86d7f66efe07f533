#include "render/DeferredScene.h"

#include <cstring>

#include "platform/kv_Log.h"
#include "quadrix/qxCamera.h"
#include "quadrix/qxCore.h"

namespace {

// Not built yet: the set's deferred lights, setup lights and shadow casters
// come with the sets (drevRoom_CountDeferredLights, drevRoom_GetDeferredLight,
// drevRoom_SelectSetupLights, drevRoom_SetDeferredLightEnabled,
// drevRoom_GetCurrentSetupName, drevRoom_CountShadowCasters). Until then the
// renderer sees a set without lights, setups or casters.
void ReportSetLightsMissing(void) {
  static bool reported = false;
  if (reported) return;
  reported = true;
  kv_Log_Printf(
      "[Deferred] - the set's deferred lights and shadow casters are not built yet; the "
      "deferred renderer sees no set lights");
}

int CountDeferredLights(void) {
  ReportSetLightsMissing();
  return 0;
}
int GetDeferredLight(int, uint32_t, DeferredLightInfo*) {
  ReportSetLightsMissing();
  return 0;
}
void SelectSetupLights(void) {
  ReportSetLightsMissing();
}
void SetDeferredLightEnabled(int, uint32_t) {
  ReportSetLightsMissing();
}
void GetCurrentSetupName(char buffer[DeferredScene_SetupNameSize]) {
  ReportSetLightsMissing();
  std::memset(buffer, 0, DeferredScene_SetupNameSize);
}
int CountShadowCasters(void) {
  ReportSetLightsMissing();
  return 0;
}

const void* CurrentCamera(void) {
  return qxCore_pCurrentCamera;
}
void GetCameraWorldMatrix(qxMatrix34* out) {
  qxCamera_GetWorldMatrix(out);
}

constexpr DeferredSceneCalls kProgramCalls = {
    &CountDeferredLights, &GetDeferredLight,   &SelectSetupLights, &SetDeferredLightEnabled,
    &GetCurrentSetupName, &CountShadowCasters, &CurrentCamera,     &GetCameraWorldMatrix,
};

DeferredSceneCalls g_calls = kProgramCalls;

}  // namespace

const DeferredSceneCalls& DeferredScene(void) {
  return g_calls;
}

void DeferredScene_Set(const DeferredSceneCalls* calls) {
  g_calls = calls ? *calls : kProgramCalls;
}
