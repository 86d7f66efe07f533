// The render module: dirty rectangles, iris, present and the world view. Not built yet
// (placeholder).
#include "presentation/drevRender.h"

#include "platform/kv_Log.h"

int drevRender_Initialize(HostServices*, ModuleDescriptor*) {
  return 0;
}
void drevRender_DrawFrame(void) {}
void drevRender_Present(void) {}
void drevRender_SetPresentHook(int (*)(void)) {}
void drevRender_SetPaletteHook(int (*)(const uint8_t*, int)) {}
void drevRender_DrawIris(float, int, int) {}
void drevRender_CreateCameraActor(void) {}
void drevRender_FreeBuffers(void) {}
void drevRender_InvalidateRect(const int*, int) {}
void drevRender_SelectSetupCamera(Room*, int) {}
void drevRender_SetWaitTimerEnabled(int) {}
void drevRender_TickWaitTimer(void) {}

DisplayBuffer* drevRender_pDisplayRaster = nullptr;
DisplayBuffer* drevRender_pCleanZBuffer = nullptr;

// The scripts' resolution scaling starts at 2.0 (the deferred renderer's
// factor 1.0); nothing changes it until the render module is built.
float drevRender_GetResolutionScaling(void) {
  return 2.0f;
}
int drevRender_InMovieMode(void) {
  return 0;
}

// Not built yet: the gamma the scripts set is not stored anywhere.
float drevRender_GetGamma(void) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    kv_Log_Printf("[Render] - drevRender_GetGamma: the render module is not built yet; gamma 1.0");
  }
  return 1.0f;
}

DisplayBuffer* drevRender_pDecompressionBuffer = nullptr;

void drevRender_InvalidateRectAllBuffers(const int*, int) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    kv_Log_Printf("[Render] - drevRender_InvalidateRectAllBuffers: not built yet");
  }
}

void drevRender_PrepareBackground(DisplayBuffer*) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    kv_Log_Printf("[Render] - drevRender_PrepareBackground: not built yet");
  }
}

// Not built yet: the render module keeps no dirty-rectangle flush to switch.
void drevRender_SetDirtyFlushEnabled(int) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    kv_Log_Printf("[Render] - drevRender_SetDirtyFlushEnabled: not built yet");
  }
}

// Not built yet: the render module draws no background to switch.
void drevRender_SetBackgroundEnabled(int, int) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    kv_Log_Printf("[Render] - drevRender_SetBackgroundEnabled: not built yet");
  }
}

// Not built yet: picking reads the clean depth buffer, which the render module
// keeps; until it exists no world point is found.
int drevRender_PickWorldPoint(int, int, qxVector3*) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    kv_Log_Printf("[Render] - drevRender_PickWorldPoint: not built yet; no world point is found");
  }
  return 0;
}

// Not built yet: nothing is drawn.
void drevRender_DrawProgressBar(float) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    kv_Log_Printf("[Render] - drevRender_DrawProgressBar: not built yet");
  }
}

// Not built yet: the setup is not prepared for drawing.
void drevRender_PrepareSetup(Room*, int) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    kv_Log_Printf("[Render] - drevRender_PrepareSetup: not built yet");
  }
}
