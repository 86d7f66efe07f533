// Sets: the module, set lifetime, the current set and its binding, positional
// sound, rosters, depth images and the "ROMS" save block.
#include "engine/drevRoom.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

#include "engine/ActorRecord.h"
#include "engine/ObjectState.h"
#include "engine/Pathfinder.h"
#include "engine/WalkPlane.h"
#include "engine/drevResource.h"
#include "engine/drevRoom_Internal.h"
#include "engine/hotspots.h"
#include "melos/Sounds.h"
#include "platform/kv_Log.h"
#include "platform/stdByteOrder.h"
#include "quadrix/qxCamera.h"
#include "quadrix/qxThing.h"
#include "std/std.h"
#include "std/stdBitmap.h"
#include "std/stdDisplay.h"
#include "std/stdMemory.h"

namespace {

constexpr char kDefaultColormap[] = "dfltcmp.cmp";
constexpr char kDefaultBackground[] = "dfltroom.bm";
constexpr char kNone[] = "<none>";

constexpr int kSoundVolume = 1536;
constexpr int kSoundPan = 1792;

// Object states a saved setup may hold; more is not a save of ours.
constexpr uint32_t kMaxSavedStates = 4096;

// A sound placed in space; the music system knows it by its name.
struct PositionalSound {
  PositionalSound* next;
  char soundName[64];   // the sound's file name, or
  int32_t soundNumber;  // its id when named by number
  SoundName Sound() const {
    return soundName[0] ? SoundName(soundName) : SoundName(static_cast<int>(soundNumber));
  }
  qxVector3 position;
  uint32_t minVolume;
  uint32_t maxVolume;
  float range;
  float nearDistance;
};

struct RoomModule {
  HostServices* services = nullptr;
  int initialized = 0;
  int started = 0;
  ResourceRef current{};
  char currentName[kRoomNameSize] = {};
  SetRoster* rosters = nullptr;
  PositionalSound* sounds = nullptr;
  MemoryPool* soundPool = nullptr;
};
RoomModule g;

HostServices* Services() {
  return g.services ? g.services : std_pHS;
}

// ---- Calls out --------------------------------------------------------------------

drevRoomCalls gCalls{};
drevRoomCalls gInstalled{};

// ---- Small helpers ----------------------------------------------------------------

RoomSetup* SetupOf(Room* room, int index) {
  if (!room || !room->setups || index < 0 || static_cast<uint32_t>(index) >= room->numSetups)
    return nullptr;
  return &room->setups[index];
}

RoomSetup* CurrentSetup(Room* room) {
  return room ? SetupOf(room, static_cast<int>(room->currentSetup)) : nullptr;
}

// Binds a setup's background: the named one, else "dfltroom.bm" (which then
// also drops the setup's depth image). 0 when even the default is missing.
int BindBackground(RoomSetup* setup) {
  if (setup->background.valid) {
    Res_Touch(setup->background.object);
    return 1;
  }
  if (strcasecmp(setup->backgroundName, kNone) != 0) {
    if (void* bitmap = drevResource_Get("BKND", setup->backgroundName))
      RES_ADDREF(&setup->background, bitmap);
  }
  if (!setup->background.valid) {
    if (void* bitmap = drevResource_Get("BKND", kDefaultBackground))
      RES_ADDREF(&setup->background, bitmap);
    if (!setup->background.valid) return 0;
    kv_Log_Printf("[Room] - setup %s: background %s not found, using %s", setup->name,
                  setup->backgroundName, kDefaultBackground);
    std::strcpy(setup->backgroundName, kNone);
    setup->zbufferName[0] = '\0';
    return 1;
  }
  kv_Log_Printf("[Room] - setup %s: background %s loaded", setup->name, setup->backgroundName);
  return 1;
}

int BindColormaps(Room* room) {
  // A set without a colormaps section has no array; the set switch refuses
  // such a set, and nothing here may touch the missing array.
  if (!room->apColormaps) return 1;
  for (uint32_t i = 0; i < room->numColormaps; ++i) {
    ResourceRef& ref = room->apColormaps[i];
    if (ref.valid) {
      Res_Touch(ref.object);
      continue;
    }
    if (strcasecmp(room->colormapName, kNone) != 0) {
      if (void* colormap = drevResource_Get("CMAP", room->colormapName)) RES_ADDREF(&ref, colormap);
    }
    const char* name = room->colormapName;
    if (!ref.valid) {
      if (void* colormap = drevResource_Get("CMAP", kDefaultColormap)) RES_ADDREF(&ref, colormap);
      name = kDefaultColormap;
    }
    if (!ref.valid) return 0;
    kv_Log_Printf("[Room] - %s: colormap %s loaded", room->name, name);
  }
  return 1;
}

int BuildSetupCamera(Room* room, RoomSetup* setup) {
  if (setup->camera) return 1;
  setup->camera = qxCamera_New(setup->fov, 1, setup->nclip, setup->fclip, 1.0f);
  if (!setup->camera) return 0;
  setup->viewThing = qxThing_New(0);
  if (setup->viewThing) qxThing_SetCamera(setup->viewThing, setup->camera);
  qxMatrix34_BuildLookAt(&setup->viewMatrix, &setup->position, &setup->interest, setup->roll);
  for (uint32_t i = 0; i < room->numLights && i < static_cast<uint32_t>(kRoomMaxLights); ++i) {
    RoomLight& light = room->lights[i];
    qxLight_SetSpotAngles(&light.light, light.light.innerAngle, light.light.outerAngle);
    qxCamera_AddLight(setup->camera, &light.light, &light.position);
  }
  return 1;
}

void FreeSetups(Room* room) {
  if (room->setups) {
    for (uint32_t i = 0; i < room->numSetups; ++i) {
      RoomSetup& setup = room->setups[i];
      qxThing_Free(setup.viewThing);
      setup.viewThing = nullptr;
      qxCamera_Free(setup.camera);
      setup.camera = nullptr;
      setup.objectStates = nullptr;
    }
    Services()->memFree(room->setups);
  }
  room->setups = nullptr;
  room->numSetups = 0;
}

// ---- Positional sound -------------------------------------------------------------

void PruneSounds() {
  PositionalSound** link = &g.sounds;
  while (PositionalSound* s = *link) {
    if (!gCalls.soundIsPlaying(s->Sound())) {
      *link = s->next;
      Memory_PoolFree(s);
    } else {
      link = &s->next;
    }
  }
}

int UpdateSound(const PositionalSound* s) {
  Room* room = drevRoom_GetCurrent();
  RoomSetup* setup = CurrentSetup(room);
  if (!setup) return 0;
  qxVector3 d;
  qxVector3_Sub(&d, &s->position, &setup->position);
  const float distance = qxVector3_NormalizeFastInPlace(&d);
  const float beyond = distance - s->nearDistance;
  if (beyond >= 0.0f) {
    // Inside the near distance the volume stays as it is.
    const int minimum = static_cast<int>(s->minVolume);
    const int maximum = static_cast<int>(s->maxVolume);
    int volume = minimum;  // a range of 0 or less: the minimum beyond the near distance
    if (s->range > 0.0f) {
      volume =
          static_cast<int>(static_cast<float>(maximum - minimum) / s->range * (s->range - beyond) +
                           static_cast<float>(minimum));
    }
    volume = std::max(minimum, std::min(maximum, volume));
    gCalls.soundSetParam(s->Sound(), kSoundVolume, volume);
  }
  float side = qxVector3_Dot(&setup->viewMatrix.x, &d) * room->panFactor;
  side = std::max(-1.0f, std::min(1.0f, side));
  const int pan = std::min(127, static_cast<int>((side + 1.0f) * 64.0f));
  gCalls.soundSetParam(s->Sound(), kSoundPan, pan);
  return 1;
}

// ---- Rosters ----------------------------------------------------------------------

SetRoster* FindRoster(const char* name) {
  if (!name) return nullptr;
  for (SetRoster* r = g.rosters; r; r = r->next)
    if (strcasecmp(r->name, name) == 0) return r;
  return nullptr;
}

SetRoster* NewRoster(const char* name) {
  auto* roster =
      static_cast<SetRoster*>(Services()->memAlloc(sizeof(SetRoster), __FILE__, __LINE__));
  if (!roster) return nullptr;
  std::memset(roster, 0, sizeof *roster);
  Room_CopyName(roster->name, sizeof roster->name, name, "roster name");
  roster->next = g.rosters;
  g.rosters = roster;
  return roster;
}

void UnlinkNode(SetRoster* roster, RosterNode* node) {
  if (node->prev)
    node->prev->next = node->next;
  else
    roster->head = node->next;
  if (node->next) node->next->prev = node->prev;
  Services()->memFree(node);
}

void FreeRoster(SetRoster* roster) {
  while (roster->head) UnlinkNode(roster, roster->head);
  for (SetRoster** link = &g.rosters; *link; link = &(*link)->next) {
    if (*link == roster) {
      *link = roster->next;
      break;
    }
  }
  Services()->memFree(roster);
}

RosterNode* FindNode(SetRoster* roster, int index) {
  for (RosterNode* n = roster->head; n; n = n->next)
    if (static_cast<int>(n->actor) == index) return n;
  return nullptr;
}

void RemoveFromRoster(SetRoster* roster, Actor* actor) {
  actor->drawn = 0;
  RosterNode* node = FindNode(roster, gCalls.actorToIndex(actor));
  if (!node) return;
  if (actor->pExtra && actor->pExtra->walkFrame) actor->pExtra->walkFrame->sector = nullptr;
  UnlinkNode(roster, node);
  actor->setName[0] = '\0';
}

// ---- Save transfer ----------------------------------------------------------------
//
// Every field goes through the transfer function little-endian, field by field.

bool Transfer(SaveTransferFn fn, void* data, size_t length) {
  return fn(data, length) == 0;
}

bool PutU32(SaveTransferFn write, uint32_t value) {
  uint8_t bytes[4];
  stdLE_PutU32(bytes, value);
  return Transfer(write, bytes, sizeof bytes);
}

bool GetU32(SaveTransferFn read, uint32_t* value) {
  uint8_t bytes[4];
  if (!Transfer(read, bytes, sizeof bytes)) return false;
  *value = stdLE_GetU32(bytes);
  return true;
}

bool PutF32(SaveTransferFn write, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return PutU32(write, bits);
}

bool GetF32(SaveTransferFn read, float* value) {
  uint32_t bits;
  if (!GetU32(read, &bits)) return false;
  std::memcpy(value, &bits, sizeof bits);
  return true;
}

uint32_t CountStates(const RoomSetup& setup) {
  uint32_t n = 0;
  for (ObjectState* s = setup.objectStates; s; s = s->next) ++n;
  return n;
}

int32_t BitmapFrame(const ObjectStateImage& part) {
  if (!part.bitmapRef.valid || !part.bitmapRef.object) return -1;
  return static_cast<Bitmap*>(part.bitmapRef.object)->currentFrame;
}

bool SaveSet(SaveTransferFn write, Room* room) {
  if (!PutU32(write, Res_SavedIdOf(room)) || !PutU32(write, 0) ||
      !PutU32(write, room->currentSetup) || !PutU32(write, room->lockRef.valid ? 1 : 0))
    return false;
  for (uint32_t i = 0; i < room->numSetups; ++i) {
    if (!PutU32(write, CountStates(room->setups[i]))) return false;
    for (ObjectState* s = room->setups[i].objectStates; s; s = s->next) {
      char stateName[kRoomNameSize] = {};
      char zName[kRoomNameSize] = {};
      std::memcpy(stateName, s->stateImage.bitmapName, sizeof stateName - 1);
      std::memcpy(zName, s->zImage.bitmapName, sizeof zName - 1);
      // A state image that is not bound is saved as hidden.
      if (!PutU32(write, static_cast<uint32_t>(s->kind)) ||
          !Transfer(write, stateName, sizeof stateName) || !Transfer(write, zName, sizeof zName) ||
          !PutU32(write, static_cast<uint32_t>(s->stateImage.drawFlag)) ||
          !PutU32(write, static_cast<uint32_t>(BitmapFrame(s->stateImage))) ||
          !PutU32(write, static_cast<uint32_t>(s->zImage.currentIndex)))
        return false;
    }
  }
  return true;
}

int RestoreFail(const char* why) {
  kv_Log_Printf("[Room] - restore failed: %s", why);
  return 1;
}

// Reads one set's record of the block and rebuilds its object states.
int RestoreSet(SaveTransferFn read) {
  uint32_t id[2];
  if (!GetU32(read, &id[0]) || !GetU32(read, &id[1])) return RestoreFail("short block");
  auto* room = static_cast<Room*>(Res_FindBySavedId(id[0], id[1]));
  if (!room || Res_RecordOf(room)->tag != Res_Tag("SET "))
    return RestoreFail("a saved set is not loaded");
  uint32_t setup;
  if (!GetU32(read, &setup)) return RestoreFail("short block");
  if (room->numSetups ? setup >= room->numSetups : setup != 0)
    return RestoreFail("setup index outside the set");
  room->currentSetup = setup;
  Res_ReleaseRef(&g.current);
  RES_ADDREF(&g.current, room);
  if (!g.current.valid) return RestoreFail("the set is not a resource");
  if (!drevRoom_BindResources(room)) kv_Log_Printf("[Room] - %s: binding failed", room->name);
  Room_CopyName(g.currentName, sizeof g.currentName, room->name, "set name");
  uint32_t locked;
  if (!GetU32(read, &locked)) return RestoreFail("short block");
  if (locked && !room->lockRef.valid) RES_ADDREF(&room->lockRef, room);
  for (uint32_t i = 0; i < room->numSetups; ++i) {
    uint32_t count;
    if (!GetU32(read, &count)) return RestoreFail("short block");
    if (count > kMaxSavedStates) return RestoreFail("object-state count out of range");
    for (uint32_t k = 0; k < count; ++k) {
      uint32_t kind, drawFlag, frame, zIndex;
      char stateName[kRoomNameSize], zName[kRoomNameSize];
      if (!GetU32(read, &kind) || !Transfer(read, stateName, sizeof stateName) ||
          !Transfer(read, zName, sizeof zName) || !GetU32(read, &drawFlag) ||
          !GetU32(read, &frame) || !GetU32(read, &zIndex))
        return RestoreFail("short block");
      if (kind < 1 || kind > 3) return RestoreFail("object-state kind out of range");
      stateName[kRoomNameSize - 1] = '\0';
      zName[kRoomNameSize - 1] = '\0';
      const int flag = static_cast<int32_t>(drawFlag) < 0 ? 0 : static_cast<int>(drawFlag);
      ObjectState* state =
          ObjectState_Create(static_cast<int>(i), static_cast<int>(kind), stateName, zName, flag);
      if (!state) return RestoreFail("no memory for an object state");
      if (state->stateImage.bitmapRef.valid)
        static_cast<Bitmap*>(state->stateImage.bitmapRef.object)->currentFrame =
            static_cast<int32_t>(frame);
      if (state->zImage.bitmapRef.valid)
        static_cast<Bitmap*>(state->zImage.bitmapRef.object)->currentFrame =
            static_cast<int32_t>(zIndex);
      // Created at the head; the saved order is head first.
      room->setups[i].objectStates = ObjectState_SendToFront(state, room->setups[i].objectStates);
    }
  }
  return 0;
}

// ---- Module -----------------------------------------------------------------------

int Startup() {
  return drevRoom_Startup();
}

}  // namespace

