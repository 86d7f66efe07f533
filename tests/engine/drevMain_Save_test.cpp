// Saving, loading and erasing games through the real dispatch, threads and
// slot files, with fake modules writing known blocks and recording fakes in
// place of the scripts, the chore library and the render module.
#include "engine/drevMain_Save.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "SaveTestSupport.h"
#include "engine/drevMain.h"
#include "platform/kv_Registry.h"
#include "platform/kv_Save.h"
#include "platform/stdByteOrder.h"
#include "std/std.h"
#include "std/stdDisplay.h"

using namespace savetest;

namespace {

std::vector<std::string> gEvents;
std::vector<float> gProgress;
std::vector<int> gStatus;
uint32_t gCosValue = 0;
uint32_t gLuaValue = 0;
int gBoxAnswer = 1;

std::string Events() {
  std::string s;
  for (const auto& e : gEvents) s += (s.empty() ? "" : " ") + e;
  return s;
}

int FakeBox(const char*, const char*, int, const char* const*, int) {
  gEvents.push_back("outOfDateBox");
  return gBoxAnswer;
}

class Save : public ::testing::Test {
 protected:
  void SetUp() override {
    HostServices_CopyDefaults(&hs_);
    std_DefaultServices(&hs_);
    std_Startup(&hs_);
    std::filesystem::remove_all("Saves");
    kv_Registry_ResetForTest();
    drevMain_ResetSaveState();
    drevMain_ResetCalls();
    kv_Save_SetMessageBoxFunction(FakeBox);
    gEvents.clear();
    gProgress.clear();
    gStatus.clear();
    gCosValue = 0xC0C0;
    gLuaValue = 0x1A1A;
    gBoxAnswer = 1;
    GameState = kGameRunning;
    drevMain_SetRenderModeUser(kGameRunning);
    drevMain_SetScriptUpdate(1);
    drevMainCalls& c = drevMain_Calls();
    c.luaCollectGarbage = [] { gEvents.push_back("gc"); };
    c.renderSetWaitTimerEnabled = [](int on) { gEvents.push_back("wait." + std::to_string(on)); };
    c.renderDrawProgressBar = [](float f) { gProgress.push_back(f); };
    c.melosStopAllSounds = [] { gEvents.push_back("stopSounds"); };
    c.tolveStop = [] { gEvents.push_back("tolveStop"); };
    c.tolveUpdate = [] {
      gEvents.push_back("tolveUpdate");
      return 0;
    };
    c.resourceFreeAll = [] { gEvents.push_back("freeAll"); };
    c.forgetShadowMaterial = [] {};
    c.resourceSetRestoring = [](int on) { gEvents.push_back("restoring." + std::to_string(on)); };
    c.resourcesReleased = [] {};
    c.roomGetCurrent = []() -> Room* { return nullptr; };
    c.renderPrepareSetup = [](Room*, int s) { gEvents.push_back("prepare." + std::to_string(s)); };
    c.renderInvalidateRectAllBuffers = [](const int* r, int restore) {
      gEvents.push_back("invalidate." + std::to_string(r[2]) + "x" + std::to_string(r[3]) + "." +
                        std::to_string(restore));
    };
    c.overlaySetVirtualScreenAspect = [](float) { gEvents.push_back("aspect"); };
    c.luaSaveGameCallback = [](SaveTransferFn write) {
      gEvents.push_back("saveCallback");
      uint32_t zero = 0;
      write(&zero, 4);
    };
    c.luaSetSaveStatus = [](int code) { gStatus.push_back(code); };
    c.luaSetInputMode = [](int) {};
    c.luaCallGlobal = [](const char* name, const char* argument) {
      gEvents.push_back(std::string(name) + "(" + (argument ? argument : "nil") + ")");
    };
    c.luaDoFile = [](const char* name) {
      gEvents.push_back(std::string("dofile ") + name);
      return 0;
    };
    c.cosSave = [](SaveTransferFn write) { return write(&gCosValue, 4); };
    c.cosRestore = [](SaveTransferFn read) { return read(&gCosValue, 4); };
    c.luaSave = [](SaveTransferFn write) { return write(&gLuaValue, 4); };
    c.luaRestore = [](SaveTransferFn read) { return read(&gLuaValue, 4); };
    c.luaRunSystemScript = [] { return 1; };
    InstallFakeModules(&hs_);
  }
  void TearDown() override {
    RemoveFakeModules();
    drevMain_ResetCalls();
    drevMain_ResetSaveState();
    kv_Save_SetMessageBoxFunction(nullptr);
    kv_Registry_ResetForTest();
    GameState = kGameNone;
  }

