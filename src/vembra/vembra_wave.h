// vembra_wave_flobdec: the audio decoder (`Wave` sub-blocks). Each block is
// variable-width ADPCM (the coding of the music system's VIMA blocks); the
// decoder turns it into 16-bit PCM, wraps it in a sound chunk and hands the
// chunk to the sound engine. The first chunk of a stream carries the sound's
// header and command program; later chunks continue it.
#pragma once

#include <cstdint>

#include "vembra/OrnShare.h"
#include "vembra/vembra_animframe.h"

constexpr int32_t kWaveWorkBytes = 1000000;
constexpr int kWaveTrackId = 100;
constexpr uint32_t kWaveSoundFlags = 64;  // class 1: ducked under class 2
constexpr int32_t kWaveFirstChunkHeader = 54;
constexpr int32_t kWaveLaterChunkHeader = 18;

int vembra_wave_Register(OrnShareServices* services, const char* context);
VembraFlobdec* vembra_wave_Table(void);
// For tests: the number of chunks handed over since the stream began.
int vembra_wave_ChunkCounter(void);
