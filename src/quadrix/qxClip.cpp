// Frustum, plane, segment, sphere and 2D clipping.
//
// The frustum polygon clippers are one Sutherland-Hodgman walk over the
// planes left, right, top, bottom, near and far, ping-ponging between the
// caller's arrays and static work buffers so that the result lands in the
// caller's arrays without a final copy whenever the far plane is tested.
// Every attribute a clipper carries (texture vertex, intensity, or red,
// green and blue) moves with its vertex and is interpolated at each cut with
// the same edge parameter as the position.
#include "quadrix/qxClip.h"

#include <cmath>
#include <cstring>

#include "quadrix/qxCamera.h"
#include "quadrix/qxCanvas.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxMatrix.h"

uint32_t qxClipFlags = 0;

namespace {

constexpr int kMax = QXCLIP_MAX_VERTICES;

// One set of arrays a polygon lives in: positions plus the attributes the
// clipper carries (null when not carried).
struct ClipSet {
  qxVector3* v;
  qxVector2* tex;
  float* chan[3];
};

qxVector3 g_workV[kMax];
qxVector2 g_workTex[kMax];
float g_workChan[3][kMax];

ClipSet WorkFor(const ClipSet& caller) {
  ClipSet w{g_workV, caller.tex ? g_workTex : nullptr, {}};
  for (int c = 0; c < 3; ++c) w.chan[c] = caller.chan[c] ? g_workChan[c] : nullptr;
  return w;
}

void CopyVertex(const ClipSet& src, int i, const ClipSet& dst, int o) {
  dst.v[o] = src.v[i];
  if (src.tex) dst.tex[o] = src.tex[i];
  for (int c = 0; c < 3; ++c)
    if (src.chan[c]) dst.chan[c][o] = src.chan[c][i];
}

float Lerp(float a, float b, float t) {
  return a + t * (b - a);
}

// Writes the attributes of the point at t along p -> q.
void LerpAttributes(const ClipSet& src, int p, int q, float t, const ClipSet& dst, int o) {
  if (src.tex) {
    dst.tex[o].x = Lerp(src.tex[p].x, src.tex[q].x, t);
    dst.tex[o].y = Lerp(src.tex[p].y, src.tex[q].y, t);
  }
  for (int c = 0; c < 3; ++c)
    if (src.chan[c]) dst.chan[c][o] = Lerp(src.chan[c][p], src.chan[c][q], t);
}

float& Coord(qxVector3& v, int axis) {
  return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
}
float Coord(const qxVector3& v, int axis) {
  return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
}

// One clip plane. A sloped plane is coord = slope x depth (perspective sides);
// a bound plane is coord = bound (near, far and orthographic sides). `upper`
// means points beyond the plane have the larger coordinate.
struct Plane {
  bool sloped;
  int axis;  // 0 x, 1 y, 2 z
  bool upper;
  float value;  // slope or bound
  uint32_t bit;
};

float BoundAt(const Plane& pl, const qxVector3& v) {
  return pl.sloped ? static_cast<float>(pl.value * v.y) : pl.value;
}

bool Outside(const Plane& pl, const qxVector3& v) {
  float c = Coord(v, pl.axis);
  float b = BoundAt(pl, v);
  return pl.upper ? c > b : c < b;
}

bool OnPlane(const Plane& pl, const qxVector3& v) {
  return Coord(v, pl.axis) == BoundAt(pl, v);
}

// The point where p -> q meets the plane and its edge parameter. A sloped
// plane cuts at the depth m / d (m when d is 0) so the new point lies exactly
// on the plane; t comes from the larger of the depth and coordinate changes.
qxVector3 Cut(const Plane& pl, const qxVector3& p, const qxVector3& q, float* tOut) {
  qxVector3 r;
  float t;
  if (pl.sloped) {
    int a = pl.axis, o = 2 - a;  // the clipped and the carried coordinate (x or z)
    float s = pl.value;
    float dy = q.y - p.y, dx = Coord(q, a) - Coord(p, a);
    float d = static_cast<float>(s * dy - dx);
    float m = static_cast<float>(Coord(p, a) * q.y - p.y * Coord(q, a));
    float yi = d == 0.0f ? m : m / d;
    if (std::fabs(dy) > std::fabs(dx))
      t = (yi - p.y) / dy;
    else
      t = dx != 0.0f ? (s * yi - Coord(p, a)) / dx : 0.0f;
    Coord(r, a) = s * yi;
    r.y = yi;
    Coord(r, o) = Lerp(Coord(p, o), Coord(q, o), t);
  } else {
    float pc = Coord(p, pl.axis);
    float dc = Coord(q, pl.axis) - pc;
    t = dc != 0.0f ? (pl.value - pc) / dc : 0.0f;
    r.x = Lerp(p.x, q.x, t);
    r.y = Lerp(p.y, q.y, t);
    r.z = Lerp(p.z, q.z, t);
    Coord(r, pl.axis) = pl.value;
  }
  // Degenerate input (infinities) must not leave a NaN in the caller's arrays.
  if (!std::isfinite(t)) t = 0.0f;
  *tOut = t;
  return r;
}

bool Finite(const qxVector3& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// One Sutherland-Hodgman pass; -1 when the output would exceed kMax or a
// cut overflows (coordinates near the float range).
int ClipPass(const Plane& pl, const ClipSet& src, int n, const ClipSet& dst) {
  int out = 0;
  int p = n - 1;
  bool pOut = Outside(pl, src.v[p]);
  for (int q = 0; q < n; p = q, ++q) {
    bool qOut = Outside(pl, src.v[q]);
    if (pOut != qOut && !OnPlane(pl, src.v[p]) && !OnPlane(pl, src.v[q])) {
      if (out >= kMax) return -1;
      float t;
      const qxVector3 cut = Cut(pl, src.v[p], src.v[q], &t);
      if (!Finite(cut)) return -1;
      dst.v[out] = cut;
      LerpAttributes(src, p, q, t, dst, out);
      ++out;
      qxClipFlags |= pl.bit;
    }
    if (!qOut) {
      if (out >= kMax) return -1;
      CopyVertex(src, q, dst, out++);
    }
    pOut = qOut;
  }
  return out;
}

enum class Frustum { Exact, Wide, Ortho };

void SidePlanes(const qxClipFrustum* f, Frustum kind, Plane out[4]) {
  if (kind == Frustum::Ortho) {
    out[0] = {false, 0, false, f->orthoLeft, QXCLIP_CUT_LEFT};
    out[1] = {false, 0, true, f->orthoRight, QXCLIP_CUT_RIGHT};
    out[2] = {false, 2, true, f->orthoTop, QXCLIP_CUT_TOP};
    out[3] = {false, 2, false, f->orthoBottom, QXCLIP_CUT_BOTTOM};
    return;
  }
  bool wide = kind == Frustum::Wide;
  out[0] = {true, 0, false, wide ? f->slopeLeftWide : f->slopeLeft, QXCLIP_CUT_LEFT};
  out[1] = {true, 0, true, f->slopeRight, QXCLIP_CUT_RIGHT};
  out[2] = {true, 2, true, wide ? f->slopeTopWide : f->slopeTop, QXCLIP_CUT_TOP};
  out[3] = {true, 2, false, f->slopeBottom, QXCLIP_CUT_BOTTOM};
}

Plane NearPlane(const qxClipFrustum* f) {
  return {false, 1, false, f->nearY, QXCLIP_CUT_NEAR};
}
Plane FarPlane(const qxClipFrustum* f) {
  return {false, 1, true, f->farY, QXCLIP_CUT_FAR};
}

int ClipFrustum(const qxClipFrustum* f, Frustum kind, const ClipSet& caller, int count) {
  qxClipFlags = 0;
  if (count <= 0 || !f || !caller.v) return 0;
  if (count > kMax) return 0;
  Plane planes[6];
  SidePlanes(f, kind, planes);
  planes[4] = NearPlane(f);
  planes[5] = FarPlane(f);
  ClipSet work = WorkFor(caller);
  const ClipSet* src = &caller;
  const ClipSet* dst = &work;
  int n = count;
  for (int i = 0; i < 5; ++i) {
    n = ClipPass(planes[i], *src, n, *dst);
    if (n < 0) return 0;
    if (n < 3) {
      if (i == 4) qxClipFlags |= QXCLIP_LOST_AT_NEAR;
      return n;
    }
    std::swap(src, dst);
  }
  // Five passes leave the polygon in the work buffers.
  if (f->farEnabled) {
    n = ClipPass(planes[5], work, n, caller);
    return n < 0 ? 0 : n;
  }
  for (int i = 0; i < n; ++i) CopyVertex(work, i, caller, i);
  return n;
}

ClipSet Set(qxVector3* v, qxVector2* tex = nullptr, float* a = nullptr, float* b = nullptr,
            float* c = nullptr) {
  return ClipSet{v, tex, {a, b, c}};
}

bool PerspectiveCamera() {
  const qxCamera* camera = qxCore_pCurrentCamera;
  return !camera || camera->projectionType == QXCAMERA_PERSPECTIVE;
}

// Moves the end point beyond the plane onto it. 0 when both are beyond.
int ClipSegment(const Plane& pl, qxVector3* a, qxVector3* b, int32_t* movedA, int32_t* movedB) {
  bool aOut = Outside(pl, *a), bOut = Outside(pl, *b);
  if (aOut && bOut) return 0;
  if (aOut || bOut) {
    float t;
    qxVector3 cut = Cut(pl, *a, *b, &t);
    if (!Finite(cut)) return 0;
    if (aOut) {
      *a = cut;
      if (movedA) *movedA = 1;
    } else {
      *b = cut;
      if (movedB) *movedB = 1;
    }
  }
  return 1;
}

int ClipLine(const qxClipFrustum* f, Frustum kind, qxVector3* a, qxVector3* b, int32_t* movedA,
             int32_t* movedB) {
  if (!f || !a || !b) return 0;
  Plane sides[4];
  SidePlanes(f, kind, sides);
  if (!ClipSegment(NearPlane(f), a, b, movedA, movedB)) return 0;
  if (f->farEnabled && !ClipSegment(FarPlane(f), a, b, movedA, movedB)) return 0;
  for (const Plane& pl : sides)
    if (!ClipSegment(pl, a, b, movedA, movedB)) return 0;
  return 1;
}

// Float to int32 toward zero, saturating, so that no conversion overflows.
int32_t TruncToInt(float v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0f) return INT32_MAX;
  if (v <= -2147483648.0f) return INT32_MIN;
  return static_cast<int32_t>(v);
}

}  // namespace

