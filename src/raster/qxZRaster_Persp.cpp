// The family with depth buffer: perspective-textured faces.
#include "raster/qxRaster_Internal.h"
#include "raster/qxZRaster.h"

void qxZRaster_SetupPerspGradients(float minDepth) {
  qxraster::SetupPersp(qxZRaster_state, true, minDepth);
}

QXRASTER_FACE(qxZRaster_DrawPerspUnlit, true, Unlit, false, false, Persp)
QXRASTER_FACE(qxZRaster_DrawPerspUnlitTrans, true, Unlit, true, false, Persp)
QXRASTER_FACE(qxZRaster_DrawPerspUnlitKeyed, true, Unlit, false, true, Persp)
QXRASTER_FACE(qxZRaster_DrawPerspUnlitKeyedTrans, true, Unlit, true, true, Persp)
QXRASTER_LIT_FACE(qxZRaster_DrawPerspLit, true, false, false, Persp)
QXRASTER_LIT_FACE(qxZRaster_DrawPerspLitTrans, true, true, false, Persp)
QXRASTER_LIT_FACE(qxZRaster_DrawPerspLitKeyed, true, false, true, Persp)
QXRASTER_LIT_FACE(qxZRaster_DrawPerspLitKeyedTrans, true, true, true, Persp)
QXRASTER_FACE(qxZRaster_DrawPerspGouraud, true, Gouraud, false, false, Persp)
QXRASTER_FACE(qxZRaster_DrawPerspGouraudTrans, true, Gouraud, true, false, Persp)
QXRASTER_FACE(qxZRaster_DrawPerspGouraudKeyed, true, Gouraud, false, true, Persp)
QXRASTER_FACE(qxZRaster_DrawPerspGouraudKeyedTrans, true, Gouraud, true, true, Persp)

QXRASTER_STEPPER(qxZRaster_StepPerspEdgeLeft, true, Unlit, Persp, true)
QXRASTER_STEPPER(qxZRaster_StepPerspGouraudEdgeLeft, true, Gouraud, Persp, true)
QXRASTER_STEPPER(qxZRaster_StepPerspEdgeRight, true, Unlit, Persp, false)
QXRASTER_STEPPER(qxZRaster_StepPerspGouraudEdgeRight, true, Gouraud, Persp, false)

QXRASTER_SPANS(qxZRaster_SpanPerspUnlit, true, Unlit, false, false, Persp)
QXRASTER_SPANS(qxZRaster_SpanPerspUnlitTrans, true, Unlit, true, false, Persp)
QXRASTER_SPANS(qxZRaster_SpanPerspUnlitKeyed, true, Unlit, false, true, Persp)
QXRASTER_SPANS(qxZRaster_SpanPerspUnlitKeyedTrans, true, Unlit, true, true, Persp)
QXRASTER_SPANS(qxZRaster_SpanPerspLit, true, Lit, false, false, Persp)
QXRASTER_SPANS(qxZRaster_SpanPerspLitTrans, true, Lit, true, false, Persp)
QXRASTER_SPANS(qxZRaster_SpanPerspLitKeyed, true, Lit, false, true, Persp)
QXRASTER_SPANS(qxZRaster_SpanPerspLitKeyedTrans, true, Lit, true, true, Persp)
QXRASTER_SPANS(qxZRaster_SpanPerspGouraud, true, Gouraud, false, false, Persp)
QXRASTER_SPANS(qxZRaster_SpanPerspGouraudTrans, true, Gouraud, true, false, Persp)
QXRASTER_SPANS(qxZRaster_SpanPerspGouraudKeyed, true, Gouraud, false, true, Persp)
QXRASTER_SPANS(qxZRaster_SpanPerspGouraudKeyedTrans, true, Gouraud, true, true, Persp)
