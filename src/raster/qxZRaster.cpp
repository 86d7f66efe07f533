// The family with depth buffer: points, wireframes, solid and affine faces.
#include "raster/qxZRaster.h"

#include "raster/qxRaster_Internal.h"

void qxZRaster_DrawPoints(qxCacheFace* face, qxMaterialCel* cel) {
  qxraster::DrawPoints(face, cel);
}

void qxZRaster_DrawWireframe(qxCacheFace* face, qxMaterialCel* cel) {
  qxraster::DrawWireframe(face, cel);
}

void qxZRaster_SetupAffineGradients(float depth) {
  qxraster::SetupAffine(qxZRaster_state, true, depth);
}

QXRASTER_FACE(qxZRaster_DrawSolidUnlit, true, Unlit, false, false, Solid)
QXRASTER_FACE(qxZRaster_DrawSolidUnlitTrans, true, Unlit, true, false, Solid)
QXRASTER_LIT_FACE(qxZRaster_DrawSolidLit, true, false, false, Solid)
QXRASTER_LIT_FACE(qxZRaster_DrawSolidLitTrans, true, true, false, Solid)
QXRASTER_FACE(qxZRaster_DrawSolidGouraud, true, Gouraud, false, false, Solid)
QXRASTER_FACE(qxZRaster_DrawSolidGouraudTrans, true, Gouraud, true, false, Solid)
QXRASTER_FACE(qxZRaster_DrawAffineUnlit, true, Unlit, false, false, Affine)
QXRASTER_FACE(qxZRaster_DrawAffineUnlitTrans, true, Unlit, true, false, Affine)
QXRASTER_FACE(qxZRaster_DrawAffineUnlitKeyed, true, Unlit, false, true, Affine)
QXRASTER_FACE(qxZRaster_DrawAffineUnlitKeyedTrans, true, Unlit, true, true, Affine)
QXRASTER_LIT_FACE(qxZRaster_DrawAffineLit, true, false, false, Affine)
QXRASTER_LIT_FACE(qxZRaster_DrawAffineLitTrans, true, true, false, Affine)
QXRASTER_LIT_FACE(qxZRaster_DrawAffineLitKeyed, true, false, true, Affine)
QXRASTER_LIT_FACE(qxZRaster_DrawAffineLitKeyedTrans, true, true, true, Affine)
QXRASTER_FACE(qxZRaster_DrawAffineGouraud, true, Gouraud, false, false, Affine)
QXRASTER_FACE(qxZRaster_DrawAffineGouraudTrans, true, Gouraud, true, false, Affine)
QXRASTER_FACE(qxZRaster_DrawAffineGouraudKeyed, true, Gouraud, false, true, Affine)
QXRASTER_FACE(qxZRaster_DrawAffineGouraudKeyedTrans, true, Gouraud, true, true, Affine)

QXRASTER_STEPPER(qxZRaster_StepEdgeLeft, true, Unlit, Solid, true)
QXRASTER_STEPPER(qxZRaster_StepEdgeRight, true, Unlit, Solid, false)
QXRASTER_STEPPER(qxZRaster_StepGouraudEdgeLeft, true, Gouraud, Solid, true)
QXRASTER_STEPPER(qxZRaster_StepGouraudEdgeRight, true, Gouraud, Solid, false)
QXRASTER_STEPPER(qxZRaster_StepAffineEdgeLeft, true, Unlit, Affine, true)
QXRASTER_STEPPER(qxZRaster_StepAffineEdgeRight, true, Unlit, Affine, false)
QXRASTER_STEPPER(qxZRaster_StepAffineGouraudEdgeLeft, true, Gouraud, Affine, true)
QXRASTER_STEPPER(qxZRaster_StepAffineGouraudEdgeRight, true, Gouraud, Affine, false)

QXRASTER_SPANS(qxZRaster_SpanFlat, true, Unlit, false, false, Solid)
QXRASTER_SPANS(qxZRaster_SpanFlatTrans, true, Unlit, true, false, Solid)
QXRASTER_SPANS(qxZRaster_SpanGouraud, true, Gouraud, false, false, Solid)
QXRASTER_SPANS(qxZRaster_SpanGouraudTrans, true, Gouraud, true, false, Solid)
QXRASTER_SPANS(qxZRaster_SpanAffineUnlit, true, Unlit, false, false, Affine)
QXRASTER_SPANS(qxZRaster_SpanAffineUnlitTrans, true, Unlit, true, false, Affine)
QXRASTER_SPANS(qxZRaster_SpanAffineUnlitKeyed, true, Unlit, false, true, Affine)
QXRASTER_SPANS(qxZRaster_SpanAffineUnlitKeyedTrans, true, Unlit, true, true, Affine)
QXRASTER_SPANS(qxZRaster_SpanAffineLit, true, Lit, false, false, Affine)
QXRASTER_SPANS(qxZRaster_SpanAffineLitTrans, true, Lit, true, false, Affine)
QXRASTER_SPANS(qxZRaster_SpanAffineLitKeyed, true, Lit, false, true, Affine)
QXRASTER_SPANS(qxZRaster_SpanAffineLitKeyedTrans, true, Lit, true, true, Affine)
QXRASTER_SPANS(qxZRaster_SpanAffineGouraud, true, Gouraud, false, false, Affine)
QXRASTER_SPANS(qxZRaster_SpanAffineGouraudTrans, true, Gouraud, true, false, Affine)
QXRASTER_SPANS(qxZRaster_SpanAffineGouraudKeyed, true, Gouraud, false, true, Affine)
QXRASTER_SPANS(qxZRaster_SpanAffineGouraudKeyedTrans, true, Gouraud, true, true, Affine)
