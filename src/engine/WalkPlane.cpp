// Walk sectors: the shared vertex database, the per-set sector lists, the
// "sectors" section reader and writer, and the geometric queries.
#include "engine/WalkPlane.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <new>
#include <string>
#include <vector>

#include "engine/Pathfinder.h"
#include "engine/WalkPlane_Internal.h"
#include "platform/kv_Log.h"
#include "quadrix/qxPrimitive.h"
#include "std/stdConffile.h"
#include "std/stdMath.h"

namespace {

// Entries never move (a deque keeps its elements in place as it grows).
std::deque<WalkVertex> g_vertices;
int g_totVerts = 0;

struct SectorSlot {
  Sector* head = nullptr;
  std::string name;  // empty = free
};
std::vector<SectorSlot> g_slots;
int g_current = -1;  // slot of the current list, -1 none

constexpr float kNoHeight = 12345.0f;

std::string SlotName(const char* setName) {
  std::string name = setName ? setName : "";
  if (name.size() > SECTOR_SET_NAME_SIZE - 1) name.resize(SECTOR_SET_NAME_SIZE - 1);
  return name;
}

int FindSlot(const char* setName) {
  const std::string name = SlotName(setName);
  for (size_t i = 0; i < g_slots.size(); ++i) {
    if (!g_slots[i].name.empty() && g_slots[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

int FindOrTakeSlot(const char* setName) {
  const int found = FindSlot(setName);
  if (found >= 0) return found;
  for (size_t i = 0; i < g_slots.size(); ++i) {
    if (g_slots[i].name.empty()) {
      g_slots[i].name = SlotName(setName);
      return static_cast<int>(i);
    }
  }
  g_slots.push_back({nullptr, SlotName(setName)});
  return static_cast<int>(g_slots.size()) - 1;
}

void EnsureDatabase() {
  if (!g_vertices.empty()) return;
  for (int i = 0; i < MAX_DB_VERTS; ++i) g_vertices.push_back({0, {0, 0, 0}, i});
}

float DistSq(const qxVector3& a, const qxVector3& b) {
  const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
  return dx * dx + dy * dy + dz * dz;
}

// The side value of the edge rule: inside a counter-clockwise polygon > 0.
float EdgeSide(const Sector* s, const qxVector3& p, const qxVector3& a, const qxVector3& b) {
  const int ia = s->axisA, ib = s->axisB;
  return (Walk_Axis(p, ia) - Walk_Axis(a, ia)) * (Walk_Axis(b, ib) - Walk_Axis(a, ib)) -
         (Walk_Axis(p, ib) - Walk_Axis(a, ib)) * (Walk_Axis(b, ia) - Walk_Axis(a, ia));
}

void FreeList(int slot) {
  while (g_slots[slot].head) Sector_Free(g_slots[slot].head);
}

}  // namespace

float Walk_Axis(const qxVector3& v, int axis) {
  return axis == 0 ? v.x : (axis == 1 ? v.y : v.z);
}

void Walk_SetAxis(qxVector3& v, int axis, float value) {
  (axis == 0 ? v.x : (axis == 1 ? v.y : v.z)) = value;
}

int Walk_CurrentSlot(void) {
  return g_current;
}

// ---- Vertex database -------------------------------------------------------------

WalkVertex* WalkPlane_AddVertex(const qxVector3* point) {
  EnsureDatabase();
  for (WalkVertex& v : g_vertices) {
    if (v.refCount != 0 && DistSq(v.p, *point) < 1e-8f) {
      ++v.refCount;
      return &v;
    }
  }
  WalkVertex* entry = nullptr;
  for (WalkVertex& v : g_vertices) {
    if (v.refCount <= 0) {
      entry = &v;
      break;
    }
  }
  if (!entry) {
    // Full: the database grows; entries already handed out stay where they are.
    const int index = static_cast<int>(g_vertices.size());
    g_vertices.push_back({0, {0, 0, 0}, index});
    entry = &g_vertices.back();
    if (index == MAX_DB_VERTS)
      kv_Log_Printf("[Sectors] - vertex database grows past %d entries", index);
  }
  entry->refCount = 1;
  entry->p = *point;
  ++g_totVerts;
  return entry;
}

int WalkPlane_ReleaseVertex(WalkVertex* vertex) {
  if (!vertex || vertex->refCount <= 0) return vertex ? vertex->refCount : 0;
  if (--vertex->refCount == 0) --g_totVerts;
  return vertex->refCount;
}

int WalkPlane_GetVertexCount(void) {
  return g_totVerts;
}

int WalkPlane_GetDatabaseSize(void) {
  EnsureDatabase();
  return static_cast<int>(g_vertices.size());
}

WalkVertex* WalkPlane_GetVertex(int index) {
  EnsureDatabase();
  if (index < 0 || index >= static_cast<int>(g_vertices.size())) return nullptr;
  return &g_vertices[index];
}

void Walk_RecountVertices(void) {
  g_totVerts = 0;
  for (const WalkVertex& v : g_vertices) {
    if (v.refCount > 0) ++g_totVerts;
  }
}

// ---- Sectors and lists -----------------------------------------------------------

Sector* Sector_Init(const qxVector3* points, int count, const int32_t (*tris)[3], int triCount,
                    const char* setName) {
  if (!points || count < 3 || count > SECTOR_MAX_VERTS) return nullptr;
  Sector* s = new (std::nothrow) Sector{};
  if (!s) return nullptr;
  s->height = 0.005f;
  s->visible = 1;
  s->enabled = 1;
  s->numVerts = count;
  s->numTris = (tris && triCount > 0) ? std::min(triCount, SECTOR_MAX_TRIS) : 0;
  for (int i = 0; i < count; ++i) s->verts[i] = WalkPlane_AddVertex(&points[i]);
  for (int i = 0; i < s->numTris; ++i) {
    for (int k = 0; k < 3; ++k) s->tris[i][k] = tris[i][k];
  }

  // Newell's normal: a polygon listed counter-clockwise seen from +z points up.
  qxVector3 n{0, 0, 0};
  for (int i = 0; i < count; ++i) {
    const qxVector3& p = s->verts[(i + count - 1) % count]->p;
    const qxVector3& q = s->verts[i]->p;
    n.x += (p.y - q.y) * (p.z + q.z);
    n.y += (p.x + q.x) * (p.z - q.z);
    n.z += (p.x - q.x) * (q.y + p.y);
  }
  qxVector3_NormalizeInPlace(&n);
  s->normal = n;

  // The projection axes come from the largest component by signed value.
  const float largest = std::max(n.x, std::max(n.y, n.z));
  if (n.x == largest) {
    s->axisA = 2;
    s->axisB = 1;
  } else if (n.y == largest) {
    s->axisA = 0;
    s->axisB = 2;
  } else {
    s->axisA = 1;
    s->axisB = 0;
  }

  const int slot = FindOrTakeSlot(setName);
  Walk_ListChanged(slot);
  s->next = g_slots[slot].head;
  if (s->next) s->next->prev = s;
  g_slots[slot].head = s;
  g_current = slot;
  return s;
}

void Sector_SetType(Sector* sector, uint32_t type) {
  sector->height = 9999.0f;
  sector->type = type;
  if (type & SECTOR_WALK) sector->height = 0.005f;
  if (!(type & SECTOR_FUNNEL_BIT)) return;
  if (sector->numVerts != 4) {
    sector->type = SECTOR_WALK;
    return;
  }
  qxVector3 e[4];
  float len[4];
  for (int k = 0; k < 4; ++k) {
    qxVector3_Sub(&e[k], &sector->verts[(k + 1) % 4]->p, &sector->verts[k]->p);
    len[k] = qxVector3_NormalizeInPlace(&e[k]);
  }
  // Of the two pairs of opposite sides, the one closer to parallel holds the
  // narrow end: its shorter side.
  if (std::fabs(qxVector3_Dot(&e[1], &e[3])) >= std::fabs(qxVector3_Dot(&e[0], &e[2]))) {
    sector->funnelEdge = len[3] > len[1] ? 1 : 3;
  } else {
    sector->funnelEdge = len[2] > len[0] ? 0 : 2;
  }
}

void WalkPlane_SetSectorVisible(Sector* sector, int visible) {
  sector->visible = visible;
  Pathfinder_Invalidate();
}

void Sector_Unlink(Sector* sector) {
  for (size_t i = 0; i < g_slots.size(); ++i) {
    if (g_slots[i].head == sector) {
      g_slots[i].head = sector->next;
      Walk_ListChanged(static_cast<int>(i));
    } else {
      for (Sector* s = g_slots[i].head; s; s = s->next) {
        if (s == sector) {
          Walk_ListChanged(static_cast<int>(i));
          break;
        }
      }
    }
  }
  for (int i = 0; i < sector->numVerts; ++i) {
    WalkPlane_ReleaseVertex(sector->verts[i]);
    sector->verts[i] = nullptr;
  }
  if (sector->prev) sector->prev->next = sector->next;
  if (sector->next) sector->next->prev = sector->prev;
  sector->prev = sector->next = nullptr;
}

void Sector_Free(Sector* sector) {
  if (!sector) return;
  Sector_Unlink(sector);
  delete sector;
}

void WalkPlane_SelectSetSectors(const char* setName) {
  g_current = FindSlot(setName);
}

void WalkPlane_FreeSetSectors(const char* setName) {
  const int slot = FindSlot(setName);
  if (slot < 0) return;
  FreeList(slot);
  if (g_current == slot) g_current = -1;
}

Sector* WalkPlane_GetSectors(void) {
  return g_current >= 0 ? g_slots[g_current].head : nullptr;
}

// ---- Rules and queries -----------------------------------------------------------

int Sector_PassesPlane(const Sector* s, const qxVector3* point) {
  if (s->numVerts < 2) return 0;
  qxVector3 d;
  qxVector3_Sub(&d, point, &s->verts[1]->p);
  float dist = qxVector3_Dot(&d, &s->normal);
  if (std::fabs(dist) <= 0.00001f) dist = 0;
  return std::fabs(dist) <= s->height;
}

int Sector_PassesEdges(const Sector* s, const qxVector3* point) {
  for (int i = 0; i < s->numVerts; ++i) {
    const qxVector3& a = s->verts[(i + s->numVerts - 1) % s->numVerts]->p;
    const qxVector3& b = s->verts[i]->p;
    const float v = EdgeSide(s, *point, a, b) + 0.00001f;
    if (std::fabs(v) > 0.00001f && v < 0) return 0;
  }
  return 1;
}

int Sector_ContainsPoint(const Sector* s, const qxVector3* point, int checkFlags) {
  if (checkFlags && !(s->enabled && s->visible)) return 0;
  return Sector_PassesPlane(s, point) && Sector_PassesEdges(s, point);
}

Sector* WalkPlane_FindSectorAtPoint(const qxVector3* point, uint32_t typeMask) {
  for (Sector* s = WalkPlane_GetSectors(); s; s = s->next) {
    if ((s->type & typeMask) && s->enabled && s->visible && Sector_ContainsPoint(s, point, 0)) {
      return s;
    }
  }
  return nullptr;
}

Sector* WalkPlane_FindNearestSector(const qxVector3* point, uint32_t typeMask) {
  if (Sector* at = WalkPlane_FindSectorAtPoint(point, typeMask)) return at;
  Sector* best = nullptr;
  float bestDist = 3.4028235e38f;
  for (Sector* s = WalkPlane_GetSectors(); s; s = s->next) {
    if (!(s->type & typeMask) || !s->enabled || !s->visible) continue;
    qxVector3 p = *point;
    Sector_ClampPoint(s, &p);
    const float d = DistSq(p, *point);
    if (d < bestDist) {
      bestDist = d;
      best = s;
    }
  }
  return best;
}

Sector* WalkPlane_FindSectorByName(const char* name) {
  if (!name) return nullptr;
  for (Sector* s = WalkPlane_GetSectors(); s; s = s->next) {
    if (strcasecmp(s->name, name) == 0) return s;
  }
  return nullptr;
}

Sector* WalkPlane_FindSectorById(int32_t id) {
  for (Sector* s = WalkPlane_GetSectors(); s; s = s->next) {
    if (s->id == id) return s;
  }
  return nullptr;
}

void Sector_ProjectToPlane(const Sector* s, qxVector3* point) {
  if (s->numVerts < 1) return;
  qxVector3 d;
  qxVector3_Sub(&d, point, &s->verts[0]->p);
  qxVector3 offset;
  qxVector3_Scale(&offset, &s->normal, qxVector3_Dot(&d, &s->normal));
  qxVector3_SubInPlace(point, &offset);
}

void Sector_PutOnPlane(const Sector* s, qxVector3* point) {
  if (s->numVerts < 1) return;
  const int a = s->axisA, b = s->axisB, c = 3 - a - b;
  const float nc = Walk_Axis(s->normal, c);
  // A plane parallel to the solved axis has no answer: the point stays.
  if (nc == 0) return;
  const float k = -qxVector3_Dot(&s->verts[0]->p, &s->normal);
  const float value = -(Walk_Axis(s->normal, a) * Walk_Axis(*point, a) +
                        Walk_Axis(s->normal, b) * Walk_Axis(*point, b) + k) /
                      nc;
  Walk_SetAxis(*point, c, value);
}

void Sector_IntersectLine(const Sector* s, const qxVector3* from, const qxVector3* to,
                          qxVector3* out) {
  if (s->numVerts < 1) return;
  qxVector3 d;
  qxVector3_Sub(&d, to, from);
  const float g = qxVector3_Dot(&s->normal, &d);
  if (std::fabs(g) < 1e-6f) return;
  qxVector3 w;
  qxVector3_Sub(&w, &s->verts[0]->p, from);
  const float t = qxVector3_Dot(&s->normal, &w) / g;
  out->x = from->x + d.x * t;
  out->y = from->y + d.y * t;
  out->z = from->z + d.z * t;
}

int Sector_ClampPoint(const Sector* s, qxVector3* point) {
  Sector_PutOnPlane(s, point);
  const int n = s->numVerts;
  for (int i = 0; i < n; ++i) {
    const qxVector3& a = s->verts[(i + n - 1) % n]->p;
    const qxVector3& b = s->verts[i]->p;
    const float dx = b.x - a.x, dy = b.y - a.y;
    const float side = (point->y - a.y) * dx - (point->x - a.x) * dy;
    const float lenSq = dx * dx + dy * dy;
    if (!(side < 0) || !(std::fabs(lenSq) > 0.00001f)) continue;
    const float t = side / -lenSq;
    point->x += -dy * t;
    point->y += dx * t;
    const float w = std::fabs(dy) < std::fabs(dx) ? (point->x - a.x) / dx : (point->y - a.y) / dy;
    if (i == n - 1 && w > 1) {
      *point = b;
    } else if (w < 0) {
      *point = a;
    } else {
      Sector_PutOnPlane(s, point);
    }
  }
  return n;
}

float Sector_TraceExit(Sector* s, const qxVector3* from, const qxVector3* to, qxVector3* out,
                       qxVector3* edgeVector) {
  s->crossedEdge = -1;
  if (s->enabled && s->visible && Sector_PassesPlane(s, to) && Sector_PassesEdges(s, to)) return 0;
  *edgeVector = {0, 0, 0};
  *out = *to;
  const int n = s->numVerts;
  const int ia = s->axisA, ib = s->axisB;
  for (int i = 0; i < n; ++i) {
    const qxVector3& a = s->verts[(i + n - 1) % n]->p;
    const qxVector3& b = s->verts[i]->p;
    const float g = EdgeSide(s, *out, a, b);
    if (!(std::fabs(g) > 0.00001f && g < 0)) continue;
    const float ea = Walk_Axis(b, ia) - Walk_Axis(a, ia);
    const float eb = Walk_Axis(b, ib) - Walk_Axis(a, ib);
    const float ma = Walk_Axis(*out, ia) - Walk_Axis(*from, ia);
    const float mb = Walk_Axis(*out, ib) - Walk_Axis(*from, ib);
    const float q = ea * mb - eb * ma;
    if (!(std::fabs(q) > 0.00001f)) continue;
    Walk_SetAxis(*out, ia, Walk_Axis(*out, ia) + ma * g / q);
    Walk_SetAxis(*out, ib, Walk_Axis(*out, ib) + mb * g / q);
    s->crossedEdge = i;
    qxVector3_Sub(edgeVector, &b, &a);
  }
  Sector_PutOnPlane(s, out);
  if (s->crossedEdge < 0) {
    Sector_ProjectToPlane(s, out);
    return 0;
  }
  qxVector3 edge = *edgeVector, move;
  qxVector3_Sub(&move, to, from);
  qxVector3_NormalizeInPlace(&edge);
  qxVector3_NormalizeInPlace(&move);
  const float angle = stdMath_ArcSin3(qxVector3_Dot(&edge, &move));
  return angle > 0 ? 90.2f - angle : -90.2f - angle;
}

int Sector_ClipPolygon(const Sector* s, const qxVector3* points, int count, qxVector3* out) {
  if (!points || count < 1 || count > SECTOR_CLIP_MAX) return 0;
  qxVector3 buffers[2][SECTOR_CLIP_MAX];
  for (int i = 0; i < count; ++i) buffers[0][i] = points[i];
  int from = 0;
  const int n = s->numVerts;
  for (int e = 0; e < n; ++e) {
    const qxVector3& a = s->verts[(e + n - 1) % n]->p;
    const qxVector3& b = s->verts[e]->p;
    const qxVector3* in = buffers[from];
    qxVector3* next = buffers[1 - from];
    int kept = 0;
    bool overflow = false;
    auto keep = [&](const qxVector3& p) {
      if (kept >= SECTOR_CLIP_MAX) {
        overflow = true;
        return;
      }
      next[kept++] = p;
    };
    auto crossing = [&](const qxVector3& p0, float s0, const qxVector3& p1, float s1) {
      const float denom = s0 - s1;
      if (!(std::fabs(denom) > 0.00001f)) return;
      const float t = s0 / denom;
      keep({p0.x + (p1.x - p0.x) * t, p0.y + (p1.y - p0.y) * t, p0.z + (p1.z - p0.z) * t});
    };
    for (int i = 0; i < count; ++i) {
      const qxVector3& prev = in[(i + count - 1) % count];
      const qxVector3& cur = in[i];
      const float sp = EdgeSide(s, prev, a, b);
      const float sc = EdgeSide(s, cur, a, b);
      if (sp > 0 && sc > 0) {
        keep(cur);
      } else if (sp > 0 && sc < 0) {
        crossing(prev, sp, cur, sc);
      } else if (sp < 0 && sc > 0) {
        crossing(prev, sp, cur, sc);
        keep(cur);
      }
    }
    if (overflow || kept < 2) return 0;
    count = kept;
    from = 1 - from;
  }
  for (int i = 0; i < count; ++i) {
    out[i] = buffers[from][i];
    Sector_PutOnPlane(s, &out[i]);
  }
  return count;
}

void Sector_DrawOutline(const Sector* s, int colour) {
  if (!s->visible) return;
  for (int i = 0; i < s->numVerts; ++i) {
    qxVector3 a = s->verts[(i + s->numVerts - 1) % s->numVerts]->p;
    qxVector3 b = s->verts[i]->p;
    qxPrimitive_DrawLine3(&a, &b, nullptr, nullptr, nullptr, nullptr, colour, -1);
  }
}

// ---- The "sectors" section -------------------------------------------------------

namespace {

struct Pending {
  char name[SECTOR_NAME_SIZE];
  int32_t id;
  uint32_t type;
  int32_t visible;
  int32_t alwaysMerge;
  float height;
  int32_t numVerts;
  int32_t numTris;
  int vertsRead;
  int trisRead;
  bool tooMany;
  qxVector3 verts[SECTOR_MAX_VERTS];
  int32_t tris[SECTOR_MAX_TRIS][3];
};

void ResetPending(Pending& p) {
  std::memset(&p, 0, sizeof p);
  p.height = kNoHeight;
}

// Finishes the pending sector: 1 when one was made.
int Finish(Pending& p, const char* setName) {
  if (p.numVerts <= 2) return 0;
  if (p.tooMany || p.numVerts > SECTOR_MAX_VERTS || p.numVerts > p.vertsRead) {
    kv_Log_Printf("[Sectors] - %s: sector \"%s\" dropped (%d vertices announced, %d read%s)",
                  setName, p.name, p.numVerts, p.vertsRead,
                  p.tooMany ? ", more than 10 vertex or triangle lines" : "");
    return 0;
  }
  Sector* s = Sector_Init(p.verts, p.numVerts, p.tris, p.trisRead, setName);
  if (!s) return 0;
  std::memcpy(s->name, p.name, sizeof s->name);
  s->id = p.id;
  WalkPlane_SetSectorVisible(s, p.visible);
  Sector_SetType(s, p.type);
  s->alwaysMerge = p.alwaysMerge;
  if (p.height != kNoHeight) {
    if (p.type == SECTOR_WALK) {
      s->height = 0.005f;
    } else {
      s->height = p.height != 0 ? p.height : 0.005f;
    }
  }
  if (s->normal.z < 0) {
    kv_Log_Printf("[Sectors] - %s: sector \"%s\" is listed clockwise (its normal points down)",
                  setName, s->name);
  }
  return 1;
}

uint32_t TypeFromWord(const char* word, uint32_t current) {
  if (std::strcmp(word, "walk") == 0) return SECTOR_WALK;
  if (std::strcmp(word, "funnel") == 0) return SECTOR_FUNNEL;
  if (std::strcmp(word, "camera") == 0) return SECTOR_CAMERA;
  if (std::strcmp(word, "special") == 0) return SECTOR_SPECIAL;
  if (std::strcmp(word, "chernobyl") == 0) return SECTOR_CHERNOBYL;
  return current;
}

char g_nextSection[kConffileLineSize];

}  // namespace

const char* WalkPlane_ReadSectors(const char* setName) {
  if (!setName) setName = "";
  const int previous = g_current;
  Pending p;
  ResetPending(p);
  int made = 0;
  const char* result = nullptr;
  char line[kConffileLineSize];
  char word[kConffileLineSize];
  while (stdConffile_NextLine()) {
    std::strncpy(line, stdConffile_line, sizeof line - 1);
    line[sizeof line - 1] = '\0';
    qxVector3 v;
    int32_t t[3];
    int value = 0;
    float real = 0;
    if (std::sscanf(line, " section: %1023s", g_nextSection) == 1) {
      made += Finish(p, setName);
      result = g_nextSection;
      break;
    }
    if (std::strstr(line, " numsectors ")) continue;
    if (std::sscanf(line, " sector %1023s", word) == 1) {
      made += Finish(p, setName);
      ResetPending(p);
      std::memcpy(p.name, word, std::min(std::strlen(word), sizeof p.name - 1));
    } else if (std::sscanf(line, " id %i", &value) == 1) {
      p.id = value;
    } else if (std::sscanf(line, " type %1023s", word) == 1) {
      p.type = TypeFromWord(word, p.type);
    } else if (std::sscanf(line, " default visibility %1023s", word) == 1) {
      p.visible = std::strcmp(word, "invisible") == 0 ? 0 : 1;
    } else if (std::sscanf(line, " always_merge %d", &value) == 1) {
      p.alwaysMerge = value;
    } else if (std::sscanf(line, " height %f", &real) == 1) {
      p.height = real;
    } else if (std::sscanf(line, " numvertices %d", &value) == 1) {
      p.numVerts = value;
    } else if (std::sscanf(line, " numtris %d", &value) == 1) {
      p.numTris = value;
    } else if (std::sscanf(line, " numgates %1023s", word) == 1) {
      // not used
    } else if (std::sscanf(line, " vertices: %f %f %f", &v.x, &v.y, &v.z) == 3 ||
               (p.vertsRead < p.numVerts &&
                std::sscanf(line, " %f %f %f", &v.x, &v.y, &v.z) == 3)) {
      if (p.vertsRead < SECTOR_MAX_VERTS) {
        p.verts[p.vertsRead++] = v;
      } else {
        p.tooMany = true;
      }
    } else if (std::sscanf(line, " triangles: %d %d %d", &t[0], &t[1], &t[2]) == 3 ||
               (p.trisRead < p.numTris &&
                std::sscanf(line, " %d %d %d", &t[0], &t[1], &t[2]) == 3)) {
      if (p.trisRead < SECTOR_MAX_TRIS) {
        std::memcpy(p.tris[p.trisRead++], t, sizeof t);
      } else {
        p.tooMany = true;
      }
    }
  }
  if (!result) made += Finish(p, setName);
  kv_Log_Printf("[Sectors] - %s: %d sectors read", setName, made);
  g_current = previous;
  return result;
}

void WalkPlane_WriteSectors(stdFile_t file) {
  HostServices* hs = std_pHS;
  if (!hs || !file) return;
  hs->filePrintf(file, "section: sectors\n");
  for (const Sector* s = WalkPlane_GetSectors(); s; s = s->next) {
    hs->filePrintf(file, "\tsector\t\t%s\n", s->name);
    hs->filePrintf(file, "\tid\t\t%d\n", s->id);
    switch (s->type) {
      case SECTOR_WALK:
        hs->filePrintf(file, "\ttype\t\twalk\t\n");
        break;
      case SECTOR_FUNNEL:
        hs->filePrintf(file, "\ttype\t\tfunnel\t\n");
        break;
      case SECTOR_CAMERA:
        hs->filePrintf(file, "\ttype\t\tcamera\t\n");
        break;
      case SECTOR_SPECIAL:
        hs->filePrintf(file, "\ttype\t\tspecial\t\n");
        break;
      case SECTOR_CHERNOBYL:
        hs->filePrintf(file, "\ttype\t\tchernobyl\t\n");
        break;
      default:
        break;
    }
    hs->filePrintf(file, "\tdefault visibility\t\t%s\n", s->visible ? "visible\t" : "invisible\t");
    hs->filePrintf(file, "\theight\t\t%7.2f\n", s->height);
    hs->filePrintf(file, "\tnumvertices\t%d\n", s->numVerts);
    hs->filePrintf(file, "\tvertices:");
    for (int i = 0; i < s->numVerts; ++i) {
      const qxVector3& v = s->verts[i]->p;
      if (i > 0) hs->filePrintf(file, "\t         ");
      hs->filePrintf(file, "\t\t%f\t%f\t%7.2f\n", v.x, v.y, v.z);
    }
    hs->filePrintf(file, "\n\n");
  }
}
