// The span rasterizer: the scan-line walk with recording walkers, the
// polygon setups and edges, the walkers and fillers on hand-made spans, and
// whole runs through the face cache.
#include "raster/qxSpanRaster.h"

#include <cmath>
#include <random>
#include <vector>

#include "qxRasterTest.h"

namespace {

using rastertest::Lit16;
using rastertest::Lit8;
using rastertest::Queue;
using rastertest::RasterTest;
using rastertest::TestMaterial;
using rastertest::TestTexture;
using rastertest::Vertex;
using rastertest::View;

qxSpanRasterState& St = qxSpanRaster_state;

// ---- Recording walkers ----

struct Recorded {
  int polygon;
  int x, length, y;
  int queued;  // spans queued when the walker ran
  float invZ;
};
std::vector<Recorded> g_recorded;

void Record(qxSpanPolygon* p) {
  for (const qxSpan* s = p->spanHead; s; s = s->next) {
    g_recorded.push_back(
        {static_cast<int>(p - St.polygons), s->x, s->length, s->y, St.spanCount, s->invZ});
  }
}

// A procedural face's hook: the solid setup, then the recording walker.
void SolidRecordingHook(qxSpanPolygon* p, qxMaterialCel* cel, float) {
  qxSpanRaster_SetupSolidUnlit(p, cel);
  p->walkProc = Record;
}

class SpanRaster : public RasterTest {
 protected:
  void SetUp() override {
    RasterTest::SetUp();
    qxCore_SetOcclusionMethod(1);
    qxCore_SetZBufferMethod(1);
    qxCore_SetFaceSortKey(0);
    g_recorded.clear();
  }
  void TearDown() override {
    qxCore_SetOcclusionMethod(0);
    qxCore_SetZBufferMethod(2);
    qxCore_SetFaceSortKey(0);
    RasterTest::TearDown();
  }
  // An axis-aligned quad from x0 to x1 over the rows y0 .. y1 - 1, listed
  // so that its left edge runs down; z at its left and right side.
  static std::vector<Vertex> Quad(float x0, float x1, float y0, float y1, float zl, float zr) {
    return {{x0, y0, zl}, {x0, y1, zl}, {x1, y1, zr}, {x1, y0, zr}};
  }
  qxCacheFace* Recording(const std::vector<Vertex>& v) {
    qxCacheFace* f = Queue(v, 3, 0, 0, &material.material, 0);
    f->entryFlags = QXCACHE_ENTRY_PROCEDURAL;
    f->spanProc = SolidRecordingHook;
    return f;
  }
  static std::vector<Recorded> Of(int polygon) {
    std::vector<Recorded> out;
    for (const Recorded& r : g_recorded)
      if (r.polygon == polygon) out.push_back(r);
    return out;
  }
  TestMaterial material;
};

// ---- The scan-line walk ----

TEST_F(SpanRaster, OverlappingPolygonsGiveThreeSpans) {
  View view(8, 32, 4);
  Recording(Quad(0, 20, 0, 1, 10, 10));  // farther
  Recording(Quad(5, 10, 0, 1, 5, 5));    // nearer, inside it
  qxCache_Flush();
  auto back = Of(0), front = Of(1);
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].x, 0);
  EXPECT_EQ(back[0].length, 5);
  EXPECT_EQ(back[1].x, 10);
  EXPECT_EQ(back[1].length, 10);
  EXPECT_FLOAT_EQ(back[1].invZ, 0.1f);
  ASSERT_EQ(front.size(), 1u);
  EXPECT_EQ(front[0].x, 5);
  EXPECT_EQ(front[0].length, 5);
  EXPECT_EQ(front[0].y, 0);
}

