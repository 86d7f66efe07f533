// Pixel-format conversion over a synthetic 4x2 picture: every mode's byte
// order, the clamps and the alpha rules.
#include <gtest/gtest.h>

#include <vector>

#include "video/KineYuvConvert.h"

namespace {

// A 4x2 colour picture of one (Y, Cb, Cr); the luma plane is 8 wide, its
// right half holding alpha as luma.
std::vector<uint8_t> Convert(int mode, uint8_t y, uint8_t cb, uint8_t cr, uint8_t alpha) {
  YuvTables_Build();
  uint8_t luma[16], u[2] = {cb, cb}, v[2] = {cr, cr};
  for (int r = 0; r < 2; ++r) {
    for (int x = 0; x < 8; ++x) luma[r * 8 + x] = x < 4 ? y : alpha;
  }
  int bpp = Kine_BytesPerPixel(mode);
  std::vector<uint8_t> out(4 * 2 * bpp, 0xFF);
  KineConversionJob job{nullptr, luma, u, v, out.data(), 4, 2, 0, 8, 2, 2};
  g_kineConverters[mode](job);
  return out;
}

struct Case {
  int mode;
  uint8_t y, cb, cr, alpha;
  std::vector<uint8_t> pixel;
};

}  // namespace

TEST(KineConvert, EveryModeByteOrder) {
  // Y 120, Cb 100, Cr 200 gives R 235, G 73, B 64; alpha luma 128.
  const Case cases[] = {
      {TH_RGB, 120, 100, 200, 128, {235, 73, 64}},
      {TH_RGBA, 120, 100, 200, 128, {235, 73, 64, 128}},
      {TH_RGBX, 120, 100, 200, 128, {235, 73, 64, 255}},
      {TH_ARGB, 120, 100, 200, 128, {128, 235, 73, 64}},
      {TH_XRGB, 120, 100, 200, 128, {255, 235, 73, 64}},
      {TH_BGR, 120, 100, 200, 128, {64, 73, 235}},
      {TH_BGRA, 120, 100, 200, 128, {64, 73, 235, 128}},
      {TH_BGRX, 120, 100, 200, 128, {64, 73, 235, 255}},
      {TH_ABGR, 120, 100, 200, 128, {128, 64, 73, 235}},
      {TH_XBGR, 120, 100, 200, 128, {255, 64, 73, 235}},
      {TH_GREY, 120, 100, 200, 128, {120}},
      {TH_GREY3, 120, 100, 200, 128, {120, 120, 120}},
      {TH_GREY3A, 120, 100, 200, 128, {120, 120, 120, 128}},
      {TH_GREY3X, 120, 100, 200, 128, {120, 120, 120, 255}},
      {TH_AGREY3, 120, 100, 200, 128, {128, 120, 120, 120}},
      {TH_XGREY3, 120, 100, 200, 128, {255, 120, 120, 120}},
      {TH_YUV, 120, 100, 200, 128, {120, 100, 200}},
      {TH_YUVA, 120, 100, 200, 128, {120, 100, 200, 128}},
      {TH_YUVX, 120, 100, 200, 128, {120, 100, 200, 255}},
      {TH_AYUV, 120, 100, 200, 128, {128, 120, 100, 200}},
      {TH_XYUV, 120, 100, 200, 128, {255, 120, 100, 200}},
      // Black, white and the clamp.
      {TH_RGB, 16, 128, 128, 0, {0, 0, 0}},
      {TH_RGB, 235, 128, 128, 0, {254, 254, 254}},
      {TH_RGB, 255, 128, 255, 0, {255, 174, 255}},
      // Alpha thresholds: below 32 clears the RGB pixel, above 224 is opaque.
      {TH_RGBA, 235, 128, 128, 31, {0, 0, 0, 0}},
      {TH_RGBA, 235, 128, 128, 32, {254, 254, 254, 32}},
      {TH_RGBA, 235, 128, 128, 224, {254, 254, 254, 224}},
      {TH_RGBA, 235, 128, 128, 225, {254, 254, 254, 255}},
      // The alpha pass keeps the colour.
      {TH_YUVA, 120, 100, 200, 31, {120, 100, 200, 0}},
      {TH_YUVA, 120, 100, 200, 225, {120, 100, 200, 255}},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> out = Convert(c.mode, c.y, c.cb, c.cr, c.alpha);
    const size_t bpp = c.pixel.size();
    ASSERT_EQ(out.size(), 8 * bpp) << "mode " << c.mode;
    for (size_t p = 0; p < 8; ++p) {
      std::vector<uint8_t> got(out.begin() + p * bpp, out.begin() + (p + 1) * bpp);
      EXPECT_EQ(got, c.pixel) << "mode " << c.mode << " pixel " << p << " alpha " << int(c.alpha);
    }
  }
}

