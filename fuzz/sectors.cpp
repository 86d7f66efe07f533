// The "sectors" section of a set file: any bytes read as the section, then
// every query, the navigation graph, a path search and shrinking run over
// whatever sectors came out of it.
#include <cstdint>
#include <cstdio>

#include "actors/drevActor.h"
#include "engine/Pathfinder.h"
#include "engine/WalkPlane.h"
#include "std/std.h"
#include "std/stdConffile.h"
#include "text_fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  text_fuzz::Serve(data, size);
  if (!stdConffile_Open("input")) return 0;
  // Sections that follow are read as sectors too, up to a bound.
  for (int section = 0; section < 8 && WalkPlane_ReadSectors("fuzz.set"); ++section) {
  }
  stdConffile_Close();
  WalkPlane_SelectSetSectors("fuzz.set");

  int count = 0;
  for (Sector* s = WalkPlane_GetSectors(); s && count < 64; s = s->next, ++count) {
    qxVector3 centre{0, 0, 0};
    for (int i = 0; i < s->numVerts; ++i) {
      centre.x += s->verts[i]->p.x / s->numVerts;
      centre.y += s->verts[i]->p.y / s->numVerts;
      centre.z += s->verts[i]->p.z / s->numVerts;
    }
    qxVector3 far{centre.x + 3, centre.y - 2, centre.z}, out, edge;
    WalkPlane_FindSectorAtPoint(&centre, 0xFFFFFFFFu);
    WalkPlane_FindNearestSector(&far, SECTOR_WALK);
    qxVector3 clamped = far;
    Sector_ClampPoint(s, &clamped);
    Sector_TraceExit(s, &centre, &far, &out, &edge);
    const qxVector3 square[4] = {{centre.x - 1, centre.y - 1, centre.z},
                                 {centre.x + 1, centre.y - 1, centre.z},
                                 {centre.x + 1, centre.y + 1, centre.z},
                                 {centre.x - 1, centre.y + 1, centre.z}};
    qxVector3 clipped[SECTOR_CLIP_MAX];
    Sector_ClipPolygon(s, square, 4, clipped);
  }
  Sector* first = WalkPlane_GetSectors();
  if (first) {
    const qxVector3 a = first->verts[0]->p;
    const qxVector3 b = first->next ? first->next->verts[0]->p : first->verts[1]->p;
    Actor walker{};
    walker.flags = ACTOR_SECTOR_WALKER;
    WalkPlane_FindPath(nullptr, &a, &b, 1, nullptr, nullptr);
    WalkPlane_FindPath(&walker, &a, &b, 1, nullptr, nullptr);
    WalkPlane_BuildCache();
    WalkPlane_ShrinkBoxes(0.05f);
    WalkPlane_RestoreCache();
    WalkPlane_FreeCache();
  }
  WalkPlane_FreeSetSectors("fuzz.set");
  Pathfinder_Clear();
  Pathfinder_Invalidate();
  return 0;
}
