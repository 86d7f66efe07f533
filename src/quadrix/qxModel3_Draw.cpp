#include "quadrix/qxModel3_Draw.h"

#include <cmath>
#include <vector>

#include "platform/kv_Log.h"
#include "platform/kv_RenderHooks.h"
#include "quadrix/qxCache.h"
#include "quadrix/qxCamera.h"
#include "quadrix/qxColormap.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxFace.h"
#include "quadrix/qxLight.h"
#include "quadrix/qxMaterial.h"
#include "quadrix/qxModel3.h"
#include "quadrix/qxPrimitive.h"
#include "quadrix/qxPuppet.h"
#include "quadrix/qxThing.h"
#include "std/stdDisplay.h"

namespace {

// Everything one qxModel3_Draw call sets for the functions it calls.
struct DrawState {
  qxThing* thing = nullptr;
  qxModel3* model = nullptr;
  const qxModel3Geoset* geoset = nullptr;  // null when the thing names no geoset the model has
  int modelClip = 1;                       // the model sphere's answer: 0 inside, 1 crossing
  int geometry = 0, lighting = 0, texture = 0;
  // Camera lights that may reach the model, with their world positions.
  qxLight* modelLights[QXCAMERA_MAX_LIGHTS];
  qxVector3 modelLightPositions[QXCAMERA_MAX_LIGHTS];
  int modelLightCount = 0;

