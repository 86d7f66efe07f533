// The bitmap font and text layout.
#include "presentation/TextFont.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/kv_Log.h"
#include "platform/stdByteOrder.h"
#include "presentation/TextFont_Internal.h"

namespace {

struct FontModule {
  HostServices* services = nullptr;
  bool initialized = false;
  bool started = false;
  TextFont* builtIn = nullptr;
  uint8_t valueTable[256] = {};
};

FontModule g_font;

HostServices* Services() {
  return g_font.services ? g_font.services : std_pHS;
}

constexpr uint32_t kSaveTag = 0x42747854;  // "TxtB" in memory order
constexpr uint32_t kSaveVersion = 1;

// The glyph table sits behind the header, each part on an 8-byte boundary.
constexpr uint32_t Align8(uint64_t n) {
  return static_cast<uint32_t>((n + 7) & ~uint64_t{7});
}

// Locks a font's block for the life of the object.
class FontLock {
 public:
  explicit FontLock(TextFont* font) : font_(font) {
    HostServices* hs = Services();
    if (font_ && hs && hs->handleLock)
      header_ = static_cast<TextFontHeader*>(hs->handleLock(font_));
  }
  ~FontLock() {
    HostServices* hs = Services();
    if (header_ && hs && hs->handleUnlock) hs->handleUnlock(font_);
  }
  FontLock(const FontLock&) = delete;
  FontLock& operator=(const FontLock&) = delete;
  TextFontHeader* get() const { return header_; }

