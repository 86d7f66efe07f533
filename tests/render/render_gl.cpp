// The hardware renderer's 2D layer on a real GL 3.3 core context (Xvfb +
// Mesa): the shader programs against their layouts, pictures drawn into
// off-screen targets and read back with glReadPixels, fonts, the font
// registry, the text-object cache and the hooks.
#include <GL/glew.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/Res.h"
#include "gfx/kv_Buffer.h"
#include "gfx/kv_RenderContext.h"
#include "gfx/kv_RenderTarget.h"
#include "gfx/kv_Shader.h"
#include "gfx/kv_Surface.h"
#include "platform/kv_Log.h"
#include "platform/kv_Platform.h"
#include "platform/kv_RenderHooks.h"
#include "render/Font.h"
#include "render/HardwareBackend.h"
#include "render/HardwareOverlay.h"
#include "render/Quad.h"
#include "render/RenderHost.h"
#include "render/SoftwareBackend.h"
#include "render/kv_Layouts.h"

namespace fs = std::filesystem;

namespace {

SDL_Window* g_window = nullptr;
SDL_GLContext g_gl = nullptr;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

void WriteFile(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A hidden 640 x 480 window with a 3.3 core context, the render context on
// it, and a game folder of its own: the staged shaders, the overlay font and
// the test font under names the tests choose.
class GLEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    std::error_code ignored;
    fs::remove_all("x86", ignored);
    fs::remove_all("FontsHD", ignored);
    fs::create_directory_symlink(Env("VQ_GAME_DIR") + "/x86", "x86");
    fs::create_directories("FontsHD");
    // Copies: the resolver follows no link out of the game folder.
    fs::copy_file(Env("VQ_GAME_DIR") + "/FontsHD/FuturaStd-Heavy.ttf",
                  "FontsHD/FuturaStd-Heavy.ttf");
    fs::copy_file(Env("VQ_TEST_FONT"), "FontsHD/fixture.ttf");
    fs::copy_file(Env("VQ_TEST_FONT"), "FontsHD/FIXTURE.ttf");

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
    kv_Log_ResetForTest();
    fs::remove("Vosk.log");
    ASSERT_EQ(kv_Log_Open("Vosk.log"), 1);
    ASSERT_TRUE(kv_Platform_InitGFX());
    ASSERT_EQ(HardwareOverlay_Init(), 1);
  }
  void TearDown() override {
    SDL_GL_DeleteContext(g_gl);
    SDL_DestroyWindow(g_window);
    SDL_Quit();
  }
};
::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new GLEnvironment);

kvRenderTarget* BackBuffer() {
  kvRenderTarget* colour = nullptr;
  kv_Platform_GetBackBuffer(&colour, nullptr);
  return colour;
}

// RGBA bytes of a target, rows top-down as the target's pixels count them.
struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> rgba;
  const uint8_t* At(int x, int y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
};

Picture Read(kvRenderTarget* target) {
  kvRenderContext* context = kv_RenderContext_Get();
  kv_RenderContext_SetRenderTarget(context, 0, target);
  kv_RenderContext_RenderTargetSetup(context);
  Picture picture;
  picture.width = target->width;
  picture.height = target->height;
  std::vector<uint8_t> rows(static_cast<size_t>(target->width) * target->height * 4);
  glReadBuffer(GL_COLOR_ATTACHMENT0);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, target->width, target->height, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
  picture.rgba.resize(rows.size());
  const size_t row = static_cast<size_t>(target->width) * 4;
  for (int y = 0; y < target->height; ++y) {
    std::memcpy(&picture.rgba[y * row], &rows[(target->height - 1 - y) * row], row);
  }
  return picture;
}

int Byte(float v) {
  return static_cast<int>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
}

void ExpectPixel(const Picture& p, int x, int y, float r, float g, float b, float a, int tolerance,
                 const char* what) {
  const uint8_t* px = p.At(x, y);
  const float expected[4] = {r, g, b, a};
  for (int i = 0; i < 4; ++i) {
    EXPECT_NEAR(px[i], Byte(expected[i]), tolerance)
        << what << " at (" << x << ", " << y << ") channel " << i;
  }
}

// A memory surface ("8x4", stored B, G, R, A) filled by a function of the texel.
template <class Fill>
kvSurface* MakeSurface(int w, int h, Fill fill) {
  kvSurface* surface = kv_Surface_Allocate(w, h, kvFormat_8x4, 0);
  void* pixels = nullptr;
  int rowLength = 0;
  EXPECT_EQ(kv_Surface_Lock(kv_RenderContext_Get(), surface, &pixels, &rowLength), 1);
  auto* bytes = static_cast<uint8_t*>(pixels);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      uint8_t rgba[4];
      fill(x, y, rgba);
      uint8_t* px = bytes + (static_cast<size_t>(y) * rowLength + x) * 4;
      px[0] = rgba[2];
      px[1] = rgba[1];
      px[2] = rgba[0];
      px[3] = rgba[3];
    }
  }
  kv_Surface_Unlock(surface, &pixels);
  return surface;
}

