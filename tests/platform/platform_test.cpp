// The event pump, handler list, language, window-size rules, engine key
// handler, whole-file loading, achievements, the crash guard and the GL
// debug tag it reports.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/kv_Language.h"
#include "platform/kv_Log.h"
#include "platform/kv_Platform.h"
#include "platform/kv_Steam.h"
#include "platform/kv_Thread.h"
#include "platform/steam/steam_api.h"

namespace {

std::string ReadAll(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// ---------------------------------------------------------------------------
// Event pump (SDL's dummy video driver: an event queue without a window)

struct PumpRecord {
  int ticks = 0;
  int shutdowns = 0;
  std::vector<int> keys;     // what reached the input layer
  std::vector<int> offered;  // what reached the handler (event types)
} g_pump;

class Pump : public testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    saved_ = *kv_Platform_GetGameHooks();
    kvPlatformGameHooks* hooks = kv_Platform_GetGameHooks();
    hooks->tick = [] { ++g_pump.ticks; };
    hooks->shutdown = [] { ++g_pump.shutdowns; };
    hooks->keyEvent = [](int code, int, uint32_t, int) { g_pump.keys.push_back(code); };
    g_pump = PumpRecord{};
    kvPlatformState* state = kv_Platform_GetState();
    for (auto& entry : state->handlers) entry = {};
    state->handlerCount = 0;
    state->quit = 0;
    state->loopRunning = 1;
    state->windowShown = 0;
  }
  void TearDown() override {
    *kv_Platform_GetGameHooks() = saved_;
    SDL_Quit();
  }
  static void Push(Uint32 type, Uint8 windowEvent = 0, SDL_Keycode key = 0) {
    SDL_Event event{};
    event.type = type;
    if (type == SDL_WINDOWEVENT) event.window.event = windowEvent;
    if (type == SDL_KEYDOWN || type == SDL_KEYUP) {
      event.key.keysym.sym = key;
      event.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    }
    ASSERT_EQ(SDL_PushEvent(&event), 1);
  }
  static int Handler(const SDL_Event* event) {
    g_pump.offered.push_back(static_cast<int>(event->type));
    return 0;
  }
  kvPlatformGameHooks saved_{};
};

TEST_F(Pump, AStreamOfEventsRunsNoTickUntilAPassFindsTheQueueEmpty) {
  for (int pass = 0; pass < 5; ++pass) {
    Push(SDL_MOUSEMOTION);
    Push(SDL_MOUSEMOTION);
    kv_Platform_RunOnce();
  }
  EXPECT_EQ(g_pump.ticks, 0);
  kv_Platform_RunOnce();
  EXPECT_EQ(g_pump.ticks, 1);
  EXPECT_EQ(kv_Platform_PumpEvents(), 0);
}

TEST_F(Pump, CloseAndAScriptedQuitShutDownOnce) {
  Push(SDL_WINDOWEVENT, SDL_WINDOWEVENT_CLOSE);
  kv_Platform_PostQuit();  // the scripts asked to quit in the same frame
  EXPECT_EQ(kv_Platform_PumpEvents(), 1);
  EXPECT_EQ(g_pump.shutdowns, 1);
  EXPECT_EQ(kv_Platform_GetState()->quit, 1);
  EXPECT_EQ(kv_Platform_GetState()->loopRunning, 0);
  kv_Platform_PostQuit();
  kv_Platform_PumpEvents();
  EXPECT_EQ(g_pump.shutdowns, 1);
}

TEST_F(Pump, AKeyAfterACloseReachesTheInputLayerButNoHandler) {
  ASSERT_EQ(kv_Platform_AddEventHandler(Handler), 1);
  Push(SDL_KEYDOWN, 0, SDLK_a);
  Push(SDL_WINDOWEVENT, SDL_WINDOWEVENT_CLOSE);
  Push(SDL_KEYDOWN, 0, SDLK_b);
  kv_Platform_PumpEvents();
  EXPECT_THAT(g_pump.keys, testing::ElementsAre(SDLK_a, SDLK_b));
  EXPECT_THAT(g_pump.offered, testing::ElementsAre(SDL_KEYDOWN));
  // The close became a quit event, which the next pass handles (SDL hands
  // out events pushed during a drain in the next one).
  kv_Platform_RunOnce();
  EXPECT_EQ(g_pump.shutdowns, 1);
  EXPECT_EQ(g_pump.ticks, 0);
}

