// The actor module's own state, shared by its source files (and read by its
// tests), and the table of calls it makes into the set module and the
// scripts, which tests replace with fakes.
#pragma once

#include <vector>

#include "actors/drevActor.h"
#include "melos/Sounds.h"

struct Room;
struct RosterNode;
struct qxColormap;

struct drevActorCalls {
  Room* (*roomGetCurrent)(void);
  RosterNode* (*roomGetSetActors)(const char* setName);
  void (*roomRemoveActorFromSet)(const char* setName, Actor* actor);
  int (*callCollisionHandler)(int actor, int otherActor, const float oldPosition[3],
                              const float contact[3], const float newPosition[3]);
  void (*costumeDrawShadow)(CostumeNode* top, const ShadowSlot* shadow);
  qxColormap* (*costumeSetShadowColor)(int red, int green, int blue);
  // Talking: the music system's voice and speech sounds (named by file or by
  // id) and the set's positional sound.
  int (*soundStartSpeech)(SoundName file, int volume, int group);
  int (*soundStartVoice)(const char* file, int volume, int pan);
  int (*soundSetParam)(SoundName sound, int parameter, int value);
  int (*soundStop)(SoundName sound);
  void (*soundStopVoice)(void);
  int (*soundIsPlaying)(SoundName sound);
  uint32_t (*soundLipSyncShape)(int sound, int offset);
  int (*melosGetParam)(int sound, int parameter);
  int (*roomAddPositionalSound)(SoundName sound, const qxVector3* position, int minVolume,
                                int maxVolume, float range, float nearDistance);
};
drevActorCalls& drevActor_Calls(void);
void drevActor_ResetCalls(void);

struct ActorModule {
  HostServices* services = nullptr;
  int initialized = 0;
  int started = 0;
  // The table: block 0 holds ACTOR_TABLE_START records, every later block
  // ACTOR_TABLE_GROWTH. Blocks never move.
  std::vector<Actor*> blocks;
  int recordCount = 0;
  int inUseCount = 0;
  uint32_t tableSerial = 0;  // counts the tables made by startup
  int selected = -1;
  int talking[ACTOR_TALK_SLOTS] = {-1, -1, -1, -1};
  int talkingCount = 0;
  // Talk and chore settings (kept here, not saved with the table).
  int speechMode = 2;
  int textSpeed = 6;
  int walkFadeTime = 130;

  // The frame's collision list and the stuck watch.
  Actor* collisionList[ACTOR_COLLISION_MAX] = {};
  int collisionCount = 0;
  int collisionOverflowReported = 0;
  qxVector3 stuckRing[ACTOR_STUCK_RING] = {};
  int stuckWrite = 0;
  int stuckFill = 0;
  qxVector3 stuckWaypoint = {0, 0, 0};

  // Collisions: a box contact re-routed a walk this frame, the run of such
  // frames, and the three points of the last contact.
  int rerouted = 0;
  int boxRepeat = 0;
  int obstacleOverflowReported = 0;
  qxVector3 contactOld = {0, 0, 0};
  qxVector3 contactPoint = {0, 0, 0};
  qxVector3 contactNew = {0, 0, 0};
};
ActorModule& drevActor_State(void);
// Grows the table (in its blocks) to at least that many records; 0 when an
// allocation fails. The table never shrinks.
int drevActor_GrowTable(int records);

// Assertion through the services record, for the module's own invariants.
void drevActor_Assert(const char* message, int line);

// The mouth (0..9) that a lip-sync phoneme code shows: '_' is 0, a code
// outside the table 1. Mouth i plays talk chore i + 1.
int drevActor_LipShapeMouth(uint32_t code);
// Deletes the actor's walk frame, making none (the teardown's step).
void drevActor_DeleteWalkFrame(Actor* actor);
