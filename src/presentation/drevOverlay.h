// Overlays.
//
// Not built yet: this is a placeholder that gives the module table its entry.
// Its initialise function answers 0 and fills no operation, so the registry
// skips the module; the functions below do nothing, except the coordinate
// conversions between game space and the overlay screen, which are built.
#pragma once

#include <cstdint>

#include "engine/drevMain.h"
#include "std/stdDisplay.h"

int drevOverlay_Initialize(HostServices* services, ModuleDescriptor* descriptor);
void drevOverlay_FillBlack(void);
void drevOverlay_DrawLayer(int layer, int argument);

// One overlay of the overlay manager.
struct OverlayEntry {
  int32_t image;
  int32_t id;
  int32_t x, y, width, height;
  int32_t fade0, fade1;
  int32_t flags;
  int32_t mode;  // coordinate mode
  int32_t layer;
  int32_t alpha;
  int32_t hidden;
  int32_t fadeState;
};

// Coordinate spaces: mode 0 the 640 x 480 game space, mode 1 the 1440 x 1080
// 4:3 area, any other mode the 1920 x 1080 overlay screen, in which the 4:3
// area spans x = 240 to 1680. The conversions are integer operations in
// place, divisions truncating toward zero: mode 0 scales by 1440/640 and
// 1080/480 and adds (or removes) the side bar, mode 1 only adds (or removes)
// the side bar, other modes leave the values. A raw conversion takes the
// values as a size (no side bar).
void drevOverlay_GameToScreen(int32_t* x, int32_t* y, int mode, int raw);
void drevOverlay_ScreenToGame(int32_t* x, int32_t* y, int mode, int raw);
// The rectangle forms: the position as a point, width and height as sizes.
void drevOverlay_GameToScreenRect(stdRect* rect, int mode);
void drevOverlay_ScreenToGameRect(stdRect* rect, int mode);

// The overlay entry with that id, none when no overlay has it.
// Not built yet: answers none.
OverlayEntry* drevOverlay_Manager_FindOverlay(int id);
// Removes the overlay with that id. Not built yet: does nothing.
void drevOverlay_Manager_DestroyOverlay(int id);
