// Actor motion chores. Not built yet (placeholder): the walk, turn and rest
// chores are not switched ("not built yet" once). The one-frame walk and turn
// requests are still cleared here, where the chore step ends, so that a
// request moves the actor for one frame only.
#include "actors/drevActor.h"
#include "actors/drevActor_Internal.h"
#include "platform/kv_Log.h"

void drevActor_UpdateMotionChores(Actor* actor) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    kv_Log_Printf("[Actor] - drevActor_UpdateMotionChores: not built yet");
  }
  if (!actor || !actor->pExtra) return;
  actor->pExtra->walkRequested = 0;
  actor->pExtra->turnRequested = 0;
}

// The fade time of the walk, turn and rest chores' switches (no check).
void drevActor_SetWalkFadeTime(int milliseconds) {
  drevActor_State().walkFadeTime = milliseconds;
}
