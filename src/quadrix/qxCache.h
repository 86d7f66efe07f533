// The face cache: every face the software path draws is projected, queued
// here, and at the end of the frame (or when the table fills) optionally
// sorted by depth and handed to the rasterizers chosen by the occlusion and
// z-buffer options (through the rasterizer's table, qxRasterizer.h). Static
// table and pools: nothing is allocated per face.
//
// A producer takes an entry with qxCache_NewFace, writes its fields and at
// most 32 vertices into the arrays the entry points to, and commits it with
// the bits of the pools it used (QXCACHE_POOL_*); pools whose bit is clear
// are not advanced, so the next face reuses that space.
#pragma once

#include <cstdint>

#include "quadrix/qxVector.h"

struct qxMaterialCel;
struct qxColormap;
struct qxMaterial;
struct qxSpanPolygon;

constexpr int QXCACHE_MAX_FACES = 8192;
constexpr int QXCACHE_POOL_SIZE = 0x40000;
constexpr int QXCACHE_MAX_FACE_VERTICES = 32;

enum : uint32_t {
  QXCACHE_ENTRY_PROCEDURAL = 0x1,  // drawn by the face's own callbacks
};

enum : uint32_t {
  QXCACHE_FACE_TRANSLUCENT = 0x2,
};

enum : int32_t {
  QXCACHE_POOL_SCREEN = 1,
  QXCACHE_POOL_TEXTURE = 2,
  QXCACHE_POOL_LIGHT = 4,
};

struct qxCacheFace {
  uint32_t entryFlags;                                                   // commit: QXCACHE_ENTRY_*
  uint32_t faceFlags;                                                    // producer: QXCACHE_FACE_*
  int32_t geometryMode, lightingMode, textureMode;                       // the face's own modes
  void (*drawProc)(qxCacheFace* face, qxMaterialCel* cel, float level);  // procedural faces
  void (*spanProc)(qxSpanPolygon* polygon, qxMaterialCel* cel, float level);  // span path
  uint32_t vertexCount;                                                       // commit
  qxVector3* screenVerts;  // x, y in pixels, camera-space depth
  qxVector2* texVerts;     // u, v
  float* levels;           // per-vertex light 0..1 (rasterizers write 0..63)
  float* red;              // the same storage as levels
  float* green;
  float* blue;
  qxMaterial* material;             // null = no material
  int32_t celIndex;                 // -1 = the material's current cel
  float ambientFloor;               // lowest level when render flag 2 is set
  float faceLight;                  // constant light of lighting mode 2
  float extraLight;                 // added light of lighting modes 1 to 3
  qxColormap* colormap;             // commit: the current colormap
  int32_t reverseWinding;           // 1 when the face is seen from its back
  int32_t x0, x1;                   // commit: ceil of the smallest and largest screen x
  int32_t y0, y1;                   // commit: ceil of the smallest and largest screen y
  float minDepth, maxDepth;         // commit
  int32_t topVertex, bottomVertex;  // commit: smallest and largest y
  uint32_t faceTag;                 // commit: the face sort key option
};

// Drawn-area bounds over every face committed (or measured, below) since the
// render module last reset them (smallest x0, y0 and largest x1, y1), signed
// and kept inside the current canvas.
extern int32_t qxCache_drawnX0;
extern int32_t qxCache_drawnX1;
extern int32_t qxCache_drawnY0;
extern int32_t qxCache_drawnY1;

int qxCache_Startup(void);
// Flushes when the table is full; null when a pool has fewer than 32 free entries.
qxCacheFace* qxCache_NewFace(void);
// 1 queued, 0 refused (full table, bad vertex count, non-finite or
// out-of-range vertices, zero screen width or height).
int qxCache_CommitFace(uint32_t entryFlags, int32_t vertexCount, int32_t poolFlags);
// Widens the drawn area by a projected face's bounds as a commit would, for
// faces that a back end of its own draws instead of the cache; 1 when
// widened, 0 for a face the commit would refuse.
int qxCache_WidenDrawnArea(const qxVector3* screenVerts, int32_t vertexCount);
void qxCache_Flush(void);
void qxCache_Reset(void);

// Queued faces, for the span rasterizer which reads the whole cache.
int qxCache_GetFaceCount(void);
qxCacheFace* qxCache_GetFaces(void);
