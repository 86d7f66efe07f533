// Pool allocation against the tracked allocator of the services record and
// plain malloc, for the small records the engine's tables keep.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "std/std.h"
#include "std/stdMemory.h"

namespace {

HostServices* Services() {
  static HostServices hs;
  static bool ready = false;
  if (!ready) {
    HostServices_CopyDefaults(&hs);
    std_DefaultServices(&hs);
    std_Startup(&hs);
    ready = true;
  }
  return &hs;
}

constexpr int kItems = 256;

void BM_PoolAllocFree(benchmark::State& state) {
  Services();
  MemoryPool* pool = Memory_PoolCreate(48, kItems, 64);
  std::vector<void*> items(kItems);
  for (auto _ : state) {
    for (auto& item : items) item = Memory_PoolAlloc(pool);
    for (auto* item : items) Memory_PoolFree(item);
    benchmark::DoNotOptimize(items.data());
  }
  Memory_PoolDestroy(pool);
  state.SetItemsProcessed(state.iterations() * kItems);
}
BENCHMARK(BM_PoolAllocFree);

void BM_TrackedAllocFree(benchmark::State& state) {
  HostServices* hs = Services();
  std::vector<void*> items(kItems);
  for (auto _ : state) {
    for (auto& item : items) item = hs->memAlloc(48, __FILE__, __LINE__);
    for (auto* item : items) hs->memFree(item);
    benchmark::DoNotOptimize(items.data());
  }
  state.SetItemsProcessed(state.iterations() * kItems);
}
BENCHMARK(BM_TrackedAllocFree);

void BM_MallocFree(benchmark::State& state) {
  std::vector<void*> items(kItems);
  for (auto _ : state) {
    for (auto& item : items) item = std::malloc(48);
    for (auto* item : items) std::free(item);
    benchmark::DoNotOptimize(items.data());
  }
  state.SetItemsProcessed(state.iterations() * kItems);
}
BENCHMARK(BM_MallocFree);

}  // namespace

BENCHMARK_MAIN();
