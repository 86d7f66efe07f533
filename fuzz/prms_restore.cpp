// The primitives' save block: any bytes given to drevPrimitive_Restore, then
// a save of what was restored and one draw pass of every layer.
#include <cstdint>

#include "engine/drevMain.h"
#include "presentation/drevPrimitive.h"
#include "presentation/drevRender.h"
#include "save_fuzz_host.h"
#include "std/std.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static HostServices hs;
  static bool ready = false;
  if (!ready) {
    HostServices_CopyDefaults(&hs);
    std_DefaultServices(&hs);
    std_Startup(&hs);
    drevPrimitive_Initialize(&hs, nullptr);
    drevRender_Initialize(&hs, nullptr);
    drevRender_Startup();
    ready = true;
  }
  save_fuzz::Serve(data, size);
  save_fuzz::g_written.clear();
  if (drevPrimitive_Restore(save_fuzz::Read) == 0) {
    drevPrimitive_Save(save_fuzz::Write);
    drevPrimitive_DrawPass(15);
  }
  drevPrimitive_Purge();
  drevRender_ClearDirtyRects();
  return 0;
}
