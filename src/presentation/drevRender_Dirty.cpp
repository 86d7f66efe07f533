// The render module: dirty rectangles, clean buffers, cached rectangles and
// the pick of a world point from the clean depth image.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/drevMain.h"
#include "platform/kv_Log.h"
#include "platform/kv_RenderHooks.h"
#include "presentation/drevRender_Internal.h"
#include "quadrix/qxCamera.h"
#include "quadrix/qxCanvas.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxVector_Values.h"
#include "std/std.h"
#include "std/stdDevice3D.h"
#include "std/stdMemory.h"

namespace {

RenderState& S() {
  return drevRender_State();
}

HostServices* Services() {
  return S().services ? S().services : std_pHS;
}

void Unlink(DirtyRect* node) {
  RenderState& s = S();
  if (node->prev)
    node->prev->next = node->next;
  else
    s.head = node->next;
  if (node->next) node->next->prev = node->prev;
  node->next = node->prev = nullptr;
}

void FreeNode(DirtyRect* node) {
  Unlink(node);
  --S().count;
  Memory_PoolFree(node);
}

// Inserts the rectangle [left, right) x [top, bottom) with merging.
void Insert(int left, int top, int right, int bottom, int z, int countdown) {
  RenderState& s = S();
  for (DirtyRect* node = s.head; node;) {
    DirtyRect* following = node->next;
    const int nl = node->x, nt = node->y;
    const int nr = nl + node->width, nb = nt + node->height;
    if (node->countdown != countdown || !(nl < right && left < nr && nt < bottom && top < nb)) {
      node = following;
      continue;
    }
    // Inside the node: only its flag can rise.
    if (left >= nl && top >= nt && right <= nr && bottom <= nb) {
      node->zRestore = std::max(node->zRestore, z);
      return;
    }
    z = std::max(z, node->zRestore);
    const bool absorbed = nl >= left && nr <= right && nt >= top && nb <= bottom;
    const int followingFlag = following ? following->zRestore : 0;
    FreeNode(node);
    if (absorbed) {
      node = following;
      continue;
    }
    // Split the union into a middle band spanning both widths and the parts
    // above and below it.
    const int bandZ = (z || followingFlag) ? 1 : 0;
    const int midTop = std::max(nt, top), midBottom = std::min(nb, bottom);
    Insert(std::min(nl, left), midTop, std::max(nr, right), midBottom, bandZ, countdown);
    if (nt != top) {
      if (nt < top)
        Insert(nl, nt, nr, midTop, bandZ, countdown);
      else
        Insert(left, top, right, midTop, bandZ, countdown);
    }
    if (nb != bottom) {
      if (nb > bottom)
        Insert(nl, midBottom, nr, nb, bandZ, countdown);
      else
        Insert(left, midBottom, right, bottom, bandZ, countdown);
    }
    return;
  }
  if (!s.pool) return;
  auto* node = static_cast<DirtyRect*>(Memory_PoolAlloc(s.pool));
  if (!node) return;  // the pool is exhausted: the rectangle is dropped
  node->x = left;
  node->y = top;
  node->width = right - left;
  node->height = bottom - top;
  node->zRestore = z;
  node->countdown = countdown;
  node->id = s.nextId++;
  node->prev = nullptr;
  node->next = s.head;
  if (s.head) s.head->prev = node;
  s.head = node;
  ++s.count;
}

// Aligns the rectangle to 4-pixel columns (x down, width up) and cuts it to
// the screen. False when nothing is left.
bool Align(const int* rect, int* out) {
  if (!rect || rect[2] <= 0 || rect[3] <= 0) return false;
  int64_t x = rect[0], width = rect[2];
  const int64_t r = x % 4;  // truncated toward zero
  x -= r;
  width += r;
  if (width % 4 != 0) width = width - width % 4 + 4;
  int64_t left = std::max<int64_t>(x, 0), top = std::max<int64_t>(rect[1], 0);
  const int64_t right = std::min<int64_t>(x + width, kScreenWidth);
  const int64_t bottom = std::min<int64_t>(int64_t{rect[1]} + rect[3], kScreenHeight);
  if (right <= left || bottom <= top) return false;
  out[0] = static_cast<int>(left);
  out[1] = static_cast<int>(top);
  out[2] = static_cast<int>(right - left);
  out[3] = static_cast<int>(bottom - top);
  return true;
}

}  // namespace

// ---- The list ------------------------------------------------------------------------

