// Mouse, cursors and the hotspots' save block.
//
// Not built yet: this is a placeholder that gives the module table its entry.
// Its initialise function answers 0 and fills no operation, so the registry
// skips the module; the functions below do nothing.
#pragma once

#include <cstdint>

#include "engine/drevMain.h"

int drevMouse_Initialize(HostServices* services, ModuleDescriptor* descriptor);

// The movie-cursor flag: while set, the cursor is also updated and drawn
// during full-screen cutscenes. Not built yet: there is no cursor; logs once.
void drevMouse_SetMovieCursor(int flag);
