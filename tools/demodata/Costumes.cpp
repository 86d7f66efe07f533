// The demo's costume "walker.cos": the crate model as the main model, its
// lid-opening keyframe looping as the walk, and rest and mumble chores that
// show and flap the lid (the crate's "mouth").
#include "DemoData.h"

namespace {

// The costume text file: the fifteen component tags of the engine, the
// model with its keyframe and its lid mesh, and three chores.
constexpr char kWalkerCos[] =
    "# The demo's walking crate.\n"
    "costume v0.1\n"
    "\n"
    "section tags\n"
    "\tnumtags 15\n"
    "\n"
    "\t0\t'MMDL'\tfs\t\tMAIN Quadrix Thing (.3DO)\n"
    "\t1\t'MODL'\tfs\t\tQuadrix Thing (.3DO)\n"
    "\t2\t'cmap'\tfs\t\tQuadrix Colormap\n"
    "\t3\t'MESH'\tfs\t\tQuadrix Thing Mesh\n"
    "\t4\t'MAT '\tfs\t\tQuadrix Animated Material\n"
    "\t5\t'KEYF'\tfs\t\tQuadrix Keyframe (.KEY)\n"
    "\t6\t'BKND'\tfs\t\tGeneral Bitmap\n"
    "\t7\t'anim'\tfs\t\tAnimation (old,use Bitmap)\n"
    "\t8\t'mlss'\tfs\t\tMelos Streamed Sound FX\n"
    "\t9\t'mlls'\tfs\t\tMelos Resident Sound FX\n"
    "\t10\t'VLOT'\tfs\t\tTolve Movie\n"
    "\t11\t'sprt'\tfs\t\tSprite\n"
    "\t12\t'mlse'\tint\t\tMelos Sequence\n"
    "\t13\t'mlst'\tint\t\tMelos State\n"
    "\t14\t'luav'\tint\t\tLua Variable\n"
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
