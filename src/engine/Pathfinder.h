// The walk-area navigation graph. Not built yet: a placeholder.
#pragma once

void Pathfinder_Invalidate(void);
