#include "platform/kv_Registry.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "platform/kv_Log.h"
#include "platform/kv_Save.h"
#include "std/std.h"
#include "std/stdFileUtil.h"

namespace fs = std::filesystem;

namespace {

constexpr char kFile[] = "Saves/registry.sav";

std::vector<uint8_t> ReadBytes(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const char* path, const std::vector<uint8_t>& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

uint32_t Adler(const char* name) {
  return static_cast<uint32_t>(
      adler32(1, reinterpret_cast<const Bytef*>(name), static_cast<uInt>(std::strlen(name))));
}

// An independent writer of registry.sav: every field put byte by byte at its
// offset, without the registry's own code.
struct HandMadeRegistry {
  std::vector<uint8_t> bytes = std::vector<uint8_t>(17180, 0);
  void U32(size_t offset, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(v >> (8 * i));
  }
  HandMadeRegistry& Version(uint32_t v) { return U32(0, v), *this; }
  HandMadeRegistry& Number(int index, const char* name, uint32_t bits) {
    const size_t at = 4 + 268 * static_cast<size_t>(index);
    U32(at, Adler(name));
    U32(at + 4, 3);
    U32(at + 8, bits);
    return *this;
  }
  HandMadeRegistry& Text(int index, const char* name, const std::string& text) {
    const size_t at = 4 + 268 * static_cast<size_t>(index);
    U32(at, Adler(name));
    U32(at + 4, 1);
    std::memcpy(&bytes[at + 8], text.data(), std::min<size_t>(text.size(), 260));
    return *this;
  }
  HandMadeRegistry& Cutscenes(uint32_t w0, uint32_t w1) {
    return U32(17156, w0), U32(17160, w1), *this;
  }
  HandMadeRegistry& Concepts(uint32_t w0, uint32_t w3) {
    return U32(17164, w0), U32(17176, w3), *this;
  }
};

class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    HostServices_CopyDefaults(&hs_);
    std_DefaultServices(&hs_);
    std_Startup(&hs_);
    fs::remove_all("Saves");
    stdFileUtil_ForgetAllFolders();
    kv_Registry_ResetForTest();
  }
  HostServices hs_;
};

TEST_F(Registry, LoadsAFileMadeFieldByFieldAndWritesTheSameBytes) {
  uint32_t sfxBits;
  const float sfx = 64.5f;
  std::memcpy(&sfxBits, &sfx, 4);
  HandMadeRegistry file;
  file.Version(2)
      .Number(0, "Fullscreen", 1)
      .Text(5, "VoskDataDir", "C:\\vosk\\data")
      .Number(63, "SfxVolume", sfxBits)
      .Number(7, "Remap3", static_cast<uint32_t>(-42))
      .Cutscenes(0x80000001u, 0x2u)
      .Concepts(0x10u, 0x80000000u);
  WriteBytes(kFile, file.bytes);

  kv_Registry_Load();
  EXPECT_EQ(kv_Registry_IsDirty(), 0);
  EXPECT_EQ(kv_Registry_ReadInt("Fullscreen", 7), 1);
  EXPECT_EQ(kv_Registry_ReadInt("Remap3", 0), -42);
  EXPECT_FLOAT_EQ(kv_Registry_ReadFloat("SfxVolume", 127.0f), 64.5f);
  char text[64] = "untouched";
  ASSERT_EQ(kv_Registry_ReadString("VoskDataDir", text, sizeof text), 1);
  EXPECT_STREQ(text, "C:\\vosk\\data");
  EXPECT_EQ(kv_Registry_GetType("VoskDataDir"), kRegistryTypeString);
  EXPECT_EQ(kv_Registry_GetType("Widescreen"), kRegistryTypeFree);
  EXPECT_FLOAT_EQ(kv_Registry_ReadFloat("VoiceVolume", 127.0f), 127.0f);
  int index = -2;
  uint32_t hash = 0;
  EXPECT_EQ(kv_Registry_Find("SfxVolume", &index, &hash), 1);
  EXPECT_EQ(index, 63);
  EXPECT_EQ(hash, Adler("SfxVolume"));
  EXPECT_EQ(kv_Registry_Find("Widescreen", &index, &hash), 0);
  EXPECT_EQ(index, 1);  // the first free entry
  for (int bit : {0, 31, 33}) EXPECT_EQ(kv_Registry_IsCutsceneUnlocked(bit), 1) << bit;
  for (int bit : {1, 32, 63}) EXPECT_EQ(kv_Registry_IsCutsceneUnlocked(bit), 0) << bit;
  EXPECT_EQ(kv_Registry_IsConceptUnlocked(4), 1);
  EXPECT_EQ(kv_Registry_IsConceptUnlocked(127), 1);
  EXPECT_EQ(kv_Registry_IsConceptUnlocked(126), 0);

  fs::remove(kFile);
  ASSERT_EQ(kv_Registry_Save(), 0);
  EXPECT_EQ(ReadBytes(kFile), file.bytes);
}