 private:
  TextFont* font_;
  TextFontHeader* header_ = nullptr;
};

const TextFontGlyph* GlyphOf(const TextFontHeader* h, int code) {
  if (!h) return nullptr;
  const uint32_t c = static_cast<uint8_t>(code);
  if (c < h->firstCode || c - h->firstCode >= h->glyphCount) return nullptr;
  const auto* base = reinterpret_cast<const uint8_t*>(h);
  uint16_t index = 0;
  std::memcpy(&index, base + h->indexOffset + 2 * (c - h->firstCode), 2);
  if (index >= h->glyphCount) return nullptr;
  return reinterpret_cast<const TextFontGlyph*>(base + h->glyphOffset) + index;
}

// value x scale / 1.0, raised to the next whole number. Values come from
// layouts a save game restores: the product is formed wide enough for any.
int64_t Scaled(int64_t value, uint32_t scale) {
  const __int128 product = (static_cast<__int128>(value) * scale + 0xFFFF) >> 16;
  return static_cast<int64_t>(std::clamp<__int128>(product, INT64_MIN, INT64_MAX));
}

int ClampInt(int64_t v) {
  return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

int64_t CharWidthOf(const TextFontHeader* h, const TextLayout* layout, int code) {
  const TextFontGlyph* g = GlyphOf(h, code);
  if (!g) return 0;
  return Scaled(std::max<int64_t>(g->advance, g->width), layout->xScale);
}

int64_t CharAdvanceOf(const TextFontHeader* h, const TextLayout* layout, int code) {
  const TextFontGlyph* g = GlyphOf(h, code);
  if (!g) return 0;
  return Scaled(g->advance, layout->xScale);
}

int64_t LineStep(const TextFontHeader* h, const TextLayout* layout) {
  return h ? Scaled(h->lineHeight, layout->yScale) : 0;
}

// The width available to a line from the pen to the clip edges.
int64_t Available(const TextLayout* layout) {
  if (!layout->clip) return INT32_MAX;
  const int64_t left = int64_t{layout->x} - layout->clip->x;
  const int64_t right = int64_t{layout->clip->x} + layout->clip->width - layout->x;
  if (layout->flags & TEXTFONT_CENTRE) return 2 * std::min(left, right);
  if (layout->flags & TEXTFONT_RIGHT) return left;
  return right;
}

struct Run {
  int64_t width = 0;
  int count = 0;
  void Add(const Run& other) {
    width += other.width;
    count += other.count;
  }
};

bool IsBreak(unsigned c, bool wrap) {
  return wrap && (c == 32 || c == 254);
}

// After a line-ending character; a CR followed by an LF counts as one. The
// end of the text starts no further line.
const char* AfterEnding(const unsigned char* p) {
  const unsigned char* next = p + 1;
  if (*p == 13 && *next == 10) ++next;
  return *next ? reinterpret_cast<const char*>(next) : nullptr;
}

const char* FitLineLocked(const char* text, const TextFontHeader* h, TextLayout* layout,
                          int* widthOut, int* countOut, int advancePen) {
  const bool wrap = (layout->flags & TEXTFONT_WRAP) != 0;
  const int64_t available = Available(layout);
  Run committed, pending, word, line;
  const auto* p = reinterpret_cast<const unsigned char*>(text ? text : "");
  const unsigned char* wordStart = p;
  const char* next = nullptr;
  for (;;) {
    const unsigned c = *p;
    const bool end = c == 0;
    const bool newline = c == 10 || c == 13;
    const bool brk = IsBreak(c, wrap);
    if (!end && !newline && !brk) {
      word.width += CharWidthOf(h, layout, static_cast<int>(c));
      ++word.count;
      ++p;
      continue;
    }
    const int64_t total = committed.width + pending.width + word.width;
    if (total > available && wrap) {
      // The line ends before the current word; a word wider than the whole
      // line is taken anyway.
      if (committed.count == 0) {
        line = pending;
        line.Add(word);
        next = end ? nullptr : AfterEnding(p);
      } else {
        line = committed;
        next = *wordStart ? reinterpret_cast<const char*>(wordStart) : nullptr;
      }
      break;
    }
    if (brk) {
      committed.Add(pending);
      committed.Add(word);
      pending = Run{};
      word = Run{};
      while (IsBreak(*p, wrap)) {
        pending.width += CharWidthOf(h, layout, *p);
        ++pending.count;
        ++p;
      }
      wordStart = p;
      continue;
    }
    line = committed;
    line.Add(pending);
    line.Add(word);
    next = end ? nullptr : AfterEnding(p);
    break;
  }
  if (widthOut) *widthOut = ClampInt(line.width);
  if (countOut) *countOut = line.count;
  if (advancePen) {
    if (next) {
      layout->y = ClampInt(layout->y + LineStep(h, layout));
    } else if (layout->flags & TEXTFONT_CENTRE) {
      layout->x = ClampInt(layout->x + line.width / 2);
    } else if (layout->flags & TEXTFONT_RIGHT) {
      layout->x = ClampInt(layout->x - line.width);
    } else {
      layout->x = ClampInt(layout->x + line.width);
    }
  }
  return next;
}

// ---- Glyph blitting --------------------------------------------------------------

// The pixel value of a colour index: the layout's palette (16-bit entries on
// a 16-bit canvas, bytes on an 8-bit one) or the value table.
uint32_t PixelValue(const TextLayout* layout, uint32_t index, int bytesPerPixel) {
  if (!layout->palette) return g_font.valueTable[index & 0xFF];
  const auto* palette = static_cast<const uint8_t*>(layout->palette);
  if (bytesPerPixel == 2) {
    uint16_t value = 0;
    std::memcpy(&value, palette + static_cast<size_t>(index) * 2, 2);
    return value;
  }
  return palette[index];
}

void Put(const TextCanvas* canvas, int x, int y, uint32_t value) {
  uint8_t* row =
      static_cast<uint8_t*>(canvas->pixels) + static_cast<size_t>(y) * canvas->bytesPerRow;
  if (canvas->bytesPerPixel == 2) {
    const uint16_t v = static_cast<uint16_t>(value);
    std::memcpy(row + static_cast<size_t>(x) * 2, &v, 2);
  } else {
    row[x] = static_cast<uint8_t>(value);
  }
}

struct Rect {
  int64_t x0, y0, x1, y1;  // x1, y1 exclusive
};

// The clip rectangle cut to the canvas.
Rect DrawableArea(const TextLayout* layout) {
  const TextCanvas* c = layout->canvas;
  Rect r{0, 0, c->width, c->height};
  if (const TextClip* clip = layout->clip) {
    r.x0 = std::max<int64_t>(r.x0, clip->x);
    r.y0 = std::max<int64_t>(r.y0, clip->y);
    r.x1 = std::min<int64_t>(r.x1, int64_t{clip->x} + clip->width);
    r.y1 = std::min<int64_t>(r.y1, int64_t{clip->y} + clip->height);
  }
  return r;
}

bool CanvasUsable(const TextCanvas* c) {
  return c && c->pixels && c->width > 0 && c->height > 0 &&
         (c->bytesPerPixel == 1 || c->bytesPerPixel == 2) &&
         int64_t{c->bytesPerRow} >= int64_t{c->width} * c->bytesPerPixel;
}

// Transparent cells: 255 writes the foreground, 128 the effect colour, every
// other value leaves the canvas. The in-bounds form walks the whole glyph,
// the clipped form only the part inside the area.
void BlitTransparent(const TextLayout* layout, const TextFontGlyph* g, const uint8_t* pixels,
                     int64_t gx, int64_t gy, const Rect& area, bool clipped) {
  const TextCanvas* canvas = layout->canvas;
  const int bpp = canvas->bytesPerPixel;
  const uint32_t fg = PixelValue(layout, layout->fgColor, bpp);
  const uint32_t fx = PixelValue(layout, layout->fxColor, bpp);
  int64_t i0 = 0, j0 = 0, i1 = g->width, j1 = g->height;
  if (clipped) {
    i0 = std::max<int64_t>(0, area.x0 - gx);
    j0 = std::max<int64_t>(0, area.y0 - gy);
    i1 = std::min<int64_t>(g->width, area.x1 - gx);
    j1 = std::min<int64_t>(g->height, area.y1 - gy);
  }
  for (int64_t j = j0; j < j1; ++j) {
    for (int64_t i = i0; i < i1; ++i) {
      const uint8_t v = pixels[j * g->width + i];
      if (v == 255) Put(canvas, static_cast<int>(gx + i), static_cast<int>(gy + j), fg);
      if (v == 128) Put(canvas, static_cast<int>(gx + i), static_cast<int>(gy + j), fx);
    }
  }
}

// Opaque cells: the whole cell from the font's top to its bottom, the
// glyph's width wide; rows outside the glyph take value 0.
void BlitOpaque(const TextLayout* layout, const TextFontHeader* h, const TextFontGlyph* g,
                const uint8_t* pixels, int64_t gx, int64_t gy, const Rect& area) {
  const TextCanvas* canvas = layout->canvas;
  const int bpp = canvas->bytesPerPixel;
  const int64_t top = int64_t{layout->y} + h->minY;
  const int64_t bottom = int64_t{layout->y} + h->maxBottom;
  const int64_t x0 = std::max(gx, area.x0), x1 = std::min<int64_t>(gx + g->width, area.x1);
  const int64_t y0 = std::max(top, area.y0), y1 = std::min(bottom, area.y1);
  const uint32_t blank = PixelValue(layout, 0, bpp);
  for (int64_t y = y0; y < y1; ++y) {
    const int64_t j = y - gy;
    for (int64_t x = x0; x < x1; ++x) {
      uint32_t value = blank;
      if (j >= 0 && j < g->height) value = PixelValue(layout, pixels[j * g->width + (x - gx)], bpp);
      Put(canvas, static_cast<int>(x), static_cast<int>(y), value);
    }
  }
}

void DrawGlyphLocked(int code, TextLayout* layout, const TextFontHeader* h) {
  const TextFontGlyph* g = GlyphOf(h, code);
  if (!g) return;
  auto* glyph = const_cast<TextFontGlyph*>(g);
  glyph->pixels = reinterpret_cast<const uint8_t*>(h) + h->pixelOffset + g->pixelPos;
  int64_t x = int64_t{layout->x} + g->xOffset;
  int64_t y = int64_t{layout->y} + g->yOffset;
  int64_t w = g->width, hgt = g->height;
  const bool scaled = layout->xScale != TEXTFONT_SCALE_ONE || layout->yScale != TEXTFONT_SCALE_ONE;
  if (scaled) {
    x = Scaled(x, layout->xScale);
    y = Scaled(y, layout->yScale);
    w = Scaled(w, layout->xScale);
    hgt = Scaled(hgt, layout->yScale);
  }
  // Scaled glyphs only move the pen.
  if (!scaled && CanvasUsable(layout->canvas) && w > 0 && hgt > 0) {
    const Rect area = DrawableArea(layout);
    const bool clipped = x < area.x0 || y < area.y0 || x + w >= area.x1 || y + hgt >= area.y1;
    if (layout->flags & TEXTFONT_OPAQUE) {
      BlitOpaque(layout, h, g, glyph->pixels, x, y, area);
    } else {
      BlitTransparent(layout, g, glyph->pixels, x, y, area, clipped);
    }
  }
  layout->x = ClampInt(layout->x + CharAdvanceOf(h, layout, code));
}

void SetValueTable(const TextLayout* layout) {
  g_font.valueTable[0] = static_cast<uint8_t>(layout->bgColor);
  g_font.valueTable[128] = static_cast<uint8_t>(layout->fxColor);
  g_font.valueTable[255] = static_cast<uint8_t>(layout->fgColor);
}

void DrawLayoutLocked(const char* text, TextLayout* layout, const TextFontHeader* h) {
  const uint32_t flags = layout->flags;
  const uint32_t foreground = layout->fgColor;
  layout->flags &= ~TEXTFONT_OPAQUE;
  SetValueTable(layout);
  const int64_t step = LineStep(h, layout);
  const char* line = text ? text : "";
  while (line) {
    int width = 0, count = 0;
    const char* next = FitLineLocked(line, h, layout, &width, &count, 0);
    const int anchor = layout->x;
    if (layout->flags & TEXTFONT_CENTRE) {
      layout->x = ClampInt(int64_t{layout->x} - width / 2);
    } else if (layout->flags & TEXTFONT_RIGHT) {
      layout->x = ClampInt(int64_t{layout->x} - width);
    }
    for (int i = 0; i < count; ++i) {
      const uint32_t colour = i == layout->hiIndex ? layout->hiColor : foreground;
      layout->fgColor = colour;
      g_font.valueTable[255] = static_cast<uint8_t>(colour);
      DrawGlyphLocked(static_cast<unsigned char>(line[i]), layout, h);
    }
    if (next) {
      layout->x = anchor;
      layout->y = ClampInt(layout->y + step);
    }
    line = next;
  }
  layout->fgColor = foreground;
  g_font.valueTable[255] = static_cast<uint8_t>(foreground);
  layout->flags = flags;
}

// ---- Building font records ------------------------------------------------------

struct GlyphSource {
  uint32_t width = 0, height = 0, xOffset = 0, yOffset = 0;
  const uint8_t* bits = nullptr;  // null: no glyph
};

// A font record from glyph sources; null when no block could be had.
TextFont* BuildFont(const std::vector<GlyphSource>& glyphs, int bitsPerPixel,
                    const uint8_t* valueMap, int32_t lineHeight, int32_t baseline,
                    uint32_t format) {
  HostServices* hs = Services();
  if (!hs || !hs->handleAlloc || !hs->handleLock) return nullptr;
  const uint32_t n = static_cast<uint32_t>(glyphs.size());
  const uint32_t indexOffset = Align8(sizeof(TextFontHeader));
  const uint32_t glyphOffset = Align8(indexOffset + 2ull * n);
  const uint32_t pixelOffset = Align8(glyphOffset + uint64_t{sizeof(TextFontGlyph)} * n);
  uint64_t pixelBytes = 0;
  for (const GlyphSource& g : glyphs) {
    if (g.bits) pixelBytes += uint64_t{g.width} * g.height;
  }
  const size_t size = static_cast<size_t>(pixelOffset + pixelBytes);
  auto* font = static_cast<TextFont*>(hs->handleAlloc(size));
  if (!font) return nullptr;
  auto* base = static_cast<uint8_t*>(hs->handleLock(font));
  if (!base) {
    if (hs->handleFree) hs->handleFree(font);
    return nullptr;
  }
  std::memset(base, 0, size);
  auto* h = reinterpret_cast<TextFontHeader*>(base);
  h->self = font;
  h->lineHeight = lineHeight;
  h->baseline = baseline;
  h->format = format;
  h->one = 1;
  h->glyphCount = n;
  h->indexOffset = indexOffset;
  h->glyphOffset = glyphOffset;
  h->pixelOffset = pixelOffset;
  bool any = false;
  uint32_t position = 0;
  auto* records = reinterpret_cast<TextFontGlyph*>(base + glyphOffset);
  for (uint32_t i = 0; i < n; ++i) {
    const uint16_t index = static_cast<uint16_t>(i);
    std::memcpy(base + indexOffset + 2 * i, &index, 2);
    const GlyphSource& s = glyphs[i];
    TextFontGlyph& g = records[i];
    if (!s.bits) continue;
    g.width = s.width;
    g.height = s.height;
    g.one = 1;
    g.xOffset = static_cast<int32_t>(s.xOffset);
    g.advance = static_cast<int32_t>(s.width + s.xOffset);
    g.yOffset = static_cast<int32_t>(s.yOffset) - baseline;
    g.pixelPos = position;
    TextFont_UnpackBits(s.bits, base + pixelOffset + position, s.width, s.height, bitsPerPixel,
                        valueMap);
    position += s.width * s.height;
    const int32_t bottom = g.yOffset + static_cast<int32_t>(s.height);
    h->minY = any ? std::min(h->minY, g.yOffset) : g.yOffset;
    h->maxBottom = any ? std::max(h->maxBottom, bottom) : bottom;
    any = true;
  }
  if (hs->handleUnlock) hs->handleUnlock(font);
  return font;
}

// Reads a glyph directory: offsets (u32) at base + 4, each glyph's four
// bytes and its packed pixels. Offsets are relative to base. False (with
// the reason) when anything lies outside the bytes that are there.
bool ReadDirectory(const uint8_t* base, size_t size, uint32_t count, int bitsPerPixel,
                   uint32_t maxGlyphBytes, std::vector<GlyphSource>* glyphs, const char** why) {
  if (4 + uint64_t{count} * 4 > size) {
    *why = "the glyph offsets pass the end of the file";
    return false;
  }
  glyphs->assign(count, GlyphSource{});
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t offset = stdLE_GetU32(base + 4 + 4 * i);
    if (offset == 0) continue;
    if (uint64_t{offset} + 4 > size) {
      *why = "a glyph lies outside the file";
      return false;
    }
    GlyphSource& g = (*glyphs)[i];
    g.width = base[offset];
    g.height = base[offset + 1];
    g.xOffset = base[offset + 2];
    g.yOffset = base[offset + 3];
    const uint64_t values = uint64_t{g.width} * g.height;
    if (values > maxGlyphBytes) {
      *why = "a glyph holds more than 1024 bytes";
      return false;
    }
    const uint64_t packed = (values * static_cast<uint64_t>(bitsPerPixel) + 7) / 8;
    if (uint64_t{offset} + 4 + packed > size) {
      *why = "a glyph's pixels pass the end of the file";
      return false;
    }
    g.bits = base + offset + 4;
  }
  return true;
}

// The value map of the built-in font: bit 0 transparent, bit 1 foreground.
constexpr uint8_t kBitMap[16] = {0, 255};

TextFont* BuildBuiltIn(void) {
  const std::vector<uint8_t>& data = TextFont_BuiltInData();
  const uint32_t count = static_cast<uint32_t>(data[0] | data[1] << 8);
  std::vector<GlyphSource> glyphs;
  const char* why = nullptr;
  if (!ReadDirectory(data.data(), data.size(), count, 1, UINT32_MAX, &glyphs, &why)) {
    kv_Log_Printf("[TextFont] - the built-in font data is damaged: %s", why);
    return nullptr;
  }
  const int32_t height = data[2];
  return BuildFont(glyphs, 1, kBitMap, height, height - 1, 0);
}

}  // namespace

