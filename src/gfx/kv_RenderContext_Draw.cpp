// The drawing half of the render context: setters, clears, target setup, the
// draw setup and the draw calls.
#include <GL/glew.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "gfx/kv_RenderContext.h"
#include "gfx/kv_RenderTarget.h"
#include "gfx/kv_Shader.h"
#include "gfx/kv_Surface.h"
#include "platform/kv_Log.h"
#include "platform/kv_Platform.h"

namespace {

kvIndexBuffer* g_listIndices = nullptr;
kvIndexBuffer* g_quadIndices = nullptr;

// Skipped draws are reported once per frame.
uint32_t g_lastReportFrame = UINT32_MAX;
bool ReportOncePerFrame(kvRenderContext*) {
  const uint32_t frame = kv_RenderContext_FrameSerial();
  if (frame == g_lastReportFrame) return false;
  g_lastReportFrame = frame;
  return true;
}

bool g_incompleteReported = false;

const char* const kTextureUniforms[kvMaxTextures] = {"ps_Texture0", "ps_Texture1", "ps_Texture2",
                                                     "ps_Texture3", "ps_Texture4", "ps_Texture5",
                                                     "ps_Texture6", "ps_Texture7"};

int ClampCount(int count, int limit) {
  return count < 0 ? 0 : (count > limit ? limit : count);
}

}  // namespace

// Tables ------------------------------------------------------------------------

uint32_t kv_DepthCompareFunction(int code) {
  static constexpr uint32_t kFunctions[] = {GL_ALWAYS, GL_LESS,   GL_LEQUAL,
                                            GL_EQUAL,  GL_GEQUAL, GL_GREATER};
  return code >= 0 && code <= 5 ? kFunctions[code] : GL_NEVER;
}

kvBlendParams kv_BlendModeParams(int mode) {
  switch (mode) {
    case 1:
      return {GL_FUNC_ADD, GL_FUNC_ADD, GL_ONE, GL_ONE, GL_ONE, GL_ONE};
    case 2:
      return {GL_MIN, GL_FUNC_ADD, GL_ONE, GL_ONE, GL_ONE, GL_ZERO};
    case 3:
      return {GL_MAX, GL_FUNC_ADD, GL_ONE, GL_ONE, GL_ONE, GL_ZERO};
    default:
      return {GL_FUNC_ADD, GL_FUNC_ADD, GL_ONE, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ZERO};
  }
}

uint32_t kv_SamplerMinFilter(int filter, int mipFilter, bool mipmapped) {
  if (!mipmapped) mipFilter = 0;
  if (filter < 0 || filter > 3) return GL_NEAREST;
  const bool linear = filter == 1 || filter == 3;
  switch (mipFilter) {
    case 0:
      return linear ? GL_LINEAR : GL_NEAREST;
    case 1:
      return linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    case 2:
      return linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
    default:
      return GL_NEAREST;
  }
}

uint32_t kv_SamplerMagFilter(int filter) {
  return filter == 0 ? GL_NEAREST : GL_LINEAR;
}

uint32_t kv_SamplerWrap(int wrap) {
  return wrap == 0 ? GL_REPEAT : (wrap == 1 ? GL_MIRRORED_REPEAT : GL_CLAMP_TO_EDGE);
}

void kv_GenerateIndices(int kind, uint16_t* out, int n) {
  if (kind == 19) {
    // Whole groups of six: each quad's four vertices make 0-1-2 and 1-2-3.
    int i = 0;
    for (int k = 0; i + 6 <= n; ++k, i += 6) {
      const int v = 4 * k;
      const uint16_t group[6] = {uint16_t(v),     uint16_t(v + 1), uint16_t(v + 2),
                                 uint16_t(v + 1), uint16_t(v + 2), uint16_t(v + 3)};
      std::memcpy(out + i, group, sizeof group);
    }
    for (; i < n; ++i) out[i] = 0;
  } else {
    for (int i = 0; i < n; ++i) out[i] = static_cast<uint16_t>(i);
  }
}

kvIndexPlan kv_PlanDrawWithoutIndices(int kind, int first, int count) {
  // The generated indices count from 0; the first vertex is the base vertex.
  if (kind == 19) return {first, 0, count / 4 * 6, true};  // whole quads only
  return {first, 0, count, false};
}

int kv_GeneratedIndexCapacity(int needed) {
  if (needed < 1) needed = 1;
  return (needed + 1023) / 1024 * 1024;
}

