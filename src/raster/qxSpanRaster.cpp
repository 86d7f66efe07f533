// The span rasterizer's driver: polygon records, edge buckets, the
// active-edge list, the per-line depth stack and span emission.
#include "raster/qxSpanRaster.h"

#include <algorithm>
#include <cstring>

#include "platform/kv_Log.h"
#include "quadrix/qxCamera.h"
#include "quadrix/qxCanvas.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxMaterial.h"
#include "raster/qxRaster.h"
#include "raster/qxRaster_Internal.h"
#include "raster/qxSpanRaster_Internal.h"
#include "std/stdDisplay.h"

qxSpanRasterState qxSpanRaster_state;

namespace qxspan {
namespace {

const char* const kFaultText[kFaultKinds] = {
    "there is no current camera with a plain canvas; no face is drawn",
    "the canvas has no plain 16-bit depth buffer of its size; no depth is written",
    "the canvas is neither 8- nor 16-bit; no pixel is drawn, only depth is written",
    "a face has no material; such faces are not drawn",
    "a face has fewer than 3 or more than 32 vertices, or lacks a vertex array; such faces are "
    "not drawn",
    "a face reaches outside the canvas rows or row 1023; such faces are not drawn",
    "a face's colormap lacks a light table it needs; such faces are not drawn",
    "a texture's mip level is missing, not 8-bit, or smaller than its size says; such faces are "
    "not drawn",
    "an edge lies outside the canvas rows; such edges are skipped",
    "the 32768 edges of a frame are used up; the frame's remaining edges are skipped",
};

bool g_reported[kFaultKinds];

bool PlainBuffer(const DisplayBuffer* b) {
  return b && b->pixels && b->storage == STDDISPLAY_PLAIN && b->format.width > 0 &&
         b->format.height > 0;
}

}  // namespace

void Report(Fault fault) {
  if (!g_reported[fault]) {
    g_reported[fault] = true;
    kv_Log_Printf("[Raster] - span rasterizer: %s", kFaultText[fault]);
  }
}

Target CurrentTarget() {
  Target t{};
  const qxCamera* camera = qxCore_pCurrentCamera;
  const qxCanvas* canvas = camera ? camera->canvas : nullptr;
  if (!canvas || !PlainBuffer(canvas->videoBuffer)) return t;
  const DisplayBuffer* video = canvas->videoBuffer;
  const int bpp = video->format.format.bitsPerPixel;
  if (bpp <= 0) return t;
  // Columns stay below 32768 so that every x fits 16.16.
  t.colFirst = std::max(canvas->rectLeft, 0);
  t.colLast = std::min({canvas->rectRight, video->format.width - 1, 32766});
  t.rowFirst = std::max(canvas->rectTop, 0);
  t.rowLast = std::min({canvas->rectBottom, video->format.height - 1, QXSPAN_MAX_LINES - 1});
  if (t.colLast < t.colFirst || t.rowLast < t.rowFirst ||
      static_cast<int64_t>(video->format.bytesPerRow) * 8 < int64_t{video->format.width} * bpp ||
      static_cast<int64_t>(video->format.bytesPerRow) * video->format.height >
          video->format.byteSize) {
    return t;
  }
  t.valid = true;
  t.pixels = static_cast<uint8_t*>(video->pixels);
  t.stride = video->format.bytesPerRow;
  t.bpp = bpp;
  const DisplayBuffer* zb = canvas->zBuffer;
  if (PlainBuffer(zb) && zb->format.format.bitsPerPixel == 16 && zb->format.width > t.colLast &&
      zb->format.height > t.rowLast &&
      static_cast<int64_t>(zb->format.bytesPerRow) >= int64_t{zb->format.width} * 2 &&
      static_cast<int64_t>(zb->format.bytesPerRow) * zb->format.height <= zb->format.byteSize) {
    t.zPixels = static_cast<uint8_t*>(zb->pixels);
    t.zStride = zb->format.bytesPerRow;
    t.zShift = std::clamp(canvas->zShift, 0, 16);
  }
  return t;
}

}  // namespace qxspan

