// The span rasterizer's sixteen polygon setups, the affine and perspective
// gradient setups, and the edge setups with their steppers.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "quadrix/qxColormap.h"
#include "quadrix/qxMaterial.h"
#include "raster/qxRaster.h"
#include "raster/qxRaster_Internal.h"
#include "raster/qxSpanRaster.h"
#include "raster/qxSpanRaster_Internal.h"
#include "std/stdDisplay.h"

namespace {

using qxraster::Kind;
using qxraster::Shade;
using qxraster::Wrap;

// ---- Checks ----

// The face can be set up as a polygon of this shade and kind on the target:
// it has a cel, 3 to 32 vertices on the canvas rows, the arrays and colormap
// tables its type reads, and (textured) a texture. Logged once per kind.
bool FaceUsable(const qxSpanPolygon* p, const qxMaterialCel* cel, Shade shade, Kind kind,
                const qxspan::Target& t) {
  using qxspan::Report;
  if (!t.valid) {
    Report(qxspan::kNoCanvas);
    return false;
  }
  if (!cel) {
    Report(qxspan::kNoMaterial);
    return false;
  }
  const qxCacheFace* f = p->face;
  const uint32_t n = f->vertexCount;
  if (n < 3 || n > QXCACHE_MAX_FACE_VERTICES || !f->screenVerts ||
      (kind != Kind::kSolid && !f->texVerts) || (shade == Shade::kGouraud && !f->levels) ||
      f->topVertex < 0 || f->topVertex >= static_cast<int32_t>(n) || f->bottomVertex < 0 ||
      f->bottomVertex >= static_cast<int32_t>(n)) {
    Report(qxspan::kBadFace);
    return false;
  }
  // Edges cover the lines ceil(y) of their upper vertex up to, not
  // including, ceil(y) of their lower one.
  for (uint32_t i = 0; i < n; ++i) {
    const qxVector3& v = f->screenVerts[i];
    const float cy = std::ceil(v.y);
    if (!std::isfinite(v.x) || !(cy >= static_cast<float>(t.rowFirst)) ||
        !(cy <= static_cast<float>(t.rowLast + 1))) {
      Report(qxspan::kOutside);
      return false;
    }
  }
  const qxColormap* cm = f->colormap;
  const bool lit = shade == Shade::kLit;
  const bool needs8 = (t.bpp == 8 && shade != Shade::kUnlit) || (kind == Kind::kSolid && lit);
  if (!cm || (needs8 && !cm->lightTable) || (t.bpp == 16 && !cm->lightTable16)) {
    Report(qxspan::kNoTables);
    return false;
  }
  if (kind != Kind::kSolid && !cel->texture) {
    Report(qxspan::kBadTexture);
    return false;
  }
  return true;
}

// The texture addressing of the polygon's mip level; false when that level
// is missing or smaller than its masks say.
bool BindMip(qxSpanPolygon* p, const qxMaterialTexture* tex) {
  const int32_t m = p->mipLevel;
  const DisplayBuffer* mip = tex->mipLevels[m];
  const int32_t shift = tex->log2Width - m;
  // The fetch shifts v right by 16 - mipShift.
  if (!mip || !mip->pixels || mip->storage != STDDISPLAY_PLAIN ||
      mip->format.format.bitsPerPixel != 8 || shift < 0 || shift > 16 || tex->widthMask < 0 ||
      tex->heightMask < 0) {
    qxspan::Report(qxspan::kBadTexture);
    return false;
  }
  const int32_t uMask = tex->widthMask >> m;
  const int64_t vMask = int64_t{tex->heightMask >> m} << shift;
  // The masks keep every texel read at or below this index.
  if (vMask + uMask >= mip->format.byteSize || vMask > INT32_MAX) {
    qxspan::Report(qxspan::kBadTexture);
    return false;
  }
  p->texels = static_cast<const uint8_t*>(mip->pixels);
  p->mipShift = shift;
  p->uMask = uMask;
  p->vMask = static_cast<int32_t>(vMask);
  return true;
}

// ---- Gradients ----

void InverseDepths(qxSpanPolygon* p) {
  const qxCacheFace* f = p->face;
  for (uint32_t i = 0; i < f->vertexCount; ++i) p->invZ[i] = 1.0f / f->screenVerts[i].z;
}

// The three vertices the plane gradients come from: T the top, B the bottom
// and S the vertex of one side chain farthest in x from their middle.
void GradientVertices(const qxCacheFace* f, int32_t* tOut, int32_t* bOut, int32_t* sOut) {
  const int32_t n = static_cast<int32_t>(f->vertexCount);
  if (n == 3) {
    *tOut = 0;
    *bOut = 1;
    *sOut = 2;
    return;
  }
  const qxVector3* v = f->screenVerts;
  const int32_t t = f->topVertex, b = f->bottomVertex;
  int32_t d;
  int32_t s = -1;
  if (Wrap(t + 1, n) == b) {
    d = -1;
  } else if (Wrap(t - 1, n) == b) {
    d = 1;
  } else {
    const int32_t next = Wrap(t + 1, n);
    s = next;
    if (std::abs(qxRaster_ToInt(v[next].x - v[b].x)) <= 1 &&
        std::abs(qxRaster_ToInt(v[next].x - v[t].x)) <= 1) {
      d = -1;
    } else {
      // The chain after the top when that vertex lies off the top-bottom line.
      const float slope = (v[b].y - v[t].y) / (v[b].x - v[t].x);
      const float onLine = v[t].y + slope * (v[next].x - v[t].x);
      d = std::fabs(v[next].y - onLine) >= 1.0f ? 1 : -1;
    }
  }
  const float mid = (v[b].x + v[t].x) * 0.5f;
  float best = 0.0f;
  for (int32_t k = Wrap(t + d, n); k != b; k = Wrap(k + d, n)) {
    const float distance = std::fabs(v[k].x - mid);
    if (distance > best) {
      best = distance;
      s = k;
    }
  }
  // No vertex off the middle and no start: the first vertex of the chain.
  if (s < 0) s = Wrap(t + d, n);
  *tOut = t;
  *bOut = b;
  *sOut = s;
}

// The screen plane through T, B and S; Of() gives a per-vertex value's
// gradients along x and y.
struct PlaneFit {
  float dx1, dx2, dy1, dy2, inv;
  PlaneFit(const qxVector3* v, int32_t t, int32_t b, int32_t s)
      : dx1(v[t].x - v[s].x),
        dx2(v[b].x - v[s].x),
        dy1(v[t].y - v[s].y),
        dy2(v[b].y - v[s].y),
        inv(1.0f / (dx2 * dy1 - dx1 * dy2)) {}
  void Of(float qT, float qB, float qS, float* dx, float* dy) const {
    const float qb = qB - qS, qt = qT - qS;
    *dx = (qb * dy1 - qt * dy2) * inv;
    *dy = (qb * dx1 - qt * dx2) * -inv;
  }
};

// With the bias, (u >> 16) rounds u to the nearest texel: an exact half
// rounds up where u grows to the right (or, flat along x, down the face).
int32_t Bias(float dx, float dy) {
  return dx > 0.0f || (dx == 0.0f && dy >= 0.0f) ? 32768 : 32767;
}

int32_t MipLevel(const qxSpanPolygon* p, int32_t lastMip) {
  return qxraster::ChooseMip(std::clamp(lastMip, 0, 3), p->face->minDepth);
}

// ---- Setups ----

template <Shade S, Kind X, qxSpanWalkProc Walker, qxSpanEdgeProc Edges>
void Setup(qxSpanPolygon* p, qxMaterialCel* cel, float level) {
  const qxspan::Target target = qxspan::CurrentTarget();
  if (!FaceUsable(p, cel, S, X, target)) {
    qxSpanRaster_SetupNone(p);
    return;
  }
  const qxColormap* cm = p->face->colormap;
  const int32_t colour = cel->colour & 0xFF;
  const int32_t row = S == Shade::kLit ? std::clamp(qxRaster_ToInt(level), 0, 63) : 63;
  if constexpr (X == Kind::kSolid) {
    InverseDepths(p);
    p->flatColour = S == Shade::kLit ? cm->lightTable[row * 256 + colour] : colour;
  } else {
    const qxMaterialTexture* tex = cel->texture;
    const int32_t lastMip = static_cast<int32_t>(std::min<uint32_t>(tex->mipCount, 5)) - 1;
    if constexpr (X == Kind::kAffine) {
      qxSpanRaster_SetupAffineGradients(p, lastMip);
    } else {
      qxSpanRaster_SetupPerspGradients(p, lastMip);
      p->dInvZdX16 = 16.0f * p->dInvZdX;
      p->dUOverZdX16 = 16.0f * p->dUOverZdX;
      p->dVOverZdX16 = 16.0f * p->dVOverZdX;
    }
    if (!BindMip(p, tex)) {
      qxSpanRaster_SetupNone(p);
      return;
    }
  }
  // Light rows: one row for lit polygons, the whole table for Gouraud ones;
  // unlit 8-bit texels are written as they are.
  p->lightRow = nullptr;
  p->lightRow16 = nullptr;
  if (target.bpp == 8) {
    if (S == Shade::kGouraud) p->lightRow = cm->lightTable;
    if (S == Shade::kLit && X != Kind::kSolid) p->lightRow = cm->lightTable + row * 256;
  } else if (target.bpp == 16) {
    p->lightRow16 = cm->lightTable16 + (S == Shade::kGouraud ? 0 : row * 256);
  }
  uint32_t kind = X == Kind::kAffine ? QXSPAN_KIND_AFFINE
                                     : (X == Kind::kPersp ? QXSPAN_KIND_PERSP : QXSPAN_KIND_FLAT);
  if (S == Shade::kGouraud) kind |= QXSPAN_KIND_GOURAUD;
  p->kind = kind;
  p->walkProc = Walker;
  p->edgeProc = Edges;
}

// ---- Edges ----

enum : unsigned {
  kInvZ = 1,          // 1/z from the per-vertex values (both edges)
  kUV = 2,            // 16.16 u and v (both edges)
  kLevel = 4,         // 16.16 light level (both edges)
  kPerspLeft = 8,     // left edges: 1/z, u/z and v/z from the polygon's plane
  kDivideSlope = 16,  // the x slope is a division rather than a product with 1 / dy
};

template <unsigned C>
void StepEdge(qxSpanEdge* e) {
  e->x = qxraster::Add(e->x, e->xStep);
  if constexpr ((C & (kInvZ | kPerspLeft)) != 0) e->invZ += e->invZStep;
  if constexpr ((C & kPerspLeft) != 0) {
    e->uOverZ += e->uOverZStep;
    e->vOverZ += e->vOverZStep;
  }
  if constexpr ((C & kUV) != 0) {
    e->u = qxraster::Add(e->u, e->uStep);
    e->v = qxraster::Add(e->v, e->vStep);
  }
  if constexpr ((C & kLevel) != 0) e->level = qxraster::Add(e->level, e->levelStep);
}

// Both sides carry C; perspective left edges also carry the plane values.
template <unsigned C, bool Persp, qxSpanStepProc LeftStep, qxSpanStepProc RightStep>
int32_t EdgeSetup(qxSpanEdge* e, qxSpanPolygon* p, int32_t a, int32_t b) {
  const qxVector3* v = p->face->screenVerts;
  const int64_t ya = qxRaster_ToInt(std::ceil(v[a].y));
  const int64_t yb = qxRaster_ToInt(std::ceil(v[b].y));
  if (ya == yb || std::llabs(yb - ya) > INT32_MAX) return 0;
  const bool down = yb > ya;
  const int32_t s = down ? a : b, end = down ? b : a;
  e->isLeft = down ? 1 : 0;
  e->startLine = static_cast<int32_t>(down ? ya : yb);
  e->lineCount = static_cast<int32_t>(down ? yb - ya : ya - yb);
  e->stepProc = down ? LeftStep : RightStep;
  const bool perspLeft = Persp && down;

  const qxVector3& vs = v[s];
  const qxVector3& ve = v[end];
  const float pre = std::ceil(vs.y) - vs.y;  // down to the first line's centre
  float xStart = vs.x;
  float slope = 0.0f;
  if (e->lineCount >= 2) {
    const float dy = ve.y - vs.y;
    const float r = 1.0f / dy;
    if constexpr ((C & kDivideSlope) != 0) {
      slope = (ve.x - vs.x) / dy;
    } else {
      slope = (ve.x - vs.x) * r;
    }
    e->xStep = qxRaster_ToInt(slope * 65536.0f);
    xStart = vs.x + slope * pre;
    e->x = qxRaster_ToInt(xStart * 65536.0f);
    if constexpr ((C & kInvZ) != 0) {
      e->invZStep = (p->invZ[end] - p->invZ[s]) * r;
      e->invZ = p->invZ[s] + e->invZStep * pre;
    }
    if constexpr ((C & kUV) != 0) {
      const qxVector2* uv = p->face->texVerts;
      const float du = (uv[end].x - uv[s].x) * r;
      const float dv = (uv[end].y - uv[s].y) * r;
      e->u = qxRaster_ToInt((uv[s].x + du * pre) * 65536.0f);
      e->uStep = qxRaster_ToInt(du * 65536.0f);
      e->v = qxRaster_ToInt((uv[s].y + dv * pre) * 65536.0f);
      e->vStep = qxRaster_ToInt(dv * 65536.0f);
    }
    if constexpr ((C & kLevel) != 0) {
      const float* lv = p->face->levels;
      const float dl = (lv[end] - lv[s]) * r;
      e->level = qxRaster_ToInt((lv[s] + dl * pre) * 65536.0f);
      e->levelStep = qxRaster_ToInt(dl * 65536.0f);
    }
  } else {
    // One line: the start vertex's values as they are, no steps (the edge
    // ends before it would be stepped).
    e->x = qxRaster_ToInt(vs.x * 65536.0f);
    e->xStep = 0;
    if constexpr ((C & kInvZ) != 0) {
      e->invZ = p->invZ[s];
      e->invZStep = 0.0f;
    }
    if constexpr ((C & kUV) != 0) {
      e->u = qxRaster_ToInt(p->face->texVerts[s].x * 65536.0f);
      e->v = qxRaster_ToInt(p->face->texVerts[s].y * 65536.0f);
      e->uStep = e->vStep = 0;
    }
    if constexpr ((C & kLevel) != 0) {
      e->level = qxRaster_ToInt(p->face->levels[s] * 65536.0f);
      e->levelStep = 0;
    }
  }
  if (perspLeft) {
    const float dx = xStart - vs.x;
    e->invZ = p->invZ[s] + pre * p->dInvZdY + dx * p->dInvZdX;
    e->uOverZ = p->uOverZ[s] + pre * p->dUOverZdY + dx * p->dUOverZdX;
    e->vOverZ = p->vOverZ[s] + pre * p->dVOverZdY + dx * p->dVOverZdX;
    if (e->lineCount >= 2) {
      e->invZStep = slope * p->dInvZdX + p->dInvZdY;
      e->uOverZStep = slope * p->dUOverZdX + p->dUOverZdY;
      e->vOverZStep = slope * p->dVOverZdX + p->dVOverZdY;
    } else {
      e->invZStep = e->uOverZStep = e->vOverZStep = 0.0f;
    }
  }
  return 1;
}

}  // namespace

