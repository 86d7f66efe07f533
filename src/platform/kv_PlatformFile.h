// Whole-file writing with its folders, folder creation and the file-exists
// test of the platform layer. Paths may use '\' or '/' and any letter case
// for folders that exist (they go through the path resolver of stdFileUtil).
#pragma once

#include <cstddef>

// Writes the whole file: creates the missing folders of the path, writes the
// bytes to a temporary file in the same folder, flushes it to disk and renames
// it over the old file, so a crash or a full disk never loses the old file.
// The path stays inside the game folder.
// Refuses a null data pointer, a size of 0, a null path or a path ending in a
// separator. 1 on success, 0 on failure (the old file is then unchanged).
int kv_Platform_WriteFile(const void* data, size_t size, const char* path);
// Creates every missing folder of the path (the last component included);
// folders that exist are fine. 1 on success, 0 on failure.
int kv_Platform_MakeDirectory(const char* path);
// 1 when the path names a regular file that can be opened with the mode
// (through SDL's file streams).
int kv_Platform_FileExists(const char* path, const char* mode);
