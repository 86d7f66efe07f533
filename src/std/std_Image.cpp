// Image files by extension. Not built yet (placeholder): nothing is read.
#include <cstdio>

#include "std/std.h"

Bitmap* std_LoadImage(char* path, size_t, int, int) {
  static bool reported = false;
  if (!reported) {
    reported = true;
    std::fprintf(stderr, "std_LoadImage(%s): image files are not built yet\n", path ? path : "");
  }
  return nullptr;
}