TEST_F(SpanRaster, DepthTiesAndFaceTags) {
  // A is flat at 1/z 0.25 over x 0..20; P enters at x 10 where its own 1/z
  // is 0.25 too, or at a different depth, with face tags.
  struct Case {
    const char* what;
    float pRight;  // P's z at its right side (its left side is at z 4)
    float pLeft;
    uint32_t tagA, tagP;
    bool pInFront;
  };
  const Case cases[] = {
      {"equal 1/z, P nearer to the right", 2, 4, 0, 0, true},
      {"equal 1/z, P farther to the right", 8, 4, 0, 0, false},
      {"low halves 5 and 5: high 2 beats high 1 though farther", 8, 8, 0x10005, 0x20005, true},
      {"low halves 5 and 5: high 1 loses to high 2 though nearer", 2, 2, 0x20005, 0x10005, false},
      {"low halves 6 and 5: depth decides (P farther)", 8, 8, 0x10006, 0x20005, false},
      {"low halves 6 and 5: depth decides (P nearer)", 2, 2, 0x20006, 0x10005, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    View view(8, 32, 4);
    g_recorded.clear();
    qxCore_SetFaceSortKey(static_cast<int32_t>(c.tagA));
    Recording(Quad(0, 20, 0, 1, 4, 4));
    qxCore_SetFaceSortKey(static_cast<int32_t>(c.tagP));
    Recording(Quad(10, 20, 0, 1, c.pLeft, c.pRight));
    qxCache_Flush();
    auto a = Of(0), p = Of(1);
    if (c.pInFront) {
      ASSERT_EQ(a.size(), 1u);
      EXPECT_EQ(a[0].length, 10);
      ASSERT_EQ(p.size(), 1u);
      EXPECT_EQ(p[0].x, 10);
    } else {
      ASSERT_EQ(a.size(), 1u);
      EXPECT_EQ(a[0].length, 20);
      EXPECT_TRUE(p.empty());
    }
  }
}

TEST_F(SpanRaster, HiddenAndReversedPolygonsEmitNothing) {
  View view(8, 32, 8);
  Recording(Quad(0, 20, 0, 4, 2, 2));
  Recording(Quad(4, 12, 1, 3, 9, 9));  // wholly behind the first
  // Listed the other way round: its right edges come first on every line.
  Recording({{24, 0, 3}, {30, 0, 3}, {30, 4, 3}, {24, 4, 3}});
  qxCache_Flush();
  EXPECT_EQ(Of(0).size(), 4u);
  EXPECT_TRUE(Of(1).empty());
  EXPECT_TRUE(Of(2).empty());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(St.polygons[i].insideCount, 0);
}

TEST_F(SpanRaster, FullSpanPoolIsDrawnBeforeTheNextSpan) {
  // Three side-by-side columns of 700 lines: 2100 spans.
  View view(8, 64, 700);
  Recording(Quad(0, 10, 0, 700, 3, 3));
  Recording(Quad(10, 20, 0, 700, 3, 3));
  Recording(Quad(20, 30, 0, 700, 3, 3));
  qxCache_Flush();
  ASSERT_EQ(g_recorded.size(), 2100u);
  size_t first = 0;
  while (first < g_recorded.size() && g_recorded[first].queued == 2048) ++first;
  EXPECT_EQ(first, 2048u);
  for (size_t i = first; i < g_recorded.size(); ++i) EXPECT_EQ(g_recorded[i].queued, 52);
}

TEST_F(SpanRaster, NoLineCoveredLeavesTheLineRangeUnset) {
  View view(8, 32, 16);
  // Every vertex between rows 5 and 6: each edge covers no line.
  Recording({{0, 5.2f, 3}, {2, 5.9f, 3}, {12, 5.5f, 3}});
  qxCache_Flush();
  EXPECT_EQ(St.edgeCount, 0);
  EXPECT_EQ(St.minLine, 0x7FFFFFFF);
  EXPECT_EQ(St.maxLine, 0);
  EXPECT_TRUE(g_recorded.empty());
  // No face at all: the same.
  qxCache_Reset();
  qxSpanRaster_Reset();
  qxSpanRaster_Run();
  EXPECT_EQ(St.minLine, 0x7FFFFFFF);
  EXPECT_EQ(St.polygonCount, 0);
}

TEST_F(SpanRaster, DepthBufferMethod2SetsUpOnlyProceduralFaces) {
  View view(8, 32, 8);
  view.Fill(7);
  qxCore_SetZBufferMethod(2);
  qxSpanRaster_ResetStats();
  Queue(Quad(0, 20, 0, 4, 5, 5), 3, 0, 0, &material.material, 0);
  Recording(Quad(20, 30, 0, 4, 5, 5));
  qxCache_Flush();
  EXPECT_EQ(St.setupCount, 2);  // both counted
  EXPECT_EQ(St.polygons[0].edgeProc, qxSpanRaster_EdgeSetupNone);
  EXPECT_EQ(Of(1).size(), 4u);
  EXPECT_EQ(view.CountNot(7), 0);  // the other face drew nothing
}

TEST_F(SpanRaster, OtherCanvasDepthsGetDepthButNoPixels) {
  View view(32, 32, 8, true);
  view.Fill(0x5A5A5A5A);
  const std::vector<uint8_t> before = view.Bytes();
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 32; ++x) view.SetDepth(x, y, 7);
  Queue(Quad(0, 10, 0, 4, 2, 2), 3, 0, 0, &material.material, 0);
  TestTexture tex(3, 3, 1, [](int, int, int) { return 1; }, true);
  TestMaterial keyed(&tex.tex);
  Queue(Quad(20, 30, 0, 4, 2, 2), 4, 0, 0, &keyed.material, 2);
  qxCache_Flush();
  EXPECT_EQ(view.Bytes(), before);
  EXPECT_EQ(view.Depth(0, 0), 32768);  // the unkeyed face: 1/z 0.5
  EXPECT_EQ(view.Depth(9, 3), 32768);
  EXPECT_EQ(view.Depth(10, 0), 7);
  EXPECT_EQ(view.Depth(20, 0), 7);  // the keyed face writes depth only with its pixels
}

