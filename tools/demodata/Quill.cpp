// The demo's actor: Quill, a small tin robot, written with the 3D library's
// own writers, and its costume.
//
//   Models/quill.3do          thirteen nodes: hips, torso, neck, head (eyes,
//                             three mouths, antenna), arms and legs
//   Materials/quill_*.mat     painted tin, its dark parts and its lit eyes,
//                             in the default colormap's palette so that both
//                             renderers draw them
//   Animation/quill_walk.key  a walk cycle: legs and arms swing, the body bobs
//   Animation/quill_rest.key  standing still
//   Costumes/quill.cos        chores: walk, rest, mumble and ten talk chores,
//                             one per mouth shape of the lip-sync table
#include <cstdio>
#include <string>
#include <vector>

#include "DemoData.h"
#include "QuadrixWriters.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxKeyframe.h"
#include "quadrix/qxMaterial.h"
#include "quadrix/qxModel3.h"
#include "std/std.h"

namespace {

using namespace demodata;

constexpr int kTextureSide = 16;

// Quill's materials: kTextureSide square palette indices with two mip levels.
template <typename Paint>
bool WriteQuillMaterial(const std::filesystem::path& path, Paint index) {
  return WriteMaterial(path, kTextureSide, 2, index, kIndexed);
}

// The model's nodes, in node order: name, parent, position in the parent's
// space. Every node draws the mesh of its own index.
struct NodeSpec {
  const char* name;
  int parent;
  qxVector3 position;
};
enum Node { kHips, kTorso, kNeck, kHead, kEyes, kMouthShut, kMouthOpen, kMouthRound, kAntenna,
            kArmLeft, kArmRight, kLegLeft, kLegRight, kNodeCount };
const NodeSpec kNodes[kNodeCount] = {
    {"hips", -1, {0, 0, 0.45f}},        {"torso", kHips, {0, 0, 0.05f}},
    {"neck", kTorso, {0, 0, 0.5f}},     {"head", kNeck, {0, 0, 0.06f}},
    {"eyes", kHead, {0, 0, 0}},         {"mouth_shut", kHead, {0, 0, 0}},
    {"mouth_open", kHead, {0, 0, 0}},   {"mouth_round", kHead, {0, 0, 0}},
    {"antenna", kHead, {0, 0, 0.32f}},  {"arm_left", kTorso, {-0.27f, 0, 0.45f}},
    {"arm_right", kTorso, {0.27f, 0, 0.45f}}, {"leg_left", kHips, {-0.1f, 0, 0}},
    {"leg_right", kHips, {0.1f, 0, 0}},
};

const char* const kMaterialNames[] = {"quill_tin.mat", "quill_dark.mat", "quill_eye.mat"};

}  // namespace

// Painted tin with rivets along the edges; its dark joints and mouth; its
// lit eyes.
DEMODATA_WRITER(quill_materials) {
  const auto folder = gameDir / "Materials";
  return WriteQuillMaterial(folder / kMaterialNames[0],
                       [](int x, int y, int side) {
                         const bool rivet = (x == 1 || x == side - 2) && (y % 4 == 1);
                         const bool edge = x == 0 || y == 0 || x == side - 1 || y == side - 1;
                         if (rivet) return CubeIndex(230, 230, 220);
                         return edge ? CubeIndex(40, 90, 110) : CubeIndex(70, 150, 160);
                       }) &&
         WriteQuillMaterial(folder / kMaterialNames[1],
                       [](int, int, int) { return CubeIndex(30, 30, 40); }) &&
         WriteQuillMaterial(folder / kMaterialNames[2], [](int x, int y, int side) {
           const int d = (2 * x - side + 1) * (2 * x - side + 1) + (2 * y - side + 1) * (2 * y - side + 1);
           return d < side * side / 2 ? CubeIndex(255, 240, 120) : CubeIndex(200, 160, 40);
         });
}

