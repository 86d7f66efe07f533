// The library core, tracks, triggers, deferred commands and fades, driven by
// hand-stepped heartbeats.
#include <gtest/gtest.h>

#include "MelosTestHost.h"
#include "melos/Melos.h"
#include "melos/MelosInternal.h"
#include "melos/MelosMixer.h"

using namespace melos_fixtures;

namespace {

TEST(MelosCore, CommandsBeforeInitFail) {
  for (int code = 0; code <= 30; ++code) EXPECT_EQ(Melos_Command(code), -1) << code;
  // The engine pauses, resumes and stops before the library starts: no harm.
  EXPECT_EQ(Melos_Pause(), 1);
  EXPECT_EQ(Melos_Resume(), 0);
  EXPECT_EQ(Melos_StopAllSounds(), 0);
  EXPECT_EQ(Melos_GetParam(100, MELOS_PARAM_PLAYING), 0);
}

using MelosLibrary = LibraryTest;

TEST_F(MelosLibrary, InitTwiceAndPauseNesting) {
  EXPECT_EQ(Melos_Init(), -1);
  EXPECT_EQ(Melos_Resume(), 0);
  EXPECT_EQ(Melos_Resume(), 0);
  EXPECT_EQ(Melos_Pause(), 1);
  EXPECT_EQ(Melos_Pause(), 2);
  EXPECT_EQ(Melos_Resume(), 1);
  EXPECT_EQ(Melos_Resume(), 0);
}

TEST_F(MelosLibrary, GroupVolumes) {
  struct Case {
    int group, value, result;
  };
  for (const Case& c : {Case{3, 128, -5}, Case{16, 0, -5}, Case{-1, 0, -5}, Case{3, -2, -5},
                        Case{3, -1, 127}, Case{3, 100, 127}, Case{3, -1, 100}}) {
    EXPECT_EQ(Melos_GroupVolume(c.group, c.value), c.result) << c.group << " " << c.value;
  }
  EXPECT_EQ(MelosGroups_Effective(1), 127);
  EXPECT_EQ(Melos_GroupVolume(0, 64), 127);
  EXPECT_EQ(MelosGroups_Effective(0), 64);
  EXPECT_EQ(MelosGroups_Effective(1), 64);  // (127 + 1) x 64 >> 7
  EXPECT_EQ(MelosGroups_Effective(3), 50);  // (100 + 1) x 64 >> 7
  // A playing track follows its group.
  AddDc(100, 1000);
  ASSERT_EQ(Melos_StartSound(100, 50), 0);
  EXPECT_EQ(MelosTracks_Find(100)->effectiveVolume, 64);
  Melos_GroupVolume(0, 127);
  EXPECT_EQ(MelosTracks_Find(100)->effectiveVolume, 127);
}

TEST_F(MelosLibrary, ParamsOfSilentAndPlayingSounds) {
  EXPECT_EQ(Melos_GetParam(100, MELOS_PARAM_PLAYING), 0);
  EXPECT_EQ(Melos_GetParam(100, MELOS_PARAM_VOLUME), -4);
  EXPECT_EQ(Melos_GetParam(100, MELOS_PARAM_VERSION), 2);
  EXPECT_EQ(Melos_GetParam(100, 0x1234), -5);
  AddDc(100, 1000);
  ASSERT_EQ(Melos_StartSound(100, 50), 0);
  EXPECT_EQ(Melos_SetParam(100, MELOS_PARAM_GROUP, 16), -5);
  EXPECT_EQ(MelosLock_Holders(), 0);
  struct Case {
    int param, value, result;
  };
  for (const Case& c : {Case{MELOS_PARAM_VOLUME, 128, -5}, Case{MELOS_PARAM_PAN, -1, -5},
                        Case{MELOS_PARAM_DETUNE, 9217, -5}, Case{MELOS_PARAM_PLAYING, 1, -5},
                        Case{MELOS_PARAM_VOLUME, 90, 0}, Case{MELOS_PARAM_PAN, 3, 0},
                        Case{MELOS_PARAM_MAILBOX, -77, 0}}) {
    EXPECT_EQ(Melos_SetParam(100, c.param, c.value), c.result) << std::hex << c.param;
    if (c.result == 0) {
      EXPECT_EQ(Melos_GetParam(100, c.param), c.value);
    }
  }
  EXPECT_EQ(Melos_SetParam(101, MELOS_PARAM_VOLUME, 5), -4);
  EXPECT_EQ(Melos_GetParam(100, MELOS_PARAM_STREAMED), 0);
  // Position: 16-bit mono at 48000 Hz is 96 bytes a millisecond; the file
  // offset counts from the start of the file.
  MelosTrack* t = MelosTracks_Find(100);
  t->dispatch->position = 96000;
  EXPECT_EQ(Melos_GetParam(100, MELOS_PARAM_POSITION), 1000);
  EXPECT_EQ(Melos_StartSound(102, 50), -1);  // no Melo header
}

TEST_F(MelosLibrary, HooksAndNextSound) {
  AddDc(100, 1);
  AddDc(105, 1);
  ASSERT_EQ(Melos_StartSound(105, 50), 0);
  ASSERT_EQ(Melos_StartSound(100, 50), 0);
  EXPECT_EQ(Melos_NextSound(0), 100);
  EXPECT_EQ(Melos_NextSound(100), 105);
  EXPECT_EQ(Melos_NextSound(105), 0);
  EXPECT_EQ(Melos_SetHook(100, 129), -5);
  EXPECT_EQ(Melos_SetHook(101, 3), -4);
  EXPECT_EQ(Melos_SetHook(100, 128), 0);
  EXPECT_EQ(Melos_GetHook(100), 128);
}

TEST_F(MelosLibrary, DuckingUnderSpeech) {
  AddDc(100, 1000, 480000);
  ASSERT_EQ(Melos_StartSound(100, 50), 0);
  ASSERT_EQ(Melos_SetParam(100, MELOS_PARAM_GROUP, 2), 0);
  std::vector<int> levels;
  for (int beat = 1; beat <= 40; ++beat) {
    Melos_Heartbeat();
    if (beat % 10 == 0) levels.push_back(Melos_GroupVolume(4, -1));
  }
  const int target = 127 * 77 >> 7;  // 76
  EXPECT_EQ(levels, (std::vector<int>{91, target, target, target}));
  Melos_StopSound(100);
  for (int beat = 1; beat <= 30; ++beat) Melos_Heartbeat();
  EXPECT_EQ(Melos_GroupVolume(4, -1), target + 3);
  // Paused: no ducking steps.
  Melos_Pause();
  for (int beat = 1; beat <= 30; ++beat) Melos_Heartbeat();
  EXPECT_EQ(Melos_GroupVolume(4, -1), target + 3);
  Melos_Resume();
}

TEST_F(MelosLibrary, SaveNeedsRoom) {
  std::vector<uint8_t> buffer(80000);
  EXPECT_EQ(Melos_Save(buffer.data(), 79999), -1);
  EXPECT_EQ(Melos_Save(buffer.data(), 80000), 4 + 640 + 2848 + 34368 + 1152);
  buffer[0] = 48;
  EXPECT_EQ(Melos_Restore(buffer.data(), static_cast<uint32_t>(buffer.size())), -1);
  buffer[0] = 49;
  EXPECT_EQ(Melos_Restore(buffer.data(), 1000), -1);
}

// --- tracks --------------------------------------------------------------------------

TEST_F(MelosLibrary, PriorityStealing) {
  for (int i = 0; i < 8; ++i) {
    AddDc(100 + i, 1);
    ASSERT_EQ(Melos_StartSound(100 + i, 50), 0);
  }
  AddDc(120, 1);
  EXPECT_EQ(Melos_StartSound(120, 49), -6);
  EXPECT_EQ(Melos_GetParam(120, MELOS_PARAM_PLAYING), 0);
  EXPECT_EQ(Melos_StartSound(120, 50), 0);
  EXPECT_EQ(Melos_GetParam(100, MELOS_PARAM_PLAYING), 0);  // the earliest went
  EXPECT_EQ(Melos_GetParam(101, MELOS_PARAM_PLAYING), 1);
  EXPECT_EQ(Melos_GetParam(120, MELOS_PARAM_PLAYING), 1);
}

TEST_F(MelosLibrary, ASoundOnTwoTracks) {
  AddDc(100, 1);
  ASSERT_EQ(Melos_StartSound(100, 50), 0);
  ASSERT_EQ(Melos_StartSound(100, 50), 0);
  EXPECT_EQ(Melos_GetParam(100, MELOS_PARAM_PLAYING), 2);
  ASSERT_EQ(Melos_SetParam(100, MELOS_PARAM_VOLUME, 10), 0);
  EXPECT_EQ(MelosTracks_Head()->volume, 10);  // the newest
  EXPECT_EQ(MelosTracks_Head()->next->volume, 127);
  EXPECT_EQ(Melos_StopSound(100), 0);
  EXPECT_EQ(Melos_GetParam(100, MELOS_PARAM_PLAYING), 0);
  EXPECT_EQ(Melos_StopSound(100), -1);
}

TEST_F(MelosLibrary, FillIsSilentWhilePausedOrHidden) {
  AddDc(100, 8000, 480000);
  ASSERT_EQ(Melos_StartSound(100, 50), 0);
  EXPECT_FALSE(Silent(FillBlock()));
  Melos_Pause();
  EXPECT_TRUE(Silent(FillBlock()));
  Melos_Resume();
  SetWindowShown(false);
  EXPECT_TRUE(Silent(FillBlock()));
  SetWindowShown(true);
  const auto block = FillBlock();
  // DC 8000 at volume 127, centre pan: 8000 x 94 through the curve.
  EXPECT_EQ(block[0], MelosMixer_Curve(8000 * 94 >> 7));
  EXPECT_EQ(block[0], block[1]);
}

TEST_F(MelosLibrary, ASoundEndsAtItsStop) {
  AddDc(100, 8000, 2000);  // shorter than one block
  ASSERT_EQ(Melos_StartSound(100, 50), 0);
  FillBlock();
  EXPECT_EQ(Melos_GetParam(100, MELOS_PARAM_PLAYING), 1);
  const auto block = FillBlock();  // 464 frames, then the stop
  EXPECT_NE(block[2 * 463], 0);
  EXPECT_EQ(block[2 * 464], 0);
  EXPECT_EQ(Melos_GetParam(100, MELOS_PARAM_PLAYING), 0);
}

TEST_F(MelosLibrary, RestoreRelinksInFallingIndexOrder) {
  for (int id : {100, 101, 102, 103}) AddDc(id, 1, 480000);
  ASSERT_EQ(Melos_StartSound(100, 50), 0);  // track 0
  ASSERT_EQ(Melos_StartSound(101, 50), 0);  // track 1
  ASSERT_EQ(Melos_StartSound(102, 50), 0);  // track 2
  Melos_StopSound(101);
  ASSERT_EQ(Melos_StartSound(103, 50), 0);  // track 1 again, at the head
  ASSERT_EQ(Melos_SetParam(103, MELOS_PARAM_PAN, 5), 0);
  ASSERT_EQ(Melos_SetHook(102, 7), 0);
  std::vector<uint8_t> buffer(80000);
  const int length = Melos_Save(buffer.data(), 80000);
  ASSERT_GT(length, 0);
  Melos_StopAllSounds();
  ASSERT_EQ(Melos_Restore(buffer.data(), static_cast<uint32_t>(length)), length);
  std::vector<int> order;
  for (MelosTrack* t = MelosTracks_Head(); t; t = t->next) order.push_back(t->sound);
  EXPECT_EQ(order, (std::vector<int>{102, 103, 100}));
  EXPECT_EQ(Melos_GetParam(103, MELOS_PARAM_PAN), 5);
  EXPECT_EQ(Melos_GetHook(102), 7);
  EXPECT_FALSE(Silent(FillBlock()));
}

TEST_F(MelosLibrary, RestoreRefusesBadRecords) {
  AddDc(100, 1, 480000);
  ASSERT_EQ(Melos_StartSound(100, 50), 0);
  std::vector<uint8_t> buffer(80000);
  const int length = Melos_Save(buffer.data(), 80000);
  // Track 0's dispatch record: bits 12 fails the item.
  const size_t dispatch0 = 4 + 640 + 2848;
  std::vector<uint8_t> bad = buffer;
  bad[dispatch0 + 8] = 12;
  ASSERT_GT(Melos_Restore(bad.data(), static_cast<uint32_t>(length)), 0);
  EXPECT_EQ(Melos_GetParam(100, MELOS_PARAM_PLAYING), 0);
  // A map copy that runs past its end fails it too.
  bad = buffer;
  bad[dispatch0 + 32 + 4] = 0xF0;
  ASSERT_GT(Melos_Restore(bad.data(), static_cast<uint32_t>(length)), 0);
  EXPECT_EQ(Melos_GetParam(100, MELOS_PARAM_PLAYING), 0);
  ASSERT_GT(Melos_Restore(buffer.data(), static_cast<uint32_t>(length)), 0);
  EXPECT_EQ(Melos_GetParam(100, MELOS_PARAM_PLAYING), 1);
}

// --- triggers, deferred commands, fades ------------------------------------------------

std::vector<std::string> g_handled;
void Record(const char* marker, const int32_t* args) {
  g_handled.push_back(std::string(marker ? marker : "-") + ":" + std::to_string(args[0]));
}

TEST_F(MelosLibrary, VolumeFadeStepsAndStops) {
  AddDc(100, 1, 480000);
  ASSERT_EQ(Melos_StartSound(100, 50), 0);
  ASSERT_EQ(Melos_SetParam(100, MELOS_PARAM_VOLUME, 100), 0);
  ASSERT_EQ(Melos_FadeParam(100, MELOS_PARAM_VOLUME, 0, 60), 0);
  int steps = 0;
  std::vector<int> seen;
  while (Melos_GetParam(100, MELOS_PARAM_PLAYING) > 0 && steps < 100) {
    MelosFades_Step();
    ++steps;
    const int v = Melos_GetParam(100, MELOS_PARAM_VOLUME);
    if (v > 0 && (seen.empty() || seen.back() != v)) seen.push_back(v);
  }
  EXPECT_EQ(steps, 50);
  // Applied on remaining 45, 40, ... 5 (after steps 5, 10, ... 45): 90 .. 10.
  EXPECT_EQ(seen, (std::vector<int>{100, 90, 80, 70, 60, 50, 40, 30, 20, 10}));
}

TEST_F(MelosLibrary, FadeOfOneTickSetsAtOnce) {
  AddDc(100, 1, 480000);
  ASSERT_EQ(Melos_StartSound(100, 50), 0);
  EXPECT_EQ(Melos_FadeParam(100, MELOS_PARAM_PAN, 10, 1), 0);
  EXPECT_EQ(Melos_GetParam(100, MELOS_PARAM_PAN), 10);
  EXPECT_EQ(Melos_FadeParam(100, MELOS_PARAM_VOLUME, 0, 1), 0);
  EXPECT_EQ(Melos_GetParam(100, MELOS_PARAM_PLAYING), 0);
  EXPECT_EQ(Melos_FadeParam(100, MELOS_PARAM_GROUP, 1, 10), -5);
  EXPECT_EQ(Melos_FadeParam(0, MELOS_PARAM_PAN, 1, 10), -5);
}

TEST_F(MelosLibrary, TablesAreFull) {
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(Melos_SetTrigger(100 + i, "x", 9), 0);
    EXPECT_EQ(Melos_DeferCommand(5 + i, 2), 0);
  }
  EXPECT_EQ(Melos_SetTrigger(200, "x", 9), -6);
  EXPECT_EQ(Melos_DeferCommand(5, 2), -6);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(Melos_FadeParam(100 + i, MELOS_PARAM_PAN, 0, 60), 0);
  EXPECT_EQ(Melos_FadeParam(200, MELOS_PARAM_PAN, 0, 60), -6);
  EXPECT_EQ(Melos_CountTriggers(-1, reinterpret_cast<const char*>(-1), -1), 8);
  EXPECT_EQ(Melos_CountTriggers(103, "x", 9), 1);
  EXPECT_EQ(Melos_CountTriggers(103, "y", 9), 0);
}

