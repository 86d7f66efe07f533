#include "video/KineYuvConvert.h"

#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
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
// contributions; the byte positions of R, G, B and alpha (-1 none) are the mode's.
template <int R, int G, int B, int A>
inline void RgbPixel(uint8_t* p, const uint8_t* yRow, int col, int w, int32_t rv, int32_t g,
                     int32_t bu) {
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
// The four-byte modes without alpha, sixteen pixels of a row pair at a time.
// The table entries are computed rather than looked up, with results equal to
// the tables': an entry trunc(d x k), d the sample less its offset, is
// d (K + 1) + floor(d (k - K - 1)) for k's integer part K, plus 1 for a
// negative d, and floor(d (k - K - 1)) is the high half of d times the
// fraction scaled by 65536 (exact for every sample: the tests compare all of
// them with the tables). The clamp is the saturation of the two packs.
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

// The table entries of eight samples (16-bit lanes): the first four and the
// last four as 32-bit lanes.
inline void TableEntries(__m128i samples, TableFormula f, __m128i* low, __m128i* high) {
  const __m128i d = _mm_sub_epi16(samples, _mm_set1_epi16(f.offset));
  __m128i part = _mm_mulhi_epi16(d, _mm_set1_epi16(f.fraction));
  part = _mm_sub_epi16(part, _mm_cmplt_epi16(d, _mm_setzero_si128()));
  // Pairs (d, part) times (K + 1, 1).
  const __m128i factors =
      _mm_set1_epi32(static_cast<int32_t>(0x10000u | static_cast<uint16_t>(f.kPlusOne)));
  *low = _mm_madd_epi16(_mm_unpacklo_epi16(d, part), factors);
  *high = _mm_madd_epi16(_mm_unpackhi_epi16(d, part), factors);
}

// Eight bytes widened to 16-bit lanes.
inline __m128i Load8(const uint8_t* p) {
  return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)),
                           _mm_setzero_si128());
}

// One channel of sixteen pixels as bytes: clamp((L + c) >> 13) per pixel.
template <bool Subtract>
inline __m128i Channel(const __m128i (&luma)[4], const __m128i (&chroma)[4]) {
  __m128i v[4];
  for (int j = 0; j < 4; ++j) {
    const __m128i sum =
        Subtract ? _mm_sub_epi32(luma[j], chroma[j]) : _mm_add_epi32(luma[j], chroma[j]);
    v[j] = _mm_srai_epi32(sum, 13);
  }
  return _mm_packus_epi16(_mm_packs_epi32(v[0], v[1]), _mm_packs_epi32(v[2], v[3]));
}

// Sixteen pixels of one row from their luma bytes and their blocks' chroma
// contributions (each block's value twice in a row); the spare byte keeps
// what the buffer holds.
template <int R, int G, int B>
inline void StoreRow16(uint8_t* out, const uint8_t* yRow, const __m128i (&rv)[4],
                       const __m128i (&g)[4], const __m128i (&bu)[4]) {
  constexpr int X = 6 - R - G - B;
  const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(yRow));
  __m128i luma[4];
  TableEntries(_mm_unpacklo_epi8(y, _mm_setzero_si128()), kLumaFormula, &luma[0], &luma[1]);
  TableEntries(_mm_unpackhi_epi8(y, _mm_setzero_si128()), kLumaFormula, &luma[2], &luma[3]);
  __m128i bytes[4];
  bytes[R] = Channel<false>(luma, rv);
  bytes[G] = Channel<true>(luma, g);
  bytes[B] = Channel<false>(luma, bu);
  bytes[X] = _mm_setzero_si128();
  const __m128i low01 = _mm_unpacklo_epi8(bytes[0], bytes[1]);
  const __m128i high01 = _mm_unpackhi_epi8(bytes[0], bytes[1]);
  const __m128i low23 = _mm_unpacklo_epi8(bytes[2], bytes[3]);
  const __m128i high23 = _mm_unpackhi_epi8(bytes[2], bytes[3]);
  const __m128i pixels[4] = {_mm_unpacklo_epi16(low01, low23), _mm_unpackhi_epi16(low01, low23),
                             _mm_unpacklo_epi16(high01, high23),
                             _mm_unpackhi_epi16(high01, high23)};
  const __m128i spare = _mm_set1_epi32(static_cast<int32_t>(0xFFu << (8 * X)));
  for (int j = 0; j < 4; ++j) {
    auto* p = reinterpret_cast<__m128i*>(out + 16 * j);
    _mm_storeu_si128(p, _mm_or_si128(_mm_and_si128(_mm_loadu_si128(p), spare), pixels[j]));
  }
}

