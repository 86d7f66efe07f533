// Helpers of the scene tests (things, puppets, model drawing, primitives,
// sprites): hand-built models and keyframes owned by the test, a camera over
// an in-memory canvas, recording fakes of the clippers, the render hooks and
// the rasterizers.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "platform/kv_RenderHooks.h"
#include "quadrix/qxCache.h"
#include "quadrix/qxCamera.h"
#include "quadrix/qxCanvas.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxKeyframe.h"
#include "quadrix/qxModel3.h"
#include "quadrix/qxModel3_Draw.h"
#include "quadrix/qxPrimitive.h"
#include "quadrix/qxRasterizer.h"
#include "quadrix/qxSprite.h"
#include "qxTestLibrary.h"
#include "render/SoftwareBackend.h"
#include "std/stdDisplay.h"

// ---- Models and keyframes built in memory ----

// A model whose arrays live in the helper. Nodes form a chain by default
// (node i is the only child of node i - 1); each node may carry a mesh of
// its own in geoset 0.
struct TestModel {
  qxModel3 model{};
  std::vector<qxModel3Node> nodes;
  std::vector<qxModel3Mesh> meshArray;  // reserved, so mesh addresses stay put
  std::deque<std::vector<qxVector3>> vertexStore;
  std::deque<std::vector<qxVector3>> normalStore;
  std::deque<std::vector<float>> lightStore;
  std::deque<std::vector<qxFace>> faceStore;
  std::deque<std::vector<int32_t>> indexStore;
  std::deque<std::vector<qxVector2>> texStore;

  static constexpr size_t kMaxMeshes = 16;

  explicit TestModel(int nodeCount) : nodes(static_cast<size_t>(nodeCount)) {
    meshArray.reserve(kMaxMeshes);
    std::strcpy(model.name, "test");
    for (int i = 0; i < nodeCount; ++i) {
      qxModel3Node& n = nodes[static_cast<size_t>(i)];
      std::memset(&n, 0, sizeof n);
      std::snprintf(n.name, sizeof n.name, "node%d", i);
      n.index = i;
      n.meshIndex = -1;
      n.restMatrix = qxMatrix34_identity;
    }
    Chain();
    model.nodeCount = nodeCount;
    model.nodes = nodes.empty() ? nullptr : nodes.data();
    model.geosetCount = 1;
    model.radius = 1.0f;
  }

  void Chain() {
    for (size_t i = 0; i < nodes.size(); ++i) {
      nodes[i].parent = i > 0 ? &nodes[i - 1] : nullptr;
      nodes[i].child = i + 1 < nodes.size() ? &nodes[i + 1] : nullptr;
      nodes[i].childCount = i + 1 < nodes.size() ? 1 : 0;
      nodes[i].sibling = nullptr;
    }
  }

  // Node c becomes the last child of node p (links rebuilt by the caller's order).
  void Link(int p, int c) {
    qxModel3Node* parent = &nodes[static_cast<size_t>(p)];
    qxModel3Node* child = &nodes[static_cast<size_t>(c)];
    child->parent = parent;
    child->sibling = nullptr;
    if (!parent->child) {
      parent->child = child;
    } else {
      qxModel3Node* last = parent->child;
      while (last->sibling) last = last->sibling;
      last->sibling = child;
    }
    ++parent->childCount;
  }
  void Unlink() {
    for (auto& n : nodes) {
      n.parent = n.child = n.sibling = nullptr;
      n.childCount = 0;
    }
  }

  // A mesh (geometry 3, lighting 1) of faces (geometry 3, lighting 3) over
  // the vertices, each face and vertex with the given normal; given to the
  // node unless it is -1.
  qxModel3Mesh* AddMesh(int node, const std::vector<qxVector3>& vertices,
                        const std::vector<std::vector<int32_t>>& faces, qxVector3 normal,
                        float radius = 1.0f) {
    EXPECT_LT(meshArray.size(), kMaxMeshes);
    qxModel3Mesh& m = meshArray.emplace_back();
    std::memset(&m, 0, sizeof m);
    std::snprintf(m.name, sizeof m.name, "mesh%zu", meshArray.size() - 1);
    m.meshIndex = static_cast<int32_t>(meshArray.size() - 1);
    m.geometryMode = 3;
    m.lightingMode = 1;
    m.textureMode = 0;
    auto& v = vertexStore.emplace_back(vertices);
    auto& nrm = normalStore.emplace_back(vertices.size(), normal);
    auto& stored = lightStore.emplace_back(vertices.size(), 0.0f);
    auto& lit = lightStore.emplace_back(vertices.size(), 0.0f);
    m.vertices = v.data();
    m.vertexNormals = nrm.data();
    m.vertexIntensities = stored.data();
    m.litIntensities = lit.data();
    m.vertexCount = static_cast<int32_t>(vertices.size());
    auto& fs = faceStore.emplace_back(faces.size());
    for (size_t f = 0; f < faces.size(); ++f) {
      qxFace& face = fs[f];
      qxFace_NewEntry(&face);
      auto& idx = indexStore.emplace_back(faces[f]);
      face.index = static_cast<int32_t>(f);
      face.vertexCount = static_cast<int32_t>(idx.size());
      face.vertexIndices = idx.data();
      face.geometryMode = 3;
      face.lightingMode = 3;
      face.textureMode = 0;
      face.normal = normal;
    }
    m.faces = fs.data();
    m.faceCount = static_cast<int32_t>(fs.size());
    m.radius = radius;
    if (node >= 0) nodes[static_cast<size_t>(node)].meshIndex = m.meshIndex;
    model.geosets[0].meshes = meshArray.data();
    model.geosets[0].meshCount = static_cast<int32_t>(meshArray.size());
    return &m;
  }
  qxModel3Mesh* Mesh(int index) { return &meshArray[static_cast<size_t>(index)]; }
};

