// The engine frame's order by game state, the display step, game control and
// camera-setup switching, with recording fakes in place of the neighbours.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/drevMain.h"
#include "engine/drevRoom.h"
#include "engine/drevTime.h"
#include "std/std.h"

namespace {

std::vector<std::string> gLog;
int gBeginFrame = 1;
int gActivate = 1;
int gBoot = 1;
int gTolveStart = 0;
float gRenderingMode = 0.0f;
Room gRoom{};
Room* gCurrent = nullptr;
uint32_t gNow = 1000;

std::string Joined() {
  std::string s;
  for (const auto& e : gLog) s += (s.empty() ? "" : " ") + e;
  return s;
}

class Frame : public ::testing::Test {
 protected:
  void SetUp() override {
    HostServices_CopyDefaults(&hs_);
    std_DefaultServices(&hs_);
    std_Startup(&hs_);
    gLog.clear();
    gBeginFrame = gActivate = gBoot = 1;
    gTolveStart = 0;
    gRenderingMode = 0.0f;
    gRoom = Room{};
    static ResourceRef colormap{};
    gRoom.apColormaps = &colormap;
    gRoom.numSetups = 3;
    gCurrent = nullptr;
    drevMain_ResetFrameState();
    drevMain_ResetCalls();
    drevTime_SetTickSource([] { return gNow; });
    ModuleDescriptor d{};
    drevTime_Initialize(&hs_, &d);
    d.shutdown();
    d.startup();
    drevMainCalls& c = drevMain_Calls();
    c.saveDispatch = [] { gLog.push_back("dispatch"); };
    c.soundsUpdate = [] { gLog.push_back("sound"); };
    c.controlUpdate = [](float, uint32_t) { gLog.push_back("controls"); };
    c.timeUpdate = [] {
      gLog.push_back("clock");
      drevTime_Update();
    };
    c.timeSetFrameMs = [](uint32_t ms) {
      gLog.push_back("clock." + std::to_string(ms));
      drevTime_SetFrameMs(ms);
    };
    c.luaUpdate = [] { gLog.push_back("lua"); };
    c.actorUpdateAll = [](float) { gLog.push_back("actors"); };
    c.commentaryUpdate = [] { gLog.push_back("commentary"); };
    c.beginFrame = [] {
      gLog.push_back("begin");
      return gBeginFrame;
    };
    c.renderDrawFrame = [] { gLog.push_back("draw"); };
    c.melosSetState = [](int s) {
      gLog.push_back("music." + std::to_string(s));
      return s;
    };
    c.registryReadFloat = [](const char* name, float def) {
      return std::string(name) == "RenderingMode" ? gRenderingMode : def;
    };
    c.renderDrawIris = [](float, int, int) { gLog.push_back("iris"); };
    c.overlayFillBlack = [] { gLog.push_back("black"); };
    c.overlayDrawLayer = [](int layer, int) { gLog.push_back("layer." + std::to_string(layer)); };
    c.renderPresent = [] { gLog.push_back("present"); };
    c.commentaryLoadDefinitions = [] { gLog.push_back("commentaryDefs"); };
    c.luaCallBoot = [](int, const char*) {
      gLog.push_back("boot");
      return gBoot;
    };
    c.renderCreateCameraActor = [] { gLog.push_back("cameraActor"); };
    c.controlActivate = [] {
      gLog.push_back("activate");
      return gActivate;
    };
    c.controlDeactivate = [] { gLog.push_back("deactivate"); };
    c.renderFreeBuffers = [] { gLog.push_back("freeBuffers"); };
    c.melosPause = [] { gLog.push_back("melosPause"); };
    c.melosResume = [] { gLog.push_back("melosResume"); };
    c.tolvePause = [](int f) { gLog.push_back("tolvePause." + std::to_string(f)); };
    c.tolveCreateFrameBuffer = [](int f) {
      gLog.push_back("frameBuffer." + std::to_string(f));
      return 0;
    };
    c.tolveStart = [](const char*, int, int, int) { return gTolveStart; };
    c.luaCallCamChangeHandler = [](int o, int n) {
      gLog.push_back("camChange." + std::to_string(o) + "." + std::to_string(n));
      return 1;
    };
    c.resourceGet = [](const char* tag, const char*) -> void* {
      return std::string(tag) == "SET " ? &gRoom : nullptr;
    };
    c.roomGetCurrent = [] { return gCurrent; };
    c.roomMakeCurrent = [](Room* r, const char*) {
      gCurrent = r;
      gLog.push_back(r ? "makeCurrent" : "makeCurrent.null");
    };
    c.hotspotsLoadForSet = [](const char*) { gLog.push_back("hotspots"); };
    c.pathfinderInvalidate = [] { gLog.push_back("pathfinder"); };
    c.walkPlaneSelectSetSectors = [](const char*) { gLog.push_back("sectors"); };
    c.renderSelectSetupCamera = [](Room*, int s) { gLog.push_back("camera." + std::to_string(s)); };
    c.roomSetSoundParameters = [](Room*, float range, int mn, int mx, float pan, float nearD) {
      EXPECT_FLOAT_EQ(range, 8.0f);
      EXPECT_EQ(mn, 20);
      EXPECT_EQ(mx, 127);
      EXPECT_FLOAT_EQ(pan, 1.5f);
      EXPECT_FLOAT_EQ(nearD, 0.8f);
      gLog.push_back("soundParams");
    };
    c.roomUpdatePositionalSounds = [] { gLog.push_back("positional"); };
  }
  void TearDown() override {
    drevMain_ResetCalls();
    drevMain_ResetFrameState();
    ModuleDescriptor d{};
    drevTime_Initialize(&hs_, &d);
    d.shutdown();
    d.uninitialize();
    drevTime_SetTickSource(nullptr);
  }
  HostServices hs_;
};

TEST_F(Frame, OrderByGameState) {
  struct Case {
    int state;
    int draw;
    uint32_t forced;
    int scriptUpdate;
    const char* expected;
  };
  const Case cases[] = {
      {kGameNone, 1, 0, 1, "dispatch sound"},
      {kGamePaused, 1, 0, 1, "dispatch sound controls begin"},
      {kGamePaused, 1, 40, 1, "dispatch sound controls clock.40 lua actors commentary begin draw"},
      {kGameRunning, 1, 0, 1, "dispatch sound controls clock lua actors commentary begin draw"},
      {kGameRunning, 0, 0, 1, "dispatch sound controls clock lua actors commentary begin"},
      {kGameRunning, 1, 0, 0, "dispatch sound controls clock actors commentary begin draw"},
      {kGameCutscene, 1, 0, 1, "dispatch sound controls clock lua commentary begin draw"},
      {kGameUserPaint, 1, 0, 1, "dispatch sound controls clock lua commentary begin draw"},
      {kGameScriptWide, 1, 0, 1, "dispatch sound controls clock lua actors commentary begin draw"},
      {kGameNoRender, 1, 0, 1, "dispatch sound controls clock lua actors commentary"},
  };
  for (const Case& c : cases) {
    gLog.clear();
    GameState = c.state;
    drevMain_SetScriptUpdate(c.scriptUpdate);
    drevMain_Frame(c.draw, c.forced);
    EXPECT_EQ(Joined(), c.expected) << "state " << c.state << " forced " << c.forced;
  }
  // A frame that could not begin draws nothing.
  gLog.clear();
  GameState = kGameRunning;
  gBeginFrame = 0;
  drevMain_Frame(1, 0);
  EXPECT_EQ(Joined(), "dispatch sound controls clock lua actors commentary begin");
}

TEST_F(Frame, ForcedStepIsCappedAndQueuedMusicWaitsForAGame) {
  GameState = kGamePaused;
  const uint32_t before = drevTime_GetTotalMs();
  drevMain_Frame(1, 5000);
  EXPECT_EQ(drevTime_GetFrameMs(), 300u);
  EXPECT_EQ(drevTime_GetTotalMs() - before, 300u);

  GameState = kGameNone;
  drevMain_QueueMusicState(7);
  gLog.clear();
  drevMain_Frame(1, 0);
  EXPECT_EQ(Joined(), "dispatch sound");
  EXPECT_EQ(drevMain_GetQueuedMusicState(), 7);
  GameState = kGameRunning;
  gLog.clear();
  drevMain_Frame(1, 0);
  EXPECT_EQ(gLog.back(), "music.7");
  EXPECT_EQ(drevMain_GetQueuedMusicState(), -1);
}

TEST_F(Frame, DisplayBlacksOutOnceWhenLeavingWideModeWithRenderingMode) {
  struct Case {
    float renderingMode;
    const char* leaving;
  };
  const Case cases[] = {{1.0f, "iris black layer.40 present"}, {0.0f, "present"}};
  for (const Case& c : cases) {
    drevMain_ResetFrameState();
    gRenderingMode = c.renderingMode;
    GameState = kGameScriptWide;
    gLog.clear();
    drevMain_Display();
    EXPECT_EQ(Joined(), "present");
    GameState = kGameRunning;
    gLog.clear();
    drevMain_Display();
    EXPECT_EQ(Joined(), c.leaving);
    gLog.clear();
    drevMain_Display();
    EXPECT_EQ(Joined(), "present");
  }
  GameState = kGameNoRender;
  gLog.clear();
  drevMain_Display();
  EXPECT_EQ(Joined(), "");
}

TEST_F(Frame, StartStopAndPause) {
  // A refused control activation leaves no game running.
  gActivate = 0;
  EXPECT_EQ(drevMain_StartGame(1, nullptr), 1);
  EXPECT_EQ(GameState, kGameNone);
  EXPECT_EQ(drevMain_IsGameStarted(), 0);
  gBoot = 0;
  gActivate = 1;
  EXPECT_EQ(drevMain_StartGame(1, nullptr), 1);
  EXPECT_EQ(GameState, kGameNone);

  gBoot = 1;
  gLog.clear();
  EXPECT_EQ(drevMain_StartGame(1, "param"), 0);
  EXPECT_EQ(Joined(), "commentaryDefs boot cameraActor activate");
  EXPECT_EQ(GameState, kGameRunning);
  EXPECT_EQ(drevMain_StartGame(1, nullptr), 1);  // already started

  // Pauses do not nest: the second keeps the state the first remembered.
  GameState = kGameCutscene;
  EXPECT_EQ(drevMain_SetPaused(1), 1);
  EXPECT_EQ(GameState, kGamePaused);
  EXPECT_EQ(drevMain_SetPaused(1), 0);
  EXPECT_EQ(drevMain_SetPaused(0), 1);
  EXPECT_EQ(GameState, kGameCutscene);
  EXPECT_EQ(drevMain_SetPaused(0), 0);  // outside a pause: nothing
  EXPECT_EQ(GameState, kGameCutscene);

  gLog.clear();
  drevMain_StopGame();
  EXPECT_EQ(Joined(), "deactivate freeBuffers makeCurrent.null");
  EXPECT_EQ(GameState, kGameNone);
  EXPECT_EQ(drevMain_SetPaused(1), 0);  // nothing in state 0
  gLog.clear();
  drevMain_StopGame();  // not started: nothing
  EXPECT_EQ(Joined(), "");
}

TEST_F(Frame, MoviesChangeTheState) {
  GameState = kGameRunning;
  EXPECT_EQ(drevMain_StartMovie("a.snm", 1, 0, 0, 0), 1);
  EXPECT_EQ(GameState, kGameCutscene);
  EXPECT_EQ(drevMain_StartMovie("b.snm", 0, 0, 0, 0), 1);
  EXPECT_EQ(GameState, kGameRunning);
  gTolveStart = 1;
  EXPECT_EQ(drevMain_StartMovie("c.snm", 1, 0, 0, 0), 0);
  EXPECT_EQ(GameState, kGameRunning);
}

TEST_F(Frame, SetsAndCameraSetups) {
  drevMain_SetCurrentSet("mo.set");
  EXPECT_EQ(Joined(), "makeCurrent hotspots pathfinder sectors camera.0");
  gLog.clear();
  drevMain_SetCurrentSet("mo.set");  // already current: hotspots are not reloaded
  EXPECT_EQ(Joined(), "");

  struct Case {
    void (*action)();
    uint32_t from;
    uint32_t to;
    const char* calls;
  };
  const Case cases[] = {
      {[] { drevMain_SelectSetup(7); }, 0, 1, "soundParams camChange.0.1 positional"},
      {[] { drevMain_PreviousSetup(); }, 0, 2, "soundParams camChange.0.2 positional"},
      {[] { drevMain_NextSetup(); }, 2, 0, "soundParams camChange.2.0 positional"},
      {[] { drevMain_SelectSetup(1); }, 1, 1, ""},   // the current setup again: only logged
      {[] { drevMain_SelectSetup(-1); }, 0, 0, ""},  // 0xFFFFFFFF % 3 == 0
  };
  for (const Case& c : cases) {
    gRoom.currentSetup = c.from;
    gLog.clear();
    c.action();
    EXPECT_EQ(gRoom.currentSetup, c.to);
    EXPECT_EQ(Joined(), c.calls);
  }
  gRoom.numSetups = 0;
  gLog.clear();
  drevMain_SelectSetup(1);
  EXPECT_EQ(Joined(), "");

  gLog.clear();
  drevMain_SetCurrentSet(nullptr);
  EXPECT_EQ(Joined(), "makeCurrent.null");
  gRoom.apColormaps = nullptr;  // a set without colormaps is not made current
  gLog.clear();
  drevMain_SetCurrentSet("mo.set");
  EXPECT_EQ(Joined(), "");
}

}  // namespace
