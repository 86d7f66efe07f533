// The software rasterizer's start-up, face selection and the family of
// direct face rasterizers without depth buffer (prefix qxRaster_).
//
// When the face cache is flushed with occlusion method 0, each queued face
// reaches one of the three dispatchers below. A dispatcher works out the
// face's effective modes (its own modes capped by the library's global
// ceilings), picks the cel, turns the light inputs into levels 0..63 and
// calls exactly one face rasterizer of a family: this one (z-buffer method
// 0) or the family with a 16-bit depth buffer (qxZRaster.h, method 2).
//
// Every face rasterizer walks the face's left and right edges down the
// scan lines in 16.16 fixed point and fills each span with a span filler of
// its variant, one for 8-bit and one for 16-bit canvases. Colours are
// palette indices lit through the face colormap's 64-row light tables and
// blended through the display colormap's translucency table. Coverage
// follows a top-left rule: rows ceil(top) .. ceil(bottom) - 1, columns
// ceil(left) .. ceil(right) - 1.
//
// Faces arrive clipped to the canvas. A face is still not drawn (one log
// line per kind of fault) when it has no material, fewer than 3 or more
// than 32 vertices, is 2048 pixels wide or more, covers pixels outside the
// canvas rectangle or its buffers, or needs colormap tables or a texture
// mip level that are missing or too small. Spans are held to the face's
// committed bounds, so no rounding of an edge writes outside them.
//
// The rasterizers share module-wide face state: one face at a time, on the
// thread that flushes the face cache. Nothing is allocated per face.
#pragma once

#include <cmath>
#include <cstdint>
#if defined(__SSE2__)
#include <xmmintrin.h>
#endif

struct qxCacheFace;
struct qxMaterialCel;

// ---- Reciprocal tables ----

constexpr int QXRASTER_RECIP_ENTRIES = 2048;

// Entry i (1..2047): recipFloat = 1/i, recipFixed = 65536/i in 16.16
// (truncated). Entry 0: 3.4e38 and 0x7FFFFFFF; no span of 0 pixels reads it.
// Built by qxRaster_Startup, read-only afterwards.
struct qxRecipTableSet {
  float recipFloat[QXRASTER_RECIP_ENTRIES];
  int32_t recipFixed[QXRASTER_RECIP_ENTRIES];
};
extern qxRecipTableSet qxRecipTables;

// ---- Conversions ----

// Truncation toward zero that never leaves int32: non-finite values give 0,
// values beyond the range give its nearest end. Every float the rasterizers
// turn into an integer goes through it, since degenerate faces (collinear
// gradient vertices, an inverse depth at depth 0) produce such values.
inline int32_t qxRaster_ToInt(double v) {
  if (!std::isfinite(v)) return 0;
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(v);
}
inline int32_t qxRaster_ToInt(float v) {
#if defined(__SSE2__)
  // The processor's truncation answers INT32_MIN for everything it cannot
  // convert; only that answer needs a second look.
  const int32_t r = _mm_cvttss_si32(_mm_set_ss(v));
  if (r != INT32_MIN) return r;
#endif
  if (v >= -2147483648.0f && v < 2147483648.0f) return static_cast<int32_t>(v);
  if (!std::isfinite(v)) return 0;
  return v > 0.0f ? INT32_MAX : INT32_MIN;
}

// ---- Selection ----

// What steps 1 to 5 of the selection decide for a face.
struct qxRasterSelection {
  int32_t geometry;    // min(face, ceiling): 0 none, 1 points, 2 wireframe, 3 solid, 4 textured
  int32_t lighting;    // 0 unlit, 1 extra light, 2 face + extra light, 3 per vertex, 4 (points)
  int32_t texture;     // 0 affine, 1 perspective
  qxMaterialCel* cel;  // null without a material (or a material without cels)
  float ambientFloor;  // the lowest level 0..1 (0 unless render flag 2 is set)
};

// Effective modes, the cel (index -1 = the material's current cel, clamped
// to the material's cels), the untextured downgrade (geometry 4 with an
// untextured cel becomes 3) and the ambient floor. 0 when the effective
// geometry is 0 (nothing else is then worked out), else 1.
int qxRaster_SelectFace(qxCacheFace* face, qxRasterSelection* out);
// The level rules of lighting 1, 2 and 3: lighting 1 and 2 give the face
// level max(floor, clamp01(light)) x 63, stored into the face's faceLight
// and returned; lighting 3 rewrites every vertex level in place the same way
// and returns 0, as does any other lighting.
float qxRaster_ApplyLevels(qxCacheFace* face, int32_t lighting, float ambientFloor);

// ---- Dispatch ----

using qxRasterFaceFn = void (*)(qxCacheFace* face, qxMaterialCel* cel);
using qxRasterLitFaceFn = void (*)(qxCacheFace* face, qxMaterialCel* cel, float level);

