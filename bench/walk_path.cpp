// WalkPlane_FindPath on a floor of 200 square walk sectors (a 16 x 14 grid
// with 24 missing cells) against a brute-force visibility-graph Dijkstra over
// the same outline corners, in one run. Before timing, every query's
// unsmoothed graph path is checked against the reference length (within
// 1e-4); prints both times per query and their ratio.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "WalkReference.h"
#include "engine/Pathfinder.h"
#include "engine/WalkPlane.h"
#include "std/std.h"
#include "std/stdConffile.h"

namespace {

constexpr int kWidth = 16, kHeight = 14;
constexpr int kQueries = 64;

struct Query {
  qxVector3 start, goal;
};

struct Floor {
  walkref::GridFloor grid;
  std::vector<Query> queries;
};

walkref::GridFloor MakeGrid() {
  std::vector<uint8_t> present(kWidth * kHeight, 1);
  // 24 holes on interior cells two apart, so that no two touch.
  int holes = 0;
  for (int y = 1; y < kHeight - 1 && holes < 24; y += 2) {
    for (int x = 1 + (y / 2) % 2; x < kWidth - 1 && holes < 24; x += 2) {
      if ((x * 7 + y * 3) % 5 == 0) continue;
      present[y * kWidth + x] = 0;
      ++holes;
    }
  }
  return walkref::GridFloor(kWidth, kHeight, present);
}

const Floor& TheFloor() {
  static Floor* floor = [] {
    static HostServices hs;
    HostServices_CopyDefaults(&hs);
    std_DefaultServices(&hs);
    std_Startup(&hs);
    auto* f = new Floor{MakeGrid(), {}};
    const std::string path = "/tmp/vq_bench_walk_sectors.txt";
    FILE* file = std::fopen(path.c_str(), "wb");
    const std::string text = f->grid.SectorSection();
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    stdConffile_Open(path.c_str());
    WalkPlane_ReadSectors("bench.set");
    stdConffile_Close();
    std::remove(path.c_str());
    WalkPlane_SelectSetSectors("bench.set");
    int cells = 0;
    for (Sector* s = WalkPlane_GetSectors(); s; s = s->next) ++cells;
    std::printf("floor: %d walk sectors, %zu outline corners\n", cells, f->grid.Corners().size());

    std::mt19937 random(2024);
    std::uniform_real_distribution<float> unit(0.05f, 0.95f);
    while (static_cast<int>(f->queries.size()) < kQueries) {
      const int a = random() % (kWidth * kHeight), b = random() % (kWidth * kHeight);
      if (!f->grid.Present(a % kWidth, a / kWidth) || !f->grid.Present(b % kWidth, b / kWidth)) {
        continue;
      }
      f->queries.push_back({{a % kWidth + unit(random), a / kWidth + unit(random), 0},
                            {b % kWidth + unit(random), b / kWidth + unit(random), 0}});
    }
    return f;
  }();
  return *floor;
}

// Every query's unsmoothed graph path against the reference; false on a mismatch.
bool CheckLengths() {
  const Floor& floor = TheFloor();
  const Pathfinder* pf = Pathfinder_Construct();
  int worst = -1;
  double worstError = 0;
  for (size_t i = 0; i < floor.queries.size(); ++i) {
    const Query& q = floor.queries[i];
    if (!WalkPlane_FindPath(nullptr, &q.start, &q.goal, 1, nullptr, nullptr)) {
      std::printf("query %zu: no path\n", i);
      return false;
    }
    qxVector3 raw[WALK_PATH_MAX];
    const int n = Pathfinder_ShortestPath(Pathfinder_Construct()->nodes, 0, 1, raw, WALK_PATH_MAX);
    double length = 0;
    for (int k = 1; k < n; ++k) {
      length += std::hypot(raw[k].x - raw[k - 1].x, raw[k].y - raw[k - 1].y);
    }
    const double expected = floor.grid.ShortestLength({q.start.x, q.start.y}, {q.goal.x, q.goal.y});
    const double error = std::fabs(length - expected);
    if (error > worstError) {
      worstError = error;
      worst = static_cast<int>(i);
    }
  }
  std::printf(
      "graph: %d regions, %d nodes; %zu queries, largest length difference %.2g (query %d)\n",
      pf->regionCount, pf->nodeCount, floor.queries.size(), worstError, worst);
  return worstError <= 1e-4;
}

void BM_FindPath(benchmark::State& state) {
  const Floor& floor = TheFloor();
  size_t i = 0;
  for (auto _ : state) {
    const Query& q = floor.queries[i++ % floor.queries.size()];
    benchmark::DoNotOptimize(WalkPlane_FindPath(nullptr, &q.start, &q.goal, 1, nullptr, nullptr));
  }
}
BENCHMARK(BM_FindPath);

void BM_BruteForceVisibility(benchmark::State& state) {
  const Floor& floor = TheFloor();
  size_t i = 0;
  for (auto _ : state) {
    const Query& q = floor.queries[i++ % floor.queries.size()];
    benchmark::DoNotOptimize(
        floor.grid.ShortestLength({q.start.x, q.start.y}, {q.goal.x, q.goal.y}));
  }
}
BENCHMARK(BM_BruteForceVisibility);

// Console output plus the two times per query and their ratio.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& run : runs) times_[run.benchmark_name()] = run.GetAdjustedRealTime();
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    const double ours = times_["BM_FindPath"], reference = times_["BM_BruteForceVisibility"];
    if (ours > 0 && reference > 0) {
      std::printf("FindPath %.1f us, brute-force visibility Dijkstra %.1f us, ratio %.3f\n",
                  ours / 1e3, reference / 1e3, ours / reference);
    }
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (!CheckLengths()) {
    std::printf("path lengths differ from the reference\n");
    return 1;
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
