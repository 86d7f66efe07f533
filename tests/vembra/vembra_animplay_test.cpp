// The movie player, over movies from the .snm writer, a fake timer whose
// callbacks the test fires, a fake voice clock and a recording fake decoder.
#include "vembra/vembra_animplay.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "SnmWriter.h"
#include "../TestTempDir.h"
#include "VembraTestHost.h"
#include "VembraTestSupport.h"
#include "vembra/vembra_animframe.h"
#include "vembra/vembra_streamer.h"
#include "vembra/vembra_timer.h"

namespace {

using snm::Bytes;

// ---- Fakes ------------------------------------------------------------------------

struct Decoded {
  std::string payload;
  uint32_t flags;
};
std::vector<Decoded> g_decoded;

uint32_t FakeDecode(VembraBitmap*, const VembraRect*, int32_t, int32_t, uint8_t*,
                    const uint8_t* p, int32_t n, uint32_t flags, int32_t, int32_t) {
  Vembra_CountDecodedFrame();
  g_decoded.push_back({std::string(reinterpret_cast<const char*>(p), size_t(n)), flags});
  return 1;
}
VembraFlobdec g_decoder = {nullptr, [] { return VembraTag("Bl16"); }, [] { return 0u; }, [] {},
                           [](const uint8_t*, int32_t) {}, FakeDecode, nullptr, nullptr};

struct FakeTimer {
  VembraTimerCallback callback = nullptr;
  void* context = nullptr;
  int32_t period = 0;
  uint32_t flags = 0;
};
std::vector<FakeTimer> g_timers(20);

VembraTimerTable g_timerTable = {
    [](VembraTimerCallback cb, int32_t period, uint32_t flags, void* context) {
      for (int id = 1; id < 20; ++id) {
        if (g_timers[size_t(id)].callback) continue;
        g_timers[size_t(id)] = {cb, context, period, flags};
        return id;
      }
      return 0;
    },
    [](int id) {
      if (id > 0 && id < 20) g_timers[size_t(id)] = {};
    },
    nullptr,
    nullptr,
    [](int id, int32_t period) {
      if (id > 0 && id < 20) g_timers[size_t(id)].period = period;
    },
    [](int32_t) {},
    [] { return int32_t(0); },
    [] { return kVembraTimerIncrement; },
    [](int32_t) {},
    -1};

// The one-shot sync timer marks a frame due.
void FireSync() {
  for (int id = 1; id < 20; ++id) {
    FakeTimer& t = g_timers[size_t(id)];
    if (t.callback && (t.flags & kVembraTimerOneShot)) t.callback(id, t.context);
  }
}

int32_t g_clockMs = 0;
int32_t FakeClock(int) {
  return g_clockMs;
}

int RegisterFakes(OrnShareServices* s, const char*) {
  s->Publish("FLOBDEC=fake", &g_decoder);
  s->Publish("TIMER=fake", &g_timerTable);
  return 0;
}

const OrnModuleListEntry kModules[] = {{vembratest::RegisterTestMemory, nullptr},
                                       {vembratest::RegisterTestStdio, nullptr},
                                       {vembra_bitmap_Register, nullptr},
                                       {RegisterFakes, nullptr},
                                       {vembra_streamer_Register, nullptr},
                                       {vembra_animframe_Register, nullptr},
                                       {vembra_animplay_Register, nullptr},
                                       {nullptr, nullptr}};

// A movie of `frames` frames, each a "Bl16" sub-block naming its number.
Bytes Movie(int frames, uint32_t periodUs = 0, int bigFrame = -1) {
  snm::Header header;
  header.frameCount = int16_t(frames);
  header.width = 64;
  header.height = 48;
  header.periodUs = periodUs;
  header.palette[4] = 77;
  snm::Movie movie(header);
  movie.Anno("made by the test");
  movie.Flhd(snm::Block("Bl16", Bytes(6, 0)));
  for (int i = 0; i < frames; ++i) {
    const std::string name = "frame " + std::to_string(i);
    Bytes payload(name.begin(), name.end());
    if (i == bigFrame) {
      // Far enough into the file that it is not read ahead at the open.
      for (int k = 0; k < 3; ++k) movie.Anno(std::string(30000, 'a'));
      payload.resize(60000, 'x');
    }
    movie.Frame(snm::Block("Bl16", payload));
  }
  return movie.Build();
}

std::string WriteMovie(const std::string& name, const Bytes& bytes) {
  const std::string path = vqtest::TempDir() + "/" + name;
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              std::streamsize(bytes.size()));
  return path;
}

class AnimPlayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vembratest::Messages().clear();
    OrnShare_Init(vembratest::RecordingPrinter, kModules, nullptr, nullptr);
    ASSERT_EQ(OrnShare_Startup(), 0);
    vembra_animplay_SetVoiceClock(FakeClock);
    g_decoded.clear();
    g_clockMs = 0;
    palette.assign(1024, 0);
  }
  void TearDown() override {
    ap->Close(&h);
    vembra_animplay_SetVoiceClock(nullptr);
    OrnShare_Shutdown();
    OrnShare_UnregisterAll();
  }
  void Open(const Bytes& movie, int32_t largest = 20000) {
    path = WriteMovie("player.snm", movie);
    ASSERT_EQ(ap->Open(&h, path.c_str(), 15, 100000, largest, 0x600D), 0);
  }
  // One step with a frame due; the result.
  int Step() {
    FireSync();
    return ap->Step(h, nullptr, nullptr, 0, 0, palette.data(), &frameFlags, &paletteFlags, 1, 0);
  }
  // Steps until a frame is shown (or something else than waiting happens).
  int StepFrame() {
    int r = kAnimWaitingData;
    for (int i = 0; i < 50 && (r == kAnimWaitingData || r == kAnimNotDue); ++i) r = Step();
    return r;
  }
  VembraAnimPlayTable* ap = vembra_animplay_Table();
  VembraAnimPlay* h = nullptr;
  std::string path;
  std::vector<uint8_t> palette;
  uint32_t frameFlags = 0, paletteFlags = 0;
};

TEST_F(AnimPlayTest, PlaysEveryFrameInOrderThenTheLast) {
  Open(Movie(12));
  std::vector<int> results;
  for (int i = 0; i < 12; ++i) results.push_back(StepFrame());
  EXPECT_EQ(results, (std::vector<int>{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 4}));
  ASSERT_EQ(g_decoded.size(), 12u);
  EXPECT_EQ(g_decoded[0].payload, "frame 0");
  EXPECT_EQ(g_decoded[11].payload, "frame 11");
  // The host's flags (0x2000) keep the header's palette out; the decoders get
  // no late mark.
  EXPECT_EQ(palette[4], 0);
  EXPECT_EQ(g_decoded[5].flags, 0u);
  // Without a frame due nothing happens.
  EXPECT_EQ(ap->Step(h, nullptr, nullptr, 0, 0, palette.data(), &frameFlags, &paletteFlags, 1, 0),
            kAnimNotDue);
}

TEST_F(AnimPlayTest, DelayStaysWithinThreeQuartersAndFourThirds) {
  Open(Movie(60));
  EXPECT_EQ(vembra_animplay_CurrentDelay(h), 79545);
  int32_t low = INT32_MAX, high = 0;
  for (int i = 0; i < 60; ++i) {
    // The sound runs far ahead for a while, then far behind.
    g_clockMs = i < 30 ? (i + 20) * 67 : 0;
    StepFrame();
    const int32_t d = vembra_animplay_CurrentDelay(h);
    low = std::min(low, d);
    high = std::max(high, d);
    ASSERT_GE(d, 59658) << i;
    ASSERT_LE(d, 106060) << i;
  }
  EXPECT_EQ(low, 59658);
  EXPECT_EQ(high, 106060);
  EXPECT_EQ(ap->GetFrameDelayMs(h), 106060 * 1000 / 1193180);
}

TEST_F(AnimPlayTest, ThreeFramesOfLagMarkFramesLateUntilTheLagIsGone) {
  Open(Movie(20));
  for (int i = 0; i < 3; ++i) StepFrame();  // three frames decoded, on time
  const auto lagBy = [](int frames) {
    g_clockMs = int32_t((Vembra_DecodedFrames() + frames) * 66.67) + 1;
  };
  std::vector<int> late;
  for (int lag : {3, 2, 1, 0, 2}) {
    lagBy(lag);
    StepFrame();
    late.push_back((g_decoded.back().flags & 4) ? 1 : 0);
  }
  // Late from a lag of 3 until it is 0; a lag of 2 alone does not mark it.
  EXPECT_EQ(late, (std::vector<int>{1, 1, 1, 0, 0}));
}

