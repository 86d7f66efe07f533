// The render context's file access over the engine's file layer.
#include "gfx/kv_File.h"

#include "engine/Res.h"

kvFile kv_File_Open(const char* name, const char* mode) {
  return Res_FileOpen(name, mode);
}

int kv_File_Close(kvFile file) {
  return Res_FileClose(file);
}

size_t kv_File_Read(kvFile file, void* buffer, size_t length) {
  return Res_FileRead(file, buffer, length);
}

int64_t kv_File_SizeByName(const char* name) {
  return Res_FileSizeByName(name);
}

int kv_File_Seek(kvFile file, int64_t offset, int origin) {
  return Res_FileSeek(file, offset, origin);
}
