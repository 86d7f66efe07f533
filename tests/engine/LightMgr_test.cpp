// The light manager's editing logic, the controls it enables and its
// rewrite of a set file's lights. Its message boxes are answered here.
#include "engine/LightMgr.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "RoomTestSupport.h"
#include "platform/kv_Platform.h"
#include "quadrix/qxCamera.h"

namespace {

using roomtest::RoomTest;

// The message boxes shown, as "title: text".
std::vector<std::string> g_boxes;
int AnswerBox(const SDL_MessageBoxData* data, int* button) {
  g_boxes.push_back(std::string(data->title) + ": " + data->message);
  *button = 0;
  return 0;
}

std::string SetWithLights(int count) {
  std::string text =
      "section: colormaps\n numcolormaps 1\n colormap room.cmp\n"
      "section: setups\n numsetups 2\n setup a\n background a.bmp\n interest 1 2 3\n fov 60\n"
      " setup b\n background a.bmp\n fov 60\n"
      "section: lights\n numlights " +
      std::to_string(count) + "\n";
  for (int i = 0; i < count; ++i) text += " light l" + std::to_string(i) + "\n";
  return text;
}

class LightManager : public RoomTest {
 protected:
  void SetUp() override {
    RoomTest::SetUp();
    world_.backgrounds = {"a.bmp"};
    world_.colormaps = {"room.cmp"};
    g_boxes.clear();
    kv_Platform_SetMessageBoxHandler(AnswerBox);
  }
  void TearDown() override {
    LightMgr_Begin(nullptr);
    kv_Platform_SetMessageBoxHandler(nullptr);
    RoomTest::TearDown();
  }
  Room* Enter(int lights) {
    Room* room = Load(Write("lm.set", SetWithLights(lights)));
    EXPECT_NE(room, nullptr);
    drevRoom_MakeCurrent(room, nullptr);
    LightMgr_Begin(room);
    return room;
  }
  std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
};

TEST_F(LightManager, The64thLightIsAddedThe65thRefused) {
  Room* room = Enter(63);
  EXPECT_EQ(LightMgr_GetSelected(), 0);
  EXPECT_EQ(LightMgr_Add(), 63);
  EXPECT_EQ(room->numLights, 64u);
  const RoomLight& added = room->lights[63];
  EXPECT_STREQ(added.name, "newlight63");
  EXPECT_EQ(added.light.type, QXLIGHT_POINT);
  EXPECT_EQ(added.light.active, 1);
  EXPECT_EQ(added.light.color, 0xFFFFFFu);
  EXPECT_FLOAT_EQ(added.position.z, 3.0f);  // the current setup's interest point
  EXPECT_EQ(room->setups[1].camera->lightCount, 64);
  EXPECT_EQ(LightMgr_GetSelected(), 63);
  EXPECT_TRUE(g_boxes.empty());
  EXPECT_EQ(LightMgr_Add(), -1);
  EXPECT_EQ(room->numLights, 64u);
  EXPECT_EQ(g_boxes, std::vector<std::string>{"Can't Add Light: Maximum number of lights already "
                                              "in room.  Try deleting a few."});
}

TEST_F(LightManager, NewLightNamesSkipNamesInUse) {
  Room* room = Enter(2);
  std::strcpy(room->lights[0].name, "NEWLIGHT2");
  EXPECT_EQ(LightMgr_Add(), 2);
  EXPECT_STREQ(room->lights[2].name, "newlight3");
}

TEST_F(LightManager, RenameReplacesBlanksCutsAndRefusesDuplicates) {
  Room* room = Enter(3);
  LightMgr_Select(1);
  EXPECT_EQ(LightMgr_Rename("desk lamp by the door"), 1);
  EXPECT_STREQ(room->lights[1].name, "desk_lamp_by_the_door");
  EXPECT_EQ(LightMgr_Rename("a very long name that is longer than thirty-one"), 1);
  EXPECT_EQ(std::strlen(room->lights[1].name), 31u);
  EXPECT_EQ(LightMgr_Rename("L2"), 0);
  EXPECT_EQ(std::strlen(room->lights[1].name), 31u);
  EXPECT_EQ(g_boxes, std::vector<std::string>{"Duplicate light name: That name is already being "
                                              "used.  Enter a different one."});
}

TEST_F(LightManager, HeldArrowKeysMoveFasterWithEveryRepeat) {
  Room* room = Enter(1);
  const float x = room->lights[0].position.x;
  std::vector<float> steps;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(LightMgr_Key(LightMgrKey::Right, 1, 0), 1);
    steps.push_back(LightMgr_GetPositionStep());
  }
  EXPECT_NEAR(steps[0], 0.01f, 1e-6);
  EXPECT_NEAR(steps[1], 0.015f, 1e-6);
  EXPECT_NEAR(steps[2], 0.02f, 1e-6);
  EXPECT_NEAR(room->lights[0].position.x, x + 0.045f, 1e-5);
  EXPECT_NEAR(room->setups[0].camera->lightPositions[0].x, x + 0.045f, 1e-5);
  EXPECT_EQ(LightMgr_Key(LightMgrKey::Right, 0, 0), 1);  // release: swallowed, reset
  EXPECT_EQ(LightMgr_Key(LightMgrKey::Up, 1, 1), 1);     // with Alt: z
  EXPECT_NEAR(room->lights[0].position.z, 0.01f, 1e-6);
  EXPECT_EQ(LightMgr_Key(LightMgrKey::Pad6, 1, 0), 1);
  EXPECT_EQ(LightMgr_Key(LightMgrKey::Pad6, 1, 0), 1);
  EXPECT_FLOAT_EQ(LightMgr_GetAngleStep(), 1.5f);
  qxVector3 angles;
  LightMgr_GetAngles(&angles);
  EXPECT_FLOAT_EQ(angles.y, 2.5f);
  // Any other key goes on, and the next nudge starts slow again; Alt is taken.
  EXPECT_EQ(LightMgr_Key(LightMgrKey::Other, 1, 0), 0);
  EXPECT_EQ(LightMgr_Key(LightMgrKey::Pad6, 1, 0), 1);
  EXPECT_FLOAT_EQ(LightMgr_GetAngleStep(), 1.0f);
  EXPECT_EQ(LightMgr_Key(LightMgrKey::Alt, 1, 1), 1);
  LightMgr_Select(-1);
  EXPECT_EQ(LightMgr_Key(LightMgrKey::Right, 1, 0), 0);  // no row selected: not the tool's
}

