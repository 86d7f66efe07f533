// Shadow maps of the set's shadow-casting lights (the characters' queued
// shadow meshes and the set's caster boxes seen from the light), the unit
// cube that light volumes and caster boxes are drawn with, and the classic
// projected actor shadows as "shadow" bucket records.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>
#include <cstdio>
#include <cstdlib>

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

// What the shadow map holds: every input of the last map rendered, byte for
// byte, and that map's result; empty when it holds nothing known.
std::vector<uint8_t> g_shadowMapInputs;
int g_shadowMapResult = -1;

template <class T>
void Append(std::vector<uint8_t>* out, const T& value) {
  const size_t at = out->size();
  out->resize(at + sizeof value);
  std::memcpy(out->data() + at, &value, sizeof value);
}

// The inputs of a shadow map: the light, the queued shadow meshes (vertex
// buffer, its generation, range and placement) and the set's caster boxes.
// False when they cannot tell one map from another: a mesh in a transient
// buffer (whose address a later frame's different vertices may take).
bool ShadowMapInputs(const kvMatrix4F& lightFrame, uint32_t lightType, float width, float height,
                     float nearDistance, float farDistance, int cubeIndexCount,
                     std::vector<uint8_t>* out) {
  out->clear();
  Append(out, lightFrame);
  Append(out, lightType);
  Append(out, kvVector4F{width, height, nearDistance, farDistance});
  Append(out, cubeIndexCount);
  Append(out, Deferred_SubmeshGeneration);
  const RenderBucket* bucket = Deferred_ShadowMeshesBucket;
  for (uint32_t i = 0; bucket && i < bucket->count; ++i) {
    const DrawRecord& r = bucket->records[i];
    const auto* constants = static_cast<const ShadowMeshConstants*>(r.vertexConstants.data);
    if (r.program && (!r.vertexBuffer || !r.vertexBuffer->ownsGLBuffer)) return false;
    Append(out, r.vertexBuffer);
    Append(out, r.indexBuffer);
    Append(out, r.program);
    Append(out, kvVector4F{static_cast<float>(r.count), static_cast<float>(r.first),
                           static_cast<float>(r.primitiveKind), constants ? 1.0f : 0.0f});
    if (constants) Append(out, constants->LocalToWorld);
  }
  const DeferredSceneCalls& scene = DeferredScene();
  const int casters = scene.countShadowCasters();
  for (int j = 0; j < casters; ++j) {
    qxMatrix34 box{};
    Append(out, scene.getShadowCaster(j, 0, &box));
    Append(out, box);
  }
  return true;
}

// A caster's box (local lo..hi placed by localToWorld) seen through the
// light's view-projection: widens the shadow-map rectangle u0..u1, v0..v1
// and lowers the nearest depth. False when a corner is not in front of the
// light.
bool AddCasterBox(const kvMatrix4F& localToWorld, const kvVector3F& lo, const kvVector3F& hi,
                  const kvMatrix4F& viewProjection, float bounds[5]) {
  kvMatrix4F localToClip;
  kv_Matrix4_Multiply(localToWorld, viewProjection, &localToClip);
  for (int corner = 0; corner < 8; ++corner) {
    const float x = (corner & 1) ? hi.x : lo.x;
    const float y = (corner & 2) ? hi.y : lo.y;
    const float z = (corner & 4) ? hi.z : lo.z;
    const kvMatrix4F& m = localToClip;
    const float cw = x * m[0].w + y * m[1].w + z * m[2].w + m[3].w;
    if (!(cw > 1e-6f)) return false;
    const float u = (x * m[0].x + y * m[1].x + z * m[2].x + m[3].x) / cw * 0.5f + 0.5f;
    const float v = (x * m[0].y + y * m[1].y + z * m[2].y + m[3].y) / cw * 0.5f + 0.5f;
    const float d = (x * m[0].z + y * m[1].z + z * m[2].z + m[3].z) / cw;
    if (!std::isfinite(u) || !std::isfinite(v) || !std::isfinite(d)) return false;
    bounds[0] = std::min(bounds[0], u);
    bounds[1] = std::max(bounds[1], u);
    bounds[2] = std::min(bounds[2], v);
    bounds[3] = std::max(bounds[3], v);
    bounds[4] = std::min(bounds[4], d);
  }
  return true;
}

}  // namespace

void Deferred_ForgetShadowMap(void) {
  g_shadowMapInputs.clear();
}