kvIndexBuffer* kv_RenderContext_GeneratedIndexBuffer(bool quads) {
  return quads ? g_quadIndices : g_listIndices;
}

// Setters -----------------------------------------------------------------------

void kv_RenderContext_SetProgram(kvRenderContext* context, kvShader* program) {
  if (context->program == program) return;
  context->program = program;
  context->programDirty = 1;
  context->texturesDirty = 1;
  context->samplersDirty = 1;
}

void kv_RenderContext_SetConstants(kvRenderContext* context, const kvConstantBlock* block,
                                   int stage) {
  const kvConstantBlock value = block ? *block : kvConstantBlock{0, nullptr, nullptr};
  if (stage == 1) context->vertexConstants = value;
  if (stage == 0) context->pixelConstants = value;
  context->programDirty = 1;
}

void kv_RenderContext_SetVertexBuffer(kvRenderContext* context, kvVertexBuffer* buffer) {
  context->vertexBuffer = buffer;
}

void kv_RenderContext_SetTextures(kvRenderContext* context, int count, kvSurface* const* surfaces) {
  count = surfaces ? ClampCount(count, kvMaxTextures) : 0;
  bool changed = context->textureCount != static_cast<uint32_t>(count);
  for (int i = 0; i < kvMaxTextures; ++i) {
    kvSurface* surface = i < count ? surfaces[i] : nullptr;
    if (surface) surface->bound = 1;
    if (context->textures[i] != surface) {
      context->textures[i] = surface;
      changed = true;
    }
  }
  context->textureCount = static_cast<uint32_t>(count);
  if (changed) {
    context->texturesDirty = 1;
    context->samplersDirty = 1;
  }
}

void kv_RenderContext_SetSamplers(kvRenderContext* context, int count,
                                  const kvSamplerState* states) {
  count = states ? ClampCount(count, kvMaxTextures) : 0;
  if (count == 0) return;
  if (std::memcmp(context->samplerStates, states, sizeof(kvSamplerState) * count) != 0) {
    context->samplersDirty = 1;
  }
  std::memcpy(context->samplerStates, states, sizeof(kvSamplerState) * count);
}

void kv_RenderContext_SetDepthState(kvRenderContext* context, int code, int write) {
  context->depthCompare = kv_DepthCompareFunction(code);
  context->depthWrite = write ? 1 : 0;
  context->depthDirty = 1;
}

int kv_RenderContext_SetRenderTarget(kvRenderContext* context, int index, kvRenderTarget* target) {
  if (index < 0 || index >= kvMaxColourTargets) return 0;
  if (const kvRenderContextTrace* trace = kv_RenderContext_GetTrace(); trace && trace->renderTarget) {
    trace->renderTarget(index, target);
  }
  if (index == 0) {
    if (target == context->mainTarget) return 0;
    context->mainTarget = target;
    context->scissorRequested = 0;
  }
  if (context->colourTargets[index] != target) {
    context->colourTargets[index] = target;
    context->targetsDirty = 1;
  }
  return 0;
}

void kv_RenderContext_SetDepthTarget(kvRenderContext* context, kvRenderTarget* target) {
  if (const kvRenderContextTrace* trace = kv_RenderContext_GetTrace(); trace && trace->depthTarget) {
    trace->depthTarget(target);
  }
  if (context->depthTarget == target) return;
  context->depthTarget = target;
  context->targetsDirty = 1;
}

void kv_RenderContext_GetRenderTargets(kvRenderContext* context, kvRenderTarget** main,
                                       kvRenderTarget** depth) {
  if (main) *main = context->mainTarget;
  if (depth) *depth = context->depthTarget;
}

// The scissor is only noted: no scissor test is ever enabled.
void kv_RenderContext_SetScissor(kvRenderContext* context, int, int, int, int) {
  context->scissorRequested = 1;
}
void kv_RenderContext_ClearScissor(kvRenderContext* context) {
  context->scissorRequested = 0;
}

void kv_RenderContext_SetClipRect(kvRenderContext* context, int x, int y, int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  const int rect[4] = {x, y, width, height};
  if (context->clipEnabled && std::memcmp(context->clipRect, rect, sizeof rect) == 0) return;
  kv_GL_SetDebugTag("set clip rectangle", "kv_RenderContext_SetClipRect", 502);
  if (!context->clipEnabled) glEnable(GL_SCISSOR_TEST);
  glScissor(x, y, width, height);
  kv_GL_CheckErrors();
  context->clipEnabled = 1;
  std::memcpy(context->clipRect, rect, sizeof rect);
}

