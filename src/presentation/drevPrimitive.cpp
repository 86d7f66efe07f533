// 2D primitives: the queue, its draw pass, its save block and its script
// functions.
#include "presentation/drevPrimitive.h"

#include <algorithm>
#include <cstring>

#include "engine/ScriptHandles.h"
#include "platform/kv_RenderHooks.h"
#include "presentation/GRAPH.h"
#include "presentation/drevRender.h"
#include "quadrix/qxCamera.h"
#include "quadrix/qxCore.h"
#include "std/std.h"
#include "std/stdDisplay.h"

namespace {

struct PrimitiveState {
  HostServices* services = nullptr;
  Primitive* first = nullptr;
  Primitive* last = nullptr;
  int nextId = 1;
  int initialized = 0;
  int started = 0;
  int suspended = 0;
};
PrimitiveState g_prim;

constexpr uint32_t kSolid = 0xffffffffu;

HostServices* Services() {
  return g_prim.services ? g_prim.services : std_pHS;
}

int CreationLayer(int layer) {
  return layer == 1 || layer == 2 || layer == 4 || layer == 8 ? layer : 2;
}

// The COLR value in the display's 16-bit format.
int DisplayColour(uint32_t packed) {
  static const ColorFormat k565 = {1, 16, 5, 6, 5, 11, 5, 0, 3, 2, 3, 0, 0, 0};
  const ColorFormat& f =
      drevRender_pDisplayRaster ? drevRender_pDisplayRaster->format.format : k565;
  const int r = packed & 0xff, g = (packed >> 8) & 0xff, b = (packed >> 16) & 0xff;
  return ((r >> f.redLoss) << f.redShift | (g >> f.greenLoss) << f.greenShift |
          (b >> f.blueLoss) << f.blueShift) &
         0xffff;
}

// Marks the screen rectangle a primitive covers dirty, without the z-restore
// flag. Worked out in 64 bits and cut to the screen.
void MarkDirty(const Primitive* p) {
  const int64_t left = std::max<int64_t>(std::min(p->x0, p->x1), 0);
  const int64_t top = std::max<int64_t>(std::min(p->y0, p->y1), 0);
  const int64_t right = std::min<int64_t>(int64_t{std::max(p->x0, p->x1)} + 1, 640);
  const int64_t bottom = std::min<int64_t>(int64_t{std::max(p->y0, p->y1)} + 1, 480);
  if (right <= left || bottom <= top) return;
  const int rect[4] = {static_cast<int>(left), static_cast<int>(top),
                       static_cast<int>(right - left), static_cast<int>(bottom - top)};
  drevRender_InvalidateRect(rect, 0);
}

Primitive* Append(int kind, int id, int layer) {
  auto* p = static_cast<Primitive*>(Services()->memAlloc(sizeof(Primitive), __FILE__, __LINE__));
  if (!p) return nullptr;
  *p = Primitive{};
  p->kind = kind;
  p->id = id;
  p->layer = layer;
  p->pattern = kSolid;
  p->prev = g_prim.last;
  if (g_prim.last)
    g_prim.last->next = p;
  else
    g_prim.first = p;
  g_prim.last = p;
  return p;
}

void Remove(Primitive* p) {
  MarkDirty(p);
  if (p->prev)
    p->prev->next = p->next;
  else
    g_prim.first = p->next;
  if (p->next)
    p->next->prev = p->prev;
  else
    g_prim.last = p->prev;
  Services()->memFree(p);
}

void RemoveAll() {
  while (g_prim.first) Remove(g_prim.first);
}

int TakeId() {
  const int id = g_prim.nextId;
  g_prim.nextId = static_cast<int>(static_cast<uint32_t>(id) + 1u);
  return id;
}

void SetColour(Primitive* p, uint32_t packed, int hasColour) {
  p->packedColour = hasColour ? packed : 0;
  p->colour = hasColour ? DisplayColour(packed) : 0;
}

// A line clipped to the screen, then through the clipping line hook.
void DrawClippedLine(qxCanvas* canvas, int x0, int y0, int x1, int y1, const Primitive* p) {
  const GraphRect screen{0, 0, 640, 480};
  if (!Graph_ClipLine(&screen, &x0, &y0, &x1, &y1)) return;
  kv_RenderHooks_DrawLine(0, canvas, x0, y0, x1, y1, p->colour, static_cast<int>(p->pattern));
}

void DrawOne(qxCanvas* canvas, const Primitive* p) {
  if (p->kind != kPrimitiveRect) {
    DrawClippedLine(canvas, p->x0, p->y0, p->x1, p->y1, p);
    return;
  }
  if (!p->filled) {
    // The outline's four sides in the order of the 3D library's rectangle.
    DrawClippedLine(canvas, p->x0, p->y0, p->x1, p->y0, p);
    DrawClippedLine(canvas, p->x1, p->y0, p->x1, p->y1, p);
    DrawClippedLine(canvas, p->x0, p->y0, p->x0, p->y1, p);
    DrawClippedLine(canvas, p->x0, p->y1, p->x1, p->y1, p);
    return;
  }
  // Axis-aligned: cutting the corners to the screen is the clip.
  const int left = std::min(p->x0, p->x1), right = std::max(p->x0, p->x1);
  const int top = std::min(p->y0, p->y1), bottom = std::max(p->y0, p->y1);
  if (right < 0 || left > 639 || bottom < 0 || top > 479) return;
  kv_RenderHooks_FillRect(canvas, std::max(left, 0), std::max(top, 0), std::min(right, 639),
                          std::min(bottom, 479), static_cast<int>(p->packedColour),
                          static_cast<int>(p->pattern), p->alpha);
}

}  // namespace

