// Text objects and say-lines: the module, the object list, draw passes,
// software drawing, draw information for the hardware renderer, say-line
// objects, option tables, translation, and the "TEXS" save block.
#include "presentation/drevText.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>

#include "actors/drevActor.h"
#include "engine/Polyglot.h"
#include "engine/Res.h"
#include "engine/ScriptHandles.h"
#include "engine/drevTime.h"
#include "platform/kv_Log.h"
#include "platform/kv_RenderHooks.h"
#include "presentation/GRAPH.h"
#include "presentation/drevOverlay.h"
#include "presentation/drevRender.h"
#include "std/stdDisplay.h"
#include "std/stdMemory.h"

namespace {

constexpr float kFadeStep = 1.0f / 18.0f;
constexpr int kPoolFirst = 16;
constexpr int kPoolGrowth = 8;
constexpr int kIdSize = 32;

constexpr const char* kKeyNames[static_cast<int>(TextKey::Count)] = {
    "x",        "y",          "cache",   "font",      "width",     "leftclip",
    "height",   "fgcolor",    "bgcolor", "fxcolor",   "duration",  "center",
    "ljustify", "rjustify",   "layer",   "highlight", "coords",    "volume",
    "pan",      "background", "alpha",   "fade",      "mirrormode"};

struct TextModule {
  HostServices* services = nullptr;
  bool initialized = false;
  bool started = false;
  bool suspended = false;
  TextObject* head = nullptr;
  MemoryPool* pool = nullptr;
  TextCanvas canvas{};
  DisplayBuffer* overlay = nullptr;
  uint16_t palette[4] = {};
  int translationMode = 0;
  TextFont* emergencyFont = nullptr;
  TextFont* builtIn = nullptr;
  TextLayout templates[3] = {};
  TextClip printLineClip{0, 0, 1920, 1080};
  int keyRefs[static_cast<int>(TextKey::Count)] = {};
  int64_t nextSerial = 1;
  ModuleDescriptor graphDescriptor{};
  ModuleDescriptor fontDescriptor{};
};

TextModule g_text;

void ResetCanvas(void) {
  drevText_ResetCanvas();
}

bool PointCanvasAt(DisplayBuffer* buffer) {
  return drevText_PointCanvasAt(buffer) != 0;
}

int TruncateNumber(float value) {
  return drevLua_ToInt(value);
}

bool IsNumber(lua_Object o) {
  return lua_tag(o) == LUA_T_NUMBER;
}

void CopyText(char* out, const char* text) {
  const char* source = text ? text : "";
  const size_t n = strnlen(source, TEXT_MAX - 1);
  std::memcpy(out, source, n);
  out[n] = 0;
}

uint16_t ToRgb565(uint32_t packed) {
  const uint32_t r = packed & 0xFF, g = (packed >> 8) & 0xFF, b = (packed >> 16) & 0xFF;
  return static_cast<uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
}

void SendInvalidation(TextObject* object) {
  kv_RenderHooks_SurfaceFreed(object);
}

bool IsListed(const TextObject* object) {
  return object && (object == g_text.head || object->prev != nullptr);
}

void Unlink(TextObject* object) {
  if (!IsListed(object)) return;
  if (object->prev) object->prev->next = object->next;
  if (object->next) object->next->prev = object->prev;
  if (g_text.head == object) g_text.head = object->next;
  object->next = object->prev = nullptr;
}

void LinkAtHead(TextObject* object) {
  object->prev = nullptr;
  object->next = g_text.head;
  if (g_text.head) g_text.head->prev = object;
  g_text.head = object;
}

// The owner's say-line reference, cleared whichever path destroys the object.
void ForgetOwner(TextObject* object) {
  Actor* owner = object->owner;
  object->owner = nullptr;
  if (owner && owner->pExtra && owner->pExtra->sayLineText == object) {
    owner->pExtra->sayLineText = nullptr;
  }
}

int Baseline(TextFont* font) {
  return font ? TextFont_GetBaseline(font) : 0;
}

void DestroyAll(void) {
  while (g_text.head) drevText_Destroy(g_text.head);
}

// Time left after a step, held in range.
int32_t Age(int32_t timeLeft, uint32_t step) {
  return static_cast<int32_t>(std::max<int64_t>(INT32_MIN, int64_t{timeLeft} - step));
}

}  // namespace

