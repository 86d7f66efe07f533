// The deferred back end's FXAA pass alone at 1920 x 1080, against a
// full-screen copy of the same target in the same run: milliseconds per
// pass, each measured to the end of the GPU's work (glFinish).
#include <GL/glew.h>
#include <benchmark/benchmark.h>

#include <vector>

#include "BenchRatio.h"
#include "DeferredCopy.h"
#include "GLBench.h"
#include "gfx/kv_Buffer.h"
#include "gfx/kv_RenderContext.h"
#include "gfx/kv_RenderTarget.h"
#include "gfx/kv_Surface.h"
#include "platform/kv_RenderHooks.h"
#include "render/Deferred.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080;
bool g_ready = false;

// The deferred set-up, with the resolve and final targets at 1920 x 1080 and
// a picture of edges in the resolve target.
bool SetUp(void) {
  if (!Deferred_CreatePrograms() || !Deferred_CreateTargets()) return false;
  for (DeferredTarget* handle : {&ResolveTarget, &FinalTarget}) {
    kvRenderTarget* target = kv_RenderTarget_Create(kWidth, kHeight, kvFormat_8x4);
    if (!target) return false;
    *handle = {target, kv_RenderTarget_GetSurface(target)};
  }
  std::vector<uint8_t> picture(static_cast<size_t>(kWidth) * kHeight * 4);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      uint8_t* p = &picture[(static_cast<size_t>(y) * kWidth + x) * 4];
      const bool light = ((x + 2 * y) / 37 + (3 * x - y) / 53) % 2 == 0;
      p[0] = p[1] = p[2] = light ? 230 : 20;
      p[3] = 255;
    }
  }
  glBindTexture(GL_TEXTURE_2D, ResolveTarget.surface->texture);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE,
                  picture.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  Deferred_GetHookTable()->active = 1;
  return true;
}

void Run(benchmark::State& state, void (*pass)(void)) {
  kvFrameData* frame = g_ready ? kv_RenderContext_Get()->frameData : nullptr;
  GLBench_Run(state, g_ready, [frame, pass] {
    kv_FrameData_Reset(frame);  // the per-frame quad and constants
    pass();
  });
}

void BM_FxaaPass(benchmark::State& state) {
  Run(state, Deferred_PostProcessPass);
}
void BM_CopyPass(benchmark::State& state) {
  Run(state, DeferredBench_CopyPass);
}

BENCHMARK(BM_FxaaPass)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_CopyPass)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  g_ready = GLBench_Start() && SetUp();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRealRatio("BM_FxaaPass/min_time:2.000/real_time",
                          "BM_CopyPass/min_time:2.000/real_time", "FXAA",
                          "1920x1080 pass / copy pass time ratio");
  benchmark::Shutdown();
  return 0;
}
