// The software rasterizer's hot paths in one run: a 640-pixel span of the
// 8-bit flat filler against memset of its 640 bytes; a 640-pixel span of
// the 16-bit z-buffered perspective Gouraud filler (every pixel passes its
// depth test) against memset of the same bytes: its 1,280-byte pixel row
// and its 1,280-byte depth row; and z-buffered perspective-textured Gouraud triangles of about
// 100 pixels on a 640 x 480 16-bit canvas, per second, drawn directly and
// flushed through the face cache (which reaches the rasterizer through the
// 3D library's table, one call per face). Prints each ratio as memset's time
// over ours (the goal for the z-buffered perspective span is at least 0.1),
// and the direct triangles' time over the flushed ones'.
//
// The reference is the C library's memset, called as a function on rows
// aligned to 64 bytes: with a constant size the compiler would otherwise
// expand it in line into a `rep stos`, whose start-up costs more than the
// whole store and would flatter every ratio.
#include "raster/qxRaster.h"

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
#include "raster/qxZRaster.h"
#include "std/std.h"
#include "std/stdDisplay.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;

// The C library's memset, behind a pointer the compiler cannot see through.
void* (*volatile g_memset)(void*, int, size_t) = std::memset;

DisplayBuffer* g_video8 = nullptr;
DisplayBuffer* g_video16 = nullptr;
DisplayBuffer* g_z = nullptr;
qxCanvas* g_canvas8 = nullptr;
qxCanvas* g_canvas16 = nullptr;
qxCamera* g_camera = nullptr;
qxColormap g_colormap{};
std::vector<uint8_t> g_light8(kColormapLightEntries), g_trans(kColormapTableEntries),
    g_inverse(kColormapTableEntries);
std::vector<uint16_t> g_light16(kColormapLightEntries);
qxMaterialTexture g_texture{};
qxMaterialCel g_cels[2]{};
qxMaterial g_material{};

DisplayBuffer* NewBuffer(int bpp, int width, int height) {
  BufferFormat f{};
  f.width = width;
  f.height = height;
  f.format.colorMode = bpp == 8 ? 0 : 1;
  f.format.bitsPerPixel = bpp;
  return stdDisplay_NewBuffer(&f, 0, 0, nullptr);
}

void Start() {
  static HostServices hs;
  HostServices_CopyDefaults(&hs);
  std_DefaultServices(&hs);
  std_Startup(&hs);
  qxCore_Startup(&hs);
  qxCore_Open(0);
  std::mt19937 rng(7);
  for (auto& v : g_light8) v = static_cast<uint8_t>(rng());
  for (auto& v : g_light16) v = static_cast<uint16_t>(rng());
  for (auto& v : g_trans) v = static_cast<uint8_t>(rng());
  for (auto& v : g_inverse) v = static_cast<uint8_t>(rng());
  g_colormap.lightTable = g_light8.data();
  g_colormap.lightTable16 = g_light16.data();
  g_colormap.translucencyTable = g_trans.data();
  g_colormap.inverseTable = g_inverse.data();
  qxCore_pCurrentColormap = &g_colormap;
  qxCore_pDisplayColormap = &g_colormap;

  // A 64 x 64 texture of four mip levels.
  g_texture.log2Width = 6;
  g_texture.widthMask = 63;
  g_texture.heightMask = 63;
  g_texture.mipCount = 4;
  for (int k = 0; k < 4; ++k) {
    g_texture.mipLevels[k] = NewBuffer(8, 64 >> k, 64 >> k);
    auto* p = static_cast<uint8_t*>(g_texture.mipLevels[k]->pixels);
    for (int i = 0; i < g_texture.mipLevels[k]->format.byteSize; ++i) p[i] = uint8_t(rng() | 1);
  }
  g_cels[0].colour = 17;
  g_cels[1].flags = QXMATERIAL_CEL_TEXTURED;
  g_cels[1].texture = &g_texture;
  g_material.cels[0] = &g_cels[0];
  g_material.cels[1] = &g_cels[1];
  g_material.celCount = 2;

  g_video8 = NewBuffer(8, kWidth, kHeight);
  g_video16 = NewBuffer(16, kWidth, kHeight);
  g_z = NewBuffer(16, kWidth, kHeight);
  g_canvas8 = qxCanvas_New(0, g_video8, g_z, 0, 0, 0, 0, 0);
  g_canvas16 = qxCanvas_New(0, g_video16, g_z, 0, 0, 0, 0, 0);
  g_camera = qxCamera_New(90.0f, 1, 1.0f, 1000.0f, 1.0f);
  qxCamera_SetCurrent(g_camera);
}

