// Bitmaps: images held as frame sets, and the BM file format.
//
// A Bitmap owns one or more frames, each a DisplayBuffer of the same pixel
// format, an optional 256-colour palette, a colour key and a position.
// Backgrounds and depth images of sets, object-state images, screenshots and
// save-game pictures are bitmaps. BM files (.bm, and .zbm for depth images):
//
//   128-byte header, little-endian 32-bit fields: "BM  ", version 70, storage
//   type (0 raw, 1 run-length, 3 packed), flags (bit 0 colour key valid, bit 1
//   palette follows), frame count, x offset, y offset, colour key, the
//   ColorFormat as 14 ints, 40 reserved bytes;
//   per frame: width, height, then the pixels by storage type:
//     0: height rows of width x bytes-per-pixel bytes;
//     1: run-length bytes (0xC0 + n, value = n copies; other bytes literal),
//        each row coded by itself; for 8-bit frames;
//     3: a length L, then L bytes: LZ-packed pixels when L is below the
//        frame's byte size, raw pixels when L equals it;
//   then the 768-byte palette when flags bit 1 is set.
//
// Reading checks every count and length against the bytes that are there: a
// truncated or inconsistent file fails the load. Every allocation and file
// access goes through the services record. Main thread only.
#pragma once

#include <cstdint>

#include "std/std.h"
#include "std/stdDisplay.h"

inline constexpr int32_t STDBITMAP_RAW = 0;
inline constexpr int32_t STDBITMAP_RLE = 1;
inline constexpr int32_t STDBITMAP_PACKED = 3;
inline constexpr uint32_t STDBITMAP_COLORKEY = 1;
inline constexpr uint32_t STDBITMAP_PALETTE = 2;

// Limits on what a BM file may ask for.
inline constexpr int stdBitmap_kMaxFrames = 4096;
inline constexpr int stdBitmap_kMaxDimension = 8192;
// The most bytes the frames of one file may decode to, counted over all its
// frames before each is allocated. Real backgrounds stay far below it.
inline constexpr int64_t stdBitmap_kMaxDecodedBytes = int64_t{64} << 20;

struct Bitmap {
  char name[32];        // file name it was read from (after the last backslash)
  int32_t storageType;  // STDBITMAP_RAW, _RLE (file only) or _PACKED
  uint32_t flags;       // STDBITMAP_COLORKEY, STDBITMAP_PALETTE
  ColorFormat format;   // shared by all frames
  uint8_t* palette;     // 768 bytes (owned) exactly when flags has STDBITMAP_PALETTE
  int32_t frameCount;
  int32_t currentFrame;  // set by the bitmap's users; -1 = none shown
  int32_t xOffset;
  int32_t yOffset;
  uint32_t colorKey;  // in the bitmap's pixel format
  // frameCount pointers, owned. Entries may be null, and so may the array.
  DisplayBuffer** frames;
};

Bitmap* stdBitmap_Load(const char* path, int arg0, int arg1);
int stdBitmap_LoadInto(const char* path, Bitmap* bitmap, int arg0, int arg1);
Bitmap* stdBitmap_LoadFromFile(stdFile_t file, int arg0, int arg1);
int stdBitmap_ReadFile(stdFile_t file, Bitmap* bitmap, int arg0, int arg1);
int stdBitmap_Save(const char* path, Bitmap* bitmap);
int stdBitmap_WriteFile(stdFile_t file, Bitmap* bitmap);
Bitmap* stdBitmap_New(int frameCount, uint8_t* palette, int32_t storageType, uint32_t flags,
                      const ColorFormat* format);
int stdBitmap_Init(Bitmap* bitmap, int frameCount, uint8_t* palette, int32_t storageType,
                   uint32_t flags, const ColorFormat* format);
// Stores the buffer at the index; an index outside the frames is refused.
void stdBitmap_SetFrame(Bitmap* bitmap, int index, DisplayBuffer* buffer);
Bitmap* stdBitmap_NewFromBuffer(DisplayBuffer* buffer, int arg0, int arg1);
void stdBitmap_Free(Bitmap* bitmap);
void stdBitmap_FreeFrames(Bitmap* bitmap);
int stdBitmap_GetMemorySize(const Bitmap* bitmap);
void stdBitmap_PackFrames(Bitmap* bitmap);
void stdBitmap_UnpackFrames(Bitmap* bitmap);
void stdBitmap_ConvertFormat(const ColorFormat* newFormat, Bitmap* bitmap);
Bitmap* stdBitmap_ConvertTo555(Bitmap* bitmap);
Bitmap* stdBitmap_ConvertTo565(Bitmap* bitmap);
// 24-bit buffer to a new 16-bit one; null when the source is not a plain
// 24-bit buffer or the new buffer cannot be made.
DisplayBuffer* stdBitmap_BufferTo555(DisplayBuffer* buffer);
DisplayBuffer* stdBitmap_BufferTo565(DisplayBuffer* buffer);

// Run-length codes one row (exposed for tests): returns the coded length,
// which is at most 2 x count bytes.
int stdBitmap_EncodeRow(uint8_t* out, const uint8_t* row, int count);
