// The 3D-device layer: texture-size fit, device choice, cache order and the
// entry points that do nothing.
#include "std/stdDevice3D.h"

#include <gtest/gtest.h>

#include <vector>

#include "std/stdDisplay.h"
#include "std/stdWin.h"

namespace {

class Device3D : public testing::Test {
 protected:
  void SetUp() override { stdDevice3D_ResetForTest(); }
  void TearDown() override { stdDevice3D_ResetForTest(); }
};

struct ClampCase {
  int square;
  int width, height;
  int wantWidth, wantHeight;
};

TEST_F(Device3D, ClampTextureSizeFitsTheLimits) {
  const ClampCase cases[] = {
      {0, 0, 300, 4, 256},    // 0 becomes 1, then the minimum; above the maximum
      {0, 2, 2, 4, 4},        // both below the minimum
      {0, 512, 16, 256, 16},  // width cut to the maximum
      {1, 8, 64, 64, 64},     // square: the larger side
      {1, 2, 3, 4, 4},        // square: the side still reaches the minimum
      {1, 16, 16, 16, 16},    // already square
      {1, 1000, 8, 256, 256},
  };
  for (const ClampCase& c : cases) {
    stdDevice3DRecord device{};
    device.squareTextures = c.square;
    stdDevice3D_SetCurrentDevice(&device);
    int w = -1, h = -1;
    stdDevice3D_ClampTextureSize(c.width, c.height, &w, &h);
    EXPECT_EQ(w, c.wantWidth) << c.square << " " << c.width << "x" << c.height;
    EXPECT_EQ(h, c.wantHeight) << c.square << " " << c.width << "x" << c.height;
  }
}

TEST_F(Device3D, FindDeviceScoresAndTies) {
  const stdDevice3DRecord wanted{1, 1, 1, 0, 0, 0, 2, 0};
  EXPECT_EQ(stdDevice3D_FindDevice(&wanted, nullptr, 0), 0);

  // Equally good records: the first wins.
  const std::vector<stdDevice3DRecord> ties = {
      {7, 9, 1, 0, 0, 0, 2, 0},  // first matching word differs: 0
      {5, 1, 1, 0, 0, 0, 4, 0},  // no shared capability: 2
      {6, 1, 1, 0, 0, 0, 4, 0},  // 2 again
  };
  EXPECT_EQ(stdDevice3D_FindDevice(&wanted, ties.data(), 3), 1);

  // A shared capability scores 3; with the wanted identity it wins at once.
  const std::vector<stdDevice3DRecord> records = {
      {5, 1, 2, 0, 0, 0, 2, 0},  // second matching word differs: 1
      {5, 1, 1, 0, 0, 0, 3, 0},  // shares a bit: 3
      {1, 1, 1, 0, 0, 0, 2, 0},  // shares a bit, wanted identity
      {1, 1, 1, 0, 0, 0, 2, 0},
  };
  EXPECT_EQ(stdDevice3D_FindDevice(&wanted, records.data(), 2), 1);
  EXPECT_EQ(stdDevice3D_FindDevice(&wanted, records.data(), 4), 2);

  // Zero matching words in the wanted record match anything.
  const stdDevice3DRecord any{0, 0, 0, 0, 0, 0, 8, 0};
  EXPECT_EQ(stdDevice3D_FindDevice(&any, ties.data(), 3), 0);
}

TEST_F(Device3D, CacheKeepsMostRecentFirstAndCountsFreeMemory) {
  stdDevice3DRecord device{};
  device.freeTextureMemory = 10000;
  stdDevice3D_SetCurrentDevice(&device);
  stdDevice3DTexture a{100, 0, nullptr, nullptr, 0};
  stdDevice3DTexture b{200, 0, nullptr, nullptr, 0};
  stdDevice3DTexture c{400, 0, nullptr, nullptr, 0};

  auto order = [] {
    std::vector<int> sizes;
    for (stdDevice3DTexture* t = stdDevice3D_GetCacheHead(); t; t = t->next) {
      sizes.push_back(t->byteSize);
      if (t->next) {
        EXPECT_EQ(t->next->previous, t);
      }
    }
    return sizes;
  };

  // A texture touched for the first time enters once.
  stdDevice3D_TouchTexture(&a);
  stdDevice3D_TouchTexture(&b);
  stdDevice3D_TouchTexture(&c);
  EXPECT_EQ(order(), (std::vector<int>{400, 200, 100}));
  EXPECT_EQ(stdDevice3D_GetCacheCount(), 3);
  EXPECT_EQ(device.freeTextureMemory, 10000 - 700);
  EXPECT_EQ(a.frameOfLastUse, 1);

  // Touching the least recent (the tail), the middle and the head.
  stdDevice3D_TouchTexture(&a);
  EXPECT_EQ(order(), (std::vector<int>{100, 400, 200}));
  stdDevice3D_TouchTexture(&c);
  EXPECT_EQ(order(), (std::vector<int>{400, 100, 200}));
  stdDevice3D_TouchTexture(&c);
  EXPECT_EQ(order(), (std::vector<int>{400, 100, 200}));
  EXPECT_EQ(b.next, nullptr);
  EXPECT_EQ(stdDevice3D_GetCacheCount(), 3);
  EXPECT_EQ(device.freeTextureMemory, 10000 - 700);
}

TEST_F(Device3D, EntryPointsThatDoNothing) {
  stdDevice3DTexture texture{};
  const uint8_t pixels[16] = {};
  EXPECT_EQ(stdDevice3D_UploadTexture(&texture, pixels, 0, 0), 0);
  EXPECT_EQ(texture.linked, 0);
  EXPECT_EQ(stdDevice3D_SubmitVertices(pixels, 1), 1);
  EXPECT_EQ(stdDevice3D_ClearBuffers(), 1);
  EXPECT_EQ(stdDevice3D_IsInFrame(), 0);
  stdDevice3D_BeginFrame();
  EXPECT_EQ(stdDevice3D_IsInFrame(), 1);
  stdDevice3D_EndFrame();
  EXPECT_EQ(stdDevice3D_IsInFrame(), 0);
}

TEST_F(Device3D, PaletteConvertsToTheThreeDeviceFormats) {
  const ColorFormat plain = {1, 16, 5, 6, 5, 11, 5, 0, 3, 2, 3, 0, 0, 0};        // 5-6-5
  const ColorFormat keyed = {2, 16, 5, 5, 5, 10, 5, 0, 3, 3, 3, 1, 15, 7};       // 1-5-5-5
  const ColorFormat translucent = {2, 16, 4, 4, 4, 8, 4, 0, 4, 4, 4, 4, 12, 4};  // 4-4-4-4
  uint8_t palette[768] = {255, 255, 255, 255, 0, 0, 0, 255, 0};
  stdDevice3D_SetTextureFormats(&plain, &keyed, &translucent);
  const uint16_t* p = stdDevice3D_GetPalette16(STDDEVICE3D_PALETTE_PLAIN);
  const uint16_t* k = stdDevice3D_GetPalette16(STDDEVICE3D_PALETTE_KEYED);
  const uint16_t* t = stdDevice3D_GetPalette16(STDDEVICE3D_PALETTE_TRANSLUCENT);

  // Without a device taking keyed textures only the plain palette is built.
  stdDevice3DRecord device{};
  stdDevice3D_SetCurrentDevice(&device);
  stdDevice3D_SetPalette(palette, 90);
  EXPECT_EQ(p[0], 0xFFFF);
  EXPECT_EQ(p[1], 0xF800);
  EXPECT_EQ(p[2], 0x07E0);
  EXPECT_EQ(k[1], 0);
  EXPECT_EQ(t[1], 0);

  // Entry 0 is transparent in the keyed and the translucent palette; the
  // others are opaque, or at the level's alpha.
  device.keyedTextures = 1;
  stdDevice3D_SetPalette(palette, 90);
  EXPECT_EQ(k[0], 0x7FFF);
  EXPECT_EQ(k[1], 0xFC00);
  EXPECT_EQ(k[2], 0x83E0);
  EXPECT_EQ(t[0], 0x0FFF);
  EXPECT_EQ(t[2], 0x50F0);  // alpha 90 >> 4 = 5

  // A device that wants no translucent palette, and a keyed format that is
  // not colour mode 2, leave theirs as they were.
  device.noTranslucentPalette = 1;
  const ColorFormat keyedAsRgb = {1, 16, 5, 5, 5, 10, 5, 0, 3, 3, 3, 1, 15, 7};
  stdDevice3D_SetTextureFormats(&plain, &keyedAsRgb, &translucent);
  palette[3] = 0;
  stdDevice3D_SetPalette(palette, 200);
  EXPECT_EQ(p[1], 0x0000);
  EXPECT_EQ(k[1], 0xFC00);
  EXPECT_EQ(t[2], 0x50F0);
  EXPECT_EQ(stdDevice3D_GetPalette()[3], 0);
}

TEST(Win, HandlesAndRectangleAreKeptTheRestIsNotAvailable) {
  EXPECT_EQ(stdWin_GetWindowHandle(), nullptr);
  EXPECT_EQ(stdWin_GetInstanceHandle(), nullptr);
  const int rect[4] = {1, 2, 30, 40};
  stdWin_SetRect(rect);
  EXPECT_EQ(stdWin_GetRect()[2], 30);
  void* bits = &bits;
  EXPECT_EQ(stdWin_CreateDIBSection565(nullptr, 8, 8, &bits), nullptr);
  EXPECT_EQ(bits, nullptr);
  EXPECT_EQ(stdWin_SetPalette(nullptr, nullptr), 0);
}

}  // namespace
