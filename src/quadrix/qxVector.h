// Small vectors of the 3D library: 2, 3 and 4 components of floats.
//
// Every function takes pointers, and an output may be the same vector as an
// input. Set and the in-place forms (Neg, Add, Sub, Cross, Scale, Divide,
// Rotate) return their first argument; the normalizations return a length.
// A qxVector3 is also an angle triple (pitch, yaw, roll) in degrees.
#pragma once

#include <cmath>

struct qxVector2 {
  float x, y;
};

struct qxVector3 {
  float x, y, z;
};

struct qxVector4 {
  float x, y, z, w;
};

static_assert(sizeof(qxVector2) == 8 && sizeof(qxVector3) == 12 && sizeof(qxVector4) == 16);

// 2 components
qxVector2* qxVector2_Set(qxVector2* v, float x, float y);
void qxVector2_Copy(qxVector2* dst, const qxVector2* src);
void qxVector2_Neg(qxVector2* out, const qxVector2* in);
qxVector2* qxVector2_NegInPlace(qxVector2* v);
void qxVector2_Add(qxVector2* out, const qxVector2* a, const qxVector2* b);
qxVector2* qxVector2_AddInPlace(qxVector2* a, const qxVector2* b);
void qxVector2_Sub(qxVector2* out, const qxVector2* a, const qxVector2* b);
qxVector2* qxVector2_SubInPlace(qxVector2* a, const qxVector2* b);
float qxVector2_Dot(const qxVector2* a, const qxVector2* b);
float qxVector2_Len(const qxVector2* v);
float qxVector2_Normalize(qxVector2* out, const qxVector2* in);
float qxVector2_NormalizeInPlace(qxVector2* v);
void qxVector2_Scale(qxVector2* out, const qxVector2* in, float s);
qxVector2* qxVector2_ScaleInPlace(qxVector2* v, float s);
void qxVector2_Divide(qxVector2* out, const qxVector2* in, float s);
qxVector2* qxVector2_DivideInPlace(qxVector2* v, float s);

// 3 components (the arithmetic is inline, below)
// Approximate length L = largest + 0.34375 middle + 0.25 smallest magnitude,
// then v x (1 / L). A zero vector is left unchanged and 0 returned.
float qxVector3_NormalizeFast(qxVector3* out, const qxVector3* in);
float qxVector3_NormalizeFastInPlace(qxVector3* v);
// Rotation by the matrix of the angle triple (pitch, yaw, roll).
void qxVector3_Rotate(qxVector3* out, const qxVector3* in, const qxVector3* angles);
qxVector3* qxVector3_RotateInPlace(qxVector3* v, const qxVector3* angles);
// Angles of a unit direction: pitch = ArcSin3(z), yaw = ArcTan4(y, x), roll 0.
void qxVector3_ExtractAngles(const qxVector3* direction, qxVector3* angles);

// 4 components
qxVector4* qxVector4_Set(qxVector4* v, float x, float y, float z, float w);
void qxVector4_Copy(qxVector4* dst, const qxVector4* src);
void qxVector4_Neg(qxVector4* out, const qxVector4* in);
qxVector4* qxVector4_NegInPlace(qxVector4* v);
void qxVector4_Add(qxVector4* out, const qxVector4* a, const qxVector4* b);
qxVector4* qxVector4_AddInPlace(qxVector4* a, const qxVector4* b);
void qxVector4_Sub(qxVector4* out, const qxVector4* a, const qxVector4* b);
qxVector4* qxVector4_SubInPlace(qxVector4* a, const qxVector4* b);
float qxVector4_Dot(const qxVector4* a, const qxVector4* b);
float qxVector4_Len(const qxVector4* v);
float qxVector4_Normalize(qxVector4* out, const qxVector4* in);
float qxVector4_NormalizeInPlace(qxVector4* v);
void qxVector4_Scale(qxVector4* out, const qxVector4* in, float s);
qxVector4* qxVector4_ScaleInPlace(qxVector4* v, float s);
void qxVector4_Divide(qxVector4* out, const qxVector4* in, float s);
qxVector4* qxVector4_DivideInPlace(qxVector4* v, float s);

