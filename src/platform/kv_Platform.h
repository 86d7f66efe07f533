// The platform layer's main, event pump and window.
//
// The platform main is the program's body between the entry and process exit:
// it guards everything with the crash guard, opens the program log when asked,
// brings up the window and the render back ends, calls the game's
// initialisation, creates the achievements object and the Steam overlay
// callback, and then runs the main loop (pump events; run one tick only when
// no event was pending; run the Steam callbacks) until the quit flag is set.
#pragma once

#include <SDL.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------
// Platform main, event pump and main loop

// An event handler answers non-zero when it consumed the event.
using kv_EventHandler = int (*)(const SDL_Event* event);

constexpr int KV_PLATFORM_MAX_HANDLERS = 16;

struct kvEventHandlerEntry {
  kv_EventHandler handler;
  int active;
};

struct kvPlatformState {
  kvEventHandlerEntry handlers[KV_PLATFORM_MAX_HANDLERS];
  int handlerCount;
  int loopRunning;               // 1 while the main loop runs
  int gameStarting;              // 1 while the game's initialisation runs
  std::atomic<int> windowShown;  // read by the music heartbeat thread too
  int quit;                      // the main loop ends when set
};
kvPlatformState* kv_Platform_GetState(void);

// What the platform main, the window and the pump call in the game, the
// input layer and the render context. The table starts empty: the program
// installs the front end (its init, tick and shutdown), the input state's key
// entry, the render context's start-up and the registration of the render
// back ends; tests put fakes in their place. An empty row does nothing,
// except init (without it the platform main does not start) and
// initRenderContext (without it the window does not come up).
struct kvPlatformGameHooks {
  int (*init)(const char* commandLine);
  void (*tick)(void);
  void (*shutdown)(void);
  void (*keyEvent)(int code, int state, uint32_t time, int hold);
  // Registers the render back ends; called once after the window exists.
  void (*initRenderBackends)(void);
  // Starts the render context over the window's new OpenGL context; true when up.
  bool (*initRenderContext)(void);
};
kvPlatformGameHooks* kv_Platform_GetGameHooks(void);
// Copies the table in (null empties it).
void kv_Platform_SetGameHooks(const kvPlatformGameHooks* hooks);

// Runs the platform main under the crash guard. A crash inside ends the
// process through the guard (the signal is raised again after the crash
// report), so the process status is non-zero; otherwise the main's result.
int kv_Platform_RunProtected(const char* commandLine);
// 0 after a normal quit, -1 when start-up failed (the platform is shut down).
int kv_Platform_Main(const char* commandLine);
// 0 when no event was pending, else 1 after draining the queue.
int kv_Platform_PumpEvents(void);
// 1 when added; 0 when all 16 entries are in use (the handler is not added).
int kv_Platform_AddEventHandler(kv_EventHandler handler);
// 1; a handler that is not registered changes nothing.
int kv_Platform_RemoveEventHandler(kv_EventHandler handler);
// Pushes a window-system quit event.
void kv_Platform_PostQuit(void);
// One main-loop pass; returns 0.
int kv_Platform_RunOnce(void);
int kv_Platform_IsWindowShown(void);
// Copies the current directory; returns its length, or the size needed
// (length + 1) when the buffer is too small, 0 on failure.
int kv_Platform_GetCurrentDirectory(int size, char* buffer);
// Writes the "OS: %s" and "RAM: %i MB" lines to the program log.
void kv_Platform_LogSystemInfo(void);
// Loads an optional library by its file name from the program's own folder
// (dlopen); null when it is not there.
void* kv_Platform_OpenLibrary(const char* fileName);

// ---------------------------------------------------------------------------
// Ends that do not start as a quit event

// SIGHUP (the terminal or the session went away) takes the path SDL gives
// SIGTERM and SIGINT: the handler only notes it, and the next pump posts the
// quit event, so the engine shuts down in order. The platform main installs it
// unless SIGHUP is ignored (a program started under nohup keeps ignoring it)
// and puts the old disposition back when it ends.
void kv_Platform_InstallHangupHandler(void);
void kv_Platform_RemoveHangupHandler(void);

