// Actors: the actor table and its records, walking and turning, the frame's
// actor step with the head look-at and clip planes, collisions and
// avoidance, and planar shadows.
//
// Every actor is a fixed-size record of one table, addressed everywhere by
// its index (scripts hold it as the ACTR handle). The table starts with 1024
// records and grows by blocks of 32 that stay where they are, so a record
// pointer held elsewhere (a roster, the collision list, a text object's
// owner) never dangles. An actor that walks, turns, looks, talks, casts
// shadows or collides gets an ActorExtra block on first need.
//
// Main thread only: the frame, the scripts, the render module and save and
// restore use the table without locks.
#pragma once

#include <cstdint>

#include "chore/costume.h"
#include "engine/drevMain.h"
#include "quadrix/qxMatrix.h"
#include "quadrix/qxVector.h"

struct CostumeNode;
struct qxModel3;
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
  float turnRate;  // degrees per second; negative: one unlimited turn step
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

// ---- Module ----------------------------------------------------------------------

int drevActor_Initialize(HostServices* services, ModuleDescriptor* descriptor);
void drevActor_Uninitialize(void);
// 0 when the table was made, 1 when it exists already.
int drevActor_Startup(void);
void drevActor_Shutdown(void);
// The "ACTS" block of a save game (drevActor_Save.cpp): 0 on success, 1 when
// the table or a costume stack is beyond what a block holds (save) or the
// block is not sound (restore).
int drevActor_Save(SaveTransferFn write);
int drevActor_Restore(SaveTransferFn read);

// ---- Table -----------------------------------------------------------------------

// The index of a new actor (first free record, else the table grows);
// -1 only before startup.
int drevActor_New(int occlusion, int sectorWalker);
void drevActor_Free(Actor* actor);
// Null outside the table.
Actor* drevActor_FromIndex(int index);
// -1 for a record that is not in the table.
int drevActor_ToIndex(const Actor* actor);
int drevActor_GetRecordCount(void);
int drevActor_GetInUseCount(void);
void drevActor_CreateExtra(Actor* actor);
const qxMatrix34* drevActor_GetTransform(Actor* actor);
// The main model of the actor's top costume node (a model thing), or null.
qxModel3* drevActor_MainModel(const Actor* actor);
// Answers the previous selection (-1 none); indexes outside the table change nothing.
int drevActor_SetSelected(int index);
int drevActor_GetSelected(void);
// Changes every time startup makes a new table (at every game restart), so
// that a holder of an actor index can tell that its actor has gone.
uint32_t drevActor_GetTableSerial(void);
Actor* drevActor_FirstNavigator(void);
int drevActor_CountFlaggedActors(void);
int drevActor_GetFlaggedActorTransform(int n, float out[12]);
int drevActor_SetFrustumCull(Actor* actor, int on);
int drevActor_SetCostume(Actor* actor, const char* costumeName, int instance);
int drevActor_PushCostume(Actor* actor, const char* costumeName, int instance);
// Pushes a costume the caller holds (the chore tool's) onto the stack; 0 for
// no actor or no costume.
int drevActor_PushCostumeHandle(Actor* actor, CosCostumeHandle costume);
void drevActor_PopCostume(Actor* actor, int freeInstance);
void drevActor_FreeAllCostumes(void);
// The talking slots hold actor indexes, -1 when empty.
int drevActor_GetTalkingSlot(int slot);
void drevActor_SetTalkingSlot(int slot, int actorIndex);

// ---- Walking and turning ------------------------------------------------------------