// Which controls take input for the selected light.
TEST_F(LightManager, ControlsFollowTheSelectedLightsType) {
  Room* room = Enter(3);
  room->lights[0].light.type = QXLIGHT_POINT;
  room->lights[1].light.type = QXLIGHT_SPOT;
  room->lights[2].light.type = 1;  // direct
  const int controls[] = {kLightMgrAdd,   kLightMgrRevertAll, kLightMgrDelete,
                          kLightMgrSave,  kLightMgrPositionX, kLightMgrAngleY,
                          kLightMgrInner, kLightMgrOuter,     kLightMgrIntensityUpDown,
                          kLightMgrRename};
  struct Case {
    int row;
    std::vector<int> enabled;  // one per control above
  };
  const Case cases[] = {
      {-1, {1, 1, 0, 0, 0, 0, 0, 0, 0, 0}},
      {0, {1, 1, 1, 1, 1, 0, 0, 0, 1, 1}},  // omni: no angles, no cones
      {1, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1}},  // spot: everything
      {2, {1, 1, 1, 1, 1, 1, 0, 0, 1, 1}},  // direct: no cones
  };
  for (const Case& c : cases) {
    LightMgr_Select(c.row);
    std::vector<int> enabled;
    for (int control : controls) enabled.push_back(LightMgr_IsEnabled(control));
    EXPECT_EQ(enabled, c.enabled) << "row " << c.row;
  }
}

