// Keyframe evaluation per frame: qxPuppet_BuildJointMatrices of a 30-node
// model with two blended tracks, against the same work written with GLM
// (the entry search, the blend by priority and weight, a placement per node
// from its angles and position, the hierarchy through the pivots), in one
// run; a memcpy of the node matrices is the floor. A second pair adds the
// tracks' advance (qxPuppet_UpdateTracks) to every frame on both sides.
// Prints ours / GLM and ours / memcpy.
#include "quadrix/qxPuppet.h"

#include <benchmark/benchmark.h>

#define GLM_ENABLE_EXPERIMENTAL
#include <cmath>
#include <cstdio>
#include <cstring>
#include <glm/glm.hpp>
#include <glm/gtx/euler_angles.hpp>
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

// The same work in GLM's types and functions, reading the scene's keyframes,
// tracks and nodes. The model's parents come before their children.
struct GlmRig {
  struct Track {
    const qxKeyframe* keyframe;
    int32_t low, high;
    float weight, time;
    std::vector<int32_t> entry;  // per keyframe node
  };
  std::vector<Track> tracks;
  std::vector<glm::vec3> restPosition, restAngles, pivot;
  std::vector<uint32_t> type;
  std::vector<int32_t> parent;
  std::vector<glm::mat4> world;

  explicit GlmRig(const Scene& scene) {
    for (const qxPuppetTrack& t : scene.puppet->tracks) {
      if (!(t.status & QXTRACK_PLAYING) || !t.keyframe) continue;
      tracks.push_back({t.keyframe, t.lowPriority, t.highPriority, t.weight, t.currentTime,
                        std::vector<int32_t>(t.keyframe->nodeCount, 0)});
    }
    for (const qxModel3Node& n : scene.nodes) {
      restPosition.push_back({n.position.x, n.position.y, n.position.z});
      restAngles.push_back({n.angles.x, n.angles.y, n.angles.z});
      pivot.push_back({n.pivot.x, n.pivot.y, n.pivot.z});
      type.push_back(n.type);
      parent.push_back(n.parent ? n.parent->index : -1);
    }
    world.resize(scene.nodes.size());
  }

  // Time moves on as the puppet's does.
  void Advance(float seconds) {
    for (Track& t : tracks) {
      t.time += seconds * t.keyframe->rate;
      const float length = static_cast<float>(t.keyframe->frameCount);
      if (t.time >= length) {
        t.time -= length * std::floor(t.time / length);
        std::fill(t.entry.begin(), t.entry.end(), 0);
      }
    }
  }

  static glm::vec3 Wrap(glm::vec3 a) {
    a = glm::mod(a, glm::vec3(360.0f));
    return glm::vec3(a.x > 180.0f ? a.x - 360.0f : a.x, a.y > 180.0f ? a.y - 360.0f : a.y,
                     a.z > 180.0f ? a.z - 360.0f : a.z);
  }

