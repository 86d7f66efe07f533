#include "gfx/kv_Buffer.h"

#include <GL/glew.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "gfx/kv_Layout.h"
#include "gfx/kv_RenderContext.h"
#include "gfx/kv_Surface.h"
#include "platform/kv_Log.h"
#include "platform/kv_Platform.h"

namespace {

// The layout of buffers that are never drawn from through a program (the
// frame's mirror of the vertex ring).
const LayoutDescriptor kNoLayout = {0, "none", 0, nullptr};

ptrdiff_t OffsetInRing(const kvRing& ring, const void* pointer) {
  return static_cast<const uint8_t*>(pointer) - ring.base;
}

}  // namespace

void* kv_Ring_Alloc(kvRing* ring, size_t n) {
  if (!ring || !ring->base) return nullptr;
  if (n == 0) return ring->base + ring->used;
  const size_t alignment = ring->alignment ? ring->alignment : 1;
  if (n > ring->size) return nullptr;
  const size_t rounded = (n + alignment - 1) / alignment * alignment;
  if (rounded > ring->size - ring->used) return nullptr;
  void* result = ring->base + ring->used;
  ring->used += rounded;
  return result;
}

bool kv_FrameData_InitRings(kvFrameData* frame, size_t uniformAlignment) {
  if (uniformAlignment == 0) uniformAlignment = 256;
  auto* uniformBase = static_cast<uint8_t*>(std::calloc(kvRingSize, 1));
  auto* vertexBase = static_cast<uint8_t*>(std::calloc(kvRingSize, 1));
  auto* indexBase = static_cast<uint8_t*>(std::calloc(kvRingSize, 1));
  const size_t slots = kvRingSize / uniformAlignment;
  auto* flags = static_cast<uint8_t*>(std::calloc(slots ? slots : 1, 1));
  if (!uniformBase || !vertexBase || !indexBase || !flags) {
    std::free(uniformBase);
    std::free(vertexBase);
    std::free(indexBase);
    std::free(flags);
    return false;
  }
  frame->uniformRing = {kvRingSize, 0, uniformAlignment, uniformBase};
  frame->vertexRing = {kvRingSize, 0, 128, vertexBase};
  frame->indexRing = {kvRingSize, 0, 128, indexBase};
  frame->uniformSlotCount = slots;
  frame->uniformSlotFlags = flags;
  frame->indexBytesFlushed = 0;
  frame->vertexBytesFlushed = 0;
  return true;
}

void kv_FrameData_FreeRings(kvFrameData* frame) {
  std::free(frame->uniformRing.base);
  std::free(frame->vertexRing.base);
  std::free(frame->indexRing.base);
  std::free(frame->uniformSlotFlags);
  frame->uniformRing.base = frame->vertexRing.base = frame->indexRing.base = nullptr;
  frame->uniformSlotFlags = nullptr;
  frame->uniformSlotCount = 0;
}

void allocateFrameData(void) {
  kvRenderContext* context = kv_RenderContext_Get();
  auto* frame = new kvFrameData();
  context->frameData = frame;
  frame->frameIndexBuffer = kv_IndexBuffer_Allocate(kvFrameIndexCount, 0);
  frame->frameVertexBuffer = kv_VertexBuffer_Allocate(kvRingSize, &kNoLayout);

  kv_GL_SetDebugTag("create uniform buffer", "allocateFrameData", 200);
  glGenBuffers(1, &frame->uniformBuffer);
  glBindBuffer(GL_UNIFORM_BUFFER, frame->uniformBuffer);
  glBufferData(GL_UNIFORM_BUFFER, kvRingSize, nullptr, GL_DYNAMIC_DRAW);
  glBindBuffer(GL_UNIFORM_BUFFER, 0);
  kv_GL_CheckErrors();

  GLint alignment = 256;
  glGetIntegerv(GL_UNIFORM_BUFFER_OFFSET_ALIGNMENT, &alignment);
  kv_GL_CheckErrors();
  if (alignment < 1) alignment = 256;
  if (!kv_FrameData_InitRings(frame, static_cast<size_t>(alignment))) {
    kv_Log_Printf("Unable to allocate the frame rings");
  }
}

namespace {
// Transient data must be complete before the draw that uploads it: what is
// written later never reaches the GPU. Debug builds look for such late writes
// in the uploaded spans, which were filled with 0xBA after their upload.
void CheckLateWrites(const kvRing& ring, size_t flushed, const char* what) {
#ifndef NDEBUG
  if (!ring.base) return;
  const size_t end = std::min(flushed, ring.used);
  for (size_t i = 0; i < end; ++i) {
    if (ring.base[i] != 0xBA) {
      kv_Log_Printf("[OpenGL] %s data written after its upload (ring offset %zu)", what, i);
      std::fprintf(stderr, "%s data written after its upload (ring offset %zu)\n", what, i);
      return;
    }
  }
#else
  (void)ring;
  (void)flushed;
  (void)what;
#endif
}
}  // namespace

