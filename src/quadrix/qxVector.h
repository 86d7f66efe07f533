// Small vectors of the 3D library: 2, 3 and 4 components of floats.
//
// Every function takes pointers, and an output may be the same vector as an
// input. Set and the in-place forms (Neg, Add, Sub, Cross, Scale, Divide,
// Rotate) return their first argument; the normalizations return a length.
// A qxVector3 is also an angle triple (pitch, yaw, roll) in degrees.
#pragma once

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

// 3 components
qxVector3* qxVector3_Set(qxVector3* v, float x, float y, float z);
void qxVector3_Copy(qxVector3* dst, const qxVector3* src);
void qxVector3_Neg(qxVector3* out, const qxVector3* in);
qxVector3* qxVector3_NegInPlace(qxVector3* v);
void qxVector3_Add(qxVector3* out, const qxVector3* a, const qxVector3* b);
qxVector3* qxVector3_AddInPlace(qxVector3* a, const qxVector3* b);
void qxVector3_Sub(qxVector3* out, const qxVector3* a, const qxVector3* b);
qxVector3* qxVector3_SubInPlace(qxVector3* a, const qxVector3* b);
float qxVector3_Dot(const qxVector3* a, const qxVector3* b);
void qxVector3_Cross(qxVector3* out, const qxVector3* a, const qxVector3* b);
qxVector3* qxVector3_CrossInPlace(qxVector3* a, const qxVector3* b);
float qxVector3_Len(const qxVector3* v);
// Length 0 copies the input unchanged and returns 0.
float qxVector3_Normalize(qxVector3* out, const qxVector3* in);
float qxVector3_NormalizeInPlace(qxVector3* v);
// Approximate length L = largest + 0.34375 middle + 0.25 smallest magnitude,
// then v x (1 / L). A zero vector is left unchanged and 0 returned.
float qxVector3_NormalizeFast(qxVector3* out, const qxVector3* in);
float qxVector3_NormalizeFastInPlace(qxVector3* v);
void qxVector3_Scale(qxVector3* out, const qxVector3* in, float s);
qxVector3* qxVector3_ScaleInPlace(qxVector3* v, float s);
void qxVector3_Divide(qxVector3* out, const qxVector3* in, float s);
qxVector3* qxVector3_DivideInPlace(qxVector3* v, float s);
// Rotation by the matrix of the angle triple (pitch, yaw, roll).
void qxVector3_Rotate(qxVector3* out, const qxVector3* in, const qxVector3* angles);
qxVector3* qxVector3_RotateInPlace(qxVector3* v, const qxVector3* angles);
// Angles of a unit direction: pitch = ArcSin3(z), yaw = ArcTan4(y, x), roll 0.
void qxVector3_ExtractAngles(const qxVector3* direction, qxVector3* angles);
// Sets each component whose magnitude is below the threshold to 0.
void qxVector3_ZeroTiny(qxVector3* v, float threshold);

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
