// The render module: dirty rectangles, iris, present and the world view.
//
// Not built yet: this is a placeholder that gives the module table its entry.
// Its initialise function answers 0 and fills no operation, so the registry
// skips the module; the functions below do nothing. The resolution scaling is
// its start value 2.0 and there are no rasters.
#pragma once

#include <cstdint>

#include "engine/drevMain.h"

struct DisplayBuffer;
struct qxVector3;

int drevRender_Initialize(HostServices* services, ModuleDescriptor* descriptor);
void drevRender_DrawFrame(void);
void drevRender_Present(void);
void drevRender_SetPresentHook(int (*hook)(void));
void drevRender_SetPaletteHook(int (*hook)(const uint8_t* palette, int flag));
void drevRender_DrawIris(float fraction, int centreX, int centreY);
void drevRender_CreateCameraActor(void);
void drevRender_FreeBuffers(void);
void drevRender_InvalidateRect(const int* rect, int layer);
void drevRender_SelectSetupCamera(Room* room, int setup);
void drevRender_SetWaitTimerEnabled(int enabled);
// Advances the wait icon during long loads. Not built yet: does nothing.
void drevRender_TickWaitTimer(void);
// Draws the save and load progress bar (0 to 1). Not built yet: does nothing
// (logs once).
void drevRender_DrawProgressBar(float fraction);
// Prepares the set's camera setup for drawing (a loaded game's first frame).
// Not built yet: does nothing (logs once).
void drevRender_PrepareSetup(Room* room, int setup);

// The resolution-scaling factor set by the scripts.
float drevRender_GetResolutionScaling(void);
// The display gamma set by the scripts. Not built yet: answers the start
// value 1.0 and says so in the log once.
float drevRender_GetGamma(void);

// The render module's display raster (the display's back buffer once the
// module is attached) and its clean z-buffer raster; null until then.
extern DisplayBuffer* drevRender_pDisplayRaster;
extern DisplayBuffer* drevRender_pCleanZBuffer;

// 1 while a movie plays in a way that asks for vertical sync; never until built.
int drevRender_InMovieMode(void);

// Marks the rectangle {x, y, width, height} dirty in every display buffer,
// the flag asking for a restore from the clean buffer. Not built yet: does
// nothing (logs once).
void drevRender_InvalidateRectAllBuffers(const int* rect, int restore);
// Unpacks a packed background frame into drevRender_pDecompressionBuffer.
// Not built yet: there is no such raster (logs once), so it stays null.
void drevRender_PrepareBackground(DisplayBuffer* packedFrame);
extern DisplayBuffer* drevRender_pDecompressionBuffer;
// The display switch of EngineDisplay: while 0 the frame's dirty rectangles
// are not flushed. Not built yet: logs once and does nothing.
void drevRender_SetDirtyFlushEnabled(int enabled);
// The background switch of PreRender and EnableBackgroundRender. Not built
// yet: logs once and does nothing.
void drevRender_SetBackgroundEnabled(int useBackground, int useDepth);

// The world point seen at pixel (column, row) of the 640 x 480 picture, from
// the clean depth buffer: 1 with the point, else 0. Not built yet: answers 0
// (logs once).
int drevRender_PickWorldPoint(int column, int row, qxVector3* out);
