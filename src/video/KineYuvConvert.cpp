#include "video/KineYuvConvert.h"

#include <atomic>
#include <cstddef>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

YuvTables g_yuvTables;

void YuvTables_Build() {
  for (int i = 0; i < 256; ++i) {
    g_yuvTables.luma[i] = static_cast<int32_t>((i - 16) * 9535.988);
    g_yuvTables.rV[i] = static_cast<int32_t>((i - 128) * 13074.932);
    g_yuvTables.gU[i] = static_cast<int32_t>((i - 128) * 3203.572);
    g_yuvTables.gV[i] = static_cast<int32_t>((i - 128) * 6660.596);
    g_yuvTables.bU[i] = static_cast<int32_t>((i - 128) * 16531.956);
  }
}

int Kine_BytesPerPixel(int mode) {
  switch (mode) {
    case TH_UNDEFINED:
      return 0;
    case TH_RGB:
    case TH_BGR:
    case TH_GREY3:
    case TH_YUV:
      return 3;
    case TH_GREY:
      return 1;
    default:
      return mode > 0 && mode < TH_MODE_COUNT ? 4 : 0;
  }
}

bool Kine_ModeHasAlpha(int mode) {
  switch (mode) {
    case TH_RGBA:
    case TH_ARGB:
    case TH_BGRA:
    case TH_ABGR:
    case TH_GREY3A:
    case TH_AGREY3:
    case TH_YUVA:
    case TH_AYUV:
      return true;
    default:
      return false;
  }
}

namespace {

// The clamp of the RGB family as one lookup at (v >> 13): 0 for v < 0, v >> 13
// below 2 to the 21st, 255 above. Sums of table entries keep v >> 13 within
// -277 .. 535, so the bias of 384 keeps every index inside the table.
constexpr int kClampBias = 384;
struct ClampTable {
  uint8_t values[1024];
  constexpr ClampTable() : values() {
    for (int i = 0; i < 1024; ++i) {
      const int v = i - kClampBias;
      values[i] = static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
    }
  }
};
constexpr ClampTable kClamp;

inline uint8_t AlphaOf(uint8_t a) {
  return a > 224 ? 255 : a;
}

// One pixel of the RGB family from its luma sample and its block's chroma
// contributions; the byte positions of R, G, B and alpha (-1 none) are the
// mode's. A spare byte is written as the 255 that the frame buffer holds there
// (the SIMD converters write whole pixels).
template <int R, int G, int B, int A, int BPP>
inline void RgbPixel(uint8_t* p, const uint8_t* yRow, int col, int w, int32_t rv, int32_t g,
                     int32_t bu) {
  if constexpr (A < 0 && BPP == 4) p[6 - R - G - B] = 0xFF;
  if constexpr (A >= 0) {
    const uint8_t a = yRow[w + col];
    if (a < 32) {
      p[0] = p[1] = p[2] = p[3] = 0;
      return;
    }
    p[A] = AlphaOf(a);
  }
  const uint8_t* clamp = kClamp.values + kClampBias;
  const int32_t L = g_yuvTables.luma[yRow[col]];
  p[R] = clamp[(L + rv) >> 13];
  p[G] = clamp[(L - g) >> 13];
  p[B] = clamp[(L + bu) >> 13];
}

#if defined(__SSE2__)
// The table entries as the SIMD converters compute them (KineYuvConvert_Rows.h):
// an entry trunc(d x k), d the sample less its offset, is d (K + 1) +
// floor(d (k - K - 1)) for k's integer part K, plus 1 for a negative d, and
// floor(d (k - K - 1)) is the high half of d times the fraction scaled by
// 65536 (exact for every sample: the tests compare all of them with the
// tables).
struct TableFormula {
  int16_t offset;
  int16_t kPlusOne;  // K + 1
  int16_t fraction;  // round((k - K - 1) x 65536)
};
constexpr TableFormula kLumaFormula{16, 9536, -786};
constexpr TableFormula kRedFromCrFormula{128, 13075, -4456};
constexpr TableFormula kGreenFromCbFormula{128, 3204, -28049};
constexpr TableFormula kGreenFromCrFormula{128, 6661, -26477};
constexpr TableFormula kBlueFromCbFormula{128, 16532, -2884};

namespace sse2rows {
#define KINE_ROWS_BITS 128
#include "video/KineYuvConvert_Rows.h"
#undef KINE_ROWS_BITS
}  // namespace sse2rows

// The wider converters, compiled for their instruction sets whatever the
// build's target, and called only on processors that have them.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif
namespace avx2rows {
#define KINE_ROWS_BITS 256
#include "video/KineYuvConvert_Rows.h"
#undef KINE_ROWS_BITS
}  // namespace avx2rows
#if defined(__clang__)
#pragma clang attribute pop
#pragma clang attribute push(__attribute__((target("avx512f,avx512bw"))), apply_to = function)
#else
#pragma GCC pop_options
#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw")
#endif
namespace avx512rows {
#define KINE_ROWS_BITS 512
#include "video/KineYuvConvert_Rows.h"
#undef KINE_ROWS_BITS
}  // namespace avx512rows
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

// AVX-512 only where it comes with VBMI (Ice Lake, Zen 4 and later): the
// first AVX-512 processors lower their clock for 512-bit work.
int WidestPath() {
  __builtin_cpu_init();  // may run before the library's own start-up
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
      __builtin_cpu_supports("avx512vbmi")) {
    return 3;
  }
  return __builtin_cpu_supports("avx2") ? 2 : 1;
}
#else
int WidestPath() {
  return 0;
}
#endif

