// Fuzz target for the "3DO" text form of models, read straight through the
// text reader and then derived. Materials as in the LDOM target. A model that
// loads is written back as text.
#include "quadrix/qxModel3.h"
#include "qx_fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qxfuzz::Start(data, size);
  qxfuzz::HookMaterials();
  qxModel3 model;
  if (qxModel3_LoadText("input.txt", &model)) {
    qxModel3_PostLoad(&model);
    qxModel3_WriteText("out.txt", &model, "fuzz");
  }
  qxModel3_FreeEntry(&model);
  return 0;
}
