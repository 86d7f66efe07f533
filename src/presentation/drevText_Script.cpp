// The text script functions: printed lines, text objects, say-lines,
// colours, translation mode. Wrong argument types end a call without doing
// anything and without results; numbers are truncated toward zero.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "actors/drevActor.h"
#include "engine/ScriptHandles.h"
#include "platform/kv_Log.h"
#include "platform/kv_RenderHooks.h"
#include "presentation/drevOverlay.h"
#include "presentation/drevText.h"
#include "std/stdDisplay.h"

namespace {

int ToInt(lua_Object o) {
  return drevLua_ToInt(lua_getnumber(o));
}

bool Absent(lua_Object o) {
  return o == 0 || lua_isnil(o);
}

bool IsString(lua_Object o) {
  return lua_tag(o) == LUA_T_STRING;
}

bool IsNumber(lua_Object o) {
  return lua_tag(o) == LUA_T_NUMBER;
}

bool IsTag(lua_Object o, int32_t tag) {
  return lua_isuserdata(o) && lua_tag(o) == tag;
}

uint32_t UserValue(lua_Object o) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(lua_getuserdata(o)));
}

Actor* ActorOf(lua_Object o) {
  if (!IsTag(o, kTagActor)) return nullptr;
  return drevActor_FromIndex(static_cast<int>(reinterpret_cast<intptr_t>(lua_getuserdata(o))));
}

void PushColor(uint32_t packed) {
  lua_pushusertag(reinterpret_cast<void*>(static_cast<uintptr_t>(packed)), kTagColor);
}

void PushWidthHeight(TextObject* object) {
  lua_pushnumber(static_cast<float>(TextFont_MeasureWidth(&object->layout, object->text)));
  lua_pushnumber(static_cast<float>(TextFont_MeasureHeight(&object->layout, object->text)));
}

// ---- Functions ---------------------------------------------------------------

void IsMessageGoing() {
  const lua_Object who = lua_lua2C(1);
  bool going = false;
  if (!Absent(who)) {
    if (!IsTag(who, kTagActor)) return;
    const Actor* actor = ActorOf(who);
    going = actor && actor->pExtra && actor->pExtra->talking;
  } else {
    going = drevActor_CountTalking() != 0;
    for (TextObject* o = drevText_First(); o && !going; o = o->next) {
      going = !(o->state & TEXT_PERSISTENT);
    }
  }
  if (going) {
    lua_pushnumber(1);
  } else {
    lua_pushnil();
  }
}

void SetSayLineDefaults() {
  const lua_Object table = lua_lua2C(1);
  if (lua_istable(table)) {
    drevText_ParseOptions(drevText_GetTemplate(TextTemplate::SayLine), nullptr, table);
  }
}

void SetActorTalkColor() {
  Actor* actor = ActorOf(lua_lua2C(1));
  if (!actor) return;
  if (!actor->pExtra) drevActor_CreateExtra(actor);
  const lua_Object colour = lua_lua2C(2);
  if (actor->pExtra && IsTag(colour, kTagColor)) actor->pExtra->talkColor = UserValue(colour);
}

void GetActorTalkColor() {
  const Actor* actor = ActorOf(lua_lua2C(1));
  if (actor && actor->pExtra) {
    PushColor(actor->pExtra->talkColor);
  } else {
    lua_pushnil();
  }
}

void SayLine() {
  SayLineArguments a;
  if (drevText_ReadSayLineArguments(&a)) {
    drevActor_SayLine(a.actor, a.text, a.background, a.volume, a.pan, a.x, a.y);
  }
}

