// Fixtures of the rasterizer tests: a camera over small in-memory canvases
// (with a depth buffer and a guard band around the canvas rectangle when
// asked), a colormap with tables whose entries the tests can recompute, a
// material of untextured and textured cels, and faces committed through the
// face cache, so that they carry the bounds and extremes the cache works out.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "../quadrix/qxTestLibrary.h"
#include "quadrix/qxCache.h"
#include "quadrix/qxCamera.h"
#include "quadrix/qxCanvas.h"
#include "quadrix/qxColormap.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxMaterial.h"
#include "raster/qxRaster.h"
#include "raster/qxZRaster.h"
#include "std/stdDisplay.h"

namespace rastertest {

// Table entries the tests recompute: every row and colour gives a distinct
// value, so a wrong row, colour or order of look-ups shows.
inline uint8_t Lit8(int row, int c) {
  return static_cast<uint8_t>(c * 5 + row * 3 + 1);
}
inline uint16_t Lit16(int row, int c) {
  return static_cast<uint16_t>((row << 9) | (c ^ 0x5A));
}
inline uint8_t Trans(int s, int d) {
  return static_cast<uint8_t>(s * 7 + d * 13 + 3);
}
inline uint8_t Inverse(uint32_t p) {
  return static_cast<uint8_t>((p * 31) ^ (p >> 7));
}

struct TestColormap {
  qxColormap cm{};
  std::vector<uint8_t> light8 = std::vector<uint8_t>(kColormapLightEntries);
  std::vector<uint16_t> light16 = std::vector<uint16_t>(kColormapLightEntries);
  std::vector<uint8_t> trans = std::vector<uint8_t>(kColormapTableEntries);
  std::vector<uint8_t> inverse = std::vector<uint8_t>(kColormapTableEntries);
  TestColormap() {
    for (int r = 0; r < 64; ++r) {
      for (int c = 0; c < 256; ++c) {
        light8[r * 256 + c] = Lit8(r, c);
        light16[r * 256 + c] = Lit16(r, c);
      }
    }
    for (int s = 0; s < 256; ++s) {
      for (int d = 0; d < 256; ++d) trans[s * 256 + d] = Trans(s, d);
    }
    for (uint32_t p = 0; p < 65536; ++p) inverse[p] = Inverse(p);
    cm.lightTable = light8.data();
    cm.lightTable16 = light16.data();
    cm.translucencyTable = trans.data();
    cm.inverseTable = inverse.data();
  }
};

inline DisplayBuffer* NewBuffer(int bpp, int width, int height) {
  BufferFormat f{};
  f.width = width;
  f.height = height;
  f.format.colorMode = bpp == 8 ? 0 : 1;
  f.format.bitsPerPixel = bpp;
  return stdDisplay_NewBuffer(&f, 0, 0, nullptr);
}

// A camera over a canvas of bpp bits; the canvas rectangle lies `guard`
// pixels inside its buffers on every side.
struct View {
  DisplayBuffer* video = nullptr;
  DisplayBuffer* zBuffer = nullptr;
  qxCanvas* canvas = nullptr;
  qxCamera* camera = nullptr;
  int width, height, guard;

  View(int bpp, int w, int h, bool depth = false, int guardBand = 0)
      : width(w + 2 * guardBand), height(h + 2 * guardBand), guard(guardBand) {
    qxTest_StartLibrary();
    video = NewBuffer(bpp, width, height);
    if (depth) zBuffer = NewBuffer(16, width, height);
    canvas = qxCanvas_New(guard ? QXCANVAS_EXPLICIT_RECT : 0, video, zBuffer, guard, guard,
                          guard + w - 1, guard + h - 1, 0);
    camera = qxCamera_New(90.0f, 1, 1.0f, 1000.0f, 1.0f);
    qxCamera_SetCanvas(camera, canvas);
    qxCamera_SetCurrent(camera);
    qxCamera_Update(&qxMatrix34_identity);
  }
  ~View() {
    qxCamera_SetCurrent(nullptr);
    qxCamera_Free(camera);
    qxCanvas_Free(canvas);
    stdDisplay_FreeBuffer(video);
    stdDisplay_FreeBuffer(zBuffer);
  }
  int Bpp() const { return video->format.format.bitsPerPixel; }
  uint32_t Pixel(int x, int y) const {
    const uint8_t* row = static_cast<const uint8_t*>(video->pixels) + y * video->format.bytesPerRow;
    return Bpp() == 8 ? row[x] : reinterpret_cast<const uint16_t*>(row)[x];
  }
  void SetPixel(int x, int y, uint32_t value) {
    uint8_t* row = static_cast<uint8_t*>(video->pixels) + y * video->format.bytesPerRow;
    if (Bpp() == 8) {
      row[x] = static_cast<uint8_t>(value);
    } else {
      reinterpret_cast<uint16_t*>(row)[x] = static_cast<uint16_t>(value);
    }
  }
  uint16_t Depth(int x, int y) const {
    return static_cast<const uint16_t*>(zBuffer->pixels)[y * zBuffer->format.pixelsPerRow + x];
  }
  void SetDepth(int x, int y, uint16_t value) {
    static_cast<uint16_t*>(zBuffer->pixels)[y * zBuffer->format.pixelsPerRow + x] = value;
  }
  void Fill(uint32_t value) { stdDisplay_FillBuffer(video, value, nullptr); }
  std::vector<uint8_t> Bytes() const {
    const auto* p = static_cast<const uint8_t*>(video->pixels);
    return std::vector<uint8_t>(p, p + video->format.byteSize);
  }
  int CountNot(uint32_t value) const {
    int n = 0;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) n += Pixel(x, y) != value;
    }
    return n;
  }
};

