// The engine frame, the display step, the game states and camera-setup
// switching.
#include <cstdio>
#include <cstring>

#include "engine/drevMain.h"
#include "engine/drevResource.h"
#include "engine/drevRoom.h"
#include "platform/kv_Log.h"
#include "platform/kv_Thread.h"
#include "presentation/drevRender.h"
#include "script/drevLua.h"
#include "std/std.h"
#include "std/stdDisplay.h"

int GameState = kGameNone;

namespace {

struct FrameState {
  int gameStarted = 0;
  int pauseMemory = kGameNone;
  int queuedMusicState = -1;
  int scriptUpdate = 1;
  int renderModeUser = kGameRunning;
  int firstFrame = 1;
  int previousDisplayState = -1;  // -1: the display step has not run yet
  drevQuitHandler quit = nullptr;
  drevLogToggleHandler logToggle = nullptr;
};
FrameState gFrame;

ColorFormat gDisplayColorFormat{};

PerfEntry gPerf[PerfTotalEntries] = {
    {"Vosklib", 0, 0}, {"Controls", 0, 0}, {"Lua", 0, 0},       {"Actors", 0, 0},  {"Rects", 0, 0},
    {"2D", 0, 0},      {"3D", 0, 0},       {"Rasterize", 0, 0}, {"Display", 0, 0}, {"ISO", 0, 0},
    {"Sound", 0, 0},   {"Shadows", 0, 0},  {"WAITICON", 0, 0},
};

}  // namespace

void drevMain_ResetFrameState(void) {
  gFrame = FrameState{};
  GameState = kGameNone;
  for (auto& p : gPerf) p.startMs = p.elapsedMs = 0.0;
}

// ---- Performance slots ----------------------------------------------------------

void drevMain_PerfBegin(int slot) {
  STD_ASSERT(slot > -1 && slot < PerfTotalEntries);
  gPerf[slot].startMs = kv_Platform_GetTimeMs();
  kv_Profile_Begin(gPerf[slot].name);
}

double drevMain_PerfEnd(int slot) {
  STD_ASSERT(slot > -1 && slot < PerfTotalEntries);
  gPerf[slot].elapsedMs = kv_Platform_GetTimeMs() - gPerf[slot].startMs;
  kv_Profile_End();
  return gPerf[slot].elapsedMs;
}

PerfEntry* drevMain_GetPerfEntry(int slot) {
  return slot >= 0 && slot < PerfTotalEntries ? &gPerf[slot] : nullptr;
}

// ---- Frame and display ---------------------------------------------------------

void drevMain_Frame(int draw, uint32_t forcedStepMs) {
  drevMainCalls& calls = drevMain_Calls();
  if (!gFrame.firstFrame) kv_Profile_End();
  gFrame.firstFrame = 0;
  kv_Profile_NewFrame();
  kv_Profile_Begin("Frame");
  kv_Platform_OnFrameStart();

  calls.saveDispatch();

  drevMain_PerfBegin(kPerfVosklib);
  drevMain_PerfBegin(kPerfSound);
  calls.soundsUpdate();
  drevMain_PerfEnd(kPerfSound);

  if (GameState == kGameNone) return;

  drevMain_PerfBegin(kPerfControls);
  calls.controlUpdate(calls.timeFrameSeconds(), calls.timeFrameMs());
  drevMain_PerfEnd(kPerfControls);

  const bool advance = GameState != kGamePaused || forcedStepMs != 0;
  if (advance) {
    if (forcedStepMs != 0)
      calls.timeSetFrameMs(forcedStepMs);
    else
      calls.timeUpdate();
    if (gFrame.scriptUpdate) {
      drevMain_PerfBegin(kPerfLua);
      calls.luaUpdate();
      drevMain_PerfEnd(kPerfLua);
    }
    if (GameState != kGameCutscene && GameState != kGameUserPaint) {
      drevMain_PerfBegin(kPerfActors);
      calls.actorUpdateAll(calls.timeFrameSeconds());
      drevMain_PerfEnd(kPerfActors);
    }
    calls.commentaryUpdate();
  }

  int begun = 0;
  if (GameState != kGameNoRender) begun = calls.beginFrame();
  if (draw && advance && begun) calls.renderDrawFrame();

  drevMain_PerfEnd(kPerfVosklib);

  if (gFrame.queuedMusicState != -1) {
    calls.melosSetState(gFrame.queuedMusicState);
    gFrame.queuedMusicState = -1;
  }
}

