// The thumbnail of a save file: any bytes as the file read by
// drevMain_LoadSaveImage.
#include <cstdint>
#include <cstdio>

#include "engine/drevMain_Save.h"
#include "std/std.h"
#include "std/stdDisplay.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static HostServices hs;
  static bool ready = false;
  if (!ready) {
    HostServices_CopyDefaults(&hs);
    std_DefaultServices(&hs);
    std_Startup(&hs);
    ready = true;
  }
  const char* name = "fuzz_save_image.tmp";
  FILE* f = std::fopen(name, "wb");
  if (!f) return 0;
  if (data && size) std::fwrite(data, 1, size, f);
  std::fclose(f);
  if (DisplayBuffer* image = drevMain_LoadSaveImage(name)) stdDisplay_FreeBuffer(image);
  std::remove(name);
  return 0;
}
