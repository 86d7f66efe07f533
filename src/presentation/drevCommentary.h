// The director's commentary module.
//
// Not built yet: this is a placeholder that gives the module table its entry.
// Its initialise function answers 0 and fills no operation, so the registry
// skips the module; the functions below do nothing.
#pragma once

#include <cstdint>

#include "engine/drevMain.h"

int drevCommentary_Initialize(HostServices* services, ModuleDescriptor* descriptor);
void drevCommentary_Update(void);
void drevCommentary_LoadDefinitions(void);
