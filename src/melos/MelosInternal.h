// What the modules of the Melos library share among themselves: the music
// lock, the host-callback guards, the records of tracks, dispatches, streams
// and regions, and the entry points one module offers the others.
#pragma once

#include <atomic>
#include <cstdint>

#include "melos/Melos.h"

constexpr int MELOS_MAX_TRACKS = 16;
constexpr int MELOS_MAP_SIZE = 2048;
constexpr int MELOS_TRACK_RECORD = 72;
constexpr int MELOS_DISPATCH_RECORD = 2148;
constexpr int MELOS_DISPATCH_BLOCK = MELOS_MAX_TRACKS * MELOS_DISPATCH_RECORD;  // 34368
constexpr int MELOS_TRACK_BLOCK = MELOS_MAX_TRACKS * MELOS_TRACK_RECORD;        // 1152
constexpr int MELOS_FADE_BLOCK = 640;
constexpr int MELOS_TRIGGER_BLOCK = 2848;

// --- the music lock: recursive, with a holder count the heartbeat reads ----
void MelosLock_Create(void);
void MelosLock_Destroy(void);
void MelosLock_Enter(void);
void MelosLock_Leave(void);
int MelosLock_Holders(void);
struct MelosLockGuard {
  MelosLockGuard() { MelosLock_Enter(); }
  ~MelosLockGuard() { MelosLock_Leave(); }
  MelosLockGuard(const MelosLockGuard&) = delete;
  MelosLockGuard& operator=(const MelosLockGuard&) = delete;
};
bool Melos_IsStarted(void);

// Effective volume of a group (0..15).
int MelosGroups_Effective(int group);

// --- host guards: 0 or null when the entry is empty or the id is invalid ----
const uint8_t* MelosHost_Header(int32_t sound, uint32_t* size);
const uint8_t* MelosHost_SampleBase(int32_t sound, uint32_t* loadedSize);
void MelosHost_Trigger(const char* marker, const int32_t* args);
int32_t MelosHost_Seek(int32_t sound, int32_t offset, int32_t whence);
int32_t MelosHost_Read(int32_t sound, void* buffer, int32_t count);
MelosMemoryBlock* MelosHost_Block(int32_t index);

// --- records -----------------------------------------------------------------
struct MelosDispatch;

struct MelosTrack {
  MelosTrack* prev;
  MelosTrack* next;
  MelosDispatch* dispatch;
  int32_t sound;
  int32_t reserved;
  int32_t group;
  int32_t priority;
  int32_t volume;
  int32_t effectiveVolume;
  int32_t pan;
  int32_t detune;
  int32_t transpose;
  int32_t pitch;
  int32_t mailbox;
  std::atomic<int32_t> hook;  // read and written without the lock
};

struct MelosRegion {
  MelosRegion* prev;
  MelosRegion* next;
  int32_t inUse;
  uint32_t start;   // file offset
  uint32_t length;  // bytes
  int32_t tail;     // 1: a cross-fade tail, not part of the playing sequence
};

struct MelosStream {
  int32_t open;
  int32_t sound;
  uint32_t filePosition;
  uint32_t fileSize;  // 0: not measured yet
  int32_t block;
  uint8_t* ring;
  int32_t ringSize;
  int32_t readChunk;
  int32_t refill;
  int32_t reserve;
  int32_t write;
  int32_t read;
  int32_t endOfFile;
  std::atomic<int32_t> reset;
};

struct MelosDispatch {
  MelosTrack* track;
  int32_t bits, rate, channels, swap;
  uint32_t position;
  int32_t regionLeft;
  uint8_t map[MELOS_MAP_SIZE];  // host-order words; valid when its tag is "MAP "
  MelosStream* stream;
  int32_t streamBlock;
  MelosRegion* regions;
  int32_t end;
  uint8_t* fadeBuffer;
  int32_t fadeBufferIndex;
  int32_t fadeOffset, fadeHeld, fadeBits, fadeRate, fadeChannels, keep, skipped, fadeLevel,
      fadeStep;
  int32_t jumpReady;
};

// --- tracks ------------------------------------------------------------------
int MelosTracks_Init(void);
void MelosTracks_Terminate(void);
int MelosTracks_Count(void);
MelosTrack* MelosTracks_Get(int index);
MelosTrack* MelosTracks_Head(void);
// The first track in list order playing sound, or null (under the lock).
MelosTrack* MelosTracks_Find(int32_t sound);
int MelosTracks_Start(int32_t sound, int32_t priority, int32_t block);
void MelosTracks_Release(MelosTrack* track);
void MelosTracks_RecomputeVolumes(void);
void MelosTracks_SetPaused(int paused);
void MelosTracks_DeviceFill(void);
int MelosTracks_Save(uint8_t* buffer, int32_t room);
int MelosTracks_Restore(const uint8_t* buffer, uint32_t size);

// --- dispatch ----------------------------------------------------------------
int MelosDispatch_Init(void);
void MelosDispatch_Free(void);
MelosDispatch* MelosDispatch_Get(int index);
int MelosDispatch_Start(MelosTrack* track, int32_t block);
void MelosDispatch_Release(MelosDispatch* dispatch);
int MelosDispatch_Mix(MelosTrack* track, int frames, int rate);
void MelosDispatch_ProcessJumps(void);
int MelosDispatch_Save(uint8_t* buffer, int32_t room);
int MelosDispatch_Restore(const uint8_t* buffer, uint32_t size);
// After the tracks are relinked: reopen the streams of the playing tracks.
void MelosDispatch_Reopen(void);
// Validates a restored record; false fails that track.
bool MelosDispatch_RecordSound(int index);

// --- triggers, deferred commands and fades ----------------------------------
void MelosTimed_Init(void);
void Melos_FireTriggers(int32_t sound, const char* text);
void Melos_RemoveFades(int32_t sound, int32_t param);
void Melos_RemoveTriggers(int32_t sound);
int Melos_PendingStarts(int32_t sound);
void MelosFades_Step(void);
void MelosDeferred_Step(void);
int MelosTimed_SaveFades(uint8_t* buffer, int32_t room);
int MelosTimed_SaveTriggers(uint8_t* buffer, int32_t room);
int MelosTimed_RestoreFades(const uint8_t* buffer, uint32_t size);
int MelosTimed_RestoreTriggers(const uint8_t* buffer, uint32_t size);
// Runs command (1..29 library, 0 host callback, 30+ registered handler).
int MelosTimed_Run(int32_t command, const char* marker, const int32_t* args, bool trigger);
