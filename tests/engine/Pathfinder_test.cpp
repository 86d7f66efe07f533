// The navigation graph: merging, obstacle holes, loops, nodes and weights.
#include "WalkTestSupport.h"
#include "engine/drevMain.h"

namespace {

using walktest::Square;
using walktest::WalkWorld;

// The obstacle corners the fake actor module hands out.
std::vector<qxVector3> g_boxes;

void FakeBoxes(int, int* count, int capacity, qxVector3* points, int) {
  *count = 0;
  for (const qxVector3& p : g_boxes) {
    if (*count < capacity) points[(*count)++] = p;
  }
}

void Box(float x0, float y0, float x1, float y1) {
  g_boxes = {{x0, y0, 0}, {x1, y0, 0}, {x1, y1, 0}, {x0, y1, 0}};
}

class Graph : public WalkWorld {
 protected:
  void SetUp() override {
    WalkWorld::SetUp();
    g_boxes.clear();
    drevMain_Calls().actorGetNearbyBoxes = FakeBoxes;
  }
  Pathfinder* Build() {
    Pathfinder* pf = Pathfinder_Construct();
    Pathfinder_RefreshActors(-1, -1);
    EXPECT_EQ(Pathfinder_Rebuild(), 1);
    return pf;
  }
  static bool HasEdgeBetween(const NavRegion* r, const qxVector3& a, const qxVector3& b) {
    for (int e = 0; e < r->edgeCount; ++e) {
      const qxVector3& p = NavVertex_Get(r->edges[e].from)->p;
      const qxVector3& q = NavVertex_Get(r->edges[e].to)->p;
      if ((walktest::Dist(p, a) < 1e-4f && walktest::Dist(q, b) < 1e-4f) ||
          (walktest::Dist(p, b) < 1e-4f && walktest::Dist(q, a) < 1e-4f)) {
        return true;
      }
    }
    return false;
  }
};

TEST_F(Graph, NeighboursAtOneHeightMerge) {
  Read(Square("a", 0, 0, 1, 1) + Square("b", 1, 0, 2, 1));
  Pathfinder* pf = Build();
  ASSERT_EQ(pf->regionCount, 1);
  EXPECT_EQ(pf->regions[0]->edgeCount, 6);
  EXPECT_FALSE(HasEdgeBetween(pf->regions[0], {1, 0, 0}, {1, 1, 0}));
  EXPECT_EQ(pf->nodeCount, 2);  // a rectangle has no inward corner
  EXPECT_EQ(pf->dirty, 0);
}

TEST_F(Graph, HeightDecidesMerging) {
  // Sharing an edge 0.01 apart in height: two regions.
  Read(Square("a", 0, 0, 1, 1) + Square("b", 1, 0, 2, 1, 0.01f));
  EXPECT_EQ(Build()->regionCount, 2);

  // Overlapping, 0.0002 apart: only an always-merge region takes the other.
  struct Case {
    int alwaysMerge;
    bool merges;
  };
  for (const Case c : {Case{0, false}, Case{1, true}}) {
    NavVertex_Reset();
    const qxVector3 low[4] = {{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {0, 1, 0}};
    const qxVector3 high[4] = {{1, 0, 0.0002f}, {3, 0, 0.0002f}, {3, 1, 0.0002f}, {1, 1, 0.0002f}};
    const std::string set = "merge" + std::to_string(c.alwaysMerge) + ".set";
    Sector* s0 = Sector_Init(low, 4, nullptr, 0, set.c_str());
    Sector* s1 = Sector_Init(high, 4, nullptr, 0, set.c_str());
    Use(set);
    s1->alwaysMerge = c.alwaysMerge;
    NavRegion* r0 = NavRegion_FromSector(s0);
    NavRegion* r1 = NavRegion_FromSector(s1);
    NavRegion* u = NavRegion_Combine(r0, r1, NAV_UNION);
    EXPECT_EQ(u != nullptr, c.merges);
    if (u) {
      const qxVector3 mid{1.5f, 0.5f, 0};
      EXPECT_TRUE(NavRegion_Contains(u, &mid));
      EXPECT_EQ(u->alwaysMerge, 0);  // only when both are
    }
    NavRegion_Free(u);
    NavRegion_Free(r0);
    NavRegion_Free(r1);
  }
}

TEST_F(Graph, ActorBoxCutsAHoleAndSmallMovesDoNotRebuild) {
  Read(Square("floor", 0, 0, 4, 4));
  Box(1.5f, 1.5f, 2.5f, 2.5f);
  Pathfinder* pf = Build();
  ASSERT_EQ(pf->regionCount, 1);
  EXPECT_EQ(pf->regions[0]->edgeCount, 8);
  EXPECT_EQ(pf->nodeCount, 6);  // the four corners of the hole
  const qxVector3 inHole{2, 2, 0}, beside{1, 2, 0};
  EXPECT_FALSE(NavRegion_Contains(pf->regions[0], &inHole));
  EXPECT_TRUE(NavRegion_Contains(pf->regions[0], &beside));

  Box(1.5005f, 1.5f, 2.5005f, 2.5f);
  Pathfinder_RefreshActors(-1, -1);
  EXPECT_EQ(pf->dirty, 0);
  Box(1.6f, 1.5f, 2.6f, 2.5f);
  Pathfinder_RefreshActors(-1, -1);
  EXPECT_EQ(pf->dirty, 1);
  g_boxes.clear();
  Pathfinder_RefreshActors(-1, -1);
  EXPECT_EQ(pf->dirty, 1);
}

TEST_F(Graph, CornersBecomeNodes) {
  // An L-shaped floor: one inward corner.
  Read(Square("a", 0, 0, 1, 1) + Square("b", 1, 0, 2, 1) + Square("c", 0, 1, 1, 2), "l.set");
  Pathfinder* pf = Build();
  ASSERT_EQ(pf->regionCount, 1);
  ASSERT_EQ(pf->nodeCount, 3);
  EXPECT_FLOAT_EQ(pf->nodes[2].p.x, 1.0f);
  EXPECT_FLOAT_EQ(pf->nodes[2].p.y, 1.0f);

  // A ring of eight squares around a hole: one region, four hole corners.
  std::string ring;
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 3; ++x) {
      if (x != 1 || y != 1)
        ring += Square("r" + std::to_string(x) + std::to_string(y), x, y, x + 1, y + 1);
    }
  }
  Read(ring, "ring.set");
  pf = Build();
  ASSERT_EQ(pf->regionCount, 1);
  EXPECT_EQ(pf->nodeCount, 6);
  // Corners on opposite sides of the hole do not see each other; neighbours do.
  int a = -1, b = -1, c = -1;
  for (int i = 2; i < pf->nodeCount; ++i) {
    const qxVector3& p = pf->nodes[i].p;
    if (p.x == 1 && p.y == 1) a = i;
    if (p.x == 2 && p.y == 2) b = i;
    if (p.x == 2 && p.y == 1) c = i;
  }
  ASSERT_TRUE(a > 0 && b > 0 && c > 0);
  EXPECT_EQ(pf->weights[a][b], 0.0f);
  EXPECT_FLOAT_EQ(pf->weights[a][c], 1.0f);
  EXPECT_FLOAT_EQ(pf->weights[c][a], 1.0f);
}