TEST_F(MelosLibrary, TriggersFireOnceAndEmptyMarkersMatchAny) {
  g_handled.clear();
  const int handler = Melos_RegisterCommand(Record);
  ASSERT_GE(handler, 30);
  const int32_t args[10] = {7};
  ASSERT_EQ(Melos_SetTrigger(100, "", handler, args), 0);
  ASSERT_EQ(Melos_SetTrigger(100, "exit", handler, args), 0);
  ASSERT_EQ(Melos_SetTrigger(101, "", 0, args), 0);
  Melos_FireTriggers(100, "verse");
  EXPECT_EQ(g_handled, (std::vector<std::string>{"verse:7"}));
  Melos_FireTriggers(100, "exit");
  Melos_FireTriggers(100, "exit");
  Melos_FireTriggers(101, "_end");
  EXPECT_EQ(g_handled, (std::vector<std::string>{"verse:7", "exit:7"}));
  EXPECT_EQ(host.callbackMarkers, (std::vector<std::string>{"_end"}));
  // Pointer-taking commands cannot be stored.
  EXPECT_EQ(Melos_SetTrigger(100, "x", 17), -5);
  EXPECT_EQ(Melos_DeferCommand(3, 29), -5);
  EXPECT_EQ(Melos_SetTrigger(100, std::string(256, 'a').c_str(), 9), -5);
  EXPECT_EQ(Melos_SetTrigger(0, "x", 9), -5);
}

