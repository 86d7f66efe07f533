// The Theora clip over clips made by the project's Ogg writer, with the load
// and decode steps called directly (the manager's worker never sees them).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>

#include "OggWriter.h"
#include "VideoTestClips.h"
#include "video/KineVideoClip_Theora.h"
#include "video/KineVideoManager.h"

namespace {

// A sink that keeps what it is given.
struct CollectingSink : KineAudioInterface {
  using KineAudioInterface::KineAudioInterface;
  void QueueSamples(const float*, int count) override { received += count; }
  int received = 0;
};
struct CollectingFactory : KineAudioInterfaceFactory {
  KineAudioInterface* CreateInstance(KineVideoClip* clip, int channels, int frequency) override {
    return new CollectingSink(clip, channels, frequency);
  }
};

const std::vector<uint8_t>& Fixture(const std::string& key) {
  static std::map<std::string, std::vector<uint8_t>> made;
  auto it = made.find(key);
  if (it != made.end()) return it->second;
  OggWriterOptions o;
  if (key == "video") {
    o.frames = 50;
  } else if (key == "gereng") {
    o.frames = 10;
    o.audioLanguages = {"ger", "eng"};
  } else if (key == "both") {
    o.frames = 10;
    o.audioLanguages = {"ger eng", "ger"};
  } else if (key == "none") {
    o.frames = 10;
    o.audioLanguages = {"", "klingon"};
  } else if (key == "long") {
    o.frames = 100;
    o.audioLanguages = {"eng"};
  } else if (key == "ffmpeg") {
    // Made by another tool, longer than the window the length is looked for
    // in: 400 frames of 160x120 at 25 fps, Vorbis streams "ger" and "eng".
    std::ifstream in(std::string(std::getenv("VQ_FIXTURES")) + "/video/two_languages.ogv",
                     std::ios::binary);
    return made[key] = std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
  }
  return made[key] = OggWriter_Write(o);
}

// Counts the source's seeks to positions other than 0.
struct CountingSource : KineMemoryFileDataSource {
  using KineMemoryFileDataSource::KineMemoryFileDataSource;
  void Seek(int32_t p) override {
    if (p != 0) ++nonZeroSeeks;
    KineMemoryFileDataSource::Seek(p);
  }
  int nonZeroSeeks = 0;
};

class TheoraClipTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KineSetLogFunction(LogCapture::Log);
    manager = std::make_unique<KineVideoManager>(1);
  }
  void TearDown() override {
    manager.reset();
    KineSetLogFunction(nullptr);
  }
  std::unique_ptr<KineVideoClip_Theora> Open(const std::string& key, uint32_t track = 0,
                                             int mode = TH_RGBX, int precached = 4) {
    const std::vector<uint8_t>& bytes = Fixture(key);
    source = new CountingSource(key, bytes.data(), static_cast<int32_t>(bytes.size()));
    auto clip = std::make_unique<KineVideoClip_Theora>(source, mode, precached, false, track);
    clip->Load(source);
    return clip;
  }
  // Decode steps until a frame is ready; its number, or -1.
  int NextFrame(KineVideoClip_Theora& clip) {
    for (int i = 0; i < 4; ++i) {
      clip.DecodeFrame();
      KineVideoFrame* f = clip.GetFrameQueue()->PeekReady();
      if (f) {
        int n = f->number;
        clip.GetFrameQueue()->Pop();
        return n;
      }
    }
    return -1;
  }
  std::unique_ptr<KineVideoManager> manager;
  CountingSource* source = nullptr;
  CollectingFactory factory;
};

}  // namespace

