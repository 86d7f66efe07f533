// What the two direct rasterizer families share: the per-face state, the
// face set-up and guards, the edge walk, and the span loops as templates
// over the family (depth buffer or not), the pixel size and the variant
// (lighting, translucency, colour key, solid / affine / perspective). Each
// named edge stepper and span filler is one instantiation of these.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "quadrix/qxCache.h"
#include "quadrix/qxVector.h"
#include "raster/qxRaster.h"

struct qxMaterialTexture;

// The perspective set-up's part of a family's face state (it also serves
// the solid and affine faces: walk inputs, texture addressing, colours).
struct qxPerspFaceState {
  int32_t vertexCount, topVertex, bottomVertex;
  int32_t leftStep, rightStep;  // +1 or -1: the direction each edge walks the vertices
  const qxVector3* screenVerts;
  const qxVector2* texVerts;
  const float* levels;                    // Gouraud faces: 0..63 per vertex
  int32_t lastMip;                        // the texture's mip count - 1
  float invZ[QXCACHE_MAX_FACE_VERTICES];  // 1/z, or 1/(z + 1) with the depth buffer
  float uOverZ[QXCACHE_MAX_FACE_VERTICES];
  float vOverZ[QXCACHE_MAX_FACE_VERTICES];
  float dInvZdX, dInvZdY, dUOverZdX, dUOverZdY, dVOverZdX, dVOverZdY;
  float dInvZdX16, dUOverZdX16, dVOverZdX16;  // 16 x the x gradients: one run
  int32_t mipLevel, uBias, vBias;
  const uint8_t* texels;  // the chosen mip level
  int32_t mipShift, uMask, vMask;
  const uint8_t* lightRow;     // 8-bit: one row of lightTable, or all of it (Gouraud)
  const uint16_t* lightRow16;  // 16-bit: one row of lightTable16, or all of it (Gouraud)
  const uint8_t* inverse;      // the face colormap's inverse table
  const uint8_t* trans;        // the display colormap's translucency table
  int32_t zStep;               // 16.16 depth change per pixel (perspective, depth buffer)
  int32_t zShift;              // the canvas's, 0..16
};

struct qxRasterFaceState : qxPerspFaceState {
  uint8_t* pixels;  // video buffer: row y at pixels + stride x y
  int32_t stride;
  int32_t bitsPerPixel;
  uint8_t* zPixels;  // depth buffer, 16 bits a pixel
  int32_t zStride;
  // Spans are held to the face's committed bounds: columns [clipLeft,
  // clipRight) in 16.16, rows [clipTop, clipBottom).
  int64_t clipLeft, clipRight;
  int32_t clipTop, clipBottom;
  uint8_t colour;             // the cel's palette index
  uint8_t flat8;              // solid: the 8-bit colour (lit) or translucent source
  uint16_t flat16;            // solid: the 16-bit colour
  uint8_t transSource16;      // solid, 16-bit translucent: the source index s
  const uint16_t* fullRow16;  // row 63 of lightTable16
  const qxMaterialTexture* texture;
  float w[QXCACHE_MAX_FACE_VERTICES];  // depth family, solid and affine: 1/(z + 1)
};

extern qxRasterFaceState qxRaster_state;   // the family without depth buffer
extern qxRasterFaceState qxZRaster_state;  // the family with depth buffer

