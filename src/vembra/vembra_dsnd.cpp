// The cutscene sound output driver.
#include "vembra/vembra_dsnd.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "platform/kv_Audio.h"
#include "platform/kv_Log.h"
#include "platform/kv_Thread.h"
#include "vembra/vembra_mixer.h"
#include "vembra/vembra_timer.h"

namespace {

constexpr uint32_t kBlockMs = 32;  // 1536 frames at 48000 Hz

struct DriverState {
  OrnShareServices* services = nullptr;
  const char* context = nullptr;
  VembraTimerTable* timer = nullptr;  // held, not used
  VembraMemory* memory = nullptr;
  SoundMixFn mix = nullptr;
  kv_Thread* thread = nullptr;
  bool open = false;
  std::atomic<int> volume{127};
  intptr_t options[5] = {-1, -1, -1, -1, -1};
};

DriverState g_driver;

const char kModuleKey[] = "ORNMODULE=vembra_dsnd";
const char kDriverKey[] = "SNDDRIVER=vembra_dsnd";

int Reserved4(void) {
  return 0;
}

VembraSndDriverTable g_table = {SndDriver_Open,      SndDriver_Close, SndDriver_SetVolume,
                                SndDriver_GetVolume, Reserved4,       SndDriver_GetRate};

// Takes a free block of the channel. An active channel is polled, so that the
// thread sees its running flag go down even when no device drains the
// channel; an inactive one never blocks, and the thread paces itself to the
// device's block time instead.
bool TakeBlock(kv_Thread* thread, uint32_t* next) {
  if (AudioChannel_IsActive(kDsndChannel)) {
    if (AudioChannel_TryTakeFree(kDsndChannel) == 0) return true;
    kv_Platform_Delay(1);
    return false;
  }
  const uint32_t now = kv_Platform_GetTicks();
  const int32_t wait = int32_t(*next - now);
  if (wait > 0) {
    kv_Platform_Delay(uint32_t(std::min<int32_t>(wait, 5)));
    return false;
  }
  // After a stall the schedule starts again rather than catching up in a burst.
  *next = wait < -int32_t(4 * kBlockMs) ? now + kBlockMs : *next + kBlockMs;
  return kv_Thread_IsRunning(thread) != 0;
}

int FillThread(void* record) {
  auto* thread = static_cast<kv_Thread*>(record);
  kv_Thread_ApplyPriority(thread);
  uint32_t next = kv_Platform_GetTicks();
  while (kv_Thread_IsRunning(thread)) {
    if (!TakeBlock(thread, &next)) continue;
    SndDriver_FillStep();
    kv_Platform_Delay(1);
  }
  return 0;
}

void Unsubscribe(void) {
  if (g_driver.timer) OrnShare_Unsubscribe(g_driver.timer);
  if (g_driver.memory) OrnShare_Unsubscribe(g_driver.memory);
  g_driver.timer = nullptr;
  g_driver.memory = nullptr;
}

int Startup(void) {
  g_driver.timer = static_cast<VembraTimerTable*>(OrnShare_Subscribe("TIMER=clock", g_driver.context));
  if (g_driver.timer)
    g_driver.memory =
        static_cast<VembraMemory*>(OrnShare_Subscribe("MEMORY.mixertable", g_driver.context));
  if (!g_driver.timer || !g_driver.memory) {
    OrnShare_GetErrorPrinter()("DirectSoundDriver Module: Cannot allocate timer services.");
    Unsubscribe();
    return -1;
  }
  return 0;
}

void Shutdown(void) {
  Unsubscribe();
}

void Unregister(void) {
  OrnShare_Unpublish(kModuleKey);
  OrnShare_Unpublish(kDriverKey);
}

OrnModuleTable g_module = {vembra_dsnd_Register, Unregister, Startup, Shutdown};

}  // namespace

int vembra_dsnd_Register(OrnShareServices* services, const char* context) {
  g_driver.services = services;
  g_driver.context = context;
  services->Publish(kModuleKey, &g_module);
  services->Publish(kDriverKey, &g_table);
  std::fill(std::begin(g_driver.options), std::end(g_driver.options), -1);
  return 0;
}

int vembra_dsnd_Configure(const intptr_t* options) {
  for (const intptr_t* o = options; o && o[0] != 0; o += 2) {
    if (o[0] < 1 || o[0] > 5) return -1;
    g_driver.options[o[0] - 1] = o[1];
  }
  return 0;
}

VembraSndDriverTable* vembra_dsnd_Table(void) {
  return &g_table;
}

// The rate asked for is not used: the driver's rate is fixed at 24000.
int SndDriver_Open(int, int, SoundMixFn mix) {
  return vembra_dsnd_Open(mix, true);
}

int vembra_dsnd_Open(SoundMixFn mix, bool withThread) {
  if (g_driver.open) return -1;
  // Without a device the channel still gets its ring: it stays inactive and
  // the sound is dropped, while the thread keeps the movie clock running.
  if (AudioChannel_Open(kDsndChannel, kDsndBlockBytes, kDsndBlockCount) != 0) {
    if (!AudioChannel_GetBuffer(kDsndChannel)) return -1;
    kv_Log_Printf("[Tolve] - no audio device: cutscene sound is not heard");
  }
  if (Mixer_Init(g_driver.memory, 2, kMixerFrames * 8) != 0) {
    AudioChannel_Close(kDsndChannel);
    return -1;
  }
  g_driver.mix = mix;
  if (withThread) {
    g_driver.thread = kv_Thread_Create(FillThread, "dsn_fill_thread", nullptr, 0, 1);
    if (!g_driver.thread) {
      Mixer_Free(g_driver.memory);
      AudioChannel_Close(kDsndChannel);
      return -1;
    }
  }
  g_driver.open = true;
  return 0;
}

void SndDriver_Close(void) {
  if (!g_driver.open) return;
  g_driver.open = false;
  if (g_driver.thread) {
    const int result = kv_Thread_Join(g_driver.thread);
    g_driver.thread = nullptr;
    if (result != 0) printf("ERROR dsn_fill_thread returned with non-zero return: 0x%0X\n", result);
  }
  Mixer_Free(g_driver.memory);
  AudioChannel_Close(kDsndChannel);
  g_driver.mix = nullptr;
}

void SndDriver_SetVolume(int volume) {
  g_driver.volume = volume & 127;
}

int SndDriver_GetVolume(void) {
  return g_driver.volume;
}

int SndDriver_GetRate(void) {
  return kDsndRate;
}

void SndDriver_FillStep(void) {
  AudioChannel_Lock(kDsndChannel);
  uint8_t* ring = AudioChannel_GetBuffer(kDsndChannel);
  const int block = AudioChannel_GetWriteBlock(kDsndChannel);
  Mixer_Clear();
  if (g_driver.mix) g_driver.mix(kDsndBlockFrames, AudioDevice_GetSampleRate(), Mixer_AddPiece);
  if (ring)
    Mixer_Output(reinterpret_cast<int16_t*>(ring + size_t(block) * kDsndBlockBytes),
                 kDsndBlockFrames);
  AudioChannel_CommitBlock(kDsndChannel);
  AudioChannel_Unlock(kDsndChannel);
  AudioChannel_SignalFilled(kDsndChannel);
}
