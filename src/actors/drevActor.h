// Actors: movement, turning, talking, shadows, collisions.
//
// Not built yet: this is a placeholder that gives the module table its entry.
// Its initialise function answers 0 and fills no operation, so the registry
// skips the module; the functions below do nothing.
#pragma once

#include <cstdint>

#include "engine/drevMain.h"
#include "quadrix/qxMatrix.h"

struct WalkFrame;

int drevActor_Initialize(HostServices* services, ModuleDescriptor* descriptor);
void drevActor_UpdateAll(float frameSeconds);

// The part of an actor's extra block that the sets read.
struct ActorExtra {
  WalkFrame* walkFrame;  // the walk-box follower frame, or null
  int32_t followBoxes;   // the walk frame keeps to the walk sectors
};

// The leading fields of an actor record that the engine core reads; the rest
// of the record is not built yet.
struct Actor {
  uint32_t flags;    // 0x02 hidden; 0x80 paths skip the navigation graph
  qxMatrix34 frame;  // orientation frame
  int32_t drawn;     // the screen rectangle is valid; cleared when it leaves a set
  char setName[32];  // the set whose roster holds the actor; empty = none
  ActorExtra* pExtra;
};

// The actor record of an index, and the index of a record. Not built yet:
// there is no actor table, so none and -1 (each logs once).
Actor* drevActor_FromIndex(int index);
int drevActor_ToIndex(const Actor* actor);
// Zeroes the actor's shadow records. Not built yet: does nothing (logs once).
void drevActor_ClearShadows(Actor* actor);

// Empties the count, then appends the four box corners of every other actor
// near the walking actor and of the other actor, at most capacity points.
// Not built yet: gives no points.
void drevActor_GetNearbyActorBoxes(int actor, int* count, int capacity, qxVector3* points,
                                   int otherActor);
