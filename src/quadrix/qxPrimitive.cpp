#include "quadrix/qxPrimitive.h"

#include <cmath>
#include <cstdlib>

#include "platform/kv_Log.h"
#include "platform/kv_RenderHooks.h"
#include "quadrix/qxCache.h"
#include "quadrix/qxCamera.h"
#include "quadrix/qxCanvas.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxFace.h"
#include "quadrix/qxMatrix.h"
#include "quadrix/qxClip.h"
#include "std/stdDisplay.h"
#include "std/stdMath.h"

namespace {

const qxPrimitiveClippers kDefaultClippers = {
    qxClip_PointInFrustum,  qxClip_LinePersp,          qxClip_PolygonPersp,
    qxClip_PolygonOrtho,    qxClip_OutlinePersp,       qxClip_OutlineOrtho,
    qxClip_PolygonLitPersp, qxClip_PolygonLitOrtho,    qxClip_PolygonTexPersp,
    qxClip_PolygonTexOrtho, qxClip_PolygonTexLitPersp, qxClip_PolygonTexLitOrtho,
    qxClip_PolygonRGBPersp, qxClip_PolygonTexRGBPersp, qxClip_Line2D,
    qxClip_SphereInFrustum, qxClip_PolygonToPlane};
qxPrimitiveClippers g_clip = kDefaultClippers;

constexpr uint32_t kBit31 = 0x80000000u;

bool Perspective() {
  const qxCamera* camera = qxCore_pCurrentCamera;
  return !camera || camera->projectionType != QXCAMERA_ORTHOGRAPHIC;
}

// The current camera when it can project onto a canvas.
qxCamera* DrawingCamera() {
  qxCamera* camera = qxCore_pCurrentCamera;
  if (!camera || !camera->canvas || !camera->frustum) return nullptr;
  return camera;
}

void Plot(DisplayBuffer* buffer, int64_t x, int64_t y, int colour) {
  if (!buffer || !buffer->pixels || buffer->storage != STDDISPLAY_PLAIN) return;
  const BufferFormat& f = buffer->format;
  if (x < 0 || y < 0 || x >= f.width || y >= f.height) return;
  if (f.format.bitsPerPixel == 8) {
    static_cast<uint8_t*>(buffer->pixels)[y * f.bytesPerRow + x] = static_cast<uint8_t>(colour);
  } else if (f.format.bitsPerPixel == 16) {
    static_cast<uint16_t*>(buffer->pixels)[y * f.pixelsPerRow + x] = static_cast<uint16_t>(colour);
  }
}

void ToScreenPoint(qxScreenPoint* out, const qxVector3& p) {
  out->x = static_cast<int32_t>(p.x);
  out->y = static_cast<int32_t>(p.y);
  out->depth = p.z;
}

// Truncation toward zero of v + 0.5, as the circles round.
int Round(float v) {
  return static_cast<int>(v + 0.5f);
}

float Clamp01(float v) {
  return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
}

// Which clipper (and so which per-vertex data) the effective modes call for.
enum class Clipper { kNone, kPolygon, kOutline, kLit, kTex, kTexLit };

Clipper Choose(int geometry, int lighting) {
  switch (geometry) {
    case 0:
      return Clipper::kPolygon;
    case 1:
    case 2:
      return Clipper::kOutline;
    case 3:
      if (lighting >= 0 && lighting <= 2) return Clipper::kPolygon;
      return lighting == 3 ? Clipper::kLit : Clipper::kNone;
    case 4:
      if (lighting >= 0 && lighting <= 2) return Clipper::kTex;
      return lighting == 3 ? Clipper::kTexLit : Clipper::kNone;
    default:
      return Clipper::kNone;
  }
}

bool NeedsTexture(Clipper c) {
  return c == Clipper::kTex || c == Clipper::kTexLit;
}
bool NeedsLight(Clipper c) {
  return c == Clipper::kLit || c == Clipper::kTexLit;
}

// Faces whose corners could overflow the 32-vertex buffers are refused with
// one log line.
bool FitsBuffers(int32_t count, bool clipped) {
  const int32_t limit = clipped ? QXPRIMITIVE_MAX_CLIPPED_INPUT : QXCACHE_MAX_FACE_VERTICES;
  if (count >= 0 && count <= limit) return true;
  static bool said = false;
  if (!said) {
    said = true;
    kv_Log_Printf("[Quadrix] - a face of %d corners is more than the face buffers take; not drawn",
                  count);
  }
  return false;
}

// Copies what the clipper choice needs; false when the source lacks it.
bool Gather(Clipper c, int32_t count, const int32_t* vertexIndices, const int32_t* texVertexIndices,
            const qxFaceSource* s, qxFaceBuffers* b, const qxVector2* offset, bool coloured) {
  const bool tex = NeedsTexture(c), lit = NeedsLight(c);
  if (count > 0 && (!vertexIndices || !s->positions)) return false;
  if (tex && count > 0 && (!texVertexIndices || !s->texVertices)) return false;
  if (lit && count > 0 && !s->intensities) return false;
  if (lit && coloured && count > 0 && (!s->red || !s->green || !s->blue)) return false;
  const qxVector2 shift = offset ? *offset : qxVector2{0.0f, 0.0f};
  for (int32_t i = 0; i < count; ++i) {
    const int32_t k = vertexIndices[i];
    b->positions[i] = s->positions[k];
    if (tex) {
      const qxVector2& t = s->texVertices[texVertexIndices[i]];
      b->texVertices[i] = {t.x + shift.x, t.y + shift.y};
    }
    if (lit && coloured) {
      b->intensities[i] = Clamp01(s->intensities[k] + s->red[i]);
      b->green[i] = Clamp01(s->intensities[k] + s->green[i]);
      b->blue[i] = Clamp01(s->intensities[k] + s->blue[i]);
    } else if (lit) {
      const float extra = s->extraIntensities ? s->extraIntensities[i] : 0.0f;
      b->intensities[i] = Clamp01(s->intensities[k] + extra);
    }
  }
  return true;
}

// Gathers n corners when they fit the buffers; the count becomes n, or 0
// when the face is refused.
bool GatherChecked(Clipper c, int32_t n, bool clipped, const int32_t* vertexIndices,
                   const int32_t* texVertexIndices, const qxFaceSource* s, qxFaceBuffers* b,
                   const qxVector2* offset, bool coloured) {
  if (!FitsBuffers(n, clipped) ||
      !Gather(c, n, vertexIndices, texVertexIndices, s, b, offset, coloured)) {
    b->vertexCount = 0;
    return false;
  }
  b->vertexCount = n;
  return true;
}

int RunClipper(const qxClipFrustum* f, Clipper c, qxFaceBuffers* b, int count) {
  const bool persp = Perspective();
  switch (c) {
    case Clipper::kPolygon:
      return (persp ? g_clip.polygonPersp : g_clip.polygonOrtho)(f, b->positions, count);
    case Clipper::kOutline:
      return (persp ? g_clip.outlinePersp : g_clip.outlineOrtho)(f, b->positions, count);
    case Clipper::kLit:
      return (persp ? g_clip.polygonLitPersp : g_clip.polygonLitOrtho)(f, b->positions,
                                                                       b->intensities, count);
    case Clipper::kTex:
      return (persp ? g_clip.polygonTexPersp : g_clip.polygonTexOrtho)(f, b->positions,
                                                                       b->texVertices, count);
    case Clipper::kTexLit:
      return (persp ? g_clip.polygonTexLitPersp : g_clip.polygonTexLitOrtho)(
          f, b->positions, b->texVertices, b->intensities, count);
    case Clipper::kNone:
      break;
  }
  return b->vertexCount;
}

}  // namespace