void kv_FrameData_Reset(kvFrameData* frame) {
  if (!frame) return;
  CheckLateWrites(frame->vertexRing, frame->vertexBytesFlushed, "Vertex");
  CheckLateWrites(frame->indexRing, frame->indexBytesFlushed, "Index");
  for (kvSurface* surface : frame->surfaceReleases) kv_Surface_Destroy(surface);
  for (kvIndexBuffer* buffer : frame->indexReleases) kv_IndexBuffer_Destroy(buffer);
  for (kvVertexBuffer* buffer : frame->vertexReleases) kv_VertexBuffer_Destroy(buffer);
  frame->surfaceReleases.clear();
  frame->indexReleases.clear();
  frame->vertexReleases.clear();
  for (kvRing* ring : {&frame->uniformRing, &frame->vertexRing, &frame->indexRing}) {
    // Only what was used can hold bytes other than zero.
    if (ring->base) std::memset(ring->base, 0, std::min(ring->size, ring->used));
    ring->used = 0;
  }
  frame->indexBytesFlushed = 0;
  frame->vertexBytesFlushed = 0;
  if (frame->uniformSlotFlags) std::memset(frame->uniformSlotFlags, 0, frame->uniformSlotCount);
}

kvVertexBuffer* kv_VertexBuffer_Allocate(size_t size, const LayoutDescriptor* layout) {
  size = std::max<size_t>(size, 16);
  auto* buffer = static_cast<kvVertexBuffer*>(std::calloc(1, sizeof(kvVertexBuffer)));
  if (!buffer) return nullptr;
  buffer->data = static_cast<uint8_t*>(std::calloc(size, 1));
  if (!buffer->data) {
    std::free(buffer);
    return nullptr;
  }
  buffer->size = size;
  buffer->attributes = new std::vector<kvVertexAttribute*>();
  buffer->needsUpload = 1;
  buffer->layout = layout;
  buffer->ownsGLBuffer = 1;
  kv_GL_SetDebugTag("create vertex buffer", "kv_VertexBuffer_Allocate", 210);
  glGenBuffers(1, &buffer->glBuffer);
  kv_GL_CheckErrors();
  glBindBuffer(GL_ARRAY_BUFFER, buffer->glBuffer);
  kv_GL_CheckErrors();
  glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(size), nullptr, GL_DYNAMIC_DRAW);
  kv_GL_CheckErrors();
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  kv_GL_CheckErrors();
  return buffer;
}

kvIndexBuffer* kv_IndexBuffer_Allocate(int indexCount, int second) {
  if (indexCount < 0) indexCount = 0;
  auto* buffer = static_cast<kvIndexBuffer*>(std::calloc(1, sizeof(kvIndexBuffer)));
  if (!buffer) return nullptr;
  buffer->capacity = std::max<size_t>(16, 2 * static_cast<size_t>(indexCount));
  buffer->data = static_cast<uint16_t*>(std::calloc(buffer->capacity, 1));
  if (!buffer->data) {
    std::free(buffer);
    return nullptr;
  }
  buffer->indexCount = indexCount;
  buffer->second = second;
  buffer->ownsGLBuffer = 1;
  buffer->needsUpload = 1;
  kv_GL_SetDebugTag("create index buffer", "kv_IndexBuffer_Allocate", 220);
  glGenBuffers(1, &buffer->glBuffer);
  kv_GL_CheckErrors();
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer->glBuffer);
  kv_GL_CheckErrors();
  glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(buffer->capacity), nullptr,
               GL_DYNAMIC_DRAW);
  kv_GL_CheckErrors();
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  kv_GL_CheckErrors();
  return buffer;
}

kvVertexBuffer* kv_VertexBuffer_AllocateTransient(kvRenderContext* context, size_t size,
                                                  const LayoutDescriptor* layout) {
  if (!context || !context->frameData) return nullptr;
  auto* buffer = static_cast<kvVertexBuffer*>(std::calloc(1, sizeof(kvVertexBuffer)));
  if (!buffer) return nullptr;
  buffer->size = size;
  buffer->ownsGLBuffer = 0;
  // Null when the ring is full: the draw setup then skips draws from it.
  buffer->data = static_cast<uint8_t*>(kv_Ring_Alloc(&context->frameData->vertexRing, size));
  buffer->attributes = new std::vector<kvVertexAttribute*>();
  buffer->layout = layout;
  buffer->needsUpload = 1;
  context->frameData->vertexReleases.push_back(buffer);
  return buffer;
}

