// The 8-bit raster canvas: clipped lines, rectangles, fills and copies.
#include "presentation/GRAPH.h"

#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "std/std.h"

namespace {

class Graph : public ::testing::Test {
 protected:
  void SetUp() override {
    HostServices_CopyDefaults(&hs_);
    std_DefaultServices(&hs_);
    std_Startup(&hs_);
    Graph_Initialize(&hs_, nullptr);
    ASSERT_EQ(Graph_CreateCanvas(16, 16, &canvas_), 0);
    std::fill(canvas_.pixels, canvas_.pixels + 256, 0);
  }
  void TearDown() override {
    Graph_FreeCanvas(&canvas_);
    Graph_Uninitialize();
  }
  // The set pixels as (x, y) pairs.
  std::set<std::pair<int, int>> Set(const GraphCanvas& c) const {
    std::set<std::pair<int, int>> out;
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < c.width; ++x)
        if (c.pixels[y * c.width + x]) out.insert({x, y});
    return out;
  }
  HostServices hs_;
  GraphCanvas canvas_{};
};

TEST_F(Graph, ModuleSlotsAndCanvasLifetime) {
  EXPECT_EQ(Graph_Initialize(&hs_, nullptr), 1);  // already initialised
  Graph_Uninitialize();
  ModuleDescriptor d{};
  ASSERT_EQ(Graph_Initialize(&hs_, &d), 0);
  EXPECT_EQ(d.startup, Graph_Startup);
  EXPECT_EQ(d.save, nullptr);
  EXPECT_EQ(Graph_Startup(), 0);
  EXPECT_EQ(Graph_Startup(), 1);
  Graph_Shutdown();

  GraphCanvas c{};
  EXPECT_EQ(Graph_CreateCanvas(0, 5, &c), 1);
  EXPECT_EQ(c.pixels, nullptr);
  ASSERT_EQ(Graph_CreateCanvas(3, 2, &c), 0);
  EXPECT_EQ(c.bytesPerPixel, 1);
  Graph_FreeCanvas(&c);
  EXPECT_EQ(c.pixels, nullptr);
  EXPECT_EQ(c.width, 0);
  Graph_FreeCanvas(&c);  // twice is harmless
}

TEST_F(Graph, LineFromLeftOfTheCanvasSetsRowFiveColumnsZeroToTen) {
  Graph_DrawLine(&canvas_, nullptr, -10, 5, 10, 5, 7);
  std::set<std::pair<int, int>> want;
  for (int x = 0; x <= 10; ++x) want.insert({x, 5});
  EXPECT_EQ(Set(canvas_), want);
}

TEST_F(Graph, LinesOutsideTheClipDrawNothing) {
  const GraphRect clip{4, 4, 8, 8};
  Graph_DrawLine(&canvas_, &clip, 0, 0, 3, 15, 1);    // left of the clip
  Graph_DrawLine(&canvas_, &clip, 2, 2, 2, 10, 1);    // vertical, outside
  Graph_DrawLine(&canvas_, &clip, 5, 1, 10, 1, 1);    // horizontal, above
  Graph_DrawLine(&canvas_, &clip, 12, 5, 15, 11, 1);  // right of the clip
  EXPECT_TRUE(Set(canvas_).empty());
  // Huge coordinates neither overflow nor leave the clip.
  Graph_DrawLine(&canvas_, &clip, INT_MIN, INT_MIN, INT_MAX, INT_MAX, 1);
  for (const auto& [x, y] : Set(canvas_)) {
    EXPECT_TRUE(x >= 4 && x < 12 && y >= 4 && y < 12) << x << "," << y;
  }
  EXPECT_FALSE(Set(canvas_).empty());
}