// Every test runs inside a frame and draws into off-screen targets that it
// binds; the back buffer is bound again afterwards.
struct RenderGL : ::testing::Test {
  kvRenderContext* context = kv_RenderContext_Get();
  void SetUp() override {
    kv_Platform_EndFrame();
    ASSERT_EQ(kv_Platform_BeginFrame(), 1);
    RenderBucket_Reset(HardwareOverlayBucket);
    RenderBucket_Reset(DebugOverlayBucket);
  }
  void TearDown() override {
    kv_RenderContext_SetRenderTarget(context, 0, BackBuffer());
    RenderBucket_Reset(HardwareOverlayBucket);
    RenderBucket_Reset(DebugOverlayBucket);
    kv_Platform_EndFrame();
  }
  // Binds a target alone (no depth) and clears it.
  void Bind(kvRenderTarget* target, float r, float g, float b, float a) {
    kv_RenderContext_SetRenderTarget(context, 0, target);
    kv_RenderContext_SetDepthTarget(context, nullptr);
    kv_RenderContext_Clear(context, r, g, b, a, 0.0f);
  }
};

// Programs -------------------------------------------------------------------------

TEST_F(RenderGL, ProgramsMatchTheirLayoutsAndInputs) {
  struct Block {
    const char* name;
    const LayoutDescriptor* layout;
  };
  const struct {
    kvShader* program;
    const char* name;
    std::vector<Block> blocks;
  } programs[] = {
      {TextProgram,
       "text",
       {{"VSConstants", kv_Layout_GetDescriptor<TextConstants>()},
        {"PSConstants", kv_Layout_GetDescriptor<TextConstants>()}}},
      {TexturedQuadProgram,
       "textured_quad",
       {{"PSConstants", kv_Layout_GetDescriptor<QuadConstants>()}}},
      {ColorQuadProgram,
       "color_quad",
       {{"PSConstants", kv_Layout_GetDescriptor<ColorQuadConstants>()}}},
      {TexturedGammaQuadProgram,
       "textured_gamma_quad",
       {{"PSConstants", kv_Layout_GetDescriptor<QuadConstants>()}}},
  };
  testing::internal::CaptureStderr();
  for (const auto& p : programs) {
    ASSERT_NE(p.program, nullptr) << p.name;
    EXPECT_STREQ(p.program->name, p.name);
    for (const Block& block : p.blocks) {
      const GLuint index = glGetUniformBlockIndex(p.program->program, block.name);
      ASSERT_NE(index, GL_INVALID_INDEX) << p.name << " has no " << block.name;
      kv_Shader_CheckConstantLayout(p.program, block.name, index, block.layout);
    }
  }

  // One draw of each kind: the vertex inputs are matched at draw time.
  kvRenderTarget* target = kv_RenderTarget_Create(16, 16, kvFormat_8x4);
  Bind(target, 0, 0, 0, 0);
  kvSurface* surface =
      MakeSurface(4, 4, [](int, int, uint8_t* c) { c[0] = c[1] = c[2] = c[3] = 255; });
  DrawRecord record;
  Quad_BuildColorDraw(&record, 1, 1, 1, 1, -1, -1, 0, 0, 2, 2);
  kv_RenderContext_SubmitDraw(&record);
  Quad_BuildTexturedDraw(&record, surface, -1, -1, 0, 0, 2, 2, 0, 0, 1, 1, 1, 0);
  kv_RenderContext_SubmitDraw(&record);
  kv_Platform_PresentSurface(context, surface, 1.0f);
  HardwareOverlay_DrawDebugText("ok", 0, 0, 1, 1, 1, nullptr, nullptr);
  ASSERT_EQ(DebugOverlayBucket->count, 1u);
  RenderBucket_Draw(DebugOverlayBucket, 1, nullptr, nullptr);
  glFinish();
  const std::string messages = testing::internal::GetCapturedStderr();
  EXPECT_EQ(messages, "");
  const std::string log = ReadText("Vosk.log");
  EXPECT_EQ(log.find("GL error"), std::string::npos);
  EXPECT_EQ(log.find("Draw skipped"), std::string::npos);
  kv_Surface_Release(surface);
  kv_RenderTarget_Free(target);
}

// Pictures --------------------------------------------------------------------------

TEST_F(RenderGL, ColourQuadCoversExactlyItsPixels) {
  kvRenderTarget* target = kv_RenderTarget_Create(64, 48, kvFormat_8x4);
  Bind(target, 0, 0, 0, 0);
  // Pixels 16..35 across and 8..17 down, given in target pixels.
  float x = 16, y = 8, w = 20, h = 10;
  Quad_PixelsToClip(64, 48, &x, &y, &w, &h);
  DrawRecord record;
  Quad_BuildColorDraw(&record, 0.25f, 0.5f, 0.75f, 1.0f, x, y, 0, 0, w, h);
  kv_RenderContext_SubmitDraw(&record);
  const Picture p = Read(target);
  for (int py = 0; py < 48; ++py) {
    for (int px = 0; px < 64; ++px) {
      const bool inside = px >= 16 && px < 36 && py >= 8 && py < 18;
      if (inside) {
        ExpectPixel(p, px, py, 0.25f, 0.5f, 0.75f, 1.0f, 1, "inside");
      } else {
        ExpectPixel(p, px, py, 0, 0, 0, 0, 0, "outside");
      }
      if (HasFailure()) return;
    }
  }
  kv_RenderTarget_Free(target);
}

