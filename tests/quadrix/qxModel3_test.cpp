// Models: the binary reader and writer, the derivations, the checks of bad
// files, and the small helpers. Materials come from a test loader hook.
#include "quadrix/qxModel3.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <utility>

#include "platform/kv_RenderHooks.h"
#include "quadrix/qxMaterial.h"
#include "qxAssetFiles.h"
#include "qxTestLibrary.h"

namespace {

std::map<std::string, qxMaterial> g_materials;
std::map<std::string, int> g_uses;  // loads minus releases, by name
std::vector<void*> g_freed;

qxMaterial* LoadMaterial(const char* name, int, int) {
  const std::string n(name);
  if (n != "tex.mat" && n != "flat.mat" && n != "other.mat") return nullptr;
  qxMaterial& m = g_materials[n];
  std::snprintf(m.name, sizeof m.name, "%s", name);
  m.flags = n == "tex.mat" ? uint32_t{QXMATERIAL_TEXTURED} : 0u;
  ++g_uses[n];
  return &m;
}
void ReleaseMaterial(qxMaterial* m) {
  --g_uses[m->name];
}
int RecordFreed(void* pointer) {
  g_freed.push_back(pointer);
  return 1;
}

class QxModel3 : public ::testing::Test {
 protected:
  void SetUp() override {
    qxTest_StartLibrary();
    qxMaterial_SetLoader(LoadMaterial);
    qxMaterial_SetUnloader(ReleaseMaterial);
    g_uses.clear();
    g_freed.clear();
    kv_RenderHooks_ResetForTest();
    table_.SurfaceFreed = RecordFreed;
    kv_RenderHooks_Register(&table_);
  }
  void TearDown() override {
    qxMaterial_SetLoader(nullptr);
    qxMaterial_SetUnloader(nullptr);
    kv_RenderHooks_ResetForTest();
    for (const auto& [name, uses] : g_uses) EXPECT_EQ(uses, 0) << name << " is still held";
  }
  static qxModel3* LoadBytes(const std::string& bytes, const char* path = "model.3do") {
    PutFile(path, bytes);
    return qxModel3_Load(path);
  }

  RenderHookTable table_{};
};

void ExpectNear3(const qxVector3& v, float x, float y, float z, float eps = 1e-5f) {
  EXPECT_NEAR(v.x, x, eps);
  EXPECT_NEAR(v.y, y, eps);
  EXPECT_NEAR(v.z, z, eps);
}

TEST_F(QxModel3, CubeLoadsWithItsDerivedData) {
  qxModel3* m = LoadBytes(LdomBuild(LdomCube(true)), "box.3do");
  ASSERT_NE(m, nullptr);
  EXPECT_STREQ(m->name, "cube");  // the binary form keeps its stored name
  EXPECT_EQ(m->reserved, 0x5151u);
  ASSERT_EQ(m->materialCount, 1u);
  EXPECT_EQ(m->materials[0], &g_materials["tex.mat"]);
  EXPECT_EQ(g_uses["tex.mat"], 1);
  ASSERT_EQ(m->geosetCount, 1);
  ASSERT_EQ(m->geosets[0].meshCount, 1);
  const qxModel3Mesh& mesh = m->geosets[0].meshes[0];
  EXPECT_STREQ(mesh.name, "cube");
  EXPECT_EQ(mesh.vertexCount, 8);
  EXPECT_EQ(mesh.texVertexCount, 4);
  EXPECT_EQ(mesh.vertexIntensities[3], 0.5f);
  EXPECT_EQ(mesh.litIntensities[3], 0.25f);
  ASSERT_EQ(mesh.faceCount, 6);
  for (int f = 0; f < 6; ++f) {
    SCOPED_TRACE(f);
    const qxFace& face = mesh.faces[f];
    EXPECT_EQ(face.index, f);
    EXPECT_EQ(face.vertexCount, 4);
    EXPECT_EQ(face.vertexIndices[2], kCubeQuads[f][2]);
    ASSERT_NE(face.texVertexIndices, nullptr);
    EXPECT_EQ(face.texVertexIndices[3], 3);
    EXPECT_EQ(face.material, m->materials[0]);
    EXPECT_EQ(face.celIndex, -1);
    EXPECT_EQ(face.extraLight, 0.75f);
    EXPECT_EQ(face.extra[2], 3u);
    // The stored normals were zero: recomputed outward.
    ExpectNear3(face.normal, kCubeNormals[f][0], kCubeNormals[f][1], kCubeNormals[f][2]);
  }
  // Every corner is shared by three faces: the mean of their normals.
  const float c = 1.0f / std::sqrt(3.0f);
  ExpectNear3(mesh.vertexNormals[0], -c, -c, -c, 1e-3f);
  ExpectNear3(mesh.vertexNormals[6], -c, c, c, 1e-3f);
  ExpectNear3(mesh.boxMin, -1, -1, -1);
  ExpectNear3(mesh.boxMax, 1, 1, 1);
  EXPECT_NEAR(mesh.radius, std::sqrt(3.0f) * 1.1f, 1e-5f);
  // The node moves the cube to x = 10.
  ExpectNear3(m->boxMin, 9, -1, -1, 1e-3f);
  ExpectNear3(m->boxMax, 11, 1, 1, 1e-3f);
  ExpectNear3(m->boxCentre, 10, 0, 0, 1e-3f);
  EXPECT_NEAR(m->radius, std::sqrt(3.0f), 1e-3f);
  ExpectNear3(m->insertOffset, 0.5f, 0.25f, 0.125f);
  ASSERT_EQ(m->nodeCount, 1);
  EXPECT_EQ(m->nodes[0].depth, 0);
  EXPECT_EQ(m->nodes[0].parent, nullptr);
  EXPECT_EQ(m->nodes[0].restMatrix.z.z, 1.0f);
  // The shadow box: the top face first, then the bottom face, then the diagonals.
  ASSERT_NE(mesh.shadowBox, nullptr);
  ExpectNear3(mesh.shadowBox[0], 1, 1, 1);
  ExpectNear3(mesh.shadowBox[6], -1, -1, -1);
  ExpectNear3(mesh.shadowBox[9], 1, 1, -1);
  ExpectNear3(mesh.shadowBox[13], 1, -1, -1);

  EXPECT_EQ(qxModel3_FindNode("cube_root", m), &m->nodes[0]);
  EXPECT_EQ(qxModel3_FindNode("CUBE_ROOT", m), &m->nodes[0]);
  EXPECT_EQ(qxModel3_FindNode("cube", m), nullptr);
  EXPECT_EQ(qxModel3_CheckFaceModes(m), 1);

  // Freeing tells the render hooks of every array and releases the material.
  const void* vertices = mesh.vertices;
  const void* shadowBox = mesh.shadowBox;
  qxModel3_Free(m);
  EXPECT_NE(std::find(g_freed.begin(), g_freed.end(), vertices), g_freed.end());
  EXPECT_NE(std::find(g_freed.begin(), g_freed.end(), shadowBox), g_freed.end());
  EXPECT_EQ(g_freed.size(), 9u);  // 7 mesh arrays, the mesh array, the material list
  EXPECT_EQ(g_uses["tex.mat"], 0);
}

TEST_F(QxModel3, EdgeCasesOfTheBinaryForm) {
  // No materials: no list, faces without one.
  qxModel3* plain = LoadBytes(LdomBuild(LdomCube(false)));
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->materials, nullptr);
  EXPECT_EQ(plain->geosets[0].meshes[0].faces[0].material, nullptr);
  EXPECT_EQ(plain->geosets[0].meshes[0].faces[0].texVertexIndices, nullptr);
  EXPECT_EQ(qxModel3_CheckFaceModes(plain), 0);  // solid colour without a material
  qxModel3_Free(plain);

