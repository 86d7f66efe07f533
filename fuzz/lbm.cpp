// Fuzz target for the LBM reader; a file that loads is written back.
#include "image_fuzz_host.h"
#include "std/stdLbm.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  image_fuzz::LoadAndSave(
      data, size, [](const char* p) { return stdLbm_Load(p, 0, 0); }, stdLbm_Save);
  return 0;
}
