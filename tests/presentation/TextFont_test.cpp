// The bitmap font: the built-in font's metrics, line fitting and wrapping,
// measuring, drawing with clips, and the font-file reader.
#include "presentation/TextFont.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "std/std.h"

namespace {

HostServices g_hs;

class TextFontTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    HostServices_CopyDefaults(&g_hs);
    std_DefaultServices(&g_hs);
    std_Startup(&g_hs);
  }
  void SetUp() override {
    ModuleDescriptor descriptor{};
    ASSERT_EQ(0, TextFont_Initialize(&g_hs, &descriptor));
    EXPECT_EQ(TextFont_Startup, descriptor.startup);
    EXPECT_EQ(1, TextFont_Initialize(&g_hs, &descriptor));
    ASSERT_EQ(0, TextFont_Startup());
    ASSERT_NE(nullptr, TextFont_GetDefault());
    pixels_.assign(kW * kH, 0);
    canvas_ = {pixels_.data(), kW, kH, 2, 16, kW * 2};
    clip_ = {0, 0, kW, kH};
    TextFont_InitLayout(&layout_, &canvas_, &clip_);
    layout_.palette = palette_;
    layout_.fgColor = 0;
    layout_.bgColor = 1;
    layout_.fxColor = 2;
    layout_.hiColor = 3;
  }
  void TearDown() override {
    TextFont_Shutdown();
    TextFont_Uninitialize();
  }

  // Fits every line of text; each entry is (width, count).
  std::vector<std::pair<int, int>> Lines(const char* text) {
    std::vector<std::pair<int, int>> lines;
    for (const char* line = text; line && lines.size() < 20;) {
      int width = -1, count = -1;
      line = TextFont_FitLine(line, layout_.font, &layout_, &width, &count, 0);
      lines.emplace_back(width, count);
    }
    return lines;
  }
  int Lit() const {
    int n = 0;
    for (uint16_t p : pixels_) n += p != 0;
    return n;
  }

  static constexpr int kW = 64, kH = 32;
  std::vector<uint16_t> pixels_;
  TextCanvas canvas_{};
  TextClip clip_{};
  TextLayout layout_{};
  uint16_t palette_[4] = {0xFFFF, 0, 0x1234, 0xF800};
};

using LineList = std::vector<std::pair<int, int>>;

TEST_F(TextFontTest, BuiltInFontMetrics) {
  EXPECT_EQ(8, TextFont_MeasureWidth(&layout_, "ab"));
  EXPECT_EQ(6, TextFont_MeasureHeight(&layout_, "ab"));
  EXPECT_EQ(6, TextFont_MeasureHeight(&layout_, ""));
  EXPECT_EQ(5, TextFont_GetBaseline(TextFont_GetDefault()));
  EXPECT_EQ(5, layout_.y);
  EXPECT_EQ(4, TextFont_CharAdvance(&layout_, 'W'));
  // The four control glyphs of other sizes.
  EXPECT_EQ(4, TextFont_CharWidth(&layout_, 0));
  EXPECT_EQ(5, TextFont_CharWidth(&layout_, 1));
  EXPECT_EQ(7, TextFont_CharWidth(&layout_, 27));
  EXPECT_EQ(7, TextFont_CharAdvance(&layout_, 28));
  // Scales round up: 4 x 1.5 = 6.
  layout_.xScale = 0x18000;
  EXPECT_EQ(6, TextFont_CharWidth(&layout_, 'a'));
}

TEST_F(TextFontTest, CodesAbove127HaveNoGlyph) {
  EXPECT_EQ(0, TextFont_CharWidth(&layout_, 128));
  EXPECT_EQ(0, TextFont_CharAdvance(&layout_, 255));
  EXPECT_EQ(4, TextFont_MeasureWidth(&layout_,
                                     "\x80"
                                     "a\xFF"));
  EXPECT_EQ(LineList({{4, 3}}), Lines("\x80"
                                      "a\xFF"));
  layout_.x = 10;
  TextFont_DrawText(&layout_, "\x80\xC8");
  EXPECT_EQ(0, Lit());
  EXPECT_EQ(10, layout_.x);
}

