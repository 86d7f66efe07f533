// The scripts' side of save games, driven from scripts: the data block of
// the save callback and its reader, script tasks carried through a whole
// save and load, and the save, settings and file script functions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "../engine/SaveTestSupport.h"
#include "ScriptTestSupport.h"
#include "engine/drevMain.h"
#include "engine/drevMain_Save.h"
#include "platform/kv_Registry.h"
#include "platform/kv_Save.h"
#include "script/drevLua.h"

namespace {

std::vector<uint8_t> g_written;
int CaptureWrite(void* data, size_t length) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  g_written.insert(g_written.end(), bytes, bytes + length);
  return 0;
}

std::vector<uint8_t> Words(std::initializer_list<uint32_t> words) {
  std::vector<uint8_t> out;
  for (uint32_t w : words) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(w >> (8 * i)));
  }
  return out;
}

// Tasks of every shape the runtime must carry through a save: a counter kept
// in a local, a task waiting in a nested call, a closure that only the task
// holds, two tasks sharing one upvalue, and a task started with arguments.
constexpr char kTaskScript[] = R"(
function counter()
  local n = 0
  while 1 do
    n = n + 1
    count_a = n
    break_here()
  end
end
function inner(k)
  local i = 0
  while 1 do
    i = i + 1
    count_b = k * 100 + i
    break_here()
  end
end
function outer()
  local k = 7
  inner(k)
end
function argtask(step, name)
  local n = 0
  while 1 do
    n = n + step
    count_d = name .. n
    break_here()
  end
end
function start_all()
  start_task(counter)
  start_task(outer)
  start_task(function()
    local n = 0
    while 1 do
      n = n + 1
      count_c = n
      break_here()
    end
  end)
  local box = {v = 0}
  start_task(function()
    while 1 do
      %box.v = %box.v + 1
      break_here()
    end
  end)
  start_task(function()
    while 1 do
      box_seen = %box.v
      break_here()
    end
  end)
  start_task(argtask, 5, "x")
end
)";

class ScriptSaveGame : public ScriptModuleTest {
 protected:
  const char* System() const override { return kTaskScript; }
  void SetUp() override {
    ScriptModuleTest::SetUp();
    std::filesystem::remove_all("Saves");
    kv_Registry_ResetForTest();
    drevMain_ResetSaveState();
    drevMain_ResetCalls();
    // Everything but the scripts' own calls does nothing.
    drevMainCalls& c = drevMain_Calls();
    c.renderSetWaitTimerEnabled = [](int) {};
    c.renderDrawProgressBar = [](float) {};
    c.melosStopAllSounds = [] {};
    c.tolveStop = [] {};
    c.tolveUpdate = [] { return 0; };
    c.resourceFreeAll = [] {};
    c.forgetShadowMaterial = [] {};
    c.resourceSetRestoring = [](int) {};
    c.resourcesReleased = [] {};
    c.roomGetCurrent = []() -> Room* { return nullptr; };
    c.renderPrepareSetup = [](Room*, int) {};
    c.renderInvalidateRectAllBuffers = [](const int*, int) {};
    c.overlaySetVirtualScreenAspect = [](float) {};
    c.cosSave = [](SaveTransferFn) { return 0; };
    c.cosRestore = [](SaveTransferFn) { return 0; };
    savetest::InstallFakeModules(&hs_);
    g_written.clear();
  }
  void TearDown() override {
    savetest::RemoveFakeModules();
    drevMain_ResetCalls();
    drevMain_ResetSaveState();
    kv_Registry_ResetForTest();
    ScriptModuleTest::TearDown();
  }
  static void Frames(int n) {
    for (int i = 0; i < n; ++i) drevLua_Update();
  }
  // The block body the save callback writes with the given handler.
  static std::vector<uint8_t> CallbackBlock(const std::string& handler) {
    EXPECT_EQ(0, RunLua("system.saveGameCallback = " + handler));
    g_written.clear();
    drevLua_SaveGameCallback(CaptureWrite);
    return g_written;
  }
};

