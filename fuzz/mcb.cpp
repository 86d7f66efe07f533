// Fuzz target for the ".mcb" texture-container reader. Surfaces need a GL
// context: the target opens a hidden window with a 3.3 core context once
// (run it under Xvfb, as the test does). The input is served through the
// services record that the file layer reads from.
#include <GL/glew.h>
#include <SDL.h>

#include <cstdio>
#include <cstdlib>

#include "gfx/kv_ImageFile.h"
#include "gfx/kv_RenderContext.h"
#include "gfx/kv_Surface.h"
#include "image_fuzz_host.h"
#include "platform/kv_Platform.h"

namespace {

bool StartGL() {
  static int ready = -1;
  if (ready >= 0) return ready == 1;
  ready = 0;
  if (SDL_Init(SDL_INIT_VIDEO) != 0) return false;
  std::atexit(SDL_Quit);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_Window* window =
      SDL_CreateWindow("fuzz", 0, 0, 64, 64, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (window == nullptr || SDL_GL_CreateContext(window) == nullptr || !kv_Platform_InitGFX()) {
    return false;
  }
  ready = 1;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!StartGL()) {
    std::fprintf(stderr, "fuzz_mcb: no GL context (run under xvfb-run)\n");
    std::exit(1);
  }
  image_fuzz::Serve(data, size);
  kvSurface* surface = LoadMcbTexture("fuzz.mcb");
  if (surface) kv_Surface_Destroy(surface);
  return 0;
}
