// The span rasterizer on a 640x480 16-bit canvas with a depth buffer: a
// scene of 1500 overlapping perspective-textured triangles through
// qxSpanRaster_Run (faces per second), and its 16-bit perspective span
// filler over the whole screen against memset of the same 614,400 bytes in
// the same run. Prints the filler's speed as a fraction of memset's (the
// goal is at least 1/10).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "BenchRatio.h"
#include "quadrix/qxCache.h"
#include "quadrix/qxCamera.h"
#include "quadrix/qxCanvas.h"
#include "quadrix/qxColormap.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxMaterial.h"
#include "raster/qxSpanRaster.h"
#include "std/std.h"
#include "std/stdDisplay.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr int kScreenBytes = kWidth * kHeight * 2;
constexpr int kFaces = 1500;

DisplayBuffer* NewBuffer(int bpp, int w, int h) {
  BufferFormat f{};
  f.width = w;
  f.height = h;
  f.format.colorMode = bpp == 8 ? 0 : 1;
  f.format.bitsPerPixel = bpp;
  return stdDisplay_NewBuffer(&f, 0, 0, nullptr);
}

std::vector<uint8_t> g_light8(kColormapLightEntries);
std::vector<uint16_t> g_light16(kColormapLightEntries);
qxColormap g_colormap{};
qxMaterialTexture g_texture{};
qxMaterialCel g_cel{};
qxMaterial g_material{};

void Start() {
  static HostServices hs;
  HostServices_CopyDefaults(&hs);
  std_DefaultServices(&hs);
  std_Startup(&hs);
  qxCore_Startup(&hs);
  qxCore_Open(0);
  DisplayBuffer* video = NewBuffer(16, kWidth, kHeight);
  DisplayBuffer* z = NewBuffer(16, kWidth, kHeight);
  qxCanvas* canvas = qxCanvas_New(0, video, z, 0, 0, kWidth - 1, kHeight - 1, 0);
  qxCamera* camera = qxCamera_New(90.0f, 1, 1.0f, 1000.0f, 1.0f);
  qxCamera_SetCanvas(camera, canvas);
  qxCamera_SetCurrent(camera);
  qxCamera_Update(&qxMatrix34_identity);

  for (int i = 0; i < kColormapLightEntries; ++i) {
    g_light8[i] = static_cast<uint8_t>(i * 7);
    g_light16[i] = static_cast<uint16_t>(i * 2654435761u >> 16);
  }
  g_colormap.lightTable = g_light8.data();
  g_colormap.lightTable16 = g_light16.data();
  qxCore_pCurrentColormap = &g_colormap;

  // A 64x64 texture of four levels.
  g_texture.log2Width = 6;
  g_texture.widthMask = 63;
  g_texture.heightMask = 63;
  g_texture.mipCount = 4;
  for (int k = 0; k < 4; ++k) {
    const int side = 64 >> k;
    DisplayBuffer* b = NewBuffer(8, side, side);
    auto* p = static_cast<uint8_t*>(b->pixels);
    for (int i = 0; i < side * side; ++i) p[i] = static_cast<uint8_t>(i * 13 + k);
    g_texture.mipLevels[k] = b;
  }
  g_cel.flags = QXMATERIAL_CEL_TEXTURED;
  g_cel.texture = &g_texture;
  g_material.cels[0] = &g_cel;
  g_material.celCount = 1;

  qxCore_SetOcclusionMethod(1);
  qxCore_SetZBufferMethod(1);
}

// Triangles of 30 to 150 pixels across, listed so that they descend along
// their left side, at depths 2 to 60.
void QueueScene() {
  std::mt19937 rng(39);
  std::uniform_real_distribution<float> cx(0.0f, kWidth - 1), cy(0.0f, kHeight - 1);
  std::uniform_real_distribution<float> size(15.0f, 75.0f), off(-1.0f, 1.0f), depth(2.0f, 60.0f);
  qxCache_Reset();
  for (int n = 0; n < kFaces; ++n) {
    const float x = cx(rng), y = cy(rng), s = size(rng), z = depth(rng);
    qxVector3 v[3];
    for (qxVector3& p : v) {
      p = {std::clamp(x + s * off(rng), 0.0f, kWidth - 1.0f),
           std::clamp(y + s * off(rng), 0.0f, kHeight - 1.0f), z + 5.0f * off(rng)};
    }
    const float cross =
        (v[1].x - v[0].x) * (v[2].y - v[0].y) - (v[1].y - v[0].y) * (v[2].x - v[0].x);
    if (cross > 0) std::swap(v[1], v[2]);
    qxCacheFace* f = qxCache_NewFace();
    for (int i = 0; i < 3; ++i) {
      f->screenVerts[i] = v[i];
      f->texVerts[i] = {v[i].x * 0.5f, v[i].y * 0.5f};
    }
    f->faceFlags = 0;
    f->geometryMode = 4;
    f->lightingMode = 0;
    f->textureMode = 1;
    f->drawProc = nullptr;
    f->spanProc = nullptr;
    f->material = &g_material;
    f->celIndex = 0;
    f->reverseWinding = 0;
    qxCache_CommitFace(0, 3, QXCACHE_POOL_SCREEN | QXCACHE_POOL_TEXTURE | QXCACHE_POOL_LIGHT);
  }
}

