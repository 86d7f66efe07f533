// A clip's clock, the audio sink and factory interfaces, and the audio
// bridge that plays clip audio through channel 2 and drives the clip clock
// by the audio actually handed to the device.
#pragma once

#include <atomic>
#include <cstdint>

class KineVideoClip;

class KineTimer {
 public:
  virtual ~KineTimer() = default;
  virtual float GetTime() { return time.load(); }
  // When not paused: time += speed x dt.
  virtual void Update(float dt);
  virtual void Pause() { paused = true; }
  virtual void Play() { paused = false; }
  virtual bool IsPaused() { return paused.load(); }
  virtual void Stop() {}
  virtual void SetSpeed(float s) { speed = s; }
  virtual float GetSpeed() { return speed.load(); }
  virtual void Seek(float t) { time = t; }

 protected:
  std::atomic<float> time{0.0f};
  std::atomic<float> speed{1.0f};
  std::atomic<bool> paused{false};
};

class KineAudioInterface {
 public:
  KineAudioInterface(KineVideoClip* clip, int channels, int frequency)
      : frequency(frequency), channels(channels), clip(clip) {}
  virtual ~KineAudioInterface() = default;
  // Interleaved float samples; count = frames x channels.
  virtual void QueueSamples(const float* samples, int count) = 0;

 protected:
  int frequency;
  int channels;
  KineVideoClip* clip;
};

class KineAudioInterfaceFactory {
 public:
  virtual ~KineAudioInterfaceFactory() = default;
  virtual KineAudioInterface* CreateInstance(KineVideoClip* clip, int channels, int frequency) = 0;
};
