// The family without depth buffer, solid and affine faces: coverage, edge
// walk, colour formulas, texture addressing, mips, points and wireframes.
#include <array>
#include <cmath>

#include "platform/kv_RenderHooks.h"
#include "qxRasterTest.h"
#include "raster/qxRaster_Internal.h"

namespace {

using namespace rastertest;

class RasterDirect : public RasterTest {};

// The pixels a face covers by the top-left rule, worked out exactly (in
// double) for a convex face given by its vertices.
std::vector<std::pair<int, int>> ReferenceCoverage(const std::vector<Vertex>& v, int width,
                                                   int height) {
  std::vector<std::pair<int, int>> out;
  for (int y = 0; y < height; ++y) {
    double left = 1e9, right = -1e9;
    bool crossed = false;
    for (size_t i = 0; i < v.size(); ++i) {
      const Vertex& a = v[i];
      const Vertex& b = v[(i + 1) % v.size()];
      const double y0 = std::min(a.y, b.y), y1 = std::max(a.y, b.y);
      if (!(y >= y0 && y < y1) || y0 == y1) continue;
      const double x = a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y);
      left = std::min(left, x);
      right = std::max(right, x);
      crossed = true;
    }
    if (!crossed) continue;
    for (int x = static_cast<int>(std::ceil(left)); x < std::ceil(right) && x < width; ++x) {
      out.push_back({x, y});
    }
  }
  return out;
}

std::vector<std::pair<int, int>> Covered(const View& view, uint32_t background) {
  std::vector<std::pair<int, int>> out;
  for (int y = 0; y < view.height; ++y) {
    for (int x = 0; x < view.width; ++x) {
      if (view.Pixel(x, y) != background) out.push_back({x, y});
    }
  }
  return out;
}

TEST_F(RasterDirect, TriangleCoversTheTopLeftRulePixels) {
  View view(8, 32, 32);
  TestMaterial material;
  const std::vector<Vertex> tri = {{10.5f, 10.2f, 5}, {20, 30, 5}, {0, 30, 5}};
  qxRaster_DrawSolidUnlit(Queue(tri, 3, 0, 0, &material.material, 0, 1), &material.cels[0]);
  const auto covered = Covered(view, 0);
  EXPECT_EQ(covered, ReferenceCoverage(tri, 32, 32));
  // Scan lines 11 to 29; on line 11 the edges lie at 10.08 and 10.88, so
  // its span (11 .. 10) is empty.
  ASSERT_FALSE(covered.empty());
  EXPECT_EQ(covered.front().second, 12);
  EXPECT_EQ(covered.back().second, 29);
  EXPECT_EQ(view.Pixel(covered.front().first, 12), 40u);
}

TEST_F(RasterDirect, WindingFlagFollowsTheVertexOrder) {
  TestMaterial material;
  const std::vector<Vertex> order = {{3.2f, 1.5f, 5}, {1, 9, 5}, {8, 13.9f, 5}, {14.7f, 6.1f, 5}};
  std::vector<Vertex> reversed(order.rbegin(), order.rend());
  View a(8, 16, 16), b(8, 16, 16), c(8, 16, 16);
  qxCamera_SetCurrent(a.camera);
  qxRaster_DrawSolidUnlit(Queue(order, 3, 0, 0, &material.material, 0, 0), &material.cels[0]);
  qxCamera_SetCurrent(b.camera);
  qxRaster_DrawSolidUnlit(Queue(reversed, 3, 0, 0, &material.material, 0, 1), &material.cels[0]);
  qxCamera_SetCurrent(c.camera);
  qxRaster_DrawSolidUnlit(Queue(order, 3, 0, 0, &material.material, 0, 1), &material.cels[0]);
  EXPECT_GT(a.CountNot(0), 50);
  EXPECT_EQ(a.Bytes(), b.Bytes());
  EXPECT_EQ(c.CountNot(0), 0);  // the edges cross: every span is empty
}

