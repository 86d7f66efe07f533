// The engine core: module registry, frame and game states.
//
// Not built yet: a placeholder holding only the module descriptor and the
// save transfer function that the script interface fills and uses.
#pragma once

#include <cstddef>

struct HostServices;

// The save transfer function: writes while saving, reads while restoring.
using SaveTransferFn = int (*)(void* data, size_t length);

struct ModuleDescriptor;
using ModuleInitializeFn = int (*)(HostServices* services, ModuleDescriptor* descriptor);

// Eight operation slots, filled by the module's initialise function. A null
// slot is skipped wherever the registry walks the table.
struct ModuleDescriptor {
  ModuleInitializeFn initialize;        // 0: 0 = success
  void (*uninitialize)(void);           // 1: result ignored
  int (*startup)(void);                 // 2: 0 = success
  void (*shutdown)(void);               // 3: result ignored
  int (*save)(SaveTransferFn write);    // 4: writes the module's save block
  int (*restore)(SaveTransferFn read);  // 5: reads it back
  int (*pause)(void);                   // 6: never called by the registry
  int (*resume)(void);                  // 7: never called by the registry
};