TEST_F(LightManager, DeleteRevertAndEdits) {
  Room* room = Enter(3);
  LightMgr_Select(2);
  LightMgr_SetIntensity(LightMgr_UpDown(0.5f, 1000, 1));
  EXPECT_FLOAT_EQ(room->lights[2].light.intensity, 0.501f);
  LightMgr_SetConeAngles(10, 30);
  EXPECT_GT(room->lights[2].light.cosInner, room->lights[2].light.cosOuter);
  LightMgr_SetAngle(1, 90);  // yaw: (0, 1, 0) turns to -x
  EXPECT_NEAR(room->lights[2].light.direction.x, -1.0f, 1e-3);
  LightMgr_RevertSelected();
  EXPECT_FLOAT_EQ(room->lights[2].light.intensity, 1.0f);
  LightMgr_Delete();
  EXPECT_EQ(room->numLights, 2u);
  EXPECT_EQ(LightMgr_GetSelected(), 1);  // the last row was deleted: the one before
  EXPECT_EQ(room->setups[0].camera->lightCount, 2);
  LightMgr_Select(0);
  LightMgr_Delete();
  EXPECT_STREQ(room->lights[0].name, "l1");
  EXPECT_EQ(LightMgr_GetSelected(), 0);
  LightMgr_SetAllOn(0);
  EXPECT_EQ(room->lights[0].light.active, 0);
  LightMgr_RevertAll();
  EXPECT_EQ(room->numLights, 3u);
  EXPECT_STREQ(room->lights[0].name, "l0");
  EXPECT_EQ(room->setups[1].camera->lightCount, 3);
}

struct Rewrite {
  const char* name;
  const char* before;
  const char* after;  // the text around the new lights section; null: no output
};

// The temporary copy goes to a folder of the test's own, which must be
// empty again afterwards.
class LightSave : public LightManager, public ::testing::WithParamInterface<Rewrite> {
 protected:
  void SetUp() override {
    LightManager::SetUp();
    std::filesystem::create_directories(Path("tmp"));
    const char* old = std::getenv("TMPDIR");
    oldTemp_ = old ? old : "";
    hadTemp_ = old != nullptr;
    setenv("TMPDIR", Path("tmp").c_str(), 1);
  }
  void TearDown() override {
    if (hadTemp_) {
      setenv("TMPDIR", oldTemp_.c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
    LightManager::TearDown();
  }
  bool TempFolderEmpty() const { return std::filesystem::is_empty(Path("tmp")); }

  std::string oldTemp_;
  bool hadTemp_ = false;
};

TEST_P(LightSave, RewritesTheLightsSection) {
  Room* room = Enter(1);
  room->lights[0].position = {1, 2, 3};
  const std::string source = Write("source.set", GetParam().before);
  const std::string output = Path("out.set");
  const int ok = LightMgr_SaveLights(source.c_str(), output.c_str());
  EXPECT_TRUE(TempFolderEmpty());
  EXPECT_TRUE(g_boxes.empty());
  if (!GetParam().after) {
    EXPECT_EQ(ok, 0);
    EXPECT_FALSE(std::filesystem::exists(output));
    return;
  }
  ASSERT_EQ(ok, 1);
  std::string expected = GetParam().after;
  expected.replace(expected.find("@"), 1, drevRoom_LightsSectionText(room));
  EXPECT_EQ(ReadFile(output), expected);
}

const std::string kLongLine = "# " + std::string(400, 'x') + "\n";
const std::string kLongBefore =
    "section: setups\n" + kLongLine + "section: lights\n old\nsection: sectors\n" + kLongLine;
const std::string kLongAfter = "section: setups\n" + kLongLine + "@section: sectors\n" + kLongLine;

INSTANTIATE_TEST_SUITE_P(
    Cases, LightSave,
    ::testing::Values(
        Rewrite{"middle",
                "section: colormaps\n\tnumcolormaps 1\nsection: lights\n\tnumlights 9\n\tlight x\n"
                "section: sectors\n\tsector s\n",
                "section: colormaps\n\tnumcolormaps 1\n@section: sectors\n\tsector s\n"},
        // A lights section that ends the file leaves nothing written.
        Rewrite{"last", "section: setups\n\tnumsetups 0\nsection: lights\n\tlight x\n", nullptr},
        Rewrite{"none", "section: setups\n\tnumsetups 0\n", nullptr},
        Rewrite{"long_lines_whole", kLongBefore.c_str(), kLongAfter.c_str()}),
    [](const ::testing::TestParamInfo<Rewrite>& info) { return std::string(info.param.name); });

TEST_F(LightSave, AMissingSetFileIsReported) {
  Enter(1);
  const std::string output = Path("out.set");
  EXPECT_EQ(LightMgr_SaveLights("missing.set", output.c_str()), 0);
  EXPECT_EQ(g_boxes, std::vector<std::string>{"Error: Could not open file \"missing.set\"."});
  EXPECT_FALSE(std::filesystem::exists(output));
}

}  // namespace
