// The commentary's "COMS" save block: any bytes given to its restore, over a
// table of two definitions.
#include <cstdint>

#include "presentation/drevCommentary.h"
#include "save_fuzz_host.h"
#include "text_fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = false;
  if (!ready) {
    const char definitions[] = "intro\nintro.wav\n0\noutro\noutro.wav\n0\n";
    text_fuzz::Serve(reinterpret_cast<const uint8_t*>(definitions), sizeof definitions - 1);
    drevCommentary_Initialize(nullptr, nullptr);
    drevCommentary_LoadDefinitions();
    ready = true;
  }
  save_fuzz::Serve(data, size);
  if (drevCommentary_Restore(save_fuzz::Read) == 0) {
    const int selected = drevCommentary_GetSelected();
    if (selected < -1 || selected >= drevCommentary_GetEntryCount()) __builtin_trap();
    for (int i = 0; i < 256; ++i) drevCommentary_HasHeard(i);
  }
  return 0;
}
