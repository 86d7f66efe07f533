// The cutscene sound mixer against SDL's mixer: one 1536-frame output block
// of 4 voices (16-bit signed stereo at the output rate, each with its own
// volume and pan) added with Mixer_AddPiece and converted by Mixer_Output,
// against SDL_MixAudioFormat of the same 4 buffers into a cleared block.
#include "vembra/vembra_mixer.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "../tests/vembra/VembraTestHost.h"
#include "BenchRatio.h"

namespace {

constexpr int kFrames = 1536;
constexpr int kBytes = kFrames * 4;  // 16-bit stereo

struct Voices {
  std::vector<int16_t> buffers[4];
  std::vector<int16_t> out = std::vector<int16_t>(kFrames * 2);
  Voices() {
    for (int v = 0; v < 4; ++v) {
      buffers[v].resize(kFrames * 2);
      for (size_t i = 0; i < buffers[v].size(); ++i) {
        buffers[v][i] =
            static_cast<int16_t>(12000 * std::sin(0.004 * (v + 1) * static_cast<double>(i)));
      }
    }
  }
  void MixOurs() {
    Mixer_Clear();
    for (int v = 0; v < 4; ++v) {
      Mixer_AddPiece(reinterpret_cast<const uint8_t*>(buffers[v].data()), 0, kFrames, kBytes, 100,
                     v * 40 - 60, kSample16Stereo);
    }
    Mixer_Output(out.data(), kFrames);
    benchmark::DoNotOptimize(out.data());
  }
  void MixSdl() {
    std::memset(out.data(), 0, kBytes);
    for (auto& b : buffers) {
      SDL_MixAudioFormat(reinterpret_cast<Uint8*>(out.data()),
                         reinterpret_cast<const Uint8*>(b.data()), AUDIO_S16LSB, kBytes, 100);
    }
    benchmark::DoNotOptimize(out.data());
  }
};

void BM_VembraMix(benchmark::State& state) {
  Mixer_Init(vembratest::TestMemory(), 2, kMixerFrames * 8);
  Voices v;
  for (auto _ : state) v.MixOurs();
  Mixer_Free(vembratest::TestMemory());
}
BENCHMARK(BM_VembraMix);

void BM_SdlMix(benchmark::State& state) {
  Voices v;
  for (auto _ : state) v.MixSdl();
}
BENCHMARK(BM_SdlMix);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatio("BM_VembraMix", "BM_SdlMix", "Cutscene mix",
                      "4 voices + output / SDL_MixAudioFormat time ratio (goal 1.00 or less)");
  benchmark::Shutdown();
  return 0;
}
