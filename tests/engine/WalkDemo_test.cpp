// The demo game's walk floor and hotspots, read from the staged game folder:
// a path across the L-shaped floor, the funnel gate, and the three hotspots.
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "../../tools/demodata/DemoSectors.h"
#include "WalkTestSupport.h"
#include "engine/drevMain.h"
#include "engine/drevRoom.h"
#include "engine/hotspots.h"

namespace {

using walktest::WalkWorld;

std::filesystem::path GameDir() {
  const char* dir = std::getenv("VQ_GAME_DIR");
  return dir ? dir : "";
}

class DemoFloor : public WalkWorld {
 protected:
  void TearDown() override {
    hotspots_FreeAll();
    WalkWorld::TearDown();
  }
  // The sectors section of the staged demo.set; while that file is not
  // written yet, the section its writer will include.
  void ReadDemoSectors() {
    const std::filesystem::path set = GameDir() / "demo.set";
    if (std::filesystem::exists(set)) {
      ASSERT_EQ(stdConffile_Open(set.c_str()), 1);
      bool found = false;
      while (!found && stdConffile_NextLine()) {
        found = std::strncmp(stdConffile_line, "section: sectors", 16) == 0;
      }
      ASSERT_TRUE(found);
      WalkPlane_ReadSectors("demo.set");
      stdConffile_Close();
      Use("demo.set");
    } else {
      Read(demodata::kDemoSectors + std::strlen("section: sectors\n"), "demo.set");
    }
  }
};

TEST_F(DemoFloor, PathAroundTheCornerOfTheL) {
  ASSERT_FALSE(GameDir().empty());
  ReadDemoSectors();
  ASSERT_TRUE(Named("floor_south") && Named("floor_west") && Named("gate") && Named("porch_view"));
  EXPECT_EQ(Named("gate")->type, SECTOR_FUNNEL);
  const qxVector3 porch{0.7f, 3.5f, 0};
  EXPECT_EQ(WalkPlane_FindSectorAtPoint(&porch, SECTOR_CAMERA), Named("porch_view"));

  const qxVector3 start{3.5f, 0.7f, 0}, goal{0.7f, 3.5f, 0};
  ASSERT_EQ(WalkPlane_FindPath(nullptr, &start, &goal, 1, nullptr, nullptr), 1);
  const qxVector3* points = nullptr;
  const int count = WalkPlane_GetPath(&points);
  ASSERT_GT(count, 3);  // start, an arc around (1.5, 1.5), goal
  EXPECT_FLOAT_EQ(points[0].x, 3.5f);
  EXPECT_FLOAT_EQ(points[count - 1].y, 3.5f);
  const qxVector3 corner{1.5f, 1.5f, 0};
  for (int i = 1; i < count - 1; ++i) EXPECT_NEAR(walktest::Dist(points[i], corner), 0.02f, 1e-4f);
  // The same walk through the sector search.
  ASSERT_EQ(WalkPlane_FindPath(walktest::SectorWalker(), &start, &goal, 1, nullptr, nullptr), 1);
  EXPECT_FLOAT_EQ(points[WalkPlane_GetPath(&points) - 1].x, 0.7f);

  // Walking east stops at the narrow end of the gate.
  WalkFrame frame;
  WalkFrame_Construct(&frame, 45);
  const qxVector3 east{3.8f, 0.75f, 0};
  WalkFrame_SetPosition(&frame, &east);
  frame.frame.y = {1, 0, 0};
  WalkFrame_AttachToSector(&frame);
  WalkFrame_Orthonormalize(&frame);
  int steps = 0;
  while (steps < 100 && WalkFrame_Advance(&frame, 0.1f, nullptr, 1, 1)) ++steps;
  EXPECT_LT(steps, 100);
  EXPECT_EQ(frame.sector, Named("gate"));
  EXPECT_NEAR(frame.position.x, 6.0f, 1e-3f);
  WalkFrame_Unlink(&frame);
}

Room g_room{};

TEST_F(DemoFloor, HotspotsOfTheDemoSet) {
  ASSERT_TRUE(std::filesystem::exists(GameDir() / "demo.hot"));
  hotspots_LoadForSet((GameDir() / "demo.set").c_str());
  HotspotSet* set = hotspots_Init();
  ASSERT_EQ(set->numHotspots, 3);
  drevMain_Calls().roomGetCurrent = [] { return &g_room; };
  Hotspot* list[10];
  const HotspotPoint onLamp{240 + 440 * 9 / 4, 280 * 9 / 4};
  ASSERT_EQ(hotspots_QueryAtPoint(&onLamp, list, 10, 0), 1);
  EXPECT_STREQ(list[0]->idString, "lamp");
  const HotspotPoint onGate{240 + 620 * 9 / 4, 300 * 9 / 4};
  g_room.currentSetup = 1;
  ASSERT_EQ(hotspots_QueryAtPoint(&onGate, list, 10, 3), 1);
  EXPECT_STREQ(list[0]->idString, "gate");
  EXPECT_EQ(list[0]->cursor, 3);
}

}  // namespace
