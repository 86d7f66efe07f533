// Image files and ".mcb" texture containers to surfaces, on the GL context
// that kv_gfx_gl.cpp's environment starts for this program. PNG files are
// written here with zlib, DDS payloads with a hand-made header and fake DXT
// blocks.
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../engine/LabnWriter.h"
#include "engine/Res.h"
#include "gfx/kv_ImageFile.h"
#include "gfx/kv_Surface.h"
#include "std/std.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put32LE(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void Put32BE(Bytes& b, uint32_t v) {
  for (int i = 3; i >= 0; --i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PngChunk(Bytes& png, const char* type, const Bytes& data) {
  Put32BE(png, static_cast<uint32_t>(data.size()));
  const size_t start = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), data.begin(), data.end());
  Put32BE(png, static_cast<uint32_t>(
                   crc32(0, png.data() + start, static_cast<uInt>(png.size() - start))));
}

// An 8-bit PNG of RGBA (channels 4) or RGB (channels 3) pixels, rows unfiltered.
Bytes MakePng(int width, int height, int channels, const Bytes& pixels) {
  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes ihdr;
  Put32BE(ihdr, static_cast<uint32_t>(width));
  Put32BE(ihdr, static_cast<uint32_t>(height));
  ihdr.insert(ihdr.end(), {8, static_cast<uint8_t>(channels == 4 ? 6 : 2), 0, 0, 0});
  PngChunk(png, "IHDR", ihdr);
  Bytes raw;
  const size_t rowBytes = static_cast<size_t>(width) * channels;
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);
    raw.insert(raw.end(), pixels.begin() + static_cast<ptrdiff_t>(y * rowBytes),
               pixels.begin() + static_cast<ptrdiff_t>((y + 1) * rowBytes));
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  Bytes packed(packedSize);
  compress(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()));
  packed.resize(packedSize);
  PngChunk(png, "IDAT", packed);
  PngChunk(png, "IEND", {});
  return png;
}

// A square RGBA level whose pixels all hold (size, seed, 7, 255).
Bytes Level(int size, int seed, int channels = 4) {
  Bytes pixels;
  for (int i = 0; i < size * size; ++i) {
    pixels.insert(pixels.end(), {static_cast<uint8_t>(size), static_cast<uint8_t>(seed), 7});
    if (channels == 4) pixels.push_back(255);
  }
  return MakePng(size, size, channels, pixels);
}

// A DDS file of a 256x256 DXT picture with the given code and mip count,
// followed by zeroed blocks for every level of the chain.
Bytes MakeDds(const char* fourCC, uint32_t mipCount) {
  Bytes b = {'D', 'D', 'S', ' '};
  Put32LE(b, 124);
  Put32LE(b, 0x000A1007);  // caps, height, width, pixel format, mip count, linear size
  Put32LE(b, 256);         // height
  Put32LE(b, 256);         // width
  Put32LE(b, 256 * 256 / 2);
  Put32LE(b, 0);
  Put32LE(b, mipCount);
  b.resize(76, 0);
  Put32LE(b, 32);  // pixel format size
  Put32LE(b, 4);   // four-character code present
  b.insert(b.end(), fourCC, fourCC + 4);
  b.resize(128, 0);
  const size_t block = std::strcmp(fourCC, "DXT1") == 0 ? 8 : 16;
  for (int size = 256; size >= 1; size /= 2) {
    const size_t blocks = static_cast<size_t>((size + 3) / 4) * ((size + 3) / 4);
    b.insert(b.end(), blocks * block, 0x55);
  }
  return b;
}

struct Record {
  uint32_t kind;
  Bytes payload;
};
Bytes MakeMcb(const std::vector<Record>& records, uint32_t count) {
  Bytes b;
  Put32LE(b, 1);
  Put32LE(b, 2);
  Put32LE(b, 3);
  Put32LE(b, count);
  for (const Record& r : records) {
    Put32LE(b, 0);
    Put32LE(b, r.kind);
    Put32LE(b, static_cast<uint32_t>(r.payload.size()));
    b.insert(b.end(), r.payload.begin(), r.payload.end());
  }
  return b;
}
Bytes MakeMcb(const std::vector<Record>& records) {
  return MakeMcb(records, static_cast<uint32_t>(records.size()));
}

