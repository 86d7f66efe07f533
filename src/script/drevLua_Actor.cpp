// The actor placement, walking and turning script functions: making actors,
// placing them in sets, walking them to points, to other actors, along a
// joystick direction or to the point under the mouse, and turning them.
//
// Every function takes an actor handle first unless it says otherwise and
// does nothing (no result) when it is not one.
#include <cmath>

#include "actors/drevActor.h"
#include "engine/Res.h"
#include "engine/WalkPlane.h"
#include "engine/drevRoom.h"
#include "engine/drevTime.h"
#include "quadrix/qxCamera.h"
#include "quadrix/qxCanvas.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxMatrix.h"
#include "quadrix/qxPrimitive.h"
#include "quadrix/qxVector.h"
#include "script/drevLua.h"
#include "script/drevLua_Calls.h"
#include "script/drevLua_Rows.h"
#include "std/stdMath.h"

namespace {

constexpr float kScreenWidth = 640.0f;
// Mouse axes of the control table.
constexpr int kMouseAxisX = 12;
constexpr int kMouseAxisY = 13;
// How far the mouse ray reaches.
constexpr float kMouseRayLength = 100.0f;
// WalkActorVector turns at once toward a constrained heading closer than this.
constexpr float kHeadingDot = 0.4f;
constexpr float kTurnAtOnce = 999999.0f;
constexpr float kFrozenYawEpsilon = 0.001f;

// WalkActorVector's kept movement frame and the last frozen yaw.
qxMatrix34 g_keptFrame = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0}};
float g_lastFrozenYaw = 0.0f;

// The actor's walk frame, made when it has none; null when the extra block
// or the frame cannot be made.
WalkFrame* EnsureWalkFrame(Actor* actor) {
  if (!actor->pExtra) drevActor_CreateExtra(actor);
  if (!actor->pExtra) return nullptr;
  if (!actor->pExtra->walkFrame) drevActor_EnsureWalkFrame(actor, 1);
  return actor->pExtra->walkFrame;
}

// A target from argument n: an actor's position or a point of three numbers
// (y and z 0 when not numbers). 0 when argument n is neither.
int TargetArg(int n, qxVector3* out) {
  if (const Actor* other = drevLua_ActorArg(n)) {
    *out = other->position;
    return 1;
  }
  if (!drevLua_StoredNumberArg(n, &out->x)) return 0;
  out->y = drevLua_NumberOr(n + 1, 0.0f);
  out->z = drevLua_NumberOr(n + 2, 0.0f);
  return 1;
}

float TurnStep(const Actor* actor) {
  return std::fabs(actor->pExtra->turnRate) * drevTime_GetFrameSeconds();
}

// ---- Making and placing --------------------------------------------------------------

// LoadActor(name, occlusion, sectorWalker): the name is not kept.
void LoadActor() {
  auto flag = [](int n) {
    float value = 0.0f;
    return drevLua_NumberArg(n, &value) && value != 0.0f ? 1 : 0;
  };
  drevLua_PushActor(drevActor_New(flag(2), flag(3)));
}

void SetSelectedActor() {
  const Actor* actor = drevLua_ActorArg(1);
  if (!actor) return;
  drevLua_PushActor(drevActor_SetSelected(drevActor_ToIndex(actor)));
}

void GetCameraActor() {
  drevLua_PushActor(drevLua_Calls().renderGetCameraActor());
}

void PutActorAt() {
  Actor* actor = drevLua_ActorArg(1);
  qxVector3 p{};
  if (!actor || !drevLua_StoredNumberArg(2, &p.x) || !drevLua_StoredNumberArg(3, &p.y) ||
      !drevLua_StoredNumberArg(4, &p.z))
    return;
  float keep = 0.0f;
  const int clear = drevLua_NumberArg(5, &keep) && keep > 0.0f ? 0 : 1;
  drevActor_SetPosition(actor, &p, clear);
}

void PutActorAtInterest() {
  Actor* actor = drevLua_ActorArg(1);
  const Room* room = drevRoom_GetCurrent();
  if (!actor || !room || !room->setups || room->currentSetup >= room->numSetups) return;
  drevActor_SetPosition(actor, &room->setups[room->currentSetup].interest, 1);
}

