// Actor talking: say-lines with voice files, text-only lines and their time,
// lip sync through the talk chores, the mumble chore, the talking slots and
// the talk settings. The music system is a recording fake; the mouth is a
// material component whose frame each talk chore sets.
#include <string>
#include <vector>

#include "CostumeTestSupport.h"
#include "platform/kv_Language.h"
#include "presentation/drevText.h"

namespace {

using namespace costumetest;

struct Voice {
  static inline std::vector<std::string> calls;
  static inline int startResult = 0;  // of the voice stream: 0 started
  static inline int speechId = 1111;  // of a speech sound: 0 did not start
  static inline uint32_t shape = 0;   // the lip-sync shape answered
  static inline int playing = 1;

  static int StartSpeech(SoundName file, int volume, int group) {
    calls.push_back("speech " + vqtest::SoundText(file) + " " + std::to_string(volume) + " " +
                    std::to_string(group));
    return speechId;
  }
  static int StartVoice(const char* file, int volume, int pan) {
    calls.push_back("voice " + std::string(file) + " " + std::to_string(volume) + " " +
                    std::to_string(pan));
    return startResult;
  }
  static int SetParam(SoundName sound, int parameter, int value) {
    calls.push_back("param " + vqtest::SoundText(sound) + " " + std::to_string(parameter) + " " +
                    std::to_string(value));
    return 0;
  }
  static int Stop(SoundName sound) {
    calls.push_back("stop " + vqtest::SoundText(sound));
    return 0;
  }
  static void StopVoice() { calls.push_back("stop voice"); }
  static int IsPlaying(SoundName) { return playing; }
  static uint32_t Shape(int, int) { return shape; }
  static int GetParam(int, int) { return playing; }
  static int Positional(SoundName sound, const qxVector3*, int minVolume, int maxVolume,
                        float range, float nearDistance) {
    calls.push_back("positional " + vqtest::SoundText(sound) + " " + std::to_string(minVolume) +
                    " " + std::to_string(maxVolume) + " " + std::to_string(range) + " " +
                    std::to_string(nearDistance));
    return 1;
  }
};

class Talk : public CostumeTest {
 protected:
  void SetUp() override {
    CostumeTest::SetUp();
    ASSERT_EQ(drevText_Initialize(&hs_, &text_), 0);
    ASSERT_EQ(text_.startup(), 0);
    Voice::calls.clear();
    Voice::startResult = 0;
    Voice::speechId = 1111;
    Voice::shape = 0;
    Voice::playing = 1;
    drevActorCalls& c = drevActor_Calls();
    c.soundStartSpeech = Voice::StartSpeech;
    c.soundStartVoice = Voice::StartVoice;
    c.soundSetParam = Voice::SetParam;
    c.soundStop = Voice::Stop;
    c.soundStopVoice = Voice::StopVoice;
    c.soundIsPlaying = Voice::IsPlaying;
    c.soundLipSyncShape = Voice::Shape;
    c.melosGetParam = Voice::GetParam;
    c.roomAddPositionalSound = Voice::Positional;
    // Talk chores 1 to 3 show mouth frames 0 to 2; chore 3 mumbles.
    ASSERT_NE(Load("talker.cos", {{MMDL, -1, "head.3do"}, {MAT, 0, "skin.mat"}},
                   {{"talk1", 100, {{1, {{0, 0}}}}},
                    {"talk2", 100, {{1, {{0, 1}}}}},
                    {"talk3", 100, {{1, {{0, 2}}}}},
                    {"mumble", 100, {{1, {{0, 1}}}}}}),
              0);
    actor_ = NewActor();
    ASSERT_EQ(drevActor_SetCostume(actor_, "talker.cos", 0), 1);
    CostumeNode* n = actor_->costumeTop;
    for (int i = 0; i < 3; ++i) n->talkChores[i] = i;
    n->mumbleChore = 3;
    code_ = kv_Language_GetCode();
    drevActor_SetSpeechMode(2);
    drevActor_SetTextSpeed(6);
  }
  // A voice file, seen by the next look-up.
  void PutVoice(const std::string& name) {
    Put(name, "x");
    stdFileUtil_ForgetAllFolders();
  }
  void TearDown() override {
    for (int i = 0; i < drevActor_GetRecordCount(); ++i) {
      Actor* a = drevActor_FromIndex(i);
      if (a && a->inUse) drevActor_ShutUp(a);
    }
    text_.shutdown();
    text_.uninitialize();
    CostumeTest::TearDown();
  }
  int Mouth() const { return Data<CostumeMaterialData>(actor_->costumeTop->instance, 1)->frame; }
  bool Mumbles() const { return Cos_InstChoreStatus(actor_->costumeTop->instance, 3) != 0; }