// Converts the columns of a row pair in runs of sixteen; returns the first
// column left for the scalar walk.
template <int R, int G, int B>
int RgbRowPairSimd(const uint8_t* cbRow, const uint8_t* crRow, const uint8_t* y0, const uint8_t* y1,
                   uint8_t* out0, uint8_t* out1, int w) {
  int x = 0;
  for (; x + 16 <= w; x += 16) {
    const __m128i cb = Load8(cbRow + x / 2);
    const __m128i cr = Load8(crRow + x / 2);
    __m128i block[2], gu[2], gv[2];
    __m128i rv[4], g[4], bu[4];
    // Each block's value for both pixels of its pair of columns.
    auto spread = [](const __m128i(&b)[2], __m128i(&out)[4]) {
      out[0] = _mm_unpacklo_epi32(b[0], b[0]);
      out[1] = _mm_unpackhi_epi32(b[0], b[0]);
      out[2] = _mm_unpacklo_epi32(b[1], b[1]);
      out[3] = _mm_unpackhi_epi32(b[1], b[1]);
    };
    TableEntries(cr, kRedFromCrFormula, &block[0], &block[1]);
    spread(block, rv);
    TableEntries(cb, kBlueFromCbFormula, &block[0], &block[1]);
    spread(block, bu);
    TableEntries(cb, kGreenFromCbFormula, &gu[0], &gu[1]);
    TableEntries(cr, kGreenFromCrFormula, &gv[0], &gv[1]);
    block[0] = _mm_add_epi32(gu[0], gv[0]);
    block[1] = _mm_add_epi32(gu[1], gv[1]);
    spread(block, g);
    StoreRow16<R, G, B>(out0 + x * 4, y0 + x, rv, g, bu);
    StoreRow16<R, G, B>(out1 + x * 4, y1 + x, rv, g, bu);
  }
  return x;
}
#endif

// Rows in pairs, columns in pairs: each 2 x 2 block shares one Cb and one Cr.
template <int R, int G, int B, int A, int BPP>
void ConvertRgb(const KineConversionJob& job) {
  const YuvTables& t = g_yuvTables;
  const int w = job.width;
  const std::ptrdiff_t rowBytes = static_cast<std::ptrdiff_t>(w) * BPP;
  for (int r = 0; r < job.height; r += 2) {
    const uint8_t* cbRow = job.u + (r * job.uStride) / 2;
    const uint8_t* crRow = job.v + (r * job.vStride) / 2;
    const uint8_t* y0 = job.y + static_cast<std::ptrdiff_t>(r) * job.yStride;
    const uint8_t* y1 = y0 + job.yStride;
    uint8_t* out0 = job.out + r * rowBytes;
    uint8_t* out1 = out0 + rowBytes;
    int x = 0;
#if defined(__SSE2__)
    if constexpr (A < 0 && BPP == 4)
      x = RgbRowPairSimd<R, G, B>(cbRow, crRow, y0, y1, out0, out1, w);
#endif
    for (; x < w; x += 2) {
      const uint8_t cb = cbRow[x / 2];
      const uint8_t cr = crRow[x / 2];
      const int32_t rv = t.rV[cr];
      const int32_t bu = t.bU[cb];
      const int32_t g = t.gU[cb] + t.gV[cr];
      RgbPixel<R, G, B, A>(out0 + x * BPP, y0, x, w, rv, g, bu);
      RgbPixel<R, G, B, A>(out0 + (x + 1) * BPP, y0, x + 1, w, rv, g, bu);
      RgbPixel<R, G, B, A>(out1 + x * BPP, y1, x, w, rv, g, bu);
      RgbPixel<R, G, B, A>(out1 + (x + 1) * BPP, y1, x + 1, w, rv, g, bu);
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
