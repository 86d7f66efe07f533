// Hotspots: the screen areas the player can point at.
//
// Each hotspot is a polygon of up to 14 screen points that belongs to one
// camera setup of the current set (or to all, setup -1), with a type that
// tells the mouse code what it is and a cursor to show over it. The hotspots
// of a set come from the ".hot" file beside its set file; the scripts add and
// remove more at run time, and those survive a reload of the file.
//
// The ".hot" file (read through the configuration reader, so lower case):
//   hotspots_total: N
//   setup S:
//   num_hotspots: n
//   then n entries of the lines
//     hotspot NAME / id IDSTRING / type WORD / cursor WORD /
//     offset (x y z)                                   (dynamic entries)
//     path K: (x y z) ... [wait W]                     (all other entries)
//     region M: (x y) ...                              (640 x 480 game space)
// A malformed file is refused whole with a log line; the script hotspots stay.
//
// Main thread only.
#pragma once

#include <cstdint>

#include "engine/drevMain.h"
#include "quadrix/qxVector.h"

constexpr int HOTSPOT_MAX = 128;
constexpr int HOTSPOT_MAX_PATH = 6;
constexpr int HOTSPOT_MAX_REGION = 14;
constexpr int HOTSPOT_MAX_ID = 1024;
constexpr int HOTSPOT_NAME_SIZE = 40;
constexpr int HOTSPOT_ID_STRING_SIZE = 32;
constexpr int HOTSPOT_SOURCE_SIZE = 40;

enum HotspotType : int32_t {
  HOTSPOT_OBJECT = 1,
  HOTSPOT_WALK = 2,
  HOTSPOT_DYNAMIC = 3,
  HOTSPOT_SPECIAL = 4,
  HOTSPOT_DIALOG = 5,
  HOTSPOT_OPTIONS = 6,
  HOTSPOT_SCRIPT = 7,
  HOTSPOT_SCRIPT_8 = 8,
  HOTSPOT_SCRIPT_9 = 9,
};

struct HotspotPoint {
  int32_t x;
  int32_t y;
};

struct Hotspot {
  int32_t scriptAdded;
  int32_t id;     // 0 to 1023, unique among the current hotspots
  int32_t setup;  // -1 = every setup
  char name[HOTSPOT_NAME_SIZE];
  char idString[HOTSPOT_ID_STRING_SIZE];
  int32_t type;
  int32_t cursor;  // 1 hotspot, 2 walk, 3 to 6 arrows right, left, up, down
  int32_t pathLen;
  qxVector3 path[HOTSPOT_MAX_PATH];
  qxVector3 offset;     // dynamic hotspots: the point in the linked actor's frame
  int32_t linkedActor;  // -1 none
  int32_t num;          // polygon points
  HotspotPoint points[HOTSPOT_MAX_REGION];
  int32_t mode;     // overlay coordinate mode of the points
  int32_t overlay;  // overlay id, -1 none
  float wait;
};

struct HotspotSet {
  Hotspot* hotspots[HOTSPOT_MAX];
  int32_t numHotspots;
  int32_t idCounter;
  char source[HOTSPOT_SOURCE_SIZE];
};

// The single set, constructed on first use.
HotspotSet* hotspots_Init(void);

void hotspots_LoadForSet(const char* setFileName);
// Query the hotspots under a screen point, special ones first; capacity
// bounds the list.
int hotspots_QueryAtPoint(const HotspotPoint* point, Hotspot** list, int capacity, int mode);
int hotspots_PassesFilter(int mode, int type, int cursor);
// Takes ownership of a hotspot allocated with new; its id, or -1 when the set
// is full (the hotspot is then freed).
int hotspots_Add(Hotspot* hotspot);
void hotspots_Remove(int id);
void hotspots_MoveTo(const char* idString, int x, int y, int mode);
void hotspots_Link(const char* idString, int actor);
int hotspots_PointInPolygon(const Hotspot* hotspot, const HotspotPoint* point);
void hotspots_Recentre(Hotspot* hotspot, const HotspotPoint* point, int mode);
int hotspots_NextId(void);
int hotspots_Save(SaveTransferFn write);
int hotspots_Restore(SaveTransferFn read);
void hotspots_FreeAll(void);
void hotspots_DrawDebug(void);
