// The span rasterizer's span-list walkers, span fillers and depth writes.
// Spans never overlap, so nothing here tests depth: unkeyed polygons write
// the depth of every span pixel after filling it, keyed ones only where
// they drew, outlines never.
#include <algorithm>
#include <cstring>

#include "quadrix/qxColormap.h"
#include "raster/qxRaster.h"
#include "raster/qxRaster_Internal.h"
#include "raster/qxSpanRaster.h"
#include "raster/qxSpanRaster_Internal.h"

namespace {

using qxraster::Add;
using qxraster::Kind;
using qxraster::Planar;
using qxraster::Shade;

// The working values the fillers and the depth writer read: the canvas and
// the current polygon's addressing, colours and gradients. Loaded by each
// walker.
struct Work {
  qxspan::Target target;
  const uint8_t* texels;
  int32_t uMask, vMask, texShift;  // texShift = 16 - mipShift
  int32_t mipLevel, uBias, vBias;
  const uint8_t* lightRow;
  const uint16_t* lightRow16;
  uint8_t colour;     // solid and outline: the palette index
  uint16_t colour16;  // solid and outline: row 63 of lightTable16 at the index
  int32_t zStep;
  Planar g, g16;
};
Work w;

bool Load(const qxSpanPolygon* p) {
  w.target = qxspan::CurrentTarget();
  if (!w.target.valid) return false;
  w.texels = p->texels;
  w.uMask = p->uMask;
  w.vMask = p->vMask;
  w.texShift = 16 - p->mipShift;
  w.mipLevel = p->mipLevel;
  w.uBias = p->uBias;
  w.vBias = p->vBias;
  w.lightRow = p->lightRow;
  w.lightRow16 = p->lightRow16;
  w.colour = static_cast<uint8_t>(p->flatColour);
  const qxColormap* cm = p->face->colormap;
  w.colour16 = cm && cm->lightTable16 ? cm->lightTable16[63 * 256 + w.colour] : 0;
  w.zStep = p->zStep;
  w.g = {p->dInvZdX, p->dUOverZdX, p->dVOverZdX};
  w.g16 = {p->dInvZdX16, p->dUOverZdX16, p->dVOverZdX16};
  return true;
}

// A queued span lies inside the canvas; this holds even for spans a
// procedural hook's callbacks made.
bool Inside(const qxSpan* s) {
  const qxspan::Target& t = w.target;
  return s->length >= 1 && s->y >= t.rowFirst && s->y <= t.rowLast && s->x >= t.colFirst &&
         int64_t{s->x} + s->length - 1 <= t.colLast;
}

template <class P>
P* Pixels(const qxSpan* s) {
  return reinterpret_cast<P*>(w.target.pixels + static_cast<int64_t>(w.target.stride) * s->y) +
         s->x;
}

uint16_t* Depths(const qxSpan* s) {
  if (!w.target.zPixels) return nullptr;
  return reinterpret_cast<uint16_t*>(w.target.zPixels +
                                     static_cast<int64_t>(w.target.zStride) * s->y) +
         s->x;
}

// Truncation toward zero held to the int32 range, for the per-run values of
// the perspective fillers: three instructions where the general conversion
// goes through double. NaN gives the low end.
inline int32_t RunToInt(float v) {
  v = v > -2147483648.0f ? v : -2147483648.0f;
  v = v < 2147483520.0f ? v : 2147483520.0f;  // the largest float below 2^31
  return static_cast<int32_t>(v);
}

// The per-pixel inputs of a textured span, copied out of the working values
// so that the pixel stores (8-bit ones may alias anything) do not make them
// be read again for every pixel.
template <class P, Shade S>
struct Texturer {
  const uint8_t* texels = w.texels;
  int32_t uMask = w.uMask, vMask = w.vMask, texShift = w.texShift;
  const uint8_t* row8 = w.lightRow;
  const uint16_t* row16 = w.lightRow16;

