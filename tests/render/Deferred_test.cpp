// The deferred back end's pure operations: the deferred size, pixel
// conversion, the bitmap bucket choice, light-volume classification, mesh
// vertex gathering, the shadow-map need and the small helpers.
#include "render/Deferred.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "FakeDeferredScene.h"
#include "gfx/kv_RenderContext.h"
#include "platform/kv_Platform.h"
#include "render/HardwareOverlay.h"

namespace {

TEST(DeferredSize, FollowsTheDisplayAndTheResolutionScaling) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const struct {
    uint32_t w, h;
    float q;
    int width, height;
  } cases[] = {
      {640, 480, 2.0f, 640, 480},     {320, 200, 2.0f, 640, 480},
      {0, 0, 2.0f, 640, 480},         {800, 600, 2.0f, 800, 600},
      {1280, 1024, 2.0f, 1280, 960},  {1920, 1080, 2.0f, 1440, 1080},
      {1920, 1080, 0.0f, 720, 540},   {1920, 1080, 4.0f, 2160, 1620},
      {1000, 1000, 2.0f, 1000, 750},  {700, 480, 2.0f, 640, 480},
      {1920, 1080, nan, 640, 480},    {1920, 1080, 1e30f, 16384, 12288},
      {1920, 1080, -1e30f, 640, 480},
  };
  for (const auto& c : cases) {
    int width = 0, height = 0;
    Deferred_ComputeSize(c.w, c.h, c.q, &width, &height);
    EXPECT_EQ(width, c.width) << c.w << "x" << c.h << " q " << c.q;
    EXPECT_EQ(height, c.height) << c.w << "x" << c.h << " q " << c.q;
  }
}

TEST(DeferredTargets, TableNamesElevenTargetsInCreationOrder) {
  const DeferredTarget* order[] = {&DistanceTarget,       &NormalTarget,     &AlbedoTarget,
                                   &LightTarget,          &SceneDepthTarget, &ResolveTarget,
                                   &VirtualDepthTarget,   &ImmediateTarget,  &FinalTarget,
                                   &ShadowMapDepthTarget, &ShadowMapTarget};
  ASSERT_EQ(Deferred_TargetCount, 11);
  for (int i = 0; i < Deferred_TargetCount; ++i) {
    EXPECT_EQ(Deferred_TargetSpecs[i].handle, order[i]) << i;
    EXPECT_EQ(Deferred_TargetSpecs[i].shadowMapSized, i >= 9 ? 1 : 0) << i;
  }
  EXPECT_EQ(Deferred_TargetSpecs[0].format, 6u);    // "Fx1"
  EXPECT_EQ(Deferred_TargetSpecs[3].format, 12u);   // "F16x4"
  EXPECT_EQ(Deferred_TargetSpecs[4].format, 14u);   // depth
  EXPECT_EQ(Deferred_TargetSpecs[6].format, 10u);   // "F16x1"
  EXPECT_EQ(Deferred_TargetSpecs[10].format, 11u);  // "F16x2"
}

// Pixel conversion ------------------------------------------------------------------

struct Converted {
  int result;
  std::vector<uint8_t> bytes;
};

// Converts into a destination of rowLength x rows pixels of bpp bytes, first
// filled with 0xCD.
Converted Convert(const void* pixels, int width, int height, int format, const uint8_t* palette,
                  int useKey, uint32_t key, int copy565, int rowLength, int rows, int bpp) {
  Converted c;
  c.bytes.assign(static_cast<size_t>(rowLength) * rows * bpp, 0xCD);
  c.result = Deferred_ConvertPixels(c.bytes.data(), rowLength, rows, bpp, pixels, width, height,
                                    format, palette, useKey, key, copy565);
  return c;
}

TEST(DeferredPixels, PaletteIndicesBecomeBlueGreenRedAlpha) {
  uint8_t palette[768] = {};
  const uint8_t red[3] = {200, 10, 20}, blue[3] = {1, 2, 250};
  std::memcpy(palette + 3 * 1, red, 3);
  std::memcpy(palette + 3 * 255, blue, 3);
  const uint8_t pixels[] = {1, 255, 7, 1};  // 2 x 2; 7 is the key
  // A destination row longer than the source: each row lands at its own start.
  const Converted c = Convert(pixels, 2, 2, 8, palette, 1, 7, 0, 3, 2, 4);
  ASSERT_EQ(c.result, 1);
  const uint8_t expected[] = {20, 10, 200, 255, 250, 2,  1,   255, 0xCD, 0xCD, 0xCD, 0xCD,
                              0,  0,  0,   0,   20,  10, 200, 255, 0xCD, 0xCD, 0xCD, 0xCD};
  EXPECT_EQ(c.bytes, std::vector<uint8_t>(expected, expected + sizeof expected));
  // Without the key flag the key index converts like any other.
  const Converted unkeyed = Convert(pixels, 2, 2, 8, palette, 0, 7, 0, 2, 2, 4);
  EXPECT_EQ(unkeyed.bytes[8 + 3], 255);
}