void kv_RenderContext_ClearClipRect(kvRenderContext* context) {
  if (!context->clipEnabled) return;
  glDisable(GL_SCISSOR_TEST);
  context->clipEnabled = 0;
}

void kv_RenderContext_SetAlphaBlendEnabled(kvRenderContext*, int enabled, int mode) {
  kv_GL_SetDebugTag("set blend settings", "kv_RenderContext_SetAlphaBlendEnabled", 500);
  if (enabled) {
    const kvBlendParams p = kv_BlendModeParams(mode);
    glEnable(GL_BLEND);
    glBlendEquationSeparate(p.colourEquation, p.alphaEquation);
    glBlendFuncSeparate(p.srcColour, p.dstColour, p.srcAlpha, p.dstAlpha);
  } else {
    glDisable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ZERO);
  }
  kv_GL_CheckErrors();
}

void kv_RenderContext_SetSolidFillModeEnabled(kvRenderContext*, int solid, int cull) {
  kv_GL_SetDebugTag("set cull mode", "kv_RenderContext_SetSolidFillModeEnabled", 501);
  glPolygonMode(GL_FRONT_AND_BACK, solid ? GL_FILL : GL_LINE);
  if (cull == 0) {
    glDisable(GL_CULL_FACE);
  } else {
    glEnable(GL_CULL_FACE);
    glCullFace(cull == 1 ? GL_BACK : GL_FRONT);
  }
  kv_GL_CheckErrors();
}

void kv_RenderContext_SetCullMode(kvRenderContext* context, int cull) {
  kv_RenderContext_SetSolidFillModeEnabled(context, 1, cull);
}

void kv_RenderContext_SetColorMask(kvRenderContext*, int red, int green, int blue, int alpha) {
  glColorMask(red ? GL_TRUE : GL_FALSE, green ? GL_TRUE : GL_FALSE, blue ? GL_TRUE : GL_FALSE,
              alpha ? GL_TRUE : GL_FALSE);
}

void kv_RenderContext_ResetColorMask(kvRenderContext*) {
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
}

void kv_RenderContext_SetFlagStub(kvRenderContext*, int) {}

// Operations ----------------------------------------------------------------------

void kv_RenderContext_RenderTargetSetup(kvRenderContext* context) {
  context->targetsDirty = 0;
  kv_GL_SetDebugTag("glBindFramebuffer", "kv_RenderContext_RenderTargetSetup", 510);
  glBindFramebuffer(GL_FRAMEBUFFER, context->framebuffer);
  kv_GL_CheckErrors();
  GLenum drawBuffers[kvMaxColourTargets];
  int drawCount = 0;
  for (int i = 0; i < kvMaxColourTargets; ++i) {
    kv_GL_SetDebugTag("glFramebufferTexture2D", "kv_RenderContext_RenderTargetSetup", 511);
    const kvRenderTarget* target = context->colourTargets[i];
    const GLuint texture = target && target->surface ? target->surface->texture : 0;
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + i, GL_TEXTURE_2D, texture, 0);
    kv_GL_CheckErrors();
    if (texture) drawBuffers[drawCount++] = GL_COLOR_ATTACHMENT0 + i;
  }
  kv_GL_SetDebugTag("glFramebufferRenderbuffer", "kv_RenderContext_RenderTargetSetup", 512);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER,
                            context->depthTarget ? context->depthTarget->renderbuffer : 0);
  kv_GL_CheckErrors();
  if (drawCount > 0) {
    glDrawBuffers(drawCount, drawBuffers);
  } else {
    const GLenum none = GL_NONE;
    glDrawBuffers(1, &none);
  }
  const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
  if (status != GL_FRAMEBUFFER_COMPLETE) {
    if (!g_incompleteReported) {
      kv_Log_Printf("[OpenGL] Framebuffer incomplete: 0x%04x", status);
      g_incompleteReported = true;
    }
  } else {
    g_incompleteReported = false;
  }
  kv_GL_SetDebugTag("glViewport", "kv_RenderContext_RenderTargetSetup", 513);
  if (context->mainTarget) {
    glViewport(0, 0, context->mainTarget->width, context->mainTarget->height);
  }
  kv_GL_CheckErrors();
}

