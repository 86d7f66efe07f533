#include "platform/kv_Registry.h"

#include <zlib.h>

#include <array>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/kv_Log.h"
#include "platform/kv_Save.h"
#include "platform/stdByteOrder.h"

namespace {

struct RegistryState {
  std::array<RegistryEntry, kRegistryEntryCount> entries{};
  int dirty = 0;
  uint32_t cutscenes[2] = {};
  uint32_t concepts[4] = {};
};

std::mutex g_mutex;  // guards g_registry, also while the file is written
RegistryState g_registry;

uint32_t HashOf(const char* name) {
  const uLong start = adler32(0L, Z_NULL, 0);  // 1
  return static_cast<uint32_t>(
      adler32(start, reinterpret_cast<const Bytef*>(name), static_cast<uInt>(std::strlen(name))));
}

// Lookup under the lock: the entry with the hash, else the first free one.
int FindLocked(uint32_t hash, int* index) {
  int firstFree = -1;
  for (int i = 0; i < kRegistryEntryCount; ++i) {
    const uint32_t entryHash = g_registry.entries[i].nameHash;
    if (entryHash == hash) {
      *index = i;
      return 1;
    }
    if (entryHash == 0 && firstFree < 0) firstFree = i;
  }
  *index = firstFree;
  return 0;
}

// The entry that a write of the name goes to, or null when the table is full.
RegistryEntry* EntryForWrite(const char* name, uint32_t type) {
  const uint32_t hash = HashOf(name);
  int index = -1;
  const int exists = FindLocked(hash, &index);
  if (index < 0) return nullptr;
  RegistryEntry& entry = g_registry.entries[index];
  if (exists && entry.type != type) {
    // Names are not stored: a setting of another type may share this checksum.
    kv_Log_Printf("[Registry] '%s' (%08x) replaces a setting of type %u with type %u", name, hash,
                  entry.type, type);
  }
  entry.nameHash = hash;
  entry.type = type;
  std::memset(entry.value, 0, sizeof entry.value);
  return &entry;
}

// The entry of a name when it exists, else null.
const RegistryEntry* EntryForRead(const char* name) {
  if (!name) return nullptr;
  int index = -1;
  if (!FindLocked(HashOf(name), &index)) return nullptr;
  return &g_registry.entries[index];
}

void EncodeLocked(uint8_t* out) {
  std::memset(out, 0, kRegistryFileSize);
  stdLE_PutU32(out, kRegistryVersion);
  for (int i = 0; i < kRegistryEntryCount; ++i) {
    uint8_t* p = out + 4 + i * kRegistryEntrySize;
    stdLE_PutU32(p, g_registry.entries[i].nameHash);
    stdLE_PutU32(p + 4, g_registry.entries[i].type);
    std::memcpy(p + 8, g_registry.entries[i].value, kRegistryValueSize);
  }
  for (int i = 0; i < 2; ++i)
    stdLE_PutU32(out + kRegistryCutsceneOffset + 4 * i, g_registry.cutscenes[i]);
  for (int i = 0; i < 4; ++i)
    stdLE_PutU32(out + kRegistryConceptOffset + 4 * i, g_registry.concepts[i]);
}

int WriteNumber(const char* name, uint32_t bits) {
  if (!name) return 0;
  std::lock_guard<std::mutex> lock(g_mutex);
  RegistryEntry* entry = EntryForWrite(name, kRegistryTypeNumber);
  if (!entry) return 0;
  stdLE_PutU32(entry->value, bits);
  g_registry.dirty = 1;
  return 1;
}

}  // namespace

int kv_Registry_Find(const char* name, int* index, uint32_t* hash) {
  if (!name) return 0;
  const uint32_t h = HashOf(name);
  int i = -1;
  int found;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    found = FindLocked(h, &i);
  }
  if (index) *index = i;
  if (hash) *hash = h;
  return found;
}

int kv_Registry_ReadString(const char* name, char* destination, int size) {
  if (!destination || size <= 0) return 0;
  std::lock_guard<std::mutex> lock(g_mutex);
  // Only a string entry answers: a number's bytes are no text.
  const RegistryEntry* entry = EntryForRead(name);
  if (!entry || entry->type != kRegistryTypeString) return 0;
  // A stored value need not hold a terminator: never read past its 260 bytes.
  const char* text = reinterpret_cast<const char*>(entry->value);
  size_t length = strnlen(text, kRegistryValueSize - 1);
  if (length > static_cast<size_t>(size - 1)) length = size - 1;
  std::memcpy(destination, text, length);
  destination[length] = '\0';
  return 1;
}

int kv_Registry_WriteString(const char* name, const char* value) {
  if (!name) return -1;
  if (!value) value = "";
  std::lock_guard<std::mutex> lock(g_mutex);
  RegistryEntry* entry = EntryForWrite(name, kRegistryTypeString);
  if (!entry) return -1;
  const size_t length = strnlen(value, kRegistryValueSize - 1);
  std::memcpy(entry->value, value, length);  // the rest of the value is zero
  g_registry.dirty = 1;
  return 0;
}

