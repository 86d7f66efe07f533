// Sets: the set record, the set module and set switching. Not built yet (placeholder).
#include "engine/drevRoom.h"

int drevRoom_Initialize(HostServices*, ModuleDescriptor*) {
  return 0;
}
void drevRoom_MakeCurrent(Room*, const char*) {}
Room* drevRoom_GetCurrent(void) {
  return nullptr;
}
void drevRoom_SetSoundParameters(Room*, float, int, int, float, float) {}
void drevRoom_UpdatePositionalSounds(void) {}
