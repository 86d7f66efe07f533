// Speed of the chore library's per-frame work and of costume loading: one
// frame of Cos_InstUpdateChores over a costume of 24 keyed components, and
// Cos_Load of the same costume's text. The reference is a plain loop over the
// same keys, which is what any playback has to do at least.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "../fuzz/chore_fuzz_host.h"

namespace {

constexpr int kComponents = 24;
constexpr int kKeys = 64;
constexpr int kLength = 8000;

std::string CostumeText() {
  std::string text;
  char line[128];
  auto add = [&](const char* format, int a, int b = 0, int c = 0) {
    snprintf(line, sizeof line, format, a, b, c);
    text.append(line);
  };
  text.append("costume v0.1\nsection tags\n numtags 1\n 0 'KEYF' int keyframe\n");
  add("section components\n numcomponents %d\n", kComponents);
  for (int i = 0; i < kComponents; ++i) add(" %d 0 0 -1 part%d\n", i, i);
  add("section chores\n numchores 1\n 0 %d %d dance\nsection keys\nchore 0\n", kLength,
      kComponents);
  for (int i = 0; i < kComponents; ++i) {
    add(" %d %d\n", i, kKeys);
    for (int k = 0; k < kKeys; ++k) add("  %d %d\n", k * (kLength / kKeys), k);
  }
  return text;
}

void BM_ChorePlaybackFrame(benchmark::State& state) {
  chore_fuzz::Library library;
  chore_fuzz::files["dance.cos"] = CostumeText();
  const CosCostumeHandle costume = Cos_Load("dance.cos");
  const CosInstHandle instance = Cos_CreateCosInstance(costume, 0);
  Cos_InstPlayChore(instance, 0, 1, 0);
  for (auto _ : state) Cos_InstUpdateChores(instance, 16);
}
BENCHMARK(BM_ChorePlaybackFrame);

// Reference: visiting the same keys' window directly from a flat array.
void BM_FlatKeyWindowFrame(benchmark::State& state) {
  std::vector<int> times(size_t(kComponents) * kKeys);
  for (size_t i = 0; i < times.size(); ++i) times[i] = int(i % kKeys) * (kLength / kKeys);
  int elapsed = 0;
  for (auto _ : state) {
    int applied = 0;
    for (int c = 0; c < kComponents; ++c) {
      for (int k = 0; k < kKeys; ++k) {
        const int t = times[size_t(c) * kKeys + size_t(k)];
        if (t >= elapsed && t < elapsed + 16) ++applied;
      }
    }
    benchmark::DoNotOptimize(applied);
    elapsed = (elapsed + 16) % kLength;
  }
}
BENCHMARK(BM_FlatKeyWindowFrame);

void BM_CostumeLoad(benchmark::State& state) {
  chore_fuzz::Library library;
  chore_fuzz::files["dance.cos"] = CostumeText();
  for (auto _ : state) {
    const CosCostumeHandle costume = Cos_Load("dance.cos");
    benchmark::DoNotOptimize(costume);
    Cos_Free(costume);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(CostumeText().size()));
}
BENCHMARK(BM_CostumeLoad);

}  // namespace

BENCHMARK_MAIN();
