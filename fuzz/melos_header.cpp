// Fuzz target for the sound file readers: the header reader (every type,
// the MCMP-wrapped ones included), raw-PCM guessing, the event search, the
// converted-size estimate and the SYNC generator. The reported samples must
// lie inside the input.
#include <cstdint>
#include <cstdlib>

#include "melos/MelosFormats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint32_t n = static_cast<uint32_t>(size > (1u << 24) ? 1u << 24 : size);
  SoundHeader h{};
  if (Sound_ReadHeader(data, n, &h) != 0) {
    if (h.samples < data || h.samples + h.dataSize > data + n) std::abort();
    unsigned sum = 0;
    for (uint32_t i = 0; i < h.dataSize; i += 97) sum += h.samples[i];
    if (sum == 0xFFFFFFFFu) std::abort();
  }
  Sound_GuessRawFormat(data, n);
  if (n >= 8) Melo_FindEvent(data + 8, n - 8, "TEXT", 1);
  for (int type = 3; type <= 7; ++type) Sound_ConvertedSize(type, 22050, 16, 0, data, n);
  static uint8_t out[8192];
  const int length = Sync_Build(out, sizeof out, data, n, 30, 5, 5);
  if (length < 0 || length > static_cast<int>(sizeof out)) std::abort();
  return 0;
}
