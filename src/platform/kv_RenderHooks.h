// The render-hook registry and back-end selection.
// Not built yet: only the registration entry the platform main calls and the
// two broadcasts the render context's frame makes.
#pragma once

void kv_RenderHooks_InitBackends(void);
void kv_RenderHooks_FramePhase(int phase);
void kv_RenderHooks_DisplayChanged(void);
