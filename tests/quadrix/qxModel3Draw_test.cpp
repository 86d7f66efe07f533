// Model drawing through a recording render-hook table and a recording
// rasterizer behind the face cache, with recording clippers; the renderer's
// queries.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "quadrix/qxColormap.h"
#include "quadrix/qxFace.h"
#include "quadrix/qxLight.h"
#include "quadrix/qxMaterial.h"
#include "quadrix/qxModel3_Draw.h"
#include "quadrix/qxPuppet.h"
#include "quadrix/qxThing.h"
#include "qxSceneTest.h"

namespace {

class QxModelDraw : public ::testing::Test {
 protected:
  void SetUp() override {
    FakeClip::Install();
    FakeHooks::Install(true);
    FakeRaster::Install();
    qxCore_SetGeometryMode(5);
    qxCore_SetLightingMode(5);
    qxCore_SetTextureMode(3);
    qxCore_SetRenderFlags(QXRENDER_BACKFACE_CULL);
    qxCore_SetCullFlags(QXCULL_MESHES);
    qxModel3_EnableClipPlane(0);
  }
  void TearDown() override {
    qxThing_Free(thing);
    qxModel3_EnableClipPlane(0);
    qxCore_SetRenderFlags(QXRENDER_BACKFACE_CULL);
    FakeRaster::Remove();
    FakeHooks::Remove();
    FakeClip::Remove();
  }
  // A model of n chained nodes, each with a triangle 5 units ahead facing
  // the camera (mesh radius 6 around the node's origin).
  void Make(int nodes = 1) {
    model = std::make_unique<TestModel>(nodes);
    for (int i = 0; i < nodes; ++i) {
      qxModel3Mesh* mesh =
          model->AddMesh(i, {{-1, 5, -1}, {1, 5, -1}, {0, 5, 1}}, {{0, 1, 2}}, {0, -1, 0}, 6.0f);
      mesh->lightingMode = 3;
      for (int v = 0; v < 3; ++v) mesh->vertexIntensities[v] = 0.2f + 0.3f * float(v);
    }
    model->model.radius = 6.0f;
    thing = qxThing_New(0);
    ASSERT_EQ(qxThing_SetModel3(thing, &model->model), 1);
  }
  int Draw(qxThing* companion = nullptr) {
    const int drawn = qxThing_Draw(thing, &qxMatrix34_identity, companion);
    qxCache_Flush();
    return drawn;
  }
  std::vector<std::string> HookNames() {
    std::vector<std::string> names;
    for (const auto& c : FakeHooks::calls) names.push_back(c.name);
    return names;
  }
  TestView view;
  std::unique_ptr<TestModel> model;
  qxThing* thing = nullptr;
};

TEST_F(QxModelDraw, CulledModelCallsNoHook) {
  Make();
  FakeClip::sphereAnswer = 2;
  EXPECT_EQ(Draw(), 0);
  EXPECT_TRUE(FakeHooks::calls.empty());
  EXPECT_TRUE(FakeRaster::faces.empty());
  thing->frustumTest = 0;  // no test: the model is drawn and its mesh tested
  FakeClip::sphereAnswer = 1;
  EXPECT_EQ(Draw(), 1);
  EXPECT_EQ(FakeClip::Count("sphere"), 2);  // the first draw's model test, this draw's mesh test
}

TEST_F(QxModelDraw, DrawnModelOffersItsMeshBetweenTheModelHooks) {
  Make();
  TestModel other(1);
  qxThing* companion = qxThing_New(0);
  qxThing_SetModel3(companion, &other.model);
  EXPECT_EQ(Draw(companion), 1);
  EXPECT_EQ(HookNames(), (std::vector<std::string>{"begin", "mesh", "end"}));
  EXPECT_EQ(FakeHooks::calls[0].values[0], 1);  // the companion's model went with it
  ASSERT_EQ(FakeRaster::faces.size(), 1u);
  const qxCacheFace& f = FakeRaster::faces[0];
  EXPECT_EQ(f.vertexCount, 3u);
  EXPECT_EQ(f.geometryMode, 3);
  EXPECT_EQ(f.lightingMode, 3);
  EXPECT_EQ(f.reverseWinding, 0);
  // (0, 5, 1) projects to the centre column, above the centre row.
  EXPECT_NEAR(f.screenVerts[2].x, view.canvas->centreX, 1e-3);
  EXPECT_LT(f.screenVerts[2].y, view.canvas->centreY);
  EXPECT_FLOAT_EQ(f.screenVerts[2].z, 5.0f);
  qxThing_Free(companion);
}

TEST_F(QxModelDraw, HardwareOnlyLightsWithModeOne) {
  for (bool software : {true, false}) {
    SCOPED_TRACE(software);
    FakeHooks::Install(software);
    FakeRaster::Install();
    Make();
    Draw();
    ASSERT_EQ(FakeRaster::faces.size(), 1u);
    EXPECT_EQ(FakeRaster::faces[0].lightingMode, software ? 3 : 1);
    qxThing_Free(thing);
    thing = nullptr;
  }
}

TEST_F(QxModelDraw, DirectionalLightsReachByPath) {
  struct Row {
    const char* what;
    int32_t type;
    qxVector3 position;
    int meshLighting;
    float firstLit;  // per-vertex rows: the first vertex's lit intensity
    int faceLighting;
  } rows[] = {
      {"per vertex, directional far away", QXLIGHT_DIRECTIONAL, {0, -1000, 0}, 3, 1.0f, 0},
      {"per vertex, point light far away", QXLIGHT_POINT, {0, -1000, 0}, 3, 0.2f, 3},
      {"per face, directional far away", QXLIGHT_DIRECTIONAL, {0, -1000, 0}, 2, -1, 1},
      {"per face, directional within reach", QXLIGHT_DIRECTIONAL, {0, 3, 0}, 2, -1, 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    FakeRaster::Install();
    Make();
    qxLight light;
    qxLight_NewEntry(&light);
    light.type = row.type;
    light.direction = {0, 1, 0};
    qxCamera_ClearLights(view.camera);
    qxCamera_AddLight(view.camera, &light, &row.position);
    qxModel3Mesh* mesh = model->Mesh(0);
    mesh->lightingMode = row.meshLighting;
    Draw();
    ASSERT_EQ(FakeRaster::faces.size(), 1u);
    EXPECT_EQ(FakeRaster::faces[0].lightingMode, row.faceLighting);
    if (row.firstLit >= 0) {
      EXPECT_NEAR(mesh->litIntensities[0], row.firstLit, 1e-6);
    }
    if (row.faceLighting == 2) {
      EXPECT_GT(FakeRaster::faces[0].faceLight, 0.0f);
    }
    qxCamera_ClearLights(view.camera);
    qxThing_Free(thing);
    thing = nullptr;
  }
}

TEST_F(QxModelDraw, ClipPlane) {
  Make();
  const qxVector3 up = {0, 1, 0};
  struct Row {
    float planeY;
    int keep;  // what the plane clipper leaves; -1 = all
    size_t faces;
  } rows[] = {
      {1.0f, -1, 1},   // d = -radius: touching, drawn
      {7.01f, -1, 0},  // wholly behind
      {1.0f, 2, 0},    // two corners left are no face
      {1.0f, 3, 1},
  };
  qxModel3_EnableClipPlane(1);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.planeY);
    FakeRaster::faces.clear();
    FakeClip::calls.clear();
    FakeClip::planeKeep = row.keep;
    model->Mesh(0)->radius = row.planeY == 7.01f ? 7.0f : 1.0f;
    const qxVector3 point = {0, row.planeY, 0};
    qxModel3_SetClipPlane(&up, &point);
    Draw();
    EXPECT_EQ(FakeRaster::faces.size(), row.faces);
    if (row.planeY == 1.0f) {
      EXPECT_EQ(FakeClip::Count("plane"), 1);
    }
  }
  // The plane reaches the clipper in camera space.
  const ClipCall* plane = nullptr;
  for (const auto& c : FakeClip::calls) {
    if (c.name == "plane") plane = &c;
  }
  ASSERT_NE(plane, nullptr);
  ExpectNearVector(plane->points[0], up);
}

