// The render context on a real GL 3.3 core context (Xvfb + Mesa): start-up,
// the frame bracket, surfaces, buffers, render targets, programs and draws.
#include <GL/glew.h>
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gfx/kv_Buffer.h"
#include "gfx/kv_Layout.h"
#include "gfx/kv_RenderContext.h"
#include "gfx/kv_RenderTarget.h"
#include "gfx/kv_Shader.h"
#include "gfx/kv_Surface.h"
#include "platform/kv_Log.h"
#include "platform/kv_Platform.h"
#include "platform/kv_RenderHooks.h"

namespace {

SDL_Window* g_window = nullptr;
SDL_GLContext g_gl = nullptr;

// A hidden window with a 3.3 core context, as the window layer makes it, and
// the render context started on it once for the whole program.
class GLEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    g_window =
        SDL_CreateWindow("Vosk Quorvale", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 640, 480,
                         SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
    ASSERT_NE(g_window, nullptr) << SDL_GetError();
    g_gl = SDL_GL_CreateContext(g_window);
    ASSERT_NE(g_gl, nullptr) << SDL_GetError();
    kv_Log_ResetForTest();
    std::filesystem::remove("Vosk.log");
    ASSERT_EQ(kv_Log_Open("Vosk.log"), 1);
    ASSERT_TRUE(kv_Platform_InitGFX());
  }
  void TearDown() override {
    SDL_GL_DeleteContext(g_gl);
    SDL_DestroyWindow(g_window);
    SDL_Quit();
  }
};
::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new GLEnvironment);

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Fixture(const char* name) {
  const char* root = std::getenv("VQ_FIXTURES");
  return std::string(root ? root : "tests/fixtures") + "/gfx/" + name;
}