// ---- Setups and edges ----

// The pixels a convex face covers by the rule of the rasterizers: rows
// ceil(top) .. ceil(bottom) - 1 and, on each, columns ceil(left) ..
// ceil(right) - 1 of the exact edges.
std::vector<std::pair<int, int>> Covered(const std::vector<Vertex>& v, int w, int h) {
  std::vector<std::pair<int, int>> out;
  for (int y = 0; y < h; ++y) {
    double lo = 1e9, hi = -1e9;
    int crossings = 0;
    for (size_t i = 0; i < v.size(); ++i) {
      const Vertex& a = v[i];
      const Vertex& b = v[(i + 1) % v.size()];
      const double ya = std::min(a.y, b.y), yb = std::max(a.y, b.y);
      if (!(std::ceil(ya) <= y && y < std::ceil(yb))) continue;
      const double x = a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y);
      lo = std::min(lo, x);
      hi = std::max(hi, x);
      ++crossings;
    }
    if (crossings < 2) continue;
    for (int x = static_cast<int>(std::ceil(lo)); x < std::ceil(hi) && x < w; ++x)
      out.push_back({x, y});
  }
  return out;
}

TEST_F(SpanRaster, TriangleEdgesLinesAndPrestep) {
  View view(8, 40, 16);
  view.Fill(0);
  const std::vector<Vertex> tri = {{10.5f, 2.25f, 5}, {4, 12.75f, 5}, {30, 7.5f, 5}};
  Queue(tri, 3, 0, 0, &material.material, 0);
  qxSpanRaster_Reset();
  qxSpanRaster_BuildEdges();
  ASSERT_EQ(St.edgeCount, 3);
  const qxSpanEdge& left = St.edges[0];  // 0 -> 1
  EXPECT_EQ(left.isLeft, 1);
  EXPECT_EQ(left.startLine, 3);
  EXPECT_EQ(left.lineCount, 10);
  const float slope = (4.0f - 10.5f) * (1.0f / 10.5f);
  EXPECT_EQ(left.x, static_cast<int32_t>((10.5f + slope * 0.75f) * 65536.0f));
  EXPECT_EQ(left.xStep, static_cast<int32_t>(slope * 65536.0f));
  const qxSpanEdge& r12 = St.edges[1];
  EXPECT_EQ(r12.isLeft, 0);
  EXPECT_EQ(r12.startLine, 8);
  EXPECT_EQ(r12.lineCount, 5);
  const qxSpanEdge& r20 = St.edges[2];
  EXPECT_EQ(r20.isLeft, 0);
  EXPECT_EQ(r20.startLine, 3);
  EXPECT_EQ(r20.lineCount, 5);
  EXPECT_EQ(St.minLine, 3);
  EXPECT_EQ(St.maxLine, 12);

  // Drawn: exactly the covered pixels in the cel's colour.
  qxCache_Flush();
  const auto cover = Covered(tri, 40, 16);
  for (auto [x, y] : cover) EXPECT_EQ(view.Pixel(x, y), 40u) << x << "," << y;
  EXPECT_EQ(view.CountNot(0), static_cast<int>(cover.size()));

  // Vertices 1 and 2 exchanged, or the winding reversed: nothing.
  view.Fill(0);
  Queue({tri[0], tri[2], tri[1]}, 3, 0, 0, &material.material, 0);
  Queue(tri, 3, 0, 0, &material.material, 0, 1);
  qxCache_Flush();
  EXPECT_EQ(view.CountNot(0), 0);
}

