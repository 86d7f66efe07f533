// The reference pass of the deferred benchmarks: the resolve target copied
// to the final one by a full-screen quad with the "copy" program, the
// cheapest full-screen pass the back end has (one texture read and one write
// per pixel), at whatever size the targets have.
#pragma once

#include "gfx/kv_Buffer.h"
#include "gfx/kv_RenderContext.h"
#include "render/Deferred.h"

inline void DeferredBench_CopyPass(void) {
  kvRenderContext* context = kv_RenderContext_Get();
  const kvSamplerState linear = {2, 0, 1, 0};
  const kvConstantBlock none = {0, nullptr, nullptr};
  kv_RenderContext_SetTextures(context, 1, &ResolveTarget.surface);
  kv_RenderContext_SetSamplers(context, 1, &linear);
  kv_RenderContext_SetDepthState(context, 0, 0);
  kv_RenderContext_SetAlphaBlendEnabled(context, 0, 0);
  kv_RenderContext_SetProgram(context, Deferred_GetProgram(DeferredProgram_Copy));
  kv_RenderContext_SetConstants(context, &none, 1);
  kv_RenderContext_SetConstants(context, &none, 0);
  Deferred_BindTarget(context, FinalTarget, nullptr);
  Deferred_DrawFullScreenQuad(0);
}
