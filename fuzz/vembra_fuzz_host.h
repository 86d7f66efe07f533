// Shared pieces of the codec library's fuzz targets: a file table that
// serves the fuzzer's input from memory under any name, and a timer table
// whose timers only fire when the target fires them.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "../tests/vembra/VembraTestHost.h"
#include "vembra/vembra_Services.h"
#include "vembra/vembra_mixer.h"
#include "vembra/vembra_sound.h"
#include "vembra/vembra_timer.h"

namespace vembrafuzz {

// The input that every file opened through MemoryFilio() reads.
inline const uint8_t* g_data = nullptr;
inline size_t g_size = 0;

inline void Serve(const uint8_t* data, size_t size) {
  g_data = data;
  g_size = size;
}

struct MemFile {
  int32_t pos = 0;
};

inline VembraFilio* MemoryFilio() {
  static VembraFilio table = {
      [](const char*, const char*) -> VembraFileHandle { return new MemFile; },
      [](VembraFileHandle h) {
        delete static_cast<MemFile*>(h);
        return 0;
      },
      [](VembraFileHandle h, void* b, int32_t n) {
        auto* f = static_cast<MemFile*>(h);
        const int64_t left = std::max<int64_t>(0, int64_t(g_size) - f->pos);
        const int32_t got = int32_t(std::min<int64_t>(std::max(n, 0), left));
        if (got > 0) memcpy(b, g_data + f->pos, size_t(got));
        f->pos += got;
        return got;
      },
      [](VembraFileHandle, const void*, int32_t) { return int32_t(-1); },
      [](VembraFileHandle h) { return static_cast<MemFile*>(h)->pos; },
      [](VembraFileHandle h, int32_t o, int w) {
        auto* f = static_cast<MemFile*>(h);
        const int64_t base = w == 0 ? 0 : w == 1 ? f->pos : int64_t(g_size);
        const int64_t to = base + o;
        if (to < 0 || to > INT32_MAX) return -1;
        f->pos = int32_t(to);
        return 0;
      },
      [](VembraFileHandle) { return 0; }};
  return &table;
}

// Timers that the target fires by hand: FireOneShots runs the callback of
// every one-shot timer (the player's sync timer, which marks a frame due),
// FirePeriodic that of the others.
struct FakeTimer {
  VembraTimerCallback callback = nullptr;
  void* context = nullptr;
  uint32_t flags = 0;
};
inline std::array<FakeTimer, 20> g_timers{};

inline VembraTimerTable* FakeTimerTable() {
  static VembraTimerTable table = {
      [](VembraTimerCallback cb, int32_t, uint32_t flags, void* context) {
        for (int id = 1; id < 20; ++id) {
          if (g_timers[size_t(id)].callback) continue;
          g_timers[size_t(id)] = {cb, context, flags};
          return id;
        }
        return 0;
      },
      [](int id) {
        if (id > 0 && id < 20) g_timers[size_t(id)] = {};
      },
      nullptr,
      nullptr,
      [](int, int32_t) {},
      [](int32_t) {},
      [] { return int32_t(0); },
      [] { return kVembraTimerIncrement; },
      [](int32_t) {},
      -1};
  return &table;
}

inline void FireTimers(bool oneShots) {
  for (int id = 1; id < 20; ++id) {
    const FakeTimer t = g_timers[size_t(id)];
    if (t.callback && ((t.flags & kVembraTimerOneShot) != 0) == oneShots) t.callback(id, t.context);
  }
}

// A sound driver that opens nothing: the target mixes by hand.
inline VembraSndDriverTable* FakeDriver() {
  static VembraSndDriverTable table = {[](int, int, SoundMixFn) { return 0; },
                                       [] {},
                                       [](int) {},
                                       [] { return 127; },
                                       [] { return 0; },
                                       [] { return 24000; }};
  return &table;
}

// One block of the driver's mix (1536 frames at 48000 Hz) through the real
// mixer, whose accumulator the target made with Mixer_Init.
inline void MixOneBlock() {
  static int16_t block[2 * 1536];
  Mixer_Clear();
  Sound_Mix(1536, 48000, Mixer_AddPiece);
  Mixer_Output(block, 1536);
}

// The sound engine's timer and driver, for its module list.
inline int RegisterSoundFakes(OrnShareServices* s, const char*) {
  s->Publish("TIMER=fake", FakeTimerTable());
  s->Publish("SNDDRIVER=fake", FakeDriver());
  return 0;
}

// The framed input of the decoder targets: pieces, each with a little-endian
// length of 2 or 4 bytes in front, cut at the end of the input.
class Framed {
 public:
  Framed(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Next(int lengthBytes, const uint8_t** piece, size_t* length) {
    if (size_ - at_ < size_t(lengthBytes)) return false;
    size_t n = 0;
    for (int i = lengthBytes - 1; i >= 0; --i) n = n << 8 | data_[at_ + size_t(i)];
    at_ += size_t(lengthBytes);
    *piece = data_ + at_;
    *length = std::min(n, size_ - at_);
    at_ += *length;
    return true;
  }

 private:
  const uint8_t* data_;
  size_t size_, at_ = 0;
};

}  // namespace vembrafuzz