void drevMain_Display(void) {
  if (GameState == kGameNoRender) return;
  drevMainCalls& calls = drevMain_Calls();
  drevMain_PerfBegin(kPerfDisplay);
  if (gFrame.previousDisplayState == -1) gFrame.previousDisplayState = GameState;
  if (gFrame.previousDisplayState == kGameScriptWide && GameState != kGameScriptWide &&
      static_cast<int>(calls.registryReadFloat("RenderingMode", 0.0f)) != 0) {
    calls.renderDrawIris(1.0f, 320, 240);
    calls.overlayFillBlack();
    calls.overlayDrawLayer(40, 0);
  }
  gFrame.previousDisplayState = GameState;
  calls.renderPresent();
  drevMain_PerfEnd(kPerfDisplay);
}

// ---- Game control ---------------------------------------------------------------

int drevMain_StartGame(int newGame, const char* bootParameter) {
  if (gFrame.gameStarted) return 1;
  drevMainCalls& calls = drevMain_Calls();
  calls.commentaryLoadDefinitions();
  if (!calls.luaCallBoot(newGame, bootParameter)) return 1;
  GameState = kGameRunning;
  calls.renderCreateCameraActor();
  if (!calls.controlActivate()) {
    // The game did not start: no state says it runs.
    GameState = kGameNone;
    return 1;
  }
  gFrame.gameStarted = 1;
  return 0;
}

void drevMain_StopGame(void) {
  if (!gFrame.gameStarted) return;
  drevMainCalls& calls = drevMain_Calls();
  GameState = kGameNone;
  calls.controlDeactivate();
  calls.renderFreeBuffers();
  calls.roomMakeCurrent(nullptr, nullptr);
  gFrame.gameStarted = 0;
}

int drevMain_IsGameStarted(void) {
  return gFrame.gameStarted;
}

int drevMain_SetPaused(int pause) {
  if (GameState == kGameNone) return 0;
  drevMainCalls& calls = drevMain_Calls();
  if (pause && GameState != kGamePaused) {
    gFrame.pauseMemory = GameState;
    GameState = kGamePaused;
    calls.melosPause();
    calls.tolvePause(1);
    return 1;
  }
  if (!pause && GameState == kGamePaused) {
    GameState = gFrame.pauseMemory;
    calls.melosResume();
    calls.tolvePause(0);
    return 1;
  }
  return 0;
}

void drevMain_SetCurrentSet(const char* setName) {
  drevMainCalls& calls = drevMain_Calls();
  if (!setName) {
    calls.roomMakeCurrent(nullptr, nullptr);
    return;
  }
  Room* room = static_cast<Room*>(calls.resourceGet("SET ", setName));
  if (!room || !room->apColormaps || room == calls.roomGetCurrent()) return;
  calls.roomMakeCurrent(room, setName);
  calls.hotspotsLoadForSet(setName);
  calls.pathfinderInvalidate();
  calls.walkPlaneSelectSetSectors(setName);
  calls.renderSelectSetupCamera(room, static_cast<int>(room->currentSetup));
}

void drevMain_SelectSetup(int index) {
  drevMainCalls& calls = drevMain_Calls();
  Room* room = calls.roomGetCurrent();
  if (!room || room->numSetups == 0) return;
  uint32_t setup = static_cast<uint32_t>(index);
  if (setup >= room->numSetups) setup %= room->numSetups;
  kv_Log_Printf("[Room] - switching to camera setup %d", static_cast<int>(setup));
  if (setup == room->currentSetup) return;
  const int old = static_cast<int>(room->currentSetup);
  room->currentSetup = setup;
  calls.roomSetSoundParameters(room, 8.0f, 20, 127, 1.5f, 0.8f);
  calls.luaCallCamChangeHandler(old, static_cast<int>(setup));
  calls.roomUpdatePositionalSounds();
}

void drevMain_NextSetup(void) {
  Room* room = drevMain_Calls().roomGetCurrent();
  if (!room || room->numSetups == 0) return;
  drevMain_SelectSetup(static_cast<int>((room->currentSetup + 1) % room->numSetups));
}

void drevMain_PreviousSetup(void) {
  Room* room = drevMain_Calls().roomGetCurrent();
  if (!room || room->numSetups == 0) return;
  drevMain_SelectSetup(
      static_cast<int>((room->currentSetup + room->numSetups - 1) % room->numSetups));
}

