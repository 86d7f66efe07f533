// The iris, the pixel table, dimming, screenshots, the progress bar and the
// script rectangle, on in-memory rasters.
#include <gtest/gtest.h>

#include "RenderTestSupport.h"

namespace {

class Effects : public RenderTest {
 protected:
  void SetUp() override {
    RenderTest::SetUp();
    drevRenderCalls& c = drevRender_Calls();
    c.finishFrame = [] { RenderTest_Log().push_back("finish"); };
    c.textSuspendDrawing = [] { RenderTest_Log().push_back("textSuspend"); };
    c.textResumeDrawing = [] { RenderTest_Log().push_back("textResume"); };
  }
  // Rows and columns of the display raster that are black.
  int BlackRowsFromTop() {
    int n = 0;
    while (n < 480 && RenderTest_Pixel(display_, 320, n) == 0) ++n;
    return n;
  }
  int BlackColumnsFromLeft() {
    int n = 0;
    while (n < 640 && RenderTest_Pixel(display_, n, 240) == 0) ++n;
    return n;
  }
};

TEST_F(Effects, IrisDownHalfwayThenBlackAndComplete) {
  EXPECT_EQ(drevRender_IsIrisComplete(), 1);  // no iris runs
  drevRender_IrisDown(320, 240, 1000);
  EXPECT_EQ(drevRender_IsIrisComplete(), 0);
  RenderTest_Fill(display_, 0xffff);
  RenderTest_Clock() += 500;
  drevRender_StepIris();
  EXPECT_EQ(BlackRowsFromTop(), 120);
  EXPECT_EQ(BlackColumnsFromLeft(), 160);
  EXPECT_EQ(RenderTest_Pixel(display_, 320, 480 - 120), 0);
  EXPECT_NE(RenderTest_Pixel(display_, 320, 480 - 120 - 1), 0);
  EXPECT_EQ(RenderTest_Pixel(display_, 639 - 159, 240), 0);
  EXPECT_NE(RenderTest_Pixel(display_, 639 - 160, 240), 0);

  RenderTest_Clock() += 600;
  RenderTest_Fill(display_, 0xffff);
  drevRender_StepIris();
  EXPECT_EQ(BlackRowsFromTop(), 480);
  EXPECT_EQ(drevRender_IsIrisComplete(), 1);
  // It stays down, frame after frame.
  RenderTest_Fill(display_, 0xffff);
  RenderTest_Clock() += 5000;
  drevRender_StepIris();
  EXPECT_EQ(BlackRowsFromTop(), 480);
}

TEST_F(Effects, IrisUpOpensAndEndsWithAFullRepaint) {
  drevRender_IrisDown(320, 240, 100);
  RenderTest_Clock() += 200;
  drevRender_StepIris();
  ASSERT_EQ(drevRender_IsIrisComplete(), 1);

  drevRender_IrisUp(320, 240, 1000);
  RenderTest_Clock() += 250;
  RenderTest_Fill(display_, 0xffff);
  drevRender_ClearDirtyRects();
  drevRender_StepIris();
  EXPECT_EQ(BlackRowsFromTop(), 180);  // 0.75 of 240
  EXPECT_GT(drevRender_GetDirtyRectCount(), 0);
  EXPECT_EQ(drevRender_GetRenderFlags() & kRenderIrisRunning, kRenderIrisRunning);

  RenderTest_Clock() += 2000;
  RenderTest_Fill(display_, 0xffff);
  drevRender_StepIris();
  EXPECT_EQ(BlackRowsFromTop(), 0);
  EXPECT_EQ(drevRender_GetRenderFlags() & kRenderIrisRunning, 0u);
  DirtyRectInfo r[4];
  ASSERT_EQ(drevRender_GetDirtyRects(r, 4), 1);
  EXPECT_EQ(r[0].width, 640);
  EXPECT_EQ(r[0].height, 480);
}

TEST_F(Effects, IrisCentreOffTheScreenStaysInsideTheRaster) {
  RenderTest_Fill(display_, 0xffff);
  drevRender_DrawIris(0.5f, 1000, -50);  // ASan watches the writes
  // Left border 500 columns, no top or right border, a bottom border of 265
  // rows.
  EXPECT_EQ(RenderTest_Pixel(display_, 499, 100), 0);
  EXPECT_EQ(RenderTest_Pixel(display_, 500, 100), 0xffff);
  EXPECT_EQ(RenderTest_Pixel(display_, 639, 0), 0xffff);
  EXPECT_EQ(RenderTest_Pixel(display_, 639, 215), 0);
  drevRender_DrawIris(1.0f, -100000, 100000);
  EXPECT_EQ(RenderTest_Pixel(display_, 639, 479), 0);
}

TEST_F(Effects, PixelTableIsTheIdentityFor565AndNamedColours) {
  for (int i = 0; i < 65536; ++i) ASSERT_EQ(drevRender_ConvertPixel(i), i) << i;
  EXPECT_EQ(drevRender_debugColours[kColourWhite], 0xffff);
  EXPECT_EQ(drevRender_debugColours[kColourRed], 0xf800);
  EXPECT_EQ(drevRender_debugColours[kColourGrey], (16 << 11) | (32 << 5) | 16);
  uint16_t pixels[11] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  drevRender_ApplyGammaToPixels(pixels, 11);
  EXPECT_EQ(pixels[10], 11);
}

TEST_F(Effects, DimScreenLeavesAGreyCopyInTheCleanBuffer) {
  RenderTest_Fill(display_, 0xf800);  // red
  drevRender_ClearDirtyRects();
  drevRender_DimScreen(0, 2);
  // Red 31 widened to 248, shifted by 2: 62 in every field.
  const uint16_t grey = (62 >> 3) << 11 | (62 >> 2) << 5 | (62 >> 3);
  EXPECT_EQ(RenderTest_Pixel(drevRender_GetCleanBuffer(), 10, 10), grey);
  EXPECT_EQ(drevRender_GetDirtyRectCount(), 1);
  const std::vector<std::string> want = {"textSuspend", "finish", "textResume"};
  EXPECT_EQ(RenderTest_Log(), want);

  // In game state 4 without force nothing happens at all.
  GameState = kGameUserPaint;
  RenderTest_Log().clear();
  RenderTest_Fill(drevRender_GetCleanBuffer(), 7);
  drevRender_DimScreen(0, 2);
  EXPECT_TRUE(RenderTest_Log().empty());
  EXPECT_EQ(RenderTest_Pixel(drevRender_GetCleanBuffer(), 10, 10), 7);

  // Without a set every pixel becomes 0.
  GameState = kGameRunning;
  RenderTest_Room() = nullptr;
  drevRender_DimScreen(1, 2);
  EXPECT_EQ(RenderTest_Pixel(drevRender_GetCleanBuffer(), 10, 10), 0);
}

TEST_F(Effects, DimRegionIsClippedToTheRaster) {
  RenderTest_Fill(display_, 0xffff);
  drevRender_DimRegion(600, 460, 100, 100, 0.5f);
  EXPECT_EQ(RenderTest_Pixel(display_, 639, 479), (15 << 11) | (31 << 5) | 15);
  EXPECT_EQ(RenderTest_Pixel(display_, 599, 479), 0xffff);
  // A factor above 1 keeps each field inside its own bits.
  RenderTest_Fill(display_, (20 << 11) | (40 << 5) | 20);
  drevRender_DimRegion(0, 0, 1, 1, 2.0f);
  EXPECT_EQ(RenderTest_Pixel(display_, 0, 0), (31 << 11) | (63 << 5) | 31);
}

TEST_F(Effects, ScreenShotScalesTheGreyFrame) {
  // Blue rises with the column; with shift 0 the grey keeps that value.
  auto* p = static_cast<uint16_t*>(display_->pixels);
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) p[y * 640 + x] = static_cast<uint16_t>(x / 20);
  const int kept = GameState = kGameScriptWide;
  DisplayBuffer* shot = drevRender_ScreenShot(250, 188);
  ASSERT_NE(shot, nullptr);
  EXPECT_EQ(GameState, kept);
  EXPECT_EQ(shot->format.width, 250);
  EXPECT_EQ(shot->format.height, 188);
  EXPECT_EQ(drevRender_IsForceRefresh(), 1);
  const auto grey = [](int m) { return (m >> 3) << 11 | (m >> 2) << 5 | (m >> 3); };
  for (int c : {0, 1, 100, 249}) {
    const int source = static_cast<int>(c * (640.0f / 250.0f)) / 20;
    EXPECT_EQ(RenderTest_Pixel(shot, c, 187), grey(source)) << c;
  }
  stdDisplay_FreeBuffer(shot);
  EXPECT_EQ(drevRender_ScreenShot(0, 188), nullptr);
  EXPECT_EQ(drevRender_ScreenShot(250, -1), nullptr);
}

