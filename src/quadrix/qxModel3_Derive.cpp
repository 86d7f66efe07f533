// Models: the data derived after every load (boxes, radii, normals, node
// depths, shadow boxes).
//
// The normals, boxes and radii of a model are made in SSE lanes (four faces,
// vertices or lengths at a time, or a point's x y z), with the same
// operations in the same order as the vector helpers, so that each lane gives
// the helpers' result bit for bit (no fused or reordered arithmetic; square
// root and division are exact in both).
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>
#endif

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

// Widens the box by every point, each placed by the matrix first when one is
// given (qxMatrix34_TransformPoint): a strictly smaller or larger value wins.
// In SSE lanes x, y, z: the same selects and the same sums in the same order
// as the plain code.
void WidenByAll(qxVector3* min, qxVector3* max, const qxVector3* points, int32_t count,
                const qxMatrix34* place) {
#if defined(__SSE2__)
  __m128 lo = _mm_setr_ps(min->x, min->y, min->z, 0.0f);
  __m128 hi = _mm_setr_ps(max->x, max->y, max->z, 0.0f);
  __m128 mx = _mm_setzero_ps(), my = mx, mz = mx, mt = mx;
  if (place) {
    mx = _mm_setr_ps(place->x.x, place->x.y, place->x.z, 0.0f);
    my = _mm_setr_ps(place->y.x, place->y.y, place->y.z, 0.0f);
    mz = _mm_setr_ps(place->z.x, place->z.y, place->z.z, 0.0f);
    mt = _mm_setr_ps(place->t.x, place->t.y, place->t.z, 0.0f);
  }
  for (int32_t i = 0; i < count; ++i) {
    const qxVector3& q = points[i];
    __m128 p;
    if (place) {
      p = _mm_add_ps(
          _mm_add_ps(_mm_add_ps(_mm_mul_ps(_mm_set1_ps(q.x), mx), _mm_mul_ps(_mm_set1_ps(q.y), my)),
                     _mm_mul_ps(_mm_set1_ps(q.z), mz)),
          mt);
    } else {
      p = _mm_setr_ps(q.x, q.y, q.z, 0.0f);
    }
    lo = _mm_min_ps(p, lo);  // p < lo ? p : lo, lane by lane
    hi = _mm_max_ps(p, hi);
  }
  alignas(16) float l[4], h[4];
  _mm_store_ps(l, lo);
  _mm_store_ps(h, hi);
  *min = {l[0], l[1], l[2]};
  *max = {h[0], h[1], h[2]};
#else
  // A strictly smaller or larger value wins.
  auto widen = [min, max](const qxVector3& p) {
    min->x = p.x < min->x ? p.x : min->x;
    min->y = p.y < min->y ? p.y : min->y;
    min->z = p.z < min->z ? p.z : min->z;
    max->x = p.x > max->x ? p.x : max->x;
    max->y = p.y > max->y ? p.y : max->y;
    max->z = p.z > max->z ? p.z : max->z;
  };
  for (int32_t i = 0; i < count; ++i) {
    qxVector3 p = points[i];
    if (place) qxMatrix34_TransformPoint(&p, &points[i], place);
    widen(p);
  }
#endif
}

bool InArray(const qxModel3* model, const qxModel3Node* node) {
  return node >= model->nodes && node < model->nodes + model->nodeCount;
}

// The normal of a face from its first corner whose two edges are not
// collinear, from corner `first` on (qxMath_PointsCollinear, then
// qxMath_FaceNormal, sharing the unit edges). A face whose corners are all
// collinear keeps its normal.
void FaceNormalFrom(const qxModel3Mesh& mesh, qxFace* face, int32_t first) {
  const int32_t n = face->vertexCount;
  for (int32_t l = first; l < n; ++l) {
    const qxVector3* p = &mesh.vertices[face->vertexIndices[l]];
    const qxVector3* next = &mesh.vertices[face->vertexIndices[l + 1 == n ? 0 : l + 1]];
    const qxVector3* prev = &mesh.vertices[face->vertexIndices[l == 0 ? n - 1 : l - 1]];
    const qxUnitEdges edges = qxMath_UnitEdges(p, next, prev);
    if (!qxMath_UnitEdgesCollinear(edges)) {
      qxMath_UnitEdgesNormal(&face->normal, edges);
      return;
    }
  }
}

