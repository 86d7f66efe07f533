// The cutscene sound mixer, engine and output driver.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "VembraTestHost.h"
#include "platform/kv_Audio.h"
#include "platform/kv_Thread.h"
#include "vembra/vembra_dsnd.h"
#include "vembra/vembra_mixer.h"
#include "vembra/vembra_sound.h"
#include "vembra/vembra_timer.h"

namespace {

using Bytes = std::vector<uint8_t>;

// ---- The mixer ------------------------------------------------------------------

class MixerTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(Mixer_Init(vembratest::TestMemory(), 2, kMixerFrames * 8), 0); }
  void TearDown() override { Mixer_Free(vembratest::TestMemory()); }
  static int32_t Acc(int frame, int side) { return Mixer_Accumulator()[2 * frame + side]; }
};

TEST_F(MixerTest, OutputSaturatesHard) {
  const int32_t in[] = {4194303, 4194304, -4194304, -4194305, 127, 128, -129};
  const int16_t want[] = {32767, 32767, -32768, -32768, 0, 1, -2};
  memcpy(Mixer_Accumulator(), in, sizeof in);
  int16_t out[2 * 4] = {};
  ASSERT_EQ(Mixer_Output(out, 4), 0);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(out[i], want[i]) << i;
  EXPECT_EQ(Mixer_Output(nullptr, 4), -1);
  EXPECT_EQ(Mixer_Output(out, 0), -1);
}

TEST_F(MixerTest, PanMapsMinus127To0ZeroTo63And127To127) {
  int left, right;
  const uint8_t one[2] = {1, 0};  // a signed 16-bit sample of 1
  struct Case {
    int pan, mapped;
  };
  for (const Case& c : {Case{-127, 0}, Case{0, 63}, Case{127, 127}}) {
    Mixer_Clear();
    Mixer_AddPiece(one, 0, 1, 2, 127, c.pan, kSample16Mono);
    // The mapped pan picks the columns 8 - k and 8 + k of row 16.
    const int k = std::clamp((c.mapped >> 3) - 8 + (c.mapped > 64 ? 1 : 0), -8, 8);
    left = Mixer_PanEntry(16, 8 - k);
    right = Mixer_PanEntry(16, 8 + k);
    EXPECT_EQ(Acc(0, 0), left) << c.pan;
    EXPECT_EQ(Acc(0, 1), right) << c.pan;
  }
  EXPECT_EQ(Mixer_PanEntry(16, 16), 131);
  EXPECT_EQ(Mixer_PanEntry(0, 0), 4);
}

TEST_F(MixerTest, TheSixFormats) {
  // Each source is one frame; volume 127, pan 1 (centre): mono sources get
  // the centre multiplier on both sides, stereo ones volume + 1 = 128.
  const int m = Mixer_PanEntry(16, 8);
  struct Case {
    int format;
    Bytes frame;
    int32_t left, right;
  };
  const Case cases[] = {
      {kSample8Mono, {0xFF}, 127 * 256 * m, 127 * 256 * m},
      {kSample8Stereo, {0x80, 0x00}, 0, -128 * 256 * 128},
      {kSample16UMono, {0x00, 0x00}, -32768 * m, -32768 * m},
      {kSample16UStereo, {0x00, 0x80, 0xFF, 0xFF}, 0, 32767 * 128},
      {kSample16Mono, {0x00, 0x80}, -32768 * m, -32768 * m},
      {kSample16Stereo, {0x02, 0x00, 0xFE, 0xFF}, 2 * 128, -2 * 128},
  };
  for (const Case& c : cases) {
    Mixer_Clear();
    Mixer_AddPiece(c.frame.data(), 0, 1, int(c.frame.size()), 127, 1, c.format);
    EXPECT_EQ(Acc(0, 0), c.left) << c.format;
    EXPECT_EQ(Acc(0, 1), c.right) << c.format;
  }
  // 8-bit 0x80 adds nothing; volume 0 still takes row 0 (multiplier 4).
  Mixer_Clear();
  const uint8_t mid[2] = {0x80, 0x80};
  Mixer_AddPiece(mid, 0, 2, 2, 127, 0, kSample8Mono);
  EXPECT_EQ(Acc(1, 0), 0);
  const uint8_t eight[1] = {0x81};
  Mixer_AddPiece(eight, 0, 1, 1, 0, 0, kSample8Mono);
  EXPECT_EQ(Acc(0, 0), 256 * 4);
}