TEST_F(Effects, ProgressBarFullAndEmpty) {
  DisplayBuffer* front = RenderTest_NewRaster();
  const DisplayBuffer kept = stdDisplay_frontBuffer;
  stdDisplay_frontBuffer = *front;
  DisplayBuffer* bar = &stdDisplay_frontBuffer;
  drevRender_DrawProgressBar(2.0f);
  for (int x = 50; x <= 589; ++x) ASSERT_EQ(RenderTest_Pixel(bar, x, 460), 0xffe0) << x;
  EXPECT_EQ(RenderTest_Pixel(bar, 49, 460), 0);
  EXPECT_EQ(RenderTest_Pixel(bar, 590, 460), 0);

  RenderTest_Fill(bar, 0);
  drevRender_DrawProgressBar(0.0f);
  EXPECT_EQ(RenderTest_Pixel(bar, 50, 460), 0xffe0);
  EXPECT_EQ(RenderTest_Pixel(bar, 589, 460), 0xffe0);
  EXPECT_EQ(RenderTest_Pixel(bar, 51, 460), 0);
  EXPECT_EQ(RenderTest_Pixel(bar, 300, 455), 0xffe0);
  EXPECT_EQ(RenderTest_Pixel(bar, 300, 467), 0xffe0);
  stdDisplay_frontBuffer = kept;
  stdDisplay_FreeBuffer(front);
}