  ModuleDescriptor text_{};
  Actor* actor_ = nullptr;
  std::string code_;
};

TEST_F(Talk, TheSameLineIsNotRestarted) {
  PutVoice(code_ + "_ABC.wav");
  drevActor_SayLine(actor_, "/ABC/Hello there", 1, 100, 30, -1, -1);
  drevActor_SayLine(actor_, "/ABC/Hello there", 1, 100, 30, -1, -1);
  EXPECT_EQ(Voice::calls, std::vector<std::string>{"voice " + code_ + "_ABC.wav 100 30"});
  EXPECT_EQ(drevActor_CountTalking(), 1);
  EXPECT_EQ(drevActor_GetTalkingSlot(0), drevActor_ToIndex(actor_));
  EXPECT_EQ(actor_->pExtra->voiceSound, 10000);
  EXPECT_EQ(actor_->pExtra->talkTimeLeft, -1);
  // Voice only (speech mode 2): no text; without lip sync the mouth mumbles.
  EXPECT_EQ(actor_->pExtra->sayLineText, nullptr);
  EXPECT_TRUE(Mumbles());
  // Another line ends this one first.
  drevActor_SayLine(actor_, "/DEF/Bye", 1, 100, 30, -1, -1);
  EXPECT_EQ(Voice::calls[1], "stop voice");
  EXPECT_EQ(drevActor_CountTalking(), 1);
}

TEST_F(Talk, TheLocalisedVoiceFileComesFirst) {
  PutVoice("ABC.wvc");
  drevActor_SayLine(actor_, "/ABC/Hi", 1, 127, 64, -1, -1);
  ASSERT_EQ(Voice::calls.size(), 1u);
  EXPECT_EQ(Voice::calls[0], "voice ABC.wvc 127 64");
  drevActor_ShutUp(actor_);
  PutVoice(code_ + "_ABC.wav");
  Voice::calls.clear();
  drevActor_SayLine(actor_, "/ABC/Hi", 1, 127, 64, -1, -1);
  EXPECT_EQ(Voice::calls[0], "voice " + code_ + "_ABC.wav 127 64");
  char file[32];
  EXPECT_EQ(drevActor_FindVoiceFile("", file, sizeof file), 0);
  EXPECT_EQ(drevActor_FindVoiceFile("NOPE", file, sizeof file), 0);
  EXPECT_STREQ(file, "");
}

TEST_F(Talk, ASpeechSoundIsPlacedAndTimedByTheSound) {
  PutVoice("ABC.mlu");
  actor_->flags |= ACTOR_VOICE_3D;
  drevActor_SayLine(actor_, "/ABC/Hi", 0, 90, 64, -1, -1);
  EXPECT_EQ(Voice::calls, (std::vector<std::string>{"speech ABC.mlu 127 2", "param 1111 1536 90",
                                                    "positional 1111 20 127 8.000000 0.800000"}));
  EXPECT_STREQ(actor_->pExtra->speechName, "ABC.mlu");
  drevActor_UpdateTalking(1.0f);
  EXPECT_EQ(drevActor_CountTalking(), 1);
  Voice::playing = 0;
  drevActor_UpdateTalking(0.016f);
  EXPECT_EQ(drevActor_CountTalking(), 0);
  EXPECT_EQ(Voice::calls.back(), "stop 1111");
  EXPECT_FALSE(Mumbles());
}

TEST_F(Talk, ATextLineLastsByItsLengthAndTheTextSpeed) {
  ASSERT_EQ(drevActor_GetTextSpeed(), 6);
  drevActor_SayLine(actor_, "/XYZ/twenty chars in here", 1, 127, 64, -1, -1);  // no voice file
  ASSERT_NE(actor_->pExtra->sayLineText, nullptr);
  EXPECT_EQ(actor_->pExtra->talkTimeLeft, 2140);
  EXPECT_EQ(actor_->pExtra->sayLineText->state, 0xDu);
  EXPECT_TRUE(Mumbles());
  drevActor_UpdateTalking(2.1f);
  EXPECT_EQ(drevActor_CountTalking(), 1);
  drevActor_UpdateTalking(0.05f);
  EXPECT_EQ(drevActor_CountTalking(), 0);
  EXPECT_EQ(actor_->pExtra->sayLineText, nullptr);
  EXPECT_EQ(drevText_First(), nullptr);
  EXPECT_FALSE(Mumbles());
  EXPECT_EQ(drevActor_GetTalkingSlot(0), -1);
}

TEST_F(Talk, TextSpeedAndSpeechModeSettings) {
  EXPECT_EQ(drevActor_SetTextSpeed(0), 1);
  EXPECT_EQ(drevActor_SetTextSpeed(15), 10);
  EXPECT_EQ(drevActor_GetTextSpeed(), 10);
  EXPECT_EQ(drevActor_GetSpeechMode(), 2);
  EXPECT_EQ(drevActor_SetSpeechMode(4), 2);
  EXPECT_EQ(drevActor_SetSpeechMode(1), 1);
  // Voice off: a line with a voice file is text, timed.
  PutVoice("ABC.wav");
  drevActor_SayLine(actor_, "/ABC/four", 1, 127, 64, -1, -1);
  EXPECT_TRUE(Voice::calls.empty());
  EXPECT_EQ(actor_->pExtra->talkTimeLeft, 1 * 4 * 15 + 640);
  EXPECT_NE(actor_->pExtra->sayLineText, nullptr);
  drevActor_SetSpeechMode(2);
  drevActor_SetTextSpeed(6);
}

TEST_F(Talk, LipSyncShapesPickTheTalkChores) {
  const struct {
    uint32_t code;
    int mouth;
  } kShapes[] = {{0x5F, 0}, {0x1234, 1}, {0x61, 1}, {0x64, 2}, {0x3B8, 5}, {0x28A, 9}, {0x6F, 7}};
  for (const auto& s : kShapes) EXPECT_EQ(drevActor_LipShapeMouth(s.code), s.mouth) << s.code;

  PutVoice(code_ + "_L1.wav");
  Voice::shape = 0x64;
  drevActor_SayLine(actor_, "/L1/la", 1, 127, 64, -1, -1);
  EXPECT_EQ(actor_->pExtra->lipSync, 0x64);
  EXPECT_FALSE(Mumbles());
  drevActor_UpdateTalking(0.016f);
  EXPECT_EQ(Mouth(), 2);
  Voice::shape = 0x5F;
  drevActor_UpdateTalking(0.016f);
  EXPECT_EQ(Mouth(), 0);
  Voice::shape = 0x1234;  // not a phoneme of the table: mouth 1, talk chore 2
  drevActor_UpdateTalking(0.016f);
  EXPECT_EQ(Mouth(), 1);
  // The lip-sync data ends with the voice: the line ends, the mouth closes.
  Voice::shape = 0;
  drevActor_UpdateTalking(0.016f);
  EXPECT_EQ(drevActor_CountTalking(), 0);
  EXPECT_EQ(Voice::calls.back(), "stop voice");
  EXPECT_EQ(Mouth(), 0);
}

TEST_F(Talk, NoTalkChoresMeansMumbling) {
  for (int32_t& c : actor_->costumeTop->talkChores) c = -1;
  actor_->costumeTop->talkChores[0] = 0;  // talk chore 1 alone is no lip sync
  PutVoice(code_ + "_L2.wav");
  Voice::shape = 0x64;
  drevActor_SayLine(actor_, "/L2/la", 1, 127, 64, -1, -1);
  EXPECT_EQ(actor_->pExtra->lipSync, 0);
  EXPECT_TRUE(Mumbles());
}

TEST_F(Talk, ShutUpOfASilentActorClosesTheMouth) {
  Cos_InstCompleteChore(actor_->costumeTop->instance, 2);
  ASSERT_EQ(Mouth(), 2);
  drevActor_SayLine(actor_, "/T/talking", 1, 127, 64, -1, -1);
  Actor* silent = NewActor();
  ASSERT_EQ(drevActor_SetCostume(silent, "talker.cos", 0), 1);
  silent->costumeTop->talkChores[0] = 0;
  drevActor_ShutUp(silent);
  EXPECT_EQ(drevActor_CountTalking(), 1);  // the other line goes on
  drevActor_ShutUp(nullptr);
  drevActor_ShutUp(actor_);
  drevActor_ShutUp(actor_);
  EXPECT_EQ(drevActor_CountTalking(), 0);
  EXPECT_EQ(Mouth(), 0);
}

TEST_F(Talk, AFifthTalkerHasNoSlotButItsLineEnds) {
  std::vector<Actor*> talkers;
  for (int i = 0; i < 5; ++i) {
    talkers.push_back(NewActor());
    drevActor_SayLine(talkers.back(), ("/T" + std::to_string(i) + "/abc").c_str(), 1, 127, 64, -1,
                      -1);
  }
  EXPECT_EQ(drevActor_CountTalking(), 5);
  for (int slot = 0; slot < 4; ++slot) {
    EXPECT_EQ(drevActor_GetTalkingSlot(slot), drevActor_ToIndex(talkers[slot]));
  }
  drevActor_UpdateTalking(0.5f);
  EXPECT_EQ(drevActor_CountTalking(), 5);
  drevActor_UpdateTalking(1.0f);
  EXPECT_EQ(drevActor_CountTalking(), 0);
  EXPECT_EQ(talkers[4]->pExtra->talking, 0);
}

TEST_F(Talk, TheVoiceStreamHidesTheOtherLinesText) {
  drevActor_SetSpeechMode(3);
  Actor* other = NewActor();
  drevActor_SayLine(other, "/O/background", 0, 127, 64, -1, -1);  // text only
  ASSERT_NE(other->pExtra->sayLineText, nullptr);
  PutVoice("V.wav");
  drevActor_SayLine(actor_, "/V/main line", 1, 127, 64, -1, -1);
  EXPECT_EQ(actor_->pExtra->voiceSound, 10000);
  ASSERT_NE(actor_->pExtra->sayLineText, nullptr);
  EXPECT_EQ(other->pExtra->sayLineText->state & TEXT_HIDDEN, TEXT_HIDDEN);
  EXPECT_EQ(actor_->pExtra->sayLineText->state & TEXT_HIDDEN, 0u);
  // A background line said while the voice stream talks hides its own text.
  Actor* third = NewActor();
  drevActor_SayLine(third, "/P/more background", 0, 127, 64, -1, -1);
  EXPECT_EQ(third->pExtra->sayLineText->state & TEXT_HIDDEN, TEXT_HIDDEN);
  drevActor_SetSpeechMode(2);
}

}  // namespace
