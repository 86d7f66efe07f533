#include "std/stdDisplay.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <vector>

#include "std/std.h"
#include "std/stdColor.h"
#include "std/stdCompress.h"

namespace {

HostServices g_hs;

class Display : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    HostServices_CopyDefaults(&g_hs);
    std_DefaultServices(&g_hs);
    std_Startup(&g_hs);
  }
};

const ColorFormat k565 = {1, 16, 5, 6, 5, 11, 5, 0, 3, 2, 3, 0, 0, 0};
const ColorFormat k555 = {1, 16, 5, 5, 5, 10, 5, 0, 3, 3, 3, 0, 0, 0};
const ColorFormat k24 = {1, 24, 8, 8, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const ColorFormat k8 = {0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
const ColorFormat k32 = {1, 32, 8, 8, 8, 16, 8, 0, 0, 0, 0, 0, 0, 0};

DisplayBuffer* New(int w, int h, const ColorFormat& cf) {
  BufferFormat f{};
  f.width = w;
  f.height = h;
  f.format = cf;
  return stdDisplay_NewBuffer(&f, 0, 0, nullptr);
}

// Pixel (x, y) of a buffer as an unsigned value of its depth.
uint32_t Get(const DisplayBuffer* b, int x, int y) {
  const int bpp = b->format.format.bitsPerPixel / 8;
  uint32_t v = 0;
  std::memcpy(&v, static_cast<uint8_t*>(b->pixels) + y * b->format.bytesPerRow + x * bpp,
              static_cast<size_t>(bpp));
  return v;
}

void Set(DisplayBuffer* b, int x, int y, uint32_t v) {
  const int bpp = b->format.format.bitsPerPixel / 8;
  std::memcpy(static_cast<uint8_t*>(b->pixels) + y * b->format.bytesPerRow + x * bpp, &v,
              static_cast<size_t>(bpp));
}

// Source pixels carry their own coordinates: x + 100 * y (+1 so 0 is free).
void Number(DisplayBuffer* b) {
  for (int y = 0; y < b->format.height; ++y)
    for (int x = 0; x < b->format.width; ++x) Set(b, x, y, static_cast<uint32_t>(1 + x + 100 * y));
}

TEST_F(Display, DevicesAndTheOneMode) {
  ASSERT_EQ(stdDisplay_Startup(), 1);
  ASSERT_EQ(stdDisplay_GetNumDevices(), 1);
  EXPECT_STREQ(stdDisplay_GetDevice(0)->name, "Window Display Device");
  EXPECT_STREQ(stdDisplay_GetDevice(0)->description, "DIBsection windowed display");
  EXPECT_EQ(stdDisplay_Open(1), 0);
  ASSERT_EQ(stdDisplay_Open(0), 1);
  EXPECT_EQ(stdDisplay_Open(0), 0);
  EXPECT_EQ(stdDisplay_numVideoModes, 1);
  const VideoMode* m = stdDisplay_GetVideoMode(0);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->format.width, 640);
  EXPECT_EQ(m->format.height, 480);
  EXPECT_EQ(m->format.bytesPerRow, 1280);
  EXPECT_EQ(m->format.byteSize, 614400);
  EXPECT_EQ(std::memcmp(&m->format.format, &k565, sizeof k565), 0);
  EXPECT_EQ(stdDisplay_SetMode(1, nullptr, 0), 0);
  stdDisplay_Close();
  EXPECT_EQ(stdDisplay_Open(0), 1);
  stdDisplay_Close();
}

TEST_F(Display, NewBufferSizesAndRefusals) {
  DisplayBuffer* b = New(3, 2, k24);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->format.bytesPerRow, 9);
  EXPECT_EQ(b->format.pixelsPerRow, 3);
  EXPECT_EQ(b->format.byteSize, 18);
  EXPECT_EQ(b->lockCount, 1);
  EXPECT_EQ(
      std::vector<uint8_t>(static_cast<uint8_t*>(b->pixels), static_cast<uint8_t*>(b->pixels) + 18),
      std::vector<uint8_t>(18, 0));
  stdDisplay_FreeBuffer(b);
  stdDisplay_FreeBuffer(nullptr);

  ColorFormat four = k8;
  four.bitsPerPixel = 4;
  const struct {
    int w, h;
    ColorFormat cf;
  } refused[] = {{10, 10, four}, {0, 10, k8}, {10, -1, k8}, {70000, 70000, k32}};
  for (const auto& r : refused) EXPECT_EQ(New(r.w, r.h, r.cf), nullptr) << r.w << "x" << r.h;
}

