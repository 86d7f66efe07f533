// Window and platform services: not built yet. These placeholders do nothing
// and read no file; the window layer's own module replaces them.
#include "platform/kv_Window.h"

#include "platform/kv_Log.h"

void kv_Platform_ApplyWindowMode(void) {}

int kv_Platform_LoadFile(void** data, size_t* size, const char* path) {
  kv_Log_Printf("File not found: %s (file loading is not built yet)", path ? path : "");
  if (data) *data = nullptr;
  if (size) *size = 0;
  return 0;
}

void kv_Platform_FreeFileData(void*) {}
