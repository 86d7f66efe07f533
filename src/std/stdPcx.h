// PCX files (ZSoft) of 8 bits per pixel in one plane with a 256-colour
// palette: read into and written from one-frame bitmaps.
//
// 128-byte header, run-length image (a byte of 0xC0 and above repeats the
// next byte (byte AND 0x3F) times), then 0x0C and the 768-byte palette. The
// frame is (x max - x min + 1) by (y max - y min + 1); bytes per line must
// cover the width. Other depths, several planes and short files are refused
// (null, one log line).
#pragma once

struct Bitmap;

Bitmap* stdPcx_Load(const char* path, int arg0, int arg1);
// Writes frame 0 (8 bits per pixel, with a palette), bytes per line padded to
// even; 1, or 0 when the bitmap does not fit or a write fails.
int stdPcx_Save(const char* path, Bitmap* bitmap);