// ---- Module ----------------------------------------------------------------------

int drevText_Initialize(HostServices* services, ModuleDescriptor* descriptor) {
  g_text.services = services;
  if (descriptor) {
    *descriptor = ModuleDescriptor{};
    descriptor->initialize = drevText_Initialize;
    descriptor->uninitialize = drevText_Uninitialize;
    descriptor->startup = drevText_Startup;
    descriptor->shutdown = drevText_Shutdown;
    descriptor->save = drevText_Save;
    descriptor->restore = drevText_Restore;
  }
  // The two nested modules: the 8-bit raster canvas, then the bitmap font.
  if (Graph_Initialize(services, &g_text.graphDescriptor) != 0) return 1;
  if (TextFont_Initialize(services, &g_text.fontDescriptor) != 0) {
    Graph_Uninitialize();
    g_text.graphDescriptor = ModuleDescriptor{};
    return 1;
  }
  g_text.initialized = true;
  ResetCanvas();
  return 0;
}

void drevText_Uninitialize(void) {
  g_text.services = nullptr;
  if (g_text.graphDescriptor.uninitialize) g_text.graphDescriptor.uninitialize();
  if (g_text.fontDescriptor.uninitialize) g_text.fontDescriptor.uninitialize();
  g_text.initialized = false;
}

int drevText_Startup(void) {
  if (g_text.started) return 1;
  if (!g_text.graphDescriptor.startup || g_text.graphDescriptor.startup() != 0) return 1;
  if (!g_text.fontDescriptor.startup || g_text.fontDescriptor.startup() != 0) {
    g_text.graphDescriptor.shutdown();
    return 1;
  }
  g_text.builtIn = TextFont_GetDefault();

  // print-line: pen y 100, foreground 0, wrap, its own clip record;
  // say-line: pen y 100, foreground 0, centred and wrapped, anchor 0.5;
  // text-object: pen y 200, foreground 10, wrap.
  struct {
    int y;
    uint32_t fg, flags;
    TextClip* clip;
  } const kinds[3] = {
      {100, 0, 0x4, &g_text.printLineClip}, {100, 0, 0x45, nullptr}, {200, 10, 0x4, nullptr}};
  for (int i = 0; i < 3; ++i) {
    TextLayout& t = g_text.templates[i];
    t = TextLayout{};
    t.canvas = &g_text.canvas;
    t.clip = kinds[i].clip;
    t.font = g_text.builtIn;
    t.y = kinds[i].y;
    t.fgColor = kinds[i].fg;
    t.xScale = t.yScale = TEXTFONT_SCALE_ONE;
    t.flags = kinds[i].flags;
    t.hiIndex = -1;
    t.alpha = 1.0f;
  }
  g_text.printLineClip = TextClip{0, 0, 1920, 1080};

  int count = 0;
  const lua_Reg* table = drevText_GetScriptTable(&count);
  lua_openlib(table, count);
  for (int i = 0; i < static_cast<int>(TextKey::Count); ++i) {
    lua_pushstring(kKeyNames[i]);
    g_text.keyRefs[i] = lua_ref(1);
  }
  g_text.pool = Memory_PoolCreate(sizeof(TextObject), kPoolFirst, kPoolGrowth);
  if (!g_text.overlay) {
    BufferFormat format{};
    format.width = 640;
    format.height = 480;
    format.format = ColorFormat{1, 16, 5, 6, 5, 11, 5, 0, 3, 2, 3, 0, 0, 0};
    g_text.overlay = stdDisplay_NewBuffer(&format, 0, 0, nullptr);
    if (g_text.overlay) {
      g_text.overlay->name = "drevText_OverlayBuffer";
      stdDisplay_SetBufferColorKey(g_text.overlay, 0xF0F0);
    }
  }
  g_text.started = true;
  return 0;
}