void drevActor_SetPosition(Actor* actor, const qxVector3* point, int stop);
void drevActor_SetRotation(Actor* actor, const qxVector3* angles, int instant);
void drevActor_EnsureWalkFrame(Actor* actor, int keep);
void drevActor_SetFollowBoxes(Actor* actor, int on);
void drevActor_SetReflection(Actor* actor, float degrees);
void drevActor_SetReflectionDefault(Actor* actor, float degrees);
void drevActor_SetConstrain(Actor* actor, int on);
void drevActor_SetWalkDominate(Actor* actor, int on);
void drevActor_SnapToOppositeEdge(Actor* actor, Sector* sector);
// The goal may be moved onto the nearest walk sector.
void drevActor_WalkTo(Actor* actor, qxVector3* goal, const qxVector3* target, Actor* avoid);
void drevActor_WalkForward(Actor* actor);
void drevActor_Turn(Actor* actor, int direction);
void drevActor_FollowPath(Actor* actor);
void drevActor_StepWalkFrame(Actor* actor);
int drevActor_TurnTowardWaypoint(WalkFrame* frame, Actor* actor, int backward);
void drevActor_PuckOrient(Actor* actor);

// ---- Talking and chores (built with the costume stack) ----------------------------

// The talk step of the talking actors (the four slots, and any talker beyond
// them): lip sync, the line's time, the end of the line.
void drevActor_UpdateTalking(float seconds);
void drevActor_UpdateTalkOne(Actor* actor, float seconds);
// Ends the actor's line: its sound, its text, the mumble; the mouth closes.
void drevActor_ShutUp(Actor* actor);
// Starts a line: its voice ("<lang>_<id>" or "<id>" with .wvc, .wav, .mlc,
// .mlu; the voice stream when useStream, else a speech sound), its say-line
// text object and the mouth (lip sync, else the mumble chore). useStream 1,
// volume 127, pan 64, x and y -1 unless the script's SayLine changes them.
void drevActor_SayLine(Actor* actor, const char* text, int useStream, int volume, int pan, int x,
                       int y);
// 1 with the first voice file of the base name that opens, in out.
int drevActor_FindVoiceFile(const char* base, char* out, int capacity);
int drevActor_IsVoicePlaying(Actor* actor);
// The number of talking actors.
int drevActor_CountTalking(void);
// Speech mode: bit 1 text, bit 2 voice (2 at start). A mode with neither
// bit is ignored; the result is the mode in force.
int drevActor_SetSpeechMode(int mode);
int drevActor_GetSpeechMode(void);

// Chore slots of a costume node: walk, the two turn chores, rest, mumble and
// the talk chores 1..16 (kActorChoreTalk(n)).
constexpr int kActorChoreWalk = 0;
constexpr int kActorChoreTurnFirst = 1;
constexpr int kActorChoreTurnSecond = 2;
constexpr int kActorChoreRest = 3;
constexpr int kActorChoreMumble = 4;
constexpr int kActorChoreTalk(int n) {
  return 4 + n;
}
// The chore slot lookup: the first node from the top, within the run of
// nodes that share the top node's main model, whose slot holds a chore; the
// chore goes to *chore (-1 and null when none).
CostumeNode* drevActor_FindChore(const Actor* actor, int slot, int* chore);
int32_t* drevActor_ChoreSlot(CostumeNode* node, int slot);
// Plays a chore looping with a 70 ms head start and fades its keyframe
// tracks in; the stop fades them out and stops the chore (-1: every chore).
void drevActor_PlayChoreFaded(CosInstHandle instance, int chore, int fadeMs);
void drevActor_StopChoreFaded(CosInstHandle instance, int chore, int fadeMs);
// The motion chore setters; the target node defaults (null) to the top node.
// The slot's old holder in the top run is cleared; a playing old chore is
// swapped for the new one at once.
void drevActor_SetWalkChore(Actor* actor, int chore, CostumeNode* target);
void drevActor_SetTurnChores(Actor* actor, int first, int second, CostumeNode* target);
void drevActor_SetRestChore(Actor* actor, int chore, CostumeNode* target);
void drevActor_SetWalkFadeTime(int milliseconds);
// The frame's motion chore switch (walk, turn, rest) from the one-frame
// requests, which it clears.
void drevActor_UpdateMotionChores(Actor* actor);
// The text speed of say-lines without voice, clamped to 1..10 (6 at start);
// answers the stored speed.
int drevActor_SetTextSpeed(int speed);
int drevActor_GetTextSpeed(void);

