// Library state, handles, module life cycle, hooks, tags, costumes and
// components, key insertion.
#include <dlfcn.h>

#include <algorithm>

#include "chore_test_host.h"

namespace chore_test {
namespace {

using ModuleTest = ChoreTest;

TEST(ChoreModule, InitializeFillsTheDescriptorAndStartupTwiceIsRefused) {
  HostServices hs = MakeServices();
  CosModuleDescriptor module{};
  g_liveBlocks = 0;
  ASSERT_EQ(Cos_Initialize(&hs, &module), 0);
  EXPECT_EQ(module.initialize, &Cos_Initialize);
  EXPECT_EQ(module.save, &Cos_Save);
  EXPECT_EQ(module.restore, &Cos_Restore);
  EXPECT_EQ(module.pause, nullptr);
  EXPECT_EQ(module.resume, nullptr);
  EXPECT_EQ(g_liveBlocks, 0) << "initialise allocates nothing";
  // Nothing works before startup.
  EXPECT_EQ(Cos_New(), 0);
  EXPECT_EQ(Cos_NewIntTag(kKeyf, "keyframe", 0, &kKeyfCallbacks, 0), 0);

  ASSERT_EQ(module.startup(), 0);
  const CosCostumeHandle first = Cos_New();
  EXPECT_EQ(first, 1);
  EXPECT_EQ(module.startup(), 1) << "second startup";
  EXPECT_NE(Cos_GetCostumeName(first), nullptr) << "tables kept";
  EXPECT_EQ(Cos_Free(first), 1);
  module.shutdown();
  EXPECT_EQ(CosUtil_CountTags(), 0);
  EXPECT_EQ(Cos_GetCostumeName(first), nullptr);
  EXPECT_EQ(g_liveBlocks, 0);
  module.uninitialize();
}

TEST(ChoreModule, StartupOutOfMemoryFailsAndFreesWhatItMade) {
  HostServices hs = MakeServices();
  CosModuleDescriptor module{};
  g_liveBlocks = 0;
  Cos_Initialize(&hs, &module);
  for (long allowed : {0L, 1L, 2L}) {
    g_allocFailAfter = allowed;
    EXPECT_EQ(module.startup(), 1) << allowed;
    EXPECT_EQ(g_liveBlocks, 0) << allowed;
  }
  g_allocFailAfter = -1;
  EXPECT_EQ(module.startup(), 0) << "a later startup still works";
  module.shutdown();
  module.uninitialize();
}

TEST_F(ModuleTest, HandlesGrowByEightAndFreedSlotsAreReused) {
  std::vector<CosCostumeHandle> handles;
  for (int i = 0; i < 41; ++i) handles.push_back(Cos_New());
  EXPECT_EQ(handles[32], 33);
  EXPECT_EQ(handles[40], 41);
  // Free costume 2 of the first three: the next costume takes its slot.
  EXPECT_EQ(Cos_Free(2), 1);
  EXPECT_EQ(Cos_New(), 2);
  // Freed handles are refused afterwards, and so is any handle out of range.
  EXPECT_EQ(Cos_Free(41), 1);
  for (CosCostumeHandle bad : {41, 0, -1, 49, 1000}) {
    EXPECT_EQ(Cos_Free(bad), 0) << bad;
    EXPECT_EQ(Cos_GetCostumeName(bad), nullptr) << bad;
    EXPECT_EQ(Cos_CreateCosInstance(bad, 0), 0) << bad;
  }
  // Instances grow the same way.
  std::vector<CosInstHandle> instances;
  for (int i = 0; i < 41; ++i) instances.push_back(Cos_CreateCosInstance(1, 0));
  EXPECT_EQ(instances[32], 33);
  EXPECT_EQ(instances[40], 41);
  EXPECT_EQ(Cos_FreeCosInstance(5), 1);
  EXPECT_EQ(Cos_FreeCosInstance(5), 0) << "second release refused";
  EXPECT_EQ(Cos_CreateCosInstance(1, 0), 5);
}

TEST_F(ModuleTest, NewCostumeIsUnnamedWithRisingSerials) {
  const CosCostumeHandle a = Cos_New();
  const CosCostumeHandle b = Cos_New();
  const CosCostume* ca = CosUtil_PtrFromHandle(a);
  const CosCostume* cb = Cos_GetCostumeName(b);
  ASSERT_TRUE(ca && cb);
  EXPECT_STREQ(ca->name, "<unnamed>");
  EXPECT_STREQ(reinterpret_cast<const char*>(cb), "<unnamed>") << "the record is its name";
  EXPECT_EQ(cb->serial, ca->serial + 1);
  EXPECT_EQ(ca->numComponents, 0);
  EXPECT_EQ(ca->numChores, 0);
}

int HookA(CosInstHandle, int) {
  return 1;
}
int HookB(CosInstHandle, int) {
  return 1;
}
int VerifyA(CosCostume*) {
  return 1;
}
int VerifyB(CosCostume*) {
  return 1;
}
void NotifierA(CosCostume*, CosComponent*, int, int) {}
uint32_t MungerA(void*, uint32_t) {
  return 0;
}
int SaveHookA(const char*, CosCostumeHandle, const char*) {
  return 1;
}

TEST_F(ModuleTest, HookSettersReturnThePreviousHookButVerifyReturnsItsOwn) {
  EXPECT_EQ(Cos_RegisterInstanceHook(&HookA), nullptr);
  EXPECT_EQ(Cos_RegisterInstanceHook(&HookB), &HookA);
  EXPECT_EQ(Cos_RegisterInstanceHook(nullptr), &HookB);
  EXPECT_EQ(Cos_RegisterSaveVerify(&VerifyA), &VerifyA);
  EXPECT_EQ(Cos_RegisterSaveVerify(&VerifyB), &VerifyB);
  EXPECT_EQ(CosUtil_RegisterCompNotifier(&NotifierA), nullptr);
  EXPECT_EQ(CosUtil_RegisterCompNotifier(nullptr), &NotifierA);
  EXPECT_EQ(CosUtil_RegisterBitmapMunger(&MungerA), nullptr);
  EXPECT_EQ(CosUtil_RegisterBitmapMunger(nullptr), &MungerA);
  EXPECT_EQ(Cos_RegisterSaveHook(&SaveHookA), nullptr);
  EXPECT_EQ(Cos_RegisterSaveHook(nullptr), &SaveHookA);
}

TEST_F(ModuleTest, TagRegistrationRules) {
  // Duplicate code: refused, and the first callbacks stay.
  EXPECT_EQ(Cos_NewIntTag(kModel, "again", 0, &kKeyfCallbacks, 0), 0);
  uint32_t code = 0;
  EXPECT_STREQ(CosUtil_TagInfo(0, &code), "model");
  EXPECT_EQ(code, kModel);
  EXPECT_EQ(CosUtil_TagInfo(99, &code), nullptr);
  // Name length: 31 accepted, 32 refused.
  const std::string name31(31, 'n'), name32(32, 'n');
  EXPECT_EQ(Cos_NewIntTag(Cos_MakeCode("LN31"), name31.c_str(), 0, nullptr, 0), 1);
  EXPECT_EQ(Cos_NewIntTag(Cos_MakeCode("LN32"), name32.c_str(), 0, nullptr, 0), 0);
  EXPECT_EQ(Cos_NewIntTag(Cos_MakeCode("NULL"), nullptr, 0, nullptr, 0), 0);
  // Fill the table to 32; the thirty-third is refused.
  int count = CosUtil_CountTags();
  EXPECT_EQ(count, 7);
  for (int i = count; i < 32; ++i) {
    const char letters[5] = {'T', 'G', char('A' + i / 26), char('A' + i % 26), 0};
    uint32_t c = 0;
    memcpy(&c, letters, 4);
    EXPECT_EQ(Cos_NewFloatTag(c, "filler", 0, nullptr, 0), 1) << i;
  }
  EXPECT_EQ(CosUtil_CountTags(), 32);
  EXPECT_EQ(Cos_NewStateBasedTag(Cos_MakeCode("XTRA"), "one too many", 0, nullptr, 0), 0);
  EXPECT_EQ(CosUtil_CountTags(), 32);
}

TEST_F(ModuleTest, ComponentOrdinalsParentsAndRefusals) {
  const CosCostumeHandle h = Cos_New();
  CosCostume* costume = CosUtil_PtrFromHandle(h);
  EXPECT_EQ(Cos_RegisterComponent(h, "body", 11, kModel, 0, 0, nullptr), 1);
  EXPECT_EQ(Cos_RegisterComponent(h, "head", 12, kMesh, 11, kModel, nullptr), 1);
  EXPECT_EQ(Cos_RegisterComponent(h, "head", 13, kMesh, 11, kModel, nullptr), 1);
  EXPECT_EQ(Cos_RegisterComponent(h, "HEAD", 14, kMesh, 0, 0, nullptr), 1);
  EXPECT_EQ(Cos_RegisterComponent(h, "Head", 15, kKeyf, 12, kMesh, nullptr), 1);
  const int expectedOrdinal[] = {0, 0, 1, 2, 0};
  const int expectedParent[] = {-1, 0, 0, -1, 1};
  ASSERT_EQ(CosUtil_CountComponents(costume), 5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(costume->components[i].ordinal, expectedOrdinal[i]) << i;
    EXPECT_EQ(costume->components[i].parent, expectedParent[i]) << i;
  }
  // Refusals change nothing.
  const std::string name31(31, 'x'), name32(32, 'x');
  struct Case {
    const char* what;
    const char* name;
    uint32_t code;
    uintptr_t parentHash;
    uint32_t parentCode;
    CosCostumeHandle costume;
  } refused[] = {
      {"null name", nullptr, kModel, 0, 0, h},
      {"long name", name32.c_str(), kModel, 0, 0, h},
      {"unregistered tag", "x", Cos_MakeCode("NONE"), 0, 0, h},
      {"no such parent", "x", kMesh, 999, kModel, h},
      {"parent of another code", "x", kMesh, 11, kMesh, h},
      {"unregistered parent code", "x", kMesh, 11, Cos_MakeCode("NONE"), h},
      {"bad handle", "x", kModel, 0, 0, 77},
  };
  for (const Case& c : refused) {
    EXPECT_EQ(
        Cos_RegisterComponent(c.costume, c.name, 1, c.code, c.parentHash, c.parentCode, nullptr), 0)
        << c.what;
  }
  EXPECT_EQ(CosUtil_CountComponents(costume), 5);
  EXPECT_EQ(Cos_RegisterComponent(h, name31.c_str(), 16, kModel, 0, 0, nullptr), 1);
}

uint32_t g_mungeCalls = 0;
uint32_t CountingMunger(void* record, uint32_t extra) {
  ++g_mungeCalls;
  return static_cast<uint8_t*>(record)[0] * 1000u + extra;
}
std::vector<std::string> g_notices;
void RecordingNotifier(CosCostume*, CosComponent* component, int index, int added) {
  g_notices.push_back(std::string(component ? component->name : "-") + " " + std::to_string(index) +
                      " " + std::to_string(added));
}

TEST_F(ModuleTest, DataBlocksAreCopiedForStateTagsOnly) {
  CosUtil_RegisterBitmapMunger(&CountingMunger);
  CosUtil_RegisterCompNotifier(&RecordingNotifier);
  g_mungeCalls = 0;
  g_notices.clear();
  const CosCostumeHandle h = Cos_New();
  uint8_t records[32] = {};
  records[0] = 3;
  records[16] = 4;
  const uint32_t extras[] = {7, 8};
  const CosDataBlock block{2, kStateValues, kStateNames, records, extras};
  const CosDataBlock empty{0, kStateValues, kStateNames, records, extras};
  ASSERT_EQ(Cos_RegisterComponent(h, "body", 11, kModel, 0, 0, &block), 1);
  ASSERT_EQ(Cos_RegisterComponent(h, "walk", 12, kKeyf, 0, 0, &block), 1);
  ASSERT_EQ(Cos_RegisterComponent(h, "bare", 13, kModel, 0, 0, &empty), 1);
  const CosCostume* costume = CosUtil_PtrFromHandle(h);
  const CosComponent& body = costume->components[0];
  ASSERT_EQ(body.numData, 2);
  EXPECT_EQ(body.dataValues[1], 1);
  EXPECT_STREQ(body.dataNames[1], "Show");
  EXPECT_NE(body.dataNames[1], kStateNames[1]) << "names are copied";
  EXPECT_EQ(body.dataRecords[0]->munged, 3007u);
  EXPECT_EQ(body.dataRecords[1]->munged, 4008u);
  EXPECT_EQ(body.dataRecords[1]->data[0], 4);
  EXPECT_EQ(g_mungeCalls, 2u);
  EXPECT_EQ(costume->components[1].numData, 0) << "integer tags get no copy";
  EXPECT_EQ(costume->components[1].dataValues, nullptr);
  EXPECT_EQ(costume->components[2].numData, 0) << "empty block";
  EXPECT_EQ(g_notices, (std::vector<std::string>{"body 0 1", "walk 1 1", "bare 2 1"}));
}

TEST_F(ModuleTest, FailedDataCopyAddsNothing) {
  const CosCostumeHandle h = Cos_New();
  const CosDataBlock block{2, kStateValues, kStateNames, nullptr, nullptr};
  g_allocFailAfter = 2;
  EXPECT_EQ(Cos_RegisterComponent(h, "body", 11, kModel, 0, 0, &block), 0);
  g_allocFailAfter = -1;
  EXPECT_EQ(CosUtil_CountComponents(CosUtil_PtrFromHandle(h)), 0);
}

TEST_F(ModuleTest, FreeReleasesInstancesBeforeComponents) {
  std::vector<std::string> order;
  static std::vector<std::string>* sink;
  sink = &order;
  Cos_RegisterInstanceHook([](CosInstHandle h, int mode) {
    sink->push_back("hook " + std::to_string(h) + " " + std::to_string(mode));
    return 1;
  });
  const CosCostumeHandle h = Cos_New();
  ASSERT_EQ(Cos_RegisterComponent(h, "body", 11, kModel, 0, 0, nullptr), 1);
  ASSERT_EQ(Cos_RegisterComponent(h, "walk", 12, kKeyf, 0, 0, nullptr), 1);
  const CosInstHandle a = Cos_CreateCosInstance(h, 0);
  const CosInstHandle b = Cos_CreateCosInstance(h, 0);
  ASSERT_TRUE(a && b);
  order.clear();
  g_events.clear();
  EXPECT_EQ(Cos_Free(h), 1);
  EXPECT_EQ(order, (std::vector<std::string>{"hook 1 0", "hook 2 0"}));
  EXPECT_EQ(g_events, (std::vector<std::string>{"data i1 k0 m0", "data i2 k0 m0",
                                                "free MMDL c1 h11", "free KEYF c1 h12"}));
  EXPECT_EQ(Cos_InstGetUserData(a), 0);
  EXPECT_EQ(Cos_InstCountComponents(a), 0);
  EXPECT_EQ(Cos_FreeCosInstance(a), 0) << "already released with its costume";
}

TEST_F(ModuleTest, RemoveComponentByCodeAndHash) {
  const CosCostumeHandle h = Cos_New();
  ASSERT_EQ(Cos_RegisterComponent(h, "body", 11, kModel, 0, 0, nullptr), 1);
  ASSERT_EQ(Cos_RegisterComponent(h, "mesh", 12, kMesh, 11, kModel, nullptr), 1);
  ASSERT_EQ(Cos_RegisterComponent(h, "walk", 13, kKeyf, 0, 0, nullptr), 1);
  EXPECT_EQ(Cos_RemoveComponent(h, kKeyf, 11), 0) << "code and hash must both match";
  EXPECT_EQ(Cos_RemoveComponent(h, kModel, 11), 1);
  const CosCostume* costume = CosUtil_PtrFromHandle(h);
  ASSERT_EQ(costume->numComponents, 1) << "the child went with its parent";
  EXPECT_STREQ(costume->components[0].name, "walk");
}

TEST_F(ModuleTest, KeyInsertionKeepsTimeOrderAndRaisesTheLength) {
  const CosCostumeHandle h = Cos_New();
  CosCostume* costume = CosUtil_PtrFromHandle(h);
  ASSERT_EQ(Cos_RegisterComponent(h, "walk", 12, kKeyf, 0, 0, nullptr), 1);
  const int chore = CosUtil_AddChore(costume);
  for (int t : {30, 10, 20}) EXPECT_EQ(CosUtil_AddIntKey(costume, chore, 0, t, t * 2), 1);
  EXPECT_EQ(CosUtil_AddIntKey(costume, chore, 0, 20, 99), 1) << "same time reuses the key";
  const CosTrack& track = costume->chores[chore].tracks[0];
  ASSERT_EQ(track.numKeys, 3);
  EXPECT_EQ(track.keys[0].time, 10);
  EXPECT_EQ(track.keys[1].time, 20);
  EXPECT_EQ(track.keys[1].value, 99);
  EXPECT_EQ(track.keys[2].time, 30);
  EXPECT_EQ(track.lastTime, 30);
  EXPECT_EQ(costume->chores[chore].length, 30) << "raised from 15";
  EXPECT_EQ(CosUtil_AddIntKey(costume, chore, 0, 40, 1), 1);
  EXPECT_EQ(costume->chores[chore].length, 40);

  const int zero = CosUtil_AddChore(costume);
  CosUtil_SetChoreLength(costume, zero, 0);
  EXPECT_EQ(costume->chores[zero].length, 0);
  EXPECT_EQ(CosUtil_AddIntKey(costume, zero, 0, 0, 1), 1);
  EXPECT_EQ(costume->chores[zero].length, 1);
}

TEST_F(ModuleTest, RefusedKeyInsertionChangesNothing) {
  const CosCostumeHandle h = Cos_New();
  CosCostume* costume = CosUtil_PtrFromHandle(h);
  ASSERT_EQ(Cos_RegisterComponent(h, "walk", 12, kKeyf, 0, 0, nullptr), 1);
  ASSERT_EQ(Cos_RegisterComponent(h, "silent", 13, kNoKeys, 0, 0, nullptr), 1);
  const int chore = CosUtil_AddChore(costume);
  EXPECT_EQ(CosUtil_AddIntKey(costume, chore, 1, 10, 1), 0) << "tag without applyKey";
  EXPECT_EQ(CosUtil_AddIntKey(costume, chore, 0, -5, 1), 0) << "negative time";
  EXPECT_EQ(CosUtil_AddIntKey(costume, chore, 5, 10, 1), 0) << "component out of range";
  EXPECT_EQ(CosUtil_AddIntKey(costume, 9, 0, 10, 1), 0) << "chore out of range";
  EXPECT_EQ(costume->chores[chore].numTracks, 0);
  EXPECT_EQ(costume->chores[chore].length, 15);
  // A chore that already holds two tracks on one component (as a damaged
  // costume might) refuses before anything is appended.
  ASSERT_EQ(CosUtil_AddIntKey(costume, chore, 0, 5, 1), 1);
  CosChore& record = costume->chores[chore];
  record.tracks = static_cast<CosTrack*>(realloc(record.tracks, 2 * sizeof(CosTrack)));
  record.tracks[1] = CosTrack{0, 0, 0, nullptr};
  record.numTracks = 2;
  EXPECT_EQ(CosUtil_AddIntKey(costume, chore, 0, 400, 1), 0);
  EXPECT_EQ(record.length, 15);
  EXPECT_EQ(record.tracks[0].numKeys, 1);
  record.numTracks = 1;
}

}  // namespace
}  // namespace chore_test