TEST_F(RasterDirect, OneLineSectionsStartAtTheirVertexAndFlatSectionsAreSkipped) {
  View view(8, 16, 8);
  TestMaterial material;
  // The left edge's first section covers row 1 only: it starts at x = 3.0,
  // not at the pre-stepped 1.75.
  qxRaster_DrawSolidUnlit(
      Queue({{3.0f, 0.9f, 5}, {0.5f, 1.1f, 5}, {6, 5, 5}}, 3, 0, 0, &material.material),
      &material.cels[0]);
  EXPECT_EQ(view.Pixel(2, 1), 0u);
  EXPECT_EQ(view.Pixel(3, 1), 40u);
  EXPECT_EQ(view.Pixel(4, 1), 0u);

  // The top edge lies within one scan line: skipped, the rectangle below
  // fills rows 1..5, columns 2..9.
  View rect(8, 16, 8);
  qxRaster_DrawSolidUnlit(
      Queue({{10, 0.2f, 5}, {2, 0.8f, 5}, {2, 6, 5}, {10, 6, 5}}, 3, 0, 0, &material.material),
      &material.cels[0]);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 16; ++x) {
      EXPECT_EQ(rect.Pixel(x, y), y >= 1 && y <= 5 && x >= 2 && x <= 9 ? 40u : 0u) << x << "," << y;
    }
  }
}

// A rectangle over rows 0 .. h - 1 and columns x0 .. x1 - 1: vertices 0 and
// 1 on the left, 2 and 3 on the right.
std::vector<Vertex> Rect(float x0, float x1, float h, float z = 5) {
  return {{x0, 0, z}, {x0, h, z}, {x1, h, z}, {x1, 0, z}};
}

TEST_F(RasterDirect, SolidColourFormulas) {
  const int c = 40, level = 15, d = 200;
  const uint16_t d16 = 0x1234;
  struct Case {
    int bpp, lighting;
    bool translucent;
    uint32_t expected;
  };
  const int s63 = Inverse(Lit16(63, c)), sL = Inverse(Lit16(level, c));
  const Case cases[] = {
      {8, 0, false, 40u},
      {8, 0, true, Trans(c, d)},
      {8, 1, false, Lit8(level, c)},
      {8, 1, true, Trans(Lit8(level, c), d)},
      {8, 3, false, Lit8(level, c)},
      {8, 3, true, Trans(Lit8(level, c), d)},
      {16, 0, false, Lit16(63, c)},
      {16, 0, true, Lit16(63, Trans(s63, Inverse(d16)))},
      {16, 1, false, Lit16(level, c)},
      {16, 1, true, Lit16(63, Trans(sL, Inverse(d16)))},
      {16, 3, false, Lit16(level, c)},
      {16, 3, true, Lit16(level, Trans(s63, Inverse(d16)))},
  };
  TestMaterial material;
  for (const Case& k : cases) {
    SCOPED_TRACE(::testing::Message() << k.bpp << " bits, lighting " << k.lighting
                                      << (k.translucent ? " translucent" : ""));
    View view(k.bpp, 8, 4);
    view.Fill(k.bpp == 8 ? d : d16);
    std::vector<Vertex> v = Rect(0, 8, 4);
    for (Vertex& x : v) x.level = level + 0.5f;
    qxCacheFace* f = Queue(v, 3, k.lighting, 0, &material.material);
    qxMaterialCel* cel = &material.cels[0];
    if (k.lighting == 0) {
      (k.translucent ? qxRaster_DrawSolidUnlitTrans : qxRaster_DrawSolidUnlit)(f, cel);
    } else if (k.lighting == 1) {
      (k.translucent ? qxRaster_DrawSolidLitTrans : qxRaster_DrawSolidLit)(f, cel, level + 0.75f);
    } else {
      (k.translucent ? qxRaster_DrawSolidGouraudTrans : qxRaster_DrawSolidGouraud)(f, cel);
    }
    for (int y = 0; y < 4; ++y) {
      for (int x = 0; x < 8; ++x) ASSERT_EQ(view.Pixel(x, y), k.expected) << x << "," << y;
    }
    qxCache_Reset();
  }
}

// Texel (u, v) of a texture whose texels name their coordinates.
uint32_t CodedTexel(int u, int v) {
  return static_cast<uint32_t>(((v & 15) << 4) | (u & 15));
}

