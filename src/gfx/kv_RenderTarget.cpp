#include "gfx/kv_RenderTarget.h"

#include <GL/glew.h>

#include <cstdlib>

#include "gfx/kv_RenderContext.h"
#include "gfx/kv_Surface.h"
#include "platform/kv_Log.h"
#include "platform/kv_Platform.h"

kvRenderTarget* kv_RenderTarget_Create(int width, int height, uint32_t format) {
  auto* target = static_cast<kvRenderTarget*>(std::calloc(1, sizeof(kvRenderTarget)));
  if (!target || !kv_RenderTarget_Init(target, width, height, format)) {
    kv_Log_Printf("Unable to create render-target: w:%i h:%i f:%s", width, height,
                  kv_Surface_GetFormatName(format));
    std::free(target);
    return nullptr;
  }
  return target;
}

int kv_RenderTarget_Init(kvRenderTarget* target, int width, int height, uint32_t format) {
  if (!target || width < 1 || height < 1) return 0;
  target->width = width;
  target->height = height;
  target->format = format;
  if (format == kvFormat_Depth) {
    kv_GL_SetDebugTag("create depth buffer", "kv_RenderTarget_Init", 300);
    kv_GL_CheckErrors();  // what came before is reported under its own tag
    glGenRenderbuffers(1, &target->renderbuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, target->renderbuffer);
    kv_GL_CheckErrors();
    // Sized 24-bit depth, like the window's depth buffer.
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    const GLenum error = glGetError();
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    if (error != GL_NO_ERROR) {
      kv_Log_Printf("GL error: %s (Context: %s | Function: %s | Line: %i))",
                    kv_GL_ErrorString(error), "create depth buffer", "kv_RenderTarget_Init", 301);
      glDeleteRenderbuffers(1, &target->renderbuffer);
      target->renderbuffer = 0;
      return 0;
    }
    return 1;
  }
  // Nothing ever locks a target's surface: it gets no CPU copy.
  target->surface = kv_Surface_AllocateForTarget(width, height, format);
  if (!target->surface) return 0;
  target->surface->owner = target;
  return 1;
}

void kv_RenderTarget_Free(kvRenderTarget* target) {
  if (!target) return;
  kvRenderContext* context = kv_RenderContext_Get();
  // The record must not keep a freed target bound.
  for (auto& slot : context->colourTargets) {
    if (slot == target) {
      slot = nullptr;
      context->targetsDirty = 1;
    }
  }
  if (context->mainTarget == target) context->mainTarget = nullptr;
  if (context->depthTarget == target) {
    context->depthTarget = nullptr;
    context->targetsDirty = 1;
  }
  kvSurface* surface = target->surface;
  target->surface = nullptr;
  if (surface) {
    surface->owner = nullptr;
    kv_Surface_Release(surface);
  }
  if (target->renderbuffer) glDeleteRenderbuffers(1, &target->renderbuffer);
  target->width = 0;
  target->height = 0;
  std::free(target);
}

kvSurface* kv_RenderTarget_GetSurface(kvRenderTarget* target) {
  return target ? target->surface : nullptr;
}

void kv_RenderTarget_GetInfo(const kvRenderTarget* target, int* width, int* height,
                             uint32_t* format) {
  if (!target) return;
  if (width) *width = target->width;
  if (height) *height = target->height;
  if (format) *format = target->format;
}
