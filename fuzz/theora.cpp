// Ogg Theora/Vorbis clips: load from memory, decode every frame, one seek.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "video/KineVideoClip_Theora.h"
#include "video/KineVideoManager.h"

namespace {
struct NullSink : KineAudioInterface {
  using KineAudioInterface::KineAudioInterface;
  void QueueSamples(const float*, int) override {}
};
struct NullFactory : KineAudioInterfaceFactory {
  KineAudioInterface* CreateInstance(KineVideoClip* clip, int channels, int frequency) override {
    return new NullSink(clip, channels, frequency);
  }
};
void Quiet(const std::string&) {}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static NullFactory factory;
  static KineVideoManager* manager = [] {
    KineSetLogFunction(Quiet);
    auto* m = new KineVideoManager(1);
    m->SetAudioFactory(&factory);
    return m;
  }();
  (void)manager;
  if (size > (1u << 22)) return 0;
  auto* source = new KineMemoryFileDataSource("fuzz", data, static_cast<int32_t>(size));
  try {
    KineVideoClip_Theora clip(source, TH_RGBA, 4, false, 0);
    clip.Load(source);
    clip.Pause();
    for (int i = 0; i < 2000; ++i) {
      clip.DecodeFrame();
      if (clip.lastStepMetEnd.load()) break;
      clip.GetFrameQueue()->Clear();
      clip.DeliverAudio();
    }
    clip.SeekToFrame(clip.GetFrameCount() > 2 ? clip.GetFrameCount() / 2 : 1);
    clip.PerformSeek();
    clip.DecodeFrame();
  } catch (const _KineGenericException&) {
  }
  return 0;
}
