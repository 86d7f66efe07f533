// Models: the binary "LDOM" form, read and written field by field.
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/kv_Log.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxFileIO.h"
#include "quadrix/qxMaterial.h"
#include "quadrix/qxModel3.h"
#include "quadrix/qxModel3_Internal.h"

namespace {

constexpr int kNameBytes = 32;
constexpr int kFaceBytes = 76;
constexpr int kNodeBytes = 184;
// The least a mesh block can hold: its fixed fields before and after the arrays.
constexpr int kMeshMinBytes = 60 + 4 + 4 + 4 + 24;
// Per vertex: position, two intensities, normal; per texture vertex: u, v.
constexpr int kVertexBytes = 12 + 4 + 4 + 12;
constexpr int kTexVertexBytes = 8;

float GetF(const uint8_t* p) {
  return std::bit_cast<float>(stdLE_GetU32(p));
}

qxVector3 GetV3(const uint8_t* p) {
  return {GetF(p), GetF(p + 4), GetF(p + 8)};
}

struct Reader {
  qxFileReader& in;  // over the file's bytes in memory
  qxModel3* model;
  const char* why = "the file is short";
  // Each face's material index in reading order (-1 = none), until the
  // materials are loaded.
  std::vector<int32_t> faceMaterials;
  // The first face index outside its mesh, reported where the shared check
  // of both readers (qxModel3_CheckFaces) would find it: after the hierarchy.
  const char* faceFault = nullptr;

  // An array of count items of itemWords 32-bit values, filled from the file.
  template <typename T>
  bool Array(T** out, int32_t count, size_t itemWords) {
    if (count <= 0) return true;
    *out =
        static_cast<T*>(qxCore_Alloc(static_cast<size_t>(count) * sizeof(T), "qxModel3", __LINE__));
    if (!*out) {
      why = "out of memory";
      return false;
    }
    static_assert(sizeof(float) == 4 && sizeof(int32_t) == 4);
    return in.Words(*out, static_cast<size_t>(count) * itemWords);
  }

  // The index lists of the mesh being read, in file order, until they go to
  // the mesh's block; the storage grows by doubling and serves every mesh.
  std::unique_ptr<int32_t[]> lists;
  size_t listCapacity = 0;
  // Per face of the mesh: whether it has texture-vertex indices.
  std::vector<uint8_t> textured;

  // Room for words indices from the start of the lists, the first `keep`
  // kept; null when memory runs out.
  int32_t* ListRoom(size_t keep, size_t words) {
    if (words <= listCapacity) return lists.get();
    size_t capacity = listCapacity * 2 > 4096 ? listCapacity * 2 : 4096;
    if (capacity < words) capacity = words;
    std::unique_ptr<int32_t[]> grown(new (std::nothrow) int32_t[capacity]);
    if (!grown) {
      why = "out of memory";
      return nullptr;
    }
    if (keep > 0) std::memcpy(grown.get(), lists.get(), keep * sizeof(int32_t));
    lists = std::move(grown);
    listCapacity = capacity;
    return lists.get();
  }

  // Gives the faces their index lists, from one block of the mesh's own.
  bool IndexBlock(qxModel3Mesh* mesh, size_t words) {
    if (words == 0) return true;
    mesh->indexBlock =
        static_cast<int32_t*>(qxCore_Alloc(words * sizeof(int32_t), "qxModel3", __LINE__));
    if (!mesh->indexBlock) {
      why = "out of memory";
      return false;
    }
    std::memcpy(mesh->indexBlock, lists.get(), words * sizeof(int32_t));
    int32_t* next = mesh->indexBlock;
    for (int32_t f = 0; f < mesh->faceCount; ++f) {
      qxFace& face = mesh->faces[f];
      if (face.vertexCount <= 0) continue;
      face.vertexIndices = next;
      next += face.vertexCount;
      if (textured[static_cast<size_t>(f)]) {
        face.texVertexIndices = next;
        next += face.vertexCount;
      }
    }
    return true;
  }