TEST_F(QxModelDraw, NearlyFlatVertexLightBecomesFaceLight) {
  struct Row {
    float a, b, c;
    int lighting;
    float faceLight;
  } rows[] = {
      {0.5f, 0.51f, 0.505f, 2, 0.5f},
      {0.5f, 0.53f, 0.5f, 3, 0.0f},
      {0.0f, 0.01f, 0.0f, 1, 0.0f},
      {1.0f, 1.0f, 1.0f, 0, 0.0f},
  };
  Make();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.b);
    FakeRaster::faces.clear();
    float* stored = model->Mesh(0)->vertexIntensities;
    stored[0] = row.a;
    stored[1] = row.b;
    stored[2] = row.c;
    Draw();
    ASSERT_EQ(FakeRaster::faces.size(), 1u);
    EXPECT_EQ(FakeRaster::faces[0].lightingMode, row.lighting);
    if (row.lighting == 2) {
      EXPECT_FLOAT_EQ(FakeRaster::faces[0].faceLight, row.faceLight);
    }
  }
}

TEST_F(QxModelDraw, AmbientFloorAndForcedLighting) {
  Make();
  qxCore_SetRenderFlags(QXRENDER_BACKFACE_CULL | QXRENDER_AMBIENT);
  qxCamera_SetAmbientLight(view.camera, 0.25f);
  model->Mesh(0)->faces[0].flags |= QXFACE_FORCE_LIGHTING;
  Draw();
  ASSERT_EQ(FakeRaster::faces.size(), 1u);
  EXPECT_EQ(FakeRaster::faces[0].ambientFloor, 0.25f);
  EXPECT_EQ(FakeRaster::faces[0].lightingMode, 1);
  qxCamera_SetAmbientLight(view.camera, 0.0f);
}

