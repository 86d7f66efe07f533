// Materials: how faces and sprites are coloured.
//
// A material is a list of up to 16 cels (the animation frames of a surface),
// each a flat palette colour or a texture, and the textures themselves as
// chains of up to 4 mip levels held in display buffers. Model faces and
// sprites name a material and a cel. Materials are read from "MAT " files
// (version 50) and load by name through replaceable loader and unloader hooks;
// the engine installs its own, so that materials come from the resource
// manager and are shared.
//
// The reader trusts nothing in the file: more than 16 cels, more than 4 mip
// levels, a texture index of 256 or more or without a texture, texture sides
// that are not powers of two or that halve to 0 within the mip count, and a
// short file all fail the load with one log line. Main thread only.
#pragma once

#include <cstdint>

#include "std/stdDevice3D.h"
#include "std/stdDisplay.h"

struct qxMaterialTexture;

enum : uint32_t {
  QXMATERIAL_PALETTE = 0x1,   // the file carries a palette (read past, not kept)
  QXMATERIAL_TEXTURED = 0x2,  // faces using it carry texture-vertex indices
  QXMATERIAL_HARDWARE = 0x4,  // passed to the hardware renderer with the texture query
};

enum : uint32_t {
  QXMATERIAL_CEL_TEXTURED = 0x8,
};

enum : uint32_t {
  QXMATERIAL_TEXTURE_COLORKEY = 0x1,  // texels equal to the colour key are transparent
};

constexpr int kMaterialMaxCels = 16;
constexpr int kMaterialMaxMips = 4;
constexpr int kMaterialMaxTextureIndex = 256;  // texture indices of cels are below this

struct qxMaterialCel {
  uint32_t flags;              // QXMATERIAL_CEL_TEXTURED
  int32_t colour;              // palette index of the flat colour (untextured cels)
  float values[4];             // carried from the file
  int32_t textureValue;        // the first word of the cel's texture header
  qxMaterialTexture* texture;  // the cel's texture, null for an untextured cel
};

// A mip level's texture on the accelerated 3D device: the device cache's
// record and whether the level was uploaded into it.
struct qxMaterialDeviceSlot {
  stdDevice3DTexture texture;
  int32_t loaded;
};

struct qxMaterialTexture {
  uint32_t flags;  // QXMATERIAL_TEXTURE_COLORKEY
  int32_t value;   // carried from the file
  uint32_t colorKey;
  int32_t log2Width;
  int32_t widthMask;                                      // width - 1
  int32_t heightMask;                                     // height - 1
  uint32_t mipCount;                                      // at most 4
  DisplayBuffer* mipLevels[kMaterialMaxMips];             // level k is (width >> k) x (height >> k)
  qxMaterialDeviceSlot deviceSlots[kMaterialMaxMips][2];  // cleared on load
};

struct qxMaterial {
  uint32_t flags;      // QXMATERIAL_*
  char name[32];       // the file name part of the path it was read from
  int32_t useCount;    // raised and lowered by the engine's material hooks
  ColorFormat format;  // of the texture pixels
  uint32_t celCount;   // at most 16
  int32_t currentCel;  // the cel used for cel -1
  qxMaterialCel* cels[kMaterialMaxCels];
  uint32_t textureCount;
  qxMaterialTexture* textures;  // owned array
};

using qxMaterialLoaderFn = qxMaterial* (*)(const char* name, int a, int b);
using qxMaterialUnloaderFn = void (*)(qxMaterial* material);

// Through the loader hook when installed (its result as is); otherwise a new
// record read with LoadEntry, null (and nothing kept) on failure. The two
// values go to the display-buffer constructor of every mip level.
qxMaterial* qxMaterial_Load(const char* name, int a, int b);
// Reads a MAT file into the record; 1 / 0. What a failed read built stays in
// the record for the caller to release with FreeEntry.
int qxMaterial_LoadEntry(const char* path, qxMaterial* material, int a, int b);
// Frees the cels, the mip levels and the texture array (not the record).
void qxMaterial_FreeEntry(qxMaterial* material);
// Through the unloader hook when installed; otherwise FreeEntry, the render
// hooks are told the record is gone, and the record is freed. Null is ignored.
void qxMaterial_Free(qxMaterial* material);
qxMaterialLoaderFn qxMaterial_SetLoader(qxMaterialLoaderFn hook);
qxMaterialUnloaderFn qxMaterial_SetUnloader(qxMaterialUnloaderFn hook);
// The accelerated path (the face cache's batch flush): uploads the mip level
// into slot 0 or 1 when that slot holds nothing yet and answers whether the
// upload worked; a loaded slot is marked used in the device cache and 1
// answered. The device layer uploads nothing, so no slot is ever loaded.
int qxMaterial_PrepareDeviceTexture(qxMaterialTexture* texture, int mipLevel, int slot);
// Clears every mip level's device slots.
void qxMaterial_ResetDeviceTextures(qxMaterial* material);
// Writes a MAT file (no palette); 1 / 0.
int qxMaterial_Write(const char* path, const qxMaterial* material);