// Queues a face through the cache (textured, Gouraud) and returns it.
qxCacheFace* Queue(const qxVector3* v, const qxVector2* uv, const float* levels, int n) {
  qxCacheFace* f = qxCache_NewFace();
  for (int i = 0; i < n; ++i) {
    f->screenVerts[i] = v[i];
    f->texVerts[i] = uv[i];
    f->levels[i] = levels[i];
  }
  f->faceFlags = 0;
  f->geometryMode = 4;
  f->lightingMode = 3;
  f->textureMode = 1;
  f->material = &g_material;
  f->celIndex = 1;
  f->reverseWinding = 0;
  if (!qxCache_CommitFace(0, n, QXCACHE_POOL_SCREEN | QXCACHE_POOL_TEXTURE | QXCACHE_POOL_LIGHT)) {
    return nullptr;
  }
  return &qxCache_GetFaces()[qxCache_GetFaceCount() - 1];
}

// Draws a 640-pixel strip (rows 10 and 11, depth 3 to 12, u over two
// tiles) so that the family's face state is set up, and returns its two
// edges on row 10 as the face rasterizer would hand them to the span filler.
void SpanEdges(qxCanvas* canvas, bool perspective, qxRasterEdge* left, qxRasterEdge* right) {
  g_camera->canvas = canvas;
  qxCache_Reset();
  const qxVector3 v[4] = {{0, 10, 3}, {0, 12, 3}, {640, 12, 12}, {640, 10, 12}};
  const qxVector2 uv[4] = {{0, 0}, {0, 20}, {128, 20}, {128, 0}};
  const float levels[4] = {10, 10, 50, 50};
  qxCacheFace* face = Queue(v, uv, levels, 4);
  *left = {};
  *right = {};
  left->nextVertex = right->nextVertex = face->topVertex;
  if (perspective) {
    std::memset(g_z->pixels, 0, static_cast<size_t>(g_z->format.byteSize));
    qxZRaster_DrawPerspGouraud(face, &g_cels[1]);
    qxZRaster_StepPerspGouraudEdgeLeft(left);
    qxZRaster_StepPerspGouraudEdgeRight(right);
  } else {
    qxRaster_DrawSolidUnlit(face, &g_cels[0]);
    qxRaster_StepEdgeLeft(left);
    qxRaster_StepEdgeRight(right);
  }
  qxCache_Reset();
}

void BM_SpanFlat8(benchmark::State& state) {
  qxRasterEdge left, right;
  SpanEdges(g_canvas8, false, &left, &right);
  // The span must fill the whole row, or the figures mean nothing.
  uint8_t* row = static_cast<uint8_t*>(g_video8->pixels) + left.y * g_video8->format.bytesPerRow;
  std::memset(row, 0, kWidth);
  qxRaster_SpanFlat8(&left, &right);
  if (std::count(row, row + kWidth, uint8_t{17}) != kWidth) state.SkipWithError("short span");
  for (auto _ : state) {
    qxRaster_SpanFlat8(&left, &right);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kWidth);
}
BENCHMARK(BM_SpanFlat8);

// Two rows of 16-bit pixels, aligned to cache lines.
alignas(64) uint8_t g_rows[2][kWidth * 2];

void BM_Memset640(benchmark::State& state) {
  for (auto _ : state) {
    g_memset(g_rows[0], 17, kWidth);
    benchmark::DoNotOptimize(g_rows[0]);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kWidth);
}
BENCHMARK(BM_Memset640);

void BM_ZSpanPerspGouraud16(benchmark::State& state) {
  qxRasterEdge left, right;
  SpanEdges(g_canvas16, true, &left, &right);
  uint16_t* depthRow = reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(g_z->pixels) +
                                                   left.y * g_z->format.bytesPerRow);
  // Each pass draws the span one 16.16 depth unit nearer than the last (its
  // left edge's 1/(z + 1) grows by exactly 2^-16), so every pixel passes its
  // depth test without clearing the row in the timed loop; the row is
  // cleared and the edge put back once every 4096 passes.
  const float invZ = left.invZ;
  std::memset(depthRow, 0, kWidth * 2);
  qxZRaster_SpanPerspGouraud16(&left, &right);
  if (std::count(depthRow, depthRow + kWidth, uint16_t{0}) != 0) state.SkipWithError("short span");
  int pass = 0;
  for (auto _ : state) {
    if (++pass == 4096) {
      pass = 0;
      left.invZ = invZ;
      std::memset(depthRow, 0, kWidth * 2);
    }
    left.invZ += 1.0f / 65536.0f;
    qxZRaster_SpanPerspGouraud16(&left, &right);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * 4);
}
BENCHMARK(BM_ZSpanPerspGouraud16);

void BM_Memset2x1280(benchmark::State& state) {
  for (auto _ : state) {
    g_memset(g_rows[0], 17, kWidth * 2);
    g_memset(g_rows[1], 17, kWidth * 2);
    benchmark::DoNotOptimize(g_rows[0]);
    benchmark::DoNotOptimize(g_rows[1]);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * 4);
}
BENCHMARK(BM_Memset2x1280);

