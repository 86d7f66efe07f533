// The chore library's state, module life cycle, hooks, slot tables, tags,
// costumes and components.
#include "chore/costume.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "chore/costume_Internal.h"

CosState cos_State;

namespace {

constexpr const char* kSource = "costume";

int Cos_Startup(void);
void Cos_Shutdown(void);
void Cos_Uninitialize(void);

}  // namespace

// ---------------------------------------------------------------------------
// Services

void* Cos_Alloc(size_t size, int line) {
  HostServices* hs = cos_State.services;
  if (!hs || !hs->memAlloc) return nullptr;
  return hs->memAlloc(size ? size : 1, kSource, line);
}

void* Cos_Realloc(void* block, size_t size, int line) {
  HostServices* hs = cos_State.services;
  if (!hs) return nullptr;
  if (!block) return Cos_Alloc(size, line);
  if (!hs->memRealloc) return nullptr;
  return hs->memRealloc(block, size ? size : 1, kSource, line);
}

void Cos_MemFree(void* block) {
  HostServices* hs = cos_State.services;
  if (block && hs && hs->memFree) hs->memFree(block);
}

void Cos_Log(const char* format, ...) {
  HostServices* hs = cos_State.services;
  if (!hs || !hs->printStatus) return;
  char text[512];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  hs->printStatus("[Costume] %s\n", text);
}

int Cos_NameEquals(const char* a, const char* b) {
  if (!a || !b) return 0;
  for (;; ++a, ++b) {
    unsigned char ca = static_cast<unsigned char>(*a), cb = static_cast<unsigned char>(*b);
    if (ca >= 'A' && ca <= 'Z') ca = static_cast<unsigned char>(ca + 32);
    if (cb >= 'A' && cb <= 'Z') cb = static_cast<unsigned char>(cb + 32);
    if (ca != cb) return 0;
    if (!ca) return 1;
  }
}

void Cos_CopyName(char (&target)[COS_NAME_SIZE], const char* source) {
  memset(target, 0, sizeof target);
  if (source) strncpy(target, source, COS_NAME_SIZE - 1);
}

const char* Cos_FileNamePart(const char* path) {
  const char* slash = strrchr(path, '\\');
  return slash ? slash + 1 : path;
}

// ---------------------------------------------------------------------------
// Module

int Cos_Initialize(HostServices* services, CosModuleDescriptor* descriptor) {
  cos_State.services = services;
  if (descriptor) {
    descriptor->initialize = &Cos_Initialize;
    descriptor->uninitialize = &Cos_Uninitialize;
    descriptor->startup = &Cos_Startup;
    descriptor->shutdown = &Cos_Shutdown;
    descriptor->save = &Cos_Save;
    descriptor->restore = &Cos_Restore;
    descriptor->pause = nullptr;
    descriptor->resume = nullptr;
  }
  cos_State.initialised = 1;
  return 0;
}