void PrintLine() {
  TextLayout* layout = drevText_GetTemplate(TextTemplate::PrintLine);
  const TextCanvas* canvas = drevText_GetCanvas();
  layout->clip->width = std::min(layout->clip->width, canvas->width);
  layout->clip->height = std::min(layout->clip->height, canvas->height);
  const lua_Object text = lua_lua2C(1), table = lua_lua2C(2);
  if (!Absent(text) && !lua_isstring(text)) return;
  if (!Absent(table) && !lua_istable(table)) return;
  // Without a text the table sets the defaults of later lines; with one it
  // changes a copy (whose clip is still the template's own record).
  TextLayout copy = *layout;
  TextLayout* target = Absent(text) ? layout : &copy;
  int duration = lua_istable(table) ? drevText_ParseOptions(target, nullptr, table) : -1;
  if (Absent(text)) return;
  const char* shown = drevText_TranslateText(lua_getstring(text), nullptr);
  if (duration < 0) {
    duration =
        static_cast<int>(static_cast<float>(std::strlen(shown) * 3 + 40) * 16.666667938232422f);
  }
  drevText_Register(drevText_Create(target, shown), duration, 0);
}

void MakeTextObject() {
  const lua_Object text = lua_lua2C(1), table = lua_lua2C(2);
  if (!lua_isstring(text)) return;
  TextLayout layout = *drevText_GetTemplate(TextTemplate::TextObject);
  TextClip clip{240, 0, 1440, 1080};
  layout.clip = &clip;
  if (lua_istable(table)) {
    const lua_Object coords = drevText_GetOption(table, TextKey::Coords);
    if (IsNumber(coords)) layout.coords = ToInt(coords);
    drevOverlay_ScreenToGameRect(&clip, layout.coords);
    drevText_ParseOptions(&layout, nullptr, table);
  } else {
    drevOverlay_ScreenToGameRect(&clip, 0);
  }
  TextObject* object =
      drevText_Create(&layout, drevText_TranslateText(lua_getstring(text), nullptr));
  if (!object) return;
  drevText_PushHandle(object);
  PushWidthHeight(object);
  drevText_Register(object, 0, TEXT_PERSISTENT);
}

void GetTextObjectDimensions() {
  TextObject* object = drevText_FromHandle(lua_lua2C(1));
  const lua_Object mode = lua_lua2C(2);
  if (!object || !IsNumber(mode)) return;
  int x = 0, y = 0, width = 0, height = 0;
  if (object->text[0]) {
    // Zeros stand while no back end measures.
    kv_RenderHooks_GetTextExtent(nullptr, object, &x, &y, &width, &height);
    drevOverlay_ScreenToGame(&x, &y, ToInt(mode), 0);
    drevOverlay_ScreenToGame(&width, &height, ToInt(mode), 1);
  }
  for (int v : {width, height, x, y}) lua_pushnumber(static_cast<float>(v));
}

void GetFontDimensions() {
  const lua_Object font = lua_lua2C(1);
  if (!IsTag(font, kTagFont)) return;
  int height = 0;
  auto* handle = static_cast<TextFont*>(lua_getuserdata(font));
  HostServices* hs = drevMain_GetServices() ? drevMain_GetServices() : std_pHS;
  void* data = handle && hs && hs->handleLock ? hs->handleLock(handle) : nullptr;
  if (data) {
    kv_RenderHooks_GetTextExtent(data, nullptr, nullptr, nullptr, nullptr, &height);
    if (hs->handleUnlock) hs->handleUnlock(handle);
  }
  lua_pushnumber(static_cast<float>(height));
}

// Whether two states of an object draw the same (links, time and pen aside).
bool DrawsTheSame(const TextObject& a, const TextObject& b) {
  const TextLayout &l = a.layout, &m = b.layout;
  return std::strcmp(a.text, b.text) == 0 && l.canvas == m.canvas && l.font == m.font &&
         l.fgColor == m.fgColor && l.bgColor == m.bgColor && l.fxColor == m.fxColor &&
         l.xScale == m.xScale && l.yScale == m.yScale && l.flags == m.flags &&
         l.palette == m.palette && l.hiColor == m.hiColor && l.hiIndex == m.hiIndex &&
         l.coords == m.coords && l.alpha == m.alpha && a.homeX == b.homeX && a.homeY == b.homeY &&
         std::memcmp(&a.clip, &b.clip, sizeof a.clip) == 0 && a.owner == b.owner &&
         a.state == b.state && a.savedId == b.savedId && a.firstLine == b.firstLine &&
         a.lineCount == b.lineCount;
}

