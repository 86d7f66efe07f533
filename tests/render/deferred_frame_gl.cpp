// The deferred frame on a real GL 3.3 core context (Xvfb + Mesa; the context,
// window and staged shaders come from render_gl.cpp's environment) against a
// fake set: the order of the passes as a recording trace sees them, the
// texture, submesh and replacement caches, and pictures read back with
// glReadPixels and compared with values computed here: a point light's
// falloff, a spot light's cone, a shadow, FXAA, the resolve with and without
// its settings and the iris, and the forward path's probe lighting.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FakeDeferredScene.h"
#include "gfx/kv_Buffer.h"
#include "gfx/kv_RenderContext.h"
#include "gfx/kv_RenderTarget.h"
#include "gfx/kv_Surface.h"
#include "platform/kv_Platform.h"
#include "platform/kv_RenderHooks.h"
#include "presentation/drevRender.h"
#include "quadrix/qxMatrix.h"
#include "render/Deferred.h"
#include "render/HardwareOverlay.h"
#include "render/Lightprobe.h"
#include "render/kv_Layouts.h"
#include "std/std.h"
#include "std/stdDisplay.h"

namespace {

// The trace ----------------------------------------------------------------------------------

std::vector<std::string> g_markers;
std::vector<kvRenderTarget*> g_slot0;  // colour targets bound in slot 0, in order

const kvRenderContextTrace kTrace = {
    [](const char* text) { g_markers.emplace_back(text); },
    [](int index, kvRenderTarget* target) {
      if (index == 0) g_slot0.push_back(target);
    },
    nullptr,
    nullptr,
    nullptr,
};

// Pixels ---------------------------------------------------------------------------------------

// The four channels of a pixel of a colour target, as floats; rows counted
// from the bottom (GL's order), as the deferred targets hold them.
std::vector<float> ReadPixel(kvRenderTarget* target, int x, int y) {
  kvRenderContext* context = kv_RenderContext_Get();
  kv_RenderContext_SetDepthTarget(context, nullptr);
  kv_RenderContext_SetRenderTarget(context, 0, target);
  for (int slot = 1; slot < 4; ++slot) kv_RenderContext_SetRenderTarget(context, slot, nullptr);
  kv_RenderContext_RenderTargetSetup(context);
  std::vector<float> rgba(4, -1.0f);
  glReadBuffer(GL_COLOR_ATTACHMENT0);
  glReadPixels(x, y, 1, 1, GL_RGBA, GL_FLOAT, rgba.data());
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  return rgba;
}

// Clears one target to a colour.
void Fill(kvRenderTarget* target, float r, float g, float b, float a) {
  kvRenderContext* context = kv_RenderContext_Get();
  kv_RenderContext_SetDepthTarget(context, nullptr);
  kv_RenderContext_SetRenderTarget(context, 0, target);
  for (int slot = 1; slot < 4; ++slot) kv_RenderContext_SetRenderTarget(context, slot, nullptr);
  kv_RenderContext_Clear(context, r, g, b, a, 0.0f);
}

// clamp(pow(clamp((v - r) x inverse), power)), pow(0, p > 0) = 0: the
// shaders' and the light probes' falloff.
float Ramp(float v, float r, float inverse, float power) {
  const float b = std::clamp((v - r) * inverse, 0.0f, 1.0f);
  if (b <= 0.0f) return power > 0.0f ? 0.0f : 1.0f;
  return std::clamp(std::pow(b, power), 0.0f, 1.0f);
}

kvVector3F Normalized(kvVector3F v) {
  kvVector3F out;
  kv_Vector3_Normalize(v, &out);
  return out;
}

float Dot(const kvVector3F& a, const kvVector3F& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}

// The fixture ------------------------------------------------------------------------------------

// Every test runs inside a frame with the deferred set-up made and the back
// end active, against a fake set whose camera sits at the origin looking
// along +y with a focal factor of 320 pixels of the 640 x 480 frame (a
// 90-degree view across): a point (x, y, z) shows at ndc (x / y, 4/3 z / y).
struct DeferredFrameGL : ::testing::Test {
  kvRenderContext* context = kv_RenderContext_Get();
  FakeDeferredScene scene;
  int camera = 0;
  int width = 0, height = 0;

  // The file services that ".mcb" containers are read through.
  static void SetUpTestSuite() {
    if (!std_IsStarted()) {
      static HostServices hs;
      HostServices_CopyDefaults(&hs);
      std_DefaultServices(&hs);
      std_Startup(&hs);
    }
  }

  void SetUp() override {
    kv_Platform_EndFrame();
    ASSERT_EQ(kv_Platform_BeginFrame(), 1);
    ASSERT_NE(Deferred_CreatePrograms(), nullptr);
    if (!Deferred_IsReady()) {
      ASSERT_NE(Deferred_CreateTargets(), nullptr);
    }
    if (!drevRender_IsInitialized()) drevRender_Initialize(nullptr, nullptr);
    kv_RenderTarget_GetInfo(FinalTarget.target, &width, &height, nullptr);
    Lightprobe_ResetForTest();
    Deferred_ResetFrameStateForTest();
    Deferred_GetHookTable()->active = 1;
    kv_RenderHooks_SetBackends(nullptr, nullptr, nullptr);
    scene.camera = &camera;
    scene.focal = 320.0f;
    scene.invSet = 1;  // no smooth lighting unless a test asks for it
    g_markers.clear();
    g_slot0.clear();
  }
  void TearDown() override {
    for (kvVertexBuffer* buffer : kept) kv_Buffer_Release(buffer);
    kv_RenderContext_SetTraceForTest(nullptr);
    kv_RenderHooks_SetBackends(nullptr, nullptr, nullptr);
    drevRender_SetAdvancedLighting(1);
    kv_RenderContext_ResetColorMask(context);
    kvRenderTarget* colour = nullptr;
    kvRenderTarget* depth = nullptr;
    kv_Platform_GetBackBuffer(&colour, &depth);
    kv_RenderContext_SetRenderTarget(context, 0, colour);
    for (int slot = 1; slot < 4; ++slot) kv_RenderContext_SetRenderTarget(context, slot, nullptr);
    kv_RenderContext_SetDepthTarget(context, depth);
    Deferred_ResetFrameStateForTest();
    Deferred_GetHookTable()->active = 0;
    Lightprobe_ResetForTest();
    kv_Platform_EndFrame();
  }

  // Runs one phase and answers the markers it pushed.
  std::vector<std::string> Phase(int phase) {
    g_markers.clear();
    kv_RenderContext_SetTraceForTest(&kTrace);
    Deferred_FramePhase(phase);
    kv_RenderContext_SetTraceForTest(nullptr);
    return g_markers;
  }

  // The pixel of the deferred targets at ndc (x, y).
  int PixelX(float ndcX) const {
    return std::clamp(static_cast<int>((ndcX * 0.5f + 0.5f) * static_cast<float>(width)), 0,
                      width - 1);
  }
  int PixelY(float ndcY) const {
    return std::clamp(static_cast<int>((ndcY * 0.5f + 0.5f) * static_cast<float>(height)), 0,
                      height - 1);
  }
  // The ndc of a pixel's centre.
  float NdcX(int x) const { return (static_cast<float>(x) + 0.5f) / static_cast<float>(width) * 2 - 1; }
  float NdcY(int y) const {
    return (static_cast<float>(y) + 0.5f) / static_cast<float>(height) * 2 - 1;
  }

