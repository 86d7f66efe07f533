// The forward shadow light: its choice, its shadow-map projection and the
// per-light members of the forward constant blocks.
#include <cmath>
#include <cstddef>
#include <cstring>

#include "quadrix/qxMatrix.h"
#include "render/Deferred.h"
#include "render/DeferredScene.h"
#include "render/Lightprobe.h"

namespace {

constexpr float kBiasScale = 0.005f;

// The light members are the same 224 bytes, in the same order, in both blocks.
static_assert(sizeof(LitMeshFragmentConstants) == 224);
static_assert(offsetof(CharacterForwardLightResolveConstants, WorldToLocal) == 144);
static_assert(offsetof(CharacterForwardLightResolveConstants,
                       Shadow_Bias_Softness_Quality_Enabled) ==
              144 + offsetof(LitMeshFragmentConstants, Shadow_Bias_Softness_Quality_Enabled));
static_assert(sizeof(CharacterForwardLightResolveConstants) == 144 + 224);

kvVector3F Row3(const kvVector4F& row) {
  return {row.x, row.y, row.z};
}

// The world-to-shadow-map matrix of a light: the shadow-map pass's view and
// projection of it, then the texture bias.
kvMatrix4F ShadowMapMatrix(const DeferredLightInfo& light, uint32_t type) {
  kvMatrix4F viewProjection, bias, result;
  Deferred_ShadowViewProjection(light.transform, type, light.sizeX, light.sizeY, light.shadowNear,
                                light.sizeZ, &viewProjection);
  kv_Matrix4_TextureBias(&bias);
  kv_Matrix4_Multiply(viewProjection, bias, &result);
  return result;
}

// The shadow light as the set answers for it now; false when there is none
// or it can no longer be read.
bool ReadShadowLight(const ShadowLightRecord& record, DeferredLightInfo* light) {
  const DeferredSceneCalls& scene = DeferredScene();
  if (record.lightIndex == Lightprobe_NoLight || record.lightType == Lightprobe_NoLight)
    return false;
  if (static_cast<int64_t>(record.lightIndex) >= scene.countDeferredLights()) return false;
  return scene.getDeferredLight(static_cast<int>(record.lightIndex), record.lightType, light) != 0;
}

}  // namespace

void ShadowLight_Select(void) {
  ShadowLightRecord& record = *Lightprobe_GetShadowLight();
  record.lightIndex = Lightprobe_NoLight;
  record.lightType = Lightprobe_NoLight;
  const DeferredSceneCalls& scene = DeferredScene();
  qxMatrix34 world = {};
  scene.getCameraWorldMatrix(&world);
  const kvVector3F camera = {world.t.x, world.t.y, world.t.z};

  const int count = scene.countDeferredLights();
  int chosen = -1;
  uint32_t chosenType = Lightprobe_NoLight;
  float best = 0.0f;
  for (uint32_t type = DeferredLight_Spot; type <= DeferredLight_DirectionalCircular; ++type) {
    for (int i = 0; i < count; ++i) {
      DeferredLightInfo light = {};
      if (!scene.getDeferredLight(i, type, &light)) continue;
      if (light.setupFlag) {
        // Flagged for the setup: chosen at once; a later type may replace it.
        chosen = i;
        chosenType = type;
        best = 0.0f;
        break;
      }
      if (light.castsShadow <= 0) continue;
      const float d2 = kv_Vector3_DistanceSquared(camera, Row3(light.transform[3]));
      if (d2 > light.shadowRange * light.shadowRange) continue;
      if (chosen < 0 || d2 < best) {
        chosen = i;
        chosenType = type;
        best = d2;
      }
    }
  }
  if (chosen >= 0) {
    scene.setDeferredLightEnabled(chosen, 1);
    record.lightIndex = static_cast<uint32_t>(chosen);
    record.lightType = chosenType;
  }

  record.worldToShadowMap = kvMatrix4F{};
  record.shadowParameters = kvVector4F_Zero;
  DeferredLightInfo light = {};
  if (!ReadShadowLight(record, &light)) return;
  record.worldToShadowMap = ShadowMapMatrix(light, record.lightType);
  record.shadowParameters = {kBiasScale * light.shadowBias,
                             light.shadowSoftness / static_cast<float>(Deferred_ShadowMapSize),
                             static_cast<float>(light.shadowQuality), 1.0f};
}

int Deferred_FillLitMeshFragmentConstants(LitMeshFragmentConstants* block) {
  if (!block) return 0;
  const ShadowLightRecord& record = *Lightprobe_GetShadowLight();
  DeferredLightInfo light = {};
  if (!ReadShadowLight(record, &light)) return 0;
  Deferred_FillLightShape(light, record.lightType, &block->WorldToLocal,
                          &block->Light_InnerColor_InnerRadius,
                          &block->Light_OuterColor_FalloffPower, &block->Light_Position_InvDelta,
                          &block->Light_VerticalInnerRadius_VerticalFalloffPower_VerticalInvDelta_User,
                          &block->Light_ShadingBias_ShadingInvDelta);
  block->WorldToShadowMap = record.worldToShadowMap;
  block->Shadow_Bias_Softness_Quality_Enabled = record.shadowParameters;
  return record.lightType == DeferredLight_Spot ? 1 : 2;
}

int Deferred_FillForwardResolveConstants(CharacterForwardLightResolveConstants* block) {
  if (!block) return 0;
  LitMeshFragmentConstants light;
  const int kind = Deferred_FillLitMeshFragmentConstants(&light);
  if (kind == 0) return 0;
  std::memcpy(reinterpret_cast<unsigned char*>(block) + 144, &light, sizeof light);
  return kind;
}