size_t CountOf(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The quad program built straight from the fixture sources, so that draw tests
// do not depend on the file layer.
kvShader* QuadProgram() {
  static kvShader* shader = [] {
    auto compile = [](GLenum type, const std::string& source) {
      const GLuint s = glCreateShader(type);
      const char* text = source.c_str();
      glShaderSource(s, 1, &text, nullptr);
      glCompileShader(s);
      GLint ok = 0;
      glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
      EXPECT_EQ(ok, GL_TRUE);
      return s;
    };
    auto* program = new kvShader();
    std::strcpy(program->name, "quad");
    program->vertexShader = compile(GL_VERTEX_SHADER, ReadText(Fixture("quad_v.glsl")));
    program->fragmentShader = compile(GL_FRAGMENT_SHADER, ReadText(Fixture("quad_p.glsl")));
    program->program = glCreateProgram();
    glAttachShader(program->program, program->vertexShader);
    glAttachShader(program->program, program->fragmentShader);
    glLinkProgram(program->program);
    GLint ok = 0;
    glGetProgramiv(program->program, GL_LINK_STATUS, &ok);
    EXPECT_EQ(ok, GL_TRUE);
    program->uniformLocations = new std::map<std::string, int>();
    return program;
  }();
  return shader;
}

const LayoutMember kVertexMembers[] = {{"pos", "kvVector2F", 0, 8}, {"uv", "kvVector2F", 8, 8}};
const LayoutDescriptor kVertexLayout = {16, "QuadVertex", 2, kVertexMembers};
const LayoutMember kVSMembers[] = {{"transform", "kvVector4F", 0, 16}};
const LayoutDescriptor kVSLayout = {16, "QuadVSConstants", 1, kVSMembers};
const LayoutMember kPSMembers[] = {{"colour", "kvVector4F", 0, 16}, {"useTexture", "float", 16, 4}};
const LayoutDescriptor kPSLayout = {32, "QuadPSConstants", 2, kPSMembers};

kvVertexBuffer* FullScreenQuad(kvRenderContext* context) {
  kvVertexBuffer* vb = kv_VertexBuffer_AllocateTransient(context, 4 * 16, &kVertexLayout);
  const float vertices[16] = {-1, -1, 0, 0, 1, -1, 1, 0, -1, 1, 0, 1, 1, 1, 1, 1};
  std::memcpy(kv_Buffer_Lock(vb), vertices, sizeof vertices);
  kv_Buffer_Unlock(vb);
  kv_VertexBuffer_AddAttribute(vb, 1, 0, 16, 4, "pos", "kvVector2F", 0, 8);
  kv_VertexBuffer_AddAttribute(vb, 1, 8, 16, 4, "uv", "kvVector2F", 8, 8);
  return vb;
}

DrawRecord QuadDraw(kvRenderContext* context, const float colour[4], float useTexture) {
  DrawRecord record{};
  record.primitiveKind = 19;
  record.program = QuadProgram();
  kv_RenderContext_AllocConstants(&record.vertexConstants, context, 16, &kVSLayout);
  const float transform[4] = {1, 1, 0, 0};
  std::memcpy(record.vertexConstants.data, transform, sizeof transform);
  kv_RenderContext_AllocConstants(&record.pixelConstants, context, 32, &kPSLayout);
  float ps[8] = {colour[0], colour[1], colour[2], colour[3], useTexture, 0, 0, 0};
  std::memcpy(record.pixelConstants.data, ps, sizeof ps);
  record.count = 4;
  record.vertexBuffer = FullScreenQuad(context);
  return record;
}

// Pixel (x, y) of colour attachment 0 of the bound targets, as B, G, R, A bytes.
std::vector<uint8_t> ReadTarget(kvRenderContext* context, int x, int y) {
  kv_RenderContext_RenderTargetSetup(context);
  glReadBuffer(GL_COLOR_ATTACHMENT0);
  std::vector<uint8_t> pixel(4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, y, 1, 1, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, pixel.data());
  return pixel;
}

void ExpectPixel(const std::vector<uint8_t>& bgra, float r, float g, float b, float a,
                 const std::string& what) {
  const float expected[4] = {b, g, r, a};
  for (int i = 0; i < 4; ++i) {
    EXPECT_NEAR(bgra[i], std::lround(std::fmin(1.0f, expected[i]) * 255.0f), 2)
        << what << " channel " << i;
  }
}

struct FrameTest : ::testing::Test {
  kvRenderContext* context = kv_RenderContext_Get();
  void SetUp() override {
    kv_Platform_EndFrame();  // close whatever is open and start clean
    ASSERT_EQ(kv_Platform_BeginFrame(), 1);
  }
  void TearDown() override { kv_Platform_EndFrame(); }
};

// -----------------------------------------------------------------------------

TEST(StartUp, LogsTheDriverAndEveryStep) {
  const std::string log = ReadText("Vosk.log");
  EXPECT_NE(log.find("[OpenGL] Vendor: "), std::string::npos);
  EXPECT_NE(log.find("[OpenGL] Version: "), std::string::npos);
  EXPECT_NE(log.find("[OpenGL] Extensions: N/A"), std::string::npos);  // core profile
  EXPECT_NE(log.find("[OpenGL] Extension: GL_"), std::string::npos);
  EXPECT_NE(log.find("[OpenGL] - CheckOpenGLRequirements completed successfully."),
            std::string::npos);
  EXPECT_EQ(CountOf(log, "[OpenGL] - error fun loop. return hex: 0x"), 8u);
  EXPECT_NE(log.find("[OpenGL] - allocateDefaultBuffers..."), std::string::npos);
  EXPECT_NE(log.find("[OpenGL] - GL fully initialized!"), std::string::npos);
  EXPECT_EQ(log.find("Unsupported OpenGL version"), std::string::npos);
  EXPECT_TRUE(kv_RenderContext_IsInitialised());

  kvRenderTarget *colour = nullptr, *depth = nullptr;
  kv_Platform_GetBackBuffer(&colour, &depth);
  ASSERT_NE(colour, nullptr);
  ASSERT_NE(depth, nullptr);
  int w = 0, h = 0;
  SDL_GL_GetDrawableSize(g_window, &w, &h);
  EXPECT_EQ(colour->width, w);
  EXPECT_EQ(colour->format, uint32_t(kvFormat_8x4));
  EXPECT_EQ(depth->format, uint32_t(kvFormat_Depth));
  EXPECT_EQ(kv_RenderTarget_GetSurface(depth), nullptr);
  float sx = 0, sy = 0;
  kv_Platform_GetPixelToClipScale(&sx, &sy);
  EXPECT_FLOAT_EQ(sx, 2.0f / w);
  EXPECT_FLOAT_EQ(sy, -2.0f / h);
}

TEST(Frame, BracketOpensOnceAndEndWithoutBeginOpensAndCloses) {
  kv_Platform_EndFrame();
  const uint32_t serial = kv_RenderContext_FrameSerial();
  EXPECT_EQ(kv_Platform_BeginFrame(), 1);
  EXPECT_EQ(kv_Platform_BeginFrame(), 0);
  EXPECT_EQ(kv_RenderContext_FrameSerial(), serial + 1);
  EXPECT_EQ(kv_RenderContext_Get()->depthCompare, uint32_t(GL_ALWAYS));
  EXPECT_EQ(kv_Platform_EndFrame(), 1);
  EXPECT_EQ(kv_Platform_EndFrame(), 1);  // opens one itself
  EXPECT_EQ(kv_RenderContext_FrameSerial(), serial + 2);
}

int MovieModeOn(void) {
  return 1;
}

TEST(Frame, SwapIntervalIsOneOnlyInMovies) {
  kv_Platform_EndFrame();
  EXPECT_EQ(kv_RenderContext_LastSwapIntervalForTest(), 0);
  kv_RenderContext_SetMovieModeQueryForTest(&MovieModeOn);
  kv_Platform_EndFrame();
  EXPECT_EQ(kv_RenderContext_LastSwapIntervalForTest(), 1);
  kv_RenderContext_SetMovieModeQueryForTest(nullptr);
  kv_Platform_EndFrame();
  EXPECT_EQ(kv_RenderContext_LastSwapIntervalForTest(), 0);
}

// A recording back end: what the frame broadcasts, in order.
std::vector<int> g_phases;
int g_displayChanges = 0;
void RecordPhase(int phase) {
  g_phases.push_back(phase);
}
void RecordDisplayChanged(void) {
  ++g_displayChanges;
}
double NoTime(void) {
  return 0.0;
}
float DefaultSetting(const char*, float value) {
  return value;
}
float NoScaling(void) {
  return 0.0f;
}
void KeepDisplay(void) {}

TEST(Frame, PhasesReachTheBackEndsInOrder) {
  kv_Platform_EndFrame();
  kv_RenderHooks_ResetForTest();
  const kvRenderHooksHost host = {&NoTime, &DefaultSetting, &NoScaling, &KeepDisplay};
  kv_RenderHooks_SetHost(&host);
  static RenderHookTable recorder{};
  recorder.FramePhase = &RecordPhase;
  recorder.DisplayChanged = &RecordDisplayChanged;
  ASSERT_EQ(kv_RenderHooks_Register(&recorder), &recorder);
  // Let any pending change of the window mode settle first.
  kv_Platform_EndFrame();
  kv_Platform_EndFrame();

  g_phases.clear();
  g_displayChanges = 0;
  ASSERT_EQ(kv_Platform_BeginFrame(), 1);
  EXPECT_EQ(g_phases, (std::vector<int>{0}));
  kv_Platform_BeginFrame();  // already open: nothing
  EXPECT_EQ(g_phases, (std::vector<int>{0}));
  kv_Platform_EndFrame();
  EXPECT_EQ(g_phases, (std::vector<int>{0, 1, 2, 3}));

  g_phases.clear();
  kv_Platform_EndFrame();  // without a begin: opens and closes
  EXPECT_EQ(g_phases, (std::vector<int>{0, 1, 2, 3}));

  g_phases.clear();
  kv_RenderContext_SetMovieModeQueryForTest(&MovieModeOn);
  kv_Platform_EndFrame();
  kv_RenderContext_SetMovieModeQueryForTest(nullptr);
  EXPECT_EQ(g_phases, (std::vector<int>{0, 3}));
  EXPECT_EQ(g_displayChanges, 0);

  // A resize between frames: one display change at the next frame begin.
  kv_Platform_OnWindowResized();
  kv_Platform_EndFrame();
  kv_Platform_EndFrame();
  EXPECT_EQ(g_displayChanges, 1);
  kv_RenderHooks_ResetForTest();
}

TEST(Frame, DisplayChangeRecreatesTheBackBuffersAtTheNextBegin) {
  kv_Platform_EndFrame();
  kvRenderTarget* before = nullptr;
  kv_Platform_GetBackBuffer(&before, nullptr);
  SDL_SetWindowSize(g_window, 320, 240);
  kv_Platform_OnWindowResized();
  ASSERT_EQ(kv_Platform_BeginFrame(), 1);
  kvRenderTarget* after = nullptr;
  kv_Platform_GetBackBuffer(&after, nullptr);
  int w = 0, h = 0;
  SDL_GL_GetDrawableSize(g_window, &w, &h);
  ASSERT_NE(after, nullptr);
  EXPECT_EQ(after->width, w);
  EXPECT_EQ(after->height, h);
  EXPECT_EQ(kv_RenderContext_Get()->mainTarget, after);
  kv_Platform_EndFrame();
  // Consumed: the next frame keeps the targets.
  kv_Platform_BeginFrame();
  kvRenderTarget* again = nullptr;
  kv_Platform_GetBackBuffer(&again, nullptr);
  EXPECT_EQ(again, after);
  kv_Platform_EndFrame();
  SDL_SetWindowSize(g_window, 640, 480);
  kv_Platform_OnWindowResized();
  kv_Platform_EndFrame();
  (void)before;
}

// A display change that leaves the drawable size as it was (the window's own
// size events, a settings check) keeps the back buffers: making them again
// costs the driver a cleared allocation of the whole window.
TEST(Frame, DisplayChangeAtTheSameSizeKeepsTheBackBuffers) {
  kv_Platform_EndFrame();  // any pending change of the window mode settles
  kv_Platform_EndFrame();
  kvRenderTarget* before = nullptr;
  kv_Platform_GetBackBuffer(&before, nullptr);
  ASSERT_NE(before, nullptr);
  ASSERT_NE(before->surface, nullptr);
  const uint32_t texture = before->surface->texture;
  kv_Platform_OnWindowResized();
  ASSERT_EQ(kv_Platform_BeginFrame(), 1);
  kvRenderTarget* after = nullptr;
  kv_Platform_GetBackBuffer(&after, nullptr);
  ASSERT_NE(after, nullptr);
  EXPECT_EQ(after->surface->texture, texture);
  EXPECT_EQ(kv_RenderContext_Get()->mainTarget, after);
  kv_Platform_EndFrame();
}

// What the window's back buffer holds right after the blit, before the swap:
// its middle, and its first and last pixel (nothing is left uncovered).
uint8_t g_windowPixel[4];
uint8_t g_windowCorners[2][4];
PFNGLBLITFRAMEBUFFERPROC g_realBlit = nullptr;
void GLAPIENTRY ReadingBlit(GLint sx0, GLint sy0, GLint sx1, GLint sy1, GLint dx0, GLint dy0,
                            GLint dx1, GLint dy1, GLbitfield mask, GLenum filter) {
  g_realBlit(sx0, sy0, sx1, sy1, dx0, dy0, dx1, dy1, mask, filter);
  GLint read = 0;
  glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
  glReadBuffer(GL_BACK);
  glReadPixels((dx0 + dx1) / 2, (dy0 + dy1) / 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, g_windowPixel);
  glReadPixels(dx0, dy0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, g_windowCorners[0]);
  glReadPixels(dx1 - 1, dy1 - 1, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, g_windowCorners[1]);
  glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(read));
}