  // Saves the running game to the slot and waits for the thread.
  void SaveTo(int slot) {
    drevMain_RequestSave(slot, "0101", 7, "title");
    ASSERT_TRUE(DriveUntilIdle());
  }
  void LoadFrom(int slot, int bootOnFailure = 0) {
    drevMain_RequestLoad(slot, bootOnFailure);
    ASSERT_TRUE(DriveUntilIdle());
  }
  std::vector<uint8_t> Snapshot() {
    std::vector<uint8_t> bytes;
    EXPECT_EQ(0, drevMain_SerializeState(&bytes));
    return bytes;
  }

  HostServices hs_{};
};

void PutU32(std::vector<uint8_t>& s, uint32_t v) {
  uint8_t b[4];
  stdLE_PutU32(b, v);
  s.insert(s.end(), b, b + 4);
}
void PutMagic(std::vector<uint8_t>& s, const char (&m)[5]) {
  s.insert(s.end(), m, m + 4);
}

// What the fake modules of generation 1 write, in the stream's order.
std::vector<uint8_t> Golden(bool sound) {
  std::vector<uint8_t> s;
  PutU32(s, 4);
  PutMagic(s, "LCBS");
  PutU32(s, 0);
  PutMagic(s, "LCBE");
  PutMagic(s, "COSS");
  PutU32(s, 0xC0C0);
  PutMagic(s, "COSE");
  struct {
    const char start[5];
    const char end[5];
    int g, i;
  } blocks[] = {{"RESS", "RESE", 0, 7}, {"TEXS", "TEXE", 1, 3}, {"ROMS", "ROME", 0, 2},
                {"COMS", "COME", 0, 8}, {"ACTS", "ACTE", 0, 6}, {"RNDS", "RNDE", 1, 2},
                {"PRMS", "PRME", 1, 4}, {"TLVS", "TLVE", 1, 5}, {"OVRS", "OVRE", 1, 6},
                {"DLGS", "DLGE", 1, 7}, {"HOTS", "HOTE", 1, 8}};
  for (const auto& b : blocks) {
    PutMagic(s, b.start);
    if (!(b.g == 1 && b.i == 5)) PutU32(s, 1000 + 100 * b.g + b.i);  // the glue has no slots
    PutMagic(s, b.end);
  }
  PutU32(s, kGameRunning);
  PutMagic(s, "LUAS");
  PutU32(s, 0x1A1A);
  PutMagic(s, "LUAE");
  if (sound) {
    PutMagic(s, "MELS");
    PutU32(s, 1101);
    PutMagic(s, "MELE");
  }
  return s;
}

TEST_F(Save, StreamLayoutBlockOrderAndProgress) {
  SaveTo(1);
  EXPECT_EQ(Golden(false), ReadSlotStream(1));
  EXPECT_EQ((std::vector<float>{0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.75f, 1.0f}), gProgress);
  EXPECT_EQ("gc wait.0 saveCallback wait.1", Events());
  EXPECT_EQ(std::vector<int>{0}, gStatus);
  EXPECT_EQ(1, kv_Registry_ReadInt("LastSavedGame", -1));
  // The slot's metadata holds the request's title and number.
  std::vector<SaveListEntry> list(4);
  ASSERT_EQ(1, kv_Save_ListSlots(list.data(), 4));
  EXPECT_STREQ("title", list[0].title);
  EXPECT_EQ(7, list[0].number);
}

// The engine shuts down while the save thread may still be writing: the
// shutdown waits for it, so the slot is complete on disk and recorded as the
// last saved game, and no thread is left running.
TEST_F(Save, AShutdownFinishesTheSaveUnderWay) {
  ASSERT_EQ(0, drevMain_Startup());
  drevMain_RequestSave(3, "0101", 7, "title");
  drevMain_SaveDispatch();  // serialises and starts the thread
  drevMain_Shutdown();
  EXPECT_EQ(Golden(false), ReadSlotStream(3));
  EXPECT_EQ(3, kv_Registry_ReadInt("LastSavedGame", -1));
  EXPECT_EQ(kSaveIoIdle, drevMain_saveIoState.load());
}

TEST_F(Save, MusicBlockOnlyWithASoundModule) {
  RemoveFakeModules();
  InstallFakeModules(&hs_, true);
  SaveTo(2);
  EXPECT_EQ(Golden(true), ReadSlotStream(2));
}

TEST_F(Save, RoundTripRestoresEveryBlockThroughTheThreads) {
  SaveTo(1);
  SetModuleValues(2);
  gCosValue = gLuaValue = 0;
  drevMain_SetRenderModeUser(kGameScriptWide);
  GameState = kGameUserPaint;
  gEvents.clear();
  gProgress.clear();
  LoadFrom(1);
  // Every module of a block, the cutscene glue (no slots) aside.
  for (auto [g, i] :
       {std::pair{0, 7}, {1, 3}, {0, 2}, {0, 8}, {0, 6}, {1, 2}, {1, 4}, {1, 6}, {1, 7}, {1, 8}}) {
    EXPECT_EQ(1000u + 100 * g + i, gValue[g][i]) << g << "." << i;
  }
  EXPECT_EQ(2001u, gValue[0][1]);  // a module of no block keeps its state
  EXPECT_EQ(0xC0C0u, gCosValue);
  EXPECT_EQ(0x1A1Au, gLuaValue);
  EXPECT_EQ(kGameRunning, drevMain_GetRenderModeUser());
  EXPECT_EQ(kGameRunning, GameState);
  EXPECT_EQ((std::vector<int>{0, 0}), gStatus);
  EXPECT_EQ(1, drevMain_TakeJustLoaded());
  EXPECT_EQ(0, drevMain_TakeJustLoaded());
  EXPECT_EQ(1, drevMain_GetScriptUpdate());
  // Prepared as a load prepares, then the setup and the whole screen.
  EXPECT_EQ(
      "wait.0 stopSounds tolveStop tolveUpdate freeAll restoring.1 gc restoring.0 prepare.0 "
      "invalidate.640x480.1 wait.1 aspect",
      Events());
  EXPECT_EQ((std::vector<float>{0.1f, 0.2f, 0.3f, 0.4f, 0.75f, 1.0f}), gProgress);
}

TEST_F(Save, VersionThreeRunsThePatchAndFourDoesNot) {
  SaveTo(1);
  std::vector<uint8_t> stream = ReadSlotStream(1);
  LoadFrom(1);
  EXPECT_EQ(std::string::npos, Events().find("dofile"));
  stdLE_PutU32(stream.data(), 3);
  WriteSlotStream(1, stream);
  gEvents.clear();
  LoadFrom(1);
  EXPECT_NE(std::string::npos, Events().find("dofile patch_v2_or_v3_to_v4.bin"));
  EXPECT_EQ(0, gStatus.back());
}

// Drives a requested load to its end but not the new game it may request.
void DriveLoadOnly() {
  drevMain_SaveDispatch();
  for (int i = 0; i < 60000 && drevMain_saveIoState.load() != kSaveIoIdle; ++i) {
    SDL_Delay(1);
    drevMain_SaveDispatch();
  }
}

TEST_F(Save, OutOfDateVersionStartsANewGameAndLaterVersionsAreRefused) {
  SaveTo(1);
  std::vector<uint8_t> stream = ReadSlotStream(1);
  SetModuleValues(2);
  const std::vector<uint8_t> before = Snapshot();
  for (uint32_t version : {2u, 0u}) {
    stdLE_PutU32(stream.data(), version);
    WriteSlotStream(1, stream);
    gEvents.clear();
    drevMain_RequestLoad(1, 0);
    DriveLoadOnly();
    EXPECT_EQ(kSaveStatusOutOfDate, gStatus.back());
    EXPECT_EQ(1, drevMain_newGameRequest.exchange(0)) << version;
    EXPECT_EQ("outOfDateBox", Events());  // nothing freed, nothing restored
    EXPECT_EQ(before, Snapshot());
  }
  // With boot on failure no status is reported.
  gStatus.clear();
  drevMain_RequestLoad(1, 1);
  DriveLoadOnly();
  EXPECT_TRUE(gStatus.empty());
  EXPECT_EQ(1, drevMain_newGameRequest.exchange(0));

  stdLE_PutU32(stream.data(), 5);
  WriteSlotStream(1, stream);
  gEvents.clear();
  LoadFrom(1);
  EXPECT_EQ(kSaveStatusFailed, gStatus.back());
  EXPECT_EQ("", Events());
  EXPECT_EQ(0, drevMain_newGameRequest.load());
  EXPECT_EQ(before, Snapshot());
}

TEST_F(Save, MissingSlotCallsBootTwoOrReportsTheSlotCode) {
  LoadFrom(9, 1);
  EXPECT_EQ("BOOTTWO(mo.set)", Events());
  EXPECT_TRUE(gStatus.empty());
  gEvents.clear();
  LoadFrom(9, 0);
  EXPECT_EQ("", Events());
  EXPECT_EQ(std::vector<int>{1}, gStatus);  // kv_Save_ReadSlot's code
}

TEST_F(Save, AFailedSaveWritesNothingAndKeepsLastSavedGame) {
  SaveTo(3);
  const std::vector<uint8_t> file = ReadFile(kv_Save_GetGameStatePath(3));
  gFailSave[0][6] = true;  // the actors' block
  gStatus.clear();
  SaveTo(4);
  EXPECT_EQ(std::vector<int>{kSaveStatusFailed}, gStatus);
  EXPECT_FALSE(std::filesystem::exists(kv_Save_GetGameStatePath(4)));
  EXPECT_EQ(3, kv_Registry_ReadInt("LastSavedGame", -1));
  gFailSave[0][6] = false;

  // A game that does not compress into 4 MB is not written as a cut save.
  gStatus.clear();
  drevMain_Calls().luaSave = [](SaveTransferFn write) {
    std::vector<uint8_t> noise(5 << 20);
    uint32_t x = 12345;
    for (auto& b : noise) b = static_cast<uint8_t>((x = x * 1103515245 + 12345) >> 24);
    return write(noise.data(), noise.size());
  };
  SaveTo(3);
  EXPECT_EQ(std::vector<int>{kSaveStatusFailed}, gStatus);
  EXPECT_EQ(file, ReadFile(kv_Save_GetGameStatePath(3)));
  EXPECT_EQ(3, kv_Registry_ReadInt("LastSavedGame", -1));

  // Past the 16 MB buffer the save fails instead of overrunning it.
  gStatus.clear();
  drevMain_Calls().luaSave = [](SaveTransferFn write) {
    std::vector<uint8_t> big(kSaveBufferSize);
    return write(big.data(), big.size());
  };
  SaveTo(3);
  EXPECT_EQ(std::vector<int>{kSaveStatusFailed}, gStatus);
  EXPECT_EQ(file, ReadFile(kv_Save_GetGameStatePath(3)));
}

TEST_F(Save, TransferFunctionsRefuseToPassTheirBounds) {
  uint8_t byte = 1;
  EXPECT_EQ(1, drevMain_SaveWrite(&byte, 1));  // no operation running
  EXPECT_EQ(1, drevMain_SaveRead(&byte, 1));
  EXPECT_EQ(0, byte);
  EXPECT_EQ(0, drevMain_SaveWrite(nullptr, 0));
}

TEST_F(Save, RequestsOfOneFrameWaitForTheRunningOperation) {
  SaveTo(1);
  SetModuleValues(2);
  drevMain_RequestSave(2, "", 0, "second");
  drevMain_RequestLoad(1, 0);
  drevMain_RequestErase(2);
  drevMain_SaveDispatch();
  // The save runs; the load and the erase wait for an idle frame.
  EXPECT_NE(kSaveIoIdle, drevMain_saveIoState.load());
  EXPECT_EQ(1, drevMain_loadRequest.load());
  EXPECT_EQ(1, drevMain_eraseRequest.load());
  ASSERT_TRUE(DriveUntilIdle());
  EXPECT_EQ(1006u, gValue[0][6]);  // the load of slot 1 happened
  // The erase came last: slot 2 (written by the save) is gone.
  EXPECT_FALSE(std::filesystem::exists(kv_Save_GetSlotFolder(2)));
  EXPECT_EQ(2, kv_Registry_ReadInt("LastSavedGame", -1));
  EXPECT_EQ((std::vector<int>{0, 0, 0, 0}), gStatus);
  drevMain_RequestErase(2);
  ASSERT_TRUE(DriveUntilIdle());
  EXPECT_EQ(1, gStatus.back());  // no such slot
}

// ---- Corruption: every fault leaves the running game as it was -------------------

struct Corruption {
  const char* name;
  void (*apply)(std::vector<uint8_t>& stream);
};

void FlipMagic(std::vector<uint8_t>& s, const char (&magic)[5]) {
  const long at = Find(s, magic, 4);
  ASSERT_GE(at, 0) << magic;
  s[at] ^= 0x20;
}

#define MAGIC_CASE(m)                                            \
  {                                                              \
    "magic " m, [](std::vector<uint8_t>& s) { FlipMagic(s, m); } \
  }
const Corruption kStreamCorruptions[] = {
    MAGIC_CASE("LCBS"),
    MAGIC_CASE("LCBE"),
    MAGIC_CASE("COSS"),
    MAGIC_CASE("COSE"),
    MAGIC_CASE("RESS"),
    MAGIC_CASE("RESE"),
    MAGIC_CASE("TEXS"),
    MAGIC_CASE("TEXE"),
    MAGIC_CASE("ROMS"),
    MAGIC_CASE("ROME"),
    MAGIC_CASE("COMS"),
    MAGIC_CASE("COME"),
    MAGIC_CASE("ACTS"),
    MAGIC_CASE("ACTE"),
    MAGIC_CASE("RNDS"),
    MAGIC_CASE("RNDE"),
    MAGIC_CASE("PRMS"),
    MAGIC_CASE("PRME"),
    MAGIC_CASE("TLVS"),
    MAGIC_CASE("TLVE"),
    MAGIC_CASE("OVRS"),
    MAGIC_CASE("OVRE"),
    MAGIC_CASE("DLGS"),
    MAGIC_CASE("DLGE"),
    MAGIC_CASE("HOTS"),
    MAGIC_CASE("HOTE"),
    MAGIC_CASE("LUAS"),
    MAGIC_CASE("LUAE"),
    {"block short by 4 bytes",
     [](std::vector<uint8_t>& s) {
       const long at = Find(s, "ACTS") + 4;
       s.erase(s.begin() + at, s.begin() + at + 4);
     }},
    {"read past the end", [](std::vector<uint8_t>& s) { s.resize(Find(s, "LUAS") + 6); }},
    {"scripts' block longer than the save",
     [](std::vector<uint8_t>& s) { stdLE_PutU32(s.data() + Find(s, "LCBS") + 4, 1u << 30); }},
    {"render mode out of range",
     [](std::vector<uint8_t>& s) { stdLE_PutU32(s.data() + Find(s, "LUAS") - 4, 99); }},
};
#undef MAGIC_CASE

TEST_F(Save, CorruptStreamsLeaveTheGameByteIdentical) {
  SaveTo(1);
  const std::vector<uint8_t> good = ReadSlotStream(1);
  SetModuleValues(2);
  gCosValue = 0xBEEF;
  gLuaValue = 0xF00D;
  drevMain_SetRenderModeUser(kGameScriptWide);
  GameState = kGameUserPaint;
  const std::vector<uint8_t> before = Snapshot();
  for (const Corruption& c : kStreamCorruptions) {
    std::vector<uint8_t> stream = good;
    c.apply(stream);
    WriteSlotStream(1, stream);
    gStatus.clear();
    LoadFrom(1);
    EXPECT_EQ(std::vector<int>{kSaveStatusFailed}, gStatus) << c.name;
    EXPECT_EQ(before, Snapshot()) << c.name;
    EXPECT_EQ(kGameUserPaint, GameState) << c.name;
    EXPECT_EQ(0, drevMain_TakeJustLoaded()) << c.name;
    EXPECT_EQ(0, drevMain_newGameRequest.load()) << c.name;
  }
  // A module whose restore fails, in the middle of the blocks.
  WriteSlotStream(1, good);
  gFailRestore[1][2] = true;
  gStatus.clear();
  LoadFrom(1);
  gFailRestore[1][2] = false;
  EXPECT_EQ(std::vector<int>{kSaveStatusFailed}, gStatus);
  EXPECT_EQ(before, Snapshot());
}

TEST_F(Save, DamagedFilesAreRefusedBeforeAnythingIsTouched) {
  SaveTo(1);
  const std::vector<uint8_t> file = ReadFile(kv_Save_GetGameStatePath(1));
  SetModuleValues(2);
  const std::vector<uint8_t> before = Snapshot();
  std::vector<uint8_t> flipped = file;
  flipped[flipped.size() / 2] ^= 0x01;
  const std::vector<uint8_t> truncated(file.begin(), file.begin() + file.size() / 2);
  for (const auto& bytes : {flipped, truncated}) {
    WriteFile(kv_Save_GetGameStatePath(1), bytes);
    gEvents.clear();
    gStatus.clear();
    LoadFrom(1);
    EXPECT_EQ(std::vector<int>{kSaveStatusFailed}, gStatus);
    EXPECT_EQ("", Events());
    EXPECT_EQ(before, Snapshot());
  }
}

// The load sizes its buffers from the file and the stream: a game state of
// several megabytes (far more than the compressed file suggests) comes back
// whole, and a stream that holds more than the 16 MB of a save is refused
// before anything is touched.
std::vector<uint8_t> gScripts;  // what the scripts' runtime block carries

TEST_F(Save, LargeGameStatesLoadWholeUpToTheLimit) {
  drevMainCalls& c = drevMain_Calls();
  c.luaSave = [](SaveTransferFn write) { return write(gScripts.data(), gScripts.size()); };
  c.luaRestore = [](SaveTransferFn read) { return read(gScripts.data(), gScripts.size()); };
  gScripts.assign(6u << 20, 0);
  for (size_t i = 0; i < gScripts.size(); i += 4096) gScripts[i] = static_cast<uint8_t>(i >> 12);
  const std::vector<uint8_t> saved = gScripts;
  SaveTo(1);
  ASSERT_LT(ReadFile(kv_Save_GetGameStatePath(1)).size(), size_t{100000});
  std::fill(gScripts.begin(), gScripts.end(), 0xEE);
  gStatus.clear();
  LoadFrom(1);
  EXPECT_EQ(std::vector<int>{kSaveStatusOk}, gStatus);
  EXPECT_TRUE(gScripts == saved);

  // One byte past the limit.
  std::vector<uint8_t> stream = ReadSlotStream(1);
  stream.resize(kSaveBufferSize + 1, 0);
  WriteSlotStream(1, stream);
  gEvents.clear();
  gStatus.clear();
  LoadFrom(1);
  EXPECT_EQ(std::vector<int>{kSaveStatusFailed}, gStatus);
  EXPECT_EQ("", Events());
}

TEST_F(Save, AFailingRollbackStartsANewGame) {
  SaveTo(1);
  SetModuleValues(2);
  gFailRestore[0][8] = true;  // fails for the load and for the rollback
  gEvents.clear();
  LoadFrom(1);
  EXPECT_EQ(kSaveStatusFailed, gStatus.back());
  // The next idle frame restarts the game.
  EXPECT_EQ(0, drevMain_newGameRequest.load());
  EXPECT_NE(std::string::npos, Events().find("BOOT(nil)"));
}

// ---- Music snapshot --------------------------------------------------------------

TEST_F(Save, MusicSnapshotKeepsItsOwnBuffer) {
  RemoveFakeModules();
  InstallFakeModules(&hs_, true);
  gValue[1][1] = 77;
  drevMain_SnapshotMelos();
  gValue[1][1] = 78;
  // While an operation runs both do nothing.
  drevMain_saveIoState.store(kSaveIoWriting);
  drevMain_RestoreMelosSnapshot();
  EXPECT_EQ(78u, gValue[1][1]);
  drevMain_saveIoState.store(kSaveIoIdle);
  // A save between snapshot and restore does not disturb it.
  SaveTo(1);
  drevMain_RestoreMelosSnapshot();
  EXPECT_EQ(77u, gValue[1][1]);
}

// ---- Thumbnail ---------------------------------------------------------------------

TEST_F(Save, ThumbnailNeedsItsExactByteCountAtAValidOffset) {
  constexpr uint32_t kPixels = 250 * 188 * 2;
  auto make = [](uint32_t offset, uint32_t count, size_t pixels) {
    std::vector<uint8_t> f;
    PutU32(f, offset);
    f.resize(offset, 0xAA);
    PutU32(f, count);
    for (size_t i = 0; i < pixels; ++i) f.push_back(static_cast<uint8_t>(i));
    return f;
  };
  struct {
    const char* name;
    std::vector<uint8_t> bytes;
    bool valid;
  } cases[] = {
      {"good", make(16, kPixels, kPixels), true},
      {"count one short", make(16, kPixels - 1, kPixels), false},
      {"count too large", make(16, kPixels + 2, kPixels + 2), false},
      {"pixels cut", make(16, kPixels, kPixels - 10), false},
      {"empty", {}, false},
  };
  for (auto& c : cases) {
    WriteFile("thumb.bin", c.bytes);
    DisplayBuffer* image = drevMain_LoadSaveImage("thumb.bin");
    EXPECT_EQ(c.valid, image != nullptr) << c.name;
    if (image) {
      EXPECT_EQ(250, image->format.width);
      EXPECT_EQ(188, image->format.height);
      EXPECT_EQ(16, image->format.format.bitsPerPixel);
      EXPECT_EQ(0x01, static_cast<uint8_t*>(image->pixels)[1]);
    }
    stdDisplay_FreeBuffer(image);
  }
  // An offset past the end of the file.
  std::vector<uint8_t> far;
  PutU32(far, 1u << 30);
  WriteFile("thumb.bin", far);
  EXPECT_EQ(nullptr, drevMain_LoadSaveImage("thumb.bin"));
  EXPECT_EQ(nullptr, drevMain_LoadSaveImage("missing.bin"));
}

}  // namespace
