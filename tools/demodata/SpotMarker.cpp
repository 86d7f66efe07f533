// The light manager's marker "x_spot.cos": a small yellow block at the
// light with a pointer along its +y axis, which the light's direction
// follows (the tool turns (0, 1, 0) by the light's angles, and the marker
// by the same angles).
#include <cstdio>
#include <string>

#include "DemoData.h"
#include "QuadrixWriters.h"

namespace {

using namespace demodata;

const std::string kSpotCos =
    "# The light manager's marker.\n"
    "costume v0.1\n"
    "\n" +
    std::string(kCostumeTagsSection) +
    "\n"
    "section components\n"
    "\tnumcomponents 1\n"
    "\n"
    "\t0\t0\t\t0\t\t-1\t\t\tx_spot.3do\n"
    "\n"
    "section chores\n"
    "\tnumchores 0\n"
    "\n"
    "section keys\n";

}  // namespace

DEMODATA_WRITER(x_spot_mat) {
  return WriteMaterial(
      gameDir / "Materials" / "x_spot.mat", 8, 1,
      [](int x, int y, int) { return (x + y) % 4 ? CubeIndex(255, 220, 0) : CubeIndex(90, 60, 0); },
      kIndexed);
}

DEMODATA_WRITER(x_spot_3do) {
  const std::filesystem::path path = gameDir / "Models" / "x_spot.3do";
  if (!Prepare(path)) return false;
  BoxesModel model("x_spot.mat");
  BoxesMesh mesh(8);
  mesh.Box({-0.06f, -0.06f, -0.06f}, {0.06f, 0.06f, 0.06f}, &model.material)
      .Box({-0.015f, 0.06f, -0.015f}, {0.015f, 0.36f, 0.015f}, &model.material);
  qxModel3Mesh meshes[1];
  mesh.Fill(&meshes[0], "x_spot", 0);
  qxModel3Node node{};
  std::snprintf(node.name, sizeof node.name, "x_spot");
  node.meshIndex = 0;
  node.type = 0x1;
  return model.Write(path, "x_spot", meshes, 1, &node, 1);
}

DEMODATA_WRITER(x_spot_cos) {
  return WriteText(gameDir / "Costumes" / "x_spot.cos", kSpotCos);
}
