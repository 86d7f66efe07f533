// BMP files of 24 bits per pixel.
#include "std/stdBmp.h"

#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/kv_Log.h"
#include "platform/stdByteOrder.h"
#include "std/stdBitmap.h"
#include "std/stdImage_Internal.h"

namespace {

constexpr int kHeadersSize = 54;
constexpr uint32_t kPixelsPerMetre = 2834;

// Bytes of one stored row: width x 3 padded to a multiple of 4.
int64_t StoredRowBytes(int64_t width) {
  return (width * 3 + 3) & ~int64_t{3};
}

void Refuse(const char* path, const char* message) {
  kv_Log_Printf("stdBmp: %s: %s", path, message);
}

}  // namespace

int stdBmp_Read(const char* path, Bitmap* bitmap, int arg0, int arg1) {
  if (path == nullptr || bitmap == nullptr) return 0;
  *bitmap = Bitmap{};
  const stdFile_t file = std_pHS->fileOpen(path, "rb");
  if (!file) return 0;
  stdImageReader r(file);
  uint8_t h[kHeadersSize];
  const bool whole = r.Read(h, sizeof h);
  if (!whole || h[0] != 'B' || h[1] != 'M' || stdLE_GetU32(h + 14) != 40) {
    Refuse(path, whole ? "not a BMP file with a 40-byte info header" : "truncated headers");
    std_pHS->fileClose(file);
    return 0;
  }
  const int64_t width = stdLE_GetI32(h + 18);
  const int64_t storedHeight = stdLE_GetI32(h + 22);
  const int64_t height = std::llabs(storedHeight);
  const int depth = stdImage_U16LE(h + 28);
  if (depth != 24) {
    Refuse(path, depth == 16   ? "16 bit-per-pixel BMP not yet supported."
                 : depth == 32 ? "32bit-per-pixel BMP not yet supported."
                               : "This BMP file uses a bit-depth which I do not support yet.");
    std_pHS->fileClose(file);
    return 0;
  }
  if (!stdImage_CheckSize("stdBmp", path, width, height)) {
    std_pHS->fileClose(file);
    return 0;
  }
  Bitmap* made = stdImage_NewBitmap(path, stdImage_kRGB24, static_cast<int>(width),
                                    static_cast<int>(height), false, arg0, arg1);
  if (made == nullptr) {
    Refuse(path, "Unable to allocate memory.");
    std_pHS->fileClose(file);
    return 0;
  }
  // Rows go straight to their place: bottom-up files fill the frame from the end.
  DisplayBuffer* frame = made->frames[0];
  const bool bottomUp = storedHeight > 0;
  const size_t rowBytes = static_cast<size_t>(width) * 3;
  const size_t filler = static_cast<size_t>(StoredRowBytes(width)) - rowBytes;
  bool ok = true;
  for (int k = 0; ok && k < height; ++k) {
    uint8_t* row = stdImage_Row(frame, bottomUp ? static_cast<int>(height) - 1 - k : k);
    ok = r.Read(row, rowBytes);
    r.Skip(filler);  // the last row's filler may be missing
    for (size_t x = 0; ok && x < rowBytes; x += 3) std::swap(row[x], row[x + 2]);
  }
  stdDisplay_UnlockBuffer(frame);
  std_pHS->fileClose(file);
  if (!ok) {
    Refuse(path, "Unable to read all the data from your BMP file.  It may be corrupted.");
    stdBitmap_Free(made);
    return 0;
  }
  // The caller's record takes over what was made.
  *bitmap = *made;
  std_pHS->memFree(made);
  return 1;
}

Bitmap* stdBmp_Load(const char* path, int arg0, int arg1) {
  return stdImage_LoadWith(stdBmp_Read, path, arg0, arg1);
}

int stdBmp_Save(const char* path, Bitmap* bitmap) {
  return stdImage_SaveBmpLayout("stdBmp_Save", path, bitmap, true);
}

int stdImage_SaveBmpLayout(const char* writer, const char* path, Bitmap* bitmap, bool blueFirst) {
  stdImageSave save;
  if (!stdImage_BeginSave(writer, path, bitmap, 24, false, &save)) return 0;
  const stdFile_t file = save.file;
  DisplayBuffer* frame = save.frame;
  const int width = frame->format.width;
  const int height = frame->format.height;
  const auto stored = static_cast<size_t>(StoredRowBytes(width));
  const auto imageSize = static_cast<uint32_t>(stored * static_cast<size_t>(height));
  uint8_t h[kHeadersSize] = {'B', 'M'};
  stdLE_PutU32(h + 2, kHeadersSize + imageSize);
  stdLE_PutU32(h + 10, kHeadersSize);
  stdLE_PutU32(h + 14, 40);
  stdLE_PutU32(h + 18, static_cast<uint32_t>(width));
  stdLE_PutU32(h + 22, static_cast<uint32_t>(height));
  stdImage_PutU16LE(h + 26, 1);
  stdImage_PutU16LE(h + 28, 24);
  stdLE_PutU32(h + 34, imageSize);
  stdLE_PutU32(h + 38, kPixelsPerMetre);
  stdLE_PutU32(h + 42, kPixelsPerMetre);
  bool ok = stdImage_Write(file, h, sizeof h);
  uint8_t* out = static_cast<uint8_t*>(std_pHS->memAlloc(stored, __FILE__, __LINE__));
  ok = ok && out != nullptr;
  if (ok) std::memset(out, 0, stored);
  for (int y = height - 1; ok && y >= 0; --y) {
    const uint8_t* row = stdImage_Row(frame, y);
    if (blueFirst) {
      for (int x = 0; x < width; ++x) {
        out[3 * x] = row[3 * x + 2];
        out[3 * x + 1] = row[3 * x + 1];
        out[3 * x + 2] = row[3 * x];
      }
    } else {
      std::memcpy(out, row, static_cast<size_t>(width) * 3);
    }
    ok = stdImage_Write(file, out, stored);
  }
  if (out) std_pHS->memFree(out);
  return stdImage_EndSave(writer, path, &save, ok);
}
