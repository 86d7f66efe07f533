// The bitmap font and text layout: a small module nested in the text module.
//
// Fonts are records in relocatable blocks of the services record (handle
// operations), named by their handle, which is locked for the duration of
// every measuring or drawing call. The built-in font is a 6-pixel font of 128
// ASCII glyphs stored in the program; font resources ("FONT") are records
// without glyphs made by TextFont_New, and a font file reader exists that
// nothing in the engine calls.
//
// A TextLayout carries the pen, the clip rectangle, the colours (indices into
// a palette of pixel values, or byte values when there is none), the 16.16
// scales and the flags. Lines are fitted to the width available between the
// pen and the clip edge (see TextFont_FitLine), justified left, centred or
// right, and drawn glyph by glyph into a 16-bit raster (transparent cells) or
// an 8-bit one (opaque cells). Drawing never leaves the canvas: the clip
// rectangle is cut to the canvas first.
//
// Main thread only; the value table is shared by all drawing, so drawing is
// not re-entrant.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/drevMain.h"
#include "std/std.h"
#include "std/stdDisplay.h"

// A font's handle (an opaque relocatable block of the services record).
struct TextFont;

// The raster drawn into.
struct TextCanvas {
  void* pixels;
  int32_t width;
  int32_t height;
  int32_t bytesPerPixel;
  int32_t bitsPerPixel;
  int32_t bytesPerRow;
};

// x, y, width, height.
using TextClip = stdRect;

// Layout flags of the font.
constexpr uint32_t TEXTFONT_CENTRE = 0x1;
constexpr uint32_t TEXTFONT_RIGHT = 0x2;
constexpr uint32_t TEXTFONT_WRAP = 0x4;
constexpr uint32_t TEXTFONT_OPAQUE = 0x8;

// 1.0 in 16.16 fixed point.
constexpr uint32_t TEXTFONT_SCALE_ONE = 0x10000;

// The layout record: the font module uses every field up to hiIndex, the
// text module the last two.
struct TextLayout {
  TextCanvas* canvas;
  TextClip* clip;
  TextFont* font;
  int32_t x, y;  // the pen; y is the baseline of the current line
  uint32_t fgColor, bgColor, fxColor;
  uint32_t xScale, yScale;
  uint32_t flags;
  // Pixel values indexed by colour index (2 bytes an entry on a 16-bit
  // canvas, 1 on an 8-bit one), or null: the module's value table.
  const void* palette;
  uint32_t hiColor;
  int32_t hiIndex;  // position in each line of the highlighted character; -1 none
  int32_t coords;   // the text module's coordinate mode
  float alpha;      // the text module's alpha
};

// Font record: the header of the locked block.
struct TextFontHeader {
  TextFont* self;
  int32_t lineHeight;
  int32_t baseline;  // rows from the top of a line to the pen
  uint32_t format;   // 0 built in, 2 read from a file
  uint32_t one;
  int32_t minY;          // smallest glyph y offset (from the pen)
  int32_t maxBottom;     // largest glyph bottom (y offset + height)
  uint32_t firstCode;    // 0
  uint32_t glyphCount;   // n
  uint32_t indexOffset;  // u16 glyph record number per character
  uint32_t glyphOffset;  // n TextFontGlyph records
  uint32_t pixelOffset;  // one byte a pixel, rows of `width` bytes
};

// Glyph record. The offsets are full words: a file glyph may be 255 wide.
struct TextFontGlyph {
  uint32_t pixelPos;  // within the pixel data
  int32_t advance;    // pen step
  int32_t xOffset;
  int32_t yOffset;        // from the pen
  const uint8_t* pixels;  // filled each time the glyph is drawn
  uint32_t width;
  uint32_t height;
  uint32_t one;
};

// The built-in font: 128 glyphs, 6 rows a line, baseline 5.
constexpr int TEXTFONT_BUILTIN_COUNT = 128;
constexpr int TEXTFONT_BUILTIN_HEIGHT = 6;
// A text drawn by TextFont_DrawText is cut to this many characters.
constexpr int TEXTFONT_MAX_TEXT = 8192;
// Pixel bytes a glyph of a font file may hold.
constexpr int TEXTFONT_MAX_FILE_GLYPH = 1024;

