// vembra_animframe: the frame parser of the cutscene stream format. A frame
// block is a run of sub-blocks (tag, big-endian size, payload, a pad byte
// after an odd size); each goes to the decoder module that claims its tag
// (FLOBDEC tables), and the parser itself handles the built-ins `npal`
// (palette change or fade), `stor`/`ftch` and `load`.
#pragma once

#include <cstdint>

#include "vembra/OrnShare.h"
#include "vembra/vembra_bitmap.h"

constexpr int kVembraMaxDecoders = 100;

// Four characters as a 32-bit value, the first in the most significant byte.
constexpr uint32_t VembraTag(const char (&t)[5]) {
  return uint32_t(uint8_t(t[0])) << 24 | uint32_t(uint8_t(t[1])) << 16 |
         uint32_t(uint8_t(t[2])) << 8 | uint32_t(uint8_t(t[3]));
}

// Decode result bits.
constexpr uint32_t kVembraDecodePicture = 0x01;
constexpr uint32_t kVembraDecodePalette = 0x02;
constexpr uint32_t kVembraDecodePalette2 = 0x04;
constexpr uint32_t kVembraDecodeResetSync = 0x80;
// A decoder's flag: its sub-blocks may be stored by `stor`.
constexpr uint32_t kVembraDecoderStorable = 0x10;

// FLOBDEC=<decoder>: published by every decoder module.
struct VembraFlobdec {
  const char* (*Describe)(int kind);
  uint32_t (*GetTag)(void);
  uint32_t (*GetFlags)(void);
  void (*Reset)(void);
  void (*Preparse)(const uint8_t* payload, int32_t size);
  uint32_t (*Decode)(VembraBitmap* target, const VembraRect* clip, int32_t x, int32_t y,
                     uint8_t* palette, const uint8_t* payload, int32_t size, uint32_t flags,
                     int32_t word1, int32_t word2);
  int (*Reserved6)(void);
  int (*GetInfo)(void* record, int kind, int32_t* out0, int32_t* out1, int32_t* out2,
                 int32_t* out3);
};

// ANIMFRAME=vembra.
struct VembraAnimFrameTable {
  void (*ResetDecoders)(void);
  void (*Preparse)(const uint8_t* payload, int32_t size);
  // 0, 2 when a decoder asked for a sync reset; bit 15 set when a bad tag
  // ended the frame early.
  int32_t (*ParseFrame)(VembraBitmap* target, const VembraRect* clip, int32_t x, int32_t y,
                        uint8_t* palette, uint32_t* frameFlags, uint32_t* paletteFlags,
                        uint32_t flags, int32_t word1, int32_t word2, const uint8_t* block,
                        int32_t size);
  void (*Display)(VembraBitmap* bitmap, int32_t x, int32_t y, uint8_t* palette, uint32_t frameFlags,
                  uint32_t paletteFlags, uint32_t flags);
  int32_t (*Load)(const uint8_t* payload, int32_t size);
  const uint8_t* (*GetPreload)(int32_t n);
};

int vembra_animframe_Register(OrnShareServices* services, const char* context);
// Tag list of pairs {tag, value} ended by 0: 1 store buffer size, 2 preload
// buffer size (taken at the next startup); -1 for another tag.
int vembra_animframe_Configure(const intptr_t* tags);
VembraAnimFrameTable* vembra_animframe_Table(void);
// The debug flag word shared with the player's debug table.
uint32_t vembra_animframe_DebugFlags(void);
void vembra_animframe_SetDebugFlags(uint32_t flags);
