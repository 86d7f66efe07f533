// The sound file list with fake open and close callbacks and a fake library
// that says which files still play.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MelosScriptFake.h"
#include "melos/MelosFiles.h"
#include "melos/MelosScript.h"

using namespace melos_fixtures;

namespace {

int32_t LoadNothing(const char*, int32_t) {
  return 0;
}
int FreeNothing(int32_t) {
  return 0;
}

class FileList : public ::testing::Test {
 protected:
  void SetUp() override {
    FakeLibrary::Install();
    MelosFiles_Init(LoadNothing, FreeNothing, FakeLibrary::Open, FakeLibrary::Close);
  }
  void TearDown() override { FakeLibrary::Uninstall(); }
  static std::string LastMessage() {
    char text[512];
    Melos_LastMessage(text, sizeof text);
    return text;
  }
};

TEST_F(FileList, TheSameNameTwiceSharesOneEntry) {
  const int32_t a = MelosFiles_Open("theme.mlc", 0);
  EXPECT_EQ(a, 10001);
  EXPECT_EQ(MelosFiles_Open("theme.mlc", 0), a);
  EXPECT_EQ(MelosFiles_References(a), 2);
  EXPECT_EQ(MelosFiles_Find("theme.mlc"), a);
  EXPECT_EQ(FakeLibrary::Take(), std::vector<std::string>{"open theme.mlc"});

  // Two releases bring it to 0; while it plays the collection keeps it.
  FakeLibrary::playing[a] = {1, 2, 4};
  MelosFiles_ReleaseOpened(a);
  MelosFiles_ReleaseOpened(a);
  MelosFiles_ReleaseOpened(a);  // never below 0
  EXPECT_EQ(MelosFiles_References(a), 0);
  EXPECT_TRUE(FakeLibrary::Take().empty());
  // A pending start (a switch trigger naming it) keeps it too.
  FakeLibrary::playing.clear();
  const int32_t args[10] = {10009, a};
  FakeLibrary::SetTrigger(10009, "exit", 26, args);
  MelosFiles_Collect();
  EXPECT_EQ(MelosFiles_References(a), 0);
  FakeLibrary::triggers.clear();
  FakeLibrary::Take();
  MelosFiles_Collect();
  EXPECT_EQ(FakeLibrary::Take(), std::vector<std::string>{"close 10001"});
  EXPECT_EQ(MelosFiles_Find("theme.mlc"), 0);
}

TEST_F(FileList, NamesOfUpTo32Characters) {
  const std::string name32(32, 'a');
  EXPECT_NE(MelosFiles_Open(name32.c_str(), 0), 0);
  // A longer name is refused before anything is opened.
  FakeLibrary::Take();
  const std::string name33(33, 'b');
  EXPECT_EQ(MelosFiles_Open(name33.c_str(), 0), 0);
  EXPECT_TRUE(FakeLibrary::Take().empty());
  EXPECT_EQ(LastMessage(), "Name too int: " + name33 + "...");
  EXPECT_EQ(MelosFiles_Open("", 0), 0);
}

TEST_F(FileList, TheEleventhFileFindsTheListFull) {
  for (int i = 0; i < MELOS_FILE_ENTRIES; ++i)
    ASSERT_NE(MelosFiles_Open(("f" + std::to_string(i)).c_str(), 0), 0);
  FakeLibrary::Take();
  EXPECT_EQ(MelosFiles_Open("eleventh", 0), 0);
  EXPECT_EQ(LastMessage(), "Sound List FULL!...");
  EXPECT_TRUE(FakeLibrary::Take().empty());
  // A failing callback gives 0 and lists nothing.
  MelosFiles_ReleaseAllOpened();
  FakeLibrary::failOpen = true;
  EXPECT_EQ(MelosFiles_Open("missing", 0), 0);
  EXPECT_EQ(MelosFiles_Find("missing"), 0);
}

TEST_F(FileList, SaveAndRestoreReopenUnderTheOldIds) {
  const char* names[] = {"a.mlc", "b.mlc", "c.mlc", "d.mlc"};
  for (const char* n : names) MelosFiles_Open(n, 0);
  MelosFiles_Open("b.mlc", 0);
  MelosFiles_Open("d.mlc", 0);
  MelosFiles_Open("d.mlc", 0);
  std::vector<uint8_t> block(MELOS_FILE_SAVE_ROOM);
  EXPECT_EQ(MelosFiles_Save(block.data(), MELOS_FILE_SAVE_ROOM - 1), 0);
  const int length = MelosFiles_Save(block.data(), MELOS_FILE_SAVE_ROOM);
  ASSERT_EQ(length, 8 + 4 * MELOS_FILE_RECORD);
  // The link fields are written as 0.
  for (int k = 0; k < 16; ++k) EXPECT_EQ(block[8 + k], 0);

  MelosFiles_Init(LoadNothing, FreeNothing, FakeLibrary::Open, FakeLibrary::Close);
  FakeLibrary::ids.clear();
  FakeLibrary::Take();
  EXPECT_EQ(MelosFiles_Restore(block.data(), static_cast<uint32_t>(length)), length);
  const std::vector<std::string> opened = FakeLibrary::Take();
  // Newest first, as the list was saved.
  EXPECT_EQ(opened, (std::vector<std::string>{"open d.mlc 10004", "open c.mlc 10003",
                                              "open b.mlc 10002", "open a.mlc 10001"}));
  const int expected[] = {1, 2, 1, 3};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(MelosFiles_Find(names[i]), 10001 + i);
    EXPECT_EQ(MelosFiles_References(10001 + i), expected[i]);
  }

  // A host that gives another id than the saved one fails the restore.
  MelosFiles_Init(LoadNothing, FreeNothing, FakeLibrary::Open, FakeLibrary::Close);
  std::vector<uint8_t> changed = block;
  changed[8 + 16] = 0x55;  // the first record's handle
  EXPECT_EQ(MelosFiles_Restore(changed.data(), static_cast<uint32_t>(length)), 0);
  // Counts beyond the pool or beyond the bytes are damage.
  std::vector<uint8_t> damaged = block;
  damaged[4] = 11;
  EXPECT_EQ(MelosFiles_Restore(damaged.data(), static_cast<uint32_t>(length)), 0);
  EXPECT_EQ(MelosFiles_Restore(block.data(), static_cast<uint32_t>(length - 1)), 0);
}

}  // namespace
