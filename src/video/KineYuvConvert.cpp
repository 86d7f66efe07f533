#include "video/KineYuvConvert.h"

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

inline uint8_t Clamp(int32_t v) {
  if (v < 0) return 0;
  if (v >= 2097152) return 255;
  return static_cast<uint8_t>(v >> 13);
}

inline uint8_t AlphaOf(uint8_t a) {
  return a > 224 ? 255 : a;
}

// Byte positions of R, G, B and alpha (-1 none) in a pixel of the RGB family.
template <int R, int G, int B, int A, int BPP>
void ConvertRgb(const KineConversionJob& job) {
  const YuvTables& t = g_yuvTables;
  const int w = job.width;
  const int rowBytes = w * BPP;
  for (int r = 0; r < job.height; r += 2) {
    const uint8_t* cbRow = job.u + (r * job.uStride) / 2;
    const uint8_t* crRow = job.v + (r * job.vStride) / 2;
    for (int x = 0; x < w; x += 2) {
      const uint8_t cb = cbRow[x / 2];
      const uint8_t cr = crRow[x / 2];
      const int32_t rv = t.rV[cr];
      const int32_t bu = t.bU[cb];
      const int32_t g = t.gU[cb] + t.gV[cr];
      for (int dy = 0; dy < 2; ++dy) {
        const uint8_t* yRow = job.y + (r + dy) * job.yStride;
        uint8_t* out = job.out + (r + dy) * rowBytes;
        for (int dx = 0; dx < 2; ++dx) {
          const int col = x + dx;
          uint8_t* p = out + col * BPP;
          if constexpr (A >= 0) {
            const uint8_t a = yRow[w + col];
            if (a < 32) {
              p[0] = p[1] = p[2] = p[3] = 0;
              continue;
            }
            p[A] = AlphaOf(a);
          }
          const int32_t L = t.luma[yRow[col]];
          p[R] = Clamp(L + rv);
          p[G] = Clamp(L - g);
          p[B] = Clamp(L + bu);
        }
      }
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
