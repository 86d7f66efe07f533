// Helpers shared by the source files of the set module.
#pragma once

#include <cstddef>

#include "std/std.h"

// Copies a name into a field of size bytes; a longer name is cut to
// size - 1 characters with one log line naming what it is, and answers false.
bool Room_CopyName(char* destination, size_t size, const char* source, const char* what);

// The services record the module was initialised with (the live one before).
HostServices* Room_Services(void);

// The file-name part of a path: the text after the last '\' or '/'.
inline const char* Room_FileNamePart(const char* path) {
  const char* tail = path;
  for (const char* p = path; *p; ++p)
    if (*p == '\\' || *p == '/') tail = p + 1;
  return tail;
}
