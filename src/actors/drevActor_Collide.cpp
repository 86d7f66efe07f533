// Actor collisions and avoidance.
//
// After every actor of the current set has moved, each one that moved is
// tested against the other actors of the frame's collision list that have a
// collision mode: a sphere-mode actor is a circle that a walker detours
// around on its tangent (or that pushes the mover out), a box-mode actor is
// its model's footprint box that the mover slides along, and a walk that ran
// into a box is routed anew around it. Box-mode actors are also the
// navigation graph's obstacles, and a walk asked to avoid one actor gets its
// sector-search path bent around that actor's box.
//
// Box space is the obstacle model's own space, reached with the inverse of
// the obstacle actor's transform.
#include <algorithm>
#include <cmath>
#include <limits>

#include "actors/drevActor.h"
#include "actors/drevActor_Internal.h"
#include "actors/drevCostume.h"
#include "engine/WalkPlane.h"
#include "platform/kv_Log.h"
#include "quadrix/qxModel3.h"
#include "quadrix/qxVector_Values.h"
#include "std/stdMath.h"

namespace {

constexpr uint32_t kAnySector = 0xFFFFFFFFu;

using qxv::Add;
using qxv::Sub;
using qxv::Scale;
using qxv::Dot;
using qxv::Length;

bool Finite(const qxVector3& a) {
  return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z);
}

// An actor's collision shape: the centre offset (the model's bounding-sphere
// centre rotated by the actor's transform), its centres now and at the start
// of the frame, and its radius.
struct Shape {
  const qxModel3* model = nullptr;
  qxVector3 offset{0, 0, 0};
  qxVector3 centre{0, 0, 0};
  qxVector3 previousCentre{0, 0, 0};
  float radius = 0;
  float scale = 1;
};

Shape ShapeOf(Actor* actor) {
  Shape s;
  s.centre = actor->position;
  s.previousCentre = actor->previousPosition;
  s.model = drevActor_MainModel(actor);
  if (!s.model) return s;
  s.scale = actor->pExtra ? actor->pExtra->collisionScale : 1.0f;
  qxMatrix34_TransformVector(&s.offset, &s.model->boxCentre, drevActor_GetTransform(actor));
  s.centre = Add(actor->position, s.offset);
  s.previousCentre = Add(actor->previousPosition, s.offset);
  s.radius = s.scale * s.model->radius;
  return s;
}

// The footprint box of a box-mode actor, grown on all six sides.
ActorBox Footprint(const Shape& s, float grow) {
  return {{s.model->boxMin.x * s.scale - grow, s.model->boxMin.y * s.scale - grow,
           s.model->boxMin.z * s.scale - grow},
          {s.model->boxMax.x * s.scale + grow, s.model->boxMax.y * s.scale + grow,
           s.model->boxMax.z * s.scale + grow}};
}

// Into and out of the space of a transform.
qxVector3 ToSpace(const qxMatrix34& m, const qxVector3& p) {
  qxVector3 out;
  const qxVector3 d = Sub(p, m.t);
  qxMatrix34_InvTransformVector(&out, &d, &m);
  return out;
}
qxVector3 FromSpace(const qxMatrix34& m, const qxVector3& p) {
  qxVector3 out;
  qxMatrix34_TransformPoint(&out, &p, &m);
  return out;
}

bool StrictlyInside(const ActorBox& b, const qxVector3& p) {
  return p.x > b.min.x && p.x < b.max.x && p.y > b.min.y && p.y < b.max.y && p.z > b.min.z &&
         p.z < b.max.z;
}

void EnsureExtra(Actor* actor) {
  if (!actor->pExtra) drevActor_CreateExtra(actor);
}

void ReportContact(Actor* actor, Actor* other, const qxVector3& oldPosition,
                   const qxVector3& contact, const qxVector3& newPosition) {
  ActorModule& g = drevActor_State();
  g.contactOld = oldPosition;
  g.contactPoint = contact;
  g.contactNew = newPosition;
  const float o[3] = {oldPosition.x, oldPosition.y, oldPosition.z};
  const float c[3] = {contact.x, contact.y, contact.z};
  const float n[3] = {newPosition.x, newPosition.y, newPosition.z};
  drevActor_Calls().callCollisionHandler(drevActor_ToIndex(actor), drevActor_ToIndex(other), o, c,
                                         n);
}