namespace qxraster {

enum class Shade { kUnlit, kLit, kGouraud };  // solid faces: kUnlit is the flat colour
enum class Kind { kSolid, kAffine, kPersp };

struct Variant {
  Shade shade;
  bool trans;
  bool keyed;
  Kind kind;
};

// Checks the guards and fills the canvas, walk and colour parts of the
// state. False when the face is not drawn.
bool BeginFace(qxRasterFaceState& st, qxCacheFace* face, qxMaterialCel* cel, float level, Variant v,
               bool depth);
// Texture addressing of the chosen mip level; false (logged) when that
// level is missing or smaller than its masks say.
bool BindMip(qxRasterFaceState& st);
// The gradient vertices A (top), E (bottom) and S (the side vertex).
// Triangles take 0, 1 and 2. The depth family tests only the line and
// starts S at the top vertex; the perspective set-up forms the line's slope
// before multiplying.
void GradientVertices(const qxRasterFaceState& st, bool depth, bool slopeFirst, int32_t* a,
                      int32_t* e, int32_t* s);
int32_t ChooseMip(int32_t lastMip, float depth);
void SetupAffine(qxRasterFaceState& st, bool depth, float minDepth);
void SetupPersp(qxRasterFaceState& st, bool depth, float minDepth);

// Points and wireframes are the same in both families.
void DrawPoints(qxCacheFace* face, qxMaterialCel* cel);
void DrawWireframe(qxCacheFace* face, qxMaterialCel* cel);

// ---- Fixed point ----

// Additions that wrap as the 32-bit registers did: degenerate faces may
// step values past the range; what they draw then is meaningless but safe.
inline int32_t Add(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
// (a x b) >> 16 with a 64-bit product.
inline int32_t MulShift16(int64_t a, int64_t b) {
  return static_cast<int32_t>(
      static_cast<int64_t>(static_cast<uint64_t>(a) * static_cast<uint64_t>(b)) >> 16);
}
// The per-pixel step of a span of n pixels from ql to qr.
inline int32_t SpanStep(int32_t ql, int32_t qr, int32_t recip) {
  return MulShift16(static_cast<int64_t>(qr) - ql, recip);
}
// Small falls of the light level are flattened; small rises stay.
inline int32_t FlattenLevelStep(int32_t dl) {
  return dl >= -1309 && dl <= -1 ? 0 : dl;
}
// The smallest whole pixel at or right of a 16.16 x.
inline int64_t Ceil16(int32_t x) {
  return (static_cast<int64_t>(x) + 0xFFFF) & ~int64_t{0xFFFF};
}

// ---- Edges ----

enum : unsigned {
  kCarryW = 1,        // w = 1/(z + 1), both edges (depth family, solid and affine)
  kCarryUV = 2,       // 16.16 u and v (affine)
  kCarryLevel = 4,    // 16.16 light level (Gouraud)
  kCarryPersp = 8,    // 1/z, u/z, v/z at the edge's exact point (perspective left edge)
  kDivideSlope = 16,  // the slope is a division (perspective left edge without level)
};

inline int32_t Wrap(int32_t i, int32_t n) {
  return i < 0 ? n - 1 : (i > n - 1 ? 0 : i);
}

// Sets up the next section of an edge walking the vertices in direction
// dir from its nextVertex: sections that cover no scan line are skipped.
// 1 when the walk reaches the bottom vertex.
template <unsigned C>
int StepEdge(const qxRasterFaceState& st, qxRasterEdge* e, int32_t dir) {
  int32_t i = e->nextVertex;
  for (;;) {
    if (i == st.bottomVertex) return 1;
    const int32_t k = Wrap(i + dir, st.vertexCount);
    const qxVector3& a = st.screenVerts[i];
    const qxVector3& b = st.screenVerts[k];
    const float ceilA = std::ceil(a.y);
    const int32_t y0 = qxRaster_ToInt(ceilA);
    const int32_t lines = qxRaster_ToInt(std::ceil(b.y)) - y0;  // the guards bound every y
    if (lines <= 0) {
      i = k;
      continue;
    }
    e->y = y0;
    e->lines = lines;
    const float p = ceilA - a.y;  // pre-step to the first scan line
    if (lines == 1) {
      // The section is drawn once, at its upper vertex: no pre-step, no steps.
      e->x = qxRaster_ToInt(a.x * 65536.0f);
      if constexpr ((C & kCarryW) != 0) e->w = st.w[i];
      if constexpr ((C & kCarryUV) != 0) {
        e->u = qxRaster_ToInt(st.texVerts[i].x * 65536.0f);
        e->v = qxRaster_ToInt(st.texVerts[i].y * 65536.0f);
      }
      if constexpr ((C & kCarryLevel) != 0) e->level = qxRaster_ToInt(st.levels[i] * 65536.0f);
      if constexpr ((C & kCarryPersp) != 0) {
        e->invZ = st.invZ[i] + p * st.dInvZdY;
        e->uOverZ = st.uOverZ[i] + p * st.dUOverZdY;
        e->vOverZ = st.vOverZ[i] + p * st.dVOverZdY;
      }
    } else {
      const float dy = b.y - a.y;
      const float r = 1.0f / dy;
      float slope;
      if constexpr ((C & kDivideSlope) != 0) {
        slope = (b.x - a.x) / dy;
      } else {
        slope = (b.x - a.x) * r;
      }
      e->xStep = qxRaster_ToInt(slope * 65536.0f);
      const float x1 = a.x + slope * p;
      e->x = qxRaster_ToInt(x1 * 65536.0f);
      if constexpr ((C & kCarryW) != 0) {
        e->wStep = (st.w[k] - st.w[i]) / dy;
        e->w = st.w[i] + e->wStep * p;
      }
      if constexpr ((C & kCarryUV) != 0) {
        const float du = (st.texVerts[k].x - st.texVerts[i].x) * r;
        const float dv = (st.texVerts[k].y - st.texVerts[i].y) * r;
        e->u = qxRaster_ToInt((st.texVerts[i].x + du * p) * 65536.0f);
        e->uStep = qxRaster_ToInt(du * 65536.0f);
        e->v = qxRaster_ToInt((st.texVerts[i].y + dv * p) * 65536.0f);
        e->vStep = qxRaster_ToInt(dv * 65536.0f);
      }
      if constexpr ((C & kCarryLevel) != 0) {
        const float dl = (st.levels[k] - st.levels[i]) * r;
        e->levelStep = qxRaster_ToInt(dl * 65536.0f);
        e->level = qxRaster_ToInt((st.levels[i] + dl * p) * 65536.0f);
      }
      if constexpr ((C & kCarryPersp) != 0) {
        const float o = x1 - a.x;  // how far the exact point moved along x
        e->invZStep = st.dInvZdY + slope * st.dInvZdX;
        e->uOverZStep = st.dUOverZdY + slope * st.dUOverZdX;
        e->vOverZStep = st.dVOverZdY + slope * st.dVOverZdX;
        e->invZ = st.invZ[i] + p * st.dInvZdY + o * st.dInvZdX;
        e->uOverZ = st.uOverZ[i] + p * st.dUOverZdY + o * st.dUOverZdX;
        e->vOverZ = st.vOverZ[i] + p * st.dVOverZdY + o * st.dVOverZdX;
      }
    }
    e->nextVertex = k;
    return 0;
  }
}

// One scan line down the current section.
template <unsigned C>
inline void AdvanceEdge(qxRasterEdge* e) {
  e->x = Add(e->x, e->xStep);
  if constexpr ((C & kCarryW) != 0) e->w += e->wStep;
  if constexpr ((C & kCarryUV) != 0) {
    e->u = Add(e->u, e->uStep);
    e->v = Add(e->v, e->vStep);
  }
  if constexpr ((C & kCarryLevel) != 0) e->level = Add(e->level, e->levelStep);
  if constexpr ((C & kCarryPersp) != 0) {
    e->invZ += e->invZStep;
    e->uOverZ += e->uOverZStep;
    e->vOverZ += e->vOverZStep;
  }
  ++e->y;
}

// What each edge of a face of this variant carries.
template <bool Z, Shade S, Kind X>
constexpr unsigned kRightCarry = (Z && X != Kind::kPersp ? kCarryW : 0u) |
                                 (X == Kind::kAffine ? kCarryUV : 0u) |
                                 (S == Shade::kGouraud ? kCarryLevel : 0u);
template <bool Z, Shade S, Kind X>
constexpr unsigned kLeftCarry = kRightCarry<Z, S, X> | (X == Kind::kPersp ? kCarryPersp : 0u) |
                                (X == Kind::kPersp && S != Shade::kGouraud ? kDivideSlope : 0u);

// ---- Pixels ----

template <class P>
inline P* Row(const qxRasterFaceState& st, int32_t y) {
  return reinterpret_cast<P*>(st.pixels + static_cast<int64_t>(st.stride) * y);
}
inline uint16_t* ZRow(const qxRasterFaceState& st, int32_t y) {
  return reinterpret_cast<uint16_t*>(st.zPixels + static_cast<int64_t>(st.zStride) * y);
}

// What the pixel loops read of the face state, copied once per span: a
// local copy stays in registers while the loop stores pixels (which could
// otherwise alias the state and force it to be read again every pixel).
struct PixelContext {
  const uint8_t* texels;
  int32_t uMask;
  int32_t vShift, vRowMask;  // 16 - mipShift, vMask << mipShift: the row offset in one mask
  const uint8_t* lightRow;
  const uint16_t* lightRow16;
  const uint16_t* fullRow16;
  const uint8_t* trans;
  const uint8_t* inverse;
  int32_t zShift;
  uint8_t colour, flat8, transSource16;
  uint16_t flat16;
};

inline PixelContext ContextOf(const qxRasterFaceState& st) {
  return {st.texels,        st.uMask,      16 - st.mipShift, st.vMask << st.mipShift,
          st.lightRow,      st.lightRow16, st.fullRow16,     st.trans,
          st.inverse,       st.zShift,     st.colour,        st.flat8,
          st.transSource16, st.flat16};
}

// The texel at ((v >> 16) & vMask, (u >> 16) & uMask) of the mip level.
inline uint32_t Texel(const PixelContext& c, int32_t u, int32_t v) {
  return c.texels[static_cast<uint32_t>((v >> c.vShift) & c.vRowMask) +
                  static_cast<uint32_t>((u >> 16) & c.uMask)];
}

// The colour a pixel of the variant takes: t is the texel (textured faces),
// row the light row (Gouraud), d the destination pixel.
template <class P, Shade S, bool T, bool K, Kind X>
inline P Colour(const PixelContext& c, uint32_t t, int32_t row, P d) {
  constexpr bool k8 = sizeof(P) == 1;
  if constexpr (X == Kind::kSolid) {
    if constexpr (S == Shade::kGouraud) {
      if constexpr (k8) {
        const uint8_t lit = c.lightRow[row * 256 + c.colour];
        if constexpr (T) return c.trans[lit * 256 + d];
        return lit;
      } else {
        if constexpr (T) {
          return c.lightRow16[row * 256 + c.trans[c.transSource16 * 256 + c.inverse[d]]];
        }
        return c.lightRow16[row * 256 + c.colour];
      }
    } else {
      if constexpr (k8) {
        if constexpr (T) return c.trans[c.flat8 * 256 + d];
        return c.flat8;
      } else {
        if constexpr (T) return c.fullRow16[c.trans[c.transSource16 * 256 + c.inverse[d]]];
        return c.flat16;
      }
    }
  } else if constexpr (S == Shade::kUnlit) {
    if constexpr (k8) {
      if constexpr (T) return c.trans[t * 256 + d];
      return static_cast<P>(t);
    } else {
      if constexpr (T) return c.lightRow16[c.trans[t * 256 + c.inverse[d]]];
      return c.lightRow16[t];
    }
  } else {
    // Lit faces light through one row; Gouraud faces through the pixel's row.
    // Only the table of the canvas's depth is set (the other is null).
    const uint8_t* r8 = nullptr;
    const uint16_t* r16 = nullptr;
    if constexpr (k8) {
      r8 = S == Shade::kLit ? c.lightRow : c.lightRow + row * 256;
    } else {
      r16 = S == Shade::kLit ? c.lightRow16 : c.lightRow16 + row * 256;
    }
    if constexpr (!T) {
      if constexpr (k8) return r8[t];
      return r16[t];
    } else {
      // Keyed faces blend the texel and light the blend; the others light
      // the texel and blend it, except the 16-bit affine Gouraud faces,
      // which blend first as the keyed ones do.
      constexpr bool kBlendFirst = K || (!k8 && S == Shade::kGouraud && X == Kind::kAffine);
      if constexpr (k8) {
        if constexpr (kBlendFirst) return r8[c.trans[t * 256 + d]];
        return c.trans[r8[t] * 256 + d];
      } else {
        if constexpr (kBlendFirst) return r16[c.trans[t * 256 + c.inverse[d]]];
        return r16[c.trans[c.inverse[r16[t]] * 256 + c.inverse[d]]];
      }
    }
  }
}

// One pixel: the depth test (depth family), the texel and its key, the
// colour, then the depth write.
template <bool Z, class P, Shade S, bool T, bool K, Kind X, bool Shifted = true>
inline void Plot(const PixelContext& c, P* dst, uint16_t* zdst, int32_t z, int32_t u, int32_t v,
                 int32_t row) {
  uint16_t zz = 0;
  if constexpr (Z) {
    zz = static_cast<uint16_t>(Shifted ? z >> c.zShift : z);
    if (zz <= *zdst) return;  // equal depths keep what was drawn first
  }
  uint32_t t = 0;
  if constexpr (X != Kind::kSolid) {
    t = Texel(c, u, v);
    if constexpr (K) {
      if (t == 0) return;
    }
  }
  *dst = Colour<P, S, T, K, X>(c, t, row, *dst);
  if constexpr (Z) *zdst = zz;
}

// Where a span's pixel loop stands: destinations and 16.16 values with
// their steps per pixel.
template <class P>
struct Cursor {
  P* dst;
  uint16_t* zdst;
  int32_t u, v, du, dv;
  int32_t level, dl;
  int32_t z, zStep;
};

// count pixels from the cursor, which moves past them. Every value steps
// after every pixel, drawn or not.
template <bool Z, class P, Shade S, bool T, bool K, Kind X, bool Shifted>
inline void PixelLoop(const PixelContext& c, Cursor<P>& k, int32_t count) {
  P* dst = k.dst;
  uint16_t* zdst = k.zdst;
  int32_t u = k.u, v = k.v, level = k.level, z = k.z;
  const int32_t du = k.du, dv = k.dv, dl = k.dl, zStep = k.zStep;
  for (int32_t i = 0; i < count; ++i) {
    Plot<Z, P, S, T, K, X, Shifted>(c, dst + i, Z ? zdst + i : nullptr, z, u, v,
                                    (level >> 16) & 63);
    if constexpr (X != Kind::kSolid) {
      u = Add(u, du);
      v = Add(v, dv);
    }
    if constexpr (S == Shade::kGouraud) level = Add(level, dl);
    if constexpr (Z) z = Add(z, zStep);
  }
  k.dst = dst + count;
  if constexpr (Z) k.zdst = zdst + count;
  k.u = u;
  k.v = v;
  k.level = level;
  k.z = z;
}

// The engine's canvas keeps its depths unshifted: that loop is its own.
template <bool Z, class P, Shade S, bool T, bool K, Kind X>
inline void Pixels(const PixelContext& c, Cursor<P>& k, int32_t count) {
  if (Z && c.zShift != 0) {
    PixelLoop<Z, P, S, T, K, X, true>(c, k, count);
  } else {
    PixelLoop<Z, P, S, T, K, X, false>(c, k, count);
  }
}

// The span's first pixel x0 (16.16 xl) and its pixel count n on the left
// edge's line, held to the face's bounds. False when it is empty.
inline bool SpanExtent(const qxRasterFaceState& st, const qxRasterEdge* l, const qxRasterEdge* r,
                       int64_t* xl, int32_t* x0, int32_t* n) {
  if (l->y < st.clipTop || l->y >= st.clipBottom) return false;
  const int64_t a = std::max(Ceil16(l->x), st.clipLeft);
  const int64_t b = std::min(Ceil16(r->x), st.clipRight);
  if (b <= a) return false;
  *xl = a;
  *x0 = static_cast<int32_t>(a >> 16);
  *n = static_cast<int32_t>((b - a) >> 16);
  return true;
}

// Dither of the 16-bit affine Gouraud span of the depth family: quarters of
// a level by [row parity][column parity].
inline constexpr int32_t kDither[2][2] = {{0, 0xC000}, {0x8000, 0x4000}};

// The span of a solid or affine face: values interpolated linearly across
// the span in 16.16 from the two edges.
template <bool Z, class P, Shade S, bool T, bool K, Kind X>
void AffineSpan(const qxRasterFaceState& st, const qxRasterEdge* l, const qxRasterEdge* r) {
  int64_t xl;
  int32_t x0, n;
  if (!SpanExtent(st, l, r, &xl, &x0, &n)) return;
  Cursor<P> k{Row<P>(st, l->y) + x0, nullptr, 0, 0, 0, 0, 0, 0, 0, 0};
  if constexpr (!Z && sizeof(P) == 1 && X == Kind::kSolid && S != Shade::kGouraud && !T) {
    std::memset(k.dst, st.flat8, static_cast<size_t>(n));
    return;
  }
  const int64_t sub = xl - l->x;  // edge to the first pixel, 16.16
  const int32_t recip = qxRecipTables.recipFixed[n];
  if constexpr (S == Shade::kGouraud) {
    k.dl = FlattenLevelStep(SpanStep(l->level, r->level, recip));
    k.level = Add(l->level, MulShift16(k.dl, sub));
  }
  if constexpr (X == Kind::kAffine) {
    const int32_t du = SpanStep(l->u, r->u, recip), dv = SpanStep(l->v, r->v, recip);
    k.u = Add(Add(l->u, MulShift16(du, sub)) >> st.mipLevel, st.uBias);
    k.v = Add(Add(l->v, MulShift16(dv, sub)) >> st.mipLevel, st.vBias);
    k.du = du >> st.mipLevel;
    k.dv = dv >> st.mipLevel;
  }
  if constexpr (Z) {
    const float dw = (r->w - l->w) * qxRecipTables.recipFloat[n];
    k.zStep = qxRaster_ToInt(dw * 65536.0f);
    k.z = qxRaster_ToInt((l->w + dw * static_cast<float>(sub) / 65536.0f) * 65536.0f);
    k.zdst = ZRow(st, l->y) + x0;
  }
  const PixelContext c = ContextOf(st);
  constexpr bool kDithered =
      Z && sizeof(P) == 2 && X == Kind::kAffine && S == Shade::kGouraud && !T && !K;
  if constexpr (kDithered) {
    const int32_t* dither = kDither[l->y & 1];
    int32_t column = (x0 + n + 1) & 1;
    for (int32_t i = 0; i < n; ++i) {
      const int32_t row = std::clamp(Add(k.level, dither[column]) >> 16, 0, 63);
      Plot<Z, P, S, T, K, X>(c, k.dst + i, k.zdst + i, k.z, k.u, k.v, row);
      column ^= 1;
      k.u = Add(k.u, k.du);
      k.v = Add(k.v, k.dv);
      k.level = Add(k.level, k.dl);
      k.z = Add(k.z, k.zStep);
    }
  } else {
    Pixels<Z, P, S, T, K, X>(c, k, n);
  }
}

// Head, full runs and tail of a perspective span of n pixels from x0: every
// run after the head starts on a multiple of 16, and the last run of a span
// that goes past its head holds 1 to 16 pixels.
struct RunSplit {
  int32_t head, full, tail;
};
inline RunSplit SplitRuns(int32_t x0, int32_t n) {
  const int32_t r = x0 & 15;
  RunSplit s{r == 0 ? 0 : std::min(16 - r, n), 0, 0};
  const int32_t rest = n - s.head;
  if (rest > 0) {
    s.full = rest / 16;
    s.tail = rest % 16;
    if (s.tail == 0) {
      --s.full;
      s.tail = 16;
    }
  }
  return s;
}

// 1/z, u/z and v/z at one point of the span.
struct Planar {
  float invZ, uOverZ, vOverZ;
};

// One run of a perspective span: its pixel count and the 16.16 start and
// step of U and V in texels of the mip level, biases included.
struct PerspRun {
  int32_t count, u, v, du, dv;
};
// A head, at most 127 full runs and a tail: spans are narrower than 2048
// pixels.
inline constexpr int32_t kMaxPerspRuns = 2047 / 16 + 2;

// The runs of a perspective span of n pixels from x0, whose first pixel
// has the planar values p0. The runs are all set up before any pixel is
// drawn, so that their divisions overlap one another instead of each
// waiting behind the pixel loop of the run before. Returns their number.
template <bool Z, Shade S>
int32_t PerspRuns(const qxRasterFaceState& st, int32_t x0, int32_t n, const Planar& p0,
                  PerspRun* runs) {
  const Planar g = {st.dInvZdX, st.dUOverZdX, st.dVOverZdX};
  const Planar g16 = {st.dInvZdX16, st.dUOverZdX16, st.dVOverZdX16};
  const int32_t mip = st.mipLevel;
  const int32_t uBias = st.uBias, vBias = st.vBias;
  const float za = 1.0f / p0.invZ;
  float ua = p0.uOverZ * za, va = p0.vOverZ * za;
  int32_t count = 0;
  // U or V of a run that restarts from the exact value a.
  auto start = [&](float a, int32_t bias) {
    return Add(qxRaster_ToInt(a * 65536.0f) >> mip, bias);
  };
  // A run that starts from the exact (ua, va): U and V from them, the step
  // (end - start) x factor toward the exact values at point e, or / divisor
  // when one is given.
  auto run = [&](int32_t x, int32_t m, const Planar& e, float factor, float divisor) {
    const float zb = 1.0f / e.invZ;
    const float ub = e.uOverZ * zb, vb = e.vOverZ * zb;
    PerspRun& r = runs[count++];
    r.count = m;
    if (divisor != 0.0f) {
      r.du = qxRaster_ToInt((ub - ua) / divisor * 65536.0f) >> mip;
      r.dv = qxRaster_ToInt((vb - va) / divisor * 65536.0f) >> mip;
    } else {
      r.du = qxRaster_ToInt((ub - ua) * factor * 65536.0f) >> mip;
      r.dv = qxRaster_ToInt((vb - va) * factor * 65536.0f) >> mip;
    }
    r.u = start(ua, uBias);
    r.v = start(va, vBias);
    if (qxRaster_runObserver) qxRaster_runObserver(x, m, divisor != 0.0f ? 0.0f : factor);
    ua = ub;
    va = vb;
  };
  auto plus = [](const Planar& a, const Planar& b, float f) {
    return Planar{a.invZ + f * b.invZ, a.uOverZ + f * b.uOverZ, a.vOverZ + f * b.vOverZ};
  };
  auto add = [](const Planar& a, const Planar& b) {
    return Planar{a.invZ + b.invZ, a.uOverZ + b.uOverZ, a.vOverZ + b.vOverZ};
  };

  const RunSplit split = SplitRuns(x0, n);
  int32_t x = x0;
  Planar next;  // the end of the next full run
  if (split.head > 0) {
    const Planar e = plus(p0, g, static_cast<float>(split.head));
    run(x, split.head, e, qxRecipTables.recipFloat[split.head], 0.0f);
    x += split.head;
    next = add(e, g16);
  } else {
    next = add(p0, g16);
  }
  for (int32_t f = 0; f < split.full; ++f) {
    run(x, 16, next, 0.0625f, 0.0f);
    x += 16;
    next = add(next, g16);
  }
  const int32_t t = split.tail;
  if (t >= 2) {
    const Planar back = {next.invZ - g16.invZ, next.uOverZ - g16.uOverZ, next.vOverZ - g16.vOverZ};
    const Planar e = plus(back, g, static_cast<float>(t - 1));
    // The family without depth buffer divides in its unlit tails.
    constexpr bool kDivides = !Z && S == Shade::kUnlit;
    run(x, t, e, qxRecipTables.recipFloat[t - 1], kDivides ? static_cast<float>(t - 1) : 0.0f);
  } else if (t == 1) {
    PerspRun& r = runs[count];
    if (count == 0) {
      // A one-pixel span on a multiple of 16: its own start values.
      r = {1, start(ua, uBias), start(va, vBias), 0, 0};
      if (qxRaster_runObserver) qxRaster_runObserver(x, 1, 0.0f);
    } else {
      // A one-pixel tail goes on stepping from where the run before ends.
      const PerspRun& b = runs[count - 1];
      const uint32_t m = static_cast<uint32_t>(b.count);
      r = {1, static_cast<int32_t>(static_cast<uint32_t>(b.u) + m * static_cast<uint32_t>(b.du)),
           static_cast<int32_t>(static_cast<uint32_t>(b.v) + m * static_cast<uint32_t>(b.dv)), b.du,
           b.dv};
    }
    ++count;
  }
  return count;
}

#if defined(__SSE2__)
// Eight pixels of a perspective run at a time, groups of them: the depth
// test, the texel addresses and the light rows in vector lanes, the texel
// and colour look-ups one lane at a time, and the pixels and depths stored
// eight at once, keeping their old values where the depth test fails or
// the texel is keyed. Every lane steps by the same wrapping additions as
// the pixel loop, so the pixels are those it draws. Unshifted depths need
// only their low 16 bits, which 16-bit lanes step exactly.
template <bool Z, class P, Shade S, bool T, bool K, bool Shifted>
inline void PerspGroups(const PixelContext& c, Cursor<P>& k, int32_t groups) {
  constexpr bool k8 = sizeof(P) == 1;
  // start + i x step for lanes i = 0..3, and the step of eight pixels.
  auto lanes = [](int32_t start, int32_t step) {
    const uint32_t s = static_cast<uint32_t>(start), d = static_cast<uint32_t>(step);
    return _mm_setr_epi32(static_cast<int32_t>(s), static_cast<int32_t>(s + d),
                          static_cast<int32_t>(s + 2 * d), static_cast<int32_t>(s + 3 * d));
  };
  auto times = [](int32_t step, uint32_t f) {
    return _mm_set1_epi32(static_cast<int32_t>(static_cast<uint32_t>(step) * f));
  };
  __m128i u0 = lanes(k.u, k.du), u1 = _mm_add_epi32(u0, times(k.du, 4));
  __m128i v0 = lanes(k.v, k.dv), v1 = _mm_add_epi32(v0, times(k.dv, 4));
  __m128i l0 = lanes(k.level, k.dl), l1 = _mm_add_epi32(l0, times(k.dl, 4));
  __m128i z0 = lanes(k.z, k.zStep), z1 = _mm_add_epi32(z0, times(k.zStep, 4));
  const uint16_t z = static_cast<uint16_t>(k.z), zStep = static_cast<uint16_t>(k.zStep);
  __m128i z16 =
      _mm_setr_epi16(static_cast<int16_t>(z), static_cast<int16_t>(z + zStep),
                     static_cast<int16_t>(z + 2 * zStep), static_cast<int16_t>(z + 3 * zStep),
                     static_cast<int16_t>(z + 4 * zStep), static_cast<int16_t>(z + 5 * zStep),
                     static_cast<int16_t>(z + 6 * zStep), static_cast<int16_t>(z + 7 * zStep));
  const __m128i dz16 = _mm_set1_epi16(static_cast<int16_t>(zStep * 8));
  const __m128i du8 = times(k.du, 8), dv8 = times(k.dv, 8), dl8 = times(k.dl, 8),
                dz8 = times(k.zStep, 8);
  const __m128i vShift = _mm_cvtsi32_si128(c.vShift), zShift = _mm_cvtsi32_si128(c.zShift);
  const __m128i uMask = _mm_set1_epi32(c.uMask), vRowMask = _mm_set1_epi32(c.vRowMask);
  const __m128i rowMask = _mm_set1_epi32(63), sign16 = _mm_set1_epi16(-32768);
  auto texelIndex = [&](__m128i u, __m128i v) {
    return _mm_add_epi32(_mm_and_si128(_mm_sra_epi32(v, vShift), vRowMask),
                         _mm_and_si128(_mm_srai_epi32(u, 16), uMask));
  };
  // The low 16 bits of each 32-bit lane (Z >> zShift), as eight 16-bit lanes.
  auto low16 = [&](__m128i a, __m128i b) {
    a = _mm_srai_epi32(_mm_slli_epi32(_mm_sra_epi32(a, zShift), 16), 16);
    b = _mm_srai_epi32(_mm_slli_epi32(_mm_sra_epi32(b, zShift), 16), 16);
    return _mm_packs_epi32(a, b);
  };
  auto blend = [](__m128i mask, __m128i a, __m128i b) {
    return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b));
  };
  P* dst = k.dst;
  uint16_t* zdst = k.zdst;
  for (int32_t g = 0; g < groups; ++g, dst += 8) {
    __m128i pass = _mm_set1_epi16(-1), zz = pass, oldZ = pass;
    if constexpr (Z) {
      zz = Shifted ? low16(z0, z1) : z16;
      oldZ = _mm_loadu_si128(reinterpret_cast<const __m128i*>(zdst));
      // Unsigned 16-bit greater-than; equal depths keep what was drawn first.
      pass = _mm_cmpgt_epi16(_mm_xor_si128(zz, sign16), _mm_xor_si128(oldZ, sign16));
    }
    if (!Z || _mm_movemask_epi8(pass) != 0) {
      alignas(16) int32_t index[8];
      alignas(16) int32_t row[8];
      alignas(16) uint16_t texel[8];
      alignas(16) P old[8];
      alignas(16) P out[8];
      _mm_store_si128(reinterpret_cast<__m128i*>(index), texelIndex(u0, v0));
      _mm_store_si128(reinterpret_cast<__m128i*>(index + 4), texelIndex(u1, v1));
      if constexpr (S == Shade::kGouraud) {
        _mm_store_si128(reinterpret_cast<__m128i*>(row),
                        _mm_and_si128(_mm_srai_epi32(l0, 16), rowMask));
        _mm_store_si128(reinterpret_cast<__m128i*>(row + 4),
                        _mm_and_si128(_mm_srai_epi32(l1, 16), rowMask));
      }
      const __m128i dstv = k8 ? _mm_loadl_epi64(reinterpret_cast<const __m128i*>(dst))
                              : _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst));
      if constexpr (T && k8) _mm_storel_epi64(reinterpret_cast<__m128i*>(old), dstv);
      if constexpr (T && !k8) _mm_store_si128(reinterpret_cast<__m128i*>(old), dstv);
      for (int i = 0; i < 8; ++i) {
        const uint32_t t = c.texels[index[i]];
        if constexpr (K) texel[i] = static_cast<uint16_t>(t);
        out[i] = Colour<P, S, T, K, Kind::kPersp>(c, t, S == Shade::kGouraud ? row[i] : 0,
                                                  T ? old[i] : P{0});
      }
      __m128i mask = pass;
      if constexpr (K) {
        const __m128i hole = _mm_cmpeq_epi16(
            _mm_load_si128(reinterpret_cast<const __m128i*>(texel)), _mm_setzero_si128());
        mask = _mm_andnot_si128(hole, mask);
      }
      if constexpr (k8) {
        const __m128i pixels = blend(_mm_packs_epi16(mask, mask),
                                     _mm_loadl_epi64(reinterpret_cast<const __m128i*>(out)), dstv);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), pixels);
      } else {
        const __m128i pixels =
            blend(mask, _mm_load_si128(reinterpret_cast<const __m128i*>(out)), dstv);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), pixels);
      }
      if constexpr (Z) _mm_storeu_si128(reinterpret_cast<__m128i*>(zdst), blend(mask, zz, oldZ));
    }
    u0 = _mm_add_epi32(u0, du8);
    u1 = _mm_add_epi32(u1, du8);
    v0 = _mm_add_epi32(v0, dv8);
    v1 = _mm_add_epi32(v1, dv8);
    if constexpr (S == Shade::kGouraud) {
      l0 = _mm_add_epi32(l0, dl8);
      l1 = _mm_add_epi32(l1, dl8);
    }
    if constexpr (Z) {
      if constexpr (Shifted) {
        z0 = _mm_add_epi32(z0, dz8);
        z1 = _mm_add_epi32(z1, dz8);
      } else {
        z16 = _mm_add_epi16(z16, dz16);
      }
      zdst += 8;
    }
  }
  k.dst = dst;
  k.zdst = zdst;
  k.u = _mm_cvtsi128_si32(u0);
  k.v = _mm_cvtsi128_si32(v0);
  k.level = _mm_cvtsi128_si32(l0);
  k.z = static_cast<int32_t>(static_cast<uint32_t>(k.z) +
                             static_cast<uint32_t>(groups) * 8u * static_cast<uint32_t>(k.zStep));
}
#endif

