// The engine core: the module registry and life cycle, the engine frame, the
// game states, camera-setup switching, performance slots and the hooks that
// the front end hands over.
//
// The eighteen engine modules sit in a fixed table of two groups of nine.
// Each module fills a ModuleDescriptor from its initialise function; the
// registry walks the table to initialise, start, shut down and uninitialise
// them, undoing only the earlier modules of the same group when one fails.
#pragma once

#include <cstddef>
#include <cstdint>

#include "std/stdModule.h"

struct HostServices;
struct DisplayBuffer;
struct ColorFormat;
struct Room;
struct Actor;
struct qxVector3;
struct qxScreenPoint;

// One entry of the module table: the module's initialise function and a name
// that documents the entry (never printed or compared).
struct ModuleTableEntry {
  ModuleInitializeFn initialize;
  const char* name;
};

constexpr int kModuleGroupSize = 9;
// Group A index of the resource binding, which a new-game restart keeps in service.
constexpr int kResourceModuleIndex = 7;

// ---- Life cycle --------------------------------------------------------------

// 0 when every module of both groups initialised, 1 otherwise.
int drevMain_Initialize(HostServices* services, ModuleDescriptor* descriptor);
void drevMain_Uninitialize(void);
// 0 when every module started and the budgets are set; 1 on failure or when
// the engine is already started.
int drevMain_Startup(void);
// Does nothing when the engine is not started.
void drevMain_Shutdown(void);
// The -m option: megabytes (before start-up). 0 or less is ignored.
void drevMain_SetMaxMemory(int megabytes);
int64_t drevMain_GetMaxMemory(void);
// Frees every resource, cycles every module but the resource binding through
// shutdown and startup, and boots the scripts again.
void drevMain_RestartNewGame(void);
int drevMain_IsInitialized(void);
int drevMain_IsStarted(void);
// The services record kept by drevMain_Initialize (null after uninitialise).
HostServices* drevMain_GetServices(void);

// The module table and descriptor records, group 0 = A, 1 = B.
const ModuleTableEntry* drevMain_GetModuleTable(int group);
ModuleDescriptor* drevMain_GetModuleDescriptor(int group, int index);
// Puts another pair of nine-entry tables in place (tests); null restores the
// engine's own table.
void drevMain_SetModuleTables(const ModuleTableEntry* groupA, const ModuleTableEntry* groupB);
// Replaces the physical-memory query (tests); null restores std_GetPhysicalMemory.
void drevMain_SetPhysicalMemoryQuery(uint64_t (*query)(void));

// ---- Game states and the frame -------------------------------------------------

enum GameStateValue : int {
  kGameNone = 0,
  kGamePaused = 1,
  kGameRunning = 2,
  kGameCutscene = 3,
  kGameUserPaint = 4,
  kGameScriptWide = 5,
  kGameNoRender = 6,
};

// Read by many modules.
extern int GameState;

void drevMain_Frame(int draw, uint32_t forcedStepMs);
void drevMain_Display(void);

// 0 = started, 1 = not started or already started.
int drevMain_StartGame(int newGame, const char* bootParameter);
void drevMain_StopGame(void);
int drevMain_IsGameStarted(void);
// 1 when the call changed the pause state, 0 otherwise.
int drevMain_SetPaused(int pause);
void drevMain_SetCurrentSet(const char* setName);
void drevMain_SelectSetup(int index);
void drevMain_NextSetup(void);
void drevMain_PreviousSetup(void);
// 1 = started, 0 = failed.
int drevMain_StartMovie(const char* name, int fullScreen, int loop, int x, int y);
void drevMain_CallUserPaint(void);
void drevMain_QueueMusicState(int state);
int drevMain_GetQueuedMusicState(void);
void* drevMain_Quit(int exitCode);
int drevMain_CallPauseHandler(void);
int drevMain_CallCharacterHandler(int character);