  qxModel3Mesh* mesh = nullptr;
  int meshClip = 1;
  int meshGeometry = 0, meshLighting = 0, meshTexture = 0;
  // The mesh's vertices in camera space; grows to the largest mesh drawn.
  std::vector<qxVector3> cameraVertices;
  qxVector3 faceVertices[QXCACHE_MAX_FACE_VERTICES];
  // Lights near the mesh: positions and negated directions in mesh space.
  qxLight* meshLights[QXCAMERA_MAX_LIGHTS];
  qxVector3 meshLightPositions[QXCAMERA_MAX_LIGHTS];
  qxVector3 meshLightDirections[QXCAMERA_MAX_LIGHTS];
  int meshLightCount = 0;
};
DrawState g_draw;

struct ClipPlane {
  int enabled = 0;
  qxVector3 normal = {0.0f, 0.0f, 1.0f};
  qxVector3 point = {0.0f, 0.0f, 0.0f};
};
ClipPlane g_plane;

int Min(int a, int b) {
  return a < b ? a : b;
}

bool SoftwareInUse() {
  const RenderHookTable* software = kv_RenderHooks_GetSoftwareTable();
  return software && software->active;
}

qxModel3* ThingModel(const qxThing* thing) {
  if (!thing || thing->type != QXTHING_MODEL) return nullptr;
  return static_cast<qxModel3*>(thing->object);
}

bool ValidNode(const qxModel3* model, const qxModel3Node* node) {
  return node && node->index >= 0 && node->index < model->nodeCount;
}

qxModel3Mesh* NodeMesh(const qxModel3Node* node) {
  const qxModel3Geoset* geoset = g_draw.geoset;
  if (!geoset || node->meshIndex < 0 || node->meshIndex >= geoset->meshCount) return nullptr;
  return &geoset->meshes[node->meshIndex];
}

void ModelModes(const qxThing* thing, const qxCamera* camera) {
  g_draw.geometry = Min(thing->drawGeometryMode, qxCore_GetGeometryMode());
  if ((qxCore_GetRenderFlags() & QXRENDER_AMBIENT) && camera->ambientLight >= 1.0f) {
    g_draw.lighting = 0;
  } else {
    g_draw.lighting = Min(thing->drawLightingMode, qxCore_GetLightingMode());
  }
  // The hardware back ends light models themselves.
  if (!SoftwareInUse()) g_draw.lighting = 1;
  g_draw.texture = Min(thing->drawTextureMode, qxCore_GetTextureMode());
}

// The camera's active lights that may reach the model. Directional lights
// (types below 2) reach any distance.
void GatherModelLights(const qxCamera* camera, const qxMatrix34* placement, float radius) {
  g_draw.modelLightCount = 0;
  for (int i = 0; i < camera->lightCount && i < QXCAMERA_MAX_LIGHTS; ++i) {
    qxLight* light = camera->lights[i];
    if (!light || !light->active) continue;
    float distance2 = 0.0f;
    if (light->type >= 2) {
      qxVector3 d;
      qxVector3_Sub(&d, &placement->t, &camera->lightPositions[i]);
      distance2 = qxVector3_Dot(&d, &d);
    }
    const float reach = radius + light->intensity / camera->attenuation1;
    if (!(distance2 < reach * reach)) continue;
    g_draw.modelLights[g_draw.modelLightCount] = light;
    g_draw.modelLightPositions[g_draw.modelLightCount] = camera->lightPositions[i];
    ++g_draw.modelLightCount;
  }
}

// The model lights near the mesh, moved into mesh space. Per-face lighting
// measures the real distance for every light; per-vertex lighting lets
// directional lights through and compares squared distances.
void GatherMeshLights(const qxCamera* camera, const qxMatrix34* nodeMatrix,
                      const qxMatrix34* inverse, float radius, bool perVertex) {
  g_draw.meshLightCount = 0;
  for (int i = 0; i < g_draw.modelLightCount; ++i) {
    qxLight* light = g_draw.modelLights[i];
    if (!light->active) continue;
    const qxVector3& position = g_draw.modelLightPositions[i];
    const float reach = radius + light->intensity / camera->attenuation1;
    qxVector3 d;
    qxVector3_Sub(&d, &position, &nodeMatrix->t);
    bool near;
    if (perVertex) {
      const float distance2 = light->type < 2 ? 0.0f : qxVector3_Dot(&d, &d);
      near = distance2 < reach * reach;
    } else {
      near = qxVector3_Len(&d) < reach;
    }
    if (!near) continue;
    const int k = g_draw.meshLightCount++;
    g_draw.meshLights[k] = light;
    qxMatrix34_TransformPoint(&g_draw.meshLightPositions[k], &position, inverse);
    g_draw.meshLightDirections[k] = {0.0f, 0.0f, 0.0f};
    if (light->type != QXLIGHT_POINT) {
      qxVector3 negated;
      qxVector3_Neg(&negated, &light->direction);
      qxMatrix34_TransformVector(&g_draw.meshLightDirections[k], &negated, inverse);
    }
  }
}

// Demotes faces whose light is flat to the cheaper lighting modes. The
// per-vertex test allows 1/64 of difference.
void SimplifyLevels(qxCacheFace* f, int count, float ambientFloor) {
  const bool sameColormap = qxCore_pCurrentColormap == qxCore_pDisplayColormap;
  if (ambientFloor >= 1.0f) {
    if (sameColormap) {
      f->lightingMode = 0;
    } else {
      f->faceLight = 1.0f;
      f->lightingMode = 2;
    }
  } else if (f->lightingMode == 2) {
    if (f->faceLight >= 1.0f && sameColormap) {
      f->lightingMode = 0;
    } else if (f->faceLight <= 0.0f) {
      f->lightingMode = 1;
    }
  } else {
    qxPrimitive_FlattenVertexLight(f, count, 0.015625f);
  }
}

void MeasureMesh(qxModel3Mesh* mesh, const qxMatrix34* nodeMatrix);

void DrawNodeAt(qxModel3Node* node, int depth) {
  qxThing* thing = g_draw.thing;
  qxModel3* model = g_draw.model;
  if (!ValidNode(model, node)) return;
  const int32_t i = node->index;
  if (node->meshIndex != -1 && thing->drawFlags[i]) {
    if (qxModel3Mesh* mesh = NodeMesh(node)) {
      if (node->flags & QXNODE_INHERIT_INTENSITY) {
        // The mesh takes the intensity of the nearest ancestor not so marked.
        const qxModel3Node* from = node->parent;
        for (int up = 0; from && (from->flags & QXNODE_INHERIT_INTENSITY) && up < model->nodeCount;
             ++up) {
          from = from->parent;
        }
        const qxModel3Mesh* source = from ? NodeMesh(from) : nullptr;
        if (source) {
          mesh->lightingMode = 6;
          mesh->meshIntensity = source->meshIntensity;
        }
      }
      kv_RenderHooks_DrawMesh(mesh, &thing->nodeMatrices[i]);
      // The face cache's drawn area is the screen area of the draw in every
      // rendering: without the software rasterizer the mesh is measured.
      if (!SoftwareInUse()) MeasureMesh(mesh, &thing->nodeMatrices[i]);
    }
  }
  if (depth >= model->nodeCount) return;
  qxModel3Node* child = node->child;
  for (int32_t k = 0; child && k < node->childCount; ++k, child = child->sibling) {
    if (!ValidNode(model, child) || thing->hiddenFlags[child->index]) continue;
    DrawNodeAt(child, depth + 1);
  }
}

void SkeletonLines(qxThing* thing, const qxModel3* model, qxModel3Node* node, int colour,
                   int depth) {
  if (!ValidNode(model, node)) return;
  const qxMatrix34& own = thing->nodeMatrices[node->index];
  if (ValidNode(model, node->parent)) {
    const qxMatrix34& parent = thing->nodeMatrices[node->parent->index];
    qxPrimitive_DrawLine3(&parent.t, &own.t, nullptr, nullptr, nullptr, nullptr, colour, -1);
  }
  if (depth >= model->nodeCount) return;
  qxModel3Node* child = node->child;
  for (int32_t k = 0; child && k < node->childCount; ++k, child = child->sibling) {
    if (!ValidNode(model, child) || thing->hiddenFlags[child->index]) continue;
    SkeletonLines(thing, model, child, colour, depth + 1);
  }
}

}  // namespace

