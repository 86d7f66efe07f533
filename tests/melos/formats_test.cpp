#include <gtest/gtest.h>

#include <cstdlib>

#include "MelosFixtures.h"
#include "melos/MelosFormats.h"
#include "melos/MelosVima.h"

using namespace melos_fixtures;

namespace {

TEST(SoundFormats, HeaderWritersByteForByte) {
  uint8_t melo[80];
  ASSERT_EQ(MeloHeader_Write(melo, SOUND_MELO, 22050, 16, 2, 1000), 80);
  const uint8_t expectMelo[80] = {
      'M', 'e', 'l', 'o', 0, 0, 0x04, 0x38, 'M', 'A', 'P',  ' ',  0,   0,   0,    56,
      'F', 'R', 'M', 'T', 0, 0, 0,    20,   0,   0,   0,    80,   0,   0,   0,    0,
      0,   0,   0,   16,  0, 0, 0x56, 0x22, 0,   0,   0,    2,    'R', 'E', 'G',  'N',
      0,   0,   0,   8,   0, 0, 0,    80,   0,   0,   0x03, 0xE8, 'S', 'T', 'O',  'P',
      0,   0,   0,   4,   0, 0, 0x04, 0x38, 'D', 'A', 'T',  'A',  0,   0,   0x03, 0xE8};
  EXPECT_EQ(0, std::memcmp(melo, expectMelo, 80));

  uint8_t wave[44];
  ASSERT_EQ(MeloHeader_Write(wave, SOUND_WAVE, 48000, 16, 2, 6144), 44);
  const uint8_t expectWave[44] = {'R', 'I', 'F',  'F',  0x24, 0x18, 0,    0,    'W',  'A', 'V',
                                  'E', 'f', 'm',  't',  ' ',  16,   0,    0,    0,    1,   0,
                                  2,   0,   0x80, 0xBB, 0,    0,    0x00, 0xEE, 0x02, 0,   4,
                                  0,   16,  0,    'd',  'a',  't',  'a',  0x00, 0x18, 0,   0};
  EXPECT_EQ(0, std::memcmp(wave, expectWave, 44));

  uint8_t aiff[54];
  ASSERT_EQ(MeloHeader_Write(aiff, SOUND_AIFF, 11025, 16, 1, 200), 54);
  const uint8_t expectAiff[54] = {
      'F', 'O', 'R', 'M', 0,   0,   0, 254, 'A', 'I', 'F',  'F',  'C',  'O',  'M', 'M', 0, 0,
      0,   18,  0,   1,   0,   0,   0, 100, 0,   16,  0x40, 0x0C, 0xAC, 0x44, 0,   0,   0, 0,
      0,   0,   'S', 'S', 'N', 'D', 0, 0,   0,   208, 0,    0,    0,    0,    0,   0,   0, 0};
  EXPECT_EQ(0, std::memcmp(aiff, expectAiff, 54));
}

struct HeaderCase {
  const char* name;
  Bytes file;
  int type, rate, bits, channels, littleEndian;
  uint32_t dataSize;
};

TEST(SoundFormats, ReadHeaderTypes) {
  const Bytes pcm16 = Pcm16(Tone(500, 2, 8000, 40), false);
  const Bytes pcm8(300, 0x80);
  MeloBuilder melo;
  melo.Frmt(0, 16, 22050, 1).Regn(0, 200).Stop(200);
  melo.data = Bytes(200, 1);
  Bytes badTag = Wave(22050, 16, 1, pcm16);
  badTag[20] = 3;
  Bytes truncatedWave = Wave(22050, 16, 2, pcm16);
  truncatedWave.resize(44 + 100);
  const Bytes raw = Pcm16(Tone(4096, 2, 9000, 50), false);
  // MCMP files whose first block is the inner header alone: the data size is
  // the decoded stream's (400 frames of 16 bits, 800 bytes a channel), cut to
  // what the stream holds when the header claims more.
  Bytes meloHeader(80), waveHeader(44), waveClaimsMore(44);
  MeloHeader_Write(meloHeader.data(), SOUND_MELO, 22050, 16, 1, 800);
  MeloHeader_Write(waveHeader.data(), SOUND_WAVE, 22050, 16, 2, 1600);
  MeloHeader_Write(waveClaimsMore.data(), SOUND_WAVE, 22050, 16, 2, 5000);
  const std::vector<HeaderCase> cases = {
      {"melo", melo.Build(), 3, 22050, 16, 1, 0, 200},
      {"wave16", Wave(44100, 16, 2, pcm16), 5, 44100, 16, 2, 1, 2000},
      {"wave8", Wave(11025, 8, 1, pcm8), 5, 11025, 8, 1, 1, 300},
      {"wave tag 3", badTag, 0, 0, 0, 0, 0, 0},
      {"wave cut", truncatedWave, 5, 22050, 16, 2, 1, 100},
      {"aiff 44100", Aiff(44100, 16, 2, pcm16), 7, 44100, 16, 2, 0, 2000},
      {"aiff 48000", Aiff(48000, 16, 1, pcm16), 7, 22050, 16, 1, 0, 2000},
      {"aiff 11025", Aiff(11025, 8, 1, pcm8), 7, 11025, 8, 1, 0, 300},
      {"mcmp melo", Mcmp(meloHeader, Tone(400, 1, 1000, 30), 1, 256), 4, 22050, 16, 1, 0, 800},
      {"mcmp melo with data in the header", Mcmp(melo.Build(), Tone(400, 1, 1000, 30), 1, 256), 4,
       22050, 16, 1, 0, 200},
      {"mcmp wave", Mcmp(waveHeader, Tone(400, 2, 1000, 30), 2, 256), 6, 22050, 16, 2, 1, 1600},
      {"mcmp wave stored", Mcmp(waveHeader, Tone(400, 2, 1000, 30), 2, 256, false), 6, 22050, 16, 2,
       1, 1600},
      {"mcmp wave cut", Mcmp(waveClaimsMore, Tone(400, 2, 1000, 30), 2, 256), 6, 22050, 16, 2, 1,
       1600},
      {"raw le stereo", raw, 1, 44100, 16, 2, 1, static_cast<uint32_t>(raw.size())},
      {"riff junk", Bytes{'R', 'I', 'F', 'F', 1, 2, 3}, 0, 0, 0, 0, 0, 0},
  };
  for (const HeaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    SoundHeader h{};
    EXPECT_EQ(Sound_ReadHeader(c.file.data(), static_cast<uint32_t>(c.file.size()), &h), c.type);
    if (c.type == 0) {
      EXPECT_EQ(h.samples, nullptr);
      continue;
    }
    EXPECT_EQ(h.rate, c.rate);
    EXPECT_EQ(h.bits, c.bits);
    EXPECT_EQ(h.channels, c.channels);
    EXPECT_EQ(h.littleEndian, c.littleEndian);
    EXPECT_EQ(h.dataSize, c.dataSize);
  }
}

TEST(SoundFormats, RawGuessPicksTheSmoothReading) {
  const Bytes be = Pcm16(Tone(4096, 2, 9000, 50), true);
  RawGuess g = Sound_GuessRawFormat(be.data(), static_cast<uint32_t>(be.size()));
  EXPECT_EQ(g.bits, 16);
  EXPECT_EQ(g.channels, 2);
  EXPECT_EQ(g.littleEndian, 0);
  const Bytes mono = Pcm16(Tone(4096, 1, 9000, 50), false);
  g = Sound_GuessRawFormat(mono.data(), static_cast<uint32_t>(mono.size()));
  EXPECT_EQ(g.bits, 16);
  EXPECT_EQ(g.channels, 1);
  EXPECT_EQ(g.littleEndian, 1);
}

TEST(Vima, WorkedVector) {
  // Index 16, predictor 0, codes 0x1 and 0x9 (4 bits each).
  const uint8_t block[] = {0x10, 0x00, 0x00, 0x19};
  uint8_t out[4];
  ASSERT_EQ(Vima_DecodeBlock(block, sizeof block, out, 4), 4);
  EXPECT_EQ(static_cast<int16_t>(out[0] | out[1] << 8), 12);
  EXPECT_EQ(static_cast<int16_t>(out[2] | out[3] << 8), 2);
}

TEST(Vima, MagnitudeZeroAndUnalignedEscape) {
  // Index 0: codes 0x0 (magnitude 0) keep the predictor at 100; the escape
  // 0x7 sits at bit 8 and its literal 0x1234 starts at bit 12.
  VimaState s{0, 100};
  const uint8_t bits[] = {0x00, 0x71, 0x23, 0x40};
  int16_t out[3];
  ASSERT_EQ(Vima_Decode(bits, sizeof bits, &s, 1, 3, out), 0);
  EXPECT_EQ(out[0], 100);
  EXPECT_EQ(out[1], 100);
  EXPECT_EQ(out[2], 0x1234);
  EXPECT_EQ(s.index, 6);  // 0 - 1 clamped to 0, then + 6 for the escape
  // A stream that runs out and an index past 88 fail.
  VimaState t{0, 0};
  EXPECT_EQ(Vima_Decode(bits, 1, &t, 1, 3, out), -1);
  VimaState u{89, 0};
  EXPECT_EQ(Vima_Decode(bits, sizeof bits, &u, 1, 1, out), -1);
}

TEST(Vima, EncodeDecodeRoundTripOnATone) {
  for (int channels = 1; channels <= 2; ++channels) {
    const auto tone = Tone(2000, channels, 12000, 37);
    Bytes packed(tone.size() * 3 + 16);
    const int n = Vima_EncodeBlock(tone.data(), channels, 2000, packed.data(), packed.size());
    ASSERT_GT(n, 0);
    EXPECT_LT(static_cast<size_t>(n), tone.size() * 2);  // it does compress
    Bytes out(tone.size() * 2);
    ASSERT_EQ(Vima_DecodeBlock(packed.data(), static_cast<size_t>(n), out.data(), out.size()),
              static_cast<int>(out.size()));
    int worst = 0;
    for (size_t i = 200; i < tone.size(); ++i) {
      const int v = static_cast<int16_t>(out[2 * i] | out[2 * i + 1] << 8);
      worst = std::max(worst, std::abs(v - tone[i]));
    }
    EXPECT_LT(worst, 600) << channels;
  }
}

int ReadMemory(void* user, uint32_t offset, void* buffer, uint32_t count) {
  const auto* b = static_cast<const Bytes*>(user);
  if (offset > b->size()) return 0;
  const uint32_t n = std::min<uint32_t>(count, static_cast<uint32_t>(b->size()) - offset);
  std::memcpy(buffer, b->data() + offset, n);
  return static_cast<int>(n);
}

TEST(Mcmp, ReadsAcrossBlocksAndStopsAtTheEnd) {
  const auto tone = Tone(1000, 1, 9000, 29);
  const Bytes header = Wave(22050, 16, 1, {});
  for (bool vima : {true, false}) {
    Bytes file = Mcmp(header, tone, 1, 512, vima);
    McmpFile f;
    ASSERT_EQ(Mcmp_Open(&f, ReadMemory, &file, static_cast<uint32_t>(file.size())), 0);
    ASSERT_EQ(f.totalSize, 44u + 2000u);
    // The whole stream first, then a read across the first PCM block boundary.
    Bytes all(f.totalSize);
    ASSERT_EQ(Mcmp_Read(&f, all.data(), f.totalSize), static_cast<int>(f.totalSize));
    Mcmp_Seek(&f, 44 + 500);
    uint8_t across[24];
    ASSERT_EQ(Mcmp_Read(&f, across, sizeof across), 24);
    EXPECT_EQ(0, std::memcmp(across, all.data() + 544, 24));
    if (!vima) {
      const Bytes raw = Pcm16(tone, false);
      EXPECT_EQ(0, std::memcmp(all.data() + 44, raw.data(), raw.size()));
    }
    Mcmp_Seek(&f, f.totalSize - 10);
    uint8_t tail[64];
    EXPECT_EQ(Mcmp_Read(&f, tail, sizeof tail), 10);
    EXPECT_EQ(Mcmp_Read(&f, tail, sizeof tail), 0);
  }
}

TEST(Mcmp, DamagedFilesFailSoftly) {
  Bytes file = Mcmp(Wave(22050, 16, 1, {}), Tone(600, 1, 9000, 29), 1, 512);
  Bytes shortFile(file.begin(), file.begin() + 20);
  McmpFile f;
  EXPECT_EQ(Mcmp_Open(&f, ReadMemory, &shortFile, static_cast<uint32_t>(shortFile.size())), -1);
  // A VIMA block whose header names index 0x7F: the read stops before it.
  ASSERT_EQ(Mcmp_Open(&f, ReadMemory, &file, static_cast<uint32_t>(file.size())), 0);
  file[f.blocks[1].source] = 0x7F;
  Bytes out(f.totalSize);
  EXPECT_EQ(Mcmp_Read(&f, out.data(), f.totalSize), 44);
}

TEST(Sync, Lookup) {
  const Bytes track = Sync({{0, 1, 2}, {10, 3, 4}, {20, 5, 6}});
  const uint32_t size = static_cast<uint32_t>(track.size());
  struct Case {
    uint32_t t;
    int a, b;
  };
  for (const Case& c : {Case{0, 1, 2}, Case{100, 1, 2}, Case{160, 3, 4}, Case{200, 3, 4},
                        Case{320, 5, 6}, Case{100000, 5, 6}}) {
    int a = -1, b = -1;
    ASSERT_EQ(Sync_Lookup(track.data(), size, c.t, &a, &b), 0) << c.t;
    EXPECT_EQ(a, c.a) << c.t;
    EXPECT_EQ(b, c.b) << c.t;
  }
  int a, b;
  EXPECT_EQ(Sync_Lookup(track.data(), size, 1048576, &a, &b), -1);
  EXPECT_EQ(Sync_Lookup(track.data(), size - 1, 0, &a, &b), -1);  // count past the bytes
}

TEST(Sync, BuildFromATone) {
  const Bytes wave = Wave(22050, 16, 1, Pcm16(Tone(22050, 1, 20000, 60), false));
  Bytes out(4096);
  const int n = Sync_Build(out.data(), static_cast<uint32_t>(out.size()), wave.data(),
                           static_cast<uint32_t>(wave.size()), 30, 8, 8);
  ASSERT_GT(n, 8);
  int a, b;
  ASSERT_EQ(Sync_Lookup(out.data(), static_cast<uint32_t>(n), 100000, &a, &b), 0);
  EXPECT_EQ(a, 0);  // the closing entry
  EXPECT_EQ(b, 0);
  const Bytes stereo = Wave(22050, 16, 2, Pcm16(Tone(100, 2, 20000, 60), false));
  EXPECT_EQ(
      Sync_Build(out.data(), 4096, stereo.data(), static_cast<uint32_t>(stereo.size()), 30, 8, 8),
      0);
}

TEST(SoundFormats, FindEventAndConvertedSize) {
  MeloBuilder melo;
  melo.Frmt(0, 16, 22050, 1).Text(0, "a").Regn(0, 100).Text(100, "b").Stop(100);
  melo.data = Bytes(100, 0);
  const Bytes file = melo.Build();
  const uint8_t* map = file.data() + 8;
  const uint32_t mapSize = static_cast<uint32_t>(melo.MapLength() + 8);
  const uint8_t* second = Melo_FindEvent(map, mapSize, "TEXT", 1);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(second) + 12), "b");
  EXPECT_EQ(Melo_FindEvent(map, mapSize, "JUMP", 0), nullptr);

  const Bytes wave = Wave(22050, 8, 1, Bytes(1000, 0x80));
  // 8 -> 16 bits at the same rate, with the 80-byte Melo header.
  EXPECT_EQ(Sound_ConvertedSize(3, 0, 16, 0, wave.data(), static_cast<uint32_t>(wave.size())),
            2080u);
  EXPECT_EQ(Sound_ConvertedSize(4, 0, 16, 0, wave.data(), static_cast<uint32_t>(wave.size())),
            1040u);
  EXPECT_EQ(Sound_ConvertedSize(2, 0, 16, 0, wave.data(), static_cast<uint32_t>(wave.size())), 0u);
}

// A header whose rate, bits and channels multiply past 64 bits: the ratios
// still scale the data size (the same values, converted to themselves, keep
// it; to 22050 Hz 16-bit they shrink it to nothing), never a division by zero.
TEST(SoundFormats, ConvertedSizeOfAHugeHeaderScalesWithoutWrapping) {
  uint8_t file[80 + 100] = {};
  ASSERT_EQ(MeloHeader_Write(file, SOUND_MELO, 1 << 30, 1 << 22, 1 << 22, 100), 80);
  SoundHeader header{};
  const bool read = Sound_ReadHeader(file, sizeof file, &header) == SOUND_MELO;
  EXPECT_EQ(Sound_ConvertedSize(SOUND_MELO, 0, 0, 0, file, sizeof file), read ? 180u : 0u);
  EXPECT_EQ(Sound_ConvertedSize(SOUND_MELO, 22050, 16, 0, file, sizeof file), read ? 80u : 0u);
  EXPECT_EQ(Sound_ConvertedSize(SOUND_MCMP_MELO, 0, 0, 0, file, sizeof file), read ? 90u : 0u);
  EXPECT_EQ(Sound_ConvertedSize(SOUND_MELO, -22050, 16, 0, file, sizeof file), 0u);
}

}  // namespace
