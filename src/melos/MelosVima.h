// The VIMA variable-width ADPCM codec: one core that the music system's MCMP
// blocks and the cutscene audio decoder share. A code is 4 to 7 bits wide
// (the width follows the step index), its top bit the sign; a code whose
// magnitude bits are all set is followed by a literal 16-bit sample.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int VIMA_MAX_INDEX = 88;

// One channel's coding state.
struct VimaState {
  int index;      // 0..88
  int predictor;  // -32768..32767
};

// The 89-entry IMA step table.
extern const int16_t kVimaStep[89];

// Decodes samplesPerChannel samples of each channel from an MSB-first bit
// stream (all of channel 0, then all of channel 1) into interleaved 16-bit
// samples. Returns 0, or -1 when the stream runs out or a state's index is
// outside 0..88 (the samples before that point are written). With
// zeroPastEnd the stream never runs out: bits past its end read as 0.
int Vima_Decode(const uint8_t* bits, size_t bitBytes, VimaState* states, int channels,
                int samplesPerChannel, int16_t* out, bool zeroPastEnd = false);

// A whole VIMA block: the coding header (index byte, complemented for two
// channels, big-endian predictor, per channel) and the bit stream. Writes
// outBytes of 16-bit little-endian interleaved PCM (outBytes / (2 x channels)
// samples per channel). Returns outBytes, or -1 on a bad header or stream.
int Vima_DecodeBlock(const uint8_t* in, size_t inSize, uint8_t* out, size_t outBytes);

// The inverse of Vima_DecodeBlock for interleaved 16-bit samples (1 or 2
// channels): starts each channel at index 0 and predictor 0. Returns the
// block's length, or -1 when it does not fit room.
int Vima_EncodeBlock(const int16_t* samples, int channels, int samplesPerChannel, uint8_t* out,
                     size_t room);