// The mover against a sphere-mode actor.
void ResolveSphere(Actor* actor, const Shape& a, Actor* other, const Shape& b, float d) {
  EnsureExtra(actor);
  EnsureExtra(other);
  if (!actor->pExtra || !other->pExtra) return;
  ActorExtra* e = actor->pExtra;
  e->collided = 1;
  other->pExtra->collided = 1;
  const qxVector3 oldPosition = actor->position;
  const float reach = a.radius + b.radius;
  bool resume = (actor->state & ACTOR_MOVING) != 0;

  qxVector3 target = a.centre;
  bool detoured = false;
  if (resume && !(actor->flags & ACTOR_SECTOR_WALKER) &&
      drevActor_TangentDetour(&a.previousCentre, &b.centre, &target, reach)) {
    detoured = true;
    if (e->pathIndex < e->pathCount) {
      if (Length(Sub(Add(e->waypoint, a.offset), b.centre)) < reach) {
        resume = false;  // the waypoint lies inside the other's circle
      } else if (e->walkFrame) {
        const qxVector3 toward = Add(e->walkFrame->position, Sub(target, a.previousCentre));
        WalkFrame_TurnToward(e->walkFrame, &toward, ACTOR_UNLIMITED_TURN);
        drevActor_TurnTowardWaypoint(e->walkFrame, actor, 0);
      }
    }
  }
  if (!detoured && d > 0) {
    // Push out until the circles just touch (coincident centres give no direction).
    target = Add(a.centre, Scale(Sub(a.centre, b.centre), (reach - d) / d));
  }
  const qxVector3 position = Sub(target, a.offset);
  if (Finite(position)) drevActor_SetPosition(actor, &position, 1);
  if (!(actor->flags & ACTOR_SECTOR_WALKER) &&
      Length(Sub(actor->position, actor->previousPosition)) < 0.001f)
    resume = false;
  if (resume) actor->state |= ACTOR_MOVING;
  ReportContact(actor, other, oldPosition, actor->position, actor->position);
}

// The mover against a box-mode actor; false when it is not inside the box.
bool ResolveBox(Actor* actor, const Shape& a, Actor* other, const Shape& b) {
  const qxMatrix34 m = *drevActor_GetTransform(other);
  const ActorBox box = Footprint(b, a.radius);
  const qxVector3 p = ToSpace(m, a.centre);
  if (!StrictlyInside(box, p)) return false;
  EnsureExtra(actor);
  if (!actor->pExtra) return false;
  ActorExtra* e = actor->pExtra;
  e->collided = 1;
  const qxVector3 oldPosition = actor->position;

  const qxVector3 q = ToSpace(m, a.previousCentre);
  // BoxSlide writes the contact only when it finds the side the motion entered by.
  qxVector3 out = p, contactInBox{std::numeric_limits<float>::quiet_NaN(), 0, 0};
  if (!drevActor_BoxSlide(&p, &out, &q, &box, &contactInBox)) {
    out = p;
    qxMatrix34 identity;
    qxMatrix34_Identity(&identity);
    const qxVector3 zero{0, 0, 0};
    drevActor_PushOutOfBox(&out, &identity, &box, &zero);
  }
  const qxVector3 position = Sub(FromSpace(m, out), a.offset);
  if (!Finite(position)) return true;  // leave the actor where it was
  actor->previousPosition = actor->position;
  // Without an entry side the contact is where the actor ends up.
  qxVector3 contact = position;
  if (!std::isnan(contactInBox.x)) contact = Sub(FromSpace(m, contactInBox), a.offset);

  const bool walked = (actor->state & ACTOR_MOVING) != 0;
  drevActor_SetPosition(actor, &position, 1);
  if (walked && e->pathCount > 0) {
    actor->state |= ACTOR_MOVING;
    qxVector3 goal = e->path[std::min(e->pathCount, ACTOR_PATH_MAX) - 1];
    const qxVector3 destination = e->destination;
    drevActor_WalkTo(actor, &goal, &destination, other);
    drevActor_State().rerouted = 1;
  }
  ReportContact(actor, other, oldPosition, contact, actor->position);
  return true;
}

// Appends points while there is room; false once the output is full.
struct PathOut {
  qxVector3* out;
  int capacity;
  int count;
  bool Append(const qxVector3& p) {
    if (count >= capacity) return false;
    out[count++] = p;
    return true;
  }
};