  // The faces of a mesh, their index lists in one block. The face count
  // grows with the faces read, so that a failed load frees only those; every
  // field of a face is set.
  bool Faces(qxModel3Mesh* mesh, int32_t count, uint32_t materialCount) {
    size_t words = 0;
    textured.clear();
    textured.reserve(static_cast<size_t>(count));
    const int32_t vertexCount = mesh->vertexCount, texVertexCount = mesh->texVertexCount;
    const uint8_t* const start = in.Next();
    if (!start) return false;
    const uint8_t* at = start;
    const uint8_t* const end = start + in.remaining;
    faceMaterials.reserve(faceMaterials.size() + static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i, ++mesh->faceCount) {
      if (end - at < kFaceBytes) {
        in.Fail();
        return false;
      }
      const uint8_t* r = at;
      at += kFaceBytes;
      qxFace* face = &mesh->faces[i];
      face->index = stdLE_GetI32(r + 0);
      face->flags = stdLE_GetI32(r + 4);
      face->geometryMode = stdLE_GetI32(r + 8);
      face->lightingMode = stdLE_GetI32(r + 12);
      face->textureMode = stdLE_GetI32(r + 16);
      const int32_t n = stdLE_GetI32(r + 20);
      const bool texIndices = stdLE_GetU32(r + 28) != 0;
      const bool material = stdLE_GetU32(r + 32) != 0;
      face->celIndex = stdLE_GetI32(r + 36);
      face->textureOffset = {GetF(r + 40), GetF(r + 44)};
      face->extraLight = GetF(r + 48);
      for (int k = 0; k < 3; ++k) face->extra[k] = stdLE_GetU32(r + 52 + 4 * k);
      face->normal = GetV3(r + 64);
      face->vertexIndices = face->texVertexIndices = nullptr;
      face->material = nullptr;  // set once the materials load
      const int64_t lists = n < 0 ? 0 : int64_t{n} * (texIndices ? 2 : 1);
      if (n < 0 || 4 * lists > end - at) {
        why = "a face has more corners than the file holds";
        return false;
      }
      face->vertexCount = n;
      textured.push_back(n > 0 && texIndices ? 1 : 0);
      if (n > 0) {
        int32_t* next = ListRoom(words, words + static_cast<size_t>(lists));
        if (!next) return false;
        next += words;
        // The vertex indices, then the texture-vertex indices: one run in
        // the file, checked against their meshes' counts as they are copied
        // (as unsigned, a negative index is out of range too).
        bool vertexOutside = false, texVertexOutside = false;
        for (int32_t k = 0; k < n; ++k) {
          const int32_t index = stdLE_GetI32(at + 4 * k);
          next[k] = index;
          vertexOutside |= static_cast<uint32_t>(index) >= static_cast<uint32_t>(vertexCount);
        }
        if (texIndices) {
          for (int32_t k = n; k < 2 * n; ++k) {
            const int32_t index = stdLE_GetI32(at + 4 * k);
            next[k] = index;
            texVertexOutside |=
                static_cast<uint32_t>(index) >= static_cast<uint32_t>(texVertexCount);
          }
        }
        if (!faceFault && vertexOutside) faceFault = "a face names a vertex outside its mesh";
        if (!faceFault && texVertexOutside) {
          faceFault = "a face names a texture vertex outside its mesh";
        }
        at += 4 * lists;
        words += static_cast<size_t>(lists);
      }
      int32_t index = -1;
      if (material) {
        if (end - at < 4) {
          in.Fail();
          return false;
        }
        index = stdLE_GetI32(at);
        at += 4;
      }
      if (index >= 0 && static_cast<uint32_t>(index) >= materialCount) {
        why = "a face's material is outside the material list";
        return false;
      }
      faceMaterials.push_back(index < 0 ? -1 : index);
    }
    in.Advance(static_cast<size_t>(at - start));
    return IndexBlock(mesh, words);
  }

