// Files for the render context's loaders. They are read through the file
// layer that the program installs (the engine's, so a picture or container
// may lie loose in a data folder or inside an archive). Handles are
// pointer-sized; 0 means the open failed.
#pragma once

#include <cstddef>
#include <cstdint>

using kvFile = intptr_t;

kvFile kv_File_Open(const char* name, const char* mode);
// 0 when closed, else the file layer's error.
int kv_File_Close(kvFile file);
size_t kv_File_Read(kvFile file, void* buffer, size_t length);
int64_t kv_File_SizeByName(const char* name);
int kv_File_Seek(kvFile file, int64_t offset, int origin);

// The file layer behind the calls above. The table starts empty: until the
// program installs one, every open fails and sizes read -1.
struct kvFileCalls {
  intptr_t (*open)(const char* name, const char* mode);
  int (*close)(intptr_t file);
  size_t (*read)(intptr_t file, void* buffer, size_t length);
  int64_t (*sizeByName)(const char* name);
  int (*seek)(intptr_t file, int64_t offset, int origin);
};
// Copies the table in (null empties it).
void kv_File_SetCalls(const kvFileCalls* calls);
