// The render-hook registry and back-end selection.
// Not built yet: only the registration entry the platform main calls.
#pragma once

void kv_RenderHooks_InitBackends(void);
