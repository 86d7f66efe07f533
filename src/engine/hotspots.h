// Hotspots of the current set. Not built yet: a placeholder.
#pragma once

void hotspots_LoadForSet(const char* setFileName);
