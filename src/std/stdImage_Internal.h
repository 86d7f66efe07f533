// Shared pieces of the image-file readers and writers (BMP, PCX, PIC, GIF,
// LBM): checked, buffered reading through the services record, checked
// writes, and the one-frame bitmaps the readers make. Internal to the
// general library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "std/std.h"
#include "std/stdBitmap.h"

// Reads a file in blocks through the services record. Every request answers
// whether all of it was there, so a truncated file is seen at the first
// short read.
struct stdImageReader {
  explicit stdImageReader(stdFile_t f = 0) : file(f) {}
  stdImageReader(const stdImageReader&) = delete;
  stdImageReader& operator=(const stdImageReader&) = delete;

  // Starts over on a file at its current position.
  void Reset(stdFile_t f) {
    file = f;
    pos = len = 0;
    consumed = 0;
  }

  bool Byte(uint8_t& out) {
    if (pos == len && !Fill()) return false;
    out = buffer[pos++];
    return true;
  }
  bool Read(void* out, size_t count);
  bool Skip(size_t count);
  // Bytes consumed from the file so far.
  int64_t Position() const { return consumed - static_cast<int64_t>(len - pos); }

  stdFile_t file;

 private:
  bool Fill();
  uint8_t buffer[16384];
  size_t pos = 0;
  size_t len = 0;
  int64_t consumed = 0;
};

// Checked writes through the services record.
bool stdImage_Write(stdFile_t file, const void* data, size_t count);
bool stdImage_WriteU16LE(stdFile_t file, uint32_t value);
bool stdImage_WriteU32LE(stdFile_t file, uint32_t value);

inline uint16_t stdImage_U16LE(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint16_t stdImage_U16BE(const uint8_t* p) {
  return static_cast<uint16_t>((p[0] << 8) | p[1]);
}
inline uint32_t stdImage_U32BE(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | p[3];
}
inline void stdImage_PutU16LE(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void stdImage_PutU16BE(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
inline void stdImage_PutU32BE(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

// The formats the readers make.
inline constexpr ColorFormat stdImage_kRGB24 = {1, 24, 8, 8, 8, 16, 8, 0, 0, 0, 0, 0, 0, 0};
inline constexpr ColorFormat stdImage_kIndexed8 = {0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// Whether a frame size read from a file may be made (1 to 8192 each way);
// logs "<reader>: <path>: bad image size WxH" otherwise.
bool stdImage_CheckSize(const char* reader, const char* path, int64_t width, int64_t height);

// A new bitmap of one frame (width x height in the format), named after the
// file (the text after the last backslash, cut to 31 characters), storage
// type 0, current frame 0. With withPalette it owns a zeroed 768-byte palette
// (flags bit 1). The frame is returned locked; null when memory runs out.
Bitmap* stdImage_NewBitmap(const char* path, const ColorFormat& format, int width, int height,
                           bool withPalette, int arg0, int arg1);
// Row y of a locked plain frame.
inline uint8_t* stdImage_Row(DisplayBuffer* frame, int y) {
  return static_cast<uint8_t*>(frame->pixels) +
         static_cast<size_t>(y) * static_cast<size_t>(frame->format.bytesPerRow);
}
// A writer at work: its file and the bitmap's frame 0, locked.
struct stdImageSave {
  stdFile_t file = 0;
  DisplayBuffer* frame = nullptr;
};
// The start of a writer: frame 0 of the bitmap locked (plain, of the depth
// asked for), a palette present when one is needed, the file opened "wb".
// False (with a log line naming the writer, none for a file that cannot be
// opened) when any of these fails; nothing is then left locked or open.
bool stdImage_BeginSave(const char* writer, const char* path, Bitmap* bitmap, int bitsPerPixel,
                        bool needsPalette, stdImageSave* save);
// The end of a writer: unlocks the frame, closes the file and logs a failed
// write; 1 when every write went through and the file closed, else 0.
int stdImage_EndSave(const char* writer, const char* path, stdImageSave* save, bool ok);
// Writes frame 0 (24 bits per pixel) in the BMP layout: the 54 bytes of
// headers, then the rows from the last to the first, each padded to a
// multiple of 4 bytes. Pixels go blue, green, red with blueFirst, else in the
// frame's own order. 1 when every write went through, else 0.
int stdImage_SaveBmpLayout(const char* writer, const char* path, Bitmap* bitmap, bool blueFirst);
// Loads through a reader that fills a caller's record: a new bitmap or null.
Bitmap* stdImage_LoadWith(int (*read)(const char*, Bitmap*, int, int), const char* path, int arg0,
                          int arg1);
