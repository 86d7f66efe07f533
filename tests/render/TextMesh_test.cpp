// Text meshes without GL: per-frame meshes from a font whose glyphs are all
// alike (quads 10 pixels wide, left edges 10 pixels apart), word wrap, the
// line table, alignment and the visible line window; the descriptor reader.
#include "render/TextMesh.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RenderTestFrame.h"
#include "gfx/kv_Surface.h"
#include "render/Font.h"
#include "render/kv_Layouts.h"

namespace {

// Every glyph: a 6 x 30 bitmap at (100, 200) in the atlas, 2 pixels right of
// the pen, 30 above the baseline, advance 10. Its quad (4 pixels wider) thus
// starts at the pen and is 10 wide.
struct FakeFont {
  kvSurface atlas{};
  BakedGlyph glyphs[HdFont_GlyphCount]{};
  HdFont font{};
  FakeFont() {
    atlas.width = atlas.height = HdFont_AtlasSize;
    for (auto& g : glyphs) g = {100, 200, 106, 230, 2.0f, -30.0f, 10.0f};
    font.glyphs = glyphs;
    font.glyphCount = HdFont_GlyphCount;
    font.pixelSize = 44.0f;
    font.surface = &atlas;
  }
};

struct TextMeshTest : ::testing::Test {
  RenderTestFrame frame;
  FakeFont fake;
  TextMesh mesh{};
  TextLineTable table{};