// A texture of one or more mip levels; level k holds fill(k, column, row).
struct TestTexture {
  qxMaterialTexture tex{};
  template <class Fill>
  TestTexture(int log2Width, int log2Height, int mips, Fill fill, bool keyed = false) {
    tex.flags = keyed ? uint32_t{QXMATERIAL_TEXTURE_COLORKEY} : 0u;
    tex.log2Width = log2Width;
    tex.widthMask = (1 << log2Width) - 1;
    tex.heightMask = (1 << log2Height) - 1;
    tex.mipCount = static_cast<uint32_t>(mips);
    for (int k = 0; k < mips && k < kMaterialMaxMips; ++k) {
      const int w = (1 << log2Width) >> k, h = (1 << log2Height) >> k;
      DisplayBuffer* b = NewBuffer(8, w, h);
      auto* p = static_cast<uint8_t*>(b->pixels);
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) p[y * w + x] = static_cast<uint8_t>(fill(k, x, y));
      }
      tex.mipLevels[k] = b;
    }
  }
  ~TestTexture() {
    for (DisplayBuffer* b : tex.mipLevels) stdDisplay_FreeBuffer(b);
  }
  TestTexture(const TestTexture&) = delete;
  TestTexture& operator=(const TestTexture&) = delete;
};

// A material of three cels: 0 and 1 untextured (colours 40 and 41), 2
// textured with the given texture (colour 42).
struct TestMaterial {
  qxMaterial material{};
  qxMaterialCel cels[3]{};
  explicit TestMaterial(qxMaterialTexture* texture = nullptr) {
    for (int i = 0; i < 3; ++i) {
      cels[i].colour = 40 + i;
      material.cels[i] = &cels[i];
    }
    cels[2].flags = QXMATERIAL_CEL_TEXTURED;
    cels[2].texture = texture;
    material.celCount = 3;
    material.currentCel = 1;
  }
};

struct Vertex {
  float x, y, z;
  float u = 0, v = 0, level = 0;
};

// Queues a face through the face cache and returns the committed record
// (valid until the cache is reset or flushed), or null when the cache
// refused it.
inline qxCacheFace* Queue(const std::vector<Vertex>& vertices, int geometry = 3, int lighting = 0,
                          int texture = 0, qxMaterial* material = nullptr, int celIndex = 0,
                          int reverseWinding = 0, uint32_t faceFlags = 0) {
  qxCacheFace* f = qxCache_NewFace();
  if (!f) return nullptr;
  const int n = static_cast<int>(vertices.size());
  for (int i = 0; i < n; ++i) {
    f->screenVerts[i] = {vertices[i].x, vertices[i].y, vertices[i].z};
    f->texVerts[i] = {vertices[i].u, vertices[i].v};
    f->levels[i] = vertices[i].level;
  }
  f->faceFlags = faceFlags;
  f->geometryMode = geometry;
  f->lightingMode = lighting;
  f->textureMode = texture;
  f->drawProc = nullptr;
  f->spanProc = nullptr;
  f->material = material;
  f->celIndex = celIndex;
  f->ambientFloor = 0.0f;
  f->faceLight = 0.0f;
  f->extraLight = 0.0f;
  f->reverseWinding = reverseWinding;
  if (!qxCache_CommitFace(0, n, QXCACHE_POOL_SCREEN | QXCACHE_POOL_TEXTURE | QXCACHE_POOL_LIGHT)) {
    return nullptr;
  }
  return &qxCache_GetFaces()[qxCache_GetFaceCount() - 1];
}

// The library's options as the engine sets them, the test colormap current
// and on display, and an empty face cache.
class RasterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qxTest_StartLibrary();
    qxCore_SetGeometryMode(5);
    qxCore_SetLightingMode(5);
    qxCore_SetTextureMode(5);
    qxCore_SetRenderFlags(0);
    qxCore_SetOcclusionMethod(0);
    qxCore_SetZBufferMethod(2);
    qxCore_SetSortingMethod(0);
    qxCore_pCurrentColormap = &colormap.cm;
    qxCore_pDisplayColormap = &colormap.cm;
    qxCache_Reset();
  }
  void TearDown() override {
    qxCache_Reset();
    qxRaster_SetFamilies(nullptr, nullptr);
    qxRaster_runObserver = nullptr;
    qxCore_pCurrentColormap = nullptr;
    qxCore_pDisplayColormap = nullptr;
  }
  TestColormap colormap;
};

}  // namespace rastertest
