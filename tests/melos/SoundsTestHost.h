// The music host module started for a test: plain runtime services, no audio
// device (channel 0 takes a silent block every second heartbeat) and the
// library paused, so that nothing plays on or fades while a test looks at it.
// Sound files are written by the test into its working folder.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "MelosFixtures.h"
#include "melos/Melos.h"
#include "melos/Sounds.h"
#include "melos/SoundsInternal.h"
#include "platform/kv_Platform.h"
#include "std/std.h"

namespace melos_fixtures {

inline void WriteFile(const std::string& name, const Bytes& bytes) {
  std::ofstream out(name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// A 16-bit mono WAVE of frames frames of a quiet tone at rate Hz.
inline Bytes ToneWave(size_t frames, int rate = 22050) {
  return Wave(rate, 16, 1, Pcm16(Tone(frames, 1, 3000, 50), false));
}

// A 16-bit Melo file of frames mono frames at 22050 Hz: one region that
// loops (a jump back to its start), then a stop. (A map of only a format, a
// region and a stop would look like the host's converted sounds.)
inline Bytes ToneMelo(uint32_t frames) {
  MeloBuilder m;
  m.Frmt(0, 16, 22050, 1).Regn(0, frames * 2).Jump(frames * 2, 0, 0, 0).Stop(frames * 2);
  m.data = Pcm16(Tone(frames, 1, 3000, 50), true);
  return m.Build();
}

class SoundsTest : public ::testing::Test {
 protected:
  HostServices hs_{};
  ModuleDescriptor module_{};

  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    ASSERT_EQ(SDL_Init(SDL_INIT_EVENTS), 0);
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.event = SDL_WINDOWEVENT_FOCUS_GAINED;
    SDL_PushEvent(&e);
    kv_Platform_PumpEvents();
    HostServices_CopyDefaults(&hs_);
    Sounds_SetConfig(88000, 44000, 88000, 440000, 44000, 352000, 200000, 1, 48000, 2, 300000, 9);
    ASSERT_EQ(SoundsInitialize(&hs_, &module_), 0);
    ASSERT_EQ(module_.startup(), 0);
    Melos_Pause();
  }
  void TearDown() override {
    module_.shutdown();
    SDL_Quit();
  }
  // The slot of a resolved id (100..131).
  static SoundSlot* SlotOf(int32_t id) { return Sounds_Slot(id - SOUNDS_SLOT_ID); }
  static int32_t Resolve(SoundName name) { return Sounds_ResolveSound(name); }
};

}  // namespace melos_fixtures
