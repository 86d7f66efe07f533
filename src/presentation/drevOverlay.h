// Overlays and the virtual screen.
//
// The overlay module shows 2D images over the game picture: each overlay is
// an image (a PNG file, or a generated ".save" mosaic) placed in one of three
// coordinate spaces, in a numbered layer, with fades, dimming, mirroring and
// an optional black backdrop. One manager keeps a cache of at most 128 images
// (least recently used evicted, pinned ones kept) and at most 1023 overlays,
// kept dense in creation order, with ids reused modulo 1024. The render
// module asks for one layer at a time; the quads go into the hardware
// renderer's overlay bucket. The cursor, hotspot images and the commentary
// use overlays too.
//
// Coordinate spaces: mode 0 the 640 x 480 game space, mode 1 the 1440 x 1080
// 4:3 area, any other mode the 1920 x 1080 overlay screen, in which the 4:3
// area spans x = 240 to 1680.
//
// Main thread only.
#pragma once

#include <cstdint>

#include "engine/drevMain.h"
#include "script/runtime/lua31.h"
#include "std/stdDisplay.h"

struct kvSurface;

constexpr int OVERLAY_MAX_IMAGES = 128;
constexpr int OVERLAY_TABLE_SIZE = 1024;  // at most 1023 used
constexpr int OVERLAY_NAME_SIZE = 128;

// One cached image.
struct OverlayImage {
  int32_t lastUse;     // id of the latest overlay that took it: the eviction order
  int32_t useCount;    // overlays using it
  kvSurface* texture;  // none until loaded
  char name[OVERLAY_NAME_SIZE];
  int32_t cache;     // 0 normal, 1 pinned, 2 texture released as soon as unused
  int32_t loadable;  // 0 once loading failed
  uint32_t width, height;
  uint32_t srcWidth, srcHeight;  // the texel rectangle drawn
};

// One overlay.
struct OverlayEntry {
  OverlayImage* image;
  int32_t id;             // 0 to 1023
  int32_t x, y;           // top-left corner in the entry's coordinate mode
  int32_t width, height;  // drawn size in overlay screen units; <= 0 the image's
  float multiply;         // colour multiplier, 0 to 1
  float desaturate;       // 0 to 1
  int32_t flags;          // bit 0: fill the screen black first
  int32_t coords;
  int32_t layer;       // layer 0 is never drawn
  int32_t mirror;      // 0 none, 1 left-right, 2 top-bottom, 3 both
  int32_t visibility;  // 2: not drawn (hotspot images wait for the hotspot query)
  int32_t fadeState;
};

struct OverlayManager {
  OverlayImage* images[OVERLAY_MAX_IMAGES];
  OverlayEntry overlays[OVERLAY_TABLE_SIZE];
  int32_t overlayCount;
  int32_t imageCount;
  int32_t lastId;      // -1 before the first
  int32_t saveWaitId;  // the save-wait icon's overlay, -1 when not shown
};

// ---- Coordinate conversions ------------------------------------------------------
// Integer operations in place, divisions truncating toward zero: mode 0 scales
// by 1440/640 and 1080/480 and adds (or removes) the side bar of 240, mode 1
// only adds (or removes) the side bar, other modes leave the values. A raw
// conversion takes the values as a size (no side bar).
void drevOverlay_GameToScreen(int32_t* x, int32_t* y, int mode, int raw);
void drevOverlay_ScreenToGame(int32_t* x, int32_t* y, int mode, int raw);
// The rectangle forms: the position as a point, width and height as sizes.
void drevOverlay_GameToScreenRect(stdRect* rect, int mode);
void drevOverlay_ScreenToGameRect(stdRect* rect, int mode);

// ---- Module ----------------------------------------------------------------------

int drevOverlay_Initialize(HostServices* services, ModuleDescriptor* descriptor);
int drevOverlay_Startup(void);
void drevOverlay_Shutdown(void);
// The "OVRS" block.
int drevOverlay_Save(SaveTransferFn write);
int drevOverlay_Restore(SaveTransferFn read);

// ---- Manager -----------------------------------------------------------------------

// The one manager, made on first use.
OverlayManager* drevOverlay_GetManager(void);
// Releases every image and deletes the manager.
void drevOverlay_DeleteManager(void);
// A new overlay (image name may be null); its id, or -1 when the table is full.
int drevOverlay_Manager_CreateOverlay(OverlayManager* manager, const char* imageName, int x, int y,
                                      int layer, int coords, int mirror, int cache, int flags);
// The overlay with that id (its image loaded), or null.
OverlayEntry* drevOverlay_Manager_FindOverlay(OverlayManager* manager, int id);
void drevOverlay_Manager_DestroyOverlay(OverlayManager* manager, int id);
// The cached image of that name, added (evicting the least recently used
// unused, unpinned image when the cache is full); null when none can be had.
OverlayImage* drevOverlay_Manager_FindOrAddImage(OverlayManager* manager, const char* name);
void drevOverlay_Manager_ShowSaveWaitIcon(OverlayManager* manager, int show, int x, int y);
void drevOverlay_ShowSaveWaitIcon(int show, int x, int y);
// Releases the textures of images no overlay uses, except pinned ones.
void drevOverlay_Manager_ClearCache(OverlayManager* manager);

// Loads the image's texture when it has none (PNG file or ".save" mosaic).
void OverlayImage_Load(OverlayImage* image);
// Releases the texture and sets the use count to 0.
void OverlayImage_Unload(OverlayImage* image);
// The mosaic of a ".save" name: 32 x 10 RGBA pixels (row-major), tile i black
// at alpha 0xCC where character i of the name is '0', else transparent.
void drevOverlay_PaintMosaic(const char* name, uint32_t* pixels, int rowLength);

// One move toward a target; 1 (value set to the target) once within 1.5 steps.
int drevOverlay_StepToward(float* value, float target, float step);

// ---- Drawing -----------------------------------------------------------------------

// Draws and fades the overlays of one layer, with screen mode 0 over the 4:3
// picture and 1 for full-screen layers.
void drevOverlay_DrawLayer(int layer, int screenMode);
// An opaque black quad over the whole back buffer.
void drevOverlay_FillBlack(void);

// The overlay script functions (registered by the startup).
const lua_Reg* drevOverlay_GetScriptTable(int* count);