void drevRender_AddDirtyRect(const int* rect, int zRestore, int countdown) {
  if (!rect || rect[2] <= 0 || rect[3] <= 0) return;
  const auto edge = [](int start, int size) {
    return static_cast<int>(std::min<int64_t>(int64_t{start} + size, INT32_MAX));
  };
  Insert(rect[0], rect[1], edge(rect[0], rect[2]), edge(rect[1], rect[3]), zRestore, countdown);
}

void drevRender_InvalidateRect(const int* rect, int zRestore) {
  int aligned[4];
  if (!Align(rect, aligned)) return;
  drevRender_AddDirtyRect(aligned, zRestore, S().bufferCount - 1);
}

void drevRender_InvalidateRectAllBuffers(const int* rect, int zRestore) {
  int aligned[4];
  if (!Align(rect, aligned)) return;
  drevRender_AddDirtyRectAllBuffers(aligned, zRestore);
}

void drevRender_AddDirtyRectAllBuffers(const int* rect, int zRestore) {
  for (int k = 0; k < S().bufferCount; ++k) drevRender_AddDirtyRect(rect, zRestore, k);
}

void drevRender_ClearDirtyRects(void) {
  RenderState& s = S();
  while (s.head) FreeNode(s.head);
  s.count = 0;
}

int drevRender_GetDirtyRectCount(void) {
  return S().count;
}

int drevRender_GetDirtyRects(DirtyRectInfo* out, int capacity) {
  int n = 0;
  for (const DirtyRect* node = S().head; node && n < capacity; node = node->next, ++n) {
    out[n] = {node->x, node->y, node->width, node->height, node->zRestore, node->countdown};
  }
  return n;
}

void drevRender_BlitRect(DisplayBuffer* target, DisplayBuffer* source, int x, int y,
                         const stdRect* rect) {
  if (!target || !source) return;
  kv_RenderHooks_Blit(target, target->surface, source, source->surface, x, y, rect, 0);
}

bool drevRender_CanvasViewport(int* rect) {
  const qxCanvas* canvas = S().canvas;
  if (!canvas) return false;
  rect[0] = canvas->rectLeft;
  rect[1] = canvas->rectTop;
  rect[2] = canvas->rectRight - canvas->rectLeft + 1;
  rect[3] = canvas->rectBottom - canvas->rectTop + 1;
  return true;
}

void drevRender_FlushDirtyRects(DisplayBuffer* target, DisplayBuffer* zTarget) {
  RenderState& s = S();
  drevRenderCalls& calls = drevRender_Calls();
  if (!calls.roomGetCurrent()) return;
  const bool debugView = (s.debugFlags & kDebugView) != 0;
  int viewport[4];
  if (debugView && drevRender_CanvasViewport(viewport)) {
    const stdRect r{viewport[0], viewport[1], viewport[2], viewport[3]};
    drevRender_BlitRect(target, drevRender_pCleanBuffer, r.x, r.y, &r);
  }
  ++s.flushCounter;
  for (DirtyRect* node = s.head; node;) {
    DirtyRect* following = node->next;
    node->x = std::max(node->x, 0);
    node->y = std::max(node->y, 0);
    node->width = std::min(node->width, kScreenWidth);
    node->height = std::min(node->height, kScreenHeight);
    const stdRect r{node->x, node->y, node->width, node->height};
    if (zTarget && node->zRestore) {
      if (s.renderFlags & kRenderNoDepth) {
        if (s.hardwareAccelerated) {
          const int viewportRect[4] = {r.x, r.y, r.width, r.height};
          stdDevice3D_SetViewport(viewportRect);
          stdDevice3D_ClearBuffers();
        } else {
          kv_RenderHooks_FillBuffer(zTarget, 0, &r);
        }
      } else {
        drevRender_BlitRect(zTarget, drevRender_pCleanZBuffer, r.x, r.y, &r);
      }
    }
    if (node->countdown-- > 0) {
      node = following;
      continue;
    }
    if (s.renderFlags & kRenderNoBackground)
      kv_RenderHooks_FillBuffer(target, 0, &r);
    else
      drevRender_BlitRect(target, drevRender_pCleanBuffer, r.x, r.y, &r);
    Unlink(node);
    if (debugView && (s.debugFlags & kDebugDirtyRects) && drevRender_pDisplayRaster) {
      stdDisplay_LockBuffer(drevRender_pDisplayRaster);
      qxCanvas* canvas = qxCore_pCurrentCamera ? qxCore_pCurrentCamera->canvas : nullptr;
      if (canvas) {
        calls.rectHook(canvas, r.x, r.y, r.x + r.width, r.y + r.height, s.flushCounter, -1);
      }
      stdDisplay_UnlockBuffer(drevRender_pDisplayRaster);
    }
    --s.count;
    Memory_PoolFree(node);
    node = following;
  }
}

