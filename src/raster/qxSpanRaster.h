// The scan-line span rasterizer: the 3D library draws the face cache with it
// instead of the direct families when its occlusion method is 1.
//
// Every queued face becomes a polygon record whose per-type setup fills in
// its colour or texture addressing and installs two callbacks: the edge
// setup, which turns each pair of consecutive vertices into an edge record,
// and the span-list walker, which draws the polygon's spans. The canvas is
// then walked one scan line at a time: an x-sorted list of the edges that
// cross the line, and while the line is crossed from left to right a
// front-to-back stack of the polygons covering the current x (ordered by
// face tag, then by 1/z where the later one enters). Each time the front
// polygon changes, the piece of line it covered becomes one of its spans.
// Spans are queued per polygon and drawn polygon by polygon, so no pixel is
// drawn twice; the walkers then write the depth buffer without testing it.
//
// Depth here is 1/z (the direct families use 1/(z + 1)); a span's depth
// value is trunc(1/z x 65536) >> zShift, stored as its low 16 bits.
//
// Faces must be convex and lie on the canvas (the clippers see to both).
// Whatever arrives, nothing is read or written outside the pools, the
// reciprocal tables, the texture levels and the canvas rectangle: a face
// that reaches outside the canvas rows or lacks what its setup needs is not
// drawn (logged once per kind), edges outside the rows are rejected, a line
// where a polygon's pair of edges is 0 or fewer, or more than 2047 pixels
// apart emits no span for it, and every span is held to the canvas columns.
//
// Everything runs on the thread that flushes the face cache, on the
// module-wide state below; nothing is allocated.
#pragma once

#include <cstdint>

#include "quadrix/qxCache.h"

struct qxSpanPolygon;
struct qxSpanEdge;
struct qxSpan;

// Fills the edge from vertex `from` to vertex `to` of the polygon's face:
// non-zero when it covers at least one scan line, else 0.
using qxSpanEdgeProc = int32_t (*)(qxSpanEdge* edge, qxSpanPolygon* polygon, int32_t from,
                                   int32_t to);
// Advances an edge by one scan line.
using qxSpanStepProc = void (*)(qxSpanEdge* edge);
// Draws every queued span of a polygon.
using qxSpanWalkProc = void (*)(qxSpanPolygon* polygon);

// What a setup gave a polygon: the scan-line walk derives its depth
// gradient and span values from this, not from the face's own modes.
enum : uint32_t {
  QXSPAN_KIND_FLAT = 0,       // wireframe, solid unlit and lit: x and 1/z
  QXSPAN_KIND_GOURAUD = 0x1,  // also a light level per span
  QXSPAN_KIND_AFFINE = 0x2,   // also 16.16 u and v per span
  QXSPAN_KIND_PERSP = 0x4,    // u/z and v/z per span; plane gradients of the whole face
};

struct qxSpanPolygon {
  qxCacheFace* face;
  float invZ[QXCACHE_MAX_FACE_VERTICES];  // 1/z of each vertex
  float uOverZ[QXCACHE_MAX_FACE_VERTICES];
  float vOverZ[QXCACHE_MAX_FACE_VERTICES];
  float dInvZdX, dInvZdY, dUOverZdX, dUOverZdY, dVOverZdX, dVOverZdY;
  int32_t zStep;                              // 16.16 depth step per pixel: dInvZdX x 65536
  int32_t uBias, vBias;                       // 32768 or 32767: the rounding of texture coordinates
  float dInvZdX16, dUOverZdX16, dVOverZdX16;  // one run of 16 pixels
  qxSpanWalkProc walkProc;
  qxSpan* spanHead;
  qxSpan* spanTail;
  int32_t mipLevel;
  const uint8_t* texels;       // the first texel of the mip level
  int32_t mipShift;            // log2 of the level's row length
  int32_t flatColour;          // untextured: the palette index (low 8 bits)
  int32_t uMask;               // applied to the integer part of u
  int32_t vMask;               // the row part of a texel offset
  const uint8_t* lightRow;     // 8-bit canvases: one row of lightTable, or all of it
  const uint16_t* lightRow16;  // 16-bit canvases: one row of lightTable16, or all of it
  qxSpanEdgeProc edgeProc;
  qxSpanEdge* leftEdge;  // the most recently activated left and right edge
  qxSpanEdge* rightEdge;
  int32_t spanStartX;        // 16.16 whole pixel: where the visible piece on this line began
  int32_t insideCount;       // left minus right edges passed on this line
  qxSpanPolygon* stackPrev;  // toward the front of the depth stack
  qxSpanPolygon* stackNext;  // toward the back
  uint32_t kind;             // QXSPAN_KIND_*
};