// count pixels of a perspective run from the cursor, which moves past them.
template <bool Z, class P, Shade S, bool T, bool K>
inline void PerspPixels(const PixelContext& c, Cursor<P>& k, int32_t count) {
#if defined(__SSE2__)
  if (count >= 8) {
    if (Z && c.zShift != 0) {
      PerspGroups<Z, P, S, T, K, true>(c, k, count / 8);
    } else {
      PerspGroups<Z, P, S, T, K, false>(c, k, count / 8);
    }
    count %= 8;
  }
#endif
  if (count > 0) Pixels<Z, P, S, T, K, Kind::kPersp>(c, k, count);
}

// The span of a perspective face: exact u and v at the ends of runs of at
// most 16 pixels, stepped linearly in 16.16 between them.
template <bool Z, class P, Shade S, bool T, bool K>
void PerspSpan(const qxRasterFaceState& st, const qxRasterEdge* l, const qxRasterEdge* r) {
  int64_t xl;
  int32_t x0, n;
  if (!SpanExtent(st, l, r, &xl, &x0, &n)) return;
  Cursor<P> k{
      Row<P>(st, l->y) + x0, Z ? ZRow(st, l->y) + x0 : nullptr, 0, 0, 0, 0, 0, 0, 0, st.zStep};
  const float p = static_cast<float>(xl - l->x) / 65536.0f;
  const Planar p0 = {l->invZ + p * st.dInvZdX, l->uOverZ + p * st.dUOverZdX,
                     l->vOverZ + p * st.dVOverZdX};
  if constexpr (Z) k.z = qxRaster_ToInt(p0.invZ * 65536.0f);
  if constexpr (S == Shade::kGouraud) {
    k.dl = FlattenLevelStep(SpanStep(l->level, r->level, qxRecipTables.recipFixed[n]));
    k.level = Add(l->level, MulShift16(k.dl, xl - l->x));
  }
  PerspRun runs[kMaxPerspRuns];
  const int32_t count = PerspRuns<Z, S>(st, x0, n, p0, runs);
  const PixelContext c = ContextOf(st);
  for (int32_t i = 0; i < count; ++i) {
    k.u = runs[i].u;
    k.v = runs[i].v;
    k.du = runs[i].du;
    k.dv = runs[i].dv;
    PerspPixels<Z, P, S, T, K>(c, k, runs[i].count);
  }
}

