// The deferred back end's set-up on a real GL 3.3 core context (Xvfb +
// Mesa; the context, window and staged shaders come from render_gl.cpp's
// environment): every program against its layouts, the render targets at
// display changes, the clears, and a 5-6-5 picture uploaded and drawn.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "gfx/kv_RenderContext.h"
#include "gfx/kv_RenderTarget.h"
#include "gfx/kv_Shader.h"
#include "gfx/kv_Surface.h"
#include "platform/kv_Platform.h"
#include "platform/kv_RenderHooks.h"
#include "render/Deferred.h"
#include "render/HardwareOverlay.h"
#include "render/Quad.h"
#include "render/kv_Layouts.h"

namespace {

std::string LogText(void) {
  std::ifstream in("Vosk.log", std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Every test runs inside a frame with the deferred programs, buckets and
// targets made; the back buffer is bound again afterwards.
struct DeferredGL : ::testing::Test {
  kvRenderContext* context = kv_RenderContext_Get();
  void SetUp() override {
    kv_Platform_EndFrame();
    ASSERT_EQ(kv_Platform_BeginFrame(), 1);
    ASSERT_NE(Deferred_CreatePrograms(), nullptr);
    if (!Deferred_IsReady()) {
      ASSERT_NE(Deferred_CreateTargets(), nullptr);
    }
  }
  void TearDown() override {
    kvRenderTarget* colour = nullptr;
    kvRenderTarget* depth = nullptr;
    kv_Platform_GetBackBuffer(&colour, &depth);
    kv_RenderContext_SetRenderTarget(context, 0, colour);
    for (int slot = 1; slot < 4; ++slot) kv_RenderContext_SetRenderTarget(context, slot, nullptr);
    kv_RenderContext_SetDepthTarget(context, depth);
    kv_Platform_EndFrame();
  }

  // The float channels of one pixel of the target bound in slot 0, rows
  // counted from the bottom.
  std::vector<float> ReadFloats(kvRenderTarget* target, int x, int y) {
    kv_RenderContext_SetRenderTarget(context, 0, target);
    kv_RenderContext_RenderTargetSetup(context);
    std::vector<float> rgba(4, -1.0f);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_FLOAT, rgba.data());
    EXPECT_EQ(glGetError(), GL_NO_ERROR) << "read float";
    return rgba;
  }
};

// Programs --------------------------------------------------------------------------

struct ProgramContract {
  int id;
  const LayoutDescriptor* vertex;       // the vertex layout drawn with it
  const LayoutDescriptor* vertexBlock;  // "VSConstants", or none
  const LayoutDescriptor* pixelBlock;   // "PSConstants", or none
};

template <class T>
const LayoutDescriptor* L() {
  return kv_Layout_GetDescriptor<T>();
}

std::vector<ProgramContract> Contracts(void) {
  std::vector<ProgramContract> c = {
      {DeferredProgram_Copy, L<TexturedQuadVertex>(), nullptr, nullptr},
      {DeferredProgram_TexturedQuad, L<QuadVertex>(), nullptr, L<TexturedQuadConstants>()},
      {DeferredProgram_TexturedQuad565, L<QuadVertex>(), nullptr, L<TexturedQuadConstants>()},
      {DeferredProgram_TexturedQuad565Linear, L<QuadVertex>(), nullptr, L<TexturedQuadConstants>()},
      {DeferredProgram_ZQuad, L<QuadVertex>(), nullptr, nullptr},
      {DeferredProgram_ZQuad565, L<QuadVertex>(), nullptr, L<TexturedQuadConstants>()},
      {DeferredProgram_Shadow, L<ShadowVertex>(), L<ShadowConstants>(), L<ShadowConstants>()},
      {DeferredProgram_TexturedLit, L<TexturedVertex>(), L<LitMeshVertexConstants>(), nullptr},
      {DeferredProgram_UntexturedLit, L<TexturedVertex>(), L<LitMeshVertexConstants>(), nullptr},
      {DeferredProgram_SmoothLighting, L<TexturedVertex>(), L<LitMeshVertexConstants>(), nullptr},
      {DeferredProgram_SmoothLightingResolve, L<TexturedQuadVertex>(), nullptr,
       L<SmoothLightingResolveConstants>()},
      {DeferredProgram_ZShape, L<Vector3Vertex>(), L<ZShapeVertexConstants>(), nullptr},
      {DeferredProgram_CharAO, L<Vector3Vertex>(), L<CharacterAOVertexConstants>(),
       L<CharacterAOFragmentConstants>()},
      {DeferredProgram_CharResolve, L<TexturedQuadVertex>(), nullptr,
       L<CharacterLightResolveConstants>()},
      {DeferredProgram_CharResolveShadows, L<TexturedQuadVertex>(), nullptr,
       L<CharacterForwardLightResolveConstants>()},
      {DeferredProgram_LightDirect, L<TexturedQuadVertex>(), nullptr, L<DeferredDirectConstants>()},
      {DeferredProgram_LightOmni, L<TexturedQuadVertex>(), nullptr, L<DeferredOmniConstants>()},
      {DeferredProgram_LightSpot, L<TexturedQuadVertex>(), nullptr, L<DeferredSpotConstants>()},
      {DeferredProgram_Light, L<TexturedQuadVertex>(), nullptr, L<DeferredLightConstants>()},
      {DeferredProgram_Resolve, L<TexturedQuadVertex>(), nullptr, L<DeferredResolveConstants>()},
      {DeferredProgram_PostProcess, L<TexturedQuadVertex>(), nullptr,
       L<DeferredPostProcessConstants>()},
      // Drawn with character meshes (TexturedVertex) and caster boxes
      // (Vector3Vertex, whose one member is the first of these).
      {DeferredProgram_ShadowMesh, L<TexturedVertex>(), L<ShadowMeshConstants>(), nullptr},
  };
  for (int low = 0; low < 2; ++low) {
    for (int pixel = 0; pixel < 6; ++pixel) {
      const bool lit = pixel >= DeferredForward_TexturedSpot;
      c.push_back({(low ? DeferredProgram_ForwardLow : DeferredProgram_Forward) + pixel,
                   L<TexturedVertex>(), L<ForwardLitMeshVertexConstants>(),
                   lit ? L<LitMeshFragmentConstants>() : nullptr});
    }
  }
  for (int id = DeferredProgram_CharLightViz; id <= DeferredProgram_CharLightGradient; ++id) {
    c.push_back({id, L<Vector3Vertex>(), L<CharacterLightVertexConstants>(),
                 L<CharacterLightFragmentConstants>()});
  }
  return c;
}

uint32_t VertexType(const char* typeName) {
  return std::strcmp(typeName, "kvVector3F") == 0 ? GL_FLOAT_VEC3 : GL_FLOAT_VEC2;
}

TEST_F(DeferredGL, AllProgramsLinkAndMatchTheirLayouts) {
  const std::vector<ProgramContract> contracts = Contracts();
  ASSERT_EQ(contracts.size(), static_cast<size_t>(DeferredProgram_Count));
  std::set<int> seen;
  testing::internal::CaptureStderr();
  for (const ProgramContract& c : contracts) {
    EXPECT_TRUE(seen.insert(c.id).second) << c.id;
    kvShader* program = Deferred_GetProgram(c.id);
    const DeferredProgramSource& source = Deferred_ProgramSources[c.id];
    const std::string name =
        std::string(source.vertex) + (source.pixel ? std::string("_") + source.pixel : "");
    ASSERT_NE(program, nullptr) << name;
    EXPECT_EQ(name, program->name);

    // Blocks: exactly the ones of the contract, members by name, offset and type.
    const struct {
      const char* block;
      const LayoutDescriptor* layout;
    } blocks[] = {{"VSConstants", c.vertexBlock}, {"PSConstants", c.pixelBlock}};
    for (const auto& b : blocks) {
      const GLuint index = glGetUniformBlockIndex(program->program, b.block);
      if (!b.layout) {
        EXPECT_EQ(index, GL_INVALID_INDEX) << name << " has a " << b.block << " block";
        continue;
      }
      ASSERT_NE(index, GL_INVALID_INDEX) << name << " has no " << b.block;
      kv_Shader_CheckConstantLayout(program, b.block, index, b.layout);
      GLint members = 0;
      glGetActiveUniformBlockiv(program->program, index, GL_UNIFORM_BLOCK_ACTIVE_UNIFORMS,
                                &members);
      EXPECT_EQ(members, b.layout->memberCount) << name << " " << b.block;
    }

    // Inputs: exactly "vs_" + each member of the vertex layout, of its type.
    std::set<std::string> expected, found;
    for (int m = 0; m < c.vertex->memberCount; ++m) {
      expected.insert(std::string("vs_") + c.vertex->members[m].name);
    }
    GLint count = 0;
    glGetProgramiv(program->program, GL_ACTIVE_ATTRIBUTES, &count);
    for (GLint a = 0; a < count; ++a) {
      char attribute[128];
      GLsizei length = 0;
      GLint size = 0;
      GLenum type = 0;
      glGetActiveAttrib(program->program, static_cast<GLuint>(a), sizeof attribute, &length, &size,
                        &type, attribute);
      found.insert(attribute);
      for (int m = 0; m < c.vertex->memberCount; ++m) {
        if (std::string("vs_") + c.vertex->members[m].name == attribute) {
          EXPECT_EQ(type, VertexType(c.vertex->members[m].typeName)) << name << " " << attribute;
        }
      }
    }
    EXPECT_EQ(found, expected) << name;
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  const std::string log = LogText();
  EXPECT_EQ(log.find("failed"), std::string::npos);
  EXPECT_EQ(log.find("could not be built"), std::string::npos);
  EXPECT_EQ(log.find("GL error"), std::string::npos);
}

// Targets ---------------------------------------------------------------------------

TEST_F(DeferredGL, DisplayChangeRecreatesEveryTarget) {
  RenderHookTable* table = InitDeferredBackend();
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->active, 1);
  // The 13 slots of the deferred back end; the others stay empty.
  EXPECT_EQ(table->SurfaceChanged, Deferred_SurfaceChanged);
  EXPECT_EQ(table->SurfaceFreed, Deferred_SurfaceFreed);
  EXPECT_EQ(table->Slot3, Deferred_NoOp);
  EXPECT_EQ(table->MaterialLoaded, Deferred_MaterialLoaded);
  EXPECT_EQ(table->FramePhase, Deferred_FramePhase);
  EXPECT_EQ(table->Blit, Deferred_Blit);
  EXPECT_EQ(table->FillBuffer, nullptr);
  EXPECT_EQ(table->CameraChanged, Deferred_CameraChanged);
  EXPECT_EQ(table->DrawMesh, Deferred_DrawMesh);
  EXPECT_EQ(table->BeginModel, Deferred_OnModelDraw);
  EXPECT_EQ(table->EndModel, Deferred_EndModel);
  EXPECT_EQ(table->DrawShadow, Deferred_DrawShadow);
  EXPECT_EQ(table->DrawSprite, Deferred_DrawSprite);
  for (auto slot : {table->DrawLine, table->DrawClippedLine}) EXPECT_EQ(slot, nullptr);
  EXPECT_EQ(table->BlitObjectStates, nullptr);
  EXPECT_EQ(table->DrawTextObject, nullptr);
  EXPECT_EQ(table->ResourceLoaded, nullptr);
  EXPECT_EQ(table->GetTextExtent, nullptr);
  EXPECT_EQ(table->FillRect, nullptr);
  EXPECT_EQ(table->DisplayChanged, Deferred_DisplayChanged);
  EXPECT_NE(LogText().find("Initializing deferred renderer..."), std::string::npos);

  uint32_t oldTexture[Deferred_TargetCount];
  for (int i = 0; i < Deferred_TargetCount; ++i) {
    const DeferredTarget* handle = Deferred_TargetSpecs[i].handle;
    oldTexture[i] = handle->surface ? handle->surface->texture : 0u;
  }
  kvWindowState* window = kv_Platform_GetWindowState();
  const int drawableWidth = window->drawableWidth, drawableHeight = window->drawableHeight;
  window->drawableWidth = 1920;
  window->drawableHeight = 1080;
  kv_RenderHooks_DisplayChanged();
  window->drawableWidth = drawableWidth;
  window->drawableHeight = drawableHeight;

  for (int i = 0; i < Deferred_TargetCount; ++i) {
    const DeferredTargetSpec& spec = Deferred_TargetSpecs[i];
    const DeferredTarget* handle = spec.handle;
    // The new record may sit where the freed one was (an allocator without
    // quarantine reuses the block): a colour target's new texture and each
    // target's new size show that it was made again.
    ASSERT_NE(handle->target, nullptr) << i;
    int w = 0, h = 0;
    uint32_t format = 0;
    kv_RenderTarget_GetInfo(handle->target, &w, &h, &format);
    // The start scaling 2.0 gives the factor 1: 1920 x 1080 fits 1440 x 1080.
    EXPECT_EQ(w, spec.shadowMapSized ? 1024 : 1440) << i;
    EXPECT_EQ(h, spec.shadowMapSized ? 1024 : 1080) << i;
    EXPECT_EQ(format, spec.format) << i;
    if (spec.format == kvFormat_Depth) {
      EXPECT_EQ(handle->surface, nullptr) << i;
    } else {
      ASSERT_NE(handle->surface, nullptr) << i;
      EXPECT_EQ(handle->surface, kv_RenderTarget_GetSurface(handle->target)) << i;
      // The old texture lives until the next frame start: a new one was made.
      EXPECT_NE(handle->surface->texture, oldTexture[i]) << i;
    }
  }
  EXPECT_EQ(SmoothLightingLightTarget.target, LightTarget.target);
  EXPECT_EQ(SmoothLightingLightTarget.surface, LightTarget.surface);
  EXPECT_EQ(SmoothLightingScratchTarget.target, ResolveTarget.target);
  EXPECT_EQ(Deferred_IsReady(), 1);

  // Back at the display's own size.
  ASSERT_NE(Deferred_CreateTargets(), nullptr);
  int displayW = 0, displayH = 0, expectedW = 0, expectedH = 0, w = 0, h = 0;
  kv_Platform_GetDisplaySize(&displayW, &displayH);
  Deferred_ComputeSize(static_cast<uint32_t>(displayW), static_cast<uint32_t>(displayH), 2.0f,
                       &expectedW, &expectedH);
  kv_RenderTarget_GetInfo(FinalTarget.target, &w, &h, nullptr);
  EXPECT_EQ(w, expectedW);
  EXPECT_EQ(h, expectedH);
  kv_RenderHooks_ResetForTest();
}

// A display change that leaves the deferred size as it was (the window's own
// size events, the first settings check) keeps every target and its texture.
TEST_F(DeferredGL, DisplayChangeAtTheSameSizeKeepsEveryTarget) {
  ASSERT_NE(InitDeferredBackend(), nullptr);
  kvRenderTarget* oldTarget[Deferred_TargetCount];
  uint32_t oldTexture[Deferred_TargetCount];
  for (int i = 0; i < Deferred_TargetCount; ++i) {
    const DeferredTarget* handle = Deferred_TargetSpecs[i].handle;
    oldTarget[i] = handle->target;
    oldTexture[i] = handle->surface ? handle->surface->texture : 0u;
  }
  kv_RenderHooks_DisplayChanged();
  for (int i = 0; i < Deferred_TargetCount; ++i) {
    const DeferredTarget* handle = Deferred_TargetSpecs[i].handle;
    EXPECT_EQ(handle->target, oldTarget[i]) << i;
    EXPECT_EQ(handle->surface ? handle->surface->texture : 0u, oldTexture[i]) << i;
  }
  EXPECT_EQ(Deferred_IsReady(), 1);
  kv_RenderHooks_ResetForTest();
}

TEST_F(DeferredGL, ClearsReadBackWhiteShadowMapAndBlackLight) {
  // Something else in every target first, and the albedo bound in slot 1.
  kv_RenderContext_SetRenderTarget(context, 0, ShadowMapTarget.target);
  kv_RenderContext_SetDepthTarget(context, ShadowMapDepthTarget.target);
  kv_RenderContext_SetDepthState(context, 0, 1);
  kv_RenderContext_Clear(context, 0.25f, 0.5f, 0.0f, 0.0f, 0.5f);
  kv_RenderContext_SetRenderTarget(context, 0, LightTarget.target);
  kv_RenderContext_SetDepthTarget(context, nullptr);
  kv_RenderContext_Clear(context, 0.5f, 0.25f, 0.75f, 1.0f, 0.0f);
  kv_RenderContext_SetRenderTarget(context, 0, AlbedoTarget.target);
  kv_RenderContext_Clear(context, 0.0f, 1.0f, 0.0f, 1.0f, 0.0f);
  kv_RenderContext_SetRenderTarget(context, 1, AlbedoTarget.target);

  Deferred_ClearShadowMap();
  EXPECT_EQ(context->depthCompare, kv_DepthCompareFunction(0));
  EXPECT_EQ(context->depthWrite, 1);
  std::vector<float> shadow = ReadFloats(ShadowMapTarget.target, 512, 700);
  // "F16x2" holds red and green; alpha reads back as 1.
  EXPECT_EQ(shadow, (std::vector<float>{1.0f, 1.0f, 0.0f, 1.0f}));
  float depth = -1.0f;
  EXPECT_EQ(glGetError(), GL_NO_ERROR) << "before depth";
  glReadPixels(5, 5, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
  EXPECT_EQ(glGetError(), GL_NO_ERROR) << "depth";
  EXPECT_FLOAT_EQ(depth, 1.0f);
  // The target left in slot 1 was not cleared with it.
  EXPECT_EQ(ReadFloats(AlbedoTarget.target, 3, 3), (std::vector<float>{0.0f, 1.0f, 0.0f, 1.0f}));

  kv_RenderContext_SetRenderTarget(context, 1, AlbedoTarget.target);
  Deferred_ClearLightBuffer();
  EXPECT_EQ(context->colourTargets[1], nullptr);
  EXPECT_EQ(context->depthWrite, 0);
  EXPECT_EQ(ReadFloats(LightTarget.target, 320, 240), (std::vector<float>{0, 0, 0, 0}));
  EXPECT_EQ(ReadFloats(LightTarget.target, 639, 0), (std::vector<float>{0, 0, 0, 0}));
}

TEST_F(DeferredGL, GBufferTexturesAndSamplers) {
  Deferred_BindGBufferTextures(context, 0, 1);
  ASSERT_EQ(context->textureCount, 7u);
  EXPECT_EQ(context->textures[0], AlbedoTarget.surface);
  EXPECT_EQ(context->textures[1], DistanceTarget.surface);
  EXPECT_EQ(context->textures[2], NormalTarget.surface);
  EXPECT_EQ(context->textures[3], nullptr);
  EXPECT_EQ(context->textures[4], VirtualDepthTarget.surface);
  EXPECT_EQ(context->textures[5], ShadowMapTarget.surface);
  EXPECT_EQ(context->textures[6], ImmediateTarget.surface);
  EXPECT_EQ(context->samplerStates[5].filter, 1);
  EXPECT_EQ(context->samplerStates[0].filter, 0);
  EXPECT_EQ(context->samplerStates[6].wrap, 2);
  Deferred_BindGBufferTextures(context, 1, 0);
  EXPECT_EQ(context->textures[3], LightTarget.surface);
  EXPECT_EQ(context->textures[5], nullptr);
}

// Pixels ------------------------------------------------------------------------------

TEST_F(DeferredGL, Uploaded565PictureDrawsItsColours) {
  // 4 x 2 pixels, 5-6-5 with red in the top bits; 0xF81F (magenta) is the key.
  const uint16_t pixels[8] = {0xF800, 0x07E0, 0x001F, 0xFFFF, 0x0000, 0xF81F, 0x8410, 0x1234};
  kvSurface* surface = kv_Surface_Allocate(4, 2, kvFormat_U16x1, 0);
  ASSERT_NE(surface, nullptr);
  Deferred_UploadPixels(surface, pixels, 4, 2, Deferred_Source565, nullptr, 0, 0, 1);
  EXPECT_EQ(std::memcmp(surface->pixels, pixels, sizeof pixels), 0);

  kvRenderTarget* target = kv_RenderTarget_Create(4, 2, kvFormat_8x4);
  kv_RenderContext_SetRenderTarget(context, 0, target);
  kv_RenderContext_SetDepthTarget(context, nullptr);
  kv_RenderContext_Clear(context, 0.0f, 0.0f, 0.5f, 1.0f, 0.0f);
  DrawRecord record;
  Quad_BuildTexturedDrawForTarget(&record, surface, 0, 0, 0, 0, 4, 2, 0, 0, 4, 2, target, 1, 0);
  record.program = Deferred_GetProgram(DeferredProgram_TexturedQuad565);
  ASSERT_NE(record.program, nullptr);
  static_cast<TexturedQuadConstants*>(record.pixelConstants.data)->ColorKey = 0xF81F;
  kv_RenderContext_SubmitDraw(&record);

  kv_RenderContext_RenderTargetSetup(context);
  uint8_t rgba[4 * 2 * 4];
  glReadBuffer(GL_COLOR_ATTACHMENT0);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, 4, 2, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
  for (int i = 0; i < 8; ++i) {
    const int x = i % 4, y = i / 4;
    const uint8_t* px = &rgba[((1 - y) * 4 + x) * 4];  // read rows are bottom-up
    const uint16_t p = pixels[i];
    int expected[4] = {static_cast<int>(std::lround(((p >> 11) & 0x1F) * 255.0 / 31.0)),
                       static_cast<int>(std::lround(((p >> 5) & 0x3F) * 255.0 / 63.0)),
                       static_cast<int>(std::lround((p & 0x1F) * 255.0 / 31.0)), 255};
    if (p == 0xF81F) {  // keyed: the clear colour shows through, alpha from the source
      expected[0] = expected[1] = expected[3] = 0;
      expected[2] = 128;
    }
    for (int c = 0; c < 4; ++c) {
      EXPECT_NEAR(px[c], expected[c], 1) << "pixel " << i << " channel " << c;
    }
  }
  kv_Surface_Release(surface);
  kv_RenderTarget_Free(target);
}

TEST_F(DeferredGL, CacheEntriesReleaseTheirSurfacesAtTheFrameEnd) {
  TextureCacheEntry entry = {};
  entry.surface = kv_Surface_Allocate(2, 2, kvFormat_8x4, 0);
  entry.variants[0] = kv_Surface_Allocate(2, 2, kvFormat_8x4, 0);
  entry.variants[4] = kv_Surface_Allocate(2, 2, kvFormat_8x4, 0);
  entry.keyEnable = 1;
  entry.keyValue = 7;
  entry.byteSize = 16;
  std::vector<kvSurface*>& releases = context->frameData->surfaceReleases;
  const size_t before = releases.size();
  TextureCacheEntry_Release(&entry);
  EXPECT_EQ(releases.size(), before + 3);
  EXPECT_EQ(entry.surface, nullptr);
  EXPECT_EQ(entry.variants[0], nullptr);
  EXPECT_EQ(entry.variants[4], nullptr);
  EXPECT_EQ(entry.keyEnable + entry.keyValue + entry.byteSize, 0u);

  SubmeshEntry* submesh = static_cast<SubmeshEntry*>(kv_Platform_Alloc(0, sizeof(SubmeshEntry)));
  *submesh = SubmeshEntry{};
  submesh->vertexBuffer = kv_VertexBuffer_Allocate(64, L<TexturedVertex>());
  const size_t buffersBefore = context->frameData->vertexReleases.size();
  SubmeshEntry_Delete(submesh);
  EXPECT_EQ(context->frameData->vertexReleases.size(), buffersBefore + 1);

  ReplacementTexture* replacement = ReplacementTexture_New();
  replacement->surface = kv_Surface_Allocate(2, 2, kvFormat_8x4, 0);
  replacement->key = 99;
  ReplacementTexture_Delete(replacement);
  EXPECT_EQ(releases.size(), before + 4);
}

}  // namespace
