#include "render/TextMesh.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "gfx/kv_Buffer.h"
#include "gfx/kv_RenderContext.h"
#include "gfx/kv_Surface.h"
#include "render/Font.h"
#include "render/Quad.h"
#include "render/kv_Layouts.h"

namespace {

constexpr uint8_t kDrawnAsSpace = 182;
constexpr uint8_t kNoGlyph = 255;

// The vertices of a mesh, locked while the object lives.
class LockedVertices {
 public:
  explicit LockedVertices(const TextMesh* mesh) : mesh_(mesh) {
    data_ = static_cast<TextVertex*>(kv_Buffer_Lock(mesh->vertexBuffer));
    // Only whole characters that the buffer holds.
    const size_t room = kv_VertexBuffer_GetSize(mesh->vertexBuffer) / (6 * sizeof(TextVertex));
    count_ = data_ ? static_cast<uint32_t>(std::min<size_t>(room, mesh->length)) : 0;
  }
  ~LockedVertices() { kv_Buffer_Unlock(mesh_->vertexBuffer); }
  uint32_t characters() const { return count_; }
  TextVertex* character(uint32_t i) { return data_ + 6 * static_cast<size_t>(i); }
  float left(uint32_t i) { return character(i)[0].PositionPx.x; }
  float bottom(uint32_t i) { return character(i)[0].PositionPx.y; }
  float right(uint32_t i) { return character(i)[4].PositionPx.x; }
  float top(uint32_t i) { return character(i)[4].PositionPx.y; }
  void Move(uint32_t firstCharacter, uint32_t endCharacter, float dx, float dy) {
    for (size_t v = 6 * static_cast<size_t>(firstCharacter);
         v < 6 * static_cast<size_t>(endCharacter); ++v) {
      data_[v].PositionPx.x += dx;
      data_[v].PositionPx.y += dy;
    }
  }

 private:
  const TextMesh* mesh_;
  TextVertex* data_ = nullptr;
  uint32_t count_ = 0;
};

}  // namespace

void Text_BuildMesh(TextMesh* mesh, const char* text, HdFont* font, int perFrame) {
  *mesh = TextMesh{};
  const uint32_t n = text ? static_cast<uint32_t>(std::strlen(text)) : 0;
  int aw = 1, ah = 1;
  if (font) kv_Surface_GetInfo(font->surface, &aw, &ah, nullptr);
  const size_t bytes = static_cast<size_t>(n) * 6 * sizeof(TextVertex);
  const LayoutDescriptor* layout = kv_Layout_GetDescriptor<TextVertex>();
  kvVertexBuffer* buffer =
      perFrame ? kv_VertexBuffer_AllocateTransient(kv_RenderContext_Get(), bytes, layout)
               : kv_VertexBuffer_Allocate(bytes, layout);
  if (buffer) kv_VertexBuffer_BindLayout<TextVertex>(buffer);
  mesh->font = font;
  mesh->surface = font ? font->surface : nullptr;
  mesh->vertexBuffer = buffer;
  mesh->perFrame = perFrame ? 1 : 0;
  mesh->length = n;
  mesh->inverseAtlasWidth = 1.0f / static_cast<float>(aw);
  mesh->inverseAtlasHeight = 1.0f / static_cast<float>(ah);
  if (!buffer || !font || !font->glyphs) return;

  const float fw = static_cast<float>(aw), fh = static_cast<float>(ah);
  float penX = 0.0f;
  const int baseline = static_cast<int>(std::ceil(font->pixelSize));
  float previousLeft = -2.0f;
  for (uint32_t i = 0; i < n; ++i) {
    const uint8_t c = static_cast<uint8_t>(text[i]);
    if (c == kNoGlyph) {
      // No glyph and no advance: an empty quad just right of the previous
      // character's left edge, so that it neither draws nor looks like the
      // start of a new line.
      const float x = i == 0 ? previousLeft : previousLeft + 0.5f;
      const float y = static_cast<float>(baseline - 2);
      Quad_WriteVertices(x, y, 0, 0, 0, 0, 0, 0, buffer, static_cast<int>(6 * i));
      previousLeft = x;
      continue;
    }
    const BakedGlyph& glyph = font->glyphs[c == kDrawnAsSpace ? ' ' : c];
    const int gw = glyph.x1 - glyph.x0, gh = glyph.y1 - glyph.y0;
    const float qx = std::floor(glyph.xOffset + penX + 0.5f) - 2.0f;
    const float qy = std::floor(glyph.yOffset + 0.5f) + static_cast<float>(baseline) - 2.0f;
    const float left = static_cast<float>(std::max(glyph.x0 - 2, 0));
    const float top = static_cast<float>(std::max(glyph.y0 - 2, 0));
    const float right = static_cast<float>(std::min(glyph.x1 + 2, aw - 1));
    const float bottom = static_cast<float>(std::min(glyph.y1 + 2, ah - 1));
    Quad_WriteVertices(qx, qy, static_cast<float>(gw + 4), static_cast<float>(gh + 4), left / fw,
                       bottom / fh, right / fw, top / fh, buffer, static_cast<int>(6 * i));
    previousLeft = qx;
    penX += glyph.advance;
  }
}

