// Small writers of the 3D library's binary files for tests, built from the
// file layouts field by field (independently of the library's own writers),
// and helpers to put files in the test's working folder.
#pragma once

#include <algorithm>
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
