// The module registry and life cycle with a table of recording fake modules.
#include "engine/drevMain.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "engine/drevMain_Save.h"
#include "std/std.h"

namespace {

std::vector<std::string> gCalls;
int gFailInit[2][kModuleGroupSize];
int gFailStart[2][kModuleGroupSize];

std::string Name(int g, int i, const char* op) {
  return std::string(g ? "B" : "A") + std::to_string(i) + "." + op;
}

template <int G, int I>
struct Fake {
  static void Uninit() { gCalls.push_back(Name(G, I, "uninit")); }
  static int Start() {
    gCalls.push_back(Name(G, I, "start"));
    return gFailStart[G][I];
  }
  static void Stop() { gCalls.push_back(Name(G, I, "stop")); }
  static int Init(HostServices*, ModuleDescriptor* d) {
    gCalls.push_back(Name(G, I, "init"));
    d->uninitialize = Uninit;
    d->startup = Start;
    d->shutdown = Stop;
    return gFailInit[G][I];
  }
};

template <int G, size_t... I>
constexpr std::array<ModuleTableEntry, kModuleGroupSize> MakeGroup(std::index_sequence<I...>) {
  return {{{Fake<G, static_cast<int>(I)>::Init, "fake"}...}};
}
const auto kFakeA = MakeGroup<0>(std::make_index_sequence<kModuleGroupSize>());
const auto kFakeB = MakeGroup<1>(std::make_index_sequence<kModuleGroupSize>());

uint64_t gPhysical = 0;
std::vector<std::pair<int64_t, int64_t>> gBudgets;
std::vector<std::vector<int>> gSoundConfigs;

class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    HostServices_CopyDefaults(&hs_);
    std_DefaultServices(&hs_);
    std_Startup(&hs_);
    gCalls.clear();
    gBudgets.clear();
    gSoundConfigs.clear();
    std::memset(gFailInit, 0, sizeof gFailInit);
    std::memset(gFailStart, 0, sizeof gFailStart);
    gPhysical = 4096ull * 1048576;
    drevMain_SetModuleTables(kFakeA.data(), kFakeB.data());
    drevMain_ResetCalls();
    drevMainCalls& c = drevMain_Calls();
    c.physicalMemory = [] { return gPhysical; };
    c.resourceSetBudget = [](int64_t limit, int64_t purge) { gBudgets.emplace_back(limit, purge); };
    c.soundsSetConfig = [](const int v[12]) {
      gSoundConfigs.emplace_back(v, v + 12);
      gCalls.push_back("budgets");
    };
    c.renderSetWaitTimerEnabled = [](int on) {
      gCalls.push_back(on ? "waitTimer.on" : "waitTimer.off");
    };
    c.melosStopAllSounds = [] { gCalls.push_back("stopSounds"); };
    c.tolveStop = [] { gCalls.push_back("tolveStop"); };
    c.tolveUpdate = [] {
      gCalls.push_back("tolveUpdate");
      return 1;
    };
    c.resourceFreeAll = [] { gCalls.push_back("freeAll"); };
    c.forgetShadowMaterial = [] { gCalls.push_back("forgetShadow"); };
    c.resourceSetRestoring = [](int on) {
      gCalls.push_back(on ? "restoring.on" : "restoring.off");
    };
    c.luaCollectGarbage = [] { gCalls.push_back("gc"); };
    c.resourcesReleased = [] { gCalls.push_back("released"); };
    c.luaRunSystemScript = [] {
      gCalls.push_back("systemScript");
      return 1;
    };
    c.luaCallGlobal = [](const char* name, const char* arg) {
      gCalls.push_back(std::string("call.") + name + (arg ? std::string(".") + arg : ""));
    };
  }
  void TearDown() override {
    drevMain_Shutdown();
    drevMain_Uninitialize();
    drevMain_SetModuleTables(nullptr, nullptr);
    drevMain_ResetCalls();
    drevMain_SetMaxMemory(24);
  }
  // The calls recorded since `from`, as one line.
  static std::string Since(size_t from) {
    std::string s;
    for (size_t i = from; i < gCalls.size(); i++) s += (s.empty() ? "" : " ") + gCalls[i];
    return s;
  }
  static std::string Seq(char g, int first, int last, const char* op) {
    std::string s;
    const int step = first <= last ? 1 : -1;
    for (int i = first;; i += step) {
      s += (s.empty() ? "" : " ") + std::string(1, g) + std::to_string(i) + "." + op;
      if (i == last) break;
    }
    return s;
  }
  HostServices hs_;
  ModuleDescriptor engine_{};
};

TEST_F(Registry, WholeLifeCycleRunsInTableOrder) {
  ASSERT_EQ(drevMain_Initialize(&hs_, &engine_), 0);
  EXPECT_EQ(engine_.initialize, drevMain_Initialize);
  EXPECT_EQ(engine_.startup, drevMain_Startup);
  EXPECT_EQ(engine_.shutdown, drevMain_Shutdown);
  EXPECT_EQ(engine_.uninitialize, drevMain_Uninitialize);
  EXPECT_EQ(engine_.save, nullptr);
  ASSERT_EQ(engine_.startup(), 0);
  engine_.shutdown();
  engine_.uninitialize();
  EXPECT_EQ(Since(0), Seq('A', 0, 8, "init") + " " + Seq('B', 0, 8, "init") + " " +
                          Seq('A', 0, 8, "start") + " budgets " + Seq('B', 0, 8, "start") + " " +
                          Seq('B', 8, 0, "stop") + " " + Seq('A', 8, 0, "stop") + " " +
                          Seq('B', 8, 0, "uninit") + " " + Seq('A', 8, 0, "uninit"));
  EXPECT_EQ(drevMain_GetServices(), nullptr);
}