// ---- Steppers ----

void qxSpanRaster_StepEdgeFlat(qxSpanEdge* e) {
  StepEdge<kInvZ>(e);
}
void qxSpanRaster_StepEdgeGouraud(qxSpanEdge* e) {
  StepEdge<kInvZ | kLevel>(e);
}
void qxSpanRaster_StepEdgeAffine(qxSpanEdge* e) {
  StepEdge<kInvZ | kUV>(e);
}
void qxSpanRaster_StepEdgeAffineGouraud(qxSpanEdge* e) {
  StepEdge<kInvZ | kUV | kLevel>(e);
}
void qxSpanRaster_StepLeftEdgePersp(qxSpanEdge* e) {
  StepEdge<kPerspLeft>(e);
}
void qxSpanRaster_StepRightEdgePersp(qxSpanEdge* e) {
  StepEdge<0>(e);
}
void qxSpanRaster_StepLeftEdgePerspGouraud(qxSpanEdge* e) {
  StepEdge<kPerspLeft | kLevel>(e);
}
void qxSpanRaster_StepRightEdgePerspGouraud(qxSpanEdge* e) {
  StepEdge<kLevel>(e);
}

// ---- Edge setups ----

int32_t qxSpanRaster_EdgeSetupNone(qxSpanEdge*, qxSpanPolygon*, int32_t, int32_t) {
  return 0;
}

