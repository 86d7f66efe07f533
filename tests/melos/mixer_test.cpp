#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "MelosFixtures.h"
#include "melos/MelosFormats.h"
#include "melos/MelosMixer.h"

using namespace melos_fixtures;

namespace {

class MixerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(MelosMixer_Init(8), 0);
    MelosMixer_Clear();
  }
  void TearDown() override { MelosMixer_Free(); }
  static int32_t Acc(int frame, int channel) {
    return MelosMixer_Accumulator()[2 * frame + channel];
  }
};

TEST_F(MixerTest, PanTableRows) {
  const int row8[17] = {4, 10, 16, 22, 28, 34, 39, 44, 49, 53, 57, 60, 63, 65, 66, 67, 67};
  const int row16[17] = {4, 16, 28, 41, 52, 64, 75, 85, 94, 102, 110, 116, 122, 126, 129, 131, 131};
  for (int j = 0; j <= 16; ++j) {
    EXPECT_EQ(MelosMixer_PanEntry(0, j), 4);
    EXPECT_EQ(MelosMixer_PanEntry(8, j), row8[j]);
    EXPECT_EQ(MelosMixer_PanEntry(16, j), row16[j]);
  }
}

TEST_F(MixerTest, VolumeAndPanMultipliers) {
  const Bytes one = Pcm16(Constant(4, 1), false);
  struct Case {
    int volume, pan, left, right;
  };
  // Volume 0 is skipped; volume 1 takes row 1; pans 63, 64 and 65.
  const int centre = MelosMixer_PanEntry(16, 8);
  for (const Case& c :
       {Case{0, 64, 0, 0}, Case{1, 64, MelosMixer_PanEntry(1, 8), MelosMixer_PanEntry(1, 8)},
        Case{1, 0, MelosMixer_PanEntry(1, 16), 4}, Case{127, 64, centre, centre},
        Case{127, 63, MelosMixer_PanEntry(16, 9), MelosMixer_PanEntry(16, 7)},
        Case{127, 65, MelosMixer_PanEntry(16, 7), MelosMixer_PanEntry(16, 9)},
        Case{127, 127, 4, MelosMixer_PanEntry(16, 16)}}) {
    MelosMixer_Clear();
    MelosMixer_Mix(one.data(), 4, 16, 1, 0, 4, 0, c.volume, c.pan);
    EXPECT_EQ(Acc(0, 0), c.left) << c.volume << " " << c.pan;
    EXPECT_EQ(Acc(0, 1), c.right) << c.volume << " " << c.pan;
  }
  // Stereo: volume + 1 on both sides, pan ignored; big-endian with swap.
  MelosMixer_Clear();
  const Bytes stereo = Pcm16({2, 3}, true);
  MelosMixer_Mix(stereo.data(), 1, 16, 2, 1, 1, 5, 99, 0);
  EXPECT_EQ(Acc(5, 0), 200);
  EXPECT_EQ(Acc(5, 1), 300);
  // 8-bit pieces are not mixed.
  MelosMixer_Clear();
  MelosMixer_Mix(stereo.data(), 1, 8, 2, 0, 1, 0, 99, 0);
  EXPECT_EQ(Acc(0, 0), 0);
}

TEST_F(MixerTest, RatePaths) {
  // Stereo ramp: frame i holds (i, -i); volume 1 gives the multiplier 2.
  std::vector<int16_t> ramp;
  for (int i = 0; i < 3072; ++i) {
    ramp.push_back(static_cast<int16_t>(i));
    ramp.push_back(static_cast<int16_t>(-i));
  }
  const Bytes src = Pcm16(ramp, false);
  // Doubling (24000 Hz: 768 source frames for 1536).
  MelosMixer_Mix(src.data(), 768, 16, 2, 0, 1536, 0, 1, 64);
  EXPECT_EQ(Acc(0, 0), 0);
  EXPECT_EQ(Acc(2, 0), 2);
  EXPECT_EQ(Acc(3, 0), 2);   // (1 + 2) >> 1
  EXPECT_EQ(Acc(3, 1), -4);  // (-1 + -2) >> 1
  EXPECT_EQ(Acc(1534, 0), 1534);
  EXPECT_EQ(Acc(1535, 0), 1534);  // the last frame twice
  // One to one, halving and 22050 Hz stepping.
  struct Case {
    int sourceFrames, frame, expect;
  };
  for (const Case& c :
       {Case{1536, 1000, 1000}, Case{3072, 700, 1400}, Case{705, 1535, 704}, Case{705, 100, 45}}) {
    MelosMixer_Clear();
    MelosMixer_Mix(src.data(), c.sourceFrames, 16, 2, 0, 1536, 0, 1, 64);
    EXPECT_EQ(Acc(c.frame, 0), 2 * c.expect) << c.sourceFrames << " " << c.frame;
  }
}

TEST_F(MixerTest, OutputCurve) {
  const int32_t values[4] = {127, 128, -128, -129};
  const int16_t expect[4] = {0, 1, 0, -1};
  int32_t* acc = MelosMixer_Accumulator();
  for (int i = 0; i < 4; ++i) acc[i] = values[i];
  acc[4] = 2000000000;  // beyond the curve: its last entry
  acc[5] = -2000000000;
  uint8_t block[MELOS_BLOCK_BYTES];
  ASSERT_EQ(MelosMixer_Output(block, MELOS_BLOCK_FRAMES), 0);
  const auto* out = reinterpret_cast<const int16_t*>(block);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(out[i], expect[i]) << values[i];
  EXPECT_EQ(out[4], MelosMixer_Curve(8 * 32768 - 1));
  EXPECT_EQ(out[5], -MelosMixer_Curve(8 * 32768 - 1));
  EXPECT_EQ(MelosMixer_Curve(100), 100);  // identity for small values
  EXPECT_EQ(MelosMixer_Curve(262136), 32767);
  EXPECT_EQ(MelosMixer_Output(nullptr, 10), -1);
}

TEST_F(MixerTest, RecorderArmsWritesAndFinishesOnSilence) {
  const std::string path = "melos_record.wav";
  ASSERT_EQ(Melos_StartRecording(path.c_str(), 1), 0);
  uint8_t block[MELOS_BLOCK_BYTES];
  MelosMixer_Output(block, MELOS_BLOCK_FRAMES);  // silence: still armed
  EXPECT_EQ(Melos_RecordingState(), 1);
  MelosMixer_Accumulator()[10] = 128 * 50;
  MelosMixer_Output(block, MELOS_BLOCK_FRAMES);  // sound: recording
  EXPECT_EQ(Melos_RecordingState(), 2);
  Melos_StopRecording();
  MelosMixer_Output(block, MELOS_BLOCK_FRAMES);  // still sound: written on
  EXPECT_EQ(Melos_RecordingState(), 3);
  MelosMixer_Clear();
  MelosMixer_Output(block, MELOS_BLOCK_FRAMES);  // silence: finished
  EXPECT_EQ(Melos_RecordingState(), 0);

  std::ifstream in(path, std::ios::binary);
  const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  SoundHeader h{};
  ASSERT_EQ(Sound_ReadHeader(file.data(), static_cast<uint32_t>(file.size()), &h), SOUND_WAVE);
  EXPECT_EQ(h.rate, 48000);
  EXPECT_EQ(h.channels, 2);
  EXPECT_EQ(h.dataSize, 2u * MELOS_BLOCK_BYTES);
  EXPECT_EQ(static_cast<int16_t>(h.samples[20] | h.samples[21] << 8), 50);
  std::remove(path.c_str());
}

}  // namespace