// A keyframe of n nodes, owned by the helper.
struct TestKeyframe {
  qxKeyframe kf{};
  std::vector<qxKeyframeNode> nodes;
  std::deque<std::vector<qxKeyframeEntry>> entries;

  TestKeyframe(int nodeCount, int frameCount, float rate = 15.0f)
      : nodes(static_cast<size_t>(nodeCount)) {
    std::strcpy(kf.name, "test.key");
    kf.rate = rate;
    kf.frameCount = frameCount;
    kf.nodeCount = nodeCount;
    kf.jointCount = nodeCount;
    for (int i = 0; i < nodeCount; ++i) {
      std::memset(&nodes[static_cast<size_t>(i)], 0, sizeof(qxKeyframeNode));
      nodes[static_cast<size_t>(i)].index = i;
    }
    kf.nodes = nodes.data();
  }
  // Entries of node n at the frames, each holding the position and orientation.
  void Set(int n, std::vector<qxKeyframeEntry> list) {
    auto& e = entries.emplace_back(std::move(list));
    nodes[static_cast<size_t>(n)].entries = e.data();
    nodes[static_cast<size_t>(n)].entryCount = static_cast<int32_t>(e.size());
  }
  void Markers(std::vector<std::pair<float, int32_t>> list) {
    kf.markerCount = static_cast<int32_t>(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
      kf.markerFrames[i] = list[i].first;
      kf.markerValues[i] = list[i].second;
    }
  }
};

inline qxKeyframeEntry Entry(float frame, qxVector3 position, qxVector3 orientation = {0, 0, 0}) {
  qxKeyframeEntry e{};
  e.frame = frame;
  e.position = position;
  e.orientation = orientation;
  return e;
}

// ---- Camera over an in-memory canvas ----

// A perspective camera (90 degrees, near 1, far 1000) at the origin looking
// down +y, over a 16-bit 64x48 buffer; current while the helper lives.
struct TestView {
  DisplayBuffer* buffer = nullptr;
  qxCanvas* canvas = nullptr;
  qxCamera* camera = nullptr;

  explicit TestView(int bitsPerPixel = 16, int width = 64, int height = 48) {
    qxTest_StartLibrary();
    BufferFormat f{};
    f.width = width;
    f.height = height;
    f.format.colorMode = bitsPerPixel == 8 ? 0 : 1;
    f.format.bitsPerPixel = bitsPerPixel;
    buffer = stdDisplay_NewBuffer(&f, 0, 0, nullptr);
    canvas = qxCanvas_New(0, buffer, nullptr, 0, 0, 0, 0, 0);
    camera = qxCamera_New(90.0f, 1, 1.0f, 1000.0f, 1.0f);
    qxCamera_SetCanvas(camera, canvas);
    qxCamera_SetCurrent(camera);
    qxCamera_Update(&qxMatrix34_identity);
  }
  ~TestView() {
    qxCamera_SetCurrent(nullptr);
    qxCamera_Free(camera);
    qxCanvas_Free(canvas);
    stdDisplay_FreeBuffer(buffer);
  }
  uint16_t Pixel(int x, int y) const {
    return static_cast<const uint16_t*>(buffer->pixels)[y * buffer->format.pixelsPerRow + x];
  }
};

// ---- Recording clippers ----

struct ClipCall {
  std::string name;
  int count;  // polygon count, or -1
  std::vector<qxVector3> points;
};

// The clippers answer from these settings and record every call.
struct FakeClip {
  static inline std::vector<ClipCall> calls;
  static inline int sphereAnswer = 1;
  static inline int planeKeep = -1;  // polygonToPlane result; -1 = the count unchanged

