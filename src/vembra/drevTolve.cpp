// The engine's cutscene glue (see drevTolve.h).
#include "vembra/drevTolve.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

#include "engine/Res.h"
#include "platform/kv_Log.h"
#include "platform/kv_Registry.h"
#include "platform/kv_RenderHooks.h"
#include "std/stdCallTable.h"
#include "std/stdDisplay.h"
#include "vembra/TolveCutscenes.h"
#include "vembra/TolveHost.h"
#include "vembra/vembra_sound.h"
#include "video/MovieHD.h"

namespace {

constexpr uint32_t kFillValue = 0xF0F0;

struct TolveModule {
  bool started = false;
  bool playing = false;
  bool paused = false;
  bool stopRequested = false;
  bool hdShown = false;  // a high-definition movie drew in the previous frame
  char name[kTolveNameLength + 1] = {};
  int loop = 0;
  int x = 0, y = 0;
  uint32_t startTick = 0;
  uint32_t lastStepTick = 0;
  DisplayBuffer* buffer = nullptr;  // "TolveBuf"
  const BufferFormat* holder = nullptr;
};

TolveModule g_tolve;

stdCallTable<drevTolveCalls> g_calls;

// ---- Display callbacks ---------------------------------------------------------------

int CheckMode(int32_t width, int32_t height, int32_t bits) {
  if (!g_tolve.started) return 1;
  const BufferFormat* f = g_tolve.holder;
  return f && width == f->width && height == f->height && bits == f->format.bitsPerPixel ? 0 : 1;
}

int Idle(void) {
  return g_tolve.started ? 0 : 1;
}

int Lock(TolveFrame* frame, TolveRect* rect) {
  DisplayBuffer* b = g_tolve.buffer;
  if (!b || !stdDisplay_LockBuffer(b)) return 0;
  if (!b->pixels) {
    stdDisplay_UnlockBuffer(b);
    return 0;
  }
  const BufferFormat& f = b->format;
  *frame = {b->pixels, f.width, f.height, f.format.bitsPerPixel / 8, f.bytesPerRow};
  *rect = {0, 0, f.width, f.height};
  return 1;
}

void Unlock(void) {
  DisplayBuffer* b = g_tolve.buffer;
  if (!b) return;
  kv_RenderHooks_SurfaceChanged(b->pixels);
  stdDisplay_UnlockBuffer(b);
}

void Clear(void) {
  DisplayBuffer* b = g_tolve.buffer;
  if (!b || !stdDisplay_LockBuffer(b)) return;
  if (b->pixels) memset(b->pixels, int(b->colorKey & 0xFF), size_t(b->format.byteSize));
  stdDisplay_UnlockBuffer(b);
  kv_RenderHooks_SurfaceChanged(b->pixels);
}

const TolveDisplayCallbacks kDisplay = {CheckMode, Idle, Lock, Unlock, Clear, Idle};

// ---- Lifecycle -------------------------------------------------------------------------

void Uninitialize(void) {
  TolveHost_Uninitialize();
}

int Startup(void) {
  char setting[10] = {};
  if (g_calls.live.readSetting("StartTolve", setting, sizeof setting) &&
      strcasecmp(setting, "FALSE") == 0) {
    kv_Log_Printf("[Tolve] - StartTolve is FALSE: no classic cutscene plays");
    g_tolve.started = false;
    return 0;
  }
  if (TolveHost_Startup() != 0) return 1;
  TolveCutscenes_Load();
  g_tolve.started = true;
  return 0;
}

void Shutdown(void) {
  if (!g_tolve.started) return;
  // A movie still open goes first: its player belongs to the library. The
  // high-definition player (playing, or left by a start that found no movie)
  // goes too: its decoding and audio threads must not outlive the engine.
  if (TolveHost_IsMovieOpen()) {
    TolveHost_PlayStop();
  } else {
    g_calls.live.movieStop();
  }
  g_tolve.playing = false;
  stdDisplay_FreeBuffer(g_tolve.buffer);
  g_tolve.buffer = nullptr;
  TolveHost_Shutdown();
}

// The cutscene block: playing, paused and stop-requested flags, the name
// (255 bytes), loop flag, x and y: 279 bytes.
int Save(SaveTransferFn write) {
  int32_t flags[3] = {g_tolve.playing, g_tolve.paused, g_tolve.stopRequested};
  write(flags, sizeof flags);
  write(g_tolve.name, kTolveNameLength);
  int32_t tail[3] = {g_tolve.loop, g_tolve.x, g_tolve.y};
  write(tail, sizeof tail);
  return 0;
}

int Restore(SaveTransferFn read) {
  drevTolve_CreateFrameBuffer(1);
  int32_t flags[3] = {};
  read(flags, sizeof flags);
  char name[kTolveNameLength + 1] = {};
  read(name, kTolveNameLength);
  name[kTolveNameLength] = '\0';
  int32_t tail[3] = {};
  read(tail, sizeof tail);
  g_tolve.paused = flags[1] != 0;
  g_tolve.stopRequested = flags[2] != 0;
  strcpy(g_tolve.name, name);
  g_tolve.loop = tail[0];
  g_tolve.x = tail[1];
  g_tolve.y = tail[2];
  g_tolve.playing = false;
  if (flags[0]) {
    if (TolveCutscenes_IsNonResumable(name))
      kv_Log_Printf("[Tolve] - %s does not resume after a load", name);
    else
      drevTolve_Start(name, tail[0], tail[1], tail[2]);
  }
  return 0;
}

// Ends the movie: the player stops, the high-definition movie goes and the
// movie's screen area is drawn again.
void EndMovie(void) {
  g_tolve.playing = false;
  g_tolve.lastStepTick = std_GetTicks();
  const TolveRect r = TolveHost_MovieRect();
  TolveHost_PlayStop();
  const int rect[4] = {r.x, r.y, r.width, r.height};
  g_calls.live.invalidateRect(rect, 0);
  kv_Log_Printf("[Tolve] - %s ended after %u ms", g_tolve.name,
                unsigned(g_tolve.lastStepTick - g_tolve.startTick));
}

}  // namespace