  uint32_t Texel(int32_t u, int32_t v) const {
    return texels[((u >> 16) & uMask) + ((v >> texShift) & vMask)];
  }
  // Texel t at the 16.16 light level.
  P Pixel(uint32_t t, int32_t level) const {
    if constexpr (sizeof(P) == 1) {
      if constexpr (S == Shade::kUnlit) return static_cast<P>(t);
      if constexpr (S == Shade::kLit) return row8[t];
      return row8[((level >> 16) & 63) * 256 + t];
    } else {
      if constexpr (S == Shade::kGouraud) return row16[((level >> 16) & 63) * 256 + t];
      return row16[t];
    }
  }
};

// The pixels of an affine span: u and v stepped per pixel from the span's
// start (keyed spans without the rounding bias).
template <class P, Shade S, bool K>
void AffineSpan(const qxSpan* s) {
  P* dst = Pixels<P>(s);
  uint16_t* zdst = K ? Depths(s) : nullptr;
  int32_t u = K ? s->u : Add(s->u, w.uBias);
  int32_t v = K ? s->v : Add(s->v, w.vBias);
  const int32_t du = s->uStep, dv = s->vStep;
  int32_t level = s->level;
  const int32_t dl = s->levelStep;
  int32_t z = K ? qxRaster_ToInt(s->invZ * 65536.0f) : 0;
  const int32_t zStep = w.zStep, zShift = w.target.zShift;
  const Texturer<P, S> tx;
  const int32_t n = s->length;
  for (int32_t i = 0; i < n; ++i) {
    const uint32_t t = tx.Texel(u, v);
    if (!K || t != 0) {
      dst[i] = tx.Pixel(t, level);
      if (K && zdst) zdst[i] = static_cast<uint16_t>(z >> zShift);
    }
    u = Add(u, du);
    v = Add(v, dv);
    if constexpr (S == Shade::kGouraud) level = Add(level, dl);
    if constexpr (K) z = Add(z, zStep);
  }
}

// The pixels of a perspective span: exact u and v at the ends of runs of at
// most 16 pixels (runs after the first start on a multiple of 16), stepped
// linearly in 16.16 within each run; the last run ends on its own last
// pixel.
template <class P, Shade S, bool K>
void PerspSpan(const qxSpan* s) {
  P* dst = Pixels<P>(s);
  uint16_t* zdst = K ? Depths(s) : nullptr;
  const Planar p0 = {s->invZ, s->uOverZ, s->vOverZ};
  const Planar g = w.g, g16 = w.g16;
  const int32_t mip = w.mipLevel;
  const float za = 1.0f / p0.invZ;
  float ua = p0.uOverZ * za, va = p0.vOverZ * za;
  int32_t u = 0, v = 0, du = 0, dv = 0;
  int32_t level = s->level;
  const int32_t dl = s->levelStep;
  int32_t z = K ? qxRaster_ToInt(s->invZ * 65536.0f) : 0;
  const int32_t zStep = w.zStep, zShift = w.target.zShift;
  const int32_t uBias = w.uBias, vBias = w.vBias;
  const Texturer<P, S> tx;

  auto startAt = [&]() {
    u = Add(RunToInt(ua * 65536.0f) >> mip, uBias);
    v = Add(RunToInt(va * 65536.0f) >> mip, vBias);
  };
  // Starts a run from (ua, va) toward the exact values (ub, vb) of its end
  // over count pixels with the step factor f.
  auto startRun = [&](int32_t x, int32_t count, float ub, float vb, float f) {
    du = RunToInt((ub - ua) * f * 65536.0f) >> mip;
    dv = RunToInt((vb - va) * f * 65536.0f) >> mip;
    startAt();
    if (qxRaster_runObserver) qxRaster_runObserver(x, count, f);
    ua = ub;
    va = vb;
  };
  auto run = [&](int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
      const uint32_t t = tx.Texel(u, v);
      if (!K || t != 0) {
        *dst = tx.Pixel(t, level);
        if (K && zdst) *zdst = static_cast<uint16_t>(z >> zShift);
      }
      ++dst;
      if constexpr (K) {
        if (zdst) ++zdst;
        z = Add(z, zStep);
      }
      u = Add(u, du);
      v = Add(v, dv);
      if constexpr (S == Shade::kGouraud) level = Add(level, dl);
    }
  };
  auto plus = [](const Planar& a, const Planar& b, float k) {
    return Planar{a.invZ + k * b.invZ, a.uOverZ + k * b.uOverZ, a.vOverZ + k * b.vOverZ};
  };