kvIndexBuffer* kv_IndexBuffer_AllocateTransient(kvRenderContext* context, int indexCount,
                                                int second) {
  if (!context || !context->frameData) return nullptr;
  if (indexCount < 0) indexCount = 0;
  auto* buffer = static_cast<kvIndexBuffer*>(std::calloc(1, sizeof(kvIndexBuffer)));
  if (!buffer) return nullptr;
  buffer->indexCount = indexCount;
  buffer->second = second;
  buffer->ownsGLBuffer = 0;
  buffer->data = static_cast<uint16_t*>(
      kv_Ring_Alloc(&context->frameData->indexRing, 2 * static_cast<size_t>(indexCount)));
  buffer->needsUpload = 1;
  context->frameData->indexReleases.push_back(buffer);
  return buffer;
}

void* kv_Buffer_Lock(kvVertexBuffer* buffer) {
  if (!buffer) return nullptr;
  buffer->lockCount += 1;
  return buffer->data;
}

void kv_Buffer_Unlock(kvVertexBuffer* buffer) {
  if (!buffer) return;
  if (buffer->lockCount > 0) buffer->lockCount -= 1;
  buffer->needsUpload = 1;
}

uint16_t* kv_IndexBuffer_Lock(kvIndexBuffer* buffer) {
  if (!buffer) return nullptr;
  buffer->lockCount += 1;
  return buffer->data;
}

void kv_IndexBuffer_Unlock(kvIndexBuffer* buffer) {
  if (!buffer) return;
  if (buffer->lockCount > 0) buffer->lockCount -= 1;
  buffer->needsUpload = 1;
}

void kv_Buffer_Release(kvVertexBuffer* buffer) {
  if (!buffer) return;
  kvFrameData* frame = kv_RenderContext_Get()->frameData;
  if (frame) {
    frame->vertexReleases.push_back(buffer);
  } else {
    kv_VertexBuffer_Destroy(buffer);
  }
}

void kv_IndexBuffer_Release(kvIndexBuffer* buffer) {
  if (!buffer) return;
  kvFrameData* frame = kv_RenderContext_Get()->frameData;
  if (frame) {
    frame->indexReleases.push_back(buffer);
  } else {
    kv_IndexBuffer_Destroy(buffer);
  }
}

void kv_IndexBuffer_Destroy(kvIndexBuffer* buffer) {
  if (!buffer) return;
  if (buffer->glBuffer) {
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    glDeleteBuffers(1, &buffer->glBuffer);
  }
  if (buffer->ownsGLBuffer) std::free(buffer->data);
  buffer->indexCount = 0;
  buffer->data = nullptr;
  buffer->lockCount = 9999;
  std::free(buffer);
}

void kv_VertexBuffer_Destroy(kvVertexBuffer* buffer) {
  if (!buffer) return;
  kvRenderContext* context = kv_RenderContext_Get();
  if (context->vertexBuffer == buffer) context->vertexBuffer = nullptr;
  if (buffer->glBuffer) {
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glDeleteBuffers(1, &buffer->glBuffer);
  }
  if (buffer->ownsGLBuffer) std::free(buffer->data);
  if (buffer->attributes) {
    for (kvVertexAttribute* attribute : *buffer->attributes) std::free(attribute);
    delete buffer->attributes;
  }
  std::free(buffer);
}

kvVertexAttribute* kv_VertexBuffer_AddAttribute(kvVertexBuffer* buffer, int typeCode, int offset,
                                                int stride, int vertexCount, const char* memberName,
                                                const char* memberTypeName, int memberOffset,
                                                int memberSize) {
  if (!buffer || !buffer->attributes) return nullptr;
  auto* attribute = static_cast<kvVertexAttribute*>(std::calloc(1, sizeof(kvVertexAttribute)));
  if (!attribute) return nullptr;
  buffer->attributes->push_back(attribute);
  attribute->buffer = buffer;
  attribute->typeCode = typeCode;
  attribute->data = buffer->data ? buffer->data + offset : nullptr;
  attribute->stride = stride;
  attribute->vertexCount = vertexCount;
  attribute->described = 1;
  attribute->memberName = memberName;
  attribute->memberTypeName = memberTypeName;
  attribute->memberOffset = memberOffset;
  attribute->memberSize = memberSize;
  return attribute;
}