  // A face of no corners has no lists whatever its markers say; index -1 is
  // no material; a material that does not load leaves a null entry.
  Ldom m = LdomCube(true);
  m.materials = {"tex.mat", "missing.mat"};
  LdomFace& empty = m.geosets[0][0].faces[1];
  empty.vertices.clear();
  empty.texVertices = {};
  LdomFace& none = m.geosets[0][0].faces[2];
  none.material = -1;
  none.materialMarker = true;
  m.geosets[0][0].faces[3].material = 1;
  // Geoset 1 keeps its stored radius; its node-less meshes add nothing to the box.
  LdomMesh far = m.geosets[0][0];
  far.vertices[0] = {100, 100, 100};
  m.geosets.push_back({far});
  qxModel3* model = LoadBytes(LdomBuild(m));
  ASSERT_NE(model, nullptr);
  const qxModel3Mesh& mesh = model->geosets[0].meshes[0];
  EXPECT_EQ(mesh.faces[1].vertexCount, 0);
  EXPECT_EQ(mesh.faces[1].vertexIndices, nullptr);
  EXPECT_EQ(mesh.faces[1].texVertexIndices, nullptr);
  EXPECT_EQ(mesh.faces[1].material, model->materials[0]);
  EXPECT_EQ(mesh.faces[2].material, nullptr);
  EXPECT_EQ(model->materials[1], nullptr);
  EXPECT_EQ(mesh.faces[3].material, nullptr);
  EXPECT_EQ(model->geosets[1].meshes[0].radius, 42.0f);
  EXPECT_NEAR(mesh.radius, std::sqrt(3.0f) * 1.1f, 1e-5f);
  ExpectNear3(model->geosets[1].meshes[0].boxMax, 100, 100, 100);
  ExpectNear3(model->boxMax, 11, 1, 1, 1e-3f);
  qxModel3_Free(model);
}

