// Screen rectangles of the deferred passes: where the frame's meshes lie on
// the targets, where a light volume lies, and the clip rectangle that keeps
// a full-screen pass to the pixels it can change.
#include <algorithm>
#include <cmath>

#include "gfx/kv_Buffer.h"
#include "gfx/kv_RenderContext.h"
#include "gfx/kv_RenderTarget.h"
#include "render/Deferred.h"

DeferredRectList Deferred_MeshRects;

namespace {

// Points nearer than this to the camera plane (or behind it) leave a
// projection without bounds.
constexpr float kNearestDepth = 1e-4f;

}  // namespace

bool DeferredRect_IsEmpty(const DeferredRect& r) {
  return r.x0 >= r.x1 || r.y0 >= r.y1;
}

DeferredRect DeferredRect_Union(const DeferredRect& a, const DeferredRect& b) {
  if (DeferredRect_IsEmpty(a)) return b;
  if (DeferredRect_IsEmpty(b)) return a;
  return {std::min(a.x0, b.x0), std::min(a.y0, b.y0), std::max(a.x1, b.x1),
          std::max(a.y1, b.y1)};
}

DeferredRect DeferredRect_Intersect(const DeferredRect& a, const DeferredRect& b) {
  const DeferredRect r = {std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1),
                          std::min(a.y1, b.y1)};
  return DeferredRect_IsEmpty(r) ? DeferredRect{0, 0, 0, 0} : r;
}

void DeferredRectList_Add(DeferredRectList* list, const DeferredRect& rect) {
  if (DeferredRect_IsEmpty(rect)) return;
  DeferredRect merged = rect;
  for (int i = 0; i < list->count;) {
    if (DeferredRect_IsEmpty(DeferredRect_Intersect(merged, list->rects[i]))) {
      ++i;
      continue;
    }
    // The bounding rectangle may now reach rectangles passed over: look
    // through them all again.
    merged = DeferredRect_Union(merged, list->rects[i]);
    list->rects[i] = list->rects[--list->count];
    i = 0;
  }
  if (list->count == DeferredRectList::kCapacity) {
    // Full: into the last one, which may again overlap others.
    const DeferredRect last = list->rects[--list->count];
    DeferredRectList_Add(list, DeferredRect_Union(merged, last));
    return;
  }
  list->rects[list->count++] = merged;
}

DeferredRect DeferredRect_Full(int width, int height) {
  return {0, 0, std::max(width, 0), std::max(height, 0)};
}

DeferredRect Deferred_ProjectRect(const kvVector3F* points, int count, float focal, int width,
                                  int height) {
  const DeferredRect full = DeferredRect_Full(width, height);
  if (count <= 0) return {0, 0, 0, 0};
  if (!(focal > 0.0f) || !std::isfinite(focal)) return full;
  float x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
  for (int i = 0; i < count; ++i) {
    const kvVector3F& c = points[i];
    if (!(c.y >= kNearestDepth) || !std::isfinite(c.x) || !std::isfinite(c.y) ||
        !std::isfinite(c.z)) {
      return full;
    }
    // The lit-mesh projection: x by focal / 320, z (up) by focal / 240, both over the depth.
    const float ndcX = c.x * focal / (320.0f * c.y);
    const float ndcY = c.z * focal / (240.0f * c.y);
    const float px = (ndcX * 0.5f + 0.5f) * static_cast<float>(width);
    const float py = (ndcY * 0.5f + 0.5f) * static_cast<float>(height);
    x0 = std::min(x0, px);
    x1 = std::max(x1, px);
    y0 = std::min(y0, py);
    y1 = std::max(y1, py);
  }
  // A pixel of margin on every side: rasterization and rounding.
  const auto clampTo = [](float v, int limit) {
    return static_cast<int>(std::clamp(v, 0.0f, static_cast<float>(limit)));
  };
  return DeferredRect_Intersect(
      {clampTo(std::floor(x0) - 1.0f, width), clampTo(std::floor(y0) - 1.0f, height),
       clampTo(std::ceil(x1) + 1.0f, width), clampTo(std::ceil(y1) + 1.0f, height)},
      full);
}

