// Mouse, cursors and the hotspots' save block.
//
// Not built yet: this is a placeholder that gives the module table its entry.
// Its initialise function answers 0 and fills no operation, so the registry
// skips the module; the functions below do nothing.
#pragma once

#include <cstdint>

#include "engine/drevMain.h"

int drevMouse_Initialize(HostServices* services, ModuleDescriptor* descriptor);

// Moves the cursor to the mouse and draws it. Not built yet: does nothing
// (logs once).
void drevMouse_UpdateCursor(void);
// 1 when the scripts enabled the cursor during movies (CursorMovieEnabled).
// Not built yet: answers 0.
int drevMouse_IsCursorMovieEnabled(void);
