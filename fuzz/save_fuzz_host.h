// What the save-block fuzz targets share: the transfer functions a module's
// save and restore take, reading from bytes in memory (the fuzz input) and
// writing into a buffer.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace save_fuzz {

inline const uint8_t* g_data = nullptr;
inline size_t g_size = 0;
inline size_t g_at = 0;
inline std::vector<uint8_t> g_written;

// Reads from these bytes, from their start.
inline void Serve(const uint8_t* data, size_t size) {
  g_data = data;
  g_size = size;
  g_at = 0;
}

// The restore side: 1 when fewer bytes are left than asked for.
inline int Read(void* out, size_t size) {
  if (size > g_size - g_at) return 1;
  std::memcpy(out, g_data + g_at, size);
  g_at += size;
  return 0;
}

// The save side: appends to g_written.
inline int Write(void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  g_written.insert(g_written.end(), bytes, bytes + size);
  return 0;
}

}  // namespace save_fuzz
