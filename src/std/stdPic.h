// PIC files (Softimage): 24-bit images read into one-frame bitmaps of the
// 24-bit RGB format.
//
// 104-byte big-endian header (magic 53 80 F6 34, "PICT" at 88, width and
// height at 92 and 94), 4-byte channel packets (chained flag, 8 bits per
// channel, type 0 uncompressed or else mixed run-length, channel mask 0x80
// red, 0x40 green, 0x20 blue, 0x10 alpha), then the rows top first, each row
// holding every packet's pixels in turn. Alpha is read and dropped; a run
// passing the row end is cut there. Other channel depths and short files are
// refused (null, one log line).
#pragma once

struct Bitmap;

Bitmap* stdPic_Load(const char* path, int arg0, int arg1);
// Reads into the caller's record (which then owns the frame); 1 or 0.
int stdPic_Read(const char* path, Bitmap* bitmap, int arg0, int arg1);
// The module's writer, which no part of the program calls: frame 0 (24 bits
// per pixel) in the BMP file layout, pixels in the frame's own red, green,
// blue order (a BMP reader sees red and blue exchanged). 1 when written.
int stdPic_Save(const char* path, Bitmap* bitmap);
