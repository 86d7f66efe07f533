// The deferred back end's pixel conversion of a 640 x 480 classic picture
// (8-bit paletted, 5-6-5, 16-bit depth) against memcpy of the bytes it
// writes, and the light-probe evaluation of one model in a set of 16 lights
// (absolute: there is no outside reference for it).
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "BenchRatio.h"
#include "quadrix/qxMatrix.h"
#include "render/Deferred.h"
#include "render/DeferredScene.h"
#include "render/Lightprobe.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;

std::vector<uint8_t> Source(size_t bytes) {
  std::vector<uint8_t> v(bytes);
  for (size_t i = 0; i < bytes; ++i) v[i] = static_cast<uint8_t>(i * 2654435761u >> 13);
  return v;
}

void Convert(benchmark::State& state, int format, int bytesPerSource) {
  const std::vector<uint8_t> source =
      Source(static_cast<size_t>(kWidth) * kHeight * bytesPerSource);
  std::vector<uint8_t> palette = Source(768);
  std::vector<uint8_t> out(static_cast<size_t>(kWidth) * kHeight * 4);
  for (auto _ : state) {
    Deferred_ConvertPixels(out.data(), kWidth, kHeight, 4, source.data(), kWidth, kHeight, format,
                           palette.data(), 1, 7, 0);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
}

void BM_Palette_ours(benchmark::State& state) {
  Convert(state, 8, 1);
}
void BM_565_ours(benchmark::State& state) {
  Convert(state, Deferred_Source565, 2);
}
void BM_Depth_ours(benchmark::State& state) {
  Convert(state, Deferred_SourceDepth, 2);
}

// The reference: copying the 640 x 480 x 4 bytes the conversions write.
void BM_memcpy(benchmark::State& state) {
  const std::vector<uint8_t> source = Source(static_cast<size_t>(kWidth) * kHeight * 4);
  std::vector<uint8_t> out(source.size());
  for (auto _ : state) {
    std::memcpy(out.data(), source.data(), source.size());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
}

// Sixteen lights, every kind, all reaching the model at the origin.
DeferredLightInfo g_lights[16];
uint32_t g_types[16];

int CountLights(void) {
  return 16;
}
int GetLight(int index, uint32_t type, DeferredLightInfo* out) {
  if (index < 0 || index >= 16 || g_types[index] != type) return 0;
  *out = g_lights[index];
  return 1;
}
void Nothing(void) {}
void Enable(int, uint32_t) {}
void SetupName(char buffer[DeferredScene_SetupNameSize]) {
  std::memset(buffer, 0, DeferredScene_SetupNameSize);
}
int NoCasters(void) {
  return 0;
}
const void* NoCamera(void) {
  return nullptr;
}
void CameraAtOrigin(qxMatrix34* out) {
  *out = qxMatrix34{};
}

void BM_ProbeEvaluate(benchmark::State& state) {
  for (int i = 0; i < 16; ++i) {
    DeferredLightInfo& l = g_lights[i];
    l = DeferredLightInfo{};
    const float s = 3.0f + static_cast<float>(i % 3);
    l.transform[0] = {s, 0, 0, 0};
    l.transform[1] = {0, s, 0, 0};
    l.transform[2] = {0, 0, s, 0};
    l.transform[3] = {0.1f * static_cast<float>(i), 0.5f, 1.0f, 1.0f};
    l.position = {l.transform[3].x, l.transform[3].y, l.transform[3].z};
    l.innerColour = {0.5f, 0.4f, 0.3f};
    l.outerColour = {0.1f, 0.1f, 0.2f};
    l.innerRadius = 0.25f;
    l.falloffPower = 2.0f;
    l.verticalInnerRadius = 0.5f;
    l.verticalFalloffPower = 1.0f;
    l.shadingEnd = 1.0f;
    g_types[i] = static_cast<uint32_t>(i % 5);
  }
  const DeferredSceneCalls calls = {&CountLights, &GetLight,  &Nothing,  &Enable,
                                    &SetupName,   &NoCasters, &NoCamera, &CameraAtOrigin};
  DeferredScene_Set(&calls);
  Lightprobe_ResetForTest();
  const int slot = Lightprobe_FindOrAddSlot("model");
  Lightprobe_BeginLattice("model", {0, 0, 0}, 1.0f, nullptr);
  for (auto _ : state) {
    Lightprobe_Evaluate(slot);
    benchmark::DoNotOptimize(Lightprobe_GetSlot(slot)->irradiance);
    benchmark::ClobberMemory();
  }
  DeferredScene_Set(nullptr);
}

BENCHMARK(BM_Palette_ours);
BENCHMARK(BM_565_ours);
BENCHMARK(BM_Depth_ours);
BENCHMARK(BM_memcpy);
BENCHMARK(BM_ProbeEvaluate);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatio("BM_Palette_ours", "BM_memcpy", "Palette", "conversion / memcpy time ratio");
  reporter.PrintRatio("BM_565_ours", "BM_memcpy", "5-6-5", "conversion / memcpy time ratio");
  reporter.PrintRatio("BM_Depth_ours", "BM_memcpy", "Depth", "conversion / memcpy time ratio");
  benchmark::Shutdown();
  return 0;
}
