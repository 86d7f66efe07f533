// The navigation graph. Not built yet (placeholder).
#include "engine/Pathfinder.h"

Pathfinder* Pathfinder_Construct(void) {
  return nullptr;
}
void Pathfinder_Invalidate(void) {}