void Text_WrapMesh(TextMesh* mesh, const char* text, float wrapWidth) {
  if (!mesh->vertexBuffer || !text) return;
  LockedVertices v(mesh);
  const uint32_t n = static_cast<uint32_t>(strnlen(text, v.characters()));
  const float lineStep = std::ceil(Font_GetPixelSize(mesh->font) * 1.2f);
  constexpr float kNone = -999999.0f;
  float wordWidth = 0.0f;
  float previousX = kNone;
  uint32_t lineStart = 0;
  int64_t wordStart = -1;
  for (uint32_t i = 0; i < n; ++i) {
    const uint8_t c = static_cast<uint8_t>(text[i]);
    const float x0 = v.left(i), x1 = v.right(i);
    if (previousX != kNone && !(x0 > previousX)) lineStart = i;
    float advance = x1 - x0;
    if (i + 1 < n && v.left(i + 1) > x0) advance = v.left(i + 1) - x0;
    wordWidth += advance;
    float leftNow = x0;
    if ((c == '\n' || x0 >= wrapWidth) && c != kDrawnAsSpace) {
      uint32_t breakAt = i;
      if (c != '\n' && wordStart >= 0 && wrapWidth >= wordWidth) {
        breakAt = static_cast<uint32_t>(wordStart);
      }
      if (breakAt != lineStart) {
        const float dx = -v.left(breakAt);
        v.Move(breakAt, v.characters(), dx, lineStep);
        lineStart = breakAt;
        leftNow = x0 + dx;
      }
    }
    if (Font_IsWordChar(c)) {
      if (wordStart < 0) {
        wordStart = i;
        wordWidth = 0.0f;
      }
    } else {
      wordStart = -1;
    }
    // Where this character is now: after a break the next one is compared with
    // its new place, not with where it stood before it moved down.
    previousX = leftNow;
  }
}

void Text_BuildLineTable(TextLineTable* table, const TextMesh* mesh) {
  std::memset(table, 0, sizeof *table);
  table->minX = table->minY = 999999.0f;
  table->pixelSize = Font_GetPixelSize(mesh->font);
  if (!mesh->vertexBuffer) return;
  LockedVertices v(mesh);
  float previousX = 9999999.0f;
  TextLine* line = nullptr;
  for (uint32_t i = 0; i < v.characters(); ++i) {
    const float x0 = v.left(i);
    if (!line || !(x0 > previousX)) {
      if (table->lineCount == TextLineTable_MaxLines) break;  // the rest is cut
      line = &table->lines[table->lineCount++];
      line->x = x0;
      line->y = v.top(i);
      line->firstCharacter = i;
      line->firstVertex = 6 * i;
    }
    previousX = x0;
    line->width = std::max(line->width, v.right(i) - line->x);
    line->height = std::max(line->height, v.bottom(i) - line->y);
    line->vertexCount += 6;
    line->characterCount += 1;
    table->maxX = std::max(table->maxX, v.right(i));
    table->maxY = std::max(table->maxY, v.bottom(i));
  }
}

void Text_JustifyLines(TextMesh* mesh, TextLineTable* table, float justX, float justY) {
  const uint32_t n = table->lineCount;
  const float ps = table->pixelSize;
  const float textHeight = static_cast<float>(std::min(n, 1u)) * ps +
                           static_cast<float>(n > 0 ? n - 1 : 0) * (ps * 1.2f);
  const float dy = std::ceil(-justY * textHeight);
  table->minX = table->minY = 999999.0f;
  if (!mesh->vertexBuffer) return;
  LockedVertices v(mesh);
  for (uint32_t l = 0; l < n; ++l) {
    TextLine& line = table->lines[l];
    const float dx = std::ceil(-justX * line.width);
    const uint32_t end = std::min(line.firstCharacter + line.characterCount, v.characters());
    v.Move(line.firstCharacter, end, dx, dy);
    float minX = 999999.0f, minY = 999999.0f;
    for (uint32_t i = line.firstCharacter; i < end; ++i) {
      for (int k = 0; k < 6; ++k) {
        minX = std::min(minX, v.character(i)[k].PositionPx.x);
        minY = std::min(minY, v.character(i)[k].PositionPx.y);
      }
    }
    line.x = minX;
    line.y = minY;
    table->minX = std::min(table->minX, minX);
    table->minY = std::min(table->minY, minY);
  }
}

uint32_t Text_CoveredCharacters(const TextLineTable* table) {
  if (table->lineCount == 0) return 0;
  const TextLine& last = table->lines[table->lineCount - 1];
  return last.firstCharacter + last.characterCount;
}

TextLineWindow Text_VisibleLines(const TextLineTable* table, uint32_t meshLength, int firstLine,
                                 int lineLimit) {
  const int n = static_cast<int>(table->lineCount);
  if (n == 0) return {0, 0, 0};
  const int first = std::clamp(firstLine, 0, n - 1);
  const int shown = std::min(lineLimit, n);
  int last = first + shown - 1;
  if (last < first) last = first;
  TextLineWindow window{static_cast<uint32_t>(first),
                        static_cast<int>(table->lines[first].firstVertex), -2};
  const int end = last < n ? last : n - 1;
  if (last < n || Text_CoveredCharacters(table) < meshLength) {
    // Up to the end of the last shown line; when the table was cut, never past it.
    window.vertexCount =
        static_cast<int>(table->lines[end].firstVertex + table->lines[end].vertexCount) -
        window.startVertex;
  }
  return window;
}
