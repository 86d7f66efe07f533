// The render context's file access over the file layer the program installs.
#include "gfx/kv_File.h"

namespace {
kvFileCalls g_calls{};
}  // namespace

void kv_File_SetCalls(const kvFileCalls* calls) {
  g_calls = calls ? *calls : kvFileCalls{};
}

kvFile kv_File_Open(const char* name, const char* mode) {
  return g_calls.open ? g_calls.open(name, mode) : 0;
}

int kv_File_Close(kvFile file) {
  return g_calls.close ? g_calls.close(file) : -1;
}

size_t kv_File_Read(kvFile file, void* buffer, size_t length) {
  return g_calls.read ? g_calls.read(file, buffer, length) : 0;
}

int64_t kv_File_SizeByName(const char* name) {
  return g_calls.sizeByName ? g_calls.sizeByName(name) : -1;
}

int kv_File_Seek(kvFile file, int64_t offset, int origin) {
  return g_calls.seek ? g_calls.seek(file, offset, origin) : -1;
}
