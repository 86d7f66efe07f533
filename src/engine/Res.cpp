// The resource manager: handlers, the resource list, references, purge,
// the "RESS" save block, the report and the allocation log.
#include "engine/Res.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/drevMain.h"
#include "platform/kv_Log.h"
#include "platform/kv_RenderHooks.h"
#include "std/stdMemory.h"

namespace {

struct HandlerNode {
  uint32_t tag;
  ResourceTypeHandler handler;
};

HostServices* gServices = nullptr;
int gInitialized = 0;
int gStarted = 0;
std::vector<HandlerNode> gHandlers;
ResourceTypeHandler gDefaultHandler = nullptr;
MemoryPool* gRecordPool = nullptr;
ResourceRecord* gHead = nullptr;
ResourceRecord* gTail = nullptr;
uint32_t gNextSerial = 1;
stdFile_t gLog = 0;
void (*gProgress)(int status) = nullptr;

HostServices* Services() {
  return gServices ? gServices : std_pHS;
}

char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string Upper(const char* name) {
  std::string s(name ? name : "");
  for (char& c : s) c = AsciiUpper(c);
  return s;
}

char* CopyName(const std::string& upper) {
  auto* copy = static_cast<char*>(Services()->memAlloc(upper.size() + 1, __FILE__, __LINE__));
  if (copy) std::memcpy(copy, upper.c_str(), upper.size() + 1);
  return copy;
}

ResourceTypeHandler HandlerFor(uint32_t tag) {
  for (const HandlerNode& node : gHandlers) {
    if (node.tag == tag) return node.handler;
  }
  return gDefaultHandler;
}

void LinkHead(ResourceRecord* r) {
  r->prev = nullptr;
  r->next = gHead;
  if (gHead) gHead->prev = r;
  gHead = r;
  if (!gTail) gTail = r;
}

void UnlinkRecord(ResourceRecord* r) {
  if (r->prev)
    r->prev->next = r->next;
  else
    gHead = r->next;
  if (r->next)
    r->next->prev = r->prev;
  else
    gTail = r->prev;
  r->next = r->prev = nullptr;
}

void MoveToHead(ResourceRecord* r) {
  if (gHead == r) return;
  UnlinkRecord(r);
  LinkHead(r);
}

ResourceRecord* FindRecord(uint32_t tag, const std::string& upper, uint32_t hash) {
  for (ResourceRecord* r = gHead; r; r = r->next) {
    if (r->tag == tag && r->hash == hash && upper == r->name) return r;
  }
  return nullptr;
}

bool SerialInUse(uint32_t serial) {
  for (ResourceRecord* r = gHead; r; r = r->next) {
    if (r->serial == serial) return true;
  }
  return false;
}

// A serial number unique among the live records (0 is never used). Until the
// counter first wraps every number is new.
uint32_t NewSerial() {
  static bool wrapped = false;
  for (;;) {
    const uint32_t serial = gNextSerial++;
    if (gNextSerial == 0) {
      gNextSerial = 1;
      wrapped = true;
    }
    if (serial != 0 && !(wrapped && SerialInUse(serial))) return serial;
  }
}

// Frees one record through its handler; every reference to it becomes invalid.
void FreeRecord(ResourceRecord* r) {
  int count = 0;
  for (ResourceRef* ref = r->refs; ref;) {
    ResourceRef* next = ref->next;
    ref->valid = 0;
    ref->prev = ref->next = nullptr;
    ++count;
    ref = next;
  }
  r->refs = nullptr;
  if (ResourceTypeHandler handler = HandlerFor(r->tag)) {
    ResourceRequest request{kResOpFree, r->name, r->tag, r->object, 0};
    if (handler(&request) == 1 && gLog) {
      Res_FilePrintf(gLog, "Resource <%-12s> freed (%d references)\n", r->name, count);
    }
  }
  UnlinkRecord(r);
  if (r->flags & kResFlagOwnedName) Services()->memFree(const_cast<char*>(r->name));
  if (r->spelling) Services()->memFree(r->spelling);
  Memory_PoolFree(r);
}

// The default handler: the file read whole into a handle block.
struct DefaultBlock {
  stdHandle_t handle;
  uint32_t size;
};

int DefaultHandler(ResourceRequest* request) {
  if (request->tag == 0x52455346) return 0;  // "FSER" is not a file type
  HostServices* hs = Services();
  switch (request->operation) {
    case kResOpLoad: {
      const stdFile_t file = hs->fileOpen(request->name, "rb");
      if (!file) return kResCouldNotOpen;
      const int64_t size = hs->fileSize(request->name);
      auto* block =
          static_cast<DefaultBlock*>(hs->memAlloc(sizeof(DefaultBlock), __FILE__, __LINE__));
      stdHandle_t handle = size >= 0 ? hs->handleAlloc(static_cast<size_t>(size) + 1) : nullptr;
      if (!block || !handle) {
        if (block) hs->memFree(block);
        if (handle) hs->handleFree(handle);
        hs->fileClose(file);
        return 0;
      }
      void* data = hs->handleLock(handle);
      const size_t got = hs->fileRead(file, data, static_cast<size_t>(size));
      hs->handleUnlock(handle);
      hs->fileClose(file);
      block->handle = handle;
      block->size = static_cast<uint32_t>(got);
      const int status = Res_Add(request->tag, request->name, block);
      if (status != kResLoaded) {
        hs->handleFree(handle);
        hs->memFree(block);
      }
      return status;
    }
    case kResOpFree: {
      auto* block = static_cast<DefaultBlock*>(request->object);
      if (!block) return 0;
      hs->handleFree(block->handle);
      hs->memFree(block);
      return 1;
    }
    case kResOpSize:
      request->size = request->object ? static_cast<DefaultBlock*>(request->object)->size : 0;
      return 1;
  }
  return 0;
}

void Uninitialize() {
  Res_Uninitialize();
}
int Startup() {
  return Res_Startup();
}
void Shutdown() {
  Res_Shutdown();
}

}  // namespace

