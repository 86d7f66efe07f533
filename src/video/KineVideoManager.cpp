#include "video/KineVideoManager.h"

#include <theora/theoradec.h>
#include <vorbis/codec.h>

#include <chrono>
#include <thread>

#include "video/KineVideoClip_Theora.h"
#include "video/KineYuvConvert.h"

namespace {

std::atomic<KineVideoManager*> g_instance{nullptr};

void SleepMs(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

KineVideoManager* KineVideoManager::GetInstance() {
  return g_instance.load();
}

KineVideoManager::KineVideoManager(int workerCount) {
  if (workerCount < 1) {
    throw KINE_EXCEPTION(
        "Unable to create KineVideoManager, at least one "
        "worker thread is reqired");
  }
  g_instance = this;
  Log("Initializing Kine Playback Library (" + GetVersionString() + ")\n" +
      "  - libtheora version: " + th_version_string() + "\n" + "  - libvorbis version: " +
      vorbis_version_string() + "\n" + "------------------------------------");
  audioFactory = nullptr;
  languageCodes = {"eng", "spa", "ger", "ita", "fre", "por"};
  YuvTables_Build();
  CreateWorkers(workerCount);
}

KineVideoManager::~KineVideoManager() {
  DestroyWorkers();
  for (KineVideoClip* clip : clips) delete clip;
  clips.clear();
  pickHistory.clear();
  KineVideoManager* self = this;
  g_instance.compare_exchange_strong(self, nullptr);
}

std::string KineVideoManager::GetVersionString() const {
  return std::to_string(0) + "." + std::to_string(1) + " RC" + std::to_string(4);
}

void KineVideoManager::CreateWorkers(int n) {
  for (int i = 0; i < n; ++i) {
    auto worker = std::make_unique<KineWorkerThread>();
    worker->Start();
    workers.push_back(std::move(worker));
  }
}

void KineVideoManager::DestroyWorkers() {
  for (auto& worker : workers) worker->Join();
  workers.clear();
}

void KineVideoManager::SetWorkerCount(int n) {
  if (n == GetWorkerCount()) return;
  if (n < 1) {
    throw KINE_EXCEPTION(
        "Unable to change the number of worker threads in "
        "KineVideoManager, at least one worker "
        "thread is reqired");
  }
  Log("changing number of worker threats to: " + std::to_string(n));
  DestroyWorkers();
  CreateWorkers(n);
}

KineVideoClip* KineVideoManager::CreateClip(const std::string& fileName, int outputMode,
                                            int precachedFrames, bool powerOfTwoStride,
                                            uint32_t audioTrack) {
  return CreateClipFromSource(new KineFileDataSource(fileName), outputMode, precachedFrames,
                              powerOfTwoStride, audioTrack);
}

KineVideoClip* KineVideoManager::CreateClipFromSource(KineDataSource* source, int outputMode,
                                                      int precachedFrames, bool powerOfTwoStride,
                                                      uint32_t audioTrack) {
  KineLock lock(clipListMutex);
  const int precached = precachedFrames ? precachedFrames : defaultPrecachedFrames;
  Log("Creating video from data source: " + source->Describe());
  std::unique_ptr<KineVideoClip> clip(
      new KineVideoClip_Theora(source, outputMode, precached, powerOfTwoStride, audioTrack));
  clip->Load(source);
  AddClip(clip.get());
  return clip.release();
}

void KineVideoManager::AddClip(KineVideoClip* clip) {
  KineLock lock(clipListMutex);
  clips.push_back(clip);
}

void KineVideoManager::DestroyClip(KineVideoClip* clip) {
  if (!clip) return;
  Log("Destroying video clip: " + clip->GetName());
  KineLock lock(clipListMutex);
  bool waited = false;
  while (clip->assignedWorker.load()) {
    if (!waited) Log("Waiting for WorkerThread to finish decoding in order to destroy");
    waited = true;
    SleepMs(1);
  }
  if (waited) Log("WorkerThread done, destroying..");
  for (auto it = clips.begin(); it != clips.end(); ++it) {
    if (*it == clip) {
      clips.erase(it);
      break;
    }
  }
  pickHistory.remove(clip);
  delete clip;
  Log("Destroyed video.");
}

KineVideoClip* KineVideoManager::PickClipToDecode(KineWorkerThread* worker) {
  KineLock lock(clipListMutex);
  struct Candidate {
    KineVideoClip* clip;
    float priority, buffered, picks, share;
  };
  std::vector<Candidate> candidates;
  for (int pass = 0; pass < 2 && candidates.empty(); ++pass) {
    for (KineVideoClip* c : clips) {
      if (c->assignedWorker.load()) continue;
      if (c->GetOutputMode() != c->GetRequestedOutputMode()) continue;
      if (pass == 0 && c->IsPaused() && !c->IsWaitingForCache()) continue;
      const int ready = c->GetReadyFrameCount();  // 0 while a seek is pending
      if (ready == c->GetPrecachedFrameCount()) continue;
      const float buffered = static_cast<float>(ready) / (c->GetSpeed() * c->GetFps());
      candidates.push_back({c, c->GetPriority(), buffered, static_cast<float>(c->pickCount), 0});
    }
  }
  float totalPicks = 0, maxBuffered = 0;
  for (const Candidate& c : candidates) {
    totalPicks += c.picks;
    if (c.buffered > maxBuffered) maxBuffered = c.buffered;
  }
  if (totalPicks == 0) totalPicks = 1;
  if (maxBuffered == 0) maxBuffered = 1;
  float totalWeight = 0;
  for (Candidate& c : candidates) {
    c.picks /= totalPicks;
    c.share = c.priority * (1.0f - 0.5f * c.buffered / maxBuffered);
    totalWeight += c.share;
  }
  KineVideoClip* chosen = nullptr;
  float best = -1.0f;
  for (Candidate& c : candidates) {
    c.share = totalWeight != 0 ? c.share / totalWeight : 0;
    if (c.share - c.picks > best) {
      best = c.share - c.picks;
      chosen = c.clip;
    }
  }
  if (chosen) {
    chosen->assignedWorker = worker;
    if (clips.size() > 1) {
      pickHistory.push_front(chosen);
      ++chosen->pickCount;
    }
    const size_t limit = 50 * (clips.size() - 1);
    while (pickHistory.size() > limit) {
      --pickHistory.back()->pickCount;
      pickHistory.pop_back();
    }
  }
  return chosen;
}

void KineVideoManager::Update(float dt) {
  for (KineVideoClip* clip : clips) {
    clip->Update(dt);
    clip->DeliverAudio();
  }
}

KineVideoClip* KineVideoManager::FindClip(const std::string& name) {
  for (KineVideoClip* clip : clips) {
    if (clip->GetName() == name) return clip;
  }
  return nullptr;
}

void KineWorkerThread::Execute() {
  // The running flag was set by Start, before the thread began.
  while (running) {
    KineVideoManager* manager = KineVideoManager::GetInstance();
    KineVideoClip* c = manager ? manager->PickClipToDecode(this) : nullptr;
    clip = c;
    if (!c) {
      SleepMs(100);
      continue;
    }
    c->clipMutex.Lock();
    if (c->GetSeekFrame() >= 0) c->PerformSeek();
    const bool decoded = c->DecodeFrame();
    // A step at the end of the data rests like one that found no frame.
    const bool rest = !decoded || c->lastStepMetEnd.load();
    c->assignedWorker = nullptr;
    c->clipMutex.Unlock();
    clip = nullptr;
    if (rest) SleepMs(1);
  }
}
