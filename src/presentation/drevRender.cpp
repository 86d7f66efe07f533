// The render module: module slots, the rasters over the display, hooks,
// render options, the values the hardware renderer reads, the camera actor
// and the "RNDS" save block.
#include "presentation/drevRender.h"

#include <cmath>
#include <cstring>

#include "actors/drevActor.h"
#include "engine/drevRoom.h"
#include "platform/kv_Log.h"
#include "platform/kv_RenderHooks.h"
#include "presentation/drevControl.h"
#include "presentation/drevRender_Internal.h"
#include "quadrix/qxCamera.h"
#include "quadrix/qxCanvas.h"
#include "quadrix/qxCore.h"
#include "std/std.h"
#include "std/stdCallTable.h"
#include "std/stdMemory.h"

DisplayBuffer* drevRender_pDisplayRaster = nullptr;
DisplayBuffer* drevRender_pZRaster = nullptr;
DisplayBuffer* drevRender_pCleanBuffer = nullptr;
DisplayBuffer* drevRender_pCleanZBuffer = nullptr;
DisplayBuffer* drevRender_pDecompressionBuffer = nullptr;
int drevRender_zBufferInSystemMemory = 1;

namespace {

RenderState g_render;

constexpr RenderOptions kStartOptions = {4, 3, 1, 1, 0, 0, 2};

stdCallTable<drevRenderCalls> g_calls;

}  // namespace

RenderState& drevRender_State(void) {
  return g_render;
}

drevRenderCalls& drevRender_Calls(void) {
  return g_calls.live;
}

void drevRender_SetCalls(const drevRenderCalls* calls) {
  g_calls.Install(calls);
}

void drevRender_ResetCalls(void) {
  g_calls.Reset();
}

void drevRender_ResetForTest(void) {
  g_render = RenderState{};
}

void drevRender_LogOnce(int& reported, const char* text) {
  if (reported) return;
  reported = 1;
  kv_Log_Printf("%s", text);
}

// ---- Module ---------------------------------------------------------------------------

int drevRender_Initialize(HostServices* services, ModuleDescriptor* descriptor) {
  g_render.services = services;
  if (descriptor) {
    std::memset(descriptor, 0, sizeof *descriptor);
    descriptor->initialize = drevRender_Initialize;
    descriptor->uninitialize = drevRender_Uninitialize;
    descriptor->startup = drevRender_Startup;
    descriptor->shutdown = drevRender_Shutdown;
    descriptor->save = drevRender_Save;
    descriptor->restore = drevRender_Restore;
  }
  drevControl_AddHandler(drevRender_DebugKeyHandler);
  g_render.initialized = 1;
  return 0;
}

void drevRender_Uninitialize(void) {
  g_render.services = nullptr;
  g_render.initialized = 0;
}

int drevRender_Startup(void) {
  if (g_render.started) return 1;
  g_render.started = 1;
  g_render.options = kStartOptions;
  g_render.pool = Memory_PoolCreate(sizeof(DirtyRect), 32, 8);
  return 0;
}

void drevRender_Shutdown(void) {
  drevRender_ClearDirtyRects();
  drevRender_FreeCachedRects();
  drevRender_FreeScriptImages();
  if (g_render.pool) Memory_PoolDestroy(g_render.pool);
  g_render.pool = nullptr;
  g_render.started = 0;
}

// ---- Save block -----------------------------------------------------------------------

int drevRender_Save(SaveTransferFn write) {
  RenderState& s = g_render;
  uint32_t start = s.irisStart;
  float duration = s.irisDuration, gamma = s.gamma;
  int32_t x = s.irisX, y = s.irisY, flush = s.dirtyFlushEnabled, camera = s.cameraActor,
          ended = s.movieEnded;
  uint32_t flags = s.renderFlags;
  void* const values[9] = {&start, &duration, &x, &y, &gamma, &flags, &flush, &camera, &ended};
  for (void* v : values)
    if (write(v, 4) != 0) return 1;
  return 0;
}

int drevRender_Restore(SaveTransferFn read) {
  uint32_t start = 0, flags = 0;
  float duration = 0.0f, gamma = 1.0f;
  int32_t x = 0, y = 0, flush = 0, camera = 0, ended = 0;
  void* const values[9] = {&start, &duration, &x, &y, &gamma, &flags, &flush, &camera, &ended};
  for (void* v : values)
    if (read(v, 4) != 0) return 1;
  RenderState& s = g_render;
  s.irisStart = start;
  // A duration or gamma that is not a finite number would reach the iris
  // assertion and the renderer's shaders: none and the start value instead.
  s.irisDuration = std::isfinite(duration) ? duration : 0.0f;
  s.irisX = x;
  s.irisY = y;
  s.gamma = std::isfinite(gamma) ? gamma : 1.0f;
  s.renderFlags = flags;
  s.dirtyFlushEnabled = flush;
  s.cameraActor = camera >= 0 && camera < drevActor_GetRecordCount() ? camera : -1;
  s.movieEnded = ended;
  return 0;
}

// ---- Display attachment -----------------------------------------------------------------

void drevRender_SetBufferCount(int count) {
  g_render.bufferCount = count < 1 ? 1 : count;
}

int drevRender_GetBufferCount(void) {
  return g_render.bufferCount;
}

void drevRender_SetHardwareAccelerated(int accelerated) {
  g_render.hardwareAccelerated = accelerated;
}

int drevRender_IsHardwareAccelerated(void) {
  return g_render.hardwareAccelerated;
}

qxCanvas* drevRender_GetCanvas(void) {
  return g_render.canvas;
}

