// Actors: movement, turning, talking, shadows, collisions. Not built yet (placeholder).
#include "actors/drevActor.h"

int drevActor_Initialize(HostServices*, ModuleDescriptor*) {
  return 0;
}
void drevActor_UpdateAll(float) {}
