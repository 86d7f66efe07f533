// Models: the "3DO" text form (sections header, resources, geometry,
// hierarchy), read through the configuration reader and written with the
// services record's formatted write.
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/kv_Log.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxFileIO.h"
#include "quadrix/qxMaterial.h"
#include "quadrix/qxModel3.h"
#include "quadrix/qxModel3_Internal.h"
#include "quadrix/qxTextIO.h"
#include "std/stdConffile.h"

namespace {

// The fewest characters a mesh block and a node line can take in the file,
// to bound their counts by the file's size.
constexpr int kMeshMinChars = 64;
constexpr int kNodeMinChars = 40;

// Splits a face line's fields: blanks and tabs separate fields, and in the
// corner list commas separate too.
struct FaceLine {
  char* rest;

  char* Next(const char* separators) {
    rest += std::strspn(rest, separators);
    if (*rest == '\0') return nullptr;
    char* token = rest;
    rest += std::strcspn(rest, separators);
    if (*rest != '\0') *rest++ = '\0';
    return token;
  }
  bool Int(int32_t* out, int base = 10, const char* separators = " \t\r\n") {
    char* token = Next(separators);
    if (!token) return false;
    char* end;
    errno = 0;
    const long long v = std::strtoll(token, &end, base);
    if (*end != '\0' || end == token || errno != 0 || v < INT32_MIN || v > UINT32_MAX) {
      return false;
    }
    *out = static_cast<int32_t>(static_cast<uint32_t>(v));
    return true;
  }
  bool Float(float* out) {
    char* token = Next(" \t\r\n");
    if (!token) return false;
    char* end;
    *out = std::strtof(token, &end);
    return *end == '\0' && end != token;
  }
};

struct TextReader {
  qxModel3* model;
  const char* why = "a line does not match";
  int64_t fileBytes = 0;

  bool Materials() {
    int32_t count;
    char word[64];
    if (!qxText_Scan(1, " section: %63s", word) || !qxText_Scan(1, " materials %d", &count)) {
      return false;
    }
    if (count < 0 || count >= kModelMaxMaterials) {
      why = "128 materials or more";
      return false;
    }
    if (count == 0) return true;
    model->materials =
        static_cast<qxMaterial**>(qxModel3_AllocZeroed(count, sizeof(qxMaterial*), __LINE__));
    if (!model->materials) {
      why = "out of memory";
      return false;
    }
    model->materialCount = static_cast<uint32_t>(count);
    std::vector<std::array<char, 32>> names(static_cast<size_t>(count), std::array<char, 32>{});
    for (int32_t i = 0; i < count; ++i) {
      int32_t k;
      char name[32];
      if (!qxText_Scan(2, " %d: %31s", &k, name)) return false;
      if (k < 0 || k >= count) {
        why = "a material index is outside the material list";
        return false;
      }
      qxCopyName(names[static_cast<size_t>(k)].data(), 32, name);
    }
    for (int32_t i = 0; i < count; ++i) {
      model->materials[i] = qxMaterial_Load(names[static_cast<size_t>(i)].data(), 0, 0);
      if (!model->materials[i]) {
        why = "a material does not load";
        return false;
      }
    }
    return true;
  }

  bool Face(qxFace* face) {
    if (!stdConffile_NextLine()) return false;
    FaceLine line{stdConffile_line};
    int32_t material, vertices;
    int32_t flags;
    if (!line.Next(" \t\r\n") || !line.Int(&material) || !line.Int(&flags, 16) ||
        !line.Int(&face->geometryMode) || !line.Int(&face->lightingMode) ||
        !line.Int(&face->textureMode) || !line.Float(&face->extraLight) || !line.Int(&vertices)) {
      return false;
    }
    face->flags = flags;
    if (vertices < 1 || vertices > kModelTextMaxFaceVertices) {
      why = "a face has no corners or more than 24";
      return false;
    }
    if (material < -1 ||
        (material >= 0 && static_cast<uint32_t>(material) >= model->materialCount)) {
      why = "a face's material is outside the material list";
      return false;
    }
    face->material = material >= 0 ? model->materials[material] : nullptr;
    const bool textured = face->material && (face->material->flags & QXMATERIAL_TEXTURED);
    face->vertexIndices =
        static_cast<int32_t*>(qxModel3_AllocZeroed(vertices, sizeof(int32_t), __LINE__));
    if (textured) {
      face->texVertexIndices =
          static_cast<int32_t*>(qxModel3_AllocZeroed(vertices, sizeof(int32_t), __LINE__));
    }
    if (!face->vertexIndices || (textured && !face->texVertexIndices)) {
      why = "out of memory";
      return false;
    }
    face->vertexCount = vertices;
    for (int32_t i = 0; i < vertices; ++i) {
      int32_t v, t;
      if (!line.Int(&v, 10, " \t\r\n,") || !line.Int(&t, 10, " \t\r\n,")) return false;
      face->vertexIndices[i] = v;
      if (textured) face->texVertexIndices[i] = t;
    }
    return true;
  }