  bool Mesh(qxModel3Mesh* mesh, uint32_t materialCount) {
    int32_t fixed[7];
    if (!in.Read(mesh->name, kNameBytes) || !in.Words(fixed, 7)) return false;
    mesh->name[kNameBytes - 1] = '\0';
    mesh->meshIndex = fixed[0];
    mesh->geometryMode = fixed[1];
    mesh->lightingMode = fixed[2];
    mesh->textureMode = fixed[3];
    const int32_t v = fixed[4], t = fixed[5], f = fixed[6];
    if (v < 0 || t < 0 || f < 0 ||
        int64_t{v} * kVertexBytes + int64_t{t} * kTexVertexBytes + int64_t{f} * kFaceBytes >
            in.remaining) {
      why = "a mesh is larger than the file";
      return false;
    }
    mesh->vertexCount = v;
    mesh->texVertexCount = t;
    if (!Array(&mesh->vertices, v, 3) || !Array(&mesh->texVertices, t, 2) ||
        !Array(&mesh->vertexIntensities, v, 1) || !Array(&mesh->litIntensities, v, 1)) {
      return false;
    }
    if (f > 0) {
      mesh->faces = static_cast<qxFace*>(
          qxCore_Alloc(static_cast<size_t>(f) * sizeof(qxFace), "qxModel3", __LINE__));
      if (!mesh->faces) {
        why = "out of memory";
        return false;
      }
      if (!Faces(mesh, f, materialCount)) return false;
    }
    float box[6];
    if (!Array(&mesh->vertexNormals, v, 3) || !in.I32(&mesh->shadow) ||
        !in.F32(&mesh->meshIntensity) || !in.F32(&mesh->radius) || !in.Words(box, 6)) {
      return false;
    }
    mesh->boxMin = {box[0], box[1], box[2]};
    mesh->boxMax = {box[3], box[4], box[5]};
    return true;
  }

  bool Node(qxModel3Node* node, qxModel3NodeLinks* links) {
    uint8_t r[kNodeBytes];
    if (!in.Read(r, sizeof r)) return false;
    std::memcpy(node->name, r, sizeof node->name);
    node->name[sizeof node->name - 1] = '\0';
    node->flags = stdLE_GetU32(r + 64);
    node->index = stdLE_GetI32(r + 68);
    node->type = stdLE_GetU32(r + 72);
    node->meshIndex = stdLE_GetI32(r + 76);
    node->depth = stdLE_GetI32(r + 80);
    node->childCount = stdLE_GetI32(r + 88);
    node->pivot = GetV3(r + 100);
    node->position = GetV3(r + 112);
    node->angles = GetV3(r + 124);
    node->restMatrix = {GetV3(r + 136), GetV3(r + 148), GetV3(r + 160), GetV3(r + 172)};
    int32_t* targets[3] = {&links->parent, &links->child, &links->sibling};
    const int markerAt[3] = {84, 92, 96};
    for (int i = 0; i < 3; ++i) {
      *targets[i] = -1;
      if (stdLE_GetU32(r + markerAt[i]) == 0) continue;
      if (!in.I32(targets[i])) return false;
      if (*targets[i] < 0) {  // a marked link must name a node
        why = "a node link is outside the node array";
        return false;
      }
    }
    return true;
  }