void ChangeTextObject() {
  TextObject* object = drevText_FromHandle(lua_lua2C(1));
  if (!object) return;
  static TextObject before;  // 8 KB of text: kept off the stack
  before = *object;
  for (int i = 2; i <= 3; ++i) {
    const lua_Object o = lua_lua2C(i);
    if (lua_isstring(o)) {
      std::snprintf(object->text, TEXT_MAX, "%s",
                    drevText_TranslateText(lua_getstring(o), nullptr));
    } else if (lua_istable(o)) {
      drevText_ParseOptions(&object->layout, object, o);
    } else {
      break;
    }
  }
  PushWidthHeight(object);
  if (!DrawsTheSame(before, *object)) kv_RenderHooks_SurfaceFreed(object);
}

void KillTextObject() {
  if (TextObject* object = drevText_FromHandle(lua_lua2C(1))) object->state &= ~TEXT_PERSISTENT;
}

void BlastText() {
  kv_Log_Printf("[Text] - warning: BlastText is not supported.");
  const lua_Object text = lua_lua2C(1), table = lua_lua2C(2);
  if (!lua_isstring(text)) return;
  DisplayBuffer* buffer = drevText_GetImmediateBuffer();
  const bool locked = stdDisplay_LockBuffer(buffer) != 0;
  drevText_PointCanvasAt(buffer);
  const TextCanvas* canvas = drevText_GetCanvas();
  TextLayout layout = *drevText_GetTemplate(TextTemplate::TextObject);
  TextClip clip{0, 0, canvas->width, canvas->height};
  layout.clip = &clip;
  drevText_ParseOptions(&layout, nullptr, table);
  if (TextObject* object =
          drevText_Create(&layout, drevText_TranslateText(lua_getstring(text), nullptr))) {
    kv_RenderHooks_DrawTextObject(object, 0);
    drevText_Destroy(object);
  }
  drevText_ResetCanvas();
  if (locked) stdDisplay_UnlockBuffer(buffer);
}

void ExpireText() {
  for (TextObject* o = drevText_First(); o;) {
    TextObject* next = o->next;
    if (o->state & TEXT_SAYLINE) {
      drevText_Destroy(o);  // clears the owner's say-line reference
    } else {
      o->timeLeft = -1;
    }
    o = next;
  }
}

void PurgeText() {
  for (TextObject* o = drevText_First(); o; o = o->next) {
    o->state &= ~TEXT_PERSISTENT;
    o->timeLeft = -1;
  }
}

void MakeColor() {
  uint32_t c[4] = {};
  for (int i = 0; i < 4; ++i) {
    const lua_Object o = lua_lua2C(i + 1);
    if (IsNumber(o)) c[i] = static_cast<uint32_t>(std::clamp(ToInt(o), 0, 255));
  }
  PushColor(drevText_PackColor(c[0], c[1], c[2], c[3]));
}

void GetColorComponents() {
  const lua_Object colour = lua_lua2C(1);
  if (!lua_isuserdata(colour)) return;
  const uint32_t v = UserValue(colour);
  for (int shift : {0, 8, 16}) lua_pushnumber(static_cast<float>((v >> shift) & 0xFF));
}

void SetTranslationMode() {
  const lua_Object mode = lua_lua2C(1);
  if (Absent(mode)) {
    drevText_SetTranslationMode(0);
  } else if (IsNumber(mode)) {
    drevText_SetTranslationMode(ToInt(mode));
  }
}

