// Demo backgrounds written with the engine's own image writers.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "DemoData.h"
#include "std/stdBitmap.h"
#include "std/stdBmp.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr int kHorizon = 300;

struct Rgb {
  uint8_t r, g, b;
};

// The yard in the evening: a sky fading from deep blue to orange at the
// horizon, a low sun, a house with two lit windows and a door, and grass.
Rgb YardEvening(int x, int y) {
  if (y < kHorizon) {
    const int dx = x - 470, dy = y - 250;
    if (dx * dx + dy * dy < 30 * 30) return {255, 214, 120};  // sun
    if (x >= 80 && x < 300 && y >= 170) {                     // house
      const bool window = (y >= 200 && y < 240) && ((x >= 110 && x < 150) || (x >= 230 && x < 270));
      const bool door = x >= 175 && x < 205 && y >= 230;
      if (window) return {250, 220, 110};
      if (door) return {90, 50, 30};
      return {150, 110, 90};
    }
    if (x >= 60 && x < 320 && y >= 120 && y < 170 && std::abs(x - 190) < (y - 120) * 130 / 50) {
      return {110, 40, 40};  // roof
    }
    const int t = y * 255 / kHorizon;
    return {static_cast<uint8_t>(30 + t * 200 / 255), static_cast<uint8_t>(40 + t * 90 / 255),
            static_cast<uint8_t>(120 - t * 60 / 255)};
  }
  const int shade = ((x / 8 + y / 4) % 3) * 6;
  return {static_cast<uint8_t>(40 + shade), static_cast<uint8_t>(110 + shade), 40};
}

}  // namespace

// A 24-bit BMP picture of the evening yard (the resource tests load it as a
// background).
DEMODATA_WRITER(yard_evening_bmp) {
  const ColorFormat rgb24 = {1, 24, 8, 8, 8, 16, 8, 0, 0, 0, 0, 0, 0, 0};
  Bitmap* bitmap = stdBitmap_New(1, nullptr, STDBITMAP_RAW, 0, &rgb24);
  if (bitmap == nullptr) return false;
  BufferFormat format{};
  format.width = kWidth;
  format.height = kHeight;
  format.format = rgb24;
  DisplayBuffer* frame = stdDisplay_NewBuffer(&format, 0, 0, nullptr);
  if (frame == nullptr) {
    stdBitmap_Free(bitmap);
    return false;
  }
  bitmap->frames[0] = frame;
  for (int y = 0; y < kHeight; ++y) {
    auto* row = static_cast<uint8_t*>(frame->pixels) +
                static_cast<size_t>(y) * static_cast<size_t>(frame->format.bytesPerRow);
    for (int x = 0; x < kWidth; ++x) {
      const Rgb c = YardEvening(x, y);
      row[3 * x] = c.r;
      row[3 * x + 1] = c.g;
      row[3 * x + 2] = c.b;
    }
  }
  const std::filesystem::path path = gameDir / "Backgrounds" / "yard_evening.bmp";
  std::error_code error;
  std::filesystem::create_directories(path.parent_path(), error);
  const int written = stdBmp_Save(path.c_str(), bitmap);
  stdBitmap_Free(bitmap);
  if (!written) std::fprintf(stderr, "demodata: could not write %s\n", path.c_str());
  return written == 1;
}
