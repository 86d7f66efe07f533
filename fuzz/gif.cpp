// Fuzz target for the GIF reader and its LZW decoder; a file that loads is
// written back through the encoder.
#include "image_fuzz_host.h"
#include "std/stdGif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  image_fuzz::LoadAndSave(
      data, size, [](const char* p) { return stdGif_Load(p, 0, 0); }, stdGif_Save);
  return 0;
}
