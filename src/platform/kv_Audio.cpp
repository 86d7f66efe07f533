#include "platform/kv_Audio.h"

#include <SDL.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/kv_Log.h"

namespace {

AudioChannel g_channels[AUDIO_NUM_CHANNELS];
// Read by the producer threads and the callback, written by open and close.
std::atomic<int> g_active[AUDIO_NUM_CHANNELS];
// Producer calls that are inside a channel's semaphores or hold its mutex:
// close waits for them to leave before it destroys anything.
std::atomic<int> g_users[AUDIO_NUM_CHANNELS];
// Locks of each channel's mutex taken by this thread (AudioChannel_Lock).
thread_local int t_locks[AUDIO_NUM_CHANNELS];
SDL_AudioDeviceID g_device = 0;
std::atomic<bool> g_sizeMismatchLogged{false};

bool ValidChannel(int channel) {
  return channel >= 0 && channel < AUDIO_NUM_CHANNELS;
}
bool Active(int channel) {
  return ValidChannel(channel) && g_active[channel].load();
}

// Counts a producer call in while the channel is active; false (and not
// counted) when it is not. The count goes up before the flag is read, and
// close clears the flag before it reads the count, so one of the two always
// sees the other.
bool Enter(int channel) {
  if (!ValidChannel(channel)) return false;
  g_users[channel].fetch_add(1);
  if (g_active[channel].load()) return true;
  g_users[channel].fetch_sub(1);
  return false;
}

void Leave(int channel) {
  g_users[channel].fetch_sub(1);
}

int ActiveCount() {
  int count = 0;
  for (const std::atomic<int>& active : g_active) count += active.load() ? 1 : 0;
  return count;
}

SDL_AudioDeviceID OpenDevice(int blockSize) {
  if (!SDL_WasInit(SDL_INIT_AUDIO) && SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return 0;
  SDL_AudioSpec want;
  SDL_zero(want);
  want.freq = AUDIO_SAMPLE_RATE;
  want.format = AUDIO_S16LSB;
  want.channels = 2;
  want.samples = static_cast<Uint16>(blockSize / 4);
  want.callback = AudioDevice_MixCallback;
  want.userdata = g_channels;
  // No changes allowed: SDL converts, and every callback asks for one block.
  SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
  if (device) return device;
  const int count = SDL_GetNumAudioDevices(0);
  for (int i = 0; i < count; ++i) {
    const char* name = SDL_GetAudioDeviceName(i, 0);
    if (!name) continue;
    device = SDL_OpenAudioDevice(name, 0, &want, nullptr, 0);
    if (device) {
      kv_Log_Printf("[Audio] Initialized device with name: %s", name);
      return device;
    }
    kv_Log_Printf("[Audio] Failed to initialize device with name: %s. Error: %s", name,
                  SDL_GetError());
  }
  return 0;
}

// Opens or shares the device and gives the channel its ring.
bool AudioDevice_Open(int channel) {
  AudioChannel& ch = g_channels[channel];
  bool opened = g_device != 0;
  if (opened) {
    ch.device = 0;
  } else {
    g_device = OpenDevice(ch.blockSize);
    opened = g_device != 0;
    if (opened) ch.device = g_device;
  }
  if (!ch.buffer) ch.buffer = static_cast<uint8_t*>(std::calloc(1, ch.totalSize));
  if (opened && ch.buffer) std::memset(ch.buffer, 0, ch.totalSize);
  return opened && ch.buffer;
}

void DestroySync(AudioChannel& ch) {
  kv_Semaphore_Destroy(ch.filledSem);
  kv_Semaphore_Destroy(ch.freeSem);
  kv_Mutex_Destroy(ch.mutex);
  ch.filledSem = ch.freeSem = nullptr;
  ch.mutex = nullptr;
}

// Adds `bytes` bytes of the ring from its read position into the stream.
void AddFromRing(const AudioChannel& ch, uint8_t* stream, int bytes) {
  const int first = bytes < ch.totalSize - ch.readPosition ? bytes : ch.totalSize - ch.readPosition;
  AudioDevice_AddSaturated(reinterpret_cast<int16_t*>(stream),
                           reinterpret_cast<const int16_t*>(ch.buffer + ch.readPosition),
                           first / 2);
  if (bytes > first) {
    AudioDevice_AddSaturated(reinterpret_cast<int16_t*>(stream + first),
                             reinterpret_cast<const int16_t*>(ch.buffer), (bytes - first) / 2);
  }
}

}  // namespace

void AudioDevice_AddSaturated(int16_t* dst, const int16_t* src, int samples) {
  for (int i = 0; i < samples; ++i) {
    int sum = dst[i] + src[i];
    if (sum > 32767) sum = 32767;
    if (sum < -32768) sum = -32768;
    dst[i] = static_cast<int16_t>(sum);
  }
}

void AudioDevice_MixChannels(AudioChannel* channels, const int* active, int count, uint8_t* stream,
                             int length) {
  std::memset(stream, 0, length);
  for (int c = 0; c < count; ++c) {
    AudioChannel& ch = channels[c];
    // Inactive channels would only replay stale data: skip them.
    if (!active[c] || !ch.buffer || ch.blockSize <= 0 || !ch.filledSem) continue;
    // One filled block per token, until the stream is full.
    for (int done = 0; done < length;) {
      if (kv_Semaphore_TryWait(ch.filledSem) != 0) break;  // nothing filled: adds nothing more
      const int bytes = length - done < ch.blockSize ? length - done : ch.blockSize;
      AddFromRing(ch, stream + done, bytes);
      kv_Mutex_Lock(ch.mutex);
      ch.readPosition = (ch.readPosition + ch.blockSize) % ch.totalSize;
      kv_Mutex_Unlock(ch.mutex);
      kv_Semaphore_Post(ch.freeSem);
      done += bytes;
    }
  }
}

void AudioDevice_MixCallback(void* userdata, uint8_t* stream, int length) {
  auto* channels = static_cast<AudioChannel*>(userdata);
  if (length != AUDIO_BLOCK_SIZE && !g_sizeMismatchLogged.exchange(true)) {
    kv_Log_Printf("[Audio] Device asked for %d bytes, expected blocks of %d", length,
                  AUDIO_BLOCK_SIZE);
  }
  // Open and close change the flags under the device lock, which SDL holds
  // around this callback: one snapshot serves the whole mix.
  int active[AUDIO_NUM_CHANNELS];
  for (int c = 0; c < AUDIO_NUM_CHANNELS; ++c) active[c] = g_active[c].load();
  AudioDevice_MixChannels(channels, active, AUDIO_NUM_CHANNELS, stream, length);
}

int AudioChannel_Open(int channel, int blockSize, int blockCount) {
  if (!ValidChannel(channel) || blockSize <= 0 || blockCount <= 1) return -1;
  if (g_active[channel].load()) return 0;
  AudioChannel& ch = g_channels[channel];
  if (g_device) SDL_LockAudioDevice(g_device);
  std::free(ch.buffer);  // a ring left by an earlier failed open
  std::memset(&ch, 0, sizeof ch);
  ch.blockSize = blockSize;
  ch.blockCount = blockCount;
  ch.totalSize = blockSize * blockCount;
  ch.index = channel;
  ch.freeSem = kv_Semaphore_Create(static_cast<uint32_t>(blockCount - 1));
  ch.filledSem = kv_Semaphore_Create(0);
  ch.mutex = kv_Mutex_Create();
  if (g_device) SDL_UnlockAudioDevice(g_device);
  const bool wasOpen = g_device != 0;
  if (!AudioDevice_Open(channel)) {
    // Inactive: no semaphores are used, the producer never blocks.
    DestroySync(ch);
    return -1;
  }
  if (g_device) SDL_LockAudioDevice(g_device);
  g_active[channel].store(1);
  if (g_device) SDL_UnlockAudioDevice(g_device);
  if (!wasOpen) SDL_PauseAudioDevice(g_device, 0);
  return 0;
}

void AudioChannel_Close(int channel) {
  if (!Active(channel)) return;
  AudioChannel& ch = g_channels[channel];
  // Stop the callback and new producer calls from touching the channel; then
  // wake every producer that waits on its semaphores (however many there
  // are) and wait until all have left before anything is destroyed.
  SDL_LockAudioDevice(g_device);
  g_active[channel].store(0);
  SDL_UnlockAudioDevice(g_device);
  while (g_users[channel].load() > 0) {
    kv_Semaphore_Post(ch.freeSem);
    kv_Semaphore_Post(ch.filledSem);
    SDL_Delay(1);
  }
  SDL_LockAudioDevice(g_device);
  DestroySync(ch);
  std::free(ch.buffer);
  std::memset(&ch, 0, sizeof ch);
  SDL_UnlockAudioDevice(g_device);
  // The device stays open while any other channel plays through it.
  if (g_device && ActiveCount() == 0) {
    SDL_CloseAudioDevice(g_device);
    g_device = 0;
    for (AudioChannel& other : g_channels) other.device = 0;
  }
}

uint8_t* AudioChannel_GetBuffer(int channel) {
  return ValidChannel(channel) ? g_channels[channel].buffer : nullptr;
}

int AudioChannel_GetWriteBlock(int channel) {
  if (!ValidChannel(channel) || g_channels[channel].blockCount <= 0) return 0;
  return g_channels[channel].blocksWritten % g_channels[channel].blockCount;
}

int AudioChannel_GetReadBlock(int channel) {
  if (!ValidChannel(channel)) return 0;
  const AudioChannel& ch = g_channels[channel];
  if (ch.blockSize <= 0 || ch.blockCount <= 0) return 0;
  return (ch.readPosition / ch.blockSize) % ch.blockCount;
}

void AudioChannel_CommitBlock(int channel) {
  if (!ValidChannel(channel)) return;
  AudioChannel& ch = g_channels[channel];
  ++ch.blocksWritten;
  // Without the callback the read position moves on by itself, one block.
  if (!g_active[channel].load() && ch.totalSize > 0) {
    ch.readPosition = (ch.readPosition + ch.blockSize) % ch.totalSize;
  }
}

void AudioChannel_WaitFree(int channel) {
  if (!Enter(channel)) return;
  kv_Semaphore_Wait(g_channels[channel].freeSem);
  Leave(channel);
}

int AudioChannel_TryTakeFree(int channel) {
  if (!ValidChannel(channel)) return -1;
  if (!Enter(channel)) return g_channels[channel].buffer ? 0 : -1;
  const int result = kv_Semaphore_TryWait(g_channels[channel].freeSem);
  Leave(channel);
  return result;
}

void AudioChannel_SignalFree(int channel) {
  if (!Enter(channel)) return;
  kv_Semaphore_Post(g_channels[channel].freeSem);
  Leave(channel);
}

void AudioChannel_WaitFilled(int channel) {
  if (!Enter(channel)) return;
  kv_Semaphore_Wait(g_channels[channel].filledSem);
  Leave(channel);
}

int AudioChannel_TryTakeFilled(int channel) {
  if (!ValidChannel(channel)) return -1;
  if (!Enter(channel)) return g_channels[channel].buffer ? 0 : -1;
  const int result = kv_Semaphore_TryWait(g_channels[channel].filledSem);
  Leave(channel);
  return result;
}

void AudioChannel_SignalFilled(int channel) {
  if (!Enter(channel)) return;
  kv_Semaphore_Post(g_channels[channel].filledSem);
  Leave(channel);
}

// A lock holds the channel until it is given back, so close never destroys a
// mutex that a producer holds.
void AudioChannel_Lock(int channel) {
  if (!Enter(channel)) return;
  kv_Mutex_Lock(g_channels[channel].mutex);
  ++t_locks[channel];
}

void AudioChannel_Unlock(int channel) {
  if (!ValidChannel(channel) || t_locks[channel] == 0) return;
  --t_locks[channel];
  kv_Mutex_Unlock(g_channels[channel].mutex);
  Leave(channel);
}

int AudioChannel_IsActive(int channel) {
  return Active(channel) ? 1 : 0;
}

int AudioDevice_GetSampleRate(void) {
  return AUDIO_SAMPLE_RATE;
}

uint32_t AudioDevice_GetId(void) {
  return g_device;
}

void AudioDevice_CloseAll(void) {
  for (int channel = 0; channel < AUDIO_NUM_CHANNELS; ++channel) AudioChannel_Close(channel);
}