void drevText_Shutdown(void) {
  stdDisplay_FreeBuffer(g_text.overlay);
  g_text.overlay = nullptr;
  if (g_text.graphDescriptor.shutdown) g_text.graphDescriptor.shutdown();
  if (g_text.fontDescriptor.shutdown) g_text.fontDescriptor.shutdown();
  for (int& ref : g_text.keyRefs) {
    if (ref > 0) lua_unref(ref);
    ref = 0;
  }
  DestroyAll();
  Memory_PoolDestroy(g_text.pool);
  g_text.pool = nullptr;
  TextFont_Free(g_text.emergencyFont);
  g_text.emergencyFont = nullptr;
  g_text.builtIn = nullptr;
  for (TextLayout& t : g_text.templates) t.font = nullptr;
  g_text.started = false;
}

// ---- Objects -----------------------------------------------------------------------

TextObject* drevText_Create(const TextLayout* layoutTemplate, const char* text) {
  if (!layoutTemplate || !g_text.pool) return nullptr;
  auto* object = static_cast<TextObject*>(Memory_PoolAlloc(g_text.pool));
  if (!object) return nullptr;
  object->next = object->prev = nullptr;
  CopyText(object->text, text);
  object->homeX = layoutTemplate->x;
  object->homeY = layoutTemplate->y;
  object->layout = *layoutTemplate;
  if (g_text.emergencyFont) object->layout.font = g_text.emergencyFont;
  object->layout.clip = &object->clip;
  if (layoutTemplate->clip) {
    object->clip = *layoutTemplate->clip;
  } else {
    object->clip = TextClip{240, 0, 1440, 1080};
    drevOverlay_ScreenToGameRect(&object->clip, layoutTemplate->coords);
  }
  object->layout.palette = g_text.palette;
  object->owner = nullptr;
  object->timeLeft = 0;
  object->state = 0;
  object->savedId = g_text.nextSerial++;
  object->firstLine = 0;
  object->lineCount = 999999;
  return object;
}

TextObject* drevText_Register(TextObject* object, int timeLeft, uint32_t state) {
  if (!object) return nullptr;
  object->timeLeft = timeLeft;
  object->state = state;
  object->homeX = object->layout.x;
  object->homeY = object->layout.y - Baseline(object->layout.font);
  object->layout.y = object->homeY;
  if (!IsListed(object)) LinkAtHead(object);
  return object;
}

void drevText_Destroy(TextObject* object) {
  if (!object) return;
  Unlink(object);
  ForgetOwner(object);
  SendInvalidation(object);
  Memory_PoolFree(object);
}

TextObject* drevText_FindBySavedId(uint32_t low, uint32_t high) {
  const int64_t id = static_cast<int64_t>(uint64_t{high} << 32 | low);
  for (TextObject* o = g_text.head; o; o = o->next) {
    if (o->savedId == id) return o;
  }
  return nullptr;
}

TextObject* drevText_First(void) {
  return g_text.head;
}

int drevText_HasObjects(void) {
  return g_text.head != nullptr;
}

int drevText_LayerOf(const TextObject* object) {
  const uint32_t flags = object->layout.flags;
  if (flags & TEXT_LAYER_4) return 4;
  if (flags & TEXT_LAYER_1) return 1;
  if (flags & TEXT_LAYER_2) return 2;
  if (flags & TEXT_LAYER_3) return 3;
  return 0;
}

