// The costume module: binds the chore library's component tags to the 3D library. Not built yet
// (placeholder).
#include "actors/drevCostume.h"

#include "platform/kv_Log.h"

int drevCostume_Initialize(HostServices*, ModuleDescriptor*) {
  return 0;
}
void* drevCostume_pShadowMaterial = nullptr;

void drevCostume_Draw(CostumeNode*, const qxMatrix34*) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    kv_Log_Printf("[Costume] - drevCostume_Draw: costumes are not built yet");
  }
}