namespace {

using qxraster::Ceil16;
using qxraster::FlattenLevelStep;
using qxraster::MulShift16;
using qxraster::SpanStep;

qxSpanRasterState& S = qxSpanRaster_state;

// Set by Reset, cleared by Run: a run that was not prepared prepares itself,
// so no bucket ever holds an edge of an earlier run.
bool g_prepared = false;

// The canvas of the current run: spans are held to its columns, edges to
// its rows.
qxspan::Target g_target;

// The pixel width of a polygon on the current line from its two current
// edges, or 0 when that pair gives no usable width (missing, crossed, or
// beyond the reciprocal tables).
int32_t PolygonWidth(const qxSpanPolygon* p) {
  const qxSpanEdge* l = p->leftEdge;
  const qxSpanEdge* r = p->rightEdge;
  if (!l || !r) return 0;
  const int64_t w = (Ceil16(r->x) - Ceil16(l->x)) >> 16;
  return w >= 1 && w < QXRASTER_RECIP_ENTRIES ? static_cast<int32_t>(w) : 0;
}

// Does P, entering at its left edge r, go in front of X?
bool Beats(const qxSpanPolygon* p, const qxSpanPolygon* x, const qxSpanEdge* r) {
  const uint32_t tp = p->face->faceTag, tx = x->face->faceTag;
  if ((tp & 0xFFFF) == (tx & 0xFFFF) && (tp >> 16) != (tx >> 16)) return (tp >> 16) > (tx >> 16);
  const qxSpanEdge* xl = x->leftEdge;
  const float a = r->invZ;
  const float along = static_cast<float>(int64_t{r->x} - xl->x) / 65536.0f;
  const float b = xl->invZ + along * x->dInvZdX;
  if (a > b) return true;
  if (a == b) return p->dInvZdX > x->dInvZdX;
  return false;  // farther, or unordered
}

// Queues the span of polygon F from its spanStartX up to the whole pixel e.
void EmitSpan(qxSpanPolygon* f, int64_t e) {
  const int64_t start = std::max<int64_t>(f->spanStartX, int64_t{g_target.colFirst} << 16);
  const int64_t end = std::min<int64_t>(e, int64_t{g_target.colLast + 1} << 16);
  const int64_t length = (end - start) >> 16;
  if (length <= 0) return;
  const int32_t w = PolygonWidth(f);
  if (w == 0) return;
  if (S.spanCount == QXSPAN_MAX_SPANS) qxSpanRaster_FlushSpans();
  qxSpan* s = &S.spans[S.spanCount++];
  s->x = static_cast<int32_t>(start >> 16);
  s->length = static_cast<int32_t>(length);
  s->y = S.currentLine;
  s->next = nullptr;
  const qxSpanEdge* l = f->leftEdge;
  const qxSpanEdge* r = f->rightEdge;
  const int64_t d = start - l->x;
  const float fd = static_cast<float>(d) / 65536.0f;
  s->invZ = fd * f->dInvZdX + l->invZ;
  if (f->kind & QXSPAN_KIND_AFFINE) {
    const int32_t recip = qxRecipTables.recipFixed[w];
    const int32_t du = SpanStep(l->u, r->u, recip);
    const int32_t dv = SpanStep(l->v, r->v, recip);
    s->uStep = du >> f->mipLevel;
    s->vStep = dv >> f->mipLevel;
    s->u = qxraster::Add(MulShift16(du, d), l->u) >> f->mipLevel;
    s->v = qxraster::Add(MulShift16(dv, d), l->v) >> f->mipLevel;
  } else if (f->kind & QXSPAN_KIND_PERSP) {
    s->uOverZ = fd * f->dUOverZdX + l->uOverZ;
    s->vOverZ = fd * f->dVOverZdX + l->vOverZ;
  }
  if (f->kind & QXSPAN_KIND_GOURAUD) {
    const int32_t dl = FlattenLevelStep(SpanStep(l->level, r->level, qxRecipTables.recipFixed[w]));
    s->levelStep = dl;
    s->level = qxraster::Add(MulShift16(dl, d), l->level);
  }
  if (f->spanTail) {
    f->spanTail->next = s;
  } else {
    f->spanHead = s;
  }
  f->spanTail = s;
}

// The depth gradient along the line from the polygon's two current edges.
void LineGradient(qxSpanPolygon* p) {
  const int32_t w = PolygonWidth(p);
  if (w == 0) {
    p->dInvZdX = 0.0f;
    p->zStep = 0;
    return;
  }
  p->dInvZdX = (p->rightEdge->invZ - p->leftEdge->invZ) * qxRecipTables.recipFloat[w];
  p->zStep = qxRaster_ToInt(p->dInvZdX * 65536.0f);
}

void Unlink(qxSpanEdge* e) {
  e->prev->next = e->next;
  e->next->prev = e->prev;
}

void LinkBefore(qxSpanEdge* e, qxSpanEdge* q) {
  e->prev = q->prev;
  e->next = q;
  q->prev->next = e;
  q->prev = e;
}

// True when the edge's lines lie on the run's canvas rows.
bool EdgeOnRows(const qxSpanEdge* e) {
  if (e->lineCount < 1 || e->startLine < g_target.rowFirst) return false;
  return int64_t{e->startLine} + e->lineCount - 1 <= g_target.rowLast;
}

}  // namespace