TEST_F(Registry, RoundTripOfEveryType) {
  const std::string longText(300, 'x');
  ASSERT_EQ(kv_Registry_WriteInt("LastSavedGame", 12), 1);
  ASSERT_EQ(kv_Registry_WriteFloat("ResolutionX", 1.0f), 1);
  ASSERT_EQ(kv_Registry_WriteFloat("VoiceVolume", -3.25f), 1);
  ASSERT_EQ(kv_Registry_WriteString("StartTolve", "FALSE"), 0);
  ASSERT_EQ(kv_Registry_WriteString("VoskDataDir", longText.c_str()), 0);
  for (int bit = 0; bit < 64; bit += 3) kv_Registry_UnlockCutscene(bit);
  for (int bit = 1; bit < 128; bit += 5) kv_Registry_UnlockConcept(bit);
  EXPECT_EQ(kv_Registry_IsDirty(), 1);
  ASSERT_EQ(kv_Registry_Save(), 0);
  EXPECT_EQ(kv_Registry_IsDirty(), 0);
  EXPECT_EQ(fs::file_size(kFile), 17180u);

  kv_Registry_ResetForTest();
  kv_Registry_Load();
  EXPECT_EQ(kv_Registry_ReadInt("LastSavedGame", 0), 12);
  for (int bit = 0; bit < 64; ++bit) EXPECT_EQ(kv_Registry_IsCutsceneUnlocked(bit), bit % 3 == 0);
  for (int bit = 0; bit < 128; ++bit) EXPECT_EQ(kv_Registry_IsConceptUnlocked(bit), bit % 5 == 1);
  EXPECT_EQ(kv_Registry_ReadInt("ResolutionX", 0), 1065353216);  // the float's bits
  EXPECT_FLOAT_EQ(kv_Registry_ReadFloat("ResolutionX", 0.0f), 1.0f);
  EXPECT_FLOAT_EQ(kv_Registry_ReadFloat("VoiceVolume", 0.0f), -3.25f);
  char text[400];
  ASSERT_EQ(kv_Registry_ReadString("VoskDataDir", text, sizeof text), 1);
  EXPECT_EQ(std::string(text), longText.substr(0, 259));
  ASSERT_EQ(kv_Registry_ReadString("StartTolve", text, 4), 1);
  EXPECT_STREQ(text, "FAL");  // cut to size - 1

  // A number is not a string; a number read gives an entry's stored 32 bits
  // whatever its type: a string's first four characters, a float's bits.
  std::strcpy(text, "keep");
  EXPECT_EQ(kv_Registry_ReadString("LastSavedGame", text, sizeof text), 0);
  EXPECT_STREQ(text, "keep");
  EXPECT_EQ(kv_Registry_ReadInt("StartTolve", -1), 0x534C4146);  // "FALS"
  uint32_t bits = 0x534C4146;
  float asFloat;
  std::memcpy(&asFloat, &bits, sizeof asFloat);
  EXPECT_EQ(kv_Registry_ReadFloat("StartTolve", -1.0f), asFloat);
  bits = 12;
  std::memcpy(&asFloat, &bits, sizeof asFloat);
  EXPECT_EQ(kv_Registry_ReadFloat("LastSavedGame", -1.0f), asFloat);
  EXPECT_EQ(kv_Registry_ReadInt("NoSuchSetting", -7), -7);
}

TEST_F(Registry, SavedFileIsAlways17180Bytes) {
  ASSERT_EQ(kv_Registry_Save(), 0);
  EXPECT_EQ(fs::file_size(kFile), 17180u);
  for (int i = 0; i < kRegistryEntryCount; ++i) {
    kv_Registry_WriteString(("Name" + std::to_string(i)).c_str(), std::string(259, 'v').c_str());
  }
  ASSERT_EQ(kv_Registry_Save(), 0);
  EXPECT_EQ(fs::file_size(kFile), 17180u);
  EXPECT_EQ(kv_Registry_GetFileSize(), 17180);
  int offset, size;
  kv_Registry_GetCutsceneSetLayout(&offset, &size);
  EXPECT_EQ(offset, 17156);
  EXPECT_EQ(size, 8);
  kv_Registry_GetConceptSetLayout(&offset, &size);
  EXPECT_EQ(offset, 17164);
  EXPECT_EQ(size, 16);
  // No temporary file stays beside it.
  int files = 0;
  for (const auto& entry : fs::directory_iterator("Saves")) files += entry.is_regular_file();
  EXPECT_EQ(files, 1);
}

