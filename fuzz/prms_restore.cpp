// The primitives' save block: any bytes given to drevPrimitive_Restore, then
// a save of what was restored and one draw pass of every layer.
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/drevMain.h"
#include "presentation/drevPrimitive.h"
#include "presentation/drevRender.h"
#include "std/std.h"

namespace {

const uint8_t* g_data = nullptr;
size_t g_size = 0;
size_t g_at = 0;
std::vector<uint8_t> g_out;

int Read(void* out, size_t size) {
  if (g_at + size > g_size) return 1;
  std::memcpy(out, g_data + g_at, size);
  g_at += size;
  return 0;
}

int Write(void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  g_out.insert(g_out.end(), p, p + size);
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
    drevPrimitive_Initialize(&hs, nullptr);
    drevRender_Initialize(&hs, nullptr);
    drevRender_Startup();
    ready = true;
  }
  g_data = data;
  g_size = size;
  g_at = 0;
  g_out.clear();
  if (drevPrimitive_Restore(Read) == 0) {
    drevPrimitive_Save(Write);
    drevPrimitive_DrawPass(15);
  }
  drevPrimitive_Purge();
  drevRender_ClearDirtyRects();
  return 0;
}
