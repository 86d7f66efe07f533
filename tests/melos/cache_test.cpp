// The host's resident sound cache and its file layer: loading and converting
// sounds into slots, eviction and the budget, and MCMP files read as their
// decompressed bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "SoundsTestHost.h"
#include "melos/MelosBytes.h"
#include "melos/MelosFormats.h"

using namespace melos_fixtures;

namespace {

using ResidentCache = SoundsTest;

TEST_F(ResidentCache, WhileEverySoundPlaysTheBudgetEvictsNothing) {
  for (const char* name : {"b1.wav", "b2.wav", "b3.wav"}) WriteFile(name, ToneWave(20000));
  for (const char* name : {"b1.wav", "b2.wav", "b3.wav"})
    ASSERT_NE(Sounds_StartSound(name, 50, 1), 0);
  Melos_Config()[MELOS_CFG_CACHE_BUDGET] = 1000;
  Sounds_EnforceBudget();
  for (const char* name : {"b1.wav", "b2.wav", "b3.wav"})
    EXPECT_EQ(Sounds_IsLoaded(name), 1) << name;
  // Stopped, one of them goes at each check.
  Sounds_StopSound("b2.wav");
  Sounds_EnforceBudget();
  int loaded = 0;
  for (int i = 0; i < SOUNDS_SLOTS; ++i) loaded += Sounds_Slot(i)->buffer ? 1 : 0;
  EXPECT_EQ(loaded, 2);
}

TEST_F(ResidentCache, TheLeastRecentlyUsedIdleSlotGoesAndTheHigherOfEqualOnes) {
  for (const char* name : {"e1.wav", "e2.wav", "e3.wav"}) WriteFile(name, ToneWave(100));
  const int32_t a = Resolve("e1.wav"), b = Resolve("e2.wav"), c = Resolve("e3.wav");
  ASSERT_TRUE(a && b && c);
  SlotOf(a)->lastUse = 500;
  SlotOf(b)->lastUse = 500;
  SlotOf(c)->lastUse = 900;
  const int higher = std::max(a, b) - SOUNDS_SLOT_ID;
  EXPECT_EQ(Sounds_EvictSlot(), higher);
  EXPECT_EQ(Sounds_Slot(higher)->name[0], 0);
  EXPECT_EQ(Sounds_Slot(higher)->buffer, nullptr);
  // A playing one is never a candidate, whatever its age.
  ASSERT_EQ(Melos_StartSound(std::min(a, b), 50), 0);
  EXPECT_EQ(Sounds_EvictSlot(), c - SOUNDS_SLOT_ID);
  // Nothing idle left: the lowest free slot is given.
  EXPECT_EQ(Sounds_EvictSlot(), higher);
  EXPECT_NE(Sounds_Slot(std::min(a, b) - SOUNDS_SLOT_ID)->buffer, nullptr);
}

TEST_F(ResidentCache, OnlyMeloAndWaveFilesAreResident) {
  WriteFile("a.aif", Aiff(22050, 16, 1, Pcm16(Tone(100, 1, 3000, 50), true)));
  WriteFile("raw.pcm", Pcm16(Tone(4000, 1, 3000, 50), false));
  WriteFile("wide.wav", ToneWave(100));
  const Bytes wave24 = [] {
    Bytes b = Wave(22050, 16, 1, Bytes(300, 0));
    b[34] = 24;
    return b;
  }();
  WriteFile("w24.wav", wave24);
  for (const char* name : {"a.aif", "raw.pcm", "w24.wav", "missing.wav"}) {
    EXPECT_EQ(Sounds_StartSound(name, 50, 1), 0) << name;
    EXPECT_EQ(Resolve(name), 0) << name;
  }
  for (int i = 0; i < SOUNDS_SLOTS; ++i) EXPECT_EQ(Sounds_Slot(i)->name[0], 0) << i;
  // Names are found without regard to case.
  const int32_t id = Resolve("wide.wav");
  EXPECT_NE(id, 0);
  EXPECT_EQ(Resolve("WIDE.WAV"), id);
}

TEST_F(ResidentCache, An8BitWaveIsWidenedWithAMeloHeaderBehindIt) {
  const uint32_t n = 1000;
  Bytes samples(n);
  for (uint32_t i = 0; i < n; ++i) samples[i] = static_cast<uint8_t>(i * 7);
  WriteFile("eight.wav", Wave(11025, 8, 1, samples));
  const int32_t id = Resolve("eight.wav");
  ASSERT_NE(id, 0);
  const SoundSlot& s = *SlotOf(id);
  EXPECT_EQ(s.fileSize, 44 + 2 * n);
  const uint8_t* first = s.sampleBase + SOUNDS_MELO_HEADER;
  EXPECT_EQ(s.header, first + 2 * n);
  EXPECT_EQ(s.loadedSize, SOUNDS_MELO_HEADER + 2 * n);
  uint8_t header[80];
  MeloHeader_Write(header, SOUND_MELO, 11025, 16, 1, 2 * n);
  header[31] = 1;
  EXPECT_EQ(std::memcmp(s.header, header, 80), 0);
  for (uint32_t i : {0u, 1u, 200u, n - 1}) {
    const int expected = ((samples[i] - 128) * 256) | 0x80;
    EXPECT_EQ(static_cast<int16_t>(Melos_LE16(first + 2 * i)), static_cast<int16_t>(expected));
  }
  // It plays, with the positions of its new header.
  ASSERT_EQ(Melos_StartSound(id, 50), 0);
  EXPECT_EQ(Melos_GetParam(id, MELOS_PARAM_PLAYING), 1);
}

TEST_F(ResidentCache, A16BitMeloPlaysInPlace) {
  WriteFile("melo.mlu", ToneMelo(500));
  const int32_t id = Resolve("melo.mlu");
  ASSERT_NE(id, 0);
  const SoundSlot& s = *SlotOf(id);
  EXPECT_EQ(s.header, s.sampleBase);
  EXPECT_EQ(std::memcmp(s.header, "Melo", 4), 0);
  EXPECT_EQ(s.loadedSize, s.fileSize);
  ASSERT_EQ(Melos_StartSound(id, 50), 0);
  EXPECT_EQ(Melos_GetParam(id, MELOS_PARAM_PLAYING), 1);
}

TEST_F(ResidentCache, TheFileLayerReadsMcmpFilesDecompressed) {
  const std::vector<int16_t> pcm = Tone(3000, 2, 8000, 40);
  const Bytes inner = Wave(22050, 16, 2, Pcm16(pcm, false));
  const Bytes header(inner.begin(), inner.begin() + 44);
  WriteFile("packed.mlc", Mcmp(header, pcm, 2, 4000));
  const McmpHandle h = Mcmp_Open("packed.mlc", "rb");
  ASSERT_TRUE(h.IsOpen());
  EXPECT_GE(h.entry, 0);
  ASSERT_EQ(Mcmp_Size(h), static_cast<int64_t>(inner.size()));
  Bytes read(inner.size());
  // Across a block boundary, then to the end and past it.
  ASSERT_EQ(Mcmp_Seek(h, 3990, 0), 0);
  EXPECT_EQ(Mcmp_Read(h, read.data(), 100), 100);
  EXPECT_EQ(Mcmp_Tell(h), 4090);
  EXPECT_EQ(Mcmp_Seek(h, -100, 1), 0);
  EXPECT_EQ(Mcmp_Seek(h, 0, 7), 1);
  EXPECT_EQ(Mcmp_Seek(h, -1, 0), 1);
  ASSERT_EQ(Mcmp_Seek(h, 0, 0), 0);
  EXPECT_EQ(Mcmp_Read(h, read.data(), static_cast<uint32_t>(read.size() + 50)),
            static_cast<int>(read.size()));
  EXPECT_EQ(std::memcmp(read.data(), inner.data(), 44), 0);
  Mcmp_Close(h);
  // As a resident sound it loads like the plain WAVE.
  const int32_t id = Resolve("packed.mlc");
  ASSERT_NE(id, 0);
  EXPECT_EQ(SlotOf(id)->fileSize, inner.size());

  // Opened for writing or updating, a file is never sniffed for the magic.
  for (const char* mode : {"r+b", "ab"}) {
    const McmpHandle plain = Mcmp_Open("packed.mlc", mode);
    ASSERT_TRUE(plain.IsOpen()) << mode;
    EXPECT_EQ(plain.entry, -1) << mode;
    Mcmp_Close(plain);
  }
  const McmpHandle written = Mcmp_Open("written.mlc", "wb");
  EXPECT_TRUE(written.IsOpen());
  EXPECT_EQ(written.entry, -1);
  Mcmp_Close(written);
  // A plain file passes through unchanged.
  WriteFile("plain.bin", Bytes{1, 2, 3});
  const McmpHandle other = Mcmp_Open("plain.bin", "rb");
  EXPECT_EQ(other.entry, -1);
  EXPECT_EQ(Mcmp_Size(other), 3);
  Mcmp_Close(other);
}

TEST_F(ResidentCache, DamagedMcmpFilesAreRefused) {
  const std::vector<int16_t> pcm = Tone(1000, 1, 8000, 40);
  const Bytes inner = Wave(22050, 16, 1, Pcm16(pcm, false));
  const Bytes good = Mcmp(Bytes(inner.begin(), inner.begin() + 44), pcm, 1, 1000);
  struct Case {
    const char* what;
    size_t at;
    uint8_t value;
  };
  for (const Case& c : {Case{"block count", 5, 200}, Case{"codec index", 6 + 9, 9},
                        Case{"block size", 6 + 9 + 1, 0x7F}, Case{"names size", 6 + 9 * 3, 0x7F}}) {
    SCOPED_TRACE(c.what);
    Bytes bad = good;
    bad[c.at] = c.value;
    WriteFile("bad.mlc", bad);
    EXPECT_FALSE(Mcmp_Open("bad.mlc", "rb").IsOpen());
  }
}

}  // namespace
