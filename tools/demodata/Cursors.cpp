// The demo's mouse cursors (cursor00.png to cursor07.png) and the save-wait
// icon, small RGBA pictures of our own drawn from simple shapes and written
// as PNG files with stb_image_write.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include "DemoData.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#include <stb_image_write.h>
#pragma GCC diagnostic pop

namespace {

constexpr int kCursorSize = 32;
constexpr int kIconSize = 64;

struct Rgba {
  uint8_t r, g, b, a;
};
constexpr Rgba kClear{0, 0, 0, 0};
constexpr Rgba kOutline{20, 20, 30, 255};
constexpr Rgba kFill{245, 240, 225, 255};

// A shape answers how far inside it a pixel centre lies: > 1 fill, 0..1 the
// outline band, < 0 outside.
using Shape = std::function<float(float x, float y)>;

bool WritePng(const std::filesystem::path& path, int size, const std::vector<Rgba>& pixels) {
  std::vector<uint8_t> bytes;
  auto append = [](void* context, void* data, int n) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    const auto* p = static_cast<const uint8_t*>(data);
    out->insert(out->end(), p, p + n);
  };
  if (!stbi_write_png_to_func(append, &bytes, size, size, 4, pixels.data(), size * 4)) {
    std::fprintf(stderr, "demodata: %s could not be encoded\n", path.string().c_str());
    return false;
  }
  return demodata::WriteBytes(path, bytes);
}

std::vector<Rgba> Paint(int size, const Shape& shape) {
  std::vector<Rgba> pixels(static_cast<size_t>(size) * size, kClear);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const float inside = shape(static_cast<float>(x) + 0.5f, static_cast<float>(y) + 0.5f);
      if (inside >= 0.0f)
        pixels[static_cast<size_t>(y) * size + x] = inside > 1.5f ? kFill : kOutline;
    }
  }
  return pixels;
}

// Signed distance (in pixels, positive inside) to a convex polygon.
float InsidePolygon(float x, float y, std::initializer_list<std::pair<float, float>> points) {
  float best = 1e9f;
  const auto* p = points.begin();
  const size_t n = points.size();
  float area = 0.0f;  // its sign tells the winding, so either order works
  for (size_t i = 0; i < n; ++i) {
    area += p[i].first * p[(i + 1) % n].second - p[(i + 1) % n].first * p[i].second;
  }
  const float winding = area < 0.0f ? -1.0f : 1.0f;
  for (size_t i = 0; i < n; ++i) {
    const auto [ax, ay] = p[i];
    const auto [bx, by] = p[(i + 1) % n];
    const float ex = bx - ax, ey = by - ay, length = std::sqrt(ex * ex + ey * ey);
    const float side = ((x - ax) * ey - (y - ay) * ex) / length;
    best = std::min(best, -side * winding);
  }
  return best;
}

// An arrow pointing right, turned by quarter turns (0 right, 1 down, 2 left, 3 up).
Shape Arrow(int quarterTurns) {
  return [quarterTurns](float x, float y) {
    float u = x - 16.0f, v = y - 16.0f;
    for (int i = 0; i < quarterTurns; ++i) {
      const float t = u;
      u = v;
      v = -t;
    }
    const float head = InsidePolygon(u, v, {{2.0f, -11.0f}, {14.0f, 0.0f}, {2.0f, 11.0f}});
    const float shaft =
        InsidePolygon(u, v, {{-13.0f, -4.0f}, {3.0f, -4.0f}, {3.0f, 4.0f}, {-13.0f, 4.0f}});
    return std::max(head, shaft);
  };
}

// The pointer: a classic slanted arrow with its tip at the centre, so that
// the centred cursor points where the mouse is.
float Pointer(float x, float y) {
  return InsidePolygon(x, y, {{16.0f, 16.0f}, {30.0f, 27.0f}, {23.0f, 27.0f}, {16.0f, 31.0f}});
}

float Ring(float x, float y, float centre, float radius, float width) {
  const float d = std::hypot(x - centre, y - centre);
  return width / 2.0f - std::fabs(d - radius);
}

}  // namespace

// cursor00: pointer; 01: hotspot ring; 02: walk (a foot-like pair of dots);
// 03 to 06: arrows right, left, up, down; 07: wait (an hourglass).
DEMODATA_WRITER(cursors_png) {
  const Shape shapes[8] = {
      Pointer,
      [](float x, float y) {
        return std::max(Ring(x, y, 16.0f, 10.0f, 5.0f), 2.5f - std::hypot(x - 16.0f, y - 16.0f));
      },
      [](float x, float y) {
        return std::max(6.0f - std::hypot((x - 11.0f) * 1.4f, y - 12.0f),
                        6.0f - std::hypot((x - 21.0f) * 1.4f, y - 20.0f));
      },
      Arrow(0),
      Arrow(2),
      Arrow(3),
      Arrow(1),
      [](float x, float y) {
        return std::max(InsidePolygon(x, y, {{6.0f, 3.0f}, {26.0f, 3.0f}, {16.0f, 16.0f}}),
                        InsidePolygon(x, y, {{16.0f, 16.0f}, {26.0f, 29.0f}, {6.0f, 29.0f}}));
      },
  };
  for (int n = 0; n < 8; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "cursor%02d.png", n);
    if (!WritePng(gameDir / name, kCursorSize, Paint(kCursorSize, shapes[n]))) return false;
  }
  return true;
}

// The save-wait icon: a ring with a gap, as a busy spinner.
DEMODATA_WRITER(save_wait_icon_png) {
  const Shape spinner = [](float x, float y) {
    const float angle = std::atan2(y - 32.0f, x - 32.0f);
    if (angle > 2.0f) return -1.0f;  // the gap
    return Ring(x, y, 32.0f, 22.0f, 10.0f);
  };
  return WritePng(gameDir / "save_wait_icon.png", kIconSize, Paint(kIconSize, spinner));
}