// ---- Shared with the other parts of the module --------------------------------------

bool Room_CopyName(char* destination, size_t size, const char* source, const char* what) {
  if (!destination || size == 0) return false;
  if (!source) source = "";
  const size_t length = std::strlen(source);
  const size_t kept = std::min(length, size - 1);
  std::memcpy(destination, source, kept);
  destination[kept] = '\0';
  if (kept < length) {
    kv_Log_Printf("[Room] - %s \"%s\" is longer than %d characters: cut to \"%s\"", what, source,
                  static_cast<int>(size - 1), destination);
    return false;
  }
  return true;
}

HostServices* Room_Services(void) {
  return Services();
}

// ---- Module -------------------------------------------------------------------------

int drevRoom_Initialize(HostServices* services, ModuleDescriptor* descriptor) {
  g.services = services;
  g.current = ResourceRef{};
  g.currentName[0] = '\0';
  g.initialized = 1;
  if (descriptor) {
    descriptor->initialize = drevRoom_Initialize;
    descriptor->uninitialize = drevRoom_Uninitialize;
    descriptor->startup = Startup;
    descriptor->shutdown = drevRoom_Shutdown;
    descriptor->save = drevRoom_Save;
    descriptor->restore = drevRoom_Restore;
  }
  return 0;
}