  bool Mesh(qxModel3Mesh* mesh, int32_t position) {
    int32_t number;
    char name[32];
    if (!qxText_Scan(1, " mesh %d", &number) || !qxText_Scan(1, " name %31s", name) ||
        !qxText_Scan(1, " radius %f", &mesh->radius)) {
      return false;
    }
    qxCopyName(mesh->name, sizeof mesh->name, name);
    mesh->meshIndex = position;
    // An optional shadow line before the modes.
    if (!stdConffile_NextLine()) return false;
    if (std::sscanf(stdConffile_line, " shadow %d", &mesh->shadow) == 1 &&
        !stdConffile_NextLine()) {
      return false;
    }
    int32_t v, t, f;
    if (std::sscanf(stdConffile_line, " geometrymode %d", &mesh->geometryMode) != 1 ||
        !qxText_Scan(1, " lightingmode %d", &mesh->lightingMode) ||
        !qxText_Scan(1, " texturemode %d", &mesh->textureMode) ||
        !qxText_Scan(1, " vertices %d", &v)) {
      return false;
    }
    if (v < 0 || v > kModelTextMaxVertices) {
      why = "more than 512 vertices";
      return false;
    }
    mesh->vertexCount = v;
    if (v > 0) {
      mesh->vertices =
          static_cast<qxVector3*>(qxModel3_AllocZeroed(v, sizeof(qxVector3), __LINE__));
      mesh->vertexIntensities =
          static_cast<float*>(qxModel3_AllocZeroed(v, sizeof(float), __LINE__));
      mesh->litIntensities = static_cast<float*>(qxModel3_AllocZeroed(v, sizeof(float), __LINE__));
      if (!mesh->vertices || !mesh->vertexIntensities || !mesh->litIntensities) {
        why = "out of memory";
        return false;
      }
    }
    for (int32_t i = 0; i < v; ++i) {
      qxVector3& p = mesh->vertices[i];
      if (!qxText_Scan(5, " %d: %f %f %f %f", &number, &p.x, &p.y, &p.z,
                       &mesh->vertexIntensities[i])) {
        return false;
      }
    }
    if (!qxText_Scan(1, " texture vertices %d", &t)) return false;
    if (t < 0 || t > kModelTextMaxTexVertices) {
      why = "more than 768 texture vertices";
      return false;
    }
    mesh->texVertexCount = t;
    if (t > 0) {
      mesh->texVertices =
          static_cast<qxVector2*>(qxModel3_AllocZeroed(t, sizeof(qxVector2), __LINE__));
      if (!mesh->texVertices) {
        why = "out of memory";
        return false;
      }
    }
    for (int32_t i = 0; i < t; ++i) {
      if (!qxText_Scan(3, " %d: %f %f", &number, &mesh->texVertices[i].x,
                       &mesh->texVertices[i].y)) {
        return false;
      }
    }
    if (!stdConffile_NextLine()) return false;  // the vertex-normal heading
    if (v > 0) {
      mesh->vertexNormals =
          static_cast<qxVector3*>(qxModel3_AllocZeroed(v, sizeof(qxVector3), __LINE__));
      if (!mesh->vertexNormals) {
        why = "out of memory";
        return false;
      }
    }
    for (int32_t i = 0; i < v; ++i) {
      qxVector3& n = mesh->vertexNormals[i];
      if (!qxText_Scan(4, " %d: %f %f %f", &number, &n.x, &n.y, &n.z)) return false;
    }
    if (!qxText_Scan(1, " faces %d", &f)) return false;
    if (f < 0 || f > kModelTextMaxFaces) {
      why = "more than 512 faces";
      return false;
    }
    if (f > 0) {
      mesh->faces = static_cast<qxFace*>(qxModel3_AllocZeroed(f, sizeof(qxFace), __LINE__));
      if (!mesh->faces) {
        why = "out of memory";
        return false;
      }
      mesh->faceCount = f;
    }
    for (int32_t i = 0; i < f; ++i) {
      qxFace_NewEntry(&mesh->faces[i]);
      mesh->faces[i].index = i;
      if (!Face(&mesh->faces[i])) return false;
    }
    if (!stdConffile_NextLine()) return false;  // the face-normal heading
    for (int32_t i = 0; i < f; ++i) {
      qxVector3& n = mesh->faces[i].normal;
      if (!qxText_Scan(4, " %d: %f %f %f", &number, &n.x, &n.y, &n.z)) return false;
    }
    return true;
  }

