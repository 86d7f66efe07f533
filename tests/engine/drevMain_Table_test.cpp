// The engine's own module table, and the frame's save/load dispatch.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/drevMain.h"
#include "engine/drevMain_Save.h"
#include "platform/kv_Log.h"
#include "std/std.h"

namespace {

TEST(EngineTable, HoldsTheEighteenModulesInOrder) {
  drevMain_SetModuleTables(nullptr, nullptr);
  const char* groupA[] = {
      "FileUtil_SysInitialize", "Memory_SysInitialize",    "drevRoom_Initialize",
      "drevTime_Initialize",    "drevLua_Initialize",      "drevCostume_Initialize",
      "drevActor_Initialize",   "drevResource_Initialize", "drevCommentary_Initialize"};
  const char* groupB[] = {
      "drevControl_Initialize", "SoundsInitialize",         "drevRender_Initialize",
      "drevText_Initialize",    "drevPrimitive_Initialize", "drevTolve_Initialize",
      "drevOverlay_Initialize", "drevDialogLog_Initialize", "drevMouse_Initialize"};
  for (int i = 0; i < kModuleGroupSize; i++) {
    EXPECT_STREQ(drevMain_GetModuleTable(0)[i].name, groupA[i]);
    EXPECT_STREQ(drevMain_GetModuleTable(1)[i].name, groupB[i]);
    EXPECT_NE(drevMain_GetModuleTable(0)[i].initialize, nullptr);
    EXPECT_NE(drevMain_GetModuleTable(1)[i].initialize, nullptr);
  }
}

TEST(EngineTable, StartsAndStopsTheWholeEngineQuietly) {
  HostServices hs;
  HostServices_CopyDefaults(&hs);
  std_DefaultServices(&hs);
  std_Startup(&hs);
  drevMain_SetModuleTables(nullptr, nullptr);
  drevMain_ResetCalls();
  kv_Log_ResetForTest();
  ASSERT_EQ(kv_Log_Open("Vosk.log"), 1);

  // As game initialisation drives it: initialise, then the descriptor's startup.
  ModuleDescriptor engine{};
  ASSERT_EQ(drevMain_Initialize(&hs, &engine), 0);
  ASSERT_EQ(engine.startup(), 0);
  EXPECT_EQ(drevMain_IsStarted(), 1);
  const ModuleDescriptor* fileUtil = drevMain_GetModuleDescriptor(0, 0);
  EXPECT_TRUE(fileUtil->uninitialize && fileUtil->startup && fileUtil->shutdown && fileUtil->save &&
              fileUtil->restore && fileUtil->pause && fileUtil->resume);
  EXPECT_EQ(fileUtil->pause(), 0);
  const ModuleDescriptor* memory = drevMain_GetModuleDescriptor(0, 1);
  EXPECT_TRUE(memory->uninitialize && memory->startup && memory->shutdown && !memory->save);
  const ModuleDescriptor* dialog = drevMain_GetModuleDescriptor(1, 7);
  EXPECT_TRUE(!dialog->uninitialize && !dialog->startup && dialog->shutdown && dialog->save &&
              dialog->restore);
  EXPECT_EQ(engine.startup(), 1);
  engine.shutdown();
  engine.uninitialize();
  EXPECT_EQ(drevMain_IsInitialized(), 0);
  // And again: the modules went back to their start state.
  ASSERT_EQ(drevMain_Initialize(&hs, &engine), 0);
  ASSERT_EQ(engine.startup(), 0);
  engine.shutdown();
  engine.uninitialize();

  // Nothing but the log's own two opening lines and, for each start, the
  // costume module's two start-up lines, the actor table's and the music
  // host's word on its missing music table was written (the input layer's
  // lines of each start, and the once-only lines of the high-definition
  // movie's placeholders, aside).
  std::ifstream log("Vosk.log");
  std::vector<std::string> lines;
  for (std::string line; std::getline(log, line);) {
    if (line.rfind("[Input] ", 0) != 0 && line.rfind("[MovieHD] ", 0) != 0) lines.push_back(line);
  }
  kv_Log_ResetForTest();
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_EQ(lines[0].rfind("Log started: ", 0), 0u);
  EXPECT_EQ(lines[1].rfind("Working directory: ", 0), 0u);
  EXPECT_EQ(lines[2], "[Costume] - chore library started");
  EXPECT_EQ(lines[3], "[Costume] - 15 component tags registered");
  EXPECT_EQ(lines[4], "[Actor] - actor table started with 1024 records");
  EXPECT_EQ(lines[5],
            "[Sounds] - music.txt not found: the music script has no states or sequences");
  for (int i = 6; i < 10; ++i) EXPECT_EQ(lines[i], lines[i - 4]);
}

std::vector<std::string> gCalls;

TEST(SaveDispatch, ServesRequestsOnlyWhenIdle) {
  drevMain_ResetCalls();
  drevMainCalls& c = drevMain_Calls();
  c.luaCallGlobal = [](const char* name, const char* argument) {
    gCalls.push_back(std::string(name) + "(" + (argument ? argument : "nil") + ")");
  };
  // A read that failed with boot fallback calls BOOTTWO and goes idle.
  drevMain_loadRequest = 1;
  drevMain_saveIoState = kSaveIoReadFailedBoot;
  drevMain_SaveDispatch();
  ASSERT_EQ(gCalls.size(), 1u);
  EXPECT_EQ(gCalls[0], "BOOTTWO(mo.set)");
  EXPECT_EQ(drevMain_loadRequest.load(), 0);
  EXPECT_EQ(drevMain_saveIoState.load(), kSaveIoIdle);
  // A running operation leaves new requests waiting.
  drevMain_saveIoState = kSaveIoWriting;
  drevMain_RequestSave(1, "saving", 1, "title");
  drevMain_SaveDispatch();
  EXPECT_EQ(drevMain_saveRequest.load(), 1);
  drevMain_saveIoState = kSaveIoIdle;
  drevMain_SaveDispatch();
  EXPECT_EQ(drevMain_saveRequest.load(), 0);
  drevMain_ResetCalls();
}

}  // namespace