void drevRoom_Uninitialize(void) {
  g.services = nullptr;
  g.initialized = 0;
}

int drevRoom_Startup(void) {
  if (g.started) return 1;
  drevRoom_RegisterSection("colormaps", drevRoom_ReadColormapsSection);
  drevRoom_RegisterSection("setups", drevRoom_ReadSetupsSection);
  drevRoom_RegisterSection("lights", drevRoom_ReadLightsSection);
  drevRoom_RegisterSection("sectors", drevRoom_ReadSectorsSection);
  g.soundPool = Memory_PoolCreate(sizeof(PositionalSound), 16, 8);
  g.started = 1;
  return 0;
}

void drevRoom_Shutdown(void) {
  while (g.rosters) FreeRoster(g.rosters);
  if (g.soundPool) Memory_PoolDestroy(g.soundPool);
  g.soundPool = nullptr;
  g.sounds = nullptr;
  g.started = 0;
}

// ---- Set lifetime -------------------------------------------------------------------

Room* drevRoom_Create(const char* path) {
  if (!path) return nullptr;
  auto* room = static_cast<Room*>(Services()->memAlloc(sizeof(Room), __FILE__, __LINE__));
  if (!room) return nullptr;
  std::memset(room, 0, sizeof *room);
  std::strcpy(room->colormapName, kNone);
  room->memorySize = sizeof(Room);
  Room* const previous = drevRoom_GetLoadingRoom();
  drevRoom_SetLoadingRoom(room);
  Room_CopyName(room->name, kRoomSetNameSize - 1, Room_FileNamePart(path), "set name");
  const int ok = drevRoom_ReadSetFile(path);
  drevRoom_SetLoadingRoom(previous);
  if (!ok) {
    kv_Log_Printf("[Room] - cannot load set %s", path);
    drevRoom_DestroyContents(room);
    Services()->memFree(room);
    return nullptr;
  }
  // The roster of the name the set is known by (actors are put into sets by
  // that name).
  room->roster = FindRoster(path);
  if (!room->roster) room->roster = NewRoster(path);
  // Actors already placed in this set walk on its sectors again.
  for (RosterNode* n = room->roster ? room->roster->head : nullptr; n; n = n->next) {
    Actor* actor = gCalls.actorFromIndex(static_cast<int>(n->actor));
    if (actor && actor->pExtra && actor->pExtra->walkFrame && actor->pExtra->followBoxes)
      WalkFrame_AttachToSector(actor->pExtra->walkFrame);
  }
  return room;
}

