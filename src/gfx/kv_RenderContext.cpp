#include "gfx/kv_RenderContext.h"

#include <GL/glew.h>
#include <SDL.h>
#include <dlfcn.h>
#include <link.h>

#include <cstring>

#include "gfx/kv_RenderTarget.h"
#include "gfx/kv_Surface.h"
#include "platform/kv_Log.h"
#include "platform/kv_Platform.h"
#include "platform/kv_RenderHooks.h"

namespace {

kvRenderContext g_context;

// Module state beside the record.
kvRenderTarget* g_backColour = nullptr;
kvRenderTarget* g_backDepth = nullptr;
int g_frameBegun = 0;
uint8_t g_initialised = 0;
uint32_t g_frameSerial = 0;

kvRenderContextCalls g_calls{};
int (*g_movieModeQuery)(void) = nullptr;  // a test's override of g_calls.inMovieMode
int g_lastSwapInterval = -1;

const char* OrNA(const GLubyte* text) {
  return text ? reinterpret_cast<const char*>(text) : "N/A";
}

void LogDriverDetails(void) {
  const GLubyte* extensions = glGetString(GL_EXTENSIONS);
  kv_Log_Printf("[OpenGL] Vendor: %s", OrNA(glGetString(GL_VENDOR)));
  kv_Log_Printf("[OpenGL] Renderer: %s", OrNA(glGetString(GL_RENDERER)));
  kv_Log_Printf("[OpenGL] Version: %s", OrNA(glGetString(GL_VERSION)));
  kv_Log_Printf("[OpenGL] Shading language: %s", OrNA(glGetString(GL_SHADING_LANGUAGE_VERSION)));
  kv_Log_Printf("[OpenGL] Extensions: %s", OrNA(extensions));
  // A core profile answers null (and an error) for the whole string: list them one by one.
  if (!extensions) {
    glGetError();
    GLint count = 0;
    glGetIntegerv(GL_NUM_EXTENSIONS, &count);
    for (GLint i = 0; i < count; ++i) {
      const GLubyte* name = glGetStringi(GL_EXTENSIONS, static_cast<GLuint>(i));
      if (!name) break;
      kv_Log_Printf("[OpenGL] Extension: %s", reinterpret_cast<const char*>(name));
    }
  }
}

// SDL unloads the GL library when it quits, while the driver still holds
// screen-level caches in its own globals (Mesa keeps the blit shaders there):
// once unloaded, those blocks are unreachable and leak checkers report them.
// The driver stays resident for the life of the process instead.
int KeepDriverResident(struct dl_phdr_info* info, size_t, void*) {
  const char* name = info->dlpi_name;
  if (name && (std::strstr(name, "_dri.so") || std::strstr(name, "libgallium") ||
               std::strstr(name, "libGLX_mesa"))) {
    dlopen(name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
  }
  return 0;
}

void BindBackBuffers(void) {
  kv_RenderContext_SetRenderTarget(&g_context, 0, g_backColour);
  kv_RenderContext_SetDepthTarget(&g_context, g_backDepth);
}

}  // namespace

kvRenderContext* kv_RenderContext_Get(void) {
  return &g_context;
}

// GL errors --------------------------------------------------------------------

const char* kv_GL_ErrorString(uint32_t code) {
  switch (code) {
    case GL_NO_ERROR:
      return "no error";
    case GL_INVALID_ENUM:
      return "invalid enumerant";
    case GL_INVALID_VALUE:
      return "invalid value";
    case GL_INVALID_OPERATION:
      return "invalid operation";
    case GL_STACK_OVERFLOW:
      return "stack overflow";
    case GL_STACK_UNDERFLOW:
      return "stack underflow";
    case GL_OUT_OF_MEMORY:
      return "out of memory";
    case GL_INVALID_FRAMEBUFFER_OPERATION:
      return "invalid framebuffer operation";
    default:
      return "unknown error";
  }
}

void kv_GL_CheckErrors(void) {
  // Bounded, so that a lost context (which may answer errors forever) cannot hang the frame.
  for (int i = 0; i < 64; ++i) {
    const GLenum error = glGetError();
    if (error == GL_NO_ERROR) return;
    const char* context = nullptr;
    const char* function = nullptr;
    int line = -1;
    kv_GL_GetDebugTag(&context, &function, &line);
    kv_Log_Printf("GL error: %s (Context: %s | Function: %s | Line: %i))", kv_GL_ErrorString(error),
                  context, function, line);
  }
}

// Start-up --------------------------------------------------------------------

bool kv_GL_CheckVersion(int major, int minor) {
  if (major > 3 || (major == 3 && minor >= 3)) return true;
  kv_Log_Printf("[OpenGL] Unsupported OpenGL version: %i.%i", major, minor);
  return false;
}

bool CheckOpenGLRequirements(void) {
  bool result = true;
  LogDriverDetails();
  GLint major = 0, minor = 0;
  glGetIntegerv(GL_MAJOR_VERSION, &major);
  glGetIntegerv(GL_MINOR_VERSION, &minor);
  glGetError();  // contexts before 3.0 do not know the two queries
  if (!kv_GL_CheckVersion(major, minor)) result = false;
  if (!glGenRenderbuffers || !glBindRenderbuffer || !glRenderbufferStorage) {
    kv_Log_Printf("[OpenGL] Missing OpenGL feature: Framebuffer object");
    result = false;
  }
  if (!glCreateShader || !glShaderSource || !glCreateProgram || !glUseProgram) {
    kv_Log_Printf("[OpenGL] Missing OpenGL feature: Shader program");
    return false;
  }
  return result;
}

void allocateDefaultBuffers(void) {
  int width = 0, height = 0;
  SDL_Window* window = SDL_GL_GetCurrentWindow();
  if (window) SDL_GL_GetDrawableSize(window, &width, &height);
  if (width < 1) width = 1;
  if (height < 1) height = 1;
  // Buffers of the right size are kept: a display change often leaves the
  // size as it was (the window's own size events at start-up, a settings
  // check), and new ones cost the driver a cleared allocation of the window.
  if (g_backColour && g_backDepth && g_backColour->width == width &&
      g_backColour->height == height && g_backDepth->width == width &&
      g_backDepth->height == height) {
    BindBackBuffers();
    return;
  }
  if (g_backColour) kv_RenderTarget_Free(g_backColour);
  if (g_backDepth) kv_RenderTarget_Free(g_backDepth);
  // The record must not keep pointing at freed targets.
  for (auto& slot : g_context.colourTargets) {
    if (slot == g_backColour) slot = nullptr;
  }
  if (g_context.mainTarget == g_backColour) g_context.mainTarget = nullptr;
  if (g_context.depthTarget == g_backDepth) g_context.depthTarget = nullptr;
  g_backColour = kv_RenderTarget_Create(width, height, kvFormat_8x4);
  g_backDepth = kv_RenderTarget_Create(width, height, kvFormat_Depth);
  BindBackBuffers();
}

bool kv_Platform_InitGFX(void) {
  glewExperimental = GL_TRUE;
  const GLenum glewStatus = glewInit();
  if (glewStatus != GLEW_OK) {
    kv_Log_Printf("Unable to initialize GLEW: %s",
                  reinterpret_cast<const char*>(glewGetErrorString(glewStatus)));
    return false;
  }
  dl_iterate_phdr(&KeepDriverResident, nullptr);
  if (!CheckOpenGLRequirements()) return false;
  kv_Log_Printf("[OpenGL] - CheckOpenGLRequirements completed successfully.");
  (void)glGetString(GL_VERSION);
  (void)glewGetString(GLEW_VERSION);

  // GLEW's start-up on a core profile leaves an error behind; the loop drains
  // and reports whatever is there, always 8 times.
  for (int i = 0; i < 8; ++i) {
    const GLenum code = glGetError();
    kv_Log_Printf("[OpenGL] - error fun loop. return hex: 0x%08x ... string: %s", code,
                  kv_GL_ErrorString(code));
  }

  kv_Log_Printf("[OpenGL] - Doing some vertex array fun.");
  kv_GL_SetDebugTag("glGenVertexArrays / glBindVertexArray", "kv_Platform_InitGFX", 1);
  GLuint vertexArray = 0;
  glGenVertexArrays(1, &vertexArray);
  glBindVertexArray(vertexArray);
  kv_GL_CheckErrors();

  kv_GL_SetDebugTag("init frame data", "kv_Platform_InitGFX", 2);
  kv_Log_Printf("[OpenGL] - allocateFrameData...");
  if (!g_context.frameData) allocateFrameData();

  kv_Log_Printf("[OpenGL] - allocateDefaultBuffers...");
  allocateDefaultBuffers();
  kv_GL_CheckErrors();

  kv_GL_SetDebugTag("create back buffer", "kv_Platform_InitGFX", 3);
  kv_Log_Printf("[OpenGL] - create back buffer...");
  if (!g_context.framebuffer) glGenFramebuffers(1, &g_context.framebuffer);
  if (!g_context.samplers[0]) glGenSamplers(kvMaxTextures, g_context.samplers);
  kv_GL_CheckErrors();

  kv_GL_SetDebugTag("set back buffer", "kv_Platform_InitGFX", 4);
  kv_Log_Printf("[OpenGL] - set back buffer...");
  BindBackBuffers();
  glClampColor(GL_CLAMP_READ_COLOR, GL_FALSE);
  kv_GL_CheckErrors();

  kv_Log_Printf("[OpenGL] - GL fully initialized!");
  g_initialised = 1;
  kv_Platform_GetWindowState()->renderContextUp = 1;
  return true;
}

// Frame -----------------------------------------------------------------------

int kv_Platform_BeginFrame(void) {
  if (g_frameBegun) return 0;
  if (!g_initialised) return 0;  // no context to draw with
  // The window layer raises the flag on a size or mode change (and the render
  // hooks on a change of the display settings).
  kvWindowState* window = kv_Platform_GetWindowState();
  if (window->displayChanged) {
    window->displayChanged = 0;
    allocateDefaultBuffers();
    if (g_calls.relayoutFonts) g_calls.relayoutFonts();
    kv_RenderHooks_DisplayChanged();
  }
  if (g_context.frameData) kv_FrameData_Reset(g_context.frameData);
  kv_Platform_ApplyWindowMode();
  g_frameBegun = 1;
  ++g_frameSerial;
  BindBackBuffers();

  kv_GL_SetDebugTag("set cull mode", "kv_RenderContext_SetSolidFillModeEnabled", 10);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glDisable(GL_CULL_FACE);
  kv_GL_CheckErrors();

  g_context.depthCompare = GL_ALWAYS;
  g_context.depthWrite = 1;
  g_context.depthDirty = 1;

  kv_RenderContext_ClearClipRect(&g_context);
  kv_RenderContext_RenderTargetSetup(&g_context);
  kv_GL_SetDebugTag("clear back buffer", "kv_Platform_BeginFrame", 11);
  glClearColor(0, 0, 0, 0);
  glDepthMask(GL_TRUE);  // a draw without depth writes must not keep the clear from the depth
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  kv_GL_CheckErrors();

  g_context.texturesDirty = 1;
  g_context.samplersDirty = 1;
  g_context.targetsDirty = 1;
  g_context.programDirty = 1;
  g_context.depthDirty = 1;
  g_context.enabledAttributeCount = 0;

  kv_RenderHooks_FramePhase(0);
  return 1;
}

int kv_Platform_EndFrame(void) {
  if (!g_frameBegun) kv_Platform_BeginFrame();
  if (!g_initialised) return 1;
  int (*const inMovieMode)(void) = g_movieModeQuery ? g_movieModeQuery : g_calls.inMovieMode;
  const int movie = inMovieMode ? inMovieMode() : 0;
  if (!movie) {
    kv_RenderHooks_FramePhase(1);
    kv_RenderHooks_FramePhase(2);
  }
  kv_RenderHooks_FramePhase(3);
  g_frameBegun = 0;

  kv_GL_SetDebugTag("EndFrame", "kv_Platform_EndFrame", 20);
  kv_RenderContext_ClearClipRect(&g_context);  // the window gets the whole picture
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  SDL_Window* window = SDL_GL_GetCurrentWindow();
  int width = 0, height = 0;
  if (window) {
    SDL_ShowWindow(window);
    SDL_GL_GetDrawableSize(window, &width, &height);
  }
  const int backWidth = g_backColour ? g_backColour->width : 0;
  const int backHeight = g_backColour ? g_backColour->height : 0;
  // The blit stretches the whole back buffer over the whole drawable, so
  // the window needs clearing only when there is nothing to blit.
  if (width <= 0 || height <= 0 || backWidth <= 0 || backHeight <= 0) {
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
  }
  kv_GL_CheckErrors();

  kv_GL_SetDebugTag("glBindFramebuffer", "kv_Platform_EndFrame", 21);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, g_context.framebuffer);
  kv_GL_CheckErrors();

