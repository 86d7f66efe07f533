// vq_oggwriter <out.ogv> <width> <height> <frames> [language ...]: writes a
// test clip (one Vorbis track per language; "-" for a track without one).
#include <cstdio>
#include <cstdlib>

#include "OggWriter.h"

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: vq_oggwriter out.ogv width height frames [language ...]\n");
    return 2;
  }
  OggWriterOptions o;
  o.width = std::atoi(argv[2]);
  o.height = std::atoi(argv[3]);
  o.frames = std::atoi(argv[4]);
  for (int i = 5; i < argc; ++i) o.audioLanguages.push_back(argv[i][0] == '-' ? "" : argv[i]);
  if (o.width <= 0 || o.height <= 0 || o.width % 16 || o.height % 16 || o.frames <= 0) {
    std::fprintf(stderr, "vq_oggwriter: sizes must be positive multiples of 16\n");
    return 2;
  }
  if (!OggWriter_WriteFile(argv[1], o)) {
    std::fprintf(stderr, "vq_oggwriter: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
