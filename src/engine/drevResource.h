// The resource binding: type handlers, budget, data directories and the resource report.
//
// Not built yet: this is a placeholder that gives the module table its entry.
// Its initialise function answers 0 and fills no operation, so the registry
// skips the module; the functions below do nothing.
#pragma once

#include <cstdint>

#include "engine/drevMain.h"

int drevResource_Initialize(HostServices* services, ModuleDescriptor* descriptor);
// A nonzero argument replaces the stored value, 0 leaves it.
void drevResource_SetBudget(int64_t limit, int64_t purge);
// The object of the resource of that tag and name, null when it did not load.
void* drevResource_Get(const char* tag, const char* name);
void drevResource_SetRestoring(int restoring);
void drevResource_SetDataPath(const char* path);
void drevResource_ScanDataDirectories(void);
void drevResource_OpenResourceLog(const char* name);
