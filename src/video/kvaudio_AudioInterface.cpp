#include "video/kvaudio_AudioInterface.h"

#include <cstring>
#include <new>

#include "platform/kv_Audio.h"
#include "platform/kv_Thread.h"
#include "video/KineBase.h"
#include "video/KineVideoClip.h"

kvaudio_AudioRing g_kvaudioRing;

namespace {

constexpr int kChannel = 2;

const kvaudio_Channel kDeviceChannel = {
    AudioChannel_WaitFree,     AudioChannel_Lock,          AudioChannel_Unlock,
    AudioChannel_GetBuffer,    AudioChannel_GetWriteBlock, AudioChannel_CommitBlock,
    AudioChannel_SignalFilled, AudioChannel_IsActive,
};
std::atomic<const kvaudio_Channel*> g_channel{&kDeviceChannel};

}  // namespace

void kvaudio_SetChannel(const kvaudio_Channel* channel) {
  g_channel = channel ? channel : &kDeviceChannel;
}

int16_t kvaudio_FloatToSample(float x) {
  if (x > 1.0f) return 32767;
  if (x < -1.0f) return -32767;
  return static_cast<int16_t>(x * 32767.0f);
}

kvaudio_AudioInterface::kvaudio_AudioInterface(KineVideoClip* clip_, int channels, int frequency,
                                               bool startThread)
    : KineAudioInterface(clip_, channels, frequency), clip(clip_) {
  AudioChannel_Open(kChannel, KVAUDIO_BLOCK_BYTES, 3);
  if (clip) clip->SetTimer(this);
  kvaudio_AudioRing& ring = g_kvaudioRing;
  ring.starvation = 0.0f;
  ring.bytesWritten = 0;
  ring.bytesConsumed = 0;
  ring.writePosition = 0;
  ring.readPosition = 0;
  ring.finished = false;
  ring.overrunLogged = false;
  if (startThread) thread = kv_Thread_Create(ThreadBody, "FMV_AUDIO_UPDATE", this, 4, 1);
}

kvaudio_AudioInterface::~kvaudio_AudioInterface() {
  if (thread) kv_Thread_Join(thread);
}

void kvaudio_AudioInterface::PutFrame(int16_t left, int16_t right) {
  kvaudio_AudioRing& ring = g_kvaudioRing;
  // The ring never overwrites samples the thread has not read yet.
  if (ring.bytesWritten.load() - ring.bytesConsumed.load() + 4 > KVAUDIO_RING_BYTES) {
    if (!ring.overrunLogged.exchange(true)) {
      KineLog("kvaudio: movie audio ring full, samples dropped");
    }
    return;
  }
  uint32_t pos = ring.writePosition.load();
  const int16_t pair[2] = {left, right};
  for (int16_t s : pair) {
    ring.samples[pos] = static_cast<uint8_t>(s & 0xFF);
    ring.samples[pos + 1] = static_cast<uint8_t>((s >> 8) & 0xFF);
    pos = (pos + 2) % KVAUDIO_RING_BYTES;
  }
  ring.writePosition = pos;
  ring.bytesWritten += 4;
}

void kvaudio_AudioInterface::QueueSamples(const float* samples, int count) {
  if (!samples || count <= 0 || channels <= 0 || frequency <= 0) return;
  const int frames = count / channels;
  for (int f = 0; f < frames; ++f) {
    const float* in = samples + f * channels;
    const int16_t left = kvaudio_FloatToSample(in[0]);
    const int16_t right = channels > 1 ? kvaudio_FloatToSample(in[1]) : left;
    if (frequency == KVAUDIO_RATE) {
      PutFrame(left, right);
      continue;
    }
    // Other rates: each input frame is repeated as often as the device's
    // rate asks (nearest-sample stepping).
    ratePhase += KVAUDIO_RATE;
    while (ratePhase >= frequency) {
      ratePhase -= frequency;
      PutFrame(left, right);
    }
  }
}

bool kvaudio_AudioInterface::IsFinished() const {
  return g_kvaudioRing.bytesWritten.load() > 0 && g_kvaudioRing.finished.load();
}

bool kvaudio_AudioInterface::Step(uint32_t now, uint32_t last) {
  kvaudio_AudioRing& ring = g_kvaudioRing;
  const uint64_t available = ring.bytesWritten.load() - ring.bytesConsumed.load();
  if (available < static_cast<uint64_t>(blockSize)) {
    ring.starvation = ring.starvation.load() + static_cast<float>(now - last) / 1000.0f;
    if (ring.bytesConsumed.load() != 0 && ring.starvation.load() > 0.5f) ring.finished = true;
    return false;
  }
  ring.starvation = 0.0f;
  const kvaudio_Channel* ch = g_channel.load();
  ch->waitFree(kChannel);
  ch->lock(kChannel);
  uint8_t* buffer = ch->getBuffer(kChannel);
  uint32_t readPos = ring.readPosition.load();
  int first = blockSize;
  if (readPos + static_cast<uint32_t>(first) > KVAUDIO_RING_BYTES) {
    first = static_cast<int>(KVAUDIO_RING_BYTES - readPos);
  }
  if (buffer) {
    uint8_t* dst = buffer + ch->getWriteBlock(kChannel) * blockSize;
    std::memcpy(dst, ring.samples + readPos, static_cast<size_t>(first));
    if (first < blockSize) {
      std::memcpy(dst + first, ring.samples, static_cast<size_t>(blockSize - first));
    }
  }
  ring.readPosition = (readPos + static_cast<uint32_t>(blockSize)) % KVAUDIO_RING_BYTES;
  ring.bytesConsumed += static_cast<uint64_t>(blockSize);
  ch->commitBlock(kChannel);
  ch->unlock(kChannel);
  ch->signalFilled(kChannel);
  // The ring always holds 48000 Hz stereo, 16-bit.
  time = time.load() + static_cast<float>(blockSize) / (KVAUDIO_RATE * 4.0f);
  return true;
}

int kvaudio_AudioInterface::ThreadBody(void* record) {
  kv_Thread* self = static_cast<kv_Thread*>(record);
  kv_Thread_ApplyPriority(self);
  auto* bridge = static_cast<kvaudio_AudioInterface*>(kv_Thread_GetUserData(self));
  uint32_t last = kv_Platform_GetTicks();
  uint32_t lastBlock = last;
  if (!kv_Thread_IsRunning(self)) return 0;
  for (;;) {
    const uint32_t now = kv_Platform_GetTicks();
    if (!bridge->Step(now, last)) {
      // Less than a block waits: poll again shortly.
      kv_Platform_Delay(1);
    } else {
      // Without a device nothing paces the channel: keep real time, one
      // block every 32 ms, so that the clip clock does not race.
      if (!g_channel.load()->isActive(kChannel)) {
        const uint32_t due = lastBlock + 32;
        const uint32_t at = kv_Platform_GetTicks();
        if (static_cast<int32_t>(due - at) > 0) {
          kv_Platform_Delay(due - at);
          lastBlock = due;
        } else {
          lastBlock = at;  // behind: no burst to catch up
        }
      } else {
        lastBlock = now;
      }
    }
    if (!kv_Thread_IsRunning(self)) break;
    last = now;
  }
  return 0;
}

KineAudioInterface* kvaudio_AudioInterfaceFactory::CreateInstance(KineVideoClip* clip, int channels,
                                                                  int frequency) {
  return new (std::nothrow) kvaudio_AudioInterface(clip, channels, frequency);
}
