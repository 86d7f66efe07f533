// Instances and chore playback.
#include "chore_test_host.h"

namespace chore_test {
namespace {

class PlayTest : public ChoreTest {
 protected:
  CosCostumeHandle costume_ = 0;
  CosCostume* record_ = nullptr;
  int chore_ = -1;

  // A costume with one keyframe component (no instanceData callback, so its
  // hash 12 is its instance data) and one chore of the given length with keys
  // at the given times (value = time / 10).
  CosInstHandle MakeChore(int length, std::initializer_list<int> times) {
    costume_ = Cos_New();
    record_ = CosUtil_PtrFromHandle(costume_);
    EXPECT_EQ(Cos_RegisterComponent(costume_, "walk", 12, kKeyf, 0, 0, nullptr), 1);
    chore_ = CosUtil_AddChore(record_);
    for (int t : times) EXPECT_EQ(CosUtil_AddIntKey(record_, chore_, 0, t, t / 10), 1);
    record_->chores[chore_].length = length;
    const CosInstHandle h = Cos_CreateCosInstance(costume_, 0);
    g_events.clear();
    return h;
  }
  static std::string Apply(int value, int since, CosInstHandle h = 1) {
    return "apply KEYF d12 v" + std::to_string(value) + " t" + std::to_string(since) + " i" +
           std::to_string(h);
  }
  int Elapsed(CosInstHandle h) {
    // The elapsed time is seen through the save words.
    g_save.clear();
    EXPECT_EQ(Cos_SaveInstance(h, &SaveWrite), 0);
    return int(GetU32(g_save, g_save.size() - 4));
  }
};

TEST_F(PlayTest, NonLoopingChoreEndsAtItsLength) {
  const CosInstHandle h = MakeChore(1000, {0, 1000});
  ASSERT_EQ(Cos_InstPlayChore(h, chore_, 0, 0), 1);
  for (int step = 0; step < 4; ++step) EXPECT_EQ(Cos_InstUpdateChores(h, 250), 1);
  EXPECT_EQ(g_events, (std::vector<std::string>{Apply(0, 250)}));
  EXPECT_EQ(Cos_InstChoreStatus(h, chore_), 0) << "ended";
  EXPECT_EQ(Elapsed(h), 0);
  g_events.clear();
  EXPECT_EQ(Cos_InstUpdateChores(h, 777), 1);
  EXPECT_EQ(Cos_InstUpdateChore(h, chore_, 777), 1);
  EXPECT_TRUE(g_events.empty()) << "not playing";
}

TEST_F(PlayTest, LoopingWrapsAndPlaysTheRestOfTheStep) {
  struct Case {
    const char* what;
    int length;
    std::initializer_list<int> times;
    int start;  // elapsed before the step (reached with a first, key-less step)
    int step;
    std::vector<std::string> applied;
    int elapsed;
  } cases[] = {
      {"wrap over the end", 1000, {0, 1000}, 900, 200, {Apply(100, 100), Apply(0, 100)}, 100},
      {"step longer than the chore",
       100,
       {10},
       0,
       350,
       {Apply(1, 340), Apply(1, 240), Apply(1, 140), Apply(1, 40)},
       50},
      {"window [e, e+s): key at e applied, key at e+s left",
       1000,
       {300, 500},
       300,
       200,
       {Apply(30, 200)},
       500},
  };
  for (const Case& c : cases) {
    const CosInstHandle h = MakeChore(c.length, c.times);
    ASSERT_EQ(Cos_InstPlayChore(h, chore_, 1, 0), 1);
    if (c.start) {
      // Move to the start without crossing a key: keys are placed after it.
      CosChore& chore = record_->chores[chore_];
      const int saved = chore.tracks[0].numKeys;
      chore.tracks[0].numKeys = 0;
      Cos_InstUpdateChore(h, chore_, c.start);
      chore.tracks[0].numKeys = saved;
      g_events.clear();
    }
    Cos_InstUpdateChores(h, c.step);
    EXPECT_EQ(g_events, c.applied) << c.what;
    EXPECT_EQ(Elapsed(h), c.elapsed) << c.what;
    EXPECT_EQ(Cos_InstChoreStatus(h, chore_), 7) << c.what;
    Cos_Free(costume_);
  }
}

TEST_F(PlayTest, LoopingChoreOfLengthZeroEndsInsteadOfSpinning) {
  const CosInstHandle h = MakeChore(0, {0});
  ASSERT_EQ(Cos_InstPlayChore(h, chore_, 1, 0), 1);
  EXPECT_EQ(Cos_InstUpdateChores(h, 10), 1);
  EXPECT_EQ(g_events, (std::vector<std::string>{Apply(0, 10)}));
  EXPECT_EQ(Cos_InstChoreStatus(h, chore_), 0);
  record_->chores[chore_].length = -5;
  ASSERT_EQ(Cos_InstPlayChore(h, chore_, 1, 0), 1);
  EXPECT_EQ(Cos_InstUpdateChores(h, 10), 1);
  EXPECT_EQ(Cos_InstChoreStatus(h, chore_), 0);
}

TEST_F(PlayTest, FlagsOfPlayPauseLoopAndManualAdvance) {
  const CosInstHandle h = MakeChore(1000, {100});
  EXPECT_EQ(Cos_InstPlayChore(h, chore_, 1, 0), 1);
  EXPECT_EQ(Cos_InstChoreStatus(h, chore_), 7);
  EXPECT_EQ(Cos_InstPauseChore(h, chore_), 1);
  EXPECT_EQ(Cos_InstChoreStatus(h, chore_), 6);
  EXPECT_EQ(Cos_InstSetChoreLoop(h, chore_, 0), 1);
  EXPECT_EQ(Cos_InstChoreStatus(h, chore_), 4);
  EXPECT_EQ(Cos_InstSetChoreAdv(h, chore_, 1), 1);
  EXPECT_EQ(Cos_InstChoreStatus(h, chore_), 0);
  EXPECT_EQ(Cos_InstSetChoreAdv(h, chore_, 0), 1);
  EXPECT_EQ(Cos_InstSetChoreLoop(h, chore_, 1), 1);
  EXPECT_EQ(Cos_InstChoreStatus(h, chore_), 6);

  // Manual chores advance only through Cos_InstUpdateChore.
  EXPECT_EQ(Cos_InstPlayChore(h, chore_, 0, 1), 1);
  EXPECT_EQ(Cos_InstChoreStatus(h, chore_), 1);
  Cos_InstUpdateChores(h, 200);
  EXPECT_TRUE(g_events.empty());
  Cos_InstUpdateChore(h, chore_, 200);
  EXPECT_EQ(g_events, (std::vector<std::string>{Apply(10, 100)}));

  // Pause keeps elapsed; play resumes from it.
  EXPECT_EQ(Cos_InstPauseChores(h), 1);
  EXPECT_EQ(Elapsed(h), 200);
  EXPECT_EQ(Cos_InstPlayChore(h, chore_, 0, 0), 1);
  EXPECT_EQ(Elapsed(h), 200);

  // Bad chore indexes and handles: 0, nothing changed.
  for (int bad : {-1, 1, 1000}) {
    EXPECT_EQ(Cos_InstPlayChore(h, bad, 0, 0), 0) << bad;
    EXPECT_EQ(Cos_InstStopChore(h, bad), 0) << bad;
    EXPECT_EQ(Cos_InstPauseChore(h, bad), 0) << bad;
    EXPECT_EQ(Cos_InstUpdateChore(h, bad, 10), 0) << bad;
    EXPECT_EQ(Cos_InstCompleteChore(h, bad), 0) << bad;
    EXPECT_EQ(Cos_InstSetChoreLoop(h, bad, 1), 0) << bad;
    EXPECT_EQ(Cos_InstSetChoreAdv(h, bad, 1), 0) << bad;
    EXPECT_EQ(Cos_InstChoreStatus(h, bad), 0) << bad;
    EXPECT_EQ(Cos_InstChoreName(h, bad), nullptr) << bad;
  }
  for (CosInstHandle bad : {0, -3, 2, 99}) {
    EXPECT_EQ(Cos_InstPlayChore(bad, 0, 0, 0), 0) << bad;
    EXPECT_EQ(Cos_InstUpdateChores(bad, 10), 0) << bad;
    EXPECT_EQ(Cos_InstStopChores(bad), 0) << bad;
    EXPECT_EQ(Cos_InstCountChores(bad), 0) << bad;
    EXPECT_EQ(Cos_InstCountComponents(bad), 0) << bad;
    EXPECT_EQ(Cos_InstGetInstanceData(bad, 0, nullptr), 0u) << bad;
  }
  EXPECT_TRUE(g_events.size() == 1);
}

TEST_F(PlayTest, CompleteAppliesTheRestButNotTheKeyAtTheLength) {
  const CosInstHandle h = MakeChore(1000, {950, 1000});
  ASSERT_EQ(Cos_InstPlayChore(h, chore_, 1, 1), 1);
  Cos_InstUpdateChore(h, chore_, 900);
  g_events.clear();
  EXPECT_EQ(Cos_InstCompleteChore(h, chore_), 1);
  EXPECT_EQ(g_events, (std::vector<std::string>{Apply(95, 50)}));
  EXPECT_EQ(Cos_InstChoreStatus(h, chore_), 0);
  EXPECT_EQ(Elapsed(h), 0);

  // Completing all leaves flags alone: a looping chore wraps and plays on.
  ASSERT_EQ(Cos_InstPlayChore(h, chore_, 1, 0), 1);
  g_events.clear();
  EXPECT_EQ(Cos_InstCompleteChores(h), 1);
  EXPECT_EQ(g_events, (std::vector<std::string>{Apply(95, 50)}));
  EXPECT_EQ(Cos_InstChoreStatus(h, chore_), 7);
  EXPECT_EQ(Elapsed(h), 0);
}

TEST_F(PlayTest, StopCallsStopComponentEvenWhenNotPlaying) {
  const CosInstHandle h = MakeChore(1000, {100});
  EXPECT_EQ(Cos_InstStopChore(h, chore_), 1);
  EXPECT_EQ(g_events, (std::vector<std::string>{"stop d12"}));
  g_events.clear();
  Cos_InstPlayChore(h, chore_, 0, 0);
  Cos_InstUpdateChores(h, 300);
  g_events.clear();
  EXPECT_EQ(Cos_InstStopChores(h), 1);
  EXPECT_EQ(g_events, (std::vector<std::string>{"stop d12"}));
  EXPECT_EQ(Cos_InstChoreStatus(h, chore_), 0);
  EXPECT_EQ(Elapsed(h), 0);
}

TEST_F(PlayTest, KeysOfSeveralTracksGoTrackByTrackInTimeOrder) {
  costume_ = Cos_New();
  record_ = CosUtil_PtrFromHandle(costume_);
  ASSERT_EQ(Cos_RegisterComponent(costume_, "walk", 12, kKeyf, 0, 0, nullptr), 1);
  ASSERT_EQ(Cos_RegisterComponent(costume_, "fade", 13, kFloat, 0, 0, nullptr), 1);
  chore_ = CosUtil_AddChore(record_);
  CosUtil_AddFloatKey(record_, chore_, 1, 20, 0.5f);
  CosUtil_AddIntKey(record_, chore_, 0, 30, 3);
  CosUtil_AddIntKey(record_, chore_, 0, 10, 1);
  CosUtil_SetChoreLength(record_, chore_, 100);
  const CosInstHandle h = Cos_CreateCosInstance(costume_, 0);
  g_events.clear();
  Cos_InstPlayChore(h, chore_, 0, 0);
  Cos_InstUpdateChores(h, 50);
  int32_t half = 0;
  const float f = 0.5f;
  memcpy(&half, &f, 4);
  EXPECT_EQ(g_events,
            (std::vector<std::string>{"apply FLOT d13 v" + std::to_string(half) + " t30 i1",
                                      Apply(1, 40), Apply(3, 20)}));
}

TEST_F(PlayTest, CreationMakesDataRootsFirstAndTheHookCanRefuse) {
  costume_ = Cos_New();
  ASSERT_EQ(Cos_RegisterComponent(costume_, "body", 11, kModel, 0, 0, nullptr), 1);
  ASSERT_EQ(Cos_RegisterComponent(costume_, "walk", 12, kKeyf, 0, 0, nullptr), 1);
  ASSERT_EQ(Cos_RegisterComponent(costume_, "arm", 13, kMesh, 11, kModel, nullptr), 1);
  ASSERT_EQ(Cos_RegisterComponent(costume_, "hand", 14, kMesh, 13, kMesh, nullptr), 1);
  ASSERT_EQ(Cos_RegisterComponent(costume_, "leg", 15, kMesh, 0, 0, nullptr), 1);
  g_events.clear();
  const CosInstHandle h = Cos_CreateCosInstance(costume_, 42);
  ASSERT_EQ(h, 1);
  EXPECT_EQ(g_events, (std::vector<std::string>{"data i1 k0 m1", "data i1 k4 m1", "data i1 k2 m1",
                                                "data i1 k3 m1"}));
  EXPECT_EQ(Cos_InstGetUserData(h), 0) << "no instance hook: the user value becomes 0";
  uint32_t code = 0;
  EXPECT_EQ(Cos_InstGetInstanceData(h, 0, &code), 5000u);
  EXPECT_EQ(code, kModel);
  EXPECT_EQ(Cos_InstGetInstanceData(h, 1, nullptr), 12u) << "no callback: the hash";
  EXPECT_EQ(Cos_InstGetInstanceData(h, 5, nullptr), 0u);
  EXPECT_EQ(Cos_InstGetInstanceData(h, -1, nullptr), 0u);
  uintptr_t hash = 0;
  int parent = 0;
  const CosComponent* info = Cos_InstComponentInfo(h, 3, &code, &hash, &parent);
  ASSERT_NE(info, nullptr);
  EXPECT_STREQ(info->name, "hand");
  EXPECT_EQ(hash, 14u);
  EXPECT_EQ(parent, 2);
  EXPECT_EQ(Cos_InstComponentInfo(h, 5, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(Cos_InstCountComponents(h), 5);
  CosCostumeHandle owner = 0;
  EXPECT_EQ(Cos_InstGetCostume(h, &owner), CosUtil_PtrFromHandle(costume_));
  EXPECT_EQ(owner, costume_);
  Cos_InstSetUserData(h, 9);
  EXPECT_EQ(Cos_InstGetUserData(h), 9);

  // A hook that refuses: it sees mode 1, then 0, and all data is destroyed.
  static std::vector<std::string>* sink;
  sink = &g_events;
  Cos_RegisterInstanceHook([](CosInstHandle i, int mode) {
    sink->push_back("hook i" + std::to_string(i) + " m" + std::to_string(mode));
    EXPECT_EQ(Cos_InstGetUserData(i), 42);
    return 0;
  });
  g_events.clear();
  EXPECT_EQ(Cos_CreateCosInstance(costume_, 42), 0);
  EXPECT_EQ(g_events,
            (std::vector<std::string>{"data i2 k0 m1", "data i2 k4 m1", "data i2 k2 m1",
                                      "data i2 k3 m1", "hook i2 m1", "hook i2 m0", "data i2 k0 m0",
                                      "data i2 k2 m0", "data i2 k3 m0", "data i2 k4 m0"}));
  EXPECT_EQ(Cos_InstGetUserData(2), 0) << "slot is free again";
  Cos_RegisterInstanceHook(nullptr);

  g_events.clear();
  EXPECT_EQ(Cos_FreeCosInstance(h), 1);
  EXPECT_EQ(g_events, (std::vector<std::string>{"data i1 k0 m0", "data i1 k2 m0", "data i1 k3 m0",
                                                "data i1 k4 m0"}));
}

TEST_F(PlayTest, RescueFollowsALiveCostumeOnly) {
  const CosInstHandle h = MakeChore(1000, {100});
  const CosCostumeHandle other = Cos_New();
  Cos_InstRescue(h, 40);
  Cos_InstRescue(h, other + 1);
  CosCostumeHandle owner = 0;
  Cos_InstGetCostume(h, &owner);
  EXPECT_EQ(owner, costume_);
  Cos_InstRescue(h, other);
  Cos_InstGetCostume(h, &owner);
  EXPECT_EQ(owner, other);
  // The other costume has no chores: the instance's chore states are not
  // reached through it.
  EXPECT_EQ(Cos_InstCountChores(h), 0);
  EXPECT_EQ(Cos_InstPlayChore(h, 0, 0, 0), 0);
  Cos_InstRescue(h, costume_);
  EXPECT_EQ(Cos_InstCountChores(h), 1);
  EXPECT_STREQ(Cos_InstChoreName(h, 0)->name, "<unnamed>");
}

// Callbacks that call back into the library mid-step: the step stops where
// its records went away, without touching freed memory.
CosCostumeHandle g_victim = 0;
int FreeingApply(uint32_t, uintptr_t, int, int32_t value, int32_t, int32_t, int,
                 CosInstHandle instance) {
  if (value == 1) Cos_FreeCosInstance(instance);
  if (value == 2) Cos_Free(g_victim);
  if (value == 3) Cos_InstStopChores(instance);
  return 1;
}

TEST_F(PlayTest, CallbacksMayFreeWhatIsPlaying) {
  const CosTagCallbacks callbacks{&FreeingApply, &FakeAdd, nullptr, nullptr,
                                  nullptr,       nullptr,  nullptr};
  ASSERT_EQ(Cos_NewIntTag(Cos_MakeCode("KILL"), "killer", 0, &callbacks, 0), 1);
  for (int value : {1, 2, 3}) {
    g_victim = Cos_New();
    CosCostume* costume = CosUtil_PtrFromHandle(g_victim);
    ASSERT_EQ(Cos_RegisterComponent(g_victim, "k", 1, Cos_MakeCode("KILL"), 0, 0, nullptr), 1);
    ASSERT_EQ(Cos_RegisterComponent(g_victim, "w", 2, kKeyf, 0, 0, nullptr), 1);
    const int chore = CosUtil_AddChore(costume);
    CosUtil_AddIntKey(costume, chore, 0, 10, value);
    CosUtil_AddIntKey(costume, chore, 0, 20, value);
    CosUtil_AddIntKey(costume, chore, 1, 10, 0);
    CosUtil_SetChoreLength(costume, chore, 100);
    const CosInstHandle h = Cos_CreateCosInstance(g_victim, 0);
    Cos_InstPlayChore(h, chore, 1, 0);
    g_events.clear();
    EXPECT_EQ(Cos_InstUpdateChores(h, 250), 1) << value;
    if (value == 3) {
      EXPECT_EQ(Cos_InstChoreStatus(h, chore), 0);
      EXPECT_FALSE(g_events.empty());
    } else {
      for (const std::string& e : g_events) {
        EXPECT_NE(e.rfind("apply", 0), 0u) << value << ": nothing applied after the free";
      }
      EXPECT_EQ(Cos_InstCountChores(h), 0) << value;
    }
    Cos_Free(g_victim);
  }
}

}  // namespace
}  // namespace chore_test