// ---- Module ---------------------------------------------------------------------

int TextFont_Initialize(HostServices* services, ModuleDescriptor* descriptor) {
  if (g_font.initialized) return 1;
  g_font.services = services;
  if (descriptor) {
    *descriptor = ModuleDescriptor{};
    descriptor->initialize = TextFont_Initialize;
    descriptor->uninitialize = TextFont_Uninitialize;
    descriptor->startup = TextFont_Startup;
    descriptor->shutdown = TextFont_Shutdown;
    descriptor->save = TextFont_Save;
    descriptor->restore = TextFont_Restore;
  }
  g_font.initialized = true;
  return 0;
}

void TextFont_Uninitialize(void) {
  g_font.initialized = false;
  g_font.services = nullptr;
}

int TextFont_Startup(void) {
  if (!g_font.initialized || g_font.started) return 1;
  for (int i = 0; i < 255; ++i) g_font.valueTable[i] = static_cast<uint8_t>(i);
  g_font.builtIn = BuildBuiltIn();
  if (!g_font.builtIn) return 1;
  g_font.started = true;
  return 0;
}

void TextFont_Shutdown(void) {
  HostServices* hs = Services();
  if (g_font.builtIn && hs && hs->handleFree) hs->handleFree(g_font.builtIn);
  g_font.builtIn = nullptr;
  g_font.started = false;
}

