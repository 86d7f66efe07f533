// The deferred back end's data helpers: mesh vertices gathered into
// TexturedVertex records, classic pixels converted into texture pixels, the
// caches' entry releases and a few small utilities.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "gfx/kv_Buffer.h"
#include "gfx/kv_RenderContext.h"
#include "gfx/kv_Surface.h"
#include "platform/kv_Log.h"
#include "platform/kv_Platform.h"
#include "platform/kv_Thread.h"
#include "render/Deferred.h"

// Mesh vertices ---------------------------------------------------------------------

void MeshVertexSource_GatherOne(const MeshVertexSource* source, TexturedVertex* out, int corner,
                                const uint16_t* vertexIndices) {
  if (!out) return;
  *out = TexturedVertex{};
  if (!source || !vertexIndices || corner < 0) return;
  const uint32_t v = vertexIndices[corner];
  if (v < source->vertexCount) {
    if (source->positions) {
      const float* p = source->positions + 3 * static_cast<size_t>(v);
      out->Position = {p[0], p[1], p[2]};
    }
    if (source->normals) {
      const float* n = source->normals + 3 * static_cast<size_t>(v);
      out->Normal = {n[0], n[1], n[2]};
    }
  }
  if (source->textureVertexIndices && source->textureVertices) {
    const uint32_t t = source->textureVertexIndices[corner];
    if (t < source->textureVertexCount) {
      const float* uv = source->textureVertices + 2 * static_cast<size_t>(t);
      out->TexCoord = {source->uScale * uv[0], source->vScale * uv[1]};
    }
  }
}

void MeshVertexSource_Gather(const MeshVertexSource* source, TexturedVertex* out, int count,
                             const uint16_t* vertexIndices) {
  if (!out) return;
  for (int k = 0; k < count; ++k) MeshVertexSource_GatherOne(source, &out[k], k, vertexIndices);
}

void Deferred_FillMeshVertices(kvVertexBuffer* buffer, const MeshVertexSource* source, int count,
                               const uint16_t* vertexIndices) {
  if (!buffer || count <= 0) return;
  auto* vertices = static_cast<TexturedVertex*>(kv_Buffer_Lock(buffer));
  if (!vertices) return;
  const size_t room = kv_VertexBuffer_GetSize(buffer) / sizeof(TexturedVertex);
  const int n = static_cast<size_t>(count) <= room ? count : static_cast<int>(room);
  MeshVertexSource_Gather(source, vertices, n, vertexIndices);
  kv_Buffer_Unlock(buffer);
}

// Pixel conversion ------------------------------------------------------------------

namespace {

// The bytes a destination pixel takes for each kind of conversion.
int WrittenBytesPerPixel(int sourceFormat, const uint8_t* palette, int copy565) {
  if (sourceFormat == Deferred_Source565) return copy565 ? 2 : 4;
  if (sourceFormat == Deferred_SourceDepth) return 4;
  return palette ? 4 : 0;
}

}  // namespace

int Deferred_ConvertPixels(void* destination, int destinationRowLength, int destinationHeight,
                           int destinationBytesPerPixel, const void* pixels, int width, int height,
                           int sourceFormat, const uint8_t* palette, int useColorKey,
                           uint32_t colorKey, int copy565) {
  const int bytesPerPixel = WrittenBytesPerPixel(sourceFormat, palette, copy565);
  if (!destination || !pixels || width <= 0 || height <= 0 || bytesPerPixel == 0) return 0;
  if (width > destinationRowLength || height > destinationHeight ||
      destinationBytesPerPixel != bytesPerPixel) {
    kv_Log_Printf(
        "[Deferred] - %ix%i pixels of format %i not uploaded: the surface holds %ix%i pixels of %i "
        "bytes",
        width, height, sourceFormat, destinationRowLength, destinationHeight,
        destinationBytesPerPixel);
    return 0;
  }
  auto* out = static_cast<uint8_t*>(destination);
  const size_t destinationPitch = static_cast<size_t>(destinationRowLength) * bytesPerPixel;
  const size_t w = static_cast<size_t>(width);
  for (size_t y = 0; y < static_cast<size_t>(height); ++y) {
    uint8_t* row = out + y * destinationPitch;
    if (sourceFormat == Deferred_Source565) {
      const auto* source = static_cast<const uint8_t*>(pixels) + y * w * 2;
      if (copy565) {
        std::memcpy(row, source, w * 2);
        continue;
      }
      for (size_t x = 0; x < w; ++x) {
        uint16_t p;
        std::memcpy(&p, source + 2 * x, 2);
        uint8_t* px = row + 4 * x;
        if (useColorKey && p == colorKey) {
          std::memset(px, 0, 4);
          continue;
        }
        px[0] = static_cast<uint8_t>((p & 0x1F) << 3);
        px[1] = static_cast<uint8_t>(((p >> 5) & 0x3F) << 2);
        px[2] = static_cast<uint8_t>(((p >> 11) & 0x1F) << 3);
        px[3] = 255;
      }
    } else if (sourceFormat == Deferred_SourceDepth) {
      const auto* source = static_cast<const uint8_t*>(pixels) + y * w * 2;
      for (size_t x = 0; x < w; ++x) {
        uint16_t value;
        std::memcpy(&value, source + 2 * x, 2);
        const float depth = useColorKey && value == colorKey ? Deferred_KeyedDepth
                                                             : static_cast<float>(value) / 65535.0f;
        std::memcpy(row + 4 * x, &depth, 4);
      }
    } else {
      const auto* source = static_cast<const uint8_t*>(pixels) + y * w;
      for (size_t x = 0; x < w; ++x) {
        const uint8_t b = source[x];
        uint8_t* px = row + 4 * x;
        if (useColorKey && b == colorKey) {
          std::memset(px, 0, 4);
          continue;
        }
        const uint8_t* rgb = palette + 3 * static_cast<size_t>(b);
        px[0] = rgb[2];
        px[1] = rgb[1];
        px[2] = rgb[0];
        px[3] = 255;
      }
    }
  }
  return 1;
}