// SIGHUP becomes the quit event at the next pump, as SDL makes of SIGTERM,
// so the game shuts down in order; a program started with SIGHUP ignored
// (nohup) keeps ignoring it.
TEST_F(Pump, AHangupBecomesTheQuitUnlessItIsIgnored) {
  signal(SIGHUP, SIG_DFL);
  kv_Platform_InstallHangupHandler();
  raise(SIGHUP);
  kv_Platform_PumpEvents();
  EXPECT_EQ(g_pump.shutdowns, 1);
  EXPECT_EQ(kv_Platform_GetState()->quit, 1);
  kv_Platform_RemoveHangupHandler();
  struct sigaction now {};
  sigaction(SIGHUP, nullptr, &now);
  EXPECT_EQ(now.sa_handler, SIG_DFL);

  signal(SIGHUP, SIG_IGN);
  kv_Platform_InstallHangupHandler();
  sigaction(SIGHUP, nullptr, &now);
  EXPECT_EQ(now.sa_handler, SIG_IGN);
  kv_Platform_RemoveHangupHandler();
  signal(SIGHUP, SIG_DFL);
}

TEST_F(Pump, WindowEventsSetTheShownFlag) {
  struct Case {
    Uint8 event;
    int shown;
  };
  for (const Case c : {Case{SDL_WINDOWEVENT_EXPOSED, 1}, Case{SDL_WINDOWEVENT_HIDDEN, 0},
                       Case{SDL_WINDOWEVENT_FOCUS_GAINED, 1}, Case{SDL_WINDOWEVENT_FOCUS_LOST, 1},
                       Case{SDL_WINDOWEVENT_HIDDEN, 0}, Case{SDL_WINDOWEVENT_SHOWN, 0}}) {
    Push(SDL_WINDOWEVENT, c.event);
    kv_Platform_PumpEvents();
    EXPECT_EQ(kv_Platform_IsWindowShown(), c.shown) << int(c.event);
  }
}

int First(const SDL_Event*) {
  return 1;
}

TEST_F(Pump, HandlerListHoldsSixteenAndTheFirstToConsumeWins) {
  ASSERT_EQ(kv_Platform_AddEventHandler(First), 1);
  ASSERT_EQ(kv_Platform_AddEventHandler(Handler), 1);
  Push(SDL_KEYDOWN, 0, SDLK_x);
  kv_Platform_PumpEvents();
  EXPECT_TRUE(g_pump.offered.empty());  // First consumed it
  kv_Platform_RemoveEventHandler(First);
  Push(SDL_KEYDOWN, 0, SDLK_x);
  kv_Platform_PumpEvents();
  EXPECT_EQ(g_pump.offered.size(), 1u);

  for (int i = 1; i < KV_PLATFORM_MAX_HANDLERS; ++i) {
    EXPECT_EQ(kv_Platform_AddEventHandler(Handler), 1);
  }
  EXPECT_EQ(kv_Platform_GetState()->handlerCount, 16);
  EXPECT_EQ(kv_Platform_AddEventHandler(First), 0);  // full: not added, and said so
  EXPECT_EQ(kv_Platform_GetState()->handlerCount, 16);
  EXPECT_EQ(kv_Platform_RemoveEventHandler(First), 1);  // not registered: nothing changes
  EXPECT_EQ(kv_Platform_GetState()->handlerCount, 16);
}