  // A flat quad of two triangles (both windings when twoSided) at y = depth
  // spanning x0..x1 and z0..z1, facing the camera.
  kvVertexBuffer* Wall(float depth, float x0, float x1, float z0, float z1, bool twoSided = false) {
    const int n = twoSided ? 12 : 6;
    kvVertexBuffer* buffer = Deferred_AllocVertices<TexturedVertex>(context, n);
    auto* v = static_cast<TexturedVertex*>(kv_Buffer_Lock(buffer));
    const kvVector3F corners[6] = {{x0, depth, z0}, {x1, depth, z0}, {x1, depth, z1},
                                   {x1, depth, z1}, {x0, depth, z1}, {x0, depth, z0}};
    for (int i = 0; i < n; ++i) {
      const int k = i < 6 ? i : 11 - i;
      v[i].Position = corners[k];
      v[i].Normal = {0.0f, -1.0f, 0.0f};
      v[i].TexCoord = {0.0f, 0.0f};
    }
    kv_Buffer_Unlock(buffer);
    return buffer;
  }

  // The same quad in a buffer of its own (as the submesh cache keeps them),
  // whose vertices stay readable: the passes can bound it on screen.
  kvVertexBuffer* KeptWall(float depth, float x0, float x1, float z0, float z1,
                           bool twoSided = false) {
    kvVertexBuffer* transient = Wall(depth, x0, x1, z0, z1, twoSided);
    const size_t bytes = transient->size;
    kvVertexBuffer* buffer =
        kv_VertexBuffer_Allocate(bytes, kv_Layout_GetDescriptor<TexturedVertex>());
    kv_VertexBuffer_BindLayout<TexturedVertex>(buffer);
    std::memcpy(kv_Buffer_Lock(buffer), transient->data, bytes);
    kv_Buffer_Unlock(buffer);
    kept.push_back(buffer);
    return buffer;
  }
  std::vector<kvVertexBuffer*> kept;

