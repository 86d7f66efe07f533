// The overlay script functions. Numbers are truncated toward zero; an id no
// overlay has makes a function do nothing.
#include <algorithm>

#include "engine/ScriptHandles.h"
#include "gfx/kv_RenderContext.h"
#include "gfx/kv_RenderTarget.h"
#include "platform/kv_RenderHooks.h"
#include "presentation/drevOverlay.h"
#include "presentation/drevText.h"
#include "render/HardwareOverlay.h"

namespace {

int IntArg(int n) {
  return drevLua_ToInt(lua_getnumber(lua_lua2C(n)));
}

OverlayEntry* EntryArg(int n) {
  return drevOverlay_Manager_FindOverlay(drevOverlay_GetManager(), IntArg(n));
}

// A number option of a table: its value, or the default when absent or not a number.
int NumberOption(lua_Object table, lua_Object value, int fallback) {
  if (!lua_istable(table) || lua_tag(value) != LUA_T_NUMBER) return fallback;
  return drevLua_ToInt(lua_getnumber(value));
}

int KeyOption(lua_Object table, TextKey key, int fallback) {
  return NumberOption(table, drevText_GetOption(table, key), fallback);
}

void OverlayCreate() {
  const lua_Object name = lua_lua2C(1);
  const int x = IntArg(2), y = IntArg(3);
  const lua_Object options = lua_lua2C(4);
  int id = -1;
  if (lua_tag(name) == LUA_T_STRING) {
    lua_Object clearBuffer = 0;
    if (lua_istable(options)) {
      lua_pushobject(options);
      lua_pushstring("clear_buffer");
      clearBuffer = lua_gettable();
    }
    const int cache = KeyOption(options, TextKey::Cache, 0);
    const int layer = KeyOption(options, TextKey::Layer, 1);
    const int coords = KeyOption(options, TextKey::Coords, 1);
    const int flags = NumberOption(options, clearBuffer, 0) != 0 ? 1 : 0;
    const int mirror = KeyOption(options, TextKey::MirrorMode, 0);
    OverlayManager* m = drevOverlay_GetManager();
    id = drevOverlay_Manager_CreateOverlay(m, lua_getstring(name), x, y, layer, coords, mirror,
                                           cache, flags);
    if (OverlayEntry* e = drevOverlay_Manager_FindOverlay(m, id)) {
      e->width = KeyOption(options, TextKey::Width, -1);
      e->height = KeyOption(options, TextKey::Height, -1);
    }
  }
  lua_pushnumber(static_cast<float>(id));
}

void OverlayMove() {
  if (OverlayEntry* e = EntryArg(1)) {
    e->x = IntArg(2);
    e->y = IntArg(3);
  }
}

void OverlaySetLayer() {
  if (OverlayEntry* e = EntryArg(1)) e->layer = IntArg(2);
}

void OverlayDestroy() {
  const lua_Object id = lua_lua2C(1);
  if (id == 0 || lua_isnil(id)) return;
  drevOverlay_Manager_DestroyOverlay(drevOverlay_GetManager(), IntArg(1));
}

void OverlayDimensions() {
  int width = 0, height = 0;
  if (const OverlayEntry* e = EntryArg(1)) {
    width = e->width;
    height = e->height;
    if (width < 1) width = e->image ? static_cast<int>(e->image->width) : 0;
    if (height < 1) height = e->image ? static_cast<int>(e->image->height) : 0;
  }
  lua_pushnumber(static_cast<float>(width));
  lua_pushnumber(static_cast<float>(height));
}

void OverlayClearCache() {
  drevOverlay_Manager_ClearCache(drevOverlay_GetManager());
}

void OverlayFade() {
  OverlayEntry* e = EntryArg(1);
  if (!e) return;
  e->fadeState = IntArg(2);
  if (e->fadeState == 1) e->multiply = 0.0f;
  if (e->fadeState == 4) e->multiply = lua_getnumber(lua_lua2C(3));
}

void OverlayGetScreenSize() {
  kvRenderTarget* colour = nullptr;
  kv_Platform_GetBackBuffer(&colour, nullptr);
  int width = 0, height = 0;
  if (colour) kv_RenderTarget_GetInfo(colour, &width, &height, nullptr);
  lua_pushnumber(static_cast<float>(width));
  lua_pushnumber(static_cast<float>(height));
}

void OverlayScreenBoxingMode() {
  (void)lua_getnumber(lua_lua2C(1));  // read, and without effect
}

void OverlayShowLoadSpinner() {
  drevOverlay_ShowSaveWaitIcon(IntArg(1), IntArg(2), IntArg(3));
}

void WidescreenCorrectionFactor() {
  float factor = 1.0f;
  if (kv_RenderHooks_IsWidescreen()) {
    float sx = 1.0f, sy = 1.0f;
    kv_Platform_AspectFitToBackBuffer(1, 1440, 1080, &sx, &sy, nullptr, nullptr);
    if (sx != 0.0f) factor = std::min(sx, sy) / sx;
  }
  lua_pushnumber(factor);
}

const lua_Reg kOverlayFunctions[] = {
    {"OverlayCreate", OverlayCreate},
    {"OverlayMove", OverlayMove},
    {"OverlaySetLayer", OverlaySetLayer},
    {"OverlayDestroy", OverlayDestroy},
    {"OverlayDimensions", OverlayDimensions},
    {"OverlayClearCache", OverlayClearCache},
    {"OverlayFade", OverlayFade},
    {"OverlayGetScreenSize", OverlayGetScreenSize},
    {"OverlayScreenBoxingMode", OverlayScreenBoxingMode},
    {"OverlayShowLoadSpinner", OverlayShowLoadSpinner},
    {"WidescreenCorrectionFactor", WidescreenCorrectionFactor},
};

}  // namespace

const lua_Reg* drevOverlay_GetScriptTable(int* count) {
  if (count) *count = static_cast<int>(sizeof kOverlayFunctions / sizeof kOverlayFunctions[0]);
  return kOverlayFunctions;
}
