// The family without depth buffer: points, wireframes, solid and affine faces.
#include "raster/qxRaster_Internal.h"
#include "raster/qxZRaster.h"

void qxRaster_DrawPoints(qxCacheFace* face, qxMaterialCel* cel) {
  qxraster::DrawPoints(face, cel);
}

void qxRaster_DrawWireframe(qxCacheFace* face, qxMaterialCel* cel) {
  qxraster::DrawWireframe(face, cel);
}

void qxRaster_SetupAffineGradients(float depth) {
  qxraster::SetupAffine(qxRaster_state, false, depth);
}

QXRASTER_FACE(qxRaster_DrawSolidUnlit, false, Unlit, false, false, Solid)
QXRASTER_FACE(qxRaster_DrawSolidUnlitTrans, false, Unlit, true, false, Solid)
QXRASTER_LIT_FACE(qxRaster_DrawSolidLit, false, false, false, Solid)
QXRASTER_LIT_FACE(qxRaster_DrawSolidLitTrans, false, true, false, Solid)
QXRASTER_FACE(qxRaster_DrawSolidGouraud, false, Gouraud, false, false, Solid)
QXRASTER_FACE(qxRaster_DrawSolidGouraudTrans, false, Gouraud, true, false, Solid)
QXRASTER_FACE(qxRaster_DrawAffineUnlit, false, Unlit, false, false, Affine)
QXRASTER_FACE(qxRaster_DrawAffineUnlitTrans, false, Unlit, true, false, Affine)
QXRASTER_FACE(qxRaster_DrawAffineUnlitKeyed, false, Unlit, false, true, Affine)
QXRASTER_FACE(qxRaster_DrawAffineUnlitKeyedTrans, false, Unlit, true, true, Affine)
QXRASTER_LIT_FACE(qxRaster_DrawAffineLit, false, false, false, Affine)
QXRASTER_LIT_FACE(qxRaster_DrawAffineLitTrans, false, true, false, Affine)
QXRASTER_LIT_FACE(qxRaster_DrawAffineLitKeyed, false, false, true, Affine)
QXRASTER_LIT_FACE(qxRaster_DrawAffineLitKeyedTrans, false, true, true, Affine)
QXRASTER_FACE(qxRaster_DrawAffineGouraud, false, Gouraud, false, false, Affine)
QXRASTER_FACE(qxRaster_DrawAffineGouraudTrans, false, Gouraud, true, false, Affine)
QXRASTER_FACE(qxRaster_DrawAffineGouraudKeyed, false, Gouraud, false, true, Affine)
QXRASTER_FACE(qxRaster_DrawAffineGouraudKeyedTrans, false, Gouraud, true, true, Affine)

QXRASTER_STEPPER(qxRaster_StepEdgeLeft, false, Unlit, Solid, true)
QXRASTER_STEPPER(qxRaster_StepEdgeRight, false, Unlit, Solid, false)
QXRASTER_STEPPER(qxRaster_StepGouraudEdgeLeft, false, Gouraud, Solid, true)
QXRASTER_STEPPER(qxRaster_StepGouraudEdgeRight, false, Gouraud, Solid, false)
QXRASTER_STEPPER(qxRaster_StepAffineEdgeLeft, false, Unlit, Affine, true)
QXRASTER_STEPPER(qxRaster_StepAffineEdgeRight, false, Unlit, Affine, false)
QXRASTER_STEPPER(qxRaster_StepAffineGouraudEdgeLeft, false, Gouraud, Affine, true)
QXRASTER_STEPPER(qxRaster_StepAffineGouraudEdgeRight, false, Gouraud, Affine, false)

QXRASTER_SPANS(qxRaster_SpanFlat, false, Unlit, false, false, Solid)
QXRASTER_SPANS(qxRaster_SpanFlatTrans, false, Unlit, true, false, Solid)
QXRASTER_SPANS(qxRaster_SpanGouraud, false, Gouraud, false, false, Solid)
QXRASTER_SPANS(qxRaster_SpanGouraudTrans, false, Gouraud, true, false, Solid)
QXRASTER_SPANS(qxRaster_SpanAffineUnlit, false, Unlit, false, false, Affine)
QXRASTER_SPANS(qxRaster_SpanAffineUnlitTrans, false, Unlit, true, false, Affine)
QXRASTER_SPANS(qxRaster_SpanAffineUnlitKeyed, false, Unlit, false, true, Affine)
QXRASTER_SPANS(qxRaster_SpanAffineUnlitKeyedTrans, false, Unlit, true, true, Affine)
QXRASTER_SPANS(qxRaster_SpanAffineLit, false, Lit, false, false, Affine)
QXRASTER_SPANS(qxRaster_SpanAffineLitTrans, false, Lit, true, false, Affine)
QXRASTER_SPANS(qxRaster_SpanAffineLitKeyed, false, Lit, false, true, Affine)
QXRASTER_SPANS(qxRaster_SpanAffineLitKeyedTrans, false, Lit, true, true, Affine)
QXRASTER_SPANS(qxRaster_SpanAffineGouraud, false, Gouraud, false, false, Affine)
QXRASTER_SPANS(qxRaster_SpanAffineGouraudTrans, false, Gouraud, true, false, Affine)
QXRASTER_SPANS(qxRaster_SpanAffineGouraudKeyed, false, Gouraud, false, true, Affine)
QXRASTER_SPANS(qxRaster_SpanAffineGouraudKeyedTrans, false, Gouraud, true, true, Affine)
