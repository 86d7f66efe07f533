// The library behind a host of fuzzed bytes: one resident sound (id 100) and
// one stream file (id 10001), both the fuzzer's input, and the two stream
// memory blocks. The library starts once, without an audio device.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "melos/Melos.h"
#include "melos/MelosInternal.h"
#include "melos/MelosMixer.h"

namespace melos_fuzz {

struct Host {
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  uint32_t position = 0;
  std::vector<uint8_t> rings[3];
  MelosMemoryBlock blocks[3]{};
};
inline Host& TheHost() {
  static Host host;
  return host;
}

inline const uint8_t* Header(int32_t sound, uint32_t* size) {
  if (sound != 100 || !TheHost().data) return nullptr;
  *size = TheHost().size;
  return TheHost().data;
}
inline int32_t Seek(int32_t sound, int32_t offset, int32_t whence) {
  Host& h = TheHost();
  if (sound != 10001) return -1;
  int64_t at = whence == 2 ? int64_t{h.size} + offset
                           : (whence == 1 ? h.position + int64_t{offset} : offset);
  h.position = static_cast<uint32_t>(std::clamp<int64_t>(at, 0, h.size));
  return static_cast<int32_t>(h.position);
}
inline int32_t Read(int32_t sound, void* buffer, int32_t count) {
  Host& h = TheHost();
  if (sound != 10001 || count < 0) return 0;
  const int32_t n = std::min<int32_t>(count, static_cast<int32_t>(h.size - h.position));
  std::memcpy(buffer, h.data + h.position, static_cast<size_t>(n));
  h.position += static_cast<uint32_t>(n);
  return n;
}
inline MelosMemoryBlock* Block(int32_t index) {
  return index == 1 || index == 2 ? &TheHost().blocks[index] : nullptr;
}

// Starts the library once and points the host at data.
inline void Start(const uint8_t* data, size_t size) {
  static bool started = false;
  Host& h = TheHost();
  if (!started) {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    for (int i = 1; i <= 2; ++i) {
      h.rings[i].assign(60000, 0);
      h.blocks[i] = {h.rings[i].data(), 60000, 8000, 20000};
    }
    Melos_Config()[MELOS_CFG_LARGE_REGION_SIZE] = 60000;
    Melos_Config()[MELOS_CFG_SMALL_REGION_SIZE] = 20000;
    *Melos_HostCallbacks() = {Header, Header, nullptr, Seek, Read, Block};
    if (Melos_Init() != MELOS_SAVE_VERSION) std::abort();
    started = true;
  }
  h.data = data;
  h.size = static_cast<uint32_t>(std::min<size_t>(size, 1u << 24));
  h.position = 0;
}

// Mixes up to `blocks` output blocks of every playing track, servicing the
// streams between them.
inline void Play(int blocks) {
  for (int b = 0; b < blocks; ++b) {
    Melos_ServiceStreams();
    MelosLockGuard lock;
    MelosMixer_Clear();
    MelosTrack* t = MelosTracks_Head();
    if (!t) return;
    while (t) {
      MelosTrack* next = t->next;
      MelosDispatch_Mix(t, MELOS_BLOCK_FRAMES, 48000);
      t = next;
    }
  }
}

}  // namespace melos_fuzz
