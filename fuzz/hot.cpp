// The ".hot" hotspot file: any bytes read as the hotspots of a set, then
// queried, moved, saved and restored.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/drevMain.h"
#include "engine/drevRoom.h"
#include "engine/hotspots.h"
#include "std/std.h"
#include "text_fuzz_host.h"

namespace {

std::vector<uint8_t> g_saved;
size_t g_readAt = 0;
Room g_room{};

int Write(void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  g_saved.insert(g_saved.end(), bytes, bytes + size);
  return 0;
}

int Read(void* data, size_t size) {
  if (g_readAt + size > g_saved.size()) return 1;
  std::memcpy(data, g_saved.data() + g_readAt, size);
  g_readAt += size;
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  text_fuzz::Serve(data, size);
  drevMain_Calls().roomGetCurrent = [] { return &g_room; };
  hotspots_FreeAll();
  std::memset(hotspots_Init()->source, 0, HOTSPOT_SOURCE_SIZE);
  hotspots_LoadForSet("fuzz.set");
  HotspotSet* set = hotspots_Init();
  Hotspot* list[HOTSPOT_MAX];
  for (int mode = 0; mode < 6; ++mode) {
    const HotspotPoint point{300 + 40 * mode, 200 + 50 * mode};
    hotspots_QueryAtPoint(&point, list, 10, mode);
  }
  if (set->numHotspots > 0) {
    hotspots_MoveTo(set->hotspots[0]->idString, 320, 240, 0);
    hotspots_Link(set->hotspots[0]->idString, 2);
  }
  g_saved.clear();
  hotspots_Save(Write);
  g_readAt = 0;
  hotspots_Restore(Read);
  hotspots_FreeAll();
  return 0;
}
