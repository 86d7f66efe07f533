// The demo set's hotspots, "demo.hot" beside "demo.set": the door, the lamp
// over it, the lit window and the gate. Each region is the thing's box in
// the yard's world as its setup's camera sees it, in 640 x 480 game space;
// the path point is where the actor goes to use the thing.
#include <cstdio>
#include <string>

#include "DemoData.h"
#include "YardWorld.h"

namespace {

std::string DemoHot() {
  const auto& setups = yard::Setups();
  const auto& things = yard::Things();
  int total = 0;
  for (const yard::Thing& thing : things) {
    for (size_t s = 0; s < setups.size(); ++s) total += (thing.setups >> s) & 1;
  }
  std::string text = "# Hotspots of demo.set\nhotspots_total: " + std::to_string(total) + "\n";
  char line[256];
  for (size_t s = 0; s < setups.size(); ++s) {
    const yard::Camera camera(setups[s]);
    int count = 0;
    for (const yard::Thing& thing : things) count += (thing.setups >> s) & 1;
    std::snprintf(line, sizeof line, "\nsetup %zu:\nnum_hotspots: %d\n", s, count);
    text += line;
    for (const yard::Thing& thing : things) {
      if (!((thing.setups >> s) & 1)) continue;
      int x0, y0, x1, y1;
      yard::ScreenBox(camera, thing.min, thing.max, &x0, &y0, &x1, &y1);
      std::snprintf(line, sizeof line,
                    "hotspot %s\nid %s\ntype %s\ncursor %s\npath 1: (%.2f %.2f %.2f)\n"
                    "region 4: (%d %d) (%d %d) (%d %d) (%d %d)\n",
                    thing.name, thing.name, thing.type, thing.cursor, thing.walkTo.x, thing.walkTo.y,
                    thing.walkTo.z, x0, y0, x1, y0, x1, y1, x0, y1);
      text += line;
    }
  }
  return text;
}

}  // namespace

DEMODATA_WRITER(demo_hotspots) {
  return demodata::WriteText(gameDir / "demo.hot", DemoHot());
}