void drevText_DrawPass(int all, int layer) {
  if (g_text.suspended) return;
  const bool locked = stdDisplay_LockBuffer(g_text.overlay) != 0;
  PointCanvasAt(g_text.overlay);
  const uint32_t step = drevTime_GetFrameMs();
  for (TextObject* object = g_text.head; object;) {
    TextObject* next = object->next;
    uint32_t& flags = object->layout.flags;
    bool fadeDone = false;
    if (flags & TEXT_FADE_IN) {
      object->layout.alpha += kFadeStep;
      if (object->layout.alpha >= 1.0f) {
        object->layout.alpha = 1.0f;
        flags &= ~TEXT_FADE_IN;
      }
      SendInvalidation(object);
    } else if (flags & (TEXT_FADE_OUT | TEXT_FADE_OUT_DESTROY)) {
      object->layout.alpha -= kFadeStep;
      if (object->layout.alpha <= 0.0f) {
        object->layout.alpha = 0.0f;
        fadeDone = (flags & TEXT_FADE_OUT_DESTROY) != 0;
        flags &= ~(TEXT_FADE_OUT | TEXT_FADE_OUT_DESTROY);
      }
      SendInvalidation(object);
    }
    if ((object->timeLeft <= 0 && !(object->state & TEXT_PERSISTENT)) || fadeDone) {
      drevText_Destroy(object);
      object = next;
      continue;
    }
    if (((object->state & TEXT_EVERY_PASS) || all) && !(object->state & TEXT_HIDDEN) &&
        drevText_LayerOf(object) == layer) {
      kv_RenderHooks_DrawTextObject(object, 1);
    }
    object->timeLeft = Age(object->timeLeft, step);
    object = next;
  }
  if (g_text.overlay && g_text.overlay->pixels)
    kv_RenderHooks_SurfaceChanged(g_text.overlay->pixels);
  ResetCanvas();
  if (locked) stdDisplay_UnlockBuffer(g_text.overlay);
}

void drevText_SuspendDrawing(void) {
  g_text.suspended = true;
}

void drevText_ResumeDrawing(void) {
  g_text.suspended = false;
}

int drevText_DrawTextObject(TextObject* object, int invalidate) {
  if (!object) return 0;
  TextLayout& layout = object->layout;
  const int baseline = Baseline(layout.font);
  const int width = TextFont_MeasureWidth(&layout, object->text);
  const int height = TextFont_MeasureHeight(&layout, object->text);
  int rect[4] = {object->homeX, object->homeY, width, height};
  if (layout.flags & TEXTFONT_CENTRE) rect[0] -= width / 2;

  // The shared palette: foreground, background, effect and a highlight 75
  // brighter in each channel, through the display gamma.
  const uint32_t fg = layout.fgColor;
  const uint32_t bright = std::min<uint32_t>((fg & 0xFF) + 75, 255) |
                          std::min<uint32_t>(((fg >> 8) & 0xFF) + 75, 255) << 8 |
                          std::min<uint32_t>(((fg >> 16) & 0xFF) + 75, 255) << 16;
  g_text.palette[0] = ToRgb565(fg);
  g_text.palette[1] = ToRgb565(layout.bgColor);
  g_text.palette[2] = ToRgb565(layout.fxColor);
  g_text.palette[3] = ToRgb565(bright);
  drevRender_ApplyGammaToPixels(g_text.palette, 4);

  const uint32_t bg = layout.bgColor, fx = layout.fxColor;
  layout.canvas = &g_text.canvas;
  layout.palette = g_text.palette;
  layout.fgColor = 0;
  layout.bgColor = 1;
  layout.fxColor = 2;
  layout.hiColor = 3;
  layout.x = object->homeX;
  layout.y = object->homeY + baseline;
  TextFont_DrawText(&layout, object->text);
  layout.x = object->homeX;
  layout.y = object->homeY + baseline;
  layout.fgColor = fg;
  layout.bgColor = bg;
  layout.fxColor = fx;
  if (invalidate) drevRender_InvalidateRect(rect, 0);
  return 1;
}