struct qxSpanEdge {
  int32_t isLeft;  // 1: runs downward in the order its vertices were given
  qxSpanPolygon* polygon;
  int32_t startLine;
  int32_t lineCount;  // at least 1
  float invZ, invZStep, uOverZ, uOverZStep, vOverZ, vOverZStep;
  int32_t x, xStep;            // 16.16
  int32_t u, uStep, v, vStep;  // 16.16 texels of the full-size texture
  int32_t level, levelStep;    // 16.16 light level 0..63
  qxSpanStepProc stepProc;
  qxSpanEdge* prev;  // active-edge list; `next` also links a start bucket
  qxSpanEdge* next;
  qxSpanEdge* nextEnding;  // the bucket of edges that end on the same line
};

struct qxSpan {
  int32_t x;       // first pixel
  int32_t length;  // pixel count, at least 1
  int32_t y;
  int32_t u, uStep, v, vStep;  // affine: 16.16 texels of the chosen mip level
  float uOverZ, vOverZ;        // perspective: at the first pixel
  float invZ;                  // at the first pixel
  int32_t level, levelStep;    // Gouraud: 16.16 at the first pixel, and per pixel
  qxSpan* next;                // the polygon's next queued span
};

constexpr int QXSPAN_MAX_POLYGONS = 8192;
constexpr int QXSPAN_MAX_EDGES = 32768;
constexpr int QXSPAN_MAX_SPANS = 2048;
constexpr int QXSPAN_MAX_LINES = 1024;

struct qxSpanRasterState {
  qxSpanPolygon polygons[QXSPAN_MAX_POLYGONS];
  int32_t polygonCount;
  qxSpanEdge edges[QXSPAN_MAX_EDGES];
  int32_t edgeCount;
  qxSpan spans[QXSPAN_MAX_SPANS];
  int32_t spanCount;
  qxSpanEdge* startBuckets[QXSPAN_MAX_LINES];  // sorted by x, linked by next
  qxSpanEdge* endBuckets[QXSPAN_MAX_LINES];    // linked by nextEnding
  qxSpanEdge activeHead;                       // x = -1.0
  qxSpanEdge activeTail;                       // x = 0x7FFFFFFF
  int32_t currentLine;
  int32_t minLine, maxLine;  // of every built edge
  int32_t setupCount;        // polygons set up since the last ResetStats
};
extern qxSpanRasterState qxSpanRaster_state;

// ---- The driver ----

// Prepares the state for one flush of the face cache.
void qxSpanRaster_Reset(void);
// Sets up every queued face, builds the edges, walks the lines and draws
// every queued span.
void qxSpanRaster_Run(void);
// setupCount = 0; the library's open and frame start call it.
void qxSpanRaster_ResetStats(void);
// Makes the face's polygon record: 0 when it gets none (the pool is full, or
// its effective geometry is 0), else 1, whether a setup ran or not.
int32_t qxSpanRaster_SetupFace(qxCacheFace* face);

// The steps of a run.
void qxSpanRaster_BuildEdges(void);
void qxSpanRaster_InsertEdges(void);
void qxSpanRaster_ScanLine(void);
void qxSpanRaster_RemoveEdges(void);
void qxSpanRaster_StepEdges(void);
void qxSpanRaster_FlushSpans(void);

// ---- Setups ----
// Each fills the polygon for its type and installs its walker and edge
// setup. A polygon whose face lacks what the type needs (cel, colormap
// tables, texture level, vertices on the canvas rows) gets instead the edge
// setup that rejects every edge, and draws nothing.

