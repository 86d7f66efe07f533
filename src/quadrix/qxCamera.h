// Cameras: everything that turns camera-space points into screen points.
//
// Camera space: x right, y forward (depth), z up. Screen space: x right,
// y down, in pixels of the canvas's video buffer; a projected point keeps the
// camera-space depth as its third component. One camera at a time is
// current (qxCore_pCurrentCamera); every 3D drawing call, the clippers and
// the rasterizers work through it and its canvas. Calls that need a current
// camera do nothing (and answer zeros) when there is none.
#pragma once

#include <cstdint>

#include "quadrix/qxMatrix.h"

struct qxCanvas;
struct qxLight;

enum : int32_t {
  QXCAMERA_ORTHOGRAPHIC = 0,
  QXCAMERA_PERSPECTIVE = 1,
};

constexpr int QXCAMERA_MAX_LIGHTS = 64;

// The clip frustum the clippers read.
struct qxClipFrustum {
  int32_t farEnabled;
  float nearY;
  float farY;
  float orthoLeft, orthoTop, orthoRight, orthoBottom;  // camera-space x and z bounds
  float slopeTop, slopeBottom;                         // z / y of the top and bottom planes
  float slopeLeft, slopeRight;                         // x / y of the side planes
  float slopeTopWide, slopeLeftWide;                   // top and left moved out by one pixel
};

using qxProjectPointFn = void (*)(qxVector3* dst, const qxVector3* src);
using qxProjectPointsFn = void (*)(qxVector3* dst, const qxVector3* src, int count);

struct qxCamera {
  int32_t projectionType;  // QXCAMERA_*
  qxCanvas* canvas;        // not owned
  qxMatrix34 viewMatrix;   // world to camera
  float fov;               // horizontal degrees, within [5, 179]
  float focal;             // half canvas width / tan(fov / 2); 0 for orthographic
  float aspect;            // multiplies the vertical screen offset
  float orthoScale;        // pixels per unit in orthographic projection
  qxClipFrustum* frustum;  // owned
  qxProjectPointFn projectPoint;
  qxProjectPointsFn projectPoints;
  float ambientLight;
  int32_t lightCount;
  qxLight* lights[QXCAMERA_MAX_LIGHTS];  // not owned
  qxVector3 lightPositions[QXCAMERA_MAX_LIGHTS];
  float attenuation1, attenuation2;
};

qxCamera* qxCamera_New(float fov, int32_t farEnabled, float nearY, float farY, float aspect);
int qxCamera_NewEntry(qxCamera* camera, float fov, int32_t farEnabled, float nearY, float farY,
                      float aspect);
void qxCamera_FreeEntry(qxCamera* camera);
void qxCamera_Free(qxCamera* camera);
int qxCamera_SetCurrent(qxCamera* camera);
void qxCamera_Update(const qxMatrix34* placement);
int qxCamera_SetCanvas(qxCamera* camera, qxCanvas* canvas);
int qxCamera_SetFOV(qxCamera* camera, float degrees);
int qxCamera_SetProjectionType(qxCamera* camera, int32_t type);
int qxCamera_SetOrthoScale(qxCamera* camera, float scale);
int qxCamera_SetAspectRatio(qxCamera* camera, float ratio);
int qxCamera_BuildFrustum(qxCamera* camera);
int qxCamera_BuildSubFrustum(qxCamera* camera, qxClipFrustum* out, int32_t x0, int32_t y0,
                             int32_t x1, int32_t y1);
void qxCamera_SetAmbientLight(qxCamera* camera, float level);
void qxCamera_SetAttenuation(qxCamera* camera, float attenuation1, float attenuation2);
// 1 added, 0 when the list already holds 64 lights.
int qxCamera_AddLight(qxCamera* camera, qxLight* light, const qxVector3* position);
int qxCamera_ClearLights(qxCamera* camera);
void qxCamera_ClearCanvas(void);
void qxCamera_GetViewMatrix(qxMatrix34* out);
void qxCamera_GetWorldMatrix(qxMatrix34* out);
void qxCamera_GetProjectionParams(float* fov, float* nearY, float* farY, float* centreX,
                                  float* centreY, float* focal, float* aspect, float* ambient,
                                  float* attenuation1, float* attenuation2);
