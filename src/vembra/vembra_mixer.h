// The cutscene sound mixer: adds pieces of 8- or 16-bit PCM into a 32-bit
// stereo accumulator with volume, pan and rate conversion, and turns the
// accumulator into 16-bit output with hard saturation. The output driver
// owns the one mixer: it initialises it at open, and for every block clears
// it, lets the sound engine add its voices and converts the result. Only the
// driver's fill thread mixes; init and free happen while that thread is not
// running.
#pragma once

#include <cstdint>

#include "vembra/vembra_Services.h"

constexpr int kMixerFrames = 4096;  // accumulator room, in stereo frames

// Sample formats of the cutscene sound engine's voices.
enum VembraSampleFormat : int {
  kSample8Mono = 0,       // 8-bit unsigned
  kSample8Stereo = 1,     //
  kSample16UMono = 2,     // 16-bit unsigned (offset 32768)
  kSample16UStereo = 3,   //
  kSample16Mono = 4,      // 16-bit signed
  kSample16Stereo = 5,    //
};

// Bytes of one frame of a format (0 for an unknown format).
int Mixer_FrameBytes(int format);

// The add operation the sound engine calls for each piece: sourceBytes of a
// format, stretched over outputFrames frames from outputOffset on; volume
// 0..127, pan -127 (left) .. 127 (right).
using MixerAddFn = void (*)(const uint8_t* source, int outputOffset, int outputFrames,
                            int sourceBytes, int volume, int pan, int format);

// Builds the pan table and allocates the accumulator (accumulatorBytes,
// at most kMixerFrames stereo frames of two 32-bit values) through memory;
// -1 on failure.
int Mixer_Init(VembraMemory* memory, int channels, int32_t accumulatorBytes);
void Mixer_Free(VembraMemory* memory);
void Mixer_Clear(void);
void Mixer_AddPiece(const uint8_t* source, int outputOffset, int outputFrames, int sourceBytes,
                    int volume, int pan, int format);
// One piece: sourceFrames frames of bits (8 or 16) and channels (1 or 2),
// signed or unsigned, little- or big-endian 16-bit samples; pan 0..127.
void Mixer_Mix(int volume, int outputOffset, int sourceFrames, const uint8_t* source, int bits,
               int channels, int outputFrames, int pan, int isSigned, int bigEndian);
// frames x 2 samples: a < -4194304 gives -32768, a >= 4194304 gives 32767,
// else a >> 7. -1 without accumulator, block or frames.
int Mixer_Output(int16_t* block, int frames);

// For tests: the accumulator (null before init) and a pan table entry.
int32_t* Mixer_Accumulator(void);
int Mixer_PanEntry(int g, int j);
