// The audio decoder, with a fake sound table that keeps every chunk.
#include "vembra/vembra_wave.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "SnmWriter.h"
#include "VembraTestHost.h"
#include "vembra/vembra_sound.h"

namespace {

using snm::Bytes;

struct Played {
  Bytes chunk;
  int key, volume, pan;
  uint32_t flags;
};
std::vector<Played> g_played;

VembraSoundTable MakeFakeSound() {
  VembraSoundTable t{};
  t.Play = [](const uint8_t* chunk, int32_t size, int key, int volume, int pan, uint32_t flags) {
    g_played.push_back({Bytes(chunk, chunk + size), key, volume, pan, flags});
    return 0;
  };
  return t;
}
VembraSoundTable g_sound = MakeFakeSound();

int RegisterFakeSound(OrnShareServices* s, const char*) {
  s->Publish("SOUND=fake", &g_sound);
  return 0;
}

const OrnModuleListEntry kModules[] = {{vembratest::RegisterTestMemory, nullptr},
                                       {RegisterFakeSound, nullptr},
                                       {vembra_wave_Register, nullptr},
                                       {nullptr, nullptr}};

int16_t Sample(const Played& p, int header, int i) {
  int16_t v;
  memcpy(&v, p.chunk.data() + header + 2 * i, 2);
  return v;
}

uint32_t BE32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

class WaveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OrnShare_Init(nullptr, kModules, nullptr, nullptr);
    ASSERT_EQ(OrnShare_Startup(), 0);
    g_played.clear();
  }
  void TearDown() override {
    OrnShare_Shutdown();
    OrnShare_UnregisterAll();
  }
  uint32_t Decode(const Bytes& payload) {
    return d->Decode(nullptr, nullptr, 0, 0, nullptr, payload.data(), int32_t(payload.size()), 0,
                     0, 0);
  }
  void Total(uint32_t bytes) {
    const Bytes p = snm::WaveFlhdPayload(bytes);
    d->Preparse(p.data(), int32_t(p.size()));
  }
  VembraFlobdec* d = vembra_wave_Table();
};

TEST_F(WaveTest, TheWorkedVector) {
  Total(4);
  // Mono, index 16, predictor 0, then the 4-bit codes 0x1 and 0x9.
  const Bytes block = {0, 0, 0, 2, 0x10, 0x00, 0x00, 0x19};
  Decode(block);
  ASSERT_EQ(g_played.size(), 1u);
  EXPECT_EQ(Sample(g_played[0], 54, 0), 12);
  EXPECT_EQ(Sample(g_played[0], 54, 1), 2);
  EXPECT_EQ(memcmp(g_played[0].chunk.data() + 46, "S6MZ", 4), 0);
  EXPECT_EQ(g_played[0].key, -1);
  EXPECT_EQ(g_played[0].volume, 127);  // SfxVolume's default
  EXPECT_EQ(g_played[0].flags, 64u);
}

TEST_F(WaveTest, AComplementedFirstByteSelectsStereo) {
  Total(8);
  // 0xF0: stereo, channel 0 at index 15 (step 31); channel 1 at index 0.
  const Bytes block = {0, 0, 0, 1, 0xF0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x11};
  Decode(block);
  ASSERT_EQ(g_played.size(), 1u);
  EXPECT_EQ(memcmp(g_played[0].chunk.data() + 46, "S6SZ", 4), 0);
  EXPECT_EQ(Sample(g_played[0], 54, 0), (31 >> 2) + (31 >> 3));
  EXPECT_EQ(Sample(g_played[0], 54, 1), (7 >> 2) + (7 >> 3));
}

TEST_F(WaveTest, AnEscapeLoadsALiteralAndStepsTheIndexBySix) {
  Total(4);
  // Index 0: code 0x7 (all magnitude bits) then 1000 as 16 bits; then the
  // code 0x1 at index 6 (step 13).
  const Bytes block = {0, 0, 0, 2, 0x00, 0x00, 0x00, 0x70, 0x3E, 0x81};
  Decode(block);
  ASSERT_EQ(g_played.size(), 1u);
  EXPECT_EQ(Sample(g_played[0], 54, 0), 1000);
  EXPECT_EQ(Sample(g_played[0], 54, 1), 1000 + (13 >> 2) + (13 >> 3));
}

TEST_F(WaveTest, ChunkHeadersAndTheSyncResetRule) {
  Total(50000);
  std::vector<int16_t> tone(735);
  for (size_t i = 0; i < tone.size(); ++i) tone[i] = int16_t(8000 * std::sin(0.05 * double(i)));
  EXPECT_EQ(Decode(snm::WavePayload(tone, 1)), 0x80u);
  EXPECT_EQ(Decode(snm::WavePayload(tone, 1)), 0x80u);  // at most 100000: every block
  ASSERT_EQ(g_played.size(), 2u);
  // The first chunk is 36 bytes longer than a later one of the same samples.
  EXPECT_EQ(g_played[0].chunk.size(), g_played[1].chunk.size() + 36);
  const uint8_t* first = g_played[0].chunk.data();
  EXPECT_EQ(BE32(first + 4), 2 * 735 + 46u);
  EXPECT_EQ(BE32(first + 22), 50000u + 36);
  EXPECT_EQ(BE32(first + 30), 12u);
  const uint8_t program[12] = {1, 8, 0, 0, 0, 0, 0, 0, 0xC3, 0x50, 5, 0};
  EXPECT_EQ(memcmp(first + 34, program, 12), 0);
  const uint8_t* later = g_played[1].chunk.data();
  EXPECT_EQ(BE32(later + 4), 2 * 735 + 10u);
  EXPECT_EQ(later[10], 1);  // chunk index
  EXPECT_EQ(later[8], 100);
  // The encoder's samples come back within the coding's error.
  for (int i = 0; i < 735; i += 50) EXPECT_NEAR(Sample(g_played[1], 18, i), tone[size_t(i)], 600);
  // Above 100000 bytes the sync is reset only before the first chunk.
  Total(200000);
  EXPECT_EQ(Decode(snm::WavePayload(tone, 1)), 0u);
  d->Reset();
  EXPECT_EQ(vembra_wave_ChunkCounter(), 0);
}

TEST_F(WaveTest, ANewStreamIdStartsOver) {
  Total(1000);
  const std::vector<int16_t> samples(10, 100);
  Decode(snm::WaveExtendedPayload(7, samples, 1));
  Decode(snm::WaveExtendedPayload(7, samples, 1));
  EXPECT_EQ(vembra_wave_ChunkCounter(), 2);
  Decode(snm::WaveExtendedPayload(8, samples, 1));
  EXPECT_EQ(vembra_wave_ChunkCounter(), 1);
  EXPECT_EQ(g_played.back().chunk.size(), 54u + 20);  // a first chunk again
}

TEST_F(WaveTest, BlocksTooLargeOrShortAreNotPlayed) {
  Total(1000);
  EXPECT_EQ(Decode({0, 0x10, 0, 0, 0, 0, 0}), 0x80u);  // a million samples
  EXPECT_EQ(Decode({0, 0}), 0x80u);
  EXPECT_EQ(Decode({0x80, 0, 0, 0, 0, 0}), 0x80u);  // extended, cut short
  EXPECT_TRUE(g_played.empty());
  // Bits missing at the block's end read as zero: every sample is written.
  Decode({0, 0, 0, 40, 0x10, 0x00, 0x00, 0x19});
  ASSERT_EQ(g_played.size(), 1u);
  EXPECT_EQ(g_played[0].chunk.size(), 54u + 80);
}

}  // namespace
