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

// The yard picture in 24-bit RGB or 5-6-5 pixels; null when a buffer cannot
// be made.
Bitmap* YardEveningPicture(int bitsPerPixel) {
  const ColorFormat rgb24 = {1, 24, 8, 8, 8, 16, 8, 0, 0, 0, 0, 0, 0, 0};
  const ColorFormat rgb565 = {1, 16, 5, 6, 5, 11, 5, 0, 3, 2, 3, 0, 0, 0};
  const ColorFormat& pixelFormat = bitsPerPixel == 16 ? rgb565 : rgb24;
  Bitmap* bitmap = stdBitmap_New(1, nullptr, STDBITMAP_RAW, 0, &pixelFormat);
  if (bitmap == nullptr) return nullptr;
  BufferFormat format{};
  format.width = kWidth;
  format.height = kHeight;
  format.format = pixelFormat;
  DisplayBuffer* frame = stdDisplay_NewBuffer(&format, 0, 0, nullptr);
  if (frame == nullptr) {
    stdBitmap_Free(bitmap);
    return nullptr;
  }
  bitmap->frames[0] = frame;
  for (int y = 0; y < kHeight; ++y) {
    auto* row = static_cast<uint8_t*>(frame->pixels) +
                static_cast<size_t>(y) * static_cast<size_t>(frame->format.bytesPerRow);
    for (int x = 0; x < kWidth; ++x) {
      const Rgb c = YardEvening(x, y);
      if (bitsPerPixel == 16) {
        const uint16_t p = static_cast<uint16_t>((c.r >> 3) << 11 | (c.g >> 2) << 5 | (c.b >> 3));
        std::memcpy(row + 2 * x, &p, 2);
      } else {
        row[3 * x] = c.r;
        row[3 * x + 1] = c.g;
        row[3 * x + 2] = c.b;
      }
    }
  }
  return bitmap;
}

// Writes the picture with a saver, making the folder first.
bool SavePicture(Bitmap* bitmap, const std::filesystem::path& path,
                 int (*save)(const char*, Bitmap*)) {
  if (bitmap == nullptr) return false;
  std::error_code error;
  std::filesystem::create_directories(path.parent_path(), error);
  const int written = save(path.c_str(), bitmap);
  stdBitmap_Free(bitmap);
  if (!written) std::fprintf(stderr, "demodata: could not write %s\n", path.c_str());
  return written == 1;
}

}  // namespace

// The picture as the engine's backgrounds hold them: a BM file of RGB 5-6-5
// pixels, for the demo set's wide view.
DEMODATA_WRITER(yard_evening_bm) {
  return SavePicture(YardEveningPicture(16), gameDir / "Backgrounds" / "yard_evening.bm",
                     stdBitmap_Save);
}

// The same picture as a 24-bit BMP file.
DEMODATA_WRITER(yard_evening_bmp) {
  return SavePicture(YardEveningPicture(24), gameDir / "Backgrounds" / "yard_evening.bmp",
                     stdBmp_Save);
}
