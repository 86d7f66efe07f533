// Render targets: a colour target is a surface whose texture is attached to the
// context's framebuffer object (and can be sampled by later passes); a depth
// target (format 14) is a GL renderbuffer.
#pragma once

#include <cstdint>

struct kvSurface;

struct kvRenderTarget {
  int width;
  int height;
  uint32_t format;
  uint32_t renderbuffer;  // depth targets only
  kvSurface* surface;     // colour targets only
};

kvRenderTarget* kv_RenderTarget_Create(int width, int height, uint32_t format);
int kv_RenderTarget_Init(kvRenderTarget* target, int width, int height, uint32_t format);
void kv_RenderTarget_Free(kvRenderTarget* target);
kvSurface* kv_RenderTarget_GetSurface(kvRenderTarget* target);
void kv_RenderTarget_GetInfo(const kvRenderTarget* target, int* width, int* height,
                             uint32_t* format);
