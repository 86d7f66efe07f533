#include "quadrix/qxMaterial.h"

#include <cstring>

#include "platform/kv_Log.h"
#include "platform/kv_RenderHooks.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxFileIO.h"

namespace {

qxMaterialLoaderFn g_loader = nullptr;
qxMaterialUnloaderFn g_unloader = nullptr;

constexpr int32_t kVersion = 50;
constexpr int kCelBytes = 24;
constexpr int kTextureBytes = 24;
constexpr int kPaletteBytes = 768;

bool IsPowerOfTwo(int32_t n) {
  return n > 0 && (n & (n - 1)) == 0;
}

bool ReadColorFormat(qxFileReader& in, ColorFormat* f) {
  int32_t v[14];
  if (!in.Words(v, 14)) return false;
  *f = {v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9], v[10], v[11], v[12], v[13]};
  return true;
}

struct Reading {
  qxFileReader& in;
  qxMaterial* m;
  const char* path;
  int a, b;
  int textureIndexOfCel[kMaterialMaxCels];
  int celOfTexture[kMaterialMaxTextureIndex];
};

bool ReadCels(Reading& r, const char** why) {
  qxMaterial* m = r.m;
  for (uint32_t c = 0; c < m->celCount; ++c) {
    auto* cel =
        static_cast<qxMaterialCel*>(qxCore_Alloc(sizeof(qxMaterialCel), "qxMaterial", __LINE__));
    if (!cel) {
      *why = "out of memory";
      return false;
    }
    std::memset(static_cast<void*>(cel), 0, sizeof *cel);
    m->cels[c] = cel;
    r.textureIndexOfCel[c] = -1;
    if (!r.in.U32(&cel->flags) || !r.in.I32(&cel->colour) || !r.in.Words(cel->values, 4)) {
      return false;
    }
    if (!(cel->flags & QXMATERIAL_CEL_TEXTURED)) continue;
    int32_t ignored[2], index;
    if (!r.in.I32(&cel->textureValue) || !r.in.Words(ignored, 2) || !r.in.I32(&index)) {
      return false;
    }
    if (index < 0 || index >= kMaterialMaxTextureIndex ||
        static_cast<uint32_t>(index) >= m->textureCount) {
      *why = "a cel names a texture that is not there";
      return false;
    }
    r.textureIndexOfCel[c] = index;
    r.celOfTexture[index] = static_cast<int>(c);
  }
  return true;
}

bool ReadTexture(Reading& r, uint32_t t, const char** why) {
  qxMaterial* m = r.m;
  qxMaterialTexture& tex = m->textures[t];
  int32_t width, height, mips;
  if (!r.in.I32(&width) || !r.in.I32(&height) || !r.in.U32(&tex.flags) || !r.in.I32(&tex.value) ||
      !r.in.U32(&tex.colorKey) || !r.in.I32(&mips)) {
    return false;
  }
  if (mips < 0 || mips > kMaterialMaxMips) {
    *why = "more than 4 mip levels";
    return false;
  }
  if (!IsPowerOfTwo(width) || !IsPowerOfTwo(height) ||
      (mips > 0 && ((width >> (mips - 1)) == 0 || (height >> (mips - 1)) == 0))) {
    *why = "a texture side is not a power of two or halves to 0";
    return false;
  }
  tex.log2Width = std_Log2(width);
  tex.widthMask = width - 1;
  tex.heightMask = height - 1;
  tex.mipCount = static_cast<uint32_t>(mips);
  const int64_t bytesPerPixel = m->format.bitsPerPixel / 8;
  for (int k = 0; k < mips; ++k) {
    if (!r.in.Fits(static_cast<int64_t>(width) * height, bytesPerPixel)) {
      *why = "a mip level is larger than the rest of the file";
      return false;
    }
    BufferFormat format{};
    format.width = width;
    format.height = height;
    format.format = m->format;
    DisplayBuffer* level = stdDisplay_NewBuffer(&format, r.a, r.b, nullptr);
    if (!level) {
      *why = "a mip level could not be made";
      return false;
    }
    tex.mipLevels[k] = level;
    if (tex.flags & QXMATERIAL_TEXTURE_COLORKEY) stdDisplay_SetBufferColorKey(level, tex.colorKey);
    stdDisplay_LockBuffer(level);
    const bool read = r.in.Read(level->pixels, static_cast<size_t>(level->format.byteSize));
    stdDisplay_UnlockBuffer(level);
    if (!read) return false;
    width >>= 1;
    height >>= 1;
  }
  // The hardware renderer may replace the texture.
  if (mips > 0) kv_RenderHooks_MaterialLoaded(tex.mipLevels[0]->pixels, r.path, r.celOfTexture[t]);
  return true;
}

