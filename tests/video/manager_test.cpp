// The manager: its texts, the scheduling rule over stub clips, and a clip
// destroyed while a worker decodes it.
#include <gtest/gtest.h>

#include <thread>

#include "VideoTestClips.h"
#include "video/KineVideoManager.h"

namespace {

// A manager whose clip list the test fills; without workers for the
// scheduler cases, so that only the test picks.
struct TestManager : KineVideoManager {
  TestManager() : KineVideoManager(1) {}
  void StopWorkers() { DestroyWorkers(); }
  StubClip* Add(StubClip* clip) {
    AddClip(clip);
    return clip;
  }
  size_t HistorySize() const { return pickHistory.size(); }
};

struct ManagerTest : ::testing::Test {
  void SetUp() override {
    LogCapture::Clear();
    KineSetLogFunction(LogCapture::Log);
  }
  void TearDown() override { KineSetLogFunction(nullptr); }
};

}  // namespace

TEST_F(ManagerTest, TextsAndWorkerCounts) {
  try {
    KineVideoManager bad(0);
    FAIL();
  } catch (const _KineGenericException& e) {
    EXPECT_EQ(e.GetMessageText(),
              "Unable to create KineVideoManager, at least "
              "one worker thread is reqired");
    const std::string tail = "video/KineVideoManager.cpp";
    ASSERT_GE(e.file.size(), tail.size());
    EXPECT_EQ(e.file.substr(e.file.size() - tail.size()), tail);
  }
  KineVideoManager manager(1);
  EXPECT_EQ(KineVideoManager::GetInstance(), &manager);
  EXPECT_EQ(manager.GetVersionString(), "0.1 RC4");
  EXPECT_EQ(manager.GetDecoderNames(), std::vector<std::string>{"Theora"});
  ASSERT_FALSE(LogCapture::Lines().empty());
  EXPECT_EQ(LogCapture::Lines().back().rfind("Initializing Kine Playback Library (0.1 RC4)\n", 0),
            0u);
  LogCapture::Clear();
  manager.SetWorkerCount(1);
  EXPECT_TRUE(LogCapture::Lines().empty());
  manager.SetWorkerCount(2);
  EXPECT_EQ(LogCapture::Count("changing number of worker threats to: 2"), 1);
  EXPECT_EQ(manager.GetWorkerCount(), 2);
  EXPECT_THROW(manager.SetWorkerCount(0), _KineGenericException);
  EXPECT_EQ(manager.GetWorkerCount(), 2);
  try {
    manager.CreateClip("/nonexistent/movie.ogv", TH_RGBX);
    FAIL();
  } catch (const _KineGenericException& e) {
    EXPECT_EQ(e.GetMessageText(), "Can't open video file: /nonexistent/movie.ogv");
  }
  EXPECT_EQ(manager.FindClip("/nonexistent/movie.ogv"), nullptr);
}

TEST_F(ManagerTest, InstanceClearedWithItsManager) {
  { KineVideoManager manager(1); }
  EXPECT_EQ(KineVideoManager::GetInstance(), nullptr);
}

TEST_F(ManagerTest, Scheduler) {
  TestManager m;
  m.StopWorkers();
  KineWorkerThread w1, w2;

  // One clip: picked whenever its queue is not full, paused or not; no history.
  StubClip* a = m.Add(new StubClip(4, 4.0f));
  EXPECT_EQ(m.PickClipToDecode(&w1), a);
  EXPECT_EQ(m.PickClipToDecode(&w2), nullptr);  // held by w1
  a->assignedWorker = nullptr;
  a->Pause();
  EXPECT_EQ(m.PickClipToDecode(&w1), a);  // second pass
  a->assignedWorker = nullptr;
  EXPECT_EQ(m.HistorySize(), 0u);
  for (int i = 0; i < 4; ++i) a->AddReady(0.0f);
  EXPECT_EQ(m.PickClipToDecode(&w1), nullptr);  // full
  a->SeekToFrame(2);                            // a pending seek counts 0 ready
  EXPECT_EQ(m.PickClipToDecode(&w1), a);
  a->assignedWorker = nullptr;
  a->SeekToFrame(-1);
  a->Play();

  // Two clips of equal priority: the less buffered one gets the larger share.
  StubClip* b = m.Add(new StubClip(4, 4.0f));
  a->GetFrameQueue()->Clear();
  a->AddReady(0.0f);
  a->AddReady(0.25f);
  b->AddReady(0.0f);
  EXPECT_EQ(m.PickClipToDecode(&w1), b);
  b->assignedWorker = nullptr;
  EXPECT_EQ(m.HistorySize(), 1u);
  EXPECT_EQ(b->pickCount, 1);

  // All paused and none waiting for its cache: the second pass still picks.
  a->Pause();
  b->Pause();
  EXPECT_NE(m.PickClipToDecode(&w1), nullptr);
}

TEST_F(ManagerTest, DestroyWaitsForTheWorker) {
  TestManager m;
  StubClip* clip = m.Add(new StubClip(4, 4.0f, 10.0f, "held"));
  clip->holdDecode = true;
  while (!clip->entered.load()) std::this_thread::yield();
  std::thread releaser([clip] {
    while (LogCapture::Count("Waiting for WorkerThread to finish decoding in "
                             "order to destroy") == 0) {
      std::this_thread::yield();
    }
    clip->holdDecode = false;
  });
  m.DestroyClip(clip);
  releaser.join();
  EXPECT_EQ(LogCapture::Count("Destroying video clip: held"), 1);
  EXPECT_EQ(LogCapture::Count("Waiting for WorkerThread to finish decoding in order to destroy"),
            1);
  EXPECT_EQ(LogCapture::Count("WorkerThread done, destroying.."), 1);
  EXPECT_EQ(LogCapture::Count("Destroyed video."), 1);
  EXPECT_EQ(m.FindClip("held"), nullptr);
}