// A sector-search path; the points stay in the shared path buffer.
int SectorPath(Actor* actor, const qxVector3& from, const qxVector3& to, const qxVector3** points) {
  int graphFailed = 1;
  if (!WalkPlane_FindPath(actor, &from, &to, 0, &graphFailed, nullptr)) return 0;
  return WalkPlane_GetPath(points);
}

}  // namespace

// ---- Frame step -------------------------------------------------------------------

int drevActor_UpdateCollisions(void) {
  ActorModule& g = drevActor_State();
  g.rerouted = 0;
  for (int i = 0; i < g.collisionCount; ++i) {
    Actor* a = g.collisionList[i];
    if (a->position.x != a->previousPosition.x || a->position.y != a->previousPosition.y ||
        a->position.z != a->previousPosition.z)
      drevActor_ResolveCollision(a);
  }
  g.boxRepeat = g.rerouted ? g.boxRepeat + 1 : 0;
  return 1;
}

int drevActor_ResolveCollision(Actor* actor) {
  ActorModule& g = drevActor_State();
  Shape a = ShapeOf(actor);
  if (!a.model) return 1;
  for (int i = 0; i < g.collisionCount; ++i) {
    Actor* other = g.collisionList[i];
    if (other == actor || !other->pExtra || other->pExtra->collisionMode == 0) continue;
    const Shape b = ShapeOf(other);
    if (!b.model) continue;
    const float d = Length(Sub(a.centre, b.centre));
    if (!(d < a.radius + b.radius)) continue;
    if (other->pExtra->collisionMode == 2) {
      ResolveSphere(actor, a, other, b, d);
    } else if (other->pExtra->collisionMode == 1) {
      if (!ResolveBox(actor, a, other, b)) continue;
    } else {
      continue;
    }
    // The next obstacle sees where the actor is now.
    a = ShapeOf(actor);
  }
  return 1;
}

void drevActor_GetNearbyActorBoxes(int actorIndex, int* count, int capacity, qxVector3* points,
                                   int include) {
  if (!count) return;
  *count = 0;
  ActorModule& g = drevActor_State();
  if (g.boxRepeat >= 10 || !points) return;
  Actor* actor = drevActor_FromIndex(actorIndex);
  Actor* included = drevActor_FromIndex(include);
  const Shape a = actor ? ShapeOf(actor) : Shape{};
  for (int i = 0; i < g.collisionCount; ++i) {
    Actor* other = g.collisionList[i];
    if (other == actor || !other->pExtra || !other->costumeTop) continue;
    const int mode = other->pExtra->collisionMode;
    if (mode == 0 || mode == 2) continue;
    const Shape b = ShapeOf(other);
    if (!b.model) continue;
    const bool near = actor && Length(Sub(a.centre, b.centre)) < b.radius + a.radius;
    if (!near && other != included) continue;
    qxVector3 corners[4];
    int valid[4];
    const ActorBox box = Footprint(b, 0);
    if (!drevActor_GetBoxCorners(&box, a.radius + 0.02f, drevActor_GetTransform(other),
                                 other->position.z, corners, valid))
      continue;
    if (*count + 4 > capacity) {
      if (!g.obstacleOverflowReported) {
        g.obstacleOverflowReported = 1;
        kv_Log_Printf(
            "[Actor] - obstacle buffer full (%d points): further actor boxes are left "
            "out",
            capacity);
      }
      return;
    }
    for (const qxVector3& c : corners) points[(*count)++] = c;
  }
}

// ---- Avoidance --------------------------------------------------------------------

