// The forward lighting path (advanced lighting off): the frame's one shadow
// light gets its shadow map, each submesh is drawn once lit by its model's
// light probes and, within the shadow light's reach, by that light per pixel,
// and the resolve composes the lit meshes over the background.
#include "gfx/kv_RenderContext.h"
#include "quadrix/qxMatrix.h"
#include "render/Deferred.h"
#include "render/DeferredScene.h"
#include "render/HardwareOverlay.h"
#include "render/Lightprobe.h"

namespace {

constexpr float kShadowBiasScale = 0.005f;
// The resolve softens the bias further for the environment.
constexpr float kResolveBiasScale = 0.1f;

constexpr kvSamplerState kMeshSampler = {0, 0, 1, 2};
constexpr kvSamplerState kShadowSampler = {2, 0, 1, 0};

// The forward pixel shader of a submesh.
int PixelShader(bool textured, const LightProbeSlot* slot) {
  const int kind = slot && slot->inReach ? slot->forwardProgramKind : 0;
  if (kind == 1) return textured ? DeferredForward_TexturedSpot : DeferredForward_UntexturedSpot;
  if (kind == 2) {
    return textured ? DeferredForward_TexturedDirectional : DeferredForward_UntexturedDirectional;
  }
  return textured ? DeferredForward_Textured : DeferredForward_Untextured;
}

// The slot's per-light block, built once per model and frame.
kvConstantBlock FragmentBlock(kvRenderContext* context, LightProbeSlot* slot) {
  if (slot && slot->constantsBuilt) return slot->constants;
  kvConstantBlock block;
  auto* constants = Deferred_AllocConstants<LitMeshFragmentConstants>(context, &block);
  const int kind = constants ? Deferred_FillLitMeshFragmentConstants(constants) : 0;
  if (slot && constants) {
    slot->constants = block;
    slot->forwardProgramKind = kind;
    slot->constantsBuilt = 1;
  }
  return block;
}

}  // namespace

bool Deferred_ForwardShadowMap(void) {
  ShadowLightRecord& record = *Lightprobe_GetShadowLight();
  const DeferredSceneCalls& scene = DeferredScene();
  const bool dynamic = Deferred_NeedsShadowMap();
  kvVertexBuffer* cube = nullptr;
  kvIndexBuffer* cubeIndices = nullptr;
  const int cubeIndexCount =
      scene.countShadowCasters() > 0 ? Deferred_MakeCubeMesh(&cube, &cubeIndices, 1) : 0;
  DeferredLightInfo light{};
  if (record.lightIndex == Lightprobe_NoLight ||
      static_cast<int64_t>(record.lightIndex) >= scene.countDeferredLights() ||
      !scene.getDeferredLight(static_cast<int>(record.lightIndex), record.lightType, &light)) {
    return false;
  }
  if (dynamic) {
    Deferred_ShadowMap(light.transform, record.lightType, light.sizeX, light.sizeY,
                       light.shadowNear, light.sizeZ, cube, cubeIndices, cubeIndexCount,
                       &record.worldToShadowMap);
    if (kvRenderContext* context = Deferred_PassContext()) kv_RenderContext_ResetColorMask(context);
  }
  record.shadowParameters = {
      light.shadowBias * kShadowBiasScale,
      light.shadowSoftness * (1.0f / static_cast<float>(Deferred_ShadowMapSize)),
      static_cast<float>(light.shadowQuality), dynamic ? 1.0f : 0.0f};
  return dynamic;
}

