// Actors: movement, turning, talking, shadows, collisions.
//
// Not built yet: this is a placeholder that gives the module table its entry.
// Its initialise function answers 0 and fills no operation, so the registry
// skips the module; the functions below do nothing.
#pragma once

#include <cstdint>

#include "engine/drevMain.h"

int drevActor_Initialize(HostServices* services, ModuleDescriptor* descriptor);
void drevActor_UpdateAll(float frameSeconds);