void drevRoom_DestroyContents(Room* room) {
  if (!room) return;
  // A set that goes away holds nothing, locked or not.
  Res_ReleaseRef(&room->lockRef);
  drevRoom_ReleaseResources(room);
  if (room->apColormaps) Services()->memFree(room->apColormaps);
  room->apColormaps = nullptr;
  room->numColormaps = 0;
  FreeSetups(room);
  WalkPlane_FreeSetSectors(room->name);
  if (SetRoster* roster = room->roster) {
    while (RosterNode* head = roster->head) {
      Actor* actor = gCalls.actorFromIndex(static_cast<int>(head->actor));
      if (actor) {
        gCalls.actorClearShadows(actor);
        RemoveFromRoster(roster, actor);
      }
      // An actor that cannot be reached (or stays in) still leaves the roster.
      if (roster->head == head) UnlinkNode(roster, head);
    }
    FreeRoster(roster);
    room->roster = nullptr;
  }
}

void drevRoom_Destroy(Room* room) {
  if (!room) return;
  drevRoom_DestroyContents(room);
  Services()->memFree(room);
}

int drevRoom_ReadInto(const char* path, Room* room) {
  if (!path || !room) return 0;
  Room_CopyName(room->name, kRoomSetNameSize - 1, Room_FileNamePart(path), "set name");
  Room* const previous = drevRoom_GetLoadingRoom();
  drevRoom_SetLoadingRoom(room);
  const int ok = drevRoom_ReadSetFile(path);
  drevRoom_SetLoadingRoom(previous);
  return ok;
}

