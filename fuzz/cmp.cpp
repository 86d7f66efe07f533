// Fuzz target for "CMP " colormap files: any input yields a colormap (the
// grey default for a bad one) or none. Colormaps without an inverse table are
// written back (the writer builds missing inverse tables, which is slow).
#include "quadrix/qxColormap.h"
#include "qx_fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qxfuzz::Start(data, size);
  qxColormap* colormap = qxColormap_Load("input.cmp");
  if (!colormap) return 0;
  qxColormap_SetCurrent(colormap);
  if (!colormap->inverseTable) qxColormap_Write("out.cmp", colormap);
  qxColormap_Free(colormap);
  return 0;
}
