#include "platform/kv_Save.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/kv_Log.h"
#include "platform/kv_PlatformFile.h"
#include "std/std.h"
#include "std/stdFileUtil.h"

namespace fs = std::filesystem;

// A program killed in the middle of a save: in a child process the test sets
// how many renames may still happen; the next one ends the process at once,
// as a kill at that point would.
int g_renamesBeforeDeath = -1;

extern "C" int rename(const char* from, const char* to) noexcept {
  static const auto real = reinterpret_cast<int (*)(const char*, const char*)>(
      dlsym(RTLD_NEXT, "rename"));
  if (g_renamesBeforeDeath == 0) _exit(9);
  if (g_renamesBeforeDeath > 0) --g_renamesBeforeDeath;
  return real(from, to);
}

namespace {

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

std::string Ones(int count) {
  return std::string(count, '1') + std::string(60 - count, '0');
}

class SaveSlots : public ::testing::Test {
 protected:
  void SetUp() override {
    HostServices_CopyDefaults(&hs_);
    std_DefaultServices(&hs_);
    std_Startup(&hs_);
    std::setlocale(LC_ALL, "C");
    fs::remove_all("Saves");
    stdFileUtil_ForgetAllFolders();
    kv_Save_InitWriteDirectory();
  }
  void TearDown() override { fs::remove_all("Saves"); }
  HostServices hs_;
};

TEST_F(SaveSlots, PathsAreBuiltPerCall) {
  EXPECT_EQ(kv_Save_GetWriteDirectory(), "Saves/");
  EXPECT_EQ(kv_Save_GetSlotFolder(7), "Saves/savedata0007");
  EXPECT_EQ(kv_Save_GetGameStatePath(7), "Saves/savedata0007/vosk.gsv");
  EXPECT_EQ(kv_Save_GetMetaPath(12345), "Saves/savedata12345/meta.gsv");
  EXPECT_EQ(kv_Save_GetRegistryPath(), "Saves/registry.sav");
  EXPECT_EQ(kv_Save_ErrorDialogSupported(), 0);
  EXPECT_EQ(kv_Save_ErrorDialogPending(), 0);
}

TEST_F(SaveSlots, WriteReadOverwriteAndErase) {
  std::vector<uint8_t> state(5000);
  for (size_t i = 0; i < state.size(); ++i) state[i] = static_cast<uint8_t>(i * 7);
  ASSERT_EQ(kv_Save_WriteSlot(7, state.data(), 5000, "Chapter One", 300, Ones(20).c_str()), 0);

  EXPECT_EQ(ReadBytes("Saves/savedata0007/vosk.gsv"), state);
  const std::vector<uint8_t> meta = ReadBytes("Saves/savedata0007/meta.gsv");
  ASSERT_EQ(meta.size(), 132u);
  const uint32_t packed =
      meta[0] | meta[1] << 8 | meta[2] << 16 | static_cast<uint32_t>(meta[3]) << 24;
  EXPECT_EQ(packed, PackFlagString(300, Ones(20).c_str()));
  EXPECT_EQ(packed >> 24, 300u & 0xFF);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&meta[4])), "Chapter One");
  for (size_t i = 4 + 11; i < 132; ++i) EXPECT_EQ(meta[i], 0) << i;

  std::vector<uint8_t> loaded(8000, 0xEE);
  uint32_t size = 99;
  ASSERT_EQ(kv_Save_ReadSlot(7, loaded.data(), 8000, &size), 0);
  EXPECT_EQ(size, 5000u);
  EXPECT_TRUE(std::equal(state.begin(), state.end(), loaded.begin()));

  // Too small a buffer: nothing copied, nothing truncated handed on.
  std::vector<uint8_t> small(4999, 0xEE);
  EXPECT_EQ(kv_Save_ReadSlot(7, small.data(), 4999, &size), 1);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(small, std::vector<uint8_t>(4999, 0xEE));

  // Overwriting leaves only the two files.
  const std::vector<uint8_t> second(10, 3);
  const std::string longTitle(200, 't');
  ASSERT_EQ(kv_Save_WriteSlot(7, second.data(), 10, longTitle.c_str(), 1, nullptr), 0);
  EXPECT_EQ(ReadBytes("Saves/savedata0007/vosk.gsv"), second);
  EXPECT_EQ(std::distance(fs::directory_iterator("Saves/savedata0007"), fs::directory_iterator()),
            2);
  EXPECT_EQ(
      std::string(reinterpret_cast<const char*>(&ReadBytes("Saves/savedata0007/meta.gsv")[4])),
      longTitle.substr(0, 127));

  EXPECT_EQ(kv_Save_EraseSlot(7), 0);
  EXPECT_FALSE(fs::exists("Saves/savedata0007"));
  EXPECT_EQ(kv_Save_EraseSlot(7), 1);  // nothing left to erase
  EXPECT_EQ(kv_Save_ReadSlot(7, loaded.data(), 8000, &size), 1);
}

