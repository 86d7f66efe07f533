// High-definition movie playback over a fake clip and a recording renderer,
// and one movie played by the real player with its worker and audio threads.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "../render/RenderTestFrame.h"
#include "OggWriter.h"
#include "VideoTestClips.h"
#include "gfx/kv_Shader.h"
#include "gfx/kv_Surface.h"
#include "platform/kv_Audio.h"
#include "platform/kv_Thread.h"
#include "render/kv_Layouts.h"
#include "std/std.h"
#include "video/KineVideoManager.h"
#include "video/MovieHD.h"

namespace fs = std::filesystem;

namespace {

// A clip whose ready frames the test makes, each filled with one byte value.
class MovieClip : public StubClip {
 public:
  MovieClip(int pictureW, int pictureH, int codedW, int codedH) : StubClip(16, 25.0f, 100.0f) {
    width = stride = codedW;
    height = codedH;
    pictureWidth = pictureW;
    pictureHeight = pictureH;
    frameQueue->SetSize(16);  // frames of the coded size
  }
  void SetPictureOffset(int x, int y) {
    pictureX = x;
    pictureY = y;
  }
  // n ready frames due from time t on, frame k filled with value + k.
  void AddFrames(int n, float t = 0.0f, uint8_t value = 1) {
    for (int k = 0; k < n; ++k) {
      KineVideoFrame* f = frameQueue->TakeFreeFrame();
      ASSERT_NE(f, nullptr);
      f->timeToDisplay = t + k / 25.0f;
      std::memset(f->GetBuffer(), value + k, f->bufferSize);
      frameQueue->Lock();
      f->ready = true;
      frameQueue->Unlock();
    }
  }
};

// What the fakes saw and answer.
struct Fakes {
  uint32_t ticks = 1000;
  float voiceVolume = 127.0f;
  int language = 0;
  int noFmv = 0;
  int exists = 1;
  int audioFinished = 0;
  int widescreen = 0;
  int backW = 640, backH = 480;
  int pictureW = 64, pictureH = 32, codedW = 64, codedH = 32;
  bool throwOnCreate = false;
  std::string existsPath, clipPath;
  int clipMode = -1, clipPrecached = -1, clipPot = -1;
  uint32_t clipTrack = 99;
  MovieClip* clip = nullptr;
  int fillBlack = 0;
  int allocations = 0;
  std::vector<kvSurface*> released;
  std::vector<DrawRecord> draws;
  std::vector<std::vector<uint8_t>> surfaces;  // pixels of each allocated surface
  std::vector<uint8_t> lastUpload;             // first byte of each upload
};
Fakes* g_fakes = nullptr;
kvShader g_program{};

kvSurface* FakeAllocate(int w, int h, uint32_t format, int) {
  auto* s = new kvSurface{};
  s->width = w;
  s->height = h;
  s->format = format;
  g_fakes->surfaces.emplace_back(static_cast<size_t>(w) * h * 4, 0);
  s->pixels = g_fakes->surfaces.back().data();
  ++g_fakes->allocations;
  return s;
}

class MovieTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_fakes = &fakes;
    KineSetLogFunction(LogCapture::Log);
    MovieHDCalls& c = MovieHD_Calls();
    c.getTicks = [] { return g_fakes->ticks; };
    c.readFloat = [](const char*, float) { return g_fakes->voiceVolume; };
    c.languageGet = [] { return g_fakes->language; };
    c.isNoFmv = [] { return g_fakes->noFmv; };
    c.fileExists = [](const char* path, const char*) {
      g_fakes->existsPath = path;
      return g_fakes->exists;
    };
    c.createClip = [](KineVideoManager* manager, const char* path, int mode, int precached, int pot,
                      uint32_t track) -> KineVideoClip* {
      if (g_fakes->throwOnCreate) throw KINE_EXCEPTION("Can't open video file: x");
      g_fakes->clipPath = path;
      g_fakes->clipMode = mode;
      g_fakes->clipPrecached = precached;
      g_fakes->clipPot = pot;
      g_fakes->clipTrack = track;
      g_fakes->clip =
          new MovieClip(g_fakes->pictureW, g_fakes->pictureH, g_fakes->codedW, g_fakes->codedH);
      manager->AddClip(g_fakes->clip);
      return g_fakes->clip;
    };
    c.audioFinished = [](KineVideoClip*) { return g_fakes->audioFinished; };
    c.surfaceAllocate = FakeAllocate;
    c.surfaceLock = [](kvRenderContext*, kvSurface* s, void** pixels, int* rowLength) {
      *pixels = s->pixels;
      *rowLength = s->width;
      return 1;
    };
    c.surfaceUnlock = [](kvSurface* s, void** pixels) {
      g_fakes->lastUpload.push_back(s->pixels[0]);
      *pixels = kvSurface_PoisonPointer;
      return 1;
    };
    c.surfaceRelease = [](kvSurface* s) {
      g_fakes->released.push_back(s);
      delete s;
    };
    c.surfaceGetInfo = [](const kvSurface* s, int* w, int* h, uint32_t* format) {
      if (w) *w = s->width;
      if (h) *h = s->height;
      if (format) *format = s->format;
    };
    c.backBufferSize = [](int* w, int* h) {
      *w = g_fakes->backW;
      *h = g_fakes->backH;
    };
    c.isWidescreen = [] { return g_fakes->widescreen; };
    c.shaderLoad = [](const char*) { return &g_program; };
    c.getGamma = [] { return 1.5f; };
    c.fillBlack = [] { ++g_fakes->fillBlack; };
    c.overlayAdd = [](const DrawRecord* r) { g_fakes->draws.push_back(*r); };
  }
  void TearDown() override {
    MovieHD_Stop();
    MovieHD_SetCommentaryDuck(0);
    MovieHD_ResetCalls();
    KineSetLogFunction(nullptr);
    g_fakes = nullptr;
  }
  // Starts "intro.snm" and fills the buffer so that the next update plays.
  MovieClip* StartPlaying(int hold) {
    EXPECT_EQ(MovieHD_Start("intro.snm", hold), 1);
    fakes.clip->AddFrames(16);
    return fakes.clip;
  }
  // One update at the given clip time (no frame time passes, so that the
  // manager leaves the clock where it is); the draws it made.
  size_t UpdateAt(float t, int final = 0) {
    fakes.clip->GetTimer()->Seek(t);
    const size_t before = fakes.draws.size();
    MovieHD_Update(final);
    return fakes.draws.size() - before;
  }

  Fakes fakes;
  RenderTestFrame frame;
};

