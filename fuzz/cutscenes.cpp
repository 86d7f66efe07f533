// Fuzz target for the game's table of cutscenes, cutscenes.txt: the input is
// the file, read by the cutscene module's table and by the high-definition
// movies' reader of end times (whose file opens land on a scratch file).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "std/std.h"
#include "vembra/TolveCutscenes.h"
#include "video/MovieHD.h"

namespace {

const std::string& ScratchPath() {
  static const std::string path = "/tmp/cutscenes_fuzz_" + std::to_string(getpid()) + ".txt";
  return path;
}

stdFile_t (*g_open)(const char* path, const char* mode) = nullptr;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool started = [] {
    static HostServices hs;
    HostServices_CopyDefaults(&hs);
    std_DefaultServices(&hs);
    g_open = hs.fileOpen;
    hs.fileOpen = [](const char*, const char* mode) { return g_open(ScratchPath().c_str(), mode); };
    std_Startup(&hs);
    atexit([] { remove(ScratchPath().c_str()); });
    return true;
  }();
  if (!started) abort();
  const int rows = TolveCutscenes_Parse(reinterpret_cast<const char*>(data), size);
  if (rows < 0 || rows > kTolveCutsceneRows) abort();
  for (const char* name : {"intro.snm", "gate.snm", ""}) {
    TolveCutscenes_IsNonResumable(name);
    TolveCutscenes_GetEndTime(name);
  }
  FILE* f = fopen(ScratchPath().c_str(), "wb");
  if (!f) return 0;
  if (size) fwrite(data, 1, size, f);
  fclose(f);
  MovieHD_ReadCutsceneTable();
  MovieHD_GetEndTime("intro.snm");
  return 0;
}
