// Costume and instance save and restore through an in-memory transfer
// function.
#include <algorithm>

#include "chore_test_host.h"

namespace chore_test {
namespace {

class SaveTest : public ChoreTest {
 protected:
  // Three costumes from files in slots 0, 1 and 2.
  void LoadThree() {
    g_files["a.cos"] = kSampleCostume;
    g_files["b.cos"] = kSampleCostume;
    g_files["c.cos"] = kSampleCostume;
    ASSERT_EQ(Cos_Load("a.cos"), 1);
    ASSERT_EQ(Cos_Load("b.cos"), 2);
    ASSERT_EQ(Cos_Load("c.cos"), 3);
  }
  std::vector<uint8_t> Block(uint32_t slots, std::vector<std::pair<uint32_t, std::string>> entries,
                             uint32_t instances) {
    std::vector<uint8_t> out;
    PutU32(&out, slots);
    PutU32(&out, uint32_t(entries.size()));
    for (const auto& [handle, name] : entries) {
      PutU32(&out, handle);
      char field[32] = {};
      memcpy(field, name.data(), std::min<size_t>(name.size(), 32));
      out.insert(out.end(), field, field + 32);
    }
    PutU32(&out, instances);
    return out;
  }
  int Restore(const std::vector<uint8_t>& block) {
    g_save = block;
    g_savePos = 0;
    const int result = Cos_Restore(&SaveRead);
    EXPECT_EQ(g_savePos, block.size()) << "the block is read to its end";
    return result;
  }
};

TEST_F(SaveTest, SavesLiveSlotsAndRestoresThemUnderTheirHandles) {
  LoadThree();
  Cos_Free(2);
  // Dirty the bytes after the terminator of a name: the save must not carry them.
  CosCostume* c = CosUtil_PtrFromHandle(3);
  memset(c->name + 6, 'Z', 25);
  const CosInstHandle inst = Cos_CreateCosInstance(1, 0);
  ASSERT_NE(inst, 0);
  g_save.clear();
  ASSERT_EQ(Cos_Save(&SaveWrite), 0);
  EXPECT_EQ(g_save, Block(32, {{1, "a.cos"}, {3, "c.cos"}}, 32));

  g_events.clear();
  g_opened.clear();
  EXPECT_EQ(Restore(g_save), 0);
  EXPECT_NE(Cos_GetCostumeName(1), nullptr);
  EXPECT_EQ(Cos_GetCostumeName(2), nullptr);
  EXPECT_STREQ(Cos_GetCostumeName(3)->name, "c.cos");
  EXPECT_EQ(g_opened, (std::vector<std::string>{"r a.cos", "r c.cos"}));
  // The old costumes went through Cos_Free (instance data destroyed first).
  EXPECT_EQ(g_events.front(), "data i1 k0 m0");
  EXPECT_EQ(Cos_InstGetUserData(inst), 0);
  EXPECT_EQ(Cos_InstCountComponents(inst), 0) << "no instance survives a restore";
  EXPECT_EQ(Cos_CreateCosInstance(3, 0), 1);
}

TEST_F(SaveTest, TheFilterDropsCostumes) {
  LoadThree();
  Cos_RegisterSaveVerify(
      [](CosCostume* costume) { return strcmp(costume->name, "b.cos") ? 1 : 0; });
  g_save.clear();
  ASSERT_EQ(Cos_Save(&SaveWrite), 0);
  EXPECT_EQ(g_save, Block(32, {{1, "a.cos"}, {3, "c.cos"}}, 32));
  EXPECT_EQ(Restore(g_save), 0);
  EXPECT_EQ(Cos_GetCostumeName(2), nullptr);
}

TEST_F(SaveTest, RestoreResizesTheTables) {
  g_files["a.cos"] = kSampleCostume;
  EXPECT_EQ(Restore(Block(48, {{45, "a.cos"}}, 40)), 0);
  EXPECT_STREQ(Cos_GetCostumeName(45)->name, "a.cos");
  EXPECT_EQ(Cos_New(), 1);
  // 40 free instance slots: the forty-first instance grows the table to 48.
  for (int i = 1; i <= 41; ++i) EXPECT_EQ(Cos_CreateCosInstance(1, 0), i);
  // A smaller instance count shrinks the count of slots in use.
  EXPECT_EQ(Restore(Block(32, {}, 16)), 0);
  for (int i = 1; i <= 17; ++i) EXPECT_EQ(Cos_CreateCosInstance(Cos_New(), 0), i);
}

TEST_F(SaveTest, DamagedBlocksAreRefusedAndMissingCostumesLeftOut) {
  g_files["a.cos"] = kSampleCostume;
  g_files["b.cos"] = kSampleCostume;
  struct Case {
    const char* what;
    std::vector<uint8_t> block;
    int result;
    bool twoLive;
  } cases[] = {
      // A costume that no longer loads is no damage: the rest loads.
      {"costume file gone", Block(32, {{1, "gone.cos"}, {2, "a.cos"}}, 32), 0, true},
      {"handle beyond the slot count", Block(32, {{33, "a.cos"}, {2, "b.cos"}}, 32), 1, true},
      {"handle 0", Block(32, {{0, "a.cos"}}, 32), 1, false},
      {"handle saved twice", Block(32, {{2, "a.cos"}, {2, "b.cos"}}, 32), 1, true},
      {"name without a terminator", Block(32, {{2, std::string(32, 'a')}}, 32), 1, false},
  };
  g_log.clear();
  EXPECT_EQ(Restore(Block(32, {{1, "gone.cos"}}, 32)), 0);
  EXPECT_EQ(std::count_if(
                g_log.begin(), g_log.end(),
                [](const std::string& line) { return line.find("gone.cos") != std::string::npos; }),
            1)
      << "one line names the costume that did not load";
  for (const Case& c : cases) {
    EXPECT_EQ(Restore(c.block), c.result) << c.what;
    EXPECT_EQ(Cos_GetCostumeName(2) != nullptr, c.twoLive) << c.what;
    EXPECT_EQ(Cos_GetCostumeName(1), nullptr) << c.what << ": a failed reload leaves the slot free";
  }
  // Counts that no save makes: refused before any table grows.
  for (const auto& block : {Block(5000, {}, 32), Block(32, {}, 5000)}) {
    g_save = block;
    g_savePos = 0;
    EXPECT_EQ(Cos_Restore(&SaveRead), 1);
  }
  // More entries than slots: every entry is still read, the good ones load.
  std::vector<uint8_t> tooMany = Block(2, {{1, "a.cos"}, {2, "b.cos"}, {3, "a.cos"}}, 32);
  EXPECT_EQ(Restore(tooMany), 1);
  EXPECT_NE(Cos_GetCostumeName(1), nullptr);
  EXPECT_NE(Cos_GetCostumeName(2), nullptr);
  tooMany.resize(8);
  g_save = tooMany;
  g_savePos = 0;
  EXPECT_EQ(Cos_Restore(&SaveRead), 1) << "entries missing";
  // A block cut short.
  const std::vector<uint8_t> whole = Block(32, {{1, "a.cos"}}, 32);
  for (size_t cut : {size_t(0), size_t(6), size_t(20), whole.size() - 1}) {
    g_save.assign(whole.begin(), whole.begin() + long(cut));
    g_savePos = 0;
    EXPECT_EQ(Cos_Restore(&SaveRead), 1) << cut;
  }
}

TEST_F(SaveTest, InstanceDataRoundTrip) {
  const CosCostumeHandle h = Cos_New();
  CosCostume* costume = CosUtil_PtrFromHandle(h);
  ASSERT_EQ(Cos_RegisterComponent(h, "s0", 11, kSaver, 0, 0, nullptr), 1);
  ASSERT_EQ(Cos_RegisterComponent(h, "walk", 12, kKeyf, 0, 0, nullptr), 1);
  ASSERT_EQ(Cos_RegisterComponent(h, "s1", 13, kSaver, 0, 0, nullptr), 1);
  for (int c = 0; c < 3; ++c) CosUtil_AddChore(costume);
  CosUtil_SetChoreLength(costume, 1, 500);
  const CosInstHandle inst = Cos_CreateCosInstance(h, 0);
  g_saved[{inst, 0}] = 0xAABBCCDD;
  g_saved[{inst, 2}] = 0x11223344;
  Cos_InstPlayChore(inst, 1, 1, 0);
  Cos_InstUpdateChores(inst, 120);
  g_save.clear();
  g_events.clear();
  ASSERT_EQ(Cos_SaveInstance(inst, &SaveWrite), 0);
  EXPECT_EQ(g_events, (std::vector<std::string>{"savedata i1 k0 m1", "savedata i1 k2 m1"}));
  ASSERT_EQ(g_save.size(), 8u + 36u);
  EXPECT_EQ(GetU32(g_save, 0), 0xAABBCCDDu);
  EXPECT_EQ(GetU32(g_save, 8 + 12), 7u) << "flags of chore 1";
  EXPECT_EQ(GetU32(g_save, 8 + 16), 1u);
  EXPECT_EQ(GetU32(g_save, 8 + 20), 120u);

  const CosInstHandle fresh = Cos_CreateCosInstance(h, 0);
  g_savePos = 0;
  g_events.clear();
  ASSERT_EQ(Cos_RestoreInstance(fresh, &SaveRead), 0);
  EXPECT_EQ(g_savePos, g_save.size());
  EXPECT_EQ(g_events, (std::vector<std::string>{"savedata i2 k0 m0", "savedata i2 k2 m0"}));
  EXPECT_EQ((g_saved[{fresh, 0}]), 0xAABBCCDDu);
  EXPECT_EQ(Cos_InstChoreStatus(fresh, 1), 7);
  EXPECT_EQ(Cos_InstChoreStatus(fresh, 0), 0);

  // Saved words that make no sense for the chore are not taken as they are.
  std::vector<uint8_t> damaged = g_save;
  damaged[8 + 12] = 0xFF;  // flags with unknown bits
  damaged[8 + 20] = 0xFF;  // elapsed 0x...FF: beyond the length
  damaged[8 + 21] = 0xFF;
  g_save = damaged;
  g_savePos = 0;
  ASSERT_EQ(Cos_RestoreInstance(fresh, &SaveRead), 0);
  EXPECT_EQ(Cos_InstChoreStatus(fresh, 1), 7);
  g_events.clear();
  Cos_InstUpdateChores(fresh, 10);
  EXPECT_EQ(Cos_InstChoreStatus(fresh, 1), 7);

  EXPECT_EQ(Cos_SaveInstance(99, &SaveWrite), 1);
  EXPECT_EQ(Cos_RestoreInstance(0, &SaveRead), 1);
  g_save.resize(10);
  g_savePos = 0;
  EXPECT_EQ(Cos_RestoreInstance(fresh, &SaveRead), 1) << "block cut short";
}

}  // namespace
}  // namespace chore_test
