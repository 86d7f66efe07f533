// Colour conversion, palette packing, nearest colours, gamma and HSV.
#include "std/stdColor.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/kv_Log.h"
#include "std/std.h"
#include "std/stdDisplay.h"

namespace {

// 4096 x (4x4 Bayer pattern) + 31, one row per converted row.
constexpr uint32_t kDither[4][4] = {{31, 49183, 12319, 61471},
                                    {32799, 16415, 45087, 28703},
                                    {8223, 57375, 4127, 53279},
                                    {40991, 24607, 36895, 20511}};

uint32_t g_rowCounter = 0;

uint32_t Mask(int bits) {
  if (bits <= 0) return 0;
  if (bits >= 32) return 0xFFFFFFFFu;
  return (1u << bits) - 1u;
}

// Scale from a channel of sourceBits to one of destinationBits in 16.16
// fixed point. Rounded up, so that the top level of the source maps to the
// top level of the destination (5-bit 31 becomes 6-bit 63, not 62; 8-bit 255
// with the smallest dither offset still reaches 6-bit 63).
uint32_t Scale(int destinationBits, int sourceBits) {
  const uint32_t d = Mask(destinationBits);
  const uint32_t s = Mask(sourceBits);
  if (s == 0) return 0;
  const double m = std::ceil(static_cast<double>(d) * 65536.0 / s);
  return m >= 4294967295.0 ? 0xFFFFFFFFu : static_cast<uint32_t>(m);
}

// Shifts that come from a format read from a file may be out of range: such a
// channel contributes nothing rather than an undefined shift.
uint32_t Shl(uint32_t v, int s) {
  return (s >= 0 && s < 32) ? (v << s) : 0;
}
uint32_t Shr(uint32_t v, int s) {
  return (s >= 0 && s < 32) ? (v >> s) : 0;
}

uint16_t Load16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
void Store16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v & 0xFF);
  p[1] = static_cast<uint8_t>((v >> 8) & 0xFF);
}

}  // namespace

void stdColor_ConvertPixels(void* destination, const ColorFormat* df, const void* source,
                            const ColorFormat* sf, int count) {
  ++g_rowCounter;
  if (destination == nullptr || source == nullptr || df == nullptr || sf == nullptr) return;
  auto* dst = static_cast<uint8_t*>(destination);
  const auto* src = static_cast<const uint8_t*>(source);
  const uint32_t mR = Scale(df->redBits, sf->redBits);
  const uint32_t mG = Scale(df->greenBits, sf->greenBits);
  const uint32_t mB = Scale(df->blueBits, sf->blueBits);

  if (sf->bitsPerPixel == 24 && df->bitsPerPixel == 16) {
    const uint32_t* d = kDither[g_rowCounter & 3];
    for (int k = count; k > 0; --k, src += 3, dst += 2) {
      const uint32_t offset = d[k & 3];
      const uint32_t pixel = Shl((src[0] * mR + offset) >> 16, df->redShift) |
                             Shl((src[1] * mG + offset) >> 16, df->greenShift) |
                             Shl((src[2] * mB + offset) >> 16, df->blueShift);
      Store16(dst, pixel);
    }
  } else if (sf->bitsPerPixel == 16 && df->bitsPerPixel == 16) {
    // Pixel by pixel, so converting a row in place is safe.
    for (int k = 0; k < count; ++k, src += 2, dst += 2) {
      const uint32_t h = Load16(src);
      const uint32_t r = Shr(h, sf->redShift) & Mask(sf->redBits);
      const uint32_t g = Shr(h, sf->greenShift) & Mask(sf->greenBits);
      const uint32_t b = h & Mask(sf->blueBits);
      Store16(dst, Shl((r * mR) >> 16, df->redShift) | Shl((g * mG) >> 16, df->greenShift) |
                       ((b * mB) >> 16));
    }
  } else if (sf->bitsPerPixel == 16 && df->bitsPerPixel == 24) {
    for (int k = 0; k < count; ++k, src += 2, dst += 3) {
      const uint32_t h = Load16(src);
      dst[0] = static_cast<uint8_t>(Shl(Shr(h, sf->redShift) & Mask(sf->redBits), sf->redLoss));
      dst[1] =
          static_cast<uint8_t>(Shl(Shr(h, sf->greenShift) & Mask(sf->greenBits), sf->greenLoss));
      dst[2] = static_cast<uint8_t>(Shl(h & Mask(sf->blueBits), sf->blueLoss));
    }
  }
}

