// Fuzz target for the codec library's frame parser: the input is one frame
// block, parsed with two recording decoders and with palette changes, fades
// and every built-in sub-block; then it is preparsed as decoder headers.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "vembra/OrnShare.h"
#include "vembra/vembra_Services.h"
#include "vembra/vembra_animframe.h"

namespace {

VembraMemory g_memory = {[](size_t n, const char*, int) { return malloc(n); },
                         [](void* p, const char*, int) { free(p); },
                         [](void* p, size_t n, const char*, int) { return realloc(p, n); }};

uint32_t g_sum = 0;

uint32_t Decode(VembraBitmap*, const VembraRect*, int32_t, int32_t, uint8_t*, const uint8_t* p,
                int32_t n, uint32_t, int32_t, int32_t) {
  // Touch every byte handed over: it must all lie inside the frame.
  for (int32_t i = 0; i < n; ++i) g_sum += p[i];
  return n > 0 ? p[0] : 0;
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
  s->Publish("MEMORY=vembra", &g_memory);
  s->Publish("BITMAP=vembra", &g_memory);  // only needs to be there
  s->Publish("FLOBDEC=video", &g_video);
  s->Publish("FLOBDEC=audio", &g_audio);
  return 0;
}

const OrnModuleListEntry kModules[] = {
    {RegisterHost, nullptr}, {vembra_animframe_Register, nullptr}, {nullptr, nullptr}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool started = [] {
    static const intptr_t tags[] = {1, 4096, 2, 8192, 0};
    vembra_animframe_Configure(tags);
    OrnShare_Init(nullptr, kModules, nullptr, nullptr);
    return OrnShare_Startup() == 0;
  }();
  if (!started) abort();
  VembraAnimFrameTable* af = vembra_animframe_Table();
  static uint8_t palette[1024];
  uint32_t frameFlags = size > 0 ? data[0] : 0, paletteFlags = 0;
  for (int frame = 0; frame < 3; ++frame)
    af->ParseFrame(nullptr, nullptr, 0, 0, palette, &frameFlags, &paletteFlags, 0, 1, 0, data,
                   int32_t(size));
  af->Preparse(data, int32_t(size));
  af->GetPreload(16);
  af->GetPreload(-16);
  return 0;
}
