// Shadow maps of the set's shadow-casting lights (the characters' queued
// shadow meshes and the set's caster boxes seen from the light), the unit
// cube that light volumes and caster boxes are drawn with, and the classic
// projected actor shadows as "shadow" bucket records.
#include <cmath>
#include <cstring>

#include "gfx/kv_Buffer.h"
#include "gfx/kv_RenderContext.h"
#include "platform/kv_RenderHooks.h"
#include "quadrix/qxMatrix.h"
#include "render/Deferred.h"
#include "render/DeferredScene.h"
#include "render/HardwareOverlay.h"

namespace {

// The spot light's half angle (a 45-degree field of view), pi / 8 in single precision.
constexpr float kSpotHalfAngle = 0.39269909262657166f;

constexpr float kCubeCorners[8][3] = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                                      {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
constexpr uint16_t kCubeTriangles[12][3] = {{0, 1, 2}, {2, 3, 0}, {4, 7, 6}, {6, 5, 4},
                                            {4, 0, 3}, {3, 7, 4}, {2, 1, 5}, {5, 6, 2},
                                            {4, 5, 1}, {1, 0, 4}, {2, 6, 7}, {7, 3, 2}};

kvVector3F Normalized(const kvVector4F& row) {
  kvVector3F out;
  kv_Vector3_Normalize({row.x, row.y, row.z}, &out);
  return out;
}

// Gives each queued shadow mesh the light's projection: a block of its own
// holding the record's LocalToWorld and LocalToScreen = LocalToWorld x the
// light's view-projection.
void ProjectShadowMesh(DrawRecord* record, void* userData) {
  const kvMatrix4F& viewProjection = *static_cast<const kvMatrix4F*>(userData);
  const auto* queued = static_cast<const ShadowMeshConstants*>(record->vertexConstants.data);
  kvConstantBlock block;
  auto* constants = Deferred_AllocConstants<ShadowMeshConstants>(kv_RenderContext_Get(), &block);
  if (!queued || !constants) {
    record->program = nullptr;  // nothing to draw it with: skipped
    return;
  }
  std::memcpy(static_cast<void*>(constants), queued, sizeof *constants);
  kv_Matrix4_Multiply(constants->LocalToWorld, viewProjection, &constants->LocalToScreen);
  record->vertexConstants = block;
  record->pixelConstants = block;
}

}  // namespace

void Deferred_ShadowViewProjection(const kvMatrix4F& lightFrame, uint32_t lightType, float width,
                                   float height, float nearDistance, float farDistance,
                                   kvMatrix4F* out) {
  // The light looks down its -Z axis from the centre of its box's +Z face.
  const kvVector3F eye = {lightFrame[3].x + lightFrame[2].x, lightFrame[3].y + lightFrame[2].y,
                          lightFrame[3].z + lightFrame[2].z};
  kvMatrix4F frame;
  kvVector4F_FromVector3(&frame[0], Normalized(lightFrame[0]), 0.0f);
  kvVector4F_FromVector3(&frame[1], Normalized(lightFrame[1]), 0.0f);
  kvVector4F_FromVector3(&frame[2], Normalized(lightFrame[2]), 0.0f);
  kvVector4F_FromVector3(&frame[3], eye, 1.0f);
  kvMatrix4F view, projection;
  kv_Matrix4_Invert(frame, &view);
  if (lightType == DeferredLight_Spot) {
    kv_Matrix4_Perspective(1.0f / std::tan(kSpotHalfAngle), 1.0f, nearDistance, farDistance,
                           &projection);
  } else {
    kv_Matrix4_Orthographic(width, height, nearDistance, farDistance, &projection);
  }
  kv_Matrix4_Multiply(view, projection, out);
}

void Deferred_CubeIndices(uint16_t out[36], int winding) {
  for (int t = 0; t < 12; ++t) {
    out[3 * t] = kCubeTriangles[t][0];
    out[3 * t + 1] = kCubeTriangles[t][winding ? 1 : 2];
    out[3 * t + 2] = kCubeTriangles[t][winding ? 2 : 1];
  }
}

int Deferred_MakeCubeMesh(kvVertexBuffer** vertices, kvIndexBuffer** indices, int winding) {
  *vertices = nullptr;
  *indices = nullptr;
  kvRenderContext* context = kv_RenderContext_Get();
  kvVertexBuffer* buffer = Deferred_AllocVertices<Vector3Vertex>(context, 8);
  kvIndexBuffer* index = kv_IndexBuffer_AllocateTransient(context, 36, 0);
  auto* corners = buffer ? static_cast<Vector3Vertex*>(kv_Buffer_Lock(buffer)) : nullptr;
  uint16_t* out = index ? kv_IndexBuffer_Lock(index) : nullptr;
  if (!corners || !out) {
    if (corners) kv_Buffer_Unlock(buffer);
    if (out) kv_IndexBuffer_Unlock(index);
    return 0;  // the frame's ring is full
  }
  for (int i = 0; i < 8; ++i) {
    corners[i].Position = {kCubeCorners[i][0], kCubeCorners[i][1], kCubeCorners[i][2]};
  }
  kv_Buffer_Unlock(buffer);
  Deferred_CubeIndices(out, winding);
  kv_IndexBuffer_Unlock(index);
  *vertices = buffer;
  *indices = index;
  return 36;
}

int Deferred_ShadowMap(const kvMatrix4F& lightFrame, uint32_t lightType, float width, float height,
                       float nearDistance, float farDistance, kvVertexBuffer* cubeVertices,
                       kvIndexBuffer* cubeIndices, int cubeIndexCount,
                       kvMatrix4F* worldToShadowMap) {
  kvRenderContext* context = Deferred_PassContext();
  if (!context) return -1;
  kv_RenderContext_PushMarker(context, "Render shadow map");
  ProfileScope profile("Deferred_ShadowMap");

  kvMatrix4F viewProjection, bias;
  Deferred_ShadowViewProjection(lightFrame, lightType, width, height, nearDistance, farDistance,
                                &viewProjection);
  kv_Matrix4_TextureBias(&bias);
  if (worldToShadowMap) kv_Matrix4_Multiply(viewProjection, bias, worldToShadowMap);

  Deferred_BindTarget(context, ShadowMapTarget, ShadowMapDepthTarget.target);
  kv_RenderContext_SetDepthState(context, 0, 1);
  kv_RenderContext_Clear(context, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f);
  kv_RenderContext_SetCullMode(context, 1);
  kv_RenderContext_SetTextures(context, 0, nullptr);
  // Emptied by the last pass that needs it, or at the next frame begin.
  RenderBucket_Draw(Deferred_ShadowMeshesBucket, 0, ProjectShadowMesh, &viewProjection);

  int result = -1;
  const DeferredSceneCalls& scene = DeferredScene();
  const int casters = scene.countShadowCasters();
  if (casters > 0 && cubeVertices && cubeIndices && cubeIndexCount > 0) {
    kv_RenderContext_PushMarker(context, "Character Shadow Casters");
    kv_RenderContext_SetCullMode(context, 2);
    kv_RenderContext_SetColorMask(context, 1, 0, 0, 0);
    for (int j = 0; j < casters; ++j) {
      qxMatrix34 box{};
      if (!scene.getShadowCaster(j, 0, &box)) continue;
      DrawRecord record{};
      auto* block = Deferred_AllocConstants<ShadowMeshConstants>(context, &record.vertexConstants);
      if (!block) break;
      kv_Matrix4_FromMatrix34(box, &block->LocalToWorld);
      kv_Matrix4_Multiply(block->LocalToWorld, viewProjection, &block->LocalToScreen);
      record.primitiveKind = 4;
      record.program = Deferred_GetProgram(DeferredProgram_ShadowMesh);
      record.depthCompare = 1;
      record.depthWrite = 1;
      record.vertexBuffer = cubeVertices;
      record.indexBuffer = cubeIndices;
      record.count = cubeIndexCount;
      kv_RenderContext_SubmitDraw(&record);
      result = 0;
    }
    kv_RenderContext_PopMarker(context);
  }
  // The colour mask stays as it is: the callers turn every channel on again.
  kv_RenderContext_PopMarker(context);
  return result;
}

int Deferred_DrawShadow(const qxVector3* points, int count, int colour) {
  if (!Deferred_IsActive() || !points || count < 3) return 0;
  const DeferredSceneCalls& scene = DeferredScene();
  // Sets with deferred lights get shadow maps instead.
  if (scene.countDeferredLights() > 0) return 0;
  kvRenderContext* context = Deferred_PassContext();
  if (!context) return 0;

  const int triangles = count - 2;
  kvVertexBuffer* buffer = Deferred_AllocVertices<ShadowVertex>(context, 3 * triangles);
  auto* vertices = buffer ? static_cast<ShadowVertex*>(kv_Buffer_Lock(buffer)) : nullptr;
  if (!vertices) return 0;
  const auto point = [points](int k) {
    return kvVector3F{points[k].x, points[k].y, points[k].z};
  };
  for (int k = 1; k <= triangles; ++k) {
    vertices[3 * (k - 1)].Position = point(0);
    vertices[3 * (k - 1) + 1].Position = point(k);
    vertices[3 * (k - 1) + 2].Position = point(k + 1);
  }
  kv_Buffer_Unlock(buffer);

  DrawRecord record{};
  auto* block = Deferred_AllocConstants<ShadowConstants>(context, &record.vertexConstants);
  if (!block) return 0;
  const DeferredCamera camera = Deferred_GetCamera();
  block->ViewDistance.x = camera.focal;
  block->View = camera.view;
  kv_Color_FromRGB565(static_cast<uint32_t>(colour), &block->ShadowColor);
  record.pixelConstants = record.vertexConstants;
  record.primitiveKind = 4;
  record.program = Deferred_GetProgram(DeferredProgram_Shadow);
  record.depthCompare = 5;
  record.depthWrite = 1;
  record.count = -2;
  record.vertexBuffer = buffer;
  RenderBucket_Add(Deferred_ShadowBucket, &record);

  const RenderHookTable* software = kv_RenderHooks_GetSoftwareTable();
  return software && software->active ? 0 : 1;
}
