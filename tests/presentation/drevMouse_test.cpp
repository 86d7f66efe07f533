// The mouse module with an injected mouse and clock: dialogue lines, cursor
// animation and cursor images, script hotspots and their descriptions, the
// mouse ray and floor point, the axis projection, and the "HOTS" block.
#include "presentation/drevMouse.h"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "PresentationTestSupport.h"
#include "engine/WalkPlane.h"
#include "engine/drevRoom.h"
#include "engine/hotspots.h"
#include "presentation/drevOverlay.h"
#include "quadrix/qxCamera.h"
#include "quadrix/qxCanvas.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxMatrix.h"

namespace {

using presentation_test::g_at;
using presentation_test::g_block;
using presentation_test::Read;
using presentation_test::Write;

int g_mouseX = 0, g_mouseY = 0;
uint32_t g_now = 1000;

void FakeMouse(int* x, int* y) {
  *x = g_mouseX;
  *y = g_mouseY;
}
uint32_t FakeTicks() {
  return g_now;
}

// Without a back buffer the fit is the identity, so a window point (x, y)
// is the overlay screen point (x + 240, y) in the 4:3 mapping.
void MouseAtScreen(int x, int y) {
  g_mouseX = x - 240;
  g_mouseY = y;
}

Room g_room{};
RoomSetup g_setup{};
qxCanvas g_canvas{};
qxCamera g_camera{};

class Mouse : public presentation_test::Presentation {
 protected:
  void SetUp() override {
    Presentation::SetUp();
    const drevMouseSource source{FakeMouse, FakeTicks};
    drevMouse_SetSource(&source);
    g_now = 1000;
    MouseAtScreen(0, 0);
    previousRoom_ = drevMain_Calls().roomGetCurrent;
    drevMain_Calls().roomGetCurrent = [] { return &g_room; };
    ASSERT_EQ(0, drevOverlay_Initialize(&hs_, &overlay_));
    ASSERT_EQ(0, overlay_.startup());
    ASSERT_EQ(0, drevMouse_Initialize(&hs_, &mouse_));
    ASSERT_EQ(0, mouse_.startup());
    EXPECT_EQ(1, mouse_.startup()) << "a second startup";
    m_ = drevOverlay_GetManager();
  }
  void TearDown() override {
    qxCore_pCurrentCamera = nullptr;
    g_room = Room{};
    WalkPlane_FreeSetSectors("mouse.set");
    mouse_.shutdown();
    overlay_.shutdown();
    drevMain_Calls().roomGetCurrent = previousRoom_;
    drevMouse_SetSource(nullptr);
    Presentation::TearDown();
  }
  OverlayEntry* Cursor() {
    return drevOverlay_Manager_FindOverlay(m_, drevMouse_GetCursorOverlay());
  }
  OverlayEntry* Animation() {
    return drevOverlay_Manager_FindOverlay(m_, drevMouse_GetAnimationOverlay());
  }
  static std::string ImageName(const OverlayEntry* e) {
    return e && e->image ? e->image->name : "(none)";
  }
  // A camera at (0, 0, 10) looking along +y: the world matrix is the identity.
  static void PlaceCamera() {
    g_canvas.centreX = 320.0f;
    g_canvas.centreY = 240.0f;
    g_camera.canvas = &g_canvas;
    g_camera.focal = 320.0f;
    qxCore_pCurrentCamera = &g_camera;
    qxMatrix34_Identity(&qxCore_cameraWorldMatrix);
    g_setup.position = qxVector3{0.0f, 0.0f, 10.0f};
    g_room.setups = &g_setup;
    g_room.numSetups = 1;
    g_room.currentSetup = 0;
  }
  // A walkable square sector around (cx, cy) on the ground.
  static Sector* Floor(float cx, float cy, float half) {
    const qxVector3 corners[4] = {{cx - half, cy - half, 0.0f},
                                  {cx + half, cy - half, 0.0f},
                                  {cx + half, cy + half, 0.0f},
                                  {cx - half, cy + half, 0.0f}};
    Sector* s = Sector_Init(corners, 4, nullptr, 0, "mouse.set");
    Sector_SetType(s, 0x1000);
    return s;
  }

