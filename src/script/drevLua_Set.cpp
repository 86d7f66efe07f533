// The set, setup, sector and walk-box script functions: locking sets,
// setup queries, sector queries and switches of the current set, the walk
// sectors' vertex cache and shrinking, and the navigation graph's mode.
// MakeCurrentSet, MakeCurrentSetup and GetPointSector are rows of drevLua_Core.
#include <strings.h>

#include <cstring>

#include "actors/drevActor.h"
#include "engine/Pathfinder.h"
#include "engine/Res.h"
#include "engine/WalkPlane.h"
#include "engine/drevResource.h"
#include "engine/drevRoom.h"
#include "script/drevLua.h"
#include "script/drevLua_Rows.h"

namespace {

// The shrink of the walk boxes that TEST applies.
constexpr float kTestShrink = 0.005f;

// The set resource named by argument n, loaded when needed; null for a name
// that is not a string or a set that does not load.
Room* SetArg(int n) {
  const lua_Object name = lua_lua2C(n);
  if (!lua_isstring(name)) return nullptr;
  return static_cast<Room*>(drevResource_Get("SET ", lua_getstring(name)));
}

// A sector of the current set named by a string (ignoring case) or by a
// number (its id).
Sector* SectorArg(int n) {
  const lua_Object o = lua_lua2C(n);
  if (lua_tag(o) == LUA_T_NUMBER) return WalkPlane_FindSectorById(drevLua_ToInt(lua_getnumber(o)));
  if (lua_tag(o) == LUA_T_STRING) return WalkPlane_FindSectorByName(lua_getstring(o));
  return nullptr;
}

void LockSet() {
  Room* room = SetArg(1);
  if (room && !room->lockRef.valid) RES_ADDREF(&room->lockRef, room);
}

void UnLockSet() {
  Room* room = SetArg(1);
  if (room && room->lockRef.valid) Res_ReleaseRef(&room->lockRef);
}

// GetCurrentSetup(name): the current setup index of the current set or of
// another loaded set; nothing for a set that is not loaded.
void GetCurrentSetup() {
  const lua_Object name = lua_lua2C(1);
  if (!lua_isstring(name)) return;
  const char* text = lua_getstring(name);
  const Room* current = drevRoom_GetCurrent();
  if (current && strcasecmp(text, current->name) == 0) {
    lua_pushnumber(static_cast<float>(current->currentSetup));
    return;
  }
  if (ResourceRecord* record = Res_Lookup(Res_Tag("SET "), text)) {
    if (const Room* room = static_cast<const Room*>(record->object)) {
      lua_pushnumber(static_cast<float>(room->currentSetup));
      return;
    }
  }
  if (!current) lua_pushnil();
}

void IsPointInSector() {
  qxVector3 point{};
  const lua_Object text = lua_lua2C(4);
  if (!drevLua_PointArgs(1, &point) || !lua_isstring(text)) {
    lua_pushnil();
    return;
  }
  drevLua_PushSector(drevLua_FindNamedSector(lua_getstring(text), &point, 0));
}

void IsSectorActive() {
  const Sector* sector = drevRoom_GetCurrent() ? SectorArg(1) : nullptr;
  if (sector && sector->enabled) {
    lua_pushnumber(1);
  } else {
    lua_pushnil();
  }
}

void MakeSectorActive() {
  Sector* sector = SectorArg(1);
  if (!sector) return;
  sector->enabled = lua_isnil(lua_lua2C(2)) ? 0 : 1;
  Pathfinder_Invalidate();
}

void GetSectorOppositeEdge() {
  Actor* actor = drevLua_ActorArg(1);
  const lua_Object name = lua_lua2C(2);
  Sector* sector =
      actor && lua_isstring(name) ? WalkPlane_FindSectorByName(lua_getstring(name)) : nullptr;
  if (!sector) {
    lua_pushnil();
    return;
  }
  drevActor_SnapToOppositeEdge(actor, sector);
}

void NoEffect() {}

void SnapToPlane() {
  const lua_Object name = lua_lua2C(1);
  const Sector* sector =
      lua_isstring(name) ? WalkPlane_FindSectorByName(lua_getstring(name)) : nullptr;
  qxVector3 point{};
  if (!sector || !drevLua_PointArgs(2, &point)) {
    lua_pushnil();
    return;
  }
  Sector_ProjectToPlane(sector, &point);
  lua_pushnumber(point.x);
  lua_pushnumber(point.y);
  lua_pushnumber(point.z);
}

void PathfinderMode() {
  float mode = 0.0f;
  if (!drevLua_NumberArg(1, &mode)) return;
  Pathfinder_Construct()->mode = drevLua_ToInt(mode) != 0 ? 1 : 0;
}

void BuildCache() {
  WalkPlane_BuildCache();
}

// Puts the cached vertices back (undoing shrinking); the navigation graph is
// marked dirty by the restore.
void RestoreCache() {
  WalkPlane_RestoreCache();
}

// Shrinking always starts from the unshrunk boxes: restore, then cache the
// unshrunk boxes again and shrink them.
void ShrinkBoxes() {
  float distance = 0.0f;
  if (!drevLua_NumberArg(1, &distance)) return;
  WalkPlane_RestoreCache();
  WalkPlane_FreeCache();
  WalkPlane_BuildCache();
  WalkPlane_ShrinkBoxes(distance);
}

void UnShrinkBoxes() {
  WalkPlane_RestoreCache();
  WalkPlane_FreeCache();
}

// GetShrinkPos(x, y, z, distance): where the point lands inside walk boxes
// shrunk by the distance; the boxes are left as they were.
void GetShrinkPos() {
  qxVector3 point{};
  float distance = 0.0f;
  if (!drevLua_PointArgs(1, &point) || !drevLua_NumberArg(4, &distance)) return;
  WalkPlane_BuildCache();
  WalkPlane_ShrinkBoxes(distance);
  const Sector* sector = WalkPlane_FindNearestSector(&point, SECTOR_WALK);
  if (sector) Sector_ClampPoint(sector, &point);
  WalkPlane_RestoreCache();
  WalkPlane_FreeCache();
  if (!sector) {
    lua_pushnil();
    return;
  }
  lua_pushnumber(point.x);
  lua_pushnumber(point.y);
  lua_pushnumber(point.z);
}

void Test() {
  WalkPlane_ShrinkBoxes(kTestShrink);
}

constexpr lua_Reg kRows[] = {
    {"LockSet", LockSet},
    {"UnLockSet", UnLockSet},
    {"GetCurrentSetup", GetCurrentSetup},
    {"IsPointInSector", IsPointInSector},
    {"IsSectorActive", IsSectorActive},
    {"MakeSectorActive", MakeSectorActive},
    {"GetSectorOppositeEdge", GetSectorOppositeEdge},
    {"GetSectorVertices", NoEffect},
    {"SnapToPlane", SnapToPlane},
    {"PathfinderMode", PathfinderMode},
    {"BuildCache", BuildCache},
    {"RestoreCache", RestoreCache},
    {"ShrinkBoxes", ShrinkBoxes},
    {"UnShrinkBoxes", UnShrinkBoxes},
    {"GetShrinkPos", GetShrinkPos},
    {"TEST", Test},
};

}  // namespace

std::span<const lua_Reg> drevLua_SetRows(void) {
  return kRows;
}
