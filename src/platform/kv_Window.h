// Window and platform services (not built yet: placeholder until the window layer lands).
#pragma once

#include <cstddef>

void kv_Platform_ApplyWindowMode(void);
int kv_Platform_LoadFile(void** data, size_t* size, const char* path);
void kv_Platform_FreeFileData(void* data);