  void Build(const glm::mat4& placement) {
    for (Track& t : tracks) {
      for (int32_t j = 0; j < t.keyframe->nodeCount; ++j) {
        const qxKeyframeNode& kn = t.keyframe->nodes[j];
        int32_t e = t.entry[j];
        while (e < kn.entryCount - 1 && kn.entries[e + 1].frame <= t.time) ++e;
        t.entry[j] = e;
      }
    }
    struct Level {
      int32_t priority = 0;
      float weight = 0.0f;
      glm::vec3 position{0.0f}, angles{0.0f};
    };
    for (size_t n = 0; n < world.size(); ++n) {
      Level top, second;
      for (const Track& t : tracks) {
        const int32_t p = (t.keyframe->type & type[n]) ? t.high : t.low;
        if (p < second.priority || (p < top.priority && top.weight >= 1.0f)) continue;
        const qxKeyframeEntry& e = t.keyframe->nodes[n].entries[t.entry[n]];
        const float dt = t.time - e.frame;
        glm::vec3 position = glm::vec3(e.position.x, e.position.y, e.position.z) +
                             glm::vec3(e.positionRate.x, e.positionRate.y, e.positionRate.z) * dt;
        glm::vec3 angles =
            glm::vec3(e.orientation.x, e.orientation.y, e.orientation.z) +
            glm::vec3(e.orientationRate.x, e.orientationRate.y, e.orientationRate.z) * dt;
        position -= restPosition[n];
        angles = Wrap(angles - restAngles[n]);
        if (t.weight < 1.0f) {
          position *= t.weight;
          angles *= t.weight;
        }
        if (p == top.priority) {
          top.position += position;
          top.angles += angles;
          top.weight += t.weight;
        } else if (p > top.priority) {
          second = top;
          top = {p, t.weight, position, angles};
        } else if (p > second.priority) {
          second = {p, t.weight, position, angles};
        } else {
          second.position += position;
          second.angles += angles;
          second.weight += t.weight;
        }
      }
      if (top.weight < 1.0f && second.weight > 0.0f) {
        const float s = (second.weight > 1.0f ? 1.0f / second.weight : 1.0f) * (1.0f - top.weight);
        top.position += second.position * s;
        top.angles += second.angles * s;
      } else if (top.weight > 1.0f) {
        top.position /= top.weight;
        top.angles /= top.weight;
      }
      const glm::vec3 angles = Wrap(top.angles) + restAngles[n];
      // R = Rz(yaw) Rx(pitch) Ry(roll), the library's convention.
      glm::mat4 local = glm::eulerAngleZXY(glm::radians(angles.y), glm::radians(angles.x),
                                           glm::radians(angles.z));
      local[3] = glm::vec4(restPosition[n] + top.position, 1.0f);
      local[3] = local * glm::vec4(pivot[n], 1.0f);
      if (parent[n] >= 0) local[3] -= glm::vec4(pivot[parent[n]], 0.0f);
      world[n] = (parent[n] >= 0 ? world[parent[n]] : placement) * local;
    }
  }
};

// Whether the GLM version places every node where ours does, within 0.01
// (our sines come from tables; the chains are six nodes long): the two do
// the same work.
bool SameWork(Scene& scene, GlmRig& rig) {
  qxPuppet_BuildJointMatrices(scene.thing, &qxMatrix34_identity);
  rig.Build(glm::mat4(1.0f));
  for (int n = 0; n < kNodes; ++n) {
    const qxVector3& t = scene.thing->nodeMatrices[n].t;
    const glm::vec4& g = rig.world[n][3];
    if (std::fabs(t.x - g.x) > 1e-2f || std::fabs(t.y - g.y) > 1e-2f ||
        std::fabs(t.z - g.z) > 1e-2f) {
      std::fprintf(stderr, "node %d: ours (%g, %g, %g), GLM (%g, %g, %g)\n", n, t.x, t.y, t.z, g.x,
                   g.y, g.z);
      return false;
    }
  }
  return true;
}

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

void BM_BuildGlm(benchmark::State& state) {
  Scene scene;
  GlmRig rig(scene);
  if (!SameWork(scene, rig)) {
    state.SkipWithError("the GLM version places the nodes elsewhere");
    return;
  }
  const glm::mat4 placement(1.0f);
  for (auto _ : state) {
    rig.Build(placement);
    benchmark::DoNotOptimize(rig.world.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kNodes);
}

void BM_UpdateAndBuildGlm(benchmark::State& state) {
  Scene scene;
  GlmRig rig(scene);
  const glm::mat4 placement(1.0f);
  for (auto _ : state) {
    rig.Advance(1.0f / 30.0f);
    rig.Build(placement);
    benchmark::DoNotOptimize(rig.world.data());
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
BENCHMARK(BM_BuildGlm);
BENCHMARK(BM_UpdateAndBuild);
BENCHMARK(BM_UpdateAndBuildGlm);
BENCHMARK(BM_Memcpy);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatio("BM_BuildJointMatrices", "BM_BuildGlm", "BuildJointMatrices",
                      "ours / the same work in GLM, time ratio (goal <= 1)");
  reporter.PrintRatio("BM_UpdateAndBuild", "BM_UpdateAndBuildGlm", "Update+Build",
                      "ours / the same work in GLM, time ratio");
  reporter.PrintRatio("BM_BuildJointMatrices", "BM_Memcpy", "BuildJointMatrices",
                      "ours / memcpy of 30 node matrices, time ratio");
  benchmark::Shutdown();
  return 0;
}
