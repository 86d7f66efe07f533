// Decoding the same 640x480 GIF, BMP and PIC files with the general
// library's readers and with stb_image, in one run; prints each pair's
// throughput (decoded pixels) and ratio. PCX is measured alone: stb_image
// has no PCX reader.
#include <benchmark/benchmark.h>
#include <stb_image.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "RateReporter.h"
#include "std/std.h"
#include "std/stdBitmap.h"
#include "std/stdBmp.h"
#include "std/stdGif.h"
#include "std/stdPcx.h"
#include "std/stdPic.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;

// A background-like picture: a sky gradient, flat walls, a textured floor.
void Colour(int x, int y, uint8_t* rgb) {
  if (y < 180) {
    rgb[0] = static_cast<uint8_t>(40 + y / 2), rgb[1] = static_cast<uint8_t>(80 + y / 3);
    rgb[2] = 200;
  } else if (x < 260) {
    rgb[0] = rgb[1] = rgb[2] = ((x / 32 + y / 24) % 2) ? 150 : 120;
  } else {
    rgb[0] = static_cast<uint8_t>(90 + ((x * 7 + y * 13) % 17));
    rgb[1] = static_cast<uint8_t>(70 + ((x + y) / 5) % 9);
    rgb[2] = 50;
  }
}

Bitmap* MakePicture(int bitsPerPixel) {
  const ColorFormat k8 = {0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const ColorFormat k24 = {1, 24, 8, 8, 8, 16, 8, 0, 0, 0, 0, 0, 0, 0};
  const ColorFormat& cf = bitsPerPixel == 8 ? k8 : k24;
  uint8_t* palette = nullptr;
  if (bitsPerPixel == 8) {
    palette = static_cast<uint8_t*>(std_pHS->memAlloc(768, __FILE__, __LINE__));
    for (int i = 0; i < 768; ++i) palette[i] = static_cast<uint8_t>(i / 3);
  }
  Bitmap* bm = stdBitmap_New(1, palette, STDBITMAP_RAW, palette ? STDBITMAP_PALETTE : 0u, &cf);
  BufferFormat f{};
  f.width = kWidth;
  f.height = kHeight;
  f.format = cf;
  bm->frames[0] = stdDisplay_NewBuffer(&f, 0, 0, nullptr);
  for (int y = 0; y < kHeight; ++y) {
    auto* row = static_cast<uint8_t*>(bm->frames[0]->pixels) +
                static_cast<size_t>(y) * bm->frames[0]->format.bytesPerRow;
    for (int x = 0; x < kWidth; ++x) {
      uint8_t rgb[3];
      Colour(x, y, rgb);
      if (bitsPerPixel == 8) {
        row[x] = static_cast<uint8_t>((rgb[0] + rgb[1] + rgb[2]) / 3);
      } else {
        std::memcpy(row + 3 * x, rgb, 3);
      }
    }
  }
  return bm;
}

// A PIC file of the picture: one red-green-blue packet, mixed run-length.
void WritePic(const char* path) {
  std::vector<uint8_t> b = {0x53, 0x80, 0xF6, 0x34, 0x40, 0x73, 0x33, 0x33};
  b.resize(88, 0);
  b.insert(b.end(), {'P', 'I', 'C', 'T', kWidth >> 8, kWidth & 0xFF, kHeight >> 8, kHeight & 0xFF,
                     0x3F, 0x80, 0, 0, 0, 3, 0, 0});
  b.insert(b.end(), {0, 8, 2, 0xE0});
  for (int y = 0; y < kHeight; ++y) {
    std::vector<std::array<uint8_t, 3>> row(kWidth);
    for (int x = 0; x < kWidth; ++x) Colour(x, y, row[static_cast<size_t>(x)].data());
    for (int x = 0; x < kWidth;) {
      int run = 1;
      while (x + run < kWidth && run < 128 &&
             row[static_cast<size_t>(x + run)] == row[static_cast<size_t>(x)])
        ++run;
      if (run >= 2) {
        b.push_back(static_cast<uint8_t>(run + 127));
        b.insert(b.end(), row[static_cast<size_t>(x)].begin(), row[static_cast<size_t>(x)].end());
        x += run;
      } else {
        int n = 1;
        while (x + n < kWidth && n < 128 &&
               !(x + n + 1 < kWidth &&
                 row[static_cast<size_t>(x + n)] == row[static_cast<size_t>(x + n + 1)])) {
          ++n;
        }
        b.push_back(static_cast<uint8_t>(n - 1));
        for (int k = 0; k < n; ++k) {
          b.insert(b.end(), row[static_cast<size_t>(x + k)].begin(),
                   row[static_cast<size_t>(x + k)].end());
        }
        x += n;
      }
    }
  }
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// The files, written once.
void Prepare() {
  static bool ready = false;
  if (ready) return;
  ready = true;
  static HostServices hs;
  HostServices_CopyDefaults(&hs);
  std_DefaultServices(&hs);
  std_Startup(&hs);
  Bitmap* indexed = MakePicture(8);
  Bitmap* rgb = MakePicture(24);
  if (!stdGif_Save("bench_image.gif", indexed) || !stdPcx_Save("bench_image.pcx", indexed) ||
      !stdBmp_Save("bench_image.bmp", rgb)) {
    std::fprintf(stderr, "could not write the benchmark's pictures\n");
  }
  WritePic("bench_image.pic");
  stdBitmap_Free(indexed);
  stdBitmap_Free(rgb);
}

void Ours(benchmark::State& state, Bitmap* (*Load)(const char*, int, int), const char* path) {
  Prepare();
  for (auto _ : state) {
    Bitmap* bm = Load(path, 0, 0);
    if (bm == nullptr) {
      state.SkipWithError("our reader failed");
      return;
    }
    benchmark::DoNotOptimize(bm->frames[0]->pixels);
    stdBitmap_Free(bm);
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

// stb_image gives the file's own channel count (1 would be grey for GIF;
// GIF always comes out as 4).
void Stb(benchmark::State& state, const char* path, int channels) {
  Prepare();
  for (auto _ : state) {
    int w = 0, h = 0, n = 0;
    stbi_uc* pixels = stbi_load(path, &w, &h, &n, channels);
    if (pixels == nullptr) {
      state.SkipWithError(stbi_failure_reason());
      return;
    }
    benchmark::DoNotOptimize(pixels);
    stbi_image_free(pixels);
  }
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void OursGif(benchmark::State& s) {
  Ours(s, stdGif_Load, "bench_image.gif");
}
void StbGif(benchmark::State& s) {
  Stb(s, "bench_image.gif", 4);
}
void OursBmp(benchmark::State& s) {
  Ours(s, stdBmp_Load, "bench_image.bmp");
}
void StbBmp(benchmark::State& s) {
  Stb(s, "bench_image.bmp", 3);
}
void OursPic(benchmark::State& s) {
  Ours(s, stdPic_Load, "bench_image.pic");
}
void StbPic(benchmark::State& s) {
  Stb(s, "bench_image.pic", 3);
}
void OursPcx(benchmark::State& s) {
  Ours(s, stdPcx_Load, "bench_image.pcx");
}
BENCHMARK(OursGif)->Name("Ours/gif");
BENCHMARK(StbGif)->Name("Stb/gif");
BENCHMARK(OursBmp)->Name("Ours/bmp");
BENCHMARK(StbBmp)->Name("Stb/bmp");
BENCHMARK(OursPic)->Name("Ours/pic");
BENCHMARK(StbPic)->Name("Stb/pic");
BENCHMARK(OursPcx)->Name("Ours/pcx");

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RateReporter reporter("items_per_second", [](RateReporter::Rates& rates) {
    for (const char* format : {"gif", "bmp", "pic"}) {
      const double ours = rates[std::string("Ours/") + format];
      const double stb = rates[std::string("Stb/") + format];
      if (ours > 0 && stb > 0) {
        std::printf("%s: ours %.1f Mpixel/s, stb_image %.1f Mpixel/s, ratio ours/stb %.2f\n",
                    format, ours / 1e6, stb / 1e6, ours / stb);
      }
    }
    if (rates["Ours/pcx"] > 0) std::printf("pcx: ours %.1f Mpixel/s\n", rates["Ours/pcx"] / 1e6);
  });
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