TEST(KineConvert, SpareByteStaysAfterManyFrames) {
  YuvTables_Build();
  uint8_t luma[8] = {200, 10, 90, 250, 30, 40, 50, 60}, u[2] = {30, 220}, v[2] = {240, 5};
  std::vector<uint8_t> out(4 * 2 * 4, 0xFF);
  KineConversionJob job{nullptr, luma, u, v, out.data(), 4, 2, 0, 4, 2, 2};
  for (int frame = 0; frame < 50; ++frame) {
    luma[frame % 8] = static_cast<uint8_t>(frame * 37);
    g_kineConverters[TH_RGBX](job);
  }
  for (int p = 0; p < 8; ++p) EXPECT_EQ(out[p * 4 + 3], 255);
}

// The four-byte modes without alpha on pictures wide enough for their SIMD
// paths, through every path the processor has, against the tables: R, G, B
// from the sums and the clamp, the spare byte 255 (the SIMD paths write whole
// pixels). The first picture holds every combination of luma, Cb and Cr
// (each block one Cb and Cr, four luma values); the others check the byte
// orders, with a width that leaves columns to each narrower path.
TEST(KineConvert, WidePicturesMatchTheTables) {
  YuvTables_Build();
  struct Picture {
    int w, h;
    std::vector<uint8_t> luma, cb, cr;
  };
  Picture every{4096, 4096, {}, {}, {}};
  every.luma.resize(4096 * 4096);
  every.cb.resize(2048 * 2048);
  every.cr.resize(2048 * 2048);
  for (int by = 0; by < 2048; ++by) {
    for (int bx = 0; bx < 2048; ++bx) {
      const int block = by * 2048 + bx;  // (cb x 256 + cr) x 64 + group of four luma values
      every.cb[block] = static_cast<uint8_t>(block >> 14);
      every.cr[block] = static_cast<uint8_t>(block >> 6);
      const int group = (block & 63) * 4;
      for (int k = 0; k < 4; ++k) {
        every.luma[(2 * by + k / 2) * 4096 + 2 * bx + k % 2] = static_cast<uint8_t>(group + k);
      }
    }
  }
  // 114 columns: a 64-column AVX-512 step, then one of 32 (AVX2) and one of 16
  // (SSE2), then a pair of plain ones.
  Picture orders{114, 32, std::vector<uint8_t>(114 * 32), std::vector<uint8_t>(57 * 16),
                 std::vector<uint8_t>(57 * 16)};
  for (size_t i = 0; i < orders.luma.size(); ++i) orders.luma[i] = static_cast<uint8_t>(i * 7);
  for (size_t i = 0; i < orders.cb.size(); ++i) {
    orders.cb[i] = static_cast<uint8_t>(i * 5);
    orders.cr[i] = static_cast<uint8_t>(i * 11);
  }

  auto clamp = [](int32_t v) -> uint8_t { return v < 0 ? 0 : (v >= 2097152 ? 255 : v >> 13); };
  const struct {
    const Picture* picture;
    int mode, r, g, b, spare;
  } cases[] = {{&every, TH_RGBX, 0, 1, 2, 3},
               {&orders, TH_XRGB, 1, 2, 3, 0},
               {&orders, TH_BGRX, 2, 1, 0, 3},
               {&orders, TH_XBGR, 3, 2, 1, 0}};
  const int widest = Kine_ConvertPath();
  for (int path = widest; path >= 0; --path) {
    ASSERT_EQ(Kine_SetConvertPath(path), path);
    for (const auto& c : cases) {
      const Picture& p = *c.picture;
      std::vector<uint8_t> out(static_cast<size_t>(p.w) * p.h * 4, 0x5A);
      KineConversionJob job{nullptr, p.luma.data(), p.cb.data(), p.cr.data(), out.data(), p.w, p.h,
                            0,       p.w,           p.w / 2,     p.w / 2};
      g_kineConverters[c.mode](job);
      int mismatches = 0;
      for (int y = 0; y < p.h && mismatches < 5; ++y) {
        for (int x = 0; x < p.w && mismatches < 5; ++x) {
          const size_t at = static_cast<size_t>(y) * p.w + x;
          const int chroma = (y / 2) * (p.w / 2) + x / 2;
          const int32_t L = g_yuvTables.luma[p.luma[at]];
          const uint8_t cb = p.cb[chroma], cr = p.cr[chroma];
          const uint8_t* px = &out[at * 4];
          if (px[c.r] != clamp(L + g_yuvTables.rV[cr]) ||
              px[c.g] != clamp(L - (g_yuvTables.gU[cb] + g_yuvTables.gV[cr])) ||
              px[c.b] != clamp(L + g_yuvTables.bU[cb]) || px[c.spare] != 0xFF) {
            ADD_FAILURE() << "path " << path << " mode " << c.mode << " pixel (" << x << ", " << y
                          << ")";
            ++mismatches;
          }
        }
      }
    }
  }
  Kine_SetConvertPath(widest);
}