#if defined(__SSE2__)
// Three components of four vectors.
struct Lanes3 {
  __m128 x, y, z;
};

inline __m128 Select(__m128 mask, __m128 ifSet, __m128 otherwise) {
  return _mm_or_ps(_mm_and_ps(mask, ifSet), _mm_andnot_ps(mask, otherwise));
}

inline Lanes3 Minus(const Lanes3& a, const Lanes3& b) {
  return {_mm_sub_ps(a.x, b.x), _mm_sub_ps(a.y, b.y), _mm_sub_ps(a.z, b.z)};
}

inline __m128 Dot(const Lanes3& a, const Lanes3& b) {
  return _mm_add_ps(_mm_add_ps(_mm_mul_ps(a.x, b.x), _mm_mul_ps(a.y, b.y)), _mm_mul_ps(a.z, b.z));
}

// qxVector3_Scale.
inline Lanes3 Times(const Lanes3& v, __m128 s) {
  return {_mm_mul_ps(v.x, s), _mm_mul_ps(v.y, s), _mm_mul_ps(v.z, s)};
}

// qxVector3_NormalizeInPlace: a zero vector stays as it is.
inline Lanes3 Normalized(const Lanes3& v) {
  const __m128 len = _mm_sqrt_ps(Dot(v, v));
  const Lanes3 scaled = Times(v, _mm_div_ps(_mm_set1_ps(1.0f), len));
  const __m128 zero = _mm_cmpeq_ps(len, _mm_setzero_ps());
  return {Select(zero, v.x, scaled.x), Select(zero, v.y, scaled.y), Select(zero, v.z, scaled.z)};
}

// The faces of one call, in groups of four lanes.
constexpr int kBatch = 4;

// The normals of up to kBatch faces from their first corners; a face whose
// first corner is collinear goes on corner by corner.
void FirstCornerNormals(const qxModel3Mesh& mesh, qxFace* const* faces, int count) {
  const qxVector3* p[kBatch];
  const qxVector3* next[kBatch];
  const qxVector3* prev[kBatch];
  for (int i = 0; i < kBatch; ++i) {
    const qxFace& face = *faces[i < count ? i : count - 1];
    const int32_t n = face.vertexCount;
    p[i] = &mesh.vertices[face.vertexIndices[0]];
    next[i] = &mesh.vertices[face.vertexIndices[n == 1 ? 0 : 1]];
    prev[i] = &mesh.vertices[face.vertexIndices[n - 1]];
  }
  // Lanes made in registers (four small stores would not forward to one load).
  auto lanes = [](const qxVector3* const* v) -> Lanes3 {
    return {_mm_setr_ps(v[0]->x, v[1]->x, v[2]->x, v[3]->x),
            _mm_setr_ps(v[0]->y, v[1]->y, v[2]->y, v[3]->y),
            _mm_setr_ps(v[0]->z, v[1]->z, v[2]->z, v[3]->z)};
  };
  const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
  const __m128 tiny = _mm_set1_ps(0.000001f);
  alignas(16) float nx[kBatch], ny[kBatch], nz[kBatch];
  int collinear = 0;
  for (int g = 0; g < kBatch / 4; ++g) {
    const Lanes3 corner = lanes(p + 4 * g);
    const Lanes3 u = Normalized(Minus(lanes(next + 4 * g), corner));
    const Lanes3 w = Normalized(Minus(lanes(prev + 4 * g), corner));
    // qxMath_UnitEdgesCollinear.
    const __m128 d = _mm_and_ps(Dot(u, w), absMask);
    collinear |= _mm_movemask_ps(_mm_and_ps(_mm_cmpge_ps(d, _mm_set1_ps(0.999f)),
                                            _mm_cmple_ps(d, _mm_set1_ps(1.001f))))
                 << (4 * g);
    // qxMath_UnitEdgesNormal: the cross product, normalized, tiny parts zeroed.
    const Lanes3 cross = {_mm_sub_ps(_mm_mul_ps(u.y, w.z), _mm_mul_ps(u.z, w.y)),
                          _mm_sub_ps(_mm_mul_ps(u.z, w.x), _mm_mul_ps(u.x, w.z)),
                          _mm_sub_ps(_mm_mul_ps(u.x, w.y), _mm_mul_ps(u.y, w.x))};
    const Lanes3 c = Normalized(cross);
    auto zeroTiny = [&](__m128 v) {
      return _mm_andnot_ps(_mm_cmplt_ps(_mm_and_ps(v, absMask), tiny), v);
    };
    _mm_store_ps(nx + 4 * g, zeroTiny(c.x));
    _mm_store_ps(ny + 4 * g, zeroTiny(c.y));
    _mm_store_ps(nz + 4 * g, zeroTiny(c.z));
  }
  for (int i = 0; i < count; ++i) {
    if (collinear & (1 << i)) {
      FaceNormalFrom(mesh, faces[i], 1);
    } else {
      faces[i]->normal = {nx[i], ny[i], nz[i]};
    }
  }
}
#endif

}  // namespace

