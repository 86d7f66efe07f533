// The renderer's vector and matrix toolkit.
#include "render/kv_Math.h"

#include <gtest/gtest.h>

#include <cmath>

#include "quadrix/qxMatrix.h"

namespace {

kvMatrix4F Identity() {
  kvMatrix4F m{};
  for (int i = 0; i < 4; ++i) m[i][i] = 1.0f;
  return m;
}

kvMatrix4F Translation(float x, float y, float z) {
  kvMatrix4F m = Identity();
  m[3] = {x, y, z, 1.0f};
  return m;
}

kvMatrix4F RotationZ(float radians) {
  kvMatrix4F m = Identity();
  const float c = std::cos(radians), s = std::sin(radians);
  m[0] = {c, s, 0, 0};
  m[1] = {-s, c, 0, 0};
  return m;
}

void ExpectNear(const kvMatrix4F& a, const kvMatrix4F& b, float tolerance) {
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(a[i][j], b[i][j], tolerance) << i << "," << j;
  }
}

kvVector4F Transform(const kvVector4F& v, const kvMatrix4F& m) {
  kvVector4F r{};
  for (int j = 0; j < 4; ++j) r[j] = v.x * m[0][j] + v.y * m[1][j] + v.z * m[2][j] + v.w * m[3][j];
  return r;
}

TEST(kvMath, InverseOfIdentityIsIdentityAndOfATinyScaleIsZero) {
  kvMatrix4F out;
  kv_Matrix4_Invert(Identity(), &out);
  ExpectNear(out, Identity(), 0.0f);

  kvMatrix4F tiny = Identity();
  for (int i = 0; i < 3; ++i) tiny[i][i] = 0.001f;  // determinant 1e-9
  out = Identity();
  kv_Matrix4_Invert(tiny, &out);
  ExpectNear(out, kvMatrix4F{}, 0.0f);
}

TEST(kvMath, InverseTimesMatrixIsIdentity) {
  kvMatrix4F m;
  kv_Matrix4_Multiply(RotationZ(0.7f), Translation(3, -2, 5), &m);
  for (int j = 0; j < 4; ++j) m[0][j] *= 2.0f;  // doubles the determinant
  kvMatrix4F inverse, product;
  kv_Matrix4_Invert(m, &inverse);
  kv_Matrix4_Multiply(m, inverse, &product);
  ExpectNear(product, Identity(), 1e-5f);
  EXPECT_NEAR(kv_Matrix4_Determinant(m), 2.0f, 1e-5f);
}

TEST(kvMath, ProductOrderAndIdentity) {
  const kvMatrix4F r = RotationZ(1.5707964f), t = Translation(10, 0, 0);
  kvMatrix4F out;
  kv_Matrix4_Multiply(Identity(), r, &out);
  ExpectNear(out, r, 0.0f);
  kv_Matrix4_Multiply(t, Identity(), &out);
  ExpectNear(out, t, 0.0f);

  // Row vectors: v x (R x T) rotates first, then translates.
  kvMatrix4F rt, tr;
  kv_Matrix4_Multiply(r, t, &rt);
  kv_Matrix4_Multiply(t, r, &tr);
  const kvVector4F p = {1, 0, 0, 1};
  const kvVector4F a = Transform(p, rt), b = Transform(p, tr);
  EXPECT_NEAR(a.x, 10.0f, 1e-5f);
  EXPECT_NEAR(a.y, 1.0f, 1e-5f);
  EXPECT_NEAR(b.x, 0.0f, 1e-4f);
  EXPECT_NEAR(b.y, 11.0f, 1e-4f);

  // The result may be an operand.
  kvMatrix4F inPlace = r;
  kv_Matrix4_Multiply(inPlace, t, &inPlace);
  ExpectNear(inPlace, rt, 0.0f);
}

TEST(kvMath, ColorFromRGB565) {
  const struct {
    uint32_t packed;
    kvVector4F expected;
  } cases[] = {{0xFFFF, {1, 1, 1, 1}},
               {0xF800, {1, 0, 0, 1}},
               {0x07E0, {0, 1, 0, 1}},
               {0x001F, {0, 0, 1, 1}}};
  for (const auto& c : cases) {
    kvVector4F out;
    kv_Color_FromRGB565(c.packed, &out);
    for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(out[i], c.expected[i]) << std::hex << c.packed;
  }
}

TEST(kvMath, PerspectiveMapsNearToZeroAndFarToOne) {
  kvMatrix4F p;
  kv_Matrix4_Perspective(1.0f, 4.0f / 3.0f, 1.0f, 100.0f, &p);
  for (const auto& [z, depth] : {std::pair{-1.0f, 0.0f}, std::pair{-100.0f, 1.0f}}) {
    const kvVector4F clip = Transform({0, 0, z, 1}, p);
    EXPECT_FLOAT_EQ(clip.w, -z);
    EXPECT_NEAR(clip.z / clip.w, depth, 1e-6f);
  }
}

TEST(kvMath, OrthographicAndTextureBias) {
  kvMatrix4F o;
  kv_Matrix4_Orthographic(200.0f, 100.0f, 1.0f, 11.0f, &o);
  const kvVector4F corner = Transform({100, 50, -1, 1}, o);
  EXPECT_FLOAT_EQ(corner.x, 1.0f);
  EXPECT_FLOAT_EQ(corner.y, 1.0f);
  EXPECT_FLOAT_EQ(corner.z, 0.0f);
  EXPECT_FLOAT_EQ(Transform({0, 0, -11, 1}, o).z, 1.0f);

  kvMatrix4F b;
  kv_Matrix4_TextureBias(&b);
  const kvVector4F uv = Transform({-1, 1, 0.25f, 1}, b);
  EXPECT_FLOAT_EQ(uv.x, 0.0f);
  EXPECT_FLOAT_EQ(uv.y, 1.0f);  // y is not flipped
  EXPECT_FLOAT_EQ(uv.z, 0.25f);
}

TEST(kvMath, VectorsAndConversions) {
  EXPECT_FLOAT_EQ(kv_Vector3_DistanceSquared({0, 0, 0}, {1, 2, 2}), 9.0f);
  kvVector3F n;
  kv_Vector3_Normalize({3, 0, 4}, &n);
  EXPECT_FLOAT_EQ(n.x, 0.6f);
  EXPECT_FLOAT_EQ(n.z, 0.8f);
  kv_Vector3_Normalize({0, 0, 0}, &n);
  EXPECT_EQ(n.x, 0.0f);
  EXPECT_EQ(n.y, 0.0f);
  EXPECT_EQ(n.z, 0.0f);

  kvVector4F v;
  kvVector4F_FromVector3(&v, {1, 2, 3}, 7);
  EXPECT_EQ(v.w, 7.0f);
  EXPECT_EQ(v[2], 3.0f);

  const qxMatrix34 m = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}};
  kvMatrix4F a, b;
  kv_Matrix4_FromMatrix34(m, &a);
  kv_Matrix4_FromMatrix34(&b, m);
  ExpectNear(a, b, 0.0f);
  EXPECT_EQ(a[1][0], 4.0f);
  EXPECT_EQ(a[2][3], 0.0f);
  EXPECT_EQ(a[3][0], 10.0f);
  EXPECT_EQ(a[3][3], 1.0f);
}

}  // namespace
