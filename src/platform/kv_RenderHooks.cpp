// Not built yet: no back end is registered, so the broadcasts reach nobody.
#include "platform/kv_RenderHooks.h"

int kv_RenderHooks_FillBuffer(DisplayBuffer*, int, const stdRect*) {
  return 0;
}

void kv_RenderHooks_CameraChanged(void) {}
