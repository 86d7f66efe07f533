// Checked reading and writing of the 3D library's binary files (models,
// keyframes, materials, colormaps) through the services record.
//
// The files are little-endian and hold every field at its own fixed width,
// so fields are read and written one by one, never by copying a record. A
// reader knows how many bytes are left in the file, so that a count read from
// the file can be checked against them before anything is allocated; once a
// read comes up short the reader stays failed. A reader can also go over
// bytes in memory (a file read whole with ReadRest), with the same checks.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "platform/stdByteOrder.h"
#include "std/std.h"

struct qxFileReader {
  // When the file layer cannot tell the size, counts are bounded by this many
  // bytes instead (and the reads still find a short file).
  static constexpr int64_t kUnknownSizeBound = int64_t{1} << 28;

  HostServices* hs;
  stdFile_t file;
  int64_t remaining;  // bytes left after the current position
  bool failed = false;

  // Over size bytes in memory: no file layer.
  qxFileReader(const uint8_t* bytes, size_t size)
      : hs(nullptr), file(0), remaining(static_cast<int64_t>(size)), memory(bytes) {}

  qxFileReader(HostServices* services, stdFile_t f) : hs(services), file(f) {
    remaining = kUnknownSizeBound;
    if (!hs->fileTell || !hs->fileSeek) return;
    const int64_t here = hs->fileTell(file);
    if (here < 0 || hs->fileSeek(file, 0, 2) != 0) return;
    const int64_t end = hs->fileTell(file);
    hs->fileSeek(file, here, 0);
    if (end >= here) {
      remaining = end - here;
      sizeKnown = true;
    }
  }

  // Everything left in the file, in memory, for a parser of many small
  // fields: in one read when the size is known, else piece by piece until
  // the file ends (at most kUnknownSizeBound bytes). Null when memory runs
  // out, or when the file is shorter than its size (the reader is then
  // failed). Later reads find nothing left.
  std::unique_ptr<uint8_t[]> ReadRest(size_t* size) {
    *size = 0;
    if (failed || memory) return nullptr;
    size_t capacity = sizeKnown ? static_cast<size_t>(remaining) : size_t{64} << 10;
    std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[capacity > 0 ? capacity : 1]);
    if (!bytes) return nullptr;
    size_t have = 0;
    for (;;) {
      const size_t want = capacity - have;
      const size_t got = want > 0 ? hs->fileRead(file, bytes.get() + have, want) : 0;
      have += got < want ? got : want;
      if (sizeKnown) {
        if (have < capacity) {
          failed = true;
          return nullptr;
        }
        break;
      }
      if (got < want || capacity >= static_cast<size_t>(kUnknownSizeBound)) break;
      const size_t larger = capacity * 2 < static_cast<size_t>(kUnknownSizeBound)
                                ? capacity * 2
                                : static_cast<size_t>(kUnknownSizeBound);
      std::unique_ptr<uint8_t[]> grown(new (std::nothrow) uint8_t[larger]);
      if (!grown) return nullptr;
      std::memcpy(grown.get(), bytes.get(), have);
      bytes = std::move(grown);
      capacity = larger;
    }
    remaining = 0;
    *size = have;
    return bytes;
  }

  bool Read(void* out, size_t count) {
    if (failed) return false;
    if (count == 0) return true;
    if (static_cast<int64_t>(count) > remaining) {
      failed = true;
      return false;
    }
    if (memory) {
      std::memcpy(out, memory, count);
      memory += count;
    } else if (hs->fileRead(file, out, count) != count) {
      failed = true;
      return false;
    }
    remaining -= static_cast<int64_t>(count);
    return true;
  }
  // For a parser of many small records over bytes in memory: the next bytes
  // (remaining of them; null when reading a file), then Advance past the
  // ones it took, or Fail.
  const uint8_t* Next() const { return failed ? nullptr : memory; }
  void Advance(size_t count) {
    memory += count;
    remaining -= static_cast<int64_t>(count);
  }
  void Fail() { failed = true; }
  bool Skip(size_t count) {
    uint8_t scratch[256];
    while (count > 0) {
      const size_t n = count < sizeof scratch ? count : sizeof scratch;
      if (!Read(scratch, n)) return false;
      count -= n;
    }
    return true;
  }
  bool U32(uint32_t* out) {
    uint8_t b[4];
    if (!Read(b, 4)) return false;
    *out = stdLE_GetU32(b);
    return true;
  }
  bool I32(int32_t* out) {
    uint32_t v;
    if (!U32(&v)) return false;
    *out = static_cast<int32_t>(v);
    return true;
  }
  bool F32(float* out) {
    uint32_t v;
    if (!U32(&v)) return false;
    *out = std::bit_cast<float>(v);
    return true;
  }
  // count 32-bit values (floats or integers) straight into an array.
  bool Words(void* out, size_t count) {
    if (!Read(out, count * 4)) return false;
    if constexpr (std::endian::native != std::endian::little) {
      auto* bytes = static_cast<uint8_t*>(out);
      for (size_t i = 0; i < count; ++i) {
        const uint32_t v = stdLE_GetU32(bytes + 4 * i);
        std::memcpy(bytes + 4 * i, &v, 4);
      }
    }
    return true;
  }
  // Whether count items of at least itemBytes each can still be in the file.
  bool Fits(int64_t count, int64_t itemBytes) const {
    return count >= 0 && (count == 0 || count <= remaining / itemBytes);
  }

 private:
  bool sizeKnown = false;
  const uint8_t* memory = nullptr;  // the next byte, when over bytes in memory
};

struct qxFileWriter {
  HostServices* hs;
  stdFile_t file;
  bool failed = false;

  qxFileWriter(HostServices* services, stdFile_t f) : hs(services), file(f) {}

  bool Write(const void* data, size_t count) {
    if (failed) return false;
    if (count > 0 && hs->fileWrite(file, data, count) != count) failed = true;
    return !failed;
  }
  bool Zero(size_t count) {
    static const uint8_t zeros[64] = {};
    while (count > 0) {
      const size_t n = count < sizeof zeros ? count : sizeof zeros;
      if (!Write(zeros, n)) return false;
      count -= n;
    }
    return true;
  }
  bool U32(uint32_t v) {
    uint8_t b[4];
    stdLE_PutU32(b, v);
    return Write(b, 4);
  }
  bool I32(int32_t v) { return U32(static_cast<uint32_t>(v)); }
  bool F32(float v) { return U32(std::bit_cast<uint32_t>(v)); }
  // A pointer-valued field of the file: a 32-bit marker, 1 when present.
  bool Marker(const void* p) { return U32(p ? 1u : 0u); }
  bool Words(const void* data, size_t count) {
    if constexpr (std::endian::native == std::endian::little) {
      return Write(data, count * 4);
    } else {
      const auto* bytes = static_cast<const uint8_t*>(data);
      for (size_t i = 0; i < count; ++i) {
        uint32_t v;
        std::memcpy(&v, bytes + 4 * i, 4);
        if (!U32(v)) return false;
      }
      return true;
    }
  }
  // A fixed text field: the text, NUL-padded to size bytes (cut at size - 1).
  bool Name(const char* text, size_t size) {
    char field[64] = {};
    const size_t n = text ? strnlen(text, size - 1) : 0;
    if (n) std::memcpy(field, text, n);
    return Write(field, size);
  }
};

// Copies a name into a fixed field of size bytes, cut to size - 1 characters.
inline void qxCopyName(char* field, size_t size, const char* text) {
  const size_t n = text ? strnlen(text, size - 1) : 0;
  if (n) std::memcpy(field, text, n);
  field[n] = '\0';
}
