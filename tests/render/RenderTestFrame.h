// A frame's rings without GL: per-frame vertex buffers and constant blocks
// can be made and read, so that draw records are built and checked in plain
// tests. The render context's frame data points at it while it lives.
#pragma once

#include <gtest/gtest.h>

#include "gfx/kv_Buffer.h"
#include "gfx/kv_RenderContext.h"

class RenderTestFrame {
 public:
  RenderTestFrame() {
    EXPECT_TRUE(kv_FrameData_InitRings(&frame_, 256));
    previous_ = kv_RenderContext_Get()->frameData;
    kv_RenderContext_Get()->frameData = &frame_;
  }
  ~RenderTestFrame() {
    kv_FrameData_Reset(&frame_);
    kv_FrameData_FreeRings(&frame_);
    kv_RenderContext_Get()->frameData = previous_;
  }
  kvFrameData* Get() { return &frame_; }

 private:
  kvFrameData frame_{};
  kvFrameData* previous_ = nullptr;
};
