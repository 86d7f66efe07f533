// vembra_blocky16_flobdec: the Blocky16 video decoder (`Bl16` sub-blocks).
// Pictures are decoded into three rotating 16-bit buffers: the current one,
// reference 2 (the previous picture, source of motion vectors) and
// reference 1 (the one before it). Frame methods: 0 raw, 1 half resolution
// doubled, 2 block coding (8x8 blocks copied along motion vectors, filled,
// painted with two-colour edge patterns or split into 4x4 and 2x2 blocks),
// 3 and 4 reference copies, 5 run-length coded, 6 indexed, 7 indexed half
// resolution, 8 indexed run-length coded. The finished picture is drawn into
// the caller's target or handed to an output hook. Main thread only.
#pragma once

#include <cstdint>

#include "vembra/OrnShare.h"
#include "vembra/vembra_animframe.h"

constexpr int32_t kBl16HeaderBytes = 560;  // the frame header before the coded data
constexpr int32_t kBl16MaxSize = 2048;     // width and height are 1..2048
constexpr int kBl16MotionVectors = 245;    // the entries opcodes 0..244 use

// The output hook: gets the buffer that holds the picture and the remap
// table (null unless one was built for the target); its result is Decode's.
using Bl16OutputHook = uint32_t (*)(VembraBitmap* target, const VembraRect* clip, int32_t x,
                                    int32_t y, VembraBitmap* picture, uint8_t* palette,
                                    const uint16_t* remap);

int vembra_blocky16_Register(OrnShareServices* services, const char* context);
// Pairs {tag, value} ended by tag 0: tag 1 sets the output hook (a
// Bl16OutputHook, 0 removes it); -1 for another tag.
int vembra_blocky16_Configure(const intptr_t* tags);
VembraFlobdec* vembra_blocky16_Table(void);

// The motion vector table: entry v as (dx, dy).
void Blocky16_MotionVector(int v, int* dx, int* dy);
// The pixels of list A of pattern p (0..255) of the n x n table (n 4 or 8) as
// a mask: bit y x n + x is set for a pixel of list A.
uint64_t Blocky16_PatternMask(int n, int p);
// The average of two 5-6-5 pixels, channel by channel (floor).
uint16_t Blocky16_Average(uint16_t a, uint16_t b);
