// The navigation graph: regions from the walk sectors, their merging and the
// obstacle holes, the corner nodes and the visibility weights.
#include "engine/Pathfinder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "engine/WalkPlane.h"
#include "engine/drevMain.h"
#include "platform/kv_Log.h"
#include "platform/kv_Registry.h"
#include "platform/kv_Save.h"

namespace {

Pathfinder* g_pathfinder = nullptr;

NavVertex g_verts[NAV_MAX_VERTS];
int g_vertCount = 0;

float Sq(float v) {
  return v * v;
}

float DistSq3(const qxVector3& a, const qxVector3& b) {
  return Sq(a.x - b.x) + Sq(a.y - b.y) + Sq(a.z - b.z);
}

const qxVector3& V(int index) {
  return g_verts[index].p;
}

// Parameter of p along a -> b in 3D (0 for a zero-length segment).
float Param3(const qxVector3& p, const qxVector3& a, const qxVector3& b) {
  const float dx = b.x - a.x, dy = b.y - a.y, dz = b.z - a.z;
  const float len = dx * dx + dy * dy + dz * dz;
  if (len == 0) return 0;
  return ((p.x - a.x) * dx + (p.y - a.y) * dy + (p.z - a.z) * dz) / len;
}

// Parameter of p along a -> b in x-y (0 for a zero-length segment).
float Param2(const qxVector3& p, const qxVector3& a, const qxVector3& b) {
  const float dx = b.x - a.x, dy = b.y - a.y;
  const float len = dx * dx + dy * dy;
  if (len == 0) return 0;
  return ((p.x - a.x) * dx + (p.y - a.y) * dy) / len;
}

float Clamp01(float t) {
  return t < 0 ? 0 : (t > 1 ? 1 : t);
}

qxVector3 Lerp(const qxVector3& a, const qxVector3& b, float t) {
  return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t, a.z + (b.z - a.z) * t};
}

bool HasEdge(const NavRegion* r, int from, int to) {
  for (int i = 0; i < r->edgeCount; ++i) {
    if (r->edges[i].from == from && r->edges[i].to == to) return true;
  }
  return false;
}

void FreeRegions(Pathfinder* pf) {
  for (int i = 0; i < pf->regionCount; ++i) NavRegion_Free(pf->regions[i]);
  pf->regionCount = 0;
}

bool Fail(NavBuildFailure failure, const char* why) {
  kv_Log_Printf("[Pathfinder] - rebuild failed: %s", why);
  Pathfinder_Construct()->buildFailure = failure;
  return false;
}

// The debug dump is written only when the developer setting "SectorDump" is on.
bool DumpWanted() {
  return kv_Registry_ReadInt("SectorDump", 0) != 0;
}

}  // namespace

// ---- The graph object ----------------------------------------------------------

Pathfinder* Pathfinder_Construct(void) {
  if (!g_pathfinder) {
    g_pathfinder = new Pathfinder{};
    g_pathfinder->dirty = 1;
  }
  return g_pathfinder;
}

void Pathfinder_Invalidate(void) {
  Pathfinder* pf = Pathfinder_Construct();
  pf->dirty = 1;
  pf->buildFailure = NAV_BUILT;
}

void Pathfinder_Clear(void) {
  FreeRegions(Pathfinder_Construct());
}

void Pathfinder_RefreshActors(int actor, int otherActor) {
  Pathfinder* pf = Pathfinder_Construct();
  qxVector3 points[NAV_MAX_OBSTACLE_POINTS];
  int count = 0;
  drevMain_Calls().actorGetNearbyBoxes(actor, &count, NAV_MAX_OBSTACLE_POINTS, points, otherActor);
  if (count < 0) count = 0;
  if (count > NAV_MAX_OBSTACLE_POINTS) count = NAV_MAX_OBSTACLE_POINTS;
  bool changed = count != pf->obstacleCount;
  for (int i = 0; i < count && !changed; ++i) {
    if (DistSq3(points[i], pf->obstacles[i]) > 0.001f * 0.001f) changed = true;
  }
  if (changed) {
    pf->dirty = 1;
    if (pf->buildFailure == NAV_BOXES_FAILED) pf->buildFailure = NAV_BUILT;
  }
  pf->obstacleCount = count;
  for (int i = 0; i < count; ++i) pf->obstacles[i] = points[i];
}

// ---- Vertex table ---------------------------------------------------------------

