// 2D primitives: lines, rectangles and open polygons that scripts create,
// change and remove by id, drawn into the picture every frame by layer.
//
// The queue runs from the oldest to the newest primitive. A draw pass draws
// the primitives whose layer bit is in its mask: lines and polygon edges
// through the line hook, filled rectangles through the fill hook, outlined
// rectangles as four lines. Everything is clipped to the 640x480 screen
// before it reaches a hook, and the screen rectangle a primitive marks dirty
// is computed in 64 bits and cut to the screen, so any script coordinates
// are safe. The queue is saved in the "PRMS" block.
//
// An engine module of group B; main thread only.
#pragma once

#include <cstdint>

#include "engine/drevMain.h"

enum PrimitiveKind : int {
  kPrimitiveLine = 0,
  kPrimitiveRect = 1,
  kPrimitiveEdge = 2,  // one edge of a polygon
};

struct Primitive {
  Primitive* next;
  Primitive* prev;
  int kind;
  int id;     // shared by all edges of one polygon
  int layer;  // 1, 2, 4 or 8
  int x0, y0, x1, y1;
  int colour;             // display pixel (16 bits), 0 without a colour
  uint32_t packedColour;  // the COLR value, 0xAABBGGRR
  float alpha;            // rectangles: 1.0 by default; 0 otherwise
  uint32_t pattern;       // always solid
  int filled;             // rectangles only
};

int drevPrimitive_Initialize(HostServices* services, ModuleDescriptor* descriptor);
void drevPrimitive_Uninitialize(void);
// 1 when already started.
int drevPrimitive_Startup(void);
void drevPrimitive_Shutdown(void);
// The "PRMS" block: 0 on success, 1 when a transfer fails (a failed restore
// leaves the queue empty).
int drevPrimitive_Save(SaveTransferFn write);
int drevPrimitive_Restore(SaveTransferFn read);

// Draws the primitives whose layer is in the mask; answers 0.
int drevPrimitive_DrawPass(int mask);
// Marks the primitives of layers 1 and 2 dirty and stops drawing until resumed.
void drevPrimitive_Suspend(void);
void drevPrimitive_Resume(void);

// The queue, oldest first, and the id the next creation takes.
Primitive* drevPrimitive_GetFirst(void);
int drevPrimitive_GetNextId(void);

// Creation as the script functions do it; each answers the new id. The
// polygon takes count points (x, y pairs) and adds count - 1 edges.
int drevPrimitive_AddLine(int x0, int y0, int x1, int y1, uint32_t packedColour, int hasColour,
                          int layer);
int drevPrimitive_AddRect(int x0, int y0, int x1, int y1, uint32_t packedColour, int hasColour,
                          int filled, float alpha, int layer);
int drevPrimitive_AddPolygon(const int* points, int count, uint32_t packedColour, int hasColour,
                             int layer);
void drevPrimitive_Kill(int id);
void drevPrimitive_Purge(void);

// The six script functions.
const struct lua_Reg* drevPrimitive_GetScriptFunctions(int* count);