  static int Count(const char* name) {
    int n = 0;
    for (const auto& c : calls) n += c.name == name;
    return n;
  }
  // Points behind the near plane or beyond an enabled far plane are outside.
  static bool Inside(const qxClipFrustum* f, const qxVector3& p) {
    return p.y >= f->nearY && (!f->farEnabled || p.y <= f->farY);
  }
  static int Point(const qxClipFrustum* f, const qxVector3* p) {
    calls.push_back({"point", -1, {*p}});
    return Inside(f, *p) ? 1 : 0;
  }
  static int Line(const qxClipFrustum* f, qxVector3* a, qxVector3* b, int32_t* ma, int32_t* mb) {
    calls.push_back({"line", -1, {*a, *b}});
    const bool ia = Inside(f, *a), ib = Inside(f, *b);
    if (!ia && !ib) return 0;
    // Moves an end behind the near plane onto it.
    auto onto = [&](qxVector3* out, const qxVector3& in, int32_t* moved) {
      const float t = (f->nearY - out->y) / (in.y - out->y);
      *out = {out->x + t * (in.x - out->x), f->nearY, out->z + t * (in.z - out->z)};
      if (moved) *moved = 1;
    };
    if (!ia) onto(a, *b, ma);
    if (!ib) onto(b, *a, mb);
    return 1;
  }
  // Polygons wholly behind the near plane are rejected; others come back whole.
  static int Poly(const char* name, const qxClipFrustum* f, const qxVector3* v, int count) {
    calls.push_back({name, count, std::vector<qxVector3>(v, v + count)});
    for (int i = 0; i < count; ++i) {
      if (Inside(f, v[i])) return count;
    }
    return 0;
  }
  static int PolygonPersp(const qxClipFrustum* f, qxVector3* v, int n) {
    return Poly("polygonPersp", f, v, n);
  }
  static int PolygonOrtho(const qxClipFrustum* f, qxVector3* v, int n) {
    return Poly("polygonOrtho", f, v, n);
  }
  static int OutlinePersp(const qxClipFrustum* f, qxVector3* v, int n) {
    return Poly("outlinePersp", f, v, n);
  }
  static int OutlineOrtho(const qxClipFrustum* f, qxVector3* v, int n) {
    return Poly("outlineOrtho", f, v, n);
  }
  static int LitPersp(const qxClipFrustum* f, qxVector3* v, float*, int n) {
    return Poly("litPersp", f, v, n);
  }
  static int LitOrtho(const qxClipFrustum* f, qxVector3* v, float*, int n) {
    return Poly("litOrtho", f, v, n);
  }
  static int TexPersp(const qxClipFrustum* f, qxVector3* v, qxVector2*, int n) {
    return Poly("texPersp", f, v, n);
  }
  static int TexOrtho(const qxClipFrustum* f, qxVector3* v, qxVector2*, int n) {
    return Poly("texOrtho", f, v, n);
  }
  static int TexLitPersp(const qxClipFrustum* f, qxVector3* v, qxVector2*, float*, int n) {
    return Poly("texLitPersp", f, v, n);
  }
  static int TexLitOrtho(const qxClipFrustum* f, qxVector3* v, qxVector2*, float*, int n) {
    return Poly("texLitOrtho", f, v, n);
  }
  static int RGBPersp(const qxClipFrustum* f, qxVector3* v, float*, float*, float*, int n) {
    return Poly("rgbPersp", f, v, n);
  }
  static int TexRGBPersp(const qxClipFrustum* f, qxVector3* v, qxVector2*, float*, float*, float*,
                         int n) {
    return Poly("texRgbPersp", f, v, n);
  }
  // Cohen-Sutherland is the rasterizer's; the fake only rejects segments
  // wholly to one side of the canvas and keeps the others as they are.
  static int Line2D(const qxCanvas* c, int32_t* x0, int32_t* y0, int32_t* x1, int32_t* y1) {
    calls.push_back({"line2d", -1, {{float(*x0), float(*y0), 0}, {float(*x1), float(*y1), 0}}});
    if ((*x0 < c->rectLeft && *x1 < c->rectLeft) || (*x0 > c->rectRight && *x1 > c->rectRight) ||
        (*y0 < c->rectTop && *y1 < c->rectTop) || (*y0 > c->rectBottom && *y1 > c->rectBottom)) {
      return 0;
    }
    return 1;
  }
  static int Sphere(const qxClipFrustum*, const qxVector3* c, float r) {
    calls.push_back({"sphere", -1, {*c, {r, 0, 0}}});
    return sphereAnswer;
  }
  static int Plane(const qxVector3* n, const qxVector3* p, qxVector3* v, qxVector2*, float*,
                   int count) {
    calls.push_back({"plane", count, {*n, *p, v[0]}});
    return planeKeep < 0 ? count : planeKeep;
  }

