// Fuzz target for the Blocky16 video decoder: the input is a movie's Bl16
// header sub-block followed by frame payloads, each with a little-endian
// length in front ([u16 header length][header][u32 length][frame]...). The
// header is preparsed, then every frame is decoded into a 640x480 16-bit
// target, each second one marked late.
#include "vembra/vembra_blocky16.h"

#include <cstdint>
#include <cstdlib>

#include "vembra/OrnShare.h"
#include "vembra/vembra_bitmap.h"
#include "vembra_fuzz_host.h"

namespace {

const OrnModuleListEntry kModules[] = {{vembratest::RegisterTestMemory, nullptr},
                                       {vembra_bitmap_Register, nullptr},
                                       {vembra_blocky16_Register, nullptr},
                                       {nullptr, nullptr}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static VembraBitmap* target = nullptr;
  static bool started = [] {
    OrnShare_Init(nullptr, kModules, nullptr, nullptr);
    return OrnShare_Startup() == 0 && vembra_bitmap_Table()->Create(&target, 640, 480, 3) == 0;
  }();
  if (!started) abort();
  VembraFlobdec* d = vembra_blocky16_Table();
  d->Reset();
  vembrafuzz::Framed input(data, size);
  const uint8_t* piece;
  size_t n;
  if (!input.Next(2, &piece, &n)) return 0;
  d->Preparse(piece, int32_t(n));
  for (int frame = 0; frame < 16 && input.Next(4, &piece, &n); ++frame) {
    const uint32_t flags = frame % 2 ? 0x8000u : 0u;
    d->Decode(target, nullptr, 0, 0, nullptr, piece, int32_t(n), flags, 1, 0);
  }
  return 0;
}
