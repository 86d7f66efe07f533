// The music host's resident sound cache: 32 slots that hold whole sound
// files (WAVE and 8-bit data turned into a Melo view without copying the
// samples again), evicted least recently used first when the cache budget
// is passed; the file layer that reads MCMP files as their decompressed
// bytes; the engine's SYNC resources; and the tracked allocations.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "melos/Melos.h"
#include "melos/MelosBytes.h"
#include "melos/MelosFormats.h"
#include "melos/MelosInternal.h"
#include "melos/SoundsInternal.h"
#include "platform/kv_Log.h"
#include "platform/kv_Thread.h"

namespace {

// A resident sound larger than this is refused (the cache budget is a few
// hundred kilobytes).
constexpr int64_t kMaxResidentFile = 64 << 20;

SoundSlot g_slots[SOUNDS_SLOTS];
uint32_t g_scriptIdCounter = 0;

HostServices& Host() {
  return *Sounds_Services();
}

// Publishes or clears a slot's data under the music lock: the heartbeat reads
// the header and the sample base through the host callbacks under it.
void ClearSlot(SoundSlot& s) {
  uint8_t* buffer = nullptr;
  {
    MelosLockGuard lock;
    buffer = s.buffer;
    s = SoundSlot{};
  }
  if (buffer) Host().memFree(buffer);
}

void FreeSlotData(SoundSlot& s) {
  Sounds_UnbindLipSync(s.scriptId);
  ClearSlot(s);
}

bool Idle(int32_t id) {
  return Melos_GetParam(id, MELOS_PARAM_PLAYING) == 0 &&
         Melos_GetParam(id, MELOS_PARAM_PENDING) == 0;
}

// Widens 8-bit unsigned samples to 16-bit little-endian ones: the bytes
// before the first sample are kept, each sample byte b becomes
// ((b - 128) << 8) | 0x80. Returns the new allocation, null on failure.
uint8_t* Widen(const uint8_t* content, uint32_t size, uint32_t dataOffset, uint32_t* newSize) {
  const uint64_t grown = dataOffset + 2ull * (size - dataOffset);
  uint8_t* buffer = static_cast<uint8_t*>(
      Host().memAlloc(SOUNDS_FRONT_ROOM + grown + SOUNDS_MELO_HEADER, __FILE__, __LINE__));
  if (!buffer) return nullptr;
  uint8_t* out = buffer + SOUNDS_FRONT_ROOM;
  std::memcpy(out, content, dataOffset);
  for (uint32_t i = dataOffset; i < size; ++i) {
    const int sample = (content[i] - 128) * 256;
    Melos_PutLE16(out + dataOffset + 2ull * (i - dataOffset), static_cast<uint16_t>(sample | 0x80));
  }
  *newSize = static_cast<uint32_t>(grown);
  return buffer;
}

}  // namespace

SoundSlot* Sounds_Slot(int index) {
  return index >= 0 && index < SOUNDS_SLOTS ? &g_slots[index] : nullptr;
}

void Sounds_SetScriptIdCounter(uint32_t counter) {
  g_scriptIdCounter = counter;
}

// The next script id that no named slot holds.
int32_t Sounds_NewScriptId(void) {
  for (;;) {
    const int32_t id = SOUNDS_FIRST_SCRIPT_ID + static_cast<int32_t>(g_scriptIdCounter % 256);
    ++g_scriptIdCounter;
    bool used = false;
    for (const SoundSlot& s : g_slots) used = used || (s.name[0] && s.scriptId == id);
    if (!used) return id;
  }
}