  bool Model(std::vector<char>* names) {
    qxModel3* m = model;
    uint32_t materialCount;
    if (!in.U32(&materialCount)) return false;
    if (!in.Fits(materialCount, kNameBytes)) {
      why = "the material count is larger than the file";
      return false;
    }
    names->resize(static_cast<size_t>(materialCount) * kNameBytes);
    if (!in.Read(names->data(), names->size())) return false;
    int32_t geosets;
    if (!in.Read(m->name, kNameBytes) || !in.U32(&m->reserved) || !in.I32(&geosets)) return false;
    m->name[kNameBytes - 1] = '\0';
    if (geosets < 0 || geosets > kModelMaxGeosets) {
      why = "more than 4 geosets";
      return false;
    }
    m->geosetCount = geosets;
    for (int g = 0; g < geosets; ++g) {
      qxModel3Geoset& geoset = m->geosets[g];
      int32_t meshes;
      if (!in.I32(&meshes)) return false;
      if (!in.Fits(meshes, kMeshMinBytes)) {
        why = "a mesh count is larger than the file";
        return false;
      }
      if (meshes > 0) {
        geoset.meshes = static_cast<qxModel3Mesh*>(
            qxModel3_AllocZeroed(meshes, sizeof(qxModel3Mesh), __LINE__));
        if (!geoset.meshes) {
          why = "out of memory";
          return false;
        }
        geoset.meshCount = meshes;
      }
      for (int32_t i = 0; i < meshes; ++i) {
        if (!Mesh(&geoset.meshes[i], materialCount)) return false;
      }
    }
    int32_t nodes;
    if (!in.I32(&m->defaultGeoset) || !in.I32(&nodes)) return false;
    if (m->defaultGeoset < 0 || m->defaultGeoset >= kModelMaxGeosets) {
      why = "the default geoset is not one of the 4";
      return false;
    }
    if (!in.Fits(nodes, kNodeBytes)) {
      why = "the node count is larger than the file";
      return false;
    }
    std::vector<qxModel3NodeLinks> links(static_cast<size_t>(nodes));
    if (nodes > 0) {
      m->nodes =
          static_cast<qxModel3Node*>(qxModel3_AllocZeroed(nodes, sizeof(qxModel3Node), __LINE__));
      if (!m->nodes) {
        why = "out of memory";
        return false;
      }
      m->nodeCount = nodes;
    }
    for (int32_t i = 0; i < nodes; ++i) {
      if (!Node(&m->nodes[i], &links[static_cast<size_t>(i)])) return false;
    }
    float tail[12];
    if (!in.F32(&m->radius) || !in.Words(tail, 12)) return false;
    m->boxMin = {tail[0], tail[1], tail[2]};
    m->boxMax = {tail[3], tail[4], tail[5]};
    m->boxCentre = {tail[6], tail[7], tail[8]};
    m->insertOffset = {tail[9], tail[10], tail[11]};
    if (const char* bad = qxModel3_LinkNodes(m, links.data())) {
      why = bad;
      return false;
    }
    if (faceFault) {  // the faces were checked as they were read
      why = faceFault;
      return false;
    }
    // The materials, by name, each a null entry when it does not load.
    if (materialCount > 0) {
      m->materials = static_cast<qxMaterial**>(
          qxModel3_AllocZeroed(materialCount, sizeof(qxMaterial*), __LINE__));
      if (!m->materials) {
        why = "out of memory";
        return false;
      }
      m->materialCount = materialCount;
      for (uint32_t i = 0; i < materialCount; ++i) {
        char name[kNameBytes + 1] = {};
        std::memcpy(name, names->data() + static_cast<size_t>(i) * kNameBytes, kNameBytes);
        m->materials[i] = qxMaterial_Load(name, 0, 0);
      }
    }
    size_t next = 0;
    for (int g = 0; g < geosets; ++g) {
      for (int32_t i = 0; i < m->geosets[g].meshCount; ++i) {
        qxModel3Mesh& mesh = m->geosets[g].meshes[i];
        for (int32_t f = 0; f < mesh.faceCount; ++f) {
          const int32_t index = faceMaterials[next++];
          mesh.faces[f].material = index < 0 ? nullptr : m->materials[index];
        }
      }
    }
    return true;
  }
};

// ---- Writer ---------------------------------------------------------------------------

// The position of a node in the model's array, -1 for null or a node of another array.
int32_t NodeIndex(const qxModel3* model, const qxModel3Node* node) {
  if (!node || node < model->nodes || node >= model->nodes + model->nodeCount) return -1;
  return static_cast<int32_t>(node - model->nodes);
}

// An array of count items of words 32-bit values each, or zeros for a missing one.
void WriteArray(qxFileWriter& out, const void* items, int32_t count, size_t words) {
  if (count <= 0) return;
  const size_t total = static_cast<size_t>(count) * words;
  if (items) {
    out.Words(items, total);
  } else {
    out.Zero(total * 4);
  }
}

void WriteV3(qxFileWriter& out, const qxVector3& v) {
  out.F32(v.x);
  out.F32(v.y);
  out.F32(v.z);
}

}  // namespace