TEST_F(Display, LockOfAPackedBufferFails) {
  DisplayBuffer* b = New(64, 64, k8);
  ASSERT_NE(b, nullptr);
  stdDisplay_PackBuffer(b);  // zeros pack well
  ASSERT_EQ(b->storage, STDDISPLAY_PACKED);
  EXPECT_EQ(stdDisplay_LockBuffer(b), 0);
  stdDisplay_FreeBuffer(b);
}

constexpr uint32_t kUntouched = 0xEEEEEEEE;

uint32_t MaskOf(const DisplayBuffer* b) {
  const int bits = b->format.format.bitsPerPixel;
  return bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1u;
}

struct Copy {
  const char* what;
  stdRect rect;
  bool useRect;
  int x, y;
  int result;
  // {dx, dy, sx, sy}: destination (dx, dy) holds source (sx, sy); sx < 0 = untouched.
  std::vector<std::array<int, 4>> checks;
};

void RunCopy(const ColorFormat& cf, const Copy& c, int flags = 0) {
  DisplayBuffer* src = New(30, 10, cf);
  DisplayBuffer* dst = New(20, 8, cf);
  ASSERT_TRUE(src && dst);
  Number(src);
  stdDisplay_FillBuffer(dst, kUntouched, nullptr);
  if (cf.bitsPerPixel == 24) {
    std::memset(dst->pixels, 0xEE, static_cast<size_t>(dst->format.byteSize));
  }
  EXPECT_EQ(stdDisplay_CopyRect(dst, src, c.x, c.y, c.useRect ? &c.rect : nullptr, flags), c.result)
      << c.what << " at " << cf.bitsPerPixel;
  for (const auto& k : c.checks) {
    const uint32_t want = k[2] < 0 ? (kUntouched & MaskOf(dst)) : Get(src, k[2], k[3]);
    EXPECT_EQ(Get(dst, k[0], k[1]), want)
        << c.what << " at " << cf.bitsPerPixel << " bits, destination " << k[0] << "," << k[1];
  }
  stdDisplay_FreeBuffer(src);
  stdDisplay_FreeBuffer(dst);
}

TEST_F(Display, CopyRectClipsAgainstBothBuffers) {
  const Copy cases[] = {
      {"x = -10",
       {0, 0, 20, 5},
       true,
       -10,
       0,
       1,
       {{0, 0, 10, 0}, {9, 4, 19, 4}, {10, 0, -1, 0}, {0, 5, -1, 0}}},
      {"wholly left", {0, 0, 20, 5}, true, -20, 0, 0, {{0, 0, -1, 0}}},
      {"wholly right", {0, 0, 5, 5}, true, 20, 0, 0, {{19, 0, -1, 0}}},
      {"wholly above", {0, 0, 5, 5}, true, 0, -5, 0, {{0, 0, -1, 0}}},
      {"negative width", {0, 0, -5, 3}, true, 0, 0, 0, {{0, 0, -1, 0}}},
      {"zero height", {0, 0, 5, 0}, true, 0, 0, 0, {{0, 0, -1, 0}}},
      {"rectangle past the source",
       {25, 8, 10, 10},
       true,
       0,
       0,
       1,
       {{0, 0, 25, 8}, {4, 1, 29, 9}, {5, 0, -1, 0}, {0, 2, -1, 0}}},
      {"rectangle before the source",
       {-3, -1, 5, 3},
       true,
       0,
       0,
       1,
       {{3, 1, 0, 0}, {4, 2, 1, 1}, {2, 1, -1, 0}, {3, 0, -1, 0}, {5, 1, -1, 0}}},
      {"whole source at the bottom right",
       {},
       false,
       15,
       6,
       1,
       {{15, 6, 0, 0}, {19, 7, 4, 1}, {14, 6, -1, 0}}},
      {"rectangle wholly outside the source", {40, 0, 5, 5}, true, 0, 0, 0, {{0, 0, -1, 0}}},
  };
  for (const ColorFormat& cf : {k8, k565, k24, k32}) {
    for (const auto& c : cases) RunCopy(cf, c);
  }
}

