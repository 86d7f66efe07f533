// The render module: composes the classic 640x480 picture once per frame.
//
// It keeps a clean copy of the current camera setup (its background and its
// depth image) and restores from it only the screen rectangles that were
// marked dirty since they were last drawn; then it draws the actors of the
// current set far to near, runs the passes of the other presentation modules
// in a fixed order, the iris and the debug views. It also owns the pixel
// conversion table and the named colours, the grey menu backdrop, the save
// and load progress bar, screenshots, the images scripts load and draw, the
// rectangles scripts cache and put back, and the pick of a world point from
// the clean depth image. The hardware renderer reads a few values through the
// getters below and never writes them.
//
// Sources: drevRender.cpp (module, buffers, setups, draw list, frame, save
// block), drevRender_Dirty.cpp (dirty rectangles, clean buffers, cached
// rectangles, picking), drevRender_Effects.cpp (iris, pixel table, dimming,
// screenshots, progress bar, script images), drevRender_Debug.cpp (debug views
// and keys), drevRender_Script.cpp (the script functions).
//
// An engine module of group B; main thread only.
#pragma once

#include <cstdint>

#include "engine/drevMain.h"
#include "script/runtime/lua31.h"

struct DisplayBuffer;
struct ColorFormat;
struct Room;
struct Actor;
struct CostumeNode;
struct ObjectState;
struct qxCanvas;
struct qxMatrix34;
struct qxVector3;

// Render options, applied to the 3D library in this order.
struct RenderOptions {
  int geometryMode;
  int lightingMode;
  int textureMode;
  int renderFlags;
  int sortingMethod;
  int occlusionMethod;
  int zBufferMethod;
};

// Render flags.
enum : uint32_t {
  kRenderNoBackground = 1u << 0,  // dirty areas are filled with 0
  kRenderNoDepth = 1u << 1,       // the z-buffer is cleared instead of restored
  kRenderIrisRunning = 1u << 2,
  kRenderIrisDownComplete = 1u << 3,
};

// Debug flags (start value kDebugSectors).
enum : uint32_t {
  kDebugView = 1u << 0,
  kDebugLights = 1u << 1,
  kDebugCameras = 1u << 2,
  kDebugSectors = 1u << 3,  // walk sectors instead of the ground grid
  kDebugDirtyRects = 1u << 4,
  kDebugHotspots = 1u << 5,
};

// One entry of the per-frame actor draw list.
struct DrawListEntry {
  uint8_t kind;  // 0 = wears a costume and is drawn; 255 = nothing to draw
  float depth;   // distance along the camera's forward axis
  int32_t actor;
};
constexpr int kDrawListSize = 128;

// The twenty named colours, in table order.
enum NamedColour : int {
  kColourBlack,
  kColourWhite,
  kColourGrey,
  kColourYellow,
  kColourRed,
  kColourGreen,
  kColourBlue,
  kColourPurple,
  kColourMaroon,
  kColourDarkGreen,
  kColourOlive,
  kColourNavy,
  kColourTeal,
  kColourSilver,
  kColourPaleGreen,
  kColourSkyBlue,
  kColourLightGrey,
  kColourDarkGrey,
  kColourMagenta,
  kColourCyan,
  kNamedColourCount
};
// The named colours as display pixels, rebuilt with the conversion table.
extern uint16_t drevRender_debugColours[kNamedColourCount];

// ---- Module -------------------------------------------------------------------------

int drevRender_Initialize(HostServices* services, ModuleDescriptor* descriptor);
void drevRender_Uninitialize(void);
// 1 when already started, else 0.
int drevRender_Startup(void);
void drevRender_Shutdown(void);
// The "RNDS" block: nine 32-bit values. 0 on success, 1 when a transfer fails.
int drevRender_Save(SaveTransferFn write);
int drevRender_Restore(SaveTransferFn read);

// ---- Display attachment --------------------------------------------------------------

