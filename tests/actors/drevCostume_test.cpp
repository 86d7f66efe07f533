// The costume module: life cycle, costume stack, chore clock, keyframe
// fades, the two script functions, shadow colour, the costume draw's scale
// step and screen rectangle, and projected shadows.
#include <cstdlib>
#include <fstream>

#include "CostumeTestSupport.h"
#include "app/voskdemo.h"
#include "platform/kv_RenderHooks.h"
#include "render/SoftwareBackend.h"
#include "quadrix/qxCache.h"
#include "quadrix/qxCamera.h"
#include "quadrix/qxCanvas.h"

namespace {

using namespace costumetest;

float GlobalNumber(const char* name) {
  lua_Object o = lua_getglobal(name);
  return lua_isnumber(o) ? lua_getnumber(o) : -1.0f;
}

class Stack : public CostumeTest {
 protected:
  void SetUp() override {
    CostumeTest::SetUp();
    // Each costume sets its own variable at 50 ms of its chore.
    ASSERT_NE(Load("base.cos", {{MMDL, -1, "head.3do"}, {LUAV, -1, "low"}},
                   {{"c", 100, {{1, {{50, 1}}}}}}),
              0);
    ASSERT_NE(Load("coat.cos", {{MMDL, -1, "head.3do"}, {LUAV, -1, "high"}},
                   {{"c", 100, {{1, {{50, 2}}}}}}),
              0);
    ASSERT_NE(Load("hat.cos", {{MMDL, -1, "hat.3do"}}), 0);
    actor_ = NewActor();
    ASSERT_EQ(drevActor_SetCostume(actor_, "base.cos", 0), 1);
  }
  Actor* actor_ = nullptr;
};

TEST_F(Stack, NewNodeHasTheInitialSettings) {
  const CostumeNode* n = actor_->costumeTop;
  EXPECT_EQ(n->next, nullptr);
  EXPECT_EQ(n->headJoints[0], -1);
  EXPECT_FLOAT_EQ(n->lookRate, 360.0f);
  EXPECT_FLOAT_EQ(n->headLimitA, 30.0f);
  EXPECT_FLOAT_EQ(n->headLimitB, 90.0f);
  EXPECT_FLOAT_EQ(n->viewConeCos, -0.35f);
  EXPECT_EQ(n->walkChore, -1);
  EXPECT_EQ(n->talkChores[15], -1);
  EXPECT_EQ(n->mumbleChore, -1);
  EXPECT_TRUE(n->rCostume.valid);
  ASSERT_NE(n->mainModel, nullptr);
  EXPECT_EQ(n->attached->thing, n->mainModel);
  EXPECT_EQ(Cos_InstGetUserData(n->instance), drevActor_ToIndex(actor_));
}

TEST_F(Stack, PushOverTheSameModelInheritsAndAdvancesBoth) {
  CostumeNode* below = actor_->costumeTop;
  below->lookRate = 90.0f;
  below->headJoints[0] = 4;
  ASSERT_EQ(drevActor_PushCostume(actor_, "coat.cos", 0), 1);
  CostumeNode* top = actor_->costumeTop;
  EXPECT_EQ(top->next, below);
  EXPECT_EQ(top->mainModel, below->mainModel);
  EXPECT_FLOAT_EQ(top->lookRate, 90.0f);
  EXPECT_EQ(top->headJoints[0], 4);
  EXPECT_EQ(top->attached, below->attached);  // the shared model is not listed twice

  Cos_InstPlayChore(below->instance, 0, 0, 0);
  Cos_InstPlayChore(top->instance, 0, 0, 0);
  drevCostume_UpdateChores(top, 0.06f);
  EXPECT_EQ(GlobalNumber("low"), 1.0f);
  EXPECT_EQ(GlobalNumber("high"), 2.0f);

  EXPECT_EQ(drevCostume_PopNode(top, 1), below);
  actor_->costumeTop = below;
}

TEST_F(Stack, PushOfAnotherModelStartsFreshAndStopsTheClockBelow) {
  CostumeNode* below = actor_->costumeTop;
  below->lookRate = 90.0f;
  ASSERT_EQ(drevActor_PushCostume(actor_, "hat.cos", 0), 1);
  CostumeNode* top = actor_->costumeTop;
  EXPECT_FLOAT_EQ(top->lookRate, 360.0f);
  ASSERT_NE(top->attached, nullptr);
  EXPECT_EQ(top->attached->next, nullptr);
  EXPECT_EQ(top->attached->thing, top->mainModel);
  Cos_InstPlayChore(below->instance, 0, 0, 0);
  drevCostume_UpdateChores(top, 0.06f);
  EXPECT_EQ(GlobalNumber("low"), -1.0f);
}

TEST_F(Stack, PopAndReplace) {
  CostumeNode* base = actor_->costumeTop;
  const CosInstHandle baseInstance = base->instance;
  ASSERT_EQ(drevActor_PushCostume(actor_, "coat.cos", 0), 1);
  const CosInstHandle coat = actor_->costumeTop->instance;
  Cos_InstPlayChore(coat, 0, 1, 0);
  drevActor_PopCostume(actor_, 0);
  EXPECT_EQ(actor_->costumeTop, base);
  EXPECT_EQ(Cos_InstChoreStatus(coat, 0), 0);   // its chores were stopped
  EXPECT_NE(Cos_InstCountComponents(coat), 0);  // the instance is left alive
  Cos_FreeCosInstance(coat);

  ASSERT_EQ(drevActor_SetCostume(actor_, "hat.cos", 0), 1);
  EXPECT_EQ(actor_->costumeTop->next, nullptr);
  // The replaced node's instance was freed: the new one takes its slot.
  EXPECT_EQ(actor_->costumeTop->instance, baseInstance);
  EXPECT_STREQ(Cos_InstGetCostume(baseInstance, nullptr)->name, "hat.cos");
}

// The chore tool's commands 0 and 4: its costume (the command's context)
// goes onto the stack of the actor the scripts selected and comes off again,
// and the scripts' costume-override handler hears of both. Without a
// selected actor nothing happens.
TEST_F(Stack, TheChoreToolHandsItsCostumeToTheSelectedActor) {
  std::ofstream("handler.lua")
      << "heard = ''\n"
         "function system.costumeOverrideHandler(actor, on)\n"
         "  if on then heard = heard .. 'on ' else heard = heard .. 'off ' end\n"
         "end\n";
  ASSERT_EQ(lua_dofile("handler.lua"), 0);
  CostumeNode* base = actor_->costumeTop;
  const CosCostumeHandle hat = Load("hat.cos", {{MMDL, -1, "hat.3do"}});
  void* context = reinterpret_cast<void*>(static_cast<intptr_t>(hat));
  auto heard = [] {
    lua_Object o = lua_getglobal("heard");
    return std::string(lua_isstring(o) ? lua_getstring(o) : "?");
  };

  voskdemo_ChoreToolCommand(context, 0);
  EXPECT_EQ(actor_->costumeTop, base);
  EXPECT_EQ(heard(), "");

  drevActor_SetSelected(drevActor_ToIndex(actor_));
  voskdemo_ChoreToolCommand(context, 0);
  ASSERT_NE(actor_->costumeTop, base);
  EXPECT_EQ(actor_->costumeTop->next, base);
  EXPECT_STREQ(Cos_InstGetCostume(actor_->costumeTop->instance, nullptr)->name, "hat.cos");
  EXPECT_EQ(heard(), "on ");

  const CosInstHandle worn = actor_->costumeTop->instance;
  voskdemo_ChoreToolCommand(context, 4);
  EXPECT_EQ(actor_->costumeTop, base);
  EXPECT_EQ(heard(), "on off ");
  Cos_FreeCosInstance(worn);
}

TEST_F(Stack, ResetInstanceStopsAndRestores) {
  ASSERT_NE(Load("r.cos",
                 {{MMDL, -1, "head.3do"},
                  {MESH, 0, "Mesh 2"},
                  {MAT, 0, "skin.mat"},
                  {KEYF, 0, "walk.key"},
                  {MODL, 1, "hat.3do"}},
                 {{"c", 100, {{0, {{0, 0}}}, {2, {{0, 2}}}, {3, {{0, 1}}}, {4, {{0, 1}}}}}}),
            0);
  ASSERT_EQ(drevActor_SetCostume(actor_, "r.cos", 0), 1);
  const CosInstHandle h = actor_->costumeTop->instance;
  Cos_InstPlayChore(h, 0, 1, 0);
  drevCostume_UpdateChores(actor_->costumeTop, 0.02f);
  auto* head = Data<CostumeThingData>(h, 0);
  EXPECT_EQ(head->visible, 0);
  EXPECT_EQ(Data<CostumeThingData>(h, 4)->visible, 1);
  EXPECT_EQ(Data<CostumeMaterialData>(h, 2)->frame, 2);
  drevCostume_ResetInstance(h);
  EXPECT_EQ(Cos_InstChoreStatus(h, 0), 0);
  EXPECT_EQ(head->visible, 1);
  EXPECT_EQ(Data<CostumeThingData>(h, 4)->visible, 0);
  EXPECT_EQ(Data<CostumeMaterialData>(h, 2)->frame, -1);
  for (const qxPuppetTrack& t : head->thing->puppet->tracks) EXPECT_EQ(t.status, 0u);
}

class Clock : public CostumeTest {
 protected:
  void SetUp() override {
    CostumeTest::SetUp();
    ASSERT_NE(Load("c.cos", {{MMDL, -1, "head.3do"}, {KEYF, 0, "walk.key"}, {LUAV, -1, "at"}},
                   {{"walk", 1000, {{1, {{0, 1}}}, {2, {{16, 16}, {17, 17}}}}}}),
              0);
    actor_ = NewActor();
    ASSERT_EQ(drevActor_SetCostume(actor_, "c.cos", 0), 1);
    h_ = actor_->costumeTop->instance;
    puppet_ = Data<CostumeThingData>(h_, 0)->thing->puppet;
  }
  Actor* actor_ = nullptr;
  CosInstHandle h_ = 0;
  qxPuppet* puppet_ = nullptr;
};

TEST_F(Clock, WholeMillisecondsForChoresAndPuppets) {
  Cos_InstPlayChore(h_, 0, 0, 0);
  drevCostume_UpdateChores(actor_->costumeTop, 0.0f);
  Cos_InstUpdateChore(h_, 0, 1);  // the walk key starts its track
  const float before = puppet_->tracks[0].currentTime;
  ASSERT_TRUE(puppet_->tracks[0].status & QXTRACK_PLAYING);
  drevCostume_UpdateChores(actor_->costumeTop, 0.0166f);  // 17 ms: keys in [1, 18)
  EXPECT_EQ(GlobalNumber("at"), 17.0f);
  EXPECT_NEAR(puppet_->tracks[0].currentTime - before, 0.017f * 15.0f, 1e-5f);
}

TEST_F(Clock, FadeInAtFullWeightStartsFromZero) {
  Cos_InstPlayChore(h_, 0, 1, 0);
  drevCostume_UpdateChores(actor_->costumeTop, 0.02f);
  qxPuppetTrack& track = puppet_->tracks[0];
  ASSERT_FLOAT_EQ(track.weight, 1.0f);
  drevCostume_FadeInChore(h_, 0, 500);
  EXPECT_FLOAT_EQ(track.weight, 0.0f);
  EXPECT_TRUE(track.status & QXTRACK_FADE_IN);
  EXPECT_FLOAT_EQ(track.fadeRate, 2.0f);
  drevCostume_FadeOutChore(h_, 0, 250);
  EXPECT_TRUE(track.status & QXTRACK_FADE_OUT);
  EXPECT_FLOAT_EQ(track.fadeRate, 4.0f);
  // Chores the costume does not have are left alone.
  drevCostume_FadeInChore(h_, -1, 100);
  drevCostume_FadeOutChore(h_, 1, 100);
  EXPECT_TRUE(track.status & QXTRACK_FADE_OUT);
}

// ---- Script functions --------------------------------------------------------------

ResourceRef gKeyRef{};

void KeyHandle() {
  lua_pushusertag(&gKeyRef, kTagKeyframe);
}
void OtherHandle() {
  lua_pushusertag(&gKeyRef, kTagActor);
}
const lua_Reg kRows[] = {{"KeyHandle", KeyHandle}, {"OtherHandle", OtherHandle}};

TEST_F(CostumeTest, GetKeyLength) {
  drevLua_OpenLibrary(kRows, 2);
  Res_AddRef(&gKeyRef, drevResource_Get("KEYF", "walk.key"), __FILE__, __LINE__);
  ASSERT_TRUE(gKeyRef.valid);
  std::ofstream("len.lua") << "length = GetKeyLength(KeyHandle())\n"
                              "other = GetKeyLength(OtherHandle())\n"
                              "tolve = GetTolveLength(KeyHandle())\n";
  ASSERT_EQ(lua_dofile("len.lua"), 0);
  EXPECT_EQ(GlobalNumber("length"), 2000.0f);
  EXPECT_TRUE(lua_isnil(lua_getglobal("other")));
  EXPECT_TRUE(lua_isnil(lua_getglobal("tolve")));
  Res_ReleaseRef(&gKeyRef);
  ASSERT_EQ(lua_dofile("len.lua"), 0);
  EXPECT_TRUE(lua_isnil(lua_getglobal("length")));
}

TEST_F(CostumeTest, ShadowColourFillsTheShadowColormap) {
  qxColormap* colormap = drevCostume_SetShadowColor(255, 255, 255);
  ASSERT_NE(colormap, nullptr);
  ASSERT_NE(colormap->lightTable16, nullptr);
  for (int i = 0; i < kColormapLightEntries; ++i) ASSERT_EQ(colormap->lightTable16[i], 0xFFFF);
  EXPECT_EQ(colormap->palette[0], 255);
  EXPECT_EQ(colormap->palette[767], 255);
  EXPECT_EQ(drevCostume_SetShadowColor(8, 4, 16), colormap);
  EXPECT_EQ(colormap->lightTable16[100], (1 << 11) | (1 << 5) | 2);
}

// ---- Drawing -----------------------------------------------------------------------

struct Hooks {
  static inline std::vector<float> radii;
  static inline std::vector<int> shadows;  // point count of each shadow polygon
  static inline std::vector<std::vector<int>> dirty;
  static inline RenderHookTable table{};
  static void Begin(qxModel3*, const qxVector3*, float radius, const qxMatrix34*, qxModel3*) {
    radii.push_back(radius);
  }
  static int Shadow(const qxVector3*, int count, int) {
    shadows.push_back(count);
    return 1;
  }
  static void Invalidate(const int* rect, int) { dirty.push_back({rect, rect + 4}); }
  static void Install() {
    radii.clear();
    shadows.clear();
    dirty.clear();
    kv_RenderHooks_ResetForTest();
    table = {};
    table.BeginModel = Begin;
    table.DrawShadow = Shadow;
    kv_RenderHooks_Register(&table);
    drevCostume_Calls().invalidateRect = Invalidate;
  }
};

class Draw : public CostumeTest {
 protected:
  void SetUp() override {
    CostumeTest::SetUp();
    BufferFormat f{};
    f.width = 64;
    f.height = 48;
    f.format.colorMode = 1;
    f.format.bitsPerPixel = 16;
    buffer_ = stdDisplay_NewBuffer(&f, 0, 0, nullptr);
    canvas_ = qxCanvas_New(0, buffer_, nullptr, 0, 0, 0, 0, 0);
    camera_ = qxCamera_New(90.0f, 1, 1.0f, 1000.0f, 1.0f);
    qxCamera_SetCanvas(camera_, canvas_);
    qxCamera_SetCurrent(camera_);
    qxCamera_Update(&qxMatrix34_identity);
    Hooks::Install();
    ASSERT_NE(Load("two.cos", {{MMDL, -1, "head.3do"}, {MODL, -1, "hat.3do"}}), 0);
    actor_ = NewActor();
    ASSERT_EQ(drevActor_SetCostume(actor_, "two.cos", 0), 1);
    drevActor_SetFrustumCull(actor_, 0);
    actor_->position = {0, 5, 0};
    actor_->transformValid = 0;
  }
  void TearDown() override {
    kv_RenderHooks_ResetForTest();
    qxCamera_SetCurrent(nullptr);
    qxCamera_Free(camera_);
    qxCanvas_Free(canvas_);
    stdDisplay_FreeBuffer(buffer_);
    CostumeTest::TearDown();
  }
  void DrawActor() { drevCostume_Draw(actor_->costumeTop, drevActor_GetTransform(actor_)); }
  qxModel3* Model(int component) {
    return static_cast<qxModel3*>(
        Data<CostumeThingData>(actor_->costumeTop->instance, component)->thing->object);
  }

