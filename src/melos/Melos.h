// The Melos music library: sounds play on up to 16 tracks that are mixed into
// audio channel 0 at each heartbeat step; sounds follow the event map of their
// Melo data (regions, markers firing triggers, hook-selected jumps), stream
// through rings, and have parameters, fades, triggers and deferred commands.
// Results: 0 or positive on success; -1 general failure, -3 not on the list
// or data not yet buffered, -4 no track plays the sound, -5 bad argument,
// -6 no free entry.
#pragma once

#include <cstdint>
#include <type_traits>

// The tuning words the host sets before Melos_Init (see Melos_Config).
enum MelosConfigWord : int {
  MELOS_CFG_VOICE_RING = 0,
  MELOS_CFG_VOICE_CHUNK = 1,
  MELOS_CFG_VOICE_REFILL = 2,
  MELOS_CFG_MUSIC_RING = 3,
  MELOS_CFG_MUSIC_CHUNK = 4,
  MELOS_CFG_MUSIC_REFILL = 5,
  MELOS_CFG_LARGE_REGION_SIZE = 6,
  MELOS_CFG_LARGE_REGIONS = 7,
  MELOS_CFG_SMALL_REGION_SIZE = 8,
  MELOS_CFG_SMALL_REGIONS = 9,
  MELOS_CFG_CACHE_BUDGET = 10,
  MELOS_CFG_TRACKS = 11,
  MELOS_CFG_VOICE_EFFECT = 12,
  MELOS_CFG_SCRIPT_ENABLED = 13,
  MELOS_CFG_COUNT = 14,
};
// The fourteen configuration words (start values as before the host sets them).
int32_t* Melos_Config(void);

// A stream memory block of the host: block 1 the voice, block 2 the music.
struct MelosMemoryBlock {
  uint8_t* buffer;
  int32_t size;       // bytes
  int32_t readChunk;  // most bytes read per stream service
  int32_t refill;     // a stream holding fewer buffered bytes is hungry
};

// The host's callbacks, through which the library gets all sound data.
struct MelosHostCallbacks {
  // 0: the header of a resident sound (ids 100..131) and its size in bytes.
  const uint8_t* (*header)(int32_t sound, uint32_t* size);
  // 1: the sample base (base + file position = sample) and the loaded size:
  // positions at or past it hold no samples.
  const uint8_t* (*sampleBase)(int32_t sound, uint32_t* loadedSize);
  // 2: trigger callback (command 0): the marker text (null for a deferred
  // command) and the ten arguments.
  void (*trigger)(const char* marker, const int32_t* args);
  // 3: seek a stream file; returns the resulting position, negative on failure.
  int32_t (*seek)(int32_t sound, int32_t offset, int32_t whence);
  // 4: read from a stream file; returns the bytes read.
  int32_t (*read)(int32_t sound, void* buffer, int32_t count);
  // 5: the memory block of that index (1 or 2), or null.
  MelosMemoryBlock* (*memoryBlock)(int32_t index);
};
// The library's callback table, which the host fills.
MelosHostCallbacks* Melos_HostCallbacks(void);

// Parameter codes of sounds.
enum MelosParam : int32_t {
  MELOS_PARAM_VERSION = 0x0,
  MELOS_PARAM_PLAYING = 0x100,
  MELOS_PARAM_PENDING = 0x200,
  MELOS_PARAM_RESERVED = 0x300,
  MELOS_PARAM_GROUP = 0x400,
  MELOS_PARAM_PRIORITY = 0x500,
  MELOS_PARAM_VOLUME = 0x600,
  MELOS_PARAM_PAN = 0x700,
  MELOS_PARAM_DETUNE = 0x800,
  MELOS_PARAM_TRANSPOSE = 0x900,
  MELOS_PARAM_MAILBOX = 0xA00,
  MELOS_PARAM_STREAMED = 0x1800,
  MELOS_PARAM_BLOCK = 0x1900,
  MELOS_PARAM_POSITION = 0x1A00,
};

constexpr int32_t MELOS_SAVE_VERSION = 49;
constexpr int32_t MELOS_SAVE_ROOM = 80000;

int Melos_Init(void);
int Melos_Terminate(void);
int Melos_Pause(void);
int Melos_Resume(void);
int Melos_GroupVolume(int32_t group, int32_t value);
int Melos_StartSound(int32_t sound, int32_t priority);
int Melos_StartStream(int32_t sound, int32_t priority, int32_t block);
int Melos_StopSound(int32_t sound);
int Melos_StopAllSounds(void);
int Melos_NextSound(int32_t sound);
int Melos_GetParam(int32_t sound, int32_t param);
int Melos_SetParam(int32_t sound, int32_t param, int32_t value);
int Melos_SetHook(int32_t sound, int32_t hook);
int Melos_GetHook(int32_t sound);
// The library block (version 49): room must be at least 80000 bytes.
int Melos_Save(uint8_t* buffer, int32_t room);
// Reads a library block of size bytes; returns the bytes read, or negative.
int Melos_Restore(const uint8_t* buffer, uint32_t size);
// One step of the host's 16 ms heartbeat.
void Melos_Heartbeat(void);

// Triggers, deferred commands and fades. args: ten integers (null: zeros).
int Melos_SetTrigger(int32_t sound, const char* marker, int32_t command,
                     const int32_t* args = nullptr);
int Melos_CountTriggers(int32_t sound, const char* marker, int32_t command);
int Melos_ClearTriggers(int32_t sound, const char* marker, int32_t command);
int Melos_DeferCommand(int32_t ticks, int32_t command, const int32_t* args = nullptr);
int Melos_FadeParam(int32_t sound, int32_t param, int32_t target, int32_t ticks);
// A command of a trigger or deferred entry numbered 30 and above: called with
// the marker (null for deferred commands) and the ten arguments.
using MelosCommandHandler = void (*)(const char* marker, const int32_t* args);
// Registers a handler; returns its command number (30..45), -6 when full.
int Melos_RegisterCommand(MelosCommandHandler handler);

// Streams.
int Melos_ServiceStreams(void);
int Melos_SwitchStream(int32_t oldSound, int32_t newSound, int32_t fadeMs, int32_t keepA,
                       int32_t keepB);
int Melos_GetStreamInfo(int32_t sound, int32_t* size, int32_t* threshold, int32_t* buffered,
                        int32_t* end);
int Melos_FeedStream(int32_t sound, const uint8_t* data, int32_t length, int32_t end);

// Runs a library operation by number with its arguments in order (0..29).
int Melos_CommandV(int32_t code, const intptr_t* args, int count);
template <typename T>
intptr_t Melos_Arg(T value) {
  if constexpr (std::is_pointer_v<T>)
    return reinterpret_cast<intptr_t>(value);
  else
    return static_cast<intptr_t>(value);
}
template <typename... A>
int Melos_Command(int32_t code, A... args) {
  const intptr_t list[] = {Melos_Arg(args)..., 0};
  return Melos_CommandV(code, list, static_cast<int>(sizeof...(A)));
}

// Recording of the mix (see MelosMixer.h).
int Melos_StartRecording(const char* path, int wait);
void Melos_StopRecording(void);

// The music script's commands (see MelosScript.h): the music state queued by
// the scripts, a sequence, the cue point (no effect; 0) and an attribute. Each
// answers -1 before the music script is started.
int Melos_SetState(int state);
int Melos_SetSequence(int sequence);
int Melos_SetCuePoint(int cue);
int Melos_SetAttribute(int attribute, int value);
