// Mouse, cursors and the hotspots' save block. Not built yet (placeholder).
#include "presentation/drevMouse.h"

#include "platform/kv_Log.h"

int drevMouse_Initialize(HostServices*, ModuleDescriptor*) {
  return 0;
}

void drevMouse_SetMovieCursor(int) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    kv_Log_Printf("[Mouse] - drevMouse_SetMovieCursor: not built yet");
  }
}
