// The small vector operations as values, for code that computes with vectors
// in expressions (the pointer forms in qxVector.h suit the tables that hold
// vectors in place). Each is the plain component-wise sum in x, y, z order.
#pragma once

#include <cmath>

#include "quadrix/qxVector.h"

namespace qxv {

inline qxVector3 Add(const qxVector3& a, const qxVector3& b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline qxVector3 Sub(const qxVector3& a, const qxVector3& b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline qxVector3 Scale(const qxVector3& a, float s) {
  return {a.x * s, a.y * s, a.z * s};
}
inline qxVector3 Cross(const qxVector3& a, const qxVector3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline float Dot(const qxVector3& a, const qxVector3& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline float Length(const qxVector3& a) {
  return std::sqrt(Dot(a, a));
}

}  // namespace qxv