int Sounds_LoadIntoSlot(int index) {
  SoundSlot* slot = Sounds_Slot(index);
  if (!slot || !slot->name[0]) return 0;
  if (slot->buffer) return index + SOUNDS_SLOT_ID;  // loaded already
  SoundSlot& s = *slot;
  s.effectApplied = 0;
  const McmpHandle file = Mcmp_Open(s.name, "rb");
  if (!file.IsOpen()) {
    ClearSlot(s);
    return 0;
  }
  s.lastUse = kv_Platform_GetTicks();
  char lip[260];
  Sounds_LipName(s.name, lip, sizeof lip);
  Sounds_BindLipSync(lip, s.scriptId);

  const int64_t size = Mcmp_Size(file);
  uint8_t* buffer = nullptr;
  if (size <= 0 || size > kMaxResidentFile) {
    kv_Log_Printf("[Sounds] - %s: %lld bytes cannot be a resident sound", s.name,
                  static_cast<long long>(size));
  } else {
    buffer = static_cast<uint8_t*>(
        Host().memAlloc(SOUNDS_FRONT_ROOM + size + SOUNDS_MELO_HEADER, __FILE__, __LINE__));
  }
  if (buffer && Mcmp_Read(file, buffer + SOUNDS_FRONT_ROOM, static_cast<uint32_t>(size)) != size) {
    kv_Log_Printf("[Sounds] - %s: the file could not be read whole", s.name);
    Host().memFree(buffer);
    buffer = nullptr;
  }
  Mcmp_Close(file);
  if (!buffer) {
    FreeSlotData(s);
    return 0;
  }

  uint32_t fileSize = static_cast<uint32_t>(size);
  SoundHeader h{};
  const int type = Sound_ReadHeader(buffer + SOUNDS_FRONT_ROOM, fileSize, &h);
  const bool formatOk =
      (h.bits == 8 || h.bits == 16) && (h.channels == 1 || h.channels == 2) && h.rate > 0;
  if ((type != SOUND_MELO && type != SOUND_WAVE) || !formatOk) {
    kv_Log_Printf("[Sounds] - %s: not a Melo or WAVE sound of 8 or 16 bits, 1 or 2 channels",
                  s.name);
    Host().memFree(buffer);
    FreeSlotData(s);
    return 0;
  }
  uint32_t dataOffset = static_cast<uint32_t>(h.samples - (buffer + SOUNDS_FRONT_ROOM));
  uint32_t dataSize = h.dataSize;
  if (h.bits == 8) {
    uint32_t grown = 0;
    uint8_t* wide = Widen(buffer + SOUNDS_FRONT_ROOM, fileSize, dataOffset, &grown);
    Host().memFree(buffer);
    if (!wide) {
      FreeSlotData(s);
      return 0;
    }
    buffer = wide;
    fileSize = grown;
    dataSize *= 2;
  }
  uint8_t* content = buffer + SOUNDS_FRONT_ROOM;
  SoundSlot loaded = s;
  loaded.buffer = buffer;
  loaded.fileSize = fileSize;
  if (type == SOUND_MELO && h.bits == 16) {
    // A 16-bit Melo file plays in place.
    loaded.header = loaded.sampleBase = content;
    loaded.headerSize = loaded.loadedSize = fileSize;
  } else {
    // Converted data: a Melo header behind the data, little-endian samples.
    uint8_t* header = content + fileSize;
    MeloHeader_Write(header, SOUND_MELO, h.rate, 16, h.channels, dataSize);
    header[31] = 1;
    loaded.header = header;
    loaded.headerSize = SOUNDS_MELO_HEADER;
    loaded.sampleBase = content + dataOffset - SOUNDS_MELO_HEADER;
    loaded.loadedSize = SOUNDS_MELO_HEADER + (fileSize - dataOffset);
  }
  {
    MelosLockGuard lock;
    s = loaded;
  }
  return index + SOUNDS_SLOT_ID;
}

int Sounds_EvictSlot(void) {
  int freeSlot = -1;
  int candidate = -1;
  for (int i = SOUNDS_SLOTS - 1; i >= 0; --i) {
    const SoundSlot& s = g_slots[i];
    if (!s.name[0] || !s.buffer) {
      freeSlot = i;
      continue;
    }
    if (!Idle(i + SOUNDS_SLOT_ID)) continue;
    if (candidate < 0 || s.lastUse < g_slots[candidate].lastUse) candidate = i;
  }
  if (candidate < 0) return freeSlot;
  FreeSlotData(g_slots[candidate]);
  return candidate;
}

void Sounds_EnforceBudget(void) {
  uint64_t total = 0;
  for (const SoundSlot& s : g_slots)
    if (s.name[0] && s.buffer) total += s.fileSize;
  if (total > static_cast<uint64_t>(std::max(0, Melos_Config()[MELOS_CFG_CACHE_BUDGET])))
    Sounds_EvictSlot();
}