TEST_F(SaveSlots, FailuresReportOne) {
  const uint8_t byte = 1;
  EXPECT_EQ(kv_Save_WriteSlot(1, nullptr, 10, "t", 0, ""), 1);
  EXPECT_EQ(kv_Save_WriteSlot(1, &byte, 0, "t", 0, ""), 1);
  EXPECT_FALSE(fs::exists("Saves/savedata0001/meta.gsv"));
  WriteBytes("Saves/savedata0002/vosk.gsv", {});
  uint8_t buffer[4];
  uint32_t size = 5;
  EXPECT_EQ(kv_Save_ReadSlot(2, buffer, sizeof buffer, &size), 1);  // empty file
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(kv_Save_ReadSlot(3, buffer, sizeof buffer, &size), 1);  // missing

  // A file where the slot folder should be: the state cannot be written, and
  // no metadata appears.
  WriteBytes("Saves/savedata0004", {1});
  EXPECT_EQ(kv_Save_WriteSlot(4, &byte, 1, "t", 0, ""), 1);
}

TEST_F(SaveSlots, EraseWithoutStateFileStillRemovesTheSlot) {
  const uint8_t byte = 9;
  ASSERT_EQ(kv_Save_WriteSlot(3, &byte, 1, "t", 0, ""), 0);
  fs::remove("Saves/savedata0003/vosk.gsv");
  WriteBytes("Saves/savedata0003/vosk.gsv.tmp123_4", {1, 2});  // left by a crashed write
  EXPECT_EQ(kv_Save_EraseSlot(3), 0);
  EXPECT_FALSE(fs::exists("Saves/savedata0003"));
  SaveListEntry entries[4];
  EXPECT_EQ(kv_Save_ListSlots(entries, 4), 0);
}

TEST_F(SaveSlots, ListTakesTheFirst32AndSkipsStrays) {
  for (uint32_t slot = 0; slot < 40; ++slot) {
    const uint8_t byte = static_cast<uint8_t>(slot);
    ASSERT_EQ(kv_Save_WriteSlot(slot, &byte, 1, ("Save " + std::to_string(slot)).c_str(),
                                slot + 256, Ones(static_cast<int>(slot)).c_str()),
              0);
  }
  // Strays: not save folders, or save folders without a valid meta.gsv.
  fs::create_directories("Saves/savedataX");
  fs::create_directories("Saves/savedata00001");
  fs::create_directories("Saves/savedata");
  fs::create_directories("Saves/Other");
  WriteBytes("Saves/savedata0050", std::vector<uint8_t>(132));  // a file, not a folder
  WriteBytes("Saves/savedata0051/meta.gsv", std::vector<uint8_t>(131));
  WriteBytes("Saves/savedata0052/meta.gsv", std::vector<uint8_t>(133));
  fs::create_directories("Saves/savedata0053");
  WriteBytes("Saves/savedata0054/vosk.gsv", {1});

  std::vector<SaveListEntry> entries(64);
  ASSERT_EQ(kv_Save_ListSlots(entries.data(), 32), 32);
  std::set<int> slots;
  for (int i = 0; i < 32; ++i) {
    slots.insert(entries[i].slot);
    EXPECT_LT(entries[i].slot, 40);
  }
  EXPECT_EQ(slots.size(), 32u);

  ASSERT_EQ(kv_Save_ListSlots(entries.data(), 64), 40);
  for (int i = 0; i < 40; ++i) {
    const SaveListEntry& entry = entries[i];
    EXPECT_EQ(std::string(entry.title), "Save " + std::to_string(entry.slot));
    EXPECT_EQ(entry.number, entry.slot);  // 256 + slot keeps its low 8 bits
    EXPECT_EQ(std::string(entry.progress), Ones(entry.slot));
    EXPECT_EQ(std::strlen(entry.date), 14u) << entry.date;  // "%x %H:%M" in the C locale
  }
  EXPECT_EQ(kv_Save_ListSlots(entries.data(), 0), 0);
}