TEST_F(TheoraClipTest, VideoOnlyDecodesEveryFrameAndLoops) {
  auto clip = Open("video");
  EXPECT_EQ(clip->GetWidth(), 64);
  EXPECT_EQ(clip->GetHeight(), 48);
  EXPECT_EQ(clip->GetStride(), 64);
  EXPECT_FLOAT_EQ(clip->GetFps(), 25.0f);
  EXPECT_EQ(clip->GetFrameCount(), 50);
  EXPECT_FLOAT_EQ(clip->GetDuration(), 2.0f);
  EXPECT_FALSE(clip->HasAudio());
  EXPECT_EQ(clip->GetAudioInterface(), nullptr);
  EXPECT_EQ(clip->GetDecoderName(), "Theora");
  clip->Pause();
  for (int n = 0; n < 50; ++n) {
    ASSERT_TRUE(clip->DecodeFrame());
    KineVideoFrame* f = clip->GetFrameQueue()->PeekReady();
    ASSERT_NE(f, nullptr) << n;
    EXPECT_EQ(f->number, n);
    EXPECT_NEAR(f->timeToDisplay, n / 25.0f, 1e-5);
    // TH_RGBX: the spare byte stays 255.
    EXPECT_EQ(f->GetBuffer()[3], 255);
    EXPECT_EQ(f->GetBuffer()[4 * 64 * 48 - 1], 255);
    clip->GetFrameQueue()->Pop();
  }
  // The end of the data: nothing more, the step still counts as done.
  EXPECT_TRUE(clip->DecodeFrame());
  EXPECT_EQ(clip->GetFrameQueue()->CountReady(), 0);
  EXPECT_EQ(clip->GetFrameQueue()->CountInUse(), 0);
  EXPECT_FALSE(clip->IsRestarted());
  // Looping: the decoder restarts at the first frame.
  clip->SetAutoRestart(true);
  EXPECT_TRUE(clip->DecodeFrame());
  EXPECT_TRUE(clip->IsRestarted());
  EXPECT_EQ(NextFrame(*clip), 0);
}

TEST_F(TheoraClipTest, AMovieLongerThanTheLengthWindowKnowsItsLengthAndLoopsAtItsEnd) {
  manager->SetAudioFactory(&factory);
  LogCapture::Clear();
  auto clip = Open("ffmpeg");
  ASSERT_GT(Fixture("ffmpeg").size(), 204800u);
  EXPECT_EQ(LogCapture::Count("unable to determine file duration!"), 0);
  EXPECT_EQ(clip->GetWidth(), 160);
  EXPECT_FLOAT_EQ(clip->GetFps(), 25.0f);
  EXPECT_EQ(clip->GetFrameCount(), 400);
  EXPECT_FLOAT_EQ(clip->GetDuration(), 16.0f);
  EXPECT_EQ(clip->GetVorbisStreamCount(), 2);
  EXPECT_EQ(clip->GetChosenVorbisStream(), 1u);  // eng
  // Every frame decodes, then the decoder starts over.
  clip->SetAutoRestart(true);
  clip->Pause();
  int frames = 0, last = -1;
  for (int step = 0; step < 1000 && !clip->IsRestarted(); ++step) {
    clip->DecodeFrame();
    while (KineVideoFrame* f = clip->GetFrameQueue()->PeekReady()) {
      last = f->number;
      ++frames;
      clip->GetFrameQueue()->Pop();
    }
  }
  ASSERT_TRUE(clip->IsRestarted());
  EXPECT_EQ(frames, 400);
  EXPECT_EQ(last, 399);
  // The clock wraps into the next loop at the movie's end, not before.
  clip->GetTimer()->Seek(0.0f);
  clip->Play();
  clip->Update(15.9f);
  EXPECT_EQ(clip->GetIteration(), 0);
  EXPECT_TRUE(clip->IsRestarted());
  clip->Update(0.2f);
  EXPECT_EQ(clip->GetIteration(), 1);
  EXPECT_NEAR(clip->GetTime(), 0.1f, 1e-3);
  EXPECT_EQ(NextFrame(*clip), 0);
}

TEST_F(TheoraClipTest, AudioTrackChoice) {
  manager->SetAudioFactory(&factory);
  struct Case {
    const char* key;
    uint32_t track;
    uint32_t chosen;
  } cases[] = {
      {"gereng", 0, 1},  // eng is the second stream
      {"gereng", 2, 0},  // ger the first
      {"gereng", 3, 0},  // ita: none, stream 0
      {"both", 0, 0},    // "ger eng" counts as eng, first in the list
      {"both", 2, 1},   {"none", 1, 0},
  };
  for (const Case& c : cases) {
    auto clip = Open(c.key, c.track);
    EXPECT_EQ(clip->GetVorbisStreamCount(), 2) << c.key;
    EXPECT_EQ(clip->GetChosenVorbisStream(), c.chosen) << c.key << " track " << c.track;
    EXPECT_NE(clip->GetAudioInterface(), nullptr);
    EXPECT_EQ(clip->GetAudioFrequency(), 48000u);
    EXPECT_EQ(clip->GetAudioChannels(), 2u);
  }
}

