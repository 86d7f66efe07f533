// Mouse, cursors and the hotspots' save block. Not built yet (placeholder).
#include "presentation/drevMouse.h"

int drevMouse_Initialize(HostServices*, ModuleDescriptor*) {
  return 0;
}
