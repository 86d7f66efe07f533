// Fuzz target for the cutscene audio decoder: the input is a Wave header
// sub-block followed by Wave payloads, each with a little-endian length in
// front ([u16 header length][header][u32 length][payload]...). The decoder
// hands its sound chunks to the real sound engine, and a block is mixed
// after every payload.
#include "vembra/vembra_wave.h"

#include <cstdint>
#include <cstdlib>

#include "vembra/OrnShare.h"
#include "vembra_fuzz_host.h"

namespace {

const OrnModuleListEntry kModules[] = {{vembratest::RegisterTestMemory, nullptr},
                                       {vembrafuzz::RegisterSoundFakes, nullptr},
                                       {vembra_sound_Register, nullptr},
                                       {vembra_wave_Register, nullptr},
                                       {nullptr, nullptr}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool started = [] {
    OrnShare_Init(nullptr, kModules, nullptr, nullptr);
    return OrnShare_Startup() == 0 &&
           Mixer_Init(vembratest::TestMemory(), 2, kMixerFrames * 8) == 0;
  }();
  if (!started) abort();
  VembraFlobdec* d = vembra_wave_Table();
  d->Reset();
  Sound_StopAll();
  vembrafuzz::Framed input(data, size);
  const uint8_t* piece;
  size_t n;
  if (!input.Next(2, &piece, &n)) return 0;
  d->Preparse(piece, int32_t(n));
  for (int block = 0; block < 32 && input.Next(4, &piece, &n); ++block) {
    d->Decode(nullptr, nullptr, 0, 0, nullptr, piece, int32_t(n), 0, 0, 0);
    vembrafuzz::MixOneBlock();
  }
  return 0;
}
