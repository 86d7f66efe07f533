// Fuzz target for the BMP reader; a file that loads is written back.
#include "image_fuzz_host.h"
#include "std/stdBmp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  image_fuzz::LoadAndSave(
      data, size, [](const char* p) { return stdBmp_Load(p, 0, 0); }, stdBmp_Save);
  return 0;
}
