// The front end's command line, start-up failure on -? and the quit path of
// the tick.
#include "app/voskdemo.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "engine/drevMain.h"
#include "gfx/kv_RenderContext.h"
#include "platform/kv_Language.h"
#include "platform/kv_Platform.h"
#include "platform/kv_PlatformFile.h"
#include "presentation/drevRender.h"
#include "std/stdFileUtil.h"

namespace {

class Options : public testing::Test {
 protected:
  void SetUp() override {
    voskdemo_ResetForTest();
    kv_Language_Set(0);
  }
  void TearDown() override {
    voskdemo_ResetForTest();
    kv_Language_Set(0);
  }
  voskdemo_State* state_ = voskdemo_GetState();
};

TEST_F(Options, QuestionMarkFailsInBothForms) {
  EXPECT_EQ(voskdemo_ParseOptions("-?"), 0);
  EXPECT_EQ(voskdemo_ParseOptions("-w /?"), 0);
  EXPECT_EQ(voskdemo_ParseOptions(""), 1);
  EXPECT_EQ(voskdemo_ParseOptions(nullptr), 1);
  EXPECT_EQ(voskdemo_Init("-log -?"), 0);  // start-up fails at the command line
}

TEST_F(Options, FlagsInEitherFormAndAnyCase) {
  EXPECT_EQ(voskdemo_ParseOptions("-W\t/h  -c /L -r /Z extra -nofmv"), 1);
  EXPECT_EQ(state_->windowed, 1);
  EXPECT_EQ(state_->hardware, 1);
  EXPECT_EQ(state_->startChoreTool, 1);
  EXPECT_EQ(state_->logToFile, 1);
  EXPECT_EQ(state_->logResources, 1);
  EXPECT_EQ(state_->zBufferVideo, 1);
  EXPECT_EQ(drevRender_zBufferInSystemMemory, 0);
  drevRender_zBufferInSystemMemory = 1;
  EXPECT_EQ(voskdemo_IsNoFmv(), 1);
}

TEST_F(Options, NoFmvHasNoSlashForm) {
  voskdemo_ParseOptions("/nofmv");
  EXPECT_EQ(voskdemo_IsNoFmv(), 0);
  voskdemo_ParseOptions("-NOFMV");
  EXPECT_EQ(voskdemo_IsNoFmv(), 1);
}

TEST_F(Options, ResumeFlagIsOneWithOrWithoutS) {
  EXPECT_EQ(voskdemo_resumeFlag, 1);
  voskdemo_ParseOptions("-w");
  EXPECT_EQ(voskdemo_resumeFlag, 1);
  voskdemo_ParseOptions("-s");
  EXPECT_EQ(voskdemo_resumeFlag, 1);
}

TEST_F(Options, TextTableNameReplacesOnlyTheCurrentLanguagesSlotAndIsCut) {
  kv_Language_Set(1);
  voskdemo_ParseOptions("-T my.tab");
  EXPECT_STREQ(voskdemo_GetTextTableName(1), "my.tab");
  EXPECT_STREQ(voskdemo_GetTextTableName(0), "vosk.en.tab");
  const std::string thirty(30, 'n');
  voskdemo_ParseOptions(("/t " + thirty).c_str());
  EXPECT_EQ(std::string(voskdemo_GetTextTableName(1)), thirty.substr(0, 19));
  kv_Language_Set(7);  // outside the table: English's slot
  voskdemo_ParseOptions("-t seven.tab");
  EXPECT_STREQ(voskdemo_GetTextTableName(0), "seven.tab");
  EXPECT_STREQ(voskdemo_GetTextTableName(7), "seven.tab");
}

TEST_F(Options, BootParameterKeepsSeventyNineCharacters) {
  const std::string hundred(100, 'b');
  voskdemo_ParseOptions(("-b " + hundred).c_str());
  EXPECT_EQ(state_->hasBootParameter, 1);
  EXPECT_EQ(std::string(state_->bootParameter), hundred.substr(0, 79));
}

TEST_F(Options, AnOptionWithoutItsArgumentIsIgnored) {
  EXPECT_EQ(voskdemo_ParseOptions("-w -b"), 1);
  EXPECT_EQ(state_->hasBootParameter, 0);
  EXPECT_EQ(state_->windowed, 1);
  EXPECT_EQ(voskdemo_ParseOptions("-t"), 1);
  EXPECT_STREQ(voskdemo_GetTextTableName(0), "vosk.en.tab");
}

// -m is megabytes, converted to bytes once; the budget holds 64 bits, so a
// value past 2047 is taken whole.
TEST_F(Options, MemoryOptionGivesThatManyMegabytes) {
  EXPECT_EQ(voskdemo_ParseOptions("-m 100"), 1);
  EXPECT_EQ(drevMain_GetMaxMemory(), 100LL * 1048576);
  EXPECT_EQ(voskdemo_ParseOptions("/M 3000"), 1);
  EXPECT_EQ(drevMain_GetMaxMemory(), 3000LL * 1048576);
  drevMain_SetMaxMemory(24);
}

// A value that cannot take effect says so in one line (on standard error
// while the program log is closed) and changes nothing; values that work say
// nothing.
TEST_F(Options, ValuesThatCannotTakeEffectSayWhyOnce) {
  struct Case {
    const char* line;
    const char* named;  // the text the line must hold
  } cases[] = {
      {"-m 3000000000", "3000000000"},
      {"-m abc", "abc"},
      {"-m 0", "-m 0"},
      {"-m 12x", "12x"},
      {"-m -4", "-4"},
      {"-w -m", "-m"},
      {"-q", "-q"},
      {"/nofmv", "/nofmv"},
      {"-p /no/such/folder/of/ours", "/no/such/folder/of/ours"},
      {"stray", "stray"},
  };
  for (const Case& c : cases) {
    drevMain_SetMaxMemory(24);
    testing::internal::CaptureStderr();
    EXPECT_EQ(voskdemo_ParseOptions(c.line), 1) << c.line;
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << c.line << ": " << said;
    EXPECT_NE(said.find(c.named), std::string::npos) << c.line << ": " << said;
    EXPECT_EQ(drevMain_GetMaxMemory(), 24LL * 1048576) << c.line;
  }
  testing::internal::CaptureStderr();
  EXPECT_EQ(voskdemo_ParseOptions("-log -m 64 -p . -w -t my.tab -b x -s -nofmv"), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  drevMain_SetMaxMemory(24);
}

TEST_F(Options, QuestionMarkPrintsTheUsageOnStandardError) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(voskdemo_ParseOptions("-?"), 0);
  const std::string usage = testing::internal::GetCapturedStderr();
  for (const char* option :
       {"-t", "-m", "-c", "-l", "-h", "-nofmv", "-r", "-w", "-s", "-b", "-p", "-z", "-?"}) {
    EXPECT_NE(usage.find(std::string(option) + " "), std::string::npos) << option << "\n" << usage;
  }
}

// A text table that does not load leaves the game without its texts: the
// program says which file it looked for.
TEST_F(Options, ATextTableThatDoesNotLoadIsNamed) {
  std::remove("nosuch.tab");
  voskdemo_ParseOptions("-t nosuch.tab");
  testing::internal::CaptureStderr();
  EXPECT_EQ(voskdemo_LoadTextTable(), 0);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("nosuch.tab"), std::string::npos) << said;
}

