// The demo's costume "walker.cos": the crate model as the main model, its
// lid-opening keyframe looping as the walk, and rest and mumble chores that
// show and flap the lid (the crate's "mouth").
#include <string>

#include "DemoData.h"
#include "QuadrixWriters.h"

namespace {

// The costume text file: the fifteen component tags of the engine, the
// model with its keyframe and its lid mesh, and three chores.
const std::string kWalkerCos =
    "# The demo's walking crate.\n"
    "costume v0.1\n"
    "\n" +
    std::string(demodata::kCostumeTagsSection) +
    "\n"
    "section components\n"
    "\tnumcomponents 3\n"
    "\n"
    "\t0\t0\t\t0\t\t-1\t\t\tdemo_crate.3do\n"
    "\t1\t5\t\t0\t\t0\t\t\tdemo_crate_open.key\n"
    "\t2\t3\t\t0\t\t0\t\t\tMesh 1 (crate_lid)\n"
    "\n"
    "section chores\n"
    "\tnumchores 3\n"
    "\n"
    "\t0\t1333\t\t1\t\t\twalk\n"
    "\t1\t100\t\t1\t\t\trest\n"
    "\t2\t500\t\t1\t\t\tmumble\n"
    "\n"
    "section keys\n"
    "chore 0\n"
    "\t1\t1\n"
    "\t\t0\t\t\t1\n"  // Play Looping
    "chore 1\n"
    "\t2\t1\n"
    "\t\t0\t\t\t1\n"  // the lid shows
    "chore 2\n"
    "\t2\t2\n"
    "\t\t0\t\t\t0\n"     // the lid hides ...
    "\t\t250\t\t\t1\n";  // ... and shows again

}  // namespace

DEMODATA_WRITER(walker_cos) {
  return demodata::WriteText(gameDir / "Costumes" / "walker.cos", kWalkerCos);
}
