// Writes small Ogg Theora clips with any number of Vorbis tracks, each
// tagged by a "LANGUAGE=" comment, from generated pictures and tones. Used by
// the video tests, the fuzz corpus, the benchmark and the demo data.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct OggWriterOptions {
  int width = 64;  // multiples of 16
  int height = 48;
  int frames = 50;
  int fpsNumerator = 25;
  int fpsDenominator = 1;
  int keyframeInterval = 16;
  // One Vorbis stream per entry; the text goes into a "LANGUAGE=" comment
  // (an empty text writes no comment).
  std::vector<std::string> audioLanguages;
  int audioRate = 48000;
  int audioChannels = 2;
  // Paints frame f into the planes (luma width x height, chroma half that in
  // each direction, rows packed); unset: a moving gradient.
  std::function<void(int f, int width, int height, uint8_t* luma, uint8_t* cb, uint8_t* cr)>
      picture;
};

// The whole file in memory; empty on failure.
std::vector<uint8_t> OggWriter_Write(const OggWriterOptions& options);
bool OggWriter_WriteFile(const std::string& path, const OggWriterOptions& options);
