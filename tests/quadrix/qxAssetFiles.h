// Small writers of the 3D library's binary files for tests, built from the
// file layouts field by field (independently of the library's own writers),
// and helpers to put files in the test's working folder.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

struct Bytes {
  std::string s;

  Bytes& U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
    return *this;
  }
  Bytes& I32(int32_t v) { return U32(static_cast<uint32_t>(v)); }
  Bytes& F(float v) { return U32(std::bit_cast<uint32_t>(v)); }
  Bytes& Fs(std::initializer_list<float> values) {
    for (float v : values) F(v);
    return *this;
  }
  Bytes& Text(const char* text) {
    s += text;
    return *this;
  }
  // A NUL-padded fixed field.
  Bytes& Name(const char* text, size_t size) {
    std::string field(size, '\0');
    std::memcpy(field.data(), text, std::min(size, std::strlen(text)));
    s += field;
    return *this;
  }
  Bytes& Fill(size_t count, uint8_t value) {
    s.append(count, static_cast<char>(value));
    return *this;
  }
  size_t size() const { return s.size(); }
};

inline void PutFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

inline std::string GetFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// ---- FYEK ------------------------------------------------------------------------

struct FyekEntry {
  float frame;
  uint32_t flags;
  float v[12];  // x, y, z, pitch, yaw, roll, then the six rates
};

struct FyekNode {
  std::string meshName;
  int32_t index;
  std::vector<FyekEntry> entries;
  int32_t entryCountOverride = -1;  // written in place of the real count when >= 0
};

struct Fyek {
  std::string name = "stored.key";
  uint32_t reserved = 0xABCD;
  uint32_t flags = 0;
  int32_t joints = 2;
  uint32_t type = 0x10;
  float rate = 30.0f;
  int32_t frames = 20;
  std::vector<FyekNode> nodes;
  int32_t nodeCountOverride = -1;
  int32_t markerCount = 0;
  float markerFrames[8] = {};
  int32_t markerValues[8] = {};
};

inline std::string FyekBuild(const Fyek& k) {
  Bytes b;
  b.Text("FYEK").Name(k.name.c_str(), 32).U32(k.reserved).U32(k.flags).I32(k.joints);
  b.U32(k.type).F(k.rate).I32(k.frames);
  b.I32(k.nodeCountOverride >= 0 ? k.nodeCountOverride : static_cast<int32_t>(k.nodes.size()));
  b.U32(0x12345678);  // node array marker, ignored
  b.I32(k.markerCount);
  for (float f : k.markerFrames) b.F(f);
  for (int32_t v : k.markerValues) b.I32(v);
  for (const FyekNode& n : k.nodes) {
    b.Name(n.meshName.c_str(), 32).I32(n.index);
    b.I32(n.entryCountOverride >= 0 ? n.entryCountOverride
                                    : static_cast<int32_t>(n.entries.size()));
    b.U32(n.entries.empty() ? 0 : 0x0BADF00D);
    for (const FyekEntry& e : n.entries) {
      b.F(e.frame).U32(e.flags);
      for (float v : e.v) b.F(v);
    }
  }
  return b.s;
}

// A keyframe of two nodes: the root stands still, the child moves along x,
// with one marker at frame 10.
inline Fyek FyekTwoNode() {
  Fyek k;
  k.nodes = {{"root", 0, {{0.0f, 0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}}},
             {"child",
              1,
              {{0.0f, 1, {0, 0, 0, 0, 0, 0, 0.5f, 0, 0, 0, 0, 0}},
               {10.5f, 3, {5, 0, 0, 0, 90, 0, -0.5f, 0, 0, 0, -9, 0}}}}};
  k.markerCount = 1;
  k.markerFrames[0] = 10.0f;
  k.markerValues[0] = 7;
  return k;
}

// ---- MAT ---------------------------------------------------------------------------

struct MatCel {
  uint32_t flags = 0;  // 8 = textured
  int32_t colour = 0;
  int32_t textureValue = 0;
  int32_t textureIndex = 0;
};

