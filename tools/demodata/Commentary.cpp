// The demo's words: the English text table "vosk.en.tab" of the scene's
// lines, and the director's commentary "commentary_def.txt" (one track about
// the yard, with two subtitles timed against its sound) with the darkening
// strip "fadebox-top.png" shown over the picture while it plays.
#include <cstdint>
#include <string>
#include <vector>

#include "DemoData.h"
#include "SceneLines.h"

#define STBI_WRITE_NO_STDIO
#include <stb_image_write.h>  // implemented in Cursors.cpp

namespace {

constexpr char kCommentaryDef[] =
    "# Director's commentary of the demo: name, sound, subtitle count, then\n"
    "# one line per subtitle: colour index, text key, start ms, end ms.\n"
    "yard_tour\n"
    "commentary_yard.wav\n"
    "2\n"
    "0 /COM_YARD_1/ 0 4300\n"
    "0 /COM_YARD_2/ 4300 8800\n";

// The text table: KEY, a tab, the text; lines end in CR LF.
std::string TextTable() {
  std::string text = "# The demo scene's lines (English)\r\n";
  for (const demodata::SceneLine& line : demodata::kSceneLines) {
    text += std::string(line.key) + "\t" + line.text + "\r\n";
  }
  return text;
}

// A black strip whose opacity fades out toward its lower edge.
std::vector<uint8_t> StripPng() {
  constexpr int kWidth = 16, kHeight = 64;
  std::vector<uint8_t> rgba(kWidth * kHeight * 4, 0);
  for (int y = 0; y < kHeight; ++y) {
    const int alpha = y < kHeight / 2 ? 200 : 200 * (kHeight - y) * 2 / kHeight;
    for (int x = 0; x < kWidth; ++x) rgba[(y * kWidth + x) * 4 + 3] = static_cast<uint8_t>(alpha);
  }
  std::vector<uint8_t> png;
  stbi_write_png_to_func(
      [](void* context, void* data, int size) {
        auto* out = static_cast<std::vector<uint8_t>*>(context);
        const auto* bytes = static_cast<const uint8_t*>(data);
        out->insert(out->end(), bytes, bytes + size);
      },
      &png, kWidth, kHeight, 4, rgba.data(), kWidth * 4);
  return png;
}

}  // namespace

DEMODATA_WRITER(WriteCommentary) {
  const std::vector<uint8_t> strip = StripPng();
  return !strip.empty() && demodata::WriteText(gameDir / "commentary_def.txt", kCommentaryDef) &&
         demodata::WriteBytes(gameDir / "fadebox-top.png", strip);
}

DEMODATA_WRITER(WriteTextTable) {
  return demodata::WriteText(gameDir / "vosk.en.tab", TextTable());
}
