// Actors: movement, turning, talking, shadows, collisions. Not built yet (placeholder).
#include "actors/drevActor.h"

#include "platform/kv_Log.h"

int drevActor_Initialize(HostServices*, ModuleDescriptor*) {
  return 0;
}
void drevActor_UpdateAll(float) {}

Actor* drevActor_FromIndex(int) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    kv_Log_Printf("[Actor] - drevActor_FromIndex: not built yet");
  }
  return nullptr;
}

void drevActor_GetNearbyActorBoxes(int, int* count, int, qxVector3*, int) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    kv_Log_Printf("[Actor] - drevActor_GetNearbyActorBoxes: not built yet");
  }
  if (count) *count = 0;
}

int drevActor_New(int, int) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    kv_Log_Printf("[Actor] - drevActor_New: not built yet");
  }
  return -1;
}

qxMatrix34* drevActor_GetTransform(Actor* actor) {
  return actor ? &actor->transform : nullptr;
}

void drevActor_UpdateTalking(float) {}

int drevActor_GetRecordCount(void) {
  return 0;
}
