// The clip's frame choice, clock step and loop wrap over a stub clip whose
// clock the test sets by hand.
#include <gtest/gtest.h>

#include <thread>

#include "VideoTestClips.h"
#include "video/KineBase.h"

TEST(KineVideoClip, FrameDueUpToItsEnd) {
  StubClip clip;  // 4 fps: frames last 0.25 s
  clip.AddReady(1.0f);
  clip.GetTimer()->Seek(0.75f);
  EXPECT_EQ(clip.GetNextFrame(), nullptr);  // not yet due
  clip.GetTimer()->Seek(1.25f);             // exactly time + frame duration
  KineVideoFrame* f = clip.GetNextFrame();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->timeToDisplay, 1.0f);
  EXPECT_EQ(clip.GetDroppedFrames(), 0);
}

TEST(KineVideoClip, LateFramesDroppedButNeverTheLast) {
  StubClip clip;
  clip.AddReady(0.0f);
  clip.AddReady(0.25f);
  clip.AddReady(0.5f);
  clip.GetTimer()->Seek(5.0f);
  KineVideoFrame* f = clip.GetNextFrame();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->timeToDisplay, 0.5f);
  EXPECT_EQ(clip.GetDroppedFrames(), 2);
  EXPECT_EQ(clip.GetDisplayedFrames(), 2);

  StubClip single;
  single.AddReady(0.0f);
  single.GetTimer()->Seek(100.0f);
  EXPECT_NE(single.GetNextFrame(), nullptr);
  EXPECT_EQ(single.GetDroppedFrames(), 0);
}

TEST(KineVideoClip, PendingSeekShowsNothing) {
  StubClip clip;
  clip.AddReady(0.0f);
  clip.SeekToFrame(3);
  EXPECT_EQ(clip.GetNextFrame(), nullptr);
  EXPECT_EQ(clip.GetReadyFrameCount(), 0);
}

TEST(KineVideoClip, ClockRunsPastTheEndWithoutRestart) {
  StubClip clip(4, 4.0f, 1.0f);
  clip.AddReady(0.75f);
  clip.Update(2.0f);
  EXPECT_FLOAT_EQ(clip.GetTime(), 2.0f);
  ASSERT_NE(clip.GetNextFrame(), nullptr);  // the last ready frame
  clip.PopFrame();
  clip.Update(0.5f);
  EXPECT_FLOAT_EQ(clip.GetTime(), 2.5f);
  EXPECT_EQ(clip.GetNextFrame(), nullptr);
  clip.Pause();
  clip.Update(1.0f);
  EXPECT_FLOAT_EQ(clip.GetTime(), 2.5f);
}

TEST(KineVideoClip, GainClamped) {
  StubClip clip;
  const float cases[][2] = {{1.5f, 1.0f}, {-0.2f, 0.0f}, {0.4f, 0.4f}};
  for (auto& c : cases) {
    clip.SetAudioGain(c[0]);
    EXPECT_EQ(clip.GetAudioGain(), c[1]);
  }
}

TEST(KineVideoClip, LoopWrapRetimesTheEndFrame) {
  LogCapture::Clear();
  KineSetLogFunction(LogCapture::Log);
  StubClip clip(4, 4.0f, 2.0f);
  clip.SetAutoRestart(true);
  clip.AddReady(1.5f);
  clip.SetRestarted(true);  // the decoder has wrapped
  clip.GetTimer()->Seek(1.9f);
  clip.Update(0.25f);  // t = 2.15
  KineSetLogFunction(nullptr);
  EXPECT_FALSE(clip.IsRestarted());
  EXPECT_EQ(clip.GetIteration(), 1);
  EXPECT_NEAR(clip.GetTime(), 0.15f, 1e-5);
  KineVideoFrame* f = clip.GetFrameQueue()->PeekReady();
  ASSERT_NE(f, nullptr);
  EXPECT_NEAR(f->timeToDisplay, 0.15f, 1e-5);
  EXPECT_EQ(f->iteration, 1);
  EXPECT_EQ(LogCapture::Count("dropped 1 end frames"), 1);
  EXPECT_EQ(clip.GetNextFrame(), f);  // shown at the start of the new loop
}

TEST(KineVideoClip, LateFramesOfTheNewLoopWaitForTheWrap) {
  StubClip clip(4, 4.0f, 2.0f);
  clip.AddReady(0.0f);
  clip.AddReady(0.25f);
  clip.SetRestarted(true);
  clip.GetTimer()->Seek(1.9f);
  EXPECT_EQ(clip.GetNextFrame(), nullptr);
  EXPECT_EQ(clip.GetDroppedFrames(), 0);
}

TEST(KineVideoClip, OutputModeRebuildsFrames) {
  StubClip clip(3);
  EXPECT_THROW(clip.SetOutputMode(TH_UNDEFINED), _KineGenericException);
  EXPECT_EQ(clip.GetFrameQueue()->GetFrames().front()->bufferSize, 16u * 16u * 4u);
  clip.SetOutputMode(TH_GREY);
  EXPECT_EQ(clip.GetOutputMode(), TH_GREY);
  EXPECT_EQ(clip.GetFrameQueue()->GetSize(), 3);
  for (auto& f : clip.GetFrameQueue()->GetFrames()) {
    EXPECT_EQ(f->bufferSize, 16u * 16u);
    EXPECT_EQ(f->GetBuffer()[0], 0xFF);
  }
}

TEST(KineVideoClip, StopAndWaitForCache) {
  StubClip clip;
  clip.AddReady(0.0f);
  clip.AddReady(0.25f);
  clip.WaitForCache(0.5f, 1.0f);  // 2 of 4 ready: ends at once
  EXPECT_FALSE(clip.IsPaused());
  EXPECT_EQ(clip.GetPrecachedReadyCount(), 2.0f);
  clip.Stop();
  EXPECT_TRUE(clip.IsPaused());
  EXPECT_EQ(clip.GetSeekFrame(), 0);
  EXPECT_EQ(clip.GetFrameQueue()->CountReady(), 0);
}
