// The window, its mode, message boxes, whole-file loading, the engine key
// handler and the platform shutdown.
#include <dlfcn.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/kv_Audio.h"
#include "platform/kv_Log.h"
#include "platform/kv_Platform.h"
#include "platform/kv_Registry.h"
#include "platform/kv_ToolWindow.h"
#include "platform/steam/steam_api.h"

// stb_image with internal linkage: other modules may carry their own copy.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#endif
#include <stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace {

kvWindowState g_window{};

kv_MessageBoxHandler g_messageBoxHandler = nullptr;
// Off in test programs and fuzz targets: no box may wait for a person there,
// whether or not a display is at hand.
std::atomic<int> g_messageBoxesShown{1};

kvEngineKeyHooks g_keyHooks{};
int g_debugKeysArmed = 0;

// Xlib's IO-error handler. SDL loads Xlib itself; the program reaches the one
// call it needs through the library SDL loaded, so it neither links Xlib nor
// needs it when SDL runs on another video driver.
struct XDisplay;
using XIOErrorHandler = int (*)(XDisplay*);
using XSetIOErrorHandlerFn = XIOErrorHandler (*)(XIOErrorHandler);
XSetIOErrorHandlerFn g_setIOErrorHandler = nullptr;
XIOErrorHandler g_previousIOErrorHandler = nullptr;

int OnDisplayLost(XDisplay*) {
  kv_Platform_EndForLostDisplay();  // does not return, as Xlib requires
}

struct OfferedSize {
  int width, height;
};
constexpr OfferedSize kOfferedSizes[] = {
    {2560, 1440}, {1920, 1080}, {1600, 900}, {1280, 720}, {854, 480}};

SDL_Rect DisplayBounds() {
  SDL_Rect bounds{0, 0, g_window.desktopMode.w, g_window.desktopMode.h};
  if (g_window.window) {
    const int index = SDL_GetWindowDisplayIndex(g_window.window);
    if (index >= 0) SDL_GetDisplayBounds(index, &bounds);
  }
  return bounds;
}

int ShowBox(const SDL_MessageBoxData& data) {
  int button = -1;
  if (!g_messageBoxHandler && !g_messageBoxesShown.load()) {
    // Answered as a box that could not be shown.
    kv_Log_Printf("Message box not shown (boxes are off): %s: %s", data.title, data.message);
    std::fprintf(stderr, "Message box not shown (boxes are off): %s: %s\n", data.title,
                 data.message);
    return -1;
  }
  const int result = g_messageBoxHandler ? g_messageBoxHandler(&data, &button)
                                         : SDL_ShowMessageBox(&data, &button);
  return result < 0 ? -1 : button;
}

// A numbered file name that is not taken yet ("shot0001.bmp", ...): the
// developer keys never write over an earlier image.
void NextFreeName(const char* pattern, char* name, size_t size) {
  static int counter = 0;
  struct stat info;
  do {
    ++counter;
    std::snprintf(name, size, pattern, counter);
  } while (stat(name, &info) == 0 && counter < 9999);
}

void SetIcon(SDL_Window* window) {
  if (SDL_Surface* icon = kv_Platform_LoadIcon("icon.png")) {
    SDL_SetWindowIcon(window, icon);
    SDL_FreeSurface(icon);
  }
}

}  // namespace

kvWindowState* kv_Platform_GetWindowState(void) {
  return &g_window;
}

