// The hardware back end: the render-hook table that puts the classic engine's
// 2D presentation on the OpenGL renderer. It draws text objects with
// high-definition fonts, answers text-size queries with their metrics, fills
// rectangles, maps bitmap-font resources to high-definition fonts and forgets
// cached text layouts when text objects die or the display changes. It is
// registered first of the three back ends and stays active. Everything it
// draws goes into the "hardware overlay" bucket.
//
// Text objects are laid out once (vertex buffer, line table, colours) and
// drawn every frame from that layout until the object reports a change through
// SurfaceFreed or the display changes.
//
// Main thread only.
#pragma once

#include <cstdint>

#include "render/TextMesh.h"

struct RenderHookTable;
struct TextObject;
struct qxCanvas;

// Logs "Initializing hardware renderer...", sets up the overlay (programs,
// buckets, fonts) and registers the table. Null, with nothing registered, when
// a program or font could not be built (logged).
RenderHookTable* InitHardwareBackend(void);

struct TextCacheEntry {
  TextObject* textObject;
  TextMesh mesh;  // a vertex buffer of its own
  TextLineTable lines;
  float textColor[4];    // premultiplied by the object's alpha
  float shadowColor[4];  // (0, 0, 0, alpha)
};

// The object's layout, built when missing; null when its text is empty.
TextCacheEntry* TextCache_Get(TextObject* textObject);
// The number of laid-out lines (0 for an empty text).
uint32_t TextCache_GetLineCount(TextObject* textObject);
// Copies the character count of each line, at most max of them; returns how
// many were copied.
uint32_t TextCache_GetLineValues(TextObject* textObject, int32_t* counts, uint32_t max);

// The hooks.
int Hardware_SurfaceFreed(void* object);
int Hardware_DrawTextObject(TextObject* textObject, int flag);
void Hardware_GetTextExtent(void* fontData, TextObject* textObject, int* x, int* y, int* width,
                            int* height);
int Hardware_FillRect(qxCanvas* canvas, int x0, int y0, int x1, int y1, int colour, int pattern,
                      float alpha);
void Hardware_DisplayChanged(void);

// Debug text (the frame-rate display): one line in the debug font, rebuilt
// every frame, into the "debug overlay" bucket. x, y in overlay screen units;
// right and bottom (optional) receive its far edges in the same units.
void HardwareOverlay_DrawDebugText(const char* text, int x, int y, float r, float g, float b,
                                   int* right, int* bottom);
