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
