// Placeholder: not built yet (the 3D library's primitives build this module).
// No line is drawn: the results say so.
#include "quadrix/qxPrimitive.h"

int qxPrimitive_DrawLine2(qxCanvas* /*canvas*/, int /*x0*/, int /*y0*/, int /*x1*/, int /*y1*/,
                          int /*colour*/, int /*pattern*/) {
  return 0;
}

int qxPrimitive_DrawLine2Clipped(qxCanvas* /*canvas*/, int /*x0*/, int /*y0*/, int /*x1*/,
                                 int /*y1*/, int /*colour*/, int /*pattern*/) {
  return 0;
}
