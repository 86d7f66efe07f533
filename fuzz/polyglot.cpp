// The localised text table: load any bytes as a table and look keys up.
#include "engine/Polyglot.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "std/std.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static HostServices hs;
  static std::string path;
  if (path.empty()) {
    HostServices_CopyDefaults(&hs);
    std_DefaultServices(&hs);
    std_Startup(&hs);
    ModuleDescriptor d{};
    Polyglot_Initialize(&hs, &d);
    path = "/tmp/vq_fuzz_polyglot_" + std::to_string(getpid()) + ".tab";
  }
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);
  Polyglot_LoadTable(path.c_str());
  // Look up every key-like piece of the input and a few fixed texts.
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (size_t start = 0; start < text.size() && start < 4096; start += 7) {
    const std::string probe = "/" + text.substr(start, 12) + "/fallback";
    Polyglot_Translate(probe.c_str());
  }
  Polyglot_Translate("/");
  Polyglot_Translate("//");
  Polyglot_Translate("/KEY/x");
  std::remove(path.c_str());
  return 0;
}