TEST_F(QxModel3, HierarchyPlacesMeshesAndEmptyHierarchiesKeepTheOpenBox) {
  // Root without a mesh, pivot (1, 0, 0); a child turned 90 degrees of yaw at
  // (0, 0, 5) carrying the cube; a second child without a mesh.
  Ldom m = LdomCube(false);
  LdomNode root, cube = m.nodes[0], empty;
  root.name = "root";
  root.child = 1;
  root.childCount = 2;
  root.pivot[0] = 1.0f;
  cube.parent = 0;
  cube.sibling = 2;
  cube.position[0] = 0.0f;
  cube.position[2] = 5.0f;
  cube.angles[1] = 90.0f;
  cube.pivot[0] = 2.0f;  // the cube turns about x = -2 of its own space
  empty.parent = 0;
  m.nodes = {root, cube, empty};
  qxModel3* model = LoadBytes(LdomBuild(m));
  ASSERT_NE(model, nullptr);
  EXPECT_EQ(model->nodes[1].depth, 1);
  EXPECT_EQ(model->nodes[2].depth, 1);
  EXPECT_EQ(model->nodes[0].child, &model->nodes[1]);
  EXPECT_EQ(model->nodes[1].sibling, &model->nodes[2]);
  // A vertex v lands at T(1, 0, 0) T(-1, 0, 0) T(0, 0, 5) Ryaw90 T(2, 0, 0) v
  // (the root's own pivot cancels its child's parent term): x in [1, 3]
  // turns to y in [1, 3], and z moves up by 5.
  ExpectNear3(model->boxMin, -1, 1, 4, 2e-3f);
  ExpectNear3(model->boxMax, 1, 3, 6, 2e-3f);
  qxModel3_Free(model);

  Ldom bare = LdomCube(false);
  bare.nodes.clear();
  model = LoadBytes(LdomBuild(bare));
  ASSERT_NE(model, nullptr);
  ExpectNear3(model->boxMin, 3.4e38f, 3.4e38f, 3.4e38f, 1e32f);
  ExpectNear3(model->boxMax, -3.4e38f, -3.4e38f, -3.4e38f, 1e32f);
  EXPECT_TRUE(std::isinf(model->radius));  // from the open box, as it says
  qxModel3_Free(model);

  Ldom noMesh = LdomCube(false);
  noMesh.nodes[0].mesh = -1;
  model = LoadBytes(LdomBuild(noMesh));
  ASSERT_NE(model, nullptr);
  ExpectNear3(model->boxMax, -3.4e38f, -3.4e38f, -3.4e38f, 1e32f);
  qxModel3_Free(model);
}

TEST_F(QxModel3, VertexOfOneFaceTakesItsNeighbours) {
  Ldom m;
  LdomMesh mesh;
  mesh.vertices = {{0, 0, 0}, {2, 0, 0}, {0, 1, 0}, {5, 5, 5}};  // vertex 3 unused
  LdomFace tri;
  tri.vertices = {0, 1, 2};
  tri.geometryMode = 3;
  mesh.faces = {tri};
  m.geosets = {{mesh}};
  qxModel3* model = LoadBytes(LdomBuild(m));
  ASSERT_NE(model, nullptr);
  const qxModel3Mesh& got = model->geosets[0].meshes[0];
  ExpectNear3(got.faces[0].normal, 0, 0, 1);
  // (v1 - v0) + (v2 - v0) = (2, 1, 0), normalized.
  ExpectNear3(got.vertexNormals[0], 2 / std::sqrt(5.0f), 1 / std::sqrt(5.0f), 0);
  // (v2 - v1) + (v0 - v1) = (-4, 1, 0).
  ExpectNear3(got.vertexNormals[1], -4 / std::sqrt(17.0f), 1 / std::sqrt(17.0f), 0);
  ExpectNear3(got.vertexNormals[3], 1, 0, 0);  // no face
  qxModel3_Free(model);
}

