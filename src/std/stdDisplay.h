// Display devices and display buffers.
// Not built yet: only the start and shutdown game initialisation calls, and
// the buffer records that the 3D library's canvases point at.
#pragma once

#include <cstdint>

struct kvSurface;

struct ColorFormat {
  int colorMode;  // 0 palette indices, 1 RGB
  int bitsPerPixel;
  int redBits, greenBits, blueBits;
  int redShift, greenShift, blueShift;
  int redLoss, greenLoss, blueLoss;
  int alphaBits, alphaShift, alphaLoss;
};

struct BufferFormat {
  int width;
  int height;
  int byteSize;
  int stride;  // bytes per row
  int pixelsPerRow;
  ColorFormat colorFormat;
};

struct DisplayBuffer {
  int storageState;  // 0 plain pixels, 2 packed
  int lockCount;
  int pageFlag;
  BufferFormat format;
  uint8_t* palette;
  void* pixels;
  int colorKey;
  const char* name;
  kvSurface* surface;
};

// {x, y, width, height}
struct stdRect {
  int x, y, width, height;
};

int stdDisplay_Startup(void);
void stdDisplay_Shutdown(void);