struct MatTexture {
  int32_t width = 8, height = 4;
  uint32_t flags = 0;
  int32_t value = 0;
  uint32_t colorKey = 0;
  int32_t mips = 1;
};

struct Mat {
  uint32_t flags = 2;
  int32_t version = 50;
  int32_t format[14] = {1, 16, 5, 6, 5, 11, 5, 0, 3, 2, 3, 0, 0, 0};  // 5-6-5
  std::vector<MatCel> cels;
  std::vector<MatTexture> textures;
  int32_t celCountOverride = -1;
};

// The byte at position i of texture t's mip level k.
inline uint8_t MatPixel(size_t t, int k, size_t i) {
  return static_cast<uint8_t>(t * 64 + static_cast<size_t>(k) * 16 + i * 7);
}

inline std::string MatBuild(const Mat& m) {
  Bytes b;
  b.Text("MAT ").I32(m.version).U32(m.flags);
  b.I32(m.celCountOverride >= 0 ? m.celCountOverride : static_cast<int32_t>(m.cels.size()));
  b.I32(static_cast<int32_t>(m.textures.size()));
  for (int32_t v : m.format) b.I32(v);
  for (const MatCel& c : m.cels) {
    b.U32(c.flags).I32(c.colour).Fs({0.25f, 0.5f, 0.75f, 1.0f});
    if (c.flags & 8) b.I32(c.textureValue).U32(0).U32(0).I32(c.textureIndex);
  }
  const size_t bytesPerPixel = static_cast<size_t>(m.format[1] / 8);
  for (size_t t = 0; t < m.textures.size(); ++t) {
    const MatTexture& x = m.textures[t];
    b.I32(x.width).I32(x.height).U32(x.flags).I32(x.value).U32(x.colorKey).I32(x.mips);
    for (int k = 0; k < x.mips && k < 8; ++k) {
      const size_t n =
          static_cast<size_t>(x.width >> k) * static_cast<size_t>(x.height >> k) * bytesPerPixel;
      for (size_t i = 0; i < n; ++i) b.s.push_back(static_cast<char>(MatPixel(t, k, i)));
    }
  }
  if (m.flags & 1) b.Fill(768, 0x55);
  return b.s;
}

// A textured material of two cels: cel 0 shows a colour-keyed 8x4 texture of
// two mip levels, cel 1 is the flat colour 12.
inline Mat MatTwoLevel() {
  Mat m;
  m.cels = {{8, 0, 77, 0}, {0, 12, 0, 0}};
  m.textures = {{8, 4, 1, 5, 0xF81F, 2}};
  return m;
}

// ---- LDOM --------------------------------------------------------------------------

struct LdomFace {
  std::vector<int32_t> vertices;
  std::vector<int32_t> texVertices;  // written (with its marker) when not empty
  int32_t material = -1;             // written (with its marker) when >= 0 or forced
  bool materialMarker = false;
  int32_t cornerOverride = -1;  // written as the corner count when >= 0
  int32_t flags = 0;
  int32_t geometryMode = 4, lightingMode = 3, textureMode = 1;
  int32_t cel = -1;
  float normal[3] = {0, 0, 0};  // stored; replaced on load
};

struct LdomMesh {
  std::string name = "mesh";
  int32_t index = 0;
  std::vector<std::array<float, 3>> vertices;
  std::vector<std::array<float, 2>> texVertices;
  std::vector<LdomFace> faces;
  int32_t shadow = 0;
  float radius = 42.0f;  // stored; derived again for geoset 0
  int32_t vertexCountOverride = -1;
};

struct LdomNode {
  std::string name = "node";
  uint32_t flags = 0, type = 0;
  int32_t mesh = -1;
  int32_t parent = -1, child = -1, sibling = -1;  // marker and index when not -1
  int32_t childCount = 0;
  float pivot[3] = {0, 0, 0}, position[3] = {0, 0, 0}, angles[3] = {0, 0, 0};
};