namespace chore_test {
namespace {

// The library exports its 65 entry points and nothing else of ours.
TEST(ChoreLibrary, ExportsOnlyTheCosEntryPoints) {
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&Cos_New), &info), 0);
  ASSERT_NE(info.dli_fname, nullptr);
  const std::string command = std::string("nm -D --defined-only '") + info.dli_fname + "'";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::vector<std::string> ours, others;
  char line[512];
  while (fgets(line, sizeof line, pipe)) {
    char type = 0;
    char name[400] = {};
    if (sscanf(line, "%*s %c %399s", &type, name) != 2) continue;
    if (type != 'T') {
      others.push_back(name);
    } else if (strncmp(name, "Cos_", 4) == 0 || strncmp(name, "CosUtil_", 8) == 0) {
      ours.push_back(name);
    } else {
      others.push_back(name);
    }
  }
  ASSERT_EQ(pclose(pipe), 0) << "nm must be available";
  EXPECT_EQ(ours.size(), 65u);
  EXPECT_TRUE(others.empty()) << others.front();
  for (const char* hidden : {"Cos_Startup", "Cos_Shutdown", "Cos_Uninitialize", "Cos_InsertKey"}) {
    EXPECT_EQ(std::count(ours.begin(), ours.end(), hidden), 0) << hidden;
  }
}

}  // namespace
}  // namespace chore_test