TEST_F(Display, KeyedCopiesLeaveTheKeyOutExceptAt24Bits) {
  const Copy keyed = {"keyed",
                      {0, 0, 6, 1},
                      true,
                      0,
                      0,
                      1,
                      {{0, 0, 0, 0}, {1, 0, -1, 0}, {2, 0, 2, 0}, {5, 0, 5, 0}}};
  const Copy plainAt24 = {"keyed 24", {0, 0, 6, 1}, true, 0, 0, 1, {{1, 0, 1, 0}}};
  for (const ColorFormat& cf : {k8, k565, k24, k32}) {
    // The key is source pixel (1, 0), numbered 2.
    DisplayBuffer* src = New(30, 10, cf);
    DisplayBuffer* dst = New(20, 8, cf);
    Number(src);
    stdDisplay_FillBuffer(dst, kUntouched, nullptr);
    if (cf.bitsPerPixel == 24)
      std::memset(dst->pixels, 0xEE, static_cast<size_t>(dst->format.byteSize));
    stdDisplay_SetBufferColorKey(src, Get(src, 1, 0));
    const Copy& c = cf.bitsPerPixel == 24 ? plainAt24 : keyed;
    EXPECT_EQ(stdDisplay_CopyRect(dst, src, 0, 0, &c.rect, STDDISPLAY_COPY_KEYED), 1);
    for (const auto& k : c.checks) {
      const uint32_t want = k[2] < 0 ? (kUntouched & MaskOf(dst)) : Get(src, k[2], k[3]);
      EXPECT_EQ(Get(dst, k[0], k[1]), want) << cf.bitsPerPixel << " bits, column " << k[0];
    }
    stdDisplay_FreeBuffer(src);
    stdDisplay_FreeBuffer(dst);
  }
}

TEST_F(Display, WholeBlockCopyAndDepthMismatch) {
  DisplayBuffer* a = New(16, 4, k565);
  DisplayBuffer* b = New(16, 4, k565);
  DisplayBuffer* c = New(16, 4, k8);
  Number(a);
  EXPECT_EQ(stdDisplay_CopyRect(b, a, 0, 0, nullptr, 0), 1);
  EXPECT_EQ(std::memcmp(a->pixels, b->pixels, 128), 0);
  EXPECT_EQ(stdDisplay_CopyRect(c, a, 0, 0, nullptr, 0), 0);
  EXPECT_EQ(stdDisplay_Blit(b, a, 0, 0, nullptr, 0), 1);
  EXPECT_EQ(a->lockCount, 1);
  EXPECT_EQ(b->lockCount, 1);
  stdDisplay_PackBuffer(c);
  ASSERT_EQ(c->storage, STDDISPLAY_PACKED);
  EXPECT_EQ(stdDisplay_Blit(b, c, 0, 0, nullptr, 0), 0);
  for (auto* x : {a, b, c}) stdDisplay_FreeBuffer(x);
}

