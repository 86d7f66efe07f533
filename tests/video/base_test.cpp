// The player's exception, thread base and data sources.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>
#include <vector>

#include "../TestTempDir.h"
#include "video/KineBase.h"
#include "video/KineDataSource.h"

TEST(KineException, FileAfterSrcOrWholePath) {
  EXPECT_EQ(_KineGenericException("m", "a/src/video/KineVideoManager.cpp", 1).file,
            "video/KineVideoManager.cpp");
  EXPECT_EQ(_KineGenericException("m", "src\\Theora\\Clip.cpp", 1).file, "Theora\\Clip.cpp");
  EXPECT_EQ(_KineGenericException("m", "lib/Other.cpp", 1).file, "lib/Other.cpp");
}

TEST(KineException, FullText) {
  _KineGenericException e("boom", "x/src/video/KineVideoManager.cpp", 42);
  EXPECT_EQ(e.GetFullText(), "KineGenericException: [video/KineVideoManager.cpp:42] - boom");
  EXPECT_EQ(e.GetMessageText(), "boom");
  EXPECT_EQ(_KineGenericException("alone", "", 7, "").GetFullText(), "alone");
}

namespace {
std::vector<std::string> g_lines;
void Capture(const std::string& text) {
  g_lines.push_back(text);
}
}  // namespace

TEST(KineException, ReportThroughLogFunction) {
  g_lines.clear();
  KineSetLogFunction(Capture);
  _KineGenericException("bad", "", 1, "").Report();
  KineSetLogFunction(nullptr);
  ASSERT_EQ(g_lines.size(), 1u);
  EXPECT_EQ(g_lines[0], "----------------\nException Error!\n\nbad\n----------------");
}

namespace {
struct CountingThread : KineThread {
  std::atomic<int> runs{0};
  void Execute() override { runs++; }
};
}  // namespace

TEST(KineThread, JoinAfterBodyReturned) {
  CountingThread t;
  t.Start();
  while (t.runs.load() == 0) std::this_thread::yield();
  t.Join();
  EXPECT_FALSE(t.IsRunning());
  EXPECT_EQ(t.runs.load(), 1);
  t.Join();  // nothing held: returns at once
}

// The holder locks twice; the mutex stays held until the second unlock. A
// second thread that waits for it meanwhile gets in only after that, so it
// always sees the stage set just before the last unlock.
TEST(KineMutex, HolderMayLockAgain) {
  KineMutex m;
  std::atomic<int> stage{0};
  std::atomic<bool> waiting{false};
  int seen = -1;
  m.Lock();
  m.Lock();
  std::thread other([&] {
    waiting = true;
    m.Lock();
    seen = stage.load();
    m.Unlock();
  });
  while (!waiting.load()) std::this_thread::yield();
  m.Unlock();
  stage = 1;  // still held once: the other thread must not get in here
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  stage = 2;
  m.Unlock();
  other.join();
  EXPECT_EQ(seen, 2);
}

TEST(KineDataSource, MissingFileThrowsOnFirstUse) {
  std::string name = vqtest::TempDir() + "/missing.ogv";
  KineFileDataSource source(name);
  EXPECT_EQ(source.Tell(), 0);
  char buf[4];
  try {
    source.Read(buf, 4);
    FAIL() << "no exception";
  } catch (const _KineGenericException& e) {
    EXPECT_EQ(e.GetMessageText(), "Can't open video file: " + name);
  }
  EXPECT_THROW(KineMemoryFileDataSource{name}, _KineGenericException);
}

TEST(KineDataSource, FileAndMemoryRead) {
  std::string name = vqtest::TempDir() + "/bytes.bin";
  {
    std::ofstream out(name, std::ios::binary);
    for (int i = 0; i < 300; ++i) out.put(static_cast<char>(i));
  }
  KineFileDataSource file(name);
  EXPECT_EQ(file.GetSize(), 300);
  file.Seek(295);
  unsigned char buf[100];
  EXPECT_EQ(file.Read(buf, 100), 5);
  EXPECT_EQ(buf[0], 295 & 255);
  EXPECT_EQ(file.Describe(), name);

  KineMemoryFileDataSource mem(name);
  EXPECT_EQ(mem.Describe(), "MEM:" + name);
  EXPECT_EQ(mem.GetSize(), 300);
  mem.Seek(290);
  EXPECT_EQ(mem.Read(buf, 100), 10);
  EXPECT_EQ(buf[0], 290 & 255);
  EXPECT_EQ(mem.Tell(), 300);
  EXPECT_EQ(mem.Read(buf, 100), 0);
  // Past the end or a negative count reads nothing.
  mem.Seek(1000);
  EXPECT_EQ(mem.Read(buf, 10), 0);
  mem.Seek(0);
  EXPECT_EQ(mem.Read(buf, -5), 0);
  EXPECT_EQ(mem.Tell(), 0);
}