uint32_t Res_TagOf(const char* text) {
  if (!text) return 0;
  char t[4] = {' ', ' ', ' ', ' '};
  for (int i = 0; i < 4 && text[i]; ++i) t[i] = text[i];
  return stdLE_GetU32(reinterpret_cast<const uint8_t*>(t));
}

int Res_Initialize(HostServices* services, ModuleDescriptor* descriptor) {
  gServices = services;
  if (gInitialized) return 1;
  Res_FileLayerInitialize(services);
  gHead = gTail = nullptr;
  gHandlers.clear();
  if (descriptor) {
    descriptor->uninitialize = Uninitialize;
    descriptor->startup = Startup;
    descriptor->shutdown = Shutdown;
    descriptor->save = Res_Save;
    descriptor->restore = Res_Restore;
  }
  gInitialized = 1;
  return 0;
}

void Res_Uninitialize(void) {
  gInitialized = 0;
  gServices = nullptr;
  Res_FileLayerShutdown();
}

int Res_Startup(void) {
  if (gStarted) return 0;
  if (!gRecordPool) gRecordPool = Memory_PoolCreate(sizeof(ResourceRecord), 512, 512);
  gDefaultHandler = DefaultHandler;
  gStarted = 1;
  return 0;
}

void Res_Shutdown(void) {
  if (gStarted) {
    Res_ClosePacks();
    Res_FreeAll();
    Res_OpenLog(nullptr);
    gHandlers.clear();
    gDefaultHandler = nullptr;
    if (gRecordPool) Memory_PoolDestroy(gRecordPool);
    gRecordPool = nullptr;
  }
  gStarted = 0;
}

int Res_IsStarted(void) {
  return gStarted;
}

void Res_SetProgressCallback(void (*callback)(int status)) {
  gProgress = callback;
}

int Res_RegisterHandler(uint32_t tag, ResourceTypeHandler handler) {
  if (tag == kResDefaultHandlerTag) {
    gDefaultHandler = handler;
    return kResLoaded;
  }
  for (const HandlerNode& node : gHandlers) {
    if (node.tag == tag) return kResHandlerExists;
  }
  gHandlers.push_back({tag, handler});
  return kResLoaded;
}

