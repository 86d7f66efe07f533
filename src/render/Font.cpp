#include "render/Font.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "gfx/kv_RenderContext.h"
#include "gfx/kv_Surface.h"
#include "platform/kv_Log.h"
#include "platform/kv_Platform.h"
#include "platform/stdByteOrder.h"
#include "render/HardwareOverlay.h"
#include "std/stdFileUtil.h"

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#endif
// The rectangle packer is stb_rect_pack's (Debian's libstb), not the small
// stand-in stb_truetype brings without it: Dear ImGui, in the same program,
// packs its font atlas with stb_rect_pack through these stb_truetype
// functions, and the two packers' records differ.
#include "stb_rect_pack.h"
#define STB_TRUETYPE_IMPLEMENTATION
#include "stb_truetype.h"
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace {

constexpr size_t kNameSize = 256;

struct FontKey {
  char name[kNameSize];
  float size;
};

// The smaller size first; equal sizes by the names' bytes (case-sensitive).
struct FontKeyLess {
  bool operator()(const FontKey& a, const FontKey& b) const {
    if (a.size != b.size) return a.size < b.size;
    return std::memcmp(a.name, b.name, kNameSize) < 0;
  }
};

std::map<FontKey, HdFont*, FontKeyLess>& Cache() {
  static auto* cache = new std::map<FontKey, HdFont*, FontKeyLess>();
  return *cache;
}

struct HdFontEntry {
  void* resource;
  HdFont* font;
  char name[kNameSize];  // the resource name in upper case
};

std::map<const void*, HdFontEntry*>& Registry() {
  static auto* registry = new std::map<const void*, HdFontEntry*>();
  return *registry;
}

// The glyph bitmaps of one pixel size, placed in rows; false when they run past the atlas.
struct GlyphPlan {
  int box[HdFont_GlyphCount][4];  // bx0, by0, bx1, by1
  int position[HdFont_GlyphCount][2];
};

bool PlanGlyphs(const HdFont* font, float g, GlyphPlan* plan) {
  int penX = 2, penY = 2, rowBottom = 2;
  for (uint32_t code = 0; code < HdFont_GlyphCount; ++code) {
    const int glyph = stbtt_FindGlyphIndex(&font->info, static_cast<int>(code));
    int* box = plan->box[code];
    stbtt_GetGlyphBitmapBoxSubpixel(&font->info, glyph, g, g, 0, 0, &box[0], &box[1], &box[2],
                                    &box[3]);
    const int gw = box[2] - box[0], gh = box[3] - box[1];
    if (gw < 0 || gh < 0) return false;
    if (penX + gw + 2 >= HdFont_AtlasSize) {
      penY = rowBottom;
      penX = 2;
    }
    if (penX + gw > HdFont_AtlasSize || penY + gh > HdFont_AtlasSize) return false;
    plan->position[code][0] = penX;
    plan->position[code][1] = penY;
    penX += gw + 4;
    if (penY + gh + 4 > rowBottom) rowBottom = penY + gh + 4;
  }
  return true;
}

float GlyphScale(const HdFont* font, float pixelSize) {
  int ascent = 0, descent = 0, lineGap = 0;
  stbtt_GetFontVMetrics(&font->info, &ascent, &descent, &lineGap);
  return pixelSize / static_cast<float>(ascent - descent);
}

// The offsets of a file's table directory must lie inside the file; stb_truetype
// reads them unchecked.
bool TablesInsideFile(const uint8_t* data, uint32_t size, int offset) {
  if (offset < 0 || static_cast<uint64_t>(offset) + 12 > size) return false;
  const uint8_t* p = data + offset;
  const uint32_t tables = static_cast<uint32_t>(p[4]) << 8 | p[5];
  if (static_cast<uint64_t>(offset) + 12 + 16ull * tables > size) return false;
  for (uint32_t i = 0; i < tables; ++i) {
    const uint8_t* record = p + 12 + 16 * i;
    const uint32_t at =
        static_cast<uint32_t>(record[8]) << 24 | record[9] << 16 | record[10] << 8 | record[11];
    const uint32_t length =
        static_cast<uint32_t>(record[12]) << 24 | record[13] << 16 | record[14] << 8 | record[15];
    if (static_cast<uint64_t>(at) + length > size) return false;
  }
  return true;
}

void FreeFont(HdFont* font) {
  kv_Platform_FreeFileData(font->fileData);
  std::free(font->glyphs);
  std::free(font);
}

}  // namespace

