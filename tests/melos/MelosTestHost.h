// A host for the library tests: resident sounds and stream files held in
// memory behind the host callbacks, the two stream memory blocks, a silent
// output channel (no audio device) and a shown window.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "MelosFixtures.h"
#include "melos/Melos.h"
#include "melos/MelosInternal.h"
#include "platform/kv_Audio.h"
#include "platform/kv_Platform.h"

namespace melos_fixtures {

struct TestHost {
  std::map<int32_t, Bytes> resident;
  std::map<int32_t, Bytes> files;
  std::map<int32_t, uint32_t> filePosition;
  std::vector<int32_t> reads;  // the stream ids read, in order
  Bytes ring[3];
  MelosMemoryBlock blocks[3]{};
  std::vector<std::string> callbackMarkers;

  static TestHost*& Current() {
    static TestHost* current = nullptr;
    return current;
  }
  static const uint8_t* Header(int32_t sound, uint32_t* size) {
    auto it = Current()->resident.find(sound);
    if (it == Current()->resident.end()) return nullptr;
    *size = static_cast<uint32_t>(it->second.size());
    return it->second.data();
  }
  static const uint8_t* SampleBase(int32_t sound, uint32_t* size) { return Header(sound, size); }
  static void Trigger(const char* marker, const int32_t*) {
    Current()->callbackMarkers.push_back(marker ? marker : "(deferred)");
  }
  static int32_t Seek(int32_t sound, int32_t offset, int32_t whence) {
    auto it = Current()->files.find(sound);
    if (it == Current()->files.end()) return -1;
    const int64_t size = static_cast<int64_t>(it->second.size());
    int64_t at = whence == 2 ? size + offset
                             : (whence == 1 ? Current()->filePosition[sound] + offset : offset);
    at = std::clamp<int64_t>(at, 0, size);
    Current()->filePosition[sound] = static_cast<uint32_t>(at);
    return static_cast<int32_t>(at);
  }
  static int32_t Read(int32_t sound, void* buffer, int32_t count) {
    auto it = Current()->files.find(sound);
    if (it == Current()->files.end()) return 0;
    Current()->reads.push_back(sound);
    uint32_t& at = Current()->filePosition[sound];
    const int32_t n = std::min<int32_t>(count, static_cast<int32_t>(it->second.size() - at));
    std::memcpy(buffer, it->second.data() + at, static_cast<size_t>(n));
    at += static_cast<uint32_t>(n);
    return n;
  }
  static MelosMemoryBlock* Block(int32_t index) {
    return index >= 1 && index <= 2 ? &Current()->blocks[index] : nullptr;
  }

  // Memory blocks: ring bytes, read chunk and refill threshold.
  void SetBlock(int index, int32_t size, int32_t chunk, int32_t refill) {
    ring[index].assign(static_cast<size_t>(size), 0);
    blocks[index] = {ring[index].data(), size, chunk, refill};
  }

  void Install() {
    Current() = this;
    *Melos_HostCallbacks() = {Header, SampleBase, Trigger, Seek, Read, Block};
    SetBlock(1, 100000, 44000, 20000);
    SetBlock(2, 200000, 44000, 100000);
  }
};

// Starts the library with no audio device (the output channel is silent and
// takes a block at every second heartbeat) and the window shown.
class LibraryTest : public ::testing::Test {
 protected:
  TestHost host;
  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    ASSERT_EQ(SDL_Init(SDL_INIT_EVENTS), 0);
    SetWindowShown(true);
    Melos_Config()[MELOS_CFG_TRACKS] = 8;
    Melos_Config()[MELOS_CFG_LARGE_REGION_SIZE] = 100000;
    Melos_Config()[MELOS_CFG_SMALL_REGION_SIZE] = 48000;
    host.Install();
    ASSERT_EQ(Melos_Init(), 49);
  }
  void TearDown() override {
    Melos_Terminate();
    *Melos_HostCallbacks() = {};
    SDL_Quit();
  }
  static void SetWindowShown(bool shown) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.event = shown ? SDL_WINDOWEVENT_FOCUS_GAINED : SDL_WINDOWEVENT_HIDDEN;
    SDL_PushEvent(&e);
    kv_Platform_PumpEvents();
  }
  // A resident sound of 16-bit mono DC at 48000 Hz: one region and a stop.
  void AddDc(int32_t id, int16_t value, uint32_t frames = 48000) {
    MeloBuilder m;
    m.Frmt(0, 16, 48000, 1).Regn(0, frames * 2).Stop(frames * 2);
    m.data = Pcm16(Constant(frames, value), true);
    host.resident[id] = m.Build();
  }
  // Runs heartbeats until one output block was filled; returns that block.
  std::vector<int16_t> FillBlock() {
    const int before = AudioChannel_GetWriteBlock(0);
    for (int i = 0; i < 2 && AudioChannel_GetWriteBlock(0) == before; ++i) Melos_Heartbeat();
    const int block = (AudioChannel_GetWriteBlock(0) + 2) % 3;
    const auto* p = reinterpret_cast<const int16_t*>(AudioChannel_GetBuffer(0) + block * 6144);
    return std::vector<int16_t>(p, p + 3072);
  }
  static bool Silent(const std::vector<int16_t>& b) {
    for (int16_t v : b)
      if (v) return false;
    return true;
  }
};

}  // namespace melos_fixtures