void qxSpanRaster_ResetStats(void) {
  S.setupCount = 0;
}

void qxSpanRaster_Reset(void) {
  // Every row: the buckets are small, and no canvas change between runs can
  // leave an old edge behind.
  std::memset(S.startBuckets, 0, sizeof S.startBuckets);
  std::memset(S.endBuckets, 0, sizeof S.endBuckets);
  S.polygonCount = 0;
  S.edgeCount = 0;
  S.spanCount = 0;
  S.minLine = 0x7FFFFFFF;
  S.maxLine = 0;
  S.activeHead.x = -65536;
  S.activeHead.prev = nullptr;
  S.activeHead.next = &S.activeTail;
  S.activeTail.x = 0x7FFFFFFF;
  S.activeTail.prev = &S.activeHead;
  S.activeTail.next = nullptr;
  g_prepared = true;
}

int32_t qxSpanRaster_SetupFace(qxCacheFace* face) {
  if (S.polygonCount >= QXSPAN_MAX_POLYGONS) return 0;
  qxRasterSelection sel;
  if (!qxRaster_SelectFace(face, &sel)) return 0;
  qxSpanPolygon* p = &S.polygons[S.polygonCount];
  p->face = face;
  p->spanHead = p->spanTail = nullptr;
  p->leftEdge = p->rightEdge = nullptr;
  p->insideCount = 0;
  // Until a setup says otherwise the polygon contributes nothing.
  qxSpanRaster_SetupNone(p);

  const int32_t g = sel.geometry, l = sel.lighting, t = sel.texture;
  qxMaterialCel* cel = sel.cel;
  // The setup of the face's type: [shade] for solid, [texture][keyed][shade]
  // for textured faces; shade 0 unlit, 1 lit, 2 Gouraud.
  using Setup = void (*)(qxSpanPolygon*, qxMaterialCel*);
  using LitSetup = void (*)(qxSpanPolygon*, qxMaterialCel*, float);
  static const Setup kSolid[3] = {qxSpanRaster_SetupSolidUnlit, nullptr,
                                  qxSpanRaster_SetupSolidGouraud};
  static const Setup kTextured[2][2][3] = {
      {{qxSpanRaster_SetupAffineUnlit, nullptr, qxSpanRaster_SetupAffineGouraud},
       {qxSpanRaster_SetupAffineUnlitKeyed, nullptr, qxSpanRaster_SetupAffineGouraudKeyed}},
      {{qxSpanRaster_SetupPerspUnlit, nullptr, qxSpanRaster_SetupPerspGouraud},
       {qxSpanRaster_SetupPerspUnlitKeyed, nullptr, qxSpanRaster_SetupPerspGouraudKeyed}}};
  static const LitSetup kTexturedLit[2][2] = {
      {qxSpanRaster_SetupAffineLit, qxSpanRaster_SetupAffineLitKeyed},
      {qxSpanRaster_SetupPerspLit, qxSpanRaster_SetupPerspLitKeyed}};

  Setup setup = nullptr;
  LitSetup litSetup = nullptr;
  uint32_t kind = QXSPAN_KIND_FLAT;
  const int shade = l == 0 ? 0 : (l == 1 || l == 2 ? 1 : (l == 3 ? 2 : -1));
  if (g == 2) {
    if (l >= 0 && l <= 4) setup = qxSpanRaster_SetupWireframe;
  } else if (g == 3 && shade >= 0) {
    if (shade == 1) {
      litSetup = qxSpanRaster_SetupSolidLit;
    } else {
      setup = kSolid[shade];
    }
  } else if (g == 4 && shade >= 0 && t >= 0 && t <= 2) {
    const int persp = t == 0 ? 0 : 1;
    const int keyed =
        cel && cel->texture && (cel->texture->flags & QXMATERIAL_TEXTURE_COLORKEY) ? 1 : 0;
    if (shade == 1) {
      litSetup = kTexturedLit[persp][keyed];
    } else {
      setup = kTextured[persp][keyed][shade];
    }
    kind = persp ? QXSPAN_KIND_PERSP : QXSPAN_KIND_AFFINE;
  }
  if (shade == 2 && g >= 3) kind |= QXSPAN_KIND_GOURAUD;

  if (setup || litSetup) {
    const float level = g >= 3 ? qxRaster_ApplyLevels(face, l, sel.ambientFloor) : 0.0f;
    if (face->entryFlags & QXCACHE_ENTRY_PROCEDURAL) {
      // The face's hook fills the slots itself; the kind it would have had
      // decides what its spans carry.
      p->kind = kind;
      if (face->spanProc) face->spanProc(p, cel, litSetup ? level : 0.0f);
    } else if (qxCore_GetZBufferMethod() == 1) {
      if (litSetup) {
        litSetup(p, cel, level);
      } else {
        setup(p, cel);
      }
    }
  }
  ++S.polygonCount;
  ++S.setupCount;
  return 1;
}

