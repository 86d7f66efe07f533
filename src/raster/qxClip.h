// The clippers of the software rasterizer: the frustum tests and the
// polygon, line and plane clippers that the 3D library's primitives, model
// drawing and sprite drawing call before they queue or plot anything.
//
// Every loop is clipped in place; the callers' arrays hold 32 entries
// (QXCACHE_MAX_FACE_VERTICES) and a clipper never leaves more than that. A
// polygon result below 3 means the polygon is rejected.
//
// Not built yet: the sphere test answers 1 (crossing, so every face goes
// through a clipper), the polygon clippers return the count unchanged, and
// the point, line and 2D-line clippers answer 0 so that nothing unclipped is
// plotted. Each logs "not built yet" once.
#pragma once

#include <cstdint>

#include "quadrix/qxVector.h"

struct qxClipFrustum;
struct qxCanvas;

// 1 when the camera-space point lies inside the frustum (by the current
// camera's projection type), else 0.
int qxClip_PointInFrustum(const qxClipFrustum* frustum, const qxVector3* point);
// 0 when the segment lies wholly outside the perspective frustum, else 1
// with the end points moved onto it; a given moved flag is set to 1 for an
// end that moved.
int qxClip_LinePersp(const qxClipFrustum* frustum, qxVector3* a, qxVector3* b, int32_t* movedA,
                     int32_t* movedB);
// Against the polygon frustum (left and top widened by one pixel).
int qxClip_PolygonPersp(const qxClipFrustum* frustum, qxVector3* vertices, int count);
int qxClip_PolygonOrtho(const qxClipFrustum* frustum, qxVector3* vertices, int count);
// Against the exact frustum, for point and wireframe faces.
int qxClip_OutlinePersp(const qxClipFrustum* frustum, qxVector3* vertices, int count);
int qxClip_OutlineOrtho(const qxClipFrustum* frustum, qxVector3* vertices, int count);
int qxClip_PolygonLitPersp(const qxClipFrustum* frustum, qxVector3* vertices, float* intensities,
                           int count);
int qxClip_PolygonLitOrtho(const qxClipFrustum* frustum, qxVector3* vertices, float* intensities,
                           int count);
int qxClip_PolygonTexPersp(const qxClipFrustum* frustum, qxVector3* vertices,
                           qxVector2* texVertices, int count);
int qxClip_PolygonTexOrtho(const qxClipFrustum* frustum, qxVector3* vertices,
                           qxVector2* texVertices, int count);
int qxClip_PolygonTexLitPersp(const qxClipFrustum* frustum, qxVector3* vertices,
                              qxVector2* texVertices, float* intensities, int count);
int qxClip_PolygonTexLitOrtho(const qxClipFrustum* frustum, qxVector3* vertices,
                              qxVector2* texVertices, float* intensities, int count);
int qxClip_PolygonRGBPersp(const qxClipFrustum* frustum, qxVector3* vertices, float* red,
                           float* green, float* blue, int count);
int qxClip_PolygonTexRGBPersp(const qxClipFrustum* frustum, qxVector3* vertices,
                              qxVector2* texVertices, float* red, float* green, float* blue,
                              int count);
// 0 when the segment lies wholly outside the canvas rectangle, else 1 with
// the end points clipped to it in place.
int qxClip_Line2D(const qxCanvas* canvas, int32_t* x0, int32_t* y0, int32_t* x1, int32_t* y1);
// 0 wholly inside, 1 crossing a plane, 2 wholly outside.
int qxClip_SphereInFrustum(const qxClipFrustum* frustum, const qxVector3* centre, float radius);
// Keeps the side of the plane where (p - point) . normal >= 0, interpolating
// the texture vertices and intensities (each may be null) at the cuts;
// returns the new count.
int qxClip_PolygonToPlane(const qxVector3* normal, const qxVector3* point, qxVector3* vertices,
                          qxVector2* texVertices, float* intensities, int count);