void NavVertex_Reset(void) {
  g_vertCount = 0;
}

int NavVertex_Add(const qxVector3* point) {
  for (int i = 0; i < g_vertCount; ++i) {
    if (DistSq3(g_verts[i].p, *point) < 1e-7f) return i;
  }
  if (g_vertCount >= NAV_MAX_VERTS) return -1;
  NavVertex& v = g_verts[g_vertCount];
  v = NavVertex{};
  v.p = *point;
  v.next = v.prev = -1;
  return g_vertCount++;
}

int NavVertex_GetCount(void) {
  return g_vertCount;
}

const NavVertex* NavVertex_Get(int index) {
  return (index >= 0 && index < g_vertCount) ? &g_verts[index] : nullptr;
}

int NavVertex_Compact(NavRegion** regions, int count) {
  // A vertex that no edge uses goes; the last vertex fills its place. (A
  // vertex that only ends edges stays, so that the node build can refuse the
  // broken outline instead of an edge pointing at a moved vertex.)
  bool used[NAV_MAX_VERTS] = {};
  for (int r = 0; r < count; ++r) {
    for (int e = 0; e < regions[r]->edgeCount; ++e) {
      used[regions[r]->edges[e].from] = true;
      used[regions[r]->edges[e].to] = true;
    }
  }
  int v = 0;
  while (v < g_vertCount) {
    if (used[v]) {
      ++v;
      continue;
    }
    const int last = g_vertCount - 1;
    if (v != last) {
      g_verts[v] = g_verts[last];
      used[v] = used[last];
      for (int r = 0; r < count; ++r) {
        for (int e = 0; e < regions[r]->edgeCount; ++e) {
          NavEdge& edge = regions[r]->edges[e];
          if (edge.from == last) edge.from = v;
          if (edge.to == last) edge.to = v;
        }
      }
    }
    --g_vertCount;
  }
  return g_vertCount;
}

// ---- Regions --------------------------------------------------------------------

NavRegion* NavRegion_New(void) {
  NavRegion* r = new (std::nothrow) NavRegion;
  if (r) NavRegion_Init(r);
  return r;
}

void NavRegion_Free(NavRegion* region) {
  delete region;
}

void NavRegion_Init(NavRegion* r) {
  r->edgeCount = 0;
  r->alwaysMerge = 0;
  NavRegion_UpdateBounds(r);
}

NavRegion* NavRegion_FromSector(const Sector* sector) {
  NavRegion* r = NavRegion_New();
  if (!r) return nullptr;
  const int n = sector->numVerts;
  for (int i = 0; i < n; ++i) {
    const int a = NavVertex_Add(&sector->verts[i]->p);
    const int b = NavVertex_Add(&sector->verts[(i + 1) % n]->p);
    if (a < 0 || b < 0) {
      NavRegion_Free(r);
      return nullptr;
    }
    if (a != b && NavRegion_AddEdge(r, a, b, 1) < 0) {
      NavRegion_Free(r);
      return nullptr;
    }
  }
  r->alwaysMerge = sector->alwaysMerge != 0;
  NavRegion_UpdateBounds(r);
  return r;
}

int NavRegion_AddEdge(NavRegion* r, int from, int to, int mark) {
  if (r->edgeCount >= NAV_MAX_EDGES - 1) return -1;
  r->edges[r->edgeCount] = {from, to, mark};
  return r->edgeCount++;
}

int NavRegion_SplitEdgeAt(NavRegion* r, int edge, const qxVector3* point) {
  const int v = NavVertex_Add(point);
  if (v < 0) return -1;
  const NavEdge old = r->edges[edge];
  const int added = NavRegion_AddEdge(r, v, old.to, old.oriented);
  if (added < 0) return -1;
  r->edges[edge].to = v;
  return added;
}

int NavRegion_SplitEdgeAtParam(NavRegion* r, int edge, float t, int* failed) {
  if (!(t > 0.001f && t < 0.999f)) return 0;
  const NavEdge& e = r->edges[edge];
  const qxVector3 p = Lerp(V(e.from), V(e.to), t);
  if (NavRegion_SplitEdgeAt(r, edge, &p) < 0) {
    *failed = 1;
    return 0;
  }
  return 1;
}

