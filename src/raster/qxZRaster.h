// The rasterizer family with a 16-bit depth buffer (prefix qxZRaster_), the
// engine's default (z-buffer method 2): the faces of the family without
// depth buffer (qxRaster.h), each pixel tested against the canvas's
// z-buffer before its texel is fetched.
//
// A vertex's inverse depth is w = 1/(z + 1); a pixel's depth value is
// trunc(w x 65536) in 16.16, shifted right by the canvas's zShift (held to
// 0..16) and cut to 16 bits. A pixel is drawn, and its value stored, only
// when the value is greater than the stored one (larger is nearer, 0 is the
// cleared buffer); equal depths keep what was drawn first. Translucent
// pixels store their depth like opaque ones; keyed texels 0 write neither
// pixel nor depth. Points and wireframes draw over everything, untested.
//
// Solid and affine faces carry w down both edges in floating point and step
// the depth across a span in 16.16. On 16-bit canvases the affine Gouraud
// span dithers the light level over a 2 x 2 pattern of quarter levels.
#pragma once

#include "raster/qxRaster.h"

void qxZRaster_DrawPoints(qxCacheFace* face, qxMaterialCel* cel);
void qxZRaster_DrawWireframe(qxCacheFace* face, qxMaterialCel* cel);

void qxZRaster_DrawSolidUnlit(qxCacheFace* face, qxMaterialCel* cel);
void qxZRaster_DrawSolidUnlitTrans(qxCacheFace* face, qxMaterialCel* cel);
void qxZRaster_DrawSolidLit(qxCacheFace* face, qxMaterialCel* cel, float level);
void qxZRaster_DrawSolidLitTrans(qxCacheFace* face, qxMaterialCel* cel, float level);
void qxZRaster_DrawSolidGouraud(qxCacheFace* face, qxMaterialCel* cel);
void qxZRaster_DrawSolidGouraudTrans(qxCacheFace* face, qxMaterialCel* cel);

void qxZRaster_DrawAffineUnlit(qxCacheFace* face, qxMaterialCel* cel);
void qxZRaster_DrawAffineUnlitTrans(qxCacheFace* face, qxMaterialCel* cel);
void qxZRaster_DrawAffineUnlitKeyed(qxCacheFace* face, qxMaterialCel* cel);
void qxZRaster_DrawAffineUnlitKeyedTrans(qxCacheFace* face, qxMaterialCel* cel);
void qxZRaster_DrawAffineLit(qxCacheFace* face, qxMaterialCel* cel, float level);
void qxZRaster_DrawAffineLitTrans(qxCacheFace* face, qxMaterialCel* cel, float level);
void qxZRaster_DrawAffineLitKeyed(qxCacheFace* face, qxMaterialCel* cel, float level);
void qxZRaster_DrawAffineLitKeyedTrans(qxCacheFace* face, qxMaterialCel* cel, float level);
void qxZRaster_DrawAffineGouraud(qxCacheFace* face, qxMaterialCel* cel);
void qxZRaster_DrawAffineGouraudTrans(qxCacheFace* face, qxMaterialCel* cel);
void qxZRaster_DrawAffineGouraudKeyed(qxCacheFace* face, qxMaterialCel* cel);
void qxZRaster_DrawAffineGouraudKeyedTrans(qxCacheFace* face, qxMaterialCel* cel);

void qxZRaster_DrawPerspUnlit(qxCacheFace* face, qxMaterialCel* cel);
void qxZRaster_DrawPerspUnlitTrans(qxCacheFace* face, qxMaterialCel* cel);
void qxZRaster_DrawPerspUnlitKeyed(qxCacheFace* face, qxMaterialCel* cel);
void qxZRaster_DrawPerspUnlitKeyedTrans(qxCacheFace* face, qxMaterialCel* cel);
void qxZRaster_DrawPerspLit(qxCacheFace* face, qxMaterialCel* cel, float level);
void qxZRaster_DrawPerspLitTrans(qxCacheFace* face, qxMaterialCel* cel, float level);
void qxZRaster_DrawPerspLitKeyed(qxCacheFace* face, qxMaterialCel* cel, float level);
void qxZRaster_DrawPerspLitKeyedTrans(qxCacheFace* face, qxMaterialCel* cel, float level);
void qxZRaster_DrawPerspGouraud(qxCacheFace* face, qxMaterialCel* cel);
void qxZRaster_DrawPerspGouraudTrans(qxCacheFace* face, qxMaterialCel* cel);
void qxZRaster_DrawPerspGouraudKeyed(qxCacheFace* face, qxMaterialCel* cel);
void qxZRaster_DrawPerspGouraudKeyedTrans(qxCacheFace* face, qxMaterialCel* cel);

