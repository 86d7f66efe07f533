// Fuzz target for the music host's file layer and resident sound loading:
// the input is a file that Mcmp_Open reads (as MCMP when it says so), read
// in pieces with seeks, then loaded into a resident slot, where WAVE and
// 8-bit data are converted.
#include "melos/SoundsInternal.h"
#include "sounds_fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sounds_fuzz::Put("in.mlc", data, size);
  const McmpHandle h = Mcmp_Open("in.mlc", "rb");
  if (h.IsOpen()) {
    const int64_t total = Mcmp_Size(h);
    uint8_t buffer[5000];
    for (uint32_t piece : {1u, 17u, 4096u, 5000u}) {
      if (Mcmp_Read(h, buffer, piece) < 0) __builtin_trap();
    }
    if (total > 0) {
      Mcmp_Seek(h, total / 2, 0);
      Mcmp_Read(h, buffer, sizeof buffer);
      Mcmp_Seek(h, -1, 2);
      if (Mcmp_Read(h, buffer, sizeof buffer) > 1) __builtin_trap();
    }
    Mcmp_Close(h);
  }
  if (const int32_t id = Sounds_ResolveSound("in.mlc")) {
    uint32_t headerSize = 0, loaded = 0;
    const uint8_t* header = Sounds_GetSlotHeader(id, &headerSize);
    const uint8_t* base = Sounds_GetSlotSampleBase(id, &loaded);
    // The converted header and the last sample are readable.
    volatile uint8_t touch = header[headerSize - 1];
    touch = base[loaded - 1];
    (void)touch;
  }
  Sounds_FreeAllSlots();
  return 0;
}
