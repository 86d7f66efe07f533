// The chore tool: the dialog operations' answers on Linux, the logic of the
// dialog bodies, the requester folders and the chore-numbering file written
// with every costume file.
#include "actors/drevTool.h"

#include <sys/stat.h>

#include <filesystem>

#include "CostumeTestSupport.h"
#include "platform/kv_Registry.h"

namespace {

using namespace costumetest;

TEST(Tool, OperationsAnswerAsDismissedDialogs) {
  EXPECT_EQ(drevTool_MessageBox("Title", "Text", kToolBoxYesNo), 0);
  EXPECT_EQ(drevTool_OpenFileRequester("Open", "*.*"), 0);
  EXPECT_EQ(drevTool_SaveFileRequester("Save", "*.*"), 0);
  const char* labels[] = {"a", "b"};
  int values[] = {5, -7};
  EXPECT_EQ(drevTool_IntegerListDialog("List", labels, values, 2), 1);
  EXPECT_EQ(values[0], 5);
  EXPECT_EQ(values[1], -7);
  const char* items[] = {"root", "\tchild"};
  int flag = 1;
  EXPECT_EQ(drevTool_TreePickerDialog("Pick", items, 2, &flag), -1);
  char buffer[8] = "keep";
  EXPECT_EQ(drevTool_InputDialog("Name", "Prompt", buffer, sizeof buffer, "other"), 1);
  EXPECT_STREQ(buffer, "keep");
  drevTool_SetRequesterFolder(std::string(300, 'x').c_str());
  EXPECT_EQ(std::strlen(drevTool_GetRequesterFolder()), 259u);
}

TEST(Tool, TreeLevelsFromTabsAndTheAnswer) {
  const char* items[] = {"root",    "\tspine",    "\t\thead", "\t\t\tjaw",
                         "\tl_leg", "\t\tl_foot", "other",    "\t\t\tdeep"};
  int parents[8];
  drevTool_TreeParents(items, 8, parents);
  const int expected[8] = {-1, 0, 1, 2, 0, 4, -1, 6};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(parents[i], expected[i]) << items[i];
  EXPECT_STREQ(drevTool_TreeShownText(items[3]), "jaw");
  // The first item whose text contains the selected one's shown text.
  const char* clash[] = {"hand", "\tl_hand", "\t\thand"};
  EXPECT_EQ(drevTool_TreeAnswer(clash, 3, 2), 0);
  EXPECT_EQ(drevTool_TreeAnswer(clash, 3, 1), 1);
  EXPECT_EQ(drevTool_TreeAnswer(clash, 3, 5), -1);
}

TEST(Tool, IntegerEditsAndTextInput) {
  char text[16];
  drevTool_FormatInteger(-12, text, sizeof text);
  EXPECT_STREQ(text, "-12");
  const char* edits[] = {"12", "-5", "x3", "  7", "", "99999999999"};
  int values[6];
  drevTool_ReadIntegers(edits, values, 6);
  const int expected[6] = {12, -5, 0, 7, 0, 0};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(values[i], expected[i]) << edits[i];
  EXPECT_EQ(drevTool_InputLimit(32), 31);
  EXPECT_EQ(drevTool_InputLimit(1), 0);
  char buffer[4];
  drevTool_CopyInputText(buffer, sizeof buffer, "hello");
  EXPECT_STREQ(buffer, "hel");
}

TEST(Tool, DialogTemplates) {
  uint8_t out[64];
  size_t size = 0;
  // 18 bytes of fields, "" and "Hi" as UTF-16: 26 bytes written, 28 taken.
  std::memset(out, 0xEE, sizeof out);
  EXPECT_EQ(drevTool_BuildDialogHeader(0x80C80000u, 3, 10, 20, 200, 100, nullptr, "Hi", out,
                                       sizeof out, &size),
            26u);
  EXPECT_EQ(size, 28u);
  const uint8_t header[26] = {0x00, 0x00, 0xC8, 0x80, 0, 0, 0, 0,   3, 0,   10, 0, 20,
                              0,    200,  0,    100,  0, 0, 0, 'H', 0, 'i', 0,  0, 0};
  EXPECT_EQ(std::memcmp(out, header, 26), 0);
  EXPECT_EQ(out[26], 0);  // the rest of the size is zeroed
  EXPECT_EQ(out[27], 0);

  EXPECT_EQ(drevTool_BuildDialogItem(0x50000000u, 1, 2, 3, 4, 1000, "A", nullptr, 0, out,
                                     sizeof out, &size),
            24u);
  EXPECT_EQ(size, 28u);
  EXPECT_EQ(out[3], 0x50);
  EXPECT_EQ(out[0], 0x00);  // no second text: no 0x40
  EXPECT_EQ(out[16] | out[17] << 8, 1000);
  EXPECT_EQ(
      drevTool_BuildDialogItem(0x50000000u, 1, 2, 3, 4, 1001, "A", "B", 7, out, sizeof out, &size),
      30u);
  EXPECT_EQ(size, 32u);
  EXPECT_EQ(out[0], 0x40);
  EXPECT_EQ(out[24] | out[25] << 8, 7);
  EXPECT_EQ(out[26], 'B');
  // Too small a buffer: nothing written, the size still reported.
  EXPECT_EQ(drevTool_BuildDialogItem(0, 0, 0, 0, 0, 1, "A", "B", 7, out, 16, &size), 0u);
  EXPECT_EQ(size, 32u);
}

class ChoreList : public CostumeTest {
 protected:
  CosCostume* Guard(const std::vector<Chore>& chores) {
    const CosCostumeHandle c = Load("guard.cos", {{MMDL, -1, "head.3do"}}, chores);
    return c ? Record(c) : nullptr;
  }
};

TEST_F(ChoreList, WrittenBesideItsCostume) {
  CosCostume* costume = Guard({{"walk", 100, {}}, {"rest", 100, {}}});
  ASSERT_NE(costume, nullptr);
  ASSERT_EQ(CosUtil_Write("guard.cos", costume, "first pass"), 1);
  EXPECT_EQ(GetFile("guard.lua"),
            "-- Chore numbering for guard.cos.\n-- first pass\n\n"
            "guard_walk\t\t=\t0\nguard_rest\t\t=\t1\n");
  // The costume reads back.
  EXPECT_NE(GetFile("guard.cos").find("section chores"), std::string::npos);
}

TEST_F(ChoreList, AnotherNameFailsBeforeTheFileIsTouched) {
  CosCostume* costume = Guard({{"walk", 100, {}}});
  ASSERT_NE(costume, nullptr);
  EXPECT_EQ(CosUtil_Write("other.cos", costume, "x"), 0);
  EXPECT_FALSE(std::filesystem::exists("other.cos"));
  EXPECT_FALSE(std::filesystem::exists("other.lua"));
}

TEST_F(ChoreList, NoChoresAndNoExtension) {
  ASSERT_NE(Load("plain", {{MMDL, -1, "head.3do"}}), 0);
  CosCostume* costume = Record(
      static_cast<CosCostumeHandle>(reinterpret_cast<intptr_t>(drevResource_Get("COST", "plain"))));
  ASSERT_EQ(CosUtil_Write("plain", costume, "empty"), 1);
  EXPECT_EQ(GetFile("plain.lua"), "-- Chore numbering for plain.\n-- empty\n\n");
}

TEST_F(ChoreList, UnwritableListFailsTheCostumeWrite) {
  CosCostume* costume = Guard({{"walk", 100, {}}});
  ASSERT_NE(costume, nullptr);
  std::filesystem::create_directory("guard.lua");  // cannot be opened for writing
  const std::string before = GetFile("guard.cos");
  EXPECT_EQ(CosUtil_Write("guard.cos", costume, "x"), 0);
  EXPECT_EQ(GetFile("guard.cos"), before);
}

TEST_F(CostumeTest, EmptyRequesterFolderIsFilledAndStored) {
  ASSERT_EQ(kv_Registry_WriteString("VoskDataDir", "/games/vosk"), 0);
  char folder[kRequesterFolderSize] = "stale";
  drevCostume_LoadRequesterFolder("Models", folder, "TestModelPath");
  EXPECT_STREQ(folder, "/games/vosk/Models");
  drevCostume_StoreRequesterFolder(folder, "TestModelPath");
  char stored[kRequesterFolderSize] = "";
  ASSERT_EQ(kv_Registry_ReadString("Requesters\\TestModelPath", stored, sizeof stored), 1);
  EXPECT_STREQ(stored, "/games/vosk/Models");
  // A folder of its own is kept.
  ASSERT_EQ(kv_Registry_WriteString("Requesters\\TestModelPath", "/mine"), 0);
  drevCostume_LoadRequesterFolder("Models", folder, "TestModelPath");
  EXPECT_STREQ(folder, "/mine");
  // An empty folder is not written.
  folder[0] = '\0';
  drevCostume_StoreRequesterFolder(folder, "TestModelPath");
  ASSERT_EQ(kv_Registry_ReadString("Requesters\\TestModelPath", stored, sizeof stored), 1);
  EXPECT_STREQ(stored, "/mine");
}

}  // namespace
