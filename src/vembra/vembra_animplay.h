// vembra_animplay: the movie player. One handle plays one movie stream: it
// owns the stream buffer of the file, walks the stream's top-level blocks
// (SHDR, FLHD, ANNO, FRME) with a small state machine, hands each frame to the
// frame parser, and paces the frames against two timers and the sound
// engine's voice clock so that picture and sound stay together.
//
// Threads: the steps run on the main thread; the timer callbacks run on the
// timer thread and only touch the handle's two counters and the audio-hold
// flag, which are atomics.
#pragma once

#include <cstdint>

#include "vembra/OrnShare.h"
#include "vembra/vembra_bitmap.h"

struct VembraAnimPlay;

// Open flags.
constexpr uint32_t kAnimAudioHold = 0x1;       // hold and release the audio with the frame timer
constexpr uint32_t kAnimNeverLate = 0x2;       // never mark frames late
constexpr uint32_t kAnimNoClear = 0x4;         // do not clear the target before each frame
constexpr uint32_t kAnimIgnoreRate = 0x8;      // keep the rate given at open
constexpr uint32_t kAnimNoPalette = 0x2000;    // do not take the palette of SHDR
constexpr uint32_t kAnimNoDisplay = 0x4000;    // no display blit
constexpr uint32_t kAnimLateFrame = 0x8000;    // set per frame: this frame is late

// Step results.
enum AnimStepResult : int {
  kAnimStreamError = -2,
  kAnimDead = -1,
  kAnimShown = 0,
  kAnimShownEarly = 1,  // one of the first ten frames
  kAnimShownReplay = 2,
  kAnimPaused = 3,
  kAnimLastFrame = 4,
  kAnimWaitingData = 5,
  kAnimNotDue = 6,
};

// Called after each shown frame of PlayFile; it may abort the handle.
using AnimPlayCallback = void (*)(VembraAnimPlay* handle, VembraBitmap* bitmap, uint8_t* palette,
                                  uint32_t frameFlags, uint32_t paletteFlags);

// ANIMPLAY=vembra: thirteen operations.
struct VembraAnimPlayTable {
  int (*PlayFile)(const char* path, int fps, uint32_t flags, int32_t x, int32_t y, int32_t width,
                  int32_t height, int32_t decoderWord, int32_t frameWord,
                  AnimPlayCallback callback, int repeat, int32_t ringSize, int32_t largestBlock);
  int (*Open)(VembraAnimPlay** out, const char* path, int fps, int32_t ringSize,
              int32_t largestBlock, uint32_t flags);
  int32_t (*GetFrameDelayMs)(VembraAnimPlay* handle);
  int (*Step)(VembraAnimPlay* handle, VembraBitmap* target, const VembraRect* clip, int32_t x,
              int32_t y, uint8_t* palette, uint32_t* frameFlags, uint32_t* paletteFlags,
              int32_t word1, int32_t word2);
  void (*Render)(VembraAnimPlay* handle, VembraBitmap* bitmap, int32_t x, int32_t y,
                 uint8_t* palette, uint32_t frameFlags, uint32_t paletteFlags);
  void (*Close)(VembraAnimPlay** handle);
  int (*IsOpenRange)(VembraAnimPlay* handle);
  void (*Abort)(VembraAnimPlay* handle);
  int (*OpenFile)(VembraAnimPlay* handle, const char* path, uint32_t flags,
                  int32_t windowLength, int32_t seekTarget, int loop);
  int (*SetPauseMode)(VembraAnimPlay* handle, int mode);
  void (*SetRate)(VembraAnimPlay* handle, int fps);
  void (*ResetSync)(VembraAnimPlay* handle);
  int (*IsReady)(VembraAnimPlay* handle);
};

int vembra_animplay_Register(OrnShareServices* services, const char* context);
VembraAnimPlayTable* vembra_animplay_Table(void);

// The voice clock the pacing reads, in milliseconds (voice 0). It is the
// sound engine's Sound_GetVoiceTimeMs; tests put a fake in its place (null
// restores it).
using AnimVoiceClock = int32_t (*)(int voice);
void vembra_animplay_SetVoiceClock(AnimVoiceClock clock);

// The library-wide count of decoded video frames: the video decoder counts
// every frame it decodes; the player resets it until a movie's first frames
// were shown.
void Vembra_CountDecodedFrame(void);
int32_t Vembra_DecodedFrames(void);

// For tests: the handle's current frame delay in timer ticks, its frame
// number and its late flag.
int32_t vembra_animplay_CurrentDelay(const VembraAnimPlay* handle);
int32_t vembra_animplay_FrameNumber(const VembraAnimPlay* handle);
int vembra_animplay_IsLate(const VembraAnimPlay* handle);