int qxModel3_Draw(qxThing* thing, const qxMatrix34* placement, qxThing* companion) {
  qxModel3* model = ThingModel(thing);
  qxCamera* camera = qxCore_pCurrentCamera;
  // A thing whose arrays were not all made (a failed qxThing_SetModel3) is not drawn.
  if (!model || !camera || !camera->frustum || !thing->nodeMatrices || !thing->nodeAngleOffsets ||
      !thing->hiddenFlags || !thing->drawFlags) {
    return 0;
  }
  g_draw.thing = thing;
  g_draw.model = model;
  qxModel3* companionModel = ThingModel(companion);

  qxVector3 centre, viewCentre;
  qxMatrix34_TransformPoint(&centre, &model->boxCentre, placement);
  qxMatrix34_TransformPoint(&viewCentre, &centre, &camera->viewMatrix);
  g_draw.modelClip = 1;
  if (thing->frustumTest) {
    const int answer =
        qxPrimitive_GetClippers()->sphereInFrustum(camera->frustum, &viewCentre, model->radius);
    if (answer == 2) return 0;
    g_draw.modelClip = answer;
  }
  kv_RenderHooks_BeginModel(model, &centre, model->radius, placement, companionModel);

  const int32_t geoset = thing->geoset != -1 ? thing->geoset : model->defaultGeoset;
  g_draw.geoset = geoset >= 0 && geoset < model->geosetCount && geoset < kModelMaxGeosets
                      ? &model->geosets[geoset]
                      : nullptr;
  qxPuppet_BuildJointMatrices(thing, placement);
  ModelModes(thing, camera);
  g_draw.modelLightCount = 0;
  if (g_draw.lighting > 1) GatherModelLights(camera, placement, model->radius);
  if (model->nodeCount > 0 && model->nodes) qxModel3_DrawNode(&model->nodes[0]);
  kv_RenderHooks_EndModel(model, companionModel);
  return 1;
}