TEST_F(SpanRaster, OneLineAndNoLineEdges) {
  qxCacheFace face{};
  qxVector3 v[3] = {{7.25f, 5.0f, 2}, {9.5f, 6.0f, 2}, {3.0f, 5.9f, 2}};
  float levels[3] = {10, 20, 30};
  face.screenVerts = v;
  face.levels = levels;
  face.vertexCount = 3;
  qxSpanPolygon p{};
  p.face = &face;
  p.invZ[0] = 0.5f;
  p.invZ[1] = 0.25f;
  qxSpanEdge e{};
  e.xStep = 99;
  ASSERT_EQ(qxSpanRaster_EdgeSetupGouraud(&e, &p, 0, 1), 1);
  EXPECT_EQ(e.startLine, 5);
  EXPECT_EQ(e.lineCount, 1);
  EXPECT_EQ(e.x, static_cast<int32_t>(7.25f * 65536.0f));
  EXPECT_FLOAT_EQ(e.invZ, 0.5f);
  EXPECT_EQ(e.level, 10 * 65536);
  EXPECT_EQ(e.xStep, 0);
  EXPECT_EQ(e.levelStep, 0);
  v[0].y = 5.2f;
  EXPECT_EQ(qxSpanRaster_EdgeSetupGouraud(&e, &p, 0, 2), 0);  // 5.2 -> 5.9
}

TEST_F(SpanRaster, WireframeHidesWhatIsBehindIt) {
  View view(8, 32, 8);
  view.Fill(0);
  Queue(Quad(0, 30, 0, 6, 9, 9), 3, 0, 0, &material.material, 1);   // colour 41, behind
  Queue(Quad(10, 20, 1, 5, 3, 3), 2, 0, 0, &material.material, 0);  // colour 40 outline
  qxCache_Flush();
  for (int y = 1; y < 5; ++y) {
    EXPECT_EQ(view.Pixel(9, y), 41u);
    EXPECT_EQ(view.Pixel(10, y), 40u);
    for (int x = 11; x < 19; ++x) EXPECT_EQ(view.Pixel(x, y), 0u) << x;
    EXPECT_EQ(view.Pixel(19, y), 40u);
    EXPECT_EQ(view.Pixel(20, y), 41u);
  }
  EXPECT_EQ(view.Pixel(15, 0), 41u);  // no horizontal edge
}