  bool Geometry() {
    char word[64];
    qxVector3& offset = model->insertOffset;
    int32_t geosets;
    if (!qxText_Scan(1, " section: %63s", word) || !qxText_Scan(1, " radius %f", &model->radius) ||
        !qxText_Scan(3, " insert offset %f %f %f", &offset.x, &offset.y, &offset.z) ||
        !qxText_Scan(1, " geosets %d", &geosets)) {
      return false;
    }
    if (geosets < 0 || geosets > kModelMaxGeosets) {
      why = "more than 4 geosets";
      return false;
    }
    model->geosetCount = geosets;
    for (int g = 0; g < geosets; ++g) {
      int32_t number, meshes;
      if (!qxText_Scan(1, " geoset %d", &number) || !qxText_Scan(1, " meshes %d", &meshes)) {
        return false;
      }
      if (!qxText_Fits(meshes, fileBytes, kMeshMinChars)) {
        why = "a mesh count is larger than the file";
        return false;
      }
      qxModel3Geoset& geoset = model->geosets[g];
      if (meshes > 0) {
        geoset.meshes = static_cast<qxModel3Mesh*>(
            qxModel3_AllocZeroed(meshes, sizeof(qxModel3Mesh), __LINE__));
        if (!geoset.meshes) {
          why = "out of memory";
          return false;
        }
        geoset.meshCount = meshes;
      }
      for (int32_t j = 0; j < meshes; ++j) {
        if (!Mesh(&geoset.meshes[j], j)) return false;
      }
    }
    return true;
  }

  bool Hierarchy() {
    char word[64];
    int32_t nodes;
    if (!qxText_Scan(1, " section: %63s", word) || !qxText_Scan(1, " hierarchy nodes %d", &nodes)) {
      return false;
    }
    if (!qxText_Fits(nodes, fileBytes, kNodeMinChars)) {
      why = "the node count is larger than the file";
      return false;
    }
    std::vector<qxModel3NodeLinks> links(static_cast<size_t>(nodes));
    if (nodes > 0) {
      model->nodes =
          static_cast<qxModel3Node*>(qxModel3_AllocZeroed(nodes, sizeof(qxModel3Node), __LINE__));
      if (!model->nodes) {
        why = "out of memory";
        return false;
      }
      model->nodeCount = nodes;
    }
    for (int32_t i = 0; i < nodes; ++i) {
      qxModel3Node& n = model->nodes[i];
      qxModel3NodeLinks& l = links[static_cast<size_t>(i)];
      int32_t number;
      if (!qxText_Scan(18, " %d: %x %x %d %d %d %d %d %f %f %f %f %f %f %f %f %f %63s", &number,
                       &n.flags, &n.type, &n.meshIndex, &l.parent, &l.child, &l.sibling,
                       &n.childCount, &n.position.x, &n.position.y, &n.position.z, &n.angles.x,
                       &n.angles.y, &n.angles.z, &n.pivot.x, &n.pivot.y, &n.pivot.z, n.name)) {
        return false;
      }
      n.index = i;
    }
    if (const char* bad = qxModel3_LinkNodes(model, links.data())) {
      why = bad;
      return false;
    }
    return true;
  }