TEST_F(Graph, FloorWithoutWalkSectorsHasOnlyTheReservedNodes) {
  Read(
      "\tsector cam\n\ttype camera\n\tdefault visibility visible\n\tnumvertices 3\n"
      "\tvertices: 0 0 0\n\t1 0 0\n\t0 1 0\n" +
      Square("hidden", 5, 5, 6, 6, 0, "\tdefault visibility invisible\n"));
  Pathfinder* pf = Build();
  EXPECT_EQ(pf->regionCount, 0);
  EXPECT_EQ(pf->nodeCount, 2);
}

TEST_F(Graph, OpenOutlinesFailTheNodeBuild) {
  NavVertex_Reset();
  NavRegion* r = NavRegion_New();
  const qxVector3 p[3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}};
  const int a = NavVertex_Add(&p[0]), b = NavVertex_Add(&p[1]), c = NavVertex_Add(&p[2]);
  NavRegion_AddEdge(r, a, b, 1);
  NavRegion_AddEdge(r, b, c, 1);
  EXPECT_EQ(Pathfinder_BuildNodes(2, &r, 1), -1);
  NavRegion_AddEdge(r, c, a, 1);
  EXPECT_EQ(Pathfinder_BuildNodes(2, &r, 1), 2);
  NavRegion_Free(r);
}

