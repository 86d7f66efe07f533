// Not built yet: the render-hook registry replaces this file.
#include "platform/kv_RenderHooks.h"

#include "platform/kv_Log.h"

void kv_RenderHooks_InitBackends(void) {
  kv_Log_Printf("[RenderHooks] - render back ends not built yet: none registered");
}

// Not built yet: there are no back ends to tell.
void kv_RenderHooks_ResourceLoaded(uint32_t, const char*, void*, int) {}
