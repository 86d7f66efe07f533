// Small geometry routines of the 3D library: distances, angles between unit
// vectors, collinearity and triangle normals. Used by the model
// post-processing and the lighting.
#pragma once

#include "quadrix/qxVector.h"

// (p - q) . n: positive on the side the normal points to.
float qxMath_DistancePointPlane(const qxVector3* p, const qxVector3* n, const qxVector3* q);
// Angle in degrees between unit vectors: 0 when a . b is exactly 1.
float qxMath_AngleBetween(const qxVector3* a, const qxVector3* b);
// As above with a sign: positive when (a x b) . axis > 0; 0 and 180 exactly at the ends.
float qxMath_SignedAngleBetween(const qxVector3* a, const qxVector3* b, const qxVector3* axis);
// 1 when the directions a->b and a->c are parallel or opposite (|u . w| in [0.999, 1.001]).
int qxMath_PointsCollinear(const qxVector3* a, const qxVector3* b, const qxVector3* c);
// Squared distance from p to the segment a-b.
float qxMath_DistSqPointSegment(const qxVector3* p, const qxVector3* a, const qxVector3* b);
// Unit normal of the triangle a, b, c; zero for a degenerate triangle.
void qxMath_FaceNormal(qxVector3* out, const qxVector3* a, const qxVector3* b, const qxVector3* c);

// The two steps of both: the unit edges u (a to b) and w (a to c), a zero
// edge left zero; then the collinearity test and the normal of those edges.
// A caller that needs both (the face normals of a model) makes the edges once.
struct qxUnitEdges {
  qxVector3 u, w;
};
inline qxUnitEdges qxMath_UnitEdges(const qxVector3* a, const qxVector3* b, const qxVector3* c) {
  qxUnitEdges e;
  qxVector3_Sub(&e.u, b, a);
  qxVector3_Sub(&e.w, c, a);
  qxVector3_NormalizeInPlace(&e.u);
  qxVector3_NormalizeInPlace(&e.w);
  return e;
}
inline int qxMath_UnitEdgesCollinear(const qxUnitEdges& e) {
  const float d = std::fabs(qxVector3_Dot(&e.u, &e.w));
  return (d >= 0.999f && d <= 1.001f) ? 1 : 0;
}
inline void qxMath_UnitEdgesNormal(qxVector3* out, const qxUnitEdges& e) {
  qxVector3_Cross(out, &e.u, &e.w);
  qxVector3_NormalizeInPlace(out);
  qxVector3_ZeroTiny(out, 0.000001f);
}
