// The yard's world and a small ray tracer that paints it from a camera setup:
// convex solids (boxes and the roof's prism) and one sphere over a ground
// plane, a dusk sky with the low sun and far hills, sunlight with cast
// shadows, the glow of the lit windows and of the lamp over the door.
#include "YardWorld.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

namespace yard {
namespace {

constexpr float kPi = 3.14159265f;
constexpr float kSkyDepth = 1000.0f;

Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 operator*(Vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
float Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 Cross(Vec3 a, Vec3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
Vec3 Normalize(Vec3 a) {
  const float length = std::sqrt(Dot(a, a));
  return length > 0.0f ? a * (1.0f / length) : a;
}

// Colours are linear floats 0..1 until the pixel is written.
struct Colour {
  float r, g, b;
};
Colour operator*(Colour c, float s) { return {c.r * s, c.g * s, c.b * s}; }
Colour operator*(Colour a, Colour b) { return {a.r * b.r, a.g * b.g, a.b * b.b}; }
Colour operator+(Colour a, Colour b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
Colour Rgb(int r, int g, int b) { return {r / 255.0f, g / 255.0f, b / 255.0f}; }
Colour Mix(Colour a, Colour b, float t) { return a * (1.0f - t) + b * t; }

// A small deterministic noise of a world point, 0..1.
float Noise(float x, float y) {
  const float v = std::sin(x * 12.9898f + y * 78.233f) * 43758.547f;
  return v - std::floor(v);
}

// The low evening sun, ahead and to the right of the yard's wide view.
const Vec3 kSun = Normalize({0.3f, 1.0f, 0.12f});
const Colour kSunLight = Rgb(255, 190, 130);
const Colour kSkyLight = Rgb(95, 100, 140);
// The lamp over the door.
const Vec3 kLamp = {-1.4f, 2.82f, 2.28f};
const Colour kLampLight = Rgb(255, 200, 120);

// What a ray hit: its distance, the surface normal, and the surface's own
// colour (lit by the caller unless the surface glows).
struct Hit {
  float t = 1e30f;
  Vec3 normal{0, 0, 1};
  Colour albedo{0, 0, 0};
  bool glows = false;
};

// A convex solid: the points p with n.p <= d for every plane (n, d).
struct Plane {
  Vec3 n;
  float d;
};
using Shade = std::function<void(const Vec3& p, const Vec3& n, Hit* hit)>;
struct Solid {
  std::vector<Plane> planes;
  Shade shade;
  bool castsShadow = true;
};

Solid Box(Vec3 lo, Vec3 hi, Shade shade, bool castsShadow = true) {
  return {{{{1, 0, 0}, hi.x},
           {{-1, 0, 0}, -lo.x},
           {{0, 1, 0}, hi.y},
           {{0, -1, 0}, -lo.y},
           {{0, 0, 1}, hi.z},
           {{0, 0, -1}, -lo.z}},
          std::move(shade),
          castsShadow};
}

Shade Flat(Colour c) {
  return [c](const Vec3&, const Vec3&, Hit* hit) { hit->albedo = c; };
}

bool IntersectSolid(const Solid& solid, Vec3 o, Vec3 d, float tMin, float* t, Vec3* normal) {
  float tNear = -1e30f, tFar = 1e30f;
  Vec3 nearNormal{0, 0, 1};
  for (const Plane& plane : solid.planes) {
    const float denom = Dot(plane.n, d);
    const float num = plane.d - Dot(plane.n, o);
    if (std::fabs(denom) < 1e-9f) {
      if (num < 0.0f) return false;
      continue;
    }
    const float s = num / denom;
    if (denom < 0.0f) {
      if (s > tNear) {
        tNear = s;
        nearNormal = plane.n;
      }
    } else {
      tFar = std::min(tFar, s);
    }
    if (tNear > tFar) return false;
  }
  if (tNear < tMin || tNear > tFar) return false;
  *t = tNear;
  *normal = nearNormal;
  return true;
}

struct Sphere {
  Vec3 centre;
  float radius;
  Shade shade;
};

bool IntersectSphere(const Sphere& s, Vec3 o, Vec3 d, float tMin, float* t, Vec3* normal) {
  const Vec3 oc = o - s.centre;
  const float a = Dot(d, d), b = Dot(oc, d), c = Dot(oc, oc) - s.radius * s.radius;
  const float disc = b * b - a * c;
  if (disc < 0.0f) return false;
  const float root = (-b - std::sqrt(disc)) / a;
  if (root < tMin) return false;
  *t = root;
  *normal = Normalize(o + d * root - s.centre);
  return true;
}

// ---- The world ------------------------------------------------------------

constexpr float kWallFront = 3.0f;  // y of the house's front wall
constexpr float kFenceX = 3.4f;     // x of the fence line
constexpr float kGateLow = 0.35f, kGateHigh = 1.45f;

void HouseWall(const Vec3& p, const Vec3& n, Hit* hit) {
  Colour plaster = Rgb(196, 168, 138) * (0.92f + 0.08f * Noise(std::floor(p.x * 20), std::floor(p.z * 20)));
  if (n.y < -0.5f) {  // the front: two windows and the door
    const bool door = p.x > -1.8f && p.x < -1.0f && p.z < 2.0f;
    const bool window = p.z > 1.1f && p.z < 1.8f &&
                        ((p.x > -2.9f && p.x < -2.2f) || (p.x > -0.4f && p.x < 0.3f));
    if (door) {
      const bool seam = std::fmod(p.x + 1.8f, 0.2f) < 0.02f;
      const bool handle = std::fabs(p.x + 1.12f) < 0.04f && std::fabs(p.z - 1.0f) < 0.04f;
      plaster = handle ? Rgb(210, 180, 80) : seam ? Rgb(70, 40, 22) : Rgb(105, 62, 36);
    } else if (window) {
      const bool bar = std::fabs(std::fmod(p.x + 3.0f, 0.35f) - 0.175f) < 0.02f ||
                       std::fabs(p.z - 1.45f) < 0.02f;
      if (bar) {
        plaster = Rgb(80, 55, 40);
      } else {
        hit->albedo = Rgb(255, 214, 120);
        hit->glows = true;
        return;
      }
    }
  }
  hit->albedo = plaster;
}

void Roof(const Vec3& p, const Vec3&, Hit* hit) {
  const bool row = std::fmod(p.z * 7.0f, 1.0f) < 0.15f;
  hit->albedo = row ? Rgb(90, 36, 30) : Rgb(138, 54, 42) * (0.9f + 0.1f * Noise(std::floor(p.x * 6), std::floor(p.z * 7)));
}

void Wood(const Vec3& p, const Vec3&, Hit* hit) {
  hit->albedo = Rgb(150, 118, 86) * (0.85f + 0.15f * Noise(std::floor(p.z * 30), std::floor(p.y * 3)));
}

void Lamp(const Vec3&, const Vec3&, Hit* hit) {
  hit->albedo = Rgb(255, 236, 170);
  hit->glows = true;
}

void Canopy(const Vec3& p, const Vec3&, Hit* hit) {
  const float n = Noise(std::floor(p.x * 9), std::floor(p.y * 9 + p.z * 9));
  hit->albedo = Mix(Rgb(40, 82, 38), Rgb(70, 112, 52), n);
}

struct World {
  std::vector<Solid> solids;
  std::vector<Sphere> spheres;

  World() {
    // The house, its roof (a gable over the long side), chimney, step, lamp.
    solids.push_back(Box({-3.2f, kWallFront, 0.0f}, {0.6f, 6.0f, 2.65f}, HouseWall));
    const Vec3 front = Normalize({0.0f, -1.25f, 1.75f}), back = Normalize({0.0f, 1.25f, 1.75f});
    const Vec3 ridge = {0.0f, 4.5f, 3.9f};
    solids.push_back({{{front, Dot(front, ridge)},
                       {back, Dot(back, ridge)},
                       {{0, 0, -1}, -2.6f},
                       {{1, 0, 0}, 0.85f},
                       {{-1, 0, 0}, 3.45f}},
                      Roof});
    solids.push_back(Box({-2.6f, 4.6f, 3.0f}, {-2.2f, 5.0f, 4.3f}, Flat(Rgb(120, 70, 55))));
    solids.push_back(Box({-1.95f, 2.62f, 0.0f}, {-0.85f, kWallFront, 0.12f}, Flat(Rgb(150, 145, 140))));
    solids.push_back(Box({-1.44f, 2.9f, 2.36f}, {-1.36f, kWallFront, 2.42f}, Flat(Rgb(40, 40, 40))));
    solids.push_back(Box({-1.5f, 2.75f, 2.18f}, {-1.3f, 2.9f, 2.38f}, Lamp, false));
    // The fence along the right with its gate: posts every 0.8 m, two rails,
    // taller gate posts and a bar across the top of the gate.
    for (float y = -3.0f; y <= 6.0f; y += 0.8f) {
      if (y > kGateLow - 0.3f && y < kGateHigh + 0.3f) continue;
      solids.push_back(Box({kFenceX - 0.05f, y - 0.05f, 0.0f}, {kFenceX + 0.05f, y + 0.05f, 1.1f}, Wood));
    }
    for (float z : {0.45f, 0.9f}) {
      solids.push_back(Box({kFenceX - 0.03f, -3.0f, z}, {kFenceX + 0.03f, kGateLow, z + 0.08f}, Wood));
      solids.push_back(Box({kFenceX - 0.03f, kGateHigh, z}, {kFenceX + 0.03f, 6.0f, z + 0.08f}, Wood));
    }
    for (float y : {kGateLow, kGateHigh}) {
      solids.push_back(Box({kFenceX - 0.07f, y - 0.07f, 0.0f}, {kFenceX + 0.07f, y + 0.07f, 1.6f}, Wood));
    }
    solids.push_back(Box({kFenceX - 0.05f, kGateLow - 0.12f, 1.5f}, {kFenceX + 0.05f, kGateHigh + 0.12f, 1.62f}, Wood));
    // The tree at the far left.
    solids.push_back(Box({-4.35f, 1.8f, 0.0f}, {-4.05f, 2.1f, 1.9f}, Flat(Rgb(90, 62, 40))));
    spheres.push_back({{-4.2f, 1.95f, 2.8f}, 1.25f, Canopy});
  }

  bool Trace(Vec3 o, Vec3 d, Hit* hit, bool shadowRay) const {
    bool any = false;
    for (const Solid& solid : solids) {
      if (shadowRay && !solid.castsShadow) continue;
      float t;
      Vec3 n;
      if (IntersectSolid(solid, o, d, 1e-3f, &t, &n) && t < hit->t) {
        if (shadowRay) return true;
        hit->t = t;
        hit->normal = n;
        solid.shade(o + d * t, n, hit);
        any = true;
      }
    }
    for (const Sphere& sphere : spheres) {
      float t;
      Vec3 n;
      if (IntersectSphere(sphere, o, d, 1e-3f, &t, &n) && t < hit->t) {
        if (shadowRay) return true;
        hit->t = t;
        hit->normal = n;
        sphere.shade(o + d * t, n, hit);
        any = true;
      }
    }
    return any;
  }
};

const World& TheWorld() {
  static const World world;
  return world;
}

// The gravel path from the gate to the door step.
float PathDistance(float x, float y) {
  const Vec3 a{kFenceX, 0.9f, 0}, b{-1.4f, 2.7f, 0};
  const Vec3 ab = b - a, ap = Vec3{x, y, 0} - a;
  const float t = std::clamp(Dot(ap, ab) / Dot(ab, ab), 0.0f, 1.0f);
  const Vec3 q = a + ab * t;
  return std::hypot(x - q.x, y - q.y);
}

Colour Ground(float x, float y) {
  const float wobble = 0.06f * std::sin(x * 3.1f) + 0.04f * std::sin(y * 4.7f + 1.0f);
  if (PathDistance(x, y) + wobble < 0.42f) {
    return Mix(Rgb(150, 132, 104), Rgb(182, 164, 134), Noise(std::floor(x * 14), std::floor(y * 14)));
  }
  const float patch = 0.5f + 0.25f * std::sin(x * 1.3f + 0.5f) * std::sin(y * 1.7f);
  return Mix(Rgb(58, 104, 44), Rgb(74, 124, 52), patch) *
         (0.9f + 0.1f * Noise(std::floor(x * 25), std::floor(y * 25)));
}

Colour Sky(Vec3 d) {
  const float elevation = std::asin(std::clamp(d.z, -1.0f, 1.0f));
  const float azimuth = std::atan2(d.x, d.y);
  const float hills = 0.035f + 0.02f * std::sin(azimuth * 7.0f) + 0.012f * std::sin(azimuth * 17.0f + 1.3f);
  if (elevation < hills) return Mix(Rgb(62, 70, 96), Rgb(82, 86, 110), elevation / hills);
  const float cosSun = Dot(d, kSun);
  if (cosSun > std::cos(2.4f * kPi / 180.0f)) return Rgb(255, 228, 160);
  const float t = std::clamp(elevation / (35.0f * kPi / 180.0f), 0.0f, 1.0f);
  Colour sky = Mix(Rgb(246, 152, 84), Rgb(44, 52, 112), std::pow(t, 0.6f));
  const float glow = std::pow(std::max(0.0f, cosSun), 60.0f);
  return sky + Rgb(255, 170, 90) * (0.6f * glow);
}

Colour Light(const World& world, Vec3 p, Vec3 n) {
  Colour light = kSkyLight * (0.55f + 0.25f * n.z);
  const float sun = Dot(n, kSun);
  if (sun > 0.0f) {
    Hit blocker;
    if (!world.Trace(p + n * 1e-3f, kSun, &blocker, true)) light = light + kSunLight * (0.9f * sun);
  }
  const Vec3 toLamp = kLamp - p;
  const float lampDistance = std::sqrt(Dot(toLamp, toLamp));
  const float facing = Dot(n, toLamp * (1.0f / lampDistance));
  if (facing > 0.0f) light = light + kLampLight * (0.5f * facing / (1.0f + 1.5f * lampDistance * lampDistance));
  return light;
}

uint8_t Byte(float v) {
  return static_cast<uint8_t>(std::clamp(std::lround(v * 255.0f), 0L, 255L));
}

}  // namespace

const std::array<Setup, 2>& Setups() {
  static const std::array<Setup, 2> setups = {{
      {"yard_wide", "yard_wide.bm", "yard_wide.zbm", {0.4f, -7.0f, 1.8f}, {0.4f, 0.5f, 1.0f}, 50.0f},
      {"yard_porch", "yard_porch.bm", "yard_porch.zbm", {2.6f, -0.9f, 1.9f}, {-1.3f, 2.6f, 0.9f}, 58.0f},
  }};
  return setups;
}

Camera::Camera(const Setup& setup) : position(setup.position) {
  forward = Normalize(setup.interest - setup.position);
  right = Normalize(Cross(forward, {0, 0, 1}));
  up = Cross(right, forward);
  focal = 320.0f / std::tan(setup.fov * 0.5f * kPi / 180.0f);
}

Vec3 Camera::Ray(float px, float py) const {
  return forward + right * ((px - 320.0f) / focal) + up * ((240.0f - py) / focal);
}

bool Camera::Project(const Vec3& p, float* sx, float* sy) const {
  const Vec3 v = p - position;
  const float depth = Dot(v, forward);
  if (depth < 0.05f) return false;
  *sx = 320.0f + focal * Dot(v, right) / depth;
  *sy = 240.0f - focal * Dot(v, up) / depth;
  return true;
}

Sample Paint(const Camera& camera, int px, int py) {
  const World& world = TheWorld();
  const Vec3 d = camera.Ray(static_cast<float>(px) + 0.5f, static_cast<float>(py) + 0.5f);
  Hit hit;
  world.Trace(camera.position, d, &hit, false);
  // The ground plane.
  bool ground = false;
  if (d.z < 0.0f) {
    const float t = -camera.position.z / d.z;
    if (t < hit.t) {
      ground = true;
      const Vec3 p = camera.position + d * t;
      hit.t = t;
      hit.normal = {0, 0, 1};
      hit.albedo = Ground(p.x, p.y);
      hit.glows = false;
    }
  }
  Colour c;
  float depth = kSkyDepth;
  if (hit.t < 1e29f) {
    const Vec3 p = camera.position + d * hit.t;
    c = hit.glows ? hit.albedo : hit.albedo * Light(world, p, hit.normal);
    // The ray has camera depth 1 per unit of t. The ground's depth is put 2%
    // farther than it is: what lies flat on it (an actor's planar shadow, his
    // soles) is drawn at its very depth, and the rasterizer's depth steps
    // linearly across a face, which on a long face on the ground is up to 1%
    // too far: it must not lose the depth test to the ground.
    depth = ground ? hit.t * 1.02f : hit.t;
    // A little haze toward the far hills.
    c = Mix(c, Rgb(200, 140, 110), std::clamp((hit.t - 12.0f) / 40.0f, 0.0f, 0.5f));
  } else {
    c = Sky(Normalize(d));
  }
  return {Byte(c.r), Byte(c.g), Byte(c.b), depth};
}

std::string SectorsSection() {
  struct Sector {
    const char* name;
    int id;
    const char* type;
    std::vector<std::array<float, 2>> points;
  };
  // Outlines go round counter-clockwise seen from above.
  const Sector sectors[] = {
      {"yard", 1, "walk", {{-2.6f, -1.4f}, {3.25f, -1.4f}, {3.25f, 2.2f}, {-2.6f, 2.2f}}},
      {"porch", 2, "walk", {{-2.6f, 2.2f}, {-0.2f, 2.2f}, {-0.2f, 2.72f}, {-2.6f, 2.72f}}},
      {"gate", 3, "funnel", {{3.25f, 0.5f}, {5.0f, 0.75f}, {5.0f, 1.05f}, {3.25f, 1.3f}}},
      {"porch_view", 4, "camera", {{-2.6f, 1.8f}, {0.2f, 1.8f}, {0.2f, 2.72f}, {-2.6f, 2.72f}}},
  };
  std::string text = "section: sectors\n";
  text += "\tnumsectors " + std::to_string(std::size(sectors)) + "\n";
  char line[128];
  for (const Sector& s : sectors) {
    std::snprintf(line, sizeof line,
                  "\n\tsector\t\t%s\n\tid\t\t%d\n\ttype\t\t%s\n\tdefault visibility\tvisible\n"
                  "\theight\t\t0.00\n\tnumvertices\t%zu\n",
                  s.name, s.id, s.type, s.points.size());
    text += line;
    for (size_t i = 0; i < s.points.size(); ++i) {
      std::snprintf(line, sizeof line, "%s\t%.2f\t%.2f\t0.0\n", i == 0 ? "\tvertices:" : "\t\t",
                    s.points[i][0], s.points[i][1]);
      text += line;
    }
  }
  return text;
}

namespace {

Vec3 SunPoint() {
  return Setups()[0].position + kSun * 80.0f;
}

}  // namespace

const std::vector<Thing>& Things() {
  static const std::vector<Thing> things = {
      {"door", "object", "hotspot", {-1.8f, 2.98f, 0.0f}, {-1.0f, 3.0f, 2.0f}, {-1.4f, 2.45f, 0.0f}, 3},
      {"lamp", "object", "hotspot", {-1.55f, 2.75f, 2.15f}, {-1.25f, 2.9f, 2.45f}, {-0.9f, 2.3f, 0.0f}, 3},
      {"window", "object", "hotspot", {-0.4f, 2.98f, 1.1f}, {0.3f, 3.0f, 1.8f}, {0.0f, 2.0f, 0.0f}, 3},
      {"gate", "walk", "arrow_right", {kFenceX - 0.1f, kGateLow, 0.0f}, {kFenceX + 0.1f, kGateHigh, 1.6f}, {4.6f, 0.9f, 0.0f}, 1},
      // The sun is painted by direction: its box stands far out along that
      // direction from the wide view's camera, as large as the painted disc.
      {"sun", "object", "hotspot", SunPoint() - Vec3{4, 4, 4}, SunPoint() + Vec3{4, 4, 4}, {1.5f, 0.2f, 0.0f}, 1},
  };
  return things;
}

void ScreenBox(const Camera& camera, const Vec3& min, const Vec3& max, int* x0, int* y0, int* x1,
               int* y1) {
  float left = 1e9f, top = 1e9f, right = -1e9f, bottom = -1e9f;
  for (int corner = 0; corner < 8; ++corner) {
    const Vec3 p{corner & 1 ? max.x : min.x, corner & 2 ? max.y : min.y, corner & 4 ? max.z : min.z};
    float sx, sy;
    if (!camera.Project(p, &sx, &sy)) continue;
    left = std::min(left, sx);
    right = std::max(right, sx);
    top = std::min(top, sy);
    bottom = std::max(bottom, sy);
  }
  *x0 = std::clamp(static_cast<int>(std::floor(left)), 0, 639);
  *y0 = std::clamp(static_cast<int>(std::floor(top)), 0, 479);
  *x1 = std::clamp(static_cast<int>(std::ceil(right)), 0, 639);
  *y1 = std::clamp(static_cast<int>(std::ceil(bottom)), 0, 479);
}

}  // namespace yard