  // A light whose local z axis points towards the camera (-y): a spot's
  // apex at (0, 0, 1) then lies nearer the camera and it shines along +y.
  static FakeDeferredScene::Light FacingLight(uint32_t type, kvVector3F p, float half) {
    FakeDeferredScene::Light light = FakeDeferredScene::MakeLight(type, p, half, half, half);
    light.info.transform[1] = {0.0f, 0.0f, half, 0.0f};
    light.info.transform[2] = {0.0f, -half, 0.0f, 0.0f};
    return light;
  }
};

// Pass order ------------------------------------------------------------------------------------

TEST_F(DeferredFrameGL, PhasesRunTheirPassesInOrder) {
  using Markers = std::vector<std::string>;
  const Markers done = {"Deferred_Done", "Hardware overlay", "Debug overlay"};
  const struct {
    const char* what;
    bool deferredLight;
    bool cutsceneLight;
    kvRenderTarget* immediate;
    Markers phase2;
  } cases[] = {
      {"deferred lights", true, false, ImmediateTarget.target,
       {"Deferred_PostProcess", "Bitmap underlays", "Mesh albedo", "Deferred_VirtualDepth",
        "Virtual depth", "Deferred lights", "Point light", "Deferred resolve",
        "Deferred Post Process", "Bitmap overlays"}},
      {"cutscene lights only", false, true, ResolveTarget.target,
       {"Deferred_PostProcess", "Bitmap underlays", "Mesh albedo", "Deferred_VirtualDepth",
        "Virtual depth", "Clear light buffer", "Rasterize cutscene light sources", "Shadows",
        "Deferred resolve", "Deferred Post Process", "Bitmap overlays"}},
      {"no lights", false, false, ImmediateTarget.target,
       {"Deferred_PostProcess", "Bitmap underlays", "Mesh albedo", "Deferred_VirtualDepth",
        "Virtual depth", "Clear light buffer", "Deferred resolve", "Deferred Post Process",
        "Bitmap overlays"}},
  };
  for (const auto& c : cases) {
    scene.lights.clear();
    scene.cutsceneLights.clear();
    if (c.deferredLight) scene.lights.push_back(FacingLight(1, {0, 5, 0}, 1.0f));
    if (c.cutsceneLight) {
      DeferredCutsceneLight sun{};
      sun.type = 0;
      sun.direction = {0, 1, 0};
      sun.colour = {1, 1, 1};
      scene.cutsceneLights.push_back(sun);
    }
    Deferred_ForgetBackdrop();  // each case a set of its own: nothing kept from the last
    g_slot0.clear();
    EXPECT_EQ(Phase(0), Markers{"Deferred_Immediate"}) << c.what;
    ASSERT_FALSE(g_slot0.empty()) << c.what;
    EXPECT_EQ(g_slot0.back(), c.immediate) << c.what;
    EXPECT_EQ(Phase(1), Markers{}) << c.what;
    // A mesh for the lights to light: without one they draw nothing.
    Deferred_DrawSubmesh(context, nullptr, Wall(5.0f, -6, 6, -6, 6), nullptr, 1, 1, 1, 1);
    EXPECT_EQ(Phase(2), c.phase2) << c.what;
    EXPECT_EQ(Phase(3), done) << c.what;
    EXPECT_EQ(Phase(4), Markers{}) << c.what;
  }
}

TEST_F(DeferredFrameGL, SmoothLightingRunsAfterTheAlbedoOutsideInventorySets) {
  scene.invSet = 0;
  Phase(0);
  ASSERT_EQ(Deferred_SmoothLightingOn, 1);
  const std::vector<std::string> markers = Phase(2);
  const auto albedo = std::find(markers.begin(), markers.end(), "Mesh albedo");
  ASSERT_NE(albedo, markers.end());
  EXPECT_EQ(std::vector<std::string>(albedo + 1, albedo + 4),
            (std::vector<std::string>{"Copy normal", "Generate smooth lighting data",
                                      "Smooth lighting resolve"}));
}

TEST_F(DeferredFrameGL, AdvancedLightingOffTakesTheForwardPathFromPhaseTwo) {
  // The setting changes before the frame: phase 0 still runs as the
  // deferred path (it latches the change inside), phase 2 and 3 forward.
  drevRender_SetAdvancedLighting(0);
  g_slot0.clear();
  EXPECT_EQ(Phase(0), std::vector<std::string>{"Deferred_Immediate"});
  EXPECT_EQ(Deferred_AdvancedLightingOff, 1);
  EXPECT_EQ(Phase(2), (std::vector<std::string>{"Deferred_PostProcess", "Bitmap underlays",
                                                "Albedo", "Deferred_VirtualDepth", "Virtual depth",
                                                "Deferred resolve", "Bitmap overlays"}));
  EXPECT_EQ(Phase(3),
            (std::vector<std::string>{"Deferred_Done", "Hardware overlay", "Debug overlay"}));
  // The next frame is forward from phase 0 on: the final target in a set
  // lit only by cutscene lights.
  DeferredCutsceneLight sun{};
  scene.cutsceneLights.push_back(sun);
  g_slot0.clear();
  Phase(0);
  ASSERT_FALSE(g_slot0.empty());
  EXPECT_EQ(g_slot0.back(), FinalTarget.target);
}

TEST_F(DeferredFrameGL, OverlaysAreLeftToAnActiveSoftwareBackEnd) {
  RenderHookTable software{};
  software.active = 1;
  kv_RenderHooks_SetBackends(nullptr, Deferred_GetHookTable(), &software);
  EXPECT_EQ(Phase(3), std::vector<std::string>{"Deferred_Done"});
  software.active = 0;
  EXPECT_EQ(Phase(3),
            (std::vector<std::string>{"Deferred_Done", "Hardware overlay", "Debug overlay"}));
}

TEST_F(DeferredFrameGL, InactiveBackEndNeitherDrawsNorPresents) {
  Deferred_GetHookTable()->active = 0;
  for (int phase = 0; phase < 4; ++phase) EXPECT_TRUE(Phase(phase).empty()) << phase;
  // Its blits still keep the front-buffer flag.
  kvSurface* front = kv_Surface_Allocate(4, 4, kvFormat_565, 0);
  kvSurface* back = kv_Surface_Allocate(4, 4, kvFormat_565, 0);
  kv_RenderHooks_SetSoftwareSurfaces(front, back);
  Deferred_PresentFrontBuffer = 1;
  Deferred_Blit(nullptr, front, nullptr, back, 0, 0, nullptr, 0);
  EXPECT_EQ(Deferred_PresentFrontBuffer, 0);
  Deferred_Blit(nullptr, front, nullptr, nullptr, 0, 0, nullptr, 0);
  EXPECT_EQ(Deferred_PresentFrontBuffer, 1);
  kv_RenderHooks_SetSoftwareSurfaces(nullptr, nullptr);
  kv_Surface_Release(front);
  kv_Surface_Release(back);
}

// Caches ---------------------------------------------------------------------------------------------

// The blue, green, red, alpha bytes of a converted texel.
std::vector<int> Texel(const kvSurface* surface, int i) {
  const uint8_t* p = surface->pixels + 4 * i;
  return {p[0], p[1], p[2], p[3]};
}

struct Palette {
  uint8_t rgb[768] = {};
  explicit Palette(uint8_t base) {
    for (int i = 0; i < 256; ++i) {
      rgb[3 * i] = static_cast<uint8_t>(base + i);
      rgb[3 * i + 1] = static_cast<uint8_t>(i);
      rgb[3 * i + 2] = 7;
    }
  }
};

TEST_F(DeferredFrameGL, TextureCacheKeepsConversionsPerPaletteAndKey) {
  std::vector<uint8_t> pixels = {1, 2, 3, 4};
  const auto key = reinterpret_cast<uintptr_t>(pixels.data());
  const Palette a(10), b(100);
  kvSurface* primary = TextureCache_Get(key, 2, 2, 8, a.rgb, 0, 0, 0, 0, 0);
  ASSERT_NE(primary, nullptr);
  EXPECT_EQ(TextureCache_Size(), 1u);
  EXPECT_EQ(Texel(primary, 2), (std::vector<int>{7, 3, 13, 255}));

  // A hit is not converted again (the changed source stays unseen)...
  pixels[2] = 9;
  EXPECT_EQ(TextureCache_Get(key, 2, 2, 8, a.rgb, 0, 0, 0, 0, 0), primary);
  EXPECT_EQ(Texel(primary, 2), (std::vector<int>{7, 3, 13, 255}));
  // ... until the pixels are reported changed: converted into the primary
  // again while nothing drew it.
  Deferred_SurfaceChanged(pixels.data());
  EXPECT_EQ(TextureCache_Get(key, 2, 2, 8, a.rgb, 0, 0, 0, 0, 0), primary);
  EXPECT_EQ(Texel(primary, 2), (std::vector<int>{7, 9, 19, 255}));
  // A colour key converts again: the keyed index becomes transparent black.
  EXPECT_EQ(TextureCache_Get(key, 2, 2, 8, a.rgb, 1, 9, 0, 0, 0), primary);
  EXPECT_EQ(Texel(primary, 2), (std::vector<int>{0, 0, 0, 0}));

  // Once drawn, another palette goes to a variant; both stay alive.
  kv_RenderContext_SetTextures(context, 1, &primary);
  kvSurface* variant = TextureCache_Get(key, 2, 2, 8, b.rgb, 1, 9, 0, 0, 0);
  ASSERT_NE(variant, nullptr);
  EXPECT_NE(variant, primary);
  EXPECT_EQ(Texel(variant, 0), (std::vector<int>{7, 1, 101, 255}));
  EXPECT_EQ(TextureCache_Get(key, 2, 2, 8, a.rgb, 1, 9, 0, 0, 0), primary);
  EXPECT_EQ(TextureCache_Get(key, 2, 2, 8, b.rgb, 1, 9, 0, 0, 0), variant);
  EXPECT_EQ(TextureCache_Size(), 1u);

  // Freed: the entry goes, and a buffer at the same address starts afresh.
  EXPECT_EQ(Deferred_SurfaceFreed(pixels.data()), 1);
  EXPECT_EQ(TextureCache_Size(), 0u);
  TextureCacheEntry* entry = nullptr;
  EXPECT_FALSE(TextureCache_Query(key, &entry));
  EXPECT_EQ(Deferred_SurfaceFreed(pixels.data()), 0);
  kvSurface* fresh = TextureCache_Get(key, 2, 2, 8, b.rgb, 0, 0, 0, 0, 0);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(Texel(fresh, 2), (std::vector<int>{7, 9, 109, 255}));
}

TEST_F(DeferredFrameGL, TextureCacheStoresRawAndDepthPixels) {
  const uint16_t raw[2] = {0xF800, 0x07E0};
  kvSurface* colour =
      TextureCache_Get(reinterpret_cast<uintptr_t>(raw), 2, 1, 16, nullptr, 0, 0, 0, 0, 0);
  ASSERT_NE(colour, nullptr);
  EXPECT_EQ(colour->format, kvFormat_U16x1);
  EXPECT_EQ(std::memcmp(colour->pixels, raw, sizeof raw), 0);
  // Depth values: one float each, four bytes a pixel; keyed ones far away.
  const uint16_t depth[2] = {65535, 7};
  kvSurface* floats = TextureCache_Get(reinterpret_cast<uintptr_t>(depth), 2, 1,
                                       Deferred_SourceDepth, nullptr, 1, 7, 0, 0, 0);
  ASSERT_NE(floats, nullptr);
  EXPECT_EQ(floats->format, kvFormat_Fx1);
  float values[2];
  std::memcpy(values, floats->pixels, sizeof values);
  EXPECT_FLOAT_EQ(values[0], 1.0f);
  EXPECT_FLOAT_EQ(values[1], Deferred_KeyedDepth);
  Deferred_SurfaceFreed(const_cast<uint16_t*>(raw));
  Deferred_SurfaceFreed(const_cast<uint16_t*>(depth));
}

TEST_F(DeferredFrameGL, SubmeshCacheHoldsOneBufferPerMeshMaterialAndCel) {
  int meshA = 0, meshB = 0, materialA = 0, materialB = 0;
  const auto a = reinterpret_cast<uintptr_t>(&meshA);
  kvVertexBuffer* aa0 = SubmeshCache_Add(6, a, &materialA, 0);
  kvVertexBuffer* ab0 = SubmeshCache_Add(3, a, &materialB, 0);
  kvVertexBuffer* aa1 = SubmeshCache_Add(9, a, &materialA, 1);
  ASSERT_TRUE(aa0 && ab0 && aa1);
  EXPECT_EQ(SubmeshCache_Size(), 1u);
  const struct {
    const void* material;
    int cel;
    kvVertexBuffer* buffer;
    uint32_t count;
  } cases[] = {{&materialA, 0, aa0, 6}, {&materialB, 0, ab0, 3}, {&materialA, 1, aa1, 9}};
  for (const auto& c : cases) {
    kvVertexBuffer* buffer = nullptr;
    uint32_t count = 0;
    ASSERT_TRUE(SubmeshCache_Find(a, c.material, c.cel, &buffer, &count)) << c.cel;
    EXPECT_EQ(buffer, c.buffer);
    EXPECT_EQ(count, c.count);
    EXPECT_EQ(kv_VertexBuffer_GetSize(buffer), c.count * sizeof(TexturedVertex));
  }
  EXPECT_FALSE(SubmeshCache_Find(a, &materialB, 1, nullptr, nullptr));
  EXPECT_FALSE(SubmeshCache_Find(reinterpret_cast<uintptr_t>(&meshB), &materialA, 0, nullptr,
                                 nullptr));
  EXPECT_EQ(Deferred_SurfaceFreed(&meshA), 1);
  EXPECT_EQ(SubmeshCache_Size(), 0u);
  EXPECT_FALSE(SubmeshCache_Find(a, &materialA, 0, nullptr, nullptr));
}

// A 24-bit BMP of w x h pixels of one colour.
std::vector<uint8_t> Bmp(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
  const int row = (w * 3 + 3) & ~3;
  std::vector<uint8_t> out(54 + static_cast<size_t>(row) * h, 0);
  const auto put = [&out](size_t at, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  out[0] = 'B';
  out[1] = 'M';
  put(2, static_cast<uint32_t>(out.size()), 4);
  put(10, 54, 4);
  put(14, 40, 4);
  put(18, static_cast<uint32_t>(w), 4);
  put(22, static_cast<uint32_t>(h), 4);
  put(26, 1, 2);
  put(28, 24, 2);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &out[54 + static_cast<size_t>(y) * row + 3 * x];
      p[0] = b;
      p[1] = g;
      p[2] = r;
    }
  }
  return out;
}