// A hash of every field of a loaded model, derived ones included: numbers by
// their bytes, pointers by what they point at (a material by its place in the
// model's list, a node by its index, an array by its contents).
struct ModelHash {
  uint64_t h = 1469598103934665603ull;  // FNV-1a
  void Bytes(const void* data, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      h ^= static_cast<const uint8_t*>(data)[i];
      h *= 1099511628211ull;
    }
  }
  template <typename T>
  void Value(const T& v) {
    Bytes(&v, sizeof v);
  }
  template <typename T>
  void Array(const T* items, int32_t count) {
    Value(items != nullptr);
    if (items && count > 0) Bytes(items, sizeof(T) * static_cast<size_t>(count));
  }
  void Material(const qxModel3* m, const qxMaterial* material) {
    int32_t at = -2;  // null
    for (uint32_t i = 0; material && i < m->materialCount; ++i) {
      if (m->materials[i] == material) at = static_cast<int32_t>(i);
    }
    Value(material ? at : -2);
  }
  void Node(const qxModel3* m, const qxModel3Node* node) {
    Value(node ? static_cast<int32_t>(node - m->nodes) : -1);
  }
  uint64_t Of(const qxModel3* m) {
    Value(m->name);
    Value(m->reserved);
    Value(m->geosetCount);
    for (const qxModel3Geoset& g : m->geosets) {
      Value(g.meshCount);
      for (int32_t i = 0; g.meshes && i < g.meshCount; ++i) {
        const qxModel3Mesh& mesh = g.meshes[i];
        Value(mesh.name);
        Value(mesh.meshIndex);
        Value(mesh.geometryMode);
        Value(mesh.lightingMode);
        Value(mesh.textureMode);
        Value(mesh.vertexCount);
        Value(mesh.texVertexCount);
        Value(mesh.faceCount);
        Array(mesh.vertices, mesh.vertexCount);
        Array(mesh.texVertices, mesh.texVertexCount);
        Array(mesh.vertexIntensities, mesh.vertexCount);
        Array(mesh.litIntensities, mesh.vertexCount);
        Array(mesh.vertexNormals, mesh.vertexCount);
        Value(mesh.faces != nullptr);
        for (int32_t f = 0; mesh.faces && f < mesh.faceCount; ++f) {
          const qxFace& face = mesh.faces[f];
          Value(face.index);
          Value(face.flags);
          Value(face.geometryMode);
          Value(face.lightingMode);
          Value(face.textureMode);
          Value(face.vertexCount);
          Array(face.vertexIndices, face.vertexCount);
          Array(face.texVertexIndices, face.vertexCount);
          Material(m, face.material);
          Value(face.celIndex);
          Value(face.textureOffset);
          Value(face.extraLight);
          Value(face.extra);
          Value(face.normal);
        }
        Value(mesh.shadow);
        Array(mesh.shadowBox, mesh.shadowBox ? kModelShadowPoints : 0);
        Value(mesh.meshIntensity);
        Value(mesh.radius);
        Value(mesh.boxMin);
        Value(mesh.boxMax);
      }
    }
    Value(m->materialCount);
    for (uint32_t i = 0; i < m->materialCount; ++i) {
      Value(m->materials[i] ? std::string(m->materials[i]->name).size() : size_t{0});
      if (m->materials[i]) Value(m->materials[i]->name);
    }
    Value(m->defaultGeoset);
    Value(m->nodeCount);
    for (int32_t i = 0; i < m->nodeCount; ++i) {
      const qxModel3Node& n = m->nodes[i];
      Value(n.name);
      Value(n.flags);
      Value(n.index);
      Value(n.type);
      Value(n.meshIndex);
      Value(n.depth);
      Node(m, n.parent);
      Value(n.childCount);
      Node(m, n.child);
      Node(m, n.sibling);
      Value(n.pivot);
      Value(n.position);
      Value(n.angles);
      Value(n.restMatrix);
    }
    Value(m->radius);
    Value(m->boxMin);
    Value(m->boxMax);
    Value(m->boxCentre);
    Value(m->insertOffset);
    return h;
  }
};

// Every field of a varied model, read and derived, hashed and pinned: two
// geosets, a grid of quads and triangles with and without texture indices,
// faces without corners, with a missing material and none, a collinear
// outline, a vertex of one face and an unused one, a hierarchy of four nodes
// with pivots and angles. Rewrites of the reader and the derivations must
// keep the loaded model byte for byte.
TEST_F(QxModel3, VariedModelLoadsByteForByteAsPinned) {
  Ldom m;
  m.name = "varied";
  m.materials = {"tex.mat", "missing.mat", "flat.mat"};
  LdomMesh grid;
  grid.name = "grid";
  constexpr int kCols = 5, kRows = 4;
  for (int y = 0; y <= kRows; ++y) {
    for (int x = 0; x <= kCols; ++x) {
      grid.vertices.push_back({0.5f * x, 0.75f * y, 0.1f * ((x * 3 + y * 5) % 7)});
      grid.texVertices.push_back({x / float(kCols), y / float(kRows)});
    }
  }
  grid.vertices.push_back({9, 9, 9});  // used by no face
  for (int y = 0; y < kRows; ++y) {
    for (int x = 0; x < kCols; ++x) {
      const int32_t v = y * (kCols + 1) + x;
      LdomFace face;
      if ((x + y) % 3 == 0) {  // two triangles
        face.vertices = {v, v + 1, v + kCols + 2};
        face.texVertices = face.vertices;
        face.material = 0;
        grid.faces.push_back(face);
        face.vertices = {v, v + kCols + 2, v + kCols + 1};
        face.texVertices.clear();
        face.material = 2;
        face.geometryMode = 3;
      } else {
        face.vertices = {v, v + 1, v + kCols + 2, v + kCols + 1};
        face.texVertices = {v, v + 1, v + kCols + 2, v + kCols + 1};
        face.material = (x + y) % 2 == 0 ? 1 : 0;  // the missing one loads as null
      }
      face.flags = (x * y) % 4;
      face.cel = x % 2 == 0 ? -1 : x;
      grid.faces.push_back(face);
    }
  }
  LdomFace line;  // a collinear outline keeps its stored normal
  line.vertices = {0, 1, 2};
  line.normal[2] = 1.0f;
  line.geometryMode = 0;
  grid.faces.push_back(line);
  LdomFace empty;  // no corners: no lists, whatever the markers
  empty.texVertices = {};
  empty.cornerOverride = 0;
  empty.geometryMode = 0;
  grid.faces.push_back(empty);
  grid.shadow = 1;
  LdomMesh tri;
  tri.name = "tri";
  tri.index = 1;
  tri.vertices = {{0, 0, 0}, {2, 0, 1}, {0, 1, 0}, {1, 1, 3}};
  LdomFace t;
  t.vertices = {0, 1, 2};
  t.geometryMode = 3;
  tri.faces = {t};
  t.vertices = {1, 3, 2};
  tri.faces.push_back(t);
  LdomMesh alternative = tri;
  alternative.name = "lod";
  alternative.index = 0;
  alternative.radius = 3.5f;  // kept: not of geoset 0
  m.geosets = {{grid, tri}, {alternative}};
  LdomNode root, body, arm, hand;
  root.name = "root";
  root.child = 1;
  root.childCount = 1;
  root.pivot[1] = 0.5f;
  body.name = "Body";
  body.mesh = 0;
  body.parent = 0;
  body.child = 2;
  body.childCount = 1;
  body.type = 0x3;
  body.position[2] = 2.0f;
  body.angles[0] = 30.0f;
  body.angles[1] = -45.0f;
  arm.name = "arm";
  arm.mesh = 1;
  arm.parent = 1;
  arm.sibling = 3;
  arm.flags = QXNODE_INHERIT_INTENSITY;
  arm.position[0] = 1.5f;
  arm.angles[2] = 12.5f;
  arm.pivot[0] = -0.25f;
  hand.name = "hand";
  hand.parent = 1;
  hand.position[1] = -1.0f;
  m.nodes = {root, body, arm, hand};
  m.nodes[1].childCount = 2;

  qxModel3* model = LoadBytes(LdomBuild(m));
  ASSERT_NE(model, nullptr);
  EXPECT_EQ(ModelHash().Of(model), 0xf5fde0e6529ab39cull);
  qxModel3_Free(model);
}