void qxPrimitive_SetClippers(const qxPrimitiveClippers* clippers) {
  g_clip = clippers ? *clippers : kDefaultClippers;
}

const qxPrimitiveClippers* qxPrimitive_GetClippers(void) {
  return &g_clip;
}

// ---- 3D ----

int qxPrimitive_ProjectPoint3(const qxVector3* point, qxScreenPoint* out) {
  const qxCamera* camera = DrawingCamera();
  if (!camera) return 0;
  qxVector3 p, s;
  qxMatrix34_TransformPoint(&p, point, &camera->viewMatrix);
  if (!g_clip.pointInFrustum(camera->frustum, &p)) return 0;
  camera->projectPoint(&s, &p);
  if (out) ToScreenPoint(out, s);
  return 1;
}

int qxPrimitive_DrawPoint3(const qxVector3* point, qxScreenPoint* out, int colour) {
  qxScreenPoint s;
  if (!qxPrimitive_ProjectPoint3(point, &s)) return 0;
  if (out) *out = s;
  // The truncated projection of a point on the canvas edge may fall just
  // outside the buffer: the plot checks.
  Plot(qxCore_pCurrentCamera->canvas->videoBuffer, s.x, s.y, colour);
  return 1;
}

int qxPrimitive_DrawLine3(const qxVector3* a, const qxVector3* b, qxScreenPoint* outA,
                          qxScreenPoint* outB, int* movedA, int* movedB, int colour, int pattern) {
  const qxCamera* camera = DrawingCamera();
  if (!camera) return 0;
  qxVector3 pa, pb, sa, sb;
  qxMatrix34_TransformPoint(&pa, a, &camera->viewMatrix);
  qxMatrix34_TransformPoint(&pb, b, &camera->viewMatrix);
  if (!g_clip.linePersp(camera->frustum, &pa, &pb, movedA, movedB)) return 0;
  camera->projectPoint(&sa, &pa);
  camera->projectPoint(&sb, &pb);
  qxScreenPoint ea, eb;
  ToScreenPoint(&ea, sa);
  ToScreenPoint(&eb, sb);
  if (outA) *outA = ea;
  if (outB) *outB = eb;
  kv_RenderHooks_DrawLine(1, camera->canvas, ea.x, ea.y, eb.x, eb.y, colour, pattern);
  return 1;
}