void qxModel3_DrawNode(qxModel3Node* node) {
  if (!g_draw.thing || !g_draw.model) return;
  DrawNodeAt(node, 0);
}

namespace {

// What drawing a mesh and measuring it share: the mesh is culled against the
// view (by its sphere) and the clip plane, and its vertices are moved into
// camera space. False when nothing of it can show; the inverse of the node
// matrix comes back for the lights and the eye.
bool PrepareMesh(qxModel3Mesh* mesh, const qxMatrix34* nodeMatrix, const qxCamera* camera,
                 qxMatrix34* inverse) {
  g_draw.mesh = mesh;
  if (mesh->geometryMode == 0) return false;

  qxVector3 origin;
  qxMatrix34_TransformPoint(&origin, &nodeMatrix->t, &camera->viewMatrix);
  if (g_draw.modelClip == 0) {
    g_draw.meshClip = 0;  // the whole model lies inside
  } else if (qxCore_GetCullFlags() & QXCULL_MESHES) {
    const int answer =
        qxPrimitive_GetClippers()->sphereInFrustum(camera->frustum, &origin, mesh->radius);
    if (answer == 2) return false;
    g_draw.meshClip = answer;
  } else {
    g_draw.meshClip = 1;
  }
  if (g_plane.enabled) {
    qxVector3 d;
    qxVector3_Sub(&d, &nodeMatrix->t, &g_plane.point);
    if (qxVector3_Dot(&d, &g_plane.normal) < -mesh->radius) return false;  // wholly behind it
  }

  const int32_t vertexCount = mesh->vertexCount > 0 && mesh->vertices ? mesh->vertexCount : 0;
  if (g_draw.cameraVertices.size() < static_cast<size_t>(vertexCount)) {
    g_draw.cameraVertices.resize(static_cast<size_t>(vertexCount));
  }
  qxMatrix34 toCamera;
  qxMatrix34_Multiply(&toCamera, &camera->viewMatrix, nodeMatrix);
  qxMatrix34_TransformPointList(&toCamera, mesh->vertices, g_draw.cameraVertices.data(),
                                vertexCount);
  qxMatrix34_InvertOrtho(inverse, nodeMatrix);
  g_draw.meshGeometry = Min(mesh->geometryMode, g_draw.geometry);
  return true;
}

// Calls show(face, backFacing) for every face the eye may see: those facing
// it, and the back faces too when back faces are not culled or the face is
// two-sided.
template <typename Show>
void ForEachShownFace(const qxModel3Mesh* mesh, const qxMatrix34& inverse, Show show) {
  const int32_t vertexCount = mesh->vertexCount > 0 && mesh->vertices ? mesh->vertexCount : 0;
  qxVector3 eye;
  qxMatrix34_TransformPoint(&eye, &qxCore_cameraWorldMatrix.t, &inverse);
  const bool cullBack = qxCore_GetRenderFlags() & QXRENDER_BACKFACE_CULL;
  for (int32_t f = 0; f < mesh->faceCount; ++f) {
    const qxFace& face = mesh->faces[f];
    if (face.vertexCount <= 0 || !face.vertexIndices) continue;
    const int32_t first = face.vertexIndices[0];
    if (first < 0 || first >= vertexCount) continue;
    qxVector3 toEye;
    qxVector3_Sub(&toEye, &eye, &mesh->vertices[first]);
    const bool back = !(qxVector3_Dot(&face.normal, &toEye) > 0.0f);
    if (back && cullBack && !(face.flags & QXFACE_TWO_SIDED)) continue;
    show(face, back);
  }
}

// Widens the drawn area by the screen bounds the face would have in the face
// cache: clipped to the view and the clip plane and projected as
// qxModel3_EmitFace does, its corners only.
void MeasureFace(const qxFace& face) {
  const qxCamera* camera = qxCore_pCurrentCamera;
  if (g_plane.enabled && face.vertexCount >= (g_draw.meshClip ? QXPRIMITIVE_MAX_CLIPPED_INPUT
                                                              : QXCACHE_MAX_FACE_VERTICES)) {
    return;
  }
  // The polygon clippers of every mode cut the corners alike; the outline
  // modes clip as outlines.
  const int geometry = Min(Min(face.geometryMode, g_draw.meshGeometry), 3);
  qxVector2 texVerts[QXCACHE_MAX_FACE_VERTICES];
  float levels[QXCACHE_MAX_FACE_VERTICES], green[QXCACHE_MAX_FACE_VERTICES],
      blue[QXCACHE_MAX_FACE_VERTICES];
  qxFaceSource source = {};
  source.vertexCount = face.vertexCount;
  source.vertexIndices = face.vertexIndices;
  source.positions = g_draw.cameraVertices.data();
  qxFaceBuffers buffers = {0, g_draw.faceVertices, texVerts, levels, green, blue};
  if (g_draw.meshClip != 0) {
    qxPrimitive_GatherClipFace(camera->frustum, geometry, 0, 0, &source, &buffers, nullptr);
  } else {
    qxPrimitive_GatherFace(geometry, 0, 0, &source, &buffers, nullptr);
  }
  int count = buffers.vertexCount;
  if (count < 3 || count > QXCACHE_MAX_FACE_VERTICES) return;
  if (g_plane.enabled) {
    qxVector3 normal, point;
    qxMatrix34_TransformVector(&normal, &g_plane.normal, &camera->viewMatrix);
    qxMatrix34_TransformPoint(&point, &g_plane.point, &camera->viewMatrix);
    count = qxPrimitive_GetClippers()->polygonToPlane(&normal, &point, g_draw.faceVertices, nullptr,
                                                      nullptr, count);
    if (count < 3 || count > QXCACHE_MAX_FACE_VERTICES) return;
  }
  qxVector3 screen[QXCACHE_MAX_FACE_VERTICES];
  camera->projectPoints(screen, g_draw.faceVertices, count);
  qxCache_WidenDrawnArea(screen, count);
}

// For back ends that draw the meshes themselves: the screen area the mesh
// would cover in the face cache goes into the drawn area all the same.
void MeasureMesh(qxModel3Mesh* mesh, const qxMatrix34* nodeMatrix) {
  const qxCamera* camera = qxCore_pCurrentCamera;
  qxMatrix34 inverse;
  if (!camera || !camera->frustum || !PrepareMesh(mesh, nodeMatrix, camera, &inverse)) return;
  ForEachShownFace(mesh, inverse, [](const qxFace& face, bool) { MeasureFace(face); });
}

}  // namespace

