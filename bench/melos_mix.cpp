// The music mixer against SDL's mixer: one 1536-frame output block of 8
// tracks (4 mono with pan, 4 stereo; half at the output rate, half at half
// of it, which the mixer doubles) mixed with MelosMixer_Mix and converted by
// MelosMixer_Output, against SDL_MixAudioFormat of the same 8 buffers.
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "BenchRatio.h"
#include "melos/MelosMixer.h"

namespace {

struct Tracks {
  // Each buffer holds 6144 bytes: 1536 stereo or 3072 mono frames.
  std::vector<int16_t> buffers[8];
  std::vector<uint8_t> out = std::vector<uint8_t>(MELOS_BLOCK_BYTES);
  Tracks() {
    for (int t = 0; t < 8; ++t) {
      buffers[t].resize(MELOS_BLOCK_BYTES / 2);
      for (size_t i = 0; i < buffers[t].size(); ++i) {
        buffers[t][i] =
            static_cast<int16_t>(12000 * std::sin(0.003 * (t + 1) * static_cast<double>(i)));
      }
    }
  }
  void MixOurs() {
    MelosMixer_Clear();
    for (int t = 0; t < 8; ++t) {
      const bool mono = t < 4;
      const bool doubling = t % 2 == 1;
      MelosMixer_Mix(reinterpret_cast<const uint8_t*>(buffers[t].data()), doubling ? 768 : 1536, 16,
                     mono ? 1 : 2, 0, MELOS_BLOCK_FRAMES, 0, 100, 20 + 12 * t);
    }
    MelosMixer_Output(out.data(), MELOS_BLOCK_FRAMES);
    benchmark::DoNotOptimize(out.data());
  }
  void MixSdl() {
    std::memset(out.data(), 0, out.size());
    for (auto& b : buffers) {
      SDL_MixAudioFormat(out.data(), reinterpret_cast<const Uint8*>(b.data()), AUDIO_S16LSB,
                         MELOS_BLOCK_BYTES, 100);
    }
    benchmark::DoNotOptimize(out.data());
  }
};

void BM_MelosMix(benchmark::State& state) {
  MelosMixer_Init(8);
  Tracks t;
  for (auto _ : state) t.MixOurs();
  MelosMixer_Free();
}
BENCHMARK(BM_MelosMix);

void BM_SdlMix(benchmark::State& state) {
  Tracks t;
  for (auto _ : state) t.MixSdl();
}
BENCHMARK(BM_SdlMix);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatio("BM_MelosMix", "BM_SdlMix", "Music mix",
                      "8 tracks + output / SDL_MixAudioFormat time ratio");
  benchmark::Shutdown();
  return 0;
}
