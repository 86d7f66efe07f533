// The render back ends' table of calls up (see RenderHost.h).
#include "render/RenderHost.h"

#include "std/stdCallTable.h"

namespace {

stdCallTable<RenderHostCalls> g_calls;

}  // namespace

RenderHostCalls& RenderHost_Calls(void) {
  return g_calls.live;
}

void RenderHost_SetCalls(const RenderHostCalls* calls) {
  g_calls.Install(calls);
}

void RenderHost_ResetCalls(void) {
  g_calls.Reset();
}
