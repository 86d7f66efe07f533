// The demo's high-definition movie, written with the project's Ogg writer.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "DemoData.h"
#include "OggWriter.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr int kHorizon = 300;
constexpr int kFrames = 75;  // three seconds at 25 frames a second

struct Rgb {
  int r, g, b;
};

// The intro: the yard's sky at dusk with the sun sinking below the horizon
// over a dark field; frame f of kFrames.
Rgb Intro(int x, int y, int f) {
  const int sunY = 180 + f * 150 / kFrames;
  const int dx = x - 320, dy = y - sunY;
  if (y >= kHorizon) {
    const int shade = ((x / 8 + y / 4) % 3) * 5;
    return {20 + shade, 60 + shade, 25};
  }
  if (dx * dx + dy * dy < 40 * 40) return {255, 200, 90};
  const int t = y * 255 / kHorizon;
  const int dusk = f * 60 / kFrames;  // the sky darkens as the sun goes
  return {std::max(0, 30 + t * 200 / 255 - dusk), std::max(0, 40 + t * 90 / 255 - dusk),
          std::max(0, 120 - t * 60 / 255 - dusk / 2)};
}

uint8_t Clamp(int v) {
  return static_cast<uint8_t>(std::clamp(v, 0, 255));
}

// BT.601 studio range, as the player's converter expects.
void Paint(int f, int w, int h, uint8_t* luma, uint8_t* cb, uint8_t* cr) {
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const Rgb c = Intro(x, y, f);
      luma[y * w + x] = Clamp(16 + (66 * c.r + 129 * c.g + 25 * c.b + 128) / 256);
      if ((x & 1) == 0 && (y & 1) == 0) {
        const int i = (y / 2) * (w / 2) + x / 2;
        cb[i] = Clamp(128 + (-38 * c.r - 74 * c.g + 112 * c.b + 128) / 256);
        cr[i] = Clamp(128 + (112 * c.r - 94 * c.g - 18 * c.b + 128) / 256);
      }
    }
  }
}

}  // namespace

// MoviesHD/intro.ogv: the high-definition replacement of the cutscene
// "intro.snm", with a tone in an English and a German track.
DEMODATA_WRITER(intro_ogv) {
  OggWriterOptions o;
  o.width = kWidth;
  o.height = kHeight;
  o.frames = kFrames;
  o.audioLanguages = {"eng", "ger"};
  o.picture = Paint;
  const std::vector<uint8_t> bytes = OggWriter_Write(o);
  return !bytes.empty() && demodata::WriteBytes(gameDir / "MoviesHD" / "intro.ogv", bytes);
}
