// The engine core's rows that a save, a load or a new-game restart reaches
// besides the scripts and the actors, made to do nothing: for tests and fuzz
// targets that run the real save path without the rest of the engine. Put
// them in after drevMain_ResetCalls; drevMain_ResetCalls puts the program's
// rows back.
#pragma once

#include "engine/drevMain.h"

inline void QuietSaveCalls(drevMainCalls& c) {
  c.renderSetWaitTimerEnabled = [](int) {};
  c.renderDrawProgressBar = [](float) {};
  c.melosStopAllSounds = [] {};
  c.tolveStop = [] {};
  c.tolveUpdate = [] { return 0; };
  c.resourceFreeAll = [] {};
  c.forgetShadowMaterial = [] {};
  c.resourceSetRestoring = [](int) {};
  c.resourcesReleased = [] {};
  c.roomGetCurrent = []() -> Room* { return nullptr; };
  c.renderPrepareSetup = [](Room*, int) {};
  c.renderInvalidateRectAllBuffers = [](const int*, int) {};
  c.overlaySetVirtualScreenAspect = [](float) {};
  c.cosSave = [](SaveTransferFn) { return 0; };
  c.cosRestore = [](SaveTransferFn) { return 0; };
}