int TextFont_Save(SaveTransferFn write) {
  uint32_t words[3] = {kSaveTag, kSaveVersion, 0};
  for (uint32_t& w : words) {
    if (!write || write(&w, 4) != 0) return 1;
  }
  return 0;
}

int TextFont_Restore(SaveTransferFn read) {
  uint32_t words[3] = {};
  for (uint32_t& w : words) {
    if (!read || read(&w, 4) != 0) return 1;
  }
  return words[0] == kSaveTag && words[1] == kSaveVersion && words[2] == 0 ? 0 : 1;
}

TextFont* TextFont_GetDefault(void) {
  return g_font.builtIn;
}

int TextFont_BuildBuiltInInto(TextFont** out) {
  TextFont* font = BuildBuiltIn();
  if (out) *out = font;
  return font ? 0 : 1;
}

int TextFont_New(const char*, TextFont** out) {
  TextFont* font = BuildFont({}, 1, kBitMap, 0, 0, 0);
  if (font) {
    // All fields 0 but its own handle.
    FontLock lock(font);
    if (TextFontHeader* h = lock.get()) {
      const TextFont* self = h->self;
      std::memset(h, 0, sizeof *h);
      h->self = const_cast<TextFont*>(self);
    }
  }
  if (out) *out = font;
  return font ? 0 : 1;
}

