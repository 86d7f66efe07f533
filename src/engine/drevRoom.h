// Sets: the set record, the set module and set switching, the set file and
// its companions, and the set's lights.
//
// A set is one place of the game world, read from a text set file (colormaps,
// camera setups with their background and depth images, lights, walk
// sectors) and kept as a "SET " resource. One set is current: its images and
// colormaps are bound, and every setup has a 3D camera with the set's lights.
// The module also keeps the rosters of actors per set name (they outlive the
// sets), places sounds in space relative to the current camera setup, and
// writes and reads the "ROMS" block of a saved game.
//
// Beside the set file a set may have a binary companion NAME.setx with the
// deferred renderer's lights, resolve points, shadow casters and Z shapes;
// without one, the cutscene lights come from NAME_lca.l3d (a text scene
// description). drevRoom_Lights.cpp animates the lights and answers the
// renderer's and the scripts' light queries.
//
// Main thread only; nothing here is locked.
#pragma once

#include <cstdint>
#include <string>

#include "engine/Res.h"
#include "engine/drevMain.h"
#include "melos/Sounds.h"
#include "quadrix/qxLight.h"
#include "quadrix/qxMatrix.h"
#include "quadrix/qxVector.h"

struct Actor;
struct DisplayBuffer;
struct ObjectState;
struct qxCamera;
struct qxThing;

constexpr int kRoomNameSize = 32;      // setup, image, colormap and light names
constexpr int kRoomSetNameSize = 256;  // the set's own name (254 characters)
constexpr int kRoomFilterSize = 256;   // setup filters of the companion file
constexpr int kRoomMaxLights = 64;     // set-file lights, and cutscene lights
constexpr int kRoomMaxRecords = 128;   // companion records of each kind
constexpr int kRoomMaxDynamicLights = 16;
constexpr int kRoomMaxSections = 32;

// ---- Records ----------------------------------------------------------------------

// One light of the set file (or of the cutscene list).
struct RoomLight {
  char name[kRoomNameSize];
  qxVector3 position;
  qxLight light;
};

// Seven values: first colour r, g, b; second colour r, g, b; intensity.
struct RoomLightColors {
  float first[3];
  float second[3];
  float intensity;
};

// A light of the deferred renderer, from the companion file or added per frame.
struct DeferredLight {
  char name[kRoomNameSize];
  uint32_t type;  // 3 and 4 scale the first extra parameter by 8 when read
  qxVector3 position;
  qxVector3 rotation;  // degrees
  qxVector3 size;
  float parameters[6];
  uint32_t animationMode;  // 0 none, 1 pulse, 2 flicker
  float animationRate;
  uint32_t flag;
  uint32_t secondFlag;
  float extra[4];
  uint32_t group;  // 0 = every group
  uint16_t filterLength;
  char filter[kRoomFilterSize];  // setups for which the light is switched on
  RoomLightColors a, b;
  RoomLightColors from, to, current;
  float period;
  float time;
  uint32_t enabled;
};

struct ResolvePoint {
  char name[kRoomNameSize];
  qxVector3 position;
  qxVector3 firstVector;
  qxVector3 secondVector;
  float values[4];
};

struct ShadowCaster {
  char name[kRoomNameSize];
  uint32_t type;
  qxVector3 position;
  qxVector3 rotation;  // degrees
  qxVector3 size;
  qxVector3 rotationRate;     // x 90 degrees per animation unit
  qxVector3 currentRotation;  // degrees, kept in [0, 360]
};

struct ZShape {
  char name[kRoomNameSize];
  uint32_t type;
  qxVector3 position;
  qxVector3 rotation;  // degrees
  qxVector3 size;
  uint32_t code;
  uint32_t value;
  uint16_t filterLength;
  char filter[kRoomFilterSize];
};

// One camera view of a set.
struct RoomSetup {
  char name[kRoomNameSize];
  qxVector3 position;
  qxVector3 interest;
  float roll;
  float fov;
  float nclip;
  float fclip;
  qxCamera* camera;                    // built at bind; null before
  qxThing* viewThing;                  // camera thing of the camera
  qxMatrix34 viewMatrix;               // look-at matrix; its x axis is the camera's right
  char backgroundName[kRoomNameSize];  // "<none>" = none
  char zbufferName[kRoomNameSize];     // empty or "<none>" = none
  ResourceRef background;              // "BKND" (a Bitmap)
  ResourceRef zbuffer;                 // "ZBUF" (a DisplayBuffer)
  ObjectState* objectStates;           // head of the list, drawn first
};

// The actors placed in one set name; exists whether or not the set is loaded.
struct RosterNode {
  uint32_t actor;  // actor index
  RosterNode* prev;
  RosterNode* next;
};

