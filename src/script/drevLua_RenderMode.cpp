// The render mode, object-state, actor-option and dialogue-log script
// functions: switching the game's render mode (the scripts painting the
// screen, the 16:9 script mode), renderer settings, per-actor options kept in
// the actor's extra block, object states of the current set, the resource
// report and the dialogue log.
//
// An object-state handle (STAT) may outlive its object: every function that
// takes one first checks that the object is still in one of the current
// set's lists and does nothing otherwise.
#include <cmath>
#include <cstring>

#include "actors/drevActor.h"
#include "actors/drevCostume.h"
#include "chore/costume.h"
#include "engine/ObjectState.h"
#include "engine/drevDialogLog.h"
#include "engine/drevMain.h"
#include "engine/drevResource.h"
#include "engine/drevRoom.h"
#include "quadrix/qxVector.h"
#include "script/drevLua.h"
#include "script/drevLua_Calls.h"
#include "script/drevLua_Rows.h"
#include "std/stdMemory.h"

namespace {

constexpr float kWideAspect = 16.0f / 9.0f;
constexpr float kClassicAspect = 4.0f / 3.0f;
// DialogLogGetLine copies at most this many characters.
constexpr size_t kDialogLineCopy = 512;

bool IsScriptMode(int state) {
  return state == kGameUserPaint || state == kGameScriptWide;
}

// ---- Render mode ----------------------------------------------------------------------

// RenderModeUser(value): a value enters the state in which the scripts paint
// the screen; nil leaves it for the state kept by the engine core.
void RenderModeUser() {
  drevLuaCalls& calls = drevLua_Calls();
  const bool leave = lua_isnil(lua_lua2C(1));
  if (leave && GameState == kGameUserPaint) {
    calls.tolvePause(0);
    calls.renderForceRefresh();
    GameState = drevMain_GetRenderModeUser();
  } else if (!leave && GameState != kGameUserPaint) {
    drevMain_SetRenderModeUser(GameState);
    calls.tolvePause(1);
    GameState = kGameUserPaint;
  }
}

void GetGameRenderMode() {
  lua_pushnumber(static_cast<float>(GameState));
}

// SetGameRenderMode(state, keepPicture): the game states 0 to 6 only.
void SetGameRenderMode() {
  float number = 0.0f;
  if (!drevLua_NumberArg(1, &number)) return;
  const int state = drevLua_ToInt(number);
  if (state < kGameNone || state > kGameNoRender || state == GameState) return;
  drevLuaCalls& calls = drevLua_Calls();
  const bool was = IsScriptMode(GameState), now = IsScriptMode(state);
  if (was && !now) {
    calls.tolvePause(0);
    const lua_Object keep = lua_lua2C(2);
    if (lua_isnil(keep) || lua_getnumber(keep) == 0.0f) calls.renderForceRefresh();
  } else if (!was && now) {
    calls.tolvePause(1);
  }
  GameState = state;
  calls.overlaySetVirtualScreenAspect(state == kGameScriptWide ? kWideAspect : kClassicAspect);
}

void SetResolutionScaling() {
  float scaling = 0.0f;
  if (drevLua_NumberArg(1, &scaling) && GameState != kGameUserPaint)
    drevLua_Calls().renderSetResolutionScaling(scaling);
}

void SetAdvancedLighting() {
  int enabled = 0;
  if (drevLua_IntArg(1, &enabled) && GameState != kGameUserPaint)
    drevLua_Calls().renderSetAdvancedLighting(enabled);
}

void HardwareAccelerated() {
  lua_pushnumber(drevLua_Calls().renderIsHardwareAccelerated() ? 1.0f : 0.0f);
}

void NoEffect() {}

// ---- Speech mode ------------------------------------------------------------------------

// SetSpeechMode(1 text, 2 voice or 3 both); other values are ignored.
void SetSpeechMode() {
  float number = 0.0f;
  if (!drevLua_NumberArg(1, &number)) return;
  const int mode = drevLua_ToInt(number);
  if (mode >= 1 && mode <= 3) drevActor_SetSpeechMode(mode);
}

// Neither text nor voice answers voice only (2).
void GetSpeechMode() {
  const int mode = drevActor_GetSpeechMode() & 3;
  lua_pushnumber(static_cast<float>(mode == 0 ? 2 : mode));
}

// ---- Actor options ------------------------------------------------------------------

void SetActorWalkDominate() {
  if (Actor* actor = drevLua_ActorArg(1))
    drevActor_SetWalkDominate(actor, lua_isnil(lua_lua2C(2)) ? 0 : 1);
}

void SetActorConstrain() {
  if (Actor* actor = drevLua_ActorArg(1))
    drevActor_SetConstrain(actor, lua_isnil(lua_lua2C(2)) ? 0 : 1);
}

void SetActorCollisionMode() {
  Actor* actor = drevLua_ActorArgWithExtra(1);
  if (!actor) {
    lua_pushnil();
    return;
  }
  int mode = 0;
  if (drevLua_IntArg(2, &mode)) actor->pExtra->collisionMode = mode;
}

void SetActorCollisionScale() {
  Actor* actor = drevLua_ActorArgWithExtra(1);
  if (!actor) {
    lua_pushnil();
    return;
  }
  float scale = 0.0f;
  if (drevLua_StoredNumberArg(2, &scale)) actor->pExtra->collisionScale = scale;
}

void SetActorOffsetYaw() {
  Actor* actor = drevLua_ActorArgWithExtra(1);
  if (!actor) {
    lua_pushnil();
    return;
  }
  float yaw = 0.0f;
  if (drevLua_StoredNumberArg(2, &yaw)) actor->pExtra->yawOffset = yaw;
}

void SetActorClipActive() {
  Actor* actor = drevLua_ActorArg(1);
  int on = 0;
  if (actor && drevLua_IntArg(2, &on)) drevActor_SetClipActive(actor, on);
}

// SetActorClipPlane(actor, nx, ny, nz, px, py, pz): a zero normal has no
// plane and changes nothing.
void SetActorClipPlane() {
  Actor* actor = drevLua_ActorArg(1);
  float v[6] = {};
  if (!actor) return;
  for (int i = 0; i < 6; ++i) {
    if (!drevLua_StoredNumberArg(i + 2, &v[i])) return;
  }
  qxVector3 normal{v[0], v[1], v[2]};
  const qxVector3 point{v[3], v[4], v[5]};
  if (qxVector3_NormalizeInPlace(&normal) == 0.0f || !std::isfinite(normal.x) ||
      !std::isfinite(normal.y) || !std::isfinite(normal.z))
    return;
  drevActor_SetClipPlane(actor, &normal, &point);
}

void ActorToClean() {
  Actor* actor = drevLua_ActorArg(1);
  if (!actor) {
    lua_pushnil();
    return;
  }
  drevActor_DrawToClean(actor);
}

// ---- Chore fades ------------------------------------------------------------------------

// The costume instance that FadeInChore and FadeOutChore act on: argument 2
// (a name or a number) selects a node of the actor's stack; the chore and
// the fade time must be numbers.
struct ChoreFade {
  CosInstHandle instance = 0;
  int chore = 0;
  int milliseconds = 0;
};

bool ReadChoreFade(ChoreFade* out) {
  const Actor* actor = drevLua_ActorArg(1);
  const lua_Object costume = lua_lua2C(2);
  if (!actor || (lua_tag(costume) != LUA_T_STRING && lua_tag(costume) != LUA_T_NUMBER))
    return false;
  CostumeNode* node = nullptr;
  if (!drevLua_FindCostumeNode(&node, actor->costumeTop, costume) || !node) return false;
  if (!drevLua_IntArg(3, &out->chore) || !drevLua_IntArg(4, &out->milliseconds)) return false;
  out->instance = node->instance;
  return true;
}

void FadeOutChore() {
  ChoreFade f;
  if (ReadChoreFade(&f)) drevLua_Calls().costumeFadeOutChore(f.instance, f.chore, f.milliseconds);
}

// Starts the chore, steps it 100 ms in, then fades its keyframe tracks in.
void FadeInChore() {
  ChoreFade f;
  if (!ReadChoreFade(&f)) return;
  Cos_InstPlayChore(f.instance, f.chore, 0, 0);
  Cos_InstUpdateChore(f.instance, f.chore, 100);
  drevLua_Calls().costumeFadeInChore(f.instance, f.chore, f.milliseconds);
}

// ---- Object states ------------------------------------------------------------------

// The object state of a STAT handle that is still in one of the current
// set's lists, and the head of that list; the handle's value is compared,
// never followed, until found.
struct StateArgument {
  ObjectState* state = nullptr;
  ObjectState** head = nullptr;
};

StateArgument StateArg(int n) {
  StateArgument a;
  const lua_Object o = lua_lua2C(n);
  if (!lua_isuserdata(o) || lua_tag(o) != kTagObjectState) return a;
  const void* wanted = lua_getuserdata(o);
  Room* room = drevRoom_GetCurrent();
  if (!wanted || !room || !room->setups) return a;
  for (uint32_t i = 0; i < room->numSetups; ++i) {
    for (ObjectState* s = room->setups[i].objectStates; s; s = s->next) {
      if (s != wanted) continue;
      a.state = s;
      a.head = &room->setups[i].objectStates;
      return a;
    }
  }
  return a;
}

// NewObjectState(setup, kind, image, depth image, visibility).
void NewObjectState() {
  const Room* room = drevRoom_GetCurrent();
  float setupNumber = 0.0f;
  int kind = 0;
  const lua_Object image = lua_lua2C(3), depth = lua_lua2C(4);
  if (!room || !drevLua_NumberArg(1, &setupNumber) || !drevLua_IntArg(2, &kind) ||
      lua_tag(image) != LUA_T_STRING ||
      (depth != 0 && !lua_isnil(depth) && lua_tag(depth) != LUA_T_STRING)) {
    lua_pushnil();
    return;
  }
  const uint32_t setup = drevLua_ToIndex(setupNumber);
  if (setup >= room->numSetups) {
    lua_pushnil();
    return;
  }
  int visibility = -1;
  drevLua_IntArg(5, &visibility);
  ObjectState* state = ObjectState_Create(
      static_cast<int>(setup), kind, lua_getstring(image),
      lua_tag(depth) == LUA_T_STRING ? lua_getstring(depth) : nullptr, visibility);
  if (!state) {
    lua_pushnil();
    return;
  }
  lua_pushusertag(state, kTagObjectState);
}

void FreeObjectState() {
  if (ObjectState* state = StateArg(1).state) ObjectState_Free(state);
}

void SendObjectToBack() {
  const StateArgument a = StateArg(1);
  if (a.state) *a.head = ObjectState_SendToBack(a.state, *a.head);
}

void SendObjectToFront() {
  const StateArgument a = StateArg(1);
  if (a.state) *a.head = ObjectState_SendToFront(a.state, *a.head);
}

void SetObjectType() {
  ObjectState* state = StateArg(1).state;
  int kind = 0;
  if (state && drevLua_IntArg(2, &kind)) state->kind = kind;
}

// ---- Resources and the dialogue log ------------------------------------------------------

void ResReport() {
  drevResource_WriteReport();
  lua_pushnumber(static_cast<float>(stdMemory_GetAllocatedBytes()));
}

// A new table of the log's line indices in order from 0, and "count".
void DialogLogGetLineCount() {
  const lua_Object table = lua_createtable();
  int count = 0;
  int cursor = -1;
  while (drevDialogLog_NextLine(&cursor)) {
    lua_pushobject(table);
    lua_pushnumber(static_cast<float>(count));
    lua_pushnumber(static_cast<float>(cursor));
    lua_settable();
    ++count;
  }
  lua_pushobject(table);
  lua_pushstring("count");
  lua_pushnumber(static_cast<float>(count));
  lua_settable();
  lua_pushobject(table);
}

void DialogLogGetLine() {
  float number = 0.0f;
  if (lua_isnil(lua_lua2C(1)) || lua_isnil(lua_lua2C(2)) || !drevLua_NumberArg(2, &number)) {
    lua_pushnil();
    return;
  }
  const int32_t index = drevLua_ToInt(number);
  const char* text = drevDialogLog_GetLine(index);
  if (!text) {
    lua_pushnil();
    return;
  }
  char copy[kDialogLineCopy + 1];
  std::strncpy(copy, text, kDialogLineCopy);
  copy[kDialogLineCopy] = '\0';
  lua_pushstring(copy);
}

void DialogLogAddLine() {
  const lua_Object text = lua_lua2C(1);
  if (lua_isstring(text)) drevDialogLog_AddLine(lua_getstring(text));
}

constexpr lua_Reg kRows[] = {
    {"RenderModeUser", RenderModeUser},
    {"GetGameRenderMode", GetGameRenderMode},
    {"SetGameRenderMode", SetGameRenderMode},
    {"SetResolutionScaling", SetResolutionScaling},
    {"SetAdvancedLighting", SetAdvancedLighting},
    {"HardwareAccelerated", HardwareAccelerated},
    {"LoadBundle", NoEffect},
    {"UnloadBundle", NoEffect},
    {"SetSpeechMode", SetSpeechMode},
    {"GetSpeechMode", GetSpeechMode},
    {"SetActorWalkDominate", SetActorWalkDominate},
    {"SetActorConstrain", SetActorConstrain},
    {"SetActorCollisionMode", SetActorCollisionMode},
    {"SetActorCollisionScale", SetActorCollisionScale},
    {"SetActorOffsetYaw", SetActorOffsetYaw},
    {"SetActorClipActive", SetActorClipActive},
    {"SetActorClipPlane", SetActorClipPlane},
    {"ActorToClean", ActorToClean},
    {"FadeOutChore", FadeOutChore},
    {"FadeInChore", FadeInChore},
    {"NewObjectState", NewObjectState},
    {"FreeObjectState", FreeObjectState},
    {"SendObjectToBack", SendObjectToBack},
    {"SendObjectToFront", SendObjectToFront},
    {"SetObjectType", SetObjectType},
    {"ResReport", ResReport},
    {"DialogLogGetLineCount", DialogLogGetLineCount},
    {"DialogLogGetLine", DialogLogGetLine},
    {"DialogLogAddLine", DialogLogAddLine},
};

}  // namespace

std::span<const lua_Reg> drevLua_RenderModeRows(void) {
  return kRows;
}
