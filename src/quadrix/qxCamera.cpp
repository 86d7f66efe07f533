#include "quadrix/qxCamera.h"

#include <cstring>

#include "platform/kv_RenderHooks.h"
#include "quadrix/qxCanvas.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxLight.h"
#include "std/stdDisplay.h"
#include "std/stdMath.h"

namespace {

// The projections read the current camera and its canvas, as the
// rasterizers and clippers do. Without them nothing is projected.
bool ProjectionState(const qxCamera** camera, const qxCanvas** canvas) {
  *camera = qxCore_pCurrentCamera;
  if (!*camera || !(*camera)->canvas) return false;
  *canvas = (*camera)->canvas;
  return true;
}

void OrthoPoints(qxVector3* dst, const qxVector3* src, int count) {
  const qxCamera* cam;
  const qxCanvas* cv;
  if (!ProjectionState(&cam, &cv)) return;
  const float scale = cam->orthoScale, vscale = cam->orthoScale * cam->aspect;
  for (int i = 0; i < count; ++i) {
    const qxVector3 s = src[i];
    dst[i] = {scale * s.x + cv->centreX, cv->centreY - s.z * vscale, s.y};
  }
}

void OrthoSquarePoints(qxVector3* dst, const qxVector3* src, int count) {
  const qxCamera* cam;
  const qxCanvas* cv;
  if (!ProjectionState(&cam, &cv)) return;
  const float scale = cam->orthoScale;
  for (int i = 0; i < count; ++i) {
    const qxVector3 s = src[i];
    dst[i] = {scale * s.x + cv->centreX, cv->centreY - s.z * scale, s.y};
  }
}

// Perspective divides by the depth: callers clip against the near plane first.
void PerspPoints(qxVector3* dst, const qxVector3* src, int count) {
  const qxCamera* cam;
  const qxCanvas* cv;
  if (!ProjectionState(&cam, &cv)) return;
  for (int i = 0; i < count; ++i) {
    const qxVector3 s = src[i];
    const float k = cam->focal / s.y;
    dst[i] = {k * s.x + cv->centreX, cv->centreY - s.z * (cam->aspect * k), s.y};
  }
}

void PerspSquarePoints(qxVector3* dst, const qxVector3* src, int count) {
  const qxCamera* cam;
  const qxCanvas* cv;
  if (!ProjectionState(&cam, &cv)) return;
  for (int i = 0; i < count; ++i) {
    const qxVector3 s = src[i];
    const float k = cam->focal / s.y;
    dst[i] = {k * s.x + cv->centreX, cv->centreY - k * s.z, s.y};
  }
}

void OrthoPoint(qxVector3* dst, const qxVector3* src) {
  OrthoPoints(dst, src, 1);
}
void OrthoSquarePoint(qxVector3* dst, const qxVector3* src) {
  OrthoSquarePoints(dst, src, 1);
}
void PerspPoint(qxVector3* dst, const qxVector3* src) {
  PerspPoints(dst, src, 1);
}
void PerspSquarePoint(qxVector3* dst, const qxVector3* src) {
  PerspSquarePoints(dst, src, 1);
}

void ChooseProjection(qxCamera* camera) {
  const bool square = camera->aspect == 1.0f;
  if (camera->projectionType == QXCAMERA_ORTHOGRAPHIC) {
    camera->projectPoint = square ? OrthoSquarePoint : OrthoPoint;
    camera->projectPoints = square ? OrthoSquarePoints : OrthoPoints;
  } else if (camera->projectionType == QXCAMERA_PERSPECTIVE) {
    camera->projectPoint = square ? PerspSquarePoint : PerspPoint;
    camera->projectPoints = square ? PerspSquarePoints : PerspPoints;
  }
}

float ClampFov(float degrees) {
  if (degrees < 5.0f) return 5.0f;
  if (degrees > 179.0f) return 179.0f;
  if (degrees != degrees) return 5.0f;  // NaN
  return degrees;
}

void UpdateLightRanges(qxCamera* camera, int index) {
  qxLight* light = camera->lights[index];
  light->range = light->intensity / camera->attenuation1;
  light->range2 = light->intensity / camera->attenuation2;
}

}  // namespace

qxCamera* qxCamera_New(float fov, int32_t farEnabled, float nearY, float farY, float aspect) {
  auto* camera = static_cast<qxCamera*>(qxCore_Alloc(sizeof(qxCamera), "qxCamera", __LINE__));
  if (!camera) return nullptr;
  std::memset(camera, 0, sizeof *camera);
  if (!qxCamera_NewEntry(camera, fov, farEnabled, nearY, farY, aspect)) {
    qxCore_Free(camera);
    return nullptr;
  }
  return camera;
}

