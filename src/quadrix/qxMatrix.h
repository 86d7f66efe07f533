// Transforms of the 3D library.
//
// qxMatrix34 is rotation plus translation: the X axis (right), the Y axis
// (forward, the look direction), the Z axis (up) and the translation T, twelve
// packed floats (the hardware renderer and the model files read it raw). A
// point p maps to p.x X + p.y Y + p.z Z + T; a direction uses the rotation only.
//
// Angle triples are (pitch, yaw, roll) in degrees with R = Rz(yaw) Rx(pitch)
// Ry(roll): roll about the forward axis first, then pitch about the right
// axis, then yaw about the up axis. Sines and cosines come from the general
// library's tables, so results are of table precision (about 1e-3).
//
// Products a x b apply b first. Post operations multiply on the right (act in
// the matrix's own frame), Pre operations on the left (act in the parent
// frame). Every function may be given the same matrix or vector as output and
// input: products and inversions copy their inputs first.
//
// qxMatrix44 is a parallel column-major 4 x 4 family (element 4c + r is row r
// of column c).
#pragma once

#include "quadrix/qxVector.h"

struct qxMatrix34 {
  qxVector3 x;  // right
  qxVector3 y;  // forward
  qxVector3 z;  // up
  qxVector3 t;  // translation
};
static_assert(sizeof(qxMatrix34) == 48, "qxMatrix34 must stay twelve packed floats");

struct qxMatrix44 {
  float m[16];
};
static_assert(sizeof(qxMatrix44) == 64);

extern const qxMatrix34 qxMatrix34_identity;
extern const qxMatrix44 qxMatrix44_identity;

// ---- 3 x 4 ----
void qxMatrix34_Identity(qxMatrix34* m);
void qxMatrix34_Copy(qxMatrix34* out, const qxMatrix34* in);
void qxMatrix34_Build(qxMatrix34* out, const qxVector3* angles, const qxVector3* position);
void qxMatrix34_BuildRotate(qxMatrix34* out, const qxVector3* angles);
// Rotation Ry(roll) Rx(pitch) Rz(yaw): the three turns in the reverse order.
void qxMatrix34_BuildRotateReverse(qxMatrix34* out, const qxVector3* angles);
// Rotation transposed from Build's; translation minus the position (not rotated).
void qxMatrix34_BuildInverse(qxMatrix34* out, const qxVector3* angles, const qxVector3* position);
void qxMatrix34_BuildTranslate(qxMatrix34* out, const qxVector3* v);
void qxMatrix34_BuildScale(qxMatrix34* out, const qxVector3* v);
// Rotation by the angle about a unit axis, counter-clockwise seen from its tip.
void qxMatrix34_BuildFromAxisAngle(qxMatrix34* out, const qxVector3* axis, float angle);
// Axes from a unit forward vector; the translation is not written.
void qxMatrix34_BuildFromLookVector(qxMatrix34* out, const qxVector3* look);
// Camera-style placement at eye looking at target, rolled about the look axis.
void qxMatrix34_BuildLookAt(qxMatrix34* out, const qxVector3* eye, const qxVector3* target,
                            float roll);
