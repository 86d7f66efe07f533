// The deferred back end's caches of GPU copies of engine memory: converted
// textures keyed by pixel address (with palette variants), vertex buffers per
// mesh and (material, cel), and ".mcb" replacement textures per material
// texture. The engine keeps them right through the SurfaceChanged and
// SurfaceFreed hooks; nothing is evicted for size or age. The DrawMesh hook
// splits a mesh into cached submeshes here.
#include <cstring>
#include <map>
#include <utility>
#include <vector>

#include "gfx/kv_Buffer.h"
#include "gfx/kv_ImageFile.h"
#include "gfx/kv_RenderContext.h"
#include "gfx/kv_Surface.h"
#include "platform/kv_Log.h"
#include "platform/kv_Platform.h"
#include "platform/kv_RenderHooks.h"
#include "quadrix/qxFace.h"
#include "quadrix/qxModel3_Draw.h"
#include "render/Deferred.h"
#include "std/stdDisplay.h"

// The submeshes of one mesh, ordered by material address, then cel.
struct SubmeshSet {
  std::map<std::pair<uintptr_t, int>, SubmeshEntry*> entries;
};

namespace {

// Pairs of (material, cel) a mesh is split into at most.
constexpr int kMaxSubmeshes = 32;
constexpr size_t kPaletteBytes = 768;

struct Caches {
  std::map<uintptr_t, TextureCacheEntry*> textures;
  std::map<uintptr_t, SubmeshSet*> submeshes;
  std::map<uintptr_t, ReplacementTexture*> replacements;
  // One-entry memos in front of the texture and submesh maps.
  uintptr_t textureMemoKey = 0;
  TextureCacheEntry* textureMemo = nullptr;
  uintptr_t submeshMemoKey = 0;
  SubmeshSet* submeshMemo = nullptr;
};

Caches& C(void) {
  static Caches* caches = new Caches();
  return *caches;
}

template <class T>
uintptr_t Key(const T* pointer) {
  return reinterpret_cast<uintptr_t>(pointer);
}

// The surface format for a bits-per-pixel code: raw 16-bit pixels, one
// float per depth value, else four bytes of blue, green, red and alpha.
uint32_t SurfaceFormat(uint32_t bitsPerPixel) {
  if (bitsPerPixel == 16) return kvFormat_U16x1;
  if (bitsPerPixel > TextureCache_DepthCode) return kvFormat_Fx1;
  return kvFormat_8x4;
}

// Writes the entry's pixels into one of its surfaces with the entry's colour key.
void Convert(const TextureCacheEntry& entry, kvSurface* surface, const uint8_t* palette) {
  if (!surface) return;
  const void* pixels = reinterpret_cast<const void*>(entry.key);
  int sourceFormat = 8;
  if (entry.bitsPerPixel == 16) sourceFormat = Deferred_Source565;
  if (entry.bitsPerPixel > TextureCache_DepthCode) sourceFormat = Deferred_SourceDepth;
  Deferred_UploadPixels(surface, pixels, static_cast<int>(entry.width),
                        static_cast<int>(entry.height), sourceFormat, palette,
                        static_cast<int>(entry.keyEnable), entry.keyValue,
                        static_cast<int>(entry.raw16));
}

void ForgetTextureMemo(uintptr_t key) {
  Caches& c = C();
  if (c.textureMemoKey == key) {
    c.textureMemoKey = 0;
    c.textureMemo = nullptr;
  }
}

void ForgetSubmeshMemo(uintptr_t key) {
  Caches& c = C();
  if (c.submeshMemoKey == key) {
    c.submeshMemoKey = 0;
    c.submeshMemo = nullptr;
  }
}

// A known pixel source is converted again: into a palette variant once the
// primary surface has been drawn (a draw record of this frame may still
// read it) or when another palette's conversion is current in it.
kvSurface* Validate(TextureCacheEntry* e, const uint8_t* palette, bool paletteChanged,
                    uint32_t keyEnable, uint32_t keyValue, int allocFlag) {
  ProfileScope scope("ValidateTexture");
  kvSurface* primary = e->surface;
  const bool reuse = paletteChanged && kv_Surface_IsModified(primary);
  e->keyEnable = keyEnable;
  e->keyValue = keyValue;
  if (!kv_Surface_WasBound(primary) && !reuse) {
    e->palette = palette;
    Convert(*e, primary, palette);
    return primary;
  }
  int slot = TextureCacheEntry_VariantCount - 1;
  for (int i = 0; i < TextureCacheEntry_VariantCount - 1; ++i) {
    if (!e->variantPalettes[i] || e->variantPalettes[i] == palette) {
      slot = i;
      break;
    }
  }
  kvSurface*& variant = e->variants[slot];
  if (!variant) {
    int width = 0, height = 0;
    uint32_t format = 0;
    kv_Surface_GetInfo(primary, &width, &height, &format);
    variant = kv_Surface_Allocate(width, height, format, allocFlag);
    e->variantPalettes[slot] = palette;
    Convert(*e, variant, palette);
    return variant;
  }
  if (!reuse) Convert(*e, variant, palette);
  return variant;
}

}  // namespace