void qxSpanRaster_BuildEdges(void) {
  g_target = qxspan::CurrentTarget();
  if (!g_target.valid) {
    // No canvas: the faces are counted, no edge is built.
    qxspan::Report(qxspan::kNoCanvas);
    g_target.rowFirst = 0;
    g_target.rowLast = -1;
  } else {
    if (g_target.bpp != 8 && g_target.bpp != 16) qxspan::Report(qxspan::kOtherDepth);
    if (!g_target.zPixels) qxspan::Report(qxspan::kNoDepthBuffer);
  }
  const int faceCount = qxCache_GetFaceCount();
  qxCacheFace* faces = qxCache_GetFaces();
  for (int i = 0; i < faceCount; ++i) qxSpanRaster_SetupFace(&faces[i]);

  for (int32_t pi = 0; pi < S.polygonCount; ++pi) {
    qxSpanPolygon* p = &S.polygons[pi];
    if (!p->edgeProc) continue;
    const int32_t n =
        static_cast<int32_t>(std::min<uint32_t>(p->face->vertexCount, QXCACHE_MAX_FACE_VERTICES));
    const bool reverse = p->face->reverseWinding != 0;
    for (int32_t j = 0; j < n; ++j) {
      if (S.edgeCount >= QXSPAN_MAX_EDGES) {
        qxspan::Report(qxspan::kEdgePoolFull);
        return;
      }
      const int32_t k = j + 1 < n ? j + 1 : 0;
      qxSpanEdge* e = &S.edges[S.edgeCount];
      if (!(reverse ? p->edgeProc(e, p, k, j) : p->edgeProc(e, p, j, k))) continue;
      if (!EdgeOnRows(e)) {
        qxspan::Report(qxspan::kEdgeOutside);
        continue;
      }
      e->polygon = p;
      // Into its start bucket before the first edge at or right of it.
      qxSpanEdge** link = &S.startBuckets[e->startLine];
      while (*link && (*link)->x < e->x) link = &(*link)->next;
      e->next = *link;
      *link = e;
      const int32_t last = e->startLine + e->lineCount - 1;
      e->nextEnding = S.endBuckets[last];
      S.endBuckets[last] = e;
      S.minLine = std::min(S.minLine, e->startLine);
      S.maxLine = std::max(S.maxLine, last);
      ++S.edgeCount;
    }
  }
}