void qxSpanRaster_SetupWireframe(qxSpanPolygon* polygon, qxMaterialCel* cel);
void qxSpanRaster_SetupSolidUnlit(qxSpanPolygon* polygon, qxMaterialCel* cel);
void qxSpanRaster_SetupSolidLit(qxSpanPolygon* polygon, qxMaterialCel* cel, float level);
void qxSpanRaster_SetupSolidGouraud(qxSpanPolygon* polygon, qxMaterialCel* cel);
void qxSpanRaster_SetupAffineUnlit(qxSpanPolygon* polygon, qxMaterialCel* cel);
void qxSpanRaster_SetupAffineUnlitKeyed(qxSpanPolygon* polygon, qxMaterialCel* cel);
void qxSpanRaster_SetupAffineLit(qxSpanPolygon* polygon, qxMaterialCel* cel, float level);
void qxSpanRaster_SetupAffineLitKeyed(qxSpanPolygon* polygon, qxMaterialCel* cel, float level);
void qxSpanRaster_SetupAffineGouraud(qxSpanPolygon* polygon, qxMaterialCel* cel);
void qxSpanRaster_SetupAffineGouraudKeyed(qxSpanPolygon* polygon, qxMaterialCel* cel);
void qxSpanRaster_SetupPerspUnlit(qxSpanPolygon* polygon, qxMaterialCel* cel);
void qxSpanRaster_SetupPerspUnlitKeyed(qxSpanPolygon* polygon, qxMaterialCel* cel);
void qxSpanRaster_SetupPerspLit(qxSpanPolygon* polygon, qxMaterialCel* cel, float level);
void qxSpanRaster_SetupPerspLitKeyed(qxSpanPolygon* polygon, qxMaterialCel* cel, float level);
void qxSpanRaster_SetupPerspGouraud(qxSpanPolygon* polygon, qxMaterialCel* cel);
void qxSpanRaster_SetupPerspGouraudKeyed(qxSpanPolygon* polygon, qxMaterialCel* cel);

// Installs the edge setup that rejects every edge and a walker that draws
// nothing: the polygon is counted but contributes nothing.
void qxSpanRaster_SetupNone(qxSpanPolygon* polygon);

// Per-vertex 1/z, the mip level (lastMip = the texture's mip count - 1,
// held to 0..3) and the rounding biases; the perspective one also u/z, v/z,
// the six plane gradients and zStep.
void qxSpanRaster_SetupAffineGradients(qxSpanPolygon* polygon, int32_t lastMip);
void qxSpanRaster_SetupPerspGradients(qxSpanPolygon* polygon, int32_t lastMip);

// ---- Edges ----

int32_t qxSpanRaster_EdgeSetupNone(qxSpanEdge* edge, qxSpanPolygon* polygon, int32_t from,
                                   int32_t to);
int32_t qxSpanRaster_EdgeSetupFlat(qxSpanEdge* edge, qxSpanPolygon* polygon, int32_t from,
                                   int32_t to);
int32_t qxSpanRaster_EdgeSetupGouraud(qxSpanEdge* edge, qxSpanPolygon* polygon, int32_t from,
                                      int32_t to);
int32_t qxSpanRaster_EdgeSetupAffine(qxSpanEdge* edge, qxSpanPolygon* polygon, int32_t from,
                                     int32_t to);
int32_t qxSpanRaster_EdgeSetupAffineGouraud(qxSpanEdge* edge, qxSpanPolygon* polygon, int32_t from,
                                            int32_t to);
int32_t qxSpanRaster_EdgeSetupPersp(qxSpanEdge* edge, qxSpanPolygon* polygon, int32_t from,
                                    int32_t to);
int32_t qxSpanRaster_EdgeSetupPerspGouraud(qxSpanEdge* edge, qxSpanPolygon* polygon, int32_t from,
                                           int32_t to);

void qxSpanRaster_StepEdgeFlat(qxSpanEdge* edge);
void qxSpanRaster_StepEdgeGouraud(qxSpanEdge* edge);
void qxSpanRaster_StepEdgeAffine(qxSpanEdge* edge);
void qxSpanRaster_StepEdgeAffineGouraud(qxSpanEdge* edge);
void qxSpanRaster_StepLeftEdgePersp(qxSpanEdge* edge);
void qxSpanRaster_StepRightEdgePersp(qxSpanEdge* edge);
void qxSpanRaster_StepLeftEdgePerspGouraud(qxSpanEdge* edge);
void qxSpanRaster_StepRightEdgePerspGouraud(qxSpanEdge* edge);

