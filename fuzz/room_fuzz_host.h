// What the set module's fuzz targets give it: the services record with an
// in-memory file system of named files, and the set module started.
#pragma once

#include <cstdio>
#include <map>
#include <string>

#include "engine/drevRoom.h"
#include "std/std.h"

namespace room_fuzz {

inline std::map<std::string, std::string>& Files() {
  static std::map<std::string, std::string> files;
  return files;
}

// Named files open from memory; writes go nowhere.
inline stdFile_t Open(const char* path, const char* mode) {
  if (!path || !mode) return 0;
  if (mode[0] == 'w') return reinterpret_cast<stdFile_t>(std::fopen("/dev/null", "w"));
  auto it = Files().find(path);
  if (it == Files().end() || it->second.empty()) return 0;
  return reinterpret_cast<stdFile_t>(fmemopen(it->second.data(), it->second.size(), "r"));
}

inline HostServices* Start() {
  static HostServices hs;
  static bool ready = false;
  if (!ready) {
    HostServices_CopyDefaults(&hs);
    std_DefaultServices(&hs);
    hs.fileOpen = Open;
    std_Startup(&hs);
    ModuleDescriptor d{};
    drevRoom_Initialize(&hs, &d);
    drevRoom_Startup();
    ready = true;
  }
  return &hs;
}

}  // namespace room_fuzz
