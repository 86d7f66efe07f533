// LBM files and the ByteRun1 packer.
#include "std/stdLbm.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/kv_Log.h"
#include "std/stdBitmap.h"
#include "std/stdImage_Internal.h"

namespace {

constexpr int kBmhdSize = 20;
constexpr int kPaletteSize = 768;

struct Bmhd {
  int width = 0, height = 0;
  int planes = 0;
  int masking = 0;
  int compression = 0;
};

bool IsId(const uint8_t* p, const char* id) {
  return std::memcmp(p, id, 4) == 0;
}

// Unpacks one ByteRun1 row into row[0..rowBytes): groups are read until the
// row holds at least `wanted` bytes; a group that passes that point still
// completes (bytes beyond rowBytes are read and dropped), and the next row
// starts after it. bodyLeft bounds the bytes taken from the chunk. False
// when the body ends first.
bool UnpackRow(stdImageReader& r, uint8_t* row, int rowBytes, int wanted, int64_t& bodyLeft) {
  int x = 0;
  while (x < wanted) {
    uint8_t control;
    if (bodyLeft < 1 || !r.Byte(control)) return false;
    --bodyLeft;
    const auto n = static_cast<int8_t>(control);
    if (n >= 0) {
      const int count = n + 1;
      if (bodyLeft < count) return false;
      const int kept = std::max(0, std::min(count, rowBytes - x));
      if (!r.Read(row + x, static_cast<size_t>(kept)) ||
          !r.Skip(static_cast<size_t>(count - kept))) {
        return false;
      }
      bodyLeft -= count;
      x += count;
    } else if (n != -128) {
      uint8_t value;
      if (bodyLeft < 1 || !r.Byte(value)) return false;
      --bodyLeft;
      const int count = 1 - n;
      const int kept = std::max(0, std::min(count, rowBytes - x));
      std::memset(row + x, value, static_cast<size_t>(kept));
      x += count;
    }
  }
  return true;
}

// One stored row: ByteRun1 packed, or `bytes` bytes as they are.
bool ReadRow(stdImageReader& r, const Bmhd& h, uint8_t* row, int rowBytes, int wanted,
             int64_t& left) {
  if (h.compression == 1) return UnpackRow(r, row, rowBytes, wanted, left);
  if (left < wanted || !r.Read(row, static_cast<size_t>(wanted))) return false;
  left -= wanted;
  return true;
}

// A planar body: each row stores its bit planes one after another (then the
// mask plane when the masking is 1), each plane row being the width rounded
// up to 16 pixels, one bit a pixel, first pixel in the top bit. The planes
// give the bits of the colour index, plane 0 the lowest.
bool ReadPlanarBody(stdImageReader& r, DisplayBuffer* frame, const Bmhd& h, int64_t& left) {
  const int planeBytes = (h.width + 15) / 16 * 2;
  const int stored = h.planes + (h.masking == 1 ? 1 : 0);
  std::vector<uint8_t> planes(static_cast<size_t>(planeBytes) * static_cast<size_t>(stored));
  for (int y = 0; y < h.height; ++y) {
    for (int p = 0; p < stored; ++p) {
      uint8_t* plane = planes.data() + static_cast<size_t>(p) * static_cast<size_t>(planeBytes);
      if (!ReadRow(r, h, plane, planeBytes, planeBytes, left)) return false;
    }
    uint8_t* row = stdImage_Row(frame, y);
    for (int x = 0; x < h.width; ++x) {
      const int byte = x >> 3;
      const int bit = 7 - (x & 7);
      int index = 0;
      for (int p = 0; p < h.planes; ++p) {
        index |= ((planes[static_cast<size_t>(p * planeBytes + byte)] >> bit) & 1) << p;
      }
      row[x] = static_cast<uint8_t>(index);
    }
  }
  return true;
}

bool ReadBody(stdImageReader& r, DisplayBuffer* frame, const Bmhd& h, bool planar, int64_t length,
              const char* path) {
  int64_t left = length;
  if (h.compression != 0 && h.compression != 1) {
    kv_Log_Printf("stdLbm: %s: compression %d is not read; the image stays empty", path,
                  h.compression);
  } else if (planar) {
    if (!ReadPlanarBody(r, frame, h, left)) {
      kv_Log_Printf("stdLbm: %s: the body is shorter than the image", path);
      return false;
    }
  } else if (h.compression == 0) {
    // Stored rows fill the even frame width, one after another.
    const int rowBytes = frame->format.width;
    for (int y = 0; y < h.height; ++y) {
      if (!ReadRow(r, h, stdImage_Row(frame, y), rowBytes, rowBytes, left)) {
        kv_Log_Printf("stdLbm: %s: the body is shorter than the image", path);
        return false;
      }
    }
  } else {
    // Each packed row runs until it holds the BMHD width.
    for (int y = 0; y < h.height; ++y) {
      if (!ReadRow(r, h, stdImage_Row(frame, y), frame->format.width, h.width, left)) {
        kv_Log_Printf("stdLbm: %s: the body ends in row %d", path, y);
        return false;
      }
    }
  }
  // The rest of the chunk and its pad byte.
  r.Skip(static_cast<size_t>(left + (length & 1)));
  return true;
}

}  // namespace

