// Not built yet: the text table replaces this file.
#include "engine/Polyglot.h"

#include "platform/kv_Log.h"

int Polyglot_Initialize(HostServices*, ModuleDescriptor* descriptor) {
  if (descriptor) *descriptor = ModuleDescriptor{};
  return 0;
}
void Polyglot_LoadTable(const char* fileName) {
  kv_Log_Printf("[Text] - text table not built yet: %s not loaded", fileName ? fileName : "");
}
