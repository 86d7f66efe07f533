#include "quadrix/qxVector.h"

#include <algorithm>
#include <cmath>

#include "quadrix/qxMatrix.h"
#include "std/stdMath.h"

// ---- 2 components: the normalizations and Divide divide each component ----

qxVector2* qxVector2_Set(qxVector2* v, float x, float y) {
  v->x = x;
  v->y = y;
  return v;
}

void qxVector2_Copy(qxVector2* dst, const qxVector2* src) {
  *dst = *src;
}

void qxVector2_Neg(qxVector2* out, const qxVector2* in) {
  out->x = -in->x;
  out->y = -in->y;
}

qxVector2* qxVector2_NegInPlace(qxVector2* v) {
  qxVector2_Neg(v, v);
  return v;
}

void qxVector2_Add(qxVector2* out, const qxVector2* a, const qxVector2* b) {
  out->x = a->x + b->x;
  out->y = a->y + b->y;
}

qxVector2* qxVector2_AddInPlace(qxVector2* a, const qxVector2* b) {
  qxVector2_Add(a, a, b);
  return a;
}

void qxVector2_Sub(qxVector2* out, const qxVector2* a, const qxVector2* b) {
  out->x = a->x - b->x;
  out->y = a->y - b->y;
}

qxVector2* qxVector2_SubInPlace(qxVector2* a, const qxVector2* b) {
  qxVector2_Sub(a, a, b);
  return a;
}

float qxVector2_Dot(const qxVector2* a, const qxVector2* b) {
  return a->x * b->x + a->y * b->y;
}

float qxVector2_Len(const qxVector2* v) {
  return std::sqrt(v->x * v->x + v->y * v->y);
}

float qxVector2_Normalize(qxVector2* out, const qxVector2* in) {
  const float len = qxVector2_Len(in);
  if (len == 0.0f) {
    *out = *in;
    return 0.0f;
  }
  out->x = in->x / len;
  out->y = in->y / len;
  return len;
}

float qxVector2_NormalizeInPlace(qxVector2* v) {
  return qxVector2_Normalize(v, v);
}

void qxVector2_Scale(qxVector2* out, const qxVector2* in, float s) {
  out->x = in->x * s;
  out->y = in->y * s;
}

qxVector2* qxVector2_ScaleInPlace(qxVector2* v, float s) {
  qxVector2_Scale(v, v, s);
  return v;
}

void qxVector2_Divide(qxVector2* out, const qxVector2* in, float s) {
  out->x = in->x / s;
  out->y = in->y / s;
}

qxVector2* qxVector2_DivideInPlace(qxVector2* v, float s) {
  qxVector2_Divide(v, v, s);
  return v;
}

// ---- 3 components: the normalizations and Divide multiply by a reciprocal ----

float qxVector3_NormalizeFast(qxVector3* out, const qxVector3* in) {
  float m[3] = {std::fabs(in->x), std::fabs(in->y), std::fabs(in->z)};
  std::sort(m, m + 3);
  // A zero vector has no direction: it is kept, like the exact form.
  return qxVector3_DivideByLength(out, in, m[2] + 0.34375f * m[1] + 0.25f * m[0]);
}

float qxVector3_NormalizeFastInPlace(qxVector3* v) {
  return qxVector3_NormalizeFast(v, v);
}

void qxVector3_Rotate(qxVector3* out, const qxVector3* in, const qxVector3* angles) {
  qxMatrix34 m;
  qxMatrix34_BuildRotate(&m, angles);
  qxMatrix34_TransformVector(out, in, &m);
}

qxVector3* qxVector3_RotateInPlace(qxVector3* v, const qxVector3* angles) {
  qxVector3_Rotate(v, v, angles);
  return v;
}

void qxVector3_ExtractAngles(const qxVector3* direction, qxVector3* angles) {
  const float pitch = stdMath_ArcSin3(direction->z);
  const float yaw = stdMath_ArcTan4(direction->y, direction->x);
  angles->x = pitch;
  angles->y = yaw;
  angles->z = 0.0f;
}

// ---- 4 components ----

qxVector4* qxVector4_Set(qxVector4* v, float x, float y, float z, float w) {
  v->x = x;
  v->y = y;
  v->z = z;
  v->w = w;
  return v;
}

void qxVector4_Copy(qxVector4* dst, const qxVector4* src) {
  *dst = *src;
}

void qxVector4_Neg(qxVector4* out, const qxVector4* in) {
  out->x = -in->x;
  out->y = -in->y;
  out->z = -in->z;
  out->w = -in->w;
}

qxVector4* qxVector4_NegInPlace(qxVector4* v) {
  qxVector4_Neg(v, v);
  return v;
}

void qxVector4_Add(qxVector4* out, const qxVector4* a, const qxVector4* b) {
  out->x = a->x + b->x;
  out->y = a->y + b->y;
  out->z = a->z + b->z;
  out->w = a->w + b->w;
}

qxVector4* qxVector4_AddInPlace(qxVector4* a, const qxVector4* b) {
  qxVector4_Add(a, a, b);
  return a;
}

void qxVector4_Sub(qxVector4* out, const qxVector4* a, const qxVector4* b) {
  out->x = a->x - b->x;
  out->y = a->y - b->y;
  out->z = a->z - b->z;
  out->w = a->w - b->w;
}

qxVector4* qxVector4_SubInPlace(qxVector4* a, const qxVector4* b) {
  qxVector4_Sub(a, a, b);
  return a;
}

float qxVector4_Dot(const qxVector4* a, const qxVector4* b) {
  return a->x * b->x + a->y * b->y + a->z * b->z + a->w * b->w;
}

float qxVector4_Len(const qxVector4* v) {
  return std::sqrt(qxVector4_Dot(v, v));
}

float qxVector4_Normalize(qxVector4* out, const qxVector4* in) {
  const float len = qxVector4_Len(in);
  if (len == 0.0f) {
    *out = *in;
    return 0.0f;
  }
  qxVector4_Scale(out, in, 1.0f / len);
  return len;
}

float qxVector4_NormalizeInPlace(qxVector4* v) {
  return qxVector4_Normalize(v, v);
}

void qxVector4_Scale(qxVector4* out, const qxVector4* in, float s) {
  out->x = in->x * s;
  out->y = in->y * s;
  out->z = in->z * s;
  out->w = in->w * s;
}

qxVector4* qxVector4_ScaleInPlace(qxVector4* v, float s) {
  qxVector4_Scale(v, v, s);
  return v;
}

void qxVector4_Divide(qxVector4* out, const qxVector4* in, float s) {
  qxVector4_Scale(out, in, 1.0f / s);
}

qxVector4* qxVector4_DivideInPlace(qxVector4* v, float s) {
  qxVector4_Divide(v, v, s);
  return v;
}
