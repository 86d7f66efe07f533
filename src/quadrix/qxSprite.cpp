#include "quadrix/qxSprite.h"

#include <cmath>
#include <cstring>

#include "platform/kv_Log.h"
#include "quadrix/qxCache.h"
#include "quadrix/qxCamera.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxMaterial.h"
#include "quadrix/qxMatrix.h"
#include "quadrix/qxPrimitive.h"
#include "quadrix/qxThing.h"

namespace {

template <typename T>
T* AllocArray(int count) {
  return static_cast<T*>(
      qxCore_Alloc(sizeof(T) * static_cast<size_t>(count), "qxSprite", __LINE__));
}

int Min3(int a, int b, int c) {
  const int ab = a < b ? a : b;
  return ab < c ? ab : c;
}

// The level-0 texture of the material's first cel, or null.
const DisplayBuffer* FirstCelTexture(const qxMaterial* material) {
  if (material->celCount == 0 || !material->cels[0]) return nullptr;
  const qxMaterialTexture* texture = material->cels[0]->texture;
  if (!texture || texture->mipCount == 0) return nullptr;
  return texture->mipLevels[0];
}

// The anchor's centre and its offset, both in camera space.
void CentreAndOffset(const qxThing* thing, const qxMatrix34* placement, const qxCamera* camera,
                     qxVector3* centre, qxVector3* off) {
  const auto* sprite = static_cast<const qxSprite*>(thing->object);
  qxVector3 turned;
  qxMatrix34_TransformPoint(centre, &placement->t, &camera->viewMatrix);
  qxMatrix34_TransformVector(&turned, &sprite->offset, placement);
  qxMatrix34_TransformVector(off, &turned, &camera->viewMatrix);
}

// The sprite's light: flat unless the gathered intensities differ, tested
// for exact equality.
void SimplifyLevels(qxCacheFace* f, int count, float ambientFloor) {
  if (f->lightingMode == 0) return;
  const bool sameColormap = qxCore_pCurrentColormap == qxCore_pDisplayColormap;
  if (ambientFloor >= 1.0f) {
    f->lightingMode = sameColormap ? 0 : 2;
  } else if (f->lightingMode == 2) {
    if (f->faceLight >= 1.0f && sameColormap) {
      f->lightingMode = 0;
    } else if (f->faceLight <= 0.0f) {
      f->lightingMode = 1;
    }
  } else {
    qxPrimitive_FlattenVertexLight(f, count, 0.0f);  // exact equality
  }
}

}  // namespace

qxSprite* qxSprite_New(int32_t type, const char* name, const char* materialName, float width,
                       float height, int32_t geometryMode, int32_t lightingMode,
                       int32_t textureMode, float extraLight, const qxVector3* offset) {
  auto* sprite = static_cast<qxSprite*>(qxCore_Alloc(sizeof(qxSprite), "qxSprite", __LINE__));
  if (!sprite) return nullptr;
  std::memset(sprite, 0, sizeof *sprite);
  if (!qxSprite_NewEntry(sprite, name, type, materialName, width, height, geometryMode,
                         lightingMode, textureMode, extraLight, offset)) {
    // A sprite without its material or texture vertices cannot be drawn; the
    // caller gets nothing back, so nothing it would have to release is kept.
    if (sprite->material) qxMaterial_Free(sprite->material);
    qxSprite_Free(sprite);
    return nullptr;
  }
  return sprite;
}

