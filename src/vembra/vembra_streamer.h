// vembra_streamer: reads a movie file ahead into a ring of 2048-byte sectors
// and hands the player contiguous blocks out of it. A block that wraps around
// the ring's end is made contiguous in an extension area behind the ring.
#pragma once

#include <cstdint>

#include "vembra/OrnShare.h"

constexpr int32_t kVembraSector = 2048;

struct VembraStream;
using VembraStreamStatus = void (*)(int code, const char* name);

// STREAMER=vembra_streamer.
struct VembraStreamerTable {
  // 0, or -1 (no memory, a ring below 2048 bytes or a largest block below 8).
  int (*Create)(VembraStream** out, int32_t size, int32_t largestBlock);
  void (*Destroy)(VembraStream** stream);
  // With a path: checks that it opens and keeps it; without: the current file
  // again. The next Fill opens it at the offset. 0 or -1.
  int (*Open)(VembraStream* stream, const char* path, int32_t offset);
  int (*IsRestartReady)(VembraStream* stream);
  // One read of at most maxBytes; -2 when a pending open fails, else 0.
  int (*Fill)(VembraStream* stream, int32_t maxBytes);
  // n contiguous bytes; kVembraNotYet, kVembraTooLarge, or null at a restart
  // point. A negative n only releases the previous block.
  uint8_t* (*GetBlock)(VembraStream* stream, int32_t n);
  void (*Reset)(VembraStream* stream);
  int (*FillPercent)(VembraStream* stream);
};

// GetBlock's two failure answers, pointer-valued as the table returns them.
#define kVembraNotYet (reinterpret_cast<uint8_t*>(intptr_t(-1)))
#define kVembraTooLarge (reinterpret_cast<uint8_t*>(intptr_t(-2)))

int vembra_streamer_Register(OrnShareServices* services, const char* context);
VembraStreamerTable* vembra_streamer_Table(void);
// The test hooks of the stream record: sizes of the ring.
int32_t vembra_streamer_RingSize(const VembraStream* stream);
