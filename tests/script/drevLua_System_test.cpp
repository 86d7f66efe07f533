// The system and engine script functions, driven from scripts; and the core
// table's rows of the system, input and key-remapping groups are all built.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "ScriptTestSupport.h"
#include "engine/Polyglot.h"
#include "engine/Res.h"
#include "engine/drevMain.h"
#include "engine/drevTime.h"
#include "platform/kv_Language.h"
#include "script/drevLua.h"

namespace {

class ScriptSystem : public ScriptModuleTest {};

TEST_F(ScriptSystem, EveryRowOfTheseGroupsHasAFunction) {
  const lua_Reg* table = drevLua_GetCoreTable();
  auto at = [&](const char* name) {
    for (int i = 0; i < kCoreFunctionCount; ++i) {
      if (std::strcmp(table[i].name, name) == 0) return i;
    }
    return -1;
  };
  const std::pair<const char*, const char*> groups[] = {{"EnginePause", "SetTextSpeed"},
                                                        {"EnableControl", "SaveRemappedKeys"},
                                                        {"FlushControls", "FlushControls"}};
  int rows = 0;
  for (const auto& [first, last] : groups) {
    ASSERT_LE(at(first), at(last));
    for (int i = at(first); i <= at(last); ++i, ++rows) {
      EXPECT_NE(nullptr, table[i].func) << table[i].name;
    }
  }
  EXPECT_EQ(38 + 10 + 1, rows);
}

TEST_F(ScriptSystem, PerSecondScalesByTheFrameStep) {
  drevTime_SetFrameMs(50);
  EXPECT_EQ(0, RunLua("local v = PerSecond(2)\nassert(v > 0.0999 and v < 0.1001)\n"
                      "assert(PerSecond('fast') == nil)"));
  drevTime_SetFrameMs(0);
}

TEST_F(ScriptSystem, AngleBetweenVectors) {
  const struct {
    const char* a;
    const char* b;
    float degrees;
  } cases[] = {
      {"{x = 1, y = 0, z = 0}", "{x = 0, y = 2, z = 0}", 90.0f},
      {"{x = 1, y = 0, z = 0}", "{x = -3, y = 0, z = 0}", 0.0f},
      {"{x = 1, y = 0, z = 0}", "{x = 1, y = 1, z = 0}", 45.0f},
      {"{x = 0, y = 1}", "{y = 1}", 0.0f},                        // missing fields read as 0
      {"{x = 0, y = 0, z = 0}", "{x = 1, y = 0, z = 0}", 90.0f},  // a zero vector stays zero
  };
  for (const auto& c : cases) {
    ASSERT_EQ(0, RunLua(std::string("angle = GetAngleBetweenVectors(") + c.a + ", " + c.b + ")"));
    EXPECT_NEAR(c.degrees, std::stof(GlobalText("angle")), 0.1f) << c.a << " " << c.b;
  }
  EXPECT_EQ(0, RunLua("assert(GetAngleBetweenVectors({x = 1}, 5) == nil)"));
}

TEST_F(ScriptSystem, RotateVectorAnswersANewTable) {
  EXPECT_EQ(0, RunLua("v = {x = 1, y = 0, z = 0}\n"
                      "r = RotateVector(v, {x = 0, y = 0, z = 0})\n"
                      "assert(r ~= v and r.x == 1 and r.y == 0 and r.z == 0)\n"
                      "assert(RotateVector(v) == nil)"));
}

int g_quitCode = -1;

TEST_F(ScriptSystem, ExitQuitsWithTheCodeOrZero) {
  drevMain_SetQuitHandler([](int code) { g_quitCode = code; });
  const struct {
    const char* call;
    int code;
  } cases[] = {{"exit('x')", 0}, {"exit(3)", 3}, {"exit()", 0}};
  for (const auto& c : cases) {
    g_quitCode = -1;
    ASSERT_EQ(0, RunLua(c.call));
    EXPECT_EQ(c.code, g_quitCode) << c.call;
  }
  drevMain_SetQuitHandler(nullptr);
}

int g_debugHookCalls = 0;

TEST_F(ScriptSystem, EnableDebugKeysSetsTheFlagAndCallsTheHook) {
  drevLua_SetDebugKeysEnabled(0);
  drevLua_SetDebugKeysHook([](int on) { g_debugHookCalls += on; });
  ASSERT_EQ(0, RunLua("EnableDebugKeys()"));
  EXPECT_EQ(1, drevLua_IsDebugKeysEnabled());
  EXPECT_EQ(1, g_debugHookCalls);
  drevLua_SetDebugKeysHook(nullptr);
  drevLua_SetDebugKeysEnabled(0);
}

int g_fontLoads = 0;
int g_font = 0;

int FakeFontHandler(ResourceRequest* request) {
  if (request->operation != kResOpLoad) return 1;
  ++g_fontLoads;
  return Res_Add(request->tag, request->name, &g_font);
}

TEST_F(ScriptSystem, LockFontLoadsOnce) {
  ModuleDescriptor res{};
  ASSERT_EQ(0, Res_Initialize(&hs_, &res));
  ASSERT_EQ(0, Res_Startup());
  Res_RegisterHandler(Res_Tag("FONT"), FakeFontHandler);
  EXPECT_EQ(0, RunLua("a = LockFont('title.laf')\nb = LockFont('TITLE.LAF')\n"
                      "assert(a ~= nil and a == b)\n"
                      "assert(LockFont({}) == nil and LockFont() == nil)"));
  EXPECT_EQ(1, g_fontLoads);
  Res_Shutdown();
  Res_Uninitialize();
}

TEST_F(ScriptSystem, SetLanguageLoadsThatLanguagesTable) {
  WriteFile("vosk.es.tab", "GREETING\tHola\n");
  const int before = kv_Language_Get();
  ASSERT_EQ(0, RunLua("SetLanguage(2)"));
  EXPECT_EQ(2, kv_Language_Get());
  EXPECT_STREQ("Hola", Polyglot_Translate("/GREETING/Hello"));
  for (const char* call : {"SetLanguage(9)", "SetLanguage(-1)", "SetLanguage('es')"}) {
    ASSERT_EQ(0, RunLua(call));
    EXPECT_EQ(2, kv_Language_Get()) << call;
    EXPECT_STREQ("Hola", Polyglot_Translate("/GREETING/Hello")) << call;
  }
  EXPECT_EQ(0, RunLua("assert(GetLanguage() == 2 and GetLanguageCount() == 6)"));
  Polyglot_Shutdown();
  kv_Language_Set(before);
}

TEST_F(ScriptSystem, ConstantsClocksAndCounts) {
  EXPECT_EQ(0, RunLua("assert(GetPlatform() == 1 and Is3DHardwareEnabled() == 1)\n"
                      "assert(GetPhysicalBytes() > 0 and GetMemoryUsage() >= 0)\n"
                      "assert(GetDiskFreeSpace() >= 0 and GetSystemTime() >= 0)\n"
                      "local t = GetTickCount()\nassert(t >= 0 and t < 4294967296)\n"
                      "assert(GetCurrentScript() == nil)\n"
                      "assert(DumpMemoryLog() == nil and UnLockFont('x') == nil)"));
}

}  // namespace