struct Ldom {
  std::vector<std::string> materials;
  std::string name = "cube";
  uint32_t reserved = 0x5151;
  std::vector<std::vector<LdomMesh>> geosets;
  int32_t geosetCountOverride = -1;
  int32_t defaultGeoset = 0;
  std::vector<LdomNode> nodes;
  int32_t nodeCountOverride = -1;
  float insert[3] = {0.5f, 0.25f, 0.125f};
};

inline std::string LdomBuild(const Ldom& m) {
  Bytes b;
  b.Text("LDOM").U32(static_cast<uint32_t>(m.materials.size()));
  for (const std::string& name : m.materials) b.Name(name.c_str(), 32);
  b.Name(m.name.c_str(), 32).U32(m.reserved);
  b.I32(m.geosetCountOverride >= 0 ? m.geosetCountOverride
                                   : static_cast<int32_t>(m.geosets.size()));
  for (const auto& geoset : m.geosets) {
    b.I32(static_cast<int32_t>(geoset.size()));
    for (const LdomMesh& mesh : geoset) {
      const int32_t v = static_cast<int32_t>(mesh.vertices.size());
      b.Name(mesh.name.c_str(), 32).I32(mesh.index).I32(4).I32(3).I32(1);
      b.I32(mesh.vertexCountOverride >= 0 ? mesh.vertexCountOverride : v);
      b.I32(static_cast<int32_t>(mesh.texVertices.size()));
      b.I32(static_cast<int32_t>(mesh.faces.size()));
      for (const auto& p : mesh.vertices) b.Fs({p[0], p[1], p[2]});
      for (const auto& t : mesh.texVertices) b.Fs({t[0], t[1]});
      for (int32_t i = 0; i < v; ++i) b.F(0.5f);   // intensities
      for (int32_t i = 0; i < v; ++i) b.F(0.25f);  // lit intensities
      for (size_t f = 0; f < mesh.faces.size(); ++f) {
        const LdomFace& face = mesh.faces[f];
        const bool material = face.material >= 0 || face.materialMarker;
        b.I32(static_cast<int32_t>(f)).I32(face.flags);
        b.I32(face.geometryMode).I32(face.lightingMode).I32(face.textureMode);
        b.I32(face.cornerOverride >= 0 ? face.cornerOverride
                                       : static_cast<int32_t>(face.vertices.size()));
        b.U32(0xAAAA0001).U32(face.texVertices.empty() ? 0 : 0xAAAA0002);
        b.U32(material ? 0xAAAA0003 : 0).I32(face.cel);
        b.Fs({0.0f, 0.0f, 0.75f}).U32(1).U32(2).U32(3);
        b.Fs({face.normal[0], face.normal[1], face.normal[2]});
        for (int32_t i : face.vertices) b.I32(i);
        for (int32_t i : face.texVertices) b.I32(i);
        if (material) b.I32(face.material);
      }
      for (int32_t i = 0; i < v; ++i) b.Fs({0, 0, 0});  // stored normals: replaced
      b.I32(mesh.shadow).F(0.5f).F(mesh.radius).Fs({0, 0, 0, 0, 0, 0});
    }
  }
  b.I32(m.defaultGeoset);
  b.I32(m.nodeCountOverride >= 0 ? m.nodeCountOverride : static_cast<int32_t>(m.nodes.size()));
  for (size_t i = 0; i < m.nodes.size(); ++i) {
    const LdomNode& n = m.nodes[i];
    b.Name(n.name.c_str(), 64).U32(n.flags).I32(static_cast<int32_t>(i)).U32(n.type).I32(n.mesh);
    b.I32(99);  // depth: replaced
    b.U32(n.parent != -1 ? 0xBBBB0001 : 0).I32(n.childCount);
    b.U32(n.child != -1 ? 0xBBBB0002 : 0).U32(n.sibling != -1 ? 0xBBBB0003 : 0);
    b.Fs({n.pivot[0], n.pivot[1], n.pivot[2], n.position[0], n.position[1], n.position[2]});
    b.Fs({n.angles[0], n.angles[1], n.angles[2]});
    b.Fs({1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0});  // rest matrix
    for (int32_t link : {n.parent, n.child, n.sibling}) {
      if (link != -1) b.I32(link);
    }
  }
  b.F(7.0f).Fs({0, 0, 0, 0, 0, 0}).Fs({0, 0, 0});  // radius, box, centre: derived
  b.Fs({m.insert[0], m.insert[1], m.insert[2]});
  return b.s;
}

