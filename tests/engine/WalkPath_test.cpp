// Walk paths: the graph query with its arcs, the sector search, smoothing,
// and path lengths against a brute-force visibility graph.
#include <algorithm>
#include <random>

#include "../../bench/WalkReference.h"
#include "WalkTestSupport.h"
#include "engine/drevMain.h"

namespace {

using walktest::Dist;
using walktest::PathLength;
using walktest::Square;
using walktest::WalkWorld;

class Paths : public WalkWorld {
 protected:
  std::vector<qxVector3> Find(qxVector3 start, qxVector3 goal, const Actor* walker = nullptr,
                              int smooth = 1, int* graphFailed = nullptr) {
    std::vector<qxVector3> path;
    if (!WalkPlane_FindPath(walker, &start, &goal, smooth, graphFailed, nullptr)) return path;
    const qxVector3* points = nullptr;
    const int count = WalkPlane_GetPath(&points);
    path.assign(points, points + count);
    for (Sector* s = WalkPlane_GetSectors(); s; s = s->next) EXPECT_EQ(s->enabled, 1);
    return path;
  }
  // The L: three unit squares around the inward corner (1, 1).
  void ReadL() {
    Read(Square("a", 0, 0, 1, 1) + Square("b", 1, 0, 2, 1) + Square("c", 0, 1, 1, 2), "l.set");
  }
};

TEST_F(Paths, OneRegionGivesAStraightPath) {
  Read(Square("floor", 0, 0, 4, 4));
  const auto path = Find({1, 1, 0}, {3, 3, 0});
  ASSERT_EQ(path.size(), 2u);
  EXPECT_FLOAT_EQ(path[0].x, 1.0f);
  EXPECT_FLOAT_EQ(path[1].x, 3.0f);
}

TEST_F(Paths, BendsAreRoundedWithSmallArcs) {
  ReadL();
  const qxVector3 corner{1, 1, 0};
  const auto path = Find({1.8f, 0.5f, 0}, {0.5f, 1.8f, 0});
  ASSERT_GT(path.size(), 3u);
  EXPECT_FLOAT_EQ(path.front().x, 1.8f);
  EXPECT_FLOAT_EQ(path.back().y, 1.8f);
  float previous = 0;
  for (size_t i = 1; i + 1 < path.size(); ++i) {
    EXPECT_NEAR(Dist(path[i], corner), 0.02f, 1e-5f) << i;
    const float angle = std::atan2(path[i].y - 1, path[i].x - 1);
    if (i > 1) {
      EXPECT_LE(std::fabs(angle - previous), 0.34906587f + 1e-5f) << i;
    }
    previous = angle;
  }
  // The unrounded path over the graph: start, corner, goal.
  Pathfinder* pf = Pathfinder_Construct();
  qxVector3 raw[WALK_PATH_MAX];
  ASSERT_EQ(Pathfinder_ShortestPath(pf->nodes, 0, 1, raw, WALK_PATH_MAX), 3);
  EXPECT_FLOAT_EQ(raw[1].x, 1.0f);
  EXPECT_FLOAT_EQ(raw[1].y, 1.0f);
  EXPECT_EQ(Pathfinder_ShortestPath(pf->nodes, 0, 1, raw, 2), 0);  // no room for it
}

TEST_F(Paths, DirectModeAndGoalsOffTheFloor) {
  ReadL();
  Pathfinder_Construct()->mode = 1;
  auto path = Find({1.8f, 0.5f, 0}, {0.5f, 1.8f, 0});
  ASSERT_EQ(path.size(), 2u);
  EXPECT_FLOAT_EQ(path[1].y, 1.8f);
  Pathfinder_Construct()->mode = 0;
  // A goal outside every region ends on the nearest edge.
  path = Find({0.5f, 0.5f, 0}, {0.5f, -3, 0});
  ASSERT_FALSE(path.empty());
  EXPECT_NEAR(path.back().x, 0.5f, 1e-5f);
  EXPECT_NEAR(path.back().y, 0.0f, 1e-5f);
}

TEST_F(Paths, NoGraphFlagUsesTheSectorSearch) {
  ReadL();
  // The graph moves a start from off the floor onto it; the sector search
  // refuses it.
  EXPECT_FALSE(Find({-1, 0.5f, 0}, {0.5f, 1.8f, 0}).empty());
  EXPECT_TRUE(Find({-1, 0.5f, 0}, {0.5f, 1.8f, 0}, walktest::SectorWalker()).empty());
  const auto path = Find({1.8f, 0.5f, 0}, {0.5f, 1.8f, 0}, walktest::SectorWalker(), 0);
  ASSERT_GE(path.size(), 2u);
  EXPECT_FLOAT_EQ(path.back().x, 0.5f);
  EXPECT_FLOAT_EQ(path.back().y, 1.8f);
}

TEST_F(Paths, GraphFailureIsRememberedByTheCaller) {
  // 300 sectors are more than the graph takes: the sector search answers.
  std::string body;
  for (int i = 0; i < 300; ++i) body += Square("s" + std::to_string(i), i, 0, i + 1, 1);
  Read(body);
  int graphFailed = 0;
  const auto path = Find({0.5f, 0.5f, 0}, {5.5f, 0.5f, 0}, 0, 1, &graphFailed);
  EXPECT_EQ(graphFailed, 1);
  ASSERT_GE(path.size(), 2u);
  EXPECT_FLOAT_EQ(path.back().x, 5.5f);
}

// A graph that cannot be built is tried once: the walk commands after it,
// each with a fresh flag of its own, go straight to the sector search, and the
// failure is logged once, until the set's walk data changes. Actors moving
// about do not make a floor of too many sectors worth another try.
TEST_F(Paths, AGraphThatCannotBeBuiltIsNotRebuiltByEveryWalk) {
  std::string body;
  for (int i = 0; i < 300; ++i) body += Square("s" + std::to_string(i), i, 0, i + 1, 1);
  Read(body);
  static float boxX = 10;
  drevMain_Calls().actorGetNearbyBoxes = [](int, int* count, int, qxVector3* points, int) {
    boxX += 1;  // another actor walks along
    const qxVector3 box[4] = {
        {boxX, 0.2f, 0}, {boxX + 0.5f, 0.2f, 0}, {boxX + 0.5f, 0.7f, 0}, {boxX, 0.7f, 0}};
    std::copy(box, box + 4, points);
    *count = 4;
  };
  const auto failures = [](const std::string& log) {
    int n = 0;
    for (size_t at = log.find("rebuild failed"); at != std::string::npos;
         at = log.find("rebuild failed", at + 1)) {
      ++n;
    }
    return n;
  };
  CaptureLog();
  for (int walk = 0; walk < 3; ++walk) {
    int graphFailed = 0;
    const auto path = Find({0.5f, 0.5f, 0}, {5.5f, 0.5f, 0}, nullptr, 1, &graphFailed);
    EXPECT_EQ(graphFailed, 1) << walk;
    ASSERT_GE(path.size(), 2u) << walk;
    EXPECT_FLOAT_EQ(path.back().x, 5.5f) << walk;
  }
  std::string log = Log();
  EXPECT_EQ(failures(log), 1) << log;

  // New walk data: one more try.
  CaptureLog();
  Pathfinder_Invalidate();
  for (int walk = 0; walk < 2; ++walk) EXPECT_FALSE(Find({0.5f, 0.5f, 0}, {5.5f, 0.5f, 0}).empty());
  log = Log();
  EXPECT_EQ(failures(log), 1) << log;
}

TEST_F(Paths, SectorSearchGoesThroughASharedCorner) {
  Read(Square("a", 0, 0, 1, 1) + Square("b", 1, 1, 2, 2));
  const auto path = Find({0.5f, 0.5f, 0}, {1.8f, 1.2f, 0}, walktest::SectorWalker(), 0);
  ASSERT_EQ(path.size(), 3u);
  EXPECT_FLOAT_EQ(path[1].x, 1.0f);
  EXPECT_FLOAT_EQ(path[1].y, 1.0f);
  // A start next to that corner: the corner duplicates it and goes, the goal stays.
  const auto smoothed = Find({0.999f, 0.999f, 0}, {1.8f, 1.2f, 0}, walktest::SectorWalker(), 1);
  ASSERT_EQ(smoothed.size(), 2u);
  EXPECT_FLOAT_EQ(smoothed[0].x, 0.999f);
  EXPECT_FLOAT_EQ(smoothed[1].x, 1.8f);
}

TEST_F(Paths, PartialPathsEndAtTheWall) {
  Read(Square("a", 0, 0, 1, 1) + Square("far", 3, 0, 4, 1));
  EXPECT_TRUE(Find({0.5f, 0.5f, 0}, {3.5f, 0.5f, 0}, walktest::SectorWalker()).size() >= 1);
  const qxVector3* points = nullptr;
  const int count = WalkPlane_GetPath(&points);
  ASSERT_GE(count, 1);
  EXPECT_FLOAT_EQ(points[0].x, 0.5f);
  // No walk sector under the goal: no path at all.
  EXPECT_TRUE(Find({0.5f, 0.5f, 0}, {2.5f, 0.5f, 0}, walktest::SectorWalker()).empty());
}

TEST_F(Paths, NoRegionMeansNoGraphPath) {
  Read(Square("hidden", 0, 0, 1, 1, 0, "\tdefault visibility invisible\n"));
  qxVector3 out[WALK_PATH_MAX];
  EXPECT_EQ(Pathfinder_FindPath(-1, {0.5f, 0.5f, 0}, {0.2f, 0.2f, 0}, out, WALK_PATH_MAX, -1), 0);
}

TEST_F(Paths, GraphLengthsMatchABruteForceVisibilityGraph) {
  std::mt19937 random(144);
  std::uniform_real_distribution<float> unit(0.05f, 0.95f);
  for (int layout = 0; layout < 6; ++layout) {
    const int w = 5 + layout % 3, h = 4 + layout % 2;
    std::vector<uint8_t> present(w * h, 1);
    // Missing cells that never touch each other, not even at a corner.
    for (int tries = 0; tries < 12; ++tries) {
      const int x = random() % w, y = random() % h;
      bool alone = true;
      for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
          const int nx = x + dx, ny = y + dy;
          if (nx >= 0 && ny >= 0 && nx < w && ny < h && !present[ny * w + nx]) alone = false;
        }
      }
      if (alone) present[y * w + x] = 0;
    }
    const walkref::GridFloor floor(w, h, present);
    Read(floor.SectorSection(), "grid" + std::to_string(layout) + ".set");
    std::vector<int> cells;
    for (int i = 0; i < w * h; ++i) {
      if (present[i]) cells.push_back(i);
    }
    for (int q = 0; q < 8; ++q) {
      const int a = cells[random() % cells.size()], b = cells[random() % cells.size()];
      const qxVector3 start{a % w + unit(random), static_cast<float>(a / w) + unit(random), 0};
      const qxVector3 goal{b % w + unit(random), static_cast<float>(b / w) + unit(random), 0};
      ASSERT_FALSE(Find(start, goal).empty());
      qxVector3 raw[WALK_PATH_MAX];
      const int n =
          Pathfinder_ShortestPath(Pathfinder_Construct()->nodes, 0, 1, raw, WALK_PATH_MAX);
      ASSERT_GE(n, 2);
      const double expected = floor.ShortestLength({start.x, start.y}, {goal.x, goal.y});
      EXPECT_NEAR(PathLength(raw, n), expected, 1e-4) << "layout " << layout << " query " << q;
    }
  }
}

}  // namespace
