#include "vembra/vembra_bitmap.h"

#include <gtest/gtest.h>

#include <cstring>

#include "VembraTestHost.h"

namespace {

const OrnModuleListEntry kModules[] = {{vembratest::RegisterTestMemory, nullptr},
                                       {vembra_bitmap_Register, nullptr},
                                       {nullptr, nullptr}};

class BitmapTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OrnShare_Init(nullptr, kModules, nullptr, nullptr);
    ASSERT_EQ(OrnShare_Startup(), 0);
    bm = vembra_bitmap_Table();
  }
  void TearDown() override {
    OrnShare_Shutdown();
    OrnShare_UnregisterAll();
  }
  VembraBitmap* Make(int32_t w, int32_t h, int32_t type) {
    VembraBitmap* b = nullptr;
    EXPECT_EQ(bm->Create(&b, w, h, type), 0);
    return b;
  }
  VembraBitmapTable* bm = nullptr;
};

struct PixelCase {
  int32_t type;
  uint32_t pixel;
  uint8_t rgba[4];
};

TEST_F(BitmapTest, PixelsToRGBAAndBack) {
  const PixelCase cases[] = {
      {3, 0xF800, {0xF8, 0, 0, 255}},
      {3, 0xFFFF, {0xF8, 0xFC, 0xF8, 255}},
      {8, 0x001F, {0xF8, 0, 0, 255}},
      {2, 0x7C00, {0xF8, 0, 0, 255}},
      {5, 0x83E0, {0, 0xF8, 0, 0x80}},
      {4, 0x123456, {0x12, 0x34, 0x56, 255}},
      {11, 0x44332211, {0x11, 0x22, 0x33, 0x44}},
      {12, 0x11223344, {0x11, 0x22, 0x33, 0x44}},
  };
  for (const PixelCase& c : cases) {
    VembraBitmap* b = Make(1, 1, c.type);
    uint8_t bytes[4] = {};
    for (int i = 0; i < b->bytesPerPixel; ++i) bytes[i] = uint8_t(c.pixel >> (8 * i));
    uint8_t out[4];
    ASSERT_EQ(VembraPixel_ToRGBA(bytes, b, 1, nullptr, out), 0);
    EXPECT_EQ(memcmp(out, c.rgba, 4), 0) << c.type;
    uint8_t back[4] = {};
    ASSERT_EQ(VembraPixel_FromRGBA(back, b, 1, nullptr, out), 0);
    EXPECT_EQ(memcmp(back, bytes, size_t(b->bytesPerPixel)), 0) << c.type;
    bm->Free(&b);
    EXPECT_EQ(b, nullptr);
  }
  VembraBitmap* b = Make(1, 1, 3);
  const uint8_t white[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  uint16_t packed = 0;
  VembraPixel_FromRGBA(&packed, b, 1, nullptr, white);
  EXPECT_EQ(packed, 0xFFFF);
  bm->Free(&b);
}

TEST_F(BitmapTest, ConvertSwapsRedAndBlue) {
  VembraBitmap* from = Make(1, 1, 3);
  VembraBitmap* to = Make(1, 1, 8);
  const uint16_t src[3] = {0xF800, 0x07E0, 0x001F};
  uint16_t dst[3] = {};
  ASSERT_EQ(VembraPixel_Convert(src, from, 3, nullptr, dst, to, nullptr), 0);
  EXPECT_EQ(dst[0], 0x001F);
  EXPECT_EQ(dst[1], 0x07E0);
  EXPECT_EQ(dst[2], 0xF800);
  // Many runs of 1280 through the scratch area, into the RGBA layout and back.
  std::vector<uint16_t> many(3000, 0xF800), back(3000);
  std::vector<uint32_t> rgba(3000);
  VembraBitmap* layout = Make(1, 1, 11);
  ASSERT_EQ(VembraPixel_Convert(many.data(), from, 3000, nullptr, rgba.data(), layout, nullptr), 0);
  EXPECT_EQ(rgba[2999], 0xFF0000F8u);
  ASSERT_EQ(VembraPixel_Convert(rgba.data(), layout, 3000, nullptr, back.data(), to, nullptr), 0);
  EXPECT_EQ(back[2999], 0x001F);
  bm->Free(&from);
  bm->Free(&to);
  bm->Free(&layout);
}

TEST_F(BitmapTest, ClippedBlitCopiesTheOverlap) {
  VembraBitmap* src = Make(10, 10, 0);
  VembraBitmap* dst = Make(5, 5, 0);
  auto* sp = static_cast<uint8_t*>(src->pixels);
  for (int i = 0; i < 100; ++i) sp[i] = uint8_t(i);
  VembraPixel_Clear(dst, 0xEE);
  VembraPixel_Blit(dst, nullptr, -3, 2, src, nullptr, nullptr);
  auto* dp = static_cast<uint8_t*>(dst->pixels);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 5; ++x)
      EXPECT_EQ(dp[y * 5 + x], y < 2 ? 0xEE : (y - 2) * 10 + x + 3) << x << "," << y;
  // Indexed into 16-bit through the palette.
  VembraBitmap* pal = Make(2, 1, 1);
  pal->palette[4 * 1 + 0] = 0xFF;  // index 1 is red
  static_cast<uint8_t*>(pal->pixels)[1] = 1;
  VembraBitmap* rgb = Make(2, 1, 3);
  VembraPixel_Blit(rgb, nullptr, 0, 0, pal, nullptr, nullptr);
  EXPECT_EQ(static_cast<uint16_t*>(rgb->pixels)[0], 0);
  EXPECT_EQ(static_cast<uint16_t*>(rgb->pixels)[1], 0xF800);
  VembraPixel_Clear(rgb, 0x0000FF00);  // green
  EXPECT_EQ(static_cast<uint16_t*>(rgb->pixels)[1], 0x07E0);
  for (VembraBitmap* b : {src, dst, pal, rgb}) bm->Free(&b);
}

TEST_F(BitmapTest, UnsupportedTypesAndSizes) {
  VembraBitmap* b = reinterpret_cast<VembraBitmap*>(1);
  EXPECT_EQ(bm->Create(&b, 4, 4, 13), -1);
  EXPECT_EQ(b, nullptr);
  EXPECT_EQ(bm->Create(&b, 4, 4, -1), -1);  // no VIDEO.getbm table
  VembraBitmap* indexed = Make(1, 1, 0);
  uint8_t pixel = 0, out[4];
  EXPECT_EQ(VembraPixel_ToRGBA(&pixel, indexed, 1, nullptr, out), -1);  // no palette
  const int32_t format[12] = {5, 6, 5, 11, 5, 0, 3, 2, 3, 0, 0, 0};
  ASSERT_EQ(bm->CreateWithFormat(&b, 2, 2, 1, 2, 16, format), 0);
  EXPECT_EQ(b->greenShift, 5);
  EXPECT_EQ(b->blueLoss, 3);
  bm->Free(&b);
  bm->Free(&indexed);
}

}  // namespace