// The end-time column of cutscenes.txt, as the cutscene list gives it.
struct CutsceneList {
  explicit CutsceneList(const std::string& text) {
    std_FillServices(&services);
    saved = std_pHS;
    std_pHS = &services;
    std::ofstream("cutscenes.txt", std::ios::binary) << text;
    MovieHD_ReadCutsceneTable();
  }
  ~CutsceneList() {
    fs::remove("cutscenes.txt");
    MovieHD_ReadCutsceneTable();
    std_pHS = saved;
  }
  HostServices services{};
  HostServices* saved = nullptr;
};

}  // namespace

TEST_F(MovieTest, StartFormsThePathAndCreatesThePlayer) {
  fakes.language = 1;  // German
  ASSERT_EQ(MovieHD_Start("intro.snm", 0), 1);
  EXPECT_EQ(fakes.existsPath, "MoviesHD\\intro.ogv");
  EXPECT_EQ(fakes.clipMode, TH_RGBX);
  EXPECT_EQ(fakes.clipPrecached, 16);
  EXPECT_EQ(fakes.clipPot, 0);
  EXPECT_EQ(fakes.clipTrack, 2u);
  const MovieHDState& s = MovieHD_GetState();
  ASSERT_NE(s.manager, nullptr);
  EXPECT_EQ(s.manager->GetWorkerCount(), 1);
  EXPECT_NE(s.manager->GetAudioFactory(), nullptr);
  EXPECT_TRUE(fakes.clip->IsPaused());
  EXPECT_EQ(s.buffering, 1);
  EXPECT_EQ(MovieHD_IsActive(), 1);
  EXPECT_EQ(MovieHD_IsRunning(), 1);
  EXPECT_EQ(s.endTime, 0xFFFFFFFFu);
  ASSERT_NE(s.surface, nullptr);
  EXPECT_EQ(s.surface->width, 64);
  EXPECT_EQ(s.surface->height, 32);
  EXPECT_EQ(s.surface->format, 4u);

  // A second movie of the same size keeps the surface; another size replaces it.
  kvSurface* first = s.surface;
  ASSERT_EQ(MovieHD_Start("other.snm", 0), 1);
  EXPECT_EQ(s.surface, first);
  fakes.pictureW = 128;
  fakes.codedW = 128;
  ASSERT_EQ(MovieHD_Start("wide.snm", 0), 1);
  ASSERT_EQ(fakes.released.size(), 1u);
  EXPECT_EQ(fakes.released[0], first);
  EXPECT_EQ(s.surface->width, 128);

  MovieHD_Stop();
  EXPECT_EQ(s.manager, nullptr);
  EXPECT_EQ(s.surface, nullptr);
  EXPECT_EQ(MovieHD_IsActive(), 0);
}

