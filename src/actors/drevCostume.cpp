// The costume module: binds the chore library's component tags to the 3D library. Not built yet
// (placeholder).
#include "actors/drevCostume.h"

int drevCostume_Initialize(HostServices*, ModuleDescriptor*) {
  return 0;
}
void* drevCostume_pShadowMaterial = nullptr;