// Bresenham lines inside the canvas: both end points set, one pixel per
// step of the major axis.
TEST_F(Graph, BresenhamTable) {
  struct Case {
    int x0, y0, x1, y1;
    std::vector<std::pair<int, int>> pixels;
  } cases[] = {
      {3, 3, 3, 3, {{3, 3}}},
      {2, 1, 2, 4, {{2, 1}, {2, 2}, {2, 3}, {2, 4}}},
      {0, 0, 4, 2, {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}}},
      {4, 2, 0, 0, {{4, 2}, {3, 2}, {2, 1}, {1, 1}, {0, 0}}},
      {0, 0, 3, 3, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}},
      {1, 0, 0, 3, {{1, 0}, {1, 1}, {0, 2}, {0, 3}}},
      {5, 5, 8, 4, {{5, 5}, {6, 5}, {7, 4}, {8, 4}}},
  };
  for (const Case& c : cases) {
    std::fill(canvas_.pixels, canvas_.pixels + 256, 0);
    Graph_DrawLine(&canvas_, nullptr, c.x0, c.y0, c.x1, c.y1, 9);
    const std::set<std::pair<int, int>> want(c.pixels.begin(), c.pixels.end());
    EXPECT_EQ(Set(canvas_), want) << c.x0 << "," << c.y0 << " to " << c.x1 << "," << c.y1;
  }
}

TEST_F(Graph, FillRectPastTheRightEdgeStopsAtTheLastColumn) {
  Graph_FillRect(&canvas_, nullptr, 12, 2, 10, 3, 5);
  std::set<std::pair<int, int>> want;
  for (int y = 2; y < 5; ++y)
    for (int x = 12; x < 16; ++x) want.insert({x, y});
  EXPECT_EQ(Set(canvas_), want);
  // A negative size draws nothing.
  Graph_FillRect(&canvas_, nullptr, 0, 0, -3, 4, 5);
  EXPECT_EQ(Set(canvas_), want);
}

TEST_F(Graph, RectOutlineAndRegionFill) {
  const GraphRect clip{0, 0, 6, 16};
  Graph_DrawRect(&canvas_, &clip, 2, 2, 8, 3, 1);
  // The right side (column 9) lies outside the clip.
  std::set<std::pair<int, int>> want = {{2, 3}};
  for (int x = 2; x < 6; ++x) want.insert({x, 2}), want.insert({x, 4});
  EXPECT_EQ(Set(canvas_), want);

  const GraphRect region{14, 14, 10, 10};  // cut to the canvas
  Graph_FillRegion(&canvas_, &region, 3);
  EXPECT_EQ(canvas_.pixels[15 * 16 + 15], 3);
  EXPECT_EQ(canvas_.pixels[13 * 16 + 15], 0);
}

TEST_F(Graph, CopiesCutAtTheClipAndKeyedCopySkipsTheKey) {
  GraphCanvas source{};
  ASSERT_EQ(Graph_CreateCanvas(4, 3, &source), 0);
  for (int i = 0; i < 12; ++i) source.pixels[i] = static_cast<uint8_t>(i % 3 == 0 ? 0 : 10 + i);

  std::fill(canvas_.pixels, canvas_.pixels + 256, 99);
  Graph_CopyKeyed(&canvas_, nullptr, 1, 1, &source, 0);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) {
      const uint8_t s = source.pixels[y * 4 + x];
      EXPECT_EQ(canvas_.pixels[(y + 1) * 16 + x + 1], s == 0 ? 99 : s) << x << "," << y;
    }
  }

  // Cut at the top-left: the source start moves by the same amount.
  Graph_Copy(&canvas_, nullptr, -2, -1, &source);
  EXPECT_EQ(canvas_.pixels[0], source.pixels[1 * 4 + 2]);
  EXPECT_EQ(canvas_.pixels[1], source.pixels[1 * 4 + 3]);
  EXPECT_EQ(canvas_.pixels[2], 99);
  // Wholly outside: nothing.
  std::vector<uint8_t> before(canvas_.pixels, canvas_.pixels + 256);
  Graph_Copy(&canvas_, nullptr, 16, 0, &source);
  Graph_Copy(&canvas_, nullptr, INT_MIN, INT_MIN, &source);
  EXPECT_EQ(std::vector<uint8_t>(canvas_.pixels, canvas_.pixels + 256), before);
  Graph_FreeCanvas(&source);
}

}  // namespace
