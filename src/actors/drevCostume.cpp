// The costume module: binds the chore library's component tags to the 3D library. Not built yet
// (placeholder): every operation logs "not built yet" once and does nothing.
#include "actors/drevCostume.h"

#include "platform/kv_Log.h"

namespace {
void NotBuilt(bool& reported, const char* what) {
  if (reported) return;
  reported = true;
  kv_Log_Printf("[Costume] - %s: not built yet", what);
}
}  // namespace

int drevCostume_Initialize(HostServices*, ModuleDescriptor*) {
  return 0;
}
void* drevCostume_pShadowMaterial = nullptr;

CostumeNode* drevCostume_PushNode(CostumeNode* below, CosCostumeHandle, CosInstHandle) {
  static bool reported = false;
  NotBuilt(reported, "drevCostume_PushNode");
  return below;
}
CostumeNode* drevCostume_PopNode(CostumeNode* top, int) {
  static bool reported = false;
  NotBuilt(reported, "drevCostume_PopNode");
  return top;
}
CostumeNode* drevCostume_ReplaceNode(CostumeNode* top, CosCostumeHandle, CosInstHandle) {
  static bool reported = false;
  NotBuilt(reported, "drevCostume_ReplaceNode");
  return top;
}
void drevCostume_FreeNodes(CostumeNode*, int) {
  static bool reported = false;
  NotBuilt(reported, "drevCostume_FreeNodes");
}
void drevCostume_ResetInstance(CosInstHandle) {
  static bool reported = false;
  NotBuilt(reported, "drevCostume_ResetInstance");
}
void drevCostume_UpdateChores(CostumeNode*, float) {
  static bool reported = false;
  NotBuilt(reported, "drevCostume_UpdateChores");
}
void drevCostume_Draw(CostumeNode*, const qxMatrix34*) {
  static bool reported = false;
  NotBuilt(reported, "drevCostume_Draw");
}
void drevCostume_DrawShadow(CostumeNode*, const ShadowSlot*) {
  static bool reported = false;
  NotBuilt(reported, "drevCostume_DrawShadow");
}
qxColormap* drevCostume_SetShadowColor(int, int, int) {
  static bool reported = false;
  NotBuilt(reported, "drevCostume_SetShadowColor");
  return nullptr;
}
