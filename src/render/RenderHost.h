// The render back ends' table of calls up to the render module and the text
// objects above them: the rasters they recognise in a copy, the values a
// frame reads (resolution scaling, gamma, advanced lighting, the iris) and
// the text objects they draw. It starts empty; the program installs the
// real functions (RenderHost_SetCalls). Tests put fakes in a row and go back
// to the program's rows with RenderHost_ResetCalls.
#pragma once

#include <cstdint>

struct DisplayBuffer;
struct TextObject;

// What the hardware back end reads of a text object.
struct TextObjectDrawInfo {
  const char* text;
  float x, y;           // overlay screen units
  uint32_t foreground;  // 0x00BBGGRR
  void* fontData;
  float justification;
  int firstLine;
  int lineCount;
  int wrapWidth;  // overlay screen units
  float verticalAnchor;
  float alpha;
};

struct RenderHostCalls {
  // The render module's display raster, its z-buffer and the clean z-buffer
  // (null while its buffers are closed), and whether it is initialised.
  DisplayBuffer* (*displayRaster)(void);
  DisplayBuffer* (*zRaster)(void);
  DisplayBuffer* (*cleanZBuffer)(void);
  int (*isInitialized)(void);
  float (*resolutionScaling)(void);
  float (*gamma)(void);
  int (*advancedLighting)(void);
  void (*irisState)(float* fraction, float* centreX, float* centreY);
  // A text object as the hardware back end draws it (1 when read), and the
  // software drawing of one with the bitmap font (1 when drawn).
  int (*readTextObject)(TextObject* object, TextObjectDrawInfo* info);
  int (*drawTextObject)(TextObject* object, int invalidate);
};

RenderHostCalls& RenderHost_Calls(void);
void RenderHost_SetCalls(const RenderHostCalls* calls);
void RenderHost_ResetCalls(void);
