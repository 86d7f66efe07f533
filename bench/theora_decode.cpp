// Every frame of a 640x480 clip decoded through the player (load, decode
// steps with the clock paused, TH_RGBX) against bare libtheora decoding of
// the same file (libogg paging, th_decode_packetin, th_decode_ycbcr_out).
#include <benchmark/benchmark.h>
#include <ogg/ogg.h>
#include <theora/theoradec.h>

#include <cstring>

#include "BenchRatio.h"
#include "OggWriter.h"
#include "video/KineVideoClip_Theora.h"
#include "video/KineVideoManager.h"

namespace {

constexpr int kFrames = 60;

const std::vector<uint8_t> &Clip() {
  static const std::vector<uint8_t> bytes = [] {
    OggWriterOptions o;
    o.width = 640;
    o.height = 480;
    o.frames = kFrames;
    o.keyframeInterval = 32;
    return OggWriter_Write(o);
  }();
  return bytes;
}

void Quiet(const std::string &) {}

void BM_PlayerDecode(benchmark::State &state) {
  static KineVideoManager *manager = [] {
    KineSetLogFunction(Quiet);
    return new KineVideoManager(1);
  }();
  (void)manager;
  const std::vector<uint8_t> &bytes = Clip();
  for (auto _ : state) {
    auto *source = new KineMemoryFileDataSource(
        "bench", bytes.data(), static_cast<int32_t>(bytes.size()));
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
    if (frames != kFrames)
      state.SkipWithError("frames missing");
  }
}
BENCHMARK(BM_PlayerDecode)->Unit(benchmark::kMillisecond);

void BM_LibtheoraDecode(benchmark::State &state) {
  const std::vector<uint8_t> &bytes = Clip();
  for (auto _ : state) {
    ogg_sync_state oy;
    ogg_sync_init(&oy);
    char *buffer = ogg_sync_buffer(&oy, static_cast<long>(bytes.size()));
    std::memcpy(buffer, bytes.data(), bytes.size());
    ogg_sync_wrote(&oy, static_cast<long>(bytes.size()));
    th_info ti;
    th_comment tc;
    th_setup_info *ts = nullptr;
    th_info_init(&ti);
    th_comment_init(&tc);
    ogg_stream_state os;
    bool haveStream = false;
    th_dec_ctx *dec = nullptr;
    int headers = 0, frames = 0;
    ogg_page page;
    ogg_packet packet;
    while (ogg_sync_pageout(&oy, &page) > 0) {
      if (!haveStream) {
        ogg_stream_init(&os, ogg_page_serialno(&page));
        haveStream = true;
      }
      if (ogg_stream_pagein(&os, &page) != 0)
        continue;
      while (ogg_stream_packetout(&os, &packet) > 0) {
        if (headers < 3) {
          if (th_decode_headerin(&ti, &tc, &ts, &packet) > 0)
            ++headers;
          if (headers == 3)
            dec = th_decode_alloc(&ti, ts);
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
    if (frames != kFrames)
      state.SkipWithError("frames missing");
    th_decode_free(dec);
    th_setup_free(ts);
    th_comment_clear(&tc);
    th_info_clear(&ti);
    if (haveStream)
      ogg_stream_clear(&os);
    ogg_sync_clear(&oy);
  }
}
BENCHMARK(BM_LibtheoraDecode)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatio("BM_PlayerDecode", "BM_LibtheoraDecode", "theora_decode",
                      "player / libtheora");
  benchmark::Shutdown();
  return 0;
}
