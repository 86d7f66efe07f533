// Dirty rectangles, the restoring flush, cached rectangles and picking.
#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "RenderTestSupport.h"
#include "quadrix/qxCamera.h"
#include "quadrix/qxCanvas.h"
#include "quadrix/qxMatrix.h"

namespace {

std::vector<DirtyRectInfo> Rects() {
  std::vector<DirtyRectInfo> out(64);
  out.resize(drevRender_GetDirtyRects(out.data(), 64));
  return out;
}

class Dirty : public RenderTest {};

TEST_F(Dirty, AlignmentAndEmptyRectangles) {
  const int empty[4] = {10, 10, 0, 5}, flat[4] = {10, 10, 5, -1};
  drevRender_InvalidateRect(empty, 1);
  drevRender_InvalidateRect(flat, 1);
  EXPECT_EQ(drevRender_GetDirtyRectCount(), 0);

  const int odd[4] = {5, 0, 10, 3};
  drevRender_InvalidateRect(odd, 0);
  const int even[4] = {100, 0, 8, 3};
  drevRender_InvalidateRect(even, 0);
  const auto r = Rects();
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[1].x, 4);
  EXPECT_EQ(r[1].width, 12);
  EXPECT_EQ(r[0].x, 100);
  EXPECT_EQ(r[0].width, 8);

  // Script coordinates far off the screen neither overflow nor add a node.
  const int far[4] = {INT_MAX - 2, INT_MAX - 2, INT_MAX, INT_MAX};
  drevRender_InvalidateRect(far, 1);
  EXPECT_EQ(drevRender_GetDirtyRectCount(), 2);
}

TEST_F(Dirty, MergeRules) {
  const int outer[4] = {0, 0, 100, 100};
  drevRender_AddDirtyRect(outer, 0, 0);
  // Inside: only the flag rises.
  const int inner[4] = {10, 10, 20, 20};
  drevRender_AddDirtyRect(inner, 1, 0);
  auto r = Rects();
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].zRestore, 1);
  EXPECT_EQ(r[0].width, 100);

  // Covering absorbs.
  const int cover[4] = {-10, -10, 200, 200};
  drevRender_AddDirtyRect(cover, 0, 0);
  r = Rects();
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].x, -10);
  EXPECT_EQ(r[0].width, 200);
  EXPECT_EQ(r[0].zRestore, 1);

  // Other countdowns never merge.
  drevRender_AddDirtyRect(inner, 0, 1);
  EXPECT_EQ(drevRender_GetDirtyRectCount(), 2);
}

TEST_F(Dirty, OffsetOverlapsGiveThreeDisjointBands) {
  const int a[4] = {0, 0, 100, 100}, b[4] = {50, 50, 100, 100};
  drevRender_AddDirtyRect(a, 0, 0);
  drevRender_AddDirtyRect(b, 0, 0);
  auto r = Rects();
  ASSERT_EQ(r.size(), 3u);
  struct Band {
    int x, y, w, h;
  };
  std::vector<Band> bands;
  for (const auto& d : r) bands.push_back({d.x, d.y, d.width, d.height});
  auto has = [&](Band want) {
    for (const Band& g : bands)
      if (g.x == want.x && g.y == want.y && g.w == want.w && g.h == want.h) return true;
    return false;
  };
  EXPECT_TRUE(has({0, 50, 150, 50}));    // middle, spanning both
  EXPECT_TRUE(has({0, 0, 100, 50}));     // top: the first rectangle's columns
  EXPECT_TRUE(has({50, 100, 100, 50}));  // bottom: the second's
  for (size_t i = 0; i < r.size(); ++i) {
    for (size_t j = i + 1; j < r.size(); ++j) {
      const bool overlap = r[i].x < r[j].x + r[j].width && r[j].x < r[i].x + r[i].width &&
                           r[i].y < r[j].y + r[j].height && r[j].y < r[i].y + r[i].height;
      EXPECT_FALSE(overlap) << i << " " << j;
    }
  }
}