// The window system's display went away under the program (the X server died
// or dropped the connection). Xlib's IO-error handler must not return, and
// there is no way back into the main loop without unwinding through Xlib, so
// the program ends from inside the handler: a log line, the game's shutdown as
// the quit event runs it (every engine thread joined, disk writes finished),
// the platform's shutdown without the display, then exit status 1. Only the
// main thread talks to the display; a call from any other thread ends the
// process at once.
[[noreturn]] void kv_Platform_EndForLostDisplay(void);

// ---------------------------------------------------------------------------
// Crash guard

// Installs handlers for SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT on an
// alternate stack. Each writes the crash report (kv_Platform_WriteCrashDump),
// restores the handler that was installed before and raises the signal again,
// so that a sanitizer's own report still follows. Installing twice is harmless.
void kv_Platform_InstallCrashGuard(void);
// The size of the crash guard's alternate signal stacks: the main thread's,
// and the one every thread started by kv_Thread_Create gets.
inline constexpr size_t kv_Platform_kCrashStackSize = 128 * 1024;
// The calling thread's own alternate signal stack, for a thread that the
// platform layer starts: installed before its body runs, removed (the stack
// it had before put back) when the body has returned.
void* kv_Platform_InstallThreadCrashStack(void);
void kv_Platform_RemoveThreadCrashStack(void* token);
// The crash report: the GL debug tag as the dump comment (when one is set),
// then the dump through the Steam layer. Async-signal-safe.
void kv_Platform_WriteCrashDump(int signalNumber, void* signalInfo);
// The GL debug tag: the render context names the GL step in progress (the
// strings must outlive the step; null reads as ""), and the crash report and
// the GL error log read it. The reader takes a whole tag from any thread, a
// signal handler included; no tag set reads "", "", -1.
void kv_GL_SetDebugTag(const char* context, const char* function, int line);
void kv_GL_GetDebugTag(const char** context, const char** function, int* line);

// ---------------------------------------------------------------------------
// Window, window mode and platform services

struct kvWindowState {
  SDL_Window* window;
  SDL_GLContext glContext;
  SDL_DisplayMode desktopMode;  // the window's display at creation
  uint8_t renderContextUp;      // set by the render context's start-up
  uint8_t borderless;           // 1 while the window covers its display
  uint8_t displayChanged;       // consumed by the next frame begin
  int windowedWidth, windowedHeight;
  int drawableWidth, drawableHeight;  // the size the renderer treats as the display
};
kvWindowState* kv_Platform_GetWindowState(void);

// Creates the window, the OpenGL context and the render context; 1 when up.
int kv_Platform_InitWindow(void);
// Applies the settings ResolutionX, ResolutionY and Fullscreen (0 = borderless).
void kv_Platform_ApplyWindowMode(void);
void kv_Platform_SetBorderless(int flag);
void kv_Platform_SetWindowedSize(int width, int height);
void kv_Platform_SetDrawableSize(int width, int height);
void kv_Platform_CenterWindow(void);
// Raises the display-changed flag once the render context is up (it makes
// its back buffers again at the next frame begin).
void kv_Platform_MarkDisplayChanged(void);
// The window's size changed: the window mode is applied again and the display
// marked changed.
void kv_Platform_OnWindowResized(void);

// Decodes an image file (the window icon) into a new RGBA surface; null when
// the file is missing or cannot be decoded.
SDL_Surface* kv_Platform_LoadIcon(const char* path);

// The window-size rules as plain functions of their inputs.
// ResolutionX/Y read as floats and truncated; either <= 0 makes both 0 (automatic).
void kv_Platform_ResolveResolution(float rx, float ry, int* width, int* height);
// For w or h 0: the first offered size (2560x1440, 1920x1080, 1600x900,
// 1280x720) smaller than the desktop in both directions, else 854x480.
void kv_Platform_PickWindowedSize(int desktopWidth, int desktopHeight, int* width, int* height);
// Position of a window of the given size centred on the display, clamped to 0 or more.
void kv_Platform_CenteredPosition(const SDL_Rect& display, int width, int height, int* x, int* y);