// A file layer that cannot tell sizes (no seek): the reader takes the file
// in pieces until it ends. A model larger than one piece loads as it does
// with the size known; cut short, it fails.
TEST_F(QxModel3, ModelOfUnknownSizeLoadsTheSame) {
  Ldom m;
  LdomMesh grid;
  constexpr int kSide = 40;  // 1600 textured quads, some 180 KB
  for (int y = 0; y <= kSide; ++y) {
    for (int x = 0; x <= kSide; ++x) {
      grid.vertices.push_back({float(x), float(y), 0.05f * ((x * y) % 5)});
      grid.texVertices.push_back({x / float(kSide), y / float(kSide)});
    }
  }
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      const int32_t v = y * (kSide + 1) + x;
      LdomFace quad;
      quad.vertices = {v, v + 1, v + kSide + 2, v + kSide + 1};
      quad.texVertices = quad.vertices;
      quad.material = 0;
      grid.faces.push_back(quad);
    }
  }
  m.materials = {"tex.mat"};
  m.geosets = {{grid}};
  const std::string bytes = LdomBuild(m);
  ASSERT_GT(bytes.size(), size_t{100000});
  qxModel3* known = LoadBytes(bytes);
  ASSERT_NE(known, nullptr);
  const uint64_t hash = ModelHash().Of(known);
  qxModel3_Free(known);

  HostServices* hs = qxTest_StartLibrary();
  const auto seek = hs->fileSeek;
  hs->fileSeek = nullptr;
  qxModel3* unknown = LoadBytes(bytes);
  qxModel3* cut = LoadBytes(bytes.substr(0, bytes.size() - 100));
  hs->fileSeek = seek;
  ASSERT_NE(unknown, nullptr);
  EXPECT_EQ(ModelHash().Of(unknown), hash);
  qxModel3_Free(unknown);
  EXPECT_EQ(cut, nullptr);
}

TEST_F(QxModel3, WriterRoundTripsAndWritesDuplicateMaterialsOnce) {
  Ldom m = LdomCube(true);
  m.materials = {"tex.mat", "other.mat"};
  m.geosets[0][0].faces[4].material = 1;
  qxModel3* model = LoadBytes(LdomBuild(m));
  ASSERT_NE(model, nullptr);
  // Point the second list entry at a second record of the first one's name.
  static qxMaterial twin;
  std::snprintf(twin.name, sizeof twin.name, "tex.mat");
  qxMaterial* other = model->materials[1];
  model->materials[1] = &twin;
  model->geosets[0].meshes[0].faces[4].material = &twin;
  ASSERT_EQ(qxModel3_WriteBinary("again.3do", model), 1);
  const std::string bytes = GetFile("again.3do");
  ASSERT_GT(bytes.size(), 40u);
  EXPECT_EQ(bytes.substr(0, 8), std::string("LDOM\1\0\0\0", 8));  // one name
  model->materials[1] = other;

  qxModel3* back = qxModel3_Load("again.3do");
  ASSERT_NE(back, nullptr);
  ASSERT_EQ(back->materialCount, 1u);
  const qxModel3Mesh& a = model->geosets[0].meshes[0];
  const qxModel3Mesh& b = back->geosets[0].meshes[0];
  EXPECT_EQ(b.faces[4].material, back->materials[0]);  // the twin became the first
  EXPECT_STREQ(back->name, model->name);
  EXPECT_EQ(back->reserved, model->reserved);
  ASSERT_EQ(b.faceCount, a.faceCount);
  for (int f = 0; f < a.faceCount; ++f) {
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(b.faces[f].vertexIndices[i], a.faces[f].vertexIndices[i]);
      EXPECT_EQ(b.faces[f].texVertexIndices[i], a.faces[f].texVertexIndices[i]);
    }
    ExpectNear3(b.faces[f].normal, a.faces[f].normal.x, a.faces[f].normal.y, a.faces[f].normal.z);
  }
  for (int v = 0; v < 8; ++v) {
    ExpectNear3(b.vertices[v], a.vertices[v].x, a.vertices[v].y, a.vertices[v].z);
  }
  ExpectNear3(back->boxMin, 9, -1, -1, 1e-3f);
  EXPECT_STREQ(back->nodes[0].name, "Cube_Root");
  // Written again, the file is the same.
  ASSERT_EQ(qxModel3_Write("third.3do", back), 1);
  EXPECT_EQ(GetFile("third.3do"), GetFile("again.3do"));
  qxModel3_Free(back);
  model->geosets[0].meshes[0].faces[4].material = other;
  qxModel3_Free(model);
}

