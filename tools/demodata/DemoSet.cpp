// The demo set: "Sets/demo.set" with its companion "SetX/demo.setx", the
// close-up background, the depth image of the wide view and the default
// background "dfltroom.bm" that a set falls back to.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "DemoData.h"
#include "SetxWriter.h"
#include "YardWorld.h"
#include "std/std.h"
#include "std/stdBitmap.h"
#include "std/stdDisplay.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;

// The set file: the default colormap, the two camera setups of the yard
// (with their painted backgrounds and depth images), the evening sun and the
// lamp over the door, and the walk floor.
std::string DemoSetText() {
  std::string text =
      "# The demo set: the yard of a small house at dusk.\n\n"
      "section: colormaps\n"
      "\tnumcolormaps\t1\n"
      "\tcolormap\tdfltcmp.cmp\n\n"
      "section: setups\n";
  text += "\tnumsetups\t" + std::to_string(yard::Setups().size()) + "\n";
  char block[512];
  for (const yard::Setup& setup : yard::Setups()) {
    std::snprintf(block, sizeof block,
                  "\n\tsetup\t%s\n\tbackground\t%s\n\tzbuffer\t\t%s\n"
                  "\tposition\t%.2f\t%.2f\t%.2f\n\tinterest\t%.2f\t%.2f\t%.2f\n"
                  "\troll\t\t0.0\n\tfov\t\t%.1f\n\tnclip\t\t0.1\n\tfclip\t\t100.0\n",
                  setup.name, setup.background, setup.depth, setup.position.x, setup.position.y,
                  setup.position.z, setup.interest.x, setup.interest.y, setup.interest.z, setup.fov);
    text += block;
  }
  text +=
      "\nsection: lights\n"
      "\tnumlights\t2\n"
      "\n"
      "\tlight\t\tsun\n"
      "\ttype\t\tdirect\n"
      "\tposition\t-11.0\t-20.0\t2.0\n"
      "\tdirection\t-0.48\t-0.87\t-0.09\n"
      "\tintensity\t0.8\n"
      "\tcolor\t\t255 200 140\n"
      "\n"
      "\tlight\t\tdoor_lamp\n"
      "\ttype\t\tspot\n"
      "\tposition\t-1.4\t2.7\t2.3\n"
      "\tdirection\t0.0\t0.0\t-1.0\n"
      "\tintensity\t1.0\n"
      "\tumbraangle\t30.0\n"
      "\tpenumbraangle\t50.0\n"
      "\tcolor\t\t255 230 160\n\n";
  text += yard::SectorsSection();
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
  const float lampPosition[3] = {-1.4f, 2.0f, 1.4f}, lampSize[3] = {3.4f, 2.8f, 3.2f};
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

// Each camera setup's background and depth image, painted from the yard's
// world through the setup's camera: a BM of RGB 5-6-5 pixels, and a packed
// ZBM holding, as the engine's depth buffers do, 65535 / (d + 1) of the
// camera depth d (larger is nearer; the sky is 1000 away).
DEMODATA_WRITER(yard_pictures) {
  for (const yard::Setup& setup : yard::Setups()) {
    const yard::Camera camera(setup);
    std::vector<yard::Sample> samples(static_cast<size_t>(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) samples[static_cast<size_t>(y) * kWidth + x] = yard::Paint(camera, x, y);
    }
    Bitmap* picture = NewPicture(kRgb565, [&](uint8_t* row, int x, int y) {
      const yard::Sample& s = samples[static_cast<size_t>(y) * kWidth + x];
      const uint16_t p = static_cast<uint16_t>((s.r >> 3) << 11 | (s.g >> 2) << 5 | (s.b >> 3));
      std::memcpy(row + 2 * x, &p, 2);
    });
    if (!picture) return false;
    const std::filesystem::path picturePath = gameDir / "Backgrounds" / setup.background;
    MakeFolder(picturePath);
    if (!Finish(picture, stdBitmap_Save(picturePath.c_str(), picture), picturePath)) return false;

    Bitmap* depth = NewPicture(kRgb565, [&](uint8_t* row, int x, int y) {
      const float d = samples[static_cast<size_t>(y) * kWidth + x].depth;
      const uint16_t value = static_cast<uint16_t>(std::lround(65535.0f / (d + 1.0f)));
      std::memcpy(row + 2 * x, &value, 2);
    });
    if (!depth) return false;
    // Packed, as the game's depth images are: the render module unpacks it
    // straight into its clean depth raster.
    stdBitmap_PackFrames(depth);
    const std::filesystem::path depthPath = gameDir / "Backgrounds" / setup.depth;
    char name[1024];
    std::snprintf(name, sizeof name, "%s", depthPath.c_str());
    if (!Finish(depth, std_SaveImage(name, sizeof name, depth), depthPath)) return false;
  }
  return true;
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
