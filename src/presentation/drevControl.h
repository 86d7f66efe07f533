// The control module: input update and control handlers.
//
// Not built yet: this is a placeholder that gives the module table its entry.
// Its initialise function answers 0 and fills no operation, so the registry
// skips the module; the functions below do nothing.
#pragma once

#include <cstdint>

#include "engine/drevMain.h"

int drevControl_Initialize(HostServices* services, ModuleDescriptor* descriptor);
void drevControl_Update(float frameSeconds, uint32_t frameMs);
// 0 when the input layer refuses.
int drevControl_Activate(void);
void drevControl_Deactivate(void);

// A control handler: takes the frame time in seconds; non-zero = taken.
using ControlHandlerFn = int (*)(float seconds);
// Not built yet: nothing is registered and no handler is ever called.
void drevControl_AddHandler(ControlHandlerFn handler);
void drevControl_RemoveAllHandlers(void);
