// Path queries over the navigation graph: locating the start and goal,
// the shortest path over the corner nodes, and the arcs that round its bends.
#include <algorithm>
#include <cmath>

#include "engine/Pathfinder.h"

namespace {

constexpr float kArcRadius = 0.02f;
constexpr float kArcStep = 0.34906587f;  // 20 degrees
constexpr float kTurn = 6.2831855f;
// Corners are rounded from a copy of at most this many points.
constexpr int kSmoothCopy = 100;

float Sq(float v) {
  return v * v;
}

float Dist3(const qxVector3& a, const qxVector3& b) {
  return std::sqrt(Sq(a.x - b.x) + Sq(a.y - b.y) + Sq(a.z - b.z));
}

const qxVector3& VertexAt(int index) {
  return NavVertex_Get(index)->p;
}

// Whether a region may take a point while region s holds the start.
bool Eligible(NavRegion* const* regions, int count, int index, int s) {
  return s < 0 || index == s || NavRegion_SharesVertex(regions[index], regions, count);
}

// The region holding the point with the nearest vertex height, -1 when none.
int HoldingRegion(const qxVector3& p, NavRegion* const* regions, int count, int s) {
  int best = -1;
  float bestDiff = 1e10f;
  for (int i = 0; i < count; ++i) {
    if (!Eligible(regions, count, i, s)) continue;
    if (!NavRegion_Contains(regions[i], &p) && !NavRegion_OnBoundary(regions[i], &p)) continue;
    const float diff = std::fabs(NavRegion_NearestVertexHeight(regions[i], &p) - p.z);
    if (diff < bestDiff) {
      bestDiff = diff;
      best = i;
    }
  }
  return best;
}

}  // namespace

int Pathfinder_LocatePoint(qxVector3* point, NavRegion* const* regions, int count, int s) {
  const int held = HoldingRegion(*point, regions, count, s);
  if (held >= 0) return held;
  // Outside every region: move the point onto the nearest edge.
  int best = -1;
  float bestDist = 3.4028235e38f;
  qxVector3 nearest = *point;
  for (int i = 0; i < count; ++i) {
    if (!Eligible(regions, count, i, s)) continue;
    for (int e = 0; e < regions[i]->edgeCount; ++e) {
      const qxVector3& a = VertexAt(regions[i]->edges[e].from);
      const qxVector3& b = VertexAt(regions[i]->edges[e].to);
      const float dx = b.x - a.x, dy = b.y - a.y, dz = b.z - a.z;
      const float len = dx * dx + dy * dy + dz * dz;
      float t = len > 0
                    ? ((point->x - a.x) * dx + (point->y - a.y) * dy + (point->z - a.z) * dz) / len
                    : 0;
      t = std::clamp(t, 0.0f, 1.0f);
      const qxVector3 q{a.x + dx * t, a.y + dy * t, a.z + dz * t};
      const float d = Sq(q.x - point->x) + Sq(q.y - point->y) + Sq(q.z - point->z);
      if (d < bestDist) {
        bestDist = d;
        best = i;
        nearest = q;
      }
    }
  }
  if (best >= 0) *point = nearest;
  return best;
}

void Pathfinder_LocateNode(int node) {
  Pathfinder* pf = Pathfinder_Construct();
  NavVertex& n = pf->nodes[node];
  const int region = HoldingRegion(n.p, pf->regions, pf->regionCount, -1);
  n.regionCount = region >= 0 ? 1 : 0;
  n.regions[0] = region;
}

int Pathfinder_ShortestPath(NavVertex* nodes, int from, int to, qxVector3* out, int capacity) {
  Pathfinder* pf = Pathfinder_Construct();
  const int n = pf->nodeCount;
  int parent[NAV_MAX_NODES];
  float cost[NAV_MAX_NODES], estimate[NAV_MAX_NODES];
  int state[NAV_MAX_NODES];
  int open[NAV_MAX_NODES];
  int openCount = 0;
  for (int i = 0; i < n; ++i) {
    state[i] = 0;
    cost[i] = estimate[i] = 1e10f;
    parent[i] = -1;
  }
  cost[from] = 0;
  estimate[from] = Dist3(nodes[from].p, nodes[to].p);
  state[from] = 1;
  open[openCount++] = from;
  bool found = false;
  while (openCount > 0) {
    int pick = 0;
    for (int i = 1; i < openCount; ++i) {
      if (estimate[open[i]] < estimate[open[pick]]) pick = i;
    }
    const int node = open[pick];
    if (node == to) {
      found = true;
      break;
    }
    open[pick] = open[--openCount];
    state[node] = 2;
    for (int j = 0; j < n; ++j) {
      const float w = pf->weights[node][j];
      if (w == 0 || state[j] == 2) continue;
      const float c = cost[node] + w;
      if (state[j] != 1 || c < cost[j]) {
        cost[j] = c;
        parent[j] = node;
        estimate[j] = c + Dist3(nodes[j].p, nodes[to].p);
        if (state[j] != 1) {
          state[j] = 1;
          open[openCount++] = j;
        }
      }
    }
  }
  if (!found) return 0;
  int count = 0;
  for (int node = to;; node = parent[node]) {
    if (count >= capacity) return 0;
    out[count++] = nodes[node].p;
    if (node == from) break;
  }
  return count;
}

float Nav_TangentAngle(const qxVector3* corner, const qxVector3* point, float radius, int side) {
  const float dx = point->x - corner->x, dy = point->y - corner->y;
  const float base = std::atan2(dy, dx);
  const float spread = std::atan(std::sqrt(dx * dx + dy * dy) / radius);
  return side ? base + spread : base - spread;
}

