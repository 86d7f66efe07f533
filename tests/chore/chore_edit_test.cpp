// The editing interface.
#include "chore_test_host.h"

namespace chore_test {
namespace {

using EditTest = ChoreTest;

std::vector<std::string> g_notices;
void Notifier(CosCostume*, CosComponent* component, int index, int added) {
  g_notices.push_back(std::string(component ? component->name : "-") + " " + std::to_string(index) +
                      " " + std::to_string(added));
}

TEST_F(EditTest, DeletingAModelTakesItsMeshesAndRenumbers) {
  const CosCostumeHandle h = Cos_New();
  CosCostume* costume = CosUtil_PtrFromHandle(h);
  const CosDataBlock block{2, kStateValues, kStateNames, nullptr, nullptr};
  ASSERT_EQ(Cos_RegisterComponent(h, "body", 11, kModel, 0, 0, &block), 1);     // 0
  ASSERT_EQ(Cos_RegisterComponent(h, "walk", 12, kKeyf, 0, 0, nullptr), 1);     // 1
  ASSERT_EQ(Cos_RegisterComponent(h, "m0", 13, kMesh, 11, kModel, &block), 1);  // 2
  ASSERT_EQ(Cos_RegisterComponent(h, "m1", 14, kMesh, 11, kModel, &block), 1);  // 3
  ASSERT_EQ(Cos_RegisterComponent(h, "body", 15, kModel, 0, 0, &block), 1);     // 4, ordinal 1
  ASSERT_EQ(Cos_RegisterComponent(h, "x", 16, kMesh, 15, kModel, nullptr), 1);  // 5
  const int chore = CosUtil_AddChore(costume);
  ASSERT_EQ(CosUtil_AddFSKey(costume, chore, 3, 10, 1), 1);
  ASSERT_EQ(CosUtil_AddIntKey(costume, chore, 1, 20, 1), 1);
  ASSERT_EQ(CosUtil_AddFSKey(costume, chore, 5, 30, 1), 1);
  CosUtil_RegisterCompNotifier(&Notifier);
  g_notices.clear();
  g_events.clear();
  ASSERT_EQ(CosUtil_DeleteComponent(h, 0), 1);
  EXPECT_EQ(g_notices, (std::vector<std::string>{"- 0 0", "- 1 0", "- 1 0"}));
  EXPECT_TRUE(g_events.empty()) << "the owners' records stay with the owners";
  ASSERT_EQ(costume->numComponents, 3);
  EXPECT_STREQ(costume->components[0].name, "walk");
  EXPECT_STREQ(costume->components[1].name, "body");
  EXPECT_EQ(costume->components[1].ordinal, 0) << "the namesake moved down";
  EXPECT_EQ(costume->components[2].parent, 1);
  const CosChore& record = costume->chores[chore];
  ASSERT_EQ(record.numTracks, 2) << "the mesh's track went with it";
  EXPECT_EQ(record.tracks[0].component, 0);
  EXPECT_EQ(record.tracks[1].component, 2);
  EXPECT_EQ(CosUtil_DeleteComponent(h, 3), 0);
  EXPECT_EQ(CosUtil_DeleteComponent(h, -1), 0);
  EXPECT_EQ(CosUtil_DeleteComponent(77, 0), 0);
}

TEST_F(EditTest, DeletingTheSecondOfFourReportsOnePosition) {
  const CosCostumeHandle h = Cos_New();
  CosCostume* costume = CosUtil_PtrFromHandle(h);
  for (int i = 0; i < 4; ++i) {
    ASSERT_EQ(Cos_RegisterComponent(h, ("k" + std::to_string(i)).c_str(), uintptr_t(20 + i), kKeyf,
                                    0, 0, nullptr),
              1);
  }
  const int chore = CosUtil_AddChore(costume);
  for (int i = 0; i < 4; ++i) ASSERT_EQ(CosUtil_AddIntKey(costume, chore, i, 5, i), 1);
  CosUtil_RegisterCompNotifier(&Notifier);
  g_notices.clear();
  ASSERT_EQ(CosUtil_DeleteComponent(h, 1), 1);
  EXPECT_EQ(g_notices, (std::vector<std::string>{"- 1 0"}));
  const CosChore& record = costume->chores[chore];
  ASSERT_EQ(record.numTracks, 3);
  for (int t = 0; t < 3; ++t) {
    EXPECT_EQ(record.tracks[t].component, t);
    EXPECT_EQ(record.tracks[t].keys[0].value, t == 0 ? 0 : t + 1);
  }
}

TEST_F(EditTest, QueryValueAtTime) {
  const CosCostumeHandle h = Cos_New();
  CosCostume* costume = CosUtil_PtrFromHandle(h);
  ASSERT_EQ(Cos_RegisterComponent(h, "walk", 12, kKeyf, 0, 0, nullptr), 1);
  ASSERT_EQ(Cos_RegisterComponent(h, "other", 13, kKeyf, 0, 0, nullptr), 1);
  const int chore = CosUtil_AddChore(costume);
  CosUtil_AddIntKey(costume, chore, 0, 100, 1);
  CosUtil_AddIntKey(costume, chore, 0, 200, 2);
  const std::pair<int, int> cases[] = {{50, -1}, {100, 1}, {150, 1}, {200, 2}, {250, 2}};
  for (auto [time, value] : cases) {
    const CosKey* key = CosUtil_QueryValueAtTime(costume, chore, 0, time);
    if (value < 0) {
      EXPECT_EQ(key, nullptr) << time;
    } else {
      ASSERT_NE(key, nullptr) << time;
      EXPECT_EQ(key->value, value) << time;
    }
  }
  EXPECT_EQ(CosUtil_QueryValueAtTime(costume, chore, 1, 100), nullptr) << "no track";
  EXPECT_EQ(CosUtil_QueryValueAtTime(costume, 5, 0, 100), nullptr) << "no chore";
}

TEST_F(EditTest, ChoresLengthsNamesAndKeys) {
  const CosCostumeHandle h = Cos_New();
  CosCostume* costume = CosUtil_PtrFromHandle(h);
  ASSERT_EQ(Cos_RegisterComponent(h, "walk", 12, kKeyf, 0, 0, nullptr), 1);
  ASSERT_EQ(Cos_RegisterComponent(h, "body", 13, kModel, 0, 0, nullptr), 1);
  const int a = CosUtil_AddChore(costume);
  const int b = CosUtil_AddChore(costume);
  EXPECT_EQ(a, 0);
  EXPECT_EQ(b, 1);
  EXPECT_EQ(CosUtil_CountChores(costume), 2);
  EXPECT_EQ(CosUtil_ChoreName(costume, b)->length, 15);

  CosUtil_NameChore(costume, a, "big wave");
  EXPECT_STREQ(CosUtil_ChoreName(costume, a)->name, "big_wave");
  CosUtil_NameChore(costume, a, std::string(32, 'n').c_str());
  EXPECT_STREQ(CosUtil_ChoreName(costume, a)->name, "big_wave");

  // Shortening drops keys past the old end only.
  for (int t : {400, 800, 1200}) CosUtil_AddIntKey(costume, a, 0, t, t);
  EXPECT_EQ(CosUtil_ChoreName(costume, a)->length, 1200);
  CosUtil_SetChoreLength(costume, a, 1000);
  EXPECT_EQ(CosUtil_ChoreName(costume, a)->length, 1000);
  EXPECT_EQ(costume->chores[a].tracks[0].numKeys, 3) << "keys up to the old end stay";
  CosUtil_SetChoreLength(costume, a, 500);
  const CosChore& chore = costume->chores[a];
  EXPECT_EQ(chore.length, 500);
  ASSERT_EQ(chore.tracks[0].numKeys, 2);
  EXPECT_EQ(chore.tracks[0].keys[1].time, 800);
  CosUtil_SetChoreLength(costume, a, -1);
  EXPECT_EQ(chore.length, 500) << "negative length refused";

  // Key classes must match their adder.
  EXPECT_EQ(CosUtil_AddIntKey(costume, b, 1, 10, 1), 0) << "state tag via int adder";
  EXPECT_EQ(CosUtil_AddFloatKey(costume, b, 0, 10, 1.0f), 0);
  EXPECT_EQ(CosUtil_AddFSKey(costume, b, 0, 10, 1), 0);
  EXPECT_EQ(costume->chores[b].numTracks, 0);
  EXPECT_EQ(CosUtil_AddFSKey(costume, b, 1, 10, 1), 1);

  // Deleting keys.
  EXPECT_EQ(CosUtil_DeleteKey(costume, a, 0, 401), 0);
  EXPECT_EQ(CosUtil_DeleteKey(costume, a, 1, 400), 0) << "no track for the component";
  EXPECT_EQ(CosUtil_DeleteKey(costume, a, 0, 400), 1);
  EXPECT_EQ(CosUtil_DeleteKey(costume, a, 0, 800), 1);
  EXPECT_EQ(chore.numTracks, 1) << "the emptied track stays";
  EXPECT_EQ(chore.tracks[0].numKeys, 0);
  EXPECT_EQ(chore.tracks[0].lastTime, 1200) << "lastTime is not changed";

  CosUtil_DeleteChore(costume, a);
  EXPECT_EQ(CosUtil_CountChores(costume), 1);
  EXPECT_STREQ(CosUtil_ChoreName(costume, 0)->name, "<unnamed>");
  EXPECT_EQ(CosUtil_ChoreName(costume, 1), nullptr);
  CosUtil_DeleteChore(costume, 3);
  EXPECT_EQ(CosUtil_CountChores(costume), 1);
}

TEST_F(EditTest, QueriesAddAndAdjust) {
  const CosCostumeHandle h = Cos_New();
  CosCostume* costume = CosUtil_PtrFromHandle(h);
  EXPECT_EQ(CosUtil_AddComponent(h, "body", kModel, 0, 0), 1);
  EXPECT_EQ(CosUtil_AddComponent(h, "fade", kFloat, 0, 0), 1);
  EXPECT_EQ(CosUtil_AddComponent(h, "x", Cos_MakeCode("NONE"), 0, 0), 0);
  EXPECT_EQ(CosUtil_AddComponent(h, nullptr, kModel, 0, 0), 0) << "the owner refuses";
  EXPECT_EQ(CosUtil_AddComponent(5, "x", kModel, 0, 0), 0);
  EXPECT_EQ(CosUtil_CountComponents(costume), 2);
  uint32_t code = 0;
  uintptr_t hash = 0;
  int parent = 5, tagClass = 5;
  CosUtil_ComponentInfo(costume, 1, &code, &hash, &parent, &tagClass);
  EXPECT_EQ(code, kFloat);
  EXPECT_EQ(hash, 101u);
  EXPECT_EQ(parent, -1);
  EXPECT_EQ(tagClass, COS_TAG_FLOAT);
  EXPECT_EQ(CosUtil_CompPtrFromHandle(costume, 2), nullptr);
  EXPECT_EQ(CosUtil_CompPtrFromHandle(costume, -1), nullptr);

  EXPECT_EQ(CosUtil_ComponentHasAdjuster(costume, 0), 1);
  EXPECT_EQ(CosUtil_ComponentHasAdjuster(costume, 1), 0);
  EXPECT_EQ(CosUtil_AdjustComponent(costume, 1), 0) << "no adjuster: 0, no call";
  EXPECT_EQ(CosUtil_AdjustComponent(costume, 0), 7);
  EXPECT_STREQ(costume->components[0].name, "body-adj");
  EXPECT_EQ(costume->components[0].hash, 101u) << "100 adjusted by the owner";

  // Records that are not costumes of the table are refused.
  CosCostume fake{};
  EXPECT_EQ(CosUtil_CountComponents(&fake), 0);
  EXPECT_EQ(CosUtil_AddChore(&fake), -1);
  EXPECT_EQ(CosUtil_CountChores(nullptr), 0);
  EXPECT_EQ(CosUtil_Write("f.cos", &fake, "c"), 0);
  EXPECT_EQ(g_files.count("f.cos"), 0u);
}

}  // namespace
}  // namespace chore_test