Bitmap* stdLbm_Load(const char* path, int arg0, int arg1) {
  if (path == nullptr) return nullptr;
  const stdFile_t file = std_pHS->fileOpen(path, "rb");
  if (!file) return nullptr;
  stdImageReader r(file);
  Bitmap* bitmap = nullptr;
  const char* problem = nullptr;
  uint8_t h[12];
  Bmhd bmhd;
  bool haveBmhd = false, haveBody = false, haveCmap = false;
  uint8_t palette[kPaletteSize] = {};
  if (!r.Read(h, sizeof h) || !IsId(h, "FORM")) {
    problem = "not an IFF FORM file";
  } else {
    const bool planar = IsId(h + 8, "ILBM");
    const int64_t formEnd = 8 + static_cast<int64_t>(stdImage_U32BE(h + 4));
    // Walk the chunks by their lengths until the form or the file ends.
    uint8_t c[8];
    while (!problem && r.Position() + 8 <= formEnd && r.Read(c, sizeof c)) {
      const int64_t length = stdImage_U32BE(c + 4);
      const size_t padded = static_cast<size_t>(length + (length & 1));
      if (IsId(c, "BMHD")) {
        uint8_t b[kBmhdSize];
        if (length < kBmhdSize || !r.Read(b, sizeof b)) {
          problem = "bad BMHD chunk";
          break;
        }
        bmhd.width = stdImage_U16BE(b);
        bmhd.height = stdImage_U16BE(b + 2);
        bmhd.planes = b[8];
        bmhd.masking = b[9];
        bmhd.compression = b[10];
        haveBmhd = true;
        if (planar && (bmhd.planes < 1 || bmhd.planes > 8)) {
          problem = "only planar images of 1 to 8 planes are read";
          break;
        }
        r.Skip(padded - kBmhdSize);
      } else if (IsId(c, "CMAP")) {
        const size_t n = length < kPaletteSize ? static_cast<size_t>(length) : kPaletteSize;
        std::memset(palette, 0, sizeof palette);
        if (!r.Read(palette, n)) {
          problem = "truncated CMAP chunk";
          break;
        }
        haveCmap = true;
        r.Skip(padded - n);
      } else if (IsId(c, "BODY")) {
        if (!haveBmhd) {
          problem = "BODY before BMHD";
        } else if (haveBody) {
          r.Skip(padded);
        } else if (stdImage_CheckSize("stdLbm", path, bmhd.width, bmhd.height)) {
          bitmap = stdImage_NewBitmap(path, stdImage_kIndexed8, (bmhd.width + 1) & ~1, bmhd.height,
                                      true, arg0, arg1);
          if (bitmap == nullptr) {
            problem = "out of memory";
          } else {
            DisplayBuffer* frame = bitmap->frames[0];
            const bool ok = ReadBody(r, frame, bmhd, planar, length, path);
            stdDisplay_UnlockBuffer(frame);
            if (!ok) {
              stdBitmap_Free(bitmap);
              bitmap = nullptr;
              problem = "truncated BODY chunk";
            }
            haveBody = true;
          }
        } else {
          std_pHS->fileClose(file);
          return nullptr;
        }
      } else {
        r.Skip(padded);
      }
    }
    if (!problem && !(haveBmhd && haveCmap && haveBody)) {
      problem = !haveBmhd ? "no BMHD chunk" : !haveBody ? "no BODY chunk" : "no CMAP chunk";
    }
  }
  std_pHS->fileClose(file);
  if (problem) {
    kv_Log_Printf("stdLbm: %s: %s", path, problem);
    stdBitmap_Free(bitmap);
    return nullptr;
  }
  std::memcpy(bitmap->palette, palette, sizeof palette);
  return bitmap;
}

namespace {
enum PackState { kStart, kPending, kRun, kLiteral };
}  // namespace

void stdLbm_PackStart(stdLbmPacker* p, uint8_t* out) {
  *p = stdLbmPacker{};
  p->out = out;
  p->state = kStart;
}