// A ".mcb" container of one image record.
void WriteMcb(const std::string& path, const std::vector<uint8_t>& image, size_t keep) {
  std::vector<uint8_t> file;
  const auto put = [&file](uint32_t v) {
    for (int i = 0; i < 4; ++i) file.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  put(0);
  put(0);
  put(0);
  put(1);
  put(0);
  put(0);
  put(static_cast<uint32_t>(image.size()));
  file.insert(file.end(), image.begin(), image.end());
  file.resize(std::min(file.size(), keep));
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                              static_cast<std::streamsize>(file.size()));
}

TEST_F(DeferredFrameGL, ReplacementTexturesWinOverConversions) {
  WriteMcb("crate.mat.2.mcb", Bmp(4, 4, 200, 100, 50), SIZE_MAX);
  WriteMcb("broken.mat.0.mcb", Bmp(4, 4, 200, 100, 50), 40);  // cut inside the image
  WriteMcb("dflt.mat.0.mcb", Bmp(4, 4, 200, 100, 50), SIZE_MAX);
  std::vector<uint8_t> crate(16, 1), broken(16, 1), dflt(16, 1);
  const Palette palette(10);

  Deferred_MaterialLoaded(crate.data(), "crate.mat", 2);
  Deferred_MaterialLoaded(broken.data(), "broken.mat", 0);
  Deferred_MaterialLoaded(dflt.data(), "dflt.mat", 0);
  EXPECT_EQ(ReplacementCache_Size(), 1u);

  const auto key = reinterpret_cast<uintptr_t>(crate.data());
  kvSurface* replacement = TextureCache_Get(key, 4, 4, 8, palette.rgb, 0, 0, 0, 0, 0);
  ASSERT_NE(replacement, nullptr);
  EXPECT_EQ(replacement->width, 4);
  EXPECT_EQ(TextureCache_Size(), 0u);  // never converted
  Deferred_SurfaceChanged(crate.data());
  EXPECT_EQ(TextureCache_Get(key, 4, 4, 8, palette.rgb, 0, 0, 1, 0, 0), replacement);

  // The refused containers leave their materials their own textures.
  for (std::vector<uint8_t>* pixels : {&broken, &dflt}) {
    kvSurface* own = TextureCache_Get(reinterpret_cast<uintptr_t>(pixels->data()), 4, 4, 8,
                                      palette.rgb, 0, 0, 0, 0, 0);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(own->format, kvFormat_8x4);
    Deferred_SurfaceFreed(pixels->data());
  }
  EXPECT_EQ(Deferred_SurfaceFreed(crate.data()), 1);
  EXPECT_EQ(ReplacementCache_Size(), 0u);
}

// Pictures ----------------------------------------------------------------------------------------

// A white wall at y = 5 filling the view, lit by one point light in front of
// it: the light target holds the light's falloff and shading.
TEST_F(DeferredFrameGL, PointLightFallsOffWithDistance) {
  FakeDeferredScene::Light light = FacingLight(1, {0.5f, 4.0f, 0.0f}, 2.0f);
  light.info.innerRadius = 0.25f;
  light.info.falloffPower = 1.5f;
  light.info.innerColour = {1.0f, 0.5f, 0.25f};
  light.info.outerColour = {0.25f, 0.5f, 1.0f};
  scene.lights.push_back(light);

  Deferred_DrawSubmesh(context, nullptr, Wall(5.0f, -6, 6, -6, 6), nullptr, 1, 1, 1, 1);
  ASSERT_EQ(Deferred_Flush(), 1);
  Deferred_RenderLights();

  for (const float nx : {-0.6f, -0.1f, 0.1f, 0.3f, 0.45f, 0.8f}) {
    for (const float nz : {0.0f, 0.2f, -0.5f}) {
      const int px = PixelX(nx), py = PixelY(nz);
      const kvVector3F world = {NdcX(px) * 5.0f, 5.0f, NdcY(py) * 0.75f * 5.0f};
      const kvVector3F l = {(world.x - 0.5f) / 2.0f, (world.z - 0.0f) / 2.0f,
                            -(world.y - 4.0f) / 2.0f};
      kvVector3F expected = {0, 0, 0};
      if (std::fabs(l.x) <= 1 && std::fabs(l.y) <= 1 && std::fabs(l.z) <= 1) {
        const float f = Ramp(std::sqrt(Dot(l, l)), 0.25f, 1.0f / 0.75f, 1.5f);
        const kvVector3F toLight = Normalized({0.5f - world.x, 4.0f - world.y, -world.z});
        const float s = std::clamp(Dot({0, -1, 0}, toLight), 0.0f, 1.0f);
        const float k = s * (1.0f - f);
        expected = {(1.0f - f) * 1.0f + f * 0.25f, 0.5f, (1.0f - f) * 0.25f + f * 1.0f};
        expected = {expected.x * k, expected.y * k, expected.z * k};
      }
      const std::vector<float> got = ReadPixel(LightTarget.target, px, py);
      EXPECT_NEAR(got[0], expected.x, 2.0f / 255) << nx << " " << nz;
      EXPECT_NEAR(got[1], expected.y, 2.0f / 255) << nx << " " << nz;
      EXPECT_NEAR(got[2], expected.z, 2.0f / 255) << nx << " " << nz;
    }
  }
}

// The same wall under a spot light shining along +y from its apex at
// (0, 2, 0): full inside the inner part of its 22.5-degree cone, falling off
// to the edge, dark beyond it.
TEST_F(DeferredFrameGL, SpotLightHasACone) {
  FakeDeferredScene::Light light = FacingLight(2, {0.0f, 4.0f, 0.0f}, 2.0f);
  light.info.innerRadius = 0.75f;
  scene.lights.push_back(light);
  Deferred_DrawSubmesh(context, nullptr, Wall(5.0f, -6, 6, -6, 6), nullptr, 1, 1, 1, 1);
  ASSERT_EQ(Deferred_Flush(), 1);
  Deferred_RenderLights();

  int inside = 0, fading = 0, outside = 0;
  for (int px = width / 2; px < width; px += 7) {
    const int py = height / 2;
    const kvVector3F world = {NdcX(px) * 5.0f, 5.0f, NdcY(py) * 0.75f * 5.0f};
    const kvVector3F l = {world.x / 2.0f, world.z / 2.0f, -(world.y - 4.0f) / 2.0f};
    const kvVector3F q = Normalized({l.x, l.y, l.z - 1.0f});
    const float a = 1.0f - std::clamp((-0.92387953251f - q.z) * 13.13707118432f, 0.0f, 1.0f);
    const float atten = 1.0f - Ramp(a, 0.75f, 4.0f, 1.0f);
    // The wall faces the apex: its normal in light space is (0, 0, 1).
    const float s = std::clamp(-Dot({0, 0, 1}, q), 0.0f, 1.0f);
    const float expected = s * atten;
    const float got = ReadPixel(LightTarget.target, px, py)[0];
    EXPECT_NEAR(got, expected, 2.0f / 255) << px;
    if (atten >= 1.0f) ++inside;
    else if (atten > 0.0f) ++fading;
    else ++outside;
  }
  EXPECT_GT(inside, 0);
  EXPECT_GT(fading, 0);
  EXPECT_GT(outside, 0);
}

