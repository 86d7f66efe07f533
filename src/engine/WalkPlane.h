// Walk sectors, walk frames, walk paths and walk-sector shrinking.
//
// Sectors are flat polygons of 3 to 10 corners that describe a set's floor,
// its camera-change zones and its special zones. Every set has its own list
// of sectors (read from the "sectors" section of its set file); the list of
// the current set is the one every query walks. All sectors of all sets take
// their corners from one shared, reference-counted vertex database: two
// sectors that list the same corner (within 0.0001) hold the very same entry.
//
// Edge conventions. In the crossing convention edge i runs from vertex i-1 to
// vertex i (edge 0 from the last vertex to vertex 0); in the funnel
// convention edge k runs from vertex k to vertex k+1. Funnel edge k is
// crossing edge (k + 1) mod count.
//
// A walk frame is an actor's placement on the floor: a position, a frame
// whose up axis follows the sector under it, and the state one walking step
// needs. WalkFrame_Advance carries it across sector borders, slides it along
// walls and steers it through funnel sectors.
//
// Walk paths: WalkPlane_FindPath asks the navigation graph (Pathfinder.h)
// first and falls back to a depth-first search from sector to sector; the
// result lands in one shared 128-point buffer (WalkPlane_GetPath).
//
// Shrinking moves the shared vertices of the current list's visible walk
// sectors inward; the vertex cache puts them back exactly.
//
// Main thread only; nothing here is locked.
#pragma once

#include <cstdint>

#include "quadrix/qxMatrix.h"
#include "quadrix/qxVector.h"
#include "std/std.h"

struct Actor;

// Sector type masks (tests are mask tests: a funnel is also a walk sector).
constexpr uint32_t SECTOR_WALK = 0x1000;
constexpr uint32_t SECTOR_FUNNEL_BIT = 0x100;
constexpr uint32_t SECTOR_FUNNEL = 0x1100;
constexpr uint32_t SECTOR_CAMERA = 0x2000;
constexpr uint32_t SECTOR_SPECIAL = 0x4000;
constexpr uint32_t SECTOR_CHERNOBYL = 0x8000;

constexpr int SECTOR_MAX_VERTS = 10;
constexpr int SECTOR_MAX_TRIS = 10;
constexpr int SECTOR_NAME_SIZE = 32;
// The vertex database starts with this many entries and grows when full;
// entries never move and keep their index.
constexpr int MAX_DB_VERTS = 1024;
// Set names are kept to 35 characters.
constexpr int SECTOR_SET_NAME_SIZE = 36;
// Points that Sector_ClipPolygon takes and gives.
constexpr int SECTOR_CLIP_MAX = 12;
// The shared path buffer.
constexpr int WALK_PATH_MAX = 128;

// One entry of the vertex database: free when the count is 0 or less.
struct WalkVertex {
  int32_t refCount;
  qxVector3 p;
  int32_t index;  // position in the database, fixed for the entry's life
};

struct Sector {
  char name[SECTOR_NAME_SIZE];
  int32_t id;
  uint32_t type;
  int32_t visible;
  int32_t enabled;
  float height;  // how far from the plane, on either side, a point may lie
  int32_t alwaysMerge;
  int32_t numVerts;
  WalkVertex* verts[SECTOR_MAX_VERTS];
  qxVector3 normal;
  int32_t numTris;
  int32_t tris[SECTOR_MAX_TRIS][3];
  Sector* prev;
  Sector* next;
  int32_t crossedEdge;  // last Sector_TraceExit's edge (crossing convention), -1 none
  int32_t funnelEdge;   // narrow end of a funnel (funnel convention)
  int32_t axisA;        // projection axes: 0 x, 1 y, 2 z
  int32_t axisB;
};

// ---- Vertex database -------------------------------------------------------------

// The entry within 0.0001 of the point gains a reference; else a free entry
// takes the point. The database grows when no entry is free.
WalkVertex* WalkPlane_AddVertex(const qxVector3* point);
// Drops one reference; answers the remaining count (0 or less: unchanged).
int WalkPlane_ReleaseVertex(WalkVertex* vertex);
// Number of entries in use, the database's size, and an entry by index (null
// outside the database).
int WalkPlane_GetVertexCount(void);
int WalkPlane_GetDatabaseSize(void);
WalkVertex* WalkPlane_GetVertex(int index);

// ---- Sector lists ----------------------------------------------------------------

// Reads the "sectors" section of the set file open in the configuration
// reader, for the set of that name. Answers the name of the section that
// follows (valid until the next call), or null at the end of the file. The
// list that was current before stays current.
const char* WalkPlane_ReadSectors(const char* setName);
// Writes the current list as a "sectors" section.
void WalkPlane_WriteSectors(stdFile_t file);
// Makes the list of that set current; none current when no list has the name.
void WalkPlane_SelectSetSectors(const char* setName);
// Frees every sector of the set's list (the slot keeps its name).
void WalkPlane_FreeSetSectors(const char* setName);
// The head of the current list, null when none is current or it is empty.
Sector* WalkPlane_GetSectors(void);

// A new sector from 3 to 10 points, linked at the head of the set's list,
// which becomes current. Null when the count is out of range.
Sector* Sector_Init(const qxVector3* points, int count, const int32_t (*tris)[3], int triCount,
                    const char* setName);
void Sector_SetType(Sector* sector, uint32_t type);
void WalkPlane_SetSectorVisible(Sector* sector, int visible);
// Removes the sector from its list and releases its vertices (not freed).
void Sector_Unlink(Sector* sector);
// Unlinks and frees.
void Sector_Free(Sector* sector);