void TextFont_Free(TextFont* font) {
  HostServices* hs = Services();
  if (!font || font == g_font.builtIn || !hs || !hs->handleFree) return;
  hs->handleFree(font);
}

int TextFont_GetBaseline(TextFont* font) {
  FontLock lock(font);
  return lock.get() ? lock.get()->baseline : 0;
}

int TextFont_GetLineHeight(TextFont* font) {
  FontLock lock(font);
  return lock.get() ? lock.get()->lineHeight : 0;
}

// ---- Font files --------------------------------------------------------------------

int TextFont_ParseFile(const uint8_t* data, size_t size, TextFont** out) {
  if (out) *out = nullptr;
  // Six bytes not read, value map entries 1 to 15, then the directory.
  constexpr size_t kDirectory = 6 + 15;
  const char* why = nullptr;
  std::vector<GlyphSource> glyphs;
  uint8_t valueMap[16] = {};
  int bits = 0;
  int height = 0;
  if (!data || size < kDirectory + 4) {
    why = "the file is too short";
  } else {
    std::memcpy(valueMap + 1, data + 6, 15);
    valueMap[1] = 255;
    const uint8_t* directory = data + kDirectory;
    bits = directory[0];
    height = directory[1];
    const uint32_t count = std::min<uint32_t>(directory[2] | directory[3] << 8, 256);
    if (bits < 1 || bits > 4) {
      why = "its bits per pixel are not 1 to 4";
    } else {
      ReadDirectory(directory, size - kDirectory, count, bits, TEXTFONT_MAX_FILE_GLYPH, &glyphs,
                    &why);
    }
  }
  if (why) {
    kv_Log_Printf("[TextFont] - font file refused: %s", why);
    return 1;
  }
  TextFont* font = BuildFont(glyphs, bits, valueMap, height + 1, height - 2, 2);
  if (out) *out = font;
  return font ? 0 : 1;
}

