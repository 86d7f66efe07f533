// The 2D layer without GL: aspect fit, the virtual screen, quad records and
// render buckets.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "RenderTestFrame.h"
#include "gfx/kv_RenderTarget.h"
#include "gfx/kv_Surface.h"
#include "render/HardwareOverlay.h"
#include "render/Quad.h"
#include "render/kv_Layouts.h"

namespace {

TEST(AspectFit, LetterboxAndStretch) {
  const struct {
    int stretch;
    uint32_t dstW, dstH, srcW, srcH;
    float sx, sy, ox, oy;
  } cases[] = {
      {0, 1920, 1080, 1440, 1080, 1, 1, 240, 0},          // 4:3 into 16:9: side bars
      {0, 2560, 1080, 1920, 1080, 1, 1, 320, 0},          // 16:9 into 21:9
      {1, 1920, 1080, 1440, 1080, 1.3333334f, 1, 0, 0},   // stretched
      {0, 1440, 1080, 1440, 1080, 1, 1, 0, 0},            // 4:3 into 4:3
      {0, 1440, 1080, 1920, 1080, 0.75f, 0.75f, 0, 135},  // 16:9 into 4:3: letterbox
      {0, 2560, 1080, 1440, 1080, 1, 1, 560, 0},          // 4:3 into 21:9
      {1, 2560, 1080, 1920, 1080, 1.3333334f, 1, 0, 0},   // 16:9 stretched to 21:9
      {0, 1280, 720, 640, 480, 1.5f, 1.5f, 160, 0},       // fractional scale, equal scales
  };
  for (const auto& c : cases) {
    float sx = 0, sy = 0, ox = -1, oy = -1;
    kv_Platform_AspectFit(c.stretch, c.dstW, c.dstH, c.srcW, c.srcH, &sx, &sy, &ox, &oy);
    SCOPED_TRACE(testing::Message() << c.dstW << "x" << c.dstH << " <- " << c.srcW << "x" << c.srcH
                                    << " stretch " << c.stretch);
    EXPECT_FLOAT_EQ(sx, c.sx);
    EXPECT_FLOAT_EQ(sy, c.sy);
    EXPECT_FLOAT_EQ(ox, c.ox);
    EXPECT_FLOAT_EQ(oy, c.oy);
  }
  kv_Platform_AspectFit(0, 10, 10, 5, 5, nullptr, nullptr, nullptr, nullptr);  // outputs optional

  kvRenderTarget target{1920, 1080, kvFormat_8x4, 0, nullptr};
  float sx = 0, ox = 0;
  kv_Platform_AspectFitToTarget(0, &target, 1440, 1080, &sx, nullptr, &ox, nullptr);
  EXPECT_FLOAT_EQ(sx, 1.0f);
  EXPECT_FLOAT_EQ(ox, 240.0f);
}

TEST(VirtualScreen, WidthAndWideFlagFollowTheAspect) {
  const struct {
    float aspect;
    uint32_t width;
    int wide;
  } cases[] = {{16.0f / 9.0f, 1920, 1}, {4.0f / 3.0f, 1440, 0}, {1.6f, 1728, 0},
               {1.75f, 1890, 1},        {NAN, 1440, 0},         {-2.0f, 1440, 0}};
  for (const auto& c : cases) {
    Overlay_SetVirtualScreenAspect(c.aspect);
    EXPECT_EQ(VirtualScreenWidth, c.width) << c.aspect;
    EXPECT_EQ(VirtualScreenHeight, 1080u);
    EXPECT_EQ(VirtualScreenIsWide, c.wide) << c.aspect;
  }
  Overlay_SetVirtualScreenAspect(4.0f / 3.0f);
  EXPECT_FLOAT_EQ(Overlay_VirtualScreenShift(), 240.0f);
  Overlay_SetVirtualScreenAspect(21.0f / 9.0f);
  EXPECT_FLOAT_EQ(Overlay_VirtualScreenShift(), 0.0f);  // wider than 16:9: no negative shift
  Overlay_SetVirtualScreenAspect(4.0f / 3.0f);
}

struct QuadRecords : ::testing::Test {
  RenderTestFrame frame;

