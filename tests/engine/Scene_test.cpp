#include "engine/Scene.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "std/std.h"

namespace {

class SceneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HostServices_CopyDefaults(&hs_);
    std_DefaultServices(&hs_);
    std_Startup(&hs_);
    scene_ = Scene_New();
  }
  void TearDown() override { Scene_Free(scene_); }

  int Read(const std::string& text) {
    std::string path = std::string("scene_") +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".l3d";
    for (char& c : path)
      if (c == '/') c = '_';
    std::ofstream(path, std::ios::binary) << text;
    return Scene_ReadFile(path.c_str(), scene_);
  }

  HostServices hs_;
  Scene* scene_ = nullptr;
};

constexpr char kLightsOnly[] =
    "SECTION LIGHT:\n"
    " Total Lights 2\n"
    " Light ID 4\n"
    " Light Name Lamp_A\n"
    " Type 3   (1=INFINITE 2=POINT 3=SPOT)\n"
    " Int Cone Angle 20\n"
    " Ext Cone Angle 35.5\n"
    " Start Falloff 10\n"
    " End Falloff 100\n"
    "#Color r: g: b: a:\n"
    " COLOR 0.5 0.25 1 1\n"
    " POSITION 10 20 30\n"
    " DIRECTION 10 20 0\n"
    "\n"
    " Light ID 5\n"
    " Light Name sun\n"
    " Type 1\n"
    " POSITION 0 0 100\r\n";

TEST_F(SceneTest, LightsOnlyFileReadsWithoutTheOtherSections) {
  ASSERT_EQ(Read(kLightsOnly), 0);
  EXPECT_EQ(scene_->result, 0);
  EXPECT_EQ(scene_->lightCount, 2);
  EXPECT_EQ(scene_->cameras, nullptr);
  const SceneLight* a = scene_->lights;
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->id, 4);
  EXPECT_EQ(a->name, "lamp_a");  // lines arrive lower-cased
  EXPECT_EQ(a->type, kSceneLightSpot);
  EXPECT_FLOAT_EQ(a->innerCone, 20);
  EXPECT_FLOAT_EQ(a->outerCone, 35.5f);
  EXPECT_FLOAT_EQ(a->endFalloff, 100);
  EXPECT_DOUBLE_EQ(a->color[1], 0.25);
  EXPECT_DOUBLE_EQ(a->position.z, 30);
  EXPECT_DOUBLE_EQ(a->direction.y, 20);
  const SceneLight* b = a->next;
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->name, "sun");
  EXPECT_EQ(b->type, kSceneLightInfinite);
  EXPECT_DOUBLE_EQ(b->position.z, 100);
  EXPECT_EQ(b->next, nullptr);
}

TEST_F(SceneTest, UnknownSectionsAndLinesOutsideSectionsAreSkipped) {
  ASSERT_EQ(Read("BEGIN GENERAL\n"
                 "SECTION GENERAL:\n"
                 " Version 7\n"
                 " Global Axis rhand-zup\n"
                 " Scale 2.5 cm\n"
                 " Input Type 3DS MAX\n"
                 " Type Version 9\n"
                 " bogus key\n"
                 " light id 99\n"  // outside the light section: ignored
                 "SECTION STUFF:\n"
                 " light id 98\n"
                 "SECTION LIGHT:\n"
                 " light name before_any\n"  // before the first light: ignored
                 " light id 1\n"),
            0);
  EXPECT_EQ(scene_->version, 7);
  EXPECT_EQ(scene_->globalAxis, 2);
  EXPECT_FLOAT_EQ(scene_->scale, 2.5f);
  EXPECT_EQ(scene_->unit, 2);
  EXPECT_EQ(scene_->inputType, 3);
  EXPECT_EQ(scene_->typeVersion, 9);
  ASSERT_NE(scene_->lights, nullptr);
  EXPECT_EQ(scene_->lights->id, 1);
  EXPECT_EQ(scene_->lights->name, "");
  EXPECT_EQ(scene_->lights->next, nullptr);
}

TEST_F(SceneTest, FileEndingInsideTheVertexListKeepsWhatWasRead) {
  ASSERT_EQ(Read("SECTION GEOMETRY:\n"
                 " Total Geometry 1\n"
                 " Geometry Name box\n"
                 " Geometry Id 3\n"
                 " Vertices 5\n"
                 " 0 1 2 3\n"
                 " 1 4 5 6\n"),
            0);
  ASSERT_EQ(scene_->model->geometries.size(), 1u);
  const SceneGeometry& g = scene_->model->geometries[0];
  EXPECT_EQ(g.id, 3);
  ASSERT_EQ(g.vertices.size(), 2u);
  EXPECT_DOUBLE_EQ(g.vertices[1].z, 6);
}