int NavRegion_SplitOverlap(NavRegion* r, int edge, const qxVector3* p, const qxVector3* q,
                           int* failed) {
  const qxVector3 a = V(r->edges[edge].from);
  const qxVector3 b = V(r->edges[edge].to);
  float t0 = Param3(*p, a, b), t1 = Param3(*q, a, b);
  if (t1 < t0) std::swap(t0, t1);
  int split = 0;
  int piece = edge;
  if (t0 > 0.01f && t0 < 0.99f) {
    const qxVector3 at = Lerp(a, b, t0);
    const int added = NavRegion_SplitEdgeAt(r, edge, &at);
    if (added < 0) {
      *failed = 1;
      return split;
    }
    split = 1;
    piece = added;
  }
  if (t1 > 0.01f && t1 < 0.99f) {
    const qxVector3 at = Lerp(a, b, t1);
    if (NavRegion_SplitEdgeAt(r, piece, &at) < 0) {
      *failed = 1;
      return split;
    }
    split = 1;
  }
  return split;
}

void NavRegion_UpdateBounds(NavRegion* r) {
  if (r->edgeCount == 0) {
    r->minX = r->minY = r->minZ = 1e10f;
    r->maxX = r->maxY = r->maxZ = -1e10f;
    return;
  }
  r->minX = r->minY = r->minZ = 3.4028235e38f;
  r->maxX = r->maxY = r->maxZ = -3.4028235e38f;
  for (int i = 0; i < r->edgeCount; ++i) {
    const qxVector3& p = V(r->edges[i].from);
    r->minX = std::fmin(r->minX, p.x);
    r->minY = std::fmin(r->minY, p.y);
    r->minZ = std::fmin(r->minZ, p.z);
    r->maxX = std::fmax(r->maxX, p.x);
    r->maxY = std::fmax(r->maxY, p.y);
    r->maxZ = std::fmax(r->maxZ, p.z);
  }
  r->minX -= 0.001f;
  r->minY -= 0.001f;
  r->minZ -= 0.001f;
  r->maxX += 0.001f;
  r->maxY += 0.001f;
  r->maxZ += 0.001f;
}

void NavRegion_OrientEdges(NavRegion* r) {
  bool changed = true;
  while (changed) {
    changed = false;
    for (int u = 0; u < r->edgeCount; ++u) {
      NavEdge& edge = r->edges[u];
      if (edge.oriented) continue;
      for (int o = 0; o < r->edgeCount; ++o) {
        const NavEdge& other = r->edges[o];
        if (!other.oriented || (other.from != edge.from && other.to != edge.from)) continue;
        if (other.from == edge.from) std::swap(edge.from, edge.to);
        edge.oriented = 1;
        changed = true;
        break;
      }
    }
  }
}

int Nav_SegmentsIntersect(const qxVector3* p1, const qxVector3* p2, const qxVector3* p3,
                          const qxVector3* p4, int strict, float* t, float* s) {
  const float d = (p4->y - p3->y) * (p2->x - p1->x) - (p4->x - p3->x) * (p2->y - p1->y);
  if (std::fabs(d) < 0.00001f) {
    if (strict) return 0;
    // Parallel: they meet only when collinear and overlapping.
    const float lx = p2->x - p1->x, ly = p2->y - p1->y;
    const float len = lx * lx + ly * ly;
    float distSq;
    if (len > 0) {
      const float cross = (p3->x - p1->x) * ly - (p3->y - p1->y) * lx;
      distSq = cross * cross / len;
    } else {
      distSq = Sq(p3->x - p1->x) + Sq(p3->y - p1->y);
    }
    if (distSq > 0.000001f) return 0;
    const float a = Param2(*p1, *p3, *p4);
    const float b = Param2(*p2, *p3, *p4);
    *t = 0;
    *s = a;
    if ((a < -0.001f && b < -0.001f) || (a > 1.001f && b > 1.001f)) return 0;
    return 1;
  }
  const float ua = ((p4->x - p3->x) * (p1->y - p3->y) - (p4->y - p3->y) * (p1->x - p3->x)) / d;
  const float ub = ((p2->x - p1->x) * (p1->y - p3->y) - (p2->y - p1->y) * (p1->x - p3->x)) / d;
  *t = ua;
  *s = ub;
  if (strict) return ua > 0.001f && ua < 0.999f && ub > 0.001f && ub < 0.999f;
  return ua > -0.001f && ua < 1.001f && ub > -0.001f && ub < 1.001f;
}