void qxModel3_DrawMesh(qxModel3Mesh* mesh, const qxMatrix34* nodeMatrix, int emit) {
  const qxCamera* camera = qxCore_pCurrentCamera;
  if (!mesh || !camera || !camera->frustum || !g_draw.model) return;
  qxMatrix34 inverse;
  if (!PrepareMesh(mesh, nodeMatrix, camera, &inverse)) return;
  const int32_t vertexCount = mesh->vertexCount > 0 && mesh->vertices ? mesh->vertexCount : 0;

  g_draw.meshTexture = Min(mesh->textureMode, g_draw.texture);
  g_draw.meshLighting = mesh->lightingMode == 6 ? 6 : Min(mesh->lightingMode, g_draw.lighting);

  g_draw.meshLightCount = 0;
  switch (g_draw.meshLighting) {
    case 2:
      GatherMeshLights(camera, nodeMatrix, &inverse, mesh->radius, false);
      break;
    case 3:
      GatherMeshLights(camera, nodeMatrix, &inverse, mesh->radius, true);
      if (vertexCount > 0 && mesh->vertexNormals && mesh->vertexIntensities &&
          mesh->litIntensities) {
        mesh->meshIntensity = qxLight_CalcVertexIntensities(
            g_draw.meshLights, g_draw.meshLightPositions, g_draw.meshLightDirections,
            g_draw.meshLightCount, mesh->vertexNormals, mesh->vertices, mesh->vertexIntensities,
            mesh->litIntensities, vertexCount, camera->attenuation1);
      }
      break;
    case 6:
      for (int32_t f = 0; f < mesh->faceCount; ++f) mesh->faces[f].extraLight = mesh->meshIntensity;
      break;
    default:
      break;
  }

  ForEachShownFace(mesh, inverse, [emit](const qxFace& face, bool back) {
    if (emit) qxModel3_EmitFace(&face, back ? 1 : 0);
  });
}

