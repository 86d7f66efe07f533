// The family without depth buffer: perspective-textured faces. Their right
// edges are stepped by qxRaster_StepEdgeRight and qxRaster_StepGouraudEdgeRight.
#include "raster/qxRaster_Internal.h"
#include "raster/qxZRaster.h"

void qxRaster_SetupPerspGradients(float minDepth) {
  qxraster::SetupPersp(qxRaster_state, false, minDepth);
}

QXRASTER_FACE(qxRaster_DrawPerspUnlit, false, Unlit, false, false, Persp)
QXRASTER_FACE(qxRaster_DrawPerspUnlitTrans, false, Unlit, true, false, Persp)
QXRASTER_FACE(qxRaster_DrawPerspUnlitKeyed, false, Unlit, false, true, Persp)
QXRASTER_FACE(qxRaster_DrawPerspUnlitKeyedTrans, false, Unlit, true, true, Persp)
QXRASTER_LIT_FACE(qxRaster_DrawPerspLit, false, false, false, Persp)
QXRASTER_LIT_FACE(qxRaster_DrawPerspLitTrans, false, true, false, Persp)
QXRASTER_LIT_FACE(qxRaster_DrawPerspLitKeyed, false, false, true, Persp)
QXRASTER_LIT_FACE(qxRaster_DrawPerspLitKeyedTrans, false, true, true, Persp)
QXRASTER_FACE(qxRaster_DrawPerspGouraud, false, Gouraud, false, false, Persp)
QXRASTER_FACE(qxRaster_DrawPerspGouraudTrans, false, Gouraud, true, false, Persp)
QXRASTER_FACE(qxRaster_DrawPerspGouraudKeyed, false, Gouraud, false, true, Persp)
QXRASTER_FACE(qxRaster_DrawPerspGouraudKeyedTrans, false, Gouraud, true, true, Persp)

QXRASTER_STEPPER(qxRaster_StepPerspEdgeLeft, false, Unlit, Persp, true)
QXRASTER_STEPPER(qxRaster_StepPerspGouraudEdgeLeft, false, Gouraud, Persp, true)

QXRASTER_SPANS(qxRaster_SpanPerspUnlit, false, Unlit, false, false, Persp)
QXRASTER_SPANS(qxRaster_SpanPerspUnlitTrans, false, Unlit, true, false, Persp)
QXRASTER_SPANS(qxRaster_SpanPerspUnlitKeyed, false, Unlit, false, true, Persp)
QXRASTER_SPANS(qxRaster_SpanPerspUnlitKeyedTrans, false, Unlit, true, true, Persp)
QXRASTER_SPANS(qxRaster_SpanPerspLit, false, Lit, false, false, Persp)
QXRASTER_SPANS(qxRaster_SpanPerspLitTrans, false, Lit, true, false, Persp)
QXRASTER_SPANS(qxRaster_SpanPerspLitKeyed, false, Lit, false, true, Persp)
QXRASTER_SPANS(qxRaster_SpanPerspLitKeyedTrans, false, Lit, true, true, Persp)
QXRASTER_SPANS(qxRaster_SpanPerspGouraud, false, Gouraud, false, false, Persp)
QXRASTER_SPANS(qxRaster_SpanPerspGouraudTrans, false, Gouraud, true, false, Persp)
QXRASTER_SPANS(qxRaster_SpanPerspGouraudKeyed, false, Gouraud, false, true, Persp)
QXRASTER_SPANS(qxRaster_SpanPerspGouraudKeyedTrans, false, Gouraud, true, true, Persp)