void kv_RenderContext_Clear(kvRenderContext* context, float red, float green, float blue,
                            float alpha, float depth) {
  if (const kvRenderContextTrace* trace = kv_RenderContext_GetTrace(); trace && trace->clear) {
    const float colour[4] = {red, green, blue, alpha};
    trace->clear(colour, depth);
  }
  kv_RenderContext_RenderTargetSetup(context);
  // A clear covers the whole target, whatever clip rectangle is in force.
  if (context->clipEnabled) glDisable(GL_SCISSOR_TEST);
  kv_GL_SetDebugTag("clear color targets", "kv_RenderContext_Clear", 520);
  const GLfloat colour[4] = {red, green, blue, alpha};
  // glClearBufferfv's index is the draw buffer's, which counts filled slots only.
  GLint drawBuffer = 0;
  for (int i = 0; i < kvMaxColourTargets; ++i) {
    const kvRenderTarget* target = context->colourTargets[i];
    if (!target || !target->surface) continue;
    glClearBufferfv(GL_COLOR, drawBuffer++, colour);
    kv_GL_CheckErrors();
  }
  if (context->depthTarget && context->depthWrite) {
    kv_GL_SetDebugTag("clear depth target", "kv_RenderContext_Clear", 521);
    glEnable(GL_DEPTH_TEST);
    kv_GL_CheckErrors();
    glDepthFunc(GL_ALWAYS);
    kv_GL_CheckErrors();
    glDepthMask(GL_TRUE);
    kv_GL_CheckErrors();
    glClearBufferfv(GL_DEPTH, 0, &depth);
    kv_GL_CheckErrors();
    context->depthDirty = 1;
  }
  if (context->clipEnabled) glEnable(GL_SCISSOR_TEST);
}

void applySamplerState(const kvSurface* surface, uint32_t sampler, const kvSamplerState* state) {
  kv_GL_SetDebugTag("set sampler state", "applySamplerState", 530);
  const GLint wrap = static_cast<GLint>(kv_SamplerWrap(state->wrap));
  glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, wrap);
  glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, wrap);
  glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER,
                      static_cast<GLint>(kv_SamplerMagFilter(state->filter)));
  glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER,
                      static_cast<GLint>(kv_SamplerMinFilter(state->filter, state->mipFilter,
                                                             surface && surface->mipmapped)));
  kv_GL_CheckErrors();
}

void bindTextures(kvRenderContext* context) {
  kv_GL_SetDebugTag("bind textures", "bindTextures", 540);
  const bool texturesDirty = context->texturesDirty != 0;
  const bool samplersDirty = context->samplersDirty != 0;
  kvShader* program = context->program;
  if (texturesDirty && program) {
    // glProgramUniform1i is beyond 3.3: the draw setup has the program in use.
    for (int i = 0; i < kvMaxTextures; ++i) {
      const int location = kv_Shader_GetUniformLocation(program, kTextureUniforms[i]);
      if (location >= 0) glUniform1i(location, i);
      kv_GL_CheckErrors();
    }
  }
  kv_GL_SetDebugTag("bind samplers", "bindTextures", 541);
  const int count = ClampCount(static_cast<int>(context->textureCount), kvMaxTextures);
  for (int i = 0; i < kvMaxTextures; ++i) {
    kvSurface* surface = i < count ? context->textures[i] : nullptr;
    if (texturesDirty) {
      glActiveTexture(GL_TEXTURE0 + i);
      if (surface) {
        if (surface->needsUpload && !surface->owner && surface->pixels) {
          kv_Surface_Upload(surface, surface->pixels);
        } else {
          glBindTexture(GL_TEXTURE_2D, surface->texture);
        }
        surface->needsUpload = 0;
      } else {
        glBindTexture(GL_TEXTURE_2D, 0);
      }
    }
    if (surface) {
      if (samplersDirty) {
        applySamplerState(surface, context->samplers[i], &context->samplerStates[i]);
      }
      glBindSampler(static_cast<GLuint>(i), context->samplers[i]);
      kv_GL_CheckErrors();
    }
  }
  if (texturesDirty) {
    glActiveTexture(GL_TEXTURE0);
    kv_GL_CheckErrors();
  }
  context->texturesDirty = 0;
  context->samplersDirty = 0;
}