void qxModel3_CalcBoundingBoxes(qxModel3* model) {
  for (int g = 0; g < model->geosetCount && g < kModelMaxGeosets; ++g) {
    qxModel3Geoset& geoset = model->geosets[g];
    for (int32_t m = 0; geoset.meshes && m < geoset.meshCount; ++m) {
      qxModel3Mesh& mesh = geoset.meshes[m];
      ResetBox(&mesh.boxMin, &mesh.boxMax);
      if (mesh.vertices && mesh.vertexCount > 0) {
        WidenByAll(&mesh.boxMin, &mesh.boxMax, mesh.vertices, mesh.vertexCount, nullptr);
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
    std::vector<const qxModel3Node*> children;
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
        if (mesh.vertices && mesh.vertexCount > 0) {
          WidenByAll(&model->boxMin, &model->boxMax, mesh.vertices, mesh.vertexCount, &world);
        }
      }
      // Children in chain order: pushed last to first.
      children.clear();
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
    const int32_t count = mesh.vertices ? mesh.vertexCount : 0;
    float r = 0.0f;
    int32_t v = 0;
#if defined(__SSE2__)
    // Four lengths at a time (qxVector3_Len), each lane keeping its largest;
    // the largest of a set is the same whatever the order it is taken in.
    __m128 largest = _mm_setzero_ps();
    for (; v + 4 <= count; v += 4) {
      const qxVector3* q = &mesh.vertices[v];
      const Lanes3 p = {_mm_setr_ps(q[0].x, q[1].x, q[2].x, q[3].x),
                        _mm_setr_ps(q[0].y, q[1].y, q[2].y, q[3].y),
                        _mm_setr_ps(q[0].z, q[1].z, q[2].z, q[3].z)};
      largest = _mm_max_ps(_mm_sqrt_ps(Dot(p, p)), largest);  // d > r ? d : r
    }
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, largest);
    for (float d : lanes) {
      if (d > r) r = d;
    }
#endif
    for (; v < count; ++v) {
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
#if defined(__SSE2__)
      qxFace* batch[kBatch];
      int batched = 0;
      for (int32_t f = 0; mesh.faces && f < mesh.faceCount; ++f) {
        qxFace& face = mesh.faces[f];
        if (face.vertexCount < 1 || !face.vertexIndices) continue;
        batch[batched++] = &face;
        if (batched == kBatch) {
          FirstCornerNormals(mesh, batch, kBatch);
          batched = 0;
        }
      }
      if (batched > 0) FirstCornerNormals(mesh, batch, batched);
#else
      for (int32_t f = 0; mesh.faces && f < mesh.faceCount; ++f) {
        qxFace& face = mesh.faces[f];
        if (face.vertexCount >= 1 && face.vertexIndices) FaceNormalFrom(mesh, &face, 0);
      }
#endif
    }
  }
}

