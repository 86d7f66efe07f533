// The 2D layer of the OpenGL renderer: aspect fit, the virtual screen on which
// high-definition text and fills are laid out, render buckets (named lists of
// draw records collected during a frame and submitted together), the overlay's
// programs and fonts, the black fill and the presentation of a finished frame
// surface. The quads themselves are built by Quad.h.
//
// At frame phase 3 each active back end presents its frame surface; then the
// "hardware overlay" bucket and after it the "debug overlay" bucket are drawn
// and emptied, so overlays and text always cover the presented frames.
//
// Main thread only.
#pragma once

#include <cstdint>

struct DrawRecord;
struct HdFont;
struct kvRenderContext;
struct kvRenderTarget;
struct kvShader;
struct kvSurface;

// Aspect fit -----------------------------------------------------------------

// Fits a source of srcW x srcH into dstW x dstH: stretched (each axis its own
// scale, no offsets) or kept (the smaller scale on both axes, centred). A
// source point p lands at p x scale + offset. Every output may be null.
void kv_Platform_AspectFit(int stretch, uint32_t dstW, uint32_t dstH, uint32_t srcW, uint32_t srcH,
                           float* scaleX, float* scaleY, float* offsetX, float* offsetY);
// The same against a render target's size, and against the back buffer's
// colour target. With no target the outputs are scales 1 and offsets 0.
void kv_Platform_AspectFitToTarget(int stretch, const kvRenderTarget* target, uint32_t srcW,
                                   uint32_t srcH, float* scaleX, float* scaleY, float* offsetX,
                                   float* offsetY);
void kv_Platform_AspectFitToBackBuffer(int stretch, uint32_t srcW, uint32_t srcH, float* scaleX,
                                       float* scaleY, float* offsetX, float* offsetY);

// Virtual screen --------------------------------------------------------------
// The part of the 1920 x 1080 overlay screen that is shown, centred in it.

extern uint32_t VirtualScreenWidth;   // 1440 (4:3) or 1920 (16:9)
extern uint32_t VirtualScreenHeight;  // always 1080
extern int VirtualScreenIsWide;       // the aspect last set is above 1.7

// Width = aspect x 1080 (truncated). When the width changes, every font is
// baked again and every cached text layout dropped. A NaN, infinite or
// non-positive aspect is taken as 4:3 (logged).
void Overlay_SetVirtualScreenAspect(float aspect);
// The horizontal shift from overlay screen units to virtual screen units:
// (1920 - width) / 2, and 0 for widths of 1920 and more.
float Overlay_VirtualScreenShift(void);

// Render buckets ----------------------------------------------------------------

struct RenderBucket {
  const char* name;  // not copied: outlives the bucket
  DrawRecord* records;
  uint32_t count;
  uint32_t capacity;  // grows by half when full, never shrinks
};

// A new empty bucket; buckets live until the process ends. Null when memory runs out.
RenderBucket* RenderBucket_Create(const char* name);
// Appends a copy of the record (logged and dropped when the bucket cannot grow).
void RenderBucket_Add(RenderBucket* bucket, const DrawRecord* record);
// Submits the records present at the start, in order; a callback (may be
// null) sees and may change each record first. Records with no program are
// never submitted. With clear set the bucket is emptied afterwards.
void RenderBucket_Draw(RenderBucket* bucket, int clear, void (*callback)(DrawRecord*, void*),
                       void* userData);
void RenderBucket_Reset(RenderBucket* bucket);

// The hardware overlay -----------------------------------------------------------

extern RenderBucket* HardwareOverlayBucket;  // "hardware overlay"
extern RenderBucket* DebugOverlayBucket;     // "debug overlay"
extern kvShader* TextProgram;                // "text"
extern kvShader* TexturedQuadProgram;        // "textured_quad"
extern kvShader* ColorQuadProgram;           // "color_quad"
extern kvShader* TexturedGammaQuadProgram;   // "textured_gamma_quad"
extern HdFont* OverlayFont;                  // FontsHD/FuturaStd-Heavy.ttf at 44, at least 16 px
extern HdFont* DebugFont;                    // the same file at 1, at least 14 px

// Creates the two buckets, loads the four programs and the two fonts. Returns
// 1 when all of them exist; 0 when one failed (each failure is logged).
int HardwareOverlay_Init(void);
// An opaque black quad over the whole back buffer, into the hardware overlay.
void HardwareOverlay_FillBlack(void);
// Draws the surface over the context's current colour target at once, fitted
// (or stretched with the widescreen setting), blended when opacity < 0.999999.
void kv_Platform_PresentSurface(kvRenderContext* context, kvSurface* surface, float opacity);
