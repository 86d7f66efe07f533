// What the image-file fuzz targets give the general library: a services
// record whose files read the fuzz input from memory (every open for reading
// opens it, every file has its size) and whose writes go nowhere, so a file
// that loads can be written back by its format's writer.
#pragma once

#include <cstdint>
#include <cstring>

#include "std/std.h"
#include "std/stdBitmap.h"

namespace image_fuzz {

inline const uint8_t* g_data = nullptr;
inline size_t g_size = 0;
inline size_t g_pos = 0;

inline stdFile_t Open(const char*, const char* mode) {
  g_pos = 0;
  return mode && mode[0] == 'r' ? 1 : 2;
}
inline int Close(stdFile_t) {
  return 0;
}
inline size_t Read(stdFile_t file, void* buffer, size_t count) {
  if (file != 1) return 0;
  const size_t n = count < g_size - g_pos ? count : g_size - g_pos;
  if (n > 0) std::memcpy(buffer, g_data + g_pos, n);
  g_pos += n;
  return n;
}
inline size_t Write(stdFile_t, const void*, size_t count) {
  return count;
}
inline int64_t Tell(stdFile_t) {
  return static_cast<int64_t>(g_pos);
}
inline int Seek(stdFile_t file, int64_t offset, int origin) {
  if (file != 1) return 0;
  const int64_t base = origin == 1   ? static_cast<int64_t>(g_pos)
                       : origin == 2 ? static_cast<int64_t>(g_size)
                                     : 0;
  if (base + offset < 0 || base + offset > static_cast<int64_t>(g_size)) return -1;
  g_pos = static_cast<size_t>(base + offset);
  return 0;
}

inline int64_t Size(const char*) {
  return static_cast<int64_t>(g_size);
}

// Starts the general library on the in-memory files, once, and sets the input.
inline void Serve(const uint8_t* data, size_t size) {
  static HostServices hs;
  static bool ready = false;
  if (!ready) {
    HostServices_CopyDefaults(&hs);
    std_DefaultServices(&hs);
    hs.fileOpen = Open;
    hs.fileClose = Close;
    hs.fileRead = Read;
    hs.fileWrite = Write;
    hs.fileTell = Tell;
    hs.fileSeek = Seek;
    hs.fileSize = Size;
    std_Startup(&hs);
    ready = true;
  }
  g_data = data;
  g_size = data ? size : 0;
  g_pos = 0;
}

// Loads the input with load; a bitmap that loads is saved with save and freed.
template <class Load, class Save>
void LoadAndSave(const uint8_t* data, size_t size, Load load, Save save) {
  Serve(data, size);
  Bitmap* bitmap = load("fuzz");
  if (bitmap == nullptr) return;
  save("fuzz.out", bitmap);
  stdBitmap_Free(bitmap);
}

}  // namespace image_fuzz
