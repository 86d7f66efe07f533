#include "std/stdLbm.h"

#include <gtest/gtest.h>

#include <random>

#include "ImageTestSupport.h"

namespace {

using namespace imagetest;

Bytes Pack(const Bytes& row) {
  Bytes out(static_cast<size_t>(stdLbm_PackBound(static_cast<int>(row.size()))));
  out.resize(static_cast<size_t>(
      stdLbm_PackRowBytes(out.data(), row.data(), static_cast<int>(row.size()))));
  return out;
}

// ByteRun1 as the format describes it, to check the packer against.
Bytes Unpack(const Bytes& packed) {
  Bytes out;
  for (size_t i = 0; i < packed.size();) {
    const auto n = static_cast<int8_t>(packed[i++]);
    if (n >= 0) {
      out.insert(out.end(), packed.begin() + static_cast<ptrdiff_t>(i),
                 packed.begin() + static_cast<ptrdiff_t>(i) + n + 1);
      i += static_cast<size_t>(n) + 1;
    } else if (n != -128) {
      out.insert(out.end(), static_cast<size_t>(1 - n), packed[i++]);
    }
  }
  return out;
}

TEST(LbmPacker, PinnedOutput) {
  const struct {
    Bytes row, packed;
  } cases[] = {
      {Bytes(5, 9), {0xFC, 9}},
      {{1, 2, 3}, {0x02, 1, 2, 3}},
      {{1, 2, 2, 2, 2}, {0x01, 1, 2, 0xFE, 2}},
      {Bytes(130, 4), {0x81, 4, 0xFF, 4}},
      {{7}, {0x00, 7}},
  };
  for (const auto& c : cases) EXPECT_EQ(Pack(c.row), c.packed);
}

TEST(LbmPacker, RandomRowsStayWithinTheBoundAndUnpack) {
  std::mt19937 rng(3);
  for (int t = 0; t < 3000; ++t) {
    Bytes row(1 + rng() % 700);
    const int alphabet = 1 + static_cast<int>(rng() % 4);
    for (size_t i = 0; i < row.size();) {
      const size_t run = 1 + rng() % (t % 3 == 0 ? 1 : 6);
      const auto v = static_cast<uint8_t>(rng() % (t % 5 == 0 ? 256 : alphabet));
      for (size_t k = 0; k < run && i < row.size(); ++k) row[i++] = v;
    }
    const Bytes packed = Pack(row);
    ASSERT_LE(packed.size(), static_cast<size_t>(stdLbm_PackBound(static_cast<int>(row.size()))));
    ASSERT_EQ(Unpack(packed), row);
  }
}

// An LBM file written by the test: FORM/PBM with the chunks given.
struct Chunk {
  const char* id;
  Bytes body;
};
Bytes MakeIff(const char* formType, const std::vector<Chunk>& chunks) {
  Bytes b;
  PutText(b, "FORM");
  PutBE(b, 0, 4);
  PutText(b, formType);
  for (const Chunk& c : chunks) {
    PutText(b, c.id);
    PutBE(b, static_cast<uint32_t>(c.body.size()), 4);
    b.insert(b.end(), c.body.begin(), c.body.end());
    if (c.body.size() & 1) b.push_back(0);
  }
  const auto length = static_cast<uint32_t>(b.size() - 8);
  for (int i = 0; i < 4; ++i) b[4 + i] = static_cast<uint8_t>(length >> (24 - 8 * i));
  return b;
}
Bytes Bmhd(int width, int height, int compression) {
  Bytes b;
  PutBE(b, static_cast<uint32_t>(width), 2);
  PutBE(b, static_cast<uint32_t>(height), 2);
  PutBE(b, 0, 4);
  b.push_back(8);
  b.push_back(0);
  b.push_back(static_cast<uint8_t>(compression));
  b.push_back(0);
  PutBE(b, 0, 2);
  b.push_back(6);
  b.push_back(5);
  PutBE(b, static_cast<uint32_t>(width), 2);
  PutBE(b, static_cast<uint32_t>(height), 2);
  return b;
}

Bytes Planes(Bytes bmhd, int planes, int masking = 0) {
  bmhd[8] = static_cast<uint8_t>(planes);
  bmhd[9] = static_cast<uint8_t>(masking);
  return bmhd;
}

class LbmTest : public ImageTest {};

TEST_F(LbmTest, SaveAndReadBack) {
  std::mt19937 rng(5);
  for (const int width : {16, 7, 3000}) {  // even, odd, wider than any fixed scratch
    const int height = 5;
    Bytes pixels(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < pixels.size(); ++i) {
      pixels[i] = static_cast<uint8_t>(i % 11 < 5 ? 0x80 : rng() % 256);
    }
    Bitmap* bm = MakeBitmap(width, height, 8, pixels);
    ASSERT_EQ(stdLbm_Save("saved.lbm", bm), 1) << width;
    stdBitmap_Free(bm);

    const Bytes file = ReadFile("saved.lbm");
    ASSERT_GE(file.size(), 824u);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 4), (Bytes{'F', 'O', 'R', 'M'}));
    const uint32_t formLength =
        static_cast<uint32_t>(file[4] << 24 | file[5] << 16 | file[6] << 8 | file[7]);
    EXPECT_EQ(formLength, file.size() - 8);
    EXPECT_EQ(Bytes(file.begin() + 20, file.begin() + 40), Bmhd(width, height, 1));
    EXPECT_EQ(Bytes(file.begin() + 48, file.begin() + 816), TestPalette());
    // The body: each row's width bytes packed, and no pad byte after it.
    Bytes body;
    for (int y = 0; y < height; ++y) {
      const Bytes packed =
          Pack(Bytes(pixels.begin() + y * width, pixels.begin() + (y + 1) * width));
      body.insert(body.end(), packed.begin(), packed.end());
    }
    const uint32_t bodyLength =
        static_cast<uint32_t>(file[820] << 24 | file[821] << 16 | file[822] << 8 | file[823]);
    EXPECT_EQ(bodyLength, body.size());
    EXPECT_EQ(Bytes(file.begin() + 824, file.end()), body) << width;