TEST_F(RenderGL, TexturedQuadAtHalfOpacityBlendsPremultiplied) {
  kvRenderTarget* target = kv_RenderTarget_Create(8, 8, kvFormat_8x4);
  const float clear[4] = {0.0f, 0.2f, 0.4f, 1.0f};
  Bind(target, clear[0], clear[1], clear[2], clear[3]);
  const uint8_t texel[4] = {200, 100, 50, 255};
  kvSurface* surface = MakeSurface(4, 4, [&](int, int, uint8_t* c) { std::memcpy(c, texel, 4); });
  DrawRecord record;
  Quad_BuildTexturedDraw(&record, surface, -1, -1, 0, 0, 2, 2, 0, 0, 1, 1, 0.5f, 0);
  kv_RenderContext_SubmitDraw(&record);
  const Picture p = Read(target);
  // Colour: source x 1 + destination x (1 - source alpha); alpha: source x 1.
  float expected[4];
  for (int i = 0; i < 3; ++i) expected[i] = texel[i] / 255.0f * 0.5f + clear[i] * (1 - 0.5f);
  expected[3] = 0.5f;
  for (int y : {0, 4, 7}) {
    for (int x : {0, 3, 7})
      ExpectPixel(p, x, y, expected[0], expected[1], expected[2], expected[3], 1, "blend");
  }
  kv_Surface_Release(surface);
  kv_RenderTarget_Free(target);
}

TEST_F(RenderGL, GammaQuadDesaturatesToLuminance) {
  kvRenderTarget* target = kv_RenderTarget_Create(8, 8, kvFormat_8x4);
  Bind(target, 0, 0, 0, 0);
  const uint8_t texel[4] = {200, 100, 50, 255};
  kvSurface* surface = MakeSurface(4, 4, [&](int, int, uint8_t* c) { std::memcpy(c, texel, 4); });
  DrawRecord record;
  Quad_BuildTexturedDraw(&record, surface, -1, -1, 0, 0, 2, 2, 0, 0, 1, 1, 1, 1);
  record.program = TexturedGammaQuadProgram;
  kv_RenderContext_SubmitDraw(&record);
  const Picture p = Read(target);
  const float grey = (0.299f * texel[0] + 0.587f * texel[1] + 0.114f * texel[2]) / 255.0f;
  ExpectPixel(p, 3, 3, grey, grey, grey, 1, 1, "grey");
  kv_Surface_Release(surface);
  kv_RenderTarget_Free(target);
}

TEST_F(RenderGL, PresentedRenderTargetIsUpright) {
  // The source: green, with its top half red (drawn as clip y 0..1).
  kvRenderTarget* source = kv_RenderTarget_Create(32, 32, kvFormat_8x4);
  Bind(source, 0, 1, 0, 1);
  DrawRecord record;
  Quad_BuildColorDraw(&record, 1, 0, 0, 1, -1, 0, 0, 0, 2, 1);
  kv_RenderContext_SubmitDraw(&record);
  ExpectPixel(Read(source), 5, 5, 1, 0, 0, 1, 0, "source top");

  kvRenderTarget* target = kv_RenderTarget_Create(64, 64, kvFormat_8x4);
  Bind(target, 0, 0, 1, 1);
  kv_Platform_PresentSurface(context, kv_RenderTarget_GetSurface(source), 1.0f);
  const Picture p = Read(target);
  for (int x : {1, 32, 62}) {
    ExpectPixel(p, x, 2, 1, 0, 0, 1, 1, "top");
    ExpectPixel(p, x, 28, 1, 0, 0, 1, 1, "top");
    ExpectPixel(p, x, 36, 0, 1, 0, 1, 1, "bottom");
    ExpectPixel(p, x, 61, 0, 1, 0, 1, 1, "bottom");
  }
  kv_RenderTarget_Free(target);
  kv_RenderTarget_Free(source);
}

