// Fuzz target for the LZ decoder: the first two bytes (little-endian) choose
// the output size, the rest is a packed stream decoded into it; then the whole
// input is packed and unpacked again, which must give the input back.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "std/stdCompress.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size >= 2) {
    const auto capacity = static_cast<size_t>(data[0] | data[1] << 8);
    const uint8_t* stream = data + 2;
    const size_t streamSize = size - 2;
    std::vector<uint8_t> out(capacity + 1);
    const int n = stdCompress_Decode(out.data(), capacity, stream, streamSize);
    if (n > static_cast<int>(capacity)) std::abort();
    // Through the cache as well; the entry is dropped since the bytes go away.
    const int m =
        stdCompress_Decompress(out.data(), capacity, stream, static_cast<int>(streamSize));
    if (m != n) std::abort();
    stdCompress_DropCached(stream);
  }

  // Round trip of the input as plain data.
  const int plainSize = static_cast<int>(size);
  std::vector<uint8_t> packed(size + 1);
  const int packedSize = stdCompress_Compress(packed.data(), data, plainSize);
  if (packedSize < plainSize) {
    std::vector<uint8_t> back(size + 1);
    const int length =
        stdCompress_Decode(back.data(), size, packed.data(), static_cast<size_t>(packedSize));
    if (length != plainSize || std::memcmp(back.data(), data, size) != 0) std::abort();
  }
  return 0;
}
