// The debug-key handler and the debug views, through recording fakes of the
// key reads and of the 3D line primitive.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "RenderTestSupport.h"

namespace {

std::set<int>& Held() {
  static std::set<int> keys;
  return keys;
}
int& KeysEnabled() {
  static int enabled = 1;
  return enabled;
}
struct Line {
  qxVector3 a, b;
  int colour, pattern;
};
std::vector<Line>& Lines() {
  static std::vector<Line> lines;
  return lines;
}

class Debug : public RenderTest {
 protected:
  void SetUp() override {
    RenderTest::SetUp();
    Held().clear();
    KeysEnabled() = 1;
    Lines().clear();
    drevRenderCalls& c = drevRender_Calls();
    c.debugKeysEnabled = [] { return KeysEnabled(); };
    c.readKey = [](int code) { return Held().count(code) ? 1 : 0; };
    c.lineHook = [](const qxVector3* a, const qxVector3* b, int colour, int pattern) {
      Lines().push_back({*a, *b, colour, pattern});
      return 1;
    };
  }
  int Press(std::set<int> keys) {
    Held() = std::move(keys);
    return drevRender_DebugKeyHandler(0.016f);
  }
};

TEST_F(Debug, HandlerNeedsTheKeysEnabledAndTheModifier) {
  KeysEnabled() = 0;
  EXPECT_EQ(Press({224, 32}), 0);
  KeysEnabled() = 1;
  EXPECT_EQ(Press({32}), 0);
  EXPECT_EQ(drevRender_IsDebugView(), 0);
  EXPECT_EQ(Press({224}), 1);
  EXPECT_EQ(drevRender_IsDebugView(), 0);
}

TEST_F(Debug, HeldKeysToggleOnceAndViewKeysWaitForTheView) {
  for (int frame = 0; frame < 30; ++frame) Press({224, 32});
  EXPECT_EQ(drevRender_IsDebugView(), 1);
  Press({224});
  Press({224, 32});
  EXPECT_EQ(drevRender_IsDebugView(), 0);

  const uint32_t start = drevRender_GetDebugFlags();
  Press({224, 98, 108, 99, 114});  // b l c r with the view off: nothing
  EXPECT_EQ(drevRender_GetDebugFlags(), start);
  Press({224, 104});  // h acts by itself
  EXPECT_EQ(drevRender_GetDebugFlags() ^ start, kDebugHotspots);

  Press({224});
  Press({224, 32, 98, 108, 99, 114});  // view on, then the four act at once
  EXPECT_EQ(drevRender_GetDebugFlags() ^ start, kDebugHotspots | kDebugView | kDebugSectors |
                                                    kDebugLights | kDebugCameras |
                                                    kDebugDirtyRects);
}

TEST_F(Debug, TurningTheViewOffMarksTheUnalignedViewport) {
  RenderOptions options = {4, 3, 1, 1, 0, 0, 2};
  ASSERT_EQ(drevRender_OpenBuffers(display_, z_, 5, 2, 634, 477, &options), 1);
  drevRender_SetBufferCount(2);
  drevRender_ToggleDebugView();
  drevRender_ClearDirtyRects();
  drevRender_ToggleDebugView();
  DirtyRectInfo r[4];
  ASSERT_EQ(drevRender_GetDirtyRects(r, 4), 2);
  for (const DirtyRectInfo& d : r) {
    if (&d - r >= 2) break;
    EXPECT_EQ(d.x, 5);
    EXPECT_EQ(d.width, 630);
    EXPECT_EQ(d.y, 2);
    EXPECT_EQ(d.height, 476);
    EXPECT_EQ(d.zRestore, 1);
  }
}

TEST_F(Debug, SpotPyramidOfIntensityTenAndCosineHalf) {
  const qxVector3 p{1, 2, 3}, dir{0, 1, 0};
  drevRender_DrawSpotPyramid(&p, &dir, 10.0f, 0.5f, 77);
  ASSERT_EQ(Lines().size(), 8u);
  const qxVector3 want[4] = {{1.5f, 3, 3.5f}, {1.5f, 3, 2.5f}, {0.5f, 3, 2.5f}, {0.5f, 3, 3.5f}};
  for (int i = 0; i < 4; ++i) {
    const Line& edge = Lines()[i];
    EXPECT_FLOAT_EQ(edge.a.x, 1.0f);
    EXPECT_NEAR(edge.b.x, want[i].x, 1e-5) << i;
    EXPECT_NEAR(edge.b.y, want[i].y, 1e-5) << i;
    EXPECT_NEAR(edge.b.z, want[i].z, 1e-5) << i;
    EXPECT_EQ(edge.colour, 77);
    // The base joins corner i to corner i + 1.
    EXPECT_NEAR(Lines()[4 + i].a.z, want[i].z, 1e-5);
    EXPECT_NEAR(Lines()[4 + i].b.z, want[(i + 1) % 4].z, 1e-5);
  }
}

TEST_F(Debug, GroundGrid) {
  drevRender_DrawGroundGrid();
  ASSERT_EQ(Lines().size(), 43u);
  EXPECT_EQ(Lines()[0].pattern, static_cast<int>(0xff00ff00u));
  EXPECT_EQ(Lines()[0].colour, drevRender_debugColours[kColourGrey]);
  EXPECT_FLOAT_EQ(Lines()[0].a.y, -1.0f);
  EXPECT_NEAR(Lines()[38].a.y, 0.9f, 1e-5);
  EXPECT_EQ(Lines()[42].colour, drevRender_debugColours[kColourWhite]);
  EXPECT_FLOAT_EQ(Lines()[42].b.z, 2.0f);
}

}  // namespace
