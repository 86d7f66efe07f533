// High-definition fonts: TrueType files (through stb_truetype) baked into an
// 8-bit atlas of 2048 x 2048 texels, one atlas per file and size, at a pixel
// size that follows the back buffer; every cached font is baked again when the
// back buffer or the virtual screen changes. A registry maps the classic
// path's bitmap-font resources (`FONT`) to high-definition fonts through a
// one-line descriptor "FontsHD/<NAME>.txt": "<fontname> <size>px".
//
// Fonts, their atlases and registry entries live until the process ends.
// Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "stb_truetype.h"

struct kvSurface;

constexpr int HdFont_AtlasSize = 2048;
constexpr uint32_t HdFont_GlyphCount = 255;  // codes 0 to 254

// One glyph's bitmap in the atlas and its metrics, in pixels.
struct BakedGlyph {
  uint16_t x0, y0;  // top-left texel
  uint16_t x1, y1;  // exclusive bottom-right corner
  float xOffset;    // left edge relative to the pen
  float yOffset;    // top edge relative to the baseline (negative above it)
  float advance;    // pen advance
};

struct HdFont {
  uint8_t* fileData;  // the whole TrueType file
  uint32_t fileSize;
  stbtt_fontinfo info;  // font 0 of the file
  BakedGlyph* glyphs;   // HdFont_GlyphCount records of the last bake
  uint32_t glyphCount;
  float size;       // requested size in virtual-screen pixels
  float pixelSize;  // baked pixel height
  int32_t minimumPixelSize;
  kvSurface* surface;  // the atlas, format 0 ("8x1")
  uint32_t useCount;
};

// The cached font for (path, size), made on first request (the path is used as
// given, as cache key and file name). Null when the file cannot be read, is
// not a font, its path is 256 characters or longer, or the atlas cannot be
// made (logged).
HdFont* FontCache_Acquire(const char* path, float size, int minimumPixelSize);
// Rasterises codes 0 to 254 into the font's atlas at the pixel size for the
// current back buffer and replaces its glyph table. When the glyphs would not
// fit the atlas the pixel size is lowered until they do (logged).
void Font_Bake(HdFont* font);
// Bakes every cached font again, in cache order.
void Font_RelayoutAll(void);
float Font_GetPixelSize(const HdFont* font);
// Letters, digits, ' " , . ; ! ? and the codes 192 to 255: what word wrap keeps together.
bool Font_IsWordChar(int code);
// The pixel size for a requested size at a back-buffer scale: upwards to the
// next eighth of a pixel, at least the minimum.
float Font_ComputePixelSize(float size, float scale, int minimumPixelSize);
// Whether the glyph boxes of codes 0..254 pack into the atlas at glyph scale g.
bool Font_GlyphsFit(const HdFont* font, float glyphScale);

// The font registry ----------------------------------------------------------

// Reads a descriptor's text: the font file (relative to FontsHD, appended to
// "FontsHD/" in fontPath), the size (a unit glued to it, as in 44px, ends the
// number) and an optional third token of at most 15 characters. Returns false
// for a text without a size, a size that is not a number in (0, 2048], or a
// token too long for its buffer.
bool HdFont_ParseDescriptor(const char* text, char* fontPath, size_t fontPathSize, float* size);
// The ResourceLoaded hook body: for a `FONT` resource, reads its descriptor
// and registers the high-definition font under the resource object. Prints
// what it did to standard output; never fails the resource load.
void HdFontRegistry_OnResourceLoaded(uint32_t typeTag, const char* name, void* resource,
                                     int fromCache);
// The high-definition font registered for a resource object, or null.
HdFont* HdFontRegistry_Find(const void* resource);
