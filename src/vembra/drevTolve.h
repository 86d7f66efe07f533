// The engine's cutscene glue.
//
// Not built yet: this is a placeholder that gives the module table its entry.
// Its initialise function answers 0 and fills no operation, so the registry
// skips the module; the functions below do nothing.
#pragma once

#include <cstdint>

#include "engine/drevMain.h"

int drevTolve_Initialize(HostServices* services, ModuleDescriptor* descriptor);
// 0 when the cutscene started.
int drevTolve_Start(const char* name, int loop, int x, int y);
int drevTolve_CreateFrameBuffer(int fullScreen);
void drevTolve_Pause(int flag);
void drevTolve_Stop(void);
// Advances and draws the cutscene; 1 when none plays (also in the frame in
// which one ended), 0 while one plays. Not built yet: answers 1.
int drevTolve_Update(void);
// Elapsed cutscene time in milliseconds. Not built yet: no cutscene ever
// plays, so it answers 0.
int32_t drevTolve_GetMovieTime(void);
// The cutscene's length from its file header; 0 when the file is not found.
// Not built yet: answers 0 (logs once).
int32_t drevTolve_GetLength(const char* name);
