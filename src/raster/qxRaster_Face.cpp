// The face set-up both direct families share: the guards, the canvas, walk
// and colour state, the gradient vertices, mip choice and rounding biases,
// the perspective plane gradients, and the points and wireframes.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/kv_Log.h"
#include "platform/kv_RenderHooks.h"
#include "quadrix/qxCamera.h"
#include "quadrix/qxCanvas.h"
#include "quadrix/qxColormap.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxMaterial.h"
#include "raster/qxRaster_Internal.h"
#include "std/stdDisplay.h"

qxRasterFaceState qxRaster_state;
qxRasterFaceState qxZRaster_state;

namespace qxraster {
namespace {

enum Skip {
  kNoCanvas,
  kNoMaterial,
  kVertexCount,
  kNoArrays,
  kTooWide,
  kOutside,
  kNoDepthBuffer,
  kNoTables,
  kBadTexture,
  kSkipKinds
};

const char* const kSkipText[kSkipKinds] = {
    "there is no current camera with a plain canvas to draw into",
    "a face has no material",
    "a face has fewer than 3 or more than 32 vertices",
    "a face lacks its vertex, texture or level array",
    "a face is 2048 pixels wide or more",
    "a face reaches outside its canvas",
    "the canvas has no plain 16-bit depth buffer of its size",
    "a face's colormap lacks a light, inverse or translucency table it needs",
    "a texture's mip level is missing, not 8-bit, or smaller than its size says",
};

bool g_reported[kSkipKinds];

// Faces are drawn every frame: each kind of fault is logged once.
bool Refuse(Skip why) {
  if (!g_reported[why]) {
    g_reported[why] = true;
    kv_Log_Printf("[Raster] - %s; such faces are not drawn", kSkipText[why]);
  }
  return false;
}

bool PlainBuffer(const DisplayBuffer* b) {
  return b && b->pixels && b->storage == STDDISPLAY_PLAIN;
}

// The pixels the committed bounds cover, columns x0 .. x1 - 1 and rows
// y0 .. y1 - 1, lie inside the buffer (and in the 16.16 range).
bool BoundsInBuffer(const qxCacheFace* f, const DisplayBuffer* b) {
  return f->x0 >= 0 && f->y0 >= 0 && f->x1 <= b->format.width && f->y1 <= b->format.height &&
         f->x1 <= 32767;
}

// Every vertex lies within the committed bounds, so that the edge walk
// stays on the rows and columns the guards checked.
bool VerticesInBounds(const qxCacheFace* f) {
  for (uint32_t i = 0; i < f->vertexCount; ++i) {
    const qxVector3& p = f->screenVerts[i];
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return false;
    const float cx = std::ceil(p.x), cy = std::ceil(p.y);
    if (!(cx >= static_cast<float>(f->x0) && cx <= static_cast<float>(f->x1) &&
          cy >= static_cast<float>(f->y0) && cy <= static_cast<float>(f->y1))) {
      return false;
    }
  }
  return true;
}

const qxCanvas* CurrentCanvas() {
  const qxCamera* camera = qxCore_pCurrentCamera;
  return camera ? camera->canvas : nullptr;
}

// Points and wireframes: the cel's palette index, or its full-brightness
// 16-bit pixel. False when the face cannot be drawn.
bool PointColour(const qxCacheFace* face, const qxMaterialCel* cel, int bpp, uint32_t* colour) {
  if (!cel) return Refuse(kNoMaterial);
  const uint8_t c = static_cast<uint8_t>(cel->colour);
  if (bpp == 8) {
    *colour = c;
    return true;
  }
  if (!face->colormap || !face->colormap->lightTable16) return Refuse(kNoTables);
  *colour = face->colormap->lightTable16[63 * 256 + c];
  return true;
}

// With the bias, (u >> 16) rounds u to the nearest texel: an exact half
// rounds up where u grows along the span (or, flat along it, down the
// face) and down where it falls.
int32_t Bias(float dx, float dy) {
  if (dx > 0.0f) return 0x8000;
  if (dx < 0.0f) return 0x7FFF;
  return dy >= 0.0f ? 0x8000 : 0x7FFF;
}

}  // namespace

bool BeginFace(qxRasterFaceState& st, qxCacheFace* face, qxMaterialCel* cel, float level, Variant v,
               bool depth) {
  const qxCanvas* canvas = CurrentCanvas();
  if (!canvas || !PlainBuffer(canvas->videoBuffer)) return Refuse(kNoCanvas);
  const DisplayBuffer* video = canvas->videoBuffer;
  const int bpp = video->format.format.bitsPerPixel;
  if (bpp != 8 && bpp != 16) return false;  // such canvases are left alone
  if (!cel) return Refuse(kNoMaterial);
  const int32_t n = static_cast<int32_t>(std::min<uint32_t>(face->vertexCount, 64));
  if (n < 3 || n > QXCACHE_MAX_FACE_VERTICES) return Refuse(kVertexCount);
  if (!face->screenVerts || (v.kind != Kind::kSolid && !face->texVerts) ||
      (v.shade == Shade::kGouraud && !face->levels)) {
    return Refuse(kNoArrays);
  }
  if (face->x1 - face->x0 >= 2048) return Refuse(kTooWide);
  if (face->x1 <= face->x0 || face->y1 <= face->y0) return false;  // covers no pixel
  if (face->topVertex < 0 || face->topVertex >= n || face->bottomVertex < 0 ||
      face->bottomVertex >= n || face->x0 < canvas->rectLeft || face->x1 - 1 > canvas->rectRight ||
      face->y0 < canvas->rectTop || face->y1 - 1 > canvas->rectBottom ||
      !BoundsInBuffer(face, video) || !VerticesInBounds(face)) {
    return Refuse(kOutside);
  }
  const DisplayBuffer* zb = canvas->zBuffer;
  if (depth &&
      (!PlainBuffer(zb) || zb->format.format.bitsPerPixel != 16 || !BoundsInBuffer(face, zb))) {
    return Refuse(kNoDepthBuffer);
  }
  if (v.kind != Kind::kSolid && !cel->texture) return Refuse(kBadTexture);

  const qxColormap* cm = face->colormap;
  const qxColormap* display = qxCore_pDisplayColormap;
  if (!cm) return Refuse(kNoTables);
  if (bpp == 8 ? v.shade != Shade::kUnlit && !cm->lightTable
               : !cm->lightTable16 || (v.trans && !cm->inverseTable)) {
    return Refuse(kNoTables);
  }
  if (v.trans && (!display || !display->translucencyTable)) return Refuse(kNoTables);

  st.pixels = static_cast<uint8_t*>(video->pixels);
  st.stride = video->format.bytesPerRow;
  st.bitsPerPixel = bpp;
  if (depth) {
    st.zPixels = static_cast<uint8_t*>(zb->pixels);
    st.zStride = zb->format.bytesPerRow;
    st.zShift = std::clamp(canvas->zShift, 0, 16);
  }
  st.clipLeft = int64_t{face->x0} << 16;
  st.clipRight = int64_t{face->x1} << 16;
  st.clipTop = face->y0;
  st.clipBottom = face->y1;

  st.vertexCount = n;
  st.topVertex = face->topVertex;
  st.bottomVertex = face->bottomVertex;
  st.leftStep = face->reverseWinding ? -1 : 1;
  st.rightStep = -st.leftStep;
  st.screenVerts = face->screenVerts;
  st.texVerts = face->texVerts;
  st.levels = face->levels;

  const uint8_t c = static_cast<uint8_t>(cel->colour);
  const int32_t row = v.shade == Shade::kLit ? std::clamp(qxRaster_ToInt(level), 0, 63) : 63;
  st.colour = c;
  st.trans = v.trans ? display->translucencyTable : nullptr;
  if (bpp == 8) {
    st.lightRow = v.shade == Shade::kUnlit ? nullptr : cm->lightTable;
    if (v.shade == Shade::kLit) st.lightRow += row * 256;
    st.flat8 = v.shade == Shade::kLit ? st.lightRow[c] : c;
  } else {
    st.fullRow16 = cm->lightTable16 + 63 * 256;
    st.lightRow16 = v.shade == Shade::kGouraud ? cm->lightTable16 : cm->lightTable16 + row * 256;
    st.flat16 = cm->lightTable16[row * 256 + c];
    st.inverse = cm->inverseTable;
    st.transSource16 = v.trans ? st.inverse[st.flat16] : 0;
  }
  st.texture = cel->texture;
  if (st.texture) {
    const uint32_t mips = st.texture->mipCount;
    st.lastMip = mips >= 1 && mips <= kMaterialMaxMips ? static_cast<int32_t>(mips) - 1 : 3;
  }
  return true;
}

bool BindMip(qxRasterFaceState& st) {
  const qxMaterialTexture* tex = st.texture;
  const int32_t m = st.mipLevel;
  const DisplayBuffer* mip = tex->mipLevels[m];
  const int32_t shift = tex->log2Width - m;
  if (!PlainBuffer(mip) || mip->format.format.bitsPerPixel != 8 || shift < 0 || shift > 16 ||
      tex->widthMask < 0 || tex->heightMask < 0) {
    return Refuse(kBadTexture);
  }
  const int32_t uMask = tex->widthMask >> m, vMask = tex->heightMask >> m;
  // The masks keep every texel read at or below this index.
  if ((int64_t{vMask} << shift) + uMask >= mip->format.byteSize) return Refuse(kBadTexture);
  st.texels = static_cast<const uint8_t*>(mip->pixels);
  st.mipShift = shift;
  st.uMask = uMask;
  st.vMask = vMask;
  return true;
}

void GradientVertices(const qxRasterFaceState& st, bool depth, bool slopeFirst, int32_t* a,
                      int32_t* e, int32_t* s) {
  const int32_t n = st.vertexCount;
  if (n == 3) {
    *a = 0;
    *e = 1;
    *s = 2;
    return;
  }
  const qxVector3* v = st.screenVerts;
  const int32_t top = st.topVertex, bottom = st.bottomVertex;
  const qxVector3& t = v[top];
  const qxVector3& b = v[bottom];
  int32_t d, side;
  if (Wrap(top + 1, n) == bottom) {
    d = -1;
    side = depth ? top : bottom;
  } else if (Wrap(top - 1, n) == bottom) {
    d = 1;
    side = depth ? top : bottom;
  } else {
    const int32_t next = Wrap(top + 1, n);
    const qxVector3& p = v[next];
    side = next;
    if (!depth && std::llabs(qxRaster_ToInt(p.x - b.x)) <= 1 &&
        std::llabs(qxRaster_ToInt(p.x - t.x)) <= 1) {
      d = -1;
    } else {
      // The side of the top-bottom line the next vertex lies on, unless it
      // lies within a pixel of it.
      const float onLine = slopeFirst ? t.y + (b.y - t.y) / (b.x - t.x) * (p.x - t.x)
                                      : t.y + (p.x - t.x) * (b.y - t.y) / (b.x - t.x);
      d = std::fabs(p.y - onLine) < 1.0f ? -1 : 1;
    }
  }
  // The vertex of the chain that lies farthest in x from the middle.
  const float mid = (b.x + t.x) * 0.5f;
  float best = 0.0f;
  for (int32_t k = Wrap(top + d, n); k != bottom; k = Wrap(k + d, n)) {
    const float distance = std::fabs(v[k].x - mid);
    if (distance > best) {
      best = distance;
      side = k;
    }
  }
  *a = top;
  *e = bottom;
  *s = side;
}

int32_t ChooseMip(int32_t lastMip, float depth) {
  const float* d = qxCore_GetMipmapDistances();
  switch (lastMip) {
    case 0:
      return 0;
    case 1:
      return depth > d[1] ? 1 : 0;  // the one switch lies at d1
    case 2:
      return depth <= d[0] ? 0 : (depth <= d[1] ? 1 : 2);
    default:
      return depth <= d[0] ? 0 : (depth <= d[1] ? 1 : (depth <= d[2] ? 2 : 3));
  }
}

void SetupAffine(qxRasterFaceState& st, bool depth, float minDepth) {
  const qxVector3* v = st.screenVerts;
  const qxVector2* uv = st.texVerts;
  if (depth) {
    for (int32_t i = 0; i < st.vertexCount; ++i) st.w[i] = 1.0f / (v[i].z + 1.0f);
  }
  int32_t t, b, m;
  GradientVertices(st, depth, false, &t, &b, &m);
  const float aT = v[t].x - v[m].x, bT = v[t].y - v[m].y;
  const float aB = v[b].x - v[m].x, bB = v[b].y - v[m].y;
  const float det = bT * aB - bB * aT;
  const float duT = uv[t].x - uv[m].x, duB = uv[b].x - uv[m].x;
  const float dvT = uv[t].y - uv[m].y, dvB = uv[b].y - uv[m].y;
  st.uBias = Bias((duB * bT - duT * bB) / det, (duT * aB - duB * aT) / det);
  st.vBias = Bias((dvB * bT - dvT * bB) / det, (dvT * aB - dvB * aT) / det);
  st.mipLevel = ChooseMip(st.lastMip, minDepth);
}

void SetupPersp(qxRasterFaceState& st, bool depth, float minDepth) {
  const qxVector3* v = st.screenVerts;
  for (int32_t i = 0; i < st.vertexCount; ++i) {
    const float w = depth ? 1.0f / (v[i].z + 1.0f) : 1.0f / v[i].z;
    st.invZ[i] = w;
    st.uOverZ[i] = st.texVerts[i].x * w;
    st.vOverZ[i] = st.texVerts[i].y * w;
  }
  int32_t a, e, s;
  GradientVertices(st, depth, true, &a, &e, &s);
  const float dxA = v[a].x - v[s].x, dyA = v[a].y - v[s].y;
  const float dxE = v[e].x - v[s].x, dyE = v[e].y - v[s].y;
  const float k = 1.0f / (dxE * dyA - dxA * dyE);
  auto gradient = [&](const float* q, float* dx, float* dy) {
    const float qA = q[a] - q[s], qE = q[e] - q[s];
    *dx = (qE * dyA - qA * dyE) * k;
    *dy = (qE * dxA - qA * dxE) * -k;
  };
  gradient(st.invZ, &st.dInvZdX, &st.dInvZdY);
  gradient(st.uOverZ, &st.dUOverZdX, &st.dUOverZdY);
  gradient(st.vOverZ, &st.dVOverZdX, &st.dVOverZdY);
  st.mipLevel = ChooseMip(st.lastMip, minDepth);
  // Rounding biases by the signs of du/dx and dv/dx at vertex A (du/dy,
  // dv/dy when those are 0).
  const float w = st.invZ[a];
  st.uBias = Bias(w * st.dUOverZdX - st.uOverZ[a] * st.dInvZdX,
                  w * st.dUOverZdY - st.uOverZ[a] * st.dInvZdY);
  st.vBias = Bias(w * st.dVOverZdX - st.vOverZ[a] * st.dInvZdX,
                  w * st.dVOverZdY - st.vOverZ[a] * st.dInvZdY);
  st.zStep = qxRaster_ToInt(st.dInvZdX * 65536.0f);
  st.dInvZdX16 = 16.0f * st.dInvZdX;
  st.dUOverZdX16 = 16.0f * st.dUOverZdX;
  st.dVOverZdX16 = 16.0f * st.dVOverZdX;
}

void DrawPoints(qxCacheFace* face, qxMaterialCel* cel) {
  const qxCanvas* canvas = CurrentCanvas();
  if (!canvas || !PlainBuffer(canvas->videoBuffer)) {
    Refuse(kNoCanvas);
    return;
  }
  const DisplayBuffer* video = canvas->videoBuffer;
  const int bpp = video->format.format.bitsPerPixel;
  uint32_t colour;
  if ((bpp != 8 && bpp != 16) || !face->screenVerts || !PointColour(face, cel, bpp, &colour)) {
    return;
  }
  const int32_t right = std::min(canvas->rectRight, video->format.width - 1);
  const int32_t bottom = std::min(canvas->rectBottom, video->format.height - 1);
  const uint32_t n = std::min<uint32_t>(face->vertexCount, QXCACHE_MAX_FACE_VERTICES);
  auto* pixels = static_cast<uint8_t*>(video->pixels);
  for (uint32_t i = 0; i < n; ++i) {
    const int32_t x = qxRaster_ToInt(face->screenVerts[i].x);
    const int32_t y = qxRaster_ToInt(face->screenVerts[i].y);
    if (x < std::max(canvas->rectLeft, 0) || x > right || y < std::max(canvas->rectTop, 0) ||
        y > bottom) {
      continue;  // outside the canvas
    }
    uint8_t* row = pixels + static_cast<int64_t>(video->format.bytesPerRow) * y;
    if (bpp == 8) {
      row[x] = static_cast<uint8_t>(colour);
    } else {
      reinterpret_cast<uint16_t*>(row)[x] = static_cast<uint16_t>(colour);
    }
  }
}

void DrawWireframe(qxCacheFace* face, qxMaterialCel* cel) {
  const qxCamera* camera = qxCore_pCurrentCamera;
  const qxCanvas* canvas = CurrentCanvas();
  if (!canvas || !canvas->videoBuffer) {
    Refuse(kNoCanvas);
    return;
  }
  const int bpp = canvas->videoBuffer->format.format.bitsPerPixel;
  uint32_t colour;
  if ((bpp != 8 && bpp != 16) || !PointColour(face, cel, bpp, &colour)) return;
  const int32_t n = static_cast<int32_t>(std::min<uint32_t>(face->vertexCount, 64));
  if (n < 1 || n > QXCACHE_MAX_FACE_VERTICES) {
    Refuse(kVertexCount);
    return;
  }
  if (!face->screenVerts) {
    Refuse(kNoArrays);
    return;
  }
  const qxVector3* v = face->screenVerts;
  // Line i joins vertex i and the next one, the last closing the outline.
  for (int32_t i = 0; i < n; ++i) {
    const qxVector3& a = v[i];
    const qxVector3& b = v[i + 1 < n ? i + 1 : 0];
    kv_RenderHooks_DrawLine(1, camera->canvas, qxRaster_ToInt(a.x), qxRaster_ToInt(a.y),
                            qxRaster_ToInt(b.x), qxRaster_ToInt(b.y), static_cast<int>(colour), -1);
  }
}

}  // namespace qxraster