const int kWidestPath = WidestPath();
std::atomic<int> g_convertPath{kWidestPath};

// Rows in pairs, columns in pairs: each 2 x 2 block shares one Cb and one Cr.
template <int R, int G, int B, int A, int BPP>
void ConvertRgb(const KineConversionJob& job) {
  const YuvTables& t = g_yuvTables;
  const int w = job.width;
  const std::ptrdiff_t rowBytes = static_cast<std::ptrdiff_t>(w) * BPP;
  [[maybe_unused]] const int path = g_convertPath.load(std::memory_order_relaxed);
  for (int r = 0; r < job.height; r += 2) {
    const uint8_t* cbRow = job.u + (r * job.uStride) / 2;
    const uint8_t* crRow = job.v + (r * job.vStride) / 2;
    const uint8_t* y0 = job.y + static_cast<std::ptrdiff_t>(r) * job.yStride;
    const uint8_t* y1 = y0 + job.yStride;
    uint8_t* out0 = job.out + r * rowBytes;
    uint8_t* out1 = out0 + rowBytes;
    int x = 0;
#if defined(__SSE2__)
    if constexpr (A < 0 && BPP == 4) {
      if (path == 3) x = avx512rows::RgbRowPair<R, G, B>(cbRow, crRow, y0, y1, out0, out1, x, w);
      if (path >= 2) x = avx2rows::RgbRowPair<R, G, B>(cbRow, crRow, y0, y1, out0, out1, x, w);
      if (path >= 1) x = sse2rows::RgbRowPair<R, G, B>(cbRow, crRow, y0, y1, out0, out1, x, w);
    }
#endif
    for (; x < w; x += 2) {
      const uint8_t cb = cbRow[x / 2];
      const uint8_t cr = crRow[x / 2];
      const int32_t rv = t.rV[cr];
      const int32_t bu = t.bU[cb];
      const int32_t g = t.gU[cb] + t.gV[cr];
      RgbPixel<R, G, B, A, BPP>(out0 + x * BPP, y0, x, w, rv, g, bu);
      RgbPixel<R, G, B, A, BPP>(out0 + (x + 1) * BPP, y0, x + 1, w, rv, g, bu);
      RgbPixel<R, G, B, A, BPP>(out1 + x * BPP, y1, x, w, rv, g, bu);
      RgbPixel<R, G, B, A, BPP>(out1 + (x + 1) * BPP, y1, x + 1, w, rv, g, bu);
    }
  }
}

void Convert_Grey(const KineConversionJob& job) {
  for (int r = 0; r < job.height; ++r) {
    const uint8_t* src = job.y + r * job.yStride;
    uint8_t* dst = job.out + r * job.width;
    for (int x = 0; x < job.width; ++x) dst[x] = src[x];
  }
}

