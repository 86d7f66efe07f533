// The host's stream files, the voice stream and lip sync.
#include <gtest/gtest.h>

#include <string>

#include "SoundsTestHost.h"

using namespace melos_fixtures;

namespace {

using Voice = SoundsTest;

// Mouth shapes 'A' from 160 ms, 'B' from 320 ms, the table ending at 480 ms.
const Bytes kLip = Lip({{10, 'A'}, {20, 'B'}, {30, 0}});

TEST_F(Voice, ShapesBeforeBetweenAndAfterTheEntries) {
  WriteFile("en_x.wav", ToneWave(20000));
  WriteFile("en_x.lip", kLip);
  // A German line without its own lip file takes the English one.
  WriteFile("de_x.wav", ToneWave(20000));
  ASSERT_EQ(Sounds_StartVoice("de_x.wav", 100, 64), 0);
  // Paused, the voice stays at 0 ms: the offset alone moves through the table.
  struct Case {
    int offset;
    uint32_t shape;
  };
  for (const Case& c : {Case{0, 95}, Case{159, 95}, Case{160, 'A'}, Case{319, 'A'}, Case{320, 'B'},
                        Case{479, 'B'}, Case{480, 95}, Case{5000, 95}}) {
    EXPECT_EQ(Sounds_GetLipSyncShape(SOUNDS_VOICE, c.offset), c.shape) << c.offset;
  }
  EXPECT_EQ(Sounds_GetLipSyncShape(1111, 200), 0u);  // no binding
  EXPECT_EQ(Sounds_GetLipSyncShape(0, 200), 0u);
  // Released, the voice has no table any more.
  EXPECT_EQ(Sounds_ReleaseVoice(), SOUNDS_VOICE);
  EXPECT_EQ(Sounds_ReleaseVoice(), 0);
  EXPECT_EQ(Sounds_GetLipSyncShape(SOUNDS_VOICE, 200), 0u);
}

TEST_F(Voice, ShortOrForeignLipFilesAreRefused) {
  WriteFile("v.wav", ToneWave(2000));
  for (const Bytes& lip : {Bytes{'L', 'I', 'P', '!', 1, 0, 0, 0},
                           Bytes{'P', 'I', 'L', '!', 0, 0, 0, 0, 10, 0, 65, 0}, Bytes(2004, 'L')}) {
    WriteFile("v.lip", lip);
    ASSERT_EQ(Sounds_StartVoice("v.wav", 100, 64), 0);
    EXPECT_EQ(Sounds_GetLipSyncShape(SOUNDS_VOICE, 200), 0u) << lip.size();
  }
  EXPECT_EQ(Sounds_StartVoice("missing.wav", 100, 64), 1);
  EXPECT_EQ(Sounds_StreamFileIsOpen(SOUNDS_VOICE), 0);
}

TEST_F(Voice, ThreeResidentSoundsHaveLipSyncAndAFourthNone) {
  for (int i = 1; i <= 4; ++i) {
    const std::string base = "r" + std::to_string(i);
    WriteFile(base + ".wav", ToneWave(2000));
    WriteFile(base + ".lip", kLip);
  }
  int ids[4];
  for (int i = 0; i < 4; ++i) {
    ids[i] = Sounds_StartSpeechSound(("r" + std::to_string(i + 1) + ".wav").c_str(), 127, 2);
    ASSERT_NE(ids[i], 0);
  }
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Sounds_GetLipSyncShape(ids[i], 200), uint32_t{'A'}) << i;
  EXPECT_EQ(Sounds_GetLipSyncShape(ids[3], 200), 0u);
  // An evicted sound gives its binding back.
  Sounds_StopSound(ids[0]);
  const int32_t slot = Resolve(ids[0]);
  SlotOf(slot)->lastUse = 0;
  EXPECT_EQ(Sounds_EvictSlot(), slot - SOUNDS_SLOT_ID);
  EXPECT_EQ(Sounds_GetLipSyncShape(ids[0], 200), 0u);
}