// Below 1 gives 1.
void drevRender_SetBufferCount(int count);
int drevRender_GetBufferCount(void);
// 1, or 0 when the clean buffer cannot be made. The options record's render
// flags gain bit 1 (ambient-only lighting at full ambient).
int drevRender_OpenBuffers(DisplayBuffer* display, DisplayBuffer* zBuffer, int x0, int y0, int x1,
                           int y1, RenderOptions* options);
void drevRender_FreeBuffers(void);
void drevRender_SetHardwareAccelerated(int accelerated);
int drevRender_IsHardwareAccelerated(void);

// The display raster (the display's back buffer once attached), its z raster
// and the three rasters the module makes over it; null until then.
extern DisplayBuffer* drevRender_pDisplayRaster;
extern DisplayBuffer* drevRender_pZRaster;
extern DisplayBuffer* drevRender_pCleanBuffer;
extern DisplayBuffer* drevRender_pCleanZBuffer;
extern DisplayBuffer* drevRender_pDecompressionBuffer;
// 1 at start; the option -z sets it to 0, which asks for the clean z-buffer
// as a video buffer. Our display layer keeps every buffer in main memory, so
// the request is passed on and changes nothing else.
extern int drevRender_zBufferInSystemMemory;
// The 3D canvas over the display raster and z raster.
qxCanvas* drevRender_GetCanvas(void);

// ---- Per frame ------------------------------------------------------------------------

void drevRender_DrawFrame(void);
// Calls the present hook (when set) and clears the movie-ended flag.
void drevRender_Present(void);

// ---- Setups and the camera ------------------------------------------------------------

void drevRender_SelectSetupCamera(Room* room, int setup);
// Nothing when the set is null.
void drevRender_PrepareSetup(Room* room, int setup);
// A new actor flagged as the camera, kept out of the draw list.
void drevRender_CreateCameraActor(void);
int drevRender_GetCameraActor(void);
void drevRender_BuildDrawList(void);
// The sorted draw list (farther first) and its count.
DrawListEntry* const* drevRender_GetDrawList(void);

// ---- Hooks ----------------------------------------------------------------------------

using drevRenderPaletteHook = int (*)(const uint8_t* palette, int flag);
using drevRenderPresentHook = int (*)(void);
void drevRender_SetPaletteHook(drevRenderPaletteHook hook);
drevRenderPaletteHook drevRender_GetPaletteHook(void);
void drevRender_SetPresentHook(drevRenderPresentHook hook);

// ---- Render options -------------------------------------------------------------------

void drevRender_SetRenderOptions(const RenderOptions* options);
void drevRender_GetRenderOptions(RenderOptions* out);

// ---- Values read by the hardware renderer ---------------------------------------------

int drevRender_IsInitialized(void);
// 1 in game state 3 while a high-definition movie is active, and in state 5.
int drevRender_InMovieMode(void);
int drevRender_GetDrawListCount(void);
// Nothing when the index is not below the count; else the actor's position
// and half the vertical extent of its models (0.5 without models).
void drevRender_GetDrawListActorBounds(unsigned index, qxVector3* position, float* halfHeight);
float drevRender_GetResolutionScaling(void);
void drevRender_SetResolutionScaling(float scaling);
int drevRender_GetAdvancedLighting(void);
void drevRender_SetAdvancedLighting(int enabled);
uint32_t drevRender_GetRenderFlags(void);
uint32_t drevRender_GetDebugFlags(void);
void drevRender_SetDebugFlags(uint32_t flags);

// ---- Dirty rectangles and clean buffers -----------------------------------------------

