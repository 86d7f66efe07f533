// 3D and 2D primitives on an in-memory canvas, and the face gatherer, with
// recording clippers and render hooks.
#include "quadrix/qxPrimitive.h"

#include <gtest/gtest.h>

#include <tuple>
#include <utility>
#include <vector>

#include "qxSceneTest.h"

namespace {

using Pixels = std::vector<std::pair<int, int>>;

class QxPrimitive : public ::testing::Test {
 protected:
  void SetUp() override {
    FakeClip::Install();
    FakeHooks::Install(true);
    FakeRaster::Install();
  }
  void TearDown() override {
    FakeRaster::Remove();
    FakeHooks::Remove();
    FakeClip::Remove();
    qxCore_SetRenderFlags(QXRENDER_BACKFACE_CULL);
  }
  // The pixels of the 16-bit view that hold the colour, row by row.
  Pixels Lit(const TestView& v, uint16_t colour = 0x1234) {
    Pixels out;
    for (int y = 0; y < v.buffer->format.height; ++y) {
      for (int x = 0; x < v.buffer->format.width; ++x) {
        if (v.Pixel(x, y) == colour) out.emplace_back(x, y);
      }
    }
    return out;
  }
};

TEST_F(QxPrimitive, LineWalkStepsOneAxisAtATime) {
  TestView v;
  EXPECT_EQ(qxPrimitive_DrawLine2(v.canvas, 0, 0, 3, 1, 0x1234, -1), 1);
  EXPECT_EQ(Lit(v), (Pixels{{0, 0}, {1, 0}, {1, 1}, {2, 1}, {3, 1}}));
}

TEST_F(QxPrimitive, LineWalkReachesItsEndInEveryDirection) {
  TestView v;
  for (int dx = -4; dx <= 4; ++dx) {
    for (int dy = -4; dy <= 4; ++dy) {
      stdDisplay_FillBuffer(v.buffer, 0, nullptr);
      qxPrimitive_DrawLine2(v.canvas, 10, 10, 10 + dx, 10 + dy, 0x1234, -1);
      const Pixels lit = Lit(v);
      EXPECT_EQ(lit.size(), size_t(std::abs(dx) + std::abs(dy) + 1)) << dx << "," << dy;
      EXPECT_EQ(v.Pixel(10 + dx, 10 + dy), 0x1234);
    }
  }
}

TEST_F(QxPrimitive, PatternsRepeatEveryThirtyTwoPixels) {
  TestView v(16, 80, 4);
  qxPrimitive_DrawLine2(v.canvas, 0, 0, 70, 0, 0x1234, static_cast<int>(0x80000000u));
  EXPECT_EQ(Lit(v), (Pixels{{0, 0}, {32, 0}, {64, 0}}));
  stdDisplay_FillBuffer(v.buffer, 0, nullptr);
  qxPrimitive_DrawLine2(v.canvas, 0, 1, 70, 1, 0x1234, 0x7FFFFFFF);
  const Pixels lit = Lit(v);
  EXPECT_EQ(lit.size(), 71u - 3u);
  EXPECT_EQ(v.Pixel(32, 1), 0);
  EXPECT_EQ(v.Pixel(33, 1), 0x1234);
}

TEST_F(QxPrimitive, PixelsOutsideTheBufferAreNotWritten) {
  TestView v(8, 16, 8);
  qxPrimitive_DrawLine2(v.canvas, -5, 3, 20, 3, 0x1AB, -1);
  const auto* row =
      static_cast<const uint8_t*>(v.buffer->pixels) + 3 * v.buffer->format.bytesPerRow;
  for (int x = 0; x < 16; ++x) EXPECT_EQ(row[x], 0xAB);  // the low byte in an 8-bit buffer
  EXPECT_EQ(row[v.buffer->format.bytesPerRow], 0);       // nothing wrapped into the next row
}

TEST_F(QxPrimitive, ClippedLineDrawsWhatTheClipperKeeps) {
  TestView v;
  EXPECT_EQ(qxPrimitive_DrawLine2Clipped(v.canvas, -10, 2, -3, 2, 0x1234, -1), 0);
  EXPECT_TRUE(Lit(v).empty());
  EXPECT_EQ(qxPrimitive_DrawLine2Clipped(v.canvas, 1, 2, 3, 2, 0x1234, -1), 1);
  EXPECT_EQ(Lit(v), (Pixels{{1, 2}, {2, 2}, {3, 2}}));
  EXPECT_EQ(FakeClip::Count("line2d"), 2);
}

TEST_F(QxPrimitive, Circles) {
  TestView v;
  struct Row {
    const char* what;
    int cx, cy;
    float radius, step;
    int lines;
  } rows[] = {
      {"step 90 is four lines", 30, 20, 10, 90, 4},
      {"step 45 is eight", 30, 20, 10, 45, 8},
      {"20 pixels left of the canvas", -20, 20, 10, 90, 0},
      {"step 0", 30, 20, 10, 0, 0},
      {"negative step", 30, 20, 10, -30, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    FakeHooks::calls.clear();
    EXPECT_EQ(qxPrimitive_DrawCircle2(v.canvas, row.cx, row.cy, row.radius, row.step, 1, -1),
              row.lines ? 1 : 0);
    EXPECT_EQ(FakeHooks::Count("clippedLine"), row.lines);
  }
  // Clockwise on screen from the right: (40, 20) to (30, 30) first.
  FakeHooks::calls.clear();
  qxPrimitive_DrawCircle2(v.canvas, 30, 20, 10, 90, 1, -1);
  const int* first = FakeHooks::calls[0].values;
  EXPECT_EQ((std::vector<int>{first[0], first[1], first[2], first[3]}),
            (std::vector<int>{40, 20, 30, 30}));
  // Seen through the camera: 4 units to the side at depth 8 is a radius of
  // focal / 2 pixels.
  FakeHooks::calls.clear();
  const qxVector3 centre = {0, 8, 0};
  EXPECT_EQ(qxPrimitive_DrawCircle3(&centre, 4, 90, 1, -1), 1);
  ASSERT_EQ(FakeHooks::Count("clippedLine"), 4);
  const int cx = static_cast<int>(v.canvas->centreX + 0.5f);
  EXPECT_EQ(FakeHooks::calls[0].values[0] - cx, static_cast<int>(v.camera->focal / 2 + 0.5f));
  const qxVector3 behind = {0, -8, 0};
  FakeHooks::calls.clear();
  EXPECT_EQ(qxPrimitive_DrawCircle3(&behind, 4, 90, 1, -1), 0);
  EXPECT_TRUE(FakeHooks::calls.empty());
}

TEST_F(QxPrimitive, RectAndTriangleAreClippedHookLines) {
  TestView v;
  qxPrimitive_DrawRect2(v.canvas, 1, 2, 5, 6, 1, -1);
  qxPrimitive_DrawTriangle2(v.canvas, 1, 2, 5, 6, 9, 2, 1, -1);
  EXPECT_EQ(FakeHooks::Count("clippedLine"), 7);
  const int* last = FakeHooks::calls.back().values;
  EXPECT_EQ((std::vector<int>{last[0], last[1], last[2], last[3]}), (std::vector<int>{9, 2, 1, 2}));
}

TEST_F(QxPrimitive, Line3ClipsProjectsAndDrawsUnclipped) {
  TestView v;
  qxScreenPoint a = {-7, -7, -7}, b = {-7, -7, -7};
  int movedA = 0, movedB = 0;
  const qxVector3 p = {0, -2, 0}, q = {0, -1, 3};
  EXPECT_EQ(qxPrimitive_DrawLine3(&p, &q, &a, &b, &movedA, &movedB, 1, -1), 0);
  EXPECT_EQ(a.x, -7);  // both ends behind the near plane: outputs untouched
  EXPECT_EQ(b.depth, -7.0f);
  EXPECT_TRUE(FakeHooks::calls.empty());

  const qxVector3 r = {0, 4, 0};
  EXPECT_EQ(qxPrimitive_DrawLine3(&p, &r, &a, &b, &movedA, &movedB, 1, -1), 1);
  EXPECT_EQ(movedA, 1);
  EXPECT_EQ(movedB, 0);
  EXPECT_FLOAT_EQ(a.depth, 1.0f);
  EXPECT_EQ(b.x, static_cast<int32_t>(v.canvas->centreX));
  ASSERT_EQ(FakeHooks::Count("line"), 1);  // mode 1: the unclipped drawer
  EXPECT_EQ(FakeHooks::calls[0].values[2], b.x);
}

TEST_F(QxPrimitive, PointsProjectWithinTheFrustumAndPlotInsideTheBuffer) {
  TestView v;
  qxScreenPoint s;
  const qxVector3 ahead = {0, 10, 0}, beyond = {0, 1001, 0};
  EXPECT_EQ(qxPrimitive_ProjectPoint3(&ahead, &s), 1);
  EXPECT_EQ(s.x, static_cast<int32_t>(v.canvas->centreX));
  EXPECT_FLOAT_EQ(s.depth, 10.0f);
  EXPECT_EQ(qxPrimitive_ProjectPoint3(&beyond, &s), 0);  // far clip on
  v.camera->frustum->farEnabled = 0;
  EXPECT_EQ(qxPrimitive_ProjectPoint3(&beyond, nullptr), 1);

  EXPECT_EQ(qxPrimitive_DrawPoint3(&ahead, &s, 0x1234), 1);
  EXPECT_EQ(Lit(v), (Pixels{{s.x, s.y}}));
  // A point the (fake) frustum lets through that projects past the right edge.
  const qxVector3 edge = {20, 10, 0};
  EXPECT_EQ(qxPrimitive_DrawPoint3(&edge, &s, 0x5678), 1);
  EXPECT_GE(s.x, 64);
  EXPECT_TRUE(Lit(v, 0x5678).empty());
}

TEST_F(QxPrimitive, Polygon3) {
  TestView v;
  const qxVector3 behind[3] = {{0, -5, 0}, {1, -5, 0}, {0, -5, 1}};
  EXPECT_EQ(qxPrimitive_AddPolygon3(behind, 3, nullptr), nullptr);
  EXPECT_EQ(qxCache_GetFaceCount(), 0);

  qxCore_SetRenderFlags(QXRENDER_AMBIENT);
  qxCamera_SetAmbientLight(v.camera, 0.5f);
  const qxVector3 ahead[3] = {{-1, 5, -1}, {1, 5, -1}, {0, 5, 1}};
  qxCacheFace* f = qxPrimitive_AddPolygon3(ahead, 3, nullptr);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(qxCache_GetFaceCount(), 1);
  EXPECT_EQ(f->geometryMode, 3);
  EXPECT_EQ(f->lightingMode, 1);
  EXPECT_EQ(f->faceFlags, 1u);
  EXPECT_EQ(f->celIndex, -1);
  EXPECT_EQ(f->ambientFloor, 0.5f);
  // (Q - P) x (R - Q) = (2, 0, 0) x (-1, 0, 2) = (0, -4, 0) points at the camera.
  EXPECT_EQ(f->reverseWinding, 0);
  const qxVector3 reversed[3] = {{0, 5, 1}, {1, 5, -1}, {-1, 5, -1}};
  f = qxPrimitive_AddPolygon3(reversed, 3, nullptr);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->reverseWinding, 1);
  qxCamera_SetAmbientLight(v.camera, 0.0f);

  std::vector<qxVector3> many(27, qxVector3{0, 5, 0});
  EXPECT_EQ(qxPrimitive_AddPolygon3(many.data(), 27, nullptr), nullptr);
  EXPECT_EQ(FakeClip::Count("polygonPersp"), 3);  // the refused one never reached it
  qxCamera_SetProjectionType(v.camera, QXCAMERA_ORTHOGRAPHIC);
  qxPrimitive_AddPolygon3(ahead, 3, nullptr);
  EXPECT_EQ(FakeClip::Count("polygonOrtho"), 1);
}

// The gatherer over a source of four camera-space vertices.
class QxGatherer : public QxPrimitive {
 protected:
  qxVector3 positions[4] = {{0, 5, 0}, {1, 5, 0}, {1, 5, 1}, {0, 5, 1}};
  qxVector2 tex[4] = {{0, 0}, {8, 0}, {8, 8}, {0, 8}};
  float intensities[4] = {0.8f, 0.2f, 0.4f, 0.6f};
  float extra[4] = {0.5f, -1.0f, 0.0f, 0.0f};
  int32_t indices[4] = {3, 2, 1, 0}, texIndices[4] = {0, 1, 2, 3};
  qxVector3 outPositions[32];
  qxVector2 outTex[32];
  float outLight[32], outGreen[32], outBlue[32];
  qxFaceSource Source() {
    qxFaceSource s = {};
    s.vertexCount = 4;
    s.vertexIndices = indices;
    s.texVertexIndices = texIndices;
    s.positions = positions;
    s.texVertices = tex;
    s.intensities = intensities;
    return s;
  }
  qxFaceBuffers Buffers() {
    for (auto& t : outTex) t = {-1, -1};
    for (auto& l : outLight) l = -1;
    return {77, outPositions, outTex, outLight, outGreen, outBlue};
  }
};

TEST_F(QxGatherer, ModesChooseDataAndClipper) {
  TestView v;
  struct Row {
    int geometry, lighting;
    bool ortho;
    const char* clipper;  // null: nothing happens
    bool tex, light;
  } rows[] = {
      {0, 3, false, "polygonPersp", false, false}, {1, 1, false, "outlinePersp", false, false},
      {2, 3, true, "outlineOrtho", false, false},  {3, 2, false, "polygonPersp", false, false},
      {3, 3, false, "litPersp", false, true},      {3, 3, true, "litOrtho", false, true},
      {4, 1, false, "texPersp", true, false},      {4, 0, true, "texOrtho", true, false},
      {4, 3, false, "texLitPersp", true, true},    {4, 3, true, "texLitOrtho", true, true},
      {5, 1, false, nullptr, false, false},        {3, 4, false, nullptr, false, false},
      {4, -1, false, nullptr, false, false},
  };
  const qxVector2 offset = {0.5f, 2.0f};
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.geometry << "/" << row.lighting << "/" << row.ortho);
    qxCamera_SetProjectionType(v.camera, row.ortho ? QXCAMERA_ORTHOGRAPHIC : QXCAMERA_PERSPECTIVE);
    FakeClip::calls.clear();
    const qxFaceSource s = Source();
    qxFaceBuffers b = Buffers();
    qxPrimitive_GatherClipFace(v.camera->frustum, row.geometry, row.lighting, 0, &s, &b, &offset);
    if (!row.clipper) {
      EXPECT_EQ(b.vertexCount, 77);  // untouched
      EXPECT_TRUE(FakeClip::calls.empty());
      continue;
    }
    ASSERT_EQ(FakeClip::calls.size(), 1u);
    EXPECT_EQ(FakeClip::calls[0].name, row.clipper);
    EXPECT_EQ(b.vertexCount, 4);
    ExpectNearVector(outPositions[0], positions[3]);
    EXPECT_EQ(outTex[1].x, row.tex ? 8.5f : -1.0f);
    EXPECT_EQ(outTex[1].y, row.tex ? 2.0f : -1.0f);
    EXPECT_EQ(outLight[0], row.light ? 0.6f : -1.0f);
  }
}

