// BMP files (Windows bitmaps) of 24 bits per pixel: read into and written
// from one-frame bitmaps of the 24-bit RGB format (bytes red, green, blue).
//
// Files have the 14-byte file header and the 40-byte info header; pixels are
// read from offset 54, rows of blue, green, red padded to 4 bytes, bottom-up
// when the stored height is positive. Other depths (8-bit files included: no
// palette is read) and short files are refused: null with one log line.
#pragma once

struct Bitmap;

Bitmap* stdBmp_Load(const char* path, int arg0, int arg1);
// Reads into the caller's record (which then owns the frame); 1 or 0.
int stdBmp_Read(const char* path, Bitmap* bitmap, int arg0, int arg1);
// Writes frame 0 (24 bits per pixel, rows bottom-up); 1, or 0 when the frame
// is not a plain 24-bit one or the file cannot be opened or written.
int stdBmp_Save(const char* path, Bitmap* bitmap);