int drevText_GetTextObjectDrawInfo(TextObject* object, const char** text, float* x, float* y,
                                   int* clip, void** owner, uint32_t* foreground,
                                   uint32_t* background, uint32_t* effect, void** fontData,
                                   float* justification, int* firstLine, int* lineCount,
                                   int* wrapWidth, float* verticalAnchor, float* alpha) {
  if (!object) return 0;
  TextLayout& layout = object->layout;
  if (!layout.font) {
    layout.font = g_text.builtIn;
    object->state &= ~TEXT_PERSISTENT;
  }
  int32_t px = layout.x, py = layout.y - Baseline(layout.font);
  drevOverlay_GameToScreen(&px, &py, layout.coords, 0);
  TextClip c = object->clip;
  drevOverlay_GameToScreen(&c.x, &c.y, layout.coords, 0);
  drevOverlay_GameToScreen(&c.width, &c.height, layout.coords, 1);
  float justify = 0.0f;
  int64_t wrap = int64_t{c.x} + c.width - px;
  if (layout.flags & TEXTFONT_CENTRE) {
    justify = 0.5f;
    wrap = 2 * std::min(int64_t{px} - c.x, int64_t{c.x} + c.width - px);
  } else if (layout.flags & TEXTFONT_RIGHT) {
    justify = 1.0f;
    wrap = int64_t{px} - c.x;
  }
  float anchor = 0.0f;
  if (layout.flags & TEXT_ANCHOR_BOTTOM) {
    anchor = 1.0f;
  } else if (layout.flags & TEXT_ANCHOR_MIDDLE) {
    anchor = 0.5f;
  }
  if (text) *text = object->text;
  if (x) *x = static_cast<float>(px);
  if (y) *y = static_cast<float>(py);
  if (clip) {
    clip[0] = c.x;
    clip[1] = c.y;
    clip[2] = c.width;
    clip[3] = c.height;
  }
  if (owner) *owner = object->owner;
  if (foreground) *foreground = layout.fgColor;
  if (background) *background = layout.bgColor;
  if (effect) *effect = layout.fxColor;
  if (fontData) {
    *fontData = nullptr;
    HostServices* hs = g_text.services ? g_text.services : std_pHS;
    if (layout.font && hs && hs->handleLock) {
      *fontData = hs->handleLock(layout.font);
      if (hs->handleUnlock) hs->handleUnlock(layout.font);
    }
  }
  if (justification) *justification = justify;
  if (firstLine) *firstLine = object->firstLine;
  if (lineCount) *lineCount = object->lineCount;
  if (wrapWidth) *wrapWidth = static_cast<int>(std::clamp<int64_t>(wrap, INT_MIN, INT_MAX));
  if (verticalAnchor) *verticalAnchor = anchor;
  if (alpha) *alpha = layout.alpha;
  return 1;
}

void drevText_DrawStringImmediate(const char* text, uint32_t colour, int x, int y, int centred,
                                  TextFont* font) {
  DisplayBuffer* buffer = drevText_GetImmediateBuffer();
  // The display buffer is borrowed: locked here when nobody holds it.
  const bool locked = buffer && !buffer->pixels && stdDisplay_LockBuffer(buffer);
  PointCanvasAt(buffer);
  TextLayout layout = g_text.templates[static_cast<int>(TextTemplate::TextObject)];
  TextClip clip{0, 0, g_text.canvas.width, g_text.canvas.height};
  layout.clip = &clip;
  layout.fgColor = colour;
  if (font) layout.font = font;
  layout.x = x;
  layout.y = y;
  if (centred) layout.flags = TEXTFONT_CENTRE | TEXTFONT_WRAP;
  if (TextObject* object = drevText_Create(&layout, text)) {
    kv_RenderHooks_DrawTextObject(object, 0);
    drevText_Destroy(object);
  }
  ResetCanvas();
  if (locked) stdDisplay_UnlockBuffer(buffer);
}

TextObject* drevText_MakeSayLineObject(Actor* actor, const char* text, int x, int y) {
  TextLayout layout = g_text.templates[static_cast<int>(TextTemplate::SayLine)];
  layout.fgColor = actor && actor->pExtra ? actor->pExtra->talkColor : 0xFFFFFF;
  layout.bgColor = 0;
  layout.fxColor = 0;
  layout.coords = 0;
  if (x == -1 && y == -1) {
    x = g_text.canvas.width / 2;
    y = g_text.canvas.height - 40;
  }
  layout.x = x;
  layout.y = y;
  TextClip clip{320, 0, 1280, 1080};
  drevOverlay_ScreenToGameRect(&clip, 0);
  layout.clip = &clip;
  layout.flags |= 0x25;
  TextObject* object = drevText_Create(&layout, text);
  if (!object) return nullptr;
  object->owner = actor;
  if (actor) actor->flags |= ACTOR_NO_FRUSTUM_CULL;
  return object;
}

