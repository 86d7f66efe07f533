// A canvas: a rectangle of a video buffer with its 16-bit z-buffer, drawn
// into through the current camera.
#pragma once

#include <cstdint>

struct DisplayBuffer;

enum : int32_t {
  QXCANVAS_EXPLICIT_RECT = 0x1,  // the rectangle was given, not the whole buffer
  QXCANVAS_CLEAR_ZBUFFER = 0x2,  // clear the z-buffer at frame start (render flag 0x100)
};

struct qxCanvas {
  int32_t flags;
  DisplayBuffer* videoBuffer;  // not owned
  float centreX, centreY;      // projection centre in pixels
  DisplayBuffer* zBuffer;      // 16-bit depths; not owned
  int32_t zShift;              // right shift applied to depth values before storing
  int32_t rectLeft, rectTop, rectRight, rectBottom;  // inclusive
};

qxCanvas* qxCanvas_New(int32_t flags, DisplayBuffer* videoBuffer, DisplayBuffer* zBuffer,
                       int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t zShift);
int qxCanvas_NewEntry(qxCanvas* canvas, int32_t flags, DisplayBuffer* videoBuffer,
                      DisplayBuffer* zBuffer, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                      int32_t zShift);
void qxCanvas_FreeEntry(qxCanvas* canvas);
// Frees the record, not the buffers; null is ignored.
void qxCanvas_Free(qxCanvas* canvas);