TEST(Window, BlitShowsTheClearColourInTheWindow) {
  kv_Platform_EndFrame();
  kv_Platform_BeginFrame();
  kvRenderContext* context = kv_RenderContext_Get();
  kv_RenderContext_Clear(context, 0.0f, 1.0f, 0.0f, 1.0f, 1.0f);
  g_realBlit = __glewBlitFramebuffer;
  __glewBlitFramebuffer = &ReadingBlit;
  std::memset(g_windowPixel, 0x77, 4);
  std::memset(g_windowCorners, 0x77, sizeof g_windowCorners);
  kv_Platform_EndFrame();
  __glewBlitFramebuffer = g_realBlit;
  EXPECT_EQ(g_windowPixel[0], 0);
  EXPECT_EQ(g_windowPixel[1], 255);
  EXPECT_EQ(g_windowPixel[2], 0);
  for (const uint8_t* corner : g_windowCorners) {
    EXPECT_EQ(corner[0], 0);
    EXPECT_EQ(corner[1], 255);
    EXPECT_EQ(corner[2], 0);
  }
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  EXPECT_TRUE(SDL_GetWindowFlags(g_window) & SDL_WINDOW_SHOWN);  // shown with the first frame
}

// Surfaces ---------------------------------------------------------------------

TEST_F(FrameTest, EveryUncompressedFormatUploadsAndReadsBack) {
  struct Case {
    uint32_t format;
    int singleChannel;
  } cases[] = {{0, 0}, {3, 0},  {4, 0},  {5, 0},  {6, 0},  {7, 0}, {8, 0},
               {9, 0}, {10, 0}, {11, 0}, {12, 0}, {13, 0}, {13, 1}};
  for (const Case& c : cases) {
    kvSurface* s = kv_Surface_Allocate(4, 4, c.format, c.singleChannel);
    ASSERT_NE(s, nullptr) << c.format;
    EXPECT_EQ(s->pitch, uint32_t(4 * kv_Surface_BytesPerPixel(c.format)));
    void* pixels = nullptr;
    int row = 0;
    ASSERT_EQ(kv_Surface_Lock(context, s, &pixels, &row), 1);
    const size_t bytes = size_t(s->pitch) * 4;
    std::vector<uint8_t> written(bytes);
    const kvSurfaceFormatInfo info = kv_Surface_GetFormatInfo(c.format, c.singleChannel);
    if (info.dataType == GL_FLOAT) {
      // Values a half float holds exactly.
      std::vector<float> values(bytes / 4);
      for (size_t i = 0; i < values.size(); ++i) values[i] = 0.25f * float(i % 17) - 1.0f;
      std::memcpy(written.data(), values.data(), bytes);
    } else {
      for (size_t i = 0; i < bytes; ++i) written[i] = uint8_t(i * 37 + 11);
    }
    std::memcpy(pixels, written.data(), bytes);
    kv_Surface_Unlock(s, &pixels);
    kv_Surface_Upload(s, s->pixels);
    std::vector<uint8_t> read(bytes);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, info.dataFormat, info.dataType, read.data());
    EXPECT_EQ(read, written) << "format " << c.format << "/" << c.singleChannel;
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)) << c.format;
    kv_Surface_Release(s);
  }
}