int qxSprite_NewEntry(qxSprite* sprite, const char* name, int32_t type, const char* materialName,
                      float width, float height, int32_t geometryMode, int32_t lightingMode,
                      int32_t textureMode, float extraLight, const qxVector3* offset) {
  if (name) {
    std::strncpy(sprite->name, name, sizeof sprite->name - 1);
    sprite->name[sizeof sprite->name - 1] = '\0';
  }
  sprite->width = width;
  sprite->type = type;
  sprite->height = height;
  sprite->offset = offset ? *offset : qxVector3{0.0f, 0.0f, 0.0f};
  sprite->extraLight = extraLight;
  sprite->geometryMode = geometryMode;
  sprite->faceFlags = 1;
  sprite->lightingMode = lightingMode;
  sprite->textureMode = textureMode;
  sprite->material = materialName ? qxMaterial_Load(materialName, 0, 0) : nullptr;
  if (!sprite->material) {
    kv_Log_Printf("[Quadrix] - qxSprite: material %s did not load",
                  materialName ? materialName : "(none)");
    return 0;
  }
  sprite->vertexCount = 4;
  sprite->vertexIndices = AllocArray<int32_t>(4);
  if (!sprite->vertexIndices) return 0;
  if (geometryMode > 3) {
    const DisplayBuffer* texture = FirstCelTexture(sprite->material);
    if (!texture) {
      kv_Log_Printf("[Quadrix] - qxSprite: material %s has no texture in its first cel",
                    sprite->material->name);
      return 0;
    }
    sprite->texVertexIndices = AllocArray<int32_t>(4);
    if (!sprite->texVertexIndices) return 0;
    for (int i = 0; i < 4; ++i) sprite->vertexIndices[i] = sprite->texVertexIndices[i] = i;
    sprite->texVertices = AllocArray<qxVector2>(4);
    if (!sprite->texVertices) return 0;
    const float w = static_cast<float>(texture->format.width);
    const float h = static_cast<float>(texture->format.height);
    sprite->texVertices[0] = {0.5f, h - 0.5f};
    sprite->texVertices[1] = {w - 0.5f, h - 0.5f};
    sprite->texVertices[2] = {w - 0.5f, 0.5f};
    sprite->texVertices[3] = {0.5f, 0.5f};
  } else {
    for (int i = 0; i < 4; ++i) sprite->vertexIndices[i] = i;
  }
  sprite->halfWidth = width * 0.5f;
  sprite->halfHeight = height * 0.5f;
  sprite->textureOffset = {0.0f, 0.0f};
  sprite->radius =
      std::sqrt(sprite->halfWidth * sprite->halfWidth + sprite->halfHeight * sprite->halfHeight);
  return 1;
}

void qxSprite_FreeEntry(qxSprite* sprite) {
  qxCore_Free(sprite->texVertices);
  sprite->texVertices = nullptr;
  qxCore_Free(sprite->vertexIndices);
  sprite->vertexIndices = nullptr;
  qxCore_Free(sprite->texVertexIndices);
  sprite->texVertexIndices = nullptr;
}

void qxSprite_Free(qxSprite* sprite) {
  if (!sprite) return;
  qxSprite_FreeEntry(sprite);
  qxCore_Free(sprite);
}