void drevText_ReadSayLineOptions(lua_Object table, int* background, int* volume, int* pan, int* x,
                                 int* y) {
  if (!lua_istable(table)) return;
  const struct {
    TextKey key;
    int* value;
  } numbers[] = {{TextKey::X, x}, {TextKey::Y, y}, {TextKey::Volume, volume}, {TextKey::Pan, pan}};
  for (const auto& n : numbers) {
    const lua_Object value = drevText_GetOption(table, n.key);
    if (n.value && *n.value != 0 && IsNumber(value))
      *n.value = TruncateNumber(lua_getnumber(value));
  }
  const lua_Object bg = drevText_GetOption(table, TextKey::Background);
  if (background && bg && !lua_isnil(bg)) *background = 0;
}

int drevText_ParseOptions(TextLayout* t, TextObject* object, lua_Object table) {
  int duration = -1;
  if (!t || !lua_istable(table)) return duration;
  const auto get = [&](TextKey key) { return drevText_GetOption(table, key); };
  const auto number = [&](TextKey key, int* out) {
    const lua_Object v = get(key);
    if (!IsNumber(v)) return false;
    *out = TruncateNumber(lua_getnumber(v));
    return true;
  };
  const auto colour = [&](TextKey key, uint32_t* out) {
    const lua_Object v = get(key);
    if (lua_isuserdata(v) && lua_tag(v) == kTagColor) {
      *out = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(lua_getuserdata(v)));
    }
  };
  const auto present = [&](TextKey key) {
    const lua_Object v = get(key);
    return v != 0 && !lua_isnil(v);
  };
  int value = 0;
  if (number(TextKey::Coords, &value)) t->coords = value;
  if (number(TextKey::X, &value)) {
    t->x = value;
    if (object) object->homeX = value;
  }
  if (number(TextKey::Y, &value)) {
    t->y = value;
    if (object) object->homeY = value;
  }
  const lua_Object font = get(TextKey::Font);
  if (lua_isuserdata(font) && lua_tag(font) == kTagFont && !g_text.emergencyFont) {
    t->font = static_cast<TextFont*>(lua_getuserdata(font));
  }
  if (t->clip) {
    if (number(TextKey::Width, &value)) t->clip->width = value;
    if (number(TextKey::LeftClip, &value)) t->clip->x = value;
    if (number(TextKey::Height, &value)) t->clip->height = value;
  }
  colour(TextKey::FgColor, &t->fgColor);
  colour(TextKey::BgColor, &t->bgColor);
  colour(TextKey::FxColor, &t->fxColor);
  if (present(TextKey::Alpha)) t->alpha = lua_getnumber(get(TextKey::Alpha));
  if (present(TextKey::Center)) t->flags = TEXTFONT_CENTRE | TEXTFONT_WRAP;
  if (present(TextKey::LJustify)) t->flags = TEXTFONT_WRAP;
  if (present(TextKey::RJustify)) t->flags = TEXTFONT_RIGHT | TEXTFONT_WRAP;
  number(TextKey::Duration, &duration);
  if (number(TextKey::Layer, &value)) {
    constexpr uint32_t kLayerBits[5] = {0, TEXT_LAYER_1, TEXT_LAYER_2, TEXT_LAYER_3, TEXT_LAYER_4};
    if (value >= 1 && value <= 4) t->flags |= kLayerBits[value];
  }
  if (number(TextKey::Fade, &value)) {
    t->flags &= ~(TEXT_FADE_IN | TEXT_FADE_OUT | TEXT_FADE_OUT_DESTROY);
    if (value == 1) {
      t->flags |= TEXT_FADE_IN;
      t->alpha = 0.0f;
    } else if (value == 2) {
      t->flags |= TEXT_FADE_OUT;
    } else if (value == 3) {
      t->flags |= TEXT_FADE_OUT_DESTROY;
    }
  }
  if (number(TextKey::Highlight, &value)) t->hiIndex = value;
  return duration;
}

const char* drevText_TranslateText(const char* text, char* idBuffer) {
  if (idBuffer) idBuffer[0] = 0;
  if (!text) text = "";
  const char* translated = Polyglot_Translate(text);
  if (!translated) translated = text;
  const char* second = text[0] == '/' ? std::strchr(text + 1, '/') : nullptr;
  if (idBuffer && second) {
    const size_t n = std::min<size_t>(static_cast<size_t>(second - text - 1), kIdSize - 1);
    std::memcpy(idBuffer, text + 1, n);
    idBuffer[n] = 0;
  }
  switch (g_text.translationMode) {
    case 1:
      return second ? second + 1 : text;
    case 2:
      return text;
    default:
      return translated;
  }
}