TEST_F(SceneTest, KeyLinesOfUnknownLettersCountButAreNotStored) {
  ASSERT_EQ(Read("SECTION CAMERA:\n"
                 " Camera ID 1\n"
                 " Poskeys: 1 Intkeys: 1 Rollkeys: 1\n"
                 " Fovkeys: 0 Nclipkeys: 0 Fclipkeys: 0\n"
                 " 1 0.0 P 1 2 3\n"
                 " 2 0.5 Q 9 9 9\n"  // counted toward the three lines, not stored
                 " 1 1.0 I 4 5 6\n"
                 " Roll 12\n"),
            0);
  const SceneCamera* c = scene_->cameras;
  ASSERT_NE(c, nullptr);
  ASSERT_EQ(c->keys.position.size(), 1u);
  ASSERT_EQ(c->keys.interest.size(), 1u);
  EXPECT_DOUBLE_EQ(c->keys.interest[0].y, 5);
  EXPECT_FLOAT_EQ(c->keys.interest[0].time, 1.0f);
  EXPECT_FLOAT_EQ(c->roll, 12);  // the section goes on after the key lines
}

struct BadLine {
  const char* name;
  const char* text;
  int code;
};

class SceneBadLine : public SceneTest, public ::testing::WithParamInterface<BadLine> {};

