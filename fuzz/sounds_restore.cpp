// Fuzz target for the music host's MELS save block: the input read back by
// Sounds_Restore into a started module (its library paused), then saved
// again. The resident sounds it names are missing files.
#include <SDL.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "melos/Melos.h"
#include "melos/Sounds.h"
#include "sounds_fuzz_host.h"

namespace {
const uint8_t* g_data = nullptr;
size_t g_size = 0, g_at = 0;
int Read(void* out, size_t length) {
  if (length > g_size - g_at) return 1;
  std::memcpy(out, g_data + g_at, length);
  g_at += length;
  return 0;
}
std::vector<uint8_t> g_out;
int Write(void* in, size_t length) {
  const auto* p = static_cast<const uint8_t*>(in);
  g_out.insert(g_out.end(), p, p + length);
  return 0;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started = [] {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    SDL_Init(SDL_INIT_EVENTS);
    sounds_fuzz::Put("none", nullptr, 0);
    if (Sounds_Startup() != 0) std::abort();
    Melos_Pause();
    std::atexit([] {
      Sounds_Shutdown();
      SDL_Quit();
    });
    return true;
  }();
  (void)started;
  g_data = data;
  g_size = size;
  g_at = 0;
  Sounds_Restore(Read);
  g_out.clear();
  if (Sounds_Save(Write) != 0) std::abort();
  Melos_StopAllSounds();
  return 0;
}
