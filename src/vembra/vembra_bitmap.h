// vembra_bitmap: the codec library's bitmaps, pixel buffers with a
// self-describing pixel format, and the pixel routines that convert between
// formats through 8-bit RGBA, fill, clear and blit with clipping.
#pragma once

#include <cstdint>

#include "vembra/OrnShare.h"

// The record, field for field in the library's order; pixels and palette are
// real pointers. Mode 0 is indexed (palette, palette count), 1 direct colour,
// 2 direct colour with alpha (the channel words).
struct VembraBitmap {
  void* pixels;
  int32_t width;
  int32_t height;
  int32_t bytesPerPixel;  // 1..4
  int32_t bitsPerPixel;   // 8, 15, 16, 24, 32
  int32_t pitch;          // bytes per row
  int32_t reserved6;
  int32_t reserved7;
  int32_t mode;
  uint8_t* palette;      // mode 0: 256 entries of R, G, B and a fourth byte
  int32_t paletteCount;  // mode 0
  int32_t redBits;
  int32_t greenBits;
  int32_t blueBits;
  int32_t redShift;
  int32_t greenShift;
  int32_t blueShift;
  int32_t redLoss;
  int32_t greenLoss;
  int32_t blueLoss;
  int32_t alphaBits;
  int32_t alphaShift;
  int32_t alphaLoss;
};

// A clip rectangle: left and top inclusive, right and bottom exclusive.
struct VembraRect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

// VIDEO.getbm: the display's bitmap format (no module of the engine offers it).
struct VembraVideoGetbm {
  const VembraBitmap* (*GetBitmap)(void);
};

// BITMAP=vembra.
struct VembraBitmapTable {
  // 0, -1 for an unsupported type, -101 when memory runs out.
  int (*Create)(VembraBitmap** out, int32_t width, int32_t height, int32_t type);
  // The channel words come from `format`: for mode 0 its second word is the
  // palette count; otherwise twelve (modes 2, 4, 6), three (7) or nine words
  // from red bits on.
  int (*CreateWithFormat)(VembraBitmap** out, int32_t width, int32_t height, int32_t mode,
                          int32_t bytesPerPixel, int32_t bitsPerPixel, const int32_t* format);
  void (*Free)(VembraBitmap** bitmap);
};

int vembra_bitmap_Register(OrnShareServices* services, const char* context);
VembraBitmapTable* vembra_bitmap_Table(void);

// Pixel routines (no lock; -1 for unsupported sizes or formats).
int VembraPixel_ToRGBA(const void* pixels, const VembraBitmap* format, int32_t count,
                       const uint8_t* fallbackPalette, uint8_t* out);
int VembraPixel_FromRGBA(void* out, const VembraBitmap* format, int32_t count,
                         const uint8_t* palette, const uint8_t* rgba);
int VembraPixel_PaletteToFormat(const VembraBitmap* indexed, const VembraBitmap* target,
                                uint32_t* table, const uint8_t* fallbackPalette);
int VembraPixel_Convert(const void* source, const VembraBitmap* sourceFormat, int32_t count,
                        const uint8_t* fallbackPalette, void* target,
                        const VembraBitmap* targetFormat, const uint32_t* remap);
void VembraPixel_Fill(void* pixels, const VembraBitmap* format, int32_t count, uint32_t value);
// Mode 0 fills with the index (colour's low byte); otherwise colour holds the
// bytes R, G, B, A from its lowest byte up.
void VembraPixel_Clear(VembraBitmap* bitmap, uint32_t colour);
void VembraPixel_Blit(VembraBitmap* target, const VembraRect* clip, int32_t x, int32_t y,
                      const VembraBitmap* source, const uint8_t* fallbackPalette,
                      const uint32_t* remap);
// The same for 2-byte pixels through a 65536-entry 16-bit remap table (every
// source pixel becomes its table entry); without a table, as Blit.
void VembraPixel_BlitRemap16(VembraBitmap* target, const VembraRect* clip, int32_t x, int32_t y,
                             const VembraBitmap* source, const uint16_t* remap);
