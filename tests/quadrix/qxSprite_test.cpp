// Sprites: the record, the camera-facing quad through the gatherer and the
// face cache, and the hardware renderer's draw information.
#include "quadrix/qxSprite.h"

#include <gtest/gtest.h>

#include <cmath>

#include "quadrix/qxMaterial.h"
#include "quadrix/qxThing.h"
#include "qxSceneTest.h"

namespace {

// Materials by name: "flat" has an untextured cel, "tex" a 32x16 texture.
struct TestMaterials {
  static inline DisplayBuffer level{};
  static inline qxMaterialTexture texture{};
  static inline qxMaterialCel flatCel{}, texCel{};
  static inline qxMaterial flat{}, tex{};
  static inline int released = 0;

  static qxMaterial* Load(const char* name, int, int) {
    if (std::strcmp(name, "flat") == 0) return &flat;
    if (std::strcmp(name, "tex") == 0) return &tex;
    return nullptr;
  }
  static void Unload(qxMaterial*) { ++released; }
  static void Install() {
    level.format.width = 32;
    level.format.height = 16;
    texture.mipCount = 1;
    texture.mipLevels[0] = &level;
    texCel.flags = QXMATERIAL_CEL_TEXTURED;
    texCel.texture = &texture;
    std::strcpy(flat.name, "flat");
    flat.celCount = 1;
    flat.cels[0] = &flatCel;
    std::strcpy(tex.name, "tex");
    tex.flags = QXMATERIAL_TEXTURED;
    tex.celCount = 1;
    tex.cels[0] = &texCel;
    released = 0;
    qxMaterial_SetLoader(Load);
    qxMaterial_SetUnloader(Unload);
  }
  static void Remove() {
    qxMaterial_SetLoader(nullptr);
    qxMaterial_SetUnloader(nullptr);
  }
};

class QxSprite : public ::testing::Test {
 protected:
  void SetUp() override {
    qxTest_StartLibrary();
    TestMaterials::Install();
    FakeClip::Install();
    FakeHooks::Install(true);
    FakeRaster::Install();
    qxCore_SetCullFlags(QXCULL_MESHES | QXCULL_SPRITES);
  }
  void TearDown() override {
    qxThing_Free(thing);
    qxSprite_Free(sprite);
    qxCore_SetCullFlags(QXCULL_MESHES);
    FakeRaster::Remove();
    FakeHooks::Remove();
    FakeClip::Remove();
    TestMaterials::Remove();
  }
  void Make(const char* material, int geometry, qxVector3 offset = {0, 0, 0}) {
    sprite = qxSprite_New(3, "puff", material, 2, 4, geometry, 1, 2, 0.25f, &offset);
    ASSERT_NE(sprite, nullptr);
    thing = qxThing_New(0);
    qxThing_SetSprite3(thing, sprite);
  }
  // The quad the gatherer handed to the clipper.
  std::vector<qxVector3> Quad() {
    for (auto it = FakeClip::calls.rbegin(); it != FakeClip::calls.rend(); ++it) {
      if (it->count == 4) return it->points;
    }
    return {};
  }
  qxSprite* sprite = nullptr;
  qxThing* thing = nullptr;
};

TEST_F(QxSprite, RecordOfAnUntexturedSprite) {
  Make("flat", 3);
  EXPECT_STREQ(sprite->name, "puff");
  EXPECT_EQ(sprite->type, 3);
  EXPECT_FLOAT_EQ(sprite->radius, std::sqrt(5.0f));
  EXPECT_EQ(sprite->halfWidth, 1.0f);
  EXPECT_EQ(sprite->halfHeight, 2.0f);
  EXPECT_EQ(sprite->faceFlags, 1u);
  EXPECT_EQ(sprite->material, &TestMaterials::flat);
  EXPECT_EQ(sprite->vertexCount, 4);
  EXPECT_EQ(sprite->vertexIndices[3], 3);
  EXPECT_EQ(sprite->texVertexIndices, nullptr);
  EXPECT_EQ(sprite->texVertices, nullptr);
}

TEST_F(QxSprite, TexturedSpriteHasTexelCorners) {
  Make("tex", 4);
  ASSERT_NE(sprite->texVertices, nullptr);
  EXPECT_EQ(sprite->texVertexIndices[2], 2);
  const qxVector2 expected[4] = {{0.5f, 15.5f}, {31.5f, 15.5f}, {31.5f, 0.5f}, {0.5f, 0.5f}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(sprite->texVertices[i].x, expected[i].x);
    EXPECT_EQ(sprite->texVertices[i].y, expected[i].y);
  }
}

TEST_F(QxSprite, FailedEntriesGiveNoSprite) {
  const qxVector3 none = {0, 0, 0};
  EXPECT_EQ(qxSprite_New(0, nullptr, "missing", 1, 1, 3, 1, 0, 0, &none), nullptr);
  // A textured sprite needs a texture in the first cel; the material is given back.
  EXPECT_EQ(qxSprite_New(0, nullptr, "flat", 1, 1, 4, 1, 0, 0, &none), nullptr);
  EXPECT_EQ(TestMaterials::released, 1);
}

// The camera looks down +y from the origin; the sprite stands 10 ahead.
TEST_F(QxSprite, QuadStandsOnTheAnchorAndMirrorsBySide) {
  TestView view;
  struct Row {
    float offsetX;
    float firstX;  // the first corner's x
    int back;
  } rows[] = {{0.0f, 1.0f, 1}, {3.0f, 4.0f, 1}, {-3.0f, -4.0f, 0}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.offsetX);
    qxThing_Free(thing);
    qxSprite_Free(sprite);
    Make("flat", 3, {row.offsetX, 0, 0});
    FakeRaster::faces.clear();
    const qxMatrix34 placement = At(0, 10, 0);
    EXPECT_EQ(qxThing_Draw(thing, &placement, nullptr), 1);
    EXPECT_EQ(FakeHooks::Count("sprite"), 1);
    FakeHooks::calls.clear();
    const std::vector<qxVector3> quad = Quad();
    ASSERT_EQ(quad.size(), 4u);
    const float d = row.back ? -1.0f : 1.0f;
    ExpectNearVector(quad[0], {row.offsetX - d, 10, 0});
    ExpectNearVector(quad[1], {row.offsetX + d, 10, 0});
    ExpectNearVector(quad[2], {row.offsetX + d, 10, 4});
    ExpectNearVector(quad[3], {row.offsetX - d, 10, 4});
    EXPECT_FLOAT_EQ(quad[0].x, row.firstX);
    qxCache_Flush();
    ASSERT_EQ(FakeRaster::faces.size(), 1u);
    const qxCacheFace& f = FakeRaster::faces[0];
    EXPECT_EQ(f.reverseWinding, row.back);
    EXPECT_EQ(f.celIndex, -1);
    EXPECT_EQ(f.material, &TestMaterials::flat);
    EXPECT_EQ(f.extraLight, 0.25f);
    EXPECT_EQ(f.geometryMode, 3);
    EXPECT_EQ(f.lightingMode, 1);
    EXPECT_EQ(f.textureMode, 2);
  }
}