TEST_F(SpanRaster, MipLevelsAtTheDistances) {
  qxCacheFace face{};
  qxVector3 v[3] = {{0, 0, 5}, {0, 4, 5}, {4, 2, 5}};
  qxVector2 uv[3] = {};
  face.screenVerts = v;
  face.texVerts = uv;
  face.vertexCount = 3;
  qxSpanPolygon p{};
  p.face = &face;
  struct Case {
    int lastMip;
    float depth;
    int level;
  };
  const Case cases[] = {{3, 10, 0}, {3, 10.5f, 1}, {3, 20, 1}, {3, 40, 2}, {3, 41, 3}, {2, 41, 2},
                        {1, 20, 0}, {1, 20.5f, 1}, {0, 99, 0}, {7, 99, 3}, {-2, 99, 0}};
  for (const Case& c : cases) {
    face.minDepth = c.depth;
    qxSpanRaster_SetupAffineGradients(&p, c.lastMip);
    EXPECT_EQ(p.mipLevel, c.level) << c.lastMip << " at " << c.depth;
  }
}

TEST_F(SpanRaster, ThirdVertexOfAQuadWalksTheOtherChain) {
  // The vertex after the top lies within a pixel in x of the top and the
  // bottom: the chain walked for the third vertex is the other one (d = -1),
  // so vertex 3 is used, not vertex 1. Vertex 1's depth lies off the plane
  // of the other three, so the gradient shows which one was taken.
  qxCacheFace face{};
  qxVector3 v[4] = {{10, 0, 4}, {10.5f, 5, 50}, {10.8f, 10, 4}, {0, 5, 8}};
  qxVector2 uv[4] = {};
  face.screenVerts = v;
  face.texVerts = uv;
  face.vertexCount = 4;
  face.topVertex = 0;
  face.bottomVertex = 2;
  qxSpanPolygon p{};
  p.face = &face;
  qxSpanRaster_SetupPerspGradients(&p, 0);
  // The plane of 1/z through vertices 0, 2 and 3.
  const float dx1 = 10 - 0.0f, dx2 = 10.8f - 0, dy1 = 0 - 5.0f, dy2 = 10 - 5.0f;
  const float inv = 1.0f / (dx2 * dy1 - dx1 * dy2);
  const float qb = 0.25f - 0.125f, qt = 0.25f - 0.125f;
  EXPECT_FLOAT_EQ(p.dInvZdX, (qb * dy1 - qt * dy2) * inv);
  EXPECT_FLOAT_EQ(p.dInvZdY, (qb * dx1 - qt * dx2) * -inv);
  EXPECT_EQ(p.zStep, static_cast<int32_t>(p.dInvZdX * 65536.0f));
}

TEST_F(SpanRaster, RoundingBiasFollowsTheTextureDirection) {
  View view(8, 32, 8);
  TestTexture tex(3, 3, 1, [](int, int x, int y) { return 1 + x + 8 * y; });
  TestMaterial textured(&tex.tex);
  // u rises to the right, v falls down the face (and is flat along x).
  Queue({{0, 0, 5, 0, 8}, {0, 6, 5, 0, 2}, {20, 6, 5, 8, 2}}, 4, 0, 0, &textured.material, 2);
  // u falls to the right.
  Queue({{0, 0, 5, 8, 0}, {0, 6, 5, 8, 0}, {20, 6, 5, 0, 0}}, 4, 0, 1, &textured.material, 2);
  qxCache_Flush();
  EXPECT_EQ(St.polygons[0].uBias, 32768);
  EXPECT_EQ(St.polygons[0].vBias, 32767);
  EXPECT_EQ(St.polygons[1].uBias, 32767);
  EXPECT_EQ(St.polygons[1].vBias, 32768);
}

// ---- Walkers and fillers on hand-made spans ----

class SpanWalk : public SpanRaster {
 protected:
  void SetUp() override {
    SpanRaster::SetUp();
    face.colormap = &colormap.cm;
    poly.face = &face;
    for (int i = 0; i < 64; ++i) texels[i] = static_cast<uint8_t>(1 + i);
    poly.texels = texels;
    poly.mipShift = 3;
    poly.uMask = 7;
    poly.vMask = 7 << 3;
    poly.uBias = poly.vBias = 32768;
  }
  qxSpan& Span(int x, int length, int y) {
    qxSpan& s = spans[count++];
    s = {};
    s.x = x;
    s.length = length;
    s.y = y;
    if (count > 1) spans[count - 2].next = &s;
    poly.spanHead = &spans[0];
    return s;
  }
  qxCacheFace face{};
  qxSpanPolygon poly{};
  qxSpan spans[8];
  int count = 0;
  uint8_t texels[64];
};

