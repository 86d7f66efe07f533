// The walk-area navigation graph. Not built yet: a placeholder.
#pragma once

struct Pathfinder;

// The single graph, constructed on first use: none exists yet.
Pathfinder* Pathfinder_Construct(void);
void Pathfinder_Invalidate(void);
