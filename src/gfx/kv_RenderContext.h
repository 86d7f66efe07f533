// The render context: the one OpenGL 3.3 core context's start-up, its state
// record, the back buffers every frame draws into, the frame bracket, the GL
// error reporting (with the platform's debug tag naming the step in progress,
// kv_GL_SetDebugTag, which the crash report reads too), and the drawing half:
// state setters that record what the next draw needs, clears, render-target
// setup, the draw setup that brings GL in line with the record, and draw
// submission. Main thread only.
//
// Setters only store values and raise dirty flags; the draw setup applies only
// what is dirty. Blend, fill, cull and colour mask go to GL at once.
#pragma once

#include <cstdint>

#include "gfx/kv_Buffer.h"

struct kvRenderTarget;
struct kvShader;
struct kvSurface;

struct kvSamplerState {
  int wrap;       // 0 repeat, 1 mirrored repeat, other clamp to edge
  int reserved;   // compared when samplers are set, never applied
  int filter;     // 0-3
  int mipFilter;  // 0 none, 1 nearest level, 2 linear between levels
};

constexpr int kvMaxTextures = 8;
constexpr int kvMaxColourTargets = 8;

struct kvRenderContext {
  int scissorRequested;
  kvRenderTarget* mainTarget;
  kvRenderTarget* depthTarget;
  kvVertexBuffer* vertexBuffer;
  kvFrameData* frameData;
  uint32_t framebuffer;
  uint32_t samplers[kvMaxTextures];
  kvShader* program;
  kvConstantBlock vertexConstants;
  kvConstantBlock pixelConstants;
  uint32_t textureCount;
  kvSurface* textures[kvMaxTextures];
  kvSamplerState samplerStates[kvMaxTextures];
  kvRenderTarget* colourTargets[kvMaxColourTargets];
  uint32_t depthCompare;
  uint8_t depthWrite;
  uint8_t texturesDirty;
  uint8_t samplersDirty;
  uint8_t targetsDirty;
  uint8_t programDirty;
  uint8_t depthDirty;
  int enabledAttributeCount;  // 0 = ask GL for the maximum
  int clipEnabled;            // kv_RenderContext_SetClipRect is in force
  int clipRect[4];            // x, y, width, height
};

// A complete draw, as the hardware renderer keeps them in its buckets.
struct DrawRecord {
  int primitiveKind;  // 4 or 5 triangle list, 19 quad list
  kvShader* program;
  kvConstantBlock vertexConstants;
  kvConstantBlock pixelConstants;
  int depthCompare;
  int depthWrite;
  int blendEnabled;
  int blendMode;
  int textureCount;
  kvSurface* textures[kvMaxTextures];
  int samplerCount;
  kvSamplerState samplerStates[kvMaxTextures];
  int count;  // indices or vertices; -2 = everything
  int first;  // base vertex (indexed) or first vertex
  kvVertexBuffer* vertexBuffer;
  kvIndexBuffer* indexBuffer;  // null = draw without indices
  int scissorFlag;
  int scissorRect[4];
};

kvRenderContext* kv_RenderContext_Get(void);

// Start-up and frame --------------------------------------------------------
bool kv_Platform_InitGFX(void);
bool CheckOpenGLRequirements(void);
// The version rule of the capability check: 3.3 or later; logs
// "[OpenGL] Unsupported OpenGL version: %i.%i" otherwise.
bool kv_GL_CheckVersion(int major, int minor);
void allocateDefaultBuffers(void);
int kv_Platform_BeginFrame(void);
int kv_Platform_EndFrame(void);
void kv_Platform_GetBackBuffer(kvRenderTarget** colour, kvRenderTarget** depth);
void kv_Platform_GetDisplaySize(int* width, int* height);
void kv_Platform_GetPixelToClipScale(float* x, float* y);
int kv_RenderContext_IsInitialised(void);
// Counts frame begins (for once-per-frame reports).
uint32_t kv_RenderContext_FrameSerial(void);

void kv_GL_CheckErrors(void);
// GL error names (what GLU's error strings would say).
const char* kv_GL_ErrorString(uint32_t code);

void kv_RenderContext_PushMarker(kvRenderContext* context, const char* text);
void kv_RenderContext_PopMarker(kvRenderContext* context);
void kv_Platform_OnResourcesReleased(void);
void kv_Platform_DrawDebugText(const char* text, int x, int y);
int kv_Platform_DebugStub(void);

// What the render context asks of the modules above it. The table starts
// empty (no movie mode, no fonts to lay out again); the program installs the
// render module's movie-mode flag and the high-definition fonts' relayout.
struct kvRenderContextCalls {
  int (*inMovieMode)(void);     // 1 while a cutscene owns the screen
  void (*relayoutFonts)(void);  // after the display changed
};
// Copies the table in (null empties it).
void kv_RenderContext_SetCalls(const kvRenderContextCalls* calls);

// Test seams: where movie mode is asked (null: the installed table's row) and
// what swap interval was asked for last.
void kv_RenderContext_SetMovieModeQueryForTest(int (*query)(void));
int kv_RenderContext_LastSwapIntervalForTest(void);

