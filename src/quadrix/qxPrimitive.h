// 3D and 2D primitives, and the face gatherer of model and sprite drawing.
//
// The 3D functions take world points through the current camera (transform,
// clip, project): points are plotted into the canvas's video buffer, lines go
// through the render hooks' line operation, polygons into the face cache.
// The 2D functions draw on a canvas in pixels; a line style is a colour (the
// low byte in an 8-bit buffer, the low 16 bits otherwise) and a 32-bit dash
// pattern read from bit 31 down, repeating (-1 draws a solid line). Every
// plotted pixel is checked against the buffer.
//
// The face gatherer copies one face's vertices from the shared vertex arrays
// through its index arrays into flat per-face buffers and, for faces that may
// cross the view, clips them with the clipper that the face's effective
// geometry and lighting modes and the camera's projection call for. A face
// with more corners than the 32-vertex face limit leaves room for (26 when
// it is clipped, 32 when not) is refused: its count becomes 0.
//
// Main thread only.
#pragma once

#include <cstdint>

#include "quadrix/qxVector.h"

struct qxCacheFace;
struct qxCanvas;
struct qxClipFrustum;
struct qxFace;
struct qxMaterial;

// A projected point: pixels truncated toward zero, depth in camera space.
struct qxScreenPoint {
  int32_t x;
  int32_t y;
  float depth;
};

// What the gatherer reads of one face.
struct qxFaceSource {
  int32_t vertexCount;
  const int32_t* vertexIndices;
  const int32_t* texVertexIndices;
  const qxVector3* positions;     // camera space, by vertex index
  const qxVector2* texVertices;   // by texture-vertex index
  const float* intensities;       // by vertex index
  const float* extraIntensities;  // per face vertex, or null
  // Coloured form: per face vertex additions to the intensity.
  const float* red;
  const float* green;
  const float* blue;
};

// Where the gatherer writes one face.
struct qxFaceBuffers {
  int32_t vertexCount;  // the clipper's result; below 3 the face is rejected
  qxVector3* positions;
  qxVector2* texVertices;
  float* intensities;  // also the red channel of the coloured form
  float* green;
  float* blue;
};

// Largest input of a clipped face: clipping against up to six planes adds
// at most one corner per plane to a convex face.
constexpr int QXPRIMITIVE_MAX_CLIPPED_INPUT = 26;

// 0 when the point lies outside the frustum (or there is no camera); else
// fills the output (when given) and returns 1.
int qxPrimitive_ProjectPoint3(const qxVector3* point, qxScreenPoint* out);
// As ProjectPoint3, then plots the colour.
int qxPrimitive_DrawPoint3(const qxVector3* point, qxScreenPoint* out, int colour);
// 1 drawn, 0 wholly clipped (the outputs are then untouched). The moved
// flags are set to 1 for an end the clipper moved.
int qxPrimitive_DrawLine3(const qxVector3* a, const qxVector3* b, qxScreenPoint* outA,
                          qxScreenPoint* outB, int* movedA, int* movedB, int colour, int pattern);
// A circle of world radius around the centre, seen face on, as 2D lines every
// angle step (degrees). 1 when lines were drawn, 0 when nothing was.
int qxPrimitive_DrawCircle3(const qxVector3* centre, float radius, float angleStep, int colour,
                            int pattern);
// A flat solid polygon into the face cache; the entry, or null when nothing
// was queued. More than 26 points are refused.
qxCacheFace* qxPrimitive_AddPolygon3(const qxVector3* points, int count, qxMaterial* material);

// The line walk without clipping: every step moves x or y, never both.
int qxPrimitive_DrawLine2(qxCanvas* canvas, int x0, int y0, int x1, int y1, int colour,
                          int pattern);
// Clipped to the canvas rectangle first; 0 when wholly outside.
int qxPrimitive_DrawLine2Clipped(qxCanvas* canvas, int x0, int y0, int x1, int y1, int colour,
                                 int pattern);
// 1 when lines were drawn; 0 for a circle off the canvas or a step of 0 or less.
int qxPrimitive_DrawCircle2(qxCanvas* canvas, int cx, int cy, float radius, float angleStep,
                            int colour, int pattern);