drevTolveCalls& drevTolve_Calls(void) {
  return g_calls.live;
}

void drevTolve_SetCalls(const drevTolveCalls* calls) {
  g_calls.Install(calls);
}

void drevTolve_ResetCalls(void) {
  g_calls.Reset();
}

int drevTolve_Initialize(HostServices* services, ModuleDescriptor* descriptor) {
  if (descriptor) {
    *descriptor = ModuleDescriptor{};
    descriptor->initialize = drevTolve_Initialize;
    descriptor->uninitialize = Uninitialize;
    descriptor->startup = Startup;
    descriptor->shutdown = Shutdown;
    descriptor->save = Save;
    descriptor->restore = Restore;
  }
  TolveHostLifecycle lifecycle{};
  if (TolveHost_Initialize(services, &lifecycle) != 0)
    kv_Log_Printf("[Tolve] - the cutscene library's registry could not be made");
  TolveHost_SetDisplayCallbacks(&kDisplay);
  g_tolve.buffer = nullptr;
  g_tolve.holder = nullptr;
  return 0;
}

int drevTolve_CreateFrameBuffer(int fullScreen) {
  if (!g_tolve.started) return 1;
  const BufferFormat* holder = g_calls.live.displayFormat(fullScreen);
  if (!holder) return 1;
  g_tolve.holder = holder;
  if (g_tolve.buffer && g_tolve.buffer->format.byteSize == holder->byteSize) return 0;
  stdDisplay_FreeBuffer(g_tolve.buffer);
  g_tolve.buffer = stdDisplay_NewBuffer(holder, 0, 0, nullptr);
  if (!g_tolve.buffer) return 1;
  g_tolve.buffer->name = "TolveBuf";
  g_tolve.buffer->colorKey = kFillValue;
  Clear();
  return 0;
}

