// The render context over OpenGL 3.3.
//
// Not built yet: this file holds only what the window and the main loop need
// until the render context lands (it replaces this file): start-up through
// GLEW, a frame that clears the window and swaps, the resize entry and the
// GL debug tag that the crash guard reports.
#pragma once

bool kv_Platform_InitGFX(void);
int kv_Platform_BeginFrame(void);
int kv_Platform_EndFrame(void);
void kv_Platform_OnWindowResized(void);
// Called by the engine core after it freed every resource.
void kv_Platform_OnResourcesReleased(void);
// The current GL debug tag: context text, function name and line (-1 = none).
void kv_GL_GetDebugTag(const char** context, const char** function, int* line);

// Also not built yet: what the display layer and the software back end call.
struct kvRenderContext;
kvRenderContext* kv_RenderContext_Get(void);
void kv_Platform_DrawDebugText(const char* text, int x, int y);
void kv_RenderContext_Clear(kvRenderContext* context, float red, float green, float blue,
                            float alpha, float depth);
void kv_RenderContext_PushMarker(kvRenderContext* context, const char* text);
void kv_RenderContext_PopMarker(kvRenderContext* context);
