// The hardware renderer's vector and matrix toolkit: 2-, 3- and 4-float
// vectors, 4x4 float matrices for constant blocks and projections, a packed
// colour converter and a few constant vectors. Separate from the 3D library's
// 3x4 matrices.
//
// Matrices are four rows of four floats; points and directions are row
// vectors multiplied from the left (v' = v x M), so the translation sits in
// the last row. The projections give w = -z for a point at view depth z (the
// camera looks down -z) and a depth from 0 to 1. Everything here is a pure
// function of its arguments.
#pragma once

#include <cassert>
#include <cstdint>

struct qxMatrix34;

struct kvVector2F {
  float x, y;
};

struct kvVector3F {
  float x, y, z;
  float& operator[](int i) {
    assert(i >= 0 && i < 3);
    return (&x)[i];
  }
  float operator[](int i) const {
    assert(i >= 0 && i < 3);
    return (&x)[i];
  }
};

struct kvVector4F {
  float x, y, z, w;
  float& operator[](int i) {
    assert(i >= 0 && i < 4);
    return (&x)[i];
  }
  float operator[](int i) const {
    assert(i >= 0 && i < 4);
    return (&x)[i];
  }
};

// Row i at float offset 4i.
struct kvMatrix4F {
  kvVector4F rows[4];
  kvVector4F& operator[](int i) {
    assert(i >= 0 && i < 4);
    return rows[i];
  }
  const kvVector4F& operator[](int i) const {
    assert(i >= 0 && i < 4);
    return rows[i];
  }
};

static_assert(sizeof(kvVector2F) == 8 && sizeof(kvVector3F) == 12 && sizeof(kvVector4F) == 16 &&
              sizeof(kvMatrix4F) == 64);

inline constexpr kvVector2F kvVector2F_Zero = {0.0f, 0.0f};
inline constexpr kvVector2F kvVector2F_One = {1.0f, 1.0f};
inline constexpr kvVector3F kvVector3F_Zero = {0.0f, 0.0f, 0.0f};
inline constexpr kvVector3F kvVector3F_One = {1.0f, 1.0f, 1.0f};
inline constexpr kvVector4F kvVector4F_Zero = {0.0f, 0.0f, 0.0f, 0.0f};
inline constexpr kvVector4F kvVector4F_UnitW = {0.0f, 0.0f, 0.0f, 1.0f};
inline constexpr kvVector4F kvVector4F_One = {1.0f, 1.0f, 1.0f, 1.0f};

// (v.x, v.y, v.z, w).
void kvVector4F_FromVector3(kvVector4F* out, const kvVector3F& v, float w);
// v / |v|; the zero vector when the squared length is not above 0.
void kv_Vector3_Normalize(const kvVector3F& v, kvVector3F* out);
float kv_Vector3_DistanceSquared(const kvVector3F& a, const kvVector3F& b);
// A 5-6-5 colour (in the low 16 bits) as floats 0..1, alpha 1.
void kv_Color_FromRGB565(uint32_t colour, kvVector4F* out);

float kv_Determinant3(float m00, float m01, float m02, float m10, float m11, float m12, float m20,
                      float m21, float m22);
// Expansion along row 0.
float kv_Matrix4_Determinant(const kvMatrix4F& m);
// Adjugate / determinant; the zero matrix when |determinant| <= 0.00001.
void kv_Matrix4_Invert(const kvMatrix4F& m, kvMatrix4F* out);
// out = a x b (out may be a or b).
void kv_Matrix4_Multiply(const kvMatrix4F& a, const kvMatrix4F& b, kvMatrix4F* out);
// Rows 0-2 the axis rows with w 0, row 3 the translation with w 1.
void kv_Matrix4_FromMatrix34(const qxMatrix34& m, kvMatrix4F* out);
void kv_Matrix4_FromMatrix34(kvMatrix4F* out, const qxMatrix34& m);
// The current camera's world-to-camera matrix.
void kv_Matrix4_FromCameraView(kvMatrix4F* out);
void kv_Matrix4_Perspective(float yScale, float aspect, float nearZ, float farZ, kvMatrix4F* out);
void kv_Matrix4_Orthographic(float width, float height, float nearZ, float farZ, kvMatrix4F* out);
// Maps x and y from -1..1 to 0..1 (y not flipped) and keeps z.
void kv_Matrix4_TextureBias(kvMatrix4F* out);
