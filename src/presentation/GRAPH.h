// GRAPH: plain raster operations on byte canvases, nested in the text module.
//
// A canvas is a block of pixels row after row. Every drawing operation takes
// an optional clip rectangle (null = the whole canvas) and never writes
// outside it; the clip is also cut to the canvas, so a bad clip cannot reach
// outside the pixels. Lines are clipped with integer arithmetic (products
// wide enough for any pair of int coordinates) and walked with Bresenham's
// rule. Colours are byte values.
//
// The text module owns the module: it calls Graph_Initialize with a module
// descriptor and runs the descriptor's other slots together with its own.
// Main thread only.
#pragma once

#include <cstdint>

#include "engine/drevMain.h"

struct GraphCanvas {
  uint8_t* pixels;  // row after row
  int width;        // pixels per row; the row length in bytes of lines and rectangles
  int height;
  int bytesPerPixel;  // 1 for canvases of Graph_CreateCanvas
};

// {x, y, width, height}.
struct GraphRect {
  int x, y, width, height;
};

// 1 when already initialised; else keeps the services record, fills the
// descriptor (when given) with the module's slots and answers 0.
int Graph_Initialize(HostServices* services, ModuleDescriptor* descriptor);
void Graph_Uninitialize(void);
// 1 when not initialised or already started, else 0.
int Graph_Startup(void);
void Graph_Shutdown(void);

// 0, or 1 when the pixels cannot be allocated (also for a size below 1x1).
int Graph_CreateCanvas(int width, int height, GraphCanvas* canvas);
void Graph_FreeCanvas(GraphCanvas* canvas);

// Clips a segment to the rectangle in place (x first, then y); 0 when nothing
// of it is left. The 2D primitives clip their lines with it too.
int Graph_ClipLine(const GraphRect* clip, int* x0, int* y0, int* x1, int* y1);
void Graph_DrawLine(GraphCanvas* canvas, const GraphRect* clip, int x0, int y0, int x1, int y1,
                    uint8_t colour);
void Graph_DrawHLine(GraphCanvas* canvas, const GraphRect* clip, int x, int y, int length,
                     uint8_t colour);
void Graph_DrawVLine(GraphCanvas* canvas, const GraphRect* clip, int x, int y, int length,
                     uint8_t colour);
void Graph_DrawRect(GraphCanvas* canvas, const GraphRect* clip, int x, int y, int width, int height,
                    uint8_t colour);
void Graph_FillRect(GraphCanvas* canvas, const GraphRect* clip, int x, int y, int width, int height,
                    uint8_t colour);
// Fills the clip rectangle (or the whole canvas).
void Graph_FillRegion(GraphCanvas* canvas, const GraphRect* clip, uint8_t colour);
// Copies the whole source to (x, y) of the target, cut at the clip. Canvases
// of different pixel sizes are not copied.
void Graph_Copy(GraphCanvas* target, const GraphRect* clip, int x, int y,
                const GraphCanvas* source);
// As Graph_Copy, but source bytes equal to the key are not written.
void Graph_CopyKeyed(GraphCanvas* target, const GraphRect* clip, int x, int y,
                     const GraphCanvas* source, uint8_t key);
