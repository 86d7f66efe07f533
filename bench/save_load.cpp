// Saving and loading the demo game's state, in one run: the save (serialising
// every module, compressing, writing the slot, recording it in the settings)
// and the load of that slot (reading, uncompressing, keeping the running game
// for a rollback, freeing and restoring every module and resource), each
// driven through the engine frame's dispatch as the scripts' Save and Load
// requests are, to the end of its disk thread. Real time, the threads' work
// included. Prints load / save (goal <= 2).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "BenchRatio.h"
#include "GLBench.h"
#include "app/voskdemo.h"
#include "engine/drevMain_Save.h"

namespace {

constexpr int kSlot = 7;
bool g_ready = false;

// The frame's dispatch until the operation is through: its thread done and
// its outcome applied.
void DispatchUntilIdle() {
  drevMain_SaveDispatch();
  while (drevMain_saveIoState.load() != kSaveIoIdle || drevMain_loadRequest.load() != 0) {
    std::this_thread::sleep_for(std::chrono::microseconds(50));
    drevMain_SaveDispatch();
  }
  drevMain_SaveDispatch();  // the posted status and the settings
}

void Save() {
  drevMain_RequestSave(kSlot, "bench", 1, "bench");
  DispatchUntilIdle();
}

void BM_Save(benchmark::State& state) {
  if (!g_ready) {
    state.SkipWithError("the game did not start");
    return;
  }
  for (auto _ : state) Save();
}

void BM_Load(benchmark::State& state) {
  if (!g_ready) {
    state.SkipWithError("the game did not start");
    return;
  }
  Save();
  for (auto _ : state) {
    drevMain_RequestLoad(kSlot, 0);
    DispatchUntilIdle();
    if (!drevMain_TakeJustLoaded()) {
      state.SkipWithError("the load failed");
      return;
    }
  }
}

BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  g_ready = GLBench_Start();
  if (g_ready) {
    voskdemo_InitRenderBackends();
    g_ready = voskdemo_Init("") != 0;
  }
  if (g_ready) {
    // The iris opens and the walk starts: a second of frames first.
    for (int i = 0; i < 60; ++i) voskdemo_Tick();
    std::vector<uint8_t> state;
    if (drevMain_SerializeState(&state) == 0) {
      std::printf("game state: %zu bytes before compression\n", state.size());
    }
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRealRatio("BM_Load/real_time", "BM_Save/real_time", "save_load",
                          "load / save, real time (goal <= 2)");
  if (g_ready) voskdemo_Shutdown();
  benchmark::Shutdown();
  return 0;
}