TEST_F(FrameTest, CompressedSurfacesReadNoMoreThanTheirData) {
  EXPECT_EQ(kv_Surface_AllocateCompressed(8, 8, 1, 5, "x", 1), nullptr);
  std::vector<uint8_t> chain(32 + 8 + 8 + 8, 0x55);  // 8x8 DXT1: 4 levels
  kvSurface* whole = kv_Surface_AllocateCompressed(8, 8, 4, 16, chain.data(), chain.size());
  kvSurface* shortData = kv_Surface_AllocateCompressed(8, 8, 4, 16, chain.data(), 40);
  if (GLEW_EXT_texture_compression_s3tc) {
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(whole->mipmapped, 1);
    EXPECT_EQ(whole->levelCount, 4);
    kv_Surface_Release(whole);
  } else {
    EXPECT_EQ(whole, nullptr);
  }
  EXPECT_EQ(shortData, nullptr);
}

TEST_F(FrameTest, MipmappedSurfacesStartZeroed) {
  kvSurface* s = kv_Surface_AllocateMipmapped(16, 8, 5, 3);
  ASSERT_NE(s, nullptr);
  ASSERT_NE(s->pixels, nullptr);
  const size_t bytes = size_t(s->pitch) * 8 * 2;
  EXPECT_EQ(std::count(s->pixels, s->pixels + bytes, 0), std::ptrdiff_t(bytes));
  EXPECT_EQ(kv_Surface_Upload(s, s->pixels), 1);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  kv_Surface_Release(s);
}

// Only the surface's own CPU copy (or null) can be bounded: any other pointer,
// whose length nobody knows, is refused before a byte of it is read.
TEST_F(FrameTest, UploadFromAPointerOtherThanTheCpuCopyIsRefused) {
  kvSurface* s = kv_Surface_AllocateMipmapped(16, 8, 5, 3);
  ASSERT_NE(s, nullptr);
  std::vector<uint8_t> foreign(16);  // far shorter than the mip chain
  EXPECT_EQ(kv_Surface_Upload(s, foreign.data()), 0);
  EXPECT_NE(ReadText("Vosk.log").find("kv_Surface_Upload: refused"), std::string::npos);
  EXPECT_EQ(kv_Surface_Upload(s, s->pixels), 1);
  EXPECT_EQ(kv_Surface_Upload(s, nullptr), 1);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  kv_Surface_Release(s);
}

// Buffers -----------------------------------------------------------------------

TEST_F(FrameTest, OwnBuffersHaveTheirMinimumSizes) {
  kvVertexBuffer* vb = kv_VertexBuffer_Allocate(4, &kVertexLayout);
  EXPECT_EQ(kv_VertexBuffer_GetSize(vb), 16u);
  EXPECT_EQ(vb->data[15], 0);
  kvIndexBuffer* five = kv_IndexBuffer_Allocate(5, 0);
  kvIndexBuffer* hundred = kv_IndexBuffer_Allocate(100, 0);
  EXPECT_EQ(five->capacity, 16u);
  EXPECT_EQ(hundred->capacity, 200u);
  EXPECT_EQ(context->frameData->frameIndexBuffer->indexCount, 524288);
  EXPECT_EQ(context->frameData->frameIndexBuffer->capacity, kvRingSize);
  kv_Buffer_Release(vb);
  kv_IndexBuffer_Release(five);
  kv_IndexBuffer_Release(hundred);
  EXPECT_EQ(context->frameData->indexReleases.size(), 2u);
}

int g_subDataCalls = 0;
PFNGLBUFFERSUBDATAPROC g_realBufferSubData = nullptr;
void GLAPIENTRY CountingBufferSubData(GLenum target, GLintptr offset, GLsizeiptr size,
                                      const void* data) {
  ++g_subDataCalls;
  g_realBufferSubData(target, offset, size, data);
}

