// Fuzz target for ".lip" files: the input bound as the voice's and as a
// resident sound's lip-sync table, then looked up at many times.
#include "melos/SoundsInternal.h"
#include "sounds_fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sounds_fuzz::Put("en_line.lip", data, size);
  Sounds_BindLipSync("de_line.lip", SOUNDS_VOICE);
  Sounds_BindLipSync("en_line.lip", 1111);
  for (int t = -100; t < 70000; t += 97) Sounds_GetLipSyncShape(SOUNDS_VOICE, t);
  Sounds_GetLipSyncShape(1111, 500);
  Sounds_UnbindLipSync(SOUNDS_VOICE);
  Sounds_UnbindLipSync(1111);
  return 0;
}