// Vertex i of the cube is (x, y, z) with x = +1 when bit 0 is set, y for bit
// 1, z for bit 2, else -1. Six quads whose outlines turn so that the normal
// rule gives the outward normals +z, -z, +x, -x, +y, -y.
inline const int32_t kCubeQuads[6][4] = {{7, 6, 4, 5}, {1, 0, 2, 3}, {3, 7, 5, 1},
                                         {0, 4, 6, 2}, {2, 6, 7, 3}, {1, 5, 4, 0}};
inline const float kCubeNormals[6][3] = {{0, 0, 1},  {0, 0, -1}, {1, 0, 0},
                                         {-1, 0, 0}, {0, 1, 0},  {0, -1, 0}};

// A cube model: one geoset of one mesh (8 vertices, 4 texture vertices, 6
// quads), one node placing it at (10, 0, 0); with a material, every face is
// textured with it.
inline Ldom LdomCube(bool withMaterial) {
  Ldom m;
  LdomMesh mesh;
  mesh.name = "cube";
  for (int i = 0; i < 8; ++i) {
    mesh.vertices.push_back({i & 1 ? 1.0f : -1.0f, i & 2 ? 1.0f : -1.0f, i & 4 ? 1.0f : -1.0f});
  }
  mesh.texVertices = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  for (const auto& quad : kCubeQuads) {
    LdomFace face;
    face.vertices.assign(quad, quad + 4);
    if (withMaterial) {
      face.texVertices = {0, 1, 2, 3};
      face.material = 0;
    } else {
      face.geometryMode = 3;
    }
    mesh.faces.push_back(face);
  }
  mesh.shadow = 1;
  m.geosets = {{mesh}};
  if (withMaterial) m.materials = {"tex.mat"};
  LdomNode node;
  node.name = "Cube_Root";
  node.mesh = 0;
  node.position[0] = 10.0f;
  m.nodes = {node};
  return m;
}

// ---- CMP ---------------------------------------------------------------------------

// A colormap file: header, palette, then with flags bit 0 the translucency
// table (entry i = fill), and with bits 0 and 2 the two inverse tables (the
// 5-6-5 one holds fill + 1, the 5-5-5 one fill + 2).
inline std::string CmpBuild(uint32_t flags, const std::vector<uint8_t>& palette,
                            uint8_t fill = 0x20, const char* magic = "CMP ") {
  Bytes b;
  b.Text(magic).I32(30).U32(flags).Fs({0.5f, 1.5f, 2.5f}).Fill(40, 0);
  b.s.append(palette.begin(), palette.end());
  if (flags & 1) {
    for (int i = 0; i < 65536; ++i) b.s.push_back(static_cast<char>(i + fill));
    if (flags & 4) {
      b.Fill(65536, static_cast<uint8_t>(fill + 1));
      b.Fill(65536, static_cast<uint8_t>(fill + 2));
    }
  }
  return b.s;
}

// Grey palette with entry 0 = (0, 0, 250) and entry 100 = white.
inline std::vector<uint8_t> CmpPalette() {
  std::vector<uint8_t> p(768);
  for (int i = 0; i < 256; ++i) p[3 * i] = p[3 * i + 1] = p[3 * i + 2] = static_cast<uint8_t>(i);
  p[2] = 250;
  p[300] = p[301] = p[302] = 255;
  return p;
}
