// Fixed-size pools.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "std/std.h"
#include "std/stdMemory.h"

namespace {

class Pools : public ::testing::Test {
 protected:
  void SetUp() override {
    HostServices_CopyDefaults(&hs_);
    std_DefaultServices(&hs_);
    std_Startup(&hs_);
  }
  HostServices hs_;
};

TEST_F(Pools, SpacingGrowthAndReuse) {
  MemoryPool* pool = Memory_PoolCreate(13, 2, 3);
  ASSERT_NE(pool, nullptr);
  EXPECT_EQ(pool->itemSize, 16u);
  EXPECT_EQ(pool->poolItems, 2u);
  auto* a = static_cast<uint8_t*>(Memory_PoolAlloc(pool));
  auto* b = static_cast<uint8_t*>(Memory_PoolAlloc(pool));
  // Items of one block follow each other: item size plus the header.
  EXPECT_EQ(b - a, static_cast<ptrdiff_t>(16 + sizeof(MemoryItemHeader)));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 8, 0u);
  // The third allocation makes a block of three more items.
  void* c = Memory_PoolAlloc(pool);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(pool->poolItems, 5u);
  EXPECT_EQ(pool->inUse, 3u);
  EXPECT_EQ(pool->highWater, 3u);
  // Last in, first out; a reused item comes back cleared.
  std::memset(b, 0xAB, 16);
  EXPECT_EQ(Memory_PoolFree(b), 0);
  EXPECT_EQ(pool->inUse, 2u);
  auto* again = static_cast<uint8_t*>(Memory_PoolAlloc(pool));
  EXPECT_EQ(again, b);
  for (int i = 0; i < 16; i++) EXPECT_EQ(again[i], 0) << i;
  EXPECT_EQ(pool->highWater, 3u);
  Memory_PoolDestroy(pool);
}

TEST_F(Pools, EmptyPoolMakesNoBlockUntilFirstAllocation) {
  MemoryPool* pool = Memory_PoolCreate(40, 0, 4);
  EXPECT_EQ(pool->blocks, nullptr);
  EXPECT_EQ(pool->poolItems, 0u);
  void* item = Memory_PoolAlloc(pool);
  EXPECT_NE(item, nullptr);
  EXPECT_EQ(pool->poolItems, 4u);
  EXPECT_NE(pool->blocks, nullptr);
  Memory_PoolDestroy(pool);
}

TEST_F(Pools, ModuleStartsOnceAfterInitialise) {
  ModuleDescriptor d{};
  ASSERT_EQ(Memory_SysInitialize(&hs_, &d), 0);
  EXPECT_EQ(Memory_SysInitialize(&hs_, &d), 1);
  EXPECT_EQ(d.save, nullptr);
  EXPECT_EQ(d.startup(), 0);
  EXPECT_EQ(d.startup(), 1);
  d.shutdown();
  d.uninitialize();
  EXPECT_EQ(d.startup(), 1);  // not initialised
}

TEST_F(Pools, NotAPoolIsAnAssertion) {
  alignas(16) uint8_t junk[64] = {};
  hs_.assertFail = [](const char* message, const char*, int) {
    std::fprintf(stderr, "assert: %s\n", message);
    std::abort();
  };
  EXPECT_DEATH(Memory_PoolAlloc(reinterpret_cast<MemoryPool*>(junk)), "pPool->pPool == pPool");
}

}  // namespace
