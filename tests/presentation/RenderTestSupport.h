// A render module over in-memory 640x480 5-6-5 rasters: the 3D library and
// the services started once per program, the software back end registered
// as the only render-hook table, the module initialised, started and opened,
// and the calls out of it replaced by recording fakes.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/drevMain.h"
#include "engine/drevRoom.h"
#include "platform/kv_RenderHooks.h"
#include "render/SoftwareBackend.h"
#include "presentation/drevRender.h"
#include "quadrix/qxCore.h"
#include "std/std.h"
#include "std/stdDisplay.h"

inline HostServices* RenderTest_Services() {
  static HostServices hs;
  static bool started = false;
  if (!started) {
    HostServices_CopyDefaults(&hs);
    std_DefaultServices(&hs);
    std_Startup(&hs);
    qxCore_Startup(&hs);
    qxCore_Open(0);
    started = true;
  }
  return &hs;
}

// What the fakes record, in call order.
inline std::vector<std::string>& RenderTest_Log() {
  static std::vector<std::string> log;
  return log;
}
inline uint32_t& RenderTest_Clock() {
  static uint32_t ms = 1000;
  return ms;
}
inline Room*& RenderTest_Room() {
  static Room* room = nullptr;
  return room;
}

inline DisplayBuffer* RenderTest_NewRaster(int width = 640, int height = 480) {
  BufferFormat f{};
  f.width = width;
  f.height = height;
  f.format = {1, 16, 5, 6, 5, 11, 5, 0, 3, 2, 3, 0, 0, 0};
  return stdDisplay_NewBuffer(&f, 0, 0, nullptr);
}

inline uint16_t RenderTest_Pixel(DisplayBuffer* b, int x, int y) {
  return static_cast<const uint16_t*>(b->pixels)[y * b->format.pixelsPerRow + x];
}

inline void RenderTest_Fill(DisplayBuffer* b, uint16_t value) {
  auto* p = static_cast<uint16_t*>(b->pixels);
  std::fill(p, p + b->format.pixelsPerRow * b->format.height, value);
}

class RenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    hs_ = RenderTest_Services();
    kv_RenderHooks_ResetForTest();
    InitSoftwareBackend();
    GameState = kGameRunning;
    RenderTest_Log().clear();
    RenderTest_Clock() = 1000;
    RenderTest_Room() = &room_;
    drevRender_ResetForTest();
    drevRender_ResetCalls();
    drevRenderCalls& c = drevRender_Calls();
    c.roomGetCurrent = [] { return RenderTest_Room(); };
    c.totalMs = [] { return RenderTest_Clock(); };
    c.setFrameMs = [](uint32_t) {};
    c.frameSeconds = [] { return 0.0f; };
    display_ = RenderTest_NewRaster();
    z_ = RenderTest_NewRaster();
    ASSERT_EQ(drevRender_Initialize(hs_, &descriptor_), 0);
    ASSERT_EQ(drevRender_Startup(), 0);
    drevRender_SetBufferCount(1);
    RenderOptions options = {4, 3, 1, 1, 0, 0, 2};
    ASSERT_EQ(drevRender_OpenBuffers(display_, z_, 0, 0, 639, 479, &options), 1);
    drevRender_ClearDirtyRects();
  }
  void TearDown() override {
    drevRender_Shutdown();
    drevRender_FreeBuffers();
    drevRender_Uninitialize();
    drevRender_SetDebugFlags(kDebugSectors);
    drevRender_pDisplayRaster = nullptr;
    drevRender_pZRaster = nullptr;
    stdDisplay_FreeBuffer(display_);
    stdDisplay_FreeBuffer(z_);
    drevRender_ResetCalls();
    kv_RenderHooks_ResetForTest();
    GameState = kGameNone;
  }

  HostServices* hs_ = nullptr;
  ModuleDescriptor descriptor_{};
  Room room_{};
  DisplayBuffer* display_ = nullptr;
  DisplayBuffer* z_ = nullptr;
};