// PutActorInSet(actor, name or nil): moves the actor into the set's roster
// (nil leaves every set); a walk frame that follows the walk boxes is put on
// a sector of the set when it is loaded.
void PutActorInSet() {
  Actor* actor = drevLua_ActorArg(1);
  const lua_Object name = lua_lua2C(2);
  if (!actor || (!lua_isnil(name) && lua_tag(name) != LUA_T_STRING)) return;
  const char* setName = lua_isnil(name) ? nullptr : lua_getstring(name);
  drevRoom_PutActorInSet(setName, actor);
  const ActorExtra* e = actor->pExtra;
  if (!setName || !e || !e->walkFrame || !e->followBoxes) return;
  if (Res_Lookup(Res_Tag("SET "), setName)) WalkFrame_AttachToSector(e->walkFrame);
}

void NoEffect() {}

// ---- Walking --------------------------------------------------------------------------

void WalkActorForward() {
  Actor* actor = drevLua_ActorArg(1);
  if (!actor) return;
  actor->state &= ~ACTOR_MOVING;
  drevActor_WalkForward(actor);
}

// The walk of WalkActorTo from argument n on: a goal (a point or an actor's
// position) and a look point.
void WalkFrom(Actor* actor, int n, Actor* avoid) {
  qxVector3 goal{};
  if (drevLua_NumberArg(n, &goal.x)) {
    goal.y = drevLua_NumberOr(n + 1, 0.0f);
    goal.z = drevLua_NumberOr(n + 2, 0.0f);
  } else if (const Actor* target = drevLua_ActorArg(n)) {
    goal = target->position;
  } else {
    return;
  }
  if (std::isnan(goal.x) || std::isnan(goal.y) || std::isnan(goal.z)) return;
  const qxVector3 look{drevLua_NumberOr(n + 3, 0.0f), drevLua_NumberOr(n + 4, 0.0f),
                       drevLua_NumberOr(n + 5, 0.0f)};
  drevActor_WalkTo(actor, &goal, &look, avoid);
}

void WalkActorTo() {
  if (Actor* actor = drevLua_ActorArg(1)) WalkFrom(actor, 2, nullptr);
}

void WalkActorToAvoiding() {
  Actor* actor = drevLua_ActorArg(1);
  Actor* avoid = drevLua_ActorArg(2);
  if (actor && avoid) WalkFrom(actor, 3, avoid);
}

// The movement frame of WalkActorVector built from the camera: the look axis
// runs from the camera actor to the actor, turned by how far off the screen
// centre the actor stands; the first axis is the camera's. 0 without an
// active camera.
int FrameFromCamera(const Actor* actor, Actor* cameraActor, qxMatrix34* out) {
  if (!qxCore_pCurrentCamera) return 0;
  qxVector3 d{actor->position.x - cameraActor->position.x,
              actor->position.y - cameraActor->position.y,
              actor->position.z - cameraActor->position.z};
  qxVector3_NormalizeInPlace(&d);
  qxScreenPoint screen{};
  float s = 0.0f;
  if (qxPrimitive_ProjectPoint3(&actor->position, &screen))
    s = (static_cast<float>(screen.x) / kScreenWidth - 0.5f) * 2.0f;
  const qxMatrix34* cameraTransform = drevActor_GetTransform(cameraActor);
  qxVector3 a{};
  qxMatrix34_ExtractAngles(cameraTransform, &a);
  const qxVector3 turn{0.0f, -s * a.x * 0.5f, 0.0f};
  qxVector3_RotateInPlace(&d, &turn);
  qxMatrix34_BuildFromLookVector(out, &d);
  out->x = cameraTransform->x;
  out->t = {0, 0, 0};
  return 1;
}

