// Text objects and say-lines.
//
// Every piece of 2D text the game shows over the picture is a text object: a
// string of up to 8191 characters with a layout (pen, clip rectangle, font,
// colours, justification, layer, fade, alpha) and a lifetime. Objects live
// in one list, the most recently registered at its head; the render module's
// draw passes fade, age, draw and expire them. The hardware back end draws
// them from drevText_GetTextObjectDrawInfo with its own fonts; the software
// back end asks drevText_DrawTextObject to draw them with the bitmap font
// into the text overlay buffer.
//
// Scripts hold an object by a TEXT handle whose value is the object's serial
// number (`savedId`), looked up in the live list at every use, so a handle to
// a destroyed object is ignored even when its pool item has been reused.
//
// The module runs the bitmap font (and the 8-bit raster canvas) as nested
// modules and registers the 22 text script functions. Main thread only.
#pragma once

#include <cstdint>

#include "engine/drevMain.h"
#include "presentation/TextFont.h"
#include "script/runtime/lua31.h"

struct Actor;
struct DisplayBuffer;

// Packed colour (COLR): alpha << 24 | blue << 16 | green << 8 | red.
constexpr uint32_t drevText_PackColor(uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  return a << 24 | b << 16 | g << 8 | r;
}

// Object state bits.
constexpr uint32_t TEXT_PERSISTENT = 0x1;  // not removed when its time runs out
constexpr uint32_t TEXT_HIDDEN = 0x2;      // never drawn
constexpr uint32_t TEXT_SAYLINE = 0x4;
constexpr uint32_t TEXT_EVERY_PASS = 0x8;  // drawn also in passes that draw only such objects

// Layout flag bits of the text module (the font owns 0x1 to 0x8).
constexpr uint32_t TEXT_LAYER_1 = 0x10;
constexpr uint32_t TEXT_ANCHOR_BOTTOM = 0x20;  // vertical anchor 1.0
constexpr uint32_t TEXT_ANCHOR_MIDDLE = 0x40;  // vertical anchor 0.5
constexpr uint32_t TEXT_LAYER_2 = 0x80;
constexpr uint32_t TEXT_LAYER_3 = 0x100;
constexpr uint32_t TEXT_LAYER_4 = 0x200;
constexpr uint32_t TEXT_FADE_IN = 0x400;
constexpr uint32_t TEXT_FADE_OUT = 0x800;
constexpr uint32_t TEXT_FADE_OUT_DESTROY = 0x1000;  // fading out, destroyed when the fade ends

constexpr int TEXT_MAX = 8192;  // characters with the terminator

struct TextObject {
  TextObject* next;
  TextObject* prev;
  char text[TEXT_MAX];
  TextLayout layout;  // its clip is always this object's own `clip`
  int32_t homeX, homeY;
  TextClip clip;
  int32_t timeLeft;  // milliseconds, reduced in every draw pass
  Actor* owner;      // the actor whose say-line this is, or none
  uint32_t state;
  int64_t savedId;  // the serial that TEXT handles and save games name
  int32_t firstLine;
  int32_t lineCount;
};

// The three templates objects are made from.
enum class TextTemplate { PrintLine, SayLine, TextObject };

// Option keys the text and overlay modules read from script tables.
enum class TextKey {
  X,
  Y,
  Cache,
  Font,
  Width,
  LeftClip,
  Height,
  FgColor,
  BgColor,
  FxColor,
  Duration,
  Center,
  LJustify,
  RJustify,
  Layer,
  Highlight,
  Coords,
  Volume,
  Pan,
  Background,
  Alpha,
  Fade,
  MirrorMode,
  Count
};

// ---- Module ----------------------------------------------------------------------

int drevText_Initialize(HostServices* services, ModuleDescriptor* descriptor);
void drevText_Uninitialize(void);
int drevText_Startup(void);
void drevText_Shutdown(void);
// The "TEXS" block.
int drevText_Save(SaveTransferFn write);
int drevText_Restore(SaveTransferFn read);

// ---- Objects -----------------------------------------------------------------------

// A new object from a template, not yet in the list; null when the pool has
// no item.
TextObject* drevText_Create(const TextLayout* layoutTemplate, const char* text);
// Puts the object at the head of the list and starts its life; null stays null.
TextObject* drevText_Register(TextObject* object, int timeLeft, uint32_t state);
// Unlinks (when listed), clears its owner's say-line reference, sends the
// invalidation notice and frees it. Null is ignored.
void drevText_Destroy(TextObject* object);
// The listed object with that serial (low, high), or null.
TextObject* drevText_FindBySavedId(uint32_t low, uint32_t high);
// The first listed object (the head); walk on with `next`.
TextObject* drevText_First(void);
int drevText_HasObjects(void);