int qxModel3_EmitFace(const qxFace* face, int backFacing) {
  const qxCamera* camera = qxCore_pCurrentCamera;
  const qxModel3Mesh* mesh = g_draw.mesh;
  if (!camera || !mesh) return 0;
  // Room for the corner the user clip plane may add.
  if (g_plane.enabled && face->vertexCount >= (g_draw.meshClip ? QXPRIMITIVE_MAX_CLIPPED_INPUT
                                                               : QXCACHE_MAX_FACE_VERTICES)) {
    return 0;
  }
  qxCacheFace* f = qxCache_NewFace();
  if (!f) return 0;
  int geometry = Min(face->geometryMode, g_draw.meshGeometry);
  int lighting = Min(face->lightingMode, g_draw.meshLighting);
  const int texture = Min(face->textureMode, g_draw.meshTexture);
  if (face->flags & QXFACE_FORCE_LIGHTING) lighting = 1;
  // A face without texture vertices is drawn untextured.
  if (geometry >= 4 && (!face->texVertexIndices || !mesh->texVertices)) geometry = 3;

  qxFaceSource source = {};
  source.vertexCount = face->vertexCount;
  source.vertexIndices = face->vertexIndices;
  source.texVertexIndices = face->texVertexIndices;
  source.positions = g_draw.cameraVertices.data();
  source.texVertices = mesh->texVertices;
  source.intensities = mesh->litIntensities;
  qxFaceBuffers buffers = {0, g_draw.faceVertices, f->texVerts, f->levels, f->green, f->blue};
  if (g_draw.meshClip != 0) {
    qxPrimitive_GatherClipFace(camera->frustum, geometry, lighting, texture, &source, &buffers,
                               &face->textureOffset);
  } else {
    qxPrimitive_GatherFace(geometry, lighting, texture, &source, &buffers, &face->textureOffset);
  }
  int count = buffers.vertexCount;
  if (count < 3 || count > QXCACHE_MAX_FACE_VERTICES) return 0;

  if (g_plane.enabled) {
    qxVector3 normal, point;
    qxMatrix34_TransformVector(&normal, &g_plane.normal, &camera->viewMatrix);
    qxMatrix34_TransformPoint(&point, &g_plane.point, &camera->viewMatrix);
    count = qxPrimitive_GetClippers()->polygonToPlane(&normal, &point, g_draw.faceVertices,
                                                      geometry >= 4 ? f->texVerts : nullptr,
                                                      lighting >= 3 ? f->levels : nullptr, count);
    // A face needs three corners, whichever clipper cut it.
    if (count < 3 || count > QXCACHE_MAX_FACE_VERTICES) return 0;
  }

  f->faceLight = 0.0f;
  if (lighting == 2) {
    qxVector3 normal = face->normal;
    if (backFacing) qxVector3_NegInPlace(&normal);
    f->faceLight = qxLight_CalcFaceIntensity(g_draw.meshLights, g_draw.meshLightPositions,
                                             g_draw.meshLightDirections, g_draw.meshLightCount,
                                             face, &normal, mesh->vertices, camera->attenuation1);
  }
  camera->projectPoints(f->screenVerts, g_draw.faceVertices, count);
  const float ambientFloor =
      (qxCore_GetRenderFlags() & QXRENDER_AMBIENT) ? camera->ambientLight : 0.0f;
  f->ambientFloor = ambientFloor;
  f->celIndex = face->celIndex;
  if (f->celIndex == -1 && face->material) f->celIndex = face->material->currentCel;
  f->geometryMode = geometry;
  f->lightingMode = lighting;
  f->textureMode = texture;
  SimplifyLevels(f, count, ambientFloor);

  int pools = geometry >= 4 ? QXCACHE_POOL_SCREEN | QXCACHE_POOL_TEXTURE : QXCACHE_POOL_SCREEN;
  if (f->lightingMode >= 3) pools |= QXCACHE_POOL_LIGHT;
  f->reverseWinding = backFacing;
  f->faceFlags = static_cast<uint32_t>(face->flags);
  f->extraLight = face->extraLight;
  f->material = face->material;
  f->drawProc = nullptr;
  f->spanProc = nullptr;
  qxCache_CommitFace(0, count, pools);
  return 1;
}

