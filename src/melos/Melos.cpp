// The music system. Not built yet (placeholder): no music plays.
#include "melos/Melos.h"

#include "platform/kv_Log.h"

void Melos_SetState(int) {}
void Melos_Pause(void) {}
void Melos_Resume(void) {}
void Melos_StopAllSounds(void) {}

int Melos_GetParam(int, int) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    kv_Log_Printf("[Melos] - Melos_GetParam: not built yet");
  }
  return 0;
}
