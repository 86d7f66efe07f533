// GIF files (GIF87a and GIF89a): 8-bit images read into and written from
// one-frame bitmaps, with the module's own LZW decoder and the classic hashed
// LZW encoder.
//
// Reading: header, logical screen, global colour table, (89a only) extension
// blocks skipped, the first image descriptor with its local colour table,
// then its LZW data decoded row by row (interlaced rows in the order of the
// four passes). The frame is the image's own width and height; its left and
// top are ignored. A file without any colour table gets a grey ramp. A
// truncated or corrupt file (a code beyond the table, a string longer than
// the table, data ending early) gives null with one log line.
//
// Writing: "GIF89a", a 256-entry global table from the bitmap's palette, one
// image of frame 0 (8 bits per pixel) with minimum code size 8, the trailer.
// Main thread only (the coder state is static).
#pragma once

#include <cstdint>

#include "std/std.h"

struct Bitmap;

Bitmap* stdGif_Load(const char* path, int arg0, int arg1);
// 1 when written; 0 when the file cannot be opened or written, frame 0 is not
// a plain 8-bit frame or the bitmap has no palette.
int stdGif_Save(const char* path, Bitmap* bitmap);

// Decoder steps over the data sub-blocks of an open file, positioned after
// the minimum code size byte. Init answers 0 for a size outside 1..8.
int stdGif_DecodeInit(stdFile_t file, int minimumCodeSize);
// Next data byte from the sub-blocks, -1 when the data ends or a read is short.
int stdGif_ReadByte(void);
// Next code (least significant bit first), -1 when the data ends.
int stdGif_ReadCode(void);
// Next pixel; -1 at the end code or on a decoding error.
int stdGif_DecodePixel(void);

// Encoder steps: Init writes the minimum code size and the first clear code.
int stdGif_EncodeInit(stdFile_t file, int minimumCodeSize);
void stdGif_PutCode(int code);
void stdGif_ClearTable(void);
void stdGif_EncodePixel(int pixel);
// Sends the current string and the end code and flushes the pending bits;
// answers 1 when every write was whole.
int stdGif_EncodeEnd(void);
// Writes the pending sub-block (length byte and data); a short write counts
// as an error of the encoder.
void stdGif_WriteBlock(void);
