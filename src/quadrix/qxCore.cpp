#include "quadrix/qxCore.h"

#include "platform/kv_Log.h"
#include "quadrix/qxCache.h"
#include "quadrix/qxCamera.h"
#include "quadrix/qxRasterizer.h"

HostServices* qxCore_pHS = nullptr;
int32_t qxCore_bStarted = 0;
int32_t qxCore_bOpen = 0;
int32_t qxCore_frameCount = 0;
int32_t qxCore_accelLevel = 0;
int32_t qxCore_facesDrawn = 0;
qxCamera* qxCore_pCurrentCamera = nullptr;
qxMatrix34 qxCore_cameraWorldMatrix = qxMatrix34_identity;
qxColormap* qxCore_pCurrentColormap = nullptr;
qxColormap* qxCore_pDisplayColormap = nullptr;

namespace {

struct qxRenderOptions {
  int32_t renderFlags;
  int32_t geometryMode;
  int32_t lightingMode;
  int32_t textureMode;
  int32_t sortingMethod;
  int32_t occlusionMethod;
  int32_t zBufferMethod;
  int32_t cullFlags;
  int32_t faceSortKey;
  int32_t batchOption;
};

qxRenderOptions g_options = {};
float g_mipmapDistances[4] = {10.0f, 20.0f, 40.0f, 80.0f};
PaletteEffectBody g_colorEffect = {};

}  // namespace

int qxCore_Startup(HostServices* hs) {
  if (qxCore_bStarted) return 1;
  qxCore_pHS = hs;
  qxCache_Startup();
  // The library loads and writes its files without a rasterizer (the data
  // tools do); only drawing needs one.
  const qxRasterizerCalls& raster = qxRasterizer_Calls();
  if (raster.open && raster.startup) {
    raster.open();
    raster.startup();
  } else {
    kv_Log_Printf("[Quadrix] - no rasterizer is installed: the 3D library draws nothing");
  }
  qxCore_bStarted = 1;
  return 1;
}

void qxCore_Shutdown(void) {
  if (qxCore_bStarted == 1) qxCore_bStarted = 0;
}

int qxCore_Open(int32_t accelLevel) {
  if (qxCore_bOpen) return 1;
  g_options.renderFlags = QXRENDER_BACKFACE_CULL;
  g_options.geometryMode = 5;
  g_options.lightingMode = 5;
  g_options.textureMode = 3;
  g_options.sortingMethod = 0;
  g_options.occlusionMethod = 0;
  g_options.cullFlags = QXCULL_MESHES;
  g_options.faceSortKey = 0;
  // The z-buffer method and the mip distances survive a close and reopen.
  stdPaletteFx_InitEffect(&g_colorEffect);
  g_options.batchOption = 0;
  qxCore_frameCount = 0;
  qxCore_ResetStats();
  qxCore_accelLevel = accelLevel;
  qxCore_bOpen = 1;
  return 1;
}

void qxCore_Close(void) {
  qxCore_bOpen = 0;
}

void qxCore_SetRenderFlags(int32_t v) {
  g_options.renderFlags = v;
}
int32_t qxCore_GetRenderFlags(void) {
  return g_options.renderFlags;
}
void qxCore_SetGeometryMode(int32_t v) {
  g_options.geometryMode = v;
}
int32_t qxCore_GetGeometryMode(void) {
  return g_options.geometryMode;
}
void qxCore_SetLightingMode(int32_t v) {
  g_options.lightingMode = v;
}
int32_t qxCore_GetLightingMode(void) {
  return g_options.lightingMode;
}
void qxCore_SetTextureMode(int32_t v) {
  g_options.textureMode = v;
}
int32_t qxCore_GetTextureMode(void) {
  return g_options.textureMode;
}
void qxCore_SetSortingMethod(int32_t v) {
  g_options.sortingMethod = v;
}
int32_t qxCore_GetSortingMethod(void) {
  return g_options.sortingMethod;
}
void qxCore_SetOcclusionMethod(int32_t v) {
  g_options.occlusionMethod = v;
}
int32_t qxCore_GetOcclusionMethod(void) {
  return g_options.occlusionMethod;
}
void qxCore_SetZBufferMethod(int32_t v) {
  g_options.zBufferMethod = v;
}
int32_t qxCore_GetZBufferMethod(void) {
  return g_options.zBufferMethod;
}
void qxCore_SetCullFlags(int32_t v) {
  g_options.cullFlags = v;
}
int32_t qxCore_GetCullFlags(void) {
  return g_options.cullFlags;
}
void qxCore_SetFaceSortKey(int32_t v) {
  g_options.faceSortKey = v;
}
int32_t qxCore_GetFaceSortKey(void) {
  return g_options.faceSortKey;
}
void qxCore_SetBatchOption(int32_t v) {
  g_options.batchOption = v;
}
int32_t qxCore_GetBatchOption(void) {
  return g_options.batchOption;
}

int qxCore_SetMipmapDistances(const float* distances) {
  for (int i = 0; i < 4; ++i) g_mipmapDistances[i] = distances[i];
  return 1;
}

const float* qxCore_GetMipmapDistances(void) {
  return g_mipmapDistances;
}

int qxCore_SetColorEffect(const PaletteEffectBody* effect) {
  g_colorEffect = *effect;
  return 1;
}

const PaletteEffectBody* qxCore_GetColorEffect(void) {
  return &g_colorEffect;
}

void qxCore_ResetStats(void) {
  qxCore_facesDrawn = 0;
  if (qxRasterizer_Calls().resetStats) qxRasterizer_Calls().resetStats();
  // The model module's per-frame drawing count joins here once models draw.
}

void qxCore_StartFrame(void) {
  qxCore_ResetStats();
  ++qxCore_frameCount;
  qxCamera_ClearCanvas();
  qxCore_BeginAcceleratedFrame();
}

void qxCore_FinishFrame(void) {
  qxCache_Flush();
  qxCore_EndAcceleratedFrame();
}

void qxCore_BeginAcceleratedFrame(void) {}

void qxCore_EndAcceleratedFrame(void) {}

void qxCore_CancelFrame(void) {}

void* qxCore_Alloc(size_t size, const char* module, int line) {
  if (!qxCore_pHS || !qxCore_pHS->memAlloc) return nullptr;
  return qxCore_pHS->memAlloc(size, module, line);
}

void qxCore_Free(void* pointer) {
  if (pointer && qxCore_pHS && qxCore_pHS->memFree) qxCore_pHS->memFree(pointer);
}
