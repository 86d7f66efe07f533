// The frame's actor step, the head look-at and view test, and the clip-plane
// settings that the costume draw reads.
//
// Once per engine frame (and once with 0 seconds when a set becomes current)
// every actor of the current set's roster is moved, turned and animated, its
// head turned toward its look target; then the actors that moved are
// resolved against each other, and the first navigating actor is watched for
// being stuck against a wall on its way to one waypoint.
#include <strings.h>

#include <algorithm>
#include <cmath>

#include "actors/drevActor.h"
#include "actors/drevActor_Internal.h"
#include "actors/drevCostume.h"
#include "engine/drevResource.h"
#include "engine/drevRoom.h"
#include "platform/kv_Log.h"
#include "quadrix/qxCache.h"
#include "quadrix/qxCamera.h"
#include "quadrix/qxCanvas.h"
#include "quadrix/qxColormap.h"
#include "quadrix/qxModel3.h"
#include "quadrix/qxModel3_Draw.h"
#include "quadrix/qxPuppet.h"
#include "quadrix/qxThing.h"
#include "quadrix/qxVector_Values.h"
#include "std/stdMath.h"

namespace {

using qxv::Sub;
using qxv::Length;

float ClampSym(float value, float limit) {
  limit = std::fabs(limit);
  return std::clamp(value, -limit, limit);
}

// The top node's main model thing with all three head joints inside its
// model, or null.
qxThing* HeadThing(const Actor* actor) {
  const CostumeNode* top = actor->costumeTop;
  const qxModel3* model = drevActor_MainModel(actor);
  if (!model || top->headJoints[0] < 0) return nullptr;
  for (int joint : top->headJoints) {
    if (joint < 0 || joint >= model->nodeCount) return nullptr;
  }
  return top->mainModel;
}

// Re-attaches the top instance to its costume while the node holds it.
void RescueInstance(const CostumeNode* top) {
  if (!top || !top->rCostume.valid) return;
  const auto costume = reinterpret_cast<intptr_t>(drevResource_CostumeFromRef(&top->rCostume));
  Cos_InstRescue(top->instance, static_cast<CosCostumeHandle>(costume));
}

void AppendToCollisionList(Actor* actor) {
  ActorModule& g = drevActor_State();
  if (g.collisionCount < ACTOR_COLLISION_MAX) {
    g.collisionList[g.collisionCount++] = actor;
  } else if (!g.collisionOverflowReported) {
    g.collisionOverflowReported = 1;
    kv_Log_Printf(
        "[Actor] - more than %d costumed actors in the set: the rest take no part in "
        "collisions",
        ACTOR_COLLISION_MAX);
  }
}

void WatchForStuck(Actor* watched) {
  ActorModule& g = drevActor_State();
  const ActorExtra* e = watched ? watched->pExtra : nullptr;
  if (!e || !(watched->state & ACTOR_MOVING) || e->pathIndex >= e->pathCount) {
    g.stuckFill = 0;
    return;
  }
  if (Length(Sub(e->waypoint, g.stuckWaypoint)) > 1e-6f) {
    g.stuckWaypoint = e->waypoint;
    g.stuckFill = 0;
    return;
  }
  g.stuckRing[g.stuckWrite] = watched->position;
  g.stuckWrite = (g.stuckWrite + 1) % ACTOR_STUCK_RING;
  ++g.stuckFill;
  if (g.stuckFill < ACTOR_STUCK_RING) return;
  // The oldest 20 positions against the newest 20: the distance between
  // their averages.
  qxVector3 older{0, 0, 0}, newer{0, 0, 0};
  const int half = ACTOR_STUCK_RING / 2;
  for (int i = 0; i < ACTOR_STUCK_RING; ++i) {
    const qxVector3& p = g.stuckRing[(g.stuckWrite + i) % ACTOR_STUCK_RING];
    qxVector3& sum = i < half ? older : newer;
    sum.x += p.x;
    sum.y += p.y;
    sum.z += p.z;
  }
  if (Length(Sub(older, newer)) / static_cast<float>(half) < 0.001f) {
    const qxVector3 waypoint = e->waypoint;
    drevActor_SetPosition(watched, &waypoint, 1);
  }
}

}  // namespace

void drevActor_UpdateAll(float frameSeconds) {
  ActorModule& g = drevActor_State();
  g.collisionCount = 0;
  Room* room = drevActor_Calls().roomGetCurrent();
  if (!room) return;
  drevActor_UpdateTalking(frameSeconds);
  Actor* watched = drevActor_FirstNavigator();
  for (RosterNode* n = drevActor_Calls().roomGetSetActors(room->name); n; n = n->next) {
    Actor* a = drevActor_FromIndex(static_cast<int>(n->actor));
    if (!a || !a->inUse) continue;
    if (a->pExtra) a->pExtra->collided = 0;
    if (a->costumeTop && a->costumeTop->mainModel) AppendToCollisionList(a);
    drevActor_Update(a, frameSeconds);
  }
  drevActor_UpdateCollisions();
  WatchForStuck(watched);
}

