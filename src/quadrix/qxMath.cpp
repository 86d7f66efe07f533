#include "quadrix/qxMath.h"

#include <cmath>

#include "std/stdMath.h"

float qxMath_DistancePointPlane(const qxVector3* p, const qxVector3* n, const qxVector3* q) {
  qxVector3 d;
  qxVector3_Sub(&d, p, q);
  return qxVector3_Dot(&d, n);
}

float qxMath_AngleBetween(const qxVector3* a, const qxVector3* b) {
  const float d = qxVector3_Dot(a, b);
  if (d == 1.0f) return 0.0f;
  return 90.0f - stdMath_ArcSin1(d);
}

float qxMath_SignedAngleBetween(const qxVector3* a, const qxVector3* b, const qxVector3* axis) {
  float d = qxVector3_Dot(a, b);
  if (d > 1.0f) d = 1.0f;
  if (d < -1.0f) d = -1.0f;
  if (d == 1.0f) return 0.0f;
  if (d == -1.0f) return 180.0f;
  const float angle = 90.0f - stdMath_ArcSin1(d);
  qxVector3 c;
  qxVector3_Cross(&c, a, b);
  return qxVector3_Dot(&c, axis) > 0.0f ? angle : -angle;
}

int qxMath_PointsCollinear(const qxVector3* a, const qxVector3* b, const qxVector3* c) {
  return qxMath_UnitEdgesCollinear(qxMath_UnitEdges(a, b, c));
}

float qxMath_DistSqPointSegment(const qxVector3* p, const qxVector3* a, const qxVector3* b) {
  qxVector3 d, e;
  qxVector3_Sub(&d, p, a);
  qxVector3_Sub(&e, b, a);
  const float m = qxVector3_Dot(&d, &e);
  if (m <= 0.0f) return qxVector3_Dot(&d, &d);
  const float ee = qxVector3_Dot(&e, &e);
  if (m >= ee) {
    qxVector3 pb;
    qxVector3_Sub(&pb, p, b);
    return qxVector3_Dot(&pb, &pb);
  }
  return qxVector3_Dot(&d, &d) - m * m / ee;
}

void qxMath_FaceNormal(qxVector3* out, const qxVector3* a, const qxVector3* b, const qxVector3* c) {
  qxMath_UnitEdgesNormal(out, qxMath_UnitEdges(a, b, c));
}
