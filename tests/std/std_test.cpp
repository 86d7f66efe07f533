#include "std/std.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "std/stdDisplay.h"
#include "std/stdMemory.h"

namespace {

std::string ReadAll(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteAll(const char* path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Start-up's fill order: defaults, general library, debug := warning, publish.
HostServices StartedServices() {
  HostServices hs;
  HostServices_CopyDefaults(&hs);
  std_DefaultServices(&hs);
  hs.printDebug = hs.printWarning;
  return hs;
}

TEST(Services, FillOrderKeepsSlot23AndTheDebugPrinterIsTheWarningPrinter) {
  HostServices hs;
  HostServices_CopyDefaults(&hs);
  auto* const privateSlot = hs.fileSetPrivate;
  EXPECT_EQ(hs.fileSetPrivate(0), 0);
  std_DefaultServices(&hs);
  EXPECT_EQ(hs.printDebug, nullptr);  // the general library's slot 5 is empty
  hs.printDebug = hs.printWarning;
  EXPECT_EQ(hs.printDebug, hs.printWarning);
  EXPECT_EQ(hs.fileSetPrivate, privateSlot);
  EXPECT_EQ(hs.memAlloc, &stdMemory_Alloc);
  EXPECT_EQ(hs.memFree, &stdMemory_Free);
  EXPECT_EQ(hs.assertFail, &std_AssertFail);
  EXPECT_FLOAT_EQ(hs.ticksPerSecond, 1000.0f);

  // A file layer installed later keeps its slot 23 through a second fill.
  hs.fileSetPrivate = [](stdFile_t) { return 7; };
  auto* const installed = hs.fileSetPrivate;
  std_FillServices(&hs);
  EXPECT_EQ(hs.fileSetPrivate, installed);
}

TEST(Services, Log2PathTailAndHostPathTail) {
  const std::pair<int, int> logs[] = {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {1024, 10}, {-5, 0}};
  for (auto [n, expected] : logs) EXPECT_EQ(std_Log2(n), expected) << n;
  const std::pair<const char*, const char*> tails[] = {
      {"a\\b\\c.3do", "c.3do"}, {"a/b/c.3do", "a/b/c.3do"}, {"plain", "plain"}, {"dir\\", ""}};
  for (auto [path, tail] : tails) EXPECT_STREQ(std_PathTail(path), tail) << path;
  EXPECT_STREQ(std_HostPathTail("/src/std/std.cpp"), "std.cpp");
  EXPECT_STREQ(std_HostPathTail("C:\\src\\a.cpp"), "a.cpp");
}

TEST(Services, TicksAreMonotonicMillisecondsAndMemoryIsClamped) {
  const uint32_t a = std_GetTicks();
  const uint32_t b = std_GetTicks();
  EXPECT_GE(b, a);
  EXPECT_GT(std_GetPhysicalMemory(), 0u);
}

TEST(Services, FileSlotsReadLinesWithoutCarriageReturnAndUtf16) {
  HostServices hs = StartedServices();
  std_Startup(&hs);
  WriteAll("crlf.txt", "one\r\ntwo\nthree\r");
  stdFile_t file = hs.fileOpen("crlf.txt", "rb");
  ASSERT_NE(file, 0);
  char line[32];
  ASSERT_NE(hs.fileGets(file, line, sizeof line), nullptr);
  EXPECT_STREQ(line, "one\n");
  ASSERT_NE(hs.fileGets(file, line, sizeof line), nullptr);
  EXPECT_STREQ(line, "two\n");
  ASSERT_NE(hs.fileGets(file, line, sizeof line), nullptr);
  EXPECT_STREQ(line, "three\r");  // no newline after it: kept as it is
  EXPECT_EQ(hs.fileGets(file, line, sizeof line), nullptr);
  hs.fileClose(file);
  EXPECT_EQ(hs.fileSize("crlf.txt"), 15);
  EXPECT_EQ(hs.fileSize("missing.txt"), 0);

  // UTF-16LE: "A", U+00E9, newline, then "B".
  WriteAll("wide.txt", std::string("A\0\xE9\0\n\0B\0", 8));
  file = hs.fileOpen("wide.txt", "rb");
  char16_t wide[8];
  ASSERT_NE(hs.fileGetws(file, wide, 8), nullptr);
  EXPECT_EQ(std::u16string(wide), u"A\u00e9\n");
  ASSERT_NE(hs.fileGetws(file, wide, 8), nullptr);
  EXPECT_EQ(std::u16string(wide), u"B");
  EXPECT_EQ(hs.fileGetws(file, wide, 8), nullptr);
  hs.fileClose(file);
}

TEST(Services, PrintersFormatWithoutOverrunningTheirBuffer) {
  HostServices hs = StartedServices();
  const std::string longText(3000, 'x');
  testing::internal::CaptureStdout();
  HostServices defaults;
  HostServices_CopyDefaults(&defaults);
  EXPECT_EQ(defaults.printWarning("%s", longText.c_str()), 1023);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "WARNING: " + std::string(1023, 'x'));
  testing::internal::CaptureStderr();
  EXPECT_EQ(hs.printDebug("n=%d\n", 5), 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "n=5\n");
}

using ServicesDeathTest = testing::Test;

TEST(ServicesDeathTest, DefaultAssertionExitsWithCodeOne) {
  HostServices hs;
  HostServices_CopyDefaults(&hs);
  EXPECT_EXIT(hs.assertFail("x > 0", "f.c", 3), testing::ExitedWithCode(1), "");
}

// An assertion raised inside the report (here from the abort that ends it)
// stops at once and does not write assert.txt a second time.
void AssertAgainOnAbort(int) {
  static int depth = 0;
  if (depth++ == 0) std_AssertFail("second", "other.cpp", 99);
}

TEST(ServicesDeathTest, AssertTxtIsWrittenOnceUnderARecursiveAssertion) {
  std::remove("assert.txt");
  EXPECT_DEATH(
      {
        HostServices hs = StartedServices();
        std_Startup(&hs);
        signal(SIGABRT, AssertAgainOnAbort);
        STD_ASSERT(1 + 1 == 3);
      },
      "");
  // One report, the first one, with the source file's base name and its line.
  EXPECT_THAT(ReadAll("assert.txt"),
              testing::MatchesRegex("std_test\\.cpp\\([0-9]+\\):  1 \\+ 1 == 3\n"));
}

TEST(Memory, TableOfLiveBlocks) {
  const stdMemoryStats before = stdMemory_GetStats();
  void* a = stdMemory_Alloc(100, "t", 1);
  void* b = stdMemory_Alloc(50, "t", 2);
  EXPECT_EQ(stdMemory_HeaderOf(b)->older, stdMemory_HeaderOf(a));
  EXPECT_EQ(stdMemory_HeaderOf(a)->newer, stdMemory_HeaderOf(b));
  stdMemory_Free(a);
  const stdMemoryStats after = stdMemory_GetStats();
  EXPECT_EQ(after.liveCount, before.liveCount + 1);
  EXPECT_EQ(after.liveBytes, before.liveBytes + 50);
  EXPECT_GE(after.peakBytes, before.liveBytes + 150);
  EXPECT_EQ(after.newest, stdMemory_HeaderOf(b));
  EXPECT_EQ(stdMemory_HeaderOf(b)->older, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % alignof(std::max_align_t), 0u);
  EXPECT_EQ(stdMemory_GetAllocatedBytes(), before.liveBytes + 50);

  // Freeing the newest makes its older block the newest; ids are live counts.
  void* c = stdMemory_Alloc(10, "t", 3);
  const int32_t idOfC = stdMemory_HeaderOf(c)->id;
  stdMemory_Free(c);
  void* d = stdMemory_Alloc(10, "t", 4);
  EXPECT_EQ(stdMemory_HeaderOf(d)->id, idOfC);  // shared id once c was freed
  stdMemory_Free(d);
  EXPECT_EQ(stdMemory_GetStats().newest, stdMemory_HeaderOf(b));
  stdMemory_Free(nullptr);  // nothing happens
  stdMemory_Free(b);
  EXPECT_EQ(stdMemory_GetStats().liveBytes, before.liveBytes);
}

TEST(Memory, ReallocAlwaysMovesAndCopiesTheSmallerSize) {
  void* p = stdMemory_Realloc(nullptr, 40, "r", 1);  // null allocates
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 40; ++i) static_cast<unsigned char*>(p)[i] = static_cast<unsigned char>(i);
  struct Case {
    size_t size;
    size_t copied;
  };
  for (const Case c : {Case{10, 10}, Case{80, 10}}) {
    void* q = stdMemory_Realloc(p, c.size, "r", 2);
    EXPECT_NE(q, p);
    EXPECT_EQ(stdMemory_HeaderOf(q)->size, static_cast<int64_t>(c.size));
    EXPECT_EQ(stdMemory_HeaderOf(q)->line, 2);
    for (size_t i = 0; i < c.copied; ++i) EXPECT_EQ(static_cast<unsigned char*>(q)[i], i);
    p = q;
  }
  void* same = stdMemory_Realloc(p, 80, "r", 3);
  EXPECT_NE(same, p);                                      // also when the size does not change
  EXPECT_EQ(stdMemory_Realloc(same, 0, "r", 4), nullptr);  // size 0 frees
}

using MemoryDeathTest = testing::Test;

TEST(MemoryDeathTest, DoubleFreeIsCaughtByTheMagicWord) {
  std::remove("assert.txt");
  EXPECT_DEATH(
      {
        HostServices hs = StartedServices();
        std_Startup(&hs);
        void* block = stdMemory_Alloc(24, "t", 1);
        stdMemory_Free(block);
        stdMemory_Free(block);
      },
      "");
  EXPECT_NE(ReadAll("assert.txt").find("allocation->magic == 0x12345678"), std::string::npos);
}

TEST(MemoryDeathTest, ForeignPointerIsCaught) {
  std::remove("assert.txt");
  EXPECT_DEATH(
      {
        HostServices hs = StartedServices();
        std_Startup(&hs);
        alignas(16) unsigned char bytes[128] = {};
        stdMemory_Free(bytes + 64);
      },
      "");
  EXPECT_NE(ReadAll("assert.txt").find("allocation->magic"), std::string::npos);
}

// ---------------------------------------------------------------------------
// Further utilities

TEST(Utilities, LocalTimeText) {
  struct Case {
    int month, day, year, hour, minute;
    const char* text;
  } cases[] = {
      {0, 5, 124, 13, 7, "1/5/2024 1:07pm"},
      {11, 31, 99, 12, 0, "12/31/1999 12:00am"},
      {6, 14, 100, 0, 9, "7/14/2000 0:09am"},
      {2, 1, 125, 23, 59, "3/1/2025 11:59pm"},
  };
  for (const Case& c : cases) {
    struct tm time = {};
    time.tm_mon = c.month;
    time.tm_mday = c.day;
    time.tm_year = c.year;
    time.tm_hour = c.hour;
    time.tm_min = c.minute;
    char text[32];
    std_FormatTime(&time, text, sizeof text);
    EXPECT_STREQ(text, c.text);
  }
  char cut[6];
  struct tm time = {};
  time.tm_mon = 9;
  time.tm_mday = 10;
  time.tm_year = 124;
  std_FormatTime(&time, cut, sizeof cut);
  EXPECT_STREQ(cut, "10/10");
  char now[64];
  std_FormatLocalTime(now, sizeof now);
  EXPECT_THAT(now, ::testing::MatchesRegex("[0-9]+/[0-9]+/[0-9]+ [0-9]+:[0-9][0-9][ap]m"));
}

std::vector<uint8_t> g_freedBytes;

TEST(Utilities, GuardedBlocks) {
  HostServices hs = StartedServices();
  hs.memFree = [](void* block) {  // what the block holds when it is given back
    const uint8_t* bytes = static_cast<uint8_t*>(block);
    uint32_t size;
    std::memcpy(&size, bytes, 4);
    g_freedBytes.assign(bytes, bytes + 4 + (size == 0xBBBBBBBBu ? 12 : 0));
    stdMemory_Free(block);
  };
  std_Startup(&hs);
  auto* block = static_cast<uint8_t*>(std_GuardedAlloc(8));
  ASSERT_NE(block, nullptr);
  uint32_t size;
  std::memcpy(&size, block - 4, 4);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(std::count(block, block + 8, 0xDD), 8);
  block[0] = 1;
  block = static_cast<uint8_t*>(std_GuardedRealloc(block, 12));
  ASSERT_NE(block, nullptr);
  std::memcpy(&size, block - 4, 4);
  EXPECT_EQ(size, 12u);
  EXPECT_EQ(std::count(block, block + 12, 0xDD), 12);
  std_GuardedFree(block);
  EXPECT_EQ(g_freedBytes, std::vector<uint8_t>(16, 0xBB));
  std_GuardedFree(nullptr);
}

std::string g_printed;

int CapturePrinter(const char* format, ...) {
  va_list args;
  va_start(args, format);
  char text[1100];
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  g_printed = text;
  return 1;
}

TEST(Utilities, AssertionPrinters) {
  const std_Printer printer = CapturePrinter;
  EXPECT_EQ(std_AssertPrintf(printer, "/src/std/stdThing.cpp", 12, "bad %s %d", "value", 5), 0);
  EXPECT_EQ(g_printed, "stdThing.cpp(12): bad value 5");
  g_printed.clear();
  EXPECT_EQ(std_AssertPrintf(nullptr, "a.cpp", 1, "x"), 0);
  EXPECT_EQ(g_printed, "");
  std_AssertPrintf(printer, "a.cpp", 1, "%s", std::string(2000, 'x').c_str());
  EXPECT_EQ(g_printed.size(), 1023u);  // one line of at most 1024 bytes
  ::testing::internal::CaptureStdout();
  std_PrintAssert("x != 0", "stdThing.cpp", 40);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "[ASSERT] stdThing.cpp(40): x != 0\n");
}

