// The demo set: "Sets/demo.set" with its companion "SetX/demo.setx", the
// close-up background, the depth image of the wide view and the default
// background "dfltroom.bm" that a set falls back to.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "DemoData.h"
#include "DemoSectors.h"
#include "SetxWriter.h"
#include "std/std.h"
#include "std/stdBitmap.h"
#include "std/stdDisplay.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;

// The set file's sections, in file order. A new section (the walk sectors,
// for one) is one more entry here.
const char* const kDemoSetSections[] = {
    // One colormap for the whole set: the library's default.
    "section: colormaps\n"
    "\tnumcolormaps\t1\n"
    "\tcolormap\tdfltcmp.cmp\n",

    // The wide view of the yard in the evening, with its depth image, and a
    // close-up of the house.
    "section: setups\n"
    "\tnumsetups\t2\n"
    "\n"
    "\tsetup\tyard_wide\n"
    "\tbackground\tyard_evening.bm\n"
    "\tzbuffer\t\tyard_wide.zbm\n"
    "\tposition\t0.0\t-6.0\t1.6\n"
    "\tinterest\t0.0\t0.0\t1.0\n"
    "\troll\t\t0.0\n"
    "\tfov\t\t50.0\n"
    "\tnclip\t\t0.1\n"
    "\tfclip\t\t100.0\n"
    "\n"
    "\tsetup\tyard_close\n"
    "\tbackground\tyard_close.bm\n"
    "\tzbuffer\t\t<none>\n"
    "\tposition\t-1.0\t-2.5\t1.5\n"
    "\tinterest\t-1.0\t1.0\t1.2\n"
    "\troll\t\t0.0\n"
    "\tfov\t\t45.0\n"
    "\tnclip\t\t0.1\n"
    "\tfclip\t\t50.0\n",

    // The evening sun and the lamp over the door.
    "section: lights\n"
    "\tnumlights\t2\n"
    "\n"
    "\tlight\t\tsun\n"
    "\ttype\t\tdirect\n"
    "\tposition\t20.0\t30.0\t10.0\n"
    "\tdirection\t-0.5\t-0.8\t-0.3\n"
    "\tintensity\t0.8\n"
    "\tcolor\t\t255 200 140\n"
    "\n"
    "\tlight\t\tdoor_lamp\n"
    "\ttype\t\tspot\n"
    "\tposition\t-1.0\t0.2\t2.4\n"
    "\tdirection\t0.0\t0.0\t-1.0\n"
    "\tintensity\t1.0\n"
    "\tumbraangle\t30.0\n"
    "\tpenumbraangle\t50.0\n"
    "\tcolor\t\t255 230 160\n",

    // The walk floor.
    demodata::kDemoSectors,
};

std::string DemoSetText() {
  std::string text = "# The demo set: the yard in the evening.\n\n";
  for (const char* section : kDemoSetSections) text += std::string(section) + "\n";
  return text;
}

// A plain bitmap of one frame whose pixels the painter fills.
template <typename Paint>
Bitmap* NewPicture(const ColorFormat& format, Paint paint) {
  Bitmap* bitmap = stdBitmap_New(1, nullptr, STDBITMAP_RAW, 0, &format);
  if (!bitmap) return nullptr;
  BufferFormat buffer{};
  buffer.width = kWidth;
  buffer.height = kHeight;
  buffer.format = format;
  DisplayBuffer* frame = stdDisplay_NewBuffer(&buffer, 0, 0, nullptr);
  if (!frame) {
    stdBitmap_Free(bitmap);
    return nullptr;
  }
  bitmap->frames[0] = frame;
  for (int y = 0; y < kHeight; ++y) {
    auto* row = static_cast<uint8_t*>(frame->pixels) +
                static_cast<size_t>(y) * static_cast<size_t>(frame->format.bytesPerRow);
    for (int x = 0; x < kWidth; ++x) paint(row, x, y);
  }
  return bitmap;
}

bool Finish(Bitmap* bitmap, int written, const std::filesystem::path& path) {
  stdBitmap_Free(bitmap);
  if (!written) std::fprintf(stderr, "demodata: could not write %s\n", path.c_str());
  return written == 1;
}

