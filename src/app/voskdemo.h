// The front end "voskdemo": the order in which the whole system comes up, the
// work of one main-loop tick, and the order in which the engine goes down;
// its command line, display choice, printers and chore-tool loader.
#pragma once

#include <cstdint>

#include "engine/drevMain.h"

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

// The command line: 0 for -?, else 1.
int voskdemo_ParseOptions(const char* commandLine);
int voskdemo_IsNoFmv(void);
// The text-table file name of a language index (outside 0..5: English's).
const char* voskdemo_GetTextTableName(int language);

// Display choice, logging switch and chore tool.
int voskdemo_BuildDisplayInfo(void);
int voskdemo_OpenDisplay(void);
void voskdemo_SetLogging(int on);
int voskdemo_ToggleChoreTool(int on);

// The developer keys "f" and "p".
void voskdemo_ToggleFrameRateDisplay(void);
void voskdemo_TogglePerformanceDisplay(void);