TEST_F(Registry, SixtyFifthNameIsRefusedWhileRewritingWorks) {
  for (int i = 0; i < kRegistryEntryCount; ++i) {
    ASSERT_EQ(kv_Registry_WriteInt(("Setting" + std::to_string(i)).c_str(), i), 1) << i;
  }
  EXPECT_EQ(kv_Registry_WriteString("OneTooMany", "x"), -1);
  EXPECT_EQ(kv_Registry_WriteInt("OneTooMany", 1), 0);
  EXPECT_EQ(kv_Registry_WriteFloat("OneTooMany", 1.0f), 0);
  EXPECT_EQ(kv_Registry_GetType("OneTooMany"), 0u);
  int index = 0;
  EXPECT_EQ(kv_Registry_Find("OneTooMany", &index, nullptr), 0);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(kv_Registry_WriteInt("Setting17", 1700), 1);
  EXPECT_EQ(kv_Registry_WriteString("Setting18", "now text"), 0);
  EXPECT_EQ(kv_Registry_ReadInt("Setting17", 0), 1700);
  EXPECT_EQ(kv_Registry_GetType("Setting18"), kRegistryTypeString);
}

TEST_F(Registry, OlderFileForcesWindowedAndIsDirty) {
  HandMadeRegistry file;
  file.Version(1).Number(0, "Fullscreen", 0).Number(1, "Widescreen", 2);
  WriteBytes(kFile, file.bytes);
  kv_Registry_Load();
  EXPECT_EQ(kv_Registry_ReadInt("Fullscreen", 0), 1);
  EXPECT_EQ(kv_Registry_ReadInt("Widescreen", 0), 2);
  EXPECT_EQ(kv_Registry_IsDirty(), 1);

  // Only the first byte of the version word is looked at.
  file.Version(0x0102);
  WriteBytes(kFile, file.bytes);
  kv_Registry_Load();
  EXPECT_EQ(kv_Registry_ReadInt("Fullscreen", 5), 0);
  EXPECT_EQ(kv_Registry_IsDirty(), 0);
}

TEST_F(Registry, ShortEmptyAndMissingFiles) {
  kv_Registry_UnlockCutscene(9);
  kv_Registry_WriteInt("Widescreen", 2);
  fs::create_directories("Saves");
  WriteBytes(kFile, {});
  kv_Registry_Load();  // empty: no entries, unlock sets kept
  EXPECT_EQ(kv_Registry_GetType("Widescreen"), 0u);
  EXPECT_EQ(kv_Registry_IsCutsceneUnlocked(9), 1);
  EXPECT_EQ(kv_Registry_IsDirty(), 0);

  HandMadeRegistry file;
  file.Version(2).Number(0, "Fullscreen", 1).Number(3, "Widescreen", 2).Cutscenes(0, 0);
  file.bytes.resize(4 + 268 + 100);  // entry 0 whole, the rest missing
  WriteBytes(kFile, file.bytes);
  kv_Registry_Load();
  EXPECT_EQ(kv_Registry_ReadInt("Fullscreen", 0), 1);
  EXPECT_EQ(kv_Registry_GetType("Widescreen"), 0u);
  EXPECT_EQ(kv_Registry_IsCutsceneUnlocked(9), 0);  // the file's (missing) words: zero

  fs::remove(kFile);
  kv_Registry_UnlockConcept(3);
  kv_Registry_Load();
  EXPECT_EQ(kv_Registry_ReadInt("Fullscreen", 0), 0);
  EXPECT_EQ(kv_Registry_IsConceptUnlocked(3), 1);
}

TEST_F(Registry, StoredStringWithoutTerminatorIsBounded) {
  HandMadeRegistry file;
  file.Version(2).Text(0, "VoskDataDir", std::string(260, 'A')).Number(1, "Fullscreen", 1);
  WriteBytes(kFile, file.bytes);
  kv_Registry_Load();
  char text[600];
  std::memset(text, 'z', sizeof text);
  ASSERT_EQ(kv_Registry_ReadString("VoskDataDir", text, sizeof text), 1);
  EXPECT_EQ(std::string(text), std::string(259, 'A'));
}

TEST_F(Registry, UnlockBits) {
  kv_Registry_UnlockConcept(127);
  kv_Registry_UnlockConcept(128);
  kv_Registry_UnlockConcept(-1);
  kv_Registry_UnlockCutscene(63);
  kv_Registry_UnlockCutscene(64);
  EXPECT_EQ(kv_Registry_IsDirty(), 0);
  EXPECT_EQ(kv_Registry_IsConceptUnlocked(128), 0);
  EXPECT_EQ(kv_Registry_IsCutsceneUnlocked(-5), 0);
  std::vector<uint8_t> bytes(17180);
  kv_Registry_Encode(bytes.data());
  const std::vector<uint8_t> expected = {0, 0, 0, 0x80};
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 17176, bytes.end()), expected);  // concept word 3
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 17160, bytes.begin() + 17164), expected);
  for (size_t i = 17164; i < 17176; ++i) EXPECT_EQ(bytes[i], 0) << i;
}

