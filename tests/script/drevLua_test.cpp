// The script interface module: start-up, the system table, the core table,
// type override, concat fallback, boot, the per-frame update and handler calls.
#include "script/drevLua.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "ScriptTestSupport.h"
#include "engine/WalkPlane.h"
#include "platform/kv_Log.h"
#include "presentation/drevMouse.h"
#include "presentation/drevOverlay.h"
#include "presentation/drevPrimitive.h"
#include "presentation/drevText.h"
#include "std/std.h"

namespace {

void MakeActor() {
  lua_Object n = lua_lua2C(1);
  if (!lua_isnumber(n)) return;
  lua_pushusertag(reinterpret_cast<void*>(static_cast<intptr_t>(lua_getnumber(n))), kTagActor);
}

void MakeColor() {
  lua_pushusertag(reinterpret_cast<void*>(static_cast<intptr_t>(lua_getnumber(lua_lua2C(1)))),
                  kTagColor);
}

const lua_Reg kTestRows[] = {{"Actor", MakeActor}, {"Color", MakeColor}};

const char* kSystem = R"(
function counter() while 1 do frames = (frames or 0) + 1 break_here() end end
function BOOT(resume, param)
  booted = {resume = resume, param = param}
  start_task(counter)
end
)";

HostServices g_hs;
ModuleDescriptor g_desc;

class DrevLua : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    HostServices_CopyDefaults(&g_hs);
    std_DefaultServices(&g_hs);
    std_Startup(&g_hs);
  }
  void SetUp() override {
    WriteFile("_system.lua", kSystem);
    ASSERT_EQ(0, drevLua_Initialize(&g_hs, &g_desc));
    ASSERT_EQ(drevLua_Initialize, g_desc.initialize);
    ASSERT_EQ(nullptr, g_desc.save);
    ASSERT_EQ(0, g_desc.startup());
    drevLua_OpenLibrary(kTestRows, 2);
    ASSERT_EQ(1, drevLua_RunSystemScript());
  }
  void TearDown() override {
    g_desc.shutdown();
    g_desc.uninitialize();
  }
};

TEST_F(DrevLua, CoreTableIsCompleteWithItsSecondNames) {
  const lua_Reg* table = drevLua_GetCoreTable();
  std::set<std::string> names;
  auto find = [&](const char* name) -> lua_CFunc {
    for (int i = 0; i < kCoreFunctionCount; ++i) {
      if (std::string(table[i].name) == name) return table[i].func;
    }
    return nullptr;
  };
  for (int i = 0; i < kCoreFunctionCount; ++i) {
    ASSERT_NE(nullptr, table[i].func) << table[i].name;
    names.insert(table[i].name);
  }
  EXPECT_EQ(323u, names.size());
  EXPECT_EQ(find("MelosStartSound"), find("play"));
  EXPECT_EQ(find("MelosStopAllSounds"), find("quiet"));
  EXPECT_EQ(find("MelosSetVoiceEffect"), find("vfx"));
  EXPECT_NE(find("MelosStartSound"), find("MelosStopSound"));
  for (const char* name : {"FlushControls", "NextSetup", "LightMgrSetChange", "GetSaveGameData",
                           "KillActorShadows", "SetActorTalkChore", "DialogLogAddLine", "TEST"}) {
    EXPECT_NE(nullptr, find(name)) << name;
  }
  EXPECT_EQ(0, RunLua("assert(play == MelosStartSound)"));
  // Rows of the engine core: without a current set, switching setups does nothing.
  EXPECT_EQ(0, RunLua("assert(NextSetup() == nil and PreviousSetup() == nil)"));
}

// Every family of script functions fills its rows: no row is left without a function.
TEST_F(DrevLua, EveryRowOfTheCoreTableHasAFunction) {
  const lua_Reg* table = drevLua_GetCoreTable();
  for (int i = 0; i < kCoreFunctionCount; ++i) EXPECT_NE(nullptr, table[i].func) << table[i].name;
}

