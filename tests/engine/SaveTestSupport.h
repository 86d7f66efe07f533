// Helpers of the save and load tests: a module table of fake modules whose
// save blocks hold one known word each, frames driven by hand until the
// save-I/O state is idle, and slot files read and written in the clear.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "engine/drevMain.h"
#include "engine/drevMain_Save.h"
#include "platform/kv_Save.h"

namespace savetest {

// The word each fake module keeps and saves; a module whose slots are off
// has none (its block is empty), one set to fail answers 1.
inline uint32_t gValue[2][kModuleGroupSize];
inline bool gSlots[2][kModuleGroupSize];
inline bool gFailSave[2][kModuleGroupSize];
inline bool gFailRestore[2][kModuleGroupSize];

template <int G, int I>
struct FakeModule {
  static int Save(SaveTransferFn write) {
    if (gFailSave[G][I]) return 1;
    return write(&gValue[G][I], 4);
  }
  static int Restore(SaveTransferFn read) {
    uint32_t value = 0;
    if (read(&value, 4) != 0 || gFailRestore[G][I]) return 1;
    gValue[G][I] = value;
    return 0;
  }
  static int Init(HostServices*, ModuleDescriptor* d) {
    if (gSlots[G][I]) {
      d->save = Save;
      d->restore = Restore;
    }
    return 0;
  }
};

template <int G, size_t... I>
constexpr std::array<ModuleTableEntry, kModuleGroupSize> MakeGroup(std::index_sequence<I...>) {
  return {{{FakeModule<G, static_cast<int>(I)>::Init, "fake"}...}};
}
inline const auto kFakeA = MakeGroup<0>(std::make_index_sequence<kModuleGroupSize>());
inline const auto kFakeB = MakeGroup<1>(std::make_index_sequence<kModuleGroupSize>());

// Every block's module has slots except the cutscene glue (B5) and the sound
// module (B1); values are 100 * group + index + 1000 * generation.
inline void SetModuleValues(uint32_t generation) {
  for (int g = 0; g < 2; ++g) {
    for (int i = 0; i < kModuleGroupSize; ++i) gValue[g][i] = 1000 * generation + 100 * g + i;
  }
}

inline void InstallFakeModules(HostServices* hs, bool soundSlots = false) {
  for (int g = 0; g < 2; ++g) {
    for (int i = 0; i < kModuleGroupSize; ++i) {
      gSlots[g][i] = true;
      gFailSave[g][i] = gFailRestore[g][i] = false;
    }
  }
  gSlots[1][5] = false;
  gSlots[1][1] = soundSlots;
  SetModuleValues(1);
  drevMain_SetModuleTables(kFakeA.data(), kFakeB.data());
  ASSERT_EQ(0, drevMain_Initialize(hs, nullptr));
}

inline void RemoveFakeModules() {
  drevMain_Uninitialize();
  drevMain_SetModuleTables(nullptr, nullptr);
}

// Runs the frame's dispatch until the save-I/O state is idle and nothing is
// requested (threads are polled; the bound only catches a hang).
inline bool DriveUntilIdle() {
  const uint32_t start = SDL_GetTicks();
  for (;;) {
    drevMain_SaveDispatch();
    const bool idle = drevMain_saveIoState.load() == kSaveIoIdle && !drevMain_saveRequest.load() &&
                      !drevMain_loadRequest.load() && !drevMain_eraseRequest.load();
    if (idle) {
      drevMain_SaveDispatch();  // what the finished thread posted
      return true;
    }
    if (SDL_GetTicks() - start > 60000) return false;
    SDL_Delay(1);
  }
}

inline std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// The uncompressed game-state stream of a slot (empty when it does not uncompress).
inline std::vector<uint8_t> ReadSlotStream(int slot) {
  const std::vector<uint8_t> packed = ReadFile(kv_Save_GetGameStatePath(slot));
  std::vector<uint8_t> stream(kSaveBufferSize);
  uLongf length = stream.size();
  if (uncompress(stream.data(), &length, packed.data(), packed.size()) != Z_OK) return {};
  stream.resize(length);
  return stream;
}

// Writes a stream as the slot's game state, compressed as a save does.
inline void WriteSlotStream(int slot, const std::vector<uint8_t>& stream) {
  std::vector<uint8_t> packed(compressBound(stream.size()));
  uLongf size = packed.size();
  ASSERT_EQ(Z_OK, compress(packed.data(), &size, stream.data(), stream.size()));
  packed.resize(size);
  ASSERT_EQ(0, kv_Save_WriteSlot(slot, packed.data(), static_cast<uint32_t>(size), "test", 0, ""));
}

inline uint32_t Magic(const char (&text)[5]) {
  uint32_t v;
  std::memcpy(&v, text, 4);
  return v;
}

// Offset of the first occurrence of the magic in the stream, or -1.
inline long Find(const std::vector<uint8_t>& stream, const char (&magic)[5], size_t from = 0) {
  for (size_t i = from; i + 4 <= stream.size(); ++i) {
    if (std::memcmp(stream.data() + i, magic, 4) == 0) return static_cast<long>(i);
  }
  return -1;
}

}  // namespace savetest
