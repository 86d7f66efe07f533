// The entry module of the 3D library: start-up with the services record, the
// open step with default options, the global render options every drawing
// path consults, and the frame brackets (start: reset statistics, count the
// frame, clear the canvas; finish: flush the face cache).
//
// Effective mode rule: wherever a face is drawn, each of its geometry,
// lighting and texture modes is the smaller of its own mode and the global
// option; the global options are ceilings (qxCore_EffectiveMode).
#pragma once

#include <cstddef>
#include <cstdint>

#include "quadrix/qxMatrix.h"
#include "std/std.h"
#include "std/stdPaletteFx.h"

struct qxCamera;
struct qxColormap;

enum : int32_t {
  QXRENDER_BACKFACE_CULL = 0x1,   // drop model faces facing away unless two-sided
  QXRENDER_AMBIENT = 0x2,         // camera ambient light is a floor for face light
  QXRENDER_CLEAR_CANVAS = 0x100,  // frame start clears the canvas when it asks for it
};

enum : int32_t {
  QXCULL_MESHES = 0x1,   // model meshes tested against the frustum by bounding sphere
  QXCULL_SPRITES = 0x2,  // sprites tested likewise
};

// Library globals.
extern HostServices* qxCore_pHS;  // every allocation, file and assertion goes through it
extern int32_t qxCore_bStarted;
extern int32_t qxCore_bOpen;
extern int32_t qxCore_frameCount;            // 0 at open, +1 per frame start
extern int32_t qxCore_accelLevel;            // argument of qxCore_Open; the program uses 0
extern int32_t qxCore_facesDrawn;            // faces handed to the rasterizers this frame
extern qxCamera* qxCore_pCurrentCamera;      // set by qxCamera_SetCurrent
extern qxMatrix34 qxCore_cameraWorldMatrix;  // placement last given to qxCamera_Update
extern qxColormap* qxCore_pCurrentColormap;  // set by the colormap module
extern qxColormap* qxCore_pDisplayColormap;  // set by the colormap module

// Starts the library and the rasterizer installed in its table (once; 1).
// Without a rasterizer the library starts, says so in the log, and its face
// cache drops what it flushes.
int qxCore_Startup(HostServices* hs);
void qxCore_Shutdown(void);
int qxCore_Open(int32_t accelLevel);
void qxCore_Close(void);

void qxCore_SetRenderFlags(int32_t value);
int32_t qxCore_GetRenderFlags(void);
void qxCore_SetGeometryMode(int32_t value);
int32_t qxCore_GetGeometryMode(void);
void qxCore_SetLightingMode(int32_t value);
int32_t qxCore_GetLightingMode(void);
void qxCore_SetTextureMode(int32_t value);
int32_t qxCore_GetTextureMode(void);
void qxCore_SetSortingMethod(int32_t value);
int32_t qxCore_GetSortingMethod(void);
void qxCore_SetOcclusionMethod(int32_t value);
int32_t qxCore_GetOcclusionMethod(void);
void qxCore_SetZBufferMethod(int32_t value);
int32_t qxCore_GetZBufferMethod(void);
void qxCore_SetCullFlags(int32_t value);
int32_t qxCore_GetCullFlags(void);
void qxCore_SetFaceSortKey(int32_t value);
int32_t qxCore_GetFaceSortKey(void);
void qxCore_SetBatchOption(int32_t value);
int32_t qxCore_GetBatchOption(void);

// Four mip distances (10, 20, 40, 80 at program start; not reset by open).
int qxCore_SetMipmapDistances(const float* distances);
const float* qxCore_GetMipmapDistances(void);
// The colour effect of the accelerated path (reset by open).
int qxCore_SetColorEffect(const PaletteEffectBody* effect);
const PaletteEffectBody* qxCore_GetColorEffect(void);

// min(own mode, ceiling), compared signed.
inline int32_t qxCore_EffectiveMode(int32_t own, int32_t ceiling) {
  return own < ceiling ? own : ceiling;
}

void qxCore_ResetStats(void);
void qxCore_StartFrame(void);
void qxCore_FinishFrame(void);
// The accelerated path is not part of this program (the level is always 0):
// both do nothing.
void qxCore_BeginAcceleratedFrame(void);
void qxCore_EndAcceleratedFrame(void);
void qxCore_CancelFrame(void);

// Allocation and release through the library's services record (null when
// the library was never started).
void* qxCore_Alloc(size_t size, const char* module, int line);
void qxCore_Free(void* pointer);
