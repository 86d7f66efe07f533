#include "gfx/kv_Surface.h"

#include <GL/glew.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "gfx/kv_RenderContext.h"
#include "platform/kv_Log.h"
#include "platform/kv_Platform.h"

namespace {

// The texture unit binding changed behind the context record's back: the next
// draw must bind its textures again.
void NoteTextureBindingChanged(void) {
  kv_RenderContext_Get()->texturesDirty = 1;
}

bool IsCompressed(uint32_t format) {
  return format >= kvFormat_DXT1 && format <= kvFormat_DXT5;
}

void SetLevelRange(kvSurface* surface, int maxLevel) {
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, maxLevel);
  kv_GL_CheckErrors();
  glBindTexture(GL_TEXTURE_2D, 0);
  (void)surface;
  NoteTextureBindingChanged();
}

}  // namespace

kvSurfaceFormatInfo kv_Surface_GetFormatInfo(uint32_t format, bool singleChannel) {
  switch (format) {
    case kvFormat_8x1:
      return {true, "8x1", 1, GL_R8, GL_RED, GL_UNSIGNED_BYTE, 0};
    case kvFormat_8x4:
      return {true, "8x4", 4, GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, 0};
    case kvFormat_8x4_RGB:
      return {true, "8x4_RGB", 4, GL_RGBA8, GL_RGBA, GL_UNSIGNED_INT_8_8_8_8_REV, 0};
    case kvFormat_565:
      return {true, "565", 2, GL_RGBA8, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, 0};
    case kvFormat_Fx1:
      return {true, "Fx1", 4, GL_R32F, GL_RED, GL_FLOAT, 0};
    case kvFormat_Fx2:
      return {true, "Fx2", 8, GL_RG32F, GL_RG, GL_FLOAT, 0};
    case kvFormat_Fx3:
      return {true, "Fx3", 12, GL_RGB32F, GL_RGB, GL_FLOAT, 0};
    case kvFormat_Fx4:
      return {true, "Fx4", 16, GL_RGBA32F, GL_RGBA, GL_FLOAT, 0};
    // Half floats keep 32-bit floats on the CPU; GL converts them on upload.
    case kvFormat_F16x1:
      return {true, "F16x1", 4, GL_R16F, GL_RED, GL_FLOAT, 0};
    case kvFormat_F16x2:
      return {true, "F16x2", 8, GL_RG16F, GL_RG, GL_FLOAT, 0};
    case kvFormat_F16x4:
      return {true, "F16x4", 16, GL_RGBA16F, GL_RGBA, GL_FLOAT, 0};
    case kvFormat_U16x1:
      // GL_RGB565 as a sized internal format is core only from 4.1: 5-6-5 data
      // goes into GL_RGB8 storage.
      if (singleChannel) return {true, "U16x1", 2, GL_R16, GL_RED, GL_UNSIGNED_SHORT, 0};
      return {true, "U16x1", 2, GL_RGB8, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, 0};
    case kvFormat_DXT1:
      return {true, "DXT1", 0, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 0, 0, 8};
    case kvFormat_DXT3:
      return {true, "DXT3", 0, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, 0, 16};
    case kvFormat_DXT5:
      return {true, "DXT5", 0, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, 0, 16};
    default:
      return {false, "Unknown", 0, 0, 0, 0, 0};
  }
}

int kv_Surface_BytesPerPixel(uint32_t format) {
  return kv_Surface_GetFormatInfo(format, false).bytesPerPixel;
}

const char* kv_Surface_GetFormatName(uint32_t format) {
  return kv_Surface_GetFormatInfo(format, false).name;
}

size_t kv_Surface_CompressedLevelSize(uint32_t format, int w, int h) {
  const kvSurfaceFormatInfo info = kv_Surface_GetFormatInfo(format, false);
  if (!info.blockBytes || w < 1 || h < 1) return 0;
  return static_cast<size_t>((h + 3) / 4) * static_cast<size_t>((w + 3) / 4) *
         static_cast<size_t>(info.blockBytes);
}

