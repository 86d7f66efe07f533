// Colour conversion between pixel formats: rows of pixels between 24-bit and
// 16-bit formats (with a 4x4 ordered dither when reducing 24-bit colour) and
// single values such as colour keys. Main thread only (the dither row counter
// is static).
//
// Only the conversions the display buffers and bitmaps need are here so far.
#pragma once

#include <cstdint>

struct ColorFormat;

// Converts count pixels. Pairs of depths: 24 -> 16 (dithered; the dither row
// advances with every call), 16 -> 16 between layouts, 16 -> 24. Any other
// pair converts nothing. 24-bit pixels are the bytes red, green, blue.
void stdColor_ConvertPixels(void* destination, const ColorFormat* destinationFormat,
                            const void* source, const ColorFormat* sourceFormat, int count);

// One value converted as one pixel (it also advances the dither row). The
// value's bytes, low byte first, are the pixel's bytes.
uint32_t stdColor_ConvertColor(const ColorFormat* newFormat, uint32_t value,
                               const ColorFormat* oldFormat);