DEMODATA_WRITER(quill_3do) {
  const std::filesystem::path path = gameDir / "Models" / "quill.3do";
  if (!Prepare(path)) return false;
  qxMaterial materials[3]{};
  qxMaterial* list[3];
  for (int i = 0; i < 3; ++i) {
    std::snprintf(materials[i].name, sizeof materials[i].name, "%s", kMaterialNames[i]);
    materials[i].flags = QXMATERIAL_TEXTURED;
    list[i] = &materials[i];
  }
  qxMaterial* tin = &materials[0];
  qxMaterial* dark = &materials[1];
  qxMaterial* eye = &materials[2];
  std::vector<BoxesMesh> meshes(kNodeCount, BoxesMesh(kTextureSide));
  meshes[kHips].Box({-0.16f, -0.1f, -0.05f}, {0.16f, 0.1f, 0.07f}, dark);
  // The torso carries the outline of the whole robot for its planar shadow
  // (torso space: the feet at z -0.5, the top of the head at 0.88): the body
  // and legs seen from the front and from the side, the arms, the head.
  meshes[kTorso]
      .ShadowQuads({{-0.2f, 0.0f, -0.5f}, {0.2f, 0.0f, -0.5f}, {0.2f, 0.0f, 0.5f}, {-0.2f, 0.0f, 0.5f},
                    {0.0f, -0.15f, -0.5f}, {0.0f, 0.15f, -0.5f}, {0.0f, 0.15f, 0.5f}, {0.0f, -0.15f, 0.5f},
                    {-0.32f, 0.0f, -0.05f}, {0.32f, 0.0f, -0.05f}, {0.32f, 0.0f, 0.48f}, {-0.32f, 0.0f, 0.48f},
                    {-0.19f, 0.0f, 0.56f}, {0.19f, 0.0f, 0.56f}, {0.19f, 0.0f, 0.88f}, {-0.19f, 0.0f, 0.88f}})
      .Box({-0.22f, -0.15f, 0.0f}, {0.22f, 0.15f, 0.5f}, tin);
  meshes[kNeck].Box({-0.05f, -0.05f, 0.0f}, {0.05f, 0.05f, 0.06f}, dark);
  meshes[kHead].Box({-0.19f, -0.17f, 0.0f}, {0.19f, 0.17f, 0.32f}, tin);
  // The face looks along +y, the actor's forward axis.
  meshes[kEyes].Box({-0.13f, 0.165f, 0.17f}, {-0.04f, 0.19f, 0.25f}, eye)
      .Box({0.04f, 0.165f, 0.17f}, {0.13f, 0.19f, 0.25f}, eye);
  meshes[kMouthShut].Box({-0.09f, 0.165f, 0.07f}, {0.09f, 0.185f, 0.09f}, dark);
  meshes[kMouthOpen].Box({-0.09f, 0.165f, 0.04f}, {0.09f, 0.185f, 0.12f}, dark);
  meshes[kMouthRound].Box({-0.05f, 0.165f, 0.04f}, {0.05f, 0.185f, 0.13f}, dark);
  meshes[kAntenna].Box({-0.015f, -0.015f, 0.0f}, {0.015f, 0.015f, 0.14f}, dark)
      .Box({-0.04f, -0.04f, 0.14f}, {0.04f, 0.04f, 0.2f}, eye);
  for (Node arm : {kArmLeft, kArmRight}) {
    meshes[arm].Box({-0.05f, -0.05f, -0.42f}, {0.05f, 0.05f, 0.03f}, tin)
        .Box({-0.06f, -0.06f, -0.5f}, {0.06f, 0.06f, -0.42f}, dark);
  }
  for (Node leg : {kLegLeft, kLegRight}) {
    meshes[leg].Box({-0.07f, -0.07f, -0.39f}, {0.07f, 0.07f, 0.0f}, tin)
        .Box({-0.08f, -0.08f, -0.45f}, {0.08f, 0.16f, -0.39f}, dark);
  }
  qxModel3Mesh geoset[kNodeCount];
  for (int n = 0; n < kNodeCount; ++n) meshes[n].Fill(&geoset[n], kNodes[n].name, n);
  geoset[kTorso].shadow = 1;

  qxModel3 model{};
  std::snprintf(model.name, sizeof model.name, "quill");
  model.geosets[0] = {kNodeCount, geoset};
  model.geosetCount = 1;
  model.materials = list;
  model.materialCount = 3;
  qxModel3Node nodes[kNodeCount]{};
  for (int n = 0; n < kNodeCount; ++n) {
    qxModel3Node& node = nodes[n];
    std::snprintf(node.name, sizeof node.name, "%s", kNodes[n].name);
    node.index = n;
    node.meshIndex = n;
    node.type = n == kHips ? 0x1 : 0x2;
    node.position = kNodes[n].position;
    if (kNodes[n].parent >= 0) {
      qxModel3Node& parent = nodes[kNodes[n].parent];
      node.parent = &parent;
      node.depth = parent.depth + 1;
      // Children are chained in node order: the first child, then siblings.
      if (!parent.child) {
        parent.child = &node;
      } else {
        qxModel3Node* last = parent.child;
        while (last->sibling) last = last->sibling;
        last->sibling = &node;
      }
      ++parent.childCount;
    }
  }
  for (qxModel3Node& node : nodes) qxMatrix34_Build(&node.restMatrix, &node.angles, &node.position);
  model.nodes = nodes;
  model.nodeCount = kNodeCount;
  model.insertOffset = {0.0f, 0.0f, 0.0f};
  return Report(qxModel3_WriteBinary(path.c_str(), &model) == 1, path);
}

