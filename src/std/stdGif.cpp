// GIF files and the LZW coder.
#include "std/stdGif.h"

#include <cstring>

#include "platform/kv_Log.h"
#include "std/stdBitmap.h"
#include "std/stdImage_Internal.h"

namespace {

constexpr int kMaxCodes = 4096;
constexpr int kMaxBits = 12;

// ---- Decoder --------------------------------------------------------------

struct Decoder {
  stdImageReader reader;
  int minimumSize = 0;
  int clearCode = 0, endCode = 0;
  int nextFree = 0;
  int width = 0;  // bits per code
  int limit = 0;  // 2^width: the width grows when the next free code reaches it
  uint32_t bits = 0;
  int bitCount = 0;
  int blockLeft = 0;  // data bytes left in the current sub-block
  bool dataEnded = false;
  bool failed = false;  // a corrupt stream (as opposed to the end code)
  int previous = -1;    // -1 right after a clear code
  uint8_t first = 0;    // first byte of the previous string
  int stackSize = 0;
  uint16_t prefix[kMaxCodes];
  uint8_t suffix[kMaxCodes];
  uint8_t stack[kMaxCodes + 1];
};
Decoder g_decoder;

void ResetTable(Decoder& d) {
  d.nextFree = d.clearCode + 2;
  d.width = d.minimumSize + 1;
  d.limit = 1 << d.width;
  d.previous = -1;
}

int StartDecoder(int minimumSize) {
  Decoder& d = g_decoder;
  if (minimumSize < 1 || minimumSize > 8) return 0;
  d.minimumSize = minimumSize;
  d.clearCode = 1 << minimumSize;
  d.endCode = d.clearCode + 1;
  for (int i = 0; i < d.clearCode; ++i) {
    d.prefix[i] = 0;
    d.suffix[i] = static_cast<uint8_t>(i);
  }
  ResetTable(d);
  d.bits = 0;
  d.bitCount = 0;
  d.blockLeft = 0;
  d.dataEnded = false;
  d.failed = false;
  d.stackSize = 0;
  return 1;
}

inline int ReadDataByte(Decoder& d) {
  if (d.blockLeft == 0) {
    uint8_t length;
    if (d.dataEnded || !d.reader.Byte(length) || length == 0) {
      d.dataEnded = true;
      return -1;
    }
    d.blockLeft = length;
  }
  uint8_t b;
  if (!d.reader.Byte(b)) {
    d.dataEnded = true;
    return -1;
  }
  --d.blockLeft;
  return b;
}

inline int ReadCode(Decoder& d) {
  while (d.bitCount < d.width) {
    const int b = ReadDataByte(d);
    if (b < 0) return -1;
    d.bits |= static_cast<uint32_t>(b) << d.bitCount;
    d.bitCount += 8;
  }
  const int code = static_cast<int>(d.bits & ((1u << d.width) - 1));
  d.bits >>= d.width;
  d.bitCount -= d.width;
  return code;
}

inline int Fail(Decoder& d) {
  d.failed = true;
  return -1;
}

inline int DecodePixel(Decoder& d) {
  if (d.stackSize > 0) return d.stack[--d.stackSize];
  for (;;) {
    const int code = ReadCode(d);
    if (code < 0) return Fail(d);
    if (code == d.clearCode) {
      ResetTable(d);
      continue;
    }
    if (code == d.endCode) return -1;
    if (d.previous < 0) {
      // First code after a clear: a plain pixel.
      if (code > d.clearCode) return Fail(d);
      d.previous = code;
      d.first = static_cast<uint8_t>(code);
      return code;
    }
    int current;
    if (code < d.nextFree) {
      current = code;
    } else if (code == d.nextFree) {
      // Not in the table yet: the previous string plus its own first byte.
      d.stack[d.stackSize++] = d.first;
      current = d.previous;
    } else {
      return Fail(d);
    }
    while (current >= d.clearCode) {
      if (d.stackSize >= kMaxCodes) return Fail(d);
      d.stack[d.stackSize++] = d.suffix[current];
      current = d.prefix[current];
    }
    d.first = static_cast<uint8_t>(current);
    d.stack[d.stackSize++] = d.first;
    if (d.nextFree < kMaxCodes) {
      d.prefix[d.nextFree] = static_cast<uint16_t>(d.previous);
      d.suffix[d.nextFree] = d.first;
      ++d.nextFree;
      if (d.nextFree >= d.limit && d.width < kMaxBits) {
        ++d.width;
        d.limit <<= 1;
      }
    }
    d.previous = code;
    return d.stack[--d.stackSize];
  }
}

// ---- Encoder --------------------------------------------------------------

constexpr int kHashSize = 5003;
constexpr int kHashShift = 4;

struct Encoder {
  stdFile_t file = 0;
  int minimumSize = 0;
  int clearCode = 0, endCode = 0;
  int nextFree = 0;
  int width = 0;
  int maxCode = 0;  // highest code of the current width
  bool clearPending = false;
  int current = -1;  // code of the current string; -1 before the first pixel
  uint32_t bits = 0;
  int bitCount = 0;
  int errors = 0;
  uint8_t block[256];  // length byte and up to 255 data bytes
  int32_t hashKeys[kHashSize];
  uint16_t hashCodes[kHashSize];
};
Encoder g_encoder;

int MaxCodeOf(int width) {
  return width >= kMaxBits ? kMaxCodes : (1 << width) - 1;
}

void ClearHash(Encoder& e) {
  for (int32_t& k : e.hashKeys) k = -1;
}

void PutByte(Encoder& e, uint8_t b) {
  e.block[1 + e.block[0]] = b;
  if (++e.block[0] == 255) stdGif_WriteBlock();
}

// ---- Reading --------------------------------------------------------------

bool ReadColorTable(stdImageReader& r, uint8_t flags, uint8_t* palette) {
  const int entries = 1 << ((flags & 7) + 1);
  return r.Read(palette, static_cast<size_t>(entries) * 3);
}

bool SkipSubBlocks(stdImageReader& r) {
  for (;;) {
    uint8_t length;
    if (!r.Byte(length)) return false;
    if (length == 0) return true;
    if (!r.Skip(length)) return false;
  }
}

// Reads the file up to the image data into a new bitmap (frame locked).
// Answers the bitmap, the interlace flag and the minimum code size.
Bitmap* ReadHeaders(stdImageReader& r, const char* path, int arg0, int arg1, bool* interlaced,
                    int* minimumSize) {
  uint8_t h[13];
  if (!r.Read(h, sizeof h)) {
    kv_Log_Printf("stdGif: %s: truncated header", path);
    return nullptr;
  }
  if ((h[0] | 0x20) != 'g' || (h[1] | 0x20) != 'i' || (h[2] | 0x20) != 'f') {
    kv_Log_Printf("stdGif: %s: not a GIF file", path);
    return nullptr;
  }
  const bool is89a = h[3] == '8' && h[4] == '9' && (h[5] | 0x20) == 'a';
  uint8_t palette[768] = {};
  bool hasTable = false;
  if (h[10] & 0x80) {
    if (!ReadColorTable(r, h[10], palette)) {
      kv_Log_Printf("stdGif: %s: truncated colour table", path);
      return nullptr;
    }
    hasTable = true;
  }
  uint8_t c;
  for (;;) {
    if (!r.Byte(c)) {
      kv_Log_Printf("stdGif: %s: no image in the file", path);
      return nullptr;
    }
    if (c != '!' || !is89a) break;
    uint8_t label;
    if (!r.Byte(label) || !SkipSubBlocks(r)) {
      kv_Log_Printf("stdGif: %s: truncated extension block", path);
      return nullptr;
    }
  }
  if (c != ',') {
    kv_Log_Printf("stdGif: %s: no image separator where one is due", path);
    return nullptr;
  }
  uint8_t d[9];
  if (!r.Read(d, sizeof d)) {
    kv_Log_Printf("stdGif: %s: truncated image descriptor", path);
    return nullptr;
  }
  const int width = stdImage_U16LE(d + 4);
  const int height = stdImage_U16LE(d + 6);
  if (d[8] & 0x80) {
    std::memset(palette, 0, sizeof palette);
    if (!ReadColorTable(r, d[8], palette)) {
      kv_Log_Printf("stdGif: %s: truncated colour table", path);
      return nullptr;
    }
    hasTable = true;
  }
  if (!hasTable) {
    for (int i = 0; i < 256; ++i) palette[3 * i] = palette[3 * i + 1] = palette[3 * i + 2] = i;
  }
  *interlaced = (d[8] & 0x40) != 0;
  uint8_t size;
  if (!r.Byte(size)) {
    kv_Log_Printf("stdGif: %s: truncated image data", path);
    return nullptr;
  }
  if (size < 1 || size > 8) {
    kv_Log_Printf("stdGif: %s: bad minimum code size %d", path, size);
    return nullptr;
  }
  *minimumSize = size;
  if (!stdImage_CheckSize("stdGif", path, width, height)) return nullptr;
  Bitmap* bitmap = stdImage_NewBitmap(path, stdImage_kIndexed8, width, height, true, arg0, arg1);
  if (bitmap == nullptr) {
    kv_Log_Printf("stdGif: %s: out of memory", path);
    return nullptr;
  }
  std::memcpy(bitmap->palette, palette, sizeof palette);
  return bitmap;
}

}  // namespace

