// Overlays on a real GL 3.3 core context (Xvfb + Mesa): images loaded into
// surfaces, the mosaic surface, shared and released textures, and the quads
// a layer puts into the hardware overlay bucket.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "gfx/kv_RenderContext.h"
#include "gfx/kv_Surface.h"
#include "platform/kv_Log.h"
#include "presentation/drevOverlay.h"
#include "render/HardwareOverlay.h"
#include "std/std.h"

namespace fs = std::filesystem;

namespace {

SDL_Window* g_window = nullptr;
SDL_GLContext g_gl = nullptr;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// A hidden window with a 3.3 core context, the render context and the
// hardware overlay on it, and the demo's cursor picture in the working folder.
class GLEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    std::error_code ignored;
    for (const char* name : {"x86", "FontsHD", "cursor00.png"}) fs::remove_all(name, ignored);
    const std::string game = Env("VQ_GAME_DIR");
    fs::create_directory_symlink(game + "/x86", "x86");
    // Copies: the resolver follows no link out of the game folder.
    fs::copy(game + "/FontsHD", "FontsHD", fs::copy_options::recursive);
    fs::copy_file(game + "/cursor00.png", "cursor00.png");
    static HostServices hs;
    HostServices_CopyDefaults(&hs);
    std_DefaultServices(&hs);
    std_Startup(&hs);

    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    g_window = SDL_CreateWindow("Vosk Quorvale", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                640, 480, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    ASSERT_NE(g_window, nullptr) << SDL_GetError();
    g_gl = SDL_GL_CreateContext(g_window);
    ASSERT_NE(g_gl, nullptr) << SDL_GetError();
    ASSERT_TRUE(kv_Platform_InitGFX());
    ASSERT_EQ(HardwareOverlay_Init(), 1);
  }
  void TearDown() override {
    drevOverlay_DeleteManager();
    SDL_GL_DeleteContext(g_gl);
    SDL_DestroyWindow(g_window);
    SDL_Quit();
  }
};
::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new GLEnvironment);

class OverlayGL : public ::testing::Test {
 protected:
  void SetUp() override {
    drevOverlay_DeleteManager();
    m_ = drevOverlay_GetManager();
    RenderBucket_Reset(HardwareOverlayBucket);
  }
  void TearDown() override { RenderBucket_Reset(HardwareOverlayBucket); }
  OverlayManager* m_ = nullptr;
};

TEST_F(OverlayGL, LayersPutTexturedQuadsIntoTheOverlayBucket) {
  const int id = drevOverlay_Manager_CreateOverlay(m_, "cursor00.png", 320, 240, 3, 0, 3, 0, 1);
  OverlayEntry* e = drevOverlay_Manager_FindOverlay(m_, id);
  ASSERT_NE(e, nullptr);
  ASSERT_NE(e->image->texture, nullptr) << "found overlays load their image";
  EXPECT_EQ(e->image->width, 32u);
  EXPECT_EQ(e->image->srcHeight, 32u);
  drevOverlay_Manager_CreateOverlay(m_, "cursor00.png", 0, 0, 4, 2, 0, 0, 0);

  drevOverlay_DrawLayer(3, 0);
  ASSERT_EQ(HardwareOverlayBucket->count, 2u) << "the black backdrop, then the image";
  const DrawRecord& black = HardwareOverlayBucket->records[0];
  const DrawRecord& quad = HardwareOverlayBucket->records[1];
  EXPECT_EQ(black.program, ColorQuadProgram);
  EXPECT_EQ(quad.program, TexturedQuadProgram);
  EXPECT_EQ(quad.textures[0], e->image->texture);
  EXPECT_EQ(quad.samplerStates[0].filter, 1) << "overlays are filtered linearly";
  drevOverlay_DrawLayer(5, 1);
  EXPECT_EQ(HardwareOverlayBucket->count, 2u) << "no overlay in layer 5";
  e->visibility = 2;
  drevOverlay_DrawLayer(3, 0);
  EXPECT_EQ(HardwareOverlayBucket->count, 2u) << "visibility 2 is not drawn";
}

TEST_F(OverlayGL, SharedImagesKeepTheirTextureWhileUsed) {
  const int a = drevOverlay_Manager_CreateOverlay(m_, "cursor00.png", 0, 0, 1, 2, 0, 2, 0);
  const int b = drevOverlay_Manager_CreateOverlay(m_, "cursor00.png", 0, 0, 1, 2, 0, 2, 0);
  OverlayImage* image = drevOverlay_Manager_FindOverlay(m_, a)->image;
  ASSERT_NE(image->texture, nullptr);
  EXPECT_EQ(drevOverlay_Manager_FindOverlay(m_, b)->image, image);
  drevOverlay_Manager_DestroyOverlay(m_, a);
  EXPECT_NE(image->texture, nullptr) << "the second overlay still uses it";
  drevOverlay_Manager_DestroyOverlay(m_, b);
  EXPECT_EQ(image->texture, nullptr) << "cache 2: released when unused";

  // Clearing the cache spares pinned images and images in use.
  const int pinned = drevOverlay_Manager_CreateOverlay(m_, "cursor00.png", 0, 0, 1, 2, 0, 1, 0);
  ASSERT_NE(drevOverlay_Manager_FindOverlay(m_, pinned)->image->texture, nullptr);
  drevOverlay_Manager_DestroyOverlay(m_, pinned);
  drevOverlay_Manager_ClearCache(m_);
  EXPECT_NE(image->texture, nullptr);
  image->cache = 0;
  drevOverlay_Manager_ClearCache(m_);
  EXPECT_EQ(image->texture, nullptr);
}

TEST_F(OverlayGL, TheMosaicIsA32By10Surface) {
  const std::string name = std::string(60, '0') + ".save";
  const int id = drevOverlay_Manager_CreateOverlay(m_, name.c_str(), 0, 0, 1, 2, 0, 0, 0);
  const OverlayImage* image = drevOverlay_Manager_FindOverlay(m_, id)->image;
  ASSERT_NE(image->texture, nullptr);
  int w = 0, h = 0;
  uint32_t format = 0;
  kv_Surface_GetInfo(image->texture, &w, &h, &format);
  EXPECT_EQ(w, 32);
  EXPECT_EQ(h, 10);
  EXPECT_EQ(format, kvFormat_8x4_RGB);
  ASSERT_NE(image->texture->pixels, nullptr);
  for (int i = 0; i < 320; ++i) {
    uint32_t pixel = 0;
    std::memcpy(&pixel, image->texture->pixels + i * 4, 4);
    ASSERT_EQ(pixel, 0xCC000000u) << i;
  }
}

}  // namespace
