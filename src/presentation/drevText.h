// Text objects and say-lines.
//
// Not built yet: this is a placeholder that gives the module table its entry.
// Its initialise function answers 0 and fills no operation, so the registry
// skips the module; the functions below do nothing.
#pragma once

#include <cstdint>

#include "engine/drevMain.h"

int drevText_Initialize(HostServices* services, ModuleDescriptor* descriptor);

struct TextObject;

// One drawing pass of the text objects: every object (all non-zero) or those
// of one layer. Not built yet: draws nothing (logs once).
void drevText_DrawPass(int all, int layer);
// Stop and restart text drawing around a frozen frame. Not built yet: do nothing.
void drevText_SuspendDrawing(void);
void drevText_ResumeDrawing(void);

// Draws a text object into the software raster with the bitmap font.
int drevText_DrawTextObject(TextObject* textObject, int invalidate);

struct TextFont;
// Lays out a one-off string from the default text template, draws it and
// frees it. Not built yet: draws nothing.
void drevText_DrawStringImmediate(const char* text, int x, int y, int width, int centred,
                                  TextFont* font);

// What the hardware renderer reads of a text object to draw and measure it,
// in overlay screen units (1920 x 1080). Every output may be null.
//   text, position (x, y), clip rectangle {x, y, width, height}, owner (the
//   actor or null), the packed 0x00BBGGRR foreground, background and effect
//   colours, the font's data block (the object ResourceLoaded received for the
//   FONT resource), horizontal justification (0 left, 0.5 centred, 1 right),
//   the window of lines to show (firstLine, lineCount), the wrap width, the
//   vertical anchor (0, 0.5, 1) and alpha.
// Returns 1 when the object was read. Not built yet: answers 0, writes
// nothing, and says so in the log once.
int drevText_GetTextObjectDrawInfo(TextObject* object, const char** text, float* x, float* y,
                                   int* clip, void** owner, uint32_t* foreground,
                                   uint32_t* background, uint32_t* effect, void** fontData,
                                   float* justification, int* firstLine, int* lineCount,
                                   int* wrapWidth, float* verticalAnchor, float* alpha);
