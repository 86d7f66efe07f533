// Vertex and constant-block layouts: the offsets and sizes are fixed at
// compile time; these check the descriptors built from them and the vertex
// attributes a layout gives a buffer.
#include "render/kv_Layouts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "RenderTestFrame.h"
#include "gfx/kv_Buffer.h"

namespace {

TEST(kvLayouts, DescriptorIsOneStaticInstance) {
  const LayoutDescriptor* first = kv_Layout_GetDescriptor<TextConstants>();
  const LayoutDescriptor* second = kv_Layout_GetDescriptor<TextConstants>();
  EXPECT_EQ(first, second);
  EXPECT_EQ(first->size, 56);
  EXPECT_STREQ(first->typeName, "TextConstants");
  EXPECT_STREQ(kv_Layout_GetName<TextConstants>(), "TextConstants");
  ASSERT_EQ(first->memberCount, 5);
  EXPECT_STREQ(first->members[2].name, "Origin");
  EXPECT_STREQ(first->members[2].typeName, "kvVector2F");
  EXPECT_EQ(first->members[2].offset, 32);
}

TEST(kvLayouts, SameMembersButSeparateLayouts) {
  const LayoutDescriptor* quad = kv_Layout_GetDescriptor<QuadConstants>();
  const LayoutDescriptor* textured = kv_Layout_GetDescriptor<TexturedQuadConstants>();
  EXPECT_NE(quad, textured);
  EXPECT_STREQ(quad->typeName, "QuadConstants");
  EXPECT_STREQ(textured->typeName, "TexturedQuadConstants");
  ASSERT_EQ(quad->memberCount, textured->memberCount);
  for (int i = 0; i < quad->memberCount; ++i) {
    EXPECT_STREQ(quad->members[i].name, textured->members[i].name);
    EXPECT_EQ(quad->members[i].offset, textured->members[i].offset);
  }
  EXPECT_STREQ(quad->members[2].typeName, "unsigned");
}

TEST(kvLayouts, MembersAreInOffsetOrderAndInsideTheRecord) {
  const LayoutDescriptor* all[] = {
      kv_Layout_GetDescriptor<QuadVertex>(),
      kv_Layout_GetDescriptor<VideoQuadVertex>(),
      kv_Layout_GetDescriptor<TextVertex>(),
      kv_Layout_GetDescriptor<TexturedQuadVertex>(),
      kv_Layout_GetDescriptor<TexturedVertex>(),
      kv_Layout_GetDescriptor<ShadowVertex>(),
      kv_Layout_GetDescriptor<Vector3Vertex>(),
      kv_Layout_GetDescriptor<ColorQuadConstants>(),
      kv_Layout_GetDescriptor<QuadConstants>(),
      kv_Layout_GetDescriptor<TexturedQuadConstants>(),
      kv_Layout_GetDescriptor<TextConstants>(),
      kv_Layout_GetDescriptor<LitMeshVertexConstants>(),
      kv_Layout_GetDescriptor<ForwardLitMeshVertexConstants>(),
      kv_Layout_GetDescriptor<LitMeshFragmentConstants>(),
      kv_Layout_GetDescriptor<ShadowMeshConstants>(),
      kv_Layout_GetDescriptor<ShadowConstants>(),
      kv_Layout_GetDescriptor<ZShapeVertexConstants>(),
      kv_Layout_GetDescriptor<SmoothLightingResolveConstants>(),
      kv_Layout_GetDescriptor<DeferredResolveConstants>(),
      kv_Layout_GetDescriptor<DeferredLightConstants>(),
      kv_Layout_GetDescriptor<DeferredDirectConstants>(),
      kv_Layout_GetDescriptor<DeferredOmniConstants>(),
      kv_Layout_GetDescriptor<DeferredSpotConstants>(),
      kv_Layout_GetDescriptor<DeferredPostProcessConstants>(),
      kv_Layout_GetDescriptor<CharacterLightVertexConstants>(),
      kv_Layout_GetDescriptor<CharacterLightFragmentConstants>(),
      kv_Layout_GetDescriptor<CharacterAOVertexConstants>(),
      kv_Layout_GetDescriptor<CharacterAOFragmentConstants>(),
      kv_Layout_GetDescriptor<CharacterLightResolveConstants>(),
      kv_Layout_GetDescriptor<CharacterForwardLightResolveConstants>(),
  };
  int largest = 0;
  for (const LayoutDescriptor* d : all) {
    SCOPED_TRACE(d->typeName);
    int end = 0;
    for (int i = 0; i < d->memberCount; ++i) {
      // Members follow each other without gaps: the records are packed as the blocks are.
      EXPECT_EQ(d->members[i].offset, end) << d->members[i].name;
      end = d->members[i].offset + d->members[i].size;
    }
    EXPECT_EQ(end, d->size);
    if (d->memberCount > largest) largest = d->memberCount;
  }
  EXPECT_EQ(largest, 14);
}

TEST(kvLayouts, TheDeferredEdgeCases) {
  const LayoutDescriptor* post = kv_Layout_GetDescriptor<DeferredPostProcessConstants>();
  EXPECT_EQ(post->size, 60);
  EXPECT_EQ(post->members[3].offset, 48);
  EXPECT_EQ(post->members[5].offset, 56);
  EXPECT_STREQ(post->members[5].typeName, "float");

  const LayoutDescriptor* lit = kv_Layout_GetDescriptor<LitMeshFragmentConstants>();
  const LayoutDescriptor* character = kv_Layout_GetDescriptor<CharacterLightFragmentConstants>();
  const LayoutDescriptor* forward =
      kv_Layout_GetDescriptor<CharacterForwardLightResolveConstants>();
  EXPECT_STREQ(lit->members[lit->memberCount - 1].name, "Shadow_Bias_Softness_Quality_Enabled");
  EXPECT_STREQ(forward->members[forward->memberCount - 1].name,
               "Shadow_Bias_Softness_Quality_Enabled");
  EXPECT_EQ(forward->members[forward->memberCount - 1].offset, 352);
  EXPECT_STREQ(character->members[7].name, "Shadow_Bias_Softness_Quality");
  EXPECT_EQ(character->members[7].offset, 208);
  EXPECT_EQ(character->size, 304);

  const LayoutDescriptor* lights = kv_Layout_GetDescriptor<DeferredLightConstants>();
  EXPECT_STREQ(lights->members[0].typeName, "kvGlobalLightSettings");
  EXPECT_STREQ(lights->members[1].typeName, "kvVector4F[MaxLights]");
  EXPECT_EQ(lights->members[3].offset, 528);
}

TEST(kvLayouts, BindLayoutGivesOneAttributePerMember) {
  RenderTestFrame frame;
  // 100 bytes for a 32-byte stride: three vertices, four bytes left over.
  kvVertexBuffer* buffer = kv_VertexBuffer_AllocateTransient(
      kv_RenderContext_Get(), 100, kv_Layout_GetDescriptor<TexturedVertex>());
  ASSERT_NE(buffer, nullptr);
  kv_VertexBuffer_BindLayout<TexturedVertex>(buffer);
  ASSERT_EQ(buffer->attributes->size(), 3u);
  const struct {
    const char* name;
    int format, offset;
  } expected[] = {{"Position", 2, 0}, {"Normal", 2, 12}, {"TexCoord", 1, 24}};
  for (int i = 0; i < 3; ++i) {
    const kvVertexAttribute* a = (*buffer->attributes)[i];
    EXPECT_STREQ(a->memberName, expected[i].name);
    EXPECT_EQ(a->typeCode, expected[i].format);
    EXPECT_EQ(a->memberOffset, expected[i].offset);
    EXPECT_EQ(a->data, buffer->data + expected[i].offset);
    EXPECT_EQ(a->stride, 32);
    EXPECT_EQ(a->vertexCount, 3);
  }
}

}  // namespace