TEST_P(SceneBadLine, FailsWithItsCode) {
  EXPECT_EQ(Read(GetParam().text), GetParam().code);
  EXPECT_EQ(scene_->result, GetParam().code);
  int code = 0;
  EXPECT_STRNE(Scene_GetLastError(&code), "");
  EXPECT_EQ(code, GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, SceneBadLine,
    ::testing::Values(
        BadLine{"vertex", "SECTION GEOMETRY:\n Geometry Name g\n Vertices 1\n 0 1 2\n", 6},
        BadLine{"normal", "SECTION GEOMETRY:\n Geometry Name g\n Vertex Normal 1\n x\n", 7},
        BadLine{"uv", "SECTION GEOMETRY:\n Geometry Name g\n Uv 1\n 0 1\n", 8},
        BadLine{"color", "SECTION GEOMETRY:\n Geometry Name g\n Color 1\n 0 1 1 1\n", 9},
        BadLine{"face_short",
                "SECTION GEOMETRY:\n Geometry Name g\n Polygon Faces 1\n 0 0 3 1 2 3 4\n", 10},
        BadLine{"face_negative", "SECTION GEOMETRY:\n Geometry Name g\n Polygon Faces 1\n 0 0 -2\n",
                10},
        BadLine{"hierarchy_child", "SECTION HIERARCHY:\n Geometry Nodes 2\n 0 1 1\n 1 1 7\n", 11},
        BadLine{"transform_letter",
                "SECTION TRANSFORMATION:\n Geometry Nodes 1\n Rotation Order 213\n 0 T 1 2 3\n"
                " 0 X 1 2 3\n",
                12},
        // three "p" lines where two were announced
        BadLine{"camera_kind_over_count",
                "SECTION CAMERA:\n Camera ID 1\n Poskeys: 2 Intkeys: 0 Rollkeys: 0\n"
                " Fovkeys: 0 Nclipkeys: 0 Fclipkeys: 1\n 1 0 P 1 1 1\n 2 0 P 1 1 1\n"
                " 3 0 P 1 1 1\n",
                13},
        BadLine{"light_key",
                "SECTION LIGHT:\n Light ID 1\n Poskeys: 0 Intkeys: 0 Rgbkeys: 1\n"
                " CIangkeys: 0 CEangkeys: 0\n SFallkeys: 0 EFallkeys: 0\n 1 0 R 1 1\n",
                13},
        BadLine{"animation_key",
                "SECTION ANIMATION:\n Geometry ID 1\n"
                " Poskeys: 1 Rotkeys: 0 Sclkeys: 0\n 1 0.0 R 1 2 3\n",
                13}),
    [](const ::testing::TestParamInfo<BadLine>& info) { return std::string(info.param.name); });

TEST_F(SceneTest, MissingFileAnswers3) {
  EXPECT_EQ(Scene_ReadFile("no_such_scene.l3d", scene_), kSceneCannotOpen);
}

TEST_F(SceneTest, ModelSectionsRead) {
  ASSERT_EQ(Read("SECTION MATERIAL:\n"
                 " Total Materials 2\n"
                 " Material Name red\n"
                 " Shading PHONG\n"
                 " Double-sided FALSE\n"
                 " Diffuse RGBA 1 0 0 1\n"
                 " Diffuse 0.75\n"
                 " Text2UV Count 4 5\n"
                 " Material Name blue\n"
                 " Bump map bumps.bmp\n"
                 "SECTION GEOMETRY:\n"
                 " Geometry Name g\n"
                 " Polygon Faces 1\n"
                 " 0 2 3 0 0 0 -1 1 1 1 -1 2 2 2 -1\n"
                 "SECTION HIERARCHY:\n"
                 " Geometry Nodes 2\n"
                 " 0 1 1\n"
                 " 1 0 -1\n"
                 "SECTION TRANSFORMATION:\n"
                 " Geometry Nodes 1\n"
                 " Rotation Order 213\n"
                 " 0 S 1 1 1\n"
                 " 0 T 1 2 3\n"
                 " 0 R 0 90 0\n"
                 "SECTION ANIMATION:\n"
                 " Frame Rate 30\n"
                 " Begin Frame 2 End Frame 40\n"
                 " Geometry ID 0\n"
                 " Poskeys: 1 Rotkeys: 0 Sclkeys: 0\n"
                 " 1 0.5 P 1 2 3\n"),
            0);
  const SceneModel* m = scene_->model;
  ASSERT_EQ(m->materials.size(), 2u);
  EXPECT_EQ(m->materials[0].name, "red");
  EXPECT_EQ(m->materials[0].shading, 2);
  EXPECT_EQ(m->materials[0].doubleSided, 0);
  EXPECT_DOUBLE_EQ(m->materials[0].diffuseColor[0], 1);
  EXPECT_FLOAT_EQ(m->materials[0].diffuse, 0.75f);
  EXPECT_EQ(m->materials[0].uvCounts[1][1], 5);
  EXPECT_EQ(m->materials[0].shininess, -1);
  EXPECT_EQ(m->materials[1].bumpMap, "bumps.bmp");
  ASSERT_EQ(m->geometries[0].faces.size(), 1u);
  EXPECT_EQ(m->geometries[0].faces[0].materialId, 2);
  ASSERT_EQ(m->geometries[0].faces[0].vertices.size(), 3u);
  EXPECT_EQ(m->geometries[0].faces[0].vertices[2].uv, 2);
  ASSERT_EQ(m->hierarchy.size(), 2u);
  EXPECT_EQ(m->hierarchy[0].children, std::vector<int32_t>{1});
  EXPECT_TRUE(m->hierarchy[1].children.empty());
  ASSERT_EQ(m->placements.size(), 1u);
  EXPECT_DOUBLE_EQ(m->placements[0].translation.z, 3);
  EXPECT_DOUBLE_EQ(m->placements[0].rotation.y, 90);
  EXPECT_EQ(m->frameRate, 30);
  EXPECT_EQ(m->beginFrame, 2);
  EXPECT_EQ(m->endFrame, 40);
  ASSERT_EQ(m->animation.size(), 1u);
  ASSERT_EQ(m->animation[0].position.size(), 1u);
  EXPECT_FLOAT_EQ(m->animation[0].position[0].time, 0.5f);
}

TEST_F(SceneTest, WrittenCamerasAndLightsReadBackToFiveDecimals) {
  Scene* out = Scene_New();
  auto* camera = new SceneCamera;
  camera->id = 2;
  camera->name = "cam";
  camera->frameCount = 3;
  camera->fov = 45.123456f;
  camera->nearClip = 0.1f;
  camera->farClip = 1000.5f;
  camera->roll = -3.25f;
  camera->position = {1.000004, -2.5, 3.75};
  camera->direction = {0, 1, 0};
  camera->keys.position = {{1.5, 2.5, 3.5, 0}, {4.25, 5.25, 6.25, 0.5f}};
  camera->keys.fov = {{33.33333, 1}};
  out->cameras = camera;
  auto* light = new SceneLight;
  light->id = 7;
  light->name = "lamp";
  light->type = kSceneLightSpot;
  light->color[0] = 0.123456;
  light->color[3] = 1;
  light->innerCone = 12.5f;
  light->outerCone = 40;
  light->startFalloff = 1;
  light->endFalloff = 250.75f;
  light->position = {-10.12345, 0, 5};
  light->direction = {1, 2, 3};
  light->keys.color = {{0.1, 0.2, 0.3, 0.4, 0.25f}};
  light->keys.endFalloff = {{9.5, 0}, {8.5, 1}};
  out->lights = light;

  const std::string path = "scene_roundtrip.l3d";
  const stdFile_t f = hs_.fileOpen(path.c_str(), "w");
  ASSERT_NE(f, 0);
  Scene_WriteFile(f, out);
  hs_.fileClose(f);
  ASSERT_EQ(Scene_ReadFile(path.c_str(), scene_), 0);

  const SceneCamera* c = scene_->cameras;
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->id, 2);
  EXPECT_EQ(c->name, "cam");
  EXPECT_EQ(c->frameCount, 3);
  EXPECT_NEAR(c->fov, camera->fov, 1e-5);
  EXPECT_NEAR(c->farClip, camera->farClip, 1e-5);
  EXPECT_NEAR(c->roll, camera->roll, 1e-5);
  EXPECT_NEAR(c->position.x, camera->position.x, 1e-5);
  EXPECT_NEAR(c->position.z, camera->position.z, 1e-5);
  ASSERT_EQ(c->keys.position.size(), 2u);
  EXPECT_NEAR(c->keys.position[1].y, 5.25, 1e-5);
  ASSERT_EQ(c->keys.fov.size(), 1u);
  EXPECT_NEAR(c->keys.fov[0].value, 33.33333, 1e-5);
  EXPECT_EQ(scene_->cameraCount, 1);

  const SceneLight* l = scene_->lights;
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(l->id, 7);
  EXPECT_EQ(l->type, kSceneLightSpot);
  EXPECT_NEAR(l->color[0], 0.123456, 1e-5);
  EXPECT_NEAR(l->endFalloff, 250.75, 1e-5);
  EXPECT_NEAR(l->position.x, -10.12345, 1e-5);
  EXPECT_NEAR(l->direction.z, 3, 1e-5);
  ASSERT_EQ(l->keys.color.size(), 1u);
  EXPECT_NEAR(l->keys.color[0].a, 0.4, 1e-5);
  ASSERT_EQ(l->keys.endFalloff.size(), 2u);
  EXPECT_NEAR(l->keys.endFalloff[1].value, 8.5, 1e-5);
  EXPECT_EQ(scene_->lightCount, 1);
  Scene_Free(out);
}

