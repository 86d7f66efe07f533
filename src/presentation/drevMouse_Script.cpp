// The mouse, cursor and hotspot script functions. Numbers are truncated toward
// zero; the mouse position is that of the game state's picture.
#include <cstdio>
#include <cstring>
#include <new>

#include "actors/drevActor.h"
#include "engine/ScriptHandles.h"
#include "engine/hotspots.h"
#include "platform/kv_Log.h"
#include "presentation/drevMouse.h"
#include "presentation/drevOverlay.h"

namespace {

constexpr int kMaxDescriptions = 10;

int IntArg(int n) {
  return drevLua_ToInt(lua_getnumber(lua_lua2C(n)));
}

bool IsNumber(lua_Object o) {
  return lua_tag(o) == LUA_T_NUMBER;
}

bool IsString(lua_Object o) {
  return lua_tag(o) == LUA_T_STRING;
}

void QueryActiveHotspots() {
  const int mode = IntArg(1);
  float mx = 0.0f, my = 0.0f;
  drevMouse_GetPositionForState(&mx, &my);
  const HotspotPoint point{static_cast<int32_t>(mx), static_cast<int32_t>(my)};
  Hotspot* found[kMaxDescriptions] = {};
  const int count = hotspots_QueryAtPoint(&point, found, kMaxDescriptions, mode);
  const lua_Object result = lua_createtable();
  for (int i = 0; i < count; ++i) {
    lua_pushobject(result);
    lua_pushnumber(static_cast<float>(i));
    drevMouse_PushHotspotInfo(found[i]);
    lua_settable();
  }
  lua_pushobject(result);
}

void GetFloorWalkPos() {
  const lua_Object first = lua_lua2C(1);
  const bool onGround = IsNumber(first) && lua_getnumber(first) > 0.0f;
  qxVector3 p{};
  if (!drevMouse_FloorWalkPos(onGround ? 1 : 0, &p)) {
    lua_pushnil();
    return;
  }
  const float v[3] = {p.x, p.y, p.z};
  drevMouse_PushVector(3, v);
}

void GetSelectedDialog() {
  float mx = 0.0f, my = 0.0f;
  drevMouse_GetPositionForState(&mx, &my);
  const int line = drevMouse_SelectedDialogLine(IntArg(1), IntArg(2), IntArg(3), IntArg(4),
                                                static_cast<int>(mx), static_cast<int>(my));
  lua_pushnumber(static_cast<float>(line));
}

void SetCursor() {
  drevMouse_SetCursor(IntArg(1));
}

void ProjectToAxis() {
  const lua_Object who = lua_lua2C(1);
  if (!lua_isuserdata(who) || lua_tag(who) != kTagActor) return;
  const Actor* actor =
      drevActor_FromIndex(static_cast<int>(reinterpret_cast<intptr_t>(lua_getuserdata(who))));
  if (!actor) return;
  const qxVector3 p = actor->position;
  const qxVector3 a{lua_getnumber(lua_lua2C(2)), lua_getnumber(lua_lua2C(3)),
                    lua_getnumber(lua_lua2C(4))};
  const float s = lua_getnumber(lua_lua2C(5));
  float mouse[2];
  drevMouse_GetPositionForState(&mouse[0], &mouse[1]);
  qxVector3 near{}, far{};
  if (!drevMouse_ScreenRay(mouse, &far, &near)) return;
  const qxVector3 e{near.x - s * a.x, near.y - s * a.y, near.z - s * a.z};
  const qxVector3 d{far.x - near.x, far.y - near.y, far.z - near.z};
  float t = 0.0f;
  if (!drevMouse_ClosestOnAxis(&d, &a, &e, &p, &t)) return;
  lua_pushnumber(p.x * a.x + p.y * a.y + p.z * a.z + t);
  lua_pushnumber(t);
}

void ShowCursor() {
  drevMouse_ShowCursor(IntArg(1));
}

void AddHotspot() {
  const lua_Object idArg = lua_lua2C(1);
  if (!IsString(idArg)) return;
  const char* id = lua_getstring(idArg);
  const int x = IntArg(2), y = IntArg(3), width = IntArg(4), height = IntArg(5);
  const int cursor = IntArg(6), grow = IntArg(7);
  const int kind = IsNumber(lua_lua2C(8)) ? IntArg(8) : 0;
  const char* image = IsString(lua_lua2C(9)) ? lua_getstring(lua_lua2C(9)) : "";
  int layer = IsNumber(lua_lua2C(10)) ? IntArg(10) : 2;
  const int mode = IntArg(11);
  if (kind != 0 && layer < 10) layer += 10;
  if (std::strlen(id) >= HOTSPOT_ID_STRING_SIZE) {
    kv_Log_Printf("[Mouse] - warning: id too long (\"%s\" is cut to %d characters)", id,
                  HOTSPOT_ID_STRING_SIZE - 1);
  }

  auto* h = new (std::nothrow) Hotspot{};
  if (!h) return;
  h->scriptAdded = 1;
  h->setup = -1;
  std::snprintf(h->name, sizeof h->name, "%.*s", HOTSPOT_ID_STRING_SIZE - 1, id);
  std::snprintf(h->idString, sizeof h->idString, "%.*s", HOTSPOT_ID_STRING_SIZE - 1, id);
  h->type = kind == 0 ? HOTSPOT_SCRIPT : kind == 2 ? HOTSPOT_SCRIPT_9 : HOTSPOT_SCRIPT_8;
  h->cursor = cursor;
  h->linkedActor = -1;
  h->num = 4;
  const int64_t x0 = int64_t{x} - grow, y0 = int64_t{y} - grow;
  const int64_t x1 = int64_t{x} + width + grow, y1 = int64_t{y} + height + grow;
  const int64_t corners[4][2] = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
  for (int i = 0; i < 4; ++i) {
    h->points[i] = HotspotPoint{drevLua_ToInt(static_cast<float>(corners[i][0])),
                                drevLua_ToInt(static_cast<float>(corners[i][1]))};
  }
  h->mode = mode;
  h->overlay = -1;
  OverlayManager* manager = drevOverlay_GetManager();
  if (image[0]) {
    h->overlay = drevOverlay_Manager_CreateOverlay(manager, image, x, y, layer, mode, 0, 0, 0);
    if (OverlayEntry* e = drevOverlay_Manager_FindOverlay(manager, h->overlay)) e->visibility = 2;
  }
  const int overlay = h->overlay;
  const int handle = hotspots_Add(h);  // takes the hotspot, frees it when the set is full
  if (handle < 0 && overlay >= 0) drevOverlay_Manager_DestroyOverlay(manager, overlay);
  lua_pushnumber(static_cast<float>(handle));
}

void RemoveHotspot() {
  hotspots_Remove(IntArg(1));
}

void GetCursorPosition() {
  float x = 0.0f, y = 0.0f;
  drevMouse_GetPositionForState(&x, &y);
  lua_pushnumber(x);
  lua_pushnumber(y);
}

void CursorAnimation() {
  drevMouse_StartAnimation(IntArg(1), IntArg(2));
}

void UpdateHotspot() {
  const lua_Object id = lua_lua2C(1);
  if (!IsString(id)) return;
  hotspots_MoveTo(lua_getstring(id), IntArg(2), IntArg(3), IntArg(4));
}

void LinkHotspot() {
  const lua_Object id = lua_lua2C(1);
  if (!IsString(id)) return;
  const lua_Object who = lua_lua2C(2);
  int actor = -1;
  if (lua_isuserdata(who) && lua_tag(who) == kTagActor) {
    actor = static_cast<int>(reinterpret_cast<intptr_t>(lua_getuserdata(who)));
  }
  hotspots_Link(lua_getstring(id), actor);
}

void PreloadCursors() {
  drevMouse_PreloadCursors();
}

void CursorMovieEnabled() {
  drevMouse_SetMovieCursor(IntArg(1));
}

const lua_Reg kMouseFunctions[] = {
    {"QueryActiveHotspots", QueryActiveHotspots},
    {"GetFloorWalkPos", GetFloorWalkPos},
    {"GetSelectedDialog", GetSelectedDialog},
    {"SetCursor", SetCursor},
    {"ProjectToAxis", ProjectToAxis},
    {"ShowCursor", ShowCursor},
    {"AddHotspot", AddHotspot},
    {"RemoveHotspot", RemoveHotspot},
    {"GetCursorPosition", GetCursorPosition},
    {"CursorAnimation", CursorAnimation},
    {"UpdateHotspot", UpdateHotspot},
    {"LinkHotspot", LinkHotspot},
    {"PreloadCursors", PreloadCursors},
    {"CursorMovieEnabled", CursorMovieEnabled},
};

}  // namespace

