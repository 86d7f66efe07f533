// Walk frames: an actor's placement on the floor and its walking steps.
#include <cmath>

#include "engine/WalkPlane.h"
#include "quadrix/qxPrimitive.h"
#include "quadrix/qxVector_Values.h"
#include "std/stdMath.h"

namespace {

WalkFrame* g_frames = nullptr;

// Steps nested deeper than this stop the chain.
constexpr int kMaxStepDepth = 8;
// A step never carries further than this past a sector border.
constexpr float kBorderCarry = 0.02f;

using qxv::Add;
using qxv::Sub;
using qxv::Scale;
using qxv::Dot;

float DistSq(const qxVector3& a, const qxVector3& b) {
  const qxVector3 d = Sub(a, b);
  return Dot(d, d);
}

void MoveTo(WalkFrame* f, const qxVector3& p) {
  f->position = p;
  f->frame.t = p;
}

}  // namespace

WalkFrame* WalkFrame_GetList(void) {
  return g_frames;
}

void WalkFrame_Construct(WalkFrame* f, float maxTurn) {
  const qxVector3 zero{0, 0, 0};
  f->position = zero;
  qxMatrix34_Build(&f->frame, &zero, &zero);
  f->maxTurn = maxTurn;
  f->signedStep = 0;
  f->heading = {0, 1, 0};
  f->headingMode = 0;
  f->sector = nullptr;
  f->stepDepth = 0;
  f->prev = nullptr;
  f->next = g_frames;
  if (g_frames) g_frames->prev = f;
  g_frames = f;
}

void WalkFrame_Unlink(WalkFrame* f) {
  if (g_frames == f) g_frames = f->next;
  if (f->prev) f->prev->next = f->next;
  if (f->next) f->next->prev = f->prev;
  f->prev = f->next = nullptr;
}

void WalkFrame_SetPosition(WalkFrame* f, const qxVector3* point) {
  MoveTo(f, *point);
}

void WalkFrame_ToLocal(const WalkFrame* f, qxVector3* point) {
  const qxVector3 d = Sub(*point, f->position);
  qxMatrix34_InvTransformVector(point, &d, &f->frame);
}

void WalkFrame_AlignToSector(WalkFrame* f, const Sector* sector) {
  f->frame.z = sector->normal;
  qxVector3_Cross(&f->frame.x, &f->frame.y, &f->frame.z);
  qxVector3_NormalizeInPlace(&f->frame.x);
  qxVector3_Cross(&f->frame.y, &f->frame.z, &f->frame.x);
  qxVector3_NormalizeInPlace(&f->frame.y);
}

void WalkFrame_Orthonormalize(WalkFrame* f) {
  qxVector3_NormalizeInPlace(&f->frame.y);
  qxVector3_Cross(&f->frame.x, &f->frame.y, &f->frame.z);
  qxVector3_NormalizeInPlace(&f->frame.x);
}

void WalkFrame_AttachToSector(WalkFrame* f) {
  Sector* s = WalkPlane_FindNearestSector(&f->position, SECTOR_WALK);
  f->sector = s;
  if (!s) return;
  if (!(s->enabled && s->visible && Sector_PassesPlane(s, &f->position) &&
        Sector_PassesEdges(s, &f->position))) {
    Sector_ClampPoint(s, &f->position);
    f->frame.t = f->position;
  }
  WalkFrame_AlignToSector(f, s);
}

void WalkFrame_Rotate(WalkFrame* f, float angle) {
  qxMatrix34 turn;
  qxMatrix34_BuildFromAxisAngle(&turn, &f->frame.z, angle);
  qxMatrix34_TransformVectorInPlace(&f->frame.y, &turn);
  if (f->sector) {
    // Keep the forward axis on the sector plane.
    qxVector3 ahead = Add(f->frame.t, f->frame.y);
    Sector_ProjectToPlane(f->sector, &ahead);
    f->frame.y = Sub(ahead, f->frame.t);
  }
  WalkFrame_Orthonormalize(f);
}

namespace {

// The angle from the forward axis to the point (0 to 180), negative when the
// point lies to the right.
float SignedAngleTo(const WalkFrame* f, const qxVector3* point, float limit) {
  qxVector3 p = *point;
  if (f->sector) Sector_PutOnPlane(f->sector, &p);
  WalkFrame_ToLocal(f, &p);
  qxVector3_NormalizeInPlace(&p);
  float a = 90.0f - stdMath_ArcSin3(p.y);
  if (a > limit) a = limit;
  if (p.x > 0) a = -a;
  return a;
}

}  // namespace

