// Fuzz target for the PCX reader; a file that loads is written back.
#include "image_fuzz_host.h"
#include "std/stdPcx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  image_fuzz::LoadAndSave(
      data, size, [](const char* p) { return stdPcx_Load(p, 0, 0); }, stdPcx_Save);
  return 0;
}
