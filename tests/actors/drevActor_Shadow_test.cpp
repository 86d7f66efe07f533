// Actor shadows: planes from sectors, the side test of the draw, clip
// sectors, and the ten script functions through the script interface.
#include <cstdio>
#include <string>

#include "../TestTempDir.h"
#include "../engine/WalkTestSupport.h"
#include "ActorTestSupport.h"
#include "platform/kv_RenderHooks.h"
#include "script/drevLua.h"

namespace {

using actortest::NewActor;
using walktest::Square;

int g_drawn = 0;
void CountShadow(CostumeNode*, const ShadowSlot*) {
  ++g_drawn;
}
int g_color[3] = {-1, -1, -1};
qxColormap* RecordColor(int r, int g, int b) {
  g_color[0] = r;
  g_color[1] = g;
  g_color[2] = b;
  return nullptr;
}

// Actor(n): the handle of actor n.
void MakeActor() {
  lua_pushusertag(reinterpret_cast<void*>(static_cast<intptr_t>(lua_getnumber(lua_lua2C(1)))),
                  kTagActor);
}
const lua_Reg kTestRows[] = {{"Actor", MakeActor}};

class ActorShadows : public walktest::WalkWorld {
 protected:
  void SetUp() override {
    WalkWorld::SetUp();
    actortest::StartActors(&hs_);
    drevActor_Calls().costumeDrawShadow = CountShadow;
    drevActor_Calls().costumeSetShadowColor = RecordColor;
    g_drawn = 0;
    // A floor whose plane is z = 2, and thirteen small pads.
    std::string sectors = Square("floor", -4, -4, 4, 4, 2);
    for (int i = 0; i < 13; ++i) sectors += Square("pad" + std::to_string(i), 10 + i, 0, 11 + i, 1);
    Read(sectors);
    actor_ = NewActor();
    figure_.Wear(actor_);
  }
  void TearDown() override {
    kv_RenderHooks_classicPicture = 0;
    actortest::StopActors();
    WalkWorld::TearDown();
  }
  void At(float z) {
    const qxVector3 p{0, 0, z};
    drevActor_SetPosition(actor_, &p, 1);
  }

  actortest::Figure figure_;
  Actor* actor_ = nullptr;
};

TEST_F(ActorShadows, APlaneFromAFloorSector) {
  drevActor_SetShadowPlane(actor_, "FLOOR");
  const ShadowSlot& s = actor_->pExtra->shadows[0];
  EXPECT_EQ(s.plane[0], 0.0f);
  EXPECT_EQ(s.plane[1], 0.0f);
  EXPECT_EQ(s.plane[2], 1.0f);
  EXPECT_EQ(s.plane[3], -2.0f);
  EXPECT_EQ(s.active, 1);
  EXPECT_EQ(s.side, 0);
  EXPECT_EQ(drevActor_HasShadow(actor_), 1);
  // A name the set does not have changes nothing.
  actor_->pExtra->activeShadow = 1;
  drevActor_SetShadowPlane(actor_, "nowhere");
  EXPECT_EQ(actor_->pExtra->shadows[1].active, 0);
  drevActor_SetShadowPoint(actor_, 1, 2, 9);
  EXPECT_EQ(actor_->pExtra->shadows[1].light.z, 9.0f);
}

TEST_F(ActorShadows, TheSideTestDecidesTheDraw) {
  drevActor_SetShadowPlane(actor_, "floor");
  drevActor_SetShadowValid(actor_, 0, -1);
  struct Case {
    int side;
    float z;
    int drawn;
  };
  const Case cases[] = {{-1, 3, 0}, {-1, -1, 1}, {-1, 2, 1}, {1, 3, 1},
                        {1, -1, 0}, {1, 2, 1},   {0, 3, 1},  {5, -1, 1}};
  kv_RenderHooks_classicPicture = 1;
  for (const Case& c : cases) {
    drevActor_SetShadowValid(actor_, 0, c.side);
    At(c.z);
    g_drawn = 0;
    drevActor_DrawShadows(actor_);
    EXPECT_EQ(g_drawn, c.drawn) << c.side << " " << c.z;
  }
  // Only while the frame phase's switch is on, and only active shadows.
  kv_RenderHooks_classicPicture = 0;
  g_drawn = 0;
  drevActor_DrawShadows(actor_);
  EXPECT_EQ(g_drawn, 0);
  kv_RenderHooks_classicPicture = 1;
  drevActor_ActivateShadow(actor_, 0, 0);
  drevActor_DrawShadows(actor_);
  EXPECT_EQ(g_drawn, 0);
}

TEST_F(ActorShadows, TwelveClipSectorsAtMost) {
  for (int i = 0; i < 13; ++i) {
    const std::string name = "pad" + std::to_string(i);
    EXPECT_NE(drevActor_AddShadowPlane(actor_, 2, name.c_str()), nullptr);
  }
  const ShadowSlot& s = actor_->pExtra->shadows[2];
  for (int i = 0; i < MAX_SHADOW_CLIPS; ++i) {
    ASSERT_NE(s.clips[i], nullptr);
    EXPECT_EQ(std::string(s.clips[i]->name), "pad" + std::to_string(i));
  }
  EXPECT_EQ(drevActor_AddShadowPlane(actor_, 2, "missing"), nullptr);
  EXPECT_EQ(drevActor_AddShadowPlane(actor_, 6, "pad0"), nullptr);
  drevActor_ClearShadows(actor_);
  EXPECT_EQ(s.clips[0], nullptr);
}

class ShadowScripts : public ActorShadows {
 protected:
  void SetUp() override {
    ActorShadows::SetUp();
    ASSERT_EQ(drevLua_Initialize(&hs_, &lua_), 0);
    ASSERT_EQ(lua_.startup(), 0);
    drevLua_OpenLibrary(kTestRows, 1);
    index_ = drevActor_ToIndex(actor_);
  }
  void TearDown() override {
    lua_.shutdown();
    lua_.uninitialize();
    ActorShadows::TearDown();
  }
  // Runs the chunk with `a` the actor's handle; 0 when every assert held.
  int Run(const std::string& code) {
    const std::string chunk = "a = Actor(" + std::to_string(index_) + ")\n" + code;
    const std::string file = vqtest::TempPath("shadow.lua");
    FILE* f = std::fopen(file.c_str(), "wb");
    std::fwrite(chunk.data(), 1, chunk.size(), f);
    std::fclose(f);
    return lua_dofile(file.c_str());
  }