TEST(PlatformMain, AWindowThatCannotBeCreatedEndsStartUpWithEverythingShut) {
  // The dummy driver has no OpenGL: window creation fails.
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  static int boxes = 0;
  kv_Platform_SetMessageBoxHandler([](const SDL_MessageBoxData* data, int* button) {
    ++boxes;
    EXPECT_STREQ(data->title, "Error");
    *button = 0;
    return 0;
  });
  static int inits = 0;
  kvPlatformGameHooks saved = *kv_Platform_GetGameHooks();
  kv_Platform_GetGameHooks()->init = [](const char*) { return ++inits; };
  EXPECT_EQ(kv_Platform_Main(""), -1);
  EXPECT_EQ(boxes, 1);
  EXPECT_EQ(inits, 0);            // the game is not started
  EXPECT_EQ(SDL_WasInit(0), 0u);  // SDL is shut down again
  EXPECT_EQ(kv_Platform_GetWindowState()->window, nullptr);
  *kv_Platform_GetGameHooks() = saved;
  kv_Platform_SetMessageBoxHandler(nullptr);
}

TEST(PlatformMain, CurrentDirectoryAnswersItsLengthOrTheSizeNeeded) {
  char buffer[4096];
  const int length = kv_Platform_GetCurrentDirectory(sizeof buffer, buffer);
  ASSERT_GT(length, 0);
  EXPECT_EQ(static_cast<size_t>(length), std::strlen(buffer));
  char small[2];
  EXPECT_EQ(kv_Platform_GetCurrentDirectory(sizeof small, small), length + 1);
}

// ---------------------------------------------------------------------------
// Language

TEST(Language, LocaleNamesSelectByTheirCodes) {
  const std::pair<const char*, int> cases[] = {
      {"GER", -1},  {"DEU", 1},   {"deu", 1}, {"de_DE.UTF-8", 1}, {"fr", 3}, {"fre", -1},
      {"pt_BR", 5}, {"es-ES", 2}, {"C", -1},  {"POSIX", -1},      {"", -1},  {"eng", 0}};
  for (auto [name, index] : cases) EXPECT_EQ(kv_Language_FromLocaleName(name), index) << name;
}

TEST(Language, DetectionFromTheEnvironmentFallsBackToEnglish) {
  const char* saved = std::getenv("LANG");
  const std::string savedLang = saved ? saved : "";
  unsetenv("LANGUAGE");
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  for (auto [lang, index] :
       {std::pair{"GER", 0}, std::pair{"DEU", 1}, std::pair{"it_IT.UTF-8", 4}}) {
    setenv("LANG", lang, 1);
    kv_Language_Set(-1);
    kv_Language_Detect();
    EXPECT_EQ(kv_Language_Get(), index) << lang;
  }
  if (saved)
    setenv("LANG", savedLang.c_str(), 1);
  else
    unsetenv("LANG");
}

TEST(Language, ValuesOutsideTheTableReadAsEnglish) {
  kv_Language_Set(9);
  EXPECT_EQ(kv_Language_Get(), 9);  // stored unchecked
  EXPECT_STREQ(kv_Language_GetCode(), "en");
  EXPECT_STREQ(kv_Language_GetIsoName(), "eng");
  kv_Language_Set(1);
  EXPECT_STREQ(kv_Language_GetCode(), "de");
  EXPECT_STREQ(kv_Language_GetIsoName(), "deu");
  EXPECT_STREQ(kv_Language_GetIsoNameB(), "ger");
  kv_Language_Set(0);
}

// ---------------------------------------------------------------------------
// Window-size rules

TEST(WindowSize, OfferedSizeIsTheFirstSmallerThanTheDesktop) {
  struct Case {
    int desktopW, desktopH, w, h, expectW, expectH;
  };
  const Case cases[] = {{1920, 1080, 0, 0, 1600, 900},    {1280, 720, 0, 0, 854, 480},
                        {800, 600, 0, 0, 854, 480},       {2560, 1440, 0, 0, 1920, 1080},
                        {3840, 2160, 0, 0, 2560, 1440},   {1920, 1200, 0, 0, 1600, 900},
                        {1920, 1080, 1280, 0, 1600, 900}, {1920, 1080, 1024, 768, 1024, 768}};
  for (const Case& c : cases) {
    int w = c.w, h = c.h;
    kv_Platform_PickWindowedSize(c.desktopW, c.desktopH, &w, &h);
    EXPECT_EQ(w, c.expectW) << c.desktopW << "x" << c.desktopH;
    EXPECT_EQ(h, c.expectH) << c.desktopW << "x" << c.desktopH;
  }
}

