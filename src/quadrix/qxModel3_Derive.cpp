// Models: the data derived after every load (boxes, radii, normals, node
// depths, shadow boxes).
#include <vector>

#include "quadrix/qxCore.h"
#include "quadrix/qxMath.h"
#include "quadrix/qxModel3.h"
#include "quadrix/qxModel3_Internal.h"

namespace {

constexpr float kEmptyMin = 3.4e38f;
constexpr float kEmptyMax = -3.4e38f;

void ResetBox(qxVector3* min, qxVector3* max) {
  *min = {kEmptyMin, kEmptyMin, kEmptyMin};
  *max = {kEmptyMax, kEmptyMax, kEmptyMax};
}

void Widen(qxVector3* min, qxVector3* max, const qxVector3& p) {
  if (p.x < min->x) min->x = p.x;
  if (p.y < min->y) min->y = p.y;
  if (p.z < min->z) min->z = p.z;
  if (p.x > max->x) max->x = p.x;
  if (p.y > max->y) max->y = p.y;
  if (p.z > max->z) max->z = p.z;
}

// The node's local placement: T(-parent pivot) T(position) R(angles) T(pivot).
void LocalPlacement(const qxModel3Node& node, qxMatrix34* out) {
  qxMatrix34_Build(out, &node.angles, &node.position);
  qxMatrix34_PostTranslate(out, &node.pivot);
  if (node.parent) {
    qxVector3 back;
    qxVector3_Neg(&back, &node.parent->pivot);
    qxMatrix34_PreTranslate(out, &back);
  }
}

bool InArray(const qxModel3* model, const qxModel3Node* node) {
  return node >= model->nodes && node < model->nodes + model->nodeCount;
}

}  // namespace

void qxModel3_CalcBoundingBoxes(qxModel3* model) {
  for (int g = 0; g < model->geosetCount && g < kModelMaxGeosets; ++g) {
    qxModel3Geoset& geoset = model->geosets[g];
    for (int32_t m = 0; geoset.meshes && m < geoset.meshCount; ++m) {
      qxModel3Mesh& mesh = geoset.meshes[m];
      ResetBox(&mesh.boxMin, &mesh.boxMax);
      for (int32_t v = 0; mesh.vertices && v < mesh.vertexCount; ++v) {
        Widen(&mesh.boxMin, &mesh.boxMax, mesh.vertices[v]);
      }
    }
  }

  // The model box: every mesh of geoset 0 placed by the hierarchy, walked
  // from the first node (each node at most once).
  ResetBox(&model->boxMin, &model->boxMax);
  if (model->nodes && model->nodeCount > 0) {
    const qxModel3Geoset& geoset0 = model->geosets[0];
    struct Visit {
      const qxModel3Node* node;
      qxMatrix34 parentWorld;
    };
    std::vector<Visit> stack = {{&model->nodes[0], qxMatrix34_identity}};
    int32_t visits = 0;
    while (!stack.empty() && visits++ < model->nodeCount) {
      const Visit visit = stack.back();
      stack.pop_back();
      const qxModel3Node& node = *visit.node;
      qxMatrix34 local, world;
      LocalPlacement(node, &local);
      qxMatrix34_Multiply(&world, &visit.parentWorld, &local);
      if (node.meshIndex >= 0 && node.meshIndex < geoset0.meshCount && geoset0.meshes) {
        const qxModel3Mesh& mesh = geoset0.meshes[node.meshIndex];
        for (int32_t v = 0; mesh.vertices && v < mesh.vertexCount; ++v) {
          qxVector3 p;
          qxMatrix34_TransformPoint(&p, &mesh.vertices[v], &world);
          Widen(&model->boxMin, &model->boxMax, p);
        }
      }
      // Children in chain order: pushed last to first.
      std::vector<const qxModel3Node*> children;
      for (const qxModel3Node* c = node.child;
           c && InArray(model, c) && children.size() < static_cast<size_t>(model->nodeCount);
           c = c->sibling) {
        children.push_back(c);
      }
      for (auto it = children.rbegin(); it != children.rend(); ++it) stack.push_back({*it, world});
    }
  }
  qxVector3 extent;
  qxVector3_Sub(&extent, &model->boxMax, &model->boxMin);
  model->boxCentre = {model->boxMin.x + extent.x * 0.5f, model->boxMin.y + extent.y * 0.5f,
                      model->boxMin.z + extent.z * 0.5f};
  model->radius = 0.5f * qxVector3_Len(&extent);
}

void qxModel3_CalcRadii(qxModel3* model) {
  if (model->geosetCount <= 0) return;
  qxModel3Geoset& geoset = model->geosets[0];
  for (int32_t m = 0; geoset.meshes && m < geoset.meshCount; ++m) {
    qxModel3Mesh& mesh = geoset.meshes[m];
    float r = 0.0f;
    for (int32_t v = 0; mesh.vertices && v < mesh.vertexCount; ++v) {
      const float d = qxVector3_Len(&mesh.vertices[v]);
      if (d > r) r = d;
    }
    mesh.radius = r + r * 0.1f;
  }
}