// ---- Walkers, fillers and depth ----
// A walker loads the polygon's values into the fillers' working values and
// fills each of its spans on the current camera's canvas (8- or 16-bit;
// other depths get no pixels), then writes the depth of each span (unkeyed
// polygons; keyed ones write depth only where they drew; outlines never).
// A canvas without a usable depth buffer gets no depth.

void qxSpanRaster_WalkNone(qxSpanPolygon* polygon);
void qxSpanRaster_WalkOutline(qxSpanPolygon* polygon);
void qxSpanRaster_WalkSolidUnlit(qxSpanPolygon* polygon);
void qxSpanRaster_WalkSolidLit(qxSpanPolygon* polygon);
void qxSpanRaster_WalkSolidGouraud(qxSpanPolygon* polygon);
void qxSpanRaster_WalkAffineUnlit(qxSpanPolygon* polygon);
void qxSpanRaster_WalkAffineUnlitKeyed(qxSpanPolygon* polygon);
void qxSpanRaster_WalkAffineLit(qxSpanPolygon* polygon);
void qxSpanRaster_WalkAffineLitKeyed(qxSpanPolygon* polygon);
void qxSpanRaster_WalkAffineGouraud(qxSpanPolygon* polygon);
void qxSpanRaster_WalkAffineGouraudKeyed(qxSpanPolygon* polygon);
void qxSpanRaster_WalkPerspUnlit(qxSpanPolygon* polygon);
void qxSpanRaster_WalkPerspUnlitKeyed(qxSpanPolygon* polygon);
void qxSpanRaster_WalkPerspLit(qxSpanPolygon* polygon);
void qxSpanRaster_WalkPerspLitKeyed(qxSpanPolygon* polygon);
void qxSpanRaster_WalkPerspGouraud(qxSpanPolygon* polygon);
void qxSpanRaster_WalkPerspGouraudKeyed(qxSpanPolygon* polygon);

// Span fillers: one span with the working values the walker loaded.
void qxSpanRaster_SpanAffineUnlit8(const qxSpan* span);
void qxSpanRaster_SpanAffineUnlit16(const qxSpan* span);
void qxSpanRaster_SpanAffineUnlitKeyed8(const qxSpan* span);
void qxSpanRaster_SpanAffineUnlitKeyed16(const qxSpan* span);
void qxSpanRaster_SpanAffineLit8(const qxSpan* span);
void qxSpanRaster_SpanAffineLit16(const qxSpan* span);
void qxSpanRaster_SpanAffineLitKeyed8(const qxSpan* span);
void qxSpanRaster_SpanAffineLitKeyed16(const qxSpan* span);
void qxSpanRaster_SpanAffineGouraud8(const qxSpan* span);
void qxSpanRaster_SpanAffineGouraud16(const qxSpan* span);
void qxSpanRaster_SpanAffineGouraudKeyed8(const qxSpan* span);
void qxSpanRaster_SpanAffineGouraudKeyed16(const qxSpan* span);
void qxSpanRaster_SpanPerspUnlit8(const qxSpan* span);
void qxSpanRaster_SpanPerspUnlit16(const qxSpan* span);
void qxSpanRaster_SpanPerspUnlitKeyed8(const qxSpan* span);
void qxSpanRaster_SpanPerspUnlitKeyed16(const qxSpan* span);
void qxSpanRaster_SpanPerspLit8(const qxSpan* span);
void qxSpanRaster_SpanPerspLit16(const qxSpan* span);
void qxSpanRaster_SpanPerspLitKeyed8(const qxSpan* span);
void qxSpanRaster_SpanPerspLitKeyed16(const qxSpan* span);
void qxSpanRaster_SpanPerspGouraud8(const qxSpan* span);
void qxSpanRaster_SpanPerspGouraud16(const qxSpan* span);
void qxSpanRaster_SpanPerspGouraudKeyed8(const qxSpan* span);
void qxSpanRaster_SpanPerspGouraudKeyed16(const qxSpan* span);

// Writes the span's depth values with the current polygon's zStep, without
// comparing.
void qxSpanRaster_WriteSpanZ(const qxSpan* span);