int NavRegion_Contains(const NavRegion* r, const qxVector3* p) {
  int winding = 0;
  for (int i = 0; i < r->edgeCount; ++i) {
    const qxVector3& a = V(r->edges[i].from);
    const qxVector3& b = V(r->edges[i].to);
    const float side = (b.x - a.x) * (p->y - a.y) - (b.y - a.y) * (p->x - a.x);
    if (a.y <= p->y && p->y < b.y && side > 0) ++winding;
    if (b.y <= p->y && p->y < a.y && side < 0) --winding;
  }
  return winding != 0;
}

int NavRegion_OnBoundary(const NavRegion* r, const qxVector3* p) {
  for (int i = 0; i < r->edgeCount; ++i) {
    const qxVector3& a = V(r->edges[i].from);
    const qxVector3& b = V(r->edges[i].to);
    const float t = Clamp01(Param2(*p, a, b));
    const float x = a.x + (b.x - a.x) * t, y = a.y + (b.y - a.y) * t;
    if (Sq(p->x - x) + Sq(p->y - y) < 1e-8f) return 1;
  }
  return 0;
}

int NavRegion_EdgeInside(const NavRegion* r, const NavEdge* edge) {
  const qxVector3& a = V(edge->from);
  const qxVector3& b = V(edge->to);
  const qxVector3 m{0.499f * a.x + 0.501f * b.x, 0.499f * a.y + 0.501f * b.y,
                    0.499f * a.z + 0.501f * b.z};
  return NavRegion_Contains(r, &m) && !NavRegion_OnBoundary(r, &m);
}

int NavRegion_SharesVertex(const NavRegion* r, NavRegion* const* regions, int count) {
  for (int i = 0; i < r->edgeCount; ++i) {
    const int v = r->edges[i].from;
    for (int k = 0; k < count; ++k) {
      if (regions[k] == r) continue;
      for (int e = 0; e < regions[k]->edgeCount; ++e) {
        if (regions[k]->edges[e].from == v) return 1;
      }
    }
  }
  return 0;
}

float NavRegion_NearestVertexHeight(const NavRegion* r, const qxVector3* p) {
  float best = 3.4028235e38f, height = 1e10f;
  for (int i = 0; i < r->edgeCount; ++i) {
    const qxVector3& v = V(r->edges[i].from);
    const float d = DistSq3(v, *p);
    if (d < best) {
      best = d;
      height = v.z;
    }
  }
  return height;
}

NavRegion* NavRegion_Combine(NavRegion* a, NavRegion* b, NavCombineOp op) {
  const bool unite = op == NAV_UNION;
  if (!(a->minX < b->maxX && b->minX < a->maxX && a->minY < b->maxY && b->minY < a->maxY)) {
    return nullptr;
  }
  const bool checkHeight = unite && !a->alwaysMerge && !b->alwaysMerge;
  if (checkHeight && !(a->minZ < b->maxZ && b->minZ < a->maxZ)) return nullptr;
  const float tolerance = unite ? 0.0001f : 0.01f;

  // Split both outlines wherever they meet, so that every edge lies wholly
  // inside, outside or on the other outline.
  for (int e = 0; e < a->edgeCount; ++e) {
    for (int f = 0; f < b->edgeCount;) {
      const qxVector3 p1 = V(a->edges[e].from), p2 = V(a->edges[e].to);
      const qxVector3 p3 = V(b->edges[f].from), p4 = V(b->edges[f].to);
      float t = 0, s = 0;
      if (!Nav_SegmentsIntersect(&p1, &p2, &p3, &p4, 0, &t, &s)) {
        ++f;
        continue;
      }
      if (checkHeight) {
        const float ze = p1.z + t * (p2.z - p1.z);
        const float zf = p3.z + s * (p4.z - p3.z);
        if (std::fabs(ze - zf) > tolerance) return nullptr;
      }
      const qxVector3 de{p2.x - p1.x, p2.y - p1.y, p2.z - p1.z};
      const qxVector3 df{p4.x - p3.x, p4.y - p3.y, p4.z - p3.z};
      int failed = 0, split = 0;
      if (std::fabs(qxVector3_Dot(&de, &df)) > 0.999f * qxVector3_Len(&de) * qxVector3_Len(&df)) {
        split |= NavRegion_SplitOverlap(a, e, &p3, &p4, &failed);
        if (!failed) split |= NavRegion_SplitOverlap(b, f, &p1, &p2, &failed);
      } else {
        split |= NavRegion_SplitEdgeAtParam(a, e, t, &failed);
        if (!failed) split |= NavRegion_SplitEdgeAtParam(b, f, s, &failed);
      }
      if (failed) return nullptr;
      if (!split) ++f;  // after a split the same f meets the shortened e again
    }
  }

  NavRegion* result = NavRegion_New();
  if (!result) return nullptr;
  result->alwaysMerge = a->alwaysMerge && b->alwaysMerge;
  bool changed = false;
  bool full = false;
  for (int e = 0; e < a->edgeCount; ++e) {
    const NavEdge& edge = a->edges[e];
    if (NavRegion_EdgeInside(b, &edge) || (unite && HasEdge(b, edge.to, edge.from))) {
      changed = true;
    } else if (NavRegion_AddEdge(result, edge.from, edge.to, edge.oriented) < 0) {
      full = true;
    }
  }
  for (int f = 0; f < b->edgeCount; ++f) {
    const NavEdge& edge = b->edges[f];
    bool keep;
    if (unite) {
      keep = !NavRegion_EdgeInside(a, &edge) && !HasEdge(a, edge.from, edge.to) &&
             !HasEdge(a, edge.to, edge.from);
      if (!keep) changed = true;
    } else {
      keep = NavRegion_EdgeInside(a, &edge);
      changed = true;  // a dropped edge or a kept one: either changes a
    }
    if (keep && NavRegion_AddEdge(result, edge.from, edge.to, edge.oriented) < 0) full = true;
  }
  if (!changed || full) {
    if (full) kv_Log_Printf("[Pathfinder] - a combined region passes %d edges", NAV_MAX_EDGES - 1);
    NavRegion_Free(result);
    return nullptr;
  }
  NavRegion_UpdateBounds(result);
  return result;
}

