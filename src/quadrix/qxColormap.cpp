#include "quadrix/qxColormap.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/kv_Log.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxFileIO.h"
#include "std/stdColor.h"
#include "std/stdDevice3D.h"
#include "std/stdDisplay.h"

namespace {

constexpr int32_t kVersion = 30;
constexpr int kHeaderBytes = 64;
constexpr int kPaletteBytes = 768;
constexpr int kDevicePaletteLevel = 90;
const ColorFormat kFormat565 = {1, 16, 5, 6, 5, 11, 5, 0, 3, 2, 3, 0, 0, 0};
const ColorFormat kFormat555 = {1, 16, 5, 5, 5, 10, 5, 0, 3, 3, 3, 0, 0, 0};

// The display's pixel layout: that of its one video mode once a device is
// open, else the program's 5-6-5.
const ColorFormat& DisplayFormat() {
  const VideoMode* mode = stdDisplay_GetVideoMode(0);
  return mode ? mode->format.format : kFormat565;
}

// The 256-byte-aligned 8-bit tables.
uint8_t* AlignedTable(size_t bytes) {
  return static_cast<uint8_t*>(std::aligned_alloc(256, bytes));
}

// The nearest of palette entries 1 to 254.
uint8_t Nearest(const uint8_t* palette, float red, float green, float blue) {
  return static_cast<uint8_t>(stdColor_FindClosestIndex(palette + 3, 254, red, green, blue) + 1);
}

uint16_t Pack(const ColorFormat& f, int red, int green, int blue) {
  auto clamp = [](int v) { return v < 0 ? 0 : v > 255 ? 255 : v; };
  return static_cast<uint16_t>(((clamp(red) >> f.redLoss) << f.redShift) |
                               ((clamp(green) >> f.greenLoss) << f.greenShift) |
                               ((clamp(blue) >> f.blueLoss) << f.blueShift));
}

void PaletteToDevice(const qxColormap* colormap) {
  if (colormap && qxCore_accelLevel > 0) {
    stdDevice3D_SetPalette(colormap->palette, kDevicePaletteLevel);
  }
}

// Reads the file's header, palette and tables; false with the reason when the
// file is short or a table cannot be allocated.
bool ReadColormap(qxFileReader& in, qxColormap* cmap, bool* isColormap, const char** why) {
  uint8_t header[kHeaderBytes];
  *why = "the file is short";
  if (!in.Read(header, sizeof header)) return false;
  if (std::memcmp(header, "CMP ", 4) != 0) {
    *isColormap = false;
    return false;
  }
  cmap->flags = stdLE_GetU32(header + 8);
  for (int i = 0; i < 3; ++i) {
    cmap->headerValues[i] = std::bit_cast<float>(stdLE_GetU32(header + 12 + 4 * i));
  }
  if (!in.Read(cmap->palette, kPaletteBytes)) return false;
  for (int c = 0; c < 3; ++c) {
    uint8_t& v = cmap->palette[c];
    v = static_cast<uint8_t>(v < 0xF7 ? v + 8 : v - 8);
  }
  *why = "out of memory";
  if (cmap->flags & QXCOLORMAP_16BIT) {
    cmap->lightTable16 = static_cast<uint16_t*>(
        qxCore_Alloc(sizeof(uint16_t) * kColormapLightEntries, "qxColormap", __LINE__));
    if (!cmap->lightTable16) return false;
    qxColormap_Build16BitTables(cmap->lightTable16, cmap->palette, 0, 0, 0, &DisplayFormat());
  }
  if (cmap->flags & QXCOLORMAP_TRANSLUCENCY) {
    cmap->translucencyTable = AlignedTable(kColormapTableEntries);
    cmap->translucencyBlock = cmap->translucencyTable;
    if (!cmap->translucencyTable) return false;
    *why = "the file is short";
    if (!in.Read(cmap->translucencyTable, kColormapTableEntries)) return false;
    if (cmap->flags & QXCOLORMAP_16BIT) {
      cmap->inverseTable =
          static_cast<uint8_t*>(qxCore_Alloc(kColormapTableEntries, "qxColormap", __LINE__));
      if (!cmap->inverseTable) {
        *why = "out of memory";
        return false;
      }
      // The file holds the table for 5-6-5 pixels, then the one for 5-5-5.
      const bool fiveBitGreen = DisplayFormat().greenBits == 5;
      if (fiveBitGreen && !in.Skip(kColormapTableEntries)) return false;
      if (!in.Read(cmap->inverseTable, kColormapTableEntries)) return false;
      if (!fiveBitGreen && !in.Skip(kColormapTableEntries)) return false;
    }
  }
  return true;
}

}  // namespace