bool ReadMaterial(Reading& r, const char** why) {
  qxMaterial* m = r.m;
  *why = "the file is short";
  char magic[4];
  int32_t version;
  if (!r.in.Read(magic, 4) || !r.in.I32(&version)) return false;
  if (std::memcmp(magic, "MAT ", 4) != 0 || version != kVersion) {
    *why = "not a version 50 MAT file";
    return false;
  }
  if (!r.in.U32(&m->flags) || !r.in.U32(&m->celCount) || !r.in.U32(&m->textureCount) ||
      !ReadColorFormat(r.in, &m->format)) {
    return false;
  }
  m->currentCel = 0;
  if (m->celCount > kMaterialMaxCels) {
    *why = "more than 16 cels";
    return false;
  }
  if (!r.in.Fits(m->celCount, kCelBytes) || !r.in.Fits(m->textureCount, kTextureBytes)) {
    return false;
  }
  const int bpp = m->format.bitsPerPixel;
  if (m->textureCount > 0 && (bpp <= 0 || bpp > 32 || bpp % 8 != 0)) {
    *why = "the texture pixels have no usable size";
    return false;
  }
  for (int& c : r.celOfTexture) c = -1;  // a texture no cel shows
  if (!ReadCels(r, why)) return false;
  if (m->textureCount > 0) {
    const size_t bytes = sizeof(qxMaterialTexture) * m->textureCount;
    m->textures = static_cast<qxMaterialTexture*>(qxCore_Alloc(bytes, "qxMaterial", __LINE__));
    if (!m->textures) {
      *why = "out of memory";
      return false;
    }
    std::memset(static_cast<void*>(m->textures), 0, bytes);
    for (uint32_t t = 0; t < m->textureCount; ++t) {
      if (!ReadTexture(r, t, why)) return false;
    }
  }
  for (uint32_t c = 0; c < m->celCount; ++c) {
    if (r.textureIndexOfCel[c] >= 0) m->cels[c]->texture = &m->textures[r.textureIndexOfCel[c]];
  }
  if ((m->flags & QXMATERIAL_PALETTE) && !r.in.Skip(kPaletteBytes)) return false;
  return true;
}

}  // namespace

qxMaterialLoaderFn qxMaterial_SetLoader(qxMaterialLoaderFn hook) {
  const qxMaterialLoaderFn previous = g_loader;
  g_loader = hook;
  return previous;
}

qxMaterialUnloaderFn qxMaterial_SetUnloader(qxMaterialUnloaderFn hook) {
  const qxMaterialUnloaderFn previous = g_unloader;
  g_unloader = hook;
  return previous;
}

int qxMaterial_LoadEntry(const char* path, qxMaterial* material, int a, int b) {
  std::memset(static_cast<void*>(material), 0, sizeof *material);
  HostServices* hs = qxCore_pHS;
  if (!hs || !path) return 0;
  const stdFile_t file = hs->fileOpen(path, "rb");
  if (!file) return 0;
  if (hs->fileSetPrivate) hs->fileSetPrivate(file);
  qxFileReader in(hs, file);
  Reading r{in, material, path, a, b, {}, {}};
  const char* why = "";
  const bool ok = ReadMaterial(r, &why);
  hs->fileClose(file);
  if (!ok) {
    kv_Log_Printf("qxMaterial: %s: %s", path, why);
    return 0;
  }
  qxCopyName(material->name, sizeof material->name, std_HostPathTail(path));
  return 1;
}

void qxMaterial_FreeEntry(qxMaterial* material) {
  if (!material) return;
  for (qxMaterialCel*& cel : material->cels) {
    qxCore_Free(cel);
    cel = nullptr;
  }
  if (material->textures) {
    for (uint32_t t = 0; t < material->textureCount; ++t) {
      for (DisplayBuffer*& level : material->textures[t].mipLevels) {
        stdDisplay_FreeBuffer(level);  // tells the render hooks
        level = nullptr;
      }
    }
    qxCore_Free(material->textures);
    material->textures = nullptr;
  }
  material->celCount = 0;
  material->textureCount = 0;
}

void qxMaterial_Free(qxMaterial* material) {
  if (!material) return;
  if (g_unloader) {
    g_unloader(material);
    return;
  }
  qxMaterial_FreeEntry(material);
  kv_RenderHooks_SurfaceFreed(material);
  qxCore_Free(material);
}

qxMaterial* qxMaterial_Load(const char* name, int a, int b) {
  if (g_loader) return g_loader(name, a, b);
  auto* material =
      static_cast<qxMaterial*>(qxCore_Alloc(sizeof(qxMaterial), "qxMaterial", __LINE__));
  if (!material) return nullptr;
  if (!qxMaterial_LoadEntry(name, material, a, b)) {
    qxMaterial_Free(material);
    return nullptr;
  }
  return material;
}

