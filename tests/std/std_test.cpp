#include "std/std.h"

#include <gtest/gtest.h>

#include "std/stdMemory.h"

namespace {

TEST(Services, DebugPrinterIsTheWarningPrinterAndSlot23IsKept) {
  HostServices hs;
  HostServices_CopyDefaults(&hs);
  auto* const privateSlot = hs.fileSetPrivate;
  std_DefaultServices(&hs);
  hs.printDebug = hs.printWarning;
  EXPECT_EQ(hs.printDebug, hs.printWarning);
  EXPECT_EQ(hs.fileSetPrivate, privateSlot);
  EXPECT_EQ(hs.memAlloc, &stdMemory_Alloc);
  EXPECT_FLOAT_EQ(hs.ticksPerSecond, 1000.0f);
}

TEST(Services, Log2AndPathTail) {
  const std::pair<int, int> logs[] = {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {1024, 10}, {-5, 0}};
  for (auto [n, expected] : logs) EXPECT_EQ(std_Log2(n), expected) << n;
  EXPECT_STREQ(std_PathTail("a\\b\\c.3do"), "c.3do");
  EXPECT_STREQ(std_PathTail("a/b/c.3do"), "a/b/c.3do");
  EXPECT_STREQ(std_PathTail("plain"), "plain");
}

TEST(Memory, TableOfLiveBlocks) {
  const stdMemoryStats before = stdMemory_GetStats();
  void* a = stdMemory_Alloc(100, "t", 1);
  void* b = stdMemory_Alloc(50, "t", 2);
  stdMemory_Free(a);
  const stdMemoryStats after = stdMemory_GetStats();
  EXPECT_EQ(after.liveCount, before.liveCount + 1);
  EXPECT_EQ(after.liveBytes, before.liveBytes + 50);
  EXPECT_GE(after.peakBytes, before.liveBytes + 150);
  EXPECT_EQ(after.newest, stdMemory_HeaderOf(b));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % 16, 0u);
  stdMemory_Free(b);
}

}  // namespace
