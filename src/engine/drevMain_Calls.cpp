// The engine core's table of calls into the modules above it: empty until the
// program installs its rows.
#include "engine/drevMain.h"

namespace {

drevMainCalls gCalls{};
drevMainCalls gInstalled{};

}  // namespace

drevMainCalls& drevMain_Calls(void) {
  return gCalls;
}
void drevMain_SetCalls(const drevMainCalls* calls) {
  gInstalled = calls ? *calls : drevMainCalls{};
  gCalls = gInstalled;
}
void drevMain_ResetCalls(void) {
  gCalls = gInstalled;
}
void drevMain_SetPhysicalMemoryQuery(uint64_t (*query)(void)) {
  gCalls.physicalMemory = query ? query : gInstalled.physicalMemory;
}
