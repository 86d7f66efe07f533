#include "quadrix/qxMatrix.h"

#include <immintrin.h>

#include <cmath>
#include <initializer_list>

#include "quadrix/qxVector_Values.h"
#include "std/stdMath.h"

const qxMatrix34 qxMatrix34_identity = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0}};
const qxMatrix44 qxMatrix44_identity = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};

namespace {

// R v for the rotation part.
inline qxVector3 Rotate(const qxMatrix34& m, const qxVector3& v) {
  return {v.x * m.x.x + v.y * m.y.x + v.z * m.z.x, v.x * m.x.y + v.y * m.y.y + v.z * m.z.y,
          v.x * m.x.z + v.y * m.y.z + v.z * m.z.z};
}

using qxv::Add;

// The arc cosine of the angle extraction: 90 minus the three-term arcsine.
inline float ArcCos(float q) {
  return 90.0f - stdMath_ArcSin3(q);
}

qxVector3* Column(qxMatrix34* m, int index) {
  switch (index) {
    case 0:
      return &m->x;
    case 1:
      return &m->y;
    case 2:
      return &m->z;
    case 3:
      return &m->t;
    default:
      return nullptr;
  }
}

}  // namespace

// ---- 3 x 4 ----

void qxMatrix34_Identity(qxMatrix34* m) {
  *m = qxMatrix34_identity;
}

void qxMatrix34_Copy(qxMatrix34* out, const qxMatrix34* in) {
  *out = *in;
}

void qxMatrix34_BuildRotate(qxMatrix34* out, const qxVector3* angles) {
  // The three table walks inline, so that they overlap.
  const stdMathSinCos* circle = stdMath_GetSinCosCircle();
  float sp, cp, sy, cy, sr, cr;
  stdMath_SinCosFrom(circle, angles->x, &sp, &cp);
  stdMath_SinCosFrom(circle, angles->y, &sy, &cy);
  stdMath_SinCosFrom(circle, angles->z, &sr, &cr);
  out->x = {cy * cr - sy * sp * sr, sy * cr + cy * sp * sr, -cp * sr};
  out->y = {-sy * cp, cy * cp, sp};
  out->z = {cy * sr + sy * sp * cr, sy * sr - cy * sp * cr, cp * cr};
  out->t = {0, 0, 0};
}

void qxMatrix34_Build(qxMatrix34* out, const qxVector3* angles, const qxVector3* position) {
  const qxVector3 p = *position;
  qxMatrix34_BuildRotate(out, angles);
  out->t = p;
}

void qxMatrix34_BuildRotateReverse(qxMatrix34* out, const qxVector3* angles) {
  const qxVector3 pitch = {angles->x, 0, 0};
  const qxVector3 yaw = {0, angles->y, 0};
  const qxVector3 roll = {0, 0, angles->z};
  qxMatrix34 rx, ry, rz;
  qxMatrix34_BuildRotate(&rx, &pitch);
  qxMatrix34_BuildRotate(&rz, &yaw);
  qxMatrix34_BuildRotate(&ry, &roll);
  qxMatrix34_Multiply(out, &ry, &rx);
  qxMatrix34_PostMultiply(out, &rz);
}

void qxMatrix34_BuildInverse(qxMatrix34* out, const qxVector3* angles, const qxVector3* position) {
  const qxVector3 p = *position;
  qxMatrix34 r;
  qxMatrix34_BuildRotate(&r, angles);
  out->x = {r.x.x, r.y.x, r.z.x};
  out->y = {r.x.y, r.y.y, r.z.y};
  out->z = {r.x.z, r.y.z, r.z.z};
  out->t = {-p.x, -p.y, -p.z};
}

void qxMatrix34_BuildTranslate(qxMatrix34* out, const qxVector3* v) {
  const qxVector3 p = *v;
  *out = qxMatrix34_identity;
  out->t = p;
}

void qxMatrix34_BuildScale(qxMatrix34* out, const qxVector3* v) {
  const qxVector3 s = *v;
  *out = {{s.x, 0, 0}, {0, s.y, 0}, {0, 0, s.z}, {0, 0, 0}};
}

