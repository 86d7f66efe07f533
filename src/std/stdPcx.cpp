// PCX files of 8 bits per pixel.
#include "std/stdPcx.h"

#include <cstring>
#include <vector>

#include "platform/kv_Log.h"
#include "std/stdBitmap.h"
#include "std/stdImage_Internal.h"

namespace {

constexpr int kHeaderSize = 128;
constexpr uint8_t kPaletteMarker = 0x0C;

void Refuse(const char* path, const char* message) {
  kv_Log_Printf("stdPcx: %s: %s", path, message);
}

}  // namespace

Bitmap* stdPcx_Load(const char* path, int arg0, int arg1) {
  if (path == nullptr) return nullptr;
  const stdFile_t file = std_pHS->fileOpen(path, "rb");
  if (!file) return nullptr;
  stdImageReader r(file);
  uint8_t h[kHeaderSize] = {};
  const char* problem = nullptr;
  Bitmap* bitmap = nullptr;
  if (!r.Read(h, sizeof h)) {
    problem = "truncated header";
  } else if (h[0] != 10) {
    problem = "not a PCX file";
  } else if (h[3] != 8 || h[65] != 1) {
    problem = "only 8 bits per pixel in one plane are read";
  }
  // The minimum fields are not read: the frame runs from 0 to the maxima.
  const int64_t width = int64_t{stdImage_U16LE(h + 8)} + 1;
  const int64_t height = int64_t{stdImage_U16LE(h + 10)} + 1;
  // Bytes per line is the row stride (writers pad it to even or not).
  const int bytesPerLine = stdImage_U16LE(h + 66);
  if (!problem && !stdImage_CheckSize("stdPcx", path, width, height)) {
    std_pHS->fileClose(file);
    return nullptr;
  }
  if (!problem && bytesPerLine < width) problem = "bytes per line do not cover the width";
  if (!problem) {
    bitmap = stdImage_NewBitmap(path, stdImage_kIndexed8, static_cast<int>(width),
                                static_cast<int>(height), true, arg0, arg1);
    if (bitmap == nullptr) problem = "out of memory";
  }
  if (!problem) {
    // The run-length stream fills bytes per line x height bytes; a run may
    // go on into the next line and is cut at the end of the image.
    DisplayBuffer* frame = bitmap->frames[0];
    std::vector<uint8_t> line(static_cast<size_t>(bytesPerLine));
    int runLeft = 0;
    uint8_t runValue = 0;
    for (int y = 0; !problem && y < height; ++y) {
      int x = 0;
      while (x < bytesPerLine) {
        if (runLeft > 0) {
          const int n = runLeft < bytesPerLine - x ? runLeft : bytesPerLine - x;
          std::memset(line.data() + x, runValue, static_cast<size_t>(n));
          x += n;
          runLeft -= n;
          continue;
        }
        uint8_t c;
        if (!r.Byte(c)) break;
        if (c >= 0xC0) {
          if (!r.Byte(runValue)) break;
          runLeft = c & 0x3F;
        } else {
          line[static_cast<size_t>(x++)] = c;
        }
      }
      if (x < bytesPerLine) {
        problem = "image data ends early";
      } else {
        std::memcpy(stdImage_Row(frame, y), line.data(), static_cast<size_t>(width));
      }
    }
    stdDisplay_UnlockBuffer(frame);
    uint8_t marker;
    if (!problem && (!r.Byte(marker) || !r.Read(bitmap->palette, 768))) {
      problem = "no palette after the image";
    }
  }
  std_pHS->fileClose(file);
  if (problem) {
    Refuse(path, problem);
    stdBitmap_Free(bitmap);
    return nullptr;
  }
  return bitmap;
}

int stdPcx_Save(const char* path, Bitmap* bitmap) {
  // The header's sizes are 16 bits.
  const DisplayBuffer* first =
      bitmap && bitmap->frameCount > 0 && bitmap->frames ? bitmap->frames[0] : nullptr;
  if (first && (first->format.width > 65536 || first->format.height > 65536)) {
    kv_Log_Printf("stdPcx_Save: %s: %dx%d is too large for PCX", path, first->format.width,
                  first->format.height);
    return 0;
  }
  stdImageSave save;
  if (!stdImage_BeginSave("stdPcx_Save", path, bitmap, 8, true, &save)) return 0;
  const stdFile_t file = save.file;
  DisplayBuffer* frame = save.frame;
  const int width = frame->format.width;
  const int height = frame->format.height;
  const int bytesPerLine = width;
  uint8_t h[kHeaderSize] = {10, 5, 1, 8};
  stdImage_PutU16LE(h + 8, static_cast<uint32_t>(width - 1));
  stdImage_PutU16LE(h + 10, static_cast<uint32_t>(height - 1));
  stdImage_PutU16LE(h + 12, static_cast<uint32_t>(width));
  stdImage_PutU16LE(h + 14, static_cast<uint32_t>(height));
  h[65] = 1;
  stdImage_PutU16LE(h + 66, static_cast<uint32_t>(bytesPerLine));
  bool ok = stdImage_Write(file, h, sizeof h);
  // Each row's width bytes run-length coded by themselves, as the BM format
  // codes its rows.
  std::vector<uint8_t> coded(static_cast<size_t>(width) * 2 + 2);
  for (int y = 0; ok && y < height; ++y) {
    const int n = stdBitmap_EncodeRow(coded.data(), stdImage_Row(frame, y), width);
    ok = stdImage_Write(file, coded.data(), static_cast<size_t>(n));
  }
  const uint8_t marker = kPaletteMarker;
  ok = ok && stdImage_Write(file, &marker, 1) && stdImage_Write(file, bitmap->palette, 768);
  return stdImage_EndSave("stdPcx_Save", path, &save, ok);
}