void drevRender_SetDirtyFlushEnabled(int enabled) {
  S().dirtyFlushEnabled = enabled;
}

void drevRender_ForceRefresh(void) {
  S().forceRefresh = 1;
}

int drevRender_IsForceRefresh(void) {
  return S().forceRefresh;
}

// ---- Clean buffers --------------------------------------------------------------------

DisplayBuffer* drevRender_GetCleanBuffer(void) {
  return drevRender_pCleanBuffer;
}

DisplayBuffer* drevRender_GetCleanZBuffer(void) {
  return drevRender_pCleanZBuffer;
}

void drevRender_CopyCleanToScreen(void) {
  if (GameState != kGameUserPaint) return;
  const stdRect r{0, 0, kScreenWidth, kScreenHeight};
  drevRender_BlitRect(drevRender_pDisplayRaster, drevRender_pCleanBuffer, 0, 0, &r);
}

void drevRender_PrepareBackground(DisplayBuffer* packed) {
  DisplayBuffer* target = drevRender_pDecompressionBuffer;
  if (!packed || !target) return;
  BufferFormat format = packed->format;
  // The packed image's byte size is its packed length; the unpacked sizes
  // follow from width, height and depth, and must fit the scratch raster.
  if (!stdDisplay_ComputeFormatSizes(&format) ||
      int64_t{format.bytesPerRow} * format.height > S().decompressionCapacity) {
    kv_Log_Printf("[Render] - %s: a %dx%d image does not fit the decompression buffer",
                  packed->name ? packed->name : "packed image", packed->format.width,
                  packed->format.height);
    return;
  }
  const bool sameShape = target->format.width == format.width &&
                         target->format.height == format.height &&
                         target->format.format.bitsPerPixel == format.format.bitsPerPixel;
  // Unpacking goes by the target's row layout, so it takes the image's first.
  target->format = format;
  if (!stdDisplay_UnpackBufferInto(packed, target)) return;
  if (sameShape)
    kv_RenderHooks_SurfaceChanged(target->pixels);
  else
    kv_RenderHooks_SurfaceFreed(target->pixels);
  target->colorKey = 0xF81F;
  if (format.format.colorMode != 5 && format.format.bitsPerPixel == 16 && target->pixels) {
    drevRender_ApplyGammaToPixels(static_cast<uint16_t*>(target->pixels), format.byteSize / 2);
    target->colorKey = drevRender_ConvertPixel(0xF81F);
  }
}

// ---- Cached rectangles ----------------------------------------------------------------

namespace {

DisplayBuffer* CopyOut(DisplayBuffer* source, const stdRect& r) {
  if (!source) return nullptr;
  BufferFormat format = source->format;
  format.width = r.width;
  format.height = r.height;
  DisplayBuffer* copy = stdDisplay_NewBuffer(&format, 0, 0, nullptr);
  if (copy) drevRender_BlitRect(copy, source, 0, 0, &r);
  return copy;
}

void FreeRecord(CachedRect* record) {
  stdDisplay_FreeBuffer(record->colour);
  stdDisplay_FreeBuffer(record->depth);
  record->magic = 0;
  Services()->memFree(record);
}

}  // namespace

uint32_t drevRender_CacheRect(int x, int y, int width, int height) {
  RenderState& s = S();
  DisplayBuffer* clean = drevRender_pCleanBuffer;
  if (!clean || width < 1 || height < 1) return 0;
  // Only what lies on the clean buffer can be copied and put back.
  const int64_t left = std::max<int64_t>(x, 0), top = std::max<int64_t>(y, 0);
  const int64_t right = std::min<int64_t>(int64_t{x} + width, clean->format.width);
  const int64_t bottom = std::min<int64_t>(int64_t{y} + height, clean->format.height);
  if (right <= left || bottom <= top) return 0;
  const stdRect r{static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
                  static_cast<int>(bottom - top)};

  auto* record =
      static_cast<CachedRect*>(Services()->memAlloc(sizeof(CachedRect), __FILE__, __LINE__));
  if (!record) return 0;
  *record = CachedRect{};
  record->magic = kCachedRectMagic;
  record->serial = s.nextCachedSerial++;
  if (s.nextCachedSerial == 0) s.nextCachedSerial = 1;
  record->x = r.x;
  record->y = r.y;
  record->width = r.width;
  record->height = r.height;
  record->colour = CopyOut(clean, r);
  record->depth = CopyOut(drevRender_pCleanZBuffer, r);
  if (!record->colour) {
    FreeRecord(record);
    return 0;
  }
  record->next = s.cached;
  s.cached = record;
  return record->serial;
}

