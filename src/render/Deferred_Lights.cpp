// The lights of phase 2 and the composition of the frame: one light volume
// per deferred light of the set (with its shadow map when it casts), an
// ambient-occlusion volume per flagged actor, the cutscene lights of a set
// that has only those, then the resolve (with the iris) and FXAA.
#include <algorithm>
#include <cmath>

#include "gfx/kv_Buffer.h"
#include "gfx/kv_RenderContext.h"
#include "gfx/kv_RenderTarget.h"
#include "presentation/drevRender.h"
#include "quadrix/qxMatrix.h"
#include "render/Deferred.h"
#include "render/DeferredScene.h"
#include "render/HardwareOverlay.h"
#include "render/Lightprobe.h"

namespace {

// Actors of the draw list that the cutscene lights are tested against.
constexpr int kCutsceneActorLimit = 20;
constexpr float kShadowBiasScale = 0.005f;

constexpr kvSamplerState kLinearClamp = {2, 0, 1, 0};

const char* const kKindMarkers[5] = {"Gradient light", "Point light", "Spot light",
                                     "Directional light", "Directional light"};

kvVector3F Position(const kvMatrix4F& m) {
  return {m[3].x, m[3].y, m[3].z};
}

// The program of a light of a kind; casting lights of the spot and
// directional kinds take their shadowed program (mode 1) or the one that
// also shadows the environment (other modes).
int LightProgram(uint32_t kind, bool casts, int shadowMode) {
  switch (kind) {
    case DeferredLight_Gradient:
      return DeferredProgram_CharLightGradient;
    case DeferredLight_Point:
      return DeferredProgram_CharLightPoint;
    case DeferredLight_Spot:
      if (!casts) return DeferredProgram_CharLightSpot;
      return shadowMode == 1 ? DeferredProgram_CharLightSpotShadow
                             : DeferredProgram_CharLightSpotShadowEnv;
    default:
      if (!casts) return DeferredProgram_CharLightDirectional;
      return shadowMode == 1 ? DeferredProgram_CharLightDirectionalShadow
                             : DeferredProgram_CharLightDirectionalShadowEnv;
  }
}

// Six points of a full-screen quad of Vector3Vertex (the light volume a
// camera inside the light's box is drawn with).
kvVertexBuffer* MakeLightQuad(kvRenderContext* context) {
  static constexpr float kPoints[6][2] = {{-1, -1}, {1, -1}, {1, 1}, {1, 1}, {-1, 1}, {-1, -1}};
  kvVertexBuffer* buffer = Deferred_AllocVertices<Vector3Vertex>(context, 6);
  auto* points = buffer ? static_cast<Vector3Vertex*>(kv_Buffer_Lock(buffer)) : nullptr;
  if (!points) return nullptr;
  for (int i = 0; i < 6; ++i) points[i].Position = {kPoints[i][0], kPoints[i][1], 0.0f};
  kv_Buffer_Unlock(buffer);
  return buffer;
}

// The spot programs light nothing outside the light's 22.5-degree cone
// (apex at the top of its box, local (0, 0, 1)): at the bottom of the box,
// two box units below the apex, the cone is 2 tan(22.5 degrees) wide, a
// hair more here. Inside the cone's inner radius of 1 (or without a
// falloff) the falloff never reaches 1, and the whole box is lit.
constexpr float kSpotConeRadius = 0.8285f;
bool SpotLightsOnlyItsCone(const DeferredLightInfo& light) {
  return light.innerRadius != 1.0f && light.falloffPower > 0.0f;
}

// The shadow-map texture coordinates (u0, u1, v0, v1) of every point a
// light shades: a directional light's box is its map; a spot's cone, seen
// from its apex through the map's 45-degree view, reaches |axis| / |depth
// axis| of the view's half width along each axis when the light's axes are
// at right angles. False when that cannot be said.
bool ReceiverExtent(const DeferredLightInfo& light, uint32_t kind, bool cone, float out[4]) {
  if (kind == DeferredLight_Directional || kind == DeferredLight_DirectionalCircular) {
    out[0] = out[2] = 0.0f;
    out[1] = out[3] = 1.0f;
    return true;
  }
  if (kind != DeferredLight_Spot || !cone) return false;
  const kvMatrix4F& m = light.transform;
  const auto length = [](const kvVector4F& r) { return std::sqrt(r.x * r.x + r.y * r.y + r.z * r.z); };
  const auto dot = [](const kvVector4F& a, const kvVector4F& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
  };
  const float l0 = length(m[0]), l1 = length(m[1]), l2 = length(m[2]);
  if (!(l0 > 0.0f && l1 > 0.0f && l2 > 0.0f)) return false;
  constexpr float kSquare = 1e-4f;
  if (std::fabs(dot(m[0], m[1])) > kSquare * l0 * l1 || std::fabs(dot(m[0], m[2])) > kSquare * l0 * l2 ||
      std::fabs(dot(m[1], m[2])) > kSquare * l1 * l2) {
    return false;
  }
  const float ku = 0.5f * l0 / l2 * 1.001f, kv = 0.5f * l1 / l2 * 1.001f;
  out[0] = std::min(0.0f, 0.5f - ku);
  out[1] = std::max(1.0f, 0.5f + ku);
  out[2] = std::min(0.0f, 0.5f - kv);
  out[3] = std::max(1.0f, 0.5f + kv);
  return true;
}

void BindLightTarget(kvRenderContext* context) {
  Deferred_BindTarget(context, LightTarget, SceneDepthTarget.target);
}

void AmbientOcclusion(kvRenderContext* context, const DeferredCamera& camera,
                      kvVertexBuffer* cube, kvIndexBuffer* cubeIndices, int cubeIndexCount) {
  const DeferredSceneCalls& scene = DeferredScene();
  const int count = scene.countFlaggedActors();
  if (count <= 0 || cubeIndexCount <= 0) return;
  kv_RenderContext_PushMarker(context, "Ambient Occlusion");
  kv_RenderContext_SetAlphaBlendEnabled(context, 1, 1);
  kv_RenderContext_SetCullMode(context, 1);
  kv_RenderContext_SetDepthState(context, 0, 0);
  kv_RenderContext_SetColorMask(context, 0, 0, 0, 1);
  kv_RenderContext_SetVertexBuffer(context, cube);
  kv_RenderContext_SetProgram(context, Deferred_GetProgram(DeferredProgram_CharAO));
  const kvVector4F viewDistance = {camera.focal, 0.0f, 0.0f, 0.0f};
  for (int n = 0; n < count; ++n) {
    qxMatrix34 transform{};
    if (!scene.getFlaggedActorTransform(n, &transform)) continue;
    kvMatrix4F box;
    kv_Matrix4_FromMatrix34(transform, &box);
    kvConstantBlock vertexBlock, pixelBlock;
    auto* vertex = Deferred_AllocConstants<CharacterAOVertexConstants>(context, &vertexBlock);
    auto* pixel = Deferred_AllocConstants<CharacterAOFragmentConstants>(context, &pixelBlock);
    if (!vertex || !pixel) break;
    vertex->ViewDistance = viewDistance;
    kv_Matrix4_Multiply(box, camera.view, &vertex->LocalToCamera);
    pixel->ViewDistance = viewDistance;
    kv_Matrix4_Invert(box, &pixel->WorldToLocal);
    pixel->CameraToWorld = camera.cameraToWorld;
    kv_RenderContext_SetConstants(context, &vertexBlock, 1);
    kv_RenderContext_SetConstants(context, &pixelBlock, 0);
    kv_RenderContext_DrawIndexedPrimitives(context, 4, cubeIndices, 0, cubeIndexCount);
  }
  kv_RenderContext_ResetColorMask(context);
  kv_RenderContext_PopMarker(context);
}

}  // namespace

