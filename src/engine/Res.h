// The resource manager and its file layer.
//
// The manager owns every loaded resource: an object made by a type handler and
// registered under a four-character tag and a file name. Holders take counted
// references (ResourceRef, embedded in their own records); unreferenced
// resources stay cached, least recently used at the tail, until a purge frees
// them. The "RESS" save block lists the resources a saved game needs.
//
// The file layer (Res_File.cpp) keeps the packs (directories and LABN
// archives, head searched first) and 128 file slots. A slot is a platform file
// or a window onto one archive entry read through a 4096-byte buffer. Its
// operations are installed into the services record, so every module that
// opens files through the record reads archives without knowing it. Archive
// reads use pread at an explicit offset, so two threads reading windows of one
// archive never see each other's bytes.
//
// The resource list, the handlers and the packs belong to the main thread; the
// file slots have their own locks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/drevMain.h"
#include "platform/stdByteOrder.h"
#include "std/std.h"

struct ResourcePack;

// Status answers of Res_RegisterHandler, Res_Add and the type handlers.
enum : int {
  kResFailed = 0,         // not done (a handler that could not load)
  kResLoaded = 1,         // done / registered
  kResHandlerExists = 2,  // a handler for this tag is registered already (kept)
  kResNoMemory = 3,
  kResCached = 4,  // the resource (or object) is registered already
  // The default handler's answer for a file it cannot open: the same value as
  // kResCached, which only find-or-load gives with a record, never a handler.
  kResCouldNotOpen = 4,
};

// Flag bits of a record.
constexpr uint16_t kResFlagOwnedName = 4;
constexpr uint16_t kResFlagLocked = 8;

// The tag value that registers the default handler.
constexpr uint32_t kResDefaultHandlerTag = 0x44454648;  // "DEFH"

constexpr int kResMaxOpenFiles = 128;
constexpr int kResFileBufferSize = 4096;

// Request operations.
enum : int { kResOpLoad = 1, kResOpFree = 2, kResOpSize = 3 };

struct ResourceRef {
  uint32_t valid;  // 1 while the reference holds a resource
  void* object;
  char holderFile[32];  // tail of the holder's source path; always terminated
  int holderLine;
  ResourceRef* prev;
  ResourceRef* next;
};

struct ResourceRecord {
  ResourceRecord* next;  // towards the least recently used end
  ResourceRecord* prev;
  const char* name;  // upper-cased; an owned copy (flag 4) or a pack's name table
  // The name as it was first asked for, when its case differs from `name`
  // (owned, else null). The "RESS" block keeps this spelling, so a loaded
  // game reloads its resources under the names they had (a set's name is
  // the file name it was loaded by).
  char* spelling;
  uint32_t hash;
  uint32_t tag;
  void* object;
  uint32_t savedId[2];  // {serial at save time, 0}, or the values read by a restore
  uint32_t serial;      // unique among the live records
  uint16_t flags;
  ResourcePack* pack;
  ResourceRef* refs;
  uint32_t size;
};

struct ResourceRequest {
  int operation;  // kResOpLoad, kResOpFree, kResOpSize
  const char* name;
  uint32_t tag;
  void* object;
  uint32_t size;  // written by the size operation
};

// Answers 1 when it did the operation, 0 when not; its load registers the
// object with Res_Add and answers that result.
using ResourceTypeHandler = int (*)(ResourceRequest* request);

// A tag from its four characters ("MAT " -> the bytes 'M','A','T',' ' in memory).
constexpr uint32_t Res_Tag(const char (&text)[5]) {
  return stdLE_Tag(text);
}
// The same from a string of at least four characters (shorter ones are padded
// with spaces); 0 for null.
uint32_t Res_TagOf(const char* text);

// ---- The manager's module ------------------------------------------------------

int Res_Initialize(HostServices* services, ModuleDescriptor* descriptor);
void Res_Uninitialize(void);
int Res_Startup(void);
void Res_Shutdown(void);
int Res_IsStarted(void);
// The "RESS" block: 0 on success, 1 on failure.
int Res_Save(SaveTransferFn write);
int Res_Restore(SaveTransferFn read);

void Res_SetProgressCallback(void (*callback)(int status));