// The queued scene drawn again and again (unlit faces are not changed by
// the level rules, so the cache can stay as it is).
void BM_SpanRasterScene(benchmark::State& state) {
  QueueScene();
  const int faces = qxCache_GetFaceCount();
  for (auto _ : state) {
    qxSpanRaster_Reset();
    qxSpanRaster_Run();
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * faces);
  state.counters["faces/s"] =
      benchmark::Counter(static_cast<double>(faces), benchmark::Counter::kIsIterationInvariantRate);
  qxCache_Reset();
}
BENCHMARK(BM_SpanRasterScene)->Unit(benchmark::kMicrosecond);

// 480 spans of 640 pixels of a receding plane, through the perspective
// filler the walker's working values were loaded for.
void BM_PerspFiller16(benchmark::State& state) {
  qxCacheFace face{};
  face.colormap = &g_colormap;
  static qxSpanPolygon poly{};
  poly.face = &face;
  poly.texels = static_cast<const uint8_t*>(g_texture.mipLevels[0]->pixels);
  poly.mipShift = 6;
  poly.uMask = 63;
  poly.vMask = 63 << 6;
  poly.uBias = poly.vBias = 32768;
  poly.lightRow16 = g_light16.data() + 63 * 256;
  poly.dInvZdX = 0.0001f;
  poly.dUOverZdX = 0.01f;
  poly.dVOverZdX = 0.002f;
  poly.dInvZdX16 = 16 * poly.dInvZdX;
  poly.dUOverZdX16 = 16 * poly.dUOverZdX;
  poly.dVOverZdX16 = 16 * poly.dVOverZdX;
  poly.spanHead = nullptr;
  qxSpanRaster_WalkPerspUnlit(&poly);  // loads the working values
  std::vector<qxSpan> spans(kHeight);
  for (int y = 0; y < kHeight; ++y) {
    spans[y] = {};
    spans[y].x = 0;
    spans[y].length = kWidth;
    spans[y].y = y;
    spans[y].invZ = 0.05f + y * 0.0001f;
    spans[y].uOverZ = 0.3f;
    spans[y].vOverZ = y * 0.01f;
  }
  for (auto _ : state) {
    for (const qxSpan& s : spans) qxSpanRaster_SpanPerspUnlit16(&s);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kScreenBytes);
}
BENCHMARK(BM_PerspFiller16)->Unit(benchmark::kMicrosecond);

void BM_MemsetScreen(benchmark::State& state) {
  std::vector<uint8_t> screen(kScreenBytes);
  int value = 0;
  for (auto _ : state) {
    std::memset(screen.data(), ++value, kScreenBytes);
    benchmark::DoNotOptimize(screen.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * kScreenBytes);
}
BENCHMARK(BM_MemsetScreen)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Start();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (reporter.times.count("BM_SpanRasterScene") && reporter.times["BM_SpanRasterScene"] > 0) {
    std::printf("span raster      faces per second: %.0f\n",
                kFaces / (reporter.times["BM_SpanRasterScene"] * 1e-6));
  }
  // Three decimals: the ratio lies well below 0.1.
  if (reporter.times.count("BM_MemsetScreen") && reporter.times.count("BM_PerspFiller16") &&
      reporter.times["BM_PerspFiller16"] > 0) {
    std::printf("persp filler 16  speed / memset of the same bytes (goal >= 0.10): %.3f\n",
                reporter.times["BM_MemsetScreen"] / reporter.times["BM_PerspFiller16"]);
  }
  benchmark::Shutdown();
  return 0;
}