TEST_F(RenderGL, PresentedMemorySurfaceIsFittedUprightAndBlended) {
  // 8 x 4 texels: rows 0 and 1 red, rows 2 and 3 blue.
  kvSurface* surface = MakeSurface(8, 4, [](int, int y, uint8_t* c) {
    c[0] = y < 2 ? 255 : 0;
    c[1] = 0;
    c[2] = y < 2 ? 0 : 255;
    c[3] = 255;
  });
  // A 2:1 picture into a 64 x 64 target: fitted with bars above and below.
  kvRenderTarget* target = kv_RenderTarget_Create(64, 64, kvFormat_8x4);
  Bind(target, 0, 1, 0, 1);
  kv_Platform_PresentSurface(context, surface, 1.0f);
  Picture p = Read(target);
  ExpectPixel(p, 32, 4, 0, 1, 0, 1, 0, "bar above");
  ExpectPixel(p, 32, 20, 1, 0, 0, 1, 1, "top half");
  ExpectPixel(p, 32, 43, 0, 0, 1, 1, 1, "bottom half");
  ExpectPixel(p, 32, 60, 0, 1, 0, 1, 0, "bar below");

  // At half opacity the picture blends over what is there.
  Bind(target, 0, 1, 0, 1);
  kv_Platform_PresentSurface(context, surface, 0.5f);
  p = Read(target);
  ExpectPixel(p, 32, 20, 0.5f, 0.5f, 0, 0.5f, 1, "blended");
  kv_Surface_Release(surface);
  kv_RenderTarget_Free(target);
}

// The present takes the plain textured program when the gamma leaves the
// picture as it is: both must show the same pixels, and any other gamma
// still bends the curve.
TEST_F(RenderGL, PresentAppliesTheGammaCurveOnlyWhereItChangesThePicture) {
  kvSurface* surface = MakeSurface(4, 4, [](int, int, uint8_t* c) {
    c[0] = 64;
    c[1] = 144;
    c[2] = c[3] = 255;
  });
  kvRenderTarget* target = kv_RenderTarget_Create(16, 16, kvFormat_8x4);
  static float gamma = 1.0f;
  RenderHost_Calls().gamma = [] { return gamma; };
  const float r = 64.0f / 255, g = 144.0f / 255;
  const struct {
    float gamma, r, g;
  } cases[] = {
      {1.0f, r, g}, {0.0f, r, g}, {2.0f, std::sqrt(r), std::sqrt(g)}, {0.5f, r * r, g * g}};
  for (const auto& c : cases) {
    gamma = c.gamma;
    Bind(target, 0, 0, 0, 0);
    kv_Platform_PresentSurface(context, surface, 1.0f);
    ExpectPixel(Read(target), 8, 8, c.r, c.g, 1, 1, 1, "presented");
  }
  RenderHost_ResetCalls();
  kv_Surface_Release(surface);
  kv_RenderTarget_Free(target);
}

// Fonts ----------------------------------------------------------------------------

TEST_F(RenderGL, FontCacheKeyIsPathAndSize) {
  HdFont* a = FontCache_Acquire("FontsHD/fixture.ttf", 44, 16);
  ASSERT_NE(a, nullptr);
  const uint32_t uses = a->useCount;
  EXPECT_EQ(FontCache_Acquire("FontsHD/fixture.ttf", 44, 16), a);
  EXPECT_EQ(a->useCount, uses + 1);
  HdFont* small = FontCache_Acquire("FontsHD/fixture.ttf", 1, 14);
  ASSERT_NE(small, nullptr);
  EXPECT_NE(small, a);
  HdFont* otherCase = FontCache_Acquire("FontsHD/FIXTURE.ttf", 44, 16);
  ASSERT_NE(otherCase, nullptr);
  EXPECT_NE(otherCase, a);

  // 640 x 480 shows the 1440 x 1080 virtual screen at 4/9: 44 -> 19.625 px,
  // and size 1 is raised to the minimum.
  EXPECT_FLOAT_EQ(a->pixelSize, 19.625f);
  EXPECT_FLOAT_EQ(small->pixelSize, 14.0f);
  EXPECT_EQ(a->glyphCount, HdFont_GlyphCount);
  EXPECT_GT(a->glyphs[int{'H'}].x1, a->glyphs[int{'H'}].x0);
  EXPECT_GT(a->glyphs[int{'H'}].advance, 0.0f);

  EXPECT_EQ(FontCache_Acquire("FontsHD/missing.ttf", 44, 16), nullptr);
  WriteFile("FontsHD/notafont.ttf", std::string(64, 'x'));
  EXPECT_EQ(FontCache_Acquire("FontsHD/notafont.ttf", 44, 16), nullptr);
  const std::string log = ReadText("Vosk.log");
  EXPECT_NE(log.find("Unable to load font: FontsHD/missing.ttf"), std::string::npos);
  EXPECT_NE(log.find("Unable to initialize font: FontsHD/notafont.ttf"), std::string::npos);
}

TEST_F(RenderGL, SmallFontsAdvanceOnePixelMore) {
  HdFont* font = FontCache_Acquire("FontsHD/fixture.ttf", 20, 16);  // 8.875 -> 16 px
  ASSERT_NE(font, nullptr);
  ASSERT_FLOAT_EQ(font->pixelSize, 16.0f);
  stbtt_fontinfo info;
  ASSERT_TRUE(stbtt_InitFont(&info, font->fileData, 0));
  int ascent, descent, gap, advance, bearing;
  stbtt_GetFontVMetrics(&info, &ascent, &descent, &gap);
  stbtt_GetGlyphHMetrics(&info, stbtt_FindGlyphIndex(&info, 'H'), &advance, &bearing);
  const float g = 16.0f / static_cast<float>(ascent - descent);
  EXPECT_FLOAT_EQ(font->glyphs[int{'H'}].advance, advance * g + 1.0f);
}