int kv_Surface_PlanLevels(const kvSurface* surface, kvSurfaceLevel* levels, int capacity) {
  if (!surface) return 0;
  const int bytesPerPixel = kv_Surface_BytesPerPixel(surface->format);
  const int wanted = surface->mipmapped ? std::max(1, surface->levelCount) : 1;
  int w = surface->width, h = surface->height;
  int n = 0;
  while (n < capacity && n < wanted) {
    w = std::max(1, w);
    h = std::max(1, h);
    size_t bytes =
        IsCompressed(surface->format)
            ? kv_Surface_CompressedLevelSize(surface->format, w, h)
            : static_cast<size_t>(w) * static_cast<size_t>(bytesPerPixel) * static_cast<size_t>(h);
    levels[n++] = {w, h, bytes};
    // The last level is 1x1: stop when both sides were already at one.
    if (w == 1 && h == 1) break;
    w /= 2;
    h /= 2;
  }
  return n;
}

kvSurface* kv_Surface_Allocate_Internal(int width, int height, uint32_t format, int makeCpuCopy,
                                        int singleChannel) {
  if (width < 1 || height < 1) return nullptr;
  const kvSurfaceFormatInfo info = kv_Surface_GetFormatInfo(format, singleChannel != 0);
  if (!info.valid || format == kvFormat_Depth) return nullptr;
  auto* surface = static_cast<kvSurface*>(std::calloc(1, sizeof(kvSurface)));
  if (!surface) return nullptr;
  surface->width = width;
  surface->height = height;
  surface->format = format;
  kv_Surface_NoteContentChanged(surface);
  glGenTextures(1, &surface->texture);
  surface->pitch = static_cast<uint32_t>(width) * static_cast<uint32_t>(info.bytesPerPixel);
  if (makeCpuCopy) {
    const size_t bytes = static_cast<size_t>(height) * surface->pitch;
    surface->pixels = static_cast<uint8_t*>(std::calloc(bytes ? bytes : 1, 1));
    if (surface->pixels) {
      surface->cpuSize = bytes;
    } else {
      kv_Log_Printf("Unable to allocate surface memory: %iKB", static_cast<int>(bytes / 1024));
    }
  }
  kv_GL_SetDebugTag("set mip settings", "kv_Surface_Allocate_Internal", 100);
  glBindTexture(GL_TEXTURE_2D, surface->texture);
  NoteTextureBindingChanged();
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  kv_GL_CheckErrors();
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  kv_GL_CheckErrors();
  surface->singleChannel = singleChannel ? 1 : 0;
  surface->needsUpload = 1;
  surface->mipmapped = 0;
  surface->levelCount = 1;
  return surface;
}

namespace {
kvSurface* AllocatePlain(int width, int height, uint32_t format, int singleChannel, bool copy) {
  kvSurface* surface = kv_Surface_Allocate_Internal(width, height, format, copy, singleChannel);
  if (!surface) {
    kv_Log_Printf("Unable to create surface: w:%i h:%i f:%s", width, height,
                  kv_Surface_GetFormatName(format));
    return nullptr;
  }
  kv_GL_SetDebugTag("create surface", "kv_Surface_Allocate", 101);
  kv_Surface_Upload(surface, nullptr);
  SetLevelRange(surface, 0);
  return surface;
}
}  // namespace

kvSurface* kv_Surface_Allocate(int width, int height, uint32_t format, int singleChannel) {
  return AllocatePlain(width, height, format, singleChannel, true);
}

kvSurface* kv_Surface_AllocateForTarget(int width, int height, uint32_t format) {
  return AllocatePlain(width, height, format, 0, false);
}

kvSurface* kv_Surface_AllocateMipmapped(int width, int height, int levelCount, uint32_t format) {
  if (levelCount < 1 || IsCompressed(format)) return nullptr;
  kvSurface* surface = kv_Surface_Allocate_Internal(width, height, format, 0, 0);
  if (!surface) return nullptr;
  // Room for any mip chain (the total is below 4/3 of level 0), zeroed so that
  // levels nobody writes upload as black rather than old heap bytes.
  const size_t bytes = static_cast<size_t>(surface->pitch) * static_cast<size_t>(height) * 2;
  surface->pixels = static_cast<uint8_t*>(std::calloc(bytes, 1));
  if (!surface->pixels) {
    kv_Log_Printf("Unable to allocate surface memory: %iKB", static_cast<int>(bytes / 1024));
  } else {
    surface->cpuSize = bytes;
  }
  surface->mipmapped = 1;
  surface->levelCount = levelCount;
  kv_Surface_Upload(surface, nullptr);
  SetLevelRange(surface, levelCount - 1);
  return surface;
}

