// The bitmap fixture of the costume tests and the costume fuzz target: a BM
// file with a palette and the given frames of 8 x 4 8-bit pixels (frame i
// filled with i + 1).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "std/std.h"
#include "std/stdBitmap.h"
#include "std/stdDisplay.h"

inline bool CostumeBitmap_Write(const std::string& path, int frames) {
  const ColorFormat k8 = {0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  auto* palette = static_cast<uint8_t*>(std_pHS->memAlloc(768, __FILE__, __LINE__));
  std::memset(palette, 0x40, 768);
  Bitmap* bitmap = stdBitmap_New(frames, palette, STDBITMAP_RAW, STDBITMAP_PALETTE, &k8);
  for (int i = 0; i < frames; ++i) {
    BufferFormat f{};
    f.width = 8;
    f.height = 4;
    f.format = k8;
    DisplayBuffer* frame = stdDisplay_NewBuffer(&f, 0, 0, nullptr);
    std::memset(frame->pixels, i + 1, 32);
    stdBitmap_SetFrame(bitmap, i, frame);
  }
  const bool written = stdBitmap_Save(path.c_str(), bitmap) == 1;
  stdBitmap_Free(bitmap);
  return written;
}
