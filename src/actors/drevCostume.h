// The costume module: binds the chore library's component tags to the 3D library.
//
// Not built yet: this is a placeholder that gives the module table its entry.
// Its initialise function answers 0 and fills no operation, so the registry
// skips the module; the functions below do nothing.
#pragma once

#include <cstdint>

#include "engine/drevMain.h"

int drevCostume_Initialize(HostServices* services, ModuleDescriptor* descriptor);
// The shadow material that costume drawing loads once from "shadow.mat".
extern void* drevCostume_pShadowMaterial;