void drevMain_SetScriptUpdate(int enabled);
int drevMain_GetScriptUpdate(void);
void drevMain_SetRenderModeUser(int state);
int drevMain_GetRenderModeUser(void);

// Thirteen performance slots, clocked by kv_Platform_GetTimeMs.
constexpr int PerfTotalEntries = 13;
enum PerfSlot : int {
  kPerfVosklib = 0,
  kPerfControls,
  kPerfLua,
  kPerfActors,
  kPerfRects,
  kPerf2D,
  kPerf3D,
  kPerfRasterize,
  kPerfDisplay,
  kPerfISO,
  kPerfSound,
  kPerfShadows,
  kPerfWaitIcon,
};
struct PerfEntry {
  char name[32];
  double startMs;
  double elapsedMs;
};
void drevMain_PerfBegin(int slot);
double drevMain_PerfEnd(int slot);
PerfEntry* drevMain_GetPerfEntry(int slot);

// Hooks handed over by the front end.
using drevQuitHandler = void (*)(int exitCode);
using drevPaletteHandler = int (*)(const uint8_t* palette, int flag);
using drevPresentHandler = int (*)(void);
using drevLogToggleHandler = void (*)(int on);
void drevMain_SetQuitHandler(drevQuitHandler handler);
void drevMain_SetDisplayHandler(drevPaletteHandler handler);
void drevMain_SetPresentHandler(drevPresentHandler handler);
void drevMain_SetLogToggleHandler(drevLogToggleHandler handler);

int drevMain_AttachDisplay(DisplayBuffer* display, DisplayBuffer* zBuffer);
// The display's colour format, shared with the render module and the
// colormap loader; the front end copies it in when it opens the display
// (all zero before).
void drevMain_SetDisplayColorFormat(const ColorFormat* format);
const ColorFormat* drevMain_GetDisplayColorFormat(void);
int drevMain_DetachDisplay(void);
void drevMain_InvalidateRect(const int* rect, int layer);
void drevMain_SetDataPath(const char* path);
void drevMain_ScanDataDirectories(void);
void drevMain_OpenResourceLog(const char* name);
// Runs the boot script "_system.lua": 0 on success, 1 on failure.
int drevMain_StartScripts(void);

// The chore tool's costume hand-over, for the actor the scripts selected
// (SetSelectedActor) while it is in use. Apply: the scripts' costume-override
// handler hears (actor, 1), then the tool's costume (the chore library's
// handle, passed as the tool's command context) goes on top of the actor's
// costume stack. End: the handler hears (actor, nil), then the top costume
// comes off. Nothing happens without such an actor (or, to apply, without a
// costume).
void drevMain_ApplyToolCostume(void* costume);
void drevMain_EndToolCostume(void);

// Resets the frame and game-state bookkeeping to its start values (tests).
void drevMain_ResetFrameState(void);