// A small two-sided card between a casting spot light and the wall throws
// its shadow on the wall: the shadowed wall gets no light, the mirrored
// point on the other side all of it.
TEST_F(DeferredFrameGL, ShadowMapDarkensTheWallBehindACaster) {
  FakeDeferredScene::Light light = FacingLight(2, {0.0f, 4.0f, 0.0f}, 2.0f);
  light.info.innerRadius = 0.9f;
  light.info.castsShadow = 1;
  light.info.shadowBias = 0.2f;  // 0.001 of depth: above the shadow map's steps
  scene.lights.push_back(light);
  scene.flaggedDeferredLights = 1;
  ModelDetailFlag = 1;

  Deferred_DrawSubmesh(context, nullptr, Wall(5.0f, -6, 6, -6, 6), nullptr, 1, 1, 1, 1);
  Deferred_DrawSubmesh(context, nullptr, Wall(3.5f, 0.3f, 0.6f, -0.15f, 0.15f, true), nullptr, 1,
                       1, 1, 1);
  ASSERT_EQ(Deferred_ShadowMeshesBucket->count, 2u);
  ASSERT_EQ(Deferred_Flush(), 1);
  g_markers.clear();
  kv_RenderContext_SetTraceForTest(&kTrace);
  Deferred_RenderLights();
  kv_RenderContext_SetTraceForTest(nullptr);
  EXPECT_NE(std::find(g_markers.begin(), g_markers.end(), "Render shadow map"), g_markers.end());
  EXPECT_EQ(Deferred_ShadowMeshesBucket->count, 0u);  // emptied by the lights

  // The card spans x 0.3..0.6 at y 3.5; from the apex (0, 2, 0) its shadow
  // reaches the wall at x 0.6..1.2, seen at ndc 0.12..0.24 (the card itself
  // covers ndc 0.086..0.171).
  const int shadowed = PixelX(0.2f), lit = PixelX(-0.2f), row = PixelY(0.0f);
  const float inShadow = ReadPixel(LightTarget.target, shadowed, row)[0];
  const float inLight = ReadPixel(LightTarget.target, lit, row)[0];
  EXPECT_GT(inLight, 0.5f);
  EXPECT_NEAR(inShadow / inLight, 0.0f, 0.01f);
}

// A wall the lights can bound on screen: a light whose volume misses it is
// not drawn, and the one that lights it leaves the same light target as
// when the wall cannot be bounded (every pixel drawn).
TEST_F(DeferredFrameGL, LightsKeepToTheMeshesTheyCanLight) {
  FakeDeferredScene::Light near = FacingLight(1, {0.5f, 4.0f, 0.0f}, 2.0f);
  near.info.innerRadius = 0.25f;
  near.info.falloffPower = 1.5f;
  scene.lights.push_back(near);
  scene.lights.push_back(FacingLight(1, {4.0f, 5.0f, 0.0f}, 1.0f));  // beside the wall

  // The wall spans ndc -0.2..0.2 across and -0.27..0.27 up. Bounded first:
  // the meshes' rectangle only grows until the next frame begins.
  std::vector<std::vector<float>> pictures;
  for (const bool bounded : {true, false}) {
    kvVertexBuffer* wall =
        bounded ? KeptWall(5.0f, -1, 1, -1, 1) : Wall(5.0f, -1, 1, -1, 1);
    Deferred_DrawSubmesh(context, nullptr, wall, nullptr, 1, 1, 1, 1);
    ASSERT_EQ(Deferred_Flush(), 1);
    const std::vector<std::string> markers = [&] {
      g_markers.clear();
      kv_RenderContext_SetTraceForTest(&kTrace);
      Deferred_RenderLights();
      kv_RenderContext_SetTraceForTest(nullptr);
      return g_markers;
    }();
    EXPECT_EQ(std::count(markers.begin(), markers.end(), "Point light"), bounded ? 1 : 2);
    std::vector<float> picture;
    for (int y = PixelY(-0.3f); y <= PixelY(0.3f); y += 3) {
      for (int x = PixelX(-0.25f); x <= PixelX(0.25f); x += 3) {
        picture.push_back(ReadPixel(LightTarget.target, x, y)[0]);
      }
    }
    pictures.push_back(picture);
  }
  ASSERT_EQ(pictures[0].size(), pictures[1].size());
  EXPECT_GT(*std::max_element(pictures[0].begin(), pictures[0].end()), 0.1f);
  for (size_t i = 0; i < pictures[0].size(); ++i) {
    EXPECT_EQ(pictures[0][i], pictures[1][i]) << i;
  }
}

// The shadow map of a light over the same casters is kept from frame to
// frame and still shadows; it is drawn again when a caster moves, or after
// it was cleared.
TEST_F(DeferredFrameGL, ShadowMapIsDrawnAgainOnlyWhenItsInputsChange) {
  FakeDeferredScene::Light light = FacingLight(2, {0.0f, 4.0f, 0.0f}, 2.0f);
  light.info.innerRadius = 0.9f;
  light.info.castsShadow = 1;
  light.info.shadowBias = 0.2f;
  scene.lights.push_back(light);
  scene.flaggedDeferredLights = 1;
  ModelDetailFlag = 1;
  kvVertexBuffer* wall = KeptWall(5.0f, -6, 6, -6, 6);
  kvVertexBuffer* card = KeptWall(3.5f, 0.3f, 0.6f, -0.15f, 0.15f, true);

  // One frame: whether it drew the shadow map, and the light on the wall
  // in the card's shadow (ndc 0.2) over that outside it (ndc -0.2).
  qxMatrix34 placement = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0}};
  const auto frame = [&](float* shadowOverLight) {
    Deferred_DrawSubmesh(context, nullptr, wall, nullptr, 1, 1, 1, 1);
    Deferred_DrawSubmesh(context, &placement, card, nullptr, 1, 1, 1, 1);
    EXPECT_EQ(Deferred_Flush(), 1);
    g_slot0.clear();
    kv_RenderContext_SetTraceForTest(&kTrace);
    Deferred_RenderLights();
    kv_RenderContext_SetTraceForTest(nullptr);
    const int row = PixelY(0.0f);
    *shadowOverLight = ReadPixel(LightTarget.target, PixelX(0.2f), row)[0] /
                       ReadPixel(LightTarget.target, PixelX(-0.2f), row)[0];
    return std::count(g_slot0.begin(), g_slot0.end(), ShadowMapTarget.target) > 0;
  };
  float ratio = 1.0f;
  EXPECT_TRUE(frame(&ratio));
  EXPECT_NEAR(ratio, 0.0f, 0.01f);
  EXPECT_FALSE(frame(&ratio));
  EXPECT_NEAR(ratio, 0.0f, 0.01f);

  placement.t.x = -0.4f;  // the card moves: its shadow leaves the pixel
  EXPECT_TRUE(frame(&ratio));
  EXPECT_GT(ratio, 0.5f);
  EXPECT_FALSE(frame(&ratio));

  Deferred_ClearShadowMap();
  EXPECT_TRUE(frame(&ratio));
}

