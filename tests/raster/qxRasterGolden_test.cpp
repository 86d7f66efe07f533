// Every face rasterizer of both families draws a fixed set of random faces
// (solid, affine and perspective; unlit, lit and Gouraud; keyed and
// translucent; 8 and 16 bits; depth shifts 0 and 3) over random pixels and
// depths, and the pictures and depth buffers are pinned by one hash. The
// span loops are tuned for speed; whatever they draw must stay bit for bit
// the same, failing depth tests, run splits and mip levels included. A
// mismatch prints the hash of every case, to compare with a build of the
// code before the change.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "qxRasterTest.h"
#include "raster/qxRaster_Internal.h"

namespace {
using namespace rastertest;

constexpr uint64_t kFnvStart = 1469598103934665603ull;

uint64_t Fnv(const void* data, size_t n, uint64_t h) {
  const auto* p = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < n; ++i) {
    h ^= p[i];
    h *= 1099511628211ull;
  }
  return h;
}

class RasterGolden : public RasterTest {};

TEST_F(RasterGolden, EveryVariantDrawsThePinnedPicture) {
  TestTexture plain{6, 5, 4,
                    [](int k, int x, int y) { return ((x * 7 + y * 13 + k * 5) & 0xFF) | 1; }};
  TestTexture keyed{6, 5, 4,
                    [](int k, int x, int y) {
                      return (x + y + k) % 5 == 0 ? 0 : (x * 7 + y * 13 + k * 5) & 0xFF;
                    },
                    true};
  TestMaterial mPlain{&plain.tex}, mKeyed{&keyed.tex};
  uint64_t all = kFnvStart;
  std::string cases;
  for (int family = 0; family < 2; ++family) {
    for (int bpp : {8, 16}) {
      for (int zShift : {0, 3}) {
        for (int kind = 0; kind < 3; ++kind) {  // solid, affine, perspective
          for (int shade = 0; shade < 3; ++shade) {
            for (int k = 0; k < 2; ++k) {
              for (int t = 0; t < 2; ++t) {
                if ((family == 0 && zShift != 0) || (kind == 0 && k != 0)) continue;
                std::mt19937 rng(1234 + kind * 100 + shade * 10 + k * 2 + t);
                auto real = [&](float a, float b) {
                  return std::uniform_real_distribution<float>(a, b)(rng);
                };
                View view(bpp, 700, 120, true);
                view.canvas->zShift = zShift;
                for (int y = 0; y < view.height; ++y) {
                  for (int x = 0; x < view.width; ++x) {
                    view.SetPixel(x, y, rng());
                    view.SetDepth(x, y, (rng() & 3) == 0 ? static_cast<uint16_t>(rng()) : 0);
                  }
                }
                TestMaterial& m = k ? mKeyed : mPlain;
                qxMaterialCel* cel = &m.cels[kind ? 2 : 0];
                const qxRasterFamily& table = family ? qxZRaster_family : qxRaster_family;
                for (int i = 0; i < 120; ++i) {
                  // Convex faces of 3 to 6 vertices around a centre, one in
                  // seven wide enough for long spans.
                  const int n = 3 + static_cast<int>(rng() % 4);
                  const float cx = real(20, 680), cy = real(10, 110);
                  const float rx = i % 7 == 0 ? real(100, 300) : real(1, 40), ry = real(0.5f, 40);
                  const float a0 = real(0, 6.28f);
                  std::vector<float> angles(n);
                  for (float& a : angles) a = real(0, 6.28f);
                  std::sort(angles.begin(), angles.end());
                  std::vector<Vertex> v(n);
                  for (int j = 0; j < n; ++j) {
                    const float x = std::clamp(cx + rx * std::cos(angles[j] + a0), 0.0f, 699.9f);
                    const float y = std::clamp(cy + ry * std::sin(angles[j] + a0), 0.0f, 119.9f);
                    v[j] = {x, y, real(0.2f, 60), real(-300, 300), real(-300, 300), real(0, 63)};
                  }
                  qxCacheFace* f = Queue(v, kind ? 4 : 3, shade == 2 ? 3 : shade, kind == 2,
                                         &m.material, kind ? 2 : 0, static_cast<int>(rng() & 1),
                                         t ? uint32_t{QXCACHE_FACE_TRANSLUCENT} : 0u);
                  if (f != nullptr) {
                    const int kk = kind == 0 ? 0 : k;
                    if (shade == 0) table.unlit[kind][kk][t](f, cel);
                    if (shade == 1) table.lit[kind][kk][t](f, cel, real(0, 63));
                    if (shade == 2) table.gouraud[kind][kk][t](f, cel);
                  }
                  qxCache_Reset();
                }
                uint64_t h = Fnv(view.video->pixels,
                                 static_cast<size_t>(view.video->format.byteSize), kFnvStart);
                h = Fnv(view.zBuffer->pixels, static_cast<size_t>(view.zBuffer->format.byteSize),
                        h);
                all ^= h + (all << 6);
                char line[128];
                std::snprintf(
                    line, sizeof line,
                    "family %d bpp %d zShift %d kind %d shade %d keyed %d trans %d: %016llx\n",
                    family, bpp, zShift, kind, shade, k, t, static_cast<unsigned long long>(h));
                cases += line;
              }
            }
          }
        }
      }
    }
  }
  EXPECT_EQ(all, 0x846303b704f70d61ull) << cases;
}

}  // namespace
