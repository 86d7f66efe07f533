// Opens the game window under Xvfb: hidden at first, an OpenGL 3.3+ core
// context, the window mode's defaults (borderless over the display), shown
// with its first frame, and the icon decoded with red and blue in place.
#include <GL/glew.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "gfx/kv_RenderContext.h"
#include "platform/kv_Log.h"
#include "platform/kv_Platform.h"

namespace {

TEST(Window, OpensHiddenWithACoreContextAndShowsWithTheFirstFrame) {
  // The demo game's icon, so that the icon path runs.
  const char* source = std::getenv("VQ_SOURCE_DIR");
  ASSERT_NE(source, nullptr);
  {
    std::ifstream in(std::string(source) + "/data/game/icon.png", std::ios::binary);
    std::ofstream("icon.png", std::ios::binary) << in.rdbuf();
  }
  ASSERT_EQ(kv_Platform_InitWindow(), 1);
  kvWindowState* state = kv_Platform_GetWindowState();
  ASSERT_NE(state->window, nullptr);
  EXPECT_TRUE(SDL_GetWindowFlags(state->window) & SDL_WINDOW_HIDDEN);
  EXPECT_STREQ(SDL_GetWindowTitle(state->window), "Vosk Quorvale");

  GLint major = 0, minor = 0, profile = 0;
  glGetIntegerv(GL_MAJOR_VERSION, &major);
  glGetIntegerv(GL_MINOR_VERSION, &minor);
  glGetIntegerv(GL_CONTEXT_PROFILE_MASK, &profile);
  EXPECT_GE(major * 10 + minor, 33);
  EXPECT_TRUE(profile & GL_CONTEXT_CORE_PROFILE_BIT);
  int depth = 0, doubleBuffer = 0;
  SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &depth);
  SDL_GL_GetAttribute(SDL_GL_DOUBLEBUFFER, &doubleBuffer);
  EXPECT_GE(depth, 24);
  EXPECT_EQ(doubleBuffer, 1);

  // No settings yet: borderless over the display, drawable = desktop size.
  EXPECT_EQ(state->borderless, 1);
  EXPECT_EQ(state->drawableWidth, state->desktopMode.w);
  EXPECT_EQ(state->drawableHeight, state->desktopMode.h);
  EXPECT_GT(state->windowedWidth, 0);

  EXPECT_EQ(kv_Platform_EndFrame(), 1);
  EXPECT_FALSE(SDL_GetWindowFlags(state->window) & SDL_WINDOW_HIDDEN);

  // The window is shown to the event pump through exposed / focus events.
  for (int i = 0; i < 50 && !kv_Platform_IsWindowShown(); ++i) {
    kv_Platform_PumpEvents();
    SDL_Delay(10);
  }
  EXPECT_EQ(kv_Platform_IsWindowShown(), 1);
  EXPECT_EQ(kv_Platform_Shutdown(), 1);
  EXPECT_EQ(state->window, nullptr);
}

// The render context's start-up is a row the program fills: without it the
// window does not come up, and the log says why.
TEST(Window, WithoutARenderContextTheWindowFailsAndSaysSo) {
  const kvPlatformGameHooks saved = *kv_Platform_GetGameHooks();
  kv_Platform_GetGameHooks()->initRenderContext = nullptr;
  kv_Log_ResetForTest();
  ASSERT_EQ(kv_Log_Open("window.log"), 1);
  EXPECT_EQ(kv_Platform_InitWindow(), 0);
  kv_Log_ResetForTest();
  *kv_Platform_GetGameHooks() = saved;
  kv_Platform_Shutdown();
  std::ifstream in("window.log");
  const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(log.find("No render context installed"), std::string::npos) << log;
  EXPECT_NE(log.find("Unable to initialize graphics system"), std::string::npos) << log;
}

}  // namespace
