// Actors: movement, turning, talking, shadows, collisions.
//
// Not built yet: this is a placeholder that gives the module table its entry.
// Its initialise function answers 0 and fills no operation, so the registry
// skips the module; the functions below do nothing.
#pragma once

#include <cstdint>

#include "engine/drevMain.h"
#include "quadrix/qxMatrix.h"

int drevActor_Initialize(HostServices* services, ModuleDescriptor* descriptor);
void drevActor_UpdateAll(float frameSeconds);

// The leading fields of an actor record that the engine core reads; the rest
// of the record is not built yet.
struct Actor {
  uint32_t flags;    // 0x02 hidden; 0x80 paths skip the navigation graph
  qxMatrix34 frame;  // orientation frame
};

// The actor record of an index. Not built yet: answers none.
Actor* drevActor_FromIndex(int index);

// Empties the count, then appends the four box corners of every other actor
// near the walking actor and of the other actor, at most capacity points.
// Not built yet: gives no points.
void drevActor_GetNearbyActorBoxes(int actor, int* count, int capacity, qxVector3* points,
                                   int otherActor);

// The text speed of say-lines without voice, 1 to 10. Not built yet: the
// setter logs once and stores nothing, the getter answers 0 (no speed).
int drevActor_SetTextSpeed(int speed);
int drevActor_GetTextSpeed(void);
