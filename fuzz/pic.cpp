// Fuzz target for the PIC reader; a file that loads is written back as BMP.
#include "image_fuzz_host.h"
#include "std/stdBmp.h"
#include "std/stdPic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  image_fuzz::LoadAndSave(
      data, size, [](const char* p) { return stdPic_Load(p, 0, 0); }, stdBmp_Save);
  return 0;
}
