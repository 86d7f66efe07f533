// Image files and texture containers to surfaces of the render context.
//
// LoadImageSurface reads one image file (PNG and whatever else stb_image
// decodes) into an RGBA surface (format 4). LoadMcbTexture reads a ".mcb"
// texture container, little-endian:
//
//   16-byte header: three words not read, the record count n (also the mip
//   level count of a surface built from image records);
//   n records: a word not read, the kind, the payload size, the payload.
//   Kind 0: an image file, one mip level, level 0 first, each exactly the
//   size of its level (width >> k by height >> k, at least 1); kind 2: a DDS
//   file with DXT1, DXT3 or DXT5 levels; other kinds are skipped.
//
// Counts and sizes are checked against the file; a level of the wrong size
// or an image that does not decode fails the whole container (null, with
// one log line, and no surface left behind). Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>

struct kvSurface;

kvSurface* LoadImageSurface(const char* path);
// Each colour byte becomes c x alpha / 255 (remainder dropped); answers the
// unlock's result (1), or 0 when the surface cannot be locked.
int PremultiplyAlpha(kvSurface* surface);
// Null for the name "dflt.mat.0.mcb", a name whose extension is not exactly
// ".mcb", a missing file or a container without a usable record.
kvSurface* LoadMcbTexture(const char* path);
// True when data (at least 128 bytes) is a DDS file ("DDS ", header size
// 124) whose pixel format is DXT1, DXT3 or DXT5 (format index 0, 1, 2).
// Outputs are optional; a mip count of 0 is given as 1, the data pointer is
// data + 128.
bool ParseDdsHeader(const uint8_t* data, int* width, int* height, int* mipCount, int* formatIndex,
                    const uint8_t** pixelData, int* headerSize);
