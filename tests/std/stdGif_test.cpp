#include "std/stdGif.h"

#include <gtest/gtest.h>

#include <random>

#include "ImageTestSupport.h"

// stb_image as the program builds it (with the render context's image files).
#include <stb_image.h>

namespace {

using namespace imagetest;

// A GIF written by the test from the format's description. The image data
// is a plain LZW stream: every pixel goes out as its own root code, with a
// clear code often enough that the code width never grows.
struct GifSpec {
  const char* version = "89a";
  int width = 4, height = 3;
  int left = 0;
  int minimumSize = 8;
  Bytes global;  // colour table, empty for none (size a power of two x 3)
  Bytes local;
  bool interlaced = false;
  bool extensions = false;
  Bytes pixels;  // in file order
};

int TableBits(const Bytes& table) {
  int bits = 0;
  while ((2u << bits) * 3 < table.size()) ++bits;
  return bits;
}

Bytes PlainLzw(const Bytes& pixels, int minimumSize) {
  Bytes data;
  uint32_t acc = 0;
  int n = 0;
  const int width = minimumSize + 1, clear = 1 << minimumSize;
  auto put = [&](int code) {
    acc |= static_cast<uint32_t>(code) << n;
    n += width;
    while (n >= 8) {
      data.push_back(static_cast<uint8_t>(acc));
      acc >>= 8;
      n -= 8;
    }
  };
  const size_t perClear = static_cast<size_t>(clear - 2);
  for (size_t i = 0; i < pixels.size(); ++i) {
    if (i % perClear == 0) put(clear);
    put(pixels[i]);
  }
  put(clear + 1);
  if (n > 0) data.push_back(static_cast<uint8_t>(acc));
  return data;
}

Bytes SubBlocks(const Bytes& data) {
  Bytes out;
  for (size_t i = 0; i < data.size(); i += 255) {
    const size_t n = std::min<size_t>(255, data.size() - i);
    out.push_back(static_cast<uint8_t>(n));
    out.insert(out.end(), data.begin() + static_cast<ptrdiff_t>(i),
               data.begin() + static_cast<ptrdiff_t>(i + n));
  }
  out.push_back(0);
  return out;
}

Bytes MakeGif(const GifSpec& s, const Bytes* rawData = nullptr) {
  Bytes b;
  PutText(b, "GIF");
  PutText(b, s.version);
  PutLE(b, static_cast<uint32_t>(s.width + s.left), 2);
  PutLE(b, static_cast<uint32_t>(s.height), 2);
  b.push_back(s.global.empty() ? 0 : static_cast<uint8_t>(0x80 | TableBits(s.global)));
  b.push_back(0);
  b.push_back(0);
  b.insert(b.end(), s.global.begin(), s.global.end());
  if (s.extensions) {
    const Bytes control = {0x21, 0xF9, 4, 0, 0, 0, 0, 0};  // graphic control, delay 0
    b.insert(b.end(), control.begin(), control.end());
    b.push_back(0x21);
    b.push_back(0xFE);  // comment
    const Bytes comment = SubBlocks(Bytes{'h', 'i', ',', ';'});
    b.insert(b.end(), comment.begin(), comment.end());
  }
  b.push_back(',');
  PutLE(b, static_cast<uint32_t>(s.left), 2);
  PutLE(b, 0, 2);
  PutLE(b, static_cast<uint32_t>(s.width), 2);
  PutLE(b, static_cast<uint32_t>(s.height), 2);
  b.push_back(static_cast<uint8_t>((s.local.empty() ? 0 : 0x80 | TableBits(s.local)) |
                                   (s.interlaced ? 0x40 : 0)));
  b.insert(b.end(), s.local.begin(), s.local.end());
  b.push_back(static_cast<uint8_t>(s.minimumSize));
  const Bytes data = SubBlocks(rawData ? *rawData : PlainLzw(s.pixels, s.minimumSize));
  b.insert(b.end(), data.begin(), data.end());
  b.push_back(';');
  return b;
}

Bytes Table(int entries, int seed) {
  Bytes t(static_cast<size_t>(entries) * 3);
  for (size_t i = 0; i < t.size(); ++i) t[i] = static_cast<uint8_t>(i * 5 + seed);
  return t;
}

Bytes Ramp(size_t n, int modulo) {
  Bytes p(n);
  for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>((i * 7 + i / 5) % modulo);
  return p;
}

class GifTest : public ImageTest {};

TEST_F(GifTest, SixteenColourGif87a) {
  GifSpec s;
  s.version = "87a";
  s.width = 20, s.height = 7;
  s.minimumSize = 4;
  s.global = Table(16, 1);
  s.pixels = Ramp(140, 16);
  WriteFile("sixteen.gif", MakeGif(s));
  Bitmap* bm = stdGif_Load("sixteen.gif", 0, 0);
  ASSERT_NE(bm, nullptr);
  EXPECT_EQ(bm->frames[0]->format.width, 20);
  EXPECT_EQ(bm->format.bitsPerPixel, 8);
  EXPECT_EQ(bm->flags & STDBITMAP_PALETTE, STDBITMAP_PALETTE);
  EXPECT_EQ(Bytes(bm->palette, bm->palette + 48), s.global);
  EXPECT_EQ(Bytes(bm->palette + 48, bm->palette + 768), Bytes(720, 0));
  EXPECT_EQ(FramePixels(bm), s.pixels);
  EXPECT_STREQ(bm->name, "sixteen.gif");
  stdBitmap_Free(bm);
}

TEST_F(GifTest, ExtensionsLocalTablesAndMissingTables) {
  GifSpec s;
  s.width = 300, s.height = 3;  // 900 pixels: several clear codes
  s.global = Table(256, 2);
  s.pixels = Ramp(900, 256);
  WriteFile("plain.gif", MakeGif(s));
  s.extensions = true;
  WriteFile("ext.gif", MakeGif(s));
  s.local = Table(256, 9);
  WriteFile("local.gif", MakeGif(s));
  s.local.clear();
  s.global.clear();
  s.left = 5;  // the image is decoded at its own width wherever it sits
  WriteFile("none.gif", MakeGif(s));

  Bitmap* plain = stdGif_Load("plain.gif", 0, 0);
  Bitmap* ext = stdGif_Load("ext.gif", 0, 0);
  Bitmap* local = stdGif_Load("local.gif", 0, 0);
  Bitmap* none = stdGif_Load("none.gif", 0, 0);
  ASSERT_TRUE(plain && ext && local && none);
  EXPECT_EQ(FramePixels(plain), s.pixels);
  EXPECT_EQ(FramePixels(ext), s.pixels);
  EXPECT_EQ(Bytes(ext->palette, ext->palette + 768), Table(256, 2));
  EXPECT_EQ(Bytes(local->palette, local->palette + 768), Table(256, 9));
  EXPECT_EQ(FramePixels(none), s.pixels);
  EXPECT_EQ(none->frames[0]->format.width, 300);
  EXPECT_EQ(none->palette[3 * 77], 77);  // grey ramp
  EXPECT_EQ(none->palette[3 * 77 + 2], 77);
  for (Bitmap* bm : {plain, ext, local, none}) stdBitmap_Free(bm);

  // Extensions belong to 89a: in an 87a file the "!" is not an image.
  GifSpec old = s;
  old.version = "87a";
  old.extensions = true;
  WriteFile("ext87.gif", MakeGif(old));
  EXPECT_EQ(stdGif_Load("ext87.gif", 0, 0), nullptr);
}

TEST_F(GifTest, InterlacedRowsInPassOrder) {
  GifSpec s;
  s.width = 3, s.height = 10;
  s.global = Table(256, 0);
  s.interlaced = true;
  for (int i = 0; i < 10; ++i) s.pixels.insert(s.pixels.end(), 3, static_cast<uint8_t>(i));
  WriteFile("interlaced.gif", MakeGif(s));
  Bitmap* bm = stdGif_Load("interlaced.gif", 0, 0);
  ASSERT_NE(bm, nullptr);
  const int order[10] = {0, 8, 4, 2, 6, 1, 3, 5, 7, 9};  // frame rows in file order
  const Bytes px = FramePixels(bm);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(px[3 * order[i]], i) << "file row " << i;
  stdBitmap_Free(bm);
}

TEST_F(GifTest, RoundTripThroughAFullTable) {
  // Noise fills the 4096-entry table many times over: clear codes, 12-bit codes.
  std::mt19937 rng(7);
  Bytes pixels(320 * 200);
  for (size_t i = 0; i < pixels.size(); ++i) {
    pixels[i] = static_cast<uint8_t>(i % 97 < 40 ? rng() % 256 : (i / 13) % 256);
  }
  Bitmap* bm = MakeBitmap(320, 200, 8, pixels);
  ASSERT_EQ(stdGif_Save("noise.gif", bm), 1);
  stdBitmap_Free(bm);
  const Bytes file = ReadFile("noise.gif");
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 6), (Bytes{'G', 'I', 'F', '8', '9', 'a'}));
  EXPECT_EQ(file[10], 0xF7);
  EXPECT_EQ(file.back(), ';');

  Bitmap* back = stdGif_Load("noise.gif", 0, 0);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(FramePixels(back), pixels);
  EXPECT_EQ(Bytes(back->palette, back->palette + 768), TestPalette());
  stdBitmap_Free(back);

  // An outside decoder reads our file the same way.
  int w = 0, h = 0, n = 0;
  unsigned char* rgba = stbi_load("noise.gif", &w, &h, &n, 4);
  ASSERT_NE(rgba, nullptr);
  ASSERT_EQ(w * h, 320 * 200);
  const Bytes palette = TestPalette();
  for (size_t i = 0; i < pixels.size(); i += 31) {
    ASSERT_EQ(rgba[4 * i], palette[3 * pixels[i]]) << i;
    ASSERT_EQ(rgba[4 * i + 2], palette[3 * pixels[i] + 2]) << i;
  }
  stbi_image_free(rgba);

  ExpectTruncationsFail("cut.gif", file, file.size() - 3,
                        [](const char* p) { return stdGif_Load(p, 0, 0); });
}

