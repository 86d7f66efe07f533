// Display devices, video modes and display buffers.
#include "std/stdDisplay.h"

#include <cstring>
#include <initializer_list>

#include "gfx/kv_RenderContext.h"
#include "gfx/kv_Surface.h"
#include "platform/kv_Log.h"
#include "platform/kv_RenderHooks.h"
#include "std/std.h"
#include "std/stdColor.h"
#include "std/stdCompress.h"

DisplayBuffer stdDisplay_frontBuffer;
DisplayBuffer stdDisplay_backBuffer;
int stdDisplay_numVideoModes = 0;
int stdDisplay_bEverModeSet = 0;

namespace {

constexpr int kMaxDevices = 4;
constexpr uint32_t kSurfaceFormat565 = 5;

DisplayDevice g_devices[kMaxDevices];
int g_deviceCount = 0;
bool g_started = false;
bool g_open = false;
int g_currentDevice = -1;
VideoMode g_modes[1];
int g_currentMode = -1;
VideoMode g_currentVideoMode;
bool g_modeSet = false;

const ColorFormat kFormat565 = {1, 16, 5, 6, 5, 11, 5, 0, 3, 2, 3, 0, 0, 0};

bool IsPlainWithPixels(const DisplayBuffer* b) {
  return b != nullptr && b->storage == STDDISPLAY_PLAIN && b->pixels != nullptr;
}

uint8_t* Row(const DisplayBuffer* b, int y) {
  return static_cast<uint8_t*>(b->pixels) + static_cast<size_t>(y) * b->format.bytesPerRow;
}

// Drops the static buffers' pixel pointers and surfaces of the previous mode.
void DropStaticBuffers(void) {
  for (DisplayBuffer* b : {&stdDisplay_frontBuffer, &stdDisplay_backBuffer}) {
    if (b->surface != nullptr && b->lockCount > 0) kv_Surface_Unlock(b->surface, &b->pixels);
    if (b->surface != nullptr) kv_Surface_Release(b->surface);
    b->surface = nullptr;
    b->pixels = nullptr;
    b->lockCount = 0;
  }
  kv_RenderHooks_SetSoftwareSurfaces(nullptr, nullptr);
}

void FillRow8(uint8_t* row, uint32_t value, int count) {
  std::memset(row, static_cast<int>(value & 0xFF), static_cast<size_t>(count));
}

void FillRow16(uint8_t* row, uint32_t value, int count) {
  const auto v = static_cast<uint16_t>(value);
  for (int i = 0; i < count; ++i) std::memcpy(row + 2 * i, &v, 2);
}

void FillRow32(uint8_t* row, uint32_t value, int count) {
  for (int i = 0; i < count; ++i) std::memcpy(row + 4 * i, &value, 4);
}

}  // namespace

// ---------------------------------------------------------------------------
// Devices and modes.

int stdDisplay_Startup(void) {
  DisplayDevice& d = g_devices[0];
  d = DisplayDevice{};
  std::strncpy(d.name, "Window Display Device", sizeof d.name - 1);
  std::strncpy(d.description, "DIBsection windowed display", sizeof d.description - 1);
  d.ownBuffers = 0;
  d.reserved0 = 0;
  d.reserved1 = 0;
  d.reserved2 = 1;
  d.has3DDevice = 0;
  d.reserved3 = 2000000;
  d.reserved4 = 2000000;
  g_deviceCount = 1;
  g_started = true;
  return 1;
}

void stdDisplay_Shutdown(void) {}

int stdDisplay_GetNumDevices(void) {
  return g_deviceCount;
}

const DisplayDevice* stdDisplay_GetDevice(int index) {
  return (index >= 0 && index < g_deviceCount) ? &g_devices[index] : nullptr;
}

