// A high-definition movie on a real GL 3.3 core context (Xvfb + Mesa): the
// quad that the movie queues shows its first frame, upright, over the picture.
#include <GL/glew.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "OggWriter.h"
#include "gfx/kv_RenderContext.h"
#include "gfx/kv_RenderTarget.h"
#include "gfx/kv_Surface.h"
#include "platform/kv_Audio.h"
#include "platform/kv_Log.h"
#include "render/HardwareOverlay.h"
#include "video/KineBase.h"
#include "video/MovieHD.h"

namespace fs = std::filesystem;

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

void Quiet(const std::string&) {}

// A movie of 20 frames, 64 x 48: the first frame white above, black below.
void WriteMovie() {
  OggWriterOptions o;
  o.width = 64;
  o.height = 48;
  o.frames = 20;
  o.picture = [](int f, int w, int h, uint8_t* y, uint8_t* cb, uint8_t* cr) {
    for (int row = 0; row < h; ++row) {
      std::memset(y + row * w, f == 0 && row < h / 2 ? 235 : 16, static_cast<size_t>(w));
    }
    std::memset(cb, 128, static_cast<size_t>(w * h / 4));
    std::memset(cr, 128, static_cast<size_t>(w * h / 4));
  };
  fs::create_directories("MoviesHD");
  ASSERT_TRUE(OggWriter_WriteFile("MoviesHD/first.ogv", o));
}

TEST(MovieHDGL, QuadShowsTheFirstFrame) {
  std::error_code ignored;
  fs::remove_all("x86", ignored);
  fs::remove_all("FontsHD", ignored);
  fs::create_directory_symlink(Env("VQ_GAME_DIR") + "/x86", "x86");
  fs::create_directory_symlink(Env("VQ_GAME_DIR") + "/FontsHD", "FontsHD");
  WriteMovie();

  ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
  SDL_Window* window =
      SDL_CreateWindow("Vosk Quorvale", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 640, 480,
                       SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  ASSERT_NE(window, nullptr) << SDL_GetError();
  SDL_GLContext gl = SDL_GL_CreateContext(window);
  ASSERT_NE(gl, nullptr) << SDL_GetError();
  kv_Log_ResetForTest();
  ASSERT_EQ(kv_Log_Open("Vosk.log"), 1);
  ASSERT_TRUE(kv_Platform_InitGFX());
  ASSERT_EQ(HardwareOverlay_Init(), 1);
  KineSetLogFunction(Quiet);

  ASSERT_EQ(MovieHD_Start("first.snm", 0), 1);
  const MovieHDState& movie = MovieHD_GetState();
  ASSERT_NE(movie.surface, nullptr);
  kvRenderContext* context = kv_RenderContext_Get();
  kvRenderTarget* target = kv_RenderTarget_Create(64, 48, kvFormat_8x4);
  ASSERT_NE(target, nullptr);

  // Frames go on until the movie's quad is queued (buffering queues black).
  bool drawn = false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!drawn && std::chrono::steady_clock::now() < deadline) {
    ASSERT_EQ(kv_Platform_BeginFrame(), 1);
    RenderBucket_Reset(HardwareOverlayBucket);
    MovieHD_Update(0);
    for (uint32_t i = 0; i < HardwareOverlayBucket->count; ++i) {
      const DrawRecord& r = HardwareOverlayBucket->records[i];
      drawn = drawn || (r.textureCount == 1 && r.textures[0] == movie.surface);
    }
    if (drawn) {
      kv_RenderContext_SetRenderTarget(context, 0, target);
      kv_RenderContext_SetDepthTarget(context, nullptr);
      kv_RenderContext_Clear(context, 0.0f, 1.0f, 0.0f, 1.0f, 0.0f);
      RenderBucket_Draw(HardwareOverlayBucket, 1, nullptr, nullptr);
      glFinish();
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kv_Platform_EndFrame();
  }
  ASSERT_TRUE(drawn);

  // Read the target back: GL rows run bottom-up.
  kv_RenderContext_SetRenderTarget(context, 0, target);
  kv_RenderContext_RenderTargetSetup(context);
  std::vector<uint8_t> rgba(64 * 48 * 4);
  glReadBuffer(GL_COLOR_ATTACHMENT0);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, 64, 48, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  auto at = [&](int x, int yFromTop) { return &rgba[((47 - yFromTop) * 64 + x) * 4]; };
  for (int x : {2, 32, 61}) {
    const uint8_t* top = at(x, 4);
    const uint8_t* bottom = at(x, 43);
    for (int c = 0; c < 3; ++c) {
      EXPECT_GT(top[c], 220) << "top x " << x << " channel " << c;
      EXPECT_LT(bottom[c], 30) << "bottom x " << x << " channel " << c;
    }
  }
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

  MovieHD_Stop();
  AudioDevice_CloseAll();  // the movie's channel stays open after it
  kv_RenderTarget_Free(target);
  KineSetLogFunction(nullptr);
  SDL_GL_DeleteContext(gl);
  SDL_DestroyWindow(window);
  SDL_Quit();
  fs::remove_all("MoviesHD");
}

}  // namespace