void qxModel3_CalcVertexNormals(qxModel3* model) {
  // Per vertex: the sum of the normals of the faces that use it (each face
  // once, in face order) with their number, x y z n, added as one four-lane
  // value per use; and the face and corner of its last use (for a vertex of
  // one face, its only use). One set of buffers serves every mesh.
  struct Sum {
    float x, y, z, faces;
  };
  std::vector<Sum> sums;
  std::vector<int32_t> lastFace, lastCorner;
  for (int g = 0; g < model->geosetCount && g < kModelMaxGeosets; ++g) {
    qxModel3Geoset& geoset = model->geosets[g];
    for (int32_t m = 0; geoset.meshes && m < geoset.meshCount; ++m) {
      qxModel3Mesh& mesh = geoset.meshes[m];
      if (!mesh.vertexNormals || !mesh.vertices || mesh.vertexCount <= 0) continue;
      const size_t count = static_cast<size_t>(mesh.vertexCount);
      sums.assign(count, Sum{0.0f, 0.0f, 0.0f, 0.0f});
      lastFace.assign(count, -1);
      lastCorner.resize(count);
      for (int32_t f = 0; mesh.faces && f < mesh.faceCount; ++f) {
        const qxFace& face = mesh.faces[f];
#if defined(__SSE2__)
        const __m128 normal = _mm_setr_ps(face.normal.x, face.normal.y, face.normal.z, 1.0f);
#endif
        const int32_t* indices = face.vertexIndices;             // locals: the stores below
        const int32_t corners = indices ? face.vertexCount : 0;  // are of the same types
        for (int32_t c = 0; c < corners; ++c) {
          const size_t k = static_cast<size_t>(indices[c]);
          if (lastFace[k] == f) continue;
          lastFace[k] = f;
          lastCorner[k] = c;
          Sum& sum = sums[k];
#if defined(__SSE2__)
          _mm_storeu_ps(&sum.x, _mm_add_ps(_mm_loadu_ps(&sum.x), normal));
#else
          sum = {sum.x + face.normal.x, sum.y + face.normal.y, sum.z + face.normal.z,
                 sum.faces + 1.0f};
#endif
        }
      }
      // Two faces or more: the mean, normalized (qxVector3_Divide, then
      // qxVector3_NormalizeInPlace); the others are set below.
      size_t k = 0;
#if defined(__SSE2__)
      for (; k + 4 <= count; k += 4) {
        __m128 x = _mm_loadu_ps(&sums[k].x), y = _mm_loadu_ps(&sums[k + 1].x);
        __m128 z = _mm_loadu_ps(&sums[k + 2].x), n = _mm_loadu_ps(&sums[k + 3].x);
        _MM_TRANSPOSE4_PS(x, y, z, n);
        const Lanes3 normal = Normalized(Times({x, y, z}, _mm_div_ps(_mm_set1_ps(1.0f), n)));
        alignas(16) float nx[4], ny[4], nz[4];
        _mm_store_ps(nx, normal.x);
        _mm_store_ps(ny, normal.y);
        _mm_store_ps(nz, normal.z);
        for (size_t i = 0; i < 4; ++i) mesh.vertexNormals[k + i] = {nx[i], ny[i], nz[i]};
      }
#endif
      for (; k < count; ++k) {
        const qxVector3 sum = {sums[k].x, sums[k].y, sums[k].z};
        qxVector3_Divide(&mesh.vertexNormals[k], &sum, sums[k].faces);
        qxVector3_NormalizeInPlace(&mesh.vertexNormals[k]);
      }
      // None: (1, 0, 0). One face: the sum of the differences to the
      // vertex's two neighbours along that face's outline.
      for (k = 0; k < count; ++k) {
        qxVector3& normal = mesh.vertexNormals[k];
        if (sums[k].faces == 0.0f) {
          normal = {1.0f, 0.0f, 0.0f};
        } else if (sums[k].faces == 1.0f) {
          const qxFace& face = mesh.faces[lastFace[k]];
          const int32_t n = face.vertexCount, c = lastCorner[k];
          const qxVector3& p = mesh.vertices[k];
          qxVector3 toNext, toPrev;
          qxVector3_Sub(&toNext, &mesh.vertices[face.vertexIndices[c + 1 == n ? 0 : c + 1]], &p);
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
