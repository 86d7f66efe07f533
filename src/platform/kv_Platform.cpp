// Platform main, event pump and main loop.
#include "platform/kv_Platform.h"

#include <dlfcn.h>
#include <signal.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/kv_Log.h"
#include "platform/kv_RenderHooks.h"
#include "platform/kv_Save.h"
#include "platform/kv_Steam.h"
#include "platform/kv_ToolWindow.h"
#include "platform/steam/steam_api.h"

namespace {

kvPlatformState g_state{};

kvPlatformGameHooks g_gameHooks{};

// The receiver of the Steam overlay callback: the mouse cursor is shown while
// the overlay is open and hidden again when it closes.
class cSteamOverlayCallback {
 public:
  cSteamOverlayCallback() : callback_(this, &cSteamOverlayCallback::OnGameOverlayActivated) {}
  void OnGameOverlayActivated(GameOverlayActivated_t* data) {
    SDL_ShowCursor(data && data->m_bActive ? SDL_ENABLE : SDL_DISABLE);
  }

 private:
  CCallback<cSteamOverlayCallback, GameOverlayActivated_t> callback_;
};
cSteamOverlayCallback* g_overlayCallback = nullptr;

// SIGHUP noted by its handler, taken by the next pump.
std::atomic<int> g_hangup{0};
static_assert(std::atomic<int>::is_always_lock_free);
struct sigaction g_previousHangup;
bool g_hangupInstalled = false;

void OnHangup(int) {
  g_hangup.store(1);
}

// The thread that runs the platform main: the one that owns the display.
std::atomic<SDL_threadID> g_mainThread{0};

// Ends the process on the spot with a line on standard error: for a lost
// display that cannot be shut down in order from where it was noticed.
[[noreturn]] void EndAtOnce(const char* why) {
  const std::string line = std::string(why) + ": ending at once\n";
  if (write(2, line.data(), line.size()) < 0) {
    // Nothing more can be told.
  }
  _exit(1);
}

// What the quit event runs, once: the loop flag is cleared first.
void ShutDownGame() {
  if (!g_state.loopRunning) return;
  g_state.loopRunning = 0;
  if (g_gameHooks.shutdown) g_gameHooks.shutdown();
  g_state.quit = 1;
}

// Offers an event to the active handlers in index order until one takes it.
void OfferToHandlers(const SDL_Event* event) {
  for (kvEventHandlerEntry& entry : g_state.handlers) {
    if (entry.active && entry.handler && entry.handler(event)) return;
  }
}

}  // namespace

kvPlatformState* kv_Platform_GetState(void) {
  return &g_state;
}
kvPlatformGameHooks* kv_Platform_GetGameHooks(void) {
  return &g_gameHooks;
}
void kv_Platform_SetGameHooks(const kvPlatformGameHooks* hooks) {
  g_gameHooks = hooks ? *hooks : kvPlatformGameHooks{};
}

int kv_Platform_RunProtected(const char* commandLine) {
  kv_Platform_InstallCrashGuard();
  return kv_Platform_Main(commandLine);
}

int kv_Platform_Main(const char* commandLine) {
  if (!commandLine) commandLine = "";
  // One program per game folder: a second one would write the same save slots
  // and settings (and start the first one's log afresh), so it ends here.
  if (!kv_Save_LockWriteDirectory()) return -1;
  g_mainThread.store(SDL_ThreadID());
  if (std::strstr(commandLine, "-log")) {
    kv_Log_Open("Vosk.log");
    kv_Log_Printf("Args: %s", commandLine);
    kv_Platform_LogSystemInfo();
  }
  for (kvEventHandlerEntry& entry : g_state.handlers) entry = {};
  g_state.handlerCount = 0;
  g_state.quit = 0;
  g_state.loopRunning = 0;
  kv_Platform_InstallHangupHandler();

  kv_Save_InitWriteDirectory();
  if (!kv_Platform_InitWindow()) {
    // Leave nothing open behind a failed start: Steam, window, SDL.
    kv_Platform_Shutdown();
    kv_Platform_RemoveHangupHandler();
    return -1;
  }
  if (g_gameHooks.initRenderBackends) g_gameHooks.initRenderBackends();

  kv_Log_Printf("Initializing game");
  if (!g_gameHooks.init) kv_Log_Printf("No game is installed");
  g_state.gameStarting = 1;
  const int started = g_gameHooks.init ? g_gameHooks.init(commandLine) : 0;
  g_state.gameStarting = 0;
  if (!started) {
    kv_Log_Printf("Unable to initialize game!");
    kv_Platform_Shutdown();
    kv_Platform_RemoveHangupHandler();
    return -1;
  }

  kv_Steam_InitAchievements();
  // Lives until the process ends, as Steam's callbacks do.
  if (!g_overlayCallback) g_overlayCallback = new cSteamOverlayCallback();

  // No sleep and no frame limit here: pacing comes from the buffer swap.
  g_state.loopRunning = 1;
  do {
    kv_Platform_RunOnce();
  } while (!g_state.quit);

  kv_Platform_Shutdown();
  kv_Platform_RemoveHangupHandler();
  return 0;
}

int kv_Platform_RunOnce(void) {
  if (!kv_Platform_PumpEvents() && g_gameHooks.tick) g_gameHooks.tick();
  SteamAPI_RunCallbacks();
  return 0;
}