// Texture cache -----------------------------------------------------------------------------

bool TextureCache_Query(uintptr_t key, TextureCacheEntry** entry) {
  Caches& c = C();
  if (entry) *entry = nullptr;
  if (key == 0) return false;
  if (key == c.textureMemoKey) {
    if (entry) *entry = c.textureMemo;
    return true;
  }
  ProfileScope scope("QueryTextureCache");
  const auto it = c.textures.find(key);
  if (it == c.textures.end()) return false;
  c.textureMemoKey = key;
  c.textureMemo = it->second;
  if (entry) *entry = it->second;
  return true;
}

kvSurface* TextureCache_Get(uintptr_t key, uint32_t width, uint32_t height, uint32_t bitsPerPixel,
                            const uint8_t* palette, uint32_t keyEnable, uint32_t keyValue,
                            int forceReconvert, uint32_t extraWord, int allocFlag) {
  ProfileScope scope("GetCachedTexture");
  Caches& c = C();
  if (key == 0) return nullptr;
  // Replacement textures win over everything else.
  if (!c.replacements.empty()) {
    ProfileScope replacements("ReplacementTextures");
    const auto it = c.replacements.find(key);
    if (it != c.replacements.end()) return it->second->surface;
  }

  TextureCacheEntry* e = nullptr;
  if (TextureCache_Query(key, &e)) {
    kvSurface* primary = e->surface;
    if (!primary) return nullptr;  // its surface could not be made
    const bool paletteChanged = e->palette != palette;
    const bool keyChanged = !e->raw16 && (e->keyEnable != keyEnable || e->keyValue != keyValue);
    if (keyChanged || forceReconvert) kv_Surface_ClearModified(primary);
    if (kv_Surface_IsModified(primary) && !paletteChanged) return primary;
    return Validate(e, palette, paletteChanged, keyEnable, keyValue, allocFlag);
  }

  auto* entry = static_cast<TextureCacheEntry*>(kv_Platform_Alloc(0, sizeof(TextureCacheEntry)));
  if (!entry) {
    kv_Log_Printf("[Deferred] - out of memory for a texture cache entry");
    return nullptr;
  }
  std::memset(entry, 0, sizeof *entry);
  entry->key = key;
  entry->palette = palette;
  const uint64_t bits = static_cast<uint64_t>(width) * height * (bitsPerPixel & 0xFFFF) / 8;
  entry->byteSize = bits > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(bits);
  entry->width = width;
  entry->height = height;
  entry->bitsPerPixel = bitsPerPixel;
  entry->keyEnable = keyEnable;
  entry->keyValue = keyValue;
  entry->raw16 = bitsPerPixel == 16 ? 1 : 0;
  entry->extraWord = extraWord;
  if (width > 0 && height > 0) {
    entry->surface = kv_Surface_Allocate(static_cast<int>(width), static_cast<int>(height),
                                         SurfaceFormat(bitsPerPixel), allocFlag);
  }
  Convert(*entry, entry->surface, palette);
  c.textures[key] = entry;
  c.textureMemoKey = key;
  c.textureMemo = entry;
  return entry->surface;
}