int qxColormap_LoadDefault(qxColormap* cmap) {
  qxCopyName(cmap->name, sizeof cmap->name, "GREYRAMP.CMP");
  cmap->flags = 0;
  for (float& v : cmap->headerValues) v = 1.0f;
  for (int i = 0; i < 256; ++i) {
    cmap->palette[3 * i] = cmap->palette[3 * i + 1] = cmap->palette[3 * i + 2] =
        static_cast<uint8_t>(i);
  }
  cmap->lightTable = AlignedTable(kColormapLightEntries);
  cmap->lightTableBlock = cmap->lightTable;
  if (!cmap->lightTable) return 0;
  for (int level = 0; level < kColormapLevels; ++level) {
    for (int i = 0; i < 256; ++i) {
      cmap->lightTable[level * 256 + i] = static_cast<uint8_t>((i * level) >> 6);
    }
  }
  return 1;
}

int qxColormap_LoadEntry(const char* path, qxColormap* cmap) {
  HostServices* hs = qxCore_pHS;
  if (!hs || !path) return 0;
  const stdFile_t file = hs->fileOpen(path, "rb");
  if (!file) return 0;
  if (hs->fileSetPrivate) hs->fileSetPrivate(file);
  qxCopyName(cmap->name, sizeof cmap->name, std_HostPathTail(path));
  qxFileReader in(hs, file);
  bool isColormap = true;
  const char* why = "";
  const bool ok = ReadColormap(in, cmap, &isColormap, &why);
  hs->fileClose(file);
  if (!ok) {
    if (isColormap) kv_Log_Printf("qxColormap: %s: %s; the grey default stands in", path, why);
    qxColormap_FreeEntry(cmap);
    qxColormap_LoadDefault(cmap);
  }
  return 1;
}

qxColormap* qxColormap_Load(const char* path) {
  auto* cmap = static_cast<qxColormap*>(qxCore_Alloc(sizeof(qxColormap), "qxColormap", __LINE__));
  if (!cmap) return nullptr;
  std::memset(static_cast<void*>(cmap), 0, sizeof *cmap);
  if (!qxColormap_LoadEntry(path, cmap)) {
    qxColormap_FreeEntry(cmap);
    qxCore_Free(cmap);
    return nullptr;
  }
  return cmap;
}

void qxColormap_FreeEntry(qxColormap* cmap) {
  if (!cmap) return;
  std::free(cmap->lightTableBlock);
  cmap->lightTableBlock = nullptr;
  cmap->lightTable = nullptr;
  std::free(cmap->translucencyBlock);
  cmap->translucencyBlock = nullptr;
  cmap->translucencyTable = nullptr;
  qxCore_Free(cmap->lightTable16);
  cmap->lightTable16 = nullptr;
  qxCore_Free(cmap->inverseTable);
  cmap->inverseTable = nullptr;
}

void qxColormap_Free(qxColormap* cmap) {
  if (!cmap) return;
  if (qxCore_pCurrentColormap == cmap) qxCore_pCurrentColormap = nullptr;
  if (qxCore_pDisplayColormap == cmap) qxCore_pDisplayColormap = nullptr;
  qxColormap_FreeEntry(cmap);
  qxCore_Free(cmap);
}

uint32_t qxColormap_GetMemorySize(const qxColormap* cmap) {
  uint32_t size = 848;
  if (cmap->lightTable) size += 16640;
  if (cmap->translucencyTable) size += 65792;
  if (cmap->lightTable16) size += 32768;
  if (cmap->inverseTable) size += 65536;
  return size;
}

int qxColormap_SetCurrent(qxColormap* cmap) {
  qxCore_pCurrentColormap = cmap;
  if (!qxCore_pDisplayColormap && cmap) {
    qxCore_pDisplayColormap = cmap;
    PaletteToDevice(cmap);
  }
  return 1;
}

int qxColormap_SetDisplayColormap(qxColormap* cmap) {
  if (cmap != qxCore_pDisplayColormap) {
    qxCore_pDisplayColormap = cmap;
    PaletteToDevice(cmap);
  }
  return 1;
}

int qxColormap_Build16BitTables(uint16_t* out, const uint8_t* palette, uint8_t red, uint8_t green,
                                uint8_t blue, const ColorFormat* format) {
  const uint8_t target[3] = {red, green, blue};
  for (int colour = 0; colour < 256; ++colour) {
    const uint8_t* p = palette + 3 * colour;
    if (colour < 8) {
      const uint16_t packed = Pack(*format, p[0], p[1], p[2]);
      for (int level = 0; level < kColormapLevels; ++level) out[level * 256 + colour] = packed;
      continue;
    }
    float v[3], step[3];
    for (int c = 0; c < 3; ++c) {
      v[c] = p[c];
      step[c] = static_cast<float>(target[c] - p[c]) * (1.0f / 64.0f);
    }
    for (int level = kColormapLevels - 1; level >= 0; --level) {
      int channel[3];
      for (int c = 0; c < 3; ++c) {
        v[c] += step[c];
        channel[c] = static_cast<int>(std::lround(v[c]));
      }
      out[level * 256 + colour] = Pack(*format, channel[0], channel[1], channel[2]);
    }
  }
  return 1;
}