TEST_F(ScriptSaveGame, EveryRowOfTheSaveGroupsHasAFunction) {
  const lua_Reg* table = drevLua_GetCoreTable();
  auto at = [&](const char* name) {
    for (int i = 0; i < kCoreFunctionCount; ++i) {
      if (std::strcmp(table[i].name, name) == 0) return i;
    }
    return -1;
  };
  const std::pair<const char*, const char*> groups[] = {{"Save", "InputDialog"},
                                                        {"SubmitSaveGameData", "GetSaveGameData"}};
  int rows = 0;
  for (const auto& [first, last] : groups) {
    ASSERT_LE(at(first), at(last));
    for (int i = at(first); i <= at(last); ++i, ++rows) {
      EXPECT_NE(nullptr, table[i].func) << table[i].name;
    }
  }
  EXPECT_EQ(31 + 2, rows);
}

TEST_F(ScriptSaveGame, SubmittedTextsFormTheDataBlock) {
  const std::vector<uint8_t> ab = [] {
    std::vector<uint8_t> b = Words({12, 2});
    b.insert(b.end(), {'a', 0});
    const std::vector<uint8_t> second = Words({2});
    b.insert(b.end(), second.begin(), second.end());
    b.insert(b.end(), {'b', 0});
    return b;
  }();
  const std::vector<uint8_t> empty = Words({0});
  const struct {
    const char* handler;
    std::vector<uint8_t> block;
  } cases[] = {
      {"function() SubmitSaveGameData({[0] = 'a', [1] = 'b'}) end", ab},
      {"function() SubmitSaveGameData({'a', 'b'}) end", empty},  // starts at index 1
      {"function() SubmitSaveGameData({[0] = {}}) end", empty},
      {"function() SubmitSaveGameData({[0] = 'a', [1] = {}}) end", empty},
      {"function() SubmitSaveGameData({}) end", empty},
      {"nil", empty},
      // A second call in one callback is ignored.
      {"function() SubmitSaveGameData({[0] = 'a', [1] = 'b'}) "
       "SubmitSaveGameData({[0] = 'c'}) end",
       ab},
  };
  for (const auto& c : cases) EXPECT_EQ(c.block, CallbackBlock(c.handler)) << c.handler;
  // Outside the callback nothing is written anywhere.
  g_written.clear();
  EXPECT_EQ(0, RunLua("SubmitSaveGameData({[0] = 'late'})"));
  EXPECT_TRUE(g_written.empty());
  EXPECT_EQ(empty, CallbackBlock("nil"));
}

TEST_F(ScriptSaveGame, GetSaveGameDataReadsTheBlockBack) {
  auto write = [](const char* name, const std::vector<uint8_t>& bytes) {
    WriteFile(name, std::string(bytes.begin(), bytes.end()));
  };
  write("zero.dat", Words({0}));
  write("two.dat", CallbackBlock("function() SubmitSaveGameData({[0] = 'one', [1] = 'two'}) end"));
  const std::string longText(300, 'q');
  write("long.dat", CallbackBlock("function() SubmitSaveGameData({[0] = '" + longText +
                                  "', [1] = 'after'}) end"));
  std::vector<uint8_t> overlong = Words({100, 50});  // the record claims more than the file has
  overlong.insert(overlong.end(), {'x', 0});
  write("short.dat", overlong);

  EXPECT_EQ(0, RunLua("t = GetSaveGameData('zero.dat') r0 = next(t, nil) == nil"));
  EXPECT_EQ("1", GlobalText("r0"));
  EXPECT_EQ(0, RunLua("r1 = GetSaveGameData('missing.dat') == nil"));
  EXPECT_EQ("1", GlobalText("r1"));
  EXPECT_EQ(0, RunLua("t = GetSaveGameData('two.dat') a = t[0] b = t[1] c = t[2] == nil"));
  EXPECT_EQ("one", GlobalText("a"));
  EXPECT_EQ("two", GlobalText("b"));
  EXPECT_EQ("1", GlobalText("c"));
  EXPECT_EQ(0, RunLua("t = GetSaveGameData('long.dat') a = t[0] b = t[1]"));
  EXPECT_EQ(std::string(127, 'q'), GlobalText("a"));
  EXPECT_EQ("after", GlobalText("b"));
  EXPECT_EQ(0, RunLua("t = GetSaveGameData('short.dat') r2 = next(t, nil) == nil"));
  EXPECT_EQ("1", GlobalText("r2"));
}