// Every textured face rasterizer of both families, affine and perspective,
// by its formula: one texel (3, 2) of a coded texture under the whole face,
// a constant level, a cleared depth buffer.
TEST_F(RasterDirect, TexturedColourFormulas) {
  TestTexture texture(4, 4, 1, [](int, int x, int y) { return CodedTexel(x, y); });
  TestMaterial material(&texture.tex);
  const int t = static_cast<int>(CodedTexel(3, 2)), L = 21, d = 77;
  const uint16_t D = 0x4321;
  const int dI = Inverse(D);
  struct Case {
    int bpp, lighting;
    bool keyed, trans;
    uint32_t expected;
  };
  const Case common[] = {
      {8, 0, false, false, static_cast<uint32_t>(t)},
      {8, 0, true, false, static_cast<uint32_t>(t)},
      {8, 0, false, true, Trans(t, d)},
      {8, 0, true, true, Trans(t, d)},
      {8, 1, false, false, Lit8(L, t)},
      {8, 1, true, false, Lit8(L, t)},
      {8, 1, false, true, Trans(Lit8(L, t), d)},
      {8, 1, true, true, Lit8(L, Trans(t, d))},
      {8, 3, false, false, Lit8(L, t)},
      {8, 3, true, false, Lit8(L, t)},
      {8, 3, false, true, Trans(Lit8(L, t), d)},
      {8, 3, true, true, Lit8(L, Trans(t, d))},
      {16, 0, false, false, Lit16(63, t)},
      {16, 0, true, false, Lit16(63, t)},
      {16, 0, false, true, Lit16(63, Trans(t, dI))},
      {16, 0, true, true, Lit16(63, Trans(t, dI))},
      {16, 1, false, false, Lit16(L, t)},
      {16, 1, true, false, Lit16(L, t)},
      {16, 1, false, true, Lit16(L, Trans(Inverse(Lit16(L, t)), dI))},
      {16, 1, true, true, Lit16(L, Trans(t, dI))},
      {16, 3, false, false, Lit16(L, t)},
      {16, 3, true, false, Lit16(L, t)},
      {16, 3, true, true, Lit16(L, Trans(t, dI))},
  };
  // The 16-bit translucent Gouraud faces: affine ones blend the texel,
  // perspective ones light it first.
  const uint32_t gouraudTrans16[2] = {Lit16(L, Trans(t, dI)),
                                      Lit16(L, Trans(Inverse(Lit16(L, t)), dI))};
  for (int family = 0; family < 2; ++family) {
    const qxRasterFamily& table = family ? qxZRaster_family : qxRaster_family;
    for (int kind = 1; kind <= 2; ++kind) {
      std::vector<Case> cases(std::begin(common), std::end(common));
      cases.push_back({16, 3, false, true, gouraudTrans16[kind - 1]});
      for (const Case& k : cases) {
        SCOPED_TRACE(::testing::Message()
                     << (family ? "z-buffered " : "direct ") << (kind == 1 ? "affine " : "persp ")
                     << k.bpp << " bits, lighting " << k.lighting << (k.keyed ? " keyed" : "")
                     << (k.trans ? " trans" : ""));
        View view(k.bpp, 8, 4, family == 1);
        view.Fill(k.bpp == 8 ? d : D);
        std::vector<Vertex> v = Rect(0, 8, 4);
        for (Vertex& x : v) {
          x.u = 3.25f;
          x.v = 2.25f;
          x.level = L;
        }
        qxCacheFace* f = Queue(v, 4, k.lighting, kind - 1, &material.material, 2);
        qxMaterialCel* cel = &material.cels[2];
        if (k.lighting == 0) table.unlit[kind][k.keyed][k.trans](f, cel);
        if (k.lighting == 1) table.lit[kind][k.keyed][k.trans](f, cel, L + 0.75f);
        if (k.lighting == 3) table.gouraud[kind][k.keyed][k.trans](f, cel);
        for (int y = 0; y < 4; ++y) {
          for (int x = 0; x < 8; ++x) ASSERT_EQ(view.Pixel(x, y), k.expected) << x << "," << y;
        }
        qxCache_Reset();
      }
    }
  }
}

