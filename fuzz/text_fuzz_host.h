// What the text-file fuzz targets give the general library: a services
// record whose every open reads the fuzz input from memory (through
// fmemopen, so the default line reader serves the configuration reader).
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "std/std.h"

namespace text_fuzz {

inline std::vector<char> g_input;

inline stdFile_t Open(const char*, const char*) {
  if (g_input.empty()) return 0;
  return reinterpret_cast<stdFile_t>(fmemopen(g_input.data(), g_input.size(), "r"));
}

// Starts the general library on the in-memory file, once, and sets the input.
inline void Serve(const uint8_t* data, size_t size) {
  static HostServices hs;
  static bool ready = false;
  if (!ready) {
    HostServices_CopyDefaults(&hs);
    std_DefaultServices(&hs);
    hs.fileOpen = Open;
    std_Startup(&hs);
    ready = true;
  }
  g_input.assign(reinterpret_cast<const char*>(data), reinterpret_cast<const char*>(data) + size);
}

}  // namespace text_fuzz
