// Hotspots. Not built yet (placeholder): no hotspot file is read.
#include "engine/hotspots.h"

void hotspots_LoadForSet(const char*) {}