int stdGif_DecodeInit(stdFile_t file, int minimumCodeSize) {
  g_decoder.reader.Reset(file);
  return StartDecoder(minimumCodeSize);
}

int stdGif_ReadByte(void) {
  return ReadDataByte(g_decoder);
}

int stdGif_ReadCode(void) {
  return ReadCode(g_decoder);
}

int stdGif_DecodePixel(void) {
  return DecodePixel(g_decoder);
}

Bitmap* stdGif_Load(const char* path, int arg0, int arg1) {
  if (path == nullptr) return nullptr;
  const stdFile_t file = std_pHS->fileOpen(path, "rb");
  if (!file) return nullptr;
  Decoder& d = g_decoder;
  d.reader.Reset(file);
  bool interlaced = false;
  int minimumSize = 0;
  Bitmap* bitmap = ReadHeaders(d.reader, path, arg0, arg1, &interlaced, &minimumSize);
  if (bitmap == nullptr) {
    std_pHS->fileClose(file);
    return nullptr;
  }
  StartDecoder(minimumSize);
  DisplayBuffer* frame = bitmap->frames[0];
  const int width = frame->format.width;
  const int height = frame->format.height;
  // Rows in file order: plain, or the four interlace passes.
  static constexpr int kPassStart[4] = {0, 4, 2, 1};
  static constexpr int kPassStep[4] = {8, 8, 4, 2};
  bool ok = true;
  for (int pass = 0; ok && pass < (interlaced ? 4 : 1); ++pass) {
    const int start = interlaced ? kPassStart[pass] : 0;
    const int step = interlaced ? kPassStep[pass] : 1;
    for (int y = start; ok && y < height; y += step) {
      uint8_t* row = stdImage_Row(frame, y);
      for (int x = 0; x < width; ++x) {
        const int p = DecodePixel(d);
        if (p < 0) {
          ok = false;
          break;
        }
        row[x] = static_cast<uint8_t>(p);
      }
    }
  }
  stdDisplay_UnlockBuffer(frame);
  if (!ok) {
    kv_Log_Printf("stdGif: %s: %s", path,
                  d.failed ? "corrupt image data" : "image data ends before the image");
    stdBitmap_Free(bitmap);
    std_pHS->fileClose(file);
    return nullptr;
  }
  uint8_t terminator;
  (void)d.reader.Byte(terminator);
  std_pHS->fileClose(file);
  return bitmap;
}

