// Fuzz target for the game's table of cutscenes, cutscenes.txt: the input is
// the file, read by the cutscene module's table and by the high-definition
// movies' reader of end times (from a scratch folder made the current one).
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "std/std.h"
#include "vembra/TolveCutscenes.h"
#include "video/MovieHD.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool started = [] {
    static HostServices hs;
    HostServices_CopyDefaults(&hs);
    std_DefaultServices(&hs);
    std_Startup(&hs);
    static const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("cutscenes_fuzz_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    atexit([] { std::filesystem::remove_all(dir); });
    return chdir(dir.c_str()) == 0;
  }();
  if (!started) abort();
  const int rows = TolveCutscenes_Parse(reinterpret_cast<const char*>(data), size);
  if (rows < 0 || rows > kTolveCutsceneRows) abort();
  for (const char* name : {"intro.snm", "gate.snm", ""}) {
    TolveCutscenes_IsNonResumable(name);
    TolveCutscenes_GetEndTime(name);
  }
  FILE* f = fopen("cutscenes.txt", "wb");
  if (!f) return 0;
  if (size) fwrite(data, 1, size, f);
  fclose(f);
  MovieHD_ReadCutsceneTable();
  MovieHD_GetEndTime("intro.snm");
  return 0;
}
