// Actors: movement, turning, talking, shadows, collisions. Not built yet (placeholder).
#include "actors/drevActor.h"

#include "platform/kv_Log.h"

int drevActor_Initialize(HostServices*, ModuleDescriptor*) {
  return 0;
}
void drevActor_UpdateAll(float) {}

namespace {
void ReportNotBuilt(bool& reported, const char* what) {
  if (reported) return;
  reported = true;
  kv_Log_Printf("[Actor] - %s: not built yet", what);
}
}  // namespace

Actor* drevActor_FromIndex(int) {
  static bool reported = false;
  ReportNotBuilt(reported, "drevActor_FromIndex");
  return nullptr;
}

int drevActor_ToIndex(const Actor*) {
  static bool reported = false;
  ReportNotBuilt(reported, "drevActor_ToIndex");
  return -1;
}

void drevActor_ClearShadows(Actor*) {
  static bool reported = false;
  ReportNotBuilt(reported, "drevActor_ClearShadows");
}

void drevActor_GetNearbyActorBoxes(int, int* count, int, qxVector3*, int) {
  static bool reported = false;
  ReportNotBuilt(reported, "drevActor_GetNearbyActorBoxes");
  if (count) *count = 0;
}
