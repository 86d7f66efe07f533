// Thousands of random faces of every variant, clipped by the camera's
// frustum or thrown at the canvas unclipped and broken in assorted ways,
// into canvases framed by guard bands: nothing is written outside the
// canvas rectangle, and every face that arrives clipped passes the guards.
#include <random>

#include "quadrix/qxClip.h"
#include "qxRasterTest.h"
#include "raster/qxRaster_Internal.h"

namespace {

using namespace rastertest;

constexpr int kGuard = 12;
constexpr uint8_t kSentinel8 = 0xA5;
constexpr uint16_t kSentinel16 = 0xA5A5;

class RasterRobust : public RasterTest {
 protected:
  void SetUp() override {
    RasterTest::SetUp();
    for (int i = 0; i < 4; ++i) {
      textures.push_back(std::make_unique<TestTexture>(
          4 + i % 2, 3 + i, 1 + i, [i](int k, int x, int y) { return (x * 3 + y * 5 + k + i) % 7; },
          i % 2 == 1));
    }
    // Cels 0 and 1 untextured, 2 to 5 textured with 1 to 4 mip levels.
    for (int i = 0; i < 6; ++i) {
      cels[i].colour = 30 + i;
      if (i >= 2) {
        cels[i].flags = QXMATERIAL_CEL_TEXTURED;
        cels[i].texture = &textures[static_cast<size_t>(i - 2)]->tex;
      }
      material.cels[i] = &cels[i];
    }
    material.celCount = 6;
    material.currentCel = 3;
  }

  // Sentinels outside the canvas rectangle, zeros inside.
  static void Frame(View& view) {
    for (int y = 0; y < view.height; ++y) {
      for (int x = 0; x < view.width; ++x) {
        const bool inside =
            x >= kGuard && x < view.width - kGuard && y >= kGuard && y < view.height - kGuard;
        view.SetPixel(x, y, inside ? 0 : (view.Bpp() == 8 ? kSentinel8 : kSentinel16));
        if (view.zBuffer) view.SetDepth(x, y, inside ? 0 : kSentinel16);
      }
    }
  }
  static int GuardsTouched(const View& view) {
    int touched = 0;
    for (int y = 0; y < view.height; ++y) {
      for (int x = 0; x < view.width; ++x) {
        if (x >= kGuard && x < view.width - kGuard && y >= kGuard && y < view.height - kGuard) {
          continue;
        }
        touched += view.Pixel(x, y) != (view.Bpp() == 8 ? kSentinel8 : kSentinel16);
        if (view.zBuffer) touched += view.Depth(x, y) != kSentinel16;
      }
    }
    return touched;
  }

  static int DrawnInside(const View& view) {
    int drawn = 0;
    for (int y = kGuard; y < view.height - kGuard; ++y) {
      for (int x = kGuard; x < view.width - kGuard; ++x) drawn += view.Pixel(x, y) != 0;
    }
    return drawn;
  }

  // Random modes, material, cel, winding and flags for a queued face.
  void Dress(qxCacheFace* f) {
    f->geometryMode = Pick(0, 5);
    f->lightingMode = Pick(-1, 4);
    f->textureMode = Pick(0, 2) == 2 ? Pick(-1, 2) : Pick(0, 1);
    f->faceFlags = Pick(0, 1) ? uint32_t{QXCACHE_FACE_TRANSLUCENT} : 0u;
    f->material = Pick(0, 15) ? &material : nullptr;
    f->celIndex = Pick(-2, 7);
    f->reverseWinding = Pick(0, 1);
    f->extraLight = Real(-0.5f, 1.5f);
    f->faceLight = Real(-0.5f, 1.5f);
    f->ambientFloor = Real(-0.5f, 1.5f);
    f->drawProc = nullptr;
  }

  int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
  float Real(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng); }

  std::mt19937 rng{38};
  std::vector<std::unique_ptr<TestTexture>> textures;
  qxMaterialCel cels[6]{};
  qxMaterial material{};
};

