// The chore library: costumes, their component tags, chores, instances and
// chore playback, the text costume file format, save and restore, and the
// editing interface.
//
// libchore.so holds every costume and instance of the running game in one
// process-wide state block and names them by small handles (slot index + 1,
// 0 = none). It knows nothing of what a component is: each component carries
// a tag (a four-character code) registered by the host together with a block
// of callbacks, and the library calls those whenever a component is created,
// freed, stopped, keyed, edited, instantiated or saved. Everything else it
// needs (memory, files, messages, assertions) comes through the services
// record given to Cos_Initialize. It links nothing of the engine.
//
// All entry points run on the caller's thread; nothing is locked. Callbacks
// may call back into the library.
#pragma once

#include <cstdint>

#include "std/std.h"

// Marks the library's exported entry points; everything else is hidden.
#define COS_EXPORT __attribute__((visibility("default")))

extern "C" {

typedef int32_t CosCostumeHandle;  // costume slot + 1; 0 = none
typedef int32_t CosInstHandle;     // instance slot + 1; 0 = none

// Tag classes: how a tag's keys are stored and written.
enum { COS_TAG_STATE = 0, COS_TAG_INT = 1, COS_TAG_FLOAT = 2 };

// Chore play flags.
enum { COS_CHORE_PLAYING = 1, COS_CHORE_LOOPING = 2, COS_CHORE_AUTO = 4 };

// The save transfer function: writes (saving) or reads (restoring) the given
// bytes in order; 0 when they were transferred, non-zero on failure.
typedef int (*CosTransferFunc)(void* data, uint32_t length);

struct CosComponent;

// The seven callbacks of a tag, in this order. Any may be null. A key value
// is passed as its 32 stored bits: float tags reinterpret them as a float.
struct CosTagCallbacks {
  // (tag code, instance data, 2, key value, time since the key at the end of
  // the step, key value, 0, instance handle); result ignored.
  int (*applyKey)(uint32_t code, uintptr_t instanceData, int mode, int32_t value,
                  int32_t timeSinceKey, int32_t value2, int zero, CosInstHandle instance);
  // (costume, tag code, parent hash or 0, parent tag code or 0, name or null)
  // -> non-zero when the component was registered (Cos_RegisterComponent).
  int (*addComponent)(CosCostumeHandle costume, uint32_t code, uintptr_t parentHash,
                      uint32_t parentCode, const char* name);
  // (costume, tag code, hash): the costume is freed or its load failed.
  int (*freeComponent)(CosCostumeHandle costume, uint32_t code, uintptr_t hash);
  // (instance data): a chore with a track on the component is stopped.
  int (*stopComponent)(uintptr_t instanceData);
  // (the component's hash, the component record, 32): lets the owner edit the
  // component's name and hash in place.
  int (*adjustComponent)(uintptr_t* hash, CosComponent* component, int nameCapacity);
  // (instance, component index, 1 create / 0 destroy) -> instance data (on
  // create, 0 keeps the component's hash).
  uintptr_t (*instanceData)(CosInstHandle instance, int component, int mode);
  // (instance, component index, 1 save / 0 restore, instance data, transfer).
  int (*saveInstanceData)(CosInstHandle instance, int component, int mode, uintptr_t instanceData,
                          CosTransferFunc transfer);
};

// A registered tag.
struct CosTag {
  uint32_t code;
  int32_t tagClass;  // COS_TAG_STATE, COS_TAG_INT, COS_TAG_FLOAT
  char name[32];
  int32_t value;  // the registration's last argument, kept for the host
  CosTagCallbacks callbacks;
};

// The state list that a state-based tag's component publishes: count entries
// of value, name and a 16-byte record (each array may be null), plus extra
// words handed to the bitmap munger.
struct CosDataBlock {
  int32_t count;
  const int32_t* values;
  const char* const* names;
  const void* records;  // count records of 16 bytes
  const uint32_t* extras;
};

// A copied state record: the host's 16 bytes, then the bitmap munger's result.
struct CosDataRecord {
  uint8_t data[16];
  uint32_t munged;
};

struct CosComponent {
  char name[32];    // the record begins with its name
  int32_t tag;      // index in the tag table
  uintptr_t hash;   // chosen by the tag's owner; default instance data
  int32_t ordinal;  // 0 for the first component of this tag code and name, ...
  int32_t parent;   // parent component index, -1 for a root
  int32_t numData;
  int32_t* dataValues;
  char** dataNames;
  CosDataRecord** dataRecords;
};

struct CosKey {
  int32_t time;
  int32_t value;  // integer value, or the bits of a float for float tags
};

struct CosTrack {
  int32_t component;
  int32_t lastTime;
  int32_t numKeys;
  CosKey* keys;  // ascending, unique times
};

struct CosChore {
  char name[32];  // the record begins with its name
  int32_t numTracks;
  CosTrack* tracks;  // at most one track per component
  int32_t length;
};

struct CosCostume {
  char name[32];  // the record begins with its name
  int32_t serial;
  int32_t numComponents;
  CosComponent* components;
  int32_t numChores;
  CosChore* chores;
  int32_t free;
};

// Hooks.
typedef int (*CosInstanceHook)(CosInstHandle instance, int mode);
typedef int (*CosSaveHook)(const char* path, CosCostumeHandle costume, const char* comment);
typedef int (*CosSaveVerify)(CosCostume* costume);
typedef void (*CosCompNotifier)(CosCostume* costume, CosComponent* component, int index, int added);
typedef uint32_t (*CosBitmapMunger)(void* record16, uint32_t extra);

// The eight operation slots that Cos_Initialize fills, laid out as the engine's
// module descriptors: initialise, uninitialise, startup, shutdown, save,
// restore, and two that stay empty.
struct CosModuleDescriptor {
  int (*initialize)(HostServices* services, CosModuleDescriptor* descriptor);
  void (*uninitialize)(void);
  int (*startup)(void);
  void (*shutdown)(void);
  int (*save)(CosTransferFunc transfer);
  int (*restore)(CosTransferFunc transfer);
  int (*pause)(void);
  int (*resume)(void);
};

// Module: stores the services record and fills the descriptor; 0 = success.
// Startup (0 = success, 1 = already started or out of memory), shutdown and
// uninitialise are reached through the descriptor.
COS_EXPORT int Cos_Initialize(HostServices* services, CosModuleDescriptor* descriptor);

// Hooks: each setter returns the previous hook, except Cos_RegisterSaveVerify,
// which returns its argument.
COS_EXPORT CosInstanceHook Cos_RegisterInstanceHook(CosInstanceHook hook);
COS_EXPORT CosSaveHook Cos_RegisterSaveHook(CosSaveHook hook);
COS_EXPORT CosSaveVerify Cos_RegisterSaveVerify(CosSaveVerify filter);
COS_EXPORT CosCompNotifier CosUtil_RegisterCompNotifier(CosCompNotifier hook);
COS_EXPORT CosBitmapMunger CosUtil_RegisterBitmapMunger(CosBitmapMunger hook);

// Tags: 1 added, 0 refused (code taken, name of 32 or more characters, table full).
COS_EXPORT int Cos_NewStateBasedTag(uint32_t code, const char* name, int reserved,
                                    const CosTagCallbacks* callbacks, int value);
COS_EXPORT int Cos_NewIntTag(uint32_t code, const char* name, int reserved,
                             const CosTagCallbacks* callbacks, int value);
COS_EXPORT int Cos_NewFloatTag(uint32_t code, const char* name, int reserved,
                               const CosTagCallbacks* callbacks, int value);

// Costumes and components.
COS_EXPORT CosCostumeHandle Cos_New(void);
COS_EXPORT int Cos_RegisterComponent(CosCostumeHandle costume, const char* name, uintptr_t hash,
                                     uint32_t code, uintptr_t parentHash, uint32_t parentCode,
                                     const CosDataBlock* data);
COS_EXPORT int Cos_RemoveComponent(CosCostumeHandle costume, uint32_t code, uintptr_t hash);
COS_EXPORT int Cos_Free(CosCostumeHandle costume);
COS_EXPORT CosCostume* Cos_GetCostumeName(CosCostumeHandle costume);

// Costume files. Cos_Load answers the live costume of that name (any case)
// without reading, else loads the file into a new slot; 0 on failure.
// Cos_LoadEntry loads a file into the slot of the given handle, which must be
// free; the slot is live afterwards when the load succeeded (1), free when it
// failed (0). CosUtil_Write (below) renames the costume after its file.
COS_EXPORT CosCostumeHandle Cos_Load(const char* name);
COS_EXPORT int Cos_LoadEntry(const char* path, CosCostumeHandle costume);

// Save and restore (0 = success, 1 = failure). Cos_Restore frees every
// costume and instance, reloads the saved costumes under their old handles
// and reads its whole block even when one of them does not load (then 1).
COS_EXPORT int Cos_Save(CosTransferFunc transfer);
COS_EXPORT int Cos_Restore(CosTransferFunc transfer);
COS_EXPORT int Cos_SaveInstance(CosInstHandle instance, CosTransferFunc transfer);
COS_EXPORT int Cos_RestoreInstance(CosInstHandle instance, CosTransferFunc transfer);

// Instances and chore playback.
COS_EXPORT CosInstHandle Cos_CreateCosInstance(CosCostumeHandle costume, intptr_t userValue);
COS_EXPORT int Cos_FreeCosInstance(CosInstHandle instance);
COS_EXPORT CosCostume* Cos_InstGetCostume(CosInstHandle instance, CosCostumeHandle* costume);
COS_EXPORT int Cos_InstCountComponents(CosInstHandle instance);
COS_EXPORT CosComponent* Cos_InstComponentInfo(CosInstHandle instance, int component,
                                               uint32_t* code, uintptr_t* hash, int* parent);
COS_EXPORT uintptr_t Cos_InstGetInstanceData(CosInstHandle instance, int component, uint32_t* code);
COS_EXPORT intptr_t Cos_InstGetUserData(CosInstHandle instance);
COS_EXPORT void Cos_InstSetUserData(CosInstHandle instance, intptr_t value);
COS_EXPORT int Cos_InstCountChores(CosInstHandle instance);
COS_EXPORT CosChore* Cos_InstChoreName(CosInstHandle instance, int chore);
COS_EXPORT int Cos_InstChoreStatus(CosInstHandle instance, int chore);
COS_EXPORT int Cos_InstPlayChore(CosInstHandle instance, int chore, int loop, int manual);
COS_EXPORT int Cos_InstStopChore(CosInstHandle instance, int chore);
COS_EXPORT int Cos_InstStopChores(CosInstHandle instance);
COS_EXPORT int Cos_InstPauseChore(CosInstHandle instance, int chore);
COS_EXPORT int Cos_InstPauseChores(CosInstHandle instance);
COS_EXPORT int Cos_InstUpdateChore(CosInstHandle instance, int chore, int step);
COS_EXPORT int Cos_InstUpdateChores(CosInstHandle instance, int step);
COS_EXPORT int Cos_InstCompleteChore(CosInstHandle instance, int chore);
COS_EXPORT int Cos_InstCompleteChores(CosInstHandle instance);
COS_EXPORT int Cos_InstSetChoreLoop(CosInstHandle instance, int chore, int on);
COS_EXPORT int Cos_InstSetChoreAdv(CosInstHandle instance, int chore, int manual);
COS_EXPORT void Cos_InstRescue(CosInstHandle instance, CosCostumeHandle costume);

// Editing and queries (most take the costume record of CosUtil_PtrFromHandle).
COS_EXPORT CosCostume* CosUtil_PtrFromHandle(CosCostumeHandle costume);
COS_EXPORT int CosUtil_CountComponents(CosCostume* costume);
COS_EXPORT CosComponent* CosUtil_CompPtrFromHandle(CosCostume* costume, int component);
COS_EXPORT void CosUtil_ComponentInfo(CosCostume* costume, int component, uint32_t* code,
                                      uintptr_t* hash, int* parent, int* tagClass);
COS_EXPORT int CosUtil_CountChores(CosCostume* costume);
COS_EXPORT CosChore* CosUtil_ChoreName(CosCostume* costume, int chore);
COS_EXPORT int CosUtil_CountTags(void);
COS_EXPORT const char* CosUtil_TagInfo(int tag, uint32_t* code);
COS_EXPORT int CosUtil_ComponentHasAdjuster(CosCostume* costume, int component);
COS_EXPORT CosKey* CosUtil_QueryValueAtTime(CosCostume* costume, int chore, int component,
                                            int time);
COS_EXPORT int CosUtil_AddComponent(CosCostumeHandle costume, const char* name, uint32_t code,
                                    uintptr_t parentHash, uint32_t parentCode);
COS_EXPORT int CosUtil_AdjustComponent(CosCostume* costume, int component);
COS_EXPORT int CosUtil_DeleteComponent(CosCostumeHandle costume, int component);
COS_EXPORT int CosUtil_AddChore(CosCostume* costume);
COS_EXPORT void CosUtil_DeleteChore(CosCostume* costume, int chore);
COS_EXPORT void CosUtil_NameChore(CosCostume* costume, int chore, const char* name);
COS_EXPORT void CosUtil_SetChoreLength(CosCostume* costume, int chore, int length);
COS_EXPORT int CosUtil_AddFSKey(CosCostume* costume, int chore, int component, int time, int value);
COS_EXPORT int CosUtil_AddIntKey(CosCostume* costume, int chore, int component, int time,
                                 int value);
COS_EXPORT int CosUtil_AddFloatKey(CosCostume* costume, int chore, int component, int time,
                                   float value);
COS_EXPORT int CosUtil_DeleteKey(CosCostume* costume, int chore, int component, int time);
COS_EXPORT int CosUtil_Write(const char* path, CosCostume* costume, const char* comment);

}  // extern "C"

// A four-character code from its four letters, as they lie in memory.
constexpr uint32_t Cos_MakeCode(const char (&letters)[5]) {
  return uint32_t(uint8_t(letters[0])) | uint32_t(uint8_t(letters[1])) << 8 |
         uint32_t(uint8_t(letters[2])) << 16 | uint32_t(uint8_t(letters[3])) << 24;
}
