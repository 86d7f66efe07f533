// The actor appearance, looking and query script functions: the costume
// stack, colormap, visibility, scale, time scale and head joints, looking at
// things, and spatial questions (what an actor sees, where a model node is,
// which sector it stands in).
//
// Every function takes an actor handle first and does nothing (no result)
// when it is not one.
#include <cmath>
#include <cstring>

#include "actors/drevActor.h"
#include "actors/drevCostume.h"
#include "chore/costume.h"
#include "engine/Res.h"
#include "engine/WalkPlane.h"
#include "engine/drevResource.h"
#include "engine/drevRoom.h"
#include "quadrix/qxMatrix.h"
#include "quadrix/qxModel3.h"
#include "quadrix/qxModel3_Draw.h"
#include "quadrix/qxPuppet.h"
#include "quadrix/qxThing.h"
#include "quadrix/qxVector.h"
#include "script/drevLua.h"
#include "script/drevLua_Rows.h"
#include "std/std.h"
#include "std/stdMath.h"

namespace {

// The name of a node's costume (the costume record begins with it), or null.
const char* CostumeName(const CostumeNode* node) {
  const CosCostume* costume = node ? Cos_InstGetCostume(node->instance, nullptr) : nullptr;
  return costume ? costume->name : nullptr;
}

// ---- Costume stack --------------------------------------------------------------------

void GetActorCostumeDepth() {
  const Actor* actor = drevLua_ActorArg(1);
  if (!actor) {
    lua_pushnil();
    return;
  }
  int depth = 0;
  for (const CostumeNode* n = actor->costumeTop; n; n = n->next) ++depth;
  lua_pushnumber(static_cast<float>(depth));
}

// GetActorCostume(actor, depth): the costume n nodes below the top (nil or
// absent: the top).
void GetActorCostume() {
  const Actor* actor = drevLua_ActorArg(1);
  if (!actor) return;
  int steps = 0;
  if (!drevLua_IsNilOrAbsent(2)) {
    float depth = 0.0f;
    if (!drevLua_NumberArg(2, &depth)) return;
    steps = depth < 1.0f ? 0 : drevLua_ToInt(depth);
  }
  const CostumeNode* node = actor->costumeTop;
  for (int i = 0; i < steps && node; ++i) node = node->next;
  lua_pushstring(CostumeName(node));  // nil for none
}

// SetActorCostume(actor, name or nil): a name replaces the top costume; nil
// takes every costume off.
void SetActorCostume() {
  Actor* actor = drevLua_ActorArg(1);
  if (!actor) return;
  const lua_Object name = lua_lua2C(2);
  if (lua_tag(name) == LUA_T_STRING) {
    drevLua_PushTruth(drevActor_SetCostume(actor, lua_getstring(name), 0) != 0);
  } else if (lua_isnil(name)) {
    while (actor->costumeTop) {
      const CostumeNode* before = actor->costumeTop;
      drevActor_PopCostume(actor, 1);
      if (actor->costumeTop == before) break;  // the stack refused to shrink
    }
    lua_pushnumber(1);
  } else {
    lua_pushnil();
  }
}

void PushActorCostume() {
  Actor* actor = drevLua_ActorArg(1);
  const lua_Object name = lua_lua2C(2);
  if (actor && lua_tag(name) == LUA_T_STRING) drevActor_PushCostume(actor, lua_getstring(name), 0);
}

void PopActorCostume() {
  Actor* actor = drevLua_ActorArg(1);
  if (!actor) return;
  lua_pushstring(CostumeName(actor->costumeTop));  // nil for an empty stack
  drevActor_PopCostume(actor, 1);
}

// Prints the costume stack from the top, one costume per line.
void PrintActorCostumes() {
  const Actor* actor = drevLua_ActorArg(1);
  HostServices* hs = std_pHS;
  if (!actor || !hs || !hs->printStatus) return;
  int depth = 0;
  for (const CostumeNode* n = actor->costumeTop; n; n = n->next, ++depth) {
    const char* name = CostumeName(n);
    hs->printStatus("%d: %s\n", depth, name ? name : "(none)");
  }
}

// SetActorColormap(actor, name or nil): the actor holds a reference on its
// own colormap; nil lets it go.
void SetActorColormap() {
  Actor* actor = drevLua_ActorArg(1);
  if (!actor || !actor->colormapRef) return;
  ResourceRef* ref = actor->colormapRef;
  const lua_Object name = lua_lua2C(2);
  if (lua_tag(name) == LUA_T_STRING) {
    void* colormap = drevResource_Get("CMAP", lua_getstring(name));
    if (!colormap || (ref->valid && ref->object == colormap)) return;
    if (ref->valid) Res_ReleaseRef(ref);
    RES_ADDREF(ref, colormap);
  } else if (lua_isnil(name)) {
    if (ref->valid) Res_ReleaseRef(ref);
  }
}

// ---- Appearance -----------------------------------------------------------------------

void SetActorVisibility() {
  Actor* actor = drevLua_ActorArg(1);
  if (!actor) return;
  if (drevLua_IsNilOrAbsent(2)) {
    actor->flags |= ACTOR_HIDDEN;
  } else {
    actor->flags &= ~ACTOR_HIDDEN;
  }
}

void SetActorFrustrumCull() {
  Actor* actor = drevLua_ActorArg(1);
  int mode = 0;
  if (actor && drevLua_IntArg(2, &mode)) drevActor_SetFrustumCull(actor, mode);
}

void ShutUpActor() {
  if (Actor* actor = drevLua_ActorArg(1)) drevActor_ShutUp(actor);
}

void ActorVoiceIs3D() {
  Actor* actor = drevLua_ActorArg(1);
  if (!actor) return;
  if (lua_isnil(lua_lua2C(2))) {
    actor->flags &= ~ACTOR_VOICE_3D;
  } else {
    actor->flags |= ACTOR_VOICE_3D;
  }
}

void SetActorScale() {
  Actor* actor = drevLua_ActorArg(1);
  float scale = 1.0f;
  if (!actor) return;
  drevLua_StoredNumberArg(2, &scale);
  actor->scale = scale;
}

void GetActorScale() {
  if (const Actor* actor = drevLua_ActorArg(1)) lua_pushnumber(actor->scale);
}

void SetActorTimeScale() {
  Actor* actor = drevLua_ActorArgWithExtra(1);
  float scale = 1.0f;
  if (!actor) return;
  drevLua_StoredNumberArg(2, &scale);
  actor->pExtra->timeScale = std::fabs(scale);
}

void GetActorTimeScale() {
  if (const Actor* actor = drevLua_ActorArgWithExtra(1)) lua_pushnumber(actor->pExtra->timeScale);
}

void SetActorInvClipNode() {
  Actor* actor = drevLua_ActorArgWithExtra(1);
  if (!actor) return;
  int node = 0;
  if (drevLua_IntArg(2, &node)) {
    actor->pExtra->invClipNode = node;
  } else if (lua_isnil(lua_lua2C(2))) {
    actor->pExtra->invClipNode = -1;
  }
}

// The angle is read without a test (a value that is not a number reads as
// 0); NaN is refused.
void SetActorReflection() {
  Actor* actor = drevLua_ActorArg(1);
  if (!actor) {
    lua_pushnil();
    return;
  }
  const float angle = lua_getnumber(lua_lua2C(2));
  if (!std::isnan(angle)) drevActor_SetReflection(actor, angle);
}

// SetActorHead(actor, joint 1, 2, 3, view angle, limit A, limit B): the
// actors module refuses joints past the model; joints of -1 switch head
// tracking off.
void SetActorHead() {
  Actor* actor = drevLua_ActorArg(1);
  if (!actor) return;
  float v[6] = {};
  for (int i = 0; i < 6; ++i) {
    if (!drevLua_StoredNumberArg(i + 2, &v[i])) return;
  }
  drevActor_SetHead(actor, drevLua_ToInt(v[0]), drevLua_ToInt(v[1]), drevLua_ToInt(v[2]), v[3],
                    v[4], v[5]);
}

// ---- Looking ---------------------------------------------------------------------------

// ActorLookAt(actor, target, third, fourth, rate): target nil turns the head
// back (once), a number starts a point, an actor its position.
void ActorLookAt() {
  Actor* actor = drevLua_ActorArgWithExtra(1);
  if (!actor || !actor->costumeTop) return;
  CostumeNode* top = actor->costumeTop;
  ActorExtra* e = actor->pExtra;
  float rate = 0.0f;
  if (drevLua_StoredNumberArg(5, &rate)) top->lookRate = rate;
  const lua_Object target = lua_lua2C(2);
  if (lua_isnil(target)) {
    if (e->lookTarget.x == 0.0f && e->lookTarget.y == 0.0f && e->lookTarget.z == 0.0f) return;
    e->lookTarget = {0, 0, 0};
    if (drevLua_StoredNumberArg(3, &rate)) top->lookRate = rate;
  } else if (lua_tag(target) == LUA_T_NUMBER) {
    qxVector3 point{lua_getnumber(target), 0.0f, 0.0f};
    if (std::isnan(point.x)) return;
    drevLua_StoredNumberArg(3, &point.y);
    drevLua_StoredNumberArg(4, &point.z);
    e->lookTarget = point;
  } else if (const Actor* other = drevLua_ActorArg(2)) {
    e->lookTarget = other->position;
    if (drevLua_StoredNumberArg(3, &rate)) top->lookRate = rate;
  } else {
    return;
  }
  actor->state |= ACTOR_LOOKING;
}

void IsActorLooking() {
  if (const Actor* actor = drevLua_ActorArg(1)) drevLua_PushTruth(actor->state & ACTOR_LOOKING);
}

void SetActorLookRate() {
  Actor* actor = drevLua_ActorArg(1);
  float rate = 0.0f;
  if (actor && actor->costumeTop && drevLua_StoredNumberArg(2, &rate))
    actor->costumeTop->lookRate = rate;
}

void GetActorLookRate() {
  const Actor* actor = drevLua_ActorArg(1);
  if (!actor) return;
  if (actor->costumeTop) {
    lua_pushnumber(actor->costumeTop->lookRate);
  } else {
    lua_pushnil();
  }
}

// ---- Queries ---------------------------------------------------------------------------

// CanActorSee(actor, target): a point, another actor, or (nil) whether the
// selected actor sees this one. The distance when seen, else nil.
void CanActorSee() {
  Actor* actor = drevLua_ActorArg(1);
  if (!actor) return;
  const lua_Object target = lua_lua2C(2);
  float distance = 0.0f;
  int seen = 0;
  if (lua_tag(target) == LUA_T_NUMBER) {
    const qxVector3 point{lua_getnumber(target), drevLua_NumberOr(3, 0.0f),
                          drevLua_NumberOr(4, 0.0f)};
    seen = drevActor_CanSeePoint(actor, &point, &distance);
  } else if (Actor* other = drevLua_ActorArg(2)) {
    seen = drevActor_CanSeeActor(actor, other, &distance);
  } else if (lua_isnil(target)) {
    Actor* selected = drevActor_FromIndex(drevActor_GetSelected());
    if (!selected || !selected->inUse) return;
    seen = drevActor_CanSeeActor(selected, actor, &distance);
  } else {
    return;
  }
  if (seen) {
    lua_pushnumber(distance);
  } else {
    lua_pushnil();
  }
}

// GetVisibleThings(actor or nil): a table of the other actors of the actor's
// set that it sees, handle -> 1.
void GetVisibleThings() {
  Actor* actor = nullptr;
  if (lua_isnil(lua_lua2C(1))) {
    actor = drevActor_FromIndex(drevActor_GetSelected());
    if (actor && !actor->inUse) actor = nullptr;
  } else {
    actor = drevLua_ActorArg(1);
  }
  if (!actor) return;
  const lua_Object table = lua_createtable();
  if (!(actor->flags & ACTOR_CAMERA) && actor->setName[0]) {
    for (const RosterNode* n = drevRoom_GetSetActors(actor->setName); n; n = n->next) {
      Actor* other = drevActor_FromIndex(static_cast<int>(n->actor));
      float distance = 0.0f;
      if (!other || other == actor || !other->inUse) continue;
      if (!drevActor_CanSeeActor(actor, other, &distance)) continue;
      lua_pushobject(table);
      drevLua_PushActor(static_cast<int>(n->actor));
      lua_pushnumber(1);
      lua_settable();
    }
  }
  lua_pushobject(table);
}

// GetActorRect(actor): x, y, width and height of the last draw; nil when the
// actor was not drawn or the draw covered no pixel (the box stayed empty).
void GetActorRect() {
  const Actor* actor = drevLua_ActorArg(1);
  if (!actor) return;
  if (!actor->drawn || actor->screenRect[2] <= 0 || actor->screenRect[3] <= 0) {
    lua_pushnil();
    return;
  }
  for (int32_t v : actor->screenRect) lua_pushnumber(static_cast<float>(v));
}

// GetActorNodeLocation(actor, node): the world position of a node of the
// main model; nothing for a node outside the model.
void GetActorNodeLocation() {
  Actor* actor = drevLua_ActorArg(1);
  float number = 0.0f;
  if (!actor || !drevLua_NumberArg(2, &number)) return;
  const CostumeNode* top = actor->costumeTop;
  qxThing* thing = top ? top->mainModel : nullptr;
  if (!thing || thing->type != QXTHING_MODEL || !thing->object) return;
  const qxModel3* model = static_cast<const qxModel3*>(thing->object);
  const uint32_t node = drevLua_ToIndex(number);
  if (node >= static_cast<uint32_t>(model->nodeCount) || !model->nodes) return;
  const qxMatrix34* placement = drevActor_GetTransform(actor);
  if (!actor->drawn) qxPuppet_BuildJointMatrices(thing, placement);
  qxMatrix34 m{};
  if (!qxModel3_GetNodeMatrix(thing, static_cast<int32_t>(node), &m)) return;
  qxVector3 p{};
  qxMatrix34_TransformVector(&p, &model->nodes[node].pivot, &m);
  drevLua_PushPoint({p.x + m.t.x, p.y + m.t.y, p.z + m.t.z});
}

// GetAngleBetweenActors(actor, other): 90 - arcsine of the cosine between
// the walk frame's forward axis and the way to the other actor.
void GetAngleBetweenActors() {
  const Actor* actor = drevLua_ActorArg(1);
  const Actor* other = drevLua_ActorArg(2);
  if (!actor || !other || !actor->pExtra || !actor->pExtra->walkFrame) {
    lua_pushnil();
    return;
  }
  qxVector3 d1 = actor->pExtra->walkFrame->frame.y;
  qxVector3 d2{other->position.x - actor->position.x, other->position.y - actor->position.y,
               other->position.z - actor->position.z};
  qxVector3_NormalizeInPlace(&d1);
  qxVector3_NormalizeInPlace(&d2);
  const float cosine = std::fmax(-1.0f, std::fmin(1.0f, qxVector3_Dot(&d1, &d2)));
  lua_pushnumber(90.0f - stdMath_ArcSin3(cosine));
}

void GetActorSector() {
  const Actor* actor = drevLua_ActorArg(1);
  int mask = 0;
  if (!actor) return;
  if (!drevLua_IntArg(2, &mask)) {
    lua_pushnil();
    return;
  }
  drevLua_PushSector(WalkPlane_FindSectorAtPoint(&actor->position, static_cast<uint32_t>(mask)));
}

// IsActorInSector(actor, text, exact): the first sector whose name contains
// the text (equals it when exact) and holds the actor.
void IsActorInSector() {
  const Actor* actor = drevLua_ActorArg(1);
  if (!actor) return;
  const lua_Object text = lua_lua2C(2);
  if (lua_tag(text) != LUA_T_STRING) {
    lua_pushnil();
    return;
  }
  float number = 0.0f;
  const bool exact = drevLua_NumberArg(3, &number) && number > 0.0f;
  drevLua_PushSector(drevLua_FindNamedSector(lua_getstring(text), &actor->position, exact));
}

constexpr lua_Reg kRows[] = {
    {"GetActorCostumeDepth", GetActorCostumeDepth},
    {"GetActorCostume", GetActorCostume},
    {"SetActorCostume", SetActorCostume},
    {"PushActorCostume", PushActorCostume},
    {"PopActorCostume", PopActorCostume},
    {"PrintActorCostumes", PrintActorCostumes},
    {"SetActorColormap", SetActorColormap},
    {"SetActorVisibility", SetActorVisibility},
    {"SetActorFrustrumCull", SetActorFrustrumCull},
    {"ShutUpActor", ShutUpActor},
    {"ActorVoiceIs3D", ActorVoiceIs3D},
    {"SetActorScale", SetActorScale},
    {"GetActorScale", GetActorScale},
    {"SetActorTimeScale", SetActorTimeScale},
    {"GetActorTimeScale", GetActorTimeScale},
    {"SetActorInvClipNode", SetActorInvClipNode},
    {"SetActorReflection", SetActorReflection},
    {"SetActorHead", SetActorHead},
    {"ActorLookAt", ActorLookAt},
    {"IsActorLooking", IsActorLooking},
    {"SetActorLookRate", SetActorLookRate},
    {"GetActorLookRate", GetActorLookRate},
    {"CanActorSee", CanActorSee},
    {"GetVisibleThings", GetVisibleThings},
    {"GetActorRect", GetActorRect},
    {"GetActorNodeLocation", GetActorNodeLocation},
    {"GetAngleBetweenActors", GetAngleBetweenActors},
    {"GetActorSector", GetActorSector},
    {"IsActorInSector", IsActorInSector},
};

}  // namespace

std::span<const lua_Reg> drevLua_ActorLookRows(void) {
  return kRows;
}