class Tick : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(SDL_Init(SDL_INIT_EVENTS), 0);
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    voskdemo_ResetForTest();
    kvPlatformState* platform = kv_Platform_GetState();
    for (auto& entry : platform->handlers) entry = {};
    platform->handlerCount = 0;
    platform->windowShown = 0;  // hidden: the display step does not run
  }
  void TearDown() override {
    voskdemo_ResetForTest();
    SDL_Quit();
  }
  static int QuitEvents() {
    SDL_PumpEvents();
    return SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_QUIT, SDL_QUIT);
  }
};

TEST_F(Tick, ATickRunsOneFrameAndHandsOverTheForcedStepOnce) {
  voskdemo_GetState()->pendingForcedStep = 5;
  voskdemo_Tick();
  EXPECT_EQ(voskdemo_GetState()->frameCounter, 1);
  EXPECT_EQ(voskdemo_GetState()->pendingForcedStep, 0);
  voskdemo_Tick();
  EXPECT_EQ(voskdemo_GetState()->frameCounter, 2);
  EXPECT_EQ(QuitEvents(), 0);
}

TEST_F(Tick, FrameRateIsMeasuredOnlyAfterMoreThanASecond) {
  voskdemo_State* state = voskdemo_GetState();
  state->frameCounter = 30;
  voskdemo_MeasureFrameRate(1000);
  EXPECT_EQ(state->frameRate, 0.0f);  // not yet measured: shown as 0
  voskdemo_MeasureFrameRate(1500);
  EXPECT_FLOAT_EQ(state->frameRate, 20.0f);
  state->frameCounter = 45;
  voskdemo_MeasureFrameRate(2400);
  EXPECT_FLOAT_EQ(state->frameRate, 20.0f);
  voskdemo_MeasureFrameRate(2501);
  EXPECT_FLOAT_EQ(state->frameRate, 15 * 1000.0f / 1001);
}