int qxClip_PolygonPersp(const qxClipFrustum* f, qxVector3* v, int n) {
  return ClipFrustum(f, Frustum::Wide, Set(v), n);
}

int qxClip_PolygonOrtho(const qxClipFrustum* f, qxVector3* v, int n) {
  return ClipFrustum(f, Frustum::Ortho, Set(v), n);
}

int qxClip_OutlinePersp(const qxClipFrustum* f, qxVector3* v, int n) {
  return ClipFrustum(f, Frustum::Exact, Set(v), n);
}

int qxClip_OutlineOrtho(const qxClipFrustum* f, qxVector3* v, int n) {
  return ClipFrustum(f, Frustum::Ortho, Set(v), n);
}

int qxClip_PolygonLitPersp(const qxClipFrustum* f, qxVector3* v, float* i, int n) {
  return ClipFrustum(f, Frustum::Wide, Set(v, nullptr, i), n);
}

int qxClip_PolygonLitOrtho(const qxClipFrustum* f, qxVector3* v, float* i, int n) {
  return ClipFrustum(f, Frustum::Ortho, Set(v, nullptr, i), n);
}

int qxClip_PolygonTexPersp(const qxClipFrustum* f, qxVector3* v, qxVector2* t, int n) {
  return ClipFrustum(f, Frustum::Wide, Set(v, t), n);
}