int Res_UnregisterHandler(uint32_t tag) {
  for (auto it = gHandlers.begin(); it != gHandlers.end(); ++it) {
    if (it->tag == tag) {
      gHandlers.erase(it);
      return 1;
    }
  }
  return 0;
}

int Res_Add(uint32_t tag, const char* name, void* object) {
  if (!name || !gRecordPool) return kResFailed;
  if (Res_RecordOf(object)) return kResCached;
  auto* r = static_cast<ResourceRecord*>(Memory_PoolAlloc(gRecordPool));
  if (!r) return kResFailed;
  std::memset(r, 0, sizeof *r);
  r->tag = tag;
  r->object = object;
  const std::string upper = Upper(name);
  ResourcePack* pack = nullptr;
  const char* packName = nullptr;
  uint32_t hash = 0;
  if (Res_FindRecentHit(upper.c_str(), &pack, &packName, &hash)) {
    r->name = packName;
    r->hash = hash;
    r->pack = pack;
  } else {
    char* copy = CopyName(upper);
    if (!copy) {
      Memory_PoolFree(r);
      return kResFailed;
    }
    r->name = copy;
    r->hash = Res_NameHash(copy);
    r->flags = kResFlagOwnedName;
  }
  // Only a spelling that differs from the upper-cased name is kept; one that
  // cannot be copied leaves the upper-cased name, which finds it all the same.
  if (upper != name) r->spelling = CopyName(name);
  r->serial = NewSerial();
  r->savedId[0] = r->serial;
  LinkHead(r);
  return kResLoaded;
}

ResourceRecord* Res_FindOrLoad(uint32_t tag, const char* name, int* status) {
  int dummy;
  if (!status) status = &dummy;
  *status = kResFailed;
  if (!name || !gStarted) return nullptr;
  const std::string upper = Upper(name);
  const uint32_t hash = Res_NameHash(upper.c_str());
  if (ResourceRecord* r = FindRecord(tag, upper, hash)) {
    kv_RenderHooks_ResourceLoaded(tag, name, r->object, 1);
    *status = kResCached;
    return r;
  }
  ResourceTypeHandler handler = HandlerFor(tag);
  if (!handler) return nullptr;
  drevMain_Calls().renderTickWaitTimer();
  ResourceRequest request{kResOpLoad, name, tag, nullptr, 0};
  *status = handler(&request);
  if (gProgress) gProgress(*status);
  if (*status != kResLoaded) return nullptr;
  ResourceRecord* r = FindRecord(tag, upper, hash);
  if (!r) {
    *status = kResFailed;
    return nullptr;
  }
  ResourceRequest size{kResOpSize, r->name, tag, r->object, 0};
  handler(&size);
  r->size = size.size;
  if (gLog)
    Res_FilePrintf(gLog, "Resource <%-12s> allocated: %8" PRIu32 " bytes\n", r->name, r->size);
  kv_RenderHooks_ResourceLoaded(tag, name, r->object, 0);
  return r;
}

void* Res_Get(uint32_t tag, const char* name) {
  ResourceRecord* r = Res_FindOrLoad(tag, name, nullptr);
  if (!r) return nullptr;
  MoveToHead(r);
  return r->object;
}

ResourceRecord* Res_Lookup(uint32_t tag, const char* name) {
  if (!name) return nullptr;
  const std::string upper = Upper(name);
  return FindRecord(tag, upper, Res_NameHash(upper.c_str()));
}

void* Res_FindObject(uint32_t tag, const char* name) {
  ResourceRecord* r = Res_Lookup(tag, name);
  return r ? r->object : nullptr;
}

ResourceRecord* Res_RecordOf(const void* object) {
  if (!object) return nullptr;
  for (ResourceRecord* r = gHead; r; r = r->next) {
    if (r->object == object) return r;
  }
  return nullptr;
}