TEST_F(Effects, BlastRect) {
  RenderTest_Fill(display_, 0);
  drevRender_BlastRect(10, 10, 640, 20, 0xffff, 0);  // x1 640: nothing
  drevRender_BlastRect(-1, 10, 20, 20, 0xffff, 0);
  EXPECT_EQ(RenderTest_Pixel(display_, 10, 10), 0);
  drevRender_BlastRect(5, 5, 5, 9, 0x1234, 0);  // one pixel wide: a vertical line
  for (int y = 5; y <= 9; ++y) EXPECT_EQ(RenderTest_Pixel(display_, 5, y), 0x1234) << y;
  EXPECT_EQ(RenderTest_Pixel(display_, 6, 7), 0);
  drevRender_BlastRect(20, 20, 24, 24, 0x4321, 1);
  EXPECT_EQ(RenderTest_Pixel(display_, 22, 22), 0x4321);
  drevRender_BlastRect(30, 20, 34, 24, 0x4321, 0);
  EXPECT_EQ(RenderTest_Pixel(display_, 32, 22), 0);
  EXPECT_EQ(RenderTest_Pixel(display_, 34, 22), 0x4321);
}

TEST_F(Effects, RestoredStateKeepsThePixelTableAndRefusesBadNumbers) {
  struct Stream {
    static std::vector<uint8_t>& Bytes() {
      static std::vector<uint8_t> b;
      return b;
    }
    static size_t& At() {
      static size_t at = 0;
      return at;
    }
    static int Write(void* data, size_t n) {
      auto* p = static_cast<uint8_t*>(data);
      Bytes().insert(Bytes().end(), p, p + n);
      return 0;
    }
    static int Read(void* data, size_t n) {
      if (At() + n > Bytes().size()) return 1;
      std::memcpy(data, Bytes().data() + At(), n);
      At() += n;
      return 0;
    }
  };
  Stream::Bytes().clear();
  drevRender_IrisDown(100, 50, 700);
  ASSERT_EQ(drevRender_Save(Stream::Write), 0);
  ASSERT_EQ(Stream::Bytes().size(), 36u);
  // Gamma 2.0 in the stream: the stored value changes, the table does not.
  const float gamma = 2.0f;
  std::memcpy(Stream::Bytes().data() + 16, &gamma, 4);
  drevRender_IrisClear();
  Stream::At() = 0;
  ASSERT_EQ(drevRender_Restore(Stream::Read), 0);
  EXPECT_EQ(drevRender_GetGamma(), 2.0f);
  EXPECT_EQ(drevRender_ConvertPixel(0x1234), 0x1234);
  EXPECT_EQ(drevRender_GetRenderFlags() & kRenderIrisRunning, kRenderIrisRunning);
  float fraction = 0, cx = 0, cy = 0;
  drevRender_GetIrisState(&fraction, &cx, &cy);
  EXPECT_FLOAT_EQ(cx, 100.0f / 640.0f);
  EXPECT_FLOAT_EQ(cy, 50.0f / 480.0f);
  EXPECT_EQ(drevRender_GetCameraActor(), -1);  // no actor table: none

  // A duration that is not a number never reaches the iris assertion.
  const uint32_t nan = 0x7fc00000;
  std::memcpy(Stream::Bytes().data() + 4, &nan, 4);
  Stream::At() = 0;
  ASSERT_EQ(drevRender_Restore(Stream::Read), 0);
  RenderTest_Clock() += 10;
  drevRender_StepIris();
  // A short stream fails.
  Stream::Bytes().resize(20);
  Stream::At() = 0;
  EXPECT_EQ(drevRender_Restore(Stream::Read), 1);
}

}  // namespace
