// Walk paths: the navigation graph first, else a depth-first search from
// sector to sector along the straight line and around shared corners.
#include <algorithm>
#include <cstring>

#include "engine/ActorRecord.h"
#include "engine/Pathfinder.h"
#include "engine/WalkPlane.h"
#include "engine/drevMain.h"

namespace {

qxVector3 g_path[WALK_PATH_MAX];
int g_pathCount = 0;

// The sector search's shared state.
bool g_searchFailed = false;
int g_searchSteps = 0;
constexpr int kMaxSearchSteps = 2000;
constexpr int kMaxSearchPoints = WALK_PATH_MAX - 1;
constexpr int kMaxSharedVertices = 128;
// Smoothing passes stop here even if a pass still changes something.
constexpr int kMaxSmoothPasses = 64;

float DistSq(const qxVector3& a, const qxVector3& b) {
  const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
  return dx * dx + dy * dy + dz * dz;
}

void EnableAll() {
  for (Sector* s = WalkPlane_GetSectors(); s; s = s->next) s->enabled = 1;
}

bool Holds(const Sector* s, const qxVector3& p) {
  return Sector_PassesPlane(s, &p) && Sector_PassesEdges(s, &p);
}

bool IsWalk(const Sector* s) {
  return (s->type & SECTOR_WALK) != 0;
}

}  // namespace

int WalkPlane_GetPath(const qxVector3** points) {
  if (points) *points = g_path;
  return g_pathCount;
}

int WalkPlane_FindPath(const Actor* actor, const qxVector3* start, const qxVector3* goal,
                       int smooth, int* graphFailed, const Actor* otherActor) {
  const bool sectorWalker = actor && (actor->flags & ACTOR_SECTOR_WALKER);
  if (!sectorWalker && !(graphFailed && *graphFailed)) {
    Pathfinder_Construct();
    const int count =
        Pathfinder_FindPath(drevMain_Calls().actorToIndex(actor), *goal, *start, g_path,
                            WALK_PATH_MAX, drevMain_Calls().actorToIndex(otherActor));
    g_pathCount = std::max(count, 0);
    if (count > 0) return 1;
    if (graphFailed) *graphFailed = 1;
  }

  EnableAll();
  g_pathCount = 0;
  int result = 0;
  if (WalkPlane_FindSectorAtPoint(start, SECTOR_WALK) &&
      WalkPlane_FindSectorAtPoint(goal, SECTOR_WALK)) {
    if (WalkPlane_SectorSearch(start, goal, nullptr, 0)) {
      if (g_pathCount < WALK_PATH_MAX) g_path[g_pathCount++] = *goal;
      result = 1;
    } else if (WalkPlane_SectorSearch(start, goal, nullptr, 1)) {
      result = 1;
    }
    if (result && smooth) {
      // The search leaves its visited sectors disabled; smoothing looks at
      // the whole floor.
      EnableAll();
      WalkPlane_SmoothPath();
    }
  }
  EnableAll();
  return result;
}

int WalkPlane_SectorSearch(const qxVector3* from, const qxVector3* goal, Sector* s,
                           int acceptPartial) {
  if (!s) {
    EnableAll();
    g_searchFailed = false;
    g_pathCount = 0;
    g_searchSteps = 0;
    s = WalkPlane_FindSectorAtPoint(from, SECTOR_WALK);
  }
  ++g_searchSteps;
  if (g_pathCount >= kMaxSearchPoints || g_searchSteps > kMaxSearchSteps) {
    if (s) s->enabled = 0;
    g_searchFailed = true;
    return 0;
  }
  if (!s) return 0;

  g_path[g_pathCount++] = *from;
  const int remembered = g_pathCount;
  if (s->enabled && s->visible && Holds(s, *goal)) return 1;

  qxVector3 exit = *goal, edge;
  Sector_TraceExit(s, from, goal, &exit, &edge);
  s->enabled = 0;

  Sector* d = nullptr;
  if (DistSq(exit, *from) > 0.0001f) {
    d = WalkPlane_FindSectorAtPoint(&exit, SECTOR_WALK);
    if (d && WalkPlane_SectorSearch(&exit, goal, d, acceptPartial)) return 1;
  }
  if (g_searchFailed) return 0;
  if (d) {
    d->enabled = 0;
  } else if (acceptPartial) {
    return 1;  // the path ends where the straight line meets a wall
  }

  // Detours through the corners this sector shares with others.
  qxVector3 shared[kMaxSharedVertices];
  const int count = WalkPlane_CollectSharedVertices(shared, s, goal);
  for (int i = 0; i < count; ++i) {
    Sector* g = WalkPlane_FindSectorAtPoint(&shared[i], SECTOR_WALK);
    if (!g) continue;
    g_pathCount = remembered;
    qxVector3 q;
    if (WalkPlane_NearestSharedVertex(s, g, goal, &q) &&
        WalkPlane_SectorSearch(&q, goal, g, acceptPartial)) {
      return 1;
    }
    if (g_searchFailed) return 0;
  }
  s->enabled = 1;
  if (d) d->enabled = 1;
  return 0;
}