int qxModel3_DrawSkeleton(qxThing* thing, const qxMatrix34* placement, int colour) {
  qxModel3* model = ThingModel(thing);
  if (!model || !thing->nodeMatrices) return 1;
  qxPuppet_BuildJointMatrices(thing, placement);
  if (model->nodeCount > 0 && model->nodes) {
    qxModel3_DrawSkeletonLines(thing, &model->nodes[0], colour);
  }
  return 1;
}

void qxModel3_DrawSkeletonLines(qxThing* thing, qxModel3Node* node, int colour) {
  const qxModel3* model = ThingModel(thing);
  if (!model || !thing->nodeMatrices || !thing->hiddenFlags) return;
  SkeletonLines(thing, model, node, colour, 0);
}

void qxModel3_EnableClipPlane(int enable) {
  g_plane.enabled = enable != 0;
}

void qxModel3_SetClipPlane(const qxVector3* normal, const qxVector3* point) {
  g_plane.normal = *normal;
  g_plane.point = *point;
}

// ---- Queries of the hardware renderer ----

int qxModel3_GetNodeMatrix(const qxThing* thing, int32_t node, qxMatrix34* out) {
  const qxModel3* model = ThingModel(thing);
  if (!model || !thing->nodeMatrices) return 0;
  if (static_cast<uint32_t>(node) >= static_cast<uint32_t>(model->nodeCount)) return 0;
  *out = thing->nodeMatrices[node];
  return 1;
}

void qxModel3_GetMeshFaces(const qxModel3Mesh* mesh, int32_t* faceCount, qxFace** faces) {
  if (faceCount) *faceCount = mesh->faceCount;
  if (faces) *faces = mesh->faces;
}

void qxModel3_GetMeshVertices(const qxModel3Mesh* mesh, int32_t* vertexCount, qxVector3** vertices,
                              qxVector3** normals, int32_t* texVertexCount,
                              qxVector2** texVertices) {
  if (vertexCount) *vertexCount = mesh->vertexCount;
  if (vertices) *vertices = mesh->vertices;
  if (normals) *normals = mesh->vertexNormals;
  if (texVertexCount) *texVertexCount = mesh->texVertexCount;
  if (texVertices) *texVertices = mesh->texVertices;
}

void qxModel3_GetMaterialTexture(const qxMaterial* material, int32_t cel, DisplayBuffer** texture,
                                 int32_t* colorKeyed, uint32_t* colorKey, int32_t* celColour,
                                 uint32_t* hardwareFlag) {
  if (texture) *texture = nullptr;
  if (colorKeyed) *colorKeyed = 0;
  if (colorKey) *colorKey = 0;
  if (celColour) *celColour = 0;
  if (hardwareFlag) *hardwareFlag = 0;
  if (!material) return;
  if (hardwareFlag) *hardwareFlag = material->flags & QXMATERIAL_HARDWARE;
  if (cel == -1) cel = material->currentCel;
  if (cel < 0 || static_cast<uint32_t>(cel) >= material->celCount || cel >= kMaterialMaxCels) {
    return;
  }
  const qxMaterialCel* c = material->cels[cel];
  if (!c) return;
  if (celColour) *celColour = c->colour;
  const qxMaterialTexture* t = c->texture;
  if (!(material->flags & QXMATERIAL_TEXTURED) || !(c->flags & QXMATERIAL_CEL_TEXTURED) || !t ||
      t->mipCount == 0 || !t->mipLevels[0]) {
    return;
  }
  if (texture) *texture = t->mipLevels[0];
  if (colorKeyed) *colorKeyed = static_cast<int32_t>(t->flags & QXMATERIAL_TEXTURE_COLORKEY);
  if (colorKey) *colorKey = t->colorKey;
}