TEST_F(QxSprite, OffsetTurnsWithThePlacement) {
  TestView view;
  Make("flat", 3, {1, 0, 0});
  qxMatrix34 placement;
  const qxVector3 yaw = {0, 180, 0}, where = {0, 10, 0};
  qxMatrix34_Build(&placement, &yaw, &where);
  qxThing_Draw(thing, &placement, nullptr);
  const std::vector<qxVector3> quad = Quad();
  ASSERT_EQ(quad.size(), 4u);
  // The offset points to -x now: the sprite's centre sits at x = -1.
  EXPECT_NEAR(quad[0].x + quad[1].x, -2.0f, 1e-3);
}

TEST_F(QxSprite, CullingByTheSphereOrByTheThingsValue) {
  TestView view;
  Make("flat", 3);
  const qxMatrix34 behind = At(0, -50, 0);
  FakeClip::sphereAnswer = 2;
  EXPECT_EQ(qxSprite_Draw(thing, &behind), 0);
  EXPECT_EQ(Quad().size(), 0u);
  // Without sprite culling the thing's value stands for the test: the quad
  // reaches the gatherer, whose clipper throws it away.
  qxCore_SetCullFlags(QXCULL_MESHES);
  EXPECT_EQ(qxSprite_Draw(thing, &behind), 0);
  EXPECT_EQ(Quad().size(), 4u);
  EXPECT_EQ(FakeClip::Count("sphere"), 1);
  thing->frustumTest = 2;
  FakeClip::calls.clear();
  EXPECT_EQ(qxSprite_Draw(thing, &behind), 0);
  EXPECT_TRUE(FakeClip::calls.empty());
}