// ---- Shadows ----------------------------------------------------------------------

int drevActor_HasShadow(Actor* actor);
// Slots outside 0..5 change nothing.
void drevActor_ActivateShadow(Actor* actor, int slot, int on);
void drevActor_SetShadowPlane(Actor* actor, const char* sectorName);
void drevActor_SetShadowPoint(Actor* actor, float x, float y, float z);
void drevActor_SetShadowValid(Actor* actor, int slot, int side);
Sector* drevActor_AddShadowPlane(Actor* actor, int slot, const char* sectorName);
void drevActor_ClearShadows(Actor* actor);
// Draws only while the frame phase's actor-shadow switch is on.
void drevActor_DrawShadows(Actor* actor);

// ---- Frame step, look-at, clip planes ------------------------------------------------

void drevActor_UpdateAll(float frameSeconds);
void drevActor_Update(Actor* actor, float seconds);
void drevActor_UpdateLookAt(Actor* actor, float seconds);
void drevActor_SetHead(Actor* actor, int joint1, int joint2, int joint3, float viewAngle,
                       float limitA, float limitB);
int drevActor_CanSeePoint(Actor* actor, const qxVector3* point, float* distance);
int drevActor_CanSeeActor(Actor* actor, Actor* other, float* distance);
void drevActor_SetClipPlane(Actor* actor, const qxVector3* normal, const qxVector3* point);
void drevActor_SetClipActive(Actor* actor, int on);
void drevActor_DrawToClean(Actor* actor);
void drevActor_ResetCostume(Actor* actor);

// ---- Collisions and avoidance -------------------------------------------------------

int drevActor_UpdateCollisions(void);
int drevActor_ResolveCollision(Actor* actor);
// Obstacle corners for the navigation graph: four points per box-mode actor
// near the walking actor, and of the actor to include (-1 none).
void drevActor_GetNearbyActorBoxes(int actor, int* count, int capacity, qxVector3* points,
                                   int include);
// Bends a sector-search path around the avoided actor's box; writes at most
// capacity points and answers how many.
int drevActor_AvoidActor(qxVector3* out, int capacity, int count, Actor* actor, Actor* avoid,
                         const qxVector3* in);

// Geometry of the collisions (box space is the obstacle model's own space).
struct ActorBox {
  qxVector3 min;
  qxVector3 max;
};
int drevActor_GetBoxCorners(const ActorBox* box, float grow, const qxMatrix34* transform,
                            float height, qxVector3 corners[4], int valid[4]);
void drevActor_PushOutOfBox(qxVector3* point, const qxMatrix34* matrix, const ActorBox* box,
                            const qxVector3* origin);
int drevActor_SegmentHitsBox(const qxMatrix34* matrix, const qxVector3* origin,
                             const qxVector3* end, const qxVector3* start, float minX, float minY,
                             float maxX, float maxY, qxVector3* contact);
int drevActor_NearestCorner(const qxVector3 corners[4], const int valid[4], const qxVector3* start,
                            const qxVector3* goal);
int drevActor_CircleIntersect(qxVector3* first, qxVector3* second, const qxVector3* centreA,
                              const qxVector3* centreB, float radiusB, float radiusA);
int drevActor_TangentDetour(const qxVector3* previous, const qxVector3* obstacle, qxVector3* point,
                            float radius);
// contact (may be null) gets the point where the motion entered the box,
// whenever an entry side is found.
int drevActor_BoxSlide(const qxVector3* current, qxVector3* out, const qxVector3* previous,
                       const ActorBox* box, qxVector3* contact);
int drevActor_SegmentClear(const qxVector3* centreOffset, const qxMatrix34* obstacleTransform,
                           const qxVector3* obstacleOrigin, Actor* actor, const qxVector3* from,
                           const qxVector3* to, const ActorBox* box);