std::vector<std::vector<float>> g_runs;
void ObserveRun(int32_t x, int32_t n, float f) {
  g_runs.push_back({static_cast<float>(x), static_cast<float>(n), f});
}

TEST_F(SpanWalk, PerspectiveRunSplits) {
  View view(16, 64, 4);
  poly.lightRow16 = colormap.light16.data() + 63 * 256;
  poly.dInvZdX = 0.001f;
  poly.dUOverZdX = 0.05f;
  poly.dInvZdX16 = 0.016f;
  poly.dUOverZdX16 = 0.8f;
  const float* recip = qxRecipTables.recipFloat;
  struct Case {
    int x, length;
    std::vector<std::vector<float>> runs;
  };
  const Case cases[] = {
      {5, 36, {{5, 11, recip[11]}, {16, 16, 0.0625f}, {32, 9, recip[8]}}},
      {32, 16, {{32, 16, recip[15]}}},
      {48, 1, {{48, 1, 0.0f}}},
      {16, 17, {{16, 16, 0.0625f}}},  // the one-pixel tail goes on with the run
  };
  qxRaster_runObserver = ObserveRun;
  for (const Case& c : cases) {
    g_runs.clear();
    count = 0;
    qxSpan& s = Span(c.x, c.length, 1);
    s.invZ = 0.2f;
    s.uOverZ = 0.4f;
    qxSpanRaster_WalkPerspUnlit(&poly);
    EXPECT_EQ(g_runs, c.runs) << c.x << "+" << c.length;
  }
  // The lone pixel takes the texel at its own start: u = 2, v = 0.
  EXPECT_EQ(view.Pixel(48, 1), Lit16(63, texels[2]));
}

TEST_F(SpanWalk, PerspectiveTexelsFollowTheExactRunEnds) {
  // 1/z constant, u/z rising: u = 0.25 x (x - 5) exactly; each run steps
  // linearly between exact end values, so every pixel reads texel u.
  View view(8, 64, 4);
  poly.dInvZdX = 0.0f;
  poly.dUOverZdX = 0.125f;
  poly.dInvZdX16 = 0.0f;
  poly.dUOverZdX16 = 2.0f;
  poly.uBias = poly.vBias = 0;
  qxSpan& s = Span(5, 36, 2);
  s.invZ = 0.5f;
  s.uOverZ = 0.0f;
  s.vOverZ = 0.5f * 3.0f;  // v = 3
  qxSpanRaster_WalkPerspUnlit(&poly);
  for (int i = 0; i < 36; ++i) {
    const int u = (i / 4) & 7;
    EXPECT_EQ(view.Pixel(5 + i, 2), texels[3 * 8 + u]) << i;
  }
}

TEST_F(SpanWalk, KeyedSpansLeaveTransparentPixelsAndDepth) {
  View view(8, 32, 4, true);
  view.Fill(9);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 32; ++x) view.SetDepth(x, y, 77);
  for (uint8_t& t : texels) t = 0;
  texels[2] = 5;  // one drawn texel: u = 2
  poly.zStep = 64;
  qxSpan& keyed = Span(4, 6, 1);
  keyed.u = 0;
  keyed.uStep = 65536;
  keyed.invZ = 0.5f;
  qxSpanRaster_WalkAffineUnlitKeyed(&poly);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(view.Pixel(4 + i, 1), i == 2 ? 5u : 9u);
    EXPECT_EQ(view.Depth(4 + i, 1), i == 2 ? 32768 + 2 * 64 : 77);
  }
  // Unkeyed: every pixel and every depth.
  qxSpanRaster_WalkAffineUnlit(&poly);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(view.Pixel(4 + i, 1), i == 2 ? 5u : 0u);
    EXPECT_EQ(view.Depth(4 + i, 1), 32768 + 64 * i);
  }
}