namespace {

kvSurface* GetForBuffer(DisplayBuffer* bitmap, uint32_t keyEnable, uint32_t keyValue,
                        int forceReconvert, bool depth) {
  if (!bitmap) return nullptr;
  int32_t width = 0, height = 0, bits = 0;
  const uint8_t* palette = nullptr;
  void* extra = nullptr;
  // The pixels stay where they are while the buffer is locked for the conversion.
  if (!stdDisplay_LockBuffer(bitmap)) return nullptr;
  void* pixels = bitmap->pixels;
  qxModel3_GetBitmapInfo(bitmap, &width, &height, nullptr, &bits, &palette, nullptr, &extra);
  kvSurface* surface = nullptr;
  // The conversion reads width x height pixels of the code's size: a buffer
  // that holds fewer bytes (a depth raster asked for from an 8-bit picture)
  // is not read.
  const uint32_t code = depth ? 16u : static_cast<uint32_t>(bits);
  const uint64_t needed = static_cast<uint64_t>(width > 0 ? width : 0) *
                          static_cast<uint64_t>(height > 0 ? height : 0) * (code == 16 ? 2 : 1);
  if (needed > static_cast<uint64_t>(bitmap->format.byteSize > 0 ? bitmap->format.byteSize : 0)) {
    static bool reported = false;
    if (!reported) {
      kv_Log_Printf("[Deferred] - a %ix%i picture of %i bits holds too few bytes to be drawn", width,
                    height, bits);
      reported = true;
    }
    pixels = nullptr;
  }
  if (pixels && width > 0 && height > 0) {
    const uint32_t extraWord = extra ? 1u : 0u;
    surface = TextureCache_Get(Key(pixels), static_cast<uint32_t>(width),
                               static_cast<uint32_t>(height), code, palette, keyEnable,
                               keyValue, forceReconvert, extraWord, depth ? 1 : 0);
  }
  stdDisplay_UnlockBuffer(bitmap);
  return surface;
}

}  // namespace

kvSurface* TextureCache_GetForBitmap(DisplayBuffer* bitmap, uint32_t keyEnable, uint32_t keyValue,
                                     int forceReconvert) {
  return GetForBuffer(bitmap, keyEnable, keyValue, forceReconvert, false);
}

kvSurface* TextureCache_GetForDepthBitmap(DisplayBuffer* bitmap, uint32_t keyEnable,
                                          uint32_t keyValue, int forceReconvert) {
  return GetForBuffer(bitmap, keyEnable, keyValue, forceReconvert, true);
}

void TextureCache_MarkStale(DisplayBuffer* buffer) {
  if (!buffer) return;
  void* pixels = nullptr;
  qxModel3_GetBitmapInfo(buffer, nullptr, nullptr, &pixels, nullptr, nullptr, nullptr, nullptr);
  TextureCacheEntry* entry = nullptr;
  if (TextureCache_Query(Key(pixels), &entry) && entry->surface) {
    kv_Surface_ClearModified(entry->surface);
  }
}

// Submesh cache -----------------------------------------------------------------------------

bool SubmeshCache_GetSet(uintptr_t meshKey, int create, SubmeshSet** set) {
  Caches& c = C();
  if (set) *set = nullptr;
  if (meshKey != 0 && meshKey == c.submeshMemoKey) {
    if (set) *set = c.submeshMemo;
    return true;
  }
  SubmeshSet* found = nullptr;
  {
    ProfileScope scope("GetCachedSubmeshSet");
    const auto it = c.submeshes.find(meshKey);
    if (it != c.submeshes.end()) found = it->second;
  }
  if (!found) {
    if (!create) return false;
    found = new SubmeshSet();
    c.submeshes[meshKey] = found;
  }
  c.submeshMemoKey = meshKey;
  c.submeshMemo = found;
  if (set) *set = found;
  return true;
}

bool SubmeshCache_Find(uintptr_t meshKey, const void* material, int cel,
                       kvVertexBuffer** vertexBuffer, uint32_t* vertexCount) {
  if (vertexBuffer) *vertexBuffer = nullptr;
  if (vertexCount) *vertexCount = 0;
  SubmeshSet* set = nullptr;
  if (!SubmeshCache_GetSet(meshKey, 0, &set) || !set) return false;
  const auto it = set->entries.find({Key(material), cel});
  if (it == set->entries.end()) return false;
  if (vertexBuffer) *vertexBuffer = it->second->vertexBuffer;
  if (vertexCount) *vertexCount = it->second->vertexCount;
  return true;
}

uint32_t Deferred_SubmeshGeneration = 0;

kvVertexBuffer* SubmeshCache_Add(uint32_t vertexCount, uintptr_t meshKey, void* material,
                                 int cel) {
  ++Deferred_SubmeshGeneration;
  SubmeshSet* set = nullptr;
  if (!SubmeshCache_GetSet(meshKey, 1, &set) || !set) return nullptr;
  const size_t bytes = static_cast<size_t>(vertexCount) * sizeof(TexturedVertex);
  kvVertexBuffer* buffer =
      kv_VertexBuffer_Allocate(bytes, kv_Layout_GetDescriptor<TexturedVertex>());
  if (!buffer) return nullptr;
  kv_VertexBuffer_BindLayout<TexturedVertex>(buffer);
  auto* entry = static_cast<SubmeshEntry*>(kv_Platform_Alloc(0, sizeof(SubmeshEntry)));
  if (!entry) {
    kv_Buffer_Release(buffer);
    return nullptr;
  }
  *entry = SubmeshEntry{material, cel, static_cast<uint32_t>(bytes), vertexCount, buffer};
  SubmeshEntry*& slot = set->entries[{Key(material), cel}];
  SubmeshEntry_Delete(slot);  // a pair added again replaces its submesh
  slot = entry;
  return buffer;
}