  kv_GL_SetDebugTag("glBlitFramebuffer", "kv_Platform_EndFrame", 22);
  glBlitFramebuffer(0, 0, backWidth, backHeight, 0, 0, width, height, GL_COLOR_BUFFER_BIT,
                    GL_LINEAR);
  kv_GL_CheckErrors();
  glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
  // The record's targets are no longer what GL has bound.
  g_context.targetsDirty = 1;

  // Pacing comes from the swap; vertical sync only while a movie plays.
  g_lastSwapInterval = movie ? 1 : 0;
  SDL_GL_SetSwapInterval(g_lastSwapInterval);
  if (window) SDL_GL_SwapWindow(window);
  return 1;
}

void kv_Platform_GetBackBuffer(kvRenderTarget** colour, kvRenderTarget** depth) {
  if (colour) *colour = g_backColour;
  if (depth) *depth = g_backDepth;
}

void kv_Platform_GetDisplaySize(int* width, int* height) {
  const kvWindowState* window = kv_Platform_GetWindowState();
  int baseWidth = window->windowedWidth, baseHeight = window->windowedHeight;
  if (window->borderless) {
    SDL_DisplayMode mode;
    if (SDL_GetCurrentDisplayMode(0, &mode) == 0) {
      baseWidth = mode.w;
      baseHeight = mode.h;
    }
  }
  // The render size the window layer tracks, when it has one.
  if (width) *width = window->drawableWidth ? window->drawableWidth : baseWidth;
  if (height) *height = window->drawableHeight ? window->drawableHeight : baseHeight;
}

