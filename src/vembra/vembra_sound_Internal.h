// The cutscene sound engine's state, shared by its chunk side
// (vembra_sound.cpp) and its mix side (vembra_sound_Mix.cpp). Every field is
// guarded by SoundEngine::mutex unless it is an atomic.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

#include "vembra/vembra_Services.h"
#include "vembra/vembra_sound.h"
#include "vembra/vembra_timer.h"

struct SoundVoice {
  // The voice and the sound it holds, as the chunks set them up.
  uint8_t* ring = nullptr;     // owned, size bytes
  uint8_t* scratch = nullptr;  // owned, the tail of a replaced sound
  int32_t size = 0;
  // A single-chunk sound larger than the ring is kept whole in a buffer of
  // its own (owned, wholeSize bytes; kept for reuse until the voice closes).
  uint8_t* whole = nullptr;
  int32_t wholeSize = 0;
  uint8_t* sound = nullptr;   // where the sound's program and data are: ring or whole
  int32_t programOffset = 0;  // of the command program in the sound's buffer
  int32_t programLength = 0;
  int32_t dataOffset = 0;  // of the sample data in the sound's buffer
  int32_t dataRoom = 0;    // buffer bytes for samples
  int volume = 127;        // 0..127
  int pan = 0;             // -127..127
  int state = kVoiceFree;
  int format = 0;
  uint32_t flags = 0;
  int key = kSoundNoKey;
  int age = 0;
  int64_t written = 0;  // sample bytes received so far
  int64_t length = 0;   // sample bytes of the whole sound
  int trackId = 0;
  int chunkIndex = 0;
  int chunkCount = 0;
  std::array<int64_t, 3> history{};  // play positions of the last three mixes

  // Playback, taken over from the fields above when the mix starts the sound.
  int32_t command = 0;  // offset of the next command in the program
  const uint8_t* playSound = nullptr;  // the sound's buffer while it plays
  int32_t playProgram = 0, playProgramLength = 0;
  int32_t playData = 0, playRoom = 0;
  int playFormat = 0;
  int64_t position = 0;  // byte of the sound played next
  int64_t left = 0;      // bytes left in the current play command
  int rate = 24000;
  int previousState = kVoiceFree;
  int64_t lastPiece = -1;  // start and size of the piece played last
  int32_t lastPieceBytes = 0;
  int fade = 0;  // 0..16
  bool replacedPlaying = false;  // a playing sound was replaced: fade in from 0
  int64_t loopBase = 0, loopLeft = 0;
  // The tail of a replaced or skipped sound, in scratch.
  int tailRate = 0, tailVolume = 0, tailFormat = 0;
  int32_t tailLeft = 0, tailPosition = 0;
};

struct SoundEngine {
  std::mutex mutex;
  std::atomic<int> pauseCount{0};
  bool open = false;
  // Registration options.
  const char* driverContext = nullptr;
  int outputRate = 24000;
  int32_t reserve = 64000;
  std::array<int32_t, kSoundMaxVoices> ringSizes{kSoundDefaultRing};
  int ringSizeCount = 1;
  bool ringSizesGiven = false;
  bool reverseStereo = false;
  int32_t* mixCounterOut = nullptr;
  // Services.
  VembraMemory* memory = nullptr;
  VembraTimerTable* timer = nullptr;
  VembraSndDriverTable* driver = nullptr;
  // Voices and engine state.
  std::array<SoundVoice, kSoundMaxVoices> voices;
  int voiceCount = 0;
  std::array<uint8_t, 256> variables{};
  int master = 127;
  int defaultRate = 24000;
  int duckLevel = 256, duckFloor = 64, duckSpeed = 256;
  bool resetRequest = false;
  int32_t mixCounter = 0;
  std::array<bool, 3> outputs{true, true, true};  // options 3, 4, 5
  // The movie clock: ticks of 1/1193180 s times the device rate, and a mark.
  int64_t clockAccumulator = 0;
  int32_t clockMark = 0;
  bool clockMarkSet = false;
};

SoundEngine& Sound_Engine(void);

// Frame size of a voice format (1, 2 or 4 bytes).
int Sound_FrameBytes(int format);
// Copies kSoundTailBytes bytes of the voice's current sound from the play
// position into its scratch buffer as a tail (0x80 where the data ends), with
// the current rate, format and volume. Engine mutex held.
void Sound_MakeTail(SoundVoice& v, int volume);
// Ends the sound of a voice (key none, state free). Engine mutex held.
void Sound_EndVoice(SoundVoice& v);