TEST_F(RasterDirect, MipLevelsByDepthAndMasks) {
  TestTexture four(6, 6, 4, [](int k, int, int) { return 10 + k; });
  TestTexture two(6, 6, 2, [](int k, int, int) { return 10 + k; });
  const struct {
    qxMaterialTexture* tex;
    float depth;
    uint32_t mip;
  } cases[] = {{&four.tex, 5, 0},  {&four.tex, 10, 0}, {&four.tex, 10.5f, 1},
               {&four.tex, 25, 2}, {&four.tex, 40, 2}, {&four.tex, 41, 3},
               {&two.tex, 15, 0},  {&two.tex, 20, 0},  {&two.tex, 21, 1}};
  for (const auto& c : cases) {
    TestMaterial material(c.tex);
    View view(8, 8, 4);
    qxRaster_DrawAffineUnlit(Queue(Rect(0, 8, 4, c.depth), 4, 0, 0, &material.material, 2),
                             &material.cels[2]);
    EXPECT_EQ(view.Pixel(3, 2), 10 + c.mip) << "depth " << c.depth;
    qxCache_Reset();
    if (c.tex == &four.tex && c.depth == 25) {
      EXPECT_EQ(qxRaster_state.mipLevel, 2);
      EXPECT_EQ(qxRaster_state.uMask, 15);
      EXPECT_EQ(qxRaster_state.vMask, 15);
      EXPECT_EQ(qxRaster_state.mipShift, 4);
    }
  }
}

TEST_F(RasterDirect, TextureCoordinatesWrapWithTheRoundingBias) {
  TestTexture texture(6, 6, 1, [](int, int x, int) { return x; });
  TestMaterial material(&texture.tex);
  View view(8, 8, 4);
  std::vector<Vertex> v = Rect(0, 8, 4);
  for (Vertex& x : v) x.u = 70.5f;  // (70.5 x 65536 + 0x8000) >> 16 = 71, column 7
  qxRaster_DrawAffineUnlit(Queue(v, 4, 0, 0, &material.material, 2), &material.cels[2]);
  EXPECT_EQ(view.Pixel(0, 0), 7u);
  EXPECT_EQ(view.Pixel(7, 3), 7u);
  // u falling along the span rounds an exact half down.
  qxCache_Reset();
  View falling(8, 8, 4);
  std::vector<Vertex> w = Rect(0, 8, 4);
  w[0].u = w[1].u = 16.5f;
  w[2].u = w[3].u = 8.5f;
  qxRaster_DrawAffineUnlit(Queue(w, 4, 0, 0, &material.material, 2), &material.cels[2]);
  EXPECT_EQ(falling.Pixel(0, 0), 16u);
  EXPECT_EQ(falling.Pixel(1, 0), 15u);
}

TEST_F(RasterDirect, SmallFallsOfTheLevelAreFlattenedAndRisesKept) {
  TestMaterial material;
  auto draw = [&](float left, float right) {
    std::vector<Vertex> v = Rect(0, 10, 2);
    v[0].level = v[1].level = left;
    v[2].level = v[3].level = right;
    View view(8, 10, 2);
    qxRaster_DrawSolidGouraud(Queue(v, 3, 3, 0, &material.material), &material.cels[0]);
    std::vector<uint32_t> row;
    for (int x = 0; x < 10; ++x) row.push_back(view.Pixel(x, 0));
    qxCache_Reset();
    return row;
  };
  // A fall of 0.1 over 10 pixels (about -655 a pixel) stays on row 10.
  EXPECT_EQ(draw(10.05f, 9.95f), std::vector<uint32_t>(10, Lit8(10, 40)));
  const std::vector<uint32_t> rise = draw(9.95f, 10.05f);
  EXPECT_EQ(rise.front(), Lit8(9, 40));
  EXPECT_EQ(rise.back(), Lit8(10, 40));
}

TEST_F(RasterDirect, KeyedHolesAndTranslucentBlendsReadTheCanvas) {
  TestTexture zero(
      3, 3, 1, [](int, int, int) { return 0; }, true);
  TestMaterial material(&zero.tex);
  View view(16, 8, 4);
  view.Fill(0x0F0F);
  const auto before = view.Bytes();
  std::vector<Vertex> v = Rect(0, 8, 4);
  qxRaster_DrawAffineGouraudKeyedTrans(Queue(v, 4, 3, 0, &material.material, 2), &material.cels[2]);
  qxRaster_DrawAffineLitKeyed(Queue(v, 4, 1, 0, &material.material, 2), &material.cels[2], 30);
  EXPECT_EQ(view.Bytes(), before);

  // A translucent 16-bit face blends each pixel with the colour under it.
  view.SetPixel(2, 1, 0x7777);
  qxRaster_DrawSolidUnlitTrans(Queue(v, 3, 0, 0, &material.material), &material.cels[1]);
  const int s = Inverse(Lit16(63, 41));
  EXPECT_EQ(view.Pixel(0, 0), Lit16(63, Trans(s, Inverse(0x0F0F))));
  EXPECT_EQ(view.Pixel(2, 1), Lit16(63, Trans(s, Inverse(0x7777))));
}