// Flag bits 0 and 1: restored areas come from the clean copies, or become 0.
TEST_F(Dirty, FlushRestoresOrFills) {
  RenderTest_Fill(drevRender_GetCleanBuffer(), 0x1234);
  RenderTest_Fill(drevRender_GetCleanZBuffer(), 0x5678);
  RenderTest_Fill(display_, 0xffff);
  RenderTest_Fill(z_, 0xffff);
  const int rect[4] = {8, 8, 8, 8};
  drevRender_InvalidateRect(rect, 1);
  drevRender_FlushDirtyRects(display_, z_);
  EXPECT_EQ(RenderTest_Pixel(display_, 10, 10), 0x1234);
  EXPECT_EQ(RenderTest_Pixel(z_, 10, 10), 0x5678);
  EXPECT_EQ(RenderTest_Pixel(display_, 20, 10), 0xffff);
  EXPECT_EQ(drevRender_GetDirtyRectCount(), 0);

  drevRender_SetBackgroundEnabled(0, 0);  // no set setup: both flags stay set
  ASSERT_EQ(drevRender_GetRenderFlags() & 3u, 3u);
  drevRender_ClearDirtyRects();
  RenderTest_Fill(display_, 0xffff);
  RenderTest_Fill(z_, 0xffff);
  drevRender_InvalidateRect(rect, 1);
  drevRender_FlushDirtyRects(display_, z_);
  EXPECT_EQ(RenderTest_Pixel(display_, 10, 10), 0);
  EXPECT_EQ(RenderTest_Pixel(z_, 10, 10), 0);

  // Without a current set nothing is flushed.
  RenderTest_Room() = nullptr;
  drevRender_InvalidateRect(rect, 1);
  drevRender_FlushDirtyRects(display_, z_);
  EXPECT_EQ(drevRender_GetDirtyRectCount(), 1);
}

TEST_F(Dirty, TwoDisplayBuffersRestoreDepthTwiceAndColourOnce) {
  drevRender_SetBufferCount(2);
  RenderTest_Fill(drevRender_GetCleanBuffer(), 0x1111);
  RenderTest_Fill(drevRender_GetCleanZBuffer(), 0x2222);
  const int rect[4] = {0, 0, 4, 4};
  drevRender_InvalidateRect(rect, 1);  // countdown 1
  ASSERT_EQ(Rects()[0].countdown, 1);

  RenderTest_Fill(display_, 0);
  RenderTest_Fill(z_, 0);
  drevRender_FlushDirtyRects(display_, z_);
  EXPECT_EQ(RenderTest_Pixel(z_, 1, 1), 0x2222);
  EXPECT_EQ(RenderTest_Pixel(display_, 1, 1), 0);
  EXPECT_EQ(drevRender_GetDirtyRectCount(), 1);

  RenderTest_Fill(z_, 0);
  drevRender_FlushDirtyRects(display_, z_);
  EXPECT_EQ(RenderTest_Pixel(z_, 1, 1), 0x2222);
  EXPECT_EQ(RenderTest_Pixel(display_, 1, 1), 0x1111);
  EXPECT_EQ(drevRender_GetDirtyRectCount(), 0);
}

TEST_F(Dirty, CachedRectanglesByLiveSerial) {
  DisplayBuffer* clean = drevRender_GetCleanBuffer();
  RenderTest_Fill(clean, 0x0101);
  const uint32_t first = drevRender_CacheRect(0, 0, 10, 10);
  RenderTest_Fill(clean, 0x0202);
  const uint32_t second = drevRender_CacheRect(20, 20, 10, 10);
  ASSERT_NE(first, 0u);
  ASSERT_NE(second, first);
  EXPECT_EQ(drevRender_CacheRect(5, 5, 0, 10), 0u);     // empty: nothing cached
  EXPECT_EQ(drevRender_CacheRect(700, 5, 10, 10), 0u);  // off the buffer

  RenderTest_Fill(clean, 0x0303);
  // Whatever handle is passed, the newest record is put back.
  ASSERT_TRUE(drevRender_IsCachedRect(first));
  drevRender_RestoreCacheRect();
  EXPECT_EQ(RenderTest_Pixel(clean, 25, 25), 0x0202);
  EXPECT_EQ(RenderTest_Pixel(clean, 5, 5), 0x0303);
  EXPECT_GT(drevRender_GetDirtyRectCount(), 0);

  drevRender_FreeCachedRects();
  EXPECT_FALSE(drevRender_IsCachedRect(first));
  EXPECT_FALSE(drevRender_IsCachedRect(second));
  // A later record never takes a freed record's serial.
  const uint32_t third = drevRender_CacheRect(0, 0, 4, 4);
  EXPECT_NE(third, first);
  EXPECT_NE(third, second);
}

