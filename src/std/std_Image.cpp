// Image files by extension, and the pieces the image readers and writers share.
#include <strings.h>

#include <cstring>

#include "platform/kv_Log.h"
#include "std/std.h"
#include "std/stdBitmap.h"
#include "std/stdBmp.h"
#include "std/stdFileUtil.h"
#include "std/stdGif.h"
#include "std/stdImage_Internal.h"
#include "std/stdLbm.h"
#include "std/stdPcx.h"
#include "std/stdPic.h"

// ---- Shared pieces ------------------------------------------------------------

bool stdImageReader::Fill() {
  pos = 0;
  len = std_pHS->fileRead(file, buffer, sizeof buffer);
  consumed += static_cast<int64_t>(len);
  return len > 0;
}

bool stdImageReader::Read(void* out, size_t count) {
  auto* o = static_cast<uint8_t*>(out);
  while (count > 0) {
    if (pos == len && !Fill()) return false;
    const size_t n = count < len - pos ? count : len - pos;
    std::memcpy(o, buffer + pos, n);
    pos += n;
    o += n;
    count -= n;
  }
  return true;
}

bool stdImageReader::Skip(size_t count) {
  while (count > 0) {
    if (pos == len && !Fill()) return false;
    const size_t n = count < len - pos ? count : len - pos;
    pos += n;
    count -= n;
  }
  return true;
}

bool stdImage_Write(stdFile_t file, const void* data, size_t count) {
  return std_pHS->fileWrite(file, data, count) == count;
}

bool stdImage_WriteU16LE(stdFile_t file, uint32_t value) {
  uint8_t b[2];
  stdImage_PutU16LE(b, value);
  return stdImage_Write(file, b, 2);
}

