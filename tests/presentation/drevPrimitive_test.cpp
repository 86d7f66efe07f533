// 2D primitives: ids, layers, polygons, changes, clipping before the hooks
// and the PRMS block, through the script functions and a recording hook table.
#include "presentation/drevPrimitive.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ScriptTestSupport.h"
#include "quadrix/qxCamera.h"

namespace {

std::vector<std::string>& Hooks() {
  static std::vector<std::string> calls;
  return calls;
}

int RecordLine(qxCanvas*, int x0, int y0, int x1, int y1, int colour, int) {
  Hooks().push_back("line " + std::to_string(x0) + "," + std::to_string(y0) + " " +
                    std::to_string(x1) + "," + std::to_string(y1) + " c" + std::to_string(colour));
  return 1;
}

int RecordFill(qxCanvas*, int x0, int y0, int x1, int y1, int colour, int, float alpha) {
  Hooks().push_back("fill " + std::to_string(x0) + "," + std::to_string(y0) + " " +
                    std::to_string(x1) + "," + std::to_string(y1) + " c" +
                    std::to_string(static_cast<uint32_t>(colour)) + " a" +
                    std::to_string(static_cast<int>(alpha * 100)));
  return 1;
}

class Primitives : public ScriptRenderTest {
 protected:
  void SetUp() override {
    ScriptRenderTest::SetUp();
    kv_RenderHooks_ResetForTest();
    table_ = RenderHookTable{};
    table_.DrawClippedLine = RecordLine;
    table_.FillRect = RecordFill;
    kv_RenderHooks_Register(&table_);
    camera_ = qxCamera_New(90.0f, 0, 0.1f, 100.0f, 1.0f);
    qxCamera_SetCanvas(camera_, drevRender_GetCanvas());
    qxCamera_SetCurrent(camera_);
    Hooks().clear();
  }
  void TearDown() override {
    qxCamera_SetCurrent(nullptr);
    qxCamera_Free(camera_);
    ScriptRenderTest::TearDown();
  }
  std::vector<std::string> Pass(int mask) {
    Hooks().clear();
    drevPrimitive_DrawPass(mask);
    return Hooks();
  }
  RenderHookTable table_{};
  qxCamera* camera_ = nullptr;
};

TEST_F(Primitives, IdsStartAtOneAfterPurge) {
  EXPECT_EQ(Run("assert(DrawLine(10, 10, 20, 20) == 1 and DrawLine(1, 1, 2, 2) == 2)"), 0);
  EXPECT_EQ(Run("PurgePrimitiveQueue() assert(DrawLine(10, 10, 20, 20) == 1)"), 0);
  EXPECT_EQ(Run("assert(DrawRectangle(1, 2, 3, 4) == 2)"), 0);
  EXPECT_EQ(Run("assert(DrawLine(1, 2, 'x', 4) == nil and DrawPolygon(5) == nil)"), 0);
  EXPECT_EQ(Run("assert(DrawPolygon({}) == nil)"), 0);
  EXPECT_EQ(drevPrimitive_GetNextId(), 3);
}

TEST_F(Primitives, LayersSelectThePass) {
  ASSERT_EQ(Run("DrawLine(1, 2, 3, 4, {layer = 4, color = Color(255)})"
                " DrawLine(5, 6, 7, 8, {layer = 3})"),
            0);
  EXPECT_EQ(Pass(1 | 2), std::vector<std::string>{"line 5,6 7,8 c0"});
  EXPECT_EQ(Pass(4), std::vector<std::string>{"line 1,2 3,4 c63488"});
  drevPrimitive_Suspend();
  EXPECT_TRUE(Pass(15).empty());
  drevPrimitive_Resume();
  EXPECT_EQ(Pass(15).size(), 2u);
}

TEST_F(Primitives, PolygonIsKilledWhole) {
  ASSERT_EQ(Run("id = DrawPolygon({10, 10, 20, 10, 20, 30}) other = DrawLine(0, 0, 1, 1)"), 0);
  const std::vector<std::string> edges = {"line 10,10 20,10 c0", "line 20,10 20,30 c0",
                                          "line 0,0 1,1 c0"};
  EXPECT_EQ(Pass(2), edges);
  drevRender_ClearDirtyRects();
  ASSERT_EQ(Run("KillPrimitive(id)"), 0);
  EXPECT_EQ(Pass(2), std::vector<std::string>{"line 0,0 1,1 c0"});
  EXPECT_GT(drevRender_GetDirtyRectCount(), 0);  // killed edges marked dirty
  // One point uses an id but draws nothing; a missing y counts 0.
  ASSERT_EQ(Run("assert(DrawPolygon({5}) == other + 1)"), 0);
  EXPECT_EQ(Pass(2).size(), 1u);
}

TEST_F(Primitives, ChangePrimitive) {
  ASSERT_EQ(Run("line = DrawLine(1, 1, 2, 2, {layer = 1})"
                " ChangePrimitive(line, {layer = 4})"),
            0);
  EXPECT_EQ(drevPrimitive_GetFirst()->layer, 2);
  ASSERT_EQ(Run("PurgePrimitiveQueue() poly = DrawPolygon({10, 10, 20, 10, 20, 30})"
                " ChangePrimitive(poly, {x = 100})"),
            0);
  const std::vector<std::string> moved = {"line 100,10 110,10 c0", "line 110,10 110,30 c0"};
  EXPECT_EQ(Pass(2), moved);
  ASSERT_EQ(Run("ChangePrimitive(poly, {xoffset = -100, yoffset = 5})"
                " ChangePrimitive(poly, {x2 = 50})"
                " ChangePrimitive(poly, {color = Color(65280)})"),
            0);
  const std::vector<std::string> changed = {"line 0,15 50,15 c2016", "line 10,15 10,35 c2016"};
  EXPECT_EQ(Pass(2), changed);
  ASSERT_EQ(Run("ChangePrimitive(poly, {width = 5, height = 6}) ChangePrimitive(999, {x = 1})"
                " ChangePrimitive('x', {x = 1}) ChangePrimitive(poly, 3)"),
            0);
  EXPECT_EQ(Pass(2)[0], "line 0,15 5,21 c2016");
}

TEST_F(Primitives, RectanglesCornersAnyOrderAndScreenClipping) {
  ASSERT_EQ(Run("DrawRectangle(100, 50, 10, 5, {filled = 1, alpha = 0.5, color = Color(255)})"), 0);
  ASSERT_EQ(Run("DrawRectangle(10, 5, 100, 50, {filled = 1, alpha = 0.5, color = Color(255)})"), 0);
  const auto fills = Pass(2);
  ASSERT_EQ(fills.size(), 2u);
  EXPECT_EQ(fills[0], fills[1]);
  EXPECT_EQ(fills[0], "fill 10,5 100,50 c255 a50");

  // Script coordinates of +-2e9: clipped before the hooks, dirty areas cut.
  Hooks().clear();
  ASSERT_EQ(Run("PurgePrimitiveQueue()"
                " DrawRectangle(-2000000000, -2000000000, 2000000000, 2000000000, {filled = 1})"
                " DrawLine(-2000000000, 240, 2000000000, 240)"
                " DrawLine(-2000000000, -5, 2000000000, -5)"),
            0);
  const std::vector<std::string> clipped = {"fill 0,0 639,479 c0 a100", "line 0,240 639,240 c0"};
  EXPECT_EQ(Pass(2), clipped);
  drevRender_ClearDirtyRects();
  ASSERT_EQ(Run("PurgePrimitiveQueue()"), 0);
  DirtyRectInfo r[8];
  const int n = drevRender_GetDirtyRects(r, 8);
  ASSERT_GT(n, 0);
  for (int i = 0; i < n; ++i) {
    EXPECT_GE(r[i].x, 0);
    EXPECT_LE(r[i].x + r[i].width, 640);
  }
  // An outline far off the screen draws no side on the screen.
  ASSERT_EQ(Run("DrawRectangle(-2000000000, -2000000000, -1000, -1000)"), 0);
  EXPECT_TRUE(Pass(2).empty());
}

struct Stream {
  std::vector<uint8_t> bytes;
  size_t at = 0;
};
Stream g_stream;
int Write(void* data, size_t n) {
  auto* p = static_cast<uint8_t*>(data);
  g_stream.bytes.insert(g_stream.bytes.end(), p, p + n);
  return 0;
}
int Read(void* data, size_t n) {
  if (g_stream.at + n > g_stream.bytes.size()) return 1;
  std::memcpy(data, g_stream.bytes.data() + g_stream.at, n);
  g_stream.at += n;
  return 0;
}

TEST_F(Primitives, SaveBlockRoundTrip) {
  ASSERT_EQ(
      Run("DrawLine(1, 2, 3, 4, {layer = 1, color = Color(255)})"
          " DrawPolygon({5, 6, 7, 8, 9, 10}, {layer = 8})"
          " DrawRectangle(11, 12, 13, 14, {filled = 1, alpha = 0.25, color = Color(16711680)})"),
      0);
  const auto before = Pass(15);
  g_stream = Stream{};
  ASSERT_EQ(drevPrimitive_Save(Write), 0);
  EXPECT_EQ(g_stream.bytes.size(), 4u + 4 * 48);
  drevPrimitive_Purge();
  ASSERT_EQ(drevPrimitive_Restore(Read), 0);
  EXPECT_EQ(Pass(15), before);
  EXPECT_EQ(drevPrimitive_GetNextId(), 4);
  EXPECT_EQ(drevPrimitive_GetFirst()->layer, 1);
  EXPECT_EQ(drevPrimitive_GetFirst()->next->next->layer, 8);

  // Unknown kinds are dropped, bad layers become 2, a short stream fails empty.
  const int32_t kind = 7, layer = 5;
  std::memcpy(g_stream.bytes.data() + 4, &kind, 4);
  std::memcpy(g_stream.bytes.data() + 4 + 48 + 8, &layer, 4);
  g_stream.at = 0;
  ASSERT_EQ(drevPrimitive_Restore(Read), 0);
  EXPECT_EQ(Pass(15).size(), 3u);
  EXPECT_EQ(drevPrimitive_GetFirst()->layer, 2);
  g_stream.bytes.resize(60);
  g_stream.at = 0;
  EXPECT_EQ(drevPrimitive_Restore(Read), 1);
  EXPECT_EQ(drevPrimitive_GetFirst(), nullptr);
}

}  // namespace