TEST_F(Registry, ProgramSettingNamesDoNotCollide) {
  std::vector<std::string> names = {"Fullscreen",    "ResolutionX",   "ResolutionY",
                                    "Widescreen",    "RenderingMode", "ClassicLighting",
                                    "VoiceVolume",   "SfxVolume",     "DirectorsCommentary",
                                    "LastSavedGame", "StartTolve",    "VoskDataDir"};
  for (int i = 0; i <= 12; ++i) names.push_back("Remap" + std::to_string(i));
  // The front end's hidden developer setting and the chore tool's folders.
  names.push_back("VqDeveloper");
  names.push_back("Requesters\\ModelPath");
  std::map<uint32_t, std::string> seen;
  for (const std::string& name : names) {
    const auto [it, fresh] = seen.emplace(Adler(name.c_str()), name);
    EXPECT_TRUE(fresh) << name << " collides with " << it->second;
  }
}

TEST_F(Registry, WriteOverAnEntryOfAnotherTypeIsLogged) {
  kv_Log_ResetForTest();
  ASSERT_EQ(kv_Log_Open("registry_test.log"), 1);
  kv_Registry_WriteInt("ScriptSetting", 4);
  kv_Registry_WriteInt("ScriptSetting", 5);  // same type: nothing to report
  kv_Registry_WriteString("ScriptSetting", "text");
  kv_Log_ResetForTest();
  std::ifstream in("registry_test.log");
  const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(log.find("[Registry] 'ScriptSetting'"), log.rfind("[Registry] 'ScriptSetting'"));
  EXPECT_NE(log.find("[Registry] 'ScriptSetting'"), std::string::npos) << log;
  EXPECT_NE(log.find("type 3 with type 1"), std::string::npos) << log;
}

// A settings file or a save folder that is there but cannot be read is
// logged when that starts, not passed over (and not on every read).
TEST_F(Registry, UnreadableSettingsFileAndSaveFolderAreLoggedOnce) {
  kv_Log_ResetForTest();
  ASSERT_EQ(kv_Log_Open("unreadable.log"), 1);
  kv_Registry_Load();             // no file yet: nothing to report
  fs::create_directories(kFile);  // a folder where the file should be
  kv_Registry_Load();
  kv_Registry_Load();
  SaveListEntry entries[4];
  EXPECT_EQ(kv_Save_ListSlots(entries, 4), 0);  // fine so far: no slot
  fs::remove_all("Saves");
  std::ofstream("Saves") << "a file where the folder should be";
  EXPECT_EQ(kv_Save_ListSlots(entries, 4), 0);
  EXPECT_EQ(kv_Save_ListSlots(entries, 4), 0);
  kv_Registry_WriteInt("Fullscreen", 1);
  EXPECT_NE(kv_Registry_Save(), 0);
  kv_Log_ResetForTest();
  fs::remove("Saves");
  std::ifstream in("unreadable.log");
  const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto count = [&](const std::string& text) {
    size_t n = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("cannot read the settings file"), 1u) << log;
  EXPECT_EQ(count("cannot read the save folder"), 1u) << log;
  EXPECT_NE(log.find("Unable to"), std::string::npos) << log;  // the write, too
}

TEST_F(Registry, FailedSaveKeepsTheDirtyFlag) {
  std::ofstream("Saves") << "a file where the folder should be";
  kv_Registry_WriteInt("Fullscreen", 1);
  EXPECT_NE(kv_Registry_Save(), 0);
  EXPECT_EQ(kv_Registry_IsDirty(), 1);
  fs::remove("Saves");
}

TEST_F(Registry, SavesFromTwoThreadsNeverTearTheFile) {
  kv_Registry_WriteString("VoskDataDir", "data");
  std::thread saver([] {
    for (int i = 0; i < 20; ++i) {
      kv_Registry_WriteInt("LastSavedGame", i);
      EXPECT_EQ(kv_Registry_Save(), 0);
    }
  });
  for (int i = 0; i < 20; ++i) {
    kv_Registry_WriteFloat("VoiceVolume", static_cast<float>(i));
    EXPECT_EQ(kv_Registry_Save(), 0);
    char text[8];
    EXPECT_EQ(kv_Registry_ReadString("VoskDataDir", text, sizeof text), 1);
  }
  saver.join();
  kv_Registry_ResetForTest();
  kv_Registry_Load();
  EXPECT_EQ(kv_Registry_ReadInt("LastSavedGame", -1), 19);
  EXPECT_FLOAT_EQ(kv_Registry_ReadFloat("VoiceVolume", -1.0f), 19.0f);
  EXPECT_EQ(fs::file_size(kFile), 17180u);
}

}  // namespace