bool stdImage_WriteU32LE(stdFile_t file, uint32_t value) {
  const uint8_t b[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                        static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  return stdImage_Write(file, b, 4);
}

bool stdImage_CheckSize(const char* reader, const char* path, int64_t width, int64_t height) {
  if (width >= 1 && height >= 1 && width <= stdBitmap_kMaxDimension &&
      height <= stdBitmap_kMaxDimension) {
    return true;
  }
  kv_Log_Printf("%s: %s: bad image size %lldx%lld", reader, path, static_cast<long long>(width),
                static_cast<long long>(height));
  return false;
}

Bitmap* stdImage_NewBitmap(const char* path, const ColorFormat& format, int width, int height,
                           bool withPalette, int arg0, int arg1) {
  uint8_t* palette = nullptr;
  if (withPalette) {
    palette = static_cast<uint8_t*>(std_pHS->memAlloc(768, __FILE__, __LINE__));
    if (palette == nullptr) return nullptr;
    std::memset(palette, 0, 768);
  }
  Bitmap* bitmap =
      stdBitmap_New(1, palette, STDBITMAP_RAW, withPalette ? STDBITMAP_PALETTE : 0u, &format);
  if (bitmap == nullptr) {
    if (palette) std_pHS->memFree(palette);
    return nullptr;
  }
  const char* tail = std_PathTail(path);
  std::strncpy(bitmap->name, tail, sizeof bitmap->name - 1);
  bitmap->name[sizeof bitmap->name - 1] = '\0';
  BufferFormat f{};
  f.width = width;
  f.height = height;
  f.format = format;
  DisplayBuffer* frame = stdDisplay_NewBuffer(&f, arg0, arg1, nullptr);
  if (frame == nullptr || !stdDisplay_LockBuffer(frame) || frame->pixels == nullptr) {
    stdDisplay_FreeBuffer(frame);
    stdBitmap_Free(bitmap);
    return nullptr;
  }
  bitmap->frames[0] = frame;
  return bitmap;
}

bool stdImage_BeginSave(const char* writer, const char* path, Bitmap* bitmap, int bitsPerPixel,
                        bool needsPalette, stdImageSave* save) {
  *save = stdImageSave{};
  if (path == nullptr || bitmap == nullptr) return false;
  DisplayBuffer* frame = bitmap->frameCount > 0 && bitmap->frames ? bitmap->frames[0] : nullptr;
  const char* problem = nullptr;
  if (frame == nullptr) {
    problem = "the bitmap has no frame";
  } else if (frame->format.format.bitsPerPixel != bitsPerPixel) {
    kv_Log_Printf("%s: %s: Only %dbpp supported", writer, path, bitsPerPixel);
    return false;
  } else if (needsPalette && bitmap->palette == nullptr) {
    problem = "the bitmap has no palette";
  } else if (!stdDisplay_LockBuffer(frame)) {
    problem = "the frame cannot be locked (it is packed)";
  } else if (frame->pixels == nullptr) {
    stdDisplay_UnlockBuffer(frame);
    problem = "the frame has no pixels";
  }
  if (problem) {
    kv_Log_Printf("%s: %s: %s", writer, path, problem);
    return false;
  }
  save->file = std_pHS->fileOpen(path, "wb");
  if (!save->file) {
    stdDisplay_UnlockBuffer(frame);
    return false;
  }
  save->frame = frame;
  return true;
}

int stdImage_EndSave(const char* writer, const char* path, stdImageSave* save, bool ok) {
  stdDisplay_UnlockBuffer(save->frame);
  const bool closed = std_pHS->fileClose(save->file) == 0;
  *save = stdImageSave{};
  if (!ok || !closed) {
    kv_Log_Printf("%s: %s: a write failed", writer, path);
    return 0;
  }
  return 1;
}

Bitmap* stdImage_LoadWith(int (*read)(const char*, Bitmap*, int, int), const char* path, int arg0,
                          int arg1) {
  auto* bitmap = static_cast<Bitmap*>(std_pHS->memAlloc(sizeof(Bitmap), __FILE__, __LINE__));
  if (bitmap == nullptr) return nullptr;
  if (!read(path, bitmap, arg0, arg1)) {
    std_pHS->memFree(bitmap);
    return nullptr;
  }
  return bitmap;
}

// ---- By extension -------------------------------------------------------------

namespace {

// Appends ".lbm" when it fits the caller's buffer; false otherwise.
bool AppendLbm(char* path, size_t capacity) {
  const size_t length = std::strlen(path);
  if (length + 5 > capacity) {
    kv_Log_Printf("std_LoadImage: %s: no room to add \".lbm\"", path);
    return false;
  }
  std::memcpy(path + length, ".lbm", 5);
  return true;
}

}  // namespace

Bitmap* std_LoadImage(char* path, size_t capacity, int arg0, int arg1) {
  if (path == nullptr) return nullptr;
  const char* extension = std::strrchr(path, '.');
  if (extension == nullptr) {
    if (!AppendLbm(path, capacity)) return nullptr;
    extension = std::strrchr(path, '.');
  }
  if (strncasecmp(extension, ".lbm", 4) == 0) return stdLbm_Load(path, arg0, arg1);
  if (strncasecmp(extension, ".pcx", 4) == 0) return stdPcx_Load(path, arg0, arg1);
  if (strncasecmp(extension, ".gif", 4) == 0) return stdGif_Load(path, arg0, arg1);
  if (strncasecmp(extension, ".bm", 4) == 0 || strncasecmp(extension, ".zbm", 4) == 0) {
    return stdBitmap_Load(path, arg0, arg1);
  }
  if (strncasecmp(extension, ".pic", 4) == 0) return stdPic_Load(path, arg0, arg1);
  if (strncasecmp(extension, ".bmp", 4) == 0) return stdBmp_Load(path, arg0, arg1);
  return nullptr;
}

Bitmap* std_LoadImageUnpacked(char* path, size_t capacity, int arg0, int arg1) {
  Bitmap* bitmap = std_LoadImage(path, capacity, arg0, arg1);
  if (bitmap) stdBitmap_UnpackFrames(bitmap);
  return bitmap;
}

int std_SaveImage(char* path, size_t capacity, Bitmap* bitmap) {
  if (path == nullptr || bitmap == nullptr) return 0;
  const char* extension = stdFileName_GetExtension(path);
  if (extension == nullptr) {
    if (!AppendLbm(path, capacity)) return 0;
    extension = "lbm";
  }
  const bool isBm = strncasecmp(extension, "bm", 4) == 0;
  const bool isZbm = strncasecmp(extension, "zbm", 4) == 0;
  if (!isBm && !isZbm) stdBitmap_UnpackFrames(bitmap);
  if (strncasecmp(extension, "lbm", 4) == 0) return stdLbm_Save(path, bitmap);
  if (strncasecmp(extension, "pcx", 4) == 0) return stdPcx_Save(path, bitmap);
  if (strncasecmp(extension, "gif", 4) == 0) return stdGif_Save(path, bitmap);
  if (isBm) return stdBitmap_Save(path, bitmap);
  if (isZbm) {
    // Depth images: colour mode 5 on the bitmap and every frame.
    bitmap->format.colorMode = 5;
    for (int i = 0; bitmap->frames && i < bitmap->frameCount; ++i) {
      if (bitmap->frames[i]) bitmap->frames[i]->format.format.colorMode = 5;
    }
    return stdBitmap_Save(path, bitmap);
  }
  if (strncasecmp(extension, "bmp", 4) == 0) return stdBmp_Save(path, bitmap);
  return 0;
}
