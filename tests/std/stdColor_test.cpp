#include "std/stdColor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "std/std.h"
#include "std/stdDisplay.h"
#include "std/stdPaletteFx.h"

namespace {

const ColorFormat k565 = {1, 16, 5, 6, 5, 11, 5, 0, 3, 2, 3, 0, 0, 0};
const ColorFormat k555 = {1, 16, 5, 5, 5, 10, 5, 0, 3, 3, 3, 0, 0, 0};
const ColorFormat k24 = {1, 24, 8, 8, 8, 16, 8, 0, 0, 0, 0, 0, 0, 0};
// 4-4-4-4 with alpha on top, for the alpha packers.
const ColorFormat k4444 = {1, 16, 4, 4, 4, 8, 4, 0, 4, 4, 4, 4, 12, 4};

class ColorTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static HostServices hs;
    HostServices_CopyDefaults(&hs);
    std_DefaultServices(&hs);
    std_Startup(&hs);
  }
  void SetUp() override { stdColor_ResetRowCounter(); }
};

std::vector<uint16_t> Convert24To16(const std::vector<uint8_t>& rgb, const ColorFormat& f) {
  std::vector<uint16_t> out(rgb.size() / 3);
  stdColor_ConvertPixels(out.data(), &f, rgb.data(), &k24, static_cast<int>(out.size()));
  return out;
}

TEST_F(ColorTest, WhiteAndBlackOnEveryDitherRow) {
  for (int row = 0; row < 4; ++row) {
    const auto out = Convert24To16({255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
                                    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0},
                                   k565);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(out[i], 0xFFFF) << row;
    for (int i = 4; i < 8; ++i) EXPECT_EQ(out[i], 0) << row;
  }
}

// The dither pinned by an 8x4 image: each channel level is
// (value x ceil(levels / 255 x 65536) + offset) >> 16 with the offsets
// 4096 x Bayer + 31, the offset of pixel k being row[(pixels left) & 3] and
// the row the call count & 3. Computed here from the Bayer pattern, not from
// the engine's table.
TEST_F(ColorTest, GoldenDitheredImage) {
  const int bayer[4][4] = {{0, 12, 3, 15}, {8, 4, 11, 7}, {2, 14, 1, 13}, {10, 6, 9, 5}};
  std::vector<uint8_t> image;
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 8; ++x) {
      image.push_back(static_cast<uint8_t>(20 + 29 * x + 3 * y));  // red ramp
      image.push_back(static_cast<uint8_t>(130 + 2 * x - y));      // mid green
      image.push_back(static_cast<uint8_t>(250 - 31 * y - x));     // blue ramp
    }
  }
  const uint32_t m5 = (31 * 65536 + 254) / 255, m6 = (63 * 65536 + 254) / 255;
  for (int y = 0; y < 4; ++y) {
    std::vector<uint8_t> row(image.begin() + y * 24, image.begin() + (y + 1) * 24);
    const auto out = Convert24To16(row, k565);  // call y + 1: dither row (y + 1) & 3
    for (int x = 0; x < 8; ++x) {
      const uint32_t d = 4096u * bayer[(y + 1) & 3][(8 - x) & 3] + 31;
      const uint32_t r = (row[3 * x] * m5 + d) >> 16;
      const uint32_t g = (row[3 * x + 1] * m6 + d) >> 16;
      const uint32_t b = (row[3 * x + 2] * m5 + d) >> 16;
      EXPECT_EQ(out[x], (r << 11) | (g << 5) | b) << x << "," << y;
    }
  }
  // One pixel written out by hand (first call: dither row 1).
  stdColor_ResetRowCounter();
  const auto first = Convert24To16({20, 130, 250}, k565);
  // k = 1: offset 16415; r = (20*7968+16415)>>16 = 2, g = (130*16192+16415)>>16 = 32,
  // b = (250*7968+16415)>>16 = 30.
  EXPECT_EQ(first[0], (2 << 11) | (32 << 5) | 30);
}

TEST_F(ColorTest, MidLevelAlternatesAndShiftsPerRow) {
  // 136 lies between two 5-bit levels (16.53): the Bayer offsets decide.
  std::vector<uint8_t> grey(8 * 3, 136);
  std::vector<std::vector<int>> rows;
  for (int r = 0; r < 4; ++r) {
    const auto out = Convert24To16(grey, k555);
    std::vector<int> red;
    for (uint16_t p : out) red.push_back(p >> 10);
    rows.push_back(red);
    for (int x = 0; x < 4; ++x) EXPECT_EQ(red[x], red[x + 4]);  // 4-pixel pattern
    EXPECT_NE(std::count(red.begin(), red.end(), 16), 0);
    EXPECT_NE(std::count(red.begin(), red.end(), 17), 0);
  }
  EXPECT_NE(rows[0], rows[1]);
}

TEST_F(ColorTest, BlueFollowsTheDestinationShift) {
  const ColorFormat bgr565 = {1, 16, 5, 6, 5, 0, 5, 11, 3, 2, 3, 0, 0, 0};
  const auto out = Convert24To16({0, 0, 255}, bgr565);
  EXPECT_EQ(out[0], 31 << 11);
}