int TextFont_ReadFile(stdFile_t file, TextFont** out) {
  if (out) *out = nullptr;
  HostServices* hs = Services();
  if (!file || !hs || !hs->fileRead) return 1;
  std::vector<uint8_t> data;
  uint8_t chunk[4096];
  size_t got = 0;
  // A font file of more than 16 MB is no font of ours.
  while ((got = hs->fileRead(file, chunk, sizeof chunk)) > 0 && data.size() < (16u << 20)) {
    data.insert(data.end(), chunk, chunk + got);
  }
  return TextFont_ParseFile(data.data(), data.size(), out);
}

int TextFont_LoadFile(const char* name, TextFont** out) {
  if (out) *out = nullptr;
  HostServices* hs = Services();
  if (!name || !hs || !hs->fileOpen) return 1;
  const stdFile_t file = hs->fileOpen(name, "rb");
  if (!file) return 1;
  const int result = TextFont_ReadFile(file, out);
  if (hs->fileClose) hs->fileClose(file);
  return result;
}

void TextFont_UnpackBits(const uint8_t* source, uint8_t* out, uint32_t width, uint32_t height,
                         int bitsPerPixel, const uint8_t* valueMap) {
  const uint64_t total = uint64_t{width} * height;
  const uint32_t mask = (1u << bitsPerPixel) - 1;
  uint64_t bit = 0;
  for (uint64_t i = 0; i < total; ++i) {
    uint32_t value = 0;
    for (int k = 0; k < bitsPerPixel; ++k, ++bit) {
      value = value << 1 | ((source[bit / 8] >> (7 - bit % 8)) & 1u);
    }
    out[i] = valueMap[value & mask];
  }
}