void qxMatrix34_BuildFromAxisAngle(qxMatrix34* out, const qxVector3* axis, float angle) {
  const float x = axis->x, y = axis->y, z = axis->z;
  float s, c;
  stdMath_SinCos(angle, &s, &c);
  const float t = 1.0f - c;
  if (std::fabs(1.0f - z) <= 0.00001f) {
    out->x = {c, s, 0};
    out->y = {-s, c, 0};
    out->z = {0, 0, 1};
  } else if (std::fabs(z + 1.0f) <= 0.00001f) {
    out->x = {c, -s, 0};
    out->y = {s, c, 0};
    out->z = {0, 0, 1};
  } else {
    const float x2 = x * x, y2 = y * y;
    const float w = 1.0f - x2 - y2;
    out->x = {(y2 * c + x2 * c * w) / (1.0f - w) + x2, t * x * y + s * z, t * x * z - s * y};
    out->y = {t * x * y - s * z, (x2 * c + y2 * c * w) / (1.0f - w) + y2, t * y * z + s * x};
    out->z = {t * x * z + s * y, t * y * z - s * x, (x2 + y2) * c + w};
  }
  out->t = {0, 0, 0};
}

void qxMatrix34_BuildFromLookVector(qxMatrix34* out, const qxVector3* look) {
  const qxVector3 l = *look;
  const qxVector3 up = {0, 0, 1};
  out->y = l;
  qxVector3_Cross(&out->x, &l, &up);
  if (qxVector3_NormalizeInPlace(&out->x) == 0.0f) {
    // Looking straight up or down: take the side axis from +x.
    const qxVector3 right = {1, 0, 0};
    qxVector3_Cross(&out->z, &right, &l);
    qxVector3_NormalizeInPlace(&out->z);
    qxVector3_Cross(&out->x, &l, &out->z);
  } else {
    qxVector3_Cross(&out->z, &out->x, &l);
  }
}

void qxMatrix34_BuildLookAt(qxMatrix34* out, const qxVector3* eye, const qxVector3* target,
                            float roll) {
  const qxVector3 e = *eye;
  qxVector3 y;
  qxVector3_Sub(&y, target, &e);
  qxVector3_NormalizeInPlace(&y);
  qxMatrix34 q;
  qxMatrix34_BuildFromAxisAngle(&q, &y, roll);
  qxVector3 u;
  if (std::fabs(y.z) <= 0.999f) {
    u = {0, 0, 1};
  } else if (y.z <= 0.0f) {
    u = {0, 1, 0};  // looking down
  } else {
    u = {0, -1, 0};  // looking up
  }
  const qxVector3 up = Rotate(q, u);
  qxVector3 x, z;
  qxVector3_Cross(&x, &y, &up);
  qxVector3_NormalizeInPlace(&x);
  qxVector3_Cross(&z, &x, &y);
  qxVector3_NormalizeInPlace(&z);
  out->x = x;
  out->y = y;
  out->z = z;
  out->t = e;
}

void qxMatrix34_ExtractAngles(const qxMatrix34* m, qxVector3* angles) {
  const qxVector3 X = m->x, Y = m->y;
  const float h = std::sqrt(Y.x * Y.x + Y.y * Y.y);
  float pitch, yaw, roll;
  if (h >= 0.001f) {
    yaw = ArcCos(Y.y / h);
    if (Y.x > 0.0f) yaw = -yaw;
    // Pitch and roll are taken from the ratio of their sine and cosine terms
    // (the library's arctangent), not from an arc cosine of h and of the
    // roll term: the sine table's mirrored cosine leaves sin^2 + cos^2 about
    // 2e-4 below 1, and an arc cosine near 1 turns that into a degree of
    // false pitch or roll for a level matrix. The ratio cancels it.
    const float cross = X.x * Y.y - X.y * Y.x;  // cos(pitch) cos(roll), up to table error
    pitch = -stdMath_ArcTan4(h, std::fabs(Y.z));
    roll = -stdMath_ArcTan4(cross, -X.z);
  } else {
    pitch = 90.0f;
    yaw = 0.0f;
    // The angle of X in the horizontal plane, negated when X.y and Y.z lie
    // on opposite sides of 0 (from the arctangent for the same reason).
    roll = -stdMath_ArcTan4(X.x, X.y);
    if (Y.z < 0.0f) roll = -roll;
  }
  if (Y.z < 0.0f) pitch = -pitch;
  angles->x = pitch;
  angles->y = yaw;
  angles->z = roll;
}

