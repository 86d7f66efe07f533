// Fuzz target for the BM reader: the input is a BM file, read through a
// services record whose file operations serve the input from memory. A file
// that loads is written back; a small one is also unpacked, converted and
// packed again (packing tens of megabytes would only spend the campaign's
// time in the LZ coder, which has a target of its own).
#include <cstdint>
#include <cstring>

#include "std/stdBitmap.h"

namespace {

const uint8_t* g_data = nullptr;
size_t g_size = 0;
size_t g_pos = 0;

size_t MemRead(stdFile_t, void* buffer, size_t count) {
  const size_t n = count < g_size - g_pos ? count : g_size - g_pos;
  if (n > 0) std::memcpy(buffer, g_data + g_pos, n);
  g_pos += n;
  return n;
}

int64_t MemTell(stdFile_t) {
  return static_cast<int64_t>(g_pos);
}

int MemSeek(stdFile_t, int64_t offset, int origin) {
  const int64_t base = origin == 1   ? static_cast<int64_t>(g_pos)
                       : origin == 2 ? static_cast<int64_t>(g_size)
                                     : 0;
  if (base + offset < 0 || base + offset > static_cast<int64_t>(g_size)) return -1;
  g_pos = static_cast<size_t>(base + offset);
  return 0;
}

size_t SinkWrite(stdFile_t, const void*, size_t count) {
  return count;
}

HostServices* Services() {
  static HostServices hs;
  static bool ready = false;
  if (!ready) {
    HostServices_CopyDefaults(&hs);
    std_DefaultServices(&hs);
    hs.fileRead = MemRead;
    hs.fileTell = MemTell;
    hs.fileSeek = MemSeek;
    hs.fileWrite = SinkWrite;
    std_Startup(&hs);
    ready = true;
  }
  return &hs;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Services();
  g_data = data;
  g_size = data ? size : 0;
  g_pos = 0;
  Bitmap* bm = stdBitmap_LoadFromFile(1, 0, 0);
  if (bm == nullptr) return 0;
  stdBitmap_WriteFile(1, bm);
  int64_t decoded = 0;  // what unpacking would make
  for (int i = 0; i < bm->frameCount; ++i) {
    const DisplayBuffer* f = bm->frames[i];
    if (f) decoded += int64_t{f->format.width} * f->format.height * (bm->format.bitsPerPixel / 8);
  }
  if (decoded > (1 << 20)) {
    stdBitmap_Free(bm);
    return 0;
  }
  stdBitmap_UnpackFrames(bm);
  const ColorFormat k565 = {1, 16, 5, 6, 5, 11, 5, 0, 3, 2, 3, 0, 0, 0};
  if (bm->format.colorMode != 0 && bm->format.bitsPerPixel >= 16) {
    stdBitmap_ConvertFormat(&k565, bm);
  }
  stdBitmap_PackFrames(bm);
  stdBitmap_WriteFile(1, bm);
  stdBitmap_Free(bm);
  return 0;
}
