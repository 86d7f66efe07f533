// The demo set's hotspots, "demo.hot" beside "demo.set": a lamp to look at,
// the yard to walk on and the gate that leads out, in 640 x 480 game space.
#include "DemoData.h"

namespace {

constexpr char kDemoHot[] =
    "# Hotspots of demo.set\n"
    "hotspots_total: 3\n"
    "\n"
    "setup 0:\n"
    "num_hotspots: 2\n"
    "hotspot Lamp\n"
    "id lamp\n"
    "type object\n"
    "cursor hotspot\n"
    "path 1: (3.2 0.8 0.0)\n"
    "region 4: (420 230) (460 230) (460 330) (420 330)\n"
    "hotspot Yard\n"
    "id yard\n"
    "type walk\n"
    "cursor walk\n"
    "path 0:\n"
    "region 4: (0 330) (640 330) (640 480) (0 480)\n"
    "\n"
    "setup -1:\n"
    "num_hotspots: 1\n"
    "hotspot Gate\n"
    "id gate\n"
    "type walk\n"
    "cursor arrow_right\n"
    "path 1: (5.8 0.75 0.0) wait 0.5\n"
    "region 4: (590 250) (640 250) (640 400) (590 400)\n";

}  // namespace

DEMODATA_WRITER(demo_hotspots) {
  return demodata::WriteText(gameDir / "demo.hot", kDemoHot);
}