TEST(WindowSize, ResolutionSettingsAreTruncatedAndZeroMeansAutomatic) {
  struct Case {
    float rx, ry;
    int w, h;
  };
  const Case cases[] = {{1280, 0, 0, 0},
                        {0, 720, 0, 0},
                        {1280, 720, 1280, 720},
                        {-5, 100, 0, 0},
                        {1280.9f, 720.4f, 1280, 720},
                        {0.5f, 720, 0, 0}};
  for (const Case& c : cases) {
    int w = -1, h = -1;
    kv_Platform_ResolveResolution(c.rx, c.ry, &w, &h);
    EXPECT_EQ(w, c.w) << c.rx << "," << c.ry;
    EXPECT_EQ(h, c.h) << c.rx << "," << c.ry;
  }
}

TEST(WindowSize, CentredPositionIsClampedToTheOrigin) {
  struct Case {
    SDL_Rect display;
    int w, h, x, y;
  };
  const Case cases[] = {{{0, 0, 1920, 1080}, 1600, 900, 160, 90},
                        {{0, 0, 1280, 720}, 854, 480, 213, 120},
                        {{0, 0, 800, 600}, 854, 480, 0, 60},
                        {{0, 0, 1280, 720}, 2560, 1440, 0, 0},
                        {{1920, 0, 1280, 1024}, 854, 480, 2133, 272}};
  for (const Case& c : cases) {
    int x = -1, y = -1;
    kv_Platform_CenteredPosition(c.display, c.w, c.h, &x, &y);
    EXPECT_EQ(x, c.x);
    EXPECT_EQ(y, c.y);
  }
}

// ---------------------------------------------------------------------------
// Engine key handler with fake engine hooks

struct KeyRecord {
  int enabled = 0;
  std::map<std::string, int> calls;
  std::vector<int> characters;
  int characterAnswer = 0;
  std::vector<std::string> paths;
} g_keys;

class Keys : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = *kv_Platform_GetEngineKeyHooks();
    g_keys = KeyRecord{};
    kvEngineKeyHooks* h = kv_Platform_GetEngineKeyHooks();
    h->debugKeysEnabled = [] { return g_keys.enabled; };
    h->toggleChoreTool = [](int) { return ++g_keys.calls["c"], 0; };
    h->toggleFrameRate = [] { ++g_keys.calls["f"]; };
    h->togglePerformance = [] { ++g_keys.calls["p"]; };
    h->saveScreenImage = [](const char* path) { g_keys.paths.push_back(path); };
    h->saveZBufferImage = [](const char* path) { g_keys.paths.push_back(path); };
    h->flushTextures = [] { ++g_keys.calls["t"]; };
    h->callPauseHandler = [] { return ++g_keys.calls["pause"], 1; };
    h->startDebugOutput = [] { ++g_keys.calls["numlock"]; };
    h->callCharacterHandler = [](int c) {
      g_keys.characters.push_back(c);
      return g_keys.characterAnswer;
    };
    Key(SDL_KEYUP, SDLK_BACKSPACE);  // start disarmed
  }
  void TearDown() override {
    Key(SDL_KEYUP, SDLK_BACKSPACE);
    *kv_Platform_GetEngineKeyHooks() = saved_;
  }
  static int Key(Uint32 type, SDL_Keycode key) {
    SDL_Event event{};
    event.type = type;
    event.key.keysym.sym = key;
    return kv_Platform_HandleDebugKeys(&event);
  }
  kvEngineKeyHooks saved_{};
};

TEST_F(Keys, WithoutEnabledDeveloperKeysBackspaceThenFTypesF) {
  EXPECT_EQ(Key(SDL_KEYDOWN, SDLK_BACKSPACE), 0);
  EXPECT_EQ(kv_Platform_DebugKeysArmed(), 0);
  EXPECT_EQ(Key(SDL_KEYDOWN, SDLK_f), 0);
  EXPECT_EQ(g_keys.calls["f"], 0);
  EXPECT_THAT(g_keys.characters, testing::ElementsAre(SDLK_f));
}