TEST_F(MixerTest, DoublingAveragesEightBitNeighbours) {
  // 24000 Hz into 48000 Hz: b0, avg, b1, b1 (the last frame twice).
  const uint8_t src[2] = {0x90, 0xA0};
  Mixer_AddPiece(src, 0, 4, 2, 127, 1, kSample8Mono);
  const int m = Mixer_PanEntry(16, 8);
  EXPECT_EQ(Acc(0, 0), 0x10 * 256 * m);
  EXPECT_EQ(Acc(1, 0), 0x18 * 256 * m);  // ((0x90 + 0xA0) << 7) ^ 0x8000
  EXPECT_EQ(Acc(2, 0), 0x20 * 256 * m);
  EXPECT_EQ(Acc(3, 0), 0x20 * 256 * m);
}

// ---- The engine, mixed by hand with a recording mixer -----------------------------

struct Piece {
  int offset, frames, bytes, volume, pan, format;
  int first;  // the first 16-bit sample of the piece (samples count bytes / 2)
};
std::vector<Piece> g_pieces;

void RecordPiece(const uint8_t* source, int offset, int frames, int bytes, int volume, int pan,
                 int format) {
  int16_t first = 0;
  if (bytes >= 2) memcpy(&first, source, 2);
  g_pieces.push_back({offset, frames, bytes, volume, pan, format, first});
}

std::vector<int32_t> g_adjusts;
int32_t g_timerTime = 0;
VembraTimerTable g_fakeTimer = {
    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, [] { return g_timerTime; },
    nullptr, [](int32_t elapsed) { g_adjusts.push_back(elapsed); }, 0};
VembraSndDriverTable g_fakeDriver = {[](int, int, SoundMixFn) { return 0; },
                                     [] {},
                                     [](int) {},
                                     [] { return 0; },
                                     [] { return 0; },
                                     [] { return 24000; }};

int RegisterFakes(OrnShareServices* s, const char*) {
  s->Publish("TIMER=fake", &g_fakeTimer);
  s->Publish("SNDDRIVER=fake", &g_fakeDriver);
  return 0;
}

const OrnModuleListEntry kEngineModules[] = {{vembratest::RegisterTestMemory, nullptr},
                                             {RegisterFakes, nullptr},
                                             {vembra_sound_Register, nullptr},
                                             {nullptr, nullptr}};

void PutBE32(Bytes& b, uint32_t v) {
  for (int i = 3; i >= 0; --i) b.push_back(uint8_t(v >> (8 * i)));
}

// Sample bytes whose 16-bit samples count up: sample k of the sound is k.
Bytes Ramp(int64_t fromByte, int32_t bytes) {
  Bytes b;
  for (int64_t i = fromByte; i < fromByte + bytes; ++i) {
    const int64_t sample = (i / 2) & 0x7FFF;
    b.push_back(uint8_t((i & 1) ? sample >> 8 : sample & 0xFF));
  }
  return b;
}

// A chunk in the long form: track, index, count, flags, volume scale, pan.
Bytes Chunk(const Bytes& data, int index, int count = 100, int track = 100,
            uint32_t extraFlags = 0) {
  Bytes c = {'P', 'S', 'A', 'D'};
  PutBE32(c, uint32_t(data.size() + 10));
  for (int v : {track, index, count, int(extraFlags)}) {
    c.push_back(uint8_t(v));
    c.push_back(uint8_t(v >> 8));
  }
  c.push_back(128);  // volume x 128 >> 7: the caller's volume
  c.push_back(0);
  c.insert(c.end(), data.begin(), data.end());
  return c;
}

