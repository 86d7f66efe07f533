// The render module's shared state, for its own sources only.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "engine/Res.h"
#include "presentation/drevRender.h"
#include "quadrix/qxMatrix.h"
#include "quadrix/qxVector.h"
#include "std/stdDisplay.h"

struct MemoryPool;

// The 640x480 screen the rectangles, the iris and the effects refer to.
constexpr int kScreenWidth = 640;
constexpr int kScreenHeight = 480;

// A dirty rectangle: a pool item in a doubly linked list.
struct DirtyRect {
  DirtyRect* next;
  DirtyRect* prev;
  int zRestore;
  int id;
  int countdown;  // the display buffer the node belongs to
  int x, y, width, height;
};

// A cached rectangle: copies of the clean buffers under it.
constexpr uint32_t kCachedRectMagic = 0x11111111;
struct CachedRect {
  uint32_t magic;
  uint32_t serial;
  int x, y, width, height;
  DisplayBuffer* colour;
  DisplayBuffer* depth;
  CachedRect* next;
};

struct RenderState {
  HostServices* services = nullptr;
  int initialized = 0;
  int started = 0;
  int buffersOpen = 0;

  qxCanvas* canvas = nullptr;
  int64_t decompressionCapacity = 0;  // bytes of the decompression buffer's pixels
  // Raster metrics of the display raster.
  void* pixels = nullptr;
  int width = 0, height = 0, bytesPerPixel = 0, bytesPerRow = 0;

  int bufferCount = 1;
  int hardwareAccelerated = 0;
  uint32_t renderFlags = 0;
  uint32_t debugFlags = kDebugSectors;
  int dirtyFlushEnabled = 1;
  int forceRefresh = 0;
  int movieEnded = 0;
  int movieFrames = 0;  // never reset

  // The set drawn last: the remembered set and setup, and the reference on it.
  Room* heldRoom = nullptr;
  ResourceRef heldRef{};
  int heldSetup = -1;

  int cameraActor = -1;
  qxVector3 cameraPosition{};
  qxMatrix34 cameraMatrix{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0}};

  drevRenderPaletteHook paletteHook = nullptr;
  drevRenderPresentHook presentHook = nullptr;
  int paletteHookReported = 0;
  RenderOptions options{};

  float gamma = 1.0f;
  float resolutionScaling = 2.0f;
  int advancedLighting = 1;

  int waitTimerEnabled = 1;
  int waitTimerRunning = 0;
  double waitAccumulatorMs = 0.0;

  // Dirty rectangles.
  MemoryPool* pool = nullptr;
  DirtyRect* head = nullptr;
  int count = 0;
  int nextId = 0;
  uint16_t flushCounter = 0;

  // Cached rectangles, newest first.
  CachedRect* cached = nullptr;
  uint32_t nextCachedSerial = 1;

  // Iris.
  uint32_t irisStart = 0;
  float irisDuration = 0.0f;
  int irisX = 320, irisY = 240;

  // Draw list.
  DrawListEntry entries[kDrawListSize]{};
  DrawListEntry* order[kDrawListSize]{};
  int drawCount = 0;

  // Debug key latches: space, h, b, l, c, r.
  int keyLatches[6]{};

  // Images handed to the scripts, by serial number.
  std::vector<std::pair<uint32_t, DisplayBuffer*>> images;
  uint32_t nextImageSerial = 1;
};

RenderState& drevRender_State(void);

// The set's current setup index, a setup of the set (null for an index
// outside its setups), the current setup, and a setup's camera.
struct RoomSetup;
struct qxCamera;
int drevRender_CurrentSetupIndex(Room* room);
RoomSetup* drevRender_Setup(Room* room, int setup);
RoomSetup* drevRender_CurrentSetup(Room* room);
qxCamera* drevRender_SetupCamera(Room* room, int setup);

// Blits a rectangle of the source to (x, y) of the target through the hooks.
void drevRender_BlitRect(DisplayBuffer* target, DisplayBuffer* source, int x, int y,
                         const stdRect* rect);
// Marks {x, y, width, height} dirty for every countdown, without aligning.
void drevRender_AddDirtyRectAllBuffers(const int* rect, int zRestore);
// The canvas viewport as {x, y, width, height}; false without a canvas.
bool drevRender_CanvasViewport(int* rect);
// Frees the images scripts did not free.
void drevRender_FreeScriptImages(void);
// Logs a line once per key.
void drevRender_LogOnce(int& reported, const char* text);