void Res_AddRef(ResourceRef* ref, void* object, const char* holderFile, int holderLine) {
  STD_ASSERT(ref && !ref->valid);
  ResourceRecord* r = Res_RecordOf(object);
  if (!r) return;
  ref->valid = 1;
  ref->object = object;
  // The holder's source file from its last separator on (the separator kept).
  const char* file = holderFile ? holderFile : "";
  const char* tail = file;
  for (const char* p = file; *p; ++p) {
    if (*p == '/' || *p == '\\') tail = p;
  }
  std::snprintf(ref->holderFile, sizeof ref->holderFile, "%s", tail);
  ref->holderLine = holderLine;
  ref->prev = nullptr;
  ref->next = r->refs;
  if (r->refs) r->refs->prev = ref;
  r->refs = ref;
  MoveToHead(r);
}

void Res_ReleaseRef(ResourceRef* ref) {
  if (!ref || !ref->valid) return;
  if (ResourceRecord* r = Res_RecordOf(ref->object)) {
    if (ref->prev)
      ref->prev->next = ref->next;
    else if (r->refs == ref)
      r->refs = ref->next;
    if (ref->next) ref->next->prev = ref->prev;
  }
  ref->valid = 0;
  ref->prev = ref->next = nullptr;
}

void* Res_FindBySavedId(uint32_t savedObject, uint32_t savedKey) {
  for (ResourceRecord* r = gHead; r; r = r->next) {
    if (r->savedId[0] == savedObject && r->savedId[1] == savedKey) return r->object;
  }
  return nullptr;
}

void Res_RefBySavedId(ResourceRef* ref, uint32_t savedObject, uint32_t savedKey,
                      const char* holderFile, int holderLine) {
  if (void* object = Res_FindBySavedId(savedObject, savedKey)) {
    Res_AddRef(ref, object, holderFile, holderLine);
  }
}

uint32_t Res_SavedIdOf(const void* object) {
  ResourceRecord* r = Res_RecordOf(object);
  return r ? r->serial : 0;
}

ResourceRecord* Res_First(uint32_t tag) {
  for (ResourceRecord* r = gHead; r; r = r->next) {
    if (!tag || r->tag == tag) return r;
  }
  return nullptr;
}

ResourceRecord* Res_Next(ResourceRecord* record, uint32_t tag) {
  for (ResourceRecord* r = record ? record->next : nullptr; r; r = r->next) {
    if (!tag || r->tag == tag) return r;
  }
  return nullptr;
}

int Res_Touch(const void* object) {
  ResourceRecord* r = Res_RecordOf(object);
  if (!r) return 0;
  MoveToHead(r);
  return 1;
}

int Res_RefCount(const void* object) {
  ResourceRecord* r = Res_RecordOf(object);
  int count = 0;
  for (ResourceRef* ref = r ? r->refs : nullptr; ref; ref = ref->next) ++count;
  return count;
}

int Res_Lock(const void* object) {
  ResourceRecord* r = Res_RecordOf(object);
  if (!r) return -1;
  const int wasUnlocked = (r->flags & kResFlagLocked) ? 0 : 1;
  r->flags |= kResFlagLocked;
  return wasUnlocked;
}

int Res_Unlock(const void* object) {
  ResourceRecord* r = Res_RecordOf(object);
  if (!r) return -1;
  const int wasUnlocked = (r->flags & kResFlagLocked) ? 0 : 1;
  r->flags &= static_cast<uint16_t>(~kResFlagLocked);
  return wasUnlocked;
}

int Res_PurgeUnreferenced(uint32_t wanted, uint32_t* freedOut) {
  uint64_t freed = 0;
  if (freedOut) *freedOut = 0;
  if (wanted == 0) return 1;
  // Freeing a resource can release the references it held on others (a set
  // on its colormaps), so passes repeat while they free something. A free
  // handler only releases references; it never frees other records.
  bool freedSome = true;
  while (freedSome && freed < wanted) {
    freedSome = false;
    int visited = 0;
    for (ResourceRecord* r = gTail; r && freed < wanted;) {
      if (++visited % 500 == 0 && gProgress) gProgress(0);
      ResourceRecord* prev = r->prev;
      if (!r->refs && !(r->flags & kResFlagLocked)) {
        freed += r->size;
        FreeRecord(r);
        freedSome = true;
      }
      r = prev;
    }
  }
  if (freedOut) *freedOut = static_cast<uint32_t>(freed > 0xFFFFFFFFu ? 0xFFFFFFFFu : freed);
  return freed >= wanted ? 1 : 0;
}