TEST_F(RasterRobust, ClippedFacesPassTheGuardsAndNothingLeavesTheCanvas) {
  for (int bpp : {8, 16}) {
    View view(bpp, 64, 48, true, kGuard);
    Frame(view);
    const qxClipFrustum* frustum = view.camera->frustum;
    int drawn = 0;
    for (int i = 0; i < 3000; ++i) {
      qxVector3 camera[32];
      qxVector2 tex[32];
      float light[32];
      const int n = Pick(3, 9);
      // Around the view: many faces cross the frustum's planes.
      const float depth = Real(-2.0f, 40.0f);
      for (int k = 0; k < n; ++k) {
        camera[k] = {Real(-25, 25), depth + Real(-6, 6), Real(-20, 20)};
        tex[k] = {Real(-100, 100), Real(-100, 100)};
        light[k] = Real(-0.5f, 1.5f);
      }
      const int count = qxClip_PolygonTexLitPersp(frustum, camera, tex, light, n);
      if (count < 3) continue;
      qxCacheFace* f = qxCache_NewFace();
      ASSERT_NE(f, nullptr);
      for (int k = 0; k < count; ++k) {
        view.camera->projectPoint(&f->screenVerts[k], &camera[k]);
        f->texVerts[k] = tex[k];
        f->levels[k] = light[k];
      }
      Dress(f);
      if (!qxCache_CommitFace(0, count,
                              QXCACHE_POOL_SCREEN | QXCACHE_POOL_TEXTURE | QXCACHE_POOL_LIGHT)) {
        continue;
      }
      qxCacheFace* queued = &qxCache_GetFaces()[qxCache_GetFaceCount() - 1];
      // Whatever variant it takes, a clipped face that covers a pixel lies
      // inside the canvas.
      const qxraster::Variant solid = {qxraster::Shade::kGouraud, true, false,
                                       qxraster::Kind::kSolid};
      if (queued->x1 > queued->x0 && queued->y1 > queued->y0) {
        ASSERT_TRUE(qxraster::BeginFace(qxZRaster_state, queued, &cels[0], 0, solid, true))
            << "face " << i << " bounds " << queued->x0 << ".." << queued->x1 << ", " << queued->y0
            << ".." << queued->y1;
      }
      ++drawn;
      qxCore_SetZBufferMethod(Pick(0, 1) * 2);
      qxCache_Flush();
    }
    EXPECT_GT(drawn, 1000);
    EXPECT_GT(DrawnInside(view), 2000);
    EXPECT_EQ(GuardsTouched(view), 0) << bpp << " bits";
  }
}

TEST_F(RasterRobust, BrokenAndUnclippedFacesNeverWriteOutside) {
  for (int bpp : {8, 16}) {
    View view(bpp, 64, 48, true, kGuard);
    Frame(view);
    for (int i = 0; i < 4000; ++i) {
      qxCacheFace* f = qxCache_NewFace();
      ASSERT_NE(f, nullptr);
      const int n = Pick(1, 12);
      // Mostly on the canvas, some across its edges; near-collinear, equal
      // and zero-depth vertices and wild texture coordinates come up too.
      const float cx = Real(0, 88), cy = Real(0, 72), size = Real(0, 40);
      for (int k = 0; k < n; ++k) {
        float x = cx + Real(-size, size), y = cy + Real(-size, size);
        if (Pick(0, 9) == 0 && k > 0) x = f->screenVerts[k - 1].x;
        if (Pick(0, 9) == 0 && k > 0) y = f->screenVerts[k - 1].y;
        const float z = Pick(0, 19) == 0 ? Real(-1.0f, 0.0f) : Real(0.01f, 100.0f);
        f->screenVerts[k] = {x, y, z};
        f->texVerts[k] = {Pick(0, 9) ? Real(-200, 200) : Real(-3e9f, 3e9f), Real(-200, 200)};
        f->levels[k] = Real(-1.0f, 2.0f);
      }
      Dress(f);
      view.canvas->zShift = Pick(0, 9) == 0 ? Pick(-5, 40) : 0;
      if (!qxCache_CommitFace(0, n,
                              QXCACHE_POOL_SCREEN | QXCACHE_POOL_TEXTURE | QXCACHE_POOL_LIGHT)) {
        continue;
      }
      qxCacheFace* queued = &qxCache_GetFaces()[qxCache_GetFaceCount() - 1];
      // Broken records: bounds or extremes that disagree with the vertices.
      switch (Pick(0, 30)) {
        case 0:
          queued->x0 -= 20;
          break;
        case 1:
          queued->y1 += 30;
          break;
        case 2:
          queued->topVertex = Pick(-3, 40);
          break;
        case 3:
          queued->vertexCount = static_cast<uint32_t>(Pick(0, 40));
          break;
        default:
          break;
      }
      qxCore_SetZBufferMethod(Pick(0, 1) * 2);
      qxCache_Flush();
    }
    EXPECT_EQ(GuardsTouched(view), 0) << bpp << " bits";
    EXPECT_GT(DrawnInside(view), 1000);
  }
}

}  // namespace