TEST_F(SaveSlots, SlotsOutsideTheRangeAreRefused) {
  const uint8_t byte = 1;
  uint8_t buffer[4];
  uint32_t size = 0;
  for (const uint32_t slot : {0xFFFFFFFFu, 10000u}) {  // Save(-1, ...) and five digits
    EXPECT_EQ(kv_Save_WriteSlot(slot, &byte, 1, "t", 0, ""), 1) << slot;
    EXPECT_EQ(kv_Save_ReadSlot(slot, buffer, sizeof buffer, &size), 1) << slot;
    EXPECT_EQ(kv_Save_EraseSlot(slot), 1) << slot;
  }
  EXPECT_FALSE(fs::exists("Saves"));
  ASSERT_EQ(kv_Save_WriteSlot(9999, &byte, 1, "last", 0, ""), 0);
  SaveListEntry entries[2];
  ASSERT_EQ(kv_Save_ListSlots(entries, 2), 1);
  EXPECT_EQ(entries[0].slot, 9999);
}

// A save killed before its first rename, before its second, or not at all:
// the slot then holds the old game state with the old title or the new one
// with the new title, never a mix; and what the killed save left behind is
// settled by the next list of the saves or the next save of the slot.
TEST_F(SaveSlots, ASaveKilledHalfWayLeavesAMatchingPair) {
  const std::vector<uint8_t> oldState(100, 1), newState(200, 2), newerState(50, 3);
  for (int renames = 0; renames <= 2; ++renames) {
    for (const bool settleByList : {true, false}) {
      SCOPED_TRACE(testing::Message() << renames << " renames, settled by "
                                      << (settleByList ? "the list" : "the next save"));
      fs::remove_all("Saves");
      stdFileUtil_ForgetAllFolders();
      ASSERT_EQ(kv_Save_WriteSlot(7, oldState.data(), 100, "Old", 0, ""), 0);
      const pid_t pid = fork();
      ASSERT_GE(pid, 0);
      if (pid == 0) {
        g_renamesBeforeDeath = renames;
        kv_Save_WriteSlot(7, newState.data(), 200, "New", 0, "");
        _exit(0);
      }
      int status = 0;
      ASSERT_EQ(waitpid(pid, &status, 0), pid);
      stdFileUtil_ForgetAllFolders();

      SaveListEntry entries[2];
      std::vector<uint8_t> loaded(1000);
      uint32_t size = 0;
      if (settleByList) {
        ASSERT_EQ(kv_Save_ListSlots(entries, 2), 1);
        ASSERT_EQ(kv_Save_ReadSlot(7, loaded.data(), 1000, &size), 0);
        loaded.resize(size);
        // Killed before the game state was in place: the old save. After
        // that: the new one, its title put in place by the list.
        const bool isNew = renames > 0;
        EXPECT_EQ(loaded, isNew ? newState : oldState);
        EXPECT_STREQ(entries[0].title, isNew ? "New" : "Old");
      } else {
        ASSERT_EQ(kv_Save_WriteSlot(7, newerState.data(), 50, "Newer", 0, ""), 0);
        ASSERT_EQ(kv_Save_ListSlots(entries, 2), 1);
        EXPECT_STREQ(entries[0].title, "Newer");
        ASSERT_EQ(kv_Save_ReadSlot(7, loaded.data(), 1000, &size), 0);
        EXPECT_EQ(size, 50u);
      }
      std::set<std::string> files;
      for (const auto& entry : fs::directory_iterator("Saves/savedata0007")) {
        files.insert(entry.path().filename().string());
      }
      EXPECT_EQ(files, (std::set<std::string>{"meta.gsv", "vosk.gsv"}));
    }
  }
}

TEST(SaveText, PackFlagStringCases) {
  struct Case {
    std::string progress;
    uint32_t number;
    uint32_t packed;
  } cases[] = {
      {Ones(60), 5, 5u << 24 | 3u << 22 | 0x3FFF00u},  // class 3, bits 21-8
      {Ones(3), 0, 0u << 22 | 0x380000u},              // class 0, bits 21-19
      {Ones(17), 0, 1u << 22},                         // class 1, empty window
      {Ones(31), 0, 1u << 22 | 0x3FFF00u},             // class 1, 14 of 15 set
      {Ones(46), 0, 3u << 22},
      {Ones(0), 0x1FF, 0xFFu << 24},  // number keeps its low 8 bits
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PackFlagString(c.number, c.progress.c_str()), c.packed) << c.progress;
  }
  // A '1' after the class window is lost.
  std::string gap = Ones(5);
  gap[40] = '1';
  char text[128];
  uint32_t number = 0;
  UnpackFlagString(PackFlagString(0, gap.c_str()), &number, text, sizeof text);
  EXPECT_EQ(std::string(text), Ones(5));
  // Short or missing strings: the end counts as unset.
  EXPECT_EQ(PackFlagString(0, "11"), 0x300000u);
  EXPECT_EQ(PackFlagString(0, nullptr), 0u);
}

