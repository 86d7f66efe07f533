// The movie audio bridge: clip audio as 16-bit samples in one process-wide
// 2 MB ring, moved to audio channel 2 in 6144-byte blocks by the thread
// "FMV_AUDIO_UPDATE"; each block advances the clip clock by its duration.
#pragma once

#include <atomic>
#include <cstdint>

#include "video/KineTimer.h"

struct kv_Thread;

constexpr int KVAUDIO_RING_BYTES = 2097152;
constexpr int KVAUDIO_BLOCK_BYTES = 6144;
constexpr int KVAUDIO_RATE = 48000;

// The operations of the output channel the bridge writes, replaceable so
// that tests can step the thread body over a channel of their own.
struct kvaudio_Channel {
  void (*waitFree)(int channel);
  void (*lock)(int channel);
  void (*unlock)(int channel);
  uint8_t* (*getBuffer)(int channel);
  int (*getWriteBlock)(int channel);
  void (*commitBlock)(int channel);
  void (*signalFilled)(int channel);
  int (*isActive)(int channel);
};
// Null restores audio channel 2 of the device.
void kvaudio_SetChannel(const kvaudio_Channel* channel);

// 32767 above 1.0, -32767 below -1.0, else x x 32767 truncated toward zero.
int16_t kvaudio_FloatToSample(float x);

struct kvaudio_AudioRing {
  uint8_t samples[KVAUDIO_RING_BYTES];
  std::atomic<uint32_t> writePosition;
  std::atomic<uint64_t> bytesWritten;
  std::atomic<uint64_t> bytesConsumed;
  std::atomic<uint32_t> readPosition;
  std::atomic<float> starvation;
  std::atomic<bool> finished;
  std::atomic<bool> overrunLogged;
};
extern kvaudio_AudioRing g_kvaudioRing;

class kvaudio_AudioInterface : public KineAudioInterface, public KineTimer {
 public:
  // Opens channel 2, makes this bridge the clip's clock, resets the ring and
  // starts the thread (tests step the body by hand with startThread false).
  kvaudio_AudioInterface(KineVideoClip* clip, int channels, int frequency, bool startThread = true);
  ~kvaudio_AudioInterface() override;
  // Converts to 48000 Hz stereo 16-bit samples into the ring.
  void QueueSamples(const float* samples, int count) override;
  // The time moves only with consumed audio.
  void Update(float) override {}
  bool IsFinished() const;
  // Adds to the timer time (nothing calls it).
  void AddTime(float seconds) { time = time.load() + seconds; }
  // One pass of the thread body at tick `now` (ms), the previous pass at
  // `last`: sends one block when a whole one waits, else counts starvation.
  // Returns true when a block was sent.
  bool Step(uint32_t now, uint32_t last);

 private:
  static int ThreadBody(void* record);
  void PutFrame(int16_t left, int16_t right);

  int blockSize = KVAUDIO_BLOCK_BYTES;
  KineVideoClip* clip;
  kv_Thread* thread = nullptr;
  // Rate conversion by nearest-sample stepping: output frames owed per
  // input frame accumulate here, in units of 1 / input rate.
  int64_t ratePhase = 0;
};

class kvaudio_AudioInterfaceFactory : public KineAudioInterfaceFactory {
 public:
  KineAudioInterface* CreateInstance(KineVideoClip* clip, int channels, int frequency) override;
};
