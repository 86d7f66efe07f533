// Fuzz target: a costume file loaded through the costume module's fifteen
// component tags, worn by an actor and played. The resources its components
// name are small fixture files written once into a folder of their own: a
// three-node model "head.3do" with the material "skin.mat", a sprite
// material "sprite.mat", a keyframe "walk.key" with a marker, a colormap
// "skin.cmp" and a bitmap "sign.bm" of three frames. Sounds, the sets'
// positional sound and cutscenes answer through quiet fakes; script
// variables and the marker handler reach the real script runtime.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "../tests/actors/CostumeBitmap.h"
#include "../tests/quadrix/qxAssetFiles.h"
#include "actors/drevActor.h"
#include "actors/drevCostume.h"
#include "actors/drevCostume_Internal.h"
#include "chore/costume.h"
#include "engine/Res.h"
#include "engine/drevResource.h"
#include "engine/drevTime.h"
#include "quadrix/qxCore.h"
#include "script/drevLua.h"
#include "std/std.h"
#include "std/stdFileUtil.h"

namespace {

std::string g_dir;

// head.3do: the textured cube as "root", with "neck" and "l_hand" below it.
std::string HeadModel() {
  Ldom m = LdomCube(true);
  m.materials = {"skin.mat"};
  m.nodes[0].name = "root";
  m.nodes[0].child = 1;
  m.nodes[0].childCount = 1;
  LdomNode neck;
  neck.name = "neck";
  neck.parent = 0;
  neck.child = 2;
  neck.childCount = 1;
  LdomNode hand;
  hand.name = "l_hand";
  hand.parent = 1;
  m.nodes.push_back(neck);
  m.nodes.push_back(hand);
  return LdomBuild(m);
}

// The calls out of the costume module that would reach the music system,
// the sets and the cutscene player.
int NotPlaying(SoundName) {
  return 0;
}
int StartSound(SoundName, int, int) {
  return 1200;
}
int StartVoice(const char*, int, int) {
  return 0;
}
int SetParam(SoundName, int, int) {
  return 0;
}
int Stop(SoundName) {
  return 0;
}
void StopVoice() {}
int SetHook(SoundName, int) {
  return 0;
}
Room* NoRoom() {
  return nullptr;
}
int Movie(const char*, int, int, int, int) {
  return 1;
}

void RemoveFixtures() {
  std::error_code ignored;
  if (!g_dir.empty()) std::filesystem::remove_all(g_dir, ignored);
}

void Start() {
  static HostServices hs;
  HostServices_CopyDefaults(&hs);
  std_DefaultServices(&hs);
  std_Startup(&hs);
  static ModuleDescriptor resource, lua, costume, actor;
  drevResource_Initialize(&hs, &resource);
  resource.startup();
  // The 3D library keeps the record it is given: the one with the resource
  // layer's file operations.
  static HostServices library = hs;
  qxCore_Startup(&library);
  qxCore_Open(0);
  drevLua_Initialize(&hs, &lua);
  lua.startup();
  drevCostume_Initialize(&hs, &costume);
  costume.startup();
  drevActor_Initialize(&hs, &actor);
  actor.startup();
  drevTime_SetFrameMs(50);

  drevCostumeCalls& c = drevCostume_Calls();
  c.soundIsPlaying = NotPlaying;
  c.soundStart = StartSound;
  c.soundStartVoice = StartVoice;
  c.soundSetParam = SetParam;
  c.soundStop = Stop;
  c.soundStopVoice = StopVoice;
  c.soundSetHook = SetHook;
  c.roomGetCurrent = NoRoom;
  c.startMovie = Movie;

  // In the working folder: the file layer writes nothing outside the game folder.
  char folder[] = "vq_fuzz_costumeXXXXXX";
  if (!mkdtemp(folder)) abort();
  g_dir = folder;
  std::atexit(RemoveFixtures);
  Mat skin;
  skin.cels = {{0, 1, 0, 0}, {0, 2, 0, 0}, {0, 3, 0, 0}};
  skin.textures = {};
  PutFile(g_dir + "/head.3do", HeadModel());
  PutFile(g_dir + "/skin.mat", MatBuild(skin));
  PutFile(g_dir + "/sprite.mat", MatBuild(MatTwoLevel()));
  PutFile(g_dir + "/walk.key", FyekBuild(FyekTwoNode()));
  PutFile(g_dir + "/skin.cmp", CmpBuild(0, CmpPalette()));
  if (!CostumeBitmap_Write(g_dir + "/sign.bm", 3)) abort();
  PutFile(g_dir + "/in.cos", "");
  if (drevResource_ScanDirectory(g_dir.c_str()) != 1) abort();
}

// Plays what the costume holds on the actor's two stacked instances.
void Play(Actor* actor) {
  CostumeNode* top = actor->costumeTop;
  const CosInstHandle instance = top->instance;
  const int chores = Cos_InstCountChores(instance);
  for (int c = 0; c < chores && c < 64; ++c) Cos_InstPlayChore(instance, c, c & 1, 0);
  for (int frame = 0; frame < 8; ++frame) drevCostume_UpdateChores(top, 0.05f);
  drevCostume_FadeOutChore(instance, 0, 250);
  drevCostume_FadeInChore(instance, 0, 250);
  drevCostume_UpdateChores(top, 1.0f);
  for (int c = 0; c < chores && c < 64; ++c) Cos_InstCompleteChore(instance, c);
  drevActor_StopChoreFaded(instance, -1, 130);
  drevCostume_ResetInstance(instance);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = false;
  if (!ready) {
    Start();
    ready = true;
  }
  PutFile(g_dir + "/in.cos", std::string(reinterpret_cast<const char*>(data), data ? size : 0));
  stdFileUtil_ForgetAllFolders();
  Actor* actor = drevActor_FromIndex(drevActor_New(0, 0));
  if (actor && drevActor_SetCostume(actor, "in.cos", 0)) {
    // A second instance over the same costume shares its model records.
    drevActor_PushCostume(actor, "in.cos", 0);
    Play(actor);
    drevActor_PopCostume(actor, 1);
    Play(actor);
  }
  drevActor_FreeAllCostumes();
  drevActor_Free(actor);
  // The costume goes, and with it what only it held.
  Res_PurgeUnreferenced(0xFFFFFFFFu, nullptr);
  return 0;
}
