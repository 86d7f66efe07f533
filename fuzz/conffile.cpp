// Fuzz target of the configuration-file reader: the input is read as one
// text file, line by line and split into pairs, with a second copy opened
// inside the first to exercise the suspended-file stack.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "std/std.h"
#include "std/stdConffile.h"
#include "text_fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  text_fuzz::Serve(data, size);
  if (!stdConffile_Open("input")) return 0;
  int lines = 0;
  while (stdConffile_ReadArgs()) {
    const ConffileArgBlock* args = stdConffile_GetArgs();
    for (int i = 0; i < args->count; ++i) {
      if (std::strlen(args->pairs[i].name) >= kConffileLineSize) __builtin_trap();
    }
    if (++lines == 2 && stdConffile_Open("input")) {
      while (stdConffile_NextLine()) {
        if (std::strlen(stdConffile_line) >= kConffileLineSize) __builtin_trap();
      }
      stdConffile_Close();
    }
  }
  stdConffile_Close();
  return 0;
}
