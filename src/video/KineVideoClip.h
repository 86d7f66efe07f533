// The playable clip: a clock, a fixed ring of decoded frames, an optional
// audio sink, and the rules that turn clock time into the frame to show.
// Codec work is in the virtual operations (KineVideoClip_Theora).
#pragma once

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <string>

#include "video/KineBase.h"
#include "video/KineDataSource.h"
#include "video/KineTimer.h"
#include "video/KineYuvConvert.h"

class KineVideoClip;
class KineWorkerThread;

class KineVideoFrame {
 public:
  explicit KineVideoFrame(KineVideoClip* clip);
  virtual ~KineVideoFrame() = default;
  // Converts (or copies a packed source) into the buffer; then ready.
  virtual void Decode(const KineConversionJob& job);
  int GetWidth() const;
  int GetHeight() const;
  int GetStride() const;
  uint8_t* GetBuffer() { return buffer.get(); }
  // Clears ready and in use.
  void Clear() { ready = inUse = false; }

  KineVideoClip* parent;
  std::unique_ptr<uint8_t[]> buffer;
  size_t bufferSize = 0;
  int number = 0;
  float timeToDisplay = 0.0f;
  bool ready = false;
  bool inUse = false;
  int iteration = 0;
  int bytesPerPixel = 0;
};

class KineFrameQueue {
 public:
  explicit KineFrameQueue(KineVideoClip* clip) : parent(clip) {}
  ~KineFrameQueue() { frames.clear(); }
  void SetSize(int n);
  int GetSize() const { return count.load(); }
  KineVideoFrame* TakeFreeFrame();
  KineVideoFrame* PeekReady();
  void Pop();
  void Clear();
  // Frees a frame taken for a decode step that found nothing to decode.
  void Release(KineVideoFrame* frame);
  int CountReady();
  int CountInUse();
  bool IsFull();
  void Lock() { mutex.Lock(); }
  void Unlock() { mutex.Unlock(); }
  KineVideoFrame* CreateFrame();
  // The frame at the front, whatever its flags (for the loop clean-up).
  std::list<std::unique_ptr<KineVideoFrame>>& GetFrames() { return frames; }

 private:
  std::list<std::unique_ptr<KineVideoFrame>> frames;
  // Read by workers choosing a clip while the main thread may resize.
  std::atomic<int> count{0};
  KineVideoClip* parent;
  KineMutex mutex;
};

class KineVideoClip {
 public:
  // Takes ownership of the source.
  KineVideoClip(KineDataSource* source, int outputMode, int precachedFrames, bool powerOfTwoStride);
  virtual ~KineVideoClip();
  KineVideoClip(const KineVideoClip&) = delete;
  KineVideoClip& operator=(const KineVideoClip&) = delete;

  virtual void PerformSeek() = 0;
  virtual bool ReadMoreData() = 0;
  virtual float DecodeAudio() = 0;
  virtual void Load(KineDataSource* source) = 0;
  virtual void Restart() = 0;
  virtual std::string GetDecoderName() = 0;
  virtual bool DecodeFrame() = 0;
  virtual void DeliverAudio() = 0;

  void Update(float dt);
  KineVideoFrame* GetNextFrame();
  void PopFrame();
  float AdvanceToNextFrame();
  void SetOutputMode(int mode);
  int GetOutputMode() const { return outputMode.load(); }
  bool IsBusy() const { return assignedWorker.load() || outputMode != requestedOutputMode; }

  float GetTime() { return clock.load()->GetTime(); }
  void Play() { clock.load()->Play(); }
  void Pause() { clock.load()->Pause(); }
  bool IsPaused() { return clock.load()->IsPaused(); }
  void SetSpeed(float s) { clock.load()->SetSpeed(s); }
  float GetSpeed() { return clock.load()->GetSpeed(); }
  void SetTimer(KineTimer* timer) { clock = timer ? timer : ownClock.get(); }
  KineTimer* GetTimer() { return clock.load(); }