// The sound data of a first chunk: header, program, sample tag and length,
// and the first sample bytes.
Bytes SoundData(const Bytes& program, int64_t length, const Bytes& samples,
                const char* tag = "S6MZ") {
  Bytes d = {0, 0, 0, 0};
  PutBE32(d, uint32_t(length + 24 + program.size()));
  PutBE32(d, 0);
  PutBE32(d, uint32_t(program.size()));
  d.insert(d.end(), program.begin(), program.end());
  d.insert(d.end(), tag, tag + 4);
  PutBE32(d, uint32_t(length));
  d.insert(d.end(), samples.begin(), samples.end());
  return d;
}

Bytes Play(uint32_t offset, uint32_t count) {
  Bytes p = {1, 8};
  PutBE32(p, offset);
  PutBE32(p, count);
  return p;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

const Bytes kEnd = {0, 0};

class SoundTest : public ::testing::Test {
 protected:
  void Open(std::vector<intptr_t> options = {}) {
    // Registering sets the defaults; options come between it and startup.
    OrnShare_Init(nullptr, kEngineModules, nullptr, nullptr);
    options.push_back(0);
    ASSERT_EQ(vembra_sound_Configure(options.data()), 0);
    ASSERT_EQ(OrnShare_Startup(), 0);
    g_pieces.clear();
    g_adjusts.clear();
  }
  void TearDown() override {
    OrnShare_Shutdown();
    OrnShare_UnregisterAll();
  }
  static int PlayChunk(const Bytes& c, int volume = 127, uint32_t flags = 0, int key = 1) {
    return Sound_Play(c.data(), int32_t(c.size()), key, volume, 0, flags);
  }
  static void Mix(int blocks = 1) {
    for (int i = 0; i < blocks; ++i) Sound_Mix(1536, 48000, RecordPiece);
  }
  // A sound of `length` sample bytes, all of it in the first chunk.
  static Bytes WholeSound(int32_t length, const Bytes& program) {
    return Chunk(SoundData(program, length, Ramp(0, length)), 0, 1);
  }
};

TEST_F(SoundTest, ABlockAt48000AdjustsTheTimerByWholeTicks) {
  Open();
  Mix(2);
  // 1536 x 1193180 / 48000 = 38181.76 ticks: the fraction stays behind.
  EXPECT_EQ(g_adjusts, (std::vector<int32_t>{38181, 38182}));
}

TEST_F(SoundTest, PlaysPiecesAndAdvancesTheVoiceClock) {
  Open();
  ASSERT_EQ(PlayChunk(WholeSound(4000, Cat({Play(0, 4000), kEnd}))), 0);
  Mix(4);
  // At the default rate 24000, 768 frames (1536 bytes) fill a block of 1536.
  ASSERT_EQ(g_pieces.size(), 3u);
  EXPECT_EQ(g_pieces[0].first, 0);
  EXPECT_EQ(g_pieces[0].frames, 1536);
  EXPECT_EQ(g_pieces[0].bytes, 1536);
  EXPECT_EQ(g_pieces[0].volume, 127);
  EXPECT_EQ(g_pieces[1].first, 768);
  EXPECT_EQ(g_pieces[2].bytes, 4000 - 3072);
  EXPECT_EQ(g_pieces[2].frames, 928);
  EXPECT_EQ(Sound_VoiceState(0), kVoiceFree);  // the program ended it
  // The clock reads the position three mixes ago: after block 2, 3072 bytes.
  EXPECT_EQ(Sound_GetVoiceTimeMs(0), 3072 / 2 * 1000 / 24000);
}

TEST_F(SoundTest, AReplacedSoundFadesOutAsTheNewOneFadesIn) {
  Open();
  ASSERT_EQ(PlayChunk(WholeSound(100000, Cat({Play(0, 100000), kEnd}))), 0);
  Mix(20);
  ASSERT_EQ(Sound_VoiceFade(0), 16);
  g_pieces.clear();
  // A new first chunk on the single voice.
  ASSERT_EQ(PlayChunk(WholeSound(100000, Cat({Play(50000, 50000), kEnd}))), 0);
  // Each block mixes the tail first while it lasts, then the new sound.
  std::vector<int> tailVolumes, newVolumes;
  for (int block = 0; block < 17; ++block) {
    g_pieces.clear();
    Mix();
    ASSERT_FALSE(g_pieces.empty());
    if (g_pieces.size() == 2) tailVolumes.push_back(g_pieces[0].volume);
    newVolumes.push_back(g_pieces.back().volume);
  }
  // The old sound's 6144 bytes go in four blocks of 1536 bytes, fading out.
  EXPECT_EQ(tailVolumes, (std::vector<int>{127, 95, 63, 31}));
  // The new one rises by one sixteenth per piece.
  ASSERT_EQ(newVolumes.size(), 17u);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(newVolumes[size_t(i)], 127 * (i + 1) >> 4) << i;
  EXPECT_EQ(newVolumes[16], 127);
}

TEST_F(SoundTest, ClassOneIsDuckedWhileClassTwoPlays) {
  Open({4, 500000, 4, 500000});
  ASSERT_EQ(Sound_VoiceCount(), 2);
  ASSERT_EQ(PlayChunk(WholeSound(200000, Cat({Play(0, 200000), kEnd})), 127, kSoundClassDucked, 1),
            0);
  ASSERT_EQ(PlayChunk(WholeSound(30000, Cat({Play(0, 30000), kEnd})), 127, kSoundClassDucking, 2),
            0);
  std::vector<int> levels;
  for (int i = 0; i < 6; ++i) {
    Mix();
    levels.push_back(Sound_DuckLevel());
  }
  EXPECT_EQ(levels, (std::vector<int>{208, 160, 112, 64, 64, 64}));
  Sound_StopKey(2);
  levels.clear();
  for (int i = 0; i < 3; ++i) {
    Mix();
    levels.push_back(Sound_DuckLevel());
  }
  EXPECT_EQ(levels, (std::vector<int>{76, 88, 100}));
  // The ducked voice plays at its volume x level >> 8.
  g_pieces.clear();
  Mix();
  ASSERT_FALSE(g_pieces.empty());
  EXPECT_EQ(g_pieces.back().volume, 127 * 100 >> 8);
}

TEST_F(SoundTest, ContinuationsFollowTheirIndexAndSetVolumeBelow127) {
  Open();
  ASSERT_EQ(PlayChunk(Chunk(SoundData(Cat({Play(0, 9000), kEnd}), 9000, Ramp(0, 3000)), 0), 90), 0);
  EXPECT_EQ(Sound_GetVolume(1), 90);
  EXPECT_EQ(Sound_VoiceWritten(0), 3000);
  // Out of order: index 2 before index 1 is dropped.
  EXPECT_EQ(PlayChunk(Chunk(Ramp(3000, 3000), 2), 50), -1);
  EXPECT_EQ(Sound_VoiceWritten(0), 3000);
  // 127 is not applied to a continuation, 100 is.
  EXPECT_EQ(PlayChunk(Chunk(Ramp(3000, 3000), 1), 127), 0);
  EXPECT_EQ(Sound_GetVolume(1), 90);
  EXPECT_EQ(PlayChunk(Chunk(Ramp(6000, 3000), 2), 100), 0);
  EXPECT_EQ(Sound_GetVolume(1), 100);
  EXPECT_EQ(Sound_VoiceWritten(0), 9000);
  // Another track, or a chunk that does not fit the ring, is dropped too.
  EXPECT_EQ(PlayChunk(Chunk(Ramp(0, 10), 3, 100, 7)), -1);
  EXPECT_EQ(PlayChunk(Chunk(Ramp(0, 600000), 3)), -1);
}

// A SAUD chunk is a whole sound in one chunk; one larger than every voice's
// ring still plays, from its first byte to its last.
TEST_F(SoundTest, ASingleChunkSoundLargerThanTheRingPlaysWhole) {
  Open({4, 20000});
  const int32_t length = 50000;
  const auto saud = [](int32_t bytes) {
    Bytes c = SoundData(Cat({Play(0, uint32_t(bytes)), kEnd}), bytes, Ramp(0, bytes));
    const Bytes head = {'S', 'A', 'U', 'D'};
    std::copy(head.begin(), head.end(), c.begin());
    const uint32_t size = uint32_t(c.size() - 8);
    for (int i = 0; i < 4; ++i) c[size_t(4 + i)] = uint8_t(size >> (24 - 8 * i));
    return c;
  };
  ASSERT_EQ(PlayChunk(saud(length)), 0);
  int64_t played = 0;
  int outOfOrder = 0;
  for (int block = 0; block < 100 && (block == 0 || Sound_VoiceState(0) != kVoiceFree); ++block) {
    g_pieces.clear();
    Mix();
    for (const Piece& p : g_pieces) {
      outOfOrder += p.first != played / 2;
      played += p.bytes;
    }
  }
  EXPECT_EQ(played, length);
  EXPECT_EQ(outOfOrder, 0);
  EXPECT_EQ(Sound_VoiceState(0), kVoiceFree);

  // Replaced while it plays: its tail comes from where it was.
  ASSERT_EQ(PlayChunk(saud(length)), 0);
  Mix(10);
  ASSERT_EQ(PlayChunk(saud(4000)), 0);  // fits the ring
  g_pieces.clear();
  Mix();
  ASSERT_GE(g_pieces.size(), 2u);
  EXPECT_EQ(g_pieces[0].first, 10 * 1536 / 2);
  EXPECT_EQ(g_pieces[1].first, 0);
}

TEST_F(SoundTest, StarvingVoiceWaitsAndFadesThenGoesOn) {
  Open();
  ASSERT_EQ(PlayChunk(Chunk(SoundData(Cat({Play(0, 6000), kEnd}), 6000, Ramp(0, 2000)), 0)), 0);
  Mix();  // 1536 bytes play
  g_pieces.clear();
  Mix();  // 464 bytes are there, 1536 needed
  EXPECT_EQ(Sound_VoiceState(0), kVoiceWaiting);
  EXPECT_EQ(Sound_VoiceFade(0), 15);
  ASSERT_EQ(g_pieces.size(), 1u);
  EXPECT_EQ(g_pieces[0].first, 0);  // the last piece again
  EXPECT_EQ(g_pieces[0].volume, 127 * 15 >> 4);
  ASSERT_EQ(PlayChunk(Chunk(Ramp(2000, 4000), 1)), 0);
  g_pieces.clear();
  Mix();
  EXPECT_EQ(Sound_VoiceState(0), kVoicePlaying);
  ASSERT_EQ(g_pieces.size(), 1u);
  EXPECT_EQ(g_pieces[0].first, 768);
  EXPECT_EQ(g_pieces[0].volume, 127);
}

TEST_F(SoundTest, OverrunSkipsAheadOfTheWriter) {
  Open({4, 40000});
  ASSERT_EQ(PlayChunk(Chunk(SoundData(Cat({Play(0, 200000), kEnd}), 200000, Ramp(0, 1536)), 0)), 0);
  Mix();  // position 1536
  // The writer comes within 15000 bytes of the play position, ring-wise.
  ASSERT_EQ(PlayChunk(Chunk(Ramp(1536, 15000), 1)), 0);
  ASSERT_EQ(PlayChunk(Chunk(Ramp(16536, 15000), 2)), 0);
  g_pieces.clear();
  Mix();
  // The tail of the old position first, then the piece 15000 bytes before
  // the written end.
  ASSERT_EQ(g_pieces.size(), 2u);
  EXPECT_EQ(g_pieces[0].first, 1536 / 2);
  EXPECT_EQ(g_pieces[1].first, (31536 - 15000) / 2);
}

// Programs: each case runs a program over a 20000-byte ramp and lists the
// first samples of the pieces it plays in six blocks.
TEST_F(SoundTest, CommandPrograms) {
  const auto cond = [](int op, int variable, int value, int16_t jump) {
    return Bytes{uint8_t(op), 4, uint8_t(jump >> 8), uint8_t(jump), uint8_t(variable),
                 uint8_t(value)};
  };
  const Bytes setVar = {3, 2, 5, 3};  // variable 5 := 3
  const Bytes addVar = {4, 2, 5, 1};  // variable 5 += 1
  // After set and add (12 bytes of program), a test jumps over the first play
  // (10 bytes) to the second when taken.
  const auto branch = [&](int op, int value) {
    return Cat({setVar, addVar, cond(op, 5, value, 16), Play(0, 1536), Play(4000, 1536), kEnd});
  };
  Bytes loop = {7, 18};
  for (uint32_t v : {0u, 3072u, 24000u, 1024u}) PutBE32(loop, v);
  loop.push_back(0);
  loop.push_back(25);  // to the end command once the total is played
  const Bytes back = {2, 3, 0xFF, 0xEC, 0};  // always back to the loop (-20)
  Bytes rate48 = {6, 12};
  for (uint32_t v : {100u, 3072u, 48000u}) PutBE32(rate48, v);
  struct Case {
    const char* name;
    Bytes program;
    std::vector<int> firsts;
  };
  const Case cases[] = {
      {"end", kEnd, {}},
      {"five ends", {5, 0}, {}},
      {"unknown ends", {12, 0}, {}},
      {"play then end", Cat({Play(0, 3072), kEnd}), {0, 768}},
      {"rate 48000: two pieces a block", Cat({rate48, kEnd}), {50, 818}},
      {"loop in pieces", Cat({loop, back, kEnd}), {0, 512, 768, 1024}},
      {"above taken", branch(8, 3), {2000}},
      {"above not taken", branch(8, 4), {0, 2000}},
      {"below taken", branch(9, 5), {2000}},
      {"equal taken", branch(10, 4), {2000}},
      {"not equal not taken", branch(11, 4), {0, 2000}},
      {"jump if variable", Cat({Bytes{2, 3, 0, 15, 7}, Play(0, 1536), Play(4000, 1536), kEnd}),
       {0, 2000}},
      {"jump out of the program", Cat({Bytes{2, 3, 0x10, 0, 0}, Play(0, 1536)}), {}},
      {"jumping for ever ends", Bytes{2, 3, 0, 0, 0}, {}},
      {"a command past the program's end", Bytes{1, 8, 0, 0}, {}},
  };
  for (const Case& c : cases) {
    Open();
    ASSERT_EQ(PlayChunk(WholeSound(20000, c.program)), 0) << c.name;
    Mix(6);
    std::vector<int> firsts;
    for (const Piece& p : g_pieces) firsts.push_back(p.first);
    EXPECT_EQ(firsts, c.firsts) << c.name;
    EXPECT_EQ(Sound_VoiceState(0), kVoiceFree) << c.name;
    TearDown();
  }
}

TEST_F(SoundTest, VariablesSetTheVoiceVolumeAndTheMaster) {
  Open();
  ASSERT_EQ(PlayChunk(WholeSound(20000, Cat({Bytes{3, 2, 254, 64}, Bytes{4, 2, 254, 32},
                                              Play(0, 1536), kEnd}))),
            0);
  Mix();
  ASSERT_EQ(g_pieces.size(), 1u);
  EXPECT_EQ(g_pieces[0].volume, 96);
  int index = 255, value = 0;
  EXPECT_EQ(vembra_sound_Table()->GetOption(1, &index, &value), 0);
  EXPECT_EQ(value, 127);
  EXPECT_EQ(vembra_sound_Table()->SetOption(9, 0, 0), -1);
}

TEST_F(SoundTest, HoldSilencesTheMixButNotTheClock) {
  Open();
  ASSERT_EQ(PlayChunk(WholeSound(20000, Cat({Play(0, 20000), kEnd}))), 0);
  Sound_Hold();
  Mix();
  EXPECT_TRUE(g_pieces.empty());
  EXPECT_EQ(g_adjusts.size(), 1u);
  Sound_Release();
  Sound_Release();  // never below 0
  Mix();
  EXPECT_EQ(g_pieces.size(), 1u);
  Sound_StopAll();
  g_pieces.clear();
  Mix();
  EXPECT_TRUE(g_pieces.empty());
}

// ---- The output driver ------------------------------------------------------------

std::atomic<int> g_mixes{0};
void ConstantMix(int frames, int rate, MixerAddFn add) {
  EXPECT_EQ(frames, 1536);
  EXPECT_EQ(rate, 48000);
  // A stereo block of 256 in every sample: multiplier 128, so 256 out.
  static const std::vector<int16_t> block(2 * 1536, 256);
  add(reinterpret_cast<const uint8_t*>(block.data()), 0, frames, 4 * 1536, 127, 0,
      kSample16Stereo);
  g_mixes++;
}

const OrnModuleListEntry kDriverModules[] = {{vembratest::RegisterTestMemory, nullptr},
                                             {vembra_timer_Register, nullptr},
                                             {vembra_dsnd_Register, nullptr},
                                             {nullptr, nullptr}};

class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OrnShare_Init(nullptr, kDriverModules, nullptr, nullptr);
    ASSERT_EQ(OrnShare_Startup(), 0);
    g_mixes = 0;
  }
  void TearDown() override {
    SndDriver_Close();
    OrnShare_Shutdown();
    OrnShare_UnregisterAll();
  }
};