float Font_ComputePixelSize(float size, float scale, int minimumPixelSize) {
  float p = std::ceil(size * scale * 8.0f) * 0.125f;
  if (static_cast<float>(minimumPixelSize) > p) p = static_cast<float>(minimumPixelSize);
  return p;
}

bool Font_GlyphsFit(const HdFont* font, float glyphScale) {
  static GlyphPlan plan;
  return PlanGlyphs(font, glyphScale, &plan);
}

HdFont* FontCache_Acquire(const char* path, float size, int minimumPixelSize) {
  if (!path) return nullptr;
  FontKey key{};
  if (std::strlen(path) >= kNameSize) {
    kv_Log_Printf("Unable to load font: %s (the name is too long)", path);
    return nullptr;
  }
  std::strncpy(key.name, path, kNameSize - 1);
  key.size = size;
  auto found = Cache().find(key);
  if (found != Cache().end()) {
    found->second->useCount += 1;
    return found->second;
  }
  auto* font = static_cast<HdFont*>(std::calloc(1, sizeof(HdFont)));
  if (!font) {
    kv_Log_Printf("Unable to allocate font: %s", path);
    return nullptr;
  }
  size_t fileSize = 0;
  if (!kv_Platform_LoadFile(&font->fileData, &fileSize, path) || !font->fileData ||
      fileSize > UINT32_MAX) {
    kv_Log_Printf("Unable to load font: %s", path);
    FreeFont(font);
    return nullptr;
  }
  font->fileSize = static_cast<uint32_t>(fileSize);
  // A collection's header is 16 bytes, a font's table directory at least 12.
  const int offset = fileSize >= 16 ? stbtt_GetFontOffsetForIndex(font->fileData, 0) : -1;
  int ascent = 0, descent = 0, lineGap = 0;
  bool ok = TablesInsideFile(font->fileData, font->fileSize, offset) &&
            stbtt_InitFont(&font->info, font->fileData, offset) != 0;
  if (ok) {
    stbtt_GetFontVMetrics(&font->info, &ascent, &descent, &lineGap);
    ok = ascent - descent > 0;
  }
  if (!ok) {
    kv_Log_Printf("Unable to initialize font: %s", path);
    FreeFont(font);
    return nullptr;
  }
  font->surface = kv_Surface_Allocate(HdFont_AtlasSize, HdFont_AtlasSize, kvFormat_8x1, 0);
  if (!font->surface || !font->surface->pixels) {
    kv_Log_Printf("Unable to create the atlas of font: %s", path);
    kv_Surface_Release(font->surface);
    FreeFont(font);
    return nullptr;
  }
  font->size = size;
  font->minimumPixelSize = minimumPixelSize;
  font->useCount = 1;
  Font_Bake(font);
  if (!font->glyphs) {
    kv_Log_Printf("Unable to allocate font: %s", path);
    kv_Surface_Release(font->surface);
    FreeFont(font);
    return nullptr;
  }
  Cache().emplace(key, font);
  return font;
}