// ---- Current set --------------------------------------------------------------------

void drevRoom_MakeCurrent(Room* room, const char*) {
  if (g.current.valid) {
    if (g.current.object == room) return;
    drevRoom_ReleaseResources(static_cast<Room*>(g.current.object));
    Res_ReleaseRef(&g.current);
    g.currentName[0] = '\0';
  }
  g.current = ResourceRef{};
  if (!room) return;
  kv_Log_Printf("[Room] - setting room to %s", room->name);
  RES_ADDREF(&g.current, room);
  if (!g.current.valid) {
    kv_Log_Printf("[Room] - %s is not a loaded set: no set is current", room->name);
    return;
  }
  if (!drevRoom_BindResources(room)) {
    kv_Log_Printf(
        "[Room] - %s: a default colormap or background is missing; the set is "
        "partly bound",
        room->name);
  }
  Room_CopyName(g.currentName, sizeof g.currentName, room->name, "set name");
  drevRoom_SetSoundParameters(room, 8.0f, 20, 127, 1.5f, 0.8f);
  gCalls.actorUpdateAll(0.0f);
}

Room* drevRoom_GetCurrent(void) {
  return g.current.valid ? static_cast<Room*>(g.current.object) : nullptr;
}

const char* drevRoom_GetCurrentName(void) {
  return g.currentName;
}