void drevMouse_PushVector(int count, const float* vector) {
  static const char* const kKeys[4] = {"x", "y", "z", "w"};
  const lua_Object table = lua_createtable();
  for (int i = 0; i < count && i < 4; ++i) drevLua_SetField(table, kKeys[i], vector[i]);
  lua_pushobject(table);
}

void drevMouse_PushHotspotInfo(const Hotspot* h) {
  const lua_Object table = lua_createtable();
  if (h->type == HOTSPOT_WALK) {
    const lua_Object path = lua_createtable();
    for (int i = 0; i < h->pathLen && i < HOTSPOT_MAX_PATH; ++i) {
      lua_pushobject(path);
      lua_pushnumber(static_cast<float>(i));
      const float v[3] = {h->path[i].x, h->path[i].y, h->path[i].z};
      drevMouse_PushVector(3, v);
      lua_settable();
    }
    lua_pushobject(table);
    lua_pushstring("path");
    lua_pushobject(path);
    lua_settable();
  }
  drevLua_SetField(table, "wait", h->wait);
  drevLua_SetField(table, "id", h->idString);
  drevLua_SetField(table, "handle", static_cast<float>(h->id));
  const char* type = h->type == HOTSPOT_WALK      ? "walk"
                     : h->type == HOTSPOT_SPECIAL ? "special"
                     : h->type == HOTSPOT_SCRIPT  ? "overlay"
                                                  : "normal";
  drevLua_SetField(table, "type", type);
  drevLua_SetField(table, "cursor", static_cast<float>(h->cursor));
  lua_pushobject(table);
}

const lua_Reg* drevMouse_GetScriptTable(int* count) {
  if (count) *count = static_cast<int>(sizeof kMouseFunctions / sizeof kMouseFunctions[0]);
  return kMouseFunctions;
}
