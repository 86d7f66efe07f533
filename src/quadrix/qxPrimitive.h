// 3D and 2D primitives.
// Placeholder: not built yet (the 3D library's primitives build this module);
// only the software back end's line operations are declared here.
#pragma once

struct qxCanvas;

int qxPrimitive_DrawLine2(qxCanvas* canvas, int x0, int y0, int x1, int y1, int colour,
                          int pattern);
int qxPrimitive_DrawLine2Clipped(qxCanvas* canvas, int x0, int y0, int x1, int y1, int colour,
                                 int pattern);
