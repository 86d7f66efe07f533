// Reading a gzip-compressed 5 MB stream through vembra_zfilio (the codec
// library's gzip layer over a plain stdio file table) against zlib's own
// gzread of the same file.
#include "vembra/vembra_zfilio.h"

#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "../tests/vembra/VembraTestHost.h"
#include "RateReporter.h"
#include "vembra/OrnShare.h"

namespace {

constexpr size_t kSize = 5 * 1024 * 1024;

int RegisterHost(OrnShareServices* s, const char*) {
  s->Publish("MEMORY=vembra", vembratest::TestMemory());
  s->Publish("FILIO=vembra_stdio", vembratest::TestStdio());
  return 0;
}

const OrnModuleListEntry kModules[] = {
    {RegisterHost, nullptr}, {vembra_zfilio_Register, "FILIO=vembra_stdio"}, {nullptr, nullptr}};

// A movie-like stream: runs of repeated and varying bytes, compressed by
// zlib's own writer.
const char* MoviePath() {
  // A plain buffer: it must outlive the exit handler that removes the file.
  static char path[64];
  if (path[0]) return path;
  snprintf(path, sizeof path, "/tmp/vembra_bench_%d.snm", int(getpid()));
  std::vector<unsigned char> data(kSize);
  uint32_t x = 1;
  for (size_t i = 0; i < kSize; ++i) {
    x = x * 1664525u + 1013904223u;
    data[i] = (i / 64) % 3 == 0 ? static_cast<unsigned char>(x >> 24)
                                : static_cast<unsigned char>(i / 1024);
  }
  gzFile g = gzopen(path, "wb");
  gzwrite(g, data.data(), unsigned(kSize));
  gzclose(g);
  atexit([] { remove(MoviePath()); });
  return path;
}

void BM_Zfilio(benchmark::State& state) {
  static bool started = [] {
    OrnShare_Init(nullptr, kModules, "FILIO=vembra_zfilio", "");
    static const intptr_t tags[] = {1, reinterpret_cast<intptr_t>(".snm"), 0};
    vembra_zfilio_Configure(tags);
    return OrnShare_Startup() == 0;
  }();
  if (!started) state.SkipWithError("library did not start");
  VembraFilio* io = vembra_zfilio_Table();
  std::vector<char> buffer(2048 * 12);
  for (auto _ : state) {
    VembraFileHandle h = io->Open(MoviePath(), "rb");
    size_t total = 0;
    int32_t n;
    while ((n = io->Read(h, buffer.data(), int32_t(buffer.size()))) > 0) total += size_t(n);
    io->Close(h);
    if (total != kSize) state.SkipWithError("short read");
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}
BENCHMARK(BM_Zfilio);

void BM_ZlibGzread(benchmark::State& state) {
  std::vector<char> buffer(2048 * 12);
  for (auto _ : state) {
    gzFile g = gzopen(MoviePath(), "rb");
    size_t total = 0;
    int n;
    while ((n = gzread(g, buffer.data(), unsigned(buffer.size()))) > 0) total += size_t(n);
    gzclose(g);
    if (total != kSize) state.SkipWithError("short read");
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kSize));
}
BENCHMARK(BM_ZlibGzread);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RateReporter reporter("bytes_per_second", [](RateReporter::Rates& rates) {
    const double ours = rates["BM_Zfilio"], zlib = rates["BM_ZlibGzread"];
    if (ours > 0 && zlib > 0) {
      std::printf("vembra_zfilio %.1f MB/s, zlib gzread %.1f MB/s, ratio ours/zlib %.2f\n",
                  ours / 1e6, zlib / 1e6, ours / zlib);
    }
  });
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