// ---- Layout -----------------------------------------------------------------------

void TextFont_InitLayout(TextLayout* layout, TextCanvas* canvas, TextClip* clip) {
  if (!layout) return;
  *layout = TextLayout{};
  layout->canvas = canvas;
  layout->clip = clip;
  layout->font = g_font.builtIn;
  layout->y = TextFont_GetBaseline(g_font.builtIn);
  layout->fgColor = 255;
  layout->xScale = layout->yScale = TEXTFONT_SCALE_ONE;
  layout->hiIndex = -1;
  layout->alpha = 1.0f;
}

int TextFont_CharWidth(const TextLayout* layout, int code) {
  return layout ? TextFont_FontCharWidth(layout->font, layout, code) : 0;
}

int TextFont_CharAdvance(const TextLayout* layout, int code) {
  return layout ? TextFont_FontCharAdvance(layout->font, layout, code) : 0;
}

int TextFont_FontCharWidth(TextFont* font, const TextLayout* layout, int code) {
  FontLock lock(font);
  return layout ? ClampInt(CharWidthOf(lock.get(), layout, code)) : 0;
}

int TextFont_FontCharAdvance(TextFont* font, const TextLayout* layout, int code) {
  FontLock lock(font);
  return layout ? ClampInt(CharAdvanceOf(lock.get(), layout, code)) : 0;
}