int qxCamera_NewEntry(qxCamera* camera, float fov, int32_t farEnabled, float nearY, float farY,
                      float aspect) {
  auto* frustum =
      static_cast<qxClipFrustum*>(qxCore_Alloc(sizeof(qxClipFrustum), "qxCamera", __LINE__));
  if (!frustum) return 0;
  std::memset(frustum, 0, sizeof *frustum);
  camera->frustum = frustum;
  camera->fov = ClampFov(fov);
  frustum->farEnabled = farEnabled;
  frustum->nearY = nearY;
  frustum->farY = farY;
  camera->canvas = nullptr;
  camera->viewMatrix = qxMatrix34_identity;
  camera->lightCount = 0;
  camera->aspect = aspect;
  camera->projectionType = QXCAMERA_PERSPECTIVE;
  camera->focal = 0.0f;
  camera->orthoScale = 1.0f;
  camera->ambientLight = 0.0f;
  camera->attenuation1 = 0.2f;
  camera->attenuation2 = 0.1f;
  ChooseProjection(camera);
  return 1;
}

void qxCamera_FreeEntry(qxCamera* camera) {
  qxCore_Free(camera->frustum);
  camera->frustum = nullptr;
  camera->canvas = nullptr;
}

void qxCamera_Free(qxCamera* camera) {
  if (!camera) return;
  if (qxCore_pCurrentCamera == camera) qxCore_pCurrentCamera = nullptr;
  qxCore_Free(camera->frustum);
  qxCore_Free(camera);
}

int qxCamera_SetCurrent(qxCamera* camera) {
  if (camera != qxCore_pCurrentCamera) {
    qxCore_pCurrentCamera = camera;
    kv_RenderHooks_CameraChanged();
  }
  return 1;
}

void qxCamera_Update(const qxMatrix34* placement) {
  qxCamera* camera = qxCore_pCurrentCamera;
  if (!camera) return;
  const qxMatrix34 p = *placement;
  qxMatrix34_InvertOrtho(&camera->viewMatrix, &p);
  qxCore_cameraWorldMatrix = p;
}

int qxCamera_SetCanvas(qxCamera* camera, qxCanvas* canvas) {
  camera->canvas = canvas;
  qxCamera_BuildFrustum(camera);
  return 1;
}

int qxCamera_SetFOV(qxCamera* camera, float degrees) {
  camera->fov = ClampFov(degrees);
  qxCamera_BuildFrustum(camera);
  return 1;
}

int qxCamera_SetProjectionType(qxCamera* camera, int32_t type) {
  camera->projectionType = type;
  ChooseProjection(camera);
  if (camera->canvas) qxCamera_BuildFrustum(camera);
  return 1;
}

int qxCamera_SetOrthoScale(qxCamera* camera, float scale) {
  camera->orthoScale = scale;
  qxCamera_BuildFrustum(camera);
  return 1;
}

int qxCamera_SetAspectRatio(qxCamera* camera, float ratio) {
  camera->aspect = ratio;
  ChooseProjection(camera);
  qxCamera_BuildFrustum(camera);
  return 1;
}

int qxCamera_BuildFrustum(qxCamera* camera) {
  const qxCanvas* canvas = camera->canvas;
  if (!canvas || !camera->frustum) return 0;
  qxClipFrustum* f = camera->frustum;
  const float hw = static_cast<float>(canvas->rectRight - canvas->rectLeft) * 0.5f;
  const float hh = static_cast<float>(canvas->rectBottom - canvas->rectTop) * 0.5f;
  const float aspect = camera->aspect;
  if (camera->projectionType == QXCAMERA_PERSPECTIVE) {
    const float focal = hw / stdMath_Tan(camera->fov * 0.5f);
    camera->focal = focal;
    f->slopeTop = hh / focal / aspect;
    f->slopeBottom = -hh / focal / aspect;
    f->slopeLeft = -hw / focal;
    f->slopeRight = hw / focal;
    f->slopeTopWide = (hh + 1.0f) / focal / aspect;
    f->slopeLeftWide = -(hw + 1.0f) / focal;
  } else if (camera->projectionType == QXCAMERA_ORTHOGRAPHIC) {
    const float scale = camera->orthoScale;
    f->orthoLeft = -(hw / scale);
    f->orthoTop = hh / scale / aspect;
    f->orthoRight = hw / scale;
    f->orthoBottom = -(hh / scale) / aspect;
    camera->focal = 0.0f;
    f->slopeTop = f->slopeBottom = f->slopeLeft = f->slopeRight = 0.0f;
  }
  return 1;
}