void qxMatrix34_Normalize(qxMatrix34* m) {
  qxVector3_Cross(&m->z, &m->x, &m->y);
  qxVector3_NormalizeInPlace(&m->y);
  qxVector3_NormalizeInPlace(&m->z);
  qxVector3_Cross(&m->x, &m->y, &m->z);
}

void qxMatrix34_InvertOrtho(qxMatrix34* out, const qxMatrix34* in) {
  const qxMatrix34 a = *in;
  out->x = {a.x.x, a.y.x, a.z.x};
  out->y = {a.x.y, a.y.y, a.z.y};
  out->z = {a.x.z, a.y.z, a.z.z};
  out->t = {-qxVector3_Dot(&a.x, &a.t), -qxVector3_Dot(&a.y, &a.t), -qxVector3_Dot(&a.z, &a.t)};
}

// Each column of the product is (A.x * b.x + A.y * b.y) + A.z * b.z (plus A.t
// for the translation), worked out for its three rows at once in the lanes of
// one SSE register: the same single-precision operations in the same order
// as Rotate, so the results are the same to the bit.
void qxMatrix34_Multiply(qxMatrix34* out, const qxMatrix34* a, const qxMatrix34* b) {
  const float* pa = &a->x.x;
  const float* pb = &b->x.x;
  // Columns of A, four floats from each start (the fourth lane is unused);
  // A.t has no float after it, so it is loaded as three.
  const __m128 ax = _mm_loadu_ps(pa);
  const __m128 ay = _mm_loadu_ps(pa + 3);
  const __m128 az = _mm_loadu_ps(pa + 6);
  const __m128 at = _mm_setr_ps(pa[9], pa[10], pa[11], 0.0f);
  __m128 column[4];
  for (int c = 0; c < 4; ++c) {
    const float* v = pb + 3 * c;
    column[c] =
        _mm_add_ps(_mm_add_ps(_mm_mul_ps(ax, _mm_set1_ps(v[0])), _mm_mul_ps(ay, _mm_set1_ps(v[1]))),
                   _mm_mul_ps(az, _mm_set1_ps(v[2])));
  }
  column[3] = _mm_add_ps(column[3], at);
  // Everything is read before anything is written (out may be a or b). The
  // columns go out in order, each four-float store's last lane overwritten by
  // the next column; the translation, last, is stored as three floats.
  float* po = &out->x.x;
  _mm_storeu_ps(po, column[0]);
  _mm_storeu_ps(po + 3, column[1]);
  _mm_storeu_ps(po + 6, column[2]);
  _mm_storel_pi(reinterpret_cast<__m64*>(po + 9), column[3]);
  _mm_store_ss(po + 11, _mm_movehl_ps(column[3], column[3]));
}

void qxMatrix34_PostMultiply(qxMatrix34* m, const qxMatrix34* other) {
  qxMatrix34_Multiply(m, m, other);
}

void qxMatrix34_PreMultiply(qxMatrix34* m, const qxMatrix34* other) {
  qxMatrix34_Multiply(m, other, m);
}

void qxMatrix34_PostRotate(qxMatrix34* m, const qxVector3* angles) {
  qxMatrix34 r;
  qxMatrix34_BuildRotate(&r, angles);
  qxMatrix34_Multiply(m, m, &r);
}

void qxMatrix34_PreRotate(qxMatrix34* m, const qxVector3* angles) {
  qxMatrix34 r;
  qxMatrix34_BuildRotate(&r, angles);
  qxMatrix34_Multiply(m, &r, m);
}

void qxMatrix34_PostTranslate(qxMatrix34* m, const qxVector3* v) {
  m->t = Add(m->t, Rotate(*m, *v));
}

void qxMatrix34_PreTranslate(qxMatrix34* m, const qxVector3* v) {
  m->t = Add(m->t, *v);
}

void qxMatrix34_PostScale(qxMatrix34* m, const qxVector3* v) {
  const qxVector3 s = *v;
  qxVector3_ScaleInPlace(&m->x, s.x);
  qxVector3_ScaleInPlace(&m->y, s.y);
  qxVector3_ScaleInPlace(&m->z, s.z);
}

void qxMatrix34_PreScale(qxMatrix34* m, const qxVector3* v) {
  const qxVector3 s = *v;
  for (qxVector3* c : {&m->x, &m->y, &m->z, &m->t}) {
    c->x *= s.x;
    c->y *= s.y;
    c->z *= s.z;
  }
}

