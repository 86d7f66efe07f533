// Not built yet: the render-hook registry replaces this file. No back end is
// registered, so the broadcasts reach nobody.
#include "platform/kv_RenderHooks.h"

#include "platform/kv_Log.h"

void kv_RenderHooks_InitBackends(void) {
  kv_Log_Printf("[RenderHooks] - render back ends not built yet: none registered");
}

void kv_RenderHooks_FramePhase(int) {}
void kv_RenderHooks_DisplayChanged(void) {}
