// Vectors, matrices and the geometry helpers.
#include "quadrix/qxMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "quadrix/qxMatrix.h"
#include "quadrix/qxVector.h"
#include "std/stdMath.h"

namespace {

void ExpectVec(const qxVector3& v, float x, float y, float z, float tol, const char* what = "") {
  EXPECT_NEAR(v.x, x, tol) << what;
  EXPECT_NEAR(v.y, y, tol) << what;
  EXPECT_NEAR(v.z, z, tol) << what;
}

float MaxDiff(const qxMatrix34& a, const qxMatrix34& b) {
  const float* pa = &a.x.x;
  const float* pb = &b.x.x;
  float d = 0;
  for (int i = 0; i < 12; ++i) d = std::fmax(d, std::fabs(pa[i] - pb[i]));
  return d;
}

TEST(QxVector, OperationsAndAliasing) {
  qxVector3 a = {1, 2, 3}, b = {4, 5, 6}, out;
  qxVector3_Cross(&out, &a, &b);
  ExpectVec(out, -3, 6, -3, 0);
  qxVector3_CrossInPlace(&a, &b);  // output is an input
  ExpectVec(a, -3, 6, -3, 0);
  EXPECT_FLOAT_EQ(qxVector3_Dot(&a, &b), -12 + 30 - 18);
  qxVector3_Set(&a, 3, 4, 0);
  EXPECT_FLOAT_EQ(qxVector3_Len(&a), 5);
  EXPECT_FLOAT_EQ(qxVector3_Normalize(&out, &a), 5);
  ExpectVec(out, 0.6f, 0.8f, 0, 1e-6f);
  EXPECT_FLOAT_EQ(qxVector3_NormalizeFast(&out, &a), 5.03125f);
  ExpectVec(out, 3 / 5.03125f, 4 / 5.03125f, 0, 1e-6f);

  qxVector2 v2 = {6, 8};
  EXPECT_FLOAT_EQ(qxVector2_NormalizeInPlace(&v2), 10);
  EXPECT_FLOAT_EQ(v2.x, 0.6f);
  qxVector4 v4 = {1, 1, 1, 1};
  EXPECT_FLOAT_EQ(qxVector4_Normalize(&v4, &v4), 2);
  EXPECT_FLOAT_EQ(v4.w, 0.5f);
  qxVector4 s;
  qxVector4_Add(&s, &v4, &v4);
  EXPECT_FLOAT_EQ(qxVector4_Dot(&s, &v4), 2);
  EXPECT_EQ(qxVector3_ScaleInPlace(&b, 2)->z, 12);
  EXPECT_FLOAT_EQ(qxVector3_DivideInPlace(&b, 4)->x, 2);
}

TEST(QxVector, ZeroVectorsStayZero) {
  const qxVector3 zero = {0, 0, 0};
  qxVector3 out = {9, 9, 9};
  EXPECT_EQ(qxVector3_Normalize(&out, &zero), 0.0f);
  ExpectVec(out, 0, 0, 0, 0);
  qxVector3 v = zero;
  EXPECT_EQ(qxVector3_NormalizeInPlace(&v), 0.0f);
  EXPECT_EQ(qxVector3_NormalizeFastInPlace(&v), 0.0f);
  EXPECT_FALSE(std::isnan(v.x));
  ExpectVec(v, 0, 0, 0, 0);
  qxVector2 v2 = {0, 0};
  EXPECT_EQ(qxVector2_NormalizeInPlace(&v2), 0.0f);
  EXPECT_EQ(v2.x, 0.0f);
}

TEST(QxVector, RotateAndExtractAngles) {
  const qxVector3 forward = {0, 1, 0}, yaw90 = {0, 90, 0};
  qxVector3 out;
  qxVector3_Rotate(&out, &forward, &yaw90);
  ExpectVec(out, -1, 0, 0, 1e-5f);
  qxVector3 angles;
  qxVector3_ExtractAngles(&forward, &angles);
  EXPECT_EQ(angles.x, 0.0f);
  EXPECT_FLOAT_EQ(angles.y, stdMath_ArcTan4(1, 0));
  EXPECT_EQ(angles.z, 0.0f);
  qxVector3 t = {1e-7f, -2e-7f, 0.5f};
  qxVector3_ZeroTiny(&t, 1e-6f);
  ExpectVec(t, 0, 0, 0.5f, 0);
}

TEST(QxMatrix, BuildMapsPoints) {
  struct Case {
    qxVector3 angles, position, point, expected;
  };
  const Case cases[] = {
      {{0, 90, 0}, {1, 2, 3}, {0, 1, 0}, {0, 2, 3}},     // forward turns to -x
      {{0, 0, 0}, {1, 2, 3}, {1, 1, 1}, {2, 3, 4}},      // translation only
      {{90, 0, 0}, {0, 0, 0}, {0, 1, 0}, {0, 0, 1}},     // pitch raises forward to up
      {{90, 0, 0}, {0, 0, 0}, {0, 0, 1}, {0, -1, 0}},    // and up to backward
      {{0, 0, 90}, {0, 0, 0}, {1, 0, 0}, {0, 0, -1}},    // roll turns right downwards
      {{0, 180, 0}, {0, 0, 5}, {1, 0, 0}, {-1, 0, 5}},   // half turn
      {{0, -90, 0}, {10, 0, 0}, {0, 2, 0}, {12, 0, 0}},  // forward turns to +x
  };
  for (const Case& c : cases) {
    qxMatrix34 m;
    qxMatrix34_Build(&m, &c.angles, &c.position);
    qxVector3 out;
    qxMatrix34_TransformPoint(&out, &c.point, &m);
    ExpectVec(out, c.expected.x, c.expected.y, c.expected.z, 1e-5f);
  }
  qxMatrix34 m;
  const qxVector3 pitch90 = {90, 0, 0}, origin = {0, 0, 0};
  qxMatrix34_Build(&m, &pitch90, &origin);
  ExpectVec(m.y, 0, 0, 1, 1e-6f);
  ExpectVec(m.z, 0, -1, 0, 1e-6f);
}

TEST(QxMatrix, InverseAndAngleRoundTripsOverAGrid) {
  for (float pitch = -90; pitch <= 90; pitch += 22.5f) {
    for (float yaw = -180; yaw < 180; yaw += 40) {
      for (float roll = -170; roll < 180; roll += 55) {
        const qxVector3 a = {pitch, yaw, roll}, p = {1.5f, -2, 7};
        qxMatrix34 m, inv, prod;
        qxMatrix34_Build(&m, &a, &p);
        qxMatrix34_InvertOrtho(&inv, &m);
        qxMatrix34_Multiply(&prod, &inv, &m);
        EXPECT_LT(MaxDiff(prod, qxMatrix34_identity), 3e-3f) << pitch << " " << yaw << " " << roll;
        qxVector3 back;
        qxMatrix34_ExtractAngles(&m, &back);
        qxMatrix34 rebuilt;
        qxMatrix34_Build(&rebuilt, &back, &p);
        EXPECT_LT(MaxDiff(rebuilt, m), 3e-3f) << pitch << " " << yaw << " " << roll;
        if (std::fabs(pitch) < 89) {
          EXPECT_NEAR(back.x, pitch, 0.2f);
          EXPECT_NEAR(stdMath_AngleDiff(back.y, yaw), 0, 0.2f) << yaw;
          EXPECT_NEAR(stdMath_AngleDiff(back.z, roll), 0, 0.2f) << roll;
        }
      }
    }
  }
  qxVector3 angles;
  qxMatrix34_ExtractAngles(&qxMatrix34_identity, &angles);
  ExpectVec(angles, 0, 0, 0, 1e-3f);
  qxMatrix34 up;
  const qxVector3 look = {0, 0, 1};
  qxMatrix34_BuildFromLookVector(&up, &look);
  qxMatrix34_ExtractAngles(&up, &angles);
  EXPECT_FLOAT_EQ(angles.x, 90);
  EXPECT_FLOAT_EQ(angles.y, 0);
}

TEST(QxMatrix, ProductsGiveTheRightAnswerWhenAliased) {
  const qxVector3 a = {10, 20, 30}, p = {1, 2, 3};
  qxMatrix34 m, expected, inv;
  qxMatrix34_Build(&m, &a, &p);
  qxMatrix34_Multiply(&expected, &m, &m);
  qxMatrix34 same = m;
  qxMatrix34_Multiply(&same, &same, &same);
  EXPECT_EQ(MaxDiff(same, expected), 0.0f);
  qxMatrix34_InvertOrtho(&inv, &m);
  same = m;
  qxMatrix34_InvertOrtho(&same, &same);
  EXPECT_EQ(MaxDiff(same, inv), 0.0f);
  same = m;
  qxMatrix34_PostMultiply(&same, &same);
  EXPECT_EQ(MaxDiff(same, expected), 0.0f);
}

TEST(QxMatrix, Builders) {
  qxMatrix34 m;
  qxVector3 out;
  const qxVector3 xAxis = {1, 0, 0}, zUp = {0, 0, 1}, zDown = {0, 0, -1};
  qxMatrix34_BuildFromAxisAngle(&m, &zUp, 90);
  qxMatrix34_TransformVector(&out, &xAxis, &m);
  ExpectVec(out, 0, 1, 0, 1e-6f);
  qxMatrix34_BuildFromAxisAngle(&m, &zDown, 90);
  qxMatrix34_TransformVector(&out, &xAxis, &m);
  ExpectVec(out, 0, -1, 0, 1e-6f);
  // A general axis agrees with the usual rotation: x about the x axis stays put.
  qxMatrix34_BuildFromAxisAngle(&m, &xAxis, 90);
  qxMatrix34_TransformVector(&out, &xAxis, &m);
  ExpectVec(out, 1, 0, 0, 1e-5f);
  const qxVector3 yAxis = {0, 1, 0};
  qxMatrix34_TransformVector(&out, &yAxis, &m);
  ExpectVec(out, 0, 0, 1, 1e-3f);

  const qxVector3 origin = {0, 0, 0}, ahead = {0, 10, 0}, below = {0, 0, -5};
  qxMatrix34_BuildLookAt(&m, &origin, &ahead, 0);
  EXPECT_LT(MaxDiff(m, qxMatrix34_identity), 1e-6f);
  qxMatrix34_BuildLookAt(&m, &origin, &below, 0);
  ExpectVec(m.y, 0, 0, -1, 1e-6f);
  ExpectVec(m.z, 0, 1, 0, 1e-6f);  // the reference up (0, 1, 0) when looking down

  const qxVector3 zero = {0, 0, 0}, pos = {1, 2, 3};
  qxMatrix34_BuildInverse(&m, &zero, &pos);
  ExpectVec(m.t, -1, -2, -3, 0);

  // Reverse order: yaw then pitch differs from the normal build.
  const qxVector3 a = {30, 40, 0};
  qxMatrix34 rev, fwd;
  qxMatrix34_BuildRotateReverse(&rev, &a);
  qxMatrix34_BuildRotate(&fwd, &a);
  const qxVector3 pitchOnly = {30, 0, 0}, yawOnly = {0, 40, 0};
  qxMatrix34 rx, rz, expected;
  qxMatrix34_BuildRotate(&rx, &pitchOnly);
  qxMatrix34_BuildRotate(&rz, &yawOnly);
  qxMatrix34_Multiply(&expected, &rx, &rz);
  EXPECT_LT(MaxDiff(rev, expected), 1e-6f);
  EXPECT_GT(MaxDiff(rev, fwd), 0.1f);

  // Normalize repairs a skewed matrix while keeping the forward direction.
  qxMatrix34_Build(&m, &a, &pos);
  m.x.x += 0.05f;
  qxMatrix34_Normalize(&m);
  EXPECT_NEAR(qxVector3_Dot(&m.x, &m.y), 0, 1e-5f);
  EXPECT_NEAR(qxVector3_Len(&m.x), 1, 1e-5f);
}

TEST(QxMatrix, PostPreAndPointLists) {
  const qxVector3 a = {0, 90, 0}, v = {0, 1, 0}, s = {2, 3, 4};
  qxMatrix34 m = qxMatrix34_identity;
  qxMatrix34_PostRotate(&m, &a);
  qxMatrix34_PostTranslate(&m, &v);  // in the turned frame: forward is -x
  ExpectVec(m.t, -1, 0, 0, 1e-6f);
  qxMatrix34_PreTranslate(&m, &v);
  ExpectVec(m.t, -1, 1, 0, 1e-6f);
  qxMatrix34 sc = qxMatrix34_identity;
  qxMatrix34_PreTranslate(&sc, &v);
  qxMatrix34_PreScale(&sc, &s);
  ExpectVec(sc.t, 0, 3, 0, 0);
  qxMatrix34_PostScale(&sc, &s);
  ExpectVec(sc.x, 4, 0, 0, 0);

  qxVector3 in[2] = {{1, 0, 0}, {0, 0, 1}}, out[2] = {{7, 7, 7}, {7, 7, 7}};
  qxMatrix34_TransformPointList(&m, in, out, 0);
  ExpectVec(out[0], 7, 7, 7, 0);
  qxMatrix34_TransformPointList(&m, in, out, 2);
  ExpectVec(out[0], -1, 2, 0, 1e-6f);
  ExpectVec(out[1], -1, 1, 1, 1e-6f);
  qxVector3 col;
  qxMatrix34_GetColumn(&m, 3, &col);
  ExpectVec(col, -1, 1, 0, 1e-6f);
  qxMatrix34_InvTransformVector(&col, &in[0], &m);
  ExpectVec(col, 0, -1, 0, 1e-6f);
}

// Pinned bit for bit: the sine and cosine of a sweep that crosses every
// quadrant edge, and placements built from angles and multiplied, hashed over
// the bits of every float (FNV-1a). Any change of the arithmetic (operation
// order, a fused multiply-add, another table walk) changes the hashes.
uint32_t HashFloats(uint32_t hash, const float* values, int count) {
  for (int i = 0; i < count; ++i) {
    uint32_t bits;
    std::memcpy(&bits, &values[i], 4);
    for (int b = 0; b < 4; ++b) hash = (hash ^ ((bits >> (8 * b)) & 0xFF)) * 16777619u;
  }
  return hash;
}

TEST(QxMatrix, BuildAndMultiplyArePinnedBitForBit) {
  uint32_t sines = 2166136261u;
  std::vector<float> angles;
  for (int i = 0; i < 200000; ++i) angles.push_back(-1000.0f + static_cast<float>(i) * 0.0107f);
  for (int q = -8; q <= 8; ++q) {
    for (float d : {-1e-3f, -1e-5f, 0.0f, 1e-5f, 1e-3f}) angles.push_back(q * 90.0f + d);
  }
  for (float a : {1e7f, -1e7f, 359.99998f, 89.99999f, 180.00002f, NAN, INFINITY}) {
    angles.push_back(a);
  }
  for (float a : angles) {
    float sc[2];
    stdMath_SinCos(a, &sc[0], &sc[1]);
    sines = HashFloats(sines, sc, 2);
  }
  uint32_t builds = 2166136261u, products = 2166136261u;
  qxMatrix34 previous = qxMatrix34_identity;
  for (int i = 0; i < 5000; ++i) {
    const qxVector3 a = {static_cast<float>(i) * 7.31f - 400.0f, static_cast<float>(i) * -3.77f,
                         static_cast<float>(i % 97) * 11.3f};
    const qxVector3 p = {static_cast<float>(i) * 0.5f, -1.25f, static_cast<float>(i % 13)};
    qxMatrix34 m, product;
    qxMatrix34_Build(&m, &a, &p);
    builds = HashFloats(builds, &m.x.x, 12);
    qxMatrix34_Multiply(&product, &m, &previous);
    products = HashFloats(products, &product.x.x, 12);
    previous = m;
  }
  EXPECT_EQ(sines, 1366808430u);
  EXPECT_EQ(builds, 2076476877u);
  EXPECT_EQ(products, 3586525142u);
}

TEST(QxMatrix44, MatchesTheThreeByFour) {
  const qxVector3 a = {15, -40, 70}, p = {3, 4, 5}, point = {1, -2, 0.5f};
  qxMatrix44 m44;
  qxMatrix44_Build(&m44, &a, &p);
  qxMatrix34 m34;
  qxMatrix34_Build(&m34, &a, &p);
  qxVector4 out4;
  qxVector3 out3;
  qxMatrix44_TransformPoint(&out4, &point, &m44);
  qxMatrix34_TransformPoint(&out3, &point, &m34);
  ExpectVec({out4.x, out4.y, out4.z}, out3.x, out3.y, out3.z, 1e-5f);
  EXPECT_FLOAT_EQ(out4.w, 1);

  qxVector4 id;
  qxMatrix44_TransformPoint(&id, &point, &qxMatrix44_identity);
  EXPECT_FLOAT_EQ(id.x, 1);
  EXPECT_FLOAT_EQ(id.w, 1);

  qxMatrix44 prod = m44, t;
  qxMatrix44_PostMultiply(&prod, &prod);
  qxMatrix34 prod34;
  qxMatrix34_Multiply(&prod34, &m34, &m34);
  qxMatrix34 back;
  qxMatrix34_FromMatrix44(&back, &prod);
  EXPECT_LT(MaxDiff(back, prod34), 1e-5f);

  qxMatrix44_Transpose(&t, &m44);
  qxMatrix44_Transpose(&t, &t);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(t.m[i], m44.m[i]);

  qxMatrix44 tr = qxMatrix44_identity;
  qxMatrix44_PreTranslate(&tr, &p);
  qxMatrix44_PostTranslate(&tr, &p);
  EXPECT_FLOAT_EQ(tr.m[12], 6);
  qxVector4 list[1] = {{1, 1, 1, 42}};
  qxMatrix44_TransformPointList(&tr, list, list, 1);
  EXPECT_FLOAT_EQ(list[0].x, 7);
  EXPECT_FLOAT_EQ(list[0].w, 42);  // the fourth component is not written
}

TEST(QxGeometry, Helpers) {
  const qxVector3 origin = {0, 0, 0}, up = {0, 0, 1}, down = {0, 0, -1};
  const qxVector3 above = {0, 0, 5}, under = {0, 0, -5};
  EXPECT_FLOAT_EQ(qxMath_DistancePointPlane(&above, &up, &origin), 5);
  EXPECT_FLOAT_EQ(qxMath_DistancePointPlane(&under, &up, &origin), -5);

  const qxVector3 x = {1, 0, 0}, y = {0, 1, 0}, mx = {-1, 0, 0};
  EXPECT_NEAR(qxMath_SignedAngleBetween(&x, &y, &up), 90, 0.5f);
  EXPECT_NEAR(qxMath_SignedAngleBetween(&x, &y, &down), -90, 0.5f);
  EXPECT_EQ(qxMath_SignedAngleBetween(&x, &x, &up), 0.0f);
  EXPECT_EQ(qxMath_SignedAngleBetween(&x, &mx, &up), 180.0f);
  EXPECT_EQ(qxMath_AngleBetween(&x, &x), 0.0f);
  EXPECT_NEAR(qxMath_AngleBetween(&x, &y), 90, 1e-4f);

  const qxVector3 m2 = {-2, 0, 0}, d = {1, 1, 0};
  EXPECT_EQ(qxMath_PointsCollinear(&origin, &x, &m2), 1);
  EXPECT_EQ(qxMath_PointsCollinear(&origin, &x, &d), 0);
  EXPECT_EQ(qxMath_PointsCollinear(&origin, &origin, &x), 0);

  const qxVector3 three = {3, 0, 0};
  EXPECT_FLOAT_EQ(qxMath_DistSqPointSegment(&y, &mx, &x), 1);
  EXPECT_FLOAT_EQ(qxMath_DistSqPointSegment(&three, &mx, &x), 4);
  EXPECT_FLOAT_EQ(qxMath_DistSqPointSegment(&m2, &mx, &x), 1);

  qxVector3 n;
  qxMath_FaceNormal(&n, &origin, &x, &y);
  ExpectVec(n, 0, 0, 1, 0);
  qxMath_FaceNormal(&n, &origin, &origin, &y);
  ExpectVec(n, 0, 0, 0, 0);
}

}  // namespace