TEST_F(TextFontTest, WrappingAndLineEnds) {
  layout_.flags = TEXTFONT_WRAP;
  clip_ = {0, 0, 10, kH};  // W = 10 from pen x 0
  // Three two-letter words: one a line, the spaces at the breaks dropped.
  EXPECT_EQ(LineList({{8, 2}, {8, 2}, {8, 2}}), Lines("ab cd ef"));
  EXPECT_EQ(18, TextFont_MeasureHeight(&layout_, "ab cd ef"));
  // A word wider than W stays whole, also before a newline.
  EXPECT_EQ(LineList({{24, 6}, {8, 2}}), Lines("abcdef\nxy"));
  // CR LF ends the line and adds no empty line; CR LF inside counts once.
  EXPECT_EQ(LineList({{8, 2}}), Lines("ab\r\n"));
  EXPECT_EQ(LineList({{8, 2}, {4, 1}}), Lines("ab\r\nc"));
  // Two trailing spaces count once in width and characters.
  clip_.width = 40;
  EXPECT_EQ(LineList({{16, 4}}), Lines("ab  "));
  // Without wrap, spaces belong to words and only line ends break.
  layout_.flags = 0;
  clip_.width = 10;
  EXPECT_EQ(LineList({{32, 8}}), Lines("ab cd ef"));
  EXPECT_EQ(LineList({{8, 2}, {8, 2}}), Lines("ab\ncd"));
}

TEST_F(TextFontTest, AvailableWidthFollowsJustification) {
  clip_ = {0, 0, 40, kH};
  layout_.x = 30;
  layout_.flags = TEXTFONT_WRAP;  // R = 10
  EXPECT_EQ(3u, Lines("ab cd ef").size());
  layout_.flags = TEXTFONT_WRAP | TEXTFONT_CENTRE;  // 2 x min(30, 10) = 20
  EXPECT_EQ(LineList({{20, 5}, {8, 2}}), Lines("ab cd ef"));
  layout_.flags = TEXTFONT_WRAP | TEXTFONT_RIGHT;  // L = 30
  EXPECT_EQ(LineList({{20, 5}, {8, 2}}), Lines("ab cd ef"));
  layout_.x = 36;  // L = 36
  EXPECT_EQ(LineList({{32, 8}}), Lines("ab cd ef"));
}

TEST_F(TextFontTest, FitLineMovesThePen) {
  layout_.flags = TEXTFONT_WRAP | TEXTFONT_CENTRE;
  layout_.x = 32;
  int width = 0, count = 0;
  const char* next = TextFont_FitLine("ab\ncd", layout_.font, &layout_, &width, &count, 1);
  EXPECT_EQ(11, layout_.y);  // a next line: one line step down
  EXPECT_EQ(32, layout_.x);
  TextFont_FitLine(next, layout_.font, &layout_, &width, &count, 1);
  EXPECT_EQ(36, layout_.x);  // the end: centred moves by half the width
}

TEST_F(TextFontTest, DrawsJustifiedLinesWithHighlight) {
  layout_.x = 32;
  layout_.flags = TEXTFONT_CENTRE;
  layout_.hiIndex = 1;
  TextFont_DrawLayout("II\nI", &layout_, layout_.font);
  // 'I' is a full top row of three pixels; line 1 starts at 32 - 4.
  const auto at = [&](int x, int y) { return pixels_[y * kW + x]; };
  EXPECT_EQ(0xFFFF, at(28, 0));
  EXPECT_EQ(0xF800, at(32, 0));  // the highlighted second character
  EXPECT_EQ(0, at(31, 0));
  // Line 2 restarts its count: its one 'I', centred at 32, is position 0.
  EXPECT_EQ(0xFFFF, at(30, 6));
  EXPECT_EQ(0xFFFF, at(32, 6));
  EXPECT_EQ(0, at(33, 6));
  // The pen stays where the last line ended; colours and flags come back.
  EXPECT_EQ(11, layout_.y);
  EXPECT_EQ(0u, layout_.fgColor);
  EXPECT_EQ(TEXTFONT_CENTRE, layout_.flags);
}

