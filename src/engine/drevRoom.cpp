// Sets: the set record, the set module and set switching. Not built yet (placeholder).
#include "engine/drevRoom.h"

#include "platform/kv_Log.h"

int drevRoom_Initialize(HostServices*, ModuleDescriptor*) {
  return 0;
}
void drevRoom_MakeCurrent(Room*, const char*) {}
Room* drevRoom_GetCurrent(void) {
  return nullptr;
}
void drevRoom_SetSoundParameters(Room*, float, int, int, float, float) {}
void drevRoom_UpdatePositionalSounds(void) {}

void drevRoom_RemoveActorFromSet(const char*, Actor*) {
  static bool reported = false;
  if (reported) return;
  reported = true;
  kv_Log_Printf("[Room] - drevRoom_RemoveActorFromSet: not built yet");
}
RosterNode* drevRoom_GetSetActors(const char*) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    kv_Log_Printf("[Room] - drevRoom_GetSetActors: not built yet");
  }
  return nullptr;
}
