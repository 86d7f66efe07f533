// Walk-sector shrinking and the vertex cache that undoes it.
#include <cmath>
#include <vector>

#include "engine/Pathfinder.h"
#include "engine/WalkPlane.h"
#include "engine/WalkPlane_Internal.h"
#include "platform/kv_Log.h"
#include "quadrix/qxVector_Values.h"
#include "std/stdMath.h"

namespace {

struct CachedVertex {
  int32_t index;
  int32_t refCount;
  qxVector3 p;
};

struct CachedSector {
  Sector* sector;
  int32_t numVerts;
  int32_t verts[SECTOR_MAX_VERTS];
  int32_t visible;
};

struct VertexCache {
  bool valid = false;
  int slot = -1;  // the sector list it was built from
  std::vector<CachedVertex> vertices;
  std::vector<CachedSector> sectors;
};

VertexCache g_cache;

using qxv::Sub;

float Sine(float degrees) {
  float s, c;
  stdMath_SinCos(degrees, &s, &c);
  return s;
}

// The inset of every vertex of the sector by x, or false when some vertex
// cannot be inset.
bool Insets(const Sector* s, float x, qxVector3* insets) {
  const int n = s->numVerts;
  for (int d = 0; d < n; ++d) {
    const qxVector3& v = s->verts[d]->p;
    qxVector3 u = Sub(s->verts[(d + n - 1) % n]->p, v);
    qxVector3 w = Sub(s->verts[(d + 1) % n]->p, v);
    qxVector3_NormalizeInPlace(&u);
    qxVector3_NormalizeInPlace(&w);
    qxVector3 bisector{u.x + w.x, u.y + w.y, u.z + w.z};
    qxVector3_NormalizeInPlace(&bisector);
    const float half = 90.0f - stdMath_ArcSin3(qxVector3_Dot(&w, &bisector));
    const float m = x / Sine(half);
    const qxVector3 move{bisector.x * m, bisector.y * m, bisector.z * m};
    const qxVector3 q{v.x + move.x, v.y + move.y, v.z + move.z};
    if (!(s->enabled && s->visible) || !Sector_PassesPlane(s, &q) || !Sector_PassesEdges(s, &q)) {
      return false;
    }
    for (int j = 0; j < n; ++j) {
      if (Sector_EdgeDistance(s, j, &q) < x - 0.001f) return false;
    }
    insets[d] = move;
  }
  return true;
}

}  // namespace

void Walk_ListChanged(int slot) {
  if (g_cache.valid && g_cache.slot == slot) WalkPlane_FreeCache();
}

float Sector_EdgeDistance(const Sector* s, int k, const qxVector3* point) {
  if (k < 0 || k >= s->numVerts) return 0;
  const qxVector3& a = s->verts[k]->p;
  qxVector3 e = Sub(s->verts[(k + 1) % s->numVerts]->p, a);
  qxVector3 w = Sub(*point, a);
  const float length = qxVector3_NormalizeInPlace(&w);
  qxVector3_NormalizeInPlace(&e);
  const float angle = 90.0f - stdMath_ArcSin3(qxVector3_Dot(&e, &w));
  return Sine(angle) * length;
}

int Sector_CollapseShortestEdge(Sector* s) {
  const int n = s->numVerts;
  if (n <= 3) return 0;
  int shortest = 0;
  float best = 3.4028235e38f;
  for (int i = 0; i < n; ++i) {
    const qxVector3 d = Sub(s->verts[i]->p, s->verts[(i + n - 1) % n]->p);
    const float len = qxVector3_Dot(&d, &d);
    if (len < best) {
      best = len;
      shortest = i;
    }
  }
  // The shortest edge runs from vertex k to vertex k + 1; the lines of its two
  // neighbouring edges meet where the new corner goes.
  const int k = (shortest + n - 1) % n;
  const qxVector3& before = s->verts[(k + n - 1) % n]->p;
  const qxVector3& vk = s->verts[k]->p;
  const qxVector3& vk1 = s->verts[(k + 1) % n]->p;
  const qxVector3& vk2 = s->verts[(k + 2) % n]->p;
  const int a = s->axisA, b = s->axisB;
  const float d1a = Walk_Axis(vk, a) - Walk_Axis(before, a);
  const float d1b = Walk_Axis(vk, b) - Walk_Axis(before, b);
  const qxVector3 d2 = Sub(vk2, vk1);
  const float t = (Walk_Axis(vk2, a) - Walk_Axis(before, a)) * d1b -
                  (Walk_Axis(vk2, b) - Walk_Axis(before, b)) * d1a;
  const float q = d1a * Walk_Axis(d2, b) - d1b * Walk_Axis(d2, a);
  if (!(std::fabs(t) > 0.00001f) || !(std::fabs(q) > 0.00001f)) return 0;
  const float r = t / q;
  qxVector3 x{vk2.x + d2.x * r, vk2.y + d2.y * r, vk2.z + d2.z * r};
  Sector_PutOnPlane(s, &x);

  WalkVertex* corner = WalkPlane_AddVertex(&x);
  WalkVertex* old[SECTOR_MAX_VERTS];
  for (int i = 0; i < n; ++i) old[i] = s->verts[i];
  s->verts[0] = corner;
  for (int i = 1; i < n - 1; ++i) s->verts[i] = old[(k + 1 + i) % n];
  s->verts[n - 1] = nullptr;
  WalkPlane_ReleaseVertex(old[k]);
  WalkPlane_ReleaseVertex(old[(k + 1) % n]);
  s->numVerts = n - 1;
  return 1;
}

