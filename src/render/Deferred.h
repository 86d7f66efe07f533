// The deferred back end.
// Placeholder: not built yet (the hardware renderer builds this module); only
// what the software back end and the render-hook registry need is here.
#pragma once

struct RenderHookTable;

// The deferred renderer's clear colour (red, green, blue, alpha).
extern float Deferred_ClearColour[4];
// Creates the deferred renderer's programs and targets and registers its
// table; returns it.
RenderHookTable* InitDeferredBackend(void);
