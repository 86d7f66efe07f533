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

struct ResourceRef;
struct CostumeNode;
struct WalkFrame;

// Actor flags.
constexpr uint32_t ACTOR_CAMERA = 0x01;  // the render module's camera actor
constexpr uint32_t ACTOR_HIDDEN = 0x02;
// Actor state bits.
constexpr uint32_t ACTOR_MOVING = 0x01;

// The fields of an actor's extra block that other modules read; the rest of
// the block is not built yet.
struct ActorExtra {
  int32_t pathCount;
  qxVector3 path[128];
  WalkFrame* walkFrame;
  float collisionScale;
  int32_t collided;
};

// The fields of an actor record that other modules read; the rest of the
// record is not built yet.
struct Actor {
  ResourceRef* colormapRef;  // the actor's own colormap, when valid
  uint32_t flags;            // 0x02 hidden; 0x80 paths skip the navigation graph
  uint32_t state;
  qxVector3 position;
  float scale;
  qxMatrix34 transform;
  int32_t drawn;
  int32_t screenRect[4];
  CostumeNode* costumeTop;
  ActorExtra* pExtra;
  qxMatrix34 frame;  // orientation frame
};

// The actor record of an index. Not built yet: answers none.
Actor* drevActor_FromIndex(int index);

// Empties the count, then appends the four box corners of every other actor
// near the walking actor and of the other actor, at most capacity points.
// Not built yet: gives no points.
void drevActor_GetNearbyActorBoxes(int actor, int* count, int capacity, qxVector3* points,
                                   int otherActor);

// A new actor's index. Not built yet: answers -1 (no actor), logs once.
int drevActor_New(int occlusion, int sectorWalker);
// The actor's transform. Not built yet: the stored one, not rebuilt.
qxMatrix34* drevActor_GetTransform(Actor* actor);
// The say-lines' clock. Not built yet: does nothing.
void drevActor_UpdateTalking(float seconds);
// The number of records of the actor table. Not built yet: answers 0.
int drevActor_GetRecordCount(void);