kvSurface* kv_Surface_AllocateCompressed(int width, int height, int levelCount, uint32_t format,
                                         const void* data, size_t byteSize) {
  if (!IsCompressed(format) || levelCount < 1 || !data || byteSize == 0) return nullptr;
  if (!GLEW_EXT_texture_compression_s3tc) {
    kv_Log_Printf("Unable to create surface: w:%i h:%i f:%s (no S3TC support)", width, height,
                  kv_Surface_GetFormatName(format));
    return nullptr;
  }
  kvSurface* surface = kv_Surface_Allocate_Internal(width, height, format, 0, 0);
  if (!surface) return nullptr;
  surface->pixels = static_cast<uint8_t*>(std::malloc(byteSize));
  if (!surface->pixels) {
    kv_Surface_Destroy(surface);
    return nullptr;
  }
  std::memcpy(surface->pixels, data, byteSize);
  surface->cpuSize = byteSize;
  surface->mipmapped = 1;
  surface->levelCount = levelCount;
  if (!kv_Surface_Upload(surface, surface->pixels)) {
    kv_Log_Printf("Unable to create surface: w:%i h:%i f:%s (compressed data too short)", width,
                  height, kv_Surface_GetFormatName(format));
    glBindTexture(GL_TEXTURE_2D, 0);
    kv_Surface_Destroy(surface);
    return nullptr;
  }
  SetLevelRange(surface, levelCount - 1);
  return surface;
}

int kv_Surface_Upload(kvSurface* surface, const void* data) {
  if (!surface) return 0;
  // Only the surface's own CPU copy has a known length (bytes from files come
  // in through kv_Surface_AllocateCompressed, which copies them with their
  // count): any other pointer could be read past its end, so it is refused.
  if (data && data != surface->pixels) {
    kv_Log_Printf("kv_Surface_Upload: refused data that is not the surface's own copy (%ix%i %s)",
                  surface->width, surface->height, kv_Surface_GetFormatName(surface->format));
    return 0;
  }
  const kvSurfaceFormatInfo info =
      kv_Surface_GetFormatInfo(surface->format, surface->singleChannel);
  kv_GL_SetDebugTag("glPixelStorei", "kv_Surface_Upload", 110);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  kv_GL_CheckErrors();
  kv_GL_SetDebugTag("glBindTexture", "kv_Surface_Upload", 111);
  glBindTexture(GL_TEXTURE_2D, surface->texture);
  NoteTextureBindingChanged();
  kv_GL_CheckErrors();

  kvSurfaceLevel levels[32];
  const int count = kv_Surface_PlanLevels(surface, levels, 32);
  const auto* position = static_cast<const uint8_t*>(data);
  // Data (the CPU copy) is bounded by the copy's size.
  const size_t available = data ? surface->cpuSize : 0;
  size_t offset = 0;
  int result = 1;
  for (int level = 0; level < count; ++level) {
    const kvSurfaceLevel& l = levels[level];
    kv_GL_SetDebugTag("glPixelStorei", "kv_Surface_Upload", 112);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, l.width);
    kv_GL_CheckErrors();
    kv_GL_SetDebugTag("glTexImage2D / glTexSubImage2D / glCompressedTexImage2DARB",
                      "kv_Surface_Upload", 113);
    if (data) {
      if (l.bytes > available || offset > available - l.bytes) {
        result = 0;  // the data ends before this level: never read past it
        break;
      }
      if (IsCompressed(surface->format)) {
        glCompressedTexImage2D(GL_TEXTURE_2D, level, info.internalFormat, l.width, l.height, 0,
                               static_cast<GLsizei>(l.bytes), position + offset);
      } else {
        glTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, l.width, l.height, info.dataFormat,
                        info.dataType, position + offset);
      }
      offset += l.bytes;
    } else if (IsCompressed(surface->format)) {
      // Compressed levels are given storage only with their data.
    } else {
      glTexImage2D(GL_TEXTURE_2D, level, static_cast<GLint>(info.internalFormat), l.width, l.height,
                   0, info.dataFormat, info.dataType, nullptr);
    }
    kv_GL_CheckErrors();
  }
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  return result;
}

