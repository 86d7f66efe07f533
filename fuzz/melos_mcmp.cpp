// Fuzz target for the MCMP block reader: the input is an MCMP file read in
// pieces whose sizes come from its own bytes, with seeks back and forth.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "melos/MelosFormats.h"

namespace {
struct Source {
  const uint8_t* data;
  uint32_t size;
};
int ReadAt(void* user, uint32_t offset, void* buffer, uint32_t count) {
  const auto* s = static_cast<const Source*>(user);
  if (offset >= s->size) return 0;
  const uint32_t n = std::min(count, s->size - offset);
  std::memcpy(buffer, s->data + offset, n);
  return static_cast<int>(n);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Source source{data, static_cast<uint32_t>(std::min<size_t>(size, 1u << 24))};
  McmpFile f;
  if (Mcmp_Open(&f, ReadAt, &source, source.size) != 0) return 0;
  std::vector<uint8_t> buffer(70000);
  uint32_t total = 0;
  for (uint32_t step = 0; step < 64 && total < (1u << 22); ++step) {
    const uint32_t want = 1 + (data[step % size] * 277u) % 65536u;
    const int n = Mcmp_Read(&f, buffer.data(), want);
    if (n < 0 || static_cast<uint32_t>(n) > want) std::abort();
    total += static_cast<uint32_t>(n);
    if (n == 0) Mcmp_Seek(&f, f.totalSize ? (data[(step * 7) % size] * 131u) % f.totalSize : 0);
  }
  return 0;
}
