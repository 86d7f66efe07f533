// Render-hook registry: not built yet. This placeholder dispatches to no back
// end; the registry's own module replaces it.
#include "platform/kv_RenderHooks.h"

void kv_RenderHooks_FramePhase(int) {}
void kv_RenderHooks_DisplayChanged(void) {}
