// Fuzz target of the configuration-file reader: the input is read as one
// text file, line by line and split into pairs, with a second copy opened
// inside the first to exercise the suspended-file stack.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "std/std.h"
#include "std/stdConffile.h"

namespace {

std::vector<char> g_input;

// Every open of the fuzz input reads it from memory.
stdFile_t OpenInput(const char*, const char*) {
  if (g_input.empty()) return 0;
  return reinterpret_cast<stdFile_t>(fmemopen(g_input.data(), g_input.size(), "r"));
}

HostServices* Services() {
  static HostServices hs;
  static bool ready = false;
  if (!ready) {
    HostServices_CopyDefaults(&hs);
    std_DefaultServices(&hs);
    hs.fileOpen = OpenInput;
    std_Startup(&hs);
    ready = true;
  }
  return &hs;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Services();
  g_input.assign(reinterpret_cast<const char*>(data), reinterpret_cast<const char*>(data) + size);
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