// Rectangles are {x, y, width, height} in 640x480 screen space.
// Inserts with merging: nodes of one countdown never overlap.
void drevRender_AddDirtyRect(const int* rect, int zRestore, int countdown);
// Aligns to 4-pixel columns and adds with countdown n - 1; nothing for an
// empty rectangle. Rectangles are cut to the screen first.
void drevRender_InvalidateRect(const int* rect, int zRestore);
// Aligns and adds once for every countdown 0..n-1.
void drevRender_InvalidateRectAllBuffers(const int* rect, int zRestore);
// Restores the dirty rectangles into the target and z rasters and retires
// the nodes whose countdown ran out. Nothing when no set is current.
void drevRender_FlushDirtyRects(DisplayBuffer* target, DisplayBuffer* zTarget);
void drevRender_ClearDirtyRects(void);
int drevRender_GetDirtyRectCount(void);
// Walks the dirty list from the head: rectangle, z-restore flag, countdown.
struct DirtyRectInfo {
  int x, y, width, height;
  int zRestore;
  int countdown;
};
int drevRender_GetDirtyRects(DirtyRectInfo* out, int capacity);
void drevRender_SetBackgroundEnabled(int useBackground, int useDepth);
void drevRender_SetDirtyFlushEnabled(int enabled);
void drevRender_ForceRefresh(void);
int drevRender_IsForceRefresh(void);
// Unpacks a packed image into the decompression buffer (gamma and colour
// key applied to colour images).
void drevRender_PrepareBackground(DisplayBuffer* packed);
DisplayBuffer* drevRender_GetCleanBuffer(void);
DisplayBuffer* drevRender_GetCleanZBuffer(void);
// Game state 4 only: the clean buffer over the display raster.
void drevRender_CopyCleanToScreen(void);

// Cached rectangles: copies of the clean buffers that scripts put back. A
// record is named by its serial number (never 0), which stays unique for
// the life of the program.
uint32_t drevRender_CacheRect(int x, int y, int width, int height);
// 1 when a cached rectangle with that serial is alive.
int drevRender_IsCachedRect(uint32_t serial);
// Puts the most recent cached rectangle back into the clean buffers.
void drevRender_RestoreCacheRect(void);
void drevRender_FreeCachedRects(void);

// 1 with the world point under a screen pixel, from the clean depth image.
int drevRender_PickWorldPoint(int column, int row, qxVector3* out);
int drevRender_IntersectLinePlane(qxVector3* out, const qxVector3* p0, const qxVector3* p1, float a,
                                  float b, float c, float d);
int drevRender_IntersectSegmentTriangle(qxVector3* out, const qxVector3* v0, const qxVector3* v1,
                                        const qxVector3* v2, const qxVector3* p,
                                        const qxVector3* q);

// ---- Iris, pixel conversion, dimming, screenshots -------------------------------------

void drevRender_IrisDown(int x, int y, int duration);
void drevRender_IrisUp(int x, int y, int duration);
int drevRender_IsIrisComplete(void);
void drevRender_IrisClear(void);
// Blacks out the borders of a window that shrinks toward (x, y) as percent
// goes from 0 to 1; the borders are clamped to the raster.
void drevRender_DrawIris(float percent, int x, int y);
// The frame's iris step.
void drevRender_StepIris(void);
void drevRender_GetIrisState(float* fraction, float* centreX, float* centreY);

void drevRender_BuildGammaTable(const ColorFormat* target, float exponent);
void drevRender_RebuildColorTables(const ColorFormat* source);
void drevRender_ApplyGammaToPixels(uint16_t* pixels, int count);
// The gamma table: 65536 entries, each 16-bit pixel to its gamma-corrected value.
const uint16_t* drevRender_GammaTable(void);
uint16_t drevRender_ConvertPixel(uint16_t pixel);
void drevRender_SetGamma(float gamma);
float drevRender_GetGamma(void);

void drevRender_DimScreen(int force, int shift);
void drevRender_DimRegion(int x, int y, int width, int height, float factor);
// A new buffer of the clean buffer's format, or null.
DisplayBuffer* drevRender_ScreenShot(int width, int height);
void drevRender_SaveScreen(const char* path);
void drevRender_SaveScreenImage(const char* path);
void drevRender_SaveZBufferImage(const char* path);
void drevRender_DrawProgressBar(float fraction);
// A script rectangle with inclusive corners into the display raster: nothing
// unless 0 <= x0 <= x1 <= 639 and 0 <= y0 <= y1 <= 479. Not marked dirty.
void drevRender_BlastRect(int x0, int y0, int x1, int y1, uint16_t colour, int filled);
void drevRender_SetWaitTimerEnabled(int enabled);
void drevRender_TickWaitTimer(void);

