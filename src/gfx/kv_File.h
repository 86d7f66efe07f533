// Files for the render context's loaders, read through the engine's file
// layer, so a picture or container may lie loose in a data folder or inside
// an archive. Handles are pointer-sized; 0 means the open failed.
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