// ---- Loops, nodes and weights ---------------------------------------------------

int Pathfinder_SplitLoops(void) {
  Pathfinder* pf = Pathfinder_Construct();
  const int original = pf->regionCount;
  for (int ri = 0; ri < original; ++ri) {
    NavRegion* r = pf->regions[ri];
    const int n = r->edgeCount;
    int label[NAV_MAX_EDGES];
    for (int i = 0; i < n; ++i) label[i] = i;
    bool changed = true;
    while (changed) {
      changed = false;
      for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
          if (label[i] == label[j]) continue;
          if (r->edges[i].from != r->edges[j].to && r->edges[j].from != r->edges[i].to) continue;
          const int low = std::min(label[i], label[j]);
          label[i] = label[j] = low;
          changed = true;
        }
      }
    }
    // Signed x-y area per loop: outer outlines (counter-clockwise) count
    // positive, holes negative.
    float area[NAV_MAX_EDGES] = {};
    for (int i = 0; i < n; ++i) {
      const qxVector3& a = V(r->edges[i].from);
      const qxVector3& b = V(r->edges[i].to);
      area[label[i]] += 0.5f * (a.x * b.y - b.x * a.y);
    }
    bool hole = false;
    int smallest = n;
    for (int i = 0; i < n; ++i) {
      if (label[i] == i && area[i] < 0) hole = true;
      smallest = std::min(smallest, label[i]);
    }
    if (hole) continue;
    for (int l = 0; l < n; ++l) {
      bool isLabel = false;
      for (int i = 0; i < n; ++i) isLabel |= label[i] == l;
      if (!isLabel || l == smallest || area[l] == 0) continue;
      if (pf->regionCount >= NAV_MAX_REGIONS) {
        kv_Log_Printf("[Pathfinder] - splitting loops passes %d regions", NAV_MAX_REGIONS);
        return 0;
      }
      NavRegion* loop = NavRegion_New();
      if (!loop) return 0;
      for (int i = 0; i < r->edgeCount; ++i) {
        if (label[i] == l) NavRegion_AddEdge(loop, r->edges[i].from, r->edges[i].to, 0);
      }
      pf->regions[pf->regionCount++] = loop;
      // The moved edges leave this region; the last edge takes each place.
      for (int i = 0; i < r->edgeCount;) {
        if (label[i] == l) {
          const int last = r->edgeCount - 1;
          r->edges[i] = r->edges[last];
          label[i] = label[last];
          --r->edgeCount;
        } else {
          ++i;
        }
      }
    }
  }
  for (int i = 0; i < pf->regionCount; ++i) NavRegion_UpdateBounds(pf->regions[i]);
  return 1;
}

