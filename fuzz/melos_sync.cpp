// Fuzz target for SYNC lip-sync lookup: the input is a track looked up at
// times spread over its range and beyond.
#include <cstdint>
#include <cstdlib>

#include "melos/MelosFormats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint32_t n = static_cast<uint32_t>(size > (1u << 24) ? 1u << 24 : size);
  for (uint32_t t = 0; t < 1100000; t += 4099) {
    int a = -1, b = -1;
    if (Sync_Lookup(data, n, t, &a, &b) == 0 && (a < 0 || a > 127 || b < 0 || b > 127))
      std::abort();
  }
  return 0;
}