TEST_F(Display, FillWholeAndClippedRectangles) {
  DisplayBuffer* b = New(10, 6, k565);
  stdDisplay_FillBuffer(b, 0x1234, nullptr);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 10; ++x) ASSERT_EQ(Get(b, x, y), 0x1234u);
  const stdRect r = {-2, 4, 5, 10};  // clipped to columns 0..2, rows 4..5
  stdDisplay_FillBuffer(b, 0xABCD, &r);
  EXPECT_EQ(Get(b, 0, 4), 0xABCDu);
  EXPECT_EQ(Get(b, 2, 5), 0xABCDu);
  EXPECT_EQ(Get(b, 3, 4), 0x1234u);
  EXPECT_EQ(Get(b, 0, 3), 0x1234u);
  const stdRect empty = {0, 0, 3, 0};
  stdDisplay_FillBuffer(b, 0, &empty);
  EXPECT_EQ(Get(b, 0, 0), 0x1234u);
  stdDisplay_FreeBuffer(b);

  DisplayBuffer* e = New(4, 2, k8);
  stdDisplay_FillBuffer(e, 0x1FF, nullptr);
  EXPECT_EQ(Get(e, 3, 1), 0xFFu);
  stdDisplay_FreeBuffer(e);
  DisplayBuffer* w = New(4, 2, k32);
  const stdRect one = {1, 1, 1, 1};
  stdDisplay_FillBuffer(w, 0xDEADBEEF, &one);
  EXPECT_EQ(Get(w, 1, 1), 0xDEADBEEFu);
  EXPECT_EQ(Get(w, 0, 1), 0u);
  stdDisplay_FreeBuffer(w);
}

TEST_F(Display, PackUnpackRoundTrips) {
  // Random bytes do not shrink: the buffer stays plain and unchanged.
  DisplayBuffer* r = New(64, 32, k8);
  std::mt19937 rng(3);
  auto* p = static_cast<uint8_t*>(r->pixels);
  for (int i = 0; i < r->format.byteSize; ++i) p[i] = static_cast<uint8_t>(rng());
  const std::vector<uint8_t> before(p, p + r->format.byteSize);
  stdDisplay_PackBuffer(r);
  EXPECT_EQ(r->storage, STDDISPLAY_PLAIN);
  EXPECT_EQ(r->pixels, p);
  EXPECT_EQ(std::vector<uint8_t>(p, p + r->format.byteSize), before);
  stdDisplay_FreeBuffer(r);

  // A picture packs, unpacks into another buffer and in place.
  DisplayBuffer* b = New(64, 32, k565);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 64; ++x) Set(b, x, y, static_cast<uint32_t>(0x0841 * (y / 4) + (x / 16)));
  const std::vector<uint8_t> picture(static_cast<uint8_t*>(b->pixels),
                                     static_cast<uint8_t*>(b->pixels) + b->format.byteSize);
  stdDisplay_PackBuffer(b);
  ASSERT_EQ(b->storage, STDDISPLAY_PACKED);
  EXPECT_LT(b->format.byteSize, 64 * 32 * 2);
  DisplayBuffer* into = New(64, 32, k565);
  EXPECT_EQ(stdDisplay_UnpackBufferInto(b, into), 1);
  EXPECT_EQ(std::memcmp(into->pixels, picture.data(), picture.size()), 0);
  EXPECT_EQ(into->lockCount, 1);
  stdDisplay_UnpackBuffer(b);
  ASSERT_EQ(b->storage, STDDISPLAY_PLAIN);
  EXPECT_EQ(b->format.byteSize, 64 * 32 * 2);
  EXPECT_EQ(std::memcmp(b->pixels, picture.data(), picture.size()), 0);
  stdDisplay_FreeBuffer(b);
  stdDisplay_FreeBuffer(into);
}

