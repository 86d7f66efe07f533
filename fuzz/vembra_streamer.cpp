// Fuzz target for the codec library's stream buffer: the input is a movie
// file served from memory; the blocks are taken the way the player takes
// them (an 8-byte header, then the size it names), with fills of varying size.
#include "vembra/vembra_streamer.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "vembra/OrnShare.h"
#include "vembra/vembra_Services.h"

namespace {

const uint8_t* g_data = nullptr;
size_t g_size = 0;
struct MemFile {
  int32_t pos;
};

VembraMemory g_memory = {[](size_t n, const char*, int) { return malloc(n); },
                         [](void* p, const char*, int) { free(p); },
                         [](void* p, size_t n, const char*, int) { return realloc(p, n); }};

VembraFilio g_memio = {[](const char*, const char*) -> VembraFileHandle { return new MemFile{0}; },
                       [](VembraFileHandle h) {
                         delete static_cast<MemFile*>(h);
                         return 0;
                       },
                       [](VembraFileHandle h, void* b, int32_t n) {
                         auto* f = static_cast<MemFile*>(h);
                         int32_t left = std::max<int32_t>(0, int32_t(g_size) - f->pos);
                         int32_t got = std::min(n, left);
                         if (got > 0) memcpy(b, g_data + f->pos, size_t(got));
                         f->pos += got;
                         return got;
                       },
                       [](VembraFileHandle, const void*, int32_t) { return int32_t(-1); },
                       [](VembraFileHandle h) { return static_cast<MemFile*>(h)->pos; },
                       [](VembraFileHandle h, int32_t o, int w) {
                         auto* f = static_cast<MemFile*>(h);
                         f->pos = w == 0 ? o : w == 1 ? f->pos + o : int32_t(g_size) + o;
                         return 0;
                       },
                       [](VembraFileHandle) { return 0; }};

int RegisterHost(OrnShareServices* s, const char*) {
  s->Publish("MEMORY=vembra", &g_memory);
  s->Publish("FILIO=memory", &g_memio);
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
  g_data = data;
  g_size = size;
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