// ---- Encoder --------------------------------------------------------------

int stdGif_EncodeInit(stdFile_t file, int minimumCodeSize) {
  Encoder& e = g_encoder;
  if (minimumCodeSize < 2 || minimumCodeSize > 8) return 0;
  e.file = file;
  e.minimumSize = minimumCodeSize;
  e.clearCode = 1 << minimumCodeSize;
  e.endCode = e.clearCode + 1;
  e.nextFree = e.clearCode + 2;
  e.width = minimumCodeSize + 1;
  e.maxCode = MaxCodeOf(e.width);
  e.clearPending = false;
  e.current = -1;
  e.bits = 0;
  e.bitCount = 0;
  e.errors = 0;
  e.block[0] = 0;
  ClearHash(e);
  const uint8_t size = static_cast<uint8_t>(minimumCodeSize);
  if (!stdImage_Write(file, &size, 1)) return 0;
  stdGif_PutCode(e.clearCode);
  return 1;
}

void stdGif_PutCode(int code) {
  Encoder& e = g_encoder;
  e.bits |= static_cast<uint32_t>(code) << e.bitCount;
  e.bitCount += e.width;
  while (e.bitCount >= 8) {
    PutByte(e, static_cast<uint8_t>(e.bits));
    e.bits >>= 8;
    e.bitCount -= 8;
  }
  // The width follows the table: back to the start after a clear code, one
  // bit more once the next free code passes the highest code of the width.
  if (e.clearPending) {
    e.width = e.minimumSize + 1;
    e.maxCode = MaxCodeOf(e.width);
    e.clearPending = false;
  } else if (e.nextFree > e.maxCode && e.width < kMaxBits) {
    ++e.width;
    e.maxCode = MaxCodeOf(e.width);
  }
}