// ---- Module -------------------------------------------------------------------------

int drevPrimitive_Initialize(HostServices* services, ModuleDescriptor* descriptor) {
  g_prim.services = services;
  if (descriptor) {
    std::memset(descriptor, 0, sizeof *descriptor);
    descriptor->initialize = drevPrimitive_Initialize;
    descriptor->uninitialize = drevPrimitive_Uninitialize;
    descriptor->startup = drevPrimitive_Startup;
    descriptor->shutdown = drevPrimitive_Shutdown;
    descriptor->save = drevPrimitive_Save;
    descriptor->restore = drevPrimitive_Restore;
  }
  g_prim.initialized = 1;
  return 0;
}

void drevPrimitive_Uninitialize(void) {
  g_prim.services = nullptr;
  g_prim.initialized = 0;
}

int drevPrimitive_Startup(void) {
  if (g_prim.started) return 1;
  int count = 0;
  const lua_Reg* table = drevPrimitive_GetScriptFunctions(&count);
  lua_openlib(table, count);
  g_prim.started = 1;
  return 0;
}

void drevPrimitive_Shutdown(void) {
  RemoveAll();
  g_prim.started = 0;
}

// ---- Queue ----------------------------------------------------------------------------

Primitive* drevPrimitive_GetFirst(void) {
  return g_prim.first;
}

int drevPrimitive_GetNextId(void) {
  return g_prim.nextId;
}

int drevPrimitive_AddLine(int x0, int y0, int x1, int y1, uint32_t packedColour, int hasColour,
                          int layer) {
  const int id = TakeId();
  Primitive* p = Append(kPrimitiveLine, id, CreationLayer(layer));
  if (!p) return id;
  p->x0 = x0, p->y0 = y0, p->x1 = x1, p->y1 = y1;
  SetColour(p, packedColour, hasColour);
  return id;
}

int drevPrimitive_AddRect(int x0, int y0, int x1, int y1, uint32_t packedColour, int hasColour,
                          int filled, float alpha, int layer) {
  const int id = TakeId();
  Primitive* p = Append(kPrimitiveRect, id, CreationLayer(layer));
  if (!p) return id;
  p->x0 = x0, p->y0 = y0, p->x1 = x1, p->y1 = y1;
  SetColour(p, packedColour, hasColour);
  p->filled = filled ? 1 : 0;
  p->alpha = alpha;
  return id;
}

