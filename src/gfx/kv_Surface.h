// Surfaces of the render context.
// Placeholder: not built yet (the render-context issue builds this module);
// only the calls the display layer needs are declared here.
#pragma once

#include <cstdint>

struct kvSurface;
struct kvRenderContext;

kvSurface* kv_Surface_Allocate(int width, int height, uint32_t format, int singleChannel);
int kv_Surface_Lock(kvRenderContext* context, kvSurface* surface, void** pixels, int* rowLength);
int kv_Surface_Unlock(kvSurface* surface, void** pixels);
void kv_Surface_Release(kvSurface* surface);
void kv_Surface_SwapContents(kvSurface* a, kvSurface* b);
