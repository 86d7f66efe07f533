// Text objects and say-lines. Not built yet (placeholder).
#include "presentation/drevText.h"

int drevText_Initialize(HostServices*, ModuleDescriptor*) {
  return 0;
}