TEST_F(ColorTest, SixteenBitConversions) {
  const uint16_t green555 = 31 << 5;
  uint16_t out = 0;
  stdColor_ConvertPixels(&out, &k565, &green555, &k555, 1);
  EXPECT_EQ(out, 63 << 5);
  const uint16_t black = 0;
  stdColor_ConvertPixels(&out, &k565, &black, &k555, 1);
  EXPECT_EQ(out, 0);

  const uint16_t white = 0xFFFF;
  uint8_t rgb[3];
  stdColor_ConvertPixels(rgb, &k24, &white, &k565, 1);
  EXPECT_EQ(rgb[0], 248);
  EXPECT_EQ(rgb[1], 252);
  EXPECT_EQ(rgb[2], 248);
}

TEST_F(ColorTest, PalettePackers) {
  uint8_t palette[768] = {};
  palette[3] = 255, palette[4] = 128, palette[5] = 8;  // entry 1
  palette[0] = palette[1] = palette[2] = 255;          // entry 0 white
  uint16_t out[256];
  ASSERT_EQ(stdColor_PackPalette16(palette, out, &k565), 1);
  EXPECT_EQ(out[0], 0xFFFF);
  EXPECT_EQ(out[1], (31 << 11) | (32 << 5) | 1);
  EXPECT_EQ(stdColor_IndexToPixel(1, palette, &k565), out[1]);

  ASSERT_EQ(stdColor_PackPalette16KeyAlpha(palette, out, &k4444), 1);
  EXPECT_EQ(out[0], 0x0FFF);  // alpha 0 on the key entry
  EXPECT_EQ(out[1], 0xF000 | (15 << 8) | (8 << 4) | 0);
  EXPECT_EQ(out[2], 0xF000);

  ASSERT_EQ(stdColor_PackPalette16Alpha(palette, out, &k4444, 0x180), 1);  // low 8 bits: 128
  EXPECT_EQ(out[0], 0x0FFF);
  EXPECT_EQ(out[2], 0x8000);
}

TEST_F(ColorTest, ClosestIndex) {
  uint8_t palette[16 * 3];
  for (int i = 0; i < 16; ++i) {
    palette[3 * i] = static_cast<uint8_t>(i * 10);
    palette[3 * i + 1] = 0;
    palette[3 * i + 2] = 0;
  }
  palette[7 * 3 + 1] = palette[12 * 3 + 1] = 200;
  palette[7 * 3] = palette[12 * 3] = 5;
  EXPECT_EQ(stdColor_FindClosestIndex(palette, 16, 5, 200, 0), 7);
  EXPECT_EQ(stdColor_FindClosestIndex(palette, 16, 101, 0, 0), 10);
  // Equal distances: the first wins (entries 0 and 1 at 5 from 5).
  EXPECT_EQ(stdColor_FindClosestIndex(palette, 16, 5, 0, 0), 0);
  // Green weighs more than blue.
  const uint8_t two[6] = {0, 10, 0, 0, 0, 10};
  EXPECT_EQ(stdColor_FindClosestIndex(two, 2, 0, 0, 0), 1);
}

TEST_F(ColorTest, HsvAndGamma) {
  float h, s, v;
  stdColor_RGBToHSV(255, 0, 0, &h, &s, &v);
  EXPECT_FLOAT_EQ(h, 0);
  EXPECT_FLOAT_EQ(s, 1);
  EXPECT_NEAR(v, 1, 1e-6);
  stdColor_RGBToHSV(0, 0, 255, &h, &s, &v);
  EXPECT_FLOAT_EQ(h, 240);
  stdColor_RGBToHSV(255, 0, 128, &h, &s, &v);
  EXPECT_GT(h, 300);  // negative sector value folded up

  float r, g, b;
  stdColor_HSVToRGB(240, 1, 1, &r, &g, &b);
  EXPECT_FLOAT_EQ(r, 0);
  EXPECT_FLOAT_EQ(b, 255);
  // Hues outside [0, 360) are folded in, so every output is set.
  for (float hue : {360.0f, 600.0f, -120.0f}) {
    r = g = b = -1;
    stdColor_HSVToRGB(hue, 1, 1, &r, &g, &b);
    float r2, g2, b2;
    stdColor_HSVToRGB(hue == 360.0f ? 0.0f : (hue == 600.0f ? 240.0f : 240.0f), 1, 1, &r2, &g2,
                      &b2);
    EXPECT_FLOAT_EQ(r, r2) << hue;
    EXPECT_FLOAT_EQ(g, g2) << hue;
    EXPECT_FLOAT_EQ(b, b2) << hue;
  }
  stdColor_HSVToRGB(77, 0, 0.5f, &r, &g, &b);
  EXPECT_FLOAT_EQ(g, 127.5f);

  const uint8_t in[3] = {0, 128, 255};
  uint8_t out[3];
  stdColor_ApplyGamma(out, in, 1, 0.5);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 180);  // 255 x sqrt(128 / 255) = 180.6
  EXPECT_EQ(out[2], 255);
}

