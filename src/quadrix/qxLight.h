// Lights of the 3D library (directional, point, spot) and the software path's
// vertex and face lighting.
//
// A light belongs to the scene, not to a camera: a camera keeps up to 64
// pointers to lights with their world positions and derives each light's two
// ranges from its attenuation values (qxCamera_AddLight). The lighting
// functions take the lights, their positions and their negated directions in
// the lit mesh's own space, and the camera's attenuation 1 (light lost per
// unit of distance).
#pragma once

#include <cstdint>

#include "quadrix/qxVector.h"

struct qxFace;

enum : int32_t {
  QXLIGHT_DIRECTIONAL = 1,
  QXLIGHT_POINT = 2,
  QXLIGHT_SPOT = 3,
};

struct qxLight {
  int32_t id;      // slot in the camera's light list
  int32_t type;    // QXLIGHT_*; types below 2 reach everything
  int32_t active;  // inactive lights are skipped
  qxVector3 direction;
  float intensity;
  uint32_t color;                  // packed RGB; not used by the software lighting
  float colorR, colorG, colorB;    // for the hardware renderer; not set here
  float startFalloff, endFalloff;  // likewise
  float innerAngle, cosInner;
  float outerAngle, cosOuter;
  float spotFalloff;  // 1 / (cos inner - cos outer)
  float range;        // intensity / attenuation 1
  float range2;       // intensity / attenuation 2
};

qxLight* qxLight_New(void);
int qxLight_NewEntry(qxLight* light);
void qxLight_Free(qxLight* light);
void qxLight_FreeEntry(qxLight* light);
// Stores both angles and their cosines; the falloff factor only when
// cos inner - cos outer > 0.
void qxLight_SetSpotAngles(qxLight* light, float inner, float outer);

// Per-vertex lighting: each vertex starts from its stored intensity and gains
// from the lights in list order until it saturates at 1.0. Writes the lit
// intensities and returns their mean (0 for no vertices).
float qxLight_CalcVertexIntensities(qxLight* const* lights, const qxVector3* positions,
                                    const qxVector3* directions, int lightCount,
                                    const qxVector3* normals, const qxVector3* vertices,
                                    const float* stored, float* out, int vertexCount,
                                    float attenuation);
// Per-face lighting at the face's first vertex, every active light treated as
// a point light; not clamped. 0 for a face without vertices.
float qxLight_CalcFaceIntensity(qxLight* const* lights, const qxVector3* positions,
                                const qxVector3* directions, int lightCount, const qxFace* face,
                                const qxVector3* normal, const qxVector3* vertices,
                                float attenuation);