// Four clipped hook lines; the last one's result.
int qxPrimitive_DrawRect2(qxCanvas* canvas, int x0, int y0, int x1, int y1, int colour,
                          int pattern);
// Three clipped hook lines 0-1, 1-2, 2-0; the last one's result.
int qxPrimitive_DrawTriangle2(qxCanvas* canvas, int x0, int y0, int x1, int y1, int x2, int y2,
                              int colour, int pattern);

// The face gatherer. The texture mode is not read.
void qxPrimitive_GatherClipFace(const qxClipFrustum* frustum, int geometry, int lighting,
                                int texture, const qxFaceSource* source, qxFaceBuffers* buffers,
                                const qxVector2* textureOffset);
void qxPrimitive_GatherFace(int geometry, int lighting, int texture, const qxFaceSource* source,
                            qxFaceBuffers* buffers, const qxVector2* textureOffset);
void qxPrimitive_ClipFace(const qxClipFrustum* frustum, int geometry, int lighting, int texture,
                          qxFaceBuffers* buffers);
void qxPrimitive_GatherClipFaceRGB(const qxClipFrustum* frustum, int geometry, int lighting,
                                   int texture, const qxFaceSource* source, qxFaceBuffers* buffers,
                                   const qxVector2* textureOffset);
// Takes the count and index arrays from the model face; no texture offset.
void qxPrimitive_GatherModelFace(const qxFace* face, int geometry, int lighting, int texture,
                                 const qxFaceSource* source, qxFaceBuffers* buffers);

// Shared by the model and sprite faces: when every per-vertex level of a
// lighting-3 face differs from the first by at most the tolerance, the face
// is demoted: at full light to lighting 0 (when the current colormap is the
// display colormap, else face light 1 and lighting 2), at no light to
// lighting 1 with face light 0, otherwise to lighting 2 at the first level.
void qxPrimitive_FlattenVertexLight(qxCacheFace* face, int count, float tolerance);

// The clippers the 3D library calls (the software rasterizer's by default).
// Tests put recording fakes in their place; null restores the defaults.
struct qxPrimitiveClippers {
  int (*pointInFrustum)(const qxClipFrustum*, const qxVector3*);
  int (*linePersp)(const qxClipFrustum*, qxVector3*, qxVector3*, int32_t*, int32_t*);
  int (*polygonPersp)(const qxClipFrustum*, qxVector3*, int);
  int (*polygonOrtho)(const qxClipFrustum*, qxVector3*, int);
  int (*outlinePersp)(const qxClipFrustum*, qxVector3*, int);
  int (*outlineOrtho)(const qxClipFrustum*, qxVector3*, int);
  int (*polygonLitPersp)(const qxClipFrustum*, qxVector3*, float*, int);
  int (*polygonLitOrtho)(const qxClipFrustum*, qxVector3*, float*, int);
  int (*polygonTexPersp)(const qxClipFrustum*, qxVector3*, qxVector2*, int);
  int (*polygonTexOrtho)(const qxClipFrustum*, qxVector3*, qxVector2*, int);
  int (*polygonTexLitPersp)(const qxClipFrustum*, qxVector3*, qxVector2*, float*, int);
  int (*polygonTexLitOrtho)(const qxClipFrustum*, qxVector3*, qxVector2*, float*, int);
  int (*polygonRGBPersp)(const qxClipFrustum*, qxVector3*, float*, float*, float*, int);
  int (*polygonTexRGBPersp)(const qxClipFrustum*, qxVector3*, qxVector2*, float*, float*, float*,
                            int);
  int (*line2D)(const qxCanvas*, int32_t*, int32_t*, int32_t*, int32_t*);
  int (*sphereInFrustum)(const qxClipFrustum*, const qxVector3*, float);
  int (*polygonToPlane)(const qxVector3*, const qxVector3*, qxVector3*, qxVector2*, float*, int);
};
void qxPrimitive_SetClippers(const qxPrimitiveClippers* clippers);
const qxPrimitiveClippers* qxPrimitive_GetClippers(void);