const char* TextFont_FitLine(const char* text, TextFont* font, TextLayout* layout, int* width,
                             int* count, int advancePen) {
  if (!layout) return nullptr;
  FontLock lock(font);
  return FitLineLocked(text, lock.get(), layout, width, count, advancePen);
}

int TextFont_MeasureWidth(const TextLayout* layout, const char* text) {
  if (!layout) return 0;
  FontLock lock(layout->font);
  TextLayout copy = *layout;
  int widest = 0;
  for (const char* line = text ? text : ""; line;) {
    int width = 0;
    line = FitLineLocked(line, lock.get(), &copy, &width, nullptr, 0);
    widest = std::max(widest, width);
  }
  return widest;
}

int TextFont_MeasureHeight(const TextLayout* layout, const char* text) {
  if (!layout) return 0;
  FontLock lock(layout->font);
  TextLayout copy = *layout;
  int64_t lines = 0;
  for (const char* line = text ? text : ""; line; ++lines) {
    line = FitLineLocked(line, lock.get(), &copy, nullptr, nullptr, 0);
  }
  return ClampInt(std::max<int64_t>(lines, 1) * LineStep(lock.get(), layout));
}

// ---- Drawing -------------------------------------------------------------------------

void TextFont_DrawLayout(const char* text, TextLayout* layout, TextFont* font) {
  if (!layout) return;
  FontLock lock(font);
  if (!lock.get()) return;
  DrawLayoutLocked(text, layout, lock.get());
}

void TextFont_DrawText(TextLayout* layout, const char* text) {
  if (!layout) return;
  const char* source = text ? text : "";
  const std::string cut(source, strnlen(source, TEXTFONT_MAX_TEXT));
  TextFont_DrawLayout(cut.c_str(), layout, layout->font);
}

void TextFont_Printf(TextLayout* layout, const char* format, ...) {
  if (!layout || !format) return;
  std::vector<char> buffer(8196);
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer.data(), buffer.size(), format, args);
  va_end(args);
  TextFont_DrawLayout(buffer.data(), layout, layout->font);
}

void TextFont_PrintfAt(TextFont* font, TextCanvas* canvas, TextClip* clip, int x, int y,
                       uint32_t foreground, uint32_t background, uint32_t flags, const char* format,
                       ...) {
  if (!format) return;
  std::vector<char> buffer(8196);
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer.data(), buffer.size(), format, args);
  va_end(args);
  TextLayout layout{};
  layout.canvas = canvas;
  layout.clip = clip;
  layout.font = font;
  layout.x = x;
  layout.y = y;
  layout.fgColor = foreground;
  layout.bgColor = background;
  layout.fxColor = foreground;
  layout.xScale = layout.yScale = TEXTFONT_SCALE_ONE;
  layout.flags = flags;
  layout.hiIndex = -1;
  layout.alpha = 1.0f;
  TextFont_DrawLayout(buffer.data(), &layout, font);
}

void TextFont_DrawChar(TextLayout* layout, int code) {
  if (!layout) return;
  SetValueTable(layout);
  TextFont_DrawGlyph(code, layout, layout->font);
}

void TextFont_DrawGlyph(int code, TextLayout* layout, TextFont* font) {
  if (!layout) return;
  FontLock lock(font);
  if (lock.get()) DrawGlyphLocked(code, layout, lock.get());
}

int TextFont_NextChar(const char** position) {
  if (!position || !*position) return 0;
  const int c = static_cast<unsigned char>(**position);
  if (c == 0) {
    *position = nullptr;
    return 0;
  }
  ++*position;
  return c;
}