TEST_F(QxSprite, TexturedSpriteCommitsItsTextureVertices) {
  TestView view;
  Make("tex", 4);
  thing->cel = 0;
  const qxMatrix34 placement = At(0, 10, 0);
  ASSERT_EQ(qxSprite_Draw(thing, &placement), 1);
  EXPECT_EQ(FakeClip::calls.back().name, "texPersp");
  qxCache_Flush();
  ASSERT_EQ(FakeRaster::faces.size(), 1u);
  EXPECT_EQ(FakeRaster::faces[0].geometryMode, 4);
  EXPECT_EQ(FakeRaster::faces[0].celIndex, 0);
  EXPECT_EQ(FakeRaster::faces[0].texVerts[1].x, 31.5f);
}

TEST_F(QxSprite, PerVertexLightingBecomesFlat) {
  TestView view;
  qxVector3 none = {0, 0, 0};
  sprite = qxSprite_New(0, nullptr, "flat", 2, 4, 3, 3, 0, 0, &none);
  thing = qxThing_New(0);
  qxThing_SetSprite3(thing, sprite);
  const qxMatrix34 placement = At(0, 10, 0);
  ASSERT_EQ(qxSprite_Draw(thing, &placement), 1);
  EXPECT_EQ(FakeClip::calls.back().name, "litPersp");
  qxCache_Flush();
  ASSERT_EQ(FakeRaster::faces.size(), 1u);
  EXPECT_EQ(FakeRaster::faces[0].lightingMode, 1);
  EXPECT_EQ(FakeRaster::faces[0].faceLight, 0.0f);
}

TEST_F(QxSprite, DrawInfoProjectsTheCorners) {
  TestView view;
  Make("flat", 3, {0, 0, 1});
  const qxMatrix34 placement = At(0, 10, 0);
  qxMaterial* material = nullptr;
  int32_t cel = 5;
  float hw = 0, hh = 0;
  qxVector3 offset, tl = {-9, -9, -9}, br = {-9, -9, -9};
  qxSprite_GetDrawInfo(thing, &placement, &material, &cel, &offset, &hw, &hh, &tl, nullptr);
  EXPECT_EQ(material, &TestMaterials::flat);
  EXPECT_EQ(cel, -1);
  EXPECT_EQ(offset.z, 1.0f);
  EXPECT_EQ(hw, 1.0f);
  EXPECT_EQ(hh, 2.0f);
  EXPECT_EQ(tl.x, -9.0f);  // one corner output alone computes nothing
  qxSprite_GetDrawInfo(thing, &placement, nullptr, nullptr, nullptr, nullptr, nullptr, &tl, &br);
  qxVector3 expectTL, expectBR;
  const qxVector3 a = {-1, 10, 5}, b = {1, 10, 1};
  view.camera->projectPoint(&expectTL, &a);
  view.camera->projectPoint(&expectBR, &b);
  ExpectNearVector(tl, expectTL);
  ExpectNearVector(br, expectBR);
}

}  // namespace
