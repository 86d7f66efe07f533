// Helpers of the image-file tests: files written and read back, bitmaps made
// from pixel lists, and the fixture that starts the general library.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "std/std.h"
#include "std/stdBitmap.h"

namespace imagetest {

using Bytes = std::vector<uint8_t>;

inline void PutLE(Bytes& b, uint32_t v, int n) {
  for (int i = 0; i < n; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void PutBE(Bytes& b, uint32_t v, int n) {
  for (int i = n - 1; i >= 0; --i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void PutText(Bytes& b, const char* text) {
  b.insert(b.end(), text, text + std::strlen(text));
}

inline std::string WriteFile(const std::string& name, const Bytes& bytes) {
  std::ofstream(name, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return name;
}

inline Bytes ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The pixels of frame 0, row after row without the row padding.
inline Bytes FramePixels(const Bitmap* bm) {
  const DisplayBuffer* f = bm->frames[0];
  const int rowBytes = f->format.width * f->format.format.bitsPerPixel / 8;
  Bytes out;
  for (int y = 0; y < f->format.height; ++y) {
    const auto* row = static_cast<const uint8_t*>(f->pixels) +
                      static_cast<size_t>(y) * static_cast<size_t>(f->format.bytesPerRow);
    out.insert(out.end(), row, row + rowBytes);
  }
  return out;
}

inline Bytes TestPalette() {
  Bytes p(768);
  for (int i = 0; i < 768; ++i) p[i] = static_cast<uint8_t>(i * 7 + 3);
  return p;
}

// A one-frame bitmap of the given depth (8 with a palette, or 24) holding pixels.
inline Bitmap* MakeBitmap(int width, int height, int bitsPerPixel, const Bytes& pixels) {
  const ColorFormat k8 = {0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const ColorFormat k24 = {1, 24, 8, 8, 8, 16, 8, 0, 0, 0, 0, 0, 0, 0};
  const ColorFormat& cf = bitsPerPixel == 8 ? k8 : k24;
  uint8_t* palette = nullptr;
  if (bitsPerPixel == 8) {
    palette = static_cast<uint8_t*>(std_pHS->memAlloc(768, __FILE__, __LINE__));
    const Bytes p = TestPalette();
    std::memcpy(palette, p.data(), 768);
  }
  Bitmap* bm = stdBitmap_New(1, palette, STDBITMAP_RAW, palette ? STDBITMAP_PALETTE : 0u, &cf);
  BufferFormat f{};
  f.width = width;
  f.height = height;
  f.format = cf;
  DisplayBuffer* frame = stdDisplay_NewBuffer(&f, 0, 0, nullptr);
  const int rowBytes = width * bitsPerPixel / 8;
  for (int y = 0; y < height; ++y) {
    std::memcpy(static_cast<uint8_t*>(frame->pixels) +
                    static_cast<size_t>(y) * static_cast<size_t>(frame->format.bytesPerRow),
                pixels.data() + static_cast<size_t>(y) * rowBytes, static_cast<size_t>(rowBytes));
  }
  bm->frames[0] = frame;
  return bm;
}

// Every cut of a file shorter than needed (the first needed bytes hold all
// the pixel data) must load as null.
template <class Load>
void ExpectTruncationsFail(const std::string& name, const Bytes& whole, size_t needed, Load load) {
  for (size_t cut = 0; cut < needed; cut += 1 + cut / 16) {
    WriteFile(name, Bytes(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(cut)));
    Bitmap* bm = load(name.c_str());
    EXPECT_EQ(bm, nullptr) << name << " cut at " << cut << " of " << whole.size();
    stdBitmap_Free(bm);
  }
}

// Pictures written by other tools (tests/fixtures/images, made as its
// README says), with the CRC-32 of their red, green, blue bytes as a second
// decoder gives them (row after row, width x height pixels).
struct OtherToolImage {
  const char* file;
  int width, height;
  uint32_t rgbCrc;
};
inline constexpr OtherToolImage kOtherToolImages[] = {
    {"im_odd.pcx", 13, 9, 0x2af762f6},         {"netpbm_odd.pcx", 13, 9, 0x2af762f6},
    {"pil_odd.pcx", 13, 9, 0x2af762f6},        {"im_24.bmp", 13, 9, 0x2af762f6},
    {"netpbm_planar.lbm", 13, 9, 0x2af762f6},  {"im.gif", 23, 21, 0xddc7ac09},
    {"gs_interlaced.gif", 23, 21, 0xddc7ac09}, {"gs_transparent.gif", 23, 21, 0xddc7ac09},
    {"ff_local.gif", 23, 21, 0xddc7ac09},
};
inline std::string OtherToolImagePath(const OtherToolImage& image) {
  const char* root = std::getenv("VQ_FIXTURES");
  return std::string(root ? root : "tests/fixtures") + "/images/" + image.file;
}

// CRC-32 (the zlib polynomial) of the first width x height pixels of frame
// 0 as red, green, blue bytes: 24-bit frames as they are, 8-bit frames
// through the palette.
inline uint32_t RgbCrc(const Bitmap* bm, int width, int height) {
  const DisplayBuffer* f = bm->frames[0];
  const bool indexed = f->format.format.bitsPerPixel == 8;
  uint32_t crc = 0xFFFFFFFFu;
  const auto add = [&crc](uint8_t byte) {
    crc ^= byte;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  };
  for (int y = 0; y < height; ++y) {
    const auto* row = static_cast<const uint8_t*>(f->pixels) +
                      static_cast<size_t>(y) * static_cast<size_t>(f->format.bytesPerRow);
    for (int x = 0; x < width; ++x) {
      const uint8_t* rgb = indexed ? bm->palette + 3 * row[x] : row + 3 * x;
      for (int c = 0; c < 3; ++c) add(rgb[c]);
    }
  }
  return ~crc;
}

class ImageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static HostServices hs;
    HostServices_CopyDefaults(&hs);
    std_DefaultServices(&hs);
    std_Startup(&hs);
  }
};

}  // namespace imagetest