TEST_F(QxGatherer, ExtraIntensitiesAddAndClamp) {
  TestView v;
  qxFaceSource s = Source();
  int32_t straight[4] = {0, 1, 2, 3};
  s.vertexIndices = straight;
  s.extraIntensities = extra;
  qxFaceBuffers b = Buffers();
  qxPrimitive_GatherFace(3, 3, 0, &s, &b, nullptr);
  EXPECT_EQ(b.vertexCount, 4);
  EXPECT_EQ(outLight[0], 1.0f);  // 0.8 + 0.5
  EXPECT_EQ(outLight[1], 0.0f);  // 0.2 - 1.0
  EXPECT_FLOAT_EQ(outLight[2], 0.4f);
  EXPECT_TRUE(FakeClip::calls.empty());  // the gather-only form clips nothing

  // The coloured form adds each channel and always clips in perspective.
  float red[4] = {0.1f, 0, 0, 0}, green[4] = {0.3f, 0, 0, 0}, blue[4] = {-0.9f, 0, 0, 0};
  s.red = red;
  s.green = green;
  s.blue = blue;
  qxCamera_SetProjectionType(v.camera, QXCAMERA_ORTHOGRAPHIC);
  b = Buffers();
  qxPrimitive_GatherClipFaceRGB(v.camera->frustum, 3, 3, 0, &s, &b, nullptr);
  EXPECT_FLOAT_EQ(outLight[0], 0.9f);
  EXPECT_EQ(outGreen[0], 1.0f);
  EXPECT_EQ(outBlue[0], 0.0f);
  EXPECT_EQ(FakeClip::calls.back().name, "rgbPersp");
}