// ---- Queries (current list) ------------------------------------------------------

// With check flags nonzero the sector must also be enabled and visible.
int Sector_ContainsPoint(const Sector* sector, const qxVector3* point, int checkFlags);
// The plane and edge rules by themselves.
int Sector_PassesPlane(const Sector* sector, const qxVector3* point);
int Sector_PassesEdges(const Sector* sector, const qxVector3* point);
Sector* WalkPlane_FindSectorAtPoint(const qxVector3* point, uint32_t typeMask);
Sector* WalkPlane_FindNearestSector(const qxVector3* point, uint32_t typeMask);
// Ignores case (names are stored lower case; scripts pass any case).
Sector* WalkPlane_FindSectorByName(const char* name);
Sector* WalkPlane_FindSectorById(int32_t id);

void Sector_ProjectToPlane(const Sector* sector, qxVector3* point);
void Sector_PutOnPlane(const Sector* sector, qxVector3* point);
// Where the line through from and to meets the plane; out untouched when
// the line is parallel to it.
void Sector_IntersectLine(const Sector* sector, const qxVector3* from, const qxVector3* to,
                          qxVector3* out);
int Sector_ClampPoint(const Sector* sector, qxVector3* point);
// Where the move from -> to leaves the sector: the signed turn (degrees) that
// lines the move up with the crossed wall, 0 when the move stays inside (the
// outputs are then untouched) or crosses no edge.
float Sector_TraceExit(Sector* sector, const qxVector3* from, const qxVector3* to, qxVector3* out,
                       qxVector3* edgeVector);
// Clips a polygon of at most 12 points to the sector; 0 when fewer than 2
// points remain, the input has more than 12 points, or the result would.
int Sector_ClipPolygon(const Sector* sector, const qxVector3* points, int count, qxVector3* out);
void Sector_DrawOutline(const Sector* sector, int colour);

// ---- Walk frames -----------------------------------------------------------------

struct WalkFrame {
  qxVector3 position;
  qxMatrix34 frame;  // x right, y forward, z up, t origin
  float maxTurn;     // degrees
  float signedStep;  // the distance given to the first step of the current chain
  qxVector3 heading;
  int32_t headingMode;
  WalkFrame* prev;
  WalkFrame* next;
  Sector* sector;
  int32_t stepDepth;  // nesting of the current step chain, per frame
};

// The head of the list of all walk frames.
WalkFrame* WalkFrame_GetList(void);

void WalkFrame_Construct(WalkFrame* frame, float maxTurn);
void WalkFrame_Unlink(WalkFrame* frame);
void WalkFrame_SetPosition(WalkFrame* frame, const qxVector3* point);
void WalkFrame_ToLocal(const WalkFrame* frame, qxVector3* point);
void WalkFrame_AttachToSector(WalkFrame* frame);
void WalkFrame_AlignToSector(WalkFrame* frame, const Sector* sector);
void WalkFrame_Orthonormalize(WalkFrame* frame);
void WalkFrame_Rotate(WalkFrame* frame, float angle);
float WalkFrame_TurnToward(WalkFrame* frame, const qxVector3* point, float limit);
float WalkFrame_YawToPoint(const WalkFrame* frame, const qxVector3* point);
void WalkFrame_SetSectorHeading(WalkFrame* frame, int enable);
// 1 when the step ended inside a walk sector, 0 when it stopped.
int WalkFrame_Advance(WalkFrame* frame, float distance, const qxVector3* direction,
                      int slidePositive, int slideNegative);
// The direction across a corridor-like sector; 0 when there is none.
int Sector_FunnelHeading(Sector* sector, const WalkFrame* frame, qxVector3* heading);
void Sector_GetOppositeEdge(Sector* sector, WalkFrame* frame);
void WalkFrame_DrawAxes(const WalkFrame* frame, int colour);

// ---- Walk paths ------------------------------------------------------------------

// 1 when a path from start to goal was found (WalkPlane_GetPath reads it).
// The walking actor (null: none) skips the navigation graph when it walks
// sector by sector (ACTOR_SECTOR_WALKER); graphFailed, when given, is set
// when the graph gives no path and, once set, skips it; otherActor (null
// none) counts among the obstacles.
int WalkPlane_FindPath(const Actor* actor, const qxVector3* start, const qxVector3* goal,
                       int smooth, int* graphFailed, const Actor* otherActor);
// The last request's points (valid until the next request) and their count.
int WalkPlane_GetPath(const qxVector3** points);

int WalkPlane_SectorSearch(const qxVector3* from, const qxVector3* goal, Sector* sector,
                           int acceptPartial);
// Vertices of other enabled walk sectors that lie in the sector, nearest to
// the goal first; at most 128.
int WalkPlane_CollectSharedVertices(qxVector3* out, const Sector* sector, const qxVector3* goal);
int WalkPlane_NearestSharedVertex(const Sector* a, const Sector* b, const qxVector3* point,
                                  qxVector3* out);
Sector* WalkPlane_FindSectorHolding(const qxVector3* p, const qxVector3* q);
void WalkPlane_SmoothPath(void);

// ---- Shrinking and the vertex cache ----------------------------------------------

void WalkPlane_ShrinkBoxes(float distance);
float Sector_EdgeDistance(const Sector* sector, int edgeIndex, const qxVector3* point);
int Sector_CollapseShortestEdge(Sector* sector);
// The cache belongs to the list current when it was built; restoring does
// nothing for another list, and freeing or changing that list drops it.
void WalkPlane_BuildCache(void);
void WalkPlane_RestoreCache(void);
void WalkPlane_FreeCache(void);
int WalkPlane_IsCacheValid(void);