TEST_F(SpanWalk, DepthValues) {
  View view(8, 32, 4, true);
  poly.zStep = 64;
  qxSpan& s = Span(3, 4, 0);
  s.invZ = 0.5f;
  qxSpan& near = Span(10, 2, 0);
  near.invZ = 1.0f;  // 65536 does not fit: stored as 0
  poly.flatColour = 1;
  qxSpanRaster_WalkSolidUnlit(&poly);
  EXPECT_EQ(view.Depth(3, 0), 32768);
  EXPECT_EQ(view.Depth(4, 0), 32832);
  EXPECT_EQ(view.Depth(5, 0), 32896);
  EXPECT_EQ(view.Depth(6, 0), 32960);
  EXPECT_EQ(view.Depth(10, 0), 0);
  EXPECT_EQ(view.Depth(11, 0), 64);
  EXPECT_EQ(view.Depth(7, 0), 0);  // past the span
}

TEST_F(SpanWalk, SolidColoursOutlineAndGouraudRows) {
  View view(16, 32, 4);
  view.Fill(3);
  poly.flatColour = 0x1C5;  // the low 8 bits are the colour
  Span(2, 4, 0);
  qxSpanRaster_WalkSolidUnlit(&poly);
  for (int x = 2; x < 6; ++x) EXPECT_EQ(view.Pixel(x, 0), Lit16(63, 0xC5));
  qxSpanRaster_WalkSolidLit(&poly);
  EXPECT_EQ(view.Pixel(5, 0), Lit16(63, 0xC5));

  count = 0;
  Span(8, 1, 1);
  Span(12, 5, 1);
  qxSpanRaster_WalkOutline(&poly);
  EXPECT_EQ(view.Pixel(8, 1), Lit16(63, 0xC5));
  EXPECT_EQ(view.Pixel(9, 1), 3u);
  EXPECT_EQ(view.Pixel(12, 1), Lit16(63, 0xC5));
  for (int x = 13; x < 16; ++x) EXPECT_EQ(view.Pixel(x, 1), 3u);
  EXPECT_EQ(view.Pixel(16, 1), Lit16(63, 0xC5));

  // Gouraud: 63.99 reads row 63, the next step past 64 wraps to row 0.
  count = 0;
  qxSpan& g = Span(20, 3, 2);
  g.level = 0x3FFFFF;
  g.levelStep = 0x4000;
  poly.lightRow16 = colormap.light16.data();
  qxSpanRaster_WalkSolidGouraud(&poly);
  EXPECT_EQ(view.Pixel(20, 2), Lit16(63, 0xC5));
  EXPECT_EQ(view.Pixel(21, 2), Lit16(0, 0xC5));
}

TEST_F(SpanWalk, TexturedFormulas) {
  View view8(8, 32, 4);
  poly.lightRow = colormap.light8.data() + 20 * 256;
  qxSpan& s = Span(0, 4, 0);
  s.u = 0;
  s.uStep = 65536;
  s.v = 2 << 16;
  qxSpanRaster_WalkAffineLit(&poly);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(view8.Pixel(i, 0), Lit8(20, texels[16 + i]));
  poly.lightRow = colormap.light8.data();
  s.level = 10 << 16;
  s.levelStep = 1 << 16;
  qxSpanRaster_WalkAffineGouraud(&poly);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(view8.Pixel(i, 0), Lit8(10 + i, texels[16 + i]));
  qxSpanRaster_WalkAffineUnlit(&poly);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(view8.Pixel(i, 0), texels[16 + i]);
}

// ---- Whole runs ----

