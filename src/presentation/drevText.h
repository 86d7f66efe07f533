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

// Draws a text object into the software raster with the bitmap font.
int drevText_DrawTextObject(TextObject* textObject, int invalidate);

struct TextFont;
// Lays out a one-off string from the default text template, draws it and
// frees it. Not built yet: draws nothing.
void drevText_DrawStringImmediate(const char* text, int x, int y, int width, int centred,
                                  TextFont* font);