struct SetRoster {
  char name[kRoomSetNameSize];
  RosterNode* head;  // newest first
  SetRoster* next;
};

struct Room {
  char name[kRoomSetNameSize];  // file-name part of the set's path
  ResourceRef* apColormaps;     // null until the colormaps section allocates it
  uint32_t numColormaps;
  uint32_t currentColormap;
  char colormapName[kRoomNameSize];  // one name for all entries; "<none>" = default
  RoomSetup* setups;
  uint32_t numSetups;
  uint32_t currentSetup;
  uint32_t numLights;
  RoomLight lights[kRoomMaxLights];
  uint32_t numCutsceneLights;
  RoomLight cutsceneLights[kRoomMaxLights];
  uint32_t companionStamp;
  char companionName[kRoomNameSize];
  uint32_t numDeferredLights;
  DeferredLight deferredLights[kRoomMaxRecords];
  uint32_t numFlaggedLights;
  uint32_t lightGroup;
  DeferredLight dynamicLights[kRoomMaxDynamicLights];
  uint32_t numDynamicLights;
  uint32_t numResolvePoints;
  ResolvePoint resolvePoints[kRoomMaxRecords];
  uint32_t numShadowCasters;
  ShadowCaster shadowCasters[kRoomMaxRecords];
  uint32_t numZShapes;
  ZShape zShapes[kRoomMaxRecords];
  SetRoster* roster;
  ResourceRef lockRef;  // valid while the scripts hold the set locked
  uint32_t memorySize;
  uint8_t minVolume;
  uint8_t maxVolume;
  float range;
  float panFactor;
  float nearDistance;
};

// ---- Module -----------------------------------------------------------------------

int drevRoom_Initialize(HostServices* services, ModuleDescriptor* descriptor);
void drevRoom_Uninitialize(void);
// 0 when started, 1 when it was started already.
int drevRoom_Startup(void);
void drevRoom_Shutdown(void);
// The "ROMS" block: 0 on success, 1 on failure.
int drevRoom_Save(SaveTransferFn write);
int drevRoom_Restore(SaveTransferFn read);

// ---- Set lifetime (the "SET " type loader) ----------------------------------------

Room* drevRoom_Create(const char* path);
void drevRoom_Destroy(Room* room);
void drevRoom_DestroyContents(Room* room);
int drevRoom_ReadInto(const char* path, Room* room);

// ---- Current set ------------------------------------------------------------------

// The name argument is not used.
void drevRoom_MakeCurrent(Room* room, const char* name);
Room* drevRoom_GetCurrent(void);
const char* drevRoom_GetCurrentName(void);
// Copies the current setup's name (at most 31 characters) into the buffer
// of kRoomNameSize bytes and answers that setup; without a current set an
// empty name and null.
RoomSetup* drevRoom_GetCurrentSetupName(char* buffer);
int drevRoom_BindResources(Room* room);
void drevRoom_ReleaseResources(Room* room);
DisplayBuffer* drevRoom_GetSetupBackground(Room* room, int setup);
DisplayBuffer* drevRoom_GetSetupZBuffer(Room* room, int setup);

// ---- Positional sound -------------------------------------------------------------

void drevRoom_SetSoundParameters(Room* room, float range, int minVolume, int maxVolume,
                                 float panFactor, float nearDistance);
void drevRoom_GetSoundParameters(Room* room, float* range, int* minVolume, int* maxVolume,
                                 float* panFactor, float* nearDistance);
// 1 when placed, 0 when the sound does not play.
int drevRoom_AddPositionalSound(SoundName sound, const qxVector3* position, int minVolume,
                                int maxVolume, float range, float nearDistance);
void drevRoom_UpdatePositionalSounds(void);

// ---- Rosters ----------------------------------------------------------------------

void drevRoom_PutActorInSet(const char* setName, Actor* actor);
void drevRoom_RemoveActorFromSet(const char* setName, Actor* actor);
RosterNode* drevRoom_GetSetActors(const char* setName);

// ---- Depth images (the "ZBUF" type loader) ----------------------------------------

DisplayBuffer* drevRoom_LoadZBufferImage(const char* name);
void drevRoom_FreeZBufferImage(DisplayBuffer* buffer);

// ---- Set files (drevRoom_SetFile.cpp) ---------------------------------------------