int drevTolve_Start(const char* name, int loop, int x, int y) {
  if (!g_tolve.started || !name) return 1;
  if (g_tolve.playing) {
    TolveHost_PlayStop();
    g_tolve.playing = g_tolve.paused = g_tolve.stopRequested = g_tolve.hdShown = false;
  }
  TolveHost_SetRemap(g_calls.live.gammaTable());
  g_tolve.y = y;
  g_tolve.loop = loop;
  g_tolve.x = x;
  const int state = g_calls.live.gameState();
  const int hold = state == kGameNone || state == kGameScriptWide ? 1 : 0;
  if (g_calls.live.movieStart(name, hold) == 0) {
    const BufferFormat* f = g_tolve.holder;
    if (!f) return 1;
    const int use555 = f->format.greenBits != 6 ? 1 : 0;
    if (TolveHost_PlayStart(name, loop ? kTolvePlayLoop : 0, x, y, f->width, f->height, use555) !=
        0)
      return 1;
  }
  g_tolve.paused = g_tolve.stopRequested = false;
  g_tolve.playing = true;
  if (name != g_tolve.name) {
    strncpy(g_tolve.name, name, kTolveNameLength);
    g_tolve.name[kTolveNameLength] = '\0';
  }
  g_tolve.startTick = std_GetTicks();
  kv_Log_Printf("[Tolve] - playing %s", g_tolve.name);
  return 0;
}

int drevTolve_Update(void) {
  if (!g_tolve.started || !g_tolve.playing) return 1;
  if (g_calls.live.movieIsActive()) {
    g_calls.live.movieUpdate(0);
    if (g_tolve.stopRequested) {
      g_tolve.playing = false;
      TolveHost_PlayStop();
      g_tolve.hdShown = false;
      return 1;
    }
    g_tolve.hdShown = true;
    return g_calls.live.movieIsRunning() ? 0 : 1;
  }
  if (g_tolve.hdShown) {
    g_tolve.playing = g_tolve.stopRequested = false;
    g_calls.live.movieUpdate(1);
    TolveHost_PlayStop();
    g_tolve.hdShown = false;
    return 1;
  }
  if (!g_tolve.paused) {
    TolveHost_SetRemap(g_calls.live.gammaTable());
    uint32_t tick = std_GetTicks();
    int ended = 0;
    if (!g_tolve.stopRequested) TolveHost_PlayStep(&ended);
    if (ended || g_tolve.stopRequested) {
      EndMovie();
      tick = g_tolve.lastStepTick;
    }
    g_tolve.lastStepTick = tick;
  }
  DisplayBuffer* back = g_calls.live.backBuffer();
  if (!g_tolve.buffer || !back) return 1;
  kv_RenderHooks_Blit(back, back->surface, g_tolve.buffer, g_tolve.buffer->surface, 0, 0, nullptr,
                      1);
  return 0;
}

void drevTolve_Stop(void) {
  if (!g_tolve.started) return;
  g_tolve.stopRequested = true;
  g_calls.live.movieOnStopRequest();
  g_tolve.paused = false;
}

void drevTolve_Pause(int flag) {
  g_tolve.paused = flag != 0;
  TolveHost_Pause(flag);
}

int drevTolve_IsPlaying(void) {
  return g_tolve.playing ? 1 : 0;
}

int32_t drevTolve_GetMovieTime(void) {
  if (!TolveHost_IsStarted()) return 0;
  if (TolveHost_IsMovieOpen()) return Sound_GetVoiceTimeMs(0);
  if (g_calls.live.movieIsActive()) return int32_t(g_calls.live.movieClipTime() * 1000.0f);
  return 0;
}

float drevTolve_GetLength(const char* name) {
  char path[kTolveNameLength + 1];
  if (!name || !g_calls.live.findLooseFile(name, path, sizeof path)) return 0.0f;
  return Tolve_GetFileLength(path);
}

DisplayBuffer* drevTolve_GetFrameBuffer(void) {
  return g_tolve.buffer;
}