float WalkFrame_TurnToward(WalkFrame* f, const qxVector3* point, float limit) {
  const float a = SignedAngleTo(f, point, limit);
  WalkFrame_Rotate(f, a);
  return a;
}

float WalkFrame_YawToPoint(const WalkFrame* f, const qxVector3* point) {
  const float a = SignedAngleTo(f, point, 3.4028235e38f);
  qxVector3 angles;
  qxMatrix34_ExtractAngles(&f->frame, &angles);
  return a + angles.y;
}

int Sector_FunnelHeading(Sector* s, const WalkFrame* f, qxVector3* heading) {
  const int n = s->numVerts;
  if (n < 3) return 0;
  // The probe runs backwards while walking forwards.
  const qxVector3 probe = Add(f->position, Scale(f->frame.y, f->signedStep > 0 ? -100.0f : 100.0f));
  qxVector3 x, edge;
  Sector_TraceExit(s, &f->position, &probe, &x, &edge);
  int o = s->crossedEdge;
  if (o < 0) return 0;

  // A crossing next to a corner of an edge that runs along the forward axis
  // belongs to the neighbouring edge.
  auto alongForward = [&](int t) {
    qxVector3 e = Sub(s->verts[(t + n - 1) % n]->p, s->verts[t]->p);
    qxVector3_NormalizeInPlace(&e);
    const float angle = 90.0f - stdMath_ArcSin3(Dot(e, f->frame.y));
    return angle < 1.0f || angle > 179.0f;
  };
  if (DistSq(x, s->verts[o]->p) < 0.0025f && alongForward(o)) {
    o = (o + 1) % n;
  } else if (DistSq(x, s->verts[(o + n - 1) % n]->p) < 0.0025f && alongForward(o)) {
    o = (o + n - 1) % n;
  }

  const qxVector3& j = s->verts[o]->p;
  const qxVector3& k = s->verts[(o + n - 1) % n]->p;
  float b;
  if (std::fabs(k.x - j.x) > 0.00001f) {
    b = (x.x - j.x) / (k.x - j.x);
  } else if (std::fabs(k.y - j.y) > 0.00001f) {
    b = (x.y - j.y) / (k.y - j.y);
  } else {
    return 0;  // a degenerate edge gives no direction
  }
  b = std::fmin(std::fmax(b, 0.15f), 0.85f);

  const qxVector3& far0 = s->verts[(o + 1) % n]->p;
  const qxVector3& far1 = s->verts[(o + 2 * n - 2) % n]->p;
  const qxVector3 w = Add(far0, Scale(Sub(far1, far0), b));
  *heading = Sub(w, x);
  qxVector3_NormalizeInPlace(heading);
  if (f->signedStep < 0) *heading = Scale(*heading, -1.0f);
  return 1;
}

void WalkFrame_SetSectorHeading(WalkFrame* f, int enable) {
  f->headingMode = 0;
  if (!f->sector || !enable) return;
  qxVector3 h;
  if (!Sector_FunnelHeading(f->sector, f, &h)) return;
  f->heading = h;
  f->frame.y = h;
  WalkFrame_Orthonormalize(f);
  f->headingMode = 1;
}