TEST_F(RenderGL, OversizedFontIsLoweredUntilItFits) {
  HdFont* font = FontCache_Acquire("FontsHD/fixture.ttf", 2000, 16);  // 889 px asked
  ASSERT_NE(font, nullptr);
  EXPECT_LT(font->pixelSize, 888.0f);
  EXPECT_GT(font->pixelSize, 50.0f);
  int bottom = 0;
  for (uint32_t c = 0; c < HdFont_GlyphCount; ++c) {
    EXPECT_LE(font->glyphs[c].x1, HdFont_AtlasSize);
    bottom = std::max<int>(bottom, font->glyphs[c].y1);
  }
  EXPECT_LE(bottom, HdFont_AtlasSize);
  EXPECT_GT(bottom, HdFont_AtlasSize / 2);  // lowered no further than needed, roughly
  EXPECT_NE(ReadText("Vosk.log").find("do not fit"), std::string::npos);
}

// Fake text objects: the reader answers from this table by object address.
struct FakeText {
  TextObjectDrawInfo info;
  int reads = 0;
};
std::vector<FakeText*> g_fakes;
int ReadFake(TextObject* object, TextObjectDrawInfo* info) {
  auto* fake = reinterpret_cast<FakeText*>(object);
  if (std::find(g_fakes.begin(), g_fakes.end(), fake) == g_fakes.end()) return 0;
  fake->reads += 1;
  *info = fake->info;
  return 1;
}

struct TextObjects : RenderGL {
  std::vector<FakeText> fakes = std::vector<FakeText>(8);
  void SetUp() override {
    RenderGL::SetUp();
    for (auto& f : fakes) {
      f.info = {};
      f.info.lineCount = 999999;
      f.info.alpha = 1.0f;
      f.info.foreground = 0x00FFFFFF;
      f.info.wrapWidth = 1440;
      g_fakes.push_back(&f);
    }
    RenderHost_Calls().readTextObject = ReadFake;
  }
  void TearDown() override {
    Hardware_DisplayChanged();
    RenderHost_ResetCalls();
    g_fakes.clear();
    RenderGL::TearDown();
  }
  TextObject* Object(int i) { return reinterpret_cast<TextObject*>(&fakes[i]); }
};

TEST_F(TextObjects, RegistryMapsFontResourcesThroughDescriptors) {
  WriteFile("FontsHD/SPEECH.LAF.txt", "fixture.ttf 40px\n");
  WriteFile("FontsHD/lower.laf.txt", "fixture.ttf 30px\n");  // spelled in lower case on disk
  WriteFile("FontsHD/BROKEN.LAF.txt", "fixture.ttf\n");
  int resourceA = 0, resourceB = 0, resourceC = 0, resourceD = 0;
  testing::internal::CaptureStdout();
  HdFontRegistry_OnResourceLoaded(Res_Tag("FONT"), "speech.laf", &resourceA, 0);
  HdFontRegistry_OnResourceLoaded(Res_Tag("FONT"), "speech.laf", &resourceB, 0);  // re-keyed
  HdFontRegistry_OnResourceLoaded(Res_Tag("FONT"), "LOWER.LAF", &resourceC, 0);
  HdFontRegistry_OnResourceLoaded(Res_Tag("FONT"), "broken.laf", &resourceD, 0);
  HdFontRegistry_OnResourceLoaded(Res_Tag("FONT"), "absent.laf", &resourceD, 0);
  HdFontRegistry_OnResourceLoaded(Res_Tag("COST"), "speech.laf", &resourceD, 0);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Font 'SPEECH.LAF' loaded; 'FontsHD/SPEECH.LAF.txt' -> "
                     "'FontsHD/fixture.ttf', 40.000000px\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(out.find("SPEECH.LAF' loaded; already"), std::string::npos);
  EXPECT_NE(out.find("Font 'LOWER.LAF' loaded; 'FontsHD/LOWER.LAF.txt' -> "), std::string::npos);
  EXPECT_NE(out.find("Font 'BROKEN.LAF' loaded; 'FontsHD/BROKEN.LAF.txt' is invalid (expected "
                     "'<fontname> <size>px').\n"),
            std::string::npos);
  EXPECT_NE(out.find("Font 'ABSENT.LAF' loaded; 'FontsHD/ABSENT.LAF.txt' not found.\n"),
            std::string::npos);

  EXPECT_EQ(HdFontRegistry_Find(&resourceA), nullptr);
  HdFont* speech = HdFontRegistry_Find(&resourceB);
  ASSERT_NE(speech, nullptr);
  EXPECT_FLOAT_EQ(speech->size, 40.0f);
  EXPECT_EQ(speech->minimumPixelSize, 16);
  ASSERT_NE(HdFontRegistry_Find(&resourceC), nullptr);
  EXPECT_EQ(HdFontRegistry_Find(&resourceD), nullptr);

  // The font form of the extent query: the line height in overlay units.
  int height = -1;
  Hardware_GetTextExtent(&resourceB, nullptr, nullptr, nullptr, nullptr, &height);
  EXPECT_EQ(height, static_cast<int>(std::ceil(speech->pixelSize / (4.0f / 9.0f))));
  height = -1;
  Hardware_GetTextExtent(&resourceD, nullptr, nullptr, nullptr, nullptr, &height);
  EXPECT_EQ(height, -1);  // no high-definition font: nothing written
}

