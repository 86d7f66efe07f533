// Not built yet: the smallest honest stand-in for the render context, so that
// the window shows a cleared frame. There are no back buffers, surfaces or
// frame phases here; a frame is a clear of the window followed by a swap.
#include "gfx/kv_RenderContext.h"

#include <GL/glew.h>

#include "platform/kv_Log.h"
#include "platform/kv_Platform.h"

namespace {
int g_frameBegun = 0;
}

bool kv_Platform_InitGFX(void) {
  kv_Log_Printf("[OpenGL] - render context not built yet: frames only clear and swap");
  glewExperimental = GL_TRUE;
  const GLenum result = glewInit();
  if (result != GLEW_OK) {
    kv_Log_Printf("Unable to initialize GLEW: %s",
                  reinterpret_cast<const char*>(glewGetErrorString(result)));
    return false;
  }
  while (glGetError() != GL_NO_ERROR) {
  }  // glewInit on a core context leaves an error behind
  kv_Platform_GetWindowState()->renderContextUp = 1;
  return true;
}

int kv_Platform_BeginFrame(void) {
  if (g_frameBegun || !kv_Platform_GetWindowState()->renderContextUp) return 0;
  kv_Platform_ApplyWindowMode();
  g_frameBegun = 1;
  kvWindowState* window = kv_Platform_GetWindowState();
  window->displayChanged = 0;
  int width = 0, height = 0;
  SDL_GL_GetDrawableSize(window->window, &width, &height);
  glViewport(0, 0, width, height);
  glClearColor(0, 0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  return 1;
}

int kv_Platform_EndFrame(void) {
  if (!kv_Platform_GetWindowState()->renderContextUp) return 0;
  if (!g_frameBegun) kv_Platform_BeginFrame();
  g_frameBegun = 0;
  SDL_Window* window = kv_Platform_GetWindowState()->window;
  SDL_ShowWindow(window);  // the window appears with its first frame
  SDL_GL_SetSwapInterval(0);
  SDL_GL_SwapWindow(window);
  return 1;
}

void kv_Platform_OnWindowResized(void) {
  kv_Platform_ApplyWindowMode();
  if (kv_Platform_GetWindowState()->renderContextUp) kv_Platform_MarkDisplayChanged();
}

void kv_GL_GetDebugTag(const char** context, const char** function, int* line) {
  // No GL step sets a tag yet.
  if (context) *context = "";
  if (function) *function = "";
  if (line) *line = -1;
}

void kv_Platform_OnResourcesReleased(void) {}

// There is no context record: nothing is cleared and no marker is set.
kvRenderContext* kv_RenderContext_Get(void) { return nullptr; }
void kv_Platform_DrawDebugText(const char* /*text*/, int /*x*/, int /*y*/) {}
void kv_RenderContext_Clear(kvRenderContext* /*context*/, float /*red*/, float /*green*/,
                            float /*blue*/, float /*alpha*/, float /*depth*/) {}
void kv_RenderContext_PushMarker(kvRenderContext* /*context*/, const char* /*text*/) {}
void kv_RenderContext_PopMarker(kvRenderContext* /*context*/) {}
