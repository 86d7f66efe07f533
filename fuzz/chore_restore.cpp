// Fuzz target: the costume save block (Cos_Restore) and the per-instance data
// (Cos_RestoreInstance) read from an untrusted save game.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "chore_fuzz_host.h"

namespace {

const uint8_t* g_data;
size_t g_size;
size_t g_position;

int Read(void* target, uint32_t length) {
  if (length > g_size - g_position) return 1;
  memcpy(target, g_data + g_position, length);
  g_position += length;
  return 0;
}

const char kCostume[] =
    "costume v0.1\nsection tags\n numtags 3\n 0 'MMDL' fs model\n 1 'MESH' fs mesh\n"
    " 2 'KEYF' int keyframe\nsection components\n numcomponents 3\n 0 0 0 -1 body\n"
    " 1 1 0 0 arm\n 2 2 0 0 walk\nsection chores\n numchores 2\n 0 1000 1 walk\n"
    " 1 300 1 wave\nsection keys\nchore 0\n 2 2\n 0 1\n 500 2\nchore 1\n 1 1\n 100 1\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  chore_fuzz::Library library;
  chore_fuzz::files["a.cos"] = kCostume;
  chore_fuzz::files["b.cos"] = kCostume;
  g_data = data ? data : reinterpret_cast<const uint8_t*>("");
  g_size = size;
  g_position = 0;
  Cos_Restore(&Read);
  // The rest of the input is instance data for instances of what came back.
  for (CosCostumeHandle h = 1; h <= 4096; ++h) {
    if (!Cos_GetCostumeName(h)) continue;
    const CosInstHandle instance = Cos_CreateCosInstance(h, 0);
    if (!instance) continue;
    Cos_RestoreInstance(instance, &Read);
    for (int step = 0; step < 3; ++step) Cos_InstUpdateChores(instance, 211);
    Cos_InstStopChores(instance);
  }
  return 0;
}
