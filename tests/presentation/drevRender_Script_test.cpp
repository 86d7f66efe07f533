// The render module's script functions: handles by serial, argument checks
// and the rules the functions add to the module's operations.
#include <gtest/gtest.h>

#include "ScriptTestSupport.h"

namespace {

class RenderScript : public ScriptRenderTest {};

TEST_F(RenderScript, CachedRectangleHandles) {
  EXPECT_EQ(Run("assert(CacheRect(5, 5, 0, 10) == nil)"), 0);
  EXPECT_EQ(Run("assert(CacheRect('a', 5, 1, 1) == nil)"), 0);
  RenderTest_Fill(drevRender_GetCleanBuffer(), 0x0505);
  ASSERT_EQ(Run("kept = CacheRect(0, 0, 8, 8) assert(kept)"), 0);
  RenderTest_Fill(drevRender_GetCleanBuffer(), 0);
  ASSERT_EQ(Run("RestoreCacheRect(kept) RestoreCacheRect(nil) RestoreCacheRect(3)"), 0);
  EXPECT_EQ(RenderTest_Pixel(drevRender_GetCleanBuffer(), 1, 1), 0x0505);

  // After the records are freed the kept handle is ignored.
  drevRender_FreeCachedRects();
  RenderTest_Fill(drevRender_GetCleanBuffer(), 0);
  ASSERT_EQ(Run("RestoreCacheRect(kept)"), 0);
  EXPECT_EQ(RenderTest_Pixel(drevRender_GetCleanBuffer(), 1, 1), 0);

  // An actor that was not drawn gives nil.
  EXPECT_EQ(Run("assert(CacheRect(Actor(3)) == nil and MarkDirtyRect(Actor(3)) == nil)"), 0);
}

TEST_F(RenderScript, MarkDirtyRectAndForceRefresh) {
  drevRender_ClearDirtyRects();
  ASSERT_EQ(Run("MarkDirtyRect(5, 0, 10, 10) ForceRefresh()"), 0);
  DirtyRectInfo r[2];
  ASSERT_EQ(drevRender_GetDirtyRects(r, 2), 1);
  EXPECT_EQ(r[0].x, 4);
  EXPECT_EQ(r[0].zRestore, 1);
  EXPECT_EQ(drevRender_IsForceRefresh(), 1);
}

TEST_F(RenderScript, IrisGammaAndScreenShotRules) {
  EXPECT_EQ(Run("assert(IrisComplete() == 1)"), 0);
  EXPECT_EQ(Run("IrisDown(320, 240, 1000) assert(IrisComplete() == 0) IrisClear()"
                " assert(IrisComplete() == 1)"),
            0);
  GameState = kGameUserPaint;
  ASSERT_EQ(Run("SetGamma(1.5)"), 0);
  EXPECT_EQ(drevRender_GetGamma(), 1.0f);
  GameState = kGameRunning;
  ASSERT_EQ(Run("SetGamma(1.5) SetGamma('x')"), 0);
  EXPECT_EQ(drevRender_GetGamma(), 1.5f);

  EXPECT_EQ(Run("assert(ScreenShot(0, 188) == nil)"), 0);
  EXPECT_EQ(Run("shot = ScreenShot(250, 188) assert(shot)"
                " BlastImage(shot, 10, 10) FreeImage(shot) FreeImage(shot) BlastImage(shot, 0, 0)"),
            0);
  EXPECT_EQ(Run("assert(BlastRect(0, 0, 'x', 4) == nil and GetImage(3) == nil)"), 0);
  EXPECT_EQ(Run("assert(GetImage('missing.png') == nil and GetSaveGameImage('none.sav') == nil)"),
            0);
}

TEST_F(RenderScript, BlastRectColourFromTheTable) {
  RenderTest_Fill(display_, 0);
  ASSERT_EQ(Run("BlastRect(2, 2, 4, 4, {color = Color(255), filled = 1})"), 0);
  EXPECT_EQ(RenderTest_Pixel(display_, 3, 3), 0xf800);
  ASSERT_EQ(Run("BlastRect(10, 10, 12, 12)"), 0);
  EXPECT_EQ(RenderTest_Pixel(display_, 10, 10), 0xffff);
  EXPECT_EQ(RenderTest_Pixel(display_, 11, 11), 0);
}

}  // namespace