// One draw pass: fades, draws the objects of the layer (all, or only those
// with TEXT_EVERY_PASS when all is 0), ages and expires every object.
void drevText_DrawPass(int all, int layer);
void drevText_SuspendDrawing(void);
void drevText_ResumeDrawing(void);
// The layer an object draws in (0 to 4).
int drevText_LayerOf(const TextObject* object);

// The software drawing of one object into the raster canvas with the bitmap
// font; with invalidate, its rectangle is marked dirty. 1 when drawn.
int drevText_DrawTextObject(TextObject* textObject, int invalidate);

// What the hardware renderer reads of a text object to draw and measure it,
// in overlay screen units (1920 x 1080). Every output may be null:
//   text, position (x, y), clip rectangle {x, y, width, height}, owner, the
//   packed foreground, background and effect colours, the font's data block
//   (the object ResourceLoaded received for the FONT resource), horizontal
//   justification (0, 0.5, 1), the window of lines (firstLine, lineCount),
//   the wrap width, the vertical anchor (0, 0.5, 1) and alpha.
// An object without a font gets the built-in one and loses its persistent
// bit. 1 when the object was read, 0 for null.
int drevText_GetTextObjectDrawInfo(TextObject* object, const char** text, float* x, float* y,
                                   int* clip, void** owner, uint32_t* foreground,
                                   uint32_t* background, uint32_t* effect, void** fontData,
                                   float* justification, int* firstLine, int* lineCount,
                                   int* wrapWidth, float* verticalAnchor, float* alpha);

// Draws a one-off string into the display buffer at once (x, y in game
// space, colour packed; font null: the template's).
void drevText_DrawStringImmediate(const char* text, uint32_t colour, int x, int y, int centred,
                                  TextFont* font);

// The say-line object of an actor at (x, y) (-1, -1: centred near the
// bottom); the caller registers it with time -1 and state 0xD.
TextObject* drevText_MakeSayLineObject(Actor* actor, const char* text, int x, int y);
// Reads "x", "y", "volume", "pan" (numbers, each only while the value it
// replaces is non-zero) and "background" (any value: 0) from a table.
void drevText_ReadSayLineOptions(lua_Object table, int* background, int* volume, int* pan, int* x,
                                 int* y);
// Applies an option table to a template (and to the object when given);
// answers the "duration" option, -1 when absent.
int drevText_ParseOptions(TextLayout* layoutTemplate, TextObject* object, lua_Object table);
// The text to show by the translation mode; the id buffer (32 characters,
// may be null) receives the message id.
const char* drevText_TranslateText(const char* text, char* idBuffer);

// ---- Module state for the other modules -------------------------------------------

TextLayout* drevText_GetTemplate(TextTemplate which);
// The value of an option key in a script table (the runtime's getter).
lua_Object drevText_GetOption(lua_Object table, TextKey key);
int drevText_GetTranslationMode(void);
// Clamped to 0..2.
void drevText_SetTranslationMode(int mode);
// Frees the current emergency font and sets another (null: none). While one
// is set every new object uses it and the "font" option is ignored.
void drevText_SetEmergencyFont(TextFont* font);
// The four RGB565 entries (foreground, background, effect, highlight).
const uint16_t* drevText_GetSharedPalette(void);
// The raster canvas: 640 x 480, 16 bits a pixel; its pixels are whatever
// buffer is being drawn (none between drawings).
TextCanvas* drevText_GetCanvas(void);
void drevText_ResetCanvas(void);
// Points the canvas at a 16-bit display buffer's pixels, taking its size from
// the buffer so that drawing never leaves it; 0 (no pixels) otherwise.
int drevText_PointCanvasAt(DisplayBuffer* buffer);
// The display buffer immediate strings draw into, and the text overlay buffer.
DisplayBuffer* drevText_GetImmediateBuffer(void);
DisplayBuffer* drevText_GetOverlayBuffer(void);
int drevText_LockOverlayBuffer(void);
int drevText_UnlockOverlayBuffer(void);

// TEXT handles: the listed object a script value names (null for anything
// else or a destroyed object), and pushing an object's handle.
TextObject* drevText_FromHandle(lua_Object value);
void drevText_PushHandle(const TextObject* object);

// SayLine's arguments: [actor] (else the selected actor), then texts,
// numbers (no background) and option tables until the first nil.
struct SayLineArguments {
  Actor* actor = nullptr;
  const char* text = nullptr;  // the last string given
  int background = 1, volume = 127, pan = 64, x = -1, y = -1;
};
// Reads them inside a script function call; 1 when a line is to be said.
int drevText_ReadSayLineArguments(SayLineArguments* out);

// The text script functions (registered by the startup).
const lua_Reg* drevText_GetScriptTable(int* count);
