// Fuzz target of the high-definition font descriptor reader
// ("<fontname> <size>px"): the input is the descriptor's text as the file
// layer hands it over, NUL-terminated.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "render/Font.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<char> text(data, data + size);
  text.push_back(0);
  char path[512];
  float fontSize = 0.0f;
  if (HdFont_ParseDescriptor(text.data(), path, sizeof path, &fontSize)) {
    // What the reader accepts is usable as it stands.
    if (std::strncmp(path, "FontsHD/", 8) != 0 || std::strlen(path) >= sizeof path) std::abort();
    if (!(fontSize > 0.0f && fontSize <= 2048.0f) || std::isnan(fontSize)) std::abort();
  }
  // Small output buffers must never be overrun.
  char tiny[12];
  HdFont_ParseDescriptor(text.data(), tiny, sizeof tiny, &fontSize);
  return 0;
}