// The scan-line loop of a face: both edges from the top vertex, one span a
// line, until either edge reaches the bottom vertex.
template <unsigned LC, unsigned RC, class Span>
void WalkFace(const qxRasterFaceState& st, Span span) {
  qxRasterEdge left{}, right{};
  left.nextVertex = right.nextVertex = st.topVertex;
  if (StepEdge<LC>(st, &left, st.leftStep)) return;
  if (StepEdge<RC>(st, &right, st.rightStep)) return;
  for (;;) {
    span(&left, &right);
    if (--left.lines == 0) {
      if (StepEdge<LC>(st, &left, st.leftStep)) return;
    } else {
      AdvanceEdge<LC>(&left);
    }
    if (--right.lines == 0) {
      if (StepEdge<RC>(st, &right, st.rightStep)) return;
    } else {
      AdvanceEdge<RC>(&right);
    }
  }
}

// An edge stepper of a family, for the left or the right edge.
template <bool Z, Shade S, Kind X, bool Left>
int StepSide(qxRasterEdge* e) {
  const qxRasterFaceState& st = Z ? qxZRaster_state : qxRaster_state;
  if constexpr (Left) return StepEdge<kLeftCarry<Z, S, X>>(st, e, st.leftStep);
  return StepEdge<kRightCarry<Z, S, X>>(st, e, st.rightStep);
}

