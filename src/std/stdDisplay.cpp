// Not built yet: the display layer replaces this file. No device is listed;
// start-up goes on (the display choice is not built either) and says so.
#include "std/stdDisplay.h"

#include "platform/kv_Log.h"

int stdDisplay_Startup(void) {
  kv_Log_Printf("[Display] - display layer not built yet: no devices listed");
  return 1;
}
void stdDisplay_Shutdown(void) {}
