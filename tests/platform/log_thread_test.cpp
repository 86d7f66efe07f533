// The program log, threads, mutexes, semaphores and time.
#include <SDL.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/kv_Log.h"
#include "platform/kv_Thread.h"

namespace {

std::string ReadAll(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool Exists(const char* path) {
  return std::ifstream(path).good();
}

class Log : public testing::Test {
 protected:
  void SetUp() override {
    kv_Log_ResetForTest();
    std::remove("Test.log");
  }
  void TearDown() override { kv_Log_ResetForTest(); }
};

TEST_F(Log, ClosedLogWritesNothingAnywhere) {
  testing::internal::CaptureStdout();
  kv_Log_Printf("nobody sees %d", 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_FALSE(Exists("Test.log"));
}

TEST_F(Log, LinesAreAppendedAndEchoedAndASecondOpenDoesNotTruncate) {
  testing::internal::CaptureStdout();
  ASSERT_EQ(kv_Log_Open("Test.log"), 1);
  kv_Log_Printf("Args: %s", "-log");
  EXPECT_EQ(kv_Log_Open("Test.log"), 0);
  kv_Log_Printf("second %d", 2);
  const std::string echoed = testing::internal::GetCapturedStdout();
  const std::string file = ReadAll("Test.log");
  EXPECT_EQ(file, echoed);
  EXPECT_EQ(file.rfind("Log started: ", 0), 0u);
  EXPECT_NE(file.find("\nWorking directory: "), std::string::npos);
  EXPECT_NE(file.find("\nArgs: -log\nsecond 2\n"), std::string::npos);
}

TEST_F(Log, LinesAroundTheStackBufferSizeEndWithOneNewline) {
  ASSERT_EQ(kv_Log_Open("Test.log"), 1);
  testing::internal::CaptureStdout();
  for (size_t length : {254u, 255u, 1000u}) kv_Log_Printf("%s", std::string(length, 'a').c_str());
  const std::string echoed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(echoed, std::string(254, 'a') + "\n" + std::string(255, 'a') + "\n" +
                        std::string(1000, 'a') + "\n");
  const std::string file = ReadAll("Test.log");
  EXPECT_EQ(file.substr(file.size() - echoed.size()), echoed);
}

TEST_F(Log, LinesFromManyThreadsNeverInterleave) {
  ASSERT_EQ(kv_Log_Open("Test.log"), 1);
  testing::internal::CaptureStdout();
  auto body = [](void* record) -> int {
    const char letter = static_cast<char>(
        reinterpret_cast<intptr_t>(kv_Thread_GetUserData(static_cast<kv_Thread*>(record))));
    const std::string line(300, letter);
    for (int i = 0; i < 20; ++i) kv_Log_Printf("%s", line.c_str());
    return 0;
  };
  kv_Thread* threads[4];
  for (int i = 0; i < 4; ++i) {
    threads[i] = kv_Thread_Create(body, "log", reinterpret_cast<void*>(intptr_t{'a' + i}), 0, 1);
    ASSERT_NE(threads[i], nullptr);
  }
  for (kv_Thread* t : threads) kv_Thread_Join(t);
  testing::internal::GetCapturedStdout();
  std::istringstream lines(ReadAll("Test.log"));
  std::string line;
  int full = 0;
  while (std::getline(lines, line)) {
    if (line.size() == 300) {
      EXPECT_EQ(line, std::string(300, line[0]));
      ++full;
    }
  }
  EXPECT_EQ(full, 80);
}

TEST(LogStartLine, FixedClockFormatsWithTwoDigitFields) {
  struct tm local {};
  local.tm_year = 2026 - 1900;
  local.tm_mon = 0;  // January
  local.tm_mday = 5;
  local.tm_hour = 7;
  local.tm_min = 59;
  local.tm_sec = 0;
  char line[64];
  kv_Log_FormatStartLine(&local, line, sizeof line);
  EXPECT_STREQ(line, "Log started: 2026/01/05 @ 07:59:00");
}

TEST(Thread, JoinWaitsForABodyThatIgnoresTheFlagAndReturnsItsStatus) {
  static std::atomic<int> finished{0};
  auto body = [](void* record) -> int {
    kv_Thread_ApplyPriority(static_cast<kv_Thread*>(record));
    SDL_Delay(50);  // ignores the running flag
    finished = 1;
    return 42;
  };
  kv_Thread* thread = kv_Thread_Create(body, "ignores", nullptr, 0, 2);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(kv_Thread_Join(thread), 42);
  EXPECT_EQ(finished.load(), 1);
}

TEST(Thread, BodyLoopsUntilJoinClearsRunning) {
  static std::atomic<int> loops{0};
  auto body = [](void* record) -> int {
    auto* self = static_cast<kv_Thread*>(record);
    int* seen = static_cast<int*>(kv_Thread_GetUserData(self));
    while (kv_Thread_IsRunning(self)) {
      ++loops;
      SDL_Delay(1);
    }
    return *seen;
  };
  int value = 7;
  kv_Thread* thread = kv_Thread_Create(body, "loop", &value, 0, 1);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(kv_Thread_IsRunning(thread), 1);
  EXPECT_EQ(kv_Thread_Join(thread), 7);
  EXPECT_EQ(kv_Thread_GetUserData(nullptr), nullptr);
  EXPECT_EQ(kv_Thread_IsRunning(nullptr), 0);
}

TEST(Thread, DetachedThreadFreesItsRecord) {
  // Both orders: the body ends first, or the owner detaches first.
  static kv_Semaphore done;
  done = kv_Semaphore_Create(0);
  auto quick = [](void*) -> int {
    kv_Semaphore_Post(done);
    return 0;
  };
  kv_Thread* ended = kv_Thread_Create(quick, "quick", nullptr, 0, 1);
  ASSERT_NE(ended, nullptr);
  kv_Semaphore_Wait(done);
  SDL_Delay(20);
  kv_Thread_Detach(ended);
  kv_Thread* running = kv_Thread_Create(quick, "quick", nullptr, 0, 1);
  ASSERT_NE(running, nullptr);
  kv_Thread_Detach(running);
  kv_Semaphore_Wait(done);
  SDL_Delay(50);  // let it finish before the leak check at exit
  kv_Semaphore_Destroy(done);
}

TEST(Thread, ThreadThatCouldNotStartYieldsNull) {
  // A stack no machine can map makes thread creation fail.
  SDL_SetHint(SDL_HINT_THREAD_STACK_SIZE, "1000000000000000");
  kv_Thread* thread = kv_Thread_Create([](void*) { return 0; }, "nostack", nullptr, 0, 1);
  SDL_SetHint(SDL_HINT_THREAD_STACK_SIZE, nullptr);
  EXPECT_EQ(thread, nullptr);
  if (thread) kv_Thread_Join(thread);
}

TEST(Lock, MutexKeepsACounterExact) {
  struct Shared {
    kv_Mutex mutex;
    int counter;
  } shared{kv_Mutex_Create(), 0};
  auto body = [](void* record) -> int {
    auto* s = static_cast<Shared*>(kv_Thread_GetUserData(static_cast<kv_Thread*>(record)));
    for (int i = 0; i < 10000; ++i) {
      kv_Mutex_Lock(s->mutex);
      ++s->counter;
      kv_Mutex_Unlock(s->mutex);
    }
    return 0;
  };
  kv_Thread* threads[4];
  for (kv_Thread*& t : threads) t = kv_Thread_Create(body, "count", &shared, 0, 1);
  for (kv_Thread* t : threads) kv_Thread_Join(t);
  EXPECT_EQ(shared.counter, 40000);
  kv_Mutex_Destroy(shared.mutex);
  kv_Mutex_Destroy(nullptr);  // ignored
}

TEST(Lock, SemaphoreCountsPostsAndTryWaitAnswersZeroWhenTaken) {
  kv_Semaphore semaphore = kv_Semaphore_Create(1);
  EXPECT_EQ(kv_Semaphore_TryWait(semaphore), 0);
  EXPECT_NE(kv_Semaphore_TryWait(semaphore), 0);
  kv_Semaphore_Post(semaphore);
  kv_Semaphore_Post(semaphore);
  kv_Semaphore_Wait(semaphore);
  EXPECT_EQ(kv_Semaphore_TryWait(semaphore), 0);
  EXPECT_NE(kv_Semaphore_TryWait(semaphore), 0);
  kv_Semaphore_Destroy(semaphore);
  kv_Semaphore_Destroy(nullptr);
}

TEST(Time, ClocksAdvance) {
  const double a = kv_Platform_GetTimeMs();
  const uint32_t t = kv_Platform_GetTicks();
  kv_Platform_Delay(2);
  EXPECT_GT(kv_Platform_GetTimeMs(), a);
  EXPECT_GE(kv_Platform_GetTicks(), t);
  time_t now = 0;
  kv_Platform_Time(&now);
  struct tm local;
  kv_Platform_LocalTime(&now, &local);
  EXPECT_GE(local.tm_year, 100);
}

}  // namespace
