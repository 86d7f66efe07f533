// Loading a binary model of 5,000 faces (10 meshes of 500 textured quads,
// one node each) through the services record's file operations served from
// memory, with every derivation after the load, against a memcpy of the
// same bytes. Prints both times and the ratio load / memcpy.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "BenchRatio.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxMaterial.h"
#include "quadrix/qxModel3.h"
#include "std/std.h"

namespace {

constexpr int kMeshes = 10;
constexpr int kColumns = 20, kRows = 25;  // 500 quads per mesh
const char kFile[] = "bench_model.3do";

std::vector<char> gBytes;
size_t gPosition = 0;

// The file operations: every open reads the model from memory.
stdFile_t MemOpen(const char*, const char* mode) {
  if (mode[0] != 'r') return 0;
  gPosition = 0;
  return 1;
}
int MemClose(stdFile_t) {
  return 0;
}
size_t MemRead(stdFile_t, void* buffer, size_t count) {
  const size_t n = std::min(count, gBytes.size() - gPosition);
  std::memcpy(buffer, gBytes.data() + gPosition, n);
  gPosition += n;
  return n;
}
int64_t MemTell(stdFile_t) {
  return static_cast<int64_t>(gPosition);
}
int MemSeek(stdFile_t, int64_t offset, int origin) {
  const int64_t base = origin == 1   ? static_cast<int64_t>(gPosition)
                       : origin == 2 ? static_cast<int64_t>(gBytes.size())
                                     : 0;
  if (base + offset < 0 || base + offset > static_cast<int64_t>(gBytes.size())) return -1;
  gPosition = static_cast<size_t>(base + offset);
  return 0;
}

qxMaterial gMaterial;
qxMaterial* LoadMaterial(const char*, int, int) {
  return &gMaterial;
}
void ReleaseMaterial(qxMaterial*) {}

// Writes the model with the library's writer (to a real file) and keeps its bytes.
bool MakeModel() {
  std::snprintf(gMaterial.name, sizeof gMaterial.name, "bench.mat");
  gMaterial.flags = QXMATERIAL_TEXTURED;
  qxMaterial* materials[1] = {&gMaterial};
  const int columns = kColumns + 1, rows = kRows + 1;
  std::vector<qxVector3> vertices;
  std::vector<qxVector2> texVertices;
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < columns; ++x) {
      vertices.push_back({static_cast<float>(x), static_cast<float>(y), 0.1f * ((x * y) % 7)});
      texVertices.push_back({x / float(kColumns), y / float(kRows)});
    }
  }
  std::vector<float> intensities(vertices.size(), 1.0f);
  std::vector<qxVector3> normals(vertices.size(), qxVector3{0, 0, 1});
  std::vector<int32_t> indices;
  for (int y = 0; y < kRows; ++y) {
    for (int x = 0; x < kColumns; ++x) {
      const int32_t v = y * columns + x;
      indices.insert(indices.end(), {v, v + 1, v + 1 + columns, v + columns});
    }
  }
  std::vector<qxFace> faces(kColumns * kRows);
  for (size_t f = 0; f < faces.size(); ++f) {
    qxFace_NewEntry(&faces[f]);
    faces[f].index = static_cast<int32_t>(f);
    faces[f].geometryMode = 4;
    faces[f].lightingMode = 3;
    faces[f].textureMode = 1;
    faces[f].vertexCount = 4;
    faces[f].vertexIndices = &indices[f * 4];
    faces[f].texVertexIndices = &indices[f * 4];
    faces[f].material = &gMaterial;
  }
  std::vector<qxModel3Mesh> meshes(kMeshes);
  std::vector<qxModel3Node> nodes(kMeshes + 1);
  for (int m = 0; m < kMeshes; ++m) {
    qxModel3Mesh& mesh = meshes[m];
    std::snprintf(mesh.name, sizeof mesh.name, "mesh%d", m);
    mesh.meshIndex = m;
    mesh.geometryMode = 4;
    mesh.lightingMode = 3;
    mesh.textureMode = 1;
    mesh.vertices = vertices.data();
    mesh.texVertices = texVertices.data();
    mesh.vertexIntensities = intensities.data();
    mesh.litIntensities = intensities.data();
    mesh.vertexNormals = normals.data();
    mesh.faces = faces.data();
    mesh.vertexCount = static_cast<int32_t>(vertices.size());
    mesh.texVertexCount = static_cast<int32_t>(texVertices.size());
    mesh.faceCount = static_cast<int32_t>(faces.size());
    qxModel3Node& node = nodes[m + 1];
    std::snprintf(node.name, sizeof node.name, "node%d", m);
    node.index = m + 1;
    node.meshIndex = m;
    node.parent = &nodes[0];
    node.sibling = m + 1 < kMeshes ? &nodes[m + 2] : nullptr;
    node.position = {0, 0, static_cast<float>(m)};
  }
  std::snprintf(nodes[0].name, sizeof nodes[0].name, "root");
  nodes[0].meshIndex = -1;
  nodes[0].child = &nodes[1];
  nodes[0].childCount = kMeshes;
  qxModel3 model{};
  std::snprintf(model.name, sizeof model.name, "bench");
  model.geosets[0] = {kMeshes, meshes.data()};
  model.geosetCount = 1;
  model.materials = materials;
  model.materialCount = 1;
  model.nodes = nodes.data();
  model.nodeCount = kMeshes + 1;
  if (!qxModel3_WriteBinary(kFile, &model)) return false;
  std::ifstream in(kFile, std::ios::binary);
  gBytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  std::remove(kFile);
  return !gBytes.empty();
}

void BM_LoadModel(benchmark::State& state) {
  int64_t faces = 0;
  for (auto _ : state) {
    qxModel3* model = qxModel3_Load(kFile);
    if (!model) {
      state.SkipWithError("the model did not load");
      return;
    }
    faces = 0;
    for (int m = 0; m < model->geosets[0].meshCount; ++m) {
      faces += model->geosets[0].meshes[m].faceCount;
    }
    state.PauseTiming();
    qxModel3_Free(model);
    state.ResumeTiming();
  }
  state.counters["faces"] = static_cast<double>(faces);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * gBytes.size()));
}
BENCHMARK(BM_LoadModel)->Unit(benchmark::kMicrosecond);

void BM_Memcpy(benchmark::State& state) {
  std::vector<char> copy(gBytes.size());
  for (auto _ : state) {
    std::memcpy(copy.data(), gBytes.data(), gBytes.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * gBytes.size()));
}
BENCHMARK(BM_Memcpy)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  static HostServices hs;
  HostServices_CopyDefaults(&hs);
  std_DefaultServices(&hs);
  std_Startup(&hs);
  qxCore_Startup(&hs);
  qxCore_Open(0);
  qxMaterial_SetLoader(LoadMaterial);
  qxMaterial_SetUnloader(ReleaseMaterial);
  if (!MakeModel()) {
    std::fprintf(stderr, "bench_qxModel3_load: could not make the model\n");
    return 1;
  }
  std::printf("model file: %zu bytes, %d faces\n", gBytes.size(), kMeshes * kColumns * kRows);
  hs.fileOpen = MemOpen;
  hs.fileClose = MemClose;
  hs.fileRead = MemRead;
  hs.fileTell = MemTell;
  hs.fileSeek = MemSeek;
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatio("BM_LoadModel", "BM_Memcpy", "model load", "time ours / memcpy");
  benchmark::Shutdown();
  return 0;
}
