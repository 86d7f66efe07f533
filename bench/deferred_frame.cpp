// One engine frame of the demo game through the deferred back end against
// one full-screen textured copy pass at the deferred targets' size, on the
// same GL in the same run: the demo set's wide view with its background,
// depth image and companion lights (a shadow-casting spot, an omni and a
// gradient light) and ten lit actors (the boot script's two and eight
// more). Milliseconds per frame, each measured to the end of the GPU's work
// (glFinish); the two run interleaved, five times each, and the ratio is
// of the medians. Goal: at most 12 copy passes.
//
// After the runs a table gives the GL time of each phase of the frame
// (timer queries switched at the passes' debug markers), medians of 30
// frames.
#include <GL/glew.h>
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "BenchRatio.h"
#include "DeferredCopy.h"
#include "GLBench.h"
#include "app/voskdemo.h"
#include "gfx/kv_RenderTarget.h"
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

// The reference: one full-screen copy at the deferred size.
void BM_CopyPass(benchmark::State& state) {
  kvFrameData* frame = g_ready ? kv_RenderContext_Get()->frameData : nullptr;
  GLBench_Run(state, g_ready, [frame] {
    kv_FrameData_Reset(frame);  // the quad's vertices
    DeferredBench_CopyPass();
  });
}

BENCHMARK(BM_DeferredFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0)->Repetitions(5);
BENCHMARK(BM_CopyPass)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5)->Repetitions(5);

// GL time per phase ---------------------------------------------------------------------------

// The rows of the table, and the passes' markers that start each.
enum Phase {
  Phase_Engine,      // from the start of the tick to the frame begin's clear
  Phase_Begin,       // phase 0: the immediate target cleared
  Phase_Background,  // the background and its depth image, the Z shapes
  Phase_GBuffer,     // the meshes' albedo, distance, normal and light
  Phase_Smooth,      // smooth lighting
  Phase_Shadows,     // shadow maps
  Phase_Lights,      // the lights pass's set-up, cutscene lights and actor shadows
  Phase_LightGradient,
  Phase_LightPoint,
  Phase_LightSpot,
  Phase_LightDirectional,
  Phase_Occlusion,  // ambient occlusion
  Phase_Resolve,
  Phase_Fxaa,
  Phase_Overlays,  // bitmap and hardware overlays
  Phase_Present,   // onto the back buffer, then the window and the swap
  Phase_Count
};
const char* const kPhaseNames[Phase_Count] = {"engine, frame begin",
                                              "clear immediate",
                                              "background, depth",
                                              "G-buffer",
                                              "smooth lighting",
                                              "shadow maps",
                                              "lights (other)",
                                              "  gradient lights",
                                              "  point lights",
                                              "  spot lights",
                                              "  directional",
                                              "  ambient occl.",
                                              "resolve",
                                              "FXAA",
                                              "overlays",
                                              "present, swap"};

struct MarkerPhase {
  const char* marker;
  Phase phase;
};
// The debug overlay bucket is empty in the demo: what its marker starts is
// the end of the frame (the back buffer blitted to the window, the swap).
constexpr MarkerPhase kMarkerPhases[] = {
    {"Deferred_Immediate", Phase_Begin},
    {"Deferred_PostProcess", Phase_Background},
    {"Bitmap underlays", Phase_Background},
    {"Deferred_VirtualDepth", Phase_Background},
    {"Virtual depth", Phase_Background},
    {"Z shapes", Phase_Background},
    {"Mesh albedo", Phase_GBuffer},
    {"Albedo", Phase_GBuffer},
    {"Copy normal", Phase_Smooth},
    {"Generate smooth lighting data", Phase_Smooth},
    {"Smooth lighting resolve", Phase_Smooth},
    {"Render shadow map", Phase_Shadows},
    {"Character Shadow Casters", Phase_Shadows},
    {"Deferred lights", Phase_Lights},
    {"Clear light buffer", Phase_Lights},
    {"Gradient light", Phase_LightGradient},
    {"Point light", Phase_LightPoint},
    {"Spot light", Phase_LightSpot},
    {"Directional light", Phase_LightDirectional},
    {"Ambient Occlusion", Phase_Occlusion},
    {"Rasterize cutscene light sources", Phase_Lights},
    {"Shadows", Phase_Lights},
    {"Deferred resolve", Phase_Resolve},
    {"Deferred Post Process", Phase_Fxaa},
    {"Bitmap overlays", Phase_Overlays},
    {"Hardware overlay", Phase_Overlays},
    {"Deferred_Done", Phase_Present},
    {"Debug overlay", Phase_Present},
};