// FXAA over a one-pixel staircase between black and white: the pixels along
// the edge become greys, flat areas keep their colour.
TEST_F(DeferredFrameGL, FxaaSoftensAStaircaseAndKeepsFlatAreas) {
  std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint8_t v = x > y ? 255 : 0;
      uint8_t* p = &rgba[(static_cast<size_t>(y) * width + x) * 4];
      p[0] = p[1] = p[2] = v;
      p[3] = 255;
    }
  }
  glBindTexture(GL_TEXTURE_2D, ResolveTarget.surface->texture);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  Deferred_PostProcessPass();

  int softened = 0, edges = 0;
  for (int y = 40; y < 200; y += 11) {
    for (const int x : {y, y + 1}) {
      const float v = ReadPixel(FinalTarget.target, x, y)[0];
      ++edges;
      if (v > 0.02f && v < 0.98f) ++softened;
    }
    EXPECT_FLOAT_EQ(ReadPixel(FinalTarget.target, y + 12, y)[0], 1.0f) << y;
    EXPECT_FLOAT_EQ(ReadPixel(FinalTarget.target, y - 12, y)[0], 0.0f) << y;
  }
  EXPECT_GE(softened, edges * 3 / 4);
}

TEST_F(DeferredFrameGL, FxaaConstantsFollowTheTargetSize) {
  DeferredPostProcessConstants c{};
  Deferred_FillPostProcessConstants(&c, 800, 400);
  EXPECT_FLOAT_EQ(c.FXAAPosOffset.x, -0.5f / 800);
  EXPECT_FLOAT_EQ(c.FXAAPosOffset.w, 0.5f / 400);
  EXPECT_FLOAT_EQ(c.FXAARcpFrameOpt1.z, 0.5f / 800);
  EXPECT_FLOAT_EQ(c.FXAARcpFrameOpt2.y, -2.0f / 400);
  EXPECT_FLOAT_EQ(c.FXAAEdgeSharpness, 8.0f);
  EXPECT_FLOAT_EQ(c.FXAAEdgeThreshold, 0.125f);
  EXPECT_FLOAT_EQ(c.FXAAEdgeThresholdMin, 0.05f);
}

// The resolve without a resolve point: a mesh shows albedo x light; the
// background under the environment's occlusion (the light target's alpha)
// darkens by occlusion x 2 x 0.5 (the default strength) x its luminance.
TEST_F(DeferredFrameGL, ResolveUsesTheDefaultsWithoutAResolvePoint) {
  scene.lights.push_back(FacingLight(1, {0, 5, 0}, 1.0f));
  // The albedo's alpha: 1 a lit mesh, 0.75 an unlit one, 0 no mesh.
  const struct {
    float mesh;
    float expected[3];
  } cases[] = {
      {1.0f, {0.8f * 0.5f, 0.4f * 1.0f, 0.2f * 0.25f}},
      {0.75f, {0.8f, 0.4f, 0.2f}},
      {0.0f, {0.6f * (1.0f - 0.25f * 0.6f), 0.6f * (1.0f - 0.25f * 0.6f),
              0.6f * (1.0f - 0.25f * 0.6f)}},
  };
  for (const auto& c : cases) {
    Fill(AlbedoTarget.target, 0.8f, 0.4f, 0.2f, c.mesh);
    Fill(NormalTarget.target, 0.5f, 0.5f, 1.0f, 1.0f);
    Fill(DistanceTarget.target, 3.0f, 0, 0, 0);
    Fill(LightTarget.target, 0.5f, 1.0f, 0.25f, 0.25f);
    Fill(VirtualDepthTarget.target, 0, 0, 0, 0);
    Fill(ImmediateTarget.target, 0.6f, 0.6f, 0.6f, 1.0f);
    Deferred_Resolve();
    const std::vector<float> got = ReadPixel(ResolveTarget.target, width / 3, height / 2);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(got[i], c.expected[i], 1.5f / 255) << c.mesh << i;
  }
  // A mesh behind the background's virtual depth gives way to the background.
  Fill(AlbedoTarget.target, 0.8f, 0.4f, 0.2f, 1.0f);
  Fill(LightTarget.target, 1, 1, 1, 0);
  Fill(VirtualDepthTarget.target, 1.0f / (2.0f + 1.0f), 0, 0, 0);  // nearer than y = 3
  Deferred_Resolve();
  EXPECT_NEAR(ReadPixel(ResolveTarget.target, 5, 5)[0], 0.6f, 1.5f / 255);
}

// A mesh drawn with a negated colour is unlit: the G-buffer marks it so
// and the resolve shows its colour as it is, while the lit mesh beside it
// shows albedo x light.
TEST_F(DeferredFrameGL, UnlitMeshShowsItsColourThroughTheResolve) {
  scene.lights.push_back(FacingLight(1, {0, 4, 0}, 8.0f));
  Deferred_DrawSubmesh(context, nullptr, Wall(5.0f, -6, 0, -6, 6), nullptr, 1, 1, 1, 1);
  Deferred_DrawSubmesh(context, nullptr, Wall(5.0f, 0, 6, -6, 6), nullptr, -0.8f, 0.4f, 0.2f, 1);
  ASSERT_EQ(Deferred_Flush(), 1);
  Fill(VirtualDepthTarget.target, 0, 0, 0, 0);
  Deferred_RenderLights();
  Deferred_Resolve();
  const int y = PixelY(0.0f), lit = PixelX(-0.5f), unlit = PixelX(0.5f);
  const std::vector<float> light = ReadPixel(LightTarget.target, lit, y);
  ASSERT_GT(light[0], 0.05f);
  const std::vector<float> shown = ReadPixel(ResolveTarget.target, lit, y);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(shown[i], std::min(light[i], 1.0f), 1.5f / 255) << i;
  const std::vector<float> plain = ReadPixel(ResolveTarget.target, unlit, y);
  EXPECT_NEAR(plain[0], 0.8f, 1.5f / 255);
  EXPECT_NEAR(plain[1], 0.4f, 1.5f / 255);
  EXPECT_NEAR(plain[2], 0.2f, 1.5f / 255);
}

// The iris half closed around the picture's top-left corner: the picture
// shows inside a circle of 480 / s pixels of the 640 x 480 frame.
TEST_F(DeferredFrameGL, ResolveMasksThePictureWithTheIris) {
  uint32_t now = 0;
  static uint32_t* clock = nullptr;
  clock = &now;
  drevRender_Calls().totalMs = [] { return *clock; };
  drevRender_IrisDown(0, 0, 1000);
  now = 500;
  float fraction = 0;
  drevRender_GetIrisState(&fraction, nullptr, nullptr);
  ASSERT_FLOAT_EQ(fraction, 0.5f);

  scene.lights.push_back(FacingLight(1, {0, 5, 0}, 1.0f));
  Fill(AlbedoTarget.target, 1, 1, 1, 0.75f);  // an unlit mesh: albedo as it is
  Fill(NormalTarget.target, 0.5f, 0.5f, 1.0f, 0.0f);
  Fill(VirtualDepthTarget.target, 0, 0, 0, 0);
  Deferred_Resolve();
  const float s = 1.0f / (1.0f - 0.5f + 0.00001f) - 1.0f;
  const float radius = 480.0f / s;  // in pixels of the 640 x 480 frame
  for (const auto& [fx, fy] : {std::pair{0.05f, 0.05f}, {0.5f, 0.5f}, {0.95f, 0.95f}, {0.9f, 0.1f}}) {
    // (fx, fy) of the frame from its top-left corner.
    const float distance = std::hypot(fx * 640.0f, fy * 480.0f);
    const int px = static_cast<int>(fx * static_cast<float>(width));
    const int py = static_cast<int>((1.0f - fy) * static_cast<float>(height));
    const float got = ReadPixel(ResolveTarget.target, px, std::min(py, height - 1))[0];
    EXPECT_FLOAT_EQ(got, distance <= radius ? 1.0f : 0.0f) << fx << " " << fy;
  }
  drevRender_IrisClear();
  drevRender_ResetCalls();
}

