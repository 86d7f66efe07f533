// The ten shadow script functions of the core table.
//
// The first argument is an actor handle; a wrong type or a freed actor does
// nothing. Functions that answer nil for a bad actor also answer nil for a
// slot outside 0..5; SetActiveShadow, ActorDistToShadowPlane, AddShadowPlane
// and SetActorShadowValid give the actor its extra block when it has none.
#include "script/drevLua_Shadow.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "actors/drevActor.h"
#include "actors/drevActor_Internal.h"
#include "script/drevLua.h"
#include "script/drevLua_Rows.h"

namespace {

Actor* ActorArg(int n) {
  return drevLua_ActorArg(n);
}

// The actor of argument 1 with its extra block made when missing.
Actor* ActorWithExtra() {
  Actor* actor = ActorArg(1);
  if (actor && !actor->pExtra) drevActor_CreateExtra(actor);
  return actor && actor->pExtra ? actor : nullptr;
}

// A number argument truncated toward zero, kept inside the int range.
bool IntArg(int n, int* out) {
  const lua_Object o = lua_lua2C(n);
  if (!lua_isnumber(o)) return false;
  const float value = lua_getnumber(o);
  if (std::isnan(value)) {
    *out = 0;
  } else {
    *out = static_cast<int>(std::clamp(value, -2147483520.0f, 2147483520.0f));
  }
  return true;
}

// A bad handle gives the script nil.
Actor* OrNil(Actor* actor) {
  if (!actor) lua_pushnil();
  return actor;
}

// The actor with the slot of argument 2; nil for a bad handle or a slot
// outside 0..5.
Actor* WithSlot(Actor* actor, int* slot) {
  if (actor && IntArg(2, slot) && *slot >= 0 && *slot < ACTOR_SHADOW_SLOTS) return actor;
  lua_pushnil();
  return nullptr;
}

}  // namespace

void drevLua_ActorShadow() {
  Actor* actor = ActorArg(1);
  if (actor && drevActor_HasShadow(actor)) {
    lua_pushnumber(1);
  } else {
    lua_pushnil();
  }
}

void drevLua_ActivateActorShadow() {
  int slot = 0;
  if (Actor* actor = WithSlot(ActorArg(1), &slot))
    drevActor_ActivateShadow(actor, slot, lua_isnil(lua_lua2C(3)) ? 0 : 1);
}

void drevLua_SetActorShadowPlane() {
  const lua_Object name = lua_lua2C(2);
  Actor* actor = OrNil(ActorArg(1));
  if (actor && lua_isstring(name)) drevActor_SetShadowPlane(actor, lua_getstring(name));
}

void drevLua_SetActorShadowPoint() {
  Actor* actor = OrNil(ActorArg(1));
  const lua_Object x = lua_lua2C(2), y = lua_lua2C(3), z = lua_lua2C(4);
  if (!actor || !lua_isnumber(x) || !lua_isnumber(y) || !lua_isnumber(z)) return;
  drevActor_SetShadowPoint(actor, lua_getnumber(x), lua_getnumber(y), lua_getnumber(z));
}

void drevLua_SetActiveShadow() {
  int slot = 0;
  if (Actor* actor = WithSlot(ActorWithExtra(), &slot)) actor->pExtra->activeShadow = slot;
}

void drevLua_ActorDistToShadowPlane() {
  int slot = 0;
  Actor* actor = WithSlot(ActorWithExtra(), &slot);
  if (!actor) return;
  const ShadowSlot& s = actor->pExtra->shadows[slot];
  const qxVector3& p = actor->position;
  lua_pushnumber(std::fabs(s.plane[0] * p.x + s.plane[1] * p.y + s.plane[2] * p.z + s.plane[3]));
}

void drevLua_AddShadowPlane() {
  const lua_Object name = lua_lua2C(2);
  Actor* actor = OrNil(ActorWithExtra());
  if (actor && lua_isstring(name))
    drevActor_AddShadowPlane(actor, actor->pExtra->activeShadow, lua_getstring(name));
}

void drevLua_SetActorShadowValid() {
  Actor* actor = OrNil(ActorWithExtra());
  int side = 0;
  if (actor && IntArg(2, &side)) drevActor_SetShadowValid(actor, actor->pExtra->activeShadow, side);
}

void drevLua_KillActorShadows() {
  if (Actor* actor = OrNil(ActorArg(1))) drevActor_ClearShadows(actor);
}

void drevLua_SetShadowColor() {
  int rgb[3] = {0, 0, 0};
  for (int i = 0; i < 3; ++i) {
    if (!IntArg(i + 1, &rgb[i])) return;
    rgb[i] = std::clamp(rgb[i], 0, 255);
  }
  drevActor_Calls().costumeSetShadowColor(rgb[0], rgb[1], rgb[2]);
}
