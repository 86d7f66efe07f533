// Placeholder: not built yet (the render-context issue builds this module).
// There is no context: nothing is drawn, cleared or presented.
#include "gfx/kv_RenderContext.h"

kvRenderContext* kv_RenderContext_Get(void) {
  return nullptr;
}
int kv_Platform_EndFrame(void) {
  return 0;
}
void kv_Platform_DrawDebugText(const char* /*text*/, int /*x*/, int /*y*/) {}
void kv_RenderContext_Clear(kvRenderContext* /*context*/, float /*red*/, float /*green*/,
                            float /*blue*/, float /*alpha*/, float /*depth*/) {}
void kv_RenderContext_PushMarker(kvRenderContext* /*context*/, const char* /*text*/) {}
void kv_RenderContext_PopMarker(kvRenderContext* /*context*/) {}