TEST_F(TheoraClipTest, NoFactoryNoAudio) {
  auto clip = Open("gereng");
  EXPECT_EQ(clip->GetVorbisStreamCount(), 0);
  EXPECT_EQ(clip->GetAudioInterface(), nullptr);
  clip->Pause();
  EXPECT_EQ(NextFrame(*clip), 0);
}

TEST_F(TheoraClipTest, LateFramesSkippedExceptEverySixteenth) {
  auto clip = Open("video");
  clip->Pause();
  clip->GetTimer()->Seek(100.0f);  // every frame is late
  EXPECT_EQ(NextFrame(*clip), 0);
  EXPECT_EQ(NextFrame(*clip), 16);
  EXPECT_EQ(NextFrame(*clip), 32);
  EXPECT_EQ(clip->GetDroppedFrames(), 30);
}

TEST_F(TheoraClipTest, SeekToStartRealignsAudioWithoutBisection) {
  manager->SetAudioFactory(&factory);
  auto clip = Open("long");
  clip->Pause();
  for (int i = 0; i < 20; ++i) clip->DecodeFrame();
  clip->SeekToFrame(0);
  const int seeksBefore = source->nonZeroSeeks;
  clip->PerformSeek();
  EXPECT_EQ(clip->GetBisectionSteps(), 0);
  EXPECT_EQ(source->nonZeroSeeks, seeksBefore);
  EXPECT_EQ(clip->GetSeekFrame(), -1);
  EXPECT_EQ(clip->GetFrameQueue()->CountReady(), 0);
  EXPECT_EQ(NextFrame(*clip), 0);
  const float start = static_cast<float>(clip->GetAudioFramesDecoded()) / 48000.0f;
  EXPECT_NEAR(start - clip->GetQueuedSeconds(), 0.0f, 0.05f);
}

TEST_F(TheoraClipTest, SeekToFrameFortyShowsItWithAudioFromThere) {
  manager->SetAudioFactory(&factory);
  auto clip = Open("long");
  clip->Pause();
  clip->SeekToFrame(40);
  clip->PerformSeek();
  EXPECT_GT(clip->GetBisectionSteps(), 0);
  EXPECT_FLOAT_EQ(clip->GetTime(), 40 / 25.0f);
  // The first queued audio sample is at 40 / 25 s.
  const float end = static_cast<float>(clip->GetAudioFramesDecoded()) / 48000.0f;
  EXPECT_NEAR(end - clip->GetQueuedSeconds(), 1.6f, 0.001f);
  EXPECT_EQ(clip->GetLastDecodedFrame(), 40u);
  EXPECT_EQ(NextFrame(*clip), 40);
  EXPECT_EQ(NextFrame(*clip), 41);
}

TEST_F(TheoraClipTest, BadDataThrows) {
  const std::vector<uint8_t>& good = Fixture("gereng");
  manager->SetAudioFactory(&factory);
  std::vector<std::vector<uint8_t>> bad = {
      {},
      std::vector<uint8_t>(5000, 0x4F),
      std::vector<uint8_t>(good.begin(), good.begin() + 200),
      std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 3),
  };
  for (const auto& bytes : bad) {
    auto* src =
        new KineMemoryFileDataSource("bad", bytes.data(), static_cast<int32_t>(bytes.size()));
    try {
      KineVideoClip_Theora clip(src, TH_RGB, 4, false, 0);
      clip.Load(src);
      clip.Pause();
      for (int i = 0; i < 20; ++i) clip.DecodeFrame();
    } catch (const _KineGenericException&) {
    }
  }
  // A file without a Theora stream is refused with the codec's message.
  auto* src = new KineMemoryFileDataSource("bad", nullptr, 0);
  KineVideoClip_Theora clip(src, TH_RGB, 4, false, 0);
  EXPECT_THROW(clip.Load(src), _KineGenericException);
}
