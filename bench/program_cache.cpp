// The start-up's 47 shader programs (the deferred back end's 43 and the
// hardware overlay's four) made from their cached program binaries, against
// compiling and linking them from their sources, in one run: milliseconds
// of CPU time per full set. The driver's own shader cache is warm for both,
// as on any start after the first.
#include <GL/glew.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>

#include "BenchRatio.h"
#include "GLBench.h"
#include "gfx/kv_Shader.h"
#include "render/Deferred.h"

namespace {

constexpr char kFolder[] = "Saves/ProgramCacheBench/";
bool g_ready = false;

// Every program of the start-up; false when one could not be made.
bool LoadAll(void) {
  bool ok = true;
  for (const char* name : {"text", "textured_quad", "color_quad", "textured_gamma_quad"}) {
    ok = kv_Shader_Load(name) != nullptr && ok;
  }
  for (const DeferredProgramSource& source : Deferred_ProgramSources) {
    ok = (source.pixel ? kv_Shader_Load_Separate(source.vertex, source.pixel)
                       : kv_Shader_Load(source.vertex)) != nullptr &&
         ok;
  }
  return ok;
}

void Run(benchmark::State& state, const char* folder) {
  if (!g_ready) {
    state.SkipWithError("no GL set-up");
    return;
  }
  kv_Shader_SetProgramCacheFolder(folder);
  for (auto _ : state) {
    kv_Shader_ForgetProgramsForTest();  // as a new start finds them
    if (!LoadAll()) state.SkipWithError("a program could not be made");
    glFinish();
  }
  kv_Shader_ForgetProgramsForTest();
}

void BM_ProgramsFromCache(benchmark::State& state) {
  Run(state, kFolder);
}
void BM_ProgramsCompiled(benchmark::State& state) {
  Run(state, nullptr);
}

BENCHMARK(BM_ProgramsFromCache)->Unit(benchmark::kMillisecond)->Repetitions(5);
BENCHMARK(BM_ProgramsCompiled)->Unit(benchmark::kMillisecond)->Repetitions(5);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  g_ready = GLBench_Start();
  if (g_ready) {
    // The cache is filled once (and the driver's own cache warmed).
    std::filesystem::remove_all(kFolder);
    kv_Shader_SetProgramCacheFolder(kFolder);
    kv_Shader_ForgetProgramsForTest();
    g_ready = LoadAll() && kv_Shader_GetProgramCacheCounts().stored > 0;
    if (!g_ready) std::fprintf(stderr, "the driver keeps no program binaries here\n");
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatio("BM_ProgramsFromCache", "BM_ProgramsCompiled", "program cache",
                      "47 programs from binaries / compiled, CPU time ratio");
  benchmark::Shutdown();
  std::filesystem::remove_all(kFolder);
  return 0;
}
