// The commentary's "COMS" save block: any bytes given to its restore, over a
// table of two definitions.
#include <cstdint>
#include <cstring>

#include "presentation/drevCommentary.h"
#include "text_fuzz_host.h"

namespace {

const uint8_t* g_data = nullptr;
size_t g_size = 0;
size_t g_at = 0;

int Read(void* out, size_t size) {
  if (g_at + size > g_size) return 1;
  std::memcpy(out, g_data + g_at, size);
  g_at += size;
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = false;
  if (!ready) {
    const char definitions[] = "intro\nintro.wav\n0\noutro\noutro.wav\n0\n";
    text_fuzz::Serve(reinterpret_cast<const uint8_t*>(definitions), sizeof definitions - 1);
    drevCommentary_Initialize(nullptr, nullptr);
    drevCommentary_LoadDefinitions();
    ready = true;
  }
  g_data = data;
  g_size = size;
  g_at = 0;
  if (drevCommentary_Restore(Read) == 0) {
    const int selected = drevCommentary_GetSelected();
    if (selected < -1 || selected >= drevCommentary_GetEntryCount()) __builtin_trap();
    for (int i = 0; i < 256; ++i) drevCommentary_HasHeard(i);
  }
  return 0;
}