void Deferred_FillLightShape(const DeferredLightInfo& light, uint32_t kind,
                             kvMatrix4F* worldToLocal, kvVector4F* innerColour,
                             kvVector4F* outerColour, kvVector4F* position, kvVector4F* vertical,
                             kvVector4F* shading) {
  kv_Matrix4_Invert(light.transform, worldToLocal);
  kvVector4F_FromVector3(innerColour, light.innerColour, light.innerRadius);
  kvVector4F_FromVector3(outerColour, light.outerColour, light.falloffPower);
  kvVector4F_FromVector3(position, light.position, Lightprobe_Inverse(1.0f - light.innerRadius));
  *vertical = {light.verticalInnerRadius, light.verticalFalloffPower,
               Lightprobe_Inverse(1.0f - light.verticalInnerRadius),
               kind == DeferredLight_DirectionalCircular ? 1.0f : 0.0f};
  *shading = {light.shadingBias, Lightprobe_Inverse(light.shadingEnd - light.shadingBias), 0.0f,
              0.0f};
}

void Deferred_Lights(void) {
  if (!Deferred_IsActive()) return;
  const DeferredSceneCalls& scene = DeferredScene();
  if (scene.countDeferredLights() > 0) {
    Deferred_RenderLights();
    return;
  }
  Deferred_ClearLightBuffer();
  if (scene.countCutsceneLights() > 0) Deferred_CutsceneLights();
}