int qxClip_PolygonTexOrtho(const qxClipFrustum* f, qxVector3* v, qxVector2* t, int n) {
  return ClipFrustum(f, Frustum::Ortho, Set(v, t), n);
}

int qxClip_PolygonTexLitPersp(const qxClipFrustum* f, qxVector3* v, qxVector2* t, float* i, int n) {
  return ClipFrustum(f, Frustum::Wide, Set(v, t, i), n);
}

int qxClip_PolygonTexLitOrtho(const qxClipFrustum* f, qxVector3* v, qxVector2* t, float* i, int n) {
  return ClipFrustum(f, Frustum::Ortho, Set(v, t, i), n);
}

int qxClip_PolygonRGBPersp(const qxClipFrustum* f, qxVector3* v, float* r, float* g, float* b,
                           int n) {
  return ClipFrustum(f, Frustum::Wide, Set(v, nullptr, r, g, b), n);
}

int qxClip_PolygonTexRGBPersp(const qxClipFrustum* f, qxVector3* v, qxVector2* t, float* r,
                              float* g, float* b, int n) {
  return ClipFrustum(f, Frustum::Wide, Set(v, t, r, g, b), n);
}

// One pass against an arbitrary plane into the work buffers, then copied
// back. Unlike the frustum clippers a vertex on the plane followed by one
// behind it gives a cut at t = 0, so it occurs twice.
int qxClip_PolygonToPlane(const qxVector3* normal, const qxVector3* point, qxVector3* vertices,
                          qxVector2* texVertices, float* intensities, int count) {
  if (count <= 0 || count > kMax || !normal || !point || !vertices) return 0;
  ClipSet src = Set(vertices, texVertices, intensities);
  ClipSet work = WorkFor(src);
  auto dist = [&](const qxVector3& v) {
    return (v.x - point->x) * normal->x + (v.y - point->y) * normal->y +
           (v.z - point->z) * normal->z;
  };
  int out = 0;
  int p = count - 1;
  float dp = dist(vertices[p]);
  for (int q = 0; q < count; p = q, ++q) {
    float dq = dist(vertices[q]);
    bool pIn = dp >= 0.0f, qIn = dq >= 0.0f;
    if (pIn != qIn) {
      if (out >= kMax) return 0;
      float t = -dp / (dq - dp);
      if (!std::isfinite(t)) t = 0.0f;
      const qxVector3& a = vertices[p];
      const qxVector3& b = vertices[q];
      work.v[out] = {Lerp(a.x, b.x, t), Lerp(a.y, b.y, t), Lerp(a.z, b.z, t)};
      if (!Finite(work.v[out])) return 0;
      LerpAttributes(src, p, q, t, work, out);
      ++out;
    }
    if (qIn) {
      if (out >= kMax) return 0;
      CopyVertex(src, q, work, out++);
    }
    dp = dq;
  }
  for (int i = 0; i < out; ++i) CopyVertex(work, i, src, i);
  return out;
}