  void Build(const std::string& text) { Text_BuildMesh(&mesh, text.c_str(), &fake.font, 1); }
  const TextVertex* V(uint32_t character) const {
    return reinterpret_cast<const TextVertex*>(mesh.vertexBuffer->data) + 6 * character;
  }
  float Left(uint32_t i) const { return V(i)[0].PositionPx.x; }
  float Top(uint32_t i) const { return V(i)[4].PositionPx.y; }
};

TEST_F(TextMeshTest, OneQuadPerByteWithATwoTexelBorder) {
  Build(std::string("A") + char(182) + "B" + char(255) + "C");
  EXPECT_EQ(mesh.length, 5u);
  EXPECT_EQ(kv_VertexBuffer_GetSize(mesh.vertexBuffer), 5u * 120);
  EXPECT_EQ(mesh.perFrame, 1);
  EXPECT_FLOAT_EQ(mesh.inverseAtlasWidth, 1.0f / 2048);
  // qx = floor(2 + 0 + 0.5) - 2 = 0; qy = floor(-30 + 0.5) + ceil(44) - 2 = 12.
  const TextVertex* a = V(0);
  EXPECT_FLOAT_EQ(a[0].PositionPx.x, 0);
  EXPECT_FLOAT_EQ(a[0].PositionPx.y, 12 + 34);  // bottom edge: 30 + 4 high
  EXPECT_FLOAT_EQ(a[4].PositionPx.x, 10);
  EXPECT_FLOAT_EQ(a[4].PositionPx.y, 12);
  EXPECT_FLOAT_EQ(a[0].TexCoord.x, 98.0f / 2048);   // left - 2
  EXPECT_FLOAT_EQ(a[0].TexCoord.y, 232.0f / 2048);  // bottom + 2 on the bottom edge
  EXPECT_FLOAT_EQ(a[4].TexCoord.x, 108.0f / 2048);
  EXPECT_FLOAT_EQ(a[4].TexCoord.y, 198.0f / 2048);  // top - 2 on the top edge
  EXPECT_FLOAT_EQ(Left(1), 10);                     // 182 advances like a space
  EXPECT_FLOAT_EQ(Left(2), 20);
  // 255 draws nothing (an empty quad) and does not advance.
  EXPECT_FLOAT_EQ(V(3)[0].PositionPx.x, V(3)[4].PositionPx.x);
  EXPECT_FLOAT_EQ(V(3)[0].PositionPx.y, V(3)[4].PositionPx.y);
  EXPECT_FLOAT_EQ(Left(4), 30);
  Text_BuildLineTable(&table, &mesh);
  EXPECT_EQ(table.lineCount, 1u);  // 255 does not look like the start of a line
}

TEST_F(TextMeshTest, EmptyText) {
  Build("");
  EXPECT_EQ(mesh.length, 0u);
  Text_WrapMesh(&mesh, "", 100);
  Text_BuildLineTable(&table, &mesh);
  EXPECT_EQ(table.lineCount, 0u);
  Text_JustifyLines(&mesh, &table, 0.5f, 1.0f);
  EXPECT_EQ(table.lineCount, 0u);
  const TextLineWindow w = Text_VisibleLines(&table, 0, 0, 999999);
  EXPECT_EQ(w.vertexCount, 0);
}

TEST_F(TextMeshTest, LongWordKeepsElevenLettersAndSplits) {
  Build("abcdefghijklmno");  // 15 letters
  Text_WrapMesh(&mesh, "abcdefghijklmno", 100);
  for (uint32_t i = 0; i <= 10; ++i) EXPECT_FLOAT_EQ(Left(i), 10.0f * i) << i;
  for (uint32_t i = 11; i < 15; ++i) {
    EXPECT_FLOAT_EQ(Left(i), 10.0f * (i - 11)) << i;
    EXPECT_FLOAT_EQ(Top(i), 12 + 53) << i;  // ceil(44 x 1.2)
  }
  Text_BuildLineTable(&table, &mesh);
  ASSERT_EQ(table.lineCount, 2u);
  EXPECT_EQ(table.lines[0].characterCount, 11u);
  EXPECT_EQ(table.lines[1].firstCharacter, 11u);
  EXPECT_EQ(table.lines[1].firstVertex, 66u);
  EXPECT_FLOAT_EQ(table.lines[0].width, 110);
  EXPECT_FLOAT_EQ(table.maxX, 110);
  EXPECT_FLOAT_EQ(table.maxY, 12 + 53 + 34);
}

TEST_F(TextMeshTest, WordThatDoesNotFitMovesWhole) {
  const std::string text = "abcd efghijkl";  // the second word starts at x = 50
  Build(text);
  Text_WrapMesh(&mesh, text.c_str(), 100);
  for (uint32_t i = 0; i < 5; ++i) EXPECT_FLOAT_EQ(Left(i), 10.0f * i);  // the space stays
  for (uint32_t i = 5; i < 13; ++i) {
    EXPECT_FLOAT_EQ(Left(i), 10.0f * (i - 5)) << i;
    EXPECT_FLOAT_EQ(Top(i), 65) << i;
  }
}

TEST_F(TextMeshTest, NewlineStartsTheNextLineWithItself) {
  const std::string text = "ab\ncd";
  Build(text);
  Text_WrapMesh(&mesh, text.c_str(), 1000);
  EXPECT_FLOAT_EQ(Left(1), 10);
  EXPECT_FLOAT_EQ(Left(2), 0);
  EXPECT_FLOAT_EQ(Top(2), 65);
  EXPECT_FLOAT_EQ(Left(3), 10);
  Text_BuildLineTable(&table, &mesh);
  ASSERT_EQ(table.lineCount, 2u);
  EXPECT_EQ(table.lines[0].characterCount, 2u);
  EXPECT_EQ(table.lines[1].characterCount, 3u);
}

TEST_F(TextMeshTest, Code182NeverBreaksButTheNextWordDoes) {
  const std::string text = std::string("abcdefghij") + char(182) + "xyz";  // 182 at x = 100
  Build(text);
  Text_WrapMesh(&mesh, text.c_str(), 100);
  EXPECT_FLOAT_EQ(Left(10), 100);
  EXPECT_FLOAT_EQ(Top(10), 12);
  EXPECT_FLOAT_EQ(Left(11), 0);
  EXPECT_FLOAT_EQ(Top(11), 65);
  EXPECT_FLOAT_EQ(Left(13), 20);
}

TEST_F(TextMeshTest, EveryCharacterOnItsOwnLineWhenNothingFits) {
  const std::string text = "abc";
  Build(text);
  Text_WrapMesh(&mesh, text.c_str(), 0);
  for (uint32_t i = 0; i < 3; ++i) {
    EXPECT_FLOAT_EQ(Left(i), 0) << i;
    EXPECT_FLOAT_EQ(Top(i), 12 + 53.0f * i) << i;
  }
}

TEST_F(TextMeshTest, JustificationShiftsByTheCeiling) {
  const std::string text = "aaaaaaaaaa\nabcde";  // widths 100 and 60
  Build(text);
  Text_WrapMesh(&mesh, text.c_str(), 1000);
  Text_BuildLineTable(&table, &mesh);
  ASSERT_EQ(table.lineCount, 2u);
  EXPECT_FLOAT_EQ(table.lines[0].width, 100);
  EXPECT_FLOAT_EQ(table.lines[1].width, 60);
  Text_JustifyLines(&mesh, &table, 0.375f, 1.0f);  // -37.5 -> -37, -22.5 -> -22
  EXPECT_FLOAT_EQ(table.lines[0].x, -37);
  EXPECT_FLOAT_EQ(table.lines[1].x, -22);
  // Two lines of 44 pixels: 44 + 52.8 high, so the block rises by 96.
  EXPECT_FLOAT_EQ(table.lines[0].y, 12 - 96);
  EXPECT_FLOAT_EQ(table.minX, -37);
  EXPECT_FLOAT_EQ(table.minY, 12 - 96);
  EXPECT_FLOAT_EQ(table.maxX, 100);  // measured before alignment

  Build("aaaaaaaaaa\nabcdef");
  Text_WrapMesh(&mesh, "aaaaaaaaaa\nabcdef", 1000);
  Text_BuildLineTable(&table, &mesh);
  Text_JustifyLines(&mesh, &table, 0.5f, 0);
  EXPECT_FLOAT_EQ(table.lines[0].x, -50);
  EXPECT_FLOAT_EQ(table.lines[1].x, -35);
}

TEST_F(TextMeshTest, ThreeHundredLinesAreCutAt256) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += i ? "\nab" : "ab";
  Build(text);
  Text_WrapMesh(&mesh, text.c_str(), 1000);
  Text_BuildLineTable(&table, &mesh);
  EXPECT_EQ(table.lineCount, 256u);
  EXPECT_LT(Text_CoveredCharacters(&table), mesh.length);
  Text_JustifyLines(&mesh, &table, 0.5f, 0.5f);
  // The window ends with line 255 rather than at the end of the buffer.
  const TextLineWindow w = Text_VisibleLines(&table, mesh.length, 0, 999999);
  const TextLine& last = table.lines[255];
  EXPECT_EQ(w.startVertex, 0);
  EXPECT_EQ(w.vertexCount, static_cast<int>(last.firstVertex + last.vertexCount));
}

