#include "quadrix/qxCache.h"

#include <algorithm>
#include <cmath>

#include "platform/kv_Log.h"
#include "quadrix/qxCamera.h"
#include "quadrix/qxCanvas.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxRasterizer.h"

int32_t qxCache_drawnX0 = 0;
int32_t qxCache_drawnX1 = 0;
int32_t qxCache_drawnY0 = 0;
int32_t qxCache_drawnY1 = 0;

namespace {

qxCacheFace g_faces[QXCACHE_MAX_FACES];
int g_faceCount = 0;

qxVector3 g_screenPool[QXCACHE_POOL_SIZE];
int g_screenCount = 0;
qxVector2 g_texPool[QXCACHE_POOL_SIZE];
int g_texCount = 0;
float g_levelPool[QXCACHE_POOL_SIZE];  // also the red channel
float g_greenPool[QXCACHE_POOL_SIZE];
float g_bluePool[QXCACHE_POOL_SIZE];
int g_lightCount = 0;

bool g_warnedNoRasterizer = false;

// Screen coordinates beyond this are a broken projection, not a face.
constexpr float kCoordinateLimit = 1073741824.0f;  // 2^30

void EmptyCache() {
  g_faceCount = 0;
  g_screenCount = 0;
  g_texCount = 0;
  g_lightCount = 0;
}

// The faces of a flush that no rasterizer is installed to draw: dropped.
// The log says so once, until a flush finds a rasterizer again.
void DropWithoutRasterizer() {
  if (!g_warnedNoRasterizer) {
    kv_Log_Printf("[Quadrix] - no rasterizer is installed: %d faces not drawn", g_faceCount);
    g_warnedNoRasterizer = true;
  }
  EmptyCache();
}

// A projected face's bounds: false for a broken projection or a face of no
// width or height on screen.
struct FaceBounds {
  float minX, maxX, minY, maxY, minZ, maxZ;
  int top, bottom;  // the vertices of smallest and largest y
};
bool MeasureFace(const qxVector3* v, int vertexCount, FaceBounds* b) {
  *b = {v[0].x, v[0].x, v[0].y, v[0].y, v[0].z, v[0].z, 0, 0};
  for (int i = 0; i < vertexCount; ++i) {
    const qxVector3 p = v[i];
    // A degenerate projection must not reach the integer conversions.
    if (!(std::fabs(p.x) < kCoordinateLimit && std::fabs(p.y) < kCoordinateLimit &&
          std::isfinite(p.z))) {
      return false;
    }
    if (p.x < b->minX) b->minX = p.x;
    if (p.x > b->maxX) b->maxX = p.x;
    if (p.y < b->minY) {
      b->minY = p.y;
      b->top = i;
    }
    if (p.y > b->maxY) {
      b->maxY = p.y;
      b->bottom = i;
    }
    if (p.z < b->minZ) b->minZ = p.z;
    if (p.z > b->maxZ) b->maxZ = p.z;
  }
  return b->maxX > b->minX && b->maxY > b->minY;
}

int32_t Ceil(float v) {
  return static_cast<int32_t>(std::ceil(v));
}

void WidenDrawnArea(int32_t x0, int32_t x1, int32_t y0, int32_t y1) {
  // Kept inside the canvas: faces rounded just past its left or top edge
  // must not push the area out (the render module reads it as a rectangle).
  if (const qxCamera* camera = qxCore_pCurrentCamera; camera && camera->canvas) {
    const qxCanvas* cv = camera->canvas;
    x0 = std::clamp(x0, cv->rectLeft, std::max(cv->rectLeft, cv->rectRight));
    x1 = std::clamp(x1, cv->rectLeft, std::max(cv->rectLeft, cv->rectRight));
    y0 = std::clamp(y0, cv->rectTop, std::max(cv->rectTop, cv->rectBottom));
    y1 = std::clamp(y1, cv->rectTop, std::max(cv->rectTop, cv->rectBottom));
  }
  if (x0 < qxCache_drawnX0) qxCache_drawnX0 = x0;
  if (x1 > qxCache_drawnX1) qxCache_drawnX1 = x1;
  if (y0 < qxCache_drawnY0) qxCache_drawnY0 = y0;
  if (y1 > qxCache_drawnY1) qxCache_drawnY1 = y1;
}

}  // namespace

int qxCache_Startup(void) {
  return 1;
}

