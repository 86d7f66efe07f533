// The render module's save block: any bytes given to drevRender_Restore,
// then one iris step and the iris state the hardware renderer reads.
#include <cstdint>

#include "engine/drevMain.h"
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
    drevRender_Initialize(&hs, nullptr);
    drevRender_Calls().totalMs = [] { return 123456u; };
    ready = true;
  }
  save_fuzz::Serve(data, size);
  if (drevRender_Restore(save_fuzz::Read) == 0) {
    drevRender_StepIris();
    float fraction, x, y;
    drevRender_GetIrisState(&fraction, &x, &y);
    drevRender_IsIrisComplete();
  }
  return 0;
}
