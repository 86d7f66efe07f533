// Rasterizer start-up, the reciprocal tables and the three face dispatchers.
#include "raster/qxRaster.h"

#include <algorithm>

#include "quadrix/qxCache.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxMaterial.h"
#include "raster/qxZRaster.h"

qxRecipTableSet qxRecipTables;

void (*qxRaster_runObserver)(int32_t x, int32_t count, float factor) = nullptr;

const qxRasterFamily qxRaster_family = {
    qxRaster_DrawPoints,
    qxRaster_DrawWireframe,
    {{{qxRaster_DrawSolidUnlit, qxRaster_DrawSolidUnlitTrans}, {nullptr, nullptr}},
     {{qxRaster_DrawAffineUnlit, qxRaster_DrawAffineUnlitTrans},
      {qxRaster_DrawAffineUnlitKeyed, qxRaster_DrawAffineUnlitKeyedTrans}},
     {{qxRaster_DrawPerspUnlit, qxRaster_DrawPerspUnlitTrans},
      {qxRaster_DrawPerspUnlitKeyed, qxRaster_DrawPerspUnlitKeyedTrans}}},
    {{{qxRaster_DrawSolidLit, qxRaster_DrawSolidLitTrans}, {nullptr, nullptr}},
     {{qxRaster_DrawAffineLit, qxRaster_DrawAffineLitTrans},
      {qxRaster_DrawAffineLitKeyed, qxRaster_DrawAffineLitKeyedTrans}},
     {{qxRaster_DrawPerspLit, qxRaster_DrawPerspLitTrans},
      {qxRaster_DrawPerspLitKeyed, qxRaster_DrawPerspLitKeyedTrans}}},
    {{{qxRaster_DrawSolidGouraud, qxRaster_DrawSolidGouraudTrans}, {nullptr, nullptr}},
     {{qxRaster_DrawAffineGouraud, qxRaster_DrawAffineGouraudTrans},
      {qxRaster_DrawAffineGouraudKeyed, qxRaster_DrawAffineGouraudKeyedTrans}},
     {{qxRaster_DrawPerspGouraud, qxRaster_DrawPerspGouraudTrans},
      {qxRaster_DrawPerspGouraudKeyed, qxRaster_DrawPerspGouraudKeyedTrans}}},
};

const qxRasterFamily qxZRaster_family = {
    qxZRaster_DrawPoints,
    qxZRaster_DrawWireframe,
    {{{qxZRaster_DrawSolidUnlit, qxZRaster_DrawSolidUnlitTrans}, {nullptr, nullptr}},
     {{qxZRaster_DrawAffineUnlit, qxZRaster_DrawAffineUnlitTrans},
      {qxZRaster_DrawAffineUnlitKeyed, qxZRaster_DrawAffineUnlitKeyedTrans}},
     {{qxZRaster_DrawPerspUnlit, qxZRaster_DrawPerspUnlitTrans},
      {qxZRaster_DrawPerspUnlitKeyed, qxZRaster_DrawPerspUnlitKeyedTrans}}},
    {{{qxZRaster_DrawSolidLit, qxZRaster_DrawSolidLitTrans}, {nullptr, nullptr}},
     {{qxZRaster_DrawAffineLit, qxZRaster_DrawAffineLitTrans},
      {qxZRaster_DrawAffineLitKeyed, qxZRaster_DrawAffineLitKeyedTrans}},
     {{qxZRaster_DrawPerspLit, qxZRaster_DrawPerspLitTrans},
      {qxZRaster_DrawPerspLitKeyed, qxZRaster_DrawPerspLitKeyedTrans}}},
    {{{qxZRaster_DrawSolidGouraud, qxZRaster_DrawSolidGouraudTrans}, {nullptr, nullptr}},
     {{qxZRaster_DrawAffineGouraud, qxZRaster_DrawAffineGouraudTrans},
      {qxZRaster_DrawAffineGouraudKeyed, qxZRaster_DrawAffineGouraudKeyedTrans}},
     {{qxZRaster_DrawPerspGouraud, qxZRaster_DrawPerspGouraudTrans},
      {qxZRaster_DrawPerspGouraudKeyed, qxZRaster_DrawPerspGouraudKeyedTrans}}},
};

