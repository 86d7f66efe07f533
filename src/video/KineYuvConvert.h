// Conversion of decoded planar YUV 4:2:0 pictures into the packed pixels of a
// clip's output mode, through fixed-point BT.601 tables.
#pragma once

#include <cstdint>

enum KineOutputMode {
  TH_UNDEFINED = 0,
  TH_RGB,
  TH_RGBA,
  TH_RGBX,
  TH_ARGB,
  TH_XRGB,
  TH_BGR,
  TH_BGRA,
  TH_BGRX,
  TH_ABGR,
  TH_XBGR,
  TH_GREY,
  TH_GREY3,
  TH_GREY3A,
  TH_GREY3X,
  TH_AGREY3,
  TH_XGREY3,
  TH_YUV,
  TH_YUVA,
  TH_YUVX,
  TH_AYUV,
  TH_XYUV,
  TH_MODE_COUNT
};

struct KineConversionJob {
  const uint8_t* packed;  // packed source, or null
  const uint8_t* y;
  const uint8_t* u;
  const uint8_t* v;
  uint8_t* out;
  int width;  // of the colour picture
  int height;
  int packedStride;
  int yStride;
  int uStride;
  int vStride;
};

struct YuvTables {
  int32_t luma[256];
  int32_t rV[256];
  int32_t gU[256];
  int32_t gV[256];
  int32_t bU[256];
};

extern YuvTables g_yuvTables;
void YuvTables_Build();

using KineConverter = void (*)(const KineConversionJob& job);
// Entry 0 (TH_UNDEFINED) is null.
extern const KineConverter g_kineConverters[TH_MODE_COUNT];

// Bytes per pixel of an output mode (0 for TH_UNDEFINED or a bad mode).
int Kine_BytesPerPixel(int mode);
// The modes whose coded picture carries alpha in the right half of the luma.
bool Kine_ModeHasAlpha(int mode);
void Convert_YuvToRgb3(const KineConversionJob& job);

// The widest instructions the four-byte RGB modes without alpha convert with:
// 3 AVX-512, 2 AVX2, 1 SSE2, 0 plain code. It starts at the widest the
// processor has;
// Kine_SetConvertPath (for the tests, which compare every path with the
// tables) chooses a narrower one and answers the path now in use.
int Kine_ConvertPath();
int Kine_SetConvertPath(int path);
