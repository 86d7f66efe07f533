// The actor record: what every actor is, shared by the world (sets, walking,
// hotspots) and the actor modules (src/actors/), which own the table of these
// records and everything an actor does.
//
// Every actor is a fixed-size record of one table, addressed everywhere by
// its index (scripts hold it as the ACTR handle). An actor that walks, turns,
// looks, talks, casts shadows or collides gets an ActorExtra block on first
// need.
#pragma once

#include <cstdint>

#include "quadrix/qxMatrix.h"
#include "quadrix/qxVector.h"

struct CostumeNode;
struct ResourceRef;
struct Sector;
struct TextObject;
struct WalkFrame;

constexpr int ACTOR_TABLE_START = 1024;
constexpr int ACTOR_TABLE_GROWTH = 32;
constexpr int ACTOR_NAME_SIZE = 32;
constexpr int ACTOR_PATH_MAX = 128;
constexpr int ACTOR_SHADOW_SLOTS = 6;
constexpr int MAX_SHADOW_CLIPS = 12;
constexpr int ACTOR_TALK_SLOTS = 4;
// Actors of the current set that take part in one frame's collisions.
constexpr int ACTOR_COLLISION_MAX = 256;
// Positions the stuck watch keeps.
constexpr int ACTOR_STUCK_RING = 40;
// A turn limit that never limits.
constexpr float ACTOR_UNLIMITED_TURN = 3.4028235e38f;

// Actor flags.
enum : uint32_t {
  ACTOR_CAMERA = 0x01,           // stands for the camera (render module)
  ACTOR_HIDDEN = 0x02,           // not drawn
  ACTOR_NO_FRUSTUM_CULL = 0x04,  // models drawn without frustum culling
  ACTOR_VOICE_3D = 0x08,         // the voice is placed at the actor
  ACTOR_PUCK_ORIENT = 0x10,      // tilted toward the walk surface's up axis
  ACTOR_OCCLUSION = 0x20,        // gets an ambient-occlusion shape
  ACTOR_BACKWARD = 0x40,         // turns its back to the walk direction
  ACTOR_SECTOR_WALKER = 0x80,    // paths sector by sector; pushed out of spheres
};

// Actor states.
enum : uint32_t {
  ACTOR_MOVING = 0x01,   // walking along a stored path
  ACTOR_LOOKING = 0x02,  // the head turns toward the look target
  ACTOR_HK_HACK = 0x04,  // a turn is done once less than 50 degrees remain
};

// One planar shadow: all zero when cleared.
struct ShadowSlot {
  int32_t active;
  int32_t side;     // 0 no test, -1 only on the negative side, +1 only on the positive
  float plane[4];   // a, b, c, d of a*x + b*y + c*z + d = 0
  qxVector3 light;  // the point the actor is projected from
  Sector* clips[MAX_SHADOW_CLIPS];  // filled from the first empty entry
};

struct ActorExtra {
  qxVector3 lookTarget;   // (0, 0, 0): the head looks straight ahead
  int32_t walkRequested;  // one-frame request to step forward
  int32_t turnRequested;  // one-frame request to turn: -1, 0, +1
  int32_t resting;
  float walkRate;  // units per second
  float turnRate;  // degrees per second
  // The next turn step is one unlimited step, after which the actor turns at
  // turnRate again. Scripts and save games see it as a negative turnRate
  // (drevActor_SignedTurnRate).
  bool instantTurn;
  int32_t turnDone;
  float yawOffset;
  float yawToGo;
  qxVector3 waypoint;
  qxVector3 destination;  // the last walk's target point, passed again on a re-route
  int32_t pathCount;
  qxVector3 path[ACTOR_PATH_MAX];
  int32_t pathIndex;  // index of `waypoint` in `path`
  WalkFrame* walkFrame;
  int32_t followBoxes;
  int32_t walkDominate;
  float reflectionAngle;  // maximum turn of a new walk frame
  int32_t talking;
  int32_t voiceSound;
  int32_t talkTimeLeft;
  char lineId[12];  // the first 12 characters of the line id (saved)
  char speechName[15];
  TextObject* sayLineText;
  int32_t lipSync;
  int32_t activeShadow;
  ShadowSlot shadows[ACTOR_SHADOW_SLOTS];
  int32_t collisionMode;  // 0 none, 1 box, 2 sphere
  float collisionScale;
  int32_t collided;
  int32_t clipActive;
  qxVector3 clipNormal;
  qxVector3 clipPoint;
  uint32_t talkColor;
  float timeScale;
  int32_t invClipNode;   // model node drawn with the clip plane inverted, -1 none
  char lineIdWhole[36];  // the whole line id, for the same-line test (not saved)
};

struct Actor {
  ResourceRef* colormapRef;  // the actor's own colormap, when valid
  uint32_t flags;
  uint32_t state;
  qxVector3 position;
  qxVector3 previousPosition;  // at the start of this frame's update
  qxVector3 rotation;          // pitch, yaw, roll in degrees
  float scale;
  int32_t transformValid;
  qxMatrix34 transform;  // built from rotation and position
  int32_t drawn;         // the main model was drawn in the last frame
  int32_t screenRect[4];
  char setName[ACTOR_NAME_SIZE];  // the set whose roster holds the actor
  int32_t inUse;
  CostumeNode* costumeTop;
  ActorExtra* pExtra;
};