SDL_Surface* kv_Platform_LoadIcon(const char* path) {
  uint8_t* file = nullptr;
  size_t size = 0;
  if (!kv_Platform_LoadFile(&file, &size, path)) return nullptr;  // no icon: skipped
  int width = 0, height = 0, channels = 0;
  stbi_uc* pixels = size <= INT32_MAX ? stbi_load_from_memory(file, static_cast<int>(size), &width,
                                                              &height, &channels, 4)
                                      : nullptr;
  kv_Platform_FreeFileData(file);
  if (!pixels) {
    kv_Log_Printf("%s could not be decoded", path);
    return nullptr;
  }
  // stb_image gives the bytes R, G, B, A in memory order; RGBA32 names
  // exactly that order on any machine (fixed masks would swap red and blue
  // on a little-endian one).
  SDL_Surface* surface =
      SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_RGBA32);
  if (surface) {
    for (int y = 0; y < height; ++y) {
      std::memcpy(static_cast<uint8_t*>(surface->pixels) + y * surface->pitch,
                  pixels + static_cast<size_t>(y) * width * 4, static_cast<size_t>(width) * 4);
    }
  }
  stbi_image_free(pixels);
  return surface;
}

int kv_Platform_InitWindow(void) {
  kv_Log_Printf("Initializing window");
  if (!SteamAPI_Init()) {
    kv_Log_Printf("Unable to initlaize Steam API");
    // Debugger output goes to standard error.
    std::fputs(
        "FAILED Initializing Steam API. Missing [steam_appid.txt] or the client is not running.\n",
        stderr);
  }
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_AUDIO) != 0) {
    kv_Log_Printf("Unable to initialize SDL");
    kv_Log_Printf("SDL: %s", SDL_GetError());
    return 0;
  }
  kv_Platform_InstallDisplayLossHandler();
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);

  g_window.window =
      SDL_CreateWindow("Vosk Quorvale", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 640, 480,
                       SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
  if (!g_window.window) {
    kv_Log_Printf("Unable to create SDL window");
    kv_Platform_ShowError(
        "Unable to initialize game.\nMake sure the latest graphics card drivers are installed.",
        "Error");
    return 0;
  }
  SetIcon(g_window.window);

  const int display = SDL_GetWindowDisplayIndex(g_window.window);
  SDL_GetDesktopDisplayMode(display < 0 ? 0 : display, &g_window.desktopMode);
  g_window.glContext = SDL_GL_CreateContext(g_window.window);
  if (!g_window.glContext) {
    kv_Log_Printf("Unable to create OpenGL context: %s", SDL_GetError());
  }

  kv_Platform_ApplyWindowMode();  // settings not loaded yet: defaults apply

  bool (*const initRenderContext)(void) = kv_Platform_GetGameHooks()->initRenderContext;
  if (!initRenderContext) kv_Log_Printf("No render context installed");
  if (!g_window.glContext || !initRenderContext || !initRenderContext()) {
    kv_Log_Printf("Unable to initialize graphics system");
    kv_Platform_ShowError(
        "Vosk Quorvale can't run because required OpenGL features aren't available.\nMake sure "
        "the latest graphics card drivers are installed.",
        "Error");
    return 0;
  }
  SDL_ShowCursor(SDL_DISABLE);
  return 1;  // the window stays hidden until the first frame is presented
}

void kv_Platform_ResolveResolution(float rx, float ry, int* width, int* height) {
  int w = static_cast<int>(rx);
  int h = static_cast<int>(ry);
  if (w <= 0 || h <= 0) w = h = 0;
  *width = w;
  *height = h;
}

void kv_Platform_PickWindowedSize(int desktopWidth, int desktopHeight, int* width, int* height) {
  if (*width != 0 && *height != 0) return;
  for (const OfferedSize& s : kOfferedSizes) {
    if (s.width < desktopWidth && s.height < desktopHeight) {
      *width = s.width;
      *height = s.height;
      return;
    }
  }
  *width = 854;
  *height = 480;
}

void kv_Platform_CenteredPosition(const SDL_Rect& display, int width, int height, int* x, int* y) {
  const int px = display.x + (display.w - width) / 2;
  const int py = display.y + (display.h - height) / 2;
  *x = px < 0 ? 0 : px;
  *y = py < 0 ? 0 : py;
}