TEST_F(Tick, PerformanceRowsResetTheirSlots) {
  for (int slot = 0; slot < PerfTotalEntries; ++slot) drevMain_GetPerfEntry(slot)->elapsedMs = 3.5;
  voskdemo_DrawDebugRows();  // rows off: nothing changes
  EXPECT_EQ(drevMain_GetPerfEntry(0)->elapsedMs, 3.5);
  voskdemo_GetState()->showPerformance = 1;
  voskdemo_DrawDebugRows();
  for (int slot = 0; slot < PerfTotalEntries; ++slot) {
    EXPECT_EQ(drevMain_GetPerfEntry(slot)->elapsedMs, 0.0) << slot;
  }
}

TEST_F(Tick, ATickAfterTheScriptsAskedToQuitDoesNothing) {
  ASSERT_EQ(kv_Platform_AddEventHandler(kv_Platform_HandleDebugKeys), 1);
  voskdemo_RequestQuit(0);
  voskdemo_Tick();
  voskdemo_Tick();
  EXPECT_EQ(voskdemo_GetState()->frameCounter, 0);  // no engine frame
  EXPECT_EQ(QuitEvents(), 0);                       // the quit was posted by the tick that saw it
  EXPECT_EQ(kv_Platform_GetState()->handlerCount, 1);
}

// The lower modules' hooks start empty; the program's wiring fills every row
// that has a real function (Num Lock's debug output has none).
TEST(Wiring, InstallCallsFillsThePlatformHooks) {
  const kvPlatformGameHooks savedGame = *kv_Platform_GetGameHooks();
  const kvEngineKeyHooks savedKeys = *kv_Platform_GetEngineKeyHooks();
  kv_Platform_SetGameHooks(nullptr);
  kv_Platform_SetEngineKeyHooks(nullptr);
  kv_PlatformFile_SetCalls(nullptr);
  const kvPlatformGameHooks* game = kv_Platform_GetGameHooks();
  EXPECT_EQ(game->init, nullptr);
  EXPECT_EQ(game->initRenderBackends, nullptr);
  EXPECT_EQ(kv_PlatformFile_Calls().resolvePath, nullptr);

  voskdemo_InstallCalls();
  EXPECT_EQ(game->init, &voskdemo_Init);
  EXPECT_EQ(game->tick, &voskdemo_Tick);
  EXPECT_EQ(game->shutdown, &voskdemo_Shutdown);
  EXPECT_NE(game->keyEvent, nullptr);
  EXPECT_EQ(game->initRenderBackends, &voskdemo_InitRenderBackends);
  EXPECT_EQ(game->initRenderContext, &kv_Platform_InitGFX);
  const kvEngineKeyHooks* keys = kv_Platform_GetEngineKeyHooks();
  const void* rows[] = {reinterpret_cast<const void*>(keys->debugKeysEnabled),
                        reinterpret_cast<const void*>(keys->toggleChoreTool),
                        reinterpret_cast<const void*>(keys->toggleFrameRate),
                        reinterpret_cast<const void*>(keys->togglePerformance),
                        reinterpret_cast<const void*>(keys->saveScreenImage),
                        reinterpret_cast<const void*>(keys->saveZBufferImage),
                        reinterpret_cast<const void*>(keys->flushTextures),
                        reinterpret_cast<const void*>(keys->callPauseHandler),
                        reinterpret_cast<const void*>(keys->callCharacterHandler)};
  for (size_t i = 0; i < std::size(rows); ++i) EXPECT_NE(rows[i], nullptr) << "key row " << i;
  EXPECT_EQ(keys->startDebugOutput, nullptr);
  const kvPlatformFileCalls& paths = kv_PlatformFile_Calls();
  EXPECT_EQ(paths.resolvePath, &stdFileUtil_ResolvePath);
  EXPECT_EQ(paths.resolveWritePath, &stdFileUtil_ResolveWritePath);
  EXPECT_EQ(paths.noteEntryChanged, &stdFileUtil_NoteEntryChanged);

  kv_Platform_SetGameHooks(&savedGame);
  kv_Platform_SetEngineKeyHooks(&savedKeys);
}

}  // namespace