namespace {

// The receivers of one caster's shadow-map rectangle bounds[0..3] (u0, u1,
// v0, v1) and nearest depth bounds[4]; see Deferred_ShadowReceiverRects.
DeferredRect ReceiverRect(const float bounds[5], float spread, const float* receivers,
                          const kvMatrix4F& clipToWorld, const DeferredCamera& camera, int width,
                          int height) {
  const DeferredRect full = DeferredRect_Full(width, height);
  // The receivers whose taps (and the linear filter's next texel) can reach
  // a caster's texel. Taps past the map's edge read its edge texels, so a
  // side that reaches the edge reaches on to the farthest receiver the
  // light has on that side.
  const float margin = spread + 2.0f / static_cast<float>(Deferred_ShadowMapSize);
  float u0 = std::max(bounds[0], 0.0f) - margin, u1 = std::min(bounds[1], 1.0f) + margin;
  float v0 = std::max(bounds[2], 0.0f) - margin, v1 = std::min(bounds[3], 1.0f) + margin;
  if (u0 > u1 || v0 > v1) return {0, 0, 0, 0};  // the caster is off the map
  if (u0 <= 0.0f || v0 <= 0.0f || u1 >= 1.0f || v1 >= 1.0f) {
    if (!receivers) return full;
    if (u0 <= 0.0f) u0 = std::min(receivers[0], u0);
    if (u1 >= 1.0f) u1 = std::max(receivers[1], u1);
    if (v0 <= 0.0f) v0 = std::min(receivers[2], v0);
    if (v1 >= 1.0f) v1 = std::max(receivers[3], v1);
  }
  const float d0 = bounds[4];
  if (d0 > 1.0f) return {0, 0, 0, 0};  // the caster is beyond the light's reach
  // The points that look at those texels from behind the caster and within
  // the light's reach: a piece of the light's frustum, whose corners are
  // seen by the camera.
  const kvMatrix4F& worldToCamera = camera.view;
  kvVector3F corners[8];
  for (int corner = 0; corner < 8; ++corner) {
    const float x = ((corner & 1) ? u1 : u0) * 2.0f - 1.0f;
    const float y = ((corner & 2) ? v1 : v0) * 2.0f - 1.0f;
    const float z = (corner & 4) ? 1.0f : d0;
    const kvMatrix4F& m = clipToWorld;
    const float w = x * m[0].w + y * m[1].w + z * m[2].w + m[3].w;
    if (!(w > 1e-9f)) return full;
    const kvVector3F world = {(x * m[0].x + y * m[1].x + z * m[2].x + m[3].x) / w,
                              (x * m[0].y + y * m[1].y + z * m[2].y + m[3].y) / w,
                              (x * m[0].z + y * m[1].z + z * m[2].z + m[3].z) / w};
    const kvMatrix4F& v = worldToCamera;
    corners[corner] = {world.x * v[0].x + world.y * v[1].x + world.z * v[2].x + v[3].x,
                       world.x * v[0].y + world.y * v[1].y + world.z * v[2].y + v[3].y,
                       world.x * v[0].z + world.y * v[1].z + world.z * v[2].z + v[3].z};
  }
  return Deferred_ProjectRect(corners, 8, camera.focal, width, height);
}

}  // namespace

bool Deferred_ShadowReceiverRects(const kvMatrix4F& viewProjection, float spread, float bias,
                                  const float* receivers, const DeferredCamera& camera,
                                  DeferredRectList* out) {
  int width = 0, height = 0;
  Deferred_TargetSize(&width, &height);
  const DeferredRect full = DeferredRect_Full(width, height);
  // A negative bias lets the cleared map itself shadow the far end.
  if (!(bias >= 0.0f) || !(spread >= 0.0f)) return false;
  kvMatrix4F clipToWorld;
  kv_Matrix4_Invert(viewProjection, &clipToWorld);
  // Each caster's shadow-map u0, u1, v0, v1 and nearest depth; worked out
  // whole before anything is added, so that a caster that cannot be
  // bounded leaves the list as it was.
  DeferredRectList rects;
  const auto addCaster = [&](const kvMatrix4F& localToWorld, const kvVector3F& lo,
                             const kvVector3F& hi) {
    float bounds[5] = {INFINITY, -INFINITY, INFINITY, -INFINITY, INFINITY};
    if (!AddCasterBox(localToWorld, lo, hi, viewProjection, bounds)) return false;
    const DeferredRect r =
        ReceiverRect(bounds, spread, receivers, clipToWorld, camera, width, height);
    if (r.x0 <= full.x0 && r.y0 <= full.y0 && r.x1 >= full.x1 && r.y1 >= full.y1) return false;
    DeferredRectList_Add(&rects, r);
    return true;
  };
  const RenderBucket* bucket = Deferred_ShadowMeshesBucket;
  for (uint32_t i = 0; bucket && i < bucket->count; ++i) {
    const DrawRecord& r = bucket->records[i];
    const auto* constants = static_cast<const ShadowMeshConstants*>(r.vertexConstants.data);
    kvVector3F lo{}, hi{};
    if (!r.program) continue;  // not drawn
    if (!constants || !Deferred_VertexBounds(r.vertexBuffer, &lo, &hi)) return false;
    if (!addCaster(constants->LocalToWorld, lo, hi)) return false;
  }
  const DeferredSceneCalls& scene = DeferredScene();
  const int casters = scene.countShadowCasters();
  for (int j = 0; j < casters; ++j) {
    qxMatrix34 box{};
    if (!scene.getShadowCaster(j, 0, &box)) continue;
    kvMatrix4F m;
    kv_Matrix4_FromMatrix34(box, &m);
    if (!addCaster(m, {-1, -1, -1}, {1, 1, 1})) return false;
  }
  for (int i = 0; i < rects.count; ++i) DeferredRectList_Add(out, rects.rects[i]);
  return true;
}

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

  // The same light over the same casters: the map already holds it.
  static std::vector<uint8_t> inputs;
  const bool known =
      ShadowMapInputs(lightFrame, lightType, width, height, nearDistance, farDistance,
                      cubeVertices && cubeIndices ? cubeIndexCount : 0, &inputs);
  if (!known) inputs.clear();
  if (known && !g_shadowMapInputs.empty() && inputs == g_shadowMapInputs) {
    kv_RenderContext_PopMarker(context);
    return g_shadowMapResult;
  }
  g_shadowMapInputs.clear();

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
  g_shadowMapInputs.swap(inputs);
  g_shadowMapResult = result;
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
