// The demo's classic cutscenes, written with the project's .snm writer, and
// the game's table of cutscenes, cutscenes.txt.
//
// A script plays a cutscene by its file name in the game folder, once when
// the second argument is nil (an absent second argument is not nil to the
// engine's functions: the movie then loops until StopMovie):
//   StartFullscreenMovie("gate.snm", nil)  -- the road beyond the gate
//   StartFullscreenMovie("intro.snm", nil) -- the sunset
// IsMoviePlaying() answers true until it ends, and system.movieTime holds its
// time in milliseconds. "intro.snm" has a high-definition replacement,
// MoviesHD/intro.ogv (Movies.cpp), which plays in its place unless the
// program runs with -nofmv; "gate.snm" has none and always plays classic.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <vector>

#include "DemoData.h"
#include "SnmWriter.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr int kFramesPerSecond = 15;
constexpr int kSampleRate = 24000;
constexpr int kSamplesPerFrame = kSampleRate / kFramesPerSecond;

uint16_t Rgb565(int r, int g, int b) {
  return uint16_t((r >> 3) << 11 | (g >> 2) << 5 | (b >> 3));
}

// Frame f of the sunset: a sky in bands of eight rows that darkens, a sun
// that sinks behind the horizon, and a field of two-coloured furrows.
uint16_t Sunset(int x, int y, int f) {
  constexpr int kHorizon = 300;
  if (y >= kHorizon) return ((x + 2 * y) / 16) % 2 ? Rgb565(40, 80, 30) : Rgb565(60, 100, 40);
  const int dx = x - 320, dy = y - (180 + f * 4);
  if (dx * dx + dy * dy < 40 * 40) return Rgb565(255, 200, 90);
  const int band = y / 8;
  return Rgb565(std::max(0, 70 + band * 4 - f), std::max(0, 60 + band * 3 - f),
                std::max(0, 150 - band * 2 - f / 2));
}

// Frame f of the road beyond the gate: a road that narrows to the horizon
// between two fields, fence posts that pass by, and Quill, a tin robot,
// walking away down the road and getting smaller.
uint16_t Road(int x, int y, int f) {
  constexpr int kHorizon = 200;
  if (y < kHorizon) {
    const int band = y / 8;
    return Rgb565(120 + band * 3, 150 + band * 2, 220 - band);
  }
  // Depth 1 at the horizon row, growing towards the bottom of the picture.
  const int depth = y - kHorizon;
  const int halfRoad = 8 + depth * 3 / 2;
  const int fromCentre = std::abs(x - 320);
  // Quill: a grey body under a lighter head, 80 pixels tall at the start and
  // smaller each frame, standing on the road further off each frame.
  const int feet = 460 - f * 6, height = 80 - f, top = feet - height;
  if (y > top && y <= feet) {
    const bool head = y < top + height / 4;
    if (fromCentre < (head ? height / 8 : height / 5))
      return head ? Rgb565(200, 200, 210) : Rgb565(140, 140, 150);
  }
  if (fromCentre < halfRoad) return Rgb565(150, 130, 100);
  // Fence posts along the left verge move towards the viewer.
  const int postX = 320 - halfRoad - 12 - depth / 4;
  if (x > postX - 3 - depth / 40 && x < postX + 3 + depth / 40 && ((y + f * 4) / 24) % 3 == 0)
    return Rgb565(90, 60, 30);
  return ((x / 12 + y / 6) % 2) ? Rgb565(70, 120, 50) : Rgb565(80, 135, 55);
}

using Painter = std::function<uint16_t(int x, int y, int f)>;
using Sampler = std::function<double(double seconds)>;

// A swelling tone of 440 Hz.
double SwellingTone(double t) {
  return (0.5 - 0.5 * std::cos(M_PI * t)) * std::sin(2 * M_PI * 440 * t);
}

// A little tune: four notes of a rising major chord, a quarter second each.
double Tune(double t) {
  static constexpr double kNotes[] = {261.63, 329.63, 392.0, 523.25};
  const int note = int(t * 4) % 4;
  const double inNote = t * 4 - std::floor(t * 4);
  return (1.0 - inNote) * std::sin(2 * M_PI * kNotes[note] * t);
}

// A 640x480 movie of `frames` pictures at 15 frames a second (the first raw,
// the rest block coded) with its sound in Wave blocks, mono at 24000 Hz.
std::vector<uint8_t> WriteMovie(int frames, const char* note, const Painter& paint,
                                const Sampler& sound) {
  snm::Header header;
  header.frameCount = int16_t(frames);
  header.width = kWidth;
  header.height = kHeight;
  header.periodUs = 1000000 / kFramesPerSecond;
  snm::Movie movie(header);
  snm::Bytes flhd = snm::Block("Bl16", snm::Bl16FlhdPayload(kWidth, kHeight));
  snm::Append(flhd,
              snm::Block("Wave", snm::WaveFlhdPayload(uint32_t(frames * kSamplesPerFrame * 2))));
  movie.Flhd(flhd);
  movie.Anno(note);
  snm::Bl16Encoder encoder(kWidth, kHeight);
  std::vector<uint16_t> picture(size_t(kWidth) * kHeight);
  std::vector<int16_t> samples(kSamplesPerFrame);
  for (int f = 0; f < frames; ++f) {
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) picture[size_t(y) * kWidth + size_t(x)] = paint(x, y, f);
    for (int i = 0; i < kSamplesPerFrame; ++i)
      samples[size_t(i)] = int16_t(6000 * sound(double(f * kSamplesPerFrame + i) / kSampleRate));
    snm::Bytes frame = snm::Block("Bl16", encoder.Encode(picture));
    snm::Append(frame, snm::Block("Wave", snm::WavePayload(samples, 1)));
    movie.Frame(frame);
  }
  return movie.Build();
}

// One row a cutscene: file name, whether a saved game resumes it (resume or
// noresume) and, optionally, the end time in milliseconds of its
// high-definition replacement.
constexpr char kCutscenes[] =
    "# The game's cutscenes: file name, resume or noresume (whether a saved game\n"
    "# that was saved during it plays it again), and the end time in milliseconds\n"
    "# of its high-definition replacement, if it has one.\n"
    "intro.snm noresume 3000\n"
    "gate.snm resume\n";

}  // namespace

// intro.snm: the sunset, three seconds, with a swelling tone; the classic
// counterpart of MoviesHD/intro.ogv.
DEMODATA_WRITER(intro_snm) {
  return demodata::WriteBytes(gameDir / "intro.snm",
                              WriteMovie(45, "Vosk Quorvale demo: sunset", Sunset, SwellingTone));
}

// gate.snm: the road beyond the gate, two seconds, with a little tune.
DEMODATA_WRITER(gate_snm) {
  return demodata::WriteBytes(gameDir / "gate.snm",
                              WriteMovie(30, "Vosk Quorvale demo: the road", Road, Tune));
}

DEMODATA_WRITER(cutscenes_txt) {
  return demodata::WriteText(gameDir / "cutscenes.txt", kCutscenes);
}