// A test's record of what a frame does on the context: when a trace is set,
// each of its filled slots is called for every debug marker, colour or depth
// target binding, clear and draw that reaches GL (with the program drawn).
// Null removes it. The context works as it does without a trace.
struct kvRenderContextTrace {
  void (*marker)(const char* text);
  void (*renderTarget)(int index, kvRenderTarget* target);
  void (*depthTarget)(kvRenderTarget* target);
  void (*clear)(const float colour[4], float depth);
  void (*draw)(const kvShader* program);
};
void kv_RenderContext_SetTraceForTest(const kvRenderContextTrace* trace);
// The trace in use, or null.
const kvRenderContextTrace* kv_RenderContext_GetTrace(void);

// State setters -------------------------------------------------------------
void kv_RenderContext_SetProgram(kvRenderContext* context, kvShader* program);
void kv_RenderContext_SetConstants(kvRenderContext* context, const kvConstantBlock* block,
                                   int stage);
void kv_RenderContext_SetVertexBuffer(kvRenderContext* context, kvVertexBuffer* buffer);
void kv_RenderContext_SetTextures(kvRenderContext* context, int count, kvSurface* const* surfaces);
void kv_RenderContext_SetSamplers(kvRenderContext* context, int count,
                                  const kvSamplerState* states);
void kv_RenderContext_SetDepthState(kvRenderContext* context, int code, int write);
int kv_RenderContext_SetRenderTarget(kvRenderContext* context, int index, kvRenderTarget* target);
void kv_RenderContext_SetDepthTarget(kvRenderContext* context, kvRenderTarget* target);
void kv_RenderContext_GetRenderTargets(kvRenderContext* context, kvRenderTarget** main,
                                       kvRenderTarget** depth);
void kv_RenderContext_SetScissor(kvRenderContext* context, int x, int y, int width, int height);
void kv_RenderContext_ClearScissor(kvRenderContext* context);
// A rectangle that, unlike the scissor note above, GL applies: the draws
// that follow touch only the pixels x..x+width-1, y..y+height-1 of the
// bound targets (GL window coordinates, origin at the bottom left) until
// kv_RenderContext_ClearClipRect. Clears are never limited by it; every
// frame begins and ends without one.
void kv_RenderContext_SetClipRect(kvRenderContext* context, int x, int y, int width, int height);
void kv_RenderContext_ClearClipRect(kvRenderContext* context);
void kv_RenderContext_SetAlphaBlendEnabled(kvRenderContext* context, int enabled, int mode);
void kv_RenderContext_SetSolidFillModeEnabled(kvRenderContext* context, int solid, int cull);
void kv_RenderContext_SetCullMode(kvRenderContext* context, int cull);
void kv_RenderContext_SetColorMask(kvRenderContext* context, int red, int green, int blue,
                                   int alpha);
void kv_RenderContext_ResetColorMask(kvRenderContext* context);
void kv_RenderContext_SetFlagStub(kvRenderContext* context, int flag);

// Operations ----------------------------------------------------------------
void kv_RenderContext_Clear(kvRenderContext* context, float red, float green, float blue,
                            float alpha, float depth);
void kv_RenderContext_RenderTargetSetup(kvRenderContext* context);
// Returns false when the draw must be skipped (no program, or vertex, index or
// constant data missing); logged once per frame.
bool kv_RenderContext_DrawSetup(kvRenderContext* context, kvIndexBuffer* indexBuffer);
void kv_RenderContext_DrawIndexedPrimitives(kvRenderContext* context, int kind,
                                            kvIndexBuffer* indexBuffer, int baseVertex, int count);
void kv_RenderContext_DrawPrimitives(kvRenderContext* context, int kind, int first, int count);
void kv_RenderContext_SubmitDraw(const DrawRecord* record);
void bindTextures(kvRenderContext* context);
void applySamplerState(const kvSurface* surface, uint32_t sampler, const kvSamplerState* state);
void kv_Color_UnpackRGB(uint32_t packed, float* out, float factor);

// Tables of the draw state (pure) --------------------------------------------
uint32_t kv_DepthCompareFunction(int code);
struct kvBlendParams {
  uint32_t colourEquation, alphaEquation;
  uint32_t srcColour, dstColour, srcAlpha, dstAlpha;
};
kvBlendParams kv_BlendModeParams(int mode);
uint32_t kv_SamplerMinFilter(int filter, int mipFilter, bool mipmapped);
uint32_t kv_SamplerMagFilter(int filter);
uint32_t kv_SamplerWrap(int wrap);
// Fills n generated indices for kind 19 (quads) or any other kind (list).
void kv_GenerateIndices(int kind, uint16_t* out, int n);
// What a draw without indices uses of the generated buffers.
struct kvIndexPlan {
  int baseVertex;
  int indexStart;
  int indexCount;
  bool quads;
};
kvIndexPlan kv_PlanDrawWithoutIndices(int kind, int first, int count);
// The generated buffer's size for a need: whole blocks of 1024 indices.
int kv_GeneratedIndexCapacity(int needed);
// The generated index buffers the context keeps (list, quads), for tests.
kvIndexBuffer* kv_RenderContext_GeneratedIndexBuffer(bool quads);