TEST_F(TextFontTest, ClipCuttingALinesTopKeepsRowsInPlace) {
  std::vector<uint16_t> whole;
  layout_.x = 4;
  TextFont_DrawText(&layout_, "H");
  whole = pixels_;
  std::fill(pixels_.begin(), pixels_.end(), 0);
  clip_ = {0, 2, kW, kH - 2};
  layout_.x = 4;
  TextFont_DrawText(&layout_, "H");
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      EXPECT_EQ(y < 2 ? 0 : whole[y * kW + x], pixels_[y * kW + x]) << x << "," << y;
    }
  }
}

TEST_F(TextFontTest, ClipWiderThanTheCanvasStaysInside) {
  // A script can put the clip outside the raster: drawing is cut to the canvas.
  clip_ = {-100, -100, 1000, 1000};
  layout_.x = kW - 2;
  layout_.y = 2;
  TextFont_DrawText(&layout_, "MMMM");
  layout_.x = -3;
  layout_.y = kH + 3;
  TextFont_DrawText(&layout_, "MMMM");
  EXPECT_GT(Lit(), 0);
  // Scaled glyphs are not drawn; only the pen moves.
  std::fill(pixels_.begin(), pixels_.end(), 0);
  layout_.x = 0;
  layout_.y = 5;
  layout_.xScale = layout_.yScale = 0x20000;
  TextFont_DrawText(&layout_, "ab");
  EXPECT_EQ(0, Lit());
  EXPECT_EQ(16, layout_.x);
}

TEST_F(TextFontTest, OpaqueCellsOnAnEightBitCanvas) {
  std::vector<uint8_t> bytes(16 * 8, 7);
  TextCanvas canvas{bytes.data(), 16, 8, 1, 8, 16};
  TextClip clip{0, 0, 16, 8};
  TextLayout layout;
  TextFont_InitLayout(&layout, &canvas, &clip);
  layout.flags = TEXTFONT_OPAQUE;
  layout.fgColor = 9;
  layout.bgColor = 4;
  TextFont_DrawChar(&layout, '.');
  // The whole 4 x 6 cell: background but one foreground dot at (1, 4).
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 16; ++x) {
      const int want = x >= 4 || y >= 6 ? 7 : (x == 1 && y == 4 ? 9 : 4);
      EXPECT_EQ(want, bytes[y * 16 + x]) << x << "," << y;
    }
  }
}

// A font file: six bytes, value map entries 1 to 15, then the directory.
std::vector<uint8_t> FontFile(int bits, int count,
                              const std::vector<std::vector<uint8_t>>& glyphs) {
  std::vector<uint8_t> file(6, 0);
  for (int i = 1; i <= 15; ++i) file.push_back(static_cast<uint8_t>(i == 2 ? 128 : i * 10));
  const size_t directory = file.size();
  file.push_back(static_cast<uint8_t>(bits));
  file.push_back(7);  // line height
  file.push_back(static_cast<uint8_t>(count));
  file.push_back(static_cast<uint8_t>(count >> 8));
  const size_t offsets = file.size();
  file.resize(file.size() + 4 * glyphs.size());
  for (size_t i = 0; i < glyphs.size(); ++i) {
    if (glyphs[i].empty()) continue;
    const uint32_t at = static_cast<uint32_t>(file.size() - directory);
    std::memcpy(&file[offsets + 4 * i], &at, 4);
    file.insert(file.end(), glyphs[i].begin(), glyphs[i].end());
  }
  return file;
}