TEST_F(DrevLua, GetPointSectorAnswersTheSectorUnderAPoint) {
  const qxVector3 floor[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  Sector* yard = Sector_Init(floor, 4, nullptr, 0, "lua_sectors.set");
  Sector_SetType(yard, SECTOR_WALK);
  std::strcpy(yard->name, "yard");
  yard->id = 5;
  Sector* view = Sector_Init(floor, 4, nullptr, 0, "lua_sectors.set");
  Sector_SetType(view, SECTOR_CAMERA);
  std::strcpy(view->name, "view");
  view->id = 6;
  EXPECT_EQ(0, RunLua(R"(
    assert(GetPointSector(0.5, 0.5, 0) == nil)        -- no mask: matches nothing
    local id, name, kind = GetPointSector(0.5, 0.5, 0, nil)  -- nil mask: walk sectors
    assert(id == 5 and name == "yard" and kind == 4096)
    id, name, kind = GetPointSector(0.5, 0.5, 0, 8192)
    assert(id == 6 and name == "view" and kind == 8192)
    assert(GetPointSector(0.5, 0.5, 0, -1) == 6)       -- every type: the head of the list
    assert(GetPointSector(3, 3, 0, nil) == nil)
    assert(GetPointSector("x", 0.5, 0, nil) == nil)
  )"));
  WalkPlane_FreeSetSectors("lua_sectors.set");
}

TEST_F(DrevLua, SystemTableAndGlobals) {
  EXPECT_EQ(0, RunLua(R"(
    local c = system.controls
    assert(c.KEY_ESCAPE == 0 and c.KEY_F11 == 83 and c.KEY_F12 == 84)
    assert(c.KEY_MOUSE_PING == 147 and c.AXIS_JOY1_X == 148 and c.AXIS_MOUSE_Z == 162)
    local n = 0 local k = next(c, nil) while k do n = n + 1 k = next(c, k) end
    assert(n == 162)  -- KEY_F11 is named twice
    assert(type(system.camChangeHandler) == 'function' and system.buttonHandler == system.axisHandler)
    assert(system.buttonHandler == system.inputModeHandler and system.buttonHandler ~= system.camChangeHandler)
    assert(NONE == 0 and WALK == 4096 and CAMERA == 8192 and SPECIAL == 16384 and HOT == 32768)
  )"));
  EXPECT_NE(drevControl_Controls[67].code, drevControl_Controls[83].code);  // F10 and F11
  EXPECT_STREQ("KEY_F11", drevControl_Controls[67].name);
  EXPECT_EQ(0x10Au, drevControl_Controls[124].code);  // KEY_JOY1_HLEFT shares button 11's code
  EXPECT_EQ(kControlAxis, drevControl_Controls[162].flags);
}

TEST_F(DrevLua, TypeOverrideAndConcatFallback) {
  EXPECT_EQ(0, RunLua(R"(
    local name, tag = type(Actor(3))
    assert(name == 'actor' and tag == 1381253953)
    local cname, ctag = type(Color(1))
    assert(cname == 'userdata' and ctag == 1380732739)
    assert(type(1) == 'number' and type(nil) == 'nil' and type({}) == 'table')
    assert('a' .. nil == 'a(nil)')
    assert(nil .. Actor(3) == '(nil)(actor3:)')
    assert('x' .. 2 .. nil == 'x2(nil)')
    assert(('a' .. {}) == nil)  -- the runtime's own fallback refuses a table
  )"));
}

TEST_F(DrevLua, SystemScriptResults) {
  std::remove("_system.lua");
  EXPECT_EQ(0, drevLua_RunSystemScript());
  WriteFile("_system.lua", "this is not lua");
  EXPECT_EQ(0, drevLua_RunSystemScript());
  WriteFile("_system.lua", kSystem);
  EXPECT_EQ(1, drevLua_RunSystemScript());
}

TEST_F(DrevLua, BootIsLoggedAndGetsItsArguments) {
  kv_Log_ResetForTest();
  std::remove("Vosk.log");
  ASSERT_EQ(1, kv_Log_Open("Vosk.log"));
  EXPECT_EQ(1, drevLua_CallBoot(1, "mo.set"));
  EXPECT_EQ(0, RunLua("assert(booted.resume == 1 and booted.param == 'mo.set')"));
  EXPECT_EQ(1, drevLua_CallBoot(0, nullptr));
  EXPECT_EQ(0, RunLua("assert(booted.resume == nil and booted.param == nil)"));
  ASSERT_EQ(0, RunLua("function BOOT() error('no boot') end"));
  EXPECT_EQ(0, drevLua_CallBoot(0, nullptr));
  ASSERT_EQ(0, RunLua("BOOT = nil"));
  EXPECT_EQ(0, drevLua_CallBoot(0, nullptr));
  std::ifstream log("Vosk.log");
  std::stringstream text;
  text << log.rdbuf();
  EXPECT_NE(std::string::npos, text.str().find("[Lua] - calling LUA_BOOTSCRIPT"));
  kv_Log_ResetForTest();
}

TEST_F(DrevLua, UpdateAdvancesTasksAndCollectsEvery600Frames) {
  ASSERT_EQ(1, drevLua_CallBoot(0, nullptr));
  ASSERT_EQ(0, RunLua("collectgarbage(1000000) T = newtag() settagmethod(T, 'gc', function() "
                      "collected = 1 end) function drop() settag({}, T) end drop()"));
  for (int i = 0; i < 599; ++i) drevLua_Update();
  EXPECT_EQ(0, RunLua("assert(frames == 599 and collected == nil)"));
  EXPECT_EQ(0, RunLua("assert(system.frameTime == 0 and system.movieTime == 0)"));
  drevLua_Update();
  EXPECT_EQ(0, RunLua("assert(frames == 600 and collected == 1)"));
}

TEST_F(DrevLua, HandlerCallForms) {
  ASSERT_EQ(0, RunLua(R"(
    calls = {}
    system.camChangeHandler = function(a, b) calls.cam = a .. '>' .. b end
    system.collisionHandler = {collisionHandler = function(self, a, b, x1, y1, z1, x2, y2, z2, x3, y3, z3)
      calls.collision = {self == system.collisionHandler, type(a), b == Actor(2), x1, z3} end}
    system.costumeMarkerHandler = function(a, m) calls.marker = m end
    system.pauseHandler = {}  -- a table without a function of that name calls nothing
    system.characterHandler = function(c) calls.char = c if c == 'y' then return 1 end end
    system.exitHandler = function() error('exit broke') end
  )"));
  drevLua_CallCamChangeHandler(1, 2);
  const float a[3] = {1, 2, 3}, b[3] = {4, 5, 6}, c[3] = {7, 8, 9};
  drevLua_CallCollisionHandler(1, 2, a, b, c);
  drevLua_CallCostumeMarkerHandler(1, 0);
  drevLua_CallCostumeMarkerHandler(1, 5);
  EXPECT_EQ(0, drevLua_CallPauseHandler());
  EXPECT_EQ(1, drevLua_CallCharacterHandler('y'));
  EXPECT_EQ(0, drevLua_CallCharacterHandler('n'));
  EXPECT_EQ(1, drevLua_CallExitHandler());  // called, though it failed
  EXPECT_EQ(0, drevLua_CallUserPaintHandler());
  drevLua_CallNotifyCommentary(3);  // the scripts define none: nothing is called
  drevLua_CallNotifyKeyMapped(4);
  EXPECT_EQ(0, RunLua(R"(
    assert(calls.cam == '1>2' and calls.marker == 5 and calls.char == 'n')
    local k = calls.collision
    assert(k[1] == 1 and k[2] == 'actor' and k[3] == 1 and k[4] == 1 and k[5] == 9)
  )"));
}

TEST_F(DrevLua, FunctionNameAndPrintMessage) {
  ASSERT_EQ(0, RunLua("function named() end"));
  EXPECT_EQ(0, RunLua(R"(
    local text = FunctionName(named)
    assert(strfind(text, "^function 'named' %(snippet.lua:1%)\n$"), text)
    assert(strfind(FunctionName(function() end), "^unnamed function '<unknown>'"))
    assert(FunctionName(1) == nil)
    PrintMessage(nil) PrintMessage('hello') PrintMessage({}) PrintWarning('x')
  )"));
}

TEST_F(DrevLua, RestartGivesAFreshState) {
  ASSERT_EQ(0, RunLua("leftover = 1"));
  g_desc.shutdown();
  ASSERT_EQ(0, g_desc.startup());
  ASSERT_EQ(1, drevLua_RunSystemScript());
  EXPECT_EQ(0, RunLua("assert(leftover == nil and system.controls.KEY_F11 == 83)"));
  EXPECT_EQ(1, drevLua_CallBoot(0, nullptr));
}

}  // namespace

namespace {

std::vector<uint8_t> g_saved;
size_t g_at = 0;

int Write(void* data, size_t length) {
  auto* p = static_cast<uint8_t*>(data);
  g_saved.insert(g_saved.end(), p, p + length);
  return 0;
}

int Read(void* data, size_t length) {
  if (g_at + length > g_saved.size()) return 1;
  std::memcpy(data, g_saved.data() + g_at, length);
  g_at += length;
  return 0;
}

// A game's script state survives a save and a restart: the handlers bound by
// name, the engine's own references (system table, built-in type, previous
// concat fallback), handles and the boot task.
TEST_F(DrevLua, ScriptStateSurvivesSaveAndRestart) {
  ASSERT_EQ(0, RunLua(R"(
    function onButton(i, down) pressed = i end
    system.buttonHandler = onButton
    hero = Actor(7)
    system.score = 12
  )"));
  ASSERT_EQ(1, drevLua_CallBoot(0, nullptr));
  drevLua_Update();
  g_saved.clear();
  ASSERT_EQ(0, lua_Save(Write));
  g_desc.shutdown();
  ASSERT_EQ(0, g_desc.startup());
  drevLua_OpenLibrary(kTestRows, 2);
  ASSERT_EQ(1, drevLua_RunSystemScript());
  ASSERT_EQ(0, RunLua("function onButton(i, down) pressed = i end"));
  g_at = 0;
  ASSERT_EQ(0, lua_Restore(Read));
  EXPECT_EQ(0, RunLua(R"(
    assert(system.buttonHandler == onButton and system.score == 12)
    assert(system.controls.KEY_F11 == 83 and frames == 1)
    assert(type(hero) == 'actor' and hero == Actor(7) and 'x' .. hero == 'x(actor7:)')
    assert(type(1) == 'number' and system.camChangeHandler ~= nil)
  )"));
  drevLua_Update();
  // The boot task goes on from where it was saved.
  EXPECT_EQ(0, RunLua("assert(frames == 2)"));
  drevLua_CallCamChangeHandler(0, 1);
  EXPECT_EQ(0, RunLua("assert(system.frameTime == 0)"));
}

}  // namespace

namespace {

// The demo game's boot script runs, BOOT runs, and its task advances; the
// modules whose script functions it calls are started.
TEST_F(DrevLua, DemoBootScriptRuns) {
  ModuleDescriptor textModule{}, overlayModule{}, mouseModule{}, primitiveModule{};
  ASSERT_EQ(0, drevText_Initialize(&g_hs, &textModule));
  ASSERT_EQ(0, textModule.startup());
  ASSERT_EQ(0, drevOverlay_Initialize(&g_hs, &overlayModule));
  ASSERT_EQ(0, overlayModule.startup());
  ASSERT_EQ(0, drevMouse_Initialize(&g_hs, &mouseModule));
  ASSERT_EQ(0, mouseModule.startup());
  ASSERT_EQ(0, drevPrimitive_Initialize(&g_hs, &primitiveModule));
  ASSERT_EQ(0, primitiveModule.startup());
  const char* source = std::getenv("VQ_SOURCE_DIR");
  ASSERT_NE(nullptr, source);
  std::ifstream in(std::string(source) + "/data/game/_system.lua", std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  ASSERT_FALSE(text.str().empty());
  WriteFile("_system.lua", text.str());
  ASSERT_EQ(1, drevLua_RunSystemScript());
  ASSERT_EQ(1, drevLua_CallBoot(0, nullptr));
  for (int i = 0; i < 3; ++i) drevLua_Update();
  EXPECT_EQ(0, RunLua("assert(is_task_alive(1) == 1)"));
  primitiveModule.shutdown();
  primitiveModule.uninitialize();
  mouseModule.shutdown();
  overlayModule.shutdown();
  textModule.shutdown();
  textModule.uninitialize();
}

}  // namespace
