// The actor chore script functions of the core table and the costume
// selector they share.
//
// The first argument is an actor handle; a wrong type or a freed actor does
// nothing (GetActorChores and GetActorLoopingChores answer nil). The costume
// argument picks a node of the actor's stack; when none matches, nothing
// happens and nothing is returned. An absent optional argument counts as nil
// (no costume argument is the top node, no flag is off).
#include <strings.h>

#include <cstdint>

#include "actors/drevActor.h"
#include "actors/drevCostume.h"
#include "chore/costume.h"
#include "script/drevLua.h"
#include "script/drevLua_Rows.h"

namespace {

// Chore status bits of the chore library.
constexpr int kPlaying = 1;
constexpr int kLooping = 2;

// The node the costume argument n picks on the actor of argument 1.
bool Selected(int n, Actor** actor, CostumeNode** node) {
  *actor = drevLua_ActorArg(1);
  return *actor && drevLua_FindCostumeNode(node, (*actor)->costumeTop, lua_lua2C(n)) && *node;
}

bool NilOrAbsent(lua_Object o) {
  return o == 0 || lua_isnil(o);
}

bool ChoreArg(int n, int* chore) {
  const lua_Object o = lua_lua2C(n);
  if (!lua_isnumber(o)) return false;
  *chore = drevLua_ToInt(lua_getnumber(o));
  return true;
}

// A number or nil (-1) chore argument.
bool ChoreOrNil(int n, int* chore) {
  if (NilOrAbsent(lua_lua2C(n))) {
    *chore = -1;
    return true;
  }
  return ChoreArg(n, chore);
}

void PushTruth(int value) {
  if (value) {
    lua_pushnumber(1);
  } else {
    lua_pushnil();
  }
}

// PlayActorChore, PlayActorChoreLooping, CompleteActorChore.
void Play(int loop, bool complete) {
  Actor* actor = nullptr;
  CostumeNode* node = nullptr;
  if (!Selected(3, &actor, &node)) return;
  int chore = 0;
  if (!ChoreArg(2, &chore)) {
    lua_pushnil();
    return;
  }
  PushTruth(complete ? Cos_InstCompleteChore(node->instance, chore)
                     : Cos_InstPlayChore(node->instance, chore, loop, 0));
}
void PlayActorChore() {
  Play(0, false);
}
void PlayActorChoreLooping() {
  Play(1, false);
}
void CompleteActorChore() {
  Play(0, true);
}

void StopActorChore() {
  Actor* actor = nullptr;
  CostumeNode* node = nullptr;
  if (!Selected(3, &actor, &node)) return;
  int chore = 0;
  if (ChoreArg(2, &chore)) {
    Cos_InstStopChore(node->instance, chore);
  } else if (NilOrAbsent(lua_lua2C(2))) {
    Cos_InstStopChores(node->instance);
  }
}

void SetActorChoreLooping() {
  Actor* actor = nullptr;
  CostumeNode* node = nullptr;
  if (!Selected(4, &actor, &node)) return;
  const int on = NilOrAbsent(lua_lua2C(3)) ? 0 : 1;
  int chore = 0;
  if (ChoreArg(2, &chore)) {
    Cos_InstSetChoreLoop(node->instance, chore, on);
  } else if (NilOrAbsent(lua_lua2C(2))) {
    const int count = Cos_InstCountChores(node->instance);
    for (int c = 0; c < count; ++c) Cos_InstSetChoreLoop(node->instance, c, on);
  }
}

void IsActorChoring() {
  Actor* actor = nullptr;
  CostumeNode* node = nullptr;
  if (!Selected(4, &actor, &node)) return;
  const bool skipLooping = !NilOrAbsent(lua_lua2C(3));
  const lua_Object choreArg = lua_lua2C(2);
  if (lua_isnumber(choreArg)) {
    const int status = Cos_InstChoreStatus(node->instance, drevLua_ToInt(lua_getnumber(choreArg)));
    if (!(status & kPlaying)) {
      lua_pushnil();
    } else if (!(status & kLooping)) {
      lua_pushnumber(lua_getnumber(choreArg));
      lua_pushnil();
    } else if (!skipLooping) {
      lua_pushnumber(lua_getnumber(choreArg));
      lua_pushnumber(1);
    }
    return;
  }
  if (!NilOrAbsent(choreArg)) return;
  int last = -1;
  const int count = Cos_InstCountChores(node->instance);
  for (int c = 0; c < count; ++c) {
    const int status = Cos_InstChoreStatus(node->instance, c);
    if (!(status & kPlaying) || ((status & kLooping) && skipLooping)) continue;
    if (status & kLooping) {
      lua_pushnumber(static_cast<float>(c));
      lua_pushnumber(1);
      return;
    }
    last = c;
  }
  if (last >= 0) {
    lua_pushnumber(static_cast<float>(last));
  } else {
    lua_pushnil();
  }
}

// GetActorChores, GetActorLoopingChores: {index = index, ..., count = n}.
void PushChores(int mask) {
  Actor* actor = drevLua_ActorArg(1);
  if (!actor) {
    lua_pushnil();
    return;
  }
  CostumeNode* node = nullptr;
  if (!drevLua_FindCostumeNode(&node, actor->costumeTop, lua_lua2C(2)) || !node) return;
  const lua_Object table = lua_createtable();
  int found = 0;
  const int count = Cos_InstCountChores(node->instance);
  for (int c = 0; c < count; ++c) {
    if ((Cos_InstChoreStatus(node->instance, c) & mask) != mask) continue;
    ++found;
    lua_pushobject(table);
    lua_pushnumber(static_cast<float>(c));
    lua_pushnumber(static_cast<float>(c));
    lua_settable();
  }
  lua_pushobject(table);
  lua_pushstring("count");
  lua_pushnumber(static_cast<float>(found));
  lua_settable();
  lua_pushobject(table);
}
void GetActorChores() {
  PushChores(kPlaying);
}
void GetActorLoopingChores() {
  PushChores(kPlaying | kLooping);
}

void SetActorWalkChore() {
  Actor* actor = nullptr;
  CostumeNode* node = nullptr;
  int chore = 0;
  if (Selected(3, &actor, &node) && ChoreOrNil(2, &chore)) {
    drevActor_SetWalkChore(actor, chore, node);
  }
}

void SetActorTurnChores() {
  Actor* actor = nullptr;
  CostumeNode* node = nullptr;
  int first = 0, second = 0;
  if (Selected(4, &actor, &node) && ChoreArg(2, &first) && ChoreArg(3, &second)) {
    drevActor_SetTurnChores(actor, first, second, node);
  }
}

void SetActorRestChore() {
  Actor* actor = nullptr;
  CostumeNode* node = nullptr;
  int chore = 0;
  if (Selected(3, &actor, &node) && ChoreOrNil(2, &chore)) {
    drevActor_SetRestChore(actor, chore, node);
  }
}

void SetActorMumblechore() {
  Actor* actor = nullptr;
  CostumeNode* node = nullptr;
  int chore = 0;
  if (Selected(3, &actor, &node) && ChoreArg(2, &chore)) node->mumbleChore = chore;
}

void SetActorTalkChore() {
  Actor* actor = nullptr;
  CostumeNode* node = nullptr;
  int slot = 0, chore = 0;
  if (!Selected(4, &actor, &node) || !ChoreArg(2, &slot) || !ChoreOrNil(3, &chore)) return;
  if (slot >= 1 && slot <= kCostumeTalkChores) node->talkChores[slot - 1] = chore;
}

constexpr lua_Reg kRows[] = {
    {"PlayActorChore", PlayActorChore},
    {"PlayActorChoreLooping", PlayActorChoreLooping},
    {"CompleteActorChore", CompleteActorChore},
    {"StopActorChore", StopActorChore},
    {"SetActorChoreLooping", SetActorChoreLooping},
    {"IsActorChoring", IsActorChoring},
    {"GetActorChores", GetActorChores},
    {"GetActorLoopingChores", GetActorLoopingChores},
    {"SetActorWalkChore", SetActorWalkChore},
    {"SetActorTurnChores", SetActorTurnChores},
    {"SetActorRestChore", SetActorRestChore},
    {"SetActorMumblechore", SetActorMumblechore},
    {"SetActorTalkChore", SetActorTalkChore},
};

}  // namespace

