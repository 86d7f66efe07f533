// The localised text table.
// Not built yet: only the entry points game initialisation calls.
#pragma once

#include "engine/drevMain.h"

int Polyglot_Initialize(HostServices* services, ModuleDescriptor* descriptor);
void Polyglot_LoadTable(const char* fileName);
