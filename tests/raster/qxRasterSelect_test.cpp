// Selection and dispatch: which face rasterizer a face reaches, with which
// cel and level, against recording fakes of both families; the reciprocal
// tables.
#include <string>

#include "qxRasterTest.h"

namespace {

using namespace rastertest;

struct Call {
  int id;
  qxMaterialCel* cel;
  float level;
  bool lit;
};
std::vector<Call> g_calls;

template <int Id>
void Record(qxCacheFace*, qxMaterialCel* cel) {
  g_calls.push_back({Id, cel, 0.0f, false});
}
template <int Id>
void RecordLit(qxCacheFace*, qxMaterialCel* cel, float level) {
  g_calls.push_back({Id, cel, level, true});
}

// Ids: 1 points, 2 wireframe; unlit 100, lit 200, Gouraud 300, plus kind x 10
// (0 solid, 1 affine, 2 perspective), keyed x 2, translucent x 1. The z-buffer
// family adds 1000.
template <int Base>
qxRasterFamily Family() {
  qxRasterFamily f{};
  f.points = Record<Base + 1>;
  f.wireframe = Record<Base + 2>;
#define QX_ROW(k, key, t)                                            \
  f.unlit[k][key][t] = Record<Base + 100 + (k)*10 + (key)*2 + (t)>;  \
  f.lit[k][key][t] = RecordLit<Base + 200 + (k)*10 + (key)*2 + (t)>; \
  f.gouraud[k][key][t] = Record<Base + 300 + (k)*10 + (key)*2 + (t)>;
#define QX_KIND(k) QX_ROW(k, 0, 0) QX_ROW(k, 0, 1) QX_ROW(k, 1, 0) QX_ROW(k, 1, 1)
  QX_KIND(0)
  QX_KIND(1)
  QX_KIND(2)
#undef QX_KIND
#undef QX_ROW
      return f;
}

const qxRasterFamily kDirect = Family<0>();
const qxRasterFamily kZBuffered = Family<1000>();

class RasterSelect : public RasterTest {
 protected:
  void SetUp() override {
    RasterTest::SetUp();
    qxRaster_SetFamilies(&kDirect, &kZBuffered);
    g_calls.clear();
  }
  qxCacheFace* Face(int geometry, int lighting, int texture = 0, int cel = 2) {
    return Queue({{1, 1, 5}, {9, 2, 5}, {4, 8, 5}}, geometry, lighting, texture, &material.material,
                 cel);
  }
  TestTexture texture{2, 2, 1, [](int, int, int) { return 1; }};
  TestMaterial material{&texture.tex};
};

TEST_F(RasterSelect, ModesCelsAndFlagsPickOneRasterizerOfEachFamily) {
  struct Case {
    int geometry, lighting, texture, cel;
    bool keyed, translucent;
    int id;  // direct family; -1: nothing drawn
  };
  const Case cases[] = {
      {1, 4, 0, 2, false, false, 1},   {2, 4, 1, 2, false, false, 2},
      {3, 0, 0, 2, false, false, 100}, {3, 0, 0, 2, false, true, 101},
      {3, 2, 0, 2, false, true, 201},  {3, 3, 1, 2, false, false, 300},
      {4, 0, 0, 2, false, false, 110}, {4, 1, 0, 2, true, true, 213},
      {4, 3, 0, 2, true, false, 312},  {4, 0, 1, 2, true, false, 122},
      {4, 2, 1, 2, false, true, 221},  {4, 3, 1, 2, true, true, 323},
      {4, 3, 1, 0, true, true, 301},  // untextured cel: solid in its colour
      {3, 4, 0, 2, false, false, -1},  {4, 4, 1, 2, false, false, -1},
      {1, 5, 0, 2, false, false, -1},  {1, -1, 0, 2, false, false, -1},
      {4, 0, -1, 2, false, false, -1}, {5, 0, 0, 2, false, false, -1},
      {-2, 0, 0, 2, false, false, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "geometry " << c.geometry << " lighting " << c.lighting
                                      << " texture " << c.texture << " cel " << c.cel);
    texture.tex.flags = c.keyed ? uint32_t{QXMATERIAL_TEXTURE_COLORKEY} : 0u;
    const uint32_t flags = c.translucent ? uint32_t{QXCACHE_FACE_TRANSLUCENT} : 0u;
    for (int family = 0; family < 2; ++family) {
      g_calls.clear();
      qxCacheFace* f = Face(c.geometry, c.lighting, c.texture, c.cel);
      ASSERT_NE(f, nullptr);
      f->faceFlags = flags;
      EXPECT_EQ(family ? qxCache_DrawFaceZBuffered(f) : qxCache_DrawFaceDirect(f), 1);
      if (c.id < 0) {
        EXPECT_TRUE(g_calls.empty());
      } else {
        ASSERT_EQ(g_calls.size(), 1u);
        EXPECT_EQ(g_calls[0].id, c.id + 1000 * family);
        EXPECT_EQ(g_calls[0].cel, &material.cels[c.cel]);
      }
      qxCache_Reset();
    }
  }
}

TEST_F(RasterSelect, GlobalCeilingsCapTheFaceModes) {
  qxCore_SetGeometryMode(3);
  EXPECT_EQ(qxCache_DrawFaceDirect(Face(4, 0)), 1);
  ASSERT_EQ(g_calls.size(), 1u);
  EXPECT_EQ(g_calls[0].id, 100);

  // Texture mode 2 under a ceiling of 3 draws nothing in either family.
  qxCore_SetGeometryMode(5);
  qxCore_SetTextureMode(3);
  g_calls.clear();
  EXPECT_EQ(qxCache_DrawFaceDirect(Face(4, 0, 2)), 1);
  EXPECT_EQ(qxCache_DrawFaceZBuffered(Face(4, 0, 2)), 1);
  EXPECT_TRUE(g_calls.empty());

  qxCore_SetGeometryMode(0);
  qxCacheFace* f = Face(4, 1);
  f->extraLight = 0.5f;
  f->drawProc = [](qxCacheFace*, qxMaterialCel* cel, float level) {
    g_calls.push_back({-1, cel, level, true});
  };
  EXPECT_EQ(qxCache_DrawFaceDirect(f), 0);
  EXPECT_EQ(qxCache_DrawFaceZBuffered(f), 0);
  EXPECT_EQ(qxCache_DrawProceduralFace(f), 0);
  EXPECT_TRUE(g_calls.empty());
  EXPECT_EQ(f->faceLight, 0.0f);  // no level was worked out
}

TEST_F(RasterSelect, CelIndexTakesTheCurrentCelAndIsClamped) {
  const struct {
    int index;
    int cel;
  } cases[] = {{-1, 1}, {7, 2}, {-5, 0}, {1, 1}};
  for (const auto& c : cases) {
    g_calls.clear();
    qxCache_DrawFaceDirect(Face(3, 0, 0, c.index));
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].cel, &material.cels[c.cel]) << c.index;
  }
  // Without a material: no cel and no downgrade; the rasterizer gets null.
  g_calls.clear();
  qxCacheFace* f = Queue({{1, 1, 5}, {9, 2, 5}, {4, 8, 5}}, 4, 0, 1, nullptr, 0);
  qxCache_DrawFaceDirect(f);
  ASSERT_EQ(g_calls.size(), 1u);
  EXPECT_EQ(g_calls[0].id, 120);
  EXPECT_EQ(g_calls[0].cel, nullptr);
}