int stdDisplay_Open(int deviceIndex) {
  if (g_open || deviceIndex < 0 || deviceIndex >= g_deviceCount) return 0;
  g_currentDevice = deviceIndex;
  if (g_devices[deviceIndex].ownBuffers == 0) {
    VideoMode& m = g_modes[0];
    m.unknown0 = 0;
    m.aspect = 1.0f;
    m.format.width = 640;
    m.format.height = 480;
    m.format.byteSize = 614400;
    m.format.bytesPerRow = 1280;
    m.format.pixelsPerRow = 640;
    m.format.format = kFormat565;
    stdDisplay_numVideoModes = 1;
  }
  g_open = true;
  return 1;
}

void stdDisplay_Close(void) {
  if (!g_open) return;
  stdDisplay_ResetMode();
  g_open = false;
  g_currentDevice = -1;
}

const DisplayDevice* stdDisplay_GetOpenDevice(void) {
  return g_open ? &g_devices[g_currentDevice] : nullptr;
}

const VideoMode* stdDisplay_GetVideoMode(int index) {
  return (index >= 0 && index < stdDisplay_numVideoModes) ? &g_modes[index] : nullptr;
}

int stdDisplay_SetMode(int modeIndex, uint8_t* palette, int clearTwice) {
  if (!g_open || modeIndex < 0 || modeIndex >= stdDisplay_numVideoModes) return 0;
  const bool ownBuffers = g_devices[g_currentDevice].ownBuffers != 0;
  // Setting a mode again gives up the previous mode's surfaces.
  if (g_modeSet && !ownBuffers) DropStaticBuffers();
  g_modeSet = false;

  g_currentMode = modeIndex;
  g_currentVideoMode = g_modes[modeIndex];
  stdDisplay_bEverModeSet = 1;

  if (!ownBuffers) {
    const BufferFormat& f = g_currentVideoMode.format;
    kvSurface* front = kv_Surface_Allocate(f.width, f.height, kSurfaceFormat565, 0);
    kvSurface* back = kv_Surface_Allocate(f.width, f.height, kSurfaceFormat565, 0);
    if (front == nullptr || back == nullptr) {
      kv_Log_Printf("stdDisplay_SetMode: unable to create the display surfaces (%ix%i)", f.width,
                    f.height);
      if (front) kv_Surface_Release(front);
      if (back) kv_Surface_Release(back);
      return 0;
    }
    const struct {
      DisplayBuffer* buffer;
      const char* name;
      kvSurface* surface;
    } pages[] = {{&stdDisplay_frontBuffer, "stdDisplay_frontBuffer", front},
                 {&stdDisplay_backBuffer, "stdDisplay_backBuffer", back}};
    for (const auto& page : pages) {
      DisplayBuffer& b = *page.buffer;
      b = DisplayBuffer{};
      b.storage = STDDISPLAY_PLAIN;
      b.lockCount = 0;
      b.pageFlag = 1;
      b.format = f;
      b.palette = palette;
      b.name = page.name;
      b.surface = page.surface;
    }
    kv_RenderHooks_SetSoftwareSurfaces(front, back);
  }

  kv_RenderHooks_FillBuffer(&stdDisplay_backBuffer, 0, nullptr);
  kv_Platform_EndFrame();
  kv_Surface_SwapContents(stdDisplay_frontBuffer.surface, stdDisplay_backBuffer.surface);
  if (clearTwice) kv_RenderHooks_FillBuffer(&stdDisplay_backBuffer, 0, nullptr);

  g_modeSet = true;
  return 1;
}

void stdDisplay_ResetMode(void) {
  if (!g_modeSet) return;
  if (g_currentDevice >= 0 && g_devices[g_currentDevice].ownBuffers == 0) DropStaticBuffers();
  g_modeSet = false;
}

int stdDisplay_IsModeSet(void) {
  return g_modeSet ? 1 : 0;
}

int stdDisplay_Flip(void) {
  kv_Platform_EndFrame();
  kv_Surface_SwapContents(stdDisplay_frontBuffer.surface, stdDisplay_backBuffer.surface);
  return 1;
}

int stdDisplay_GetCurrentDevice(DisplayDevice* /*out*/) {
  return 0;
}