TEST_F(Keys, ArmedLettersActAndStillReachTheScripts) {
  g_keys.enabled = 1;
  EXPECT_EQ(Key(SDL_KEYDOWN, SDLK_BACKSPACE), 0);  // not consumed
  EXPECT_EQ(kv_Platform_DebugKeysArmed(), 1);
  for (SDL_Keycode k : {SDLK_c, SDLK_f, SDLK_p, SDLK_t, SDLK_s, SDLK_z, SDLK_s})
    Key(SDL_KEYDOWN, k);
  EXPECT_EQ(g_keys.calls["c"], 1);
  EXPECT_EQ(g_keys.calls["f"], 1);
  EXPECT_EQ(g_keys.calls["p"], 1);
  EXPECT_EQ(g_keys.calls["t"], 1);
  // Images get numbered names, never an empty or repeated one.
  ASSERT_EQ(g_keys.paths.size(), 3u);
  EXPECT_THAT(g_keys.paths[0], testing::MatchesRegex("shot[0-9]{4}\\.bmp"));
  EXPECT_THAT(g_keys.paths[1], testing::MatchesRegex("zbuffer[0-9]{4}\\.bm"));
  EXPECT_NE(g_keys.paths[0], g_keys.paths[2]);
  EXPECT_EQ(g_keys.characters.size(), 7u);
  EXPECT_EQ(Key(SDL_KEYUP, SDLK_c), 1);  // consumed while armed
  EXPECT_EQ(Key(SDL_KEYUP, SDLK_BACKSPACE), 0);
  EXPECT_EQ(kv_Platform_DebugKeysArmed(), 0);
  EXPECT_EQ(Key(SDL_KEYUP, SDLK_c), 0);
  Key(SDL_KEYDOWN, SDLK_f);
  EXPECT_EQ(g_keys.calls["f"], 1);
}

TEST_F(Keys, PauseNumLockAndTheCharacterHandlerDecideConsumption) {
  EXPECT_EQ(Key(SDL_KEYDOWN, SDLK_PAUSE), 1);
  EXPECT_EQ(Key(SDL_KEYDOWN, SDLK_NUMLOCKCLEAR), 1);
  EXPECT_EQ(g_keys.calls["pause"], 1);
  EXPECT_EQ(g_keys.calls["numlock"], 1);
  EXPECT_EQ(Key(SDL_KEYDOWN, SDLK_q), 0);
  g_keys.characterAnswer = 1;
  EXPECT_EQ(Key(SDL_KEYDOWN, SDLK_q), 1);
  EXPECT_EQ(Key(SDL_KEYDOWN, SDLK_1), 0);  // not a letter: not offered
  EXPECT_EQ(g_keys.characters.size(), 2u);
  EXPECT_EQ(Key(SDL_KEYUP, SDLK_q), 0);
}

// ---------------------------------------------------------------------------
// Whole-file loading

TEST(LoadFile, WholeFileWithATerminatingZero) {
  std::ofstream("whole.bin", std::ios::binary) << std::string("ab\0cd", 5);
  uint8_t* data = nullptr;
  size_t size = 0;
  ASSERT_EQ(kv_Platform_LoadFile(&data, &size, "whole.bin"), 1);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(data), 5), std::string("ab\0cd", 5));
  EXPECT_EQ(data[5], 0);
  kv_Platform_FreeFileData(data);

  std::ofstream("empty.bin", std::ios::binary).close();
  ASSERT_EQ(kv_Platform_LoadFile(&data, &size, "empty.bin"), 1);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(data[0], 0);
  kv_Platform_FreeFileData(data);
}

TEST(LoadFile, MissingFilesDirectoriesAndNullFail) {
  mkdir("a_folder", 0755);
  for (const char* path : {"missing.bin", "a_folder", static_cast<const char*>(nullptr)}) {
    uint8_t* data = reinterpret_cast<uint8_t*>(1);
    size_t size = 99;
    EXPECT_EQ(kv_Platform_LoadFile(&data, &size, path), 0) << (path ? path : "null");
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(size, 0u);
  }
}