TEST_F(ScriptSaveGame, TasksResumeWhereTheyWereSaved) {
  ASSERT_EQ(0, RunLua("start_all()"));
  Frames(3);
  ASSERT_EQ("3", GlobalText("count_a"));
  EXPECT_EQ(0, RunLua("Save(1, '0101', 2, 'three frames')"));
  EXPECT_EQ(-1, drevLua_GetSaveStatus());
  ASSERT_TRUE(savetest::DriveUntilIdle());
  EXPECT_EQ(0, drevLua_GetSaveStatus());
  Frames(5);
  ASSERT_EQ("8", GlobalText("count_a"));

  EXPECT_EQ(0, RunLua("Load(1)"));
  EXPECT_EQ(-1, drevLua_GetSaveStatus());
  ASSERT_TRUE(savetest::DriveUntilIdle());
  EXPECT_EQ(0, drevLua_GetSaveStatus());
  EXPECT_EQ(0, RunLua("loaded = JustLoaded() again = JustLoaded() == nil"));
  EXPECT_EQ("1", GlobalText("loaded"));
  EXPECT_EQ("1", GlobalText("again"));
  EXPECT_EQ("3", GlobalText("count_a"));
  Frames(1);
  EXPECT_EQ("4", GlobalText("count_a"));    // the local counter went on
  EXPECT_EQ("704", GlobalText("count_b"));  // still inside the nested call
  EXPECT_EQ("4", GlobalText("count_c"));    // the closure only the task held
  EXPECT_EQ("4", GlobalText("box_seen"));   // both tasks still share the box
  EXPECT_EQ("x20", GlobalText("count_d"));  // the task's arguments
}

TEST_F(ScriptSaveGame, ADamagedRuntimeBlockLeavesTheGameAsItWas) {
  ASSERT_EQ(0, RunLua("start_all()"));
  Frames(3);
  ASSERT_TRUE((drevMain_RequestSave(1, "", 0, "t"), savetest::DriveUntilIdle()));
  const std::vector<uint8_t> good = savetest::ReadSlotStream(1);
  const long start = savetest::Find(good, "LUAS");
  const long end = savetest::Find(good, "LUAE", static_cast<size_t>(start));
  ASSERT_GT(start, 0);
  ASSERT_GT(end, start);
  Frames(2);
  std::vector<uint8_t> before;
  ASSERT_EQ(0, drevMain_SerializeState(&before));
  // Bytes changed across the runtime's block (its frames, counts and
  // values): a load either takes the whole block or changes nothing.
  int refused = 0;
  const long step = std::max(1L, (end - start - 4) / 24);
  for (long at = start + 4; at < end; at += step) {
    std::vector<uint8_t> bad = good;
    bad[static_cast<size_t>(at)] ^= 0x5A;
    savetest::WriteSlotStream(2, bad);
    drevMain_RequestLoad(2, 0);
    ASSERT_TRUE(savetest::DriveUntilIdle());
    if (drevLua_GetSaveStatus() == 0) {
      // Loaded as a whole: put the game back for the next case.
      savetest::WriteSlotStream(3, good);
      drevMain_RequestLoad(3, 0);
      ASSERT_TRUE(savetest::DriveUntilIdle());
      Frames(2);
      continue;
    }
    ++refused;
    std::vector<uint8_t> after;
    ASSERT_EQ(0, drevMain_SerializeState(&after));
    ASSERT_EQ(before, after) << "byte " << at;
  }
  EXPECT_GT(refused, 0);
}