// WalkActorVector(actor, cameraActor, x, y, z, extraYaw, freeze, frozenYaw):
// moves the actor by a joystick direction given in camera space. With a
// freeze table the kept frame is used (turned again whenever the frozen yaw
// changes); otherwise the frame comes from the camera and is kept.
void WalkActorVector() {
  Actor* actor = drevLua_ActorArg(1);
  Actor* cameraActor = drevLua_ActorArg(2);
  if (!actor || !cameraActor || !actor->pExtra || !actor->pExtra->walkFrame) return;
  WalkFrame* frame = actor->pExtra->walkFrame;
  const qxVector3 joystick{drevLua_NumberOr(3, 0.0f), drevLua_NumberOr(4, 0.0f),
                           drevLua_NumberOr(5, 0.0f)};

  qxMatrix34 f{};
  if (lua_istable(lua_lua2C(7))) {
    float y0 = g_lastFrozenYaw;
    drevLua_StoredNumberArg(8, &y0);
    if (std::fabs(y0 - g_lastFrozenYaw) > kFrozenYawEpsilon) {
      const qxVector3 turn{0.0f, y0, 0.0f};
      qxMatrix34_PreRotate(&g_keptFrame, &turn);
      g_lastFrozenYaw = y0;
    }
    f = g_keptFrame;
  } else {
    if (!FrameFromCamera(actor, cameraActor, &f)) return;
    g_keptFrame = *drevActor_GetTransform(cameraActor);
    g_lastFrozenYaw = 0.0f;
  }
  float extraYaw = 0.0f;
  if (drevLua_StoredNumberArg(6, &extraYaw)) {
    const qxVector3 t = f.t;
    const qxVector3 turn{0.0f, extraYaw, 0.0f};
    qxMatrix34_PostRotate(&f, &turn);
    f.t = t;
  }

  qxVector3 v{};
  qxMatrix34_TransformVector(&v, &joystick, &f);
  qxVector3_NormalizeInPlace(&v);
  const qxVector3 target{actor->position.x + v.x, actor->position.y + v.y, actor->position.z + v.z};

  // The angle between the walk frame's forward axis and the target.
  qxVector3 local = target;
  WalkFrame_ToLocal(frame, &local);
  qxVector3_NormalizeInPlace(&local);
  const float sine = std::fmax(-1.0f, std::fmin(1.0f, local.y));
  const float offAxis = 90.0f - stdMath_ArcSin3(sine);

  const float step = TurnStep(actor);
  if (frame->headingMode) {
    const float dot = qxVector3_Dot(&v, &frame->heading);
    if (std::fabs(dot) > kHeadingDot) {
      const float sign = dot > 0.0f ? 1.0f : -1.0f;
      const qxVector3 along{actor->position.x + sign * frame->heading.x,
                            actor->position.y + sign * frame->heading.y,
                            actor->position.z + sign * frame->heading.z};
      WalkFrame_TurnToward(frame, &along, kTurnAtOnce);
    }
  } else {
    WalkFrame_TurnToward(frame, &target, 2.0f * step);
  }
  if (offAxis < 90.0f) {
    actor->state &= ~ACTOR_MOVING;
    drevActor_WalkForward(actor);
  }
}