int Pathfinder_BuildNodes(int firstNode, NavRegion* const* regions, int count) {
  Pathfinder* pf = Pathfinder_Construct();
  for (int v = 0; v < g_vertCount; ++v) {
    g_verts[v].next = g_verts[v].prev = -1;
    g_verts[v].regionCount = 0;
  }
  auto join = [](NavVertex& v, int region) {
    for (int k = 0; k < v.regionCount; ++k) {
      if (v.regions[k] == region) return;
    }
    if (v.regionCount < NAV_MAX_NODE_REGIONS) v.regions[v.regionCount++] = region;
  };
  for (int i = 0; i < count; ++i) {
    for (int e = 0; e < regions[i]->edgeCount; ++e) {
      const NavEdge& edge = regions[i]->edges[e];
      NavVertex& a = g_verts[edge.from];
      NavVertex& b = g_verts[edge.to];
      join(a, i);
      join(b, i);
      a.next = a.next == -1 ? edge.to : -2;
      b.prev = b.prev == -1 ? edge.from : -2;
    }
  }
  int node = firstNode;
  for (int v = 0; v < g_vertCount; ++v) {
    const NavVertex& vert = g_verts[v];
    if (vert.next == -1 || vert.prev == -1) return -1;
    bool isNode = vert.next == -2 || vert.prev == -2;
    if (!isNode) {
      const qxVector3& p = V(vert.prev);
      const qxVector3& nx = V(vert.next);
      isNode = (p.y - nx.y) * (vert.p.x - nx.x) - (p.x - nx.x) * (vert.p.y - nx.y) > 0;
    }
    if (!isNode) continue;
    if (node >= NAV_MAX_NODES) return NAV_MAX_NODES;
    pf->nodes[node++] = vert;
  }
  return node;
}

void Pathfinder_BuildEdges(int firstRow, int rowLimit) {
  Pathfinder* pf = Pathfinder_Construct();
  const int n = pf->nodeCount;
  for (int a = firstRow; a < rowLimit && a < n; ++a) {
    pf->weights[a][a] = 0;
    const NavVertex& na = pf->nodes[a];
    for (int b = a + 1; b < n; ++b) {
      const NavVertex& nb = pf->nodes[b];
      bool joined = false, blocked = false;
      for (int k = 0; k < na.regionCount && !blocked; ++k) {
        const int ri = na.regions[k];
        bool shared = false;
        for (int m = 0; m < nb.regionCount; ++m) shared |= nb.regions[m] == ri;
        if (!shared || ri < 0 || ri >= pf->regionCount) continue;
        const NavRegion* r = pf->regions[ri];
        for (int e = 0; e < r->edgeCount; ++e) {
          float t, s;
          if (Nav_SegmentsIntersect(&na.p, &nb.p, &V(r->edges[e].from), &V(r->edges[e].to), 1, &t,
                                    &s)) {
            blocked = true;
            break;
          }
        }
        if (blocked) break;
        const qxVector3 mid{0.499f * na.p.x + 0.501f * nb.p.x, 0.499f * na.p.y + 0.501f * nb.p.y,
                            0.499f * na.p.z + 0.501f * nb.p.z};
        if (NavRegion_Contains(r, &mid) || NavRegion_OnBoundary(r, &mid)) joined = true;
      }
      float w = 0;
      if (joined && !blocked) w = std::fmax(std::sqrt(DistSq3(na.p, nb.p)), 0.000001f);
      pf->weights[a][b] = pf->weights[b][a] = w;
    }
  }
}

void Pathfinder_DumpRegions(int regionCount) {
  if (!DumpWanted()) return;
  Pathfinder* pf = Pathfinder_Construct();
  const std::string path = kv_Save_GetWriteDirectory() + "sector.txt";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fprintf(f, "%d\n", g_vertCount);
  for (int i = 0; i < g_vertCount; ++i) {
    std::fprintf(f, "%g %g %g\n", g_verts[i].p.x, g_verts[i].p.y, g_verts[i].p.z);
  }
  std::fprintf(f, "%d\n", regionCount);
  for (int r = 0; r < regionCount && r < pf->regionCount; ++r) {
    std::fprintf(f, "%d\n", pf->regions[r]->edgeCount);
    for (int e = 0; e < pf->regions[r]->edgeCount; ++e) {
      std::fprintf(f, "%d %d\n", pf->regions[r]->edges[e].from, pf->regions[r]->edges[e].to);
    }
  }
  std::fclose(f);
}