TEST(Icon, DecodesWithRedAndBlueInPlace) {
  const std::string icon = std::string(std::getenv("VQ_SOURCE_DIR")) + "/data/game/icon.png";
  SDL_Surface* surface = kv_Platform_LoadIcon(icon.c_str());
  ASSERT_NE(surface, nullptr);
  ASSERT_EQ(surface->w, 32);
  auto at = [surface](int x, int y) {
    Uint32 value;
    std::memcpy(&value, static_cast<uint8_t*>(surface->pixels) + y * surface->pitch + x * 4, 4);
    Uint8 r, g, b, a;
    SDL_GetRGBA(value, surface->format, &r, &g, &b, &a);
    return std::vector<int>{r, g, b, a};
  };
  EXPECT_EQ(at(31, 31), (std::vector<int>{20, 40, 200, 255}));  // blue field
  EXPECT_EQ(at(4, 3), (std::vector<int>{220, 30, 30, 255}));    // red stroke
  EXPECT_EQ(at(0, 0)[3], 0);                                    // transparent corner
  SDL_FreeSurface(surface);
  EXPECT_EQ(kv_Platform_LoadIcon("no_icon.png"), nullptr);
}

TEST(MessageBox, ButtonsAndTheDefaultReachTheBox) {
  static SDL_MessageBoxData seen;
  static std::vector<std::string> labels;
  kv_Platform_SetMessageBoxHandler([](const SDL_MessageBoxData* data, int* button) {
    seen = *data;
    labels.clear();
    for (int i = 0; i < data->numbuttons; ++i) labels.push_back(data->buttons[i].text);
    *button = data->buttons[1].buttonid;
    return 0;
  });
  const char* buttons[] = {"Yes", "No"};
  EXPECT_EQ(kv_Platform_ShowMessageBox(nullptr, "Old save", "Load", 2, buttons, 1, 0), 1);
  EXPECT_EQ(seen.flags, static_cast<Uint32>(SDL_MESSAGEBOX_INFORMATION));
  EXPECT_THAT(labels, testing::ElementsAre("Yes", "No"));
  kv_Platform_SetMessageBoxHandler([](const SDL_MessageBoxData*, int*) { return -1; });
  EXPECT_EQ(kv_Platform_ShowMessageBox(nullptr, "x", "y", 2, buttons, 0, 1), -1);
  kv_Platform_SetMessageBoxHandler(nullptr);
}

// Test programs switch boxes off: one that no test answers is logged and
// answered as a box that cannot be shown, even where a display is at hand.
TEST(MessageBox, SwitchedOffBoxesAreLoggedNotShown) {
  kv_Log_ResetForTest();
  ASSERT_EQ(kv_Log_Open("boxes.log"), 1);
  const char* buttons[] = {"Exit", "Start new game"};
  EXPECT_EQ(kv_Platform_ShowMessageBox(nullptr, "Out of date", "Error", 2, buttons, 1, 1), -1);
  kv_Log_ResetForTest();
  EXPECT_NE(ReadAll("boxes.log").find("Message box not shown (boxes are off): Error: Out of date"),
            std::string::npos);
}

// ---------------------------------------------------------------------------
// Achievements through a fake Steam layer

struct FakeSteam : ISteamUserStats, ISteamUser, ISteamUtils {
  std::vector<std::string> calls;
  bool loggedOn = true;
  bool storeResult = true;
  bool RequestCurrentStats() override {
    calls.push_back("Request");
    return true;
  }
  bool GetAchievement(const char* name, bool* achieved) override {
    *achieved = std::string(name) == "ACH_FERRY";
    return true;
  }
  bool SetAchievement(const char* name) override {
    calls.push_back(std::string("Set ") + name);
    return true;
  }
  bool StoreStats() override {
    calls.push_back("Store");
    return storeResult;
  }
  const char* GetAchievementDisplayAttribute(const char*, const char* key) override {
    return std::string(key) == "name" ? "Ferry Tale" : "Cross the water";
  }
  bool BLoggedOn() override { return loggedOn; }
  uint32_t GetAppID() override { return 4242; }
};

