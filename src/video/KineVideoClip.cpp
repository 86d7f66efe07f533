#include "video/KineVideoClip.h"

#include <cstring>
#include <new>
#include <thread>

// Frames ----------------------------------------------------------------------

KineVideoFrame::KineVideoFrame(KineVideoClip* clip) : parent(clip) {
  bytesPerPixel = Kine_BytesPerPixel(clip->GetRequestedOutputMode());
  const size_t size = static_cast<size_t>(clip->GetStride()) *
                      static_cast<size_t>(clip->GetHeight()) * static_cast<size_t>(bytesPerPixel);
  if (size > 0) {
    buffer.reset(new (std::nothrow) uint8_t[size]);
    if (buffer) {
      std::memset(buffer.get(), 0xFF, size);
      bufferSize = size;
    }
  }
}

int KineVideoFrame::GetWidth() const {
  return parent->GetWidth();
}
int KineVideoFrame::GetHeight() const {
  return parent->GetHeight();
}
int KineVideoFrame::GetStride() const {
  return parent->GetStride();
}

void KineVideoFrame::Decode(const KineConversionJob& job) {
  const int w = parent->GetWidth();
  const int h = parent->GetHeight();
  if (buffer) {
    if (job.packed) {
      const size_t rowBytes = static_cast<size_t>(bytesPerPixel) * static_cast<size_t>(w);
      if (static_cast<size_t>(job.packedStride) == rowBytes) {
        std::memcpy(buffer.get(), job.packed, rowBytes * static_cast<size_t>(h));
      } else {
        for (int r = 0; r < h; ++r) {
          std::memcpy(buffer.get() + r * rowBytes, job.packed + r * job.packedStride, rowBytes);
        }
      }
    } else {
      KineConverter convert = g_kineConverters[parent->GetOutputMode()];
      if (convert) {
        KineConversionJob j = job;
        j.out = buffer.get();
        j.width = w;
        j.height = h;
        convert(j);
      }
    }
  }
  KineFrameQueue* queue = parent->GetFrameQueue();
  if (queue) queue->Lock();
  ready = true;
  if (queue) queue->Unlock();
}

// Frame queue -----------------------------------------------------------------

KineVideoFrame* KineFrameQueue::CreateFrame() {
  auto* frame = new (std::nothrow) KineVideoFrame(parent);
  if (frame && !frame->GetBuffer()) {
    delete frame;
    return nullptr;
  }
  return frame;
}

void KineFrameQueue::SetSize(int n) {
  KineLock lock(mutex);
  frames.clear();
  count = 0;
  for (int i = 0; i < n; ++i) {
    KineVideoFrame* frame = CreateFrame();
    if (!frame) {
      KineLog("KineFrameQueue: unable to create " + std::to_string(n) +
              " frames, out of memory. Created " + std::to_string(count) + " frames.");
      break;
    }
    frames.emplace_back(frame);
    ++count;
  }
}

KineVideoFrame* KineFrameQueue::TakeFreeFrame() {
  KineLock lock(mutex);
  for (auto& f : frames) {
    if (!f->inUse) {
      f->inUse = true;
      f->ready = false;
      return f.get();
    }
  }
  return nullptr;
}

KineVideoFrame* KineFrameQueue::PeekReady() {
  KineLock lock(mutex);
  if (frames.empty() || !frames.front()->ready) return nullptr;
  return frames.front().get();
}

void KineFrameQueue::Pop() {
  KineLock lock(mutex);
  if (frames.empty()) return;
  frames.front()->Clear();
  frames.splice(frames.end(), frames, frames.begin());
}

void KineFrameQueue::Clear() {
  KineLock lock(mutex);
  for (auto& f : frames) f->Clear();
}

void KineFrameQueue::Release(KineVideoFrame* frame) {
  KineLock lock(mutex);
  frame->Clear();
}

int KineFrameQueue::CountReady() {
  KineLock lock(mutex);
  int n = 0;
  for (auto& f : frames) n += f->ready ? 1 : 0;
  return n;
}

int KineFrameQueue::CountInUse() {
  KineLock lock(mutex);
  int n = 0;
  for (auto& f : frames) n += f->inUse ? 1 : 0;
  return n;
}

bool KineFrameQueue::IsFull() {
  return CountReady() == count;
}

// Clip ------------------------------------------------------------------------

KineVideoClip::KineVideoClip(KineDataSource* source, int mode, int precached, bool powerOfTwo)
    : dataSource(source),
      ownClock(new KineTimer),
      precachedFrames(precached),
      stride(powerOfTwo ? 1 : 0) {
  clock = ownClock.get();
  name = source ? source->Describe() : std::string();
  SetOutputMode(mode);
}

KineVideoClip::~KineVideoClip() {
  clipMutex.Lock();
  if (audioSink) {
    KineLock lock(*audioMutex);
    audioSink.reset();
  }
  // The sink may have been the clock.
  clock = ownClock.get();
  frameQueue.reset();
  clipMutex.Unlock();
}

void KineVideoClip::SetOutputMode(int mode) {
  if (mode == TH_UNDEFINED || Kine_BytesPerPixel(mode) == 0) {
    throw KINE_EXCEPTION("Invalid output mode: TH_UNDEFINED for video: " + name);
  }
  if (mode == outputMode) return;
  // Frames sized for the old mode are rebuilt under the clip mutex, so a
  // worker never writes a buffer of the wrong size.
  KineLock lock(clipMutex);
  requestedOutputMode = mode;
  alpha = Kine_ModeHasAlpha(mode);
  if (frameQueue) frameQueue->SetSize(frameQueue->GetSize());
  outputMode = mode;
}