void Sounds_FreeAllSlots(void) {
  for (SoundSlot& s : g_slots)
    if (s.name[0] || s.buffer) FreeSlotData(s);
  g_scriptIdCounter = 0;
}

const uint8_t* Sounds_GetSlotHeader(int32_t id, uint32_t* size) {
  const SoundSlot* s = Sounds_Slot(id - SOUNDS_SLOT_ID);
  if (size) *size = s && s->header ? s->headerSize : 0;
  return s ? s->header : nullptr;
}

const uint8_t* Sounds_GetSlotSampleBase(int32_t id, uint32_t* loadedSize) {
  const SoundSlot* s = Sounds_Slot(id - SOUNDS_SLOT_ID);
  if (loadedSize) *loadedSize = s && s->sampleBase ? s->loadedSize : 0;
  return s ? s->sampleBase : nullptr;
}

// ---- the file layer ---------------------------------------------------------------

namespace {

constexpr int kMcmpHandles = 32;

struct McmpEntry {
  bool used;
  stdFile_t file;
  McmpFile mcmp;
  char path[80];
};
McmpEntry g_mcmp[kMcmpHandles];
std::mutex g_mcmpLock;  // guards the search for a free entry
int g_mcmpLast = 0;

int ReadAt(void* user, uint32_t offset, void* buffer, uint32_t count) {
  const auto* e = static_cast<const McmpEntry*>(user);
  HostServices& hs = Host();
  if (hs.fileSeek(e->file, offset, 0) != 0) return 0;
  return static_cast<int>(hs.fileRead(e->file, buffer, count));
}

McmpEntry* Entry(McmpHandle h) {
  return h.entry >= 0 && h.entry < kMcmpHandles && g_mcmp[h.entry].used ? &g_mcmp[h.entry]
                                                                        : nullptr;
}

int TakeEntry() {
  std::lock_guard<std::mutex> lock(g_mcmpLock);
  for (int k = 0; k < kMcmpHandles; ++k) {
    const int i = (g_mcmpLast + k) % kMcmpHandles;
    if (!g_mcmp[i].used) {
      g_mcmp[i].used = true;
      g_mcmpLast = i;
      return i;
    }
  }
  return -1;
}

void GiveEntry(int i) {
  g_mcmp[i].mcmp = McmpFile{};
  g_mcmp[i].file = 0;
  g_mcmp[i].path[0] = 0;
  std::lock_guard<std::mutex> lock(g_mcmpLock);
  g_mcmp[i].used = false;
}

}  // namespace

McmpHandle Mcmp_Open(const char* path, const char* mode) {
  HostServices& hs = Host();
  if (!path || !mode || !hs.fileOpen) return {};
  // Files opened for writing are plain: their first bytes are never read.
  if (mode[0] == 'w' || mode[0] == 'a' || (mode[0] && mode[1] == '+'))
    return {-1, hs.fileOpen(path, mode)};
  const stdFile_t file = hs.fileOpen(path, mode);
  if (!file) return {};
  char magic[4] = {};
  if (hs.fileRead(file, magic, 4) != 4 || std::memcmp(magic, "MCMP", 4) != 0) {
    hs.fileSeek(file, 0, 0);
    return {-1, file};
  }
  const int i = TakeEntry();
  if (i < 0) {
    kv_Log_Printf("[Sounds] - %s: all %d compressed files are open", path, kMcmpHandles);
    hs.fileClose(file);
    return {};
  }
  McmpEntry& e = g_mcmp[i];
  e.file = file;
  int64_t size = -1;
  if (hs.fileSeek(file, 0, 2) == 0) size = hs.fileTell(file);
  if (size < 8 || size > 0x7FFFFFFF ||
      Mcmp_Open(&e.mcmp, ReadAt, &e, static_cast<uint32_t>(size)) != 0) {
    kv_Log_Printf("[Sounds] - %s: a damaged compressed file", path);
    hs.fileClose(file);
    GiveEntry(i);
    return {};
  }
  std::snprintf(e.path, sizeof e.path, "%s", path);
  return {i, 0};
}

