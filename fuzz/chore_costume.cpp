// Fuzz target: the text costume reader (Cos_Load), then the writer and the
// reader again on what was written, and a little playback.
#include <cstddef>
#include <cstdint>
#include <string>

#include "chore_fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  chore_fuzz::Library library;
  chore_fuzz::files["in.cos"] = std::string(reinterpret_cast<const char*>(data), size);
  const CosCostumeHandle costume = Cos_Load("in.cos");
  if (!costume) return 0;
  chore_fuzz::Library::Exercise(costume);
  if (CosUtil_Write("out.cos", CosUtil_PtrFromHandle(costume), "fuzz")) {
    Cos_Free(costume);
    const CosCostumeHandle again = Cos_Load("out.cos");
    if (!again) abort();  // what the writer wrote must read back
    chore_fuzz::Library::Exercise(again);
  }
  return 0;
}
