#include "vembra/vembra_timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "platform/kv_Thread.h"

namespace {

struct Fired {
  std::vector<int> ticks;  // tick numbers at which the callback ran
  int tick = 0;
};

void Record(int, void* context) {
  auto* f = static_cast<Fired*>(context);
  f->ticks.push_back(f->tick);
}

class TimerTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(vembra_timer_Start(false), 0); }
  void TearDown() override { vembra_timer_Stop(); }
  void Ticks(int n, Fired* f) {
    for (int i = 0; i < n; ++i) {
      ++f->tick;
      vembra_timer_Tick();
    }
  }
  VembraTimerTable* t = vembra_timer_Table();
};

TEST_F(TimerTest, FifteenPerSecondFiresOnFifthTickThenEveryFour) {
  for (uint32_t flags : {0u, kVembraTimerFirstPass, kVembraTimerThirdPass}) {
    Fired f;
    int id = t->Create(Record, 79545, flags, &f);
    ASSERT_NE(id, 0);
    Ticks(13, &f);
    EXPECT_EQ(f.ticks, (std::vector<int>{5, 9, 13})) << flags;
    t->Delete(id);
  }
  EXPECT_EQ(t->GetIncrement(), 19886);
}

TEST_F(TimerTest, OneShotKeepsItsSlotWithPeriodZero) {
  Fired f;
  int id = t->Create(Record, 19886 * 2, kVembraTimerOneShot, &f);
  Ticks(6, &f);
  EXPECT_EQ(f.ticks, std::vector<int>{2});
  // The slot is still taken: the next Create gets another id.
  Fired g;
  EXPECT_NE(t->Create(Record, 0, 0, &g), id);
  t->SetPeriod(id, 19886);
  Ticks(1, &f);
  EXPECT_EQ(f.ticks, (std::vector<int>{2, 7}));
}

TEST_F(TimerTest, AdjustCorrectsExternallySynchronisedTimers) {
  Fired f;
  int id = t->Create(Record, 100000, kVembraTimerExternalSync, &f);
  Ticks(2, &f);  // A = B = 39772
  t->Adjust(0);  // B cleared, A unchanged
  Ticks(2, &f);  // A = 79544, B = 39772
  EXPECT_TRUE(f.ticks.empty());
  t->Adjust(39772 + 20456);  // A += elapsed - B: exactly one period
  Ticks(1, &f);
  EXPECT_EQ(f.ticks, std::vector<int>{5});
  t->Delete(id);
}

TEST_F(TimerTest, TwentiethCreateGivesZero) {
  Fired f;
  for (int i = 1; i <= 19; ++i) EXPECT_EQ(t->Create(Record, 0, 0, &f), i);
  EXPECT_EQ(t->Create(Record, 0, 0, &f), 0);
  t->Delete(0);   // ignored
  t->Delete(20);  // ignored
  t->Delete(7);
  EXPECT_EQ(t->Create(Record, 0, 0, &f), 7);
}

TEST_F(TimerTest, SuspendStopsFiringButNotTime) {
  Fired f;
  t->Create(Record, 19886 * 3, 0, &f);
  Ticks(2, &f);
  t->Suspend();
  int32_t before = t->GetTime();
  Ticks(5, &f);
  EXPECT_EQ(t->GetTime() - before, 5 * 19886);
  EXPECT_TRUE(f.ticks.empty());
  t->Resume();
  Ticks(1, &f);  // the accumulators continue from two ticks
  EXPECT_EQ(f.ticks, std::vector<int>{8});
}

void DeleteSelf(int id, void* context) {
  ++*static_cast<int*>(context);
  vembra_timer_Table()->Delete(id);
}

TEST_F(TimerTest, CallbackMayDeleteItsOwnTimer) {
  int calls = 0;
  t->Create(DeleteSelf, 1, 0, &calls);  // would fire 19886 times in one tick
  vembra_timer_Tick();
  vembra_timer_Tick();
  EXPECT_EQ(calls, 1);
}

TEST(TimerThread, StartsTicksAndJoins) {
  ASSERT_EQ(vembra_timer_Start(true), 0);
  VembraTimerTable* t = vembra_timer_Table();
  std::atomic<int> calls{0};
  int id = t->Create([](int, void* c) { ++*static_cast<std::atomic<int>*>(c); }, 19886, 0, &calls);
  t->Wait(3 * 19886);
  for (int i = 0; i < 5000 && calls < 3; ++i) kv_Platform_Delay(1);
  EXPECT_GE(calls.load(), 3);
  t->Delete(id);
  int after = calls;
  kv_Platform_Delay(40);
  EXPECT_EQ(calls.load(), after);  // a deleted timer never runs again
  vembra_timer_Stop();
  t->Wait(1000000);  // returns at once when not started
}

}  // namespace