bool kv_RenderContext_DrawSetup(kvRenderContext* context, kvIndexBuffer* indexBuffer) {
  // What the draw needs must exist: a program, vertex data, index data and the
  // data of every constant block (a full ring leaves them without).
  const char* missing = nullptr;
  kvVertexBuffer* vertices = context->vertexBuffer;
  if (!context->program) {
    missing = "no shader program";
  } else if (!vertices || !vertices->data) {
    missing = "no vertex data";
  } else if (!indexBuffer || !indexBuffer->data) {
    missing = "no index data";
  } else if (!kv_ConstantBlock_IsUsable(context->vertexConstants) ||
             !kv_ConstantBlock_IsUsable(context->pixelConstants)) {
    missing = "no constant data";
  } else if (!context->frameData) {
    missing = "no frame data";
  }
  if (missing) {
    if (ReportOncePerFrame(context)) {
      kv_Log_Printf("[OpenGL] Draw skipped: %s (program '%s')", missing,
                    context->program ? context->program->name : "");
    }
    return false;
  }
  kvFrameData* frame = context->frameData;
  if (context->targetsDirty) kv_RenderContext_RenderTargetSetup(context);

  kv_GL_SetDebugTag("flush vertex data", "kv_RenderContext_DrawSetup", 550);
  if (vertices->ownsGLBuffer) {
    flushBufferToGpu(vertices);
  } else {
    flushBufferToGpu(&frame->vertexRing, GL_ARRAY_BUFFER, frame->frameVertexBuffer->glBuffer,
                     &frame->vertexBytesFlushed);
  }
  kv_GL_CheckErrors();
  kv_GL_SetDebugTag("flush index data", "kv_RenderContext_DrawSetup", 551);
  if (indexBuffer->ownsGLBuffer) {
    flushBufferToGpu(indexBuffer);
  } else {
    flushBufferToGpu(&frame->indexRing, GL_ELEMENT_ARRAY_BUFFER, frame->frameIndexBuffer->glBuffer,
                     &frame->indexBytesFlushed);
  }
  kv_GL_CheckErrors();

  applyVertexBindingsForShader(context, context->program, vertices);
  bindUniformBlock(context->program->program, "VSConstants", frame, &context->vertexConstants, 0);
  bindUniformBlock(context->program->program, "PSConstants", frame, &context->pixelConstants, 1);

  kv_GL_SetDebugTag("glUseProgram", "kv_RenderContext_DrawSetup", 552);
  glUseProgram(context->program->program);
  kv_GL_CheckErrors();
  if (context->texturesDirty || context->samplersDirty) bindTextures(context);

#ifndef NDEBUG
  // A heavy driver call: debug builds only.
  kv_GL_SetDebugTag("glValidateProgram", "kv_RenderContext_DrawSetup", 553);
  glValidateProgram(context->program->program);
  kv_GL_CheckErrors();
  GLint valid = GL_TRUE;
  glGetProgramiv(context->program->program, GL_VALIDATE_STATUS, &valid);
  if (!valid) {
    char log[1024];
    GLsizei length = 0;
    glGetProgramInfoLog(context->program->program, sizeof log, &length, log);
    if (length > 2) std::fputs(log, stderr);
  }
  kv_GL_CheckErrors();
#endif

  if (context->depthDirty) {
    kv_GL_SetDebugTag("set depth state", "kv_RenderContext_DrawSetup", 554);
    glEnable(GL_DEPTH_TEST);
    kv_GL_CheckErrors();
    glDepthFunc(context->depthCompare);
    kv_GL_CheckErrors();
    glDepthMask(context->depthWrite ? GL_TRUE : GL_FALSE);
    kv_GL_CheckErrors();
  }
  context->programDirty = 0;
  context->depthDirty = 0;
  return true;
}

