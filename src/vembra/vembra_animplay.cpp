// The codec library's movie player.
#include "vembra/vembra_animplay.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "vembra/vembra_Services.h"
#include "vembra/vembra_animframe.h"
#include "vembra/vembra_sound.h"
#include "vembra/vembra_streamer.h"
#include "vembra/vembra_timer.h"

namespace {

constexpr int32_t kTicksPerSecond = 1193180;
constexpr int32_t kFileHeader = 8;  // the file's tag and size, before the first block
constexpr int32_t kPaletteBytes = 1024;
constexpr double kFrameMs = 66.6666666667;  // the pacing's unit: a frame at 15 per second

constexpr uint32_t Tag(const char (&t)[5]) {
  return VembraTag(t);
}
constexpr uint32_t kNull = Tag("null");
constexpr uint32_t kWait = Tag("wait");
constexpr uint32_t kEnd = Tag("end ");
constexpr uint32_t kSwap = Tag("swap");

}  // namespace

struct VembraAnimPlay {
  int syncTimer = 0;   // one-shot: marks the next frame due
  int frameTimer = 0;  // nominal frame period, follows the sound
  std::atomic<uint32_t> openFlags{0};  // read by the frame timer
  bool error = false;
  std::atomic<int32_t> frameDue{0};
  std::atomic<int32_t> syncTicks{0};
  int32_t targetDelay = 0;
  int32_t currentDelay = 0;
  const uint8_t* block = nullptr;
  int32_t frame = -1;
  int32_t frameCount = 1;
  int32_t blockSize = 0;
  uint32_t state = kNull;
  uint32_t appliedFlags = 0;
  bool rangeActive = false;
  int32_t seekTarget = -1;
  int32_t windowStart = -1;
  int32_t windowLength = -1;
  bool loopRequest = false;
  bool replay = false;
  bool abort = false;
  int pauseMode = 0;
  VembraStream* stream = nullptr;
  bool late = false;
  int lastResult = 0;
  std::atomic<bool> started{false};
};