// ---- Calls out of the engine core ---------------------------------------------
//
// The engine core reaches its neighbouring modules through this one table, set
// to those modules' functions. The program never changes it; tests put
// recording fakes in place to check the order of a frame, a restart or a
// start-up, and restore it with drevMain_ResetCalls.
struct drevMainCalls {
  // start-up budgets
  uint64_t (*physicalMemory)(void);
  void (*soundsSetConfig)(const int values[12]);
  void (*resourceSetBudget)(int64_t limit, int64_t purge);
  // frame
  void (*saveDispatch)(void);
  void (*soundsUpdate)(void);
  void (*controlUpdate)(float seconds, uint32_t milliseconds);
  void (*timeUpdate)(void);
  void (*timeSetFrameMs)(uint32_t milliseconds);
  float (*timeFrameSeconds)(void);
  uint32_t (*timeFrameMs)(void);
  void (*luaUpdate)(void);
  void (*actorUpdateAll)(float seconds);
  void (*commentaryUpdate)(void);
  int (*beginFrame)(void);
  void (*renderDrawFrame)(void);
  int (*melosSetState)(int state);
  // display step
  float (*registryReadFloat)(const char* name, float defaultValue);
  void (*renderDrawIris)(float fraction, int centreX, int centreY);
  void (*overlayFillBlack)(void);
  void (*overlayDrawLayer)(int layer, int argument);
  void (*renderPresent)(void);
  // game control
  void (*commentaryLoadDefinitions)(void);
  int (*luaCallBoot)(int newGame, const char* bootParameter);
  void (*renderCreateCameraActor)(void);
  int (*controlActivate)(void);
  void (*controlDeactivate)(void);
  void (*renderFreeBuffers)(void);
  void (*melosPause)(void);
  void (*melosResume)(void);
  void (*tolvePause)(int flag);
  int (*tolveCreateFrameBuffer)(int fullScreen);
  int (*tolveStart)(const char* name, int loop, int x, int y);
  int (*luaCallCamChangeHandler)(int oldSetup, int newSetup);
  int (*luaCallUserPaintHandler)(void);
  int (*luaCallPauseHandler)(void);
  int (*luaCallCharacterHandler)(int character);
  // sets
  void* (*resourceGet)(const char* tag, const char* name);
  Room* (*roomGetCurrent)(void);
  void (*roomMakeCurrent)(Room* room, const char* name);
  void (*hotspotsLoadForSet)(const char* setName);
  void (*pathfinderInvalidate)(void);
  void (*walkPlaneSelectSetSectors)(const char* setName);
  void (*renderSelectSetupCamera)(Room* room, int setup);
  void (*roomSetSoundParameters)(Room* room, float range, int minVolume, int maxVolume,
                                 float panFactor, float nearDistance);
  void (*roomUpdatePositionalSounds)(void);
  // new-game restart
  void (*renderSetWaitTimerEnabled)(int enabled);
  void (*melosStopAllSounds)(void);
  void (*tolveStop)(void);
  int (*tolveUpdate)(void);
  void (*resourceFreeAll)(void);
  void (*resourceSetRestoring)(int restoring);
  void (*forgetShadowMaterial)(void);
  void (*luaCollectGarbage)(void);
  void (*resourcesReleased)(void);
  int (*luaRunSystemScript)(void);
  // calls the script global `name` with (argument or nil, nil)
  void (*luaCallGlobal)(const char* name, const char* argument);
  // saving and loading games
  int (*cosSave)(SaveTransferFn write);
  int (*cosRestore)(SaveTransferFn read);
  int (*luaSave)(SaveTransferFn write);
  int (*luaRestore)(SaveTransferFn read);
  int (*luaDoFile)(const char* name);
  void (*luaSaveGameCallback)(SaveTransferFn write);
  void (*luaSetSaveStatus)(int code);
  void (*luaSetInputMode)(int mode);
  void (*renderDrawProgressBar)(float fraction);
  void (*renderPrepareSetup)(Room* room, int setup);
  void (*renderInvalidateRectAllBuffers)(const int* rect, int restore);
  void (*overlaySetVirtualScreenAspect)(float aspect);
  // walking and hotspots
  void (*actorGetNearbyBoxes)(int actor, int* count, int capacity, qxVector3* points,
                              int otherActor);
  Actor* (*actorFromIndex)(int index);
  int (*actorToIndex)(const Actor* actor);  // -1 for null or a record outside the table
  int (*projectPoint3)(const qxVector3* point, qxScreenPoint* out);
  // the chore tool's costume hand-over
  int (*toolActor)(void);  // the actor the scripts selected, when in use; else -1
  int (*luaCallCostumeOverrideHandler)(int actor, int flag);
  int (*actorPushCostume)(int actor, void* costume);  // the chore library's costume
  void (*actorPopCostume)(int actor);
};

drevMainCalls& drevMain_Calls(void);
void drevMain_ResetCalls(void);
