// One engine frame of the demo game through the deferred back end against a
// bare clear and present of the same window, in the same run: the demo set's
// wide view with its background, depth image and companion lights (a
// shadow-casting spot, an omni and a gradient light) and ten lit actors
// (the boot script's two and eight more). Milliseconds per frame, each
// measured to the end of the GPU's work (glFinish). Goal: at most 3x.
#include <GL/glew.h>
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>

#include "BenchRatio.h"
#include "GLBench.h"
#include "app/voskdemo.h"
#include "platform/kv_RenderHooks.h"
#include "script/runtime/lua31.h"

namespace {

bool g_ready = false;

// Eight more crates on the walk floor, in view of the wide setup.
constexpr char kMoreActors[] =
    "local spots = {{0.3, 0.3}, {0.9, 0.3}, {2.1, 0.4}, {2.7, 0.3},\n"
    "               {3.3, 0.5}, {0.6, 1.3}, {2.4, 1.3}, {3.4, 1.2}}\n"
    "local i = 1\n"
    "while spots[i] do\n"
    "  local a = LoadActor(\"bench\" .. i, 1, 0)\n"
    "  PutActorInSet(a, \"demo.set\")\n"
    "  SetActorCostume(a, \"walker.cos\")\n"
    "  PutActorAt(a, spots[i][1], spots[i][2], 0)\n"
    "  i = i + 1\n"
    "end\n";

bool SetUp(void) {
  voskdemo_InstallCalls();
  voskdemo_InitRenderBackends();
  if (!voskdemo_Init("")) {
    std::fprintf(stderr, "the game did not start\n");
    return false;
  }
  kv_Platform_GetState()->windowShown = 1;
  std::ofstream("bench_actors.lua") << kMoreActors;
  const int failed = lua_dofile("bench_actors.lua");
  std::remove("bench_actors.lua");
  if (failed) {
    std::fprintf(stderr, "the bench actors could not be added\n");
    return false;
  }
  // The iris opens and the walk starts: a second of frames first.
  for (int i = 0; i < 60; ++i) voskdemo_Tick();
  glFinish();
  return true;
}

void BM_DeferredFrame(benchmark::State& state) {
  GLBench_Run(state, g_ready, [] { voskdemo_Tick(); });
}

// The reference: the window cleared and presented.
void BM_ClearPresent(benchmark::State& state) {
  SDL_Window* window = SDL_GL_GetCurrentWindow();
  GLBench_Run(state, g_ready, [window] {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    SDL_GL_SwapWindow(window);
  });
}

BENCHMARK(BM_DeferredFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_ClearPresent)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  g_ready = GLBench_Start() && SetUp();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRealRatio("BM_DeferredFrame/min_time:3.000/real_time",
                          "BM_ClearPresent/min_time:3.000/real_time", "Deferred frame",
                          "engine frame / clear and present time ratio (goal <= 3)");
  if (g_ready) voskdemo_Shutdown();
  benchmark::Shutdown();
  return 0;
}