// ---- Rebuild --------------------------------------------------------------------

int Pathfinder_Rebuild(void) {
  Pathfinder* pf = Pathfinder_Construct();
  FreeRegions(pf);
  NavVertex_Reset();
  pf->nodeCount = 2;

  for (Sector* s = WalkPlane_GetSectors(); s; s = s->next) {
    if (!(s->type & SECTOR_WALK) || !s->visible) continue;
    if (pf->regionCount >= NAV_MAX_REGIONS - 1)
      return Fail(NAV_FLOOR_FAILED, "more than 255 walk sectors");
    NavRegion* r = NavRegion_FromSector(s);
    if (!r)
      return Fail(NAV_FLOOR_FAILED, "a sector does not fit the vertex table or the edge limit");
    pf->regions[pf->regionCount++] = r;
  }
  for (int i = 0, j = pf->regionCount - 1; i < j; ++i, --j)
    std::swap(pf->regions[i], pf->regions[j]);

  // Merge until a pass merges nothing.
  for (bool merged = true; merged;) {
    merged = false;
    for (int i = 0; i < pf->regionCount; ++i) {
      for (int j = i + 1; j < pf->regionCount;) {
        NavRegion* u = NavRegion_Combine(pf->regions[i], pf->regions[j], NAV_UNION);
        if (!u) {
          ++j;
          continue;
        }
        NavRegion_Free(pf->regions[i]);
        NavRegion_Free(pf->regions[j]);
        pf->regions[i] = u;
        pf->regions[j] = pf->regions[--pf->regionCount];
        merged = true;
      }
    }
  }

  // Cut the boxes of nearby actors out of the regions.
  for (int box = 0; box < pf->obstacleCount / 4; ++box) {
    if (pf->regionCount >= NAV_MAX_REGIONS)
      return Fail(NAV_BOXES_FAILED, "no region slot for an actor box");
    NavRegion* hole = NavRegion_New();
    if (!hole) return Fail(NAV_BOXES_FAILED, "no memory for an actor box");
    int corner[4];
    for (int k = 0; k < 4; ++k) corner[k] = NavVertex_Add(&pf->obstacles[box * 4 + k]);
    bool ok = corner[0] >= 0 && corner[1] >= 0 && corner[2] >= 0 && corner[3] >= 0;
    for (int k = 0; k < 4 && ok; ++k)
      ok = NavRegion_AddEdge(hole, corner[(k + 1) % 4], corner[k], 0) >= 0;
    if (!ok) {
      NavRegion_Free(hole);
      return Fail(NAV_BOXES_FAILED, "an actor box does not fit the vertex table");
    }
    NavRegion_UpdateBounds(hole);
    const int boxIndex = pf->regionCount;
    pf->regions[pf->regionCount++] = hole;
    Pathfinder_DumpRegions(pf->regionCount);
    for (int k = 0; k < boxIndex; ++k) {
      if (NavRegion* cut = NavRegion_Combine(pf->regions[k], hole, NAV_SUBTRACT)) {
        NavRegion_Free(pf->regions[k]);
        pf->regions[k] = cut;
        Pathfinder_DumpRegions(pf->regionCount);
      }
    }
    NavRegion_Free(hole);
    --pf->regionCount;
    Pathfinder_DumpRegions(pf->regionCount);
    for (int k = 0; k < pf->regionCount; ++k) NavRegion_OrientEdges(pf->regions[k]);
  }

  // From here on the boxes have shaped the outlines.
  const NavBuildFailure failure = pf->obstacleCount >= 4 ? NAV_BOXES_FAILED : NAV_FLOOR_FAILED;
  if (!Pathfinder_SplitLoops()) return Fail(failure, "splitting loops");
  if (NavVertex_Compact(pf->regions, pf->regionCount) > NAV_MAX_COMPACT_VERTS) {
    return Fail(failure, "more than 200 vertices");
  }
  const int nodes = Pathfinder_BuildNodes(2, pf->regions, pf->regionCount);
  if (nodes < 0) return Fail(failure, "an outline vertex lacks an incoming or outgoing edge");
  if (nodes >= NAV_MAX_NODES) return Fail(failure, "128 or more nodes");
  pf->nodeCount = nodes;
  Pathfinder_BuildEdges(2, nodes);
  pf->dirty = 0;
  pf->buildFailure = NAV_BUILT;
  return 1;
}