int32_t qxSpanRaster_EdgeSetupFlat(qxSpanEdge* e, qxSpanPolygon* p, int32_t a, int32_t b) {
  return EdgeSetup<kInvZ, false, qxSpanRaster_StepEdgeFlat, qxSpanRaster_StepEdgeFlat>(e, p, a, b);
}

int32_t qxSpanRaster_EdgeSetupGouraud(qxSpanEdge* e, qxSpanPolygon* p, int32_t a, int32_t b) {
  return EdgeSetup<kInvZ | kLevel, false, qxSpanRaster_StepEdgeGouraud,
                   qxSpanRaster_StepEdgeGouraud>(e, p, a, b);
}

int32_t qxSpanRaster_EdgeSetupAffine(qxSpanEdge* e, qxSpanPolygon* p, int32_t a, int32_t b) {
  return EdgeSetup<kInvZ | kUV, false, qxSpanRaster_StepEdgeAffine, qxSpanRaster_StepEdgeAffine>(
      e, p, a, b);
}

int32_t qxSpanRaster_EdgeSetupAffineGouraud(qxSpanEdge* e, qxSpanPolygon* p, int32_t a, int32_t b) {
  return EdgeSetup<kInvZ | kUV | kLevel, false, qxSpanRaster_StepEdgeAffineGouraud,
                   qxSpanRaster_StepEdgeAffineGouraud>(e, p, a, b);
}