void KineVideoClip::Update(float dt) {
  KineTimer* timer = clock.load();
  if (timer->IsPaused()) return;
  timer->Update(dt);
  const float t = timer->GetTime();
  if (t >= duration && autoRestart && restarted) {
    iteration = 1 - iteration;
    timer->Seek(t - duration < 1.0f ? t - duration : 1.0f);
    restarted = false;
    // Frames of the old loop still queued: the first is shown at the start
    // of the new loop, the others dropped.
    int n = 0;
    if (frameQueue) {
      for (;;) {
        KineVideoFrame* f = frameQueue->PeekReady();
        if (!f || f->timeToDisplay <= 0.5f) break;
        if (n == 0) {
          f->timeToDisplay = t - duration;
          f->iteration = f->iteration == 0 ? 1 : 0;
        } else {
          ++displayedFrames;
          frameQueue->Pop();
        }
        ++n;
      }
    }
    if (n > 0) KineLog("dropped " + std::to_string(n) + " end frames");
  }
}

KineVideoFrame* KineVideoClip::GetNextFrame() {
  if (seekFrame >= 0 || !frameQueue) return nullptr;
  const float t = clock.load()->GetTime();
  for (;;) {
    KineVideoFrame* f = frameQueue->PeekReady();
    if (!f) return nullptr;
    if (t < f->timeToDisplay) return nullptr;
    if (t <= f->timeToDisplay + frameDuration) {
      shownIteration = f->iteration;
      return f;
    }
    // Late: never drop the last ready frame, nor frames of the new loop
    // before the clock has wrapped.
    if (frameQueue->CountReady() <= 1) {
      shownIteration = f->iteration;
      return f;
    }
    if (restarted && f->timeToDisplay < 2.0f) return nullptr;
    ++droppedFrames;
    ++displayedFrames;
    frameQueue->Pop();
  }
}

void KineVideoClip::PopFrame() {
  ++displayedFrames;
  if (frameQueue) frameQueue->Pop();
}

float KineVideoClip::AdvanceToNextFrame() {
  if (!frameQueue) return 0.0f;
  KineVideoFrame* f = frameQueue->PeekReady();
  if (!f) return 0.0f;
  const float diff = f->timeToDisplay - clock.load()->GetTime();
  Update(diff);
  return diff;
}

void KineVideoClip::Seek(float seconds) {
  seekFrame = static_cast<int>(seconds * fps);
  endOfData = false;
}

void KineVideoClip::SeekToFrame(int frame) {
  seekFrame = frame;
  endOfData = false;
}

void KineVideoClip::Stop() {
  clock.load()->Pause();
  if (frameQueue) frameQueue->Clear();
  seekFrame = 0;
  endOfData = false;
}

void KineVideoClip::Rewind() {
  endOfData = true;
  KineLock lock(clipMutex);
  Restart();
  clock.load()->Seek(0.0f);
  if (frameQueue) frameQueue->Clear();
  iteration = 0;
  endOfData = false;
  restarted = false;
  seekFrame = -1;
}

bool KineVideoClip::IsDone() {
  return endOfData && !(frameQueue && frameQueue->PeekReady());
}

int KineVideoClip::GetReadyFrameCount() {
  if (seekFrame >= 0 || !frameQueue) return 0;
  return frameQueue->CountReady();
}

float KineVideoClip::GetPrecachedReadyCount() {
  float n = static_cast<float>(GetReadyFrameCount());
  if (clock.load()->IsPaused()) n += static_cast<float>(GetPrecachedFrameCount() / 2);
  return n;
}

void KineVideoClip::SetPrecachedFrameCount(int n) {
  if (frameQueue && n != frameQueue->GetSize()) frameQueue->SetSize(n);
}

void KineVideoClip::WaitForCache(float factor, float maxSeconds) {
  waitingForCache = true;
  KineTimer* timer = clock.load();
  const bool wasPlaying = !timer->IsPaused();
  if (wasPlaying) timer->Pause();
  const int target = static_cast<int>(GetPrecachedFrameCount() * factor);
  int elapsed = 0;
  for (;;) {
    if (GetReadyFrameCount() >= target) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    elapsed += 10;
    if (!(maxSeconds * 1000.0f > static_cast<float>(elapsed))) break;
  }
  if (wasPlaying) timer->Play();
  waitingForCache = false;
}

void KineVideoClip::SetAudioInterface(KineAudioInterface* sink) {
  // A sink that was the clock gives the clock back before it goes.
  if (audioSink && dynamic_cast<KineTimer*>(audioSink.get()) == clock.load()) {
    clock = ownClock.get();
  }
  audioSink.reset(sink);
  if (!sink) {
    audioMutex.reset();
  } else if (!audioMutex) {
    audioMutex = std::make_unique<KineMutex>();
  }
}

void KineVideoClip::SetAudioGain(float g) {
  audioGain = g < 0.0f ? 0.0f : (g > 1.0f ? 1.0f : g);
}

void KineVideoClip::SetAutoRestart(bool flag) {
  autoRestart = flag;
  if (flag) endOfData = false;
}
