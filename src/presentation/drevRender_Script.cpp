// The render module's script functions: dirty rectangles and cached
// rectangles, the iris, dimming, screenshots and script images.
//
// Cached rectangles (NIOP) and images (VBUF) reach the scripts as serial
// numbers that the module looks up among its live records, so a handle kept
// past the record's end is ignored and never touches freed memory.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "actors/drevActor.h"
#include "engine/ScriptHandles.h"
#include "engine/drevMain.h"
#include "engine/drevMain_Save.h"
#include "platform/kv_RenderHooks.h"
#include "presentation/drevRender_Internal.h"
#include "std/std.h"
#include "std/stdBitmap.h"

namespace {

// An optional argument counts when it is given and not nil.
bool Given(lua_Object o) {
  return o != 0 && !lua_isnil(o);
}

int Int(lua_Object o) {
  return drevLua_ToInt(lua_getnumber(o));
}

uint32_t Serial(lua_Object o, int32_t tag) {
  if (!lua_isuserdata(o) || lua_tag(o) != tag) return 0;
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(lua_getuserdata(o)));
}

void PushHandle(uint32_t serial, int32_t tag) {
  if (serial == 0) {
    lua_pushnil();
    return;
  }
  lua_pushusertag(reinterpret_cast<void*>(static_cast<uintptr_t>(serial)), tag);
}

// The rectangle of the arguments: an actor's screen rectangle (when it was
// drawn and is not empty) or four numbers. False when neither.
bool RectangleArgument(int* rect) {
  const lua_Object first = lua_lua2C(1);
  if (lua_isuserdata(first) && lua_tag(first) == kTagActor) {
    const int index = static_cast<int>(reinterpret_cast<intptr_t>(lua_getuserdata(first)));
    const Actor* actor = drevRender_Calls().actorFromIndex(index);
    if (!actor || !actor->drawn || actor->screenRect[2] <= 0 || actor->screenRect[3] <= 0)
      return false;
    std::copy(actor->screenRect, actor->screenRect + 4, rect);
    return true;
  }
  for (int i = 0; i < 4; ++i) {
    const lua_Object o = lua_lua2C(i + 1);
    if (!lua_isnumber(o)) return false;
    rect[i] = Int(o);
  }
  return true;
}

// Registers a new image for the scripts and pushes its handle (nil for none).
void PushImage(DisplayBuffer* image) {
  PushHandle(drevRender_AddScriptImage(image), kTagImage);
}

void ConvertImage(DisplayBuffer* image) {
  if (!image || image->format.format.bitsPerPixel != 16) return;
  if (!stdDisplay_LockBuffer(image)) return;
  if (image->pixels) {
    for (int y = 0; y < image->format.height; ++y) {
      auto* row = reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(image->pixels) +
                                              static_cast<int64_t>(y) * image->format.bytesPerRow);
      drevRender_ApplyGammaToPixels(row, image->format.width);
    }
    kv_RenderHooks_SurfaceChanged(image->pixels);
  }
  stdDisplay_UnlockBuffer(image);
}

// ---- Dirty rectangles and cached rectangles -------------------------------------------

void CacheRect() {
  int rect[4];
  if (!RectangleArgument(rect)) {
    lua_pushnil();
    return;
  }
  PushHandle(drevRender_CacheRect(rect[0], rect[1], rect[2], rect[3]), kTagCachedRect);
}

void RestoreCacheRect() {
  // Any live handle puts the newest record back.
  if (drevRender_IsCachedRect(Serial(lua_lua2C(1), kTagCachedRect))) drevRender_RestoreCacheRect();
}

void MarkDirtyRect() {
  int rect[4];
  if (!RectangleArgument(rect)) {
    lua_pushnil();
    return;
  }
  drevRender_InvalidateRect(rect, 1);
}

void CleanBuffer() {
  drevRender_CopyCleanToScreen();
}

void ForceRefresh() {
  drevRender_ForceRefresh();
}

// ---- Iris and effects ----------------------------------------------------------------

void SetGamma() {
  const lua_Object o = lua_lua2C(1);
  if (lua_isnumber(o) && GameState != kGameUserPaint) drevRender_SetGamma(lua_getnumber(o));
}

bool ThreeNumbers(int* v) {
  for (int i = 0; i < 3; ++i) {
    const lua_Object o = lua_lua2C(i + 1);
    if (!lua_isnumber(o)) return false;
    v[i] = Int(o);
  }
  return true;
}

void IrisDown() {
  int v[3];
  if (ThreeNumbers(v)) drevRender_IrisDown(v[0], v[1], v[2]);
}

void IrisUp() {
  int v[3];
  if (ThreeNumbers(v)) drevRender_IrisUp(v[0], v[1], v[2]);
}

void IrisComplete() {
  lua_pushnumber(static_cast<float>(drevRender_IsIrisComplete()));
}

void IrisClear() {
  drevRender_IrisClear();
}

void DimScreen() {
  drevRender_DimScreen(0, 2);
}

