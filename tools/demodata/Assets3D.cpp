// Demo 3D assets written with the 3D library's own writers: the default
// colormap and material, a textured crate model of two nodes (body and lid)
// with its material, and a keyframe that lifts and tips the lid.
#include <cstdio>
#include <cstring>
#include <vector>

#include "DemoData.h"
#include "QuadrixWriters.h"
#include "quadrix/qxColormap.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxKeyframe.h"
#include "quadrix/qxMaterial.h"
#include "quadrix/qxModel3.h"
#include "std/std.h"

namespace {

using namespace demodata;

uint16_t Pixel(int r, int g, int b) {
  return static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

}  // namespace

// The default colormap: a 6 x 6 x 6 colour cube and a grey ramp, with its
// translucency table and both inverse tables, 16-bit tables built at load.
DEMODATA_WRITER(dfltcmp_cmp) {
  const std::filesystem::path path = gameDir / "Colormaps" / "dfltcmp.cmp";
  if (!Prepare(path)) return false;
  qxColormap colormap{};
  std::snprintf(colormap.name, sizeof colormap.name, "dfltcmp.cmp");
  colormap.flags = QXCOLORMAP_TRANSLUCENCY | QXCOLORMAP_16BIT;
  for (float& v : colormap.headerValues) v = 1.0f;
  for (int i = 0; i < 256; ++i) {
    uint8_t* p = colormap.palette + 3 * i;
    if (i < 216) {
      p[0] = static_cast<uint8_t>(i / 36 * 51);
      p[1] = static_cast<uint8_t>(i / 6 % 6 * 51);
      p[2] = static_cast<uint8_t>(i % 6 * 51);
    } else {
      p[0] = p[1] = p[2] = static_cast<uint8_t>((i - 216) * 255 / 39);
    }
  }
  std::vector<uint8_t> translucency(kColormapTableEntries);
  qxColormap_BuildTranslucencyTable(translucency.data(), colormap.palette, 0.5f);
  colormap.translucencyTable = translucency.data();
  return Report(qxColormap_Write(path.c_str(), &colormap) == 1, path);
}

// The default material that stands in for any missing one: a magenta and
// black checker.
DEMODATA_WRITER(dflt_mat) {
  return WriteMaterial(gameDir / "Materials" / "dflt.mat", 16, 2, [](int x, int y, int side) {
    const int cell = side / 4;
    return ((x / cell + y / cell) % 2) ? Pixel(255, 0, 255) : Pixel(0, 0, 0);
  });
}

// The actors' shadows: a colormap whose every colour is a blue-black
// (the scene's SetShadowColor fills its shade table with the colour it
// chooses), and one flat cel that the shadow faces are drawn with through it.
DEMODATA_WRITER(shadow_cmp) {
  const std::filesystem::path path = gameDir / "Colormaps" / "shadow.cmp";
  if (!Prepare(path)) return false;
  qxColormap colormap{};
  std::snprintf(colormap.name, sizeof colormap.name, "shadow.cmp");
  colormap.flags = QXCOLORMAP_16BIT;
  for (float& v : colormap.headerValues) v = 1.0f;
  for (int i = 0; i < 256; ++i) {
    uint8_t* p = colormap.palette + 3 * i;
    p[0] = 6;
    p[1] = 8;
    p[2] = 12;
  }
  return Report(qxColormap_Write(path.c_str(), &colormap) == 1, path);
}

DEMODATA_WRITER(shadow_mat) {
  const std::filesystem::path path = gameDir / "Materials" / "shadow.mat";
  if (!Prepare(path)) return false;
  qxMaterial material{};
  material.format = kIndexed;
  material.celCount = 1;
  qxMaterialCel cel{};
  cel.colour = 0;
  material.cels[0] = &cel;
  return Report(qxMaterial_Write(path.c_str(), &material) == 1, path);
}

// The crate's wood: planks with darker seams, in the default colormap's
// palette, so that the classic rendering mode draws it.
DEMODATA_WRITER(demo_crate_mat) {
  return WriteMaterial(
      gameDir / "Materials" / "demo_crate.mat", 32, 3,
      [](int x, int y, int side) {
        const int plank = side / 4;
        const bool seam = y % plank == 0 || x == 0;
        const int grain = (x * 7 + y * 3) % 5 * 12;
        return seam ? CubeIndex(90, 55, 25) : CubeIndex(160 + grain, 110 + grain, 50);
      },
      kIndexed);
}

// The crate: the body at the root node and the lid as its child, resting on
// the body; both textured with demo_crate.mat.
DEMODATA_WRITER(demo_crate_3do) {
  const std::filesystem::path path = gameDir / "Models" / "demo_crate.3do";
  if (!Prepare(path)) return false;
  BoxesModel model("demo_crate.mat");
  // Texture vertices in texels of the crate's 32 x 32 texture.
  BoxesMesh body(32), lid(32);
  body.Box({-0.5f, -0.5f, 0.0f}, {0.5f, 0.5f, 0.8f}, &model.material);
  lid.Box({-0.55f, -0.55f, 0.0f}, {0.55f, 0.55f, 0.1f}, &model.material);
  qxModel3Mesh meshes[2];
  body.Fill(&meshes[0], "crate_body", 0);
  lid.Fill(&meshes[1], "crate_lid", 1);
  meshes[0].shadow = 1;

  qxModel3Node nodes[2]{};
  std::snprintf(nodes[0].name, sizeof nodes[0].name, "crate_root");
  nodes[0].meshIndex = 0;
  nodes[0].childCount = 1;
  nodes[0].child = &nodes[1];
  nodes[0].type = 0x1;
  std::snprintf(nodes[1].name, sizeof nodes[1].name, "crate_lid");
  nodes[1].index = 1;
  nodes[1].meshIndex = 1;
  nodes[1].depth = 1;
  nodes[1].parent = &nodes[0];
  nodes[1].position = {0.0f, 0.0f, 0.8f};
  nodes[1].pivot = {0.0f, -0.55f, 0.0f};  // the hinge along the back edge
  nodes[1].type = 0x2;
  return model.Write(path, "demo_crate", meshes, 2, nodes, 2);
}

// The lid opens over 20 frames: it lifts and tips back about its hinge,
// with a marker when it is fully open.
DEMODATA_WRITER(demo_crate_open_key) {
  const std::filesystem::path path = gameDir / "Animation" / "demo_crate_open.key";
  if (!Prepare(path)) return false;
  qxKeyframe keyframe;
  qxKeyframe_NewEntry(&keyframe);
  keyframe.jointCount = 2;
  keyframe.type = 0x2;
  keyframe.rate = 15.0f;
  keyframe.frameCount = 20;
  qxKeyframeNode nodes[2]{};
  std::snprintf(nodes[0].meshName, sizeof nodes[0].meshName, "crate_root");
  std::snprintf(nodes[1].meshName, sizeof nodes[1].meshName, "crate_lid");
  nodes[1].index = 1;
  qxKeyframeEntry entries[2]{};
  entries[0].frame = 0.0f;
  entries[0].flags = QXKEYFRAME_ENTRY_POSITION_RATE | QXKEYFRAME_ENTRY_ORIENTATION_RATE;
  entries[0].position = {0.0f, 0.0f, 0.8f};
  entries[0].positionRate = {0.0f, 0.0f, 0.01f};
  entries[0].orientationRate = {-5.0f, 0.0f, 0.0f};
  entries[1].frame = 20.0f;
  entries[1].position = {0.0f, 0.0f, 1.0f};
  entries[1].orientation = {-100.0f, 0.0f, 0.0f};
  nodes[1].entryCount = 2;
  nodes[1].entries = entries;
  keyframe.nodeCount = 2;
  keyframe.nodes = nodes;
  keyframe.markerCount = 1;
  keyframe.markerFrames[0] = 20.0f;
  keyframe.markerValues[0] = 1;
  return Report(qxKeyframe_WriteBinary(path.c_str(), &keyframe) == 1, path);
}
