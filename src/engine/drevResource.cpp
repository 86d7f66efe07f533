// The resource binding: type handlers, budget, data directories and the resource report. Not built
// yet (placeholder).
#include "engine/drevResource.h"

int drevResource_Initialize(HostServices*, ModuleDescriptor*) {
  return 0;
}
void drevResource_SetBudget(int64_t, int64_t) {}
// Not built yet: nothing loads.
void* drevResource_Get(const char*, const char*) {
  return nullptr;
}
void drevResource_SetRestoring(int) {}
void drevResource_SetDataPath(const char*) {}
void drevResource_ScanDataDirectories(void) {}
void drevResource_OpenResourceLog(const char*) {}
