// The hotspots' save block: any bytes given to hotspots_Restore.
#include <cstdint>

#include "engine/drevMain.h"
#include "engine/drevRoom.h"
#include "engine/hotspots.h"
#include "save_fuzz_host.h"
#include "std/std.h"

namespace {

Room g_room{};

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
  save_fuzz::Serve(data, size);
  if (hotspots_Restore(save_fuzz::Read)) {
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