void stdGif_ClearTable(void) {
  Encoder& e = g_encoder;
  ClearHash(e);
  e.nextFree = e.clearCode + 2;
  e.clearPending = true;
  stdGif_PutCode(e.clearCode);
}

void stdGif_EncodePixel(int pixel) {
  Encoder& e = g_encoder;
  pixel &= 0xFF;
  if (e.current < 0) {
    e.current = pixel;
    return;
  }
  const int32_t key = (pixel << kMaxBits) + e.current;
  int slot = (pixel << kHashShift) ^ e.current;
  if (e.hashKeys[slot] == key) {
    e.current = e.hashCodes[slot];
    return;
  }
  if (e.hashKeys[slot] >= 0) {
    const int step = slot == 0 ? 1 : kHashSize - slot;
    do {
      slot -= step;
      if (slot < 0) slot += kHashSize;
      if (e.hashKeys[slot] == key) {
        e.current = e.hashCodes[slot];
        return;
      }
    } while (e.hashKeys[slot] >= 0);
  }
  stdGif_PutCode(e.current);
  e.current = pixel;
  if (e.nextFree < kMaxCodes) {
    e.hashCodes[slot] = static_cast<uint16_t>(e.nextFree++);
    e.hashKeys[slot] = key;
  } else {
    stdGif_ClearTable();
  }
}

int stdGif_EncodeEnd(void) {
  Encoder& e = g_encoder;
  if (e.current >= 0) stdGif_PutCode(e.current);
  stdGif_PutCode(e.endCode);
  if (e.bitCount > 0) {
    PutByte(e, static_cast<uint8_t>(e.bits));
    e.bits = 0;
    e.bitCount = 0;
  }
  if (e.block[0] > 0) stdGif_WriteBlock();
  return e.errors == 0 ? 1 : 0;
}

void stdGif_WriteBlock(void) {
  Encoder& e = g_encoder;
  if (!stdImage_Write(e.file, e.block, static_cast<size_t>(e.block[0]) + 1)) ++e.errors;
  e.block[0] = 0;
}

int stdGif_Save(const char* path, Bitmap* bitmap) {
  stdImageSave save;
  if (!stdImage_BeginSave("stdGif_Save", path, bitmap, 8, true, &save)) return 0;
  const stdFile_t file = save.file;
  DisplayBuffer* frame = save.frame;
  const int width = frame->format.width;
  const int height = frame->format.height;
  uint8_t h[13] = {'G', 'I', 'F', '8', '9', 'a'};
  stdImage_PutU16LE(h + 6, static_cast<uint32_t>(width));
  stdImage_PutU16LE(h + 8, static_cast<uint32_t>(height));
  h[10] = 0xF7;
  uint8_t descriptor[10] = {','};
  stdImage_PutU16LE(descriptor + 5, static_cast<uint32_t>(width));
  stdImage_PutU16LE(descriptor + 7, static_cast<uint32_t>(height));
  bool ok = stdImage_Write(file, h, sizeof h) && stdImage_Write(file, bitmap->palette, 768) &&
            stdImage_Write(file, descriptor, sizeof descriptor) && stdGif_EncodeInit(file, 8);
  if (ok) {
    for (int y = 0; y < height; ++y) {
      const uint8_t* row = stdImage_Row(frame, y);
      for (int x = 0; x < width; ++x) stdGif_EncodePixel(row[x]);
    }
    static constexpr uint8_t kTail[2] = {0, ';'};
    ok = stdGif_EncodeEnd() && stdImage_Write(file, kTail, sizeof kTail);
  }
  return stdImage_EndSave("stdGif_Save", path, &save, ok);
}
