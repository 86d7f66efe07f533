#include "render/DeferredScene.h"

namespace {

DeferredSceneCalls g_program{};  // the program's rows

// Fills the null slots of a table with the program's.
DeferredSceneCalls Completed(const DeferredSceneCalls& calls) {
  DeferredSceneCalls out = calls;
  auto fill = [](auto& slot, auto program) {
    if (!slot) slot = program;
  };
  fill(out.countDeferredLights, g_program.countDeferredLights);
  fill(out.getDeferredLight, g_program.getDeferredLight);
  fill(out.selectSetupLights, g_program.selectSetupLights);
  fill(out.setDeferredLightEnabled, g_program.setDeferredLightEnabled);
  fill(out.getCurrentSetupName, g_program.getCurrentSetupName);
  fill(out.countShadowCasters, g_program.countShadowCasters);
  fill(out.currentCamera, g_program.currentCamera);
  fill(out.getCameraWorldMatrix, g_program.getCameraWorldMatrix);
  fill(out.getCameraViewMatrix, g_program.getCameraViewMatrix);
  fill(out.getFocalFactor, g_program.getFocalFactor);
  fill(out.countCutsceneLights, g_program.countCutsceneLights);
  fill(out.getCutsceneLight, g_program.getCutsceneLight);
  fill(out.countFlaggedDeferredLights, g_program.countFlaggedDeferredLights);
  fill(out.getShadowCaster, g_program.getShadowCaster);
  fill(out.countZShapes, g_program.countZShapes);
  fill(out.getZShape, g_program.getZShape);
  fill(out.findNearestResolvePoint, g_program.findNearestResolvePoint);
  fill(out.isInvSet, g_program.isInvSet);
  fill(out.countFlaggedActors, g_program.countFlaggedActors);
  fill(out.getFlaggedActorTransform, g_program.getFlaggedActorTransform);
  fill(out.getDrawListCount, g_program.getDrawListCount);
  fill(out.getDrawListActorBounds, g_program.getDrawListActorBounds);
  fill(out.animateLights, g_program.animateLights);
  fill(out.setLightGroup, g_program.setLightGroup);
  fill(out.addDynamicLight, g_program.addDynamicLight);
  fill(out.isLightOnByName, g_program.isLightOnByName);
  return out;
}

DeferredSceneCalls g_calls{};

}  // namespace

const DeferredSceneCalls& DeferredScene(void) {
  return g_calls;
}

void DeferredScene_Set(const DeferredSceneCalls* calls) {
  g_calls = calls ? Completed(*calls) : g_program;
}

void DeferredScene_SetCalls(const DeferredSceneCalls* calls) {
  g_program = calls ? *calls : DeferredSceneCalls{};
  g_calls = g_program;
}