void WalkPlane_ShrinkBoxes(float x) {
  if (!(x >= 0)) return;
  const int size = WalkPlane_GetDatabaseSize();
  std::vector<qxVector3> sums(size, qxVector3{0, 0, 0});
  std::vector<int> counts(size, 0);
  for (Sector* s = WalkPlane_GetSectors(); s; s = s->next) {
    if (!(s->type & SECTOR_WALK) || !s->visible) continue;
    qxVector3 insets[SECTOR_MAX_VERTS];
    bool fits = Insets(s, x, insets);
    while (!fits && Sector_CollapseShortestEdge(s)) fits = Insets(s, x, insets);
    if (!fits) {
      s->visible = 0;
      Pathfinder_Invalidate();
      continue;
    }
    for (int d = 0; d < s->numVerts; ++d) {
      const int index = s->verts[d]->index;
      if (index >= static_cast<int>(counts.size())) continue;
      ++counts[index];
      sums[index].x += insets[d].x;
      sums[index].y += insets[d].y;
      sums[index].z += insets[d].z;
    }
  }
  for (int i = 0; i < size; ++i) {
    if (counts[i] <= 0) continue;
    WalkVertex* v = WalkPlane_GetVertex(i);
    v->p.x += sums[i].x / static_cast<float>(counts[i]);
    v->p.y += sums[i].y / static_cast<float>(counts[i]);
    v->p.z += sums[i].z / static_cast<float>(counts[i]);
  }
  Pathfinder_Invalidate();
}

void WalkPlane_BuildCache(void) {
  WalkPlane_FreeCache();
  g_cache.slot = Walk_CurrentSlot();
  for (Sector* s = WalkPlane_GetSectors(); s; s = s->next) {
    CachedSector record{s, s->numVerts, {}, s->visible};
    for (int i = 0; i < s->numVerts; ++i) {
      const WalkVertex* v = s->verts[i];
      g_cache.vertices.push_back({v->index, v->refCount, v->p});
      record.verts[i] = v->index;
    }
    g_cache.sectors.push_back(record);
  }
  g_cache.valid = true;
}

void WalkPlane_RestoreCache(void) {
  if (!g_cache.valid) return;
  if (g_cache.slot != Walk_CurrentSlot()) {
    kv_Log_Printf("[Sectors] - the vertex cache belongs to another set's sectors; not restored");
    return;
  }
  for (Sector* s = WalkPlane_GetSectors(); s; s = s->next) {
    for (int i = 0; i < s->numVerts; ++i) WalkPlane_ReleaseVertex(s->verts[i]);
  }
  for (const CachedVertex& v : g_cache.vertices) {
    WalkVertex* entry = WalkPlane_GetVertex(v.index);
    entry->refCount = v.refCount;
    entry->p = v.p;
  }
  for (const CachedSector& record : g_cache.sectors) {
    Sector* s = record.sector;
    s->numVerts = record.numVerts;
    for (int i = 0; i < SECTOR_MAX_VERTS; ++i) {
      s->verts[i] = i < record.numVerts ? WalkPlane_GetVertex(record.verts[i]) : nullptr;
    }
    s->visible = record.visible;
  }
  Walk_RecountVertices();
  Pathfinder_Invalidate();
}

void WalkPlane_FreeCache(void) {
  g_cache.vertices.clear();
  g_cache.vertices.shrink_to_fit();
  g_cache.sectors.clear();
  g_cache.sectors.shrink_to_fit();
  g_cache.valid = false;
  g_cache.slot = -1;
}

int WalkPlane_IsCacheValid(void) {
  return g_cache.valid ? 1 : 0;
}
