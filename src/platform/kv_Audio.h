// The audio output device: one SDL device at 48000 Hz, signed 16-bit stereo,
// mixing three streaming channels (0 music, 1 cutscene sound, 2 movie audio).
// Each channel is a ring of equal blocks that one producer thread fills and
// the audio callback drains, paced by a pair of counting semaphores.
//
// Producer protocol: take a free block (AudioChannel_WaitFree, or
// AudioChannel_TryTakeFree to skip a pass), write one block at block index
// AudioChannel_GetWriteBlock, AudioChannel_CommitBlock, then
// AudioChannel_SignalFilled. Without a device the channels stay inactive and
// never block: the producers run on and their sound is dropped.
#pragma once

#include <cstdint>

#include "platform/kv_Thread.h"

constexpr int AUDIO_NUM_CHANNELS = 3;
constexpr int AUDIO_SAMPLE_RATE = 48000;
constexpr int AUDIO_BLOCK_SIZE = 6144;  // bytes: 1536 stereo frames, 32 ms
constexpr int AUDIO_BLOCK_COUNT = 3;

struct AudioChannel {
  uint8_t* buffer;  // ring of interleaved 16-bit stereo samples
  kv_Semaphore freeSem;    // blocks the producer may fill
  kv_Semaphore filledSem;  // filled blocks not yet played
  kv_Mutex mutex;          // guards the read position
  uint32_t device;         // the SDL device, in the channel that opened it
  int blockSize;
  int blockCount;
  int totalSize;
  int readPosition;
  int blocksWritten;
  int index;
};

int AudioChannel_Open(int channel, int blockSize, int blockCount);
void AudioChannel_Close(int channel);
uint8_t* AudioChannel_GetBuffer(int channel);
int AudioChannel_GetWriteBlock(int channel);
int AudioChannel_GetReadBlock(int channel);
void AudioChannel_CommitBlock(int channel);
void AudioChannel_WaitFree(int channel);
int AudioChannel_TryTakeFree(int channel);
void AudioChannel_SignalFree(int channel);
void AudioChannel_WaitFilled(int channel);
int AudioChannel_TryTakeFilled(int channel);
void AudioChannel_SignalFilled(int channel);
void AudioChannel_Lock(int channel);
void AudioChannel_Unlock(int channel);
int AudioChannel_IsActive(int channel);
int AudioDevice_GetSampleRate(void);
// 0 when no device is open.
uint32_t AudioDevice_GetId(void);
// Closes every channel still open (the movie channel stays open after its
// movie), and with the last one the device and its callback thread. The
// platform's shutdown calls it before SDL goes down.
void AudioDevice_CloseAll(void);

// The SDL audio callback over the three channels.
void AudioDevice_MixCallback(void* userdata, uint8_t* stream, int length);
// The mixing itself, over any set of channels: zeroes the stream, then adds
// the active channels' filled blocks with saturation.
void AudioDevice_MixChannels(AudioChannel* channels, const int* active, int count, uint8_t* stream,
                             int length);
// Adds 16-bit samples with saturation: dst[i] = clamp(dst[i] + src[i]).
void AudioDevice_AddSaturated(int16_t* dst, const int16_t* src, int samples);