class Picking : public RenderTest {
 protected:
  void SetUp() override {
    RenderTest::SetUp();
    camera_ = qxCamera_New(90.0f, 0, 0.1f, 100.0f, 1.0f);
    qxCamera_SetCanvas(camera_, drevRender_GetCanvas());
    qxCamera_SetCurrent(camera_);
  }
  void TearDown() override {
    qxCamera_SetCurrent(nullptr);
    qxCamera_Free(camera_);
    RenderTest::TearDown();
  }
  void SetDepth(int x, int y, uint16_t v) {
    DisplayBuffer* z = drevRender_GetCleanZBuffer();
    static_cast<uint16_t*>(z->pixels)[y * z->format.pixelsPerRow + x] = v;
  }
  qxCamera* camera_ = nullptr;
};

TEST_F(Picking, OutsideTheScreenOrTooFarGivesNothing) {
  qxVector3 p;
  SetDepth(0, 0, 32768);
  EXPECT_EQ(drevRender_PickWorldPoint(640, 0, &p), 0);
  EXPECT_EQ(drevRender_PickWorldPoint(-1, 0, &p), 0);
  EXPECT_EQ(drevRender_PickWorldPoint(0, 480, &p), 0);
  SetDepth(1, 0, 0);
  EXPECT_EQ(drevRender_PickWorldPoint(1, 0, &p), 0);
  SetDepth(2, 0, 600);  // depth 1 / (600 / 65536) - 1, above 100
  EXPECT_EQ(drevRender_PickWorldPoint(2, 0, &p), 0);
  EXPECT_EQ(drevRender_PickWorldPoint(0, 0, &p), 1);
}

TEST_F(Picking, KnownDepthGivesKnownPoint) {
  // v = 32768: q = 0.5, depth 1. At the canvas centre (plus half a pixel)
  // the camera-space point is (0, 1, 0); the camera matrix is the identity.
  const qxCanvas* canvas = drevRender_GetCanvas();
  const int cx = static_cast<int>(canvas->centreX - 0.5f);
  const int cy = static_cast<int>(canvas->centreY - 0.5f);
  SetDepth(cx, cy, 32768);
  qxVector3 p{};
  ASSERT_EQ(drevRender_PickWorldPoint(cx, cy, &p), 1);
  EXPECT_NEAR(p.x, (cx - (canvas->centreX - 0.5f)) / camera_->focal, 1e-5);
  EXPECT_NEAR(p.y, 1.0f, 1e-6);
  EXPECT_NEAR(p.z, -(cy - (canvas->centreY - 0.5f)) / camera_->focal, 1e-5);
}

TEST(Intersections, LineAndPlane) {
  qxVector3 out{};
  const qxVector3 a{0, 0, -1}, b{0, 0, 3};
  ASSERT_EQ(drevRender_IntersectLinePlane(&out, &a, &b, 0, 0, 1, 0), 1);
  EXPECT_FLOAT_EQ(out.z, 0.0f);
  // Both ends at the same distance: parallel.
  const qxVector3 c{0, 0, 2}, d{5, 1, 2.05f};
  EXPECT_EQ(drevRender_IntersectLinePlane(&out, &c, &d, 0, 0, 1, 0), 0);
}

TEST(Intersections, SegmentAndTriangle) {
  const qxVector3 v0{0, 0, 0}, v1{1, 0, 0}, v2{0, 1, 0};  // normal +z
  struct Case {
    const char* name;
    qxVector3 p, q;
    int hit;
  } cases[] = {
      {"front", {0.25f, 0.25f, 1}, {0.25f, 0.25f, -1}, 1},
      {"back", {0.25f, 0.25f, -1}, {0.25f, 0.25f, 1}, 0},
      {"edge", {0.5f, 0.0f, 1}, {0.5f, 0.0f, -1}, 1},
      {"miss", {0.8f, 0.8f, 1}, {0.8f, 0.8f, -1}, 0},
      {"short", {0.25f, 0.25f, 2}, {0.25f, 0.25f, 1}, 0},
  };
  for (const Case& c : cases) {
    qxVector3 out{9, 9, 9};
    EXPECT_EQ(drevRender_IntersectSegmentTriangle(&out, &v0, &v1, &v2, &c.p, &c.q), c.hit)
        << c.name;
    if (c.hit) {
      EXPECT_NEAR(out.x, c.p.x, 1e-6) << c.name;
      EXPECT_NEAR(out.y, c.p.y, 1e-6) << c.name;
      EXPECT_NEAR(out.z, 0.0f, 1e-6) << c.name;
    }
  }
}

}  // namespace