  bool Read() {
    char word[64];
    if (!qxText_Scan(1, " section: %63s", word)) return false;
    if (!stdConffile_NextLine()) return false;  // "3DO %d.%d", not compared
    if (!Materials() || !Geometry() || !Hierarchy()) return false;
    if (const char* bad = qxModel3_CheckFaces(model)) {
      why = bad;
      return false;
    }
    return true;
  }
};

// The last position of the model's material list that holds the material, -1 for none.
int32_t LastMaterialIndex(const qxModel3* model, const qxMaterial* material) {
  if (!material || !model->materials) return -1;
  for (int32_t i = static_cast<int32_t>(model->materialCount) - 1; i >= 0; --i) {
    if (model->materials[i] == material) return i;
  }
  return -1;
}

int32_t NodeIndex(const qxModel3* model, const qxModel3Node* node) {
  if (!node || node < model->nodes || node >= model->nodes + model->nodeCount) return -1;
  return static_cast<int32_t>(node - model->nodes);
}

double D(float v) {
  return static_cast<double>(v);
}

}  // namespace

int qxModel3_LoadText(const char* path, qxModel3* model) {
  qxModel3_NewEntry(model);
  qxCopyName(model->name, sizeof model->name, std_HostPathTail(path));
  if (!stdConffile_Open(path)) return 0;
  TextReader reader{model, "a line does not match", 0};
  reader.fileBytes = qxText_FileBytes();
  const bool ok = reader.Read();
  const int line = stdConffile_GetLineNumber();
  stdConffile_Close();
  if (!ok) {
    kv_Log_Printf("qxModel3: %s(%d): %s", path, line, reader.why);
    return 0;
  }
  return 1;
}