namespace {

// A keyframe of the model's nodes: for each animated node, its pitch at a
// few frames, moving linearly from one to the next; the hips also rise and
// fall by `bob`.
struct Swing {
  Node node;
  std::vector<float> pitches;  // at frames 0, step, 2 step, ...
};

bool WriteKeyframe(const std::filesystem::path& path, int frames, float step,
                   const std::vector<Swing>& swings, const std::vector<float>& bob) {
  if (!Prepare(path)) return false;
  qxKeyframe keyframe;
  qxKeyframe_NewEntry(&keyframe);
  keyframe.jointCount = kNodeCount;
  keyframe.type = 0x2;
  keyframe.rate = 15.0f;
  keyframe.frameCount = frames;
  std::vector<qxKeyframeNode> nodes(kNodeCount);
  std::vector<std::vector<qxKeyframeEntry>> entries(kNodeCount);
  for (int n = 0; n < kNodeCount; ++n) {
    std::snprintf(nodes[n].meshName, sizeof nodes[n].meshName, "%s", kNodes[n].name);
    nodes[n].index = n;
  }
  auto track = [&](Node node, const std::vector<float>& pitches, const std::vector<float>& rises) {
    const size_t count = std::max(pitches.size(), rises.size());
    for (size_t i = 0; i < count; ++i) {
      qxKeyframeEntry e{};
      e.frame = static_cast<float>(i) * step;
      e.flags = QXKEYFRAME_ENTRY_POSITION_RATE | QXKEYFRAME_ENTRY_ORIENTATION_RATE;
      const float pitch = i < pitches.size() ? pitches[i] : 0.0f;
      const float next = i + 1 < pitches.size() ? pitches[i + 1] : pitch;
      const float rise = i < rises.size() ? rises[i] : 0.0f;
      const float nextRise = i + 1 < rises.size() ? rises[i + 1] : rise;
      e.position = kNodes[node].position;
      e.position.z += rise;
      e.orientation = {pitch, 0, 0};
      e.positionRate = {0, 0, (nextRise - rise) / step};
      e.orientationRate = {(next - pitch) / step, 0, 0};
      entries[node].push_back(e);
    }
  };
  for (const Swing& swing : swings) track(swing.node, swing.pitches, {});
  track(kHips, {}, bob.empty() ? std::vector<float>{0.0f} : bob);
  for (int n = 0; n < kNodeCount; ++n) {
    nodes[n].entryCount = static_cast<int32_t>(entries[n].size());
    nodes[n].entries = entries[n].empty() ? nullptr : entries[n].data();
  }
  keyframe.nodeCount = kNodeCount;
  keyframe.nodes = nodes.data();
  return Report(qxKeyframe_WriteBinary(path.c_str(), &keyframe) == 1, path);
}

}  // namespace