TEST_F(MovieTest, StartRefusals) {
  struct Case {
    const char* name;
    int noFmv, exists;
    bool throws;
  } cases[] = {
      {"intro.snm", 1, 1, false},  // -nofmv
      {"intro.snm", 0, 0, false},  // no .ogv
      {"intro.snm", 0, 1, true},   // the player refuses the file
      {"intro.avi", 0, 1, false},  // no ".snm" in the name
      {nullptr, 0, 1, false},
  };
  for (const Case& c : cases) {
    fakes.noFmv = c.noFmv;
    fakes.exists = c.exists;
    fakes.throwOnCreate = c.throws;
    fakes.existsPath.clear();
    EXPECT_EQ(MovieHD_Start(c.name, 0), 0) << (c.name ? c.name : "null");
    EXPECT_EQ(MovieHD_IsActive(), 0);
  }
  const std::string longName = std::string(250, 'a') + ".snm";
  fakes.throwOnCreate = false;
  EXPECT_EQ(MovieHD_Start(longName.c_str(), 0), 0);
  EXPECT_TRUE(fakes.existsPath.empty());  // refused before the file is looked for
  // 259 characters fit the buffer.
  const std::string fits = std::string(246, 'a') + ".snm";
  EXPECT_EQ(MovieHD_Start(fits.c_str(), 0), 1);
}

TEST_F(MovieTest, AudioTrackFromTheLanguage) {
  const std::pair<int, int> cases[] = {{0, 0}, {1, 2}, {2, 1}, {3, 4},
                                       {4, 3}, {5, 5}, {6, 0}, {-1, 0}};
  for (auto [language, track] : cases) {
    fakes.language = language;
    EXPECT_EQ(MovieHD_GetAudioTrack(), track) << language;
  }
}

TEST_F(MovieTest, BufferingShowsBlackWithTheClockPaused) {
  ASSERT_EQ(MovieHD_Start("intro.snm", 0), 1);
  fakes.clip->AddFrames(15);
  for (int i = 0; i < 3; ++i) {
    fakes.ticks += 100;
    MovieHD_Update(0);
  }
  EXPECT_EQ(fakes.fillBlack, 3);
  EXPECT_TRUE(fakes.clip->IsPaused());
  EXPECT_EQ(fakes.clip->GetTime(), 0.0f);
  EXPECT_TRUE(fakes.draws.empty());
  EXPECT_TRUE(fakes.lastUpload.empty());

  fakes.clip->AddFrames(1, 15 / 25.0f, 16);
  MovieHD_Update(0);
  EXPECT_EQ(fakes.fillBlack, 3);
  EXPECT_FALSE(fakes.clip->IsPaused());
  EXPECT_EQ(MovieHD_GetState().buffering, 0);
  ASSERT_EQ(fakes.lastUpload.size(), 1u);
  EXPECT_EQ(fakes.lastUpload[0], 1);  // the first frame
  EXPECT_EQ(fakes.draws.size(), 1u);
}

TEST_F(MovieTest, ShortClipEndsBufferingWhenItsDataEnds) {
  ASSERT_EQ(MovieHD_Start("intro.snm", 0), 1);
  fakes.clip->AddFrames(5);
  MovieHD_Update(0);
  EXPECT_EQ(fakes.fillBlack, 1);
  fakes.clip->lastStepMetEnd = true;  // the decoder has met the end of the data
  MovieHD_Update(0);
  EXPECT_EQ(fakes.fillBlack, 1);
  EXPECT_FALSE(fakes.clip->IsPaused());
  EXPECT_EQ(fakes.lastUpload.size(), 1u);
}