void kv_Platform_GetPixelToClipScale(float* x, float* y) {
  const int w = g_backColour && g_backColour->width > 0 ? g_backColour->width : 1;
  const int h = g_backColour && g_backColour->height > 0 ? g_backColour->height : 1;
  if (x) *x = 2.0f / static_cast<float>(w);
  if (y) *y = -2.0f / static_cast<float>(h);
}

int kv_RenderContext_IsInitialised(void) {
  return g_initialised;
}
uint32_t kv_RenderContext_FrameSerial(void) {
  return g_frameSerial;
}

void kv_RenderContext_PushMarker(kvRenderContext*, const char* text) {
  if (const kvRenderContextTrace* trace = kv_RenderContext_GetTrace(); trace && trace->marker) {
    trace->marker(text ? text : "");
  }
  // GLEW (experimental mode) loads the entry point whether or not the driver
  // offers the extension, and calling it without the extension is a GL error:
  // the driver's own list decides, asked once.
  static const bool offered = SDL_GL_ExtensionSupported("GL_GREMEDY_string_marker") == SDL_TRUE;
  if (text && offered && glStringMarkerGREMEDY) {
    glStringMarkerGREMEDY(static_cast<GLsizei>(std::strlen(text)), text);
  }
}

void kv_RenderContext_PopMarker(kvRenderContext*) {}
void kv_Platform_OnResourcesReleased(void) {}
void kv_Platform_DrawDebugText(const char*, int, int) {}
int kv_Platform_DebugStub(void) {
  return 0;
}

void kv_RenderContext_SetCalls(const kvRenderContextCalls* calls) {
  g_calls = calls ? *calls : kvRenderContextCalls{};
}

void kv_RenderContext_SetMovieModeQueryForTest(int (*query)(void)) {
  g_movieModeQuery = query;
}

namespace {
kvRenderContextTrace g_trace;
bool g_traceSet = false;
}  // namespace

void kv_RenderContext_SetTraceForTest(const kvRenderContextTrace* trace) {
  g_traceSet = trace != nullptr;
  g_trace = trace ? *trace : kvRenderContextTrace{};
}

const kvRenderContextTrace* kv_RenderContext_GetTrace(void) {
  return g_traceSet ? &g_trace : nullptr;
}

int kv_RenderContext_LastSwapIntervalForTest(void) {
  return g_lastSwapInterval;
}
