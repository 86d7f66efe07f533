// LZ unpacking of a 640x480 5-6-5 background against zlib's inflate of the
// same picture, in one run; prints both throughputs (of unpacked bytes) and
// their ratio.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "RateReporter.h"
#include "std/stdCompress.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;

// A background-like picture: a sky gradient, flat walls with a few textures,
// dithered noise here and there.
std::vector<uint8_t> MakePicture() {
  std::vector<uint8_t> p(static_cast<size_t>(kWidth) * kHeight * 2);
  std::mt19937 rng(1);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      uint16_t v;
      if (y < 160) {
        v = static_cast<uint16_t>(((y / 10) << 11) | ((y / 5) << 5) | 31);
      } else if (x < 200) {
        v = static_cast<uint16_t>(((x / 16) % 2) ? 0x8410 : 0x7BEF);
      } else if (x < 420) {
        v = static_cast<uint16_t>(0x4208 + ((rng() % 8) == 0 ? 0x0841 : 0));
      } else {
        v = static_cast<uint16_t>(0x632C + (((x + y) / 3) % 4) * 0x0020);
      }
      p[2 * (static_cast<size_t>(y) * kWidth + x)] = static_cast<uint8_t>(v);
      p[2 * (static_cast<size_t>(y) * kWidth + x) + 1] = static_cast<uint8_t>(v >> 8);
    }
  }
  return p;
}

const std::vector<uint8_t>& Picture() {
  static const std::vector<uint8_t> picture = MakePicture();
  return picture;
}

void BM_LzUnpack(benchmark::State& state) {
  const auto& picture = Picture();
  std::vector<uint8_t> packed(picture.size());
  const int packedSize =
      stdCompress_Compress(packed.data(), picture.data(), static_cast<int>(picture.size()));
  if (packedSize >= static_cast<int>(picture.size())) {
    state.SkipWithError("the picture does not pack");
    return;
  }
  std::vector<uint8_t> out(picture.size());
  for (auto _ : state) {
    const int n =
        stdCompress_Decode(out.data(), out.size(), packed.data(), static_cast<size_t>(packedSize));
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(picture.size()));
  state.counters["packed_bytes"] = packedSize;
}
BENCHMARK(BM_LzUnpack);

void BM_ZlibInflate(benchmark::State& state) {
  const auto& picture = Picture();
  uLongf packedSize = compressBound(picture.size());
  std::vector<uint8_t> packed(packedSize);
  compress2(packed.data(), &packedSize, picture.data(), picture.size(), Z_BEST_COMPRESSION);
  std::vector<uint8_t> out(picture.size());
  for (auto _ : state) {
    uLongf n = out.size();
    const int r = uncompress(out.data(), &n, packed.data(), packedSize);
    benchmark::DoNotOptimize(r);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(picture.size()));
  state.counters["packed_bytes"] = static_cast<double>(packedSize);
}
BENCHMARK(BM_ZlibInflate);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RateReporter reporter("bytes_per_second", [](RateReporter::Rates& rates) {
    const double lz = rates["BM_LzUnpack"], zlib = rates["BM_ZlibInflate"];
    if (lz > 0 && zlib > 0) {
      std::printf("LZ unpack %.1f MB/s, zlib inflate %.1f MB/s, ratio LZ/zlib %.2f\n", lz / 1e6,
                  zlib / 1e6, lz / zlib);
    }
  });
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
