// Fuzz target of the text scene-description reader: the input is read as one
// ".l3d" file from memory, then written out again through the writer.
#include "engine/Scene.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "std/std.h"

namespace {

std::vector<char> g_input;

stdFile_t OpenInput(const char* path, const char* mode) {
  if (mode[0] == 'w') return reinterpret_cast<stdFile_t>(std::fopen("/dev/null", "w"));
  if (g_input.empty() || !path) return 0;
  return reinterpret_cast<stdFile_t>(fmemopen(g_input.data(), g_input.size(), "r"));
}

void Services() {
  static HostServices hs;
  static bool ready = false;
  if (ready) return;
  HostServices_CopyDefaults(&hs);
  std_DefaultServices(&hs);
  hs.fileOpen = OpenInput;
  std_Startup(&hs);
  ready = true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Services();
  g_input.assign(reinterpret_cast<const char*>(data), reinterpret_cast<const char*>(data) + size);
  Scene* scene = Scene_New();
  Scene_ReadFile("input.l3d", scene);
  const stdFile_t out = std_pHS->fileOpen("output.l3d", "w");
  if (out) {
    Scene_WriteFile(out, scene);
    std_pHS->fileClose(out);
  }
  Scene_Free(scene);
  return 0;
}