TEST_F(RasterSelect, FaceLevelsFromExtraAndFaceLightWithTheAmbientFloor) {
  struct Case {
    int lighting;
    float extra, face, floor;
    bool floorFlag;
    float level;
  };
  const Case cases[] = {
      {1, 1.7f, 0.0f, 0.0f, false, 63.0f},  {1, -0.2f, 0.0f, 0.25f, true, 15.75f},
      {1, -0.2f, 0.0f, 0.25f, false, 0.0f}, {2, 0.25f, 0.5f, 0.0f, false, 47.25f},
      {2, 0.25f, 0.5f, 3.0f, true, 63.0f},  // the floor is held to 1
  };
  for (const Case& c : cases) {
    g_calls.clear();
    qxCore_SetRenderFlags(c.floorFlag ? QXRENDER_AMBIENT : 0);
    qxCacheFace* f = Face(3, c.lighting);
    f->extraLight = c.extra;
    f->faceLight = c.face;
    f->ambientFloor = c.floor;
    qxCache_DrawFaceZBuffered(f);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].id, 1200);
    EXPECT_FLOAT_EQ(g_calls[0].level, c.level);
    EXPECT_FLOAT_EQ(f->faceLight, c.level);
  }
}

TEST_F(RasterSelect, GouraudLevelsAreRewrittenPerVertex) {
  qxCacheFace* f = Face(3, 3);
  f->levels[0] = 0.0f;
  f->levels[1] = 0.5f;
  f->levels[2] = 1.2f;
  f->extraLight = 0.1f;
  qxCache_DrawFaceDirect(f);
  EXPECT_FLOAT_EQ(f->levels[0], 0.1f * 63.0f);
  EXPECT_FLOAT_EQ(f->levels[1], 0.6f * 63.0f);
  EXPECT_FLOAT_EQ(f->levels[2], 63.0f);
  EXPECT_NEAR(f->levels[0], 6.3f, 1e-5f);
  EXPECT_NEAR(f->levels[1], 37.8f, 1e-5f);
}

