#include "quadrix/qxLight.h"

#include <cstring>

#include "quadrix/qxCore.h"
#include "quadrix/qxFace.h"
#include "std/stdMath.h"

int qxLight_NewEntry(qxLight* light) {
  light->type = QXLIGHT_POINT;
  light->active = 1;
  light->direction = {0.0f, 0.0f, 0.0f};
  light->intensity = 1.0f;
  light->color = 0xFFFFFF;
  light->innerAngle = light->cosInner = 0.0f;
  light->outerAngle = light->cosOuter = 0.0f;
  light->spotFalloff = 0.0f;
  light->range = light->range2 = 0.0f;
  return 1;
}

qxLight* qxLight_New(void) {
  auto* light = static_cast<qxLight*>(qxCore_Alloc(sizeof(qxLight), "qxLight", __LINE__));
  if (!light) return nullptr;
  std::memset(light, 0, sizeof *light);
  qxLight_NewEntry(light);
  return light;
}

void qxLight_Free(qxLight* light) {
  if (light) qxCore_Free(light);
}

void qxLight_FreeEntry(qxLight*) {}

void qxLight_SetSpotAngles(qxLight* light, float inner, float outer) {
  float s;
  light->innerAngle = inner;
  light->outerAngle = outer;
  stdMath_SinCos(inner, &s, &light->cosInner);
  stdMath_SinCos(outer, &s, &light->cosOuter);
  const float d = light->cosInner - light->cosOuter;
  if (d > 0.0f) light->spotFalloff = 1.0f / d;
}

float qxLight_CalcVertexIntensities(qxLight* const* lights, const qxVector3* positions,
                                    const qxVector3* directions, int lightCount,
                                    const qxVector3* normals, const qxVector3* vertices,
                                    const float* stored, float* out, int vertexCount,
                                    float attenuation) {
  if (vertexCount <= 0) return 0.0f;
  float sum = 0.0f;
  for (int i = 0; i < vertexCount; ++i) {
    const qxVector3& n = normals[i];
    const qxVector3& v = vertices[i];
    float intensity = stored[i];
    for (int j = 0; j < lightCount; ++j) {
      const qxLight* light = lights[j];
      if (!light->active) continue;
      const qxVector3& toLight = directions[j];
      const int type = light->type;
      if (type == QXLIGHT_POINT || type == QXLIGHT_SPOT) {
        qxVector3 d;
        qxVector3_Sub(&d, &positions[j], &v);
        if (!(qxVector3_Dot(&d, &d) < light->range * light->range)) continue;
        const float len = qxVector3_NormalizeInPlace(&d);  // d is now L
        if (type == QXLIGHT_POINT) {
          const float nl = qxVector3_Dot(&n, &d);
          if (nl > 0.0f) intensity += nl * (light->intensity - len * attenuation);
        } else {
          const float c = qxVector3_Dot(&d, &toLight);
          // Outside the outer cone the spot gives nothing.
          if (c > light->cosOuter) {
            float s = light->intensity;
            if (c < light->cosInner) {
              s = light->intensity * (1.0f - (light->cosInner - c) * light->spotFalloff);
            }
            // The spot's contribution follows N . D without a facing test.
            intensity += qxVector3_Dot(&n, &toLight) * (s - len * attenuation);
          }
        }
      } else if (type < QXLIGHT_POINT) {
        const float nd = qxVector3_Dot(&n, &toLight);
        if (nd > 0.0f) intensity += nd * light->intensity;
      }
      if (intensity >= 1.0f) {
        intensity = 1.0f;
        break;
      }
    }
    out[i] = intensity;
    sum += intensity;
  }
  return sum / static_cast<float>(vertexCount);
}

float qxLight_CalcFaceIntensity(qxLight* const* lights, const qxVector3* positions,
                                const qxVector3* /*directions*/, int lightCount, const qxFace* face,
                                const qxVector3* normal, const qxVector3* vertices,
                                float attenuation) {
  if (face->vertexCount <= 0 || !face->vertexIndices) return 0.0f;
  const qxVector3& v = vertices[face->vertexIndices[0]];
  float level = 0.0f;
  for (int j = 0; j < lightCount; ++j) {
    const qxLight* light = lights[j];
    if (!light->active) continue;
    qxVector3 d;
    qxVector3_Sub(&d, &positions[j], &v);
    if (!(qxVector3_Dot(&d, &d) < light->range * light->range)) continue;
    const float len = qxVector3_NormalizeInPlace(&d);
    const float nl = qxVector3_Dot(normal, &d);
    if (nl > 0.0f) level += nl * (light->intensity - attenuation * len);
    if (level >= 1.0f) break;
  }
  return level;
}