TEST_F(TextObjects, LineOfTextCoversTheGlyphsStbTrueTypeComputes) {
  WriteFile("FontsHD/TEXTTEST.LAF.txt", "fixture.ttf 64px\n");
  static int resource = 0;
  testing::internal::CaptureStdout();
  HdFontRegistry_OnResourceLoaded(Res_Tag("FONT"), "texttest.laf", &resource, 0);
  testing::internal::GetCapturedStdout();
  HdFont* font = HdFontRegistry_Find(&resource);
  ASSERT_NE(font, nullptr);
  const float p = font->pixelSize;
  EXPECT_FLOAT_EQ(p, 28.5f);  // ceil(64 x 4/9 x 8) / 8

  // Overlay (276, 27) lands on back-buffer pixel (16, 12) of the 640 x 480 frame.
  const char* text = "HIT";
  fakes[0].info.text = text;
  fakes[0].info.fontData = &resource;
  fakes[0].info.x = 276;
  fakes[0].info.y = 27;
  ASSERT_EQ(Hardware_DrawTextObject(Object(0), 0), 1);
  ASSERT_EQ(HardwareOverlayBucket->count, 1u);
  RenderBucket_Draw(HardwareOverlayBucket, 1, nullptr, nullptr);
  const Picture picture = Read(BackBuffer());

  // What stb_truetype says: glyph bitmaps at the pen, on a baseline ceil(p) below the origin.
  stbtt_fontinfo info;
  ASSERT_TRUE(stbtt_InitFont(&info, font->fileData, 0));
  int ascent, descent, gap;
  stbtt_GetFontVMetrics(&info, &ascent, &descent, &gap);
  const float g = p / static_cast<float>(ascent - descent);
  std::vector<int> expected(static_cast<size_t>(picture.width) * picture.height, 0);
  std::vector<std::array<int, 4>> boxes;
  float penX = 0;
  for (const char* c = text; *c; ++c) {
    const int glyph = stbtt_FindGlyphIndex(&info, *c);
    int x0, y0, x1, y1, advance, bearing;
    stbtt_GetGlyphBitmapBoxSubpixel(&info, glyph, g, g, 0, 0, &x0, &y0, &x1, &y1);
    stbtt_GetGlyphHMetrics(&info, glyph, &advance, &bearing);
    const int left = 16 + static_cast<int>(std::floor(x0 + penX + 0.5f));
    const int top = 12 + static_cast<int>(std::ceil(p)) + y0;
    const int w = x1 - x0, h = y1 - y0;
    for (const auto& b : boxes) {
      ASSERT_TRUE(left >= b[2] + 2 || left + w + 2 <= b[0]) << "the test text's glyphs overlap";
    }
    boxes.push_back({left, top, left + w, top + h});
    std::vector<uint8_t> bitmap(static_cast<size_t>(w) * h);
    stbtt_MakeGlyphBitmapSubpixel(&info, bitmap.data(), w, h, w, g, g, 0, 0, glyph);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        expected[static_cast<size_t>(top + y) * picture.width + left + x] = bitmap[y * w + x];
      }
    }
    penX += advance * g;
  }
  int lit = 0;
  for (int y = 0; y < 80; ++y) {
    for (int x = 0; x < 200; ++x) {
      const int want = expected[static_cast<size_t>(y) * picture.width + x];
      ASSERT_NEAR(picture.At(x, y)[0], want, 2) << "red at (" << x << ", " << y << ")";
      lit += want > 128;
    }
  }
  EXPECT_GT(lit, 100);
}

