// The 3D library's table of calls up to the rasterizer (see qxRasterizer.h).
#include "quadrix/qxRasterizer.h"

#include "std/stdCallTable.h"

namespace {

stdCallTable<qxRasterizerCalls> g_calls;

}  // namespace

qxRasterizerCalls& qxRasterizer_Calls(void) {
  return g_calls.live;
}

void qxRasterizer_SetCalls(const qxRasterizerCalls* calls) {
  g_calls.Install(calls);
}

void qxRasterizer_ResetCalls(void) {
  g_calls.Reset();
}
