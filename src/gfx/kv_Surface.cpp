// Placeholder: not built yet (the render-context issue builds this module).
// No surface can be made, locked or swapped until it lands.
#include "gfx/kv_Surface.h"

#include "platform/kv_Log.h"

kvSurface* kv_Surface_Allocate(int width, int height, uint32_t format, int /*singleChannel*/) {
  kv_Log_Printf("kv_Surface_Allocate: surfaces are not built yet (w:%i h:%i f:%u)", width, height,
                format);
  return nullptr;
}

int kv_Surface_Lock(kvRenderContext* /*context*/, kvSurface* /*surface*/, void** pixels,
                    int* rowLength) {
  if (pixels) *pixels = nullptr;
  if (rowLength) *rowLength = 0;
  return 0;
}

int kv_Surface_Unlock(kvSurface* /*surface*/, void** /*pixels*/) {
  return 0;
}
void kv_Surface_Release(kvSurface* /*surface*/) {}
void kv_Surface_SwapContents(kvSurface* /*a*/, kvSurface* /*b*/) {}