TEST_F(Graph, SeparateLoopsBecomeRegionsButHolesStay) {
  Pathfinder* pf = Pathfinder_Construct();
  Pathfinder_Clear();
  NavVertex_Reset();
  auto loop = [](NavRegion* r, float x0, float y0, float x1, float y1, bool clockwise) {
    qxVector3 c[4] = {{x0, y0, 0}, {x1, y0, 0}, {x1, y1, 0}, {x0, y1, 0}};
    int v[4];
    for (int k = 0; k < 4; ++k) v[k] = NavVertex_Add(&c[k]);
    for (int k = 0; k < 4; ++k) {
      if (clockwise) {
        NavRegion_AddEdge(r, v[(k + 1) % 4], v[k], 1);
      } else {
        NavRegion_AddEdge(r, v[k], v[(k + 1) % 4], 1);
      }
    }
  };
  NavRegion* two = NavRegion_New();
  loop(two, 0, 0, 1, 1, false);
  loop(two, 3, 0, 4, 1, false);
  NavRegion* holed = NavRegion_New();
  loop(holed, 10, 0, 14, 4, false);
  loop(holed, 11, 1, 12, 2, true);
  pf->regions[0] = two;
  pf->regions[1] = holed;
  pf->regionCount = 2;
  ASSERT_EQ(Pathfinder_SplitLoops(), 1);
  ASSERT_EQ(pf->regionCount, 3);
  EXPECT_EQ(pf->regions[0]->edgeCount, 4);
  EXPECT_EQ(pf->regions[1]->edgeCount, 8);
  EXPECT_EQ(pf->regions[2]->edgeCount, 4);
  EXPECT_GT(pf->regions[2]->minX, 2.9f);
  Pathfinder_Clear();
}

TEST_F(Graph, SegmentTestsAndBoundaries) {
  struct Case {
    qxVector3 p1, p2, p3, p4;
    int strict, meets;
  };
  const Case cases[] = {
      {{0, 0, 0}, {2, 0, 0}, {1, -1, 0}, {1, 1, 0}, 1, 1},  // a cross
      {{0, 0, 0}, {1, 0, 0}, {1, -1, 0}, {1, 1, 0}, 1, 0},  // touching at an end
      {{0, 0, 0}, {1, 0, 0}, {1, -1, 0}, {1, 1, 0}, 0, 1},
      {{0, 0, 0}, {2, 0, 0}, {1, 0, 0}, {3, 0, 0}, 0, 1},  // collinear overlap
      {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}, 0, 0},  // collinear apart
      {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, 0, 0},  // parallel
      {{0, 0, 0}, {2, 0, 0}, {1, 0, 0}, {3, 0, 0}, 1, 0},  // parallel: never strict
  };
  for (const Case& c : cases) {
    float t = -9, s = -9;
    EXPECT_EQ(Nav_SegmentsIntersect(&c.p1, &c.p2, &c.p3, &c.p4, c.strict, &t, &s), c.meets)
        << c.p3.x << "," << c.p3.y << " strict " << c.strict;
  }
  NavVertex_Reset();
  Read(Square("a", 0, 0, 1, 1));
  NavRegion* r = NavRegion_FromSector(Named("a"));
  const qxVector3 edge{0.5f, 0.00005f, 0}, inside{0.5f, 0.5f, 0}, outside{1.5f, 0.5f, 0};
  EXPECT_TRUE(NavRegion_OnBoundary(r, &edge));
  EXPECT_FALSE(NavRegion_OnBoundary(r, &inside));
  EXPECT_TRUE(NavRegion_Contains(r, &inside));
  EXPECT_FALSE(NavRegion_Contains(r, &outside));
  const qxVector3 up{0.2f, 0.2f, 3};
  EXPECT_FLOAT_EQ(NavRegion_NearestVertexHeight(r, &up), 0.0f);
  NavRegion_Free(r);
}

}  // namespace
