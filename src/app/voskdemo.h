// The front end "voskdemo": the order in which the whole system comes up, the
// work of one main-loop tick, and the order in which the engine goes down;
// its command line, display choice, printers and chore-tool loader.
#pragma once

#include <cstdint>

#include "engine/drevMain.h"
#include "std/std.h"
#include "std/stdDevice3D.h"
#include "std/stdDisplay.h"

// One entry per display device: copies of its video modes and 3D devices.
struct voskdemo_DisplayInfo {
  int numModes;
  VideoMode* modes;
  int num3DDevices;
  stdDevice3DRecord* devices3D;  // null when none
};

// The optional debug-log window library and the chore tool's library.
using voskdemo_TallowinPrintFn = int (*)(const char* format, ...);
using voskdemo_TallowinShowFn = int (*)(const char* title, int show, void* window);
using voskdemo_ChoreToolCommandFn = void (*)(void* context, int command);
struct voskdemo_ChoreTool {
  void* library;
  int loaded;
  int (*show)(void* window);
  int (*hide)(void);
  int (*registerCommandCallback)(voskdemo_ChoreToolCommandFn callback);
  int (*initialize)(HostServices* services, ModuleDescriptor* descriptor);
  int registration;  // what the register function answered
  ModuleDescriptor descriptor;
};

struct voskdemo_State {
  intptr_t debugLog;  // debug.log in the resource layer's file table; 0 = closed
  float frameRate;
  int showFrameRate;
  int showPerformance;
  char bootParameter[80];  // -b, always NUL-terminated at index 79
  int tallowinActive;
  int quitRequested;
  int hasBootParameter;
  int logToFile;          // -l
  int logResources;       // -r
  int windowed;           // -w
  int developer;          // the hidden developer setting
  int hardware;           // -h
  int noMovies;           // -nofmv
  int zBufferVideo;       // -z
  int startChoreTool;     // -c
  int pendingForcedStep;  // ms, from the chore tool; 0 = none
  int loggingSetUp;
  int displayOpen;
  int frameCounter;
  int framesAtLastMeasurement;
  uint32_t timeOfLastMeasurement;
  // The display: the table of devices, the z-buffer "voskdemo_pZBuffer" and
  // the identities the default display looks for (all zero in this system).
  voskdemo_DisplayInfo* displayInfo;  // voskdemo_aDisplayInfo
  int numDisplayInfo;
  DisplayBuffer* zBuffer;
  uint8_t rememberedDevice[16];
  int remembered3DDevice;
  int reopened;            // a device with 3D devices was opened a second time
  int windowedBeforeTool;  // the windowed flag remembered by chore-tool command 5
  // Tallowin, the debug-log window.
  void* tallowinLibrary;
  voskdemo_TallowinPrintFn tallowinPrint;
  voskdemo_TallowinShowFn tallowinShow;
  voskdemo_ChoreTool choreTool;
};

// The front end's state (tests read and reset it).
voskdemo_State* voskdemo_GetState(void);
// The resume flag handed to the boot script: starts at 1, -s sets it to 1.
extern int voskdemo_resumeFlag;
// Clears the state, the resume flag and the text-table names back to program
// start (tests only).
void voskdemo_ResetForTest(void);
void voskdemo_ResetTextTablesForTest(void);

// 1 when the game is up and running, 0 on any failure (nothing is undone).
int voskdemo_Init(const char* commandLine);
void voskdemo_Tick(void);
void voskdemo_Shutdown(void);
// The tick's frame-rate step: measures only after more than 1000 ms.
// The frame-rate and performance rows of the developer keys f and p.
void voskdemo_DrawDebugRows(void);
void voskdemo_MeasureFrameRate(uint32_t now);
void voskdemo_RequestQuit(int exitCode);
int voskdemo_ApplyPalette(const uint8_t* palette, int flag);

// The command line: 0 for -? (after the usage text on standard error), else
// 1. A value that cannot take effect is reported in one line.
int voskdemo_ParseOptions(const char* commandLine);
// A line about the command line's values, before the printers exist: to the
// program log when it is open, else to standard error.
void voskdemo_OptionMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Loads the current language's text table: 1 when it loaded, else 0 with a
// line naming the file.
int voskdemo_LoadTextTable(void);
int voskdemo_IsNoFmv(void);
// The text-table file name of a language index (outside 0..5: English's).
const char* voskdemo_GetTextTableName(int language);

// Display choice. BuildDisplayInfo: 0 when there is no device or memory.
// The three steps of OpenDisplay answer 1 on success: DefaultDisplay takes
// the device whose identity is the remembered one, ChooseDisplay lets the
// display layer pick one; 3D device -1 means none.
int voskdemo_BuildDisplayInfo(void);
void voskdemo_FreeDisplayInfo(void);
int voskdemo_DefaultDisplay(int* device, int* mode, int* device3D);
int voskdemo_ChooseDisplay(int* device, int* mode, int* device3D, int windowed, int hardware);
int voskdemo_SetDisplayMode(int device, int mode);
void voskdemo_CloseDisplay(void);
int voskdemo_OpenDisplay(void);