uint32_t g_ticks = 0;

TEST(Utilities, WaitSecondsCountsTicksAcrossTheWrap) {
  HostServices hs = StartedServices();
  hs.getTicks = [] { return g_ticks += 7; };
  std_Startup(&hs);
  for (uint32_t start : {1000u, 0xFFFFFFF0u}) {
    g_ticks = start;
    const uint32_t end = std_WaitSeconds(0.05f);  // 50 ticks from the first reading
    EXPECT_GE(static_cast<int32_t>(end - (start + 7 + 50)), 0) << start;
    EXPECT_LT(static_cast<int32_t>(end - (start + 7 + 50)), 7) << start;
  }
  g_ticks = 5;
  EXPECT_EQ(std_WaitSeconds(0.0f), 12u);
}

TEST(Utilities, ConfigLinesSkipBlankAndCommentLines) {
  HostServices hs = StartedServices();
  std_Startup(&hs);
  WriteAll("config.txt", "  # note\n\n\t\n\t Value one\r\n#x\nlast Line");
  const stdFile_t file = hs.fileOpen("config.txt", "rb");
  ASSERT_NE(file, 0);
  char line[64];
  ASSERT_EQ(std_ReadConfigLine(file, line, sizeof line), 1);
  EXPECT_STREQ(line, "\t VALUE ONE");
  ASSERT_EQ(std_ReadConfigLine(file, line, sizeof line), 1);
  EXPECT_STREQ(line, "LAST LINE");
  EXPECT_EQ(std_ReadConfigLine(file, line, sizeof line), 0);
  hs.fileClose(file);
}

