// Placeholder: not built yet (the hardware renderer builds this module). No
// deferred back end registers.
#include "render/Deferred.h"

#include "platform/kv_Log.h"

float Deferred_ClearColour[4] = {0.0f, 0.0f, 0.0f, 0.0f};

RenderHookTable* InitDeferredBackend(void) {
  kv_Log_Printf("Initializing deferred renderer...");
  kv_Log_Printf("The deferred renderer is not built yet; no deferred back end is registered.");
  return nullptr;
}