TEST_F(QxModelDraw, HiddenNodesHideChildrenDrawFlagOnlyItsOwnMesh) {
  Make(3);
  struct Row {
    int node;
    bool hide;
    std::vector<int> meshes;
  } rows[] = {{1, false, {0, 2}}, {1, true, {0}}, {0, false, {1, 2}}};
  for (const Row& row : rows) {
    FakeHooks::calls.clear();
    for (int i = 0; i < 3; ++i) thing->drawFlags[i] = 1, thing->hiddenFlags[i] = 0;
    (row.hide ? thing->hiddenFlags : thing->drawFlags)[row.node] = row.hide ? 1 : 0;
    Draw();
    std::vector<int> drawn;
    for (const auto& c : FakeHooks::calls) {
      if (c.name == "mesh") drawn.push_back(static_cast<const qxModel3Mesh*>(c.object)->meshIndex);
    }
    EXPECT_EQ(drawn, row.meshes);
  }
}

TEST_F(QxModelDraw, InheritingNodeTakesTheAncestorsIntensity) {
  Make(3);
  model->Mesh(0)->meshIntensity = 0.7f;
  model->Mesh(0)->lightingMode = 1;
  model->nodes[1].flags = QXNODE_INHERIT_INTENSITY;
  model->nodes[2].flags = QXNODE_INHERIT_INTENSITY;
  Draw();
  for (int n : {1, 2}) {
    EXPECT_EQ(model->Mesh(n)->lightingMode, 6);
    EXPECT_FLOAT_EQ(model->Mesh(n)->meshIntensity, 0.7f);
    EXPECT_FLOAT_EQ(model->Mesh(n)->faces[0].extraLight, 0.7f);
  }
  EXPECT_EQ(model->Mesh(0)->lightingMode, 1);
}

TEST_F(QxModelDraw, MeshClipStateChoosesTheGatherer) {
  Make();
  struct Row {
    int modelAnswer, meshAnswer;
    int sphereTests, clipperCalls;
  } rows[] = {{0, 1, 1, 0}, {1, 0, 2, 0}, {1, 1, 2, 1}};
  for (const Row& row : rows) {
    FakeClip::calls.clear();
    FakeRaster::faces.clear();
    // The model's answer comes first; the mesh test (when made) answers the second.
    static int answers[2];
    answers[0] = row.modelAnswer;
    answers[1] = row.meshAnswer;
    static int asked;
    asked = 0;
    qxPrimitiveClippers c = *qxPrimitive_GetClippers();
    c.sphereInFrustum = [](const qxClipFrustum* f, const qxVector3* p, float r) {
      FakeClip::sphereAnswer = answers[asked < 1 ? asked++ : 1];
      return FakeClip::Sphere(f, p, r);
    };
    qxPrimitive_SetClippers(&c);
    Draw();
    EXPECT_EQ(FakeClip::Count("sphere"), row.sphereTests);
    EXPECT_EQ(FakeClip::Count("litPersp"), row.clipperCalls);
    EXPECT_EQ(FakeRaster::faces.size(), 1u);
    FakeClip::Install();
  }
}

TEST_F(QxModelDraw, BackFacesAreCulledUnlessTwoSided) {
  Make();
  qxFace& face = model->Mesh(0)->faces[0];
  face.normal = {0, 1, 0};  // facing away
  Draw();
  EXPECT_TRUE(FakeRaster::faces.empty());
  face.flags |= QXFACE_TWO_SIDED;
  Draw();
  ASSERT_EQ(FakeRaster::faces.size(), 1u);
  EXPECT_EQ(FakeRaster::faces[0].reverseWinding, 1);
}

