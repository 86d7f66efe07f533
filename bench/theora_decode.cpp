// Every frame of a 640x480 clip decoded through the player (load, decode
// steps with the clock paused, TH_RGBX) against bare libtheora decoding of
// the same file (libogg paging, th_decode_packetin, th_decode_ycbcr_out).
// A second pair converts one 640x480 picture of the detailed scene to the
// player's TH_RGBX pixels against SDL_ConvertPixels from IYUV to the same
// byte order (XBGR8888 on a little-endian machine: R, G, B, spare); ours runs
// once per instruction set the processor has (argument: 1 SSE2, 2 AVX2,
// 3 AVX-512; the player uses the widest).
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <ogg/ogg.h>
#include <theora/theoradec.h>

#include <cmath>
#include <cstring>
#include <string>

#include "BenchRatio.h"
#include "OggWriter.h"
#include "video/KineVideoClip_Theora.h"
#include "video/KineVideoManager.h"

namespace {

// Two 640x480 clips: the writer's gradient (60 frames, cheap to decode, so
// the player's own work weighs most) and a detailed scene panning over
// textures with grain (120 frames, closer to filmed pictures).
constexpr int kFrames[2] = {60, 120};

void Scene(int f, int w, int h, uint8_t* luma, uint8_t* cb, uint8_t* cr) {
  uint32_t seed = 12345u + static_cast<uint32_t>(f) * 7919u;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      seed = seed * 1664525u + 1013904223u;
      const double px = x + f * 2.0;
      const double v = 110 + 45 * std::sin(px * 0.045) * std::cos(y * 0.06) +
                       25 * std::sin((px + y) * 0.21) + 15 * std::sin(px * 0.9 + y * 0.4) +
                       static_cast<int>(seed >> 28) - 8;
      luma[y * w + x] = static_cast<uint8_t>(v < 16 ? 16 : (v > 235 ? 235 : v));
    }
  }
  for (int y = 0; y < h / 2; ++y) {
    for (int x = 0; x < w / 2; ++x) {
      cb[y * (w / 2) + x] = static_cast<uint8_t>(128 + 40 * std::sin((x + f) * 0.03));
      cr[y * (w / 2) + x] = static_cast<uint8_t>(128 + 40 * std::cos(y * 0.05 + f * 0.02));
    }
  }
}

const std::vector<uint8_t>& Clip(int which) {
  static const std::vector<uint8_t> bytes[2] = {[] {
                                                  OggWriterOptions o;
                                                  o.width = 640;
                                                  o.height = 480;
                                                  o.frames = kFrames[0];
                                                  o.keyframeInterval = 32;
                                                  return OggWriter_Write(o);
                                                }(),
                                                [] {
                                                  OggWriterOptions o;
                                                  o.width = 640;
                                                  o.height = 480;
                                                  o.frames = kFrames[1];
                                                  o.keyframeInterval = 32;
                                                  o.picture = Scene;
                                                  return OggWriter_Write(o);
                                                }()};
  return bytes[which];
}

void Quiet(const std::string&) {}

