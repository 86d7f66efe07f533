// The engine's cutscene glue with the whole codec library running (its timer
// and sound threads, the SDL dummy audio device), CPU display buffers, a
// recording render-hook back end and fakes of the high-definition movie calls.
// Movies play in real time; every wait is bounded and none checks a duration.
#include "vembra/drevTolve.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "SnmWriter.h"
#include "platform/kv_RenderHooks.h"
#include "platform/kv_Thread.h"
#include "std/std.h"
#include "std/stdDisplay.h"
#include "vembra/TolveCutscenes.h"
#include "vembra/TolveHost.h"
#include "vembra/vembra_sound.h"

namespace {

using snm::Bytes;

// ---- Movies -------------------------------------------------------------------------

constexpr int kW = 64, kH = 48;

uint16_t FrameColour(int i) {
  return uint16_t(0x0841 * (i + 1));
}

// A movie of solid frames (colour FrameColour(i)) with a tone, at 15 frames
// a second; the header places it at (10, 20).
Bytes MakeMovie(int frames) {
  snm::Header header;
  header.frameCount = int16_t(frames);
  header.x = 10;
  header.y = 20;
  header.width = kW;
  header.height = kH;
  snm::Movie movie(header);
  constexpr int kSamples = 1600;  // 24000 Hz / 15
  Bytes flhd = snm::Block("Bl16", snm::Bl16FlhdPayload(kW, kH));
  snm::Append(flhd, snm::Block("Wave", snm::WaveFlhdPayload(uint32_t(frames * kSamples * 2))));
  movie.Flhd(flhd);
  snm::Bl16Encoder encoder(kW, kH);
  for (int i = 0; i < frames; ++i) {
    std::vector<int16_t> tone(kSamples);
    for (int k = 0; k < kSamples; ++k)
      tone[size_t(k)] = int16_t(3000 * std::sin(0.1 * double(i * kSamples + k)));
    Bytes frame =
        snm::Block("Bl16", encoder.Encode(std::vector<uint16_t>(kW * kH, FrameColour(i))));
    snm::Append(frame, snm::Block("Wave", snm::WavePayload(tone, 1)));
    movie.Frame(frame);
  }
  return movie.Build();
}

void WriteFile(const std::string& name, const Bytes& bytes) {
  std::ofstream(name, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// ---- Fakes --------------------------------------------------------------------------

struct MovieFake {
  int startAnswer = 0;
  int active = 0, running = 0;
  int starts = 0, stops = 0, stopRequests = 0, playerStarts = 0, playerStops = 0;
  std::vector<int> updates;
  int lastHold = -1;
  float clipTime = 0;
};
MovieFake g_movie;
std::map<std::string, std::string> g_settings;
std::vector<std::vector<int>> g_invalidated;
int g_gameState = 2;
uint16_t g_gamma[65536];

struct BlitCall {
  DisplayBuffer* destination;
  DisplayBuffer* source;
  int flags;
};
std::vector<BlitCall> g_blits;
RenderHookTable g_hooks{};

BufferFormat Format565() {
  BufferFormat f{};
  f.width = 640;
  f.height = 480;
  f.format.colorMode = 1;
  f.format.bitsPerPixel = 16;
  f.format.redBits = 5;
  f.format.greenBits = 6;
  f.format.blueBits = 5;
  f.format.redShift = 11;
  f.format.greenShift = 5;
  f.format.redLoss = 3;
  f.format.greenLoss = 2;
  f.format.blueLoss = 3;
  stdDisplay_ComputeFormatSizes(&f);
  return f;
}
BufferFormat g_format;
DisplayBuffer* g_back = nullptr;

void InstallFakes() {
  drevTolveCalls& c = drevTolve_Calls();
  c.movieStart = [](const char*, int hold) {
    g_movie.starts++;
    g_movie.lastHold = hold;
    return g_movie.startAnswer;
  };
  c.movieUpdate = [](int final) { g_movie.updates.push_back(final); };
  c.movieStop = [] { g_movie.stops++; };
  c.movieIsActive = [] { return g_movie.active; };
  c.movieIsRunning = [] { return g_movie.running; };
  c.movieClipTime = [] { return g_movie.clipTime; };
  c.movieOnStopRequest = [] { g_movie.stopRequests++; };
  c.movieOnPlayerStart = [] { return ++g_movie.playerStarts; };
  c.movieOnPlayerStop = [] { return ++g_movie.playerStops; };
  c.gammaTable = [] { return static_cast<const uint16_t*>(g_gamma); };
  c.invalidateRect = [](const int* r, int z) {
    g_invalidated.push_back({r[0], r[1], r[2], r[3], z});
  };
  c.displayFormat = [](int) { return static_cast<const BufferFormat*>(&g_format); };
  c.backBuffer = [] { return g_back; };
  c.findLooseFile = [](const char* name, char* out, int size) {
    if (!std::ifstream(name).good()) return 0;
    snprintf(out, size_t(size), "%s", name);
    return 1;
  };
  c.readSetting = [](const char* name, char* out, int size) {
    auto it = g_settings.find(name);
    if (it == g_settings.end()) return 0;
    snprintf(out, size_t(size), "%s", it->second.c_str());
    return 1;
  };
  c.gameState = [] { return g_gameState; };
}

// The save transfer: appends while saving, reads back while restoring.
std::vector<uint8_t> g_save;
size_t g_readAt = 0;
int SaveWrite(void* data, size_t n) {
  const auto* p = static_cast<const uint8_t*>(data);
  g_save.insert(g_save.end(), p, p + n);
  return 0;
}
int SaveRead(void* data, size_t n) {
  memcpy(data, g_save.data() + g_readAt, n);
  g_readAt += n;
  return 0;
}

class TolveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HostServices_CopyDefaults(&hs_);
    std_DefaultServices(&hs_);
    std_Startup(&hs_);
    g_movie = MovieFake{};
    g_settings.clear();
    g_invalidated.clear();
    g_blits.clear();
    g_gameState = 2;
    // A gamma that is seen: every pixel one higher.
    for (int i = 0; i < 65536; ++i) g_gamma[i] = uint16_t(i + 1);
    g_format = Format565();
    g_back = stdDisplay_NewBuffer(&g_format, 0, 0, nullptr);
    g_hooks = RenderHookTable{};
    g_hooks.Blit = [](DisplayBuffer* d, kvSurface*, DisplayBuffer* s, kvSurface*, int, int,
                      const stdRect*, int flags) {
      g_blits.push_back({d, s, flags});
    };
    kv_RenderHooks_Register(&g_hooks);
    InstallFakes();
    WriteFile("movie6.snm", MakeMovie(6));
  }
  void Start() {
    ASSERT_EQ(drevTolve_Initialize(&hs_, &module_), 0);
    ASSERT_EQ(module_.startup(), 0);
  }
  void TearDown() override {
    if (module_.shutdown) module_.shutdown();
    if (module_.uninitialize) module_.uninitialize();
    drevTolve_ResetCalls();
    kv_RenderHooks_ResetForTest();
    stdDisplay_FreeBuffer(g_back);
  }
  // Updates (a few ms apart) until the update answers 1, at most 10 s.
  static int UpdatesUntilEnd() {
    int updates = 0;
    for (int i = 0; i < 2000; ++i, ++updates) {
      if (drevTolve_Update() != 0) return updates;
      kv_Platform_Delay(5);
    }
    return -1;
  }
  static uint16_t Pixel(int x, int y) {
    DisplayBuffer* b = drevTolve_GetFrameBuffer();
    return static_cast<const uint16_t*>(b->pixels)[y * 640 + x];
  }
  HostServices hs_;
  ModuleDescriptor module_{};
};

TEST_F(TolveTest, StartTolveFalseKeepsTheLibraryOff) {
  g_settings["StartTolve"] = "false";
  Start();
  EXPECT_EQ(drevTolve_CreateFrameBuffer(1), 1);
  EXPECT_EQ(drevTolve_Start("movie6.snm", 0, -1, -1), 1);
  EXPECT_EQ(drevTolve_Update(), 1);
  EXPECT_EQ(drevTolve_GetMovieTime(), 0);
}

TEST_F(TolveTest, PlaysToItsEndThroughTheGammaTable) {
  Start();
  ASSERT_EQ(drevTolve_CreateFrameBuffer(1), 0);
  // The buffer starts filled with 0xF0 bytes.
  EXPECT_EQ(Pixel(0, 0), 0xF0F0);
  ASSERT_EQ(drevTolve_Start("movie6.snm", 0, -1, -1), 0);
  EXPECT_EQ(g_movie.lastHold, 0);  // game state 2: no hold
  EXPECT_EQ(drevTolve_IsPlaying(), 1);
  const TolveRect r = TolveHost_MovieRect();
  EXPECT_EQ(r.x, 10);  // the header's place for x and y below 0
  EXPECT_EQ(r.y, 20);
  EXPECT_GT(UpdatesUntilEnd(), 0);
  EXPECT_EQ(drevTolve_IsPlaying(), 0);
  // The last frame, each pixel through the gamma table, inside the rectangle.
  EXPECT_EQ(Pixel(10, 20), FrameColour(5) + 1);
  EXPECT_EQ(Pixel(10 + kW - 1, 20 + kH - 1), FrameColour(5) + 1);
  EXPECT_EQ(Pixel(9, 20), 0xF0F0);
  EXPECT_EQ(Pixel(10 + kW, 20), 0xF0F0);
  ASSERT_FALSE(g_blits.empty());
  EXPECT_EQ(g_blits.back().destination, g_back);
  EXPECT_EQ(g_blits.back().source, drevTolve_GetFrameBuffer());
  EXPECT_EQ(g_blits.back().flags, 1);
  ASSERT_EQ(g_invalidated.size(), 1u);
  EXPECT_EQ(g_invalidated[0], (std::vector<int>{10, 20, kW, kH, 0}));
  EXPECT_EQ(g_movie.stops, 1);  // the stop releases the high-definition movie too
}

TEST_F(TolveTest, PositionsFromTheCallerOrTheHeader) {
  Start();
  drevTolve_CreateFrameBuffer(0);
  ASSERT_EQ(drevTolve_Start("movie6.snm", 0, 5, -1), 0);
  EXPECT_EQ(TolveHost_MovieRect().x, 5);
  EXPECT_EQ(TolveHost_MovieRect().y, 20);
  // A second start stops the first movie before it starts.
  const int stops = g_movie.stops;
  ASSERT_EQ(drevTolve_Start("movie6.snm", 0, -1, 7), 0);
  EXPECT_EQ(g_movie.stops, stops + 1);
  EXPECT_EQ(TolveHost_MovieRect().x, 10);
  EXPECT_EQ(TolveHost_MovieRect().y, 7);
  EXPECT_EQ(drevTolve_Start("missing.snm", 0, 0, 0), 1);
}

TEST_F(TolveTest, ALoopingMovieGoesOnWithoutEnding) {
  WriteFile("movie3.snm", MakeMovie(3));
  Start();
  drevTolve_CreateFrameBuffer(1);
  ASSERT_EQ(drevTolve_Start("movie3.snm", 1, 0, 0), 0);
  // Frame colours 0, 1, 2, then 0 again: the movie went round.
  std::vector<uint16_t> seen;
  for (int i = 0; i < 2000 && seen.size() < 5; ++i) {
    ASSERT_EQ(drevTolve_Update(), 0) << "update " << i;
    const uint16_t p = uint16_t(Pixel(0, 0) - 1);
    if (p != 0xF0EF && (seen.empty() || seen.back() != p)) seen.push_back(p);
    kv_Platform_Delay(5);
  }
  ASSERT_GE(seen.size(), 4u);
  EXPECT_EQ(seen[0], FrameColour(0));
  EXPECT_EQ(seen[2], FrameColour(2));
  EXPECT_EQ(seen[3], FrameColour(0));
  drevTolve_Stop();
  EXPECT_EQ(drevTolve_Update(), 0);  // the frame in which it ends is still shown
  EXPECT_EQ(drevTolve_Update(), 1);
}

TEST_F(TolveTest, PausedShowsTheSameFrame) {
  Start();
  drevTolve_CreateFrameBuffer(1);
  ASSERT_EQ(drevTolve_Start("movie6.snm", 0, 0, 0), 0);
  for (int i = 0; i < 2000 && Pixel(0, 0) == 0xF0F0; ++i) {
    drevTolve_Update();
    kv_Platform_Delay(5);
  }
  drevTolve_Pause(1);
  const uint16_t held = Pixel(0, 0);
  const size_t blits = g_blits.size();
  for (int i = 0; i < 40; ++i) {
    EXPECT_EQ(drevTolve_Update(), 0);
    kv_Platform_Delay(5);
  }
  EXPECT_EQ(Pixel(0, 0), held);
  EXPECT_EQ(g_blits.size(), blits + 40);  // shown every frame
  drevTolve_Pause(0);
  EXPECT_GT(UpdatesUntilEnd(), 0);
}

TEST_F(TolveTest, HighDefinitionMoviesGoFirst) {
  Start();
  drevTolve_CreateFrameBuffer(1);
  g_movie.startAnswer = 1;
  g_movie.active = g_movie.running = 1;
  g_gameState = 5;
  ASSERT_EQ(drevTolve_Start("anything.snm", 0, 0, 0), 0);
  EXPECT_EQ(g_movie.lastHold, 1);
  EXPECT_EQ(TolveHost_IsMovieOpen(), 0);  // the classic player stays idle
  EXPECT_EQ(drevTolve_Update(), 0);
  g_movie.clipTime = 1.5f;
  EXPECT_EQ(drevTolve_GetMovieTime(), 1500);
  // A stop request ends it at the next update.
  drevTolve_Stop();
  EXPECT_EQ(g_movie.stopRequests, 1);
  EXPECT_EQ(drevTolve_Update(), 1);
  EXPECT_EQ(g_movie.stops, 1);
  EXPECT_EQ(drevTolve_IsPlaying(), 0);
  // One that ends by itself: shown, then the final update once it is gone.
  ASSERT_EQ(drevTolve_Start("anything.snm", 0, 0, 0), 0);
  EXPECT_EQ(drevTolve_Update(), 0);
  g_movie.active = 0;
  g_movie.updates.clear();
  EXPECT_EQ(drevTolve_Update(), 1);
  EXPECT_EQ(g_movie.updates, std::vector<int>{1});
}

// The engine shuts down while a high-definition movie plays (the classic
// player is idle then): the movie is stopped with it, so its decoding and
// audio threads end before the program does.
TEST_F(TolveTest, ShutdownStopsAHighDefinitionMovie) {
  Start();
  drevTolve_CreateFrameBuffer(1);
  g_movie.startAnswer = 1;
  g_movie.active = g_movie.running = 1;
  ASSERT_EQ(drevTolve_Start("anything.snm", 0, 0, 0), 0);
  ASSERT_EQ(drevTolve_Update(), 0);
  module_.shutdown();
  EXPECT_EQ(g_movie.stops, 1);
  module_.shutdown = nullptr;  // done
}

TEST_F(TolveTest, SaveAndRestoreResumeUnlistedCutscenesOnly) {
  WriteFile("ending.snm", MakeMovie(6));
  Start();
  const char table[] = "# name mark end\nending.snm noresume 4000\nmovie6.snm resume -\n";
  ASSERT_EQ(TolveCutscenes_Parse(table, sizeof table - 1), 2);
  drevTolve_CreateFrameBuffer(1);
  for (const char* name : {"movie6.snm", "ending.snm"}) {
    ASSERT_EQ(drevTolve_Start(name, 1, -1, 30), 0) << name;
    g_save.clear();
    ASSERT_EQ(module_.save(SaveWrite), 0);
    EXPECT_EQ(g_save.size(), size_t(kTolveSaveBytes));
    drevTolve_Stop();
    drevTolve_Update();
    EXPECT_EQ(drevTolve_IsPlaying(), 0);
    g_readAt = 0;
    ASSERT_EQ(module_.restore(SaveRead), 0);
    const bool resumes = strcmp(name, "movie6.snm") == 0;
    EXPECT_EQ(drevTolve_IsPlaying(), resumes ? 1 : 0) << name;
    if (resumes) {
      // From its beginning, with the saved loop flag and position.
      EXPECT_EQ(TolveHost_MovieRect().x, 10);
      EXPECT_EQ(TolveHost_MovieRect().y, 30);
      drevTolve_Stop();
      drevTolve_Update();
    }
  }
  EXPECT_EQ(TolveCutscenes_GetEndTime("ending.snm"), 4000u);
  EXPECT_EQ(TolveCutscenes_GetEndTime("movie6.snm"), kTolveNoEndTime);
  EXPECT_EQ(TolveCutscenes_GetEndTime("ENDING.snm"), kTolveNoEndTime);  // case matters
}

TEST_F(TolveTest, LengthFromTheHeaderAndTheVoiceClock) {
  Start();
  EXPECT_EQ(drevTolve_GetLength("nothing.snm"), 0.0f);
  snm::Header header;
  header.frameCount = 150;
  header.width = header.height = 8;
  snm::Movie movie(header);
  WriteFile("long.snm", movie.Build());
  EXPECT_EQ(drevTolve_GetLength("long.snm"), 150.0f * 66.666664f);
  // The movie time is the voice's clock while a classic movie plays.
  drevTolve_CreateFrameBuffer(1);
  ASSERT_EQ(drevTolve_Start("movie6.snm", 0, 0, 0), 0);
  int32_t time = 0;
  for (int i = 0; i < 2000 && time == 0; ++i) {
    drevTolve_Update();
    time = drevTolve_GetMovieTime();
    kv_Platform_Delay(5);
  }
  EXPECT_GT(time, 0);
}

// The demo game's cutscenes as the build writes them: the table reads, and
// the road beyond the gate plays to its end with a moving picture and sound.
TEST_F(TolveTest, TheDemoCutscenesPlay) {
  const char* game = getenv("VQ_GAME_DIR");
  if (!game) GTEST_SKIP() << "VQ_GAME_DIR is not set";
  const std::string dir = std::string(game) + "/";
  std::ifstream table(dir + "cutscenes.txt", std::ios::binary);
  ASSERT_TRUE(table.good());
  const std::string text((std::istreambuf_iterator<char>(table)), std::istreambuf_iterator<char>());
  Start();
  ASSERT_EQ(TolveCutscenes_Parse(text.data(), text.size()), 2);
  EXPECT_EQ(TolveCutscenes_IsNonResumable("intro.snm"), 1);
  EXPECT_EQ(TolveCutscenes_GetEndTime("intro.snm"), 3000u);
  EXPECT_EQ(TolveCutscenes_IsNonResumable("gate.snm"), 0);
  EXPECT_EQ(drevTolve_GetLength((dir + "intro.snm").c_str()), 45 * 66.666664f);

  drevTolve_CreateFrameBuffer(1);
  ASSERT_EQ(drevTolve_Start((dir + "gate.snm").c_str(), 0, -1, -1), 0);
  std::vector<uint16_t> walker;  // a pixel on Quill's way down the road
  int32_t time = 0;
  int updates = 0;
  for (; updates < 4000 && drevTolve_Update() == 0; ++updates) {
    time = std::max(time, drevTolve_GetMovieTime());
    if (walker.empty() || walker.back() != Pixel(320, 440)) walker.push_back(Pixel(320, 440));
    kv_Platform_Delay(5);
  }
  EXPECT_LT(updates, 4000);
  EXPECT_GT(time, 1000);  // the movie clock ran on its sound
  // Quill's body (grey 140, 140, 150), then the road once he walked on, each
  // through the gamma table.
  ASSERT_GE(walker.size(), 2u);
  EXPECT_EQ(walker[walker[0] == 0xF0F0 ? 1 : 0], 0x8C72 + 1);
  EXPECT_EQ(walker.back(), 0x940C + 1);
  EXPECT_NE(Pixel(320, 100), 0xF0F0);
}

}  // namespace
