// Placeholder: not built yet (the window issue builds this module). Without a
// window and render context there is no display-changed flag to set.
#include "platform/kv_Window.h"

void kv_Platform_MarkDisplayChanged(void) {}
