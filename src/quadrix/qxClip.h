// The 3D library's clippers: the frustum tests and the polygon, line and
// plane clippers that its primitives, model drawing and sprite drawing call
// before they queue or plot anything. Pure geometry: they draw nothing.
//
// Camera space: x right, y depth (positive in front of the camera), z up.
// Every polygon is clipped in place; the callers' arrays hold 32 entries
// (QXCACHE_MAX_FACE_VERTICES). A polygon whose clipped form would need more
// than 32 vertices, or that comes in with more, is rejected (count 0) so
// that nothing is written past the arrays. A frustum result below 3 means
// the polygon is rejected.
//
// The clippers share static work buffers: they are not re-entrant and run
// on the thread that draws the scene.
#pragma once

#include <cstdint>

#include "quadrix/qxVector.h"

struct qxClipFrustum;
struct qxCanvas;

constexpr int QXCLIP_MAX_VERTICES = 32;

// Bits of qxClipFlags: which planes cut an edge during the last frustum clip.
enum : uint32_t {
  QXCLIP_CUT_NEAR = 0x01,
  QXCLIP_CUT_FAR = 0x02,
  QXCLIP_CUT_TOP = 0x04,
  QXCLIP_CUT_BOTTOM = 0x08,
  QXCLIP_CUT_LEFT = 0x10,
  QXCLIP_CUT_RIGHT = 0x20,
  QXCLIP_LOST_AT_NEAR = 0x40,  // fewer than 3 vertices left after the near plane
};

// Reset by every frustum polygon clipper; nothing in the engine reads it.
extern uint32_t qxClipFlags;

// A projected point: screen x and y truncated to integers, then the depth.
struct qxClipScreenPoint {
  int32_t x, y;
  float z;
};

// 2D outcode bits against a canvas rectangle.
using qxClipOutcode = uint32_t;
enum : uint32_t {
  QXCLIP_OUT_LEFT = 0x1,
  QXCLIP_OUT_RIGHT = 0x10,
  QXCLIP_OUT_BELOW = 0x100,
  QXCLIP_OUT_ABOVE = 0x1000,
};

// 1 when the camera-space point lies inside the exact frustum (by the
// current camera's projection type; perspective without a camera), else 0.
int qxClip_PointInFrustum(const qxClipFrustum* frustum, const qxVector3* point);
// 0 when the segment lies wholly outside the exact frustum, else 1 with the
// end points moved onto it; a given moved flag is set to 1 for an end that
// moved (never cleared). A segment rejected by a late plane keeps the moves
// made by the earlier planes.
int qxClip_LinePersp(const qxClipFrustum* frustum, qxVector3* a, qxVector3* b, int32_t* movedA,
                     int32_t* movedB);
int qxClip_LineOrtho(const qxClipFrustum* frustum, qxVector3* a, qxVector3* b, int32_t* movedA,
                     int32_t* movedB);
// Transforms two world points by the current camera, clips them by its
// projection type and projects them; each screen point (x, y truncated to
// integers, z the depth) may be null. 0 when rejected or without a camera.
int qxClip_ProjectLine(const qxClipFrustum* frustum, const qxVector3* a, const qxVector3* b,
                       qxClipScreenPoint* screenA, qxClipScreenPoint* screenB, int32_t* movedA,
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
// Outcode of a point against the canvas rectangle.
qxClipOutcode qxClip_Outcode2D(const qxCanvas* canvas, int32_t x, int32_t y);
// 0 when the segment lies wholly outside the canvas rectangle (coordinates
// untouched), else 1 with the end points clipped to it in place.
int qxClip_Line2D(const qxCanvas* canvas, int32_t* x0, int32_t* y0, int32_t* x1, int32_t* y1);
// 0 wholly inside, 1 crossing a plane, 2 wholly outside (by the bounding box
// of the sphere).
int qxClip_SphereInFrustum(const qxClipFrustum* frustum, const qxVector3* centre, float radius);
// Keeps the side of the plane where (p - point) . normal >= 0, interpolating
// the texture vertices and intensities (each may be null) at the cuts;
// returns the new count, however small.
int qxClip_PolygonToPlane(const qxVector3* normal, const qxVector3* point, qxVector3* vertices,
                          qxVector2* texVertices, float* intensities, int count);