void kv_Platform_ApplyWindowMode(void) {
  int width = 0, height = 0;
  kv_Platform_ResolveResolution(kv_Registry_ReadFloat("ResolutionX", 0.0f),
                                kv_Registry_ReadFloat("ResolutionY", 0.0f), &width, &height);
  // Fullscreen 0 (or missing) means a borderless window covering the display.
  kv_Platform_SetBorderless(kv_Registry_ReadInt("Fullscreen", 0) == 0 ? 1 : 0);
  kv_Platform_SetWindowedSize(width, height);
  kv_Platform_SetDrawableSize(width, height);
}

void kv_Platform_SetBorderless(int flag) {
  const uint8_t value = flag ? 1 : 0;
  if (value == g_window.borderless) return;
  g_window.borderless = value;
  if (g_window.window) {
    SDL_SetWindowBordered(g_window.window, value ? SDL_FALSE : SDL_TRUE);
    SDL_SetWindowResizable(g_window.window, value ? SDL_FALSE : SDL_TRUE);
    if (value) {
      const SDL_Rect bounds = DisplayBounds();
      SDL_SetWindowSize(g_window.window, bounds.w, bounds.h);
      SDL_SetWindowPosition(g_window.window, bounds.x, bounds.y);
    } else {
      kv_Platform_CenterWindow();
    }
  }
  kv_Platform_MarkDisplayChanged();
}

void kv_Platform_CenterWindow(void) {
  if (g_window.borderless || !g_window.window) return;
  SDL_SetWindowSize(g_window.window, g_window.windowedWidth, g_window.windowedHeight);
  int x = 0, y = 0;
  kv_Platform_CenteredPosition(DisplayBounds(), g_window.windowedWidth, g_window.windowedHeight, &x,
                               &y);
  SDL_SetWindowPosition(g_window.window, x, y);
}

void kv_Platform_SetWindowedSize(int width, int height) {
  kv_Platform_PickWindowedSize(g_window.desktopMode.w, g_window.desktopMode.h, &width, &height);
  if (width == g_window.windowedWidth && height == g_window.windowedHeight) return;
  g_window.windowedWidth = width;
  g_window.windowedHeight = height;
  if (!g_window.borderless && g_window.window) {
    SDL_SetWindowSize(g_window.window, width, height);
    kv_Platform_CenterWindow();
  }
  kv_Platform_MarkDisplayChanged();
}

void kv_Platform_SetDrawableSize(int width, int height) {
  if (width == 0 || height == 0) {
    if (g_window.borderless) {
      width = g_window.desktopMode.w;
      height = g_window.desktopMode.h;
    } else if (g_window.window) {
      SDL_GetWindowSize(g_window.window, &width, &height);
    }
  }
  if (width == g_window.drawableWidth && height == g_window.drawableHeight) return;
  g_window.drawableWidth = width;
  g_window.drawableHeight = height;
  kv_Platform_MarkDisplayChanged();
}

void kv_Platform_MarkDisplayChanged(void) {
  if (g_window.renderContextUp) g_window.displayChanged = 1;
}

void kv_Platform_OnWindowResized(void) {
  kv_Platform_ApplyWindowMode();
  kv_Platform_MarkDisplayChanged();
}

void kv_Platform_SetMessageBoxHandler(kv_MessageBoxHandler handler) {
  g_messageBoxHandler = handler;
}

void kv_Platform_SetMessageBoxesShown(int shown) {
  g_messageBoxesShown.store(shown ? 1 : 0);
}

void kv_Platform_ShowError(const char* text, const char* title) {
  const SDL_MessageBoxButtonData button = {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 0, "Ok"};
  SDL_MessageBoxData data{};
  data.flags = SDL_MESSAGEBOX_ERROR;
  data.title = title;
  data.message = text;
  data.numbuttons = 1;
  data.buttons = &button;
  ShowBox(data);
}

void kv_Platform_ShowErrorText(const char* text) {
  kv_Platform_ShowError(text, "Error");
}