// 4096 right triangles with legs of 14 pixels (98 pixels each) spread over
// the canvas at depths 2 to 30, drawn by the default classic path's face
// rasterizer; the depth buffer is cleared between passes, outside the timing.
void BM_ZPerspGouraudTriangles(benchmark::State& state) {
  g_camera->canvas = g_canvas16;
  qxCache_Reset();
  std::mt19937 rng(38);
  std::uniform_real_distribution<float> x(0, kWidth - 15), y(0, kHeight - 15), z(2, 30),
      light(0, 63);
  std::vector<qxCacheFace*> faces;
  while (faces.size() < 4096) {
    const float x0 = x(rng), y0 = y(rng);
    const qxVector3 v[3] = {{x0, y0, z(rng)}, {x0, y0 + 14, z(rng)}, {x0 + 14, y0, z(rng)}};
    const qxVector2 uv[3] = {{0, 0}, {0, 30}, {30, 0}};
    const float levels[3] = {light(rng), light(rng), light(rng)};
    if (qxCacheFace* f = Queue(v, uv, levels, 3)) faces.push_back(f);
  }
  int64_t pixels = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::memset(g_z->pixels, 0, static_cast<size_t>(g_z->format.byteSize));
    state.ResumeTiming();
    for (qxCacheFace* f : faces) qxZRaster_DrawPerspGouraud(f, &g_cels[1]);
    benchmark::ClobberMemory();
    pixels += 98 * int64_t(faces.size());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(faces.size()));
  state.counters["pixels"] = benchmark::Counter(double(pixels), benchmark::Counter::kIsRate);
  qxCache_Reset();
}
BENCHMARK(BM_ZPerspGouraudTriangles);

// The same triangles queued and flushed through the face cache with the
// depth buffer, as a frame draws them: the flush reaches the rasterizer
// through the library's table, one call per face. Queueing and the depth
// clear are outside the timing.
void BM_ZPerspGouraudTrianglesFlushed(benchmark::State& state) {
  g_camera->canvas = g_canvas16;
  qxCache_Reset();
  qxCore_SetZBufferMethod(2);
  std::mt19937 rng(38);
  std::uniform_real_distribution<float> x(0, kWidth - 15), y(0, kHeight - 15), z(2, 30),
      light(0, 63);
  struct Triangle {
    qxVector3 v[3];
    float levels[3];
  };
  std::vector<Triangle> triangles(4096);
  for (Triangle& t : triangles) {
    const float x0 = x(rng), y0 = y(rng);
    t = {{{x0, y0, z(rng)}, {x0, y0 + 14, z(rng)}, {x0 + 14, y0, z(rng)}},
         {light(rng), light(rng), light(rng)}};
  }
  const qxVector2 uv[3] = {{0, 0}, {0, 30}, {30, 0}};
  for (auto _ : state) {
    state.PauseTiming();
    std::memset(g_z->pixels, 0, static_cast<size_t>(g_z->format.byteSize));
    for (const Triangle& t : triangles) Queue(t.v, uv, t.levels, 3);
    state.ResumeTiming();
    qxCache_Flush();
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(triangles.size()));
  qxCore_SetZBufferMethod(0);
  qxCache_Reset();
}
BENCHMARK(BM_ZPerspGouraudTrianglesFlushed);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Start();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto speed = [&](const char* ours, const char* memsetRun, const char* label) {
    if (reporter.times.count(ours) && reporter.times.count(memsetRun) && reporter.times[ours] > 0) {
      std::printf("%-36s memset time / ours: %.3f\n", label,
                  reporter.times[memsetRun] / reporter.times[ours]);
    }
  };
  speed("BM_SpanFlat8", "BM_Memset640", "8-bit flat span (640 px)");
  speed("BM_ZSpanPerspGouraud16", "BM_Memset2x1280", "16-bit z persp Gouraud span (640 px)");
  if (reporter.times.count("BM_ZPerspGouraudTriangles")) {
    std::printf("%-36s %.0f triangles per second\n", "z persp Gouraud triangles (98 px)",
                4096.0 / (reporter.times["BM_ZPerspGouraudTriangles"] / 1e9));
  }
  if (reporter.times.count("BM_ZPerspGouraudTriangles") &&
      reporter.times.count("BM_ZPerspGouraudTrianglesFlushed")) {
    std::printf("%-36s direct time / flushed: %.3f\n", "the triangles through the face cache",
                reporter.times["BM_ZPerspGouraudTriangles"] /
                    reporter.times["BM_ZPerspGouraudTrianglesFlushed"]);
  }
  benchmark::Shutdown();
  return 0;
}