TEST_F(QxModel3, TruncatedFilesFailAtEveryLength) {
  const std::string good = LdomBuild(LdomCube(true));
  for (size_t cut = 4; cut < good.size(); ++cut) {
    PutFile("cut.3do", good.substr(0, cut));
    qxModel3* model = qxModel3_Load("cut.3do");
    ASSERT_EQ(model, nullptr) << "loaded when cut at " << cut;
  }
}

struct BadModel {
  const char* label;
  void (*change)(Ldom&);
};

TEST_F(QxModel3, OutOfRangeFilesAreRefused) {
  const BadModel cases[] = {
      {"5 geosets", [](Ldom& m) { m.geosetCountOverride = 5; }},
      {"face material at the count", [](Ldom& m) { m.geosets[0][0].faces[0].material = 1; }},
      {"material index without materials",
       [](Ldom& m) {
         m.materials.clear();
         m.geosets[0][0].faces[0].texVertices.clear();
       }},
      {"vertex index 8", [](Ldom& m) { m.geosets[0][0].faces[2].vertices[1] = 8; }},
      {"negative vertex index", [](Ldom& m) { m.geosets[0][0].faces[2].vertices[1] = -3; }},
      {"texture vertex index 4", [](Ldom& m) { m.geosets[0][0].faces[5].texVertices[0] = 4; }},
      {"node mesh 1", [](Ldom& m) { m.nodes[0].mesh = 1; }},
      {"node mesh -2", [](Ldom& m) { m.nodes[0].mesh = -2; }},
      {"parent 1 of 1", [](Ldom& m) { m.nodes[0].parent = 1; }},
      {"negative child", [](Ldom& m) { m.nodes[0].child = -5; }},
      {"own child", [](Ldom& m) { m.nodes[0].child = 0; }},
      {"sibling cycle",
       [](Ldom& m) {
         m.nodes.push_back(m.nodes[0]);
         m.nodes[0].sibling = 1;
         m.nodes[1].sibling = 0;
       }},
      {"two links to one node",
       [](Ldom& m) {
         m.nodes.push_back(m.nodes[0]);
         m.nodes.push_back(m.nodes[0]);
         m.nodes[0].child = 2;
         m.nodes[1].sibling = 2;
       }},
      {"parent cycle",
       [](Ldom& m) {
         m.nodes.push_back(m.nodes[0]);
         m.nodes[0].parent = 1;
         m.nodes[1].parent = 0;
       }},
      {"default geoset 4", [](Ldom& m) { m.defaultGeoset = 4; }},
      {"vertex count beyond the file",
       [](Ldom& m) { m.geosets[0][0].vertexCountOverride = 1 << 27; }},
      {"corner count beyond the file",
       [](Ldom& m) { m.geosets[0][0].faces[0].cornerOverride = 0x7FFFFFF0; }},
      {"node count beyond the file", [](Ldom& m) { m.nodeCountOverride = 1 << 30; }},
  };
  for (const BadModel& c : cases) {
    SCOPED_TRACE(c.label);
    Ldom m = LdomCube(true);
    c.change(m);
    EXPECT_EQ(LoadBytes(LdomBuild(m)), nullptr);
  }
}

TEST_F(QxModel3, EditingHelpers) {
  qxModel3* m = LoadBytes(LdomBuild(LdomCube(true)));
  ASSERT_NE(m, nullptr);
  qxModel3Mesh copy = m->geosets[0].meshes[0];
  copy.geometryMode = 2;
  EXPECT_EQ(qxModel3_SetMesh(m, 0, 1, &copy), 0);
  EXPECT_EQ(qxModel3_SetMesh(m, 4, 0, &copy), 0);
  EXPECT_EQ(qxModel3_SetMesh(m, 0, 0, &copy), 1);
  EXPECT_EQ(m->geosets[0].meshes[0].geometryMode, 2);
  // Geometry mode 4 with an untextured material is refused.
  m->geosets[0].meshes[0].faces[0].material = &g_materials["flat.mat"];
  EXPECT_EQ(qxModel3_CheckFaceModes(m), 0);
  m->geosets[0].meshes[0].faces[0].geometryMode = 3;
  EXPECT_EQ(qxModel3_CheckFaceModes(m), 1);
  // Freeing the geometry tells nobody and keeps the material held.
  qxModel3_FreeGeometry(m);
  EXPECT_TRUE(g_freed.empty());
  EXPECT_EQ(m->geosets[0].meshes, nullptr);
  EXPECT_EQ(g_uses["tex.mat"], 1);
  --g_uses["tex.mat"];
  qxModel3_Free(m);
}