// ---- Module state ------------------------------------------------------------------

TextLayout* drevText_GetTemplate(TextTemplate which) {
  return &g_text.templates[static_cast<int>(which)];
}

lua_Object drevText_GetOption(lua_Object table, TextKey key) {
  if (!lua_istable(table)) return 0;
  lua_pushobject(table);
  const int ref = g_text.keyRefs[static_cast<int>(key)];
  if (ref > 0) {
    lua_pushobject(lua_getref(ref));
  } else {
    lua_pushstring(kKeyNames[static_cast<int>(key)]);
  }
  return lua_gettable();
}

int drevText_GetTranslationMode(void) {
  return g_text.translationMode;
}

void drevText_SetTranslationMode(int mode) {
  g_text.translationMode = std::clamp(mode, 0, 2);
}

void drevText_SetEmergencyFont(TextFont* font) {
  TextFont_Free(g_text.emergencyFont);
  g_text.emergencyFont = font;
}

const uint16_t* drevText_GetSharedPalette(void) {
  return g_text.palette;
}

TextCanvas* drevText_GetCanvas(void) {
  return &g_text.canvas;
}

void drevText_ResetCanvas(void) {
  g_text.canvas = TextCanvas{nullptr, 640, 480, 2, 16, 1280};
}

int drevText_PointCanvasAt(DisplayBuffer* buffer) {
  drevText_ResetCanvas();
  if (!buffer || !buffer->pixels || buffer->format.format.bitsPerPixel != 16) return 0;
  g_text.canvas.pixels = buffer->pixels;
  g_text.canvas.width = buffer->format.width;
  g_text.canvas.height = buffer->format.height;
  g_text.canvas.bytesPerRow = buffer->format.bytesPerRow;
  return 1;
}

DisplayBuffer* drevText_GetImmediateBuffer(void) {
  return &stdDisplay_backBuffer;
}

DisplayBuffer* drevText_GetOverlayBuffer(void) {
  return g_text.overlay;
}

int drevText_LockOverlayBuffer(void) {
  return stdDisplay_LockBuffer(g_text.overlay);
}

int drevText_UnlockOverlayBuffer(void) {
  return stdDisplay_UnlockBuffer(g_text.overlay);
}

TextObject* drevText_FromHandle(lua_Object value) {
  if (!lua_isuserdata(value) || lua_tag(value) != kTagText) return nullptr;
  const auto serial = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(lua_getuserdata(value)));
  if (serial == 0) return nullptr;
  return drevText_FindBySavedId(static_cast<uint32_t>(serial), static_cast<uint32_t>(serial >> 32));
}

void drevText_PushHandle(const TextObject* object) {
  lua_pushusertag(reinterpret_cast<void*>(static_cast<uintptr_t>(object->savedId)), kTagText);
}

// ---- Save and restore ----------------------------------------------------------------

namespace {

// Font identity: the resource's saved id; 0 names the built-in font.
uint64_t FontIdentity(TextFont* font) {
  if (!font || font == g_text.builtIn) return 0;
  return Res_SavedIdOf(font);
}

TextFont* FontFromIdentity(uint64_t identity) {
  if (identity == 0) return g_text.builtIn;
  return static_cast<TextFont*>(
      Res_FindBySavedId(static_cast<uint32_t>(identity), static_cast<uint32_t>(identity >> 32)));
}

template <typename T>
bool Transfer(SaveTransferFn io, T* value) {
  return io(value, sizeof *value) == 0;
}

}  // namespace