void drevActor_Update(Actor* actor, float seconds) {
  if (!actor) return;
  if (actor->pExtra) seconds *= actor->pExtra->timeScale;
  actor->previousPosition = actor->position;
  RescueInstance(actor->costumeTop);
  if (actor->state & ACTOR_MOVING) drevActor_FollowPath(actor);
  if (actor->pExtra && actor->pExtra->walkFrame) drevActor_StepWalkFrame(actor);
  drevActor_UpdateMotionChores(actor);
  if (actor->costumeTop) drevCostume_UpdateChores(actor->costumeTop, seconds);
  if (actor->state & ACTOR_LOOKING) drevActor_UpdateLookAt(actor, seconds);
  if (actor->flags & ACTOR_PUCK_ORIENT) drevActor_PuckOrient(actor);
}

void drevActor_UpdateLookAt(Actor* actor, float seconds) {
  if (!actor || !actor->pExtra) {
    drevActor_Assert("pActor->pExtra", __LINE__);
    return;
  }
  qxThing* thing = HeadThing(actor);
  if (!thing) return;
  const CostumeNode* top = actor->costumeTop;
  const qxMatrix34* placement = drevActor_GetTransform(actor);
  if (!actor->drawn) qxPuppet_BuildJointMatrices(thing, placement);

  qxMatrix34 head, inverse;
  if (!qxModel3_GetNodeMatrix(thing, top->headJoints[2], &head)) return;
  qxMatrix34_InvertOrtho(&inverse, &head);

  // The direction to look in, in the head's space: the target, or the
  // actor's forward axis when returning to neutral.
  const qxVector3& target = actor->pExtra->lookTarget;
  const bool neutral = target.x == 0 && target.y == 0 && target.z == 0;
  qxVector3 d;
  if (neutral) {
    qxMatrix34_TransformVector(&d, &placement->y, &inverse);
  } else {
    qxMatrix34_TransformPoint(&d, &target, &inverse);
  }
  qxVector3_NormalizeInPlace(&d);

  // The turn axis; a direction straight ahead or straight behind gives none,
  // and the head turns about its up axis instead.
  const qxVector3 ahead{0, 1, 0};
  qxVector3 axis;
  qxVector3_Cross(&axis, &ahead, &d);
  if (qxVector3_Dot(&axis, &axis) < 0.0001f) {
    axis = {0, 0, 1};
  } else {
    qxVector3_NormalizeInPlace(&axis);
  }

  const float a = 90.0f - stdMath_ArcSin1(d.y);
  float step = top->lookRate * seconds;
  if (std::fabs(a) < step) {
    step = std::fabs(a);
    if (neutral) actor->state &= ~ACTOR_LOOKING;
  }
  qxMatrix34 turn;
  qxMatrix34_BuildFromAxisAngle(&turn, &axis, step);
  qxVector3 turned, angles;
  qxMatrix34_TransformVector(&turned, &ahead, &turn);
  qxVector3_ExtractAngles(&turned, &angles);
  const float pitch = std::isnan(angles.x) ? 0.0f : angles.x;
  const float yaw = std::isnan(angles.y) ? 0.0f : angles.y;

  for (int joint : top->headJoints) {
    qxVector3& v = thing->nodeAngleOffsets[joint];
    if (actor->state & ACTOR_LOOKING) {
      v.x = ClampSym(v.x + pitch / 3.0f, top->headLimitA / 3.0f);
      v.y = ClampSym(v.y + yaw / 3.0f, top->headLimitB / 3.0f);
      v.z = 0;
    } else {
      v = {0, 0, 0};
    }
  }
  thing->matrixFrame = 0;
}

void drevActor_SetHead(Actor* actor, int joint1, int joint2, int joint3, float viewAngle,
                       float limitA, float limitB) {
  const qxModel3* model = drevActor_MainModel(actor);
  if (!model) return;
  // A joint past the model is refused; a negative one is no joint, and a
  // first joint of -1 switches head tracking off (the look-at and the view
  // test need all three joints inside the model).
  const int joints[3] = {joint1, joint2, joint3};
  for (int joint : joints) {
    if (joint >= model->nodeCount) return;
  }
  CostumeNode* top = actor->costumeTop;
  for (int i = 0; i < 3; ++i) top->headJoints[i] = joints[i];
  top->headLimitA = limitA;
  top->headLimitB = limitB;
  float sine = 0, cosine = 1;
  stdMath_SinCos(std::fabs(viewAngle) / 2.0f, &sine, &cosine);
  top->viewConeCos = cosine;
}