// ---- Text form ---------------------------------------------------------------------

const char kTextHead[] =
    "# a triangle and a second face\n"
    "SECTION: HEADER\n"
    "3DO 2.1\n"
    "SECTION: MODELRESOURCE\n"
    "MATERIALS 2\n"
    "  1: flat.mat\n"
    "  0: tex.mat\n"
    "SECTION: GEOMETRYDEF\n"
    "RADIUS 3.0\n"
    "INSERT OFFSET 1 2 3\n"
    "GEOSETS 1\n"
    "GEOSET 0\n"
    "MESHES 1\n"
    "MESH 0\n"
    "NAME Tri\n"
    "RADIUS 9.0\n";
const char kTextModes[] =
    "GEOMETRYMODE\t4\n"
    "LIGHTINGMODE\t3\n"
    "TEXTUREMODE\t1\n"
    "VERTICES 3\n"
    "  0: 0 0 0 0.5\n"
    "  1: 2 0 0 0.5\n"
    "  2: 0 1 0 0.5\n"
    "TEXTURE VERTICES 3\n"
    "  0: 0 0\n"
    "  1: 1 0\n"
    "  2: 0 1\n"
    "VERTEX NORMALS\n"
    "  0: 0 0 1\n"
    "  1: 0 0 1\n"
    "  2: 0 0 1\n"
    "FACES 2\n";
const char kTextFaces[] =
    "  0: 0 0x1 4 3 1 0.25 3 0,0\t1,1  2,2\n"
    "  1: 1 0 3 3 1 0 3   0, 0   2, 2   1, 1\n";
const char kTextTail[] =
    "FACE NORMALS\n"
    "  0: 0 0 1\n"
    "  1: 0 0 -1\n"
    "SECTION: HIERARCHYDEF\n"
    "HIERARCHY NODES 2\n"
    "  0: 0x0 0x1 -1 -1 1 -1 1 0 0 0 0 0 0 0 0 0 root\n"
    "  1: 0x2 0x0 0 0 -1 -1 0 0 0 5 0 90 0 0 0 0 Tri_Node\n";

std::string TextModel(const char* shadow = "SHADOW 1\n", const char* faces = kTextFaces) {
  return std::string(kTextHead) + shadow + kTextModes + faces + kTextTail;
}

TEST_F(QxModel3, TextModelLoads) {
  qxModel3* m = LoadBytes(TextModel(), "tri.txt");  // not LDOM: read as text, by name
  ASSERT_NE(m, nullptr);
  EXPECT_STREQ(m->name, "tri.txt");
  EXPECT_EQ(m->reserved, 0u);
  ASSERT_EQ(m->materialCount, 2u);
  EXPECT_EQ(m->materials[0], &g_materials["tex.mat"]);
  EXPECT_EQ(m->materials[1], &g_materials["flat.mat"]);
  ExpectNear3(m->insertOffset, 1, 2, 3);
  const qxModel3Mesh& mesh = m->geosets[0].meshes[0];
  EXPECT_STREQ(mesh.name, "tri");  // the reader lower-cases
  EXPECT_EQ(mesh.shadow, 1);
  ASSERT_NE(mesh.shadowBox, nullptr);
  EXPECT_EQ(mesh.geometryMode, 4);
  EXPECT_EQ(mesh.textureMode, 1);
  EXPECT_EQ(mesh.vertexIntensities[1], 0.5f);
  EXPECT_EQ(mesh.litIntensities[1], 0.0f);
  EXPECT_EQ(mesh.texVertices[2].y, 1.0f);
  const qxFace& textured = mesh.faces[0];
  EXPECT_EQ(textured.material, m->materials[0]);
  EXPECT_EQ(textured.flags, 1);
  EXPECT_EQ(textured.extraLight, 0.25f);
  EXPECT_EQ(textured.celIndex, -1);
  ASSERT_NE(textured.texVertexIndices, nullptr);
  EXPECT_EQ(textured.texVertexIndices[2], 2);
  // An untextured material keeps only the vertex of each pair.
  const qxFace& flat = mesh.faces[1];
  EXPECT_EQ(flat.index, 1);
  EXPECT_EQ(flat.texVertexIndices, nullptr);
  EXPECT_EQ(flat.vertexIndices[1], 2);
  ExpectNear3(flat.normal, 0, 0, -1);  // recomputed from the turned outline
  ASSERT_EQ(m->nodeCount, 2);
  EXPECT_EQ(m->nodes[1].parent, &m->nodes[0]);
  EXPECT_EQ(m->nodes[0].child, &m->nodes[1]);
  EXPECT_EQ(m->nodes[1].depth, 1);
  EXPECT_EQ(m->nodes[1].flags, 2u);
  EXPECT_STREQ(m->nodes[1].name, "tri_node");
  EXPECT_EQ(m->nodes[1].restMatrix.x.x, 0.0f);  // the text form has no rest matrices
  EXPECT_EQ(qxModel3_FindNode("TRI_NODE", m), &m->nodes[1]);
  qxModel3_Free(m);

  // Without the shadow line the modes follow the radius.
  m = LoadBytes(TextModel(""), "tri.txt");
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->geosets[0].meshes[0].shadow, 0);
  EXPECT_EQ(m->geosets[0].meshes[0].shadowBox, nullptr);
  EXPECT_EQ(m->geosets[0].meshes[0].geometryMode, 4);
  qxModel3_Free(m);
}

