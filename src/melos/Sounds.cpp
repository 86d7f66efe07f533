// The music host module of the engine. Not built yet (placeholder).
#include "melos/Sounds.h"

int SoundsInitialize(HostServices*, ModuleDescriptor*) {
  return 0;
}
void Sounds_SetConfig(int, int, int, int, int, int, int, int, int, int, int, int) {}
void Sounds_Update(void) {}