TEST_F(ScriptSaveGame, SaveListSettingsAndFiles) {
  ASSERT_EQ(0, kv_Save_WriteSlot(3, "x", 1, "Third", 9, "0110"));
  ASSERT_EQ(0, kv_Save_WriteSlot(5, "y", 1, "Fifth", 2, ""));
  std::filesystem::create_directories("found/sub.txt");
  WriteFile("found/a.txt", "a");
  WriteFile("found/b.txt", "b");
  kv_Registry_WriteInt("Count", 12);  // as the engine writes "LastSavedGame"
  const struct {
    const char* code;
    const char* global;
    const char* expected;
  } cases[] = {
      {"r = FindSaveGames() == nil", "r", "1"},  // before any search
      // Newest first.
      {"InitiateFindSaveGames() t = FindSaveGames() r = t[0].title .. t[1].title", "r",
       "FifthThird"},
      {"r = GetFindSaveGameStatus()", "r", "1"},
      {"t = FindSaveGames() r = t[1].slot .. ',' .. t[1].setIndex .. ',' .. t[1].mural_info", "r",
       "3,9,011000000000000000000000000000000000000000000000000000000000"},
      {"InitiateFindSaveGames() InitiateFindSaveGames() r = FindSaveGames()[1].title", "r",
       "Third"},
      {"r = ReadRegistryValue('NeverWritten') == nil", "r", "1"},
      {"WriteRegistryValue('Volume', 0.5) r = ReadRegistryValue('Volume')", "r", "0.5"},
      {"WriteRegistryValue('Name', 'Vosk') r = ReadRegistryValue('Name')", "r", "Vosk"},
      {"r = ReadRegistryIntValue('Name') == nil", "r", "1"},
      {"r = ReadRegistryIntValue('Count')", "r", "12"},
      {"UnlockCutscene(5) r = IsCutsceneUnlocked(5) s = IsCutsceneUnlocked(6) == nil", "s", "1"},
      {"UnlockConcept(127) r = IsConceptUnlocked(127)", "r", "1"},
      {"StartCheckOfCrossSaveStatus(0) r = GetCrossSaveStatus()", "r", "1"},
      {"r = GlobalSaveResolved() + AreAchievementsInstalled()", "r", "2"},
      {"r = CheckForFile('found/a.txt')", "r", "1"},
      {"r = CheckForFile('found/none.txt') == nil", "r", "1"},
      {"r = FindFileOnAnyCD('found/a.txt') == nil", "r", "1"},
      {"a = FileFindFirst('txt', 'found') b = FileFindNext() c = FileFindNext() == nil "
       "d = FileFindNext() == nil r = c and d and (a .. b == 'a.txtb.txt' or a .. b == "
       "'b.txta.txt')",
       "r", "1"},
      {"FileFindFirst('txt', 'found') FileFindDispose() r = FileFindNext() == nil", "r", "1"},
      {"r = JustLoaded() == nil", "r", "1"},
      // The developer dialogs answer at once on this platform: the message
      // box with 0 (taken as yes), the input dialog with OK and no text.
      {"r = QueryDialog('Quit', 'Really?') + QueryDialog('Quit', 'Really?', nil)", "r", "2"},
      {"r = QueryDialog(nil, 'Really?') == nil", "r", "1"},
      {"r = InputDialog('Name', 'Your name:', 'Vosk') .. '|'", "r", "|"},
      {"r = InputDialog('Name', 'Your name:', {}) == nil", "r", "1"},
      {"a, b = SearchForFileOrSwapCDs('Disc', 'Insert disc 2', 'found/a.txt') "
       "r = a .. tostring(b)",
       "r", "1nil"},
      {"r = SearchForFileOrSwapCDs('Disc', 'Insert disc 2') == nil", "r", "1"},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(0, RunLua(c.code)) << c.code;
    EXPECT_EQ(c.expected, GlobalText(c.global)) << c.code;
  }
}

}  // namespace