TEST_F(Registry, InitialiseFailureUndoesOnlyTheEarlierModulesOfItsGroup) {
  gFailInit[1][3] = 1;
  EXPECT_EQ(drevMain_Initialize(&hs_, &engine_), 1);
  EXPECT_EQ(drevMain_IsInitialized(), 0);
  EXPECT_EQ(Since(0),
            Seq('A', 0, 8, "init") + " " + Seq('B', 0, 3, "init") + " " + Seq('B', 2, 0, "uninit"));
  // Uninitialise still undoes group A, which stayed initialised.
  const size_t mark = gCalls.size();
  drevMain_Uninitialize();
  EXPECT_EQ(Since(mark), Seq('A', 8, 0, "uninit"));

  gCalls.clear();
  std::memset(gFailInit, 0, sizeof gFailInit);
  gFailInit[0][2] = 1;
  EXPECT_EQ(drevMain_Initialize(&hs_, &engine_), 1);
  EXPECT_EQ(Since(0), Seq('A', 0, 2, "init") + " " + Seq('A', 1, 0, "uninit"));
}

TEST_F(Registry, StartupFailuresAndRepeats) {
  ASSERT_EQ(drevMain_Initialize(&hs_, &engine_), 0);
  gFailStart[0][4] = 1;
  size_t mark = gCalls.size();
  EXPECT_EQ(drevMain_Startup(), 1);
  EXPECT_EQ(Since(mark), Seq('A', 0, 4, "start") + " " + Seq('A', 3, 0, "stop"));

  // A group B failure also takes group A out of service again.
  gFailStart[0][4] = 0;
  gFailStart[1][2] = 1;
  mark = gCalls.size();
  EXPECT_EQ(drevMain_Startup(), 1);
  EXPECT_EQ(Since(mark), Seq('A', 0, 8, "start") + " budgets " + Seq('B', 0, 2, "start") + " " +
                             Seq('B', 1, 0, "stop") + " " + Seq('A', 8, 0, "stop"));
  EXPECT_EQ(drevMain_IsStarted(), 0);

  gFailStart[1][2] = 0;
  ASSERT_EQ(drevMain_Startup(), 0);
  mark = gCalls.size();
  EXPECT_EQ(drevMain_Startup(), 1);  // already started: nothing runs
  EXPECT_EQ(Since(mark), "");
  drevMain_Shutdown();
  mark = gCalls.size();
  drevMain_Shutdown();  // a second shutdown does nothing
  EXPECT_EQ(Since(mark), "");
}

TEST_F(Registry, MemoryBudgetAndMusicConfiguration) {
  struct Case {
    uint64_t physical;
    int maxMegabytes;  // 0: no -m
    int64_t budget;
    int soundValue6, soundValue8, soundValue11;
  };
  const int64_t MB = 1048576;
  const Case cases[] = {
      {4096ull * 1048576, 0, 24 * MB, 200000, 48000, 9},
      {4096ull * 1048576, 100, 100 * MB, 200000, 48000, 9},
      {64 * 1048576, 100, 56 * MB, 200000, 48000, 9},  // capped at physical - 8 MB
      {16 * 1048576, 0, 10 * MB, 100000, 44100, 6},    // exactly 16 MB: small configuration
      {16 * 1048576 + 1, 0, 8 * MB + 1, 200000, 48000, 9},
      {64ull << 30, 4000, 4000 * MB, 200000, 48000, 9},  // no 32-bit overflow
  };
  for (const Case& c : cases) {
    gPhysical = c.physical;
    drevMain_SetMaxMemory(24);
    if (c.maxMegabytes) drevMain_SetMaxMemory(c.maxMegabytes);
    drevMain_SetMaxMemory(0);  // ignored
    gBudgets.clear();
    gSoundConfigs.clear();
    ASSERT_EQ(drevMain_Initialize(&hs_, &engine_), 0);
    ASSERT_EQ(drevMain_Startup(), 0);
    ASSERT_EQ(gBudgets.size(), 1u);
    EXPECT_EQ(gBudgets[0].first, c.budget) << c.physical << " " << c.maxMegabytes;
    EXPECT_EQ(gBudgets[0].second, 0);
    ASSERT_EQ(gSoundConfigs.size(), 1u);
    EXPECT_EQ(gSoundConfigs[0][6], c.soundValue6);
    EXPECT_EQ(gSoundConfigs[0][8], c.soundValue8);
    EXPECT_EQ(gSoundConfigs[0][11], c.soundValue11);
    EXPECT_EQ(gSoundConfigs[0][0], 88000);
    drevMain_Shutdown();
    drevMain_Uninitialize();
  }
}

TEST_F(Registry, NewGameRestartKeepsTheResourceBinding) {
  ASSERT_EQ(drevMain_Initialize(&hs_, &engine_), 0);
  ASSERT_EQ(drevMain_Startup(), 0);
  drevMain_RequestNewGame();
  gFailStart[1][5] = 1;  // a module that fails to restart is logged and the restart goes on
  const size_t mark = gCalls.size();
  drevMain_RestartNewGame();
  EXPECT_EQ(drevMain_newGameRequest.load(), 0);
  const std::string stopA = "A8.stop A6.stop A5.stop A4.stop A3.stop A2.stop A1.stop A0.stop";
  const std::string startA =
      "A0.start A1.start A2.start A3.start A4.start A5.start A6.start A8.start";
  EXPECT_EQ(Since(mark),
            "waitTimer.off stopSounds tolveStop tolveUpdate freeAll forgetShadow "
            "restoring.on gc " +
                Seq('B', 8, 0, "stop") + " " + stopA + " released " + startA + " " +
                Seq('B', 0, 8, "start") + " restoring.off waitTimer.on systemScript call.BOOT");
}

}  // namespace
