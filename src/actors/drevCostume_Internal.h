// The costume module's own state, shared by its source files (and read by
// its tests), the table of calls it makes into the music system, the sets,
// the cutscene glue and the render module, which tests replace with fakes,
// and the small helpers of the tag callbacks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "actors/drevCostume.h"
#include "melos/Sounds.h"

struct Actor;
struct MemoryPool;
struct Room;
struct Sector;
struct qxMaterial;
struct qxVector3;

struct CostumeModule {
  HostServices* services = nullptr;
  int initialized = 0;
  int started = 0;
  CosModuleDescriptor library{};
  MemoryPool* nodePool = nullptr;
  CosInstanceHook previousInstanceHook = nullptr;
  CosSaveHook previousSaveHook = nullptr;
  // Shadows: the colormap this module owns, and one log line for a missing
  // material or colormap.
  qxColormap* shadowColormap = nullptr;
  int shadowColormapTried = 0;
  int shadowMissingReported = 0;
  // drevCostume_RecordBuffer: the image records of the last bitmap or
  // material component added (the library copies them at registration).
  CostumeImageRecord* recordBuffer = nullptr;
  char requesterFolders[kRequesterCount][kRequesterFolderSize] = {};
  // Thing records by the owner value their things carry (value = index + 1),
  // so that a puppet track's callback finds its record again; freed records
  // leave a null entry that the next record takes.
  std::vector<CostumeThingData*> thingRecords;
};
CostumeModule& drevCostume_State(void);

// ---- Helpers of the source files -----------------------------------------------------

HostServices* drevCostume_Services(void);
// Zeroed memory through the services record, or null.
void* drevCostume_Alloc(size_t size, int line);
void drevCostume_Free(void* block);
void drevCostume_Assert(const char* message, int line);

// Owner values of thing records.
int32_t drevCostume_RegisterThing(CostumeThingData* record);
void drevCostume_UnregisterThing(int32_t owner);
CostumeThingData* drevCostume_ThingFromOwner(int32_t owner);

// The actor whose index an instance carries as its user value, when that
// index names an actor in use; else null.
Actor* drevCostume_ActorOfInstance(CosInstHandle instance);

// A component name split at commas: a copy of at most 31 characters.
struct CostumeNameFields {
  char copy[32];
  const char* field[8];
  int count;
};
void drevCostume_SplitName(const char* name, CostumeNameFields* out);
// Field i read as a decimal integer, or the default when the name has fewer fields.
int drevCostume_FieldInt(const CostumeNameFields& fields, int i, int fallback);

// The value at position `key` of a state list; false when the key lies
// outside the list.
bool drevCostume_ListValue(const int32_t* values, int count, int32_t key, int32_t* value);

// The image records of a bitmap's frames or a material's cels, built in the
// module's record buffer (count entries, the ones past `filled` zeroed).
CostumeImageRecord* drevCostume_BuildRecords(int count);
void drevCostume_FillRecord(CostumeImageRecord* record, const struct DisplayBuffer* image);

// The file-name part of a path: after its last '/' or '\\'.
const char* drevCostume_FileNamePart(const char* path);

// A component added without a name: the file the user picks with the
// requester, its file-name part copied to `chosen` as the component's name.
// Null when the user picks none.
const char* drevCostume_PickComponentFile(int requester, const char* title, const char* filter,
                                          char* chosen, size_t size);

// The log line of a component that cannot be added.
void drevCostume_RefuseAdd(const char* what, const char* name);

// The material a 'MAT ' record animates (its model's material of that index,
// or its sprite's own), or null.
qxMaterial* drevCostume_MaterialOf(const CostumeMaterialData* data);

// The records of a thing that a failed allocation could not make: callbacks
// find no thing there and do nothing.
CostumeThingData* drevCostume_EmptyThing(void);
