// The engine's cutscene glue: the engine module drevTolve plays the classic
// cutscene movies (.snm files) through the codec library, or hands a
// cutscene to the high-definition movie playback when a replacement exists.
// It owns the cutscene frame buffer "TolveBuf", a 640x480 16-bit display
// buffer that each decoded frame is copied into through the render module's
// gamma table, and blits it to the display's back buffer once per frame.
// Main thread only.
#pragma once

#include <cstdint>

#include "engine/drevMain.h"

struct BufferFormat;
struct DisplayBuffer;
struct kvSurface;
struct stdRect;

constexpr int kTolveNameLength = 255;
constexpr int32_t kTolveSaveBytes = 279;

int drevTolve_Initialize(HostServices* services, ModuleDescriptor* descriptor);
// 0 when the cutscene started, 1 when it did not.
int drevTolve_Start(const char* name, int loop, int x, int y);
// 0, or 1 when the library is not started. fullScreen 1 takes the display
// mode's format, 0 the display back buffer's.
int drevTolve_CreateFrameBuffer(int fullScreen);
void drevTolve_Pause(int flag);
void drevTolve_Stop(void);
// Advances and shows the cutscene: 1 when nothing was shown (also in the
// frame in which one ended), 0 when the frame buffer (or the
// high-definition movie) was shown.
int drevTolve_Update(void);
// The movie's play time in whole milliseconds (its voice's clock, or the
// high-definition clip's), 0 when none plays.
int32_t drevTolve_GetMovieTime(void);
int drevTolve_IsPlaying(void);
// The length of a cutscene from its file header in milliseconds (frames x
// 66.666664); 0 when the file is not found.
float drevTolve_GetLength(const char* name);

// The frame buffer (null before one was made).
DisplayBuffer* drevTolve_GetFrameBuffer(void);

// ---- Calls out of the module ---------------------------------------------------------
// The table starts empty; the program installs its rows (drevTolve_SetCalls).
// Tests put fakes in and go back to the program's rows (drevTolve_ResetCalls).

struct drevTolveCalls {
  // The high-definition movie playback.
  int (*movieStart)(const char* name, int hold);
  void (*movieUpdate)(int final);
  void (*movieStop)(void);
  int (*movieIsActive)(void);
  int (*movieIsRunning)(void);
  float (*movieClipTime)(void);
  void (*movieOnStopRequest)(void);
  int (*movieOnPlayerStart)(void);
  int (*movieOnPlayerStop)(void);
  // The render module and the display.
  const uint16_t* (*gammaTable)(void);
  void (*invalidateRect)(const int* rect, int zRestore);
  const BufferFormat* (*displayFormat)(int fullScreen);
  DisplayBuffer* (*backBuffer)(void);
  // Files and settings.
  int (*findLooseFile)(const char* name, char* pathOut, int size);
  int (*readSetting)(const char* name, char* destination, int size);
  int (*gameState)(void);
};

drevTolveCalls& drevTolve_Calls(void);
void drevTolve_SetCalls(const drevTolveCalls* calls);
void drevTolve_ResetCalls(void);