TEST_F(ColorTest, LoadPalette) {
  uint8_t palette[768];
  std::vector<uint8_t> bytes(768);
  for (int i = 0; i < 768; ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  FILE* f = std::fopen("palette.pal", "wb");
  std::fwrite(bytes.data(), 1, 768, f);
  std::fclose(f);
  ASSERT_EQ(stdColor_LoadPalette("palette.pal", palette), 1);
  EXPECT_EQ(std::memcmp(palette, bytes.data(), 768), 0);
  f = std::fopen("short.pal", "wb");
  std::fwrite(bytes.data(), 1, 700, f);
  std::fclose(f);
  EXPECT_EQ(stdColor_LoadPalette("short.pal", palette), 0);
  EXPECT_EQ(stdColor_LoadPalette("missing.pal", palette), 0);
}

// ---------------------------------------------------------------------------
// Palette effects.

std::vector<std::vector<uint8_t>> g_sent;
void Record(const uint8_t* palette) {
  g_sent.emplace_back(palette, palette + 768);
}

class PaletteFxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_sent.clear();
    stdPaletteFx_Startup(Record);
    for (int i = 0; i < 768; ++i) source[i] = static_cast<uint8_t>(100 + (i % 3) * 20);
  }
  uint8_t source[768];
};

TEST_F(PaletteFxTest, ThirtyThirdEffectIsRefused) {
  for (int i = 0; i < 32; ++i) EXPECT_EQ(stdPaletteFx_NewEffect(i), i);
  EXPECT_EQ(stdPaletteFx_NewEffect(99), -1);
  EXPECT_EQ(stdPaletteFx_FreeEffect(5), 5);
  EXPECT_EQ(stdPaletteFx_NewEffect(99), 5);
  EXPECT_EQ(stdPaletteFx_GetEffect(32), nullptr);
  EXPECT_EQ(stdPaletteFx_FreeEffect(-1), -1);
}

TEST_F(PaletteFxTest, FadeThenRestoreThenSilence) {
  const int e = stdPaletteFx_NewEffect(1);
  stdPaletteFx_Update(source);
  EXPECT_TRUE(g_sent.empty());  // a fresh effect is neutral

  stdPaletteFx_SetFade(e, 0.5f);
  stdPaletteFx_Update(source);
  ASSERT_EQ(g_sent.size(), 1u);
  EXPECT_EQ(g_sent[0][0], 50);
  EXPECT_EQ(g_sent[0][1], 60);
  EXPECT_EQ(g_sent[0][2], 70);
  stdPaletteFx_Update(source);
  EXPECT_EQ(g_sent.size(), 1u);  // nothing changed

  stdPaletteFx_SetFade(e, 1.0f);
  stdPaletteFx_Update(source);
  ASSERT_EQ(g_sent.size(), 2u);
  EXPECT_EQ(std::memcmp(g_sent[1].data(), source, 768), 0);
  stdPaletteFx_Update(source);
  EXPECT_EQ(g_sent.size(), 2u);
  EXPECT_EQ(stdPaletteFx_GetState()->modified, 0);
}

TEST_F(PaletteFxTest, StagesAndCombination) {
  const int a = stdPaletteFx_NewEffect(1);
  const int b = stdPaletteFx_NewEffect(2);
  stdPaletteFx_SetFilter(a, 1, 0, 0);
  stdPaletteFx_Update(source);
  ASSERT_EQ(g_sent.size(), 1u);
  EXPECT_EQ(g_sent[0][0], 100);  // red kept
  EXPECT_EQ(g_sent[0][1], 30);   // 120 / 4
  EXPECT_EQ(g_sent[0][2], 35);   // 140 / 4

  // Adds sum over effects and clamp; the filter still applies first.
  stdPaletteFx_SetAdd(a, 200, 0, -100);
  stdPaletteFx_SetAdd(b, 0, 10, 0);
  stdPaletteFx_Update(source);
  ASSERT_EQ(g_sent.size(), 2u);
  EXPECT_EQ(g_sent[1][0], 255);
  EXPECT_EQ(g_sent[1][1], 40);
  EXPECT_EQ(g_sent[1][2], 0);

  // A disabled stage is skipped.
  stdPaletteFx_SetEnabled(0, 1, 1, 1);
  stdPaletteFx_MarkDirty();
  stdPaletteFx_Update(source);
  EXPECT_EQ(g_sent.back()[1], 130);

  // Tint: red + trunc((0.5 - 0) x 100 + 0.5) = 150; others lose half of red's tint.
  uint8_t p[768];
  std::memcpy(p, source, 768);
  stdPaletteFx_ApplyTint(p, 0.5f, 0, 0);
  EXPECT_EQ(p[0], 150);
  EXPECT_EQ(p[1], 120 + static_cast<int>(-0.25f * 120 + 0.5f));
  stdPaletteFx_ApplyTint(p, 1e30f, 0, 0);  // clamped, no overflow
  EXPECT_EQ(p[0], 255);
}

}  // namespace