using SetSectionReader = int (*)(void);
// 1, or 0 when the table is full; a name already there gets the new reader.
int drevRoom_RegisterSection(const char* name, SetSectionReader reader);
int drevRoom_FindSection(const char* name);
int drevRoom_RunSection(const char* name);
// The set being loaded, which the section readers fill.
Room* drevRoom_GetLoadingRoom(void);
void drevRoom_SetLoadingRoom(Room* room);
// Reads a set file into the set being loaded, then its companion.
int drevRoom_ReadSetFile(const char* path);
int drevRoom_ReadSetx(const char* path, Room* room, int* readFlag);
int drevRoom_ReadL3dLights(const char* path, Room* room);
int drevRoom_WriteSetFile(const char* path, Room* room);
// Setups from the first camera of a scene description; answers how many.
int drevRoom_ImportCameras(const char* path, Room* room);
// The section readers registered at startup.
int drevRoom_ReadColormapsSection(void);
int drevRoom_ReadSetupsSection(void);
int drevRoom_ReadLightsSection(void);
int drevRoom_ReadSectorsSection(void);
// The text of a set file's lights section (the set writer and the light
// manager's rewrite share it).
std::string drevRoom_LightsSectionText(const Room* room);

// ---- Lights (drevRoom_Lights.cpp) -------------------------------------------------

RoomLight* drevRoom_GetLight(Room* room, int index);
int drevRoom_FindLight(Room* room, const char* name);
int drevRoom_IsLightOnByName(const char* name, int* on);

int drevRoom_CountCutsceneLights(void);
int drevRoom_GetCutsceneLight(int index, int* type, qxVector3* position, qxVector3* direction,
                              qxVector3* color, float* value1, float* value2, float* cosInner,
                              float* cosOuter);

int drevRoom_CountDeferredLights(void);
int drevRoom_CountFlaggedDeferredLights(void);
int drevRoom_GetDeferredLight(int index, uint32_t type, qxVector3* position, qxMatrix34* box,
                              qxVector3* firstColor, qxVector3* secondColor, float parameters[6],
                              uint32_t* flag, uint32_t* secondFlag, float* extra1, float* extra2,
                              float* sizeX2, float* sizeY2, float* sizeZ2, float* extra3,
                              float* extra4, uint32_t* enabled);
void drevRoom_AddDynamicLight(const char* name, uint32_t type, const qxVector3* position,
                              const qxVector3* rotation, const qxVector3* size,
                              const float parameters[6], uint32_t animationMode,
                              float animationRate, const qxVector3* aFirst,
                              const qxVector3* aSecond, float aIntensity, const qxVector3* bFirst,
                              const qxVector3* bSecond, float bIntensity, uint32_t flag,
                              uint32_t secondFlag, const float extra[4]);
void drevRoom_AddDynamicLightDefault(const char* name, uint32_t type, const qxVector3* position,
                                     const qxVector3* rotation, const qxVector3* size,
                                     const float parameters[6], uint32_t animationMode,
                                     float animationRate, const qxVector3* aFirst,
                                     const qxVector3* aSecond, float aIntensity,
                                     const qxVector3* bFirst, const qxVector3* bSecond,
                                     float bIntensity);
void drevRoom_SetLightGroup(uint32_t group);
void drevRoom_SelectSetupLights(void);
void drevRoom_SetDeferredLightEnabled(int index, uint32_t value);
int drevRoom_AnimateLights(void);
int drevRoom_DebugQuery1(void);
int drevRoom_DebugQuery2(void);
int drevRoom_DebugQuery3(void);

int drevRoom_FindNearestResolvePoint(qxVector3* firstVector, qxVector3* secondVector, float* value1,
                                     float* value2, float* value3, float* value4);
int drevRoom_CountShadowCasters(void);
int drevRoom_CountZShapes(void);
int drevRoom_GetShadowCaster(int index, uint32_t type, qxVector3* position, qxMatrix34* box);
int drevRoom_GetZShape(int index, uint32_t type, uint32_t code, uint32_t* value,
                       qxVector3* position, qxMatrix34* box);
int drevRoom_IsInvSet(void);

// The light animation's random source: R() = (next value mod 10001) / 10000.
void drevRoom_SeedLightRandom(uint32_t seed);

// ---- Calls out of the set module --------------------------------------------------
//
// The set module and the object states reach the music system, the actors and
// the render module through this table, set to their functions; tests put
// recording fakes in place and restore it with drevRoom_ResetCalls.
struct drevRoomCalls {
  int (*soundIsPlaying)(SoundName name);
  int (*soundSetParam)(SoundName name, int parameter, int value);
  void (*soundFillStreams)(void);
  Actor* (*actorFromIndex)(int index);
  int (*actorToIndex)(const Actor* actor);
  void (*actorClearShadows)(Actor* actor);
  void (*actorUpdateAll)(float seconds);
  void (*renderInvalidateRect)(const int* rect, int restore);
  void (*renderPrepareBackground)(DisplayBuffer* packedFrame);
};

drevRoomCalls& drevRoom_Calls(void);
void drevRoom_ResetCalls(void);