// Message boxes. They block, so tests install their own answer with
// kv_Platform_SetMessageBoxHandler (null restores SDL's boxes).
void kv_Platform_ShowError(const char* text, const char* title);
void kv_Platform_ShowErrorText(const char* text);
int kv_Platform_ShowMessageBox(SDL_Window* window, const char* text, const char* title,
                               int buttonCount, const char* const* buttonLabels, int defaultIndex,
                               int error);
using kv_MessageBoxHandler = int (*)(const SDL_MessageBoxData* data, int* buttonId);
void kv_Platform_SetMessageBoxHandler(kv_MessageBoxHandler handler);
// 0 switches boxes off: with no handler installed a box is not shown, its
// text goes to the log and standard error, and it answers -1 (as a box that
// cannot be shown). Test programs and fuzz targets switch boxes off.
void kv_Platform_SetMessageBoxesShown(int shown);

// Reads a whole file into a new buffer with a 0 byte after the data.
// 1 on success; 0 with null and 0 on any failure (missing file, directory,
// pipe, short read).
int kv_Platform_LoadFile(uint8_t** data, size_t* size, const char* path);
void kv_Platform_FreeFileData(void* data);

void* kv_Platform_Alloc(int ignored, size_t size);
void kv_Platform_Free(void* pointer);
void* kv_Platform_Calloc(int ignored, size_t count, size_t size);
void* kv_Platform_Realloc(int ignored, void* pointer, size_t size);
void* kv_Platform_AlignedAlloc(int ignored, size_t alignment, size_t size);

// The engine key handler: Backspace arms the developer keys (when the scripts
// enabled them), c f p s z t while armed, Pause and NumLock, and letters a-z to
// the scripts' character handler. 1 when it consumed the event.
int kv_Platform_HandleDebugKeys(const SDL_Event* event);

// What the key handler calls. A null entry is a service that is not there
// (yet): the key then does nothing of its own. The table starts empty; the
// program installs:
//   debugKeysEnabled      the scripts' EnableDebugKeys flag
//   toggleChoreTool, toggleFrameRate, togglePerformance   the front end's
//   saveScreenImage       drevRender_SaveScreenImage (path)
//   saveZBufferImage      drevRender_SaveZBufferImage (path)
//   flushTextures         stdDevice3D_FlushTextures
//   startDebugOutput      left empty: Num Lock starts nothing of its own
//   callPauseHandler      drevMain_CallPauseHandler
//   callCharacterHandler  drevMain_CallCharacterHandler
struct kvEngineKeyHooks {
  int (*debugKeysEnabled)(void);
  int (*toggleChoreTool)(int on);
  void (*toggleFrameRate)(void);
  void (*togglePerformance)(void);
  void (*saveScreenImage)(const char* path);
  void (*saveZBufferImage)(const char* path);
  void (*flushTextures)(void);
  int (*callPauseHandler)(void);
  void (*startDebugOutput)(void);
  int (*callCharacterHandler)(int character);
};
kvEngineKeyHooks* kv_Platform_GetEngineKeyHooks(void);
// Copies the table in (null empties it).
void kv_Platform_SetEngineKeyHooks(const kvEngineKeyHooks* hooks);
int kv_Platform_DebugKeysArmed(void);

// Steam shutdown, every audio channel closed, window and GL context
// destroyed, SDL_Quit; returns 1.
int kv_Platform_Shutdown(void);
// The same without touching the display, which is gone: Steam, the audio
// channels and every SDL subsystem but video go down; the window, the GL
// context and the display connection are left as they are.
void kv_Platform_ShutdownWithoutDisplay(void);
// Xlib's IO-error handler, set when SDL runs on X11 (kv_Platform_InitWindow)
// and given back by kv_Platform_Shutdown.
void kv_Platform_InstallDisplayLossHandler(void);
void kv_Platform_RemoveDisplayLossHandler(void);

int kv_Platform_WaitIconEnabled(void);
void kv_Platform_BeforeDisplay(void);
