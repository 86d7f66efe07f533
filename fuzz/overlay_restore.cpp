// The overlay module's "OVRS" block: any bytes given to drevOverlay_Restore.
// A block that restores is saved again, takes new overlays (the id search
// over the restored ids) and has its overlays destroyed one by one. Images
// are never loaded here: that needs a GL context.
#include <cstdint>
#include <cstring>

#include "presentation/drevOverlay.h"
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

int Discard(void*, size_t) {
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  g_data = data;
  g_size = size;
  g_at = 0;
  OverlayManager* m = drevOverlay_GetManager();
  if (drevOverlay_Restore(Read) == 0) {
    drevOverlay_Save(Discard);
    drevOverlay_Manager_CreateOverlay(m, "new.png", 1, 2, 3, 0, 0, 0, 0);
    drevOverlay_Manager_CreateOverlay(m, nullptr, 1, 2, 3, 0, 0, 0, 0);
    drevOverlay_Manager_ClearCache(m);
    while (m->overlayCount > 0) drevOverlay_Manager_DestroyOverlay(m, m->overlays[0].id);
  }
  drevOverlay_DeleteManager();
  return 0;
}