int qxPrimitive_DrawCircle3(const qxVector3* centre, float radius, float angleStep, int colour,
                            int pattern) {
  const qxCamera* camera = DrawingCamera();
  if (!camera) return 0;
  qxVector3 p, q, sp, sq;
  qxMatrix34_TransformPoint(&p, centre, &camera->viewMatrix);
  if (!(p.y > 0.0f)) return 0;
  q = {p.x + radius, p.y, p.z};
  camera->projectPoint(&sp, &p);
  camera->projectPoint(&sq, &q);
  return qxPrimitive_DrawCircle2(camera->canvas, Round(sp.x), Round(sp.y), sq.x - sp.x, angleStep,
                                 colour, pattern);
}

qxCacheFace* qxPrimitive_AddPolygon3(const qxVector3* points, int count, qxMaterial* material) {
  const qxCamera* camera = DrawingCamera();
  if (!camera || !points || count <= 0) return nullptr;
  if (!FitsBuffers(count, true)) return nullptr;
  qxVector3 work[QXCACHE_MAX_FACE_VERTICES];
  qxVector3 centroid = {0.0f, 0.0f, 0.0f};
  for (int i = 0; i < count; ++i) {
    qxMatrix34_TransformPoint(&work[i], &points[i], &camera->viewMatrix);
    qxVector3_AddInPlace(&centroid, &work[i]);
  }
  qxVector3_ScaleInPlace(&centroid, 1.0f / static_cast<float>(count));
  const int n =
      (Perspective() ? g_clip.polygonPersp : g_clip.polygonOrtho)(camera->frustum, work, count);
  if (n < 3 || n > QXCACHE_MAX_FACE_VERTICES) return nullptr;
  qxCacheFace* face = qxCache_NewFace();
  if (!face) return nullptr;
  camera->projectPoints(face->screenVerts, work, n);
  face->entryFlags = 0;
  face->faceFlags = 1;
  face->geometryMode = 3;
  face->lightingMode = 1;
  face->textureMode = 0;
  face->faceLight = 0.0f;
  face->extraLight = 0.0f;
  face->vertexCount = static_cast<uint32_t>(n);
  face->material = material;
  face->celIndex = -1;
  // The ambient floor as the model and sprite faces set it.
  face->ambientFloor = (qxCore_GetRenderFlags() & QXRENDER_AMBIENT) ? camera->ambientLight : 0.0f;
  qxVector3 qp, rq, normal;
  qxVector3_Sub(&qp, &work[1], &work[0]);
  qxVector3_Sub(&rq, &work[2], &work[1]);
  qxVector3_Cross(&normal, &qp, &rq);
  face->reverseWinding = qxVector3_Dot(&normal, &centroid) > 0.0f ? 1 : 0;
  qxCache_CommitFace(0, n, QXCACHE_POOL_SCREEN);
  return face;
}