int drevActor_CanSeePoint(Actor* actor, const qxVector3* point, float* distance) {
  if (!actor || !point) return 0;
  const CostumeNode* top = actor->costumeTop;
  if (!top || top->headJoints[0] < 0 || !top->mainModel) return 0;
  qxMatrix34 head;
  if (!qxModel3_GetNodeMatrix(top->mainModel, top->headJoints[0], &head)) return 0;
  const qxVector3 v = Sub(*point, head.t);
  if (distance) *distance = Length(v);
  qxVector3 flat{v.x, v.y, 0};
  qxVector3_NormalizeInPlace(&flat);
  const qxMatrix34* t = drevActor_GetTransform(actor);
  return top->viewConeCos <= qxVector3_Dot(&t->y, &flat) ? 1 : 0;
}

int drevActor_CanSeeActor(Actor* actor, Actor* other, float* distance) {
  if (!actor || !other || !actor->setName[0] || !other->setName[0]) return 0;
  if (strcasecmp(actor->setName, other->setName) != 0) return 0;
  return drevActor_CanSeePoint(actor, &other->position, distance);
}

void drevActor_SetClipPlane(Actor* actor, const qxVector3* normal, const qxVector3* point) {
  if (!actor) return;
  if (!actor->pExtra) drevActor_CreateExtra(actor);
  if (!actor->pExtra) return;
  if (normal) actor->pExtra->clipNormal = *normal;
  if (point) actor->pExtra->clipPoint = *point;
}

void drevActor_SetClipActive(Actor* actor, int on) {
  if (!actor) return;
  if (!actor->pExtra) drevActor_CreateExtra(actor);
  if (actor->pExtra) actor->pExtra->clipActive = on;
}

// Draws the actor into the clean buffer and clean z-buffer, so that it
// becomes part of the background: the current setup camera's canvas points
// at the clean buffers for the draw and gets its own back afterwards.
void drevActor_DrawToClean(Actor* actor) {
  static bool noBuffers = false;
  static bool badColormap = false;
  if (!actor) return;
  DisplayBuffer* clean = drevActor_Calls().renderCleanBuffer();
  DisplayBuffer* cleanZ = drevActor_Calls().renderCleanZBuffer();
  if (!clean || !cleanZ) {
    if (!noBuffers) kv_Log_Printf("[Actor] - ActorToClean: the render module has no clean buffers");
    noBuffers = true;
    return;
  }
  Room* room = drevRoom_GetCurrent();
  qxCamera* camera = nullptr;
  if (room && room->setups && room->currentSetup < room->numSetups)
    camera = room->setups[room->currentSetup].camera;
  qxCanvas* canvas = camera ? camera->canvas : nullptr;
  DisplayBuffer* video = nullptr;
  DisplayBuffer* depth = nullptr;
  if (canvas) {
    video = canvas->videoBuffer;
    depth = canvas->zBuffer;
    canvas->videoBuffer = clean;
    canvas->zBuffer = cleanZ;
  }

  qxColormap* colormap = nullptr;
  if (actor->colormapRef && actor->colormapRef->valid) {
    colormap = static_cast<qxColormap*>(actor->colormapRef->object);
  } else if (room && room->apColormaps && room->currentColormap < room->numColormaps &&
             room->apColormaps[room->currentColormap].valid) {
    colormap = static_cast<qxColormap*>(room->apColormaps[room->currentColormap].object);
  } else if (!badColormap) {
    badColormap = true;
    kv_Log_Printf("[Actor] - Bad Colormap Reference");
  }
  if (colormap) {
    qxColormap_SetCurrent(colormap);
    drevActor_Calls().renderShowPalette(colormap->palette);
  }

  drevActor_GetTransform(actor);
  if (actor->scale != 1.0f) {
    const qxVector3 v{actor->scale, actor->scale, actor->scale};
    qxMatrix34_PostScale(&actor->transform, &v);
  }
  drevCostume_Draw(actor->costumeTop, &actor->transform);
  actor->transformValid = 0;  // the scale was folded into it
  qxCache_Flush();

  if (canvas) {
    canvas->videoBuffer = video;
    canvas->zBuffer = depth;
  }
}

void drevActor_ResetCostume(Actor* actor) {
  if (!actor || !actor->pExtra) {
    drevActor_Assert("pActor->pExtra", __LINE__);
    return;
  }
  CostumeNode* top = actor->costumeTop;
  if (!top) return;
  RescueInstance(top);
  drevCostume_ResetInstance(top->instance);
  if (actor->pExtra->talking) drevActor_ShutUp(actor);
}