// A span filler of a family.
template <bool Z, class P, Shade S, bool T, bool K, Kind X>
void SpanOf(const qxRasterEdge* l, const qxRasterEdge* r) {
  const qxRasterFaceState& st = Z ? qxZRaster_state : qxRaster_state;
  if constexpr (X == Kind::kPersp) {
    PerspSpan<Z, P, S, T, K>(st, l, r);
  } else {
    AffineSpan<Z, P, S, T, K, X>(st, l, r);
  }
}

// A face rasterizer of either family.
template <bool Z, Shade S, bool T, bool K, Kind X>
void DrawFace(qxCacheFace* face, qxMaterialCel* cel, float level) {
  qxRasterFaceState& st = Z ? qxZRaster_state : qxRaster_state;
  if (!BeginFace(st, face, cel, level, Variant{S, T, K, X}, Z)) return;
  if constexpr (X == Kind::kAffine) {
    SetupAffine(st, Z, face->minDepth);
  } else if constexpr (X == Kind::kPersp) {
    SetupPersp(st, Z, face->minDepth);
  } else if constexpr (Z) {
    for (int32_t i = 0; i < st.vertexCount; ++i) st.w[i] = 1.0f / (st.screenVerts[i].z + 1.0f);
  }
  if constexpr (X != Kind::kSolid) {
    if (!BindMip(st)) return;
  }
  constexpr unsigned kLeft = kLeftCarry<Z, S, X>;
  constexpr unsigned kRight = kRightCarry<Z, S, X>;
  if (st.bitsPerPixel == 8) {
    WalkFace<kLeft, kRight>(st, SpanOf<Z, uint8_t, S, T, K, X>);
  } else {
    WalkFace<kLeft, kRight>(st, SpanOf<Z, uint16_t, S, T, K, X>);
  }
}

}  // namespace qxraster