int Pathfinder_RoundCorner(const qxVector3* points, int i, qxVector3* arc, const qxVector3* next,
                           const qxVector3* previous) {
  const qxVector3& v = points[i];
  const qxVector3& after = points[i + 1];
  if (Sq(v.x - after.x) + Sq(v.y - after.y) < Sq(kArcRadius) ||
      Sq(v.x - previous->x) + Sq(v.y - previous->y) < Sq(kArcRadius)) {
    return 0;
  }
  const float h =
      (after.y - previous->y) * (v.x - previous->x) - (after.x - previous->x) * (v.y - previous->y);
  const bool left = h > 0;
  const float a = Nav_TangentAngle(&v, &points[i - 1], kArcRadius, left);
  float b = Nav_TangentAngle(&v, next, kArcRadius, !left);
  if (left) {
    while (b < a) b += kTurn;
  } else {
    while (b > a) b -= kTurn;
  }
  if (!(std::fabs(b - a) <= kTurn)) return 0;  // points too far out to give angles
  const int k = static_cast<int>(std::fabs(b - a) / kArcStep) + 1;
  if (k + 3 > NAV_ARC_MAX) return 0;
  arc[0] = points[i - 1];
  for (int j = 0; j <= k; ++j) {
    const float angle = a + (b - a) * static_cast<float>(j) / static_cast<float>(k);
    arc[j + 1] = {v.x + kArcRadius * std::cos(angle), v.y + kArcRadius * std::sin(angle), v.z};
  }
  arc[k + 2] = after;

  // The arc must not cross a region edge (unless it passes well above or
  // below it).
  Pathfinder* pf = Pathfinder_Construct();
  for (int seg = 0; seg < k + 2; ++seg) {
    const qxVector3& p = arc[seg];
    const qxVector3& q = arc[seg + 1];
    for (int r = 0; r < pf->regionCount; ++r) {
      const NavRegion* region = pf->regions[r];
      for (int e = 0; e < region->edgeCount; ++e) {
        const qxVector3& ea = VertexAt(region->edges[e].from);
        const qxVector3& eb = VertexAt(region->edges[e].to);
        float t, s;
        if (!Nav_SegmentsIntersect(&p, &q, &ea, &eb, 1, &t, &s)) continue;
        const float high = std::fmax(ea.z, eb.z), low = std::fmin(ea.z, eb.z);
        const bool above = p.z > high + 0.0001f && q.z > high + 0.0001f;
        const bool below = p.z < low - 0.0001f && q.z < low - 0.0001f;
        if (!above && !below) return 0;
      }
    }
  }
  return k;
}

void Pathfinder_SmoothPath(qxVector3* points, int* count, int capacity) {
  const int total = *count;
  if (total < 3) return;
  const int copied = std::min(total, kSmoothCopy);
  qxVector3 copy[kSmoothCopy];
  qxVector3 exits[kSmoothCopy];
  qxVector3 arc[NAV_ARC_MAX];
  std::copy(points, points + copied, copy);
  // First pass: where each corner's arc would leave it.
  for (int i = 1; i + 1 < copied; ++i) {
    const int k = Pathfinder_RoundCorner(copy, i, arc, &copy[i + 1], &copy[i - 1]);
    exits[i] = k > 0 ? arc[k + 1] : copy[i];
  }
  // Second pass over the live path, one corner of the copy per step.
  int n = total;
  int corner = 1;
  for (int i = 1; i < n - 1 && corner + 1 < copied; ++i, ++corner) {
    const qxVector3& next = corner + 1 <= copied - 2 ? exits[corner + 1] : copy[copied - 1];
    const int k = Pathfinder_RoundCorner(points, i, arc, &next, &copy[corner - 1]);
    if (k <= 0 || n + k > capacity) continue;  // no arc, or no room for it
    std::copy_backward(points + i + 1, points + n, points + n + k);
    std::copy(arc + 1, arc + k + 2, points + i);
    n += k;
    i += k;
  }
  *count = n;
}

int Pathfinder_FindPath(int actor, qxVector3 goal, qxVector3 start, qxVector3* out, int capacity,
                        int otherActor) {
  Pathfinder* pf = Pathfinder_Construct();
  Pathfinder_RefreshActors(actor, otherActor);
  // A build that failed is not tried again until what made it fail changes.
  if (pf->dirty && (pf->buildFailure != NAV_BUILT || !Pathfinder_Rebuild())) return -1;
  const int s = Pathfinder_LocatePoint(&start, pf->regions, pf->regionCount, -1);
  const int g = Pathfinder_LocatePoint(&goal, pf->regions, pf->regionCount, s);
  // No region to stand in: no path.
  if (s < 0 || g < 0 || capacity < 2) return 0;
  if (pf->mode == 1) {
    out[0] = start;
    out[1] = goal;
    return 2;
  }
  pf->nodes[0] = NavVertex{goal, -1, -1, 0, {}};
  pf->nodes[1] = NavVertex{start, -1, -1, 0, {}};
  Pathfinder_LocateNode(0);
  Pathfinder_LocateNode(1);
  Pathfinder_BuildEdges(0, 2);
  int n = Pathfinder_ShortestPath(pf->nodes, 0, 1, out, capacity);
  if (n < 3) return n;
  Pathfinder_SmoothPath(out, &n, capacity);
  return n;
}