size_t kv_VertexBuffer_GetSize(const kvVertexBuffer* buffer) {
  return buffer ? buffer->size : 0;
}

void kv_RenderContext_AllocConstants(kvConstantBlock* block, kvRenderContext* context, size_t size,
                                     const LayoutDescriptor* layout) {
  if (!block) return;
  block->size = size;
  block->layout = layout;
  block->data = nullptr;
  if (!context || !context->frameData) return;
  kvFrameData* frame = context->frameData;
  block->data = kv_Ring_Alloc(&frame->uniformRing, size);
  if (block->data && size > 0) {
    const size_t slot = static_cast<size_t>(OffsetInRing(frame->uniformRing, block->data)) /
                        frame->uniformRing.alignment;
    if (slot < frame->uniformSlotCount) frame->uniformSlotFlags[slot] = 0;
  }
}

void flushBufferToGpu(kvVertexBuffer* buffer) {
  kv_GL_SetDebugTag("glBindBuffer", "flushBufferToGpu", 230);
  glBindBuffer(GL_ARRAY_BUFFER, buffer->glBuffer);
  kv_GL_CheckErrors();
  if (buffer->needsUpload && buffer->data) {
    glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(buffer->size), buffer->data);
    kv_GL_CheckErrors();
    buffer->needsUpload = 0;
  }
}

void flushBufferToGpu(kvIndexBuffer* buffer) {
  kv_GL_SetDebugTag("glBindBuffer", "flushBufferToGpu", 231);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer->glBuffer);
  kv_GL_CheckErrors();
  if (buffer->needsUpload && buffer->data) {
    glBufferSubData(GL_ELEMENT_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(buffer->capacity),
                    buffer->data);
    kv_GL_CheckErrors();
    buffer->needsUpload = 0;
  }
}

void flushBufferToGpu(kvRing* ring, uint32_t target, uint32_t glBuffer, size_t* flushed) {
  kv_GL_SetDebugTag("glBindBuffer", "flushBufferToGpu", 232);
  glBindBuffer(target, glBuffer);
  kv_GL_CheckErrors();
  if (*flushed < ring->used) {
    kv_GL_SetDebugTag("glBufferSubData", "flushBufferToGpu", 233);
    glBufferSubData(target, static_cast<GLintptr>(*flushed),
                    static_cast<GLsizeiptr>(ring->used - *flushed), ring->base + *flushed);
    kv_GL_CheckErrors();
    // Uploaded bytes are spoiled on purpose: writes after the upload are lost,
    // and the pattern makes such late writes easy to spot.
    std::memset(ring->base + *flushed, 0xBA, ring->used - *flushed);
    *flushed = ring->used;
  }
}

void bindUniformBlock(uint32_t program, const char* blockName, kvFrameData* frame,
                      const kvConstantBlock* block, uint32_t bindingPoint) {
  kv_GL_SetDebugTag("glGetUniformBlockIndex", "bindUniformBlock", 240);
  const GLuint index = glGetUniformBlockIndex(program, blockName);
  kv_GL_CheckErrors();
  if (index != GL_INVALID_INDEX && frame && block && block->size && block->data) {
    const ptrdiff_t offset = OffsetInRing(frame->uniformRing, block->data);
    const size_t slot = static_cast<size_t>(offset) / frame->uniformRing.alignment;
    if (slot < frame->uniformSlotCount && !frame->uniformSlotFlags[slot]) {
      frame->uniformSlotFlags[slot] = 1;
      glBindBuffer(GL_UNIFORM_BUFFER, frame->uniformBuffer);
      glBufferSubData(GL_UNIFORM_BUFFER, offset, static_cast<GLsizeiptr>(block->size), block->data);
      glBindBuffer(GL_UNIFORM_BUFFER, 0);
    }
    kv_GL_SetDebugTag("glBindBufferRange", "bindUniformBlock", 241);
    glBindBufferRange(GL_UNIFORM_BUFFER, bindingPoint, frame->uniformBuffer, offset,
                      static_cast<GLsizeiptr>(block->size));
    kv_GL_CheckErrors();
    kv_GL_SetDebugTag("glUniformBlockBinding", "bindUniformBlock", 242);
    glUniformBlockBinding(program, index, bindingPoint);
    kv_GL_CheckErrors();
  } else {
    kv_GL_SetDebugTag("glBindBufferBase", "bindUniformBlock", 243);
    glBindBufferBase(GL_UNIFORM_BUFFER, bindingPoint, 0);
    kv_GL_CheckErrors();
  }
}
