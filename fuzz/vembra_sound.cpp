// Fuzz target for the cutscene sound engine: the input is a run of sound
// chunks (PSAD, PVOC, SAUD, "Crea" voice files), each with a little-endian
// length and a byte of play flags in front ([u32 length][u8 flags, chunk]...).
// Every chunk is played on one of three keys, and one block is mixed through
// the real mixer after each.
#include <cstdint>
#include <cstdlib>

#include "vembra/OrnShare.h"
#include "vembra_fuzz_host.h"

namespace {

const OrnModuleListEntry kModules[] = {{vembratest::RegisterTestMemory, nullptr},
                                       {vembrafuzz::RegisterSoundFakes, nullptr},
                                       {vembra_sound_Register, nullptr},
                                       {nullptr, nullptr}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool started = [] {
    OrnShare_Init(nullptr, kModules, nullptr, nullptr);
    return OrnShare_Startup() == 0 &&
           Mixer_Init(vembratest::TestMemory(), 2, kMixerFrames * 8) == 0;
  }();
  if (!started) abort();
  Sound_StopAll();
  vembrafuzz::Framed input(data, size);
  const uint8_t* piece;
  size_t n;
  for (int chunk = 0; chunk < 32 && input.Next(4, &piece, &n); ++chunk) {
    if (n == 0) continue;
    Sound_Play(piece + 1, int32_t(n - 1), chunk % 3, 100, chunk % 5 * 30 - 60, piece[0]);
    vembrafuzz::MixOneBlock();
    Sound_GetVoiceTimeMs(0);
  }
  // The voices play on for a while after the last chunk.
  for (int block = 0; block < 8; ++block) vembrafuzz::MixOneBlock();
  return 0;
}