TEST_F(AnimPlayTest, PauseModesHoldOrShowOneMoreFrame) {
  Open(Movie(20));
  for (int i = 0; i < 3; ++i) StepFrame();
  EXPECT_EQ(ap->SetPauseMode(h, 1), 1);
  StepFrame();  // frame 3, then the player holds it
  const int32_t held = vembra_animplay_FrameNumber(h);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Step(), kAnimPaused);
  EXPECT_EQ(vembra_animplay_FrameNumber(h), held);
  EXPECT_EQ(g_decoded.back().payload, "frame 3");  // shown again
  EXPECT_EQ(ap->SetPauseMode(h, 4), 3);            // one more frame
  EXPECT_EQ(Step(), kAnimPaused);
  StepFrame();
  EXPECT_EQ(vembra_animplay_FrameNumber(h), held + 1);
  EXPECT_EQ(Step(), kAnimPaused);
  EXPECT_EQ(vembra_animplay_FrameNumber(h), held + 1);
  EXPECT_EQ(ap->SetPauseMode(h, 2), 0);  // toggles back to running
  EXPECT_EQ(Step(), kAnimPaused);        // the held frame a last time
  StepFrame();
  EXPECT_EQ(vembra_animplay_FrameNumber(h), held + 2);
}

TEST_F(AnimPlayTest, MissingDataWaitsAndTakesTheSameBlockAgain) {
  Open(Movie(3, 0, 1), 61000);
  EXPECT_EQ(StepFrame(), 1);  // frame 0
  std::vector<int> results;
  int r;
  do {
    r = Step();
    results.push_back(r);
    if (r == kAnimWaitingData) {
      EXPECT_EQ(ap->IsReady(h), 1);
    }
  } while (r == kAnimWaitingData && results.size() < 50);
  EXPECT_EQ(r, kAnimShownEarly);
  EXPECT_GE(results.size(), 2u);  // at least one wait
  ASSERT_EQ(g_decoded.size(), 2u);  // frame 1 once, whole
  EXPECT_EQ(g_decoded[1].payload.size(), 60000u);
  EXPECT_EQ(vembra_animplay_FrameNumber(h), 1);
}

TEST_F(AnimPlayTest, AnInvalidTagKillsTheHandle) {
  snm::Header header;
  header.frameCount = 2;
  header.width = header.height = 8;
  snm::Movie movie(header);
  movie.Frame(snm::Block("Bl16", Bytes{1}));
  movie.Add("XYZW", Bytes{1, 2});
  movie.Frame(snm::Block("Bl16", Bytes{2}));
  Open(movie.Build());
  EXPECT_EQ(StepFrame(), 1);
  EXPECT_EQ(StepFrame(), kAnimStreamError);
  ASSERT_FALSE(vembratest::Messages().empty());
  EXPECT_EQ(vembratest::Messages().back(),
            "Read invalid frame header XYZW -- CD may be dirty or damaged.");
  EXPECT_EQ(Step(), kAnimDead);
  EXPECT_EQ(Step(), kAnimDead);
}

TEST_F(AnimPlayTest, ARestartPointStartsTheMovieAgain) {
  Open(Movie(12));
  for (int i = 0; i < 6; ++i) StepFrame();
  EXPECT_EQ(vembra_animplay_FrameNumber(h), 5);
  // The file opened again at its first block: the stream restarts there.
  ASSERT_EQ(ap->OpenFile(h, path.c_str(), 0x600D, -1, -1, 0), 0);
  EXPECT_EQ(StepFrame(), kAnimShownEarly);
  EXPECT_EQ(vembra_animplay_FrameNumber(h), 0);
  EXPECT_EQ(g_decoded.back().payload, "frame 0");
  EXPECT_EQ(ap->IsOpenRange(h), 0);
}

TEST_F(AnimPlayTest, TheHeaderPeriodSetsTheRateUnlessOverOneSecond) {
  Open(Movie(3, 100000));  // 10 frames a second
  StepFrame();
  EXPECT_EQ(vembra_animplay_CurrentDelay(h), 1193180 / 15);  // 0x8 keeps the open rate
  ap->Close(&h);
  path = WriteMovie("rate.snm", Movie(3, 100000));
  ASSERT_EQ(ap->Open(&h, path.c_str(), 15, 100000, 20000, 0x0005), 0);
  StepFrame();
  EXPECT_EQ(vembra_animplay_CurrentDelay(h), 1193180 / 10);
  EXPECT_EQ(palette[4], 77);  // without 0x2000 the header's palette is taken
  EXPECT_EQ(paletteFlags & 3, 3u);
  ap->Close(&h);
  path = WriteMovie("slow.snm", Movie(3, 2000000));
  ASSERT_EQ(ap->Open(&h, path.c_str(), 15, 100000, 20000, 0x6005), 0);
  StepFrame();
  EXPECT_EQ(vembra_animplay_CurrentDelay(h), 1193180 / 15);
  // Below one frame a second there is no period: the open fails.
  VembraAnimPlay* none = nullptr;
  EXPECT_EQ(ap->Open(&none, path.c_str(), 0, 100000, 20000, 0), -1);
  EXPECT_EQ(none, nullptr);
}

}  // namespace