class Achievements : public testing::Test {
 protected:
  void SetUp() override {
    SteamStandIn_SetInterfaces(&steam_, &steam_, &steam_);
    std::copy(kv_Steam_GetAchievementTable(),
              kv_Steam_GetAchievementTable() + kv_Steam_kAchievementCount, table_);
  }
  void TearDown() override { SteamStandIn_SetInterfaces(nullptr, nullptr, nullptr); }
  void Receive(uint64_t game, EResult result) {
    UserStatsReceived_t data{game, result};
    SteamStandIn_Dispatch(k_iUserStatsReceived, &data);
  }
  FakeSteam steam_;
  kvAchievement table_[kv_Steam_kAchievementCount];
};

TEST_F(Achievements, UnlockBeforeStatsArriveAnswersZeroWithoutACall) {
  SteamAchievements achievements(table_, kv_Steam_kAchievementCount);
  EXPECT_THAT(steam_.calls, testing::ElementsAre("Request"));
  EXPECT_EQ(achievements.Unlock("ACH_FERRY"), 0);
  EXPECT_THAT(steam_.calls, testing::ElementsAre("Request"));
}

TEST_F(Achievements, StatsForAnotherGameChangeNothing) {
  SteamAchievements achievements(table_, kv_Steam_kAchievementCount);
  Receive(1, k_EResultOK);
  EXPECT_FALSE(achievements.StatsReceived());
  EXPECT_EQ(achievements.Unlock("ACH_FERRY"), 0);
  Receive(4242, k_EResultFail);  // a failed request: still waiting
  EXPECT_FALSE(achievements.StatsReceived());
}

TEST_F(Achievements, GoodStatsFillTheTableAndUnlockSetsAndStores) {
  SteamAchievements achievements(table_, kv_Steam_kAchievementCount);
  Receive(4242, k_EResultOK);
  ASSERT_TRUE(achievements.StatsReceived());
  EXPECT_TRUE(table_[2].achieved);
  EXPECT_STREQ(table_[2].apiName, "ACH_FERRY");
  EXPECT_STREQ(table_[2].name, "Ferry Tale");
  EXPECT_STREQ(table_[2].description, "Cross the water");
  EXPECT_EQ(achievements.Unlock("ACH_TOWER"), 1);
  EXPECT_THAT(steam_.calls, testing::ElementsAre("Request", "Set ACH_TOWER", "Store"));
  steam_.storeResult = false;
  EXPECT_EQ(achievements.Unlock("ACH_TOWER"), 0);
}

TEST(SteamStandIn, NoClientMeansNoStatsAndLockedAchievements) {
  EXPECT_FALSE(SteamAPI_Init());
  EXPECT_EQ(SteamUserStats(), nullptr);
  EXPECT_EQ(kv_Steam_UnlockAchievement("ACH_TOWER"), 0);
  kv_Steam_InitAchievements();
  EXPECT_EQ(kv_Steam_UnlockAchievement("ACH_TOWER"), 0);
  EXPECT_EQ(kv_Steam_RequestStats(), 0);
  EXPECT_EQ(kv_Steam_AreAchievementsInstalled(), 1);
  EXPECT_EQ(kv_Steam_ResetAchievements(), 0);
  const kvAchievement* table = kv_Steam_GetAchievementTable();
  for (int i = 0; i < kv_Steam_kAchievementCount; ++i) {
    EXPECT_EQ(table[i].id, i);
    EXPECT_STREQ(table[i].name, table[i].apiName);
  }
}

// ---------------------------------------------------------------------------
// Crash guard

using CrashGuardDeathTest = testing::Test;

TEST(CrashGuardDeathTest, ACrashWritesAReportAndStillEndsTheProcess) {
  std::remove(kSteamStandIn_CrashFile);
  EXPECT_DEATH(
      {
        kv_Platform_InstallCrashGuard();
        std::abort();
      },
      "");
  const std::string report = ReadAll(kSteamStandIn_CrashFile);
  EXPECT_EQ(report.rfind("Crash: signal 6\n", 0), 0u) << report;
  EXPECT_NE(report.find("Backtrace:\n"), std::string::npos);
  // No render-context debug tag was set: no comment in the report.
  EXPECT_EQ(report.find("GL context:"), std::string::npos);
}

