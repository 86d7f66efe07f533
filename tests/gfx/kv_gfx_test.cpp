// Render-context logic that needs no GL: format and level tables, lock
// nesting, ring arithmetic, index generation, sampler/blend/depth tables and
// the state record's setters.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gfx/kv_Buffer.h"
#include "gfx/kv_Layout.h"
#include "gfx/kv_RenderContext.h"
#include "gfx/kv_Shader.h"
#include "gfx/kv_Surface.h"
#include "platform/kv_Log.h"

namespace {

kvSurface PlainRecord(int w, int h, uint32_t format) {
  kvSurface s{};
  s.width = w;
  s.height = h;
  s.format = format;
  s.pitch = static_cast<uint32_t>(w * kv_Surface_BytesPerPixel(format));
  s.levelCount = 1;
  return s;
}

TEST(SurfaceFormats, TableOfSizesAndNames) {
  struct Case {
    uint32_t format;
    int bytesPerPixel;
    const char* name;
  } cases[] = {{0, 1, "8x1"},      {3, 4, "8x4"},     {4, 4, "8x4_RGB"}, {5, 2, "565"},
               {6, 4, "Fx1"},      {7, 8, "Fx2"},     {8, 12, "Fx3"},    {9, 16, "Fx4"},
               {10, 4, "F16x1"},   {11, 8, "F16x2"},  {12, 16, "F16x4"}, {13, 2, "U16x1"},
               {14, 0, "Unknown"}, {16, 0, "DXT1"},   {17, 0, "DXT3"},   {18, 0, "DXT5"},
               {1, 0, "Unknown"},  {15, 0, "Unknown"}};
  for (const Case& c : cases) {
    EXPECT_EQ(kv_Surface_BytesPerPixel(c.format), c.bytesPerPixel) << c.format;
    EXPECT_STREQ(kv_Surface_GetFormatName(c.format), c.name) << c.format;
  }
  // Format 13 stays within GL 3.3 core: 5-6-5 data into RGB8 storage.
  EXPECT_EQ(kv_Surface_GetFormatInfo(13, false).internalFormat, uint32_t(GL_RGB8));
  EXPECT_EQ(kv_Surface_GetFormatInfo(13, true).internalFormat, uint32_t(GL_R16));
  EXPECT_EQ(kv_Surface_GetFormatInfo(5, false).internalFormat, uint32_t(GL_RGBA8));
}

TEST(SurfaceFormats, PitchAndLevelSizes) {
  kvSurface s = PlainRecord(640, 480, 5);
  EXPECT_EQ(s.pitch, 1280u);
  kvSurfaceLevel levels[32];
  ASSERT_EQ(kv_Surface_PlanLevels(&s, levels, 32), 1);
  EXPECT_EQ(levels[0].bytes, 614400u);
  EXPECT_EQ(PlainRecord(100, 100, 10).pitch, 400u);

  EXPECT_EQ(kv_Surface_CompressedLevelSize(16, 6, 6), 32u);
  EXPECT_EQ(kv_Surface_CompressedLevelSize(18, 1, 1), 16u);
  EXPECT_EQ(kv_Surface_CompressedLevelSize(5, 4, 4), 0u);
}

TEST(SurfaceFormats, MipChainWalksEveryLevelWithItsOwnPitch) {
  kvSurface s = PlainRecord(256, 64, 3);
  s.mipmapped = 1;
  s.levelCount = 9;
  kvSurfaceLevel levels[32];
  const int n = kv_Surface_PlanLevels(&s, levels, 32);
  const std::pair<int, int> expected[] = {{256, 64}, {128, 32}, {64, 16}, {32, 8}, {16, 4},
                                          {8, 2},    {4, 1},    {2, 1},   {1, 1}};
  ASSERT_EQ(n, 9);
  size_t offset = 0;
  for (int i = 0; i < n; ++i) {
    EXPECT_EQ(levels[i].width, expected[i].first) << i;
    EXPECT_EQ(levels[i].height, expected[i].second) << i;
    EXPECT_EQ(levels[i].bytes, size_t(expected[i].first) * expected[i].second * 4) << i;
    offset += levels[i].bytes;
  }
  // The whole chain fits the CPU block of pitch x height x 2.
  EXPECT_LT(offset, size_t(s.pitch) * 64 * 2);

  // A width that is not a power of two: level 1 of a 3-wide 4-byte surface is
  // one pixel of 4 bytes, not half of the 12-byte pitch.
  kvSurface odd = PlainRecord(3, 3, 3);
  odd.mipmapped = 1;
  odd.levelCount = 4;
  ASSERT_EQ(kv_Surface_PlanLevels(&odd, levels, 32), 2);
  EXPECT_EQ(levels[0].bytes, 36u);
  EXPECT_EQ(levels[1].bytes, 4u);

  // Compressed chains use block sizes per level.
  kvSurface dxt = PlainRecord(8, 8, 16);
  dxt.mipmapped = 1;
  dxt.levelCount = 4;
  ASSERT_EQ(kv_Surface_PlanLevels(&dxt, levels, 32), 4);
  EXPECT_EQ(levels[0].bytes, 32u);
  EXPECT_EQ(levels[1].bytes, 8u);
  EXPECT_EQ(levels[3].bytes, 8u);
}

TEST(SurfaceLock, NestedLocksMarkOnTheLastUnlock) {
  std::vector<uint8_t> pixels(4 * 4 * 4);
  kvSurface s = PlainRecord(4, 4, 3);
  s.pixels = pixels.data();
  void* p = nullptr;
  int row = 0;
  ASSERT_EQ(kv_Surface_Lock(nullptr, &s, &p, &row), 1);
  EXPECT_EQ(p, pixels.data());
  EXPECT_EQ(row, 4);
  void* q = nullptr;
  ASSERT_EQ(kv_Surface_Lock(nullptr, &s, &q, &row), 1);
  EXPECT_EQ(kv_Surface_Unlock(&s, &q), 1);
  EXPECT_EQ(s.lockCount, 1);
  EXPECT_EQ(s.modified, 0u);
  EXPECT_EQ(q, pixels.data());
  EXPECT_EQ(kv_Surface_Unlock(&s, &p), 1);
  EXPECT_EQ(s.modified, 1u);
  EXPECT_EQ(s.needsUpload, 1);
  EXPECT_NE(p, pixels.data());
  EXPECT_EQ(kv_Surface_Unlock(&s, &p), 0);  // not locked any more

  // Null surface, and a surface without a CPU copy: nothing to write into.
  EXPECT_EQ(kv_Surface_Lock(nullptr, nullptr, &p, &row), 0);
  EXPECT_EQ(p, kvSurface_PoisonPointer);
  kvSurface bare = PlainRecord(4, 4, 3);
  EXPECT_EQ(kv_Surface_Lock(nullptr, &bare, &p, &row), 0);
  EXPECT_EQ(bare.lockCount, 0);
}

TEST(SurfaceQueries, ContainsPointerAndStandalone) {
  std::vector<uint8_t> pixels(8 * 2 * 2);
  kvSurface s = PlainRecord(8, 2, 5);
  s.pixels = pixels.data();
  EXPECT_EQ(kv_Surface_ContainsPointer(&s, pixels.data()), 1);
  EXPECT_EQ(kv_Surface_ContainsPointer(&s, pixels.data() + 31), 1);
  EXPECT_EQ(kv_Surface_ContainsPointer(&s, pixels.data() + 32), 0);
  EXPECT_EQ(kv_Surface_IsStandalone(&s), 1);
}

struct RingFixture : ::testing::Test {
  kvFrameData frame;
  kvRenderContext context{};
  void SetUp() override {
    ASSERT_TRUE(kv_FrameData_InitRings(&frame, 256));
    context.frameData = &frame;
  }
  void TearDown() override {
    kv_FrameData_Reset(&frame);  // transient buffers own no GL objects
    kv_FrameData_FreeRings(&frame);
  }
};

TEST_F(RingFixture, ConstantBlocksTakeWholeAlignmentUnits) {
  EXPECT_EQ(frame.uniformSlotCount, 4096u);
  kvConstantBlock first{};
  kv_RenderContext_AllocConstants(&first, &context, 20, nullptr);
  ASSERT_NE(first.data, nullptr);
  EXPECT_EQ(frame.uniformRing.used, 256u);
  for (int i = 1; i < 4096; ++i) {
    kvConstantBlock block{};
    kv_RenderContext_AllocConstants(&block, &context, 20, nullptr);
    ASSERT_NE(block.data, nullptr) << i;
  }
  kvConstantBlock full{};
  kv_RenderContext_AllocConstants(&full, &context, 20, nullptr);
  EXPECT_EQ(full.data, nullptr);
  EXPECT_EQ(full.size, 20u);
  EXPECT_FALSE(kv_ConstantBlock_IsUsable(full));
  EXPECT_TRUE(kv_ConstantBlock_IsUsable(first));
  EXPECT_TRUE(kv_ConstantBlock_IsUsable(kvConstantBlock{0, nullptr, nullptr}));
}

TEST_F(RingFixture, RingArithmetic) {
  kvRing& ring = frame.vertexRing;
  void* start = kv_Ring_Alloc(&ring, 0);
  EXPECT_EQ(start, ring.base);
  EXPECT_EQ(ring.used, 0u);
  EXPECT_EQ(kv_Ring_Alloc(&ring, 1), ring.base);
  EXPECT_EQ(ring.used, 128u);
  EXPECT_EQ(kv_Ring_Alloc(&ring, 129), ring.base + 128);
  EXPECT_EQ(ring.used, 384u);
  EXPECT_EQ(kv_Ring_Alloc(&ring, kvRingSize), nullptr);
  EXPECT_EQ(ring.used, 384u);
  EXPECT_EQ(kv_Ring_Alloc(&ring, SIZE_MAX), nullptr);  // no wrap-around of the rounding
  EXPECT_NE(kv_Ring_Alloc(&ring, kvRingSize - 384), nullptr);
  EXPECT_EQ(kv_Ring_Alloc(&ring, 1), nullptr);
}

TEST_F(RingFixture, TransientBuffersComeFromTheRingsAndWaitForTheFrameBegin) {
  kvVertexBuffer* vb = kv_VertexBuffer_AllocateTransient(&context, 1, nullptr);
  ASSERT_NE(vb, nullptr);
  EXPECT_EQ(vb->data, frame.vertexRing.base);
  EXPECT_EQ(frame.vertexRing.used, 128u);
  EXPECT_EQ(vb->ownsGLBuffer, 0);
  kvIndexBuffer* ib = kv_IndexBuffer_AllocateTransient(&context, 100, 0);
  ASSERT_NE(ib, nullptr);
  EXPECT_EQ(frame.indexRing.used, 256u);
  EXPECT_EQ(frame.vertexReleases.size(), 1u);
  EXPECT_EQ(frame.indexReleases.size(), 1u);
  kvVertexBuffer* none = kv_VertexBuffer_AllocateTransient(&context, kvRingSize * 2, nullptr);
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(none->data, nullptr);  // a full ring: a buffer without data

  std::memset(vb->data, 7, 1);
  kv_FrameData_Reset(&frame);
  EXPECT_TRUE(frame.vertexReleases.empty());
  EXPECT_EQ(frame.vertexRing.used, 0u);
  EXPECT_EQ(frame.vertexRing.base[0], 0);
}

TEST(Indices, GeneratedListsAndQuads) {
  uint16_t quads[12];
  kv_GenerateIndices(19, quads, 12);
  const uint16_t expectedQuads[12] = {0, 1, 2, 1, 2, 3, 4, 5, 6, 5, 6, 7};
  EXPECT_EQ(0, std::memcmp(quads, expectedQuads, sizeof quads));
  uint16_t list[5];
  kv_GenerateIndices(4, list, 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(list[i], i);

  struct Case {
    int kind, first, count;
    kvIndexPlan plan;
  } cases[] = {
      {19, 0, 6, {0, 0, 6, true}},   // six vertices: one whole quad, never index 6
      {19, 8, 8, {8, 0, 12, true}},  // from vertex 8: its own quads, base vertex 8
      {4, 5, 9, {5, 0, 9, false}},
      {5, 0, 3, {0, 0, 3, false}},
  };
  for (const Case& c : cases) {
    const kvIndexPlan p = kv_PlanDrawWithoutIndices(c.kind, c.first, c.count);
    EXPECT_EQ(p.baseVertex, c.plan.baseVertex) << c.kind << "/" << c.first;
    EXPECT_EQ(p.indexStart, c.plan.indexStart);
    EXPECT_EQ(p.indexCount, c.plan.indexCount);
    EXPECT_EQ(p.quads, c.plan.quads);
  }
  EXPECT_EQ(kv_GeneratedIndexCapacity(6), 1024);
  EXPECT_EQ(kv_GeneratedIndexCapacity(1024), 1024);
  EXPECT_EQ(kv_GeneratedIndexCapacity(1025), 2048);
}

TEST(DrawTables, FiltersWrapsDepthAndBlend) {
  struct Filter {
    int filter, mip;
    bool mipmapped;
    uint32_t min;
  } filters[] = {
      {0, 0, true, GL_NEAREST},
      {1, 0, true, GL_LINEAR},
      {2, 1, true, GL_NEAREST_MIPMAP_NEAREST},
      {3, 1, true, GL_LINEAR_MIPMAP_NEAREST},
      {0, 2, true, GL_NEAREST_MIPMAP_LINEAR},
      {1, 2, true, GL_LINEAR_MIPMAP_LINEAR},
      {1, 7, true, GL_NEAREST},
      {2, 2, false, GL_NEAREST},  // not mipmapped: the mip filter counts as 0
      {3, 2, false, GL_LINEAR},
      {9, 0, true, GL_NEAREST},
  };
  for (const Filter& f : filters) {
    EXPECT_EQ(kv_SamplerMinFilter(f.filter, f.mip, f.mipmapped), f.min) << f.filter << f.mip;
  }
  EXPECT_EQ(kv_SamplerMagFilter(0), uint32_t(GL_NEAREST));
  EXPECT_EQ(kv_SamplerMagFilter(2), uint32_t(GL_LINEAR));
  EXPECT_EQ(kv_SamplerWrap(0), uint32_t(GL_REPEAT));
  EXPECT_EQ(kv_SamplerWrap(1), uint32_t(GL_MIRRORED_REPEAT));
  EXPECT_EQ(kv_SamplerWrap(5), uint32_t(GL_CLAMP_TO_EDGE));

  const uint32_t depth[] = {GL_ALWAYS, GL_LESS,    GL_LEQUAL, GL_EQUAL,
                            GL_GEQUAL, GL_GREATER, GL_NEVER};
  for (int code = 0; code < 7; ++code) EXPECT_EQ(kv_DepthCompareFunction(code), depth[code]);
  EXPECT_EQ(kv_DepthCompareFunction(-1), uint32_t(GL_NEVER));

  const kvBlendParams zero = kv_BlendModeParams(0);
  const kvBlendParams seven = kv_BlendModeParams(7);
  EXPECT_EQ(0, std::memcmp(&zero, &seven, sizeof zero));
  EXPECT_EQ(zero.dstColour, uint32_t(GL_ONE_MINUS_SRC_ALPHA));
  EXPECT_EQ(kv_BlendModeParams(1).dstAlpha, uint32_t(GL_ONE));
  EXPECT_EQ(kv_BlendModeParams(2).colourEquation, uint32_t(GL_MIN));
  EXPECT_EQ(kv_BlendModeParams(3).colourEquation, uint32_t(GL_MAX));
}

TEST(StateRecord, SettersCompareBeforeTheyMark) {
  kvRenderContext c{};
  auto* program = reinterpret_cast<kvShader*>(uintptr_t{0x1000});
  kv_RenderContext_SetProgram(&c, program);
  EXPECT_TRUE(c.programDirty && c.texturesDirty && c.samplersDirty);
  c.programDirty = c.texturesDirty = c.samplersDirty = 0;
  kv_RenderContext_SetProgram(&c, program);
  EXPECT_FALSE(c.programDirty || c.texturesDirty || c.samplersDirty);

  kvConstantBlock block{16, nullptr, nullptr};
  kv_RenderContext_SetConstants(&c, &block, 1);
  EXPECT_EQ(c.vertexConstants.size, 16u);
  EXPECT_TRUE(c.programDirty);
  kv_RenderContext_SetConstants(&c, &block, 0);
  EXPECT_EQ(c.pixelConstants.size, 16u);
  c.programDirty = 0;
  kv_RenderContext_SetConstants(&c, &block, 2);  // no stage: nothing stored, still marked
  EXPECT_TRUE(c.programDirty);

  auto* target = reinterpret_cast<kvRenderTarget*>(uintptr_t{0x2000});
  kv_RenderContext_SetRenderTarget(&c, 0, target);
  EXPECT_EQ(c.mainTarget, target);
  EXPECT_TRUE(c.targetsDirty);
  c.targetsDirty = 0;
  kv_RenderContext_SetScissor(&c, 0, 0, 4, 4);
  kv_RenderContext_SetRenderTarget(&c, 0, target);  // the same main target: nothing at all
  EXPECT_EQ(c.scissorRequested, 1);
  EXPECT_FALSE(c.targetsDirty);
  kv_RenderContext_SetRenderTarget(&c, 8, target);  // out of range: ignored
  kv_RenderContext_SetRenderTarget(&c, -1, target);
  EXPECT_FALSE(c.targetsDirty);
  kv_RenderContext_SetRenderTarget(&c, 0, nullptr);
  EXPECT_EQ(c.scissorRequested, 0);

  kvSurface a{}, b{};
  kvSurface* list[9] = {&a, &b, &a, &a, &a, &a, &a, &a, &b};
  kv_RenderContext_SetTextures(&c, 9, list);  // bounded to 8 slots
  EXPECT_EQ(c.textureCount, 8u);
  EXPECT_EQ(a.bound, 1u);
  EXPECT_TRUE(c.texturesDirty && c.samplersDirty);
  c.texturesDirty = c.samplersDirty = 0;
  kv_RenderContext_SetTextures(&c, 8, list);
  EXPECT_FALSE(c.texturesDirty);
  kv_RenderContext_SetTextures(&c, 1, list);
  EXPECT_TRUE(c.texturesDirty);
  EXPECT_EQ(c.textures[1], nullptr);

  kvSamplerState states[2] = {{1, 0, 1, 0}, {2, 0, 0, 0}};
  c.samplersDirty = 0;
  kv_RenderContext_SetSamplers(&c, 0, states);
  EXPECT_FALSE(c.samplersDirty);
  kv_RenderContext_SetSamplers(&c, 2, states);
  EXPECT_TRUE(c.samplersDirty);
  c.samplersDirty = 0;
  kv_RenderContext_SetSamplers(&c, 2, states);
  EXPECT_FALSE(c.samplersDirty);

  kv_RenderContext_SetDepthState(&c, 2, 0);
  EXPECT_EQ(c.depthCompare, uint32_t(GL_LEQUAL));
  EXPECT_EQ(c.depthWrite, 0);
  EXPECT_TRUE(c.depthDirty);
}

TEST(Colour, UnpackRGB) {
  float out[4];
  kv_Color_UnpackRGB(0x00FF8000u, out, 0.5f);
  EXPECT_FLOAT_EQ(out[0], 0.0f);
  EXPECT_FLOAT_EQ(out[1], 128.0f / 255.0f * 0.5f);
  EXPECT_FLOAT_EQ(out[2], 0.5f);
  EXPECT_FLOAT_EQ(out[3], 0.5f);
}

TEST(Shaders, AttributeTypesAndUniformNames) {
  struct Case {
    int code;
    uint32_t type;
    int components;
  } cases[] = {{0, GL_FLOAT, 1},        {1, GL_FLOAT, 2},         {2, GL_FLOAT, 3},
               {3, GL_FLOAT, 4},        {4, GL_UNSIGNED_BYTE, 1}, {5, GL_UNSIGNED_BYTE, 2},
               {6, GL_UNSIGNED_BYTE, 4}};
  for (const Case& c : cases) {
    uint32_t type = 0;
    int components = 0;
    ASSERT_TRUE(kv_VertexAttribute_GetGLType(c.code, &type, &components));
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(components, c.components);
  }
  EXPECT_FALSE(kv_VertexAttribute_GetGLType(7, nullptr, nullptr));

  EXPECT_TRUE(kv_Shader_UniformMatchesMember("VSConstants.WorldView", "VSConstants", "worldview"));
  EXPECT_TRUE(kv_Shader_UniformMatchesMember("PSConstants.lights[0]", "PSConstants", "lights"));
  EXPECT_FALSE(kv_Shader_UniformMatchesMember("pos", "VSConstants", "pos"));  // shorter: no prefix
  EXPECT_FALSE(kv_Shader_UniformMatchesMember("VSConstantsX", "VSConstants", ""));
  EXPECT_FALSE(kv_Shader_UniformMatchesMember("PSConstants.colour", "VSConstants", "colour"));
  EXPECT_STREQ(kv_Shader_UniformTypeName(GL_FLOAT_MAT4), "kvMatrix4F");
  EXPECT_EQ(kv_Shader_UniformTypeName(GL_SAMPLER_2D), nullptr);
}

std::string ReadLog() {
  std::ifstream in("Vosk.log");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(StartUp, VersionRuleNeedsThreePointThree) {
  kv_Log_ResetForTest();
  ASSERT_EQ(kv_Log_Open("Vosk.log"), 1);
  struct Case {
    int major, minor;
    bool ok;
  } cases[] = {{3, 2, false}, {3, 3, true},  {4, 5, true}, {2, 1, false},
               {3, 0, false}, {10, 0, true}, {0, 0, false}};
  for (const Case& c : cases) EXPECT_EQ(kv_GL_CheckVersion(c.major, c.minor), c.ok);
  const std::string log = ReadLog();
  EXPECT_NE(log.find("[OpenGL] Unsupported OpenGL version: 3.2\n"), std::string::npos);
  EXPECT_NE(log.find("[OpenGL] Unsupported OpenGL version: 2.1\n"), std::string::npos);
  EXPECT_EQ(log.find("version: 3.3"), std::string::npos);
  EXPECT_EQ(log.find("version: 4.5"), std::string::npos);
  EXPECT_STREQ(kv_GL_ErrorString(GL_INVALID_OPERATION), "invalid operation");
  EXPECT_STREQ(kv_GL_ErrorString(0), "no error");
  kv_Log_ResetForTest();
}

}  // namespace
