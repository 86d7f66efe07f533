// Image files and ".mcb" texture containers to surfaces.
#include "gfx/kv_ImageFile.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "gfx/kv_File.h"
#include "gfx/kv_RenderContext.h"
#include "gfx/kv_Surface.h"
#include "platform/kv_Log.h"

// The program's stb_image: every format it reads, pictures up to 16384 pixels
// each way.
#define STBI_MAX_DIMENSIONS 16384
#define STB_IMAGE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#include <stb_image.h>
#pragma GCC diagnostic pop

namespace {

constexpr int kDdsHeaderBytes = 128;  // magic and the 124-byte header
constexpr int kMaxDdsLevels = 8;
constexpr int kMaxDdsSize = 16384;

uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void CloseFile(kvFile file, const char* path) {
  if (kv_File_Close(file) != 0) std::printf("Error closing file %s\n", path);
}

// Reads count bytes whole; false on a short read.
bool ReadWhole(kvFile file, void* buffer, size_t count) {
  return kv_File_Read(file, buffer, count) == count;
}

// Decoded RGBA pixels, freed with the object.
struct Decoded {
  Decoded(const uint8_t* data, size_t size) {
    if (size <= static_cast<size_t>(INT32_MAX)) {
      pixels = stbi_load_from_memory(data, static_cast<int>(size), &width, &height, &channels, 4);
    }
  }
  ~Decoded() { stbi_image_free(pixels); }
  Decoded(const Decoded&) = delete;
  Decoded& operator=(const Decoded&) = delete;
  stbi_uc* pixels = nullptr;
  int width = 0, height = 0, channels = 0;
};

// Copies rows of width x 4 bytes into a surface's memory, rowLength pixels apart.
void CopyRows(uint8_t* destination, int rowLength, const Decoded& image) {
  const size_t rowBytes = static_cast<size_t>(image.width) * 4;
  for (int y = 0; y < image.height; ++y) {
    std::memcpy(destination + static_cast<size_t>(y) * static_cast<size_t>(rowLength) * 4,
                image.pixels + static_cast<size_t>(y) * rowBytes, rowBytes);
  }
}

// A surface of image records under construction: locked, with the write
// position of the next level.
struct MipChain {
  kvSurface* surface = nullptr;
  uint8_t* pixels = nullptr;
  size_t written = 0;
  int level = 0;
};

int LevelSize(int size, int level) {
  return std::max(1, size >> level);
}

int ChainLength(int width, int height) {
  int n = 1;
  while ((width >> n) > 0 || (height >> n) > 0) ++n;
  return n;
}

}  // namespace

kvSurface* LoadImageSurface(const char* path) {
  if (path == nullptr) return nullptr;
  const kvFile file = kv_File_Open(path, "rb");
  if (!file) return nullptr;
  const int64_t size = kv_File_SizeByName(path);
  kvSurface* surface = nullptr;
  if (size > 0 && size <= INT32_MAX) {
    std::vector<uint8_t> data(static_cast<size_t>(size));
    if (ReadWhole(file, data.data(), data.size())) {
      const Decoded image(data.data(), data.size());
      if (image.pixels) {
        surface = kv_Surface_Allocate(image.width, image.height, kvFormat_8x4_RGB, 0);
        void* pixels = nullptr;
        int rowLength = 0;
        if (surface && kv_Surface_Lock(kv_RenderContext_Get(), surface, &pixels, &rowLength)) {
          CopyRows(static_cast<uint8_t*>(pixels), rowLength, image);
          kv_Surface_Unlock(surface, &pixels);
        } else if (surface) {
          kv_Surface_Release(surface);
          surface = nullptr;
        }
      } else {
        kv_Log_Printf("LoadImageSurface: %s: %s", path, stbi_failure_reason());
      }
    } else {
      kv_Log_Printf("LoadImageSurface: %s: short read", path);
    }
  }
  CloseFile(file, path);
  return surface;
}

int PremultiplyAlpha(kvSurface* surface) {
  if (surface == nullptr) return 0;
  int width = 0, height = 0;
  uint32_t format = 0;
  kv_Surface_GetInfo(surface, &width, &height, &format);
  void* pixels = nullptr;
  int rowLength = 0;
  if (!kv_Surface_Lock(kv_RenderContext_Get(), surface, &pixels, &rowLength)) return 0;
  for (int y = 0; y < height; ++y) {
    uint8_t* p = static_cast<uint8_t*>(pixels) + static_cast<size_t>(y) * rowLength * 4;
    for (int x = 0; x < width; ++x, p += 4) {
      const unsigned alpha = p[3];
      p[0] = static_cast<uint8_t>(p[0] * alpha / 255);
      p[1] = static_cast<uint8_t>(p[1] * alpha / 255);
      p[2] = static_cast<uint8_t>(p[2] * alpha / 255);
    }
  }
  return kv_Surface_Unlock(surface, &pixels);
}

