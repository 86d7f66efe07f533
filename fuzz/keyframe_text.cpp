// Fuzz target for the text form of keyframes (sections HEADER, MARKERS,
// KEYFRAME NODES), read straight through the text reader. A keyframe that
// loads is written back as text.
#include "quadrix/qxKeyframe.h"
#include "qx_fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qxfuzz::Start(data, size);
  qxKeyframe keyframe;
  if (qxKeyframe_LoadText("input.txt", &keyframe)) {
    qxKeyframe_WriteText("out.txt", &keyframe, "fuzz");
  }
  qxKeyframe_FreeEntry(&keyframe);
  return 0;
}
