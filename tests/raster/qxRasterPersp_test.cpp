// Perspective-textured faces of both families: the runs of a span, the
// texels against an exact reference, the gradient vertices, and the depth
// handling of the family with depth buffer.
#include <cmath>

#include "qxRasterTest.h"
#include "raster/qxRaster_Internal.h"

namespace {

using namespace rastertest;

struct RunSetUp {
  int32_t x, count;
  float factor;
  bool operator==(const RunSetUp& o) const {
    return x == o.x && count == o.count && factor == o.factor;
  }
};
std::vector<RunSetUp> g_runs;

void Observe(int32_t x, int32_t count, float factor) {
  g_runs.push_back({x, count, factor});
}

class RasterPersp : public RasterTest {
 protected:
  void SetUp() override {
    RasterTest::SetUp();
    g_runs.clear();
    qxRaster_runObserver = Observe;
  }
  TestTexture texture{6, 6, 1, [](int, int x, int y) { return ((y & 15) << 4) | (x & 15); }};
  TestMaterial material{&texture.tex};
};

// Row 1, columns x0 .. x1 - 1, with u = x.
std::vector<Vertex> Line(float x0, float x1, float z = 4) {
  return {{x0, 0.5f, z, x0}, {x0, 1.5f, z, x0}, {x1, 1.5f, z, x1}, {x1, 0.5f, z, x1}};
}

float Recip(int n) {
  return qxRecipTables.recipFloat[n];
}

TEST_F(RasterPersp, SpansRunToMultiplesOfSixteen) {
  const struct {
    float x0, x1;
    std::vector<RunSetUp> runs;
  } cases[] = {
      {5, 41, {{5, 11, Recip(11)}, {16, 16, 0.0625f}, {32, 9, Recip(8)}}},
      {32, 48, {{32, 16, Recip(15)}}},
      {8, 11, {{8, 3, Recip(3)}}},
      {48, 49, {{48, 1, 0.0f}}},
      {5, 33, {{5, 11, Recip(11)}, {16, 16, 0.0625f}}},  // the one-pixel tail is not set up
  };
  for (const auto& c : cases) {
    g_runs.clear();
    View view(16, 64, 4, true);
    qxZRaster_DrawPerspLit(Queue(Line(c.x0, c.x1), 4, 1, 1, &material.material, 2),
                           &material.cels[2], 40);
    EXPECT_EQ(g_runs, c.runs) << c.x0 << ".." << c.x1;
    qxCache_Reset();
  }
}

TEST_F(RasterPersp, TailsMultiplyByTheReciprocalExceptTheUnlitFacesWithoutDepthBuffer) {
  for (int family = 0; family < 2; ++family) {
    const qxRasterFamily& table = family ? qxZRaster_family : qxRaster_family;
    for (int lighting = 0; lighting < 3; ++lighting) {
      for (int keyed = 0; keyed < 2; ++keyed) {
        for (int trans = 0; trans < 2; ++trans) {
          g_runs.clear();
          View view(family ? 16 : 8, 64, 4, family == 1);
          qxCacheFace* f = Queue(Line(5, 41), 4, lighting, 1, &material.material, 2);
          if (lighting == 0) table.unlit[2][keyed][trans](f, &material.cels[2]);
          if (lighting == 1) table.lit[2][keyed][trans](f, &material.cels[2], 30);
          if (lighting == 2) table.gouraud[2][keyed][trans](f, &material.cels[2]);
          ASSERT_EQ(g_runs.size(), 3u);
          const bool divides = family == 0 && lighting == 0;
          EXPECT_EQ(g_runs[2], (RunSetUp{32, 9, divides ? 0.0f : Recip(8)}))
              << family << lighting << keyed << trans;
          EXPECT_GT(view.CountNot(0), 30);
          qxCache_Reset();
        }
      }
    }
  }
}

// A triangle of a floor seen in perspective (depths 1.5 to 9) with texture
// coordinates up to 64 texels.
std::vector<Vertex> Floor() {
  return {{10.67f, 45.33f, 1.5f, 0, 0}, {53.33f, 45.33f, 1.5f, 64, 0}, {35.56f, 27.56f, 9, 64, 60}};
}

// u and v at pixel (x, y) from the planes of w, u x w and v x w through the
// three vertices, with w = 1/z, or 1/(z + 1) for the family with depth buffer.
std::pair<double, double> Exact(const std::vector<Vertex>& v, bool depth, double x, double y) {
  double w[3], uw[3], vw[3];
  for (int i = 0; i < 3; ++i) {
    w[i] = 1.0 / (v[i].z + (depth ? 1.0 : 0.0));
    uw[i] = v[i].u * w[i];
    vw[i] = v[i].v * w[i];
  }
  const double x1 = v[1].x - v[0].x, y1 = v[1].y - v[0].y;
  const double x2 = v[2].x - v[0].x, y2 = v[2].y - v[0].y;
  const double det = x1 * y2 - x2 * y1;
  // Barycentric weights of (x, y).
  const double b1 = ((x - v[0].x) * y2 - x2 * (y - v[0].y)) / det;
  const double b2 = (x1 * (y - v[0].y) - (x - v[0].x) * y1) / det;
  auto at = [&](const double* q) { return q[0] + b1 * (q[1] - q[0]) + b2 * (q[2] - q[0]); };
  return {at(uw) / at(w), at(vw) / at(w)};
}

// Distance between two texel coordinates modulo 16.
int WrapDistance(int a, int b) {
  const int d = ((a - b) % 16 + 16) % 16;
  return std::min(d, 16 - d);
}

TEST_F(RasterPersp, TexelsFollowTheExactPerspectiveMapping) {
  for (int family = 0; family < 2; ++family) {
    View view(family ? 16 : 8, 64, 48, family == 1);
    const std::vector<Vertex> tri = Floor();
    qxCacheFace* f = Queue(tri, 4, 0, 1, &material.material, 2);
    (family ? qxZRaster_DrawPerspUnlit : qxRaster_DrawPerspUnlit)(f, &material.cels[2]);
    int drawn = 0;
    for (int y = 0; y < view.height; ++y) {
      for (int x = 0; x < view.width; ++x) {
        const uint32_t p = view.Pixel(x, y);
        if (p == 0) continue;
        ++drawn;
        const uint32_t t = family ? (p & 0xFF) ^ 0x5A : p;  // undo the 16-bit light table
        const auto [u, v] = Exact(tri, family == 1, x, y);
        ASSERT_LE(WrapDistance(static_cast<int>(t & 15), static_cast<int>(std::floor(u + 0.5))), 1)
            << "family " << family << " at " << x << "," << y << ": u " << u;
        ASSERT_LE(WrapDistance(static_cast<int>(t >> 4), static_cast<int>(std::floor(v + 0.5))), 1)
            << "family " << family << " at " << x << "," << y << ": v " << v;
      }
    }
    EXPECT_GT(drawn, 300);
    qxCache_Reset();
  }
}

TEST_F(RasterPersp, TrianglesTakeVerticesInListOrderWithBiasesAtTheFirst) {
  // u x w is constant along x while w falls, so du/dx has the sign of -u:
  // negative at (0, 0), positive at (0, 10).
  const struct {
    bool depth;
    std::vector<Vertex> v;
  } faces[] = {
      {false, {{0, 0, 1, -1}, {10, 0, 2, -2}, {0, 10, 1, 1}}},
      {true, {{0, 0, 1, -2}, {10, 0, 3, -4}, {0, 10, 1, 2}}},
  };
  for (const auto& face : faces) {
    const std::vector<Vertex>& v = face.v;
    const std::vector<Vertex> rotated = {v[2], v[0], v[1]};
    const qxRasterFaceState& st = face.depth ? qxZRaster_state : qxRaster_state;
    int32_t biases[2];
    for (int order = 0; order < 2; ++order) {
      View view(16, 16, 16, face.depth);
      qxCacheFace* f = Queue(order ? rotated : v, 4, 0, 1, &material.material, 2, 1);
      (face.depth ? qxZRaster_DrawPerspUnlit : qxRaster_DrawPerspUnlit)(f, &material.cels[2]);
      EXPECT_GT(view.CountNot(0), 20);
      biases[order] = st.uBias;
      qxCache_Reset();
    }
    EXPECT_EQ(biases[0], 0x7FFF);
    EXPECT_EQ(biases[1], 0x8000);
  }
}

TEST_F(RasterPersp, DepthTestBeforeTheTexelAndSteppingThroughFailures) {
  // Depth 0 gives 65536, whose low 16 bits are 0: never drawn. Depth 1
  // stores 32768.
  View view(16, 64, 4, true);
  qxZRaster_DrawPerspGouraud(Queue(Line(4, 40, 0), 4, 3, 1, &material.material, 2),
                             &material.cels[2]);
  EXPECT_EQ(view.CountNot(0), 0);
  qxZRaster_DrawPerspGouraud(Queue(Line(4, 40, 1), 4, 3, 1, &material.material, 2),
                             &material.cels[2]);
  EXPECT_EQ(view.Depth(10, 1), 32768);
  const auto first = view.Bytes();
  // An equal entry fails: a second face at the same depth leaves the first.
  qxZRaster_DrawPerspLit(Queue(Line(4, 40, 1), 4, 1, 1, &material.material, 2), &material.cels[2],
                         3);
  EXPECT_EQ(view.Bytes(), first);

  // A pixel that fails the test still steps: its neighbours are drawn as
  // if it had passed.
  std::vector<Vertex> slope = Line(3, 45);
  slope[2].z = slope[3].z = 8;
  for (Vertex& x : slope) x.level = 10;
  View open(16, 64, 4, true), blocked(16, 64, 4, true);
  blocked.SetDepth(20, 1, 0xFFFF);
  for (View* v : {&open, &blocked}) {
    qxCamera_SetCurrent(v->camera);
    qxZRaster_DrawPerspGouraudTrans(Queue(slope, 4, 3, 1, &material.material, 2),
                                    &material.cels[2]);
  }
  for (int x = 0; x < 64; ++x) {
    if (x != 20) {
      EXPECT_EQ(open.Pixel(x, 1), blocked.Pixel(x, 1)) << x;
    }
  }
  EXPECT_EQ(blocked.Pixel(20, 1), 0u);
  EXPECT_NE(open.Pixel(20, 1), 0u);
}

TEST_F(RasterPersp, CanvasesOfOtherDepthsStayUntouched) {
  for (int bpp : {24, 32}) {
    for (int family = 0; family < 2; ++family) {
      View view(bpp, 64, 4, family == 1);
      const auto before = view.Bytes();
      const qxRasterFamily& table = family ? qxZRaster_family : qxRaster_family;
      for (int kind = 0; kind < 3; ++kind) {
        for (int trans = 0; trans < 2; ++trans) {
          qxCacheFace* f = Queue(Line(4, 40), 4, 0, kind == 2, &material.material, 2);
          table.unlit[kind][0][trans](f, &material.cels[kind ? 2 : 0]);
          table.lit[kind][0][trans](f, &material.cels[kind ? 2 : 0], 20);
          table.gouraud[kind][0][trans](f, &material.cels[kind ? 2 : 0]);
          qxCache_Reset();
        }
      }
      EXPECT_EQ(view.Bytes(), before);
      if (family) {
        EXPECT_EQ(view.Depth(10, 1), 0);
      }
    }
  }
}

}  // namespace