int qxCamera_BuildSubFrustum(qxCamera* camera, qxClipFrustum* out, int32_t x0, int32_t y0,
                             int32_t x1, int32_t y1) {
  const qxCanvas* canvas = camera->canvas;
  if (!canvas || !camera->frustum) return 0;
  const float cx = canvas->centreX, cy = canvas->centreY;
  const float focal = camera->focal, aspect = camera->aspect;
  const float t = cy - (static_cast<float>(y0) - 0.5f);
  const float l = cx - (static_cast<float>(x0) - 0.5f);
  out->slopeTop = t / focal / aspect;
  out->slopeLeft = -l / focal;
  out->slopeBottom = -((static_cast<float>(y1) - 0.5f) - cy) / focal / aspect;
  out->slopeRight = ((static_cast<float>(x1) - 0.5f) - cx) / focal;
  out->slopeTopWide = (t + 1.0f) / focal / aspect;
  out->slopeLeftWide = -(l + 1.0f) / focal;
  out->farEnabled = camera->frustum->farEnabled;
  out->nearY = camera->frustum->nearY;
  out->farY = camera->frustum->farY;
  return 1;
}

void qxCamera_SetAmbientLight(qxCamera* camera, float level) {
  camera->ambientLight = level;
}

void qxCamera_SetAttenuation(qxCamera* camera, float attenuation1, float attenuation2) {
  camera->attenuation1 = attenuation1;
  camera->attenuation2 = attenuation2;
  for (int i = 0; i < camera->lightCount; ++i) UpdateLightRanges(camera, i);
}

int qxCamera_AddLight(qxCamera* camera, qxLight* light, const qxVector3* position) {
  if (camera->lightCount >= QXCAMERA_MAX_LIGHTS) return 0;
  const int slot = camera->lightCount;
  light->id = slot;
  camera->lights[slot] = light;
  camera->lightPositions[slot] = *position;
  UpdateLightRanges(camera, slot);
  camera->lightCount = slot + 1;
  return 1;
}

int qxCamera_ClearLights(qxCamera* camera) {
  camera->lightCount = 0;
  return 1;
}

void qxCamera_ClearCanvas(void) {
  const qxCamera* camera = qxCore_pCurrentCamera;
  if (!camera || !camera->canvas) return;
  const qxCanvas* canvas = camera->canvas;
  if (!(qxCore_GetRenderFlags() & QXRENDER_CLEAR_CANVAS)) return;
  if (!(canvas->flags & QXCANVAS_CLEAR_ZBUFFER)) return;
  // The accelerated path (level above 0) is not part of this program.
  if (qxCore_accelLevel > 0 || !canvas->zBuffer) return;
  if (canvas->flags & QXCANVAS_EXPLICIT_RECT) {
    const stdRect rect = {canvas->rectLeft, canvas->rectTop,
                          canvas->rectRight - canvas->rectLeft + 1,
                          canvas->rectBottom - canvas->rectTop + 1};
    kv_RenderHooks_FillBuffer(canvas->zBuffer, 0, &rect);
  } else {
    kv_RenderHooks_FillBuffer(canvas->zBuffer, 0, nullptr);
  }
}

void qxCamera_GetViewMatrix(qxMatrix34* out) {
  const qxCamera* camera = qxCore_pCurrentCamera;
  if (!camera) {
    std::memset(out, 0, sizeof *out);
    return;
  }
  *out = camera->viewMatrix;
}

void qxCamera_GetWorldMatrix(qxMatrix34* out) {
  *out = qxCore_cameraWorldMatrix;
}

void qxCamera_GetProjectionParams(float* fov, float* nearY, float* farY, float* centreX,
                                  float* centreY, float* focal, float* aspect, float* ambient,
                                  float* attenuation1, float* attenuation2) {
  const qxCamera* camera = qxCore_pCurrentCamera;
  if (!camera || !camera->canvas || !camera->frustum) {
    *fov = *nearY = *farY = *centreX = *centreY = 0.0f;
    *focal = *aspect = *ambient = *attenuation1 = *attenuation2 = 0.0f;
    return;
  }
  *fov = camera->fov;
  *nearY = camera->frustum->nearY;
  *farY = camera->frustum->farY;
  *centreX = camera->canvas->centreX;
  *centreY = camera->canvas->centreY;
  *focal = camera->focal;
  *aspect = camera->aspect;
  *ambient = camera->ambientLight;
  *attenuation1 = camera->attenuation1;
  *attenuation2 = camera->attenuation2;
}
