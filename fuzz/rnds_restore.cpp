// The render module's save block: any bytes given to drevRender_Restore,
// then one iris step and the iris state the hardware renderer reads.
#include <cstdint>
#include <cstring>

#include "engine/drevMain.h"
#include "presentation/drevRender.h"
#include "std/std.h"

namespace {

const uint8_t* g_data = nullptr;
size_t g_size = 0;
size_t g_at = 0;

int Read(void* out, size_t size) {
  if (g_at + size > g_size) return 1;
  std::memcpy(out, g_data + g_at, size);
  g_at += size;
  return 0;
}

}  // namespace

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
  g_data = data;
  g_size = size;
  g_at = 0;
  if (drevRender_Restore(Read) == 0) {
    drevRender_StepIris();
    float fraction, x, y;
    drevRender_GetIrisState(&fraction, &x, &y);
    drevRender_IsIrisComplete();
  }
  return 0;
}