// Logging switch and the five message printers; each answers the number of
// characters it printed.
void voskdemo_SetLogging(int on);
int voskdemo_OpenTallowin(void);
int voskdemo_PrintMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
int voskdemo_PrintStatus(const char* format, ...) __attribute__((format(printf, 1, 2)));
int voskdemo_PrintWarning(const char* format, ...) __attribute__((format(printf, 1, 2)));
int voskdemo_PrintError(const char* format, ...) __attribute__((format(printf, 1, 2)));
int voskdemo_PrintDebug(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Writes to debug.log when it is open; nothing calls it.
int voskdemo_LogFilePrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The chore tool: 1 on success, 0 on failure.
int voskdemo_ToggleChoreTool(int on);
void voskdemo_ChoreToolCommand(void* context, int command);

// ---- Calls out of the front end ---------------------------------------------------
//
// The render module's palette and present hooks, handed over at start-up.
using voskdemoPaletteHandler = int (*)(const uint8_t* palette, int flag);
using voskdemoPresentHandler = int (*)(void);

// The front end reaches the steps of start-up and shutdown that can fail, the
// display layer and the optional libraries through this one table, set to
// the real functions. The program never changes it; tests put recording
// fakes in place and restore it with voskdemo_ResetCalls.
struct voskdemoCalls {
  // start-up and shutdown
  int (*qxStartup)(HostServices* services);
  int (*qxOpen)(int acceleratedLevel);
  void (*qxClose)(void);
  void (*qxShutdown)(void);
  int (*displayStartup)(void);
  void (*displayShutdown)(void);
  int (*engineInitialize)(HostServices* services, ModuleDescriptor* descriptor);
  void (*setQuitHandler)(drevQuitHandler handler);
  void (*setDisplayHandler)(voskdemoPaletteHandler handler);
  void (*setPresentHandler)(voskdemoPresentHandler handler);
  void (*setLogToggleHandler)(drevLogToggleHandler handler);
  void (*scanDataDirectories)(void);
  int (*startScripts)(void);
  int (*startGame)(int resume, const char* bootParameter);
  void (*stopGame)(void);
  int (*spewStop)(void);
  // the display layer
  int (*displayNumDevices)(void);
  const DisplayDevice* (*displayGetDevice)(int index);
  // The 3D devices of a display device: their count and records.
  int (*display3DDevices)(int device, const stdDevice3DRecord** records);
  int (*displayOpen)(int device);
  void (*displayClose)(void);
  int (*displayNumModes)(void);
  const VideoMode* (*displayGetMode)(int index);
  int (*displaySetMode)(int mode, uint8_t* palette, int clearTwice);
  void (*displayResetMode)(void);
  int (*displayFlip)(void);
  // The device the display layer picks from the five criteria.
  int (*displayChooseDevice)(const int criteria[5]);
  int (*displayFindMode)(const VideoMode* wanted, const VideoMode* modes, int count);
  int (*fillBuffer)(DisplayBuffer* buffer, uint32_t value, const stdRect* rect);
  DisplayBuffer* (*newBuffer)(const BufferFormat* format, int reserved0, int reserved1,
                              uint8_t* palette);
  void (*freeBuffer)(DisplayBuffer* buffer);
  int (*attachDisplay)(DisplayBuffer* display, DisplayBuffer* zBuffer);
  int (*detachDisplay)(void);
  void (*openResourceLog)(const char* name);
  // optional libraries, looked up beside the program
  void* (*loadLibrary)(const char* fileName);
  void* (*findSymbol)(void* library, const char* name);
  void (*unloadLibrary)(void* library);
  // what the chore tool's commands call
  void (*applyToolCostume)(void* costume);
  void (*endToolCostume)(void);
  void (*tick)(void);
  int (*setPaused)(int pause);
};

voskdemoCalls& voskdemo_Calls(void);
void voskdemo_ResetCalls(void);

// Fills every lower module's table of calls and hooks with the real
// functions; main does it before the platform main starts.
void voskdemo_InstallCalls(void);
// The engine's module table and the engine core's, the set module's and the
// music script's tables of calls (part of voskdemo_InstallCalls).
void voskdemo_InstallEngineCalls(void);
// The part of it for the upper modules' tables: the 3D library's rasterizer,
// the render back ends, the render module, the commentary, the actors and
// costumes, the script functions, the cutscene glue, the high-definition
// movies and the deferred scene (voskdemo_Wiring_Modules.cpp).
void voskdemo_InstallModuleCalls(void);
// Registers the hardware, deferred and software back ends (in that order) and
// sets the software one inactive.
void voskdemo_InitRenderBackends(void);

// The developer keys "f" and "p".
void voskdemo_ToggleFrameRateDisplay(void);
void voskdemo_TogglePerformanceDisplay(void);