// A lone face covers exactly the pixels the direct rasterizer covers.
TEST_F(SpanRaster, LoneFacesCoverWhatTheDirectRasterizerCovers) {
  std::mt19937 rng(39);
  std::uniform_real_distribution<float> x(0.0f, 63.99f), y(0.0f, 47.99f);
  int drawn = 0;
  for (int i = 0; i < 40; ++i) {
    std::vector<Vertex> tri = {{x(rng), y(rng), 5}, {x(rng), y(rng), 5}, {x(rng), y(rng), 5}};
    View view(8, 64, 48);
    // Listed so that it descends along its left side.
    const float cross = (tri[1].x - tri[0].x) * (tri[2].y - tri[0].y) -
                        (tri[1].y - tri[0].y) * (tri[2].x - tri[0].x);
    if (cross > 0) std::swap(tri[1], tri[2]);
    view.Fill(0);
    qxCore_SetOcclusionMethod(0);
    qxCore_SetZBufferMethod(0);
    if (!Queue(tri, 3, 0, 0, &material.material, 0)) continue;
    qxCache_Flush();
    const auto direct = view.Bytes();
    view.Fill(0);
    qxCore_SetOcclusionMethod(1);
    qxCore_SetZBufferMethod(1);
    Queue(tri, 3, 0, 0, &material.material, 0);
    qxCache_Flush();
    EXPECT_EQ(view.Bytes(), direct) << i;
    drawn += view.CountNot(0);
  }
  EXPECT_GT(drawn, 5000);
}

TEST_F(SpanRaster, RandomScenesStayInsideTheCanvas) {
  std::mt19937 rng(3939);
  TestTexture tex(4, 3, 4, [](int k, int x, int y) { return (k * 37 + x * 5 + y * 11) % 7; });
  TestTexture keyed(
      3, 4, 2, [](int, int x, int y) { return (x + y) % 3; }, true);
  TestMaterial plain(&tex.tex), colourKeyed(&keyed.tex);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  int drawn = 0;
  for (int scene = 0; scene < 60; ++scene) {
    const int bpp = scene % 2 ? 16 : 8;
    const bool depth = scene % 3 != 0;
    View view(bpp, 48, 40, depth, 6);
    view.Fill(0xEE);
    if (depth) {
      for (int yy = 0; yy < view.height; ++yy)
        for (int xx = 0; xx < view.width; ++xx) view.SetDepth(xx, yy, 0xABCD);
    }
    qxCore_SetFaceSortKey(static_cast<int32_t>(rng() & 0x30003));
    const int faces = 1 + static_cast<int>(rng() % 60);
    for (int f = 0; f < faces; ++f) {
      const int n = 3 + static_cast<int>(rng() % 6);
      std::vector<Vertex> v;
      for (int i = 0; i < n; ++i) {
        // Mostly on the canvas; now and then just off it.
        const float spread = scene % 5 == 0 ? 1.3f : 1.0f;
        v.push_back({6 + (unit(rng) * spread - (spread - 1) / 2) * 48,
                     6 + (unit(rng) * spread - (spread - 1) / 2) * 40, 0.5f + unit(rng) * 60,
                     unit(rng) * 40 - 10, unit(rng) * 40 - 10, unit(rng) * 1.2f});
      }
      TestMaterial* m = rng() % 2 ? &plain : &colourKeyed;
      qxCacheFace* face = Queue(v, 1 + static_cast<int>(rng() % 4), static_cast<int>(rng() % 5),
                                static_cast<int>(rng() % 3), &m->material,
                                static_cast<int>(rng() % 3), static_cast<int>(rng() % 2));
      if (face) face->extraLight = unit(rng) - 0.3f;
    }
    qxCache_Flush();
    drawn += view.CountNot(0xEE);
    for (int yy = 0; yy < view.height; ++yy) {
      for (int xx = 0; xx < view.width; ++xx) {
        const bool inside = xx >= 6 && xx < 54 && yy >= 6 && yy < 46;
        if (inside) continue;
        ASSERT_EQ(view.Pixel(xx, yy), 0xEEu) << scene << ": " << xx << "," << yy;
        if (depth) {
          ASSERT_EQ(view.Depth(xx, yy), 0xABCD) << scene;
        }
      }
    }
  }
  EXPECT_GT(drawn, 20000);
}

}  // namespace