// The selection table of one family: the face rasterizer for each row of
// geometry, texture, lighting, keying and translucency. Index [kind] is 0
// solid, 1 affine, 2 perspective; solid faces are never keyed.
struct qxRasterFamily {
  qxRasterFaceFn points;
  qxRasterFaceFn wireframe;
  qxRasterFaceFn unlit[3][2][2];  // [kind][keyed][translucent]
  qxRasterLitFaceFn lit[3][2][2];
  qxRasterFaceFn gouraud[3][2][2];
};
extern const qxRasterFamily qxRaster_family;   // without depth buffer
extern const qxRasterFamily qxZRaster_family;  // with the 16-bit depth buffer
// The tables the dispatchers use; null restores a family's own (tests put
// recording fakes in their place).
void qxRaster_SetFamilies(const qxRasterFamily* direct, const qxRasterFamily* zBuffered);

// Draw one face; 0 when its effective geometry is 0, else 1 (also when
// nothing was drawn).
int qxCache_DrawFaceDirect(qxCacheFace* face);
int qxCache_DrawFaceZBuffered(qxCacheFace* face);
// The same selection, ending in the face's own drawProc(face, cel, level)
// with the level of lighting 1 and 2, else 0.
int qxCache_DrawProceduralFace(qxCacheFace* face);

// Does nothing; 1.
int qxRaster_Open(void);
// Builds the reciprocal tables.
void qxRaster_Startup(void);

// ---- Edge records ----

// One side of a face on the current scan line. The solid and affine faces
// of the depth family carry w = 1/(z + 1) and its step; the left edge of a
// perspective face carries 1/z (1/(z + 1) with depth buffer), u/z and v/z at
// its exact point on the line. 16.16 values are signed.
struct qxRasterEdge {
  int32_t x, xStep;    // 16.16 edge x and its change per line
  int32_t lines;       // scan lines left on this section
  int32_t nextVertex;  // the vertex this section runs to
  float w, wStep;
  float invZ, invZStep, uOverZ, uOverZStep, vOverZ, vOverZStep;
  int32_t u, uStep, v, vStep;  // 16.16 full-size texels
  int32_t level, levelStep;    // 16.16 light level 0..63
  int32_t y;                   // the current scan line
};

// Tests watch the run set-up of the perspective span fillers through this
// hook: the first pixel's column, the run's pixel count and its factor.
// Null (the default) costs one test per run.
extern void (*qxRaster_runObserver)(int32_t x, int32_t count, float factor);

// ---- The family without depth buffer ----

void qxRaster_DrawPoints(qxCacheFace* face, qxMaterialCel* cel);
void qxRaster_DrawWireframe(qxCacheFace* face, qxMaterialCel* cel);

void qxRaster_DrawSolidUnlit(qxCacheFace* face, qxMaterialCel* cel);
void qxRaster_DrawSolidUnlitTrans(qxCacheFace* face, qxMaterialCel* cel);
void qxRaster_DrawSolidLit(qxCacheFace* face, qxMaterialCel* cel, float level);
void qxRaster_DrawSolidLitTrans(qxCacheFace* face, qxMaterialCel* cel, float level);
void qxRaster_DrawSolidGouraud(qxCacheFace* face, qxMaterialCel* cel);
void qxRaster_DrawSolidGouraudTrans(qxCacheFace* face, qxMaterialCel* cel);

void qxRaster_DrawAffineUnlit(qxCacheFace* face, qxMaterialCel* cel);
void qxRaster_DrawAffineUnlitTrans(qxCacheFace* face, qxMaterialCel* cel);
void qxRaster_DrawAffineUnlitKeyed(qxCacheFace* face, qxMaterialCel* cel);
void qxRaster_DrawAffineUnlitKeyedTrans(qxCacheFace* face, qxMaterialCel* cel);
void qxRaster_DrawAffineLit(qxCacheFace* face, qxMaterialCel* cel, float level);
void qxRaster_DrawAffineLitTrans(qxCacheFace* face, qxMaterialCel* cel, float level);
void qxRaster_DrawAffineLitKeyed(qxCacheFace* face, qxMaterialCel* cel, float level);
void qxRaster_DrawAffineLitKeyedTrans(qxCacheFace* face, qxMaterialCel* cel, float level);
void qxRaster_DrawAffineGouraud(qxCacheFace* face, qxMaterialCel* cel);
void qxRaster_DrawAffineGouraudTrans(qxCacheFace* face, qxMaterialCel* cel);
void qxRaster_DrawAffineGouraudKeyed(qxCacheFace* face, qxMaterialCel* cel);
void qxRaster_DrawAffineGouraudKeyedTrans(qxCacheFace* face, qxMaterialCel* cel);

