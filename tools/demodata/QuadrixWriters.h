// What the demo's 3D writers share: the pixel formats of their textures,
// the set-up and report around each file, single-cel materials and meshes
// made of axis-aligned boxes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "quadrix/qxCore.h"
#include "quadrix/qxMaterial.h"
#include "quadrix/qxModel3.h"
#include "std/std.h"

namespace demodata {

inline constexpr ColorFormat k565 = {1, 16, 5, 6, 5, 11, 5, 0, 3, 2, 3, 0, 0, 0};
// Palette indices into the default colormap, as the classic rasterizer reads them.
inline constexpr ColorFormat kIndexed = {0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// The 15 component tags every costume of the engine declares, as the
// "section tags" of a costume text file.
inline constexpr char kCostumeTagsSection[] =
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
    "\t14\t'luav'\tint\t\tLua Variable\n";

inline bool Prepare(const std::filesystem::path& path) {
  qxCore_Startup(std_pHS);  // the writers allocate and write through the library
  std::error_code error;
  std::filesystem::create_directories(path.parent_path(), error);
  return !error;
}

inline bool Report(bool written, const std::filesystem::path& path) {
  if (!written) std::fprintf(stderr, "demodata: could not write %s\n", path.c_str());
  return written;
}

// The index of the default colormap's 6 x 6 x 6 colour cube nearest to a colour.
inline uint8_t CubeIndex(int r, int g, int b) {
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

// A mesh of axis-aligned boxes in its node's space, every face a textured
// quad over the whole texture (texture vertices in texels) with outlines
// turned so that the normals point out. Corner i of a box lies at max on
// the axes whose bit is set (x = 1, y = 2, z = 4); its normal points out
// along the corner's diagonal, so the set's lights shade each face from
// corner to corner.
struct BoxesMesh {
  // The light a vertex has of its own, before the set's lights add theirs:
  // low enough that they show, so faces arrive lit and not saturated.
  static constexpr float kBaseIntensity = 0.3f;

  std::vector<qxVector3> vertices;
  std::vector<qxVector2> texVertices;
  std::vector<float> intensities;
  std::vector<qxVector3> normals;
  std::vector<int32_t> indices;
  std::vector<int32_t> texIndices;
  std::vector<qxMaterial*> faceMaterials;
  std::vector<qxFace> faces;

  explicit BoxesMesh(float textureSide)
      : texVertices{{0, 0}, {textureSide, 0}, {textureSide, textureSide}, {0, textureSide}} {}

  BoxesMesh& Box(qxVector3 min, qxVector3 max, qxMaterial* material) {
    constexpr float k = 0.57735027f;  // 1 / sqrt(3)
    const int32_t base = static_cast<int32_t>(vertices.size());
    for (int i = 0; i < 8; ++i) {
      vertices.push_back({i & 1 ? max.x : min.x, i & 2 ? max.y : min.y, i & 4 ? max.z : min.z});
      normals.push_back({i & 1 ? k : -k, i & 2 ? k : -k, i & 4 ? k : -k});
    }
    const int32_t quads[6][4] = {{7, 6, 4, 5}, {1, 0, 2, 3}, {3, 7, 5, 1},
                                 {0, 4, 6, 2}, {2, 6, 7, 3}, {1, 5, 4, 0}};
    for (const auto& quad : quads) {
      for (int32_t corner : quad) indices.push_back(base + corner);
      texIndices.insert(texIndices.end(), {0, 1, 2, 3});
      faceMaterials.push_back(material);
    }
    return *this;
  }

  // Four upright quads (corners in outline order), as vertices without faces:
  // the outline that the actor's planar shadow projects. Added to an empty
  // mesh (the shadow draw takes a mesh's first 16 vertices), they are never
  // drawn themselves.
  BoxesMesh& ShadowQuads(const qxVector3 (&corners)[16]) {
    for (const qxVector3& corner : corners) {
      vertices.push_back(corner);
      normals.push_back({0.0f, 0.0f, 1.0f});
    }
    return *this;
  }

  // Points the mesh record at this object's arrays, which must outlive it.
  void Fill(qxModel3Mesh* mesh, const char* name, int32_t meshIndex) {
    intensities.assign(vertices.size(), kBaseIntensity);
    faces.assign(faceMaterials.size(), qxFace{});
    for (size_t f = 0; f < faces.size(); ++f) {
      qxFace& face = faces[f];
      qxFace_NewEntry(&face);
      face.index = static_cast<int32_t>(f);
      face.geometryMode = 4;
      face.lightingMode = 3;
      face.textureMode = 1;
      face.vertexCount = 4;
      face.vertexIndices = &indices[f * 4];
      face.texVertexIndices = &texIndices[f * 4];
      face.material = faceMaterials[f];
    }
    *mesh = qxModel3Mesh{};
    std::snprintf(mesh->name, sizeof mesh->name, "%s", name);
    mesh->meshIndex = meshIndex;
    mesh->geometryMode = 4;
    mesh->lightingMode = 3;
    mesh->textureMode = 1;
    mesh->vertices = vertices.data();
    mesh->texVertices = texVertices.data();
    mesh->vertexIntensities = intensities.data();
    mesh->litIntensities = intensities.data();
    mesh->faces = faces.data();
    mesh->vertexNormals = normals.data();
    mesh->vertexCount = static_cast<int32_t>(vertices.size());
    mesh->texVertexCount = static_cast<int32_t>(texVertices.size());
    mesh->faceCount = static_cast<int32_t>(faces.size());
  }
};

// What a model file of box meshes needs besides its meshes and nodes: the
// one textured material the faces point at, and the model record (one
// geoset) written with the binary writer, the nodes' rest matrices built
// from their angles and positions.
struct BoxesModel {
  qxMaterial material{};
  qxMaterial* materials[1] = {&material};

  explicit BoxesModel(const char* materialName) {
    std::snprintf(material.name, sizeof material.name, "%s", materialName);
    material.flags = QXMATERIAL_TEXTURED;
  }

  bool Write(const std::filesystem::path& path, const char* name, qxModel3Mesh* meshes,
             int32_t meshCount, qxModel3Node* nodes, int32_t nodeCount) {
    qxModel3 model{};
    std::snprintf(model.name, sizeof model.name, "%s", name);
    model.geosets[0] = {meshCount, meshes};
    model.geosetCount = 1;
    model.materials = materials;
    model.materialCount = 1;
    for (int32_t i = 0; i < nodeCount; ++i)
      qxMatrix34_Build(&nodes[i].restMatrix, &nodes[i].angles, &nodes[i].position);
    model.nodes = nodes;
    model.nodeCount = nodeCount;
    model.insertOffset = {0.0f, 0.0f, 0.0f};
    return Report(qxModel3_WriteBinary(path.c_str(), &model) == 1, path);
  }
};

}  // namespace demodata