TEST_F(QxModel3, BadTextModelsAreRefused) {
  std::string corners25 = "  0: 0 0x1 4 3 1 0.25 25";
  for (int i = 0; i < 25; ++i) corners25 += " 0,0";
  corners25 += "\n  1: 1 0 3 3 1 0 3 0,0 2,2 1,1\n";
  std::string materials128 = "SECTION: HEADER\n3DO 2.1\nSECTION: R\nMATERIALS 128\n";
  for (int i = 0; i < 128; ++i) materials128 += std::to_string(i) + ": flat.mat\n";
  const std::string good = TextModel();
  auto with = [&](const char* from, const char* to) {
    std::string text = good;
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, std::strlen(from), to);
  };
  const std::pair<const char*, std::string> cases[] = {
      {"25 corners", TextModel("", corners25.c_str())},
      {"0 corners", with("  1: 1 0 3 3 1 0 3 ", "  1: 1 0 3 3 1 0 0 ")},
      {"128 materials", materials128},
      {"material name index at the count", with("  1: flat.mat", "  2: flat.mat")},
      {"a material that does not load", with("flat.mat", "missing.mat")},
      {"face material at the count", with("  1: 1 0 3", "  1: 2 0 3")},
      {"face material -2", with("  1: 1 0 3", "  1: -2 0 3")},
      {"vertex index 3", with("0, 0   2, 2", "0, 0   3, 2")},
      {"texture vertex index 3", with("1,1  2,2", "1,1  2,3")},
      {"node parent 2", with("  1: 0x2 0x0 0 0 -1", "  1: 0x2 0x0 0 2 -1")},
      {"node mesh 1", with("  1: 0x2 0x0 0 0", "  1: 0x2 0x0 1 0")},
      {"5 geosets", with("GEOSETS 1", "GEOSETS 5")},
      {"513 vertices", with("VERTICES 3", "VERTICES 513")},
      {"a corner count that is no number", with("0.25 3 0,0", "0.25 x 0,0")},
      {"a missing corner", with("  2,2\n", "\n")},
      {"a missing hierarchy", good.substr(0, good.find("SECTION: HIERARCHYDEF"))},
  };
  for (const auto& [label, text] : cases) {
    SCOPED_TRACE(label);
    EXPECT_EQ(LoadBytes(text, "bad.txt"), nullptr);
  }
}

TEST_F(QxModel3, TextWriterRoundTrips) {
  qxModel3* m = LoadBytes(TextModel(), "tri.txt");
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(qxModel3_WriteText("written.txt", m, "tri.max"), 1);
  const std::string text = GetFile("written.txt");
  EXPECT_EQ(text.rfind("# MODEL 'tri.txt' created from 'tri.max'\n\n", 0), 0u);
  EXPECT_NE(text.find("         0:        tex.mat\n"), std::string::npos);
  EXPECT_NE(text.find("  0,  0   1,  1   2,  2 \n"), std::string::npos);
  EXPECT_NE(text.find("  0, 0   2, 0   1, 0 \n"), std::string::npos);
  qxModel3* back = qxModel3_Load("written.txt");
  ASSERT_NE(back, nullptr);
  const qxModel3Mesh& a = m->geosets[0].meshes[0];
  const qxModel3Mesh& b = back->geosets[0].meshes[0];
  EXPECT_STREQ(b.name, a.name);
  EXPECT_EQ(b.shadow, a.shadow);
  EXPECT_EQ(b.lightingMode, a.lightingMode);
  ASSERT_EQ(b.faceCount, 2);
  EXPECT_EQ(b.faces[0].material, back->materials[0]);
  EXPECT_STREQ(back->materials[1]->name, "flat.mat");
  EXPECT_EQ(b.faces[1].vertexIndices[2], 1);
  ExpectNear3(b.faces[1].normal, 0, 0, -1);
  ExpectNear3(b.vertices[1], 2, 0, 0);
  EXPECT_NEAR(b.radius, a.radius, 1e-5f);
  EXPECT_EQ(back->nodes[1].parent, &back->nodes[0]);
  ExpectNear3(back->nodes[1].angles, 0, 90, 0);
  ExpectNear3(back->boxMin, m->boxMin.x, m->boxMin.y, m->boxMin.z);
  qxModel3_Free(back);

  // A material given twice is written as its last place in the list.
  qxMaterial** three = static_cast<qxMaterial**>(qxCore_Alloc(3 * sizeof(qxMaterial*), "t", 1));
  three[0] = m->materials[0];
  three[1] = m->materials[1];
  three[2] = LoadMaterial("tex.mat", 0, 0);
  qxCore_Free(m->materials);
  m->materials = three;
  m->materialCount = 3;
  ASSERT_EQ(qxModel3_WriteText("written.txt", m, "tri.max"), 1);
  EXPECT_NE(GetFile("written.txt").find("     0:         2  0x0001"), std::string::npos);
  qxModel3_Free(m);
}

}  // namespace