// ---- 3 components: inline, for the loops over vertices and faces. The
// normalizations and Divide multiply by a reciprocal. ----

inline qxVector3* qxVector3_Set(qxVector3* v, float x, float y, float z) {
  v->x = x;
  v->y = y;
  v->z = z;
  return v;
}

inline void qxVector3_Copy(qxVector3* dst, const qxVector3* src) {
  *dst = *src;
}

inline void qxVector3_Neg(qxVector3* out, const qxVector3* in) {
  out->x = -in->x;
  out->y = -in->y;
  out->z = -in->z;
}

inline qxVector3* qxVector3_NegInPlace(qxVector3* v) {
  qxVector3_Neg(v, v);
  return v;
}

inline void qxVector3_Add(qxVector3* out, const qxVector3* a, const qxVector3* b) {
  out->x = a->x + b->x;
  out->y = a->y + b->y;
  out->z = a->z + b->z;
}

inline qxVector3* qxVector3_AddInPlace(qxVector3* a, const qxVector3* b) {
  qxVector3_Add(a, a, b);
  return a;
}

inline void qxVector3_Sub(qxVector3* out, const qxVector3* a, const qxVector3* b) {
  out->x = a->x - b->x;
  out->y = a->y - b->y;
  out->z = a->z - b->z;
}

inline qxVector3* qxVector3_SubInPlace(qxVector3* a, const qxVector3* b) {
  qxVector3_Sub(a, a, b);
  return a;
}

inline float qxVector3_Dot(const qxVector3* a, const qxVector3* b) {
  return a->x * b->x + a->y * b->y + a->z * b->z;
}

inline void qxVector3_Cross(qxVector3* out, const qxVector3* a, const qxVector3* b) {
  const qxVector3 r = {a->y * b->z - a->z * b->y, a->z * b->x - a->x * b->z,
                       a->x * b->y - a->y * b->x};
  *out = r;
}

inline qxVector3* qxVector3_CrossInPlace(qxVector3* a, const qxVector3* b) {
  qxVector3_Cross(a, a, b);
  return a;
}

inline float qxVector3_Len(const qxVector3* v) {
  return std::sqrt(v->x * v->x + v->y * v->y + v->z * v->z);
}

// in x (1 / len) into out and len returned; a length of 0 copies the input
// unchanged and returns 0. The end of both normalizations.
inline float qxVector3_DivideByLength(qxVector3* out, const qxVector3* in, float len) {
  if (len == 0.0f) {
    *out = *in;
    return 0.0f;
  }
  const float r = 1.0f / len;
  out->x = in->x * r;
  out->y = in->y * r;
  out->z = in->z * r;
  return len;
}

// Length 0 copies the input unchanged and returns 0.
inline float qxVector3_Normalize(qxVector3* out, const qxVector3* in) {
  return qxVector3_DivideByLength(out, in, qxVector3_Len(in));
}

inline float qxVector3_NormalizeInPlace(qxVector3* v) {
  return qxVector3_Normalize(v, v);
}

inline void qxVector3_Scale(qxVector3* out, const qxVector3* in, float s) {
  out->x = in->x * s;
  out->y = in->y * s;
  out->z = in->z * s;
}

inline qxVector3* qxVector3_ScaleInPlace(qxVector3* v, float s) {
  qxVector3_Scale(v, v, s);
  return v;
}

inline void qxVector3_Divide(qxVector3* out, const qxVector3* in, float s) {
  qxVector3_Scale(out, in, 1.0f / s);
}

inline qxVector3* qxVector3_DivideInPlace(qxVector3* v, float s) {
  qxVector3_Divide(v, v, s);
  return v;
}

// Sets each component whose magnitude is below the threshold to 0.
inline void qxVector3_ZeroTiny(qxVector3* v, float threshold) {
  // Selects rather than branches: which components are tiny is data.
  v->x = std::fabs(v->x) < threshold ? 0.0f : v->x;
  v->y = std::fabs(v->y) < threshold ? 0.0f : v->y;
  v->z = std::fabs(v->z) < threshold ? 0.0f : v->z;
}