int qxClip_PointInFrustum(const qxClipFrustum* f, const qxVector3* p) {
  if (!f || !p) return 0;
  if (p->y < f->nearY) return 0;
  if (f->farEnabled && p->y > f->farY) return 0;
  Plane sides[4];
  SidePlanes(f, PerspectiveCamera() ? Frustum::Exact : Frustum::Ortho, sides);
  for (const Plane& pl : sides)
    if (Outside(pl, *p)) return 0;
  return 1;
}

int qxClip_LinePersp(const qxClipFrustum* f, qxVector3* a, qxVector3* b, int32_t* movedA,
                     int32_t* movedB) {
  return ClipLine(f, Frustum::Exact, a, b, movedA, movedB);
}

int qxClip_LineOrtho(const qxClipFrustum* f, qxVector3* a, qxVector3* b, int32_t* movedA,
                     int32_t* movedB) {
  return ClipLine(f, Frustum::Ortho, a, b, movedA, movedB);
}

int qxClip_ProjectLine(const qxClipFrustum* f, const qxVector3* a, const qxVector3* b,
                       qxClipScreenPoint* screenA, qxClipScreenPoint* screenB, int32_t* movedA,
                       int32_t* movedB) {
  qxCamera* camera = qxCore_pCurrentCamera;
  if (!camera || !camera->projectPoint || !a || !b) return 0;
  qxVector3 ca, cb;
  qxMatrix34_TransformPoint(&ca, a, &camera->viewMatrix);
  qxMatrix34_TransformPoint(&cb, b, &camera->viewMatrix);
  int ok = camera->projectionType == QXCAMERA_PERSPECTIVE
               ? qxClip_LinePersp(f, &ca, &cb, movedA, movedB)
               : qxClip_LineOrtho(f, &ca, &cb, movedA, movedB);
  if (!ok) return 0;
  qxVector3 sa, sb;
  camera->projectPoint(&sa, &ca);
  camera->projectPoint(&sb, &cb);
  if (screenA) *screenA = {TruncToInt(sa.x), TruncToInt(sa.y), sa.z};
  if (screenB) *screenB = {TruncToInt(sb.x), TruncToInt(sb.y), sb.z};
  return 1;
}