TEST(DeferredPixels, FiveSixFiveCopiedOrConverted) {
  const uint16_t pixels[] = {0xF800, 0x07E0, 0x001F, 0x1234};
  // Copied: the rows unchanged, two bytes a pixel.
  Converted c = Convert(pixels, 2, 2, Deferred_Source565, nullptr, 1, 0xF800, 1, 2, 2, 2);
  ASSERT_EQ(c.result, 1);
  EXPECT_EQ(std::memcmp(c.bytes.data(), pixels, sizeof pixels), 0);
  // Converted: blue, green, red, alpha; the key (red) becomes transparent black.
  c = Convert(pixels, 2, 2, Deferred_Source565, nullptr, 1, 0xF800, 0, 2, 2, 4);
  ASSERT_EQ(c.result, 1);
  const uint8_t expected[] = {0, 0, 0, 0,      // keyed red
                              0, 252, 0, 255,  // green
                              248, 0, 0, 255,  // blue
                              // 0x1234: red 0x02, green 0x11, blue 0x14
                              0x14 << 3, 0x11 << 2, 0x02 << 3, 255};
  EXPECT_EQ(c.bytes, std::vector<uint8_t>(expected, expected + sizeof expected));
  // A palette beside 16-bit pixels is not used: they stay 5-6-5 pixels.
  uint8_t palette[768] = {};
  const Converted withPalette =
      Convert(pixels, 2, 2, Deferred_Source565, palette, 1, 0xF800, 0, 2, 2, 4);
  EXPECT_EQ(withPalette.bytes, c.bytes);
}

TEST(DeferredPixels, DepthValuesBecomeFloats) {
  const uint16_t pixels[] = {0, 65535, 32768, 0xF0F0};
  const Converted c = Convert(pixels, 4, 1, Deferred_SourceDepth, nullptr, 1, 0xF0F0, 0, 4, 1, 4);
  ASSERT_EQ(c.result, 1);
  float depth[4];
  std::memcpy(depth, c.bytes.data(), sizeof depth);
  EXPECT_EQ(depth[0], 0.0f);
  EXPECT_EQ(depth[1], 1.0f);
  EXPECT_EQ(depth[2], 32768.0f / 65535.0f);
  EXPECT_EQ(depth[3], -9999.0f);
}

TEST(DeferredPixels, NothingWrittenWhenTheSourceDoesNotFit) {
  const uint8_t pixels[16] = {};
  uint8_t palette[768] = {};
  const struct {
    const char* what;
    int width, height, format;
    const uint8_t* palette;
    int copy565, rowLength, rows, bpp;
  } cases[] = {
      {"no palette for 8-bit indices", 2, 2, 8, nullptr, 0, 2, 2, 4},
      {"wider than the surface", 3, 2, 8, palette, 0, 2, 2, 4},
      {"taller than the surface", 2, 3, 8, palette, 0, 2, 2, 4},
      {"2-byte surface for converted pixels", 2, 2, Deferred_Source565, nullptr, 0, 2, 2, 2},
      {"4-byte surface for copied pixels", 2, 2, Deferred_Source565, nullptr, 1, 2, 2, 4},
      {"1-byte surface for depth", 2, 2, Deferred_SourceDepth, nullptr, 0, 2, 2, 1},
      {"empty source", 0, 2, 8, palette, 0, 2, 2, 4},
  };
  for (const auto& k : cases) {
    const Converted c = Convert(pixels, k.width, k.height, k.format, k.palette, 0, 0, k.copy565,
                                k.rowLength, k.rows, k.bpp);
    EXPECT_EQ(c.result, 0) << k.what;
    EXPECT_EQ(c.bytes, std::vector<uint8_t>(c.bytes.size(), 0xCD)) << k.what;
  }
}

TEST(DeferredPixels, UploadWithoutSurfaceDoesNothing) {
  const uint8_t pixels[4] = {};
  uint8_t palette[768] = {};
  Deferred_UploadPixels(nullptr, pixels, 2, 2, 8, palette, 0, 0, 0);  // no crash, no write
}

// Buckets, volumes, vertices -------------------------------------------------------------

