// The family with depth buffer, solid and affine faces: the depth test and
// write, the shift, translucent and keyed pixels, and the dithered span.
#include "qxRasterTest.h"

namespace {

using namespace rastertest;

class RasterDepth : public RasterTest {
 protected:
  TestMaterial material;
};

// Columns x0 .. x1 - 1 of rows 0 .. 3 at depth z: vertices 0 and 1 on the
// left, 2 and 3 on the right.
std::vector<Vertex> Rect(float x0, float x1, float z) {
  return {{x0, 0, z}, {x0, 4, z}, {x1, 4, z}, {x1, 0, z}};
}

uint16_t DepthOf(float z) {
  return static_cast<uint16_t>(static_cast<int32_t>(1.0f / (z + 1.0f) * 65536.0f));
}

TEST_F(RasterDepth, TheNearerFaceWinsInEitherOrderAndEqualDepthsKeepTheFirst) {
  const uint32_t a = Lit16(63, 40), b = Lit16(63, 41);
  const struct {
    float zA, zB;
    bool aFirst;
    uint32_t overlap;
  } cases[] = {
      {5, 10, true, a}, {5, 10, false, a}, {10, 5, true, b}, {5, 5, true, a}, {5, 5, false, b}};
  for (const auto& c : cases) {
    View view(16, 8, 4, true);
    auto drawA = [&] {
      qxZRaster_DrawSolidUnlit(Queue(Rect(0, 6, c.zA), 3, 0, 0, &material.material),
                               &material.cels[0]);
    };
    auto drawB = [&] {
      qxZRaster_DrawSolidUnlit(Queue(Rect(2, 8, c.zB), 3, 0, 0, &material.material),
                               &material.cels[1]);
    };
    if (c.aFirst) {
      drawA();
      drawB();
    } else {
      drawB();
      drawA();
    }
    EXPECT_EQ(view.Pixel(1, 1), a);
    EXPECT_EQ(view.Pixel(3, 2), c.overlap);
    EXPECT_EQ(view.Pixel(7, 3), b);
    EXPECT_EQ(view.Depth(3, 2), DepthOf(c.overlap == a ? c.zA : c.zB));
    qxCache_Reset();
  }
}

TEST_F(RasterDepth, TheShiftDropsLowBitsBeforeTheCompare) {
  // 16.16 inverse depths 6553 and 6554: apart, but equal after a shift of 2.
  const float farZ = 9.0f, nearZ = 8.9993f;
  ASSERT_EQ(DepthOf(farZ), 6553);
  ASSERT_EQ(DepthOf(nearZ), 6554);
  for (int shift : {0, 2}) {
    View view(16, 8, 4, true);
    view.canvas->zShift = shift;
    qxZRaster_DrawSolidUnlit(Queue(Rect(0, 8, farZ), 3, 0, 0, &material.material),
                             &material.cels[0]);
    qxZRaster_DrawSolidUnlit(Queue(Rect(0, 8, nearZ), 3, 0, 0, &material.material),
                             &material.cels[1]);
    EXPECT_EQ(view.Pixel(4, 2), Lit16(63, shift == 0 ? 41 : 40)) << shift;
    EXPECT_EQ(view.Depth(4, 2), shift == 0 ? 6554 : 6553 >> 2);
    qxCache_Reset();
  }
}

TEST_F(RasterDepth, TranslucentPixelsStoreTheirDepth) {
  View view(16, 8, 4, true);
  qxZRaster_DrawSolidUnlit(Queue(Rect(0, 8, 10), 3, 0, 0, &material.material), &material.cels[0]);
  qxZRaster_DrawSolidUnlitTrans(Queue(Rect(0, 8, 2), 3, 0, 0, &material.material),
                                &material.cels[1]);
  const uint32_t blended = Lit16(63, Trans(Inverse(Lit16(63, 41)), Inverse(Lit16(63, 40))));
  EXPECT_EQ(view.Pixel(4, 2), blended);
  EXPECT_EQ(view.Depth(4, 2), DepthOf(2));
  // An opaque face between the two is hidden behind the translucent one.
  qxZRaster_DrawSolidUnlit(Queue(Rect(0, 8, 5), 3, 0, 0, &material.material), &material.cels[2]);
  EXPECT_EQ(view.Pixel(4, 2), blended);
}

TEST_F(RasterDepth, KeyedHolesLeaveDepthSoLaterFacesShowThrough) {
  // Texels 0 in the left half of the texture, 9 in the right.
  TestTexture texture(
      3, 3, 1, [](int, int x, int) { return x < 4 ? 0 : 9; }, true);
  TestMaterial textured(&texture.tex);
  View view(16, 8, 4, true);
  std::vector<Vertex> front = Rect(0, 8, 2);
  front[2].u = front[3].u = 8;
  qxZRaster_DrawAffineUnlitKeyed(Queue(front, 4, 0, 0, &textured.material, 2), &textured.cels[2]);
  EXPECT_EQ(view.Pixel(1, 1), 0u);
  EXPECT_EQ(view.Depth(1, 1), 0u);
  EXPECT_EQ(view.Pixel(6, 1), Lit16(63, 9));
  qxZRaster_DrawSolidUnlit(Queue(Rect(0, 8, 10), 3, 0, 0, &material.material), &material.cels[0]);
  EXPECT_EQ(view.Pixel(1, 1), Lit16(63, 40));  // through the hole
  EXPECT_EQ(view.Pixel(6, 1), Lit16(63, 9));   // behind the texels
}

TEST_F(RasterDepth, SixteenBitAffineGouraudDithersTheLevel) {
  TestTexture texture(2, 2, 1, [](int, int, int) { return 7; });
  TestMaterial textured(&texture.tex);
  View view(16, 8, 4, true);
  std::vector<Vertex> v = Rect(0, 8, 5);
  for (Vertex& x : v) x.level = 10.5f;
  qxZRaster_DrawAffineGouraud(Queue(v, 4, 3, 0, &textured.material, 2), &textured.cels[2]);
  // Rows 10 and 11 alternate along each line, and the phase changes from
  // one line to the next.
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 8; ++x) {
      const int row = (x + y) % 2 == 0 ? 11 : 10;
      EXPECT_EQ(view.Pixel(x, y), Lit16(row, 7)) << x << "," << y;
    }
  }
  // The other Gouraud spans do not dither: row 10 throughout.
  View plain(16, 8, 4, true);
  qxZRaster_DrawAffineGouraudKeyed(Queue(v, 4, 3, 0, &textured.material, 2), &textured.cels[2]);
  EXPECT_EQ(plain.CountNot(Lit16(10, 7)), 0);
}

TEST_F(RasterDepth, PointsAndWireframesIgnoreDepth) {
  View view(16, 8, 4, true);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 8; ++x) view.SetDepth(x, y, 0xFFFF);
  }
  qxZRaster_DrawPoints(
      Queue({{1, 1, 5}, {6.5f, 2.5f, 5}, {3, 3.9f, 5}}, 1, 0, 0, &material.material),
      &material.cels[0]);
  EXPECT_EQ(view.Pixel(1, 1), Lit16(63, 40));
  EXPECT_EQ(view.Pixel(6, 2), Lit16(63, 40));
  EXPECT_EQ(view.Pixel(3, 3), Lit16(63, 40));
  EXPECT_EQ(view.Depth(1, 1), 0xFFFF);
}

TEST_F(RasterDepth, WithoutADepthBufferNothingIsDrawn) {
  View view(16, 8, 4, false);
  qxZRaster_DrawSolidUnlit(Queue(Rect(0, 8, 5), 3, 0, 0, &material.material), &material.cels[0]);
  EXPECT_EQ(view.CountNot(0), 0);
}

}  // namespace