  static const QuadVertex* Vertices(const DrawRecord& record) {
    return reinterpret_cast<const QuadVertex*>(record.vertexBuffer->data);
  }
};

TEST_F(QuadRecords, QuadVerticesRunCounterClockwiseWithT0AtTheBottom) {
  DrawRecord record;
  Quad_BuildColorDraw(&record, 0.1f, 0.2f, 0.3f, 1.0f, 0.5f, 0.5f, 0.5f, 0.5f, 1.0f, 0.5f);
  ASSERT_NE(record.vertexBuffer, nullptr);
  // Anchored at its centre: the rectangle is (0, 0.25) .. (1, 0.75).
  const float expected[6][4] = {{0, 0.75f, 0, 0}, {1, 0.75f, 1, 0}, {0, 0.25f, 0, 1},
                                {1, 0.75f, 1, 0}, {1, 0.25f, 1, 1}, {0, 0.25f, 0, 1}};
  const QuadVertex* v = Vertices(record);
  for (int i = 0; i < 6; ++i) {
    EXPECT_FLOAT_EQ(v[i].Position.x, expected[i][0]) << i;
    EXPECT_FLOAT_EQ(v[i].Position.y, expected[i][1]) << i;
    EXPECT_EQ(v[i].Position.z, 0.0f);
    EXPECT_FLOAT_EQ(v[i].TexCoord.x, expected[i][2]) << i;
    EXPECT_FLOAT_EQ(v[i].TexCoord.y, expected[i][3]) << i;
  }
  EXPECT_EQ(kv_VertexBuffer_GetSize(record.vertexBuffer), 120u);
  ASSERT_EQ(record.vertexBuffer->attributes->size(), 2u);
  EXPECT_EQ((*record.vertexBuffer->attributes)[0]->vertexCount, 6);
}

TEST_F(QuadRecords, ColourQuadRecordFields) {
  DrawRecord record;
  record.scissorFlag = 7;  // whatever was there before is overwritten
  Quad_BuildColorDraw(&record, 0.5f, 0, 0, 0.5f, 0, 0, 0, 0, 1, 1);
  EXPECT_EQ(record.primitiveKind, 4);
  EXPECT_EQ(record.program, ColorQuadProgram);
  EXPECT_EQ(record.vertexConstants.size, 0u);
  EXPECT_EQ(record.vertexConstants.data, nullptr);
  EXPECT_EQ(record.pixelConstants.layout, kv_Layout_GetDescriptor<ColorQuadConstants>());
  const auto* c = static_cast<const ColorQuadConstants*>(record.pixelConstants.data);
  ASSERT_NE(c, nullptr);
  EXPECT_FLOAT_EQ(c->FillColor.x, 0.5f);
  EXPECT_FLOAT_EQ(c->FillColor.w, 0.5f);
  EXPECT_EQ(record.depthCompare, 0);
  EXPECT_EQ(record.depthWrite, 0);
  EXPECT_EQ(record.blendEnabled, 1);
  EXPECT_EQ(record.blendMode, 0);
  EXPECT_EQ(record.textureCount, 0);
  EXPECT_EQ(record.samplerCount, 0);
  EXPECT_EQ(record.count, -2);
  EXPECT_EQ(record.first, 0);
  EXPECT_EQ(record.indexBuffer, nullptr);
  EXPECT_EQ(record.scissorFlag, 0);
}

TEST_F(QuadRecords, TexturedQuadRecordFieldsAndConstants) {
  kvSurface surface{};
  surface.width = 64;
  surface.height = 32;
  DrawRecord record;
  Quad_BuildTexturedDraw(&record, &surface, 0, 0, 0, 0, 1, 1, 0, 0, 1, 1, 1.5f, -3.0f);
  EXPECT_EQ(record.program, TexturedQuadProgram);
  EXPECT_EQ(record.vertexConstants.data, record.pixelConstants.data);  // one block, both stages
  EXPECT_EQ(record.pixelConstants.layout, kv_Layout_GetDescriptor<QuadConstants>());
  const auto* c = static_cast<const QuadConstants*>(record.pixelConstants.data);
  ASSERT_NE(c, nullptr);
  EXPECT_FLOAT_EQ(c->MultiplyColor.x, 1.0f);  // clamped to 0..1
  EXPECT_FLOAT_EQ(c->MultiplyColor.w, 1.0f);
  EXPECT_FLOAT_EQ(c->TexelSizeDesaturateGamma.x, 1.0f / 64);
  EXPECT_FLOAT_EQ(c->TexelSizeDesaturateGamma.y, 1.0f / 32);
  EXPECT_FLOAT_EQ(c->TexelSizeDesaturateGamma.z, 0.0f);
  EXPECT_FLOAT_EQ(c->TexelSizeDesaturateGamma.w, 1.0f);  // the render module's start gamma
  EXPECT_EQ(record.textureCount, 1);
  EXPECT_EQ(record.textures[0], &surface);
  EXPECT_EQ(record.textures[1], nullptr);
  EXPECT_EQ(record.samplerCount, 1);
  EXPECT_EQ(record.samplerStates[0].wrap, 2);
  EXPECT_EQ(record.samplerStates[0].filter, 0);
  EXPECT_EQ(record.samplerStates[0].mipFilter, 0);
  EXPECT_EQ(record.blendEnabled, 1);
}

TEST_F(QuadRecords, TargetPixelsAndRowOrder) {
  kvSurface memory{};
  memory.width = 100;
  memory.height = 50;
  kvRenderTarget target{200, 100, kvFormat_8x4, 0, nullptr};
  DrawRecord record;
  // The whole surface over the whole target.
  Quad_BuildTexturedDrawForTarget(&record, &memory, 0, 0, 0, 0, 200, 100, 0, 0, 100, 50, &target, 1,
                                  0);
  const QuadVertex* v = Vertices(record);
  EXPECT_FLOAT_EQ(v[0].Position.x, -1.0f);  // bottom-left
  EXPECT_FLOAT_EQ(v[0].Position.y, -1.0f);
  EXPECT_FLOAT_EQ(v[4].Position.x, 1.0f);  // top-right
  EXPECT_FLOAT_EQ(v[4].Position.y, 1.0f);
  EXPECT_FLOAT_EQ(v[0].TexCoord.y, 1.0f);  // memory rows run top-down: row 0 on top
  EXPECT_FLOAT_EQ(v[4].TexCoord.y, 0.0f);

  kvRenderTarget owner{100, 50, kvFormat_8x4, 0, nullptr};
  kvSurface colourBuffer = memory;
  colourBuffer.owner = &owner;  // a render target's surface: rows bottom-up
  Quad_BuildTexturedDrawForTarget(&record, &colourBuffer, 0, 0, 0, 0, 200, 100, 0, 0, 100, 50,
                                  &target, 1, 0);
  v = Vertices(record);
  EXPECT_FLOAT_EQ(v[0].TexCoord.y, 0.0f);
  EXPECT_FLOAT_EQ(v[4].TexCoord.y, 1.0f);

  Quad_BuildTexturedDrawForTarget(&record, &memory, 0, 0, 0, 0, 1, 1, 0, 0, 1, 1, nullptr, 1, 0);
  EXPECT_EQ(record.program, nullptr);  // no target: an empty record
  EXPECT_EQ(record.vertexBuffer, nullptr);
}

// Records the bucket passes to the callback; adds one more record on the first call.
struct DrawLog {
  RenderBucket* bucket;
  std::vector<int> seen;
};
void LogAndAdd(DrawRecord* record, void* user) {
  auto* log = static_cast<DrawLog*>(user);
  log->seen.push_back(record->first);
  if (log->seen.size() == 1) {
    DrawRecord extra{};
    extra.first = 99;
    RenderBucket_Add(log->bucket, &extra);
  }
  record->count = 5;  // changed in place
}

TEST(RenderBuckets, GrowByHalfAndDrawOnlyWhatWasThere) {
  RenderBucket* bucket = RenderBucket_Create("test");
  ASSERT_NE(bucket, nullptr);
  EXPECT_STREQ(bucket->name, "test");
  std::vector<uint32_t> capacities;
  for (int i = 0; i < 40; ++i) {
    DrawRecord record{};
    record.first = i;
    RenderBucket_Add(bucket, &record);
    if (capacities.empty() || capacities.back() != bucket->capacity) {
      capacities.push_back(bucket->capacity);
    }
  }
  EXPECT_EQ(capacities, (std::vector<uint32_t>{16, 24, 36, 54}));
  ASSERT_EQ(bucket->count, 40u);

  DrawLog log{bucket, {}};
  RenderBucket_Draw(bucket, 0, LogAndAdd, &log);  // programs are null: nothing is submitted
  ASSERT_EQ(log.seen.size(), 40u);                // the record added during the pass is not drawn
  EXPECT_EQ(log.seen[39], 39);
  EXPECT_EQ(bucket->count, 41u);
  EXPECT_EQ(bucket->records[0].count, 5);  // kept without clear
  EXPECT_EQ(bucket->records[40].first, 99);

  const uint32_t capacity = bucket->capacity;
  RenderBucket_Draw(bucket, 1, nullptr, nullptr);
  EXPECT_EQ(bucket->count, 0u);
  EXPECT_EQ(bucket->capacity, capacity);           // storage kept for the next frame
  RenderBucket_Draw(bucket, 1, nullptr, nullptr);  // empty: nothing happens
  RenderBucket_Reset(bucket);
  EXPECT_EQ(bucket->count, 0u);
  std::free(bucket->records);
  std::free(bucket);
}

}  // namespace
