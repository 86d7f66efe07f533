// Fuzz target for keyframe files as the loader sees them: "FYEK" binary
// files (and, for any other start, the text form). A keyframe that loads is
// written back in both forms.
#include "quadrix/qxKeyframe.h"
#include "qx_fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qxfuzz::Start(data, size);
  qxKeyframe* keyframe = qxKeyframe_Load("input.key");
  if (!keyframe) return 0;
  qxKeyframe_WriteBinary("out.key", keyframe);
  qxKeyframe_WriteText("out.txt", keyframe, "fuzz");
  qxKeyframe_Free(keyframe);
  return 0;
}