int drevPrimitive_AddPolygon(const int* points, int count, uint32_t packedColour, int hasColour,
                             int layer) {
  const int id = TakeId();
  for (int j = 0; j + 1 < count; ++j) {
    Primitive* p = Append(kPrimitiveEdge, id, CreationLayer(layer));
    if (!p) break;
    p->x0 = points[2 * j], p->y0 = points[2 * j + 1];
    p->x1 = points[2 * j + 2], p->y1 = points[2 * j + 3];
    SetColour(p, packedColour, hasColour);
  }
  return id;
}

void drevPrimitive_Kill(int id) {
  for (Primitive* p = g_prim.first; p;) {
    Primitive* next = p->next;
    if (p->id == id) Remove(p);
    p = next;
  }
}

void drevPrimitive_Purge(void) {
  RemoveAll();
  g_prim.nextId = 1;
}

int drevPrimitive_DrawPass(int mask) {
  if (g_prim.suspended) return 0;
  qxCanvas* canvas = qxCore_pCurrentCamera ? qxCore_pCurrentCamera->canvas : nullptr;
  if (!canvas) return 0;
  for (const Primitive* p = g_prim.first; p; p = p->next)
    if (p->layer & mask) DrawOne(canvas, p);
  return 0;
}

void drevPrimitive_Suspend(void) {
  for (const Primitive* p = g_prim.first; p; p = p->next)
    if (p->layer & 3) MarkDirty(p);
  g_prim.suspended = 1;
}

void drevPrimitive_Resume(void) {
  g_prim.suspended = 0;
}

// ---- Save block -------------------------------------------------------------------

namespace {

// The twelve words of one record, in file order.
struct PrimitiveRecord {
  int32_t kind, id, layer, x0, y0, x1, y1;
  uint32_t colour, packedColour;
  float alpha;
  uint32_t pattern;
  int32_t filled;
};
static_assert(sizeof(PrimitiveRecord) == 48);

}  // namespace

int drevPrimitive_Save(SaveTransferFn write) {
  uint32_t count = 0;
  for (const Primitive* p = g_prim.first; p; p = p->next) ++count;
  if (write(&count, 4) != 0) return 1;
  for (const Primitive* p = g_prim.first; p; p = p->next) {
    PrimitiveRecord r{
        p->kind,         p->id,    p->layer,   p->x0,
        p->y0,           p->x1,    p->y1,      static_cast<uint32_t>(p->colour) & 0xffff,
        p->packedColour, p->alpha, p->pattern, p->filled};
    // Word by word through copies: the float is not read as an integer.
    int32_t words[12];
    std::memcpy(words, &r, sizeof words);
    for (int32_t& w : words) {
      if (write(&w, 4) != 0) return 1;
    }
  }
  return 0;
}

int drevPrimitive_Restore(SaveTransferFn read) {
  RemoveAll();
  uint32_t count = 0;
  if (read(&count, 4) != 0) return 1;
  for (uint32_t n = 0; n < count; ++n) {
    int32_t words[12];
    for (int32_t& w : words) {
      if (read(&w, 4) != 0) {
        RemoveAll();
        return 1;
      }
    }
    // Copied, not aliased: an optimised build lost the alpha read through
    // integer words.
    PrimitiveRecord r;
    std::memcpy(&r, words, sizeof r);
    // Records of a kind this engine does not draw are dropped.
    if (r.kind != kPrimitiveLine && r.kind != kPrimitiveRect && r.kind != kPrimitiveEdge) continue;
    Primitive* p = Append(r.kind, r.id, CreationLayer(r.layer));
    if (!p) {
      RemoveAll();
      return 1;
    }
    p->x0 = r.x0, p->y0 = r.y0, p->x1 = r.x1, p->y1 = r.y1;
    p->colour = static_cast<int>(r.colour & 0xffff);
    p->packedColour = r.packedColour;
    p->alpha = r.alpha;
    p->pattern = r.pattern;
    p->filled = r.filled ? 1 : 0;
    g_prim.nextId = static_cast<int>(static_cast<uint32_t>(r.id) + 1u);
  }
  return 0;
}