TEST_F(RasterSelect, ProceduralFacesGetTheirHookWithTheFaceLevelOnly) {
  auto hook = [](qxCacheFace*, qxMaterialCel* cel, float level) {
    g_calls.push_back({-1, cel, level, true});
  };
  const struct {
    int geometry, lighting, texture;
    bool called;
    float level;
  } cases[] = {{3, 3, 0, true, 0.0f}, {4, 1, 1, true, 31.5f}, {1, 4, 0, true, 0.0f},
               {2, 1, 0, true, 0.0f}, {3, 4, 0, false, 0.0f}, {4, 0, 2, false, 0.0f}};
  for (const auto& c : cases) {
    g_calls.clear();
    qxCacheFace* f = Face(c.geometry, c.lighting, c.texture);
    f->entryFlags = QXCACHE_ENTRY_PROCEDURAL;
    f->drawProc = hook;
    f->extraLight = 0.5f;
    f->levels[0] = f->levels[1] = f->levels[2] = 0.5f;
    EXPECT_EQ(qxCache_DrawProceduralFace(f), 1);
    ASSERT_EQ(g_calls.size(), c.called ? 1u : 0u);
    if (!c.called) continue;
    EXPECT_EQ(g_calls[0].level, c.level);
    EXPECT_EQ(g_calls[0].cel, &material.cels[2]);
    // Lighting 3 rewrote the vertex levels before the hook ran.
    EXPECT_EQ(f->levels[0], c.geometry == 3 ? 63.0f : 0.5f);
  }
}

TEST(RasterTables, ReciprocalTables) {
  qxTest_StartLibrary();
  EXPECT_EQ(qxRecipTables.recipFixed[1], 65536);
  EXPECT_EQ(qxRecipTables.recipFixed[3], 21845);
  EXPECT_EQ(qxRecipTables.recipFixed[2047], 32);
  EXPECT_EQ(qxRecipTables.recipFixed[0], 0x7FFFFFFF);
  EXPECT_EQ(qxRecipTables.recipFloat[0], 3.4e38f);
  EXPECT_EQ(qxRecipTables.recipFloat[8], 0.125f);
  EXPECT_EQ(qxRecipTables.recipFloat[3], 1.0f / 3.0f);
}

TEST(RasterConversions, SaturatingTruncation) {
  EXPECT_EQ(qxRaster_ToInt(-2.9), -2);
  EXPECT_EQ(qxRaster_ToInt(2.9f), 2);
  EXPECT_EQ(qxRaster_ToInt(1e20), INT32_MAX);
  EXPECT_EQ(qxRaster_ToInt(-1e20f), INT32_MIN);
  EXPECT_EQ(qxRaster_ToInt(std::nan("")), 0);
  EXPECT_EQ(qxRaster_ToInt(-HUGE_VALF), 0);
  // Floats at and beyond the ends of the range, and those that are no number.
  const struct {
    float v;
    int32_t want;
  } cases[] = {{-2147483648.0f, INT32_MIN},
               {2147483520.0f, 2147483520},
               {2147483648.0f, INT32_MAX},
               {-2147483904.0f, INT32_MIN},
               {HUGE_VALF, 0},
               {std::nanf(""), 0},
               {-0.99f, 0},
               {-65536.5f, -65536}};
  for (const auto& c : cases) EXPECT_EQ(qxRaster_ToInt(c.v), c.want) << c.v;
}

}  // namespace