int32_t qxSpanRaster_EdgeSetupPersp(qxSpanEdge* e, qxSpanPolygon* p, int32_t a, int32_t b) {
  return EdgeSetup<kDivideSlope, true, qxSpanRaster_StepLeftEdgePersp,
                   qxSpanRaster_StepRightEdgePersp>(e, p, a, b);
}

int32_t qxSpanRaster_EdgeSetupPerspGouraud(qxSpanEdge* e, qxSpanPolygon* p, int32_t a, int32_t b) {
  return EdgeSetup<kLevel, true, qxSpanRaster_StepLeftEdgePerspGouraud,
                   qxSpanRaster_StepRightEdgePerspGouraud>(e, p, a, b);
}

// ---- Gradient setups ----

void qxSpanRaster_SetupAffineGradients(qxSpanPolygon* p, int32_t lastMip) {
  InverseDepths(p);
  const qxCacheFace* f = p->face;
  const qxVector2* uv = f->texVerts;
  int32_t t, b, s;
  GradientVertices(f, &t, &b, &s);
  const PlaneFit plane(f->screenVerts, t, b, s);
  float dx, dy;
  plane.Of(uv[t].x, uv[b].x, uv[s].x, &dx, &dy);
  p->uBias = Bias(dx, dy);
  plane.Of(uv[t].y, uv[b].y, uv[s].y, &dx, &dy);
  p->vBias = Bias(dx, dy);
  p->mipLevel = MipLevel(p, lastMip);
}

