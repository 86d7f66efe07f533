// Keyframe evaluation per frame: qxPuppet_BuildJointMatrices of a 30-node
// model with two blended tracks, against a memcpy of the same number of
// node-matrix bytes, in one run. A second pair adds the tracks' advance
// (qxPuppet_UpdateTracks) to every frame. Prints ours / memcpy.
#include "quadrix/qxPuppet.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "BenchRatio.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxKeyframe.h"
#include "quadrix/qxModel3.h"
#include "quadrix/qxThing.h"
#include "std/std.h"

namespace {

constexpr int kNodes = 30;
constexpr int kEntries = 8;

// A model of 30 nodes: a spine of 6 with four limbs of 6 hanging from it.
struct Scene {
  qxModel3 model{};
  std::vector<qxModel3Node> nodes = std::vector<qxModel3Node>(kNodes);
  qxKeyframe keyframes[2]{};
  std::vector<qxKeyframeNode> keyNodes[2];
  std::vector<qxKeyframeEntry> entries[2];
  qxThing* thing = nullptr;
  qxPuppet* puppet = nullptr;

  Scene() {
    static HostServices hs;
    HostServices_CopyDefaults(&hs);
    std_DefaultServices(&hs);
    std_Startup(&hs);
    qxCore_Startup(&hs);
    qxCore_Open(0);
    for (int i = 0; i < kNodes; ++i) {
      qxModel3Node& n = nodes[i];
      n.index = i;
      n.meshIndex = -1;
      n.position = {0.0f, 0.0f, 0.3f};
      n.pivot = {0.0f, 0.0f, 0.05f};
      n.type = i < 6 ? 0x1 : 0x2;
      const int parent = i == 0 ? -1 : (i < 6 ? i - 1 : (i % 6 == 0 ? (i / 6) - 1 : i - 1));
      if (parent >= 0) {
        n.parent = &nodes[parent];
        qxModel3Node** slot = &nodes[parent].child;
        while (*slot) slot = &(*slot)->sibling;
        *slot = &n;
        ++nodes[parent].childCount;
      }
    }
    model.nodeCount = kNodes;
    model.nodes = nodes.data();
    for (int k = 0; k < 2; ++k) {
      qxKeyframe& kf = keyframes[k];
      kf.rate = 15.0f;
      kf.frameCount = 80;
      kf.nodeCount = kNodes;
      kf.type = k == 0 ? 0x1 : 0x2;
      keyNodes[k].assign(kNodes, qxKeyframeNode{});
      entries[k].resize(kNodes * kEntries);
      for (int n = 0; n < kNodes; ++n) {
        keyNodes[k][n].index = n;
        keyNodes[k][n].entryCount = kEntries;
        keyNodes[k][n].entries = &entries[k][n * kEntries];
        for (int e = 0; e < kEntries; ++e) {
          qxKeyframeEntry& entry = entries[k][n * kEntries + e];
          entry.frame = 10.0f * e;
          entry.flags = QXKEYFRAME_ENTRY_POSITION_RATE | QXKEYFRAME_ENTRY_ORIENTATION_RATE;
          entry.position = {0.01f * e, 0.0f, 0.3f};
          entry.orientation = {5.0f * e, -3.0f * e + 20.0f * k, 1.0f * n};
          entry.positionRate = {0.001f, 0.0f, 0.0f};
          entry.orientationRate = {0.5f, -0.3f, 0.1f};
        }
      }
      kf.nodes = keyNodes[k].data();
    }
    thing = qxThing_New(0);
    qxThing_SetModel3(thing, &model);
    puppet = qxPuppet_New(thing);
    for (int k = 0; k < 2; ++k) {
      const int t = qxPuppet_AddTrack(puppet, &keyframes[k], 1, 2);
      qxPuppet_PlayTrack(puppet, t);
      puppet->tracks[t].weight = k == 0 ? 1.0f : 0.5f;  // the typed track lets half through
    }
    qxPuppet_UpdateTracks(puppet, 1.5f);
  }
  ~Scene() { qxThing_Free(thing); }
};

void BM_BuildJointMatrices(benchmark::State& state) {
  Scene scene;
  for (auto _ : state) {
    qxPuppet_BuildJointMatrices(scene.thing, &qxMatrix34_identity);
    benchmark::DoNotOptimize(scene.thing->nodeMatrices);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kNodes);
}

void BM_UpdateAndBuild(benchmark::State& state) {
  Scene scene;
  for (auto _ : state) {
    qxPuppet_UpdateTracks(scene.puppet, 1.0f / 30.0f);
    qxPuppet_BuildJointMatrices(scene.thing, &qxMatrix34_identity);
    benchmark::DoNotOptimize(scene.thing->nodeMatrices);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kNodes);
}

void BM_Memcpy(benchmark::State& state) {
  std::vector<qxMatrix34> from(kNodes, qxMatrix34_identity), to(kNodes);
  for (auto _ : state) {
    benchmark::DoNotOptimize(from.data());
    std::memcpy(to.data(), from.data(), kNodes * sizeof(qxMatrix34));
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kNodes);
}

BENCHMARK(BM_BuildJointMatrices);
BENCHMARK(BM_UpdateAndBuild);
BENCHMARK(BM_Memcpy);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatio("BM_BuildJointMatrices", "BM_Memcpy", "BuildJointMatrices",
                      "ours / memcpy of 30 node matrices, time ratio");
  reporter.PrintRatio("BM_UpdateAndBuild", "BM_Memcpy", "Update+Build",
                      "ours / memcpy of 30 node matrices, time ratio");
  benchmark::Shutdown();
  return 0;
}