void qxMatrix34_ExtractAngles(const qxMatrix34* m, qxVector3* angles);
// Re-orthonormalizes keeping the forward direction.
void qxMatrix34_Normalize(qxMatrix34* m);
// Inverse of a rotation-plus-translation matrix.
void qxMatrix34_InvertOrtho(qxMatrix34* out, const qxMatrix34* in);
void qxMatrix34_Multiply(qxMatrix34* out, const qxMatrix34* a, const qxMatrix34* b);
void qxMatrix34_PostMultiply(qxMatrix34* m, const qxMatrix34* other);
void qxMatrix34_PreMultiply(qxMatrix34* m, const qxMatrix34* other);
void qxMatrix34_PostRotate(qxMatrix34* m, const qxVector3* angles);
void qxMatrix34_PreRotate(qxMatrix34* m, const qxVector3* angles);
void qxMatrix34_PostTranslate(qxMatrix34* m, const qxVector3* v);
void qxMatrix34_PreTranslate(qxMatrix34* m, const qxVector3* v);
void qxMatrix34_PostScale(qxMatrix34* m, const qxVector3* v);
void qxMatrix34_PreScale(qxMatrix34* m, const qxVector3* v);
// Column 0 X, 1 Y, 2 Z, 3 translation.
void qxMatrix34_SetColumn(qxMatrix34* m, int index, const qxVector3* v);
void qxMatrix34_GetColumn(const qxMatrix34* m, int index, qxVector3* v);
void qxMatrix34_TransformVector(qxVector3* out, const qxVector3* v, const qxMatrix34* m);
void qxMatrix34_TransformVectorInPlace(qxVector3* v, const qxMatrix34* m);
// R^T v: (X . v, Y . v, Z . v).
void qxMatrix34_InvTransformVector(qxVector3* out, const qxVector3* v, const qxMatrix34* m);
void qxMatrix34_TransformPoint(qxVector3* out, const qxVector3* p, const qxMatrix34* m);
void qxMatrix34_TransformPointInPlace(qxVector3* p, const qxMatrix34* m);
void qxMatrix34_TransformPointList(const qxMatrix34* m, const qxVector3* in, qxVector3* out,
                                   int count);
// The first three rows of the four columns.
void qxMatrix34_FromMatrix44(qxMatrix34* out, const qxMatrix44* in);

// ---- 4 x 4 ----
void qxMatrix44_Identity(qxMatrix44* m);
void qxMatrix44_Copy(qxMatrix44* out, const qxMatrix44* in);
void qxMatrix44_Build(qxMatrix44* out, const qxVector3* angles, const qxVector3* position);
void qxMatrix44_BuildRotate(qxMatrix44* out, const qxVector3* angles);
void qxMatrix44_BuildTranslate(qxMatrix44* out, const qxVector3* v);
void qxMatrix44_BuildScale(qxMatrix44* out, const qxVector3* v);
void qxMatrix44_FromMatrix34(qxMatrix44* out, const qxMatrix34* in);
void qxMatrix44_Transpose(qxMatrix44* out, const qxMatrix44* in);
void qxMatrix44_Multiply(qxMatrix44* out, const qxMatrix44* a, const qxMatrix44* b);
void qxMatrix44_PostMultiply(qxMatrix44* m, const qxMatrix44* other);
void qxMatrix44_PreMultiply(qxMatrix44* m, const qxMatrix44* other);
void qxMatrix44_PostRotate(qxMatrix44* m, const qxVector3* angles);
void qxMatrix44_PreRotate(qxMatrix44* m, const qxVector3* angles);
void qxMatrix44_PostTranslate(qxMatrix44* m, const qxVector3* v);
void qxMatrix44_PreTranslate(qxMatrix44* m, const qxVector3* v);
void qxMatrix44_PostScale(qxMatrix44* m, const qxVector3* v);
void qxMatrix44_PreScale(qxMatrix44* m, const qxVector3* v);
void qxMatrix44_SetColumn(qxMatrix44* m, int index, const qxVector4* v);
// Reads the first three floats of the column.
void qxMatrix44_GetColumn(const qxMatrix44* m, int index, qxVector3* out);
void qxMatrix44_TransformVector(qxVector4* out, const qxVector4* v, const qxMatrix44* m);
void qxMatrix44_TransformVectorInPlace(qxVector4* v, const qxMatrix44* m);
// M (p, 1).
void qxMatrix44_TransformPoint(qxVector4* out, const qxVector3* p, const qxMatrix44* m);
// p := M (p.x, p.y, p.z, 1); the input's fourth component is ignored.
void qxMatrix44_TransformPointInPlace(qxVector4* p, const qxMatrix44* m);
// out[i].xyz := first three rows of M (in[i].xyz, 1); out[i].w is not written.
void qxMatrix44_TransformPointList(const qxMatrix44* m, const qxVector4* in, qxVector4* out,
                                   int count);
