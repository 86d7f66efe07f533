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

// Not built yet: the talk settings belong to the actors' talking.
int drevActor_SetTextSpeed(int) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    kv_Log_Printf("[Actor] - drevActor_SetTextSpeed: not built yet");
  }
  return 0;
}

int drevActor_GetTextSpeed(void) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    kv_Log_Printf("[Actor] - drevActor_GetTextSpeed: not built yet");
  }
  return 0;
}
