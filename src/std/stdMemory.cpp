#include "std/stdMemory.h"

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "std/std.h"

#if defined(__SANITIZE_ADDRESS__)
#define VQ_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VQ_ASAN 1
#endif
#endif
#ifdef VQ_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace {

// One lock guards the list and the counters: the save, load and erase
// threads, the music heartbeat and the audio producers allocate too.
std::mutex g_lock;
int32_t g_liveCount = 0;
int64_t g_liveBytes = 0;
int64_t g_peakBytes = 0;
stdMemoryBlock* g_newest = nullptr;
int g_started = 0;
int g_reporting = 0;

void Fail(const char* message, int line) {
  if (std_pHS && std_pHS->assertFail) {
    std_pHS->assertFail(message, __FILE__, line);
  }
  std::abort();  // the assertion slot does not return; be sure of it
}

stdMemoryBlock* HeaderOf(void* pointer) {
  return static_cast<stdMemoryBlock*>(pointer) - 1;
}

// Reading the header of a block that may have been freed already is the
// point of the check, so ThreadSanitizer does not watch this read (nor may
// the compiler move the read into the caller).
#if defined(__clang__)
#define VQ_UNWATCHED_READS __attribute__((noinline, no_sanitize("thread")))
#else
#define VQ_UNWATCHED_READS __attribute__((noipa, no_sanitize("thread")))
#endif
VQ_UNWATCHED_READS void CheckMagic(stdMemoryBlock* header) {
#ifdef VQ_ASAN
  // Under AddressSanitizer the header of a freed block is poisoned: a second
  // free is then reported here, as the cleared magic word reports it in a
  // plain build, instead of as a read of freed memory.
  if (__asan_region_is_poisoned(header, sizeof *header)) {
    Fail("allocation->magic == 0x12345678", __LINE__);
  }
#endif
  if (header->magic != STDMEMORY_MAGIC) Fail("allocation->magic == 0x12345678", __LINE__);
}

// Unlinks a checked block and updates the counters; the caller holds the lock.
void Unlink(stdMemoryBlock* header) {
  --g_liveCount;
  g_liveBytes -= header->size;
  if (g_newest == header) g_newest = header->older;
  if (header->newer) header->newer->older = header->older;
  if (header->older) header->older->newer = header->newer;
  header->magic = 0;  // a second free of the same block is caught
}

}  // namespace

void* stdMemory_Alloc(size_t size, const char* sourceFile, int line) {
  if (size > SIZE_MAX - sizeof(stdMemoryBlock)) Fail("allocation", __LINE__);
  auto* header = static_cast<stdMemoryBlock*>(std::malloc(sizeof(stdMemoryBlock) + size));
  if (!header) Fail("allocation", __LINE__);
  std::lock_guard<std::mutex> lock(g_lock);
  ++g_liveCount;
  g_liveBytes += static_cast<int64_t>(size);
  if (g_liveBytes >= g_peakBytes) g_peakBytes = g_liveBytes;
  header->newer = nullptr;
  header->older = g_newest;
  header->file = sourceFile;
  header->id = g_liveCount;
  header->line = line;
  header->size = static_cast<int64_t>(size);
  header->magic = STDMEMORY_MAGIC;
  if (g_newest) g_newest->newer = header;
  g_newest = header;
  return header + 1;
}

void stdMemory_Free(void* pointer) {
  if (!pointer) return;
  stdMemoryBlock* header = HeaderOf(pointer);
  {
    std::lock_guard<std::mutex> lock(g_lock);
    CheckMagic(header);
    Unlink(header);
  }
  std::free(header);
}

void* stdMemory_Realloc(void* pointer, size_t size, const char* sourceFile, int line) {
  if (!pointer) return stdMemory_Alloc(size, sourceFile, line);
  if (size == 0) {
    stdMemory_Free(pointer);
    return nullptr;
  }
  stdMemoryBlock* header = HeaderOf(pointer);
  int64_t oldSize;
  {
    std::lock_guard<std::mutex> lock(g_lock);
    CheckMagic(header);
    oldSize = header->size;
  }
  // The block always moves: a new block with the new file, line and id.
  void* fresh = stdMemory_Alloc(size, sourceFile, line);
  std::memcpy(fresh, pointer,
              static_cast<size_t>(oldSize) < size ? static_cast<size_t>(oldSize) : size);
  stdMemory_Free(pointer);
  return fresh;
}

int64_t stdMemory_GetAllocatedBytes(void) {
  std::lock_guard<std::mutex> lock(g_lock);
  return g_liveBytes;
}

void stdMemory_CheckBlock(void* pointer) {
  if (!pointer) return;
  std::lock_guard<std::mutex> lock(g_lock);
  CheckMagic(HeaderOf(pointer));
}

void* stdMemory_SetBlockSource(void* pointer, const char* sourceFile, int line) {
  if (!pointer) return pointer;
  std::lock_guard<std::mutex> lock(g_lock);
  stdMemoryBlock* header = HeaderOf(pointer);
  if (header->magic == STDMEMORY_MAGIC) {
    header->file = sourceFile;
    header->line = line;
  }
  return pointer;
}

int stdMemory_Startup(void) {
  g_started = 1;
  return 1;
}

void stdMemory_Shutdown(void) {
  g_started = 0;
}

int stdMemory_BeginReport(void) {
  if (g_reporting) return 0;
  g_reporting = 1;
  return 1;
}

void stdMemory_EndReport(void) {
  g_reporting = 0;
}

stdMemoryStats stdMemory_GetStats(void) {
  std::lock_guard<std::mutex> lock(g_lock);
  return {g_liveCount, g_liveBytes, g_peakBytes, g_newest};
}

const stdMemoryBlock* stdMemory_HeaderOf(const void* pointer) {
  return static_cast<const stdMemoryBlock*>(pointer) - 1;
}