// The point where the mouse ray first meets a WALK sector's triangle, or
// else the nearest point of a WALK sector to where the ray meets its plane.
int MouseTarget(qxVector3* out) {
  const qxCamera* camera = qxCore_pCurrentCamera;
  if (!camera || !camera->canvas || camera->focal == 0.0f) return 0;
  const qxCanvas* canvas = camera->canvas;
  drevLuaCalls& calls = drevLua_Calls();
  const float halfWidth = static_cast<float>(canvas->rectRight - canvas->rectLeft + 1) * 0.5f;
  const float halfHeight = static_cast<float>(canvas->rectBottom - canvas->rectTop + 1) * 0.5f;
  const float mx = halfWidth * (1.0f + calls.controlGetAxisClamped(kMouseAxisX, 0));
  const float my = halfHeight * (1.0f + calls.controlGetAxisClamped(kMouseAxisY, 0));

  qxMatrix34 world{};
  qxCamera_GetWorldMatrix(&world);
  const qxVector3 rayCamera{(mx - canvas->centreX) / camera->focal, 1.0f,
                            -(my - canvas->centreY) / camera->focal};
  qxVector3 direction{};
  qxMatrix34_TransformVector(&direction, &rayCamera, &world);
  qxVector3_NormalizeInPlace(&direction);
  if (!(direction.z < 0.0f)) return 0;
  const qxVector3 from = world.t;
  const qxVector3 to{from.x + kMouseRayLength * direction.x, from.y + kMouseRayLength * direction.y,
                     from.z + kMouseRayLength * direction.z};

  for (Sector* s = WalkPlane_GetSectors(); s; s = s->next) {
    if (!(s->type & SECTOR_WALK)) continue;
    for (int t = 0; t < s->numTris; ++t) {
      const int* tri = s->tris[t];
      if (tri[0] < 0 || tri[1] < 0 || tri[2] < 0 || tri[0] >= s->numVerts ||
          tri[1] >= s->numVerts || tri[2] >= s->numVerts)
        continue;
      if (calls.renderIntersectSegmentTriangle(out, &s->verts[tri[0]]->p, &s->verts[tri[1]]->p,
                                               &s->verts[tri[2]]->p, &from, &to))
        return 1;
    }
  }

  int found = 0;
  float best = 0.0f;
  for (Sector* s = WalkPlane_GetSectors(); s; s = s->next) {
    if (!(s->type & SECTOR_WALK)) continue;
    qxVector3 onPlane = to;
    Sector_IntersectLine(s, &from, &to, &onPlane);
    qxVector3 clamped = onPlane;
    Sector_ClampPoint(s, &clamped);
    const qxVector3 d{clamped.x - onPlane.x, clamped.y - onPlane.y, clamped.z - onPlane.z};
    const float distance = qxVector3_Len(&d);
    if (!found || distance < best) {
      found = 1;
      best = distance;
      *out = clamped;
    }
  }
  return found;
}

// WalkActorToMouseTarget(actor): without an active camera or a WALK sector
// it does nothing.
void WalkActorToMouseTarget() {
  Actor* actor = drevLua_ActorArg(1);
  qxVector3 goal{};
  if (!actor || !MouseTarget(&goal)) return;
  const qxVector3 look{0, 0, 0};
  drevActor_WalkTo(actor, &goal, &look, nullptr);
}

void IsActorMoving() {
  if (const Actor* actor = drevLua_ActorArg(1)) drevLua_PushTruth(actor->state & ACTOR_MOVING);
}

void IsActorTurning() {
  if (const Actor* actor = drevLua_ActorArgWithExtra(1))
    drevLua_PushTruth(actor->pExtra->yawToGo != 0.0f);
}

void IsActorResting() {
  if (const Actor* actor = drevLua_ActorArgWithExtra(1))
    drevLua_PushTruth(actor->pExtra->resting != 0);
}

// ---- Turning ---------------------------------------------------------------------------

void TurnActor() {
  Actor* actor = drevLua_ActorArg(1);
  int direction = 0;
  if (!actor || !drevLua_IntArg(2, &direction)) return;
  actor->state &= ~ACTOR_MOVING;
  drevActor_Turn(actor, direction);
}

// TurnActorTo(actor, target): one turn step toward the target; 1 while a
// full step was still needed.
void TurnActorTo() {
  Actor* actor = drevLua_ActorArg(1);
  qxVector3 target{};
  WalkFrame* frame = actor && TargetArg(2, &target) ? EnsureWalkFrame(actor) : nullptr;
  if (!frame) {
    lua_pushnil();
    return;
  }
  const float step = TurnStep(actor);
  const float applied = WalkFrame_TurnToward(frame, &target, step);
  drevLua_PushTruth(std::fabs(applied) >= step);
}

// PointActorAt(actor, target): turns at once; a positive turn rate becomes
// negative (one unlimited turn step), which SetActorTurnRate then keeps.
void PointActorAt() {
  Actor* actor = drevLua_ActorArg(1);
  qxVector3 target{};
  WalkFrame* frame = actor && TargetArg(2, &target) ? EnsureWalkFrame(actor) : nullptr;
  if (!frame) {
    if (!actor) lua_pushnil();
    return;
  }
  WalkFrame_TurnToward(frame, &target, ACTOR_UNLIMITED_TURN);
  drevActor_RequestInstantTurn(actor->pExtra);
}