TEST_F(TextFontTest, FontFileReader) {
  // Glyph 1: 2 x 2 at x offset 1, y offset 0; 2 bits a pixel: values 1, 2, 0, 3.
  const auto file = FontFile(2, 2, {{}, {2, 2, 1, 0, 0b01100011}});
  TextFont* font = nullptr;
  ASSERT_EQ(0, TextFont_ParseFile(file.data(), file.size(), &font));
  EXPECT_EQ(8, TextFont_GetLineHeight(font));
  EXPECT_EQ(5, TextFont_GetBaseline(font));
  TextLayout layout = layout_;
  layout.font = font;
  EXPECT_EQ(3, TextFont_CharAdvance(&layout, 1));
  EXPECT_EQ(0, TextFont_CharWidth(&layout, 0));
  EXPECT_EQ(0, TextFont_CharWidth(&layout, 2));
  // Value 1 maps to 255 (foreground), 2 to 128 (effect), 3 to 30 (left alone).
  layout.x = 0;
  layout.y = 5;
  TextFont_DrawGlyph(1, &layout, font);
  EXPECT_EQ(0xFFFF, pixels_[1]);
  EXPECT_EQ(0x1234, pixels_[2]);
  EXPECT_EQ(0, pixels_[kW + 1]);
  EXPECT_EQ(0, pixels_[kW + 2]);
  TextFont_Free(font);
}

TEST_F(TextFontTest, FontFileReaderRefusesWhatIsNotThere) {
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
  };
  std::vector<uint8_t> big = {33, 32, 0, 0};  // 1056 one-bit pixels
  big.resize(4 + 132, 0xFF);
  auto outside = FontFile(1, 1, {{1, 1, 0, 0, 0x80}});
  outside[6 + 15 + 4] = 0xF0;                                  // the offset points past the end
  auto shortPixels = FontFile(4, 1, {{4, 4, 0, 0, 1, 2, 3}});  // needs 8 bytes
  std::vector<Case> cases = {
      {"empty", {}},
      {"header only", std::vector<uint8_t>(20, 0)},
      {"offsets past the end", FontFile(1, 300, {})},
      {"glyph outside", outside},
      {"pixels past the end", shortPixels},
      {"glyph of more than 1024 bytes", FontFile(1, 1, {big})},
      {"8 bits a pixel", FontFile(8, 0, {})},
  };
  for (const Case& c : cases) {
    TextFont* font = reinterpret_cast<TextFont*>(1);
    EXPECT_EQ(1, TextFont_ParseFile(c.file.data(), c.file.size(), &font)) << c.name;
    EXPECT_EQ(nullptr, font) << c.name;
  }
  EXPECT_EQ(1, TextFont_LoadFile("no such font.laf", nullptr));
}

TEST_F(TextFontTest, EmptyRecordsSaveBlockAndNextChar) {
  TextFont* font = nullptr;
  ASSERT_EQ(0, TextFont_New("whatever.laf", &font));
  TextLayout layout = layout_;
  layout.font = font;
  EXPECT_EQ(0, TextFont_MeasureWidth(&layout, "abc"));
  EXPECT_EQ(0, TextFont_MeasureHeight(&layout, "abc"));
  TextFont_Free(font);
  TextFont_Free(TextFont_GetDefault());  // ignored
  EXPECT_EQ(8, TextFont_MeasureWidth(&layout_, "ab"));

  static std::vector<uint8_t> block;
  block.clear();
  ASSERT_EQ(0, TextFont_Save([](void* d, size_t n) {
              block.insert(block.end(), static_cast<uint8_t*>(d), static_cast<uint8_t*>(d) + n);
              return 0;
            }));
  ASSERT_EQ(12u, block.size());
  EXPECT_EQ(0, std::memcmp(block.data(), "TxtB\1\0\0\0\0\0\0\0", 12));
  static size_t at;
  at = 0;
  const auto read = [](void* d, size_t n) {
    if (at + n > block.size()) return 1;
    std::memcpy(d, block.data() + at, n);
    at += n;
    return 0;
  };
  EXPECT_EQ(0, TextFont_Restore(read));
  block[4] = 2;
  at = 0;
  EXPECT_EQ(1, TextFont_Restore(read));

  const char* p = "ab";
  EXPECT_EQ('a', TextFont_NextChar(&p));
  EXPECT_EQ('b', TextFont_NextChar(&p));
  EXPECT_EQ(0, TextFont_NextChar(&p));
  EXPECT_EQ(nullptr, p);
}

}  // namespace
