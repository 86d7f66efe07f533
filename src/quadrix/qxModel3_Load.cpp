// Models: loading and freeing, the hooks, node search, the checks shared by
// both readers, and the small editing helpers.
#include <strings.h>

#include <cstring>
#include <vector>

#include "platform/kv_RenderHooks.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxFileIO.h"
#include "quadrix/qxMaterial.h"
#include "quadrix/qxModel3.h"
#include "quadrix/qxModel3_Internal.h"

namespace {

qxModel3LoaderFn g_loader = nullptr;
qxModel3UnloaderFn g_unloader = nullptr;

void FreeRecord(qxModel3* model) {
  if (g_unloader) {
    g_unloader(model);
  } else {
    qxModel3_FreeEntry(model);
    qxCore_Free(model);
  }
}

// Frees an owned array, telling the render hooks first when asked (the
// hardware renderer keys its caches by these addresses).
template <typename T>
void Release(T*& pointer, bool notify) {
  if (!pointer) return;
  if (notify) kv_RenderHooks_SurfaceFreed(pointer);
  qxCore_Free(pointer);
  pointer = nullptr;
}

void FreeContents(qxModel3* model, bool notify, bool releaseMaterials) {
  for (qxModel3Geoset& geoset : model->geosets) {
    if (!geoset.meshes) continue;
    for (int32_t m = 0; m < geoset.meshCount; ++m) {
      qxModel3Mesh& mesh = geoset.meshes[m];
      Release(mesh.vertices, notify);
      Release(mesh.texVertices, notify);
      if (mesh.faces) {
        for (int32_t f = 0; f < mesh.faceCount; ++f) {
          qxFace& face = mesh.faces[f];
          if (mesh.indexBlock) {
            face.vertexIndices = face.texVertexIndices = nullptr;  // in the block
          } else {
            qxFace_FreeEntry(&face);
          }
        }
      }
      Release(mesh.indexBlock, false);  // the faces' lists were never announced
      Release(mesh.faces, notify);
      Release(mesh.vertexIntensities, notify);
      Release(mesh.litIntensities, notify);
      Release(mesh.vertexNormals, notify);
      Release(mesh.shadowBox, notify);
    }
    Release(geoset.meshes, notify);
    geoset.meshCount = 0;
  }
  model->geosetCount = 0;
  Release(model->nodes, false);
  model->nodeCount = 0;
  if (model->materials && releaseMaterials) {
    for (uint32_t i = 0; i < model->materialCount; ++i) qxMaterial_Free(model->materials[i]);
  }
  Release(model->materials, notify);
  model->materialCount = 0;
}

}  // namespace

void* qxModel3_AllocZeroed(int64_t count, size_t itemBytes, int line) {
  if (count <= 0) return nullptr;
  const size_t bytes = static_cast<size_t>(count) * itemBytes;
  void* items = qxCore_Alloc(bytes, "qxModel3", line);
  if (items) std::memset(items, 0, bytes);
  return items;
}

qxModel3LoaderFn qxModel3_SetLoader(qxModel3LoaderFn hook) {
  const qxModel3LoaderFn previous = g_loader;
  g_loader = hook;
  return previous;
}

qxModel3UnloaderFn qxModel3_SetUnloader(qxModel3UnloaderFn hook) {
  const qxModel3UnloaderFn previous = g_unloader;
  g_unloader = hook;
  return previous;
}

void qxModel3_NewEntry(qxModel3* model) {
  std::memset(static_cast<void*>(model), 0, sizeof *model);
  qxCopyName(model->name, sizeof model->name, "UNKNOWN");
  model->defaultGeoset = 0;
}

qxModel3* qxModel3_Load(const char* path) {
  if (g_loader) {
    qxModel3* model = g_loader(path, 0);
    if (model) qxModel3_PostLoad(model);
    return model;
  }
  auto* model = static_cast<qxModel3*>(qxCore_Alloc(sizeof(qxModel3), "qxModel3", __LINE__));
  if (!model) return nullptr;
  qxModel3_NewEntry(model);
  if (!qxModel3_LoadEntry(path, model)) {
    FreeRecord(model);
    return nullptr;
  }
  qxModel3_PostLoad(model);
  return model;
}

int qxModel3_LoadEntry(const char* path, qxModel3* model) {
  HostServices* hs = qxCore_pHS;
  if (!hs || !path) return 0;
  const stdFile_t file = hs->fileOpen(path, "rb");
  if (!file) return 0;
  if (hs->fileSetPrivate) hs->fileSetPrivate(file);
  char magic[4] = {};
  if (hs->fileRead(file, magic, 4) == 4 && std::memcmp(magic, "LDOM", 4) == 0) {
    const int ok = qxModel3_LoadBinary(file, model);
    hs->fileClose(file);
    return ok;
  }
  hs->fileClose(file);
  return qxModel3_LoadText(path, model);
}

void qxModel3_Free(qxModel3* model) {
  if (model) FreeRecord(model);
}

void qxModel3_FreeEntry(qxModel3* model) {
  if (model) FreeContents(model, true, true);
}

void qxModel3_FreeGeometry(qxModel3* model) {
  if (model) FreeContents(model, false, false);
}

qxModel3Node* qxModel3_FindNode(const char* name, qxModel3* model) {
  if (!name || !model || !model->nodes) return nullptr;
  for (int32_t i = 0; i < model->nodeCount; ++i) {
    if (strcasecmp(model->nodes[i].name, name) == 0) return &model->nodes[i];
  }
  return nullptr;
}