TEST_F(QxModelDraw, MeshOfManyVerticesIsTransformedWhole) {
  Make();
  std::vector<qxVector3> many(600, qxVector3{0, 5, 0});
  many[597] = {-1, 5, -1};
  many[598] = {1, 5, -1};
  many[599] = {0, 5, 1};
  model->AddMesh(0, many, {{597, 598, 599}}, {0, -1, 0}, 6.0f);
  Draw();
  ASSERT_EQ(FakeRaster::faces.size(), 1u);
  EXPECT_FLOAT_EQ(FakeRaster::faces[0].screenVerts[2].x, view.canvas->centreX);
}

TEST_F(QxModelDraw, SkeletonDrawsALinePerChild) {
  Make(3);
  for (auto& n : model->nodes) n.position = {0, 2, 0};
  qxThing_SetModel3(thing, &model->model);
  FakeHooks::calls.clear();
  EXPECT_EQ(qxThing_DrawSkeleton(thing, &qxMatrix34_identity, 5), 1);
  EXPECT_EQ(FakeHooks::Count("line"), 2);
  EXPECT_EQ(FakeClip::Count("line"), 2);
  ExpectNearVector(FakeClip::calls[0].points[0], {0, 2, 0});
  ExpectNearVector(FakeClip::calls[0].points[1], {0, 4, 0});
}

TEST_F(QxModelDraw, NodeMatrixQuery) {
  Make(2);
  qxPuppet_BuildJointMatrices(thing, &qxMatrix34_identity);
  qxMatrix34 out = At(9, 9, 9);
  EXPECT_EQ(qxModel3_GetNodeMatrix(thing, 2, &out), 0);
  EXPECT_EQ(qxModel3_GetNodeMatrix(thing, -1, &out), 0);
  EXPECT_FLOAT_EQ(out.t.x, 9.0f);
  EXPECT_EQ(qxModel3_GetNodeMatrix(thing, 1, &out), 1);
  EXPECT_FLOAT_EQ(out.t.x, 0.0f);
}

// A quad and a triangle of one material and cel.
struct TwoFaces {
  int32_t quad[4] = {10, 11, 12, 13}, tri[3] = {20, 21, 70000};
  int32_t quadTex[4] = {1, 2, 3, 4}, triTex[3] = {5, 6, 7};
  qxFace faces[3];
  qxMaterial a{}, b{};
  TwoFaces() {
    for (auto& f : faces) qxFace_NewEntry(&f);
    faces[0].vertexCount = 4;
    faces[0].vertexIndices = quad;
    faces[0].texVertexIndices = quadTex;
    faces[1].vertexCount = 3;
    faces[1].vertexIndices = tri;
    faces[1].texVertexIndices = triTex;
    faces[2].vertexCount = 3;
    faces[2].vertexIndices = tri;
    for (auto& f : faces) f.material = &a;
    faces[0].celIndex = faces[1].celIndex = 1;
    faces[2].material = &b;  // another pair
  }
};

TEST_F(QxModelDraw, TriangleIndicesStopWritingAtTheCapacity) {
  TwoFaces t;
  EXPECT_EQ(qxModel3_BuildTriangleIndices(3, t.faces, &t.a, 1, 0, 0, nullptr), 9);
  std::vector<uint16_t> out(12, 0xFFFF);
  EXPECT_EQ(qxModel3_BuildTriangleIndices(3, t.faces, &t.a, 1, 0, 6, out.data()), 9);
  EXPECT_EQ(out, (std::vector<uint16_t>{10, 11, 12, 10, 12, 13, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF,
                                        0xFFFF, 0xFFFF}));
  EXPECT_EQ(qxModel3_BuildTriangleIndices(3, t.faces, &t.a, 1, 1, 12, out.data()), 9);
  EXPECT_EQ(out[6], 5);
  EXPECT_EQ(out[8], 7);
  EXPECT_EQ(qxModel3_BuildTriangleIndices(3, t.faces, &t.a, 1, 0, 12, out.data()), 9);
  EXPECT_EQ(out[8], static_cast<uint16_t>(70000));  // the low 16 bits
}

TEST_F(QxModelDraw, FaceMaterialsCountBeyondTheCapacity) {
  TwoFaces t;
  t.faces[1].celIndex = 2;  // three distinct pairs: (a, 1), (a, 2), (b, -1)
  qxFaceMaterial out[2] = {};
  EXPECT_EQ(qxModel3_CollectFaceMaterials(3, t.faces, out, 2), 3);
  EXPECT_EQ(out[0].material, &t.a);
  EXPECT_EQ(out[0].cel, 1);
  EXPECT_EQ(out[1].cel, 2);
  t.faces[2] = t.faces[0];  // a repeat is not counted
  EXPECT_EQ(qxModel3_CollectFaceMaterials(3, t.faces, out, 1), 2);
  EXPECT_EQ(qxModel3_CollectFaceMaterials(3, t.faces, nullptr, 0), 2);
}

