// Walk sectors. Not built yet (placeholder): no sector list exists.
#include "engine/WalkPlane.h"

void WalkPlane_SelectSetSectors(const char*) {}