TEST_F(Display, FreedPackedBufferIsNotServedFromTheCache) {
  stdCompress_FlushCache();
  // Pack, unpack into a buffer (cached), free; a new picture packed into a
  // block that may reuse the address must unpack to the new picture.
  for (int round = 0; round < 2; ++round) {
    DisplayBuffer* b = New(32, 16, k565);
    stdDisplay_FillBuffer(b, round == 0 ? 0x1111u : 0x2222u, nullptr);
    stdDisplay_PackBuffer(b);
    ASSERT_EQ(b->storage, STDDISPLAY_PACKED);
    DisplayBuffer* out = New(32, 16, k565);
    ASSERT_EQ(stdDisplay_UnpackBufferInto(b, out), 1);
    EXPECT_EQ(Get(out, 31, 15), round == 0 ? 0x1111u : 0x2222u);
    stdDisplay_FreeBuffer(b);
    stdDisplay_FreeBuffer(out);
  }
  EXPECT_EQ(stdCompress_CacheCount(), 0);
}

TEST_F(Display, ConvertBuffer) {
  DisplayBuffer* b = New(4, 2, k565);
  Number(b);
  b->colorKey = 0x1234;
  EXPECT_EQ(stdDisplay_ConvertBuffer(&k565, b), b);
  EXPECT_EQ(Get(b, 3, 1), 1u + 3 + 100);
  EXPECT_EQ(b->colorKey, 0x1234u);
  // 16 -> 24 bits makes a new buffer: 5-6-5 white becomes (248, 252, 248).
  stdDisplay_FillBuffer(b, 0xFFFF, nullptr);
  DisplayBuffer* c = stdDisplay_ConvertBuffer(&k24, b);
  ASSERT_NE(c, nullptr);
  ASSERT_NE(c, b);
  EXPECT_EQ(c->format.format.bitsPerPixel, 24);
  EXPECT_EQ(Get(c, 3, 1), 248u | 252u << 8 | 248u << 16);
  // Back to 16 bits, 5-5-5, and in place to 5-6-5.
  std::memset(c->pixels, 0xFF, static_cast<size_t>(c->format.byteSize));
  DisplayBuffer* d = stdDisplay_ConvertBuffer(&k555, c);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(Get(d, 0, 0), 0x7FFFu);
  DisplayBuffer* e = stdDisplay_ConvertBuffer(&k565, d);
  EXPECT_EQ(e, d);
  EXPECT_EQ(Get(e, 0, 0), 0xFFFFu);
  // Two palette formats: nothing to do.
  ColorFormat other8 = k8;
  other8.redBits = 3;
  DisplayBuffer* p = New(2, 2, k8);
  EXPECT_EQ(stdDisplay_ConvertBuffer(&other8, p), p);
  EXPECT_EQ(p->format.format.redBits, 0);
  stdDisplay_FreeBuffer(p);
  stdDisplay_FreeBuffer(e);
}

TEST(Color, ConversionsOfTheColourModule) {
  uint8_t white[3] = {255, 255, 255}, black[3] = {0, 0, 0};
  for (int row = 0; row < 4; ++row) {
    uint16_t out = 0;
    stdColor_ConvertPixels(&out, &k565, white, &k24, 1);
    EXPECT_EQ(out, 0xFFFF);
    stdColor_ConvertPixels(&out, &k565, black, &k24, 1);
    EXPECT_EQ(out, 0);
  }
  // A level between two 5-bit steps dithers: the row holds both neighbours.
  uint8_t grey[8 * 3];
  std::memset(grey, 136, sizeof grey);
  uint16_t row[8];
  stdColor_ConvertPixels(row, &k565, grey, &k24, 8);
  int low = 0, high = 0;
  for (uint16_t v : row) (v & 31) == 16 ? ++low : ((v & 31) == 17 ? ++high : 0);
  EXPECT_GT(low, 0);
  EXPECT_GT(high, 0);
  EXPECT_EQ(low + high, 8);
  // 5-5-5 green 31 -> 5-6-5 green 63; green 0 stays 0.
  const uint16_t in[2] = {31 << 5, 0};
  uint16_t out[2];
  stdColor_ConvertPixels(out, &k565, in, &k555, 2);
  EXPECT_EQ(out[0], 63 << 5);
  EXPECT_EQ(out[1], 0);
}

}  // namespace
