// The memory manager: pools of fixed-size items for the engine's tables.
//
// Items come from blocks obtained through the services record and return to
// a free list; blocks are given back only when the whole pool is destroyed.
// Every operation checks its arguments with assertions reported through the
// services record with the source name "MEMORY".
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/drevMain.h"

struct MemoryPool;
struct MemoryBlock;

// The header in front of every item: the next free item (null while the item
// is handed out) and the owning pool.
struct MemoryItemHeader {
  MemoryItemHeader* nextFree;
  MemoryPool* pool;
};

struct MemoryPool {
  MemoryPool* pPool;  // the pool's own address
  MemoryPool* next;   // the manager's list of all pools
  uint32_t itemSize;  // requested size raised to a multiple of 8
  uint32_t inUse;
  uint32_t highWater;
  uint32_t poolItems;  // items made so far
  uint32_t growBy;
  MemoryItemHeader* freeList;
  MemoryBlock* blocks;
};

int Memory_SysInitialize(HostServices* services, ModuleDescriptor* descriptor);
MemoryPool* Memory_PoolCreate(uint32_t itemSize, uint32_t initialItems, uint32_t growBy);
// An item of the pool's size, value-initialised (all zero); null when the pool
// could not grow.
void* Memory_PoolAlloc(MemoryPool* pool);
int Memory_PoolFree(void* item);
void Memory_PoolDestroy(MemoryPool* pool);