void drevRender_FreeBuffers(void) {
  RenderState& s = g_render;
  qxCanvas_Free(s.canvas);
  s.canvas = nullptr;
  for (DisplayBuffer** raster :
       {&drevRender_pDecompressionBuffer, &drevRender_pCleanBuffer, &drevRender_pCleanZBuffer}) {
    stdDisplay_FreeBuffer(*raster);
    *raster = nullptr;
  }
  s.decompressionCapacity = 0;
  s.buffersOpen = 0;
}

int drevRender_OpenBuffers(DisplayBuffer* display, DisplayBuffer* zBuffer, int x0, int y0, int x1,
                           int y1, RenderOptions* options) {
  RenderState& s = g_render;
  drevRender_FreeBuffers();
  if (!display) return 0;
  s.canvas = qxCanvas_New(1, display, zBuffer, x0, y0, x1, y1, 0);
  drevRender_pDisplayRaster = display;
  drevRender_pZRaster = zBuffer;

  BufferFormat format = display->format;
  drevRender_pDecompressionBuffer = stdDisplay_NewBuffer(&format, 0, 0, nullptr);
  drevRender_pCleanBuffer = stdDisplay_NewBuffer(&format, 0, 0, nullptr);
  drevRender_pCleanZBuffer =
      stdDisplay_NewBuffer(&format, drevRender_zBufferInSystemMemory ? 0 : 1, 0, nullptr);
  if (drevRender_pDecompressionBuffer) {
    drevRender_pDecompressionBuffer->name = "drevRender_pDecompressionBuffer";
    s.decompressionCapacity = drevRender_pDecompressionBuffer->format.byteSize;
  }
  if (drevRender_pCleanZBuffer) drevRender_pCleanZBuffer->name = "drevRender_pCleanZBuffer";
  if (!drevRender_pCleanBuffer) {
    kv_Log_Printf("[Render] - the clean buffer could not be created");
    return 0;
  }
  drevRender_pCleanBuffer->name = "drevRender_pCleanBuffer";

  s.pixels = display->pixels;
  s.width = display->format.width;
  s.height = display->format.height;
  s.bytesPerPixel = display->format.format.bitsPerPixel / 8;
  s.bytesPerRow = display->format.bytesPerRow;

  if (options) {
    options->renderFlags |= 2;
    drevRender_SetRenderOptions(options);
  }
  Room* room = g_calls.live.roomGetCurrent();
  if (room) {
    if (qxCamera* camera = drevRender_SetupCamera(room, drevRender_CurrentSetupIndex(room)))
      qxCamera_SetAmbientLight(camera, 0.2f);
  }
  static const ColorFormat k565 = {1, 16, 5, 6, 5, 11, 5, 0, 3, 2, 3, 0, 0, 0};
  drevRender_RebuildColorTables(&k565);
  s.buffersOpen = 1;
  if (room) drevRender_PrepareSetup(room, drevRender_CurrentSetupIndex(room));
  s.forceRefresh = 1;
  return 1;
}

// ---- Hooks and options ----------------------------------------------------------------

void drevRender_SetPaletteHook(drevRenderPaletteHook hook) {
  g_render.paletteHook = hook;
}

drevRenderPaletteHook drevRender_GetPaletteHook(void) {
  return g_render.paletteHook;
}

void drevRender_SetPresentHook(drevRenderPresentHook hook) {
  g_render.presentHook = hook;
}

void drevRender_SetRenderOptions(const RenderOptions* options) {
  if (!options) return;
  g_render.options = *options;
  qxCore_SetGeometryMode(options->geometryMode);
  qxCore_SetLightingMode(options->lightingMode);
  qxCore_SetTextureMode(options->textureMode);
  qxCore_SetRenderFlags(options->renderFlags);
  qxCore_SetSortingMethod(options->sortingMethod);
  qxCore_SetOcclusionMethod(options->occlusionMethod);
  qxCore_SetZBufferMethod(options->zBufferMethod);
}

void drevRender_GetRenderOptions(RenderOptions* out) {
  if (!out) return;
  g_render.options.renderFlags = qxCore_GetRenderFlags();
  *out = g_render.options;
}

// ---- Values read by the hardware renderer -------------------------------------------------

int drevRender_IsInitialized(void) {
  return g_render.initialized;
}

int drevRender_InMovieMode(void) {
  return (GameState == kGameCutscene && g_calls.live.movieHDIsActive()) ||
                 GameState == kGameScriptWide
             ? 1
             : 0;
}

int drevRender_GetDrawListCount(void) {
  return g_render.drawCount;
}

DrawListEntry* const* drevRender_GetDrawList(void) {
  return g_render.order;
}

float drevRender_GetResolutionScaling(void) {
  return g_render.resolutionScaling;
}

void drevRender_SetResolutionScaling(float scaling) {
  g_render.resolutionScaling = scaling;
}

int drevRender_GetAdvancedLighting(void) {
  return g_render.advancedLighting;
}

void drevRender_SetAdvancedLighting(int enabled) {
  g_render.advancedLighting = enabled;
}

uint32_t drevRender_GetRenderFlags(void) {
  return g_render.renderFlags;
}

uint32_t drevRender_GetDebugFlags(void) {
  return g_render.debugFlags;
}

void drevRender_SetDebugFlags(uint32_t flags) {
  g_render.debugFlags = flags;
}

// ---- Present and the camera actor ---------------------------------------------------------

void drevRender_Present(void) {
  if (g_render.presentHook) g_render.presentHook();
  g_render.movieEnded = 0;
}

void drevRender_CreateCameraActor(void) {
  const int index = g_calls.live.actorNew(0, 0);
  g_render.cameraActor = index;
  if (Actor* actor = index >= 0 ? g_calls.live.actorFromIndex(index) : nullptr)
    actor->flags |= ACTOR_CAMERA;
}

int drevRender_GetCameraActor(void) {
  return g_render.cameraActor;
}