int qxModel3_SetMesh(qxModel3* model, int geoset, int meshIndex, const qxModel3Mesh* mesh) {
  if (!model || !mesh || geoset < 0 || geoset >= kModelMaxGeosets) return 0;
  qxModel3Geoset& g = model->geosets[geoset];
  if (!g.meshes || meshIndex < 0 || meshIndex >= g.meshCount) return 0;
  g.meshes[meshIndex] = *mesh;
  return 1;
}

int qxModel3_CheckFaceModes(const qxModel3* model) {
  for (int g = 0; g < model->geosetCount && g < kModelMaxGeosets; ++g) {
    const qxModel3Geoset& geoset = model->geosets[g];
    for (int32_t m = 0; geoset.meshes && m < geoset.meshCount; ++m) {
      const qxModel3Mesh& mesh = geoset.meshes[m];
      for (int32_t f = 0; mesh.faces && f < mesh.faceCount; ++f) {
        const qxFace& face = mesh.faces[f];
        if (face.geometryMode > 0 && !face.material) return 0;
        if (face.geometryMode > 3 && face.material &&
            !(face.material->flags & QXMATERIAL_TEXTURED)) {
          return 0;
        }
      }
    }
  }
  return 1;
}

// ---- Checks shared by the readers ----------------------------------------------------

const char* qxModel3_CheckFaces(const qxModel3* model) {
  for (int g = 0; g < model->geosetCount; ++g) {
    const qxModel3Geoset& geoset = model->geosets[g];
    for (int32_t m = 0; m < geoset.meshCount; ++m) {
      const qxModel3Mesh& mesh = geoset.meshes[m];
      for (int32_t f = 0; f < mesh.faceCount; ++f) {
        const qxFace& face = mesh.faces[f];
        if (face.vertexCount < 0) return "a face has a negative corner count";
        for (int32_t i = 0; face.vertexIndices && i < face.vertexCount; ++i) {
          if (face.vertexIndices[i] < 0 || face.vertexIndices[i] >= mesh.vertexCount) {
            return "a face names a vertex outside its mesh";
          }
        }
        for (int32_t i = 0; face.texVertexIndices && i < face.vertexCount; ++i) {
          if (face.texVertexIndices[i] < 0 || face.texVertexIndices[i] >= mesh.texVertexCount) {
            return "a face names a texture vertex outside its mesh";
          }
        }
      }
    }
  }
  return nullptr;
}

bool qxModel3_ComputeDepths(qxModel3* model) {
  const int32_t count = model->nodeCount;
  if (count <= 0 || !model->nodes) return true;
  // -1 unknown, -2 on the path being walked; each node is walked once.
  std::vector<int32_t> depth(static_cast<size_t>(count), -1);
  std::vector<int32_t> path;
  for (int32_t start = 0; start < count; ++start) {
    int32_t i = start;
    while (i >= 0 && depth[static_cast<size_t>(i)] == -1) {  // up to a known node or a root
      depth[static_cast<size_t>(i)] = -2;
      path.push_back(i);
      const qxModel3Node* parent = model->nodes[i].parent;
      i = parent ? static_cast<int32_t>(parent - model->nodes) : -1;
      if (i >= count) i = -1;  // not a node of this model: a root
    }
    if (i >= 0 && depth[static_cast<size_t>(i)] == -2) return false;  // back on the path
    int32_t d = i >= 0 ? depth[static_cast<size_t>(i)] + 1 : 0;
    while (!path.empty()) {
      depth[static_cast<size_t>(path.back())] = d++;
      path.pop_back();
    }
  }
  for (int32_t i = 0; i < count; ++i) model->nodes[i].depth = depth[static_cast<size_t>(i)];
  return true;
}

const char* qxModel3_LinkNodes(qxModel3* model, const qxModel3NodeLinks* links) {
  const int32_t count = model->nodeCount;
  const int32_t meshes = model->geosetCount > 0 ? model->geosets[0].meshCount : 0;
  std::vector<uint8_t> linkedTo(static_cast<size_t>(count), 0);
  for (int32_t i = 0; i < count; ++i) {
    const qxModel3NodeLinks& l = links[i];
    for (int32_t index : {l.parent, l.child, l.sibling}) {
      if (index < -1 || index >= count) return "a node link is outside the node array";
    }
    if (model->nodes[i].meshIndex < -1 || model->nodes[i].meshIndex >= meshes) {
      return "a node's mesh is not a mesh of geoset 0";
    }
    for (int32_t index : {l.child, l.sibling}) {
      if (index < 0) continue;
      if (linkedTo[static_cast<size_t>(index)]++) return "a node is reached by two links";
    }
    qxModel3Node& node = model->nodes[i];
    node.parent = l.parent >= 0 ? &model->nodes[l.parent] : nullptr;
    node.child = l.child >= 0 ? &model->nodes[l.child] : nullptr;
    node.sibling = l.sibling >= 0 ? &model->nodes[l.sibling] : nullptr;
  }
  // With every node reached by at most one link, the walks from the nodes
  // that no link reaches cover every node outside a cycle.
  std::vector<uint8_t> seen(static_cast<size_t>(count), 0);
  std::vector<int32_t> stack;
  for (int32_t i = 0; i < count; ++i) {
    if (linkedTo[static_cast<size_t>(i)]) continue;
    stack.push_back(i);
    while (!stack.empty()) {
      const int32_t n = stack.back();
      stack.pop_back();
      seen[static_cast<size_t>(n)] = 1;
      for (int32_t next : {links[n].child, links[n].sibling}) {
        if (next >= 0) stack.push_back(next);
      }
    }
  }
  for (int32_t i = 0; i < count; ++i) {
    if (!seen[static_cast<size_t>(i)]) return "the child and sibling links hold a cycle";
  }
  if (!qxModel3_ComputeDepths(model)) return "the parent links hold a cycle";
  return nullptr;
}