bool ParseDdsHeader(const uint8_t* data, int* width, int* height, int* mipCount, int* formatIndex,
                    const uint8_t** pixelData, int* headerSize) {
  if (data == nullptr || std::memcmp(data, "DDS ", 4) != 0 || Le32(data + 4) != 124) return false;
  if (height) *height = static_cast<int>(Le32(data + 12));
  if (width) *width = static_cast<int>(Le32(data + 16));
  if (mipCount) {
    const uint32_t count = Le32(data + 28);
    *mipCount = count == 0 ? 1 : static_cast<int>(std::min<uint32_t>(count, 32));
  }
  if (pixelData) *pixelData = data + kDdsHeaderBytes;
  if (headerSize) *headerSize = 124;
  if (formatIndex) {
    static constexpr const char* kCodes[3] = {"DXT1", "DXT3", "DXT5"};
    *formatIndex = -1;
    for (int i = 0; i < 3; ++i) {
      if (std::memcmp(data + 84, kCodes[i], 4) == 0) *formatIndex = i;
    }
    if (*formatIndex < 0) return false;
  }
  return true;
}

kvSurface* LoadMcbTexture(const char* path) {
  if (path == nullptr || std::strcmp(path, "dflt.mat.0.mcb") == 0) return nullptr;
  const char* dot = std::strrchr(path, '.');
  if (dot == nullptr || std::strcmp(dot, ".mcb") != 0) return nullptr;
  const kvFile file = kv_File_Open(path, "rb");
  if (!file) return nullptr;

  const int64_t fileSize = kv_File_SizeByName(path);
  kvSurface* result = nullptr;
  MipChain chain;
  const char* problem = nullptr;
  uint8_t header[16];
  uint32_t count = 0;
  if (!ReadWhole(file, header, sizeof header)) {
    problem = "truncated header";
  } else {
    count = Le32(header + 12);
    if (fileSize < 16 || count > static_cast<uint64_t>(fileSize - 16) / 12) {
      problem = "more records than the file holds";
    }
  }
  int64_t left = fileSize - 16;
  std::vector<uint8_t> payload;
  for (uint32_t r = 0; !problem && r < count; ++r) {
    uint8_t record[12];
    if (!ReadWhole(file, record, sizeof record)) {
      problem = "truncated record header";
      break;
    }
    left -= 12;
    const uint32_t kind = Le32(record + 4);
    const uint32_t size = Le32(record + 8);
    if (size > left) {
      problem = "a record is larger than the rest of the file";
      break;
    }
    left -= size;
    payload.resize(size);
    if (!ReadWhole(file, payload.data(), size)) {
      problem = "truncated record";
      break;
    }
    if (kind == 0) {
      const Decoded image(payload.data(), payload.size());
      if (!image.pixels) {
        problem = "an image record does not decode";
        break;
      }
      if (chain.surface == nullptr) {
        // The first image is level 0: it gives the surface its size.
        if (result) kv_Surface_Release(result);
        result = nullptr;
        const int levels =
            std::min(static_cast<int>(count), ChainLength(image.width, image.height));
        chain.surface =
            kv_Surface_AllocateMipmapped(image.width, image.height, levels, kvFormat_8x4_RGB);
        void* pixels = nullptr;
        int rowLength = 0;
        if (!chain.surface ||
            !kv_Surface_Lock(kv_RenderContext_Get(), chain.surface, &pixels, &rowLength)) {
          problem = "no surface for the image records";
          break;
        }
        chain.pixels = static_cast<uint8_t*>(pixels);
        result = chain.surface;
      }
      const int width = LevelSize(chain.surface->width, chain.level);
      const int height = LevelSize(chain.surface->height, chain.level);
      const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
      if (chain.level >= chain.surface->levelCount || image.width != width ||
          image.height != height || chain.written + bytes > chain.surface->cpuSize) {
        problem = "an image record does not match the size of its mip level";
        break;
      }
      CopyRows(chain.pixels + chain.written, width, image);
      chain.written += bytes;
      ++chain.level;
    } else if (kind == 2) {
      int width = 0, height = 0, mips = 0, format = 0;
      const uint8_t* data = nullptr;
      if (size < static_cast<uint32_t>(kDdsHeaderBytes) ||
          !ParseDdsHeader(payload.data(), &width, &height, &mips, &format, &data, nullptr) ||
          width < 1 || height < 1 || width > kMaxDdsSize || height > kMaxDdsSize) {
        continue;  // not a DDS file of ours: skipped
      }
      static constexpr uint32_t kFormats[3] = {kvFormat_DXT1, kvFormat_DXT3, kvFormat_DXT5};
      kvSurface* compressed =
          kv_Surface_AllocateCompressed(width, height, std::min(mips, kMaxDdsLevels),
                                        kFormats[format], data, size - kDdsHeaderBytes);
      if (compressed) {
        // A later surface replaces the one made before.
        if (result) kv_Surface_Release(result);
        result = compressed;
        chain = MipChain{};
      }
    }
  }
  if (problem) {
    kv_Log_Printf("LoadMcbTexture: %s: %s", path, problem);
    if (result) kv_Surface_Release(result);
    result = nullptr;
  } else if (chain.surface) {
    void* pixels = chain.pixels;
    kv_Surface_Unlock(chain.surface, &pixels);  // uploaded whole at its first bind
  }
  CloseFile(file, path);
  return result;
}