  void Seek(float seconds);
  void SeekToFrame(int frame);
  void Stop();
  void Rewind();
  bool IsDone();
  int GetReadyFrameCount();
  float GetPrecachedReadyCount();
  int GetPrecachedFrameCount() { return frameQueue ? frameQueue->GetSize() : 0; }
  void SetPrecachedFrameCount(int n);
  void WaitForCache(float factor, float maxSeconds);
  bool IsWaitingForCache() const { return waitingForCache.load(); }
  void SetAudioInterface(KineAudioInterface* sink);
  KineAudioInterface* GetAudioInterface() { return audioSink.get(); }
  void SetAudioGain(float g);
  float GetAudioGain() const { return audioGain; }
  void SetAutoRestart(bool flag);
  bool GetAutoRestart() const { return autoRestart; }

  const std::string& GetName() const { return name; }
  int GetWidth() const { return alpha ? width / 2 : width; }
  int GetHeight() const { return height; }
  int GetPictureWidth() const { return pictureWidth; }
  int GetPictureHeight() const { return pictureHeight; }
  // The visible region's offset in the coded frame, from its top-left.
  int GetPictureX() const { return pictureX; }
  int GetPictureY() const { return pictureY; }
  int GetStride() const { return stride; }
  float GetDuration() const { return duration; }
  float GetFps() const { return fps; }
  float GetPriority() const { return priority; }
  void SetPriority(float p) { priority = p; }
  KineFrameQueue* GetFrameQueue() { return frameQueue.get(); }
  int GetDroppedFrames() const { return droppedFrames; }
  int GetDisplayedFrames() const { return displayedFrames; }
  int GetFrameCount() const { return frameCount; }
  int GetSeekFrame() const { return seekFrame.load(); }
  int GetIteration() const { return iteration; }
  int GetShownIteration() const { return shownIteration; }
  bool IsRestarted() const { return restarted.load(); }
  // Bytes per pixel of the frames of the requested mode.
  int GetRequestedOutputMode() const { return requestedOutputMode.load(); }

  // The worker decoding the clip now (set under the manager's mutex,
  // cleared under the clip mutex).
  std::atomic<KineWorkerThread*> assignedWorker{nullptr};
  // Entries of this clip in the manager's pick history.
  int pickCount = 0;
  // Held by a worker for a whole decode step.
  KineMutex clipMutex;
  // Set by a decode step that met the end of the data.
  std::atomic<bool> lastStepMetEnd{false};

 protected:
  std::unique_ptr<KineFrameQueue> frameQueue;
  std::unique_ptr<KineAudioInterface> audioSink;
  std::unique_ptr<KineDataSource> dataSource;
  std::atomic<KineTimer*> clock{nullptr};
  std::unique_ptr<KineTimer> ownClock;
  bool alpha = false;
  std::atomic<bool> waitingForCache{false};
  int droppedFrames = 0;
  int displayedFrames = 0;
  int precachedFrames;
  std::atomic<int> seekFrame{-1};
  float duration = -1.0f;
  float frameDuration = 0.0f;
  float fps = 1.0f;
  float priority = 1.0f;
  std::string name;
  int width = 0, height = 0;
  int stride;
  int pictureWidth = 0, pictureHeight = 0;
  int pictureX = 0, pictureY = 0;
  int frameCount = -1;
  // Set by the main thread, read by the worker that decodes the audio.
  std::atomic<float> audioGain{1.0f};
  std::atomic<int> outputMode{TH_UNDEFINED};
  std::atomic<int> requestedOutputMode{TH_UNDEFINED};
  bool autoRestart = false;
  std::atomic<bool> endOfData{false};
  std::atomic<bool> restarted{false};
  int iteration = 0;
  int shownIteration = 0;
  std::unique_ptr<KineMutex> audioMutex;
};