TEST(CrashGuardDeathTest, ASegmentationFaultIsReportedToo) {
  std::remove(kSteamStandIn_CrashFile);
  EXPECT_DEATH(
      {
        kv_Platform_InstallCrashGuard();
        raise(SIGSEGV);
      },
      "");
  EXPECT_EQ(ReadAll(kSteamStandIn_CrashFile).rfind("Crash: signal 11\n", 0), 0u);
}

// Every thread the platform layer starts has an alternate stack the size of
// the crash guard's, so a stack overflow there is reported too.
TEST(CrashGuard, EveryThreadHasItsOwnAlternateStack) {
  static stack_t seen;
  kv_Thread* thread = kv_Thread_Create(
      [](void*) {
        sigaltstack(nullptr, &seen);
        return 0;
      },
      "altstack", nullptr, 0, 1);
  ASSERT_NE(thread, nullptr);
  kv_Thread_Join(thread);
  EXPECT_EQ(seen.ss_flags & SS_DISABLE, 0);
  EXPECT_GE(seen.ss_size, kv_Platform_kCrashStackSize);
}

// Deeper than any thread's stack; the limit only keeps the compiler from
// calling the recursion endless.
volatile int g_overflowLimit = 1 << 30;

int Overflow(int depth) {
  volatile char frame[4096];
  frame[0] = static_cast<char>(depth);
  if (depth >= g_overflowLimit) return frame[0];
  return Overflow(depth + 1) + frame[0];
}

TEST(CrashGuardDeathTest, AStackOverflowOnAnotherThreadIsReported) {
  std::remove(kSteamStandIn_CrashFile);
  EXPECT_DEATH(
      {
        kv_Platform_InstallCrashGuard();
        kv_Thread* thread =
            kv_Thread_Create([](void*) { return Overflow(0); }, "overflow", nullptr, 0, 1);
        kv_Thread_Join(thread);
      },
      "");
  EXPECT_EQ(ReadAll(kSteamStandIn_CrashFile).rfind("Crash: signal 11\n", 0), 0u);
}

// The crash report reads the debug tag from whichever thread faults while the
// main thread goes on setting it: every tag read is one that was set whole
// (context, function and line together), and the reads race with nothing
// (the ThreadSanitizer build checks that).
TEST(DebugTag, AnotherThreadReadsOnlyWholeTags) {
  static const char* const kContexts[] = {"set cull mode", "EndFrame"};
  static const char* const kFunctions[] = {"kv_RenderContext_SetSolidFillModeEnabled",
                                           "kv_Platform_EndFrame"};
  std::atomic<bool> stop{false};
  std::atomic<int> torn{0};
  std::atomic<int> reads{0};
  kv_GL_SetDebugTag(kContexts[0], kFunctions[0], 0);
  std::thread reader([&] {
    while (!stop.load()) {
      const char* context = nullptr;
      const char* function = nullptr;
      int line = -1;
      kv_GL_GetDebugTag(&context, &function, &line);
      const bool whole =
          (line == 0 || line == 1) && context == kContexts[line] && function == kFunctions[line];
      if (!whole) ++torn;
      ++reads;
    }
  });
  // Enough writes for the reader to overlap many of them; ends early once it has.
  for (int i = 0; i < 2000000 && reads.load() < 20000; ++i) {
    kv_GL_SetDebugTag(kContexts[i & 1], kFunctions[i & 1], i & 1);
  }
  stop = true;
  reader.join();
  EXPECT_EQ(torn.load(), 0);
  kv_GL_SetDebugTag(nullptr, nullptr, -1);
  const char* context = nullptr;
  const char* function = nullptr;
  int line = 0;
  kv_GL_GetDebugTag(&context, &function, &line);
  EXPECT_STREQ(context, "");
  EXPECT_STREQ(function, "");
  EXPECT_EQ(line, -1);
}

}  // namespace
