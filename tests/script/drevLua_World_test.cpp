// The actor, set, camera and light, sound and movie, and render-mode script
// functions, driven by Lua snippets against a small set written by the test
// (two setups, two lights, three sectors "door", "door_2" and "floor") and
// recording fakes of the music, cutscene, movie, render and overlay calls.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "../SoundNameText.h"
#include "../engine/RoomTestSupport.h"
#include "ScriptTestSupport.h"
#include "actors/drevActor.h"
#include "actors/drevActor_Internal.h"
#include "actors/drevCostume.h"
#include "chore/costume.h"
#include "engine/ObjectState.h"
#include "engine/Pathfinder.h"
#include "engine/WalkPlane.h"
#include "engine/drevDialogLog.h"
#include "engine/drevMain.h"
#include "engine/drevTime.h"
#include "quadrix/qxCamera.h"
#include "quadrix/qxModel3.h"
#include "quadrix/qxThing.h"
#include "script/drevLua.h"
#include "script/drevLua_Calls.h"
#include "script/drevLua_Rows.h"

namespace {

// What the fakes were asked, one line per call.
std::vector<std::string> g_log;

std::string Text(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Text(const char* format, ...) {
  char buffer[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

void InstallFakes() {
  drevLuaCalls& c = drevLua_Calls();
  c.soundsSetParam = [](SoundName name, int parameter, int value) {
    g_log.push_back(Text("SetParam %s %d %d", vqtest::SoundText(name).c_str(), parameter, value));
    return 0;
  };
  c.soundsGetParam = [](SoundName name, int parameter) {
    g_log.push_back(Text("GetParam %s %d", vqtest::SoundText(name).c_str(), parameter));
    return 7;
  };
  c.soundsStartSound = [](SoundName name, int priority, int group) {
    g_log.push_back(Text("StartSound %s %d %d", vqtest::SoundText(name).c_str(), priority, group));
    return 1111;
  };
  c.soundsFillStreams = [] { g_log.push_back("FillStreams"); };
  c.melosGroupVolume = [](int group, int value) {
    g_log.push_back(Text("GroupVolume %d %d", group, value));
    return 100 + group;
  };
  c.startMovie = [](const char* name, int full, int loop, int x, int y) {
    g_log.push_back(Text("StartMovie %s %d %d %d %d", name, full, loop, x, y));
    return 1;
  };
  c.mouseSetMovieCursor = [](int flag) { g_log.push_back(Text("MovieCursor %d", flag)); };
  c.roomAddPositionalSound = [](SoundName sound, const qxVector3* p, int minimum, int maximum,
                                float range, float nearDistance) {
    g_log.push_back(Text("Positional %s %g %g %g %d %d %g %g", vqtest::SoundText(sound).c_str(),
                         p->x, p->y, p->z, minimum, maximum, range, nearDistance));
    return 1;
  };
  c.tolvePause = [](int flag) { g_log.push_back(Text("TolvePause %d", flag)); };
  c.tolveIsPlaying = [] { return 0; };
  c.movieIsActive = [] { return 0; };
  c.movieIsRunning = [] { return 0; };
  c.renderForceRefresh = [] { g_log.push_back("ForceRefresh"); };
  c.renderGetCameraActor = [] { return -1; };
  c.renderPickWorldPoint = [](int x, int y, qxVector3* out) {
    g_log.push_back(Text("Pick %d %d", x, y));
    *out = {1, 2, 3};
    return 1;
  };
  c.overlaySetVirtualScreenAspect = [](float aspect) {
    g_log.push_back(Text("Aspect %.4f", aspect));
  };
  c.costumeFadeInChore = [](CosInstHandle, int chore, int ms) {
    g_log.push_back(Text("FadeIn %d %d", chore, ms));
  };
  c.costumeFadeOutChore = [](CosInstHandle, int chore, int ms) {
    g_log.push_back(Text("FadeOut %d %d", chore, ms));
  };
}

std::string Joined() {
  std::string all;
  for (const std::string& line : g_log) all += (all.empty() ? "" : "; ") + line;
  return all;
}

// The set: the test support's two setups and two lights, and three sectors.
std::string SetText() {
  std::string text = roomtest::kSmallSet;
  text +=
      "\nsection: sectors\n"
      "\tsector door\n\tID 1\n\ttype chernobyl\n\tdefault visibility visible\n"
      "\tnumvertices 4\n\tvertices: 0 0 0\n\t2 0 0\n\t2 2 0\n\t0 2 0\n"
      "\tsector door_2\n\tID 2\n\ttype camera\n\tdefault visibility visible\n"
      "\tnumvertices 4\n\tvertices: 2 0 0\n\t4 0 0\n\t4 2 0\n\t2 2 0\n"
      "\tsector floor\n\tID 3\n\ttype walk\n\tdefault visibility visible\n"
      "\tnumvertices 4\n\tvertices: 0 0 0\n\t4 0 0\n\t4 4 0\n\t0 4 0\n";
  return text;
}

class ScriptWorld : public roomtest::RoomTest {
 protected:
  void SetUp() override {
    RoomTest::SetUp();
    drevRoomCalls& rc = drevRoom_Calls();
    rc.actorFromIndex = drevActor_FromIndex;
    rc.actorToIndex = drevActor_ToIndex;
    ASSERT_EQ(drevActor_Initialize(&hs_, &actors_), 0);
    ASSERT_EQ(drevActor_Startup(), 0);
    drevTime_SetFrameMs(50);
    WriteFile("_system.lua", "");
    ASSERT_EQ(0, drevLua_Initialize(&hs_, &lua_));
    ASSERT_EQ(0, lua_.startup());
    g_log.clear();
    InstallFakes();
    world_.backgrounds = {"wide.bmp", "close.bmp"};
    world_.colormaps = {"room.cmp"};
    room_ = Load(Write("demo.set", SetText()));
    ASSERT_NE(room_, nullptr);
    drevRoom_MakeCurrent(room_, nullptr);
    WalkPlane_SelectSetSectors(room_->name);
    GameState = kGameRunning;
  }
  void TearDown() override {
    lua_.shutdown();
    lua_.uninitialize();
    drevLua_ResetCalls();
    drevActor_Shutdown();
    drevActor_Uninitialize();
    WalkPlane_FreeCache();
    WalkPlane_SelectSetSectors(nullptr);
    RoomTest::TearDown();
    GameState = kGameNone;
    drevTime_SetFrameMs(0);
    drevActor_SetSpeechMode(2);
  }

 public:
  // Runs the snippet and answers the global r as text.
  std::string Run(const std::string& code) {
    EXPECT_EQ(0, RunLua("r = nil\n" + code)) << code;
    return GlobalText("r");
  }

 protected:
  ModuleDescriptor actors_{};
  ModuleDescriptor lua_{};
  Room* room_ = nullptr;
};

struct Case {
  const char* what;
  const char* code;
  const char* expected;
};

void RunCases(ScriptWorld* world, const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    g_log.clear();
    EXPECT_EQ(c.expected, world->Run(c.code)) << c.what;
  }
}

// ---- Actor placement, walking and turning ---------------------------------------------

TEST_F(ScriptWorld, ActorPlacementAndTurning) {
  RunCases(
      this,
      {
          {"LoadActor keeps the occlusion flag only",
           "a = LoadActor('x', 1, 0)\nPutActorAt(a, 1, 2, 3)\nlocal x, y, z = GetActorPos(a)\n"
           "r = x .. ' ' .. y .. ' ' .. z",
           "1 2 3"},
          {"PutActorAt refuses a missing coordinate",
           "a = LoadActor()\nPutActorAt(a, 1, 2, 3)\nPutActorAt(a, 5, 5)\nlocal x = "
           "GetActorPos(a)\n"
           "r = x",
           "1"},
          {"a handle of a free slot is a bad handle",
           "r = tostring(GetActorPos(nil)) .. ' ' .. tostring(IsActorMoving(3))", "nil nil"},
          {"GetActorPuckVector with one argument adds the position",
           "a = LoadActor()\nPutActorAt(a, 1, 1, 0)\nPointActorAt(a, 1, 5, 0)\n"
           "local x, y = GetActorPuckVector(a)\nlocal u, v = GetActorPuckVector(a, nil)\n"
           "r = format('%.2f %.2f %.2f %.2f', x, y, u, v)",
           "1.00 2.00 0.00 1.00"},
          {"SetActorTurnRate after PointActorAt stays negative",
           "a = LoadActor()\nSetActorTurnRate(a, 90)\nPointActorAt(a, 3, 3, 0)\n"
           "SetActorTurnRate(a, 45)\nr = GetActorTurnRate(a)",
           "-45"},
          {"TurnActorTo straight ahead is done",
           "a = LoadActor()\nPutActorAt(a, 1, 1, 0)\nSetActorTurnRate(a, 90)\n"
           "PointActorAt(a, 1, 5, 0)\nSetActorTurnRate(a, 90)\nr = tostring(TurnActorTo(a, 1, 9, "
           "0))",
           "nil"},
          {"TurnActorTo far off needs a full step",
           "a = LoadActor()\nPutActorAt(a, 1, 1, 0)\nSetActorTurnRate(a, 90)\n"
           "PointActorAt(a, 1, 5, 0)\nr = tostring(TurnActorTo(a, -5, 1, 0))",
           "1"},
          {"WalkActorTo toward an actor walks to its position",
           "a = LoadActor()\nb = LoadActor()\nPutActorInSet(a, 'demo.set')\nPathfinderMode(1)\n"
           "PutActorAt(a, 0.5, 0.5, 0)\nPutActorAt(b, 3, 3, 0)\nSetActorWalkRate(a, 1)\n"
           "GetActorYawToPoint(a, 0, 1, 0)\nWalkActorTo(a, b)\nr = tostring(IsActorMoving(a))",
           "1"},
          {"SetActorRot, then the pitch alone",
           "a = LoadActor()\nSetActorRot(a, 10, 20, 30)\nSetActorPitch(a, 5)\n"
           "local p, y, ro = GetActorRot(a)\nr = p .. ' ' .. y .. ' ' .. ro",
           "5 20 30"},
          {"SetActorBWMode and the HK hack take numbers",
           "a = LoadActor()\nSetActorBWMode(a, 1)\nSetActorBWMode(a, 0)\nSetActorHKHackMode(a, 1)\n"
           "r = 'ok'",
           "ok"},
          {"IsActorTurning and IsActorResting make the extra block",
           "a = LoadActor()\nr = tostring(IsActorTurning(a)) .. ' ' .. tostring(IsActorResting(a))",
           "nil nil"},
          {"GetActorYawToPoint takes a table or three numbers",
           "a = LoadActor()\nPutActorAt(a, 0, 0, 0)\nlocal p = GetActorYawToPoint(a, {x = 0, y = "
           "1, z = 0})\n"
           "local q = GetActorYawToPoint(a, 0, 1, 0)\nr = format('%.1f %.1f', p, q)",
           "0.0 0.0"},
          {"GetCameraActor without a camera actor", "r = tostring(GetCameraActor())", "nil"},
      });
}

TEST_F(ScriptWorld, FrozenYawsAccumulateOnTheKeptFrame) {
  ASSERT_EQ("", Run("a = LoadActor()\nc = LoadActor()\nPutActorAt(a, 1, 1, 0)\n"
                    "PointActorAt(a, 1, 5, 0)\n"
                    "WalkActorVector(a, c, 0, 1, 0, nil, {}, 10)\n"
                    "WalkActorVector(a, c, 0, 1, 0, nil, {}, 20)\n"
                    "WalkActorVector(a, c, 0, 1, 0, nil, {}, 20)\n"));
  qxVector3 angles{};
  qxMatrix34_ExtractAngles(drevLua_GetKeptWalkFrame(), &angles);
  EXPECT_NEAR(30.0f, std::fabs(angles.y), 0.01f);
}

// ---- Actor appearance, looking and queries ---------------------------------------------

TEST_F(ScriptWorld, CostumeStackQueries) {
  // Two costumes of the chore library on an actor's stack.
  CosModuleDescriptor chore{};
  ASSERT_EQ(0, Cos_Initialize(&hs_, &chore));
  ASSERT_EQ(0, chore.startup());
  const CosCostumeHandle suit = Cos_New(), hat = Cos_New();
  std::strcpy(CosUtil_PtrFromHandle(suit)->name, "suit.cos");
  std::strcpy(CosUtil_PtrFromHandle(hat)->name, "hat.cos");
  CostumeNode bottom{}, top{};
  bottom.instance = Cos_CreateCosInstance(suit, 0);
  top.instance = Cos_CreateCosInstance(hat, 0);
  top.next = &bottom;
  ASSERT_EQ("", Run("a = LoadActor()"));
  Actor* actor = drevActor_FromIndex(0);
  ASSERT_NE(actor, nullptr);
  actor->costumeTop = &top;
  RunCases(
      this,
      {
          {"depth", "r = GetActorCostumeDepth(a)", "2"},
          {"no depth names the top", "r = GetActorCostume(a)", "hat.cos"},
          {"depth 0 names the top", "r = GetActorCostume(a, 0)", "hat.cos"},
          {"depth 1", "r = GetActorCostume(a, 1)", "suit.cos"},
          {"depth of the stack size", "r = tostring(GetActorCostume(a, 2))", "nil"},
          {"a depth that is no number", "r = 'x' .. tostring(GetActorCostume(a, {}))", "xnil"},
          {"look rate of the top costume", "SetActorLookRate(a, 45)\nr = GetActorLookRate(a)",
           "45"},
          {"ActorLookAt nil twice changes nothing the second time",
           "ActorLookAt(a, 1, 2, 3)\nActorLookAt(a, nil)\nr = tostring(IsActorLooking(a))", "1"},
          {"a join without a main model", "r = 'x' .. a", "x(actor0:)"},
      });
  // A join names the main model of the top costume.
  auto model = std::make_unique<qxModel3>();
  std::strcpy(model->name, "quill.3do");
  qxThing thing{};
  thing.type = QXTHING_MODEL;
  thing.object = model.get();
  top.mainModel = &thing;
  EXPECT_EQ("x(actor0:quill.3do)", Run("r = 'x' .. a"));
  EXPECT_EQ("(actor0:quill.3do)(nil)", Run("r = a .. nil"));
  top.mainModel = nullptr;
  actor->state &= ~ACTOR_LOOKING;
  EXPECT_EQ("nil", Run("ActorLookAt(a, nil)\nr = tostring(IsActorLooking(a))"));

  // FadeInChore plays the chore of the named costume and fades it in.
  g_log.clear();
  EXPECT_EQ("", Run("FadeInChore(a, 'SUIT.COS', 0, 250)\nFadeOutChore(a, 1, 0, 100)\n"
                    "FadeOutChore(a, 'none.cos', 0, 100)"));
  EXPECT_EQ("FadeIn 0 250; FadeOut 0 100", Joined());
  actor->costumeTop = nullptr;
  chore.shutdown();
  chore.uninitialize();
}

// GetActorRect answers the rectangle of the last draw; nil when the actor
// was not drawn or its draw covered nothing (the empty box a draw starts from).
TEST_F(ScriptWorld, ActorRectOnlyForADrawThatCoveredSomething) {
  ASSERT_EQ("", Run("a = LoadActor()"));
  Actor* actor = drevActor_FromIndex(0);
  ASSERT_NE(actor, nullptr);
  actor->drawn = 1;
  const int32_t drawn[4] = {10, 20, 30, 40};
  std::memcpy(actor->screenRect, drawn, sizeof drawn);
  EXPECT_EQ("10 20 30 40",
            Run("local x, y, w, h = GetActorRect(a)\nr = x .. ' ' .. y .. ' ' .. w .. ' ' .. h"));
  const int32_t empty[4] = {640, 480, -640, -480};
  std::memcpy(actor->screenRect, empty, sizeof empty);
  EXPECT_EQ("nil 1", Run("r = tostring(GetActorRect(a)) .. ' ' .. call(GetActorRect, {a}, 'p').n"));
}

TEST_F(ScriptWorld, ActorAppearanceAndQueries) {
  RunCases(
      this,
      {
          {"SetActorCostume(a, nil) on an empty stack",
           "a = LoadActor()\nr = SetActorCostume(a, nil)", "1"},
          {"GetActorCostume on an empty stack", "a = LoadActor()\nr = tostring(GetActorCostume(a))",
           "nil"},
          {"SetActorTimeScale keeps the size",
           "a = LoadActor()\nSetActorTimeScale(a, -2)\n"
           "r = GetActorTimeScale(a)",
           "2"},
          {"SetActorScale without a number is 1",
           "a = LoadActor()\nSetActorScale(a, 3)\n"
           "SetActorScale(a, 'big')\nr = GetActorScale(a)",
           "1"},
          {"IsActorInSector door: any name holding it",
           "a = LoadActor()\nPutActorAt(a, 3, 1, 0)\nlocal id, name = IsActorInSector(a, 'door')\n"
           "r = name",
           "door_2"},
          {"IsActorInSector door, exact",
           "a = LoadActor()\nPutActorAt(a, 3, 1, 0)\nr = tostring(IsActorInSector(a, 'door', 1))",
           "nil"},
          {"IsActorInSector door, exact, inside door",
           "a = LoadActor()\nPutActorAt(a, 1, 1, 0)\nlocal id, name, t = IsActorInSector(a, "
           "'door', 1)\n"
           "r = id .. ' ' .. name .. ' ' .. t",
           "1 door 32768"},
          {"GetActorSector of the walk type",
           "a = LoadActor()\nPutActorAt(a, 1, 3, 0)\nlocal id, name = GetActorSector(a, WALK)\nr = "
           "name",
           "floor"},
          {"GetAngleBetweenActors without a walk frame",
           "a = LoadActor()\nb = LoadActor()\nr = tostring(GetAngleBetweenActors(a, b))", "nil"},
          {"GetAngleBetweenActors straight ahead is 0, behind is 180",
           "a = LoadActor()\nb = LoadActor()\nPutActorAt(a, 1, 1, 0)\nPutActorAt(b, 1, 3, 0)\n"
           "PointActorAt(a, b)\nlocal ahead = GetAngleBetweenActors(a, b)\nPutActorAt(b, 1, -3, "
           "0)\n"
           "r = format('%.0f %.0f', ahead, GetAngleBetweenActors(a, b))",
           "0 180"},
          {"GetActorNodeLocation without a costume gives nothing",
           "a = LoadActor()\nr = 'x' .. tostring(GetActorNodeLocation(a, 9999))", "xnil"},
          {"GetActorRect before any draw", "a = LoadActor()\nr = tostring(GetActorRect(a))", "nil"},
          {"a NaN reads as not a number: the position is kept, the scale is 1",
           "a = LoadActor()\nPutActorAt(a, 1, 2, 0)\nPutActorAt(a, 0 / 0, 3, 0)\n"
           "SetActorScale(a, 2)\nSetActorScale(a, 0 / 0)\nlocal x, y = GetActorPos(a)\n"
           "r = x .. ' ' .. y .. ' ' .. GetActorScale(a)",
           "1 2 1"},
      });
}

TEST_F(ScriptWorld, SetActorVisibilityWithTheActorOnlyHides) {
  ASSERT_EQ("", Run("v = LoadActor()\nSetActorVisibility(v, 1)\nSetActorVisibility(v)"));
  EXPECT_TRUE(drevActor_FromIndex(0)->flags & ACTOR_HIDDEN);
  ASSERT_EQ("", Run("SetActorVisibility(v, 1)"));
  EXPECT_FALSE(drevActor_FromIndex(0)->flags & ACTOR_HIDDEN);
}

TEST_F(ScriptWorld, GetActorNodeLocationChecksTheNodeIndex) {
  // A two-node model worn as the main model of the top costume.
  qxModel3 model{};
  qxModel3Node nodes[2]{};
  nodes[1].pivot = {0, 0, 1};
  nodes[1].parent = &nodes[0];
  nodes[0].child = &nodes[1];
  nodes[0].childCount = 1;
  nodes[1].depth = 1;
  nodes[1].index = 1;
  nodes[0].meshIndex = nodes[1].meshIndex = -1;
  model.nodeCount = 2;
  model.nodes = nodes;
  qxThing* thing = qxThing_New(0);
  ASSERT_NE(thing, nullptr);
  qxThing_SetModel3(thing, &model);
  CostumeNode top{};
  top.mainModel = thing;
  ASSERT_EQ("", Run("a = LoadActor()\nPutActorAt(a, 5, 6, 0)"));
  drevActor_FromIndex(0)->costumeTop = &top;
  // The node's offset turned by its world matrix, plus the matrix's translation.
  EXPECT_EQ("5 6 2",
            Run("local x, y, z = GetActorNodeLocation(a, 1)\nr = x .. ' ' .. y .. ' ' .. z"));
  for (const char* node : {"9999", "2", "-1"}) {
    EXPECT_EQ("xnil",
              Run(std::string("r = 'x' .. tostring(GetActorNodeLocation(a, ") + node + "))"))
        << node;
  }
  drevActor_FromIndex(0)->costumeTop = nullptr;
  qxThing_Free(thing);
}

// ---- Sets, setups, sectors and walk boxes ---------------------------------------------

TEST_F(ScriptWorld, SetsAndSectors) {
  RunCases(
      this,
      {
          {"GetPointSector with three arguments", "r = tostring(GetPointSector(1, 3, 0))", "nil"},
          {"GetPointSector with a nil mask finds WALK",
           "local id, name = GetPointSector(1, 1, 0, nil)\nr = name", "floor"},
          {"GetPointSector with the HOT mask",
           "local id, name = GetPointSector(1, 1, 0, HOT)\nr = name", "door"},
          {"GetCurrentSetup in other letter case", "r = GetCurrentSetup('DEMO.SET')", "0"},
          {"GetCurrentSetup of a set that is not loaded",
           "r = 'x' .. tostring(GetCurrentSetup('no.set'))", "xnil"},
          {"IsPointInSector by part of a name",
           "local id, name = IsPointInSector(3, 1, 0, 'oor_')\nr = name", "door_2"},
          {"IsSectorActive by name and by id",
           "r = tostring(IsSectorActive('FLOOR')) .. ' ' .. tostring(IsSectorActive(3)) .. ' ' .. "
           "tostring(IsSectorActive('nowhere'))",
           "1 1 nil"},
          {"SnapToPlane",
           "local x, y, z = SnapToPlane('floor', 1, 2, 5)\nr = x .. ' ' .. y .. ' ' .. z", "1 2 0"},
          {"GetShrinkPos clamps into the shrunk boxes and leaves them",
           "local x, y = GetShrinkPos(-1, 2, 0, 0.5)\nlocal id, name = GetPointSector(0.1, 2, 0, "
           "nil)\n"
           "r = format('%.2f %.2f ', x, y) .. name",
           "0.50 2.00 floor"},
      });
}

TEST_F(ScriptWorld, ShrinkingStartsFromTheUnshrunkBoxes) {
  const qxVector3 edge{0.15f, 2, 0};
  ASSERT_EQ("", Run("ShrinkBoxes(0.1)\nShrinkBoxes(0.2)"));
  const Sector* floor = WalkPlane_FindSectorByName("floor");
  EXPECT_EQ(0, Sector_ContainsPoint(floor, &edge, 1)) << "shrunk by 0.2";
  const qxVector3 inside{0.25f, 2, 0};
  EXPECT_EQ(1, Sector_ContainsPoint(floor, &inside, 1)) << "not by 0.3";
  ASSERT_EQ("", Run("UnShrinkBoxes()"));
  EXPECT_EQ(1, Sector_ContainsPoint(floor, &edge, 1));
}

TEST_F(ScriptWorld, MakeSectorActiveNilClearsTheFlagAndDirtiesTheGraph) {
  Pathfinder_Construct()->dirty = 0;
  ASSERT_EQ("nil", Run("MakeSectorActive('floor', nil)\nr = tostring(IsSectorActive('floor'))"));
  EXPECT_NE(0, Pathfinder_Construct()->dirty);
  EXPECT_EQ("1", Run("MakeSectorActive('floor', 1)\nr = IsSectorActive('floor')"));
}

// ---- Cameras and lights ----------------------------------------------------------------

TEST_F(ScriptWorld, CamerasAndLights) {
  RunCases(this,
           {
               {"camera position of the current setup",
                "local x, y, z = GetCameraPosition()\nr = x .. ' ' .. y .. ' ' .. z", "1.5 -2 3"},
               {"SetCameraFOV", "SetCameraFOV(70)\nr = GetCameraFOV()", "70"},
               {"ScreenToWorld of 640, 0 gives nothing",
                "r = 'x' .. tostring(ScreenToWorld(640, 0))", "xnil"},
               {"ScreenToWorld of a pixel",
                "local x, y, z = ScreenToWorld(639, 479)\nr = x .. y .. z", "123"},
               {"FindLight ignores case", "r = FindLight('FLASH')", "1"},
               {"SetLightType spot", "SetLightType(1, 'a spot')\nr = GetLightType(1)", "spot"},
               {"SetLightType global spot", "SetLightType(1, 'global spot')\nr = GetLightType(1)",
                "parallel"},
               {"SetLightType lamp", "SetLightType(0, 'lamp')\nr = GetLightType('lamp')", "omni"},
               {"light index -1 and 99",
                "r = tostring(GetLightIntensity(-1)) .. tostring(GetLightIntensity(99))", "nilnil"},
               {"a NaN field of view is not stored",
                "SetCameraFOV(70)\nSetCameraFOV(0 / 0)\nr = GetCameraFOV()", "70"},
               {"a NaN light intensity is not stored",
                "SetLightIntensity(1, 0.5)\nSetLightIntensity(1, 0 / 0)\nr = GetLightIntensity(1)",
                "0.5"},
               {"GetCameraLookVector of setup 7", "r = tostring(GetCameraLookVector(7))", "nil"},
               {"GetCameraLookVector of setup 1",
                "local v = GetCameraLookVector(1)\nr = format('%.3f %.3f %.3f', v.x, v.y, v.z)",
                "0.577 0.577 -0.577"},
           });
}

TEST_F(ScriptWorld, LightSettersLeaveBadIndicesAndSetupCopies) {
  const RoomLight before = room_->lights[0];
  ASSERT_EQ("",
            Run("SetLightIntensity(-1, 5)\nSetLightIntensity(99, 5)\nSetLightPosition(2, 1, 1, 1)\n"
                "TurnLightOn(-1, nil)"));
  EXPECT_EQ(0, std::memcmp(&before, &room_->lights[0], sizeof before));

  // PointLightAt turns the set light only: the setups' copies keep their place.
  ASSERT_EQ("", Run("SetLightPosition(0, 0, 0, 0)\nPointLightAt(0, 0, 0, -1)"));
  EXPECT_EQ("-90", Run("local p = GetLightRotation(0)\nr = format('%.0f', p)"));
  for (uint32_t s = 0; s < room_->numSetups; ++s) {
    const qxCamera* camera = room_->setups[s].camera;
    ASSERT_NE(camera, nullptr);
    EXPECT_EQ(0.0f, camera->lightPositions[0].z) << "SetLightPosition writes every setup";
  }
}

TEST_F(ScriptWorld, CameraRollWithTheSameRollRebuildsTheSameMatrix) {
  const qxMatrix34 before = room_->setups[0].viewMatrix;
  ASSERT_EQ("", Run("SetCameraRoll(GetCameraRoll())"));
  const qxMatrix34 after = room_->setups[0].viewMatrix;
  EXPECT_EQ(0, std::memcmp(&before, &after, sizeof before));
  ASSERT_EQ("nil", Run("r = tostring(SetCameraRoll('x'))"));
}

// ---- Sound, music and movies ------------------------------------------------------------

TEST_F(ScriptWorld, SoundMusicAndMovies) {
  const Case cases[] = {
      {"SetSoundPosition max 5 min 30", "SetSoundPosition('door.wav', 1, 2, 3, 30, 5)",
       "Positional door.wav 1 2 3 30 30 8 0.8"},
      {"SetSoundPosition with an actor",
       "a = LoadActor()\nPutActorAt(a, 4, 5, 6)\n"
       "SetSoundPosition(1200, a, 10, 200, -1)",
       "Positional 1200 4 5 6 10 127 0 0.8"},
      {"SetSoundPosition without a position", "SetSoundPosition('x.wav', {})", ""},
      {"MelosSetParam 0.5 sends 0", "MelosSetParam('rain.wav', 2, 0.5)", "SetParam rain.wav 2 0"},
      {"MelosSetParam negative sends 0", "MelosSetParam(1111, 2, -9)", "SetParam 1111 2 0"},
      {"MelosGetParam of a table", "r = MelosGetParam({}, 1)", ""},
      {"StartMovie without x and y", "StartMovie('intro.snm', nil)",
       "FillStreams; StartMovie intro.snm 0 0 -1 -1"},
      {"StartFullscreenMovie loops unless nil", "StartFullscreenMovie('end.snm', 1)",
       "MovieCursor 0; StartMovie end.snm 1 1 -1 -1"},
      {"play is MelosStartSound", "r = play('hit.wav', 64, 1)", "StartSound hit.wav 64 1"},
      {"MelosGetSfxVol reads group 1", "MelosGetSfxVol()\nMelosSetCommentaryVol(90)",
       "GroupVolume 1 -1; GroupVolume 5 90"},
  };
  for (const Case& c : cases) {
    g_log.clear();
    const std::string r = Run(c.code);
    EXPECT_EQ(c.expected, Joined()) << c.what;
    if (std::strcmp(c.what, "MelosGetParam of a table") == 0) {
      EXPECT_EQ("-1", r);
    }
    if (std::strcmp(c.what, "play is MelosStartSound") == 0) {
      EXPECT_EQ("1111", r);
    }
  }
  EXPECT_EQ("20 300 8", Run("SetSoundParameters(8, 20, 300)\nlocal a, b, c = GetSoundParameters()\n"
                            "r = b .. ' ' .. (c + 256) .. ' ' .. a"))
      << "volumes keep 8 bits";
  EXPECT_EQ("8 20 127 1.5 0.8",
            Run("SetSoundParameters(1, 2, 3, 4, 5)\nSetSoundParameters(nil, nil, nil, nil, nil)\n"
                "local a, b, c, d, e = GetSoundParameters()\n"
                "r = a .. ' ' .. b .. ' ' .. c .. ' ' .. d .. ' ' .. e"));
}

// ---- Render mode, object states, actor options and the dialogue log ----------------------

TEST_F(ScriptWorld, RenderModes) {
  GameState = kGameRunning;
  ASSERT_EQ("4", Run("RenderModeUser(1)\nr = GetGameRenderMode()"));
  EXPECT_EQ("TolvePause 1", Joined());
  g_log.clear();
  ASSERT_EQ("2", Run("RenderModeUser(nil)\nr = GetGameRenderMode()"));
  EXPECT_EQ("TolvePause 0; ForceRefresh", Joined());

  g_log.clear();
  ASSERT_EQ("5", Run("SetGameRenderMode(5)\nr = GetGameRenderMode()"));
  EXPECT_EQ("TolvePause 1; Aspect 1.7778", Joined());
  g_log.clear();
  ASSERT_EQ("2", Run("SetGameRenderMode(2, 1)\nr = GetGameRenderMode()"));
  EXPECT_EQ("TolvePause 0; Aspect 1.3333", Joined()) << "kept picture: no force-refresh";
  g_log.clear();
  ASSERT_EQ("2", Run("SetGameRenderMode(42)\nSetGameRenderMode(-1)\nr = GetGameRenderMode()"));
  EXPECT_EQ("", Joined());
}

TEST_F(ScriptWorld, SpeechModeAndDialogLog) {
  RunCases(this,
           {
               {"SetSpeechMode(4) is ignored",
                "SetSpeechMode(3)\nSetSpeechMode(4)\nr = GetSpeechMode()", "3"},
               {"SetSpeechMode(1)", "SetSpeechMode(1)\nr = GetSpeechMode()", "1"},
               {"an empty dialogue log", "local t = DialogLogGetLineCount()\nr = t.count", "0"},
               {"DialogLogGetLine of no line", "r = tostring(DialogLogGetLine(0, 5))", "nil"},
           });
  drevActor_SetSpeechMode(1);
  drevActor_State().speechMode = 0;
  EXPECT_EQ("2", Run("r = GetSpeechMode()")) << "neither bit answers voice only";
}

TEST_F(ScriptWorld, ObjectStatesAndActorOptions) {
  ASSERT_EQ("",
            Run("s = NewObjectState(1, 1, 'door.bm', nil)\nt = NewObjectState(1, 2, 'lamp.bm')\n"
                "SendObjectToFront(s)"));
  ObjectState* head = room_->setups[1].objectStates;
  ASSERT_NE(head, nullptr);
  EXPECT_EQ(2, head->kind) << "s went to the tail";
  EXPECT_EQ("nil", Run("r = tostring(NewObjectState(7, 1, 'x.bm'))")) << "setup 7";
  ASSERT_EQ("", Run("FreeObjectState(s)\nSendObjectToBack(s)\nSetObjectType(s, 3)\n"
                    "FreeObjectState(s)"));
  EXPECT_EQ(head, room_->setups[1].objectStates);
  EXPECT_EQ(nullptr, head->next) << "the freed state is gone; its handle does nothing";

  // A zero clip normal sets no plane.
  ASSERT_EQ("",
            Run("a = LoadActor()\nSetActorCollisionMode(a, 2)\nSetActorCollisionScale(a, 0.5)"));
  const Actor* a = drevActor_FromIndex(0);
  const qxVector3 normal = a->pExtra->clipNormal;
  ASSERT_EQ("", Run("SetActorClipPlane(a, 0, 0, 0, 1, 1, 1)"));
  EXPECT_EQ(0, std::memcmp(&normal, &a->pExtra->clipNormal, sizeof normal));
  ASSERT_EQ("", Run("SetActorClipPlane(a, 2, 0, 0, 1, 1, 1)"));
  EXPECT_EQ(1.0f, a->pExtra->clipNormal.x) << "normalised";
  EXPECT_EQ(2, a->pExtra->collisionMode);
  EXPECT_EQ(0.5f, a->pExtra->collisionScale);
}

// ---- The table ---------------------------------------------------------------------------

TEST_F(ScriptWorld, EveryRowOfTheseGroupsHasAFunction) {
  const lua_Reg* table = drevLua_GetCoreTable();
  auto at = [&](const char* name) {
    for (int i = 0; i < kCoreFunctionCount; ++i) {
      if (std::strcmp(table[i].name, name) == 0) return i;
    }
    return -1;
  };
  const std::pair<const char*, const char*> groups[] = {{"LoadActor", "SetWalkSystemFadeTime"},
                                                        {"GetActorCostumeDepth", "IsActorInSector"},
                                                        {"MakeCurrentSet", "TEST"},
                                                        {"GetCameraPosition", "GetLightIntensity"},
                                                        {"PlaySound", "RestoreMelos"},
                                                        {"RenderModeUser", "DialogLogAddLine"}};
  int rows = 0;
  for (const auto& [first, last] : groups) {
    ASSERT_LE(at(first), at(last));
    for (int i = at(first); i <= at(last); ++i, ++rows) {
      EXPECT_NE(nullptr, table[i].func) << table[i].name;
    }
  }
  EXPECT_EQ(37 + 29 + 19 + 26 + 47 + 29, rows);
}

}  // namespace
