// What the GL benchmarks share: the staged game folder as the current
// directory (shaders, demo data) and the program's own window with its
// OpenGL 3.3 context and render context. They need a display: under a shell
// without one, `make bench` runs them under Xvfb.
#pragma once

#include <GL/glew.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>

#include "platform/kv_Platform.h"

// False (with a line on standard error) when the game folder or the window
// is missing.
inline bool GLBench_Start(void) {
  if (chdir(VQ_GAME_DIR) != 0) {
    std::fprintf(stderr, "the staged game folder %s is missing\n", VQ_GAME_DIR);
    return false;
  }
  if (!kv_Platform_InitWindow()) {
    std::fprintf(stderr, "no window with an OpenGL 3.3 context (is there a display?)\n");
    return false;
  }
  return true;
}

// Runs one GL step per iteration to the end of the GPU's work (glFinish);
// the run is skipped when the start failed.
template <class Step>
void GLBench_Run(benchmark::State& state, bool ready, Step step) {
  if (!ready) {
    state.SkipWithError("no GL set-up");
    return;
  }
  for (auto _ : state) {
    step();
    glFinish();
  }
}
