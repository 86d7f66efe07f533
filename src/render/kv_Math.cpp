#include "render/kv_Math.h"

#include <cmath>

#include "quadrix/qxCamera.h"
#include "quadrix/qxMatrix.h"

void kvVector4F_FromVector3(kvVector4F* out, const kvVector3F& v, float w) {
  *out = {v.x, v.y, v.z, w};
}

void kv_Vector3_Normalize(const kvVector3F& v, kvVector3F* out) {
  const float lengthSquared = v.x * v.x + v.y * v.y + v.z * v.z;
  if (!(lengthSquared > 0.0f)) {
    *out = kvVector3F_Zero;
    return;
  }
  const float k = 1.0f / std::sqrt(lengthSquared);
  *out = {v.x * k, v.y * k, v.z * k};
}

float kv_Vector3_DistanceSquared(const kvVector3F& a, const kvVector3F& b) {
  const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
  return dx * dx + dy * dy + dz * dz;
}

void kv_Color_FromRGB565(uint32_t c, kvVector4F* out) {
  out->x = static_cast<float>((c >> 8) & 0xF8) / 248.0f;
  out->y = static_cast<float>((c >> 3) & 0xFC) / 252.0f;
  out->z = static_cast<float>((c & 0x1F) * 8) / 248.0f;
  out->w = 1.0f;
}

float kv_Determinant3(float m00, float m01, float m02, float m10, float m11, float m12, float m20,
                      float m21, float m22) {
  return m00 * (m11 * m22 - m12 * m21) - m01 * (m10 * m22 - m12 * m20) +
         m02 * (m10 * m21 - m11 * m20);
}

namespace {

// The determinant of m without row r and column c.
float Minor(const kvMatrix4F& m, int r, int c) {
  float e[9];
  int n = 0;
  for (int i = 0; i < 4; ++i) {
    if (i == r) continue;
    for (int j = 0; j < 4; ++j) {
      if (j == c) continue;
      e[n++] = m[i][j];
    }
  }
  return kv_Determinant3(e[0], e[1], e[2], e[3], e[4], e[5], e[6], e[7], e[8]);
}

}  // namespace

float kv_Matrix4_Determinant(const kvMatrix4F& m) {
  return m[0][0] * Minor(m, 0, 0) - m[0][1] * Minor(m, 0, 1) + m[0][2] * Minor(m, 0, 2) -
         m[0][3] * Minor(m, 0, 3);
}

void kv_Matrix4_Invert(const kvMatrix4F& m, kvMatrix4F* out) {
  const float d = kv_Matrix4_Determinant(m);
  if (std::fabs(d) <= 0.00001f) {
    for (auto& row : out->rows) row = kvVector4F_Zero;
    return;
  }
  kvMatrix4F cofactors;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      const float sign = (i + j) % 2 == 0 ? 1.0f : -1.0f;
      cofactors[i][j] = sign * Minor(m, i, j);
    }
  }
  const float k = 1.0f / d;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) (*out)[i][j] = k * cofactors[j][i];
  }
}

void kv_Matrix4_Multiply(const kvMatrix4F& a, const kvMatrix4F& b, kvMatrix4F* out) {
  kvMatrix4F r;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      r[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j] + a[i][3] * b[3][j];
    }
  }
  *out = r;  // a or b may be out
}

void kv_Matrix4_FromMatrix34(const qxMatrix34& m, kvMatrix4F* out) {
  out->rows[0] = {m.x.x, m.x.y, m.x.z, 0.0f};
  out->rows[1] = {m.y.x, m.y.y, m.y.z, 0.0f};
  out->rows[2] = {m.z.x, m.z.y, m.z.z, 0.0f};
  out->rows[3] = {m.t.x, m.t.y, m.t.z, 1.0f};
}

void kv_Matrix4_FromMatrix34(kvMatrix4F* out, const qxMatrix34& m) {
  kv_Matrix4_FromMatrix34(m, out);
}

void kv_Matrix4_FromCameraView(kvMatrix4F* out) {
  qxMatrix34 view;
  qxCamera_GetViewMatrix(&view);
  kv_Matrix4_FromMatrix34(view, out);
}

void kv_Matrix4_Perspective(float yScale, float aspect, float nearZ, float farZ, kvMatrix4F* out) {
  *out = {};
  const float inverseRange = 1.0f / (nearZ - farZ);
  const float q = farZ * inverseRange;
  (*out)[0][0] = yScale / aspect;
  (*out)[1][1] = yScale;
  (*out)[2][2] = q;
  (*out)[2][3] = -1.0f;
  (*out)[3][2] = nearZ * q;
  (*out)[3][3] = 0.0f;
}

void kv_Matrix4_Orthographic(float width, float height, float nearZ, float farZ, kvMatrix4F* out) {
  *out = {};
  const float r = 1.0f / (nearZ - farZ);
  (*out)[0][0] = 2.0f / width;
  (*out)[1][1] = 2.0f / height;
  (*out)[2][2] = r;
  (*out)[3][2] = nearZ * r;
  (*out)[3][3] = 1.0f;
}

void kv_Matrix4_TextureBias(kvMatrix4F* out) {
  *out = {};
  (*out)[0][0] = 0.5f;
  (*out)[1][1] = 0.5f;
  (*out)[2][2] = 1.0f;
  (*out)[3][0] = 0.5f;
  (*out)[3][1] = 0.5f;
  (*out)[3][3] = 1.0f;
}
