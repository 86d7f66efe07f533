// The hardware back end's overlay: draw buckets, surface presentation and the
// back end's registration.
// Placeholder: not built yet (the hardware renderer builds this module); only
// what the software back end and the render-hook registry need is here.
#pragma once

struct RenderBucket;
struct RenderHookTable;
struct kvRenderContext;
struct kvSurface;

extern RenderBucket* HardwareOverlayBucket;
extern RenderBucket* DebugOverlayBucket;

void RenderBucket_Draw(RenderBucket* bucket, int clear, void (*callback)(void*), void* userData);
void kv_Platform_PresentSurface(kvRenderContext* context, kvSurface* surface, float opacity);
// Sets up the overlay and registers the hardware back end's table; returns it.
RenderHookTable* InitHardwareBackend(void);