TEST_F(MovieTest, GainFromVoiceVolumeUnderTheCommentaryCeiling) {
  const struct {
    float volume;
    int duck;
    float gain;
  } cases[] = {{127, 0, 1.0f}, {127, 1, 0.05f}, {3, 1, 3.0f / 127}, {63.5f, 0, 0.5f}};
  StartPlaying(0);
  for (const auto& c : cases) {
    fakes.voiceVolume = c.volume;
    MovieHD_SetCommentaryDuck(c.duck);
    MovieHD_Update(0);
    EXPECT_FLOAT_EQ(fakes.clip->GetAudioGain(), c.gain) << c.volume << " duck " << c.duck;
  }
}

TEST_F(MovieTest, FramesUploadedInOrderFromThePictureOffset) {
  fakes.pictureW = 40;
  fakes.pictureH = 20;
  fakes.codedW = 48;
  fakes.codedH = 32;
  MovieClip* clip = StartPlaying(0);
  clip->SetPictureOffset(4, 6);
  // Frame 0 marks its picture's corners.
  KineVideoFrame* f0 = clip->GetFrameQueue()->PeekReady();
  uint8_t* px = f0->GetBuffer();
  px[((6 * 48) + 4) * 4] = 0xA1;        // picture (0, 0)
  px[((25 * 48) + 43) * 4 + 3] = 0xA2;  // picture (39, 19), last byte
  px[((5 * 48) + 4) * 4] = 0xEE;        // above the picture: never copied
  ASSERT_EQ(UpdateAt(0.0f), 1u);
  const std::vector<uint8_t>& surface = fakes.surfaces.back();
  EXPECT_EQ(surface[0], 0xA1);
  EXPECT_EQ(surface[(19 * 40 + 39) * 4 + 3], 0xA2);
  EXPECT_EQ(surface[4], 1);  // the rest of frame 0
  // Frames follow the clock; a late one is dropped, the frame not due waits.
  UpdateAt(1 / 25.0f);
  UpdateAt(3 / 25.0f + 0.001f);
  UpdateAt(3 / 25.0f + 0.01f);
  EXPECT_EQ(fakes.lastUpload, (std::vector<uint8_t>{0xA1, 2, 4}));
  EXPECT_EQ(clip->GetDroppedFrames(), 1);
  EXPECT_FLOAT_EQ(MovieHD_GetLastClipTime(), 3 / 25.0f + 0.01f);
}

TEST_F(MovieTest, NameNotListedPlaysUntilItsSoundRunsDry) {
  StartPlaying(0);
  EXPECT_EQ(UpdateAt(0.0f), 1u);
  EXPECT_EQ(UpdateAt(50.0f), 1u);  // no end time: still running
  EXPECT_EQ(MovieHD_IsRunning(), 1);
  fakes.audioFinished = 1;
  EXPECT_EQ(UpdateAt(50.1f), 0u);  // no extra draw
  EXPECT_EQ(MovieHD_IsRunning(), 0);
  EXPECT_EQ(MovieHD_IsActive(), 0);
  EXPECT_EQ(UpdateAt(50.2f, 1), 0u);
}

TEST_F(MovieTest, EndTimeSequences) {
  CutsceneList list(
      "# name, no-resume mark, end time in ms\n"
      "intro.snm 1 2000\r\n"
      "INTRO.SNM,1,500\n"
      "notime.snm 1\n");
  EXPECT_EQ(MovieHD_GetEndTime("intro.snm"), 2000u);
  EXPECT_EQ(MovieHD_GetEndTime("INTRO.SNM"), 500u);
  EXPECT_EQ(MovieHD_GetEndTime("Intro.snm"), 0xFFFFFFFFu);
  EXPECT_EQ(MovieHD_GetEndTime("notime.snm"), 0xFFFFFFFFu);

  // Hold set: one extra draw at the end time, then inactive; the final
  // update draws the last frame again.
  {
    SCOPED_TRACE("hold");
    StartPlaying(1);
    EXPECT_EQ(MovieHD_GetState().endTime, 2000u);
    EXPECT_EQ(UpdateAt(1.0f), 1u);
    const size_t uploads = fakes.lastUpload.size();
    EXPECT_EQ(MovieHD_IsActive(), 1);
    EXPECT_EQ(UpdateAt(2.0f), 1u);                // the extra draw
    EXPECT_EQ(fakes.lastUpload.size(), uploads);  // past the end nothing is uploaded
    EXPECT_EQ(MovieHD_IsRunning(), 0);
    EXPECT_EQ(MovieHD_IsActive(), 0);
    EXPECT_EQ(UpdateAt(2.1f, 1), 1u);
    MovieHD_Stop();
  }
  // Hold clear: one extra draw, still active until the sound runs dry; the
  // final update draws nothing.
  {
    SCOPED_TRACE("no hold");
    StartPlaying(0);
    EXPECT_EQ(UpdateAt(1.0f), 1u);
    EXPECT_EQ(UpdateAt(2.0f), 1u);
    EXPECT_EQ(MovieHD_IsRunning(), 0);
    EXPECT_EQ(MovieHD_IsActive(), 1);
    EXPECT_EQ(UpdateAt(2.5f), 0u);
    EXPECT_EQ(MovieHD_IsActive(), 1);
    fakes.audioFinished = 1;
    EXPECT_EQ(UpdateAt(3.0f), 0u);
    EXPECT_EQ(MovieHD_IsActive(), 0);
    EXPECT_EQ(UpdateAt(3.1f, 1), 0u);
  }
}