struct LineRecorder {
  static inline std::vector<std::array<int, 6>> lines;
  static int Line(qxCanvas*, int x0, int y0, int x1, int y1, int colour, int pattern) {
    lines.push_back({x0, y0, x1, y1, colour, pattern});
    return 1;
  }
};

TEST_F(RasterDirect, PointsAndWireframes) {
  kv_RenderHooks_ResetForTest();
  RenderHookTable table{};
  table.DrawLine = LineRecorder::Line;
  kv_RenderHooks_Register(&table);
  LineRecorder::lines.clear();
  View view(16, 16, 16);
  TestMaterial material;
  qxCacheFace* f =
      Queue({{1.9f, 2.5f, 5}, {9.2f, 3.7f, 5}, {4, 12.9f, 5}}, 2, 0, 0, &material.material);
  qxRaster_DrawWireframe(f, &material.cels[1]);
  const int colour = Lit16(63, 41);
  using L = std::array<int, 6>;
  EXPECT_EQ(LineRecorder::lines,
            (std::vector<L>{
                {1, 2, 9, 3, colour, -1}, {9, 3, 4, 12, colour, -1}, {4, 12, 1, 2, colour, -1}}));
  LineRecorder::lines.clear();
  f->vertexCount = 1;
  qxZRaster_DrawWireframe(f, &material.cels[1]);
  EXPECT_EQ(LineRecorder::lines, (std::vector<L>{{1, 2, 1, 2, colour, -1}}));
  kv_RenderHooks_ResetForTest();

  // Points land at their truncated positions; those outside are skipped.
  f->vertexCount = 3;
  f->screenVerts[2] = {40, 3, 5};
  qxRaster_DrawPoints(f, &material.cels[1]);
  EXPECT_EQ(view.Pixel(1, 2), static_cast<uint32_t>(colour));
  EXPECT_EQ(view.Pixel(9, 3), static_cast<uint32_t>(colour));
  EXPECT_EQ(view.CountNot(0), 2);
}

TEST_F(RasterDirect, FacesThatWouldWriteOutsideAreNotDrawn) {
  View view(8, 16, 16, false, 4);  // a 16 x 16 canvas inside 24 x 24 buffers
  view.Fill(0xEE);
  TestMaterial material;
  const auto before = view.Bytes();
  auto draw = [&](std::vector<Vertex> v, auto change) {
    qxCacheFace* f = Queue(v, 3, 0, 0, &material.material);
    ASSERT_NE(f, nullptr);
    change(f);
    qxRaster_DrawSolidUnlit(f, &material.cels[0]);
    qxCache_Reset();
  };
  auto none = [](qxCacheFace*) {};
  draw({{2, 6, 5}, {8, 12, 5}, {12, 6, 5}}, none);  // beyond the canvas's left edge
  draw({{6, 6, 5}, {8, 12, 5}, {21, 6, 5}}, none);  // beyond its right edge
  draw({{6, 6, 5}, {8, 12, 5}, {12, 6, 5}}, [](qxCacheFace* f) { f->vertexCount = 2; });
  draw({{6, 6, 5}, {8, 12, 5}, {12, 6, 5}}, [](qxCacheFace* f) { f->x1 = f->x0 + 2048; });
  draw({{6, 6, 5}, {8, 12, 5}, {12, 6, 5}}, [](qxCacheFace* f) { f->bottomVertex = 7; });
  draw({{6, 6, 5}, {8, 12, 5}, {12, 6, 5}}, [](qxCacheFace* f) { f->screenVerts[2].y = 60; });
  draw({{6, 6, 5}, {8, 12, 5}, {12, 6, 5}}, [](qxCacheFace* f) { f->colormap = nullptr; });
  EXPECT_EQ(view.Bytes(), before);
  // Without a material nothing is drawn either.
  qxRaster_DrawSolidUnlit(Queue({{6, 6, 5}, {8, 12, 5}, {12, 6, 5}}), nullptr);
  EXPECT_EQ(view.Bytes(), before);
  // The same face inside the canvas is drawn.
  draw({{6, 6, 5}, {8, 12, 5}, {12, 6, 5}}, none);
  EXPECT_NE(view.Bytes(), before);
}

}  // namespace