int drevRender_IsCachedRect(uint32_t serial) {
  if (serial == 0) return 0;
  for (const CachedRect* r = S().cached; r; r = r->next)
    if (r->serial == serial && r->magic == kCachedRectMagic) return 1;
  return 0;
}

void drevRender_RestoreCacheRect(void) {
  CachedRect* record = S().cached;
  if (!record) return;
  drevRender_BlitRect(drevRender_pCleanBuffer, record->colour, record->x, record->y, nullptr);
  drevRender_BlitRect(drevRender_pCleanZBuffer, record->depth, record->x, record->y, nullptr);
  const int rect[4] = {record->x, record->y, record->width, record->height};
  drevRender_InvalidateRectAllBuffers(rect, 1);
}

void drevRender_FreeCachedRects(void) {
  RenderState& s = S();
  while (s.cached) {
    CachedRect* next = s.cached->next;
    FreeRecord(s.cached);
    s.cached = next;
  }
}

// ---- Picking ----------------------------------------------------------------------------

int drevRender_PickWorldPoint(int column, int row, qxVector3* out) {
  const qxCamera* camera = qxCore_pCurrentCamera;
  DisplayBuffer* depth = drevRender_pCleanZBuffer;
  if (!camera || !camera->canvas || !depth || !out) return 0;
  if (column < 0 || column >= kScreenWidth || row < 0 || row >= kScreenHeight) return 0;
  if (column >= depth->format.width || row >= depth->format.height ||
      depth->format.format.bitsPerPixel != 16 || camera->focal == 0.0f)
    return 0;
  if (!stdDisplay_LockBuffer(depth)) return 0;
  uint32_t value = 0;
  if (depth->pixels) {
    const auto* pixels = static_cast<const uint16_t*>(depth->pixels);
    value = pixels[static_cast<int64_t>(row) * depth->format.pixelsPerRow + column];
  }
  stdDisplay_UnlockBuffer(depth);
  const int shift = std::clamp(camera->canvas->zShift, 0, 15);
  const float q = static_cast<float>(value << shift) / 65536.0f;
  if (q <= 0.0f) return 0;
  const float d = 1.0f / q - 1.0f;
  if (d > 100.0f) return 0;
  const qxCanvas* canvas = camera->canvas;
  const float f = camera->focal;
  const qxVector3 local{d * (static_cast<float>(column) - (canvas->centreX - 0.5f)) / f, d,
                        -(d * (static_cast<float>(row) - (canvas->centreY - 0.5f)) / f)};
  qxMatrix34_TransformPoint(out, &local, &S().cameraMatrix);
  return 1;
}

int drevRender_IntersectLinePlane(qxVector3* out, const qxVector3* p0, const qxVector3* p1, float a,
                                  float b, float c, float d) {
  const float s0 = a * p0->x + b * p0->y + c * p0->z + d;
  const float s1 = a * p1->x + b * p1->y + c * p1->z + d;
  if (!(std::fabs(s0 - s1) >= 0.1f)) return 0;  // parallel (or not a number)
  const float t = s0 / (s0 - s1);
  out->x = p0->x + t * (p1->x - p0->x);
  out->y = p0->y + t * (p1->y - p0->y);
  out->z = p0->z + t * (p1->z - p0->z);
  return 1;
}

namespace {

using qxv::Cross;
using qxv::Dot;
using qxv::Sub;

}  // namespace

int drevRender_IntersectSegmentTriangle(qxVector3* out, const qxVector3* v0, const qxVector3* v1,
                                        const qxVector3* v2, const qxVector3* p,
                                        const qxVector3* q) {
  const qxVector3 e1 = Sub(*v1, *v0), e2 = Sub(*v2, *v0);
  const qxVector3 n = Cross(e1, e2);
  const qxVector3 e = Sub(*p, *q);
  const float den = Dot(n, e);
  if (!(den > 0.0f)) return 0;
  const qxVector3 ap = Sub(*p, *v0);
  const float t = Dot(n, ap);
  if (!(t >= 0.0f && t <= den)) return 0;
  const qxVector3 g = Cross(e, ap);
  const float v = Dot(e2, g);
  if (!(v >= 0.0f && v <= den)) return 0;
  const float w = -Dot(e1, g);
  if (!(w >= 0.0f && v + w <= den)) return 0;
  const float vv = v / den, ww = w / den;
  const float u = 1.0f - (v + w) / den;
  out->x = u * v0->x + vv * v1->x + ww * v2->x;
  out->y = u * v0->y + vv * v1->y + ww * v2->y;
  out->z = u * v0->z + vv * v1->z + ww * v2->z;
  return 1;
}
