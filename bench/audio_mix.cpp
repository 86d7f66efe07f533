// The audio device's three-channel mix against SDL's own mixer on the same
// blocks (SDL_MixAudioFormat at full volume, three calls per block).
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/kv_Audio.h"

namespace {

struct Blocks {
  std::vector<int16_t> channels[3];
  std::vector<uint8_t> out = std::vector<uint8_t>(AUDIO_BLOCK_SIZE);
  Blocks() {
    for (int c = 0; c < 3; ++c) {
      channels[c].resize(AUDIO_BLOCK_SIZE / 2);
      for (size_t i = 0; i < channels[c].size(); ++i) {
        channels[c][i] =
            static_cast<int16_t>(20000 * std::sin(0.01 * (c + 1) * static_cast<double>(i)));
      }
    }
  }
};

void BM_EngineMix(benchmark::State& state) {
  Blocks b;
  for (auto _ : state) {
    std::memset(b.out.data(), 0, b.out.size());
    auto* out = reinterpret_cast<int16_t*>(b.out.data());
    for (auto& channel : b.channels)
      AudioDevice_AddSaturated(out, channel.data(), AUDIO_BLOCK_SIZE / 2);
    benchmark::DoNotOptimize(b.out.data());
  }
  state.SetBytesProcessed(state.iterations() * 3 * AUDIO_BLOCK_SIZE);
}
BENCHMARK(BM_EngineMix);

void BM_SdlMix(benchmark::State& state) {
  Blocks b;
  for (auto _ : state) {
    std::memset(b.out.data(), 0, b.out.size());
    for (auto& channel : b.channels) {
      SDL_MixAudioFormat(b.out.data(), reinterpret_cast<const Uint8*>(channel.data()), AUDIO_S16LSB,
                         AUDIO_BLOCK_SIZE, SDL_MIX_MAXVOLUME);
    }
    benchmark::DoNotOptimize(b.out.data());
  }
  state.SetBytesProcessed(state.iterations() * 3 * AUDIO_BLOCK_SIZE);
}
BENCHMARK(BM_SdlMix);

}  // namespace

// Prints the ratio of the two after the usual table.
int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  Blocks b;
  constexpr int kRounds = 20000;
  auto time = [&](auto&& body) {
    const Uint64 start = SDL_GetPerformanceCounter();
    for (int i = 0; i < kRounds; ++i) body();
    return static_cast<double>(SDL_GetPerformanceCounter() - start) / SDL_GetPerformanceFrequency();
  };
  const double engine = time([&] {
    auto* out = reinterpret_cast<int16_t*>(b.out.data());
    std::memset(out, 0, b.out.size());
    for (auto& channel : b.channels)
      AudioDevice_AddSaturated(out, channel.data(), AUDIO_BLOCK_SIZE / 2);
    benchmark::DoNotOptimize(b.out.data());
  });
  const double sdl = time([&] {
    std::memset(b.out.data(), 0, b.out.size());
    for (auto& channel : b.channels) {
      SDL_MixAudioFormat(b.out.data(), reinterpret_cast<const Uint8*>(channel.data()), AUDIO_S16LSB,
                         AUDIO_BLOCK_SIZE, SDL_MIX_MAXVOLUME);
    }
    benchmark::DoNotOptimize(b.out.data());
  });
  std::printf("audio mix: engine / SDL_MixAudioFormat time ratio = %.2f\n", engine / sdl);
  benchmark::Shutdown();
  return 0;
}