int WalkFrame_Advance(WalkFrame* f, float d, const qxVector3* direction, int slidePositive,
                      int slideNegative) {
  if (f->stepDepth == 0) f->signedStep = d;
  ++f->stepDepth;

  if (f->headingMode) {
    const float c = -stdMath_ArcSin3(Dot(f->frame.x, f->heading));
    if (std::fabs(c) > f->maxTurn) return 0;
    WalkFrame_Rotate(f, Dot(f->frame.y, f->heading) > 0 ? c : -c);
  }

  qxVector3 target;
  if (direction) {
    qxVector3 dir;
    qxVector3_Normalize(&dir, direction);
    target = Add(f->position, Scale(dir, d));
  } else {
    target = Add(f->frame.t, Scale(f->frame.y, d));
  }

  Sector* s = f->sector;
  if (!s || (s->enabled && s->visible && Sector_PassesPlane(s, &target) &&
             Sector_PassesEdges(s, &target))) {
    MoveTo(f, target);
    f->stepDepth = 0;
    return 1;
  }
  if (f->stepDepth > kMaxStepDepth) {
    f->stepDepth = 0;
    return 0;
  }

  qxVector3 x = target, e{0, 0, 0};
  float a = Sector_TraceExit(s, &f->position, &target, &x, &e);
  s->enabled = 0;
  qxVector3 local = x;
  WalkFrame_ToLocal(f, &local);
  const float rest = d - local.y;
  MoveTo(f, x);

  int result = 0;
  if (Sector* neighbour = WalkPlane_FindSectorAtPoint(&x, SECTOR_WALK)) {
    f->sector = neighbour;
    WalkFrame_AlignToSector(f, neighbour);
    result = WalkFrame_Advance(f, std::fmin(rest, kBorderCarry), nullptr, 1, 1);
  } else if (s->type & SECTOR_FUNNEL_BIT) {
    const int n = s->numVerts;
    if (s->crossedEdge == (s->funnelEdge + 1) % n) {
      s->enabled = 1;  // the narrow end: the frame stops here
    } else {
      // Turn along the side wall toward the narrow end and go on.
      qxVector3 narrow = s->verts[s->funnelEdge % n]->p;
      WalkFrame_ToLocal(f, &narrow);
      if (narrow.x > 0) {
        if (a > 3.0f) a -= 180.2f;
      } else if (a < 3.0f) {
        a += 180.2f;
      }
      WalkFrame_Rotate(f, a);
      s->enabled = 1;
      result = WalkFrame_Advance(f, rest, nullptr, 1, 1);
    }
  } else {
    if (!(std::fabs(a) < f->maxTurn) || f->headingMode) {
      f->signedStep -= rest;
    } else if ((a > 0 && slidePositive) || (a < 0 && slideNegative)) {
      s->enabled = 1;
      const qxVector3 slide = Scale(e, Dot(f->frame.y, e));
      qxVector3 unit;
      qxVector3_Normalize(&unit, &e);
      result = WalkFrame_Advance(f, std::fabs(Dot(f->frame.y, unit)) * rest, &slide, 1, 1);
    }
    if (f->headingMode) {
      WalkFrame_Rotate(f, a);
      f->heading = f->frame.y;
    }
  }
  s->enabled = 1;
  return result;
}

void Sector_GetOppositeEdge(Sector* s, WalkFrame* f) {
  if (s->numVerts != 4) return;
  const qxVector3 behind = Sub(f->position, Scale(f->frame.y, 10.0f));
  qxVector3 p, e;
  Sector_TraceExit(s, &f->position, &behind, &p, &e);
  const int g = s->crossedEdge;
  if (g < 0) return;
  const qxVector3& vg = s->verts[g]->p;
  const qxVector3& vp = s->verts[(g + 3) % 4]->p;
  float m = 0;
  if (std::fabs(vp.x - vg.x) > 0.00001f) {
    m = (p.x - vg.x) / (vp.x - vg.x);
  } else if (std::fabs(vp.y - vg.y) > 0.00001f) {
    m = (p.y - vg.y) / (vp.y - vg.y);
  }
  const float share = 1.0f - m;
  const int g2 = (g + 2) % 4;
  const qxVector3& a = s->verts[g2]->p;
  const qxVector3& b = s->verts[(g2 + 3) % 4]->p;
  MoveTo(f, Add(a, Scale(Sub(b, a), share)));
}

void WalkFrame_DrawAxes(const WalkFrame* f, int colour) {
  static const qxVector3 kLines[4][2] = {{{0, 0, 0}, {0, 0.1f, 0}},
                                         {{0.05f, 0.05f, 0}, {0, 0.1f, 0}},
                                         {{-0.05f, 0.05f, 0}, {0, 0.1f, 0}},
                                         {{0, 0, 0.05f}, {0, 0, 0}}};
  for (const auto& line : kLines) {
    qxVector3 a, b;
    qxMatrix34_TransformPoint(&a, &line[0], &f->frame);
    qxMatrix34_TransformPoint(&b, &line[1], &f->frame);
    qxPrimitive_DrawLine3(&a, &b, nullptr, nullptr, nullptr, nullptr, colour, -1);
  }
}
