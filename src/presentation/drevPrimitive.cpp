// 2D drawing primitives. Not built yet (placeholder).
#include "presentation/drevPrimitive.h"

int drevPrimitive_Initialize(HostServices*, ModuleDescriptor*) {
  return 0;
}