int stdDisplay_FindVideoMode(const VideoMode* /*wanted*/, const VideoMode* /*modes*/,
                             int /*count*/) {
  return 0;
}

int stdDisplay_SetPalette(const uint8_t* /*palette*/) {
  return 0;
}

void stdDisplay_UpdatePalette(const uint8_t* /*palette*/) {}

int stdDisplay_DrawText(const char* text, int x, int y) {
  kv_Platform_DrawDebugText(text, x, y);
  return 1;
}

// ---------------------------------------------------------------------------
// Buffers.

int stdDisplay_ComputeFormatSizes(BufferFormat* format) {
  const int bpp = format->format.bitsPerPixel;
  if (bpp <= 0 || bpp % 8 != 0 || bpp > 32) return 0;
  if (format->width <= 0 || format->height <= 0) return 0;
  const int64_t bytesPerPixel = bpp / 8;
  const int64_t bytesPerRow = static_cast<int64_t>(format->width) * bytesPerPixel;
  const int64_t byteSize = bytesPerRow * format->height;
  if (byteSize > INT32_MAX) return 0;
  format->bytesPerRow = static_cast<int>(bytesPerRow);
  format->pixelsPerRow = static_cast<int>(bytesPerRow / bytesPerPixel);
  format->byteSize = static_cast<int>(byteSize);
  return 1;
}

DisplayBuffer* stdDisplay_NewBuffer(const BufferFormat* format, int /*reserved0*/,
                                    int /*reserved1*/, uint8_t* palette) {
  if (format == nullptr) return nullptr;
  BufferFormat f = *format;
  if (!stdDisplay_ComputeFormatSizes(&f)) {
    kv_Log_Printf("stdDisplay_NewBuffer: unusable buffer size %ix%i at %i bits per pixel",
                  format->width, format->height, format->format.bitsPerPixel);
    return nullptr;
  }
  auto* b =
      static_cast<DisplayBuffer*>(std_pHS->memAlloc(sizeof(DisplayBuffer), __FILE__, __LINE__));
  if (b == nullptr) return nullptr;
  *b = DisplayBuffer{};
  b->format = f;
  b->palette = palette;
  b->pixels = std_pHS->memAlloc(static_cast<size_t>(f.byteSize), __FILE__, __LINE__);
  if (b->pixels == nullptr) {
    std_pHS->memFree(b);
    return nullptr;
  }
  std::memset(b->pixels, 0, static_cast<size_t>(f.byteSize));
  b->lockCount = 1;
  return b;
}

void stdDisplay_FreeBuffer(DisplayBuffer* buffer) {
  if (buffer == nullptr) return;
  if (buffer->surface != nullptr) {
    // The pixels belong to the surface: unlock it and give it up.
    if (buffer->lockCount > 0) kv_Surface_Unlock(buffer->surface, &buffer->pixels);
    kv_Surface_Release(buffer->surface);
    buffer->surface = nullptr;
    buffer->pixels = nullptr;
  } else if ((buffer->storage == STDDISPLAY_PLAIN || buffer->storage == STDDISPLAY_PACKED) &&
             buffer->pixels != nullptr) {
    kv_RenderHooks_SurfaceFreed(buffer->pixels);
    if (buffer->storage == STDDISPLAY_PACKED) stdCompress_DropCached(buffer->pixels);
    std_pHS->memFree(buffer->pixels);
    buffer->pixels = nullptr;
  }
  std_pHS->memFree(buffer);
}

int stdDisplay_LockBuffer(DisplayBuffer* buffer) {
  if (buffer == nullptr || buffer->storage != STDDISPLAY_PLAIN) return 0;
  if (buffer->lockCount == 0 && buffer->surface != nullptr) {
    void* pixels = nullptr;
    int rowLength = 0;
    if (!kv_Surface_Lock(kv_RenderContext_Get(), buffer->surface, &pixels, &rowLength)) return 0;
    buffer->pixels = pixels;
  }
  ++buffer->lockCount;
  return 1;
}

