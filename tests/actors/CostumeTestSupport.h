// Shared fixture of the costume tests: the resource manager over a data
// folder of the test's own assets (written with the 3D library's writers),
// the script interface, the actor module and the costume module started in
// the engine's order; costume files written as text; recording fakes of the
// costume module's calls into the music system, the sets and cutscenes.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "../SoundNameText.h"
#include "../quadrix/qxAssetFiles.h"
#include "CostumeBitmap.h"
#include "actors/drevActor.h"
#include "actors/drevActor_Internal.h"
#include "actors/drevCostume.h"
#include "actors/drevCostume_Internal.h"
#include "engine/Res.h"
#include "engine/drevMain.h"
#include "engine/drevResource.h"
#include "engine/drevTime.h"
#include "quadrix/qxColormap.h"
#include "quadrix/qxCore.h"
#include "quadrix/qxKeyframe.h"
#include "quadrix/qxMaterial.h"
#include "quadrix/qxModel3.h"
#include "quadrix/qxPuppet.h"
#include "quadrix/qxThing.h"
#include "script/drevLua.h"
#include "std/std.h"
#include "std/stdBitmap.h"
#include "std/stdDisplay.h"
#include "std/stdFileUtil.h"

namespace costumetest {

inline std::vector<std::string>& Assertions() {
  static std::vector<std::string> messages;
  return messages;
}
inline void RecordAssert(const char* message, const char*, int) {
  Assertions().push_back(message);
}

// ---- Assets ---------------------------------------------------------------------

// A model of nodeCount nodes in a chain: "root", "n1", ... (node 12 is
// "l_hand"); every node shows a mesh of 16 vertices (four quads) coloured by
// the material; the root's mesh casts a shadow.
inline bool WriteModel(const std::string& path, int nodeCount, const char* material = "skin.mat") {
  qxMaterial mat{};
  std::snprintf(mat.name, sizeof mat.name, "%s", material);
  qxMaterial* materials[1] = {&mat};
  std::vector<qxVector3> vertices(16), normals(16, qxVector3{0, 0, 1});
  std::vector<float> lights(16, 1.0f);
  for (int v = 0; v < 16; ++v) {
    vertices[v] = {(v % 2) * 0.2f - 0.1f, (v / 2 % 2) * 0.2f - 0.1f, (v / 4) * 0.1f};
  }
  std::vector<int32_t> indices;
  for (int q = 0; q < 4; ++q)
    indices.insert(indices.end(), {q * 4, q * 4 + 1, q * 4 + 3, q * 4 + 2});
  std::vector<qxFace> faces(4);
  for (int f = 0; f < 4; ++f) {
    qxFace_NewEntry(&faces[f]);
    faces[f].index = f;
    faces[f].geometryMode = 3;
    faces[f].vertexCount = 4;
    faces[f].vertexIndices = &indices[static_cast<size_t>(f) * 4];
    faces[f].material = &mat;
  }
  std::vector<qxModel3Mesh> meshes(static_cast<size_t>(nodeCount));
  std::vector<qxModel3Node> nodes(static_cast<size_t>(nodeCount));
  for (int i = 0; i < nodeCount; ++i) {
    qxModel3Mesh& m = meshes[static_cast<size_t>(i)];
    m = qxModel3Mesh{};
    std::snprintf(m.name, sizeof m.name, "mesh%d", i);
    m.meshIndex = i;
    m.geometryMode = 3;
    m.vertices = vertices.data();
    m.vertexIntensities = lights.data();
    m.litIntensities = lights.data();
    m.vertexNormals = normals.data();
    m.faces = faces.data();
    m.vertexCount = 16;
    m.faceCount = 4;
    m.shadow = i == 0 ? 1 : 0;
    qxModel3Node& n = nodes[static_cast<size_t>(i)];
    n = qxModel3Node{};
    if (i == 0) {
      std::snprintf(n.name, sizeof n.name, "root");
    } else if (i == 12) {
      std::snprintf(n.name, sizeof n.name, "l_hand");
    } else {
      std::snprintf(n.name, sizeof n.name, "n%d", i);
    }
    n.index = i;
    n.meshIndex = i;
    n.depth = i;
    n.parent = i > 0 ? &nodes[static_cast<size_t>(i) - 1] : nullptr;
    n.child = i + 1 < nodeCount ? &nodes[static_cast<size_t>(i) + 1] : nullptr;
    n.childCount = i + 1 < nodeCount ? 1 : 0;
    n.position = {0, 0, i > 0 ? 0.5f : 0.0f};
    n.pivot = {0, 0, 0.1f * static_cast<float>(i)};
    n.type = 1;
    qxMatrix34_Build(&n.restMatrix, &n.angles, &n.position);
  }
  qxModel3 model{};
  std::snprintf(model.name, sizeof model.name, "test");
  model.geosets[0] = {nodeCount, meshes.data()};
  model.geosetCount = 1;
  model.materials = materials;
  model.materialCount = 1;
  model.nodes = nodes.data();
  model.nodeCount = nodeCount;
  model.insertOffset = {0.25f, 0, 0};
  return qxModel3_WriteBinary(path.c_str(), &model) == 1;
}

// A keyframe of the given frames for the root node, with an optional marker.
inline bool WriteKeyframe(const std::string& path, int frames, float markerFrame = -1.0f,
                          int32_t markerValue = 0) {
  qxKeyframe keyframe;
  qxKeyframe_NewEntry(&keyframe);
  keyframe.jointCount = 1;
  keyframe.type = 1;
  keyframe.rate = 15.0f;
  keyframe.frameCount = frames;
  qxKeyframeNode node{};
  std::snprintf(node.meshName, sizeof node.meshName, "root");
  qxKeyframeEntry entries[2]{};
  entries[1].frame = static_cast<float>(frames);
  entries[1].orientation = {0, 90, 0};
  node.entryCount = 2;
  node.entries = entries;
  keyframe.nodeCount = 1;
  keyframe.nodes = &node;
  if (markerFrame >= 0) {
    keyframe.markerCount = 1;
    keyframe.markerFrames[0] = markerFrame;
    keyframe.markerValues[0] = markerValue;
  }
  return qxKeyframe_WriteBinary(path.c_str(), &keyframe) == 1;
}

inline bool WriteColormap(const std::string& path) {
  qxColormap colormap{};
  std::snprintf(colormap.name, sizeof colormap.name, "%s",
                std::filesystem::path(path).filename().c_str());
  colormap.flags = QXCOLORMAP_16BIT;
  for (float& v : colormap.headerValues) v = 1.0f;
  for (int i = 0; i < 768; ++i) colormap.palette[i] = static_cast<uint8_t>(i / 3);
  return qxColormap_Write(path.c_str(), &colormap) == 1;
}

// ---- Costume text ----------------------------------------------------------------

// Tag ids of the costume text: the registration order of the fifteen tags.
enum Tag {
  MMDL,
  MODL,
  CMAP,
  MESH,
  MAT,
  KEYF,
  BKND,
  ANIM,
  MLSS,
  MLLS,
  TOLV,
  SPRT,
  MLSE,
  MLST,
  LUAV
};

struct Component {
  int tag;
  int parent;  // row, -1 for a root
  std::string name;
};
struct Track {
  int component;
  std::vector<std::pair<int, int>> keys;  // time, value
};
struct Chore {
  std::string name;
  int length;
  std::vector<Track> tracks;
};

inline std::string CostumeText(const std::vector<Component>& components,
                               const std::vector<Chore>& chores) {
  static const char* kTags[] = {"'MMDL'\tfs\t\tMAIN Quadrix Thing (.3DO)",
                                "'MODL'\tfs\t\tQuadrix Thing (.3DO)",
                                "'cmap'\tfs\t\tQuadrix Colormap",
                                "'MESH'\tfs\t\tQuadrix Thing Mesh",
                                "'MAT '\tfs\t\tQuadrix Animated Material",
                                "'KEYF'\tfs\t\tQuadrix Keyframe (.KEY)",
                                "'BKND'\tfs\t\tGeneral Bitmap",
                                "'anim'\tfs\t\tAnimation (old,use Bitmap)",
                                "'mlss'\tfs\t\tMelos Streamed Sound FX",
                                "'mlls'\tfs\t\tMelos Resident Sound FX",
                                "'VLOT'\tfs\t\tTolve Movie",
                                "'sprt'\tfs\t\tSprite",
                                "'mlse'\tint\t\tMelos Sequence",
                                "'mlst'\tint\t\tMelos State",
                                "'luav'\tint\t\tLua Variable"};
  std::string s = "# written by the test\ncostume v0.1\n\n\nsection tags\n\tnumtags 15\n\n";
  for (int i = 0; i < 15; ++i) s += "\t" + std::to_string(i) + "\t" + kTags[i] + "\n";
  s += "\n\nsection components\n\tnumcomponents " + std::to_string(components.size()) + "\n\n";
  for (size_t i = 0; i < components.size(); ++i) {
    const Component& c = components[i];
    s += "\t" + std::to_string(i) + "\t" + std::to_string(c.tag) + "\t\t0\t\t" +
         std::to_string(c.parent) + "\t\t\t" + c.name + "\n";
  }
  s += "\n\nsection chores\n\tnumchores " + std::to_string(chores.size()) + "\n\n";
  for (size_t i = 0; i < chores.size(); ++i) {
    s += "\t" + std::to_string(i) + "\t" + std::to_string(chores[i].length) + "\t\t" +
         std::to_string(chores[i].tracks.size()) + "\t\t\t" + chores[i].name + "\n";
  }
  s += "\n\nsection keys\n";
  for (size_t i = 0; i < chores.size(); ++i) {
    s += "chore " + std::to_string(i) + "\n";
    for (const Track& t : chores[i].tracks) {
      s += "\t" + std::to_string(t.component) + "\t" + std::to_string(t.keys.size()) + "\n";
      for (const auto& [time, value] : t.keys) {
        s += "\t\t" + std::to_string(time) + "\t\t\t" + std::to_string(value) + "\n";
      }
    }
  }
  return s;
}

// ---- Recording fakes of the module's calls ---------------------------------------------

struct Recorder {
  static inline std::vector<std::string> calls;
  static inline bool playing = false;
  static inline int nextId = 1200;
  static inline Room* room = nullptr;

