// The settings registry: up to 64 named settings (string or 32-bit number)
// keyed by the Adler-32 of the name, and the bit sets of unlocked cutscenes
// (64) and concept-art pictures (128), kept in the file "registry.sav" of the
// save write directory.
//
// Names are not stored, only their checksum: two names with the same
// Adler-32 share one entry. The program's own setting names do not collide;
// a write that lands on an entry of another type is logged.
//
// One lock guards the entries and the file snapshot: the save thread writes
// "LastSavedGame" and saves the file while the main thread reads.
//
// registry.sav, little-endian, always 17180 bytes:
//   0      u32 version (2)
//   4      64 entries of 268 bytes: u32 name hash, u32 type, 260-byte value
//   17156  cutscene-unlock set, 2 x u32
//   17164  concept-art-unlock set, 4 x u32
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kRegistryEntryCount = 64;
constexpr int kRegistryValueSize = 260;
constexpr int kRegistryEntrySize = 268;
constexpr int kRegistryVersion = 2;
constexpr int kRegistryCutsceneOffset = 17156;
constexpr int kRegistryCutsceneSize = 8;
constexpr int kRegistryConceptOffset = 17164;
constexpr int kRegistryConceptSize = 16;
constexpr int kRegistryFileSize = 17180;

// Entry types.
constexpr uint32_t kRegistryTypeFree = 0;
constexpr uint32_t kRegistryTypeString = 1;
constexpr uint32_t kRegistryTypeNumber = 3;

// One setting as held in memory; the number is kept in the first four bytes
// of the value, little-endian, as in the file.
struct RegistryEntry {
  uint32_t nameHash;  // Adler-32 of the name, 0 = free entry
  uint32_t type;      // kRegistryType*
  uint8_t value[kRegistryValueSize];
};

// 1 when an entry with the name's hash exists (index = that entry); else 0
// with index = the first free entry or -1 when all 64 are in use.
int kv_Registry_Find(const char* name, int* index, uint32_t* hash);

// 1 and the stored string (cut to size - 1 characters, terminated) when the
// name's entry holds a string; else 0 and the destination is untouched.
int kv_Registry_ReadString(const char* name, char* destination, int size);
// 0 stored (at most 259 characters), -1 when the table is full (nothing changes).
int kv_Registry_WriteString(const char* name, const char* value);
// The stored number when the name's entry holds one, else the default. A
// number is read back as it was written: int as int, float as float.
int kv_Registry_ReadInt(const char* name, int defaultValue);
float kv_Registry_ReadFloat(const char* name, float defaultValue);
// 1 stored, 0 when the table is full.
int kv_Registry_WriteInt(const char* name, int value);
int kv_Registry_WriteFloat(const char* name, float value);
// The entry's type, 0 when absent.
uint32_t kv_Registry_GetType(const char* name);
int kv_Registry_IsDirty(void);

// Bits 0-63 and 0-127; out-of-range bits are ignored (set) or 0 (test).
// Unlocking does not set the dirty flag.
void kv_Registry_UnlockCutscene(int n);
int kv_Registry_IsCutsceneUnlocked(int n);
void kv_Registry_UnlockConcept(int n);
int kv_Registry_IsConceptUnlocked(int n);

void kv_Registry_GetCutsceneSetLayout(int* offset, int* size);
void kv_Registry_GetConceptSetLayout(int* offset, int* size);
int kv_Registry_GetFileSize(void);

// Writes registry.sav (a temporary file renamed over the old one). 0 on
// success (the dirty flag is cleared), non-zero on failure (it stays set).
int kv_Registry_Save(void);
// Replaces the registry by registry.sav. A missing file leaves the entries
// empty and the unlock sets as they were.
void kv_Registry_Load(void);
// Replaces the registry by file content in memory (what kv_Registry_Load does
// with the bytes it read): at most 17180 bytes are taken, missing ones count
// as 0; no data at all leaves the entries empty and the unlock sets as they were.
void kv_Registry_LoadFromBytes(const uint8_t* data, size_t size);
// The registry as file bytes (17180 of them).
void kv_Registry_Encode(uint8_t* out);
void kv_Registry_Shutdown(void);

// Empties the registry, the unlock sets and the dirty flag (tests only).
void kv_Registry_ResetForTest(void);
