// Colour conversion between pixel formats: rows of pixels between 24-bit and
// 16-bit formats (with a 4x4 ordered dither when reducing 24-bit colour),
// single values such as colour keys, 256-colour palettes packed into 16-bit
// values, the palette entry nearest to a colour, gamma and RGB/HSV. Main
// thread only (the dither row counter is static).
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

// Packs the 256 entries of a palette (red, green, blue bytes) into 16-bit
// values of the format. The KeyAlpha variant gives entry 0 alpha 0 and every
// other entry alpha 255; the Alpha variant gives entry 0 alpha 0 and the
// others the given alpha (its low 8 bits). Each answers 1.
int stdColor_PackPalette16(const uint8_t* palette, uint16_t* out, const ColorFormat* format);
int stdColor_PackPalette16KeyAlpha(const uint8_t* palette, uint16_t* out,
                                   const ColorFormat* format);
int stdColor_PackPalette16Alpha(const uint8_t* palette, uint16_t* out, const ColorFormat* format,
                                int alpha);
// One palette entry packed as PackPalette16 packs it.
uint32_t stdColor_IndexToPixel(int index, const uint8_t* palette, const ColorFormat* format);

// The entry of the first count palette entries nearest to the colour, by
// squared distance weighted 0.299, 0.587, 0.114; the first of equals wins.
uint8_t stdColor_FindClosestIndex(const uint8_t* palette, int count, float red, float green,
                                  float blue);

// Each channel of count triples becomes min(255, 255 x (c / 255)^gamma), truncated.
void stdColor_ApplyGamma(uint8_t* out, const uint8_t* in, int count, double gamma);

// Hue in degrees [0, 360), saturation and value 0 to 1, from channels 0 to 255.
void stdColor_RGBToHSV(int red, int green, int blue, float* hue, float* saturation, float* value);
// Channels 0 to 255 (as floats) from hue in degrees (any value: it is brought
// into [0, 360)), saturation and value 0 to 1.
void stdColor_HSVToRGB(float hue, float saturation, float value, float* red, float* green,
                       float* blue);

// Reads a 768-byte palette from a file; 1 on success, 0 when the file cannot
// be opened or holds fewer than 768 bytes.
int stdColor_LoadPalette(const char* path, uint8_t* palette);

// Tests only: the dither row counter back to 0, so results do not depend on
// the conversions made before.
void stdColor_ResetRowCounter(void);