RoomSetup* drevRoom_GetCurrentSetupName(char* buffer) {
  RoomSetup* setup = CurrentSetup(drevRoom_GetCurrent());
  if (buffer) {
    buffer[0] = '\0';
    if (setup) Room_CopyName(buffer, kRoomNameSize, setup->name, "setup name");
  }
  return setup;
}

int drevRoom_BindResources(Room* room) {
  if (!room) return 0;
  room->memorySize = sizeof(Room);
  gCalls.soundFillStreams();
  if (!BindColormaps(room)) return 0;
  for (uint32_t i = 0; room->setups && i < room->numSetups; ++i) {
    RoomSetup* setup = &room->setups[i];
    if (!BindBackground(setup)) return 0;
    if (setup->zbufferName[0] && std::strcmp(setup->zbufferName, kNone) != 0) {
      if (!setup->zbuffer.valid) {
        if (void* zbuffer = drevResource_Get("ZBUF", setup->zbufferName)) {
          RES_ADDREF(&setup->zbuffer, zbuffer);
          kv_Log_Printf("[Room] - setup %s: depth image %s loaded", setup->name,
                        setup->zbufferName);
        }
      }
      if (setup->zbuffer.valid) Res_Touch(setup->zbuffer.object);
    }
    if (!BuildSetupCamera(room, setup)) return 0;
  }
  return 1;
}

void drevRoom_ReleaseResources(Room* room) {
  if (!room || room->lockRef.valid) return;
  for (uint32_t i = 0; room->apColormaps && i < room->numColormaps; ++i)
    Res_ReleaseRef(&room->apColormaps[i]);
  for (uint32_t i = 0; room->setups && i < room->numSetups; ++i) {
    RoomSetup& setup = room->setups[i];
    Res_ReleaseRef(&setup.background);
    Res_ReleaseRef(&setup.zbuffer);
    while (setup.objectStates) ObjectState_Free(setup.objectStates);
  }
}

DisplayBuffer* drevRoom_GetSetupBackground(Room* room, int index) {
  RoomSetup* setup = SetupOf(room, index);
  if (!setup || !BindBackground(setup)) return nullptr;
  auto* bitmap = static_cast<Bitmap*>(setup->background.object);
  if (!bitmap || !bitmap->frames || bitmap->frameCount <= 0) return nullptr;
  int frame = bitmap->currentFrame;
  if (frame < 0 || frame >= bitmap->frameCount) frame = 0;
  return bitmap->frames[frame];
}

DisplayBuffer* drevRoom_GetSetupZBuffer(Room* room, int index) {
  RoomSetup* setup = SetupOf(room, index);
  if (!setup) return nullptr;
  if (setup->zbuffer.valid) {
    Res_Touch(setup->zbuffer.object);
  } else if (setup->zbufferName[0] && std::strcmp(setup->zbufferName, kNone) != 0) {
    if (void* zbuffer = drevResource_Get("ZBUF", setup->zbufferName))
      RES_ADDREF(&setup->zbuffer, zbuffer);
  }
  return setup->zbuffer.valid ? static_cast<DisplayBuffer*>(setup->zbuffer.object) : nullptr;
}

// ---- Positional sound ---------------------------------------------------------------

void drevRoom_SetSoundParameters(Room* room, float range, int minVolume, int maxVolume,
                                 float panFactor, float nearDistance) {
  if (!room) return;
  room->range = range;
  room->minVolume = static_cast<uint8_t>(std::clamp(minVolume, 0, 255));
  room->maxVolume = static_cast<uint8_t>(std::clamp(maxVolume, 0, 255));
  room->panFactor = panFactor;
  room->nearDistance = nearDistance;
}

