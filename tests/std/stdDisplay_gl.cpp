// The display's front and back buffers on real surfaces (Xvfb + Mesa): a mode
// set makes two surface-backed buffers, painting goes through locks (the
// software back end's copy takes its own), a flip moves the finished picture
// to the front buffer, and setting the mode again or closing gives the
// surfaces up.
#include <gtest/gtest.h>

#include <cstdint>

#include "platform/kv_Platform.h"
#include "platform/kv_RenderHooks.h"
#include "std/std.h"
#include "std/stdDisplay.h"

namespace {

HostServices g_hs;

uint16_t FirstPixel(DisplayBuffer* b) {
  EXPECT_EQ(stdDisplay_LockBuffer(b), 1);
  const uint16_t v = b->pixels ? *static_cast<const uint16_t*>(b->pixels) : 0xFFFF;
  stdDisplay_UnlockBuffer(b);
  return v;
}

TEST(DisplayGL, ModeSetFlipAndClose) {
  HostServices_CopyDefaults(&g_hs);
  std_DefaultServices(&g_hs);
  std_Startup(&g_hs);
  ASSERT_EQ(kv_Platform_InitWindow(), 1);
  ASSERT_EQ(stdDisplay_Startup(), 1);
  ASSERT_EQ(stdDisplay_Open(0), 1);
  if (!stdDisplay_SetMode(0, nullptr, 1)) {
    stdDisplay_Close();
    kv_Platform_Shutdown();
    GTEST_SKIP() << "the render context's surfaces are not available in this build";
  }
  DisplayBuffer& front = stdDisplay_frontBuffer;
  DisplayBuffer& back = stdDisplay_backBuffer;
  ASSERT_NE(front.surface, nullptr);
  ASSERT_NE(back.surface, nullptr);
  EXPECT_EQ(kv_RenderHooks_GetFrontSurface(), front.surface);
  EXPECT_EQ(kv_RenderHooks_GetBackSurface(), back.surface);
  EXPECT_STREQ(front.name, "stdDisplay_frontBuffer");
  EXPECT_EQ(back.pageFlag, 1);
  EXPECT_EQ(back.format.width, 640);
  EXPECT_EQ(back.pixels, nullptr);  // unlocked

  // Paint the back buffer through a lock.
  ASSERT_EQ(stdDisplay_LockBuffer(&back), 1);
  ASSERT_NE(back.pixels, nullptr);
  stdDisplay_FillBuffer(&back, 0x1234, nullptr);
  stdDisplay_UnlockBuffer(&back);
  EXPECT_EQ(back.pixels, nullptr);

  // The flip makes the finished picture the front buffer's.
  stdDisplay_Flip();
  EXPECT_EQ(FirstPixel(&front), 0x1234);
  EXPECT_EQ(FirstPixel(&back), 0);

  // A copy from a plain buffer into the locked back buffer.
  BufferFormat f = back.format;
  DisplayBuffer* plain = stdDisplay_NewBuffer(&f, 0, 0, nullptr);
  ASSERT_NE(plain, nullptr);
  stdDisplay_FillBuffer(plain, 0x4321, nullptr);
  EXPECT_EQ(stdDisplay_Blit(&back, plain, 0, 0, nullptr, 0), 1);
  EXPECT_EQ(back.lockCount, 0);
  EXPECT_EQ(FirstPixel(&back), 0x4321);

  // The software back end's copy takes its own locks: a cutscene frame blitted
  // into the unlocked back buffer reaches it.
  stdDisplay_FillBuffer(plain, 0x5678, nullptr);
  Software_Blit(&back, back.surface, plain, plain->surface, 0, 0, nullptr, 0);
  EXPECT_EQ(back.lockCount, 0);
  EXPECT_EQ(FirstPixel(&back), 0x5678);
  stdDisplay_FreeBuffer(plain);

  // Setting the mode again makes new surfaces.
  kvSurface* oldFront = front.surface;
  ASSERT_EQ(stdDisplay_SetMode(0, nullptr, 0), 1);
  EXPECT_NE(front.surface, oldFront);
  stdDisplay_Close();
  EXPECT_EQ(front.surface, nullptr);
  EXPECT_EQ(kv_RenderHooks_GetFrontSurface(), nullptr);
  kv_Platform_Shutdown();
}

}  // namespace
