#include "render/HardwareBackend.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>

#include "gfx/kv_Buffer.h"
#include "gfx/kv_RenderContext.h"
#include "gfx/kv_RenderTarget.h"
#include "platform/kv_Log.h"
#include "platform/kv_RenderHooks.h"
#include "render/Font.h"
#include "render/HardwareOverlay.h"
#include "render/Quad.h"
#include "render/RenderHost.h"
#include "render/kv_Layouts.h"

namespace {

RenderHookTable g_table;

std::map<TextObject*, TextCacheEntry*>& Cache() {
  static auto* cache = new std::map<TextObject*, TextCacheEntry*>();
  return *cache;
}

bool ReadTextObject(TextObject* object, TextObjectDrawInfo* info) {
  *info = TextObjectDrawInfo{};
  info->lineCount = 999999;
  return object && RenderHost_Calls().readTextObject(object, info) != 0;
}

// The back buffer's size in pixels; false before there is one.
bool BackBufferSize(float* width, float* height) {
  kvRenderTarget* colour = nullptr;
  kv_Platform_GetBackBuffer(&colour, nullptr);
  int w = 0, h = 0;
  if (colour) kv_RenderTarget_GetInfo(colour, &w, &h, nullptr);
  if (w <= 0 || h <= 0) return false;
  *width = static_cast<float>(w);
  *height = static_cast<float>(h);
  return true;
}

// Truncation toward zero that saturates instead of overflowing.
int TruncateToInt(double value) {
  if (!(value > static_cast<double>(INT_MIN))) return value != value ? 0 : INT_MIN;
  if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
  return static_cast<int>(value);
}

void ReleaseEntry(TextCacheEntry* entry) {
  if (!entry->mesh.perFrame) kv_Buffer_Release(entry->mesh.vertexBuffer);
  entry->mesh.vertexBuffer = nullptr;
  entry->mesh.length = 0;
  entry->mesh.surface = nullptr;
  std::free(entry);
}

// The text record of a laid-out mesh: both stages read the TextConstants block.
void BuildTextRecord(DrawRecord* record, const TextMesh& mesh, const kvConstantBlock& block,
                     int filter, const TextLineWindow& window) {
  *record = DrawRecord{};
  record->primitiveKind = 4;
  record->program = TextProgram;
  record->vertexConstants = block;
  record->pixelConstants = block;
  record->blendEnabled = 1;
  record->blendMode = 0;
  record->textureCount = 1;
  record->textures[0] = mesh.surface;
  record->samplerCount = 1;
  record->samplerStates[0] = {2, filter, filter, 0};
  record->first = window.startVertex;
  record->count = window.vertexCount;
  record->vertexBuffer = mesh.vertexBuffer;
}

void WriteTextConstants(TextConstants* c, const float* textColor, const float* shadowColor,
                        float originX, float originY, const TextMesh& mesh) {
  c->TextColor = {textColor[0], textColor[1], textColor[2], textColor[3]};
  c->ShadowColor = {shadowColor[0], shadowColor[1], shadowColor[2], shadowColor[3]};
  c->Origin = {originX, originY};
  kv_Platform_GetPixelToClipScale(&c->PixelSize.x, &c->PixelSize.y);
  c->TexelSize = {mesh.inverseAtlasWidth, mesh.inverseAtlasHeight};
}

}  // namespace

// The text-object cache ----------------------------------------------------------

TextCacheEntry* TextCache_Get(TextObject* textObject) {
  auto found = Cache().find(textObject);
  if (found != Cache().end()) return found->second;
  TextObjectDrawInfo info;
  if (!ReadTextObject(textObject, &info) || !info.text || !info.text[0]) return nullptr;
  HdFont* font = HdFontRegistry_Find(info.fontData);
  if (!font) font = OverlayFont;
  float backW = 0, backH = 0;
  if (!font || !BackBufferSize(&backW, &backH)) return nullptr;

  auto* entry = static_cast<TextCacheEntry*>(std::calloc(1, sizeof(TextCacheEntry)));
  if (!entry) return nullptr;
  entry->textObject = textObject;
  Text_BuildMesh(&entry->mesh, info.text, font, 0);
  const float sx = backW / static_cast<float>(VirtualScreenWidth);
  const float sy = backH / static_cast<float>(VirtualScreenHeight);
  const float s = sx > sy ? sy : sx;
  Text_WrapMesh(&entry->mesh, info.text, static_cast<float>(info.wrapWidth) * s);
  Text_BuildLineTable(&entry->lines, &entry->mesh);
  Text_JustifyLines(&entry->mesh, &entry->lines, info.justification, info.verticalAnchor);
  kv_Color_UnpackRGB(info.foreground, entry->textColor, info.alpha);
  kv_Color_UnpackRGB(0, entry->shadowColor, info.alpha);
  Cache()[textObject] = entry;
  return entry;
}