void Font_Bake(HdFont* font) {
  if (!font) return;
  float scale = 1.0f;
  kv_Platform_AspectFitToBackBuffer(0, VirtualScreenWidth, VirtualScreenHeight, &scale, nullptr,
                                    nullptr, nullptr);
  float p = Font_ComputePixelSize(font->size, scale, font->minimumPixelSize);
  // Past the atlas's own size no glyph fits; the loop below lowers from there.
  if (!(p <= static_cast<float>(HdFont_AtlasSize))) p = static_cast<float>(HdFont_AtlasSize);

  static GlyphPlan plan;
  const float asked = p;
  while (!PlanGlyphs(font, GlyphScale(font, p), &plan)) {
    const float lower = std::floor(p * 0.9f * 8.0f) * 0.125f;
    if (lower < 1.0f) break;  // cannot happen for a sane font; the plan below is clipped
    p = lower;
  }
  if (p != asked) {
    kv_Log_Printf("[Font] - %.3fpx glyphs do not fit a %ix%i atlas; baked at %.3fpx", asked,
                  HdFont_AtlasSize, HdFont_AtlasSize, p);
  }
  font->pixelSize = p;

  auto* glyphs = static_cast<BakedGlyph*>(std::calloc(HdFont_GlyphCount, sizeof(BakedGlyph)));
  if (!glyphs) {
    kv_Log_Printf("[Font] - no memory for a glyph table; the font keeps its last bake");
    return;
  }
  std::free(font->glyphs);
  font->glyphs = glyphs;
  font->glyphCount = HdFont_GlyphCount;

  void* pixels = nullptr;
  int rowLength = 0;
  if (!kv_Surface_Lock(kv_RenderContext_Get(), font->surface, &pixels, &rowLength)) return;
  auto* atlas = static_cast<uint8_t*>(pixels);
  std::memset(atlas, 0, static_cast<size_t>(HdFont_AtlasSize) * HdFont_AtlasSize);
  const float g = GlyphScale(font, p);
  const bool fits = PlanGlyphs(font, g, &plan);
  for (uint32_t code = 0; code < HdFont_GlyphCount; ++code) {
    const int glyph = stbtt_FindGlyphIndex(&font->info, static_cast<int>(code));
    int advanceWidth = 0, leftBearing = 0;
    stbtt_GetGlyphHMetrics(&font->info, glyph, &advanceWidth, &leftBearing);
    const int* box = plan.box[code];
    const int x = plan.position[code][0], y = plan.position[code][1];
    const int gw = box[2] - box[0], gh = box[3] - box[1];
    BakedGlyph& b = glyphs[code];
    b.advance = static_cast<float>(advanceWidth) * g + (p <= 18.0f ? 1.0f : 0.0f);
    if (!fits) continue;  // only a font whose glyphs never fit: drawn as empty boxes
    if (gw > 0 && gh > 0) {
      stbtt_MakeGlyphBitmapSubpixel(&font->info, atlas + static_cast<size_t>(y) * rowLength + x, gw,
                                    gh, rowLength, g, g, 0, 0, glyph);
    }
    b.x0 = static_cast<uint16_t>(x);
    b.y0 = static_cast<uint16_t>(y);
    b.x1 = static_cast<uint16_t>(x + gw);
    b.y1 = static_cast<uint16_t>(y + gh);
    b.xOffset = static_cast<float>(box[0]);
    b.yOffset = static_cast<float>(box[1]);
  }
  kv_Surface_Unlock(font->surface, &pixels);
}

void Font_RelayoutAll(void) {
  for (auto& [key, font] : Cache()) Font_Bake(font);
}

float Font_GetPixelSize(const HdFont* font) {
  return font ? font->pixelSize : 0.0f;
}

bool Font_IsWordChar(int code) {
  if ((code >= 'a' && code <= 'z') || (code >= 'A' && code <= 'Z') || (code >= '0' && code <= '9'))
    return true;
  if (code >= 192 && code <= 255) return true;
  return std::strchr("'\",.;!?", code) != nullptr && code != 0;
}

// The registry -----------------------------------------------------------------------