void BM_PlayerDecode(benchmark::State& state) {
  static KineVideoManager* manager = [] {
    KineSetLogFunction(Quiet);
    return new KineVideoManager(1);
  }();
  (void)manager;
  const int which = static_cast<int>(state.range(0));
  const std::vector<uint8_t>& bytes = Clip(which);
  for (auto _ : state) {
    auto* source =
        new KineMemoryFileDataSource("bench", bytes.data(), static_cast<int32_t>(bytes.size()));
    KineVideoClip_Theora clip(source, TH_RGBX, 4, false, 0);
    clip.Load(source);
    clip.Pause();
    int frames = 0;
    while (!clip.lastStepMetEnd.load()) {
      clip.DecodeFrame();
      if (clip.GetFrameQueue()->PeekReady()) {
        ++frames;
        clip.GetFrameQueue()->Pop();
      }
    }
    if (frames != kFrames[which]) state.SkipWithError("frames missing");
  }
}
BENCHMARK(BM_PlayerDecode)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_LibtheoraDecode(benchmark::State& state) {
  const int which = static_cast<int>(state.range(0));
  const std::vector<uint8_t>& bytes = Clip(which);
  for (auto _ : state) {
    ogg_sync_state oy;
    ogg_sync_init(&oy);
    char* buffer = ogg_sync_buffer(&oy, static_cast<long>(bytes.size()));
    std::memcpy(buffer, bytes.data(), bytes.size());
    ogg_sync_wrote(&oy, static_cast<long>(bytes.size()));
    th_info ti;
    th_comment tc;
    th_setup_info* ts = nullptr;
    th_info_init(&ti);
    th_comment_init(&tc);
    ogg_stream_state os;
    bool haveStream = false;
    th_dec_ctx* dec = nullptr;
    int headers = 0, frames = 0;
    ogg_page page;
    ogg_packet packet;
    while (ogg_sync_pageout(&oy, &page) > 0) {
      if (!haveStream) {
        ogg_stream_init(&os, ogg_page_serialno(&page));
        haveStream = true;
      }
      if (ogg_stream_pagein(&os, &page) != 0) continue;
      while (ogg_stream_packetout(&os, &packet) > 0) {
        if (headers < 3) {
          if (th_decode_headerin(&ti, &tc, &ts, &packet) > 0) ++headers;
          if (headers == 3) dec = th_decode_alloc(&ti, ts);
          continue;
        }
        ogg_int64_t granule;
        if (th_decode_packetin(dec, &packet, &granule) == 0) {
          th_ycbcr_buffer planes;
          th_decode_ycbcr_out(dec, planes);
          benchmark::DoNotOptimize(planes[0].data[0]);
          ++frames;
        }
      }
    }
    if (frames != kFrames[which]) state.SkipWithError("frames missing");
    th_decode_free(dec);
    th_setup_free(ts);
    th_comment_clear(&tc);
    th_info_clear(&ti);
    if (haveStream) ogg_stream_clear(&os);
    ogg_sync_clear(&oy);
  }
}
BENCHMARK(BM_LibtheoraDecode)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// One picture of the detailed scene as IYUV: the luma plane, then Cb, then
// Cr, each packed (the layout SDL_ConvertPixels expects).
constexpr int kConvertWidth = 640, kConvertHeight = 480;
const std::vector<uint8_t>& ScenePicture() {
  static const std::vector<uint8_t> planes = [] {
    const int w = kConvertWidth, h = kConvertHeight;
    std::vector<uint8_t> p(static_cast<size_t>(w) * h * 3 / 2);
    uint8_t* luma = p.data();
    uint8_t* cb = luma + w * h;
    uint8_t* cr = cb + (w / 2) * (h / 2);
    Scene(17, w, h, luma, cb, cr);
    return p;
  }();
  return planes;
}

void BM_ConvertOurs(benchmark::State& state) {
  YuvTables_Build();
  const int widest = Kine_ConvertPath();
  if (Kine_SetConvertPath(static_cast<int>(state.range(0))) != state.range(0)) {
    Kine_SetConvertPath(widest);
    state.SkipWithError("the processor lacks these instructions");
    return;
  }
  const int w = kConvertWidth, h = kConvertHeight;
  const std::vector<uint8_t>& planes = ScenePicture();
  std::vector<uint8_t> out(static_cast<size_t>(w) * h * 4, 0xFF);
  const uint8_t* cb = planes.data() + w * h;
  const uint8_t* cr = cb + (w / 2) * (h / 2);
  const KineConversionJob job{nullptr, planes.data(), cb, cr, out.data(), w, h, 0, w, w / 2, w / 2};
  for (auto _ : state) {
    g_kineConverters[TH_RGBX](job);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  Kine_SetConvertPath(widest);
  state.SetItemsProcessed(state.iterations() * w * h);
}
BENCHMARK(BM_ConvertOurs)->DenseRange(1, 3)->Unit(benchmark::kMicrosecond);

void BM_ConvertSdl(benchmark::State& state) {
  const int w = kConvertWidth, h = kConvertHeight;
  const std::vector<uint8_t>& planes = ScenePicture();
  std::vector<uint8_t> out(static_cast<size_t>(w) * h * 4, 0xFF);
  for (auto _ : state) {
    if (SDL_ConvertPixels(w, h, SDL_PIXELFORMAT_IYUV, planes.data(), w, SDL_PIXELFORMAT_XBGR8888,
                          out.data(), w * 4) != 0) {
      state.SkipWithError(SDL_GetError());
      return;
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * w * h);
}
BENCHMARK(BM_ConvertSdl)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatio("BM_PlayerDecode/0", "BM_LibtheoraDecode/0", "theora_decode",
                      "player / libtheora, gradient");
  reporter.PrintRatio("BM_PlayerDecode/1", "BM_LibtheoraDecode/1", "theora_decode",
                      "player / libtheora, detailed scene");
  const char* paths[] = {"SSE2", "AVX2", "AVX-512"};
  for (int path = 1; path <= 3; ++path) {
    const std::string what = std::string("conversion ours (") + paths[path - 1] +
                             ") / SDL_ConvertPixels, 640x480 TH_RGBX";
    reporter.PrintRatio("BM_ConvertOurs/" + std::to_string(path), "BM_ConvertSdl", "theora_decode",
                        what.c_str());
  }
  benchmark::Shutdown();
  return 0;
}