const uint8_t* qxModel3_GetCurrentPalette(void) {
  return qxCore_pCurrentColormap ? qxCore_pCurrentColormap->palette : nullptr;
}

void qxModel3_GetBitmapInfo(DisplayBuffer* buffer, int32_t* width, int32_t* height, void** pixels,
                            int32_t* bitsPerPixel, const uint8_t** palette, uint32_t* colorKey,
                            void** extra) {
  const BufferFormat& f = buffer->format;
  if (width) *width = f.width;
  if (height) *height = f.height;
  if (bitsPerPixel) *bitsPerPixel = f.format.bitsPerPixel;
  if (colorKey) *colorKey = buffer->colorKey;
  if (extra) *extra = buffer->surface;
  if (pixels) {
    *pixels = nullptr;
    if (stdDisplay_LockBuffer(buffer)) {
      *pixels = buffer->pixels;
      stdDisplay_UnlockBuffer(buffer);
    }
  }
  if (palette) {
    *palette = nullptr;
    if (f.format.colorMode == 0) {
      *palette = buffer->palette ? buffer->palette : qxModel3_GetCurrentPalette();
    }
  }
}

int qxModel3_CollectFaceMaterials(int32_t faceCount, const qxFace* faces, qxFaceMaterial* out,
                                  int capacity) {
  if (!out || capacity < 0) capacity = 0;
  int found = 0;
  for (int32_t i = 0; i < faceCount; ++i) {
    const qxFaceMaterial pair = {faces[i].material, faces[i].celIndex};
    bool seen = false;
    const int kept = found < capacity ? found : capacity;
    for (int k = 0; k < kept && !seen; ++k) {
      seen = out[k].material == pair.material && out[k].cel == pair.cel;
    }
    // Past the capacity, pairs are counted against the faces before this one.
    for (int32_t j = 0; j < i && !seen && found >= capacity; ++j) {
      seen = faces[j].material == pair.material && faces[j].celIndex == pair.cel;
    }
    if (seen) continue;
    if (found < capacity) out[found] = pair;
    ++found;
  }
  return found;
}

int qxModel3_BuildTriangleIndices(int32_t faceCount, const qxFace* faces,
                                  const qxMaterial* material, int32_t cel, int useTextureIndices,
                                  int capacity, uint16_t* out) {
  int total = 0;
  bool writing = true;
  for (int32_t i = 0; i < faceCount; ++i) {
    const qxFace& face = faces[i];
    if (face.material != material || face.celIndex != cel || face.vertexCount < 3) continue;
    const int begin = total;
    total += 3 * (face.vertexCount - 2);
    if (total > capacity) writing = false;
    if (!writing || !out) continue;
    const int32_t* indices = useTextureIndices ? face.texVertexIndices : face.vertexIndices;
    uint16_t* o = out + begin;
    for (int32_t k = 1; k + 1 < face.vertexCount; ++k) {
      // The low 16 bits, as the renderer's 16-bit index buffers take them.
      *o++ = indices ? static_cast<uint16_t>(indices[0]) : 0;
      *o++ = indices ? static_cast<uint16_t>(indices[k]) : 0;
      *o++ = indices ? static_cast<uint16_t>(indices[k + 1]) : 0;
    }
  }
  return total;
}