void Deferred_BoxCorners(const kvMatrix4F& m, const kvVector3F& lo, const kvVector3F& hi,
                         kvVector3F out[8]) {
  for (int corner = 0; corner < 8; ++corner) {
    const float x = (corner & 1) ? hi.x : lo.x;
    const float y = (corner & 2) ? hi.y : lo.y;
    const float z = (corner & 4) ? hi.z : lo.z;
    out[corner] = {x * m[0].x + y * m[1].x + z * m[2].x + m[3].x,
                   x * m[0].y + y * m[1].y + z * m[2].y + m[3].y,
                   x * m[0].z + y * m[1].z + z * m[2].z + m[3].z};
  }
}

DeferredRect Deferred_BoxRect(const kvMatrix4F& localToCamera, const kvVector3F& lo,
                              const kvVector3F& hi, float focal, int width, int height) {
  kvVector3F corners[8];
  Deferred_BoxCorners(localToCamera, lo, hi, corners);
  return Deferred_ProjectRect(corners, 8, focal, width, height);
}

bool Deferred_VertexBounds(const kvVertexBuffer* buffer, kvVector3F* lo, kvVector3F* hi) {
  // A transient buffer's bytes are overwritten once they are uploaded.
  if (!buffer || !buffer->data || !buffer->ownsGLBuffer ||
      buffer->layout != kv_Layout_GetDescriptor<TexturedVertex>()) {
    return false;
  }
  const size_t count = buffer->size / sizeof(TexturedVertex);
  if (count == 0) return false;
  const auto* vertices = reinterpret_cast<const TexturedVertex*>(buffer->data);
  kvVector3F a = vertices[0].Position, b = a;
  for (size_t i = 1; i < count; ++i) {
    const kvVector3F& p = vertices[i].Position;
    a = {std::min(a.x, p.x), std::min(a.y, p.y), std::min(a.z, p.z)};
    b = {std::max(b.x, p.x), std::max(b.y, p.y), std::max(b.z, p.z)};
  }
  *lo = a;
  *hi = b;
  return true;
}

void Deferred_TargetSize(int* width, int* height) {
  int w = 0, h = 0;
  if (LightTarget.target) kv_RenderTarget_GetInfo(LightTarget.target, &w, &h, nullptr);
  if (width) *width = w;
  if (height) *height = h;
}

DeferredRect Deferred_FullTarget(void) {
  int width = 0, height = 0;
  Deferred_TargetSize(&width, &height);
  return DeferredRect_Full(width, height);
}

void Deferred_NoteMesh(const kvVertexBuffer* buffer, const kvMatrix4F& model,
                       const DeferredCamera& camera) {
  int width = 0, height = 0;
  Deferred_TargetSize(&width, &height);
  kvVector3F lo{}, hi{};
  DeferredRect rect = DeferredRect_Full(width, height);
  if (Deferred_VertexBounds(buffer, &lo, &hi)) {
    kvMatrix4F localToCamera;
    kv_Matrix4_Multiply(model, camera.view, &localToCamera);
    rect = Deferred_BoxRect(localToCamera, lo, hi, camera.focal, width, height);
  }
  DeferredRectList_Add(&Deferred_MeshRects, rect);
}

void Deferred_ClipTo(kvRenderContext* context, const DeferredRect& rect) {
  int width = 0, height = 0;
  Deferred_TargetSize(&width, &height);
  if (rect.x0 <= 0 && rect.y0 <= 0 && rect.x1 >= width && rect.y1 >= height) {
    kv_RenderContext_ClearClipRect(context);
    return;
  }
  kv_RenderContext_SetClipRect(context, rect.x0, rect.y0, rect.x1 - rect.x0, rect.y1 - rect.y0);
}
