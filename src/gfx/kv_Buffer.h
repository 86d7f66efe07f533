// Vertex and index buffers, constant blocks and the frame rings.
//
// Long-lived geometry lives in buffers that own a GL buffer and a CPU copy,
// uploaded whole when marked. Everything built anew each frame is carved out
// of three 1 MB rings of main memory (uniform, vertex, index) that restart at
// every frame begin; each ring is mirrored into one GL buffer at the same
// offsets. A ring's new bytes are uploaded in one piece at the next draw (and
// then overwritten with 0xBA in main memory), and a constant block is uploaded
// once per frame when it is first bound: write a transient buffer or a block
// completely before the next draw.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct LayoutDescriptor;
struct kvRenderContext;
struct kvSurface;

// Bump allocator over one block.
struct kvRing {
  size_t size;
  size_t used;
  size_t alignment;
  uint8_t* base;
};
// Reserves n bytes rounded up to the alignment; n = 0 answers the current
// position and reserves nothing. Null when the ring cannot hold the request.
void* kv_Ring_Alloc(kvRing* ring, size_t n);

struct kvVertexAttribute;
struct kvVertexBuffer {
  size_t size;  // bytes, at least 16
  int lockCount;
  uint8_t* data;
  uint8_t ownsGLBuffer;  // 1 for kv_VertexBuffer_Allocate, 0 for transient buffers
  std::vector<kvVertexAttribute*>* attributes;
  const LayoutDescriptor* layout;
  uint32_t glBuffer;  // 0 for transient buffers
  uint8_t needsUpload;
};

struct kvVertexAttribute {
  kvVertexBuffer* buffer;
  uint8_t* data;  // buffer data + offset
  int stride;
  int vertexCount;
  int typeCode;  // 0-6
  int described;
  const char* memberName;
  const char* memberTypeName;
  int memberOffset;
  int memberSize;
};

struct kvIndexBuffer {
  int indexCount;
  int lockCount;
  int second;  // second creation parameter, every caller passes 0
  uint8_t ownsGLBuffer;
  uint16_t* data;  // for transient buffers a pointer into the index ring
  uint32_t glBuffer;
  int reserved;
  size_t capacity;  // bytes (own buffers: max(16, 2 x count); transient: 0)
  uint8_t needsUpload;
};

struct kvConstantBlock {
  size_t size;
  void* data;  // into the uniform ring; null when none
  const LayoutDescriptor* layout;
};

constexpr size_t kvRingSize = 1048576;
constexpr int kvFrameIndexCount = 524288;

struct kvFrameData {
  std::vector<kvSurface*> surfaceReleases;
  std::vector<kvIndexBuffer*> indexReleases;
  std::vector<kvVertexBuffer*> vertexReleases;
  kvRing uniformRing;
  kvRing vertexRing;
  kvRing indexRing;
  kvIndexBuffer* frameIndexBuffer;
  kvVertexBuffer* frameVertexBuffer;
  uint32_t uniformBuffer;
  size_t indexBytesFlushed;
  size_t vertexBytesFlushed;
  uint8_t* uniformSlotFlags;
  size_t uniformSlotCount;
};

// Creates the frame data with GL mirrors; the context points to it.
void allocateFrameData(void);
// The frame begin's step: destroys what was released, rewinds and clears the rings.
void kv_FrameData_Reset(kvFrameData* frame);
// Sets up a frame record's rings and slot flags without GL (alignment of the
// uniform ring given); used by allocateFrameData and by tests of the ring logic.
bool kv_FrameData_InitRings(kvFrameData* frame, size_t uniformAlignment);
void kv_FrameData_FreeRings(kvFrameData* frame);

kvVertexBuffer* kv_VertexBuffer_Allocate(size_t size, const LayoutDescriptor* layout);
kvIndexBuffer* kv_IndexBuffer_Allocate(int indexCount, int second);
kvVertexBuffer* kv_VertexBuffer_AllocateTransient(kvRenderContext* context, size_t size,
                                                  const LayoutDescriptor* layout);
kvIndexBuffer* kv_IndexBuffer_AllocateTransient(kvRenderContext* context, int indexCount,
                                                int second);

void* kv_Buffer_Lock(kvVertexBuffer* buffer);
void kv_Buffer_Unlock(kvVertexBuffer* buffer);
uint16_t* kv_IndexBuffer_Lock(kvIndexBuffer* buffer);
void kv_IndexBuffer_Unlock(kvIndexBuffer* buffer);
void kv_Buffer_Release(kvVertexBuffer* buffer);
void kv_IndexBuffer_Release(kvIndexBuffer* buffer);
void kv_VertexBuffer_Destroy(kvVertexBuffer* buffer);
void kv_IndexBuffer_Destroy(kvIndexBuffer* buffer);

kvVertexAttribute* kv_VertexBuffer_AddAttribute(kvVertexBuffer* buffer, int typeCode, int offset,
                                                int stride, int vertexCount, const char* memberName,
                                                const char* memberTypeName, int memberOffset,
                                                int memberSize);
size_t kv_VertexBuffer_GetSize(const kvVertexBuffer* buffer);

void kv_RenderContext_AllocConstants(kvConstantBlock* block, kvRenderContext* context, size_t size,
                                     const LayoutDescriptor* layout);

// Upload steps of the draw setup.
void flushBufferToGpu(kvVertexBuffer* buffer);
void flushBufferToGpu(kvIndexBuffer* buffer);
void flushBufferToGpu(kvRing* ring, uint32_t target, uint32_t glBuffer, size_t* flushed);
void bindUniformBlock(uint32_t program, const char* blockName, kvFrameData* frame,
                      const kvConstantBlock* block, uint32_t bindingPoint);
// A constant block is ready to bind: none at all, or one whose data exists.
inline bool kv_ConstantBlock_IsUsable(const kvConstantBlock& block) {
  return block.size == 0 || block.data != nullptr;
}