void MakeFolder(const std::filesystem::path& path) {
  std::error_code error;
  std::filesystem::create_directories(path.parent_path(), error);
}

const ColorFormat kRgb565 = {1, 16, 5, 6, 5, 11, 5, 0, 3, 2, 3, 0, 0, 0};

}  // namespace

DEMODATA_WRITER(demo_set) {
  return demodata::WriteText(gameDir / "Sets" / "demo.set", DemoSetText());
}

// The companion: the deferred lights of the wide view. The lamp is a spot
// hanging 4.5 m above the walk, shining straight down; it pulses slowly
// between a warm and a dim colour and casts shadows (mode 2: onto the actors
// and, through the depth image, onto the ground). The sun is a large omni
// light behind the camera, and the sky a gradient light that gives every
// surface a little cool light from above.
DEMODATA_WRITER(demo_setx) {
  setx::Light lamp;
  lamp.name = "door_lamp";
  lamp.type = 2;
  // The box reaches below the ground, so the ground lies inside it.
  const float lampPosition[3] = {-0.2f, 0.9f, 2.0f}, lampSize[3] = {3.0f, 3.0f, 2.5f};
  std::memcpy(lamp.position, lampPosition, sizeof lampPosition);
  std::memset(lamp.rotation, 0, sizeof lamp.rotation);
  std::memcpy(lamp.size, lampSize, sizeof lampSize);
  // Shading bias and end, inner radius, falloff, vertical inner radius and falloff.
  const float lampShape[6] = {0.0f, 1.0f, 0.5f, 1.0f, 1.0f, 1.0f};
  std::memcpy(lamp.parameters, lampShape, sizeof lampShape);
  lamp.mode = 1;  // pulse
  lamp.rate = 0.5f;
  lamp.flag = 2;        // casts shadows, onto the background too
  lamp.secondFlag = 1;  // filtered shadow
  // Shadow bias, softness, near distance and range.
  const float lampShadow[4] = {1.0f, 2.0f, 1.0f, 20.0f};
  std::memcpy(lamp.extra, lampShadow, sizeof lampShadow);
  lamp.a = {{1.0f, 0.9f, 0.6f}, {0.8f, 0.6f, 0.3f}, 1.6f};
  lamp.b = {{0.8f, 0.65f, 0.4f}, {0.6f, 0.4f, 0.2f}, 1.1f};
  setx::Light sun;
  sun.name = "sun";
  sun.type = 1;
  const float sunPosition[3] = {2.0f, -3.0f, 4.0f}, sunSize[3] = {10.0f, 10.0f, 10.0f};
  std::memcpy(sun.position, sunPosition, sizeof sunPosition);
  std::memset(sun.rotation, 0, sizeof sun.rotation);
  std::memcpy(sun.size, sunSize, sizeof sunSize);
  const float sunShape[6] = {-0.3f, 1.0f, 0.3f, 1.0f, 1.0f, 1.0f};
  std::memcpy(sun.parameters, sunShape, sizeof sunShape);
  const float noShadow[4] = {1.0f, 4.0f, 0.1f, 1.0f};
  std::memcpy(sun.extra, noShadow, sizeof noShadow);
  sun.a = {{1.0f, 0.8f, 0.55f}, {0.3f, 0.3f, 0.4f}, 1.4f};
  setx::Light sky;
  sky.name = "sky";
  sky.type = 0;
  const float skyPosition[3] = {2.0f, 0.0f, 0.0f}, skySize[3] = {20.0f, 20.0f, 20.0f};
  std::memcpy(sky.position, skyPosition, sizeof skyPosition);
  std::memset(sky.rotation, 0, sizeof sky.rotation);
  std::memcpy(sky.size, skySize, sizeof skySize);
  const float skyShape[6] = {0.0f, 1.0f, 0.0f, 1.0f, 0.0f, 1.0f};
  std::memcpy(sky.parameters, skyShape, sizeof skyShape);
  std::memcpy(sky.extra, noShadow, sizeof noShadow);
  sky.a = {{0.35f, 0.38f, 0.5f}, {0.25f, 0.22f, 0.22f}, 1.0f};
  const std::vector<uint8_t> bytes = setx::Encode(4, 1, {lamp, sun, sky});
  return demodata::WriteBytes(gameDir / "SetX" / "demo.setx", bytes);
}

