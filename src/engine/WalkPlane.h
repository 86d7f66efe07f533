// Walk sectors of the sets. Not built yet: a placeholder.
#pragma once

void WalkPlane_SelectSetSectors(const char* setName);
