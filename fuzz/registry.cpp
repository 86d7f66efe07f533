// Fuzz target of registry.sav: the input is loaded as the file's content, the
// settings are read back in every way, and the registry is encoded again.
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/kv_Registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kv_Registry_ResetForTest();
  kv_Registry_LoadFromBytes(data, size);
  static const char* const kNames[] = {"Fullscreen",  "ResolutionX",   "VoiceVolume", "StartTolve",
                                       "VoskDataDir", "LastSavedGame", "Remap0"};
  for (const char* name : kNames) {
    char small[10];
    char large[300];
    kv_Registry_ReadString(name, small, sizeof small);
    if (kv_Registry_ReadString(name, large, sizeof large) && std::strlen(large) > 259) {
      __builtin_trap();
    }
    kv_Registry_ReadInt(name, 0);
    kv_Registry_ReadFloat(name, 0.0f);
    kv_Registry_GetType(name);
  }
  for (int bit = -1; bit <= 128; ++bit) {
    kv_Registry_IsCutsceneUnlocked(bit);
    kv_Registry_IsConceptUnlocked(bit);
  }
  // Whatever was loaded encodes to a file that loads to the same bytes.
  std::vector<uint8_t> first(kRegistryFileSize), second(kRegistryFileSize);
  kv_Registry_Encode(first.data());
  kv_Registry_LoadFromBytes(first.data(), first.size());
  kv_Registry_Encode(second.data());
  if (first != second) __builtin_trap();
  kv_Registry_WriteString("FuzzName", "value");
  return 0;
}
