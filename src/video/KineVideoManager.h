// The video manager: owns the clips and a pool of decoding threads, creates
// and destroys clips, advances their clocks once per engine frame and
// decides which clip a free worker decodes next.
#pragma once

#include <atomic>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "video/KineBase.h"
#include "video/KineDataSource.h"
#include "video/KineTimer.h"
#include "video/KineVideoClip.h"

class KineWorkerThread : public KineThread {
 public:
  void Execute() override;
  // The clip being decoded now, null when idle.
  std::atomic<KineVideoClip*> clip{nullptr};
};

class KineVideoManager {
 public:
  // Throws when workerCount < 1.
  explicit KineVideoManager(int workerCount = 1);
  virtual ~KineVideoManager();
  KineVideoManager(const KineVideoManager&) = delete;
  KineVideoManager& operator=(const KineVideoManager&) = delete;

  static KineVideoManager* GetInstance();

  KineVideoClip* CreateClip(const std::string& fileName, int outputMode, int precachedFrames = 0,
                            bool powerOfTwoStride = false, uint32_t audioTrack = 0);
  // Takes ownership of the source.
  KineVideoClip* CreateClipFromSource(KineDataSource* source, int outputMode,
                                      int precachedFrames = 0, bool powerOfTwoStride = false,
                                      uint32_t audioTrack = 0);
  // Appends a loaded clip to the clip list; the manager owns it from then on.
  void AddClip(KineVideoClip* clip);
  void DestroyClip(KineVideoClip* clip);
  KineVideoClip* PickClipToDecode(KineWorkerThread* worker);
  void Update(float dt);
  KineVideoClip* FindClip(const std::string& name);
  void SetAudioFactory(KineAudioInterfaceFactory* factory) { audioFactory = factory; }
  KineAudioInterfaceFactory* GetAudioFactory() const { return audioFactory.load(); }
  int GetWorkerCount() const { return static_cast<int>(workers.size()); }
  void SetWorkerCount(int n);
  std::string GetVersionString() const;
  std::vector<std::string> GetDecoderNames() const { return {"Theora"}; }
  const std::vector<std::string>& GetLanguageCodes() const { return languageCodes; }
  void Log(const std::string& text) { KineLog(text); }
  void SetLogFunction(KineLogFunctionPtr function) { KineSetLogFunction(function); }

 protected:
  void CreateWorkers(int n);
  void DestroyWorkers();

  std::vector<std::string> languageCodes;
  std::vector<std::unique_ptr<KineWorkerThread>> workers;
  std::vector<KineVideoClip*> clips;
  // Which clip each decode step was given to, newest first.
  std::list<KineVideoClip*> pickHistory;
  int defaultPrecachedFrames = 8;
  KineMutex clipListMutex;
  std::atomic<KineAudioInterfaceFactory*> audioFactory{nullptr};
};