void qxRaster_DrawPerspUnlit(qxCacheFace* face, qxMaterialCel* cel);
void qxRaster_DrawPerspUnlitTrans(qxCacheFace* face, qxMaterialCel* cel);
void qxRaster_DrawPerspUnlitKeyed(qxCacheFace* face, qxMaterialCel* cel);
void qxRaster_DrawPerspUnlitKeyedTrans(qxCacheFace* face, qxMaterialCel* cel);
void qxRaster_DrawPerspLit(qxCacheFace* face, qxMaterialCel* cel, float level);
void qxRaster_DrawPerspLitTrans(qxCacheFace* face, qxMaterialCel* cel, float level);
void qxRaster_DrawPerspLitKeyed(qxCacheFace* face, qxMaterialCel* cel, float level);
void qxRaster_DrawPerspLitKeyedTrans(qxCacheFace* face, qxMaterialCel* cel, float level);
void qxRaster_DrawPerspGouraud(qxCacheFace* face, qxMaterialCel* cel);
void qxRaster_DrawPerspGouraudTrans(qxCacheFace* face, qxMaterialCel* cel);
void qxRaster_DrawPerspGouraudKeyed(qxCacheFace* face, qxMaterialCel* cel);
void qxRaster_DrawPerspGouraudKeyedTrans(qxCacheFace* face, qxMaterialCel* cel);

// Per-face set-up of the face state that the caller filled: the mip level
// and the rounding biases (affine); also the per-vertex 1/z, u/z, v/z and
// their plane gradients (perspective). The argument is the face's minDepth.
void qxRaster_SetupAffineGradients(float depth);
void qxRaster_SetupPerspGradients(float minDepth);

// Edge steppers: 0 when the edge now describes a section of at least one
// scan line, 1 when its walk reached the bottom vertex.
int qxRaster_StepEdgeLeft(qxRasterEdge* edge);
int qxRaster_StepEdgeRight(qxRasterEdge* edge);
int qxRaster_StepGouraudEdgeLeft(qxRasterEdge* edge);
int qxRaster_StepGouraudEdgeRight(qxRasterEdge* edge);
int qxRaster_StepAffineEdgeLeft(qxRasterEdge* edge);
int qxRaster_StepAffineEdgeRight(qxRasterEdge* edge);
int qxRaster_StepAffineGouraudEdgeLeft(qxRasterEdge* edge);
int qxRaster_StepAffineGouraudEdgeRight(qxRasterEdge* edge);
int qxRaster_StepPerspEdgeLeft(qxRasterEdge* edge);
int qxRaster_StepPerspGouraudEdgeLeft(qxRasterEdge* edge);

// Span fillers: scan line y of the left edge, between the two edges.
void qxRaster_SpanFlat8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanFlat16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanFlatTrans8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanFlatTrans16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanGouraud8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanGouraud16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanGouraudTrans8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanGouraudTrans16(const qxRasterEdge* left, const qxRasterEdge* right);

void qxRaster_SpanAffineUnlit8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanAffineUnlit16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanAffineUnlitTrans8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanAffineUnlitTrans16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanAffineUnlitKeyed8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanAffineUnlitKeyed16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanAffineUnlitKeyedTrans8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanAffineUnlitKeyedTrans16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanAffineLit8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanAffineLit16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanAffineLitTrans8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanAffineLitTrans16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanAffineLitKeyed8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanAffineLitKeyed16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanAffineLitKeyedTrans8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanAffineLitKeyedTrans16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanAffineGouraud8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanAffineGouraud16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanAffineGouraudTrans8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanAffineGouraudTrans16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanAffineGouraudKeyed8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanAffineGouraudKeyed16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanAffineGouraudKeyedTrans8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanAffineGouraudKeyedTrans16(const qxRasterEdge* left, const qxRasterEdge* right);

void qxRaster_SpanPerspUnlit8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanPerspUnlit16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanPerspUnlitTrans8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanPerspUnlitTrans16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanPerspUnlitKeyed8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanPerspUnlitKeyed16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanPerspUnlitKeyedTrans8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanPerspUnlitKeyedTrans16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanPerspLit8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanPerspLit16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanPerspLitTrans8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanPerspLitTrans16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanPerspLitKeyed8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanPerspLitKeyed16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanPerspLitKeyedTrans8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanPerspLitKeyedTrans16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanPerspGouraud8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanPerspGouraud16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanPerspGouraudTrans8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanPerspGouraudTrans16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanPerspGouraudKeyed8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanPerspGouraudKeyed16(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanPerspGouraudKeyedTrans8(const qxRasterEdge* left, const qxRasterEdge* right);
void qxRaster_SpanPerspGouraudKeyedTrans16(const qxRasterEdge* left, const qxRasterEdge* right);