  DisplayBuffer* buffer_ = nullptr;
  qxCanvas* canvas_ = nullptr;
  qxCamera* camera_ = nullptr;
  Actor* actor_ = nullptr;
};

TEST_F(Draw, ScaleDoublesRadiiForTheDrawAndRestoresThemExactly) {
  qxModel3* head = Model(0);
  qxModel3* hat = Model(1);
  const float headRadius = head->radius, hatRadius = hat->radius;
  const float meshRadius = head->geosets[0].meshes[3].radius;
  actor_->scale = 2.0f;
  DrawActor();
  ASSERT_EQ(Hooks::radii.size(), 2u);
  // The list draws the last component first.
  EXPECT_EQ(Hooks::radii[0], hatRadius * 2.0f);
  EXPECT_EQ(Hooks::radii[1], headRadius * 2.0f);
  EXPECT_EQ(head->radius, headRadius);
  EXPECT_EQ(hat->radius, hatRadius);
  EXPECT_EQ(head->geosets[0].meshes[3].radius, meshRadius);
  EXPECT_EQ(actor_->scale, 2.0f);

  // Within 0.00001 of 1.0 the scale snaps to 1.0 and the radii come back.
  actor_->scale = 1.000001f;
  DrawActor();
  EXPECT_EQ(actor_->scale, 1.0f);
  EXPECT_EQ(head->radius, headRadius);

  // A scale of 0 draws nothing.
  Hooks::radii.clear();
  actor_->scale = 0.0f;
  DrawActor();
  EXPECT_TRUE(Hooks::radii.empty());
}

TEST_F(Draw, HiddenOnlyModelKeepsTheScreenRectangle) {
  ASSERT_NE(Load("one.cos", {{MMDL, -1, "head.3do"}}), 0);
  ASSERT_EQ(drevActor_SetCostume(actor_, "one.cos", 0), 1);
  actor_->costumeTop->attached->visible = 0;
  const int before[4] = {1, 2, 3, 4};
  std::memcpy(actor_->screenRect, before, sizeof before);
  DrawActor();
  EXPECT_EQ(std::memcmp(actor_->screenRect, before, sizeof before), 0);
  EXPECT_TRUE(Hooks::dirty.empty());
  EXPECT_TRUE(Hooks::radii.empty());
}

// The rectangle of the last draw: the classic picture takes it from the
// faces it queues for the rasterizer; the new rendering, whose back end
// draws the meshes itself, measures the same faces and gets the same
// rectangle, without marking the classic buffers dirty.
TEST_F(Draw, DrawnModelSetsDrawnAndItsRectangleInEitherRendering) {
  RenderHookTable* software = InitSoftwareBackend();
  ASSERT_NE(software, nullptr);
  kv_RenderHooks_SetBackends(nullptr, nullptr, software);
  // Below the eye: the flat quads turn their faces to the camera.
  actor_->position = {0, 5, -1};
  actor_->transformValid = 0;
  int32_t rects[2][4] = {};
  for (int classic : {1, 0}) {
    software->active = classic;
    Hooks::dirty.clear();
    actor_->drawn = 0;
    DrawActor();
    qxCache_Reset();
    EXPECT_EQ(actor_->drawn, 1) << classic;
    std::memcpy(rects[classic], actor_->screenRect, sizeof rects[classic]);
    EXPECT_GT(rects[classic][2], 0) << classic;
    EXPECT_GT(rects[classic][3], 0) << classic;
    EXPECT_EQ(Hooks::dirty.empty(), classic == 0) << classic;
  }
  EXPECT_EQ(std::memcmp(rects[0], rects[1], sizeof rects[0]), 0)
      << rects[0][0] << "," << rects[0][1] << "," << rects[0][2] << "," << rects[0][3] << " / "
      << rects[1][0] << "," << rects[1][1] << "," << rects[1][2] << "," << rects[1][3];
}

struct ClipFake {
  static inline std::vector<const Sector*> sectors;
  static int Clip(const Sector* sector, const qxVector3* points, int count, qxVector3* out) {
    sectors.push_back(sector);
    for (int i = 0; i < count; ++i) out[i] = points[i];
    return count;
  }
  // Projects straight down onto z = 0.
  static int Project(qxVector3* out, const qxVector3*, const qxVector3* p, float, float, float,
                     float) {
    *out = {p->x, p->y, 0};
    return 1;
  }
};

TEST_F(Draw, ShadowQuadsClippedByEachSector) {
  ClipFake::sectors.clear();
  drevCostume_Calls().sectorClipPolygon = ClipFake::Clip;
  drevCostume_Calls().intersectLinePlane = ClipFake::Project;
  DrawActor();  // builds the node matrices
  ShadowSlot slot{};
  slot.active = 1;
  slot.plane[2] = 1.0f;
  slot.light = {0, 0, 10};
  Sector* a = reinterpret_cast<Sector*>(0x1000);
  Sector* b = reinterpret_cast<Sector*>(0x2000);
  slot.clips[0] = a;
  slot.clips[1] = b;
  drevCostume_DrawShadow(actor_->costumeTop, &slot);
  // The root mesh of each model casts a shadow: four quads, each offered
  // once per sector.
  ASSERT_EQ(Hooks::shadows.size(), 16u);
  for (int count : Hooks::shadows) EXPECT_EQ(count, 4);
  ASSERT_EQ(ClipFake::sectors.size(), 16u);
  EXPECT_EQ(ClipFake::sectors[0], a);
  EXPECT_EQ(ClipFake::sectors[1], b);
  // Taken by the back end: no face, nothing dirty.
  EXPECT_TRUE(Hooks::dirty.empty());
}

TEST_F(CostumeTest, TheDemoWalkerCostumeLoadsAndWalks) {
  const char* game = std::getenv("VQ_GAME_DIR");
  ASSERT_NE(game, nullptr);
  for (const char* file : {"Costumes/walker.cos", "Models/demo_crate.3do",
                           "Animation/demo_crate_open.key", "Materials/demo_crate.mat"}) {
    const std::filesystem::path from = std::filesystem::path(game) / file;
    std::filesystem::copy_file(from, dir_ + "/" + from.filename().string());
  }
  Scan();
  Actor* actor = NewActor();
  ASSERT_EQ(drevActor_SetCostume(actor, "walker.cos", 0), 1);
  const CosInstHandle h = actor->costumeTop->instance;
  ASSERT_EQ(Cos_InstCountChores(h), 3);
  EXPECT_STREQ(Cos_InstChoreName(h, 0)->name, "walk");
  EXPECT_STREQ(Cos_InstChoreName(h, 1)->name, "rest");
  EXPECT_STREQ(Cos_InstChoreName(h, 2)->name, "mumble");
  ASSERT_NE(actor->costumeTop->mainModel, nullptr);
  ASSERT_EQ(Cos_InstPlayChore(h, 0, 1, 0), 1);
  drevCostume_UpdateChores(actor->costumeTop, 0.05f);
  EXPECT_NE(actor->costumeTop->mainModel->puppet->tracks[0].status, 0u);
}

}  // namespace