int Mcmp_Read(McmpHandle handle, void* buffer, uint32_t count) {
  if (McmpEntry* e = Entry(handle)) return Mcmp_Read(&e->mcmp, buffer, count);
  if (!handle.file || !buffer) return 0;
  return static_cast<int>(Host().fileRead(handle.file, buffer, count));
}

int Mcmp_Seek(McmpHandle handle, int64_t offset, int whence) {
  if (McmpEntry* e = Entry(handle)) {
    int64_t at = 0;
    switch (whence) {
      case 0:
        at = offset;
        break;
      case 1:
        at = static_cast<int64_t>(e->mcmp.position) + offset;
        break;
      case 2:
        at = static_cast<int64_t>(e->mcmp.totalSize) + offset;
        break;
      default:
        return 1;
    }
    if (at < 0 || at > 0xFFFFFFFFll) return 1;
    Mcmp_Seek(&e->mcmp, static_cast<uint32_t>(at));
    return 0;
  }
  if (!handle.file) return 1;
  return Host().fileSeek(handle.file, offset, whence) == 0 ? 0 : 1;
}

int64_t Mcmp_Tell(McmpHandle handle) {
  if (const McmpEntry* e = Entry(handle)) return e->mcmp.position;
  return handle.file ? Host().fileTell(handle.file) : -1;
}

void Mcmp_Close(McmpHandle handle) {
  if (McmpEntry* e = Entry(handle)) {
    Host().fileClose(e->file);
    GiveEntry(handle.entry);
    return;
  }
  if (handle.file) Host().fileClose(handle.file);
}

int64_t Mcmp_Size(McmpHandle handle) {
  if (Mcmp_Seek(handle, 0, 2) != 0) return -1;
  const int64_t size = Mcmp_Tell(handle);
  if (Mcmp_Seek(handle, 0, 0) != 0) return -1;
  return size;
}

// ---- SYNC resources ---------------------------------------------------------------

SoundFileRecord* Sounds_LoadSoundFile(const char* name) {
  const McmpHandle file = Mcmp_Open(name, "rb");
  if (!file.IsOpen()) return nullptr;
  HostServices& hs = Host();
  const int64_t size = Mcmp_Size(file);
  auto* record =
      static_cast<SoundFileRecord*>(hs.memAlloc(sizeof(SoundFileRecord), __FILE__, __LINE__));
  uint8_t* data = nullptr;
  if (record && size >= 0 && size <= kMaxResidentFile)
    data = static_cast<uint8_t*>(hs.memAlloc(size > 0 ? size : 1, __FILE__, __LINE__));
  if (!record || !data || Mcmp_Read(file, data, static_cast<uint32_t>(size)) != size) {
    kv_Log_Printf("[Sounds] - %s: the sound file could not be read", name);
    Mcmp_Close(file);
    if (data) hs.memFree(data);
    if (record) hs.memFree(record);
    return nullptr;
  }
  Mcmp_Close(file);
  std::snprintf(record->name, sizeof record->name, "%s", name);
  record->size = static_cast<uint32_t>(size);
  record->data = data;
  return record;
}

void Sounds_FreeSoundFile(SoundFileRecord* record) {
  if (!record) return;
  Host().memFree(record->data);
  Host().memFree(record);
}

// ---- tracked allocations ----------------------------------------------------------

namespace {
std::vector<void*> g_tracked;
}  // namespace

void* Sounds_TrackAlloc(size_t size) {
  void* p = Host().memAlloc(size, __FILE__, __LINE__);
  if (!p) return nullptr;
  // A free entry first; the list doubles from 20 when full.
  for (void*& entry : g_tracked) {
    if (!entry) {
      entry = p;
      return p;
    }
  }
  if (g_tracked.capacity() == 0) g_tracked.reserve(20);
  if (g_tracked.size() == g_tracked.capacity()) g_tracked.reserve(g_tracked.capacity() * 2);
  g_tracked.push_back(p);
  return p;
}

void Sounds_TrackFree(void* pointer) {
  if (!pointer) return;
  for (void*& entry : g_tracked) {
    if (entry == pointer) {
      entry = nullptr;
      Host().memFree(pointer);
      return;
    }
  }
}

void Sounds_FreeTracked(void) {
  for (void* p : g_tracked)
    if (p) Host().memFree(p);
  g_tracked.clear();
  g_tracked.shrink_to_fit();
}