void qxModel3_CalcFaceNormals(qxModel3* model) {
  for (int g = 0; g < model->geosetCount && g < kModelMaxGeosets; ++g) {
    qxModel3Geoset& geoset = model->geosets[g];
    for (int32_t m = 0; geoset.meshes && m < geoset.meshCount; ++m) {
      qxModel3Mesh& mesh = geoset.meshes[m];
      if (!mesh.vertices) continue;
      for (int32_t f = 0; mesh.faces && f < mesh.faceCount; ++f) {
        qxFace& face = mesh.faces[f];
        const int32_t n = face.vertexCount;
        if (n < 1 || !face.vertexIndices) continue;
        // The first corner whose two edges are not collinear gives the normal.
        for (int32_t l = 0; l < n; ++l) {
          const qxVector3* p = &mesh.vertices[face.vertexIndices[l]];
          const qxVector3* next = &mesh.vertices[face.vertexIndices[(l + 1) % n]];
          const qxVector3* prev = &mesh.vertices[face.vertexIndices[l == 0 ? n - 1 : l - 1]];
          if (!qxMath_PointsCollinear(p, next, prev)) {
            qxMath_FaceNormal(&face.normal, p, next, prev);
            break;
          }
        }
      }
    }
  }
}

void qxModel3_CalcVertexNormals(qxModel3* model) {
  for (int g = 0; g < model->geosetCount && g < kModelMaxGeosets; ++g) {
    qxModel3Geoset& geoset = model->geosets[g];
    for (int32_t m = 0; geoset.meshes && m < geoset.meshCount; ++m) {
      qxModel3Mesh& mesh = geoset.meshes[m];
      if (!mesh.vertexNormals || !mesh.vertices || mesh.vertexCount <= 0) continue;
      const size_t count = static_cast<size_t>(mesh.vertexCount);
      // Per vertex: the sum of the normals of the faces that use it (each
      // face once, in face order), their number, the last face counted, and
      // the face and corner of its first use.
      std::vector<qxVector3> sum(count, qxVector3{0.0f, 0.0f, 0.0f});
      std::vector<int32_t> uses(count, 0), lastFace(count, -1), firstFace(count, -1),
          firstCorner(count, -1);
      for (int32_t f = 0; mesh.faces && f < mesh.faceCount; ++f) {
        const qxFace& face = mesh.faces[f];
        for (int32_t c = 0; face.vertexIndices && c < face.vertexCount; ++c) {
          const size_t k = static_cast<size_t>(face.vertexIndices[c]);
          if (lastFace[k] == f) continue;
          lastFace[k] = f;
          qxVector3_AddInPlace(&sum[k], &face.normal);
          if (uses[k]++ == 0) {
            firstFace[k] = f;
            firstCorner[k] = c;
          }
        }
      }
      for (size_t k = 0; k < count; ++k) {
        qxVector3& normal = mesh.vertexNormals[k];
        if (uses[k] == 0) {
          normal = {1.0f, 0.0f, 0.0f};
        } else if (uses[k] >= 2) {
          qxVector3_Divide(&normal, &sum[k], static_cast<float>(uses[k]));
          qxVector3_NormalizeInPlace(&normal);
        } else {
          // One face: the sum of the differences to the vertex's two
          // neighbours along that face's outline.
          const qxFace& face = mesh.faces[firstFace[k]];
          const int32_t n = face.vertexCount, c = firstCorner[k];
          const qxVector3& p = mesh.vertices[k];
          qxVector3 toNext, toPrev;
          qxVector3_Sub(&toNext, &mesh.vertices[face.vertexIndices[(c + 1) % n]], &p);
          qxVector3_Sub(&toPrev, &mesh.vertices[face.vertexIndices[c == 0 ? n - 1 : c - 1]], &p);
          qxVector3_Add(&normal, &toNext, &toPrev);
          qxVector3_NormalizeInPlace(&normal);
        }
      }
    }
  }
}

void qxModel3_CalcNodeDepths(qxModel3* model) {
  qxModel3_ComputeDepths(model);
}

void qxModel3_BuildShadowBoxes(qxModel3* model) {
  for (int g = 0; g < model->geosetCount && g < kModelMaxGeosets; ++g) {
    qxModel3Geoset& geoset = model->geosets[g];
    for (int32_t m = 0; geoset.meshes && m < geoset.meshCount; ++m) {
      qxModel3Mesh& mesh = geoset.meshes[m];
      if (!mesh.shadow) continue;
      qxCore_Free(mesh.shadowBox);
      mesh.shadowBox = static_cast<qxVector3*>(
          qxCore_Alloc(sizeof(qxVector3) * kModelShadowPoints, "qxModel3", __LINE__));
      if (!mesh.shadowBox) {
        mesh.shadow = 0;
        return;
      }
      const float x0 = mesh.boxMin.x, y0 = mesh.boxMin.y, z0 = mesh.boxMin.z;
      const float x1 = mesh.boxMax.x, y1 = mesh.boxMax.y, z1 = mesh.boxMax.z;
      const qxVector3 points[kModelShadowPoints] = {
          {x1, y1, z1}, {x1, y0, z1}, {x0, y0, z1}, {x0, y1, z1},   // top
          {x1, y1, z0}, {x1, y0, z0}, {x0, y0, z0}, {x0, y1, z0},   // bottom
          {x0, y0, z0}, {x1, y1, z0}, {x1, y1, z1}, {x0, y0, z1},   // diagonal (x0,y0)-(x1,y1)
          {x0, y1, z0}, {x1, y0, z0}, {x1, y0, z1}, {x0, y1, z1}};  // diagonal (x0,y1)-(x1,y0)
      for (int i = 0; i < kModelShadowPoints; ++i) mesh.shadowBox[i] = points[i];
    }
  }
}

void qxModel3_PostLoad(qxModel3* model) {
  if (!model) return;
  qxModel3_CalcBoundingBoxes(model);
  qxModel3_CalcRadii(model);
  qxModel3_CalcFaceNormals(model);
  qxModel3_CalcVertexNormals(model);
  qxModel3_CalcNodeDepths(model);
  qxModel3_BuildShadowBoxes(model);
}
