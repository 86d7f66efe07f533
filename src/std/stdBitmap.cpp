// Bitmaps and BM files.
#include "std/stdBitmap.h"

#include <cstring>
#include <vector>

#include "platform/kv_Log.h"
#include "platform/kv_RenderHooks.h"
#include "platform/stdByteOrder.h"
#include "std/stdColor.h"

namespace {

constexpr char kMagic[4] = {'B', 'M', ' ', ' '};
constexpr int32_t kVersion = 70;
constexpr int kHeaderSize = 128;
constexpr int kPaletteSize = 768;
constexpr const char* kConvertFailed =
    "Unable to allocate a new frame when converting image from 24 to 16bpp.";

bool ReadExact(stdFile_t file, void* buffer, size_t count) {
  return std_pHS->fileRead(file, buffer, count) == count;
}

bool WriteExact(stdFile_t file, const void* data, size_t count) {
  return std_pHS->fileWrite(file, data, count) == count;
}

bool ReadI32(stdFile_t file, int32_t* out) {
  uint8_t b[4];
  if (!ReadExact(file, b, 4)) return false;
  *out = stdLE_GetI32(b);
  return true;
}

bool WriteI32(stdFile_t file, uint32_t v) {
  uint8_t b[4];
  stdLE_PutU32(b, v);
  return WriteExact(file, b, 4);
}

void SetName(Bitmap* bitmap, const char* path) {
  const char* tail = std_PathTail(path);
  std::strncpy(bitmap->name, tail, sizeof bitmap->name - 1);
  bitmap->name[sizeof bitmap->name - 1] = '\0';
}

// Run-length stream into a frame's bytes until they are filled; a run is cut
// at the end of the frame. False when the stream ends first.
bool ReadRle(stdFile_t file, uint8_t* pixels, size_t size) {
  size_t o = 0;
  while (o < size) {
    uint8_t c;
    if (!ReadExact(file, &c, 1)) return false;
    if (c >= 0xC0) {
      uint8_t v;
      if (!ReadExact(file, &v, 1)) return false;
      size_t n = c & 0x3F;
      if (n > size - o) n = size - o;
      std::memset(pixels + o, v, n);
      o += n;
    } else {
      pixels[o++] = c;
    }
  }
  return true;
}

// Bytes left in the file after the current position; -1 when unknown.
int64_t RemainingBytes(stdFile_t file) {
  const int64_t here = std_pHS->fileTell(file);
  if (here < 0 || std_pHS->fileSeek(file, 0, 2) != 0) return -1;
  const int64_t end = std_pHS->fileTell(file);
  std_pHS->fileSeek(file, here, 0);
  return end < here ? -1 : end - here;
}

// Whether the rest of the file can hold a frame of this size in this storage
// type, so that a truncated or lying file fails before its frame is allocated.
// Raw rows are stored whole; a run-length pair gives at most 63 bytes; a packed
// frame's L bytes follow its length (read already).
bool FrameFitsInFile(stdFile_t file, int32_t storageType, int64_t byteSize, int32_t packedLength) {
  const int64_t remaining = RemainingBytes(file);
  if (remaining < 0) return true;  // the file layer cannot tell: the reads will
  switch (storageType) {
    case STDBITMAP_RAW:
      return remaining >= byteSize;
    case STDBITMAP_RLE:
      return remaining * 63 / 2 >= byteSize;
    case STDBITMAP_PACKED:
      return remaining >= packedLength;
    default:
      return true;  // no pixel data follows
  }
}

// Reads one frame's pixels into a locked, plain frame by storage type; a
// packed frame's length was read (and checked) before the frame was made.
bool ReadFramePixels(stdFile_t file, DisplayBuffer* frame, int32_t storageType,
                     int32_t packedLength) {
  const BufferFormat& f = frame->format;
  const size_t rowBytes = static_cast<size_t>(f.width) * (f.format.bitsPerPixel / 8);
  auto* pixels = static_cast<uint8_t*>(frame->pixels);
  switch (storageType) {
    case STDBITMAP_RAW:
      for (int y = 0; y < f.height; ++y) {
        if (!ReadExact(file, pixels + static_cast<size_t>(y) * f.bytesPerRow, rowBytes)) {
          return false;
        }
      }
      return true;
    case STDBITMAP_RLE:
      return ReadRle(file, pixels, static_cast<size_t>(f.byteSize));
    case STDBITMAP_PACKED: {
      const int32_t length = packedLength;
      if (length == f.byteSize) {
        return ReadExact(file, pixels, static_cast<size_t>(length));
      }
      auto* packed = static_cast<uint8_t*>(
          std_pHS->memAlloc(static_cast<size_t>(length > 0 ? length : 1), __FILE__, __LINE__));
      if (packed == nullptr) return false;
      if (!ReadExact(file, packed, static_cast<size_t>(length))) {
        std_pHS->memFree(packed);
        return false;
      }
      // The frame stays packed in memory. Its lock is given back first, since
      // a packed buffer takes no locks.
      stdDisplay_UnlockBuffer(frame);
      std_pHS->memFree(frame->pixels);
      frame->pixels = packed;
      frame->format.byteSize = length;
      frame->storage = STDDISPLAY_PACKED;
      return true;
    }
    default:
      return true;  // no pixel data follows
  }
}

// Writes one row run-length coded; false on a short write.
bool WriteRleRow(stdFile_t file, const uint8_t* row, int count, std::vector<uint8_t>& scratch) {
  scratch.resize(static_cast<size_t>(count) * 2 + 2);
  const int n = stdBitmap_EncodeRow(scratch.data(), row, count);
  return WriteExact(file, scratch.data(), static_cast<size_t>(n));
}

bool WriteFrame(stdFile_t file, DisplayBuffer* frame, int32_t storageType) {
  const BufferFormat& f = frame->format;
  if (!WriteI32(file, static_cast<uint32_t>(f.width)) ||
      !WriteI32(file, static_cast<uint32_t>(f.height))) {
    return false;
  }
  const int bytesPerPixel = f.format.bitsPerPixel / 8;
  const size_t rowBytes = static_cast<size_t>(f.width) * bytesPerPixel;

  if (storageType == STDBITMAP_PACKED) {
    // Packed bytes for a packed frame, raw pixels otherwise.
    const bool plain = frame->storage == STDDISPLAY_PLAIN;
    if (plain && !stdDisplay_LockBuffer(frame)) return false;
    bool ok = frame->pixels != nullptr &&
              WriteI32(file, static_cast<uint32_t>(frame->format.byteSize)) &&
              WriteExact(file, frame->pixels, static_cast<size_t>(frame->format.byteSize));
    if (plain) stdDisplay_UnlockBuffer(frame);
    return ok;
  }
  if (storageType != STDBITMAP_RAW && storageType != STDBITMAP_RLE) return true;

  // Rows of raw or run-length frames come from plain pixels only.
  if (frame->storage != STDDISPLAY_PLAIN) {
    kv_Log_Printf("stdBitmap_WriteFile: a packed frame cannot be written as storage type %d",
                  storageType);
    return false;
  }
  if (storageType == STDBITMAP_RLE && bytesPerPixel != 1) {
    kv_Log_Printf("stdBitmap_WriteFile: run-length storage needs 8-bit frames, not %d bits",
                  f.format.bitsPerPixel);
    return false;
  }
  if (!stdDisplay_LockBuffer(frame)) return false;
  bool ok = frame->pixels != nullptr;
  std::vector<uint8_t> scratch;
  for (int y = 0; ok && y < f.height; ++y) {
    const uint8_t* row =
        static_cast<const uint8_t*>(frame->pixels) + static_cast<size_t>(y) * f.bytesPerRow;
    ok = storageType == STDBITMAP_RAW ? WriteExact(file, row, rowBytes)
                                      : WriteRleRow(file, row, f.width, scratch);
  }
  stdDisplay_UnlockBuffer(frame);
  return ok;
}

// A new 16-bit buffer from a plain 24-bit one, pixel by pixel.
DisplayBuffer* BufferTo16(DisplayBuffer* source, bool is565) {
  if (source == nullptr || source->storage != STDDISPLAY_PLAIN ||
      source->format.format.bitsPerPixel != 24) {
    return nullptr;
  }
  BufferFormat f{};
  f.width = source->format.width;
  f.height = source->format.height;
  f.format = ColorFormat{1, 16, 5, is565 ? 6 : 5, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  DisplayBuffer* result = stdDisplay_NewBuffer(&f, 0, 0, nullptr);
  if (result == nullptr) return nullptr;
  const int sourceLocked = stdDisplay_LockBuffer(source);
  const int resultLocked = stdDisplay_LockBuffer(result);
  if (source->pixels != nullptr && result->pixels != nullptr) {
    for (int y = 0; y < f.height; ++y) {
      const uint8_t* s = static_cast<const uint8_t*>(source->pixels) +
                         static_cast<size_t>(y) * source->format.bytesPerRow;
      uint8_t* d = static_cast<uint8_t*>(result->pixels) +
                   static_cast<size_t>(y) * result->format.bytesPerRow;
      for (int x = 0; x < f.width; ++x, s += 3, d += 2) {
        const uint32_t v = is565 ? ((s[0] >> 3u) << 11 | (s[1] >> 2u) << 5 | (s[2] >> 3u))
                                 : ((s[2] >> 3u) << 10 | (s[1] >> 3u) << 5 | (s[0] >> 3u));
        d[0] = static_cast<uint8_t>(v);
        d[1] = static_cast<uint8_t>(v >> 8);
      }
    }
  }
  if (resultLocked) stdDisplay_UnlockBuffer(result);
  if (sourceLocked) stdDisplay_UnlockBuffer(source);
  return result;
}

Bitmap* ConvertTo16(Bitmap* bitmap, bool is565) {
  if (bitmap == nullptr || bitmap->frames == nullptr) return bitmap;
  for (int i = 0; i < bitmap->frameCount; ++i) {
    DisplayBuffer* old = bitmap->frames[i];
    if (old == nullptr) continue;
    DisplayBuffer* converted = BufferTo16(old, is565);
    stdDisplay_FreeBuffer(old);
    bitmap->frames[i] = converted;
    if (converted == nullptr) std_pHS->assertFail(kConvertFailed, __FILE__, __LINE__);
  }
  if (bitmap->frameCount > 0 && bitmap->frames[0] != nullptr) {
    bitmap->format = bitmap->frames[0]->format.format;
  }
  return bitmap;
}

}  // namespace

int stdBitmap_EncodeRow(uint8_t* out, const uint8_t* row, int count) {
  int o = 0;
  int i = 0;
  while (i < count) {
    int run = 1;
    while (i + run < count && run < 63 && row[i + run] == row[i]) ++run;
    if (run >= 2) {
      out[o++] = static_cast<uint8_t>(0xC0 + run);
      out[o++] = row[i];
    } else if (row[i] >= 0xC0) {
      out[o++] = 0xC1;
      out[o++] = row[i];
    } else {
      out[o++] = row[i];
    }
    i += run;
  }
  return o;
}

int stdBitmap_Init(Bitmap* bitmap, int frameCount, uint8_t* palette, int32_t storageType,
                   uint32_t flags, const ColorFormat* format) {
  if (bitmap == nullptr || frameCount < 0) return 0;
  *bitmap = Bitmap{};
  const size_t bytes =
      sizeof(DisplayBuffer*) * static_cast<size_t>(frameCount > 0 ? frameCount : 1);
  bitmap->frames = static_cast<DisplayBuffer**>(std_pHS->memAlloc(bytes, __FILE__, __LINE__));
  if (bitmap->frames == nullptr) return 0;
  std::memset(bitmap->frames, 0, bytes);
  bitmap->storageType = storageType;
  bitmap->flags = flags;
  if (format != nullptr) bitmap->format = *format;
  bitmap->frameCount = frameCount;
  bitmap->palette = palette;
  return 1;
}

Bitmap* stdBitmap_New(int frameCount, uint8_t* palette, int32_t storageType, uint32_t flags,
                      const ColorFormat* format) {
  auto* bitmap = static_cast<Bitmap*>(std_pHS->memAlloc(sizeof(Bitmap), __FILE__, __LINE__));
  if (bitmap == nullptr) return nullptr;
  if (!stdBitmap_Init(bitmap, frameCount, palette, storageType, flags, format)) {
    std_pHS->memFree(bitmap);
    return nullptr;
  }
  return bitmap;
}

void stdBitmap_SetFrame(Bitmap* bitmap, int index, DisplayBuffer* buffer) {
  if (bitmap == nullptr || bitmap->frames == nullptr || index < 0 || index >= bitmap->frameCount) {
    kv_Log_Printf("stdBitmap_SetFrame: frame %d is outside the bitmap", index);
    return;
  }
  bitmap->frames[index] = buffer;
}

void stdBitmap_FreeFrames(Bitmap* bitmap) {
  if (bitmap == nullptr) return;
  if (bitmap->frames != nullptr) {
    for (int i = 0; i < bitmap->frameCount; ++i) {
      if (bitmap->frames[i] != nullptr) stdDisplay_FreeBuffer(bitmap->frames[i]);
    }
    std_pHS->memFree(bitmap->frames);
    bitmap->frames = nullptr;
  }
  if (bitmap->palette != nullptr) {
    std_pHS->memFree(bitmap->palette);
    bitmap->palette = nullptr;
  }
}

void stdBitmap_Free(Bitmap* bitmap) {
  if (bitmap == nullptr) return;
  stdBitmap_FreeFrames(bitmap);
  std_pHS->memFree(bitmap);
}

int stdBitmap_ReadFile(stdFile_t file, Bitmap* bitmap, int arg0, int arg1) {
  if (file == 0 || bitmap == nullptr) return 0;
  uint8_t h[kHeaderSize];
  if (!ReadExact(file, h, sizeof h)) return 0;
  if (std::memcmp(h, kMagic, 4) != 0 || stdLE_GetI32(h + 4) != kVersion) return 0;

  const int32_t storageType = stdLE_GetI32(h + 8);
  const auto flags = static_cast<uint32_t>(stdLE_GetI32(h + 12));
  const int32_t frameCount = stdLE_GetI32(h + 16);
  ColorFormat format;
  int32_t* fields = &format.colorMode;
  for (int i = 0; i < 14; ++i) fields[i] = stdLE_GetI32(h + 32 + 4 * i);
  // A file may hold no frames at all: then only its palette follows.
  if (frameCount < 0 || frameCount > stdBitmap_kMaxFrames) {
    kv_Log_Printf("stdBitmap: bad frame count %d", frameCount);
    return 0;
  }
  if (!stdBitmap_Init(bitmap, frameCount, nullptr, storageType, flags, &format)) return 0;
  bitmap->xOffset = stdLE_GetI32(h + 20);
  bitmap->yOffset = stdLE_GetI32(h + 24);
  bitmap->colorKey = static_cast<uint32_t>(stdLE_GetI32(h + 28));

  // Every frame gets a buffer of its decoded size, whatever its storage type
  // (also one that carries no pixel data): their sum is bounded before each
  // frame is made, so a small file cannot ask for gigabytes.
  int64_t decodedBytes = 0;
  for (int i = 0; i < frameCount; ++i) {
    int32_t width, height;
    if (!ReadI32(file, &width) || !ReadI32(file, &height)) return 0;
    if (width < 1 || height < 1 || width > stdBitmap_kMaxDimension ||
        height > stdBitmap_kMaxDimension) {
      kv_Log_Printf("stdBitmap: bad frame size %dx%d", width, height);
      return 0;
    }
    BufferFormat f{};
    f.width = width;
    f.height = height;
    f.format = format;
    if (!stdDisplay_ComputeFormatSizes(&f)) {
      kv_Log_Printf("stdBitmap: frame %d of %dx%d at %d bits per pixel cannot be made", i, width,
                    height, format.bitsPerPixel);
      return 0;
    }
    decodedBytes += f.byteSize;
    if (decodedBytes > stdBitmap_kMaxDecodedBytes) {
      kv_Log_Printf("stdBitmap: frames 0 to %d decode to more than %lld bytes", i,
                    static_cast<long long>(stdBitmap_kMaxDecodedBytes));
      return 0;
    }
    int32_t packedLength = 0;
    if (storageType == STDBITMAP_PACKED) {
      if (!ReadI32(file, &packedLength)) return 0;
      if (packedLength < 0 || packedLength > f.byteSize) {
        kv_Log_Printf("stdBitmap: packed frame length %d does not fit a frame of %d bytes",
                      packedLength, f.byteSize);
        return 0;
      }
    }
    if (!FrameFitsInFile(file, storageType, f.byteSize, packedLength)) {
      kv_Log_Printf("stdBitmap: frame %d of %dx%d is larger than the rest of the file", i, width,
                    height);
      return 0;
    }
    DisplayBuffer* frame = stdDisplay_NewBuffer(&f, arg0, arg1, nullptr);
    if (frame == nullptr) return 0;
    bitmap->frames[i] = frame;
    stdDisplay_LockBuffer(frame);
    if (!ReadFramePixels(file, frame, storageType, packedLength)) {
      stdDisplay_UnlockBuffer(frame);
      return 0;
    }
    stdDisplay_UnlockBuffer(frame);
    if (flags & STDBITMAP_COLORKEY) stdDisplay_SetBufferColorKey(frame, bitmap->colorKey);
  }

  if (flags & STDBITMAP_PALETTE) {
    bitmap->palette = static_cast<uint8_t*>(std_pHS->memAlloc(kPaletteSize, __FILE__, __LINE__));
    if (bitmap->palette == nullptr) return 0;
    if (!ReadExact(file, bitmap->palette, kPaletteSize)) return 0;
  }
  return 1;
}

Bitmap* stdBitmap_LoadFromFile(stdFile_t file, int arg0, int arg1) {
  auto* bitmap = static_cast<Bitmap*>(std_pHS->memAlloc(sizeof(Bitmap), __FILE__, __LINE__));
  if (bitmap == nullptr) return nullptr;
  *bitmap = Bitmap{};
  if (!stdBitmap_ReadFile(file, bitmap, arg0, arg1)) {
    stdBitmap_Free(bitmap);
    return nullptr;
  }
  return bitmap;
}

int stdBitmap_LoadInto(const char* path, Bitmap* bitmap, int arg0, int arg1) {
  if (path == nullptr || bitmap == nullptr) return 0;
  const stdFile_t file = std_pHS->fileOpen(path, "rb");
  if (file == 0) return 0;
  const int result = stdBitmap_ReadFile(file, bitmap, arg0, arg1);
  SetName(bitmap, path);
  std_pHS->fileClose(file);
  return result;
}

Bitmap* stdBitmap_Load(const char* path, int arg0, int arg1) {
  auto* bitmap = static_cast<Bitmap*>(std_pHS->memAlloc(sizeof(Bitmap), __FILE__, __LINE__));
  if (bitmap == nullptr) return nullptr;
  *bitmap = Bitmap{};
  if (!stdBitmap_LoadInto(path, bitmap, arg0, arg1)) {
    stdBitmap_Free(bitmap);
    return nullptr;
  }
  return bitmap;
}

int stdBitmap_WriteFile(stdFile_t file, Bitmap* bitmap) {
  if (file == 0 || bitmap == nullptr) return 0;
  if (bitmap->frameCount > 0 && bitmap->frames == nullptr) return 0;
  uint8_t h[kHeaderSize] = {};
  std::memcpy(h, kMagic, 4);
  stdLE_PutU32(h + 4, kVersion);
  stdLE_PutU32(h + 8, static_cast<uint32_t>(bitmap->storageType));
  stdLE_PutU32(h + 12, bitmap->flags);
  stdLE_PutU32(h + 16, static_cast<uint32_t>(bitmap->frameCount));
  stdLE_PutU32(h + 20, static_cast<uint32_t>(bitmap->xOffset));
  stdLE_PutU32(h + 24, static_cast<uint32_t>(bitmap->yOffset));
  stdLE_PutU32(h + 28, bitmap->colorKey);
  const int32_t* fields = &bitmap->format.colorMode;
  for (int i = 0; i < 14; ++i) stdLE_PutU32(h + 32 + 4 * i, static_cast<uint32_t>(fields[i]));
  if (!WriteExact(file, h, sizeof h)) return 0;

  for (int i = 0; i < bitmap->frameCount; ++i) {
    DisplayBuffer* frame = bitmap->frames[i];
    if (frame == nullptr) {
      kv_Log_Printf("stdBitmap_WriteFile: frame %d is missing", i);
      return 0;
    }
    if (!WriteFrame(file, frame, bitmap->storageType)) return 0;
  }

  if (bitmap->flags & STDBITMAP_PALETTE) {
    if (bitmap->palette == nullptr || !WriteExact(file, bitmap->palette, kPaletteSize)) return 0;
  }
  return 1;
}

int stdBitmap_Save(const char* path, Bitmap* bitmap) {
  if (path == nullptr || bitmap == nullptr) return 0;
  const stdFile_t file = std_pHS->fileOpen(path, "wb+");
  if (file == 0) return 0;
  const int result = stdBitmap_WriteFile(file, bitmap);
  std_pHS->fileClose(file);
  return result;
}

Bitmap* stdBitmap_NewFromBuffer(DisplayBuffer* buffer, int arg0, int arg1) {
  if (buffer == nullptr) return nullptr;
  if (buffer->storage != STDDISPLAY_PLAIN) {
    kv_Log_Printf("stdBitmap_NewFromBuffer: a packed buffer cannot be copied");
    return nullptr;
  }
  auto* bitmap = static_cast<Bitmap*>(std_pHS->memAlloc(sizeof(Bitmap), __FILE__, __LINE__));
  if (bitmap == nullptr) return nullptr;
  *bitmap = Bitmap{};
  bitmap->storageType = STDBITMAP_RAW;
  bitmap->flags = buffer->palette != nullptr ? STDBITMAP_PALETTE : 0u;
  bitmap->frameCount = 1;
  bitmap->frames =
      static_cast<DisplayBuffer**>(std_pHS->memAlloc(sizeof(DisplayBuffer*), __FILE__, __LINE__));
  if (bitmap->frames == nullptr) {
    stdBitmap_Free(bitmap);
    return nullptr;
  }
  bitmap->frames[0] = nullptr;
  DisplayBuffer* frame = stdDisplay_NewBuffer(&buffer->format, arg0, arg1, nullptr);
  if (frame == nullptr) {
    stdBitmap_Free(bitmap);
    return nullptr;
  }
  bitmap->frames[0] = frame;

  // The source is locked for the copy and unlocked after it, so the
  // caller's own locks stay as they were.
  const int locked = stdDisplay_LockBuffer(buffer);
  kv_RenderHooks_Blit(frame, frame->surface, buffer, buffer->surface, 0, 0, nullptr, 0);
  if (locked) stdDisplay_UnlockBuffer(buffer);

  bitmap->format = frame->format.format;
  if (bitmap->flags & STDBITMAP_PALETTE) {
    bitmap->palette = static_cast<uint8_t*>(std_pHS->memAlloc(kPaletteSize, __FILE__, __LINE__));
    if (bitmap->palette == nullptr) {
      stdBitmap_Free(bitmap);
      return nullptr;
    }
    std::memcpy(bitmap->palette, buffer->palette, kPaletteSize);
  }
  return bitmap;
}

int stdBitmap_GetMemorySize(const Bitmap* bitmap) {
  if (bitmap == nullptr) return 0;
  int64_t size = sizeof(Bitmap);
  if (bitmap->frames != nullptr) {
    for (int i = 0; i < bitmap->frameCount; ++i) {
      const DisplayBuffer* frame = bitmap->frames[i];
      if (frame != nullptr && frame->pageFlag == 0) size += frame->format.byteSize;
    }
  }
  return size > INT32_MAX ? INT32_MAX : static_cast<int>(size);
}

void stdBitmap_PackFrames(Bitmap* bitmap) {
  if (bitmap == nullptr) return;
  if (bitmap->frames != nullptr) {
    for (int i = 0; i < bitmap->frameCount; ++i) stdDisplay_PackBuffer(bitmap->frames[i]);
  }
  bitmap->storageType = STDBITMAP_PACKED;
}

void stdBitmap_UnpackFrames(Bitmap* bitmap) {
  if (bitmap == nullptr) return;
  if (bitmap->frames != nullptr) {
    for (int i = 0; i < bitmap->frameCount; ++i) stdDisplay_UnpackBuffer(bitmap->frames[i]);
  }
  bitmap->storageType = STDBITMAP_RAW;
}

void stdBitmap_ConvertFormat(const ColorFormat* newFormat, Bitmap* bitmap) {
  if (newFormat == nullptr || bitmap == nullptr) return;
  if (std::memcmp(newFormat, &bitmap->format, sizeof(ColorFormat)) == 0) return;
  if (newFormat->colorMode == 0 && bitmap->format.colorMode == 0) return;
  if (bitmap->frames != nullptr) {
    for (int i = 0; i < bitmap->frameCount; ++i) {
      DisplayBuffer* frame = bitmap->frames[i];
      if (frame == nullptr || frame->storage != STDDISPLAY_PLAIN) continue;
      DisplayBuffer* converted = stdDisplay_ConvertBuffer(newFormat, frame);
      if (converted == nullptr) {
        // The old frame is unchanged and stays in place.
        std_pHS->assertFail(kConvertFailed, __FILE__, __LINE__);
        continue;
      }
      bitmap->frames[i] = converted;
      if (bitmap->flags & STDBITMAP_COLORKEY) {
        stdDisplay_SetBufferColorKey(converted, converted->colorKey);
      }
    }
  }
  if (bitmap->flags & STDBITMAP_COLORKEY) {
    bitmap->colorKey = stdColor_ConvertColor(newFormat, bitmap->colorKey, &bitmap->format);
  }
  bitmap->format = *newFormat;
}

Bitmap* stdBitmap_ConvertTo555(Bitmap* bitmap) {
  return ConvertTo16(bitmap, false);
}
Bitmap* stdBitmap_ConvertTo565(Bitmap* bitmap) {
  return ConvertTo16(bitmap, true);
}
DisplayBuffer* stdBitmap_BufferTo555(DisplayBuffer* buffer) {
  return BufferTo16(buffer, false);
}
DisplayBuffer* stdBitmap_BufferTo565(DisplayBuffer* buffer) {
  return BufferTo16(buffer, true);
}
