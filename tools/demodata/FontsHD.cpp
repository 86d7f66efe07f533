// The high-definition fonts of the demo game: the overlay font, its licence,
// and one font descriptor. The font is DejaVu Sans Bold from Debian's
// fonts-dejavu-core (a free font), copied under the file name the overlay asks
// for.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "DemoData.h"

namespace {

bool ReadWhole(const char* path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "demodata: cannot read %s (is fonts-dejavu-core installed?)\n", path);
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  *bytes = text.str();
  return true;
}

}  // namespace

DEMODATA_WRITER(fonts_hd) {
  std::string font, licence;
  if (!ReadWhole(VQ_DEMO_FONT, &font) || !ReadWhole(VQ_DEMO_FONT_LICENSE, &licence)) return false;
  const auto folder = gameDir / "FontsHD";
  const std::string header =
      "FuturaStd-Heavy.ttf in this folder is DejaVu Sans Bold, copied unchanged from Debian's\n"
      "fonts-dejavu-core package under the file name the engine's overlay font uses.\n"
      "Its copyright and licence follow.\n\n";
  return demodata::WriteText(folder / "FuturaStd-Heavy.ttf", font) &&
         demodata::WriteText(folder / "LICENSE-DejaVu.txt", header + licence) &&
         // The high-definition faces of the bitmap font resources "demo.laf"
         // (titles and say-lines) and "small.laf" (the help line).
         demodata::WriteText(folder / "DEMO.LAF.txt", "FuturaStd-Heavy.ttf 40px\n") &&
         demodata::WriteText(folder / "SMALL.LAF.txt", "FuturaStd-Heavy.ttf 26px\n");
}