int qxColormap_BuildFogRamp(uint8_t* out, const uint8_t* palette, uint8_t red, uint8_t green,
                            uint8_t blue) {
  const uint8_t target[3] = {red, green, blue};
  for (int colour = 0; colour < 256; ++colour) {
    if (colour < 8) {
      for (int level = 0; level < kColormapLevels; ++level) {
        out[level * 256 + colour] = static_cast<uint8_t>(colour);
      }
      continue;
    }
    const uint8_t* p = palette + 3 * colour;
    out[(kColormapLevels - 1) * 256 + colour] = static_cast<uint8_t>(colour);
    float v[3], step[3];
    for (int c = 0; c < 3; ++c) {
      v[c] = p[c];
      step[c] = static_cast<float>(target[c] - p[c]) / 63.0f;
    }
    for (int level = kColormapLevels - 2; level >= 0; --level) {
      for (int c = 0; c < 3; ++c) v[c] += step[c];
      out[level * 256 + colour] = Nearest(palette, v[0], v[1], v[2]);
    }
  }
  return 1;
}

int qxColormap_BuildInverseTable(uint8_t* out, const uint8_t* palette, const ColorFormat* f) {
  auto channel = [](uint32_t v, int shift, int bits, int loss) {
    return static_cast<float>(((v >> shift) & ((1u << bits) - 1)) << loss);
  };
  for (uint32_t v = 0; v < kColormapTableEntries; ++v) {
    out[v] = Nearest(palette, channel(v, f->redShift, f->redBits, f->redLoss),
                     channel(v, f->greenShift, f->greenBits, f->greenLoss),
                     channel(v, f->blueShift, f->blueBits, f->blueLoss));
  }
  return 1;
}

int qxColormap_BuildTranslucencyTable(uint8_t* out, const uint8_t* palette, float alpha) {
  for (int s = 0; s < 256; ++s) {
    const uint8_t* ps = palette + 3 * s;
    for (int d = 0; d < 256; ++d) {
      const uint8_t* pd = palette + 3 * d;
      float mix[3];
      for (int c = 0; c < 3; ++c) mix[c] = (1.0f - alpha) * pd[c] + alpha * ps[c];
      out[s * 256 + d] = Nearest(palette, mix[0], mix[1], mix[2]);
    }
  }
  return 1;
}

int qxColormap_Write(const char* path, const qxColormap* cmap) {
  HostServices* hs = qxCore_pHS;
  if (!hs || !path || !cmap) return 0;
  // Only the tables the colormap holds are announced.
  uint32_t flags = cmap->flags;
  if (!cmap->translucencyTable) flags &= ~uint32_t{QXCOLORMAP_TRANSLUCENCY};
  const bool inverse = (flags & QXCOLORMAP_TRANSLUCENCY) && (flags & QXCOLORMAP_16BIT);
  // The file holds inverse tables for both 16-bit layouts: the one held is
  // that of the display; the other is built.
  uint8_t* tables[2] = {nullptr, nullptr};
  if (inverse) {
    const bool heldIs555 = DisplayFormat().greenBits == 5;
    for (int i = 0; i < 2; ++i) {
      const bool is555 = i == 1;
      if (cmap->inverseTable && is555 == heldIs555) continue;
      tables[i] =
          static_cast<uint8_t*>(qxCore_Alloc(kColormapTableEntries, "qxColormap", __LINE__));
      if (!tables[i]) {
        qxCore_Free(tables[0]);
        return 0;
      }
      qxColormap_BuildInverseTable(tables[i], cmap->palette, is555 ? &kFormat555 : &kFormat565);
    }
  }
  const stdFile_t file = hs->fileOpen(path, "wb+");
  if (!file) {
    qxCore_Free(tables[0]);
    qxCore_Free(tables[1]);
    return 0;
  }
  qxFileWriter out(hs, file);
  out.Write("CMP ", 4);
  out.I32(kVersion);
  out.U32(flags);
  out.Words(cmap->headerValues, 3);
  out.Zero(40);
  out.Write(cmap->palette, kPaletteBytes);
  if (flags & QXCOLORMAP_TRANSLUCENCY) out.Write(cmap->translucencyTable, kColormapTableEntries);
  for (int i = 0; inverse && i < 2; ++i) {
    out.Write(tables[i] ? tables[i] : cmap->inverseTable, kColormapTableEntries);
  }
  hs->fileClose(file);
  qxCore_Free(tables[0]);
  qxCore_Free(tables[1]);
  return out.failed ? 0 : 1;
}