    Bitmap* back = stdLbm_Load("saved.lbm", 0, 0);
    ASSERT_NE(back, nullptr);
    const int frameWidth = (width + 1) & ~1;
    EXPECT_EQ(back->frames[0]->format.width, frameWidth);
    EXPECT_EQ(Bytes(back->palette, back->palette + 768), TestPalette());
    const Bytes px = FramePixels(back);
    for (int y = 0; y < height; ++y) {
      EXPECT_EQ(Bytes(px.begin() + y * frameWidth, px.begin() + y * frameWidth + width),
                Bytes(pixels.begin() + y * width, pixels.begin() + (y + 1) * width))
          << width << " row " << y;
    }
    stdBitmap_Free(back);
    if (width == 16) {
      ExpectTruncationsFail("cut.lbm", file, file.size(),
                            [](const char* p) { return stdLbm_Load(p, 0, 0); });
    }
  }
}

TEST_F(LbmTest, ChunkWalkOddWidthAndNoOperation) {
  // Width 3: the frame is 4 wide; a literal of 4 completes row 0. A -128
  // control adds nothing. CMAP data that spells "BODY" and a chunk with an
  // odd length are walked over by length.
  Bytes cmap = TestPalette();
  std::memcpy(cmap.data() + 30, "BODY\0\0\0\x04", 8);
  const Bytes body = {0x80, 0x03, 1, 2, 3, 0, 0xFD, 9};
  const Bytes file = MakeIff(
      "PBM ", {{"BMHD", Bmhd(3, 2, 1)}, {"DPPS", Bytes(5, 'x')}, {"CMAP", cmap}, {"BODY", body}});
  WriteFile("odd.lbm", file);
  Bitmap* bm = stdLbm_Load("odd.lbm", 0, 0);
  ASSERT_NE(bm, nullptr);
  EXPECT_EQ(bm->frames[0]->format.width, 4);
  EXPECT_EQ(FramePixels(bm), (Bytes{1, 2, 3, 0, 9, 9, 9, 9}));
  EXPECT_EQ(Bytes(bm->palette, bm->palette + 768), cmap);
  stdBitmap_Free(bm);

  // Uncompressed bodies are read row by row too.
  WriteFile(
      "raw.lbm",
      MakeIff("PBM ", {{"BMHD", Bmhd(2, 2, 0)}, {"BODY", {5, 6, 7, 8}}, {"CMAP", TestPalette()}}));
  bm = stdLbm_Load("raw.lbm", 0, 0);
  ASSERT_NE(bm, nullptr);
  EXPECT_EQ(FramePixels(bm), (Bytes{5, 6, 7, 8}));
  stdBitmap_Free(bm);
}