  ModuleDescriptor overlay_{}, mouse_{};
  OverlayManager* m_ = nullptr;
  Room* (*previousRoom_)(void) = nullptr;
};

TEST_F(Mouse, SelectedDialogLines) {
  // Lines of x 465 to 1410; y 315-360, 360-405, 405-450.
  struct Case {
    int x, y, expected;
  } const cases[] = {{500, 360, 1},  {500, 450, 3}, {464, 400, 0}, {1410, 315, 1},
                     {1411, 315, 0}, {500, 314, 0}, {500, 451, 0}, {700, 404, 2}};
  for (const Case& c : cases) {
    MouseAtScreen(c.x, c.y);
    ASSERT_EQ(0, Run("line = GetSelectedDialog(100, 200, 20, 3)\nnone = GetSelectedDialog(100, "
                     "200, 20, 0)\n"));
    EXPECT_EQ(Number("line"), static_cast<float>(c.expected)) << c.x << "," << c.y;
    EXPECT_EQ(Number("none"), 0.0f);
  }
  MouseAtScreen(961, 7);
  ASSERT_EQ(0, Run("x, y = GetCursorPosition()\n"));
  EXPECT_EQ(Number("x"), 961.0f);
  EXPECT_EQ(Number("y"), 7.0f);
}

TEST_F(Mouse, CursorAnimationStepsEvery30Ms) {
  qxCore_pCurrentCamera = &g_camera;
  ASSERT_EQ(0, Run("CursorAnimation(9, 10)\n"));
  EXPECT_EQ(ImageName(Animation()), "(none)") << "image 9 is not registered before a restore";
  // Register all 23 images, as a restore does.
  g_block.clear();
  ASSERT_EQ(drevMouse_Save(Write), 0);
  g_at = 0;
  ASSERT_EQ(drevMouse_Restore(Read), 0);

  const uint32_t t = g_now = 5000;
  ASSERT_EQ(0, Run("CursorAnimation(3, 5)\n"));
  EXPECT_EQ(Animation()->layer, 4);
  EXPECT_EQ(ImageName(Animation()), "cursor03.png");
  const struct {
    uint32_t at;
    const char* image;
    int layer;
  } steps[] = {{t + 30, "cursor03.png", 4},  // not past the due time yet
               {t + 31, "cursor04.png", 4},
               {t + 59, "cursor04.png", 4},
               {t + 200, "cursor05.png", 4},  // late: one step per update
               {t + 200, "cursor05.png", 0}};
  for (const auto& s : steps) {
    g_now = s.at;
    drevMouse_UpdateCursor();
    EXPECT_EQ(ImageName(Animation()), s.image) << s.at - t;
    EXPECT_EQ(Animation()->layer, s.layer) << s.at - t;
  }
  ASSERT_EQ(0, Run("CursorAnimation(5, 5)\n"));
  g_now += 31;
  drevMouse_UpdateCursor();
  EXPECT_EQ(Animation()->layer, 0) << "a one-frame animation hides after one step";
  ASSERT_EQ(0, Run("CursorAnimation(3, 23)\n"));
  EXPECT_EQ(Animation()->layer, 0) << "numbers above 22 are ignored";
}

TEST_F(Mouse, CursorImagesBeforeAndAfterARestore) {
  ASSERT_EQ(0, Run("SetCursor(0)\nShowCursor(1)\n"));
  EXPECT_EQ(ImageName(Cursor()), "cursor00.png");
  EXPECT_EQ(Cursor()->layer, 4);
  EXPECT_EQ(Cursor()->coords, 2);
  EXPECT_EQ(Cursor()->image->cache, 1) << "cursor images are pinned";
  ASSERT_EQ(0, Run("SetCursor(9)\n"));
  EXPECT_EQ(ImageName(Cursor()), "(none)") << "image 9 is registered only by a restore";
  ASSERT_EQ(0, Run("SetCursor(2)\nSetCursor(23)\n"));
  EXPECT_EQ(ImageName(Cursor()), "cursor02.png") << "23 is ignored";

  // The cursor follows the mouse, centred, while a camera exists.
  Cursor()->width = 20;
  Cursor()->height = 10;
  MouseAtScreen(600, 300);
  drevMouse_UpdateCursor();
  EXPECT_EQ(Cursor()->x, 0) << "no camera: no update";
  qxCore_pCurrentCamera = &g_camera;
  drevMouse_UpdateCursor();
  EXPECT_EQ(Cursor()->x, 590);
  EXPECT_EQ(Cursor()->y, 295);

  g_block.clear();
  ASSERT_EQ(drevOverlay_Save(Write), 0);
  ASSERT_EQ(drevMouse_Save(Write), 0);
  g_at = 0;
  ASSERT_EQ(drevOverlay_Restore(Read), 0);
  ASSERT_EQ(drevMouse_Restore(Read), 0);
  EXPECT_EQ(g_at, g_block.size());
  EXPECT_EQ(ImageName(Cursor()), "cursor02.png");
  ASSERT_EQ(0, Run("SetCursor(9)\n"));
  EXPECT_EQ(ImageName(Cursor()), "cursor09.png");
  EXPECT_EQ(Cursor()->image->cache, 1);
  ASSERT_EQ(0, Run("SetCursor(-1)\n"));
  EXPECT_EQ(ImageName(Cursor()), "(none)");
  ASSERT_EQ(0, Run("CursorAnimation(1, 2)\nShowCursor(0)\n"));
  EXPECT_EQ(Cursor()->layer, 0);
  EXPECT_EQ(Animation()->layer, 0);
  g_now += 100;
  drevMouse_UpdateCursor();
  EXPECT_EQ(ImageName(Animation()), "cursor01.png") << "ShowCursor(0) stopped the animation";
}

TEST_F(Mouse, ScriptHotspotsLayersPolygonsAndDescriptions) {
  ASSERT_EQ(0, Run("door = AddHotspot('door', 10, 20, 30, 40, 1, 5, 0, 'door.png', nil, 0)\n"
                   "lever = AddHotspot('lever', 0, 0, 5, 5, 3, 0, 1, 'lever.png', nil, 1)\n"
                   "bad = AddHotspot(7, 0, 0, 5, 5, 3, 0)\n"));
  EXPECT_TRUE(IsNil("bad"));
  HotspotSet* set = hotspots_Init();
  ASSERT_EQ(set->numHotspots, 2);
  const Hotspot* door = set->hotspots[0];
  EXPECT_EQ(door->id, static_cast<int>(Number("door")));
  EXPECT_EQ(door->type, HOTSPOT_SCRIPT);
  EXPECT_EQ(door->setup, -1);
  const int expected[4][2] = {{5, 15}, {45, 15}, {45, 65}, {5, 65}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(door->points[i].x, expected[i][0]) << i;
    EXPECT_EQ(door->points[i].y, expected[i][1]) << i;
  }
  const OverlayEntry* doorImage = drevOverlay_Manager_FindOverlay(m_, door->overlay);
  ASSERT_NE(doorImage, nullptr);
  EXPECT_EQ(doorImage->layer, 2);
  EXPECT_EQ(doorImage->visibility, 2);
  EXPECT_EQ(doorImage->x, 10);
  const Hotspot* lever = set->hotspots[1];
  EXPECT_EQ(lever->type, HOTSPOT_SCRIPT_8);
  EXPECT_EQ(drevOverlay_Manager_FindOverlay(m_, lever->overlay)->layer, 12);

  // Long ids are cut to 31 characters; removal takes the overlay with it.
  const std::string longId(40, 'i');
  ASSERT_EQ(0, Run("long = AddHotspot('" + longId + "', 0, 0, 1, 1, 1, 0, 0, nil, nil, 2)\n"));
  EXPECT_EQ(std::strlen(set->hotspots[2]->idString), 31u);
  const int doorOverlay = door->overlay;
  ASSERT_EQ(0, Run("RemoveHotspot(door)\n"));
  EXPECT_EQ(drevOverlay_Manager_FindOverlay(m_, doorOverlay), nullptr);

  // Twelve hotspots under the mouse: ten descriptions, keyed from 0.
  for (int i = 0; i < 12; ++i) {
    ASSERT_EQ(
        0, Run("AddHotspot('h" + std::to_string(i) + "', 0, 0, 100, 100, 4, 0, 0, nil, nil, 2)\n"));
  }
  MouseAtScreen(50, 50);
  ASSERT_EQ(0, Run("found = QueryActiveHotspots(0)\n"
                   "n = 0\nwhile found[n] do n = n + 1 end\n"
                   "first = found[0]\nt, c, id = first.type, first.cursor, first.id\n"));
  EXPECT_EQ(Number("n"), 10.0f);
  EXPECT_EQ(String("t"), "overlay");
  EXPECT_EQ(Number("c"), 4.0f);
  EXPECT_EQ(String("id").substr(0, 1), "h");
}

TEST_F(Mouse, RayFloorPointAndAxis) {
  // The on-ground point: the ray from (0, 0, 10) through (0, 100, 0).
  const qxVector3 from{0.0f, 0.0f, 10.0f}, through{0.0f, 100.0f, 0.0f};
  qxVector3 p{};
  EXPECT_EQ(drevMouse_FloorPointOnGround(&from, &through, &p), 0) << "no walk sector";
  Floor(0.0f, 100.0f, 5.0f);
  ASSERT_EQ(drevMouse_FloorPointOnGround(&from, &through, &p), 1);
  EXPECT_NEAR(p.y, 100.0f, 1e-3f);
  EXPECT_NEAR(p.z, 0.0f, 1e-3f);
  const qxVector3 level{0.0f, 100.0f, 10.0f};
  EXPECT_EQ(drevMouse_FloorPointOnGround(&from, &level, &p), 0) << "parallel to the ground";

  // The mouse ray through the picture's centre, and the floor under it.
  ASSERT_EQ(0, Run("none = GetFloorWalkPos(1)\n"));
  EXPECT_TRUE(IsNil("none")) << "no camera";
  PlaceCamera();
  Floor(0.0f, 1.0f, 0.5f);
  MouseAtScreen(960, 540);
  qxVector3 near{}, far{};
  const float centre[2] = {960.0f, 540.0f};
  ASSERT_EQ(drevMouse_ScreenRay(centre, &far, &near), 1);
  EXPECT_EQ(near.z, 10.0f);
  EXPECT_NEAR(std::sqrt(far.y * far.y + (far.z - 10.0f) * (far.z - 10.0f)), 100.0f, 1e-3f);
  ASSERT_EQ(0, Run("p = GetFloorWalkPos(1)\nx, y, z = p.x, p.y, p.z\n"
                   "q = GetFloorWalkPos()\nqy = q and q.y\n"));
  EXPECT_NEAR(Number("y"), 1.0f, 1e-3f);
  EXPECT_NEAR(Number("z"), 0.0f, 1e-3f);
  EXPECT_NEAR(Number("qy"), 1.0f, 1e-3f) << "the walk-sector hit along the ray";

  // The point of the z axis through (0, 0, 0) closest to a ray along y at height 3.
  const qxVector3 dir{0.0f, 1.0f, 0.0f}, axis{0.0f, 0.0f, 1.0f}, origin{5.0f, -10.0f, 3.0f},
      point{0.0f, 0.0f, 0.0f};
  float t = 0.0f;
  ASSERT_EQ(drevMouse_ClosestOnAxis(&dir, &axis, &origin, &point, &t), 1);
  EXPECT_NEAR(t, 3.0f, 1e-5f);
  EXPECT_EQ(drevMouse_ClosestOnAxis(&axis, &axis, &origin, &point, &t), 0) << "parallel";

  Actor* actor = MakeActor("a");
  actor->position = qxVector3{0.0f, 20.0f, 2.0f};
  ASSERT_EQ(0,
            Run("pos, t = ProjectToAxis(a, 0, 0, 1, 0)\nwrong = ProjectToAxis('a', 0, 0, 1, 0)\n"));
  EXPECT_TRUE(IsNil("wrong"));
  // The ray meets y = 20 at z = 10 - 20 x 10 = -190: t = -192 from the actor, P.z + t = -190.
  EXPECT_NEAR(Number("t"), -192.0f, 1e-2f);
  EXPECT_NEAR(Number("pos"), -190.0f, 1e-2f);
}

TEST_F(Mouse, HotsBlockRoundTripAndShortReads) {
  ASSERT_EQ(0, Run("AddHotspot('door', 10, 20, 30, 40, 1, 5, 0, nil, nil, 0)\n"));
  g_block.clear();
  ASSERT_EQ(drevMouse_Save(Write), 0);
  int32_t ids[2];
  std::memcpy(ids, g_block.data(), 8);
  EXPECT_EQ(ids[0], drevMouse_GetCursorOverlay());
  EXPECT_EQ(ids[1], drevMouse_GetAnimationOverlay());
  hotspots_FreeAll();
  g_at = 0;
  ASSERT_EQ(drevMouse_Restore(Read), 0);
  ASSERT_EQ(hotspots_Init()->numHotspots, 1);
  EXPECT_STREQ(hotspots_Init()->hotspots[0]->idString, "door");
  const std::vector<uint8_t> whole = g_block;
  const int32_t far = 5000;  // an id outside -1..1023 names no overlay
  std::memcpy(g_block.data(), &far, 4);
  g_at = 0;
  ASSERT_EQ(drevMouse_Restore(Read), 0);
  EXPECT_EQ(drevMouse_GetCursorOverlay(), -1);
  EXPECT_EQ(drevMouse_GetAnimationOverlay(), ids[1]);
  g_block = whole;
  g_at = 0;
  ASSERT_EQ(drevMouse_Restore(Read), 0);
  g_block.resize(6);
  g_at = 0;
  EXPECT_EQ(drevMouse_Restore(Read), 1);
  EXPECT_EQ(drevMouse_GetCursorOverlay(), ids[0]) << "a failed read leaves the ids";
}

}  // namespace