TEST_F(MovieTest, UpdateWithoutClipTouchesNothing) {
  StartPlaying(1);
  UpdateAt(0.0f);
  MovieHD_Stop();
  const size_t draws = fakes.draws.size();
  MovieHD_Update(1);
  MovieHD_Update(0);
  EXPECT_EQ(fakes.draws.size(), draws);
  EXPECT_EQ(MovieHD_GetState().previousTicks, fakes.ticks);
}

TEST_F(MovieTest, QuadExtents) {
  const struct {
    int sw, sh, bw, bh, widescreen;
    float x, y;
  } cases[] = {
      {640, 480, 1920, 1080, 0, 0.75f, 1.0f},  // pillar-boxed
      {640, 480, 640, 480, 0, 1.0f, 1.0f},
      {640, 480, 1280, 1024, 0, 1.0f, 0.9375f},    // narrower than 4:3: letterboxed
      {1280, 720, 1920, 1080, 0, 1.0f, 1.0f},      // 16:9 on 16:9
      {640, 480, 1920, 1080, 1, 1.0f, 1.0f},       // widescreen: the height, 4:3 wide
      {1280, 720, 640, 480, 1, 1.3333334f, 1.0f},  // widescreen: beyond the sides
  };
  for (const auto& c : cases) {
    fakes.pictureW = c.sw;
    fakes.pictureH = c.sh;
    fakes.codedW = fakes.codedH = 16;  // the frames play no part here
    fakes.backW = c.bw;
    fakes.backH = c.bh;
    fakes.widescreen = c.widescreen;
    ASSERT_EQ(MovieHD_Start("intro.snm", 0), 1);
    MovieHD_Draw();
    const auto* v = reinterpret_cast<const VideoQuadVertex*>(fakes.draws.back().vertexBuffer->data);
    SCOPED_TRACE(testing::Message() << c.sw << "x" << c.sh << " on " << c.bw << "x" << c.bh
                                    << " widescreen " << c.widescreen);
    EXPECT_FLOAT_EQ(v[1].Position.x, c.x);
    EXPECT_FLOAT_EQ(v[1].Position.y, c.y);
    EXPECT_FLOAT_EQ(v[2].Position.x, -c.x);
    EXPECT_FLOAT_EQ(v[2].Position.y, -c.y);
    MovieHD_Stop();
  }
}