void GetActorPos() {
  if (const Actor* actor = drevLua_ActorArg(1)) drevLua_PushPoint(actor->position);
}

void GetActorRot() {
  if (const Actor* actor = drevLua_ActorArg(1)) drevLua_PushPoint(actor->rotation);
}

void SetActorRot() {
  Actor* actor = drevLua_ActorArg(1);
  qxVector3 angles{};
  if (!actor || !drevLua_StoredNumberArg(2, &angles.x) || !drevLua_StoredNumberArg(3, &angles.y) ||
      !drevLua_StoredNumberArg(4, &angles.z))
    return;
  drevActor_SetRotation(actor, &angles, lua_isnil(lua_lua2C(5)) ? 1 : 0);
}

// SetActorPitch and SetActorRoll read the angle without a test (a value that
// is not a number reads as 0); NaN is refused.
void SetRotationComponent(float qxVector3::*component) {
  Actor* actor = drevLua_ActorArg(1);
  if (!actor) return;
  const float angle = lua_getnumber(lua_lua2C(2));
  if (std::isnan(angle)) return;
  actor->rotation.*component = angle;
  actor->transformValid = 0;
}
void SetActorPitch() {
  SetRotationComponent(&qxVector3::x);
}
void SetActorRoll() {
  SetRotationComponent(&qxVector3::z);
}

void GetActorWalkRate() {
  if (const Actor* actor = drevLua_ActorArgWithExtra(1)) lua_pushnumber(actor->pExtra->walkRate);
}

void GetActorTurnRate() {
  if (const Actor* actor = drevLua_ActorArgWithExtra(1)) {
    lua_pushnumber(drevActor_SignedTurnRate(actor->pExtra));
  }
}

void SetActorWalkRate() {
  Actor* actor = drevLua_ActorArgWithExtra(1);
  float rate = 0.0f;
  if (actor && drevLua_StoredNumberArg(2, &rate)) actor->pExtra->walkRate = rate;
}

// The sign of the current rate is kept (see PointActorAt).
void SetActorTurnRate() {
  Actor* actor = drevLua_ActorArgWithExtra(1);
  float rate = 0.0f;
  if (!actor || !drevLua_StoredNumberArg(2, &rate)) return;
  ActorExtra* e = actor->pExtra;
  drevActor_SetSignedTurnRate(e, drevActor_SignedTurnRate(e) < 0.0f ? -rate : rate);
}

void SetActorBWMode() {
  Actor* actor = drevLua_ActorArg(1);
  float mode = 0.0f;
  if (!actor || !drevLua_NumberArg(2, &mode)) return;
  if (mode > 0.0f) {
    actor->flags |= ACTOR_BACKWARD;
  } else if (actor->flags & ACTOR_BACKWARD) {
    actor->flags &= ~ACTOR_BACKWARD;
    if (actor->pExtra && actor->pExtra->walkFrame)
      WalkFrame_Rotate(actor->pExtra->walkFrame, 180.0f);
  }
}

void SetActorHKHackMode() {
  Actor* actor = drevLua_ActorArg(1);
  if (!actor) return;
  float mode = 0.0f;
  if (drevLua_NumberArg(2, &mode) && mode > 0.0f) {
    actor->state |= ACTOR_HK_HACK;
  } else {
    actor->state &= ~ACTOR_HK_HACK;
  }
}

void SetActorFollowBoxes() {
  if (Actor* actor = drevLua_ActorArg(1))
    drevActor_SetFollowBoxes(actor, drevLua_IsNilOrAbsent(2) ? 0 : 1);
}

void ActorPuckOrient() {
  Actor* actor = drevLua_ActorArg(1);
  if (!actor) return;
  const lua_Object flag = lua_lua2C(2);
  if (flag != 0 && !lua_isnil(flag) && lua_getnumber(flag) != 0.0f) {
    actor->flags |= ACTOR_PUCK_ORIENT;
  } else {
    actor->flags &= ~ACTOR_PUCK_ORIENT;
  }
}