uint32_t stdColor_ConvertColor(const ColorFormat* newFormat, uint32_t value,
                               const ColorFormat* oldFormat) {
  uint8_t in[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                   static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  uint8_t out[4] = {0, 0, 0, 0};
  stdColor_ConvertPixels(out, newFormat, in, oldFormat, 1);
  return static_cast<uint32_t>(out[0] | (out[1] << 8) | (out[2] << 16)) |
         (static_cast<uint32_t>(out[3]) << 24);
}

namespace {

uint32_t PackEntry(const uint8_t* entry, const ColorFormat* f) {
  return Shl(Shr(entry[0], f->redLoss), f->redShift) |
         Shl(Shr(entry[1], f->greenLoss), f->greenShift) |
         Shl(Shr(entry[2], f->blueLoss), f->blueShift);
}

uint32_t PackAlpha(uint32_t alpha, const ColorFormat* f) {
  return Shl(Shr(alpha & 0xFF, f->alphaLoss), f->alphaShift);
}

// Entry 0 gets alpha 0, every other entry the given alpha.
int PackWithAlpha(const uint8_t* palette, uint16_t* out, const ColorFormat* format,
                  uint32_t alpha) {
  if (palette == nullptr || out == nullptr || format == nullptr) return 0;
  for (int i = 0; i < 256; ++i) {
    out[i] = static_cast<uint16_t>(PackEntry(palette + 3 * i, format) |
                                   PackAlpha(i == 0 ? 0 : alpha, format));
  }
  return 1;
}

}  // namespace

int stdColor_PackPalette16(const uint8_t* palette, uint16_t* out, const ColorFormat* format) {
  // Alpha 0 everywhere adds no bits.
  return PackWithAlpha(palette, out, format, 0);
}

int stdColor_PackPalette16KeyAlpha(const uint8_t* palette, uint16_t* out,
                                   const ColorFormat* format) {
  return PackWithAlpha(palette, out, format, 255);
}

int stdColor_PackPalette16Alpha(const uint8_t* palette, uint16_t* out, const ColorFormat* format,
                                int alpha) {
  return PackWithAlpha(palette, out, format, static_cast<uint32_t>(alpha) & 0xFF);
}

uint32_t stdColor_IndexToPixel(int index, const uint8_t* palette, const ColorFormat* format) {
  if (palette == nullptr || format == nullptr || index < 0 || index > 255) return 0;
  return PackEntry(palette + 3 * index, format);
}

uint8_t stdColor_FindClosestIndex(const uint8_t* palette, int count, float red, float green,
                                  float blue) {
  float best = 3.4e38f;
  int bestIndex = 0;
  if (palette == nullptr) return 0;
  for (int i = 0; i < count && best != 0.0f; ++i) {
    const float dr = static_cast<float>(palette[3 * i]) - red;
    const float dg = static_cast<float>(palette[3 * i + 1]) - green;
    const float db = static_cast<float>(palette[3 * i + 2]) - blue;
    const float distance = 0.299f * dr * dr + 0.587f * dg * dg + 0.114f * db * db;
    if (distance < best) {
      best = distance;
      bestIndex = i;
    }
  }
  return static_cast<uint8_t>(bestIndex);
}

void stdColor_ApplyGamma(uint8_t* out, const uint8_t* in, int count, double gamma) {
  if (out == nullptr || in == nullptr) return;
  for (int i = 0; i < count * 3; ++i) {
    const double v = std::min(255.0, 255.0 * std::pow(in[i] / 255.0, gamma));
    out[i] = static_cast<uint8_t>(v);
  }
}

void stdColor_RGBToHSV(int red, int green, int blue, float* hue, float* saturation, float* value) {
  const float r = static_cast<float>(red) * 0.003921569f;
  const float g = static_cast<float>(green) * 0.003921569f;
  const float b = static_cast<float>(blue) * 0.003921569f;
  const float largest = std::max({r, g, b});
  const float smallest = std::min({r, g, b});
  float h = 0.0f, s = 0.0f;
  if (largest != 0.0f) {
    s = (largest - smallest) / largest;
    if (s != 0.0f) {
      const float span = largest - smallest;
      const float rc = (largest - r) / span;
      const float gc = (largest - g) / span;
      const float bc = (largest - b) / span;
      if (r == largest) {
        h = bc - gc;
      } else if (g == largest) {
        h = 2.0f + rc - bc;
      } else {
        h = 4.0f + gc - rc;
      }
      h *= 60.0f;
      if (h < 0.0f) h += 360.0f;
    }
  }
  if (hue) *hue = h;
  if (saturation) *saturation = s;
  if (value) *value = largest;
}

void stdColor_HSVToRGB(float hue, float saturation, float value, float* red, float* green,
                       float* blue) {
  float r, g, b;
  if (saturation == 0.0f) {
    r = g = b = value * 255.0f;
  } else {
    // Any hue is brought into [0, 360), so one of the six sectors always applies.
    float h = std::isfinite(hue) ? std::fmod(hue, 360.0f) : 0.0f;
    if (h < 0.0f) h += 360.0f;
    if (h >= 360.0f) h = 0.0f;
    const int sector = std::clamp(static_cast<int>(h / 60.0f), 0, 5);
    const float f = h / 60.0f - static_cast<float>(sector);
    const float v = value * 255.0f;
    const float p = value * (1.0f - saturation) * 255.0f;
    const float q = value * (1.0f - saturation * f) * 255.0f;
    const float t = value * (1.0f - saturation * (1.0f - f)) * 255.0f;
    // The six sectors of the hue circle.
    const float sectors[6][3] = {{v, t, p}, {q, v, p}, {p, v, t}, {p, q, v}, {t, p, v}, {v, p, q}};
    r = sectors[sector][0];
    g = sectors[sector][1];
    b = sectors[sector][2];
  }
  if (red) *red = r;
  if (green) *green = g;
  if (blue) *blue = b;
}

int stdColor_LoadPalette(const char* path, uint8_t* palette) {
  if (path == nullptr || palette == nullptr) return 0;
  const stdFile_t file = std_pHS->fileOpen(path, "rb");
  if (!file) return 0;
  const size_t got = std_pHS->fileRead(file, palette, 768);
  std_pHS->fileClose(file);
  if (got != 768) {
    kv_Log_Printf("stdColor_LoadPalette: %s holds %zu of the 768 palette bytes", path, got);
    return 0;
  }
  return 1;
}

void stdColor_ResetRowCounter(void) {
  g_rowCounter = 0;
}
