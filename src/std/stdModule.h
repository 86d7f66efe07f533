// The shape every engine module shares: its initialise function, the
// descriptor it fills, and the save transfer function that its save and
// restore operations receive. Kept here, below every module, so that a module
// of a lower library (the music host, say) offers the engine the same shape
// without knowing the engine.
#pragma once

#include <cstddef>

struct HostServices;

// The save transfer function: writes while saving, reads while restoring.
// Answers 0.
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