// GetActorPuckVector(actor, absolute): the walk frame's forward axis, plus
// its position unless the second argument is nil (an absent one counts as
// not nil, so GetActorPuckVector(a) answers the point one unit ahead).
void GetActorPuckVector() {
  const Actor* actor = drevLua_ActorArgWithExtra(1);
  if (!actor) return;
  const WalkFrame* frame = actor->pExtra->walkFrame;
  if (!frame) {
    lua_pushnil();
    return;
  }
  qxVector3 v = frame->frame.y;
  if (!lua_isnil(lua_lua2C(2))) {
    v.x += frame->position.x;
    v.y += frame->position.y;
    v.z += frame->position.z;
  }
  drevLua_PushPoint(v);
}

// GetActorYawToPoint(actor, {x, y, z} or x, y, z).
void GetActorYawToPoint() {
  Actor* actor = drevLua_ActorArg(1);
  if (!actor) {
    lua_pushnil();
    return;
  }
  qxVector3 point{};
  const lua_Object first = lua_lua2C(2);
  if (lua_istable(first)) {
    drevLua_ReadPointTable(first, &point);
  } else if (!drevLua_PointArgs(2, &point)) {
    return;
  }
  const WalkFrame* frame = EnsureWalkFrame(actor);
  if (!frame) {
    lua_pushnil();
    return;
  }
  lua_pushnumber(WalkFrame_YawToPoint(frame, &point));
}

void SetWalkSystemFadeTime() {
  int milliseconds = 0;
  if (drevLua_IntArg(1, &milliseconds)) drevActor_SetWalkFadeTime(milliseconds);
}

constexpr lua_Reg kRows[] = {
    {"LoadActor", LoadActor},
    {"SetSelectedActor", SetSelectedActor},
    {"GetCameraActor", GetCameraActor},
    {"PutActorAt", PutActorAt},
    {"PutActorAtInterest", PutActorAtInterest},
    {"PutActorInSet", PutActorInSet},
    {"PutActorAtOrigin", NoEffect},
    {"WalkActorToInterest", NoEffect},
    {"GetClippedPos", NoEffect},
    {"DriveActorTo", NoEffect},
    {"WalkActorForward", WalkActorForward},
    {"WalkActorTo", WalkActorTo},
    {"WalkActorToAvoiding", WalkActorToAvoiding},
    {"WalkActorVector", WalkActorVector},
    {"WalkActorToMouseTarget", WalkActorToMouseTarget},
    {"IsActorMoving", IsActorMoving},
    {"IsActorTurning", IsActorTurning},
    {"IsActorResting", IsActorResting},
    {"TurnActor", TurnActor},
    {"TurnActorTo", TurnActorTo},
    {"PointActorAt", PointActorAt},
    {"GetActorPos", GetActorPos},
    {"GetActorRot", GetActorRot},
    {"SetActorRot", SetActorRot},
    {"SetActorPitch", SetActorPitch},
    {"SetActorRoll", SetActorRoll},
    {"GetActorWalkRate", GetActorWalkRate},
    {"GetActorTurnRate", GetActorTurnRate},
    {"SetActorWalkRate", SetActorWalkRate},
    {"SetActorTurnRate", SetActorTurnRate},
    {"SetActorBWMode", SetActorBWMode},
    {"SetActorHKHackMode", SetActorHKHackMode},
    {"SetActorFollowBoxes", SetActorFollowBoxes},
    {"ActorPuckOrient", ActorPuckOrient},
    {"GetActorPuckVector", GetActorPuckVector},
    {"GetActorYawToPoint", GetActorYawToPoint},
    {"SetWalkSystemFadeTime", SetWalkSystemFadeTime},
};

}  // namespace

std::span<const lua_Reg> drevLua_ActorRows(void) {
  return kRows;
}

// The kept frame of WalkActorVector, for tests.
const qxMatrix34* drevLua_GetKeptWalkFrame(void) {
  return &g_keptFrame;
}