int stdDisplay_UnlockBuffer(DisplayBuffer* buffer) {
  if (buffer == nullptr || buffer->storage != STDDISPLAY_PLAIN) return 1;
  if (buffer->lockCount > 0) {
    --buffer->lockCount;
    if (buffer->lockCount == 0 && buffer->surface != nullptr) {
      kv_Surface_Unlock(buffer->surface, &buffer->pixels);
      buffer->pixels = nullptr;
    }
  }
  return 1;
}

int stdDisplay_SetBufferColorKey(DisplayBuffer* buffer, uint32_t value) {
  if (buffer != nullptr && buffer->storage == STDDISPLAY_PLAIN) buffer->colorKey = value;
  return 1;
}

void stdDisplay_PackBuffer(DisplayBuffer* buffer) {
  // Only plain pixel blocks of our own are packed; a surface's pixels are not.
  if (!IsPlainWithPixels(buffer) || buffer->surface != nullptr) return;
  const int size = buffer->format.byteSize;
  if (size <= 0) return;
  void* scratch = std_pHS->memAlloc(static_cast<size_t>(size), __FILE__, __LINE__);
  if (scratch == nullptr) return;
  const int packed = stdCompress_Compress(scratch, buffer->pixels, size);
  if (packed < size) {
    std_pHS->memFree(buffer->pixels);
    buffer->pixels = scratch;
    buffer->format.byteSize = packed;
    buffer->storage = STDDISPLAY_PACKED;
  } else {
    std_pHS->memFree(scratch);
  }
}

void stdDisplay_UnpackBuffer(DisplayBuffer* buffer) {
  if (buffer == nullptr || buffer->storage != STDDISPLAY_PACKED || buffer->pixels == nullptr) {
    return;
  }
  const int64_t size = static_cast<int64_t>(buffer->format.bytesPerRow) * buffer->format.height;
  if (size <= 0 || size > INT32_MAX) return;
  auto* block =
      static_cast<uint8_t*>(std_pHS->memAlloc(static_cast<size_t>(size), __FILE__, __LINE__));
  if (block == nullptr) return;
  const int length = stdCompress_Decompress(block, static_cast<size_t>(size), buffer->pixels,
                                            buffer->format.byteSize);
  if (length < 0) {
    kv_Log_Printf("stdDisplay_UnpackBuffer: packed pixels of %s are damaged",
                  buffer->name ? buffer->name : "a buffer");
    std_pHS->memFree(block);
    return;
  }
  // A short stream leaves the rest of the picture black, not stale memory.
  std::memset(block + length, 0, static_cast<size_t>(size - length));
  stdCompress_DropCached(buffer->pixels);
  std_pHS->memFree(buffer->pixels);
  buffer->pixels = block;
  buffer->format.byteSize = length;
  buffer->storage = STDDISPLAY_PLAIN;
}

int stdDisplay_UnpackBufferInto(DisplayBuffer* source, DisplayBuffer* destination) {
  if (source == nullptr || destination == nullptr || source->storage != STDDISPLAY_PACKED ||
      source->pixels == nullptr) {
    return 0;
  }
  if (!stdDisplay_LockBuffer(destination)) return 0;
  int ok = 0;
  if (destination->pixels != nullptr) {
    const size_t capacity =
        static_cast<size_t>(destination->format.bytesPerRow) * destination->format.height;
    const int length = stdCompress_Decompress(destination->pixels, capacity, source->pixels,
                                              source->format.byteSize);
    if (length >= 0) {
      ok = 1;
    } else {
      kv_Log_Printf("stdDisplay_UnpackBufferInto: packed pixels of %s are damaged",
                    source->name ? source->name : "a buffer");
    }
    kv_RenderHooks_SurfaceChanged(destination->pixels);
  }
  stdDisplay_UnlockBuffer(destination);
  return ok;
}