void stdLbm_PackByte(stdLbmPacker* p, uint8_t c) {
  uint8_t* out = p->out;
  switch (p->state) {
    case kStart:
      p->state = kPending;
      break;
    case kPending:
      p->control = p->length;
      if (c == p->previous) {
        out[p->length++] = 0xFF;  // run of 2
        out[p->length++] = c;
        p->state = kRun;
      } else {
        out[p->length++] = 0x01;  // literal of 2
        out[p->length++] = p->previous;
        out[p->length++] = c;
        p->repeats = 0;
        p->state = kLiteral;
      }
      break;
    case kRun:
      if (c == p->previous) {
        if (--out[p->control] == 0x81) p->state = kStart;  // run of 128
      } else {
        p->state = kPending;
      }
      break;
    case kLiteral:
      if (c == p->previous && ++p->repeats == 3) {
        // The literal's last two bytes and c become a run of 3.
        out[p->control] = static_cast<uint8_t>(out[p->control] - 2);
        out[p->length - 2] = 0xFE;
        out[p->length - 1] = c;
        p->control = p->length - 2;
        p->state = kRun;
        break;
      }
      if (c != p->previous) p->repeats = 0;
      out[p->length++] = c;
      if (++out[p->control] == 0x7F) p->state = kStart;  // literal of 128
      break;
  }
  p->previous = c;
}

int stdLbm_PackEnd(stdLbmPacker* p) {
  if (p->state == kPending) {
    p->out[p->length++] = 0x00;
    p->out[p->length++] = p->previous;
  }
  p->state = kStart;
  return p->length;
}

int stdLbm_PackRowBytes(uint8_t* out, const uint8_t* row, int count) {
  stdLbmPacker packer;
  stdLbm_PackStart(&packer, out);
  for (int i = 0; i < count; ++i) stdLbm_PackByte(&packer, row[i]);
  return stdLbm_PackEnd(&packer);
}

int stdLbm_PackRow(stdFile_t file, const uint8_t* row, int count, uint8_t* scratch) {
  const int n = stdLbm_PackRowBytes(scratch, row, count);
  return stdImage_Write(file, scratch, static_cast<size_t>(n)) ? n : -1;
}

int stdLbm_Save(const char* path, Bitmap* bitmap) {
  stdImageSave save;
  if (!stdImage_BeginSave("stdLbm_Save", path, bitmap, 8, true, &save)) return 0;
  const stdFile_t file = save.file;
  DisplayBuffer* frame = save.frame;
  const int width = frame->format.width;
  const int height = frame->format.height;

  uint8_t head[824] = {};
  std::memcpy(head, "FORM", 4);
  std::memcpy(head + 8, "PBM BMHD", 8);
  stdImage_PutU32BE(head + 16, kBmhdSize);
  std::memcpy(head + 40, "CMAP", 4);
  stdImage_PutU32BE(head + 44, kPaletteSize);
  std::memcpy(head + 48, bitmap->palette, kPaletteSize);
  std::memcpy(head + 816, "BODY", 4);
  bool ok = stdImage_Write(file, head, sizeof head);

  // Every row's width bytes packed, one row after another; the body is not
  // padded to an even length.
  std::vector<uint8_t> scratch(static_cast<size_t>(stdLbm_PackBound(width)));
  int64_t body = 0;
  for (int y = 0; ok && y < height; ++y) {
    const int n = stdLbm_PackRow(file, stdImage_Row(frame, y), width, scratch.data());
    ok = n >= 0;
    body += n;
  }

  // Now the lengths and the real BMHD.
  uint8_t bmhd[kBmhdSize] = {};
  stdImage_PutU16BE(bmhd, static_cast<uint32_t>(width));
  stdImage_PutU16BE(bmhd + 2, static_cast<uint32_t>(height));
  bmhd[8] = 8;   // planes
  bmhd[10] = 1;  // ByteRun1
  bmhd[14] = 6;  // aspect 6:5
  bmhd[15] = 5;
  stdImage_PutU16BE(bmhd + 16, static_cast<uint32_t>(width));
  stdImage_PutU16BE(bmhd + 18, static_cast<uint32_t>(height));
  uint8_t bodyLength[4], formLength[4];
  stdImage_PutU32BE(bodyLength, static_cast<uint32_t>(body));
  stdImage_PutU32BE(formLength, static_cast<uint32_t>(sizeof head + body - 8));
  ok = ok && std_pHS->fileSeek(file, 820, 0) == 0 && stdImage_Write(file, bodyLength, 4) &&
       std_pHS->fileSeek(file, 4, 0) == 0 && stdImage_Write(file, formLength, 4) &&
       std_pHS->fileSeek(file, 20, 0) == 0 && stdImage_Write(file, bmhd, sizeof bmhd);
  return stdImage_EndSave("stdLbm_Save", path, &save, ok);
}
