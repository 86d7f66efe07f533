// Fuzz target for the BM reader: the input is a BM file, read through a
// services record whose file operations serve the input from memory. A file
// that loads is written back; a small one is also unpacked, converted and
// packed again (packing tens of megabytes would only spend the campaign's
// time in the LZ coder, which has a target of its own).
#include <cstdint>

#include "image_fuzz_host.h"
#include "std/stdBitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  image_fuzz::Serve(data, size);
  // Handle 1 is the input (what the host's open for reading answers).
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