int drevActor_AvoidActor(qxVector3* out, int capacity, int count, Actor* actor, Actor* avoid,
                         const qxVector3* in) {
  PathOut path{out, capacity, 0};
  if (!out || !in || count <= 0 || capacity <= 0) return 0;
  if (!avoid) {
    for (int i = 0; i < count && path.Append(in[i]); ++i) {
    }
    return path.count;
  }
  count = std::min(count, ACTOR_PATH_MAX);
  qxVector3 pts[ACTOR_PATH_MAX];
  std::copy(in, in + count, pts);

  const Shape a = actor ? ShapeOf(actor) : Shape{};
  const Shape b = ShapeOf(avoid);
  if (!b.model) {
    for (int i = 0; i < count && path.Append(pts[i]); ++i) {
    }
    return path.count;
  }
  const qxMatrix34 m = *drevActor_GetTransform(avoid);
  const ActorBox grown = Footprint(b, a.radius);
  const ActorBox footprint = Footprint(b, 0);
  const float grow = a.radius + 0.02f;
  drevActor_PushOutOfBox(&pts[count - 1], &m, &grown, &avoid->position);
  drevActor_PushOutOfBox(&pts[0], &m, &grown, &avoid->position);
  const qxVector3 goal = pts[count - 1];
  if (!WalkPlane_FindSectorAtPoint(&goal, kAnySector)) return 0;

  auto hits = [&](const qxVector3& from, const qxVector3& to, qxVector3* contact) {
    const qxVector3 s = Add(from, a.offset), e = Add(to, a.offset);
    return drevActor_SegmentHitsBox(&m, &b.centre, &e, &s, grown.min.x, grown.min.y, grown.max.x,
                                    grown.max.y, contact) != 0;
  };
  auto clear = [&](const qxVector3& from) {
    return drevActor_SegmentClear(&a.offset, &m, &b.centre, actor, &from, &goal, &grown) != 0;
  };
  // Appends a path without its first point (the point already appended).
  // Answers false when one of its legs crosses the box.
  auto appendPath = [&](const qxVector3* p, int n, bool checkLegs) {
    for (int j = 1; j < n; ++j) {
      if (checkLegs && hits(p[j - 1], p[j], nullptr)) return false;
      path.Append(p[j]);
    }
    return true;
  };

  for (int i = 0; i + 1 < count; ++i) {
    path.Append(pts[i]);
    qxVector3 contact;
    if (!hits(pts[i], pts[i + 1], &contact)) continue;

    // Round the box by its corners, on the floor at the contact's height.
    qxVector3 c = Add(b.centre, [&] {
      qxVector3 v;
      qxMatrix34_TransformVector(&v, &contact, &m);
      return v;
    }());
    if (Sector* s = WalkPlane_FindNearestSector(&c, kAnySector)) Sector_ProjectToPlane(s, &c);
    qxVector3 corners[4];
    int valid[4];
    drevActor_GetBoxCorners(&footprint, grow, &m, c.z, corners, valid);
    const qxVector3 legStart = Add(pts[i], a.offset);
    int usable[4];
    for (int k = 0; k < 4; ++k) {
      const qxVector3* p = nullptr;
      usable[k] = valid[k] && !hits(pts[i], corners[k], nullptr) &&
                  SectorPath(actor, pts[i], corners[k], &p) > 0;
    }
    const int k = drevActor_NearestCorner(corners, usable, &legStart, &goal);
    if (k < 0) return path.count;
    // The path's length first: it also sets p (an argument list has no
    // order of evaluation).
    const qxVector3* p = nullptr;
    const int toCorner = SectorPath(actor, pts[i], corners[k], &p);
    appendPath(p, toCorner, false);
    usable[k] = 0;
    qxVector3 q = path.out[path.count - 1];
    if (clear(q)) {
      const int toGoal = WalkPlane_GetPath(&p);
      appendPath(p, toGoal, false);
      return path.count;
    }

    // The neighbouring corners: the nearer way round.
    const int around[2] = {(k + 3) % 4, (k + 1) % 4};
    bool reachable[2];
    float score[2];
    for (int j = 0; j < 2; ++j) {
      const qxVector3& corner = corners[around[j]];
      reachable[j] = valid[around[j]] && SectorPath(actor, q, corner, &p) > 0;
      score[j] = Dot(Sub(q, corner), Sub(q, corner)) + Dot(Sub(corner, goal), Sub(corner, goal));
    }
    int chosen;
    if (reachable[0] && reachable[1]) {
      chosen = score[0] < score[1] ? 0 : 1;
    } else if (reachable[0] || reachable[1]) {
      chosen = reachable[0] ? 0 : 1;
    } else {
      return path.count;
    }
    const int direction = chosen == 0 ? -1 : 1;
    for (int next = around[chosen]; next != k; next = (next + direction + 4) % 4) {
      const int n = SectorPath(actor, q, corners[next], &p);
      if (n <= 0) return path.count;
      if (!appendPath(p, n, true)) return 0;
      q = path.out[path.count - 1];
      if (clear(q)) {
        const int last = WalkPlane_GetPath(&p);
        return appendPath(p, last, true) ? path.count : 0;
      }
    }
    return path.count;
  }
  path.Append(goal);
  return path.count;
}

// ---- Geometry ---------------------------------------------------------------------

