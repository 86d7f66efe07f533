// Image files by extension, and the BMP, PCX and PIC formats.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "ImageTestSupport.h"
#include "std/stdBmp.h"
#include "std/stdLbm.h"
#include "std/stdPcx.h"
#include "std/stdPic.h"

namespace {

using namespace imagetest;

// ---- BMP --------------------------------------------------------------------

// A 24-bit BMP: rows given top first as red, green, blue; stored bottom-up
// unless topDown (negative height).
Bytes MakeBmp(int width, const std::vector<Bytes>& rows, bool topDown = false, int depth = 24) {
  const int height = static_cast<int>(rows.size());
  const int stride = (width * 3 + 3) & ~3;
  Bytes b = {'B', 'M'};
  PutLE(b, 54 + stride * height, 4);
  PutLE(b, 0, 4);
  PutLE(b, 54, 4);
  PutLE(b, 40, 4);
  PutLE(b, static_cast<uint32_t>(width), 4);
  PutLE(b, static_cast<uint32_t>(topDown ? -height : height), 4);
  PutLE(b, 1, 2);
  PutLE(b, static_cast<uint32_t>(depth), 2);
  PutLE(b, 0, 4);
  PutLE(b, static_cast<uint32_t>(stride * height), 4);
  for (int i = 0; i < 4; ++i) PutLE(b, 0, 4);
  for (int k = 0; k < height; ++k) {
    const Bytes& row = rows[static_cast<size_t>(topDown ? k : height - 1 - k)];
    for (int x = 0; x < width; ++x) {
      b.push_back(row[3 * x + 2]);
      b.push_back(row[3 * x + 1]);
      b.push_back(row[3 * x]);
    }
    b.insert(b.end(), static_cast<size_t>(stride - width * 3), 0);
  }
  return b;
}

const std::vector<Bytes> kRows3x2 = {{255, 0, 0, 0, 255, 0, 0, 0, 255},
                                     {10, 20, 30, 40, 50, 60, 70, 80, 90}};

class BmpTest : public ImageTest {};

TEST_F(BmpTest, BottomUpAndTopDownFiles) {
  const Bytes file = MakeBmp(3, kRows3x2);
  ASSERT_EQ(file.size(), 54u + 24u);  // rows of 9 bytes padded to 12
  WriteFile("up.bmp", file);
  WriteFile("down.bmp", MakeBmp(3, kRows3x2, true));
  for (const char* name : {"up.bmp", "down.bmp"}) {
    Bitmap* bm = stdBmp_Load(name, 0, 0);
    ASSERT_NE(bm, nullptr) << name;
    EXPECT_EQ(bm->format.bitsPerPixel, 24);
    EXPECT_EQ(bm->format.redShift, 16);
    Bytes expected = kRows3x2[0];
    expected.insert(expected.end(), kRows3x2[1].begin(), kRows3x2[1].end());
    EXPECT_EQ(FramePixels(bm), expected) << name;
    stdBitmap_Free(bm);
  }

  // Saving writes the same file: rows of 12 bytes, the last frame row first.
  Bitmap* bm = stdBmp_Load("up.bmp", 0, 0);
  ASSERT_EQ(stdBmp_Save("again.bmp", bm), 1);
  // The PIC module's writer: the same layout with red and blue not exchanged.
  ASSERT_EQ(stdPic_Save("pic.bmp", bm), 1);
  stdBitmap_Free(bm);
  const Bytes again = ReadFile("again.bmp");
  ASSERT_EQ(again.size(), file.size());
  EXPECT_EQ(Bytes(again.begin() + 54, again.end()), Bytes(file.begin() + 54, file.end()));
  EXPECT_EQ(again[28], 24);
  const Bytes pic = ReadFile("pic.bmp");
  ASSERT_EQ(pic.size(), file.size());
  EXPECT_EQ(Bytes(pic.begin(), pic.begin() + 54), Bytes(again.begin(), again.begin() + 54));
  for (size_t row = 54; row < pic.size(); row += 12) {
    for (size_t x = 0; x < 9; x += 3) {
      EXPECT_EQ(pic[row + x], file[row + x + 2]);
      EXPECT_EQ(pic[row + x + 1], file[row + x + 1]);
      EXPECT_EQ(pic[row + x + 2], file[row + x]);
    }
  }

  ExpectTruncationsFail("cut.bmp", file, file.size() - 3,
                        [](const char* p) { return stdBmp_Load(p, 0, 0); });
}

TEST_F(BmpTest, RefusedFiles) {
  Bytes bad = MakeBmp(3, kRows3x2);
  const struct {
    const char* name;
    int offset;
    uint8_t value;
  } cases[] = {
      {"depth16.bmp", 28, 16}, {"depth32.bmp", 28, 32}, {"depth8.bmp", 28, 8},
      {"magic.bmp", 0, 'X'},   {"info.bmp", 14, 12},    {"zero.bmp", 18, 0},
  };
  for (const auto& c : cases) {
    Bytes f = bad;
    f[static_cast<size_t>(c.offset)] = c.value;
    WriteFile(c.name, f);
    EXPECT_EQ(stdBmp_Load(c.name, 0, 0), nullptr) << c.name;
  }
  Bitmap* bm = MakeBitmap(2, 2, 8, Bytes(4, 1));
  EXPECT_EQ(stdBmp_Save("eight.bmp", bm), 0);
  stdBitmap_Free(bm);
}

// ---- PCX --------------------------------------------------------------------

Bytes MakePcx(int xMin, int yMin, int xMax, int yMax, int bytesPerLine, const Bytes& coded,
              int bits = 8, int planes = 1) {
  Bytes b = {10, 5, 1, static_cast<uint8_t>(bits)};
  PutLE(b, static_cast<uint32_t>(xMin), 2);
  PutLE(b, static_cast<uint32_t>(yMin), 2);
  PutLE(b, static_cast<uint32_t>(xMax), 2);
  PutLE(b, static_cast<uint32_t>(yMax), 2);
  b.resize(65, 0);
  b.push_back(static_cast<uint8_t>(planes));
  PutLE(b, static_cast<uint32_t>(bytesPerLine), 2);
  b.resize(128, 0);
  b.insert(b.end(), coded.begin(), coded.end());
  b.push_back(0x0C);
  const Bytes p = TestPalette();
  b.insert(b.end(), p.begin(), p.end());
  return b;
}

class PcxTest : public ImageTest {};

TEST_F(PcxTest, FrameRunsToTheMaximaWithLinesBytesPerLineApart) {
  // The minima (2, 1) are not read: the frame is 4x2 from x and y maximum
  // 3 and 1. A run crosses into line 2.
  const Bytes coded = {1, 0xC2, 0xD0, 0xC3, 5, 6, 7};
  const Bytes file = MakePcx(2, 1, 3, 1, 4, coded);
  WriteFile("origin.pcx", file);
  Bitmap* bm = stdPcx_Load("origin.pcx", 0, 0);
  ASSERT_NE(bm, nullptr);
  EXPECT_EQ(bm->frames[0]->format.width, 4);
  EXPECT_EQ(bm->frames[0]->format.height, 2);
  EXPECT_EQ(FramePixels(bm), (Bytes{1, 0xD0, 0xD0, 5, 5, 5, 6, 7}));
  EXPECT_EQ(Bytes(bm->palette, bm->palette + 768), TestPalette());
  stdBitmap_Free(bm);
  ExpectTruncationsFail("cut.pcx", file, file.size(),
                        [](const char* p) { return stdPcx_Load(p, 0, 0); });

  const struct {
    const char* name;
    Bytes file;
    Bytes pixels;  // empty: refused
  } cases[] = {
      // Width 3 in lines of 4 bytes: the fourth byte of each line is skipped.
      {"padded.pcx", MakePcx(0, 0, 2, 1, 4, coded), {1, 0xD0, 0xD0, 5, 5, 6}},
      {"minimum_above_maximum.pcx", MakePcx(5, 0, 1, 0, 2, {1, 2}), {1, 2}},
      {"four.pcx", MakePcx(0, 0, 3, 0, 2, {1, 2}, 4), {}},
      {"planes.pcx", MakePcx(0, 0, 1, 0, 2, {1, 2, 3, 4, 5, 6}, 8, 3), {}},
      {"narrow.pcx", MakePcx(0, 0, 3, 0, 2, {1, 2}), {}},
  };
  for (const auto& c : cases) {
    WriteFile(c.name, c.file);
    bm = stdPcx_Load(c.name, 0, 0);
    if (c.pixels.empty()) {
      EXPECT_EQ(bm, nullptr) << c.name;
    } else {
      ASSERT_NE(bm, nullptr) << c.name;
      EXPECT_EQ(FramePixels(bm), c.pixels) << c.name;
    }
    stdBitmap_Free(bm);
  }
}

TEST_F(PcxTest, WriterCodesTheWidthOfEachRow) {
  Bitmap* bm = MakeBitmap(70, 1, 8, Bytes(70, 0x21));
  ASSERT_EQ(stdPcx_Save("run.pcx", bm), 1);
  stdBitmap_Free(bm);
  Bytes file = ReadFile("run.pcx");
  ASSERT_EQ(file.size(), 128u + 4u + 769u);
  EXPECT_EQ(Bytes(file.begin() + 128, file.begin() + 132), (Bytes{0xFF, 0x21, 0xC7, 0x21}));
  EXPECT_EQ(file[132], 0x0C);

  // Odd width: 3 bytes per line, each line its 3 bytes; bytes of 0xC0 and
  // above go out as runs of one.
  const Bytes pixels = {0xC5, 1, 2, 3, 0xC5, 0xC5};
  bm = MakeBitmap(3, 2, 8, pixels);
  ASSERT_EQ(stdPcx_Save("odd.pcx", bm), 1);
  stdBitmap_Free(bm);
  file = ReadFile("odd.pcx");
  EXPECT_EQ(file[66], 3);
  EXPECT_EQ(file[8], 2);  // x max
  EXPECT_EQ(Bytes(file.begin() + 128, file.begin() + 136),
            (Bytes{0xC1, 0xC5, 1, 2, 3, 0xC2, 0xC5, 0x0C}));
  bm = stdPcx_Load("odd.pcx", 0, 0);
  ASSERT_NE(bm, nullptr);
  EXPECT_EQ(FramePixels(bm), pixels);
  stdBitmap_Free(bm);
}

// ---- PIC --------------------------------------------------------------------

Bytes PicHeader(int width, int height) {
  Bytes b = {0x53, 0x80, 0xF6, 0x34};
  PutBE(b, 0x40733333, 4);  // version 3.71
  b.resize(88, 0);
  PutText(b, "PICT");
  PutBE(b, static_cast<uint32_t>(width), 2);
  PutBE(b, static_cast<uint32_t>(height), 2);
  PutBE(b, 0x3F800000, 4);  // aspect 1.0
  PutBE(b, 3, 2);           // both fields
  PutBE(b, 0, 2);
  return b;
}

class PicTest : public ImageTest {};

TEST_F(PicTest, PacketLayoutsGiveTheSamePixels) {
  // 4x2 pixels: row 0 red ramp, row 1 one colour.
  const Bytes expected = {10, 1, 2, 20, 1, 2, 30, 1, 2, 40, 1, 2,
                          9,  8, 7, 9,  8, 7, 9,  8, 7, 9,  8, 7};
  // One packet with red, green and blue (mask 0xE0), mixed run-length:
  // row 0: a literal of 4, row 1: a run of 4 (short form) ...
  Bytes rgb = PicHeader(4, 2);
  rgb.insert(rgb.end(), {0, 8, 2, 0xE0});
  rgb.insert(rgb.end(), {3, 10, 1, 2, 20, 1, 2, 30, 1, 2, 40, 1, 2});
  rgb.insert(rgb.end(), {131, 9, 8, 7});
  // ... or three single-channel packets plus alpha, the long run form and a
  // run reaching past the row end.
  Bytes split = PicHeader(4, 2);
  split.insert(split.end(), {1, 8, 2, 0x80, 1, 8, 0, 0x40, 1, 8, 2, 0x20, 0, 8, 2, 0x10});
  split.insert(split.end(), {3, 10, 20, 30, 40});  // red literal
  split.insert(split.end(), {1, 1, 1, 1});         // green uncompressed
  split.insert(split.end(), {128, 0, 4, 2});       // blue long run of 4
  split.insert(split.end(), {200, 255});           // alpha run of 73, cut
  split.insert(split.end(), {128, 0, 9, 9});       // row 1 red: long run of 9, cut at 4
  split.insert(split.end(), {8, 8, 8, 8});         // green
  split.insert(split.end(), {130, 7, 0, 7});       // blue: run of 3, literal of 1
  split.insert(split.end(), {131, 0});             // alpha
  for (const auto& [name, file] : {std::pair{"rgb.pic", rgb}, std::pair{"split.pic", split}}) {
    WriteFile(name, file);
    Bitmap* bm = stdPic_Load(name, 0, 0);
    ASSERT_NE(bm, nullptr) << name;
    EXPECT_EQ(FramePixels(bm), expected) << name;
    stdBitmap_Free(bm);
    ExpectTruncationsFail("cut.pic", file, file.size(),
                          [](const char* p) { return stdPic_Load(p, 0, 0); });
  }

  Bytes deep = PicHeader(4, 2);
  deep.insert(deep.end(), {0, 16, 0, 0xE0});
  WriteFile("deep.pic", deep);
  EXPECT_EQ(stdPic_Load("deep.pic", 0, 0), nullptr);
  Bytes wrong = rgb;
  wrong[88] = 'X';
  WriteFile("wrong.pic", wrong);
  EXPECT_EQ(stdPic_Load("wrong.pic", 0, 0), nullptr);
}

// ---- By extension -------------------------------------------------------------

class ByExtensionTest : public ImageTest {};

TEST_F(ByExtensionTest, LoadChoosesByExtension) {
  WriteFile("picture.BMP", MakeBmp(3, kRows3x2));
  Bitmap* bm = MakeBitmap(4, 1, 8, {1, 2, 3, 4});
  ASSERT_EQ(stdLbm_Save("plain.lbm", bm), 1);
  stdBitmap_Free(bm);

  char name[32] = "picture.BMP";
  bm = std_LoadImage(name, sizeof name, 0, 0);
  ASSERT_NE(bm, nullptr);
  EXPECT_EQ(bm->format.bitsPerPixel, 24);
  stdBitmap_Free(bm);

  // No dot: ".lbm" is appended in the caller's buffer, when it fits.
  char bare[16] = "plain";
  bm = std_LoadImage(bare, sizeof bare, 0, 0);
  ASSERT_NE(bm, nullptr);
  EXPECT_STREQ(bare, "plain.lbm");
  stdBitmap_Free(bm);
  char tight[6] = "plain";
  EXPECT_EQ(std_LoadImage(tight, sizeof tight, 0, 0), nullptr);
  EXPECT_STREQ(tight, "plain");

  // The first four characters of the extension decide.
  WriteFile("picture.bmpxx", MakeBmp(3, kRows3x2));
  WriteFile("picture.abcde", MakeBmp(3, kRows3x2));
  char longer[32] = "picture.bmpxx";
  bm = std_LoadImage(longer, sizeof longer, 0, 0);
  EXPECT_NE(bm, nullptr);
  stdBitmap_Free(bm);
  char other[32] = "picture.abcde";
  EXPECT_EQ(std_LoadImage(other, sizeof other, 0, 0), nullptr);
}

// Files that other tools wrote (odd widths with and without padded lines,
// a planar IFF picture, interlaced GIFs, local colour tables, transparency
// and extensions) give the pixels a second decoder gives.
TEST_F(ByExtensionTest, ImagesFromOtherToolsDecodeAsASecondDecoderDoes) {
  for (const OtherToolImage& image : kOtherToolImages) {
    SCOPED_TRACE(image.file);
    char path[1024];
    std::snprintf(path, sizeof path, "%s", OtherToolImagePath(image).c_str());
    Bitmap* bm = std_LoadImage(path, sizeof path, 0, 0);
    ASSERT_NE(bm, nullptr);
    const BufferFormat& f = bm->frames[0]->format;
    // LBM frames are raised to an even width.
    const bool lbm = std::strstr(image.file, ".lbm") != nullptr;
    EXPECT_EQ(f.width, lbm ? (image.width + 1) & ~1 : image.width);
    EXPECT_EQ(f.height, image.height);
    EXPECT_EQ(RgbCrc(bm, image.width, image.height), image.rgbCrc);
    stdBitmap_Free(bm);
  }
}

TEST_F(ByExtensionTest, SaveChoosesByExtension) {
  Bytes pixels(128);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i / 16);
  Bitmap* bm = MakeBitmap(64, 2, 8, pixels);  // packs
  char zbm[32] = "depth.zbm";
  ASSERT_EQ(std_SaveImage(zbm, sizeof zbm, bm), 1);
  EXPECT_EQ(bm->format.colorMode, 5);
  EXPECT_EQ(bm->frames[0]->format.format.colorMode, 5);
  Bitmap* back = stdBitmap_Load("depth.zbm", 0, 0);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->format.colorMode, 5);
  stdBitmap_Free(back);

  // An extension that matches nothing: 0, after the frames were unpacked.
  stdBitmap_PackFrames(bm);
  ASSERT_EQ(bm->frames[0]->storage, STDDISPLAY_PACKED);
  char unknown[32] = "shot.tga";
  EXPECT_EQ(std_SaveImage(unknown, sizeof unknown, bm), 0);
  EXPECT_EQ(bm->frames[0]->storage, STDDISPLAY_PLAIN);

  bm->format.colorMode = 0;
  bm->frames[0]->format.format.colorMode = 0;
  char bare[32] = "shot";
  ASSERT_EQ(std_SaveImage(bare, sizeof bare, bm), 1);
  EXPECT_STREQ(bare, "shot.lbm");
  for (const char* ext : {"shot.gif", "shot.PCX"}) {
    char path[32];
    std::strcpy(path, ext);
    EXPECT_EQ(std_SaveImage(path, sizeof path, bm), 1) << ext;
    back = std_LoadImage(path, sizeof path, 0, 0);
    ASSERT_NE(back, nullptr) << ext;
    EXPECT_EQ(FramePixels(back), FramePixels(bm)) << ext;
    stdBitmap_Free(back);
  }
  stdBitmap_Free(bm);
}

}  // namespace
