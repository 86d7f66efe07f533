// Fuzz target for the codec library's movie player: the input is a whole
// movie file served from memory, walked by the player's block state machine
// through the stream buffer and the frame parser, with two fake decoders
// that touch every byte they are given, a fake voice clock and timers fired
// by hand; a pause, a restart of the stream and the loop are exercised.
#include <cstdint>
#include <cstdlib>

#include "vembra/OrnShare.h"
#include "vembra/vembra_animframe.h"
#include "vembra/vembra_animplay.h"
#include "vembra/vembra_bitmap.h"
#include "vembra/vembra_streamer.h"
#include "vembra_fuzz_host.h"

namespace {

uint32_t g_sum = 0;

uint32_t Decode(VembraBitmap*, const VembraRect*, int32_t, int32_t, uint8_t*, const uint8_t* p,
                int32_t n, uint32_t, int32_t, int32_t) {
  Vembra_CountDecodedFrame();
  for (int32_t i = 0; i < n; ++i) g_sum += p[i];
  // Now and then ask for a reset of the sync (bit 1) or the decoders (bit 0).
  return n > 2 ? p[n - 1] & 3u : 0u;
}
void Preparse(const uint8_t* p, int32_t n) {
  for (int32_t i = 0; i < n; ++i) g_sum += p[i];
}

VembraFlobdec g_video = {
    nullptr, [] { return VembraTag("Bl16"); }, [] { return 0u; }, [] {}, Preparse, Decode, nullptr,
    nullptr};
VembraFlobdec g_audio = {nullptr,
                         [] { return VembraTag("Wave"); },
                         [] { return 0x10u; },
                         [] {},
                         Preparse,
                         Decode,
                         nullptr,
                         nullptr};

int RegisterHost(OrnShareServices* s, const char*) {
  s->Publish("MEMORY=vembra", vembratest::TestMemory());
  s->Publish("FILIO=memory", vembrafuzz::MemoryFilio());
  s->Publish("TIMER=fake", vembrafuzz::FakeTimerTable());
  s->Publish("FLOBDEC=video", &g_video);
  s->Publish("FLOBDEC=audio", &g_audio);
  return 0;
}

const OrnModuleListEntry kModules[] = {{RegisterHost, nullptr},
                                       {vembra_bitmap_Register, nullptr},
                                       {vembra_streamer_Register, nullptr},
                                       {vembra_animframe_Register, nullptr},
                                       {vembra_animplay_Register, nullptr},
                                       {nullptr, nullptr}};

int32_t g_clockMs = 0;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool started = [] {
    OrnShare_Init(nullptr, kModules, nullptr, nullptr);
    if (OrnShare_Startup() != 0) return false;
    vembra_animplay_SetVoiceClock([](int) { return g_clockMs; });
    return true;
  }();
  if (!started) abort();
  vembrafuzz::Serve(data, size);
  VembraAnimPlayTable* ap = vembra_animplay_Table();
  VembraAnimPlay* h = nullptr;
  if (ap->Open(&h, "movie.snm", 15, 30000, 12000, 0x600D) != 0) return 0;
  static uint8_t palette[1024];
  uint32_t frameFlags = 0, paletteFlags = 0;
  g_clockMs = 0;
  for (int step = 0; step < 300; ++step) {
    // The sound runs ahead and behind the picture by turns.
    g_clockMs = step * 67 + ((step / 20) % 3 - 1) * 400;
    vembrafuzz::FireTimers(true);
    vembrafuzz::FireTimers(false);
    if (step == 40) ap->SetPauseMode(h, 1);
    if (step == 45) ap->SetPauseMode(h, 4);
    if (step == 50) ap->SetPauseMode(h, 0);
    if (step == 120) ap->OpenFile(h, "movie.snm", 0x600D, 3, 2, 1);
    const int r = ap->Step(h, nullptr, nullptr, 0, 0, palette, &frameFlags, &paletteFlags, 1, 0);
    if (r < 0 && step > 150) break;
    ap->IsReady(h);
  }
  ap->Close(&h);
  return 0;
}