void drevRoom_GetSoundParameters(Room* room, float* range, int* minVolume, int* maxVolume,
                                 float* panFactor, float* nearDistance) {
  if (!room) return;
  if (range) *range = room->range;
  if (minVolume) *minVolume = room->minVolume;
  if (maxVolume) *maxVolume = room->maxVolume;
  if (panFactor) *panFactor = room->panFactor;
  if (nearDistance) *nearDistance = room->nearDistance;
}

int drevRoom_AddPositionalSound(SoundName sound, const qxVector3* position, int minVolume,
                                int maxVolume, float range, float nearDistance) {
  if ((!sound.text && !sound.number) || !position || !gCalls.soundIsPlaying(sound)) return 0;
  PruneSounds();
  if (!g.soundPool) return 0;
  auto* s = static_cast<PositionalSound*>(Memory_PoolAlloc(g.soundPool));
  if (!s) return 0;
  s->soundName[0] = 0;
  s->soundNumber = sound.number;
  if (sound.text) Room_CopyName(s->soundName, sizeof s->soundName, sound.text, "sound name");
  s->position = *position;
  s->minVolume = static_cast<uint32_t>(std::max(0, minVolume));
  s->maxVolume = static_cast<uint32_t>(std::max(0, maxVolume));
  s->range = range;
  s->nearDistance = nearDistance;
  s->next = g.sounds;
  g.sounds = s;
  UpdateSound(s);
  return 1;
}

void drevRoom_UpdatePositionalSounds(void) {
  PruneSounds();
  for (PositionalSound* s = g.sounds; s; s = s->next) UpdateSound(s);
}

// ---- Rosters ------------------------------------------------------------------------

void drevRoom_PutActorInSet(const char* setName, Actor* actor) {
  if (!actor) return;
  if (setName && std::strcmp(setName, actor->setName) == 0) return;
  if (actor->setName[0]) {
    char old[sizeof actor->setName];
    std::memcpy(old, actor->setName, sizeof old);
    drevRoom_RemoveActorFromSet(old, actor);
  }
  if (!setName) {
    actor->drawn = 0;
    return;
  }
  SetRoster* roster = FindRoster(setName);
  if (!roster) roster = NewRoster(setName);
  const int index = gCalls.actorToIndex(actor);
  if (!roster || index < 0 || FindNode(roster, index)) return;
  auto* node =
      static_cast<RosterNode*>(Services()->memAlloc(sizeof(RosterNode), __FILE__, __LINE__));
  if (!node) return;
  node->actor = static_cast<uint32_t>(index);
  node->prev = nullptr;
  node->next = roster->head;
  if (roster->head) roster->head->prev = node;
  roster->head = node;
  Room_CopyName(actor->setName, sizeof actor->setName, setName, "set name");
}

void drevRoom_RemoveActorFromSet(const char* setName, Actor* actor) {
  SetRoster* roster = FindRoster(setName);
  if (roster && actor) RemoveFromRoster(roster, actor);
}

RosterNode* drevRoom_GetSetActors(const char* setName) {
  SetRoster* roster = FindRoster(setName);
  return roster ? roster->head : nullptr;
}

// ---- Depth images -------------------------------------------------------------------

DisplayBuffer* drevRoom_LoadZBufferImage(const char* name) {
  if (!name) return nullptr;
  char path[256];
  if (!Room_CopyName(path, sizeof path, name, "depth image name")) return nullptr;
  Bitmap* bitmap = std_LoadImage(path, sizeof path, 0, 0);
  if (!bitmap) return nullptr;
  DisplayBuffer* frame = nullptr;
  if (bitmap->frames && bitmap->frameCount > 0) {
    frame = bitmap->frames[0];
    bitmap->frames[0] = nullptr;
    if (frame && frame->palette == bitmap->palette) frame->palette = nullptr;
  }
  stdBitmap_Free(bitmap);
  return frame;
}

void drevRoom_FreeZBufferImage(DisplayBuffer* buffer) {
  stdDisplay_FreeBuffer(buffer);
}

// ---- "ROMS" ---------------------------------------------------------------------------