TEST_F(DriverTest, RateIsFixedAndVolumeHasSevenBits) {
  VembraSndDriverTable* d = vembra_dsnd_Table();
  ASSERT_EQ(d->Open(22050, 1, ConstantMix), 0);
  EXPECT_EQ(d->GetRate(), 24000);
  d->SetVolume(200);
  EXPECT_EQ(d->GetVolume(), 200 & 127);
  EXPECT_EQ(d->Reserved4(), 0);
  EXPECT_EQ(d->Open(24000, 1, ConstantMix), -1);  // already open
}

TEST_F(DriverTest, AFillStepMixesIntoTheChannelsWriteBlock) {
  ASSERT_EQ(vembra_dsnd_Open(ConstantMix, false), 0);
  const int block = AudioChannel_GetWriteBlock(kDsndChannel);
  SndDriver_FillStep();
  EXPECT_EQ(g_mixes, 1);
  const auto* samples = reinterpret_cast<const int16_t*>(AudioChannel_GetBuffer(kDsndChannel) +
                                                         block * kDsndBlockBytes);
  EXPECT_EQ(samples[0], 256);
  EXPECT_EQ(samples[2 * 1536 - 1], 256);
  EXPECT_EQ(AudioChannel_GetWriteBlock(kDsndChannel), (block + 1) % kDsndBlockCount);
}

TEST_F(DriverTest, TheFillThreadStartsAndJoins) {
  ASSERT_EQ(SndDriver_Open(24000, 1, ConstantMix), 0);
  // The thread mixes whether or not a device drains the channel.
  for (int i = 0; i < 10000 && g_mixes < 3; ++i) kv_Platform_Delay(1);
  EXPECT_GE(g_mixes, 3);
  SndDriver_Close();
  const int after = g_mixes;
  kv_Platform_Delay(50);
  EXPECT_EQ(g_mixes, after);
}

}  // namespace
