// The chore library's state block and the helpers its source files share.
// Not part of the library's interface.
#pragma once

#include <cstddef>
#include <cstdint>

#include "chore/costume.h"

// One chore's play state within an instance.
struct CosChoreState {
  int32_t flags;  // COS_CHORE_PLAYING | COS_CHORE_LOOPING | COS_CHORE_AUTO
  int32_t chore;  // the chore's index (the entry's position)
  int32_t elapsed;
};

struct CosInstance {
  int32_t costume;  // costume slot index
  int32_t numChoreStates;
  CosChoreState* chores;
  intptr_t userData;
  int32_t numInstanceData;
  uintptr_t* instanceData;  // one per component, in component order
  int32_t free;
};

enum { COS_MAX_TAGS = 32, COS_SLOT_GROWTH = 8, COS_FIRST_SLOTS = 32, COS_NAME_SIZE = 32 };

// The process-wide state block (zero at load).
struct CosState {
  HostServices* services;
  int initialised;
  int started;
  int numCostumes;
  int maxCostumes;
  CosCostume* costumes;
  int numTags;
  int maxTags;
  CosTag* tags;
  int numInstances;
  int maxInstances;
  CosInstance* instances;
  CosCompNotifier compNotifier;
  CosBitmapMunger bitmapMunger;
  CosInstanceHook instanceHook;
  CosSaveHook saveHook;
  CosSaveVerify saveVerify;
  int nextSerial;
};

extern CosState cos_State;

// Memory through the services record; null when the library has none.
void* Cos_Alloc(size_t size, int line);
void* Cos_Realloc(void* block, size_t size, int line);
void Cos_MemFree(void* block);
// A line for the host's log through the services record's status printer.
void Cos_Log(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Slot tables: takes the first free slot (growing by 8), or -1.
int Cos_TakeCostumeSlot(void);
int Cos_TakeInstanceSlot(void);
// Grows a table to at least the given count of slots, new slots free; 0 on failure.
int Cos_GrowCostumes(int count);
int Cos_GrowInstances(int count);

// Resolving handles and records; null when out of range or free.
CosCostume* Cos_LiveCostume(CosCostumeHandle handle);
CosInstance* Cos_LiveInstance(CosInstHandle handle);
// The slot index of a costume record of the table, or -1 (any record pointer
// may come in; only live slots answer).
int Cos_IndexOfCostume(const CosCostume* costume);
CosCostume* Cos_CheckCostume(CosCostume* costume);
// The tag of a component (null for a bad tag index).
CosTag* Cos_ComponentTag(const CosComponent* component);
// First registered tag with the code, or -1.
int Cos_FindTag(uint32_t code);

// Resets a costume record to an empty "<unnamed>" costume with a new serial.
void Cos_ResetCostume(CosCostume* costume);
// Releases a costume's contents: freeComponent callbacks, copies, chores.
void Cos_ReleaseContents(int slot);
// Frees one component's copied data block.
void Cos_FreeComponentData(CosComponent* component);
// Frees a chore's tracks and keys.
void Cos_FreeChoreTracks(CosChore* chore);
// Releases an instance: instanceData callbacks (mode 0) and arrays; marks it free.
void Cos_ReleaseInstance(int slot);
// Loads a costume file into an already taken slot; on failure releases what
// was built and the slot.
int Cos_LoadIntoSlot(const char* path, int slot);

// Key insertion: the key of that time on the component's track (made when
// missing), or null with nothing changed.
CosKey* Cos_InsertKey(CosCostume* costume, int chore, int component, int32_t time);
// Sorts a track's keys by time and drops repeated times (keeping the last read).
int Cos_SortKeys(CosTrack* track);

// Case-insensitive equality of two texts.
int Cos_NameEquals(const char* a, const char* b);
// Copies at most 31 characters and terminates, zero-filling the rest.
void Cos_CopyName(char (&target)[COS_NAME_SIZE], const char* source);
// The file name part of a path: the text after its last backslash.
const char* Cos_FileNamePart(const char* path);