int drevRoom_Save(SaveTransferFn write) {
  if (!write) return 1;
  const uint32_t setTag = Res_Tag("SET ");
  uint32_t count = 0;
  for (ResourceRecord* r = Res_First(setTag); r; r = Res_Next(r, setTag))
    if (Res_RefCount(r->object) > 0) ++count;
  if (!PutU32(write, count)) return 1;
  for (ResourceRecord* r = Res_First(setTag); r; r = Res_Next(r, setTag)) {
    if (Res_RefCount(r->object) > 0 && !SaveSet(write, static_cast<Room*>(r->object))) return 1;
  }
  Room* room = drevRoom_GetCurrent();
  if (!PutU32(write, room ? Res_SavedIdOf(room) : 0u) || !PutU32(write, 0)) return 1;
  if (!room) return 0;
  uint8_t volumes[2] = {room->minVolume, room->maxVolume};
  if (!Transfer(write, volumes, sizeof volumes) || !PutF32(write, room->range) ||
      !PutF32(write, room->panFactor) || !PutF32(write, room->nearDistance))
    return 1;
  for (Sector* s = WalkPlane_GetSectors(); s; s = s->next) {
    if (!PutU32(write, static_cast<uint32_t>(s->id)) ||
        !PutU32(write, static_cast<uint32_t>(s->visible)) || !PutU32(write, s->type) ||
        !PutU32(write, static_cast<uint32_t>(s->enabled)) || !PutF32(write, s->height))
      return 1;
  }
  return 0;
}

int drevRoom_Restore(SaveTransferFn read) {
  if (!read) return 1;
  uint32_t count;
  if (!GetU32(read, &count)) return RestoreFail("short block");
  const uint32_t setTag = Res_Tag("SET ");
  uint32_t loaded = 0;
  for (ResourceRecord* r = Res_First(setTag); r; r = Res_Next(r, setTag)) ++loaded;
  if (count > loaded) return RestoreFail("more saved sets than loaded sets");
  for (uint32_t i = 0; i < count; ++i)
    if (RestoreSet(read)) return 1;

  uint32_t id[2];
  if (!GetU32(read, &id[0]) || !GetU32(read, &id[1])) return RestoreFail("short block");
  Room* room = nullptr;
  if (id[0] != 0 || id[1] != 0) {
    room = static_cast<Room*>(Res_FindBySavedId(id[0], id[1]));
    if (!room || Res_RecordOf(room)->tag != setTag)
      return RestoreFail("the current set is not loaded");
  }
  drevRoom_MakeCurrent(room, nullptr);
  if (!room) return 0;
  if (drevRoom_GetCurrent() != room) return RestoreFail("the current set cannot be made current");

  drevMain_SelectSetup(static_cast<int>(room->currentSetup));
  hotspots_Init();
  hotspots_LoadForSet(room->name);
  WalkPlane_SelectSetSectors(room->name);

  uint8_t volumes[2];
  float range, panFactor, nearDistance;
  if (!Transfer(read, volumes, sizeof volumes) || !GetF32(read, &range) ||
      !GetF32(read, &panFactor) || !GetF32(read, &nearDistance))
    return RestoreFail("short block");
  room->minVolume = volumes[0];
  room->maxVolume = volumes[1];
  room->range = range;
  room->panFactor = panFactor;
  room->nearDistance = nearDistance;

  for (Sector* s = WalkPlane_GetSectors(); s; s = s->next) {
    uint32_t id32, visible, type, enabled;
    float height;
    if (!GetU32(read, &id32) || !GetU32(read, &visible) || !GetU32(read, &type) ||
        !GetU32(read, &enabled) || !GetF32(read, &height))
      return RestoreFail("short block");
    if (static_cast<int32_t>(id32) != s->id)
      return RestoreFail("the set's sectors differ from the saved ones");
    s->visible = static_cast<int32_t>(visible);
    Pathfinder_Invalidate();
    Sector_SetType(s, type);
    s->enabled = static_cast<int32_t>(enabled);
    s->height = height == 0.0f ? 0.005f : height;
  }
  return 0;
}

// ---- Calls --------------------------------------------------------------------------

drevRoomCalls& drevRoom_Calls(void) {
  return gCalls;
}

void drevRoom_SetCalls(const drevRoomCalls* calls) {
  gInstalled = calls ? *calls : drevRoomCalls{};
  gCalls = gInstalled;
}

void drevRoom_ResetCalls(void) {
  gCalls = gInstalled;
}
