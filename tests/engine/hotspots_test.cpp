// Hotspots: the ".hot" reader, queries, ids, save and restore.
#include "engine/hotspots.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "WalkTestSupport.h"
#include "actors/drevActor.h"
#include "engine/drevRoom.h"
#include "quadrix/qxPrimitive.h"

namespace {

using walktest::ReadFile;
using walktest::WriteFile;

// One setup block: an object, a dynamic and a walk hotspot.
const char* const kHot =
    "# hotspots of the room\n"
    "hotspots_total: 3\n"
    "setup 0:\n"
    "num_hotspots: 3\n"
    "hotspot Lamp\n"
    "id lamp\n"
    "type object\n"
    "cursor hotspot\n"
    "path 1: (1.0 2.0 0.0) wait 2.5\n"
    "region 4: (100 200) (200 200) (200 300) (100 300)\n"
    "hotspot Dog\n"
    "id dog\n"
    "type dynamic\n"
    "cursor hotspot\n"
    "offset (0.0 0.0 1.0)\n"
    "region 4: (0 0) (10 0) (10 10) (0 10)\n"
    "hotspot Door\n"
    "id door\n"
    "type walk\n"
    "cursor arrow_left\n"
    "path 0:\n"
    "region 3: (300 100) (400 100) (300 200)\n";

Room g_room{};
Room* CurrentRoom() {
  return &g_room;
}
Actor g_actor{};
Actor* ActorAt(int index) {
  return index == 4 ? &g_actor : nullptr;
}
int Project(const qxVector3* p, qxScreenPoint* out) {
  out->x = static_cast<int32_t>(p->x);
  out->y = static_cast<int32_t>(p->y);
  out->depth = 1;
  return 1;
}

class Hotspots : public ::testing::Test {
 protected:
  void SetUp() override {
    HostServices_CopyDefaults(&hs_);
    std_DefaultServices(&hs_);
    std_Startup(&hs_);
    hotspots_FreeAll();
    std::memset(hotspots_Init()->source, 0, HOTSPOT_SOURCE_SIZE);
    hotspots_Init()->idCounter = 0;
    g_room = Room{};
    drevMain_Calls().roomGetCurrent = CurrentRoom;
    drevMain_Calls().actorFromIndex = ActorAt;
    drevMain_Calls().projectPoint3 = Project;
  }
  void TearDown() override {
    hotspots_FreeAll();
    drevMain_ResetCalls();
    kv_Log_ResetForTest();
  }
  HotspotSet* Set() { return hotspots_Init(); }
  Hotspot* ById(const char* idString) {
    for (int i = 0; i < Set()->numHotspots; ++i) {
      if (std::strcmp(Set()->hotspots[i]->idString, idString) == 0) return Set()->hotspots[i];
    }
    return nullptr;
  }
  // A script hotspot: a rectangle in screen space (coordinate mode 2 leaves points).
  int AddScript(const char* idString, int type, int x0, int y0, int x1, int y1, int setup = -1) {
    auto* h = new Hotspot{};
    h->scriptAdded = 1;
    h->setup = setup;
    std::strncpy(h->idString, idString, HOTSPOT_ID_STRING_SIZE - 1);
    h->type = type;
    h->cursor = 1;
    h->linkedActor = -1;
    h->overlay = -1;
    h->num = 4;
    h->points[0] = {x0, y0};
    h->points[1] = {x1, y0};
    h->points[2] = {x1, y1};
    h->points[3] = {x0, y1};
    h->mode = 2;
    return hotspots_Add(h);
  }
  std::vector<std::string> Query(int x, int y, int mode, int capacity = 10) {
    Hotspot* list[HOTSPOT_MAX];
    const HotspotPoint p{x, y};
    const int n = hotspots_QueryAtPoint(&p, list, capacity, mode);
    std::vector<std::string> ids;
    for (int i = 0; i < n; ++i) ids.push_back(list[i]->idString);
    return ids;
  }
  HostServices hs_;
};

TEST_F(Hotspots, FileIsReadAndConvertedToTheWideScreen) {
  WriteFile("room.hot", kHot);
  hotspots_LoadForSet("room.set");
  ASSERT_EQ(Set()->numHotspots, 3);
  EXPECT_STREQ(Set()->source, "room.set");
  const Hotspot* lamp = ById("lamp");
  ASSERT_TRUE(lamp);
  EXPECT_STREQ(lamp->name, "lamp");  // lines arrive lower-cased
  EXPECT_EQ(lamp->type, HOTSPOT_OBJECT);
  EXPECT_EQ(lamp->cursor, 1);
  EXPECT_EQ(lamp->setup, 0);
  EXPECT_EQ(lamp->pathLen, 1);
  EXPECT_FLOAT_EQ(lamp->path[0].y, 2.0f);
  EXPECT_FLOAT_EQ(lamp->wait, 2.5f);
  EXPECT_EQ(lamp->points[0].x, 225);  // (100, 200) in game space
  EXPECT_EQ(lamp->points[0].y, 450);
  EXPECT_EQ(lamp->mode, 1);
  EXPECT_EQ(lamp->overlay, -1);
  EXPECT_EQ(ById("dog")->type, HOTSPOT_DYNAMIC);
  EXPECT_FLOAT_EQ(ById("dog")->offset.z, 1.0f);
  EXPECT_EQ(ById("door")->cursor, 4);
  EXPECT_EQ(ById("door")->pathLen, 0);
  // Screen points are tested after the 240-pixel side bar is taken off.
  const HotspotPoint inside{240 + 230, 460}, bar{230, 460};
  EXPECT_TRUE(hotspots_PointInPolygon(lamp, &inside));
  EXPECT_FALSE(hotspots_PointInPolygon(lamp, &bar));
}

TEST_F(Hotspots, ReloadsKeepScriptHotspots) {
  WriteFile("first.hot", kHot);
  WriteFile("second.hot", "hotspots_total: 0\n");
  const int id = AddScript("button", HOTSPOT_SCRIPT, 0, 0, 10, 10);
  ASSERT_GE(id, 0);
  hotspots_LoadForSet("first.set");
  EXPECT_EQ(Set()->numHotspots, 4);
  // The same set file again: not read again.
  WriteFile("first.hot", "hotspots_total: 0\n");
  hotspots_LoadForSet("first.set");
  EXPECT_EQ(Set()->numHotspots, 4);
  // Another set (".SeT" in any case finds its ".hot"): file hotspots go, script ones stay.
  hotspots_LoadForSet("second.SeT");
  ASSERT_EQ(Set()->numHotspots, 1);
  EXPECT_STREQ(Set()->hotspots[0]->idString, "button");
  // A set without a ".hot" file leaves everything as it is.
  hotspots_LoadForSet("missing.set");
  hotspots_LoadForSet("noextension");
  EXPECT_EQ(Set()->numHotspots, 1);
  EXPECT_STREQ(Set()->source, "second.SeT");
}

TEST_F(Hotspots, MalformedFilesAreRefusedWhole) {
  struct Case {
    const char* what;
    std::string text;
    const char* message;
  };
  const std::string entry = "hotspot a\nid a\ntype object\ncursor hotspot\n";
  const std::string region = "region 3: (0 0) (10 0) (0 10)\n";
  std::string manyEntries = "hotspots_total: 100\nsetup 0:\nnum_hotspots: 128\n";
  for (int i = 0; i < 128; ++i) manyEntries += entry + "path 0:\n" + region;
  const Case cases[] = {
      {"no total", "setup 0:\n", "invalid hotspot file"},
      {"total of 128", "hotspots_total: 128\n", "too many hotspots"},
      {"seven path points",
       "hotspots_total: 1\nsetup 0:\nnum_hotspots: 1\n" + entry +
           "path 7: (0 0 0) (0 0 0) (0 0 0) (0 0 0) (0 0 0) (0 0 0) (0 0 0)\n" + region,
       "path too long, increase threshold"},
      {"fifteen region points",
       "hotspots_total: 1\nsetup 0:\nnum_hotspots: 1\n" + entry +
           "path 0:\nregion 15:" + std::string(15 * 6, ' ') + "\n",
       "too many vertices in polygon, increase threshold"},
      {"fewer points than announced",
       "hotspots_total: 1\nsetup 0:\nnum_hotspots: 1\n" + entry +
           "path 0:\nregion 4: (0 0) (1 1)\n",
       "fewer region points than announced"},
      {"file ends inside an entry", "hotspots_total: 1\nsetup 0:\nnum_hotspots: 1\nhotspot a\n",
       "missing \"id\""},
      {"more than the slots with the script one", manyEntries, "too many hotspots"},
  };
  int n = 0;
  for (const Case& c : cases) {
    hotspots_FreeAll();
    ASSERT_GE(AddScript("kept", HOTSPOT_SCRIPT, 0, 0, 10, 10), 0);
    const std::string set = "bad" + std::to_string(n++);
    WriteFile(set + ".hot", c.text);
    kv_Log_ResetForTest();
    ASSERT_EQ(kv_Log_Open("hot_test.log"), 1);
    hotspots_LoadForSet((set + ".set").c_str());
    kv_Log_ResetForTest();
    ASSERT_EQ(Set()->numHotspots, 1) << c.what;
    EXPECT_STREQ(Set()->hotspots[0]->idString, "kept") << c.what;
    const std::string log = ReadFile("hot_test.log");
    EXPECT_NE(log.find(std::string(set + ".hot refused")), std::string::npos) << c.what << log;
    EXPECT_NE(log.find(c.message), std::string::npos) << c.what << log;
  }
}

TEST_F(Hotspots, QueryOrderFiltersAndCapacity) {
  WriteFile("query.hot", kHot);
  hotspots_LoadForSet("query.set");
  // Mode 3 lists an object hotspot only with the walk cursor.
  const int x = 240 + 230, y = 460;
  EXPECT_TRUE(Query(x, y, 3).empty());
  ById("lamp")->cursor = 2;
  EXPECT_EQ(Query(x, y, 3), std::vector<std::string>{"lamp"});
  EXPECT_EQ(Query(x, y, 0), std::vector<std::string>{"lamp"});
  // Another setup hides it.
  g_room.currentSetup = 1;
  EXPECT_TRUE(Query(x, y, 0).empty());
  g_room.currentSetup = 0;

  // Twelve under one point: the special ones first, at most ten.
  hotspots_FreeAll();
  for (int i = 0; i < 8; ++i) AddScript(("plain" + std::to_string(i)).c_str(), 1, 0, 0, 50, 50);
  for (int i = 0; i < 4; ++i) {
    AddScript(("special" + std::to_string(i)).c_str(), HOTSPOT_SPECIAL, 0, 0, 50, 50);
  }
  const auto listed = Query(10, 10, 0);
  // Mode 0 passes no special hotspot (type 4), so only the plain ones.
  EXPECT_EQ(listed.size(), 8u);
  for (int i = 0; i < 4; ++i) {
    Hotspot* h = ById(("special" + std::to_string(i)).c_str());
    h->type = HOTSPOT_SCRIPT;
  }
  const auto mixed = Query(10, 10, 0);
  ASSERT_EQ(mixed.size(), 10u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(mixed[i].rfind("special", 0), 0u) << mixed[i];
  EXPECT_EQ(Query(10, 10, 1).size(), 4u);
  EXPECT_TRUE(Query(10, 10, 4).empty());
  // Without a current set nothing answers.
  drevMain_Calls().roomGetCurrent = [] { return static_cast<Room*>(nullptr); };
  EXPECT_TRUE(Query(10, 10, 0).empty());
}

TEST_F(Hotspots, DynamicHotspotsFollowTheirActor) {
  WriteFile("dyn.hot", kHot);
  hotspots_LoadForSet("dyn.set");
  // The actor's point projects to (60, 200) in game space: (375, 450) on the
  // screen, (135, 450) in the polygon's wide-screen space.
  const int x = 375, y = 450;
  EXPECT_TRUE(Query(x, y, 0).empty());  // no linked actor
  hotspots_Link("dog", 4);
  g_actor.transform = qxMatrix34_identity;
  g_actor.transform.t = {60, 200, 0};
  EXPECT_EQ(Query(x, y, 0), std::vector<std::string>{"dog"});
  hotspots_Link("dog", 9);  // an actor that does not exist
  EXPECT_TRUE(Query(x, y, 0).empty());
}

TEST_F(Hotspots, IdsWrapAndSkipThoseInUse) {
  Set()->idCounter = 1021;
  EXPECT_EQ(AddScript("a", HOTSPOT_SCRIPT, 0, 0, 1, 1), 1022);
  // The counter moved once more (1023); the next id wraps to 0.
  EXPECT_EQ(AddScript("b", HOTSPOT_SCRIPT, 0, 0, 1, 1), 0);
  Set()->idCounter = 1021;
  EXPECT_EQ(hotspots_NextId(), 1023);
  Set()->idCounter = 1020;
  EXPECT_EQ(hotspots_NextId(), 1021);  // 1022 and 0 are in use, 1021 is free
  Set()->idCounter = 1021;
  EXPECT_EQ(hotspots_NextId(), 1023);
  Set()->idCounter = 1023;
  EXPECT_EQ(hotspots_NextId(), 1);  // 0 in use
  // Removing frees the id; the set refuses a 128th hotspot.
  hotspots_Remove(1022);
  EXPECT_EQ(ById("a"), nullptr);
  while (Set()->numHotspots < HOTSPOT_MAX - 1) AddScript("fill", HOTSPOT_SCRIPT, 0, 0, 1, 1);
  EXPECT_EQ(AddScript("one too many", HOTSPOT_SCRIPT, 0, 0, 1, 1), -1);
}

TEST_F(Hotspots, MovingRecentresOnTheMean) {
  AddScript("box", HOTSPOT_SCRIPT, 0, 0, 10, 20);
  hotspots_MoveTo("box", 100, 100, 2);
  const Hotspot* h = ById("box");
  EXPECT_EQ(h->points[0].x, 95);
  EXPECT_EQ(h->points[0].y, 90);
  EXPECT_EQ(h->points[2].x, 105);
  // A polygon without points stays as it is.
  Hotspot* empty = ById("box");
  empty->num = 0;
  const HotspotPoint p{5, 5};
  hotspots_Recentre(empty, &p, 2);
  EXPECT_EQ(empty->points[0].x, 95);
}

// The save transfer: an in-memory stream.
std::vector<uint8_t> g_stream;
size_t g_readAt = 0;
int Write(void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  g_stream.insert(g_stream.end(), bytes, bytes + size);
  return 0;
}
int Read(void* data, size_t size) {
  if (g_readAt + size > g_stream.size()) return 1;
  std::memcpy(data, g_stream.data() + g_readAt, size);
  g_readAt += size;
  return 0;
}

TEST_F(Hotspots, SaveAndRestoreRoundTrip) {
  WriteFile("saved.hot", kHot);
  hotspots_LoadForSet("saved.set");
  AddScript("button", HOTSPOT_SCRIPT, 1, 2, 3, 4);
  ById("button")->overlay = 12;
  hotspots_Link("dog", 4);
  const int counter = Set()->idCounter;
  g_stream.clear();
  ASSERT_EQ(hotspots_Save(Write), 1);
  // Header 68 bytes; a hotspot 140 bytes plus its path and polygon points.
  EXPECT_EQ(g_stream.size(), 68u + 4 * 140u + 12 + (4 + 4 + 3 + 4) * 8);

  hotspots_FreeAll();
  g_readAt = 0;
  ASSERT_EQ(hotspots_Restore(Read), 1);
  ASSERT_EQ(Set()->numHotspots, 4);
  EXPECT_EQ(Set()->idCounter, counter);
  EXPECT_STREQ(Set()->source, "saved.set");
  EXPECT_EQ(ById("button")->overlay, -1);  // no overlay until the scripts make one
  EXPECT_EQ(ById("button")->scriptAdded, 1);
  EXPECT_EQ(ById("dog")->linkedActor, 4);
  EXPECT_FLOAT_EQ(ById("lamp")->wait, 2.5f);
  EXPECT_EQ(ById("lamp")->points[2].y, 675);
  EXPECT_EQ(ById("door")->num, 3);

  // Counts out of range and short streams fail and leave no hotspot.
  const size_t firstPathLen = 68 + 4 + 4 + 4 + 40 + 32 + 4 + 4 + 4 + 12;
  std::vector<uint8_t> bad = g_stream;
  bad[firstPathLen] = 7;
  g_stream = bad;
  g_readAt = 0;
  EXPECT_EQ(hotspots_Restore(Read), 0);
  EXPECT_EQ(Set()->numHotspots, 0);
  g_stream.resize(100);
  g_readAt = 0;
  EXPECT_EQ(hotspots_Restore(Read), 0);
  g_stream.resize(6);
  g_readAt = 0;
  EXPECT_EQ(hotspots_Restore(Read), 0);
  EXPECT_EQ(Set()->numHotspots, 0);
}

}  // namespace