// ---- 2D ----

int qxPrimitive_DrawLine2(qxCanvas* canvas, int x0, int y0, int x1, int y1, int colour,
                          int pattern) {
  if (!canvas) return 0;
  DisplayBuffer* buffer = canvas->videoBuffer;
  const uint32_t bits = static_cast<uint32_t>(pattern);
  const int64_t dx = int64_t{x1} - x0, dy = int64_t{y1} - y0;
  const int64_t sx = dx > 0 ? 1 : -1, sy = dy > 0 ? 1 : -1;
  const int64_t a0 = dx > 0 ? dy : -dy;
  const int64_t b0 = dy > 0 ? -dx : dx;
  int64_t error = 0, x = x0, y = y0;
  uint32_t mask = kBit31;
  if (bits & kBit31) Plot(buffer, x, y, colour);
  while (x != x1 || y != y1) {
    mask = mask == 1 ? kBit31 : mask >> 1;
    const int64_t a = a0 + error, b = b0 + error;
    if (std::llabs(a) < std::llabs(b)) {
      error = a;
      x += sx;
    } else {
      error = b;
      y += sy;
    }
    if (bits & mask) Plot(buffer, x, y, colour);
  }
  return 1;
}

int qxPrimitive_DrawLine2Clipped(qxCanvas* canvas, int x0, int y0, int x1, int y1, int colour,
                                 int pattern) {
  if (!canvas) return 0;
  int32_t ax = x0, ay = y0, bx = x1, by = y1;
  if (!g_clip.line2D(canvas, &ax, &ay, &bx, &by)) return 0;
  qxPrimitive_DrawLine2(canvas, ax, ay, bx, by, colour, pattern);
  return 1;
}

int qxPrimitive_DrawCircle2(qxCanvas* canvas, int cx, int cy, float radius, float angleStep,
                            int colour, int pattern) {
  // A step of 0 or less would never reach the full turn.
  if (!canvas || !(angleStep > 0.0f)) return 0;
  const int64_t g = Round(radius);
  if (cx + g < canvas->rectLeft || canvas->rectRight < cx - g || cy + g < canvas->rectTop ||
      canvas->rectBottom < cy - g) {
    return 0;
  }
  float s, c;
  stdMath_SinCos(0.0f, &s, &c);
  int px = cx + Round(c * radius), py = cy + Round(radius * s);
  for (float angle = angleStep; angle <= 360.0f; angle += angleStep) {
    stdMath_SinCos(angle, &s, &c);
    const int x = cx + Round(c * radius), y = cy + Round(radius * s);
    kv_RenderHooks_DrawLine(0, canvas, px, py, x, y, colour, pattern);
    px = x;
    py = y;
  }
  return 1;
}

int qxPrimitive_DrawRect2(qxCanvas* canvas, int x0, int y0, int x1, int y1, int colour,
                          int pattern) {
  kv_RenderHooks_DrawLine(0, canvas, x0, y0, x1, y0, colour, pattern);
  kv_RenderHooks_DrawLine(0, canvas, x1, y0, x1, y1, colour, pattern);
  kv_RenderHooks_DrawLine(0, canvas, x0, y0, x0, y1, colour, pattern);
  return kv_RenderHooks_DrawLine(0, canvas, x0, y1, x1, y1, colour, pattern);
}

int qxPrimitive_DrawTriangle2(qxCanvas* canvas, int x0, int y0, int x1, int y1, int x2, int y2,
                              int colour, int pattern) {
  kv_RenderHooks_DrawLine(0, canvas, x0, y0, x1, y1, colour, pattern);
  kv_RenderHooks_DrawLine(0, canvas, x1, y1, x2, y2, colour, pattern);
  return kv_RenderHooks_DrawLine(0, canvas, x2, y2, x0, y0, colour, pattern);
}

// ---- The face gatherer ----

