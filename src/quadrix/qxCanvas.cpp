#include "quadrix/qxCanvas.h"

#include <cstring>

#include "quadrix/qxCore.h"
#include "std/stdDisplay.h"

qxCanvas* qxCanvas_New(int32_t flags, DisplayBuffer* videoBuffer, DisplayBuffer* zBuffer,
                       int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t zShift) {
  auto* canvas = static_cast<qxCanvas*>(qxCore_Alloc(sizeof(qxCanvas), "qxCanvas", __LINE__));
  if (!canvas) return nullptr;
  std::memset(canvas, 0, sizeof *canvas);
  qxCanvas_NewEntry(canvas, flags, videoBuffer, zBuffer, x0, y0, x1, y1, zShift);
  return canvas;
}

int qxCanvas_NewEntry(qxCanvas* canvas, int32_t flags, DisplayBuffer* videoBuffer,
                      DisplayBuffer* zBuffer, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                      int32_t zShift) {
  canvas->flags = flags;
  canvas->videoBuffer = videoBuffer;
  canvas->zBuffer = zBuffer;
  canvas->zShift = zShift;
  if (flags & QXCANVAS_EXPLICIT_RECT) {
    canvas->rectLeft = x0;
    canvas->rectTop = y0;
    canvas->rectRight = x1;
    canvas->rectBottom = y1;
  } else {
    canvas->rectLeft = 0;
    canvas->rectTop = 0;
    canvas->rectRight = videoBuffer ? videoBuffer->format.width - 1 : -1;
    canvas->rectBottom = videoBuffer ? videoBuffer->format.height - 1 : -1;
  }
  canvas->centreX =
      static_cast<float>(canvas->rectRight - canvas->rectLeft + 1) * 0.5f + canvas->rectLeft;
  canvas->centreY =
      static_cast<float>(canvas->rectBottom - canvas->rectTop + 1) * 0.5f + canvas->rectTop;
  return 1;
}

void qxCanvas_FreeEntry(qxCanvas*) {}

void qxCanvas_Free(qxCanvas* canvas) {
  if (canvas) qxCore_Free(canvas);
}
