// A clip without a codec for the clip and manager tests: frames are made
// ready by hand at chosen times, and the decode step can be held on a latch.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "video/KineVideoClip.h"

class StubClip : public KineVideoClip {
 public:
  StubClip(int frames = 4, float clipFps = 4.0f, float clipDuration = 10.0f,
           const std::string& clipName = "stub")
      : KineVideoClip(nullptr, TH_RGBX, frames, false) {
    name = clipName;
    width = height = stride = 16;
    fps = clipFps;
    frameDuration = 1.0f / clipFps;
    duration = clipDuration;
    frameQueue = std::make_unique<KineFrameQueue>(this);
    frameQueue->SetSize(frames);
  }
  // A ready frame to show at time t.
  KineVideoFrame* AddReady(float t, int iter = 0) {
    KineVideoFrame* f = frameQueue->TakeFreeFrame();
    if (!f) return nullptr;
    f->timeToDisplay = t;
    f->iteration = iter;
    std::vector<uint8_t> pixels(16 * 16 * 4, 7);
    KineConversionJob job{pixels.data(), nullptr, nullptr, nullptr, nullptr, 0, 0, 16 * 4, 0, 0, 0};
    f->Decode(job);
    return f;
  }
  void SetRestarted(bool r) { restarted = r; }

  void PerformSeek() override {}
  bool ReadMoreData() override { return false; }
  float DecodeAudio() override { return -1.0f; }
  void Load(KineDataSource*) override {}
  void Restart() override {}
  std::string GetDecoderName() override { return "Stub"; }
  bool DecodeFrame() override {
    entered = true;
    while (holdDecode.load()) std::this_thread::yield();
    return false;
  }
  void DeliverAudio() override {}

  std::atomic<bool> holdDecode{false};
  std::atomic<bool> entered{false};
};

// Collects the player's log lines.
struct LogCapture {
  static std::mutex& Mutex() {
    static std::mutex m;
    return m;
  }
  static std::vector<std::string>& Lines() {
    static std::vector<std::string> lines;
    return lines;
  }
  static void Log(const std::string& text) {
    std::lock_guard<std::mutex> lock(Mutex());
    Lines().push_back(text);
  }
  static int Count(const std::string& text) {
    std::lock_guard<std::mutex> lock(Mutex());
    int n = 0;
    for (const std::string& l : Lines()) n += l == text ? 1 : 0;
    return n;
  }
  static void Clear() {
    std::lock_guard<std::mutex> lock(Mutex());
    Lines().clear();
  }
};