int Deferred_DrawSubmeshForward(kvRenderContext* context, const qxMatrix34* placement,
                                kvVertexBuffer* vertexBuffer, kvSurface* texture, float red,
                                float green, float blue, float) {
  if (!context || !vertexBuffer) return 0;
  LightProbeSlot* slot = Lightprobe_GetCurrent();
  const DeferredCamera camera = Deferred_GetCamera();
  const kvMatrix4F model = Deferred_PlacementMatrix(placement);

  DrawRecord record{};
  auto* vertex =
      Deferred_AllocConstants<ForwardLitMeshVertexConstants>(context, &record.vertexConstants);
  if (!vertex) return 0;
  vertex->Model = model;
  vertex->View = camera.view;
  vertex->ViewDistance = {camera.focal, 1.0f, 1.0f, 1.0f};
  if (!texture || red < 0.0f) vertex->ViewDistance = {camera.focal, red, green, blue};
  if (slot) {
    kvVector4F_FromVector3(&vertex->ProbeCenter, slot->centre, 0.0f);
    kvVector4F_FromVector3(&vertex->ProbeSize, slot->probeSize, 0.0f);
    kvVector4F* const directions[Lightprobe_DirectionCount] = {
        vertex->IrradianceXpos, vertex->IrradianceXneg, vertex->IrradianceYpos,
        vertex->IrradianceYneg, vertex->IrradianceZpos, vertex->IrradianceZneg};
    for (int d = 0; d < Lightprobe_DirectionCount; ++d) {
      for (int k = 0; k < Lightprobe_PointCount; ++k) {
        kvVector4F_FromVector3(&directions[d][k], slot->irradiance[k][d], 0.0f);
      }
    }
  }
  record.pixelConstants = FragmentBlock(context, slot);

  const bool low = slot && (slot->flags & Lightprobe_SmallOnScreen);
  record.primitiveKind = 4;
  record.program = Deferred_GetForwardProgram(low ? 1 : 0, PixelShader(texture != nullptr, slot));
  record.count = -2;
  record.vertexBuffer = vertexBuffer;
  record.depthCompare = 5;
  record.depthWrite = 1;
  record.textureCount = record.samplerCount = 2;
  record.textures[0] = texture;
  record.textures[1] = ShadowMapTarget.surface;
  record.samplerStates[0] = kMeshSampler;
  record.samplerStates[1] = kShadowSampler;
  RenderBucket_Add(Deferred_AlbedoBucket, &record);

  if (slot && slot->inReach && !(slot->flags & Lightprobe_TinyOnScreen) &&
      DeferredScene().countFlaggedDeferredLights() > 0) {
    DrawRecord shadow{};
    auto* constants = Deferred_AllocConstants<ShadowMeshConstants>(context, &shadow.vertexConstants);
    if (constants) {
      constants->LocalToWorld = model;
      shadow.primitiveKind = 4;
      shadow.program = Deferred_GetProgram(DeferredProgram_ShadowMesh);
      shadow.count = -2;
      shadow.vertexBuffer = vertexBuffer;
      shadow.depthCompare = 1;
      shadow.depthWrite = 1;
      RenderBucket_Add(Deferred_ShadowMeshesBucket, &shadow);
    }
  }
  return 1;
}

void Deferred_ForwardResolve(kvRenderTarget* outputTarget, kvRenderTarget* depthTarget) {
  if (!Deferred_IsActive()) return;
  kvRenderContext* context = Deferred_PassContext();
  if (!context) return;
  kv_RenderContext_PushMarker(context, "Deferred resolve");
  ProfileScope profile("Deferred_Resolve");
  Deferred_BindGBufferTextures(context, 1, 1);

  kvConstantBlock block;
  auto* c = Deferred_AllocConstants<CharacterForwardLightResolveConstants>(context, &block);
  if (c) {
    const DeferredSceneCalls& scene = DeferredScene();
    const ShadowLightRecord& record = *Lightprobe_GetShadowLight();
    const DeferredResolveSettings settings = Deferred_GetResolveSettings();
    const DeferredCamera camera = Deferred_GetCamera();
    Deferred_FillResolveCommon(&c->EnvShadow_MinLuminance_InvDeltaLuminance_Power,
                               &c->Shadow_Black_AoStrength, &c->Iris_Center_Size, settings);
    const int flagged = scene.countFlaggedActors();
    if (flagged == 0) c->Shadow_Black_AoStrength.w = 0.0f;
    kvVector4F_FromVector3(&c->Shadow_White_LightType, settings.shadowWhite,
                           record.lightType != DeferredLight_Spot ? 1.0f : 0.0f);
    c->CameraToWorld = camera.cameraToWorld;
    qxMatrix34 actor{};
    if (flagged > 0 && scene.getFlaggedActorTransform(0, &actor)) {
      c->AoWorldSpacePosition_ViewDistance = {actor.t.x, actor.t.y, actor.t.z, camera.focal};
    } else {
      c->AoWorldSpacePosition_ViewDistance.w = camera.focal;
    }
    // Without a usable shadow light the light members stay zero: no shadow.
    Deferred_FillForwardResolveConstants(c);
    c->Shadow_Bias_Softness_Quality_Enabled.x *= kResolveBiasScale;
    if (record.probesInReach == 0) c->Shadow_Bias_Softness_Quality_Enabled.w = 0.0f;

    const kvConstantBlock none = {0, nullptr, nullptr};
    kv_RenderContext_SetProgram(context, Deferred_GetProgram(DeferredProgram_CharResolveShadows));
    kv_RenderContext_SetConstants(context, &none, 1);
    kv_RenderContext_SetConstants(context, &block, 0);
    kv_RenderContext_SetDepthTarget(context, depthTarget);
    kv_RenderContext_SetRenderTarget(context, 0, outputTarget);
    for (int slot = 1; slot < 4; ++slot) kv_RenderContext_SetRenderTarget(context, slot, nullptr);
    kv_RenderContext_SetDepthState(context, 0, 0);
    kv_RenderContext_SetAlphaBlendEnabled(context, 0, 0);
    Deferred_DrawFullScreenQuad(0);
  }
  kv_RenderContext_PopMarker(context);
}
