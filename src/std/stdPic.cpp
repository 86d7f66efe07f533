// PIC files.
#include "std/stdPic.h"

#include <cstring>

#include "platform/kv_Log.h"
#include "std/stdBitmap.h"
#include "std/stdImage_Internal.h"

namespace {

constexpr int kHeaderSize = 104;
constexpr uint8_t kMagic[4] = {0x53, 0x80, 0xF6, 0x34};
constexpr int kMaxPackets = 8;

struct Packet {
  bool compressed;
  int channelCount;
  int channels[4];  // byte of the pixel per channel, -1 for alpha (dropped)
};

// Stores one pixel's channel values.
inline void Put(uint8_t* pixel, const Packet& p, const uint8_t* values) {
  for (int c = 0; c < p.channelCount; ++c) {
    if (p.channels[c] >= 0) pixel[p.channels[c]] = values[c];
  }
}

bool ReadUncompressed(stdImageReader& r, const Packet& p, uint8_t* row, int width) {
  uint8_t values[4];
  for (int x = 0; x < width; ++x) {
    if (!r.Read(values, static_cast<size_t>(p.channelCount))) return false;
    Put(row + 3 * x, p, values);
  }
  return true;
}

// Mixed run-length: a count byte c; 128 and above a run (length in a 16-bit
// word for exactly 128, else c - 127) of one value set; below 128, c + 1
// literal pixels. Pixels past the row end are read and dropped.
bool ReadMixed(stdImageReader& r, const Packet& p, uint8_t* row, int width) {
  const size_t n = static_cast<size_t>(p.channelCount);
  uint8_t values[4];
  int x = 0;
  while (x < width) {
    uint8_t c;
    if (!r.Byte(c)) return false;
    if (c >= 128) {
      int length = c - 127;
      if (c == 128) {
        uint8_t w[2];
        if (!r.Read(w, 2)) return false;
        length = stdImage_U16BE(w);
      }
      if (!r.Read(values, n)) return false;
      for (const int end = length < width - x ? x + length : width; x < end; ++x) {
        Put(row + 3 * x, p, values);
      }
    } else {
      for (int k = 0; k <= c; ++k) {
        if (!r.Read(values, n)) return false;
        if (x < width) Put(row + 3 * x++, p, values);
      }
    }
  }
  return true;
}

}  // namespace

int stdPic_Read(const char* path, Bitmap* bitmap, int arg0, int arg1) {
  if (path == nullptr || bitmap == nullptr) return 0;
  *bitmap = Bitmap{};
  const stdFile_t file = std_pHS->fileOpen(path, "rb");
  if (!file) return 0;
  stdImageReader r(file);
  const char* problem = nullptr;
  Bitmap* made = nullptr;
  uint8_t h[kHeaderSize] = {};
  Packet packets[kMaxPackets];
  int packetCount = 0;
  if (!r.Read(h, sizeof h)) {
    problem = "truncated header";
  } else if (std::memcmp(h, kMagic, 4) != 0 || std::memcmp(h + 88, "PICT", 4) != 0) {
    problem = "not a PIC file";
  }
  // The channel packets, up to the one that is not chained.
  for (bool chained = true; !problem && chained;) {
    uint8_t b[4];
    if (!r.Read(b, 4)) {
      problem = "truncated channel packets";
    } else if (b[1] != 8) {
      problem = "only 8 bits per channel are read";
    } else if (packetCount == kMaxPackets) {
      problem = "too many channel packets";
    } else {
      Packet& p = packets[packetCount++];
      p.compressed = b[2] != 0;
      p.channelCount = 0;
      static constexpr uint8_t kMasks[4] = {0x80, 0x40, 0x20, 0x10};
      for (int c = 0; c < 4; ++c) {
        if (b[3] & kMasks[c]) p.channels[p.channelCount++] = c < 3 ? c : -1;
      }
      chained = b[0] != 0;
    }
  }
  const int width = stdImage_U16BE(h + 92);
  const int height = stdImage_U16BE(h + 94);
  if (!problem && !stdImage_CheckSize("stdPic", path, width, height)) {
    std_pHS->fileClose(file);
    return 0;
  }
  if (!problem) {
    made = stdImage_NewBitmap(path, stdImage_kRGB24, width, height, false, arg0, arg1);
    if (made == nullptr) problem = "Unable to allocate memory.";
  }
  if (!problem) {
    DisplayBuffer* frame = made->frames[0];
    for (int y = 0; !problem && y < height; ++y) {
      uint8_t* row = stdImage_Row(frame, y);
      for (int k = 0; !problem && k < packetCount; ++k) {
        const Packet& p = packets[k];
        const bool ok =
            p.compressed ? ReadMixed(r, p, row, width) : ReadUncompressed(r, p, row, width);
        if (!ok) problem = "pixel data ends early";
      }
    }
    stdDisplay_UnlockBuffer(frame);
  }
  std_pHS->fileClose(file);
  if (problem) {
    kv_Log_Printf("stdPic: %s: %s", path, problem);
    stdBitmap_Free(made);
    return 0;
  }
  *bitmap = *made;
  std_pHS->memFree(made);
  return 1;
}

Bitmap* stdPic_Load(const char* path, int arg0, int arg1) {
  return stdImage_LoadWith(stdPic_Read, path, arg0, arg1);
}

int stdPic_Save(const char* path, Bitmap* bitmap) {
  return stdImage_SaveBmpLayout("stdPic_Save", path, bitmap, false);
}