void Write(const std::string& name, const Bytes& bytes) {
  std::filesystem::create_directories(std::filesystem::path(name).parent_path().empty()
                                          ? "."
                                          : std::filesystem::path(name).parent_path());
  std::ofstream(name, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

class ImageFile : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!std_IsStarted()) {
      static HostServices hs;
      HostServices_CopyDefaults(&hs);
      std_DefaultServices(&hs);
      std_Startup(&hs);
    }
  }
};

TEST_F(ImageFile, PngToSurfaceAndPremultiply) {
  const Bytes rgba = {200, 100, 50, 128, 1,  2,  3,  255, 9, 9, 9, 0,
                      10,  20,  30, 40,  50, 60, 70, 80,  0, 0, 0, 255};
  Write("rgba.png", MakePng(3, 2, 4, rgba));
  const Bytes rgb = {1, 2, 3, 4, 5, 6};
  Write("rgb.png", MakePng(2, 1, 3, rgb));

  kvSurface* s = LoadImageSurface("rgba.png");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->format, kvFormat_8x4_RGB);
  EXPECT_EQ(s->width, 3);
  ASSERT_NE(s->pixels, nullptr);
  EXPECT_EQ(Bytes(s->pixels, s->pixels + 24), rgba);
  EXPECT_EQ(s->needsUpload, 1);
  EXPECT_EQ(PremultiplyAlpha(s), 1);
  EXPECT_EQ(Bytes(s->pixels, s->pixels + 12), (Bytes{100, 50, 25, 128, 1, 2, 3, 255, 0, 0, 0, 0}));
  kv_Surface_Release(s);

  s = LoadImageSurface("rgb.png");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(Bytes(s->pixels, s->pixels + 8), (Bytes{1, 2, 3, 255, 4, 5, 6, 255}));
  kv_Surface_Release(s);

  Write("empty.png", {});
  Write("junk.png", Bytes(100, 0x42));
  EXPECT_EQ(LoadImageSurface("empty.png"), nullptr);
  EXPECT_EQ(LoadImageSurface("junk.png"), nullptr);
  EXPECT_EQ(LoadImageSurface("missing.png"), nullptr);
  EXPECT_EQ(PremultiplyAlpha(nullptr), 0);
}

TEST_F(ImageFile, PictureInsideAnArchive) {
  const Bytes png = MakePng(1, 1, 4, {5, 6, 7, 8});
  const std::string data(png.begin(), png.end());
  {
    std::ofstream out("pictures.lab", std::ios::binary | std::ios::trunc);
    out << LabnBuild({{"cursor.png", data}});
  }
  Res_FileLayerInitialize(std_pHS);
  ASSERT_NE(Res_OpenPack("pictures.lab"), nullptr);
  kvSurface* s = LoadImageSurface("CURSOR.PNG");
  Res_ClosePacks();
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(Bytes(s->pixels, s->pixels + 4), (Bytes{5, 6, 7, 8}));
  kv_Surface_Release(s);
}

TEST_F(ImageFile, ContainerNames) {
  const Bytes mcb = MakeMcb({{0, Level(4, 1)}});
  Write("dflt.mat.0.mcb", mcb);
  Write("sub/dflt.mat.0.mcb", mcb);
  Write("upper.MCB", mcb);
  EXPECT_EQ(LoadMcbTexture("dflt.mat.0.mcb"), nullptr);
  EXPECT_EQ(LoadMcbTexture("upper.MCB"), nullptr);
  EXPECT_EQ(LoadMcbTexture("nodot"), nullptr);
  kvSurface* s = LoadMcbTexture("sub/dflt.mat.0.mcb");
  ASSERT_NE(s, nullptr);
  kv_Surface_Release(s);
}

