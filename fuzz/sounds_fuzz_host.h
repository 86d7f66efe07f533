// The music host's file services over memory for the fuzz targets: the
// fuzzer's input is the one file of a given name; every other name is
// missing. Memory comes from the plain runtime services.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "melos/Sounds.h"
#include "std/std.h"

namespace sounds_fuzz {

struct MemoryFile {
  std::string name;
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t at = 0;
  bool open = false;
};
inline MemoryFile& File() {
  static MemoryFile file;
  return file;
}

inline stdFile_t Open(const char* path, const char* mode) {
  MemoryFile& f = File();
  if (!path || !mode || mode[0] != 'r' || f.open || f.name != path) return 0;
  f.open = true;
  f.at = 0;
  return 1;
}
inline int Close(stdFile_t file) {
  if (file == 1) File().open = false;
  return 0;
}
inline size_t Read(stdFile_t file, void* buffer, size_t count) {
  MemoryFile& f = File();
  if (file != 1 || !f.open) return 0;
  const size_t n = std::min(count, f.size - std::min(f.at, f.size));
  if (n) std::memcpy(buffer, f.data + f.at, n);
  f.at += n;
  return n;
}
inline int Seek(stdFile_t file, int64_t offset, int origin) {
  MemoryFile& f = File();
  if (file != 1) return -1;
  const int64_t base = origin == 0   ? 0
                       : origin == 1 ? static_cast<int64_t>(f.at)
                                     : static_cast<int64_t>(f.size);
  if (base + offset < 0) return -1;
  f.at = static_cast<size_t>(base + offset);
  return 0;
}
inline int64_t Tell(stdFile_t file) {
  return file == 1 ? static_cast<int64_t>(File().at) : -1;
}
inline int Eof(stdFile_t file) {
  return file != 1 || File().at >= File().size;
}
inline char* Gets(stdFile_t file, char* buffer, int size) {
  MemoryFile& f = File();
  if (file != 1 || size <= 1 || f.at >= f.size) return nullptr;
  int n = 0;
  while (n < size - 1 && f.at < f.size) {
    const char c = static_cast<char>(f.data[f.at++]);
    buffer[n++] = c;
    if (c == '\n') break;
  }
  buffer[n] = 0;
  return buffer;
}

// The services record, given to the music host.
inline HostServices& Services() {
  static HostServices hs;
  static const bool filled = [] {
    HostServices_CopyDefaults(&hs);
    hs.fileOpen = Open;
    hs.fileClose = Close;
    hs.fileRead = Read;
    hs.fileSeek = Seek;
    hs.fileTell = Tell;
    hs.fileEof = Eof;
    hs.fileGets = Gets;
    return true;
  }();
  (void)filled;
  SoundsInitialize(&hs, nullptr);
  return hs;
}

// Makes the input the file of that name.
inline void Put(const char* name, const uint8_t* data, size_t size) {
  Services();
  MemoryFile& f = File();
  f.name = name;
  f.data = data;
  f.size = data ? size : 0;
  f.at = 0;
  f.open = false;
}

}  // namespace sounds_fuzz