void qxSpanRaster_InsertEdges(void) {
  qxSpanEdge* q = S.activeHead.next;
  qxSpanEdge* e = S.startBuckets[S.currentLine];
  while (e) {
    qxSpanEdge* following = e->next;  // the bucket link is reused by the list
    while (q->x < e->x) q = q->next;
    LinkBefore(e, q);
    if (e->isLeft) {
      e->polygon->leftEdge = e;
    } else {
      e->polygon->rightEdge = e;
    }
    e = following;
  }
}

void qxSpanRaster_ScanLine(void) {
  if (S.edgeCount == 0) return;
  qxSpanPolygon* front = nullptr;
  bool unbalanced = false;
  for (qxSpanEdge* r = S.activeHead.next; r != &S.activeTail; r = r->next) {
    qxSpanPolygon* p = r->polygon;
    const int64_t x = Ceil16(r->x);
    if (r->isLeft) {
      if (++p->insideCount != 1) continue;
      if (!(p->kind & QXSPAN_KIND_PERSP)) LineGradient(p);
      if (!front) {
        p->stackPrev = p->stackNext = nullptr;
        front = p;
        p->spanStartX = static_cast<int32_t>(x);
      } else if (Beats(p, front, r)) {
        EmitSpan(front, x);
        p->stackNext = front;
        front->stackPrev = p;
        p->stackPrev = nullptr;
        p->spanStartX = static_cast<int32_t>(x);
        front = p;
      } else {
        qxSpanPolygon* q = front;
        qxSpanPolygon* behind = front->stackNext;
        while (behind && !Beats(p, behind, r)) {
          q = behind;
          behind = behind->stackNext;
        }
        p->stackPrev = q;
        p->stackNext = behind;
        q->stackNext = p;
        if (behind) behind->stackPrev = p;
      }
    } else {
      const int32_t count = --p->insideCount;
      if (count < 0) unbalanced = true;
      if (count != 0) continue;
      if (p == front) {
        EmitSpan(p, x);
        front = p->stackNext;
        if (front) {
          front->spanStartX = static_cast<int32_t>(x);
          front->stackPrev = nullptr;
        }
      } else {
        if (p->stackPrev) p->stackPrev->stackNext = p->stackNext;
        if (p->stackNext) p->stackNext->stackPrev = p->stackPrev;
      }
    }
  }
  // Crossed or unpaired edges can leave counts off 0 at the line's end; the
  // next line must start with every polygon outside the stack.
  if (front || unbalanced) {
    for (qxSpanEdge* r = S.activeHead.next; r != &S.activeTail; r = r->next) {
      r->polygon->insideCount = 0;
    }
  }
}

void qxSpanRaster_RemoveEdges(void) {
  for (qxSpanEdge* e = S.endBuckets[S.currentLine]; e; e = e->nextEnding) Unlink(e);
}

void qxSpanRaster_StepEdges(void) {
  qxSpanEdge* e = S.activeHead.next;
  while (e != &S.activeTail) {
    qxSpanEdge* following = e->next;
    if (e->stepProc) e->stepProc(e);
    if (e->x < e->prev->x) {
      // Back behind the nearest edge at or left of it.
      qxSpanEdge* q = e->prev;
      Unlink(e);
      while (q != &S.activeHead && q->x > e->x) q = q->prev;
      LinkBefore(e, q->next);
    }
    e = following;
  }
}

void qxSpanRaster_FlushSpans(void) {
  for (int32_t i = 0; i < S.polygonCount; ++i) {
    qxSpanPolygon* p = &S.polygons[i];
    if (!p->spanHead) continue;
    if (p->walkProc) p->walkProc(p);
    p->spanHead = p->spanTail = nullptr;
  }
  S.spanCount = 0;
}

void qxSpanRaster_Run(void) {
  if (!g_prepared) qxSpanRaster_Reset();
  g_prepared = false;
  qxSpanRaster_BuildEdges();
  for (int32_t line = S.minLine; line <= S.maxLine; ++line) {
    S.currentLine = line;
    qxSpanRaster_InsertEdges();
    qxSpanRaster_ScanLine();
    qxSpanRaster_RemoveEdges();
    qxSpanRaster_StepEdges();
  }
  qxSpanRaster_FlushSpans();
}
