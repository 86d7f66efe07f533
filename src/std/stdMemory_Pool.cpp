// The memory module and its fixed-size pools.
#include <cstring>

#include "std/std.h"
#include "std/stdMemory.h"

struct MemoryBlock {
  MemoryBlock* next;
  MemoryPool* pool;
};

namespace {

HostServices* gServices = nullptr;
int gInitialized = 0;
int gStarted = 0;
MemoryPool* gPools = nullptr;

HostServices* Services() {
  return gServices ? gServices : std_pHS;
}

#define MEMORY_ASSERT(expr)                                         \
  do {                                                              \
    if (!(expr)) Services()->assertFail(#expr, "MEMORY", __LINE__); \
  } while (0)

// Items follow the block record one after the other, each a header and the
// item bytes; the stride keeps every item 8-byte aligned.
size_t Stride(const MemoryPool* pool) {
  return sizeof(MemoryItemHeader) + pool->itemSize;
}

void Grow(MemoryPool* pool, uint32_t count) {
  const size_t bytes = count * Stride(pool) + sizeof(MemoryBlock);
  auto* block = static_cast<MemoryBlock*>(Services()->memAlloc(bytes, "MEMORY", __LINE__));
  if (!block) return;
  block->next = pool->blocks;
  block->pool = pool;
  pool->blocks = block;
  uint8_t* first = reinterpret_cast<uint8_t*>(block + 1);
  // Chain the new items in address order, the last one pointing at the old free list.
  MemoryItemHeader* following = pool->freeList;
  for (uint32_t i = count; i-- > 0;) {
    auto* item = reinterpret_cast<MemoryItemHeader*>(first + i * Stride(pool));
    item->pool = pool;
    item->nextFree = following;
    following = item;
  }
  pool->freeList = following;
  pool->poolItems += count;
}

void Uninitialize() {
  gInitialized = 0;
  gServices = nullptr;
}
int Startup() {
  if (!gInitialized || gStarted) return 1;
  gStarted = 1;
  return 0;
}
void Shutdown() {
  gStarted = 0;
}

}  // namespace

int Memory_SysInitialize(HostServices* services, ModuleDescriptor* descriptor) {
  gServices = services;
  if (gInitialized) return 1;
  descriptor->uninitialize = Uninitialize;
  descriptor->startup = Startup;
  descriptor->shutdown = Shutdown;
  gInitialized = 1;
  return 0;
}

MemoryPool* Memory_PoolCreate(uint32_t itemSize, uint32_t initialItems, uint32_t itemGrowBy) {
  MEMORY_ASSERT(itemSize > 0);
  MEMORY_ASSERT(itemGrowBy > 0);
  auto* pPool =
      static_cast<MemoryPool*>(Services()->memAlloc(sizeof(MemoryPool), "MEMORY", __LINE__));
  MEMORY_ASSERT(pPool);
  std::memset(pPool, 0, sizeof *pPool);
  pPool->pPool = pPool;
  pPool->next = gPools;
  gPools = pPool;
  pPool->itemSize = (itemSize + 7u) & ~7u;
  pPool->growBy = itemGrowBy;
  if (initialItems != 0) {
    Grow(pPool, initialItems);
    const uint32_t itemCount = initialItems;
    MEMORY_ASSERT(pPool->poolItems == itemCount);
  }
  return pPool;
}

void* Memory_PoolAlloc(MemoryPool* pool) {
  MemoryPool* pPool = pool;
  MEMORY_ASSERT(pool);
  MEMORY_ASSERT(pPool->pPool == pPool);
  if (pPool->inUse == pPool->poolItems) Grow(pPool, pPool->growBy);
  MemoryItemHeader* item = pPool->freeList;
  if (!item) return nullptr;
  pPool->freeList = item->nextFree;
  item->nextFree = nullptr;
  if (++pPool->inUse > pPool->highWater) pPool->highWater = pPool->inUse;
  // A reused item is cleared, so no caller sees what the last user left.
  void* data = item + 1;
  std::memset(data, 0, pPool->itemSize);
  return data;
}

int Memory_PoolFree(void* pData) {
  MEMORY_ASSERT(pData);
  auto* item = static_cast<MemoryItemHeader*>(pData) - 1;
  MemoryPool* pPool = item->pool;
  MEMORY_ASSERT(pPool->pPool == pPool);
  item->nextFree = pPool->freeList;
  pPool->freeList = item;
  pPool->inUse--;
  return 0;
}

void Memory_PoolDestroy(MemoryPool* pool) {
  MemoryPool* pPool = pool;
  MEMORY_ASSERT(pool);
  MEMORY_ASSERT(pPool->pPool == pPool);
  for (MemoryPool** link = &gPools; *link; link = &(*link)->next) {
    if (*link == pPool) {
      *link = pPool->next;
      break;
    }
  }
  for (MemoryBlock* block = pPool->blocks; block;) {
    MemoryBlock* next = block->next;
    Services()->memFree(block);
    block = next;
  }
  Services()->memFree(pPool);
}
