// vembra_dsnd: the cutscene sound output driver. It owns audio channel 1 and
// runs the fill thread "dsn_fill_thread", which for every free block of the
// channel lets the sound engine mix 1536 frames through the mixer and
// converts them into the block. Without an audio device the channel is
// inactive and never blocks; the thread then paces itself to one block per
// 32 ms, so that the movie clock still runs in real time.
#pragma once

#include <cstdint>

#include "vembra/OrnShare.h"
#include "vembra/vembra_sound.h"

constexpr int kDsndChannel = 1;
constexpr int kDsndBlockFrames = 1536;
constexpr int kDsndBlockBytes = 6144;
constexpr int kDsndBlockCount = 3;
constexpr int kDsndRate = 24000;

int vembra_dsnd_Register(OrnShareServices* services, const char* context);
// Pairs {key 1..5, value} ended by key 0: stored, no effect on playback;
// -1 for another key.
int vembra_dsnd_Configure(const intptr_t* options);
VembraSndDriverTable* vembra_dsnd_Table(void);

// 0, or -1 when the channel has no ring or the mixer cannot be set up.
int SndDriver_Open(int rate, int reserved, SoundMixFn mix);
// The open itself; tests open without the fill thread and call
// SndDriver_FillStep themselves.
int vembra_dsnd_Open(SoundMixFn mix, bool withThread);
void SndDriver_Close(void);
void SndDriver_SetVolume(int volume);
int SndDriver_GetVolume(void);
int SndDriver_GetRate(void);
// One block of the fill thread: mix, convert into the channel's write block,
// commit and signal. The thread runs it for every free block; tests call it.
void SndDriver_FillStep(void);