TEST_F(TextObjects, CacheBuildsOnceUntilTheObjectOrDisplayChanges) {
  fakes[0].info.text = "Hello there";
  TextCacheEntry* entry = TextCache_Get(Object(0));
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->mesh.font, OverlayFont);  // no registered font: the overlay font
  EXPECT_EQ(entry->mesh.perFrame, 0);
  EXPECT_EQ(TextCache_Get(Object(0)), entry);
  EXPECT_EQ(fakes[0].reads, 1);
  EXPECT_EQ(TextCache_GetLineCount(Object(0)), 1u);
  int32_t counts[4] = {};
  EXPECT_EQ(TextCache_GetLineValues(Object(0), counts, 4), 1u);
  EXPECT_EQ(counts[0], 11);
  EXPECT_EQ(fakes[0].reads, 1);

  Hardware_SurfaceFreed(Object(0));
  Hardware_SurfaceFreed(Object(1));  // never drawn: nothing happens
  ASSERT_NE(TextCache_Get(Object(0)), nullptr);
  EXPECT_EQ(fakes[0].reads, 2);

  // A new virtual-screen width bakes the fonts again and drops the layouts.
  const float before = OverlayFont->pixelSize;
  Overlay_SetVirtualScreenAspect(4.0f / 3.0f);  // unchanged: nothing happens
  ASSERT_NE(TextCache_Get(Object(0)), nullptr);
  EXPECT_EQ(fakes[0].reads, 2);
  Overlay_SetVirtualScreenAspect(16.0f / 9.0f);
  EXPECT_EQ(OverlayFont->pixelSize, 16.0f);  // 44 x 1/3 -> 14.75, the minimum is 16
  ASSERT_NE(TextCache_Get(Object(0)), nullptr);
  EXPECT_EQ(fakes[0].reads, 3);
  Overlay_SetVirtualScreenAspect(4.0f / 3.0f);
  EXPECT_EQ(OverlayFont->pixelSize, before);

  // Empty text: nothing cached, nothing drawn, nothing measured.
  fakes[2].info.text = "";
  EXPECT_EQ(TextCache_Get(Object(2)), nullptr);
  EXPECT_EQ(TextCache_GetLineCount(Object(2)), 0u);
  EXPECT_EQ(TextCache_GetLineValues(Object(2), counts, 4), 0u);
  EXPECT_EQ(Hardware_DrawTextObject(Object(2), 0), 0);
  int x = 5, y = 5, w = 5, h = 5;
  Hardware_GetTextExtent(nullptr, Object(2), &x, &y, &w, &h);
  EXPECT_EQ(x + y + w + h, 0);
  EXPECT_EQ(HardwareOverlayBucket->count, 0u);
}

TEST_F(TextObjects, DrawRecordShowsTheVisibleLines) {
  fakes[0].info.text = "one\ntwo\nthree\nfour";
  fakes[0].info.firstLine = 2;
  fakes[0].info.lineCount = 1;
  ASSERT_EQ(Hardware_DrawTextObject(Object(0), 1), 1);
  const TextCacheEntry* entry = TextCache_Get(Object(0));
  ASSERT_EQ(entry->lines.lineCount, 4u);
  ASSERT_EQ(HardwareOverlayBucket->count, 1u);
  const DrawRecord& r = HardwareOverlayBucket->records[0];
  EXPECT_EQ(r.program, TextProgram);
  EXPECT_EQ(r.vertexBuffer, entry->mesh.vertexBuffer);
  EXPECT_EQ(r.first, static_cast<int>(entry->lines.lines[2].firstVertex));
  EXPECT_EQ(r.count, static_cast<int>(entry->lines.lines[2].vertexCount));
  EXPECT_EQ(r.textures[0], OverlayFont->surface);
  EXPECT_EQ(r.samplerStates[0].filter, 1);
  EXPECT_EQ(r.vertexConstants.data, r.pixelConstants.data);
  const auto* c = static_cast<const TextConstants*>(r.pixelConstants.data);
  ASSERT_NE(c, nullptr);
  // Line 2 is raised to where line 0 would be: 2 x 1.21 line heights.
  EXPECT_NEAR(c->Origin.y, -entry->lines.pixelSize * 2 * 1.21f, 1e-3f);
  EXPECT_FLOAT_EQ(c->PixelSize.x, 2.0f / 640);
  EXPECT_FLOAT_EQ(c->PixelSize.y, -2.0f / 480);
  EXPECT_FLOAT_EQ(c->TextColor.x, 1.0f);
  EXPECT_FLOAT_EQ(c->ShadowColor.w, 1.0f);
  EXPECT_FLOAT_EQ(c->TexelSize.x, 1.0f / HdFont_AtlasSize);
}

TEST_F(TextObjects, ExtentOfCentredText) {
  fakes[0].info.text = "Centred words";
  fakes[0].info.x = 960;
  fakes[0].info.y = 540;
  fakes[0].info.justification = 0.5f;
  int x = 0, y = 0, w = 0, h = 0;
  Hardware_GetTextExtent(nullptr, Object(0), &x, &y, &w, &h);
  const TextCacheEntry* entry = TextCache_Get(Object(0));
  EXPECT_EQ(w, static_cast<int>(std::ceil(entry->lines.maxX / (4.0f / 9.0f))));
  EXPECT_EQ(h, static_cast<int>(std::ceil(entry->lines.maxY / (4.0f / 9.0f))));
  // The quads reach two pixels past each glyph, which the extent counts too.
  EXPECT_NEAR(x, 960 - w / 2, 8);
  EXPECT_EQ(y, 540);
}