// The close-up: the house wall with its lit window and the door, in RGB565
// (the display's pixel format) as a BM file.
DEMODATA_WRITER(yard_close_bm) {
  Bitmap* bitmap = NewPicture(kRgb565, [](uint8_t* row, int x, int y) {
    uint8_t r = 150, g = 110, b = 90;  // wall
    if (y >= 400) {
      r = 50, g = 115, b = 40;  // grass
    } else if (x >= 380 && x < 520 && y >= 120 && y < 260) {
      r = 250, g = 220, b = 110;  // window
    } else if (x >= 120 && x < 260 && y >= 150) {
      r = 90, g = 50, b = 30;  // door
    } else if (((y / 20) % 2 == 0) == ((x / 40) % 2 == 0)) {
      r = 140, g = 100, b = 84;  // bricks
    }
    const uint16_t pixel = static_cast<uint16_t>((r >> 3) << 11 | (g >> 2) << 5 | b >> 3);
    std::memcpy(row + 2 * x, &pixel, 2);
  });
  if (!bitmap) return false;
  const std::filesystem::path path = gameDir / "Backgrounds" / "yard_close.bm";
  MakeFolder(path);
  return Finish(bitmap, stdBitmap_Save(path.c_str(), bitmap), path);
}

// The depth image of the wide view, as the engine's depth buffers hold it:
// 65535 / (y + 1) of the camera depth y, larger is nearer. The camera of
// setup yard_wide (at (0, -6, 1.6) looking at (0, 0, 1) with a 50-degree
// view) sees the ground (z = 0) in front and the house and the sky as a
// backdrop at y = 2.5, where the ground meets the picture's horizon.
DEMODATA_WRITER(yard_wide_zbm) {
  const float focal = 320.0f / std::tan(25.0f * 3.14159265f / 180.0f);
  const float cameraY = -6.0f, cameraZ = 1.6f;
  // The camera's forward and up axes (its right axis is +x).
  const float forwardLength = std::sqrt(6.0f * 6.0f + 0.6f * 0.6f);
  const float forwardY = 6.0f / forwardLength, forwardZ = -0.6f / forwardLength;
  const float upY = -forwardZ, upZ = forwardY;
  Bitmap* bitmap = NewPicture(kRgb565, [&](uint8_t* row, int x, int y) {
    // A ray of camera depth 1 through the pixel (its column does not change
    // which plane it meets first or how deep).
    const float dz = (240.0f - (static_cast<float>(y) + 0.5f)) / focal;
    const float dirY = forwardY + upY * dz, dirZ = forwardZ + upZ * dz;
    float depth = 1000.0f;
    if (dirY > 0.0f) depth = (2.5f - cameraY) / dirY;
    if (dirZ < 0.0f) depth = std::fmin(depth, -cameraZ / dirZ);
    const uint16_t value = static_cast<uint16_t>(std::lround(65535.0f / (depth + 1.0f)));
    std::memcpy(row + 2 * x, &value, 2);
  });
  if (!bitmap) return false;
  // Packed, as the game's depth images are: the render module unpacks it
  // straight into its clean depth raster.
  stdBitmap_PackFrames(bitmap);
  const std::filesystem::path path = gameDir / "Backgrounds" / "yard_wide.zbm";
  MakeFolder(path);
  char name[1024];
  std::snprintf(name, sizeof name, "%s", path.c_str());
  return Finish(bitmap, std_SaveImage(name, sizeof name, bitmap), path);
}

// The background of any setup whose own picture is missing: a grey field.
DEMODATA_WRITER(dfltroom_bm) {
  Bitmap* bitmap = NewPicture(kRgb565, [](uint8_t* row, int x, int) {
    const uint16_t grey = (12 << 11) | (24 << 5) | 12;
    std::memcpy(row + 2 * x, &grey, 2);
  });
  if (!bitmap) return false;
  const std::filesystem::path path = gameDir / "Backgrounds" / "dfltroom.bm";
  MakeFolder(path);
  return Finish(bitmap, stdBitmap_Save(path.c_str(), bitmap), path);
}
