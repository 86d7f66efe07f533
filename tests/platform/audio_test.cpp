#include <SDL.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "platform/kv_Audio.h"

namespace {

// A channel record of the test's own, for calling the mixer directly.
struct TestChannel {
  AudioChannel ch{};
  std::vector<uint8_t> ring;
  explicit TestChannel(int blockSize = 8, int blockCount = 3) : ring(blockSize * blockCount) {
    ch.buffer = ring.data();
    ch.blockSize = blockSize;
    ch.blockCount = blockCount;
    ch.totalSize = blockSize * blockCount;
    ch.freeSem = kv_Semaphore_Create(blockCount - 1);
    ch.filledSem = kv_Semaphore_Create(0);
    ch.mutex = kv_Mutex_Create();
  }
  ~TestChannel() {
    kv_Semaphore_Destroy(ch.freeSem);
    kv_Semaphore_Destroy(ch.filledSem);
    kv_Mutex_Destroy(ch.mutex);
  }
  int16_t* Samples() { return reinterpret_cast<int16_t*>(ring.data()); }
};

TEST(AudioMix, SaturatesBothWays) {
  const struct {
    int16_t a, b, sum;
  } cases[] = {{32767, 32767, 32767}, {-32768, -32768, -32768}, {1000, -200, 800}};
  for (const auto& c : cases) {
    int16_t dst = c.a;
    AudioDevice_AddSaturated(&dst, &c.b, 1);
    EXPECT_EQ(dst, c.sum);
  }
}

TEST(AudioMix, ChannelWithoutFilledBlockAddsNothingAndKeepsItsPosition) {
  AudioChannel channels[3];
  TestChannel c0, c1, c2;
  for (int16_t i = 0; i < 12; ++i) {
    c0.Samples()[i] = 100;
    c1.Samples()[i] = 10;
    c2.Samples()[i] = 1;
  }
  kv_Semaphore_Post(c0.ch.filledSem);
  kv_Semaphore_Post(c2.ch.filledSem);
  channels[0] = c0.ch;
  channels[1] = c1.ch;
  channels[2] = c2.ch;
  const int active[3] = {1, 1, 1};
  int16_t out[4];
  AudioDevice_MixChannels(channels, active, 3, reinterpret_cast<uint8_t*>(out), sizeof out);
  for (int16_t s : out) EXPECT_EQ(s, 101);
  EXPECT_EQ(channels[1].readPosition, 0);
  EXPECT_EQ(channels[0].readPosition, 8);
  // An inactive channel is skipped even with a filled token.
  kv_Semaphore_Post(c1.ch.filledSem);
  kv_Semaphore_Post(c0.ch.filledSem);
  const int onlyFirst[3] = {1, 0, 0};
  AudioDevice_MixChannels(channels, onlyFirst, 3, reinterpret_cast<uint8_t*>(out), sizeof out);
  for (int16_t s : out) EXPECT_EQ(s, 100);
}

TEST(AudioMix, RingWrapsAround) {
  TestChannel c(8, 3);  // 24-byte ring, blocks of 4 samples
  for (int16_t i = 0; i < 12; ++i) c.Samples()[i] = i;
  c.ch.readPosition = 20;  // the last two samples, then the ring's start
  AudioChannel channels[1] = {c.ch};
  const int active[1] = {1};
  kv_Semaphore_Post(c.ch.filledSem);
  int16_t out[4];
  AudioDevice_MixChannels(channels, active, 1, reinterpret_cast<uint8_t*>(out), sizeof out);
  const int16_t expected[4] = {10, 11, 0, 1};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(out[i], expected[i]) << i;
  EXPECT_EQ(channels[0].readPosition, 4);
}

TEST(AudioChannels, NoDeviceNeverBlocks) {
  // The channel layer with an audio driver that has no device.
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  setenv("SDL_AUDIODRIVER", "nonexistent-driver", 1);
  EXPECT_EQ(AudioChannel_Open(0, AUDIO_BLOCK_SIZE, AUDIO_BLOCK_COUNT), -1);
  EXPECT_EQ(AudioChannel_IsActive(0), 0);
  EXPECT_EQ(AudioChannel_TryTakeFree(0), 0) << "a ring exists: producers go on";
  AudioChannel_WaitFree(0);  // returns at once
  AudioChannel_CommitBlock(0);
  EXPECT_EQ(AudioChannel_GetReadBlock(0), 1) << "the read position moves by one block";
  EXPECT_EQ(AudioChannel_Open(3, AUDIO_BLOCK_SIZE, AUDIO_BLOCK_COUNT), -1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
}

TEST(AudioChannels, DeviceStaysOpenWhileAnyChannelUsesIt) {
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  ASSERT_EQ(AudioChannel_Open(0, AUDIO_BLOCK_SIZE, AUDIO_BLOCK_COUNT), 0);
  ASSERT_EQ(AudioChannel_Open(1, AUDIO_BLOCK_SIZE, AUDIO_BLOCK_COUNT), 0);
  EXPECT_EQ(AudioChannel_Open(1, AUDIO_BLOCK_SIZE, AUDIO_BLOCK_COUNT), 0) << "already active";
  EXPECT_NE(AudioDevice_GetId(), 0u);
  AudioChannel_Close(0);  // the channel that opened the device
  EXPECT_NE(AudioDevice_GetId(), 0u);
  EXPECT_EQ(AudioChannel_IsActive(1), 1);
  AudioChannel_Close(1);
  EXPECT_EQ(AudioDevice_GetId(), 0u);
}

// Producers blocked in AudioChannel_WaitFree, more of them than the channel
// has blocks, while the channel closes: close wakes them all and waits until
// they have left the channel's semaphores before it destroys them.
TEST(AudioChannels, CloseWakesBlockedProducersAndWaitsForThem) {
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  constexpr int kProducers = 5;
  for (int round = 0; round < 20; ++round) {
    ASSERT_EQ(AudioChannel_Open(1, AUDIO_BLOCK_SIZE, AUDIO_BLOCK_COUNT), 0);
    // Nothing is ever filled, so once the free blocks are taken every wait blocks.
    while (AudioChannel_TryTakeFree(1) == 0) {
    }
    std::atomic<int> started{0}, finished{0};
    std::vector<std::thread> producers;
    for (int i = 0; i < kProducers; ++i) {
      producers.emplace_back([&] {
        started.fetch_add(1);
        while (AudioChannel_IsActive(1)) AudioChannel_WaitFree(1);
        finished.fetch_add(1);
      });
    }
    while (started.load() < kProducers) std::this_thread::yield();
    SDL_Delay(round % 3);  // some are inside the wait, some on their way in
    AudioChannel_Close(1);
    for (int tries = 0; tries < 1000 && finished.load() < kProducers; ++tries) SDL_Delay(10);
    if (finished.load() < kProducers) {
      for (std::thread& t : producers) t.detach();  // blocked for good: leave them
      FAIL() << kProducers - finished.load() << " producers stayed blocked in round " << round;
    }
    for (std::thread& t : producers) t.join();
  }
  EXPECT_EQ(AudioDevice_GetId(), 0u);
}

// Plays a sine through the producer protocol with SDL's disk driver and finds
// it in the captured output.
TEST(AudioChannels, SineReachesTheDevice) {
  // In the test's own working folder: a shared temporary folder would let
  // another checkout's run of this test remove the capture under it.
  const std::string path = "vq_audio_capture.raw";
  std::remove(path.c_str());
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", path.c_str(), 1);
  setenv("SDL_DISKAUDIODELAY", "0", 1);
  ASSERT_EQ(AudioChannel_Open(2, AUDIO_BLOCK_SIZE, AUDIO_BLOCK_COUNT), 0);
  constexpr int kFrames = AUDIO_BLOCK_SIZE / 4;
  constexpr int kBlocks = 8;
  int phase = 0;
  for (int b = 0; b < kBlocks; ++b) {
    AudioChannel_WaitFree(2);
    auto* samples = reinterpret_cast<int16_t*>(AudioChannel_GetBuffer(2) +
                                               AudioChannel_GetWriteBlock(2) * AUDIO_BLOCK_SIZE);
    for (int f = 0; f < kFrames; ++f, ++phase) {
      const auto v = static_cast<int16_t>(std::lround(12000 * std::sin(phase * 2 * M_PI / 48.0)));
      samples[2 * f] = samples[2 * f + 1] = v;
    }
    AudioChannel_CommitBlock(2);
    AudioChannel_SignalFilled(2);
  }
  // Wait (bounded at 10 s) until the device has played every block, then
  // close at once: with no delay the disk driver writes as fast as it can.
  for (int tries = 0; tries < 1000 && AudioChannel_TryTakeFree(2) != 0; ++tries) SDL_Delay(10);
  for (int tries = 0; tries < 1000 && AudioChannel_TryTakeFree(2) != 0; ++tries) SDL_Delay(10);
  AudioChannel_Close(2);
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  std::vector<int16_t> captured;
  {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    captured.assign(reinterpret_cast<int16_t*>(bytes.data()),
                    reinterpret_cast<int16_t*>(bytes.data() + bytes.size() / 2 * 2));
  }
  std::remove(path.c_str());
  ASSERT_FALSE(captured.empty());
  // Find one whole period of the sine in the capture.
  int matches = 0;
  for (size_t i = 0; i + 96 < captured.size() && !matches; ++i) {
    if (captured[i] != 0 || captured[i + 2] <= 0) continue;
    bool ok = true;
    for (int f = 0; f < 48 && ok; ++f) {
      const auto v = static_cast<int16_t>(std::lround(12000 * std::sin(f * 2 * M_PI / 48.0)));
      ok = captured[i + 2 * f] == v && captured[i + 2 * f + 1] == v;
    }
    matches += ok;
  }
  EXPECT_EQ(matches, 1);
}

}  // namespace
