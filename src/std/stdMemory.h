// Tracked memory: the allocator behind the services record's memory slots.
// Every block carries a header that links it into the list of live blocks and
// records the source file and line that asked for it; live count, live bytes
// and their peak are kept for the resource budget and the memory reports.
// The pools of fixed-size items of the engine's memory module follow.
#pragma once

#include <cstddef>
#include <cstdint>

#include "std/stdModule.h"

// The header placed before each block. Padded to a multiple of 16 bytes so
// the caller's pointer keeps the general heap's alignment.
struct alignas(16) stdMemoryBlock {
  stdMemoryBlock* newer;  // next newer live block, null for the newest
  stdMemoryBlock* older;  // next older live block, null for the oldest
  const char* file;       // source file given by the caller (not copied)
  int32_t id;             // live count (this block included) at allocation
  int32_t line;
  int64_t size;    // bytes requested
  uint32_t magic;  // 0x12345678 while live; cleared when freed
};

constexpr uint32_t STDMEMORY_MAGIC = 0x12345678;

void* stdMemory_Alloc(size_t size, const char* sourceFile, int line);
void stdMemory_Free(void* pointer);
void* stdMemory_Realloc(void* pointer, size_t size, const char* sourceFile, int line);
int64_t stdMemory_GetAllocatedBytes(void);
void stdMemory_CheckBlock(void* pointer);
void* stdMemory_SetBlockSource(void* pointer, const char* sourceFile, int line);
int stdMemory_Startup(void);
void stdMemory_Shutdown(void);
int stdMemory_BeginReport(void);
void stdMemory_EndReport(void);

// Statistics of the live blocks (for reports and tests).
struct stdMemoryStats {
  int32_t liveCount;
  int64_t liveBytes;
  int64_t peakBytes;
  const stdMemoryBlock* newest;
};
stdMemoryStats stdMemory_GetStats(void);
// The header of a live block handed out by stdMemory_Alloc.
const stdMemoryBlock* stdMemory_HeaderOf(const void* pointer);

// ---- Pools ------------------------------------------------------------------

// The memory module of the engine's module table: pools of fixed-size items
// for the engine's tables.
//
// Items come from blocks obtained through the services record and return to
// a free list; blocks are given back only when the whole pool is destroyed.
// Every operation checks its arguments with assertions reported through the
// services record with the source name "MEMORY".

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