void qxSpanRaster_SetupPerspGradients(qxSpanPolygon* p, int32_t lastMip) {
  const qxCacheFace* f = p->face;
  for (uint32_t i = 0; i < f->vertexCount; ++i) {
    const float w = 1.0f / f->screenVerts[i].z;
    p->invZ[i] = w;
    p->uOverZ[i] = w * f->texVerts[i].x;
    p->vOverZ[i] = w * f->texVerts[i].y;
  }
  int32_t t, b, s;
  GradientVertices(f, &t, &b, &s);
  const PlaneFit plane(f->screenVerts, t, b, s);
  plane.Of(p->invZ[t], p->invZ[b], p->invZ[s], &p->dInvZdX, &p->dInvZdY);
  plane.Of(p->uOverZ[t], p->uOverZ[b], p->uOverZ[s], &p->dUOverZdX, &p->dUOverZdY);
  plane.Of(p->vOverZ[t], p->vOverZ[b], p->vOverZ[s], &p->dVOverZdX, &p->dVOverZdY);
  p->zStep = qxRaster_ToInt(p->dInvZdX * 65536.0f);
  p->mipLevel = MipLevel(p, lastMip);
  // The signs of du/dx and dv/dx at T (du/dy, dv/dy when those are 0).
  const float w = p->invZ[t];
  p->uBias = Bias(w * p->dUOverZdX - p->uOverZ[t] * p->dInvZdX,
                  w * p->dUOverZdY - p->uOverZ[t] * p->dInvZdY);
  p->vBias = Bias(w * p->dVOverZdX - p->vOverZ[t] * p->dInvZdX,
                  w * p->dVOverZdY - p->vOverZ[t] * p->dInvZdY);
}

