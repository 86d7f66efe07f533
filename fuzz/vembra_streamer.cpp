// Fuzz target for the codec library's stream buffer: the input is a movie
// file served from memory; the blocks are taken the way the player takes
// them (an 8-byte header, then the size it names), with fills of varying size.
#include "vembra/vembra_streamer.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "vembra/OrnShare.h"
#include "vembra_fuzz_host.h"

namespace {

int RegisterHost(OrnShareServices* s, const char*) {
  s->Publish("MEMORY=vembra", vembratest::TestMemory());
  s->Publish("FILIO=memory", vembrafuzz::MemoryFilio());
  return 0;
}

const OrnModuleListEntry kModules[] = {
    {RegisterHost, nullptr}, {vembra_streamer_Register, nullptr}, {nullptr, nullptr}};

uint32_t BigEndian(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool started = [] {
    OrnShare_Init(nullptr, kModules, nullptr, nullptr);
    return OrnShare_Startup() == 0;
  }();
  if (!started) abort();
  vembrafuzz::Serve(data, size);
  VembraStreamerTable* st = vembra_streamer_Table();
  VembraStream* s = nullptr;
  if (st->Create(&s, 6 * 2048 + 5, 4000) != 0) abort();
  st->Open(s, "movie.snm", 8);
  int32_t want = 8;
  bool header = true;
  for (int step = 0; step < 400; ++step) {
    st->Fill(s, 2048 * (1 + step % 12));
    uint8_t* b = st->GetBlock(s, want);
    if (b == kVembraTooLarge) break;
    if (b == kVembraNotYet) continue;
    if (!b) continue;  // a restart point
    if (header) {
      uint32_t n = BigEndian(b + 4);
      want = int32_t(std::min<uint32_t>(n, 5000));
    } else {
      volatile uint8_t sink = want > 0 ? b[want - 1] : 0;
      (void)sink;
      want = 8;
    }
    header = !header;
    if (step == 200) st->Open(s, nullptr, 0);
  }
  st->FillPercent(s);
  st->Destroy(&s);
  return 0;
}