TEST_F(MovieTest, QuadVerticesLayoutsAndDrawRecord) {
  fakes.pictureW = fakes.codedW = 640;
  fakes.pictureH = fakes.codedH = 480;
  fakes.backW = 1920;
  fakes.backH = 1080;
  ASSERT_EQ(MovieHD_Start("intro.snm", 0), 1);
  MovieHD_Draw();
  ASSERT_EQ(fakes.draws.size(), 1u);
  const DrawRecord& r = fakes.draws[0];
  EXPECT_EQ(r.primitiveKind, 4);
  EXPECT_EQ(r.program, &g_program);
  EXPECT_EQ(r.vertexConstants.size, 0u);
  EXPECT_EQ(r.pixelConstants.size, 36u);
  EXPECT_EQ(r.pixelConstants.layout, TexturedQuadConstants_GetLayout());
  EXPECT_EQ(r.depthCompare, 0);
  EXPECT_EQ(r.depthWrite, 0);
  EXPECT_EQ(r.blendEnabled, 0);
  EXPECT_EQ(r.textureCount, 1);
  EXPECT_EQ(r.textures[0], MovieHD_GetState().surface);
  EXPECT_EQ(r.samplerCount, 1);
  EXPECT_EQ(r.samplerStates[0].wrap, 2);
  EXPECT_EQ(r.samplerStates[0].reserved, 1);
  EXPECT_EQ(r.samplerStates[0].filter, 1);
  EXPECT_EQ(r.samplerStates[0].mipFilter, 1);
  EXPECT_EQ(r.indexBuffer, nullptr);
  EXPECT_EQ(r.first, 0);
  EXPECT_EQ(r.count, -2);
  EXPECT_EQ(r.scissorFlag, 0);

  const auto* k = static_cast<const TexturedQuadConstants*>(r.pixelConstants.data);
  EXPECT_EQ(k->MultiplyColor.x, 1.0f);
  EXPECT_EQ(k->MultiplyColor.w, 1.0f);
  EXPECT_EQ(k->TexelSizeDesaturateGamma.x, 1.0f);
  EXPECT_EQ(k->TexelSizeDesaturateGamma.y, 1.0f);
  EXPECT_EQ(k->TexelSizeDesaturateGamma.z, 0.0f);
  EXPECT_EQ(k->TexelSizeDesaturateGamma.w, 1.5f);

  // Six vertices: two triangles, texture row 0 at the top.
  ASSERT_EQ(kv_VertexBuffer_GetSize(r.vertexBuffer), 120u);
  const auto* v = reinterpret_cast<const VideoQuadVertex*>(r.vertexBuffer->data);
  const float l = -0.75f, t = -1.0f, rt = 0.75f, p = 1.0f;  // 640x480 on 1920x1080
  const float expected[6][5] = {{l, p, 0, 0, 0},  {rt, p, 0, 1, 0}, {l, t, 0, 0, 1},
                                {rt, p, 0, 1, 0}, {rt, t, 0, 1, 1}, {l, t, 0, 0, 1}};
  for (int i = 0; i < 6; ++i) {
    EXPECT_FLOAT_EQ(v[i].Position.x, expected[i][0]) << i;
    EXPECT_FLOAT_EQ(v[i].Position.y, expected[i][1]) << i;
    EXPECT_FLOAT_EQ(v[i].Position.z, expected[i][2]) << i;
    EXPECT_FLOAT_EQ(v[i].TexCoord.x, expected[i][3]) << i;
    EXPECT_FLOAT_EQ(v[i].TexCoord.y, expected[i][4]) << i;
  }
  // The vertex attributes: "Position" in slot 2, "TexCoord" in slot 1, stride 20.
  const auto& attributes = *r.vertexBuffer->attributes;
  ASSERT_EQ(attributes.size(), 2u);
  EXPECT_STREQ(attributes[0]->memberName, "Position");
  EXPECT_EQ(attributes[0]->typeCode, 2);
  EXPECT_STREQ(attributes[1]->memberName, "TexCoord");
  EXPECT_EQ(attributes[1]->typeCode, 1);
  EXPECT_EQ(attributes[1]->memberOffset, 12);
  for (const kvVertexAttribute* a : attributes) {
    EXPECT_EQ(a->stride, 20);
    EXPECT_EQ(a->vertexCount, 6);
  }

  const LayoutDescriptor* vertex = VideoQuadVertex_GetLayout();
  EXPECT_EQ(vertex->size, 20);
  EXPECT_STREQ(VideoQuadVertex_GetName(), "VideoQuadVertex");
  ASSERT_EQ(vertex->memberCount, 2);
  EXPECT_STREQ(vertex->members[1].typeName, "kvVector2F");
  const LayoutDescriptor* constants = TexturedQuadConstants_GetLayout();
  EXPECT_EQ(constants->size, 36);
  EXPECT_STREQ(TexturedQuadConstants_GetName(), "TexturedQuadConstants");
  ASSERT_EQ(constants->memberCount, 3);
  EXPECT_STREQ(constants->members[2].name, "ColorKey");
  EXPECT_STREQ(constants->members[2].typeName, "unsigned");
  EXPECT_EQ(constants->members[2].offset, 32);
}