void kv_RenderContext_DrawIndexedPrimitives(kvRenderContext* context, int,
                                            kvIndexBuffer* indexBuffer, int baseVertex, int count) {
  if (indexBuffer && count == -2) count = indexBuffer->indexCount;  // the whole buffer
  if (count <= 0) return;
  if (!kv_RenderContext_DrawSetup(context, indexBuffer)) return;
  // Never read past the buffer's indices.
  const size_t limit = indexBuffer->ownsGLBuffer ? indexBuffer->capacity / 2
                                                 : static_cast<size_t>(indexBuffer->indexCount);
  if (static_cast<size_t>(count) > limit) count = static_cast<int>(limit);
  if (count <= 0) return;
  if (const kvRenderContextTrace* trace = kv_RenderContext_GetTrace(); trace && trace->draw) {
    trace->draw(context->program);
  }
  ptrdiff_t offset = 0;
  if (!indexBuffer->ownsGLBuffer) {
    offset = reinterpret_cast<uint8_t*>(indexBuffer->data) - context->frameData->indexRing.base;
  }
  kv_GL_SetDebugTag("glDrawElementsBaseVertex", "kv_RenderContext_DrawIndexedPrimitives", 560);
  glDrawElementsBaseVertex(GL_TRIANGLES, count, GL_UNSIGNED_SHORT,
                           reinterpret_cast<const void*>(offset), baseVertex);
  kv_GL_CheckErrors();
}

void kv_RenderContext_DrawPrimitives(kvRenderContext* context, int kind, int first, int count) {
  if (count == 0) return;
  if (count == -2) {
    const kvVertexBuffer* vertices = context->vertexBuffer;
    const int total = vertices && vertices->attributes && !vertices->attributes->empty()
                          ? (*vertices->attributes)[0]->vertexCount
                          : 0;
    count = total - first;
  }
  if (count <= 0 || first < 0) return;
  const kvIndexPlan plan = kv_PlanDrawWithoutIndices(kind, first, count);
  if (plan.indexCount <= 0) return;
  const int needed = plan.indexStart + plan.indexCount;
  // Generated indices are 16-bit: a list reaches vertex 65535, quads vertex 65535 too.
  const int maxNeeded = plan.quads ? 65536 / 4 * 6 : 65536;
  if (needed > maxNeeded) {
    if (ReportOncePerFrame(context)) {
      kv_Log_Printf("[OpenGL] Draw skipped: %i vertices are beyond 16-bit indices", count);
    }
    return;
  }
  kvIndexBuffer*& buffer = plan.quads ? g_quadIndices : g_listIndices;
  if (!buffer || buffer->indexCount < needed) {
    if (buffer) kv_IndexBuffer_Release(buffer);
    const int n = kv_GeneratedIndexCapacity(needed);
    buffer = kv_IndexBuffer_Allocate(n, 0);
    if (!buffer) return;
    kv_GenerateIndices(kind, kv_IndexBuffer_Lock(buffer), n);
    kv_IndexBuffer_Unlock(buffer);  // uploaded at its first draw
  }
  kv_RenderContext_DrawIndexedPrimitives(context, kind, buffer, plan.baseVertex, plan.indexCount);
}

void kv_RenderContext_SubmitDraw(const DrawRecord* record) {
  if (!record) return;
  kvRenderContext* context = kv_RenderContext_Get();
  kv_RenderContext_SetProgram(context, record->program);
  kv_RenderContext_SetConstants(context, &record->vertexConstants, 1);
  kv_RenderContext_SetConstants(context, &record->pixelConstants, 0);
  kv_RenderContext_SetVertexBuffer(context, record->vertexBuffer);
  kv_RenderContext_SetTextures(context, record->textureCount, record->textures);
  kv_RenderContext_SetSamplers(context, record->samplerCount, record->samplerStates);
  kv_RenderContext_SetAlphaBlendEnabled(context, record->blendEnabled, record->blendMode);
  kv_RenderContext_SetDepthState(context, record->depthCompare, record->depthWrite);
  if (record->scissorFlag) {
    kv_RenderContext_SetScissor(context, record->scissorRect[0], record->scissorRect[1],
                                record->scissorRect[2], record->scissorRect[3]);
  } else {
    kv_RenderContext_ClearScissor(context);
  }
  if (record->indexBuffer) {
    kv_RenderContext_DrawIndexedPrimitives(context, record->primitiveKind, record->indexBuffer,
                                           record->first, record->count);
  } else {
    kv_RenderContext_DrawPrimitives(context, record->primitiveKind, record->first, record->count);
  }
}

void kv_Color_UnpackRGB(uint32_t packed, float* out, float factor) {
  if (!out) return;
  out[0] = static_cast<float>(packed & 0xFF) / 255.0f * factor;
  out[1] = static_cast<float>((packed >> 8) & 0xFF) / 255.0f * factor;
  out[2] = static_cast<float>((packed >> 16) & 0xFF) / 255.0f * factor;
  out[3] = factor;
}