uint32_t TextCache_GetLineCount(TextObject* textObject) {
  const TextCacheEntry* entry = TextCache_Get(textObject);
  return entry ? entry->lines.lineCount : 0;
}

uint32_t TextCache_GetLineValues(TextObject* textObject, int32_t* counts, uint32_t max) {
  const TextCacheEntry* entry = TextCache_Get(textObject);
  if (!entry || !counts) return 0;
  const uint32_t n = entry->lines.lineCount < max ? entry->lines.lineCount : max;
  for (uint32_t i = 0; i < n; ++i) {
    counts[i] = static_cast<int32_t>(entry->lines.lines[i].characterCount);
  }
  return n;
}

// Hooks --------------------------------------------------------------------------------

int Hardware_SurfaceFreed(void* object) {
  auto found = Cache().find(static_cast<TextObject*>(object));
  if (found == Cache().end()) return 0;  // not a text object this cache knows
  ReleaseEntry(found->second);
  Cache().erase(found);
  return 0;
}

void Hardware_DisplayChanged(void) {
  for (auto& [object, entry] : Cache()) ReleaseEntry(entry);
  Cache().clear();
}

int Hardware_DrawTextObject(TextObject* textObject, int /*flag*/) {
  TextCacheEntry* entry = TextCache_Get(textObject);
  if (!entry) return 0;
  TextObjectDrawInfo info;
  float backW = 0, backH = 0;
  if (!ReadTextObject(textObject, &info) || !BackBufferSize(&backW, &backH)) return 0;

  const int stretch = kv_RenderHooks_IsWidescreen() && !VirtualScreenIsWide ? 1 : 0;
  float sx = 1, sy = 1, ox = 0, oy = 0;
  kv_Platform_AspectFit(stretch, static_cast<uint32_t>(backW), static_cast<uint32_t>(backH),
                        VirtualScreenWidth, VirtualScreenHeight, &sx, &sy, &ox, &oy);
  ox -= Overlay_VirtualScreenShift() * sx;

  const TextLineWindow window =
      Text_VisibleLines(&entry->lines, entry->mesh.length, info.firstLine, info.lineCount);
  if (window.vertexCount == 0) return 0;
  kvConstantBlock block;
  kv_RenderContext_AllocConstants(&block, kv_RenderContext_Get(), sizeof(TextConstants),
                                  kv_Layout_GetDescriptor<TextConstants>());
  if (auto* c = static_cast<TextConstants*>(block.data)) {
    WriteTextConstants(c, entry->textColor, entry->shadowColor, info.x * sx + ox, info.y * sy + oy,
                       entry->mesh);
    // A later first line is drawn where line 0 would be.
    if (window.firstLine > 0) {
      c->Origin.y -= entry->lines.pixelSize * static_cast<float>(window.firstLine) * 1.21f;
    }
  }
  DrawRecord record;
  BuildTextRecord(&record, entry->mesh, block, 1, window);
  if (!record.program) return 0;
  RenderBucket_Add(HardwareOverlayBucket, &record);
  return 1;
}

void Hardware_GetTextExtent(void* fontData, TextObject* textObject, int* x, int* y, int* width,
                            int* height) {
  float backW = 0, backH = 0;
  if (!BackBufferSize(&backW, &backH)) return;
  const bool stretch = kv_RenderHooks_IsWidescreen() && !VirtualScreenIsWide;
  const float sx = backW / static_cast<float>(VirtualScreenWidth);
  const float sy = backH / static_cast<float>(VirtualScreenHeight);
  const float m = sx > sy ? sy : sx;
  float kx = stretch ? sx : m, ky = stretch ? sy : m;

  if (fontData && height) {
    // A font's line height.
    const HdFont* font = HdFontRegistry_Find(fontData);
    if (!font) return;
    *height = TruncateToInt(std::ceil(font->pixelSize / ky));
    return;
  }
  if (!textObject) return;
  TextObjectDrawInfo info;
  const TextCacheEntry* entry = TextCache_Get(textObject);
  if (!entry || !ReadTextObject(textObject, &info)) {
    // An empty text has no extent.
    for (int* out : {x, y, width, height}) {
      if (out) *out = 0;
    }
    return;
  }
  const float px = static_cast<float>(TruncateToInt(info.x * kx));
  const float py = static_cast<float>(TruncateToInt(info.y * ky));
  if (x) *x = TruncateToInt(std::floor((entry->lines.minX + px) / kx));
  if (y) *y = TruncateToInt(std::floor(py / ky));
  if (stretch) kx = ky = kx < ky ? kx : ky;
  if (width) *width = TruncateToInt(std::ceil(std::fabs(entry->lines.maxX) / kx));
  if (height) *height = TruncateToInt(std::ceil(std::fabs(entry->lines.maxY) / ky));
}

