// Argument reading and result pushing shared by the script-function families.
#include <strings.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "actors/drevActor.h"
#include "actors/drevCostume.h"
#include "chore/costume.h"
#include "engine/WalkPlane.h"
#include "quadrix/qxVector.h"
#include "script/drevLua.h"
#include "script/drevLua_Rows.h"

Actor* drevLua_ActorArgWithExtra(int n) {
  Actor* actor = drevLua_ActorArg(n);
  if (actor && !actor->pExtra) drevActor_CreateExtra(actor);
  return actor && actor->pExtra ? actor : nullptr;
}

int drevLua_NumberArg(int n, float* out) {
  const lua_Object o = lua_lua2C(n);
  if (!lua_isnumber(o)) return 0;
  *out = lua_getnumber(o);
  return 1;
}

int drevLua_StoredNumberArg(int n, float* out) {
  float value = 0.0f;
  if (!drevLua_NumberArg(n, &value) || std::isnan(value)) return 0;
  *out = value;
  return 1;
}

float drevLua_NumberOr(int n, float otherwise) {
  float value = otherwise;
  drevLua_NumberArg(n, &value);
  return value;
}

int drevLua_IntArg(int n, int* out) {
  float value = 0.0f;
  if (!drevLua_NumberArg(n, &value)) return 0;
  *out = drevLua_ToInt(value);
  return 1;
}

int drevLua_PointArgs(int n, qxVector3* out) {
  qxVector3 p{};
  if (!drevLua_NumberArg(n, &p.x) || !drevLua_NumberArg(n + 1, &p.y) ||
      !drevLua_NumberArg(n + 2, &p.z))
    return 0;
  *out = p;
  return 1;
}

void drevLua_PushActor(int index) {
  if (index < 0) {
    lua_pushnil();
    return;
  }
  lua_pushusertag(reinterpret_cast<void*>(static_cast<intptr_t>(index)), kTagActor);
}

void drevLua_PushSector(const Sector* sector) {
  if (!sector) {
    lua_pushnil();
    return;
  }
  lua_pushnumber(static_cast<float>(sector->id));
  lua_pushstring(sector->name);
  lua_pushnumber(static_cast<float>(sector->type));
}

void drevLua_PushPoint(const qxVector3& point) {
  lua_pushnumber(point.x);
  lua_pushnumber(point.y);
  lua_pushnumber(point.z);
}

void drevLua_PushTruth(bool value) {
  if (value) {
    lua_pushnumber(1);
  } else {
    lua_pushnil();
  }
}

bool drevLua_IsNilOrAbsent(int n) {
  const lua_Object o = lua_lua2C(n);
  return o == 0 || lua_isnil(o);
}

void drevLua_PushPointTable(const qxVector3* point) {
  const lua_Object table = lua_createtable();
  const struct {
    const char* key;
    float value;
  } fields[] = {{"x", point->x}, {"y", point->y}, {"z", point->z}};
  for (const auto& f : fields) {
    lua_pushobject(table);
    lua_pushstring(f.key);
    lua_pushnumber(f.value);
    lua_settable();
  }
  lua_pushobject(table);
}

void drevLua_ReadPointTable(lua_Object table, qxVector3* out) {
  float* const fields[] = {&out->x, &out->y, &out->z};
  const char* const keys[] = {"x", "y", "z"};
  for (int i = 0; i < 3; ++i) {
    lua_pushobject(table);
    lua_pushstring(keys[i]);
    const lua_Object value = lua_gettable();
    *fields[i] = lua_isnumber(value) ? lua_getnumber(value) : 0.0f;
  }
}

Sector* drevLua_FindNamedSector(const char* text, const qxVector3* point, int exact) {
  for (Sector* s = WalkPlane_GetSectors(); s; s = s->next) {
    if (!std::strstr(s->name, text)) continue;
    if (exact && std::strcmp(s->name, text) != 0) continue;
    if (Sector_ContainsPoint(s, point, 1)) return s;
  }
  return nullptr;
}
