// The render context. Not built yet (placeholder): there is no context, so no
// frame can begin.
#include "gfx/kv_RenderContext.h"

int kv_Platform_BeginFrame(void) {
  return 0;
}
void kv_Platform_OnResourcesReleased(void) {}