void DimRegion() {
  int v[4];
  for (int i = 0; i < 4; ++i) {
    const lua_Object o = lua_lua2C(i + 1);
    if (!lua_isnumber(o)) return;
    v[i] = Int(o);
  }
  const lua_Object factor = lua_lua2C(5);
  if (!lua_isnumber(factor)) return;
  drevRender_DimRegion(v[0], v[1], v[2], v[3], lua_getnumber(factor));
}

void Display() {
  drevRender_Present();
}

// ---- Screenshots and images ------------------------------------------------------------

void ScreenShot() {
  const lua_Object w = lua_lua2C(1), h = lua_lua2C(2);
  const int width = lua_isnumber(w) ? Int(w) : 640;
  const int height = lua_isnumber(h) ? Int(h) : 480;
  PushImage(drevRender_ScreenShot(width, height));
}

void SaveScreen() {
  const lua_Object path = lua_lua2C(1);
  if (lua_isstring(path)) drevRender_SaveScreen(lua_getstring(path));
}

void GetSaveGameImage() {
  const lua_Object path = lua_lua2C(1);
  if (!lua_isstring(path)) {
    lua_pushnil();
    return;
  }
  DisplayBuffer* image = drevMain_LoadSaveImage(lua_getstring(path));
  ConvertImage(image);
  PushImage(image);
}

void GetImage() {
  const lua_Object name = lua_lua2C(1);
  if (!lua_isstring(name)) {
    lua_pushnil();
    return;
  }
  char path[512];
  std::snprintf(path, sizeof path, "%s", lua_getstring(name));
  Bitmap* bitmap = std_LoadImageUnpacked(path, sizeof path, 0, 0);
  DisplayBuffer* image = nullptr;
  if (bitmap && bitmap->frames && bitmap->frameCount > 0) {
    image = bitmap->frames[0];
    bitmap->frames[0] = nullptr;  // taken out: freeing the bitmap keeps it
  }
  if (bitmap) stdBitmap_Free(bitmap);
  if (image) {
    image->colorKey = 0xF81F;
    ConvertImage(image);
    if (image->format.format.bitsPerPixel == 16)
      image->colorKey = drevRender_ConvertPixel(static_cast<uint16_t>(image->colorKey));
  }
  PushImage(image);
}

void FreeImage() {
  const uint32_t serial = Serial(lua_lua2C(1), kTagImage);
  if (serial) drevRender_FreeScriptImage(serial);
}

void BlastImage() {
  DisplayBuffer* image = drevRender_FindScriptImage(Serial(lua_lua2C(1), kTagImage));
  const lua_Object x = lua_lua2C(2), y = lua_lua2C(3);
  DisplayBuffer* display = drevRender_pDisplayRaster;
  if (!image || !display || !lua_isnumber(x) || !lua_isnumber(y)) return;
  const int flags = Given(lua_lua2C(4)) ? 1 : 0;
  kv_RenderHooks_Blit(display, display->surface, image, image->surface, Int(x), Int(y), nullptr,
                      flags);
}

void BlastRect() {
  int v[4];
  for (int i = 0; i < 4; ++i) {
    const lua_Object o = lua_lua2C(i + 1);
    if (!lua_isnumber(o)) {
      lua_pushnil();
      return;
    }
    v[i] = Int(o);
  }
  const int x0 = v[0], y0 = v[1], x1 = v[2], y1 = v[3];
  uint16_t colour = 0xffff;
  bool filled = false;
  const lua_Object options = lua_lua2C(5);
  if (lua_istable(options)) {
    lua_pushobject(options);
    lua_pushstring("color");
    const lua_Object c = lua_gettable();
    if (lua_isuserdata(c) && lua_tag(c) == kTagColor) {
      const auto packed = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(lua_getuserdata(c)));
      const uint32_t r = packed & 0xff, g = (packed >> 8) & 0xff, b = (packed >> 16) & 0xff;
      colour =
          drevRender_ConvertPixel(static_cast<uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | b >> 3));
    }
    lua_pushobject(options);
    lua_pushstring("filled");
    filled = !lua_isnil(lua_gettable());
  }
  drevRender_BlastRect(x0, y0, x1, y1, colour, filled ? 1 : 0);
}

const lua_Reg kScriptFunctions[] = {
    {"CacheRect", CacheRect},
    {"RestoreCacheRect", RestoreCacheRect},
    {"MarkDirtyRect", MarkDirtyRect},
    {"CleanBuffer", CleanBuffer},
    {"ForceRefresh", ForceRefresh},
    {"SetGamma", SetGamma},
    {"IrisDown", IrisDown},
    {"IrisUp", IrisUp},
    {"IrisComplete", IrisComplete},
    {"IrisClear", IrisClear},
    {"DimScreen", DimScreen},
    {"DimRegion", DimRegion},
    {"Display", Display},
    {"ScreenShot", ScreenShot},
    {"SaveScreen", SaveScreen},
    {"GetSaveGameImage", GetSaveGameImage},
    {"GetImage", GetImage},
    {"FreeImage", FreeImage},
    {"BlastImage", BlastImage},
    {"BlastRect", BlastRect},
};

}  // namespace

const lua_Reg* drevRender_GetScriptFunctions(int* count) {
  if (count) *count = static_cast<int>(sizeof kScriptFunctions / sizeof kScriptFunctions[0]);
  return kScriptFunctions;
}
