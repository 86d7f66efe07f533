// A small encoder of ".setx" companion files of versions 1 to 4, for tests
// and the demo data.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace setx {

struct Colors {
  float first[3];
  float second[3];
  float intensity;
};

struct Light {
  std::string name;
  int type = 1;
  float position[3] = {1, 2, 3};
  float rotation[3] = {0, 90, 0};
  float size[3] = {1, 2, 3};
  float parameters[6] = {1, 2, 3, 4, 5, 6};
  int mode = 0;  // 0 none, 1 pulse, 2 flicker
  float rate = 1.0f;
  int flag = 0;
  int secondFlag = 0;
  float extra[4] = {0.5f, 1, 2, 3};
  int group = 0;       // version 4
  std::string filter;  // version 4
  Colors a = {{1, 0, 0}, {0, 1, 0}, 1.0f};
  Colors b = {{0, 0, 1}, {1, 1, 1}, 0.5f};  // written only when mode != 0
};

struct ResolvePoint {
  std::string name;
  float values[4] = {1, 2, 3, 4};  // the fourth only from version 2
};

struct ShadowCaster {
  std::string name;
  int type = 0;
  float rate[3] = {1, 0, 0};
};

struct ZShape {
  std::string name;
  int type = 0;
  int code = 0;
  std::string filter;
  int value = 9;  // written only for type 1
};

class Encoder {
 public:
  void U8(int v) { bytes.push_back(static_cast<uint8_t>(v)); }
  void U16(int v) {
    U8(v & 0xFF);
    U8(v >> 8 & 0xFF);
  }
  void U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) U8(static_cast<int>(v >> (8 * i) & 0xFF));
  }
  void F32(float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    U32(v);
  }
  void Floats(const float* f, int n) {
    for (int i = 0; i < n; ++i) F32(f[i]);
  }
  void Text8(const std::string& s) {
    U8(static_cast<int>(s.size()));
    bytes.insert(bytes.end(), s.begin(), s.end());
  }
  void Text16(const std::string& s) {
    U16(static_cast<int>(s.size()));
    bytes.insert(bytes.end(), s.begin(), s.end());
  }
  void Colours(const Colors& c) {
    Floats(c.first, 3);
    Floats(c.second, 3);
    F32(c.intensity);
  }
  std::vector<uint8_t> bytes;
};

inline std::vector<uint8_t> Encode(int version, uint32_t stamp, const std::vector<Light>& lights,
                                   const std::vector<ResolvePoint>& points = {},
                                   const std::vector<ShadowCaster>& casters = {},
                                   const std::vector<ZShape>& shapes = {}) {
  Encoder e;
  e.U32(0x58544553);  // not interpreted
  e.U16(version);
  e.U32(stamp);
  e.U16(static_cast<int>(lights.size()));
  e.U16(static_cast<int>(points.size()));
  e.U16(static_cast<int>(casters.size()));
  if (version >= 3) e.U16(static_cast<int>(shapes.size()));
  for (const Light& l : lights) {
    e.Text8(l.name);
    e.U8(l.type);
    e.Floats(l.position, 3);
    e.Floats(l.rotation, 3);
    e.Floats(l.size, 3);
    e.Floats(l.parameters, 6);
    e.U8(l.mode);
    e.F32(l.rate);
    e.U8(l.flag);
    e.U8(l.secondFlag);
    e.Floats(l.extra, 4);
    if (version >= 4) {
      e.U8(l.group);
      e.Text16(l.filter);
    }
    e.Colours(l.a);
    if (l.mode != 0) e.Colours(l.b);
  }
  for (const ResolvePoint& p : points) {
    e.Text8(p.name);
    const float vectors[9] = {1, 1, 1, 0, 1, 0, 0, 0, 1};
    e.Floats(vectors, 9);
    e.Floats(p.values, 3);
    if (version >= 2) e.F32(p.values[3]);
  }
  for (const ShadowCaster& c : casters) {
    e.Text8(c.name);
    e.U8(c.type);
    const float placement[9] = {5, 6, 7, 10, 20, 30, 1, 1, 1};
    e.Floats(placement, 9);
    e.Floats(c.rate, 3);
  }
  if (version >= 3) {
    for (const ZShape& z : shapes) {
      e.Text8(z.name);
      e.U8(z.type);
      const float placement[9] = {1, 2, 3, 0, 0, 0, 2, 2, 2};
      e.Floats(placement, 9);
      e.U8(z.code);
      e.Text16(z.filter);
      if (z.type == 1) e.U8(z.value);
    }
  }
  return e.bytes;
}

}  // namespace setx