DisplayBuffer* stdDisplay_ConvertBuffer(const ColorFormat* newFormat, DisplayBuffer* buffer) {
  if (buffer == nullptr || newFormat == nullptr) return nullptr;
  const ColorFormat oldFormat = buffer->format.format;
  if (std::memcmp(&oldFormat, newFormat, sizeof(ColorFormat)) == 0) return buffer;
  if (oldFormat.colorMode == 0 && newFormat->colorMode == 0) return buffer;
  if (buffer->storage != STDDISPLAY_PLAIN) {
    kv_Log_Printf("stdDisplay_ConvertBuffer: a packed buffer cannot be converted");
    return nullptr;
  }

  DisplayBuffer* result = buffer;
  if (oldFormat.bitsPerPixel != newFormat->bitsPerPixel) {
    BufferFormat f = buffer->format;
    f.format = *newFormat;
    result = stdDisplay_NewBuffer(&f, 0, 0, nullptr);
    if (result == nullptr) return nullptr;
  }

  const int resultLocked = stdDisplay_LockBuffer(result);
  const int bufferLocked = result != buffer ? stdDisplay_LockBuffer(buffer) : 0;
  if (result->pixels != nullptr && buffer->pixels != nullptr) {
    for (int y = 0; y < buffer->format.height; ++y) {
      stdColor_ConvertPixels(Row(result, y), newFormat, Row(buffer, y), &oldFormat,
                             buffer->format.width);
    }
    kv_RenderHooks_SurfaceChanged(result->pixels);
  }
  if (bufferLocked) stdDisplay_UnlockBuffer(buffer);
  if (resultLocked) stdDisplay_UnlockBuffer(result);

  result->colorKey = stdColor_ConvertColor(newFormat, buffer->colorKey, &oldFormat);
  result->format.format = *newFormat;
  if (result != buffer) stdDisplay_FreeBuffer(buffer);
  return result;
}

int stdDisplay_FillBuffer(DisplayBuffer* buffer, uint32_t value, const stdRect* rect) {
  if (!IsPlainWithPixels(buffer)) return 0;
  const int bpp = buffer->format.format.bitsPerPixel;
  void (*fillRow)(uint8_t*, uint32_t, int) = nullptr;
  switch (bpp) {
    case 8:
      fillRow = FillRow8;
      break;
    case 16:
      fillRow = FillRow16;
      break;
    case 32:
      fillRow = FillRow32;
      break;
    default:
      return 1;  // other depths: nothing
  }
  const int bytesPerPixel = bpp / 8;
  if (rect == nullptr) {
    fillRow(static_cast<uint8_t*>(buffer->pixels), value, buffer->format.byteSize / bytesPerPixel);
    return 1;
  }
  // Clip the rectangle to the buffer.
  int x0 = rect->x, y0 = rect->y;
  int64_t x1 = static_cast<int64_t>(rect->x) + rect->width;
  int64_t y1 = static_cast<int64_t>(rect->y) + rect->height;
  if (x0 < 0) x0 = 0;
  if (y0 < 0) y0 = 0;
  if (x1 > buffer->format.width) x1 = buffer->format.width;
  if (y1 > buffer->format.height) y1 = buffer->format.height;
  if (x1 <= x0 || y1 <= y0) return 1;
  for (int y = y0; y < y1; ++y) {
    fillRow(Row(buffer, y) + static_cast<size_t>(x0) * bytesPerPixel, value,
            static_cast<int>(x1 - x0));
  }
  return 1;
}