// ---- Handlers and resources ------------------------------------------------------

int Res_RegisterHandler(uint32_t tag, ResourceTypeHandler handler);
int Res_UnregisterHandler(uint32_t tag);
int Res_Add(uint32_t tag, const char* name, void* object);
void* Res_Get(uint32_t tag, const char* name);
// Find or load; the status (kResLoaded, kResCached, or what the handler
// answered) goes to *status when given. Does not reorder on a failure.
ResourceRecord* Res_FindOrLoad(uint32_t tag, const char* name, int* status);
ResourceRecord* Res_Lookup(uint32_t tag, const char* name);
void* Res_FindObject(uint32_t tag, const char* name);
ResourceRecord* Res_RecordOf(const void* object);
void Res_AddRef(ResourceRef* ref, void* object, const char* holderFile, int holderLine);
void Res_ReleaseRef(ResourceRef* ref);
#define RES_ADDREF(ref, object) Res_AddRef((ref), (object), __FILE__, __LINE__)
void* Res_FindBySavedId(uint32_t savedObject, uint32_t savedKey);
void Res_RefBySavedId(ResourceRef* ref, uint32_t savedObject, uint32_t savedKey,
                      const char* holderFile, int holderLine);
// The serial a save writes for this object (0 when it is not a resource).
uint32_t Res_SavedIdOf(const void* object);
ResourceRecord* Res_First(uint32_t tag);  // 0 = any tag
ResourceRecord* Res_Next(ResourceRecord* record, uint32_t tag);
int Res_Touch(const void* object);
int Res_RefCount(const void* object);
// Both answer whether the resource was unlocked before (-1: not a resource).
int Res_Lock(const void* object);
int Res_Unlock(const void* object);
int Res_PurgeUnreferenced(uint32_t wanted, uint32_t* freedOut);
void Res_FreeAll(void);
int Res_Report(const char* fileName, const char* tag);
// Opens (name) or closes (null) the allocation log.
int Res_OpenLog(const char* fileName);
// The 32-bit name hash of an upper-cased name.
uint32_t Res_NameHash(const char* name);

// ---- File layer (Res_File.cpp) ---------------------------------------------------

// Points the layer's platform operations at the record (the live one).
void Res_FileLayerInitialize(HostServices* services);
void Res_FileLayerShutdown(void);
void Res_InstallFileServices(HostServices* services);
void Res_RestoreFileServices(HostServices* services);

stdFile_t Res_FileOpen(const char* name, const char* mode);
int Res_FileClose(stdFile_t file);
size_t Res_FileRead(stdFile_t file, void* buffer, size_t count);
char* Res_FileGets(stdFile_t file, char* buffer, int size);
size_t Res_FileWrite(stdFile_t file, const void* data, size_t count);
int Res_FileEof(stdFile_t file);
int64_t Res_FileTell(stdFile_t file);
int Res_FileSeek(stdFile_t file, int64_t offset, int origin);
int64_t Res_FileSizeByName(const char* name);
int Res_FilePrintf(stdFile_t file, const char* format, ...) __attribute__((format(printf, 2, 3)));
char16_t* Res_FileGetws(stdFile_t file, char16_t* buffer, int size);
int Res_FileSetPrivate(stdFile_t file);

// A path that is empty or ends with a separator opens a directory pack, any
// other path an archive; either goes to the head of the pack list.
ResourcePack* Res_OpenPack(const char* path);
void Res_MovePackToFront(const char* path);
void Res_ClosePacks(void);
int Res_FindLooseFile(const char* name, char* pathOut, int size);
// The host path of a pack (for tests and logs); null for null.
const char* Res_PackPath(const ResourcePack* pack);
int Res_PackCount(void);
// The path of the pack at that place of the search order (0 = head), null past the end.
const char* Res_PackPathAt(int index);

// Used by the manager: the newest recent hit whose name equals the
// upper-cased name, with the pack's copy of the name and its hash.
int Res_FindRecentHit(const char* upperName, ResourcePack** pack, const char** packName,
                      uint32_t* hash);
// Called by Res_ClosePacks for each pack before it goes (Res.cpp).
void Res_SettlePack(ResourcePack* pack);