  // The runs in order, each with its pixel count, step factor and exact end
  // point: the head toward the first pixel after it, the full runs likewise,
  // the tail toward its own last pixel.
  const qxraster::RunSplit split = qxraster::SplitRuns(s->x, s->length);
  bool headLeft = split.head > 0, tailLeft = split.tail >= 2;
  int32_t fullLeft = split.full;
  Planar pending = plus(p0, g16, 1.0f);  // the end of the next full run
  auto nextRun = [&](Planar* e, int32_t* count, float* f) {
    if (headLeft) {
      headLeft = false;
      *e = plus(p0, g, static_cast<float>(split.head));
      *count = split.head;
      *f = qxRecipTables.recipFloat[split.head];
      pending = plus(*e, g16, 1.0f);
    } else if (fullLeft > 0) {
      --fullLeft;
      *e = pending;
      *count = 16;
      *f = 0.0625f;
      pending = plus(pending, g16, 1.0f);
    } else if (tailLeft) {
      tailLeft = false;
      *e = plus(plus(pending, g16, -1.0f), g, static_cast<float>(split.tail - 1));
      *count = split.tail;
      *f = qxRecipTables.recipFloat[split.tail - 1];
    } else {
      return false;
    }
    return true;
  };

  int32_t x = s->x;
  Planar e{};
  int32_t count = 0;
  float f = 0.0f;
  bool have = nextRun(&e, &count, &f);
  float zb = have ? 1.0f / e.invZ : 0.0f;
  float ub = e.uOverZ * zb, vb = e.vOverZ * zb;
  while (have) {
    // The next run's division is issued before this run's pixels, so that
    // it completes while they are drawn.
    Planar e2{};
    int32_t count2 = 0;
    float f2 = 0.0f;
    const bool more = nextRun(&e2, &count2, &f2);
    const float zb2 = more ? 1.0f / e2.invZ : 0.0f;
    startRun(x, count, ub, vb, f);
    run(count);
    x += count;
    ub = e2.uOverZ * zb2;
    vb = e2.vOverZ * zb2;
    count = count2;
    f = f2;
    have = more;
  }
  if (split.tail == 1) {
    // The pixel goes on with the previous run's stepping; a lone pixel on a
    // multiple of 16 takes its own start values.
    if (x == s->x) {
      startAt();
      if (qxRaster_runObserver) qxRaster_runObserver(x, 1, 0.0f);
    }
    run(1);
  }
}

template <class P, Shade S, bool K, Kind X>
void FillSpan(const qxSpan* s) {
  if constexpr (X == Kind::kPersp) {
    PerspSpan<P, S, K>(s);
  } else {
    AffineSpan<P, S, K>(s);
  }
}

// Solid spans: one colour (8-bit unlit and lit spans in one block fill), or
// the light row stepped per pixel (Gouraud).
template <class P, Shade S>
void SolidSpan(const qxSpan* s) {
  P* dst = Pixels<P>(s);
  const int32_t n = s->length;
  if constexpr (S == Shade::kGouraud) {
    int32_t level = s->level;
    for (int32_t i = 0; i < n; ++i) {
      const int32_t row = ((level >> 16) & 63) * 256 + w.colour;
      if constexpr (sizeof(P) == 1) {
        dst[i] = w.lightRow[row];
      } else {
        dst[i] = w.lightRow16[row];
      }
      level = Add(level, s->levelStep);
    }
  } else if constexpr (sizeof(P) == 1) {
    std::memset(dst, w.colour, static_cast<size_t>(n));
  } else {
    std::fill_n(dst, n, w.colour16);
  }
}

// Fills every span of the polygon with Fill8 or Fill16, then writes their
// depth (unless the fillers did it themselves). A canvas of another depth
// gets no pixels, but still the depth of unkeyed polygons.
template <void (*Fill8)(const qxSpan*), void (*Fill16)(const qxSpan*), bool WriteDepth>
void WalkSpans(qxSpanPolygon* p) {
  if (!Load(p)) return;
  const auto fill = w.target.bpp == 8 ? Fill8 : (w.target.bpp == 16 ? Fill16 : nullptr);
  for (const qxSpan* s = p->spanHead; fill && s; s = s->next) {
    if (Inside(s)) fill(s);
  }
  if (WriteDepth && w.target.zPixels) {
    for (const qxSpan* s = p->spanHead; s; s = s->next) {
      if (Inside(s)) qxSpanRaster_WriteSpanZ(s);
    }
  }
}