int kv_Surface_Lock(kvRenderContext*, kvSurface* surface, void** pixels, int* rowLength) {
  if (!surface || !surface->pixels) {
    // No surface, or one without a CPU copy: nothing can be written.
    if (pixels) *pixels = kvSurface_PoisonPointer;
    if (rowLength) *rowLength = 0;
    return 0;
  }
  surface->lockCount += 1;
  if (pixels) *pixels = surface->pixels;
  if (rowLength) *rowLength = surface->width;
  return 1;
}

int kv_Surface_Unlock(kvSurface* surface, void** pixels) {
  if (!surface || surface->lockCount <= 0) return 0;
  surface->lockCount -= 1;
  if (surface->lockCount == 0) {
    if (pixels) *pixels = kvSurface_PoisonPointer;
    surface->modified = 1;
    surface->needsUpload = 1;
    kv_Surface_NoteContentChanged(surface);
  }
  return 1;
}

void kv_Surface_Release(kvSurface* surface) {
  if (!surface) return;
  kvFrameData* frame = kv_RenderContext_Get()->frameData;
  if (frame) {
    frame->surfaceReleases.push_back(surface);
  } else {
    kv_Surface_Destroy(surface);
  }
}

void kv_Surface_Destroy(kvSurface* surface) {
  if (!surface) return;
  // The context must not keep drawing with a texture that is gone.
  kvRenderContext* context = kv_RenderContext_Get();
  for (auto& slot : context->textures) {
    if (slot == surface) {
      slot = nullptr;
      context->texturesDirty = 1;
    }
  }
  if (surface->texture) glDeleteTextures(1, &surface->texture);
  std::free(surface->pixels);
  surface->width = 0;
  surface->height = 0;
  surface->modified = 0;
  surface->texture = 0;
  surface->owner = nullptr;
  surface->pixels = nullptr;
  surface->lockCount = 9999;
  std::free(surface);
}

void kv_Surface_SwapContents(kvSurface* a, kvSurface* b) {
  if (!a || !b || a == b) return;
  std::swap(*a, *b);
  kv_Surface_NoteContentChanged(a);
  kv_Surface_NoteContentChanged(b);
  // A texture unit that held one of the two now shows the other image.
  NoteTextureBindingChanged();
}

void kv_Surface_NoteContentChanged(kvSurface* surface) {
  static std::atomic<uint64_t> lastSerial{0};
  if (surface) surface->contentSerial = lastSerial.fetch_add(1, std::memory_order_relaxed) + 1;
}

void kv_Surface_GetInfo(const kvSurface* surface, int* width, int* height, uint32_t* format) {
  if (!surface) return;
  if (width) *width = surface->width;
  if (height) *height = surface->height;
  if (format) *format = surface->format;
}

int kv_Surface_ContainsPointer(const kvSurface* surface, const void* address) {
  if (!surface || !surface->pixels) return 0;
  const auto a = reinterpret_cast<uintptr_t>(address);
  const auto start = reinterpret_cast<uintptr_t>(surface->pixels);
  return a >= start && a - start < static_cast<uintptr_t>(surface->pitch) *
                                       static_cast<uintptr_t>(surface->height)
             ? 1
             : 0;
}

int kv_Surface_IsStandalone(const kvSurface* surface) {
  return surface && !surface->owner ? 1 : 0;
}
int kv_Surface_IsModified(const kvSurface* surface) {
  return surface && surface->modified;
}
void kv_Surface_ClearModified(kvSurface* surface) {
  if (surface) surface->modified = 0;
}
int kv_Surface_WasBound(const kvSurface* surface) {
  return surface && surface->bound;
}
