// What the span rasterizer's driver, setups and walkers share: the canvas
// they draw into, as the current camera gives it, and the once-per-kind
// fault log.
#pragma once

#include <cstdint>

#include "raster/qxSpanRaster.h"

namespace qxspan {

// The current camera's canvas, held to its buffers: columns colFirst ..
// colLast and rows rowFirst .. rowLast (below 1024) lie inside the video
// buffer, and inside the depth buffer when zPixels is set.
struct Target {
  bool valid;  // a plain video buffer with at least one pixel
  uint8_t* pixels;
  int32_t stride;
  int32_t bpp;  // pixels are drawn on 8- and 16-bit canvases only
  uint8_t* zPixels;  // null: no usable depth buffer, no depth is written
  int32_t zStride;
  int32_t zShift;  // 0..16
  int32_t colFirst, colLast, rowFirst, rowLast;
};
Target CurrentTarget();

enum Fault {
  kNoCanvas,
  kNoDepthBuffer,
  kOtherDepth,
  kNoMaterial,
  kBadFace,
  kOutside,
  kNoTables,
  kBadTexture,
  kEdgeOutside,
  kEdgePoolFull,
  kFaultKinds
};
// Logs the fault the first time it happens.
void Report(Fault fault);

}  // namespace qxspan
