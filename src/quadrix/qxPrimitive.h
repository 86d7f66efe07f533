// 3D and 2D primitives.
// Placeholder: not built yet (the 3D library's primitives build this module);
// only the operations that other modules already call are declared here.
#pragma once

#include <cstdint>

#include "quadrix/qxVector.h"

struct qxCanvas;

// A projected point: pixels truncated toward zero, depth in camera space.
struct qxScreenPoint {
  int32_t x;
  int32_t y;
  float depth;
};

int qxPrimitive_DrawLine2(qxCanvas* canvas, int x0, int y0, int x1, int y1, int colour,
                          int pattern);
int qxPrimitive_DrawLine2Clipped(qxCanvas* canvas, int x0, int y0, int x1, int y1, int colour,
                                 int pattern);
// Not built yet: answers 0 (nothing drawn, nothing projected).
int qxPrimitive_DrawLine3(const qxVector3* a, const qxVector3* b, qxScreenPoint* outA,
                          qxScreenPoint* outB, int* movedA, int* movedB, int colour, int pattern);
int qxPrimitive_ProjectPoint3(const qxVector3* point, qxScreenPoint* out);