// Script images (VBUF handles): each is named by a serial number.
uint32_t drevRender_AddScriptImage(DisplayBuffer* image);
DisplayBuffer* drevRender_FindScriptImage(uint32_t serial);
// Frees the image; nothing for an unknown serial.
void drevRender_FreeScriptImage(uint32_t serial);

// ---- Debug views and keys -------------------------------------------------------------

void drevRender_ToggleDebugView(void);
int drevRender_IsDebugView(void);
// The control handler: 1 when it took the input.
int drevRender_DebugKeyHandler(float seconds);
void drevRender_DrawGroundGrid(void);
void drevRender_DrawSectors(void);
void drevRender_DrawActorDebug(Actor* actor);
void drevRender_DrawLights(void);
void drevRender_DrawCameras(void);
// The spot-light pyramid of a light at P looking along dir.
void drevRender_DrawSpotPyramid(const qxVector3* position, const qxVector3* direction,
                                float intensity, float cosOuter, int colour);

// ---- Script functions -----------------------------------------------------------------

// The twenty rows of the core table that this module serves.
const lua_Reg* drevRender_GetScriptFunctions(int* count);

// ---- Calls out of the render module ---------------------------------------------------
//
// The frame reaches the other presentation modules, the cutscene layer and
// the engine core through this table. It starts empty; the program installs
// their functions (drevRender_SetCalls). Tests put recording fakes in place
// and go back to the program's rows with drevRender_ResetCalls.
struct drevRenderCalls {
  Room* (*roomGetCurrent)(void);
  DisplayBuffer* (*roomGetSetupBackground)(Room* room, int setup);
  DisplayBuffer* (*roomGetSetupZBuffer)(Room* room, int setup);
  void (*objectStateLoadImages)(ObjectState* state);
  void (*objectStatePrepare)(ObjectState* state, DisplayBuffer* clean, DisplayBuffer* cleanZ);
  void (*objectStateDraw)(ObjectState* state, int kind, DisplayBuffer* target,
                          DisplayBuffer* zTarget);
  Actor* (*actorFromIndex)(int index);
  int (*actorNew)(int occlusion, int sectorWalker);
  void (*actorUpdateTalking)(float seconds);
  void (*costumeDraw)(CostumeNode* top, const qxMatrix34* placement);
  void (*textDrawPass)(int all, int layer);
  void (*textSuspendDrawing)(void);
  void (*textResumeDrawing)(void);
  void (*overlayDrawLayer)(int layer, int argument);
  void (*overlayFillBlack)(void);
  void (*mouseUpdateCursor)(void);
  int (*mouseCursorMovieEnabled)(void);
  void (*hotspotsDrawDebug)(void);
  int (*primitiveDrawPass)(int mask);
  int (*tolveCreateFrameBuffer)(DisplayBuffer* display);
  int (*tolveUpdate)(void);
  int (*movieHDIsActive)(void);
  void (*callUserPaint)(void);
  int (*callPostCamChangeHandler)(int setup);
  void (*startFrame)(void);
  void (*finishFrame)(void);
  void (*discardFrame)(void);  // cache reset, accelerated frame end, cancel
  float (*frameSeconds)(void);
  uint32_t (*totalMs)(void);
  void (*setFrameMs)(uint32_t milliseconds);
  int (*debugKeysEnabled)(void);
  int (*readKey)(int code);
  int (*lineHook)(const qxVector3* a, const qxVector3* b, int colour, int pattern);
  int (*circleHook)(const qxVector3* centre, float radius, float step, int colour, int pattern);
  int (*rectHook)(qxCanvas* canvas, int x0, int y0, int x1, int y1, int colour, int pattern);
};
drevRenderCalls& drevRender_Calls(void);
void drevRender_SetCalls(const drevRenderCalls* calls);
void drevRender_ResetCalls(void);
// Puts every state field back to its start value (tests; the module must be
// shut down and its buffers freed first).
void drevRender_ResetForTest(void);