// Classifies the sphere by its axis-aligned box. In perspective each side
// bound is taken at the box's near and far depths. Comparisons are strict:
// a box touching a plane from inside is inside.
int qxClip_SphereInFrustum(const qxClipFrustum* f, const qxVector3* c, float r) {
  if (!f || !c) return 2;
  float yN = c->y - r, yF = c->y + r;
  float xL = c->x - r, xR = c->x + r;
  float zB = c->z - r, zT = c->z + r;
  bool persp = PerspectiveCamera();
  auto at = [&](float slope, float ortho, float y) {
    return persp ? static_cast<float>(slope * y) : ortho;
  };
  bool inside = true;
  if (f->nearY > yF) return 2;
  if (f->nearY > yN) inside = false;
  if (f->farEnabled) {
    if (f->farY < yN) return 2;
    if (f->farY < yF) inside = false;
  }
  float t1 = at(f->slopeTop, f->orthoTop, yN), t2 = at(f->slopeTop, f->orthoTop, yF);
  if (t1 < zB && t2 < zB) return 2;
  if (t1 < zT || t2 < zT) inside = false;
  float b1 = at(f->slopeBottom, f->orthoBottom, yN), b2 = at(f->slopeBottom, f->orthoBottom, yF);
  if (b1 > zT && b2 > zT) return 2;
  if (b1 > zB || b2 > zB) inside = false;
  float l1 = at(f->slopeLeft, f->orthoLeft, yN), l2 = at(f->slopeLeft, f->orthoLeft, yF);
  if (l1 > xR && l2 > xR) return 2;
  if (l1 > xL || l2 > xL) inside = false;
  float r1 = at(f->slopeRight, f->orthoRight, yN), r2 = at(f->slopeRight, f->orthoRight, yF);
  if (r1 < xL && r2 < xL) return 2;
  if (r1 < xR || r2 < xR) inside = false;
  return inside ? 0 : 1;
}

qxClipOutcode qxClip_Outcode2D(const qxCanvas* canvas, int32_t x, int32_t y) {
  qxClipOutcode code = 0;
  if (x < canvas->rectLeft)
    code = QXCLIP_OUT_LEFT;
  else if (x > canvas->rectRight)
    code = QXCLIP_OUT_RIGHT;
  if (y < canvas->rectTop)
    code |= QXCLIP_OUT_ABOVE;
  else if (y > canvas->rectBottom)
    code |= QXCLIP_OUT_BELOW;
  return code;
}

// Cohen-Sutherland over float end points; each moved end takes its outcode
// from its coordinates truncated toward zero. Nothing is written on rejection.
int qxClip_Line2D(const qxCanvas* canvas, int32_t* x0, int32_t* y0, int32_t* x1, int32_t* y1) {
  if (!canvas || !x0 || !y0 || !x1 || !y1) return 0;
  qxClipOutcode c0 = qxClip_Outcode2D(canvas, *x0, *y0);
  qxClipOutcode c1 = qxClip_Outcode2D(canvas, *x1, *y1);
  if (!c0 && !c1) return 1;
  float fx[2] = {static_cast<float>(*x0), static_cast<float>(*x1)};
  float fy[2] = {static_cast<float>(*y0), static_cast<float>(*y1)};
  bool vertical = *x0 == *x1, horizontal = *y0 == *y1;
  qxClipOutcode code[2] = {c0, c1};
  // Each step puts one end exactly on a rectangle edge; a handful of steps
  // settles any segment, so a longer run means the input was degenerate.
  for (int step = 0; code[0] | code[1]; ++step) {
    if ((code[0] & code[1]) || step >= 8) return 0;
    int e = code[0] ? 0 : 1;
    qxClipOutcode oc = code[e];
    float nx, ny;
    if (oc & (QXCLIP_OUT_ABOVE | QXCLIP_OUT_BELOW)) {
      ny = static_cast<float>((oc & QXCLIP_OUT_ABOVE) ? canvas->rectTop : canvas->rectBottom);
      float dy = fy[1] - fy[0];
      nx = vertical || dy == 0.0f ? fx[0] : fx[0] + (fx[1] - fx[0]) * (ny - fy[0]) / dy;
    } else {
      nx = static_cast<float>((oc & QXCLIP_OUT_RIGHT) ? canvas->rectRight : canvas->rectLeft);
      float dx = fx[1] - fx[0];
      ny = horizontal || dx == 0.0f ? fy[0] : fy[0] + (fy[1] - fy[0]) * (nx - fx[0]) / dx;
    }
    if (!std::isfinite(nx) || !std::isfinite(ny)) return 0;
    fx[e] = nx;
    fy[e] = ny;
    code[e] = qxClip_Outcode2D(canvas, TruncToInt(nx), TruncToInt(ny));
  }
  *x0 = TruncToInt(fx[0]);
  *y0 = TruncToInt(fy[0]);
  *x1 = TruncToInt(fx[1]);
  *y1 = TruncToInt(fy[1]);
  return 1;
}