TEST(Utilities, ErrorTextRemembersTheLastMatch) {
  const stdErrorText table[] = {{1, "one"}, {-7, "minus seven"}};
  EXPECT_STREQ(std_LookupErrorText(3, table, 2), "Unknown Error");
  EXPECT_STREQ(std_LookupErrorText(-7, table, 2), "minus seven");
  EXPECT_STREQ(std_LookupErrorText(99, table, 2), "minus seven");
  EXPECT_STREQ(std_LookupErrorText(1, table, 1), "one");
  EXPECT_STREQ(std_LookupErrorText(-7, table, 1), "one");  // only the first row is searched
}

TEST(Utilities, DisplayDeviceList) {
  HostServices hs = StartedServices();
  std_Startup(&hs);
  ASSERT_EQ(stdDisplay_Startup(), 1);
  const int64_t before = stdMemory_GetStats().liveBytes;
  stdDisplayDeviceList* list = std_ListDisplayDevices();
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count, stdDisplay_GetNumDevices());
  ASSERT_GE(list->count, 1);
  const stdDisplayDeviceEntry& first = list->entries[0];
  EXPECT_STREQ(first.device.name, stdDisplay_GetDevice(0)->name);
  ASSERT_EQ(first.numModes, 1);
  EXPECT_EQ(first.modes[0].format.width, 640);
  EXPECT_EQ(first.modes[0].format.height, 480);
  EXPECT_EQ(first.num3DDevices, 0);
  EXPECT_EQ(first.devices3D, nullptr);
  EXPECT_EQ(stdDisplay_Open(0), 1) << "every device was closed again";
  stdDisplay_Close();
  std_FreeDisplayDeviceList(list);
  EXPECT_EQ(stdMemory_GetStats().liveBytes, before);
  std_FreeDisplayDeviceList(nullptr);
  stdDisplay_Shutdown();
}

}  // namespace