TEST(TextLineWindow, FirstLineAndLimit) {
  TextLineTable table{};
  table.lineCount = 5;
  for (uint32_t i = 0; i < 5; ++i) {
    table.lines[i].firstCharacter = 4 * i;
    table.lines[i].characterCount = 4;
    table.lines[i].firstVertex = 24 * i;
    table.lines[i].vertexCount = 24;
  }
  const struct {
    int first, limit;
    uint32_t line;
    int start, count;
  } cases[] = {
      {0, 999999, 0, 0, 120},  // the default: everything from line 0
      {0, 0, 0, 0, 24},        // a limit of 0 still shows one line
      {1, 2, 1, 24, 48},       // lines 1 and 2
      {10, 1, 4, 96, 24},      // beyond the end: the last line
      {3, 5, 3, 72, -2},       // running past the end: to the end of the buffer
      {-4, 1, 0, 0, 24},      {2, -3, 2, 48, 24},
  };
  for (const auto& c : cases) {
    const TextLineWindow w = Text_VisibleLines(&table, 20, c.first, c.limit);
    EXPECT_EQ(w.firstLine, c.line) << c.first << "," << c.limit;
    EXPECT_EQ(w.startVertex, c.start) << c.first << "," << c.limit;
    EXPECT_EQ(w.vertexCount, c.count) << c.first << "," << c.limit;
  }
}

TEST(FontDescriptor, Reader) {
  const struct {
    const char* text;
    bool ok;
    const char* path;
    float size;
  } cases[] = {
      {"Serif.ttf 40px", true, "FontsHD/Serif.ttf", 40},
      {"  Serif.ttf\t44 px\r\n", true, "FontsHD/Serif.ttf", 44},
      {"a.ttf 12.5", true, "FontsHD/a.ttf", 12.5f},
      {"Serif.ttf", false, "", 0},  // no size
      {"", false, "", 0},
      {"   \n", false, "", 0},
      {"Serif.ttf px", false, "", 0},
      {"Serif.ttf nan", false, "", 0},
      {"Serif.ttf -4px", false, "", 0},
      {"Serif.ttf 1e9px", false, "", 0},
      {"Serif.ttf 40 pixelspixelspixels", false, "", 0},  // a third token of 18 characters
  };
  for (const auto& c : cases) {
    char path[512] = "unchanged";
    float size = -1;
    EXPECT_EQ(HdFont_ParseDescriptor(c.text, path, sizeof path, &size), c.ok) << c.text;
    if (c.ok) {
      EXPECT_STREQ(path, c.path);
      EXPECT_FLOAT_EQ(size, c.size);
    }
  }
  const std::string longName(600, 'x');
  char path[512];
  float size = 0;
  EXPECT_FALSE(HdFont_ParseDescriptor((longName + " 40px").c_str(), path, sizeof path, &size));
}

TEST(FontPixelSize, FollowsTheBackBuffer) {
  // Scales of 1440 x 1080 into 1920 x 1080, 3840 x 2160 and 1366 x 768.
  EXPECT_FLOAT_EQ(Font_ComputePixelSize(44, 1.0f, 16), 44.0f);
  EXPECT_FLOAT_EQ(Font_ComputePixelSize(1, 1.0f, 14), 14.0f);
  EXPECT_FLOAT_EQ(Font_ComputePixelSize(1, 1.0f, 16), 16.0f);
  EXPECT_FLOAT_EQ(Font_ComputePixelSize(44, 2.0f, 16), 88.0f);
  EXPECT_FLOAT_EQ(Font_ComputePixelSize(44, 768.0f / 1080.0f, 16), 31.375f);
}

TEST(FontWordChars, Table) {
  for (int c : std::initializer_list<int>{'a', 'z', 'A', 'Z', '0', '9', '\'', '"', ',', '.', ';',
                                          '!', '?', 192, 255}) {
    EXPECT_TRUE(Font_IsWordChar(c)) << c;
  }
  for (int c : std::initializer_list<int>{' ', '\n', '-', ':', 0, 182, 191, 127})
    EXPECT_FALSE(Font_IsWordChar(c)) << c;
}

}  // namespace
