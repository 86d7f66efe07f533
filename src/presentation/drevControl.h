// The control module: input update and control handlers.
//
// Not built yet: a placeholder with the calls the script interface makes.
#pragma once

// A control handler: takes the frame time in seconds; non-zero = taken.
using ControlHandlerFn = int (*)(float seconds);

// Not built yet: nothing is registered and no handler is ever called.
void drevControl_AddHandler(ControlHandlerFn handler);
void drevControl_RemoveAllHandlers(void);
