// The walk-area navigation graph.
//
// The visible walk sectors of the current set become regions (outlines of
// directed edges between shared vertices); overlapping or touching regions of
// about the same height merge, the boxes of nearby actors are cut out, and
// the corners where outlines meet or bend inward become the nodes of a
// weighted graph whose edges join corners that see each other inside a
// common region. One Pathfinder exists, built on first use; anything that
// changes the floor marks it dirty and the next path query rebuilds it.
//
// Limits: 256 regions, 256 vertices during a build (200 after compaction),
// 255 edges per region, 128 nodes (0 and 1 are a query's goal and start).
// Main thread only.
#pragma once

#include <cstdint>

#include "quadrix/qxVector.h"

struct Sector;

constexpr int NAV_MAX_REGIONS = 256;
constexpr int NAV_MAX_EDGES = 256;
constexpr int NAV_MAX_VERTS = 256;
constexpr int NAV_MAX_COMPACT_VERTS = 200;
constexpr int NAV_MAX_NODES = 128;
constexpr int NAV_MAX_NODE_REGIONS = 6;
constexpr int NAV_MAX_OBSTACLE_POINTS = 256;

// A vertex of the build's vertex table, and a graph node.
struct NavVertex {
  qxVector3 p;
  int32_t next;  // the vertex the one edge starting here goes to; -1 none, -2 more than one
  int32_t prev;  // the same for the edge ending here
  int32_t regionCount;
  int32_t regions[NAV_MAX_NODE_REGIONS];
};

struct NavEdge {
  int32_t from;
  int32_t to;
  int32_t oriented;
};

struct NavRegion {
  NavEdge edges[NAV_MAX_EDGES];
  float minX, minY, minZ, maxX, maxY, maxZ;
  int32_t alwaysMerge;
  int32_t edgeCount;
};

// What made the last build fail, remembered until it can turn out otherwise:
// the floor (its sectors), or the floor with the nearby actors' boxes.
enum NavBuildFailure : int32_t { NAV_BUILT = 0, NAV_FLOOR_FAILED = 1, NAV_BOXES_FAILED = 2 };

struct Pathfinder {
  NavRegion* regions[NAV_MAX_REGIONS];
  int32_t regionCount;
  int32_t dirty;
  // A failed build is not tried again by every query: the floor's failure
  // waits for Pathfinder_Invalidate, the boxes' also for the boxes to move.
  int32_t buildFailure;  // NavBuildFailure
  NavVertex nodes[NAV_MAX_NODES];
  float weights[NAV_MAX_NODES][NAV_MAX_NODES];
  int32_t nodeCount;
  int32_t mode;  // 0 paths through the graph, 1 direct paths
  qxVector3 obstacles[NAV_MAX_OBSTACLE_POINTS];
  int32_t obstacleCount;
};

enum NavCombineOp : int { NAV_UNION = 0, NAV_SUBTRACT = 1 };

// The single graph, constructed on first use.
Pathfinder* Pathfinder_Construct(void);
void Pathfinder_Invalidate(void);
void Pathfinder_Clear(void);
void Pathfinder_RefreshActors(int actor, int otherActor);
// Builds the graph now: 1 on success; 0 on failure, which is logged and
// remembered (the graph stays dirty).
int Pathfinder_Rebuild(void);

// ---- Region operations ----------------------------------------------------------

void NavVertex_Reset(void);
int NavVertex_Add(const qxVector3* point);
int NavVertex_Compact(NavRegion** regions, int count);
int NavVertex_GetCount(void);
const NavVertex* NavVertex_Get(int index);

NavRegion* NavRegion_New(void);
void NavRegion_Free(NavRegion* region);
void NavRegion_Init(NavRegion* region);
NavRegion* NavRegion_FromSector(const Sector* sector);
int NavRegion_AddEdge(NavRegion* region, int from, int to, int mark);
int NavRegion_SplitEdgeAt(NavRegion* region, int edge, const qxVector3* point);
// Splits for 0.001 < t < 0.999; answers 1 when it split. A split that cannot
// be made sets the failure flag.
int NavRegion_SplitEdgeAtParam(NavRegion* region, int edge, float t, int* failed);
int NavRegion_SplitOverlap(NavRegion* region, int edge, const qxVector3* p, const qxVector3* q,
                           int* failed);
void NavRegion_UpdateBounds(NavRegion* region);
void NavRegion_OrientEdges(NavRegion* region);
NavRegion* NavRegion_Combine(NavRegion* a, NavRegion* b, NavCombineOp op);
int NavRegion_Contains(const NavRegion* region, const qxVector3* point);
int NavRegion_OnBoundary(const NavRegion* region, const qxVector3* point);
int NavRegion_EdgeInside(const NavRegion* region, const NavEdge* edge);
int NavRegion_SharesVertex(const NavRegion* region, NavRegion* const* regions, int count);
float NavRegion_NearestVertexHeight(const NavRegion* region, const qxVector3* point);
int Nav_SegmentsIntersect(const qxVector3* p1, const qxVector3* p2, const qxVector3* p3,
                          const qxVector3* p4, int strict, float* t, float* s);
int Pathfinder_SplitLoops(void);
int Pathfinder_BuildNodes(int firstNode, NavRegion* const* regions, int count);
void Pathfinder_BuildEdges(int firstRow, int rowLimit);
void Pathfinder_DumpRegions(int regionCount);

// ---- Path queries ---------------------------------------------------------------

// Points from start to goal into out: the count, 2 for a direct path, 0 when
// no path exists, -1 when the graph cannot be built. The start and goal are
// taken by value: they may be moved onto the nearest region edge.
int Pathfinder_FindPath(int actor, qxVector3 goal, qxVector3 start, qxVector3* out, int capacity,
                        int otherActor);
int Pathfinder_LocatePoint(qxVector3* point, NavRegion* const* regions, int count, int startRegion);
void Pathfinder_LocateNode(int node);
int Pathfinder_ShortestPath(NavVertex* nodes, int from, int to, qxVector3* out, int capacity);
// Rounds the corners of a path in place; never grows it past capacity.
void Pathfinder_SmoothPath(qxVector3* points, int* count, int capacity);
// Arc steps around corner index (0 when the corner cannot be rounded); the
// arc buffer receives the previous point, the k + 1 arc points and the next
// point. It must hold NAV_ARC_MAX points.
constexpr int NAV_ARC_MAX = 24;
int Pathfinder_RoundCorner(const qxVector3* points, int index, qxVector3* arc,
                           const qxVector3* next, const qxVector3* previous);
float Nav_TangentAngle(const qxVector3* corner, const qxVector3* point, float radius, int side);
