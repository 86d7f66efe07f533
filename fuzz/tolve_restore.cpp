// Fuzz target for the cutscene block of a save game (the 279 bytes between
// TLVS and TLVE): the input is restored by the cutscene module with the
// codec library running, a table of cutscenes naming one that does not
// resume, and fakes for the display and the high-definition movies; a
// movie that the restore starts is stopped again.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "std/std.h"
#include "std/stdDisplay.h"
#include "vembra/TolveCutscenes.h"
#include "vembra/drevTolve.h"

namespace {

const uint8_t* g_data = nullptr;
size_t g_size = 0, g_at = 0;

// Reads the next bytes of the input; past its end the block reads as zeros.
int Read(void* out, size_t n) {
  const size_t got = std::min(n, g_size - g_at);
  if (got) memcpy(out, g_data + g_at, got);
  memset(static_cast<uint8_t*>(out) + got, 0, n - got);
  g_at += got;
  return got == n ? 0 : -1;
}

BufferFormat g_format;

void InstallFakes() {
  drevTolveCalls& c = drevTolve_Calls();
  c.movieStart = [](const char*, int) { return 0; };
  c.movieIsActive = [] { return 0; };
  c.movieOnStopRequest = [] {};
  c.movieOnPlayerStart = [] { return 0; };
  c.movieOnPlayerStop = [] { return 0; };
  c.movieStop = [] {};
  c.gammaTable = [] { return static_cast<const uint16_t*>(nullptr); };
  c.invalidateRect = [](const int*, int) {};
  c.displayFormat = [](int) { return static_cast<const BufferFormat*>(&g_format); };
  c.backBuffer = [] { return static_cast<DisplayBuffer*>(nullptr); };
  c.readSetting = [](const char*, char*, int) { return 0; };
  c.gameState = [] { return 2; };
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static ModuleDescriptor module{};
  static bool started = [] {
    // The library's sound driver opens no sound card.
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    static HostServices hs;
    HostServices_CopyDefaults(&hs);
    std_DefaultServices(&hs);
    std_Startup(&hs);
    g_format.width = 640;
    g_format.height = 480;
    g_format.format.colorMode = 1;
    g_format.format.bitsPerPixel = 16;
    g_format.format.redBits = g_format.format.blueBits = 5;
    g_format.format.greenBits = 6;
    stdDisplay_ComputeFormatSizes(&g_format);
    InstallFakes();
    if (drevTolve_Initialize(&hs, &module) != 0 || module.startup() != 0) return false;
    static const char table[] = "intro.snm noresume 3000\n";
    TolveCutscenes_Parse(table, sizeof table - 1);
    return true;
  }();
  if (!started) abort();
  g_data = data;
  g_size = size;
  g_at = 0;
  module.restore(Read);
  drevTolve_Stop();
  drevTolve_Update();
  return 0;
}