// ---- Setups ----

void qxSpanRaster_SetupNone(qxSpanPolygon* p) {
  p->kind = QXSPAN_KIND_FLAT;
  p->walkProc = qxSpanRaster_WalkNone;
  p->edgeProc = qxSpanRaster_EdgeSetupNone;
}

#define QXSPAN_SETUP(name, S, X, walker, edges)                  \
  void name(qxSpanPolygon* p, qxMaterialCel* cel) {              \
    Setup<Shade::k##S, Kind::k##X, walker, edges>(p, cel, 0.0f); \
  }
#define QXSPAN_LIT_SETUP(name, X, walker, edges)                  \
  void name(qxSpanPolygon* p, qxMaterialCel* cel, float level) {  \
    Setup<Shade::kLit, Kind::k##X, walker, edges>(p, cel, level); \
  }

QXSPAN_SETUP(qxSpanRaster_SetupWireframe, Unlit, Solid, qxSpanRaster_WalkOutline,
             qxSpanRaster_EdgeSetupFlat)
QXSPAN_SETUP(qxSpanRaster_SetupSolidUnlit, Unlit, Solid, qxSpanRaster_WalkSolidUnlit,
             qxSpanRaster_EdgeSetupFlat)
QXSPAN_LIT_SETUP(qxSpanRaster_SetupSolidLit, Solid, qxSpanRaster_WalkSolidLit,
                 qxSpanRaster_EdgeSetupFlat)
QXSPAN_SETUP(qxSpanRaster_SetupSolidGouraud, Gouraud, Solid, qxSpanRaster_WalkSolidGouraud,
             qxSpanRaster_EdgeSetupGouraud)
QXSPAN_SETUP(qxSpanRaster_SetupAffineUnlit, Unlit, Affine, qxSpanRaster_WalkAffineUnlit,
             qxSpanRaster_EdgeSetupAffine)
QXSPAN_SETUP(qxSpanRaster_SetupAffineUnlitKeyed, Unlit, Affine, qxSpanRaster_WalkAffineUnlitKeyed,
             qxSpanRaster_EdgeSetupAffine)
QXSPAN_LIT_SETUP(qxSpanRaster_SetupAffineLit, Affine, qxSpanRaster_WalkAffineLit,
                 qxSpanRaster_EdgeSetupAffine)
QXSPAN_LIT_SETUP(qxSpanRaster_SetupAffineLitKeyed, Affine, qxSpanRaster_WalkAffineLitKeyed,
                 qxSpanRaster_EdgeSetupAffine)
QXSPAN_SETUP(qxSpanRaster_SetupAffineGouraud, Gouraud, Affine, qxSpanRaster_WalkAffineGouraud,
             qxSpanRaster_EdgeSetupAffineGouraud)
QXSPAN_SETUP(qxSpanRaster_SetupAffineGouraudKeyed, Gouraud, Affine,
             qxSpanRaster_WalkAffineGouraudKeyed, qxSpanRaster_EdgeSetupAffineGouraud)
QXSPAN_SETUP(qxSpanRaster_SetupPerspUnlit, Unlit, Persp, qxSpanRaster_WalkPerspUnlit,
             qxSpanRaster_EdgeSetupPersp)
QXSPAN_SETUP(qxSpanRaster_SetupPerspUnlitKeyed, Unlit, Persp, qxSpanRaster_WalkPerspUnlitKeyed,
             qxSpanRaster_EdgeSetupPersp)
QXSPAN_LIT_SETUP(qxSpanRaster_SetupPerspLit, Persp, qxSpanRaster_WalkPerspLit,
                 qxSpanRaster_EdgeSetupPersp)
QXSPAN_LIT_SETUP(qxSpanRaster_SetupPerspLitKeyed, Persp, qxSpanRaster_WalkPerspLitKeyed,
                 qxSpanRaster_EdgeSetupPersp)
QXSPAN_SETUP(qxSpanRaster_SetupPerspGouraud, Gouraud, Persp, qxSpanRaster_WalkPerspGouraud,
             qxSpanRaster_EdgeSetupPerspGouraud)
QXSPAN_SETUP(qxSpanRaster_SetupPerspGouraudKeyed, Gouraud, Persp,
             qxSpanRaster_WalkPerspGouraudKeyed, qxSpanRaster_EdgeSetupPerspGouraud)
