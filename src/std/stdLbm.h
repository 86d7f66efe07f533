// LBM files: 8-bit images with a 256-colour palette in the IFF "FORM"
// container of the chunky "PBM " layout (chunks "BMHD", "CMAP", "BODY";
// big-endian), rows packed with ByteRun1. The default format of the image
// layer.
//
// Reading walks the chunk list by the chunks' lengths (with the pad byte of
// odd lengths). The frame is the BMHD width raised to even by its height.
// Packed rows are decoded one after another, each until it holds the BMHD
// width (a group passing it still completes); stored rows fill the even
// width. Planar "ILBM" forms of 1 to 8 planes (and a mask plane) are read
// into the same indexed frame. A file without BMHD, CMAP or BODY, or one
// whose body ends early, is refused (null, one log line).
//
// Writing: "FORM" / "PBM ", BMHD (8 planes, compression 1, aspect 6:5), CMAP
// with the bitmap's palette, BODY with the width bytes of every row of
// frame 0 packed; the body is not padded to an even length.
#pragma once

#include <cstdint>

#include "std/std.h"

struct Bitmap;

Bitmap* stdLbm_Load(const char* path, int arg0, int arg1);
// 1 when written; 0 when the file cannot be opened or written, or frame 0 is
// not a plain 8-bit frame with a palette.
int stdLbm_Save(const char* path, Bitmap* bitmap);

// The packed size of a row of count bytes is at most this.
inline int stdLbm_PackBound(int count) {
  return count + count / 128 + 2;
}
// The ByteRun1 row packer, fed one byte at a time: a state machine of four
// states (start, a byte pending, a run, a literal) whose output is pinned
// byte for byte. The record keeps the state between calls.
struct stdLbmPacker {
  uint8_t* out;  // stdLbm_PackBound(bytes of the row) bytes
  int length;    // packed bytes so far
  int state;
  int control;  // position of the current group's control byte
  int repeats;  // equal bytes at the end of a literal
  uint8_t previous;
};
// Starts a row whose packed bytes go to out.
void stdLbm_PackStart(stdLbmPacker* packer, uint8_t* out);
void stdLbm_PackByte(stdLbmPacker* packer, uint8_t byte);
// Ends the row (a pending byte becomes a literal of 1): the packed length.
int stdLbm_PackEnd(stdLbmPacker* packer);

// Packs one row with ByteRun1 into out (stdLbm_PackBound(count) bytes) and
// answers the packed length.
int stdLbm_PackRowBytes(uint8_t* out, const uint8_t* row, int count);
// Packs the row into the scratch buffer (stdLbm_PackBound(count) bytes) and
// writes it: the packed length, or -1 when the write was short.
int stdLbm_PackRow(stdFile_t file, const uint8_t* row, int count, uint8_t* scratch);