// The walk: 16 frames at 15 a second, one stride per leg; the arms swing
// against the legs and the hips rise at each passing step.
DEMODATA_WRITER(quill_walk_key) {
  const std::vector<float> forward = {28, 0, -28, 0, 28}, back = {-28, 0, 28, 0, -28};
  const std::vector<float> armForward = {-20, 0, 20, 0, -20}, armBack = {20, 0, -20, 0, 20};
  return WriteKeyframe(gameDir / "Animation" / "quill_walk.key", 16, 4.0f,
                       {{kLegLeft, forward}, {kLegRight, back}, {kArmLeft, armForward},
                        {kArmRight, armBack}, {kHead, {0, 3, 0, 3, 0}}},
                       {0.0f, 0.03f, 0.0f, 0.03f, 0.0f});
}

// Standing: every limb at rest, the arms a little out.
DEMODATA_WRITER(quill_rest_key) {
  return WriteKeyframe(gameDir / "Animation" / "quill_rest.key", 2, 1.0f,
                       {{kLegLeft, {0}}, {kLegRight, {0}}, {kArmLeft, {0}}, {kArmRight, {0}},
                        {kHead, {0}}},
                       {0.0f});
}

namespace {

// Components: 0 the model, 1 and 2 the walk and rest keyframes, 3 to 5 the
// three mouths (model nodes 5 to 7). A mouth chore shows one mouth and hides
// the others; the talk chores are mouth chores, one per mouth shape of the
// lip-sync table (shape i is talk chore i + 1).
enum Mouth { kShut, kOpen, kRound };
const Mouth kTalkMouths[10] = {kShut, kOpen, kOpen, kOpen, kShut, kOpen, kShut, kRound, kOpen, kRound};

std::string MouthKeys(Mouth mouth, int time) {
  std::string keys;
  char line[64];
  for (int m = 0; m < 3; ++m) {
    std::snprintf(line, sizeof line, "\t%d\t1\n\t\t%d\t\t\t%d\n", 3 + m, time, m == mouth ? 1 : 0);
    keys += line;
  }
  return keys;
}

std::string QuillCos() {
  std::string text =
      "# Quill, the demo's tin robot.\n"
      "costume v0.1\n"
      "\n" +
      std::string(kCostumeTagsSection) +
      "\n"
      "section components\n"
      "\tnumcomponents 6\n"
      "\n"
      "\t0\t0\t\t0\t\t-1\t\t\tquill.3do\n"
      "\t1\t5\t\t0\t\t0\t\t\tquill_walk.key\n"
      "\t2\t5\t\t0\t\t0\t\t\tquill_rest.key\n"
      "\t3\t3\t\t0\t\t0\t\t\tMesh 5 (mouth_shut)\n"
      "\t4\t3\t\t0\t\t0\t\t\tMesh 6 (mouth_open)\n"
      "\t5\t3\t\t0\t\t0\t\t\tMesh 7 (mouth_round)\n"
      "\n"
      "section chores\n"
      "\tnumchores 13\n"
      "\n"
      "\t0\t1067\t\t1\t\t\twalk\n"
      "\t1\t100\t\t4\t\t\trest\n"
      "\t2\t300\t\t3\t\t\tmumble\n";
  char line[96];
  for (int t = 1; t <= 10; ++t) {
    std::snprintf(line, sizeof line, "\t%d\t10\t\t3\t\t\ttalk_%d\n", 2 + t, t);
    text += line;
  }
  text +=
      "\n"
      "section keys\n"
      "chore 0\n"
      "\t1\t1\n"
      "\t\t0\t\t\t1\n"  // the walk cycle plays looping
      "chore 1\n"
      "\t2\t1\n"
      "\t\t0\t\t\t1\n" +  // standing
      MouthKeys(kShut, 0);
  // Mumbling: the mouth opens, rounds and opens again over and over.
  text += "chore 2\n";
  for (int m = 0; m < 3; ++m) {
    std::snprintf(line, sizeof line, "\t%d\t3\n\t\t0\t\t\t%d\n\t\t100\t\t\t%d\n\t\t200\t\t\t%d\n",
                  3 + m, m == kOpen, m == kRound, m == kShut);
    text += line;
  }
  for (int t = 1; t <= 10; ++t) {
    std::snprintf(line, sizeof line, "chore %d\n", 2 + t);
    text += line;
    text += MouthKeys(kTalkMouths[t - 1], 0);
  }
  return text;
}

}  // namespace

DEMODATA_WRITER(quill_cos) {
  return demodata::WriteText(gameDir / "Costumes" / "quill.cos", QuillCos());
}