int stdDisplay_CopyRect(DisplayBuffer* destination, DisplayBuffer* source, int x, int y,
                        const stdRect* rect, int flags) {
  if (!IsPlainWithPixels(destination) || !IsPlainWithPixels(source)) return 0;
  const int bpp = source->format.format.bitsPerPixel;
  if (destination->format.format.bitsPerPixel != bpp) return 0;
  const int srcW = source->format.width, srcH = source->format.height;
  const int dstW = destination->format.width, dstH = destination->format.height;

  // The source rectangle: empty or negative sizes copy nothing.
  int64_t sx = 0, sy = 0, w = srcW, h = srcH;
  if (rect != nullptr) {
    sx = rect->x;
    sy = rect->y;
    w = rect->width;
    h = rect->height;
  }
  if (w <= 0 || h <= 0) return 0;
  int64_t dx = x, dy = y;

  // The whole source into an equal buffer in one piece.
  if (dx == 0 && dy == 0 && flags == 0 && sx == 0 && sy == 0 && w == srcW && h == srcH &&
      source->format.byteSize == destination->format.byteSize &&
      source->format.height == destination->format.height &&
      source->format.bytesPerRow == destination->format.bytesPerRow) {
    std::memmove(destination->pixels, source->pixels, static_cast<size_t>(source->format.byteSize));
    return 1;
  }

  // Clip against the source ...
  if (sx < 0) {
    dx -= sx;
    w += sx;
    sx = 0;
  }
  if (sy < 0) {
    dy -= sy;
    h += sy;
    sy = 0;
  }
  if (sx + w > srcW) w = srcW - sx;
  if (sy + h > srcH) h = srcH - sy;
  if (w <= 0 || h <= 0) return 0;
  // ... and against the destination.
  if (dx >= dstW || dx + w <= 0 || dy >= dstH || dy + h <= 0) return 0;
  if (dx < 0) {
    sx -= dx;
    w += dx;
    dx = 0;
  }
  if (dy < 0) {
    sy -= dy;
    h += dy;
    dy = 0;
  }
  if (dx + w > dstW) w = dstW - dx;
  if (dy + h > dstH) h = dstH - dy;
  if (w <= 0 || h <= 0) return 1;

  const int bytesPerPixel = bpp / 8;
  const bool keyed = (flags & STDDISPLAY_COPY_KEYED) != 0;
  const uint32_t key = source->colorKey;
  const auto columns = static_cast<size_t>(w);
  for (int64_t i = 0; i < h; ++i) {
    uint8_t* d =
        Row(destination, static_cast<int>(dy + i)) + static_cast<size_t>(dx) * bytesPerPixel;
    const uint8_t* s =
        Row(source, static_cast<int>(sy + i)) + static_cast<size_t>(sx) * bytesPerPixel;
    switch (bpp) {
      case 8:
        if (keyed) {
          const auto k = static_cast<uint8_t>(key);
          for (size_t c = 0; c < columns; ++c) {
            if (s[c] != k) d[c] = s[c];
          }
        } else {
          std::memmove(d, s, columns);
        }
        break;
      case 16:
        if (keyed) {
          const auto k = static_cast<uint16_t>(key);
          for (size_t c = 0; c < columns; ++c) {
            uint16_t v;
            std::memcpy(&v, s + 2 * c, 2);
            if (v != k) std::memcpy(d + 2 * c, &v, 2);
          }
        } else {
          std::memmove(d, s, columns * 2);
        }
        break;
      case 24:  // no keyed form
        std::memmove(d, s, columns * 3);
        break;
      case 32:
        if (keyed) {
          for (size_t c = 0; c < columns; ++c) {
            uint32_t v;
            std::memcpy(&v, s + 4 * c, 4);
            if (v != key) std::memcpy(d + 4 * c, &v, 4);
          }
        } else {
          std::memmove(d, s, columns * 4);
        }
        break;
      default:
        return 1;  // other depths copy nothing
    }
  }
  return 1;
}

int stdDisplay_Blit(DisplayBuffer* destination, DisplayBuffer* source, int x, int y,
                    const stdRect* rect, int flags) {
  if (source == nullptr || destination == nullptr || source->storage == STDDISPLAY_PACKED) return 0;
  // Locks are undone only where they were taken, so a failed lock never
  // unbalances the caller's count.
  const int sourceLocked = stdDisplay_LockBuffer(source);
  int result = 0;
  if (destination->storage == STDDISPLAY_PLAIN) {
    const int destinationLocked = stdDisplay_LockBuffer(destination);
    result = stdDisplay_CopyRect(destination, source, x, y, rect, flags);
    if (destinationLocked) stdDisplay_UnlockBuffer(destination);
  }
  if (sourceLocked) stdDisplay_UnlockBuffer(source);
  return result;
}
