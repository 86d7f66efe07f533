// Placeholder: not built yet (the hardware renderer builds this module). No
// hardware back end registers, nothing is presented and no bucket exists.
#include "render/HardwareOverlay.h"

#include "platform/kv_Log.h"

RenderBucket* HardwareOverlayBucket = nullptr;
RenderBucket* DebugOverlayBucket = nullptr;

void RenderBucket_Draw(RenderBucket* /*bucket*/, int /*clear*/, void (* /*callback*/)(void*),
                       void* /*userData*/) {}

void kv_Platform_PresentSurface(kvRenderContext* /*context*/, kvSurface* /*surface*/,
                                float /*opacity*/) {}

RenderHookTable* InitHardwareBackend(void) {
  kv_Log_Printf("Initializing hardware renderer...");
  kv_Log_Printf("The hardware renderer is not built yet; no hardware back end is registered.");
  return nullptr;
}