TEST_F(ImageFile, ImageRecordsFillTheMipChain) {
  // Level 1 comes as RGB: it is placed as RGBA like the others. A record of
  // another kind in between is skipped.
  Write(
      "three.mcb",
      MakeMcb({{0, Level(64, 1)}, {5, Bytes(10, 1)}, {0, Level(32, 2, 3)}, {0, Level(16, 3)}}, 4));
  kvSurface* s = LoadMcbTexture("three.mcb");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->format, kvFormat_8x4_RGB);
  EXPECT_EQ(s->mipmapped, 1);
  EXPECT_EQ(s->levelCount, 4);
  EXPECT_EQ(s->lockCount, 0);
  EXPECT_EQ(s->needsUpload, 1);
  EXPECT_EQ(Bytes(s->pixels, s->pixels + 4), (Bytes{64, 1, 7, 255}));
  EXPECT_EQ(Bytes(s->pixels + 16380, s->pixels + 16384), (Bytes{64, 1, 7, 255}));
  EXPECT_EQ(Bytes(s->pixels + 16384, s->pixels + 16388), (Bytes{32, 2, 7, 255}));
  EXPECT_EQ(Bytes(s->pixels + 20476, s->pixels + 20480), (Bytes{32, 2, 7, 255}));
  EXPECT_EQ(Bytes(s->pixels + 20480, s->pixels + 20484), (Bytes{16, 3, 7, 255}));
  kv_Surface_Release(s);
}

TEST_F(ImageFile, DdsRecords) {
  if (!GLEW_EXT_texture_compression_s3tc) GTEST_SKIP() << "no S3TC on this GL";
  Write("dds.mcb", MakeMcb({{2, MakeDds("DXT1", 11)}}));
  kvSurface* s = LoadMcbTexture("dds.mcb");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->format, kvFormat_DXT1);
  EXPECT_EQ(s->levelCount, 8);
  EXPECT_EQ(s->width, 256);
  kv_Surface_Release(s);

  // A DDS record after image records replaces their surface.
  Write("both.mcb", MakeMcb({{0, Level(8, 1)}, {2, MakeDds("DXT5", 1)}}));
  s = LoadMcbTexture("both.mcb");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->format, kvFormat_DXT5);
  kv_Surface_Release(s);

  // Skipped: another code, a payload shorter than the DDS header.
  Write("dxt2.mcb", MakeMcb({{2, MakeDds("DXT2", 1)}}));
  EXPECT_EQ(LoadMcbTexture("dxt2.mcb"), nullptr);
  Bytes stub = MakeDds("DXT1", 1);
  stub.resize(100);
  Write("stub.mcb", MakeMcb({{2, stub}}));
  EXPECT_EQ(LoadMcbTexture("stub.mcb"), nullptr);
}

TEST_F(ImageFile, BadContainersFail) {
  const Bytes good = MakeMcb({{0, Level(8, 1)}, {0, Level(4, 2)}});
  const struct {
    const char* name;
    Bytes file;
  } cases[] = {
      // A level larger than its place in the chain.
      {"big.mcb", MakeMcb({{0, Level(8, 1)}, {0, Level(8, 2)}})},
      {"small.mcb", MakeMcb({{0, Level(8, 1)}, {0, Level(2, 2)}})},
      // An image record that does not decode.
      {"junk.mcb", MakeMcb({{0, Level(8, 1)}, {0, Bytes(40, 3)}})},
      // More records than the file can hold.
      {"count.mcb", MakeMcb({{0, Level(8, 1)}}, 0x40000000)},
      {"empty.mcb", MakeMcb({})},
  };
  for (const auto& c : cases) {
    Write(c.name, c.file);
    EXPECT_EQ(LoadMcbTexture(c.name), nullptr) << c.name;
  }
  for (size_t cut = 0; cut < good.size(); cut += 1 + cut / 8) {
    Write("cut.mcb", Bytes(good.begin(), good.begin() + static_cast<ptrdiff_t>(cut)));
    EXPECT_EQ(LoadMcbTexture("cut.mcb"), nullptr) << cut;
  }
  Write("good.mcb", good);
  kvSurface* s = LoadMcbTexture("good.mcb");
  ASSERT_NE(s, nullptr);
  kv_Surface_Release(s);
}

}  // namespace