TEST(DeferredBuckets, BitmapsBeforeTheFirstMeshAreUnderlays) {
  ASSERT_NE(Deferred_CreateBuckets(), nullptr);
  RenderBucket* const buckets[] = {Deferred_ShadowBucket,         Deferred_AlbedoBucket,
                                   Deferred_SmoothLightingBucket, Deferred_BitmapUnderlaysBucket,
                                   Deferred_BitmapOverlaysBucket, Deferred_VirtualDepthBucket,
                                   Deferred_ShadowMeshesBucket};
  const char* const names[] = {"shadow",           "albedo",          "smooth lighting",
                               "bitmap underlays", "bitmap overlays", "virtual depth",
                               "shadow meshes"};
  for (int i = 0; i < 7; ++i) {
    ASSERT_NE(buckets[i], nullptr);
    EXPECT_STREQ(buckets[i]->name, names[i]);
    RenderBucket_Reset(buckets[i]);
  }
  EXPECT_EQ(Deferred_CreateBuckets(), Deferred_ShadowMeshesBucket);  // kept, not made again

  DrawRecord background{};
  background.count = 1;
  Deferred_AddBitmapRecord(&background);
  EXPECT_EQ(Deferred_BitmapUnderlaysBucket->count, 1u);
  EXPECT_EQ(Deferred_BitmapOverlaysBucket->count, 0u);
  DrawRecord mesh{};
  RenderBucket_Add(Deferred_AlbedoBucket, &mesh);
  DrawRecord overlay{};
  overlay.count = 2;
  Deferred_AddBitmapRecord(&overlay);
  EXPECT_EQ(Deferred_BitmapUnderlaysBucket->count, 1u);
  ASSERT_EQ(Deferred_BitmapOverlaysBucket->count, 1u);
  EXPECT_EQ(Deferred_BitmapOverlaysBucket->records[0].count, 2);
  for (RenderBucket* bucket : buckets) RenderBucket_Reset(bucket);
}

kvMatrix4F Matrix(float yx, float yy, float yz, float ty) {
  kvMatrix4F m = {};
  m[0] = {1.0f, yx, 0.0f, 0.0f};
  m[1] = {0.0f, yy, 0.0f, 0.0f};
  m[2] = {0.0f, yz, 1.0f, 0.0f};
  m[3] = {0.0f, ty, 0.0f, 1.0f};
  return m;
}

TEST(DeferredVolumes, ClassifiedAgainstThePlaneYZero) {
  const struct {
    const char* what;
    kvMatrix4F m;
    int expected;
  } cases[] = {
      {"moved wholly to y > 0", Matrix(0, 1, 0, 5), 1},
      {"straddling y = 0", Matrix(0, 1, 0, 0), 0},
      {"moved wholly to y < 0", Matrix(0, 1, 0, -5), -1},
      {"touching y = 0 from above", Matrix(0, 1, 0, 1), 0},  // the lower face is not above 0
      {"flipped and moved up", Matrix(0, -1, 0, 2), 1},
      {"sheared across the plane", Matrix(3, 1, 0, 2), 0},
      {"flattened onto the plane", Matrix(0, 0, 0, 0), -1},
  };
  for (const auto& c : cases) EXPECT_EQ(Deferred_ClassifyVolume(c.m), c.expected) << c.what;
}

