// Demo 3D assets written with the 3D library's own writers: the default
// colormap and material, a textured crate model of two nodes (body and lid)
// with its material, and a keyframe that lifts and tips the lid.
#include <cstdio>
#include <cstring>
#include <vector>

#include "BoxCorners.h"
#include "DemoData.h"
#include "quadrix/qxColormap.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxKeyframe.h"
#include "quadrix/qxMaterial.h"
#include "quadrix/qxModel3.h"
#include "std/std.h"

namespace {

const ColorFormat k565 = {1, 16, 5, 6, 5, 11, 5, 0, 3, 2, 3, 0, 0, 0};
// Palette indices into the default colormap, as the classic rasterizer reads them.
const ColorFormat kIndexed = {0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

bool Prepare(const std::filesystem::path& path) {
  qxCore_Startup(std_pHS);  // the writers allocate and write through the library
  std::error_code error;
  std::filesystem::create_directories(path.parent_path(), error);
  return !error;
}

bool Report(bool written, const std::filesystem::path& path) {
  if (!written) std::fprintf(stderr, "demodata: could not write %s\n", path.c_str());
  return written;
}

uint16_t Pixel(int r, int g, int b) {
  return static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

// The index of the default colormap's colour cube nearest to a colour.
uint8_t CubeIndex(int r, int g, int b) {
  auto level = [](int c) { return (c + 25) / 51; };
  return static_cast<uint8_t>(level(r) * 36 + level(g) * 6 + level(b));
}

// A material of one textured cel whose texture has mips levels of a square
// of the given side in the given pixel format (5-6-5 or palette indices),
// painted by colour(x, y, side of the level).
template <typename Paint>
bool WriteMaterial(const std::filesystem::path& path, int side, int mips, Paint colour,
                   const ColorFormat& pixelFormat = k565) {
  if (!Prepare(path)) return false;
  qxMaterial material{};
  material.flags = QXMATERIAL_TEXTURED;
  material.format = pixelFormat;
  material.celCount = 1;
  qxMaterialTexture texture{};
  qxMaterialCel cel{};
  cel.flags = QXMATERIAL_CEL_TEXTURED;
  cel.texture = &texture;
  material.cels[0] = &cel;
  material.textureCount = 1;
  material.textures = &texture;
  texture.log2Width = std_Log2(side);
  texture.widthMask = texture.heightMask = side - 1;
  texture.mipCount = static_cast<uint32_t>(mips);
  bool made = true;
  for (int k = 0; k < mips; ++k) {
    const int s = side >> k;
    BufferFormat format{};
    format.width = format.height = s;
    format.format = pixelFormat;
    DisplayBuffer* level = stdDisplay_NewBuffer(&format, 0, 0, nullptr);
    texture.mipLevels[k] = level;
    if (!level) {
      made = false;
      break;
    }
    for (int y = 0; y < s; ++y) {
      for (int x = 0; x < s; ++x) {
        if (pixelFormat.bitsPerPixel == 8) {
          static_cast<uint8_t*>(level->pixels)[y * s + x] = static_cast<uint8_t>(colour(x, y, s));
        } else {
          static_cast<uint16_t*>(level->pixels)[y * s + x] = static_cast<uint16_t>(colour(x, y, s));
        }
      }
    }
  }
  const bool written = made && qxMaterial_Write(path.c_str(), &material) == 1;
  for (DisplayBuffer* level : texture.mipLevels) stdDisplay_FreeBuffer(level);
  return Report(written, path);
}

// One box mesh of 8 corners and 6 quads (outlines turned so that the
// normals point out), with texture vertices at the corners of the crate's
// 32 x 32 texture (in texels, as the rasterizers take them).
struct BoxMesh {
  std::vector<qxVector3> vertices;
  std::vector<qxVector2> texVertices = {{0, 0}, {32, 0}, {32, 32}, {0, 32}};
  std::vector<float> intensities;
  std::vector<qxVector3> normals;
  std::vector<int32_t> indices;
  std::vector<int32_t> texIndices;
  std::vector<qxFace> faces;

  BoxMesh(qxVector3 min, qxVector3 max) {
    for (int i = 0; i < 8; ++i) {
      vertices.push_back({i & 1 ? max.x : min.x, i & 2 ? max.y : min.y, i & 4 ? max.z : min.z});
      normals.push_back(demodata::BoxCornerNormal(i));
    }
    intensities.assign(8, demodata::kBaseIntensity);
    const int32_t quads[6][4] = {{7, 6, 4, 5}, {1, 0, 2, 3}, {3, 7, 5, 1},
                                 {0, 4, 6, 2}, {2, 6, 7, 3}, {1, 5, 4, 0}};
    for (const auto& quad : quads) {
      indices.insert(indices.end(), quad, quad + 4);
      texIndices.insert(texIndices.end(), {0, 1, 2, 3});
    }
  }

  void Fill(qxModel3Mesh* mesh, const char* name, int32_t index, qxMaterial* material) {
    faces.assign(6, qxFace{});
    for (int f = 0; f < 6; ++f) {
      qxFace& face = faces[static_cast<size_t>(f)];
      qxFace_NewEntry(&face);
      face.index = f;
      face.geometryMode = 4;
      face.lightingMode = 3;
      face.textureMode = 1;
      face.vertexCount = 4;
      face.vertexIndices = &indices[static_cast<size_t>(f) * 4];
      face.texVertexIndices = &texIndices[static_cast<size_t>(f) * 4];
      face.material = material;
    }
    *mesh = qxModel3Mesh{};
    std::snprintf(mesh->name, sizeof mesh->name, "%s", name);
    mesh->meshIndex = index;
    mesh->geometryMode = 4;
    mesh->lightingMode = 3;
    mesh->textureMode = 1;
    mesh->vertices = vertices.data();
    mesh->texVertices = texVertices.data();
    mesh->vertexIntensities = intensities.data();
    mesh->litIntensities = intensities.data();
    mesh->faces = faces.data();
    mesh->vertexNormals = normals.data();
    mesh->vertexCount = 8;
    mesh->texVertexCount = 4;
    mesh->faceCount = 6;
  }
};

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
  qxMaterial material{};
  std::snprintf(material.name, sizeof material.name, "demo_crate.mat");
  material.flags = QXMATERIAL_TEXTURED;
  qxMaterial* materials[1] = {&material};
  BoxMesh body({-0.5f, -0.5f, 0.0f}, {0.5f, 0.5f, 0.8f});
  BoxMesh lid({-0.55f, -0.55f, 0.0f}, {0.55f, 0.55f, 0.1f});
  qxModel3Mesh meshes[2];
  body.Fill(&meshes[0], "crate_body", 0, &material);
  lid.Fill(&meshes[1], "crate_lid", 1, &material);
  meshes[0].shadow = 1;

  qxModel3 model{};
  std::snprintf(model.name, sizeof model.name, "demo_crate");
  model.geosets[0] = {2, meshes};
  model.geosetCount = 1;
  model.materials = materials;
  model.materialCount = 1;
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
  for (qxModel3Node& node : nodes) qxMatrix34_Build(&node.restMatrix, &node.angles, &node.position);
  model.nodes = nodes;
  model.nodeCount = 2;
  model.insertOffset = {0.0f, 0.0f, 0.0f};
  return Report(qxModel3_WriteBinary(path.c_str(), &model) == 1, path);
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