namespace {

// What one step is given, handed through to the frame parser.
struct StepArgs {
  VembraBitmap* target;
  const VembraRect* clip;
  int32_t x, y;
  uint8_t* palette;
  uint32_t* frameFlags;
  uint32_t* paletteFlags;
  int32_t word1, word2;
};

struct PlayerModule {
  VembraMemory* memory = nullptr;
  VembraDebugPrint* debug = nullptr;
  VembraStreamerTable* streamer = nullptr;
  VembraAnimFrameTable* frame = nullptr;
  VembraBitmapTable* bitmap = nullptr;
  VembraTimerTable* timer = nullptr;
  VembraSoundTable* sound = nullptr;  // optional
  int32_t decodedFrames = 0;
  std::atomic<bool> audioHeld{false};
  int chunks = 8;  // sectors read ahead per step, 4..12
  int32_t lastShownFrame = -1;
  AnimVoiceClock clock = Sound_GetVoiceTimeMs;
};

PlayerModule g_player;

const char kModuleKey[] = "ORNMODULE=vembra_animplay";
const char kPlayKey[] = "ANIMPLAY=vembra";
const char kDebugKey[] = "DEBUG=vembra_animplay";

uint32_t BE32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
uint32_t LE32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
int32_t LE16s(const uint8_t* p) {
  return int16_t(uint16_t(p[0] | p[1] << 8));
}

template <typename... Args>
void DebugPrint(const char* format, Args... args) {
  if (g_player.debug && g_player.debug->Print) g_player.debug->Print(format, args...);
}

void ReleaseAudio() {
  if (g_player.audioHeld.exchange(false) && g_player.sound) g_player.sound->Release();
}

// The sync timer: the next frame is due.
void SyncTimerFired(int, void* context) {
  static_cast<VembraAnimPlay*>(context)->frameDue++;
}

// The frame timer counts nominal frame periods (it follows the sound through
// the timer's external correction). Once the picture has started, it holds
// the sound while the picture trails by more than 6 periods and lets it go
// again when the picture has caught up.
void FrameTimerFired(int, void* context) {
  auto* h = static_cast<VembraAnimPlay*>(context);
  if (!h->started) return;
  const int32_t ticks = h->syncTicks;
  if (h->openFlags & kAnimAudioHold) {
    if (g_player.audioHeld && ticks < 0) {
      ReleaseAudio();
    } else if (!g_player.audioHeld && ticks > 6 && g_player.sound) {
      g_player.audioHeld = true;
      g_player.sound->Hold();
    }
  } else if (ticks < 0) {
    ReleaseAudio();
  }
  if (h->syncTicks < 20 && !g_player.audioHeld) h->syncTicks++;
}

void ResetPlayState(VembraAnimPlay* h) {
  h->frame = -1;
  h->state = kNull;
  h->frameCount = 1;
  h->rangeActive = false;
  h->seekTarget = -1;
  h->windowStart = -1;
  h->windowLength = -1;
  h->abort = false;
  h->pauseMode = 0;
  h->loopRequest = false;
  h->replay = false;
  h->block = nullptr;
}

void SetRate(VembraAnimPlay* h, int fps) {
  if (!h || fps < 1) return;
  h->targetDelay = h->currentDelay = kTicksPerSecond / fps;
  if (g_player.timer) {
    g_player.timer->SetPeriod(h->syncTimer, h->currentDelay);
    g_player.timer->SetPeriod(h->frameTimer, h->targetDelay);
  }
}

void ResetSync(VembraAnimPlay* h) {
  if (!h) return;
  h->syncTicks = 0;
  if (g_player.timer) g_player.timer->SetPeriod(h->syncTimer, h->currentDelay);
}

// Whether the current frame is read but not rendered: outside the window, or
// before the seek target.
bool SkipFrame(VembraAnimPlay* h) {
  if (h->replay) return false;
  bool skip = false;
  if (h->rangeActive && h->windowLength >= 0 && h->frame > h->windowStart + h->windowLength) {
    skip = true;
  } else if (h->seekTarget >= 0) {
    if (h->frame < h->seekTarget)
      skip = true;
    else
      h->seekTarget = -1;
  }
  if (!skip) g_player.lastShownFrame = h->frame;
  return skip;
}

bool RestartReady(VembraAnimPlay* h) {
  return g_player.streamer->IsRestartReady(h->stream) != 0;
}

bool PreloadHasHeader() {
  return g_player.frame->GetPreload(-8) != nullptr;
}

// The next block of the current size: from the preload in replay, else from
// the stream. kVembraNotYet and kVembraTooLarge pass through; null is a
// restart point.
const uint8_t* ReadBlock(VembraAnimPlay* h) {
  if (h->replay) {
    const uint8_t* b = g_player.frame->GetPreload(h->blockSize);
    return b ? b : kVembraTooLarge;
  }
  return g_player.streamer->GetBlock(h->stream, h->blockSize);
}

void Render(VembraAnimPlay* h, const StepArgs& a) {
  const uint32_t flags = *a.frameFlags | h->appliedFlags;
  if (!(flags & kAnimNoClear) && a.target) VembraPixel_Clear(a.target, 0);
  const int32_t r =
      g_player.frame->ParseFrame(a.target, a.clip, a.x, a.y, a.palette, a.frameFlags,
                                 a.paletteFlags, flags, a.word1, a.word2, h->block, h->blockSize);
  if (r & 1) {
    g_player.frame->ResetDecoders();
    h->abort = true;
  }
  if (r & 2) ResetSync(h);
}

// The stream header: palette, frame count and rate.
void TakeHeader(VembraAnimPlay* h, const StepArgs& a) {
  h->appliedFlags = h->openFlags;
  const uint8_t* p = h->block;
  if (!(h->openFlags & kAnimNoPalette) && a.palette && h->blockSize >= 22 + kPaletteBytes) {
    memcpy(a.palette, p + 22, kPaletteBytes);
    *a.paletteFlags |= 3;
  }
  if (h->blockSize >= 4) h->frameCount = LE16s(p + 2);
  const uint32_t period = h->blockSize >= 18 ? LE32(p + 14) : 0;
  // A period above a second (below 1 frame per second) keeps the rate.
  if (period != 0 && period <= 1000000 && !(h->openFlags & kAnimIgnoreRate)) {
    SetRate(h, int(1000000 / period));
    ResetSync(h);
  }
}

// One advance of the block state machine.
int Advance(VembraAnimPlay* h, const StepArgs& a) {
  for (;;) {
    if (h->abort) {
      h->abort = false;
      return kAnimDead;
    }
    const uint32_t state = h->state;
    if (state == kNull) {
      if (h->loopRequest) {
        h->loopRequest = false;
        h->replay = true;
      }
      const uint8_t* header;
      if (h->replay) {
        header = g_player.frame->GetPreload(8);
        g_player.streamer->GetBlock(h->stream, -1);
        if (!header) {
          h->replay = false;
          h->windowStart = h->windowLength = -1;
          h->state = kWait;
          continue;
        }
      } else {
        header = g_player.streamer->GetBlock(h->stream, 8);
        if (!header) {  // the stream restarted from the file's beginning
          h->frame = -1;
          h->rangeActive = false;
          continue;
        }
        if (header == kVembraNotYet) return kAnimWaitingData;
        if (header == kVembraTooLarge) return kAnimStreamError;
      }
      h->state = BE32(header);
      const uint32_t size = BE32(header + 4);
      if (size > uint32_t(INT32_MAX - 1)) return kAnimStreamError;
      h->blockSize = int32_t(size + (size & 1));
      continue;
    }
    if (state == Tag("ANNO") || state == Tag("FLHD") || state == Tag("SHDR") ||
        state == Tag("FRME")) {
      const uint8_t* b = ReadBlock(h);
      if (b == kVembraNotYet) return kAnimWaitingData;  // the same block next time
      if (b == kVembraTooLarge) return kAnimStreamError;
      h->state = kNull;
      if (!b) {
        h->frame = -1;
        h->rangeActive = false;
        continue;
      }
      h->block = b;
      if (state == Tag("FLHD")) g_player.frame->Preparse(b, h->blockSize);
      if (state == Tag("SHDR")) TakeHeader(h, a);
      if (state != Tag("FRME")) continue;
      h->frame++;
      const bool last = h->frame >= h->frameCount - 1;
      const bool keepGoing = RestartReady(h) || h->loopRequest;
      if (SkipFrame(h)) {
        if (!last) continue;
        if (!keepGoing) h->state = kEnd;
        continue;
      }
      Render(h, a);
      if (!last || h->replay) {
        if (h->pauseMode == 1)
          h->state = kSwap;
        else if (h->pauseMode == 3)
          h->pauseMode = 1;
      } else if (!keepGoing) {
        h->state = kEnd;
      }
      if (h->replay) return kAnimShownReplay;
      if (h->frame < 10) return kAnimShownEarly;
      return last ? kAnimLastFrame : kAnimShown;
    }
    if (state == kEnd) {
      h->frame++;
      if (h->block && !SkipFrame(h)) Render(h, a);
      if (RestartReady(h) || (h->loopRequest && PreloadHasHeader())) h->state = kNull;
      return kAnimLastFrame;
    }
    if (state == kSwap) {
      if (h->block) Render(h, a);
      if (h->pauseMode != 1) {
        if (h->pauseMode == 3) h->pauseMode = 1;
        h->state = kNull;
      }
      return kAnimPaused;
    }
    if (state == kWait) {
      if (RestartReady(h) || (h->loopRequest && PreloadHasHeader())) h->state = kNull;
      return kAnimWaitingData;
    }
    const char c[4] = {char(state >> 24), char(state >> 16), char(state >> 8), char(state)};
    OrnShare_GetErrorPrinter()("Read invalid frame header %c%c%c%c -- CD may be dirty or damaged.",
                               c[0], c[1], c[2], c[3]);
    return kAnimStreamError;
  }
}

// The delay of the next frame follows the lag of the picture behind the
// sound, within 3/4 and 4/3 of the nominal period.
void AdjustDelay(VembraAnimPlay* h, int lag) {
  const int32_t target = h->targetDelay;
  int32_t& delay = h->currentDelay;
  const int last = h->lastResult;
  if (lag >= 1 || last == 2 || last == 3 || last == 4) {
    delay = std::min(delay, target);
    delay -= lag == 1 ? target / 16 : target / 8;
    delay = std::max({delay, int32_t(1), target * 3 / 4});
  } else if (lag <= -1) {
    delay = std::max(delay, target);
    delay += lag == -1 ? target / 16 : target / 8;
    delay = std::min(delay, target * 4 / 3);
  }
}

int Step(VembraAnimPlay* h, VembraBitmap* target, const VembraRect* clip, int32_t x, int32_t y,
         uint8_t* palette, uint32_t* frameFlags, uint32_t* paletteFlags, int32_t word1,
         int32_t word2) {
  if (!h) return kAnimDead;
  if (h->error) return kAnimDead;
  uint32_t localFrame = 0, localPalette = 0;
  StepArgs a{target, clip, x, y, palette, frameFlags ? frameFlags : &localFrame,
             paletteFlags ? paletteFlags : &localPalette, word1, word2};
  *a.paletteFlags = 0;
  // Read ahead: fewer sectors while the ring is well filled, more when not.
  if (g_player.streamer->FillPercent(h->stream) > 60)
    g_player.chunks = std::max(g_player.chunks - 1, 4);
  else
    g_player.chunks = std::min(g_player.chunks + 1, 12);
  if (g_player.streamer->Fill(h->stream, g_player.chunks * kVembraSector) == -2) {
    h->error = true;
    return h->lastResult = kAnimStreamError;
  }
  int result;
  if (h->lastResult == kAnimWaitingData) {
    *a.frameFlags = h->openFlags;
    result = Advance(h, a);
  } else if (h->frameDue == 0) {
    return kAnimNotDue;  // not remembered: the stream is not waiting
  } else {
    if (!h->started) g_player.decodedFrames = 0;
    const double clockMs = g_player.clock ? g_player.clock(0) : 0;
    const float behind = float(clockMs - g_player.decodedFrames * 66.66666666667);
    const int lag = int(double(behind) / kFrameMs);
    h->syncTicks--;
    h->frameDue = 0;
    AdjustDelay(h, lag);
    g_player.timer->SetPeriod(h->syncTimer, h->currentDelay);
    if (lag >= 3)
      h->late = true;
    else if (lag <= 0)
      h->late = false;
    *a.frameFlags = h->openFlags | (h->late && !(h->openFlags & kAnimNeverLate) ? kAnimLateFrame : 0);
    result = Advance(h, a);
    if (result == kAnimShownEarly) h->started = true;
  }
  if (result < 0) h->error = true;
  h->lastResult = result;
  return result;
}

int OpenFile(VembraAnimPlay* h, const char* path, uint32_t flags, int32_t windowLength,
             int32_t seekTarget, int loop) {
  if (!h || !path) return -1;
  h->loopRequest = loop != 0;
  h->openFlags = flags;
  if (g_player.streamer->Open(h->stream, path, kFileHeader) != 0) return -1;
  h->rangeActive = true;
  h->windowStart = h->frame;
  h->windowLength = windowLength;
  h->seekTarget = seekTarget;
  return 0;
}

void FreeHandle(VembraAnimPlay** out, VembraAnimPlay* h) {
  g_player.streamer->Destroy(&h->stream);
  h->~VembraAnimPlay();
  VEMBRA_FREE(g_player.memory, h);
  *out = nullptr;
}

int Open(VembraAnimPlay** out, const char* path, int fps, int32_t ringSize, int32_t largestBlock,
         uint32_t flags) {
  if (!out) return -1;
  *out = nullptr;
  if (fps < 1 || !path) return -1;  // below 1 frame per second there is no period
  void* memory = VEMBRA_ALLOC(g_player.memory, sizeof(VembraAnimPlay));
  if (!memory) return -1;
  auto* h = new (memory) VembraAnimPlay;
  if (g_player.streamer->Create(&h->stream, ringSize, largestBlock) != 0) {
    DebugPrint("AnimPlay Module: Cannot allocate streamer buffers");
    FreeHandle(out, h);
    return -1;
  }
  h->openFlags = flags;
  h->targetDelay = h->currentDelay = kTicksPerSecond / fps;
  g_player.streamer->Reset(h->stream);
  ResetPlayState(h);
  if (OpenFile(h, path, flags, -1, -1, 0) != 0) {
    DebugPrint("AnimPlay Module: Cannot open file %s", path);
    FreeHandle(out, h);
    return -1;
  }
  h->syncTimer = g_player.timer->Create(SyncTimerFired, 1, kVembraTimerOneShot, h);
  if (!h->syncTimer) {
    DebugPrint("AnimPlay Module: Cannot allocate sync timer");
    FreeHandle(out, h);
    return -1;
  }
  h->frameTimer =
      g_player.timer->Create(FrameTimerFired, h->targetDelay, kVembraTimerExternalSync, h);
  if (!h->frameTimer) {
    DebugPrint("AnimPlay Module: Cannot allocate frame timer");
    g_player.timer->Delete(h->syncTimer);
    FreeHandle(out, h);
    return -1;
  }
  *out = h;
  return 0;
}

void Close(VembraAnimPlay** handle) {
  if (!handle || !*handle) return;
  VembraAnimPlay* h = *handle;
  // Once Delete returns, the timer thread never calls back with this handle.
  g_player.timer->Delete(h->syncTimer);
  g_player.timer->Delete(h->frameTimer);
  ReleaseAudio();
  FreeHandle(handle, h);
  g_player.frame->ResetDecoders();
}

int32_t GetFrameDelayMs(VembraAnimPlay* h) {
  return h ? int32_t(int64_t(h->currentDelay) * 1000 / kTicksPerSecond) : 0;
}

void RenderOp(VembraAnimPlay*, VembraBitmap* bitmap, int32_t x, int32_t y, uint8_t* palette,
              uint32_t frameFlags, uint32_t paletteFlags) {
  g_player.frame->Display(bitmap, x, y, palette, frameFlags, paletteFlags, 0);
}

int IsOpenRange(VembraAnimPlay* h) {
  return h && h->rangeActive ? 1 : 0;
}

void Abort(VembraAnimPlay* h) {
  if (!h) return;
  g_player.frame->ResetDecoders();
  h->abort = true;
}

int SetPauseMode(VembraAnimPlay* h, int mode) {
  if (!h) return 0;
  if (mode == 2)
    h->pauseMode = h->pauseMode == 0 ? 1 : 0;
  else if (mode == 4)
    h->pauseMode = h->pauseMode != 0 ? 3 : 0;
  else if (mode != 5)
    h->pauseMode = mode;
  return h->pauseMode;
}

int IsReady(VembraAnimPlay* h) {
  return h && (h->lastResult == kAnimWaitingData || h->frameDue > 0) ? 1 : 0;
}

// Plays a movie to its end without returning, repeat times (0: for ever),
// into a render bitmap of 16-bit 5-6-5 pixels.
int PlayFile(const char* path, int fps, uint32_t flags, int32_t x, int32_t y, int32_t width,
             int32_t height, int32_t decoderWord, int32_t frameWord, AnimPlayCallback callback,
             int repeat, int32_t ringSize, int32_t largestBlock) {
  VembraBitmap* bitmap = nullptr;
  if (g_player.bitmap->Create(&bitmap, width, height, 3) != 0) {
    OrnShare_GetErrorPrinter()("Cannot allocate render bitmap.");
    return -1;
  }
  uint8_t palette[kPaletteBytes] = {};
  int result = 0;
  bool aborted = false;
  for (int round = 0; !aborted && (repeat == 0 || round < repeat); ++round) {
    VembraAnimPlay* h = nullptr;
    result = Open(&h, path, fps ? fps : 15, ringSize, largestBlock, flags);
    if (result != 0) break;
    for (;;) {
      uint32_t frameFlags = 0, paletteFlags = 0;
      const int r = Step(h, bitmap, nullptr, 0, 0, palette, &frameFlags, &paletteFlags,
                         decoderWord, frameWord);
      if (r >= 0 && r <= 2) {
        if (callback) callback(h, bitmap, palette, frameFlags, paletteFlags);
        RenderOp(h, bitmap, x, y, palette, frameFlags, paletteFlags);
        if (h->abort) aborted = true;
      }
      if (aborted || r == kAnimLastFrame || r < 0) break;
      if (r == kAnimNotDue || r == kAnimWaitingData)
        g_player.timer->Wait(g_player.timer->GetIncrement());
    }
    Close(&h);
  }
  g_player.bitmap->Free(&bitmap);
  return result;
}

VembraAnimPlayTable g_table = {PlayFile, Open,      GetFrameDelayMs, Step,         RenderOp,
                               Close,    IsOpenRange, Abort,         OpenFile,     SetPauseMode,
                               SetRate,  ResetSync, IsReady};

const char* Describe(int kind) {
  switch (kind) {
    case 0:
      return "Vembra AnimPlay";
    case 1:
      return "Vembra AnimPlay Debug Interface";
    case 2:
      return "This is the debugging interface for the Vembra Animation module.";
    default:
      return "";
  }
}

OrnDebugTable g_debugTable = {Describe, vembra_animframe_SetDebugFlags,
                              vembra_animframe_DebugFlags};

void Shutdown(void) {
  OrnShare_Release(g_player.memory);
  OrnShare_Release(g_player.debug);
  OrnShare_Release(g_player.streamer);
  OrnShare_Release(g_player.frame);
  OrnShare_Release(g_player.bitmap);
  OrnShare_Release(g_player.timer);
  OrnShare_Release(g_player.sound);
}

int Startup(void) {
  PlayerModule& p = g_player;
  p.memory = static_cast<VembraMemory*>(OrnShare_Subscribe("MEMORY.workspace", nullptr));
  p.debug = static_cast<VembraDebugPrint*>(OrnShare_Subscribe("VIRTHERC.debug", nullptr));
  p.streamer = static_cast<VembraStreamerTable*>(OrnShare_Subscribe("STREAMER.spooler", nullptr));
  p.frame = static_cast<VembraAnimFrameTable*>(OrnShare_Subscribe("ANIMFRAME.render", nullptr));
  p.bitmap = static_cast<VembraBitmapTable*>(OrnShare_Subscribe("BITMAP.buffers", nullptr));
  p.timer = static_cast<VembraTimerTable*>(OrnShare_Subscribe("TIMER.clocks", nullptr));
  p.sound = static_cast<VembraSoundTable*>(OrnShare_Subscribe("SOUND.lipsync", nullptr));
  const char* message = !p.memory     ? "AnimPlay Module: Cannot allocate memory services."
                        : !p.streamer ? "AnimPlay Module: Cannot allocate streamer services."
                        : !p.frame    ? "AnimPlay Module: Cannot allocate animframe services."
                        : !p.bitmap   ? "AnimPlay Module: Cannot allocate bitmap services."
                        : !p.timer    ? "AnimPlay Module: Cannot allocate timer services."
                                      : nullptr;
  if (message) {
    OrnShare_GetErrorPrinter()(message);
    Shutdown();
    return -1;
  }
  p.chunks = 8;
  p.audioHeld = false;
  return 0;
}

void Unregister(void) {
  OrnShare_Unpublish(kModuleKey);
  OrnShare_Unpublish(kPlayKey);
  OrnShare_Unpublish(kDebugKey);
}

OrnModuleTable g_module = {vembra_animplay_Register, Unregister, Startup, Shutdown};

}  // namespace

int vembra_animplay_Register(OrnShareServices* services, const char*) {
  services->Publish(kModuleKey, &g_module);
  services->Publish(kPlayKey, &g_table);
  services->Publish(kDebugKey, &g_debugTable);
  return 0;
}

VembraAnimPlayTable* vembra_animplay_Table(void) {
  return &g_table;
}

void vembra_animplay_SetVoiceClock(AnimVoiceClock clock) {
  g_player.clock = clock ? clock : Sound_GetVoiceTimeMs;
}

void Vembra_CountDecodedFrame(void) {
  g_player.decodedFrames++;
}

int32_t Vembra_DecodedFrames(void) {
  return g_player.decodedFrames;
}

int32_t vembra_animplay_CurrentDelay(const VembraAnimPlay* handle) {
  return handle ? handle->currentDelay : 0;
}

int32_t vembra_animplay_FrameNumber(const VembraAnimPlay* handle) {
  return handle ? handle->frame : -1;
}

int vembra_animplay_IsLate(const VembraAnimPlay* handle) {
  return handle && handle->late ? 1 : 0;
}