// The forward path lights a mesh from its probes: a small model's seven
// lattice points carry the centre's light, and a surface facing -y takes
// the -y direction's irradiance.
TEST_F(DeferredFrameGL, ForwardPathLightsFromTheProbes) {
  drevRender_SetAdvancedLighting(0);
  FakeDeferredScene::Light gradient = FakeDeferredScene::MakeLight(0, {0, 5, 0}, 3, 3, 3);
  gradient.info.innerColour = {0.3f, 0.2f, 0.1f};
  gradient.info.outerColour = {0.3f, 0.2f, 0.1f};
  scene.lights.push_back(gradient);
  Deferred_BeginFrame();
  ASSERT_EQ(Deferred_AdvancedLightingOff, 1);
  Lightprobe_BeginLattice("wall", {0, 5, 0}, 0.01f, nullptr);
  LightProbeSlot* slot = Lightprobe_GetCurrent();
  ASSERT_NE(slot, nullptr);
  ASSERT_TRUE(slot->flags & Lightprobe_SmallOnScreen);
  const kvVector3F probe = slot->irradiance[0][3];  // the -y direction
  EXPECT_GT(probe.x, 0.0f);

  Deferred_DrawSubmeshForward(context, nullptr, Wall(5.0f, -6, 6, -6, 6), nullptr, 0.5f, 1.0f,
                              0.75f, 1.0f);
  Lightprobe_EndLattice();
  ASSERT_EQ(Deferred_Flush(), 1);
  const std::vector<float> got = ReadPixel(LightTarget.target, width / 2, height / 2);
  EXPECT_NEAR(got[0], 0.5f * probe.x, 2.0f / 255);
  EXPECT_NEAR(got[1], 1.0f * probe.y, 2.0f / 255);
  EXPECT_NEAR(got[2], 0.75f * probe.z, 2.0f / 255);
  EXPECT_NEAR(got[3], 1.0f / (5.0f + 1.0f), 1e-3);  // the mesh's depth for the resolve
}

// Record building ---------------------------------------------------------------------------

TEST_F(DeferredFrameGL, ActorShadowsBecomeShadowRecordsOutsideDeferredLightSets) {
  const qxVector3 points[4] = {{0, 1, 0}, {1, 1, 0}, {1, 2, 0}, {0, 2, 0}};
  EXPECT_EQ(Deferred_DrawShadow(points, 2, 0xF800), 0);
  EXPECT_EQ(Deferred_ShadowBucket->count, 0u);
  scene.lights.push_back(FacingLight(1, {0, 5, 0}, 1.0f));
  EXPECT_EQ(Deferred_DrawShadow(points, 4, 0xF800), 0);  // shadow maps there instead
  EXPECT_EQ(Deferred_ShadowBucket->count, 0u);
  scene.lights.clear();

  ASSERT_EQ(Deferred_DrawShadow(points, 4, 0xF800), 1);
  ASSERT_EQ(Deferred_ShadowBucket->count, 1u);
  const DrawRecord& record = Deferred_ShadowBucket->records[0];
  EXPECT_EQ(record.program, Deferred_GetProgram(DeferredProgram_Shadow));
  EXPECT_EQ(record.depthCompare, 5);
  EXPECT_EQ(record.depthWrite, 1);
  EXPECT_EQ(record.blendEnabled, 0);
  ASSERT_EQ(kv_VertexBuffer_GetSize(record.vertexBuffer), 6 * sizeof(ShadowVertex));
  // The quad as the fan (p0, p1, p2) and (p0, p2, p3).
  const auto* v = reinterpret_cast<const ShadowVertex*>(record.vertexBuffer->data);
  const int order[6] = {0, 1, 2, 0, 2, 3};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(v[i].Position.x, points[order[i]].x) << i;
    EXPECT_EQ(v[i].Position.y, points[order[i]].y) << i;
  }
  const auto* c = static_cast<const ShadowConstants*>(record.vertexConstants.data);
  EXPECT_FLOAT_EQ(c->ViewDistance.x, 320.0f);
  EXPECT_FLOAT_EQ(c->ShadowColor.x, 1.0f);
  EXPECT_FLOAT_EQ(c->ShadowColor.y, 0.0f);
  // While the software back end draws too, the classic path fills it as well.
  RenderHookTable software{};
  software.active = 1;
  kv_RenderHooks_SetBackends(nullptr, Deferred_GetHookTable(), &software);
  EXPECT_EQ(Deferred_DrawShadow(points, 3, 0), 0);
  EXPECT_EQ(Deferred_ShadowBucket->count, 2u);
}

TEST_F(DeferredFrameGL, CubeAndGridMeshes) {
  uint16_t outward[36], inward[36];
  Deferred_CubeIndices(outward, 0);
  Deferred_CubeIndices(inward, 1);
  EXPECT_EQ((std::vector<uint16_t>(inward, inward + 6)), (std::vector<uint16_t>{0, 1, 2, 2, 3, 0}));
  EXPECT_EQ((std::vector<uint16_t>(outward, outward + 6)),
            (std::vector<uint16_t>{0, 2, 1, 2, 0, 3}));
  kvVertexBuffer* vertices = nullptr;
  kvIndexBuffer* indices = nullptr;
  ASSERT_EQ(Deferred_MakeGridMesh(&vertices, &indices, 2), 24);
  const auto* points = reinterpret_cast<const Vector3Vertex*>(vertices->data);
  EXPECT_EQ(points[0].Position.x, -1.0f);
  EXPECT_EQ(points[4].Position.x, 0.0f);  // the middle of the grid
  EXPECT_EQ(points[8].Position.y, 1.0f);
  EXPECT_EQ((std::vector<uint16_t>(indices->data, indices->data + 6)),
            (std::vector<uint16_t>{0, 1, 4, 4, 3, 0}));
  EXPECT_EQ(Deferred_MakeGridMesh(&vertices, &indices, 0), 0);
}

// A plain 16-bit picture of w x h pixels.
struct Picture565 {
  DisplayBuffer* buffer = nullptr;
  Picture565(int w, int h) {
    BufferFormat format{};
    format.width = w;
    format.height = h;
    format.format = {1, 16, 5, 6, 5, 11, 5, 0, 3, 2, 3, 0, 0, 0};
    buffer = stdDisplay_NewBuffer(&format, 0, 0, nullptr);
  }
  ~Picture565() { stdDisplay_FreeBuffer(buffer); }
};