void Deferred_UploadPixels(kvSurface* surface, const void* pixels, int width, int height,
                           int sourceFormat, const uint8_t* palette, int useColorKey,
                           uint32_t colorKey, int copy565) {
  void* locked = nullptr;
  int rowLength = 0;
  if (!kv_Surface_Lock(kv_RenderContext_Get(), surface, &locked, &rowLength)) return;
  Deferred_ConvertPixels(locked, rowLength, surface->height,
                         kv_Surface_BytesPerPixel(surface->format), pixels, width, height,
                         sourceFormat, palette, useColorKey, colorKey, copy565);
  kv_Surface_Unlock(surface, &locked);
}

// Cache entries ---------------------------------------------------------------------

void SubmeshEntry_Release(SubmeshEntry* entry) {
  if (!entry) return;
  kv_Buffer_Release(entry->vertexBuffer);
  entry->vertexBuffer = nullptr;
}

void SubmeshEntry_Delete(SubmeshEntry* entry) {
  SubmeshEntry_Release(entry);
  kv_Platform_Free(entry);
}

void TextureCacheEntry_Release(TextureCacheEntry* entry) {
  if (!entry) return;
  kv_Surface_Release(entry->surface);
  for (kvSurface*& variant : entry->variants) {
    kv_Surface_Release(variant);
    variant = nullptr;
  }
  entry->keyEnable = 0;
  entry->keyValue = 0;
  entry->surface = nullptr;
  entry->byteSize = 0;
}

void TextureCacheEntry_Delete(TextureCacheEntry* entry) {
  TextureCacheEntry_Release(entry);
  kv_Platform_Free(entry);
}

ReplacementTexture* ReplacementTexture_New(void) {
  auto* entry = static_cast<ReplacementTexture*>(kv_Platform_Alloc(0, sizeof(ReplacementTexture)));
  if (entry) *entry = ReplacementTexture{};
  return entry;
}

void ReplacementTexture_Release(ReplacementTexture* entry) {
  if (!entry) return;
  kv_Surface_Release(entry->surface);
  entry->surface = nullptr;
  entry->key = 0;
}

void ReplacementTexture_Delete(ReplacementTexture* entry) {
  ReplacementTexture_Release(entry);
  kv_Platform_Free(entry);
}

// Small helpers ---------------------------------------------------------------------

int Deferred_Format256(char* buffer, int count, const char* format, ...) {
  if (!buffer) return 0;
  buffer[0] = 0;
  if (count < 1 || !format) return 0;
  const size_t size = count < 255 ? static_cast<size_t>(count) + 1 : 256;
  va_list args;
  va_start(args, format);
  const int wanted = std::vsnprintf(buffer, size, format, args);
  va_end(args);
  if (wanted < 0) {
    buffer[0] = 0;
    return 0;
  }
  return static_cast<size_t>(wanted) < size ? wanted : static_cast<int>(size - 1);
}

TexturedQuadVertex* QuadVertices_Alloc(int n) {
  if (n < 1 || static_cast<size_t>(n) > SIZE_MAX / sizeof(TexturedQuadVertex)) return nullptr;
  const size_t bytes = static_cast<size_t>(n) * sizeof(TexturedQuadVertex);
  auto* vertices = static_cast<TexturedQuadVertex*>(kv_Platform_Alloc(0, bytes));
  if (vertices) std::memset(vertices, 0, bytes);
  return vertices;
}

ProfileScope::ProfileScope(const char* name) {
  kv_Profile_Begin(name);
}

ProfileScope::~ProfileScope() {
  kv_Profile_End();
}