TEST_F(Voice, ANewVoiceStopsTheOldOneAndTopsUpTheMusicFirst) {
  WriteFile("music.wav", ToneWave(300000));
  WriteFile("v1.wav", ToneWave(20000));
  WriteFile("v1.lip", Lip({{0, 'A'}, {100, 0}}));
  WriteFile("v2.wav", ToneWave(20000));
  WriteFile("v2.lip", Lip({{0, 'B'}, {100, 0}}));
  const int32_t music = Sounds_StreamFileOpen("music.wav", 0);
  ASSERT_EQ(music, 10001);
  ASSERT_EQ(Melos_StartStream(music, 126, 2), 0);
  Melos_SetParam(music, MELOS_PARAM_GROUP, 4);
  int32_t refill = 0, buffered = 0, end = 0;
  ASSERT_EQ(Melos_GetStreamInfo(music, nullptr, &refill, &buffered, &end), 0);
  EXPECT_EQ(buffered, 0);

  ASSERT_EQ(Sounds_StartVoice("v1.wav", 100, 64), 0);
  Melos_GetStreamInfo(music, nullptr, &refill, &buffered, &end);
  EXPECT_GT(buffered, refill);
  EXPECT_EQ(Sounds_GetLipSyncShape(SOUNDS_VOICE, 0), uint32_t{'A'});
  EXPECT_EQ(Melos_GetParam(SOUNDS_VOICE, MELOS_PARAM_GROUP), 2);
  EXPECT_EQ(Melos_GetParam(SOUNDS_VOICE, MELOS_PARAM_VOLUME), 100);

  ASSERT_EQ(Sounds_StartVoice("v2.wav", 90, 10), 0);
  EXPECT_EQ(Melos_GetParam(SOUNDS_VOICE, MELOS_PARAM_PLAYING), 1);
  EXPECT_EQ(Melos_GetParam(SOUNDS_VOICE, MELOS_PARAM_PAN), 10);
  EXPECT_EQ(Sounds_GetLipSyncShape(SOUNDS_VOICE, 0), uint32_t{'B'});

  // The music stream is topped up to its ring less one read chunk.
  Sounds_FillStreams();
  EXPECT_EQ(Sounds_StreamFull(), 1);
  EXPECT_EQ(Sounds_StreamHungry(), 0);

  Sounds_StopVoice();
  EXPECT_EQ(Melos_GetParam(SOUNDS_VOICE, MELOS_PARAM_PLAYING), 0);
  EXPECT_EQ(Sounds_StreamFileIsOpen(SOUNDS_VOICE), 0);
}

TEST_F(Voice, StreamFilesCountTheirUsers) {
  WriteFile("s.wav", ToneWave(100));
  WriteFile("t.wav", ToneWave(100));
  EXPECT_EQ(Sounds_StreamFileOpen("s.wav", 0), 10001);
  EXPECT_EQ(Sounds_StreamFileOpen("s.wav", 0), 10001);
  EXPECT_EQ(Sounds_StreamFileOpen("t.wav", 0), 10002);
  EXPECT_EQ(Sounds_StreamFileOpen("missing.wav", 0), 0);
  EXPECT_EQ(Sounds_StreamFileSeek(10001, 0, 2), 244);
  char buffer[8];
  EXPECT_EQ(Sounds_StreamFileSeek(10001, 4, 0), 4);
  EXPECT_EQ(Sounds_StreamFileRead(10001, buffer, 4), 4);
  EXPECT_EQ(std::string(buffer, 4), std::string("\xEC\x00\x00\x00", 4));
  EXPECT_EQ(Sounds_StreamFileRead(10003, buffer, 4), 0);
  EXPECT_EQ(Sounds_StreamFileClose(10001), 0);
  EXPECT_EQ(Sounds_StreamFileIsOpen(10001), 1);
  EXPECT_EQ(Sounds_StreamFileClose(10001), 0);
  EXPECT_EQ(Sounds_StreamFileIsOpen(10001), 0);
  EXPECT_EQ(Sounds_StreamFileClose(10001), 1);
  // A hint opens that very entry, closing what it held.
  EXPECT_EQ(Sounds_StreamFileOpen("s.wav", 10002), 10002);
  EXPECT_EQ(Sounds_StreamFileRead(10002, buffer, 4), 4);
  EXPECT_EQ(std::string(buffer, 4), "RIFF");
  EXPECT_EQ(Sounds_StreamFileOpen("missing.wav", 10002), 0);
  EXPECT_EQ(Sounds_StreamFileIsOpen(10002), 0);
}

TEST_F(Voice, StreamFilesWithLongNamesAreSharedToo) {
  // Names of 31, 32 and 60 characters, the last two alike in their first 31.
  const std::string names[] = {std::string(27, 'a') + ".wav", std::string(28, 'b') + ".wav",
                               std::string(28, 'b') + std::string(28, 'c') + ".wav"};
  for (const std::string& name : names) WriteFile(name, ToneWave(100));
  for (int i = 0; i < 3; ++i) {
    const int32_t id = 10001 + i;
    EXPECT_EQ(Sounds_StreamFileOpen(names[i].c_str(), 0), id) << names[i];
    EXPECT_EQ(Sounds_StreamFileOpen(names[i].c_str(), 0), id) << names[i];
  }
  // Each is open once with two users: two closes free it.
  for (int32_t id = 10001; id <= 10003; ++id) {
    EXPECT_EQ(Sounds_StreamFileClose(id), 0);
    EXPECT_EQ(Sounds_StreamFileIsOpen(id), 1) << id;
    EXPECT_EQ(Sounds_StreamFileClose(id), 0);
    EXPECT_EQ(Sounds_StreamFileIsOpen(id), 0) << id;
  }
}

}  // namespace
