// Not built yet: the clippers answer what lets the callers go on safely (see
// the header) and each says once in the log that it is a placeholder.
#include "raster/qxClip.h"

#include <atomic>

#include "platform/kv_Log.h"

namespace {

void NotBuilt(std::atomic<bool>& said, const char* name) {
  if (!said.exchange(true)) kv_Log_Printf("[Quadrix] - %s: not built yet", name);
}

#define QXCLIP_NOT_BUILT(name)          \
  static std::atomic<bool> said{false}; \
  NotBuilt(said, name)

}  // namespace

int qxClip_PointInFrustum(const qxClipFrustum*, const qxVector3*) {
  QXCLIP_NOT_BUILT("qxClip_PointInFrustum");
  return 0;
}

int qxClip_LinePersp(const qxClipFrustum*, qxVector3*, qxVector3*, int32_t*, int32_t*) {
  QXCLIP_NOT_BUILT("qxClip_LinePersp");
  return 0;
}

int qxClip_PolygonPersp(const qxClipFrustum*, qxVector3*, int count) {
  QXCLIP_NOT_BUILT("qxClip_PolygonPersp");
  return count;
}

int qxClip_PolygonOrtho(const qxClipFrustum*, qxVector3*, int count) {
  QXCLIP_NOT_BUILT("qxClip_PolygonOrtho");
  return count;
}

int qxClip_OutlinePersp(const qxClipFrustum*, qxVector3*, int count) {
  QXCLIP_NOT_BUILT("qxClip_OutlinePersp");
  return count;
}

int qxClip_OutlineOrtho(const qxClipFrustum*, qxVector3*, int count) {
  QXCLIP_NOT_BUILT("qxClip_OutlineOrtho");
  return count;
}

int qxClip_PolygonLitPersp(const qxClipFrustum*, qxVector3*, float*, int count) {
  QXCLIP_NOT_BUILT("qxClip_PolygonLitPersp");
  return count;
}

int qxClip_PolygonLitOrtho(const qxClipFrustum*, qxVector3*, float*, int count) {
  QXCLIP_NOT_BUILT("qxClip_PolygonLitOrtho");
  return count;
}

int qxClip_PolygonTexPersp(const qxClipFrustum*, qxVector3*, qxVector2*, int count) {
  QXCLIP_NOT_BUILT("qxClip_PolygonTexPersp");
  return count;
}

int qxClip_PolygonTexOrtho(const qxClipFrustum*, qxVector3*, qxVector2*, int count) {
  QXCLIP_NOT_BUILT("qxClip_PolygonTexOrtho");
  return count;
}

int qxClip_PolygonTexLitPersp(const qxClipFrustum*, qxVector3*, qxVector2*, float*, int count) {
  QXCLIP_NOT_BUILT("qxClip_PolygonTexLitPersp");
  return count;
}

int qxClip_PolygonTexLitOrtho(const qxClipFrustum*, qxVector3*, qxVector2*, float*, int count) {
  QXCLIP_NOT_BUILT("qxClip_PolygonTexLitOrtho");
  return count;
}

int qxClip_PolygonRGBPersp(const qxClipFrustum*, qxVector3*, float*, float*, float*, int count) {
  QXCLIP_NOT_BUILT("qxClip_PolygonRGBPersp");
  return count;
}

int qxClip_PolygonTexRGBPersp(const qxClipFrustum*, qxVector3*, qxVector2*, float*, float*, float*,
                              int count) {
  QXCLIP_NOT_BUILT("qxClip_PolygonTexRGBPersp");
  return count;
}

int qxClip_Line2D(const qxCanvas*, int32_t*, int32_t*, int32_t*, int32_t*) {
  QXCLIP_NOT_BUILT("qxClip_Line2D");
  return 0;
}

int qxClip_SphereInFrustum(const qxClipFrustum*, const qxVector3*, float) {
  QXCLIP_NOT_BUILT("qxClip_SphereInFrustum");
  return 1;
}

int qxClip_PolygonToPlane(const qxVector3*, const qxVector3*, qxVector3*, qxVector2*, float*,
                          int count) {
  QXCLIP_NOT_BUILT("qxClip_PolygonToPlane");
  return count;
}
