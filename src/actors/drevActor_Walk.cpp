// Actor walking and turning: the walk frame, paths, one-frame walk and turn
// requests, the yaw chasing the walk frame's heading, and the puck tilt.
//
// A walking actor owns a walk frame that sits on the walk sectors; the frame
// holds the heading and footing the actor is to take, the actor's yaw
// follows it at the actor's turn rate, and the actor's position is copied
// from it after every step. Every rate is multiplied by the frame clock's
// seconds and the actor's time scale.
#include <algorithm>
#include <cmath>

#include "actors/drevActor.h"
#include "actors/drevActor_Internal.h"
#include "engine/WalkPlane.h"
#include "engine/drevTime.h"
#include "platform/kv_Log.h"
#include "std/std.h"
#include "std/stdMath.h"

namespace {

float Distance(const qxVector3& a, const qxVector3& b) {
  const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

ActorExtra* Extra(Actor* actor) {
  if (!actor->pExtra) drevActor_CreateExtra(actor);
  return actor->pExtra;
}

HostServices* Services() {
  HostServices* hs = drevActor_State().services;
  return hs ? hs : std_pHS;
}

void DeleteWalkFrame(ActorExtra* e) {
  if (!e->walkFrame) return;
  WalkFrame_Unlink(e->walkFrame);
  Services()->memFree(e->walkFrame);
  e->walkFrame = nullptr;
}

// Degrees between the frame's heading and the direction `along` from the
// frame's position (0..180), and the side: local x of that direction.
float AngleToHeading(const WalkFrame* frame, const qxVector3& along, int backward, float* side) {
  qxVector3 p{frame->position.x + along.x, frame->position.y + along.y,
              frame->position.z + along.z};
  WalkFrame_ToLocal(frame, &p);
  if (backward) {
    p.x = -p.x;
    p.y = -p.y;
  }
  p.z = 0;
  qxVector3_NormalizeInPlace(&p);
  *side = p.x;
  return 90.0f - stdMath_ArcSin3(p.y);
}

}  // namespace

void drevActor_EnsureWalkFrame(Actor* actor, int keep) {
  if (!actor) return;
  ActorExtra* e = Extra(actor);
  if (!e) return;
  if (!keep && e->walkFrame) {
    DeleteWalkFrame(e);
    return;
  }
  if (e->walkFrame) return;
  auto* frame = static_cast<WalkFrame*>(
      Services()->memAlloc(sizeof(WalkFrame), "drevActor_Walk.cpp", __LINE__));
  if (!frame) {
    kv_Log_Printf("[Actor] - no memory for a walk frame");
    return;
  }
  WalkFrame_Construct(frame, e->reflectionAngle);
  WalkFrame_SetPosition(frame, &actor->position);
  const qxMatrix34* t = drevActor_GetTransform(actor);
  const qxVector3 ahead{actor->position.x + t->y.x, actor->position.y + t->y.y,
                        actor->position.z + t->y.z};
  WalkFrame_TurnToward(frame, &ahead, ACTOR_UNLIMITED_TURN);
  e->walkFrame = frame;
}

// Deletes the walk frame without making one (the teardown's step).
void drevActor_DeleteWalkFrame(Actor* actor) {
  if (actor && actor->pExtra) DeleteWalkFrame(actor->pExtra);
}

void drevActor_SetPosition(Actor* actor, const qxVector3* point, int stop) {
  if (!actor || !point) return;
  if (stop) actor->state &= ~ACTOR_MOVING;
  WalkFrame* frame = actor->pExtra ? actor->pExtra->walkFrame : nullptr;
  if (frame) {
    WalkFrame_SetPosition(frame, point);
    if (actor->pExtra->followBoxes) WalkFrame_AttachToSector(frame);
    actor->position = frame->position;
  } else {
    actor->position = *point;
  }
  actor->transformValid = 0;
}

void drevActor_SetRotation(Actor* actor, const qxVector3* angles, int instant) {
  if (!actor || !angles) return;
  actor->state &= ~ACTOR_MOVING;
  ActorExtra* e = actor->pExtra;
  if (!e || !e->walkFrame) {
    actor->rotation = *angles;
  } else {
    // Turn the walk frame to the new heading; the actor's yaw follows it in
    // the turn steps.
    qxMatrix34 r;
    qxMatrix34_BuildRotate(&r, angles);
    float side = 0;
    const float a = AngleToHeading(e->walkFrame, r.y, 0, &side);
    WalkFrame_Rotate(e->walkFrame, side > 0 ? -a : a);
    if (instant) drevActor_RequestInstantTurn(e);
    e->yawToGo = a;
    actor->rotation.x = angles->x;
    actor->rotation.z = angles->z;
  }
  actor->transformValid = 0;
}

void drevActor_SetFollowBoxes(Actor* actor, int on) {
  if (!actor) return;
  ActorExtra* e = Extra(actor);
  if (!e) return;
  if (on) {
    e->followBoxes = 1;
    drevActor_EnsureWalkFrame(actor, 1);
    if (e->walkFrame) WalkFrame_AttachToSector(e->walkFrame);
  } else {
    e->followBoxes = 0;
    if (e->walkFrame) e->walkFrame->sector = nullptr;
  }
}

void drevActor_SetReflection(Actor* actor, float degrees) {
  if (actor && actor->pExtra && actor->pExtra->walkFrame)
    actor->pExtra->walkFrame->maxTurn = degrees;
}

void drevActor_SetReflectionDefault(Actor* actor, float degrees) {
  if (!actor) return;
  ActorExtra* e = Extra(actor);
  if (!e) return;
  e->reflectionAngle = degrees;
  if (e->walkFrame) e->walkFrame->maxTurn = degrees;
}

void drevActor_SetConstrain(Actor* actor, int on) {
  if (!actor || !actor->pExtra || !actor->pExtra->walkFrame) return;
  // Turning the constraint on during a path walk is ignored.
  if (on && (actor->state & ACTOR_MOVING)) return;
  WalkFrame_SetSectorHeading(actor->pExtra->walkFrame, on);
}

void drevActor_SetWalkDominate(Actor* actor, int on) {
  if (!actor) return;
  if (ActorExtra* e = Extra(actor)) e->walkDominate = on;
}

void drevActor_SnapToOppositeEdge(Actor* actor, Sector* sector) {
  if (!actor || !sector || !actor->pExtra || !actor->pExtra->walkFrame) return;
  WalkFrame* frame = actor->pExtra->walkFrame;
  Sector_GetOppositeEdge(sector, frame);
  const qxVector3 p = frame->position;
  drevActor_SetPosition(actor, &p, 1);
}

void drevActor_WalkTo(Actor* actor, qxVector3* goal, const qxVector3* target, Actor* avoid) {
  if (!actor || !goal) return;
  actor->state &= ~ACTOR_MOVING;
  ActorExtra* e = actor->pExtra;
  if (!e || !e->walkFrame || !WalkPlane_GetSectors()) return;

  // An actor off the floor steps onto it when it stands right at its edge.
  if (!WalkPlane_FindSectorAtPoint(&actor->position, SECTOR_WALK)) {
    if (Sector* s = WalkPlane_FindNearestSector(&actor->position, SECTOR_WALK)) {
      qxVector3 p = actor->position;
      Sector_ClampPoint(s, &p);
      if (Distance(p, actor->position) < 0.001f) drevActor_SetPosition(actor, &p, 1);
    }
  }
  if (Sector* s = WalkPlane_FindNearestSector(goal, SECTOR_WALK)) Sector_ClampPoint(s, goal);

  int graphFailed = (actor->flags & ACTOR_SECTOR_WALKER) ? 1 : 0;
  const qxVector3 start = e->walkFrame->position;
  if (WalkPlane_FindPath(actor, &start, goal, 1, &graphFailed, avoid)) {
    const qxVector3* found = nullptr;
    int count = std::min(WalkPlane_GetPath(&found), ACTOR_PATH_MAX);
    // The avoidance searches paths of its own, which reuse the shared buffer.
    qxVector3 points[ACTOR_PATH_MAX];
    std::copy(found, found + count, points);
    if (graphFailed) {
      count = drevActor_AvoidActor(e->path, ACTOR_PATH_MAX, count, actor, avoid, points);
    } else {
      std::copy(points, points + count, e->path);
    }
    e->pathCount = count;
    if (count >= 2) {
      e->pathIndex = 1;
      e->waypoint = e->path[1];
      actor->state |= ACTOR_MOVING;
    } else {
      // Nothing to walk: a single point is where the actor stays.
      e->pathIndex = count;
      if (count == 1) e->waypoint = e->path[0];
    }
  }
  if (target) e->destination = *target;
}

void drevActor_WalkForward(Actor* actor) {
  if (!actor) return;
  drevActor_EnsureWalkFrame(actor, 1);
  if (actor->pExtra) actor->pExtra->walkRequested = 1;
}

void drevActor_Turn(Actor* actor, int direction) {
  if (!actor) return;
  drevActor_EnsureWalkFrame(actor, 1);
  ActorExtra* e = actor->pExtra;
  if (!e) return;
  const float step =
      e->turnRate * drevTime_GetFrameSeconds() * e->timeScale * static_cast<float>(direction);
  // While the yaw still lags the heading by more than two steps the request is dropped.
  if (std::fabs(2.0f * step) >= std::fabs(e->yawToGo)) e->turnRequested = direction > 0 ? 1 : -1;
}

void drevActor_FollowPath(Actor* actor) {
  ActorExtra* e = actor ? actor->pExtra : nullptr;
  if (!e) {
    if (actor) actor->state &= ~ACTOR_MOVING;
    return;
  }
  float d = Distance(actor->position, e->waypoint);
  const float reach = drevTime_GetFrameSeconds() * std::fabs(e->walkRate) * e->timeScale * 1.25f;
  // Waypoints within reach are passed this frame; the actor is put exactly on
  // each one. Passing the last point ends the walk (path[pathCount] is never read).
  while (d < reach && e->pathIndex < e->pathCount) {
    ++e->pathIndex;
    const qxVector3 passed = e->waypoint;
    drevActor_SetPosition(actor, &passed, 1);
    if (e->pathIndex >= e->pathCount) break;
    e->waypoint = e->path[e->pathIndex];
    d = Distance(actor->position, e->waypoint);
  }
  if (e->pathIndex >= e->pathCount) {
    actor->state &= ~ACTOR_MOVING;
    return;
  }
  actor->state |= ACTOR_MOVING;
  drevActor_EnsureWalkFrame(actor, 1);
  if (e->walkFrame) WalkFrame_TurnToward(e->walkFrame, &e->waypoint, ACTOR_UNLIMITED_TURN);
  e->walkRequested = 1;
}

void drevActor_StepWalkFrame(Actor* actor) {
  ActorExtra* e = actor ? actor->pExtra : nullptr;
  if (!e || !e->walkFrame) return;
  WalkFrame* frame = e->walkFrame;
  const float seconds = drevTime_GetFrameSeconds();
  if (e->turnRequested != 0 && !(actor->state & ACTOR_MOVING)) {
    // The signed rate, as the scripts see it: negative while an instant turn
    // is pending.
    WalkFrame_Rotate(frame, drevActor_SignedTurnRate(e) * seconds * e->timeScale *
                                static_cast<float>(e->turnRequested));
  }
  if (e->walkRequested != 0) {
    const float step = e->timeScale * e->walkRate * seconds;
    const int first = e->walkDominate ? 1 : (e->turnRequested != -1);
    const int second = e->walkDominate ? 1 : (e->turnRequested != 1);
    e->walkRequested = WalkFrame_Advance(frame, step, nullptr, first, second);
  }
  e->turnDone = drevActor_TurnTowardWaypoint(frame, actor, actor->flags & ACTOR_BACKWARD);
  // A yaw still turning counts as a turn for the chores.
  if (e->turnRequested == 0 && e->turnDone == 0) e->turnRequested = e->yawToGo > 0 ? -1 : 1;
  actor->position = frame->position;
  actor->transformValid = 0;
}

int drevActor_TurnTowardWaypoint(WalkFrame* frame, Actor* actor, int backward) {
  ActorExtra* e = actor ? actor->pExtra : nullptr;
  if (!frame || !e) return 1;
  const qxMatrix34* t = drevActor_GetTransform(actor);
  qxVector3 forward = t->y;
  if (e->yawOffset != 0) {
    qxMatrix34 r;
    qxMatrix34_BuildFromAxisAngle(&r, &t->z, e->yawOffset);
    qxMatrix34_TransformVectorInPlace(&forward, &r);
  }
  float side = 0;
  const float a = AngleToHeading(frame, forward, backward, &side);
  if (a < 0.5f || ((actor->state & ACTOR_HK_HACK) && a < 50.0f)) {
    e->yawToGo = 0;
    return 1;
  }
  e->yawToGo = a;
  const float seconds = drevTime_GetFrameSeconds();
  float limit;
  if (e->instantTurn || e->turnRate <= 0) {
    limit = ACTOR_UNLIMITED_TURN;
    e->instantTurn = false;
  } else if (!(actor->state & ACTOR_MOVING)) {
    limit = e->timeScale * e->turnRate * seconds * 1.5f;
  } else {
    limit = e->timeScale * 500.0f * seconds;
  }
  const float step = std::min(a, limit);
  actor->rotation.y += side > 0 ? step : -step;
  actor->transformValid = 0;
  return 0;
}

void drevActor_PuckOrient(Actor* actor) {
  ActorExtra* e = actor ? actor->pExtra : nullptr;
  if (!e || !e->walkFrame || !(actor->flags & ACTOR_PUCK_ORIENT)) return;
  qxMatrix34 t = *drevActor_GetTransform(actor);
  const qxVector3 up = e->walkFrame->frame.z;
  float a = 90.0f - stdMath_ArcSin3(qxVector3_Dot(&t.z, &up));
  if (std::fabs(a) <= 2.0f) return;
  const float limit = std::fabs(drevTime_GetFrameSeconds() * e->turnRate);
  a = std::clamp(a, -limit, limit);
  qxVector3 axis;
  qxVector3_Cross(&axis, &t.z, &up);
  // Up axes opposite each other give no axis to turn about.
  if (qxVector3_NormalizeInPlace(&axis) < 1e-6f) return;
  qxMatrix34 r;
  qxMatrix34_BuildFromAxisAngle(&r, &axis, a);
  qxMatrix34_PreMultiply(&t, &r);
  qxMatrix34_ExtractAngles(&t, &actor->rotation);
  actor->transformValid = 0;
  drevActor_GetTransform(actor);
}
