// The render module: the setup camera, the clean copy of a setup, the actor
// draw list and the frame.
//
// Not built yet: all of these read the set record's setups, colormaps,
// lights and actor roster, which come with the set module. Until then no
// setup is prepared and the frame draws nothing (logged once).
#include "engine/drevRoom.h"
#include "platform/kv_Log.h"
#include "presentation/drevRender_Internal.h"

int drevRender_CurrentSetupIndex(Room* room) {
  return room ? static_cast<int>(room->currentSetup) : 0;
}
RoomSetup* drevRender_Setup(Room*, int) {
  return nullptr;
}
RoomSetup* drevRender_CurrentSetup(Room*) {
  return nullptr;
}
qxCamera* drevRender_SetupCamera(Room*, int) {
  return nullptr;
}
void drevRender_SelectSetupCamera(Room*, int) {}
void drevRender_PrepareSetup(Room*, int) {}
// Without setups neither a background nor a depth image is there.
void drevRender_SetBackgroundEnabled(int, int) {
  drevRender_State().renderFlags |= kRenderNoBackground | kRenderNoDepth;
  int viewport[4];
  if (drevRender_Calls().roomGetCurrent() && drevRender_CanvasViewport(viewport))
    drevRender_AddDirtyRectAllBuffers(viewport, 1);
}
void drevRender_BuildDrawList(void) {}
void drevRender_GetDrawListActorBounds(unsigned, qxVector3*, float*) {}
void drevRender_DrawFrame(void) {
  static int reported = 0;
  drevRender_LogOnce(reported, "[Render] - drevRender_DrawFrame: not built yet (the set record)");
}
void drevRender_DrawLights(void) {}
void drevRender_DrawCameras(void) {}
