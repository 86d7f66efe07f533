// Save-slot files and the save list.
// Not built yet: only the write-directory entry the platform main calls.
#pragma once

void kv_Save_InitWriteDirectory(void);
