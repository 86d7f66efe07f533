// The render context over OpenGL.
// Placeholder: not built yet (the render-context issue builds this module);
// only the calls the display layer and the software back end need are here.
#pragma once

struct kvRenderContext;

kvRenderContext* kv_RenderContext_Get(void);
int kv_Platform_EndFrame(void);
void kv_Platform_DrawDebugText(const char* text, int x, int y);
void kv_RenderContext_Clear(kvRenderContext* context, float red, float green, float blue,
                            float alpha, float depth);
void kv_RenderContext_PushMarker(kvRenderContext* context, const char* text);
void kv_RenderContext_PopMarker(kvRenderContext* context);