// ---- Script functions ---------------------------------------------------------------

namespace {

lua_Object Field(lua_Object table, const char* name) {
  lua_pushobject(table);
  lua_pushstring(name);
  return lua_gettable();
}

lua_Object Index(lua_Object table, int index) {
  lua_pushobject(table);
  lua_pushnumber(static_cast<float>(index));
  return lua_gettable();
}

int Int(lua_Object o) {
  return drevLua_ToInt(lua_getnumber(o));
}

// Coordinate arithmetic saturates at the int range.
int Add(int64_t a, int64_t b) {
  return static_cast<int>(std::clamp<int64_t>(a + b, INT32_MIN, INT32_MAX));
}

void Move(Primitive* p, int64_t dx, int64_t dy) {
  MarkDirty(p);
  p->x0 = Add(p->x0, dx), p->x1 = Add(p->x1, dx);
  p->y0 = Add(p->y0, dy), p->y1 = Add(p->y1, dy);
}

// The option table's colour, layer, filled flag and alpha.
struct Options {
  uint32_t colour = 0;
  int hasColour = 0;
  int layer = 2;
  int filled = 0;
  float alpha = 1.0f;
};

Options ReadOptions(lua_Object table) {
  Options o;
  if (!lua_istable(table)) return o;
  const lua_Object colour = Field(table, "color");
  if (lua_isuserdata(colour) && lua_tag(colour) == kTagColor) {
    o.colour = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(lua_getuserdata(colour)));
    o.hasColour = 1;
  }
  const lua_Object layer = Field(table, "layer");
  if (lua_isnumber(layer)) o.layer = CreationLayer(Int(layer));
  o.filled = lua_isnil(Field(table, "filled")) ? 0 : 1;
  const lua_Object alpha = Field(table, "alpha");
  if (lua_isnumber(alpha)) o.alpha = lua_getnumber(alpha);
  return o;
}

bool FourNumbers(int* v) {
  for (int i = 0; i < 4; ++i) {
    const lua_Object o = lua_lua2C(i + 1);
    if (!lua_isnumber(o)) return false;
    v[i] = Int(o);
  }
  return true;
}

void DrawLine() {
  int v[4];
  if (!FourNumbers(v)) {
    lua_pushnil();
    return;
  }
  const Options o = ReadOptions(lua_lua2C(5));
  lua_pushnumber(static_cast<float>(
      drevPrimitive_AddLine(v[0], v[1], v[2], v[3], o.colour, o.hasColour, o.layer)));
}

void DrawRectangle() {
  int v[4];
  if (!FourNumbers(v)) {
    lua_pushnil();
    return;
  }
  const Options o = ReadOptions(lua_lua2C(5));
  lua_pushnumber(static_cast<float>(drevPrimitive_AddRect(
      v[0], v[1], v[2], v[3], o.colour, o.hasColour, o.filled, o.alpha, o.layer)));
}

void DrawPolygon() {
  const lua_Object table = lua_lua2C(1);
  if (!lua_istable(table)) {
    lua_pushnil();
    return;
  }
  constexpr int kMaxPoints = 250;
  int points[2 * kMaxPoints];
  int count = 0;
  while (count < kMaxPoints) {
    const lua_Object x = Index(table, 2 * count + 1);
    if (lua_isnil(x)) break;
    const lua_Object y = Index(table, 2 * count + 2);
    points[2 * count] = Int(x);
    points[2 * count + 1] = lua_isnil(y) ? 0 : Int(y);
    ++count;
  }
  if (count == 0) {
    lua_pushnil();
    return;
  }
  const Options o = ReadOptions(lua_lua2C(2));
  lua_pushnumber(
      static_cast<float>(drevPrimitive_AddPolygon(points, count, o.colour, o.hasColour, o.layer)));
}

