// The navigation graph. Not built yet (placeholder).
#include "engine/Pathfinder.h"

void Pathfinder_Invalidate(void) {}
