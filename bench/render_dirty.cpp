// One frame's restore work of the render module on 640x480 5-6-5 rasters
// with 20 actors' boxes (60x120, spread over the screen): as the frame does
// it (the full-screen node plus the boxes, then the flush) and the boxes
// alone, against a memcpy of the 614,400-byte screen in the same run. Prints
// the times and both ratios.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "BenchRatio.h"
#include "engine/drevMain.h"
#include "engine/drevRoom.h"
#include "platform/kv_RenderHooks.h"
#include "render/SoftwareBackend.h"
#include "presentation/drevRender.h"
#include "quadrix/qxCore.h"
#include "std/std.h"
#include "std/stdDisplay.h"

namespace {

constexpr int kScreenBytes = 640 * 480 * 2;

Room g_room{};
DisplayBuffer* g_display = nullptr;
DisplayBuffer* g_z = nullptr;

DisplayBuffer* NewRaster() {
  BufferFormat f{};
  f.width = 640;
  f.height = 480;
  f.format = {1, 16, 5, 6, 5, 11, 5, 0, 3, 2, 3, 0, 0, 0};
  return stdDisplay_NewBuffer(&f, 0, 0, nullptr);
}

void Start() {
  static HostServices hs;
  HostServices_CopyDefaults(&hs);
  std_DefaultServices(&hs);
  std_Startup(&hs);
  qxCore_Startup(&hs);
  qxCore_Open(0);
  kv_RenderHooks_ResetForTest();
  InitSoftwareBackend();
  drevRender_Calls().roomGetCurrent = [] { return &g_room; };
  drevRender_Initialize(&hs, nullptr);
  drevRender_Startup();
  g_display = NewRaster();
  g_z = NewRaster();
  drevRender_SetBufferCount(1);
  RenderOptions options = {4, 3, 1, 1, 0, 0, 2};
  drevRender_OpenBuffers(g_display, g_z, 0, 0, 639, 479, &options);
  drevRender_ClearDirtyRects();
}

// Five columns of four boxes; neighbouring rows overlap by five pixels.
void MarkBoxes() {
  for (int column = 0; column < 5; ++column) {
    for (int row = 0; row < 4; ++row) {
      const int box[4] = {20 + column * 125, 10 + row * 115, 60, 120};
      drevRender_InvalidateRect(box, 1);
    }
  }
}

void BM_FrameRestore(benchmark::State& state) {
  const int full[4] = {0, 0, 640, 480};
  for (auto _ : state) {
    drevRender_InvalidateRect(full, 1);
    MarkBoxes();
    drevRender_FlushDirtyRects(g_display, g_z);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_FrameRestore);

void BM_BoxesRestore(benchmark::State& state) {
  for (auto _ : state) {
    MarkBoxes();
    drevRender_FlushDirtyRects(g_display, g_z);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_BoxesRestore);

void BM_MemcpyScreen(benchmark::State& state) {
  std::vector<uint8_t> from(kScreenBytes, 7), to(kScreenBytes);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), kScreenBytes);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MemcpyScreen);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Start();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const char* name : {"BM_FrameRestore", "BM_BoxesRestore", "BM_MemcpyScreen"}) {
    if (reporter.times.count(name))
      std::printf("%-16s %.1f us per frame\n", name, reporter.times[name] / 1e3);
  }
  reporter.PrintRatio("BM_FrameRestore", "BM_MemcpyScreen", "frame restore",
                      "time / memcpy of the screen");
  reporter.PrintRatio("BM_BoxesRestore", "BM_MemcpyScreen", "boxes alone",
                      "time / memcpy of the screen");
  benchmark::Shutdown();
  return 0;
}