int kv_Platform_PumpEvents(void) {
  if (g_hangup.exchange(0)) kv_Platform_PostQuit();
  SDL_Event event;
  if (!SDL_PollEvent(&event)) return 0;
  // Once a quit or close was handled, no later event of this drain reaches
  // the handlers.
  bool quitHandled = false;
  do {
    // The events of a developer tool's window are the tool's alone.
    if (kv_ToolWindow_HandleEvent(&event)) continue;
    bool offer = true;
    switch (event.type) {
      case SDL_QUIT:
        ShutDownGame();
        offer = false;
        quitHandled = true;
        break;
      case SDL_WINDOWEVENT:
        switch (event.window.event) {
          case SDL_WINDOWEVENT_HIDDEN:
            g_state.windowShown = 0;
            break;
          case SDL_WINDOWEVENT_EXPOSED:
          case SDL_WINDOWEVENT_FOCUS_GAINED:
            g_state.windowShown = 1;
            break;
          case SDL_WINDOWEVENT_SIZE_CHANGED:
            kv_Platform_OnWindowResized();
            break;
          case SDL_WINDOWEVENT_CLOSE:
            kv_Platform_PostQuit();
            offer = false;
            quitHandled = true;
            break;
          default:
            break;
        }
        break;
      case SDL_KEYDOWN:
      case SDL_KEYUP:
        if (g_gameHooks.keyEvent) {
          g_gameHooks.keyEvent(event.key.keysym.sym, event.key.state, event.key.timestamp, 0);
        }
        break;
      default:
        break;
    }
    if (offer && !quitHandled) OfferToHandlers(&event);
  } while (SDL_PollEvent(&event));
  return 1;
}

int kv_Platform_AddEventHandler(kv_EventHandler handler) {
  for (kvEventHandlerEntry& entry : g_state.handlers) {
    if (!entry.active) {
      entry.handler = handler;
      entry.active = 1;
      ++g_state.handlerCount;
      return 1;
    }
  }
  return 0;  // all 16 in use: not added, and the caller is told so
}

int kv_Platform_RemoveEventHandler(kv_EventHandler handler) {
  for (kvEventHandlerEntry& entry : g_state.handlers) {
    if (entry.active && entry.handler == handler) {
      entry = {};
      --g_state.handlerCount;
      break;
    }
  }
  return 1;
}

void kv_Platform_PostQuit(void) {
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  SDL_PushEvent(&quit);
}

void kv_Platform_InstallHangupHandler(void) {
  if (g_hangupInstalled) return;
  struct sigaction current {};
  if (sigaction(SIGHUP, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) return;
  struct sigaction action {};
  action.sa_handler = OnHangup;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  if (sigaction(SIGHUP, &action, &g_previousHangup) == 0) g_hangupInstalled = true;
}

void kv_Platform_RemoveHangupHandler(void) {
  if (!g_hangupInstalled) return;
  sigaction(SIGHUP, &g_previousHangup, nullptr);
  g_hangupInstalled = false;
  g_hangup.store(0);
}

void kv_Platform_EndForLostDisplay(void) {
  // Only the main thread talks to the display in this program, and only it
  // can run the shutdown.
  const SDL_threadID mainThread = g_mainThread.load();
  if (mainThread != 0 && SDL_ThreadID() != mainThread) {
    EndAtOnce("[Platform] - the display was lost on a thread other than the main one");
  }
  // A second loss reported from inside this shutdown means the shutdown
  // touched the display after all: end at once rather than start over.
  static std::atomic<int> entered{0};
  if (entered.exchange(1)) EndAtOnce("[Platform] - the display was lost again");
  kv_Log_Printf("[Platform] - the connection to the display was lost: shutting down");
  std::fprintf(stderr, "[Platform] - the connection to the display was lost: shutting down\n");
  // The game may be up, or still starting (its start-up then ends here).
  if (g_state.gameStarting) {
    g_state.gameStarting = 0;
    if (g_gameHooks.shutdown) g_gameHooks.shutdown();
  } else {
    ShutDownGame();
  }
  kv_Platform_ShutdownWithoutDisplay();
  kv_Platform_RemoveHangupHandler();
  kv_Log_Printf("[Platform] - shutdown complete after the lost display");
  std::fflush(nullptr);
  std::exit(1);
}

int kv_Platform_IsWindowShown(void) {
  return g_state.windowShown.load();
}

int kv_Platform_GetCurrentDirectory(int size, char* buffer) {
  std::vector<char> path(4096);
  while (!getcwd(path.data(), path.size())) {
    if (path.size() >= (1u << 20)) return 0;
    path.resize(path.size() * 2);
  }
  const int length = static_cast<int>(std::strlen(path.data()));
  if (!buffer || size <= length) return length + 1;
  std::memcpy(buffer, path.data(), static_cast<size_t>(length) + 1);
  return length;
}

void* kv_Platform_OpenLibrary(const char* fileName) {
  if (!fileName) return nullptr;
  std::vector<char> exe(4096);
  ssize_t n;
  while ((n = readlink("/proc/self/exe", exe.data(), exe.size())) >= 0 &&
         static_cast<size_t>(n) >= exe.size()) {
    exe.resize(exe.size() * 2);
  }
  std::string path = fileName;
  if (n > 0) {
    const std::string program(exe.data(), static_cast<size_t>(n));
    const size_t slash = program.rfind('/');
    if (slash != std::string::npos) path = program.substr(0, slash + 1) + fileName;
  }
  return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void kv_Platform_LogSystemInfo(void) {
  struct utsname name;
  if (uname(&name) == 0) {
    kv_Log_Printf("OS: %s %s %s", name.sysname, name.release, name.machine);
  } else {
    kv_Log_Printf("OS: %s", "Unknown Linux version.");
  }
  struct sysinfo info;
  if (sysinfo(&info) == 0) {
    const unsigned long long bytes = static_cast<unsigned long long>(info.totalram) * info.mem_unit;
    kv_Log_Printf("RAM: %i MB", static_cast<int>(bytes / 1048576ull));
  }
}
