// Fuzz target of the text scene-description reader: the input is read as one
// ".l3d" file from memory, then written out again through the writer.
#include <cstdint>
#include <string>

#include "engine/Scene.h"
#include "room_fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  room_fuzz::Start();
  room_fuzz::Files()["input.l3d"].assign(reinterpret_cast<const char*>(data), size);
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
