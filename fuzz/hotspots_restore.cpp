// The hotspots' save block: any bytes given to hotspots_Restore.
#include <cstdint>
#include <cstring>

#include "engine/drevMain.h"
#include "engine/drevRoom.h"
#include "engine/hotspots.h"
#include "std/std.h"

namespace {

const uint8_t* g_data = nullptr;
size_t g_size = 0;
size_t g_at = 0;
Room g_room{};

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
    drevMain_Calls().roomGetCurrent = [] { return &g_room; };
    ready = true;
  }
  g_data = data;
  g_size = size;
  g_at = 0;
  if (hotspots_Restore(Read)) {
    Hotspot* list[HOTSPOT_MAX];
    const HotspotPoint point{400, 300};
    hotspots_QueryAtPoint(&point, list, HOTSPOT_MAX, 0);
    HotspotSet* set = hotspots_Init();
    for (int i = 0; i < set->numHotspots; ++i) {
      hotspots_MoveTo(set->hotspots[i]->idString, 100, 100, 0);
    }
  }
  hotspots_FreeAll();
  return 0;
}