template <int First, int BPP>
void Convert_Grey3(const KineConversionJob& job) {
  for (int r = 0; r < job.height; ++r) {
    const uint8_t* src = job.y + r * job.yStride;
    uint8_t* dst = job.out + r * job.width * BPP;
    for (int x = 0; x < job.width; ++x) {
      uint8_t* p = dst + x * BPP + First;
      p[0] = p[1] = p[2] = src[x];
    }
  }
}

template <int First, int BPP>
void Convert_YuvPacked(const KineConversionJob& job) {
  const int w = job.width;
  for (int r = 0; r < job.height; r += 2) {
    const uint8_t* cbRow = job.u + (r * job.uStride) / 2;
    const uint8_t* crRow = job.v + (r * job.vStride) / 2;
    for (int x = 0; x < w; x += 2) {
      const uint8_t cb = cbRow[x / 2];
      const uint8_t cr = crRow[x / 2];
      for (int dy = 0; dy < 2; ++dy) {
        const uint8_t* yRow = job.y + (r + dy) * job.yStride;
        uint8_t* out = job.out + (r + dy) * w * BPP;
        for (int dx = 0; dx < 2; ++dx) {
          uint8_t* p = out + (x + dx) * BPP + First;
          p[0] = yRow[x + dx];
          p[1] = cb;
          p[2] = cr;
        }
      }
    }
  }
}

// Writes the alpha byte of every pixel from the right half of the luma; the
// colour bytes are kept whatever the alpha.
template <int A>
void Convert_AlphaPass(const KineConversionJob& job) {
  const int w = job.width;
  for (int r = 0; r < job.height; ++r) {
    const uint8_t* yRow = job.y + r * job.yStride;
    uint8_t* out = job.out + r * w * 4;
    for (int x = 0; x < w; ++x) {
      const uint8_t a = yRow[w + x];
      out[x * 4 + A] = a < 32 ? 0 : AlphaOf(a);
    }
  }
}

template <void (*Colour)(const KineConversionJob&), int A>
void WithAlpha(const KineConversionJob& job) {
  Colour(job);
  Convert_AlphaPass<A>(job);
}

}  // namespace

int Kine_ConvertPath() {
  return g_convertPath.load(std::memory_order_relaxed);
}

int Kine_SetConvertPath(int path) {
  path = path < 0 ? 0 : (path > kWidestPath ? kWidestPath : path);
  g_convertPath.store(path, std::memory_order_relaxed);
  return path;
}

void Convert_YuvToRgb3(const KineConversionJob& job) {
  ConvertRgb<0, 1, 2, -1, 3>(job);
}

const KineConverter g_kineConverters[TH_MODE_COUNT] = {
    nullptr,
    Convert_YuvToRgb3,                      // TH_RGB
    ConvertRgb<0, 1, 2, 3, 4>,              // TH_RGBA
    ConvertRgb<0, 1, 2, -1, 4>,             // TH_RGBX
    ConvertRgb<1, 2, 3, 0, 4>,              // TH_ARGB
    ConvertRgb<1, 2, 3, -1, 4>,             // TH_XRGB
    ConvertRgb<2, 1, 0, -1, 3>,             // TH_BGR
    ConvertRgb<2, 1, 0, 3, 4>,              // TH_BGRA
    ConvertRgb<2, 1, 0, -1, 4>,             // TH_BGRX
    ConvertRgb<3, 2, 1, 0, 4>,              // TH_ABGR
    ConvertRgb<3, 2, 1, -1, 4>,             // TH_XBGR
    Convert_Grey,                           // TH_GREY
    Convert_Grey3<0, 3>,                    // TH_GREY3
    WithAlpha<Convert_Grey3<0, 4>, 3>,      // TH_GREY3A
    Convert_Grey3<0, 4>,                    // TH_GREY3X
    WithAlpha<Convert_Grey3<1, 4>, 0>,      // TH_AGREY3
    Convert_Grey3<1, 4>,                    // TH_XGREY3
    Convert_YuvPacked<0, 3>,                // TH_YUV
    WithAlpha<Convert_YuvPacked<0, 4>, 3>,  // TH_YUVA
    Convert_YuvPacked<0, 4>,                // TH_YUVX
    WithAlpha<Convert_YuvPacked<1, 4>, 0>,  // TH_AYUV
    Convert_YuvPacked<1, 4>,                // TH_XYUV
};