TEST_F(QxGatherer, FacesTooLargeForTheBuffersAreRefused) {
  TestView v;
  std::vector<int32_t> idx(32, 0);
  qxFaceSource s = Source();
  s.vertexIndices = idx.data();
  s.texVertexIndices = idx.data();
  for (const auto& [count, clipped, expected] :
       std::vector<std::tuple<int, bool, int>>{{26, true, 26}, {27, true, 0}, {32, false, 32}}) {
    s.vertexCount = count;
    qxFaceBuffers b = Buffers();
    if (clipped) {
      qxPrimitive_GatherClipFace(v.camera->frustum, 4, 3, 0, &s, &b, nullptr);
    } else {
      qxPrimitive_GatherFace(4, 3, 0, &s, &b, nullptr);
    }
    EXPECT_EQ(b.vertexCount, expected) << count;
  }
  // A textured face without texture-vertex indices is refused too.
  s.vertexCount = 4;
  s.texVertexIndices = nullptr;
  qxFaceBuffers b = Buffers();
  qxPrimitive_GatherFace(4, 1, 0, &s, &b, nullptr);
  EXPECT_EQ(b.vertexCount, 0);
}

TEST_F(QxGatherer, ModelFaceGivesItsOwnIndicesAndNoOffset) {
  TestView v;
  qxFace face;
  qxFace_NewEntry(&face);
  int32_t vi[3] = {1, 2, 3}, ti[3] = {3, 2, 1};
  face.vertexCount = 3;
  face.vertexIndices = vi;
  face.texVertexIndices = ti;
  face.textureOffset = {100, 100};
  const qxFaceSource s = Source();
  qxFaceBuffers b = Buffers();
  qxPrimitive_GatherModelFace(&face, 4, 1, 0, &s, &b);
  EXPECT_EQ(b.vertexCount, 3);
  ExpectNearVector(outPositions[0], positions[1]);
  EXPECT_EQ(outTex[0].x, 0.0f);
  EXPECT_EQ(outTex[0].y, 8.0f);
  b.vertexCount = 3;
  qxPrimitive_ClipFace(v.camera->frustum, 4, 1, 0, &b);
  EXPECT_EQ(FakeClip::calls.back().name, "texPersp");
  face.vertexIndices = face.texVertexIndices = nullptr;
}

}  // namespace
