// Reading every entry of a 50 MB LABN archive through the file layer (the
// services record's open/read/close on archive windows) against plain pread
// of the same bytes from the same file, in 1000-byte chunks (served from the
// window's buffer) and in whole-entry reads (straight to the archive).
// Prints the ratio file layer / pread for each chunk size.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "engine/Res.h"
#include "std/std.h"

namespace {

constexpr int kEntries = 200;
constexpr uint32_t kEntrySize = 256 * 1024;  // 200 x 256 KB = 50 MB
const char kArchive[] = "bench_labn.lab";

struct Entry {
  std::string name;
  uint32_t offset;
};
std::vector<Entry> gEntries;
HostServices gServices;

void Put32(std::string* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>(v >> (8 * i)));
}

void Setup() {
  static bool ready = false;
  if (ready) return;
  std::string names;
  std::vector<uint32_t> nameOffsets;
  for (int i = 0; i < kEntries; ++i) {
    nameOffsets.push_back(static_cast<uint32_t>(names.size()));
    const std::string name = "entry" + std::to_string(i) + ".bin";
    names += name;
    names.push_back('\0');
    gEntries.push_back({name, 0});
  }
  std::string head = "LABN";
  Put32(&head, 1);
  Put32(&head, kEntries);
  Put32(&head, static_cast<uint32_t>(names.size()));
  uint32_t offset = 16 + 16 * kEntries + static_cast<uint32_t>(names.size());
  for (int i = 0; i < kEntries; ++i) {
    Put32(&head, nameOffsets[i]);
    Put32(&head, offset);
    Put32(&head, kEntrySize);
    Put32(&head, 0);
    gEntries[i].offset = offset;
    offset += kEntrySize;
  }
  head += names;
  FILE* out = std::fopen(kArchive, "wb");
  std::fwrite(head.data(), 1, head.size(), out);
  std::vector<char> data(kEntrySize);
  for (int i = 0; i < kEntries; ++i) {
    std::memset(data.data(), i, data.size());
    std::fwrite(data.data(), 1, data.size(), out);
  }
  std::fclose(out);

  HostServices_CopyDefaults(&gServices);
  std_DefaultServices(&gServices);
  std_Startup(&gServices);
  Res_Initialize(&gServices, nullptr);
  Res_Startup();
  Res_InstallFileServices(&gServices);
  Res_OpenPack(kArchive);
  ready = true;
}

void BM_FileLayer(benchmark::State& state) {
  Setup();
  const size_t chunk = static_cast<size_t>(state.range(0));
  std::vector<char> buffer(chunk);
  for (auto _ : state) {
    for (const Entry& e : gEntries) {
      const stdFile_t f = gServices.fileOpen(e.name.c_str(), "rb");
      while (gServices.fileRead(f, buffer.data(), chunk) > 0) {
      }
      gServices.fileClose(f);
    }
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * int64_t{kEntries} * kEntrySize);
}
BENCHMARK(BM_FileLayer)->Arg(1000)->Arg(kEntrySize)->Unit(benchmark::kMillisecond);

void BM_Pread(benchmark::State& state) {
  Setup();
  const size_t chunk = static_cast<size_t>(state.range(0));
  std::vector<char> buffer(chunk);
  const int fd = ::open(kArchive, O_RDONLY);
  for (auto _ : state) {
    for (const Entry& e : gEntries) {
      for (uint32_t at = 0; at < kEntrySize;) {
        const ssize_t n =
            ::pread(fd, buffer.data(), std::min<size_t>(chunk, kEntrySize - at), e.offset + at);
        if (n <= 0) break;
        at += static_cast<uint32_t>(n);
      }
    }
    benchmark::ClobberMemory();
  }
  ::close(fd);
  state.SetBytesProcessed(state.iterations() * int64_t{kEntries} * kEntrySize);
}
BENCHMARK(BM_Pread)->Arg(1000)->Arg(kEntrySize)->Unit(benchmark::kMillisecond);

// Keeps each run's time per iteration so that the ratios can be printed.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) times[run.benchmark_name()] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const char* arg : {"1000", "262144"}) {
    const auto layer = reporter.times.find(std::string("BM_FileLayer/") + arg);
    const auto plain = reporter.times.find(std::string("BM_Pread/") + arg);
    if (layer != reporter.times.end() && plain != reporter.times.end() && plain->second > 0) {
      std::printf("file layer / pread, %s-byte reads: %.2f\n", arg, layer->second / plain->second);
    }
  }
  benchmark::Shutdown();
  std::remove(kArchive);
  return 0;
}