bool HdFont_ParseDescriptor(const char* text, char* fontPath, size_t fontPathSize, float* size) {
  static constexpr char kFolder[] = "FontsHD/";
  if (!text || !fontPath || fontPathSize <= sizeof kFolder - 1 || !size) return false;
  auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  const char* p = text;
  while (*p && isSpace(*p)) ++p;
  const char* file = p;
  while (*p && !isSpace(*p)) ++p;
  const size_t fileLength = static_cast<size_t>(p - file);
  if (fileLength == 0 || sizeof kFolder - 1 + fileLength >= fontPathSize) return false;

  while (*p && isSpace(*p)) ++p;
  char* end = nullptr;
  const float value = std::strtof(p, &end);
  if (end == p || !(value > 0.0f && value <= 2048.0f)) return false;  // no size, or no sane one
  p = end;

  while (*p && isSpace(*p)) ++p;
  const char* unit = p;
  while (*p && !isSpace(*p)) ++p;
  if (p - unit > 15) return false;  // the unit token has a 16-byte buffer

  std::memcpy(fontPath, kFolder, sizeof kFolder - 1);
  std::memcpy(fontPath + sizeof kFolder - 1, file, fileLength);
  fontPath[sizeof kFolder - 1 + fileLength] = 0;
  *size = value;
  return true;
}

void HdFontRegistry_OnResourceLoaded(uint32_t typeTag, const char* name, void* resource,
                                     int /*fromCache*/) {
  if (typeTag != stdLE_Tag("FONT") || !name) return;
  if (std::strlen(name) >= kNameSize) {
    std::printf("Font '%.64s...' loaded; the name is too long for a high-definition font.\n", name);
    return;
  }
  char upper[kNameSize] = {};
  for (size_t i = 0; name[i]; ++i) {
    upper[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[i])));
  }

  auto& registry = Registry();
  for (auto it = registry.begin(); it != registry.end(); ++it) {
    if (std::strcmp(it->second->name, upper) == 0) {
      // A new object for a font already known: the entry follows it.
      HdFontEntry* entry = it->second;
      registry.erase(it);
      entry->resource = resource;
      registry[resource] = entry;
      return;
    }
  }
  if (registry.count(resource)) {
    std::printf("Font '%s' loaded; already in hardware cache.\n", upper);
    return;
  }

  char descriptorPath[512];
  std::snprintf(descriptorPath, sizeof descriptorPath, "FontsHD/%s.txt", upper);
  // The descriptor's name is upper case; on disk it may be spelled otherwise.
  std::string hostPath;
  stdFileUtil_ResolvePath(descriptorPath, &hostPath);
  uint8_t* text = nullptr;
  size_t textSize = 0;
  if (!kv_Platform_LoadFile(&text, &textSize, hostPath.c_str()) || !text) {
    std::printf("Font '%s' loaded; '%s' not found.\n", upper, descriptorPath);
    return;
  }
  char fontPath[512];
  float size = 0.0f;
  const bool parsed =
      HdFont_ParseDescriptor(reinterpret_cast<const char*>(text), fontPath, sizeof fontPath, &size);
  kv_Platform_FreeFileData(text);
  if (!parsed) {
    std::printf("Font '%s' loaded; '%s' is invalid (expected '<fontname> <size>px').\n", upper,
                descriptorPath);
    return;
  }
  // The font's name comes from a data file: it stays inside the search roots.
  std::string fontHostPath;
  stdFileUtil_ResolvePath(fontPath, &fontHostPath);
  HdFont* font = FontCache_Acquire(fontHostPath.c_str(), size, 16);
  if (!font) {
    std::printf("Font '%s' loaded; '%s' load failed.\n", upper, descriptorPath);
    return;
  }
  auto* entry = static_cast<HdFontEntry*>(std::calloc(1, sizeof(HdFontEntry)));
  if (!entry) return;
  entry->resource = resource;
  entry->font = font;
  std::memcpy(entry->name, upper, sizeof upper);
  registry[resource] = entry;
  std::printf("Font '%s' loaded; '%s' -> '%s', %fpx\n", upper, descriptorPath, fontPath, size);
}

HdFont* HdFontRegistry_Find(const void* resource) {
  auto found = Registry().find(resource);
  return found != Registry().end() ? found->second->font : nullptr;
}
