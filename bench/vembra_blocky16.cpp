// Decoding a 640x480 Blocky16 frame, block coded (method 2, the encoder's mix
// of motion copies, patterns, fills and subdivisions) and raw (method 0),
// into a 16-bit target through the remap table, against memcpy of the same
// 614400 bytes.
#include "vembra/vembra_blocky16.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "../tests/vembra/VembraTestHost.h"
#include "RateReporter.h"
#include "SnmWriter.h"
#include "vembra/vembra_bitmap.h"

namespace {

constexpr int kW = 640, kH = 480;
constexpr int64_t kFrameBytes = int64_t(kW) * kH * 2;

const OrnModuleListEntry kModules[] = {{vembratest::RegisterTestMemory, nullptr},
                                       {vembra_bitmap_Register, nullptr},
                                       {vembra_blocky16_Register, nullptr},
                                       {nullptr, nullptr}};

uint16_t Rgb565(int r, int g, int b) {
  return uint16_t((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
}

// A scene like the demo's cutscenes: a banded sky, a disc, striped ground
// with fine texture, and a box that moves between frames.
std::vector<uint16_t> Picture(int f) {
  std::vector<uint16_t> p(size_t(kW) * kH);
  for (int y = 0; y < kH; ++y) {
    for (int x = 0; x < kW; ++x) {
      uint16_t c;
      if (y < 300) {
        c = Rgb565(60 + y / 8 * 4, 70 + y / 8 * 3, 160 - y / 8 * 2);
        const int dx = x - 320, dy = y - (150 + f * 4);
        if (dx * dx + dy * dy < 40 * 40) c = Rgb565(255, 200, 90);
      } else {
        c = ((x + 2 * y + f * 3) / 16) % 2 ? Rgb565(60, 110, 40) : Rgb565(90, 140, 50);
        if ((x * 7 + y * 13) % 29 == 0) c = Rgb565(30 + x % 50, 90, 30);
      }
      if (y >= 340 && y < 400 && x >= 40 + f * 5 && x < 150 + f * 5) c = Rgb565(150, 80, 30);
      p[size_t(y) * kW + size_t(x)] = c;
    }
  }
  return p;
}

struct Fixture {
  snm::Bytes raw, coded;
  VembraBitmap* target = nullptr;
  VembraFlobdec* d = vembra_blocky16_Table();
  int16_t sequence = 0;
  Fixture() {
    OrnShare_Init(nullptr, kModules, nullptr, nullptr);
    OrnShare_Startup();
    vembra_bitmap_Table()->Create(&target, kW, kH, 3);
    snm::Bl16Encoder encoder(kW, kH);
    raw = encoder.Encode(Picture(0));
    coded = encoder.Encode(Picture(1));
    std::printf(
        "method 2 frame: %zu bytes; opcodes used at 8x8: copies %d, patterns %d, fills %d, "
        "subdivisions %d\n",
        coded.size(), Uses(encoder, 8, 0, 246), Uses(encoder, 8, 247, 248),
        Uses(encoder, 8, 249, 254), Uses(encoder, 8, 255, 255));
  }
  static int Uses(const snm::Bl16Encoder& e, int size, int from, int to) {
    int n = 0;
    for (int op = from; op <= to; ++op) n += e.Uses(size, op);
    return n;
  }
  uint32_t Decode(snm::Bytes& payload) {
    return d->Decode(target, nullptr, 0, 0, nullptr, payload.data(), int32_t(payload.size()), 0, 1,
                     0);
  }
  // The raw frame starts a sequence; each coded frame must follow the one
  // before it, so its sequence number is moved on before every decode.
  void StartSequence() {
    Decode(raw);
    sequence = 0;
  }
  void DecodeNextCoded() {
    ++sequence;
    coded[16] = uint8_t(sequence);
    coded[17] = uint8_t(sequence >> 8);
    Decode(coded);
  }
};

Fixture& F() {
  static Fixture f;
  return f;
}

void BM_Blocky16Method2(benchmark::State& state) {
  Fixture& f = F();
  f.StartSequence();
  for (auto _ : state) {
    if (f.sequence == 30000) {
      state.PauseTiming();
      f.StartSequence();
      state.ResumeTiming();
    }
    f.DecodeNextCoded();
    benchmark::DoNotOptimize(f.target->pixels);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kFrameBytes);
}
BENCHMARK(BM_Blocky16Method2);

void BM_Blocky16Method0(benchmark::State& state) {
  Fixture& f = F();
  for (auto _ : state) {
    f.Decode(f.raw);
    benchmark::DoNotOptimize(f.target->pixels);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kFrameBytes);
}
BENCHMARK(BM_Blocky16Method0);

void BM_Memcpy(benchmark::State& state) {
  std::vector<uint8_t> from(size_t(kFrameBytes), 7);
  std::vector<uint8_t> to(from.size());
  for (auto _ : state) {
    memcpy(to.data(), from.data(), from.size());
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kFrameBytes);
}
BENCHMARK(BM_Memcpy);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RateReporter reporter("bytes_per_second", [](RateReporter::Rates& rates) {
    const double copy = rates["BM_Memcpy"];
    for (const char* name : {"BM_Blocky16Method2", "BM_Blocky16Method0"}) {
      if (rates[name] > 0 && copy > 0) {
        std::printf(
            "%s %.1f MB/s, memcpy %.1f MB/s, ratio ours/memcpy 1/%.1f (goal 1/20 or "
            "better)\n",
            name, rates[name] / 1e6, copy / 1e6, copy / rates[name]);
      }
    }
  });
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
