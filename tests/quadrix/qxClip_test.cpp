// The clippers against the frustum of a 640 x 480 canvas with focal factor
// 400, aspect 1, near 1 and far 20 (the camera is left unset: perspective).
#include "quadrix/qxClip.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "quadrix/qxCamera.h"
#include "quadrix/qxCanvas.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxMatrix.h"

namespace {

qxClipFrustum Frustum() {
  qxClipFrustum f = {};
  f.farEnabled = 1;
  f.nearY = 1;
  f.farY = 20;
  f.slopeLeft = -0.79875f;
  f.slopeRight = 0.79875f;
  f.slopeTop = 0.59875f;
  f.slopeBottom = -0.59875f;
  f.slopeLeftWide = -0.80125f;
  f.slopeTopWide = 0.60125f;
  f.orthoLeft = -10;
  f.orthoRight = 10;
  f.orthoTop = 5;
  f.orthoBottom = -5;
  return f;
}

constexpr float kTol = 2e-3f;

void ExpectVec(const qxVector3& v, float x, float y, float z) {
  EXPECT_NEAR(v.x, x, kTol);
  EXPECT_NEAR(v.y, y, kTol);
  EXPECT_NEAR(v.z, z, kTol);
}

bool Same(const qxVector3& a, const qxVector3& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z;
}

class QxClip : public ::testing::Test {
 protected:
  void SetUp() override { qxCore_pCurrentCamera = nullptr; }
  qxClipFrustum f = Frustum();
};

TEST_F(QxClip, TriangleInsideComesBackUnchanged) {
  qxVector3 v[3] = {{-1, 10, 0}, {1, 10, 1}, {0, 12, -1}};
  qxVector3 copy[3];
  std::memcpy(copy, v, sizeof v);
  qxClipFlags = 0xff;
  EXPECT_EQ(qxClip_PolygonPersp(&f, v, 3), 3);
  EXPECT_EQ(qxClipFlags, 0u);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(Same(v[i], copy[i]));
}

TEST_F(QxClip, OneVertexBeyondTheLeftPlaneGivesAQuad) {
  // Vertex 0 beyond: (cut 2-0, cut 0-1, 1, 2).
  qxVector3 v[32] = {{-20, 10, 0}, {0, 10, 1}, {0, 12, -1}};
  ASSERT_EQ(qxClip_PolygonPersp(&f, v, 3), 4);
  EXPECT_EQ(qxClipFlags, QXCLIP_CUT_LEFT);
  ExpectVec(v[0], -8.9017f, 11.1098f, -0.5549f);
  EXPECT_EQ(v[1].y, 10.0f);
  ExpectVec(v[2], 0, 10, 1);
  ExpectVec(v[3], 0, 12, -1);
  // Vertex 1 beyond: (0, cut 0-1, cut 1-2, 2).
  qxVector3 w[32] = {{0, 10, 1}, {-20, 10, 0}, {0, 12, -1}};
  ASSERT_EQ(qxClip_PolygonPersp(&f, w, 3), 4);
  ExpectVec(w[0], 0, 10, 1);
  EXPECT_EQ(w[1].y, 10.0f);
  EXPECT_NEAR(w[2].y, 11.1098f, kTol);
  ExpectVec(w[3], 0, 12, -1);
}

TEST_F(QxClip, WorkedExampleWithAttributesAndOutline) {
  qxVector3 v[32] = {{-20, 10, 0}, {0, 10, 1}, {0, 12, -1}};
  qxVector2 t[32] = {{0, 0}, {32, 0}, {0, 32}};
  float in[32] = {0, 1, 0.5f};
  ASSERT_EQ(qxClip_PolygonTexLitPersp(&f, v, t, in, 3), 4);
  EXPECT_EQ(qxClipFlags, QXCLIP_CUT_LEFT);
  ExpectVec(v[0], -8.9017f, 11.1098f, -0.5549f);
  EXPECT_NEAR(t[0].x, 0, kTol);
  EXPECT_NEAR(t[0].y, 17.757f, 1e-2f);
  EXPECT_NEAR(in[0], 0.2775f, kTol);
  ExpectVec(v[1], -8.0125f, 10, 0.5994f);
  EXPECT_NEAR(t[1].x, 19.18f, 1e-2f);
  EXPECT_NEAR(t[1].y, 0, kTol);
  EXPECT_NEAR(in[1], 0.5994f, kTol);
  ExpectVec(v[2], 0, 10, 1);
  EXPECT_EQ(t[2].x, 32.0f);
  EXPECT_EQ(in[3], 0.5f);

  // The exact frustum cuts one pixel further in.
  qxVector3 o[32] = {{-20, 10, 0}, {0, 10, 1}, {0, 12, -1}};
  ASSERT_EQ(qxClip_OutlinePersp(&f, o, 3), 4);
  ExpectVec(o[0], -8.8760f, 11.1124f, -0.5562f);
  ExpectVec(o[1], -7.9875f, 10, 0.6006f);
  // Each cut lies exactly on its plane.
  EXPECT_EQ(o[1].x, static_cast<float>(f.slopeLeft * o[1].y));
}

TEST_F(QxClip, NearAndWhollyOutside) {
  qxVector3 v[32] = {{0, 0.5f, 0}, {0.1f, 0.5f, 0}, {0, 0.8f, 0.1f}};
  EXPECT_EQ(qxClip_PolygonPersp(&f, v, 3), 0);
  EXPECT_EQ(qxClipFlags, QXCLIP_LOST_AT_NEAR);
  qxVector3 w[32] = {{-30, 10, 0}, {-25, 10, 1}, {-30, 12, -1}};
  EXPECT_EQ(qxClip_PolygonPersp(&f, w, 3), 0);
  EXPECT_EQ(qxClipFlags, 0u);
  EXPECT_EQ(qxClip_PolygonPersp(&f, w, 0), 0);
  EXPECT_EQ(qxClip_PolygonPersp(&f, w, -4), 0);
}

TEST_F(QxClip, VertexOnAPlaneSurvivesOnceWithoutACut) {
  // A lies on the orthographic left plane x = -10 with both neighbours
  // beyond it: it is kept once and no cut is made next to it.
  qxVector3 v[32] = {{-10, 10, 0}, {-20, 10, 2}, {0, 10, 4}, {0, 10, -4}, {-20, 10, -2}};
  ASSERT_EQ(qxClip_PolygonOrtho(&f, v, 5), 5);
  ExpectVec(v[0], -10, 10, 0);
  ExpectVec(v[1], -10, 10, 3);
  ExpectVec(v[4], -10, 10, -3);
  int onA = 0;
  for (int i = 0; i < 5; ++i) onA += v[i].x == -10.0f && v[i].z == 0.0f;
  EXPECT_EQ(onA, 1);
  // Only vertices on the plane and beyond it: nothing is cut, no bit.
  qxVector3 w[32] = {{-10, 10, 0}, {-20, 10, 2}, {-20, 10, -2}};
  EXPECT_EQ(qxClip_PolygonOrtho(&f, w, 3), 1);
  EXPECT_EQ(qxClipFlags, 0u);
}

TEST_F(QxClip, FarPlaneOnlyWhenEnabled) {
  qxVector3 tri[3] = {{-1, 30, 0}, {1, 30, 1}, {0, 35, -1}};
  qxVector3 v[32];
  std::memcpy(v, tri, sizeof tri);
  EXPECT_EQ(qxClip_PolygonPersp(&f, v, 3), 0);
  f.farEnabled = 0;
  std::memcpy(v, tri, sizeof tri);
  EXPECT_EQ(qxClip_PolygonPersp(&f, v, 3), 3);
  EXPECT_TRUE(Same(v[2], tri[2]));
  // A triangle crossing the far plane gets cut there, with the far bit.
  f.farEnabled = 1;
  qxVector3 w[32] = {{-1, 10, 0}, {1, 10, 0}, {0, 30, 0}};
  ASSERT_EQ(qxClip_PolygonPersp(&f, w, 3), 4);
  EXPECT_EQ(qxClipFlags, QXCLIP_CUT_FAR);
  EXPECT_EQ(w[0].y, 20.0f);
}

TEST_F(QxClip, WidenedPlanesReachOnePixelFurther) {
  // A point between the exact and the widened left plane.
  qxVector3 p = {-8.0f, 10, 0};
  qxVector3 tri[3] = {p, {0, 10, 1}, {0, 12, -1}};
  qxVector3 a[32], b[32];
  std::memcpy(a, tri, sizeof tri);
  std::memcpy(b, tri, sizeof tri);
  EXPECT_EQ(qxClip_PolygonPersp(&f, a, 3), 3);
  EXPECT_TRUE(Same(a[0], p));
  EXPECT_EQ(qxClip_OutlinePersp(&f, b, 3), 4);
  // The same at the top: z = 6.0 at y = 10 is beyond 0.59875 y only.
  qxVector3 top[32] = {{0, 10, 6.0f}, {1, 10, 0}, {0, 12, -1}};
  qxVector3 top2[32] = {{0, 10, 6.0f}, {1, 10, 0}, {0, 12, -1}};
  EXPECT_EQ(qxClip_PolygonPersp(&f, top, 3), 3);
  EXPECT_EQ(qxClip_OutlinePersp(&f, top2, 3), 4);
  EXPECT_EQ(qxClipFlags, QXCLIP_CUT_TOP);
}

TEST_F(QxClip, OrthographicTwinsAgreeAndChannelsInterpolateApart) {
  qxVector3 tri[3] = {{-20, 10, 0}, {0, 10, 8}, {5, 12, -1}};
  qxVector3 a[32], b[32];
  std::memcpy(a, tri, sizeof tri);
  std::memcpy(b, tri, sizeof tri);
  int n = qxClip_PolygonOrtho(&f, a, 3);
  ASSERT_EQ(qxClip_OutlineOrtho(&f, b, 3), n);
  ASSERT_GE(n, 3);
  for (int i = 0; i < n; ++i) {
    EXPECT_TRUE(Same(a[i], b[i]));
    EXPECT_GE(a[i].x, -10.0f);
    EXPECT_LE(a[i].z, 5.0f);
  }
  EXPECT_EQ(qxClipFlags, QXCLIP_CUT_LEFT | QXCLIP_CUT_TOP);

  qxVector3 v[32] = {{-20, 10, 0}, {0, 10, 1}, {0, 12, -1}};
  float r[32] = {0, 1, 0}, g[32] = {1, 0, 0}, bl[32] = {0.5f, 0.5f, 1};
  qxVector2 t[32] = {{0, 0}, {32, 0}, {0, 32}};
  ASSERT_EQ(qxClip_PolygonTexRGBPersp(&f, v, t, r, g, bl, 3), 4);
  // cut of 2-0 at t = 0.445: red 0, green 0.445, blue 0.777.
  EXPECT_NEAR(r[0], 0.0f, kTol);
  EXPECT_NEAR(g[0], 0.4451f, kTol);
  EXPECT_NEAR(bl[0], 0.7775f, kTol);
  EXPECT_NEAR(t[0].y, 17.757f, 1e-2f);
  // cut of 0-1 at t = 0.5994.
  EXPECT_NEAR(r[1], 0.5994f, kTol);
  EXPECT_NEAR(g[1], 0.4006f, kTol);
  EXPECT_NEAR(bl[1], 0.5f, kTol);
}

TEST_F(QxClip, PolygonToPlane) {
  qxVector3 n = {0, 1, 0}, p = {0, 5, 0};
  // A square half behind the plane y = 5, no attributes.
  qxVector3 sq[32] = {{-1, 0, 0}, {-1, 10, 0}, {1, 10, 0}, {1, 0, 0}};
  ASSERT_EQ(qxClip_PolygonToPlane(&n, &p, sq, nullptr, nullptr, 4), 4);
  for (int i = 0; i < 4; ++i) EXPECT_GE(sq[i].y, 5.0f);
  // On-plane vertex followed by one behind: it occurs twice.
  qxVector3 tri[32] = {{0, 10, 0}, {0, 5, 1}, {1, 0, 0}};
  qxVector2 t[32] = {{0, 0}, {1, 1}, {2, 2}};
  float in[32] = {0, 0.5f, 1};
  int c = qxClip_PolygonToPlane(&n, &p, tri, t, in, 3);
  ASSERT_EQ(c, 4);
  int twice = 0;
  for (int i = 0; i < c; ++i) twice += tri[i].y == 5.0f && tri[i].z == 1.0f;
  EXPECT_EQ(twice, 2);
  EXPECT_FLOAT_EQ(in[0], 0.5f);  // the cut of edge 2-0 carries the intensity
}

TEST_F(QxClip, CapacityRejectsWithoutTouchingNeighbours) {
  // A star with 32 spikes crossing the near plane grows past 32 vertices.
  struct {
    qxVector3 v[32];
    qxVector3 guard[4];
  } box;
  for (int i = 0; i < 32; ++i) box.v[i] = {0, (i % 2) ? 0.5f : 2.0f, 0};
  for (auto& g : box.guard) g = {7, 7, 7};
  EXPECT_EQ(qxClip_PolygonPersp(&f, box.v, 32), 0);
  qxVector3 n = {0, 1, 0}, p = {0, 1, 0};
  EXPECT_EQ(qxClip_PolygonToPlane(&n, &p, box.v, nullptr, nullptr, 32), 0);
  EXPECT_EQ(box.v[1].y, 0.5f);
  for (auto& g : box.guard) EXPECT_TRUE(Same(g, qxVector3{7, 7, 7}));
  qxVector3 many[40] = {};
  EXPECT_EQ(qxClip_PolygonPersp(&f, many, 33), 0);
}

TEST_F(QxClip, HugeCoordinatesGiveFiniteResultsOrNone) {
  // Cuts of edges spanning most of the float range overflow: such polygons
  // and segments are rejected rather than leaving infinities or NaNs.
  auto finite = [](const qxVector3* v, int n) {
    for (int i = 0; i < n; ++i)
      if (!std::isfinite(v[i].x) || !std::isfinite(v[i].y) || !std::isfinite(v[i].z)) return false;
    return true;
  };
  const float big = 3e38f;
  qxVector3 tri[32] = {{-big, 10, 0}, {big, 10, big}, {0, 12, -big}};
  qxVector2 uv[32] = {{0, 0}, {big, 0}, {0, -big}};
  float in[32] = {0, 1, 0.5f};
  const int n = qxClip_PolygonTexLitPersp(&f, tri, uv, in, 3);
  EXPECT_TRUE(n < 3 || finite(tri, n));
  qxVector3 a = {-big, 10, -big}, b = {big, 12, big};
  if (qxClip_LinePersp(&f, &a, &b, nullptr, nullptr)) {
    EXPECT_TRUE(finite(&a, 1) && finite(&b, 1));
  }
  qxVector3 sq[32] = {{-big, -big, 0}, {-big, big, 0}, {big, big, 0}, {big, -big, 0}};
  qxVector3 normal = {0, 1, 0}, point = {0, 0, 0};
  const int m = qxClip_PolygonToPlane(&normal, &point, sq, nullptr, nullptr, 4);
  EXPECT_TRUE(finite(sq, m));
}

TEST_F(QxClip, PointInFrustum) {
  struct {
    qxVector3 p;
    int in;
  } rows[] = {
      {{0, 1, 0}, 1},
      {{0, 0.999f, 0}, 0},
      {{0, 20, 0}, 1},
      {{0, 20.01f, 0}, 0},
      {{static_cast<float>(-0.79875f * 10.0f), 10, 0}, 1},
      {{-8.0f, 10, 0}, 0},
      {{0, 10, static_cast<float>(0.59875f * 10.0f)}, 1},
      {{0, 10, -6.0f}, 0},
  };
  for (const auto& r : rows) EXPECT_EQ(qxClip_PointInFrustum(&f, &r.p), r.in) << r.p.y;
  f.farEnabled = 0;
  qxVector3 far = {0, 1000, 0};
  EXPECT_EQ(qxClip_PointInFrustum(&f, &far), 1);
}

TEST_F(QxClip, Segments) {
  int32_t m1 = 0, m2 = 0;
  qxVector3 a = {0, 0.5f, 0}, b = {1, 0.2f, 0};
  EXPECT_EQ(qxClip_LinePersp(&f, &a, &b, &m1, &m2), 0);

  a = {-20, 10, 0}, b = {0, 10, 1};
  EXPECT_EQ(qxClip_LinePersp(&f, &a, &b, &m1, &m2), 1);
  ExpectVec(a, -7.9875f, 10, 0.60063f);
  EXPECT_EQ(m1, 1);
  EXPECT_EQ(m2, 0);

  m1 = m2 = 0;
  a = {0, 0.5f, 0}, b = {0, 30, 3};
  EXPECT_EQ(qxClip_LinePersp(&f, &a, &b, &m1, &m2), 1);
  ExpectVec(a, 0, 1, 0.050847f);
  ExpectVec(b, 0, 20, 1.98305f);
  EXPECT_EQ(m1 + m2, 2);

  // Crossing left then right: both ends move.
  m1 = m2 = 0;
  a = {-20, 10, 0}, b = {20, 10, 0};
  EXPECT_EQ(qxClip_LinePersp(&f, &a, &b, nullptr, &m2), 1);
  EXPECT_FLOAT_EQ(a.x, -7.9875f);
  EXPECT_FLOAT_EQ(b.x, 7.9875f);
  EXPECT_EQ(m2, 1);

  // Orthographic: fixed bounds.
  m1 = m2 = 0;
  a = {-20, 10, 0}, b = {0, 10, 8};
  EXPECT_EQ(qxClip_LineOrtho(&f, &a, &b, &m1, &m2), 1);
  ExpectVec(a, -10, 10, 4);
  ExpectVec(b, -7.5f, 10, 5);
  EXPECT_EQ(m1 + m2, 2);
}

TEST_F(QxClip, Spheres) {
  struct {
    qxVector3 c;
    float r;
    int want;
  } rows[] = {
      {{0, 10, 0}, 1, 0},       // well inside
      {{0, 1, 0}, 0.5f, 1},     // straddling the near plane
      {{0, 0.2f, 0}, 0.5f, 2},  // nearer than the near plane (yF 0.7)
      {{0, 0.5f, 0}, 0.5f, 1},  // yF = nearY
      {{0, 1.5f, 0}, 0.5f, 0},  // yN = nearY, otherwise inside
      {{-30, 10, 0}, 1, 2},     // beyond the left plane
      {{0, 30, 0}, 1, 2},       // beyond the far plane
      {{0, 19.5f, 0}, 1, 1},    // crossing the far plane
  };
  for (const auto& r : rows)
    EXPECT_EQ(qxClip_SphereInFrustum(&f, &r.c, r.r), r.want) << r.c.x << " " << r.c.y;
  f.farEnabled = 0;
  qxVector3 far = {0, 500, 0};
  EXPECT_EQ(qxClip_SphereInFrustum(&f, &far, 1), 0);
}

TEST_F(QxClip, TwoDimensional) {
  qxCanvas canvas = {};
  canvas.rectLeft = 0;
  canvas.rectTop = 0;
  canvas.rectRight = 100;
  canvas.rectBottom = 100;
  EXPECT_EQ(qxClip_Outcode2D(&canvas, -1, -1), 0x1001u);
  EXPECT_EQ(qxClip_Outcode2D(&canvas, 101, 101), 0x110u);
  EXPECT_EQ(qxClip_Outcode2D(&canvas, 100, 0), 0u);

  struct {
    int32_t in[4];
    int result;
    int32_t out[4];
  } rows[] = {
      {{-10, 5, 5, -10}, 0, {-10, 5, 5, -10}}, {{-10, 50, 200, 50}, 1, {0, 50, 100, 50}},
      {{-3, -1, 3, 2}, 1, {0, 0, 3, 2}},       {{50, -20, 50, 300}, 1, {50, 0, 50, 100}},
      {{10, 10, 20, 20}, 1, {10, 10, 20, 20}},
  };
  for (const auto& r : rows) {
    int32_t c[4] = {r.in[0], r.in[1], r.in[2], r.in[3]};
    EXPECT_EQ(qxClip_Line2D(&canvas, &c[0], &c[1], &c[2], &c[3]), r.result) << r.in[0];
    for (int i = 0; i < 4; ++i) EXPECT_EQ(c[i], r.out[i]) << r.in[0] << " " << i;
  }
  // Extreme coordinates stay finite and inside the rectangle.
  int32_t c[4] = {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
  ASSERT_EQ(qxClip_Line2D(&canvas, &c[0], &c[1], &c[2], &c[3]), 1);
  for (int32_t v : c) {
    EXPECT_GE(v, 0);
    EXPECT_LE(v, 100);
  }
}

TEST_F(QxClip, CameraProjectionChoosesTheTestsAndProjectsLines) {
  qxCamera camera = {};
  camera.projectionType = QXCAMERA_ORTHOGRAPHIC;
  qxMatrix34_Identity(&camera.viewMatrix);
  camera.projectPoint = [](qxVector3* dst, const qxVector3* src) {
    *dst = {320 + src->x * 10.7f, 240 - src->z * 10.7f, src->y};
  };
  qxCore_pCurrentCamera = &camera;
  // Orthographic: x within -10..10 at any depth, z within -5..5.
  qxVector3 p = {-9.5f, 2, 4.5f};
  EXPECT_EQ(qxClip_PointInFrustum(&f, &p), 1);  // beyond the perspective left plane
  p.z = 5.5f;
  EXPECT_EQ(qxClip_PointInFrustum(&f, &p), 0);
  qxVector3 c = {-9.5f, 10, 0};
  EXPECT_EQ(qxClip_SphereInFrustum(&f, &c, 0.5f), 0);
  EXPECT_EQ(qxClip_SphereInFrustum(&f, &c, 1), 1);

  qxVector3 a = {-20, 10, 0}, b = {0, 10, 2};
  qxClipScreenPoint sa, sb;
  int32_t m1 = 0, m2 = 0;
  ASSERT_EQ(qxClip_ProjectLine(&f, &a, &b, &sa, &sb, &m1, &m2), 1);
  EXPECT_EQ(sa.x, 213);  // 320 - 10 x 10.7, truncated
  EXPECT_EQ(sa.y, 229);  // 240 - 1 x 10.7 = 229.3
  EXPECT_EQ(sa.z, 10.0f);
  EXPECT_EQ(sb.x, 320);
  EXPECT_EQ(m1, 1);
  EXPECT_EQ(m2, 0);
  EXPECT_EQ(a.x, -20.0f);  // the world points are not touched
  qxVector3 behind = {0, -5, 0}, behind2 = {1, -2, 0};
  EXPECT_EQ(qxClip_ProjectLine(&f, &behind, &behind2, nullptr, nullptr, nullptr, nullptr), 0);
  qxCore_pCurrentCamera = nullptr;
  EXPECT_EQ(qxClip_ProjectLine(&f, &a, &b, &sa, &sb, nullptr, nullptr), 0);
}

}  // namespace
