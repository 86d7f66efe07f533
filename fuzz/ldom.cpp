// Fuzz target for "LDOM" model files (any other start is read as the text
// form). Material names starting with "t" load a textured material, others an
// untextured one, "missing" none. A model that loads is written back in both
// forms and checked.
#include "quadrix/qxModel3.h"
#include "qx_fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qxfuzz::Start(data, size);
  qxfuzz::HookMaterials();
  qxModel3* model = qxModel3_Load("input.3do");
  if (!model) return 0;
  qxModel3_CheckFaceModes(model);
  qxModel3_FindNode("root", model);
  qxModel3_WriteBinary("out.3do", model);
  qxModel3_WriteText("out.txt", model, "fuzz");
  qxModel3_Free(model);
  return 0;
}