int kv_Platform_ShowMessageBox(SDL_Window* window, const char* text, const char* title,
                               int buttonCount, const char* const* buttonLabels, int defaultIndex,
                               int error) {
  if (buttonCount < 0 || (buttonCount > 0 && !buttonLabels)) return -1;
  SDL_MessageBoxButtonData buttons[16];
  if (buttonCount > 16) buttonCount = 16;
  for (int i = 0; i < buttonCount; ++i) {
    buttons[i].flags = i == defaultIndex ? SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT : 0;
    buttons[i].buttonid = i;
    buttons[i].text = buttonLabels[i];
  }
  SDL_MessageBoxData data{};
  data.flags = error ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
  data.window = window;
  data.title = title;
  data.message = text;
  data.numbuttons = buttonCount;
  data.buttons = buttons;
  return ShowBox(data);
}

int kv_Platform_LoadFile(uint8_t** data, size_t* size, const char* path) {
  *data = nullptr;
  *size = 0;
  if (!path) return 0;
  FILE* file = std::fopen(path, "rb");
  if (!file) {
    kv_Log_Printf("File not found: %s", path);
    std::fprintf(stderr, "Not found: '%s'\n", path);
    return 0;
  }
  // Only a regular file has a size: a directory opens for reading and seeks
  // to a bogus end, a pipe cannot seek (ftell answers -1).
  struct stat info;
  long length = -1;
  if (fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode) &&
      std::fseek(file, 0, SEEK_END) == 0) {
    length = std::ftell(file);
  }
  if (length < 0 || std::fseek(file, 0, SEEK_SET) != 0) {
    std::fclose(file);
    return 0;
  }
  auto* buffer = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(length) + 1));
  if (!buffer) {
    std::fclose(file);
    return 0;
  }
  size_t got = 0;
  while (got < static_cast<size_t>(length)) {
    const size_t n = std::fread(buffer + got, 1, static_cast<size_t>(length) - got, file);
    if (n == 0) break;
    got += n;
  }
  std::fclose(file);
  if (got != static_cast<size_t>(length)) {  // a short file is a failure
    std::free(buffer);
    return 0;
  }
  buffer[length] = 0;
  *data = buffer;
  *size = got;
  return 1;
}

void kv_Platform_FreeFileData(void* data) {
  std::free(data);
}

void* kv_Platform_Alloc(int, size_t size) {
  return std::malloc(size);
}
void kv_Platform_Free(void* pointer) {
  std::free(pointer);
}
void* kv_Platform_Calloc(int, size_t count, size_t size) {
  return std::calloc(count, size);
}
void* kv_Platform_Realloc(int, void* pointer, size_t size) {
  return std::realloc(pointer, size);
}
void* kv_Platform_AlignedAlloc(int, size_t alignment, size_t size) {
  void* pointer = nullptr;
  if (alignment < sizeof(void*)) alignment = sizeof(void*);
  return posix_memalign(&pointer, alignment, size) == 0 ? pointer : nullptr;
}

kvEngineKeyHooks* kv_Platform_GetEngineKeyHooks(void) {
  return &g_keyHooks;
}
void kv_Platform_SetEngineKeyHooks(const kvEngineKeyHooks* hooks) {
  g_keyHooks = hooks ? *hooks : kvEngineKeyHooks{};
}
int kv_Platform_DebugKeysArmed(void) {
  return g_debugKeysArmed;
}