int Hardware_FillRect(qxCanvas* /*canvas*/, int x0, int y0, int x1, int y1, int colour,
                      int /*pattern*/, float alpha) {
  float backW = 0, backH = 0;
  if (!BackBufferSize(&backW, &backH)) return 0;
  // Fills are always fitted, never stretched.
  float s = 1, ox = 0, oy = 0;
  kv_Platform_AspectFit(0, static_cast<uint32_t>(backW), static_cast<uint32_t>(backH),
                        VirtualScreenWidth, VirtualScreenHeight, &s, nullptr, &ox, &oy);
  ox -= Overlay_VirtualScreenShift() * s;
  const float x = static_cast<float>(x0) * s + ox;
  const float y = static_cast<float>(y0) * s + oy;
  const float w = static_cast<float>(static_cast<int64_t>(x1) - x0) * s;
  const float h = static_cast<float>(static_cast<int64_t>(y1) - y0) * s;
  const uint32_t packed = static_cast<uint32_t>(colour);
  const float r = static_cast<float>(packed & 0xFF) / 255.0f * alpha;
  const float g = static_cast<float>((packed >> 8) & 0xFF) / 255.0f * alpha;
  const float b = static_cast<float>((packed >> 16) & 0xFF) / 255.0f * alpha;
  DrawRecord record;
  Quad_BuildColorDrawForBackBuffer(&record, r, g, b, alpha, x, y, 0, 0, w, h);
  if (record.program) RenderBucket_Add(HardwareOverlayBucket, &record);
  return 0;
}

// Debug text ------------------------------------------------------------------------------

void HardwareOverlay_DrawDebugText(const char* text, int x, int y, float r, float g, float b,
                                   int* right, int* bottom) {
  float backW = 0, backH = 0;
  if (!text || !DebugFont || !BackBufferSize(&backW, &backH)) return;
  TextMesh mesh;
  Text_BuildMesh(&mesh, text, DebugFont, 1);
  Text_WrapMesh(&mesh, text, static_cast<float>(VirtualScreenWidth));
  static TextLineTable lines;  // 8 KB: kept off the stack
  Text_BuildLineTable(&lines, &mesh);
  Text_JustifyLines(&mesh, &lines, 0, 0);

  float s = 1, ox = 0, oy = 0;
  kv_Platform_AspectFit(0, static_cast<uint32_t>(backW), static_cast<uint32_t>(backH),
                        VirtualScreenWidth, VirtualScreenHeight, &s, nullptr, &ox, &oy);
  ox -= Overlay_VirtualScreenShift() * s;

  const TextLineWindow window = Text_VisibleLines(&lines, mesh.length, 0, INT_MAX);
  if (window.vertexCount != 0) {
    kvConstantBlock block;
    kv_RenderContext_AllocConstants(&block, kv_RenderContext_Get(), sizeof(TextConstants),
                                    kv_Layout_GetDescriptor<TextConstants>());
    if (auto* c = static_cast<TextConstants*>(block.data)) {
      const float textColor[4] = {r, g, b, 1.0f}, shadowColor[4] = {0, 0, 0, 1.0f};
      WriteTextConstants(c, textColor, shadowColor, static_cast<float>(x) * s + ox,
                         static_cast<float>(y) * s + oy, mesh);
    }
    DrawRecord record;
    BuildTextRecord(&record, mesh, block, 0, window);
    if (record.program) RenderBucket_Add(DebugOverlayBucket, &record);
  }
  if (right) *right = TruncateToInt(lines.maxX / s + static_cast<float>(x));
  if (bottom) *bottom = TruncateToInt(lines.maxY / s + static_cast<float>(y));
}

// Registration -------------------------------------------------------------------------------

RenderHookTable* InitHardwareBackend(void) {
  kv_Log_Printf("Initializing hardware renderer...");
  if (!HardwareOverlay_Init()) {
    kv_Log_Printf("[OpenGL] The hardware renderer could not be set up; it is not registered.");
    return nullptr;
  }
  std::memset(&g_table, 0, sizeof g_table);
  g_table.SurfaceFreed = Hardware_SurfaceFreed;
  g_table.DrawTextObject = Hardware_DrawTextObject;
  g_table.ResourceLoaded = HdFontRegistry_OnResourceLoaded;
  g_table.GetTextExtent = Hardware_GetTextExtent;
  g_table.FillRect = Hardware_FillRect;
  g_table.DisplayChanged = Hardware_DisplayChanged;
  return kv_RenderHooks_Register(&g_table);
}
