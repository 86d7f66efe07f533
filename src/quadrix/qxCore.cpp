// Not built yet: the 3D library replaces this file. Start-up goes on without
// it (there is nothing yet that would draw through it); the log says so.
#include "quadrix/qxCore.h"

#include "platform/kv_Log.h"

int qxCore_Startup(HostServices*) {
  kv_Log_Printf("[Quadrix] - 3D library not built yet: not started");
  return 1;
}
int qxCore_Open(int) {
  return 1;
}
void qxCore_Close(void) {}
void qxCore_Shutdown(void) {}