int kv_Platform_HandleDebugKeys(const SDL_Event* event) {
  if (!event) return 0;
  const SDL_Keycode key = event->key.keysym.sym;
  if (event->type == SDL_KEYUP) {
    if (key == SDLK_BACKSPACE) {
      g_debugKeysArmed = 0;
      return 0;
    }
    return (key == SDLK_c && g_debugKeysArmed) ? 1 : 0;
  }
  if (event->type != SDL_KEYDOWN) return 0;

  const kvEngineKeyHooks& hooks = g_keyHooks;
  if (key == SDLK_BACKSPACE) {
    if (hooks.debugKeysEnabled && hooks.debugKeysEnabled()) g_debugKeysArmed = 1;
    return 0;
  }
  if (g_debugKeysArmed) {
    char name[32];
    switch (key) {
      case SDLK_c:
        if (hooks.toggleChoreTool) hooks.toggleChoreTool(1);
        break;
      case SDLK_f:
        if (hooks.toggleFrameRate) hooks.toggleFrameRate();
        break;
      case SDLK_p:
        if (hooks.togglePerformance) hooks.togglePerformance();
        break;
      case SDLK_s:
        if (hooks.saveScreenImage) {
          NextFreeName("shot%04d.bmp", name, sizeof name);
          hooks.saveScreenImage(name);
        }
        break;
      case SDLK_z:
        if (hooks.saveZBufferImage) {
          NextFreeName("zbuffer%04d.bm", name, sizeof name);
          hooks.saveZBufferImage(name);
        }
        break;
      case SDLK_t:
        if (hooks.flushTextures) hooks.flushTextures();
        break;
      default:
        break;
    }
  }
  if (key == SDLK_PAUSE) {
    if (hooks.callPauseHandler) hooks.callPauseHandler();
    return 1;
  }
  if (key == SDLK_NUMLOCKCLEAR) {
    if (hooks.startDebugOutput) hooks.startDebugOutput();
    return 1;
  }
  if (key >= SDLK_a && key <= SDLK_z) {
    return (hooks.callCharacterHandler && hooks.callCharacterHandler(key)) ? 1 : 0;
  }
  return 0;
}

int kv_Platform_Shutdown(void) {
  kv_ToolWindow_Close();
  SteamAPI_Shutdown();
  // SDL_Quit would close the device too, behind the channels' backs.
  AudioDevice_CloseAll();
  if (g_window.glContext) SDL_GL_DeleteContext(g_window.glContext);
  if (g_window.window) SDL_DestroyWindow(g_window.window);
  kv_Platform_RemoveDisplayLossHandler();
  SDL_Quit();
  g_window = kvWindowState{};
  return 1;
}

void kv_Platform_ShutdownWithoutDisplay(void) {
  SteamAPI_Shutdown();
  AudioDevice_CloseAll();
  // Every subsystem but video (and the events it holds), each with the
  // threads SDL runs for it.
  SDL_QuitSubSystem(SDL_INIT_AUDIO | SDL_INIT_TIMER | SDL_INIT_GAMECONTROLLER | SDL_INIT_JOYSTICK |
                    SDL_INIT_HAPTIC | SDL_INIT_SENSOR);
}

void kv_Platform_InstallDisplayLossHandler(void) {
  if (g_setIOErrorHandler) return;
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver || std::strcmp(driver, "x11") != 0) return;
  // Only the Xlib that SDL has loaded already.
  void* xlib = dlopen("libX11.so.6", RTLD_NOW | RTLD_NOLOAD);
  if (!xlib) return;
  g_setIOErrorHandler = reinterpret_cast<XSetIOErrorHandlerFn>(dlsym(xlib, "XSetIOErrorHandler"));
  // The handle only counted a reference; SDL keeps the library loaded.
  dlclose(xlib);
  if (g_setIOErrorHandler) g_previousIOErrorHandler = g_setIOErrorHandler(OnDisplayLost);
}

void kv_Platform_RemoveDisplayLossHandler(void) {
  if (!g_setIOErrorHandler) return;
  g_setIOErrorHandler(g_previousIOErrorHandler);
  g_setIOErrorHandler = nullptr;
  g_previousIOErrorHandler = nullptr;
}

int kv_Platform_WaitIconEnabled(void) {
  return 1;
}
void kv_Platform_BeforeDisplay(void) {}
