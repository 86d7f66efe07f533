// What the demo's box meshes share: corner i of a box lies at max on the
// axes whose bit is set (x = 1, y = 2, z = 4), and its normal points out of
// the box along the corner's diagonal, so the set's lights shade each face
// from corner to corner.
#pragma once

#include "quadrix/qxVector.h"

namespace demodata {

// The light a vertex has of its own, before the set's lights add theirs:
// low enough that they show, so faces arrive lit and not saturated.
inline constexpr float kBaseIntensity = 0.3f;

inline qxVector3 BoxCornerNormal(int corner) {
  constexpr float k = 0.57735027f;  // 1 / sqrt(3)
  return {corner & 1 ? k : -k, corner & 2 ? k : -k, corner & 4 ? k : -k};
}

}  // namespace demodata