int qxMaterial_PrepareDeviceTexture(qxMaterialTexture* texture, int mipLevel, int slot) {
  if (!texture || mipLevel < 0 || static_cast<uint32_t>(mipLevel) >= texture->mipCount ||
      mipLevel >= kMaterialMaxMips || !texture->mipLevels[mipLevel]) {
    return 0;
  }
  qxMaterialDeviceSlot& device = texture->deviceSlots[mipLevel][slot ? 1 : 0];
  if (device.loaded) {
    stdDevice3D_TouchTexture(&device.texture);
    return 1;
  }
  DisplayBuffer* level = texture->mipLevels[mipLevel];
  if (!stdDisplay_LockBuffer(level)) return 0;
  const int keyed = (texture->flags & QXMATERIAL_TEXTURE_COLORKEY) ? 1 : 0;
  const int uploaded = stdDevice3D_UploadTexture(&device.texture, level->pixels, keyed, mipLevel);
  stdDisplay_UnlockBuffer(level);
  if (uploaded) device.loaded = 1;
  return uploaded ? 1 : 0;
}

void qxMaterial_ResetDeviceTextures(qxMaterial* material) {
  if (!material || !material->textures) return;
  for (uint32_t t = 0; t < material->textureCount; ++t) {
    std::memset(static_cast<void*>(material->textures[t].deviceSlots), 0,
                sizeof material->textures[t].deviceSlots);
  }
}

int qxMaterial_Write(const char* path, const qxMaterial* m) {
  HostServices* hs = qxCore_pHS;
  if (!hs || !path || !m || m->celCount > kMaterialMaxCels) return 0;
  for (uint32_t c = 0; c < m->celCount; ++c) {
    const qxMaterialCel* cel = m->cels[c];
    if (!cel || ((cel->flags & QXMATERIAL_CEL_TEXTURED) &&
                 (!cel->texture || !m->textures || cel->texture < m->textures ||
                  cel->texture >= m->textures + m->textureCount))) {
      kv_Log_Printf("qxMaterial_Write: %s: cel %u has no texture of the material", path, c);
      return 0;
    }
  }
  const stdFile_t file = hs->fileOpen(path, "wb+");
  if (!file) return 0;
  qxFileWriter out(hs, file);
  const ColorFormat& f = m->format;
  const int32_t format[14] = {f.colorMode, f.bitsPerPixel, f.redBits,    f.greenBits, f.blueBits,
                              f.redShift,  f.greenShift,   f.blueShift,  f.redLoss,   f.greenLoss,
                              f.blueLoss,  f.alphaBits,    f.alphaShift, f.alphaLoss};
  const uint32_t textureCount = m->textures ? m->textureCount : 0;
  out.Write("MAT ", 4);
  out.I32(kVersion);
  out.U32(m->flags & ~uint32_t{QXMATERIAL_PALETTE});  // the record keeps no palette
  out.U32(m->celCount);
  out.U32(textureCount);
  out.Words(format, 14);
  for (uint32_t c = 0; c < m->celCount; ++c) {
    const qxMaterialCel* cel = m->cels[c];
    out.U32(cel->flags);
    out.I32(cel->colour);
    out.Words(cel->values, 4);
    if (cel->flags & QXMATERIAL_CEL_TEXTURED) {
      out.I32(cel->textureValue);
      out.Zero(8);
      out.I32(static_cast<int32_t>(cel->texture - m->textures));
    }
  }
  for (uint32_t t = 0; t < textureCount; ++t) {
    const qxMaterialTexture& tex = m->textures[t];
    const DisplayBuffer* level0 = tex.mipLevels[0];
    out.I32(level0 ? level0->format.width : tex.widthMask + 1);
    out.I32(level0 ? level0->format.height : tex.heightMask + 1);
    out.U32(tex.flags);
    out.I32(tex.value);
    out.U32(tex.colorKey);
    const uint32_t mips = tex.mipCount > kMaterialMaxMips ? kMaterialMaxMips : tex.mipCount;
    out.U32(mips);
    for (uint32_t k = 0; k < mips; ++k) {
      DisplayBuffer* level = tex.mipLevels[k];
      if (!level || !stdDisplay_LockBuffer(level)) {
        out.failed = true;
        break;
      }
      out.Write(level->pixels, static_cast<size_t>(level->format.byteSize));
      stdDisplay_UnlockBuffer(level);
    }
  }
  hs->fileClose(file);
  return out.failed ? 0 : 1;
}