qxCacheFace* qxCache_NewFace(void) {
  if (g_faceCount >= QXCACHE_MAX_FACES) qxCache_Flush();
  const int reserve = QXCACHE_MAX_FACE_VERTICES;
  if (QXCACHE_POOL_SIZE - g_screenCount < reserve || QXCACHE_POOL_SIZE - g_texCount < reserve ||
      QXCACHE_POOL_SIZE - g_lightCount < reserve) {
    return nullptr;
  }
  qxCacheFace* face = &g_faces[g_faceCount];
  face->screenVerts = &g_screenPool[g_screenCount];
  face->texVerts = &g_texPool[g_texCount];
  face->levels = &g_levelPool[g_lightCount];
  face->red = face->levels;
  face->green = &g_greenPool[g_lightCount];
  face->blue = &g_bluePool[g_lightCount];
  return face;
}

int qxCache_CommitFace(uint32_t entryFlags, int32_t vertexCount, int32_t poolFlags) {
  if (g_faceCount >= QXCACHE_MAX_FACES) return 0;
  if (vertexCount < 1 || vertexCount > QXCACHE_MAX_FACE_VERTICES) return 0;
  qxCacheFace* face = &g_faces[g_faceCount];
  face->faceTag = static_cast<uint32_t>(qxCore_GetFaceSortKey());
  face->entryFlags = entryFlags;
  face->vertexCount = static_cast<uint32_t>(vertexCount);

  FaceBounds b;
  if (!MeasureFace(face->screenVerts, vertexCount, &b)) return 0;
  face->x0 = Ceil(b.minX);
  face->x1 = Ceil(b.maxX);
  face->y0 = Ceil(b.minY);
  face->y1 = Ceil(b.maxY);
  face->minDepth = b.minZ;
  face->maxDepth = b.maxZ;
  face->topVertex = b.top;
  face->bottomVertex = b.bottom;

  if (poolFlags & QXCACHE_POOL_SCREEN) g_screenCount += vertexCount;
  if (poolFlags & QXCACHE_POOL_TEXTURE) g_texCount += vertexCount;
  if (poolFlags & QXCACHE_POOL_LIGHT) g_lightCount += vertexCount;
  ++g_faceCount;
  face->colormap = qxCore_pCurrentColormap;
  WidenDrawnArea(face->x0, face->x1, face->y0, face->y1);
  return 1;
}

int qxCache_WidenDrawnArea(const qxVector3* screenVerts, int32_t vertexCount) {
  if (!screenVerts || vertexCount < 1 || vertexCount > QXCACHE_MAX_FACE_VERTICES) return 0;
  FaceBounds b;
  if (!MeasureFace(screenVerts, vertexCount, &b)) return 0;
  WidenDrawnArea(Ceil(b.minX), Ceil(b.maxX), Ceil(b.minY), Ceil(b.maxY));
  return 1;
}

void qxCache_Flush(void) {
  if (g_faceCount == 0) return;
  if (qxCore_GetSortingMethod() == 2) {
    // Farthest first; equal depths keep their queue order.
    std::stable_sort(
        g_faces, g_faces + g_faceCount,
        [](const qxCacheFace& a, const qxCacheFace& b) { return a.minDepth > b.minDepth; });
  }
  // With an accelerated level the faces would go to the 3D device's batches,
  // a path this program does not have: they are counted and dropped.
  if (qxCore_accelLevel <= 0) {
    const qxRasterizerCalls raster = qxRasterizer_Calls();
    const int occlusion = qxCore_GetOcclusionMethod();
    const int zMethod = qxCore_GetZBufferMethod();
    if (occlusion == 0 && (zMethod == 0 || zMethod == 2)) {
      auto* draw = zMethod == 0 ? raster.drawFaceDirect : raster.drawFaceZBuffered;
      if (!draw || !raster.drawProceduralFace) return DropWithoutRasterizer();
      g_warnedNoRasterizer = false;
      for (int i = 0; i < g_faceCount; ++i) {
        qxCacheFace* face = &g_faces[i];
        if (face->entryFlags & QXCACHE_ENTRY_PROCEDURAL) {
          raster.drawProceduralFace(face);
        } else {
          draw(face);
        }
      }
    } else if (occlusion == 1) {
      if (!raster.spanReset || !raster.spanRun) return DropWithoutRasterizer();
      g_warnedNoRasterizer = false;
      raster.spanReset();
      raster.spanRun();
    }
  }
  qxCore_facesDrawn += g_faceCount;
  EmptyCache();
}

void qxCache_Reset(void) {
  EmptyCache();
}

int qxCache_GetFaceCount(void) {
  return g_faceCount;
}

qxCacheFace* qxCache_GetFaces(void) {
  return g_faces;
}