void SubmeshSet_Clear(SubmeshSet* set) {
  if (!set) return;
  ++Deferred_SubmeshGeneration;
  for (auto& [key, entry] : set->entries) SubmeshEntry_Delete(entry);
  set->entries.clear();
}

size_t TextureCache_Size(void) {
  return C().textures.size();
}
size_t SubmeshCache_Size(void) {
  return C().submeshes.size();
}
size_t ReplacementCache_Size(void) {
  return C().replacements.size();
}

void DeferredCaches_Clear(void) {
  Caches& c = C();
  for (auto& [key, set] : c.submeshes) {
    SubmeshSet_Clear(set);
    delete set;
  }
  for (auto& [key, entry] : c.textures) TextureCacheEntry_Delete(entry);
  for (auto& [key, entry] : c.replacements) ReplacementTexture_Delete(entry);
  c.submeshes.clear();
  c.textures.clear();
  c.replacements.clear();
  c.textureMemoKey = c.submeshMemoKey = 0;
  c.textureMemo = nullptr;
  c.submeshMemo = nullptr;
}

// Hooks ----------------------------------------------------------------------------------------

void Deferred_SurfaceChanged(void* pixels) {
  TextureCacheEntry* entry = nullptr;
  if (TextureCache_Query(Key(pixels), &entry) && entry->surface) {
    kv_Surface_ClearModified(entry->surface);
  }
  const kvSurface* front = kv_RenderHooks_GetFrontSurface();
  if (pixels && front && kv_Surface_ContainsPointer(front, pixels)) Deferred_PresentFrontBuffer = 1;
}

int Deferred_SurfaceFreed(void* pointer) {
  Caches& c = C();
  const uintptr_t key = Key(pointer);
  int dropped = 0;
  if (const auto it = c.submeshes.find(key); it != c.submeshes.end()) {
    ForgetSubmeshMemo(key);
    SubmeshSet_Clear(it->second);
    delete it->second;
    c.submeshes.erase(it);
    dropped = 1;
  }
  if (const auto it = c.textures.find(key); it != c.textures.end()) {
    ForgetTextureMemo(key);
    TextureCacheEntry_Delete(it->second);
    c.textures.erase(it);
    dropped = 1;
  }
  if (!c.replacements.empty()) {
    if (const auto it = c.replacements.find(key); it != c.replacements.end()) {
      ReplacementTexture_Delete(it->second);
      c.replacements.erase(it);
      dropped = 1;
    }
  }
  return dropped;
}

void Deferred_MaterialLoaded(void* textureKey, const char* materialName, int celIndex) {
  if (!textureKey || !materialName) return;
  char path[256];
  Deferred_Format256(path, 256, "%s.%i%s", materialName, celIndex, ".mcb");
  kvSurface* surface = LoadMcbTexture(path);
  if (!surface) return;  // no replacement: the material keeps its texture
  ReplacementTexture* entry = ReplacementTexture_New();
  if (!entry) {
    kv_Surface_Release(surface);
    return;
  }
  entry->surface = surface;
  entry->key = Key(textureKey);
  Caches& c = C();
  ReplacementTexture*& slot = c.replacements[entry->key];
  ReplacementTexture_Delete(slot);
  slot = entry;
}

// Meshes ---------------------------------------------------------------------------------------