int drevActor_GetBoxCorners(const ActorBox* box, float grow, const qxMatrix34* transform,
                            float height, qxVector3 corners[4], int valid[4]) {
  for (int k = 0; k < 4; ++k) valid[k] = 0;
  if (transform->z.z < 0.999f) return 0;  // a tilted obstacle has no footprint
  const float z = box->min.z;
  const qxVector3 local[4] = {{box->min.x - grow, box->min.y - grow, z},
                              {box->max.x + grow, box->min.y - grow, z},
                              {box->max.x + grow, box->max.y + grow, z},
                              {box->min.x - grow, box->max.y + grow, z}};
  for (int k = 0; k < 4; ++k) {
    corners[k] = FromSpace(*transform, local[k]);
    corners[k].z = height;
    valid[k] = 1;
  }
  return 4;
}

void drevActor_PushOutOfBox(qxVector3* point, const qxMatrix34* matrix, const ActorBox* box,
                            const qxVector3* origin) {
  qxVector3 p;
  const qxVector3 d = Sub(*point, *origin);
  qxMatrix34_InvTransformVector(&p, &d, matrix);
  if (!StrictlyInside(*box, p)) return;
  // The nearest vertical side; a later one wins only when strictly nearer.
  const float distances[4] = {box->max.y - p.y, p.y - box->min.y, box->max.x - p.x,
                              p.x - box->min.x};
  int side = 0;
  for (int s = 1; s < 4; ++s) {
    if (distances[s] < distances[side]) side = s;
  }
  switch (side) {
    case 0:
      p.y = box->max.y + 0.01f;
      break;
    case 1:
      p.y = box->min.y - 0.01f;
      break;
    case 2:
      p.x = box->max.x + 0.01f;
      break;
    default:
      p.x = box->min.x - 0.01f;
      break;
  }
  qxVector3 back;
  qxMatrix34_TransformVector(&back, &p, matrix);
  *point = Add(back, *origin);
}

int drevActor_SegmentHitsBox(const qxMatrix34* matrix, const qxVector3* origin,
                             const qxVector3* end, const qxVector3* start, float minX, float minY,
                             float maxX, float maxY, qxVector3* contact) {
  qxVector3 s, e;
  const qxVector3 ds = Sub(*start, *origin), de = Sub(*end, *origin);
  qxMatrix34_InvTransformVector(&s, &ds, matrix);
  qxMatrix34_InvTransformVector(&e, &de, matrix);
  // Each vertical side: its fixed coordinate (0 x, 1 y), its value, whether
  // outside is above it, and the extent along the other coordinate.
  struct Side {
    int axis;
    float value;
    bool outsideAbove;
    float low, high;
  };
  const Side sides[4] = {{1, maxY, true, minX, maxX},
                         {1, minY, false, minX, maxX},
                         {0, maxX, true, minY, maxY},
                         {0, minX, false, minY, maxY}};
  float best = 2.0f;
  bool hit = false;
  for (const Side& side : sides) {
    const float from = side.axis == 0 ? s.x : s.y;
    const float to = side.axis == 0 ? e.x : e.y;
    const bool crosses = side.outsideAbove ? (from > side.value && to <= side.value)
                                           : (from < side.value && to >= side.value);
    if (!crosses) continue;
    const float t = (side.value - from) / (to - from);
    const qxVector3 x = Add(s, Scale(Sub(e, s), t));
    const float along = side.axis == 0 ? x.y : x.x;
    if (t < 0 || t > 1 || along < side.low || along > side.high || !(t < best)) continue;
    best = t;
    hit = true;
    if (contact) *contact = x;
  }
  return hit ? 1 : 0;
}

int drevActor_NearestCorner(const qxVector3 corners[4], const int valid[4], const qxVector3* start,
                            const qxVector3* goal) {
  int best = -1;
  float bestScore = 0;
  for (int k = 0; k < 4; ++k) {
    if (!valid[k]) continue;
    const qxVector3 toGoal = Sub(corners[k], *goal), fromStart = Sub(corners[k], *start);
    const float score = Dot(toGoal, toGoal) + Dot(fromStart, fromStart);
    if (best < 0 || score < bestScore) {
      best = k;
      bestScore = score;
    }
  }
  return best;
}