// Per-face set-up of the face state that the caller filled: the per-vertex
// w = 1/(z + 1), the mip level and the rounding biases (affine); the
// per-vertex w, u x w, v x w, their plane gradients and the depth step per
// pixel (perspective). The argument is the face's minDepth.
void qxZRaster_SetupAffineGradients(float depth);
void qxZRaster_SetupPerspGradients(float minDepth);

int qxZRaster_StepEdgeLeft(qxRasterEdge* edge);
int qxZRaster_StepEdgeRight(qxRasterEdge* edge);
int qxZRaster_StepGouraudEdgeLeft(qxRasterEdge* edge);
int qxZRaster_StepGouraudEdgeRight(qxRasterEdge* edge);
int qxZRaster_StepAffineEdgeLeft(qxRasterEdge* edge);
int qxZRaster_StepAffineEdgeRight(qxRasterEdge* edge);
int qxZRaster_StepAffineGouraudEdgeLeft(qxRasterEdge* edge);
int qxZRaster_StepAffineGouraudEdgeRight(qxRasterEdge* edge);
int qxZRaster_StepPerspEdgeLeft(qxRasterEdge* edge);
int qxZRaster_StepPerspGouraudEdgeLeft(qxRasterEdge* edge);
int qxZRaster_StepPerspEdgeRight(qxRasterEdge* edge);
int qxZRaster_StepPerspGouraudEdgeRight(qxRasterEdge* edge);

void qxZRaster_SpanFlat8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanFlat16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanFlatTrans8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanFlatTrans16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanGouraud8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanGouraud16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanGouraudTrans8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanGouraudTrans16(const qxRasterEdge* left, const qxRasterEdge* right);

void qxZRaster_SpanAffineUnlit8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanAffineUnlit16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanAffineUnlitTrans8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanAffineUnlitTrans16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanAffineUnlitKeyed8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanAffineUnlitKeyed16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanAffineUnlitKeyedTrans8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanAffineUnlitKeyedTrans16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanAffineLit8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanAffineLit16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanAffineLitTrans8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanAffineLitTrans16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanAffineLitKeyed8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanAffineLitKeyed16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanAffineLitKeyedTrans8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanAffineLitKeyedTrans16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanAffineGouraud8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanAffineGouraud16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanAffineGouraudTrans8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanAffineGouraudTrans16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanAffineGouraudKeyed8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanAffineGouraudKeyed16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanAffineGouraudKeyedTrans8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanAffineGouraudKeyedTrans16(const qxRasterEdge* left, const qxRasterEdge* right);

void qxZRaster_SpanPerspUnlit8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanPerspUnlit16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanPerspUnlitTrans8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanPerspUnlitTrans16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanPerspUnlitKeyed8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanPerspUnlitKeyed16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanPerspUnlitKeyedTrans8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanPerspUnlitKeyedTrans16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanPerspLit8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanPerspLit16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanPerspLitTrans8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanPerspLitTrans16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanPerspLitKeyed8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanPerspLitKeyed16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanPerspLitKeyedTrans8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanPerspLitKeyedTrans16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanPerspGouraud8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanPerspGouraud16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanPerspGouraudTrans8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanPerspGouraudTrans16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanPerspGouraudKeyed8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanPerspGouraudKeyed16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanPerspGouraudKeyedTrans8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxZRaster_SpanPerspGouraudKeyedTrans16(const qxRasterEdge* left, const qxRasterEdge* right);