void qxPrimitive_GatherClipFace(const qxClipFrustum* frustum, int geometry, int lighting,
                                int /*texture*/, const qxFaceSource* source, qxFaceBuffers* buffers,
                                const qxVector2* textureOffset) {
  const Clipper c = Choose(geometry, lighting);
  if (c == Clipper::kNone) return;
  const int32_t n = source->vertexCount;
  if (!GatherChecked(c, n, true, source->vertexIndices, source->texVertexIndices, source, buffers,
                     textureOffset, false)) {
    return;
  }
  buffers->vertexCount = RunClipper(frustum, c, buffers, n);
}

void qxPrimitive_GatherFace(int geometry, int lighting, int /*texture*/, const qxFaceSource* source,
                            qxFaceBuffers* buffers, const qxVector2* textureOffset) {
  const Clipper c = Choose(geometry, lighting);
  if (c == Clipper::kNone) return;
  GatherChecked(c, source->vertexCount, false, source->vertexIndices, source->texVertexIndices,
                source, buffers, textureOffset, false);
}

void qxPrimitive_ClipFace(const qxClipFrustum* frustum, int geometry, int lighting, int /*texture*/,
                          qxFaceBuffers* buffers) {
  const Clipper c = Choose(geometry, lighting);
  if (c == Clipper::kNone) return;
  if (!FitsBuffers(buffers->vertexCount, true)) {
    buffers->vertexCount = 0;
    return;
  }
  buffers->vertexCount = RunClipper(frustum, c, buffers, buffers->vertexCount);
}

void qxPrimitive_GatherClipFaceRGB(const qxClipFrustum* frustum, int geometry, int lighting,
                                   int /*texture*/, const qxFaceSource* source,
                                   qxFaceBuffers* buffers, const qxVector2* textureOffset) {
  const Clipper c = Choose(geometry, lighting);
  if (c == Clipper::kNone) return;
  const int32_t n = source->vertexCount;
  if (!GatherChecked(c, n, true, source->vertexIndices, source->texVertexIndices, source, buffers,
                     textureOffset, true)) {
    return;
  }
  qxFaceBuffers* b = buffers;
  // The coloured form always clips in perspective.
  switch (c) {
    case Clipper::kPolygon:
      b->vertexCount = g_clip.polygonPersp(frustum, b->positions, n);
      break;
    case Clipper::kOutline:
      b->vertexCount = g_clip.outlinePersp(frustum, b->positions, n);
      break;
    case Clipper::kLit:
      b->vertexCount =
          g_clip.polygonRGBPersp(frustum, b->positions, b->intensities, b->green, b->blue, n);
      break;
    case Clipper::kTex:
      b->vertexCount = g_clip.polygonTexPersp(frustum, b->positions, b->texVertices, n);
      break;
    case Clipper::kTexLit:
      b->vertexCount = g_clip.polygonTexRGBPersp(frustum, b->positions, b->texVertices,
                                                 b->intensities, b->green, b->blue, n);
      break;
    case Clipper::kNone:
      break;
  }
}

void qxPrimitive_GatherModelFace(const qxFace* face, int geometry, int lighting, int /*texture*/,
                                 const qxFaceSource* source, qxFaceBuffers* buffers) {
  const Clipper c = Choose(geometry, lighting);
  if (c == Clipper::kNone) return;
  GatherChecked(c, face->vertexCount, false, face->vertexIndices, face->texVertexIndices, source,
                buffers, nullptr, false);
}

void qxPrimitive_FlattenVertexLight(qxCacheFace* face, int count, float tolerance) {
  if (face->lightingMode != 3 || count <= 0) return;
  const float first = face->levels[0];
  for (int i = 1; i < count; ++i) {
    if (std::fabs(face->levels[i] - first) > tolerance) return;
  }
  if (first == 1.0f) {
    if (qxCore_pCurrentColormap == qxCore_pDisplayColormap) {
      face->lightingMode = 0;
    } else {
      face->faceLight = 1.0f;
      face->lightingMode = 2;
    }
  } else if (first == 0.0f) {
    face->lightingMode = 1;
    face->faceLight = 0.0f;
  } else {
    face->lightingMode = 2;
    face->faceLight = first;
  }
}