int drevActor_CircleIntersect(qxVector3* first, qxVector3* second, const qxVector3* centreA,
                              const qxVector3* centreB, float radiusB, float radiusA) {
  const float dx = centreB->x - centreA->x, dy = centreB->y - centreA->y;
  const float d = std::sqrt(dx * dx + dy * dy);
  if (!(d > 0) || d > radiusA + radiusB || d < std::fabs(radiusA - radiusB)) return 0;
  const float along = (radiusA * radiusA - radiusB * radiusB + d * d) / (2.0f * d);
  const float h = std::sqrt(std::max(radiusA * radiusA - along * along, 0.0f));
  const float mx = centreA->x + along * dx / d, my = centreA->y + along * dy / d;
  *first = {mx - h * dy / d, my + h * dx / d, centreA->z};
  *second = {mx + h * dy / d, my - h * dx / d, centreA->z};
  return 1;
}

int drevActor_TangentDetour(const qxVector3* previous, const qxVector3* obstacle, qxVector3* point,
                            float radius) {
  const float dz = obstacle->z - point->z;
  const float rr2 = radius * radius - dz * dz;
  if (rr2 < 0) return 0;
  const float dx = point->x - previous->x, dy = point->y - previous->y;
  qxVector3 first, second;
  if (!drevActor_CircleIntersect(&first, &second, previous, obstacle, std::sqrt(rr2),
                                 std::sqrt(dx * dx + dy * dy)))
    return 0;
  const qxVector3 p = *point;
  *point =
      Dot(Sub(first, p), Sub(first, p)) <= Dot(Sub(second, p), Sub(second, p)) ? first : second;
  return 1;
}

int drevActor_BoxSlide(const qxVector3* current, qxVector3* out, const qxVector3* previous,
                       const ActorBox* box, qxVector3* contact) {
  const qxVector3 p = *current;
  const qxVector3 v = Sub(p, *previous);
  const qxVector3 far = Sub(*previous, Scale(v, 10.0f));
  const float pc[3] = {p.x, p.y, p.z}, vc[3] = {v.x, v.y, v.z}, fc[3] = {far.x, far.y, far.z};
  const float lo[3] = {box->min.x, box->min.y, box->min.z};
  const float hi[3] = {box->max.x, box->max.y, box->max.z};

  // The side the motion entered by: +x, -x, +y, -y, +z, -z; a side along
  // which the motion does not move is no candidate.
  int best = -1;
  float bestS = 0;
  for (int side = 0; side < 6; ++side) {
    const int axis = side / 2;
    const bool upper = side % 2 == 0;
    if (vc[axis] == 0) continue;
    const bool beyond = upper ? fc[axis] > hi[axis] - 0.002f : fc[axis] < lo[axis] + 0.002f;
    if (!beyond) continue;
    const float value = upper ? hi[axis] : lo[axis];
    const float s = -std::fabs((value - pc[axis]) / std::fabs(vc[axis]));
    if (best < 0 || std::fabs(s) < std::fabs(bestS)) {
      best = side;
      bestS = s;
    }
  }
  if (best < 0) return 0;
  qxVector3 normal{0, 0, 0};
  (&normal.x)[best / 2] = best % 2 == 0 ? 1.0f : -1.0f;

  *out = Add(p, Scale(v, bestS));
  if (contact) *contact = *out;
  // The motion left inside the box, turned into the plane of that side.
  const qxVector3 rest = Scale(v, std::fabs(bestS));
  const float length = Length(rest);
  if (!(length > 0)) return 0;
  qxVector3 u = Scale(rest, 1.0f / length);
  const float a = 90.0f - stdMath_ArcSin3(Dot(u, normal));
  if (a < 90.0f) return 0;  // the motion leaves through that side
  qxVector3 axis;
  qxVector3_Cross(&axis, &u, &normal);
  if (qxVector3_NormalizeInPlace(&axis) < 1e-6f) return 1;  // head-on: stays at the contact
  qxMatrix34 turn;
  qxMatrix34_BuildFromAxisAngle(&turn, &axis, a - 90.0f);
  qxMatrix34_TransformVectorInPlace(&u, &turn);
  *out = Add(*out, Scale(u, length));
  return 1;
}

int drevActor_SegmentClear(const qxVector3* centreOffset, const qxMatrix34* obstacleTransform,
                           const qxVector3* obstacleOrigin, Actor* actor, const qxVector3* from,
                           const qxVector3* to, const ActorBox* box) {
  const qxVector3 s = Add(*from, *centreOffset), e = Add(*to, *centreOffset);
  if (drevActor_SegmentHitsBox(obstacleTransform, obstacleOrigin, &e, &s, box->min.x, box->min.y,
                               box->max.x, box->max.y, nullptr))
    return 0;
  const qxVector3* points = nullptr;
  return SectorPath(actor, *from, *to, &points) > 0 ? 1 : 0;
}