  static void Add(const std::string& line) { calls.push_back(line); }
  static int IsPlaying(SoundName name) {
    Add("playing? " + vqtest::SoundText(name));
    return playing ? 1 : 0;
  }
  static int Start(SoundName name, int priority, int group) {
    Add("start " + vqtest::SoundText(name) + " " + std::to_string(priority) + " " +
        std::to_string(group));
    return nextId;
  }
  static int StartVoice(const char* name, int volume, int pan) {
    Add("voice " + std::string(name) + " " + std::to_string(volume) + " " + std::to_string(pan));
    return 0;
  }
  static int SetParam(SoundName sound, int parameter, int value) {
    Add("param " + vqtest::SoundText(sound) + " " + std::to_string(parameter) + " " +
        std::to_string(value));
    return 0;
  }
  static int Stop(SoundName sound) {
    Add("stop " + vqtest::SoundText(sound));
    return 0;
  }
  static void StopVoice() { Add("stop voice"); }
  static int SetHook(SoundName name, int hook) {
    Add("hook " + vqtest::SoundText(name) + " " + std::to_string(hook));
    return 0;
  }
  static Room* CurrentRoom() { return room; }
  static void SoundParameters(Room*, float* range, int* minVolume, int* maxVolume, float* panFactor,
                              float* nearDistance) {
    *range = 8.0f;
    *minVolume = 20;
    *maxVolume = 120;
    *panFactor = 1.5f;
    *nearDistance = 0.8f;
  }
  static int Positional(SoundName sound, const qxVector3* p, int minVolume, int maxVolume,
                        float range, float nearDistance) {
    char line[160];
    std::snprintf(line, sizeof line, "positional %s at %g,%g,%g %d %d %g %g",
                  vqtest::SoundText(sound).c_str(), p->x, p->y, p->z, minVolume, maxVolume, range,
                  nearDistance);
    Add(line);
    return 1;
  }
  static int Movie(const char* name, int fullScreen, int loop, int x, int y) {
    Add("movie " + std::string(name) + " " + std::to_string(fullScreen) + " " +
        std::to_string(loop) + " " + std::to_string(x) + " " + std::to_string(y));
    return 1;
  }
  static void Install() {
    calls.clear();
    playing = false;
    room = nullptr;
    drevCostumeCalls& c = drevCostume_Calls();
    c.soundIsPlaying = IsPlaying;
    c.soundStart = Start;
    c.soundStartVoice = StartVoice;
    c.soundSetParam = SetParam;
    c.soundStop = Stop;
    c.soundStopVoice = StopVoice;
    c.soundSetHook = SetHook;
    c.roomGetCurrent = CurrentRoom;
    c.roomGetSoundParameters = SoundParameters;
    c.roomAddPositionalSound = Positional;
    c.startMovie = Movie;
  }
};

// ---- Fixture ----------------------------------------------------------------------

class CostumeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HostServices_CopyDefaults(&hs_);
    std_DefaultServices(&hs_);
    hs_.assertFail = RecordAssert;
    std_Startup(&hs_);
    Assertions().clear();
    ASSERT_EQ(drevResource_Initialize(&hs_, &resource_), 0);
    ASSERT_EQ(resource_.startup(), 0);
    // The 3D library keeps the first record it is given: one that lives on,
    // with the resource layer's file operations.
    static HostServices library;
    static bool started = false;
    if (!started) {
      library = hs_;
      library.assertFail = RecordAssert;
      qxCore_Startup(&library);
      qxCore_Open(0);
      started = true;
    }
    ASSERT_EQ(drevLua_Initialize(&hs_, &lua_), 0);
    ASSERT_EQ(lua_.startup(), 0);
    ASSERT_EQ(drevCostume_Initialize(&hs_, &costume_), 0);
    ASSERT_EQ(costume_.startup(), 0);
    drevActor_ResetCalls();
    ASSERT_EQ(drevActor_Initialize(&hs_, &actor_), 0);
    ASSERT_EQ(actor_.startup(), 0);
    drevTime_SetFrameMs(50);
    Recorder::Install();

    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    home_ = cwd;
    dir_ = home_ + "/cos_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    ASSERT_TRUE(WriteModel(dir_ + "/head.3do", 20));
    ASSERT_TRUE(WriteModel(dir_ + "/hat.3do", 2));
    PutFile(dir_ + "/skin.mat", SkinMaterial());
    PutFile(dir_ + "/sprite.mat", SpriteMaterial());
    PutFile(dir_ + "/shadow.mat", SkinMaterial());
    ASSERT_TRUE(WriteKeyframe(dir_ + "/walk.key", 30));
    ASSERT_TRUE(WriteKeyframe(dir_ + "/wave.key", 30, 2.0f, 7));
    ASSERT_TRUE(WriteColormap(dir_ + "/skin.cmp"));
    ASSERT_TRUE(WriteColormap(dir_ + "/shadow.cmp"));
    ASSERT_TRUE(CostumeBitmap_Write(dir_ + "/sign.bm", 3));
    Scan();
    // Files the test writes later open by the path resolver, from here.
    ASSERT_EQ(chdir(dir_.c_str()), 0);
  }
  void TearDown() override {
    resource_.shutdown();
    actor_.shutdown();
    costume_.shutdown();
    lua_.shutdown();
    actor_.uninitialize();
    resource_.uninitialize();
    costume_.uninitialize();
    lua_.uninitialize();
    drevCostume_ResetCalls();
    drevActor_ResetCalls();
    ASSERT_EQ(chdir(home_.c_str()), 0);
    stdFileUtil_ForgetAllFolders();
    std::filesystem::remove_all(dir_);
    EXPECT_TRUE(Assertions().empty()) << Assertions().front();
  }

  static std::string SkinMaterial() {
    Mat m;
    m.flags = 0;
    m.cels = {{0, 1, 0, 0}, {0, 2, 0, 0}, {0, 3, 0, 0}};
    return MatBuild(m);
  }
  static std::string SpriteMaterial() {
    Mat m;
    m.cels = {{8, 0, 0, 0}, {8, 0, 0, 0}, {0, 12, 0, 0}};
    m.textures = {{8, 4, 0, 0, 0, 1}};
    return MatBuild(m);
  }

  void Put(const std::string& name, const std::string& data) { PutFile(dir_ + "/" + name, data); }
  void Scan() {
    stdFileUtil_ForgetAllFolders();
    ASSERT_EQ(drevResource_ScanDirectory(dir_.c_str()), 1);
  }
  // Writes a costume file and loads it as a resource; 0 when it does not load.
  CosCostumeHandle Load(const std::string& name, const std::vector<Component>& components,
                        const std::vector<Chore>& chores = {}) {
    Put(name, CostumeText(components, chores));
    stdFileUtil_ForgetAllFolders();
    return static_cast<CosCostumeHandle>(
        reinterpret_cast<intptr_t>(drevResource_Get("COST", name.c_str())));
  }
  CosCostume* Record(CosCostumeHandle costume) { return CosUtil_PtrFromHandle(costume); }
  // The owner record (hash) of a component of a costume.
  template <typename T>
  T* Owner(CosCostumeHandle costume, int component) {
    return reinterpret_cast<T*>(Record(costume)->components[component].hash);
  }
  template <typename T>
  static T* Data(CosInstHandle instance, int component) {
    return reinterpret_cast<T*>(Cos_InstGetInstanceData(instance, component, nullptr));
  }
  Actor* NewActor() {
    Actor* a = drevActor_FromIndex(drevActor_New(0, 0));
    drevActor_CreateExtra(a);
    return a;
  }

  HostServices hs_;
  ModuleDescriptor resource_{}, lua_{}, costume_{}, actor_{};
  std::string home_, dir_;
};

}  // namespace costumetest