namespace {

const qxRasterFamily* g_direct = &qxRaster_family;
const qxRasterFamily* g_zBuffered = &qxZRaster_family;

// 0 below 0 (and for NaN), 1 above 1.
float Clamp01(float v) {
  return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f;
}

float Level(float floor, float light) {
  return std::max(floor, Clamp01(light)) * 63.0f;
}

// Selection and levels of a solid or textured face: false when its
// lighting or texture mode draws nothing.
bool FilledFaceDrawn(const qxRasterSelection& s) {
  if (s.lighting < 0 || s.lighting > 3) return false;
  return s.geometry == 3 || s.texture == 0 || s.texture == 1;
}

int Dispatch(qxCacheFace* face, const qxRasterFamily& family) {
  qxRasterSelection s;
  if (!qxRaster_SelectFace(face, &s)) return 0;
  qxMaterialCel* cel = s.cel;
  if (s.geometry == 1 || s.geometry == 2) {
    if (s.lighting >= 0 && s.lighting <= 4) {
      (s.geometry == 1 ? family.points : family.wireframe)(face, cel);
    }
    return 1;
  }
  if ((s.geometry != 3 && s.geometry != 4) || !FilledFaceDrawn(s)) return 1;
  const float level = qxRaster_ApplyLevels(face, s.lighting, s.ambientFloor);
  const int kind = s.geometry == 3 ? 0 : 1 + s.texture;
  const int keyed = s.geometry == 4 && cel && cel->texture &&
                            (cel->texture->flags & QXMATERIAL_TEXTURE_COLORKEY) != 0
                        ? 1
                        : 0;
  const int trans = (face->faceFlags & QXCACHE_FACE_TRANSLUCENT) != 0 ? 1 : 0;
  switch (s.lighting) {
    case 0:
      family.unlit[kind][keyed][trans](face, cel);
      break;
    case 1:
    case 2:
      family.lit[kind][keyed][trans](face, cel, level);
      break;
    default:
      family.gouraud[kind][keyed][trans](face, cel);
      break;
  }
  return 1;
}

}  // namespace

int qxRaster_SelectFace(qxCacheFace* face, qxRasterSelection* out) {
  out->geometry = qxCore_EffectiveMode(face->geometryMode, qxCore_GetGeometryMode());
  out->lighting = qxCore_EffectiveMode(face->lightingMode, qxCore_GetLightingMode());
  out->texture = qxCore_EffectiveMode(face->textureMode, qxCore_GetTextureMode());
  out->cel = nullptr;
  out->ambientFloor = 0.0f;
  if (out->geometry == 0) return 0;
  if (const qxMaterial* material = face->material) {
    // A material holds at most 16 cels; one without any gives no cel.
    const int32_t count =
        static_cast<int32_t>(std::min<uint32_t>(material->celCount, kMaterialMaxCels));
    if (count > 0) {
      int32_t index = face->celIndex == -1 ? material->currentCel : face->celIndex;
      index = std::clamp(index, 0, count - 1);
      out->cel = material->cels[index];
    }
    if (out->geometry == 4 && out->cel && !(out->cel->flags & QXMATERIAL_CEL_TEXTURED)) {
      out->geometry = 3;
    }
  }
  // The floor is a light input like the others: held to 0..1, so that no
  // level leaves the 64 rows of the light tables.
  if (qxCore_GetRenderFlags() & QXRENDER_AMBIENT) out->ambientFloor = Clamp01(face->ambientFloor);
  return 1;
}

float qxRaster_ApplyLevels(qxCacheFace* face, int32_t lighting, float ambientFloor) {
  switch (lighting) {
    case 1:
      face->faceLight = Level(ambientFloor, face->extraLight);
      return face->faceLight;
    case 2:
      face->faceLight = Level(ambientFloor, face->extraLight + face->faceLight);
      return face->faceLight;
    case 3:
      if (face->levels) {
        const uint32_t n = std::min<uint32_t>(face->vertexCount, QXCACHE_MAX_FACE_VERTICES);
        for (uint32_t i = 0; i < n; ++i) {
          face->levels[i] = Level(ambientFloor, face->levels[i] + face->extraLight);
        }
      }
      return 0.0f;
    default:
      return 0.0f;
  }
}

void qxRaster_SetFamilies(const qxRasterFamily* direct, const qxRasterFamily* zBuffered) {
  g_direct = direct ? direct : &qxRaster_family;
  g_zBuffered = zBuffered ? zBuffered : &qxZRaster_family;
}

int qxCache_DrawFaceDirect(qxCacheFace* face) {
  return Dispatch(face, *g_direct);
}

int qxCache_DrawFaceZBuffered(qxCacheFace* face) {
  return Dispatch(face, *g_zBuffered);
}

int qxCache_DrawProceduralFace(qxCacheFace* face) {
  qxRasterSelection s;
  if (!qxRaster_SelectFace(face, &s)) return 0;
  float level = 0.0f;
  if (s.geometry == 1 || s.geometry == 2) {
    if (s.lighting < 0 || s.lighting > 4) return 1;
  } else if (s.geometry == 3 || s.geometry == 4) {
    if (!FilledFaceDrawn(s)) return 1;
    level = qxRaster_ApplyLevels(face, s.lighting, s.ambientFloor);
  } else {
    return 1;
  }
  if (face->drawProc) face->drawProc(face, s.cel, level);
  return 1;
}

int qxRaster_Open(void) {
  return 1;
}

void qxRaster_Startup(void) {
  qxRecipTables.recipFloat[0] = 3.4e38f;
  qxRecipTables.recipFixed[0] = 0x7FFFFFFF;
  for (int i = 1; i < QXRASTER_RECIP_ENTRIES; ++i) {
    const float f = 1.0f / static_cast<float>(i);
    qxRecipTables.recipFloat[i] = f;
    qxRecipTables.recipFixed[i] = static_cast<int32_t>(f * 65536.0f);
  }
}