TEST_F(MovieTest, HooksAndCutsceneTableLimits) {
  MovieHD_OnStopRequest();
  EXPECT_EQ(MovieHD_OnCutscenePlayerStart(), 1);
  EXPECT_EQ(MovieHD_OnCutscenePlayerStop(), 1);
  std::string rows;
  for (int i = 0; i < 50; ++i)
    rows += "m" + std::to_string(i) + ".snm 0 " + std::to_string(i) + "\n";
  rows += std::string(700, 'x') + " 1 5\n";
  {
    CutsceneList list("bad.snm 1 12x\n" + rows);
    EXPECT_EQ(MovieHD_GetEndTime("bad.snm"), 0xFFFFFFFFu);
    EXPECT_EQ(MovieHD_GetEndTime("m46.snm"), 46u);
    EXPECT_EQ(MovieHD_GetEndTime("m47.snm"), 0xFFFFFFFFu);  // the 49th row
  }
  {
    CutsceneList list(std::string(700, 'y') + " 1 5\nlast.snm 1 7\n");
    EXPECT_EQ(MovieHD_GetEndTime("last.snm"), 7u);  // a long line is one row
    // A name too long for the table is no row: its start matches nothing.
    EXPECT_EQ(MovieHD_GetEndTime(std::string(63, 'y').c_str()), 0xFFFFFFFFu);
  }
}

// The real player: a written clip with its worker and audio threads, drawn
// through the recording renderer. Each frame carries its number in the top
// row of 16 x 16 blocks (white = 1), which survives the compression.
TEST_F(MovieTest, RealClipFramesUploadedInOrder) {
  constexpr int kFrames = 40;
  OggWriterOptions o;
  o.width = 128;
  o.height = 32;
  o.frames = kFrames;
  o.audioLanguages = {"ger", "eng"};
  o.picture = [](int f, int w, int h, uint8_t* y, uint8_t* cb, uint8_t* cr) {
    for (int row = 0; row < h; ++row) {
      for (int x = 0; x < w; ++x) {
        const bool bit = row < 16 && ((f >> (x / 16)) & 1);
        y[row * w + x] = bit ? 235 : 16;
      }
    }
    std::memset(cb, 128, static_cast<size_t>(w * h / 4));
    std::memset(cr, 128, static_cast<size_t>(w * h / 4));
  };
  fs::create_directories("MoviesHD");
  ASSERT_TRUE(OggWriter_WriteFile("MoviesHD/numbers.ogv", o));

  MovieHDCalls& c = MovieHD_Calls();
  // The player itself and the clock; the renderer stays the recording one.
  const MovieHDCalls real = [] {
    MovieHDCalls saved = MovieHD_Calls();
    MovieHD_ResetCalls();
    MovieHDCalls defaults = MovieHD_Calls();
    MovieHD_Calls() = saved;
    return defaults;
  }();
  c.getTicks = real.getTicks;
  c.fileExists = real.fileExists;
  c.createClip = real.createClip;
  c.audioFinished = real.audioFinished;
  // Each upload: the frame number read back from the surface's top row.
  c.surfaceUnlock = [](kvSurface* s, void** pixels) {
    int n = 0;
    for (int bit = 0; bit < 8; ++bit)
      n |= (s->pixels[(8 * s->width + bit * 16 + 8) * 4] > 128) << bit;
    g_fakes->lastUpload.push_back(static_cast<uint8_t>(n));
    *pixels = kvSurface_PoisonPointer;
    return 1;
  };

  ASSERT_EQ(MovieHD_Start("numbers.snm", 0), 1);
  const MovieHDState& s = MovieHD_GetState();
  ASSERT_NE(s.clip, nullptr);
  EXPECT_EQ(s.clip->GetPictureWidth(), 128);
  EXPECT_NE(s.clip->GetAudioInterface(), nullptr);
  // Until the sound has run dry (with a generous bound for slow machines).
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (MovieHD_IsActive() && std::chrono::steady_clock::now() < deadline) {
    MovieHD_Update(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(MovieHD_IsActive(), 0);
  EXPECT_EQ(MovieHD_IsRunning(), 0);
  MovieHD_Update(1);
  MovieHD_Stop();
  // The movie's audio channel stays open after it; the program closes it
  // with the device at its end, as the test does here.
  AudioDevice_CloseAll();
  ASSERT_GE(fakes.lastUpload.size(), 2u);
  EXPECT_EQ(fakes.lastUpload.front(), 0);
  for (size_t i = 1; i < fakes.lastUpload.size(); ++i) {
    EXPECT_LT(fakes.lastUpload[i - 1], fakes.lastUpload[i]) << i;
  }
  EXPECT_LT(fakes.lastUpload.back(), kFrames);
  EXPECT_GT(MovieHD_GetLastClipTime(), 1.0f);
  fs::remove_all("MoviesHD");
}