void Res_FreeAll(void) {
  // Unlocked first, from the head; a handler may free others meanwhile, so
  // each step starts again from the head.
  for (;;) {
    ResourceRecord* r = gHead;
    while (r && (r->flags & kResFlagLocked)) r = r->next;
    if (!r) break;
    FreeRecord(r);
  }
  while (gHead) FreeRecord(gHead);
}

void Res_SettlePack(ResourcePack* pack) {
  for (;;) {
    ResourceRecord* victim = nullptr;
    for (ResourceRecord* r = gHead; r; r = r->next) {
      if (r->pack != pack) continue;
      if (r->refs || (r->flags & kResFlagLocked)) {
        if (!(r->flags & kResFlagOwnedName)) {
          char* copy = CopyName(r->name);
          if (copy) {
            r->name = copy;
            r->flags |= kResFlagOwnedName;
          }
        }
        r->pack = nullptr;
      } else {
        victim = r;
        break;
      }
    }
    if (!victim) break;
    FreeRecord(victim);
  }
}

int Res_Save(SaveTransferFn write) {
  uint32_t count = 0;
  for (ResourceRecord* r = gHead; r; r = r->next) {
    if ((r->refs && !std::strstr(r->name, "TEMP")) || (r->flags & kResFlagLocked)) ++count;
  }
  if (write(&count, 4)) return 1;
  for (ResourceRecord* r = gHead; r; r = r->next) {
    if (!((r->refs && !std::strstr(r->name, "TEMP")) || (r->flags & kResFlagLocked))) continue;
    const char* name = r->spelling ? r->spelling : r->name;
    uint32_t length = static_cast<uint32_t>(std::strlen(name));
    r->savedId[0] = r->serial;
    r->savedId[1] = 0;
    if (write(&length, 4) || write(const_cast<char*>(name), length) || write(&r->tag, 4) ||
        write(r->savedId, 8)) {
      return 1;
    }
  }
  return 0;
}

int Res_Restore(SaveTransferFn read) {
  uint32_t count = 0;
  if (read(&count, 4)) return 1;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t length = 0;
    if (read(&length, 4)) return 1;
    if (length >= 256) {
      kv_Log_Printf("[Load] - Resource entry %u has a name of %u characters", i, length);
      return 1;
    }
    char name[256];
    uint32_t tag = 0;
    uint32_t saved[2] = {0, 0};
    if (read(name, length) || read(&tag, 4) || read(saved, 8)) return 1;
    name[length] = 0;
    int status = 0;
    ResourceRecord* r = Res_FindOrLoad(tag, name, &status);
    if (!r) {
      // A file renamed or gone since the save is no damage to the save: the
      // game goes on without it, and its holders find nothing under its id.
      kv_Log_Printf("[Load] - Resource %s could not be loaded (status %d); left out", name, status);
      continue;
    }
    MoveToHead(r);
    r->savedId[0] = saved[0];
    r->savedId[1] = saved[1];
  }
  return 0;
}

int Res_Report(const char* fileName, const char* tag) {
  if (!fileName) return 0;
  const stdFile_t file = Res_FileOpen(fileName, "w");
  if (!file) return 0;
  const uint32_t want = tag ? Res_TagOf(tag) : 0;
  int items = 0;
  uint64_t bytes = 0;
  for (ResourceRecord* r = gHead; r; r = r->next) {
    if (want && r->tag != want) continue;
    Res_FilePrintf(file, "Resource %-12s,\t\tsize = %7" PRIu32 "\t%s\n", r->name, r->size,
                   r->refs ? "REFERENCED" : "");
    ++items;
    bytes += r->size;
  }
  Res_FilePrintf(file, "Total: %d items, %" PRIu64 " bytes\n", items, bytes);
  Res_FileClose(file);
  return 1;
}

int Res_OpenLog(const char* fileName) {
  if (gLog) {
    Res_FileClose(gLog);
    gLog = 0;
  }
  if (!fileName) return 1;
  gLog = Res_FileOpen(fileName, "w");
  return gLog ? 1 : 0;
}
