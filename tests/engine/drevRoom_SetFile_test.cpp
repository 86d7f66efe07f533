// Set files: sections, the companion file, the cutscene-light fallback, the
// writer and setups from a scene's camera.
#include <cmath>
#include <functional>

#include "RoomTestSupport.h"
#include "../../tools/demodata/SetxWriter.h"

namespace {

using roomtest::kSmallSet;
using roomtest::RoomTest;

class SetFile : public RoomTest {};

void ExpectSmallSet(const Room* room) {
  ASSERT_NE(room, nullptr);
  EXPECT_STREQ(room->name, "small.set");
  ASSERT_NE(room->apColormaps, nullptr);
  EXPECT_EQ(room->numColormaps, 1u);
  EXPECT_STREQ(room->colormapName, "room.cmp");  // lines arrive lower-cased
  ASSERT_EQ(room->numSetups, 2u);
  const RoomSetup& wide = room->setups[0];
  EXPECT_STREQ(wide.name, "wide");
  EXPECT_STREQ(wide.backgroundName, "wide.bmp");
  EXPECT_STREQ(wide.zbufferName, "wide.zbm");
  EXPECT_FLOAT_EQ(wide.position.x, 1.5f);
  EXPECT_FLOAT_EQ(wide.position.y, -2.0f);
  EXPECT_FLOAT_EQ(wide.interest.y, 10.0f);
  EXPECT_FLOAT_EQ(wide.fov, 60.0f);
  EXPECT_FLOAT_EQ(wide.nclip, 0.1f);
  EXPECT_FLOAT_EQ(wide.fclip, 100.0f);
  EXPECT_STREQ(room->setups[1].name, "close");
  ASSERT_EQ(room->numLights, 2u);
  const RoomLight& lamp = room->lights[0];
  EXPECT_STREQ(lamp.name, "lamp");
  EXPECT_EQ(lamp.light.type, QXLIGHT_SPOT);
  EXPECT_EQ(lamp.light.active, 1);
  EXPECT_FLOAT_EQ(lamp.position.z, 3.0f);
  EXPECT_FLOAT_EQ(lamp.light.direction.z, -1.0f);  // normalised
  EXPECT_FLOAT_EQ(lamp.light.intensity, 0.75f);
  EXPECT_FLOAT_EQ(lamp.light.innerAngle, 20.0f);
  EXPECT_FLOAT_EQ(lamp.light.outerAngle, 40.0f);
  EXPECT_EQ(lamp.light.color, 0xFF8001u);
  const RoomLight& flash = room->lights[1];
  EXPECT_STREQ(flash.name, "flash");
  EXPECT_EQ(flash.light.active, 0);  // a light named "flash" starts off
  EXPECT_EQ(flash.light.type, QXLIGHT_POINT);
  EXPECT_EQ(flash.light.color, 0xFFFFFFu);
}

TEST_F(SetFile, SmallSetReads) {
  ExpectSmallSet(Load(Write("small.set", kSmallSet)));
}

TEST_F(SetFile, WrittenSetReadsBackTheSame) {
  Room* room = Load(Write("small.set", kSmallSet));
  ASSERT_NE(room, nullptr);
  std::filesystem::create_directories(Path("out"));
  ASSERT_EQ(drevRoom_WriteSetFile(Path("out/small.set").c_str(), room), 1);
  ExpectSmallSet(Load(Path("out/small.set")));
}

struct EdgeCase {
  const char* name;
  const char* text;
  bool loads;
  std::function<void(const Room*)> check;
};

class SetFileEdge : public RoomTest, public ::testing::WithParamInterface<EdgeCase> {};

TEST_P(SetFileEdge, Reads) {
  Room* room = Load(Write("edge.set", GetParam().text));
  if (!GetParam().loads) {
    EXPECT_EQ(room, nullptr);
    return;
  }
  ASSERT_NE(room, nullptr);
  if (GetParam().check) GetParam().check(room);
}

std::string ManyLights(int announced, int listed) {
  std::string text = "section: lights\n numlights " + std::to_string(announced) + "\n";
  for (int i = 0; i < listed; ++i) text += " light l" + std::to_string(i) + "\n intensity 2\n";
  return text;
}
const std::string kManyLights = ManyLights(70, 66);

INSTANTIATE_TEST_SUITE_P(
    Cases, SetFileEdge,
    ::testing::Values(
        EdgeCase{"unregistered_section_inside_setups",
                 "section: setups\n numsetups 1\n setup a\nsection: bogus\n widgets 5\n", false,
                 nullptr},
        EdgeCase{"colormap_count_zero", "section: colormaps\n numcolormaps 0\n colormap x.cmp\n",
                 true,
                 [](const Room* r) {
                   EXPECT_EQ(r->apColormaps, nullptr);
                   EXPECT_EQ(r->numColormaps, 0u);
                   EXPECT_STREQ(r->colormapName, "<none>");
                 }},
        EdgeCase{"no_colormaps_section", "section: setups\n numsetups 0\n", true,
                 [](const Room* r) {
                   EXPECT_EQ(r->apColormaps, nullptr);
                   EXPECT_EQ(r->numColormaps, 0u);
                 }},
        EdgeCase{"second_colormaps_section",
                 "section: colormaps\n numcolormaps 1\nsection: colormaps\n numcolormaps 2\n",
                 false, nullptr},
        EdgeCase{"more_setup_lines_than_numsetups",
                 "section: setups\n numsetups 1\n setup a\n setup b\n", false, nullptr},
        EdgeCase{"fewer_setup_lines_leave_zeroed_setups",
                 "section: setups\n numsetups 3\n setup a\n fov 30\n", true,
                 [](const Room* r) {
                   ASSERT_EQ(r->numSetups, 3u);
                   EXPECT_FLOAT_EQ(r->setups[0].fov, 30.0f);
                   EXPECT_STREQ(r->setups[2].name, "");
                   EXPECT_FLOAT_EQ(r->setups[2].fov, 0.0f);
                 }},
        EdgeCase{"key_before_numsetups", "section: setups\n setup a\n", false, nullptr},
        EdgeCase{"key_before_first_setup", "section: setups\n numsetups 1\n fov 3\n", false,
                 nullptr},
        EdgeCase{"position_needs_three_values",
                 "section: setups\n numsetups 1\n setup a\n position 1 2\n", false, nullptr},
        EdgeCase{"type_words",
                 "section: lights\n numlights 4\n light a\n type spot\n light b\n type Omni\n"
                 " light c\n type direct\n light d\n type lamp\n",
                 true,
                 [](const Room* r) {
                   EXPECT_EQ(r->lights[0].light.type, 3);
                   EXPECT_EQ(r->lights[1].light.type, 2);
                   EXPECT_EQ(r->lights[2].light.type, 0);
                   EXPECT_EQ(r->lights[3].light.type, 0);
                 }},
        EdgeCase{"short_light_list", "section: lights\n numlights 3\n light a\n", true,
                 [](const Room* r) {
                   EXPECT_EQ(r->numLights, 3u);
                   EXPECT_STREQ(r->lights[0].name, "a");
                   EXPECT_STREQ(r->lights[2].name, "");
                   EXPECT_EQ(r->lights[2].light.type, 0);
                   EXPECT_EQ(r->lights[2].light.active, 0);
                 }},
        EdgeCase{"keys_before_numlights_ignored",
                 "section: lights\n light early\n numlights 1\n light a\n colour 1 2\n", true,
                 [](const Room* r) {
                   EXPECT_EQ(r->numLights, 1u);
                   EXPECT_STREQ(r->lights[0].name, "a");
                 }},
        EdgeCase{"more_than_64_lights", kManyLights.c_str(), true,
                 [](const Room* r) {
                   EXPECT_EQ(r->numLights, 64u);
                   EXPECT_STREQ(r->lights[63].name, "l63");
                 }},
        EdgeCase{"long_names_cut",
                 "section: setups\n numsetups 1\n"
                 " setup a123456789b123456789c123456789d123456789\n"
                 " background a123456789b123456789c123456789d123456789.bmp\n",
                 true,
                 [](const Room* r) {
                   EXPECT_STREQ(r->setups[0].name, "a123456789b123456789c123456789d");
                   EXPECT_EQ(std::strlen(r->setups[0].backgroundName), 31u);
                 }},
        EdgeCase{"color_components_stay_8_bits",
                 "section: lights\n numlights 1\n light a\n color 300 -1 7\n", true,
                 [](const Room* r) { EXPECT_EQ(r->lights[0].light.color, 0x2CFF07u); }}),
    [](const ::testing::TestParamInfo<EdgeCase>& info) { return std::string(info.param.name); });

TEST_F(SetFile, DeeplyNestedSectionsFailInsteadOfOverflowing) {
  std::string text;
  for (int i = 0; i < 5000; ++i) text += "section: lights\n";
  EXPECT_EQ(Load(Write("deep.set", text)), nullptr);
}

TEST_F(SetFile, MissingFileDoesNotLoad) {
  EXPECT_EQ(Load(Path("none.set")), nullptr);
}

// ---- Companion files -------------------------------------------------------------

constexpr char kTinySet[] = "section: colormaps\n numcolormaps 1\n colormap x.cmp\n";

class Companion : public RoomTest, public ::testing::WithParamInterface<int> {};

TEST_P(Companion, EveryVersionReads) {
  const int version = GetParam();
  setx::Light pulse;
  pulse.name = "pulse";
  pulse.mode = 1;
  pulse.flag = 1;
  pulse.group = 2;
  pulse.filter = "wide close";
  setx::Light still;
  still.name = "still";
  still.mode = 0;
  still.type = 3;
  setx::ResolvePoint point;
  point.name = "rp";
  setx::ShadowCaster caster;
  caster.name = "caster";
  setx::ZShape withValue{"z1", 1, 4, "wide", 9};
  setx::ZShape withoutValue{"z2", 2, 5, "", 9};
  WriteBytes("v.setx", setx::Encode(version, 77, {pulse, still}, {point}, {caster},
                                    {withValue, withoutValue}));
  Room* room = Load(Write("v.set", kTinySet));
  ASSERT_NE(room, nullptr);
  EXPECT_EQ(room->companionStamp, 77u);
  EXPECT_NE(room->companionName[0], '\0');  // the path it was read from (cut to 31)
  ASSERT_EQ(room->numDeferredLights, 2u);
  EXPECT_EQ(room->numFlaggedLights, 1u);
  const DeferredLight& p = room->deferredLights[0];
  EXPECT_STREQ(p.name, "pulse");
  EXPECT_EQ(p.animationMode, 1u);
  EXPECT_FLOAT_EQ(p.rotation.y, 90.0f);
  EXPECT_FLOAT_EQ(p.parameters[5], 6.0f);
  EXPECT_FLOAT_EQ(p.extra[0], 0.5f);
  EXPECT_FLOAT_EQ(p.b.intensity, 0.5f);  // two colour sets
  EXPECT_FLOAT_EQ(p.current.intensity, 1.0f);
  EXPECT_FLOAT_EQ(p.to.first[2], 1.0f);
  EXPECT_EQ(p.group, version >= 4 ? 2u : 0u);
  EXPECT_STREQ(p.filter, version >= 4 ? "wide close" : "");
  const DeferredLight& s = room->deferredLights[1];
  EXPECT_EQ(s.type, 3u);
  EXPECT_FLOAT_EQ(s.b.intensity, 1.0f);  // one colour set: B is a copy of A
  EXPECT_FLOAT_EQ(s.b.second[1], 1.0f);
  ASSERT_EQ(room->numResolvePoints, 1u);
  EXPECT_FLOAT_EQ(room->resolvePoints[0].values[3], version >= 2 ? 4.0f : 0.5f);
  EXPECT_FLOAT_EQ(room->resolvePoints[0].secondVector.z, 1.0f);
  ASSERT_EQ(room->numShadowCasters, 1u);
  EXPECT_FLOAT_EQ(room->shadowCasters[0].currentRotation.z, 30.0f);
  if (version >= 3) {
    ASSERT_EQ(room->numZShapes, 2u);
    EXPECT_EQ(room->zShapes[0].value, 9u);
    EXPECT_EQ(room->zShapes[0].code, 4u);
    EXPECT_STREQ(room->zShapes[0].filter, "wide");
    EXPECT_EQ(room->zShapes[1].value, 1u);
  } else {
    EXPECT_EQ(room->numZShapes, 0u);
  }
  EXPECT_EQ(room->numCutsceneLights, 0u);  // no fallback
}

INSTANTIATE_TEST_SUITE_P(Versions, Companion, ::testing::Values(1, 2, 3, 4));

constexpr char kLcaLights[] =
    "SECTION LIGHT:\n"
    " Total Lights 3\n"
    " Light ID 1\n Light Name Key\n Type 3\n"
    " Int Cone Angle 10\n Ext Cone Angle 30\n Start Falloff 20\n End Falloff 300\n"
    " COLOR 1.0 0.5 -0.25 1\n POSITION 10 20 30\n DIRECTION 10 20 0\n"
    " Light ID 2\n Light Name Sun\n Type 1\n End Falloff 6000\n POSITION 0 0 100\n"
    " Light ID 3\n Light Name Bulb\n Type 2\n POSITION 1 1 1\n";

TEST_F(SetFile, CutsceneLightsComeFromTheSceneFileWithoutACompanion) {
  Write("lca_lca.l3d", kLcaLights);
  Room* room = Load(Write("lca.set", kTinySet));
  ASSERT_NE(room, nullptr);
  ASSERT_EQ(room->numCutsceneLights, 3u);
  const RoomLight& key = room->cutsceneLights[0];
  EXPECT_STREQ(key.name, "key");
  EXPECT_EQ(key.light.type, QXLIGHT_SPOT);
  EXPECT_FLOAT_EQ(key.position.y, 2.0f);
  EXPECT_FLOAT_EQ(key.light.direction.z, -30.0f);  // aimed-at point minus position
  EXPECT_EQ(key.light.color, 0xFF8000u);
  EXPECT_FLOAT_EQ(key.light.colorG, 0.5f);
  EXPECT_FLOAT_EQ(key.light.intensity, 6.0f);
  EXPECT_FLOAT_EQ(key.light.startFalloff, 2.0f);
  EXPECT_FLOAT_EQ(key.light.endFalloff, 30.0f);
  EXPECT_NEAR(key.light.cosInner, std::cos(10.0 * 3.14159265 / 180.0), 1e-3);
  const RoomLight& sun = room->cutsceneLights[1];
  EXPECT_EQ(sun.light.type, 0);
  EXPECT_FLOAT_EQ(sun.light.direction.z, 10.0f);  // the position is its direction
  EXPECT_FLOAT_EQ(sun.light.intensity, 1.0f);     // 120 is above 100
  EXPECT_EQ(room->cutsceneLights[2].light.type, QXLIGHT_POINT);
}

TEST_F(SetFile, CutsceneLightsStopAt64WhenReadTwice) {
  std::string text = "section light:\n total lights 40\n";
  for (int i = 0; i < 40; ++i) text += " light id " + std::to_string(i) + "\n type 2\n";
  Write("many_lca.l3d", text);
  Room* room = Load(Write("many.set", kTinySet));
  ASSERT_NE(room, nullptr);
  EXPECT_EQ(room->numCutsceneLights, 40u);
  EXPECT_EQ(drevRoom_ReadL3dLights(Path("many_lca.l3d").c_str(), room), 24);
  EXPECT_EQ(room->numCutsceneLights, 64u);
  EXPECT_EQ(drevRoom_ReadL3dLights(Path("many_lca.l3d").c_str(), room), 0);
}

struct BadCompanion {
  const char* name;
  std::function<std::vector<uint8_t>()> bytes;
};

class CompanionFailure : public RoomTest, public ::testing::WithParamInterface<BadCompanion> {};

TEST_P(CompanionFailure, EmptiesTheListsAndFallsBack) {
  WriteBytes("bad.setx", GetParam().bytes());
  Write("bad_lca.l3d", kLcaLights);
  Room* room = Load(Write("bad.set", kTinySet));
  ASSERT_NE(room, nullptr);  // the set still loads
  EXPECT_EQ(room->numDeferredLights, 0u);
  EXPECT_EQ(room->numResolvePoints, 0u);
  EXPECT_EQ(room->numFlaggedLights, 0u);
  EXPECT_EQ(room->companionStamp, 0u);
  EXPECT_EQ(room->numCutsceneLights, 3u);
}

std::vector<uint8_t> TwoLights(int version) {
  setx::Light a;
  a.name = "a";
  a.flag = 1;
  return setx::Encode(version, 5, {a, a}, {{"p"}});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CompanionFailure,
    ::testing::Values(BadCompanion{"short",
                                   [] {
                                     std::vector<uint8_t> b = TwoLights(4);
                                     b.resize(b.size() - 3);  // the resolve point is cut
                                     return b;
                                   }},
                      BadCompanion{"count_128",
                                   [] {
                                     std::vector<uint8_t> b = TwoLights(4);
                                     b[12] = 128;  // resolve points
                                     return b;
                                   }},
                      BadCompanion{"version_5",
                                   [] {
                                     std::vector<uint8_t> b = TwoLights(4);
                                     b[4] = 5;
                                     return b;
                                   }},
                      BadCompanion{"header_only",
                                   [] {
                                     return std::vector<uint8_t>{1, 2, 3, 4, 1};
                                   }}),
    [](const ::testing::TestParamInfo<BadCompanion>& info) {
      return std::string(info.param.name);
    });

TEST_F(SetFile, CompanionOfTheSetsStampCountsAsReadAndIsReadWhenItChanges) {
  setx::Light a;
  a.name = "a";
  // A new set's stamp is 0: a companion of stamp 0 is never read into it, and
  // as it counts as read the cutscene lights are not taken from the scene file.
  WriteBytes("z.setx", setx::Encode(2, 0, {a}));
  Write("z_lca.l3d", kLcaLights);
  Room* room = Load(Write("z.set", kTinySet));
  ASSERT_NE(room, nullptr);
  EXPECT_EQ(room->numDeferredLights, 0u);
  EXPECT_EQ(room->numCutsceneLights, 0u);
  EXPECT_EQ(room->companionName[0], '\0');
  int flag = 0;
  EXPECT_EQ(drevRoom_ReadSetx(Path("z.setx").c_str(), room, &flag), 1);
  EXPECT_EQ(flag, 0);
  // Another stamp is read, and then counts as read itself.
  WriteBytes("z.setx", setx::Encode(2, 9, {a, a}));
  EXPECT_EQ(drevRoom_ReadSetx(Path("z.setx").c_str(), room, &flag), 1);
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(room->numDeferredLights, 2u);
  EXPECT_EQ(room->companionStamp, 9u);
  room->deferredLights[0].time = 3.0f;  // animation state that a re-read would reset
  flag = 0;
  EXPECT_EQ(drevRoom_ReadSetx(Path("z.setx").c_str(), room, &flag), 1);
  EXPECT_EQ(flag, 0);
  EXPECT_FLOAT_EQ(room->deferredLights[0].time, 3.0f);
}

TEST_F(SetFile, CompanionNameComesFromTheFileNamesExtension) {
  std::filesystem::create_directories(Path("sets.v2"));
  setx::Light a;
  a.name = "a";
  WriteBytes("sets.v2/demo.setx", setx::Encode(1, 3, {a}));
  Room* room = Load(Write("sets.v2/demo.set", kTinySet));
  ASSERT_NE(room, nullptr);
  EXPECT_EQ(room->numDeferredLights, 1u);
  EXPECT_STREQ(room->name, "demo.set");
}

// ---- Setups from a scene's camera -------------------------------------------------

std::string CameraScene(int frames, int keys) {
  std::string text = "section camera:\n camera id 1\n total frames " + std::to_string(frames) +
                     "\n poskeys: " + std::to_string(keys) + " intkeys: " + std::to_string(keys) +
                     " rollkeys: " + std::to_string(keys) + "\n fovkeys: " + std::to_string(keys) +
                     " nclipkeys: " + std::to_string(keys) + " fclipkeys: " + std::to_string(keys) +
                     "\n";
  for (const char* letter : {"p", "i"}) {
    for (int k = 0; k < keys; ++k) {
      const double t = keys > 1 ? static_cast<double>(k) / (keys - 1) : 0.0;
      text += " 1 " + std::to_string(t) + " " + letter + " 10 " + std::to_string(20 * (k + 1)) +
              " 30\n";
    }
  }
  for (const char* letter : {"r", "v", "n", "f"}) {
    for (int k = 0; k < keys; ++k) {
      const double t = keys > 1 ? static_cast<double>(k) / (keys - 1) : 0.0;
      text += " 1 " + std::to_string(t) + " " + letter + " " + std::to_string(k + 40) + "\n";
    }
  }
  return text;
}

TEST_F(SetFile, CamerasOfASceneBecomeSetups) {
  Room* room = Load(Write("cams.set", "section: setups\n numsetups 1\n setup first\n"));
  ASSERT_NE(room, nullptr);
  EXPECT_EQ(drevRoom_ImportCameras(Write("cams.l3d", CameraScene(3, 3)).c_str(), room), 3);
  ASSERT_EQ(room->numSetups, 4u);
  EXPECT_STREQ(room->setups[0].name, "first");
  const RoomSetup& last = room->setups[3];
  EXPECT_STREQ(last.name, "<unnamed>");
  EXPECT_STREQ(last.backgroundName, "<none>");
  EXPECT_STREQ(last.zbufferName, "<none>");
  EXPECT_FLOAT_EQ(last.position.y, 6.0f);  // 60 x 0.1
  EXPECT_FLOAT_EQ(last.interest.x, 1.0f);
  EXPECT_FLOAT_EQ(last.roll, 42.0f);
  EXPECT_FLOAT_EQ(last.fov, 42.0f);
  EXPECT_FLOAT_EQ(last.nclip, 4.2f);
  EXPECT_FLOAT_EQ(last.fclip, 4.2f);
}

TEST_F(SetFile, OneFrameMakesOneSetupAtTimeZeroAndNoCameraMakesNone) {
  Room* room = Load(Write("one.set", "section: setups\n numsetups 0\n"));
  ASSERT_NE(room, nullptr);
  EXPECT_EQ(drevRoom_ImportCameras(Write("one.l3d", CameraScene(1, 1)).c_str(), room), 1);
  EXPECT_EQ(room->numSetups, 1u);
  EXPECT_EQ(
      drevRoom_ImportCameras(Write("none.l3d", "section light:\n light id 1\n").c_str(), room), 0);
  EXPECT_EQ(room->numSetups, 1u);
}

}  // namespace