// The named entry points of the families, each one instantiation: the
// family (Z), the lighting (Unlit, Lit, Gouraud), translucency, colour key
// and kind (Solid, Affine, Persp).
#define QXRASTER_FACE(name, Z, S, T, K, X)                                                     \
  void name(qxCacheFace* face, qxMaterialCel* cel) {                                           \
    qxraster::DrawFace<Z, qxraster::Shade::k##S, T, K, qxraster::Kind::k##X>(face, cel, 0.0f); \
  }
#define QXRASTER_LIT_FACE(name, Z, T, K, X)                                                     \
  void name(qxCacheFace* face, qxMaterialCel* cel, float level) {                               \
    qxraster::DrawFace<Z, qxraster::Shade::kLit, T, K, qxraster::Kind::k##X>(face, cel, level); \
  }
#define QXRASTER_SPANS(name, Z, S, T, K, X)                                                        \
  void name##8(const qxRasterEdge* left, const qxRasterEdge* right) {                              \
    qxraster::SpanOf<Z, uint8_t, qxraster::Shade::k##S, T, K, qxraster::Kind::k##X>(left, right);  \
  }                                                                                                \
  void name##16(const qxRasterEdge* left, const qxRasterEdge* right) {                             \
    qxraster::SpanOf<Z, uint16_t, qxraster::Shade::k##S, T, K, qxraster::Kind::k##X>(left, right); \
  }
#define QXRASTER_STEPPER(name, Z, S, X, side)                                              \
  int name(qxRasterEdge* edge) {                                                           \
    return qxraster::StepSide<Z, qxraster::Shade::k##S, qxraster::Kind::k##X, side>(edge); \
  }
