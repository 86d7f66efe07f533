// Walk-sector shrinking and the vertex cache.
#include "WalkTestSupport.h"

namespace {

using walktest::Square;
using walktest::WalkWorld;

class Shrink : public WalkWorld {};

void ExpectAt(const Sector* s, int vertex, float x, float y, float tolerance = 2e-3f) {
  EXPECT_NEAR(s->verts[vertex]->p.x, x, tolerance) << s->name << " vertex " << vertex;
  EXPECT_NEAR(s->verts[vertex]->p.y, y, tolerance) << s->name << " vertex " << vertex;
}

TEST_F(Shrink, CornersMoveInAlongTheirBisectors) {
  Read(Square("box", 0, 0, 2, 2));
  WalkPlane_ShrinkBoxes(0.1f);
  const Sector* box = Named("box");
  ExpectAt(box, 0, 0.1f, 0.1f);
  ExpectAt(box, 1, 1.9f, 0.1f);
  ExpectAt(box, 2, 1.9f, 1.9f);
  ExpectAt(box, 3, 0.1f, 1.9f);
  EXPECT_EQ(Pathfinder_Construct()->dirty, 1);
}

TEST_F(Shrink, SharedVerticesTakeTheMeanInset) {
  Read(Square("west", 0, 0, 2, 2) + Square("east", 2, 0, 4, 2));
  WalkPlane_ShrinkBoxes(0.1f);
  const Sector* west = Named("west");
  const Sector* east = Named("east");
  EXPECT_EQ(west->verts[1], east->verts[0]);  // still one shared entry
  ExpectAt(west, 1, 2.0f, 0.1f);
  ExpectAt(west, 2, 2.0f, 1.9f);
  ExpectAt(east, 1, 3.9f, 0.1f);
}

TEST_F(Shrink, NarrowCorridorVanishesAndComesBack) {
  Read(Square("corridor", 0, 0, 4, 0.1f) + Square("room", 0, 1, 2, 3));
  const int before = WalkPlane_GetVertexCount();
  WalkPlane_BuildCache();
  WalkPlane_ShrinkBoxes(0.1f);
  const Sector* corridor = Named("corridor");
  EXPECT_EQ(corridor->visible, 0);
  EXPECT_EQ(Named("room")->visible, 1);
  // UnShrinkBoxes: restore and free.
  WalkPlane_RestoreCache();
  WalkPlane_FreeCache();
  EXPECT_EQ(corridor->visible, 1);
  EXPECT_EQ(corridor->numVerts, 4);
  ExpectAt(corridor, 2, 4.0f, 0.1f, 0);
  ExpectAt(Named("room"), 0, 0, 1, 0);
  EXPECT_EQ(WalkPlane_GetVertexCount(), before);
}

TEST_F(Shrink, CollapsingTheShortestEdgeKeepsTheOutline) {
  // A pentagon with one short edge: its neighbours' lines meet at (2, 2).
  const qxVector3 points[5] = {{0, 0, 0}, {2, 0, 0}, {2, 1.9f, 0}, {1.9f, 2, 0}, {0, 2, 0}};
  Sector* s = Sector_Init(points, 5, nullptr, 0, "pentagon.set");
  Use("pentagon.set");
  ASSERT_EQ(Sector_CollapseShortestEdge(s), 1);
  ASSERT_EQ(s->numVerts, 4);
  ExpectAt(s, 0, 2, 2, 1e-4f);
  ExpectAt(s, 1, 0, 2, 0);
  ExpectAt(s, 3, 2, 0, 0);
  EXPECT_NEAR(Sector_EdgeDistance(s, 1, &s->verts[3]->p), 2.0f, 2e-3f);
  EXPECT_EQ(Sector_EdgeDistance(s, 4, &s->verts[3]->p), 0.0f);  // no such edge
  // A triangle has nothing to collapse.
  const qxVector3 tri[3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  Sector* t = Sector_Init(tri, 3, nullptr, 0, "pentagon.set");
  EXPECT_EQ(Sector_CollapseShortestEdge(t), 0);
}

TEST_F(Shrink, CacheRules) {
  Read(Square("box", 0, 0, 2, 2), "cached.set");
  const Sector* box = Named("box");
  // A negative distance changes nothing.
  WalkPlane_ShrinkBoxes(-0.5f);
  ExpectAt(box, 0, 0, 0, 0);
  // Restoring twice gives the geometry of once.
  WalkPlane_BuildCache();
  WalkPlane_ShrinkBoxes(0.2f);
  WalkPlane_RestoreCache();
  WalkPlane_RestoreCache();
  ExpectAt(box, 0, 0, 0, 0);
  EXPECT_EQ(box->verts[0]->refCount, 1);
  // Shrinking again from the restored floor: 0.2, not 0.4.
  WalkPlane_ShrinkBoxes(0.2f);
  ExpectAt(box, 0, 0.2f, 0.2f);
  WalkPlane_RestoreCache();
  // The cache belongs to its list: another list is not touched ...
  Read(Square("other", 5, 5, 6, 6), "elsewhere.set");
  WalkPlane_ShrinkBoxes(0.1f);
  WalkPlane_RestoreCache();
  ExpectAt(Named("other"), 0, 5.1f, 5.1f);
  EXPECT_EQ(WalkPlane_IsCacheValid(), 1);
  // ... and freeing its list drops it.
  WalkPlane_FreeSetSectors("cached.set");
  EXPECT_EQ(WalkPlane_IsCacheValid(), 0);
}

}  // namespace
