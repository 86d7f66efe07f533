// Colormaps: a 256-colour palette and the lookup tables that the software
// rasterizers use to light and blend palette-indexed texels.
//
// The tables: a 16-bit light table (64 light levels x 256 colours of display
// pixels), a translucency table (256 x 256 palette indices), an inverse table
// (a palette index for every 16-bit display pixel) and, for the built-in grey
// default, an 8-bit light table. The 8-bit tables are aligned to 256 bytes,
// so that a rasterizer forms an address by putting the level or the source
// colour in the high byte. Colormaps are read from "CMP " files; a file
// without the magic, a short file or a failed allocation gives the grey
// default "GREYRAMP.CMP" in its place (logged).
//
// One colormap is current (its tables light the faces queued from now on);
// the first colormap ever made current also becomes the display colormap,
// whose translucency table the translucent rasterizers use. Freeing a
// colormap clears either pointer that names it. Main thread only.
#pragma once

#include <cstdint>

struct ColorFormat;

enum : uint32_t {
  QXCOLORMAP_TRANSLUCENCY = 0x1,  // a translucency table (and, with bit 2, an inverse table)
  QXCOLORMAP_16BIT = 0x4,         // 16-bit tables
};

constexpr int kColormapLevels = 64;
constexpr int kColormapLightEntries = kColormapLevels * 256;  // level x 256 + colour
constexpr int kColormapTableEntries = 65536;

struct qxColormap {
  char name[32];  // the file name without directories
  uint32_t flags;
  float headerValues[3];  // carried from the file; 1.0 in the default
  uint8_t palette[768];
  uint8_t* lightTable;  // 64 x 256 palette indices; only the default has one
  void* lightTableBlock;
  uint8_t* translucencyTable;  // source colour x 256 + destination colour
  void* translucencyBlock;
  uint16_t* lightTable16;  // 64 x 256 display pixels
  uint8_t* inverseTable;   // a palette index per 16-bit display pixel
};

// A new colormap read from the file; null when the file does not open.
qxColormap* qxColormap_Load(const char* path);
// 0 only when the file cannot be opened, else 1 (a bad file gives the default).
int qxColormap_LoadEntry(const char* path, qxColormap* colormap);
// The grey default; 0 when its allocation fails.
int qxColormap_LoadDefault(qxColormap* colormap);
// Frees the tables (pointers set to null).
void qxColormap_FreeEntry(qxColormap* colormap);
// Frees the tables and the record; clears the current and display colormaps
// when they name it. Null is ignored.
void qxColormap_Free(qxColormap* colormap);
// Bytes held, by the resource budget's figures.
uint32_t qxColormap_GetMemorySize(const qxColormap* colormap);
// Makes it current (null allowed); the first one ever also becomes the display colormap.
int qxColormap_SetCurrent(qxColormap* colormap);
int qxColormap_SetDisplayColormap(qxColormap* colormap);
// Writes a "CMP " file in the reader's layout; 1 / 0.
int qxColormap_Write(const char* path, const qxColormap* colormap);

// Table builders. Nearest colours are taken over palette entries 1 to 254.
// A 16-bit light table fading each colour from 8 up to the target over the
// 64 levels (level 0 is the target); colours 0 to 7 stay as they are.
int qxColormap_Build16BitTables(uint16_t* out, const uint8_t* palette, uint8_t red, uint8_t green,
                                uint8_t blue, const ColorFormat* format);
// An 8-bit light table fading to the target colour.
int qxColormap_BuildFogRamp(uint8_t* out, const uint8_t* palette, uint8_t red, uint8_t green,
                            uint8_t blue);
int qxColormap_BuildInverseTable(uint8_t* out, const uint8_t* palette, const ColorFormat* format);
// Entry [s x 256 + d] = nearest colour to (1 - alpha) P[d] + alpha P[s].
int qxColormap_BuildTranslucencyTable(uint8_t* out, const uint8_t* palette, float alpha);