// Packed rows are decoded one after another, each until it holds the BMHD
// width; a group that passes the width completes and the next row starts
// after it. Planar forms give each pixel the bits of its planes.
TEST_F(LbmTest, RowsRunToTheWidth) {
  const struct {
    const char* name;
    const char* form;
    Bytes bmhd, body, pixels;
  } cases[] = {
      {"rows of the odd width",
       "PBM ",
       Bmhd(3, 2, 1),
       {0x02, 1, 2, 3, 0xFE, 9},
       {1, 2, 3, 0, 9, 9, 9, 0}},
      {"a literal past the frame",
       "PBM ",
       Bmhd(3, 2, 1),
       {0x05, 1, 2, 3, 4, 5, 6, 0x02, 7, 8, 9},
       {1, 2, 3, 4, 7, 8, 9, 0}},
      {"a run past the width",
       "PBM ",
       Bmhd(5, 2, 1),
       {0xFB, 4, 0x00, 7, 0xFD, 3},
       {4, 4, 4, 4, 4, 4, 7, 3, 3, 3, 3, 0}},
      // Two planes of width 10 (two bytes each): pixel x takes bit 7 - x % 8
      // of byte x / 8 of each plane, plane 0 the lowest bit of its index.
      {"two planes, packed",
       "ILBM",
       Planes(Bmhd(10, 1, 1), 2),
       {0x01, 0xA0, 0x40, 0x01, 0x0F, 0xC0},
       {1, 0, 1, 0, 2, 2, 2, 2, 2, 3}},
      {"two planes and a mask, stored",
       "ILBM",
       Planes(Bmhd(3, 1, 0), 2, 1),
       {0x80, 0, 0x60, 0, 0xFF, 0xFF},
       {1, 2, 2, 0}},
  };
  for (const auto& c : cases) {
    WriteFile("rows.lbm",
              MakeIff(c.form, {{"BMHD", c.bmhd}, {"CMAP", TestPalette()}, {"BODY", c.body}}));
    Bitmap* bm = stdLbm_Load("rows.lbm", 0, 0);
    ASSERT_NE(bm, nullptr) << c.name;
    EXPECT_EQ(FramePixels(bm), c.pixels) << c.name;
    stdBitmap_Free(bm);
  }
}

TEST_F(LbmTest, RefusedFiles) {
  const struct {
    const char* name;
    Bytes file;
  } cases[] = {
      {"planar_short.lbm",
       MakeIff("ILBM", {{"BMHD", Bmhd(2, 1, 1)}, {"CMAP", TestPalette()}, {"BODY", {0x01, 1, 2}}})},
      {"planar_24.lbm", MakeIff("ILBM", {{"BMHD", Planes(Bmhd(2, 1, 0), 24)},
                                         {"CMAP", TestPalette()},
                                         {"BODY", Bytes(48, 0)}})},
      {"nocmap.lbm", MakeIff("PBM ", {{"BMHD", Bmhd(2, 1, 1)}, {"BODY", {0x01, 1, 2}}})},
      {"nobmhd.lbm", MakeIff("PBM ", {{"CMAP", TestPalette()}, {"BODY", {0x01, 1, 2}}})},
      // A run beyond the last row: the body ends before the second row.
      {"shortbody.lbm",
       MakeIff("PBM ", {{"BMHD", Bmhd(4, 2, 1)}, {"CMAP", TestPalette()}, {"BODY", {0x81, 7}}})},
      {"zero.lbm",
       MakeIff("PBM ", {{"BMHD", Bmhd(0, 2, 1)}, {"CMAP", TestPalette()}, {"BODY", {0x01, 1, 2}}})},
      {"notiff.lbm", {'R', 'I', 'F', 'F', 0, 0, 0, 4, 'P', 'B', 'M', ' '}},
  };
  for (const auto& c : cases) {
    WriteFile(c.name, c.file);
    Bitmap* bm = stdLbm_Load(c.name, 0, 0);
    EXPECT_EQ(bm, nullptr) << c.name;
    stdBitmap_Free(bm);
  }
  // A 128-byte run in a 4-byte row completes; row 1 starts after it.
  WriteFile("longrun.lbm", MakeIff("PBM ", {{"BMHD", Bmhd(4, 2, 1)},
                                            {"CMAP", TestPalette()},
                                            {"BODY", {0x81, 7, 0x03, 1, 2, 3, 4}}}));
  Bitmap* bm = stdLbm_Load("longrun.lbm", 0, 0);
  ASSERT_NE(bm, nullptr);
  EXPECT_EQ(FramePixels(bm), (Bytes{7, 7, 7, 7, 1, 2, 3, 4}));
  stdBitmap_Free(bm);
}

}  // namespace