void qxMatrix34_SetColumn(qxMatrix34* m, int index, const qxVector3* v) {
  if (qxVector3* c = Column(m, index)) *c = *v;
}

void qxMatrix34_GetColumn(const qxMatrix34* m, int index, qxVector3* v) {
  if (const qxVector3* c = Column(const_cast<qxMatrix34*>(m), index)) *v = *c;
}

void qxMatrix34_TransformVector(qxVector3* out, const qxVector3* v, const qxMatrix34* m) {
  *out = Rotate(*m, *v);
}

void qxMatrix34_TransformVectorInPlace(qxVector3* v, const qxMatrix34* m) {
  *v = Rotate(*m, *v);
}

void qxMatrix34_InvTransformVector(qxVector3* out, const qxVector3* v, const qxMatrix34* m) {
  const qxVector3 r = {qxVector3_Dot(&m->x, v), qxVector3_Dot(&m->y, v), qxVector3_Dot(&m->z, v)};
  *out = r;
}

void qxMatrix34_TransformPoint(qxVector3* out, const qxVector3* p, const qxMatrix34* m) {
  *out = Add(Rotate(*m, *p), m->t);
}

void qxMatrix34_TransformPointInPlace(qxVector3* p, const qxMatrix34* m) {
  *p = Add(Rotate(*m, *p), m->t);
}

void qxMatrix34_TransformPointList(const qxMatrix34* m, const qxVector3* in, qxVector3* out,
                                   int count) {
  const qxMatrix34 M = *m;
  for (int i = 0; i < count; ++i) out[i] = Add(Rotate(M, in[i]), M.t);
}

void qxMatrix34_FromMatrix44(qxMatrix34* out, const qxMatrix44* in) {
  const qxMatrix44 a = *in;
  out->x = {a.m[0], a.m[1], a.m[2]};
  out->y = {a.m[4], a.m[5], a.m[6]};
  out->z = {a.m[8], a.m[9], a.m[10]};
  out->t = {a.m[12], a.m[13], a.m[14]};
}

// ---- 4 x 4 ----

void qxMatrix44_Identity(qxMatrix44* m) {
  *m = qxMatrix44_identity;
}

void qxMatrix44_Copy(qxMatrix44* out, const qxMatrix44* in) {
  *out = *in;
}

void qxMatrix44_FromMatrix34(qxMatrix44* out, const qxMatrix34* in) {
  const qxMatrix34 a = *in;
  *out = {{a.x.x, a.x.y, a.x.z, 0, a.y.x, a.y.y, a.y.z, 0, a.z.x, a.z.y, a.z.z, 0, a.t.x, a.t.y,
           a.t.z, 1}};
}

void qxMatrix44_Build(qxMatrix44* out, const qxVector3* angles, const qxVector3* position) {
  qxMatrix34 m;
  qxMatrix34_Build(&m, angles, position);
  qxMatrix44_FromMatrix34(out, &m);
}

void qxMatrix44_BuildRotate(qxMatrix44* out, const qxVector3* angles) {
  qxMatrix34 m;
  qxMatrix34_BuildRotate(&m, angles);
  qxMatrix44_FromMatrix34(out, &m);
}

void qxMatrix44_BuildTranslate(qxMatrix44* out, const qxVector3* v) {
  const qxVector3 p = *v;
  *out = qxMatrix44_identity;
  out->m[12] = p.x;
  out->m[13] = p.y;
  out->m[14] = p.z;
}

void qxMatrix44_BuildScale(qxMatrix44* out, const qxVector3* v) {
  const qxVector3 s = *v;
  *out = {{s.x, 0, 0, 0, 0, s.y, 0, 0, 0, 0, s.z, 0, 0, 0, 0, 1}};
}

void qxMatrix44_Transpose(qxMatrix44* out, const qxMatrix44* in) {
  const qxMatrix44 a = *in;
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r) out->m[4 * c + r] = a.m[4 * r + c];
}

void qxMatrix44_Multiply(qxMatrix44* out, const qxMatrix44* a, const qxMatrix44* b) {
  const qxMatrix44 A = *a, B = *b;
  for (int c = 0; c < 4; ++c) {
    for (int r = 0; r < 4; ++r) {
      float sum = 0.0f;
      for (int k = 0; k < 4; ++k) sum += A.m[4 * k + r] * B.m[4 * c + k];
      out->m[4 * c + r] = sum;
    }
  }
}

