// Fuzz target for MAT material files. A material that loads is written back.
#include "quadrix/qxMaterial.h"
#include "qx_fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qxfuzz::Start(data, size);
  qxMaterial* material = qxMaterial_Load("input.mat", 0, 0);
  if (!material) return 0;
  qxMaterial_Write("out.mat", material);
  qxMaterial_Free(material);
  return 0;
}