TEST(SaveText, UnpackRoundTripsAndStaysInItsBuffer) {
  std::mt19937 random(1234);
  for (int k = 0; k <= 60; ++k) {
    char text[128];
    uint32_t number = 0;
    UnpackFlagString(PackFlagString(static_cast<uint32_t>(k), Ones(k).c_str()), &number, text,
                     sizeof text);
    EXPECT_EQ(std::string(text), Ones(k));
    EXPECT_EQ(number, static_cast<uint32_t>(k));
  }
  // Random strings: what survives is the prefix of '1's and the class window.
  for (int round = 0; round < 500; ++round) {
    std::string progress(60, '0');
    for (char& c : progress) c = random() & 1 ? '1' : '0';
    const int length =
        static_cast<int>(progress.find('0') == std::string::npos ? 60 : progress.find('0'));
    const int start = length >= 46 ? 46 : length >= 32 ? 32 : length >= 17 ? 17 : 0;
    const int end = length >= 46 ? 60 : length >= 32 ? 46 : length >= 17 ? 32 : 17;
    std::string expected = progress;
    for (int i = end; i < 60; ++i) expected[i] = '0';
    for (int i = 0; i < start; ++i) ASSERT_EQ(expected[i], '1');
    char text[70];
    UnpackFlagString(PackFlagString(0, progress.c_str()), nullptr, text, sizeof text);
    EXPECT_EQ(std::string(text), expected);
  }
  char small[10];
  std::memset(small, 'z', sizeof small);
  UnpackFlagString(PackFlagString(0, Ones(60).c_str()), nullptr, small, 6);
  EXPECT_STREQ(small, "11111");
  EXPECT_EQ(small[6], 'z');
}

TEST(SaveText, Latin1AndUtf8) {
  char out[16];
  std::memset(out, 'z', sizeof out);
  EXPECT_EQ(Utf8ToLatin1("A\xC3\x84\xE2\x82\xAC"
                         "b\xC3\xBF",
                         out, sizeof out),
            out + 4);
  EXPECT_STREQ(out,
               "A\xC4"
               "b\xFF");  // the euro sign has no Latin-1 form
  std::memset(out, 'z', sizeof out);
  EXPECT_EQ(Utf8ToLatin1("abcdef", out, 4), out + 3);
  EXPECT_STREQ(out, "abc");
  EXPECT_EQ(out[4], 'z');
  EXPECT_EQ(Utf8ToLatin1("\xC3", out, sizeof out), out + 1);  // cut short: taken as it stands
  EXPECT_EQ(Utf8ToLatin1(std::string(40, '\x80').c_str(), out, sizeof out) - out, 0);
  EXPECT_EQ(Utf8ToLatin1("x", out, 0), nullptr);
  EXPECT_EQ(Utf8ToLatin1(nullptr, out, 4), nullptr);

  std::memset(out, 'z', sizeof out);
  EXPECT_EQ(Latin1ToUtf8("a\xC4\x80", out, 5), out + 5);
  EXPECT_EQ(std::string(out, 5), "a\xC3\x84\xC2\x80");
  EXPECT_EQ(Latin1ToUtf8("a\xC4", out, 2), out + 1);  // the two-byte character does not fit
  EXPECT_EQ(Latin1ToUtf8(nullptr, out, 2), nullptr);
}

struct BoxCall {
  std::string text, title;
  std::vector<std::string> labels;
  int answer = 0;
};
BoxCall g_box;

int FakeBox(const char* text, const char* title, int count, const char* const* labels, int) {
  g_box.text = text;
  g_box.title = title;
  g_box.labels.assign(labels, labels + count);
  return g_box.answer;
}

TEST(SaveMessage, OutOfDateAnswers) {
  kv_Save_SetMessageBoxFunction(FakeBox);
  g_box.answer = 1;
  EXPECT_EQ(kv_Save_ShowOutOfDateMessage(), 1);
  EXPECT_EQ(kv_Save_ExitStatusRequested(), 0);
  EXPECT_EQ(g_box.title, "Error");
  EXPECT_EQ(g_box.labels, (std::vector<std::string>{"Exit", "Start new game"}));
  EXPECT_EQ(g_box.text.rfind(
                "The save file is out of date.\nYou can go back to the old build by entering the "
                "beta access code \"plinkerwoods\" in Steam.\nEmail ",
                0),
            0u);
  EXPECT_NE(g_box.text.find(" for additional assistance."), std::string::npos);
  g_box.answer = -1;
  EXPECT_EQ(kv_Save_ShowOutOfDateMessage(), -1);
  EXPECT_EQ(kv_Save_ExitStatusRequested(), 0);
  g_box.answer = 0;
  EXPECT_EQ(kv_Save_ShowOutOfDateMessage(), 0);
  EXPECT_EQ(kv_Save_ExitStatusRequested(), 1);
  kv_Save_SetMessageBoxFunction(nullptr);
}