void ChangePrimitive() {
  const lua_Object idObject = lua_lua2C(1), table = lua_lua2C(2);
  if (!lua_isnumber(idObject) || !lua_istable(table)) return;
  const int id = Int(idObject);
  Primitive* first = nullptr;
  for (Primitive* p = g_prim.first; p && !first; p = p->next)
    if (p->id == id) first = p;
  if (!first) return;
  const auto each = [id](auto&& action) {
    for (Primitive* p = g_prim.first; p; p = p->next)
      if (p->id == id) action(p);
  };

  const lua_Object colour = Field(table, "color");
  if (lua_isuserdata(colour) && lua_tag(colour) == kTagColor) {
    const auto packed = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(lua_getuserdata(colour)));
    each([packed](Primitive* p) { SetColour(p, packed, 1); });
  }
  const lua_Object layer = Field(table, "layer");
  if (lua_isnumber(layer)) {
    const int value = Int(layer);
    each([value](Primitive* p) {
      MarkDirty(p);
      p->layer = value == 1 || value == 2 ? value : 2;
    });
  }
  const lua_Object xo = Field(table, "xoffset"), yo = Field(table, "yoffset");
  if (lua_isnumber(xo) || lua_isnumber(yo)) {
    const int64_t dx = lua_isnumber(xo) ? Int(xo) : 0, dy = lua_isnumber(yo) ? Int(yo) : 0;
    each([dx, dy](Primitive* p) { Move(p, dx, dy); });
  }
  const lua_Object x = Field(table, "x"), y = Field(table, "y");
  if (lua_isnumber(x) || lua_isnumber(y)) {
    // The whole shape moves with its first point.
    MarkDirty(first);
    int64_t dx = 0, dy = 0;
    if (lua_isnumber(x)) {
      dx = int64_t{Int(x)} - first->x0;
      first->x0 = Int(x);
    }
    if (lua_isnumber(y)) {
      dy = int64_t{Int(y)} - first->y0;
      first->y0 = Int(y);
    }
    first->x1 = Add(first->x1, dx), first->y1 = Add(first->y1, dy);
    for (Primitive* p = first->next; p; p = p->next)
      if (p->id == id) Move(p, dx, dy);
  }
  const lua_Object x2 = Field(table, "x2"), y2 = Field(table, "y2");
  if (lua_isnumber(x2) || lua_isnumber(y2)) {
    MarkDirty(first);
    if (lua_isnumber(x2)) first->x1 = Int(x2);
    if (lua_isnumber(y2)) first->y1 = Int(y2);
  }
  const lua_Object w = Field(table, "width"), h = Field(table, "height");
  if (lua_isnumber(w) || lua_isnumber(h)) {
    MarkDirty(first);
    if (lua_isnumber(w)) first->x1 = Add(first->x0, Int(w));
    if (lua_isnumber(h)) first->y1 = Add(first->y0, Int(h));
  }
}

void KillPrimitive() {
  const lua_Object id = lua_lua2C(1);
  if (lua_isnumber(id)) drevPrimitive_Kill(Int(id));
}

void PurgePrimitiveQueue() {
  drevPrimitive_Purge();
}

const lua_Reg kScriptFunctions[] = {
    {"DrawLine", DrawLine},           {"DrawPolygon", DrawPolygon},
    {"DrawRectangle", DrawRectangle}, {"ChangePrimitive", ChangePrimitive},
    {"KillPrimitive", KillPrimitive}, {"PurgePrimitiveQueue", PurgePrimitiveQueue},
};

}  // namespace

const lua_Reg* drevPrimitive_GetScriptFunctions(int* count) {
  if (count) *count = static_cast<int>(sizeof kScriptFunctions / sizeof kScriptFunctions[0]);
  return kScriptFunctions;
}