namespace {

// Builds the vertex buffer of one (material, cel) of a mesh: its faces
// fan-triangulated, each corner's position, normal and texture coordinate.
kvVertexBuffer* BuildSubmesh(const qxModel3Mesh* mesh, int32_t faceCount, const qxFace* faces,
                             const qxFaceMaterial& pair, float uScale, float vScale) {
  int32_t vertexCount = 0, texVertexCount = 0;
  qxVector3* vertices = nullptr;
  qxVector3* normals = nullptr;
  qxVector2* texVertices = nullptr;
  qxModel3_GetMeshVertices(mesh, &vertexCount, &vertices, &normals, &texVertexCount,
                           &texVertices);
  const int n = qxModel3_BuildTriangleIndices(faceCount, faces, pair.material, pair.cel, 0, 0,
                                              nullptr);
  kvVertexBuffer* buffer = SubmeshCache_Add(static_cast<uint32_t>(n > 0 ? n : 0), Key(vertices),
                                            pair.material, pair.cel);
  if (!buffer || n <= 0) return buffer;
  std::vector<uint16_t> vertexIndices(static_cast<size_t>(n));
  std::vector<uint16_t> textureIndices(static_cast<size_t>(n));
  qxModel3_BuildTriangleIndices(faceCount, faces, pair.material, pair.cel, 0, n,
                                vertexIndices.data());
  qxModel3_BuildTriangleIndices(faceCount, faces, pair.material, pair.cel, 1, n,
                                textureIndices.data());
  MeshVertexSource source{};
  source.positions = vertices ? &vertices[0].x : nullptr;
  source.normals = normals ? &normals[0].x : nullptr;
  source.textureVertices = texVertices ? &texVertices[0].x : nullptr;
  source.textureVertexIndices = textureIndices.data();
  source.uScale = uScale;
  source.vScale = vScale;
  source.vertexCount = vertexCount > 0 ? static_cast<uint32_t>(vertexCount) : 0;
  source.textureVertexCount = texVertexCount > 0 ? static_cast<uint32_t>(texVertexCount) : 0;
  Deferred_FillMeshVertices(buffer, &source, n, vertexIndices.data());
  return buffer;
}

}  // namespace

int Deferred_SubmitMesh(qxModel3Mesh* mesh, const qxMatrix34* placement,
                        DeferredSubmeshDrawer drawer) {
  if (!mesh || !drawer || !Deferred_IsActive()) return 0;
  kvRenderContext* context = Deferred_PassContext();
  if (!context) return 0;
  int32_t faceCount = 0, vertexCount = 0, texVertexCount = 0;
  qxFace* faces = nullptr;
  qxVector3* vertices = nullptr;
  qxModel3_GetMeshFaces(mesh, &faceCount, &faces);
  qxModel3_GetMeshVertices(mesh, &vertexCount, &vertices, nullptr, &texVertexCount, nullptr);
  if (!faces || faceCount <= 0 || !vertices) return 0;
  qxFaceMaterial pairs[kMaxSubmeshes];
  int pairCount = qxModel3_CollectFaceMaterials(faceCount, faces, pairs, kMaxSubmeshes);
  if (pairCount > kMaxSubmeshes) pairCount = kMaxSubmeshes;

  int result = 0;
  for (int p = 0; p < pairCount; ++p) {
    const qxFaceMaterial& pair = pairs[p];
    DisplayBuffer* bitmap = nullptr;
    int32_t keyEnable = 0, colourIndex = 0;
    uint32_t keyValue = 0, negate = 0;
    qxModel3_GetMaterialTexture(pair.material, pair.cel, &bitmap, &keyEnable, &keyValue,
                                &colourIndex, &negate);
    int32_t width = 0, height = 0;
    const uint8_t* palette = nullptr;
    if (bitmap) {
      qxModel3_GetBitmapInfo(bitmap, &width, &height, nullptr, nullptr, &palette, nullptr,
                             nullptr);
    } else {
      palette = qxModel3_GetCurrentPalette();
    }

    kvVertexBuffer* buffer = nullptr;
    if (!SubmeshCache_Find(Key(vertices), pair.material, pair.cel, &buffer, nullptr)) {
      const bool sized = bitmap && width > 0 && height > 0;
      buffer = BuildSubmesh(mesh, faceCount, faces, pair, sized ? 1.0f / static_cast<float>(width) : 1.0f,
                            sized ? 1.0f / static_cast<float>(height) : 1.0f);
    }
    if (!buffer) continue;

    kvSurface* texture = bitmap ? TextureCache_GetForBitmap(bitmap, static_cast<uint32_t>(keyEnable),
                                                            keyValue, 0)
                                : nullptr;
    float colour[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    if (palette && colourIndex >= 0 && colourIndex < 256) {
      const size_t i = static_cast<size_t>(colourIndex) * 3;
      static_assert(kPaletteBytes == 256 * 3);
      colour[0] = palette[i] / 255.0f;
      colour[1] = palette[i + 1] / 255.0f;
      colour[2] = palette[i + 2] / 255.0f;
      colour[3] = 1.0f;
    }
    if (negate) {
      for (int k = 0; k < 3; ++k) colour[k] = -colour[k];
    }
    result = drawer(context, placement, buffer, texture, colour[0], colour[1], colour[2],
                    colour[3]);
  }
  return result;
}

void Deferred_DrawMesh(qxModel3Mesh* mesh, const qxMatrix34* placement) {
  Deferred_SubmitMesh(mesh, placement,
                      Deferred_AdvancedLightingOff ? Deferred_DrawSubmeshForward
                                                   : Deferred_DrawSubmesh);
}