TEST_F(GifTest, CorruptStreamsFail) {
  GifSpec s;
  s.global = Table(256, 0);
  // A code above the next free code (first code after a clear is 258+).
  Bytes data = {0x00, 0x02, 0x05, 0x06};  // clear (256), then 258 + junk
  WriteFile("badcode.gif", MakeGif(s, &data));
  EXPECT_EQ(stdGif_Load("badcode.gif", 0, 0), nullptr);
  // Ends (end code) before the image is filled.
  s.pixels = Ramp(5, 256);
  Bytes shortData = PlainLzw(s.pixels, 8);
  WriteFile("short.gif", MakeGif(s, &shortData));
  EXPECT_EQ(stdGif_Load("short.gif", 0, 0), nullptr);
  // Sizes of 0 and a bad minimum code size.
  s.pixels = Ramp(12, 256);
  s.width = 0;
  WriteFile("empty.gif", MakeGif(s));
  EXPECT_EQ(stdGif_Load("empty.gif", 0, 0), nullptr);
  s.width = 4;
  s.minimumSize = 11;
  WriteFile("minsize.gif", MakeGif(s, &shortData));
  EXPECT_EQ(stdGif_Load("minsize.gif", 0, 0), nullptr);
  EXPECT_EQ(stdGif_Load("missing.gif", 0, 0), nullptr);
}

TEST_F(GifTest, WriterRefusesOtherDepths) {
  Bitmap* bm = MakeBitmap(2, 2, 24, Bytes(12, 1));
  EXPECT_EQ(stdGif_Save("deep.gif", bm), 0);
  stdBitmap_Free(bm);
}

}  // namespace
