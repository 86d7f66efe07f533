// The render-hook registry and back-end selection.
// Not built yet: only the registration entry the platform main calls.
#pragma once

void kv_RenderHooks_InitBackends(void);

#include <cstdint>
// Tells every registered back end that a resource was loaded (fromCache 1
// when it was found already loaded). Not built yet: no back end is told.
void kv_RenderHooks_ResourceLoaded(uint32_t tag, const char* name, void* object, int fromCache);
