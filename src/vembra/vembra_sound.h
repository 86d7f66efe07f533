// vembra_sound: the cutscene sound engine. Audio arrives as chunks inside the
// movie stream (built by the audio decoder); a first chunk starts a sound on
// a voice, later chunks append to it. Each voice owns a ring buffer and runs
// a small command program that says which bytes to play at which rate. The
// output driver calls Sound_Mix once per output block: the engine advances
// the movie clock by the block's audio time (the timer's externally
// synchronised timers follow it), runs each voice's program and hands pieces
// of samples to the mixer. Voices of class 1 are ducked while a voice of
// class 2 plays.
//
// Threads: the operations run on the main thread and the mix on the driver's
// fill thread; both take the engine's mutex. Sound_Hold and Sound_Release
// (called from the timer thread) only change an atomic count.
#pragma once

#include <cstdint>

#include "vembra/OrnShare.h"
#include "vembra/vembra_mixer.h"

constexpr int kSoundMaxVoices = 16;  // one per configured ring size
constexpr int32_t kSoundDefaultRing = 500000;
constexpr int kSoundNoKey = -255;
constexpr int kSoundTailBytes = 6144;

// Chunk flags: bits 6-7 give the voice class.
constexpr uint32_t kSoundClassDucked = 0x40;
constexpr uint32_t kSoundClassDucking = 0x80;

// Voice states.
enum SoundVoiceState : int {
  kVoiceFree = 0,  // free or ended
  kVoicePlaying = 1,
  kVoiceStarting = 2,
  kVoiceWaiting = 3,  // waiting for data
};

// The mix operation the driver calls for every block: frames output frames at
// the device rate, pieces added through add.
using SoundMixFn = void (*)(int frames, int deviceRate, MixerAddFn add);

// SNDDRIVER=vembra_dsnd: the output driver's table.
struct VembraSndDriverTable {
  int (*Open)(int rate, int reserved, SoundMixFn mix);  // 0 or -1
  void (*Close)(void);
  void (*SetVolume)(int volume);
  int (*GetVolume)(void);
  int (*Reserved4)(void);  // answers 0
  int (*GetRate)(void);
};

// SOUND=vembra: sixteen operations. Play takes the chunk's byte count as well:
// every field of a chunk is checked against the bytes that are there.
struct VembraSoundTable {
  int (*Play)(const uint8_t* chunk, int32_t size, int key, int volume, int pan, uint32_t flags);
  void (*StopKey)(int key);
  void (*Hold)(void);
  void (*Release)(void);
  void (*StopAll)(void);
  int (*GetVolume)(int key);
  void (*SetVolume)(int key, int value);
  int (*GetPan)(int key);
  void (*SetPan)(int key, int value);
  int (*GetDriverVolume)(void);
  void (*SetDriverVolume)(int volume);
  int (*GetDriverRate)(void);
  void (*SetRate)(int rate);
  int32_t (*GetPosition)(int key);
  int (*GetOption)(int type, int* a, int* b);
  int (*SetOption)(int type, int a, int b);
};

int vembra_sound_Register(OrnShareServices* services, const char* context);
// Registration options: pairs {key, value} ended by key 0 (taken at the next
// startup). 1 the driver subscription's context (a const char*), 2 the output
// rate handed to the driver, 3 the reserve kept free when a ring is shrunk,
// 4 a ring size (the first replaces the default 500000, each further one adds
// a voice; at most 16), 5 reverse stereo, 6 an int32_t* that receives the mix
// counter. -1 for another key or a 17th ring size.
int vembra_sound_Configure(const intptr_t* options);
VembraSoundTable* vembra_sound_Table(void);

// 0 when the chunk was taken (started or continued a sound), -1 when it was
// dropped or the engine is not open.
int Sound_Play(const uint8_t* chunk, int32_t size, int key, int volume, int pan, uint32_t flags);
void Sound_StopKey(int key);
void Sound_Hold(void);
void Sound_Release(void);
void Sound_StopAll(void);
int Sound_GetVolume(int key);
void Sound_SetVolume(int key, int value);
int Sound_GetPan(int key);
void Sound_SetPan(int key, int value);
int32_t Sound_GetPosition(int key);
// The play time of a voice three mixes ago, in whole milliseconds at the
// driver's rate; 0 for a voice that does not exist.
int32_t Sound_GetVoiceTimeMs(int voice);
// The mix of one output block (the driver's fill thread).
void Sound_Mix(int frames, int deviceRate, MixerAddFn add);

// For tests: a voice's state, fade level, written bytes and the duck level.
int Sound_VoiceState(int voice);
int Sound_VoiceFade(int voice);
int64_t Sound_VoiceWritten(int voice);
int Sound_DuckLevel(void);
int Sound_VoiceCount(void);