template <Shade S, bool K, Kind X>
void WalkTextured(qxSpanPolygon* p) {
  WalkSpans<FillSpan<uint8_t, S, K, X>, FillSpan<uint16_t, S, K, X>, !K>(p);
}

template <Shade S>
void WalkSolid(qxSpanPolygon* p) {
  WalkSpans<SolidSpan<uint8_t, S>, SolidSpan<uint16_t, S>, true>(p);
}

// The outline: the first and last pixel of each span.
template <class P>
void OutlineSpan(const qxSpan* s) {
  P* dst = Pixels<P>(s);
  const P c = sizeof(P) == 1 ? w.colour : w.colour16;
  dst[0] = c;
  dst[s->length - 1] = c;
}

}  // namespace

void qxSpanRaster_WriteSpanZ(const qxSpan* s) {
  uint16_t* zdst = Depths(s);
  if (!zdst) return;
  const int32_t step = w.zStep, shift = w.target.zShift;
  int32_t z = qxRaster_ToInt(s->invZ * 65536.0f);
  const int32_t n = s->length;
  for (int32_t i = 0; i < n; ++i) {
    zdst[i] = static_cast<uint16_t>(z >> shift);
    z = Add(z, step);
  }
}

void qxSpanRaster_WalkNone(qxSpanPolygon*) {}

void qxSpanRaster_WalkOutline(qxSpanPolygon* p) {
  WalkSpans<OutlineSpan<uint8_t>, OutlineSpan<uint16_t>, false>(p);
}

void qxSpanRaster_WalkSolidUnlit(qxSpanPolygon* p) {
  WalkSolid<Shade::kUnlit>(p);
}
void qxSpanRaster_WalkSolidLit(qxSpanPolygon* p) {
  WalkSolid<Shade::kLit>(p);
}
void qxSpanRaster_WalkSolidGouraud(qxSpanPolygon* p) {
  WalkSolid<Shade::kGouraud>(p);
}

#define QXSPAN_TEXTURED(Name, S, K, X)                 \
  void qxSpanRaster_Walk##Name(qxSpanPolygon* p) {     \
    WalkTextured<Shade::k##S, K, Kind::k##X>(p);       \
  }                                                    \
  void qxSpanRaster_Span##Name##8(const qxSpan* s) {   \
    FillSpan<uint8_t, Shade::k##S, K, Kind::k##X>(s);  \
  }                                                    \
  void qxSpanRaster_Span##Name##16(const qxSpan* s) {  \
    FillSpan<uint16_t, Shade::k##S, K, Kind::k##X>(s); \
  }

// The 16-bit unlit and lit fillers of a texture mode are one routine: only
// the row the polygon's setup chose differs.
QXSPAN_TEXTURED(AffineUnlit, Unlit, false, Affine)
QXSPAN_TEXTURED(AffineUnlitKeyed, Unlit, true, Affine)
QXSPAN_TEXTURED(AffineLit, Lit, false, Affine)
QXSPAN_TEXTURED(AffineLitKeyed, Lit, true, Affine)
QXSPAN_TEXTURED(AffineGouraud, Gouraud, false, Affine)
QXSPAN_TEXTURED(AffineGouraudKeyed, Gouraud, true, Affine)
QXSPAN_TEXTURED(PerspUnlit, Unlit, false, Persp)
QXSPAN_TEXTURED(PerspUnlitKeyed, Unlit, true, Persp)
QXSPAN_TEXTURED(PerspLit, Lit, false, Persp)
QXSPAN_TEXTURED(PerspLitKeyed, Lit, true, Persp)
QXSPAN_TEXTURED(PerspGouraud, Gouraud, false, Persp)
QXSPAN_TEXTURED(PerspGouraudKeyed, Gouraud, true, Persp)