void Deferred_RenderLights(void) {
  kvRenderContext* context = Deferred_PassContext();
  if (!context) return;
  const DeferredSceneCalls& scene = DeferredScene();
  kv_RenderContext_PushMarker(context, "Deferred lights");
  kvVertexBuffer* quad = MakeLightQuad(context);
  kvVertexBuffer* cube = nullptr;
  kvIndexBuffer* cubeIndices = nullptr;
  const int cubeIndexCount = Deferred_MakeCubeMesh(&cube, &cubeIndices, 1);

  BindLightTarget(context);
  kv_RenderContext_SetDepthState(context, 0, 0);
  kv_RenderContext_Clear(context, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
  Deferred_BindGBufferTextures(context, 0, 1);
  const bool dynamic = Deferred_NeedsShadowMap();
  const DeferredCamera camera = Deferred_GetCamera();
  const kvVector3F cameraPosition = Position(camera.cameraToWorld);
  const int count = scene.countDeferredLights();
  const DeferredRect full = Deferred_FullTarget();
  // The resolve darkens the background by the light target's alpha (the
  // environment shadows and ambient occlusion) times this strength: with
  // none, what the lights write there is never seen.
  const bool occlusionShows = Deferred_GetResolveSettings().aoStrength > 0.0f;

  for (uint32_t kind = DeferredLight_Gradient; kind <= DeferredLight_DirectionalCircular; ++kind) {
    bool first = true;
    int previousProgram = -1;
    int previousDepthCompare = -1;
    kvVertexBuffer* previousGeometry = nullptr;
    for (int i = 0; i < count; ++i) {
      DeferredLightInfo light{};
      if (!scene.getDeferredLight(i, kind, &light)) continue;
      kvMatrix4F localToCamera;
      kv_Matrix4_Multiply(light.transform, camera.view, &localToCamera);
      // Behind the camera: nothing to light. Across the camera plane the
      // volume is a full-screen quad, else its box.
      const int side = Deferred_ClassifyVolume(localToCamera);
      if (side < 0) continue;
      const bool useCube = side > 0;
      kvVertexBuffer* geometry = useCube ? cube : quad;
      if (!geometry || (useCube && cubeIndexCount <= 0)) continue;

      const int mode = light.castsShadow;
      bool casts = mode > 0;
      if (casts && kv_Vector3_DistanceSquared(cameraPosition, light.position) >
                       light.shadowRange * light.shadowRange) {
        casts = false;  // too far to cast: its unshadowed program
      }
      // The pixels the light can change: its volume's, where a mesh is, and
      // for a light that also shades the background (the "_env" programs)
      // where its casters' shadows can fall. A light that changes none is
      // not drawn.
      const bool cone = kind == DeferredLight_Spot && SpotLightsOnlyItsCone(light);
      const float c = cone ? kSpotConeRadius : 1.0f;
      const DeferredRect volume =
          useCube || cone ? Deferred_BoxRect(localToCamera, {-c, -c, -1}, {c, c, 1}, camera.focal,
                                             full.x1, full.y1)
                          : full;
      // Drawn once per rectangle of its reach, which never overlap: the
      // meshes' own rectangles rather than their union, and each caster's
      // shadow apart.
      DeferredRectList reach = Deferred_MeshRects;
      const bool shadowsBackground = casts && dynamic && mode != 1 && occlusionShows;
      if (shadowsBackground) {
        kvMatrix4F lightViewProjection{};
        Deferred_ShadowViewProjection(light.transform, kind, light.sizeX, light.sizeY,
                                      light.shadowNear, light.sizeZ, &lightViewProjection);
        const float spread = light.shadowQuality > 0
                                 ? std::fabs(light.shadowSoftness) /
                                       static_cast<float>(Deferred_ShadowMapSize)
                                 : 0.0f;
        float receivers[4];
        const bool bounded = ReceiverExtent(light, kind, cone, receivers);
        if (!Deferred_ShadowReceiverRects(lightViewProjection, spread,
                                          light.shadowBias * kShadowBiasScale,
                                          bounded ? receivers : nullptr, camera, &reach)) {
          DeferredRectList_Add(&reach, full);
        }
      }
      DeferredRectList clips;
      for (int r = 0; r < reach.count; ++r) {
        DeferredRectList_Add(&clips, DeferredRect_Intersect(volume, reach.rects[r]));
      }
      if (clips.count == 0) continue;

      kvConstantBlock vertexBlock, pixelBlock;
      auto* vertex = Deferred_AllocConstants<CharacterLightVertexConstants>(context, &vertexBlock);
      auto* pixel = Deferred_AllocConstants<CharacterLightFragmentConstants>(context, &pixelBlock);
      if (!vertex || !pixel) break;
      vertex->ViewDistance = {camera.focal, 0.0f, 0.0f, useCube ? 1.0f : 0.0f};
      vertex->LocalToCamera = localToCamera;
      pixel->ViewDistance = {camera.focal, 0.0f, 0.0f, 0.0f};
      pixel->CameraToWorld = camera.cameraToWorld;
      Deferred_FillLightShape(light, kind, &pixel->WorldToLocal,
                              &pixel->Light_InnerColor_InnerRadius,
                              &pixel->Light_OuterColor_FalloffPower,
                              &pixel->Light_Position_InvDelta,
                              &pixel->Light_VerticalInnerRadius_VerticalFalloffPower_VerticalInvDelta_User,
                              &pixel->Light_ShadingBias_ShadingInvDelta);

      // A casting light whose shadow map is not rendered this frame keeps
      // the zeros of its fresh block: no shadow.
      bool rendered = false;
      if (casts && dynamic) {
        Deferred_ShadowMap(light.transform, kind, light.sizeX, light.sizeY, light.shadowNear,
                           light.sizeZ, cube, cubeIndices, cubeIndexCount,
                           &pixel->WorldToShadowMap);
        BindLightTarget(context);
        kv_RenderContext_ResetColorMask(context);
        Deferred_BindGBufferTextures(context, 0, 1);
        pixel->Shadow_Bias_Softness_Quality = {
            light.shadowBias * kShadowBiasScale,
            light.shadowSoftness * (1.0f / static_cast<float>(Deferred_ShadowMapSize)),
            static_cast<float>(light.shadowQuality), camera.focal};
        rendered = true;
      }
      // Program and render state change only when the light needs others
      // than the previous one, or after a shadow map was rendered.
      const int program = LightProgram(kind, casts, mode);
      const int depthCompare = casts && mode == 2 ? 0 : 2;
      if (first || rendered || program != previousProgram) {
        kv_RenderContext_SetProgram(context, Deferred_GetProgram(program));
      }
      if (first || rendered || depthCompare != previousDepthCompare) {
        kv_RenderContext_SetAlphaBlendEnabled(context, 1, 1);
        kv_RenderContext_SetCullMode(context, 1);
        kv_RenderContext_SetDepthState(context, depthCompare, 0);
      }
      kv_RenderContext_PushMarker(context, kKindMarkers[kind]);
      if (geometry != previousGeometry || rendered) kv_RenderContext_SetVertexBuffer(context, geometry);
      kv_RenderContext_SetConstants(context, &vertexBlock, 1);
      kv_RenderContext_SetConstants(context, &pixelBlock, 0);
      for (int r = 0; r < clips.count; ++r) {
        Deferred_ClipTo(context, clips.rects[r]);
        if (useCube) {
          kv_RenderContext_DrawIndexedPrimitives(context, 4, cubeIndices, 0, cubeIndexCount);
        } else {
          kv_RenderContext_DrawPrimitives(context, 4, 0, 6);
        }
      }
      kv_RenderContext_PopMarker(context);
      first = false;
      previousProgram = program;
      previousDepthCompare = depthCompare;
      previousGeometry = geometry;
    }
  }
  kv_RenderContext_ClearClipRect(context);
  if (dynamic) RenderBucket_Reset(Deferred_ShadowMeshesBucket);
  kv_RenderContext_PopMarker(context);

  if (occlusionShows) AmbientOcclusion(context, camera, cube, cubeIndices, cubeIndexCount);
  kv_RenderContext_SetDepthState(context, 2, 0);
  kv_RenderContext_SetCullMode(context, 0);
}

void Deferred_CutsceneLights(void) {
  kvRenderContext* context = Deferred_PassContext();
  if (!context) return;
  const DeferredSceneCalls& scene = DeferredScene();
  kv_RenderContext_PushMarker(context, "Rasterize cutscene light sources");
  Deferred_BindGBufferTextures(context, 0, 1);
  kv_RenderContext_SetDepthState(context, 1, 0);
  kv_RenderContext_SetAlphaBlendEnabled(context, 1, 1);
  BindLightTarget(context);

  // The actors the omni and spot lights may reach.
  kvVector3F positions[kCutsceneActorLimit];
  float radii[kCutsceneActorLimit];
  const int actors = std::clamp(scene.getDrawListCount(), 0, kCutsceneActorLimit);
  for (int a = 0; a < actors; ++a) {
    positions[a] = kvVector3F_Zero;
    radii[a] = 0.0f;
    scene.getDrawListActorBounds(a, &positions[a], &radii[a]);
  }
  const kvConstantBlock none = {0, nullptr, nullptr};
  // The resolve reads the light only where a mesh is (the actor shadows
  // drawn afterwards write their own), so the lights keep to the meshes.
  const int count = Deferred_MeshRects.count == 0 ? 0 : scene.countCutsceneLights();
  for (int i = 0; i < count; ++i) {
    DeferredCutsceneLight light{};
    if (!scene.getCutsceneLight(i, &light)) continue;
    if (light.type != 0 && light.type != 2 && light.type != 3) continue;
    if (light.type != 0) {
      bool reaches = false;
      for (int a = 0; a < actors && !reaches; ++a) {
        const float reach = light.attenuation2 + radii[a];
        reaches = reach * reach > kv_Vector3_DistanceSquared(positions[a], light.position);
      }
      if (!reaches) continue;
    }
    kvConstantBlock block;
    if (light.type == 0) {
      auto* c = Deferred_AllocConstants<DeferredDirectConstants>(context, &block);
      if (!c) break;
      c->LightSettings = {light.attenuation1, light.attenuation2, 0.0f, 0.0f};
      kvVector4F_FromVector3(&c->LightColor, light.colour, 1.0f);
      kvVector4F_FromVector3(&c->LightDirection, light.direction, 0.0f);
      kv_RenderContext_SetProgram(context, Deferred_GetProgram(DeferredProgram_LightDirect));
    } else if (light.type == 2) {
      auto* c = Deferred_AllocConstants<DeferredOmniConstants>(context, &block);
      if (!c) break;
      c->LightSettings = {light.attenuation1, light.attenuation2, 0.0f, 0.0f};
      kvVector4F_FromVector3(&c->LightColor, light.colour, 0.0f);
      kvVector4F_FromVector3(&c->LightPosition, light.position, 1.0f);
      kv_RenderContext_SetProgram(context, Deferred_GetProgram(DeferredProgram_LightOmni));
    } else {
      auto* c = Deferred_AllocConstants<DeferredSpotConstants>(context, &block);
      if (!c) break;
      c->LightSettings = {light.attenuation1, light.attenuation2, light.cosInner, light.cosOuter};
      kvVector4F_FromVector3(&c->LightColor, light.colour, 0.0f);
      kvVector4F_FromVector3(&c->LightPosition, light.position, 1.0f);
      kvVector4F_FromVector3(&c->LightDirection, light.direction, 1.0f);
      kv_RenderContext_SetProgram(context, Deferred_GetProgram(DeferredProgram_LightSpot));
    }
    kv_RenderContext_SetConstants(context, &none, 1);
    kv_RenderContext_SetConstants(context, &block, 0);
    Deferred_DrawFullScreenQuadIn(context, Deferred_MeshRects);
  }

  kv_RenderContext_PushMarker(context, "Shadows");
  kv_RenderContext_SetDepthTarget(context, SceneDepthTarget.target);
  kv_RenderContext_SetRenderTarget(context, 0, AlbedoTarget.target);
  kv_RenderContext_SetRenderTarget(context, 1, DistanceTarget.target);
  kv_RenderContext_SetRenderTarget(context, 2, LightTarget.target);
  kv_RenderContext_SetRenderTarget(context, 3, nullptr);
  RenderBucket_Draw(Deferred_ShadowBucket, 1, nullptr, nullptr);
  kv_RenderContext_PopMarker(context);
  kv_RenderContext_PopMarker(context);
}

// Resolve ---------------------------------------------------------------------------------------

DeferredResolveSettings Deferred_GetResolveSettings(void) {
  DeferredResolveSettings settings = {{1.0f, 1.0f, 1.0f}, {0.0f, 0.0f, 0.0f}, 0.0f, 1.0f, 1.0f,
                                      0.5f};
  DeferredScene().findNearestResolvePoint(&settings);
  return settings;
}

void Deferred_FillResolveCommon(kvVector4F* envShadow, kvVector4F* shadowBlack, kvVector4F* iris,
                                const DeferredResolveSettings& settings) {
  const float range = settings.maximumLuminance - settings.minimumLuminance;
  *envShadow = {settings.minimumLuminance, range != 0.0f ? 1.0f / range : 0.0f, settings.power,
                0.0f};
  kvVector4F_FromVector3(shadowBlack, settings.shadowBlack, settings.aoStrength);
  float fraction = 0.0f, centreX = 0.0f, centreY = 0.0f;
  drevRender_GetIrisState(&fraction, &centreX, &centreY);
  const float s = 1.0f / (1.0f - fraction + 0.00001f) - 1.0f;
  *iris = {centreX, 1.0f - centreY, s * 640.0f / 480.0f, s};
}

void Deferred_Resolve(void) {
  if (!Deferred_IsActive()) return;
  kvRenderContext* context = Deferred_PassContext();
  if (!context) return;
  kv_RenderContext_PushMarker(context, "Deferred resolve");
  ProfileScope profile("Deferred_Resolve");
  const DeferredSceneCalls& scene = DeferredScene();
  Deferred_BindGBufferTextures(context, 1, 1);
  const bool full = scene.countDeferredLights() > 0 || scene.countCutsceneLights() == 0;
  kv_RenderContext_SetDepthState(context, full ? 0 : 1, 0);
  kv_RenderContext_SetAlphaBlendEnabled(context, 0, 0);

  kvConstantBlock block;
  const kvConstantBlock none = {0, nullptr, nullptr};
  if (full) {
    auto* c = Deferred_AllocConstants<CharacterLightResolveConstants>(context, &block);
    if (c) {
      const DeferredResolveSettings settings = Deferred_GetResolveSettings();
      Deferred_FillResolveCommon(&c->EnvShadow_MinLuminance_InvDeltaLuminance_Power,
                                 &c->Shadow_Black_AoStrength, &c->Iris_Center_Size, settings);
      kvVector4F_FromVector3(&c->Shadow_White_LightType, settings.shadowWhite, 0.0f);
    }
    kv_RenderContext_SetProgram(context, Deferred_GetProgram(DeferredProgram_CharResolve));
  } else {
    auto* c = Deferred_AllocConstants<DeferredResolveConstants>(context, &block);
    if (c) c->ViewDistance = {Deferred_GetCamera().focal, 0.0f, 0.0f, 0.0f};
    kv_RenderContext_SetProgram(context, Deferred_GetProgram(DeferredProgram_Resolve));
  }
  if (block.data) {
    kv_RenderContext_SetConstants(context, &none, 1);
    kv_RenderContext_SetConstants(context, &block, 0);
    Deferred_BindTarget(context, ResolveTarget, SceneDepthTarget.target);
    Deferred_DrawFullScreenQuad(0);
  }
  kv_RenderContext_PopMarker(context);
}

// FXAA -----------------------------------------------------------------------------------------------

void Deferred_FillPostProcessConstants(DeferredPostProcessConstants* block, int width, int height) {
  const float w = static_cast<float>(std::max(width, 1));
  const float h = static_cast<float>(std::max(height, 1));
  const float n = Deferred_FxaaSubpixelSpread;
  block->FXAAPosOffset = {-0.5f / w, -0.5f / h, 0.5f / w, 0.5f / h};
  block->FXAARcpFrameOpt1 = {-n / w, -n / h, n / w, n / h};
  block->FXAARcpFrameOpt2 = {-2.0f / w, -2.0f / h, 2.0f / w, 2.0f / h};
  block->FXAAEdgeSharpness = Deferred_FxaaEdgeSharpness;
  block->FXAAEdgeThreshold = Deferred_FxaaEdgeThreshold;
  block->FXAAEdgeThresholdMin = Deferred_FxaaEdgeThresholdMin;
}

void Deferred_PostProcessPass(void) {
  if (!Deferred_IsActive()) return;
  kvRenderContext* context = Deferred_PassContext();
  if (!context) return;
  kv_RenderContext_PushMarker(context, "Deferred Post Process");
  kvSurface* const textures[1] = {ResolveTarget.surface};
  kv_RenderContext_SetTextures(context, 1, textures);
  kv_RenderContext_SetSamplers(context, 1, &kLinearClamp);
  kv_RenderContext_SetDepthState(context, 0, 0);
  kv_RenderContext_SetAlphaBlendEnabled(context, 0, 0);
  kv_RenderContext_SetProgram(context, Deferred_GetProgram(DeferredProgram_PostProcess));
  kvConstantBlock block;
  if (auto* c = Deferred_AllocConstants<DeferredPostProcessConstants>(context, &block)) {
    int width = 0, height = 0;
    kv_RenderTarget_GetInfo(FinalTarget.target, &width, &height, nullptr);
    Deferred_FillPostProcessConstants(c, width, height);
    const kvConstantBlock none = {0, nullptr, nullptr};
    kv_RenderContext_SetConstants(context, &none, 1);
    kv_RenderContext_SetConstants(context, &block, 0);
    Deferred_BindTarget(context, FinalTarget, nullptr);
    Deferred_DrawFullScreenQuad(0);
  }
  kv_RenderContext_PopMarker(context);
}
