// The engine core's file search: lists a directory for the resource file
// layer, which indexes the data directories with it.
#pragma once

#include <cstdint>

#include "engine/drevMain.h"

struct FileUtilFind;

constexpr uint32_t kFileUtilDirectoryFlag = 0x10;

// One result of a search.
struct FileUtilFindResult {
  char name[260];
  uint32_t attributes;  // kFileUtilDirectoryFlag for a directory, else 0
  uint32_t timeLow;     // low 32 bits of the last-write time (seconds)
};

// Search modes: 0 to 2 list every entry ("*.*"), 3 lists the entries whose
// extension matches (without regard to case); other modes find nothing.
constexpr int kFileUtilFindAll = 0;
constexpr int kFileUtilFindExtension = 3;

int FileUtil_SysInitialize(HostServices* services, ModuleDescriptor* descriptor);
// The directory path may end with '/' or '\' or neither; the extension may
// carry its leading dot. Null when the record cannot be allocated.
FileUtilFind* FileUtil_NewFind(const char* directory, int mode, const char* extension);
// 1 with the next entry in the result, 0 when there are no more (or the
// directory cannot be read).
int FileUtil_FindNext(FileUtilFind* find, FileUtilFindResult* result);
// The next FindNext starts over.
void FileUtil_ResetFind(FileUtilFind* find);
void FileUtil_DisposeFind(FileUtilFind* find);