TEST_F(SaveSlots, WholeFileWrites) {
  const uint8_t data[3] = {1, 2, 3};
  EXPECT_EQ(kv_Platform_WriteFile(nullptr, 3, "Saves/x.bin"), 0);
  EXPECT_EQ(kv_Platform_WriteFile(data, 0, "Saves/x.bin"), 0);
  EXPECT_EQ(kv_Platform_WriteFile(data, 3, nullptr), 0);
  EXPECT_EQ(kv_Platform_WriteFile(data, 3, "Saves\\dir\\"), 0);
  EXPECT_EQ(kv_Platform_WriteFile(data, 3, "Saves/dir/"), 0);
  ASSERT_EQ(kv_Platform_WriteFile(data, 3, "Saves\\a\\b\\c.bin"), 1);
  EXPECT_EQ(ReadBytes("Saves/a/b/c.bin"), std::vector<uint8_t>(data, data + 3));
  // Folders are matched without regard to case; the old file is replaced whole.
  ASSERT_EQ(kv_Platform_WriteFile(data, 2, "SAVES\\A\\b\\c.bin"), 1);
  EXPECT_EQ(ReadBytes("Saves/a/b/c.bin"), std::vector<uint8_t>(data, data + 2));
  EXPECT_EQ(std::distance(fs::directory_iterator("Saves/a/b"), fs::directory_iterator()), 1);
  // A file in the way of a folder fails the write.
  EXPECT_EQ(kv_Platform_WriteFile(data, 3, "Saves/a/b/c.bin/d.bin"), 0);
  EXPECT_EQ(kv_Platform_MakeDirectory("Saves/m/n"), 1);
  EXPECT_EQ(kv_Platform_MakeDirectory("Saves/m/n"), 1);
  EXPECT_TRUE(fs::is_directory("Saves/m/n"));
  EXPECT_EQ(kv_Platform_FileExists("saves/A/B/C.BIN", "r"), 1);
  EXPECT_EQ(kv_Platform_FileExists("Saves/a/b/none.bin", "r"), 0);
  EXPECT_EQ(kv_Platform_FileExists("Saves/a/b", "r"), 0);
}

// The path resolver is a table the program fills. Without it every file
// operation of the platform fails with a log line, and nothing reaches the disk.
TEST_F(SaveSlots, WithoutAResolverFileOperationsFailAndSaySo) {
  kv_Log_ResetForTest();
  ASSERT_EQ(kv_Log_Open("resolver.log"), 1);
  kv_PlatformFile_Calls() = kvPlatformFileCalls{};
  const uint8_t data[3] = {1, 2, 3};
  SaveListEntry entries[4];
  std::string host = "stale";
  EXPECT_EQ(kv_PlatformFile_ResolvePath("Saves/x.bin", &host), 0);
  EXPECT_EQ(host, "");
  EXPECT_EQ(kv_Platform_WriteFile(data, 3, "Saves/x.bin"), 0);
  EXPECT_EQ(kv_Platform_MakeDirectory("Saves/m"), 0);
  EXPECT_EQ(kv_Platform_FileExists("Saves/x.bin", "r"), 0);
  EXPECT_NE(kv_Save_WriteSlot(3, data, 3, "title", 1, Ones(1).c_str()), 0);
  EXPECT_EQ(kv_Save_ListSlots(entries, 4), 0);
  kv_PlatformFile_ResetCalls();
  kv_Log_ResetForTest();
  EXPECT_FALSE(fs::exists("Saves/x.bin"));
  EXPECT_FALSE(fs::exists("Saves/m"));
  EXPECT_FALSE(fs::exists("Saves/savedata0003"));
  std::ifstream in("resolver.log");
  const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(log.find("No path resolver installed: Saves/x.bin cannot be found"), std::string::npos)
      << log;
  // The program's rows are back.
  ASSERT_EQ(kv_Platform_WriteFile(data, 3, "Saves/x.bin"), 1);
  EXPECT_EQ(ReadBytes("Saves/x.bin"), std::vector<uint8_t>(data, data + 3));
}

}  // namespace
