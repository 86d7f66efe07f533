// The cutscene sound mixer.
#include "vembra/vembra_mixer.h"

#include <algorithm>
#include <cstring>

#include "melos/MelosMixCore.h"

namespace {

mixcore::PanTable g_pan;
int32_t* g_accumulator = nullptr;
int g_frames = 0;  // accumulator room in stereo frames

template <class Sample>
void MixFormat(const uint8_t* source, int n, int m, int32_t* acc, int left, int right,
               uint32_t ratio, int channels) {
  if (channels == 1)
    mixcore::MixPiece<1, Sample>(source, n, m, acc, left, right, ratio);
  else
    mixcore::MixPiece<2, Sample>(source, n, m, acc, left, right, ratio);
}

}  // namespace

int Mixer_FrameBytes(int format) {
  switch (format) {
    case kSample8Mono:
      return 1;
    case kSample8Stereo:
    case kSample16UMono:
    case kSample16Mono:
      return 2;
    case kSample16UStereo:
    case kSample16Stereo:
      return 4;
    default:
      return 0;
  }
}

int Mixer_Init(VembraMemory* memory, int channels, int32_t accumulatorBytes) {
  mixcore::BuildPanTable(g_pan);
  if (!memory || channels != 2 || accumulatorBytes < 8) return -1;
  const int frames = std::min(accumulatorBytes / 8, kMixerFrames);
  Mixer_Free(memory);
  g_accumulator =
      static_cast<int32_t*>(VEMBRA_ALLOC(memory, size_t(frames) * 2 * sizeof(int32_t)));
  if (!g_accumulator) return -1;
  g_frames = frames;
  Mixer_Clear();
  return 0;
}

void Mixer_Free(VembraMemory* memory) {
  if (g_accumulator && memory) VEMBRA_FREE(memory, g_accumulator);
  g_accumulator = nullptr;
  g_frames = 0;
}

void Mixer_Clear(void) {
  if (g_accumulator) memset(g_accumulator, 0, size_t(g_frames) * 2 * sizeof(int32_t));
}

void Mixer_AddPiece(const uint8_t* source, int outputOffset, int outputFrames, int sourceBytes,
                    int volume, int pan, int format) {
  const int frameBytes = Mixer_FrameBytes(format);
  if (frameBytes == 0 || sourceBytes <= 0) return;
  const int bits = format <= kSample8Stereo ? 8 : 16;
  const int channels = (format & 1) ? 2 : 1;
  const int isSigned = format >= kSample16Mono ? 1 : 0;
  Mixer_Mix(volume, outputOffset, sourceBytes / frameBytes, source, bits, channels, outputFrames,
            (pan + 127) / 2, isSigned, 0);
}

void Mixer_Mix(int volume, int outputOffset, int sourceFrames, const uint8_t* source, int bits,
               int channels, int outputFrames, int pan, int isSigned, int bigEndian) {
  if (!g_accumulator || !source || sourceFrames <= 0 || outputFrames <= 0) return;
  if (channels != 1 && channels != 2) return;
  if (outputOffset < 0 || outputOffset >= g_frames) return;
  outputFrames = std::min(outputFrames, g_frames - outputOffset);
  const uint32_t ratio =
      uint32_t(uint64_t(sourceFrames) * 65536u / uint64_t(outputFrames));
  int left, right;
  if (channels == 1)
    mixcore::MonoMultipliers(g_pan, volume, pan, &left, &right);
  else
    left = right = volume + 1;
  int32_t* acc = g_accumulator + 2 * outputOffset;
  if (bits == 8)
    MixFormat<mixcore::Unsigned8>(source, sourceFrames, outputFrames, acc, left, right, ratio,
                                  channels);
  else if (bits != 16)
    return;
  else if (!isSigned)
    MixFormat<mixcore::Unsigned16LE>(source, sourceFrames, outputFrames, acc, left, right, ratio,
                                     channels);
  else if (bigEndian)
    MixFormat<mixcore::Signed16BE>(source, sourceFrames, outputFrames, acc, left, right, ratio,
                                   channels);
  else
    MixFormat<mixcore::Signed16LE>(source, sourceFrames, outputFrames, acc, left, right, ratio,
                                   channels);
}

int Mixer_Output(int16_t* block, int frames) {
  if (!g_accumulator || !block || frames <= 0) return -1;
  frames = std::min(frames, g_frames);
  for (int i = 0; i < frames * 2; ++i) {
    const int32_t a = g_accumulator[i];
    block[i] = a < -4194304 ? int16_t(-32768) : a >= 4194304 ? int16_t(32767) : int16_t(a >> 7);
  }
  return 0;
}

int32_t* Mixer_Accumulator(void) {
  return g_accumulator;
}

int Mixer_PanEntry(int g, int j) {
  return g_pan[g][j];
}