TEST_F(DeferredFrameGL, BlitsBecomeUnderlaysOverlaysAndVirtualDepth) {
  Picture565 display(640, 480), depth(640, 480), background(640, 480), small(226, 214);
  ASSERT_TRUE(display.buffer && depth.buffer && background.buffer && small.buffer);
  DisplayBuffer* const oldDisplay = drevRender_pDisplayRaster;
  DisplayBuffer* const oldZ = drevRender_pZRaster;
  drevRender_pDisplayRaster = display.buffer;
  drevRender_pZRaster = depth.buffer;

  Deferred_Blit(depth.buffer, nullptr, background.buffer, nullptr, 0, 0, nullptr, 0);
  ASSERT_EQ(Deferred_VirtualDepthBucket->count, 1u);
  EXPECT_EQ(Deferred_VirtualDepthBucket->records[0].program,
            Deferred_GetProgram(DeferredProgram_ZQuad565));
  EXPECT_EQ(Deferred_PresentFrontBuffer, 0);

  Deferred_Blit(display.buffer, nullptr, background.buffer, nullptr, 0, 0, nullptr, 0);
  Deferred_Blit(display.buffer, nullptr, small.buffer, nullptr, 10, 20, nullptr, 1);
  ASSERT_EQ(Deferred_BitmapUnderlaysBucket->count, 2u);
  const DrawRecord& full = Deferred_BitmapUnderlaysBucket->records[0];
  EXPECT_EQ(full.program, Deferred_GetProgram(DeferredProgram_TexturedQuad565Linear));
  EXPECT_EQ(full.blendEnabled, 1);
  EXPECT_EQ(static_cast<const TexturedQuadConstants*>(full.pixelConstants.data)->ColorKey,
            0xFFFFFFFFu);
  // Clip-space corners: the whole picture covers the fitted target ...
  const auto* q = reinterpret_cast<const QuadVertex*>(full.vertexBuffer->data);
  EXPECT_FLOAT_EQ(q[1].Position.x - q[0].Position.x, 2.0f);
  // ... and a 226 x 214 picture is drawn one pixel narrower and lower.
  const auto* t = reinterpret_cast<const QuadVertex*>(
      Deferred_BitmapUnderlaysBucket->records[1].vertexBuffer->data);
  EXPECT_NEAR(t[1].Position.x - t[0].Position.x, 2.0f * 225.0f / 640.0f, 1e-5f);
  EXPECT_NEAR(t[2].Position.y - t[0].Position.y, 2.0f * 213.0f / 480.0f, 1e-5f);
  EXPECT_NEAR(t[0].Position.x, 2.0f * 10.0f / 640.0f - 1.0f, 1e-5f);

  // After the first mesh of the frame a blit is an overlay.
  Deferred_DrawSubmesh(context, nullptr, Wall(5.0f, -1, 1, -1, 1), nullptr, 1, 1, 1, 1);
  Deferred_Blit(display.buffer, nullptr, background.buffer, nullptr, 0, 0, nullptr, 0);
  EXPECT_EQ(Deferred_BitmapUnderlaysBucket->count, 2u);
  EXPECT_EQ(Deferred_BitmapOverlaysBucket->count, 1u);

  drevRender_pDisplayRaster = oldDisplay;
  drevRender_pZRaster = oldZ;
  for (DisplayBuffer* b : {depth.buffer, background.buffer, small.buffer}) {
    stdDisplay_LockBuffer(b);
    Deferred_SurfaceFreed(b->pixels);
    stdDisplay_UnlockBuffer(b);
  }
}

// The background in the immediate target and the depth image with the Z
// shapes in the virtual depth are drawn again only when what they are drawn
// from changes: another picture, the same picture's pixels reported
// changed, another depth image, or a camera that moves the Z shapes.
TEST_F(DeferredFrameGL, BackgroundIsKeptUntilItsSourceChanges) {
  Picture565 display(640, 480), zRaster(640, 480), red(640, 480), blue(640, 480),
      depthImage(640, 480), otherDepth(640, 480);
  ASSERT_TRUE(display.buffer && zRaster.buffer && red.buffer && blue.buffer && depthImage.buffer &&
              otherDepth.buffer);
  const auto paint = [](DisplayBuffer* b, uint16_t value) {
    ASSERT_TRUE(stdDisplay_LockBuffer(b));
    auto* p = static_cast<uint16_t*>(b->pixels);
    std::fill(p, p + 640 * 480, value);
    stdDisplay_UnlockBuffer(b);
  };
  paint(red.buffer, 0xF800);
  paint(blue.buffer, 0x001F);
  paint(depthImage.buffer, 0x1000);
  paint(otherDepth.buffer, 0x2000);
  DisplayBuffer* const oldDisplay = drevRender_pDisplayRaster;
  DisplayBuffer* const oldZ = drevRender_pZRaster;
  drevRender_pDisplayRaster = display.buffer;
  drevRender_pZRaster = zRaster.buffer;
  // A box one unit around (0, 4, 0) that replaces the depth image's value.
  scene.zShapes.push_back({0, 1, 0, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 4, 0}}});

  DisplayBuffer* background = red.buffer;
  DisplayBuffer* depth = depthImage.buffer;
  const auto frame = [&] {
    Phase(0);
    Deferred_Blit(zRaster.buffer, nullptr, depth, nullptr, 0, 0, nullptr, 0);
    Deferred_Blit(display.buffer, nullptr, background, nullptr, 0, 0, nullptr, 0);
    Phase(2);
    return std::vector<uint32_t>{Deferred_UnderlayRedraws, Deferred_VirtualDepthRedraws};
  };
  const int x = PixelX(0.0f), y = PixelY(0.0f), edge = PixelY(0.9f);
  const auto colour = [&] { return ReadPixel(ImmediateTarget.target, x, y); };
  const auto shapeDepth = [&] { return ReadPixel(VirtualDepthTarget.target, x, y)[0]; };

  EXPECT_EQ(frame(), (std::vector<uint32_t>{1, 1}));
  EXPECT_GT(colour()[0], 0.9f);
  const float near = shapeDepth();
  EXPECT_GT(std::fabs(near - ReadPixel(VirtualDepthTarget.target, x, edge)[0]), 0.01f);

  // Unchanged: nothing is drawn again, the pictures stay.
  EXPECT_EQ(frame(), (std::vector<uint32_t>{1, 1}));
  EXPECT_GT(colour()[0], 0.9f);
  EXPECT_FLOAT_EQ(shapeDepth(), near);

  background = blue.buffer;
  EXPECT_EQ(frame(), (std::vector<uint32_t>{2, 1}));
  EXPECT_LT(colour()[0], 0.1f);
  EXPECT_GT(colour()[2], 0.9f);

  scene.cameraView.t = {0.0f, 1.0f, 0.0f};  // the camera backs away: the box is farther
  EXPECT_EQ(frame(), (std::vector<uint32_t>{2, 2}));
  EXPECT_GT(std::fabs(shapeDepth() - near), 0.01f);

  const float edgeDepth = ReadPixel(VirtualDepthTarget.target, x, edge)[0];
  depth = otherDepth.buffer;
  EXPECT_EQ(frame(), (std::vector<uint32_t>{2, 3}));
  EXPECT_GT(std::fabs(ReadPixel(VirtualDepthTarget.target, x, edge)[0] - edgeDepth), 0.01f);

  paint(blue.buffer, 0x07E0);  // green, reported as changed
  ASSERT_TRUE(stdDisplay_LockBuffer(blue.buffer));
  Deferred_SurfaceChanged(blue.buffer->pixels);
  stdDisplay_UnlockBuffer(blue.buffer);
  EXPECT_EQ(frame(), (std::vector<uint32_t>{3, 3}));
  EXPECT_GT(colour()[1], 0.9f);

  drevRender_pDisplayRaster = oldDisplay;
  drevRender_pZRaster = oldZ;
  for (DisplayBuffer* b : {red.buffer, blue.buffer, depthImage.buffer, otherDepth.buffer}) {
    stdDisplay_LockBuffer(b);
    Deferred_SurfaceFreed(b->pixels);
    stdDisplay_UnlockBuffer(b);
  }
}

}  // namespace
