// The demo scene's world: the yard of a small house at dusk, described once
// in 3D so that everything the set needs agrees with it. The two camera
// setups of "demo.set", the backgrounds and depth images painted from them,
// the walk sectors and the hotspot regions (the objects' boxes projected
// through each camera) all come from here.
//
// World units are metres, z up. The house stands at the back (its front wall
// at y = 3), the yard lies in front of it, a fence with a gate closes it on
// the right (x = 3.4) and a tree stands at the far left.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace yard {

struct Vec3 {
  float x, y, z;
};

// A camera setup of the set, as the set file gives it.
struct Setup {
  const char* name;
  const char* background;  // BM file of the picture
  const char* depth;       // ZBM file of its depth image
  Vec3 position, interest;
  float fov;  // horizontal, degrees
};
const std::array<Setup, 2>& Setups();

// A pinhole camera of a setup over the 640 x 480 picture, as the 3D library
// projects: x right, y forward, z up in camera space; focal = 320 / tan(fov/2).
struct Camera {
  Vec3 position, right, forward, up;
  float focal;
  explicit Camera(const Setup& setup);
  // The direction through a pixel centre with camera depth 1.
  Vec3 Ray(float px, float py) const;
  // Screen point of a world point; false when it lies behind the camera.
  bool Project(const Vec3& p, float* sx, float* sy) const;
};

// One painted pixel of a setup: its colour and its camera depth (1000 for
// the sky).
struct Sample {
  uint8_t r, g, b;
  float depth;
};
Sample Paint(const Camera& camera, int px, int py);

// The walk sectors of the set file ("section: sectors"): the yard's floor,
// split so that the porch before the door and the way through the gate can
// be told apart, and the camera sector that switches to the porch view.
std::string SectorsSection();

// A thing the player points at, as a box in the world, seen from the setups
// listed in `setups` (bit n = setup n). Its hotspot region is the box's
// outline on the screen; the path point is where the actor walks to use it.
struct Thing {
  const char* name;  // hotspot name and id
  const char* type;  // object, walk, special ...
  const char* cursor;
  Vec3 min, max;
  Vec3 walkTo;
  unsigned setups;
};
const std::vector<Thing>& Things();

// The screen rectangle of a box seen by a camera, clamped to the picture.
void ScreenBox(const Camera& camera, const Vec3& min, const Vec3& max, int* x0, int* y0, int* x1,
               int* y1);

}  // namespace yard
