// OrnShare: the cutscene codec library's process-wide registry of published
// operation tables. Modules publish tables under text keys (NAME=impl, or
// ORNMODULE=module for a module's lifecycle table) and look up the tables they
// need by service name (NAME or NAME.purpose) when they start. Configuration
// strings of KEY=VALUE items choose an implementation explicitly; without a
// choice the most recently published implementation answers.
//
// Main thread only: publishing, subscribing and the lifecycle calls happen
// while the library starts and stops.
#pragma once

#include <cstdint>

constexpr int kOrnShareSlots = 512;

struct OrnShareServices;

// A module's register operation, the one named in the module list.
using OrnRegisterFn = int (*)(OrnShareServices* services, const char* context);
using OrnErrorPrinter = int (*)(const char* format, ...);

// Published under ORNMODULE=module.
struct OrnModuleTable {
  OrnRegisterFn Register;
  void (*Unregister)(void);
  int (*Startup)(void);  // 0 on success
  void (*Shutdown)(void);
};

// One module of the list handed to OrnShare_Init; the list ends with a null
// register operation. The context is given to the register operation; modules
// pass it as the per-call defaults of their subscriptions.
struct OrnModuleListEntry {
  OrnRegisterFn Register;
  const char* context;
};

// One request of a batch; a list ends with a null table address.
struct OrnBatchItem {
  void** table;
  const char* request;
  const char* defaults;
};

// Published under DEBUG=module by some modules.
struct OrnDebugTable {
  const char* (*Describe)(int kind);
  void (*SetFlags)(uint32_t flags);
  uint32_t (*GetFlags)(void);
};

// The table handed to every module's register operation.
struct OrnShareServices {
  int (*Publish)(const char* key, void* table);
  int (*Unpublish)(const char* key);
  void* (*Subscribe)(const char* request, const char* defaults);
  int (*Unsubscribe)(void* table);
  int (*BatchSubscribe)(OrnBatchItem* items, const char* defaults);
  int (*BatchUnsubscribe)(OrnBatchItem* items);
  const char* (*Enumerate)(const char* name, int n);
  int (*Count)(const char* name);
  OrnErrorPrinter ErrorPrinter;
};

// Clears the registry, calls every listed register operation in order, then
// marks the registry initialised. A non-null printer replaces the silent one.
OrnShareServices* OrnShare_Init(OrnErrorPrinter printer, const OrnModuleListEntry* modules,
                                const char* defaultConfig, const char* overrideConfig);
// 0, or 1 when all 512 slots are in use. The key must outlive the entry.
int OrnShare_Publish(const char* key, void* table);
// The freed entry's reference count, or 1 when no entry has that key.
int OrnShare_Unpublish(const char* key);
// The table that answers the request, or null (always null before
// OrnShare_Init has finished).
void* OrnShare_Subscribe(const char* request, const char* defaults);
// 0, or 1 when no entry holds the table.
int OrnShare_Unsubscribe(void* table);
// Unsubscribes from the table a module keeps in a typed pointer, when it has
// one, and clears the pointer.
template <typename T>
void OrnShare_Release(T*& table) {
  if (table) OrnShare_Unsubscribe(table);
  table = nullptr;
}
int OrnShare_BatchSubscribe(OrnBatchItem* items, const char* defaults);
int OrnShare_BatchUnsubscribe(OrnBatchItem* items);
// The key of the n-th used entry whose name part is `name` (any for null).
const char* OrnShare_Enumerate(const char* name, int n);
int OrnShare_Count(const char* name);
// Starts every ORNMODULE entry in slot order; 0 or the first failure.
int OrnShare_Startup(void);
// Shuts the started modules down in reverse; 1 when none was started.
int OrnShare_Shutdown(void);
int OrnShare_UnregisterAll(void);
// The registry's current error printer (silent unless one was given).
OrnErrorPrinter OrnShare_GetErrorPrinter(void);