int drevText_Save(SaveTransferFn write) {
  if (!write) return 1;
  uint32_t count = 0;
  for (TextObject* o = g_text.head; o; o = o->next) ++count;
  if (!Transfer(write, &count)) return 1;
  for (TextObject* o = g_text.head; o; o = o->next) {
    const TextLayout& l = o->layout;
    uint64_t canvas = l.canvas ? 1 : 0, clip = l.clip ? 1 : 0, font = FontIdentity(l.font);
    int32_t words[19] = {l.x,
                         l.y,
                         static_cast<int32_t>(l.fgColor),
                         static_cast<int32_t>(l.bgColor),
                         static_cast<int32_t>(l.fxColor),
                         static_cast<int32_t>(l.xScale),
                         static_cast<int32_t>(l.yScale),
                         static_cast<int32_t>(l.flags),
                         static_cast<int32_t>(l.hiColor),
                         l.hiIndex,
                         l.coords,
                         0,
                         o->homeX,
                         o->homeY,
                         o->clip.x,
                         o->clip.y,
                         o->clip.width,
                         o->clip.height,
                         o->timeLeft};
    std::memcpy(&words[11], &l.alpha, 4);
    int32_t owner = o->owner ? drevActor_ToIndex(o->owner) : -1;
    uint32_t state = o->state;
    int64_t savedId = o->savedId;
    if (write(o->text, TEXT_MAX) != 0 || !Transfer(write, &canvas) || !Transfer(write, &clip) ||
        !Transfer(write, &font) || write(words, sizeof words) != 0 || !Transfer(write, &owner) ||
        !Transfer(write, &state) || !Transfer(write, &savedId)) {
      return 1;
    }
  }
  for (const TextLayout& t : g_text.templates) {
    uint64_t font = FontIdentity(t.font);
    if (!Transfer(write, &font)) return 1;
  }
  return 0;
}

int drevText_Restore(SaveTransferFn read) {
  DestroyAll();
  uint32_t count = 0;
  if (!read || !Transfer(read, &count)) return 1;
  for (uint32_t i = 0; i < count; ++i) {
    auto* o = static_cast<TextObject*>(g_text.pool ? Memory_PoolAlloc(g_text.pool) : nullptr);
    if (!o) {
      DestroyAll();
      return 1;
    }
    uint64_t canvas = 0, clip = 0, font = 0;
    int32_t words[19] = {};
    int32_t owner = -1;
    const bool ok = read(o->text, TEXT_MAX) == 0 && Transfer(read, &canvas) &&
                    Transfer(read, &clip) && Transfer(read, &font) &&
                    read(words, sizeof words) == 0 && Transfer(read, &owner) &&
                    Transfer(read, &o->state) && Transfer(read, &o->savedId);
    if (!ok) {
      Memory_PoolFree(o);
      DestroyAll();
      return 1;
    }
    o->text[TEXT_MAX - 1] = 0;
    TextLayout& l = o->layout;
    l.canvas = canvas ? &g_text.canvas : nullptr;
    l.clip = clip ? &o->clip : nullptr;
    l.font = FontFromIdentity(font);
    l.x = words[0];
    l.y = words[1];
    l.fgColor = static_cast<uint32_t>(words[2]);
    l.bgColor = static_cast<uint32_t>(words[3]);
    l.fxColor = static_cast<uint32_t>(words[4]);
    l.xScale = static_cast<uint32_t>(words[5]);
    l.yScale = static_cast<uint32_t>(words[6]);
    l.flags = static_cast<uint32_t>(words[7]);
    l.hiColor = static_cast<uint32_t>(words[8]);
    l.hiIndex = words[9];
    l.coords = words[10];
    std::memcpy(&l.alpha, &words[11], 4);
    if (!std::isfinite(l.alpha)) l.alpha = 1.0f;
    l.palette = g_text.palette;
    o->homeX = words[12];
    o->homeY = words[13];
    o->clip = TextClip{words[14], words[15], words[16], words[17]};
    o->timeLeft = words[18];
    o->owner = drevActor_FromIndex(owner);
    o->firstLine = 0;
    o->lineCount = 999999;
    if (o->savedId < INT64_MAX) g_text.nextSerial = std::max(g_text.nextSerial, o->savedId + 1);
    LinkAtHead(o);
  }
  uint64_t fonts[3] = {};
  for (uint64_t& font : fonts) {
    if (!Transfer(read, &font)) {
      DestroyAll();
      return 1;
    }
  }
  for (int i = 0; i < 3; ++i) {
    TextFont* font = FontFromIdentity(fonts[i]);
    g_text.templates[i].font = font ? font : g_text.builtIn;
  }
  return 0;
}
