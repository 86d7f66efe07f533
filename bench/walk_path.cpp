// WalkPlane_FindPath on a floor of 200 square walk sectors (a 16 x 14 grid
// with 24 missing cells) against a brute-force visibility-graph Dijkstra over
// the same outline corners, in one run. Before timing, every query's
// unsmoothed graph path is checked against the reference length (within
// 1e-4); prints both times per query and their ratio.
//
// Then a floor of 300 walk sectors (a 20 x 15 grid), more than the graph
// takes: a walk command there (a fresh graph-failed flag of its own, as
// drevActor_WalkTo passes) against the sector search alone, and against a
// walk command that pays a failed rebuild every time (the graph marked dirty
// before each one, as every walk did before a failed build was remembered).
// A ratio of about 1 to the sector search means the walk pays no rebuild.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <utility>
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

// Reads a grid's sectors as the set's and makes them current; random queries
// between present cells.
Floor* LoadFloor(walkref::GridFloor grid, const char* setName) {
  auto* f = new Floor{std::move(grid), {}};
  const std::string path = std::string("/tmp/vq_bench_walk_") + setName + ".txt";
  FILE* file = std::fopen(path.c_str(), "wb");
  const std::string text = f->grid.SectorSection();
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
  stdConffile_Open(path.c_str());
  WalkPlane_ReadSectors(setName);
  stdConffile_Close();
  std::remove(path.c_str());
  WalkPlane_SelectSetSectors(setName);
  int cells = 0;
  for (Sector* s = WalkPlane_GetSectors(); s; s = s->next) ++cells;
  std::printf("%s: %d walk sectors, %zu outline corners\n", setName, cells,
              f->grid.Corners().size());

  const int width = f->grid.Width(), height = f->grid.Height();
  std::mt19937 random(2024);
  std::uniform_real_distribution<float> unit(0.05f, 0.95f);
  while (static_cast<int>(f->queries.size()) < kQueries) {
    const int a = random() % (width * height), b = random() % (width * height);
    if (!f->grid.Present(a % width, a / width) || !f->grid.Present(b % width, b / width)) {
      continue;
    }
    f->queries.push_back({{a % width + unit(random), a / width + unit(random), 0},
                          {b % width + unit(random), b / width + unit(random), 0}});
  }
  return f;
}

void StartLibrary() {
  static HostServices hs;
  HostServices_CopyDefaults(&hs);
  std_DefaultServices(&hs);
  std_Startup(&hs);
}

const Floor& TheFloor() {
  static Floor* floor = [] {
    StartLibrary();
    return LoadFloor(MakeGrid(), "bench.set");
  }();
  return *floor;
}

// 300 cells: more walk sectors than the graph takes.
const Floor& TheCrowdedFloor() {
  static Floor* floor = [] {
    TheFloor();
    return LoadFloor(walkref::GridFloor(20, 15, std::vector<uint8_t>(20 * 15, 1)), "crowded.set");
  }();
  return *floor;
}

// Makes the floor's set current, with a graph still to be built.
const Floor& Use(const Floor& floor, const char* setName) {
  WalkPlane_SelectSetSectors(setName);
  Pathfinder_Invalidate();
  return floor;
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
  const Floor& floor = Use(TheFloor(), "bench.set");
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

// Walks on the crowded floor, each with a graph-failed flag of its own that
// starts at the given value; with rebuild set, the graph is marked dirty
// before every walk.
void WalkOnTheCrowdedFloor(benchmark::State& state, int graphFailedAtStart, bool rebuild) {
  const Floor& floor = Use(TheCrowdedFloor(), "crowded.set");
  size_t i = 0;
  for (auto _ : state) {
    const Query& q = floor.queries[i++ % floor.queries.size()];
    if (rebuild) Pathfinder_Invalidate();
    int graphFailed = graphFailedAtStart;
    benchmark::DoNotOptimize(
        WalkPlane_FindPath(nullptr, &q.start, &q.goal, 1, &graphFailed, nullptr));
  }
}

// A walk command: its own flag starts at 0, as every walk command's does.
void BM_WalkCommandWhereTheGraphFails(benchmark::State& state) {
  WalkOnTheCrowdedFloor(state, 0, false);
}
BENCHMARK(BM_WalkCommandWhereTheGraphFails);

// The same walk straight to the sector search (the flag already set).
void BM_SectorSearchAlone(benchmark::State& state) {
  WalkOnTheCrowdedFloor(state, 1, false);
}
BENCHMARK(BM_SectorSearchAlone);

// A walk command that tries the build again every time.
void BM_WalkCommandRebuildingEveryTime(benchmark::State& state) {
  WalkOnTheCrowdedFloor(state, 0, true);
}
BENCHMARK(BM_WalkCommandRebuildingEveryTime);

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
    const double walk = times_["BM_WalkCommandWhereTheGraphFails"];
    const double search = times_["BM_SectorSearchAlone"];
    const double rebuilding = times_["BM_WalkCommandRebuildingEveryTime"];
    if (walk > 0 && search > 0 && rebuilding > 0) {
      std::printf(
          "300 sectors: walk command %.1f us, sector search alone %.1f us, ratio %.3f; "
          "with a rebuild every walk %.1f us (%.1f times the walk command)\n",
          walk / 1e3, search / 1e3, walk / search, rebuilding / 1e3, rebuilding / walk);
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