TEST_F(RenderGL, FillRectIsFittedAndPremultiplied) {
  // Overlay x 240 .. 1680 is the whole 4:3 area: the whole 640 x 480 frame.
  Hardware_FillRect(nullptr, 240, 0, 1680, 1080, 0x0000FF, 0, 0.5f);
  ASSERT_EQ(HardwareOverlayBucket->count, 1u);
  const DrawRecord& r = HardwareOverlayBucket->records[0];
  EXPECT_EQ(r.program, ColorQuadProgram);
  const auto* c = static_cast<const ColorQuadConstants*>(r.pixelConstants.data);
  EXPECT_FLOAT_EQ(c->FillColor.x, 0.5f);
  EXPECT_FLOAT_EQ(c->FillColor.y, 0.0f);
  EXPECT_FLOAT_EQ(c->FillColor.z, 0.0f);
  EXPECT_FLOAT_EQ(c->FillColor.w, 0.5f);
  const auto* v = reinterpret_cast<const QuadVertex*>(r.vertexBuffer->data);
  EXPECT_NEAR(v[0].Position.x, -1.0f, 1e-5f);
  EXPECT_NEAR(v[0].Position.y, -1.0f, 1e-5f);
  EXPECT_NEAR(v[4].Position.x, 1.0f, 1e-5f);
  EXPECT_NEAR(v[4].Position.y, 1.0f, 1e-5f);

  HardwareOverlay_FillBlack();
  ASSERT_EQ(HardwareOverlayBucket->count, 2u);
  RenderBucket_Draw(HardwareOverlayBucket, 1, nullptr, nullptr);
  const Picture p = Read(BackBuffer());
  ExpectPixel(p, 0, 0, 0, 0, 0, 1, 0, "black fill");
  ExpectPixel(p, 639, 479, 0, 0, 0, 1, 0, "black fill");
}

TEST_F(RenderGL, DebugTextReportsItsFarEdges) {
  int right = 0, bottom = 0;
  HardwareOverlay_DrawDebugText("60 fps", 300, 20, 1, 1, 0, &right, &bottom);
  ASSERT_EQ(DebugOverlayBucket->count, 1u);
  const DrawRecord& r = DebugOverlayBucket->records[0];
  EXPECT_EQ(r.textures[0], DebugFont->surface);
  EXPECT_EQ(r.samplerStates[0].filter, 0);  // nearest
  EXPECT_EQ(r.first, 0);
  EXPECT_GT(right, 300 + 20);
  EXPECT_GT(bottom, 20 + 20);
  EXPECT_LT(bottom, 20 + 80);
}

// The overlay buckets are emptied at phase 3 by one back end: the software
// one when active, else the deferred one; while the deferred back end has no
// frame phases, the software back end empties them so that they never pile up.
TEST_F(RenderGL, OverlayBucketsAreEmptiedEveryFrame) {
  kv_RenderHooks_ResetForTest();
  RenderHookTable deferred{};
  kv_RenderHooks_Register(&deferred);
  RenderHookTable* software = InitSoftwareBackend();
  kv_RenderHooks_SetBackends(nullptr, &deferred, software);
  software->active = 0;
  const DrawRecord empty{};
  for (int frame = 0; frame < 3; ++frame) {
    RenderBucket_Add(HardwareOverlayBucket, &empty);
    RenderBucket_Add(DebugOverlayBucket, &empty);
    Software_FramePhase(3);
    EXPECT_EQ(HardwareOverlayBucket->count, 0u);
    EXPECT_EQ(DebugOverlayBucket->count, 0u);
  }
  // A deferred back end with frame phases draws them itself.
  deferred.FramePhase = [](int) {};
  RenderBucket_Add(HardwareOverlayBucket, &empty);
  Software_FramePhase(3);
  EXPECT_EQ(HardwareOverlayBucket->count, 1u);
  software->active = 1;
  Software_FramePhase(3);
  EXPECT_EQ(HardwareOverlayBucket->count, 0u);
  kv_RenderHooks_ResetForTest();
}

TEST_F(RenderGL, InitHardwareBackendRegistersItsHooks) {
  const int before = kv_RenderHooks_GetCount();
  RenderHookTable* table = InitHardwareBackend();
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(kv_RenderHooks_GetCount(), before + 1);
  EXPECT_EQ(table->active, 1);
  EXPECT_EQ(table->SurfaceFreed, Hardware_SurfaceFreed);
  EXPECT_EQ(table->DrawTextObject, Hardware_DrawTextObject);
  EXPECT_EQ(table->ResourceLoaded, HdFontRegistry_OnResourceLoaded);
  EXPECT_EQ(table->GetTextExtent, Hardware_GetTextExtent);
  EXPECT_EQ(table->FillRect, Hardware_FillRect);
  EXPECT_EQ(table->DisplayChanged, Hardware_DisplayChanged);
  EXPECT_EQ(table->FramePhase, nullptr);
  EXPECT_EQ(table->Blit, nullptr);
  const std::string log = ReadText("Vosk.log");
  EXPECT_NE(log.find("Initializing hardware renderer..."), std::string::npos);
  EXPECT_EQ(log.find("could not"), std::string::npos);
  kv_RenderHooks_ResetForTest();
}

}  // namespace