TEST_F(QxModelDraw, MaterialTextureQuery) {
  DisplayBuffer level{};
  qxMaterialTexture texture{};
  texture.flags = QXMATERIAL_TEXTURE_COLORKEY;
  texture.colorKey = 0x1234;
  texture.mipCount = 1;
  texture.mipLevels[0] = &level;
  qxMaterialCel flat{}, textured{};
  flat.colour = 7;
  textured.flags = QXMATERIAL_CEL_TEXTURED;
  textured.colour = 9;
  textured.texture = &texture;
  qxMaterial m{};
  m.flags = QXMATERIAL_TEXTURED | QXMATERIAL_HARDWARE;
  m.celCount = 2;
  m.cels[0] = &flat;
  m.cels[1] = &textured;
  m.currentCel = 1;
  DisplayBuffer* bitmap = nullptr;
  int32_t keyed = -1, colour = -1;
  uint32_t key = 0, hardware = 0;
  qxModel3_GetMaterialTexture(&m, -1, &bitmap, &keyed, &key, &colour, &hardware);
  EXPECT_EQ(bitmap, &level);
  EXPECT_EQ(keyed, 1);
  EXPECT_EQ(key, 0x1234u);
  EXPECT_EQ(colour, 9);
  EXPECT_EQ(hardware, 4u);
  qxModel3_GetMaterialTexture(&m, 0, &bitmap, &keyed, &key, &colour, nullptr);
  EXPECT_EQ(bitmap, nullptr);
  EXPECT_EQ(keyed, 0);
  EXPECT_EQ(colour, 7);
  qxModel3_GetMaterialTexture(&m, 5, &bitmap, nullptr, nullptr, &colour, nullptr);  // no such cel
  EXPECT_EQ(bitmap, nullptr);
}

}  // namespace

namespace {

TEST(QxModelQueries, BitmapInfoAndPalette) {
  qxTest_StartLibrary();
  qxColormap colormap{};
  colormap.palette[3] = 99;
  qxColormap* saved = qxCore_pCurrentColormap;
  qxCore_pCurrentColormap = nullptr;
  EXPECT_EQ(qxModel3_GetCurrentPalette(), nullptr);
  qxCore_pCurrentColormap = &colormap;
  EXPECT_EQ(qxModel3_GetCurrentPalette(), colormap.palette);

  BufferFormat f{};
  f.width = 8;
  f.height = 4;
  f.format.bitsPerPixel = 8;  // indexed
  DisplayBuffer* indexed = stdDisplay_NewBuffer(&f, 0, 0, nullptr);
  stdDisplay_SetBufferColorKey(indexed, 5);
  int32_t w = 0, h = 0, bits = 0;
  void* pixels = nullptr;
  void* extra = &w;
  const uint8_t* palette = nullptr;
  uint32_t key = 0;
  qxModel3_GetBitmapInfo(indexed, &w, &h, &pixels, &bits, &palette, &key, &extra);
  EXPECT_EQ(w, 8);
  EXPECT_EQ(h, 4);
  EXPECT_EQ(bits, 8);
  EXPECT_EQ(pixels, indexed->pixels);
  EXPECT_EQ(palette, colormap.palette);  // no palette of its own
  EXPECT_EQ(key, 5u);
  EXPECT_EQ(extra, nullptr);
  uint8_t own[768] = {};
  indexed->palette = own;
  qxModel3_GetBitmapInfo(indexed, nullptr, nullptr, nullptr, nullptr, &palette, nullptr, nullptr);
  EXPECT_EQ(palette, own);

  f.format.colorMode = 1;
  f.format.bitsPerPixel = 16;
  DisplayBuffer* rgb = stdDisplay_NewBuffer(&f, 0, 0, nullptr);
  qxModel3_GetBitmapInfo(rgb, nullptr, nullptr, nullptr, &bits, &palette, nullptr, nullptr);
  EXPECT_EQ(bits, 16);
  EXPECT_EQ(palette, nullptr);
  stdDisplay_FreeBuffer(rgb);
  stdDisplay_FreeBuffer(indexed);
  qxCore_pCurrentColormap = saved;
}

}  // namespace