void qxMatrix44_PostMultiply(qxMatrix44* m, const qxMatrix44* other) {
  qxMatrix44_Multiply(m, m, other);
}

void qxMatrix44_PreMultiply(qxMatrix44* m, const qxMatrix44* other) {
  qxMatrix44_Multiply(m, other, m);
}

void qxMatrix44_PostRotate(qxMatrix44* m, const qxVector3* angles) {
  qxMatrix44 r;
  qxMatrix44_BuildRotate(&r, angles);
  qxMatrix44_Multiply(m, m, &r);
}

void qxMatrix44_PreRotate(qxMatrix44* m, const qxVector3* angles) {
  qxMatrix44 r;
  qxMatrix44_BuildRotate(&r, angles);
  qxMatrix44_Multiply(m, &r, m);
}

void qxMatrix44_PostTranslate(qxMatrix44* m, const qxVector3* v) {
  qxMatrix44 t;
  qxMatrix44_BuildTranslate(&t, v);
  qxMatrix44_Multiply(m, m, &t);
}

void qxMatrix44_PreTranslate(qxMatrix44* m, const qxVector3* v) {
  m->m[12] += v->x;
  m->m[13] += v->y;
  m->m[14] += v->z;
}

void qxMatrix44_PostScale(qxMatrix44* m, const qxVector3* v) {
  qxMatrix44 s;
  qxMatrix44_BuildScale(&s, v);
  qxMatrix44_Multiply(m, m, &s);
}

void qxMatrix44_PreScale(qxMatrix44* m, const qxVector3* v) {
  qxMatrix44 s;
  qxMatrix44_BuildScale(&s, v);
  qxMatrix44_Multiply(m, &s, m);
}

void qxMatrix44_SetColumn(qxMatrix44* m, int index, const qxVector4* v) {
  if (index < 0 || index > 3) return;
  const qxVector4 c = *v;
  m->m[4 * index + 0] = c.x;
  m->m[4 * index + 1] = c.y;
  m->m[4 * index + 2] = c.z;
  m->m[4 * index + 3] = c.w;
}

void qxMatrix44_GetColumn(const qxMatrix44* m, int index, qxVector3* out) {
  if (index < 0 || index > 3) return;
  *out = {m->m[4 * index + 0], m->m[4 * index + 1], m->m[4 * index + 2]};
}

void qxMatrix44_TransformVector(qxVector4* out, const qxVector4* v, const qxMatrix44* m) {
  const qxVector4 a = *v;
  const float* e = m->m;
  const qxVector4 r = {e[0] * a.x + e[4] * a.y + e[8] * a.z + e[12] * a.w,
                       e[1] * a.x + e[5] * a.y + e[9] * a.z + e[13] * a.w,
                       e[2] * a.x + e[6] * a.y + e[10] * a.z + e[14] * a.w,
                       e[3] * a.x + e[7] * a.y + e[11] * a.z + e[15] * a.w};
  *out = r;
}

void qxMatrix44_TransformVectorInPlace(qxVector4* v, const qxMatrix44* m) {
  qxMatrix44_TransformVector(v, v, m);
}

void qxMatrix44_TransformPoint(qxVector4* out, const qxVector3* p, const qxMatrix44* m) {
  const qxVector4 a = {p->x, p->y, p->z, 1.0f};
  qxMatrix44_TransformVector(out, &a, m);
}

void qxMatrix44_TransformPointInPlace(qxVector4* p, const qxMatrix44* m) {
  const qxVector3 a = {p->x, p->y, p->z};
  qxMatrix44_TransformPoint(p, &a, m);
}

void qxMatrix44_TransformPointList(const qxMatrix44* m, const qxVector4* in, qxVector4* out,
                                   int count) {
  const qxMatrix44 M = *m;
  const float* e = M.m;
  for (int i = 0; i < count; ++i) {
    const qxVector4 a = in[i];
    out[i].x = e[0] * a.x + e[4] * a.y + e[8] * a.z + e[12];
    out[i].y = e[1] * a.x + e[5] * a.y + e[9] * a.z + e[13];
    out[i].z = e[2] * a.x + e[6] * a.y + e[10] * a.z + e[14];
  }
}