  static void Install() {
    calls.clear();
    sphereAnswer = 1;
    planeKeep = -1;
    static const qxPrimitiveClippers table = {
        Point,    Line,        PolygonPersp, PolygonOrtho, OutlinePersp, OutlineOrtho,
        LitPersp, LitOrtho,    TexPersp,     TexOrtho,     TexLitPersp,  TexLitOrtho,
        RGBPersp, TexRGBPersp, Line2D,       Sphere,       Plane};
    qxPrimitive_SetClippers(&table);
  }
  static void Remove() { qxPrimitive_SetClippers(nullptr); }
};

// ---- Recording render hooks ----

struct HookCall {
  std::string name;
  const void* object;  // mesh, model or thing
  qxMatrix34 matrix;
  int values[5];
};

// One table registered as the software back end: it records every call and
// passes meshes, sprites and lines on to the software path's functions.
struct FakeHooks {
  static inline std::vector<HookCall> calls;
  static inline RenderHookTable table{};
  static inline bool forwardMeshes = true;

  static int Count(const char* name) {
    int n = 0;
    for (const auto& c : calls) n += c.name == name;
    return n;
  }
  static void DrawMesh(qxModel3Mesh* mesh, const qxMatrix34* m) {
    calls.push_back({"mesh", mesh, *m, {}});
    if (forwardMeshes) qxModel3_DrawMesh(mesh, m, 1);
  }
  static void Begin(qxModel3* model, const qxVector3*, float, const qxMatrix34* p,
                    qxModel3* companion) {
    calls.push_back({"begin", model, *p, {companion != nullptr}});
  }
  static void End(qxModel3* model, qxModel3* companion) {
    calls.push_back({"end", model, qxMatrix34_identity, {companion != nullptr}});
  }
  static int Sprite(qxThing* thing, const qxMatrix34* p) {
    calls.push_back({"sprite", thing, *p, {}});
    return qxSprite_Draw(thing, p);
  }
  static int Line(qxCanvas* canvas, int x0, int y0, int x1, int y1, int colour, int pattern) {
    calls.push_back({"line", canvas, qxMatrix34_identity, {x0, y0, x1, y1, colour}});
    (void)pattern;
    return 1;
  }
  static int ClippedLine(qxCanvas* canvas, int x0, int y0, int x1, int y1, int colour,
                         int pattern) {
    calls.push_back({"clippedLine", canvas, qxMatrix34_identity, {x0, y0, x1, y1, colour}});
    (void)pattern;
    return 1;
  }

  // software: whether the table stands as the software back end (in use).
  static void Install(bool software = true) {
    kv_RenderHooks_ResetForTest();
    calls.clear();
    forwardMeshes = true;
    table = {};
    table.DrawMesh = DrawMesh;
    table.BeginModel = Begin;
    table.EndModel = End;
    table.DrawSprite = Sprite;
    table.DrawLine = Line;
    table.DrawClippedLine = ClippedLine;
    kv_RenderHooks_Register(&table);
    kv_RenderHooks_SetBackends(nullptr, software ? nullptr : &table, software ? &table : nullptr);
  }
  static void Remove() { kv_RenderHooks_ResetForTest(); }
};

// ---- Recording rasterizer behind the face cache ----

struct FakeRaster {
  static inline std::vector<qxCacheFace> faces;
  static int Draw(qxCacheFace* f) {
    faces.push_back(*f);
    return 1;
  }
  static void Nothing() {}
  static void Install() {
    faces.clear();
    qxCache_Reset();
    qxRasterizerCalls& c = qxRasterizer_Calls();
    c.drawFaceDirect = c.drawFaceZBuffered = c.drawProceduralFace = Draw;
    c.spanReset = c.spanRun = Nothing;
    qxCore_SetOcclusionMethod(0);
    qxCore_SetZBufferMethod(0);
  }
  static void Remove() {
    qxCache_Reset();
    qxRasterizer_ResetCalls();
  }
};

// A placement at a world position with no rotation.
inline qxMatrix34 At(float x, float y, float z) {
  qxMatrix34 m = qxMatrix34_identity;
  m.t = {x, y, z};
  return m;
}

inline void ExpectNearVector(const qxVector3& a, const qxVector3& b, float eps = 1e-3f) {
  EXPECT_NEAR(a.x, b.x, eps);
  EXPECT_NEAR(a.y, b.y, eps);
  EXPECT_NEAR(a.z, b.z, eps);
}

inline void ExpectNearMatrix(const qxMatrix34& a, const qxMatrix34& b, float eps = 1e-3f) {
  ExpectNearVector(a.x, b.x, eps);
  ExpectNearVector(a.y, b.y, eps);
  ExpectNearVector(a.z, b.z, eps);
  ExpectNearVector(a.t, b.t, eps);
}