int drevMain_StartMovie(const char* name, int fullScreen, int loop, int x, int y) {
  drevMainCalls& calls = drevMain_Calls();
  calls.tolveCreateFrameBuffer(fullScreen);
  if (calls.tolveStart(name, loop, x, y) != 0) return 0;
  if (fullScreen)
    GameState = kGameCutscene;
  else if (GameState == kGameCutscene)
    GameState = kGameRunning;
  return 1;
}

void drevMain_CallUserPaint(void) {
  if (GameState == kGameUserPaint) drevMain_Calls().luaCallUserPaintHandler();
}

void drevMain_QueueMusicState(int state) {
  gFrame.queuedMusicState = state;
}
int drevMain_GetQueuedMusicState(void) {
  return gFrame.queuedMusicState;
}

void* drevMain_Quit(int exitCode) {
  if (gFrame.quit) gFrame.quit(exitCode);
  return nullptr;
}

int drevMain_CallPauseHandler(void) {
  return drevMain_Calls().luaCallPauseHandler();
}
int drevMain_CallCharacterHandler(int character) {
  return drevMain_Calls().luaCallCharacterHandler(character);
}

void drevMain_SetScriptUpdate(int enabled) {
  gFrame.scriptUpdate = enabled;
}
int drevMain_GetScriptUpdate(void) {
  return gFrame.scriptUpdate;
}
void drevMain_SetRenderModeUser(int state) {
  gFrame.renderModeUser = state;
}
int drevMain_GetRenderModeUser(void) {
  return gFrame.renderModeUser;
}

// ---- Hooks and forwards ---------------------------------------------------------

void drevMain_SetQuitHandler(drevQuitHandler handler) {
  gFrame.quit = handler;
}
void drevMain_SetDisplayHandler(drevPaletteHandler handler) {
  drevRender_SetPaletteHook(handler);
}
void drevMain_SetPresentHandler(drevPresentHandler handler) {
  drevRender_SetPresentHook(handler);
}
void drevMain_SetLogToggleHandler(drevLogToggleHandler handler) {
  gFrame.logToggle = handler;
  drevLua_SetDebugKeysHook(handler);
}

// The render module keeps one dirty-rectangle countdown per display page,
// then opens its rasters over the back buffer with the engine's fixed render
// options.
int drevMain_AttachDisplay(DisplayBuffer* display, DisplayBuffer* zBuffer) {
  if (!display) return 0;
  drevRender_SetBufferCount(STDDISPLAY_PAGE_COUNT);
  RenderOptions options = {4, 3, 1, 1, 0, 0, 2};
  drevRender_OpenBuffers(display, zBuffer, 0, 0, display->format.width - 1,
                         display->format.height - 1, &options);
  return 0;
}
void drevMain_SetDisplayColorFormat(const ColorFormat* format) {
  if (format) gDisplayColorFormat = *format;
}
const ColorFormat* drevMain_GetDisplayColorFormat(void) {
  return &gDisplayColorFormat;
}

int drevMain_DetachDisplay(void) {
  drevMain_Calls().renderFreeBuffers();
  return 0;
}

void drevMain_InvalidateRect(const int* rect, int layer) {
  drevRender_InvalidateRect(rect, layer);
}
void drevMain_SetDataPath(const char* path) {
  drevResource_SetDataPath(path);
}
void drevMain_ScanDataDirectories(void) {
  drevResource_ScanDataDirectories();
}
void drevMain_OpenResourceLog(const char* name) {
  drevResource_OpenResourceLog(name);
}

int drevMain_StartScripts(void) {
  return drevMain_Calls().luaRunSystemScript() ? 0 : 1;
}

void drevMain_ApplyToolCostume(void* costume) {
  drevMainCalls& calls = drevMain_Calls();
  const int actor = calls.toolActor();
  if (actor < 0 || !costume) return;
  calls.luaCallCostumeOverrideHandler(actor, 1);
  calls.actorPushCostume(actor, costume);
}

void drevMain_EndToolCostume(void) {
  drevMainCalls& calls = drevMain_Calls();
  const int actor = calls.toolActor();
  if (actor < 0) return;
  calls.luaCallCostumeOverrideHandler(actor, 0);
  calls.actorPopCostume(actor);
}