// ---- Module -----------------------------------------------------------------

// 0, or 1 when already initialised. Fills the nested descriptor with
// itself, uninitialise, startup, shutdown, save and restore.
int TextFont_Initialize(HostServices* services, ModuleDescriptor* descriptor);
void TextFont_Uninitialize(void);
// 1 when not initialised, already started, or the built-in font could not be built.
int TextFont_Startup(void);
void TextFont_Shutdown(void);
// The "TxtB" block (three words); the text module does not call these.
int TextFont_Save(SaveTransferFn write);
int TextFont_Restore(SaveTransferFn read);

// The built-in font's handle (none before startup).
TextFont* TextFont_GetDefault(void);
// A further copy of the built-in font; 0, or 1 when no block could be had.
int TextFont_BuildBuiltInInto(TextFont** out);

// An empty font record (no glyphs); the name is not used. 0, or 1.
int TextFont_New(const char* name, TextFont** out);
// Frees a font record; none and the built-in font are ignored.
void TextFont_Free(TextFont* font);
// The baseline offset and line height of a font (0 for none).
int TextFont_GetBaseline(TextFont* font);
int TextFont_GetLineHeight(TextFont* font);

// Font files: 0 on success; 1 when the file does not open (LoadFile) or is
// refused (every offset and size is checked against the bytes that are there).
int TextFont_LoadFile(const char* name, TextFont** out);
int TextFont_ReadFile(stdFile_t file, TextFont** out);
int TextFont_ParseFile(const uint8_t* data, size_t size, TextFont** out);

// Expands rows x width values of bitsPerPixel bits each (most significant
// first, rows back to back) through the value map into one byte each. The
// source must hold ceil(bits x width x height / 8) bytes.
void TextFont_UnpackBits(const uint8_t* source, uint8_t* out, uint32_t width, uint32_t height,
                         int bitsPerPixel, const uint8_t* valueMap);

// ---- Layout ------------------------------------------------------------------

// The default font, pen (0, its baseline), foreground 255, background and
// effect 0, scales 1.0, no flags, no palette, no highlight.
void TextFont_InitLayout(TextLayout* layout, TextCanvas* canvas, TextClip* clip);

// The width a character takes in line fitting (max of advance and bitmap
// width, scaled), and its advance (scaled).
int TextFont_CharWidth(const TextLayout* layout, int code);
int TextFont_CharAdvance(const TextLayout* layout, int code);
int TextFont_FontCharWidth(TextFont* font, const TextLayout* layout, int code);
int TextFont_FontCharAdvance(TextFont* font, const TextLayout* layout, int code);

// Fits one line from text: its width and character count (line-ending
// characters not counted), and the start of the next line or null. With
// advancePen, a next line moves the pen down one line step, the end of the
// text moves it past the line.
const char* TextFont_FitLine(const char* text, TextFont* font, TextLayout* layout, int* width,
                             int* count, int advancePen);
// The widest line, and the number of lines (at least one) x the line step.
int TextFont_MeasureWidth(const TextLayout* layout, const char* text);
int TextFont_MeasureHeight(const TextLayout* layout, const char* text);

// ---- Drawing -------------------------------------------------------------------

void TextFont_DrawLayout(const char* text, TextLayout* layout, TextFont* font);
// The same for a text cut to TEXTFONT_MAX_TEXT characters.
void TextFont_DrawText(TextLayout* layout, const char* text);
void TextFont_Printf(TextLayout* layout, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
void TextFont_PrintfAt(TextFont* font, TextCanvas* canvas, TextClip* clip, int x, int y,
                       uint32_t foreground, uint32_t background, uint32_t flags, const char* format,
                       ...) __attribute__((format(printf, 9, 10)));
// One character, with the value table set from the layout.
void TextFont_DrawChar(TextLayout* layout, int code);
// One glyph at the pen; the pen moves by its advance.
void TextFont_DrawGlyph(int code, TextLayout* layout, TextFont* font);

// The byte at the position, advancing it; 0 at the end (the position then
// becomes null).
int TextFont_NextChar(const char** position);
