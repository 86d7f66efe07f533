// Row and single-value colour conversion.
#include "std/stdColor.h"

#include <cmath>
#include <cstring>

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
// top level of the destination (5-bit 31 becomes 6-bit 63, not 62); the
// dithered 24-bit path keeps its levels (the added offset stays below one).
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
                             ((src[2] * mB + offset) >> 16);
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
