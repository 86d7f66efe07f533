// The demo set: "Sets/demo.set" with its companion "SetX/demo.setx", the
// close-up background, the depth image of the wide view and the default
// background "dfltroom.bm" that a set falls back to.
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
    "\tfov\t\t60.0\n"
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

// The companion: the lamp over the door pulses slowly between a warm and a
// dim colour; the sun is still.
DEMODATA_WRITER(demo_setx) {
  setx::Light lamp;
  lamp.name = "door_lamp";
  lamp.type = 2;
  lamp.position[0] = -1.0f;
  lamp.position[1] = 0.2f;
  lamp.position[2] = 2.4f;
  lamp.mode = 1;  // pulse
  lamp.rate = 0.5f;
  lamp.a = {{1.0f, 0.9f, 0.6f}, {1.0f, 0.9f, 0.6f}, 1.0f};
  lamp.b = {{0.6f, 0.4f, 0.2f}, {0.6f, 0.4f, 0.2f}, 0.3f};
  setx::Light sun;
  sun.name = "sun";
  sun.type = 1;
  sun.a = {{1.0f, 0.8f, 0.55f}, {0.3f, 0.3f, 0.4f}, 0.8f};
  const std::vector<uint8_t> bytes = setx::Encode(4, 1, {lamp, sun});
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

// The depth image of the wide view: far at the top, near at the bottom.
DEMODATA_WRITER(yard_wide_zbm) {
  Bitmap* bitmap = NewPicture(kRgb565, [](uint8_t* row, int x, int y) {
    const uint16_t depth = static_cast<uint16_t>(0xFFFF - y * 0xFFFF / kHeight);
    std::memcpy(row + 2 * x, &depth, 2);
  });
  if (!bitmap) return false;
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
