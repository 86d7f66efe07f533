// The demo game's walk floor and hotspots, read from the staged game folder:
// a path from the yard onto the porch, the funnel through the gate, and the
// hotspots of the two camera setups.
#include <cstdlib>
#include <cstring>
#include <filesystem>

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
  // The sectors section of the staged demo.set.
  void ReadDemoSectors() {
    const std::filesystem::path set = GameDir() / "Sets" / "demo.set";
    ASSERT_EQ(stdConffile_Open(set.c_str()), 1);
    bool found = false;
    while (!found && stdConffile_NextLine()) {
      found = std::strncmp(stdConffile_line, "section: sectors", 16) == 0;
    }
    ASSERT_TRUE(found);
    WalkPlane_ReadSectors("demo.set");
    stdConffile_Close();
    Use("demo.set");
  }
};

TEST_F(DemoFloor, PathOntoThePorchAndOutThroughTheGate) {
  ASSERT_FALSE(GameDir().empty());
  ReadDemoSectors();
  ASSERT_TRUE(Named("yard") && Named("porch") && Named("gate") && Named("porch_view"));
  EXPECT_EQ(Named("gate")->type, SECTOR_FUNNEL);
  const qxVector3 door{-1.4f, 2.45f, 0};
  EXPECT_EQ(WalkPlane_FindSectorAtPoint(&door, SECTOR_CAMERA), Named("porch_view"));
  EXPECT_EQ(WalkPlane_FindSectorAtPoint(&door, SECTOR_WALK), Named("porch"));

  // From beside the gate to the door: across the yard onto the porch.
  const qxVector3 start{2.9f, 0.9f, 0};
  ASSERT_EQ(WalkPlane_FindPath(nullptr, &start, &door, 1, nullptr, nullptr), 1);
  const qxVector3* points = nullptr;
  const int count = WalkPlane_GetPath(&points);
  ASSERT_GE(count, 2);
  EXPECT_FLOAT_EQ(points[0].x, 2.9f);
  EXPECT_FLOAT_EQ(points[count - 1].x, -1.4f);
  EXPECT_FLOAT_EQ(points[count - 1].y, 2.45f);
  // The same walk through the sector search.
  ASSERT_EQ(WalkPlane_FindPath(walktest::SectorWalker(), &start, &door, 1, nullptr, nullptr), 1);
  EXPECT_FLOAT_EQ(points[WalkPlane_GetPath(&points) - 1].y, 2.45f);

  // Walking east through the gate stops at the narrow end of its funnel.
  WalkFrame frame;
  WalkFrame_Construct(&frame, 45);
  const qxVector3 inside{3.1f, 0.9f, 0};
  WalkFrame_SetPosition(&frame, &inside);
  frame.frame.y = {1, 0, 0};
  WalkFrame_AttachToSector(&frame);
  WalkFrame_Orthonormalize(&frame);
  int steps = 0;
  while (steps < 100 && WalkFrame_Advance(&frame, 0.1f, nullptr, 1, 1)) ++steps;
  EXPECT_LT(steps, 100);
  EXPECT_EQ(frame.sector, Named("gate"));
  EXPECT_NEAR(frame.position.x, 5.0f, 1e-3f);
  WalkFrame_Unlink(&frame);
}

Room g_room{};

// The regions are the things' boxes seen through each setup's camera; the
// points below lie inside the lamp over the door and inside the gate as the
// wide view (setup 0) shows them, and on the window as the porch view
// (setup 1) shows it.
TEST_F(DemoFloor, HotspotsOfTheDemoSet) {
  ASSERT_TRUE(std::filesystem::exists(GameDir() / "demo.hot"));
  hotspots_LoadForSet((GameDir() / "demo.set").c_str());
  HotspotSet* set = hotspots_Init();
  ASSERT_EQ(set->numHotspots, 8);
  drevMain_Calls().roomGetCurrent = [] { return &g_room; };
  auto screen = [](int x, int y) { return HotspotPoint{240 + x * 9 / 4, y * 9 / 4}; };
  Hotspot* list[10];
  g_room.currentSetup = 0;
  HotspotPoint point = screen(192, 131);
  ASSERT_EQ(hotspots_QueryAtPoint(&point, list, 10, 0), 1);
  EXPECT_STREQ(list[0]->idString, "lamp");
  point = screen(580, 300);
  ASSERT_EQ(hotspots_QueryAtPoint(&point, list, 10, 3), 1);  // walk hotspots only
  EXPECT_STREQ(list[0]->idString, "gate");
  EXPECT_EQ(list[0]->cursor, 3);
  g_room.currentSetup = 1;
  EXPECT_EQ(hotspots_QueryAtPoint(&point, list, 10, 3), 0);  // no gate in the porch view
  point = screen(450, 200);
  ASSERT_EQ(hotspots_QueryAtPoint(&point, list, 10, 0), 1);
  EXPECT_STREQ(list[0]->idString, "window");
}

}  // namespace
