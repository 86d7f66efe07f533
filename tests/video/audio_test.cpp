// The audio bridge stepped by hand over a channel of the test's own.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "video/kvaudio_AudioInterface.h"

namespace {

std::vector<uint8_t> g_block(KVAUDIO_BLOCK_BYTES);
int g_commits = 0;

void Nop(int) {}
uint8_t* Buffer(int) {
  return g_block.data();
}
int Zero(int) {
  return 0;
}
void Commit(int) {
  ++g_commits;
}
const kvaudio_Channel kFake = {Nop, Nop, Nop, Buffer, Zero, Commit, Nop, Zero};

struct FakeChannel {
  FakeChannel() {
    g_commits = 0;
    kvaudio_SetChannel(&kFake);
  }
  ~FakeChannel() { kvaudio_SetChannel(nullptr); }
};

int16_t SampleAt(const uint8_t* p) {
  return static_cast<int16_t>(p[0] | (p[1] << 8));
}

}  // namespace

TEST(KvAudio, FloatToSample) {
  const std::pair<float, int16_t> cases[] = {{1.5f, 32767}, {-1.5f, -32767}, {0.99999f, 32766},
                                             {1.0f, 32767}, {-0.5f, -16383}, {0.0f, 0}};
  for (auto [x, s] : cases) EXPECT_EQ(kvaudio_FloatToSample(x), s) << x;
}

TEST(KvAudio, BlocksAdvanceTheClockAndStarvationEndsTheSound) {
  FakeChannel fake;
  kvaudio_AudioInterface bridge(nullptr, 2, 48000, false);
  std::vector<float> samples(6143 / 2, 0.5f);  // 6142 bytes: less than a block
  bridge.QueueSamples(samples.data(), static_cast<int>(samples.size()));
  EXPECT_FALSE(bridge.Step(2000, 0));
  EXPECT_FALSE(bridge.IsFinished());  // nothing consumed yet, however long
  EXPECT_EQ(g_commits, 0);
  EXPECT_EQ(bridge.GetTime(), 0.0f);
  EXPECT_FLOAT_EQ(g_kvaudioRing.starvation.load(), 2.0f);

  bridge.QueueSamples(samples.data(), 2);  // now 6146 bytes
  EXPECT_TRUE(bridge.Step(2010, 2000));
  EXPECT_EQ(g_commits, 1);
  EXPECT_FLOAT_EQ(bridge.GetTime(), 0.032f);
  EXPECT_EQ(g_kvaudioRing.starvation.load(), 0.0f);
  EXPECT_EQ(SampleAt(g_block.data()), 16383);
  bridge.Pause();  // the clock moves with consumed audio, paused or not
  bridge.Update(5.0f);
  EXPECT_FLOAT_EQ(bridge.GetTime(), 0.032f);

  EXPECT_FALSE(bridge.Step(2300, 2010));
  EXPECT_FALSE(bridge.IsFinished());
  EXPECT_FALSE(bridge.Step(2600, 2300));  // 0.59 s without a block
  EXPECT_TRUE(bridge.IsFinished());
}

TEST(KvAudio, RingWrapsAtTwoMegabytes) {
  FakeChannel fake;
  kvaudio_AudioInterface bridge(nullptr, 2, 48000, false);
  std::vector<float> block(KVAUDIO_BLOCK_BYTES / 2, 0.0f);
  for (int i = 0; i < KVAUDIO_RING_BYTES / KVAUDIO_BLOCK_BYTES; ++i) {
    bridge.QueueSamples(block.data(), static_cast<int>(block.size()));
    ASSERT_TRUE(bridge.Step(0, 0));
  }
  // 2048 bytes remain before the end: this block continues at position 0.
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<float>(i % 100) / 200.0f;
  bridge.QueueSamples(block.data(), static_cast<int>(block.size()));
  EXPECT_EQ(g_kvaudioRing.writePosition.load(), 4096u);
  ASSERT_TRUE(bridge.Step(0, 0));
  EXPECT_EQ(g_kvaudioRing.readPosition.load(), 4096u);
  for (size_t i = 0; i < block.size(); ++i) {
    ASSERT_EQ(SampleAt(g_block.data() + 2 * i), kvaudio_FloatToSample(block[i])) << i;
  }
}

TEST(KvAudio, FullRingDropsInsteadOfOverwriting) {
  FakeChannel fake;
  kvaudio_AudioInterface bridge(nullptr, 2, 48000, false);
  std::vector<float> second(48000 * 2, 0.1f);
  for (int i = 0; i < 12; ++i) bridge.QueueSamples(second.data(), static_cast<int>(second.size()));
  EXPECT_EQ(g_kvaudioRing.bytesWritten.load(), static_cast<uint64_t>(KVAUDIO_RING_BYTES));
}

TEST(KvAudio, MonoOtherRateBecomesDeviceStereo) {
  FakeChannel fake;
  kvaudio_AudioInterface bridge(nullptr, 1, 44100, false);
  std::vector<float> second(44100);
  for (size_t i = 0; i < second.size(); ++i) second[i] = (i % 2) ? 0.5f : -0.5f;
  bridge.QueueSamples(second.data(), static_cast<int>(second.size()));
  EXPECT_EQ(g_kvaudioRing.bytesWritten.load(), 48000u * 4u);
  ASSERT_TRUE(bridge.Step(0, 0));
  for (int f = 0; f < 100; ++f) {
    EXPECT_EQ(SampleAt(&g_block[f * 4]),
              SampleAt(&g_block[f * 4 + 2]));  // both channels
  }
  EXPECT_FLOAT_EQ(bridge.GetTime(), 0.032f);
}