int qxSprite_Draw(qxThing* thing, const qxMatrix34* placement) {
  const qxCamera* camera = qxCore_pCurrentCamera;
  if (!thing || thing->type != QXTHING_SPRITE || !thing->object || !camera || !camera->frustum) {
    return 0;
  }
  const auto* sprite = static_cast<const qxSprite*>(thing->object);
  if (!sprite->vertexIndices) return 0;
  qxVector3 centre, off;
  CentreAndOffset(thing, placement, camera, &centre, &off);
  const float d = off.x >= 0.0f ? -sprite->halfWidth : sprite->halfWidth;

  int visibility = thing->frustumTest;
  if (qxCore_GetCullFlags() & QXCULL_SPRITES) {
    visibility =
        qxPrimitive_GetClippers()->sphereInFrustum(camera->frustum, &centre, sprite->radius);
  }
  if (visibility == 2) return 0;
  qxCacheFace* f = qxCache_NewFace();
  if (!f) return 0;

  qxVector3 b;
  qxVector3_Add(&b, &centre, &off);
  const float top = b.z + 2.0f * sprite->halfHeight;
  const qxVector3 corners[4] = {
      {b.x - d, b.y, b.z}, {b.x + d, b.y, b.z}, {b.x + d, b.y, top}, {b.x - d, b.y, top}};
  const int geometry =
      Min3(sprite->geometryMode, thing->drawGeometryMode, qxCore_GetGeometryMode());
  int lighting;
  if ((qxCore_GetRenderFlags() & QXRENDER_AMBIENT) && camera->ambientLight >= 1.0f) {
    lighting = 0;
  } else {
    lighting = Min3(sprite->lightingMode, thing->drawLightingMode, qxCore_GetLightingMode());
  }
  const int texture = Min3(sprite->textureMode, thing->drawTextureMode, qxCore_GetTextureMode());

  // A sprite carries no vertex light of its own: per-vertex lighting
  // starts from 0 (and so becomes flat).
  static const float kNoLight[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  qxFaceSource source = {};
  source.vertexCount = 4;
  source.vertexIndices = sprite->vertexIndices;
  source.texVertexIndices = sprite->texVertexIndices;
  source.positions = corners;
  source.texVertices = sprite->texVertices;
  source.intensities = kNoLight;
  qxVector3 positions[QXCACHE_MAX_FACE_VERTICES];
  qxFaceBuffers buffers = {0, positions, f->texVerts, f->levels, f->green, f->blue};
  qxPrimitive_GatherClipFace(camera->frustum, geometry, lighting, texture, &source, &buffers,
                             &sprite->textureOffset);
  const int count = buffers.vertexCount;
  if (count < 3 || count > QXCACHE_MAX_FACE_VERTICES) return 0;
  camera->projectPoints(f->screenVerts, positions, count);

  const float ambientFloor =
      (qxCore_GetRenderFlags() & QXRENDER_AMBIENT) ? camera->ambientLight : 0.0f;
  f->ambientFloor = ambientFloor;
  f->geometryMode = geometry;
  f->lightingMode = lighting;
  f->textureMode = texture;
  f->faceLight = 0.0f;
  SimplifyLevels(f, count, ambientFloor);
  f->celIndex = thing->cel;
  f->reverseWinding = d < 0.0f ? 1 : 0;
  f->faceFlags = sprite->faceFlags;
  f->extraLight = sprite->extraLight;
  f->material = sprite->material;
  f->drawProc = nullptr;
  f->spanProc = nullptr;
  int pools = geometry >= 4 ? QXCACHE_POOL_SCREEN | QXCACHE_POOL_TEXTURE : QXCACHE_POOL_SCREEN;
  if (f->lightingMode >= 3) pools |= QXCACHE_POOL_LIGHT;
  qxCache_CommitFace(0, count, pools);
  return 1;
}

void qxSprite_GetDrawInfo(qxThing* thing, const qxMatrix34* placement, qxMaterial** material,
                          int32_t* cel, qxVector3* offset, float* halfWidth, float* halfHeight,
                          qxVector3* topLeft, qxVector3* bottomRight) {
  const auto* sprite = static_cast<const qxSprite*>(thing->object);
  if (!sprite) return;
  if (material) *material = sprite->material;
  if (cel) *cel = thing->cel;
  if (offset) *offset = sprite->offset;
  if (halfWidth) *halfWidth = sprite->halfWidth;
  if (halfHeight) *halfHeight = sprite->halfHeight;
  const qxCamera* camera = qxCore_pCurrentCamera;
  if (!topLeft || !bottomRight || !camera) return;
  qxVector3 centre, off, b;
  CentreAndOffset(thing, placement, camera, &centre, &off);
  qxVector3_Add(&b, &centre, &off);
  const qxVector3 tl = {b.x - sprite->halfWidth, b.y, b.z + 2.0f * sprite->halfHeight};
  const qxVector3 br = {b.x + sprite->halfWidth, b.y, b.z};
  camera->projectPoint(topLeft, &tl);
  camera->projectPoint(bottomRight, &br);
}