void GetTranslationMode() {
  lua_pushnumber(static_cast<float>(drevText_GetTranslationMode()));
}

void GetTextCharPosition() {
  TextObject* object = drevText_FromHandle(lua_lua2C(1));
  const lua_Object count = lua_lua2C(2);
  if (!object || !IsNumber(count)) return;
  int64_t sum = 0;
  const int n = ToInt(count);
  for (int i = 0; i < n && object->text[i]; ++i) {
    sum += TextFont_CharAdvance(&object->layout, static_cast<unsigned char>(object->text[i]));
  }
  lua_pushnumber(static_cast<float>(sum));
}

void LocalizeString() {
  const lua_Object text = lua_lua2C(1);
  if (!lua_isstring(text)) return;
  char id[32];
  const char* shown = drevText_TranslateText(lua_getstring(text), id);
  char out[640];
  std::snprintf(out, sizeof out, "/%s/%s", id, shown);
  lua_pushstring(out);
}

void SetEmergencyFont() {
  const lua_Object name = lua_lua2C(1);
  if (Absent(name)) {
    drevText_SetEmergencyFont(nullptr);
  } else if (lua_isstring(name)) {
    drevText_SetEmergencyFont(nullptr);
    TextFont* font = nullptr;
    if (TextFont_New(lua_getstring(name), &font) == 0) drevText_SetEmergencyFont(font);
  }
}

void SetOffscreenTextPos() {
  lua_lua2C(1);
  lua_lua2C(2);
}

const lua_Reg kTextFunctions[] = {
    {"IsMessageGoing", IsMessageGoing},
    {"SetSayLineDefaults", SetSayLineDefaults},
    {"SetActorTalkColor", SetActorTalkColor},
    {"GetActorTalkColor", GetActorTalkColor},
    {"SayLine", SayLine},
    {"PrintLine", PrintLine},
    {"MakeTextObject", MakeTextObject},
    {"GetTextObjectDimensions", GetTextObjectDimensions},
    {"GetFontDimensions", GetFontDimensions},
    {"ChangeTextObject", ChangeTextObject},
    {"KillTextObject", KillTextObject},
    {"BlastText", BlastText},
    {"ExpireText", ExpireText},
    {"PurgeText", PurgeText},
    {"MakeColor", MakeColor},
    {"GetColorComponents", GetColorComponents},
    {"SetTranslationMode", SetTranslationMode},
    {"GetTranslationMode", GetTranslationMode},
    {"GetTextCharPosition", GetTextCharPosition},
    {"LocalizeString", LocalizeString},
    {"SetEmergencyFont", SetEmergencyFont},
    {"SetOffscreenTextPos", SetOffscreenTextPos},
};

}  // namespace

int drevText_ReadSayLineArguments(SayLineArguments* out) {
  *out = SayLineArguments{};
  const lua_Object first = lua_lua2C(1);
  int at = 1;
  if (IsTag(first, kTagActor)) {
    out->actor = ActorOf(first);
    at = 2;
  } else if (IsString(first) || lua_istable(first)) {
    out->actor = drevActor_FromIndex(drevActor_GetSelected());
  } else {
    return 0;
  }
  if (!out->actor || Absent(lua_lua2C(at))) return 0;
  for (lua_Object o = lua_lua2C(at); !Absent(o); o = lua_lua2C(++at)) {
    if (IsString(o)) {
      out->text = lua_getstring(o);
    } else if (IsNumber(o)) {
      out->background = 0;
    } else if (lua_istable(o)) {
      drevText_ReadSayLineOptions(o, &out->background, &out->volume, &out->pan, &out->x, &out->y);
    } else {
      return 0;
    }
  }
  return out->text != nullptr;
}

const lua_Reg* drevText_GetScriptTable(int* count) {
  if (count) *count = static_cast<int>(sizeof kTextFunctions / sizeof kTextFunctions[0]);
  return kTextFunctions;
}