TEST_F(SceneTest, WrittenModelReadsBack) {
  ASSERT_EQ(Read("SECTION MATERIAL:\n Total Materials 1\n Material Name m\n Shininess 0.5\n"
                 "SECTION GEOMETRY:\n Total Geometry 1\n Geometry Name g\n Geometry Id 1\n"
                 " Vertices 2\n 0 1 2 3\n 1 4 5 6\n Uv 1\n 0 0.5 0.25\n"
                 " Polygon Faces 1\n 0 0 2 0 0 0 -1 1 0 0 -1\n"
                 "SECTION ANIMATION:\n Geometry ID 1\n Geometry Name g\n"
                 " Poskeys: 3 Rotkeys: 0 Sclkeys: 0\n"
                 " 1 0 P 1 1 1\n 2 0.5 P 1 1 1\n 3 1 P 1 1 1\n"),
            0);
  const std::string path = "scene_model.l3d";
  const stdFile_t f = hs_.fileOpen(path.c_str(), "w");
  ASSERT_NE(f, 0);
  Scene_WriteFile(f, scene_);
  hs_.fileClose(f);
  Scene* again = Scene_New();
  ASSERT_EQ(Scene_ReadFile(path.c_str(), again), 0);
  const SceneModel* m = again->model;
  ASSERT_EQ(m->materials.size(), 1u);
  EXPECT_EQ(m->materials[0].name, "m");
  EXPECT_DOUBLE_EQ(m->materials[0].shininess, 0.5);
  ASSERT_EQ(m->geometries.size(), 1u);
  EXPECT_EQ(m->geometries[0].vertices.size(), 2u);
  EXPECT_DOUBLE_EQ(m->geometries[0].uvs[0].v, 0.25);
  EXPECT_EQ(m->geometries[0].faces[0].vertices.size(), 2u);
  // Three equal position keys are written as one.
  ASSERT_EQ(m->animation.size(), 1u);
  EXPECT_EQ(m->animation[0].position.size(), 1u);
  Scene_Free(again);
}

}  // namespace