Actor* drevLua_ActorArg(int n) {
  const lua_Object o = lua_lua2C(n);
  if (!lua_isuserdata(o) || lua_tag(o) != kTagActor) return nullptr;
  Actor* actor =
      drevActor_FromIndex(static_cast<int>(reinterpret_cast<intptr_t>(lua_getuserdata(o))));
  return actor && actor->inUse ? actor : nullptr;
}

int drevLua_FindCostumeNode(CostumeNode** out, CostumeNode* top, lua_Object argument) {
  *out = nullptr;
  if (NilOrAbsent(argument)) {
    *out = top;
  } else if (lua_isnumber(argument)) {
    const int steps = drevLua_ToInt(lua_getnumber(argument));
    if (steps < 0) return 0;
    CostumeNode* n = top;
    for (int i = 0; i < steps && n; ++i) n = n->next;
    *out = n;
  } else if (lua_isstring(argument)) {
    const char* name = lua_getstring(argument);
    for (CostumeNode* n = top; n; n = n->next) {
      const CosCostume* costume = Cos_InstGetCostume(n->instance, nullptr);
      if (costume && strcasecmp(costume->name, name) == 0) {
        *out = n;
        break;
      }
    }
  }
  return *out ? 1 : 0;
}

std::span<const lua_Reg> drevLua_ChoreRows(void) {
  return kRows;
}