int qxModel3_LoadBinary(stdFile_t file, qxModel3* model) {
  if (!qxCore_pHS) return 0;
  qxModel3_NewEntry(model);
  // The whole rest of the file at once: a model is many small fields.
  qxFileReader rest(qxCore_pHS, file);
  size_t size = 0;
  const std::unique_ptr<uint8_t[]> bytes = rest.ReadRest(&size);
  if (!bytes) {
    kv_Log_Printf("qxModel3: %s: %s", model->name,
                  rest.failed ? "the file is short" : "out of memory");
    return 0;
  }
  qxFileReader in(bytes.get(), size);
  Reader reader{in, model, "the file is short", {}, nullptr, nullptr, 0, {}};
  std::vector<char> names;
  if (!reader.Model(&names)) {
    kv_Log_Printf("qxModel3: %s: %s", model->name, reader.why);
    return 0;
  }
  return 1;
}

int qxModel3_WriteBinary(const char* path, const qxModel3* model) {
  HostServices* hs = qxCore_pHS;
  if (!hs || !path || !model) return 0;
  if (model->geosetCount < 0 || model->geosetCount > kModelMaxGeosets) return 0;
  // The distinct materials, by exact name, in first-use order of the list.
  std::vector<std::string> distinct;
  std::vector<int32_t> positionOf;  // per list entry: its distinct position, -1 for null
  for (uint32_t i = 0; model->materials && i < model->materialCount; ++i) {
    const qxMaterial* material = model->materials[i];
    if (!material) {
      positionOf.push_back(-1);
      continue;
    }
    const std::string name(material->name, strnlen(material->name, sizeof material->name));
    size_t p = 0;
    while (p < distinct.size() && distinct[p] != name) ++p;
    if (p == distinct.size()) distinct.push_back(name);
    positionOf.push_back(static_cast<int32_t>(p));
  }
  if (distinct.size() > static_cast<size_t>(kModelMaxMaterials)) {
    kv_Log_Printf("qxModel3_WriteBinary: %s: more than %d distinct materials", path,
                  kModelMaxMaterials);
    return 0;
  }
  // The written position of a face's material: that of the first distinct
  // material of the same name; -1 when the face has none.
  auto materialPosition = [&](const qxMaterial* material) -> int32_t {
    if (!material) return -1;
    for (uint32_t i = 0; i < positionOf.size(); ++i) {
      if (model->materials[i] &&
          std::strncmp(model->materials[i]->name, material->name, sizeof material->name) == 0) {
        return positionOf[i];
      }
    }
    return -1;  // a material outside the model's list is written as none
  };

  const stdFile_t file = hs->fileOpen(path, "wb");
  if (!file) return 0;
  qxFileWriter out(hs, file);
  out.Write("LDOM", 4);
  out.U32(static_cast<uint32_t>(distinct.size()));
  for (const std::string& name : distinct) out.Name(name.c_str(), kNameBytes);
  out.Name(model->name, kNameBytes);
  out.U32(model->reserved);
  out.I32(model->geosetCount);
  for (int g = 0; g < model->geosetCount; ++g) {
    const qxModel3Geoset& geoset = model->geosets[g];
    const int32_t meshes = geoset.meshes ? geoset.meshCount : 0;
    out.I32(meshes);
    for (int32_t i = 0; i < meshes; ++i) {
      const qxModel3Mesh& mesh = geoset.meshes[i];
      const int32_t faces = mesh.faces ? mesh.faceCount : 0;
      out.Name(mesh.name, kNameBytes);
      const int32_t fixed[7] = {mesh.meshIndex,
                                mesh.geometryMode,
                                mesh.lightingMode,
                                mesh.textureMode,
                                mesh.vertexCount,
                                mesh.texVertexCount,
                                faces};
      out.Words(fixed, 7);
      WriteArray(out, mesh.vertices, mesh.vertexCount, 3);
      WriteArray(out, mesh.texVertices, mesh.texVertexCount, 2);
      WriteArray(out, mesh.vertexIntensities, mesh.vertexCount, 1);
      WriteArray(out, mesh.litIntensities, mesh.vertexCount, 1);
      for (int32_t f = 0; f < faces; ++f) {
        const qxFace& face = mesh.faces[f];
        const int32_t n = face.vertexCount > 0 ? face.vertexCount : 0;
        const int32_t material = materialPosition(face.material);
        out.I32(face.index);
        out.I32(face.flags);
        out.I32(face.geometryMode);
        out.I32(face.lightingMode);
        out.I32(face.textureMode);
        out.I32(face.vertexCount);
        out.Marker(face.vertexIndices);
        out.Marker(face.texVertexIndices);
        out.U32(material >= 0 ? 1u : 0u);
        out.I32(face.celIndex);
        out.F32(face.textureOffset.x);
        out.F32(face.textureOffset.y);
        out.F32(face.extraLight);
        out.Words(face.extra, 3);
        WriteV3(out, face.normal);
        WriteArray(out, face.vertexIndices, n, 1);
        if (face.texVertexIndices) WriteArray(out, face.texVertexIndices, n, 1);
        if (material >= 0) out.I32(material);
      }
      WriteArray(out, mesh.vertexNormals, mesh.vertexCount, 3);
      out.I32(mesh.shadow);
      out.F32(mesh.meshIntensity);
      out.F32(mesh.radius);
      WriteV3(out, mesh.boxMin);
      WriteV3(out, mesh.boxMax);
    }
  }
  const int32_t nodes = model->nodes ? model->nodeCount : 0;
  out.I32(model->defaultGeoset);
  out.I32(nodes);
  for (int32_t i = 0; i < nodes; ++i) {
    const qxModel3Node& node = model->nodes[i];
    const int32_t links[3] = {NodeIndex(model, node.parent), NodeIndex(model, node.child),
                              NodeIndex(model, node.sibling)};
    out.Name(node.name, sizeof node.name);
    out.U32(node.flags);
    out.I32(node.index);
    out.U32(node.type);
    out.I32(node.meshIndex);
    out.I32(node.depth);
    out.U32(links[0] >= 0 ? 1u : 0u);
    out.I32(node.childCount);
    out.U32(links[1] >= 0 ? 1u : 0u);
    out.U32(links[2] >= 0 ? 1u : 0u);
    WriteV3(out, node.pivot);
    WriteV3(out, node.position);
    WriteV3(out, node.angles);
    out.Words(&node.restMatrix, 12);
    for (int32_t link : links) {
      if (link >= 0) out.I32(link);
    }
  }
  out.F32(model->radius);
  WriteV3(out, model->boxMin);
  WriteV3(out, model->boxMax);
  WriteV3(out, model->boxCentre);
  WriteV3(out, model->insertOffset);
  hs->fileClose(file);
  return out.failed ? 0 : 1;
}

int qxModel3_Write(const char* path, const qxModel3* model) {
  return qxModel3_WriteBinary(path, model);
}