int WalkPlane_CollectSharedVertices(qxVector3* out, const Sector* s, const qxVector3* goal) {
  struct Entry {
    qxVector3 p;
    float dist;
  };
  Entry list[kMaxSharedVertices];
  int count = 0;
  for (const Sector* other = WalkPlane_GetSectors(); other; other = other->next) {
    if (other == s || !IsWalk(other) || !other->enabled) continue;
    for (int i = 0; i < other->numVerts && count < kMaxSharedVertices; ++i) {
      const qxVector3& v = other->verts[i]->p;
      if (!Sector_ContainsPoint(s, &v, 0)) continue;
      bool listed = false;
      for (int k = 0; k < count && !listed; ++k) {
        listed = list[k].p.x == v.x && list[k].p.y == v.y && list[k].p.z == v.z;
      }
      if (!listed) list[count++] = {v, DistSq(v, *goal)};
    }
  }
  std::stable_sort(list, list + count,
                   [](const Entry& a, const Entry& b) { return a.dist < b.dist; });
  for (int i = 0; i < count; ++i) out[i] = list[i].p;
  return count;
}

int WalkPlane_NearestSharedVertex(const Sector* a, const Sector* b, const qxVector3* point,
                                  qxVector3* out) {
  bool found = false;
  float best = 0;
  auto consider = [&](const Sector* from, const Sector* in) {
    for (int i = 0; i < from->numVerts; ++i) {
      const qxVector3& v = from->verts[i]->p;
      if (!Sector_ContainsPoint(in, &v, 0)) continue;
      const float d = DistSq(v, *point);
      if (!found || d < best) {
        found = true;
        best = d;
        *out = v;
      }
    }
  };
  consider(a, b);
  consider(b, a);
  return found;
}

Sector* WalkPlane_FindSectorHolding(const qxVector3* p, const qxVector3* q) {
  Sector* result = nullptr;
  while (Sector* s = WalkPlane_FindSectorAtPoint(p, SECTOR_WALK)) {
    if (Holds(s, *q)) {
      result = s;
      break;
    }
    s->enabled = 0;
  }
  EnableAll();
  return result;
}

void WalkPlane_SmoothPath(void) {
  for (int pass = 0; pass < kMaxSmoothPasses; ++pass) {
    bool changed = false;
    // Corner cutting: a middle point moves to where the straight line from
    // its predecessor to its successor leaves the floor.
    if (g_pathCount >= 4) {
      for (int k = 0; k < g_pathCount - 3; ++k) {
        qxVector3& pa = g_path[k];
        qxVector3& pb = g_path[k + 1];
        qxVector3& pc = g_path[k + 2];
        Sector* s1 = WalkPlane_FindSectorHolding(&pa, &pb);
        Sector* s2 = WalkPlane_FindSectorHolding(&pb, &pc);
        if (!s1 || !s2) return;
        qxVector3 x = pc, edge;
        Sector_TraceExit(s1, &pa, &pc, &x, &edge);
        if (s1->crossedEdge < 0) continue;  // no crossing point: the corner stays
        if (WalkPlane_FindSectorHolding(&x, &pa) && WalkPlane_FindSectorHolding(&x, &pc) &&
            DistSq(x, pb) > 0.0025000002f) {
          pb = x;
          changed = true;
        }
      }
    }
    // Duplicates (never the goal).
    if (g_pathCount >= 3) {
      for (int k = 0; k < g_pathCount - 2; ++k) {
        if (DistSq(g_path[k], g_path[k + 1]) < 0.0001f &&
            WalkPlane_FindSectorHolding(&g_path[k], &g_path[k + 1])) {
          std::memmove(&g_path[k + 1], &g_path[k + 2],
                       sizeof(qxVector3) * static_cast<size_t>(g_pathCount - k - 2));
          --g_pathCount;
          changed = true;
        }
      }
    }
    if (!changed) return;
  }
}