TEST_F(FrameTest, TwoBindsOfOneConstantBlockUploadOnce) {
  kvConstantBlock block{};
  kv_RenderContext_AllocConstants(&block, context, 16, &kVSLayout);
  ASSERT_NE(block.data, nullptr);
  g_realBufferSubData = __glewBufferSubData;
  __glewBufferSubData = &CountingBufferSubData;
  g_subDataCalls = 0;
  bindUniformBlock(QuadProgram()->program, "VSConstants", context->frameData, &block, 0);
  bindUniformBlock(QuadProgram()->program, "VSConstants", context->frameData, &block, 0);
  EXPECT_EQ(g_subDataCalls, 1);
  kvConstantBlock other{};
  kv_RenderContext_AllocConstants(&other, context, 16, &kVSLayout);
  bindUniformBlock(QuadProgram()->program, "VSConstants", context->frameData, &other, 0);
  EXPECT_EQ(g_subDataCalls, 2);
  // A block the program does not have binds nothing and uploads nothing.
  bindUniformBlock(QuadProgram()->program, "NoSuchBlock", context->frameData, &other, 2);
  EXPECT_EQ(g_subDataCalls, 2);
  __glewBufferSubData = g_realBufferSubData;
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// Render targets ----------------------------------------------------------------------

TEST_F(FrameTest, RenderTargetsOfBothKinds) {
  kvRenderTarget* depth = kv_RenderTarget_Create(64, 32, kvFormat_Depth);
  ASSERT_NE(depth, nullptr);
  EXPECT_EQ(kv_RenderTarget_GetSurface(depth), nullptr);
  EXPECT_NE(depth->renderbuffer, 0u);
  kvRenderTarget* colour = kv_RenderTarget_Create(1920, 1080, kvFormat_8x4);
  ASSERT_NE(colour, nullptr);
  kvSurface* surface = kv_RenderTarget_GetSurface(colour);
  ASSERT_NE(surface, nullptr);
  EXPECT_EQ(surface->pitch, 7680u);
  EXPECT_EQ(surface->pixels, nullptr);  // nothing locks a target's surface
  EXPECT_EQ(surface->owner, colour);
  EXPECT_EQ(kv_Surface_IsStandalone(surface), 0);
  int w = 0, h = 0;
  uint32_t f = 0;
  kv_RenderTarget_GetInfo(colour, &w, &h, &f);
  EXPECT_EQ(w, 1920);
  EXPECT_EQ(h, 1080);
  EXPECT_EQ(f, uint32_t(kvFormat_8x4));

  // Freed during a frame: the texture lives until the next frame begin.
  const GLuint texture = surface->texture;
  kv_RenderTarget_Free(colour);
  kv_RenderTarget_Free(depth);
  EXPECT_TRUE(glIsTexture(texture));
  kv_Platform_EndFrame();
  kv_Platform_BeginFrame();
  EXPECT_FALSE(glIsTexture(texture));
}

// Draws -------------------------------------------------------------------------

TEST_F(FrameTest, QuadWithEachBlendModeIntoA16x16Target) {
  kvRenderTarget* target = kv_RenderTarget_Create(16, 16, kvFormat_8x4);
  ASSERT_NE(target, nullptr);
  const float dst[4] = {0.5f, 0.25f, 0.0f, 1.0f};
  const float src[4] = {0.25f, 0.5f, 0.25f, 0.5f};
  struct Case {
    int enabled, mode;
    float r, g, b, a;
  } cases[] = {
      {0, 0, src[0], src[1], src[2], src[3]},
      {1, 0, src[0] + dst[0] * 0.5f, src[1] + dst[1] * 0.5f, src[2], src[3]},  // premultiplied
      {1, 7, src[0] + dst[0] * 0.5f, src[1] + dst[1] * 0.5f, src[2], src[3]},  // same as 0
      {1, 1, src[0] + dst[0], src[1] + dst[1], src[2] + dst[2], 1.0f},         // additive
      {1, 2, 0.25f, 0.25f, 0.0f, src[3]},                                      // min
      {1, 3, 0.5f, 0.5f, 0.25f, src[3]},                                       // max
  };
  for (const Case& c : cases) {
    kv_RenderContext_SetRenderTarget(context, 0, target);
    kv_RenderContext_SetDepthTarget(context, nullptr);
    kv_RenderContext_Clear(context, dst[0], dst[1], dst[2], dst[3], 1.0f);
    DrawRecord record = QuadDraw(context, src, 0.0f);
    record.blendEnabled = c.enabled;
    record.blendMode = c.mode;
    kv_RenderContext_SubmitDraw(&record);
    const std::string what = "blend " + std::to_string(c.enabled) + "/" + std::to_string(c.mode);
    ExpectPixel(ReadTarget(context, 8, 8), c.r, c.g, c.b, c.a, what);
    ExpectPixel(ReadTarget(context, 0, 15), c.r, c.g, c.b, c.a, what + " corner");
  }
  kv_RenderContext_SetAlphaBlendEnabled(context, 0, 0);
  kv_RenderTarget_Free(target);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// A clip rectangle keeps draws to its pixels, never clears; the next frame
// begins without it.
TEST_F(FrameTest, ClipRectangleLimitsDrawsButNotClears) {
  kvRenderTarget* target = kv_RenderTarget_Create(16, 16, kvFormat_8x4);
  ASSERT_NE(target, nullptr);
  const float white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
  kv_RenderContext_SetRenderTarget(context, 0, target);
  kv_RenderContext_SetDepthTarget(context, nullptr);
  kv_RenderContext_SetClipRect(context, 4, 2, 8, 6);  // x 4..11, y 2..7
  kv_RenderContext_Clear(context, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f);
  DrawRecord record = QuadDraw(context, white, 0.0f);
  kv_RenderContext_SubmitDraw(&record);
  const struct {
    int x, y;
    bool drawn;
  } pixels[] = {{4, 2, true}, {11, 7, true}, {3, 2, false}, {12, 7, false},
                {4, 1, false}, {11, 8, false}, {0, 15, false}};
  for (const auto& p : pixels) {
    const std::string what = std::to_string(p.x) + "," + std::to_string(p.y);
    if (p.drawn) ExpectPixel(ReadTarget(context, p.x, p.y), 1, 1, 1, 1, what);
    else ExpectPixel(ReadTarget(context, p.x, p.y), 0, 0, 1, 1, what);
  }
  kv_Platform_EndFrame();
  ASSERT_EQ(kv_Platform_BeginFrame(), 1);
  kv_RenderContext_SetRenderTarget(context, 0, target);
  kv_RenderContext_SetDepthTarget(context, nullptr);
  record = QuadDraw(context, white, 0.0f);
  kv_RenderContext_SubmitDraw(&record);
  ExpectPixel(ReadTarget(context, 0, 15), 1, 1, 1, 1, "next frame");
  kv_RenderTarget_Free(target);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(FrameTest, SurfaceMadeBetweenTwoDrawsDoesNotChangeWhatIsSampled) {
  kvRenderTarget* target = kv_RenderTarget_Create(16, 16, kvFormat_8x4);
  kvSurface* red = kv_Surface_Allocate(2, 2, kvFormat_8x4, 0);
  void* pixels = nullptr;
  int row = 0;
  kv_Surface_Lock(context, red, &pixels, &row);
  for (int i = 0; i < 4; ++i) {
    const uint8_t bgra[4] = {0, 0, 255, 255};
    std::memcpy(static_cast<uint8_t*>(pixels) + 4 * i, bgra, 4);
  }
  kv_Surface_Unlock(red, &pixels);

  const float white[4] = {1, 1, 1, 1};
  kv_RenderContext_SetRenderTarget(context, 0, target);
  kv_RenderContext_SetDepthTarget(context, nullptr);
  kv_RenderContext_Clear(context, 0, 0, 0, 0, 1);
  DrawRecord record = QuadDraw(context, white, 1.0f);
  record.textureCount = 1;
  record.textures[0] = red;
  kv_RenderContext_SubmitDraw(&record);
  ExpectPixel(ReadTarget(context, 4, 4), 1, 0, 0, 1, "first draw");
  EXPECT_EQ(red->needsUpload, 0);

  // A new surface with its upload, between the two draws.
  kvSurface* green = kv_Surface_Allocate(2, 2, kvFormat_8x4, 0);
  kv_Surface_Lock(context, green, &pixels, &row);
  std::memset(pixels, 0xFF, 16);
  kv_Surface_Unlock(green, &pixels);
  kv_Surface_Upload(green, green->pixels);

  kv_RenderContext_Clear(context, 0, 0, 0, 0, 1);
  DrawRecord again = QuadDraw(context, white, 1.0f);
  again.textureCount = 1;
  again.textures[0] = red;
  kv_RenderContext_SubmitDraw(&again);
  ExpectPixel(ReadTarget(context, 4, 4), 1, 0, 0, 1, "second draw");
  kv_Surface_Release(red);
  kv_Surface_Release(green);
  kv_RenderTarget_Free(target);
}

TEST_F(FrameTest, DrawsWithMissingDataAreSkippedAndReportedOncePerFrame) {
  kvRenderTarget* target = kv_RenderTarget_Create(16, 16, kvFormat_8x4);
  kv_RenderContext_SetRenderTarget(context, 0, target);
  kv_RenderContext_SetDepthTarget(context, nullptr);
  kv_RenderContext_Clear(context, 0, 0, 1, 1, 1);
  const float red[4] = {1, 0, 0, 1};
  const size_t before = CountOf(ReadText("Vosk.log"), "[OpenGL] Draw skipped");

  DrawRecord noProgram = QuadDraw(context, red, 0);
  noProgram.program = nullptr;
  kv_RenderContext_SubmitDraw(&noProgram);
  DrawRecord noConstants = QuadDraw(context, red, 0);
  noConstants.pixelConstants.data = nullptr;  // what a full uniform ring gives
  kv_RenderContext_SubmitDraw(&noConstants);
  DrawRecord noVertices = QuadDraw(context, red, 0);
  noVertices.vertexBuffer->data = nullptr;  // what a full vertex ring gives
  kv_RenderContext_SubmitDraw(&noVertices);

  ExpectPixel(ReadTarget(context, 8, 8), 0, 0, 1, 1, "nothing drawn");
  EXPECT_EQ(CountOf(ReadText("Vosk.log"), "[OpenGL] Draw skipped"), before + 1);
  kv_RenderTarget_Free(target);
}

TEST_F(FrameTest, QuadsFromALaterFirstVertexAndGeneratedBufferGrowth) {
  kvRenderTarget* target = kv_RenderTarget_Create(16, 16, kvFormat_8x4);
  kv_RenderContext_SetRenderTarget(context, 0, target);
  kv_RenderContext_SetDepthTarget(context, nullptr);
  kv_RenderContext_Clear(context, 0, 0, 0, 1, 1);
  // Two quads: the first covers the left half, the second the right half; a
  // draw from first vertex 4 must show the right half only.
  kvVertexBuffer* vb = kv_VertexBuffer_AllocateTransient(context, 8 * 16, &kVertexLayout);
  const float v[32] = {-1, -1, 0, 0, 0, -1, 0, 0, -1, 1, 0, 0, 0, 1, 0, 0,
                       0,  -1, 0, 0, 1, -1, 0, 0, 0,  1, 0, 0, 1, 1, 0, 0};
  std::memcpy(vb->data, v, sizeof v);
  kv_VertexBuffer_AddAttribute(vb, 1, 0, 16, 8, "pos", "kvVector2F", 0, 8);
  kv_VertexBuffer_AddAttribute(vb, 1, 8, 16, 8, "uv", "kvVector2F", 8, 8);
  const float green[4] = {0, 1, 0, 1};
  DrawRecord record = QuadDraw(context, green, 0);
  record.vertexBuffer = vb;
  record.first = 4;
  record.count = 4;
  kv_RenderContext_SubmitDraw(&record);
  ExpectPixel(ReadTarget(context, 12, 8), 0, 1, 0, 1, "right half");
  ExpectPixel(ReadTarget(context, 3, 8), 0, 0, 0, 1, "left half");
  // The draw uploaded the vertices: their ring bytes are spoiled, and a late
  // write is reported at the next frame begin in debug builds.
  EXPECT_EQ(vb->data[0], 0xBA);
  EXPECT_EQ(kv_RenderContext_GeneratedIndexBuffer(true)->indexCount, 1024);

  // A list draw needing 1025 indices grows the list buffer to 2048 and
  // releases the old one at the next frame begin.
  kv_RenderContext_DrawPrimitives(context, 4, 0, 1024);
  kvIndexBuffer* small = kv_RenderContext_GeneratedIndexBuffer(false);
  ASSERT_NE(small, nullptr);
  EXPECT_EQ(small->indexCount, 1024);
  const size_t releases = context->frameData->indexReleases.size();
  kv_RenderContext_DrawPrimitives(context, 4, 0, 1025);
  EXPECT_EQ(kv_RenderContext_GeneratedIndexBuffer(false)->indexCount, 2048);
  ASSERT_EQ(context->frameData->indexReleases.size(), releases + 1);
  EXPECT_EQ(context->frameData->indexReleases.back(), small);
  kv_RenderTarget_Free(target);
#ifndef NDEBUG
  vb->data[3] = 1;
  ::testing::internal::CaptureStderr();
  kv_Platform_EndFrame();
  kv_Platform_BeginFrame();
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("Vertex data written after its upload"),
            std::string::npos);
#endif
}

// Programs --------------------------------------------------------------------------

int g_disableCalls = 0;
PFNGLDISABLEVERTEXATTRIBARRAYPROC g_realDisable = nullptr;
void GLAPIENTRY CountingDisable(GLuint index) {
  ++g_disableCalls;
  g_realDisable(index);
}

TEST_F(FrameTest, AttributeBindingsResolveByNameAndDisableWhatWasEnabled) {
  kvRenderTarget* target = kv_RenderTarget_Create(16, 16, kvFormat_8x4);
  kv_RenderContext_SetRenderTarget(context, 0, target);
  const float white[4] = {1, 1, 1, 1};
  DrawRecord record = QuadDraw(context, white, 0);
  kv_RenderContext_SubmitDraw(&record);
  const int enabled = context->enabledAttributeCount;
  EXPECT_GE(enabled, 2);
  g_realDisable = __glewDisableVertexAttribArray;
  __glewDisableVertexAttribArray = &CountingDisable;
  g_disableCalls = 0;
  DrawRecord next = QuadDraw(context, white, 0);
  kv_RenderContext_SubmitDraw(&next);
  __glewDisableVertexAttribArray = g_realDisable;
  EXPECT_EQ(g_disableCalls, enabled);

  // Code 6 gives four unsigned bytes, not normalised; a member the program
  // lacks is reported and left unbound.
  static const LayoutMember members[] = {
      {"pos", "kvVector2F", 0, 8}, {"colour", "unsigned", 8, 4}, {"uv", "kvVector2F", 12, 8}};
  static const LayoutDescriptor layout = {20, "ColouredVertex", 3, members};
  kvVertexBuffer* vb = kv_VertexBuffer_AllocateTransient(context, 20 * 4, &layout);
  kv_VertexBuffer_AddAttribute(vb, 1, 0, 20, 4, "pos", "kvVector2F", 0, 8);
  kv_VertexBuffer_AddAttribute(vb, 6, 8, 20, 4, "colour", "unsigned", 8, 4);
  kv_VertexBuffer_AddAttribute(vb, 6, 12, 20, 4, "uv", "kvVector2F", 12, 8);
  ::testing::internal::CaptureStderr();
  const std::vector<kvVertexBinding>& bindings = getShaderBinding(context, QuadProgram(), vb);
  const std::string debugger = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(debugger.find("No matching vertex attribute 'vs_colour' in shader 'quad' for "
                          "ColouredVertex::colour\n"),
            std::string::npos)
      << debugger;
  ASSERT_EQ(bindings.size(), 2u);
  EXPECT_EQ(bindings[1].componentCount, 4);
  EXPECT_EQ(bindings[1].glType, uint32_t(GL_UNSIGNED_BYTE));
  EXPECT_EQ(bindings[1].normalized, 0);
  EXPECT_EQ(bindings[1].stride, 20);
  EXPECT_EQ(bindings[1].offset, 12);
  // Cached per (program, layout).
  EXPECT_EQ(&getShaderBinding(context, QuadProgram(), vb), &bindings);

  // Fewer attributes than layout members: the rest stay unbound, nothing is read past the list.
  static const LayoutDescriptor longer = {20, "LongerVertex", 3, members};
  kvVertexBuffer* shortList = kv_VertexBuffer_AllocateTransient(context, 80, &longer);
  kv_VertexBuffer_AddAttribute(shortList, 1, 0, 20, 4, "pos", "kvVector2F", 0, 8);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(getShaderBinding(context, QuadProgram(), shortList).size(), 1u);
  ::testing::internal::GetCapturedStderr();
  kv_RenderTarget_Free(target);
}

TEST(Programs, ConstantLayoutCheck) {
  kvShader* program = QuadProgram();
  const GLuint vs = glGetUniformBlockIndex(program->program, "VSConstants");
  const GLuint ps = glGetUniformBlockIndex(program->program, "PSConstants");
  ::testing::internal::CaptureStderr();
  kv_Shader_CheckConstantLayout(program, "VSConstants", vs, &kVSLayout);
  kv_Shader_CheckConstantLayout(program, "PSConstants", ps, &kPSLayout);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");

  static const LayoutMember wrong[] = {
      {"colour", "kvVector4F", 4, 16}, {"USETEXTURE", "int", 16, 4}, {"missing", "float", 20, 4}};
  static const LayoutDescriptor wrongLayout = {32, "WrongPSConstants", 3, wrong};
  ::testing::internal::CaptureStderr();
  kv_Shader_CheckConstantLayout(program, "PSConstants", ps, &wrongLayout);
  const std::string out = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(out.find("quad -> WrongPSConstants: Constant 'colour' and uniform have mismatched "
                     "offsets: 4 != 0\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("quad -> WrongPSConstants: Constant 'USETEXTURE' and uniform have mismatched "
                     "types: 'int' != 'float'\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("quad -> WrongPSConstants: Constant 'missing' has no matching uniform in "
                     "uniform block 'PSConstants'.\n"),
            std::string::npos)
      << out;
}

void StageShaders() {
  std::filesystem::create_directories("x86/shaders/compiled");
  for (const char* name : {"quad_v.glsl", "quad_p.glsl", "broken_v.glsl", "broken_p.glsl"}) {
    std::filesystem::copy_file(Fixture(name), std::string("x86/shaders/compiled/") + name,
                               std::filesystem::copy_options::overwrite_existing);
  }
}

TEST(Programs, LoadCompilesOnceByNameAndRefusesBrokenSources) {
  StageShaders();
  char name[8] = "quad";
  ::testing::internal::CaptureStderr();
  kvShader* first = kv_Shader_Load(name);
  std::strcpy(name, "xxxx");  // the caller's buffer is reused
  kvShader* second = kv_Shader_Load(std::string("quad").c_str());
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, second);
  EXPECT_STREQ(first->name, "quad");
  EXPECT_EQ(kv_Shader_Load(name), nullptr);  // "xxxx" has no files

  kvShader* pair = kv_Shader_Load_Separate("quad", "quad");
  ASSERT_NE(pair, nullptr);
  EXPECT_STREQ(pair->name, "quad_quad");
  EXPECT_EQ(kv_Shader_Load_Separate("quad", "quad"), pair);
  EXPECT_NE(pair, first);

  EXPECT_EQ(kv_Shader_Load("broken"), nullptr);
  const std::string debugger = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(debugger.find("broken vs:\n"), std::string::npos);
  const std::string log = ReadText("Vosk.log");
  EXPECT_GE(CountOf(log, "[OpenGL] Compiling shader: quad"), 2u);
  EXPECT_NE(log.find("[OpenGL] broken vs failed:"), std::string::npos);
  EXPECT_EQ(log.find("[OpenGL] quad vs failed:"), std::string::npos);
  EXPECT_EQ(debugger.find("mismatched"), std::string::npos);
  EXPECT_EQ(debugger.find("No matching"), std::string::npos);
}

// Program binaries: the first run keeps the linked program in the cache
// folder, a new run loads it from there; a file that cannot be used falls
// back to compiling with one log line, still draws, and is written anew.
TEST_F(FrameTest, ProgramCacheLoadsOnTheNextRunAndFallsBackFromBadFiles) {
  StageShaders();
  std::filesystem::remove_all("ProgramCacheTest");
  kv_Shader_SetProgramCacheFolder("ProgramCacheTest");
  kv_Shader_ForgetProgramsForTest();
  kvRenderTarget* target = kv_RenderTarget_Create(16, 16, kvFormat_8x4);
  ASSERT_NE(target, nullptr);
  const float colour[4] = {1.0f, 0.5f, 0.0f, 1.0f};
  auto drawsWith = [&](kvShader* program, const std::string& what) {
    ASSERT_NE(program, nullptr) << what;
    kv_RenderContext_SetRenderTarget(context, 0, target);
    kv_RenderContext_SetDepthTarget(context, nullptr);
    kv_RenderContext_Clear(context, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f);
    DrawRecord record = QuadDraw(context, colour, 0.0f);
    record.program = program;
    kv_RenderContext_SubmitDraw(&record);
    ExpectPixel(ReadTarget(context, 8, 8), 1.0f, 0.5f, 0.0f, 1.0f, what);
  };
  const std::string file = "ProgramCacheTest/quad.bin";
  const kvProgramCacheCounts start = kv_Shader_GetProgramCacheCounts();

  drawsWith(kv_Shader_Load("quad"), "first run");
  EXPECT_EQ(kv_Shader_GetProgramCacheCounts().stored, start.stored + 1);
  const std::string good = ReadText(file);
  ASSERT_GT(good.size(), 24u);

  kv_Shader_ForgetProgramsForTest();  // the next run
  kvShader* loaded = kv_Shader_Load("quad");
  drawsWith(loaded, "from the cache");
  EXPECT_EQ(loaded->vertexShader, 0u);  // no compiled stage behind it
  EXPECT_EQ(kv_Shader_GetProgramCacheCounts().loaded, start.loaded + 1);
  EXPECT_EQ(kv_Shader_GetProgramCacheCounts().stored, start.stored + 1);
  EXPECT_NE(ReadText("Vosk.log").find(
                "[OpenGL] Program cache: linked programs are loaded from ProgramCacheTest/"),
            std::string::npos);

  const struct {
    const char* what;
    size_t keep;          // bytes kept (npos: all)
    size_t at;            // byte changed (npos: none)
    const char* logText;  // the reason in the log line
  } cases[] = {
      {"short header", 10, std::string::npos, "is damaged"},
      {"cut binary", good.size() - 1, std::string::npos, "is damaged"},
      {"wrong magic", std::string::npos, 0, "is damaged"},
      {"other sources or driver", std::string::npos, 9, "is out of date"},
      {"unknown binary format", std::string::npos, 17, "was refused by the driver"},
  };
  for (const auto& c : cases) {
    std::string spoiled = good.substr(0, c.keep);
    if (c.at != std::string::npos) spoiled[c.at] = static_cast<char>(spoiled[c.at] ^ 0x5a);
    std::ofstream(file, std::ios::binary | std::ios::trunc) << spoiled;
    const std::string line = std::string("[OpenGL] Program cache: ") + file + " " + c.logText +
                             "; quad is compiled from its sources";
    const size_t linesBefore = CountOf(ReadText("Vosk.log"), line);
    const kvProgramCacheCounts before = kv_Shader_GetProgramCacheCounts();
    kv_Shader_ForgetProgramsForTest();
    kvShader* program = kv_Shader_Load("quad");
    drawsWith(program, c.what);
    EXPECT_NE(program->vertexShader, 0u) << c.what;  // compiled
    const kvProgramCacheCounts after = kv_Shader_GetProgramCacheCounts();
    EXPECT_EQ(after.fallbacks, before.fallbacks + 1) << c.what;
    EXPECT_EQ(after.stored, before.stored + 1) << c.what;
    EXPECT_EQ(CountOf(ReadText("Vosk.log"), line), linesBefore + 1) << c.what;
    EXPECT_EQ(ReadText(file), good) << c.what;  // written anew
  }

  kv_Shader_SetProgramCacheFolder(nullptr);
  kv_Shader_ForgetProgramsForTest();
  kv_RenderTarget_Free(target);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

}  // namespace