  ModuleDescriptor lua_{};
  int index_ = -1;
};

TEST_F(ShadowScripts, PlanesPointsAndDistances) {
  EXPECT_EQ(Run("assert(ActorShadow(a) == nil)\n"
                "SetActorShadowPlane(a, 'floor')\n"
                "SetActorShadowPoint(a, 1, 2, 30)\n"
                "assert(ActorShadow(a) == 1)\n"),
            0);
  EXPECT_EQ(actor_->pExtra->shadows[0].light.z, 30.0f);
  At(-1);
  // The distance has no sign.
  EXPECT_EQ(Run("assert(ActorDistToShadowPlane(a, 0) == 3)"), 0);
  At(5);
  EXPECT_EQ(Run("assert(ActorDistToShadowPlane(a, 0) == 3)\n"
                "KillActorShadows(a)\n"
                "assert(ActorShadow(a) == nil)\n"),
            0);
}

TEST_F(ShadowScripts, TheActiveSlotAndItsBounds) {
  EXPECT_EQ(Run("assert(SetActiveShadow(a, 3) == nil)\n"
                "SetActorShadowPlane(a, 'floor')\n"
                "SetActorShadowValid(a, -1)\n"
                "AddShadowPlane(a, 'pad4')\n"
                "ActivateActorShadow(a, 3, nil)\n"),
            0);
  const ShadowSlot& s = actor_->pExtra->shadows[3];
  EXPECT_EQ(actor_->pExtra->activeShadow, 3);
  EXPECT_EQ(s.active, 0);
  EXPECT_EQ(s.side, -1);
  EXPECT_EQ(std::string(s.clips[0]->name), "pad4");
  EXPECT_EQ(actor_->pExtra->shadows[0].active, 0);
  // Slots outside 0..5 change nothing and give nil.
  EXPECT_EQ(Run("assert(tostring(SetActiveShadow(a, 6)) == 'nil')\n"
                "assert(tostring(SetActiveShadow(a, -1)) == 'nil')\n"
                "assert(tostring(ActivateActorShadow(a, 6, 1)) == 'nil')\n"
                "assert(tostring(ActorDistToShadowPlane(a, 6)) == 'nil')\n"
                "assert(tostring(ActorDistToShadowPlane(a, 2.9)) == '0')\n"),
            0);
  EXPECT_EQ(actor_->pExtra->activeShadow, 3);
}

TEST_F(ShadowScripts, BadHandlesAndColours) {
  EXPECT_EQ(Run("assert(ActorShadow(nil) == nil and ActorShadow(7) == nil)\n"
                "assert(tostring(SetActorShadowPlane('floor')) == 'nil')\n"
                "assert(tostring(KillActorShadows(Actor(999))) == 'nil')\n"
                "assert(tostring(SetActiveShadow(Actor(-3), 1)) == 'nil')\n"),
            0);
  EXPECT_EQ(Run("SetShadowColor(300, -20, 127.9)"), 0);
  EXPECT_EQ(g_color[0], 255);
  EXPECT_EQ(g_color[1], 0);
  EXPECT_EQ(g_color[2], 127);
  g_color[0] = -1;
  EXPECT_EQ(Run("SetShadowColor(1, 2)"), 0);
  EXPECT_EQ(g_color[0], -1);
}

}  // namespace