namespace {

void Cos_Uninitialize(void) {
  cos_State.services = nullptr;
  cos_State.initialised = 0;
}

void Cos_FreeTables(void) {
  Cos_MemFree(cos_State.costumes);
  Cos_MemFree(cos_State.tags);
  Cos_MemFree(cos_State.instances);
  cos_State.costumes = nullptr;
  cos_State.tags = nullptr;
  cos_State.instances = nullptr;
  cos_State.maxCostumes = cos_State.numCostumes = 0;
  cos_State.maxTags = cos_State.numTags = 0;
  cos_State.maxInstances = cos_State.numInstances = 0;
}

int Cos_Startup(void) {
  if (cos_State.started) return 1;
  if (!cos_State.services) return 1;
  cos_State.costumes =
      static_cast<CosCostume*>(Cos_Alloc(sizeof(CosCostume) * COS_FIRST_SLOTS, __LINE__));
  cos_State.tags = static_cast<CosTag*>(Cos_Alloc(sizeof(CosTag) * COS_MAX_TAGS, __LINE__));
  cos_State.instances =
      static_cast<CosInstance*>(Cos_Alloc(sizeof(CosInstance) * COS_FIRST_SLOTS, __LINE__));
  if (!cos_State.costumes || !cos_State.tags || !cos_State.instances) {
    Cos_Log("out of memory at startup");
    Cos_FreeTables();
    return 1;
  }
  memset(cos_State.costumes, 0, sizeof(CosCostume) * COS_FIRST_SLOTS);
  memset(cos_State.tags, 0, sizeof(CosTag) * COS_MAX_TAGS);
  memset(cos_State.instances, 0, sizeof(CosInstance) * COS_FIRST_SLOTS);
  for (int i = 0; i < COS_FIRST_SLOTS; ++i) {
    cos_State.costumes[i].free = 1;
    cos_State.instances[i].free = 1;
    cos_State.instances[i].costume = -1;
  }
  cos_State.maxCostumes = COS_FIRST_SLOTS;
  cos_State.numCostumes = 0;
  cos_State.maxTags = COS_MAX_TAGS;
  cos_State.numTags = 0;
  cos_State.maxInstances = COS_FIRST_SLOTS;
  cos_State.numInstances = 0;
  cos_State.started = 1;
  return 0;
}

// Costumes and instances still live here are not released one by one (no
// callback runs); the host frees them first.
void Cos_Shutdown(void) {
  Cos_FreeTables();
  cos_State.started = 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Hooks

CosInstanceHook Cos_RegisterInstanceHook(CosInstanceHook hook) {
  CosInstanceHook previous = cos_State.instanceHook;
  cos_State.instanceHook = hook;
  return previous;
}

CosSaveHook Cos_RegisterSaveHook(CosSaveHook hook) {
  CosSaveHook previous = cos_State.saveHook;
  cos_State.saveHook = hook;
  return previous;
}

CosSaveVerify Cos_RegisterSaveVerify(CosSaveVerify filter) {
  cos_State.saveVerify = filter;
  return filter;
}

CosCompNotifier CosUtil_RegisterCompNotifier(CosCompNotifier hook) {
  CosCompNotifier previous = cos_State.compNotifier;
  cos_State.compNotifier = hook;
  return previous;
}

CosBitmapMunger CosUtil_RegisterBitmapMunger(CosBitmapMunger hook) {
  CosBitmapMunger previous = cos_State.bitmapMunger;
  cos_State.bitmapMunger = hook;
  return previous;
}

// ---------------------------------------------------------------------------
// Slot tables

int Cos_GrowCostumes(int count) {
  if (!cos_State.started) return 0;
  if (count <= cos_State.maxCostumes) return 1;
  auto* grown = static_cast<CosCostume*>(
      Cos_Realloc(cos_State.costumes, sizeof(CosCostume) * size_t(count), __LINE__));
  if (!grown) return 0;
  memset(grown + cos_State.maxCostumes, 0,
         sizeof(CosCostume) * size_t(count - cos_State.maxCostumes));
  for (int i = cos_State.maxCostumes; i < count; ++i) grown[i].free = 1;
  cos_State.costumes = grown;
  cos_State.maxCostumes = count;
  return 1;
}

int Cos_GrowInstances(int count) {
  if (!cos_State.started) return 0;
  if (count <= cos_State.maxInstances) return 1;
  auto* grown = static_cast<CosInstance*>(
      Cos_Realloc(cos_State.instances, sizeof(CosInstance) * size_t(count), __LINE__));
  if (!grown) return 0;
  memset(grown + cos_State.maxInstances, 0,
         sizeof(CosInstance) * size_t(count - cos_State.maxInstances));
  for (int i = cos_State.maxInstances; i < count; ++i) {
    grown[i].free = 1;
    grown[i].costume = -1;
  }
  cos_State.instances = grown;
  cos_State.maxInstances = count;
  return 1;
}

int Cos_TakeCostumeSlot(void) {
  if (!cos_State.started) return -1;
  int slot = -1;
  for (int i = 0; i < cos_State.maxCostumes; ++i) {
    if (cos_State.costumes[i].free) {
      slot = i;
      break;
    }
  }
  if (slot < 0) {
    slot = cos_State.maxCostumes;
    if (!Cos_GrowCostumes(cos_State.maxCostumes + COS_SLOT_GROWTH)) return -1;
  }
  cos_State.costumes[slot].free = 0;
  cos_State.numCostumes++;
  return slot;
}

int Cos_TakeInstanceSlot(void) {
  if (!cos_State.started) return -1;
  int slot = -1;
  for (int i = 0; i < cos_State.maxInstances; ++i) {
    if (cos_State.instances[i].free) {
      slot = i;
      break;
    }
  }
  if (slot < 0) {
    slot = cos_State.maxInstances;
    if (!Cos_GrowInstances(cos_State.maxInstances + COS_SLOT_GROWTH)) return -1;
  }
  cos_State.instances[slot].free = 0;
  cos_State.numInstances++;
  return slot;
}

CosCostume* Cos_LiveCostume(CosCostumeHandle handle) {
  if (!cos_State.started || handle < 1 || handle > cos_State.maxCostumes) return nullptr;
  CosCostume* costume = &cos_State.costumes[handle - 1];
  return costume->free ? nullptr : costume;
}

CosInstance* Cos_LiveInstance(CosInstHandle handle) {
  if (!cos_State.started || handle < 1 || handle > cos_State.maxInstances) return nullptr;
  CosInstance* instance = &cos_State.instances[handle - 1];
  return instance->free ? nullptr : instance;
}

int Cos_IndexOfCostume(const CosCostume* costume) {
  if (!costume || !cos_State.started || !cos_State.costumes) return -1;
  const uintptr_t first = reinterpret_cast<uintptr_t>(cos_State.costumes);
  const uintptr_t at = reinterpret_cast<uintptr_t>(costume);
  if (at < first) return -1;
  const uintptr_t offset = at - first;
  if (offset % sizeof(CosCostume) != 0) return -1;
  const uintptr_t index = offset / sizeof(CosCostume);
  if (index >= uintptr_t(cos_State.maxCostumes)) return -1;
  return int(index);
}

CosCostume* Cos_CheckCostume(CosCostume* costume) {
  const int slot = Cos_IndexOfCostume(costume);
  if (slot < 0 || cos_State.costumes[slot].free) return nullptr;
  return &cos_State.costumes[slot];
}

CosTag* Cos_ComponentTag(const CosComponent* component) {
  if (!component || component->tag < 0 || component->tag >= cos_State.numTags) return nullptr;
  return &cos_State.tags[component->tag];
}

int Cos_FindTag(uint32_t code) {
  for (int i = 0; i < cos_State.numTags; ++i) {
    if (cos_State.tags[i].code == code) return i;
  }
  return -1;
}

// ---------------------------------------------------------------------------
// Tags

namespace {

int Cos_NewTag(uint32_t code, const char* name, const CosTagCallbacks* callbacks, int value,
               int tagClass) {
  if (!cos_State.started || !name) return 0;
  if (Cos_FindTag(code) >= 0) return 0;
  if (strlen(name) >= COS_NAME_SIZE) return 0;
  if (cos_State.numTags >= cos_State.maxTags) {
    Cos_Log("tag table full, '%.4s' refused", reinterpret_cast<const char*>(&code));
    return 0;
  }
  CosTag& tag = cos_State.tags[cos_State.numTags++];
  memset(&tag, 0, sizeof tag);
  Cos_CopyName(tag.name, name);
  tag.code = code;
  tag.value = value;
  tag.tagClass = tagClass;
  if (callbacks) tag.callbacks = *callbacks;
  return 1;
}

}  // namespace

int Cos_NewStateBasedTag(uint32_t code, const char* name, int, const CosTagCallbacks* callbacks,
                         int value) {
  return Cos_NewTag(code, name, callbacks, value, COS_TAG_STATE);
}

int Cos_NewIntTag(uint32_t code, const char* name, int, const CosTagCallbacks* callbacks,
                  int value) {
  return Cos_NewTag(code, name, callbacks, value, COS_TAG_INT);
}

int Cos_NewFloatTag(uint32_t code, const char* name, int, const CosTagCallbacks* callbacks,
                    int value) {
  return Cos_NewTag(code, name, callbacks, value, COS_TAG_FLOAT);
}

// ---------------------------------------------------------------------------
// Costumes

void Cos_ResetCostume(CosCostume* costume) {
  Cos_CopyName(costume->name, "<unnamed>");
  costume->serial = cos_State.nextSerial++;
  costume->numComponents = 0;
  costume->components = nullptr;
  costume->numChores = 0;
  costume->chores = nullptr;
}

CosCostumeHandle Cos_New(void) {
  const int slot = Cos_TakeCostumeSlot();
  if (slot < 0) return 0;
  Cos_ResetCostume(&cos_State.costumes[slot]);
  return slot + 1;
}

CosCostume* Cos_GetCostumeName(CosCostumeHandle costume) {
  return Cos_LiveCostume(costume);
}

CosCostume* CosUtil_PtrFromHandle(CosCostumeHandle costume) {
  return Cos_LiveCostume(costume);
}

void Cos_FreeComponentData(CosComponent* component) {
  if (component->dataNames) {
    for (int i = 0; i < component->numData; ++i) Cos_MemFree(component->dataNames[i]);
  }
  if (component->dataRecords) {
    for (int i = 0; i < component->numData; ++i) Cos_MemFree(component->dataRecords[i]);
  }
  Cos_MemFree(component->dataValues);
  Cos_MemFree(component->dataNames);
  Cos_MemFree(component->dataRecords);
  component->dataValues = nullptr;
  component->dataNames = nullptr;
  component->dataRecords = nullptr;
  component->numData = 0;
}

void Cos_FreeChoreTracks(CosChore* chore) {
  if (chore->tracks) {
    for (int t = 0; t < chore->numTracks; ++t) Cos_MemFree(chore->tracks[t].keys);
  }
  Cos_MemFree(chore->tracks);
  chore->tracks = nullptr;
  chore->numTracks = 0;
}

void Cos_ReleaseContents(int slot) {
  const CosCostumeHandle handle = slot + 1;
  // The owners free their records first; a callback may call back into the
  // library, so the record is looked up again after each one.
  for (int i = 0;; ++i) {
    CosCostume* costume = &cos_State.costumes[slot];
    if (i >= costume->numComponents) break;
    const CosComponent component = costume->components[i];
    const CosTag* tag = Cos_ComponentTag(&component);
    if (tag && tag->callbacks.freeComponent) {
      tag->callbacks.freeComponent(handle, tag->code, component.hash);
    }
  }
  CosCostume* costume = &cos_State.costumes[slot];
  for (int i = 0; i < costume->numComponents; ++i) Cos_FreeComponentData(&costume->components[i]);
  Cos_MemFree(costume->components);
  costume->components = nullptr;
  costume->numComponents = 0;
  for (int c = 0; c < costume->numChores; ++c) Cos_FreeChoreTracks(&costume->chores[c]);
  Cos_MemFree(costume->chores);
  costume->chores = nullptr;
  costume->numChores = 0;
}

int Cos_Free(CosCostumeHandle costume) {
  if (!Cos_LiveCostume(costume)) return 0;
  const int slot = costume - 1;
  // Its instances go first, each with the instance hook.
  for (int i = 0; i < cos_State.maxInstances; ++i) {
    CosInstance& instance = cos_State.instances[i];
    if (instance.free || instance.costume != slot) continue;
    if (cos_State.instanceHook) cos_State.instanceHook(i + 1, 0);
    if (cos_State.instances[i].free) continue;
    Cos_ReleaseInstance(i);
    cos_State.numInstances--;
  }
  if (!Cos_LiveCostume(costume)) return 1;
  Cos_ReleaseContents(slot);
  cos_State.costumes[slot].free = 1;
  cos_State.numCostumes--;
  return 1;
}

// ---------------------------------------------------------------------------
// Components

namespace {

// A copy of a state list, made before the component is added so that a
// failed copy changes nothing.
struct DataCopy {
  int32_t count = 0;
  int32_t* values = nullptr;
  char** names = nullptr;
  CosDataRecord** records = nullptr;

  void Release() {
    CosComponent scratch{};
    scratch.numData = count;
    scratch.dataValues = values;
    scratch.dataNames = names;
    scratch.dataRecords = records;
    Cos_FreeComponentData(&scratch);
    *this = DataCopy{};
  }
};

int Cos_CopyDataBlock(const CosDataBlock* block, DataCopy* copy) {
  const int32_t count = block->count;
  copy->count = count;
  if (block->values) {
    copy->values = static_cast<int32_t*>(Cos_Alloc(sizeof(int32_t) * size_t(count), __LINE__));
    if (!copy->values) return 0;
    memcpy(copy->values, block->values, sizeof(int32_t) * size_t(count));
  }
  if (block->names) {
    copy->names = static_cast<char**>(Cos_Alloc(sizeof(char*) * size_t(count), __LINE__));
    if (!copy->names) return 0;
    memset(copy->names, 0, sizeof(char*) * size_t(count));
    for (int i = 0; i < count; ++i) {
      const char* name = block->names[i];
      if (!name) continue;
      const size_t length = strlen(name);
      copy->names[i] = static_cast<char*>(Cos_Alloc(length + 1, __LINE__));
      if (!copy->names[i]) return 0;
      memcpy(copy->names[i], name, length + 1);
    }
  }
  if (block->records) {
    copy->records =
        static_cast<CosDataRecord**>(Cos_Alloc(sizeof(CosDataRecord*) * size_t(count), __LINE__));
    if (!copy->records) return 0;
    memset(copy->records, 0, sizeof(CosDataRecord*) * size_t(count));
    for (int i = 0; i < count; ++i) {
      auto* record = static_cast<CosDataRecord*>(Cos_Alloc(sizeof(CosDataRecord), __LINE__));
      if (!record) return 0;
      memcpy(record->data, static_cast<const uint8_t*>(block->records) + 16 * size_t(i), 16);
      record->munged = 0;
      copy->records[i] = record;
    }
    // The munger sees each record in place; it may keep the pointer.
    for (int i = 0; i < count; ++i) {
      if (cos_State.bitmapMunger) {
        copy->records[i]->munged =
            cos_State.bitmapMunger(copy->records[i]->data, block->extras ? block->extras[i] : 0);
      }
    }
  }
  return 1;
}

}  // namespace

int Cos_RegisterComponent(CosCostumeHandle costume, const char* name, uintptr_t hash, uint32_t code,
                          uintptr_t parentHash, uint32_t parentCode, const CosDataBlock* data) {
  CosCostume* record = Cos_LiveCostume(costume);
  if (!record || !name) return 0;
  if (strlen(name) >= COS_NAME_SIZE) return 0;
  int parent = -1;
  if (parentHash != 0) {
    if (Cos_FindTag(parentCode) < 0) return 0;
    for (int i = 0; i < record->numComponents; ++i) {
      const CosTag* tag = Cos_ComponentTag(&record->components[i]);
      if (tag && tag->code == parentCode && record->components[i].hash == parentHash) {
        parent = i;
        break;
      }
    }
    if (parent < 0) return 0;
  }
  const int tagIndex = Cos_FindTag(code);
  if (tagIndex < 0) return 0;

  DataCopy copy;
  if (cos_State.tags[tagIndex].tagClass == COS_TAG_STATE && data && data->count >= 1) {
    if (!Cos_CopyDataBlock(data, &copy)) {
      copy.Release();
      Cos_Log("out of memory copying the states of component \"%s\"", name);
      return 0;
    }
  }
  // The munger may have called back into the library.
  record = Cos_LiveCostume(costume);
  if (!record) {
    copy.Release();
    return 0;
  }
  auto* grown = static_cast<CosComponent*>(Cos_Realloc(
      record->components, sizeof(CosComponent) * size_t(record->numComponents + 1), __LINE__));
  if (!grown) {
    copy.Release();
    return 0;
  }
  record->components = grown;
  int ordinal = 0;
  for (bool taken = true; taken;) {
    taken = false;
    for (int i = 0; i < record->numComponents; ++i) {
      const CosComponent& other = grown[i];
      const CosTag* tag = Cos_ComponentTag(&other);
      if (other.ordinal == ordinal && tag && tag->code == code &&
          Cos_NameEquals(other.name, name)) {
        taken = true;
        ++ordinal;
        break;
      }
    }
  }
  const int index = record->numComponents;
  CosComponent& component = grown[index];
  memset(&component, 0, sizeof component);
  Cos_CopyName(component.name, name);
  component.tag = tagIndex;
  component.hash = hash;
  component.parent = parent;
  component.ordinal = ordinal;
  component.numData = copy.count;
  component.dataValues = copy.values;
  component.dataNames = copy.names;
  component.dataRecords = copy.records;
  record->numComponents++;
  if (cos_State.compNotifier) cos_State.compNotifier(record, &component, index, 1);
  return 1;
}

int Cos_RemoveComponent(CosCostumeHandle costume, uint32_t code, uintptr_t hash) {
  CosCostume* record = Cos_LiveCostume(costume);
  if (!record) return 0;
  for (int i = 0; i < record->numComponents; ++i) {
    const CosTag* tag = Cos_ComponentTag(&record->components[i]);
    if (tag && tag->code == code && record->components[i].hash == hash) {
      return CosUtil_DeleteComponent(costume, i);
    }
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Keys

CosKey* Cos_InsertKey(CosCostume* costume, int chore, int component, int32_t time) {
  if (!costume || chore < 0 || chore >= costume->numChores || component < 0 ||
      component >= costume->numComponents || time < 0) {
    return nullptr;
  }
  const CosTag* tag = Cos_ComponentTag(&costume->components[component]);
  if (!tag || !tag->callbacks.applyKey) return nullptr;
  CosChore& record = costume->chores[chore];
  // Everything is checked before anything changes: a chore with two tracks
  // on one component is refused as it is.
  CosTrack* track = nullptr;
  for (int t = 0; t < record.numTracks; ++t) {
    for (int u = t + 1; u < record.numTracks; ++u) {
      if (record.tracks[t].component == record.tracks[u].component) return nullptr;
    }
    if (record.tracks[t].component == component) track = &record.tracks[t];
  }
  if (!track) {
    auto* tracks = static_cast<CosTrack*>(
        Cos_Realloc(record.tracks, sizeof(CosTrack) * size_t(record.numTracks + 1), __LINE__));
    if (!tracks) return nullptr;
    record.tracks = tracks;
    track = &tracks[record.numTracks++];
    track->component = component;
    track->lastTime = 0;
    track->numKeys = 0;
    track->keys = nullptr;
  }
  // Bisection for the time; a new key goes in at its place in time order.
  int low = 0, high = track->numKeys;
  while (low < high) {
    const int middle = (low + high) / 2;
    if (track->keys[middle].time < time) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  CosKey* key = nullptr;
  if (low < track->numKeys && track->keys[low].time == time) {
    key = &track->keys[low];
  } else {
    auto* keys = static_cast<CosKey*>(
        Cos_Realloc(track->keys, sizeof(CosKey) * size_t(track->numKeys + 1), __LINE__));
    if (!keys) return nullptr;
    track->keys = keys;
    memmove(&keys[low + 1], &keys[low], sizeof(CosKey) * size_t(track->numKeys - low));
    track->numKeys++;
    key = &keys[low];
    key->value = 0;
  }
  key->time = time;
  if (time > track->lastTime) track->lastTime = time;
  const int32_t reach = time == 0 ? 1 : time;
  if (record.length < reach) record.length = reach;
  return key;
}

int Cos_SortKeys(CosTrack* track) {
  const int count = track->numKeys;
  bool sorted = true;
  for (int i = 1; i < count && sorted; ++i) sorted = track->keys[i - 1].time < track->keys[i].time;
  if (sorted) return 1;
  // Stable merge sort, so that of two keys with one time the later read wins.
  auto* scratch = static_cast<CosKey*>(Cos_Alloc(sizeof(CosKey) * size_t(count), __LINE__));
  if (!scratch) return 0;
  CosKey* from = track->keys;
  CosKey* to = scratch;
  for (int width = 1; width < count; width *= 2) {
    for (int start = 0; start < count; start += 2 * width) {
      const int middle = start + width < count ? start + width : count;
      const int end = start + 2 * width < count ? start + 2 * width : count;
      int a = start, b = middle, out = start;
      while (a < middle && b < end) to[out++] = from[b].time < from[a].time ? from[b++] : from[a++];
      while (a < middle) to[out++] = from[a++];
      while (b < end) to[out++] = from[b++];
    }
    CosKey* swap = from;
    from = to;
    to = swap;
  }
  if (from != track->keys) memcpy(track->keys, from, sizeof(CosKey) * size_t(count));
  Cos_MemFree(scratch);
  int kept = 0;
  for (int i = 0; i < count; ++i) {
    if (kept > 0 && track->keys[kept - 1].time == track->keys[i].time) {
      track->keys[kept - 1] = track->keys[i];
    } else {
      track->keys[kept++] = track->keys[i];
    }
  }
  if (kept != count) Cos_Log("%d keys with a repeated time dropped", count - kept);
  track->numKeys = kept;
  return 1;
}