// One GL_TIME_ELAPSED query per stretch of a phase; a frame's stretches are
// read after its glFinish.
struct PhaseClock {
  int current = -1;
  std::vector<std::pair<int, GLuint>> running;
  std::vector<GLuint> spare;
  std::vector<double> frameMs[Phase_Count];

  void Switch(int phase) {
    if (phase == current) return;
    if (current >= 0) glEndQuery(GL_TIME_ELAPSED);
    GLuint query = 0;
    if (spare.empty()) {
      glGenQueries(1, &query);
    } else {
      query = spare.back();
      spare.pop_back();
    }
    glBeginQuery(GL_TIME_ELAPSED, query);
    running.emplace_back(phase, query);
    current = phase;
  }
  void EndFrame() {
    if (current >= 0) glEndQuery(GL_TIME_ELAPSED);
    current = -1;
    glFinish();
    double sums[Phase_Count] = {};
    for (const auto& [phase, query] : running) {
      GLuint64 ns = 0;
      glGetQueryObjectui64v(query, GL_QUERY_RESULT, &ns);
      sums[phase] += static_cast<double>(ns) * 1e-6;
      spare.push_back(query);
    }
    running.clear();
    for (int p = 0; p < Phase_Count; ++p) frameMs[p].push_back(sums[p]);
  }
};
PhaseClock g_clock;

// Each pushed marker named in kMarkerPhases starts a stretch of its phase;
// the others leave the current one running.
void OnMarker(const char* text) {
  for (const MarkerPhase& m : kMarkerPhases) {
    if (std::strcmp(m.marker, text) == 0) {
      g_clock.Switch(m.phase);
      return;
    }
  }
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void PrintPhaseTable(double copyMs) {
  static const kvRenderContextTrace trace = {OnMarker, nullptr, nullptr, nullptr, nullptr};
  kv_RenderContext_SetTraceForTest(&trace);
  constexpr int kFrames = 30;
  for (int i = 0; i < kFrames; ++i) {
    g_clock.Switch(Phase_Engine);
    voskdemo_Tick();
    g_clock.EndFrame();
  }
  kv_RenderContext_SetTraceForTest(nullptr);
  int width = 0, height = 0;
  kv_RenderTarget_GetInfo(FinalTarget.target, &width, &height, nullptr);
  std::printf("GL time per phase of the frame at %dx%d (timer queries, median of %d frames)\n",
              width, height, kFrames);
  std::printf("  %-22s %9s %12s\n", "phase", "ms", "copy passes");
  double total = 0.0;
  for (int p = 0; p < Phase_Count; ++p) {
    const double ms = Median(g_clock.frameMs[p]);
    total += ms;
    std::printf("  %-22s %9.2f %12.2f\n", kPhaseNames[p], ms, copyMs > 0 ? ms / copyMs : 0.0);
  }
  std::printf("  %-22s %9.2f %12.2f\n", "sum of the medians", total,
              copyMs > 0 ? total / copyMs : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
  // Ours and the reference take turns, so a change of the machine's load
  // falls on both.
  std::vector<char*> args(argv, argv + argc);
  char interleave[] = "--benchmark_enable_random_interleaving=true";
  args.push_back(interleave);
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  g_ready = GLBench_Start() && SetUp();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const char* frame = "BM_DeferredFrame/min_time:2.000/real_time";
  const char* copy = "BM_CopyPass/min_time:0.500/real_time";
  reporter.PrintMedianRealRatio(frame, copy, "Deferred frame",
                                "engine frame / full-screen copy pass time ratio (goal <= 12)");
  // The thread's CPU time per frame: the engine's work and the GL driver's
  // on this thread (the rasterizer's threads are not counted).
  if (const auto cpu = reporter.medianTimes.find(frame); cpu != reporter.medianTimes.end()) {
    std::printf("Deferred frame: CPU time of the frame's thread, 10 lit actors: %.2f ms (goal <= 2)\n",
                cpu->second);
  }
  double load[3] = {};
  if (getloadavg(load, 3) == 3) {
    std::printf("load average %.2f %.2f %.2f\n", load[0], load[1], load[2]);
  }
  if (g_ready) {
    const auto it = reporter.medianRealTimes.find(copy);
    PrintPhaseTable(it != reporter.medianRealTimes.end() ? it->second : 0.0);
    voskdemo_Shutdown();
  }
  benchmark::Shutdown();
  return 0;
}