int g_setInside = 0;
void ClearAndRefill(const char*, const int32_t*) {
  Melos_ClearTriggers(100, nullptr, -1);
  g_setInside = 0;
  while (Melos_SetTrigger(300, "fill", 2) == 0) ++g_setInside;
}

TEST_F(MelosLibrary, ClearingInsideATriggerMarksThenFrees) {
  const int handler = Melos_RegisterCommand(ClearAndRefill);
  ASSERT_EQ(Melos_SetTrigger(100, "a", handler), 0);
  ASSERT_EQ(Melos_SetTrigger(100, "b", handler), 0);
  Melos_FireTriggers(100, "a");
  EXPECT_EQ(g_setInside, 7);                       // "b" was only marked: it holds its entry
  EXPECT_EQ(Melos_SetTrigger(301, "late", 2), 0);  // freed when the firing ended
  EXPECT_EQ(Melos_CountTriggers(100, nullptr, -1), 0);
}

TEST_F(MelosLibrary, DeferredCommandRunsAfterItsTicks) {
  AddDc(100, 1, 480000);
  const int32_t args[10] = {100, 60};
  ASSERT_EQ(Melos_DeferCommand(3, 8, args), 0);
  EXPECT_EQ(Melos_GetParam(100, MELOS_PARAM_PENDING), 1);
  MelosDeferred_Step();
  MelosDeferred_Step();
  EXPECT_EQ(Melos_GetParam(100, MELOS_PARAM_PLAYING), 0);
  MelosDeferred_Step();
  EXPECT_EQ(Melos_GetParam(100, MELOS_PARAM_PLAYING), 1);
  EXPECT_EQ(Melos_GetParam(100, MELOS_PARAM_PRIORITY), 60);
  EXPECT_EQ(Melos_GetParam(100, MELOS_PARAM_PENDING), 0);
  EXPECT_EQ(Melos_DeferCommand(0, 8, args), -5);
}

TEST_F(MelosLibrary, TablesSurviveSaveAndRestore) {
  AddDc(100, 1, 480000);
  ASSERT_EQ(Melos_StartSound(100, 50), 0);
  ASSERT_EQ(Melos_SetTrigger(100, "exit", 9), 0);
  ASSERT_EQ(Melos_DeferCommand(4, 2), 0);
  ASSERT_EQ(Melos_FadeParam(100, MELOS_PARAM_PAN, 0, 60), 0);
  std::vector<uint8_t> buffer(80000);
  const int length = Melos_Save(buffer.data(), 80000);
  ASSERT_GT(Melos_Restore(buffer.data(), static_cast<uint32_t>(length)), 0);
  EXPECT_EQ(Melos_CountTriggers(100, "exit", 9), 1);
  std::vector<uint8_t> again(80000);
  ASSERT_EQ(Melos_Save(again.data(), 80000), length);
  EXPECT_EQ(0, std::memcmp(buffer.data(), again.data(), 4 + 640 + 2848));
}

}  // namespace