// Numbers give the entry's stored 32 bits whatever its type: a float entry
// read as an int gives its bits, and the other way round.
int kv_Registry_ReadInt(const char* name, int defaultValue) {
  std::lock_guard<std::mutex> lock(g_mutex);
  const RegistryEntry* entry = EntryForRead(name);
  return entry ? static_cast<int>(stdLE_GetU32(entry->value)) : defaultValue;
}

float kv_Registry_ReadFloat(const char* name, float defaultValue) {
  std::lock_guard<std::mutex> lock(g_mutex);
  const RegistryEntry* entry = EntryForRead(name);
  if (!entry) return defaultValue;
  const uint32_t bits = stdLE_GetU32(entry->value);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

int kv_Registry_WriteInt(const char* name, int value) {
  return WriteNumber(name, static_cast<uint32_t>(value));
}

int kv_Registry_WriteFloat(const char* name, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return WriteNumber(name, bits);
}

uint32_t kv_Registry_GetType(const char* name) {
  if (!name) return kRegistryTypeFree;
  std::lock_guard<std::mutex> lock(g_mutex);
  int index = -1;
  return FindLocked(HashOf(name), &index) ? g_registry.entries[index].type : kRegistryTypeFree;
}

int kv_Registry_IsDirty(void) {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_registry.dirty;
}

void kv_Registry_UnlockCutscene(int n) {
  if (n < 0 || n >= 64) return;
  std::lock_guard<std::mutex> lock(g_mutex);
  g_registry.cutscenes[n / 32] |= 1u << (n % 32);
}

int kv_Registry_IsCutsceneUnlocked(int n) {
  if (n < 0 || n >= 64) return 0;
  std::lock_guard<std::mutex> lock(g_mutex);
  return (g_registry.cutscenes[n / 32] >> (n % 32)) & 1u;
}

void kv_Registry_UnlockConcept(int n) {
  if (n < 0 || n >= 128) return;
  std::lock_guard<std::mutex> lock(g_mutex);
  g_registry.concepts[n / 32] |= 1u << (n % 32);
}

int kv_Registry_IsConceptUnlocked(int n) {
  if (n < 0 || n >= 128) return 0;
  std::lock_guard<std::mutex> lock(g_mutex);
  return (g_registry.concepts[n / 32] >> (n % 32)) & 1u;
}

void kv_Registry_GetCutsceneSetLayout(int* offset, int* size) {
  if (offset) *offset = kRegistryCutsceneOffset;
  if (size) *size = kRegistryCutsceneSize;
}

void kv_Registry_GetConceptSetLayout(int* offset, int* size) {
  if (offset) *offset = kRegistryConceptOffset;
  if (size) *size = kRegistryConceptSize;
}

int kv_Registry_GetFileSize(void) {
  return kRegistryFileSize;
}

void kv_Registry_Encode(uint8_t* out) {
  std::lock_guard<std::mutex> lock(g_mutex);
  EncodeLocked(out);
}

int kv_Registry_Save(void) {
  std::vector<uint8_t> buffer(kRegistryFileSize);
  // The lock is held through the write, so a save of the save thread and one
  // of the scripts never interleave and the dirty flag matches the file.
  std::lock_guard<std::mutex> lock(g_mutex);
  EncodeLocked(buffer.data());
  const int result = kv_Save_WriteRegistryFile(buffer.data(), kRegistryFileSize);
  if (result == 0) g_registry.dirty = 0;
  return result;
}

void kv_Registry_LoadFromBytes(const uint8_t* data, size_t size) {
  uint8_t file[kRegistryFileSize] = {};
  if (data && size > 0) std::memcpy(file, data, size < sizeof file ? size : sizeof file);
  bool older = false;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_registry.entries = {};
    g_registry.dirty = 0;
    if (!data || size == 0) return;
    for (int i = 0; i < kRegistryEntryCount; ++i) {
      const uint8_t* p = file + 4 + i * kRegistryEntrySize;
      RegistryEntry& entry = g_registry.entries[i];
      entry.nameHash = stdLE_GetU32(p);
      entry.type = stdLE_GetU32(p + 4);
      std::memcpy(entry.value, p + 8, kRegistryValueSize);
    }
    for (int i = 0; i < 2; ++i)
      g_registry.cutscenes[i] = stdLE_GetU32(file + kRegistryCutsceneOffset + 4 * i);
    for (int i = 0; i < 4; ++i)
      g_registry.concepts[i] = stdLE_GetU32(file + kRegistryConceptOffset + 4 * i);
    older = file[0] < kRegistryVersion;
  }
  // Files of older builds chose the window mode differently: start windowed.
  if (older) kv_Registry_WriteInt("Fullscreen", 1);
}

void kv_Registry_Load(void) {
  std::vector<uint8_t> buffer(kRegistryFileSize);
  uint32_t fileSize = 0;
  if (kv_Save_ReadRegistryFile(buffer.data(), kRegistryFileSize, &fileSize) != 0) fileSize = 0;
  kv_Registry_LoadFromBytes(fileSize ? buffer.data() : nullptr, fileSize);
}

void kv_Registry_Shutdown(void) {}

void kv_Registry_ResetForTest(void) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_registry = RegistryState{};
}
