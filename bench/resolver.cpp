// The path resolver against the file system's own look-up: resolving a data
// name (other letter case, backslashes) through the cached listings, next to
// a stat() of the exact host path, over a folder of 2000 files.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "std/stdFileUtil.h"

namespace {

constexpr int kFiles = 2000;
const char kFolder[] = "bench_resolver/Data/Sets";

void MakeTree() {
  static bool made = false;
  if (made) return;
  std::filesystem::create_directories(kFolder);
  for (int i = 0; i < kFiles; ++i) {
    std::ofstream(std::string(kFolder) + "/Room" + std::to_string(i) + ".SET") << "x";
  }
  made = true;
}

void BM_Resolve(benchmark::State& state) {
  MakeTree();
  int i = 0;
  std::string host;
  for (auto _ : state) {
    const std::string name =
        "bench_resolver\\data\\sets\\room" + std::to_string(i++ % kFiles) + ".set";
    benchmark::DoNotOptimize(stdFileUtil_ResolvePath(name.c_str(), &host));
  }
}
BENCHMARK(BM_Resolve);

void BM_StatExactPath(benchmark::State& state) {
  MakeTree();
  int i = 0;
  struct stat st;
  for (auto _ : state) {
    const std::string name = std::string(kFolder) + "/Room" + std::to_string(i++ % kFiles) + ".SET";
    benchmark::DoNotOptimize(stat(name.c_str(), &st));
  }
}
BENCHMARK(BM_StatExactPath);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all("bench_resolver");  // the tree lives in the current folder
  return 0;
}