// Camera-space points (x right, y depth, z up) to the pixels of a 640 x 480
// target at a focal factor of 320: a point shows at ndc (x / y, 4/3 z / y);
// the rectangle grows by a pixel on every side and stays on the target.
TEST(DeferredRects, ProjectedPointsCoverTheirPixels) {
  const float inf = std::numeric_limits<float>::infinity();
  const struct {
    std::vector<kvVector3F> points;
    DeferredRect rect;
  } cases[] = {
      {{{0.0f, 2.0f, 0.0f}}, {319, 239, 321, 241}},
      {{{-1.0f, 4.0f, -0.75f}, {1.0f, 4.0f, 0.75f}}, {239, 179, 401, 301}},
      {{{-5.0f, 1.0f, 0.0f}, {0.5f, 1.0f, 0.0f}}, {0, 239, 481, 241}},  // cut at the edge
      {{{0.0f, 2.0f, 0.0f}, {0.0f, -1.0f, 0.0f}}, {0, 0, 640, 480}},    // behind: everything
      {{{0.0f, 0.0f, 0.0f}}, {0, 0, 640, 480}},                         // at the eye
      {{{inf, 2.0f, 0.0f}}, {0, 0, 640, 480}},
      {{}, {0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    const DeferredRect r = Deferred_ProjectRect(c.points.data(), static_cast<int>(c.points.size()),
                                                320.0f, 640, 480);
    EXPECT_EQ(r.x0, c.rect.x0);
    EXPECT_EQ(r.y0, c.rect.y0);
    EXPECT_EQ(r.x1, c.rect.x1);
    EXPECT_EQ(r.y1, c.rect.y1);
  }
  // Off the target on one side: nothing to draw.
  const kvVector3F right[] = {{3.0f, 1.0f, 0.0f}, {4.0f, 1.0f, 0.5f}};
  EXPECT_TRUE(DeferredRect_IsEmpty(Deferred_ProjectRect(right, 2, 320.0f, 640, 480)));
}

// Rectangles added to a list come out never overlapping (an additive pass
// drawn once per rectangle adds to a pixel at most once) and still covering
// every pixel added; rectangles that only touch stay apart.
TEST(DeferredRects, ListKeepsRectanglesApartAndCoversThem) {
  const auto overlap = [](const DeferredRect& a, const DeferredRect& b) {
    return !DeferredRect_IsEmpty(DeferredRect_Intersect(a, b));
  };
  const auto covers = [](const DeferredRectList& list, const DeferredRect& r) {
    // Every pixel of r lies in one of the list's rectangles.
    for (int y = r.y0; y < r.y1; ++y) {
      for (int x = r.x0; x < r.x1; ++x) {
        bool in = false;
        for (int i = 0; i < list.count && !in; ++i) {
          const DeferredRect& c = list.rects[i];
          in = x >= c.x0 && x < c.x1 && y >= c.y0 && y < c.y1;
        }
        if (!in) return false;
      }
    }
    return true;
  };
  const struct {
    const char* what;
    std::vector<DeferredRect> added;
    int count;
  } cases[] = {
      {"apart", {{0, 0, 10, 10}, {20, 0, 30, 10}}, 2},
      {"touching edges", {{0, 0, 10, 10}, {10, 0, 20, 10}, {0, 10, 10, 20}}, 3},
      {"overlapping", {{0, 0, 10, 10}, {5, 5, 15, 15}}, 1},
      {"one joining two", {{0, 0, 10, 10}, {20, 0, 30, 10}, {8, 2, 22, 4}}, 1},
      // A and B merge into a rectangle that reaches C, added earlier.
      {"merged reaching another", {{12, 8, 20, 20}, {0, 0, 10, 10}, {5, 0, 15, 5}}, 1},
      {"empty ones", {{0, 0, 0, 10}, {5, 5, 5, 5}}, 0},
      {"inside another", {{0, 0, 30, 30}, {5, 5, 10, 10}}, 1},
  };
  for (const auto& c : cases) {
    DeferredRectList list;
    for (const DeferredRect& r : c.added) DeferredRectList_Add(&list, r);
    EXPECT_EQ(list.count, c.count) << c.what;
    for (const DeferredRect& r : c.added) EXPECT_TRUE(covers(list, r)) << c.what;
    for (int i = 0; i < list.count; ++i) {
      for (int j = i + 1; j < list.count; ++j)
        EXPECT_FALSE(overlap(list.rects[i], list.rects[j])) << c.what;
    }
  }
  // Past the capacity rectangles merge: none is lost and none overlap.
  DeferredRectList list;
  std::vector<DeferredRect> added;
  for (int i = 0; i < 3 * DeferredRectList::kCapacity; ++i) {
    added.push_back({(i % 12) * 4, (i / 12) * 4, (i % 12) * 4 + 2, (i / 12) * 4 + 2});
    DeferredRectList_Add(&list, added.back());
  }
  EXPECT_LE(list.count, DeferredRectList::kCapacity);
  for (const DeferredRect& r : added) EXPECT_TRUE(covers(list, r));
  for (int i = 0; i < list.count; ++i) {
    for (int j = i + 1; j < list.count; ++j) EXPECT_FALSE(overlap(list.rects[i], list.rects[j]));
  }
}

TEST(DeferredMeshVertices, CornersGatherPositionNormalAndScaledTexCoord) {
  const float positions[] = {0, 0, 0, 1, 2, 3, 4, 5, 6};
  const float normals[] = {0, 0, 1, 0, 1, 0, 1, 0, 0};
  const float texture[] = {8, 16, 32, 64};
  const uint16_t textureIndices[] = {1, 0, 1, 9};
  const uint16_t vertexIndices[] = {2, 1, 7, 0};
  const MeshVertexSource source = {positions, normals, texture, textureIndices, 0.5f, 0.25f, 3, 2};
  TexturedVertex out[4];
  std::memset(out, 0x7F, sizeof out);
  MeshVertexSource_Gather(&source, out, 4, vertexIndices);
  EXPECT_EQ(out[0].Position.x, 4.0f);
  EXPECT_EQ(out[0].Position.z, 6.0f);
  EXPECT_EQ(out[0].Normal.x, 1.0f);
  EXPECT_EQ(out[0].TexCoord.x, 16.0f);  // 32 x 0.5
  EXPECT_EQ(out[0].TexCoord.y, 16.0f);  // 64 x 0.25
  EXPECT_EQ(out[1].Position.y, 2.0f);
  EXPECT_EQ(out[1].Normal.y, 1.0f);
  EXPECT_EQ(out[1].TexCoord.x, 4.0f);
  EXPECT_EQ(out[1].TexCoord.y, 4.0f);
  // Vertex index 7 is past the three vertices: zeros, the texture vertex still read.
  EXPECT_EQ(out[2].Position.x, 0.0f);
  EXPECT_EQ(out[2].Normal.z, 0.0f);
  EXPECT_EQ(out[2].TexCoord.x, 16.0f);
  // Texture vertex 9 is past the two texture vertices: zero coordinates.
  EXPECT_EQ(out[3].Normal.z, 1.0f);
  EXPECT_EQ(out[3].TexCoord.x, 0.0f);
  EXPECT_EQ(out[3].TexCoord.y, 0.0f);

  TexturedVertex one;
  MeshVertexSource_GatherOne(&source, &one, 1, vertexIndices);
  EXPECT_EQ(std::memcmp(&one, &out[1], sizeof one), 0);
}

TEST(DeferredShadowMap, NeededForMeshesCastersOrARecentCameraChange) {
  FakeDeferredScene scene;
  ASSERT_NE(Deferred_CreateBuckets(), nullptr);
  RenderBucket_Reset(Deferred_ShadowMeshesBucket);
  const uint32_t frames = ShadowMapFrameCount;
  ShadowMapFrameCount = 2;
  EXPECT_FALSE(Deferred_NeedsShadowMap());
  ShadowMapFrameCount = 1;
  EXPECT_TRUE(Deferred_NeedsShadowMap());
  ShadowMapFrameCount = 30;
  scene.shadowCasters = 1;
  EXPECT_TRUE(Deferred_NeedsShadowMap());
  scene.shadowCasters = 0;
  DrawRecord mesh{};
  RenderBucket_Add(Deferred_ShadowMeshesBucket, &mesh);
  EXPECT_TRUE(Deferred_NeedsShadowMap());
  RenderBucket_Reset(Deferred_ShadowMeshesBucket);
  ShadowMapFrameCount = frames;
}

// Helpers --------------------------------------------------------------------------------

TEST(DeferredHelpers, Format256KeepsToItsCount) {
  char buffer[256];
  EXPECT_EQ(Deferred_Format256(buffer, 255, "%s.%i%s", "rock.mat", 3, ".mcb"), 14);
  EXPECT_STREQ(buffer, "rock.mat.3.mcb");
  EXPECT_EQ(Deferred_Format256(buffer, 4, "%s", "abcdefgh"), 4);
  EXPECT_STREQ(buffer, "abcd");
  EXPECT_EQ(Deferred_Format256(buffer, 0, "%s", "abc"), 0);
  EXPECT_STREQ(buffer, "");
  const std::string longText(400, 'x');
  EXPECT_EQ(Deferred_Format256(buffer, 1000, "%s", longText.c_str()), 255);
  EXPECT_EQ(std::strlen(buffer), 255u);
}

TEST(DeferredHelpers, QuadVerticesAreZeroed) {
  TexturedQuadVertex* vertices = QuadVertices_Alloc(6);
  ASSERT_NE(vertices, nullptr);
  const std::vector<uint8_t> zero(6 * sizeof(TexturedQuadVertex), 0);
  EXPECT_EQ(std::memcmp(vertices, zero.data(), zero.size()), 0);
  kv_Platform_Free(vertices);
  EXPECT_EQ(QuadVertices_Alloc(0), nullptr);
  EXPECT_EQ(QuadVertices_Alloc(-3), nullptr);
}

TEST(DeferredHelpers, ReplacementEntriesStartEmpty) {
  ReplacementTexture* entry = ReplacementTexture_New();
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->surface, nullptr);
  EXPECT_EQ(entry->key, 0u);
  entry->key = 0x1234;
  ReplacementTexture_Release(entry);  // no surface: only the key clears
  EXPECT_EQ(entry->key, 0u);
  ReplacementTexture_Delete(entry);
  ReplacementTexture_Delete(nullptr);
  SubmeshEntry_Delete(nullptr);
  TextureCacheEntry_Delete(nullptr);
}

}  // namespace