int qxModel3_WriteText(const char* path, const qxModel3* model, const char* sourceName) {
  HostServices* hs = qxCore_pHS;
  if (!hs || !path || !model) return 0;
  const stdFile_t file = hs->fileOpen(path, "wt+");
  if (!file) return 0;
  qxTextWriter out{hs, file};
  out.Print("# MODEL '%s' created from '%s'\n\n", model->name, sourceName ? sourceName : "");
  out.Print("###############\n");
  out.Print("SECTION: HEADER\n\n");
  out.Print("3DO %d.%d\n\n", 2, 1);

  const uint32_t materials = model->materials ? model->materialCount : 0;
  out.Print("###############\n");
  out.Print("SECTION: MODELRESOURCE\n\n");
  out.Print("# Materials list\n");
  out.Print("MATERIALS %d\n\n", static_cast<int>(materials));
  for (uint32_t i = 0; i < materials; ++i) {
    const qxMaterial* m = model->materials[i];
    out.Print("%10d:%15s\n", static_cast<int>(i), m ? m->name : "");
  }
  out.Print("\n\n");

  out.Print("###############\n");
  out.Print("SECTION: GEOMETRYDEF\n\n");
  out.Print("# Object radius\n");
  out.Print("RADIUS %10.6f\n\n", D(model->radius));
  out.Print("# Insertion offset\n");
  out.Print("INSERT OFFSET %10.6f %10.6f %10.6f\n\n", D(model->insertOffset.x),
            D(model->insertOffset.y), D(model->insertOffset.z));
  out.Print("# Number of Geometry Sets\n");
  out.Print("GEOSETS %d\n\n", model->geosetCount);
  for (int g = 0; g < model->geosetCount && g < kModelMaxGeosets; ++g) {
    const qxModel3Geoset& geoset = model->geosets[g];
    const int32_t meshes = geoset.meshes ? geoset.meshCount : 0;
    out.Print("# Geometry Set definition\n");
    out.Print("GEOSET %d\n\n", g);
    out.Print("# Number of Meshes\n");
    out.Print("MESHES %d\n\n\n", meshes);
    for (int32_t j = 0; j < meshes; ++j) {
      const qxModel3Mesh& mesh = geoset.meshes[j];
      const int32_t v = mesh.vertices ? mesh.vertexCount : 0;
      const int32_t t = mesh.texVertices ? mesh.texVertexCount : 0;
      const int32_t f = mesh.faces ? mesh.faceCount : 0;
      out.Print("# Mesh definition\n");
      out.Print("MESH %d\n\n", j);
      out.Print("NAME %s\n\n", mesh.name);
      out.Print("RADIUS %10.6f\n\n", D(mesh.radius));
      out.Print("SHADOW\t%d\n", mesh.shadow);
      out.Print("GEOMETRYMODE\t%d\n", mesh.geometryMode);
      out.Print("LIGHTINGMODE\t%d\n", mesh.lightingMode);
      out.Print("TEXTUREMODE\t%d\n", mesh.textureMode);
      out.Print("\n\n");
      out.Print("VERTICES %d\n\n", v);
      out.Print("# num:     x:         y:         z:         i: \n");
      for (int32_t i = 0; i < v; ++i) {
        const qxVector3& p = mesh.vertices[i];
        out.Print("  %3d: %10.6f %10.6f %10.6f %10.6f\n", i, D(p.x), D(p.y), D(p.z),
                  D(mesh.vertexIntensities ? mesh.vertexIntensities[i] : 0.0f));
      }
      out.Print("\n\n");
      out.Print("TEXTURE VERTICES %d\n\n", t);
      for (int32_t i = 0; i < t; ++i) {
        out.Print("  %3d: %10.6f %10.6f\n", i, D(mesh.texVertices[i].x), D(mesh.texVertices[i].y));
      }
      out.Print("\n\n");
      out.Print("VERTEX NORMALS\n\n");
      out.Print("# num:     x:         y:         z:\n");
      for (int32_t i = 0; i < v; ++i) {
        const qxVector3 n = mesh.vertexNormals ? mesh.vertexNormals[i] : qxVector3{0, 0, 0};
        out.Print("  %3d: %10.6f %10.6f %10.6f\n", i, D(n.x), D(n.y), D(n.z));
      }
      out.Print("\n\n");
      out.Print("FACES %d\n\n", f);
      out.Print("#  num:  material:   type:  geo:  light:   tex:  extralight:  verts:\n");
      for (int32_t i = 0; i < f; ++i) {
        const qxFace& face = mesh.faces[i];
        const int32_t n = face.vertexIndices ? face.vertexCount : 0;
        out.Print("   %3d: %9d  0x%04x  %4d %7d %6d %12.4f %7d  ", i,
                  LastMaterialIndex(model, face.material), face.flags, face.geometryMode,
                  face.lightingMode, face.textureMode, D(face.extraLight), n);
        for (int32_t c = 0; c < n; ++c) {
          if (face.texVertexIndices) {
            out.Print("%3d,%3d ", face.vertexIndices[c], face.texVertexIndices[c]);
          } else {
            out.Print("%3d, 0 ", face.vertexIndices[c]);
          }
        }
        out.Print("\n");
      }
      out.Print("\n\n");
      out.Print("FACE NORMALS\n\n");
      out.Print("# num:     x:         y:         z:\n");
      for (int32_t i = 0; i < f; ++i) {
        const qxVector3& n = mesh.faces[i].normal;
        out.Print("  %3d: %10.6f %10.6f %10.6f\n", i, D(n.x), D(n.y), D(n.z));
      }
      out.Print("\n\n");
    }
  }

  const int32_t nodes = model->nodes ? model->nodeCount : 0;
  out.Print("###############\n");
  out.Print("SECTION: HIERARCHYDEF\n\n");
  out.Print("# Hierarchy node list\n");
  out.Print("HIERARCHY NODES %d\n\n", nodes);
  out.Print(
      "#  num:   flags:   type:    mesh:  parent:  child:  sibling:  numChildren:        x:        "
      " y:         z:     pitch:       yaw:      roll:    pivotx:    pivoty:    pivotz:  "
      "hnodename:\n");
  for (int32_t i = 0; i < nodes; ++i) {
    const qxModel3Node& n = model->nodes[i];
    out.Print(
        "   %3d:  0x%04x 0x%05X %8d %8d %7d %9d %13d %10.6f %10.6f %10.6f %10.6f %10.6f %10.6f "
        "%10.6f %10.6f %10.6f  %s\n",
        i, n.flags, n.type, n.meshIndex, NodeIndex(model, n.parent), NodeIndex(model, n.child),
        NodeIndex(model, n.sibling), n.childCount, D(n.position.x), D(n.position.y),
        D(n.position.z), D(n.angles.x), D(n.angles.y), D(n.angles.z), D(n.pivot.x), D(n.pivot.y),
        D(n.pivot.z), n.name);
  }
  hs->fileClose(file);
  return out.failed ? 0 : 1;
}
