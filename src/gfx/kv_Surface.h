// Surfaces: images that live as a GL texture and, in most cases, as a copy in
// main memory that the program writes with the CPU. Painting code locks the
// surface, writes into the copy and unlocks it; the last unlock marks the
// surface, and its texture is refreshed from the copy the next time it is bound
// for drawing. A surface given up during a frame is destroyed at the start of
// the next frame.
#pragma once

#include <cstddef>
#include <cstdint>

struct kvRenderContext;
struct kvRenderTarget;

// Pixel formats (1, 2 and 15 are not formats; 14 is depth, render targets only).
enum : uint32_t {
  kvFormat_8x1 = 0,
  kvFormat_8x4 = 3,
  kvFormat_8x4_RGB = 4,
  kvFormat_565 = 5,
  kvFormat_Fx1 = 6,
  kvFormat_Fx2 = 7,
  kvFormat_Fx3 = 8,
  kvFormat_Fx4 = 9,
  kvFormat_F16x1 = 10,
  kvFormat_F16x2 = 11,
  kvFormat_F16x4 = 12,
  kvFormat_U16x1 = 13,
  kvFormat_Depth = 14,
  kvFormat_DXT1 = 16,
  kvFormat_DXT3 = 17,
  kvFormat_DXT5 = 18,
};

struct kvSurface {
  int width;
  int height;
  int lockCount;  // 9999 in a destroyed record
  uint32_t format;
  uint32_t modified;  // 1 after the last unlock; cleared by the hardware renderer
  uint32_t bound;     // 1 once given to kv_RenderContext_SetTextures
  uint8_t* pixels;    // CPU copy, or null
  kvRenderTarget* owner;
  uint32_t texture;  // GL texture name
  uint32_t pitch;    // bytes per row of level 0
  uint8_t needsUpload;
  uint8_t mipmapped;
  uint8_t singleChannel;  // format 13 only: one 16-bit channel
  int levelCount;
  size_t cpuSize;  // bytes of the CPU copy
  // A number no other surface content has had: new at allocation and
  // whenever the pixels may have changed (unlock, swap). Equal serials mean
  // the same pixels, even across a surface freed and another allocated at
  // the same address.
  uint64_t contentSerial;
};

// What a locked-out pixel pointer is set to: recognisably not a live address.
inline void* const kvSurface_PoisonPointer =
    reinterpret_cast<void*>(uintptr_t{0xDEADDEADDEADDEADull});

// GL description of one format; bytesPerPixel is 0 for the depth and compressed formats.
struct kvSurfaceFormatInfo {
  bool valid;
  const char* name;
  int bytesPerPixel;
  uint32_t internalFormat;
  uint32_t dataFormat;
  uint32_t dataType;
  int blockBytes;  // compressed formats: bytes per 4x4 block
};
kvSurfaceFormatInfo kv_Surface_GetFormatInfo(uint32_t format, bool singleChannel);
int kv_Surface_BytesPerPixel(uint32_t format);
const char* kv_Surface_GetFormatName(uint32_t format);
// Bytes of one compressed level of w x h pixels (formats 16-18), 0 for other formats.
size_t kv_Surface_CompressedLevelSize(uint32_t format, int w, int h);

// One level of an upload: its size in pixels and its bytes in the source data.
struct kvSurfaceLevel {
  int width;
  int height;
  size_t bytes;
};
// The levels an upload walks (at most 32): every level's pitch is its own
// width times the bytes per pixel. Returns the number of levels.
int kv_Surface_PlanLevels(const kvSurface* surface, kvSurfaceLevel* levels, int capacity);

kvSurface* kv_Surface_Allocate(int width, int height, uint32_t format, int singleChannel);
kvSurface* kv_Surface_Allocate_Internal(int width, int height, uint32_t format, int makeCpuCopy,
                                        int singleChannel);
kvSurface* kv_Surface_AllocateMipmapped(int width, int height, int levelCount, uint32_t format);
kvSurface* kv_Surface_AllocateCompressed(int width, int height, int levelCount, uint32_t format,
                                         const void* data, size_t byteSize);
// Render targets' colour surfaces: a texture without a CPU copy.
kvSurface* kv_Surface_AllocateForTarget(int width, int height, uint32_t format);
// Sends one level (or every level of a mipmapped surface) to the texture.
// data is null (storage only) or the surface's own CPU copy; any other
// pointer is refused (its length cannot be known) with a log line and 0.
// Returns 1, or 0 when the copy runs short (nothing past it is read).
int kv_Surface_Upload(kvSurface* surface, const void* data);

int kv_Surface_Lock(kvRenderContext* context, kvSurface* surface, void** pixels, int* rowLength);
int kv_Surface_Unlock(kvSurface* surface, void** pixels);
void kv_Surface_Release(kvSurface* surface);
// Destroys at once (the frame begin's step for the surface release list).
void kv_Surface_Destroy(kvSurface* surface);
void kv_Surface_SwapContents(kvSurface* a, kvSurface* b);
// Gives the surface a new content serial (its pixels changed some other way).
void kv_Surface_NoteContentChanged(kvSurface* surface);

void kv_Surface_GetInfo(const kvSurface* surface, int* width, int* height, uint32_t* format);
int kv_Surface_ContainsPointer(const kvSurface* surface, const void* address);
int kv_Surface_IsStandalone(const kvSurface* surface);
int kv_Surface_IsModified(const kvSurface* surface);
void kv_Surface_ClearModified(kvSurface* surface);
int kv_Surface_WasBound(const kvSurface* surface);
